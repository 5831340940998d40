// Writes the document held in memory as a complete new PDF file: fresh
// numbering, a flat page tree, and one cross-reference table and trailer,
// or object streams and one cross-reference stream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf/objects/vxClasses.h"
#include "pdf/state/vxDocumentData.h"
#include "pdf/state/vxDocumentEnums.h"
#include "pdf/writer/vxObjectStreamPacker.h"
#include "pdf/writer/vxXRefStreamRows.h"

namespace vx {

class TvxPDFOutline;

// Stream compression on save; Enabled stays 0 until a caller turns it on.
struct TvxCompression {
  uint8_t Enabled = 0;
  uint8_t Method = 0;  // 0 Flate, 1 RunLength
  uint8_t Level = 0;   // 0 none, 1 fastest, 2 default, 3 maximum
};

// What the writer needs from the security handler to encrypt its output.
class TvxOutputEncryption {
 public:
  virtual ~TvxOutputEncryption() = default;
  // Data encrypted for object ObjNum, generation 0; same length.
  virtual std::string EncryptData(std::string_view Data, int32_t ObjNum) = 0;
  // EncryptData piece by piece, making the same random draws in the same
  // order; nil when only whole data can be encrypted.
  virtual std::unique_ptr<TvxChunkCipher> StartEncryption(int32_t ObjNum) {
    (void)ObjNum;
    return nullptr;
  }
  // The length EncryptData gives for Size bytes.
  virtual int64_t EncryptedSize(int64_t Size) { return Size; }
  // The encryption dictionary; also gives the trailer a new ID array.
  virtual std::unique_ptr<TvxPDFDictObject> BuildEncryptDict(TvxPDFTrailer& Trailer) = 0;
  // The lowest header version the method needs; a document's own higher
  // version stays.
  virtual TvxPDFVersion MinimumVersion() const { return pvPDF10; }
  // What is encrypted: every string and stream, or, when only attachments
  // are, no string and only embedded-file streams.
  virtual bool EncryptsStrings() const { return true; }
  virtual bool EncryptsStream(const TvxPDFDictObject* Dict) const {
    (void)Dict;
    return true;
  }
};

inline constexpr std::string_view ProducerText = "Quillory Paginor V2.5";

class TvxDocumentWriter {
 public:
  // Data in the source up to this size is compressed whole; larger data
  // piece by piece.
  static constexpr int64_t WholeCompressionLimit = int64_t{1} << 20;

  TvxDocumentWriter(TvxDocumentData& Data, TvxDocumentEvents& Events, TvxPDFOutline* OutlineRoot,
                    const TvxCompression& Compression, TvxOutputEncryption* Encryption,
                    TvxObjectStreams ObjectStreams = TvxObjectStreams::Disable)
      : FData(Data),
        FEvents(Events),
        FOutlineRoot(OutlineRoot),
        FCompression(Compression),
        FEncryption(Encryption),
        FObjectStreams(ObjectStreams) {}

  // The whole file, written forward to Output.
  void WriteDocument(TvxStream& Output);
  // Told the bytes written about every ReportStep bytes, of about Total.
  void SetProgress(TvxJobProgressHook Hook, int64_t Total) {
    FProgress = std::move(Hook);
    FProgressTotal = Total;
  }
  static constexpr int64_t ReportStep = int64_t{1} << 20;

  // Text forms of values; ObjNum is the object whose key encrypts strings,
  // -1 for none.
  std::string ObjectToText(int32_t ObjNum, const TvxPDFObject* Value);
  std::string StreamToText(int32_t ObjNum, const TvxPDFStreamObject& Stream);
  void AppendStream(std::string& Out, int32_t ObjNum, const TvxPDFStreamObject& Stream);
  static std::string ObjText(int32_t N);
  static std::string RefText(int32_t N);
  static std::string KeyLine(std::string_view Key, std::string_view Text);
  static std::string WrapObject(int32_t N, std::string_view Body);
  static std::string WrapDict(std::string_view Lines);
  static std::string VersionText(TvxPDFVersion Version);

