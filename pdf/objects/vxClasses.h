// Stream wrappers and the extended memory stream; the object list comes
// with them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pdf/objects/vxObjectList.h"
#include "pdf/objects/vxStreams.h"

namespace vx {

// Read-only view of a stream it does not own. When the source is a memory
// stream, single-byte operations work on its memory directly.
class TvxReadOnlyFilter : public TvxStream {
 public:
  explicit TvxReadOnlyFilter(TvxStream* ASource);

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Offset -1 is refused: the result is -1 and the position stays.
  int64_t Seek(int64_t Offset, TvxSeekOrigin Origin) override;
  int64_t GetSize() override { return FMem ? FMem->MemSize() : Source->GetSize(); }

  uint8_t ReadByte() {
    if (FMem) {
      if (FMem->FPosition >= 0 && FMem->FPosition < FMem->MemSize())
        return static_cast<uint8_t>(FMem->Memory()[FMem->FPosition++]);
      return 0;
    }
    return SlowReadByte();
  }
  // Always N bytes long; bytes past the end of the data are zero.
  std::string ReadString(int64_t N);
  std::string PeekString(int64_t N);
  void Skip(int64_t N);

  // True when no byte is left to read.
  bool AtEnd() {
    if (FMem) return FMem->FPosition >= FMem->MemSize();
    return Source->GetPosition() >= Source->GetSize();
  }
  int64_t Position() { return FMem ? FMem->FPosition : Source->GetPosition(); }

  TvxStream* Source;
  int64_t InitialSize;

 protected:
  uint8_t SlowReadByte();
  TvxMemoryStream* FMem;  // Source when it is a memory stream
};

class TvxRandomAccessFilter : public TvxReadOnlyFilter {
 public:
  explicit TvxRandomAccessFilter(TvxStream* ASource) : TvxReadOnlyFilter(ASource) {}

  // Looks at the next byte without consuming it. EndOfStream becomes true when
  // that byte is the last one of the data or nothing is left (then 0 is
  // returned and the position does not move).
  uint8_t PeekByte() {
    if (FMem) {
      int64_t Pos = FMem->FPosition;
      int64_t Size = FMem->MemSize();
      if (Pos >= 0 && Pos < Size) {
        EndOfStream = Pos + 1 >= Size;
        return static_cast<uint8_t>(FMem->Memory()[Pos]);
      }
      EndOfStream = true;
      return 0;
    }
    return SlowPeekByte();
  }
  void BackUp() {
    if (FMem) {
      if (FMem->FPosition > 0) --FMem->FPosition;
      return;
    }
    if (Source->GetPosition() > 0) Source->Seek(-1, soCurrent);
  }

  bool EndOfStream = false;

 private:
  uint8_t SlowPeekByte();
};

class TvxWriteOnlyFilter : public TvxStream {
 public:
  explicit TvxWriteOnlyFilter(TvxStream* ASource);

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TvxSeekOrigin Origin) override;
  int64_t AppendFromFile(int Fd, int64_t Offset, int64_t Count) override {
    return Source->AppendFromFile(Fd, Offset, Count);
  }

  TvxStream* Source;
};

// Memory stream with big-endian helpers for font tables and codecs.
class TvxExtMemStream : public TvxMemoryStream {
 public:
  TvxExtMemStream() = default;
  explicit TvxExtMemStream(std::string Data) : TvxMemoryStream(std::move(Data)) {}

  uint8_t ReadByte();
  uint16_t ReadWordBE();
  uint16_t ReadUShortBE() { return ReadWordBE(); }
  uint32_t ReadLongBE();
  // Fills S with N bytes (zeros past the end); returns the count actually read.
  int64_t ReadString(std::string& S, int64_t N);
  // Clamped to the data.
  void Skip(int64_t N);
  void WriteByte(uint8_t B);
  void WriteBytes(const std::vector<uint8_t>& Bytes);
  void WriteString(const std::string& S);
  void WriteWordBE(uint16_t V);
  void WriteLongBE(uint32_t V);
  void PadToFour();

  int64_t PadCount = 0;
};

}  // namespace vx
