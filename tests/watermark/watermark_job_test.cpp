// The watermark job: its defaults, the template it makes, its JSON file and
// the runner that stamps a document with it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "pdf/document/vxWatermarkJobRunner.h"
#include "pdf/objects/vxRandom.h"
#include "pdf/watermark/vxWatermarkJob.h"
#include "support/documents.h"
#include "support/expect_error.h"
#include "support/fake_fonts.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;

namespace vx {
// A failed comparison shows the jobs as their files would.
void PrintTo(const TvxWatermarkJob& Job, std::ostream* Out) {
  *Out << WriteWatermarkJob(Job);
}
}  // namespace vx

namespace {

// A job with every value away from a new job's.
TvxWatermarkJob EveryValueSet() {
  TvxWatermarkJob Job;
  Job.Text = u"Entwurf \u00E9t\u00E9 \"quoted\" \\\r\nsecond line";
  Job.Angle = INT32_MIN;
  Job.Font = {"Liberation Serif", 1000, true, true, true, true, MakeColor(0x12, 0x34, 0x56)};
  Job.RenderMode = trStroke;
  Job.StrokeColor = MakeColor(0xAB, 0xCD, 0xEF);
  Job.Overlay = true;
  Job.HorizontalPosition = hpRight;
  Job.VerticalPosition = vpBottom;
  Job.Pages = "2-3, 1";
  Job.Opacity = 0;
  Job.Scale = 1000;
  Job.Tile = true;
  Job.TileGapX = 12.5;
  Job.TileGapY = 10000;
  Job.TileStagger = true;
  Job.FontEmbedding = 2;
  TvxEncryptionOptions E;
  E.Level = elAES256;
  E.UserPassword = "\u03B1\u03B2\u03B3";
  E.OwnerPassword = "";
  E.Permissions = TvxUserPermissions::None();
  E.Permissions.Include(AllowPrint);
  E.Permissions.Include(AllowHighResPrint);
  Job.Encryption = E;
  Job.OpenAfterSave = false;
  Job.ObjectStreams = TvxObjectStreams::Disable;
  return Job;
}

std::string TempFile(const std::string& Name) {
  return ::testing::TempDir() + "vx" + std::to_string(::getpid()) + "_" + Name;
}

}  // namespace

TEST(WatermarkJob, ANewJobHasTheWindowsDefaults) {
  const TvxWatermarkJob Job;
  EXPECT_EQ(Job.Text, u"Type your watermark text here");
  EXPECT_EQ(Job.Angle, 45);
  EXPECT_EQ(Job.Font, (TvxWatermarkJob::TvxJobFont{"Arial", 36, false, false, false, false,
                                                   MakeColor(0xFF, 0, 0)}));
  EXPECT_EQ(Job.RenderMode, trFillStroke);
  EXPECT_EQ(Job.StrokeColor, MakeColor(0, 0, 0xFF));
  EXPECT_FALSE(Job.Overlay);
  EXPECT_EQ(Job.HorizontalPosition, hpCenter);
  EXPECT_EQ(Job.VerticalPosition, vpCenter);
  EXPECT_EQ(Job.Pages, "");
  EXPECT_EQ(Job.Opacity, 100);
  EXPECT_EQ(Job.FontEmbedding, 0);
  EXPECT_FALSE(Job.Encryption);
  EXPECT_TRUE(Job.OpenAfterSave);
}

