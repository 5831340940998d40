// Passwords of the AES-256 revisions: UTF-8 prepared with SASLprep.
#pragma once

#include <string>
#include <string_view>

namespace vx {

// The password as AES-256 key derivation takes it: UTF-8 after SASLprep's
// mapping (B.1 to nothing, non-ASCII spaces to U+0020) and NFKC, cut to 127
// bytes. Text that is not valid UTF-8 is read as PDFDocEncoding. NFKC covers
// Latin, Greek, Cyrillic, punctuation, ligatures and full-width forms; other
// characters pass unchanged. Prohibited characters are kept.
std::string SASLprepPassword(std::string_view Password);

}  // namespace vx
