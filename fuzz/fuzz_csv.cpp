// Any bytes as a recipients table: only the reader's own exception may come
// out, and every row it gives has as many fields as the header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/vxCsvReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    const vxcli::TvxCsvTable Table =
        vxcli::ReadCsvTable(std::string(reinterpret_cast<const char*>(Data), Size), "fuzz.csv");
    for (const vxcli::TvxCsvRecord& Row : Table.Rows)
      if (Row.Fields.size() != Table.Names.size()) std::abort();
  } catch (const vx::Exception&) {
  }
  return 0;
}
