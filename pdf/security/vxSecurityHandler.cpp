#include "pdf/security/vxSecurityHandler.h"

#include <cctype>
#include <utility>

#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxUtils.h"

namespace vx {

namespace {

const TvxPDFNameObject* NameEntry(const TvxPDFDictObject& Dict, std::string_view Key) {
  return ObjectAs<TvxPDFNameObject>(Dict.Lookup(Key));
}

bool IntegerEntry(const TvxPDFDictObject& Dict, std::string_view Key, int64_t& Value) {
  const TvxPDFObject* V = Dict.Lookup(Key);
  if (const auto* N = ObjectAs<TvxPDFIntegerObject>(V)) {
    Value = N->Value;
    return true;
  }
  if (const auto* N = ObjectAs<TvxPDFInt64Object>(V)) {
    Value = N->Value;
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

// The byte count of a string value; 0 for anything else.
size_t StringSize(const TvxPDFObject* V) {
  const auto* S = ObjectAs<TvxPDFStringObject>(V);
  if (!S || S->Text.size() < 2) return 0;
  if (S->Text.front() != '<') return S->Text.size() - 2;
  size_t Digits = 0;
  for (char C : S->Text) Digits += std::isxdigit(static_cast<unsigned char>(C)) ? 1 : 0;
  return (Digits + 1) / 2;
}

[[noreturn]] void Unsupported(const std::string& Method) {
  throw EUnsupportedEncryption(FormatMessage(msg::UnsupportedEncryption, Method));
}

const TvxPDFDictObject* DictEntry(const TvxPDFDictObject& Dict, std::string_view Key) {
  return AsDict(Dict.Lookup(Key));
}

// The crypt filters of /CF (/V 4 and 5) and the methods /StmF, /StrF and
// /EFF name; a method this handler lacks is refused by name.
void ReadCryptFilters(const TvxPDFDictObject& Dict, TvxEncryptParams& P) {
  if (const TvxPDFDictObject* CF = DictEntry(Dict, "/CF")) {
    // Bounded by the dictionary, which the parser has already bounded.
    for (int32_t I = 0; I < CF->Count(); ++I) {
      const TvxPDFDictObject* F = AsDict(CF->Values[static_cast<size_t>(I)].get());
      const std::string& Name = CF->Keys[static_cast<size_t>(I)]->Text;
      if (Name == "/Identity" || !F) continue;
      const TvxPDFNameObject* M = NameEntry(*F, "/CFM");
      const std::string CFM = M ? M->Text : "/None";
      TvxCryptMethod Method;
      if (CFM == "/V2")
        Method = cmRC4;
      else if (CFM == "/AESV2")
        Method = cmAESV2;
      else if (CFM == "/AESV3")
        Method = cmAESV3;
      else
        continue;  // refused below when a default names it
      // Real files hold one to three, and each stream looks its own up: past
      // 64 only the defaults are kept.
      if (P.Filters.size() >= 64) {
        bool Default = false;
        for (const char* Key : {"/StmF", "/StrF", "/EFF"})
          if (const TvxPDFNameObject* N = NameEntry(Dict, Key); N && N->Text == Name)
            Default = true;
        if (!Default) continue;
      }
      P.Filters.emplace_back(Name, Method);
    }
  }
  auto Pick = [&](std::string_view Key, const std::string& Default) {
    const TvxPDFNameObject* N = NameEntry(Dict, Key);
    const std::string Name = N ? N->Text : Default;
    if (Name == "/Identity") return std::pair(Name, cmIdentity);
    const TvxCryptMethod M = P.FilterMethod(Name);
    if (M == cmIdentity) Unsupported("crypt filter " + Name);
    return std::pair(Name, M);
  };
  const auto StmF = Pick("/StmF", "/Identity");
  P.StmF = StmF.second;
  P.StrF = Pick("/StrF", "/Identity").second;
  P.EFF = Pick("/EFF", StmF.first).second;
  const TvxCryptMethod Needed = P.V == 5 ? cmAESV3 : cmAESV2;
  for (TvxCryptMethod M : {P.StmF, P.StrF, P.EFF})
    if (M == cmAESV3 && Needed != cmAESV3) Unsupported("AES-256 at V 4");
  if (P.V == 5)
    for (TvxCryptMethod M : {P.StmF, P.StrF, P.EFF})
      if (M != cmIdentity && M != cmAESV3) Unsupported("V 5 with RC4 or AES-128");
  if (const auto* EM = ObjectAs<TvxPDFBooleanObject>(Dict.Lookup("/EncryptMetadata")))
    P.EncryptMetadata = EM->Value;
}

}  // namespace

TvxEncryptParams TvxSecurityHandler::CheckEncryptDict(const TvxPDFObject* Encrypt) {
  const TvxPDFDictObject* Encryption = AsDict(Encrypt);
  if (!Encryption) Unsupported("no encryption dictionary");
  const auto& Dict = *Encryption;
  const TvxPDFNameObject* Filter = NameEntry(Dict, "/Filter");
  if (!Filter) Unsupported("no security handler");
  if (Filter->Text != "/Standard") Unsupported("security handler " + Filter->GetName());
  int64_t V = 0, R = 0, Length = 40;
  IntegerEntry(Dict, "/V", V);
  bool HasR = IntegerEntry(Dict, "/R", R);
  const bool LengthGiven = Dict.Lookup("/Length") != nullptr;
  if (LengthGiven && !IntegerEntry(Dict, "/Length", Length))
    Unsupported("a key length that is not a number");
  TvxEncryptParams P;
  P.V = static_cast<int32_t>(V);
  P.R = static_cast<int32_t>(R);
  if (V == 4 && R == 4) {
    ReadCryptFilters(Dict, P);
    // Only RC4 takes its key length from /Length; AES-128 keys are 16 bytes.
    const bool RC4 = P.StmF == cmRC4 || P.StrF == cmRC4 || P.EFF == cmRC4;
    if (!LengthGiven || !RC4) Length = 128;
    if (Length < 40 || Length > 128 || Length % 8 != 0)
      Unsupported("RC4 with a " + std::to_string(Length) + "-bit key");
    P.Length = static_cast<int32_t>(Length);
    return P;
  }
  if (V == 5 && (R == 5 || R == 6)) {
    P.Length = 256;
    ReadCryptFilters(Dict, P);
    // Zeros in place of missing key bytes would open the file with a wrong
    // key, and a save would encrypt the garbage it decrypts.
    for (const auto& [Key, Size] :
         {std::pair<std::string_view, size_t>{"/O", 48}, {"/U", 48}, {"/OE", 32}, {"/UE", 32}})
      if (StringSize(Dict.Lookup(Key)) < Size)
        throw EDamagedEncryption(FormatMessage(msg::DamagedAES256Key, std::string(Key)));
    return P;
  }
  if ((V != 1 && V != 2) || !HasR || (R != 2 && R != 3))
    Unsupported("standard handler V " + std::to_string(V) +
                (HasR ? " R " + std::to_string(R) : std::string(" without R")));
  if (Length < 40 || Length > 128 || Length % 8 != 0)
    Unsupported("RC4 with a " + std::to_string(Length) + "-bit key");
  P.Length = static_cast<int32_t>(Length);
  return P;
}

std::unique_ptr<TvxPDFDecrypt> TvxSecurityHandler::ReadEncryptDict(const TvxPDFObject* Encrypt,
                                                                   const TvxPDFArrayObject* ID,
                                                                   const std::string& Password) {
  const TvxEncryptParams Params = CheckEncryptDict(Encrypt);
  // CheckEncryptDict let through a dictionary only.
  const auto& Dict = ObjectCast<TvxPDFDictObject>(Encrypt);
  auto Decrypt = std::make_unique<TvxPDFDecrypt>();
  Decrypt->SetParams(Params);
  Decrypt->OnWarning = FOnWarning;
  if (ID && ID->Count() > 0) {
    if (const auto* S = ObjectAs<TvxPDFStringObject>(ID->GetItem(0))) {
      Decrypt->SetFileID(S->Text.empty() || S->Text[0] != '<' ? S->GetValue()
                                                              : HexToBytes(S->GetValue()));
    }
  }
  auto StringText = [&Dict](std::string_view Key) {
    const auto* V = ObjectAs<TvxPDFStringObject>(Dict.Lookup(Key));
    return V ? V->Text : std::string();
  };
  Decrypt->SetOwnerKey(StringText("/O"));
  Decrypt->SetUserKey(StringText("/U"));
  if (Params.R >= 5)
    Decrypt->SetAES256Keys(StringText("/OE"), StringText("/UE"), StringText("/Perms"));
  int64_t P = 0;
  if (!IntegerEntry(Dict, "/P", P)) throw EInvalidPermission(std::string(msg::InvalidPermission));
  Decrypt->SetPermissions(P);
  if (FSettings.Changeable()) {
    FSettings.SetEnabled(true);
    FSettings.SetLevel(Decrypt->Level());
    FSettings.SetUserPermissions(PermissionsFromP(Params.Length, P));
  }
  if (!Decrypt->VerifyPassword(Password, FSettings)) return nullptr;

  TvxSourceEncryption Source;
  Source.Revision = Decrypt->Revision();
  Source.KeyLength = Decrypt->KeyLength();
  Source.OwnerKey = Decrypt->GetOwnerKey();
  Source.P = Decrypt->P();
  Source.PaddedUserPassword = Decrypt->PaddedUserPassword();
  Source.AES = Decrypt->Level() == elAES128;
  Source.AttachmentsOnly =
      Params.StmF == cmIdentity && Params.StrF == cmIdentity && Params.EFF != cmIdentity;
  Source.UserPasswordKnown = Decrypt->UserPasswordKnown();
  if (Decrypt->IsOwnerFlag() && Decrypt->Revision() >= 5) {
    Source.OwnerPassword = Password;
    Source.OwnerPasswordBytes = Decrypt->CheckedPasswordBytes();
  }
  if (Decrypt->Revision() >= 5) {
    Source.UserKey = Decrypt->GetUserKey();
    Source.OwnerEncKey = Decrypt->GetOwnerEncKey();
    Source.UserEncKey = Decrypt->GetUserEncKey();
    Source.FileKey = Decrypt->GetKey();
  }
  FSource = std::move(Source);
  FSourceRevision = FSettings.Revision();
  FSourceUserPasswordRevision = FSettings.UserPasswordRevision();
  FIsOwner = Decrypt->IsOwnerFlag();
  FEncryptor.reset();
  return Decrypt;
}

void TvxSecurityHandler::CreateEncryptor() {
  FFromSettings = !(FSource && FSettings.Revision() == FSourceRevision);
  if (!FFromSettings) {
    FEncryptor = std::make_unique<TvxPDFEncryption>(*FSource);
    return;
  }
  // Another level would be made with the empty user password and leave the
  // copy open to anyone.
  const bool UserPasswordKept =
      FSource && FSettings.UserPasswordRevision() == FSourceUserPasswordRevision;
  if (UserPasswordKept && !FSource->UserPasswordKnown && FSettings.Level() != elAES256)
    throw EEncryptionSettingsError(std::string(msg::UserPasswordUnknown));
  // The source's owner password, still set, keeps the bytes it opened
  // with, though SASLprep may refuse it.
  const bool OwnerKept = FSource && !FSource->OwnerPasswordBytes.empty() &&
                         FSettings.OwnerPassword() == FSource->OwnerPassword;
  FEncryptor = std::make_unique<TvxPDFEncryption>(
      FSettings, OwnerKept ? FSource->OwnerPasswordBytes : std::string());
  // An owner-password open of AES-256 leaves the user password unknown:
  // unless it was set since, the source's one stays.
  if (UserPasswordKept) FEncryptor->KeepUserKeys(*FSource);
}

void TvxSecurityHandler::PrepareEncryptor() {
  CreateEncryptor();
  if (!FOnWarning || !FFromSettings) return;
  if (FEncryptor->OwnerPasswordGenerated()) FOnWarning(std::string(msg::NoOwnerPassword));
  if (FSource && FSource->AttachmentsOnly) FOnWarning(std::string(msg::AttachmentsOnlyLost));
  const std::string Lost = UnexpressiblePermissions(FSettings.Level(), FSettings.UserPermissions());
  if (!Lost.empty()) FOnWarning(FormatMessage(msg::UnexpressiblePermissions, Lost));
}

std::string TvxSecurityHandler::EncryptData(std::string_view Data, int32_t ObjNum) {
  if (!FEncryptor) CreateEncryptor();
  return FEncryptor->EncryptForObject(Data, ObjNum);
}

std::unique_ptr<TvxChunkCipher> TvxSecurityHandler::StartEncryption(int32_t ObjNum) {
  if (!FEncryptor) CreateEncryptor();
  return FEncryptor->StartEncryption(ObjNum);
}

int64_t TvxSecurityHandler::EncryptedSize(int64_t Size) {
  if (!FEncryptor) CreateEncryptor();
  return FEncryptor->EncryptedSize(Size);
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
  const bool AES = E.Level() == elAES128 || E.Level() == elAES256;
  if (AES || E.AttachmentsOnly()) {
    auto StdCF = std::make_unique<TvxPDFDictObject>();
    // An attachment-only source asks for the password when an attachment
    // is opened, and so does its copy.
    StdCF->AddName("/AuthEvent", E.AttachmentsOnly() ? "/EFOpen" : "/DocOpen");
    StdCF->AddName("/CFM", E.Level() == elAES128   ? "/AESV2"
                           : E.Level() == elAES256 ? "/AESV3"
                                                   : "/V2");
    StdCF->AddInteger("/Length", AES ? E.KeyLength() : E.KeyLength() * 8);
    auto CF = std::make_unique<TvxPDFDictObject>();
    CF->Add("/StdCF", std::move(StdCF));
    Dict->Add("/CF", std::move(CF));
    Dict->AddName("/StmF", E.AttachmentsOnly() ? "/Identity" : "/StdCF");
    Dict->AddName("/StrF", E.AttachmentsOnly() ? "/Identity" : "/StdCF");
    if (E.AttachmentsOnly()) Dict->AddName("/EFF", "/StdCF");
  }
  if (E.Level() == elAES256) {
    Dict->AddName("/OE", HexToken(E.GetOwnerEncKey()));
    Dict->AddName("/UE", HexToken(E.GetUserEncKey()));
    Dict->AddName("/Perms", HexToken(E.GetPerms()));
  }
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
