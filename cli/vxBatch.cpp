#include "cli/vxBatch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "pdf/document/vxWatermarkJobRunner.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxRandom.h"
#include "pdf/reader/vxRepair.h"
#include "pdf/security/vxAES.h"
#include "platform/vxUnicode.h"

namespace vxcli {

namespace fs = std::filesystem;

namespace {

std::u16string UpperAscii(std::u16string Text) {
  for (char16_t& C : Text)
    if (C >= u'a' && C <= u'z') C = static_cast<char16_t>(C - 32);
  return Text;
}

std::string Formatted(const std::tm& Time, const std::string& Format) {
  if (Format.empty()) return "";
  char Buffer[512];
  const size_t N = std::strftime(Buffer, sizeof Buffer, Format.c_str(), &Time);
  return std::string(Buffer, N);
}

std::string Bates(const TvxJobVariables& V, int64_t Number) {
  std::string Digits = std::to_string(Number);
  if (Digits.size() < static_cast<size_t>(V.BatesDigits))
    Digits.insert(0, static_cast<size_t>(V.BatesDigits) - Digits.size(), '0');
  return V.BatesPrefix + Digits;
}

// The value of Variable for File, false when the run does not define it.
// BatesNumber, when given, is the page's number.
bool JobVariableValue(const TvxJobVariables& Variables, const std::u16string& FileName,
                      const std::u16string& Variable, const int64_t* BatesNumber,
                      std::u16string& Value) {
  const std::u16string Key = UpperAscii(Variable);
  if (Key == u"FILENAME") {
    Value = FileName;
  } else if (Key == u"DATE") {
    Value = vx::Utf8ToUtf16(Formatted(Variables.Now, "%Y-%m-%d"));
  } else if (Key == u"TIME") {
    Value = vx::Utf8ToUtf16(Formatted(Variables.Now, "%H:%M:%S"));
  } else if (Key.rfind(u"DATE:", 0) == 0) {
    Value = vx::Utf8ToUtf16(Formatted(Variables.Now, vx::Utf16ToUtf8(Variable.substr(5))));
  } else if (Key == u"BATES") {
    if (!BatesNumber) return false;
    Value = vx::Utf8ToUtf16(Bates(Variables, *BatesNumber));
  } else {
    // The last --var of a name wins.
    bool Found = false;
    for (const auto& Defined : Variables.Values)
      if (UpperAscii(vx::Utf8ToUtf16(Defined.first)) == Key) {
        Value = vx::Utf8ToUtf16(Defined.second);
        Found = true;
      }
    return Found;
  }
  return true;
}

}  // namespace

void SetJobVariables(vx::TvxCustomPDFDocument& Doc, const TvxJobVariables& Variables,
                     const std::string& File, int64_t PagesBefore) {
  const std::u16string Name = vx::Utf8ToUtf16(fs::path(File).filename().string());
  Doc.OnCalcVariables = [&Variables, Name, PagesBefore](vx::TvxCustomPDFDocument&,
                                                        const std::u16string& Variable,
                                                        std::u16string& Value, int32_t PageNo) {
    const int64_t Number = Variables.BatesStart + PagesBefore + PageNo - 1;
    // What nobody defines stays as typed.
    if (!JobVariableValue(Variables, Name, Variable, &Number, Value))
      Value = u"<%" + Variable + u"%>";
  };
}

std::string ExpandJobVariables(const std::string& Text, const TvxJobVariables& Variables,
                               const std::string& File) {
  const std::u16string Name = vx::Utf8ToUtf16(fs::path(File).filename().string());
  const std::u16string In = vx::Utf8ToUtf16(Text);
  std::u16string Out;
  size_t Pos = 0;
  for (;;) {
    const size_t Open = In.find(u"<%", Pos);
    const size_t Close = Open == std::u16string::npos ? Open : In.find(u"%>", Open + 2);
    if (Close == std::u16string::npos) break;
    Out.append(In, Pos, Open - Pos);
    std::u16string Value;
    if (JobVariableValue(Variables, Name, In.substr(Open + 2, Close - Open - 2), nullptr, Value))
      Out += Value;
    else
      Out.append(In, Open, Close + 2 - Open);
    Pos = Close + 2;
  }
  Out.append(In, Pos);
  return vx::Utf16ToUtf8(Out);
}

bool UsesBates(const std::u16string& Text) {
  return UpperAscii(Text).find(u"<%BATES%>") != std::u16string::npos;
}

namespace {

TvxBatchFile BatchInput(std::string Path, std::string Refused = "") {
  TvxBatchFile F;
  F.Input = std::move(Path);
  F.Refused = std::move(Refused);
  return F;
}

bool IsPdfName(const fs::path& Path) {
  std::string Ext = Path.extension().string();
  for (char& C : Ext) C = static_cast<char>(C >= 'A' && C <= 'Z' ? C + 32 : C);
  return Ext == ".pdf";
}

}  // namespace

std::string PathIdentity(const std::string& Path) {
  std::error_code Error;
  const fs::path P = fs::weakly_canonical(fs::absolute(Path, Error), Error);
  return Error ? Path : P.string();
}

std::vector<TvxBatchFile> BatchFiles(const std::vector<std::string>& Inputs, bool Recursive,
                                     const std::optional<std::string>& OutDir,
                                     const std::optional<std::string>& Suffix, bool InPlace) {
  std::vector<TvxBatchFile> Files;
  // The folder under a folder given on the command line that each file was
  // found in: results keep it under OutDir, so that names cannot collide.
  std::vector<fs::path> Under;
  for (const std::string& Input : Inputs) {
    std::error_code Error;
    if (!fs::is_directory(Input, Error)) {
      Files.push_back(BatchInput(Input));
      Under.emplace_back();
      continue;
    }
    if (!Recursive) {
      Files.push_back(BatchInput(Input, "is a folder: give --recursive to stamp the files in it"));
      Under.emplace_back();
      continue;
    }
    std::vector<std::string> Found;
    fs::recursive_directory_iterator It(Input, fs::directory_options::skip_permission_denied,
                                        Error);
    for (; !Error && It != fs::recursive_directory_iterator(); It.increment(Error))
      if (It->is_regular_file(Error) && IsPdfName(It->path())) Found.push_back(It->path().string());
    if (Error) {
      Files.push_back(BatchInput(Input, "cannot be read as a folder: " + Error.message()));
      Under.emplace_back();
    }
    std::sort(Found.begin(), Found.end());
    for (std::string& F : Found) {
      Under.push_back(fs::path(F).parent_path().lexically_relative(Input));
      if (Under.back() == ".") Under.back().clear();
      Files.push_back(BatchInput(std::move(F)));
    }
  }

  std::set<std::string> InputIds, Taken;
  for (const TvxBatchFile& F : Files) InputIds.insert(PathIdentity(F.Input));
  for (size_t I = 0; I < Files.size(); ++I) {
    TvxBatchFile& F = Files[I];
    if (!F.Refused.empty()) continue;
    const fs::path In(F.Input);
    if (InPlace) {
      F.Output = F.Input;
      // A save names its file *.pdf; any other name would not be replaced.
      if (vx::TvxCustomPDFDocument::TargetFileName(F.Input) != F.Input)
        F.Refused = "cannot be replaced in place: its name does not end in .pdf";
    } else {
      const fs::path Dir = OutDir ? fs::path(*OutDir) / Under[I] : In.parent_path();
      const std::string Name =
          Suffix ? In.stem().string() + *Suffix + ".pdf" : In.filename().string();
      F.Output = vx::TvxCustomPDFDocument::TargetFileName((Dir / Name).string());
      if (InputIds.count(PathIdentity(F.Output)))
        F.Refused = "would be written over an input (" + F.Output + "); --in-place allows that";
    }
    if (F.Refused.empty() && !Taken.insert(PathIdentity(F.Output)).second)
      F.Refused = "another input is written to " + F.Output;
  }
  return Files;
}

namespace {

using TvxClock = std::chrono::steady_clock;

// Everything the workers share: the next file, the page counts in input
// order, and standard error with its progress line.
class TvxBatch {
 public:
  TvxBatch(const std::vector<TvxBatchFile>& Files, const TvxBatchSettings& Settings)
      : FFiles(Files),
        FSettings(Settings),
        FBates(UsesBates(Settings.Job.Text)),
        FPages(Files.size(), -1),
        FPagesBefore(Files.size(), 0),
        FStart(TvxClock::now()) {}

