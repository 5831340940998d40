// Number text as the writer writes reals and the reader reads them: the
// fast ways beside the general ones they must match.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "pdf/objects/vxNumberText.h"
#include "pdf/objects/vxNumberTextFast.h"

namespace {

// Values like a text document's: coordinates, widths, matrix entries.
const std::vector<double>& Values() {
  static const std::vector<double> V = [] {
    std::mt19937_64 Rng(1);
    std::uniform_int_distribution<int> Milli(-800000, 800000);
    std::vector<double> R;
    for (int I = 0; I < 4096; ++I) R.push_back(Milli(Rng) / 1000.0);
    return R;
  }();
  return V;
}

const std::vector<std::string>& Texts() {
  static const std::vector<std::string> T = [] {
    std::vector<std::string> R;
    for (double V : Values()) R.push_back(std::to_string(V));
    return R;
  }();
  return T;
}

void BM_RealToPDFText(benchmark::State& State) {
  std::string Out;
  for (auto _ : State) {
    Out.clear();
    for (double V : Values()) vx::AppendRealToPDFText(Out, V);
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetItemsProcessed(State.iterations() * static_cast<int64_t>(Values().size()));
}
BENCHMARK(BM_RealToPDFText);

void BM_RealToPDFTextGeneral(benchmark::State& State) {
  std::string Out;
  for (auto _ : State) {
    Out.clear();
    for (double V : Values()) Out += vx::RealToPDFTextGeneral(V);
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetItemsProcessed(State.iterations() * static_cast<int64_t>(Values().size()));
}
BENCHMARK(BM_RealToPDFTextGeneral);

void BM_TextToFloat(benchmark::State& State) {
  for (auto _ : State) {
    double Sum = 0, V = 0;
    for (const std::string& T : Texts())
      if (vx::TryTextToFloatDot(T, V)) Sum += V;
    benchmark::DoNotOptimize(Sum);
  }
  State.SetItemsProcessed(State.iterations() * static_cast<int64_t>(Texts().size()));
}
BENCHMARK(BM_TextToFloat);

void BM_TextToFloatGeneral(benchmark::State& State) {
  for (auto _ : State) {
    double Sum = 0, V = 0;
    for (const std::string& T : Texts())
      if (vx::TryTextToFloatDotGeneral(T, V)) Sum += V;
    benchmark::DoNotOptimize(Sum);
  }
  State.SetItemsProcessed(State.iterations() * static_cast<int64_t>(Texts().size()));
}
BENCHMARK(BM_TextToFloatGeneral);

}  // namespace
