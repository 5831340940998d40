// The data of an encrypted file stays in the file after the load, like a
// plain file's: it is decrypted when read, and a save decrypts and encrypts
// it piece by piece. Every written byte is what a save of the same data held
// in memory writes, for every pair of source and output encryption.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxFilter.h"
#include "pdf/objects/vxUtils.h"
#include "pdf/security/vxAES.h"
#include "pdf/security/vxPDFCrypt.h"
#include "support/corpus.h"
#include "support/documents.h"
#include "support/expect_error.h"
#include "support/pdf_builder.h"
#include "support/tools.h"

using namespace vx;
using vxtest::Noise;
using vxtest::PdfBuilder;

namespace {

const std::string PageText = "BT /F1 24 Tf 72 700 Td (Hello secret) Tj ET";
// Longer than one piece of a copy, and not of whole AES blocks.
const std::string Image = Noise((size_t{1} << 20) + 37, 3);
const std::string Blocks = Noise(64, 4);

// One page with its text, an image over a mebibyte, a stream of whole AES
// blocks, a one-byte stream with a string in its dictionary, and metadata.
std::string PlainSource() {
  PdfBuilder B;
  B.PageTree({3});
  B.Object(3,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
           "/Resources << /Font << /F1 5 0 R >> /XObject << /Im0 6 0 R /Fm0 8 0 R >> >> "
           "/Extra 7 0 R /Meta 9 0 R >>");
  B.Stream(4, "", PageText);
  B.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  B.Stream(6,
           "/Type /XObject /Subtype /Image /Width 1025 /Height 1024 /ColorSpace /DeviceGray "
           "/BitsPerComponent 8",
           Image);
  B.Stream(7, "/Name (a string in a stream)", "x");
  B.Stream(8, "/Type /XObject /Subtype /Form /BBox [0 0 1 1]", Blocks);
  B.Stream(9, "/Type /Metadata /Subtype /XML", "<x:xmpmeta/>");
  B.Object(10, "<< /Title (Plain title) /CreationDate (D:20240102030405) >>");
  return B.FinishTable("/Root 1 0 R /Info 10 0 R");
}

void UsePassword(TvxCustomPDFDocument& Doc, const std::string& Password) {
  Doc.OnPassword = [Password](TvxCustomPDFDocument&, std::string& Pw, bool& Continue, int32_t Try) {
    Pw = Password;
    Continue = Try == 0;
  };
}

// None: the output as the load left it; else plain or a level, with
// passwords of its own.
enum class TvxOutput { AsLoaded, Plain, RC4_40, RC4_128, AES128, AES256 };
const TvxOutput Outputs[] = {TvxOutput::AsLoaded, TvxOutput::Plain,  TvxOutput::RC4_40,
                             TvxOutput::RC4_128,  TvxOutput::AES128, TvxOutput::AES256};

std::string Name(TvxOutput O) {
  static const char* Names[] = {"as loaded", "plain", "RC4 40", "RC4 128", "AES-128", "AES-256"};
  return Names[static_cast<int>(O)];
}

void SetOutput(TvxCustomPDFDocument& Doc, TvxOutput O) {
  TvxPDFEncryptionSettings& E = Doc.Encryption();
  if (O == TvxOutput::AsLoaded) return;
  if (O == TvxOutput::Plain) {
    E.SetEnabled(false);
    return;
  }
  E.SetEnabled(true);
  E.SetLevel(O == TvxOutput::RC4_40    ? el40bit
             : O == TvxOutput::RC4_128 ? el128bit
             : O == TvxOutput::AES128  ? elAES128
                                       : elAES256);
  E.SetUserPassword("user2");
  E.SetOwnerPassword("owner2");
}

// Every stream's data read into memory: a save then writes it as it wrote
// all data before stream data stayed in the file.
void ReadAllStreams(TvxCustomPDFDocument& Doc) {
  TvxPDFObjectStore& Store = Doc.Store();
  for (int32_t I = 0; I < Store.Count(); ++I) {
    TvxPDFObject* V = Store.GetObject(I)->Value.get();
    if (V && V->IsStream()) static_cast<TvxPDFStreamObject*>(V)->Data.get();
  }
}

TvxPDFStreamObject* StreamOf(TvxCustomPDFDocument& Doc, int32_t Number) {
  TvxPDFObjectStore& Store = Doc.Store();
  int32_t I = Store.IndexOfObject(Doc.DocumentID(), Number, 0);
  if (I < 0) return nullptr;
  TvxPDFObject* V = Store.GetObject(I)->Value.get();
  return V && V->IsStream() ? static_cast<TvxPDFStreamObject*>(V) : nullptr;
}

using vxtest::SeededRandom;

// Bytes saved from Source loaded with Password and saved to Output; Eager
// reads every stream's data into memory first.
std::string Resave(const std::string& Source, const std::string& Password, TvxOutput Output,
                   bool Eager, bool Compress = false, uint8_t Method = 0) {
  SeededRandom Seeded(42);
  TvxPDFDocument Doc;
  UsePassword(Doc, Password);
  EXPECT_TRUE(Doc.LoadFromMemory(Source));
  if (Eager) ReadAllStreams(Doc);
  SetOutput(Doc, Output);
  if (Compress) Doc.SetCompression(Method, 2);
  return vxtest::Written(Doc);
}

// The plain source saved encrypted at each level by this program, and by
// itself.
std::map<std::string, std::string> Sources() {
  std::map<std::string, std::string> S;
  S["plain"] = PlainSource();
  for (TvxOutput O :
       {TvxOutput::RC4_40, TvxOutput::RC4_128, TvxOutput::AES128, TvxOutput::AES256}) {
    TvxPDFDocument Doc;
    EXPECT_TRUE(Doc.LoadFromMemory(PlainSource()));
    SetOutput(Doc, O);
    S[Name(O)] = vxtest::Written(Doc);
  }
  return S;
}

TEST(EncryptedSource, DataStaysInTheFileAndReadsDecrypted) {
  for (const auto& [Kind, Source] : Sources()) {
    SCOPED_TRACE(Kind);
    const bool Plain = Kind == "plain";
    if (!Plain) {
      EXPECT_EQ(Source.find("Hello secret"), std::string::npos);
    }
    TvxPDFDocument Doc;
    UsePassword(Doc, "owner2");
    ASSERT_TRUE(Doc.LoadFromMemory(Source));
    // A saved copy numbers the page 4, its content 5, the image 7.
    TvxPDFStreamObject* Content = StreamOf(Doc, Plain ? 4 : 5);
    TvxPDFStreamObject* Picture = StreamOf(Doc, Plain ? 6 : 7);
    ASSERT_TRUE(Content && Picture);
    EXPECT_TRUE(Content->Data.InSource());
    EXPECT_TRUE(Picture->Data.InSource());
    EXPECT_EQ(Picture->Data.Crypt().Decryptor != nullptr, !Plain);
    EXPECT_EQ(Picture->Data.Size(), static_cast<int64_t>(Image.size()));
    EXPECT_TRUE(Picture->Data.ReadAll() == Image);
    EXPECT_TRUE(Picture->Data.InSource()) << "ReadAll keeps nothing";
    EXPECT_EQ(Content->Data->DataString(), PageText);
    EXPECT_FALSE(Content->Data.InSource());
  }
}

TEST(EncryptedSource, EverySourceAndOutputWritesWhatDataInMemoryWrites) {
  for (const auto& [Kind, Source] : Sources()) {
    for (TvxOutput O : Outputs) {
      SCOPED_TRACE(Kind + " to " + Name(O));
      const std::string Lazy = Resave(Source, "owner2", O, false);
      const std::string Eager = Resave(Source, "owner2", O, true);
      EXPECT_EQ(Lazy.size(), Eager.size());
      EXPECT_TRUE(Lazy == Eager) << "first difference at " << [&] {
        size_t I = 0;
        while (I < Lazy.size() && I < Eager.size() && Lazy[I] == Eager[I]) ++I;
        return I;
      }();
      // What was written reads back as the plain source's data.
      TvxPDFDocument Back;
      UsePassword(Back, "owner2");
      ASSERT_TRUE(Back.LoadFromMemory(Lazy));
      ASSERT_TRUE(StreamOf(Back, 7));
      EXPECT_TRUE(StreamOf(Back, 7)->Data.ReadAll() == Image);
      EXPECT_EQ(StreamOf(Back, 8)->Data.ReadAll(), Blocks);
      EXPECT_EQ(StreamOf(Back, 5)->Data.ReadAll(), PageText);
    }
  }
  // A user-password open keeps the source's encryption, with a new
  // identifier: the same bytes either way as well.
  const std::string AES = Sources()["AES-256"];
  EXPECT_TRUE(Resave(AES, "user2", TvxOutput::AsLoaded, false) ==
              Resave(AES, "user2", TvxOutput::AsLoaded, true));
}

// Data over a mebibyte is compressed piece by piece from the file, twice
// (for its length, then for the output), and never held whole: the bytes are
// those of a save from memory, by both methods, plain and encrypted.
TEST(EncryptedSource, CompressionWritesWhatDataInMemoryWrites) {
  for (const auto& [Kind, Source] : Sources()) {
    for (uint8_t Method : {0, 1}) {
      for (TvxOutput O : {TvxOutput::Plain, TvxOutput::RC4_128, TvxOutput::AES128}) {
        SCOPED_TRACE(Kind + " to " + Name(O) + (Method ? ", run-length" : ", flate"));
        const std::string Lazy = Resave(Source, "owner2", O, false, true, Method);
        EXPECT_TRUE(Lazy == Resave(Source, "owner2", O, true, true, Method));
        TvxPDFDocument Back;
        UsePassword(Back, "owner2");
        ASSERT_TRUE(Back.LoadFromMemory(Lazy));
        TvxPDFStreamObject* Picture = StreamOf(Back, 7);
        ASSERT_TRUE(Picture);
        auto* Filter = static_cast<TvxPDFNameObject*>(Picture->Dict->Lookup("/Filter"));
        ASSERT_TRUE(Filter && Filter->IsName());
        EXPECT_EQ(Filter->Text, Method ? "/RunLengthDecode" : "/FlateDecode");
        EXPECT_TRUE(DecodeStreamData(*Picture, &Back.Store())->DataString() == Image);
      }
    }
  }
}

TEST(EncryptedSource, ToolsReadTheCopiesAsTheSource) {
  if (!vxtest::HaveTool("qpdf") || !vxtest::HaveTool("pdftotext"))
    GTEST_SKIP() << "qpdf or pdftotext missing";
  std::map<std::string, std::string> All = Sources();
  const std::string Path = vxtest::TempPath("encrypted_source_copy.pdf");
  const std::string Text = vxtest::TempPath("encrypted_source_copy.txt");
  for (const std::string Kind : {"RC4 40", "AES-256"}) {
    for (TvxOutput O : {TvxOutput::Plain, TvxOutput::RC4_128, TvxOutput::AES128}) {
      SCOPED_TRACE(Kind + " to " + Name(O));
      vxtest::WriteTempFile("encrypted_source_copy.pdf", Resave(All[Kind], "owner2", O, false));
      EXPECT_EQ(vxtest::RunCommand("qpdf --check --password=owner2 " + vxtest::Quote(Path)), 0);
      ASSERT_EQ(vxtest::RunCommand("pdftotext -opw owner2 " + vxtest::Quote(Path) + " " +
                                   vxtest::Quote(Text)),
                0);
      EXPECT_NE(vxtest::ReadAll(Text).find("Hello secret"), std::string::npos);
    }
  }
  std::remove(Path.c_str());
  std::remove(Text.c_str());
}

// An AES-128 file made by hand, its streams' data as given: the damaged
// kinds warn at load, as they always did, and read as they always did.
TEST(EncryptedSource, DamagedAESDataWarnsAtLoadAndReadsAsBefore) {
  TvxPDFEncryptionSettings Settings;
  Settings.SetLevel(elAES128);
  TvxPDFEncryption E(Settings);
  // Page 10 + 2 I shows stream 11 + 2 I, whose data is damaged in the I-th way.
  const std::string Plain = "0 0 m 10 10 l S";
  auto Damaged = [&](int Object, size_t I) {
    const std::string Good = E.EncryptForObject(Plain, Object);
    std::string BadPad = Good;
    BadPad[BadPad.size() - 17] ^= 0x55;
    const std::string Kinds[] = {Good,   Good.substr(0, 10), Good.substr(0, 16), Good + "xyz",
                                 BadPad, Good.substr(0, 20)};
    return Kinds[I];
  };
  constexpr size_t Count = 6;
  PdfBuilder B;
  std::string Kids;
  for (size_t I = 0; I < Count; ++I) Kids += std::to_string(10 + 2 * I) + " 0 R ";
  B.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  B.Object(2, "<< /Type /Pages /Kids [" + Kids + "] /Count " + std::to_string(Count) + " >>");
  B.Object(3,
           "<< /Filter /Standard /V 4 /R 4 /Length 128 /CF << /StdCF << /CFM /AESV2 "
           "/AuthEvent /DocOpen /Length 16 >> >> /StmF /StdCF /StrF /StdCF /O <" +
               BytesToHex(E.GetOwnerKey()) + "> /U <" + BytesToHex(E.GetUserKey()) + "> /P " +
               std::to_string(E.PermissionValue()) + " >>");
  std::vector<std::string> Data;
  for (size_t I = 0; I < Count; ++I) {
    const int Page = static_cast<int>(10 + 2 * I);
    B.Object(Page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents " +
                       std::to_string(Page + 1) + " 0 R >>");
    Data.push_back(Damaged(Page + 1, I));
    B.Stream(Page + 1, "", Data.back());
  }
  const std::string ID = "<" + BytesToHex(E.GetFileID()) + ">";
  const std::string File = B.FinishTable("/Root 1 0 R /Encrypt 3 0 R /ID [" + ID + ID + "]");

  std::vector<std::string> Warnings;
  TvxPDFDocument Doc;
  Doc.OnWarning = [&Warnings](TvxCustomPDFDocument&, const std::string& W) {
    Warnings.push_back(W);
  };
  ASSERT_TRUE(Doc.LoadFromMemory(File));
  ASSERT_EQ(Doc.PageCount(), static_cast<int32_t>(Count));
  const std::vector<std::string> Expected = {
      "Encrypted data of object 13 is too short for AES",
      "Encrypted data of object 17 is too short for AES",
      "Encrypted data of object 19 has bad AES padding",
      "Encrypted data of object 21 is too short for AES",
  };
  EXPECT_EQ(Warnings, Expected);
  // Where something decrypts, damaged data stays in the file as well.
  const std::vector<bool> Lazy = {true, true, false, true, true, false};
  for (size_t I = 0; I < Count; ++I) {
    SCOPED_TRACE(I);
    TvxPDFStreamObject* S = StreamOf(Doc, static_cast<int32_t>(11 + 2 * I));
    ASSERT_NE(S, nullptr);
    EXPECT_EQ(S->Data.InSource(), Lazy[I]);
  }
  // Whole blocks of a ragged stream decrypt; the rest is kept as it was.
  EXPECT_EQ(StreamOf(Doc, 11)->Data.ReadAll(), Plain);
  EXPECT_EQ(StreamOf(Doc, 13)->Data.ReadAll(), Data[1]);
  EXPECT_EQ(StreamOf(Doc, 15)->Data.ReadAll(), "");
  EXPECT_EQ(StreamOf(Doc, 17)->Data.ReadAll(), Plain);
  // The padding is kept when it is no padding.
  EXPECT_EQ(StreamOf(Doc, 19)->Data.ReadAll().substr(0, 15), Plain);
  EXPECT_EQ(StreamOf(Doc, 19)->Data.ReadAll().size(), 16u);
  EXPECT_EQ(StreamOf(Doc, 21)->Data.ReadAll(), "");
  const size_t AtLoad = Warnings.size();
  for (TvxOutput O : {TvxOutput::AsLoaded, TvxOutput::Plain, TvxOutput::AES256}) {
    SCOPED_TRACE(Name(O));
    EXPECT_TRUE(Resave(File, "", O, false) == Resave(File, "", O, true));
  }
  EXPECT_EQ(Warnings.size(), AtLoad);
}

class EncryptedSourceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Bytes = Sources()["AES-128"];
    Path = vxtest::WriteTempFile("encrypted_source.pdf", Bytes);
    Target = vxtest::TempPath("encrypted_source_out.pdf");
    std::remove(Target.c_str());
  }
  void TearDown() override {
    std::remove(Path.c_str());
    std::remove(Target.c_str());
  }
  // What a load from memory writes, plain.
  std::string Expected() {
    TvxPDFDocument Doc;
    UsePassword(Doc, "owner2");
    EXPECT_TRUE(Doc.LoadFromMemory(Bytes));
    Doc.Encryption().SetEnabled(false);
    return vxtest::Written(Doc);
  }
  bool Load(TvxPDFDocument& Doc) {
    UsePassword(Doc, "owner2");
    if (!Doc.LoadFromFile(Path)) return false;
    Doc.Encryption().SetEnabled(false);
    return true;
  }

  std::string Bytes, Path, Target;
};

