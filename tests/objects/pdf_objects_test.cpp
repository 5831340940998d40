#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxRandom.h"
#include "pdf/objects/vxUtils.h"
#include "support/expect_error.h"

using namespace vx;
using vxtest::ExpectError;

namespace {

// A value that counts its destructions, to see who frees what.
class TrackedObject : public TvxPDFNullObject {
 public:
  explicit TrackedObject(int& Counter) : FCounter(Counter) {}
  ~TrackedObject() override { ++FCounter; }

 private:
  int& FCounter;
};

TvxPDFObjectPtr Int(int32_t N) {
  return std::make_unique<TvxPDFIntegerObject>(N);
}

int32_t IntAt(const TvxPDFObject* Obj) {
  EXPECT_TRUE(Obj && Obj->IsInteger());
  return Obj && Obj->IsInteger() ? static_cast<const TvxPDFIntegerObject*>(Obj)->Value : -999;
}

std::vector<int32_t> Ints(const TvxPDFArrayObject& A) {
  std::vector<int32_t> R;
  for (int32_t I = 0; I < A.Count(); ++I) R.push_back(IntAt(A.GetItem(I)));
  return R;
}

std::string KeysOf(const TvxPDFDictObject& D) {
  std::string R;
  for (int32_t I = 0; I < D.Count(); ++I) R += D.GetKey(I)->Text;
  return R;
}

}  // namespace

TEST(PDFObjects, ScalarText) {
  EXPECT_EQ(TvxPDFBooleanObject(true).AsText(), "true");
  EXPECT_EQ(TvxPDFIntegerObject(INT32_MIN).AsText(), "-2147483648");
  EXPECT_EQ(TvxPDFInt64Object(-9000000000LL).AsText(), "-9000000000");
  EXPECT_EQ(TvxPDFRealObject(1.0 / 3).AsText(), "0.3333333333");
  EXPECT_EQ(TvxPDFRealObject(-2.5).AsText(), "-2.5000000000");
  EXPECT_EQ(TvxPDFRealObject(612).AsText(), "612.0000000000");
  // Ten significant digits, then zeros: never the double's binary tail.
  EXPECT_EQ(TvxPDFRealObject(1234567.891234).AsText(), "1234567.8910000000");
  EXPECT_EQ(TvxPDFRealObject(9.99999999996).AsText(), "10.0000000000");
  EXPECT_EQ(TvxPDFRealObject(1234567890.0).AsText(), "1234567890.0000000000");
  EXPECT_EQ(TvxPDFRealObject(-1e-12).AsText(), "0.0000000000");  // no "-0"
  // More than ten digits before the point: written out, as PDF has no
  // exponent form, and read back to the rounded value.
  std::string Big = TvxPDFRealObject(12345678901.0).AsText();
  EXPECT_EQ(Big, "12345678900.0000000000");
  EXPECT_EQ(TextToFloatDot(Big), 12345678900.0);
}

TEST(PDFObjects, StringAndNameValues) {
  EXPECT_EQ(TvxPDFStringObject("()").GetValue(), "");
  TvxPDFStringObject Hex("<FEFF0041>", true);
  EXPECT_EQ(Hex.GetValue(), "FEFF0041");
  EXPECT_EQ(Hex.GetUnicodeValue(), u"A");
  EXPECT_EQ(TvxPDFStringObject("<48 65 6C>", true).GetUnicodeValue(), u"Hel");
  // A literal string goes through the ANSI code page and is never read as UTF-16.
  EXPECT_EQ(TvxPDFStringObject("(\x80\xE9)").GetUnicodeValue(), u"\u20AC\u00E9");
  EXPECT_EQ(TvxPDFStringObject(std::string("(\xFE\xFF\0A)", 6)).GetUnicodeValue(),
            std::u16string(u"\u00FE\u00FF\0A", 4));
  EXPECT_EQ(TvxPDFNameObject("/Type").GetName(), "Type");
  EXPECT_EQ(TvxPDFNameObject("/A#20B").GetName(), "A#20B");
}

TEST(PDFObjects, ArrayEditingAndOwnership) {
  TvxPDFArrayObject A;
  EXPECT_EQ(A.Add(Int(10)), 0);
  EXPECT_EQ(A.AddInteger(30), 1);
  A.Insert(1, Int(20));
  A.Insert(3, Int(40));  // at Count: appends
  A.Insert(0, Int(0));
  EXPECT_EQ(Ints(A), (std::vector<int32_t>{0, 10, 20, 30, 40}));
  EXPECT_EQ(A.GetItem(-1), nullptr);
  EXPECT_EQ(A.GetItem(5), nullptr);
  int Freed = 0;
  A.Add(std::make_unique<TrackedObject>(Freed));
  A.Delete(5);
  EXPECT_EQ(Freed, 1);
  // PutItem hands the old element back instead of freeing it.
  A.Add(std::make_unique<TrackedObject>(Freed));
  TvxPDFObjectPtr Old = A.PutItem(5, Int(50));
  EXPECT_EQ(Freed, 1);
  Old.reset();
  EXPECT_EQ(Freed, 2);

  ExpectError<EListError>([&] { A.Insert(7, Int(1)); }, "List index out of bounds (7)");
  ExpectError<EListError>([&] { A.Delete(-1); }, "List index out of bounds (-1)");
  ExpectError<EListError>([&] { (void)A.PutItem(6, Int(1)); }, "List index out of bounds (6)");
  EXPECT_EQ(Ints(A), (std::vector<int32_t>{0, 10, 20, 30, 40, 50}));
}

