// The PDF versions a file's header can name and a document can be saved as.
#pragma once

#include <cstdint>

namespace vx {

enum TvxPDFVersion : uint8_t {
  pvPDF10,
  pvPDF11,
  pvPDF12,
  pvPDF13,
  pvPDF14,
  pvPDF15,
  pvPDF16,
  pvPDF17,
  pvPDF20
};

}  // namespace vx
