// Loading speed: the largest corpus files, a generated 10,000-page file and
// the file named by VX_BENCH_FILE. "bytes_per_object" is the heap a loaded
// document holds divided by its stored objects: stream data stays in the
// file, so this is what memory grows by per object.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxObjectPool.h"
#include "pdf/watermark/vxWatermarkTemplate.h"
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

// Heap in use, counting the object pool by the pieces it has handed out
// rather than by its blocks, which outlive the documents they served.
int64_t HeapInUse() {
  struct mallinfo2 Info = mallinfo2();
  return static_cast<int64_t>(Info.uordblks + Info.hblkhd) -
         static_cast<int64_t>(vx::PoolReservedBytes()) + vx::PoolInUseBytes();
}

void LoadFile(benchmark::State& State, const std::string& Path) {
  int64_t Bytes = static_cast<int64_t>(fs::file_size(Path));
  for (auto _ : State) {
    const int64_t Before = HeapInUse();
    vx::TvxPDFDocument Doc;
    Doc.LoadFromFile(Path);
    benchmark::DoNotOptimize(Doc.PageCount());
    const int64_t Held = HeapInUse() - Before;
    State.counters["pages"] = Doc.PageCount();
    State.counters["objects"] = Doc.Store().Count();
    State.counters["heap_mb"] = static_cast<double>(Held) / 1048576;
    State.counters["bytes_per_object"] =
        Doc.Store().Count() ? static_cast<double>(Held) / Doc.Store().Count() : 0;
  }
  State.SetBytesProcessed(State.iterations() * Bytes);
  struct rusage Usage {};
  getrusage(RUSAGE_SELF, &Usage);
  State.counters["peak_rss_mb"] = static_cast<double>(Usage.ru_maxrss) / 1024;
}

// Load and save of a file built to cost a careless engine time or memory out
// of proportion to its size; time per byte should stay flat as N grows.
// "peak_rss_mb" is the process's peak so far (run one benchmark per process
// for a clean figure).
void LoadHostile(benchmark::State& State, const std::string& Data, bool Repair = false) {
  for (auto _ : State) {
    vx::TvxPDFDocument Doc;
    Doc.RepairDamaged = Repair;
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

// Load, stamp over the content (which reads every page's content) and save.
void StampHostile(benchmark::State& State, const std::string& Data) {
  for (auto _ : State) {
    vx::TvxPDFDocument Doc;
    try {
      Doc.LoadFromMemory(Data);
      vx::TvxTextWatermarkTemplate T;
      T.Text = u"Hostile";
      T.Overlay = true;
      Doc.MeasurementUnit = vx::muPoints;
      Doc.InsertWatermark(T);
      vx::TvxMemoryStream Out;
      Doc.WriteDocument(Out);
      benchmark::DoNotOptimize(Out.GetSize());
    } catch (const vx::Exception&) {
    }
  }
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Data.size()));
}

void RegisterHostile() {
  // Many small streams that each decode to 8 MiB, and pages sharing one
  // large /Contents array: time and memory per byte stay flat as they grow.
  for (int N : {50, 200, 800}) {
    std::string Large = vxtest::PagesWithLargeContents(N, 8 << 20);
    benchmark::RegisterBenchmark(("Hostile/many_streams_decode/" + std::to_string(N)).c_str(),
                                 [Large](benchmark::State& S) { StampHostile(S, Large); })
        ->Unit(benchmark::kMillisecond);
    std::string Shared = vxtest::PagesSharingOneContentsArray(N, 4 * N);
    benchmark::RegisterBenchmark(("Hostile/shared_contents_array/" + std::to_string(N)).c_str(),
                                 [Shared](benchmark::State& S) { StampHostile(S, Shared); })
        ->Unit(benchmark::kMillisecond);
  }
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
  // For repair: headers and trailers that never close, each running into
  // the next, and object streams that list many members.
  for (int N : {1000, 4000, 16000}) {
    std::string Open = "%PDF-1.4\n";
    for (int I = 0; I < N; ++I)
      Open += std::to_string(I % 50 + 1) + " 0 obj << /Type /Catalog /Pages [ (" +
              std::string(20, 'x') + "\ntrailer << /Root 1 0 R /Info << ";
    benchmark::RegisterBenchmark(("Hostile/repair_unclosed/" + std::to_string(N)).c_str(),
                                 [Open](benchmark::State& S) { LoadHostile(S, Open, true); })
        ->Unit(benchmark::kMillisecond);
  }
  std::string Kids = vxtest::RepeatedKids(3, 80);
  benchmark::RegisterBenchmark("Hostile/repeated_kids/3x80", [Kids](benchmark::State& S) {
    LoadHostile(S, Kids);
  })->Unit(benchmark::kMillisecond);
  std::string High = vxtest::HighestObjectNumber();
  benchmark::RegisterBenchmark("Hostile/highest_object_number", [High](benchmark::State& S) {
    LoadHostile(S, High);
  })->Unit(benchmark::kMillisecond);
}

void WriteFile(const std::string& Path, const std::string& Data) {
  std::FILE* F = std::fopen(Path.c_str(), "wb");
  if (!F) return;
  std::fwrite(Data.data(), 1, Data.size(), F);
  std::fclose(F);
}

// Repair of a 10,000-page file whose cross-reference table and trailer were
// cut off, beside qpdf reading the same file (its process start included).
void RegisterRepair() {
  std::string Data = MakeManyPages(10000);
  Data.resize(Data.rfind("xref\n"));
  std::string Cut = (fs::temp_directory_path() / "vellumark_bench_10000_pages_cut.pdf").string();
  WriteFile(Cut, Data);
  benchmark::RegisterBenchmark("Repair/cut_xref_10000_pages", [Cut](benchmark::State& State) {
    for (auto _ : State) {
      vx::TvxPDFDocument Doc;
      Doc.RepairDamaged = true;
      Doc.LoadFromFile(Cut);
      if (Doc.PageCount() != 10000) State.SkipWithError("wrong page count");
    }
    State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(fs::file_size(Cut)));
    struct rusage Usage {};
    getrusage(RUSAGE_SELF, &Usage);
    State.counters["peak_rss_mb"] = static_cast<double>(Usage.ru_maxrss) / 1024;
  })->Unit(benchmark::kMillisecond);
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) return;
  benchmark::RegisterBenchmark("Repair/qpdf_cut_xref_10000_pages", [Cut](benchmark::State& State) {
    const std::string Command = "qpdf --show-npages '" + Cut + "' >/dev/null 2>&1";
    for (auto _ : State) benchmark::DoNotOptimize(std::system(Command.c_str()));
    State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(fs::file_size(Cut)));
  })->Unit(benchmark::kMillisecond);
}

void RegisterAll() {
  if (const char* File = std::getenv("VX_BENCH_FILE"); File && fs::is_regular_file(File)) {
    std::string Path = File;
    benchmark::RegisterBenchmark("Load/VX_BENCH_FILE", [Path](benchmark::State& S) {
      LoadFile(S, Path);
    })->Unit(benchmark::kMillisecond);
  }
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
  RegisterRepair();

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