 private:
  void AppendObject(std::string& Out, int32_t ObjNum, const TvxPDFObject* Value);
  void AppendDict(std::string& Out, int32_t ObjNum, const TvxPDFDictObject& Dict);
  void AppendString(std::string& Out, int32_t ObjNum, const TvxPDFStringObject& S);
  void AppendReference(std::string& Out, const TvxPDFIndirectReference& Ref);
  // The written object a reference stands for, or nil.
  const TvxPDFIndirectObject* WrittenTarget(const TvxPDFIndirectReference& Ref);
  void CompressStream(TvxPDFDictObject& Dict, std::string& Data);
  // The stream's dictionary with the /Length of Size bytes, then "stream".
  void AppendStreamHead(std::string& Out, int32_t ObjNum, TvxPDFDictObject& Dict, int64_t Size);
  // The same for a dictionary that is copied only when its /Length is wrong.
  void AppendStreamHead(std::string& Out, int32_t ObjNum, const TvxPDFDictObject* Dict,
                        int64_t Size);
  // True when the stream's data goes out from the source piece by piece.
  bool CopiesFromSource(const TvxPDFStreamObject& Stream) const;
  // Data in the source that the save compresses, and too large to compress
  // whole in memory.
  bool CompressesFromSource(const TvxPDFStreamObject& Stream) const;
  using TvxChunkSink = std::function<void(std::string_view Piece, bool Last)>;
  // The data compressed as the save asks, given to Sink piece by piece.
  void Compress(const TvxStreamData& Data, const TvxChunkSink& Sink);
  void WriteCompressedFromSource(const TvxPDFIndirectObject& Obj, const TvxPDFStreamObject& Stream,
                                 std::unique_ptr<TvxChunkCipher> Cipher);
  // The stream's filter, nil for none.
  TvxPDFObject* StreamFilter(const TvxPDFDictObject* Dict) const;
  // Whether a compressing save compresses data with this dictionary.
  bool WillCompress(const TvxPDFDictObject* Dict) const;
  // Sets /Length, /Filter and /DecodeParms for data compressed to Size.
  void MarkCompressed(TvxPDFDictObject& Dict, int64_t Size);
  std::string EncryptData(std::string_view Data, int32_t ObjNum);
  int32_t NextObjectNumber() { return ++FLastObjectNumber; }
  void Write(std::string_view Text);
  // Tells the progress hook when a step's worth more is written.
  void ReportWritten() {
    if (FProgress && FOutputSize >= FNextReport) ReportProgress();
  }
  void ReportProgress();
  // Object N's text, which starts with a line end.
  void WriteChunk(int32_t N, std::string_view Text);
  // Object N's cross-reference entry.
  void Record(int32_t N, const TvxXRefEntry& Entry);
  // Whether this save packs objects into object streams.
  bool PacksObjects() const;
  // Whether object Obj goes into an object stream in this save.
  bool InObjectStream(const TvxPDFIndirectObject& Obj) const;
  // Object N's text into the object stream being gathered, written when
  // full.
  void Pack(int32_t N, std::string_view Text);
  void WriteObjectStream();
  void WriteXRefStream(int32_t EncryptNumber);
  // /Root, /Info, /ID and /Encrypt (when EncryptNumber is not 0), as the
  // trailer and the cross-reference stream both hold them.
  std::string TrailerEntries(int32_t EncryptNumber);
  void WriteIndirectObject(const TvxPDFIndirectObject& Obj);
  void WriteHeader();
  void WriteCatalog();
  void WritePages();
  void WriteXRefAndTrailer();
  // The /ID of unencrypted output: the source's first element, where it has
  // one, and a fresh random second.
  static std::unique_ptr<TvxPDFArrayObject> PlainOutputID(const TvxPDFArrayObject* Source);
  // True when the stream's data is encrypted in the output.
  bool Sealed(const TvxPDFStreamObject& Stream) const;

  TvxDocumentData& FData;
  TvxDocumentEvents& FEvents;
  TvxPDFOutline* FOutlineRoot;  // not owned; nil when the document has no outline
  const TvxCompression& FCompression;
  TvxOutputEncryption* FEncryption;  // not owned; nil when the output is plain

  TvxStream* FOutput = nullptr;  // not owned; set while writing
  int64_t FOutputSize = 0;
  TvxJobProgressHook FProgress;
  int64_t FProgressTotal = 0;
  int64_t FNextReport = 0;
  std::unique_ptr<TvxPDFObjectStore> FSaveStore;
  TvxObjectStreams FObjectStreams;
  bool FPacks = false;  // set for the save by PacksObjects
  TvxObjectStreamPacker FPacker;
  // Entries by object number, from 0.
  std::vector<TvxXRefEntry> FXRef;
  int32_t FLastObjectNumber = 3;
  std::string FChunk;  // reused buffer for one object's text
  // Written objects by document and object number, any generation; built on
  // the first reference that names a generation the store does not hold.
  std::unordered_map<int64_t, const TvxPDFIndirectObject*> FByNumber;
  bool FByNumberBuilt = false;
};

}  // namespace vx
