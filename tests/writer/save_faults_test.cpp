// What a save must not lose or double: references under another generation,
// catalog entries the writer does not name, filters, objects an outline
// chain runs into.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxFilter.h"
#include "support/documents.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::HaveTool;
using vxtest::PdfBuilder;

namespace {

// The body of object N in a written file.
std::string Body(const std::string& File, int N) {
  std::string Head = "\r\n" + std::to_string(N) + " 0 obj\r\n";
  size_t At = File.find(Head);
  if (At == std::string::npos) return "";
  At += Head.size();
  return File.substr(At, File.find("\r\nendobj", At) - At);
}

// Output number of the first object whose body contains Text, or 0.
int NumberOf(const std::string& File, const std::string& Text) {
  for (int N = 1; N < 1000; ++N) {
    std::string B = Body(File, N);
    if (B.empty()) return 0;
    if (B.find(Text) != std::string::npos) return N;
  }
  return 0;
}

std::string PdfToText(const std::string& Path) {
  std::unique_ptr<FILE, int (*)(FILE*)> P(
      popen(("pdftotext -q '" + Path + "' - 2>/dev/null").c_str(), "r"), pclose);
  std::string Text;
  char Buf[4096];
  size_t N;
  while (P && (N = std::fread(Buf, 1, sizeof Buf, P.get())) > 0) Text.append(Buf, N);
  return Text;
}

TEST(SaveFaults, ReferenceUnderAnotherGenerationReachesTheObject) {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3,
           "<< /Type /Page /MediaBox [0 0 200 100] /Contents 4 1 R /Resources << /Font << /F1 5 1 "
           "R >> >> >>");
  B.Stream(4, "", "BT /F1 24 Tf 10 40 Td (Generation) Tj ET");
  B.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  B.FinishTable("/Root 1 0 R");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.Data()));
  std::string Out = vxtest::Written(Doc);
  const int Contents = NumberOf(Out, "(Generation) Tj");
  ASSERT_GT(Contents, 0);
  EXPECT_NE(Body(Out, 4).find("/Contents " + std::to_string(Contents) + " 0 R"), std::string::npos)
      << Body(Out, 4);
  EXPECT_EQ(Out.find("/Contents null"), std::string::npos);

  if (HaveTool("pdftotext")) {
    std::string Path = vxtest::WriteTempFile("generation.pdf", Out);
    EXPECT_EQ(PdfToText(Path), "Generation\n\n\f");
  }
}

// A catalog with entries the writer has no line of its own for, between the
// ones it has.
std::string TaggedSource() {
  PdfBuilder B;
  B.Object(1,
           "<< /Type /Catalog /Lang (en-GB) /Pages 2 0 R /MarkInfo << /Marked true >> "
           "/StructTreeRoot 5 0 R /PageMode /UseOutlines /PageLabels << /Nums [0 << /S /r >>] >> "
           "/Dests null /Lang (twice) /OCProperties << /OCGs [6 0 R] /D << /OFF [6 0 R] >> >> "
           "/Version /1.7 >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] >>");
  B.Object(5, "<< /Type /StructTreeRoot /K [] >>");
  B.Object(6, "<< /Type /OCG /Name (Hidden) >>");
  return B.FinishTable("/Root 1 0 R");
}

