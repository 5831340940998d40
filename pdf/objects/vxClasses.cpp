#include "pdf/objects/vxClasses.h"

#include <algorithm>

#include "pdf/objects/vxExceptions.h"

namespace vx {

// --- TvxReadOnlyFilter ---

TvxReadOnlyFilter::TvxReadOnlyFilter(TvxStream* ASource) : Source(ASource), InitialSize(0) {
  if (!Source) throw EInvalidStream(std::string(msg::NullStream));
  FMem = dynamic_cast<TvxMemoryStream*>(Source);
  InitialSize = Source->GetSize();
}

int64_t TvxReadOnlyFilter::Read(void* Buffer, int64_t Count) {
  return Source->Read(Buffer, Count);
}

int64_t TvxReadOnlyFilter::Write(const void*, int64_t) {
  throw EReadError(std::string(msg::ReadOnlyCannotWrite));
}

int64_t TvxReadOnlyFilter::Seek(int64_t Offset, TvxSeekOrigin Origin) {
  if (Offset == -1) return -1;
  return Source->Seek(Offset, Origin);
}

uint8_t TvxReadOnlyFilter::SlowReadByte() {
  uint8_t B = 0;
  if (Source->Read(&B, 1) != 1) return 0;
  return B;
}

std::string TvxReadOnlyFilter::ReadString(int64_t N) {
  if (N <= 0) return {};
  int64_t Avail = std::max<int64_t>(0, GetSize() - Position());
  std::string S(static_cast<size_t>(std::min(N, Avail)), '\0');
  int64_t Got = S.empty() ? 0 : Read(S.data(), static_cast<int64_t>(S.size()));
  S.resize(static_cast<size_t>(std::max<int64_t>(Got, 0)));
  S.resize(static_cast<size_t>(N), '\0');
  return S;
}

std::string TvxReadOnlyFilter::PeekString(int64_t N) {
  if (N <= 0) return {};
  int64_t Start = Position();
  int64_t Avail = std::max<int64_t>(0, GetSize() - Start);
  std::string S(static_cast<size_t>(std::min(N, Avail)), '\0');
  int64_t Got = S.empty() ? 0 : Read(S.data(), static_cast<int64_t>(S.size()));
  if (Got > 0) Source->Seek(Start, soBeginning);
  S.resize(static_cast<size_t>(N), '\0');
  return S;
}

void TvxReadOnlyFilter::Skip(int64_t N) {
  int64_t Target = Position() + N;
  if (Target == -1) return;
  Source->Seek(Target, soBeginning);
}

// --- TvxRandomAccessFilter ---

uint8_t TvxRandomAccessFilter::SlowPeekByte() {
  uint8_t B = 0;
  int64_t Got = Source->Read(&B, 1);
  int64_t Pos = Source->GetPosition();
  EndOfStream = Pos >= Source->GetSize();
  if (Got == 1) Source->Seek(Pos - 1, soBeginning);
  return Got == 1 ? B : 0;
}

// --- TvxWriteOnlyFilter ---

TvxWriteOnlyFilter::TvxWriteOnlyFilter(TvxStream* ASource) : Source(ASource) {
  if (!Source) throw EInvalidStream(std::string(msg::NullStream));
}

int64_t TvxWriteOnlyFilter::Read(void*, int64_t) {
  throw EReadError(std::string(msg::WriteOnlyCannotRead));
}

int64_t TvxWriteOnlyFilter::Write(const void* Buffer, int64_t Count) {
  return Source->Write(Buffer, Count);
}

int64_t TvxWriteOnlyFilter::Seek(int64_t Offset, TvxSeekOrigin Origin) {
  return Source->Seek(Offset, Origin);
}

// --- TvxExtMemStream ---

uint8_t TvxExtMemStream::ReadByte() {
  if (FPosition >= 0 && FPosition < MemSize()) return static_cast<uint8_t>(FData[FPosition++]);
  return 0;
}

uint16_t TvxExtMemStream::ReadWordBE() {
  uint16_t Hi = ReadByte();
  uint16_t Lo = ReadByte();
  return static_cast<uint16_t>(Hi << 8 | Lo);
}

uint32_t TvxExtMemStream::ReadLongBE() {
  uint32_t Result = 0;
  for (int I = 0; I < 4; ++I) Result = Result << 8 | ReadByte();
  return Result;
}

int64_t TvxExtMemStream::ReadString(std::string& S, int64_t N) {
  S.assign(static_cast<size_t>(std::max<int64_t>(N, 0)), '\0');
  return S.empty() ? 0 : Read(S.data(), N);
}

void TvxExtMemStream::Skip(int64_t N) {
  FPosition = std::clamp<int64_t>(FPosition + N, 0, MemSize());
}

void TvxExtMemStream::WriteByte(uint8_t B) {
  Write(&B, 1);
}

void TvxExtMemStream::WriteBytes(const std::vector<uint8_t>& Bytes) {
  Write(Bytes.data(), static_cast<int64_t>(Bytes.size()));
}

void TvxExtMemStream::WriteString(const std::string& S) {
  for (char C : S) WriteByte(static_cast<uint8_t>(C));
}

void TvxExtMemStream::WriteWordBE(uint16_t V) {
  WriteByte(static_cast<uint8_t>(V >> 8));
  WriteByte(static_cast<uint8_t>(V));
}

void TvxExtMemStream::WriteLongBE(uint32_t V) {
  for (int Shift = 24; Shift >= 0; Shift -= 8) WriteByte(static_cast<uint8_t>(V >> Shift));
}

void TvxExtMemStream::PadToFour() {
  FPosition = MemSize();
  int64_t Rest = MemSize() % 4;
  if (Rest != 0) {
    PadCount = 4 - Rest;
    static const char Zeros[4] = {0, 0, 0, 0};
    Write(Zeros, PadCount);
  } else {
    PadCount = 0;
  }
}

}  // namespace vx
