#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pdf/objects/vxExceptions.h"
#include "pdf/reader/vxPDFStreamReader.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"

using namespace vx;

namespace {

// A reader over bytes held by the fixture.
class ReaderTest : public ::testing::Test {
 protected:
  TvxPDFStreamReader& Over(const std::string& Bytes) {
    FMem = std::make_unique<TvxMemoryStream>(Bytes);
    FReader = std::make_unique<TvxPDFStreamReader>(7, FMem.get());
    return *FReader;
  }
  // The parsed object lives as long as the fixture.
  TvxPDFObject* Parse(const std::string& Bytes) { return Keep(Over(Bytes).ParseObject()); }
  TvxPDFObject* Keep(TvxPDFObjectPtr Obj) {
    FKept.push_back(std::move(Obj));
    return FKept.back().get();
  }

  template <typename T>
  T* As(TvxPDFObject* Obj) {
    EXPECT_NE(Obj, nullptr);
    return dynamic_cast<T*>(Obj);
  }
  template <typename T>
  T* As(TvxPDFObjectPtr Obj) {
    return As<T>(Keep(std::move(Obj)));
  }

  std::unique_ptr<TvxMemoryStream> FMem;
  std::unique_ptr<TvxPDFStreamReader> FReader;
  std::vector<TvxPDFObjectPtr> FKept;
};

TEST_F(ReaderTest, ReferencesAndIndirectObjects) {
  auto Ref = As<TvxPDFIndirectReference>(Parse("12 0 R"));
  ASSERT_NE(Ref, nullptr);
  EXPECT_EQ(Ref->DocumentID, 7);
  EXPECT_EQ(Ref->ObjectNumber, 12);
  EXPECT_EQ(Ref->Generation, 0);
  // A signed first number still makes a reference (the loader warns about
  // numbers below 1); a real does not.
  EXPECT_EQ(As<TvxPDFIndirectReference>(Parse("-1 0 R"))->ObjectNumber, -1);
  EXPECT_EQ(As<TvxPDFIndirectReference>(Parse("+5 0 R"))->ObjectNumber, 5);
  auto Items = As<TvxPDFArrayObject>(Parse("[-1.5 0 -2 0]"));
  ASSERT_NE(Items, nullptr);
  EXPECT_TRUE(Items->GetItem(0)->IsReal());
  EXPECT_EQ(Items->Count(), 4);  // "-2 0" without "R" stays two numbers

  for (const char* Text : {"12 0 obj << /A 1 >> endobj", "12 3 OBJ<</A 1>>endobj"}) {
    auto Ind = As<TvxPDFIndirectObject>(Parse(Text));
    ASSERT_NE(Ind, nullptr) << Text;
    EXPECT_EQ(Ind->ObjectNumber, 12);
    EXPECT_EQ(FReader->CurrentObjectNumber, 12);
    ASSERT_TRUE(Ind->Value && Ind->Value->IsDict());
    auto* D = static_cast<TvxPDFDictObject*>(Ind->Value.get());
    EXPECT_EQ(D->Count(), 1);
    EXPECT_EQ(static_cast<TvxPDFIntegerObject*>(D->Lookup("/A"))->Value, 1);
  }
  EXPECT_EQ(FReader->CurrentGeneration, 3);
  // "endobj" is left for the caller.
  EXPECT_EQ(FReader->PeekKeyword(), "endobj");
}

TEST_F(ReaderTest, ArraysOfNumbersAndReferences) {
  auto A = As<TvxPDFArrayObject>(Parse("[1 2 3]"));
  ASSERT_NE(A, nullptr);
  ASSERT_EQ(A->Count(), 3);
  EXPECT_EQ(static_cast<TvxPDFIntegerObject*>(A->GetItem(2))->Value, 3);

  auto B = As<TvxPDFArrayObject>(Parse("[1 2 R]"));
  ASSERT_EQ(B->Count(), 1);
  auto* R = static_cast<TvxPDFIndirectReference*>(B->GetItem(0));
  ASSERT_TRUE(R->IsIndirectReference());
  EXPECT_EQ(R->ObjectNumber, 1);
  EXPECT_EQ(R->Generation, 2);

  EXPECT_EQ(As<TvxPDFArrayObject>(Parse("[]"))->Count(), 0);
  EXPECT_EQ(As<TvxPDFArrayObject>(Parse("[ \r\n ]"))->Count(), 0);
  auto Nested = As<TvxPDFArrayObject>(Parse("[[1][/A(b)]<<>>]"));
  ASSERT_EQ(Nested->Count(), 3);
  EXPECT_TRUE(Nested->GetItem(1)->IsArray());
  EXPECT_TRUE(Nested->GetItem(2)->IsDict());
  // The array reader leaves the reader right after "]".
  Over("[1 2] /Next");
  FReader->ParseObject();
  EXPECT_EQ(As<TvxPDFNameObject>(FReader->ParseObject())->Text, "/Next");
}

TEST_F(ReaderTest, NumbersByRange) {
  EXPECT_EQ(As<TvxPDFIntegerObject>(Parse("2147483647"))->Value, 2147483647);
  EXPECT_EQ(As<TvxPDFIntegerObject>(Parse("-2147483648"))->Value, INT32_MIN);
  EXPECT_EQ(As<TvxPDFInt64Object>(Parse("2147483648"))->Value, 2147483648LL);
  EXPECT_EQ(As<TvxPDFIntegerObject>(Parse("+17"))->Value, 17);
  vxtest::ExpectError<Exception>([&] { Parse("12345678901234567890"); },
                                 "'12345678901234567890' is not a valid integer value");
  vxtest::ExpectError<Exception>([&] { Parse("abc"); }, "'abc' is not a valid integer value");

  EXPECT_DOUBLE_EQ(As<TvxPDFRealObject>(Parse("1.5"))->Value, 1.5);
  EXPECT_DOUBLE_EQ(As<TvxPDFRealObject>(Parse("-0.25"))->Value, -0.25);
  EXPECT_DOUBLE_EQ(As<TvxPDFRealObject>(Parse(".5"))->Value, 0.5);
  EXPECT_DOUBLE_EQ(As<TvxPDFRealObject>(Parse("-.002"))->Value, -0.002);
  auto S = As<TvxPDFStringObject>(Parse("1.2.3"));
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(S->Text, "1.2.3");
  EXPECT_FALSE(S->IsHex);
  // A number followed by another number is not a reference.
  Over("1 2 3");
  EXPECT_EQ(As<TvxPDFIntegerObject>(FReader->ParseObject())->Value, 1);
  EXPECT_EQ(As<TvxPDFIntegerObject>(FReader->ParseObject())->Value, 2);
}

TEST_F(ReaderTest, BooleansAndNull) {
  EXPECT_TRUE(As<TvxPDFBooleanObject>(Parse("true"))->Value);
  EXPECT_FALSE(As<TvxPDFBooleanObject>(Parse("false"))->Value);
  EXPECT_TRUE(Parse("null")->IsNull());
  vxtest::ExpectError<EBooleanError>([&] { Parse("trux"); }, "Expected boolean (true) object");
  vxtest::ExpectError<EBooleanError>([&] { Parse("fals"); }, "Expected boolean (false) object");
  vxtest::ExpectError<ENullObjectError>([&] { Parse("nul"); }, "Expected PDF null object");
  for (const char* Closer : {")", ">", "]", "}"}) {
    Over(std::string("  ") + Closer);
    EXPECT_EQ(FReader->ParseObject().get(), nullptr);
    EXPECT_EQ(FReader->Position(), 2) << "closing byte is not consumed";
  }
}

TEST_F(ReaderTest, LiteralStrings) {
  EXPECT_EQ(As<TvxPDFStringObject>(Parse("(a(b)c)"))->Text, "(a(b)c)");
  EXPECT_EQ(As<TvxPDFStringObject>(Parse("(a\\)b)"))->Text, "(a)b)");
  EXPECT_EQ(As<TvxPDFStringObject>(Parse("(\\101\\0053\\q)"))->Text,
            "(A\x05"
            "3\\q)");
  // Line continuation: backslash + end-of-line vanish; after CR LF the LF stays.
  EXPECT_EQ(As<TvxPDFStringObject>(Parse("(ab\\\ncd)"))->Text, "(abcd)");
  EXPECT_EQ(As<TvxPDFStringObject>(Parse("(ab\\\r\ncd)"))->Text, "(ab\ncd)");
  // Raw end-of-line bytes are kept as they are.
  EXPECT_EQ(As<TvxPDFStringObject>(Parse("(a\r\nb)"))->Text, "(a\r\nb)");
  EXPECT_EQ(As<TvxPDFStringObject>(Parse("()"))->GetValue(), "");
  vxtest::ExpectError<EStringReadError>([&] { Over("x").ReadLiteralOrHexString(); },
                                        "Error reading PDF string (x)");
  EXPECT_THROW(Parse("(never closed"), EStringReadError);
  EXPECT_THROW(Parse("(ends in backslash\\"), EStringReadError);
}

TEST_F(ReaderTest, HexStringsKeepTheirText) {
  auto S = As<TvxPDFStringObject>(Parse("<48 65>"));
  EXPECT_EQ(S->Text, "<48 65>");
  EXPECT_TRUE(S->IsHex);
  EXPECT_EQ(As<TvxPDFStringObject>(Parse("<FEFF0041>"))->GetUnicodeValue(), u"A");
  EXPECT_THROW(Parse("<4865"), EStringReadError);
}

TEST_F(ReaderTest, Names) {
  EXPECT_EQ(As<TvxPDFNameObject>(Parse("/Name#20X"))->Text, "/Name#20X");
  Over("/A/B");
  EXPECT_EQ(FReader->ReadName()->Text, "/A");
  EXPECT_EQ(FReader->Position(), 2) << "a non-blank delimiter is given back";
  EXPECT_EQ(FReader->ReadName()->Text, "/B");
  Over("/A x");
  FReader->ReadName();
  EXPECT_EQ(FReader->Position(), 3) << "a blank delimiter is consumed";
  EXPECT_EQ(As<TvxPDFNameObject>(Parse("/ ]"))->Text, "/");
  EXPECT_EQ(As<TvxPDFNameObject>(Parse("/End"))->Text, "/End");
  vxtest::ExpectError<ENameReadError>([&] { Over("A").ReadName(); },
                                      "Error reading PDF name string (A)");
}

TEST_F(ReaderTest, Dictionaries) {
  auto D = As<TvxPDFDictObject>(Parse("<< /A 1 /A 2 /K >>"));
  ASSERT_EQ(D->Count(), 3);
  EXPECT_EQ(static_cast<TvxPDFIntegerObject*>(D->Lookup("/A"))->Value, 1);
  EXPECT_EQ(D->GetKey(2)->Text, "/K");
  EXPECT_EQ(D->GetValue(2), nullptr) << "a key right before >> has no value";
  auto Nested = As<TvxPDFDictObject>(Parse("<</R 3 0 R/S(x)/D<</E[]>>>>"));
  ASSERT_EQ(Nested->Count(), 3);
  EXPECT_TRUE(Nested->Lookup("/R")->IsIndirectReference());
  EXPECT_TRUE(Nested->Lookup("/D")->IsDict());
  vxtest::ExpectError<EDictionaryReadError>([&] { Over("<x").ReadDictionary(); },
                                            "Error reading PDF dictionary (x)");
  EXPECT_THROW(Parse("<< /A 1 "), EDictionaryReadError);
  EXPECT_THROW(Parse("<< 1 2 >>"), ENameReadError);
}

TEST_F(ReaderTest, CommentsAndWhitespace) {
  auto A = As<TvxPDFArrayObject>(Parse("% leading\n[1 % inside\r 2]"));
  ASSERT_EQ(A->Count(), 2);
  Over("  % a comment to the end");
  FReader->SkipWhitespace();
  EXPECT_TRUE(FReader->AtEnd());
  // Form feed is not white space here.
  Over("\f1");
  EXPECT_THROW(FReader->ParseObject(), Exception);
  Over("abc def");
  EXPECT_EQ(FReader->ReadToken(), "abc");
  EXPECT_EQ(FReader->PeekKeyword(), "def");
  EXPECT_EQ(FReader->ReadToken(), "def");
  Over("<<");
  EXPECT_EQ(FReader->ReadToken(), "<") << "the first byte is taken even when it is a delimiter";
}

TEST_F(ReaderTest, TruncatedDataStops) {
  for (const char* Text : {"", "   ", "[1 2", "<< /A [1", "12 0 obj", "12 0 obj <<", "[(a"}) {
    EXPECT_THROW(Parse(Text), Exception) << '"' << Text << '"';
  }
}

TEST_F(ReaderTest, DeepNestingIsRefused) {
  std::string Deep(100000, '[');
  vxtest::ExpectError<ENestingTooDeepError>([&] { Parse(Deep); },
                                            "PDF objects nested too deeply (more than 512 levels)");
  std::string DeepDict;
  for (int I = 0; I < 1000; ++I) DeepDict += "<</A ";
  EXPECT_THROW(Parse(DeepDict), ENestingTooDeepError);
  std::string Headers;
  for (int I = 1; I < 1000; ++I) Headers += std::to_string(I) + " 0 obj ";
  EXPECT_THROW(Parse(Headers), ENestingTooDeepError);
  // Within the limit nesting is fine.
  std::string Ok = std::string(500, '[') + std::string(500, ']');
  EXPECT_NE(Parse(Ok), nullptr);
}

// Reads "N 0 obj << /Length L >> stream ... " and its data.
std::string ReadStream(ReaderTest* Fixture, TvxPDFStreamReader& R, int32_t Length) {
  (void)Fixture;
  auto Obj = R.ParseObject();
  auto* Ind = dynamic_cast<TvxPDFIndirectObject*>(Obj.get());
  EXPECT_NE(Ind, nullptr);
  EXPECT_TRUE(Ind->Value->IsStream());
  auto Data = R.ReadStreamData(Length, Ind->ObjectNumber, Ind->Generation);
  return Data->DataString();
}

TEST_F(ReaderTest, StreamDataWithRightAndWrongLengths) {
  const std::string Head = "5 0 obj << /Length 10 >> stream\r\n";
  const std::string Tail = "endstream\nendobj";
  EXPECT_EQ(ReadStream(this, Over(Head + "0123456789\r\n" + Tail), 10), "0123456789");
  EXPECT_EQ(FReader->PeekKeyword(), "endobj");
  // Too long: the data ends right before "endstream", end-of-line included.
  EXPECT_EQ(ReadStream(this, Over(Head + "0123456789\r\n" + Tail), 20), "0123456789\r\n");
  // Too short: found by searching forward.
  EXPECT_EQ(ReadStream(this, Over(Head + "0123456789abcdefghij" + Tail), 10),
            "0123456789abcdefghij");
  // A hostile length in a small file is handled at once.
  EXPECT_EQ(ReadStream(this, Over(Head + "0123456789\n" + Tail), 2000000000), "0123456789\n");
  // LF alone after "stream"; spaces before the end-of-line are skipped.
  EXPECT_EQ(ReadStream(this, Over("1 0 obj <<>> stream  \nabc\nendstream"), 3), "abc");
  // Empty data.
  EXPECT_EQ(ReadStream(this, Over("1 0 obj <<>> stream\nendstream"), 0), "");
  EXPECT_EQ(ReadStream(this, Over("1 0 obj <<>> stream\nendstream"), 1), "");
  vxtest::ExpectError<EEndStreamError>(
      [&] { ReadStream(this, Over(Head + "0123456789\n" + Tail), 0); }, "Expected PDF endstream");
  vxtest::ExpectError<EEndStreamError>(
      [&] { ReadStream(this, Over(Head + "0123456789 no end"), 10); }, "Expected PDF endstream");
  vxtest::ExpectError<EStreamReadError>([&] { Over("strean\n").ReadStreamData(5, 1, 0); },
                                        "Error reading PDF stream");
  EXPECT_THROW(Parse("1 0 obj [1] stream\nx\nendstream"), EStreamReadError);
}

TEST_F(ReaderTest, StreamKeywordEndsAtAnyDelimiter) {
  // The keyword followed by a comment, a bare CR or a blank and data on the
  // same line still starts a stream; a longer word does not.
  for (const char* Text : {"1 0 obj << /Length 9 >> stream%comment\nendstream",
                           "1 0 obj << /Length 9 >> stream\r72 720 Td\nendstream",
                           "1 0 obj << /Length 9 >>\nstream (Potato) Tj\nendstream"}) {
    SCOPED_TRACE(Text);
    auto* I = As<TvxPDFIndirectObject>(Parse(Text));
    ASSERT_NE(I, nullptr);
    EXPECT_TRUE(I->Value && I->Value->IsStream());
  }
  auto* I = As<TvxPDFIndirectObject>(Parse("1 0 obj << /Length 9 >> streams\nendobj"));
  ASSERT_NE(I, nullptr);
  EXPECT_TRUE(I->Value && I->Value->IsDict());
  EXPECT_EQ(ReadStream(this, Over("1 0 obj <<>> stream%comment\nendstream"), 9), "%comment\n");
}

// Reverses bytes so that decryption is visible.
class TvxReverser : public TvxPDFDecryptor {
 public:
  void DecryptString(std::string& Bytes, int32_t ObjectNumber, int32_t Generation) override {
    Bytes.assign(Bytes.rbegin(), Bytes.rend());
    Seen.push_back(ObjectNumber * 100 + Generation);
  }
  void DecryptStream(TvxMemoryStream& Data, int32_t ObjectNumber, int32_t Generation,
                     TvxPDFDictObject* = nullptr) override {
    DecryptString(Data.DataString(), ObjectNumber, Generation);
  }
  std::vector<int> Seen;
};

TEST_F(ReaderTest, DecryptsStringsAndStreams) {
  auto Shared = std::make_shared<TvxReverser>();
  TvxReverser& Rev = *Shared;
  Over("4 2 obj << /S (abc) /H <616263> /E () >> stream\nxyz\nendstream");
  FReader->Decryptor = Shared;
  auto Obj = FReader->ParseObject();
  auto* Ind = static_cast<TvxPDFIndirectObject*>(Obj.get());
  auto* Stream = static_cast<TvxPDFStreamObject*>(Ind->Value.get());
  auto* S = static_cast<TvxPDFStringObject*>(Stream->Dict->Lookup("/S"));
  auto* H = static_cast<TvxPDFStringObject*>(Stream->Dict->Lookup("/H"));
  EXPECT_EQ(S->Text, "(cba)");
  EXPECT_EQ(H->Text, "(cba)");
  EXPECT_FALSE(H->IsHex) << "a decrypted hex string becomes literal";
  EXPECT_EQ(static_cast<TvxPDFStringObject*>(Stream->Dict->Lookup("/E"))->Text, "()");
  EXPECT_EQ(FReader->ReadStreamData(3, 9, 1)->DataString(), "zyx");
  EXPECT_EQ(Rev.Seen, (std::vector<int>{402, 402, 901}));
}

TEST_F(ReaderTest, FindStartXRef) {
  EXPECT_EQ(Over("%PDF-1.4\n...\nstartxref\n1234\n%%EOF\n").FindStartXRef(), 1234);
  EXPECT_EQ(Over("startxref 1\nSTARTXREF\r\n99\r\n%%EOF").FindStartXRef(), 99);
  EXPECT_EQ(Over("startxref 5 xstartxref 9").FindStartXRef(), 5) << "whole words only";
  vxtest::ExpectError<Exception>([&] { Over("%PDF-1.4 nothing").FindStartXRef(); },
                                 "Invalid PDF File");
  vxtest::ExpectError<EOffsetError>([&] { Over("startxref\n%%EOF").FindStartXRef(); },
                                    "Error reading document. Unable to read offset");
  EXPECT_THROW(Over("startxref 99999999999").FindStartXRef(), EOffsetError);
}

TEST_F(ReaderTest, ReadTrailer) {
  auto& R = Over("xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 1 /Root 1 0 R >>\n");
  auto T = R.ReadTrailer();
  EXPECT_EQ(T->Count(), 2);
  EXPECT_TRUE(T->Lookup("/Root")->IsIndirectReference());
  vxtest::ExpectError<ETrailerError>([&] { Over("xref\n0 0\ntrailor <<>>").ReadTrailer(); },
                                     "Error reading PDF trailer");
  EXPECT_THROW(Over("xref 0 0 ").ReadTrailer(), ETrailerError);
  EXPECT_THROW(Over("trailer [1]").ReadTrailer(), EInvalidCast);
}

TEST_F(ReaderTest, HeaderVersion) {
  EXPECT_EQ(Over("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n").ReadHeaderVersion(), pvPDF17);
  EXPECT_EQ(Over("%PDF-1.0\r").ReadHeaderVersion(), pvPDF10);
  EXPECT_EQ(Over("%PDF-2.0\n").ReadHeaderVersion(), pvPDF20);
  vxtest::ExpectError<EUnsupportedVersion>([&] { Over("%PDF-1.8\n").ReadHeaderVersion(); },
                                           "Unsupported PDF Version (%PDF-1.8)");
  vxtest::ExpectError<EInvalidHeader>([&] { Over("\n%PDF-1.4\n").ReadHeaderVersion(); },
                                      "Invalid PDF Header (\n%PDF-1)");
  vxtest::ExpectError<EInvalidHeader>([&] { Over("%!PS-Adobe").ReadHeaderVersion(); },
                                      "Invalid PDF Header (%!PS-Ad)");
  EXPECT_THROW(Over("%PDF-1.x").ReadHeaderVersion(), EConvertError);
  EXPECT_THROW(Over("").ReadHeaderVersion(), EInvalidHeader);
}

TEST_F(ReaderTest, WorksOverNonMemoryStreams) {
  // A file stream takes the generic path through virtual calls.
  std::string Path = vxtest::TempPath("reader_file_test.pdf");
  {
    TvxFileStream F(Path, fmCreate);
    F.WriteText(
        "%PDF-1.5\n3 0 obj << /K [1 (x) /N] /Length 3 >> stream\nabc\nendstream\nstartxref\n42\n");
  }
  TvxFileStream F(Path, fmOpenRead);
  TvxPDFStreamReader R(1, &F);
  EXPECT_EQ(R.ReadHeaderVersion(), pvPDF15);
  auto Obj = R.ParseObject();
  auto* Ind = static_cast<TvxPDFIndirectObject*>(Obj.get());
  ASSERT_TRUE(Ind->Value->IsStream());
  auto* K = static_cast<TvxPDFArrayObject*>(
      static_cast<TvxPDFStreamObject*>(Ind->Value.get())->Dict->Lookup("/K"));
  EXPECT_EQ(K->Count(), 3);
  EXPECT_EQ(R.ReadStreamData(3, 3, 0)->DataString(), "abc");
  EXPECT_EQ(R.FindStartXRef(), 42);
  std::remove(Path.c_str());
}

}  // namespace

