// Stream data decrypted and encrypted piece by piece gives what the
// whole-buffer ciphers give, and the decision made at load for data left in
// the file is the one whole-buffer decryption makes, with the same warnings.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxUtils.h"
#include "pdf/reader/vxPDFStreamReader.h"
#include "pdf/security/vxAES.h"
#include "pdf/security/vxChunkCiphers.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/security/vxPDFCryptKeys.h"
#include "pdf/security/vxRC4.h"
#include "support/pdf_builder.h"

using namespace vx;
using vxtest::Noise;

namespace {

// Data through Cipher in pieces of Step bytes (0: one piece), then an
// empty last piece when the data ended on a piece boundary.
std::string InPieces(TvxChunkCipher& Cipher, std::string_view Data, size_t Step) {
  std::string Out;
  if (Step == 0) Step = Data.size() + 1;
  size_t At = 0;
  do {
    const size_t N = std::min(Step, Data.size() - At);
    At += N;
    // A piece that takes the data to its end is not marked last when the
    // step divides the data: the empty last piece must work as well.
    const bool Last = At == Data.size() && (N < Step || Data.empty());
    Cipher.Update(Data.substr(At - N, N), Last, Out);
    if (At == Data.size() && !Last) Cipher.Update({}, true, Out);
  } while (At < Data.size());
  return Out;
}

const size_t Lengths[] = {0, 1, 15, 16, 17, 31, 32, 33, 100, 4099};
const size_t Steps[] = {0, 1, 5, 16, 17, 1000};

TEST(ChunkCiphers, RC4PiecesGiveTheWholeKeyStream) {
  const std::string Key = Noise(16, 1);
  for (size_t Length : Lengths) {
    const std::string Data = Noise(Length, 2);
    std::string Whole = Data;
    RC4Apply(Key, Whole);
    for (size_t Step : Steps) {
      SCOPED_TRACE(std::to_string(Length) + " bytes, step " + std::to_string(Step));
      EXPECT_EQ(InPieces(*MakeRC4Chunks(Key), Data, Step), Whole);
    }
  }
}

TEST(ChunkCiphers, AESPiecesEncryptAndDecryptAsTheWholeData) {
  for (size_t KeySize : {16, 32}) {
    const std::string Key = Noise(KeySize, 3);
    const std::string IV = Noise(16, 4);
    for (size_t Length : Lengths) {
      const std::string Data = Noise(Length, 5);
      const std::string Whole = IV + AESEncryptCBC(Key, IV, AddPadding(Data));
      const int Padding = AESPaddingOf(Key, Whole);
      EXPECT_EQ(Padding, static_cast<int>(16 - Length % 16));
      for (size_t Step : Steps) {
        SCOPED_TRACE(std::to_string(KeySize) + "-byte key, " + std::to_string(Length) +
                     " bytes, step " + std::to_string(Step));
        EXPECT_EQ(InPieces(*MakeAESEncryptChunks(Key, IV), Data, Step), Whole);
        EXPECT_EQ(InPieces(*MakeAESDecryptChunks(Key, Padding), Whole, Step), Data);
      }
    }
  }
}

TEST(ChunkCiphers, PaddingIsReadFromTheLastTwoBlocksOnly) {
  const std::string Key = Noise(16, 6);
  const std::string IV = Noise(16, 7);
  const std::string Good = IV + AESEncryptCBC(Key, IV, AddPadding(Noise(40, 8)));
  EXPECT_EQ(AESPaddingOf(Key, Good), 8);
  // Flipping a bit of the block before the last flips the same bit of the
  // padding byte, which then is no padding.
  std::string BadPad = Good;
  BadPad[BadPad.size() - 17] ^= 0x55;
  EXPECT_EQ(AESPaddingOf(Key, BadPad), 0);
  // An earlier block does not matter: it is never read.
  std::string Early = Good;
  Early[20] ^= 0x55;
  EXPECT_EQ(AESPaddingOf(Key, Early), 8);
  EXPECT_EQ(AESPaddingOf(Key, Good.substr(0, 16)), 0);
  EXPECT_EQ(AESPaddingOf(Key, Good + "x"), 0);
  EXPECT_EQ(AESPaddingOf(Key, Good.substr(0, Good.size() - 1)), 0);
  // Decrypting data that lost its last bytes since it was checked fails
  // rather than giving a short result.
  EXPECT_THROW(InPieces(*MakeAESDecryptChunks(Key, 8), Good.substr(0, 40), 7), Exception);
}

// Damaged data in pieces of any size: a padding that is none is kept, and
// bytes after the last whole block are left out, but only as many as said.
TEST(ChunkCiphers, DamagedAESDataInPieces) {
  const std::string Key = Noise(16, 6);
  const std::string IV = Noise(16, 7);
  const std::string Data = Noise(40, 8);
  const std::string Good = IV + AESEncryptCBC(Key, IV, AddPadding(Data));
  std::string BadPad = Good;
  BadPad[BadPad.size() - 17] ^= 0x55;
  std::string Unpadded = AESDecryptCBC(Key, IV, BadPad.substr(16));
  for (size_t Step : {1, 5, 16, 17, 100}) {
    SCOPED_TRACE(Step);
    EXPECT_EQ(InPieces(*MakeAESDecryptChunks(Key, 8, 3), Good + "xyz", Step), Data);
    EXPECT_EQ(InPieces(*MakeAESDecryptChunks(Key, 0), BadPad, Step), Unpadded);
    EXPECT_EQ(InPieces(*MakeAESDecryptChunks(Key, 0, 15), BadPad + Noise(15, 9), Step), Unpadded);
    EXPECT_THROW(InPieces(*MakeAESDecryptChunks(Key, 8, 2), Good + "xyz", Step), Exception);
    EXPECT_THROW(InPieces(*MakeAESDecryptChunks(Key, 8, 3), Good, Step), Exception);
  }
  EXPECT_THROW(MakeAESDecryptChunks(Key, 8, 16), Exception);
  EXPECT_THROW(MakeAESDecryptChunks(Key, -1), Exception);
}

// A decryptor of the standard handler with the empty user password for
// what E encrypts; its warnings go to Warnings.
std::shared_ptr<TvxPDFDecrypt> DecryptorFor(const TvxPDFEncryption& E,
                                            std::vector<std::string>& Warnings) {
  TvxEncryptParams P;
  P.V = E.VersionValue();
  P.R = E.Revision();
  P.Length = E.KeyLength() * 8;
  const TvxCryptMethod M = E.Level() == elAES128   ? cmAESV2
                           : E.Level() == elAES256 ? cmAESV3
                                                   : cmRC4;
  P.StmF = P.StrF = P.EFF = M;
  P.Filters = {{"/StdCF", M}};
  auto D = std::make_shared<TvxPDFDecrypt>();
  D->SetParams(P);
  D->SetFileID(E.GetFileID());
  auto Token = [](const std::string& B) { return "<" + BytesToHex(B) + ">"; };
  D->SetOwnerKey(Token(E.GetOwnerKey()));
  D->SetUserKey(Token(E.GetUserKey()));
  if (E.Level() == elAES256)
    D->SetAES256Keys(Token(E.GetOwnerEncKey()), Token(E.GetUserEncKey()), Token(E.GetPerms()));
  D->SetPermissions(E.PermissionValue());
  D->OnWarning = [&Warnings](const std::string& W) { Warnings.push_back(W); };
  TvxPDFEncryptionSettings Out;
  EXPECT_TRUE(D->VerifyPassword("", Out));
  return D;
}

std::unique_ptr<TvxPDFDictObject> ParseDict(const std::string& Text) {
  TvxMemoryStream M(Text);
  TvxPDFStreamReader R(1, &M);
  TvxPDFObjectPtr Obj = R.ParseObject();
  EXPECT_TRUE(Obj && Obj->IsDict()) << Text;
  return std::unique_ptr<TvxPDFDictObject>(static_cast<TvxPDFDictObject*>(Obj.release()));
}

// Keys and values of a dictionary as text, to compare edits.
std::string Describe(const TvxPDFObject* Obj) {
  if (!Obj) return "nil";
  if (Obj->IsName()) return static_cast<const TvxPDFNameObject*>(Obj)->Text;
  if (Obj->IsArray()) {
    std::string S = "[";
    for (const auto& Item : static_cast<const TvxPDFArrayObject*>(Obj)->Items)
      S += Describe(Item.get()) + " ";
    return S + "]";
  }
  if (Obj->IsDict()) {
    const auto& D = *static_cast<const TvxPDFDictObject*>(Obj);
    std::string S = "<<";
    for (int32_t I = 0; I < D.Count(); ++I)
      S += D.Keys[I]->Text + " " + Describe(D.Values[I].get()) + " ";
    return S + ">>";
  }
  return "value";
}

struct TvxPlanCase {
  std::string Name;
  std::string Dict;
  std::string Cipher;
  bool Lazy;  // expected to stay in the file
};

// Cases for object 7 under E: well-formed data of several lengths, the
// damaged kinds AES knows, and the dictionaries that choose the method.
std::vector<TvxPlanCase> PlanCases(TvxPDFEncryption& E, bool AES) {
  auto Enc = [&](const std::string& Plain) { return E.EncryptForObject(Plain, 7); };
  const std::string Good = Enc(Noise(40, 9));
  std::vector<TvxPlanCase> Cases = {
      {"empty plain data", "<< >>", Enc(""), true},
      {"one byte", "<< >>", Enc("x"), true},
      {"whole blocks", "<< >>", Enc(Noise(64, 10)), true},
      {"over a mebibyte", "<< >>", Enc(Noise((1 << 20) + 37, 11)), true},
      {"cross-reference stream", "<< /Type /XRef >>", Good, true},
      {"identity crypt filter", "<< /Filter [/Crypt /FlateDecode] /DecodeParms [<< >> null] >>",
       Good, true},
      {"named crypt filter", "<< /Filter /Crypt /DecodeParms << /Name /StdCF >> >>", Good, true},
      {"metadata", "<< /Type /Metadata /Subtype /XML >>", Good, true},
      {"embedded file", "<< /Type /EmbeddedFile >>", Good, true},
  };
  if (AES) {
    std::string BadPad = Good;
    BadPad[BadPad.size() - 17] ^= 0x55;
    // Damaged data stays in the file too, but where nothing decrypts.
    Cases.push_back({"shorter than the IV", "<< >>", Good.substr(0, 10), true});
    Cases.push_back({"the IV alone", "<< >>", Good.substr(0, 16), false});
    Cases.push_back({"IV and a partial block", "<< >>", Good.substr(0, 20), false});
    Cases.push_back({"a partial block at the end", "<< >>", Good + "xyz", true});
    Cases.push_back({"a whole block and a partial one", "<< >>", Good.substr(0, 40), true});
    Cases.push_back({"bad padding", "<< >>", BadPad, true});
    Cases.push_back({"bad padding and a partial block", "<< >>", BadPad + "xy", true});
    Cases.push_back({"bad padding behind a crypt filter",
                     "<< /Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /StdCF >> null] >>",
                     BadPad, true});
  }
  return Cases;
}

TEST(StreamPlan, DecidesEditsAndDecryptsAsWholeDecryptionDoes) {
  for (TvxPDFEncryptionLevel Level : {el40bit, el128bit, elAES128, elAES256}) {
    const bool AES = Level == elAES128 || Level == elAES256;
    TvxPDFEncryptionSettings Settings;
    Settings.SetLevel(Level);
    TvxPDFEncryption E(Settings);
    std::vector<std::string> WholeWarnings, LazyWarnings;
    // Two decryptors of the same keys: one decrypts whole, one plans.
    auto Whole = DecryptorFor(E, WholeWarnings);
    auto Lazy = DecryptorFor(E, LazyWarnings);
    ASSERT_EQ(Lazy->GetKey(), Whole->GetKey());
    for (const TvxPlanCase& C : PlanCases(E, AES)) {
      SCOPED_TRACE("level " + std::to_string(Level) + ": " + C.Name);
      WholeWarnings.clear();
      LazyWarnings.clear();
      auto WholeDict = ParseDict(C.Dict);
      TvxMemoryStream Expected(C.Cipher);
      Whole->DecryptStream(Expected, 7, 0, WholeDict.get());

      auto LazyDict = ParseDict(C.Dict);
      TvxStreamCrypt Plan;
      TvxMemoryStream Now;
      const bool Planned = Lazy->PlanStream(C.Cipher, 7, 0, LazyDict.get(), Plan, Now);
      EXPECT_EQ(Planned, C.Lazy);
      EXPECT_EQ(Describe(LazyDict.get()), Describe(WholeDict.get()));
      EXPECT_EQ(LazyWarnings, WholeWarnings) << "warnings come at load, as they always did";
      const size_t AtLoad = LazyWarnings.size();
      if (!Planned) {
        EXPECT_EQ(Now.DataString(), Expected.DataString());
        continue;
      }
      // Left in a source: what a read gives, whole and in pieces.
      Plan.Decryptor = Plan.Method ? Lazy : nullptr;
      TvxStreamData Data;
      Data.SetRange(TvxPDFSource::FromMemory("%" + C.Cipher), 1,
                    static_cast<int64_t>(C.Cipher.size()), Plan);
      EXPECT_EQ(Data.Size(), Expected.MemSize());
      std::string Pieces;
      int LastCount = 0;
      Data.ReadPieces([&](std::string_view Piece, bool Last) {
        EXPECT_LE(Piece.size(), size_t{1} << 20);
        Pieces.append(Piece);
        LastCount += Last;
      });
      EXPECT_EQ(LastCount, 1);
      EXPECT_TRUE(Pieces == Expected.DataString());
      EXPECT_TRUE(Data.ReadAll() == Expected.DataString());
      EXPECT_TRUE(Data.InSource());
      EXPECT_TRUE(Data->DataString() == Expected.DataString());
      EXPECT_FALSE(Data.InSource());
      EXPECT_EQ(LazyWarnings.size(), AtLoad) << "a read warns of nothing";
    }
  }
}

}  // namespace
