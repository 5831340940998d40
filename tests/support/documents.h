// The bytes a save of a document writes, without a file.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxStreams.h"
#include "pdf/security/vxAES.h"

namespace vxtest {

// Random draws of a save (file identifiers, keys, IVs) repeat from a seed,
// so that two saves can be compared byte for byte.
class SeededRandom {
 public:
  explicit SeededRandom(uint64_t Seed) { vx::SeedRandomBytes(Seed); }
  ~SeededRandom() { vx::SeedRandomBytes(0); }
  SeededRandom(const SeededRandom&) = delete;
  SeededRandom& operator=(const SeededRandom&) = delete;
};

// A save's bytes with the system's random draws.
inline std::string WrittenUnseeded(vx::TvxCustomPDFDocument& Doc) {
  vx::TvxMemoryStream Out;
  Doc.WriteDocument(Out);
  return Out.DataString();
}

// A save's bytes with the random draws of seed 1: the same document always
// writes the same bytes.
inline std::string Written(vx::TvxCustomPDFDocument& Doc) {
  SeededRandom Seeded(1);
  return WrittenUnseeded(Doc);
}

// Saves to File with the random draws Written makes.
inline void SaveAsWritten(vx::TvxCustomPDFDocument& Doc, const std::string& File) {
  SeededRandom Seeded(1);
  Doc.SaveToFile(File, 2);
}

}  // namespace vxtest
