#include "pdf/state/vxDocumentEnums.h"

namespace vx {

int32_t IndexOfName(const char* const* Names, int32_t High, std::string_view Text) {
  for (int32_t I = 0; I <= High; ++I)
    if (Text == Names[I]) return I;
  return -1;
}

}  // namespace vx
