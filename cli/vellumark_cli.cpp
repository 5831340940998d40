// vellumark-cli: drives the engine from scripts and tests.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/vxBatch.h"
#include "cli/vxCliOptions.h"
#include "cli/vxCommandLine.h"
#include "cli/vxOptionValues.h"
#include "cli/vxRecipients.h"
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxWatermarkJobRunner.h"
#include "pdf/objects/vxExceptions.h"
#include "pdf/objects/vxRandom.h"
#include "pdf/reader/vxRepair.h"
#include "pdf/security/vxAES.h"
#include "platform/vxCodePage.h"
#include "platform/vxFontService.h"
#include "platform/vxUnicode.h"

namespace {

using vxcli::TvxArgs;
using vxcli::TvxUsageError;

// The values below were checked as the command line was read; a default
// stands for an option not given.
int32_t IntegerOption(const TvxArgs& Args, const std::string& Option, int32_t Default) {
  auto It = Args.Options.find(Option);
  return It == Args.Options.end()
             ? Default
             : vxcli::WholeNumberValue(Option, It->second, INT32_MIN, INT32_MAX);
}

uint32_t ColorOption(const TvxArgs& Args, const std::string& Option, uint32_t Default) {
  auto It = Args.Options.find(Option);
  return It == Args.Options.end() ? Default : vxcli::ColorValue(Option, It->second);
}

std::optional<uint64_t> SeedOption(const TvxArgs& Args) {
  auto It = Args.Options.find("--seed");
  if (It == Args.Options.end()) return std::nullopt;
  return vxcli::SeedValue(It->second);
}

int ChoiceOption(const TvxArgs& Args, const std::string& Option,
                 const std::vector<std::string>& Choices, int Default) {
  auto It = Args.Options.find(Option);
  return It == Args.Options.end() ? Default : vxcli::ChoiceValue(Option, It->second, Choices);
}

const char* VersionText(vx::TvxPDFVersion V) {
  static constexpr const char* Texts[] = {"1.0", "1.1", "1.2", "1.3", "1.4",
                                          "1.5", "1.6", "1.7", "2.0"};
  return V <= vx::pvPDF20 ? Texts[V] : "?";
}

// Loads FILE with the --password option, if any.
void Load(vx::TvxPDFDocument& Doc, const std::string& File, const TvxArgs& Args) {
  vxcli::LoadDocument(Doc, File, Args.Options);
}

int Info(const TvxArgs& Args) {
  if (Args.Positional.size() != 1) throw TvxUsageError{"info takes one FILE"};
  vx::TvxPDFDocument Doc;
  Load(Doc, Args.Positional[0], Args);
  vx::TvxPDFInfo& I = Doc.Info();
  auto Line = [](const char* Key, const std::string& Value) {
    std::printf("%s: %s\n", Key, Value.c_str());
  };
  Line("version", VersionText(Doc.PDFVersion()));
  Line("pages", std::to_string(Doc.PageCount()));
  Line("encrypted", Doc.IsEncrypted() ? "yes" : "no");
  if (Doc.IsEncrypted()) {
    Line("owner", Doc.IsOwner() ? "yes" : "no");
    Line("permissions", vxcli::PermissionsText(Doc.Encryption().UserPermissions()));
  }
  Line("title", vx::Utf16ToUtf8(I.GetTitle()));
  Line("author", vx::Utf16ToUtf8(I.GetAuthor()));
  Line("subject", vx::Utf16ToUtf8(I.GetSubject()));
  Line("keywords", vx::Utf16ToUtf8(I.GetKeywords()));
  Line("creator", vx::Utf16ToUtf8(I.GetCreator()));
  Line("producer", vx::Utf16ToUtf8(I.GetProducer()));
  Line("page-mode", vx::PageModeNames[Doc.PageMode()] + 1);
  Line("page-layout", vx::PageLayoutNames[Doc.PageLayout()] + 1);
  const vx::TvxFoundWatermarks Found = Doc.FindWatermarks();
  std::string Layer = std::to_string(Found.LayerPages) + " page(s)";
  if (Found.HasGroup)
    Layer += " in layer \"" + Found.GroupName + "\" (print " + (Found.Print ? "on" : "off") +
             ", view " + (Found.View ? "on" : "off") + ")";
  for (const std::u16string& Text : Found.Texts) {
    std::string One = vx::Utf16ToUtf8(Text);
    for (char& C : One)
      if (C == '\r' || C == '\n') C = ' ';
    Layer += " \"" + One + "\"";
  }
  if (Found.MoreTexts > 0) Layer += " and " + std::to_string(Found.MoreTexts) + " more";
  Line("watermarks", Layer);
  if (Found.PlainPages > 0)
    Line("watermarks-not-in-layer", std::to_string(Found.PlainPages) + " page(s)");
  for (const std::string& Name : Found.Others) Line("other-watermark-layer", Name);
  return 0;
}

uint8_t LevelOption(const TvxArgs& Args) {
  auto It = Args.Options.find("--level");
  return It == Args.Options.end() ? 2 : static_cast<uint8_t>(It->second[0] - '0');
}

int Rewrite(const TvxArgs& Args) {
  auto Out = Args.Options.find("-o");
  if (Args.Positional.size() != 1 || Out == Args.Options.end())
    throw TvxUsageError{"rewrite takes IN and -o OUT"};
  // true, false, or the file's own setting.
  const int32_t Appearance = ChoiceOption(Args, "--need-appearances", vxcli::TrueFalseChoices, 2);
  uint8_t Level = LevelOption(Args);
  const std::optional<vx::TvxEncryptionOptions> Encryption =
      vxcli::ParseEncryptionOptions(Args.Options);
  const int Method = ChoiceOption(Args, "--compress", vxcli::CompressChoices, -1);
  if (Method < 0 && Args.Options.count("--level"))
    throw TvxUsageError{"--level goes with --compress"};
  vx::TvxPDFDocument Doc;
  Load(Doc, Args.Positional[0], Args);
  // A load resets the output settings, so they are set after it.
  if (Method >= 0) Doc.SetCompression(static_cast<uint8_t>(Method), Level);
  if (Encryption) vx::ApplyEncryptionOptions(Doc.Encryption(), *Encryption);
  Doc.SetObjectStreams(static_cast<vx::TvxObjectStreams>(
      ChoiceOption(Args, "--object-streams", vxcli::ObjectStreamChoices, 0)));
  Doc.SaveToFile(Out->second, Appearance);
  return 0;
}

// The watermark text: UTF-8 with "\n" for a new line ("\\" for a backslash).
std::u16string WatermarkText(const std::string& Utf8) {
  std::string Lines;
  for (size_t I = 0; I < Utf8.size(); ++I) {
    if (Utf8[I] == '\\' && I + 1 < Utf8.size() && (Utf8[I + 1] == 'n' || Utf8[I + 1] == '\\')) {
      Lines.push_back(Utf8[I + 1] == 'n' ? '\n' : '\\');
      ++I;
    } else {
      Lines.push_back(Utf8[I]);
    }
  }
  return vx::Utf8ToUtf16(Lines);
}

// The job: the "--job" file over the command line's defaults (the window's,
// except that nothing opens unless asked), then the options over it.
vx::TvxWatermarkJob StampJob(const TvxArgs& Args) {
  vx::TvxWatermarkJob Job;
  Job.OpenAfterSave = false;
  if (auto File = Args.Options.find("--job"); File != Args.Options.end())
    Job = vx::LoadWatermarkJob(File->second, Job);
  if (auto Text = Args.Options.find("--text"); Text != Args.Options.end()) {
    Job.Text = WatermarkText(Text->second);
  }
  Job.Angle = IntegerOption(Args, "--angle", Job.Angle);
  if (auto Face = Args.Options.find("--font"); Face != Args.Options.end()) {
    if (Face->second.empty()) throw TvxUsageError{"--font takes a face name"};
    Job.Font.Name = Face->second;
  }
  Job.Font.Size = IntegerOption(Args, "--size", Job.Font.Size);
  // A switch adds to the job; it cannot take away what the job file asks.
  Job.Font.Bold = Job.Font.Bold || Args.Has("--bold");
  Job.Font.Italic = Job.Font.Italic || Args.Has("--italic");
  Job.Font.Underline = Job.Font.Underline || Args.Has("--underline");
  Job.Font.StrikeOut = Job.Font.StrikeOut || Args.Has("--strikeout");
  Job.Font.Color = ColorOption(Args, "--color", Job.Font.Color);
  Job.StrokeColor = ColorOption(Args, "--stroke-color", Job.StrokeColor);
  Job.RenderMode = static_cast<vx::TvxTextRenderMode>(
      ChoiceOption(Args, "--render", vxcli::RenderChoices, Job.RenderMode));
  Job.HorizontalPosition = static_cast<vx::TvxHorizontalPosition>(
      ChoiceOption(Args, "--horizontal", vxcli::HorizontalChoices, Job.HorizontalPosition));
  Job.VerticalPosition = static_cast<vx::TvxVerticalPosition>(
      ChoiceOption(Args, "--vertical", vxcli::VerticalChoices, Job.VerticalPosition));
  Job.Overlay = Job.Overlay || Args.Has("--over");
  Job.Opacity = IntegerOption(Args, "--opacity", Job.Opacity);
  Job.Scale = IntegerOption(Args, "--scale", Job.Scale);
  Job.Tile = Job.Tile || Args.Has("--tile");
  Job.TileStagger = Job.TileStagger || Args.Has("--tile-stagger");
  if (auto Gap = Args.Options.find("--tile-gap"); Gap != Args.Options.end()) {
    std::tie(Job.TileGapX, Job.TileGapY) = vxcli::TileGapValue(Gap->second);
  }
  Job.FontEmbedding =
      static_cast<uint8_t>(ChoiceOption(Args, "--embed", vxcli::EmbedChoices, Job.FontEmbedding));
  if (auto Pages = Args.Options.find("--pages"); Pages != Args.Options.end())
    Job.Pages = Pages->second;
  Job.Encryption = vxcli::ParseEncryptionOptions(Args.Options, Job.Encryption);
  Job.OpenAfterSave = Job.OpenAfterSave || Args.Has("--open");
  for (const char* Option : {"--layer-print", "--layer-view"}) {
    if (!Args.Options.count(Option)) continue;
    const bool On = ChoiceOption(Args, Option, vxcli::OnOffChoices, 1) == 1;
    (std::string(Option) == "--layer-print" ? Job.LayerPrint : Job.LayerView) = On;
    Job.Layer = true;
  }
  Job.Layer = Job.Layer || Args.Has("--layer");
  Job.Replace = Job.Replace || Args.Has("--replace");
  Job.Compact = Job.Compact || Args.Has("--compact");
  Job.ObjectStreams = static_cast<vx::TvxObjectStreams>(ChoiceOption(
      Args, "--object-streams", vxcli::ObjectStreamChoices, static_cast<int>(Job.ObjectStreams)));
  return Job;
}

// The variables of a run: --var, --bates-*, and the time it started.
vxcli::TvxJobVariables JobVariables(const TvxArgs& Args) {
  vxcli::TvxJobVariables V;
  const std::time_t Now = std::time(nullptr);
  localtime_r(&Now, &V.Now);
  V.BatesStart = IntegerOption(Args, "--bates-start", 1);
  V.BatesDigits = IntegerOption(Args, "--bates-digits", 6);
  if (auto It = Args.Options.find("--bates-prefix"); It != Args.Options.end())
    V.BatesPrefix = It->second;
  for (const auto& [Option, Value] : Args.All) {
    if (Option != "--var") continue;
    V.Values.push_back(vxcli::VariableValue(Value));
  }
  return V;
}

// What a batch does, whatever its files.
vxcli::TvxBatchSettings BatchSettings(const TvxArgs& Args, const vx::TvxWatermarkJob& Job) {
  vxcli::TvxBatchSettings Settings;
  Settings.Job = Job;
  Settings.LoadOptions = Args.Options;
  Settings.Variables = JobVariables(Args);
  Settings.Seed = SeedOption(Args);
  // Up to 256 files mapped at once are guarded against being cut short
  // while read; more would go unguarded.
  const unsigned Cores = std::max(1u, std::thread::hardware_concurrency());
  Settings.Jobs = static_cast<unsigned>(
      IntegerOption(Args, "--jobs", static_cast<int32_t>(std::min(Cores, 256u))));
  Settings.Json = Args.Has("--json");
  Settings.Progress = isatty(2) && !Args.Has("--quiet");
  return Settings;
}

// The folder the results go to, made when missing.
void MakeOutputFolder(const std::string& OutDir, const std::string& Why) {
  std::error_code Error;
  if (std::filesystem::exists(OutDir, Error) && !std::filesystem::is_directory(OutDir, Error))
    throw TvxUsageError{"-o " + OutDir + " is a file: " + Why};
  std::filesystem::create_directories(OutDir, Error);
  if (Error) throw vx::Exception("Cannot make the folder " + OutDir + ": " + Error.message());
}

// Several inputs, folders or a folder to write to: each file on its own,
// side by side, a failure stopping none of the others.
int StampBatch(const TvxArgs& Args, const vx::TvxWatermarkJob& Job) {
  const bool InPlace = Args.Has("--in-place");
  auto Out = Args.Options.find("-o");
  auto Suffix = Args.Options.find("--suffix");
  const std::optional<std::string> OutDir =
      Out == Args.Options.end() ? std::nullopt : std::optional(Out->second);
  const std::optional<std::string> SuffixText =
      Suffix == Args.Options.end() ? std::nullopt : std::optional(Suffix->second);
  if (Args.Positional.empty()) throw TvxUsageError{"stamp takes IN and -o OUT"};
  // Said once here rather than by every file's load.
  if (Args.Options.count("--repair") && Args.Options.count("--no-repair"))
    throw TvxUsageError{"--repair and --no-repair exclude each other"};
  if (InPlace && (OutDir || SuffixText))
    throw TvxUsageError{"--in-place goes without -o and --suffix"};
  if (!InPlace && !OutDir && !SuffixText)
    throw TvxUsageError{"stamp with several inputs takes -o DIR, --suffix TEXT or --in-place"};
  const vxcli::TvxBatchSettings Settings = BatchSettings(Args, Job);
  if (OutDir) MakeOutputFolder(*OutDir, "several inputs take a folder");
  const std::vector<vxcli::TvxBatchFile> Files =
      vxcli::BatchFiles(Args.Positional, Args.Has("--recursive"), OutDir, SuffixText, InPlace);
  // The font is found and analysed once, before the workers need it.
  vx::PrepareWatermarkFont(*vx::MakeWatermarkTemplate(Job)->Font);
  // Each worker then has an arena of its own instead of waiting for one.
  mallopt(M_ARENA_MAX, static_cast<int>(std::min(Settings.Jobs, 64u)) + 1);
  return vxcli::RunBatch(Files, Settings);
}

// A copy of one input per row of a recipients file: the input is loaded
// once, and each copy stamped from it as it was loaded.
int StampRecipients(const TvxArgs& Args, const vx::TvxWatermarkJob& Job) {
  auto Table = Args.Options.find("--recipients");
  auto Pattern = Args.Options.find("--output-name");
  auto Out = Args.Options.find("-o");
  if (Table == Args.Options.end()) throw TvxUsageError{"--output-name goes with --recipients"};
  if (Pattern == Args.Options.end())
    throw TvxUsageError{"--recipients goes with --output-name PATTERN"};
  if (Args.Positional.size() != 1 || Out == Args.Options.end())
    throw TvxUsageError{"stamp --recipients takes one IN and -o DIR"};
  if (Args.Has("--in-place") || Args.Has("--recursive") || Args.Options.count("--suffix"))
    throw TvxUsageError{"--recipients goes without --suffix, --in-place and --recursive"};
  if (Args.Options.count("--repair") && Args.Options.count("--no-repair"))
    throw TvxUsageError{"--repair and --no-repair exclude each other"};
  vxcli::TvxBatchSettings Settings = BatchSettings(Args, Job);
  const vxcli::TvxCsvTable Recipients = vxcli::ReadCsvFile(Table->second);
  MakeOutputFolder(Out->second, "--recipients takes a folder");
  const std::string& Source = Args.Positional[0];
  const std::vector<vxcli::TvxBatchFile> Files = vxcli::RecipientFiles(
      Source, Out->second, Pattern->second, Recipients, Table->second, Settings.Variables);
  std::jthread FontWork(
      [Font = *vx::MakeWatermarkTemplate(Job)->Font] { vx::PrepareWatermarkFont(Font); });
  vx::TvxPDFDocument Doc;
  vxcli::LoadDocument(Doc, Source, Args.Options);
  FontWork.join();
  const std::unique_ptr<vx::TvxDocumentSnapshot> Snapshot = Doc.TakeSnapshot();
  Settings.Source = &Doc;
  Settings.Snapshot = Snapshot.get();
  return vxcli::RunBatch(Files, Settings);
}

int Stamp(const TvxArgs& Args) {
  if (Args.Options.count("--recipients") || Args.Options.count("--output-name"))
    return StampRecipients(Args, StampJob(Args));
  auto Out = Args.Options.find("-o");
  std::error_code Error;
  const bool Batch =
      Args.Positional.size() > 1 || Args.Has("--recursive") || Args.Has("--in-place") ||
      Args.Has("--json") || Args.Options.count("--suffix") ||
      (Out != Args.Options.end() && std::filesystem::is_directory(Out->second, Error));
  if (Batch) return StampBatch(Args, StampJob(Args));
  if (Args.Positional.size() != 1 || Out == Args.Options.end())
    throw TvxUsageError{"stamp takes IN and -o OUT"};
  const vx::TvxWatermarkJob Job = StampJob(Args);
  const vxcli::TvxJobVariables Variables = JobVariables(Args);
  if (const std::optional<uint64_t> Seed = SeedOption(Args)) {
    vx::RandomSeed(*Seed);
    vx::SeedRandomBytes(*Seed);
  }

  // The font is found and analysed while the document loads.
  // The font is the only one this run needs: once it is found, the font
  // configuration goes, and the document reuses its memory.
  std::jthread FontWork([Font = *vx::MakeWatermarkTemplate(Job)->Font] {
    vx::PrepareWatermarkFont(Font);
    vx::FontService().ReleaseLookups();
  });
  vx::TvxPDFDocument Doc;
  Load(Doc, Args.Positional[0], Args);
  FontWork.join();
  vxcli::SetJobVariables(Doc, Variables, Args.Positional[0], 0);
  std::vector<std::string> Notes;
  vx::RunWatermarkJob(Doc, Job, &Notes);
  for (const std::string& Note : Notes) std::fprintf(stderr, "%s\n", Note.c_str());
  // The fonts and their files are not needed to write: their memory goes
  // before the save needs its own.
  vx::ReleaseWatermarkFonts();
  Doc.OpenAfterSave = Job.OpenAfterSave;
  Doc.SaveToFile(Out->second);
  return 0;
}

// What the document holds of watermarks, as notes say it.
std::vector<std::string> WatermarkNotes(const vx::TvxFoundWatermarks& Found) {
  std::vector<std::string> Notes;
  if (Found.PlainPages > 0)
    Notes.push_back("watermarks stamped without --layer on " + std::to_string(Found.PlainPages) +
                    " page(s) are left alone");
  for (const std::string& Name : Found.Others)
    Notes.push_back("the layer \"" + Name + "\" of another program is left alone");
  return Notes;
}

int Unstamp(const TvxArgs& Args) {
  auto Out = Args.Options.find("-o");
  if (Args.Positional.size() != 1 || Out == Args.Options.end())
    throw TvxUsageError{"unstamp takes IN and -o OUT"};
  vx::TvxPDFDocument Doc;
  Load(Doc, Args.Positional[0], Args);
  std::vector<std::string> Notes;
  const bool Removed = Doc.RemoveWatermarks(Notes) > 0;
  // What is left is named: our watermarks outside a layer, others' layers.
  const vx::TvxFoundWatermarks Found = Doc.FindWatermarks();
  if (!Removed && Notes.empty())
    Notes.insert(Notes.begin(), "no watermark stamped with --layer was found; " + Out->second +
                                    " is written unchanged");
  for (const std::string& Note : WatermarkNotes(Found)) Notes.push_back(Note);
  for (const std::string& Note : Notes) std::fprintf(stderr, "%s\n", Note.c_str());
  Doc.SetObjectStreams(static_cast<vx::TvxObjectStreams>(
      ChoiceOption(Args, "--object-streams", vxcli::ObjectStreamChoices, 0)));
  Doc.SaveToFile(Out->second);
  return 0;
}

int Run(int argc, char** argv) {
  vxcli::TvxCommandLine CommandLine;
  if (!CommandLine.Parse(argc, argv)) return 0;
  const std::string& Command = CommandLine.Command();
  const TvxArgs& Args = CommandLine.Args();
  if (Command == "info") return Info(Args);
  if (Command == "rewrite") return Rewrite(Args);
  if (Command == "stamp") return Stamp(Args);
  return Unstamp(Args);
}

}  // namespace

int main(int argc, char** argv) {
  // One heap for all threads: what the font thread frees serves the
  // document afterwards instead of staying in a heap of its own.
  mallopt(M_ARENA_MAX, 1);
  try {
    return Run(argc, argv);
  } catch (const TvxUsageError& E) {
    std::fprintf(stderr, "vellumark-cli: %s\n\n%s", E.Message.c_str(), vxcli::UsageText);
    return 2;
  } catch (const vxcli::TvxDamagedFile& E) {
    std::fprintf(stderr, "%s\n%s\n", E.Message.c_str(),
                 std::string(vx::msg::RepairMayRecover).c_str());
    return 1;
  } catch (const vx::Exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  } catch (const std::exception& E) {
    // Out of memory and the like: still a clean failure.
    std::fprintf(stderr, "%s\n", E.what());
    return 1;
  }
}
