// Password text as the RC4 revisions use it: bytes in PDFDocEncoding.
#pragma once

#include <string>
#include <string_view>

namespace vx {

// Text in PDFDocEncoding; false (Out incomplete) when a character has no
// byte there.
bool UnicodeToPDFDocEncoding(std::u16string_view Text, std::string& Out);

}  // namespace vx
