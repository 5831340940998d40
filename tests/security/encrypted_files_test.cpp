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
#include "support/expect_error.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::HaveTool;
using vxtest::Quote;

namespace {

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

// A listed file must still fail to open with the password the manifest
// gives (user, else owner): one that opens with qpdf's page count is taken
// off the list.
void ExpectStillFails(const vxtest::CorpusFile& F) {
  const std::string& User = F.Fields.at("user_password");
  const std::string Pw = DocBytes(User.empty() ? F.Fields.at("owner_password") : User);
  TvxPDFDocument Doc;
  bool Opens = false;
  try {
    Opens = Load(Doc, F.Path, Pw) && std::to_string(Doc.PageCount()) == F.Fields.at("pages");
  } catch (const vx::Exception&) {
  }
  EXPECT_FALSE(Opens) << F.Name << ": listed in corpus_encrypted_exceptions.tsv but opens";
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
  auto Exceptions = vxtest::LoadExceptionList("corpus_encrypted_exceptions.tsv");
  int Opened = 0;
  for (const auto& F : Files) {
    if (!IsSupportedRC4(F)) continue;
    if (Exceptions.count(F.Name)) {
      ExpectStillFails(F);
      continue;
    }
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
  vxtest::ExpectTriedAtLeast(Opened, 24);
  EXPECT_GT(Opened, 0);
}

bool IsStandardHandler(const vxtest::CorpusFile& F) {
  return F.Fields.at("encryption") != "none" &&
         F.Fields.at("encryption_detail").rfind("/Standard", 0) == 0;
}

// Page text as pdftotext reads it with a password.
std::string PageText(const std::string& Path, const std::string& Password) {
  std::string Out;
  Capture("pdftotext -q -upw " + Quote(Password) + " " + Quote(Path) + " -", Out);
  return Out;
}

// AES and crypt filters: every file whose password the manifest gives opens
// with the user and the owner password. Every open with owner rights saves a
// copy, plain and re-encrypted at AES-256, that reads as the source does; a
// copy saved by the user keeps the source's encryption and its owner password.
TEST(EncryptedCorpus, AESAndCryptFilterFilesOpenWithEitherPasswordAndSaveAgain) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  const bool Tools = HaveTool("qpdf") && HaveTool("pdftotext");
  auto Exceptions = vxtest::LoadExceptionList("corpus_encrypted_exceptions.tsv");
  int Opened = 0, Rewritten = 0;
  for (const auto& F : Files) {
    if (!IsStandardHandler(F) || IsSupportedRC4(F)) continue;
    if (Exceptions.count(F.Name)) {
      ExpectStillFails(F);
      continue;
    }
    SCOPED_TRACE(F.Name);
    const std::string Pages = F.Fields.at("pages");
    const std::string& Check = F.Fields.at("password_check");
    const std::string User = DocBytes(F.Fields.at("user_password"));
    const std::string Owner = DocBytes(F.Fields.at("owner_password"));
    const bool UserKnown = !User.empty() || Check.rfind("user(empty):user", 0) == 0;
    // Our engine takes either form; the tools want UTF-8 for AES-256.
    const bool Utf8 = F.Fields.at("encryption_detail").find(" V=5 ") != std::string::npos;
    const std::string ToolUser = Utf8 ? F.Fields.at("user_password") : User;
    const std::string ToolOwner = Utf8 ? F.Fields.at("owner_password") : Owner;
    // The source as qpdf decrypts it (poppler does not cut long passwords).
    std::string Expected, Out;
    if (Tools && (UserKnown || !Owner.empty())) {
      const std::string Decrypted = vxtest::TempPath("aes_qpdf.pdf");
      EXPECT_EQ(Capture("qpdf --decrypt --password=" + Quote(UserKnown ? ToolUser : ToolOwner) +
                            " " + Quote(F.Path) + " " + Quote(Decrypted),
                        Out) %
                    3,
                0);
      Expected = PageText(Decrypted, "");
    }
    auto RewriteAsOwner = [&](TvxPDFDocument& Doc) {
      ++Rewritten;
      const std::string Plain = vxtest::TempPath("aes_plain.pdf");
      Doc.Encryption().SetEnabled(false);
      Doc.SaveToFile(Plain);
      const std::string Again = vxtest::TempPath("aes_again.pdf");
      TvxPDFEncryptionSettings& E = Doc.Encryption();
      E.SetEnabled(true);
      E.SetLevel(elAES256);
      E.SetUserPassword("u");
      E.SetOwnerPassword("o");
      Doc.SaveToFile(Again);
      TvxPDFDocument Reopened;
      ASSERT_TRUE(Load(Reopened, Again, "o"));
      EXPECT_TRUE(Reopened.IsOwner());
      EXPECT_EQ(std::to_string(Reopened.PageCount()), Pages);
      if (Tools) {
        EXPECT_EQ(Capture("qpdf --check " + Quote(Plain), Out), 0) << Out;
        EXPECT_EQ(Capture("qpdf --check --password=u " + Quote(Again), Out), 0) << Out;
        EXPECT_EQ(PageText(Plain, ""), Expected);
        EXPECT_EQ(PageText(Again, "u"), Expected);
      }
    };
    if (UserKnown) {
      TvxPDFDocument Doc;
      ASSERT_TRUE(Load(Doc, F.Path, User));
      EXPECT_EQ(std::to_string(Doc.PageCount()), Pages);
      ++Opened;
      if (Doc.IsOwner()) {
        if (Owner.empty()) RewriteAsOwner(Doc);
      } else {
        const std::string Copy = vxtest::TempPath("aes_copy.pdf");
        Doc.SaveToFile(Copy);
        if (!Owner.empty()) {
          TvxPDFDocument ByOwner;
          ASSERT_TRUE(Load(ByOwner, Copy, Owner));
          EXPECT_TRUE(ByOwner.IsOwner());
          EXPECT_EQ(std::to_string(ByOwner.PageCount()), Pages);
        }
        if (Tools) {
          EXPECT_EQ(Capture("qpdf --check --password=" + Quote(ToolUser) + " " + Quote(Copy), Out),
                    0)
              << Out;
          EXPECT_EQ(PageText(Copy, ToolUser), Expected);
        }
      }
    }
    if (!Owner.empty()) {
      TvxPDFDocument Doc;
      ASSERT_TRUE(Load(Doc, F.Path, Owner));
      EXPECT_TRUE(Doc.IsOwner());
      EXPECT_EQ(Doc.Encryption().UserPermissions(), TvxUserPermissions::All());
      EXPECT_EQ(std::to_string(Doc.PageCount()), Pages);
      ++Opened;
      RewriteAsOwner(Doc);
    }
  }
  std::printf("encrypted corpus: %d opens of AES and crypt-filter files, %d rewritten\n", Opened,
              Rewritten);
  vxtest::ExpectTriedAtLeast(Opened, 36);
  EXPECT_GT(Opened, 0);
  EXPECT_GT(Rewritten, 0);
}

// The manifest leaves this user password out: it is one space.
TEST(EncryptedCorpus, AUserPasswordOfOneSpace) {
  const std::string Path = vxtest::CorpusDir() + "/files/pdfbox-sign_me_protected.pdf";
  if (!std::ifstream(Path)) GTEST_SKIP() << "corpus not present";
  TvxPDFDocument Doc;
  ASSERT_FALSE(Load(Doc, Path, ""));
  ASSERT_TRUE(Load(Doc, Path, " "));
  EXPECT_EQ(Doc.PageCount(), 1);
  EXPECT_EQ(Doc.Encryption().Level(), elAES128);
}

TEST(EncryptedCorpus, OtherHandlersFailWithTheHandlerNamed) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  int Refused = 0;
  for (const auto& F : Files) {
    const std::string& Detail = F.Fields.at("encryption_detail");
    if (F.Fields.at("encryption") == "none" || Detail.empty() || IsStandardHandler(F)) continue;
    SCOPED_TRACE(F.Name);
    const std::string Handler = Detail.substr(1, Detail.find(' ') - 1);
    TvxPDFDocument Doc;
    bool Asked = false;
    Doc.OnPassword = [&Asked](TvxCustomPDFDocument&, std::string&, bool& Continue, int32_t) {
      Asked = true;
      Continue = false;
    };
    vxtest::ExpectError<EUnsupportedEncryption>(
        [&] { Doc.LoadFromFile(F.Path); },
        "Unsupported encryption (security handler " + Handler + ")");
    EXPECT_FALSE(Asked);
    ++Refused;
  }
  EXPECT_GT(Refused, 0);
}

