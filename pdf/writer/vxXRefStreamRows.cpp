#include "pdf/writer/vxXRefStreamRows.h"

#include <algorithm>

namespace vx {

int32_t XRefFieldWidth(const std::vector<TvxXRefEntry>& Entries) {
  int64_t Largest = 0;
  for (const TvxXRefEntry& E : Entries) Largest = std::max(Largest, E.Field2);
  int32_t Width = 1;
  while (Width < 8 && (Largest >> (8 * Width)) != 0) ++Width;
  return Width;
}

std::string XRefStreamRows(const std::vector<TvxXRefEntry>& Entries, int32_t Width) {
  const size_t Columns = 3 + static_cast<size_t>(Width);
  std::string Out;
  Out.reserve(Entries.size() * (Columns + 1));
  std::string Row(Columns, '\0');
  std::string Above(Columns, '\0');
  for (const TvxXRefEntry& E : Entries) {
    Row[0] = static_cast<char>(E.Type);
    const auto Field2 = static_cast<uint64_t>(E.Field2);
    for (int32_t I = 0; I < Width; ++I)
      Row[1 + I] = static_cast<char>(Field2 >> (8 * (Width - 1 - I)));
    const auto Field3 = static_cast<uint16_t>(std::clamp(E.Field3, 0, 65535));
    Row[Columns - 2] = static_cast<char>(Field3 >> 8);
    Row[Columns - 1] = static_cast<char>(Field3);
    Out.push_back('\x02');
    for (size_t I = 0; I < Columns; ++I)
      Out.push_back(
          static_cast<char>(static_cast<uint8_t>(Row[I]) - static_cast<uint8_t>(Above[I])));
    Row.swap(Above);
  }
  return Out;
}

}  // namespace vx
