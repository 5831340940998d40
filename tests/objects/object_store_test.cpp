#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "pdf/objects/vxPDFObjectStore.h"
#include "support/expect_error.h"

using namespace vx;
using vxtest::ExpectError;

namespace {

std::unique_ptr<TvxPDFIndirectObject> Obj(int32_t Doc, int32_t Num, uint16_t Gen,
                                          TvxPDFObjectPtr Value = nullptr) {
  return std::make_unique<TvxPDFIndirectObject>(Doc, Num, Gen, std::move(Value));
}

TvxPDFObjectPtr Int(int32_t N) {
  return std::make_unique<TvxPDFIntegerObject>(N);
}
TvxPDFObjectPtr Ref(int32_t Doc, int32_t Num, uint16_t Gen = 0) {
  return std::make_unique<TvxPDFIndirectReference>(Doc, Num, Gen);
}

// Records the order in which stored values are destroyed.
class OrderedValue : public TvxPDFNullObject {
 public:
  OrderedValue(std::vector<int>& Log, int Id) : FLog(Log), FId(Id) {}
  ~OrderedValue() override { FLog.push_back(FId); }

 private:
  std::vector<int>& FLog;
  int FId;
};

const char* const Unexpected = "Unexpected PDF object encountered";

}  // namespace

TEST(ObjectStore, MakeUniqueID) {
  EXPECT_EQ(MakeUniqueID(1, 12, 0), 1120);
  EXPECT_EQ(MakeUniqueID(11, 2, 0), 1120);
  EXPECT_EQ(MakeUniqueID(1, 5, 65535), 1565535);
  EXPECT_EQ(MakeUniqueID(0, 0, 0), 0);
  EXPECT_EQ(MakeUniqueID(1, 0, 0), 100);
  // Beyond 32 bits only the low 32 bits are kept.
  EXPECT_EQ(MakeUniqueID(12, 12345678, 0), -761445108);  // 12123456780 - 3 * 2^32
}

TEST(ObjectList, GrowthAddInsertAndErrors) {
  TvxObjectList L;
  TvxPDFNullObject A, B;
  std::vector<int32_t> Capacities;
  for (int32_t I = 0; I < 95; ++I) {
    EXPECT_EQ(L.Add(I * 10, &A), I);
    if (Capacities.empty() || Capacities.back() != L.Capacity()) Capacities.push_back(L.Capacity());
  }
  EXPECT_EQ(Capacities, (std::vector<int32_t>{4, 8, 12, 28, 44, 60, 76, 95}));
  L.Clear();
  EXPECT_EQ(L.Capacity(), 0);

  L.Add(7, &A);
  L.Add(9, &A);
  L.Insert(1, 7, &B);
  L.Insert(3, 1, &B);  // at Count: appends
  EXPECT_EQ(L.GetItem(1), &B);
  EXPECT_EQ(L.GetUniqueID(3), 1);
  EXPECT_EQ(L.IndexOf(7), 0);  // the first of two

  ExpectError<Exception>([&] { L.GetItem(4); }, "List index out of bounds (4)");
  ExpectError<Exception>([&] { L.Insert(6, 1, &A); }, "List index out of bounds (6)");
  ExpectError<EInvalidID>([&] { L.Add(-5, &A); }, "Invalid unique ID (-5)");
  EXPECT_EQ(L.Count(), 4);
}

TEST(ObjectStore, AddFindAndOwnership) {
  std::vector<int> Destroyed;
  {
    TvxPDFObjectStore Store;
    ExpectError<ENullObjectError>([&] { Store.AddObject(nullptr); }, "Expected PDF null object");
    // (1,12,0) and (11,2,0) share the UniqueID 1120 but stay apart.
    auto* First = Store.AddObject(Obj(1, 12, 0, std::make_unique<OrderedValue>(Destroyed, 1)));
    auto* Second = Store.AddObject(Obj(11, 2, 0, std::make_unique<OrderedValue>(Destroyed, 2)));
    auto* Repeat = Store.AddObject(Obj(1, 12, 0, std::make_unique<OrderedValue>(Destroyed, 3)));
    EXPECT_EQ(Store.FindObject(Ref(11, 2).get()), Second);
    EXPECT_EQ(Store.FindObject(Ref(1, 12).get()), First);
    EXPECT_EQ(Store.FindObject(Repeat), First);  // a true repeat finds the first
    EXPECT_EQ(Store.FindObject(Ref(1, 12, 1).get()), nullptr);
    EXPECT_EQ(Store.IndexOfObject(11, 2, 0), 1);
    EXPECT_EQ(Store.IndexOfID(1120), 0);
    EXPECT_EQ(Store.GetObject(2), Repeat);

    // Large numbers whose UniqueID is negative are still stored and found.
    auto* Large =
        Store.AddObject(Obj(12, 12345678, 0, std::make_unique<OrderedValue>(Destroyed, 4)));
    EXPECT_EQ(Store.FindObject(Ref(12, 12345678).get()), Large);
    EXPECT_EQ(Store.IndexOfID(MakeUniqueID(12, 12345678, 0)), 3);
    EXPECT_TRUE(Destroyed.empty());
  }
  // The store frees its objects in list order.
  EXPECT_EQ(Destroyed, (std::vector<int>{1, 2, 3, 4}));
}

