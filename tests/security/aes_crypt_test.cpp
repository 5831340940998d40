// AES and SHA-2 through our wrapper against published vectors, the AES-256
// password hash against files of known passwords and keys, SASLprep, and the
// AES decryption of damaged data.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxUtils.h"
#include "pdf/security/vxAES.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/security/vxSASLprep.h"
#include "support/expect_error.h"
#include "support/hex.h"

using namespace vx;

namespace {

using vxtest::Hex;
using vxtest::Unhex;

// NIST SP 800-38A, F.2.1 to F.2.6: the first two blocks.
TEST(AES, CbcKnownAnswers) {
  const std::string IV = Unhex("000102030405060708090a0b0c0d0e0f");
  const std::string Plain =
      Unhex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
  const std::pair<const char*, const char*> Cases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c",
       "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
       "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"}};
  for (const auto& [Key, Cipher] : Cases) {
    EXPECT_EQ(Hex(AESEncryptCBC(Unhex(Key), IV, Plain)), Cipher);
    EXPECT_EQ(AESDecryptCBC(Unhex(Key), IV, Unhex(Cipher)), Plain);
  }
  // FIPS-197 appendix C.1: one block under ECB.
  EXPECT_EQ(Hex(AESEncryptBlock(Unhex("000102030405060708090a0b0c0d0e0f"),
                                Unhex("00112233445566778899aabbccddeeff"))),
            "69c4e0d86a7b0430d8cdb78070b4c55a");
  vxtest::ExpectError<Exception>([&] { AESEncryptCBC("short", IV, Plain); },
                                 "AES: Invalid key length");
  vxtest::ExpectError<Exception>([&] { AESEncryptCBC(std::string(16, 'k'), IV, "not a block"); },
                                 "AES: Invalid block size");
}

TEST(AES, PaddingIsAddedAndCheckedOnRemoval) {
  EXPECT_EQ(AddPadding(""), std::string(16, '\x10'));
  EXPECT_EQ(AddPadding("abc"), "abc" + std::string(13, '\x0d'));
  std::string Data = AddPadding(std::string(16, 'x'));
  ASSERT_EQ(Data.size(), 32u);
  EXPECT_TRUE(RemovePadding(Data));
  EXPECT_EQ(Data, std::string(16, 'x'));
  for (std::string Bad : {std::string(16, '\0'), std::string(15, 'a') + '\x11',
                          std::string(14, 'a') + "\x01\x02", std::string("abc")}) {
    const std::string Before = Bad;
    EXPECT_FALSE(RemovePadding(Bad));
    EXPECT_EQ(Bad, Before);
  }
}

