#include <algorithm>
#include <cctype>
#include <ctime>
#include <random>

#include "pdf/objects/vxObjectCasts.h"
#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxUtils.h"
#include "pdf/security/vxAES.h"
#include "pdf/security/vxChunkCiphers.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/security/vxRC4.h"
#include "pdf/security/vxSASLprep.h"

namespace vx {

// The number comes from a generator of its own, so that a seeded
// resource-name generator stays reproducible.
std::string GenerateOwnerPassword() {
  std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  char Stamp[16];
  std::strftime(Stamp, sizeof Stamp, "%Y%m%d%H%M%S", &Local);
  std::random_device Device;
  std::uniform_int_distribution<int32_t> Draw(0, 2147483646);
  return std::string("Quillory") + Stamp + std::to_string(Draw(Device));
}

void TvxBasePDFCrypt::SetLevel(TvxPDFEncryptionLevel Value) {
  FLevel = Value;
  FKeyLength = KeyLengthOf(Value);
  FRevision = RevisionOf(Value);
}

void TvxBasePDFCrypt::CryptForObject(uint8_t* Data, size_t Count, int32_t ObjectNumber,
                                     int32_t Generation) {
  if (Count == 0) return;
  if (ObjectNumber != FLastNumber || Generation != FLastGeneration || FLastObjectKey.empty()) {
    FLastObjectKey = ObjectKey(FKey, ObjectNumber, Generation);
    FLastNumber = ObjectNumber;
    FLastGeneration = Generation;
  }
  RC4Apply(FLastObjectKey, Data, Count);
}

const std::string& TvxBasePDFCrypt::AESKeyForObject(TvxCryptMethod Method, int32_t ObjectNumber,
                                                    int32_t Generation) {
  if (Method == cmAESV3) return FKey;
  if (ObjectNumber != FLastAESNumber || Generation != FLastAESGeneration || FLastAESKey.empty()) {
    FLastAESKey = ObjectKeyAES(FKey, ObjectNumber, Generation);
    FLastAESNumber = ObjectNumber;
    FLastAESGeneration = Generation;
  }
  return FLastAESKey;
}

TvxCryptMethod TvxEncryptParams::FilterMethod(std::string_view Name) const {
  for (const auto& [FilterName, Method] : Filters)
    if (FilterName == Name) return Method;
  return cmIdentity;
}

bool TvxPDFDecrypt::IsHexString(std::string_view Text) {
  return !Text.empty() && Text.front() == '<' && Text.back() == '>';
}

std::string TvxPDFDecrypt::KeyBytes(std::string_view Text, size_t Size) {
  std::string_view Body = Text.size() >= 2 ? Text.substr(1, Text.size() - 2) : std::string_view();
  std::string Bytes;
  if (IsHexString(Text)) {
    // Only as many digits as give Size bytes are decoded.
    std::string Digits;
    for (char C : Body) {
      if (Digits.size() >= 2 * Size) break;
      if (std::isxdigit(static_cast<unsigned char>(C))) Digits.push_back(C);
    }
    Bytes = HexToBytes(Digits);
  } else {
    Bytes = Body.substr(0, Size);
  }
  Bytes.resize(Size, '\0');
  return Bytes;
}

void TvxPDFDecrypt::SetParams(const TvxEncryptParams& Params) {
  FParams = Params;
  if (Params.R >= 5) {
    FKeyLength = 32;
    FRevision = Params.R;
    FLevel = elAES256;
    return;
  }
  const bool AES = Params.StmF == cmAESV2 || Params.StrF == cmAESV2 || Params.EFF == cmAESV2;
  SetKeyLengthAndRevision(AES ? 16 : Params.Length / 8, Params.R);
  if (AES) FLevel = elAES128;
}

void TvxPDFDecrypt::SetAES256Keys(std::string_view OwnerEncText, std::string_view UserEncText,
                                  std::string_view PermsText) {
  FOwnerEncKey = KeyBytes(OwnerEncText, 32);
  FUserEncKey = KeyBytes(UserEncText, 32);
  FPerms = KeyBytes(PermsText, 16);
}

void TvxPDFDecrypt::SetOwnerKey(std::string_view Text) {
  if (Text.empty()) throw Exception(std::string(msg::InvalidOwnerKey));
  FOwnerKey = KeyBytes(Text, FRevision >= 5 ? 48 : 32);
}

void TvxPDFDecrypt::SetUserKey(std::string_view Text) {
  if (Text.empty()) throw Exception(std::string(msg::InvalidUserKey));
  FUserKey = KeyBytes(Text, FRevision >= 5 ? 48 : 32);
}

void TvxPDFDecrypt::SetPermissions(int64_t P) {
  // The low four bytes, as key derivation uses them.
  FP = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(P)));
}

