// The document's side of the standard security handler: password check on
// load, encryption of the output on save.
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxObjectCasts.h"
#include "pdf/reader/vxXRefLoader.h"

namespace vx {

bool TvxCustomPDFDocument::ReadEncryptDict(const std::string& Password) {
  std::shared_ptr<TvxPDFDecrypt> Decrypt =
      FSecurity->ReadEncryptDict(FTrailer->Encrypt.get(), FTrailer->ID.get(), Password);
  if (!Decrypt) return false;
  if (FReader) FReader->Decryptor = Decrypt;
  FDecryptor = std::move(Decrypt);
  return true;
}

void TvxCustomPDFDocument::StartDecryptedRead() {
  // Whatever was read while the password was unknown was read undecrypted.
  auto Fresh = std::make_unique<TvxPDFObjectStore>();
  Fresh->LastObjectNumber = FStore->LastObjectNumber;
  FStore = std::move(Fresh);
  if (!FXRefStmItems.empty()) {
    TvxDocumentData& Data = *this;
    TvxDocumentEvents& Events = *this;
    TvxXRefLoader(Data, Events, *FLoader).UnpackObjectStreams();
  }
}

std::unique_ptr<TvxPDFDictObject> TvxCustomPDFDocument::BuildEncryptDict() {
  return FSecurity->BuildEncryptDict(*FTrailer);
}

std::unique_ptr<TvxPDFDictObject> TvxCustomPDFDocument::BuildEncryptDict(TvxPDFTrailer& Trailer) {
  return FSecurity->BuildEncryptDict(Trailer);
}

void TvxCustomPDFDocument::CreateEncryptor() {
  FSecurity->CreateEncryptor();
}

std::string TvxCustomPDFDocument::EncryptData(std::string_view Data, int32_t ObjNum) {
  return FSecurity->EncryptData(Data, ObjNum);
}

std::unique_ptr<TvxChunkCipher> TvxCustomPDFDocument::StartEncryption(int32_t ObjNum) {
  return FSecurity->StartEncryption(ObjNum);
}

int64_t TvxCustomPDFDocument::EncryptedSize(int64_t Size) {
  return FSecurity->EncryptedSize(Size);
}

bool TvxCustomPDFDocument::EncryptsStrings() const {
  const TvxPDFEncryption* E = FSecurity->Encryptor();
  return !E || !E->AttachmentsOnly();
}

bool TvxCustomPDFDocument::EncryptsStream(const TvxPDFDictObject* Dict) const {
  const TvxPDFEncryption* E = FSecurity->Encryptor();
  if (!E || !E->AttachmentsOnly()) return true;
  const auto* Type = ObjectAs<TvxPDFNameObject>(Dict ? Dict->Lookup("/Type") : nullptr);
  return Type && Type->Text == "/EmbeddedFile";
}

TvxPDFVersion TvxCustomPDFDocument::MinimumVersion() const {
  // AES-128 came with PDF 1.6, AES-256 at revision 6 with PDF 2.0. RC4 output
  // keeps the document's version, as it always has.
  const TvxPDFEncryption* E = FSecurity->Encryptor();
  if (!E) return pvPDF10;
  return E->Level() == elAES256 ? pvPDF20 : E->Level() == elAES128 ? pvPDF16 : pvPDF10;
}

bool TvxCustomPDFDocument::EncryptionEnabled() const {
  return FSecurity->Settings().Enabled();
}

TvxOutputEncryption* TvxCustomPDFDocument::PrepareOutputEncryption() {
  const bool Enabled = FSecurity->Settings().Enabled();
  if (Enabled) FSecurity->PrepareEncryptor();
  // Values set before encryption was switched on, or under an encryptor the
  // settings have since replaced, would be written unreadable.
  FInfo->ReencodeSetValues();
  return Enabled ? static_cast<TvxOutputEncryption*>(this) : nullptr;
}

}  // namespace vx