  int Run() {
    const size_t Workers = std::max<size_t>(1, std::min<size_t>(FSettings.Jobs, FFiles.size()));
    std::vector<std::thread> Threads;
    for (size_t I = 0; I < Workers; ++I) Threads.emplace_back([this, I] { Work(I); });
    {
      std::unique_lock<std::mutex> Lock(FLock);
      while (FDone < FFiles.size()) {
        if (FSettings.Progress) DrawProgress();
        FChanged.wait_for(Lock, std::chrono::milliseconds(100));
      }
      EraseProgress();
    }
    for (std::thread& T : Threads) T.join();
    std::fprintf(stderr, "%zu stamped, %zu failed\n", FDone - FFailed, FFailed);
    return FFailed > 0 ? 1 : 0;
  }

 private:
  // A copy of the loaded source for a worker other than the first: each
  // document is stamped by one thread at a time.
  struct TvxOwnSource {
    std::unique_ptr<vx::TvxPDFDocument> Doc;
    std::unique_ptr<vx::TvxDocumentSnapshot> Snapshot;
  };

  void Work(size_t Worker) {
    TvxOwnSource Own;
    for (;;) {
      const size_t I = FNext.fetch_add(1);
      if (I >= FFiles.size()) return;
      Stamp(I, Worker, Own);
    }
  }

