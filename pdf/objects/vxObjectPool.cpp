#include "pdf/objects/vxObjectPool.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace vx {

#if VX_OBJECT_POOL

namespace {

constexpr size_t Granule = 8;  // every pooled class is 8-aligned
constexpr size_t ClassCount = MaxPooledSize / Granule;
constexpr size_t BlockBytes = 256 * 1024;

size_t ClassOf(size_t Size) {
  return (Size - 1) / Granule;
}

struct TvxFreeChunk {
  TvxFreeChunk* Next;
};

struct TvxFreeList {
  TvxFreeChunk* Head = nullptr;
  TvxFreeChunk* Tail = nullptr;

  void Push(void* P) {
    auto* C = static_cast<TvxFreeChunk*>(P);
    C->Next = Head;
    if (!Head) Tail = C;
    Head = C;
  }
  void* Pop() {
    TvxFreeChunk* C = Head;
    Head = C->Next;
    if (!Head) Tail = nullptr;
    return C;
  }
  // Moves all of Other's pieces here, in constant time.
  void Splice(TvxFreeList& Other) {
    if (!Other.Head) return;
    Other.Tail->Next = Head;
    if (!Head) Tail = Other.Tail;
    Head = Other.Head;
    Other = TvxFreeList{};
  }
};

struct TvxRegion {
  std::byte* Begin = nullptr;
  std::byte* End = nullptr;
};

// The blocks, and what threads that ended left unused.
struct TvxSharedPool {
  std::mutex Lock;
  TvxFreeList Spare[ClassCount];
  // Read without the lock, so threads look for spare pieces only when some
  // exist.
  std::atomic<bool> HasSpare[ClassCount] = {};
  std::vector<TvxRegion> SpareRegions;
  TvxRegion Bump;  // for threads past their end
  int64_t RetiredInUse = 0;
  std::vector<std::unique_ptr<std::byte[]>> Blocks;

