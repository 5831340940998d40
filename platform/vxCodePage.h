// Code-page conversion. The system ANSI code page is Windows-1252 here; other
// single- and double-byte code pages go through iconv.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

class TvxCodePageService {
 public:
  virtual ~TvxCodePageService() = default;
  virtual uint32_t AnsiCodePage() const = 0;
  virtual std::u16string ToUnicode(std::string_view Bytes, uint32_t CodePage) const = 0;
  virtual std::string FromUnicode(std::u16string_view Text, uint32_t CodePage) const = 0;
  virtual bool IsDBCSLeadByte(uint8_t B, uint32_t CodePage) const = 0;
};

// The service in use; tests may substitute their own (nullptr restores the
// default). Not owned.
TvxCodePageService& CodePageService();
void SetCodePageService(TvxCodePageService* Service);

// Conversions through the system ANSI code page.
std::u16string AnsiToUnicode(std::string_view Bytes);
std::string UnicodeToAnsi(std::u16string_view Text);

// Windows-1252, lossless in both directions for all 256 bytes.
char16_t Cp1252ToUnicode(uint8_t B);
// -1 when the code unit has no byte in Windows-1252.
int UnicodeToCp1252(char16_t C);

}  // namespace vx
