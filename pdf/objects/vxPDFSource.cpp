#include "pdf/objects/vxPDFSource.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "pdf/objects/vxExceptions.h"

namespace vx {

namespace {

// Bounded copies: the output never holds more than this of the source.
constexpr int64_t CopyChunk = int64_t{1} << 20;

// A file cut short while its map is read would end the process with SIGBUS
// at the first page past its new end. The handler puts a page of zeros in
// place of such a page and notes it; the load then fails with a clear error
// instead. The maps are registered in fixed slots the handler can read
// without locks.
struct TvxMapSlot {
  std::atomic<int> Used{0};
  std::atomic<uintptr_t> Begin{0};
  std::atomic<uintptr_t> End{0};
  std::atomic<bool> Faulted{false};
};
constexpr int MapSlotCount = 256;
TvxMapSlot MapSlots[MapSlotCount];
uintptr_t PageSize = 4096;
struct sigaction PreviousBusAction;

void OnBusError(int Signal, siginfo_t* Info, void* Context) {
  const auto Address = reinterpret_cast<uintptr_t>(Info->si_addr);
  for (TvxMapSlot& Slot : MapSlots) {
    const uintptr_t Begin = Slot.Begin.load(std::memory_order_acquire);
    if (!Begin || Address < Begin || Address >= Slot.End.load(std::memory_order_acquire)) continue;
    void* Page = reinterpret_cast<void*>(Address & ~(PageSize - 1));
    if (::mmap(Page, PageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
        MAP_FAILED) {
      Slot.Faulted.store(true, std::memory_order_release);
      return;
    }
    break;
  }
  // Not one of ours: as it would have gone without this handler.
  if (PreviousBusAction.sa_flags & SA_SIGINFO) {
    if (PreviousBusAction.sa_sigaction)
      return PreviousBusAction.sa_sigaction(Signal, Info, Context);
  } else if (PreviousBusAction.sa_handler != SIG_DFL && PreviousBusAction.sa_handler != SIG_IGN) {
    return PreviousBusAction.sa_handler(Signal);
  }
  // The fault comes again on return and ends the process as usual.
  struct sigaction Default {};
  Default.sa_handler = SIG_DFL;
  sigemptyset(&Default.sa_mask);
  ::sigaction(Signal, &Default, nullptr);
}

void InstallBusHandler() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    const long Size = ::sysconf(_SC_PAGESIZE);
    if (Size > 0) PageSize = static_cast<uintptr_t>(Size);
    struct sigaction Action {};
    Action.sa_sigaction = OnBusError;
    Action.sa_flags = SA_SIGINFO;
    sigemptyset(&Action.sa_mask);
    ::sigaction(SIGBUS, &Action, &PreviousBusAction);
  });
}

// The slot now guarding [Begin, End), or -1 when all are taken (the map then
// goes unguarded).
int GuardMap(const void* Begin, int64_t Size) {
  InstallBusHandler();
  for (int I = 0; I < MapSlotCount; ++I) {
    int Free = 0;
    if (!MapSlots[I].Used.compare_exchange_strong(Free, 1)) continue;
    MapSlots[I].Faulted.store(false);
    MapSlots[I].End.store(reinterpret_cast<uintptr_t>(Begin) + static_cast<uintptr_t>(Size));
    MapSlots[I].Begin.store(reinterpret_cast<uintptr_t>(Begin), std::memory_order_release);
    return I;
  }
  return -1;
}

// Whether a page of the map was replaced; the slot is free afterwards.
bool UnguardMap(int Slot) {
  if (Slot < 0) return false;
  MapSlots[Slot].Begin.store(0, std::memory_order_release);
  MapSlots[Slot].End.store(0);
  const bool Faulted = MapSlots[Slot].Faulted.load(std::memory_order_acquire);
  MapSlots[Slot].Used.store(0);
  return Faulted;
}

}  // namespace

