#include "pdf/writer/vxObjectStreamPacker.h"

#include <charconv>

namespace vx {

namespace {

void AppendNumber(std::string& Out, int64_t N) {
  char Buf[24];
  auto Res = std::to_chars(Buf, Buf + sizeof(Buf), N);
  Out.append(Buf, Res.ptr);
}

}  // namespace

void TvxObjectStreamPacker::Add(int32_t Number, std::string_view Text) {
  FNumbers.push_back(Number);
  FOffsets.push_back(static_cast<int64_t>(FBody.size()));
  FBody.append(Text);
  // Apart from the next object: "1" then "2" must not read as "12".
  FBody.push_back('\n');
}

std::string TvxObjectStreamPacker::Data(int64_t& First) const {
  std::string Out;
  Out.reserve(FNumbers.size() * 12 + FBody.size() + 1);
  for (size_t I = 0; I < FNumbers.size(); ++I) {
    AppendNumber(Out, FNumbers[I]);
    Out.push_back(' ');
    AppendNumber(Out, FOffsets[I]);
    Out.push_back(I + 1 < FNumbers.size() ? ' ' : '\n');
  }
  First = static_cast<int64_t>(Out.size());
  Out.append(FBody);
  return Out;
}

void TvxObjectStreamPacker::Clear() {
  FNumbers.clear();
  FOffsets.clear();
  FBody.clear();
}

}  // namespace vx
