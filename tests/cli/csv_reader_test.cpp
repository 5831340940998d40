// The recipients file: RFC 4180 records, a checked header, and every fault
// named by its line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/vxCsvReader.h"

using vxcli::ECsvError;
using vxcli::ReadCsvTable;
using vxcli::TvxCsvTable;

namespace {

using TvxRows = std::vector<std::vector<std::string>>;

TvxRows Fields(const TvxCsvTable& Table) {
  TvxRows Rows;
  for (const auto& Row : Table.Rows) Rows.push_back(Row.Fields);
  return Rows;
}

std::vector<int64_t> Lines(const TvxCsvTable& Table) {
  std::vector<int64_t> Result;
  for (const auto& Row : Table.Rows) Result.push_back(Row.Line);
  return Result;
}

// The message of the ECsvError reading Text raises, or "" when none.
std::string Error(const std::string& Text) {
  try {
    ReadCsvTable(Text, "people.csv");
  } catch (const ECsvError& E) {
    return E.what();
  }
  return "";
}

}  // namespace

TEST(CsvReader, QuotedFieldsKeepCommasQuotesAndLineBreaks) {
  const TvxCsvTable Table = ReadCsvTable(
      "\xEF\xBB\xBFname,email,note\r\n"
      "\"Smith, Alice\",alice@example.com,\"said \"\"hi\"\"\"\r\n"
      "Bob,bob@example.com,\"two\r\nlines\"\n"
      "Zoë,,\"\"\n"
      "Carol,c@example.com,last",
      "people.csv");
  EXPECT_EQ(Table.Names, (std::vector<std::string>{"name", "email", "note"}));
  EXPECT_EQ(Fields(Table), (TvxRows{{"Smith, Alice", "alice@example.com", "said \"hi\""},
                                    {"Bob", "bob@example.com", "two\nlines"},
                                    {"Zoë", "", ""},
                                    {"Carol", "c@example.com", "last"}}));
  // A line break inside a field still counts as a line.
  EXPECT_EQ(Lines(Table), (std::vector<int64_t>{2, 3, 5, 6}));
}

TEST(CsvReader, BlankLinesAndATrailingCommaAndNoFinalLineEnd) {
  const TvxCsvTable Table = ReadCsvTable("a,b\n\nx,\n\r\n\"y\",z", "people.csv");
  EXPECT_EQ(Fields(Table), (TvxRows{{"x", ""}, {"y", "z"}}));
  EXPECT_EQ(Lines(Table), (std::vector<int64_t>{3, 5}));
  EXPECT_TRUE(ReadCsvTable("name\n", "people.csv").Rows.empty());
}

TEST(CsvReader, FaultsNameTheirLine) {
  EXPECT_EQ(Error("name,email\nAlice,a@x\nBob\n"),
            "people.csv line 3: 1 field(s) where the header has 2");
  EXPECT_EQ(Error("name,email\n\"Al\nice\",a@x,extra\n"),
            "people.csv line 2: 3 field(s) where the header has 2");
  EXPECT_EQ(Error("name,email\nAlice,a@x\n\"Bob,b@x\nCarol,c@x\n"),
            "people.csv line 3: a quoted field is not closed");
  EXPECT_EQ(Error("name,email\n\"Alice\"x,a@x\n"),
            "people.csv line 2: text follows a quoted field's closing quote");
  EXPECT_EQ(Error("name\nAl\xFF"
                  "ce\n"),
            "people.csv line 2: the text is not UTF-8");
  EXPECT_EQ(Error(""), "people.csv has no header row naming its columns");
  EXPECT_EQ(Error("\n\r\n"), "people.csv has no header row naming its columns");
  EXPECT_EQ(Error("name,,email\n"), "people.csv line 1: a column has no name");
  EXPECT_EQ(Error("name,Name\n"), "people.csv line 1: the column \"Name\" is named twice");
  EXPECT_EQ(Error("name,<%x%>\n"), "people.csv line 1: the column name \"<%x%>\" holds <, % or >");
}

TEST(CsvReader, AQuoteLeftOpenOverALargeInputEndsAtItsEnd) {
  std::string Text = "name\n\"";
  Text.append(8 << 20, 'x');
  EXPECT_EQ(Error(Text), "people.csv line 2: a quoted field is not closed");
}
