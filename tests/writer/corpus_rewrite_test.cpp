// Rewrites every corpus file the engine loads and checks the result with
// qpdf, poppler and the engine itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"
#include "support/corpus.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::HaveTool;
using vxtest::Quote;
using vxtest::ReadAll;
using vxtest::RunCommand;

namespace {

int CountOutlineItems(TvxCustomPDFDocument& Doc) {
  int Count = 0;
  std::vector<const TvxPDFOutline*> Stack;
  if (const TvxPDFOutline* Root = Doc.CatalogContent().OutlineRoot())
    Stack.push_back(Root->FirstChild.get());
  while (!Stack.empty()) {
    const TvxPDFOutline* Item = Stack.back();
    Stack.pop_back();
    for (; Item; Item = Item->NextSibling.get()) {
      ++Count;
      if (Item->FirstChild) Stack.push_back(Item->FirstChild.get());
    }
  }
  return Count;
}

// Fields with a /T, through /Kids, each object once.
int CountFields(TvxCustomPDFDocument& Doc) {
  TvxPDFObjectStore& S = Doc.Store();
  TvxPDFDictObject* Form = nullptr;
  try {
    Form = S.ResolveDict(Doc.Catalog().AcroForm.get());
  } catch (const vx::Exception&) {
    return 0;
  }
  if (!Form) return 0;
  std::unique_ptr<TvxPDFArrayObject> Owned;
  TvxPDFArrayObject* Fields = nullptr;
  try {
    Fields = S.ResolveArray(Form->Lookup("/Fields"), Owned);
  } catch (const vx::Exception&) {
    return 0;
  }
  if (!Fields) return 0;
  int Count = 0;
  std::set<const TvxPDFObject*> Seen;
  std::vector<TvxPDFObject*> Stack;
  for (auto& F : Fields->Items) Stack.push_back(F.get());
  while (!Stack.empty()) {
    TvxPDFObject* F = Stack.back();
    Stack.pop_back();
    TvxPDFDictObject* D = nullptr;
    try {
      D = S.ResolveDict(F);
    } catch (const vx::Exception&) {
      continue;
    }
    if (!D || !Seen.insert(D).second) continue;
    if (D->Lookup("/T")) ++Count;
    std::unique_ptr<TvxPDFArrayObject> KidsOwned;
    TvxPDFArrayObject* Kids = nullptr;
    try {
      Kids = S.ResolveArray(D->Lookup("/Kids"), KidsOwned);
    } catch (const vx::Exception&) {
    }
    if (Kids)
      for (auto& K : Kids->Items) Stack.push_back(K.get());
  }
  return Count;
}

TEST(CorpusRewrite, RewrittenFilesCheckReloadAndRenderTheSame) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  if (!HaveTool("qpdf") || !HaveTool("pdftoppm")) GTEST_SKIP() << "qpdf or pdftoppm missing";
  auto LoadExceptions = vxtest::LoadExceptionList("corpus_load_exceptions.tsv");
  vxtest::KnownFailures Known("corpus_rewrite_exceptions.tsv");
  const std::string Dir = vxtest::TempPath("vx_rewrite/");
  std::system(("mkdir -p " + Quote(Dir)).c_str());