void TvxPDFDecrypt::SetKeyLengthAndRevision(int32_t KeyLength, int32_t Revision) {
  FKeyLength = std::clamp(KeyLength, 5, 16);
  FRevision = Revision;
  FLevel = FKeyLength == 5 ? el40bit : el128bit;
}

bool TvxPDFDecrypt::CheckPaddedUser(std::string_view PaddedUser) {
  std::string Key = ComputeFileKey(PaddedUser, FOwnerKey, FP, FFileID, FRevision, FKeyLength,
                                   FParams.EncryptMetadata);
  if (!UserKeyMatches(Key, FUserKey, FFileID, FRevision)) return false;
  FKey = std::move(Key);
  FPaddedUser = std::string(PaddedUser.substr(0, 32));
  return true;
}

bool TvxPDFDecrypt::CheckAES256(std::string_view Password, bool Owner) {
  // A password that fails SASLprep, or that a tool stored unprepared, opens
  // by its own bytes.
  for (const std::string& Candidate : AES256PasswordCandidates(Password)) {
    std::string Key;
    if (!CheckAES256Password(Candidate, Owner, FOwnerKey, FUserKey,
                             Owner ? FOwnerEncKey : FUserEncKey, FRevision, Key))
      continue;
    FKey = std::move(Key);
    FCheckedBytes = Candidate;
    CheckPerms();
    return true;
  }
  return false;
}

void TvxPDFDecrypt::CheckPerms() {
  // /Perms holds P under the file key, where no one without the key can
  // change it; /P can be changed by anyone. A damaged /Perms does not keep
  // the document shut: /P counts then.
  int32_t Signed = 0;
  if (!PermsValue(FKey, FPerms, Signed)) {
    if (OnWarning) OnWarning(std::string(msg::PermsUnreadable));
    return;
  }
  if (Signed == FP) return;
  if (OnWarning) OnWarning(std::string(msg::PermsOverrideP));
  FP = Signed;
}

bool TvxPDFDecrypt::CheckUserPassword(std::string_view Password) {
  if (FRevision >= 5) return CheckAES256(Password, false);
  return CheckPaddedUser(PadPassword(Password));
}

bool TvxPDFDecrypt::CheckOwnerPassword(std::string_view Password, std::string& UserPassword) {
  if (FRevision >= 5) {
    if (!CheckAES256(Password, true)) return false;
    // The user password cannot be recovered at revisions 5 and 6; only the
    // empty one can be told.
    std::string Key;
    FUserPasswordKnown =
        CheckAES256Password("", false, FOwnerKey, FUserKey, FUserEncKey, FRevision, Key);
    UserPassword.clear();
    return true;
  }
  std::string PaddedUser = RecoverPaddedUser(Password, FOwnerKey, FRevision, FKeyLength);
  if (!CheckPaddedUser(PaddedUser)) return false;
  UserPassword = UnpadPassword(PaddedUser);
  return true;
}

void TvxPDFDecrypt::ApplyPermissions() {
  // Revision 3 gives the last four bits their meaning, whatever the key length.
  FPermissions = vx::ApplyPermissions(FPermissions, FRevision >= 3 ? el128bit : el40bit, FP);
}