// << /A 1 /A 2 >>: duplicates are kept in order and the first one wins.
TEST(PDFObjects, DictionaryDuplicateKeys) {
  TvxPDFDictObject D;
  D.AddInteger("/A", 1);
  D.AddInteger("/A", 2);
  D.AddName("/Type", "/Page");
  ASSERT_EQ(D.Count(), 3);
  EXPECT_EQ(IntAt(D.Lookup("/A")), 1);
  EXPECT_EQ(D.IndexOf("/Type"), 2);
  EXPECT_EQ(D.Lookup("Type"), nullptr);
  EXPECT_EQ(D.IndexOf("/type"), -1);
  int Freed = 0;
  D.SetValue("/A", std::make_unique<TrackedObject>(Freed));
  TvxPDFNameObject* FirstKey = D.GetKey(0);
  D.SetValue("/A", Int(3));  // frees the old value, keeps key and position
  EXPECT_EQ(Freed, 1);
  EXPECT_EQ(D.GetKey(0), FirstKey);
  EXPECT_EQ(IntAt(D.GetValue(0)), 3);
  EXPECT_EQ(IntAt(D.GetValue(1)), 2);
  auto Copy = D.CloneDict();
  D.Remove("/A");
  ASSERT_EQ(D.Count(), 2);
  EXPECT_EQ(IntAt(D.Lookup("/A")), 2);
  EXPECT_EQ(KeysOf(*Copy), "/A/A/Type");
}

TEST(PDFObjects, DictionarySettersAndMerge) {
  TvxPDFDictObject D;
  D.AddName("/Empty", "");
  D.AddReal("/R", 1.5);
  D.AddInt64("/Big", 1LL << 40);
  D.SetName("/N", "/X");
  D.SetBoolean("/B", true);
  D.SetInteger("/I", 7);
  D.SetValue(TvxPDFNameObject("/I"), Int(8));
  EXPECT_EQ(KeysOf(D), "/R/Big/N/B/I");
  // PutValueAt hands the old value back; past the end nothing changes.
  EXPECT_EQ(IntAt(D.PutValueAt(4, Int(9)).get()), 8);
  ExpectError<EInvalidIndex>([&] { (void)D.PutValueAt(5, Int(0)); }, "Index Out Of Bounds!");
  ExpectError<EInvalidIndex>([&] { (void)D.PutValueAt(-1, Int(0)); }, "Index Out Of Bounds!");
  EXPECT_EQ(D.Count(), 5);
  ExpectError<EListError>([&] { D.DeleteAt(5); }, "List index out of bounds (5)");
  D.DeleteAt(0);
  TvxPDFDictObject Other;
  Other.AddInteger("/I", 100);
  Other.AddInteger("/New", 5);
  Other.Add("/Nil", nullptr);
  D.Merge(&Other);
  D.Merge(nullptr);
  EXPECT_EQ(KeysOf(D), "/Big/N/B/I/New/Nil");
  EXPECT_EQ(IntAt(D.Lookup("/I")), 100);
  // Merged values are copies.
  static_cast<TvxPDFIntegerObject*>(Other.Lookup("/New"))->Value = 6;
  EXPECT_EQ(IntAt(D.Lookup("/New")), 5);
}

