// Reads the header, the chain of cross-reference sections and trailers, and
// unpacks object streams.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

#include "pdf/objects/vxFlatIndex.h"
#include "pdf/objects/vxPDFObjectStore.h"
#include "pdf/reader/vxObjectLoader.h"

namespace vx {

class TvxXRefLoader {
 public:
  // A chain longer than this is refused as damaged.
  static constexpr size_t MaxSections = 100000;

  TvxXRefLoader(TvxDocumentData& Data, TvxDocumentEvents& Events, TvxObjectLoader& Loader)
      : FData(Data), FEvents(Events), FLoader(Loader) {}

  // Header, cross-reference chain, trailer values, object streams and the
  // encryption dictionary. The reader must be set on Data.
  void ReadXRef();
  // Parses the members of every object stream the entries name into the
  // store. ReadXRef runs it unless the file is encrypted; then it runs only
  // once the password is accepted, through the decryptor.
  void UnpackObjectStreams();
  // What follows the entries: object streams, the ID, the first free object
  // number and the encryption dictionary; the document is then loaded.
  void CompleteXRef(int32_t MaxNumber);

 private:
  bool IsXRefAt(int64_t Offset);
  bool IsDigitAt(int64_t Offset);
  void ReadChain(int64_t Offset, bool IsStream);
  void ApplyTrailerValues(const TvxPDFDictObject& Dict);
  std::unique_ptr<TvxPDFStreamObject> ReadXRefStreamObject(int64_t Offset);
  // Enters the in-use entries; the free ones go to Freed.
  void ReadTableEntries(int64_t Offset, std::vector<int32_t>& Freed);
  void ReadStreamEntries(const TvxPDFStreamObject& Stream);
  // Sections are entered newest first: the first entry for a number wins,
  // a free one included.
  bool Claim(int64_t K);
  void EnterTableEntry(int64_t K, const TvxXRefItem& Item);
  void EnterStreamEntry(int64_t K, const TvxXRefStmItem& Item);
  void ResolveID();
  void UnpackObjectStream(int32_t StreamNumber);

  TvxDocumentData& FData;
  TvxDocumentEvents& FEvents;
  TvxObjectLoader& FLoader;
  std::unordered_set<int64_t> FVisited;
  // Object numbers already entered (a set: the position is unused).
  TvxFlatIndex<int32_t, TvxUniqueIDHash> FClaimed;
  // The most entries a file of this size is taken to have.
  int64_t MaxEntries() const;
  // Whether Offset is not inside a number.
  bool StartsToken(int64_t Offset);
  int32_t FMaxNumber = 0;
};

}  // namespace vx
