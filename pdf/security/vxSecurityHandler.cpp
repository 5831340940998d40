#include "pdf/security/vxSecurityHandler.h"

#include "pdf/objects/vxUtils.h"

namespace vx {

namespace {

const TvxPDFNameObject* NameEntry(const TvxPDFDictObject& Dict, std::string_view Key) {
  const TvxPDFObject* V = Dict.Lookup(Key);
  return V && V->IsName() ? static_cast<const TvxPDFNameObject*>(V) : nullptr;
}

bool IntegerEntry(const TvxPDFDictObject& Dict, std::string_view Key, int64_t& Value) {
  const TvxPDFObject* V = Dict.Lookup(Key);
  if (V && V->IsInteger()) {
    Value = static_cast<const TvxPDFIntegerObject*>(V)->Value;
    return true;
  }
  if (V && V->ObjectType == otInt64) {
    Value = static_cast<const TvxPDFInt64Object*>(V)->Value;
    return true;
  }
  return false;
}

// Bytes as upper-case hex digits between "<" and ">".
std::string HexToken(std::string_view Bytes) {
  std::string Token(1, '<');
  Token += BytesToHex(Bytes);
  Token += '>';
  return Token;
}

[[noreturn]] void Unsupported(const std::string& Method) {
  throw EUnsupportedEncryption(FormatMessage(msg::UnsupportedEncryption, Method));
}

// The method a crypt-filter dictionary (/V 4 and up) names for streams.
std::string CryptFilterMethod(const TvxPDFDictObject& Dict, int64_t V) {
  std::string CFM;
  const TvxPDFNameObject* StmF = NameEntry(Dict, "/StmF");
  const TvxPDFObject* CF = Dict.Lookup("/CF");
  if (StmF && CF && CF->IsDict()) {
    const TvxPDFObject* Filter = static_cast<const TvxPDFDictObject*>(CF)->Lookup(StmF->Text);
    if (Filter && Filter->IsDict())
      if (const TvxPDFNameObject* M =
              NameEntry(*static_cast<const TvxPDFDictObject*>(Filter), "/CFM"))
        CFM = M->Text;
  }
  if (CFM == "/AESV2") return "AES-128";
  if (CFM == "/AESV3" || V == 5) return "AES-256";
  if (CFM == "/V2") return "RC4 through crypt filters, V " + std::to_string(V);
  if (StmF && StmF->Text == "/Identity") return "crypt filter Identity, V " + std::to_string(V);
  return "crypt filters, V " + std::to_string(V);
}

}  // namespace

TvxEncryptParams TvxSecurityHandler::CheckEncryptDict(const TvxPDFObject* Encrypt) {
  if (!Encrypt || !Encrypt->IsDict()) Unsupported("no encryption dictionary");
  const auto& Dict = *static_cast<const TvxPDFDictObject*>(Encrypt);
  const TvxPDFNameObject* Filter = NameEntry(Dict, "/Filter");
  if (!Filter) Unsupported("no security handler");
  if (Filter->Text != "/Standard") Unsupported("security handler " + Filter->GetName());
  int64_t V = 0, R = 0, Length = 40;
  IntegerEntry(Dict, "/V", V);
  if (V == 4 || V == 5) Unsupported(CryptFilterMethod(Dict, V));
  bool HasR = IntegerEntry(Dict, "/R", R);
  if (R >= 4) Unsupported(R == 4 ? CryptFilterMethod(Dict, V) : "AES-256");
  if ((V != 1 && V != 2) || !HasR || (R != 2 && R != 3))
    Unsupported("standard handler V " + std::to_string(V) +
                (HasR ? " R " + std::to_string(R) : std::string(" without R")));
  if (Dict.Lookup("/Length") && !IntegerEntry(Dict, "/Length", Length))
    Unsupported("RC4 with a key length that is not a number");
  if (Length < 40 || Length > 128 || Length % 8 != 0)
    Unsupported("RC4 with a " + std::to_string(Length) + "-bit key");
  TvxEncryptParams P;
  P.V = static_cast<int32_t>(V);
  P.R = static_cast<int32_t>(R);
  P.Length = static_cast<int32_t>(Length);
  return P;
}

std::unique_ptr<TvxPDFDecrypt> TvxSecurityHandler::ReadEncryptDict(const TvxPDFObject* Encrypt,
                                                                   const TvxPDFArrayObject* ID,
                                                                   const std::string& Password) {
  const TvxEncryptParams Params = CheckEncryptDict(Encrypt);
  const auto& Dict = *static_cast<const TvxPDFDictObject*>(Encrypt);
  auto Decrypt = std::make_unique<TvxPDFDecrypt>();
  Decrypt->SetKeyLengthAndRevision(Params.Length / 8, Params.R);
  if (ID && ID->Count() > 0) {
    const TvxPDFObject* First = ID->GetItem(0);
    if (First && First->IsString()) {
      const auto* S = static_cast<const TvxPDFStringObject*>(First);
      Decrypt->SetFileID(S->Text.empty() || S->Text[0] != '<' ? S->GetValue()
                                                              : HexToBytes(S->GetValue()));
    }
  }
  auto StringText = [&Dict](std::string_view Key) {
    const TvxPDFObject* V = Dict.Lookup(Key);
    return V && V->IsString() ? static_cast<const TvxPDFStringObject*>(V)->Text : std::string();
  };
  Decrypt->SetOwnerKey(StringText("/O"));
  Decrypt->SetUserKey(StringText("/U"));
  int64_t P = 0;
  if (!IntegerEntry(Dict, "/P", P)) throw EInvalidPermission(std::string(msg::InvalidPermission));
  Decrypt->SetPermissions(P);
  if (FSettings.Changeable()) {
    FSettings.SetEnabled(true);
    FSettings.SetLevel(Decrypt->Level());
    FSettings.SetUserPermissions(PermissionsFromP(Params.Length, P));
  }
  if (!Decrypt->VerifyPassword(Password, FSettings)) return nullptr;

  FSource = TvxSourceEncryption{Decrypt->Revision(), Decrypt->KeyLength(), Decrypt->GetOwnerKey(),
                                Decrypt->P(), Decrypt->PaddedUserPassword()};
  FSourceRevision = FSettings.Revision();
  FIsOwner = Decrypt->IsOwnerFlag();
  FEncryptor.reset();
  return Decrypt;
}

void TvxSecurityHandler::CreateEncryptor() {
  const std::string Date = FDateText ? FDateText() : std::string();
  const std::string Name(OutputIDFileName);
  if (FSource && FSettings.Revision() == FSourceRevision)
    FEncryptor = std::make_unique<TvxPDFEncryption>(Name, *FSource, Date);
  else
    FEncryptor = std::make_unique<TvxPDFEncryption>(Name, FSettings, Date);
  FEncryptorRevision = FSettings.Revision();
}

void TvxSecurityHandler::PrepareEncryptor() {
  if (!FEncryptor || FEncryptorRevision != FSettings.Revision()) CreateEncryptor();
}

std::string TvxSecurityHandler::EncryptData(std::string_view Data, int32_t ObjNum) {
  if (!FEncryptor) CreateEncryptor();
  return FEncryptor->EncryptForObject(Data, ObjNum);
}

std::unique_ptr<TvxPDFDictObject> TvxSecurityHandler::BuildEncryptDict(TvxPDFTrailer& Trailer) {
  if (!FEncryptor) CreateEncryptor();
  const TvxPDFEncryption& E = *FEncryptor;
  auto Dict = std::make_unique<TvxPDFDictObject>();
  Dict->AddName("/Filter", "/Standard");
  // Raw tokens: written verbatim, never encrypted.
  Dict->AddName("/O", HexToken(E.GetOwnerKey()));
  Dict->AddName("/U", HexToken(E.GetUserKey()));
  Dict->AddInteger("/P", E.PermissionValue());
  Dict->AddInteger("/V", E.VersionValue());
  Dict->AddInteger("/R", E.Revision());
  Dict->AddInteger("/Length", E.KeyLength() * 8);
  const std::string ID = HexToken(E.GetFileID());
  auto Array = std::make_unique<TvxPDFArrayObject>();
  Array->Add(std::make_unique<TvxPDFStringObject>(ID, true));
  Array->Add(std::make_unique<TvxPDFStringObject>(ID, true));
  Trailer.ID = std::move(Array);
  return Dict;
}

void TvxSecurityHandler::Reset() {
  FSettings.Reset();
  FEncryptor.reset();
  FSource.reset();
  FIsOwner = false;
}

}  // namespace vx
