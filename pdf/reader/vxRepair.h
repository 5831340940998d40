// Rebuilds the cross-reference data and trailer of a damaged file from one
// scan of its bytes, for a load that failed on the file's structure.
#pragma once

#include <cstdint>
#include <string_view>

#include "pdf/reader/vxObjectLoader.h"

namespace vx {

namespace msg {
inline constexpr std::string_view RepairStarted = "The file is damaged (%s); repairing it";
inline constexpr std::string_view RepairHeaderMoved = "The header starts at byte %d";
inline constexpr std::string_view RepairNoHeader = "The file has no header";
inline constexpr std::string_view RepairRebuilt =
    "Cross-reference data rebuilt by scanning the file: %d objects";
inline constexpr std::string_view RepairNoTrailer =
    "No trailer names a catalog; the catalog is found by its /Type";
inline constexpr std::string_view RepairDirectInfo = "The trailer's /Info is a direct dictionary";
inline constexpr std::string_view RepairUnreadableObject =
    "Object %d cannot be read and is left out";
inline constexpr std::string_view RepairObjectStream = "Object stream %d cannot be unpacked";
inline constexpr std::string_view RepairNoEndStream = "Stream of object %d has no endstream";
inline constexpr std::string_view RepairLength = "Stream of object %d: /Length is wrong";
inline constexpr std::string_view RepairCount =
    "The page tree's /Count disagrees with the %d pages it holds";
inline constexpr std::string_view RepairUnlistedPage =
    "Page object %d is not in the page tree; taken as a page";
inline constexpr std::string_view RepairPageBox =
    "Page %d has no usable /MediaBox; taken as US Letter (0 0 612 792)";
inline constexpr std::string_view RepairNoCatalog = "File is corrupted: no catalog can be found";
inline constexpr std::string_view RepairMayRecover = "--repair may recover the file";
}  // namespace msg

// True for a failure that a repair could get past: damaged syntax or file
// structure, not a missing file, a refused password or an unsupported method.
bool IsDamagedStructureError(const std::exception& E);

class TvxRepair {
 public:
  // Readers look for the header this far into the file.
  static constexpr int64_t HeaderWindow = 1024;

  TvxRepair(TvxDocumentData& Data, TvxDocumentEvents& Events, TvxObjectLoader& Loader)
      : FData(Data), FEvents(Events), FLoader(Loader) {}

  // Position of "%PDF-" within the header window, or -1.
  static int64_t FindHeader(std::string_view Bytes);
  // True when the header at the start of Bytes is one the exact load takes.
  static bool HeaderIsSound(std::string_view Bytes);
  // The version a damaged header most likely means: 1.4 when unreadable,
  // 1.7 for a 1.x beyond it.
  static TvxPDFVersion LenientVersion(std::string_view Bytes);

  // Entries of every "N G obj" found (the last definition of a number wins),
  // members of the object streams found, and the trailer values of the last
  // trailer or cross-reference stream naming a catalog. The reader must be
  // set on Data over a memory stream.
  void Rebuild();

 private:
  struct TvxScan;  // what the phases share

  // The phases of Rebuild, in order.
  void ScanFile(TvxScan& S) const;
  void ParseObjects(TvxScan& S);
  // Entries for the objects stored plainly, replacing those entered before.
  void EnterPlainObjects(const TvxScan& S);
  void ReadObjectStreams(TvxScan& S);
  // Entries for every object found; returns the highest number.
  int32_t EnterFoundObjects(const TvxScan& S);
  void BuildTrailer(TvxScan& S);
  // The newest catalog in the store becomes the root.
  void FindStoredCatalog();

  TvxDocumentData& FData;
  TvxDocumentEvents& FEvents;
  TvxObjectLoader& FLoader;
};

}  // namespace vx