TEST(WatermarkJob, TheTemplateTakesEveryValueAndKeepsTheAnsiCharacterSet) {
  const TvxWatermarkJob Job = EveryValueSet();
  const auto T = MakeWatermarkTemplate(Job);
  EXPECT_EQ(T->Text, Job.Text);
  EXPECT_EQ(T->Angle, INT32_MIN);
  EXPECT_EQ(T->Font->Name, "Liberation Serif");
  EXPECT_EQ(T->Font->Size, 1000);
  EXPECT_TRUE(T->Font->Bold && T->Font->Italic && T->Font->Underline && T->Font->StrikeOut);
  EXPECT_EQ(T->Font->Color, MakeColor(0x12, 0x34, 0x56));
  EXPECT_EQ(T->Font->Charset, AnsiCharset);
  EXPECT_EQ(T->Font->Pitch, fpDefault);
  EXPECT_EQ(T->RenderMode, trStroke);
  EXPECT_EQ(T->StrokeColor, MakeColor(0xAB, 0xCD, 0xEF));
  EXPECT_TRUE(T->Overlay);
  EXPECT_EQ(T->HorizontalPosition, hpRight);
  EXPECT_EQ(T->VerticalPosition, vpBottom);
  EXPECT_EQ(T->Opacity, 0);
  EXPECT_EQ(T->Scale, 1000);
  EXPECT_TRUE(T->Tile && T->TileStagger);
  EXPECT_EQ(T->TileGapX, 12.5);
  EXPECT_EQ(T->TileGapY, 10000);
  EXPECT_EQ(T->FontEmbedding, 2);
  EXPECT_EQ(T->X, 0);
  EXPECT_EQ(T->Y, 0);
}

TEST(WatermarkJobFile, WritingThenReadingGivesTheSameJob) {
  const TvxWatermarkJob Full = EveryValueSet();
  EXPECT_EQ(ReadWatermarkJob(WriteWatermarkJob(Full)), Full);
  EXPECT_EQ(ReadWatermarkJob(WriteWatermarkJob(TvxWatermarkJob())), TvxWatermarkJob());
  // Read over a base that differs everywhere: every value comes from the text.
  EXPECT_EQ(ReadWatermarkJob(WriteWatermarkJob(TvxWatermarkJob()), Full), TvxWatermarkJob());

  EXPECT_NE(WriteWatermarkJob(TvxWatermarkJob()).find("\"encrypt\": false"), std::string::npos);
  TvxWatermarkJob NoPasswords;
  NoPasswords.Encryption.emplace();
  NoPasswords.Encryption->Permissions = TvxUserPermissions::None();
  const std::string Text = WriteWatermarkJob(NoPasswords);
  EXPECT_EQ(Text.find("Password"), std::string::npos) << Text;
  EXPECT_NE(Text.find("\"permissions\": []"), std::string::npos) << Text;
  EXPECT_EQ(ReadWatermarkJob(Text), NoPasswords);

  // The keys a person reads, with the colours as RRGGBB.
  const std::string Written = WriteWatermarkJob(Full);
  for (const char* Part :
       {"\"text\": ", "\"angle\": -2147483648", "\"name\": \"Liberation Serif\"",
        "\"color\": \"123456\"", "\"strokeColor\": \"ABCDEF\"", "\"render\": \"stroke\"",
        "\"horizontal\": \"right\"", "\"vertical\": \"bottom\"", "\"over\": true",
        "\"pages\": \"2-3, 1\"", "\"opacity\": 0", "\"scale\": 1000", "\"embed\": \"subset\"",
        "\"level\": \"aes256\"", "\"ownerPassword\": \"\"", "\"open\": false",
        "\"objectStreams\": \"disable\""})
    EXPECT_NE(Written.find(Part), std::string::npos) << Part << " in\n" << Written;
}

TEST(WatermarkJobFile, KeysLeftOutKeepTheBase) {
  const TvxWatermarkJob Base = EveryValueSet();
  EXPECT_EQ(ReadWatermarkJob("{}", Base), Base);
  EXPECT_EQ(ReadWatermarkJob(" {\n} \n"), TvxWatermarkJob());

  TvxWatermarkJob Bold = ReadWatermarkJob(R"({"font": {"bold": false, "size": 12}})", Base);
  EXPECT_FALSE(Bold.Font.Bold);
  EXPECT_EQ(Bold.Font.Size, 12);
  EXPECT_TRUE(Bold.Font.Italic);
  EXPECT_EQ(Bold.Font.Name, "Liberation Serif");
  EXPECT_EQ(Bold.Pages, "2-3, 1");

  // Within "encrypt" too; false takes the encryption away.
  TvxWatermarkJob Owner = ReadWatermarkJob(R"({"encrypt": {"ownerPassword": "boss"}})", Base);
  EXPECT_EQ(Owner.Encryption->Level, elAES256);
  EXPECT_EQ(Owner.Encryption->UserPassword, Base.Encryption->UserPassword);
  EXPECT_EQ(Owner.Encryption->OwnerPassword, "boss");
  EXPECT_EQ(Owner.Encryption->Permissions, Base.Encryption->Permissions);
  EXPECT_FALSE(ReadWatermarkJob(R"({"encrypt": false})", Base).Encryption);
  TvxWatermarkJob Fresh = ReadWatermarkJob(R"({"encrypt": {}})");
  ASSERT_TRUE(Fresh.Encryption);
  EXPECT_EQ(*Fresh.Encryption, TvxEncryptionOptions());

  // Colours in either case; every permission by name.
  TvxWatermarkJob Mixed = ReadWatermarkJob(
      R"({"strokeColor": "a0B0c0", "encrypt": {"level": "40", "permissions":
          ["hiresprint", "copy", "modify", "print", "annotate", "fill", "accessibility",
           "assemble"]}})");
  EXPECT_EQ(Mixed.StrokeColor, MakeColor(0xA0, 0xB0, 0xC0));
  EXPECT_EQ(Mixed.Encryption->Level, el40bit);
  EXPECT_EQ(Mixed.Encryption->Permissions, TvxUserPermissions::All());
}

