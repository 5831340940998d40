// Loads every real-world corpus file that qpdf opens without a password.
#include <gtest/gtest.h>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"
#include "support/corpus.h"

using namespace vx;

namespace {

TEST(CorpusLoad, PageCountsMatchQpdf) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  vxtest::KnownFailures Known("corpus_load_exceptions.tsv");
  int Tried = 0, Loaded = 0;
  std::string Failures;
  for (const auto& F : Files) {
    if (F.Fields.at("qpdf_opens") != "yes" || F.Fields.at("encryption") != "none") continue;
    ++Tried;
    std::string Problem;
    TvxPDFDocument Doc;
    try {
      Doc.LoadFromFile(F.Path);
      std::string Want = F.Fields.at("pages");
      if (std::to_string(Doc.PageCount()) == Want)
        ++Loaded;
      else
        Problem = std::to_string(Doc.PageCount()) + " pages, qpdf says " + Want;
    } catch (const vx::Exception& E) {
      Problem = E.what();
    } catch (const std::exception& E) {
      // Only the engine's own exceptions may come out of a load.
      Failures += F.Name + ": foreign exception " + E.what() + "\n";
      continue;
    }
    Failures += Known.Outcome(F.Name, Problem);
  }
  EXPECT_EQ(Failures + Known.Untried(), "");
  vxtest::ExpectTriedAtLeast(Tried, 180);
  RecordProperty("loaded", Loaded);
  RecordProperty("tried", Tried);
  std::printf("corpus: %d of %d files load with qpdf's page count\n", Loaded, Tried);
}

// Encrypted files and files qpdf cannot open must fail cleanly or load; never
// crash.
TEST(CorpusLoad, OtherFilesFailCleanly) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  for (const auto& F : Files) {
    if (F.Fields.at("qpdf_opens") == "yes" && F.Fields.at("encryption") == "none") continue;
    TvxPDFDocument Doc;
    try {
      Doc.LoadFromFile(F.Path);
    } catch (const vx::Exception&) {
    } catch (const std::exception& E) {
      ADD_FAILURE() << F.Name << ": foreign exception " << E.what();
    }
  }
}

}  // namespace
