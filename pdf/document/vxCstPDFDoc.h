// The document component: loads a PDF file into an object store, exposes its
// pages and properties, and hands the work to the subsystem collaborators.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pdf/document/vxCatalogContent.h"
#include "pdf/document/vxDocumentSnapshot.h"
#include "pdf/fonts/vxFontResources.h"
#include "pdf/reader/vxCatalogReader.h"
#include "pdf/reader/vxObjectLoader.h"
#include "pdf/reader/vxPDFStreamReader.h"
#include "pdf/security/vxSecurityHandler.h"
#include "pdf/state/vxDocumentData.h"
#include "pdf/watermark/vxUnits.h"
#include "pdf/watermark/vxWatermarkLayer.h"
#include "pdf/watermark/vxWatermarkStamper.h"
#include "pdf/watermark/vxWatermarkTemplate.h"
#include "pdf/writer/vxDocumentWriter.h"

namespace vx {

class TvxCustomPDFDocument;

// The document settings dialog, run before a save when ShowSetupDialog is set.
class TvxSetupDialog {
 public:
  virtual ~TvxSetupDialog() = default;
  // 2 (cancel) stops the save; anything else lets it go on.
  virtual int32_t Execute(TvxCustomPDFDocument& Document) = 0;
};
inline constexpr int32_t mrCancel = 2;

using TvxNotifyEvent = std::function<void(TvxCustomPDFDocument& Sender)>;
using TvxStatusMessageEvent =
    std::function<void(TvxCustomPDFDocument& Sender, const std::string& StatMsg)>;
using TvxWarningEvent =
    std::function<void(TvxCustomPDFDocument& Sender, const std::string& Warning)>;
using TvxProgressEvent = std::function<void(TvxCustomPDFDocument& Sender, int32_t Percentage)>;
using TvxPasswordEvent = std::function<void(TvxCustomPDFDocument& Sender, std::string& Password,
                                            bool& Continue, int32_t Tries)>;
// Supplies the value of an application variable <%Variable%> on page PageNo.
using TvxOnCalcVariablesEvent =
    std::function<void(TvxCustomPDFDocument& Sender, const std::u16string& Variable,
                       std::u16string& Value, int32_t PageNo)>;

// Told how far a stamp or a save has come; setting Cancel stops the job
// with EJobCancelled (a cancelled save leaves no file).
using TvxJobProgressEvent =
    std::function<void(TvxCustomPDFDocument& Sender, const TvxJobProgress& Progress, bool& Cancel)>;

class TvxCustomPDFDocument : protected TvxDocumentData,
                             private TvxDocumentEvents,
                             private TvxOutputEncryption,
                             private TvxTextEncryption {
 public:
  TvxCustomPDFDocument();
  virtual ~TvxCustomPDFDocument();
  TvxCustomPDFDocument(const TvxCustomPDFDocument&) = delete;
  TvxCustomPDFDocument& operator=(const TvxCustomPDFDocument&) = delete;

  // The whole load; returns IsLoaded.
  bool LoadFromFile(const std::string& Name);
  // The same load from the bytes of a file already in memory.
  bool LoadFromMemory(std::string Bytes);
  // Header, cross-reference chain, trailer values, object streams and the
  // encryption dictionary, from a stream holding the whole file.
  void ReadDocument(TvxStream& Stream);
  bool Authenticate(const std::string& Password);
  void FinishRead();
  void ClearDocument();

  // Loading on demand (only while the file is open).
  int64_t GetObjectOffset(int32_t K) const { return FLoader->GetObjectOffset(K); }
  TvxLoadedObject LoadObject(int32_t K) { return FLoader->LoadObject(K); }
  void LoadReferences(TvxPDFObject* X) { FLoader->LoadReferences(X); }
  TvxPDFObjectPtr MakeDirect(const TvxPDFObject* X) { return FLoader->MakeDirect(X); }
  TvxObjectLoader& Loader() { return *FLoader; }
  // Outlines, named destinations, name trees and the form.
  TvxCatalogContent& CatalogContent() { return *FCatalogContent; }

  // Saves a complete new file; AppearanceMode 0 sets the form's
  // /NeedAppearances true, 1 false, anything else leaves it. The file is
  // written beside the target and renamed into place only when complete.
  void SaveToFile(const std::string& FileName, int32_t AppearanceMode = 2);
  // The whole file written forward to Output (SaveToFile's writing step).
  void WriteDocument(TvxStream& Output);
  void SetCompression(uint8_t Method, uint8_t Level);
  const TvxCompression& Compression() const { return FCompression; }
  // Object streams and a cross-reference stream on save (Preserve after
  // every initialisation): as the source had them, always, or never.
  void SetObjectStreams(TvxObjectStreams Value) { FObjectStreams = Value; }
  TvxObjectStreams ObjectStreams() const { return FObjectStreams; }
  // ASCII encoding of binary stream data on output; off after every
  // initialisation, and no save applies it yet.
  bool AsciiEncoding() const { return FAsciiEncoding; }
  void SetAsciiEncoding(bool Value) { FAsciiEncoding = Value; }
  // The name a save writes to: ".pdf" appended unless the name ends so.
  static std::string TargetFileName(const std::string& FileName);

  // Stamps Template (a TvxTextWatermarkTemplate; other kinds are ignored) on
  // the pages PageRange names, or on every page. The template is changed and
  // cannot be used for a second call.
  void InsertWatermark(TvxCustomWatermarkTemplate& Template, std::string_view PageRange);
  void InsertWatermark(TvxCustomWatermarkTemplate& Template);
  // Takes off every watermark stamped in layer mode, each page back to what
  // it had before; Notes gets what could not be done and why. Returns the
  // pages restored.
  int32_t RemoveWatermarks(std::vector<std::string>& Notes);
  // The watermarks the document holds: ours in a layer and not, and layers
  // of other programs.
  TvxFoundWatermarks FindWatermarks() const;
  // The document as it is now: Restore brings it back there, whatever was
  // stamped or removed since, so that one load gives many differently
  // stamped copies. Restore raises vx::Exception for another document's
  // snapshot or one taken before the last load.
  std::unique_ptr<TvxDocumentSnapshot> TakeSnapshot() const;
  void Restore(const TvxDocumentSnapshot& Snapshot);
  // Presentation transition Style (1 to 16, else a plain replace) lasting
  // Duration seconds on the pages Pages names; the page-range errors pass on
  // and leave every page as it was.
  void SetPageTransition(std::string_view Pages, uint8_t Style, float Duration);
  // /Rotate of page PageNo (1-based), 0 when absent.
  int32_t GetPageRotation(int32_t PageNo);
  // A new /ExtGState object with the opacities in percent, or nil when both
  // are 100.
  std::unique_ptr<TvxPDFIndirectReference> CreateOpacityState(double StrokeOpacity,
                                                              double FillOpacity);

  // Properties.
  const std::string& Filename() const { return FFilename; }
  void SetFilename(const std::string& Value) { FFilename = Value; }
  const std::string& WorkFileName() const { return FWorkFileName; }
  bool IsLoaded() const { return FIsLoaded; }
  bool IsEncrypted() const { return FIsEncrypted; }
  // True for an unencrypted file and after an owner-password open.
  bool IsOwner() const { return FSecurity->IsOwner(); }
  // The encryption of the output; filled from the source on an encrypted
  // open (and locked after a user-password open).
  TvxPDFEncryptionSettings& Encryption() { return FSecurity->Settings(); }
  TvxPDFVersion PDFVersion() const { return FPDFVersion; }
  void SetPDFVersion(TvxPDFVersion Value) { FPDFVersion = Value; }
  int32_t PageCount() const { return static_cast<int32_t>(FPages.size()); }
  TvxPageMode PageMode() const { return FPageMode; }
  void SetPageMode(TvxPageMode Value) { FPageMode = Value; }
  TvxPageLayout PageLayout() const { return FPageLayout; }
  void SetPageLayout(TvxPageLayout Value) { FPageLayout = Value; }
  int32_t DocumentID() const { return FDocumentID; }
  // The unit of page sizes and boxes handed out and of custom offsets
  // handed in; setting it converts nothing.
  TvxMeasurementUnit MeasurementUnit = muPixels;
  // Size and box (crop box, else media box) of page PageNo (1-based) in
  // Unit; a page number outside the document raises EInvalidPageError.
  TvxPageSize GetPageSize(int32_t PageNo, TvxMeasurementUnit Unit) const;
  TvxPDFRect GetPageBox(int32_t PageNo, TvxMeasurementUnit Unit) const;

  // Font resources for watermark text (see TvxFontResources).
  bool FindFontResource(const TvxPDFDictObject* FontDict, const TvxFont& Font,
                        std::string& ResourceName, uint8_t FontEncoding, uint8_t FontEmbedding = 0);
  // The same within one stamping, which keeps Cache for its font.
  bool FindFontResource(const TvxPDFDictObject* FontDict, const TvxFont& Font,
                        std::string& ResourceName, uint8_t FontEncoding, uint8_t FontEmbedding,
                        TvxFontLookupCache& Cache);
  std::unique_ptr<TvxPDFIndirectReference> CreateFontResource(const TvxFont& Font,
                                                              const std::string& ResourceName,
                                                              uint8_t FontEmbedding,
                                                              uint8_t FontEncoding,
                                                              std::u16string_view Text);
  std::string MakeBaseFontName(const TvxFont& Font) const { return vx::MakeBaseFontName(Font); }

  // The document's data, for the subsystems that work on it.
  TvxPDFObjectStore& Store() { return *FStore; }
  const std::vector<TvxPDFIndirectObject*>& Pages() const { return FPages; }
  TvxPDFTrailer& Trailer() { return *FTrailer; }
  TvxPDFCatalog& Catalog() { return *FCatalog; }
  TvxPDFInfo& Info() { return *FInfo; }
  TvxPDFViewerPreferences& ViewerPreferences() { return *FCatalog->ViewerPreferences; }

  // Security (Standard handler). One password attempt: true when accepted,
  // and from then on every string and stream read is decrypted.
  bool ReadEncryptDict(const std::string& Password);
  // The output's encryption dictionary; gives the trailer a new ID array.
  std::unique_ptr<TvxPDFDictObject> BuildEncryptDict();
  // A new encryptor for the output, kept until the document is cleared or
  // the encryption settings change.
  void CreateEncryptor();
  // Data encrypted for output object ObjNum; creates the encryptor first
  // when there is none.
  std::string EncryptData(std::string_view Data, int32_t ObjNum) override;
  std::unique_ptr<TvxChunkCipher> StartEncryption(int32_t ObjNum) override;
  int64_t EncryptedSize(int64_t Size) override;
  bool EncryptsStrings() const override;
  bool EncryptsStream(const TvxPDFDictObject* Dict) const override;

  bool OpenAfterSave = false;
  bool ShowSetupDialog = false;
  // What merging documents takes over; loading and saving one document do
  // not consult it.
  TvxMergeOptions MergeOptions{moIncludeOutlines, moIncludeFormFields};
  // Settings of the e-mail and text-rendering features; nothing here reads
  // them.
  bool EMailAfterSave = false;
  bool CustomRenderText = false;
  // A load that fails on damaged structure is tried again by repair: the
  // header anywhere in the first 1,024 bytes, then the cross-reference data
  // rebuilt by scanning the file. Every repair is reported through
  // OnWarning. A file that loads without it loads the same with it.
  bool RepairDamaged = false;
  TvxSetupDialog* SetupDialog = nullptr;  // not owned

  // Events; an unassigned one is skipped.
  TvxStatusMessageEvent OnStatusMessage;
  TvxWarningEvent OnWarning;
  TvxProgressEvent OnIOProgress;
  TvxNotifyEvent OnBeginRead;
  TvxNotifyEvent OnEndRead;
  TvxPasswordEvent OnPassword;
  TvxOnCalcVariablesEvent OnCalcVariables;
  TvxJobProgressEvent OnJobProgress;

 protected:
  // OnJobProgress as the stamper and the writer take it; empty when unset.
  TvxJobProgressHook JobProgressHook();
  virtual void InitDocumentData();
  virtual void FreeDocumentData();
  // Checks a password against the encryption dictionary and sets up
  // decryption (ReadEncryptDict).
  virtual bool CheckPassword(const std::string& Password);
  // Where the catalog reader hands over destinations, names, form, outlines.
  virtual TvxCatalogHandlers& CatalogHandlers();

  // The stamping collaborator, with this document's unit, warnings and
  // variables.
  TvxWatermarkStamper NewStamper();

  void DoStatusMessage(const std::string& Msg) override;
  void DoWarning(const std::string& Msg) override;
  void DoIOProgress(int32_t Percentage) override;
  // What one operation on the loaded file may decode in all.
  int64_t DecodeAllowance() const;
  // The output encryption for a save (nil when off), with the information
  // entries set so far encoded under it.
  TvxOutputEncryption* PrepareOutputEncryption();
  std::unique_ptr<TvxPDFDictObject> BuildEncryptDict(TvxPDFTrailer& Trailer) override;
  TvxPDFVersion MinimumVersion() const override;
  bool EncryptionEnabled() const override;
  // Once the password is accepted: what was read before is dropped, and the
  // object streams are unpacked through the decryptor.
  void StartDecryptedRead();

  enum TvxLoadMode : uint8_t {
    lmExact,        // as the file describes itself
    lmHeaderMoved,  // offsets from a header found late or damaged
    lmRebuilt       // cross-reference data rebuilt by scanning
  };
  // Loads Source, repairing it when it is damaged and repair is on.
  bool LoadSource(const TvxPDFSourcePtr& Source);
  // One load of Source.
  bool LoadBytes(const TvxPDFSourcePtr& Source, TvxLoadMode Mode);

  TvxLoadMode FLoadMode = lmExact;
  std::string FFilename;
  std::string FWorkFileName;
  TvxCompression FCompression;
  TvxObjectStreams FObjectStreams = TvxObjectStreams::Preserve;
  bool FAsciiEncoding = false;
  std::unique_ptr<TvxSecurityHandler> FSecurity;
  std::unique_ptr<TvxObjectLoader> FLoader;
  std::unique_ptr<TvxCatalogContent> FCatalogContent;
};

// The component with its properties and events published.
class TvxPDFDocument : public TvxCustomPDFDocument {
 public:
  TvxPDFDocument() = default;
};

}  // namespace vx
