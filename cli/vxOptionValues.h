// The values options take: each read from its text, or refused with a
// usage error that names the option and what it takes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vxcli {

// A whole decimal number from Low to High.
int32_t WholeNumberValue(const std::string& Option, const std::string& Text, int32_t Low,
                         int32_t High);

// The index of Text among Choices.
int ChoiceValue(const std::string& Option, const std::string& Text,
                const std::vector<std::string>& Choices);

// RRGGBB as a colour value (0x00BBGGRR).
uint32_t ColorValue(const std::string& Option, const std::string& Text);

// "--seed N": a whole number from 1 (0 would leave the random bytes to the
// system).
uint64_t SeedValue(const std::string& Text);

// "--tile-gap X,Y": two numbers of points, each from 0 to 10000.
std::pair<double, double> TileGapValue(const std::string& Text);

// "--var NAME=VALUE": a name without <, % or >, and its value.
std::pair<std::string, std::string> VariableValue(const std::string& Text);

// The choices of the options that take one of a few words, in the order of
// the values they stand for.
extern const std::vector<std::string> RenderChoices, HorizontalChoices, VerticalChoices,
    EmbedChoices, OnOffChoices, CompressChoices, TrueFalseChoices, EncryptChoices,
    ObjectStreamChoices;

}  // namespace vxcli