  // Under Lock.
  TvxRegion NewRegion() {
    if (!SpareRegions.empty()) {
      TvxRegion R = SpareRegions.back();
      SpareRegions.pop_back();
      return R;
    }
    // Not zeroed: pages are touched only as pieces are handed out.
    Blocks.push_back(std::unique_ptr<std::byte[]>(new std::byte[BlockBytes]));
    std::byte* B = Blocks.back().get();
    return TvxRegion{B, B + BlockBytes};
  }
  // Under Lock.
  void PushSpare(size_t C, void* P) {
    Spare[C].Push(P);
    HasSpare[C].store(true, std::memory_order_relaxed);
  }
};

TvxSharedPool& Shared() {
  static TvxSharedPool Pool;
  return Pool;
}

// Trivially destructible, so it stays usable while its thread (for the main
// thread: the program) shuts down.
struct TvxThreadCache {
  TvxFreeList Free[ClassCount];
  TvxRegion Bump;
  int64_t InUse = 0;
  bool Registered = false;
  bool Retired = false;
};
thread_local TvxThreadCache Cache;

// Hands a thread's unused pieces to the shared pool when the thread ends;
// from then on that thread works on the shared pool under its lock.
struct TvxThreadRetirer {
  bool Armed = false;
  TvxThreadRetirer() = default;
  TvxThreadRetirer(const TvxThreadRetirer&) = delete;
  TvxThreadRetirer& operator=(const TvxThreadRetirer&) = delete;
  ~TvxThreadRetirer() {
    TvxSharedPool& S = Shared();
    std::lock_guard<std::mutex> G(S.Lock);
    for (size_t C = 0; C < ClassCount; ++C) {
      if (!Cache.Free[C].Head) continue;
      S.Spare[C].Splice(Cache.Free[C]);
      S.HasSpare[C].store(true, std::memory_order_relaxed);
    }
    if (Cache.Bump.End - Cache.Bump.Begin >= static_cast<std::ptrdiff_t>(MaxPooledSize))
      S.SpareRegions.push_back(Cache.Bump);
    Cache.Bump = TvxRegion{};
    S.RetiredInUse += Cache.InUse;
    Cache.InUse = 0;
    Cache.Retired = true;
  }
};
thread_local TvxThreadRetirer Retirer;

void* Carve(TvxRegion& R, size_t Bytes) {
  void* P = R.Begin;
  R.Begin += Bytes;
  return P;
}

void* AllocateRetired(size_t C) {
  TvxSharedPool& S = Shared();
  std::lock_guard<std::mutex> G(S.Lock);
  if (S.Spare[C].Head) return S.Spare[C].Pop();
  const size_t Bytes = (C + 1) * Granule;
  if (S.Bump.End - S.Bump.Begin < static_cast<std::ptrdiff_t>(Bytes)) S.Bump = S.NewRegion();
  return Carve(S.Bump, Bytes);
}

void* AllocateSlow(size_t C) {
  TvxThreadCache& T = Cache;
  if (T.Retired) return AllocateRetired(C);
  if (!T.Registered) {
    T.Registered = true;
    // The first use of the retirer constructs it and schedules its
    // destructor for this thread's end.
    Retirer.Armed = true;
  }
  TvxSharedPool& S = Shared();
  const size_t Bytes = (C + 1) * Granule;
  if (S.HasSpare[C].load(std::memory_order_relaxed)) {
    std::lock_guard<std::mutex> G(S.Lock);
    T.Free[C].Splice(S.Spare[C]);
    S.HasSpare[C].store(false, std::memory_order_relaxed);
    if (T.Free[C].Head) return T.Free[C].Pop();
  }
  if (T.Bump.End - T.Bump.Begin < static_cast<std::ptrdiff_t>(Bytes)) {
    // The rest of the old region is too small for this class; it still
    // serves smaller ones through the free lists.
    for (size_t Small = ClassCount; Small-- > 0;) {
      const size_t SmallBytes = (Small + 1) * Granule;
      while (T.Bump.End - T.Bump.Begin >= static_cast<std::ptrdiff_t>(SmallBytes))
        T.Free[Small].Push(Carve(T.Bump, SmallBytes));
    }
    std::lock_guard<std::mutex> G(S.Lock);
    T.Bump = S.NewRegion();
  }
  return Carve(T.Bump, Bytes);
}

}  // namespace

void* PoolAllocate(size_t Size) {
  if (Size == 0 || Size > MaxPooledSize) return ::operator new(Size);
  const size_t C = ClassOf(Size);
  TvxThreadCache& T = Cache;
  T.InUse += static_cast<int64_t>((C + 1) * Granule);
  if (T.Free[C].Head) return T.Free[C].Pop();
  return AllocateSlow(C);
}

void PoolFree(void* P, size_t Size) noexcept {
  if (!P) return;
  if (Size == 0 || Size > MaxPooledSize) {
    ::operator delete(P);
    return;
  }
  const size_t C = ClassOf(Size);
  TvxThreadCache& T = Cache;
  const auto Bytes = static_cast<int64_t>((C + 1) * Granule);
  if (!T.Retired) {
    T.InUse -= Bytes;
    T.Free[C].Push(P);
    return;
  }
  TvxSharedPool& S = Shared();
  std::lock_guard<std::mutex> G(S.Lock);
  S.RetiredInUse -= Bytes;
  S.PushSpare(C, P);
}

size_t PoolReservedBytes() {
  TvxSharedPool& S = Shared();
  std::lock_guard<std::mutex> G(S.Lock);
  return S.Blocks.size() * BlockBytes;
}

int64_t PoolInUseBytes() {
  TvxSharedPool& S = Shared();
  std::lock_guard<std::mutex> G(S.Lock);
  return Cache.InUse + S.RetiredInUse;
}

#else

void* PoolAllocate(size_t Size) {
  return ::operator new(Size);
}
void PoolFree(void* P, size_t /*Size*/) noexcept {
  ::operator delete(P);
}
size_t PoolReservedBytes() {
  return 0;
}
int64_t PoolInUseBytes() {
  return 0;
}

#endif

}  // namespace vx
