// The bytes a save of a document writes, without a file.
#pragma once

#include <string>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxStreams.h"

namespace vxtest {

inline std::string Written(vx::TvxCustomPDFDocument& Doc) {
  vx::TvxMemoryStream Out;
  Doc.WriteDocument(Out);
  return Out.DataString();
}

}  // namespace vxtest
