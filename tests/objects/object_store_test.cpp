#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <tuple>
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
  // An empty list keeps the room made for it.
  L.SetCapacity(10);
  L.Clear();
  EXPECT_EQ(L.Capacity(), 10);

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

// A chain is followed a few dozen references deep, never further: a longer
// one (only a hostile file makes it) ends as missing, whatever the store's
// size, so that looking it up stays cheap.
TEST(ObjectStore, LongReferenceChainsEndAsMissing) {
  TvxPDFObjectStore Store;
  for (int32_t N = 1; N < 200; ++N) Store.AddObject(Obj(1, N, 0, Ref(1, N + 1)));
  Store.AddObject(Obj(1, 200, 0, std::make_unique<TvxPDFIntegerObject>(7)));
  std::unique_ptr<TvxPDFArrayObject> Owned;
  TvxPDFObject* Near = Store.Resolve(Ref(1, 170).get());
  ASSERT_NE(Near, nullptr);
  EXPECT_TRUE(Near->IsInteger());
  EXPECT_EQ(Store.ResolveInteger(Ref(1, 190).get())->Value, 7);
  EXPECT_EQ(Store.Resolve(Ref(1, 1).get()), nullptr);
  EXPECT_EQ(Store.ResolveArray(Ref(1, 1).get(), Owned), nullptr);
}

TEST(FlatIndex, GrowsAndKeepsTheFirstEntry) {
  TvxFlatIndex<int32_t, TvxUniqueIDHash> Index;
  EXPECT_EQ(Index.Find(0), -1);  // empty: nothing allocated, nothing found
  size_t LastCapacity = 0;
  int Growths = 0;
  for (int32_t K = 0; K < 5000; ++K) {
    EXPECT_TRUE(Index.Insert(K * 7, K));
    // Power-of-two sizes, never more than 70 % in use.
    ASSERT_EQ(Index.Capacity() & (Index.Capacity() - 1), 0u);
    ASSERT_LE(Index.Count() * 10, Index.Capacity() * 7);
    if (Index.Capacity() != LastCapacity) ++Growths, LastCapacity = Index.Capacity();
  }
  EXPECT_EQ(Index.Count(), 5000u);
  EXPECT_GE(Growths, 9);               // 16 up to 8192
  EXPECT_FALSE(Index.Insert(21, 99));  // a repeat leaves the first in place
  EXPECT_EQ(Index.Count(), 5000u);
  for (int32_t K = 0; K < 5000; ++K) {
    ASSERT_EQ(Index.Find(K * 7), K);
    ASSERT_EQ(Index.Find(K * 7 + 3), -1);
  }
  EXPECT_EQ(Index.Find(-7), -1);
  Index.Clear();
  EXPECT_EQ(Index.Find(0), -1);
  EXPECT_TRUE(Index.Insert(0, 4));
  EXPECT_EQ(Index.Find(0), 4);
}

TEST(ObjectStore, ManyObjectsFoundAsTheFirstAdded) {
  // Numbers in shuffled order with repeats, generations, a second document
  // whose triples give the same UniqueIDs ((1, 1n, g) and (11, n, g)) and
  // numbers whose UniqueID is negative. The oracle: the first position of
  // each triple and of each UniqueID, in list order.
  std::vector<std::tuple<int32_t, int32_t, uint16_t>> Triples;
  for (int32_t N = 1; N <= 30000; ++N) Triples.emplace_back(1, N, 0);
  for (int32_t N = 1; N <= 3000; ++N) Triples.emplace_back(11, N, 0);
  for (int32_t N = 1; N <= 2000; ++N) Triples.emplace_back(1, N * 3, static_cast<uint16_t>(N % 5));
  for (int32_t N = 0; N < 500; ++N) Triples.emplace_back(12, 12345678 + N, 0);
  for (int32_t N = 1; N <= 3000; N += 3) Triples.emplace_back(1, N, 0);  // repeats
  std::mt19937 Rng(7);
  std::shuffle(Triples.begin(), Triples.end(), Rng);

  std::map<std::tuple<int32_t, int32_t, uint16_t>, int32_t> FirstOfTriple;
  std::map<int32_t, int32_t> FirstOfID;
  auto ExpectAllFound = [&](const TvxPDFObjectStore& Store) {
    for (const auto& [T, I] : FirstOfTriple) {
      auto [D, N, G] = T;
      ASSERT_EQ(Store.IndexOfObject(D, N, G), I) << D << " " << N << " " << G;
      ASSERT_EQ(Store.FindObject(Ref(D, N, G).get()), Store.GetObject(I));
    }
    for (const auto& [ID, I] : FirstOfID) ASSERT_EQ(Store.IndexOfID(ID), I) << ID;
  };

  TvxPDFObjectStore Store;
  int32_t Index = 0;
  for (const auto& T : Triples) {
    auto [D, N, G] = T;
    Store.AddObject(Obj(D, N, G));
    FirstOfTriple.emplace(T, Index);
    FirstOfID.emplace(MakeUniqueID(D, N, G), Index);
    ++Index;
    // The UniqueID index is built on first use and kept up after it.
    if (Index == 20000) ExpectAllFound(Store);
  }
  EXPECT_LT(FirstOfID.size(), FirstOfTriple.size());  // some IDs are shared
  EXPECT_LT(FirstOfTriple.size(), Triples.size());    // some triples repeat
  ExpectAllFound(Store);

  // Absent: numbers never added, other generations, other documents.
  for (int32_t N : {0, 30001, 99999, -1}) EXPECT_EQ(Store.IndexOfObject(1, N, 0), -1) << N;
  EXPECT_EQ(Store.IndexOfObject(1, 5, 7), -1);
  EXPECT_EQ(Store.IndexOfObject(2, 5, 0), -1);
  EXPECT_EQ(Store.FindObject(Ref(3, 1).get()), nullptr);
  EXPECT_EQ(Store.IndexOfID(MakeUniqueID(2, 5, 0)), -1);
}
