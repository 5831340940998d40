#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "pdf/objects/vxClasses.h"
#include "pdf/objects/vxStreams.h"
#include "pdf/objects/vxUtils.h"
#include "support/expect_error.h"

using namespace vx;
using vxtest::ExpectError;

namespace {

// A stream that is not a memory stream, so the wrappers take their general path.
class PlainStream : public TvxStream {
 public:
  explicit PlainStream(std::string Data) : FMem(std::move(Data)) {}
  int64_t Read(void* Buf, int64_t N) override { return FMem.Read(Buf, N); }
  int64_t Write(const void* Buf, int64_t N) override { return FMem.Write(Buf, N); }
  int64_t Seek(int64_t Offset, TvxSeekOrigin Origin) override { return FMem.Seek(Offset, Origin); }

 private:
  TvxMemoryStream FMem;
};

// The read-only wrappers have a fast path for memory streams and a general
// one; both must behave the same.
class FilterTest : public ::testing::TestWithParam<bool> {
 protected:
  TvxStream& Source(const std::string& Data) {
    FSource = GetParam() ? std::unique_ptr<TvxStream>(std::make_unique<TvxMemoryStream>(Data))
                         : std::make_unique<PlainStream>(Data);
    return *FSource;
  }
  std::unique_ptr<TvxStream> FSource;
};

INSTANTIATE_TEST_SUITE_P(Sources, FilterTest, ::testing::Bool(),
                         [](const auto& Info) { return Info.param ? "Memory" : "Plain"; });

}  // namespace

TEST(StreamWrappers, NullSourceIsRefused) {
  const char* Msg = "Invalid Stream! Cannot create with null stream";
  ExpectError<EInvalidStream>([] { TvxReadOnlyFilter F(nullptr); }, Msg);
  ExpectError<EInvalidStream>([] { TvxRandomAccessFilter F(nullptr); }, Msg);
  ExpectError<EInvalidStream>([] { TvxWriteOnlyFilter F(nullptr); }, Msg);
}

TEST_P(FilterTest, ReadOnlyForwardsReadsAndSeeks) {
  TvxStream& S = Source("0123456789");
  S.SetPosition(2);
  TvxReadOnlyFilter F(&S);
  char Buf[4] = {};
  EXPECT_EQ(F.Read(Buf, 3), 3);
  EXPECT_EQ(std::string(Buf, 3), "234");
  EXPECT_EQ(F.ReadByte(), '5');
  EXPECT_EQ(F.Seek(-3, soEnd), 7);
  EXPECT_EQ(F.Seek(-2, soCurrent), 5);
  // Offset -1 is refused whatever the origin.
  for (TvxSeekOrigin O : {soBeginning, soCurrent, soEnd}) EXPECT_EQ(F.Seek(-1, O), -1);
  EXPECT_EQ(S.GetPosition(), 5);
  EXPECT_THROW(F.Write("x", 1), EReadError);

  // The initial size is a snapshot; the size follows the source.
  S.Seek(0, soEnd);
  S.Write("ab", 2);
  EXPECT_EQ(F.InitialSize, 10);
  EXPECT_EQ(F.Size(), 12);
  F.SetPosition(11);
  EXPECT_EQ(F.ReadByte(), 'b');
  EXPECT_EQ(F.ReadByte(), 0);  // nothing left
}

TEST_P(FilterTest, ReadPeekAndSkipStrings) {
  TvxStream& S = Source("abcdef");
  TvxReadOnlyFilter F(&S);
  EXPECT_EQ(F.PeekString(1), "a");
  EXPECT_EQ(F.ReadString(2), "ab");
  F.Skip(2);
  EXPECT_EQ(S.GetPosition(), 4);
  // Two bytes before the end: two defined bytes, position unchanged.
  std::string P = F.PeekString(4);
  EXPECT_EQ(P.size(), 4u);
  EXPECT_EQ(P.substr(0, 2), "ef");
  EXPECT_EQ(S.GetPosition(), 4);
  EXPECT_EQ(F.ReadString(5).substr(0, 2), "ef");
  EXPECT_EQ(S.GetPosition(), 6);
  F.Skip(-5);
  EXPECT_EQ(S.GetPosition(), 1);
}

TEST_P(FilterTest, PeekByteAndBackUp) {
  TvxStream& S = Source("xyz");
  TvxRandomAccessFilter F(&S);
  EXPECT_EQ(F.PeekByte(), 'x');
  EXPECT_EQ(F.PeekByte(), 'x');
  EXPECT_FALSE(F.EndOfStream);
  EXPECT_EQ(S.GetPosition(), 0);

  S.SetPosition(2);  // the last byte: returned, flagged, not consumed
  EXPECT_EQ(F.PeekByte(), 'z');
  EXPECT_TRUE(F.EndOfStream);
  EXPECT_EQ(S.GetPosition(), 2);
  EXPECT_EQ(F.ReadByte(), 'z');
  EXPECT_EQ(F.PeekByte(), 0);  // nothing left: 0, flagged, position stays
  EXPECT_TRUE(F.EndOfStream);
  EXPECT_EQ(S.GetPosition(), 3);

  F.BackUp();
  EXPECT_EQ(S.GetPosition(), 2);
  for (int K = 0; K < 3; ++K) F.BackUp();  // the last one is at the start already
  EXPECT_EQ(S.GetPosition(), 0);
  EXPECT_EQ(F.PeekByte(), 'x');
  EXPECT_FALSE(F.EndOfStream);

  TvxStream& Empty = Source("");
  TvxRandomAccessFilter E(&Empty);
  EXPECT_EQ(E.PeekByte(), 0);
  EXPECT_TRUE(E.EndOfStream);
  E.BackUp();
  EXPECT_EQ(Empty.GetPosition(), 0);
}

