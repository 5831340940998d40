// Stamping a watermark template on the pages of a loaded document: the
// page-side work (resources, /Contents, the shared "q"/"Q" streams) and the
// variables of the text.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/state/vxDocumentData.h"
#include "pdf/watermark/vxContentScan.h"
#include "pdf/watermark/vxPageRange.h"
#include "pdf/watermark/vxUnits.h"
#include "pdf/watermark/vxWatermarkLayer.h"
#include "pdf/watermark/vxWatermarkProcessor.h"
#include "pdf/watermark/vxWatermarkTemplate.h"

namespace vx {

// What stamping needs of the document besides its shared state.
struct TvxStampingHooks {
  // The unit of the template's offsets and custom positions.
  TvxMeasurementUnit Unit = muPixels;
  // Told what the user would not see otherwise; may be empty.
  std::function<void(const std::string& Message)> Warn;
  // The value of an application's own <%Name%> variable on a page; empty
  // when the application has none.
  std::function<void(const std::u16string& Name, std::u16string& Value, int32_t PageNo)>
      CalcVariable;
  // Told after each page; may be empty.
  TvxJobProgressHook Progress;
};

// The document-side work of InsertWatermark; the document delegates to it.
class TvxWatermarkStamper {
 public:
  TvxWatermarkStamper(TvxDocumentData& AData, TvxStampingHooks AHooks);

  void InsertWatermark(TvxCustomWatermarkTemplate& Template, std::string_view PageRange);

  // /Rotate of the page, 0 when absent; EInvalidPageError for a page number
  // outside the document, EUnexpectedObjectError for a /Rotate that is not
  // an integer.
  int32_t GetPageRotation(int32_t PageNo) const;
  // An /ExtGState object with the opacities (percent), or nil when both are
  // 100.
  std::unique_ptr<TvxPDFIndirectReference> CreateOpacityState(double StrokeOpacity,
                                                              double FillOpacity);
  // The shared one-byte "q" and "Q" streams, made once per document.
  void EnsureStateStreams();
  // Adds Name = Ref to the Category dictionary of Resources (made when it is
  // missing, null or not a dictionary) and returns the name the page now
  // uses for Ref: Name, or a newly drawn one when Name already stands for
  // something else there.
  std::string AddPageResource(TvxPDFDictObject* Resources, std::string_view Category,
                              const TvxPDFIndirectReference& Ref, const std::string& Name);
  std::string AddOpacityResource(int32_t PageNo, const std::string& Name,
                                 const TvxPDFIndirectReference* Ref);
  // Puts Ref into the page's /Contents: first, or after the page's own
  // content wrapped in "q"/"Q" with Overlay.
  void AttachWatermarkContent(int32_t PageNo, const TvxPDFIndirectReference& Ref, bool Overlay);
  void AddToContentsArray(TvxPDFArrayObject& Array, const TvxPDFIndirectReference& Ref,
                          bool Overlay);
  // The page's /Resources as a dictionary, made (as a new object) when it is
  // missing, null or not a dictionary.
  TvxPDFDictObject* EnsurePageResources(int32_t PageNo);
  // Notes which /Contents arrays several pages share, so that attaching gives
  // such a page a copy of its own.
  void CountSharedArrays();
  // The /Contents array object the page shares with other pages, or nil.
  TvxPDFIndirectObject* SharedContentsArray(TvxPDFDictObject& Page);

  // The variables replaced once per call: page count, dates and times, and
  // the document information.
  std::u16string ExpandFixedVariables(const std::u16string& Text) const;
  // <%Name%> replaced by what OnCalcVariables gives for Name (empty when it
  // gives nothing), in one pass: inserted values are not searched again.
  // Names are asked once whatever their case; what follows a colon in one
  // (an argument) keeps its case.
  std::u16string ExpandApplicationVariables(const std::u16string& Text, int32_t PageNo) const;