  int Rewritten = 0, Checked = 0, Kept = 0, Rendered = 0, SameRender = 0, Tried = 0;
  std::string Failures;
  for (const auto& F : Files) {
    if (F.Fields.at("qpdf_opens") != "yes" || F.Fields.at("encryption") != "none") continue;
    if (LoadExceptions.count(F.Name)) continue;
    ++Tried;
    // Every problem of the file, reported once it is done with.
    std::string Problems;
    auto Fail = [&](const std::string& Why) { Problems += (Problems.empty() ? "" : "; ") + Why; };
    struct TvxReport {
      std::function<void()> Done;
      ~TvxReport() { Done(); }
    } Report{[&] { Failures += Known.Outcome(F.Name, Problems); }};
    const std::string Out = Dir + F.Name;
    try {
      TvxPDFDocument Doc;
      Doc.LoadFromFile(F.Path);
      Doc.SaveToFile(Out);
      ++Rewritten;
    } catch (const vx::Exception& E) {
      Fail(std::string("rewrite failed: ") + E.what());
      continue;
    }
    // qpdf: 0 clean, 3 warnings only, 2 errors.
    int Check = RunCommand("qpdf --check " + Quote(Out));
    // A source that qpdf finds errors in keeps them (its streams are copied
    // as they are).
    if (Check == 0 || Check == 3 || (Check == 2 && F.Fields.at("qpdf_check") == "errors"))
      ++Checked;
    else
      Fail("qpdf --check status " + std::to_string(Check));

    TvxPDFDocument Again;
    try {
      Again.LoadFromFile(Out);
    } catch (const vx::Exception& E) {
      Fail(std::string("reload failed: ") + E.what());
      continue;
    }
    int Outlines = CountOutlineItems(Again);
    int Fields = CountFields(Again);
    std::string Want = F.Fields.at("pages") + "/" + F.Fields.at("outline_items") + "/" +
                       F.Fields.at("acroform_fields");
    std::string Got = std::to_string(Again.PageCount()) + "/" + std::to_string(Outlines) + "/" +
                      std::to_string(Fields);
    if (Got == Want)
      ++Kept;
    else
      Fail("pages/outline items/fields " + Got + ", source has " + Want);

    // Page 1 rendered at 50 dpi, for the first files that render at all.
    if (Rendered < 30 && F.Fields.at("pages") != "0") {
      std::string A = Dir + "a", B = Dir + "b";
      if (RunCommand("pdftoppm -r 50 -f 1 -l 1 -singlefile " + Quote(F.Path) + " " + Quote(A)) ==
          0) {
        ++Rendered;
        RunCommand("pdftoppm -r 50 -f 1 -l 1 -singlefile " + Quote(Out) + " " + Quote(B));
        if (ReadAll(A + ".ppm") == ReadAll(B + ".ppm"))
          ++SameRender;
        else
          Fail("page 1 renders differently");
        std::remove((A + ".ppm").c_str());
        std::remove((B + ".ppm").c_str());
      }
    }
    std::remove(Out.c_str());
  }
  EXPECT_EQ(Failures + Known.Untried(), "");
  vxtest::ExpectTriedAtLeast(Tried, 160);
  EXPECT_GE(Rendered, 20);
  std::printf(
      "corpus rewrite: %d files, %d rewritten, %d pass qpdf --check, %d keep "
      "pages/outlines/fields, "
      "%d of %d page-1 renders identical\n",
      Tried, Rewritten, Checked, Kept, SameRender, Rendered);
}

}  // namespace

namespace {

// The output of Command; Ok tells whether it exited with status 0.
std::string CommandOutput(const std::string& Command, bool* Ok = nullptr) {
  FILE* P = popen((Command + " 2>/dev/null").c_str(), "r");
  std::string Out;
  char Buf[65536];
  size_t N;
  while (P && (N = std::fread(Buf, 1, sizeof Buf, P)) > 0) Out.append(Buf, N);
  int Status = P ? pclose(P) : -1;
  if (Ok) *Ok = Status != -1 && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
  return Out;
}

// The line of pdfinfo's output that starts with Key, or "".
std::string InfoLine(const std::string& Info, const std::string& Key) {
  size_t At = Info.find("\n" + Key);
  if (At == std::string::npos) return "";
  return Info.substr(At + 1, Info.find('\n', At + 1) - At - 1);
}

// The first page whose text differs, 0 when all agree.
int FirstDifferentPage(const std::string& A, const std::string& B) {
  size_t PA = 0, PB = 0;
  for (int Page = 1;; ++Page) {
    size_t EA = A.find('\f', PA), EB = B.find('\f', PB);
    if (A.compare(PA, EA - PA, B, PB, EB - PB) != 0) return Page;
    if (EA == std::string::npos || EB == std::string::npos) return EA == EB ? 0 : Page;
    PA = EA + 1;
    PB = EB + 1;
  }
}

TEST(CorpusRewrite, TextTagsLabelsAndFormValuesAreKept) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  if (!HaveTool("qpdf") || !HaveTool("pdftotext") || !HaveTool("pdfinfo"))
    GTEST_SKIP() << "qpdf or poppler missing";
  auto LoadExceptions = vxtest::LoadExceptionList("corpus_load_exceptions.tsv");
  vxtest::KnownFailures Known("corpus_text_exceptions.tsv");
  const std::string Dir = vxtest::TempPath("vx_text/");
  std::system(("mkdir -p " + Quote(Dir)).c_str());
  int Compared = 0, Pages = 0, Tagged = 0, Labelled = 0, Forms = 0;
  std::string Failures;
  for (const auto& F : Files) {
    if (F.Fields.at("qpdf_check") != "ok" || F.Fields.at("encryption") != "none") continue;
    if (LoadExceptions.count(F.Name)) continue;
    const std::string Out = Dir + F.Name;
    std::string Problems;
    auto Fail = [&](const std::string& Why) { Problems += (Problems.empty() ? "" : "; ") + Why; };
    try {
      TvxPDFDocument Doc;
      Doc.LoadFromFile(F.Path);
      Doc.SaveToFile(Out);
    } catch (const vx::Exception& E) {
      Failures += Known.Outcome(F.Name, E.what());
      continue;
    }
    // A source poppler cannot read gives nothing to compare with.
    bool Readable = false;
    std::string Before = CommandOutput("pdftotext -q " + Quote(F.Path) + " -", &Readable);
    if (!Readable) {
      std::remove(Out.c_str());
      continue;
    }
    ++Compared;
    std::string After = CommandOutput("pdftotext -q " + Quote(Out) + " -");
    if (int Page = FirstDifferentPage(Before, After))
      Fail("text of page " + std::to_string(Page) + " differs");
    Pages += static_cast<int>(std::count(Before.begin(), Before.end(), '\f'));

    std::string InfoBefore = CommandOutput("pdfinfo " + Quote(F.Path));
    std::string InfoAfter = CommandOutput("pdfinfo " + Quote(Out));
    if (InfoLine(InfoBefore, "Tagged:") != InfoLine(InfoAfter, "Tagged:"))
      Fail(InfoLine(InfoAfter, "Tagged:") + " after the rewrite");
    if (InfoLine(InfoBefore, "Tagged:").find("yes") != std::string::npos) ++Tagged;

    std::string LabelsBefore = CommandOutput("qpdf --json --json-key=pagelabels " + Quote(F.Path));
    std::string LabelsAfter = CommandOutput("qpdf --json --json-key=pagelabels " + Quote(Out));
    if (LabelsBefore != LabelsAfter) Fail("page labels differ");
    if (LabelsBefore.find("\"label\"") != std::string::npos) ++Labelled;

    // Filled form values, as qpdf reads them.
    if (F.Fields.at("acroform_fields") != "0") {
      auto Values = [](const std::string& Path) {
        std::stringstream In(CommandOutput("qpdf --json --json-key=acroform " + Quote(Path)));
        std::vector<std::string> Lines;
        for (std::string Line; std::getline(In, Line);)
          if (Line.find("\"value\"") != std::string::npos) Lines.push_back(Line);
        std::sort(Lines.begin(), Lines.end());
        return Lines;
      };
      if (Values(F.Path) != Values(Out)) Fail("form values differ");
      ++Forms;
    }
    Failures += Known.Outcome(F.Name, Problems);
    std::remove(Out.c_str());
  }
  EXPECT_EQ(Failures + Known.Untried(), "");
  vxtest::ExpectTriedAtLeast(Compared, 120);
  std::printf(
      "corpus text: %d files (%d pages) extract the same text after a rewrite; %d tagged, "
      "%d with page labels and %d with form values keep them\n",
      Compared, Pages, Tagged, Labelled, Forms);
}