TEST(PDFObjects, CloneIsDeepAndIndependent) {
  auto Inner = std::make_unique<TvxPDFDictObject>();
  Inner->AddInteger("/K", 1);
  Inner->AddInteger("/K", 2);
  Inner->Add("/Nil", nullptr);
  TvxPDFArrayObject Src;
  Src.Add(std::move(Inner));
  Src.Add(std::make_unique<TvxPDFStringObject>("<41>", true));
  Src.Add(std::make_unique<TvxPDFIndirectReference>(3, 4, 5));
  Src.Add(nullptr);

  auto Copy = Src.Clone();
  auto& A = static_cast<TvxPDFArrayObject&>(*Copy);
  ASSERT_EQ(A.Count(), 4);
  auto* D = static_cast<TvxPDFDictObject*>(A.GetItem(0));
  EXPECT_EQ(KeysOf(*D), "/K/K/Nil");
  EXPECT_EQ(IntAt(D->GetValue(1)), 2);
  EXPECT_EQ(D->GetValue(2), nullptr);
  auto* S = static_cast<TvxPDFStringObject*>(A.GetItem(1));
  EXPECT_TRUE(S->IsHex);
  S->Text = "()";
  D->SetInteger("/K", 99);
  EXPECT_EQ(IntAt(static_cast<TvxPDFDictObject*>(Src.GetItem(0))->GetValue(0)), 1);
  EXPECT_EQ(static_cast<TvxPDFStringObject*>(Src.GetItem(1))->Text, "<41>");
  auto* R = static_cast<TvxPDFIndirectReference*>(A.GetItem(2));
  EXPECT_EQ(std::tie(R->DocumentID, R->ObjectNumber, R->Generation),
            std::make_tuple(3, 4, uint16_t{5}));
  EXPECT_EQ(A.GetItem(3), nullptr);

  TvxPDFIndirectObject Obj(1, 2, 3, true, std::make_unique<TvxPDFRealObject>(2.5));
  EXPECT_EQ(Obj.UseCount, 1);  // marked once by the constructor
  Obj.OutputNumber = 17;
  Obj.MarkUsed();
  auto ObjCopy = Obj.Clone();
  auto& O = static_cast<TvxPDFIndirectObject&>(*ObjCopy);
  EXPECT_EQ(std::tie(O.DocumentID, O.ObjectNumber, O.Generation, O.OutputNumber, O.UseCount),
            std::make_tuple(1, 2, uint16_t{3}, 17, 2));
  EXPECT_TRUE(O.Value && O.Value.get() != Obj.Value.get());
  auto Ref = MakeReference(O);
  EXPECT_EQ(std::tie(Ref->DocumentID, Ref->ObjectNumber, Ref->Generation),
            std::make_tuple(1, 2, uint16_t{3}));
}

TEST(PDFObjects, StreamClone) {
  auto Dict = std::make_unique<TvxPDFDictObject>();
  Dict->AddInteger("/Length", 5);
  auto Data = std::make_unique<TvxMemoryStream>(std::string("ab\0cd", 5));
  Data->FPosition = 3;  // the copy must not start here
  TvxPDFStreamObject Src(std::move(Dict), std::move(Data));

  auto Copy = Src.Clone();
  auto& C = static_cast<TvxPDFStreamObject&>(*Copy);
  ASSERT_NE(C.Data, nullptr);
  EXPECT_EQ(C.Data->DataString(), std::string("ab\0cd", 5));
  EXPECT_NE(C.Data.get(), Src.Data.get());
  EXPECT_EQ(C.Data->FPosition, 5);
  EXPECT_EQ(Src.Data->FPosition, 0);
  EXPECT_EQ(IntAt(C.Dict->Lookup("/Length")), 5);
  TvxPDFStreamObject NoData(std::make_unique<TvxPDFDictObject>());
  EXPECT_EQ(static_cast<TvxPDFStreamObject&>(*NoData.Clone()).Data, nullptr);
  TvxPDFStreamObject NoDict(nullptr);
  ExpectError<EInvalidCast>([&] { NoDict.Clone(); }, "Invalid class typecast");
}

TEST(PDFObjects, NumberValuesAndRectangles) {
  TvxPDFArrayObject Box;
  Box.AddInteger(0);
  Box.Add(std::make_unique<TvxPDFRealObject>(-10.5));
  Box.AddInteger(612);
  Box.Add(std::make_unique<TvxPDFRealObject>(792.25));
  TvxPDFRect Rect = ArrayToRect(&Box);
  EXPECT_EQ(std::tie(Rect.Left, Rect.Bottom, Rect.Right, Rect.Top),
            std::make_tuple(0.0, -10.5, 612.0, 792.25));

  const char* Msg = "Unexpected PDF object encountered";
  TvxPDFInt64Object Big(5);
  TvxPDFNameObject Name("/N");
  for (const TvxPDFObject* Bad : std::initializer_list<const TvxPDFObject*>{&Big, &Name, nullptr})
    ExpectError<EUnexpectedObjectError>([&] { GetNumberValue(Bad); }, Msg);
  Box.Delete(3);
  ExpectError<EUnexpectedObjectError>([&] { ArrayToRect(&Box); }, Msg);
  ExpectError<EUnexpectedObjectError>([&] { ArrayToRect(nullptr); }, Msg);
}

TEST(PDFObjects, FreshResourceNames) {
  std::set<std::string> Seen;
  for (int K = 0; K < 50; ++K) {
    std::string Name = RandomResourceName(FontResourcePrefix);
    std::string Digits = Name.substr(7);
    ASSERT_EQ(Name.substr(0, 7), "/ZRBFnt");
    ASSERT_EQ(Digits.find_first_not_of("0123456789"), std::string::npos) << Name;
    EXPECT_LE(std::stoll(Digits), 2147483646LL);
    Seen.insert(Digits);
  }
  EXPECT_GT(Seen.size(), 45u);  // a different draw per call
}
