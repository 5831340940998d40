// Reads the header, the chain of cross-reference sections and trailers, and
// unpacks object streams.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

#include "pdf/reader/vxObjectLoader.h"

namespace vx {

class TvxXRefLoader {
 public:
  // A chain longer than this is refused as damaged.
  static constexpr size_t MaxSections = 100000;

  TvxXRefLoader(TvxDocumentData& Data, TvxDocumentEvents& Events, TvxObjectLoader& Loader)
      : D(Data), E(Events), L(Loader) {}

  // Header, cross-reference chain, trailer values, object streams and the
  // encryption dictionary. The reader must be set on Data.
  void ReadXRef();
  // Object streams are unpacked by ReadXRef unless the file is encrypted;
  // then only once the password is accepted, through the decryptor.
  void UnpackObjectStreams();

 private:
  struct TvxSection {
    bool IsStream = false;
    int64_t Offset = 0;
    int64_t XRefStm = -1;
    std::unique_ptr<TvxPDFStreamObject> Stream;  // decoded cross-reference stream
  };

  bool IsXRefAt(int64_t Offset);
  bool IsDigitAt(int64_t Offset);
  void ReadChain(int64_t Offset, bool IsStream, int Depth);
  void ApplyTrailerValues(const TvxPDFDictObject& Dict);
  std::unique_ptr<TvxPDFStreamObject> ReadXRefStreamObject(int64_t Offset);
  void ReadTableEntries(int64_t Offset);
  void ReadStreamEntries(const TvxPDFStreamObject& Stream);
  void EnterTableEntry(int64_t K, const TvxXRefItem& Item);
  void EnterStreamEntry(int64_t K, const TvxXRefStmItem& Item);
  void ResolveID();
  void UnpackObjectStream(int32_t StreamNumber);

  TvxDocumentData& D;
  TvxDocumentEvents& E;
  TvxObjectLoader& L;
  std::unordered_set<int64_t> FVisited;
};

}  // namespace vx