// Our own output at every level, as qpdf and poppler see it.
TEST(EncryptedOutput, ToolsReadWhatWeWrote) {
  if (!HaveTool("qpdf") || !HaveTool("pdftotext") || !HaveTool("pdfinfo") || !HaveTool("pdftoppm"))
    GTEST_SKIP() << "qpdf or poppler missing";
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R "
           "/Resources << /Font << /F1 5 0 R >> >> >>");
  B.Stream(4, "", "BT /F1 24 Tf 20 100 Td (Hello secret) Tj ET 0 0 m 300 200 l S");
  B.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  const std::string Source = vxtest::WriteTempFile("tools_src.pdf", B.FinishTable("/Root 1 0 R"));
  std::string Before;
  ASSERT_EQ(Capture("pdftoppm -r 30 -gray " + Quote(Source), Before), 0);

  const char* const Names[] = {"40", "128", "aes128", "aes256"};
  const char* const Revisions[] = {"R = 2", "R = 3", "R = 4", "R = 6"};
  const char* const Methods[] = {"", "", "AESv2", "AESv3"};
  const char* const Versions[] = {"1.4", "1.4", "1.6", "2.0"};
  for (TvxPDFEncryptionLevel Level : {el40bit, el128bit, elAES128, elAES256}) {
    SCOPED_TRACE(Names[Level]);
    // AES-256 takes UTF-8, the other levels PDFDocEncoding.
    const std::string OwnerPw = Level == elAES256 ? "own\xC3\xA9r" : "own\xE9r";
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
    E.SetOwnerPassword(OwnerPw);
    E.SetUserPermissions(Set);
    const std::string Path = vxtest::TempPath(std::string("enc") + Names[Level] + ".pdf");
    Doc.SaveToFile(Path);
    const std::string User = " --password=" + Quote("us er") + " ";
    const std::string Owner = " --password=" + Quote(OwnerPw) + " ";
    std::string Out;
    EXPECT_EQ(Capture("qpdf --check" + User + Quote(Path), Out), 0) << Out;
    EXPECT_NE(Out.find(std::string("PDF Version: ") + Versions[Level] + "\n"), std::string::npos)
        << Out;
    EXPECT_EQ(Capture("qpdf --check" + Owner + Quote(Path), Out), 0) << Out;
    ASSERT_EQ(Capture("qpdf --show-encryption" + Owner + Quote(Path), Out), 0);
    EXPECT_NE(Out.find("Supplied password is owner password"), std::string::npos) << Out;
    EXPECT_NE(Out.find(Revisions[Level]), std::string::npos) << Out;
    if (Level == elAES128 || Level == elAES256) {
      EXPECT_NE(Out.find(std::string("stream encryption method: ") + Methods[Level]),
                std::string::npos)
          << Out;
    }
    EXPECT_NE(Out.find("print low resolution: allowed"), std::string::npos) << Out;
    EXPECT_NE(Out.find("extract for any purpose: allowed"), std::string::npos) << Out;
    EXPECT_NE(Out.find("modify other: not allowed"), std::string::npos) << Out;
    EXPECT_NE(Out.find("modify annotations: not allowed"), std::string::npos) << Out;
    if (Level != el40bit) {
      EXPECT_NE(Out.find("print high resolution: not allowed"), std::string::npos) << Out;
      EXPECT_NE(Out.find("modify forms: not allowed"), std::string::npos) << Out;
      EXPECT_NE(Out.find("extract for accessibility: allowed"), std::string::npos) << Out;
    }
    EXPECT_EQ(Capture("pdftotext -upw " + Quote("us er") + " " + Quote(Path) + " -", Out), 0);
    EXPECT_NE(Out.find("Hello secret"), std::string::npos) << Out;
    EXPECT_EQ(Capture("pdfinfo -upw " + Quote("us er") + " " + Quote(Path), Out), 0);
    EXPECT_TRUE(std::regex_search(Out, std::regex("Title: +Secret report\n"))) << Out;
    EXPECT_TRUE(
        std::regex_search(Out, std::regex(std::string("PDF version: +") + Versions[Level] + "\n")))
        << Out;
    std::string After;
    EXPECT_EQ(Capture("pdftoppm -r 30 -gray -upw " + Quote("us er") + " " + Quote(Path), After), 0);
    EXPECT_EQ(After, Before) << "page 1 renders differently";
    for (const std::string& Password : {std::string("us er"), OwnerPw}) {
      TvxPDFDocument Again;
      ASSERT_TRUE(Load(Again, Path, Password));
      EXPECT_EQ(Again.PageCount(), 1);
      EXPECT_EQ(Again.Info().GetTitle(), u"Secret report");
    }
  }
}