TEST(StreamWrappers, WriteOnlyFilter) {
  TvxMemoryStream Out;
  TvxWriteOnlyFilter W(&Out);
  W.WriteText("%PDF-1.4\n");
  EXPECT_EQ(W.Write("12", 2), 2);
  // The writer takes the size as the current output offset.
  EXPECT_EQ(W.Size(), 11);
  EXPECT_EQ(Out.DataString(), "%PDF-1.4\n12");

  char Buf[1];
  ExpectError<EReadError>([&] { W.Read(Buf, 1); }, "A write-only filter cannot read");
}

TEST(ExtMemStream, BigEndianValues) {
  TvxExtMemStream S;
  S.WriteLongBE(258);
  S.WriteWordBE(258);
  S.WriteLongBE(0xFFFFFFFEu);
  S.WriteWordBE(0x8001);
  S.WriteBytes({0xAB, 1});
  S.WriteString(std::string("z\xFF\0", 3));
  EXPECT_EQ(BytesToHex(S.DataString()),
            "00000102"
            "0102"
            "FFFFFFFE"
            "8001"
            "AB01"
            "7AFF00");

  S.SetPosition(0);
  EXPECT_EQ(S.ReadLongBE(), 258u);
  EXPECT_EQ(S.ReadWordBE(), 258);
  EXPECT_EQ(S.ReadLongBE(), 0xFFFFFFFEu);
  EXPECT_EQ(S.ReadUShortBE(), 0x8001);
  EXPECT_EQ(S.ReadByte(), 0xAB);
  EXPECT_EQ(ReadByte(S), 1);  // the free function reads the same way
  std::string Str;
  EXPECT_EQ(S.ReadString(Str, 5), 3);  // a short read still gives five bytes
  EXPECT_EQ(Str.substr(0, 3), std::string("z\xFF\0", 3));
  EXPECT_EQ(Str.size(), 5u);
}

TEST(ExtMemStream, SkipAndPadding) {
  TvxExtMemStream S(std::string(10, 'a'));
  S.Skip(100);
  EXPECT_EQ(S.GetPosition(), 10);
  S.Skip(-100);
  EXPECT_EQ(S.GetPosition(), 0);
  // Padding goes after the data, not at the position.
  S.PadToFour();
  EXPECT_EQ(S.PadCount, 2);
  EXPECT_EQ(S.DataString(), std::string(10, 'a') + std::string(2, '\0'));
  S.SetPosition(0);
  S.PadToFour();
  EXPECT_EQ(S.PadCount, 0);
  EXPECT_EQ(S.Size(), 12);
}

TEST(FileStream, WriteReadAndErrors) {
  std::string Path =
      (std::filesystem::temp_directory_path() / ("vx_streams_test_" + std::to_string(::getpid())))
          .string();
  TvxFileStream Out(Path, fmCreate);
  Out.WriteText("hello file");
  Out.Close();
  EXPECT_EQ(ReadFileToString(Path), "hello file");
  std::filesystem::remove(Path);
  try {
    TvxFileStream Missing(Path, fmOpenRead);
    ADD_FAILURE() << "opened a missing file";
  } catch (const EFOpenError& E) {
    EXPECT_EQ(E.Message().rfind("Cannot open file \"" + Path + "\"", 0), 0u) << E.Message();
  }
}

// A large save mixes buffered writes with the kernel's file-to-file copy and
// asks the disk to start writing every 32 MiB on the way: none of that may
// move or lose a byte.
TEST(FileStream, LargeOutputOfWritesAndCopiesKeepsEveryByte) {
  const auto Dir = std::filesystem::temp_directory_path();
  const std::string Pid = std::to_string(::getpid());
  const std::string SourcePath = (Dir / ("vx_streams_src_" + Pid)).string();
  const std::string OutPath = (Dir / ("vx_streams_out_" + Pid)).string();
  std::string Block(3 << 20, '\0');
  for (size_t I = 0; I < Block.size(); ++I) Block[I] = static_cast<char>((I * 131) >> 7);
  {
    TvxFileStream Source(SourcePath, fmCreate);
    Source.Write(Block.data(), static_cast<int64_t>(Block.size()));
    Source.Close();
  }
  std::string Expected;
  {
    std::FILE* In = std::fopen(SourcePath.c_str(), "rb");
    ASSERT_TRUE(In);
    TvxFileStream Out(OutPath, fmCreate);
    for (int I = 0; I < 40; ++I) {
      const std::string Text = "piece " + std::to_string(I) + "\n";
      Out.WriteText(Text);
      Expected += Text;
      const int64_t At = (I * 4099) % (1 << 20);
      const int64_t Count = (1 << 21) + I;
      ASSERT_EQ(Out.AppendFromFile(fileno(In), At, Count), Count);
      Expected.append(Block, static_cast<size_t>(At), static_cast<size_t>(Count));
      Out.Write(Block.data() + I, 1 << 20);
      Expected.append(Block, static_cast<size_t>(I), size_t{1} << 20);
    }
    Out.Close();
    std::fclose(In);
  }
  EXPECT_GT(Expected.size(), size_t{100} << 20);
  EXPECT_TRUE(ReadFileToString(OutPath) == Expected);
  std::filesystem::remove(SourcePath);
  std::filesystem::remove(OutPath);
}
