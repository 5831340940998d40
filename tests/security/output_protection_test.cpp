// What keeps encrypted output safe beyond a password check: no two saved
// files share a key stream, restrictions hold without an owner password,
// damaged AES-256 key material is refused, and /Perms outranks /P.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxUtils.h"
#include "pdf/security/vxPDFCrypt.h"
#include "support/documents.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

const std::string PageText = "BT /F1 24 Tf 72 700 Td (The same words in every copy) Tj ET";

// One page; no creation date and, unless ID is given, no /ID: nothing in
// the source tells two such documents apart.
std::string Source(const std::string& Title, const std::string& ID = "") {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
  B.Stream(4, "", PageText);
  B.Object(5, "<< /Title (" + Title + ") >>");
  return B.FinishTable("/Root 1 0 R /Info 5 0 R" + (ID.empty() ? "" : " /ID " + ID));
}

std::string Match(const std::string& Text, const std::string& Pattern, int Group = 1) {
  std::smatch M;
  if (!std::regex_search(Text, M, std::regex(Pattern))) return {};
  return M[Group];
}

// The raw bytes between "stream\r\n" and "\r\nendstream" of object N.
std::string StreamBytes(const std::string& File, int N) {
  const std::string Head = "\r\n" + std::to_string(N) + " 0 obj\r\n";
  size_t At = File.find(Head);
  if (At == std::string::npos) return {};
  size_t Start = File.find("stream\r\n", At);
  size_t End = File.find("\r\nendstream", Start);
  if (Start == std::string::npos || End == std::string::npos) return {};
  return File.substr(Start + 8, End - Start - 8);
}

// The object number of the content stream of the first page.
int ContentNumber(const std::string& File) {
  const std::string N = Match(File, "/Contents (\\d+) 0 R");
  return N.empty() ? -1 : std::stoi(N);
}

std::string Encrypted(const std::string& Bytes, TvxPDFEncryptionLevel Level,
                      const std::string& User, const std::string& Owner,
                      TvxUserPermissions Permissions = TvxUserPermissions::All(),
                      std::vector<std::string>* Warnings = nullptr) {
  TvxPDFDocument Doc;
  EXPECT_TRUE(Doc.LoadFromMemory(Bytes));
  if (Warnings)
    Doc.OnWarning = [Warnings](TvxCustomPDFDocument&, const std::string& W) {
      Warnings->push_back(W);
    };
  TvxPDFEncryptionSettings& E = Doc.Encryption();
  E.SetEnabled(true);
  E.SetLevel(Level);
  E.SetUserPassword(User);
  E.SetOwnerPassword(Owner);
  E.SetUserPermissions(Permissions);
  return vxtest::WrittenUnseeded(Doc);
}

bool Open(TvxCustomPDFDocument& Doc, const std::string& Bytes, const std::string& Password,
          std::vector<std::string>* Warnings = nullptr) {
  Doc.OnPassword = [Password](TvxCustomPDFDocument&, std::string& Pw, bool& Continue, int32_t Try) {
    Continue = Try == 0;
    Pw = Password;
  };
  if (Warnings)
    Doc.OnWarning = [Warnings](TvxCustomPDFDocument&, const std::string& W) {
      Warnings->push_back(W);
    };
  return Doc.LoadFromMemory(Bytes);
}

std::string XorOf(const std::string& A, const std::string& B) {
  std::string Out(std::min(A.size(), B.size()), '\0');
  for (size_t I = 0; I < Out.size(); ++I) Out[I] = static_cast<char>(A[I] ^ B[I]);
  return Out;
}

TvxUserPermissions Only(std::initializer_list<TvxUserPermissionsType> List) {
  TvxUserPermissions P = TvxUserPermissions::None();
  for (TvxUserPermissionsType T : List) P.Include(T);
  return P;
}

}  // namespace

