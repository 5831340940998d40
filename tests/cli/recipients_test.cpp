// Where each recipient's copy goes: the name from the row's columns, made
// safe, and refused when another copy or the input has it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/vxRecipients.h"

using namespace vxcli;

namespace {

TvxCsvTable People() {
  return ReadCsvTable(
      "Name,Email\n"
      "Alice,alice@example.com\n"
      "a/b,x\n"
      "Alice,alice@other.example\n"
      ",nobody\n",
      "people.csv");
}

}  // namespace

TEST(Recipients, CopiesAreNamedByTheirRowAndMadeSafe) {
  TvxJobVariables Variables;
  Variables.Values = {{"name", "from --var"}, {"Team", "Sales"}};
  const std::vector<TvxBatchFile> Files =
      RecipientFiles("/in/report.pdf", "/out", "<%FileName%>-<%NAME%>-<%team%>-<%Nobody%>",
                     People(), "people.csv", Variables);
  ASSERT_EQ(Files.size(), 4u);
  // The row's column wins over --var; what nobody defines stays as typed.
  EXPECT_EQ(Files[0].Output, "/out/report.pdf-Alice-Sales-<%Nobody%>.pdf");
  EXPECT_EQ(Files[0].Refused, "");
  EXPECT_EQ(Files[0].Label, "people.csv line 2");
  EXPECT_EQ(Files[0].Values, (std::vector<std::pair<std::string, std::string>>{
                                 {"Name", "Alice"}, {"Email", "alice@example.com"}}));
  EXPECT_EQ(Files[1].Output, "/out/report.pdf-a_b-Sales-<%Nobody%>.pdf");
  EXPECT_EQ(Files[1].Refused, "");
  // The second row of the same name is refused, the first keeps it.
  EXPECT_EQ(Files[2].Refused,
            "another recipient is written to /out/report.pdf-Alice-Sales-<%Nobody%>.pdf");
}

TEST(Recipients, EmptyNamesAndTheInputItselfAreRefused) {
  const std::vector<TvxBatchFile> Files =
      RecipientFiles("/in/Alice.pdf", "/in", "<%name%>", People(), "people.csv", {});
  ASSERT_EQ(Files.size(), 4u);
  EXPECT_EQ(Files[0].Refused, "would be written over the input (/in/Alice.pdf)");
  EXPECT_EQ(Files[1].Output, "/in/a_b.pdf");
  EXPECT_EQ(Files[3].Refused, "--output-name gives an empty file name");
  EXPECT_EQ(SafeFileName(std::string("a/b\0c", 5)), "a_b_c");
}
