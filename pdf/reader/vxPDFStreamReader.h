// Tokenizer and object parser over a byte stream.
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

  void SkipWhitespace();
  std::string ReadToken();
  std::string PeekKeyword();
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
  // Data of a stream without "endstream": up to the object's "endobj" (or
  // the end of the data), or Length bytes when they fit before it.
  std::unique_ptr<TvxMemoryStream> ReadUnterminatedStreamData(int32_t Length, int32_t ObjectNumber,
                                                              int32_t Generation,
                                                              TvxPDFDictObject* Dict = nullptr);
  int32_t FindStartXRef();
  std::unique_ptr<TvxPDFDictObject> ReadTrailer();
  int32_t ReadHeaderVersion();

  int32_t DocumentID;
  TvxPDFDecryptor* Decryptor = nullptr;  // not owned
  int32_t CurrentObjectNumber = 0;
  int32_t CurrentGeneration = 0;
  // Set for a repair: a token that is no number reads as null, and a value
  // without a key in a dictionary is dropped.
  bool Lenient = false;

 private:
  class TvxDepthGuard;
  void ReadTokenInto(std::string& Out);
  // True when the next two bytes are C, C (for "<<" and ">>").
  bool NextTwoAre(char C);
  TvxPDFObjectPtr ParseNumberOrReference();
  // True when the 9 bytes at Pos read "endstream".
  bool IsEndStreamAt(int64_t Pos);
  [[noreturn]] void EndOfData();
  // Position of the first "endstream" at or after From that comes before
  // any "endobj", or -1.
  int64_t FindEndStream(int64_t From);

  int FDepth = 0;
  std::string FToken1, FToken2, FToken3;
  bool FKeywordsIndexed = false;
  std::vector<int64_t> FEndStreams, FEndObjs;  // keyword positions, ascending
};

}  // namespace vx