// Two documents with equal passwords, and one document saved twice, must
// not share a file key: XOR of two RC4 streams under one key would show
// the XOR of their plain texts, without any password.
TEST(OutputKeys, EverySavedFileHasItsOwnIdentifierAndKey) {
  for (TvxPDFEncryptionLevel Level : {el40bit, el128bit, elAES128}) {
    SCOPED_TRACE(static_cast<int>(Level));
    const std::string A = Source("Copy for A");
    const std::string Files[] = {Encrypted(A, Level, "u", "o"), Encrypted(A, Level, "u", "o"),
                                 Encrypted(Source("Copy for B"), Level, "u", "o")};
    std::vector<std::string> IDs, Users, Contents;
    for (const std::string& F : Files) {
      const std::string First = Match(F, "/ID \\[ <([0-9A-F]{32})> <([0-9A-F]{32})> \\]");
      ASSERT_FALSE(First.empty());
      IDs.push_back(First);
      Users.push_back(Match(F, "/U <([0-9A-F]+)>"));
      Contents.push_back(StreamBytes(F, ContentNumber(F)));
      ASSERT_FALSE(Contents.back().empty());
      EXPECT_EQ(Contents.back().find("same words"), std::string::npos);
      // Each copy still opens with both passwords and reads the same.
      for (const char* Password : {"u", "o"}) {
        TvxPDFDocument Doc;
        ASSERT_TRUE(Open(Doc, F, Password));
        TvxPDFObject* C = Doc.Store().Resolve(
            static_cast<TvxPDFDictObject*>(Doc.Pages().at(0)->Value.get())->Lookup("/Contents"));
        ASSERT_TRUE(C && C->IsStream());
        EXPECT_EQ(static_cast<TvxPDFStreamObject*>(C)->Data->DataString(), PageText);
      }
    }
    for (size_t I = 0; I < 3; ++I)
      for (size_t J = I + 1; J < 3; ++J) {
        EXPECT_NE(IDs[I], IDs[J]);
        EXPECT_NE(Users[I], Users[J]);
        // Equal plain text under a shared key stream would give equal bytes.
        EXPECT_NE(Contents[I], Contents[J]);
        EXPECT_NE(XorOf(Contents[I], Contents[J]), std::string(Contents[I].size(), '\0'));
      }
  }
}

TEST(OutputKeys, PlainOutputKeepsTheDocumentsIdentityAndNamesEachVersion) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Doc.LoadFromMemory(Source("Kept", "[<00112233445566778899AABBCCDDEEFF> <01>]")));
  const std::string First = vxtest::WrittenUnseeded(Doc);
  const std::string Second = vxtest::WrittenUnseeded(Doc);
  const std::string Pattern = "/ID \\[ <00112233445566778899AABBCCDDEEFF> <([0-9A-F]{32})> \\]";
  ASSERT_FALSE(Match(First, Pattern).empty());
  ASSERT_FALSE(Match(Second, Pattern).empty());
  EXPECT_NE(Match(First, Pattern), Match(Second, Pattern));

  TvxPDFDocument Bare;
  ASSERT_TRUE(Bare.LoadFromMemory(Source("No identifier")));
  const std::string Made = vxtest::WrittenUnseeded(Bare);
  const std::string Both = "/ID \\[ <([0-9A-F]{32})> <([0-9A-F]{32})> \\]";
  EXPECT_NE(Match(Made, Both, 1), Match(Made, Both, 2));
  EXPECT_NE(Match(Made, Both, 1), Match(vxtest::WrittenUnseeded(Bare), Both, 1));
}

