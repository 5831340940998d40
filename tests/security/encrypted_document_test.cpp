// Encrypted files through the document: opening with the user or owner
// password, saving encrypted, and what a re-saved copy keeps.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxUtils.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/writer/vxDocumentWriter.h"
#include "support/documents.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

std::string AllBytes() {
  std::string S;
  for (int B = 0; B < 256; ++B) S.push_back(static_cast<char>(B));
  return S;
}

// UTF-16 text whose bytes hold TAB, LF, CR, "(", ")" and a backslash.
const std::u16string TrickyTitle = u"T\t(x)\\\r\n\u0A28\u5C0D\u0D29\u00C4\u20AC";

// One page showing "Hello secret", a page entry holding every byte value
// as a hex string and a literal string with delimiters in it.
std::string PlainSource() {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
           "/Resources << /Font << /F1 5 0 R >> >> /Bytes <" +
               BytesToHex(AllBytes()) + "> /Lit (a\\(b\\)\\\\c) >>");
  B.Stream(4, "", "BT /F1 24 Tf 72 700 Td (Hello secret) Tj ET");
  B.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  B.Object(6, "<< /Title (Plain title) >>");
  return B.FinishTable("/Root 1 0 R /Info 6 0 R");
}

// Loads Bytes trying each password in turn; records the tries asked for.
bool LoadWith(TvxCustomPDFDocument& Doc, const std::string& Bytes,
              std::vector<std::string> Passwords, std::vector<int32_t>* Tries = nullptr) {
  Doc.OnPassword = [Passwords, Tries](TvxCustomPDFDocument&, std::string& Pw, bool& Continue,
                                      int32_t Try) {
    if (Tries) Tries->push_back(Try);
    Continue = static_cast<size_t>(Try) < Passwords.size();
    if (Continue) Pw = Passwords[static_cast<size_t>(Try)];
  };
  return Doc.LoadFromMemory(Bytes);
}

TvxPDFDictObject& Page(TvxCustomPDFDocument& Doc) {
  return *static_cast<TvxPDFDictObject*>(Doc.Pages().at(0)->Value.get());
}

std::string StringBytes(const TvxPDFObject* Obj) {
  if (!Obj || !Obj->IsString()) return "<not a string>";
  auto* S = static_cast<const TvxPDFStringObject*>(Obj);
  return S->Text[0] == '<' ? HexToBytes(S->GetValue()) : S->GetValue();
}

std::string ContentOf(TvxCustomPDFDocument& Doc) {
  TvxPDFObject* C = Doc.Store().Resolve(Page(Doc).Lookup("/Contents"));
  return C && C->IsStream() ? static_cast<TvxPDFStreamObject*>(C)->Data->DataString() : "";
}

// An encrypted copy of the plain source, at Level, with passwords
// "user"/"owner" and the given permissions, the title set.
std::string EncryptedCopy(TvxPDFEncryptionLevel Level, TvxUserPermissions Permissions) {
  TvxPDFDocument Doc;
  EXPECT_TRUE(Doc.LoadFromMemory(PlainSource()));
  Doc.Info().SetTitle(TrickyTitle);  // set before encryption is switched on
  TvxPDFEncryptionSettings& E = Doc.Encryption();
  E.SetEnabled(true);
  E.SetLevel(Level);
  E.SetUserPassword("user");
  E.SetOwnerPassword("owner");
  E.SetUserPermissions(Permissions);
  return vxtest::Written(Doc);
}

std::smatch Find(const std::string& Text, const std::string& Pattern) {
  std::smatch M;
  std::regex_search(Text, M, std::regex(Pattern));
  return M;
}

