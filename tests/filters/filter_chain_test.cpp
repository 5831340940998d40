#include <gtest/gtest.h>

#include "pdf/filters/vxFilter.h"
#include "pdf/filters/vxFlateFilter.h"
#include "pdf/filters/vxLZWFilter.h"
#include "pdf/filters/vxRLEFilter.h"
#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/objects/vxPDFObjects.h"
#include "support/expect_error.h"
#include "support/filter_helpers.h"

using namespace vx;
using vx::test::Bytes;
using vxtest::ExpectError;

namespace {

std::unique_ptr<TvxPDFNameObject> Name(const char* Text) {
  return std::make_unique<TvxPDFNameObject>(Text);
}

std::unique_ptr<TvxPDFArrayObject> Names(std::initializer_list<const char*> Texts) {
  auto A = std::make_unique<TvxPDFArrayObject>();
  for (const char* T : Texts) A->Add(Name(T));
  return A;
}

std::string Step(TvxDecodeFilter Kind, const std::string& Data) {
  TvxMemoryStream S(Data);
  return DecodeWithFilter(Kind, S)->DataString();
}

TEST(FilterNames, NamesAndLists) {
  EXPECT_EQ(FilterFromName("/A85"), ftASCII85Decode);
  EXPECT_EQ(FilterFromName("/RunLengthDecode"), ftRunLengthDecode);
  EXPECT_EQ(FilterFromName("/CCITTFaxDecode"), ftCCITTFaxDecode);
  for (const char* Bad : {"/AHx", "/flatedecode", "FlateDecode"})
    ExpectError<EUnsupportedFilterError>([&] { FilterFromName(Bad); },
                                         std::string("Unsupported filter (") + Bad + ")");

  EXPECT_EQ(GetFilterList(Name("/FlateDecode").get()), TvxFilterList{ftFlateDecode});
  EXPECT_TRUE(GetFilterList(nullptr).empty());
  TvxPDFDictObject Dict;
  ExpectError<EUnexpectedFilterObject>([&] { GetFilterList(&Dict); },
                                       "Unexpected filter object, found (Dictionary Object)");
  auto List = Names({"/A85", "/FlateDecode"});
  List->Add(std::make_unique<TvxPDFIndirectReference>(1, 5, 0));
  ExpectError<EInvalidCast>([&] { GetFilterList(List.get()); }, "Invalid class typecast");
  TvxPDFObjectStore Store;
  Store.AddObject(std::make_unique<TvxPDFIndirectObject>(1, 5, 0, Name("/DCTDecode")));
  EXPECT_EQ(GetFilterList(List.get(), &Store),
            (TvxFilterList{ftASCII85Decode, ftFlateDecode, ftDCTDecode}));
}

TEST(FilterChain, OneStep) {
  // Line ends after text data and the RunLength marker are file layout.
  EXPECT_EQ(Step(ftASCIIHexDecode, "4142"), "AB");
  EXPECT_EQ(Step(ftASCIIHexDecode, "4142>\r\n"), "AB");
  EXPECT_EQ(Step(ftRunLengthDecode, Bytes({254, 'q', 128, '\r', '\n'})), "qqq");
  // LZW is binary: a final code byte of 10 is data.
  EXPECT_EQ(Step(ftLZWDecode, vx::test::Codes9({'a', 'b', 'c', 'd', 'e', 'f', '\n'})), "abcdef\n");

  ExpectError<EUnsupportedFilterError>([] { Step(static_cast<TvxDecodeFilter>(9), "x"); },
                                       "Unsupported filter");
}

TEST(FilterChain, DecodesInListOrderAndPassesImageData) {
  const std::string Text = vx::test::MixedData(20000, 12);
  const std::string Flated = TvxFlateFilter().EncodeString(Text, clDefault);
  TvxMemoryStream Packed(TvxRLEFilter().EncodeString(Flated));
  EXPECT_TRUE(
      DecodeFilterChain(Packed, Names({"/RunLengthDecode", "/FlateDecode"}).get())->DataString() ==
      Text);
  TvxMemoryStream Source(Flated);
  EXPECT_TRUE(DecodeFilterChain(Source, nullptr)->DataString() == Flated);

  // Image data after an undone filter is left as it is.
  EXPECT_EQ(DecodeFilterChain(Source, Names({"/FlateDecode", "/DCTDecode"}).get())->DataString(),
            Text);
  TvxMemoryStream Jpeg("\xFF\xD8jpeg\r\n");
  EXPECT_EQ(DecodeWithFilter(ftDCTDecode, Jpeg)->DataString(), "\xFF\xD8jpeg\r\n");
  // The source stays as it was, also when a step fails.
  TvxMemoryStream Garbage("\r\ngarbage\r\n");
  ExpectError<EZDecompressionError>([&] { DecodeFilterChain(Garbage, Name("/FlateDecode").get()); },
                                    "data error");
  EXPECT_TRUE(Source.DataString() == Flated);
  EXPECT_EQ(Garbage.DataString(), "\r\ngarbage\r\n");
}

TvxPDFStreamObject MakeStream(TvxPDFObjectPtr Filter, TvxPDFObjectPtr Parms,
                              const std::string& Data) {
  auto Dict = std::make_unique<TvxPDFDictObject>();
  Dict->Add("/Filter", std::move(Filter));
  if (Parms) Dict->Add("/DecodeParms", std::move(Parms));
  return TvxPDFStreamObject(std::move(Dict), std::make_unique<TvxMemoryStream>(Data));
}

TEST(FilterStreamData, AppliesDecodeParms) {
  auto Parms = [](int Predictor, int Columns) {
    auto P = std::make_unique<TvxPDFDictObject>();
    P->AddInteger("/Predictor", Predictor);
    P->AddInteger("/Columns", Columns);
    return P;
  };
  const std::string Predicted = Bytes({2, 1, 0, 16, 0, 2, 0, 0, 1, 0});
  const std::string Flated = TvxFlateFilter().EncodeString(Predicted, clDefault);
  const std::string Rows = Bytes({1, 0, 16, 0, 1, 0, 17, 0});
  EXPECT_EQ(DecodeStreamData(MakeStream(Name("/FlateDecode"), Parms(12, 4), Flated))->DataString(),
            Rows);

  // Parameters paired by index, one of them held in the store.
  TvxPDFObjectStore Store;
  Store.AddObject(std::make_unique<TvxPDFIndirectObject>(1, 4, 0, Parms(12, 4)));
  auto ParmsArray = std::make_unique<TvxPDFArrayObject>();
  ParmsArray->Add(std::make_unique<TvxPDFNullObject>());
  ParmsArray->Add(std::make_unique<TvxPDFIndirectReference>(1, 4, 0));
  auto Stream = MakeStream(Names({"/RunLengthDecode", "/FlateDecode"}), std::move(ParmsArray),
                           TvxRLEFilter().EncodeString(Flated));
  EXPECT_EQ(DecodeStreamData(Stream, &Store)->DataString(), Rows);

  // LZW with /EarlyChange 0 widens its codes one entry later.
  const std::string Data = vx::test::MixedData(8000, 5);
  auto Late = std::make_unique<TvxPDFDictObject>();
  Late->AddInteger("/EarlyChange", 0);
  auto Lzw = MakeStream(Name("/LZWDecode"), std::move(Late),
                        vx::test::LzwEncode(Data, {.EarlyChange = false}));
  EXPECT_TRUE(DecodeStreamData(Lzw)->DataString() == Data);
}

TEST(FilterDecodeLimit, HostileDataStopsAtTheLimit) {
  TvxScopedDecodeLimit Limit(1 << 16);
  const std::string Message = "Decoded stream data exceeds the limit of 65536 bytes";
  const std::string Zeros(1 << 20, '\0');
  const std::string Bomb = TvxFlateFilter().EncodeString(Zeros, clMax);
  ASSERT_LT(Bomb.size(), 2000u);
  ExpectError<EDecodeLimitError>([&] { TvxFlateFilter().DecodeString(Bomb); }, Message);
  ExpectError<EDecodeLimitError>(
      [&] { TvxRLEFilter().DecodeString(TvxRLEFilter().EncodeString(Zeros)); }, Message);
  ExpectError<EDecodeLimitError>([&] { TvxLZWFilter().DecodeString(vx::test::LzwEncode(Zeros)); },
                                 Message);
}

TEST(FilterEncode, OnlyFlateAndRunLengthEncode) {
  EXPECT_EQ(TvxRLEFilter().EncodeString("aaab", clMax), TvxRLEFilter().EncodeString("aaab"));
  for (TvxDecodeFilter Kind : {ftASCIIHexDecode, ftASCII85Decode, ftLZWDecode})
    ExpectError<EUnsupportedFilterError>(
        [&] { CreateFilter(Kind)->EncodeString("x"); },
        "Filter cannot encode (" + std::string(FilterName(Kind)) + ")");
}

}  // namespace