// Restricted permissions with no owner password: the user password must not
// open the copy as its owner, nor the empty password when there is no user
// password.
TEST(OwnerPassword, RestrictionsWithoutOwnerPasswordGetARandomOne) {
  const TvxUserPermissions PrintOnly = Only({AllowPrint, AllowHighResPrint});
  for (TvxPDFEncryptionLevel Level : {el128bit, elAES128, elAES256}) {
    for (const std::string User : {"u", ""}) {
      SCOPED_TRACE(std::to_string(Level) + " user '" + User + "'");
      std::vector<std::string> Warnings;
      const std::string File =
          Encrypted(Source("Restricted"), Level, User, "", PrintOnly, &Warnings);
      ASSERT_EQ(Warnings.size(), 1u);
      EXPECT_EQ(Warnings[0],
                "no owner password given: the restrictions can only be lifted by re-encrypting "
                "from the original");
      TvxPDFDocument Doc;
      ASSERT_TRUE(Open(Doc, File, User));
      EXPECT_FALSE(Doc.IsOwner());
      EXPECT_EQ(Doc.Encryption().UserPermissions(), PrintOnly);
    }
  }
  // Without restrictions nothing is made up: the user password is the
  // owner's, as before.
  std::vector<std::string> Warnings;
  const std::string Open1 =
      Encrypted(Source("Open"), el128bit, "u", "", TvxUserPermissions::All(), &Warnings);
  EXPECT_TRUE(Warnings.empty());
  TvxPDFDocument Doc;
  ASSERT_TRUE(Open(Doc, Open1, "u"));
  EXPECT_TRUE(Doc.IsOwner());
}

TEST(OwnerPassword, PermissionsTheLevelCannotHoldAreNamed) {
  std::vector<std::string> Warnings;
  // At 40 bits fill goes with annotate and high-resolution print with print.
  Encrypted(Source("Forty"), el40bit, "u", "o", Only({AllowPrint, AllowFormFill}), &Warnings);
  ASSERT_EQ(Warnings.size(), 1u);
  EXPECT_EQ(Warnings[0],
            "The encryption level cannot hold these permissions as asked: fill (goes with "
            "annotate at 40 bits), hiresprint (goes with print at 40 bits)");
  Warnings.clear();
  Encrypted(Source("Forty"), el40bit, "u", "o", TvxUserPermissions::None(), &Warnings);
  Encrypted(Source("Forty"), el128bit, "u", "o", Only({AllowPrint, AllowFormFill}), &Warnings);
  EXPECT_TRUE(Warnings.empty());
  Encrypted(Source("Hires"), elAES256, "u", "o", Only({AllowHighResPrint}), &Warnings);
  ASSERT_EQ(Warnings.size(), 1u);
  EXPECT_EQ(Warnings[0],
            "The encryption level cannot hold these permissions as asked: hiresprint (needs "
            "print)");
}

// An AES-256 dictionary with key material missing or cut short would open
// with a wrong key and be re-saved as garbage; no repair can help.
TEST(DamagedAES256Keys, AreRefusedNamingTheEntry) {
  vxtest::SeededRandom Seeded(5);
  const std::string Good = Encrypted(Source("Keys"), elAES256, "u", "o");
  for (const std::string Key : {"/UE", "/OE", "/U", "/O"}) {
    const std::string Entry = Match(Good, "\r\n(" + Key + " <[0-9A-F]+>)\r\n");
    ASSERT_FALSE(Entry.empty()) << Key;
    // Same lengths, so the offsets stay right: the key renamed, or its
    // value cut to 31 bytes.
    const std::string Renamed = "/XX" + Entry.substr(Key.size());
    std::string Short = Key + " <" + Entry.substr(Key.size() + 2, 62) + ">";
    Short.resize(Entry.size(), ' ');
    for (const std::string& Damaged : {Renamed, Short}) {
      std::string File = Good;
      File.replace(File.find(Entry), Entry.size(), Damaged);
      for (bool Repair : {false, true}) {
        SCOPED_TRACE(Damaged + (Repair ? " repair" : ""));
        TvxPDFDocument Doc;
        Doc.RepairDamaged = Repair;
        vxtest::ExpectError<EDamagedEncryption>(
            [&] { Open(Doc, File, "u"); },
            "The encryption dictionary's " + Key +
                " entry is missing or too short: the file key cannot be recovered");
        EXPECT_FALSE(Doc.IsLoaded());
      }
    }
  }
  TvxPDFDocument Doc;
  EXPECT_TRUE(Open(Doc, Good, "u"));
}

