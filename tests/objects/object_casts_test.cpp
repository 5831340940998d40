#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "pdf/objects/vxObjectCasts.h"
#include "support/expect_error.h"

using namespace vx;
using vxtest::ExpectError;

namespace {

// One value of every kind, in the order of TvxPDFObjectType.
std::vector<TvxPDFObjectPtr> OneOfEachKind() {
  std::vector<TvxPDFObjectPtr> V;
  V.push_back(std::make_unique<TvxPDFBooleanObject>(true));
  V.push_back(std::make_unique<TvxPDFIntegerObject>(1));
  V.push_back(std::make_unique<TvxPDFInt64Object>(int64_t{1} << 40));
  V.push_back(std::make_unique<TvxPDFRealObject>(1.5));
  V.push_back(std::make_unique<TvxPDFStringObject>("(a)"));
  V.push_back(std::make_unique<TvxPDFNameObject>("/A"));
  V.push_back(std::make_unique<TvxPDFArrayObject>());
  V.push_back(std::make_unique<TvxPDFDictObject>());
  V.push_back(std::make_unique<TvxPDFStreamObject>(std::make_unique<TvxPDFDictObject>()));
  V.push_back(std::make_unique<TvxPDFNullObject>());
  V.push_back(std::make_unique<TvxPDFIndirectReference>(0, 5, 0));
  V.push_back(std::make_unique<TvxPDFIndirectObject>(0, 5, 0, nullptr));
  return V;
}

// For each value, whether ObjectAs<T> sees it, mutable and const alike.
template <class T>
std::vector<bool> Seen(const std::vector<TvxPDFObjectPtr>& Values) {
  std::vector<bool> R;
  for (const auto& V : Values) {
    T* P = ObjectAs<T>(V.get());
    const T* C = ObjectAs<T>(static_cast<const TvxPDFObject*>(V.get()));
    EXPECT_EQ(P, C);
    EXPECT_TRUE(!P || static_cast<TvxPDFObject*>(P) == V.get());
    R.push_back(P != nullptr);
  }
  return R;
}

std::vector<bool> Only(size_t Index) {
  std::vector<bool> R(12, false);
  R[Index] = true;
  return R;
}

}  // namespace

TEST(ObjectCasts, EachClassAnswersForItsOwnKindOnly) {
  const auto Values = OneOfEachKind();
  EXPECT_EQ(Seen<TvxPDFBooleanObject>(Values), Only(otBoolean));
  EXPECT_EQ(Seen<TvxPDFIntegerObject>(Values), Only(otInteger));
  EXPECT_EQ(Seen<TvxPDFInt64Object>(Values), Only(otInt64));
  EXPECT_EQ(Seen<TvxPDFRealObject>(Values), Only(otReal));
  EXPECT_EQ(Seen<TvxPDFStringObject>(Values), Only(otString));
  EXPECT_EQ(Seen<TvxPDFNameObject>(Values), Only(otName));
  EXPECT_EQ(Seen<TvxPDFArrayObject>(Values), Only(otArray));
  EXPECT_EQ(Seen<TvxPDFDictObject>(Values), Only(otDict));
  EXPECT_EQ(Seen<TvxPDFStreamObject>(Values), Only(otStream));
  EXPECT_EQ(Seen<TvxPDFNullObject>(Values), Only(otNull));
  EXPECT_EQ(Seen<TvxPDFIndirectReference>(Values), Only(otIndirectReference));
  EXPECT_EQ(Seen<TvxPDFIndirectObject>(Values), Only(otIndirectObject));
  EXPECT_EQ(ObjectAs<TvxPDFDictObject>(static_cast<TvxPDFObject*>(nullptr)), nullptr);
}

TEST(ObjectCasts, CheckedCastRaisesForNilAndOtherKinds) {
  // Values as the engine holds them, in the pool.
  TvxPDFObjectPtr N = std::make_unique<TvxPDFIntegerObject>(7);
  EXPECT_EQ(&ObjectCast<TvxPDFIntegerObject>(N.get()), N.get());
  TvxPDFObjectPtr Wide = std::make_unique<TvxPDFInt64Object>(7);
  ExpectError<EInvalidCast>([&] { ObjectCast<TvxPDFIntegerObject>(Wide.get()); },
                            "Invalid class typecast");
  ExpectError<EInvalidCast>(
      [] { ObjectCast<TvxPDFDictObject>(static_cast<const TvxPDFObject*>(nullptr)); },
      "Invalid class typecast");
  // A reference is required, not merely assumed.
  TvxPDFObjectPtr R = std::make_unique<TvxPDFIndirectReference>(1, 9, 2);
  EXPECT_EQ(&AsReference(R.get()), R.get());
  ExpectError<EInvalidCast>([&] { AsReference(N.get()); }, "Invalid class typecast");
  EXPECT_EQ(ReferenceNumber(R.get()), 9);
  EXPECT_EQ(ReferenceNumber(N.get()), 0);

  EXPECT_EQ(ReferenceNumber(nullptr), 0);
}

TEST(ObjectCasts, TakeMovesOnlyTheRightKind) {
  TvxPDFObjectPtr P = std::make_unique<TvxPDFNameObject>("/X");
  TvxPDFObject* Raw = P.get();
  EXPECT_EQ(ObjectTake<TvxPDFDictObject>(P), nullptr);
  EXPECT_EQ(P.get(), Raw);  // another kind stays where it was
  std::unique_ptr<TvxPDFNameObject> Name = ObjectTake<TvxPDFNameObject>(P);
  EXPECT_EQ(Name.get(), Raw);
  EXPECT_EQ(P, nullptr);
  EXPECT_EQ(ObjectTake<TvxPDFNameObject>(P), nullptr);
}

TEST(ObjectCasts, CloneArrayIsDeepAndIndependent) {
  TvxPDFArrayObject A;
  A.AddInteger(1);
  A.Add(nullptr);
  auto Inner = std::make_unique<TvxPDFArrayObject>();
  Inner->AddInteger(2);
  A.Add(std::move(Inner));
  std::unique_ptr<TvxPDFArrayObject> C = A.CloneArray();
  ASSERT_EQ(C->Count(), 3);
  EXPECT_EQ(ObjectCast<TvxPDFIntegerObject>(C->GetItem(0)).Value, 1);
  EXPECT_EQ(C->GetItem(1), nullptr);

  auto& Copy = ObjectCast<TvxPDFArrayObject>(C->GetItem(2));
  EXPECT_NE(&Copy, A.GetItem(2));
  ObjectCast<TvxPDFIntegerObject>(Copy.GetItem(0)).Value = 3;
  EXPECT_EQ(
      ObjectCast<TvxPDFIntegerObject>(ObjectCast<TvxPDFArrayObject>(A.GetItem(2)).GetItem(0)).Value,
      2);
}