TEST_F(EncryptedSourceFile, RemovedSourceIsWrittenAsLoaded) {
  TvxPDFDocument Doc;
  ASSERT_TRUE(Load(Doc));
  ASSERT_TRUE(StreamOf(Doc, 7)->Data.InSource());
  ASSERT_EQ(std::remove(Path.c_str()), 0);
  vxtest::SaveAsWritten(Doc, Target);
  EXPECT_TRUE(vxtest::ReadAll(Target) == Expected());
}

TEST_F(EncryptedSourceFile, SourceCutShortIsRefusedBeforeAnythingIsWritten) {
  const std::string Message =
      "The file \"" + Path + "\" was changed since it was loaded; load it again";
  vxtest::WriteTempFile("encrypted_source_out.pdf", "old");
  TvxPDFDocument Doc;
  ASSERT_TRUE(Load(Doc));
  ASSERT_EQ(::truncate(Path.c_str(), 2000), 0);
  vxtest::ExpectError<ESourceChangedError>([&] { vxtest::SaveAsWritten(Doc, Target); }, Message);
  EXPECT_EQ(vxtest::ReadAll(Target), "old");
  // Past the check, reading the encrypted data finds it gone.
  vxtest::ExpectError<ESourceChangedError>([&] { vxtest::Written(Doc); }, Message);
  vxtest::ExpectError<ESourceChangedError>([&] { StreamOf(Doc, 7)->Data.get(); }, Message);
}