TEST(WatermarkJobFile, WrongValuesAreRefusedByTheirKey) {
  const std::pair<const char*, const char*> Cases[] = {
      {R"({"fnt": {}})", "unknown key \"fnt\" in the job file"},
      {R"({"font": {"colour": "FF0000"}})", "unknown key \"font.colour\" in the job file"},
      {R"({"encrypt": {"user": "x"}})", "unknown key \"encrypt.user\" in the job file"},
      {R"({"text": null})", "\"text\" in the job file must be a string"},
      {R"({"angle": "45"})",
       "\"angle\" in the job file must be a whole number from -2147483648 to 2147483647"},
      {R"({"angle": 1.5})",
       "\"angle\" in the job file must be a whole number from -2147483648 to 2147483647"},
      {R"({"angle": 2147483648})",
       "\"angle\" in the job file must be a whole number from -2147483648 to 2147483647"},
      {R"({"angle": -2147483649})",
       "\"angle\" in the job file must be a whole number from -2147483648 to 2147483647"},
      {R"({"font": "Arial"})", "\"font\" in the job file must be an object"},
      {R"({"font": {"name": ""}})",
       "\"font.name\" in the job file must be a face name of 1 to 255 bytes"},
      {R"({"font": {"size": 0}})",
       "\"font.size\" in the job file must be a whole number from 1 to 1000"},
      {R"({"font": {"size": 1001}})",
       "\"font.size\" in the job file must be a whole number from 1 to 1000"},
      {R"({"font": {"bold": 1}})", "\"font.bold\" in the job file must be true or false"},
      {R"({"font": {"color": "red"}})",
       "\"font.color\" in the job file must be a colour as six hex digits \"RRGGBB\""},
      {R"({"strokeColor": "#00FF00"})",
       "\"strokeColor\" in the job file must be a colour as six hex digits \"RRGGBB\""},
      {R"({"render": "outline"})",
       "\"render\" in the job file must be \"fill\", \"stroke\" or \"fillstroke\""},
      {R"({"horizontal": "Center"})",
       "\"horizontal\" in the job file must be \"left\", \"center\" or \"right\""},
      {R"({"vertical": 1})",
       "\"vertical\" in the job file must be \"top\", \"center\" or \"bottom\""},
      {R"({"over": "true"})", "\"over\" in the job file must be true or false"},
      {R"({"pages": 2})", "\"pages\" in the job file must be a string"},
      {R"({"opacity": -1})", "\"opacity\" in the job file must be a whole number from 0 to 100"},
      {R"({"opacity": 101})", "\"opacity\" in the job file must be a whole number from 0 to 100"},
      {R"({"scale": 1001})", "\"scale\" in the job file must be a whole number from 0 to 1000"},
      {R"({"tileGap": [1]})",
       "\"tileGap\" in the job file must be two numbers [X, Y] from 0 to 10000"},
      {R"({"tileGap": [1, -2]})",
       "\"tileGap\" in the job file must be two numbers [X, Y] from 0 to 10000"},
      {R"({"tile": 1})", "\"tile\" in the job file must be true or false"},
      {R"({"embed": "some"})",
       "\"embed\" in the job file must be \"none\", \"full\" or \"subset\""},
      {R"({"encrypt": true})", "\"encrypt\" in the job file must be an object or false"},
      {R"({"encrypt": {"level": 128}})",
       "\"encrypt.level\" in the job file must be \"40\", \"128\", \"aes128\" or \"aes256\""},
      {R"({"encrypt": {"permissions": "print"}})",
       "\"encrypt.permissions\" in the job file must be a list of \"copy\", \"modify\", \"print\", "
       "\"annotate\", \"fill\", \"accessibility\", \"assemble\" or \"hiresprint\""},
      {R"({"encrypt": {"permissions": ["print", "fly"]}})",
       "\"encrypt.permissions\" in the job file must be a list of \"copy\", \"modify\", \"print\", "
       "\"annotate\", \"fill\", \"accessibility\", \"assemble\" or \"hiresprint\""},
      {R"({"encrypt": {"ownerPassword": 7}})",
       "\"encrypt.ownerPassword\" in the job file must be a string"},
      // The level that refuses the password may come after it.
      {R"({"encrypt": {"userPassword": "\u03B1", "level": "aes128"}})",
       "\"encrypt.userPassword\" in the job file holds a character PDFDocEncoding lacks "
       "(\"aes256\" takes any)"},
      {R"({"open": null})", "\"open\" in the job file must be true or false"},
      {R"({"objectStreams": "always"})",
       "\"objectStreams\" in the job file must be \"preserve\", \"generate\" or \"disable\""},
      {R"({"angle": 1, "angle": 2})", "\"angle\" is given twice in the job file"},
      {R"({"font": {"size": 10, "size": 12}})", "\"size\" is given twice in the job file"},
  };
  const TvxWatermarkJob Base = EveryValueSet();
  const std::string LongName = R"({"font": {"name": ")" + std::string(256, 'F') + "\"}}";
  vxtest::ExpectError<Exception>(
      [&LongName] { ReadWatermarkJob(LongName); },
      "\"font.name\" in the job file must be a face name of 1 to 255 bytes");
  EXPECT_EQ(ReadWatermarkJob(R"({"font": {"name": ")" + std::string(255, 'F') + "\"}}").Font.Name,
            std::string(255, 'F'));
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.first);
    vxtest::ExpectError<Exception>([&Case, &Base] { ReadWatermarkJob(Case.first, Base); },
                                   Case.second);
  }
}

