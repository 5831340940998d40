#include "pdf/document/vxCstPDFDoc.h"

#include <sys/stat.h>

#include <cstring>

#include "pdf/document/vxCatalogContent.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxViewerPreferences.h"
#include "pdf/reader/vxRepair.h"
#include "pdf/reader/vxXRefLoader.h"
#include "pdf/watermark/vxPageRange.h"
#include "pdf/watermark/vxWatermarkStamper.h"
#include "platform/vxFileReplace.h"
#include "platform/vxShell.h"

namespace vx {

namespace {

bool FileExists(const std::string& Name) {
  struct stat St {};
  return ::stat(Name.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

bool HasExtension(const std::string& Name) {
  size_t Slash = Name.find_last_of('/');
  size_t Dot = Name.find_last_of('.');
  return Dot != std::string::npos && (Slash == std::string::npos || Dot > Slash) &&
         Dot + 1 < Name.size();
}

}  // namespace

TvxCustomPDFDocument::TvxCustomPDFDocument() {
  TvxCustomPDFDocument::InitDocumentData();
}

TvxCustomPDFDocument::~TvxCustomPDFDocument() {
  TvxCustomPDFDocument::FreeDocumentData();
}

void TvxCustomPDFDocument::InitDocumentData() {
  FDocumentID = NextDocumentID();
  FIsLoaded = false;
  FIsEncrypted = false;
  FWorkFileName.clear();
  FStore = std::make_unique<TvxPDFObjectStore>();
  FPages.clear();
  FXRefItems.clear();
  FXRefStmItems.clear();
  FInfo = std::make_unique<TvxPDFInfo>();
  FInfo->SetEncryption(this);
  FCatalog = std::make_unique<TvxPDFCatalog>();
  FTrailer = std::make_unique<TvxPDFTrailer>();
  FDecryptor.reset();
  FPendingID.reset();
  if (!FSecurity) {
    FSecurity = std::make_unique<TvxSecurityHandler>();
    FSecurity->SetOnWarning([this](const std::string& Msg) { DoWarning(Msg); });
  }
  // Every load starts from plain output: encryption off (el40bit, no
  // passwords), no compression and no ASCII encoding.
  FSecurity->Reset();
  FCompression = TvxCompression{};
  FObjectStreams = TvxObjectStreams::Preserve;
  FAsciiEncoding = false;
  FPDFVersion = pvPDF14;
  FPageMode = pmNone;
  FPageLayout = plNone;
  FSaveStateObjNo = -1;
  FRestoreStateObjNo = -1;
  TvxDocumentData& Data = *this;
  TvxDocumentEvents& Events = *this;
  FLoader = std::make_unique<TvxObjectLoader>(Data, Events);
  FCatalogContent = std::make_unique<TvxCatalogContent>(Data, Events, *FLoader);
  FFindNamedDest = [this](const std::string& Name) { return FCatalogContent->FindNamedDest(Name); };
}

void TvxCustomPDFDocument::FreeDocumentData() {
  FSubReader.reset();
  FReader.reset();
  FSourceView.reset();
  FSource.reset();
  FPages.clear();
  FFindNamedDest = nullptr;
  FCatalogContent.reset();
  FLoader.reset();
  FStore.reset();
  FXRefItems.clear();
  FXRefStmItems.clear();
  FInfo.reset();
  FCatalog.reset();
  FTrailer.reset();
  FPendingID.reset();
  FDecryptor.reset();
}

void TvxCustomPDFDocument::ClearDocument() {
  FreeDocumentData();
  InitDocumentData();
}

bool TvxCustomPDFDocument::LoadFromFile(const std::string& Name) {
  // Nothing of an earlier load, failed or not, may reach this one.
  ClearDocument();
  FWorkFileName = HasExtension(Name) ? Name : Name + ".pdf";
  if (!FileExists(FWorkFileName))
    throw EFileNotFound(FormatMessage(msg::FileNotFound, FWorkFileName));
  if (FFilename.empty()) FFilename = FWorkFileName;

  return LoadSource(TvxPDFSource::OpenFile(FWorkFileName));
}

bool TvxCustomPDFDocument::LoadFromMemory(std::string Bytes) {
  return LoadSource(TvxPDFSource::FromMemory(std::move(Bytes)));
}

bool TvxCustomPDFDocument::LoadSource(const TvxPDFSourcePtr& Source) {
  // Repair attempts draw on the same allowance as the load that failed.
  TvxDecodeBudgetScope Budget(FDecodeBudget, DecodeAllowanceFor(Source->Size()));
  // The view serves the tokenizer only while loading; later reads of stream
  // data go through the open file.
  struct TvxEndView {
    const TvxPDFSourcePtr& Source;
    ~TvxEndView() { Source->ReleaseView(); }
  } EndView{Source};
  try {
    return LoadBytes(Source, lmExact);
  } catch (const std::exception& E) {
    if (!RepairDamaged || !IsDamagedStructureError(E) || Source->ViewFaulted()) throw;
    DoWarning(FormatMessage(msg::RepairStarted, E.what()));
  }
  // Offsets count from the header, wherever it stands.
  const int64_t Header = TvxRepair::FindHeader(Source->View());
  TvxPDFSourcePtr From = Source;
  if (Header > 0) {
    DoWarning(FormatMessage(msg::RepairHeaderMoved, static_cast<int32_t>(Header)));
    From = Source->Tail(Header);
  } else if (Header < 0) {
    DoWarning(std::string(msg::RepairNoHeader));
  }
  // A file whose only fault is its header loads as it describes itself.
  if (Header != 0 || !TvxRepair::HeaderIsSound(From->View())) {
    try {
      return LoadBytes(From, lmHeaderMoved);
    } catch (const std::exception& E) {
      if (!IsDamagedStructureError(E) || Source->ViewFaulted()) throw;
    }
  }
  return LoadBytes(From, lmRebuilt);
}

bool TvxCustomPDFDocument::LoadBytes(const TvxPDFSourcePtr& Source, TvxLoadMode Mode) {
  // Every load starts from a cleared document; keep the name a file load has
  // just set.
  std::string Work = FWorkFileName;
  ClearDocument();
  FWorkFileName = Work;
  FLoadMode = Mode;
  FRepairing = Mode != lmExact;
  FRepairAllowed = RepairDamaged || FRepairing;
  // The reader lives only while loading; the pages of the view it walked no
  // longer count once it is done.
  auto Release = [this] {
    FReader.reset();
    FSourceView.reset();
    if (FSource) FSource->DropPages();
  };
  struct TvxCloseFile {
    decltype(Release)& Close;
    ~TvxCloseFile() { Close(); }
  } Close{Release};
  try {
    FSource = Source;
    FSourceView = std::make_unique<TvxViewStream>(Source->View());
    ReadDocument(*FSourceView);
    if (!FIsEncrypted) {
      FinishRead();
    } else if (OnPassword) {
      int32_t Tries = 0;
      bool Continue = true;
      bool Succeeded = false;
      std::string Password;
      // Ends when the handler gives up; each try asks it again.
      while (!Succeeded && Continue) {
        OnPassword(*this, Password, Continue, Tries);
        if (Continue)
          Succeeded = Authenticate(Password);
        else
          ClearDocument();
        ++Tries;
      }
    } else if (!Authenticate("")) {
      // A refused empty password is a cancelled password dialog.
      ClearDocument();
    }
    // Bytes that vanished while loading read as zeros: the catch below
    // turns any outcome into the changed-file error.
    if (Source->ViewFaulted()) throw ESourceChangedError("");
  } catch (...) {
    // A failed load leaves an empty document, not half of one.
    Release();
    Work = FWorkFileName;
    ClearDocument();
    FWorkFileName = Work;
    FRepairing = false;
    FRepairAllowed = false;
    FLoadMode = lmExact;
    if (Source->ViewFaulted())
      throw ESourceChangedError(FormatMessage(msg::SourceChanged, Source->FileName()));
    throw;
  }
  FRepairing = false;
  FRepairAllowed = false;
  FLoadMode = lmExact;
  return FIsLoaded;
}

void TvxCustomPDFDocument::ReadDocument(TvxStream& Stream) {
  FReader = std::make_unique<TvxPDFStreamReader>(FDocumentID, &Stream);
  FReader->Lenient = FRepairing;
  if (&Stream == FSourceView.get()) FReader->Origin = FSource;
  try {
    TvxDocumentData& Data = *this;
    TvxDocumentEvents& Events = *this;
    if (FLoadMode == lmRebuilt) {
      TvxRepair(Data, Events, *FLoader).Rebuild();
    } else {
      TvxXRefLoader XRef(Data, Events, *FLoader);
      XRef.ReadXRef();
    }
    // An unsupported method is refused before any password is asked for.
    if (FIsEncrypted) TvxSecurityHandler::CheckEncryptDict(FTrailer->Encrypt.get());
  } catch (...) {
    FReader.reset();
    throw;
  }
}

bool TvxCustomPDFDocument::CheckPassword(const std::string& Password) {
  return ReadEncryptDict(Password);
}

bool TvxCustomPDFDocument::Authenticate(const std::string& Password) {
  if (FIsEncrypted) {
    if (!CheckPassword(Password)) return false;
    StartDecryptedRead();
  }
  FinishRead();
  return true;
}

void TvxCustomPDFDocument::FinishRead() {
  if (OnBeginRead) OnBeginRead(*this);
  TvxDocumentData& Data = *this;
  TvxDocumentEvents& Events = *this;
  TvxCatalogReader Reader(Data, Events, *FLoader, CatalogHandlers());
  Reader.ReadCatalog();
  FIsLoaded = true;
  DoStatusMessage(FormatMessage(msg::DocumentReadComplete, PageCount()));
  if (OnEndRead) OnEndRead(*this);
}

void TvxCustomPDFDocument::SetPageTransition(std::string_view Pages, uint8_t Style,
                                             float Duration) {
  const TvxPageList List = ParsePageRange(Pages, PageCount());
  vx::SetPageTransition(FPages, List, Style, Duration);
}

TvxPageSize TvxCustomPDFDocument::GetPageSize(int32_t PageNo, TvxMeasurementUnit Unit) const {
  CheckPageNumber(PageNo, PageCount());
  // The load takes dictionaries only as pages.
  const auto& Page =
      ObjectCast<TvxPDFDictObject>(FPages[static_cast<size_t>(PageNo - 1)]->Value.get());
  return GetPageSizeOf(Page, *FStore, Unit);
}

TvxPDFRect TvxCustomPDFDocument::GetPageBox(int32_t PageNo, TvxMeasurementUnit Unit) const {
  CheckPageNumber(PageNo, PageCount());
  const auto& Page =
      ObjectCast<TvxPDFDictObject>(FPages[static_cast<size_t>(PageNo - 1)]->Value.get());
  return GetPageBoxOf(Page, *FStore, Unit);
}

TvxCatalogHandlers& TvxCustomPDFDocument::CatalogHandlers() {
  return *FCatalogContent;
}

std::string TvxCustomPDFDocument::TargetFileName(const std::string& FileName) {
  size_t Slash = FileName.find_last_of('/');
  size_t Dot = FileName.find_last_of('.');
  std::string Ext;
  if (Dot != std::string::npos && (Slash == std::string::npos || Dot > Slash))
    Ext = FileName.substr(Dot);
  for (char& C : Ext) C = static_cast<char>(C >= 'A' && C <= 'Z' ? C + 32 : C);
  return Ext == ".pdf" ? FileName : FileName + ".pdf";
}

void TvxCustomPDFDocument::InsertWatermark(TvxCustomWatermarkTemplate& Template,
                                           std::string_view PageRange) {
  TvxDecodeBudgetScope Budget(FDecodeBudget, DecodeAllowance());
  NewStamper().InsertWatermark(Template, PageRange);
}

void TvxCustomPDFDocument::InsertWatermark(TvxCustomWatermarkTemplate& Template) {
  InsertWatermark(Template, "1-" + std::to_string(PageCount()));
}

int32_t TvxCustomPDFDocument::RemoveWatermarks(std::vector<std::string>& Notes) {
  TvxDecodeBudgetScope Budget(FDecodeBudget, DecodeAllowance());
  TvxDocumentData& Data = *this;
  return TvxWatermarkLayer(Data).RemoveAll(Notes);
}

TvxFoundWatermarks TvxCustomPDFDocument::FindWatermarks() const {
  // Streams it reads count against the file's decoding allowance too.
  auto& Self = const_cast<TvxCustomPDFDocument&>(*this);
  TvxDecodeBudgetScope Budget(Self.FDecodeBudget, DecodeAllowance());
  TvxDocumentData& Data = Self;
  return TvxWatermarkLayer(Data).Find();
}

int32_t TvxCustomPDFDocument::GetPageRotation(int32_t PageNo) {
  return NewStamper().GetPageRotation(PageNo);
}

std::unique_ptr<TvxPDFIndirectReference> TvxCustomPDFDocument::CreateOpacityState(
    double StrokeOpacity, double FillOpacity) {
  return NewStamper().CreateOpacityState(StrokeOpacity, FillOpacity);
}

TvxWatermarkStamper TvxCustomPDFDocument::NewStamper() {
  TvxStampingHooks Hooks;
  Hooks.Unit = MeasurementUnit;
  Hooks.Warn = [this](const std::string& Message) { DoWarning(Message); };
  if (OnCalcVariables)
    Hooks.CalcVariable = [this](const std::u16string& Name, std::u16string& Value, int32_t PageNo) {
      OnCalcVariables(*this, Name, Value, PageNo);
    };
  Hooks.Progress = JobProgressHook();
  TvxDocumentData& Data = *this;
  return TvxWatermarkStamper(Data, std::move(Hooks));
}

void TvxCustomPDFDocument::SetCompression(uint8_t Method, uint8_t Level) {
  FCompression.Enabled = 1;
  FCompression.Method = Method;
  FCompression.Level = Level;
}

int64_t TvxCustomPDFDocument::DecodeAllowance() const {
  return DecodeAllowanceFor(FSource ? FSource->Size() : 0);
}

void TvxCustomPDFDocument::WriteDocument(TvxStream& Output) {
  TvxDecodeBudgetScope Budget(FDecodeBudget, DecodeAllowance());
  TvxDocumentData& Data = *this;
  TvxDocumentEvents& Events = *this;
  TvxOutputEncryption* Encryption = PrepareOutputEncryption();
  TvxDocumentWriter Writer(Data, Events, CatalogContent().OutlineRoot(), FCompression, Encryption,
                           FObjectStreams);
  Writer.SetProgress(JobProgressHook(), FSource ? FSource->Size() : 0);
  Writer.WriteDocument(Output);
}

TvxJobProgressHook TvxCustomPDFDocument::JobProgressHook() {
  if (!OnJobProgress) return nullptr;
  return [this](const TvxJobProgress& Progress) {
    bool Cancel = false;
    OnJobProgress(*this, Progress, Cancel);
    return !Cancel;
  };
}

void TvxCustomPDFDocument::SaveToFile(const std::string& FileName, int32_t AppearanceMode) {
  if (ShowSetupDialog && SetupDialog && SetupDialog->Execute(*this) == mrCancel) return;
  const std::string Target = TargetFileName(FileName);
  CatalogContent().SetNeedAppearances(AppearanceMode);
  DoStatusMessage(FormatMessage("Saving File %s", Target));
  // Stream data still in the loaded file must be what was loaded: a file
  // written to since is refused before anything is written.
  if (FSource) FSource->CheckUnchanged();

  // Never lose the user's file: write beside it, rename into place when done.
  try {
    ReplaceFile(Target, [this, &Target](int Fd, const std::string& Temp) {
      // The new empty file is written as it is: truncating it would make the
      // file system flush it at every close.
      TvxFileStream File(Fd, Temp);
      TvxWriteOnlyFilter Output(&File);
      try {
        WriteDocument(Output);
        File.Close();
      } catch (const EStreamError&) {
        // A full disk or a file size limit: the user learns which.
        if (File.LastError() == 0) throw;
        throw EStreamError(FormatMessage(msg::FileWrite, Target) + ". " +
                           std::strerror(File.LastError()));
      }
    });
  } catch (const EFileReplaceError& Err) {
    throw EFCreateError(FormatMessage(msg::FileCreate, Target) + ". " + std::strerror(Err.Errno));
  }
  if (OpenAfterSave) ShellService().Execute("open", Target);
  DoStatusMessage("Save Complete");
}

void TvxCustomPDFDocument::DoStatusMessage(const std::string& Msg) {
  if (OnStatusMessage) OnStatusMessage(*this, Msg);
}

void TvxCustomPDFDocument::DoWarning(const std::string& Msg) {
  if (OnWarning) OnWarning(*this, Msg);
}

void TvxCustomPDFDocument::DoIOProgress(int32_t Percentage) {
  if (OnIOProgress) OnIOProgress(*this, Percentage);
}

}  // namespace vx

namespace vx {

bool TvxCustomPDFDocument::FindFontResource(const TvxPDFDictObject* FontDict, const TvxFont& Font,
                                            std::string& ResourceName, uint8_t FontEncoding,
                                            uint8_t FontEmbedding) {
  return TvxFontResources(*FStore, FPages, FDocumentID)
      .FindFontResource(FontDict, Font, ResourceName, FontEncoding, FontEmbedding);
}

bool TvxCustomPDFDocument::FindFontResource(const TvxPDFDictObject* FontDict, const TvxFont& Font,
                                            std::string& ResourceName, uint8_t FontEncoding,
                                            uint8_t FontEmbedding, TvxFontLookupCache& Cache) {
  return TvxFontResources(*FStore, FPages, FDocumentID)
      .FindFontResource(FontDict, Font, ResourceName, FontEncoding, FontEmbedding, Cache);
}

std::unique_ptr<TvxPDFIndirectReference> TvxCustomPDFDocument::CreateFontResource(
    const TvxFont& Font, const std::string& ResourceName, uint8_t FontEmbedding,
    uint8_t FontEncoding, std::u16string_view Text) {
  return TvxFontResources(*FStore, FPages, FDocumentID)
      .CreateFontResource(Font, ResourceName, FontEmbedding, FontEncoding, Text);
}

}  // namespace vx
