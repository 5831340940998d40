// MD5 and RC4 against their published vectors, and the key derivation of the
// standard handler against files qpdf encrypted with a fixed identifier.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "pdf/objects/vxUtils.h"
#include "pdf/security/vxMD5.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/security/vxPasswordText.h"
#include "pdf/security/vxRC4.h"
#include "support/expect_error.h"
#include "support/hex.h"

using namespace vx;

namespace {

using vxtest::Hex;
using vxtest::Unhex;

TEST(MD5, Rfc1321Vectors) {
  const std::pair<const char*, const char*> Vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"}};
  for (const auto& [Text, Digest] : Vectors) EXPECT_EQ(Hex(MD5Bytes(Text)), Digest) << Text;
  std::string Eighty;
  for (int I = 0; I < 8; ++I) Eighty += "1234567890";
  EXPECT_EQ(Hex(MD5Bytes(Eighty)), "57edf4a22be3c955ac49da2e2107b67a");
}

std::string DigestText(const TvxMD5Digest& D) {
  return Hex(std::string_view(reinterpret_cast<const char*>(D.data()), D.size()));
}

// Pieces of every size around the 64-byte block, over bytes that differ, so
// a piece lost, repeated or reordered changes the digest.
TEST(MD5, UpdatesInPiecesGiveTheDigestOfOneCall) {
  std::string Text(1000, '\0');
  for (size_t I = 0; I < Text.size(); ++I) Text[I] = static_cast<char>(I * 31 % 251);
  const std::string Whole = Hex(MD5Bytes(Text));
  for (size_t Piece : {1u, 3u, 7u, 55u, 56u, 63u, 64u, 65u, 127u, 333u, 999u}) {
    TvxMD5Context C;
    MD5Init(C);
    for (size_t At = 0; At < Text.size(); At += Piece)
      MD5Update(C, std::string_view(Text).substr(At, Piece));
    MD5Update(C, Text.data(), 0);
    EXPECT_EQ(DigestText(MD5Final(C)), Whole) << Piece;
  }
  // A million "a", as in the SHA test vectors.
  const std::string Block(4099, 'a');
  TvxMD5Context C;
  MD5Init(C);
  size_t Left = 1000000;
  for (; Left > Block.size(); Left -= Block.size()) MD5Update(C, Block);
  MD5Update(C, Block.data(), Left);
  EXPECT_EQ(DigestText(MD5Final(C)), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(MD5, FinalReleasesTheStateAndInitStartsAgain) {
  TvxMD5Context C;
  vxtest::ExpectError<Exception>([&] { MD5Update(C, "abc"); }, "MD5: context not initialized");
  MD5Init(C);
  MD5Update(C, "partial input");
  // Init drops what came before.
  MD5Init(C);
  MD5Update(C, "abc");
  EXPECT_EQ(DigestText(MD5Final(C)), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(C.Digest, nullptr);
  vxtest::ExpectError<Exception>([&] { MD5Final(C); }, "MD5: context not initialized");
  MD5Init(C);
  EXPECT_EQ(DigestText(MD5Final(C)), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(RC4, PublishedVectorsAndRestartFromTheKeySchedule) {
  const std::tuple<const char*, const char*, const char*> Vectors[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Wiki", "pedia", "1021bf0420"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"}};
  for (const auto& [Key, Plain, Cipher] : Vectors) {
    TvxRC4Context C;
    RC4Init(C, Key, static_cast<int32_t>(std::string_view(Key).size()));
    std::string Data(Plain);
    RC4Crypt(C, Data.data(), Data.data(), Data.size());
    EXPECT_EQ(Hex(Data), Cipher);
    // Every call starts the key stream again: a second call decrypts.
    RC4Crypt(C, Data.data(), Data.data(), Data.size());
    EXPECT_EQ(Data, Plain);
  }
}

TEST(RC4, KeyLengthOutsideOneTo256IsRefused) {
  TvxRC4Context C;
  std::string Key(257, 'k');
  vxtest::ExpectError<Exception>([&] { RC4Init(C, Key.data(), 0); }, "RC4: Invalid key length");
  vxtest::ExpectError<Exception>([&] { RC4Init(C, Key.data(), 257); }, "RC4: Invalid key length");
  EXPECT_NO_THROW(RC4Init(C, Key.data(), 256));
}

// qpdf --static-id --encrypt user owner 40|128 (RC4): identifier, /O, /U
// and the file key it reports.
struct QpdfVector {
  TvxPDFEncryptionLevel Level;
  const char* O;
  const char* U;
  const char* Key;
};
constexpr const char* QpdfID = "31415926535897932384626433832795";
const QpdfVector Qpdf[] = {
    {el40bit, "94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f",
     "2aa12f26bcf1a217c0f1ee491745f646671475ae85bddf3e3c1a45a8457391cb", "ee4fd3a223"},
    {el128bit, "0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671",
     "763f954d16622015ee88b60b3eb8f759", "55831911f0f2b9a08ac3cbcc766166db"}};

TEST(KeyDerivation, OwnerKeyFileKeyAndUserKeyMatchQpdf) {
  const std::string ID = Unhex(QpdfID);
  for (const QpdfVector& V : Qpdf) {
    const int32_t R = RevisionOf(V.Level), N = KeyLengthOf(V.Level);
    std::string O = ComputeOwnerKey(PadPassword("owner"), PadPassword("user"), R, N);
    EXPECT_EQ(Hex(O), V.O);
    std::string Key = ComputeFileKey(PadPassword("user"), O, -4, ID, R, N);
    EXPECT_EQ(Hex(Key), V.Key);
    std::string U = ComputeUserKey(Key, ID, R);
    ASSERT_EQ(U.size(), 32u);
    // Revision 3 fixes only the first 16 bytes; ours ends in zeros.
    EXPECT_EQ(Hex(U).substr(0, std::string_view(V.U).size()), V.U);
    if (R == 3) {
      EXPECT_EQ(U.substr(16), std::string(16, '\0'));
    }
    EXPECT_EQ(UnpadPassword(RecoverPaddedUser("owner", O, R, N)), "user");
    // Per-object keys: n + 5 bytes, at most 16.
    EXPECT_EQ(ObjectKey(Key, 7, 0).size(), V.Level == el40bit ? 10u : 16u);
  }
}

TEST(KeyDerivation, DecryptorAcceptsUserAndOwnerPasswordsAndFillsTheSettings) {
  for (const QpdfVector& V : Qpdf) {
    SCOPED_TRACE(V.Key);
    auto Make = [&V] {
      auto D = std::make_unique<TvxPDFDecrypt>();
      D->SetKeyLengthAndRevision(KeyLengthOf(V.Level), RevisionOf(V.Level));
      D->SetFileID(Unhex(QpdfID));
      D->SetOwnerKey(std::string("<") + V.O + ">");
      D->SetUserKey(std::string("<") + V.U + ">");
      D->SetPermissions(-4);
      return D;
    };
    TvxPDFEncryptionSettings Wrong, User, Owner;
    EXPECT_FALSE(Make()->VerifyPassword("nope", Wrong));
    EXPECT_TRUE(Wrong.Changeable());

    auto ByUser = Make();
    ASSERT_TRUE(ByUser->VerifyPassword("user", User));
    EXPECT_FALSE(ByUser->IsOwnerFlag());
    EXPECT_EQ(Hex(ByUser->GetKey()), V.Key);
    EXPECT_FALSE(User.Changeable());
    EXPECT_EQ(User.OwnerPassword(), "");  // hidden while locked
    EXPECT_EQ(User.UserPassword(), "user");

    auto ByOwner = Make();
    ASSERT_TRUE(ByOwner->VerifyPassword("owner", Owner));
    EXPECT_TRUE(ByOwner->IsOwnerFlag());
    EXPECT_EQ(Hex(ByOwner->GetKey()), V.Key);
    EXPECT_TRUE(Owner.Changeable());
    EXPECT_EQ(Owner.OwnerPassword(), "owner");
    EXPECT_EQ(Owner.UserPassword(), "user");
    EXPECT_EQ(Owner.UserPermissions(), TvxUserPermissions::All());
    EXPECT_EQ(Owner.Level(), V.Level);
  }
}

TEST(KeyDerivation, EncryptorReproducesItsOwnKeysThroughTheDecryptor) {
  for (TvxPDFEncryptionLevel Level : {el40bit, el128bit}) {
    TvxPDFEncryptionSettings S;
    S.SetLevel(Level);
    S.SetUserPassword("u\x01\xFF");
    S.SetOwnerPassword(std::string(40, 'o'));  // only the first 32 bytes count
    TvxPDFEncryption E(S);
    ASSERT_EQ(E.GetFileID().size(), 16u);
    EXPECT_NE(TvxPDFEncryption(S).GetFileID(), E.GetFileID()) << "each encryptor draws its own";
    TvxPDFDecrypt D;
    D.SetKeyLengthAndRevision(E.KeyLength(), E.Revision());
    D.SetFileID(E.GetFileID());
    D.SetOwnerKey("<" + BytesToHex(E.GetOwnerKey()) + ">");
    D.SetUserKey("(" + E.GetUserKey() + ")");
    D.SetPermissions(E.PermissionValue());
    TvxPDFEncryptionSettings Read;
    ASSERT_TRUE(D.VerifyPassword(std::string(32, 'o'), Read));
    EXPECT_EQ(Read.UserPassword(), "u\x01\xFF");
    EXPECT_EQ(D.GetKey(), E.GetKey());
    std::string Data = "stream data";
    std::string Enc = E.EncryptForObject(Data, 12);
    EXPECT_NE(Enc, Data);
    D.DecryptString(Enc, 12, 0);
    EXPECT_EQ(Enc, Data);
  }
}

TEST(KeyDerivation, OwnerAndUserKeysAreReadBounded) {
  TvxPDFDecrypt D;
  vxtest::ExpectError<Exception>([&] { D.SetOwnerKey(""); }, "Invalid Owner Key.");
  vxtest::ExpectError<Exception>([&] { D.SetUserKey(""); }, "Invalid User Key.");
  // Longer values: the first 32 bytes; shorter: filled with zeros.
  D.SetOwnerKey("<" + std::string(200, 'A') + ">");
  EXPECT_EQ(D.GetOwnerKey(), std::string(32, '\xAA'));
  D.SetUserKey("(abc)");
  EXPECT_EQ(D.GetUserKey(), std::string("abc") + std::string(29, '\0'));
}

TEST(KeyDerivation, GeneratedOwnerPasswordIsWordDateAndNumber) {
  const std::regex Form(
      "Quillory20[0-9]{2}(0[1-9]|1[0-2])[0-3][0-9][0-2][0-9][0-5][0-9][0-6][0-9]"
      "(0|[1-9][0-9]{0,9})");
  const std::string A = GenerateOwnerPassword(), B = GenerateOwnerPassword();
  EXPECT_TRUE(std::regex_match(A, Form)) << A;
  EXPECT_TRUE(std::regex_match(B, Form)) << B;
}

TEST(PasswordText, PDFDocEncodingBytes) {
  std::string Bytes;
  ASSERT_TRUE(UnicodeToPDFDocEncoding(u"h\u00F4tel \u20AC\u2022\u2014\u0141", Bytes));
  // Latin-1 letters keep their byte; the euro, bullet, em dash and L with
  // stroke have bytes of their own, unlike Windows-1252.
  EXPECT_EQ(Bytes, "h\xF4tel \xA0\x80\x84\x95");
  EXPECT_FALSE(UnicodeToPDFDocEncoding(u"\u4E2D", Bytes));
}

TEST(Permissions, PermissionValueAtBothLevels) {
  EXPECT_EQ(PermissionValue(el40bit, TvxUserPermissions::All()), -4);
  EXPECT_EQ(PermissionValue(el128bit, TvxUserPermissions::All()), -4);
  EXPECT_EQ(PermissionValue(el40bit, TvxUserPermissions::None()), -64);
  EXPECT_EQ(PermissionValue(el128bit, TvxUserPermissions::None()), -3904);
  TvxUserPermissions HighResOnly;
  HighResOnly.Include(AllowHighResPrint);
  // High-resolution printing counts only together with printing.
  EXPECT_EQ(PermissionValue(el128bit, HighResOnly), -3904);
  HighResOnly.Include(AllowPrint);
  EXPECT_EQ(PermissionValue(el128bit, HighResOnly), -3904 + 4 + 2048);
  TvxUserPermissions CopyPrint;
  CopyPrint.Include(AllowCopy);
  CopyPrint.Include(AllowPrint);
  EXPECT_EQ(PermissionValue(el40bit, CopyPrint), -64 + 16 + 4);
}

TEST(Permissions, FromPAndApplied) {
  EXPECT_EQ(PermissionsFromP(128, -4), TvxUserPermissions::All());
  EXPECT_EQ(PermissionsFromP(128, -3904), TvxUserPermissions::None());
  // At 40 bits the last four bits are not read.
  EXPECT_EQ(PermissionsFromP(40, -4).Bits, 0x0F);
  TvxUserPermissions P = PermissionsFromP(128, -3904 + 4 + 512);
  EXPECT_TRUE(P.Has(AllowPrint));
  EXPECT_TRUE(P.Has(AllowAccessibility));
  EXPECT_FALSE(P.Has(AllowCopy));
  EXPECT_EQ(ApplyPermissions(TvxUserPermissions::All(), el128bit, -3904),
            TvxUserPermissions::None());
  // At 40 bits the last four always stay.
  EXPECT_EQ(ApplyPermissions(TvxUserPermissions::All(), el40bit, -3904).Bits, 0xF0);
}

TEST(Settings, LockRefusesEverySetterAndResetUnlocks) {
  TvxPDFEncryptionSettings S;
  EXPECT_EQ(S.Level(), el128bit);
  S.SetOwnerPassword("o");
  EXPECT_EQ(S.OwnerPassword(), "o");
  const uint64_t Before = S.Revision();
  S.SetEnabled(true);
  EXPECT_EQ(S.Revision(), Before) << "switching on changes no key";
  S.SetUserPassword("u");
  EXPECT_GT(S.Revision(), Before);

  // A user-password open locks the settings.
  TvxPDFEncryption E(S);
  TvxPDFDecrypt D;
  D.SetKeyLengthAndRevision(E.KeyLength(), E.Revision());
  D.SetFileID(E.GetFileID());
  D.SetOwnerKey("(" + E.GetOwnerKey() + ")");
  D.SetUserKey("(" + E.GetUserKey() + ")");
  D.SetPermissions(E.PermissionValue());
  TvxPDFEncryptionSettings Read;
  ASSERT_TRUE(D.VerifyPassword("u", Read));
  const std::string Locked = "User cannot change encryption settings";
  vxtest::ExpectError<Exception>([&] { Read.SetEnabled(false); }, Locked);
  vxtest::ExpectError<Exception>([&] { Read.SetLevel(el40bit); }, Locked);
  vxtest::ExpectError<Exception>([&] { Read.SetOwnerPassword("x"); }, Locked);
  vxtest::ExpectError<Exception>([&] { Read.SetUserPassword("x"); }, Locked);
  vxtest::ExpectError<Exception>([&] { Read.SetUserPermissions(TvxUserPermissions::None()); },
                                 Locked);
  EXPECT_EQ(Read.OwnerPassword(), "");
  Read.Reset();
  EXPECT_TRUE(Read.Changeable());
  EXPECT_EQ(Read.Level(), el40bit);
  EXPECT_FALSE(Read.Enabled());
  EXPECT_EQ(Read.UserPassword(), "");
}

}  // namespace