// /P can be changed by anyone; /Perms only with the file key.
TEST(PermsEntry, HoldsOverATamperedP) {
  vxtest::SeededRandom Seeded(6);
  const TvxUserPermissions PrintOnly = Only({AllowPrint});
  const std::string Good = Encrypted(Source("Perms"), elAES256, "u", "o", PrintOnly);
  const std::string P = Match(Good, "\r\n/P (-?\\d+)\r\n");
  ASSERT_FALSE(P.empty());
  std::string Widened = Good;
  // Every permission, padded to keep the offsets.
  std::string AllowAll = "-4";
  AllowAll.resize(P.size(), ' ');
  Widened.replace(Widened.find("\r\n/P " + P + "\r\n") + 5, P.size(), AllowAll);

  std::vector<std::string> Warnings;
  TvxPDFDocument Doc;
  ASSERT_TRUE(Open(Doc, Widened, "u", &Warnings));
  EXPECT_EQ(Doc.Encryption().UserPermissions(), PrintOnly);
  EXPECT_EQ(Warnings, std::vector<std::string>{
                          "The /P entry does not match /Perms: the permissions /Perms holds are "
                          "taken"});
  // A re-save signs what /Perms held, not the tampered value.
  const std::string Again = vxtest::Written(Doc);
  EXPECT_EQ(Match(Again, "\r\n/P (-?\\d+)\r\n"), P);
  TvxPDFDocument Reread;
  Warnings.clear();
  ASSERT_TRUE(Open(Reread, Again, "u", &Warnings));
  EXPECT_EQ(Reread.Encryption().UserPermissions(), PrintOnly);
  EXPECT_TRUE(Warnings.empty());
}

TEST(PermsEntry, UnreadablePermsKeepsPAndNeverWidensIt) {
  vxtest::SeededRandom Seeded(7);
  const TvxUserPermissions Some = Only({AllowPrint, AllowCopy});
  const std::string Good = Encrypted(Source("Perms"), elAES256, "u", "o", Some);
  const std::string Perms = Match(Good, "\r\n/Perms <([0-9A-F]{32})>\r\n");
  ASSERT_FALSE(Perms.empty());
  std::string Broken = Good;
  Broken.replace(Broken.find(Perms), 32, std::string(32, 'A'));
  const std::string P = Match(Good, "\r\n/P (-?\\d+)\r\n");

  std::vector<std::string> Warnings;
  TvxPDFDocument Doc;
  ASSERT_TRUE(Open(Doc, Broken, "u", &Warnings));
  EXPECT_EQ(Doc.Encryption().UserPermissions(), Some);
  EXPECT_EQ(Warnings, std::vector<std::string>{
                          "The /Perms entry cannot be read: the permissions of /P are kept"});
  const std::string Again = vxtest::Written(Doc);
  EXPECT_EQ(Match(Again, "\r\n/P (-?\\d+)\r\n"), P);
  TvxPDFDocument Reread;
  ASSERT_TRUE(Open(Reread, Again, "u"));
  EXPECT_EQ(Reread.Encryption().UserPermissions(), Some);
}

namespace {

const std::string Attachment = "Attached figures: 1, 2, 3.";

// A file that encrypts only its attachment (/AuthEvent /EFOpen), made with
// the keys of an encryptor at Level (AES-128 or RC4 through a crypt filter).
std::string AttachmentOnlySource(TvxPDFEncryptionLevel Level) {
  TvxPDFEncryptionSettings S;
  S.SetLevel(Level);
  S.SetUserPassword("u");
  S.SetOwnerPassword("o");
  TvxPDFEncryption E(S);
  PdfBuilder B;
  B.PageTree({3}, "/Names << /EmbeddedFiles << /Names [(a.txt) 6 0 R] >> >>");
  B.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
  B.Stream(4, "", PageText);
  B.Object(5, "<< /Title (Visible title) >>");
  B.Object(6, "<< /Type /Filespec /F (a.txt) /EF << /F 7 0 R >> >>");
  B.Stream(7, "/Type /EmbeddedFile", E.EncryptForObject(Attachment, 7));
  const bool AES = Level == elAES128;
  B.Object(8, std::string("<< /Filter /Standard /V 4 /R 4 /Length 128 /CF << /StdCF << /CFM ") +
                  (AES ? "/AESV2" : "/V2") +
                  " /AuthEvent /EFOpen /Length 16 >> >> /StmF /Identity /StrF /Identity "
                  "/EFF /StdCF /O <" +
                  BytesToHex(E.GetOwnerKey()) + "> /U <" + BytesToHex(E.GetUserKey()) +
                  "> /P -4 >>");
  const std::string ID = "<" + BytesToHex(E.GetFileID()) + ">";
  return B.FinishTable("/Root 1 0 R /Info 5 0 R /Encrypt 8 0 R /ID [" + ID + ID + "]");
}

std::string AttachmentOf(TvxCustomPDFDocument& Doc) {
  for (int32_t I = 0; I < Doc.Store().Count(); ++I) {
    const TvxPDFObject* V = Doc.Store().GetObject(I)->Value.get();
    if (!V || !V->IsStream()) continue;
    const auto* S = static_cast<const TvxPDFStreamObject*>(V);
    const TvxPDFObject* Type = S->Dict ? S->Dict->Lookup("/Type") : nullptr;
    if (Type && Type->IsName() &&
        static_cast<const TvxPDFNameObject*>(Type)->Text == "/EmbeddedFile")
      return S->Data.ReadAll();
  }
  return "<no attachment>";
}

}  // namespace

