// Layer watermarks: the group and marked content a reader sees, and removal
// that gives back what the pages showed before, on renders and text.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/watermark/vxWatermarkTemplate.h"
#include "support/documents.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::HaveTool;
using vxtest::Quote;
using vxtest::ReadAll;
using vxtest::RunCommand;

namespace {

// Three pages with text: two share one /Contents array and one resources
// dictionary, the third has its content as a single stream and a font of
// its own; all name Helvetica as /F1.
std::string TextDocument(const std::string& CatalogExtra = "") {
  vxtest::PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R " + CatalogExtra + " >>");
  B.Object(20, "<< /Type /OCG /Name (Notes) >>");
  B.Object(2, "<< /Type /Pages /Kids [10 0 R 11 0 R 12 0 R] /Count 3 >>");
  B.Object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  B.Object(4, "<< /Font << /F1 3 0 R >> >>");
  B.Stream(5, "", "BT /F1 24 Tf 72 700 Td (Shared page text) Tj ET");
  B.Stream(6, "", "BT /F1 18 Tf 72 600 Td (Second stream) Tj ET");
  B.Object(7, "[5 0 R 6 0 R]");
  B.Stream(8, "", "BT /F1 30 Tf 100 400 Td (Third page alone) Tj ET");
  B.Object(10,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources 4 0 R "
           "/Contents 7 0 R >>");
  B.Object(11,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources 4 0 R "
           "/Contents 7 0 R >>");
  B.Object(12,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 90 "
           "/Resources << /Font << /F1 3 0 R >> >> /Contents 8 0 R >>");
  return B.FinishTable("/Root 1 0 R");
}

std::string Save(TvxPDFDocument& Doc, const std::string& Name) {
  const std::string File = vxtest::TempPath(Name);
  vxtest::SaveAsWritten(Doc, File);
  return File;
}

std::string Text(const std::string& File) {
  const std::string Out = File + ".txt";
  if (RunCommand("(pdftotext " + Quote(File) + " " + Quote(Out) + ")") != 0) return "<failed>";
  return ReadAll(Out);
}

// The renders of every page, one string.
std::string Renders(const std::string& File) {
  const std::string Prefix = File + "-r";
  if (RunCommand("pdftoppm -r 30 " + Quote(File) + " " + Quote(Prefix)) != 0) return "<failed>";
  std::string All;
  for (int P = 1; P <= 3; ++P) All += ReadAll(Prefix + "-" + std::to_string(P) + ".ppm");
  return All;
}

void Prepare(TvxTextWatermarkTemplate& T, const std::u16string& Text) {
  T.Text = Text;
  T.Font->Size = 40;
  T.Font->Color = MakeColor(0xFF, 0, 0);
  T.Layer = true;
  T.HorizontalPosition = hpCenter;
  T.VerticalPosition = vpCenter;
}

}  // namespace

TEST(WatermarkLayer, StampedIntoOneGroupAsAnArtifactAndListedForViewers) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(TextDocument()));
  TvxTextWatermarkTemplate T;
  Prepare(T, u"CONFIDENTIAL");
  T.LayerPrint = false;
  Doc.InsertWatermark(T);
  TvxTextWatermarkTemplate Second;
  Prepare(Second, u"DRAFT");
  Second.Overlay = true;
  Doc.InsertWatermark(Second, "1");
  const std::string Bytes = vxtest::Written(Doc);
  // One group for the document, however many stampings.
  size_t Groups = 0;
  for (size_t At = Bytes.find("/Type /OCG"); At != std::string::npos;
       At = Bytes.find("/Type /OCG", At + 1))
    ++Groups;
  EXPECT_EQ(Groups, 1u);
  EXPECT_NE(Bytes.find("/PrintState /OFF"), std::string::npos);
  EXPECT_NE(Bytes.find("/Subtype /Watermark"), std::string::npos);
  EXPECT_NE(Bytes.find("/OCProperties"), std::string::npos);
  EXPECT_NE(Bytes.find("/Event /Print"), std::string::npos);
  EXPECT_NE(Bytes.find("BDC\r/Artifact <</Type /Pagination /Subtype /Watermark>> BDC\r"),
            std::string::npos);
  const TvxFoundWatermarks Found = Doc.FindWatermarks();
  EXPECT_EQ(Found.LayerPages, 3);
  EXPECT_EQ(Found.Texts, (std::vector<std::u16string>{u"CONFIDENTIAL", u"DRAFT"}));
  EXPECT_TRUE(Found.HasGroup);
  EXPECT_EQ(Found.GroupName, "Watermark");
  EXPECT_FALSE(Found.Print);
  EXPECT_TRUE(Found.View);
  EXPECT_EQ(Found.PlainPages, 0);
  if (HaveTool("qpdf")) {
    const std::string File = Save(Doc, "vx_layer_marks.pdf");
    EXPECT_EQ(RunCommand("qpdf --check " + Quote(File)), 0);
  }
}

