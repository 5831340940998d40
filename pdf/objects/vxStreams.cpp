#include "pdf/objects/vxStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "pdf/objects/vxExceptions.h"

namespace vx {

int64_t TvxStream::GetSize() {
  int64_t Pos = Seek(0, soCurrent);
  int64_t Result = Seek(0, soEnd);
  Seek(Pos, soBeginning);
  return Result;
}

void TvxStream::SetSize(int64_t) {
  throw EStreamError("Stream size cannot be changed");
}

int64_t TvxStream::CopyFrom(TvxStream& Source, int64_t Count) {
  if (Count <= 0) {
    Source.SetPosition(0);
    Count = Source.GetSize();
  }
  char Buffer[65536];
  int64_t Total = 0;
  while (Total < Count) {
    int64_t Chunk = std::min<int64_t>(Count - Total, sizeof(Buffer));
    int64_t Got = Source.Read(Buffer, Chunk);
    if (Got <= 0) break;
    if (Write(Buffer, Got) != Got) throw EStreamError("Stream write error");
    Total += Got;
  }
  return Total;
}

int64_t TvxStream::AppendFromFile(int, int64_t, int64_t) {
  return 0;
}

// --- TvxMemoryStream ---

void TvxMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  FData.resize(static_cast<size_t>(NewSize));
  if (FPosition > NewSize) FPosition = NewSize;
}

int64_t TvxMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= MemSize()) return 0;
  int64_t N = std::min(Count, MemSize() - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(N));
  FPosition += N;
  return N;
}

int64_t TvxMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0) return 0;
  int64_t End = FPosition + Count;
  if (End > MemSize()) FData.resize(static_cast<size_t>(End));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = End;
  return Count;
}

int64_t TvxMemoryStream::Seek(int64_t Offset, TvxSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning: FPosition = Offset; break;
    case soCurrent: FPosition += Offset; break;
    case soEnd: FPosition = MemSize() + Offset; break;
  }
  if (FPosition < 0) FPosition = 0;
  return FPosition;
}

// --- TvxViewStream ---

int64_t TvxViewStream::Read(void* Buffer, int64_t Count) {
  const auto Size = static_cast<int64_t>(FView.size());
  if (Count <= 0 || FPosition < 0 || FPosition >= Size) return 0;
  int64_t N = std::min(Count, Size - FPosition);
  std::memcpy(Buffer, FView.data() + FPosition, static_cast<size_t>(N));
  FPosition += N;
  return N;
}

int64_t TvxViewStream::Write(const void*, int64_t) {
  throw EStreamError("Stream is read-only");
}

int64_t TvxViewStream::Seek(int64_t Offset, TvxSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning: FPosition = Offset; break;
    case soCurrent: FPosition += Offset; break;
    case soEnd: FPosition = static_cast<int64_t>(FView.size()) + Offset; break;
  }
  if (FPosition < 0) FPosition = 0;
  return FPosition;
}

// --- TvxFileStream ---

TvxFileStream::TvxFileStream(const std::string& FileName, TvxFileMode Mode) : FFileName(FileName) {
  FFile = std::fopen(FileName.c_str(), Mode == fmCreate ? "w+b" : "rb");
  if (!FFile) {
    std::string Reason = std::strerror(errno);
    if (Mode == fmCreate)
      throw EFCreateError(FormatMessage(msg::FileCreate, FileName) + ". " + Reason);
    throw EFOpenError(FormatMessage(msg::FileOpen, FileName) + ". " + Reason);
  }
}

TvxFileStream::TvxFileStream(int Fd, const std::string& FileName) : FFileName(FileName) {
  FFile = ::fdopen(Fd, "w+b");
  if (!FFile) {
    std::string Reason = std::strerror(errno);
    ::close(Fd);
    throw EFCreateError(FormatMessage(msg::FileCreate, FileName) + ". " + Reason);
  }
}

TvxFileStream::~TvxFileStream() {
  if (FFile) std::fclose(FFile);
}

void TvxFileStream::Close() {
  if (!FFile) return;
  bool Failed = std::fflush(FFile) != 0 || std::ferror(FFile);
  if (Failed) NoteError();
  Failed = (std::fclose(FFile) != 0) || Failed;
  if (Failed) NoteError();
  FFile = nullptr;
  if (Failed) throw EStreamError("Error writing file \"" + FFileName + "\"");
}

void TvxFileStream::StartWriteBack(int64_t Count) {
  constexpr int64_t Step = int64_t{32} << 20;
  FUnsynced += Count;
  if (FUnsynced < Step || !FFile || std::fflush(FFile) != 0) return;
  FUnsynced = 0;
  const off_t End = ftello(FFile);
  if (End <= FSyncedUpTo) return;
  // Only a request: the writing goes on while the save does; failures show
  // in the final flush.
  (void)::sync_file_range(fileno(FFile), FSyncedUpTo, End - FSyncedUpTo, SYNC_FILE_RANGE_WRITE);
  FSyncedUpTo = End;
}

int64_t TvxFileStream::AppendFromFile(int Fd, int64_t Offset, int64_t Count) {
  if (!FFile || Count <= 0 || std::fflush(FFile) != 0) return 0;
  // The copy appends at the file's end; the buffered stream is moved there
  // after it.
  const int Out = fileno(FFile);
  if (::lseek(Out, 0, SEEK_END) < 0) return 0;
  off_t In = static_cast<off_t>(Offset);
  int64_t Done = 0;
  while (Done < Count) {
    ssize_t N = ::copy_file_range(Fd, &In, Out, nullptr, static_cast<size_t>(Count - Done), 0);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Done += N;
  }
  fseeko(FFile, 0, SEEK_END);
  StartWriteBack(Done);
  return Done;
}

int64_t TvxFileStream::Read(void* Buffer, int64_t Count) {
  if (!FFile || Count <= 0) return 0;
  return static_cast<int64_t>(std::fread(Buffer, 1, static_cast<size_t>(Count), FFile));
}

int64_t TvxFileStream::Write(const void* Buffer, int64_t Count) {
  if (!FFile || Count <= 0) return 0;
  const auto Done = static_cast<int64_t>(std::fwrite(Buffer, 1, static_cast<size_t>(Count), FFile));
  if (Done != Count) NoteError();
  StartWriteBack(Done);
  return Done;
}

int64_t TvxFileStream::Seek(int64_t Offset, TvxSeekOrigin Origin) {
  if (!FFile) return 0;
  int Whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  if (fseeko(FFile, static_cast<off_t>(Offset), Whence) != 0) return ftello(FFile);
  return ftello(FFile);
}

std::string ReadFileToString(const std::string& FileName) {
  TvxFileStream File(FileName, fmOpenRead);
  int64_t Size = File.GetSize();
  std::string Result;
  if (Size > 0) {
    Result.resize(static_cast<size_t>(Size));
    int64_t Got = File.Read(Result.data(), Size);
    Result.resize(static_cast<size_t>(std::max<int64_t>(Got, 0)));
  }
  return Result;
}

uint8_t ReadByte(TvxStream& Stream) {
  uint8_t B = 0;
  if (Stream.Read(&B, 1) != 1) return 0;
  return B;
}

}  // namespace vx
