// Comma-separated values as spreadsheets write them (RFC 4180): quoted
// fields with commas, doubled quotes and line breaks, CRLF or LF line ends,
// UTF-8 with or without a byte order mark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/vxException.h"

namespace vxcli {

// A malformed file; the message names the file and the line.
class ECsvError : public vx::Exception {
 public:
  using vx::Exception::Exception;
};

struct TvxCsvRecord {
  int64_t Line = 0;  // where the record starts, from 1
  std::vector<std::string> Fields;
};

// Reads the records of Text one at a time, in one pass over it.
class TvxCsvReader {
 public:
  // Name stands for the text in messages.
  TvxCsvReader(std::string Text, std::string Name);

  // The next record; false at the end. Blank lines are skipped. Raises
  // ECsvError on a quote left open, text after a closing quote, or a
  // record that is not UTF-8.
  bool Next(TvxCsvRecord& Record);

 private:
  [[noreturn]] void Fail(int64_t Line, const std::string& What) const;
  bool AtLineEnd() const;
  void SkipLineEnd();

  std::string FText;
  std::string FName;
  size_t FPos = 0;
  int64_t FLine = 1;
};

// A header row of column names and the rows under it.
struct TvxCsvTable {
  std::vector<std::string> Names;
  std::vector<TvxCsvRecord> Rows;
};

// The table of Text: every row must have as many fields as the header, whose
// names must be there, differ (ASCII case aside) and hold none of "<%>", as
// they name variables. Raises ECsvError naming the line.
TvxCsvTable ReadCsvTable(std::string Text, const std::string& Name);
// The same for a file; vx::Exception when it cannot be read.
TvxCsvTable ReadCsvFile(const std::string& File);

}  // namespace vxcli