TEST(ObjectStore, NewObjectNumbersAndDocumentIDs) {
  TvxPDFObjectStore Store;
  Store.LastObjectNumber = 10;
  EXPECT_EQ(Store.NewObjectNumber(), 11);
  EXPECT_EQ(Store.NewObjectNumber(), 12);

  // Documents opened on several threads never share a number.
  int32_t Before = NextDocumentID();
  std::vector<std::vector<int32_t>> Got(4);
  std::vector<std::thread> Threads;
  for (auto& G : Got)
    Threads.emplace_back([&G] {
      for (int K = 0; K < 500; ++K) G.push_back(NextDocumentID());
    });
  for (auto& T : Threads) T.join();
  std::set<int32_t> All;
  for (auto& G : Got) All.insert(G.begin(), G.end());
  EXPECT_EQ(All.size(), 2000u);
  EXPECT_EQ(*All.begin(), Before + 1);
  EXPECT_EQ(*All.rbegin(), Before + 2000);
}

TEST(ObjectStore, ResolveFollowsReferences) {
  TvxPDFObjectStore Store;
  auto Dict = std::make_unique<TvxPDFDictObject>();
  TvxPDFObject* DictValue = Dict.get();
  auto* DictObj = Store.AddObject(Obj(1, 1, 0, std::move(Dict)));
  Store.AddObject(Obj(1, 2, 0, Ref(1, 1)));  // a reference to a reference
  Store.AddObject(Obj(1, 3, 0, Int(42)));
  Store.AddObject(Obj(1, 4, 0, std::make_unique<TvxPDFNullObject>()));

  EXPECT_EQ(Store.Resolve(Ref(1, 2).get()), DictValue);
  EXPECT_EQ(Store.Resolve(DictObj), DictValue);
  EXPECT_EQ(Store.Resolve(Ref(1, 9).get()), nullptr);
  TvxPDFNullObject Null;
  TvxPDFNameObject Name("/X");
  TvxPDFIntegerObject Five(5);
  for (TvxPDFObject* Direct : std::initializer_list<TvxPDFObject*>{&Null, &Name, &Five})
    EXPECT_EQ(Store.Resolve(Direct), Direct);

  EXPECT_EQ(Store.ResolveDict(Ref(1, 2).get()), DictValue);
  EXPECT_EQ(Store.ResolveDict(Ref(1, 9).get()), nullptr);
  EXPECT_EQ(Store.ResolveInteger(Ref(1, 3).get())->Value, 42);
  EXPECT_EQ(Store.ResolveName(&Name), &Name);
  for (TvxPDFObject* Bad : std::initializer_list<TvxPDFObject*>{&Five, &Null, DictObj})
    ExpectError<EUnexpectedObjectError>([&] { Store.ResolveDict(Bad); }, Unexpected);
  ExpectError<EUnexpectedObjectError>([&] { Store.ResolveInteger(Ref(1, 1).get()); }, Unexpected);
  ExpectError<EUnexpectedObjectError>([&] { Store.ResolveString(Ref(1, 4).get()); }, Unexpected);

  // Filter chains: an array stays, a single name becomes a new one-element
  // array the caller owns, null gives nothing, anything else is an error.
  auto Arr = std::make_unique<TvxPDFArrayObject>();
  TvxPDFObject* ArrValue = Arr.get();
  Store.AddObject(Obj(1, 5, 0, std::move(Arr)));
  std::unique_ptr<TvxPDFArrayObject> Owned;
  EXPECT_EQ(Store.ResolveArray(Ref(1, 5).get(), Owned), ArrValue);
  EXPECT_EQ(Owned, nullptr);
  TvxPDFNameObject Flate("/FlateDecode");
  TvxPDFArrayObject* Wrapped = Store.ResolveArray(&Flate, Owned);
  ASSERT_TRUE(Wrapped && Wrapped == Owned.get() && Wrapped->Count() == 1);
  ASSERT_TRUE(Wrapped->GetItem(0)->IsName());
  EXPECT_EQ(static_cast<TvxPDFNameObject*>(Wrapped->GetItem(0))->Text, "/FlateDecode");
  std::unique_ptr<TvxPDFArrayObject> None;
  EXPECT_EQ(Store.ResolveArray(&Null, None), nullptr);
  EXPECT_EQ(Store.ResolveArray(Ref(1, 4).get(), None), nullptr);
  EXPECT_EQ(None, nullptr);
  ExpectError<EUnexpectedObjectError>([&] { Store.ResolveArray(&Five, None); }, Unexpected);
}

// A reference chain that loops must end, not hang.
TEST(ObjectStore, ReferenceCyclesResolveToNothing) {
  TvxPDFObjectStore Store;
  Store.AddObject(Obj(1, 1, 0, Ref(1, 2)));
  Store.AddObject(Obj(1, 2, 0, Ref(1, 1)));
  std::unique_ptr<TvxPDFArrayObject> Owned;
  EXPECT_EQ(Store.Resolve(Ref(1, 1).get()), nullptr);
  EXPECT_EQ(Store.ResolveDict(Ref(1, 1).get()), nullptr);
  EXPECT_EQ(Store.ResolveArray(Ref(1, 2).get(), Owned), nullptr);
}