TEST(SaveFaults, CatalogKeepsTheEntriesItDoesNotName) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(TaggedSource()));
  std::string Out = vxtest::Written(Doc);
  const std::string Tree = std::to_string(NumberOf(Out, "/Type /StructTreeRoot"));
  const std::string Group = std::to_string(NumberOf(Out, "/Type /OCG"));
  EXPECT_EQ(Body(Out, 1),
            "<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseOutlines\r\n"
            "/Lang (en-GB)\r\n/MarkInfo <<\r\n/Marked true\r\n>>\r\n/StructTreeRoot " +
                Tree +
                " 0 R\r\n/PageLabels <<\r\n/Nums [ 0 <<\r\n/S /r\r\n>> ]\r\n>>\r\n"
                "/OCProperties <<\r\n/OCGs [ " +
                Group + " 0 R ]\r\n/D <<\r\n/OFF [ " + Group +
                " 0 R ]\r\n>>\r\n>>\r\n/Version /1.7\r\n>>");
  if (HaveTool("pdfinfo")) {
    std::string Path = vxtest::WriteTempFile("tagged.pdf", Out);
    std::unique_ptr<FILE, int (*)(FILE*)> P(popen(("pdfinfo '" + Path + "'").c_str(), "r"), pclose);
    std::string Info;
    char Buf[4096];
    size_t N;
    while (P && (N = std::fread(Buf, 1, sizeof Buf, P.get())) > 0) Info.append(Buf, N);
    EXPECT_TRUE(std::regex_search(Info, std::regex("Tagged: +yes"))) << Info;
  }
}

TEST(SaveFaults, CompressionReplacesANullOrDanglingFilter) {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] /Contents [4 0 R 5 0 R] >>");
  B.Stream(4, "/Filter null /DecodeParms << /Predictor 12 >>", "q Q");
  B.Stream(5, "/Filter 9 0 R", "0 g");
  B.FinishTable("/Root 1 0 R");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.Data()));
  Doc.SetCompression(0, 1);
  std::string Out;
  ASSERT_NO_THROW(Out = vxtest::Written(Doc));
  TvxPDFDocument Again;
  ASSERT_TRUE(Again.LoadFromMemory(Out));
  std::string Data;
  auto* Contents = static_cast<TvxPDFArrayObject*>(
      static_cast<TvxPDFDictObject*>(Again.Pages()[0]->Value.get())->Lookup("/Contents"));
  for (const auto& Ref : Contents->Items) {
    auto* S = static_cast<TvxPDFStreamObject*>(Again.Store().FindObject(Ref.get())->Value.get());
    int Filters = 0;
    for (int32_t I = 0; I < S->Dict->Count(); ++I)
      if (S->Dict->Keys[I]->Text == "/Filter") ++Filters;
    EXPECT_EQ(Filters, 1);
    EXPECT_EQ(S->Dict->Lookup("/DecodeParms"), nullptr);
    Data += DecodeFilterChain(*S->Data, S->Dict->Lookup("/Filter"))->DataString() + "|";
  }
  EXPECT_EQ(Data, "q Q|0 g|");
}

TEST(SaveFaults, OutlineChainRunningIntoAFieldLeavesTheField) {
  PdfBuilder B;
  B.Object(1,
           "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R /AcroForm << /Fields [20 0 R] >> "
           "/PieceInfo << /App << /Private 11 0 R >> >> >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  B.Object(3, "<< /Type /Page /MediaBox [0 0 10 10] >>");
  B.Object(10, "<< /Type /Outlines /First 11 0 R /Last 11 0 R /Count 1 >>");
  // A damaged /Next leads to the form field.
  B.Object(11, "<< /Title (a) /Parent 10 0 R /Next 20 0 R >>");
  B.Object(20, "<< /FT /Tx /T (name) /V (value) >>");
  B.FinishTable("/Root 1 0 R");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(B.Data()));
  std::string Out = vxtest::Written(Doc);
  const int Field = NumberOf(Out, "/T (name)");
  ASSERT_GT(Field, 0) << "the field is written";
  EXPECT_NE(Out.find("/Fields [ " + std::to_string(Field) + " 0 R ]"), std::string::npos);
  // One item, and the other reference to it reaches the rebuilt item.
  const int Item = NumberOf(Out, "/Title (a)");
  ASSERT_GT(Item, 0);
  EXPECT_EQ(Body(Out, Item).find("/Next"), std::string::npos) << Body(Out, Item);
  EXPECT_NE(Out.find("/Private " + std::to_string(Item) + " 0 R"), std::string::npos);
  EXPECT_EQ(Out.find("/Title (a)", Out.find("/Title (a)") + 1), std::string::npos)
      << "the item is written once";
}

}  // namespace