TEST(SHA2, FipsVectors) {
  EXPECT_EQ(Hex(SHA2Bytes(256, "abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hex(SHA2Bytes(384, "abc")),
            "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358"
            "baeca134c825a7");
  EXPECT_EQ(Hex(SHA2Bytes(512, "abc")),
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836"
            "ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
  EXPECT_EQ(RandomBytes(32).size(), 32u);
  EXPECT_NE(RandomBytes(16), RandomBytes(16));
}

// The encryption dictionary of a revision-6 file whose user password is
// "abc", and of a revision-5 file with owner password "owner3"; the file keys
// are as qpdf reports them.
struct TvxKnownFile {
  int32_t R;
  const char* Password;
  bool Owner;
  const char *O, *U, *OE, *UE, *Perms;
  int32_t P;
  const char* Key;
};

const TvxKnownFile KnownFiles[] = {
    {6, "abc", false,
     "0410e9f436e2d628ab5423b8f383898f136b365051e98e920a9ae8e3604094b51a24efbe4bfeeb9d1065c0f920"
     "4684e2",
     "efe9cb2034c934f59a7e3e57856e542dfb3a84c6f87d7c58537666322c1738df9b5e972cea7d77a387330cdcdd"
     "fd0790",
     "c53fd14f839debe69d281e51b81335460bfde952135682c64ad2ff2c1c5659f6",
     "4562ee6c70b74bc3357fb1504caddcfac9030146714915f6443c9d803ef83cf4",
     "d7ecc0ef11a70d1031d60fe96f188b75", -4,
     "058ba1aab4f7acd58c8cfa156680a3d525b916518794da7e8b2e360b6ed04f9a"},
    {5, "owner3", true,
     "584a5353c424c1f963b6b5f0a092d720f07bf120eb329add8663fe33a8589adcad4fca2653793d0994948f7f6f"
     "30a035",
     "d77cd882af29e7bec7579157187616c324a6a00e8b90f0959e6b01f83972065ec5b7c45121f5963430ffe03a06"
     "a22301",
     "50b2415e8dc204235c837e85b6a336ae857b366ede9e9cc7d30657db00033ec3",
     "86560d35a15c067457dcbfb57edd495cb0f5c2c1ce77c9cf462a496ce484ccfd",
     "89719ce226a730c2189960bb533450ad", -2052,
     "35ea16a48b6a3045133b69ac0906c2e8fb0a2cc97903ae17b51a5786ebdba020"}};

TEST(AES256Keys, KnownFilesGiveTheirFileKeys) {
  for (const TvxKnownFile& F : KnownFiles) {
    SCOPED_TRACE(F.R);
    const std::string O = Unhex(F.O), U = Unhex(F.U);
    // The validation hash alone: /U starts with the hash of its own salt.
    if (!F.Owner) {
      EXPECT_EQ(HashAES256(F.Password, U.substr(32, 8), "", F.R), U.substr(0, 32));
    } else {
      EXPECT_EQ(HashAES256(F.Password, O.substr(32, 8), U, F.R), O.substr(0, 32));
    }
    std::string Key;
    ASSERT_TRUE(
        CheckAES256Password(F.Password, F.Owner, O, U, Unhex(F.Owner ? F.OE : F.UE), F.R, Key));
    EXPECT_EQ(Hex(Key), F.Key);
    EXPECT_TRUE(PermsMatch(Key, Unhex(F.Perms), F.P));
    EXPECT_FALSE(PermsMatch(Key, Unhex(F.Perms), F.P + 4));
    EXPECT_FALSE(CheckAES256Password("wrong", F.Owner, O, U, Unhex(F.UE), F.R, Key));
    // The other kind of password does not pass for this one.
    EXPECT_FALSE(CheckAES256Password(F.Password, !F.Owner, O, U, Unhex(F.UE), F.R, Key));
  }
}

TEST(AES256Keys, ComputedKeysVerifyWithEitherPasswordAndNoOther) {
  const std::string FileKey = RandomBytes(32);
  for (int32_t R : {5, 6}) {
    TvxAES256Keys K = ComputeAES256Keys(FileKey, "user", "owner", RandomBytes(32), R);
    ASSERT_EQ(K.OwnerKey.size(), 48u);
    ASSERT_EQ(K.UserKey.size(), 48u);
    std::string Key;
    ASSERT_TRUE(CheckAES256Password("user", false, K.OwnerKey, K.UserKey, K.UserEncKey, R, Key));
    EXPECT_EQ(Key, FileKey);
    Key.clear();
    ASSERT_TRUE(CheckAES256Password("owner", true, K.OwnerKey, K.UserKey, K.OwnerEncKey, R, Key));
    EXPECT_EQ(Key, FileKey);
    EXPECT_FALSE(CheckAES256Password("owner", false, K.OwnerKey, K.UserKey, K.UserEncKey, R, Key));
    EXPECT_FALSE(CheckAES256Password("user", true, K.OwnerKey, K.UserKey, K.OwnerEncKey, R, Key));
    // Short values are refused, not read past their end.
    EXPECT_FALSE(CheckAES256Password("user", false, K.OwnerKey, K.UserKey.substr(0, 40),
                                     K.UserEncKey, R, Key));
  }
  const std::string Perms = ComputePerms(FileKey, -3904, false, "1234");
  const std::string Plain = AESDecryptBlock(FileKey, Perms);
  EXPECT_EQ(Hex(Plain.substr(0, 12)), Hex(std::string("\xC0\xF0\xFF\xFF\xFF\xFF\xFF\xFF"
                                                      "Fadb")));
  EXPECT_TRUE(PermsMatch(FileKey, Perms, -3904));
}

// The prepared password, or "error: " and the problem.
std::string Prep(std::string_view Password) {
  std::string Out, Problem;
  return SASLprepPassword(Password, Out, Problem) ? Hex(Out) : "error: " + Problem;
}

// RFC 4013 section 3.
TEST(SASLprep, RfcExamples) {
  EXPECT_EQ(Prep("I\xC2\xAD"
                 "X"),
            Hex("IX"));
  EXPECT_EQ(Prep("user"), Hex("user"));
  EXPECT_EQ(Prep("USER"), Hex("USER"));
  EXPECT_EQ(Prep("\xC2\xAA"), Hex("a"));
  EXPECT_EQ(Prep("\xE2\x85\xA8"), Hex("IX"));
  EXPECT_EQ(Prep("\x07"), "error: prohibited character U+0007");
  EXPECT_EQ(Prep("\xD8\xA7"
                 "1"),
            "error: right-to-left text that does not start and end with a right-to-left "
            "character");
}

// NFKC of Unicode 3.2 across scripts, with the mapping step.
TEST(SASLprep, MapsAndNormalizesEveryScript) {
  const std::pair<std::string, std::string> Cases[] = {
      {"a\xC2\xA0"
       "b\xE3\x80\x80"
       "c\xE1\x9A\x80"
       "d",
       "a b c d"},                                               // non-ASCII spaces
      {"pass\xC2\xADw\xE2\x80\x8Dord\xEF\xBB\xBF", "password"},  // mapped to nothing
      {"\xEF\xAC\x81le \xEF\xAC\x80", "file ff"},                // ligatures
      {"\xEF\xBC\xA1\xEF\xBD\x82\xEF\xBC\x91", "Ab1"},           // full-width
      {"\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", "\xEA\xB0\x81"},  // conjoining jamo
      {"\xEA\xB0\x80\xE1\x86\xA8", "\xEA\xB0\x81"},              // LV syllable + T
      {"\xE3\x84\xB1\xE3\x85\x8F", "\xEA\xB0\x80"},              // compatibility jamo
      {"\xED\x9E\xA3\xEA\xB0\x81", "\xED\x9E\xA3\xEA\xB0\x81"},  // syllables stay
      {"\xEF\xBB\xBB", "\xD9\x84\xD8\xA7"},                      // lam-alef form
      {"\xEF\xBA\x8E\xEF\xBA\x91", "\xD8\xA7\xD8\xA8"},          // alef, beh forms
      {"\xCF\x93", "\xCE\x8E"},                                  // Greek upsilon hook
      {"\xD0\x98\xCC\x86", "\xD0\x99"},                          // Cyrillic short i
      {"a\xCC\xA3\xCC\x82", "\xE1\xBA\xAD"},                     // marks in order
      {"a\xCC\x82\xCC\xA3", "\xE1\xBA\xAD"},                     // and reordered
      {"a\xCC\x81\xCC\x81", "\xC3\xA1\xCC\x81"},                 // a blocked second mark
      {"\xE0\xA5\x98", "\xE0\xA4\x95\xE0\xA4\xBC"},              // composition exclusion
      {"\xEF\xA4\x80", "\xE8\xB1\x88"},                          // CJK compatibility
      {"\xE3\x8C\x80", "\xE3\x82\xA2\xE3\x83\x91\xE3\x83\xBC\xE3\x83\x88"},  // square katakana
      {"\xF0\x9D\x90\x80", "A"},                                             // mathematical bold
      // Unassigned in Unicode 3.2, so kept, although later versions fold
      // it to "0.".
      {"\xF0\x9F\x84\x80", "\xF0\x9F\x84\x80"},
      {"\xE6\xBC\xA2\xE5\xAD\x97", "\xE6\xBC\xA2\xE5\xAD\x97"}};
  for (const auto& [In, Out] : Cases) EXPECT_EQ(Prep(In), Hex(Out)) << Hex(In);
  // Eighteen code points from one.
  EXPECT_EQ(Prep("\xEF\xB7\xBA"),
            Hex("\xD8\xB5\xD9\x84\xD9\x89 \xD8\xA7\xD9\x84\xD9\x84\xD9\x87 \xD8\xB9\xD9\x84\xD9\x8A"
                "\xD9\x87 \xD9\x88\xD8\xB3\xD9\x84\xD9\x85"));
  // Not UTF-8: PDFDocEncoding, as 8-bit password text of the other revisions.
  EXPECT_EQ(Prep("h\xF4tel"), Hex("h\xC3\xB4tel"));
  EXPECT_EQ(Prep("\x80"), Hex("\xE2\x80\xA2"));
  // Cut to 127 bytes, after normalizing.
  EXPECT_EQ(Prep(std::string(200, 'q')), Hex(std::string(127, 'q')));
  std::string Wide;
  for (int I = 0; I < 60; ++I) Wide += "\xEF\xBC\xA1";
  EXPECT_EQ(Prep(Wide), Hex(std::string(60, 'A')));
}

TEST(SASLprep, ProhibitedOutputAndBidiRules) {
  const std::pair<std::string, std::string> Prohibited[] = {
      {"a\x7F", "U+007F"},                // C.2.1
      {"a\xC2\x85", "U+0085"},            // C.2.2
      {"a\xE2\x80\xA8", "U+2028"},        // C.2.2
      {"a\xEE\x80\x80", "U+E000"},        // C.3 private use
      {"a\xF3\xB0\x80\x80", "U+F0000"},   // C.3 plane 15
      {"a\xEF\xB7\x90", "U+FDD0"},        // C.4 non-character
      {"a\xEF\xBF\xBD", "U+FFFD"},        // C.6
      {"a\xE2\xBF\xB0", "U+2FF0"},        // C.7
      {"a\xE2\x80\x8E", "U+200E"},        // C.8
      {"a\xF3\xA0\x80\x81", "U+E0001"}};  // C.9
  for (const auto& [In, Code] : Prohibited)
    EXPECT_EQ(Prep(In), "error: prohibited character " + Code) << Hex(In);
  // Right to left alone, with digits and spaces inside.
  EXPECT_EQ(Prep("\xD7\x90\xD7\x91"), Hex("\xD7\x90\xD7\x91"));
  EXPECT_EQ(Prep("\xD8\xA7 1\xD8\xA8"), Hex("\xD8\xA7 1\xD8\xA8"));
  EXPECT_EQ(Prep("\xD7\x90"
                 "a\xD7\x91"),
            "error: right-to-left text mixed with left-to-right text");
  EXPECT_EQ(Prep("1\xD7\x90"),
            "error: right-to-left text that does not start and end with a right-to-left "
            "character");
  // A presentation form checked after it is normalized.
  EXPECT_EQ(Prep("\xEF\xBB\xBB"
                 "x"),
            "error: right-to-left text mixed with left-to-right text");
}

// Opening tries the prepared password, then the raw bytes: a password that
// fails the checks, or a file whose maker did not prepare, still opens.
TEST(SASLprep, OpeningCandidates) {
  using V = std::vector<std::string>;
  EXPECT_EQ(AES256PasswordCandidates("secret"), V{"secret"});
  EXPECT_EQ(AES256PasswordCandidates("\xEF\xAC\x81le"), (V{"file", "\xEF\xAC\x81le"}));
  EXPECT_EQ(AES256PasswordCandidates("\x07"
                                     "bell"),
            V{"\x07"
              "bell"});
  EXPECT_EQ(AES256PasswordCandidates("h\xF4tel"), V{"h\xC3\xB4tel"});
  EXPECT_EQ(AES256PasswordCandidates(""), V{""});
}

// A revision-6 decryptor for keys made from the given password bytes, as
// written; Owner names the owner password's bytes.
std::unique_ptr<TvxPDFDecrypt> AES256Decryptor(const std::string& User, const std::string& Owner) {
  const std::string FileKey = RandomBytes(32);
  TvxAES256Keys K = ComputeAES256Keys(FileKey, User, Owner, RandomBytes(32), 6);
  TvxEncryptParams P;
  P.V = 5;
  P.R = 6;
  P.Length = 256;
  P.StmF = P.StrF = P.EFF = cmAESV3;
  auto D = std::make_unique<TvxPDFDecrypt>();
  D->SetParams(P);
  auto Token = [](const std::string& B) { return "<" + BytesToHex(B) + ">"; };
  D->SetOwnerKey(Token(K.OwnerKey));
  D->SetUserKey(Token(K.UserKey));
  D->SetAES256Keys(Token(K.OwnerEncKey), Token(K.UserEncKey),
                   Token(ComputePerms(FileKey, -4, true, "1234")));
  D->SetPermissions(-4);
  return D;
}

// Passwords as a maker that prepares stored them, and as one that stores the
// bytes typed (qpdf, poppler): what the user types opens both.
TEST(SASLprep, PasswordsOpenPreparedOrRaw) {
  const std::string Ligature = "\xEF\xAC\x81le";
  const std::string Bell =
      "\x07"
      "bell";
  struct Case {
    std::string StoredUser, StoredOwner, Typed, Wrong;
  };
  const Case Cases[] = {{"file", "own", Ligature, "\xEF\xAC\x81"},
                        {Ligature, "own", Ligature, "file"},
                        {Bell, "own", Bell, "bell"},
                        {"u", Bell, Bell, "bell"}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(Hex(C.Typed));
    const bool Owner = C.StoredOwner == C.Typed;
    TvxPDFEncryptionSettings S;
    EXPECT_FALSE(AES256Decryptor(C.StoredUser, C.StoredOwner)->VerifyPassword(C.Wrong, S));
    auto D = AES256Decryptor(C.StoredUser, C.StoredOwner);
    ASSERT_TRUE(D->VerifyPassword(C.Typed, S));
    EXPECT_EQ(D->IsOwnerFlag(), Owner);
  }
}

// An AES-128 decryptor for a file with the empty password, and strings
// encrypted for object 7 by an encryptor of the same keys.
class AESDecryptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TvxPDFEncryptionSettings S;
    S.SetLevel(elAES128);
    Encryptor = std::make_unique<TvxPDFEncryption>(S);
    TvxEncryptParams P;
    P.V = 4;
    P.R = 4;
    P.Length = 128;
    P.StmF = P.StrF = P.EFF = cmAESV2;
    P.Filters = {{"/StdCF", cmAESV2}};
    D.SetParams(P);
    D.SetFileID(Encryptor->GetFileID());
    D.SetOwnerKey("<" + BytesToHex(Encryptor->GetOwnerKey()) + ">");
    D.SetUserKey("<" + BytesToHex(Encryptor->GetUserKey()) + ">");
    D.SetPermissions(Encryptor->PermissionValue());
    D.OnWarning = [this](const std::string& W) { Warnings.push_back(W); };
    TvxPDFEncryptionSettings Out;
    ASSERT_TRUE(D.VerifyPassword("", Out));
    EXPECT_EQ(Out.Level(), elAES128);
  }

  std::unique_ptr<TvxPDFEncryption> Encryptor;
  TvxPDFDecrypt D;
  std::vector<std::string> Warnings;
};

TEST_F(AESDecryptTest, DamagedDataIsKeptWithAWarning) {
  const std::string Secret = "A secret of some length";
  std::string Good = Encryptor->EncryptForObject(Secret, 7);
  ASSERT_EQ(Good.size(), 16u + 32u);
  std::string S = Good;
  D.DecryptString(S, 7, 0);
  EXPECT_EQ(S, Secret);
  EXPECT_TRUE(Warnings.empty());

  std::string Short = Good.substr(0, 10);
  D.DecryptString(Short, 7, 0);
  EXPECT_EQ(Short, Good.substr(0, 10));
  ASSERT_EQ(Warnings.size(), 1u);
  EXPECT_EQ(Warnings[0], "Encrypted data of object 7 is too short for AES");

  // A trailing partial block is dropped; the whole blocks still decrypt.
  std::string Ragged = Good + "xyz";
  D.DecryptString(Ragged, 7, 0);
  EXPECT_EQ(Ragged, Secret);
  EXPECT_EQ(Warnings.size(), 2u);

  std::string BadPad = Good;
  BadPad.back() = static_cast<char>(BadPad.back() ^ 0x55);
  D.DecryptString(BadPad, 7, 0);
  EXPECT_EQ(BadPad.size(), 32u);
  EXPECT_EQ(BadPad.substr(0, 16), Secret.substr(0, 16));
  ASSERT_EQ(Warnings.size(), 3u);
  EXPECT_EQ(Warnings[2], "Encrypted data of object 7 has bad AES padding");

  std::string IVOnly = Good.substr(0, 16);
  D.DecryptString(IVOnly, 7, 0);
  EXPECT_EQ(IVOnly, "");
  // The key is per object: object 8 does not decrypt object 7's data.
  std::string Other = Good;
  D.DecryptString(Other, 8, 0);
  EXPECT_NE(Other, Secret);
}

TEST_F(AESDecryptTest, StreamDictionaryChoosesTheMethod) {
  const std::string Plain = "0 0 m 10 10 l S";
  const std::string Enc = Encryptor->EncryptForObject(Plain, 5);
  {
    // A cross-reference stream is never encrypted.
    TvxPDFDictObject Dict;
    Dict.AddName("/Type", "/XRef");
    TvxMemoryStream M(Enc);
    D.DecryptStream(M, 5, 0, &Dict);
    EXPECT_EQ(M.DataString(), Enc);
  }
  {
    // /Crypt with /Identity first in the chain: left as it is, and the
    // filter leaves the chain.
    TvxPDFDictObject Dict;
    auto Filters = std::make_unique<TvxPDFArrayObject>();
    Filters->Add(std::make_unique<TvxPDFNameObject>("/Crypt"));
    Filters->Add(std::make_unique<TvxPDFNameObject>("/FlateDecode"));
    Dict.Add("/Filter", std::move(Filters));
    TvxMemoryStream M(Plain);
    D.DecryptStream(M, 5, 0, &Dict);
    EXPECT_EQ(M.DataString(), Plain);
    const TvxPDFObject* F = Dict.Lookup("/Filter");
    ASSERT_TRUE(F && F->IsArray());
    EXPECT_EQ(static_cast<const TvxPDFArrayObject*>(F)->Count(), 1);
  }
  {
    // /Crypt naming the standard filter decrypts.
    TvxPDFDictObject Dict;
    Dict.AddName("/Filter", "/Crypt");
    auto Parms = std::make_unique<TvxPDFDictObject>();
    Parms->AddName("/Name", "/StdCF");
    Dict.Add("/DecodeParms", std::move(Parms));
    TvxMemoryStream M(Enc);
    D.DecryptStream(M, 5, 0, &Dict);
    EXPECT_EQ(M.DataString(), Plain);
    EXPECT_EQ(Dict.Lookup("/Filter"), nullptr);
    EXPECT_EQ(Dict.Lookup("/DecodeParms"), nullptr);
  }
  {
    TvxPDFDictObject Dict;
    Dict.AddName("/Type", "/Metadata");
    TvxMemoryStream M(Enc);
    D.DecryptStream(M, 5, 0, &Dict);
    EXPECT_EQ(M.DataString(), Plain);  // EncryptMetadata is true here
  }
}

}  // namespace
