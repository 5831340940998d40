// The form dictionary (/AcroForm) and its field trees, read while the
// catalog is loaded.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "pdf/reader/vxObjectLoader.h"

namespace vx {

class TvxFormReader {
 public:
  TvxFormReader(TvxDocumentData& Data, TvxObjectLoader& Loader) : FData(Data), FLoader(Loader) {}

  void LoadAcroForm(TvxPDFObject* Value);

 private:
  // Numbers of a reference kept while the object that held it may go away.
  struct TvxRefKey {
    int32_t DocumentID;
    int32_t ObjectNumber;
    uint16_t Generation;
  };

  void ReadField(const TvxRefKey& Ref);
  // LoadObject, marked used and stored when read from the file.
  TvxPDFIndirectObject* FetchObject(int32_t N);

  TvxDocumentData& FData;
  TvxObjectLoader& FLoader;
  std::unordered_set<const TvxPDFIndirectObject*> FFieldsSeen;
};

}  // namespace vx
