// Feeds arbitrary bytes to the standard security handler: the input is an
// encryption dictionary, a line "%%", and data. The dictionary is checked and
// tried with two passwords, and the data is decrypted as a string and as
// streams of several kinds under every method (RC4, AES-128, AES-256, crypt
// filters), and prepared as an AES-256 password (SASLprep). Only the
// engine's own exceptions may come out.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxUtils.h"
#include "pdf/reader/vxPDFStreamReader.h"
#include "pdf/security/vxSASLprep.h"
#include "pdf/security/vxSecurityHandler.h"

namespace {

using namespace vx;

void DecryptAllWays(TvxPDFDecrypt& D, const std::string& Data) {
  std::string S = Data;
  D.DecryptString(S, 7, 0);
  for (const char* Kind : {"", "/Metadata", "/EmbeddedFile", "/XRef", "/Crypt"}) {
    auto MakeDict = [&] {
      auto Dict = std::make_unique<TvxPDFDictObject>();
      if (std::string(Kind) == "/Crypt") {
        Dict->AddName("/Filter", "/Crypt");
        auto Parms = std::make_unique<TvxPDFDictObject>();
        Parms->AddName("/Name", Data.size() % 2 ? "/StdCF" : "/Identity");
        Dict->Add("/DecodeParms", std::move(Parms));
      } else if (*Kind) {
        Dict->AddName("/Type", Kind);
      }
      return Dict;
    };
    TvxMemoryStream M(Data);
    D.DecryptStream(M, 7, 1, MakeDict().get());
    if (Data.empty()) continue;
    // Planned at load and decrypted piece by piece when read, the data
    // must come out as whole decryption gives it.
    TvxStreamCrypt Plan;
    TvxMemoryStream Now;
    std::string Lazy;
    if (!D.PlanStream(Data, 7, 1, MakeDict().get(), Plan, Now)) {
      Lazy = Now.DataString();
    } else if (Plan.Method == 0) {
      Lazy = Data;
    } else {
      std::unique_ptr<TvxChunkCipher> C = D.StartDecryption(Plan);
      if (!C) __builtin_trap();
      const size_t Step = 1 + Data.size() / 3;
      for (size_t At = 0; At < Data.size(); At += Step)
        C->Update(std::string_view(Data).substr(At, Step), At + Step >= Data.size(), Lazy);
      if (Lazy.size() + Plan.Overhead != Data.size()) __builtin_trap();
    }
    if (Lazy != M.DataString()) __builtin_trap();
  }
}

// A decryptor keyed for Level by our own encryptor, with the empty password;
// made once, as the AES-256 key derivation is slow by design.
std::unique_ptr<TvxPDFDecrypt> MakeDecryptor(TvxPDFEncryptionLevel Level) {
  TvxPDFEncryptionSettings S;
  S.SetLevel(Level);
  TvxPDFEncryption E(S);
  TvxEncryptParams P;
  P.V = E.VersionValue();
  P.R = E.Revision();
  P.Length = E.KeyLength() * 8;
  const TvxCryptMethod M = Level == elAES128 ? cmAESV2 : Level == elAES256 ? cmAESV3 : cmRC4;
  P.StmF = P.StrF = P.EFF = M;
  P.Filters = {{"/StdCF", M}};
  // Not part of the AES-256 key: the metadata rule is exercised there.
  P.EncryptMetadata = Level != elAES256;
  auto D = std::make_unique<TvxPDFDecrypt>();
  D->SetParams(P);
  D->SetFileID(E.GetFileID());
  auto Hex = [](const std::string& B) { return "<" + BytesToHex(B) + ">"; };
  D->SetOwnerKey(Hex(E.GetOwnerKey()));
  D->SetUserKey(Hex(E.GetUserKey()));
  if (Level == elAES256)
    D->SetAES256Keys(Hex(E.GetOwnerEncKey()), Hex(E.GetUserEncKey()), Hex(E.GetPerms()));
  D->SetPermissions(E.PermissionValue());
  TvxPDFEncryptionSettings Out;
  if (!D->VerifyPassword("", Out)) __builtin_trap();
  return D;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Bytes, size_t Size) {
  const std::string In(reinterpret_cast<const char*>(Bytes), Size);
  const size_t Cut = In.find("\n%%\n");
  const std::string DictText = In.substr(0, Cut);
  const std::string Data = Cut == std::string::npos ? std::string() : In.substr(Cut + 4);
  try {
    TvxMemoryStream Source(DictText);
    TvxPDFStreamReader R(1, &Source);
    TvxPDFObjectPtr Encrypt = R.ParseObject();
    TvxSecurityHandler H;
    auto ID = std::make_unique<TvxPDFArrayObject>();
    ID->Add(std::make_unique<TvxPDFStringObject>("<0123456789ABCDEF0123456789ABCDEF>", true));
    for (const char* Password : {"", "owner"}) {
      if (std::unique_ptr<TvxPDFDecrypt> D = H.ReadEncryptDict(Encrypt.get(), ID.get(), Password))
        DecryptAllWays(*D, Data);
    }
  } catch (const Exception&) {
  }
  static std::unique_ptr<TvxPDFDecrypt> Decryptors[] = {
      MakeDecryptor(el40bit), MakeDecryptor(el128bit), MakeDecryptor(elAES128),
      MakeDecryptor(elAES256)};
  for (auto& D : Decryptors) {
    try {
      DecryptAllWays(*D, Data);
    } catch (const Exception&) {
    }
  }
  // Passwords are typed, not read from files, but preparing one must hold
  // for any bytes.
  std::string Prepared, Problem;
  if (SASLprepPassword(Data, Prepared, Problem) != Problem.empty()) __builtin_trap();
  if (Prepared.size() > 127) __builtin_trap();
  const std::vector<std::string> Candidates = AES256PasswordCandidates(Data);
  if (Candidates.empty() || Candidates.size() > 2 || Candidates.back().size() > 127)
    __builtin_trap();
  return 0;
}