TEST(EncryptedDocument, SavedAtBothLevelsAndReopenedWithEitherPassword) {
  TvxUserPermissions Some;
  Some.Include(AllowPrint);
  Some.Include(AllowCopy);
  Some.Include(AllowAccessibility);
  for (TvxPDFEncryptionLevel Level : {el40bit, el128bit}) {
    SCOPED_TRACE(Level == el40bit ? "40" : "128");
    const std::string File = EncryptedCopy(Level, Some);
    EXPECT_EQ(File.find("Hello secret"), std::string::npos);
    EXPECT_EQ(File.find("Quillory"), std::string::npos) << "producer must be encrypted";
    const std::string Dict =
        Level == el40bit ? "/V 1\r\n/R 2\r\n/Length 40\r\n" : "/V 2\r\n/R 3\r\n/Length 128\r\n";
    EXPECT_NE(File.find(Dict), std::string::npos);
    std::smatch ID = Find(File, "/ID \\[ <([0-9A-F]{32})> <([0-9A-F]{32})> \\]");
    ASSERT_FALSE(ID.empty());
    EXPECT_EQ(ID[1], ID[2]);
    // The encryption dictionary is the last object.
    std::smatch Last = Find(File, "/Encrypt (\\d+) 0 R");
    ASSERT_FALSE(Last.empty());
    EXPECT_NE(File.find("/Size " + std::to_string(std::stoi(Last[1]) + 1) + "\r\n"),
              std::string::npos);

    for (const std::string Password : {"user", "owner"}) {
      SCOPED_TRACE(Password);
      TvxPDFDocument Doc;
      ASSERT_TRUE(LoadWith(Doc, File, {Password}));
      EXPECT_TRUE(Doc.IsEncrypted());
      EXPECT_EQ(Doc.PageCount(), 1);
      EXPECT_EQ(ContentOf(Doc), "BT /F1 24 Tf 72 700 Td (Hello secret) Tj ET");
      EXPECT_EQ(StringBytes(Page(Doc).Lookup("/Bytes")), AllBytes());
      EXPECT_EQ(StringBytes(Page(Doc).Lookup("/Lit")), "a(b)\\c");
      EXPECT_EQ(Doc.Info().GetTitle(), TrickyTitle);
      EXPECT_EQ(Doc.Info().GetProducer(), u"Quillory Paginor V2.5");
      EXPECT_EQ(Doc.Encryption().Level(), Level);
      EXPECT_EQ(Doc.Encryption().UserPassword(), "user");
      if (Password == "owner") {
        EXPECT_TRUE(Doc.IsOwner());
        EXPECT_EQ(Doc.Encryption().UserPermissions(), TvxUserPermissions::All());
        EXPECT_TRUE(Doc.Encryption().Changeable());
      } else {
        EXPECT_FALSE(Doc.IsOwner());
        TvxUserPermissions Want = Some;
        if (Level == el40bit) Want.Bits |= 0xF0;  // not stored at 40 bits
        EXPECT_EQ(Doc.Encryption().UserPermissions(), Want);
        EXPECT_FALSE(Doc.Encryption().Changeable());
        EXPECT_EQ(Doc.Encryption().OwnerPassword(), "");
      }
    }
  }
}

TEST(EncryptedDocument, EverySaveOfOneDocumentHasNewKeysAndFollowsTheSettings) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(PlainSource()));
  Doc.Info().SetCreationDate("D:20240102030405");
  Doc.Encryption().SetEnabled(true);
  Doc.Encryption().SetUserPassword("u");
  const std::string First = vxtest::WrittenUnseeded(Doc);
  const std::string Again = vxtest::WrittenUnseeded(Doc);
  EXPECT_NE(Find(Again, "/ID [^\\r]+").str(), Find(First, "/ID [^\\r]+").str());
  EXPECT_NE(Find(Again, "/U <[0-9A-F]+>").str(), Find(First, "/U <[0-9A-F]+>").str());
  // The 40-bit default with all permissions.
  EXPECT_NE(First.find("/P -4\r\n/V 1\r\n/R 2\r\n/Length 40\r\n"), std::string::npos);
  Doc.Encryption().SetOwnerPassword("new owner");
  const std::string Second = vxtest::WrittenUnseeded(Doc);
  TvxPDFDocument Reopened;
  ASSERT_TRUE(LoadWith(Reopened, Second, {"new owner"}));
  EXPECT_TRUE(Reopened.IsOwner());
  EXPECT_EQ(Reopened.Info().GetCreationDate(), "D:20240102030405");
  for (const std::string* File : {&First, &Again}) {
    TvxPDFDocument Old;
    ASSERT_TRUE(LoadWith(Old, *File, {"u"}));
    EXPECT_TRUE(Old.IsOwner()) << "no owner password: the user's opens as owner";
  }
}

