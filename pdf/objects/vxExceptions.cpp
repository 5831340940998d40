#include "pdf/objects/vxExceptions.h"

namespace vx {

std::string FormatMessage(std::string_view Template, std::string_view Arg) {
  std::string Result;
  Result.reserve(Template.size() + Arg.size());
  bool Done = false;
  for (size_t I = 0; I < Template.size(); ++I) {
    if (!Done && Template[I] == '%' && I + 1 < Template.size() &&
        (Template[I + 1] == 's' || Template[I + 1] == 'd')) {
      Result.append(Arg);
      ++I;
      Done = true;
    } else {
      Result.push_back(Template[I]);
    }
  }
  return Result;
}

std::string FormatMessage(std::string_view Template, int64_t Arg) {
  return FormatMessage(Template, std::to_string(Arg));
}

}  // namespace vx
