// Watermarks that can be found, hidden and taken off again: the document's
// "Watermark" optional content group, the record each stamped page keeps of
// what the stamping changed, and the removal that undoes it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/state/vxDocumentData.h"

namespace vx {

// The page key holding the records of the layer watermarks stamped on it,
// and the key that marks the group as ours.
inline constexpr std::string_view WatermarkRecordsKey = "/VxWatermarks";
inline constexpr std::string_view OwnGroupKey = "/VxWatermark";

// The marked content a layer watermark's stream is wrapped in: an artifact
// of pagination inside the group the page names Name.
std::string LayerContentPrefix(std::string_view Name);
inline constexpr std::string_view LayerContentSuffix = "EMC\rEMC\r\n";

// What a page had before a layer stamping changed it.
struct TvxPageSnapshot {
  TvxPDFObjectPtr Contents;    // the /Contents value, nil when absent
  TvxPDFObjectPtr ArrayItems;  // the items of the array object it names, if any
  TvxPDFObjectPtr Resources;   // the /Resources value, nil when absent
};

// A resource entry a stamping added to a page.
struct TvxAddedResource {
  std::string Category, Name;
  int32_t ObjectNumber = 0;
};

// Layer watermarks found in a document.
struct TvxFoundWatermarks {
  int32_t LayerPages = 0;  // pages with layer watermarks of ours
  // Their texts, each once, in page order: the first MaxTexts, and how many
  // more there are (per-page variables make one per page).
  static constexpr size_t MaxTexts = 10;
  std::vector<std::u16string> Texts;
  int32_t MoreTexts = 0;
  bool HasGroup = false;            // the document has our group
  std::string GroupName;            // its /Name
  bool Print = true, View = true;   // its print and view states
  int32_t PlainPages = 0;           // pages with watermarks of ours not in a layer
  std::vector<std::string> Others;  // watermark layers of other programs, by name
};

class TvxWatermarkLayer {
 public:
  explicit TvxWatermarkLayer(TvxDocumentData& Data) : FData(Data) {}

  // The document's group, made and listed in /OCProperties (kept and
  // extended when present) the first time; a reference to it. Warning gets
  // what the user should know of damaged layer settings.
  std::unique_ptr<TvxPDFIndirectReference> EnsureGroup(bool Print, bool View, bool Overlay,
                                                       std::string* Warning = nullptr);

  TvxPageSnapshot Snapshot(TvxPDFDictObject& Page) const;
  // Appends to the page's records one for the stamping just done: its
  // stream, what the page had before, its /Contents now, the resources it
  // added and the text it shows.
  void Record(TvxPDFDictObject& Page, TvxPageSnapshot Before, int32_t StreamNumber,
              const std::vector<TvxAddedResource>& Added, const std::u16string& Text);

  // Takes every layer watermark off: each page back to what it had before,
  // the resources and the group no longer used removed, their objects no
  // longer written. A page changed since it was stamped keeps its
  // watermark, with a note. Returns the pages restored.
  int32_t RemoveAll(std::vector<std::string>& Notes);
  TvxFoundWatermarks Find() const;

 private:
  TvxPDFDictObject* Properties() const;
  // The first or last stream of the page shows a watermark of ours outside
  // any layer.
  bool ShowsPlainWatermark(const TvxPDFDictObject& Page) const;
  TvxPDFDictObject* FindOwnGroup(int32_t* ObjectNumber) const;
  // The object numbers a page's /Contents draws, in order.
  std::vector<int32_t> ContentNumbers(const TvxPDFDictObject& Page) const;
  void RemoveGroup(int32_t GroupNumber);
  // Objects reachable only through the ones in Candidates are no longer
  // written.
  void DropUnused(std::vector<TvxPDFIndirectObject*> Candidates);

  TvxDocumentData& FData;
};

}  // namespace vx