TEST(EncryptedDocument, ResavedCopyKeepsOwnerPasswordAndPermissions) {
  TvxUserPermissions PrintOnly;
  PrintOnly.Include(AllowPrint);
  const std::string Source = EncryptedCopy(el128bit, PrintOnly);
  const std::string SourceP = Find(Source, "/P -?\\d+").str();
  for (const std::string Password : {"user", "owner"}) {
    SCOPED_TRACE(Password);
    TvxPDFDocument Doc;
    ASSERT_TRUE(LoadWith(Doc, Source, {Password}));
    const std::string Copy = vxtest::Written(Doc);
    EXPECT_EQ(Find(Copy, "/P -?\\d+").str(), SourceP);
    EXPECT_EQ(Find(Copy, "/O <[0-9A-F]+>").str(), Find(Source, "/O <[0-9A-F]+>").str());
    TvxPDFDocument ByOwner, ByUser;
    ASSERT_TRUE(LoadWith(ByOwner, Copy, {"owner"}));
    EXPECT_TRUE(ByOwner.IsOwner());
    ASSERT_TRUE(LoadWith(ByUser, Copy, {"user"}));
    EXPECT_FALSE(ByUser.IsOwner());
    EXPECT_EQ(ByUser.Encryption().UserPermissions(), PrintOnly);
    EXPECT_EQ(ContentOf(ByUser), "BT /F1 24 Tf 72 700 Td (Hello secret) Tj ET");
  }
  // New permissions from the owner give a new /P.
  TvxPDFDocument Doc;
  ASSERT_TRUE(LoadWith(Doc, Source, {"owner"}));
  Doc.Encryption().SetUserPermissions(TvxUserPermissions::All());
  EXPECT_NE(vxtest::Written(Doc).find("/P -4\r\n"), std::string::npos);
}

