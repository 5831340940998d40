// Stamping a watermark template on the pages of a loaded document: the
// per-call processor that builds the content streams, and the page-side work
// (resources, /Contents, the shared "q"/"Q" streams).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/document/vxDocumentData.h"
#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxPDFSource.h"
#include "pdf/watermark/vxContentScan.h"
#include "pdf/watermark/vxPageRange.h"
#include "pdf/watermark/vxUnits.h"
#include "pdf/watermark/vxWatermarkTemplate.h"

namespace vx {

class TvxCustomPDFDocument;

// A page box in points, as stamped.
struct TvxPageRect {
  double Left = 0, Bottom = 0, Right = 0, Top = 0;
};

class TvxWatermarkProcessor {
 public:
  TvxWatermarkProcessor(TvxCustomPDFDocument& ADocument, TvxMeasurementUnit AUnit,
                        TvxCustomWatermarkTemplate& ATemplate);
  TvxWatermarkProcessor(const TvxWatermarkProcessor&) = delete;
  TvxWatermarkProcessor& operator=(const TvxWatermarkProcessor&) = delete;

  // The anchor on Box for the template's positions, before alignment.
  void ComputeAnchor(const TvxPageRect& Box, double& X, double& Y) const;
  // The content stream for one page as a new indirect object, marked used
  // once; the caller adds it to the store.
  std::unique_ptr<TvxPDFIndirectObject> CreateWatermarkStream(const std::string& FontName,
                                                              const std::string& GSName,
                                                              const TvxPageRect& Box,
                                                              int32_t DocumentID,
                                                              int32_t ObjectNumber);
  // Index of the first stamped box equal to Box, or -1.
  int32_t FindPageRect(const TvxPageRect& Box) const;
  // A new reference to the stream made for the Index-th page.
  std::unique_ptr<TvxPDFIndirectReference> GetStreamRef(int32_t Index) const;

  struct TvxStreamID {
    int32_t DocumentID, ObjectNumber;
  };

  TvxCustomPDFDocument& Document;
  TvxCustomWatermarkTemplate& Template;
  // One entry per stream made, in order (held by value: a page costs no
  // allocation here).
  std::vector<TvxPageRect> PageRects;
  std::vector<TvxStreamID> StreamRefs;
  TvxMeasurementUnit Unit;
  // When set, a page whose box, font name and opacity name equal an earlier
  // page's shares that page's content bytes instead of building them again
  // (the text then holds no per-page variables).
  bool ReuseContent = false;

 private:
  struct TvxBoxKey {
    double L, B, R, T;
    bool operator==(const TvxBoxKey&) const = default;
  };
  struct TvxBoxHash {
    size_t operator()(const TvxBoxKey& K) const noexcept;
  };
  // What a page's content text depends on besides the template: its box
  // and its two resource names.
  struct TvxContentKey {
    int32_t Box;
    std::string FontName, GSName;
    bool operator==(const TvxContentKey&) const = default;
  };
  struct TvxContentHash {
    size_t operator()(const TvxContentKey& K) const noexcept;
  };
  std::unordered_map<TvxBoxKey, int32_t, TvxBoxHash> FRectIndex;
  // Each content text once, held in memory as a source that every stream
  // showing it reads from: 10,000 pages with one box keep one copy.
  std::unordered_map<TvxContentKey, TvxPDFSourcePtr, TvxContentHash> FContents;
  // The entry used last: pages in a row mostly share it.
  const std::pair<const TvxContentKey, TvxPDFSourcePtr>* FLastContent = nullptr;  // not owned
};

// The document-side work of InsertWatermark; the document delegates to it.
class TvxWatermarkStamper {
 public:
  TvxWatermarkStamper(TvxDocumentData& AData, TvxCustomPDFDocument& ADocument);

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
  std::u16string ExpandApplicationVariables(const std::u16string& Text, int32_t PageNo) const;

 private:
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

  TvxDocumentData& D;
  TvxCustomPDFDocument& Doc;
  std::unordered_map<const TvxPDFIndirectObject*, int32_t> FArrayUsers;
  bool FArraysCounted = false;
  // Pages sharing a /Contents array and stamped alike share one copy of it
  // with the watermark, by the array and the watermark's content.
  struct TvxSharedCopyKey {
    const TvxPDFIndirectObject* Array;
    std::string FontName, GSName;
    double Left, Bottom, Right, Top;
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