// Containers collect their elements on one shared stack; nesting, and a
// failed read on the same reader, must leave each container exactly its own.
TEST_F(ReaderTest, NestedContainersKeepTheirOwnElements) {
  auto& R = Over("<< /A [1 [2 3] << /B [4] /C << >> >> 5] /D 6 >> [7 << /E [8 9 ] >>]");
  auto* D = As<TvxPDFDictObject>(R.ParseObject());
  ASSERT_EQ(D->Count(), 2);
  EXPECT_EQ(D->GetKey(1)->Text, "/D");
  auto* A = static_cast<TvxPDFArrayObject*>(D->Lookup("/A"));
  ASSERT_EQ(A->Count(), 4);
  EXPECT_EQ(static_cast<TvxPDFArrayObject*>(A->GetItem(1))->Count(), 2);
  auto* Inner = static_cast<TvxPDFDictObject*>(A->GetItem(2));
  ASSERT_EQ(Inner->Count(), 2);
  EXPECT_EQ(static_cast<TvxPDFArrayObject*>(Inner->Lookup("/B"))->Count(), 1);
  EXPECT_EQ(static_cast<TvxPDFDictObject*>(Inner->Lookup("/C"))->Count(), 0);
  EXPECT_EQ(static_cast<TvxPDFIntegerObject*>(A->GetItem(3))->Value, 5);
  auto* Next = As<TvxPDFArrayObject>(R.ParseObject());
  ASSERT_EQ(Next->Count(), 2);
  EXPECT_EQ(static_cast<TvxPDFIntegerObject*>(Next->GetItem(0))->Value, 7);

  // A key that is not a name fails the read deep inside; the next read on
  // the same reader sees none of the failed containers' elements.
  const std::string Bytes = "<< /A [1 2 << /B true 1 >> ] >> [3 4]";
  auto& Failing = Over(Bytes);
  EXPECT_THROW(Failing.ParseObject(), Exception);
  Failing.Seek(static_cast<int64_t>(Bytes.find("[3")), soBeginning);
  auto* Whole = As<TvxPDFArrayObject>(Failing.ParseObject());
  ASSERT_EQ(Whole->Count(), 2);
  EXPECT_EQ(static_cast<TvxPDFIntegerObject*>(Whole->GetItem(0))->Value, 3);
}