bool TvxPDFDecrypt::VerifyPassword(const std::string& Password,
                                   TvxPDFEncryptionSettings& Settings) {
  TvxPDFEncryptionSettings& S = Settings;
  std::string UserPassword;
  if (CheckOwnerPassword(Password, UserPassword)) {
    FIsOwner = true;
    S.FEnabled = true;
    S.FOwnerPassword = Password;
    S.FUserPassword = UserPassword;
    S.FUserPermissions = FPermissions;
    S.FLevel = FLevel;
    ++S.FRevision;
    return true;
  }
  if (!CheckUserPassword(Password)) return false;
  ApplyPermissions();
  S.FEnabled = true;
  S.FUserPassword = Password;
  S.FOwnerPassword = GenerateOwnerPassword();
  S.FUserPermissions = FPermissions;
  S.FLevel = FLevel;
  ++S.FRevision;
  S.FChangeable = false;
  return true;
}

void TvxPDFDecrypt::Warn(std::string_view Message, int32_t ObjectNumber) {
  if (OnWarning) OnWarning(FormatMessage(Message, std::to_string(ObjectNumber)));
}

void TvxPDFDecrypt::Decrypt(TvxCryptMethod Method, std::string& Bytes, int32_t ObjectNumber,
                            int32_t Generation) {
  if (Method == cmIdentity || Bytes.empty()) return;
  if (Method == cmRC4) {
    CryptForObject(reinterpret_cast<uint8_t*>(Bytes.data()), Bytes.size(), ObjectNumber,
                   Generation);
    return;
  }
  // A 16-byte IV, then whole blocks. What cannot be decrypted is kept as read.
  if (Bytes.size() < 16) {
    Warn(msg::ShortAESData, ObjectNumber);
    return;
  }
  const std::string& Key = AESKeyForObject(Method, ObjectNumber, Generation);
  if (Key.size() != 16 && Key.size() != 32) return;
  const size_t Whole = (Bytes.size() - 16) / 16 * 16;
  if (Whole + 16 != Bytes.size()) Warn(msg::ShortAESData, ObjectNumber);
  std::string Plain = AESDecryptCBC(Key, std::string_view(Bytes).substr(0, 16),
                                    std::string_view(Bytes).substr(16, Whole));
  if (!Plain.empty() && !RemovePadding(Plain)) Warn(msg::BadAESPadding, ObjectNumber);
  Bytes = std::move(Plain);
}

void TvxPDFDecrypt::DecryptString(std::string& Bytes, int32_t ObjectNumber, int32_t Generation) {
  Decrypt(FParams.StrF, Bytes, ObjectNumber, Generation);
}

namespace {

const TvxPDFNameObject* NameValue(const TvxPDFObject* V) {
  return ObjectAs<TvxPDFNameObject>(V);
}

}  // namespace

TvxCryptMethod TvxPDFDecrypt::StreamMethod(TvxPDFDictObject* Dict) const {
  if (!Dict) return FParams.StmF;
  const TvxPDFNameObject* Type = NameValue(Dict->Lookup("/Type"));
  if (Type && Type->Text == "/XRef") return cmIdentity;
  // A /Crypt filter comes first in the chain; it leaves the chain here, as
  // the data is kept decrypted.
  TvxPDFObject* Filter = Dict->Lookup("/Filter");
  const TvxPDFNameObject* First = NameValue(Filter);
  TvxPDFArrayObject* List = ObjectAs<TvxPDFArrayObject>(Filter);
  if (List && List->Count() > 0) First = NameValue(List->GetItem(0));
  if (First && First->Text == "/Crypt") {
    TvxPDFObject* Parms = Dict->Lookup("/DecodeParms");
    TvxPDFArrayObject* ParmList = ObjectAs<TvxPDFArrayObject>(Parms);
    const TvxPDFObject* Own =
        ParmList ? (ParmList->Count() > 0 ? ParmList->GetItem(0) : nullptr) : Parms;
    std::string Name = "/Identity";
    if (const TvxPDFDictObject* OwnDict = AsDict(Own))
      if (const TvxPDFNameObject* N = NameValue(OwnDict->Lookup("/Name"))) Name = N->Text;
    const TvxCryptMethod Method = FParams.FilterMethod(Name);
    if (List && List->Count() > 1) {
      List->Items.erase(List->Items.begin());
      if (ParmList && ParmList->Count() > 0) ParmList->Items.erase(ParmList->Items.begin());
    } else {
      Dict->Remove("/Filter");
      Dict->Remove("/DecodeParms");
    }
    return Method;
  }
  if (Type && Type->Text == "/EmbeddedFile") return FParams.EFF;
  if (Type && Type->Text == "/Metadata" && !FParams.EncryptMetadata) return cmIdentity;
  return FParams.StmF;
}