// Restricted output without an owner password, as three other readers see
// it: the user password opens it as a user only, with the restrictions, and
// the pages read and render as before.
TEST(EncryptedOutput, RestrictionsWithoutOwnerPasswordHoldInOtherReaders) {
  if (!HaveTool("qpdf") || !HaveTool("pdftotext") || !HaveTool("pdftoppm"))
    GTEST_SKIP() << "qpdf or poppler missing";
  const bool Pike = vxtest::RunCommand("/usr/bin/python3 -c 'import pikepdf'") == 0;
  vxtest::PdfBuilder B;
  B.PageTree({3});
  B.Object(3,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R "
           "/Resources << /Font << /F1 5 0 R >> >> >>");
  B.Stream(4, "", "BT /F1 24 Tf 20 100 Td (Hello secret) Tj ET 0 0 m 300 200 l S");
  B.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  const std::string Source =
      vxtest::WriteTempFile("restricted_src.pdf", B.FinishTable("/Root 1 0 R"));
  std::string Before;
  ASSERT_EQ(Capture("pdftoppm -r 30 -gray " + Quote(Source), Before), 0);
  const char* const Names[] = {"40", "128", "aes128", "aes256"};
  for (TvxPDFEncryptionLevel Level : {el40bit, el128bit, elAES128, elAES256}) {
    for (const std::string User : {"u", ""}) {
      SCOPED_TRACE(std::string(Names[Level]) + " user '" + User + "'");
      TvxPDFDocument Doc;
      ASSERT_TRUE(Doc.LoadFromFile(Source));
      TvxPDFEncryptionSettings& E = Doc.Encryption();
      E.SetEnabled(true);
      E.SetLevel(Level);
      E.SetUserPassword(User);
      TvxUserPermissions PrintOnly = TvxUserPermissions::None();
      PrintOnly.Include(AllowPrint);
      E.SetUserPermissions(PrintOnly);
      const std::string Path =
          vxtest::TempPath(std::string("restricted") + Names[Level] + User + ".pdf");
      Doc.SaveToFile(Path);
      std::string Out;
      ASSERT_EQ(
          Capture("qpdf --show-encryption --password=" + Quote(User) + " " + Quote(Path), Out), 0);
      EXPECT_NE(Out.find("Supplied password is user password"), std::string::npos) << Out;
      EXPECT_EQ(Out.find("Supplied password is owner password"), std::string::npos) << Out;
      EXPECT_NE(Out.find("modify other: not allowed"), std::string::npos) << Out;
      EXPECT_NE(Out.find("extract for any purpose: not allowed"), std::string::npos) << Out;
      EXPECT_NE(Out.find("print low resolution: allowed"), std::string::npos) << Out;
      EXPECT_EQ(Capture("qpdf --check --password=" + Quote(User) + " " + Quote(Path), Out), 0)
          << Out;
      EXPECT_EQ(Capture("pdftotext -upw " + Quote(User) + " " + Quote(Path) + " -", Out), 0);
      EXPECT_NE(Out.find("Hello secret"), std::string::npos) << Out;
      std::string After;
      EXPECT_EQ(Capture("pdftoppm -r 30 -gray -upw " + Quote(User) + " " + Quote(Path), After), 0);
      EXPECT_EQ(After, Before) << "page 1 renders differently";
      if (Pike) {
        EXPECT_EQ(Capture("/usr/bin/python3 -c 'import sys, pikepdf; p = pikepdf.open(sys.argv[1], "
                          "password=sys.argv[2]); print(p.owner_password_matched, "
                          "p.user_password_matched, p.allow.modify_other, p.allow.print_lowres, "
                          "len(p.pages))' " +
                              Quote(Path) + " " + Quote(User),
                          Out),
                  0);
        EXPECT_EQ(Out, "False True False True 1\n");
      }
    }
  }
}

