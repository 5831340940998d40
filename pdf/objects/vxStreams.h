// The abstract byte stream the engine reads and writes through, with memory
// and file implementations.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vx {

enum TvxSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

// A seekable byte stream with virtual size, read, write and seek.
class TvxStream {
 public:
  virtual ~TvxStream() = default;
  TvxStream() = default;
  TvxStream(const TvxStream&) = delete;
  TvxStream& operator=(const TvxStream&) = delete;

  virtual int64_t GetSize();
  virtual void SetSize(int64_t NewSize);
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TvxSeekOrigin Origin) = 0;

  int64_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
  int64_t Size() { return GetSize(); }
  // Copies Count bytes (all when Count <= 0, from position 0) from Source.
  int64_t CopyFrom(TvxStream& Source, int64_t Count);
  void WriteText(std::string_view Text) { Write(Text.data(), static_cast<int64_t>(Text.size())); }
  // Appends up to Count bytes at Offset of the open file Fd by the kernel's
  // file-to-file copy; returns how many it copied (0 when it cannot).
  virtual int64_t AppendFromFile(int Fd, int64_t Offset, int64_t Count);
};

// Growable in-memory stream. The data is one contiguous std::string so that
// readers can walk it with a pointer.
class TvxMemoryStream : public TvxStream {
 public:
  TvxMemoryStream() = default;
  explicit TvxMemoryStream(std::string Data) : FData(std::move(Data)) {}

  int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t NewSize) override;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TvxSeekOrigin Origin) override;

  // Direct access for the hot paths.
  const char* Memory() const { return FData.data(); }
  int64_t MemSize() const { return static_cast<int64_t>(FData.size()); }
  int64_t FPosition = 0;

  const std::string& DataString() const { return FData; }
  std::string& DataString() { return FData; }
  void Clear() {
    FData.clear();
    FPosition = 0;
  }

 protected:
  std::string FData;
};

// Read-only stream over bytes it does not own (a memory-mapped file, for
// one); they must outlive it.
class TvxViewStream : public TvxStream {
 public:
  explicit TvxViewStream(std::string_view AView) : FView(AView) {}

  int64_t GetSize() override { return static_cast<int64_t>(FView.size()); }
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TvxSeekOrigin Origin) override;

  std::string_view View() const { return FView; }
  int64_t FPosition = 0;

 private:
  std::string_view FView;
};

enum TvxFileMode : uint8_t { fmOpenRead, fmCreate };

// A file on disk.
class TvxFileStream : public TvxStream {
 public:
  TvxFileStream(const std::string& FileName, TvxFileMode Mode);
  // Takes over Fd, a file open for writing (it is not truncated).
  TvxFileStream(int Fd, const std::string& FileName);
  ~TvxFileStream() override;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TvxSeekOrigin Origin) override;
  int64_t AppendFromFile(int Fd, int64_t Offset, int64_t Count) override;
  // Flushes and closes; reports a failed flush (full disk) as an exception.
  void Close();
  const std::string& FileName() const { return FFileName; }
  // errno of the first write, flush or close that failed; 0 when none did.
  int LastError() const { return FError; }

 private:
  // Every so many bytes written, the disk is asked to start writing them,
  // so that the flush at the end of a large save has little left to do.
  void StartWriteBack(int64_t Count);
  std::FILE* FFile = nullptr;  // owned: closed by Close and the destructor
  std::string FFileName;
  int FError = 0;
  void NoteError() {
    if (FError == 0) FError = errno != 0 ? errno : EIO;
  }
  int64_t FUnsynced = 0;    // bytes written since the last request
  int64_t FSyncedUpTo = 0;  // the offset up to which writing was requested
};

// Reads a whole file into memory.
std::string ReadFileToString(const std::string& FileName);

// Reads one byte from any stream (0 when none is left).
uint8_t ReadByte(TvxStream& Stream);

}  // namespace vx