void TvxPDFDecrypt::DecryptStream(TvxMemoryStream& Data, int32_t ObjectNumber, int32_t Generation,
                                  TvxPDFDictObject* Dict) {
  Decrypt(StreamMethod(Dict), Data.DataString(), ObjectNumber, Generation);
}

std::string TvxPDFDecrypt::StreamKey(TvxCryptMethod Method, int32_t ObjectNumber,
                                     int32_t Generation) const {
  switch (Method) {
    case cmRC4: return ObjectKey(FKey, ObjectNumber, Generation);
    case cmAESV2: return ObjectKeyAES(FKey, ObjectNumber, Generation);
    case cmAESV3: return FKey;
    default: return {};
  }
}

bool TvxPDFDecrypt::PlanStream(std::string_view Cipher, int32_t ObjectNumber, int32_t Generation,
                               TvxPDFDictObject* Dict, TvxStreamCrypt& Plan,
                               TvxMemoryStream& Data) {
  const TvxCryptMethod Method = StreamMethod(Dict);
  Plan = TvxStreamCrypt{};
  Plan.ObjectNumber = ObjectNumber;
  Plan.Generation = Generation;
  if (Method == cmIdentity || Cipher.empty()) return true;
  if (Method == cmRC4) {
    Plan.Method = Method;
    return true;
  }
  // The last two blocks tell the plain length, which a save needs before
  // the data. Damaged data is planned as Decrypt takes it, with its
  // warnings now: what cannot be decrypted is kept as read, a ragged end is
  // left out, and a padding that is none is kept.
  if (Cipher.size() < 16) {
    Warn(msg::ShortAESData, ObjectNumber);
    return true;
  }
  const std::string Key = StreamKey(Method, ObjectNumber, Generation);
  if (Key.size() != 16 && Key.size() != 32) return true;
  const size_t Whole = (Cipher.size() - 16) / 16 * 16;
  const size_t Trailing = Cipher.size() - 16 - Whole;
  if (Whole == 0) {
    // Nothing decrypts: no data.
    Data.DataString().assign(Cipher);
    Decrypt(Method, Data.DataString(), ObjectNumber, Generation);
    return false;
  }
  if (Trailing) Warn(msg::ShortAESData, ObjectNumber);
  const int Padding = AESPaddingOf(Key, Cipher.substr(0, 16 + Whole));
  if (!Padding) Warn(msg::BadAESPadding, ObjectNumber);
  Plan.Method = Method;
  Plan.Trailing = static_cast<uint8_t>(Trailing);
  Plan.Overhead = static_cast<uint8_t>(16 + Padding + Trailing);
  return true;
}

std::unique_ptr<TvxChunkCipher> TvxPDFDecrypt::StartDecryption(const TvxStreamCrypt& Plan) const {
  const auto Method = static_cast<TvxCryptMethod>(Plan.Method);
  const std::string Key = StreamKey(Method, Plan.ObjectNumber, Plan.Generation);
  if (Method == cmRC4) return MakeRC4Chunks(Key);
  if (Method == cmAESV2 || Method == cmAESV3)
    return MakeAESDecryptChunks(Key, Plan.Overhead - 16 - Plan.Trailing, Plan.Trailing);
  return nullptr;
}

}  // namespace vx
