// Speed of the standard security handler: RC4 and MD5 over bulk data, and
// decryption of many short strings, each under its own object's key.
#include <benchmark/benchmark.h>

#include <string>

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
  vx::TvxPDFEncryption E("Output1.pdf", S, "");
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

}  // namespace

BENCHMARK_MAIN();
