// Repair against the real-world corpus: damaged files qpdf opens load with
// qpdf's page count and are written so that qpdf checks them; sound files
// load the same with repair as without.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/security/vxPDFCrypt.h"
#include "support/corpus.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

using namespace vx;

namespace {

bool HaveQpdf() {
  return std::system("command -v qpdf >/dev/null 2>&1") == 0;
}

// qpdf: 0 clean, 3 warnings only, 2 errors.
int QpdfCheck(const std::string& Path, const std::string& Password) {
  std::string Command = "qpdf --check '" + Path + "'";
  if (!Password.empty()) Command += " '--password=" + Password + "'";
  int Status = std::system((Command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

void GivePasswords(TvxPDFDocument& Doc, const vxtest::CorpusFile& F) {
  std::vector<std::string> Tries = {F.Fields.at("user_password"), F.Fields.at("owner_password")};
  Doc.OnPassword = [Tries](TvxCustomPDFDocument&, std::string& Pw, bool& Continue, int32_t Try) {
    Continue = Try >= 0 && Try < 2;
    if (Continue) Pw = Tries[static_cast<size_t>(Try)];
  };
}

TEST(CorpusRepair, DamagedFilesLoadWithQpdfPageCounts) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  if (!HaveQpdf()) GTEST_SKIP() << "qpdf missing";
  vxtest::KnownFailures Known("corpus_repair_exceptions.tsv");
  int Tried = 0, Repaired = 0, Unsupported = 0;
  std::string Failures;
  const std::string Out = vxtest::TempPath("repaired.pdf");
  for (const auto& F : Files) {
    if (F.Fields.at("qpdf_opens") != "yes" || F.Fields.at("damaged") == "no") continue;
    ++Tried;
    std::string Problem;
    try {
      TvxPDFDocument Doc;
      Doc.RepairDamaged = true;
      GivePasswords(Doc, F);
      if (!Doc.LoadFromFile(F.Path)) {
        Problem = "password refused";
      } else if (std::to_string(Doc.PageCount()) != F.Fields.at("pages")) {
        Problem = std::to_string(Doc.PageCount()) + " pages, qpdf says " + F.Fields.at("pages");
      } else {
        std::remove(Out.c_str());
        Doc.SaveToFile(Out);
        // An encrypted source is saved under its own passwords.
        int Check =
            QpdfCheck(Out, !Doc.IsEncrypted()                      ? ""
                           : !F.Fields.at("user_password").empty() ? F.Fields.at("user_password")
                                                                   : F.Fields.at("owner_password"));
        // Errors qpdf finds in the source's streams are copied with them.
        bool SourceErrors = F.Fields.at("qpdf_check") == "errors";
        if (Check != 0 && Check != 3 && !(Check == 2 && SourceErrors))
          Problem = "qpdf --check status " + std::to_string(Check);
      }
    } catch (const EUnsupportedEncryption&) {
      // Not a matter of repair: the method is refused before any repair.
      ++Unsupported;
      continue;
    } catch (const vx::Exception& E) {
      Problem = E.what();
    } catch (const std::exception& E) {
      Problem = std::string("foreign exception ") + E.what();
    }
    if (Problem.empty()) ++Repaired;
    Failures += Known.Outcome(F.Name, Problem);
  }
  std::remove(Out.c_str());
  EXPECT_EQ(Failures + Known.Untried(), "");
  vxtest::ExpectTriedAtLeast(Tried, 70);
  std::printf(
      "corpus repair: %d of %d damaged files load with qpdf's page count, %d use an "
      "unsupported encryption method\n",
      Repaired, Tried - Unsupported, Unsupported);
}

TEST(CorpusRepair, SoundFilesLoadTheSame) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  int Compared = 0;
  for (const auto& F : Files) {
    if (F.Fields.at("qpdf_opens") != "yes" || F.Fields.at("encryption") != "none") continue;
    std::string Written[2];
    std::vector<std::string> Warnings;
    for (int Repair = 0; Repair < 2; ++Repair) {
      TvxPDFDocument Doc;
      Doc.RepairDamaged = Repair == 1;
      Doc.OnWarning = [&](TvxCustomPDFDocument&, const std::string& W) { Warnings.push_back(W); };
      try {
        if (!Doc.LoadFromFile(F.Path)) continue;
        Written[Repair] = vxtest::Written(Doc);
      } catch (const vx::Exception&) {
      }
    }
    // Only files the exact load takes are sound.
    if (Written[0].empty()) continue;
    ++Compared;
    // A load that may repair mends a page without a box, and says so.
    bool Mended = false;
    for (const auto& W : Warnings)
      Mended = Mended || W.find("taken as US Letter") != std::string::npos;
    EXPECT_EQ(Written[0] == Written[1], !Mended) << F.Name;
  }
  vxtest::ExpectTriedAtLeast(Compared, 150);
}

TEST(CorpusRepair, FilesQpdfCannotOpenFailCleanly) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  for (const auto& F : Files) {
    if (F.Fields.at("qpdf_opens") == "yes") continue;
    TvxPDFDocument Doc;
    Doc.RepairDamaged = true;
    try {
      Doc.LoadFromFile(F.Path);
    } catch (const vx::Exception&) {
      EXPECT_FALSE(Doc.IsLoaded()) << F.Name;
    } catch (const std::exception& E) {
      ADD_FAILURE() << F.Name << ": foreign exception " << E.what();
    }
  }
}

}  // namespace