// Files where a reader saw more in the source than in the rewrite: loaded
// as the command line loads them (repair allowed), the copy shows it too.
TEST(CorpusRewrite, WhatReadersSeeInNamedFilesIsKept) {
  std::set<std::string> Names;
  for (const auto& F : vxtest::LoadManifest()) Names.insert(F.Name);
  if (Names.empty()) GTEST_SKIP() << "corpus not present";
  if (!HaveTool("pdftotext") || !HaveTool("qpdf")) GTEST_SKIP() << "pdftotext or qpdf missing";
  const std::string Out = vxtest::TempPath("named_rewrite.pdf");
  struct TvxCase {
    const char* File;
    int Page;
    const char* Text;  // on that page in the copy
  };
  for (const TvxCase& C :
       {TvxCase{"qpdf-fuzz-23172.pdf", 1, "Potato 0"},
        TvxCase{"qpdf-xref-compressed-in-compressed.pdf", 14, "Potato 13"},
        TvxCase{"qpdf-stream-line-enders.pdf", 1, "Potato"}, TvxCase{"qpdf-deep-pages.pdf", 1, ""},
        TvxCase{"qpdf-page-no-content.pdf", 2, ""}, TvxCase{"pdfjs-basicapi.pdf", 1, ""}}) {
    SCOPED_TRACE(C.File);
    if (!Names.count(C.File)) continue;
    TvxPDFDocument Doc;
    Doc.RepairDamaged = true;
    ASSERT_TRUE(Doc.LoadFromFile(vxtest::CorpusDir() + "/files/" + C.File));
    ASSERT_GE(Doc.PageCount(), C.Page);
    Doc.SaveToFile(Out);
    // Damaged data of the source may stay damaged; the structure may not.
    std::string Check = CommandOutput("{ qpdf --check " + Quote(Out) + " 2>&1; }");
    EXPECT_EQ(Check.find("ERROR"), std::string::npos) << Check;
    EXPECT_EQ(Check.find("duplicated key"), std::string::npos) << Check;
    const std::string P = std::to_string(C.Page);
    std::string Text = CommandOutput("pdftotext -q -f " + P + " -l " + P + " " + Quote(Out) + " -");
    EXPECT_NE(Text.find(C.Text), std::string::npos) << Text;
  }
  // The bookmarks pane the source asks for opens in the copy too.
  if (Names.count("pdfjs-basicapi.pdf")) {
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromFile(vxtest::CorpusDir() + "/files/pdfjs-basicapi.pdf"));
    EXPECT_EQ(Doc.PageMode(), pmUseOutlines);
  }
  std::remove(Out.c_str());
}

}  // namespace
