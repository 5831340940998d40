// Font objects in a real document: what they hold, when an existing font is
// reused, and what qpdf, poppler and fontTools make of the saved file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxFlateFilter.h"
#include "pdf/fonts/vxFontResources.h"
#include "pdf/watermark/vxWatermarkTemplate.h"
#include "platform/vxCodePage.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

TvxFont MakeFont(std::string Name, bool Bold = false, bool Italic = false,
                 uint8_t Charset = AnsiCharset) {
  TvxFont F;
  F.Name = std::move(Name);
  F.Size = 24;
  F.Bold = Bold;
  F.Italic = Italic;
  F.Charset = Charset;
  return F;
}

// Output of a shell command, or nullopt-like empty with Ok false.
std::string Capture(const std::string& Command, int* Status = nullptr) {
  std::string Out;
  std::FILE* P = ::popen((Command + " 2>&1").c_str(), "r");
  if (!P) return Out;
  char Buf[4096];
  size_t N;
  while ((N = std::fread(Buf, 1, sizeof Buf, P)) > 0) Out.append(Buf, N);
  int S = ::pclose(P);
  if (Status) *Status = WIFEXITED(S) ? WEXITSTATUS(S) : -1;
  return Out;
}

bool HaveTool(const std::string& Check) {
  return std::system((Check + " >/dev/null 2>&1").c_str()) == 0;
}

const char* FontToolsPython = "/usr/bin/python3";

// The /Widths array our Arial writes.
std::string ArialWidths() {
  TvxPDFFont F(MakeFont("Arial"), false, false);
  std::string W = "/Widths [";
  for (int C = 32; C < 256; ++C) W += std::to_string(F.Width(static_cast<uint8_t>(C))) + " ";
  return W + "]";
}

