#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <typeinfo>

#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/watermark/vxPageRange.h"
#include "support/expect_error.h"

using namespace vx;

namespace {

// The class must be exactly EInvalidPageError and the text exact: both are
// shown to the user.
void ExpectPageError(std::string_view Range, int32_t PageCount, std::string_view Message) {
  SCOPED_TRACE("range \"" + std::string(Range) + "\"");
  vxtest::ExpectError<EInvalidPageError>([&] { ParsePageRange(Range, PageCount); }, Message);
}

TvxPageList Pages(std::string_view Range, int32_t PageCount = 5) {
  return ParsePageRange(Range, PageCount);
}

}  // namespace

TEST(PageRange, OpenEndsMeanFirstAndLastPage) {
  EXPECT_EQ(Pages(""), (TvxPageList{1, 2, 3, 4, 5}));
  EXPECT_EQ(Pages("1-"), (TvxPageList{1, 2, 3, 4, 5}));
  EXPECT_EQ(Pages("-"), (TvxPageList{1, 2, 3, 4, 5}));
  EXPECT_EQ(Pages("-3"), (TvxPageList{1, 2, 3}));
  EXPECT_EQ(Pages("4-"), (TvxPageList{4, 5}));
  EXPECT_EQ(Pages("2-2"), (TvxPageList{2}));
}

TEST(PageRange, KeepsOrderAndDuplicates) {
  EXPECT_EQ(Pages("2,2"), (TvxPageList{2, 2}));
  EXPECT_EQ(Pages("3,1"), (TvxPageList{3, 1}));
  EXPECT_EQ(Pages("4-5,1-2,5"), (TvxPageList{4, 5, 1, 2, 5}));
}

TEST(PageRange, BlanksAndControlCharactersSeparateItems) {
  EXPECT_EQ(Pages("2 4"), (TvxPageList{2, 4}));
  EXPECT_EQ(Pages("  2 ,\t4\r\n"), (TvxPageList{2, 4}));
  // A blank on each side of the dash makes three items: 1, "-" (all) and 3.
  EXPECT_EQ(Pages("1 - 3"), (TvxPageList{1, 1, 2, 3, 4, 5, 3}));
}

TEST(PageRange, QuotedItemsKeepTheirBlanks) {
  EXPECT_EQ(Pages("\"2 - 3\",5"), (TvxPageList{2, 3, 5}));
  // A leading blank is allowed in an integer, a trailing one is not.
  EXPECT_EQ(Pages("\" 4\""), (TvxPageList{4}));
  ExpectPageError("\"4 \"", 5, "Invalid page range (\"4 \")");
  // A doubled quote stands for one quote, which no integer contains.
  ExpectPageError("\"1\"\"\"", 5, "Invalid page range (\"1\"\"\")");
}

TEST(PageRange, IntegersMayBeSignedOrHexadecimal) {
  EXPECT_EQ(Pages("$3,0x4,X5,+1,0X2"), (TvxPageList{3, 4, 5, 1, 2}));
  EXPECT_EQ(Pages("$a-0xB", 12), (TvxPageList{10, 11}));
  ExpectPageError("0x", 5, "Invalid page range (0x)");
  ExpectPageError("1,$g", 5, "Invalid page range (1,$g)");
}

TEST(PageRange, TextThatIsNoIntegerReportsTheWholeRange) {
  ExpectPageError("1,,2", 5, "Invalid page range (1,,2)");
  ExpectPageError("1,2,", 5, "Invalid page range (1,2,)");
  ExpectPageError("2,a-3", 5, "Invalid page range (2,a-3)");
  ExpectPageError("2,3-b", 5, "Invalid page range (2,3-b)");
  ExpectPageError("4294967298", 5, "Invalid page range (4294967298)");
  ExpectPageError("-$100000000", 5, "Invalid page range (-$100000000)");
}

TEST(PageRange, BadBoundsReportTheItem) {
  ExpectPageError("1,5-2", 5, "Invalid page range (5-2)");
  ExpectPageError("1,4-6", 5, "Invalid page range (4-6)");
  ExpectPageError("0-2", 5, "Invalid page range (0-2)");
  // The only way to write a negative end.
  ExpectPageError("1--3", 5, "Invalid page range (1--3)");
  ExpectPageError("", 0, "Invalid page range (1-0)");
}

TEST(PageRange, BadSinglePagesReportTheNumber) {
  ExpectPageError("0", 5, "Invalid page number (0)");
  ExpectPageError("1,2,6", 5, "Invalid page number (6)");
}

TEST(PageRange, NulInTheTextIsRejectedNotSkipped) {
  const std::string Range(
      "1\0"
      "2",
      3);
  ExpectPageError(Range, 5, "Invalid page range (" + Range + ")");
}

TEST(PageRange, LastPossiblePageDoesNotOverflow) {
  EXPECT_EQ(ParsePageRange("2147483646-", INT_MAX), (TvxPageList{INT_MAX - 1, INT_MAX}));
}

TEST(PageRange, CheckPageNumberAcceptsOnlyPagesOfTheDocument) {
  EXPECT_NO_THROW(CheckPageNumber(1, 3));
  EXPECT_NO_THROW(CheckPageNumber(3, 3));
  for (int32_t Bad : {0, 4, -7}) {
    vxtest::ExpectError<EInvalidPageError>([&] { CheckPageNumber(Bad, 3); },
                                           "Invalid page number (" + std::to_string(Bad) + ")");
  }
}