TEST(WatermarkLayer, RemovalGivesBackWhatThePagesShowedAfterASave) {
  if (!HaveTool("pdftoppm") || !HaveTool("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
  TvxPDFDocument Original;
  ASSERT_TRUE(Original.LoadFromMemory(TextDocument()));
  const std::string Before = Save(Original, "vx_layer_before.pdf");
  // Under and over the content, tiled, scaled, with opacity, per-page and
  // non-Latin text, on shared and single contents.
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(TextDocument()));
  TvxTextWatermarkTemplate Under;
  Prepare(Under, u"Page <%PageNo%> Секретно");
  Under.Opacity = 50;
  Doc.InsertWatermark(Under);
  TvxTextWatermarkTemplate Over;
  Prepare(Over, u"COPY");
  Over.Overlay = true;
  Over.Tile = true;
  Over.Scale = 20;
  Doc.InsertWatermark(Over, "2-3");
  const std::string Stamped = Save(Doc, "vx_layer_stamped.pdf");
  ASSERT_NE(Renders(Stamped), Renders(Before));

  TvxPDFDocument Reloaded;
  ASSERT_TRUE(Reloaded.LoadFromFile(Stamped));
  std::vector<std::string> Notes;
  EXPECT_EQ(Reloaded.RemoveWatermarks(Notes), 3);
  EXPECT_TRUE(Notes.empty()) << Notes[0];
  const std::string After = Save(Reloaded, "vx_layer_after.pdf");
  EXPECT_EQ(Renders(After), Renders(Before));
  EXPECT_EQ(Text(After), Text(Before));
  // The watermark's objects, resources and group are gone from the file.
  const std::string Bytes = ReadAll(After);
  for (const char* Gone : {"/ZRBFnt", "/ZRBGS", "/ZRBLayer", "/ZRBTile", "/OCProperties", "/OCG",
                           "/VxWatermarks", "/FontFile2", "/Type0"})
    EXPECT_EQ(Bytes.find(Gone), std::string::npos) << Gone;
  EXPECT_LE(Bytes.size(), ReadAll(Before).size() + 200);
  // Nothing left to remove.
  EXPECT_EQ(Reloaded.RemoveWatermarks(Notes), 0);
}

TEST(WatermarkLayer, ExistingLayersAreKeptAndAChangedPageKeepsItsWatermark) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(
      TextDocument("/OCProperties << /OCGs [20 0 R] /D << /Order [20 0 R] /ON [20 0 R] >> >>")));
  const std::string Plain = vxtest::Written(Doc);
  TvxTextWatermarkTemplate T;
  Prepare(T, u"DRAFT");
  Doc.InsertWatermark(T);
  std::string Bytes = vxtest::Written(Doc);
  // The document's own layer stays first; ours follows it.
  EXPECT_TRUE(std::regex_search(Bytes, std::regex("/OCGs \\[ \\d+ 0 R \\d+ 0 R \\]")))
      << Bytes.substr(0, 400);
  EXPECT_EQ(Doc.FindWatermarks().Others, std::vector<std::string>{});
  std::vector<std::string> Notes;
  EXPECT_EQ(Doc.RemoveWatermarks(Notes), 3);
  EXPECT_EQ(vxtest::Written(Doc), Plain);

  // Page 3 changed after the stamping (another watermark, not in the
  // layer): it keeps its mark.
  Doc.InsertWatermark(T);
  TvxTextWatermarkTemplate Plain2;
  Prepare(Plain2, u"LATER");
  Plain2.Layer = false;
  Doc.InsertWatermark(Plain2, "3");
  Notes.clear();
  EXPECT_EQ(Doc.RemoveWatermarks(Notes), 2);
  ASSERT_EQ(Notes.size(), 1u);
  EXPECT_NE(Notes[0].find("Page 3"), std::string::npos) << Notes[0];
  EXPECT_TRUE(Doc.FindWatermarks().HasGroup);
  EXPECT_EQ(Doc.FindWatermarks().LayerPages, 1);
}

