// Loading speed: the largest corpus files and a generated 10,000-page file.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"
#include "support/hostile_files.h"

namespace {

namespace fs = std::filesystem;

// A file with Pages pages, each with its own content stream and a shared font.
std::string MakeManyPages(int Pages) {
  std::string S = "%PDF-1.4\n";
  std::vector<size_t> Offsets(static_cast<size_t>(4 + 2 * Pages), 0);
  auto Obj = [&](int N, const std::string& Body) {
    Offsets[static_cast<size_t>(N)] = S.size();
    S += std::to_string(N) + " 0 obj\n" + Body + "\nendobj\n";
  };
  Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
  std::string Kids;
  for (int P = 0; P < Pages; ++P) Kids += std::to_string(4 + 2 * P) + " 0 R ";
  Obj(2, "<< /Type /Pages /Count " + std::to_string(Pages) + " /MediaBox [0 0 612 792] /Kids [" +
             Kids + "] >>");
  Obj(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  for (int P = 0; P < Pages; ++P) {
    int N = 4 + 2 * P;
    Obj(N, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 3 0 R >> >> /Contents " +
               std::to_string(N + 1) + " 0 R >>");
    std::string Content = "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(P + 1) + ") Tj ET";
    Obj(N + 1,
        "<< /Length " + std::to_string(Content.size()) + " >>\nstream\n" + Content + "\nendstream");
  }
  size_t XRef = S.size();
  S += "xref\n0 " + std::to_string(Offsets.size()) + "\n0000000000 65535 f\r\n";
  char Line[32];
  for (size_t N = 1; N < Offsets.size(); ++N) {
    std::snprintf(Line, sizeof Line, "%010zu 00000 n\r\n", Offsets[N]);
    S += Line;
  }
  S += "trailer\n<< /Size " + std::to_string(Offsets.size()) + " /Root 1 0 R >>\nstartxref\n" +
       std::to_string(XRef) + "\n%%EOF\n";
  return S;
}

void LoadFile(benchmark::State& State, const std::string& Path) {
  int64_t Bytes = static_cast<int64_t>(fs::file_size(Path));
  for (auto _ : State) {
    vx::TvxPDFDocument Doc;
    Doc.LoadFromFile(Path);
    benchmark::DoNotOptimize(Doc.PageCount());
    State.counters["pages"] = Doc.PageCount();
  }
  State.SetBytesProcessed(State.iterations() * Bytes);
}

// Load and save of a file built to cost a careless engine time or memory out
// of proportion to its size; time per byte should stay flat as N grows.
// "peak_rss_mb" is the process's peak so far (run one benchmark per process
// for a clean figure).
void LoadHostile(benchmark::State& State, const std::string& Data) {
  for (auto _ : State) {
    vx::TvxPDFDocument Doc;
    try {
      Doc.LoadFromMemory(Data);
      vx::TvxMemoryStream Out;
      Doc.WriteDocument(Out);
      benchmark::DoNotOptimize(Out.GetSize());
    } catch (const vx::Exception&) {
    }
  }
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Data.size()));
  State.counters["file_kb"] = static_cast<double>(Data.size()) / 1024;
  struct rusage Usage {};
  getrusage(RUSAGE_SELF, &Usage);
  State.counters["peak_rss_mb"] = static_cast<double>(Usage.ru_maxrss) / 1024;
}

void RegisterHostile() {
  for (int N : {1000, 4000, 16000}) {
    std::string Long = vxtest::StreamsWithLongLengths(N);
    benchmark::RegisterBenchmark(("Hostile/long_lengths/" + std::to_string(N)).c_str(),
                                 [Long](benchmark::State& S) { LoadHostile(S, Long); })
        ->Unit(benchmark::kMillisecond);
    std::string Missing = vxtest::StreamsWithoutEndstream(N);
    benchmark::RegisterBenchmark(("Hostile/no_endstream/" + std::to_string(N)).c_str(),
                                 [Missing](benchmark::State& S) { LoadHostile(S, Missing); })
        ->Unit(benchmark::kMillisecond);
  }
  for (int Levels : {20, 40}) {
    std::string Graph = vxtest::SharedArrayGraph(Levels);
    benchmark::RegisterBenchmark(("Hostile/shared_arrays/" + std::to_string(Levels)).c_str(),
                                 [Graph](benchmark::State& S) { LoadHostile(S, Graph); })
        ->Unit(benchmark::kMillisecond);
  }
  std::string Kids = vxtest::RepeatedKids(3, 80);
  benchmark::RegisterBenchmark("Hostile/repeated_kids/3x80",
                               [Kids](benchmark::State& S) { LoadHostile(S, Kids); })
      ->Unit(benchmark::kMillisecond);
  std::string High = vxtest::HighestObjectNumber();
  benchmark::RegisterBenchmark("Hostile/highest_object_number",
                               [High](benchmark::State& S) { LoadHostile(S, High); })
      ->Unit(benchmark::kMillisecond);
}

void RegisterAll() {
  RegisterHostile();
  std::string Generated = (fs::temp_directory_path() / "vellumark_bench_10000_pages.pdf").string();
  {
    std::string Data = MakeManyPages(10000);
    std::FILE* F = std::fopen(Generated.c_str(), "wb");
    if (F) {
      std::fwrite(Data.data(), 1, Data.size(), F);
      std::fclose(F);
    }
  }
  benchmark::RegisterBenchmark("Load/generated_10000_pages", [Generated](benchmark::State& S) {
    LoadFile(S, Generated);
  })->Unit(benchmark::kMillisecond);

  fs::path Corpus = fs::path(VX_SHARED_DIR) / "corpus" / "files";
  if (!fs::is_directory(Corpus)) return;
  std::vector<std::pair<uintmax_t, fs::path>> Files;
  for (const auto& E : fs::directory_iterator(Corpus))
    if (E.is_regular_file()) Files.emplace_back(E.file_size(), E.path());
  std::sort(Files.rbegin(), Files.rend());
  for (size_t I = 0; I < Files.size() && I < 5; ++I) {
    std::string Path = Files[I].second.string();
    // Files the engine cannot read are left out of the timing.
    try {
      vx::TvxPDFDocument Probe;
      Probe.LoadFromFile(Path);
    } catch (...) {
      continue;
    }
    benchmark::RegisterBenchmark(("Load/" + Files[I].second.filename().string()).c_str(),
                                 [Path](benchmark::State& S) { LoadFile(S, Path); })
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
