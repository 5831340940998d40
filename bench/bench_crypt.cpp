// Speed of the standard security handler: RC4 and MD5 over bulk data, and
// decryption of many short strings, each under its own object's key.
#include <benchmark/benchmark.h>

#include <string>

#include "pdf/security/vxAES.h"
#include "pdf/security/vxMD5.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/security/vxRC4.h"

namespace {

void BM_RC4(benchmark::State& State) {
  std::string Data(8 << 20, 'x');
  for (auto _ : State) {
    vx::RC4Apply("0123456789abcdef", Data);
    benchmark::DoNotOptimize(Data.data());
  }
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Data.size()));
}
BENCHMARK(BM_RC4);

void BM_MD5(benchmark::State& State) {
  const std::string Data(8 << 20, 'x');
  for (auto _ : State) benchmark::DoNotOptimize(vx::MD5Bytes(Data));
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Data.size()));
}
BENCHMARK(BM_MD5);

// 100,000 strings of 24 bytes in 20,000 objects, as a page-heavy file has.
void BM_DecryptStrings(benchmark::State& State) {
  vx::TvxPDFEncryptionSettings S;
  S.SetLevel(vx::el128bit);
  vx::TvxPDFEncryption E(S);
  vx::TvxPDFDecrypt D;
  D.SetKeyLengthAndRevision(E.KeyLength(), E.Revision());
  D.SetFileID(E.GetFileID());
  D.SetOwnerKey("(" + E.GetOwnerKey() + ")");
  D.SetUserKey("(" + E.GetUserKey() + ")");
  D.SetPermissions(E.PermissionValue());
  vx::TvxPDFEncryptionSettings Read;
  if (!D.VerifyPassword("", Read)) State.SkipWithError("password refused");
  std::string Text(24, 's');
  for (auto _ : State) {
    for (int32_t I = 0; I < 100000; ++I) D.DecryptString(Text, I / 5, 0);
    benchmark::DoNotOptimize(Text.data());
  }
  State.SetItemsProcessed(State.iterations() * 100000);
}
BENCHMARK(BM_DecryptStrings);

void BM_AES128CBC(benchmark::State& State) {
  const std::string Data(8 << 20, 'x');
  const std::string Key(16, 'k'), IV(16, 'i');
  for (auto _ : State) benchmark::DoNotOptimize(vx::AESDecryptCBC(Key, IV, Data));
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Data.size()));
}
BENCHMARK(BM_AES128CBC);

// One password check of revision 6 (at least 64 rounds of AES and SHA-2).
void BM_HashRevision6(benchmark::State& State) {
  const std::string Salt = "12345678";
  for (auto _ : State) benchmark::DoNotOptimize(vx::HashAES256("password", Salt, {}, 6));
}
BENCHMARK(BM_HashRevision6);

// The same strings as above under AES-128: a key per object and an IV each.
void BM_DecryptStringsAES(benchmark::State& State) {
  vx::TvxPDFEncryptionSettings S;
  S.SetLevel(vx::elAES128);
  vx::TvxPDFEncryption E(S);
  vx::TvxEncryptParams P;
  P.V = 4;
  P.R = 4;
  P.Length = 128;
  P.StmF = P.StrF = P.EFF = vx::cmAESV2;
  vx::TvxPDFDecrypt D;
  D.SetParams(P);
  D.SetFileID(E.GetFileID());
  D.SetOwnerKey("(" + E.GetOwnerKey() + ")");
  D.SetUserKey("(" + E.GetUserKey() + ")");
  D.SetPermissions(E.PermissionValue());
  vx::TvxPDFEncryptionSettings Read;
  if (!D.VerifyPassword("", Read)) State.SkipWithError("password refused");
  const std::string Cipher = E.EncryptForObject(std::string(24, 's'), 0);
  for (auto _ : State) {
    for (int32_t I = 0; I < 100000; ++I) {
      std::string Text = Cipher;
      D.DecryptString(Text, I / 5, 0);
      benchmark::DoNotOptimize(Text.data());
    }
  }
  State.SetItemsProcessed(State.iterations() * 100000);
}
BENCHMARK(BM_DecryptStringsAES);

}  // namespace

BENCHMARK_MAIN();