TEST(WatermarkJobFile, TextThatIsNoJobIsRefusedCleanly) {
  for (const char* Text :
       {"", "{\"angle\": ", "{'angle': 1}", "{\"a\": 1,}", "{} {}", "\xEF\xBB"}) {
    SCOPED_TRACE(Text);
    try {
      ReadWatermarkJob(Text);
      ADD_FAILURE() << "accepted";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message().rfind("the job file is not valid JSON: parse error at line 1", 0), 0u)
          << E.Message();
      EXPECT_EQ(E.Message().find("json.exception"), std::string::npos) << E.Message();
      EXPECT_EQ(E.Message().find("last read"), std::string::npos) << E.Message();
    }
  }
  vxtest::ExpectError<Exception>([] { ReadWatermarkJob("[1, 2]"); },
                                 "the job file must hold a JSON object");
  vxtest::ExpectError<Exception>([] { ReadWatermarkJob("\"text\""); },
                                 "the job file must hold a JSON object");
  // Text that is not UTF-8 is not JSON.
  EXPECT_THROW(ReadWatermarkJob("{\"text\": \"\xFF\"}"), Exception);

  // Hostile nesting stops early, however deep it goes.
  const std::string Deep =
      "{\"font\": " + std::string(200000, '[') + std::string(200000, ']') + "}";
  vxtest::ExpectError<Exception>([&Deep] { ReadWatermarkJob(Deep); },
                                 "the job file is nested deeper than a job can be");
  // Nothing past the size a job file can have is read.
  const std::string Huge = "{\"text\": \"" + std::string(MaxJobFileSize, 'x') + "\"}";
  vxtest::ExpectError<Exception>([&Huge] { ReadWatermarkJob(Huge); },
                                 "the job file is larger than 1 MiB");
  const std::string Large = "{\"text\": \"" + std::string(MaxJobFileSize - 20, 'x') + "\"}";
  EXPECT_EQ(ReadWatermarkJob(Large).Text.size(), MaxJobFileSize - 20);
}

