// Tokenizer and object parser. It walks one contiguous view of the bytes: a
// memory stream's memory, a view stream's bytes (a memory-mapped file), or,
// for any other stream, its content read once at creation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/objects/vxClasses.h"
#include "pdf/objects/vxDecryptor.h"
#include "pdf/objects/vxPDFObjects.h"
#include "pdf/objects/vxPDFVersion.h"

namespace vx {

class TvxPDFStreamReader : public TvxRandomAccessFilter {
 public:
  // Arrays, dictionaries and object headers nested deeper than this are refused.
  static constexpr int MaxNesting = 512;

  TvxPDFStreamReader(int32_t ADocumentID, TvxStream* ASource);

  // The wrapper's byte operations as pointer steps over the view.
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TvxSeekOrigin Origin) override;
  int64_t GetSize() override { return FSize; }
  uint8_t ReadByte() { return FPos >= 0 && FPos < FSize ? static_cast<uint8_t>(FBuf[FPos++]) : 0; }
  uint8_t PeekByte() {
    if (FPos >= 0 && FPos < FSize) {
      EndOfStream = FPos + 1 >= FSize;
      return static_cast<uint8_t>(FBuf[FPos]);
    }
    EndOfStream = true;
    return 0;
  }
  void BackUp() {
    if (FPos > 0) --FPos;
  }
  bool AtEnd() const { return FPos >= FSize; }
  int64_t Position() const { return FPos; }
  std::string ReadString(int64_t N);
  std::string PeekString(int64_t N);
  void Skip(int64_t N);
  // All the bytes the reader walks.
  std::string_view Bytes() const { return {FBuf, static_cast<size_t>(FSize)}; }

  void SkipWhitespace();
  std::string ReadToken();
  std::string PeekKeyword();
  // After white space: whether the keyword "stream" comes next, also when a
  // comment or another delimiter follows it without a line end (position
  // after the white space).
  bool AtStreamKeyword();
  // Nil when the next byte closes an enclosing construct.
  TvxPDFObjectPtr ParseObject();
  std::unique_ptr<TvxPDFStringObject> ReadLiteralOrHexString();
  std::unique_ptr<TvxPDFNameObject> ReadName();
  std::unique_ptr<TvxPDFArrayObject> ReadArray();
  std::unique_ptr<TvxPDFDictObject> ReadDictionary();
  // Dict, the stream's dictionary, goes to the decryptor.
  std::unique_ptr<TvxMemoryStream> ReadStreamData(int32_t Length, int32_t ObjectNumber,
                                                  int32_t Generation,
                                                  TvxPDFDictObject* Dict = nullptr);
  // As ReadStreamData; when the reader walks Origin, the data is left in the
  // source and only its place is kept, with how to decrypt it (the decision
  // and any edit of Dict made now, as ReadStreamData makes them).
  TvxStreamData ReadStreamContent(int32_t Length, int32_t ObjectNumber, int32_t Generation,
                                  TvxPDFDictObject* Dict = nullptr);
  // Data of a stream without "endstream": up to the object's "endobj" (or
  // the end of the data), or Length bytes when they fit before it; left in
  // the source as ReadStreamContent leaves it. With LengthMustFit, Length
  // bytes that do not fit there raise EEndStreamError instead.
  TvxStreamData ReadUnterminatedStreamData(int32_t Length, int32_t ObjectNumber, int32_t Generation,
                                           TvxPDFDictObject* Dict = nullptr,
                                           bool LengthMustFit = false);
  int32_t FindStartXRef();
  std::unique_ptr<TvxPDFDictObject> ReadTrailer();
  int32_t ReadHeaderVersion();

  int32_t DocumentID;
  // Shared with the stream data it is to decrypt when read.
  std::shared_ptr<TvxPDFDecryptor> Decryptor;
  int32_t CurrentObjectNumber = 0;
  int32_t CurrentGeneration = 0;
  // The source whose view the reader walks (offsets are the same), or nil.
  TvxPDFSourcePtr Origin;
  // Set for a repair: a token that is no number reads as null, and a value
  // without a key in a dictionary is dropped.
  bool Lenient = false;

 private:
  class TvxDepthGuard;
  // The next token as a view of the data (valid while the reader lives).
  std::string_view ReadTokenView();
  // True when the next two bytes are C, C (for "<<" and ">>").
  bool NextTwoAre(char C);
  TvxPDFObjectPtr ParseNumberOrReference();
  // True when the 9 bytes at Pos read "endstream".
  bool IsEndStreamAt(int64_t Pos);
  [[noreturn]] void EndOfData();
  // Finds the data after "stream" (see ReadStreamData): its start and
  // length, or -1 as length when "endstream" is nowhere. Leaves the reader
  // after the data and the white space behind it.
  void LocateStreamData(int32_t Length, int64_t& Start, int64_t& Len);
  // Len bytes at Start of Origin as stream data, with how to decrypt them;
  // in memory, decrypted now, when the decryptor cannot work piecewise.
  TvxStreamData DataInSource(int64_t Start, int64_t Len, int32_t ObjectNumber, int32_t Generation,
                             TvxPDFDictObject* Dict);
  // Position of the first "endstream" at or after From that comes before
  // any "endobj", or -1.
  int64_t FindEndStream(int64_t From);

  const char* FBuf = nullptr;
  int64_t FSize = 0;
  int64_t FPos = 0;
  std::string FOwned;  // the content of a stream that offers no view
  int FDepth = 0;
  // Elements of the arrays and dictionaries being read, nested ones above
  // outer ones; each is moved into a vector of its exact size when complete,
  // so a document's many small dictionaries carry no spare capacity.
  std::vector<TvxPDFObjectPtr> FPendingItems;
  std::vector<std::unique_ptr<TvxPDFNameObject>> FPendingKeys;
  bool FKeywordsIndexed = false;
  std::vector<int64_t> FEndStreams, FEndObjs;  // keyword positions, ascending
};

}  // namespace vx