  // The source for Worker, as the run loaded it: the first worker's is the
  // run's own, the others load theirs on their first file (its warnings
  // were told by the first load).
  vx::TvxCustomPDFDocument& SourceFor(size_t Worker, TvxOwnSource& Own, const std::string& File) {
    if (Worker == 0) {
      FSettings.Source->Restore(*FSettings.Snapshot);
      return *FSettings.Source;
    }
    if (!Own.Doc) {
      auto Doc = std::make_unique<vx::TvxPDFDocument>();
      LoadDocument(*Doc, File, FSettings.LoadOptions, [](const std::string&) {});
      Own.Snapshot = Doc->TakeSnapshot();
      Own.Doc = std::move(Doc);
    } else {
      Own.Doc->Restore(*Own.Snapshot);
    }
    return *Own.Doc;
  }

  // Notes page count Pages of file I (0 when it failed) and, once every
  // file before it is counted, what comes before each.
  void Counted(size_t I, int64_t Pages) {
    std::lock_guard<std::mutex> Lock(FLock);
    if (FPages[I] >= 0) return;
    FPages[I] = Pages;
    while (FCounted < FPages.size() && FPages[FCounted] >= 0) {
      FPagesBefore[FCounted] = FSum;
      FSum += FPages[FCounted++];
    }
    FChanged.notify_all();
  }

  // Files are taken in order, so every earlier one is being loaded already
  // or done: the wait ends.
  int64_t PagesBefore(size_t I) {
    std::unique_lock<std::mutex> Lock(FLock);
    FChanged.wait(Lock, [&] { return FCounted > I; });
    return FPagesBefore[I];
  }