 private:
  struct TvxRun;
  void StampPage(TvxRun& Run, int32_t P);
  // The template's text on page P, its per-page variables replaced.
  std::u16string PageText(const TvxRun& Run, int32_t P) const;
  // For text beyond the single-byte encodings: every page's text shaped
  // and the composite fonts made, before any page is touched.
  void PrepareUnicodeText(TvxRun& Run, const TvxPageList& Pages);
  // Puts the composite fonts into Resources (nil: none yet) and returns
  // the page's names of them, separated by spaces.
  std::string AddUnicodeFonts(TvxRun& Run, TvxPDFDictObject* Resources);
  // The fonts the call made, put into the resources of page P.
  void AddCreatedFonts(TvxRun& Run, int32_t P);
  // Layer mode: the resource entries AddPageResource adds to the page being
  // stamped are noted here (nil otherwise).
  std::vector<TvxAddedResource>* FLayerAdded = nullptr;
  // The watermark stream AttachPageStream gave the page last, and the
  // stream inside each shared copy of a /Contents array.
  int32_t FLastStreamNumber = 0;
  std::unordered_map<int32_t, int32_t> FCopyStreams;
  // Makes the page's watermark stream (or takes the copy of a shared
  // /Contents array stamped alike) and puts it into the page's /Contents.
  void AttachPageStream(TvxRun& Run, int32_t P, bool NoResources, const std::string& FontName,
                        const std::string& PageGSName, const TvxPageRect& Rect,
                        const std::string& FormName);
  // The form of tiled copies for the page's laid-out size (made once a
  // call), put into the page's /XObject resources; returns its name there.
  // Font is what the page's font resource holds.
  std::string AddTileForm(TvxRun& Run, int32_t P, const TvxPageRect& Rect,
                          const std::string& FontName, const std::string& PageGSName,
                          const TvxPDFObject* Font);
  // Warnings of what the user would not see: a face replaced by another, and
  // signatures the stamping invalidates.
  void WarnOfWhatStampingHides(const TvxTextWatermarkTemplate& T, const TvxPageList& Pages);
  // True when the page's content paints an image without transparency over
  // nine tenths of Box or more (a scan).
  bool CoveredByOpaqueImage(TvxPDFDictObject& Page, const TvxPDFRect& Box);
  // The XObjects each content stream paints, read once per stamping; no
  // more are read once the decoding allowance is spent.
  std::unordered_map<const TvxPDFObject*, std::vector<TvxXObjectDraw>> FDrawsByStream;
  bool FDrawsStopped = false;
  TvxPDFDictObject& PageDict(int32_t PageNo) const;
  TvxPDFDictObject* AsDict(TvxPDFObject* Obj) const;
  std::unique_ptr<TvxPDFIndirectReference> StateRef(int32_t ObjectNumber);
  // A stream of Count "Q" (or "q" with Open) operators, made once per call
  // for each count.
  std::unique_ptr<TvxPDFIndirectReference> StatesRef(int32_t Count, bool Open);
  // How many states the page's content leaves open, and how many "Q" it has
  // with nothing open (they would close the shared "q").
  int32_t UnclosedSaves(const TvxPDFArrayObject& Contents, int32_t& Stray) const;
  // Wraps the content of Array (the page's streams) in the shared "q" and
  // "Q", with what keeps the page's unbalanced states from reaching past them.
  void WrapPageContent(TvxPDFArrayObject& Array);

  int32_t PageCount() const { return static_cast<int32_t>(FData.FPages.size()); }

  TvxDocumentData& FData;
  TvxStampingHooks FHooks;
  std::unordered_map<const TvxPDFIndirectObject*, int32_t> FArrayUsers;
  bool FArraysCounted = false;
  // Pages sharing a /Contents array and stamped alike share one copy of it
  // with the watermark, by the array and the watermark's content.
  struct TvxSharedCopyKey {
    const TvxPDFIndirectObject* Array;
    std::string FontName, GSName;
    double Left, Bottom, Right, Top;
    int32_t Rotation;
    std::string FormName;
    bool operator==(const TvxSharedCopyKey&) const = default;
  };
  struct TvxSharedCopyHash {
    size_t operator()(const TvxSharedCopyKey& K) const;
  };
  std::unordered_map<TvxSharedCopyKey, int32_t, TvxSharedCopyHash> FSharedCopies;  // object number
  // While InsertWatermark runs, a page listed many times must not cost its
  // array's length each time: watermarks under the content are put in front
  // all at once at the end, and arrays wrapped once are remembered.
  bool FStamping = false;
  std::unordered_map<TvxPDFArrayObject*, std::vector<TvxPDFObjectPtr>> FPendingFront;
  std::unordered_set<const TvxPDFArrayObject*> FWrapped;
  void PutPendingInFront();
  std::unordered_map<int32_t, int32_t> FStateStreams;  // +count "Q", -count "q" -> object number
  // The names AddPageResource gave, by resource dictionary, category and name.
  std::unordered_map<const TvxPDFDictObject*, std::unordered_map<std::string, std::string>>
      FAddedNames;
  std::string AddPageResourceUnnoted(TvxPDFDictObject* Resources, std::string_view Category,
                                     const TvxPDFIndirectReference& Ref, const std::string& Name);
  std::string AddPageResourceOnce(TvxPDFDictObject* Resources, std::string_view Category,
                                  const TvxPDFIndirectReference& Ref, const std::string& Name);
  // The save balance of each content stream scanned, by stream.
  mutable std::unordered_map<const TvxPDFObject*, TvxSaveBalance> FBalances;
};

// Every occurrence of What in Text replaced by With, ASCII letters compared
// without regard to case.
std::u16string ReplaceAllNoCase(const std::u16string& Text, std::u16string_view What,
                                std::u16string_view With);

}  // namespace vx