// qpdf and poppler take AES-256 passwords as typed, without SASLprep. A
// file qpdf made opens here with what was typed, even a password SASLprep
// refuses; ours, made with the prepared password, opens in qpdf with the
// prepared form and here with either.
TEST(EncryptedOutput, AES256PasswordsAcrossToolsThatDoNotPrepare) {
  if (!HaveTool("qpdf")) GTEST_SKIP() << "qpdf missing";
  vxtest::PdfBuilder B;
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] >>");
  const std::string Source = vxtest::WriteTempFile("prep_src.pdf", B.FinishTable("/Root 1 0 R"));
  const std::string Ligature = "\xEF\xAC\x81le";
  const std::string Bell = "\x07own";
  const std::string Theirs = vxtest::TempPath("prep_qpdf.pdf");
  std::string Out;
  ASSERT_EQ(Capture("qpdf --encrypt " + Quote(Ligature) + " " + Quote(Bell) + " 256 -- " +
                        Quote(Source) + " " + Quote(Theirs),
                    Out),
            0);
  for (const std::string& Password : {Ligature, Bell}) {
    TvxPDFDocument Doc;
    ASSERT_TRUE(Load(Doc, Theirs, Password));
    EXPECT_EQ(Doc.IsOwner(), Password == Bell);
  }
  TvxPDFDocument Prepared;
  EXPECT_FALSE(Load(Prepared, Theirs, "file"));
  // Saved again by its owner with new permissions: the owner password that
  // SASLprep refuses keeps the bytes it opened with.
  {
    TvxPDFDocument Owner;
    ASSERT_TRUE(Load(Owner, Theirs, Bell));
    Owner.Encryption().SetUserPermissions(TvxUserPermissions::None());
    const std::string Copy = vxtest::TempPath("prep_copy.pdf");
    Owner.SaveToFile(Copy);
    EXPECT_EQ(Capture("qpdf --check --password=" + Quote(Bell) + " " + Quote(Copy), Out), 0) << Out;
    TvxPDFDocument ByOwner, ByUser;
    ASSERT_TRUE(Load(ByOwner, Copy, Bell));
    EXPECT_TRUE(ByOwner.IsOwner());
    ASSERT_TRUE(Load(ByUser, Copy, Ligature));
    EXPECT_FALSE(ByUser.IsOwner());
    EXPECT_EQ(ByUser.Encryption().UserPermissions(), TvxUserPermissions::None());
  }

  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromFile(Source));
  Doc.Encryption().SetEnabled(true);
  Doc.Encryption().SetLevel(elAES256);
  Doc.Encryption().SetUserPassword(Ligature);
  Doc.Encryption().SetOwnerPassword("o");
  const std::string Ours = vxtest::TempPath("prep_ours.pdf");
  Doc.SaveToFile(Ours);
  EXPECT_EQ(Capture("qpdf --check --password=file " + Quote(Ours), Out), 0) << Out;
  for (const std::string& Password : {Ligature, std::string("file")}) {
    TvxPDFDocument Again;
    EXPECT_TRUE(Load(Again, Ours, Password));
  }
}

}  // namespace