  void Stamp(size_t I, size_t Worker, TvxOwnSource& Own) {
    const TvxBatchFile& F = FFiles[I];
    const TvxClock::time_point Begin = TvxClock::now();
    std::string Message;
    std::vector<std::string> Notes;
    int32_t Pages = 0;
    bool Ok = false;
    if (FSettings.Seed) {
      uint64_t Seed = *FSettings.Seed + I;
      if (Seed == 0) Seed = 1;
      vx::SeedThreadRandom(Seed);
      vx::SeedThreadRandomBytes(Seed);
    }
    const std::string& Name = F.Label.empty() ? F.Input : F.Label;
    try {
      if (!F.Refused.empty()) throw vx::Exception(F.Refused);
      std::unique_ptr<vx::TvxPDFDocument> Loaded;
      vx::TvxCustomPDFDocument* Doc = nullptr;
      if (FSettings.Source) {
        Doc = &SourceFor(Worker, Own, F.Input);
      } else {
        Loaded = std::make_unique<vx::TvxPDFDocument>();
        Doc = Loaded.get();
        LoadDocument(*Doc, F.Input, FSettings.LoadOptions, [this, &F](const std::string& Warning) {
          std::lock_guard<std::mutex> Lock(FLock);
          EraseProgress();
          std::fprintf(stderr, "%s: warning: %s\n", F.Input.c_str(), Warning.c_str());
        });
      }
      Pages = Doc->PageCount();
      Counted(I, Pages);
      TvxJobVariables Variables = FSettings.Variables;
      Variables.Values.insert(Variables.Values.end(), F.Values.begin(), F.Values.end());
      SetJobVariables(*Doc, Variables, F.Input, FBates ? PagesBefore(I) : 0);
      vx::RunWatermarkJob(*Doc, FSettings.Job, &Notes);
      Doc->OnCalcVariables = nullptr;
      // Opening each of many results is not what a batch wants.
      Doc->OpenAfterSave = false;
      // A file found in a subfolder goes to the same subfolder of DIR.
      std::error_code Made;
      fs::create_directories(fs::path(F.Output).parent_path(), Made);
      Doc->SaveToFile(F.Output);
      Ok = true;
    } catch (const TvxDamagedFile& E) {
      Message = E.Message + "; " + std::string(vx::msg::RepairMayRecover);
    } catch (const TvxUsageError& E) {
      Message = E.Message;
    } catch (const std::exception& E) {
      Message = E.what();
    }
    Counted(I, 0);  // after a failure; a no-op once counted
    if (FSettings.Seed) {
      vx::SeedThreadRandom(0);
      vx::SeedThreadRandomBytes(0);
    }
    const double Seconds = std::chrono::duration<double>(TvxClock::now() - Begin).count();
    std::lock_guard<std::mutex> Lock(FLock);
    if (!Ok || !Notes.empty()) EraseProgress();
    for (const std::string& Note : Notes)
      std::fprintf(stderr, "%s: %s\n", Name.c_str(), Note.c_str());
    if (!Ok) std::fprintf(stderr, "%s: %s\n", Name.c_str(), Message.c_str());
    if (FSettings.Json) {
      nlohmann::json Line = {{"input", F.Input},   {"output", F.Output},
                             {"pages", Pages},     {"status", Ok ? "ok" : "failed"},
                             {"message", Message}, {"seconds", Seconds}};
      // File names need not be UTF-8: what is not becomes U+FFFD.
      std::printf("%s\n",
                  Line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
      std::fflush(stdout);
    }
    ++FDone;
    if (!Ok) ++FFailed;
    if (Ok) FPagesDone += Pages;
    FChanged.notify_all();
  }

  // Under FLock, at most ten times a second.
  void DrawProgress() {
    const TvxClock::time_point Now = TvxClock::now();
    if (FShown && Now - FDrawn < std::chrono::milliseconds(100)) return;
    FDrawn = Now;
    const double Elapsed = std::chrono::duration<double>(Now - FStart).count();
    const double Rate = Elapsed > 0 ? static_cast<double>(FPagesDone) / Elapsed : 0;
    std::string Line = "files " + std::to_string(FDone) + "/" + std::to_string(FFiles.size()) +
                       ", pages " + std::to_string(FPagesDone) + ", " +
                       std::to_string(static_cast<int64_t>(Rate)) + " pages/s";
    if (FDone > 0)
      Line += ", ~" +
              std::to_string(static_cast<int64_t>(Elapsed / static_cast<double>(FDone) *
                                                      static_cast<double>(FFiles.size() - FDone) +
                                                  0.5)) +
              " s left";
    std::fprintf(stderr, "\r%s\033[K", Line.c_str());
    std::fflush(stderr);
    FShown = true;
  }

  // Under FLock.
  void EraseProgress() {
    if (!FShown) return;
    std::fputs("\r\033[K", stderr);
    FShown = false;
  }

  const std::vector<TvxBatchFile>& FFiles;
  const TvxBatchSettings& FSettings;
  const bool FBates;
  std::atomic<size_t> FNext{0};
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<int64_t> FPages, FPagesBefore;
  size_t FCounted = 0;
  int64_t FSum = 0;
  size_t FDone = 0, FFailed = 0;
  int64_t FPagesDone = 0;
  bool FShown = false;
  const TvxClock::time_point FStart;
  TvxClock::time_point FDrawn;
};

}  // namespace

int RunBatch(const std::vector<TvxBatchFile>& Files, const TvxBatchSettings& Settings) {
  return TvxBatch(Files, Settings).Run();
}

}  // namespace vxcli