TEST(WatermarkJobFile, DamagedJobTextNeverGetsPastTheEngineException) {
  const std::string Good = WriteWatermarkJob(EveryValueSet());
  std::mt19937 Random(20240611);
  int Accepted = 0;
  for (int Round = 0; Round < 3000; ++Round) {
    std::string Text = Good;
    const int Changes = 1 + static_cast<int>(Random() % 4);
    for (int C = 0; C < Changes; ++C) {
      const size_t At = Random() % Text.size();
      switch (Random() % 3) {
        case 0: Text[At] = static_cast<char>(Random()); break;
        case 1: Text.erase(At, 1 + Random() % 8); break;
        default: Text.insert(At, 1, "{}[]\",:0-e\\"[Random() % 11]);
      }
      if (Text.empty()) Text = "{";
    }
    try {
      ReadWatermarkJob(Text);
      ++Accepted;
    } catch (const Exception&) {
    } catch (const std::exception& E) {
      ADD_FAILURE() << "not an engine exception: " << E.what() << "\n" << Text;
    }
  }
  // Some changes (inside the text, say) leave a job.
  EXPECT_GT(Accepted, 0);
}

TEST(WatermarkJobFile, SavedAndLoadedFiles) {
  const std::string Path = TempFile("job.json");
  const TvxWatermarkJob Job = EveryValueSet();
  SaveWatermarkJob(Path, Job);
  EXPECT_EQ(vxtest::ReadAll(Path), WriteWatermarkJob(Job));
  EXPECT_EQ(LoadWatermarkJob(Path), Job);
  // Saved again, the file is replaced whole.
  SaveWatermarkJob(Path, TvxWatermarkJob());
  EXPECT_EQ(LoadWatermarkJob(Path), TvxWatermarkJob());

  const std::string Missing = TempFile("no-such-job.json");
  vxtest::ExpectError<Exception>([&Missing] { LoadWatermarkJob(Missing); },
                                 "Cannot read the job file " + Missing);
  const std::string NoFolder = TempFile("no-such-folder") + "/job.json";
  vxtest::ExpectError<Exception>([&NoFolder] { SaveWatermarkJob(NoFolder, TvxWatermarkJob()); },
                                 "Cannot write the job file " + NoFolder);

  {
    std::FILE* F = std::fopen(Path.c_str(), "wb");
    ASSERT_TRUE(F);
    const std::string Text = "{\"text\": \"" + std::string(MaxJobFileSize, 'x') + "\"}";
    std::fwrite(Text.data(), 1, Text.size(), F);
    std::fclose(F);
  }
  vxtest::ExpectError<Exception>([&Path] { LoadWatermarkJob(Path); },
                                 "the job file is larger than 1 MiB");
  std::remove(Path.c_str());
}

namespace {

// Three US Letter pages with a line of text each.
std::string ThreePages() {
  vxtest::PdfBuilder B;
  B.PageTree({3, 4, 5}, "", "/MediaBox [0 0 612 792]");
  for (int P = 3; P <= 5; ++P) B.Object(P, "<< /Type /Page /Parent 2 0 R /Contents 10 0 R >>");
  B.Stream(10, "", "BT 72 720 Td ET");
  return B.FinishTable("/Root 1 0 R");
}

// How many content streams page P has.
size_t ContentCount(TvxCustomPDFDocument& Doc, int32_t P) {
  auto* Page = static_cast<TvxPDFDictObject*>(Doc.Pages()[static_cast<size_t>(P - 1)]->Value.get());
  TvxPDFObject* C = Doc.Store().Resolve(Page->Lookup("/Contents"));
  if (!C) return 0;
  return C->IsArray() ? static_cast<TvxPDFArrayObject*>(C)->Items.size() : 1;
}

class RunWatermarkJobTest : public testing::Test {
 protected:
  void Load(TvxPDFDocument& Doc) { ASSERT_TRUE(Doc.LoadFromMemory(ThreePages())); }

