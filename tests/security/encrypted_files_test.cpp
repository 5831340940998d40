// Real encrypted files from the corpus, and our encrypted output checked
// with qpdf and poppler.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/security/vxPasswordText.h"
#include "platform/vxUnicode.h"
#include "support/corpus.h"
#include "support/pdf_builder.h"

using namespace vx;

namespace {

bool HaveTool(const char* Name) {
  return std::system((std::string("command -v ") + Name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quote(const std::string& S) {
  std::string Q = "'";
  for (char C : S) Q += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Q + "'";
}

// Exit status and standard output of a shell command.
int Capture(const std::string& Command, std::string& Out) {
  Out.clear();
  std::FILE* P = ::popen((Command + " 2>/dev/null").c_str(), "r");
  if (!P) return -1;
  char Buf[4096];
  size_t N;
  while ((N = std::fread(Buf, 1, sizeof Buf, P)) > 0) Out.append(Buf, N);
  int Status = ::pclose(P);
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

// The manifest gives passwords as UTF-8; the file wants PDFDocEncoding.
std::string DocBytes(const std::string& Utf8) {
  std::string Bytes;
  return UnicodeToPDFDocEncoding(Utf8ToUtf16(Utf8), Bytes) ? Bytes : Utf8;
}

bool Load(TvxCustomPDFDocument& Doc, const std::string& Path, const std::string& Password) {
  Doc.OnPassword = [Password](TvxCustomPDFDocument&, std::string& Pw, bool& Continue, int32_t Try) {
    Pw = Password;
    Continue = Try == 0;
  };
  return Doc.LoadFromFile(Path);
}

bool IsSupportedRC4(const vxtest::CorpusFile& F) {
  const std::string& Kind = F.Fields.at("encryption");
  const std::string& Detail = F.Fields.at("encryption_detail");
  return (Kind == "rc4-40" || Kind == "rc4-128") && Detail.find("/Standard") == 0 &&
         (Detail.find(" V=1 ") != std::string::npos || Detail.find(" V=2 ") != std::string::npos);
}

TEST(EncryptedCorpus, RC4FilesOpenWithEitherPasswordAndSaveAgain) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  const bool Qpdf = HaveTool("qpdf");
  // Files the loader cannot read for reasons of their own.
  auto Exceptions = vxtest::LoadExceptionList("corpus_load_exceptions.tsv");
  int Opened = 0;
  for (const auto& F : Files) {
    if (!IsSupportedRC4(F) || Exceptions.count(F.Name)) continue;
    SCOPED_TRACE(F.Name);
    const std::string Pages = F.Fields.at("pages");
    const std::string& Check = F.Fields.at("password_check");
    std::string User = F.Fields.at("user_password");
    const std::string Owner = F.Fields.at("owner_password");
    const bool UserKnown = !User.empty() || (Check.rfind("user(empty):user", 0) == 0);
    if (UserKnown) {
      TvxPDFDocument Doc;
      ASSERT_TRUE(Load(Doc, F.Path, DocBytes(User)));
      EXPECT_EQ(std::to_string(Doc.PageCount()), Pages);
      ++Opened;
      // The copy opens with the source's owner password, with full rights.
      std::string Copy = vxtest::TempPath("rc4_copy.pdf");
      Doc.SaveToFile(Copy);
      if (!Owner.empty()) {
        TvxPDFDocument Again;
        ASSERT_TRUE(Load(Again, Copy, DocBytes(Owner)));
        EXPECT_TRUE(Again.IsOwner());
        EXPECT_EQ(std::to_string(Again.PageCount()), Pages);
      }
      std::string Out;
      if (Qpdf) {
        EXPECT_EQ(
            Capture("qpdf --check --password=" + Quote(DocBytes(User)) + " " + Quote(Copy), Out), 0)
            << Out;
      }
    }
    if (!Owner.empty()) {
      TvxPDFDocument Doc;
      ASSERT_TRUE(Load(Doc, F.Path, DocBytes(Owner)));
      EXPECT_TRUE(Doc.IsOwner());
      EXPECT_EQ(std::to_string(Doc.PageCount()), Pages);
      ++Opened;
    }
  }
  std::printf("encrypted corpus: %d opens of RC4 files\n", Opened);
  EXPECT_GT(Opened, 0);
}

TEST(EncryptedCorpus, OtherMethodsFailWithTheMethodNamed) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  for (const auto& F : Files) {
    const std::string& Kind = F.Fields.at("encryption");
    if (Kind == "none" || IsSupportedRC4(F)) continue;
    SCOPED_TRACE(F.Name);
    TvxPDFDocument Doc;
    bool Asked = false;
    Doc.OnPassword = [&Asked](TvxCustomPDFDocument&, std::string&, bool& Continue, int32_t) {
      Asked = true;
      Continue = false;
    };
    try {
      Doc.LoadFromFile(F.Path);
      ADD_FAILURE() << "opened";
    } catch (const EUnsupportedEncryption& E) {
      const std::string Message = E.Message();
      if (Kind.rfind("aes-", 0) == 0) {
        EXPECT_NE(Message.find(Kind == "aes-128" ? "AES-128" : "AES-256"), std::string::npos)
            << Message;
      }
      if (Kind.rfind("rc4-", 0) == 0) {
        EXPECT_NE(Message.find("crypt filters"), std::string::npos) << Message;
      }
    } catch (const Exception& E) {
      // A file too damaged to reach its encryption dictionary.
      EXPECT_NE(F.Fields.at("damaged"), "no") << E.Message();
    }
    EXPECT_FALSE(Asked);
  }
}

// Our own output at both levels, as qpdf and poppler see it.
TEST(EncryptedOutput, ToolsReadWhatWeWrote) {
  if (!HaveTool("qpdf") || !HaveTool("pdftotext") || !HaveTool("pdfinfo") || !HaveTool("pdftoppm"))
    GTEST_SKIP() << "qpdf or poppler missing";
  vxtest::PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  B.Object(3,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R "
           "/Resources << /Font << /F1 5 0 R >> >> >>");
  B.Stream(4, "", "BT /F1 24 Tf 20 100 Td (Hello secret) Tj ET 0 0 m 300 200 l S");
  B.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  const std::string Source = vxtest::WriteTempFile("tools_src.pdf", B.FinishTable("/Root 1 0 R"));
  std::string Before;
  ASSERT_EQ(Capture("pdftoppm -r 30 -gray " + Quote(Source), Before), 0);

  for (TvxPDFEncryptionLevel Level : {el40bit, el128bit}) {
    SCOPED_TRACE(Level == el40bit ? "40" : "128");
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromFile(Source));
    Doc.Info().SetTitle(u"Secret report");
    TvxUserPermissions Set;
    Set.Include(AllowPrint);
    Set.Include(AllowCopy);
    Set.Include(AllowAccessibility);
    TvxPDFEncryptionSettings& E = Doc.Encryption();
    E.SetEnabled(true);
    E.SetLevel(Level);
    E.SetUserPassword("us er");
    E.SetOwnerPassword("own\xE9r");
    E.SetUserPermissions(Set);
    const std::string Path = vxtest::TempPath(Level == el40bit ? "enc40.pdf" : "enc128.pdf");
    Doc.SaveToFile(Path);
    const std::string User = " --password=" + Quote("us er") + " ";
    const std::string Owner = " --password=" + Quote("own\xE9r") + " ";
    std::string Out;
    EXPECT_EQ(Capture("qpdf --check" + User + Quote(Path), Out), 0) << Out;
    EXPECT_EQ(Capture("qpdf --check" + Owner + Quote(Path), Out), 0) << Out;
    ASSERT_EQ(Capture("qpdf --show-encryption" + Owner + Quote(Path), Out), 0);
    EXPECT_NE(Out.find("Supplied password is owner password"), std::string::npos) << Out;
    EXPECT_NE(Out.find(Level == el40bit ? "R = 2" : "R = 3"), std::string::npos) << Out;
    EXPECT_NE(Out.find("print low resolution: allowed"), std::string::npos) << Out;
    EXPECT_NE(Out.find("extract for any purpose: allowed"), std::string::npos) << Out;
    EXPECT_NE(Out.find("modify other: not allowed"), std::string::npos) << Out;
    EXPECT_NE(Out.find("modify annotations: not allowed"), std::string::npos) << Out;
    if (Level == el128bit) {
      EXPECT_NE(Out.find("print high resolution: not allowed"), std::string::npos) << Out;
      EXPECT_NE(Out.find("modify forms: not allowed"), std::string::npos) << Out;
      EXPECT_NE(Out.find("extract for accessibility: allowed"), std::string::npos) << Out;
    }
    EXPECT_EQ(Capture("pdftotext -upw " + Quote("us er") + " " + Quote(Path) + " -", Out), 0);
    EXPECT_NE(Out.find("Hello secret"), std::string::npos) << Out;
    EXPECT_EQ(Capture("pdfinfo -upw " + Quote("us er") + " " + Quote(Path), Out), 0);
    EXPECT_TRUE(std::regex_search(Out, std::regex("Title: +Secret report\n"))) << Out;
    std::string After;
    EXPECT_EQ(Capture("pdftoppm -r 30 -gray -upw " + Quote("us er") + " " + Quote(Path), After), 0);
    EXPECT_EQ(After, Before) << "page 1 renders differently";
    for (const char* Password : {"us er", "own\xE9r"}) {
      TvxPDFDocument Again;
      ASSERT_TRUE(Load(Again, Path, Password));
      EXPECT_EQ(Again.PageCount(), 1);
      EXPECT_EQ(Again.Info().GetTitle(), u"Secret report");
    }
  }
}

}  // namespace
