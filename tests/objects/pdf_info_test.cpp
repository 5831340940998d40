#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pdf/objects/vxPDFInfo.h"

using namespace vx;

namespace {

// Stands in for the document's encryption: XOR is enough to see which bytes
// went through it, and 0x29 turns 00 into ")" and a blank into TAB, both of
// which must then be escaped.
class XorEncryption : public TvxTextEncryption {
 public:
  bool Enabled = true;
  int Calls = 0;
  int32_t LastObjNum = -1;
  bool EncryptionEnabled() const override { return Enabled; }
  std::string EncryptData(std::string_view Data, int32_t ObjNum) override {
    ++Calls;
    LastObjNum = ObjNum;
    std::string Out(Data);
    for (char& C : Out) C = static_cast<char>(C ^ 0x29);
    return Out;
  }
};

std::string Bytes(const char* Data, size_t Size) {
  return std::string(Data, Size);
}

// The stored text of an entry that the setters made.
std::string NameText(const TvxPDFInfo& Info, std::string_view Key) {
  const TvxPDFObject* V = Info.Dict().Lookup(Key);
  if (!V || !V->IsName()) return "<not a name>";
  return static_cast<const TvxPDFNameObject*>(V)->Text;
}

std::unique_ptr<TvxPDFDictObject> InfoWith(std::string_view Key, TvxPDFObjectPtr Value) {
  auto D = std::make_unique<TvxPDFDictObject>();
  D->Add(Key, std::move(Value));
  return D;
}

std::unique_ptr<TvxPDFStringObject> Literal(std::string Value) {
  return std::make_unique<TvxPDFStringObject>("(" + Value + ")");
}

std::unique_ptr<TvxPDFStringObject> Hex(std::string Digits) {
  return std::make_unique<TvxPDFStringObject>("<" + Digits + ">", true);
}

}  // namespace

TEST(PDFInfo, SetterStoresUtf16AsNameObjectAndGetterReturnsTheValue) {
  TvxPDFInfo Info;
  Info.SetTitle(u"AB");
  EXPECT_EQ(NameText(Info, "/Title"), Bytes("(\xFE\xFF\0A\0B)", 8));
  EXPECT_EQ(Info.GetTitle(), u"AB");
  Info.SetTitle(u"C");
  EXPECT_EQ(NameText(Info, "/Title"), Bytes("(\xFE\xFF\0C)", 6));

  const struct {
    const char* Key;
    void (TvxPDFInfo::*Set)(std::u16string_view);
    std::u16string (TvxPDFInfo::*Get)() const;
  } Fields[] = {{"/Author", &TvxPDFInfo::SetAuthor, &TvxPDFInfo::GetAuthor},
                {"/Subject", &TvxPDFInfo::SetSubject, &TvxPDFInfo::GetSubject},
                {"/Keywords", &TvxPDFInfo::SetKeywords, &TvxPDFInfo::GetKeywords},
                {"/Creator", &TvxPDFInfo::SetCreator, &TvxPDFInfo::GetCreator},
                {"/Producer", &TvxPDFInfo::SetProducer, &TvxPDFInfo::GetProducer}};
  for (const auto& F : Fields) {
    (Info.*F.Set)(u"D");
    EXPECT_EQ(NameText(Info, F.Key), Bytes("(\xFE\xFF\0D)", 6));
    EXPECT_EQ((Info.*F.Get)(), u"D");
  }
  EXPECT_EQ(Info.Dict().Count(), 6);
  EXPECT_EQ(Info.GetTitle(), u"C");
}

