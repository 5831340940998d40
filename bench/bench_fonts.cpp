// Font work per watermark: the first analysis of an installed face (font
// file read, 224 extents, cmap), a lookup on an already analysed face, text
// measurement, and the font objects with whole and subset embedding.
#include <benchmark/benchmark.h>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/fonts/vxFontResources.h"
#include "pdf/watermark/vxUnits.h"

namespace {

using namespace vx;

TvxFont Font(const char* Name, uint8_t Charset = AnsiCharset) {
  TvxFont F;
  F.Name = Name;
  F.Size = 36;
  F.Charset = Charset;
  return F;
}

// Each run a face/style not seen before, so the analysis is not cached.
void BM_AnalyseNewStyle(benchmark::State& State) {
  const char* Faces[] = {"Arial", "Times New Roman", "Courier New"};
  int N = 0;
  for (auto _ : State) {
    TvxFont F = Font(Faces[N % 3]);
    F.Bold = N / 3 % 2;
    F.Italic = N / 6 % 2;
    F.Pitch = static_cast<TvxFontPitch>(N / 12 % 3);
    F.Charset = static_cast<uint8_t>(N / 36 % 2 ? GreekCharset : AnsiCharset);
    ++N;
    TvxPDFFont P(F, false, N % 2 == 0);
    benchmark::DoNotOptimize(P.Info().Flags);
  }
}
BENCHMARK(BM_AnalyseNewStyle)->Iterations(72);

void BM_FindFontResourcePerPage(benchmark::State& State) {
  TvxPDFDocument Doc;
  TvxPDFDictObject Fonts;
  std::string Name;
  for (auto _ : State)
    benchmark::DoNotOptimize(Doc.FindFontResource(&Fonts, Font("Arial"), Name, 0));
}
BENCHMARK(BM_FindFontResourcePerPage);

void BM_MeasureTextLine(benchmark::State& State) {
  for (auto _ : State)
    benchmark::DoNotOptimize(MeasureText("CONFIDENTIAL - page 12 of 345", Font("Arial")).Width);
}
BENCHMARK(BM_MeasureTextLine);

void BM_CreateFontResource(benchmark::State& State) {
  uint8_t Embedding = static_cast<uint8_t>(State.range(0));
  uint8_t Charset = static_cast<uint8_t>(State.range(1));
  int64_t Bytes = 0;
  for (auto _ : State) {
    TvxPDFDocument Doc;
    auto Ref = Doc.CreateFontResource(Font("Arial", Charset), "/ZF", Embedding, 0,
                                      u"Draft \u03BA\u03B1\u03BB\u03B7 <%PageNo%>");
    Bytes = 0;
    for (int32_t I = 0; I < Doc.Store().Count(); ++I) {
      TvxPDFObject* V = Doc.Store().GetObject(I)->Value.get();
      if (V && V->IsStream()) Bytes += static_cast<TvxPDFStreamObject*>(V)->Data.Size();
    }
  }
  State.counters["stream_bytes"] = static_cast<double>(Bytes);
}
BENCHMARK(BM_CreateFontResource)
    ->Args({feNone, AnsiCharset})
    ->Args({feFull, AnsiCharset})
    ->Args({feSubset, AnsiCharset})
    ->Args({feFull, GreekCharset})
    ->Args({feSubset, GreekCharset})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
