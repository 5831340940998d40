// The state a document shares with its loading, stamping and writing
// collaborators. It sits below all of them: the reader is only named here,
// and whoever destroys the record includes it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/filters/vxDecodeLimit.h"
#include "pdf/objects/vxDecryptor.h"
#include "pdf/objects/vxPDFInfo.h"
#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/objects/vxPDFVersion.h"
#include "pdf/objects/vxStreams.h"
#include "pdf/state/vxDocumentEnums.h"

namespace vx {

class TvxPDFStreamReader;

// Object numbers above this are refused: no conforming file has more objects.
inline constexpr int32_t MaxObjectNumber = 8388607;

// Progress, status and warnings raised while loading and saving.
class TvxDocumentEvents {
 public:
  virtual ~TvxDocumentEvents() = default;
  virtual void DoStatusMessage(const std::string& Msg) = 0;
  virtual void DoWarning(const std::string& Msg) = 0;
  virtual void DoIOProgress(int32_t Percentage) = 0;
};

// How far a stamp or a save has come: pages stamped of the pages asked
// for, then bytes written of about Total (0 when unknown).
struct TvxJobProgress {
  enum TvxStage { jsStamping, jsWriting };
  TvxStage Stage = jsStamping;
  int64_t Done = 0;
  int64_t Total = 0;
};
// Told the progress of a job; false stops it with EJobCancelled.
using TvxJobProgressHook = std::function<bool(const TvxJobProgress& Progress)>;

struct TvxDocumentData {
  int32_t FDocumentID = 0;
  // The loaded file (or memory). Stream data nobody changed stays there and
  // is read or copied when needed, so it lives as long as the document.
  TvxPDFSourcePtr FSource;
  // The reader's view of FSource while it is being loaded.
  std::unique_ptr<TvxViewStream> FSourceView;
  std::unique_ptr<TvxPDFStreamReader> FReader;
  std::unique_ptr<TvxPDFStreamReader> FSubReader;
  // Cross-reference entries by object number, the newest section's entry for
  // each number: a number is in at most one of the two.
  std::unordered_map<int32_t, TvxXRefItem> FXRefItems;
  std::unordered_map<int32_t, TvxXRefStmItem> FXRefStmItems;
  std::unique_ptr<TvxPDFObjectStore> FStore;
  std::unique_ptr<TvxPDFTrailer> FTrailer;
  std::unique_ptr<TvxPDFCatalog> FCatalog;
  std::unique_ptr<TvxPDFInfo> FInfo;
  std::vector<TvxPDFIndirectObject*> FPages;  // owned by FStore
  TvxPDFObjectPtr FPendingID;
  // Shared with stream data left in the file, which it decrypts when read.
  std::shared_ptr<TvxPDFDecryptor> FDecryptor;

  TvxPDFVersion FPDFVersion = pvPDF14;
  bool FIsLoaded = false;
  bool FIsEncrypted = false;
  // Set while a damaged file is loaded by repair: damage is then tolerated
  // and reported through warnings.
  bool FRepairing = false;
  // Set for any load that may repair (RepairDamaged): small faults a viewer
  // gets past are then mended with a warning even when the structure is
  // sound.
  bool FRepairAllowed = false;
  TvxPageMode FPageMode = pmNone;
  TvxPageLayout FPageLayout = plNone;
  int32_t FSaveStateObjNo = -1;
  int32_t FRestoreStateObjNo = -1;

  // What the current operation may still decode.
  TvxDecodeBudget FDecodeBudget;

  // A named destination by its bare name, as a new object, or nil. Finds
  // nothing until a destination table is loaded.
  std::function<TvxPDFObjectPtr(const std::string&)> FFindNamedDest;
};

}  // namespace vx