TEST(EncryptedDocument, WrongPasswordsAskAgainAndARefusalLeavesNothingLoaded) {
  const std::string File = EncryptedCopy(el40bit, TvxUserPermissions::All());
  TvxPDFDocument Doc;
  std::vector<int32_t> Tries;
  EXPECT_FALSE(LoadWith(Doc, File, {"a", "b"}, &Tries));
  EXPECT_EQ(Tries, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_FALSE(Doc.IsLoaded());
  Tries.clear();
  EXPECT_TRUE(LoadWith(Doc, File, {"a", "user"}, &Tries));
  EXPECT_EQ(Tries, (std::vector<int32_t>{0, 1}));

  // Without a handler only the empty password is tried.
  TvxPDFDocument NoHandler;
  EXPECT_FALSE(NoHandler.LoadFromMemory(File));
  EXPECT_FALSE(NoHandler.IsLoaded());
  EXPECT_EQ(NoHandler.PageCount(), 0);
  EXPECT_FALSE(NoHandler.Encryption().Enabled());

  TvxPDFDocument EmptyUser;
  ASSERT_TRUE(EmptyUser.LoadFromMemory(PlainSource()));
  EmptyUser.Encryption().SetEnabled(true);
  EmptyUser.Encryption().SetLevel(el128bit);
  EmptyUser.Encryption().SetOwnerPassword("owner");
  TvxPDFDocument Opened;
  EXPECT_TRUE(Opened.LoadFromMemory(vxtest::Written(EmptyUser)));
  EXPECT_EQ(Opened.PageCount(), 1);
  EXPECT_FALSE(Opened.IsOwner());
}

// The catalog, page tree and page live in an RC4-encrypted object stream
// listed by a cross-reference stream; their strings are not encrypted on
// their own.
TEST(EncryptedDocument, ObjectStreamsAreUnpackedThroughTheDecryptor) {
  TvxPDFEncryptionSettings S;
  S.SetLevel(el128bit);
  S.SetUserPassword("u");
  TvxPDFEncryption E(S);
  PdfBuilder B;
  B.Stream(4, "", E.EncryptForObject("0 0 m 10 10 l S", 4));
  B.ObjectStream(5,
                 {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                  {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                  {3,
                   "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R "
                   "/Note (as stored) >>"}},
                 false, [&E](const std::string& Data) { return E.EncryptForObject(Data, 5); });
  B.Object(6, "<< /Filter /Standard /V 2 /R 3 /Length 128 /P " +
                  std::to_string(E.PermissionValue()) + " /O <" + BytesToHex(E.GetOwnerKey()) +
                  "> /U <" + BytesToHex(E.GetUserKey()) + "> >>");
  const std::string ID = "<" + BytesToHex(E.GetFileID()) + ">";
  const std::string File = B.FinishStream(7, "/Root 1 0 R /Encrypt 6 0 R /ID [" + ID + ID + "]");
  TvxPDFDocument Doc;
  ASSERT_TRUE(LoadWith(Doc, File, {"u"}));
  ASSERT_EQ(Doc.PageCount(), 1);
  EXPECT_EQ(StringBytes(Page(Doc).Lookup("/Note")), "as stored");
  EXPECT_EQ(ContentOf(Doc), "0 0 m 10 10 l S");
  // Saved again, it reopens the same.
  TvxPDFDocument Again;
  ASSERT_TRUE(LoadWith(Again, vxtest::Written(Doc), {"u"}));
  EXPECT_EQ(StringBytes(Page(Again).Lookup("/Note")), "as stored");
  EXPECT_EQ(ContentOf(Again), "0 0 m 10 10 l S");
}

// Key lengths other than 40 and 128 bits: revision 3 with a 56-bit key, as
// the file gives it, opens and is saved again with the same key length.
TEST(EncryptedDocument, KeyLengthAndRevisionComeFromTheDictionary) {
  TvxSourceEncryption Source;
  Source.Revision = 3;
  Source.KeyLength = 7;
  Source.P = -3904 + 4;
  Source.PaddedUserPassword = PadPassword("u");
  Source.OwnerKey = ComputeOwnerKey(PadPassword("o"), Source.PaddedUserPassword, 3, 7);
  TvxPDFEncryption E(Source);
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
  B.Stream(4, "", E.EncryptForObject("0 0 m 10 10 l S", 4));
  B.Object(5, "<< /Filter /Standard /V 2 /R 3 /Length 56 /P -3900 /O <" +
                  BytesToHex(E.GetOwnerKey()) + "> /U <" + BytesToHex(E.GetUserKey()) + "> >>");
  const std::string ID = "<" + BytesToHex(E.GetFileID()) + ">";
  const std::string File = B.FinishTable("/Root 1 0 R /Encrypt 5 0 R /ID [" + ID + ID + "]");
  TvxPDFDocument Doc;
  ASSERT_TRUE(LoadWith(Doc, File, {"u"}));
  EXPECT_EQ(ContentOf(Doc), "0 0 m 10 10 l S");
  EXPECT_EQ(Doc.Encryption().UserPermissions().Bits, 1 << AllowPrint);
  const std::string Copy = vxtest::Written(Doc);
  EXPECT_NE(Copy.find("/P -3900\r\n/V 2\r\n/R 3\r\n/Length 56\r\n"), std::string::npos);
  TvxPDFDocument ByOwner;
  ASSERT_TRUE(LoadWith(ByOwner, Copy, {"o"}));
  EXPECT_TRUE(ByOwner.IsOwner());
  EXPECT_EQ(ContentOf(ByOwner), "0 0 m 10 10 l S");

  // Without /Length the key is 40 bits.
  TvxPDFDocument Forty;
  ASSERT_TRUE(Forty.LoadFromMemory(PlainSource()));
  Forty.Encryption().SetEnabled(true);
  std::string Short = vxtest::Written(Forty);
  const std::string Entry = "/R 2\r\n/Length 40\r\n";
  size_t At = Short.find(Entry);
  ASSERT_NE(At, std::string::npos);
  Short.replace(At + 6, 10, std::string(10, ' '));  // same size: offsets stay
  TvxPDFDocument Reopened;
  ASSERT_TRUE(Reopened.LoadFromMemory(Short));
  EXPECT_EQ(ContentOf(Reopened), "BT /F1 24 Tf 72 700 Td (Hello secret) Tj ET");
}

// AES at both strengths: every string and stream round-trips (strings of
// every byte value, the title, the content), and either password opens.
// The owner of an AES-256 file cannot learn its user password; a copy saved
// with new permissions still takes the old one, and not the empty one.
TEST(EncryptedDocument, AESCopiesRoundTripAndKeepTheUnknownUserPassword) {
  for (TvxPDFEncryptionLevel Level : {elAES128, elAES256}) {
    SCOPED_TRACE(static_cast<int>(Level));
    const std::string File = EncryptedCopy(Level, TvxUserPermissions::All());
    EXPECT_NE(File.find(Level == elAES128 ? "/CFM /AESV2" : "/CFM /AESV3"), std::string::npos);
    for (const char* Password : {"user", "owner"}) {
      TvxPDFDocument Doc;
      ASSERT_TRUE(LoadWith(Doc, File, {Password}));
      EXPECT_EQ(Doc.IsOwner(), std::string(Password) == "owner");
      EXPECT_EQ(Doc.Encryption().Level(), Level);
      EXPECT_EQ(StringBytes(Page(Doc).Lookup("/Bytes")), AllBytes());
      EXPECT_EQ(StringBytes(Page(Doc).Lookup("/Lit")), "a(b)\\c");
      EXPECT_EQ(ContentOf(Doc), "BT /F1 24 Tf 72 700 Td (Hello secret) Tj ET");
    }
    TvxPDFDocument Owner;
    ASSERT_TRUE(LoadWith(Owner, File, {"owner"}));
    TvxUserPermissions Set = TvxUserPermissions::None();
    Set.Include(AllowPrint);
    Owner.Encryption().SetUserPermissions(Set);
    const std::string Copy = vxtest::Written(Owner);
    TvxPDFDocument ByUser;
    if (Level == elAES256) {
      ASSERT_TRUE(LoadWith(ByUser, Copy, {"", "user"}));
      EXPECT_FALSE(ByUser.IsOwner());
      EXPECT_EQ(ByUser.Encryption().UserPermissions().Bits, 1 << AllowPrint);
    } else {
      // At AES-128 the owner learns the user password from /O.
      ASSERT_TRUE(LoadWith(ByUser, Copy, {"user"}));
    }
    EXPECT_EQ(ContentOf(ByUser), "BT /F1 24 Tf 72 700 Td (Hello secret) Tj ET");
    TvxPDFDocument Empty;
    EXPECT_FALSE(LoadWith(Empty, Copy, {""}));
    TvxPDFDocument ByOwner;
    ASSERT_TRUE(LoadWith(ByOwner, Copy, {"owner"}));
    EXPECT_TRUE(ByOwner.IsOwner());
  }
}

TEST(EncryptedDocument, UnsupportedMethodsAreRefusedBeforeAnyPassword) {
  struct Case {
    std::string Dict, Message;
  };
  const Case Cases[] = {
      {"/Filter /Standard /V 4 /R 4 /Length 128 /CF << /StdCF << /CFM /None >> >> /StmF /StdCF "
       "/StrF /StdCF /P -4 /O <00> /U <00>",
       "Unsupported encryption (crypt filter /StdCF)"},
      {"/Filter /Standard /V 4 /R 4 /StmF /Other /P -4 /O <00> /U <00>",
       "Unsupported encryption (crypt filter /Other)"},
      {"/Filter /Standard /V 5 /R 6 /CF << /StdCF << /CFM /AESV2 >> >> /StmF /StdCF /P -4 "
       "/O <00> /U <00>",
       "Unsupported encryption (V 5 with RC4 or AES-128)"},
      {"/Filter /Standard /V 4 /R 4 /CF << /StdCF << /CFM /AESV3 >> >> /StrF /StdCF /P -4 "
       "/O <00> /U <00>",
       "Unsupported encryption (AES-256 at V 4)"},
      {"/Filter /Standard /V 5 /R 7 /P -4 /O <00> /U <00>",
       "Unsupported encryption (standard handler V 5 R 7)"},
      {"/Filter /Adobe.PubSec /V 4 /R 131105",
       "Unsupported encryption (security handler "
       "Adobe.PubSec)"},
      {"/Filter /Standard /V 2 /R 3 /Length 256 /P -4 /O <00> /U <00>",
       "Unsupported encryption (RC4 with a 256-bit key)"},
      {"/Filter /Standard /V 2 /P -4 /O <00> /U <00>",
       "Unsupported encryption (standard handler V 2 without R)"}};
  for (const Case& C : Cases) {
    PdfBuilder B;
    B.PageTree({});
    B.Object(3, "<< " + C.Dict + " >>");
    std::string File = B.FinishTable("/Root 1 0 R /Encrypt 3 0 R /ID [<01> <01>]");
    TvxPDFDocument Doc;
    bool Asked = false;
    Doc.OnPassword = [&Asked](TvxCustomPDFDocument&, std::string&, bool& Continue, int32_t) {
      Asked = true;
      Continue = false;
    };
    vxtest::ExpectError<EUnsupportedEncryption>([&] { Doc.LoadFromMemory(File); }, C.Message);
    EXPECT_FALSE(Asked);
  }
}

TEST(EncryptedDocument, DanglingEncryptReferenceIsNeverReadAsPlain) {
  PdfBuilder B;
  B.PageTree({});
  std::string File = B.FinishTable("/Root 1 0 R /Encrypt 9 0 R /ID [<01> <01>]");
  TvxPDFDocument Doc;
  vxtest::ExpectError<EUnsupportedEncryption>([&] { Doc.LoadFromMemory(File); },
                                              "Unsupported encryption (no encryption dictionary)");
  EXPECT_FALSE(Doc.IsLoaded());
}

TEST(EncryptedDocument, MissingKeysAndPermissionsAreReportedNotDereferenced) {
  const std::pair<std::string, std::string> Cases[] = {
      {"/U <00> /P -4", "Invalid Owner Key."},
      {"/O <00> /P -4", "Invalid User Key."},
      {"/O <00> /U <00>", "Invalid permission in encryption dictionary"},
      {"/O <00> /U <00> /P (x)", "Invalid permission in encryption dictionary"}};
  for (const auto& [Entries, Message] : Cases) {
    PdfBuilder B;
    B.PageTree({});
    B.Object(3, "<< /Filter /Standard /V 1 /R 2 " + Entries + " >>");
    std::string File = B.FinishTable("/Root 1 0 R /Encrypt 3 0 R");
    TvxPDFDocument Doc;
    if (Message.find("permission") != std::string::npos)
      vxtest::ExpectError<EInvalidPermission>([&] { Doc.LoadFromMemory(File); }, Message);
    else
      vxtest::ExpectError<Exception>([&] { Doc.LoadFromMemory(File); }, Message);
  }
}

}  // namespace

namespace {

std::string HeaderOf(const std::string& File) {
  return File.substr(0, File.find('\r'));
}

// AES output carries at least the version that brought its method; RC4 and a
// higher version of the document's own are left as they are.
TEST(EncryptedDocument, HeaderVersionIsRaisedForAES) {
  struct Case {
    TvxPDFVersion Own;
    TvxPDFEncryptionLevel Level;
    const char* Header;
  };
  const Case Cases[] = {{pvPDF14, el40bit, "%PDF-1.4"},  {pvPDF13, el128bit, "%PDF-1.3"},
                        {pvPDF14, elAES128, "%PDF-1.6"}, {pvPDF14, elAES256, "%PDF-2.0"},
                        {pvPDF17, elAES128, "%PDF-1.7"}, {pvPDF17, elAES256, "%PDF-2.0"},
                        {pvPDF20, elAES128, "%PDF-2.0"}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Header);
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromMemory(PlainSource()));
    Doc.SetPDFVersion(C.Own);
    Doc.Encryption().SetEnabled(true);
    Doc.Encryption().SetLevel(C.Level);
    Doc.Encryption().SetUserPassword("user");
    EXPECT_EQ(HeaderOf(vxtest::Written(Doc)), C.Header);
    // The document's own version is not changed by it.
    EXPECT_EQ(Doc.PDFVersion(), C.Own);
    Doc.Encryption().SetEnabled(false);
    EXPECT_EQ(HeaderOf(vxtest::Written(Doc)), "%PDF-" + TvxDocumentWriter::VersionText(C.Own));
  }
}