// Encrypted corpus files that open: written the same whether their data
// stays in the file or is read first, as loaded and (for an owner) plain.
TEST(EncryptedSourceCorpus, CopiesAreTheSameWithDataLeftInTheFile) {
  std::vector<vxtest::CorpusFile> Files = vxtest::LoadManifest();
  if (Files.empty()) GTEST_SKIP() << "corpus not present";
  int Tried = 0;
  std::string Failures;
  for (const vxtest::CorpusFile& F : Files) {
    const std::string& Kind = F.Fields.at("encryption");
    if (Kind != "rc4-40" && Kind != "rc4-128" && Kind != "aes-128" && Kind != "aes-256") continue;
    if (std::stoll(F.Fields.at("bytes")) > 20'000'000) continue;
    const std::string Source = vxtest::ReadAll(F.Path);
    for (const char* Field : {"owner_password", "user_password"}) {
      const std::string& Password = F.Fields.at(Field);
      std::string Copies[2];
      bool Owner = false;
      try {
        for (int Eager = 0; Eager < 2; ++Eager) {
          SeededRandom Seeded(7);
          TvxPDFDocument Doc;
          UsePassword(Doc, Password);
          if (!Doc.LoadFromMemory(Source)) throw Exception("not opened");
          if (Eager) ReadAllStreams(Doc);
          Owner = Doc.IsOwner();
          Copies[Eager] = vxtest::Written(Doc);
          if (Owner) {
            Doc.Encryption().SetEnabled(false);
            Copies[Eager] += vxtest::Written(Doc);
          }
        }
      } catch (const Exception&) {
        continue;  // files that do not open are other tests' business
      }
      ++Tried;
      if (Copies[0] != Copies[1]) Failures += F.Name + " (" + Field + ") differs\n";
    }
  }
  EXPECT_EQ(Failures, "");
  vxtest::ExpectTriedAtLeast(Tried, 20);
  std::printf("encrypted corpus: %d opens written alike with data in the file or in memory\n",
              Tried);
}

}  // namespace