  vxtest::UseHalfEmFonts Fonts;
};

}  // namespace

TEST_F(RunWatermarkJobTest, StampsTheJobsPagesOrEveryPage) {
  TvxPDFDocument All;
  Load(All);
  RunWatermarkJob(All, TvxWatermarkJob());
  EXPECT_EQ(All.MeasurementUnit, muPoints);
  for (int32_t P = 1; P <= 3; ++P) EXPECT_EQ(ContentCount(All, P), 2u) << P;
  EXPECT_FALSE(All.Encryption().Enabled());

  TvxPDFDocument Some;
  Load(Some);
  TvxWatermarkJob Job;
  Job.Pages = "3,1";
  RunWatermarkJob(Some, Job);
  EXPECT_EQ(ContentCount(Some, 1), 2u);
  EXPECT_EQ(ContentCount(Some, 2), 1u);
  EXPECT_EQ(ContentCount(Some, 3), 2u);
}

TEST_F(RunWatermarkJobTest, WritesWhatTheTemplateStampedByHandWrites) {
  TvxWatermarkJob Job = EveryValueSet();
  Job.Encryption.reset();
  Job.Pages = "2";
  Job.Opacity = 40;
  Job.FontEmbedding = 0;
  Job.Angle = 30;
  // Each is written right after its stamping, from the same draws.
  TvxPDFDocument ByJob;
  Load(ByJob);
  RandomSeed(3);
  RunWatermarkJob(ByJob, Job);
  const std::string FromJob = vxtest::Written(ByJob);
  TvxPDFDocument ByHand;
  Load(ByHand);
  RandomSeed(3);
  ByHand.MeasurementUnit = muPoints;
  ByHand.InsertWatermark(*MakeWatermarkTemplate(Job), "2");
  EXPECT_EQ(FromJob, vxtest::Written(ByHand));
  EXPECT_NE(FromJob.find("/ca 0.4"), std::string::npos);
}

TEST_F(RunWatermarkJobTest, EncryptsWithThePasswordsAsTheLevelTakesThem) {
  TvxPDFDocument Doc;
  Load(Doc);
  TvxWatermarkJob Job;
  Job.Encryption.emplace();
  Job.Encryption->Level = el128bit;
  Job.Encryption->UserPassword = "h\u00F4tel";
  Job.Encryption->Permissions = TvxUserPermissions::None();
  RunWatermarkJob(Doc, Job);
  EXPECT_TRUE(Doc.Encryption().Enabled());
  EXPECT_EQ(Doc.Encryption().Level(), el128bit);
  EXPECT_EQ(Doc.Encryption().UserPassword(), "h\xF4tel");
  EXPECT_EQ(Doc.Encryption().OwnerPassword(), "");
  EXPECT_EQ(Doc.Encryption().UserPermissions(), TvxUserPermissions::None());

  // AES-256 takes the UTF-8 bytes; a password left out stays as it was.
  Job.Encryption->Level = elAES256;
  Job.Encryption->UserPassword.reset();
  Job.Encryption->OwnerPassword = "\u03B1";
  RunWatermarkJob(Doc, Job);
  EXPECT_EQ(Doc.Encryption().UserPassword(), "h\xF4tel");
  EXPECT_EQ(Doc.Encryption().OwnerPassword(), "\xCE\xB1");
}

TEST_F(RunWatermarkJobTest, ARefusedPasswordStampsNothing) {
  TvxPDFDocument Doc;
  Load(Doc);
  TvxWatermarkJob Job;
  Job.Encryption.emplace();
  Job.Encryption->Level = el40bit;
  Job.Encryption->UserPassword = "ok";
  Job.Encryption->OwnerPassword = "\u03B1";
  vxtest::ExpectError<Exception>([&] { RunWatermarkJob(Doc, Job); },
                                 "The owner password holds a character PDFDocEncoding lacks");
  EXPECT_FALSE(Doc.Encryption().Enabled());
  EXPECT_EQ(Doc.Encryption().UserPassword(), "");
  EXPECT_EQ(ContentCount(Doc, 1), 1u);
}