// A password SASLprep refuses is not written into an AES-256 file: readers
// that prepare passwords could not open it. The target stays untouched.
TEST(EncryptedDocument, AES256RefusesPasswordsSASLprepRejects) {
  const std::string Target = vxtest::TempPath("refused_password.pdf");
  std::remove(Target.c_str());
  struct Case {
    std::string User, Owner, Problem;
  };
  const Case Cases[] = {{"a\x07", "owner", "prohibited character U+0007"},
                        {"user", "\xD7\x90x", "right-to-left text mixed with left-to-right text"},
                        {"\xEE\x80\x80", "", "prohibited character U+E000"}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Problem);
    TvxPDFDocument Doc;
    ASSERT_TRUE(Doc.LoadFromMemory(PlainSource()));
    TvxPDFEncryptionSettings& E = Doc.Encryption();
    E.SetEnabled(true);
    E.SetLevel(elAES256);
    E.SetUserPassword(C.User);
    E.SetOwnerPassword(C.Owner);
    vxtest::ExpectError<EEncryptionSettingsError>(
        [&] { Doc.SaveToFile(Target); },
        "The password cannot be used for AES-256 (" + C.Problem + ")");
    EXPECT_FALSE(std::ifstream(Target).good());
    // The other levels take the bytes as they are.
    E.SetLevel(elAES128);
    const std::string File = vxtest::Written(Doc);
    TvxPDFDocument Reopened;
    EXPECT_TRUE(LoadWith(Reopened, File, {C.User}));
  }
}

