// Documents loaded, stamped and saved side by side in threads, as the
// command line's batch does: each must come out as it does alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxWatermarkJobRunner.h"
#include "pdf/objects/vxRandom.h"
#include "pdf/objects/vxStreams.h"
#include "pdf/security/vxAES.h"
#include "pdf/watermark/vxWatermarkJob.h"
#include "platform/vxUnicode.h"

using namespace vx;

namespace {

struct TvxCase {
  std::string File;
  TvxWatermarkJob Job;
};

// Loads, stamps and writes Case with the draws of Seed, on this thread.
std::string StampAlone(const TvxCase& Case, uint64_t Seed) {
  SeedThreadRandom(Seed);
  SeedThreadRandomBytes(Seed);
  TvxPDFDocument Doc;
  Doc.RepairDamaged = true;
  Doc.OnCalcVariables = [&Case](TvxCustomPDFDocument&, const std::u16string& Name,
                                std::u16string& Value, int32_t PageNo) {
    Value = Name == u"Who" ? Utf8ToUtf16(Case.File) + u"#" + Utf8ToUtf16(std::to_string(PageNo))
                           : u"<%" + Name + u"%>";
  };
  std::string Result;
  if (!Doc.LoadFromFile(Case.File)) return "not loaded";
  RunWatermarkJob(Doc, Case.Job);
  TvxMemoryStream Out;
  Doc.WriteDocument(Out);
  Result = Out.DataString();
  SeedThreadRandom(0);
  SeedThreadRandomBytes(0);
  return Result;
}

std::vector<TvxCase> Cases() {
  const std::string Data = VX_TEST_DATA_DIR;
  std::vector<TvxCase> Result;
  for (int I = 0; I < 8; ++I) {
    TvxCase C;
    C.File = Data + (I % 2 ? "/damaged_two_pages.pdf" : "/two_pages.pdf");
    // Single-byte and composite fonts, subset or whole, in and out of a
    // layer, with text per page.
    C.Job.Text = I % 3 == 0 ? u"Entwurf <%Who%> <%Other%>" : u"\u6587\u4EF6 \u0416 <%PageNo%>";
    C.Job.FontEmbedding = static_cast<uint8_t>(I % 3);
    C.Job.Layer = I % 4 == 1;
    C.Job.Tile = I == 2;
    C.Job.Angle = 15 * I;
    Result.push_back(C);
  }
  return Result;
}

}  // namespace

TEST(ConcurrentStamp, EachDocumentComesOutAsItDoesAlone) {
  const std::vector<TvxCase> All = Cases();
  std::vector<std::string> Together(All.size());
  std::vector<std::thread> Threads;
  for (size_t I = 0; I < All.size(); ++I)
    Threads.emplace_back([&All, &Together, I] { Together[I] = StampAlone(All[I], 100 + I); });
  for (std::thread& T : Threads) T.join();
  // Alone afterwards, so that the threads make every first call of the run.
  std::vector<std::string> Alone;
  for (size_t I = 0; I < All.size(); ++I) Alone.push_back(StampAlone(All[I], 100 + I));

  for (size_t I = 0; I < All.size(); ++I) {
    EXPECT_GT(Alone[I].size(), 1000u) << I;
    EXPECT_EQ(Together[I], Alone[I]) << "document " << I;
  }
  // The seeds matter: different seeds give different names and identifiers.
  EXPECT_NE(StampAlone(All[0], 7), Alone[0]);
}

TEST(ConcurrentStamp, AThreadSeedIsThatThreadsAlone) {
  SeedThreadRandom(5);
  SeedThreadRandomBytes(5);
  const int32_t Name = RandomInt(2147483647);
  const std::string Bytes = RandomBytes(16);
  SeedThreadRandom(5);
  SeedThreadRandomBytes(5);
  int32_t OtherName = 0;
  std::string OtherBytes;
  std::thread Other([&] {
    OtherName = RandomInt(2147483647);
    OtherBytes = RandomBytes(16);
  });
  Other.join();
  // The other thread neither drew from this seed nor moved it on.
  EXPECT_NE(OtherName, Name);
  EXPECT_NE(OtherBytes, Bytes);
  EXPECT_EQ(RandomInt(2147483647), Name);
  EXPECT_EQ(RandomBytes(16), Bytes);
  SeedThreadRandom(0);
  SeedThreadRandomBytes(0);
  EXPECT_NE(RandomBytes(16), Bytes);
}
