// One load stamped again and again: a restored document writes what it wrote
// before stamping, and stamps as a fresh load of the same file would.
#include <gtest/gtest.h>

#include <string>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxWatermarkJobRunner.h"
#include "pdf/objects/vxRandom.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

using namespace vx;

namespace {

// Two pages sharing an indirect /Resources with an indirect /Font, and one
// /Contents array: stamping changes objects both pages reach.
std::string SharedResourcesFile() {
  vxtest::PdfBuilder B;
  B.PageTree({3, 4});
  B.Object(3,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources 5 0 R "
           "/Contents 7 0 R >>");
  B.Object(4,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources 5 0 R "
           "/Contents 7 0 R >>");
  B.Object(5, "<< /Font 6 0 R >>");
  B.Object(6, "<< /F1 9 0 R >>");
  B.Object(7, "[8 0 R]");
  B.Stream(8, "", "BT /F1 12 Tf 72 700 Td (Body text) Tj ET");
  B.Object(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  return B.FinishTable("/Root 1 0 R");
}

void Load(TvxPDFDocument& Doc, const std::string& Bytes) {
  ASSERT_TRUE(Doc.LoadFromMemory(Bytes));
}

// The job's stamp with the resource names of seed 7.
void Stamp(TvxCustomPDFDocument& Doc, const TvxWatermarkJob& Job) {
  RandomSeed(7);
  RunWatermarkJob(Doc, Job);
  RandomSeed(0);
}

TvxWatermarkJob Job(const std::u16string& Text) {
  TvxWatermarkJob J;
  J.Text = Text;
  J.OpenAfterSave = false;
  return J;
}

}  // namespace

TEST(DocumentSnapshot, RestoreUndoesEveryKindOfStamp) {
  TvxWatermarkJob Plain = Job(u"Alice");
  TvxWatermarkJob Over = Job(u"Alice\nalice@example.com");
  Over.Overlay = true;
  Over.Opacity = 40;
  TvxWatermarkJob Layer = Job(u"Alice");
  Layer.Layer = true;
  TvxWatermarkJob Tiled = Job(u"Alice");
  Tiled.Tile = true;
  Tiled.Compact = true;
  TvxWatermarkJob World = Job(u"Алиса 爱丽丝");
  World.FontEmbedding = 2;
  for (const TvxWatermarkJob* J : {&Plain, &Over, &Layer, &Tiled, &World}) {
    TvxPDFDocument Doc;
    Load(Doc, SharedResourcesFile());
    const std::string Before = vxtest::Written(Doc);
    const auto Snapshot = Doc.TakeSnapshot();
    Stamp(Doc, *J);
    const std::string Stamped = vxtest::Written(Doc);
    Doc.Restore(*Snapshot);
    EXPECT_NE(Stamped, Before);
    EXPECT_EQ(vxtest::Written(Doc), Before);
    // The snapshot serves again.
    Stamp(Doc, *J);
    EXPECT_EQ(vxtest::Written(Doc), Stamped);
    Doc.Restore(*Snapshot);
    EXPECT_EQ(vxtest::Written(Doc), Before);
  }
}

TEST(DocumentSnapshot, ACopyAfterRestoreIsWhatAFreshLoadStamps) {
  TvxWatermarkJob First = Job(u"Alice");
  First.Layer = true;
  First.Overlay = true;
  TvxWatermarkJob Second = Job(u"Bob");
  Second.Layer = true;
  Second.Replace = true;
  TvxPDFDocument Fresh;
  Load(Fresh, SharedResourcesFile());
  Stamp(Fresh, Second);
  TvxPDFDocument Reused;
  Load(Reused, SharedResourcesFile());
  const auto Snapshot = Reused.TakeSnapshot();
  Stamp(Reused, First);
  Reused.Restore(*Snapshot);
  Stamp(Reused, Second);
  EXPECT_EQ(vxtest::Written(Reused), vxtest::Written(Fresh));
}

TEST(DocumentSnapshot, RefusesAnotherLoadsSnapshot) {
  TvxPDFDocument A, B;
  Load(A, SharedResourcesFile());
  Load(B, SharedResourcesFile());
  const auto Snapshot = A.TakeSnapshot();
  EXPECT_THROW(B.Restore(*Snapshot), Exception);
  Load(A, SharedResourcesFile());
  EXPECT_THROW(A.Restore(*Snapshot), Exception);
}