TEST(WatermarkLayer, PlainWatermarksAreNamedButLeftAlone) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(TextDocument()));
  TvxTextWatermarkTemplate T;
  Prepare(T, u"PLAIN");
  T.Layer = false;
  Doc.InsertWatermark(T, "1,3");
  const std::string Stamped = vxtest::Written(Doc);
  std::vector<std::string> Notes;
  EXPECT_EQ(Doc.RemoveWatermarks(Notes), 0);
  EXPECT_EQ(vxtest::Written(Doc), Stamped);
  const TvxFoundWatermarks Found = Doc.FindWatermarks();
  EXPECT_EQ(Found.PlainPages, 2);
  EXPECT_EQ(Found.LayerPages, 0);
  EXPECT_FALSE(Found.HasGroup);
}

TEST(WatermarkLayer, AGroupHiddenOnScreenLeavesThePageAsItWas) {
  if (!HaveTool("pdftoppm")) GTEST_SKIP() << "pdftoppm missing";
  TvxPDFDocument Original;
  ASSERT_TRUE(Original.LoadFromMemory(TextDocument()));
  const std::string Before = Save(Original, "vx_layer_plain.pdf");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(TextDocument()));
  TvxTextWatermarkTemplate T;
  Prepare(T, u"HIDDEN");
  T.LayerView = false;
  Doc.InsertWatermark(T);
  const std::string Hidden = Save(Doc, "vx_layer_hidden.pdf");
  EXPECT_EQ(Renders(Hidden), Renders(Before));
  EXPECT_NE(ReadAll(Hidden).find("/OFF"), std::string::npos);
}

TEST(WatermarkLayer, DamagedLayerSettingsGiveWayAndComeBack) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(TextDocument("/OCProperties 7")));
  std::vector<std::string> Warnings;
  Doc.OnWarning = [&](TvxCustomPDFDocument&, const std::string& W) { Warnings.push_back(W); };
  const std::string Plain = vxtest::Written(Doc);
  TvxTextWatermarkTemplate T;
  Prepare(T, u"DRAFT");
  Doc.InsertWatermark(T);
  ASSERT_EQ(Warnings.size(), 1u);
  EXPECT_NE(Warnings[0].find("/OCProperties is damaged"), std::string::npos);
  EXPECT_TRUE(Doc.FindWatermarks().HasGroup);
  std::vector<std::string> Notes;
  EXPECT_EQ(Doc.RemoveWatermarks(Notes), 3);
  EXPECT_EQ(vxtest::Written(Doc), Plain);
}

// Pages stamped alike can share one watermark stream; layer removal still
// gives every page back.
TEST(WatermarkLayer, PagesStampedAlikeShareOneStreamAndStillComeOff) {
  // Three pages of one size, each with content of its own.
  vxtest::PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [10 0 R 11 0 R 12 0 R] /Count 3 >>");
  for (int I = 0; I < 3; ++I) {
    B.Stream(5 + I, "", "0 0 m 100 100 l S");
    B.Object(10 + I, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                         std::to_string(5 + I) + " 0 R >>");
  }
  const std::string Pdf = B.FinishTable("/Root 1 0 R");
  TvxPDFDocument Plain;
  ASSERT_TRUE(Plain.LoadFromMemory(Pdf));
  const std::string Before = vxtest::Written(Plain);
  auto Streams = [](const std::string& Bytes) {
    size_t N = 0;
    for (size_t At = Bytes.find("BDC\r/Artifact"); At != std::string::npos;
         At = Bytes.find("BDC\r/Artifact", At + 1))
      ++N;
    return N;
  };
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Pdf));
  TvxTextWatermarkTemplate T;
  Prepare(T, u"SHARED");
  T.ShareStreams = true;
  Doc.InsertWatermark(T);
  EXPECT_EQ(Streams(vxtest::Written(Doc)), 1u);
  TvxTextWatermarkTemplate Each;
  Prepare(Each, u"OWN");
  Doc.InsertWatermark(Each);
  EXPECT_EQ(Streams(vxtest::Written(Doc)), 4u);
  std::vector<std::string> Notes;
  EXPECT_EQ(Doc.RemoveWatermarks(Notes), 3);
  EXPECT_EQ(vxtest::Written(Doc), Before);
}