struct TvxPDFSource::TvxShared {
  std::string FileName;
  int Fd = -1;
  void* Map = nullptr;
  int64_t MapSize = 0;
  int GuardSlot = -1;
  bool MapFaulted = false;
  struct stat Loaded {};
  std::string Bytes;  // the caller's memory, when not a file

  void Unmap() {
    if (!Map) return;
    MapFaulted = UnguardMap(GuardSlot) || MapFaulted;
    GuardSlot = -1;
    ::munmap(Map, static_cast<size_t>(MapSize));
    Map = nullptr;
  }
  ~TvxShared() {
    Unmap();
    if (Fd >= 0) ::close(Fd);
  }
};

TvxPDFSource::TvxPDFSource(std::shared_ptr<TvxShared> Shared, int64_t Start, int64_t Size)
    : FShared(std::move(Shared)), FStart(Start), FSize(Size) {}

std::shared_ptr<TvxPDFSource> TvxPDFSource::OpenFile(const std::string& FileName) {
  auto Shared = std::make_shared<TvxShared>();
  Shared->FileName = FileName;
  Shared->Fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (Shared->Fd < 0 || ::fstat(Shared->Fd, &Shared->Loaded) != 0)
    throw EFOpenError(FormatMessage(msg::FileOpen, FileName) + ". " + std::strerror(errno));
  Shared->MapSize = static_cast<int64_t>(Shared->Loaded.st_size);
  if (Shared->MapSize > 0) {
    void* Map = ::mmap(nullptr, static_cast<size_t>(Shared->MapSize), PROT_READ, MAP_PRIVATE,
                       Shared->Fd, 0);
    if (Map == MAP_FAILED)
      throw EFOpenError(FormatMessage(msg::FileOpen, FileName) + ". " + std::strerror(errno));
    Shared->Map = Map;
    Shared->GuardSlot = GuardMap(Map, Shared->MapSize);
    // The tokenizer jumps from object to object: no read-ahead, so that the
    // data of large streams it passes over is not read from the disk.
    ::madvise(Map, static_cast<size_t>(Shared->MapSize), MADV_RANDOM);
  }
  const int64_t Size = Shared->MapSize;
  return std::shared_ptr<TvxPDFSource>(new TvxPDFSource(std::move(Shared), 0, Size));
}

std::shared_ptr<TvxPDFSource> TvxPDFSource::FromMemory(std::string Bytes) {
  auto Shared = std::make_shared<TvxShared>();
  Shared->Bytes = std::move(Bytes);
  const auto Size = static_cast<int64_t>(Shared->Bytes.size());
  return std::shared_ptr<TvxPDFSource>(new TvxPDFSource(std::move(Shared), 0, Size));
}

std::shared_ptr<TvxPDFSource> TvxPDFSource::Tail(int64_t Start) const {
  Start = std::clamp<int64_t>(Start, 0, FSize);
  return std::shared_ptr<TvxPDFSource>(new TvxPDFSource(FShared, FStart + Start, FSize - Start));
}

bool TvxPDFSource::IsFile() const {
  return FShared->Fd >= 0;
}

const std::string& TvxPDFSource::FileName() const {
  return FShared->FileName;
}

std::string_view TvxPDFSource::View() const {
  if (!IsFile()) return std::string_view(FShared->Bytes).substr(static_cast<size_t>(FStart));
  if (!FShared->Map) return {};
  return std::string_view(static_cast<const char*>(FShared->Map) + FStart,
                          static_cast<size_t>(FSize));
}

void TvxPDFSource::ReleaseView() {
  FShared->Unmap();
}

bool TvxPDFSource::ViewFaulted() const {
  if (FShared->MapFaulted) return true;
  const int Slot = FShared->GuardSlot;
  return Slot >= 0 && MapSlots[Slot].Faulted.load(std::memory_order_acquire);
}

void TvxPDFSource::DropPages() const {
  if (FShared->Map) ::madvise(FShared->Map, static_cast<size_t>(FShared->MapSize), MADV_DONTNEED);
}