TEST(PDFInfo, EncodedTextIsEscapedLosslessly) {
  // TAB is escaped, not expanded to blanks: 00 09 must stay two bytes.
  EXPECT_EQ(EncodeTextString(u"a\tb", InfoObjectNumber), Bytes("\xFE\xFF\0a\0\\t\0b", 9));
  EXPECT_EQ(EncodeTextString(u"(\\)", InfoObjectNumber), Bytes("\xFE\xFF\0\\(\0\\\\\0\\)", 11));

  // Code units whose bytes are TAB, CR LF, backslash + escape letter or ".".
  const std::u16string Values[] = {u"\u0928\u0909 \u0D0A\u0A0D",
                                   u"\u5C6E\u5C30\u6E5C",
                                   u"\u2E2E.\u2E00",
                                   u"\U0001F600",
                                   u"",
                                   u"plain text"};
  for (const std::u16string& V : Values) {
    std::string Body = EncodeTextString(V, InfoObjectNumber);
    EXPECT_EQ(Body.find_first_of("\t\r\n"), std::string::npos);
    EXPECT_EQ(DecodeTextString("(" + Body + ")"), V);
  }
}

TEST(PDFInfo, EncryptionHookEncryptsUnderObjectTwoAndReencodesOnRequest) {
  XorEncryption Enc;
  Enc.Enabled = false;
  TvxPDFInfo Info;
  Info.AssignDictionary(InfoWith("/Author", Literal("Ann")));
  Info.SetEncryption(&Enc);
  Info.SetModDate("D:2");
  EXPECT_EQ(NameText(Info, "/ModDate"), Bytes("(\xFE\xFF\0D\0:\0"
                                              "2)",
                                              10));
  EXPECT_EQ(Enc.Calls, 0);

  Enc.Enabled = true;
  Info.SetTitle(u"A B");
  // FE FF 00 41 00 20 00 42 XOR 0x29, then escaped.
  EXPECT_EQ(NameText(Info, "/Title"), "(\xD7\xD6\\)h\\)\\t\\)k)");
  EXPECT_EQ(Enc.LastObjNum, 2);
  EXPECT_EQ(Info.GetTitle(), u"A B");

  // The date set before encryption was switched on is caught up with.
  Info.ReencodeSetValues();
  EXPECT_EQ(NameText(Info, "/ModDate"), "(\xD7\xD6\\)m\\)\x13\\)\x1B)");
  EXPECT_EQ(Info.GetModDate(), "D:2");
  // Loaded strings stay strings: the writer encrypts those itself.
  EXPECT_TRUE(Info.Dict().Lookup("/Author")->IsString());
  EXPECT_EQ(Info.Dict().Count(), 3);
}

TEST(PDFInfo, GettersReadLoadedStrings) {
  struct Case {
    TvxPDFObjectPtr Value;
    std::u16string Expected;
  };
  std::string LongDigits = "FEFF";
  std::u16string LongText;
  for (int I = 0; I < 300; ++I) {
    LongDigits += "0041";
    LongText += u'A';
  }
  Case Cases[] = {
      {Literal(Bytes("\xFE\xFF\0H\0i", 6)), u"Hi"},
      {Hex("FEFF00480069"), u"Hi"},
      {Hex("fe ff 0048 0069"), u"Hi"},
      {Hex(LongDigits), LongText},
      {Literal("Caf\xE9 \x80"), u"Caf\u00E9 \u20AC"},
      {Hex("48656C6C6F"), u"Hello"},
      // Already unescaped by the reader: 5C 6E is one character, not "\n".
      {Literal(Bytes("\xFE\xFF\x5C\x6E\x5C\x30", 6)), u"\u5C6E\u5C30"},
      {Literal(""), u""},
      {std::make_unique<TvxPDFIntegerObject>(5), u""},
      {std::make_unique<TvxPDFNameObject>("/Hi"), u""},
      {std::make_unique<TvxPDFIndirectReference>(1, 4, 0), u""},
  };
  for (Case& C : Cases) {
    TvxPDFInfo Info;
    Info.AssignDictionary(InfoWith("/Subject", std::move(C.Value)));
    EXPECT_EQ(Info.GetSubject(), C.Expected);
    EXPECT_EQ(Info.GetTitle(), u"");
  }
}

