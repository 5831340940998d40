#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "pdf/objects/vxObjectPool.h"
#include "pdf/objects/vxPDFObjects.h"

using namespace vx;

namespace {

// Builds N small dictionaries of every value class, as a load does.
std::vector<TvxPDFObjectPtr> MakeValues(int N) {
  std::vector<TvxPDFObjectPtr> Out;
  for (int I = 0; I < N; ++I) {
    auto D = std::make_unique<TvxPDFDictObject>();
    D->AddInteger("/N", I);
    D->AddReal("/R", I + 0.5);
    D->AddName("/Type", "/Annot");
    D->Add("/S", std::make_unique<TvxPDFStringObject>("(text " + std::to_string(I) + ")"));
    auto A = std::make_unique<TvxPDFArrayObject>();
    A->Add(std::make_unique<TvxPDFIndirectReference>(1, I, 0));
    A->Add(std::make_unique<TvxPDFNullObject>());
    D->Add("/A", std::move(A));
    Out.push_back(std::move(D));
  }
  return Out;
}

void ExpectValues(const std::vector<TvxPDFObjectPtr>& Values) {
  for (size_t I = 0; I < Values.size(); ++I) {
    auto* D = static_cast<TvxPDFDictObject*>(Values[I].get());
    ASSERT_EQ(static_cast<TvxPDFIntegerObject*>(D->Lookup("/N"))->Value, static_cast<int>(I));
    ASSERT_EQ(static_cast<TvxPDFRealObject*>(D->Lookup("/R"))->Value, I + 0.5);
    ASSERT_EQ(static_cast<TvxPDFStringObject*>(D->Lookup("/S"))->Text,
              "(text " + std::to_string(I) + ")");
    auto* A = static_cast<TvxPDFArrayObject*>(D->Lookup("/A"));
    ASSERT_EQ(static_cast<TvxPDFIndirectReference*>(A->GetItem(0))->ObjectNumber,
              static_cast<int>(I));
  }
}

}  // namespace

// Pieces of every size come back intact and never overlap: writing a
// pattern into each and reading it back after all are out catches a piece
// handed out twice.
TEST(ObjectPool, PiecesOfEverySizeAreDistinct) {
  std::vector<std::pair<unsigned char*, size_t>> Out;
  for (int Round = 0; Round < 3; ++Round) {
    for (size_t Size = 1; Size <= MaxPooledSize + 40; Size += 3) {
      auto* P = static_cast<unsigned char*>(PoolAllocate(Size));
      ASSERT_EQ(reinterpret_cast<uintptr_t>(P) % alignof(double), 0u) << Size;
      std::memset(P, static_cast<int>(Out.size() & 0xFF), Size);
      Out.emplace_back(P, Size);
    }
    // Free every other piece, so the next round reuses them.
    for (size_t I = 0; I < Out.size(); I += 2) {
      auto [P, Size] = Out[I];
      if (!P) continue;
      PoolFree(P, Size);
      Out[I].first = nullptr;
    }
  }
  for (size_t I = 0; I < Out.size(); ++I) {
    auto [P, Size] = Out[I];
    if (!P) continue;
    for (size_t B = 0; B < Size; ++B) ASSERT_EQ(P[B], static_cast<unsigned char>(I & 0xFF)) << I;
    PoolFree(P, Size);
  }
}

// Values made on one thread and freed on another, by threads that then end,
// stay intact and their memory serves later documents.
TEST(ObjectPool, ValuesCrossThreadsAndMemoryIsReused) {
  std::vector<TvxPDFObjectPtr> Made;
  std::thread([&] { Made = MakeValues(20000); }).join();
  ExpectValues(Made);
  std::thread([&] { Made.clear(); }).join();

  // Each thread keeps what it freed; pieces of threads that ended serve the
  // next ones. Once this thread and one worker's worth are held (two rounds:
  // the first gives this thread what the first worker left), further rounds
  // need no more memory.
  auto Round = [] {
    std::thread([] {
      auto V = MakeValues(20000);
      ExpectValues(V);
    }).join();
    auto V = MakeValues(20000);
    ExpectValues(V);
  };
  Round();
  Round();
  const size_t Reserved = PoolReservedBytes();
  for (int I = 0; I < 5; ++I) Round();
  if (!VX_OBJECT_POOL) GTEST_SKIP() << "the pool is off under AddressSanitizer";
  EXPECT_GT(Reserved, 0u);
  // One spare block per thread at most beyond the warm-up.
  EXPECT_LE(PoolReservedBytes(), Reserved + 2 * 256 * 1024);
}

// The in-use count follows pieces by their size class, whichever thread
// frees them.
TEST(ObjectPool, InUseCountsPiecesByClass) {
  if (!VX_OBJECT_POOL) GTEST_SKIP() << "the pool is off under AddressSanitizer";
  const int64_t Before = PoolInUseBytes();
  std::vector<void*> Pieces;
  for (int I = 0; I < 10; ++I) Pieces.push_back(PoolAllocate(20));  // class of 24
  EXPECT_EQ(PoolInUseBytes() - Before, 240);
  void* Big = PoolAllocate(MaxPooledSize + 1);  // not pooled, not counted
  EXPECT_EQ(PoolInUseBytes() - Before, 240);
  PoolFree(Big, MaxPooledSize + 1);
  for (void* P : Pieces) PoolFree(P, 20);
  EXPECT_EQ(PoolInUseBytes(), Before);
  // A thread that takes pieces and ends counts them until they come back.
  std::vector<TvxPDFObjectPtr> Made;
  std::thread([&] { Made = MakeValues(10); }).join();
  EXPECT_GT(PoolInUseBytes(), Before);
  Made.clear();
  EXPECT_EQ(PoolInUseBytes(), Before);
}