void TvxPDFSource::ReadInto(char* Buffer, int64_t Offset, int64_t Count) const {
  if (Offset < 0 || Count < 0 || Offset > FSize || Count > FSize - Offset)
    throw ESourceChangedError(FormatMessage(msg::SourceChanged, FShared->FileName));
  if (!IsFile()) {
    std::memcpy(Buffer, FShared->Bytes.data() + FStart + Offset, static_cast<size_t>(Count));
    return;
  }
  // Read through the open file, not the map: a file cut short since the
  // load gives a short read here, where the map would fault.
  int64_t Done = 0;
  while (Done < Count) {
    ssize_t Got = ::pread(FShared->Fd, Buffer + Done, static_cast<size_t>(Count - Done),
                          static_cast<off_t>(FStart + Offset + Done));
    if (Got < 0 && errno == EINTR) continue;
    if (Got <= 0) throw ESourceChangedError(FormatMessage(msg::SourceChanged, FShared->FileName));
    Done += Got;
  }
}

std::string TvxPDFSource::Read(int64_t Offset, int64_t Count) const {
  if (Count <= 0) return {};
  if (Offset < 0 || Offset > FSize || Count > FSize - Offset)
    throw ESourceChangedError(FormatMessage(msg::SourceChanged, FShared->FileName));
  std::string Result(static_cast<size_t>(Count), '\0');
  ReadInto(Result.data(), Offset, Count);
  return Result;
}

void TvxPDFSource::ReadPiece(std::string& Buffer, int64_t Offset, int64_t Count) const {
  Count = std::max<int64_t>(Count, 0);
  if (Offset < 0 || Offset > FSize || Count > FSize - Offset)
    throw ESourceChangedError(FormatMessage(msg::SourceChanged, FShared->FileName));
  Buffer.resize(static_cast<size_t>(Count));
  if (Count > 0) ReadInto(Buffer.data(), Offset, Count);
}

void TvxPDFSource::CopyTo(TvxStream& Out, int64_t Offset, int64_t Count) const {
  if (Count <= 0) return;
  if (!IsFile()) {
    if (Offset < 0 || Offset > FSize || Count > FSize - Offset)
      throw ESourceChangedError(FormatMessage(msg::SourceChanged, FShared->FileName));
    if (Out.Write(FShared->Bytes.data() + FStart + Offset, Count) != Count)
      throw EStreamError("Error writing the PDF file");
    return;
  }
  if (Offset < 0 || Offset > FSize || Count > FSize - Offset)
    throw ESourceChangedError(FormatMessage(msg::SourceChanged, FShared->FileName));
  // The kernel copies file to file where it can; what it leaves (a file cut
  // short, an output that is no file) goes through a bounded buffer, which
  // finds a cut-off file.
  int64_t Done = Out.AppendFromFile(FShared->Fd, FStart + Offset, Count);
  if (Done >= Count) return;
  std::string Buffer(static_cast<size_t>(std::min(Count - Done, CopyChunk)), '\0');
  while (Done < Count) {
    const int64_t N = std::min<int64_t>(Count - Done, static_cast<int64_t>(Buffer.size()));
    ReadInto(Buffer.data(), Offset + Done, N);
    if (Out.Write(Buffer.data(), N) != N) throw EStreamError("Error writing the PDF file");
    Done += N;
  }
}

void TvxPDFSource::CheckUnchanged() const {
  if (!IsFile()) return;
  struct stat Now {};
  const struct stat& Was = FShared->Loaded;
  if (::fstat(FShared->Fd, &Now) != 0 || Now.st_size != Was.st_size ||
      Now.st_mtim.tv_sec != Was.st_mtim.tv_sec || Now.st_mtim.tv_nsec != Was.st_mtim.tv_nsec ||
      Now.st_ino != Was.st_ino || Now.st_dev != Was.st_dev)
    throw ESourceChangedError(FormatMessage(msg::SourceChanged, FShared->FileName));
}

}  // namespace vx
