// Parsing speed of the tokenizer over realistic object syntax.
#include <benchmark/benchmark.h>

#include <string>

#include "pdf/reader/vxPDFStreamReader.h"

namespace {

std::string MakeObjects(size_t TargetBytes) {
  std::string S = "%PDF-1.7\n";
  std::string Payload(400, 'x');
  for (int N = 1; S.size() < TargetBytes; ++N) {
    if (N % 4 == 0) {
      S += std::to_string(N) + " 0 obj\n<< /Length " + std::to_string(Payload.size()) +
           " /Filter /FlateDecode >>\nstream\n" + Payload + "\nendstream\nendobj\n";
    } else {
      S += std::to_string(N) +
           " 0 obj\n<< /Type /Page /Parent 3 0 R /MediaBox [0 0 612 792] /CropBox [0.0 0.0 "
           "612.5 792.25] /Resources << /Font << /F1 5 0 R /F2 7 0 R >> /ProcSet [/PDF /Text] >> "
           "/Contents " +
           std::to_string(N + 1) +
           " 0 R /Title (Chapter \\(one\\) of the book) /ID <0123456789ABCDEF0123456789ABCDEF> "
           "/Rotate 0 /UserUnit 1.5 /Annots [12 0 R 13 0 R 14 0 R] /Widths [250 333 408 500 500 "
           "833 778 180 333 333 500 564 250 333 250 278] >>\nendobj\n";
    }
  }
  return S;
}

void BM_ParseObjects(benchmark::State& State) {
  static const std::string Data = MakeObjects(8 << 20);
  for (auto _ : State) {
    vx::TvxMemoryStream Mem(Data);
    vx::TvxPDFStreamReader R(1, &Mem);
    R.Seek(9, vx::soBeginning);
    int64_t Objects = 0;
    while (!R.AtEnd()) {
      vx::TvxPDFObjectPtr Obj = R.ParseObject();
      auto* Ind = static_cast<vx::TvxPDFIndirectObject*>(Obj.get());
      if (Ind->Value->IsStream()) {
        auto* Stream = static_cast<vx::TvxPDFStreamObject*>(Ind->Value.get());
        auto* Len = static_cast<vx::TvxPDFIntegerObject*>(Stream->Dict->Lookup("/Length"));
        Stream->Data = R.ReadStreamData(Len->Value, Ind->ObjectNumber, Ind->Generation);
      }
      R.ReadToken();  // endobj
      ++Objects;
      benchmark::DoNotOptimize(Obj);
    }
    State.counters["objects"] = static_cast<double>(Objects);
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) *
                          static_cast<int64_t>(Data.size()));
}
BENCHMARK(BM_ParseObjects)->Unit(benchmark::kMillisecond);

}  // namespace
