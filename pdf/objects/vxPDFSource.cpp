#include "pdf/objects/vxPDFSource.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "pdf/objects/vxExceptions.h"

namespace vx {

namespace {

// Bounded copies: the output never holds more than this of the source.
constexpr int64_t CopyChunk = int64_t{1} << 20;

}  // namespace

struct TvxPDFSource::TvxShared {
  std::string FileName;
  int Fd = -1;
  void* Map = nullptr;
  int64_t MapSize = 0;
  struct stat Loaded {};
  std::string Bytes;  // the caller's memory, when not a file

  ~TvxShared() {
    if (Map) ::munmap(Map, static_cast<size_t>(MapSize));
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
  if (!FShared->Map) return;
  ::munmap(FShared->Map, static_cast<size_t>(FShared->MapSize));
  FShared->Map = nullptr;
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
