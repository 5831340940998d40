#include "cli/vxOptionValues.h"

#include <cstdlib>

#include "cli/vxCliOptions.h"
#include "pdf/objects/vxUtils.h"

namespace vxcli {

const std::vector<std::string> RenderChoices = {"fill", "stroke", "fillstroke"};
const std::vector<std::string> HorizontalChoices = {"left", "center", "right"};
const std::vector<std::string> VerticalChoices = {"top", "center", "bottom"};
const std::vector<std::string> EmbedChoices = {"none", "full", "subset"};
const std::vector<std::string> OnOffChoices = {"off", "on"};
const std::vector<std::string> CompressChoices = {"flate", "runlength"};
const std::vector<std::string> TrueFalseChoices = {"true", "false"};
const std::vector<std::string> EncryptChoices = {"40", "128", "aes128", "aes256"};
// In the order of vx::TvxObjectStreams.
const std::vector<std::string> ObjectStreamChoices = {"preserve", "generate", "disable"};

int32_t WholeNumberValue(const std::string& Option, const std::string& Text, int32_t Low,
                         int32_t High) {
  int64_t V = 0;
  const size_t First = Text.size() > 1 && (Text[0] == '-' || Text[0] == '+') ? 1 : 0;
  bool Ok = First < Text.size() && Text.size() - First <= 10;
  for (size_t J = First; Ok && J < Text.size(); ++J) {
    Ok = Text[J] >= '0' && Text[J] <= '9';
    V = V * 10 + (Text[J] - '0');
  }
  if (Ok && Text[0] == '-') V = -V;
  if (!Ok || V < Low || V > High)
    throw TvxUsageError{Option + " takes a whole number from " + std::to_string(Low) + " to " +
                        std::to_string(High)};
  return static_cast<int32_t>(V);
}

int ChoiceValue(const std::string& Option, const std::string& Text,
                const std::vector<std::string>& Choices) {
  for (size_t I = 0; I < Choices.size(); ++I)
    if (Choices[I] == Text) return static_cast<int>(I);
  std::string List;
  for (size_t I = 0; I < Choices.size(); ++I)
    List += (I ? (I + 1 == Choices.size() ? " or " : ", ") : "") + Choices[I];
  throw TvxUsageError{Option + " takes " + List};
}

uint32_t ColorValue(const std::string& Option, const std::string& Text) {
  uint32_t RGB = 0;
  bool Ok = Text.size() == 6;
  for (size_t I = 0; Ok && I < Text.size(); ++I) {
    const char C = Text[I];
    const int D = C >= '0' && C <= '9'   ? C - '0'
                  : C >= 'a' && C <= 'f' ? C - 'a' + 10
                  : C >= 'A' && C <= 'F' ? C - 'A' + 10
                                         : -1;
    Ok = D >= 0;
    RGB = RGB << 4 | static_cast<uint32_t>(D);
  }
  if (!Ok) throw TvxUsageError{Option + " takes a colour as six hex digits RRGGBB"};
  return vx::MakeColor(static_cast<uint8_t>(RGB >> 16), static_cast<uint8_t>(RGB >> 8),
                       static_cast<uint8_t>(RGB));
}

uint64_t SeedValue(const std::string& Text) {
  uint64_t V = 0;
  bool Ok = !Text.empty() && Text.size() <= 20;
  for (size_t I = 0; Ok && I < Text.size(); ++I) {
    const uint64_t D = static_cast<uint64_t>(Text[I] - '0');
    Ok = Text[I] >= '0' && Text[I] <= '9' && V <= (UINT64_MAX - D) / 10;
    V = V * 10 + D;
  }
  if (!Ok || V == 0)
    throw TvxUsageError{"--seed takes a whole number from 1 to " + std::to_string(UINT64_MAX)};
  return V;
}

std::pair<double, double> TileGapValue(const std::string& Text) {
  const size_t Comma = Text.find(',');
  double Parts[2] = {-1, -1};
  for (int I = 0; I < 2 && Comma != std::string::npos; ++I) {
    const std::string Part = I == 0 ? Text.substr(0, Comma) : Text.substr(Comma + 1);
    char* End = nullptr;
    const double D = Part.empty() ? -1 : std::strtod(Part.c_str(), &End);
    if (End && *End == '\0' && D >= 0 && D <= 10000) Parts[I] = D;
  }
  if (Parts[0] < 0 || Parts[1] < 0)
    throw TvxUsageError{"--tile-gap takes X,Y: two numbers of points from 0 to 10000"};
  return {Parts[0], Parts[1]};
}

std::pair<std::string, std::string> VariableValue(const std::string& Text) {
  const size_t Equals = Text.find('=');
  if (Equals == 0 || Equals == std::string::npos || Text.find_first_of("<%>") < Equals)
    throw TvxUsageError{"--var takes NAME=VALUE"};
  return {Text.substr(0, Equals), Text.substr(Equals + 1)};
}

}  // namespace vxcli
