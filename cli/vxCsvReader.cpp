#include "cli/vxCsvReader.h"

#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include "platform/vxUnicode.h"

namespace vxcli {

TvxCsvReader::TvxCsvReader(std::string Text, std::string Name)
    : FText(std::move(Text)), FName(std::move(Name)) {
  if (FText.compare(0, 3, "\xEF\xBB\xBF") == 0) FPos = 3;
}

void TvxCsvReader::Fail(int64_t Line, const std::string& What) const {
  throw ECsvError(FName + " line " + std::to_string(Line) + ": " + What);
}

bool TvxCsvReader::AtLineEnd() const {
  return FPos < FText.size() && (FText[FPos] == '\n' || FText[FPos] == '\r');
}

void TvxCsvReader::SkipLineEnd() {
  if (FText[FPos] == '\r' && FPos + 1 < FText.size() && FText[FPos + 1] == '\n') ++FPos;
  ++FPos;
  ++FLine;
}

bool TvxCsvReader::Next(TvxCsvRecord& Record) {
  while (AtLineEnd()) SkipLineEnd();
  if (FPos >= FText.size()) return false;
  Record.Line = FLine;
  Record.Fields.clear();
  for (;;) {
    std::string Field;
    if (FText[FPos] == '"') {
      const int64_t Opened = FLine;
      ++FPos;
      for (;;) {
        if (FPos >= FText.size()) Fail(Opened, "a quoted field is not closed");
        const char C = FText[FPos];
        if (C == '"') {
          if (FPos + 1 < FText.size() && FText[FPos + 1] == '"') {
            Field += '"';
            FPos += 2;
            continue;
          }
          ++FPos;
          break;
        }
        if (C == '\r' || C == '\n') {
          // A line break inside the field is kept as one "\n".
          SkipLineEnd();
          Field += '\n';
          continue;
        }
        Field += C;
        ++FPos;
      }
      if (FPos < FText.size() && FText[FPos] != ',' && !AtLineEnd())
        Fail(FLine, "text follows a quoted field's closing quote");
    } else {
      const size_t End = FText.find_first_of(",\r\n", FPos);
      const size_t Stop = End == std::string::npos ? FText.size() : End;
      Field.assign(FText, FPos, Stop - FPos);
      FPos = Stop;
    }
    Record.Fields.push_back(std::move(Field));
    if (FPos < FText.size() && FText[FPos] == ',') {
      ++FPos;
      // A comma at the end gives one more, empty field.
      if (FPos >= FText.size() || AtLineEnd()) {
        Record.Fields.emplace_back();
        if (FPos < FText.size()) SkipLineEnd();
        break;
      }
      continue;
    }
    if (FPos < FText.size()) SkipLineEnd();
    break;
  }
  for (const std::string& Field : Record.Fields)
    if (vx::Utf16ToUtf8(vx::Utf8ToUtf16(Field)) != Field)
      Fail(Record.Line, "the text is not UTF-8");
  return true;
}

TvxCsvTable ReadCsvTable(std::string Text, const std::string& Name) {
  TvxCsvReader Reader(std::move(Text), Name);
  TvxCsvTable Table;
  TvxCsvRecord Header;
  if (!Reader.Next(Header)) throw ECsvError(Name + " has no header row naming its columns");
  auto Fail = [&Name](int64_t Line, const std::string& What) {
    throw ECsvError(Name + " line " + std::to_string(Line) + ": " + What);
  };
  std::set<std::string> Seen;
  for (const std::string& Column : Header.Fields) {
    if (Column.empty()) Fail(Header.Line, "a column has no name");
    if (Column.find_first_of("<%>") != std::string::npos)
      Fail(Header.Line, "the column name \"" + Column + "\" holds <, % or >");
    std::string Key = Column;
    for (char& C : Key) C = static_cast<char>(C >= 'a' && C <= 'z' ? C - 32 : C);
    if (!Seen.insert(Key).second) Fail(Header.Line, "the column \"" + Column + "\" is named twice");
  }
  Table.Names = std::move(Header.Fields);
  TvxCsvRecord Row;
  while (Reader.Next(Row)) {
    if (Row.Fields.size() != Table.Names.size())
      Fail(Row.Line, std::to_string(Row.Fields.size()) + " field(s) where the header has " +
                         std::to_string(Table.Names.size()));
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

TvxCsvTable ReadCsvFile(const std::string& File) {
  std::ifstream In(File, std::ios::binary);
  std::ostringstream Text;
  if (In) Text << In.rdbuf();
  if (!In || In.bad()) throw vx::Exception("Cannot read the recipients file " + File);
  return ReadCsvTable(Text.str(), File);
}

}  // namespace vxcli
