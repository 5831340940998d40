// Feeds arbitrary bytes to the tokenizer and parser. Only the engine's own
// exceptions may come out; anything else (a crash, a sanitizer report, a
// foreign exception) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "pdf/objects/vxExceptions.h"
#include "pdf/reader/vxPDFStreamReader.h"

namespace {

void ParseAll(vx::TvxPDFStreamReader& R) {
  R.Seek(0, vx::soBeginning);
  const int64_t Size = R.GetSize();
  // Every round consumes at least one byte, so this ends.
  for (int Round = 0; Round < 4096 && !R.AtEnd(); ++Round) {
    int64_t Before = R.Position();
    try {
      vx::TvxPDFObjectPtr Obj = R.ParseObject();
      if (Obj && Obj->IsIndirectObject()) {
        auto* Ind = static_cast<vx::TvxPDFIndirectObject*>(Obj.get());
        if (Ind->Value && Ind->Value->IsStream()) {
          auto* Stream = static_cast<vx::TvxPDFStreamObject*>(Ind->Value.get());
          vx::TvxPDFObject* Len = Stream->Dict->Lookup("/Length");
          int32_t Length =
              Len && Len->IsInteger() ? static_cast<vx::TvxPDFIntegerObject*>(Len)->Value : 0;
          Stream->Data = R.ReadStreamData(Length, Ind->ObjectNumber, Ind->Generation);
          (void)Obj->Clone();
        }
      }
    } catch (const vx::Exception&) {
    }
    if (R.Position() <= Before) R.Seek(Before + 1 > Size ? Size : Before + 1, vx::soBeginning);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  vx::TvxMemoryStream Mem(std::string(reinterpret_cast<const char*>(Data), Size));
  vx::TvxPDFStreamReader R(1, &Mem);
  try {
    R.ReadHeaderVersion();
  } catch (const vx::Exception&) {
  }
  int32_t XRef = -1;
  try {
    XRef = R.FindStartXRef();
  } catch (const vx::Exception&) {
  }
  try {
    R.Seek(XRef >= 0 && XRef < static_cast<int64_t>(Size) ? XRef : 0, vx::soBeginning);
    R.ReadTrailer();
  } catch (const vx::Exception&) {
  }
  ParseAll(R);
  return 0;
}
