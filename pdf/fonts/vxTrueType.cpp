#include "pdf/fonts/vxTrueType.h"

namespace vx {

// Stubs: the reader follows.
TvxTrueTypeFile::TvxTrueTypeFile(std::string Data) : FData(std::move(Data)) {
  throw Exception("not implemented");
}

}  // namespace vx
