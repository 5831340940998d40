// UTF-8 <-> UTF-16 for text that crosses the program's edges (command line,
// window, file names).
#pragma once

#include <string>
#include <string_view>

namespace vx {

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view Text);
// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view Text);

}  // namespace vx