class FontResourcesTest : public ::testing::Test {
 protected:
  // Page 1 holds /F1 (a font given by FontBody), page 2 nothing.
  void Load(const std::string& FontBody = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
            const std::vector<std::pair<int, std::string>>& Extra = {}) {
    PdfBuilder B;
    B.PageTree({3, 4}, "", "/MediaBox [0 0 612 792]");
    B.Object(3, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 5 0 R >> >> >>");
    B.Object(4, "<< /Type /Page /Parent 2 0 R >>");
    B.Object(5, FontBody);
    for (const auto& [N, Body] : Extra) B.Object(N, Body);
    std::string Path = vxtest::WriteTempFile("fonts_src.pdf", B.FinishTable("/Root 1 0 R"));
    ASSERT_TRUE(Doc.LoadFromFile(Path));
  }

  TvxPDFDictObject& PageDict(int Index) {
    return *static_cast<TvxPDFDictObject*>(Doc.Pages()[Index]->Value.get());
  }

  TvxPDFDictObject* FontDictOf(int Index) {
    TvxPDFObject* R = Doc.Store().Resolve(PageDict(Index).Lookup("/Resources"));
    if (!R || !R->IsDict()) return nullptr;
    TvxPDFObject* F = Doc.Store().Resolve(static_cast<TvxPDFDictObject*>(R)->Lookup("/Font"));
    return F && F->IsDict() ? static_cast<TvxPDFDictObject*>(F) : nullptr;
  }

  TvxPDFDictObject& Resolved(const TvxPDFObject* Ref) {
    TvxPDFObject* R = Doc.Store().Resolve(const_cast<TvxPDFObject*>(Ref));
    EXPECT_TRUE(R && R->IsDict());
    return *static_cast<TvxPDFDictObject*>(R);
  }

  std::string NameOf(const TvxPDFDictObject& D, std::string_view Key) {
    TvxPDFObject* R = Doc.Store().Resolve(D.Lookup(Key));
    return R && R->IsName() ? static_cast<TvxPDFNameObject*>(R)->Text : std::string();
  }

  int32_t IntOf(const TvxPDFDictObject& D, std::string_view Key) {
    TvxPDFObject* R = Doc.Store().Resolve(D.Lookup(Key));
    return R && R->IsInteger() ? static_cast<TvxPDFIntegerObject*>(R)->Value : -1;
  }

  // Puts the font under Name into page Index's resources and draws Shown
  // (a literal or hex string with its delimiters) with it.
  void Stamp(int Index, const std::string& Name, const TvxPDFIndirectReference& Font,
             const std::string& Shown) {
    TvxPDFDictObject& Page = PageDict(Index);
    if (!Page.Lookup("/Resources")) Page.Add("/Resources", std::make_unique<TvxPDFDictObject>());
    auto* Res = static_cast<TvxPDFDictObject*>(Doc.Store().Resolve(Page.Lookup("/Resources")));
    if (!Res->Lookup("/Font")) Res->Add("/Font", std::make_unique<TvxPDFDictObject>());
    auto* Fonts = static_cast<TvxPDFDictObject*>(Doc.Store().Resolve(Res->Lookup("/Font")));
    Fonts->Add(Name, Font.Clone());
    std::string Content = "BT " + Name + " 24 Tf 72 700 Td " + Shown + " Tj ET";
    auto Obj = std::make_unique<TvxPDFIndirectObject>(
        Doc.DocumentID(), Doc.Store().NewObjectNumber(), 0, true,
        std::make_unique<TvxPDFStreamObject>(std::make_unique<TvxPDFDictObject>(),
                                             std::make_unique<TvxMemoryStream>(Content)));
    TvxPDFIndirectObject* Stored = Doc.Store().AddObject(std::move(Obj));
    Page.SetValue("/Contents", MakeReference(*Stored));
  }

  std::string Save(const std::string& Name) {
    std::string Path = vxtest::TempPath(Name);
    Doc.SaveToFile(Path);
    return Path;
  }

  TvxPDFDocument Doc;
};

TEST_F(FontResourcesTest, ArialSimpleFontHoldsTheFontsOwnWidths) {
  Load();
  TvxPDFFont Analysed(MakeFont("Arial"), false, true);
  auto Ref = Doc.CreateFontResource(MakeFont("Arial"), "/ZRBFnt1", feNone, 0, u"Hello");
  TvxPDFDictObject& F = Resolved(Ref.get());
  EXPECT_EQ(NameOf(F, "/Type"), "/Font");
  EXPECT_EQ(NameOf(F, "/Subtype"), "/TrueType");
  EXPECT_EQ(NameOf(F, "/BaseFont"), "/Arial");
  EXPECT_EQ(NameOf(F, "/Name"), "/ZRBFnt1");
  EXPECT_EQ(NameOf(F, "/Encoding"), "/WinAnsiEncoding");
  EXPECT_EQ(IntOf(F, "/FirstChar"), 32);
  EXPECT_EQ(IntOf(F, "/LastChar"), 255);
  auto* W = static_cast<TvxPDFArrayObject*>(Doc.Store().Resolve(F.Lookup("/Widths")));
  ASSERT_EQ(W->Count(), 224);
  for (int C = 32; C < 256; ++C)
    EXPECT_EQ(static_cast<TvxPDFIntegerObject*>(W->GetItem(C - 32))->Value,
              Analysed.Width(static_cast<uint8_t>(C)))
        << C;
  // Spot checks against Arial's advances (2048 units per em).
  EXPECT_EQ(Analysed.Width('A'), 667);
  EXPECT_EQ(Analysed.Width(0x96), 556);   // en dash
  EXPECT_EQ(Analysed.Width(0x97), 1000);  // em dash
  TvxPDFDictObject& D = Resolved(F.Lookup("/FontDescriptor"));
  EXPECT_EQ(NameOf(D, "/FontName"), "/Arial");
  EXPECT_EQ(IntOf(D, "/Flags"), 32);
  EXPECT_EQ(IntOf(D, "/MissingWidth"), IntOf(D, "/MaxWidth"));
  EXPECT_EQ(D.Lookup("/FontFile2"), nullptr);
}

TEST_F(FontResourcesTest, StyledNamesAndNameEscapes) {
  Load();
  EXPECT_EQ(MakeBaseFontName(MakeFont("Times New Roman", true, true)), "TimesNewRoman,BoldItalic");
  EXPECT_EQ(MakeBaseFontName(MakeFont("Times New Roman", true, false)), "TimesNewRoman,Bold");
  EXPECT_EQ(MakeBaseFontName(MakeFont("Courier New", false, true)), "CourierNew,Italic");
  auto Ref =
      Doc.CreateFontResource(MakeFont("Times New Roman", true, true), "/ZF", feNone, 0, u"x");
  TvxPDFDictObject& F = Resolved(Ref.get());
  EXPECT_EQ(NameOf(F, "/BaseFont"), "/TimesNewRoman,BoldItalic");
  EXPECT_EQ(NameOf(Resolved(F.Lookup("/FontDescriptor")), "/FontName"),
            "/TimesNewRoman,BoldItalic");
  EXPECT_EQ(EscapePDFName("A B(x)/#\xC3\xA9"), "/A#20B#28x#29#2F#23#C3#A9");
}

TEST_F(FontResourcesTest, WidthsArrayTriples) {
  auto Text = [](const std::vector<int32_t>& W, const std::vector<bool>* Keep = nullptr) {
    std::string S;
    auto A = BuildWidthsArray(W, Keep);
    for (auto& Item : A->Items)
      S += std::to_string(static_cast<TvxPDFIntegerObject*>(Item.get())->Value) + " ";
    return S;
  };
  EXPECT_EQ(Text({0, 500, 500, 600}), "1 2 500 3 3 600 ");
  EXPECT_EQ(Text({0, 500, 500, 500}), "1 2 500 3 3 500 ");
  EXPECT_EQ(Text({0, 500, 600, 600, 700}), "1 1 500 2 3 600 4 4 700 ");
  std::vector<bool> Keep = {true, true, false, true, false};
  EXPECT_EQ(Text({0, 500, 500, 500, 500}, &Keep), "1 1 500 3 3 500 ");
  EXPECT_EQ(Text({0}), "");
}

TEST_F(FontResourcesTest, FindFontResourceMatchesSubtypeNameAndEncoding) {
  Load(
      "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding "
      "/FirstChar 32 /LastChar 255 " +
      ArialWidths() + " >>");
  std::string Name = "/Stale";
  EXPECT_TRUE(Doc.FindFontResource(FontDictOf(0), MakeFont("Arial"), Name, 0));
  EXPECT_EQ(Name, "/F1");
  EXPECT_FALSE(Doc.FindFontResource(FontDictOf(0), MakeFont("Arial"), Name, 1));
  EXPECT_EQ(Name, "");
  EXPECT_FALSE(Doc.FindFontResource(FontDictOf(0), MakeFont("Arial", true), Name, 0));
  Name = "/Stale";
  EXPECT_FALSE(Doc.FindFontResource(nullptr, MakeFont("Arial"), Name, 0));
  EXPECT_EQ(Name, "");
}

// One stamping remembers its judgements of font objects; the name found is
// always the key of the dictionary asked about, and a rejected font stays
// rejected wherever it appears.
TEST_F(FontResourcesTest, LookupsOfOneStampingShareJudgements) {
  Load(
      "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding "
      "/FirstChar 32 /LastChar 255 " +
          ArialWidths() + " >>",
      {{6,
        "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /MacRomanEncoding "
        "/FirstChar 32 /LastChar 255 " +
            ArialWidths() + " >>"}});
  TvxFontLookupCache Cache;
  const TvxFont Arial = MakeFont("Arial");
  std::string Name;
  ASSERT_TRUE(Doc.FindFontResource(FontDictOf(0), Arial, Name, 0, feNone, Cache));
  EXPECT_EQ(Name, "/F1");

  // Another dictionary naming the same objects under other keys, the
  // unusable one first.
  TvxPDFDictObject Other;
  Other.Add("/Mac", std::make_unique<TvxPDFIndirectReference>(Doc.DocumentID(), 6, 0));
  Other.Add("/Again", std::make_unique<TvxPDFIndirectReference>(Doc.DocumentID(), 5, 0));
  ASSERT_TRUE(Doc.FindFontResource(&Other, Arial, Name, 0, feNone, Cache));
  EXPECT_EQ(Name, "/Again");
  TvxPDFDictObject OnlyMac;
  OnlyMac.Add("/Mac", std::make_unique<TvxPDFIndirectReference>(Doc.DocumentID(), 6, 0));
  EXPECT_FALSE(Doc.FindFontResource(&OnlyMac, Arial, Name, 0, feNone, Cache));
  EXPECT_EQ(Name, "");
  // The answers equal those of lookups that remember nothing.
  EXPECT_TRUE(Doc.FindFontResource(&Other, Arial, Name, 0));
  EXPECT_EQ(Name, "/Again");
  EXPECT_FALSE(Doc.FindFontResource(&OnlyMac, Arial, Name, 0));
}

TEST_F(FontResourcesTest, FontsThatCannotShowTheTextAreNotReused) {
  const std::string Unusable[] = {
      // MacRoman codes are not the watermark's codes.
      "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /MacRomanEncoding "
      "/FirstChar 32 /LastChar 255 " +
          ArialWidths() + " >>",
      // Widths stop at y.
      "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding "
      "/FirstChar 32 /LastChar 121 >>",
      // Differences move glyphs around.
      "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding << /Differences [65 /B] >> "
      "/FirstChar 32 /LastChar 255 " +
          ArialWidths() + " >>",
      // No encoding at all.
      "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /FirstChar 32 /LastChar 255 " +
          ArialWidths() + " >>",
  };
  for (const std::string& Body : Unusable) {
    SCOPED_TRACE(Body);
    Load(Body);
    std::string Name = "/Stale";
    EXPECT_FALSE(Doc.FindFontResource(FontDictOf(0), MakeFont("Arial"), Name, 0));
    EXPECT_EQ(Name, "");
    int32_t Before = Doc.Store().Count();
    auto Ref = Doc.CreateFontResource(MakeFont("Arial"), "/ZF", feNone, 0, u"Hi");
    EXPECT_NE(Ref->ObjectNumber, 5);
    EXPECT_GT(Doc.Store().Count(), Before);
  }
  // The same font with a usable encoding is shared, nothing new is made.
  Load(
      "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding "
      "/FirstChar 32 /LastChar 255 " +
      ArialWidths() + " >>");
  int32_t Before = Doc.Store().Count();
  auto Ref = Doc.CreateFontResource(MakeFont("Arial"), "/ZF", feNone, 0, u"Hi");
  EXPECT_EQ(Ref->ObjectNumber, 5);
  EXPECT_EQ(Doc.Store().Count(), Before);
}

// A page's font serves only when it is embedded as the job asks and its
// widths are ours: the spacing of the text is computed from our widths.
TEST_F(FontResourcesTest, ReuseHonoursTheEmbeddingAndTheWidths) {
  const TvxFont Arial = MakeFont("Arial");
  const int64_t Size = TvxPDFFont(Arial, false, false).FontFileSize();
  auto Body = [](const std::string& Widths, const std::string& Descriptor = "") {
    return "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding "
           "/FirstChar 32 /LastChar 255 " +
           Widths + Descriptor + " >>";
  };
  auto Program = [](int64_t Length1) {
    return std::vector<std::pair<int, std::string>>{
        {6, "<< /Type /FontDescriptor /FontName /Arial /FontFile2 7 0 R >>"},
        {7, "<< /Length1 " + std::to_string(Length1) + " /Length 0 >>\nstream\n\nendstream"}};
  };
  std::string Off = ArialWidths(), Near = ArialWidths();
  // 'A' (667) written 669, or rounded the other way.
  Off.replace(Off.find(" 667 "), 5, " 669 ");
  Near.replace(Near.find(" 667 "), 5, " 666 ");
  struct Case {
    const char* Label;
    std::string Font;
    std::vector<std::pair<int, std::string>> Extra;
    bool None, Full, Subset;  // reused for each request
  };
  const Case Cases[] = {
      {"not embedded", Body(ArialWidths()), {}, true, false, false},
      {"widths rounded otherwise", Body(Near), {}, true, false, false},
      {"other widths", Body(Off), {}, false, false, false},
      {"our program", Body(ArialWidths(), " /FontDescriptor 6 0 R"), Program(Size), true, true,
       true},
      {"another program", Body(ArialWidths(), " /FontDescriptor 6 0 R"), Program(Size + 1), true,
       false, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Label);
    const std::pair<uint8_t, bool> Requests[] = {
        {feNone, C.None}, {feFull, C.Full}, {feSubset, C.Subset}};
    for (auto [Embedding, Reused] : Requests) {
      SCOPED_TRACE(static_cast<int>(Embedding));
      Load(C.Font, C.Extra);
      std::string Name;
      EXPECT_EQ(Doc.FindFontResource(FontDictOf(0), Arial, Name, 0, Embedding), Reused);
      auto Ref = Doc.CreateFontResource(Arial, "/ZF", Embedding, 0, u"Hi");
      EXPECT_EQ(Ref->ObjectNumber == 5, Reused);
      if (Reused || Embedding == feNone) continue;
      TvxPDFDictObject& D = Resolved(Resolved(Ref.get()).Lookup("/FontDescriptor"));
      EXPECT_NE(D.Lookup("/FontFile2"), nullptr);
    }
  }
}

// Stamped over a page that shows its own non-embedded Arial, a job asking
// for an embedded font gets one, and poppler says so.
TEST_F(FontResourcesTest, StampingEmbedsWhenAskedBesideAPageFont) {
  if (!HaveTool("command -v pdffonts")) GTEST_SKIP() << "poppler missing";
  for (uint8_t Embedding : {feFull, feSubset}) {
    SCOPED_TRACE(static_cast<int>(Embedding));
    Load(
        "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding "
        "/FirstChar 32 /LastChar 255 " +
        ArialWidths() + " >>");
    TvxTextWatermarkTemplate T;
    T.Text = u"Draft";
    T.FontEmbedding = Embedding;
    Doc.InsertWatermark(T, "1");
    std::string Fonts = Capture("pdffonts '" + Save("fonts_embed_beside.pdf") + "'");
    EXPECT_NE(Fonts.find(Embedding == feFull ? "yes no " : "yes yes "), std::string::npos) << Fonts;
  }
}

TEST_F(FontResourcesTest, ReuseTakesTheFirstUsableFontInPageOrder) {
  // Pages 2 and 3 share one font dictionary; unusable fonts come back on
  // later pages beside usable ones.
  const std::string Usable =
      "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding "
      "/FirstChar 32 /LastChar 255 " +
      ArialWidths() + " >>";
  PdfBuilder B;
  B.PageTree({3, 4, 10, 11}, "", "/MediaBox [0 0 612 792]");
  B.Object(3, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /H 5 0 R >> >> >>");
  B.Object(4, "<< /Type /Page /Parent 2 0 R /Resources << /Font 9 0 R >> >>");
  B.Object(10, "<< /Type /Page /Parent 2 0 R /Resources << /Font 9 0 R >> >>");
  B.Object(11,
           "<< /Type /Page /Parent 2 0 R /Resources << /Font << /Bad 8 0 R /H 5 0 R /Good 6 0 R "
           "/Later 7 0 R >> >> >>");
  B.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  B.Object(6, Usable);
  B.Object(7, Usable);
  B.Object(8,
           "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /MacRomanEncoding "
           "/FirstChar 32 /LastChar 255 " +
               ArialWidths() + " >>");
  B.Object(9, "<< /H 5 0 R /Bad 8 0 R >>");
  ASSERT_TRUE(
      Doc.LoadFromFile(vxtest::WriteTempFile("fonts_order.pdf", B.FinishTable("/Root 1 0 R"))));
  int32_t Before = Doc.Store().Count();
  auto Ref = Doc.CreateFontResource(MakeFont("Arial"), "/ZF", feNone, 0, u"Hi");
  EXPECT_EQ(Ref->ObjectNumber, 6);
  EXPECT_EQ(Doc.Store().Count(), Before);
}

TEST_F(FontResourcesTest, CreatedObjectsAreInTheStoreAndMarked) {
  Load();
  int32_t Before = Doc.Store().Count();
  auto Ref = Doc.CreateFontResource(MakeFont("Arial"), "/ZF", feFull, 0, u"Hi");
  // Font, descriptor and font file.
  ASSERT_EQ(Doc.Store().Count(), Before + 3);
  for (int32_t I = Before; I < Doc.Store().Count(); ++I) {
    EXPECT_GT(Doc.Store().GetObject(I)->UseCount, 0);
    EXPECT_EQ(Doc.Store().GetObject(I)->DocumentID, Doc.DocumentID());
  }
  TvxPDFDictObject& D = Resolved(Resolved(Ref.get()).Lookup("/FontDescriptor"));
  auto* File = static_cast<TvxPDFStreamObject*>(Doc.Store().Resolve(D.Lookup("/FontFile2")));
  ASSERT_TRUE(File && File->IsStream());
  std::string Unpacked = TvxFlateFilter().DecodeString(File->Data->DataString());
  EXPECT_EQ(IntOf(*File->Dict, "/Length1"), static_cast<int32_t>(Unpacked.size()));
  EXPECT_EQ(IntOf(*File->Dict, "/Length"), static_cast<int32_t>(File->Data->MemSize()));
  TvxMemoryStream Whole;
  TvxPDFFont(MakeFont("Arial"), false, true).GetFontFile(Whole);
  EXPECT_EQ(Unpacked, Whole.DataString());
}

TEST_F(FontResourcesTest, CompositeFontsAreReusedOnlyWithTheirOwnProgram) {
  Load();
  TvxFont Greek = MakeFont("Arial", false, false, GreekCharset);
  const std::u16string Text = u"\u03BA\u03B1";
  // The same subset is shared; another text needs a subset of its own.
  auto Sub = Doc.CreateFontResource(Greek, "/ZS", feSubset, 0, Text);
  Stamp(0, "/ZS", *Sub, "<0001>");
  EXPECT_EQ(Doc.CreateFontResource(Greek, "/ZT", feSubset, 0, Text)->ObjectNumber,
            Sub->ObjectNumber);
  auto Other = Doc.CreateFontResource(Greek, "/ZU", feSubset, 0, u"\u03BB");
  EXPECT_NE(Other->ObjectNumber, Sub->ObjectNumber);
  EXPECT_NE(NameOf(Resolved(Other.get()), "/BaseFont"), NameOf(Resolved(Sub.get()), "/BaseFont"));
  // A subset shows too little for the whole font's use.
  auto Whole = Doc.CreateFontResource(Greek, "/ZF", feNone, 0, Text);
  EXPECT_NE(Whole->ObjectNumber, Sub->ObjectNumber);
  Stamp(1, "/ZF", *Whole, "<0001>");
  std::string Name;
  EXPECT_TRUE(Doc.FindFontResource(FontDictOf(1), Greek, Name, 0));
  EXPECT_EQ(Name, "/ZF");
  EXPECT_FALSE(Doc.FindFontResource(FontDictOf(0), Greek, Name, 0));
  // The whole font shows any text.
  EXPECT_EQ(Doc.CreateFontResource(Greek, "/ZV", feSubset, 0, u"\u03BC")->ObjectNumber,
            Whole->ObjectNumber);
  // A foreign composite /Arial embeds another program: glyph numbers differ.
  // Only a program as long as ours passes for ours.
  int64_t Ours = TvxPDFFont(Greek, false, false).FontFileSize();
  for (int64_t Length1 : {Ours + 1, Ours}) {
    Load(
        "<< /Type /Font /Subtype /Type0 /BaseFont /Arial /Encoding /Identity-H "
        "/DescendantFonts [6 0 R] >>",
        {{6, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Arial /FontDescriptor 7 0 R >>"},
         {7, "<< /Type /FontDescriptor /FontFile2 8 0 R >>"},
         {8, "<< /Length1 " + std::to_string(Length1) + " /Length 0 >>\nstream\n\nendstream"}});
    EXPECT_EQ(Doc.FindFontResource(FontDictOf(0), Greek, Name, 0), Length1 == Ours);
  }
  EXPECT_EQ(Doc.CreateFontResource(Greek, "/ZW", feFull, 0, Text)->ObjectNumber, 5);
}

TEST_F(FontResourcesTest, SubsetWidthsCoverTheSpace) {
  Load();
  TvxFont Greek = MakeFont("Arial", false, false, GreekCharset);
  TvxPDFFont Probe(Greek, false, false);
  int32_t Space = std::stoi(Probe.EncodeGlyphText(u" ", GreekCharset), nullptr, 16);
  int32_t Kappa = std::stoi(Probe.EncodeGlyphText(u"\u03BA", GreekCharset), nullptr, 16);
  auto Ref = Doc.CreateFontResource(Greek, "/ZS", feSubset, 0, u"\u03BA \u03BA");
  TvxPDFDictObject& Type0 = Resolved(Ref.get());
  EXPECT_EQ(NameOf(Type0, "/Encoding"), "/Identity-H");
  auto* Kids =
      static_cast<TvxPDFArrayObject*>(Doc.Store().Resolve(Type0.Lookup("/DescendantFonts")));
  TvxPDFDictObject& Cid = Resolved(Kids->GetItem(0));
  // The ToUnicode stream is made first, then the descendant font (after its
  // file and descriptor), then the font itself.
  auto Number = [](TvxPDFObject* R) {
    return static_cast<TvxPDFIndirectReference*>(R)->ObjectNumber;
  };
  EXPECT_LT(Number(Type0.Lookup("/ToUnicode")), Number(Kids->GetItem(0)));
  EXPECT_LT(Number(Kids->GetItem(0)), Ref->ObjectNumber);
  EXPECT_EQ(NameOf(Cid, "/CIDToGIDMap"), "/Identity");
  EXPECT_EQ(IntOf(Cid, "/DW"), 1000);
  auto* W = static_cast<TvxPDFArrayObject*>(Doc.Store().Resolve(Cid.Lookup("/W")));
  std::map<int32_t, int32_t> Widths;
  for (int32_t I = 0; I + 2 < W->Count(); I += 3) {
    auto Num = [&](int32_t K) { return static_cast<TvxPDFIntegerObject*>(W->GetItem(K))->Value; };
    for (int32_t G = Num(I); G <= Num(I + 1); ++G) Widths[G] = Num(I + 2);
  }
  // Only the glyphs the subset holds, the space among them.
  EXPECT_EQ(Widths.size(), 2u);
  EXPECT_EQ(Widths[Space], Probe.GlyphWidths()[Space]);
  EXPECT_EQ(Widths[Kappa], Probe.GlyphWidths()[Kappa]);
  EXPECT_GT(Widths[Space], 200);
}

// Simple and composite fonts, whole and subset, through qpdf, poppler and
// fontTools.
TEST_F(FontResourcesTest, SavedFontsPassTheOracles) {
  if (!HaveTool("command -v qpdf") || !HaveTool("command -v pdffonts") ||
      !HaveTool("command -v pdftotext"))
    GTEST_SKIP() << "qpdf or poppler missing";
  struct Case {
    const char* Label;
    uint8_t Charset;
    uint8_t Embedding;
    std::u16string Text;
    bool Subset;
  };
  // Lower-case letters without composite glyphs in Liberation Sans.
  const std::u16string Greek = u"\u03BA\u03B1\u03BB\u03B7\u03BC\u03B5\u03C1\u03B1";
  const Case Cases[] = {
      {"greek_full", GreekCharset, feFull, Greek, false},
      {"greek_subset", GreekCharset, feSubset, Greek, true},
      {"cyrillic_none", RussianCharset, feNone, u"\u041F\u0440\u0438\u0432\u0435\u0442", false},
      {"ansi_subset", AnsiCharset, feSubset, u"Cafe \u20AC5", true},
      // An accented letter is a composite glyph: its parts come along.
      {"ansi_composite", AnsiCharset, feSubset, u"Caf\u00E9", true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Label);
    Load();
    TvxFont Font = MakeFont("Arial", false, false, C.Charset);
    auto Ref = Doc.CreateFontResource(Font, "/ZF", C.Embedding, 0, C.Text);
    std::string Shown;
    if (NeedsCIDFont(C.Charset)) {
      TvxPDFFont Glyphs(Font, false, false);
      Shown = "<" + Glyphs.EncodeGlyphText(C.Text, C.Charset) + ">";
    } else {
      Shown = "(" + UnicodeToAnsi(C.Text) + ")";
    }
    Stamp(0, "/ZF", *Ref, Shown);
    std::string Path = Save(std::string("fonts_") + C.Label + ".pdf");
    int Status = -1;
    std::string Check = Capture("qpdf --check '" + Path + "'", &Status);
    EXPECT_EQ(Status, 0) << Check;
    std::string Fonts = Capture("pdffonts '" + Path + "'");
    bool Subset = C.Subset;
    bool Embedded = C.Embedding != feNone || NeedsCIDFont(C.Charset);
    EXPECT_NE(Fonts.find(Subset ? "+Arial " : "\nArial "), std::string::npos) << Fonts;
    EXPECT_NE(Fonts.find(Embedded ? (Subset ? "yes yes " : "yes no ") : "no  no "),
              std::string::npos)
        << Fonts;
    if (Subset) {
      size_t Plus = Fonts.find("+Arial");
      ASSERT_GE(Plus, 6u);
      for (size_t K = Plus - 6; K < Plus; ++K) EXPECT_TRUE(Fonts[K] >= 'A' && Fonts[K] <= 'Z');
    }
    std::string Text = Capture("pdftotext -f 1 -l 1 '" + Path + "' -");
    std::u16string U = C.Text;
    std::string Utf8;
    for (char16_t Ch : U) {
      if (Ch < 0x80) {
        Utf8.push_back(static_cast<char>(Ch));
      } else if (Ch < 0x800) {
        Utf8.push_back(static_cast<char>(0xC0 | Ch >> 6));
        Utf8.push_back(static_cast<char>(0x80 | (Ch & 0x3F)));
      } else {
        Utf8.push_back(static_cast<char>(0xE0 | Ch >> 12));
        Utf8.push_back(static_cast<char>(0x80 | (Ch >> 6 & 0x3F)));
        Utf8.push_back(static_cast<char>(0x80 | (Ch & 0x3F)));
      }
    }
    EXPECT_NE(Text.find(Utf8), std::string::npos) << Text;
  }
}

// Accented letters are composite glyphs in Liberation Sans: the subset takes
// their parts, stays a fraction of the font, and draws what the whole font
// draws.
TEST_F(FontResourcesTest, SubsetOfAccentedTextDrawsLikeTheWholeFont) {
  if (!HaveTool("command -v pdftoppm") || !HaveTool("command -v pdffonts"))
    GTEST_SKIP() << "poppler missing";
  const std::u16string Text = u"Z\u00FCrich \u20AC\u00C4\u00D6\u00DC\u00DF";
  std::map<uint8_t, std::string> Pixels;
  size_t SubsetSize = 0, WholeSize = 0;
  for (uint8_t Embedding : {feFull, feSubset}) {
    Load();
    auto Ref = Doc.CreateFontResource(MakeFont("Arial"), "/ZF", Embedding, 0, Text);
    TvxPDFDictObject& D = Resolved(Resolved(Ref.get()).Lookup("/FontDescriptor"));
    auto* File = static_cast<TvxPDFStreamObject*>(Doc.Store().Resolve(D.Lookup("/FontFile2")));
    ASSERT_TRUE(File && File->IsStream());
    (Embedding == feFull ? WholeSize : SubsetSize) =
        static_cast<size_t>(IntOf(*File->Dict, "/Length1"));
    Stamp(0, "/ZF", *Ref, "(" + UnicodeToAnsi(Text) + ")");
    std::string Path = Save("fonts_accents.pdf");
    std::string Fonts = Capture("pdffonts '" + Path + "'");
    EXPECT_NE(Fonts.find(Embedding == feSubset ? "yes yes " : "yes no "), std::string::npos)
        << Fonts;
    std::string Png = vxtest::TempPath("fonts_accents");
    ASSERT_EQ(
        std::system(("pdftoppm -r 72 -f 1 -l 1 -singlefile '" + Path + "' '" + Png + "'").c_str()),
        0);
    std::ifstream In(Png + ".ppm", std::ios::binary);
    Pixels[Embedding] = std::string(std::istreambuf_iterator<char>(In), {});
  }
  EXPECT_GT(WholeSize, 0u);
  EXPECT_LT(SubsetSize * 5, WholeSize);
  ASSERT_FALSE(Pixels[feFull].empty());
  EXPECT_EQ(Pixels[feSubset], Pixels[feFull]);
  // Something was drawn at all.
  size_t Ink = std::count_if(Pixels[feFull].begin() + 20, Pixels[feFull].end(),
                             [](char C) { return static_cast<uint8_t>(C) < 128; });
  EXPECT_GT(Ink, 100u);
}

TEST_F(FontResourcesTest, SubsetFontFileIsAValidFont) {
  TvxFont Font = MakeFont("Arial", false, false, GreekCharset);
  TvxPDFFont F(Font, false, true);
  F.EncodeGlyphText(u"\u03BA\u03B1\u03BB\u03B7 AB", GreekCharset);
  TvxMemoryStream Subset, Whole;
  F.BuildSubset(Subset);
  F.GetFontFile(Whole);
  ASSERT_TRUE(F.IsSubset());
  EXPECT_LT(Subset.MemSize() * 4, Whole.MemSize());
  // The whole file sums to the magic number through checkSumAdjustment.
  EXPECT_EQ(TableChecksum(Subset.DataString()), 0xB1B0AFBAu);
  std::string Path = vxtest::WriteTempFile("subset.ttf", Subset.DataString());
  if (!HaveTool(std::string(FontToolsPython) + " -c 'import fontTools'"))
    GTEST_SKIP() << "fontTools missing";
  int Status = -1;
  std::string Out =
      Capture(std::string(FontToolsPython) + " -m fontTools.ttx -l '" + Path + "'", &Status);
  EXPECT_EQ(Status, 0) << Out;
  EXPECT_NE(Out.find("glyf"), std::string::npos) << Out;
  // Every table decompiles, and the kept glyphs have outlines, the others none.
  std::string Script =
      "import sys\n"
      "from fontTools.ttLib import TTFont\n"
      "f = TTFont(sys.argv[1])\n"
      "for t in f.keys(): f[t]\n"
      "g = f['glyf']; cmap = f.getBestCmap(); order = f.getGlyphOrder()\n"
      "drawn = [c for c in cmap if g[cmap[c]].numberOfContours > 0]\n"
      "print(' '.join('%04X' % c for c in sorted(drawn)))\n";
  std::string ScriptPath = vxtest::WriteTempFile("subset_check.py", Script);
  Out = Capture(std::string(FontToolsPython) + " '" + ScriptPath + "' '" + Path + "'", &Status);
  EXPECT_EQ(Status, 0) << Out;
  EXPECT_EQ(Out, "0041 0042 03B1 03B7 03BA 03BB\n");
}

}  // namespace