// After an owner-password open of AES-256 the user password is unknown. A
// copy at another level would have the empty one, so it needs one set; when
// the source's user password is the empty one, nothing is lost.
TEST(EncryptedDocument, LowerLevelAfterAES256OwnerOpenNeedsAUserPassword) {
  const std::string File = EncryptedCopy(elAES256, TvxUserPermissions::All());
  for (TvxPDFEncryptionLevel Level : {el40bit, el128bit, elAES128}) {
    SCOPED_TRACE(static_cast<int>(Level));
    TvxPDFDocument Doc;
    ASSERT_TRUE(LoadWith(Doc, File, {"owner"}));
    Doc.Encryption().SetLevel(Level);
    vxtest::ExpectError<EEncryptionSettingsError>(
        [&] { vxtest::Written(Doc); },
        "Set a user password: the AES-256 source's user password is unknown after an "
        "owner-password open and cannot be carried to another encryption level");
    Doc.Encryption().SetUserPassword("new");
    const std::string Copy = vxtest::Written(Doc);
    TvxPDFDocument Empty;
    EXPECT_FALSE(LoadWith(Empty, Copy, {""}));
    TvxPDFDocument ByUser;
    ASSERT_TRUE(LoadWith(ByUser, Copy, {"new"}));
    EXPECT_EQ(ByUser.Encryption().Level(), Level);
    EXPECT_EQ(ContentOf(ByUser), "BT /F1 24 Tf 72 700 Td (Hello secret) Tj ET");
  }

  TvxPDFDocument Open;
  ASSERT_TRUE(Open.LoadFromMemory(PlainSource()));
  Open.Encryption().SetEnabled(true);
  Open.Encryption().SetLevel(elAES256);
  Open.Encryption().SetOwnerPassword("owner");
  const std::string NoUserPassword = vxtest::Written(Open);
  TvxPDFDocument Doc;
  ASSERT_TRUE(LoadWith(Doc, NoUserPassword, {"owner"}));
  EXPECT_TRUE(Doc.IsOwner());
  Doc.Encryption().SetLevel(elAES128);
  const std::string Copy = vxtest::Written(Doc);
  TvxPDFDocument ByUser;
  ASSERT_TRUE(LoadWith(ByUser, Copy, {""}));
  EXPECT_FALSE(ByUser.IsOwner());
  TvxPDFDocument ByOwner;
  ASSERT_TRUE(LoadWith(ByOwner, Copy, {"owner"}));
  EXPECT_TRUE(ByOwner.IsOwner());
}

}  // namespace
