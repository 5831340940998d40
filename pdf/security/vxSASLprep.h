// Passwords of the AES-256 revisions: UTF-8 prepared with SASLprep (RFC 4013
// over stringprep, RFC 3454, Unicode 3.2) by GNU libidn. Its NFKC joins a
// starter to the starter before it across combining marks (U+0B47 U+0300
// U+0B3E gives U+0B4B U+0300), where UAX #15 keeps them apart.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vx {

// The password as AES-256 key derivation takes it: UTF-8 after SASLprep's
// mapping (B.1 to nothing, non-ASCII spaces to U+0020), NFKC, and the checks
// of prohibited output and bidirectional text, cut to 127 bytes. Unassigned
// code points are allowed, as in a query. Text that is not valid UTF-8 is
// read as PDFDocEncoding. False when the checks fail: Problem then says why
// ("prohibited character U+0007", "mixed right-to-left text") and Prepared
// is empty.
bool SASLprepPassword(std::string_view Password, std::string& Prepared, std::string& Problem);

// The password's own UTF-8 bytes (PDFDocEncoding converted when not valid
// UTF-8), cut to 127 bytes.
std::string RawPasswordUtf8(std::string_view Password);

// What opening an AES-256 file tries, in order: the prepared password, then
// the raw UTF-8 bytes when they differ, as some tools do not prepare. One or
// two entries.
std::vector<std::string> AES256PasswordCandidates(std::string_view Password);

}  // namespace vx