TEST(PDFInfo, DatesAreEightBitText) {
  TvxPDFInfo Info;
  Info.SetCreationDate("D:20240102030405+01'00'");
  EXPECT_EQ(Info.GetCreationDate(), "D:20240102030405+01'00'");
  EXPECT_EQ(NameText(Info, "/CreationDate").substr(0, 7), Bytes("(\xFE\xFF\0D\0:", 7));
  EXPECT_EQ(Info.GetModDate(), "");

  struct Case {
    TvxPDFObjectPtr Value;
    std::string Expected;
  } Cases[] = {
      {Literal("D:2023"), "D:2023"},
      {Hex("443A32303233"), "D:2023"},
      // The form the setter writes comes back as its characters.
      {Literal(Bytes("\xFE\xFF\0D\0:\0"
                     "2",
                     8)),
       "D:2"},
      {std::make_unique<TvxPDFRealObject>(2023), ""},
  };
  for (Case& C : Cases) {
    TvxPDFInfo Loaded;
    Loaded.AssignDictionary(InfoWith("/ModDate", std::move(C.Value)));
    EXPECT_EQ(Loaded.GetModDate(), C.Expected);
  }
}

TEST(PDFInfo, AssignDictionaryReplacesDictionaryButKeepsSetValues) {
  TvxPDFInfo Info;
  Info.SetTitle(u"Old");
  Info.SetCreationDate("D:1999");
  Info.AssignDictionary(InfoWith("/Title", Literal("New")));
  EXPECT_EQ(Info.Dict().Count(), 1);
  EXPECT_EQ(Info.GetTitle(), u"Old");
  EXPECT_EQ(Info.GetCreationDate(), "D:1999");
  // A value never set is read from the new dictionary.
  Info.AssignDictionary(InfoWith("/Author", Literal("Ann")));
  EXPECT_EQ(Info.GetAuthor(), u"Ann");

  Info.AssignDictionary(nullptr);
  EXPECT_EQ(Info.Dict().Count(), 0);
  EXPECT_EQ(Info.GetTitle(), u"Old");
}

TEST(PDFInfo, SettingARepeatedKeyLeavesOneEntry) {
  auto D = InfoWith("/Title", Literal("First"));
  D->Add("/Author", Literal("Ann"));
  D->Add("/Title", Literal("Second"));
  TvxPDFInfo Info;
  Info.AssignDictionary(std::move(D));
  Info.SetTitle(u"T");
  ASSERT_EQ(Info.Dict().Count(), 2);
  EXPECT_EQ(Info.Dict().GetKey(0)->Text, "/Title");
  EXPECT_EQ(Info.Dict().GetKey(1)->Text, "/Author");
  EXPECT_EQ(NameText(Info, "/Title"), Bytes("(\xFE\xFF\0T)", 6));
}

TEST(PDFInfo, DecodeTextStringReadsFileSyntax) {
  for (const char* Empty : {"", "()", "<>", "(\\376\\377)"})
    EXPECT_EQ(DecodeTextString(Empty), u"") << Empty;
  EXPECT_EQ(DecodeTextString("(\\376\\377\\000A\\000\\(\\000\\\\)"), u"A(\\");
  EXPECT_EQ(DecodeTextString("<FEFF0041>"), u"A");
  EXPECT_EQ(DecodeTextString("feff 0041 0042"), u"AB");
  EXPECT_EQ(DecodeTextString("(Caf\\351)"), u"Caf\u00E9");
  // No byte-order mark but a NUL first: UTF-16, a "." between pairs skipped;
  // still one unit per two bytes, the unit the "." took being U+0000.
  EXPECT_EQ(DecodeTextString(Bytes("\0A.\0B", 5)), u"AB");
  EXPECT_EQ(DecodeTextString(Bytes("\0A.\0B.", 6)), std::u16string(u"AB\0", 3));
  // With a byte-order mark every pair is a code unit, 0x2E high bytes too.
  EXPECT_EQ(DecodeTextString(Bytes("\xFE\xFF\x2E\x80\0A", 6)), u"\u2E80A");
  // A leading blank or line end is ordinary text, not UTF-16.
  EXPECT_EQ(DecodeTextString("( Hello)"), u" Hello");
  EXPECT_EQ(DecodeTextString("(\\nHi)"), u"\nHi");
}