// Only the attachment needs the password in the source; a re-saved copy
// keeps it so, under a new identifier.
TEST(AttachmentOnlyEncryption, IsKeptOnResave) {
  for (TvxPDFEncryptionLevel Level : {elAES128, el128bit}) {
    SCOPED_TRACE(static_cast<int>(Level));
    const std::string Source = AttachmentOnlySource(Level);
    std::vector<std::string> Warnings;
    TvxPDFDocument Doc;
    ASSERT_TRUE(Open(Doc, Source, "u", &Warnings));
    EXPECT_EQ(AttachmentOf(Doc), Attachment);
    const std::string Copy = vxtest::Written(Doc);
    EXPECT_TRUE(Warnings.empty());
    EXPECT_NE(Copy.find("/AuthEvent /EFOpen"), std::string::npos);
    EXPECT_NE(Copy.find(std::string("/CFM ") + (Level == elAES128 ? "/AESV2" : "/V2")),
              std::string::npos);
    EXPECT_NE(Copy.find("/StmF /Identity\r\n/StrF /Identity\r\n/EFF /StdCF"), std::string::npos);
    EXPECT_NE(Copy.find("/V 4\r\n/R 4\r\n"), std::string::npos);
    // The page is plain; the attachment is not.
    EXPECT_NE(Copy.find(PageText), std::string::npos);
    EXPECT_EQ(Copy.find(Attachment), std::string::npos);
    TvxPDFDocument Again;
    ASSERT_TRUE(Open(Again, Copy, "u"));
    EXPECT_EQ(AttachmentOf(Again), Attachment);
    if (vxtest::HaveTool("qpdf")) {
      const std::string Path = vxtest::WriteTempFile("attachment_only.pdf", Copy);
      EXPECT_EQ(vxtest::RunCommand("qpdf --check --password=u " + Path), 0);
      EXPECT_EQ(vxtest::RunCommand("qpdf --show-encryption --password=u " + Path +
                                   " | grep -q 'stream encryption method: none'"),
                0);
    }
    EXPECT_EQ(Again.Info().GetTitle(), u"Visible title");
    TvxPDFDocument AsOwner;
    ASSERT_TRUE(Open(AsOwner, Copy, "o"));
    EXPECT_TRUE(AsOwner.IsOwner());
    EXPECT_EQ(AttachmentOf(AsOwner), Attachment);

    // New settings encrypt the whole copy, and say so.
    TvxPDFDocument Owner;
    ASSERT_TRUE(Open(Owner, Source, "o", &Warnings));
    Owner.Encryption().SetUserPassword("u2");
    const std::string Whole = vxtest::Written(Owner);
    ASSERT_EQ(Warnings.size(), 1u);
    EXPECT_EQ(Warnings[0],
              "The source encrypts only its attachments; with new encryption settings the whole "
              "copy is encrypted and needs the password to open");
    EXPECT_EQ(Whole.find(PageText), std::string::npos);
  }
}
