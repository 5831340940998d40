// vellumark-cli: drives the engine from scripts and tests.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/vxBatch.h"
#include "cli/vxCliOptions.h"
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

using vxcli::TvxUsageError;

constexpr const char* Usage =
    "Usage: vellumark-cli COMMAND [OPTIONS]\n"
    "\n"
    "Stamps text watermarks onto PDF files.\n"
    "\n"
    "Commands:\n"
    "  info FILE [--password PW | --password-file FILE] [--no-repair]\n"
    "                              print the document's version, page count,\n"
    "                              encryption and information\n"
    "  rewrite IN -o OUT [--password PW | --password-file FILE] [--no-repair]\n"
    "          [--compress flate|runlength]\n"
    "          [--level 0-3] [--need-appearances true|false]\n"
    "          [--encrypt 40|128|aes128|aes256 [--user-password U]\n"
    "           [--owner-password O]\n"
    "           [--permissions LIST]]\n"
    "                              load IN and save it as a new file OUT\n"
    "  stamp IN -o OUT | IN... -o DIR | IN... --suffix TEXT [-o DIR] | IN... --in-place\n"
    "          [--password PW | --password-file FILE] [--no-repair]\n"
    "          [--job FILE] [--text TEXT] [--angle N]\n"
    "          [--font FACE]\n"
    "          [--size PT] [--bold] [--italic] [--underline] [--strikeout]\n"
    "          [--color RRGGBB] [--stroke-color RRGGBB]\n"
    "          [--render fill|stroke|fillstroke] [--horizontal left|center|right]\n"
    "          [--vertical top|center|bottom] [--over] [--pages RANGE]\n"
    "          [--opacity PCT] [--scale PCT] [--embed none|full|subset] [--open]\n"
    "          [--tile [--tile-gap X,Y] [--tile-stagger]]\n"
    "          [--layer [--layer-print on|off] [--layer-view on|off]] [--replace]\n"
    "          [--compact]\n"
    "          [--encrypt 40|128|aes128|aes256 [--user-password U]\n"
    "           [--owner-password O] [--permissions LIST]] [--seed N]\n"
    "                              stamp a text watermark on the pages of IN\n"
    "                              and save the result as OUT; \\n in TEXT\n"
    "                              starts a new line; --seed N (1 or more)\n"
    "                              makes resource names and the file\n"
    "                              identifier reproducible, for tests\n"
    "          [--recursive] [--jobs N] [--json] [--quiet]\n"
    "          [--var NAME=VALUE]... [--bates-start N] [--bates-digits D]\n"
    "          [--bates-prefix TEXT]\n"
    "                              with several inputs, folders (--recursive:\n"
    "                              their *.pdf files) or -o naming a folder,\n"
    "                              stamp each file into DIR under its name,\n"
    "                              as NAME+TEXT.pdf with --suffix (beside the\n"
    "                              input without -o), or over the input with\n"
    "                              --in-place; N files at a time (default:\n"
    "                              one per core)\n"
    "  unstamp IN -o OUT [--password PW | --password-file FILE] [--no-repair]\n"
    "                              take off the watermarks stamped with --layer\n"
    "                              and save the result as OUT\n"
    "\n"
    "A file whose structure is damaged is repaired while it loads, with\n"
    "warnings on standard error (--repair, the default, says so); --no-repair\n"
    "loads it strictly and fails on damage.\n"
    "--password PW opens an encrypted input. --encrypt encrypts the output with\n"
    "RC4 at 40 or 128 bits or with AES at 128 or 256 bits; LIST is a comma list of copy, modify, "
    "print,\n"
    "annotate, fill, accessibility, assemble, hiresprint (default all) or none.\n"
    "An encrypted input opened with its user password is saved with the same\n"
    "encryption. Restricted permissions without --owner-password get a random\n"
    "owner password that nobody learns.\n"
    "--password-file, --user-password-file and --owner-password-file FILE take\n"
    "the password from the first line of FILE (- for standard input) instead.\n"
    "--scale PCT sizes the watermark on each page so that its widest line spans\n"
    "PCT percent of the shown page's shorter side, whatever the font size.\n"
    "--tile repeats the watermark in a grid over the whole page (positions play\n"
    "no part), --tile-gap X,Y points apart, every other row shifted by half a\n"
    "step with --tile-stagger.\n"
    "--layer puts the watermark in a \"Watermark\" layer viewers can hide, as an\n"
    "artifact that text extraction skips; --layer-print off and --layer-view off\n"
    "keep it off paper or off screen. Such watermarks can be listed with info,\n"
    "taken off with unstamp, and replaced by the next stamp with --replace.\n"
    "--compact lets pages stamped alike share one watermark stream.\n"
    "--job FILE reads the watermark and the output's settings from a JSON job\n"
    "file, as the window saves it: text, angle, font {name, size, bold, italic,\n"
    "underline, strikeout, color}, strokeColor, render, horizontal, vertical,\n"
    "over, pages, opacity, scale, tile, tileGap, tileStagger, layer, layerPrint,\n"
    "layerView, replace, compact, embed,\n"
    "encrypt {level, userPassword, ownerPassword,\n"
    "permissions}, open. Options given on the command line override the file;\n"
    "a switch such as --bold adds to it.\n"
    "A batch never writes over an input without --in-place. A file that fails\n"
    "is named on standard error (NAME: reason) and the others go on; a summary\n"
    "\"N stamped, M failed\" ends the run, with status 1 when any failed.\n"
    "--json prints a line per file: {\"input\", \"output\", \"pages\", \"status\"\n"
    "(ok or failed), \"message\", \"seconds\"}. On a terminal a progress line\n"
    "shows unless --quiet. With --seed N the Ith file (from 0) draws as a single\n"
    "stamp with --seed N+I would.\n"
    "The text may name <%FileName%> (the input's name), <%Date%> and <%Time%>\n"
    "(YYYY-MM-DD, HH:MM:SS when the run started), <%Date:FORMAT%> (strftime\n"
    "codes such as %Y), <%Bates%> (a page number counted over all the inputs in\n"
    "their order, from --bates-start N (1), --bates-digits D (6) digits long\n"
    "with --bates-prefix before it) and NAME from --var NAME=VALUE; other\n"
    "names stay as typed.\n"
    "\n"
    "Options:\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n";

struct TvxArgs {
  std::vector<std::string> Positional;
  std::map<std::string, std::string> Options;
  // Every option with a value in order, for those that can be repeated.
  std::vector<std::pair<std::string, std::string>> All;
  std::vector<std::string> Flags;
  bool Has(const std::string& Flag) const {
    for (const auto& F : Flags)
      if (F == Flag) return true;
    return false;
  }
};

// Known options take a value, Switches take none; everything else starting
// with "--" is unknown.
TvxArgs ParseArgs(int argc, char** argv, int First, const std::vector<std::string>& Known,
                  const std::vector<std::string>& Switches = {}) {
  TvxArgs Args;
  for (int I = First; I < argc; ++I) {
    std::string A = argv[I];
    bool IsFlag = false;
    for (const auto& F : vxcli::FlagOptionNames) IsFlag = IsFlag || F == A;
    if (IsFlag) {
      Args.Options[A] = "";
    } else if (A.rfind("--", 0) == 0 || A == "-o") {
      bool IsSwitch = false;
      for (const auto& K : Switches) IsSwitch = IsSwitch || K == A;
      if (IsSwitch) {
        Args.Flags.push_back(A);
        continue;
      }
      bool IsKnown = false;
      for (const auto& K : Known) IsKnown = IsKnown || K == A;
      if (!IsKnown) throw TvxUsageError{"unknown option '" + A + "'"};
      if (I + 1 >= argc) throw TvxUsageError{"option '" + A + "' needs a value"};
      Args.Options[A] = argv[++I];
      Args.All.emplace_back(A, argv[I]);
    } else {
      Args.Positional.push_back(A);
    }
  }
  vxcli::ResolvePasswordFiles(Args.Options);
  return Args;
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

int Info(int argc, char** argv) {
  TvxArgs Args = ParseArgs(argc, argv, 2, {"--password", "--password-file"});
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
  if (It == Args.Options.end()) return 2;
  const std::string& L = It->second;
  if (L.size() != 1 || L[0] < '0' || L[0] > '3') throw TvxUsageError{"--level takes 0, 1, 2 or 3"};
  return static_cast<uint8_t>(L[0] - '0');
}

int Rewrite(int argc, char** argv) {
  std::vector<std::string> Known = {"-o",         "--password-file", "--password",
                                    "--compress", "--level",         "--need-appearances"};
  Known.insert(Known.end(), vxcli::EncryptionOptionNames.begin(),
               vxcli::EncryptionOptionNames.end());
  TvxArgs Args = ParseArgs(argc, argv, 2, Known);
  auto Out = Args.Options.find("-o");
  if (Args.Positional.size() != 1 || Out == Args.Options.end())
    throw TvxUsageError{"rewrite takes IN and -o OUT"};
  int32_t Appearance = 2;
  if (auto It = Args.Options.find("--need-appearances"); It != Args.Options.end()) {
    if (It->second == "true")
      Appearance = 0;
    else if (It->second == "false")
      Appearance = 1;
    else
      throw TvxUsageError{"--need-appearances takes true or false"};
  }
  uint8_t Level = LevelOption(Args);
  const std::optional<vx::TvxEncryptionOptions> Encryption =
      vxcli::ParseEncryptionOptions(Args.Options);
  int Method = -1;
  if (auto It = Args.Options.find("--compress"); It != Args.Options.end()) {
    if (It->second == "flate")
      Method = 0;
    else if (It->second == "runlength")
      Method = 1;
    else
      throw TvxUsageError{"--compress takes flate or runlength"};
  } else if (Args.Options.count("--level")) {
    throw TvxUsageError{"--level goes with --compress"};
  }
  vx::TvxPDFDocument Doc;
  Load(Doc, Args.Positional[0], Args);
  // A load resets the output settings, so they are set after it.
  if (Method >= 0) Doc.SetCompression(static_cast<uint8_t>(Method), Level);
  if (Encryption) vx::ApplyEncryptionOptions(Doc.Encryption(), *Encryption);
  Doc.SaveToFile(Out->second, Appearance);
  return 0;
}

// A whole decimal integer in Low..High, or a usage error naming Option.
int32_t IntegerOption(const TvxArgs& Args, const std::string& Option, int32_t Default, int32_t Low,
                      int32_t High) {
  auto It = Args.Options.find(Option);
  if (It == Args.Options.end()) return Default;
  const std::string& T = It->second;
  int64_t V = 0;
  size_t I = T.size() > 1 && (T[0] == '-' || T[0] == '+') ? 1 : 0;
  bool Ok = I < T.size() && T.size() - I <= 10;
  for (size_t J = I; Ok && J < T.size(); ++J) {
    Ok = T[J] >= '0' && T[J] <= '9';
    V = V * 10 + (T[J] - '0');
  }
  if (T[0] == '-') V = -V;
  if (!Ok || V < Low || V > High)
    throw TvxUsageError{Option + " takes a whole number from " + std::to_string(Low) + " to " +
                        std::to_string(High)};
  return static_cast<int32_t>(V);
}

// RRGGBB as a colour value (0x00BBGGRR).
uint32_t ColorOption(const TvxArgs& Args, const std::string& Option, uint32_t Default) {
  auto It = Args.Options.find(Option);
  if (It == Args.Options.end()) return Default;
  const std::string& T = It->second;
  uint32_t RGB = 0;
  bool Ok = T.size() == 6;
  for (size_t I = 0; Ok && I < T.size(); ++I) {
    char C = T[I];
    int D = C >= '0' && C <= '9'   ? C - '0'
            : C >= 'a' && C <= 'f' ? C - 'a' + 10
            : C >= 'A' && C <= 'F' ? C - 'A' + 10
                                   : -1;
    Ok = D >= 0;
    RGB = RGB << 4 | static_cast<uint32_t>(D);
  }
  if (!Ok) throw TvxUsageError{Option + " takes a colour as six hex digits RRGGBB"};
  return vx::MakeColor(static_cast<uint8_t>(RGB >> 16), static_cast<uint8_t>(RGB >> 8),
                       static_cast<uint8_t>(RGB));
}

// "--seed N": a whole number from 1 (0 would leave the random bytes to
// the system), nothing when absent.
std::optional<uint64_t> SeedOption(const TvxArgs& Args) {
  auto It = Args.Options.find("--seed");
  if (It == Args.Options.end()) return std::nullopt;
  const std::string& T = It->second;
  uint64_t V = 0;
  bool Ok = !T.empty() && T.size() <= 20;
  for (size_t I = 0; Ok && I < T.size(); ++I) {
    const uint64_t D = static_cast<uint64_t>(T[I] - '0');
    Ok = T[I] >= '0' && T[I] <= '9' && V <= (UINT64_MAX - D) / 10;
    V = V * 10 + D;
  }
  if (!Ok || V == 0)
    throw TvxUsageError{"--seed takes a whole number from 1 to " + std::to_string(UINT64_MAX)};
  return V;
}

// The index of the option's value among Choices, Default when absent.
int ChoiceOption(const TvxArgs& Args, const std::string& Option,
                 const std::vector<std::string>& Choices, int Default) {
  auto It = Args.Options.find(Option);
  if (It == Args.Options.end()) return Default;
  for (size_t I = 0; I < Choices.size(); ++I)
    if (Choices[I] == It->second) return static_cast<int>(I);
  std::string List;
  for (size_t I = 0; I < Choices.size(); ++I)
    List += (I ? (I + 1 == Choices.size() ? " or " : ", ") : "") + Choices[I];
  throw TvxUsageError{Option + " takes " + List};
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
  Job.Angle = IntegerOption(Args, "--angle", Job.Angle, -2147483647, 2147483647);
  if (auto Face = Args.Options.find("--font"); Face != Args.Options.end()) {
    if (Face->second.empty()) throw TvxUsageError{"--font takes a face name"};
    Job.Font.Name = Face->second;
  }
  Job.Font.Size = IntegerOption(Args, "--size", Job.Font.Size, 1, 1000);
  // A switch adds to the job; it cannot take away what the job file asks.
  Job.Font.Bold = Job.Font.Bold || Args.Has("--bold");
  Job.Font.Italic = Job.Font.Italic || Args.Has("--italic");
  Job.Font.Underline = Job.Font.Underline || Args.Has("--underline");
  Job.Font.StrikeOut = Job.Font.StrikeOut || Args.Has("--strikeout");
  Job.Font.Color = ColorOption(Args, "--color", Job.Font.Color);
  Job.StrokeColor = ColorOption(Args, "--stroke-color", Job.StrokeColor);
  Job.RenderMode = static_cast<vx::TvxTextRenderMode>(
      ChoiceOption(Args, "--render", {"fill", "stroke", "fillstroke"}, Job.RenderMode));
  Job.HorizontalPosition = static_cast<vx::TvxHorizontalPosition>(
      ChoiceOption(Args, "--horizontal", {"left", "center", "right"}, Job.HorizontalPosition));
  Job.VerticalPosition = static_cast<vx::TvxVerticalPosition>(
      ChoiceOption(Args, "--vertical", {"top", "center", "bottom"}, Job.VerticalPosition));
  Job.Overlay = Job.Overlay || Args.Has("--over");
  Job.Opacity = IntegerOption(Args, "--opacity", Job.Opacity, 0, 100);
  Job.Scale = IntegerOption(Args, "--scale", Job.Scale, 0, 1000);
  Job.Tile = Job.Tile || Args.Has("--tile");
  Job.TileStagger = Job.TileStagger || Args.Has("--tile-stagger");
  if (auto Gap = Args.Options.find("--tile-gap"); Gap != Args.Options.end()) {
    // X,Y in points, each from 0 to 10000.
    const std::string& T = Gap->second;
    const size_t Comma = T.find(',');
    double Parts[2] = {-1, -1};
    for (int I = 0; I < 2 && Comma != std::string::npos; ++I) {
      const std::string Part = I == 0 ? T.substr(0, Comma) : T.substr(Comma + 1);
      char* End = nullptr;
      const double D = Part.empty() ? -1 : std::strtod(Part.c_str(), &End);
      if (End && *End == '\0' && D >= 0 && D <= 10000) Parts[I] = D;
    }
    if (Parts[0] < 0 || Parts[1] < 0)
      throw TvxUsageError{"--tile-gap takes X,Y: two numbers of points from 0 to 10000"};
    Job.TileGapX = Parts[0];
    Job.TileGapY = Parts[1];
  }
  Job.FontEmbedding = static_cast<uint8_t>(
      ChoiceOption(Args, "--embed", {"none", "full", "subset"}, Job.FontEmbedding));
  if (auto Pages = Args.Options.find("--pages"); Pages != Args.Options.end())
    Job.Pages = Pages->second;
  Job.Encryption = vxcli::ParseEncryptionOptions(Args.Options, Job.Encryption);
  Job.OpenAfterSave = Job.OpenAfterSave || Args.Has("--open");
  for (const char* Option : {"--layer-print", "--layer-view"}) {
    if (!Args.Options.count(Option)) continue;
    const bool On = ChoiceOption(Args, Option, {"off", "on"}, 1) == 1;
    (std::string(Option) == "--layer-print" ? Job.LayerPrint : Job.LayerView) = On;
    Job.Layer = true;
  }
  Job.Layer = Job.Layer || Args.Has("--layer");
  Job.Replace = Job.Replace || Args.Has("--replace");
  Job.Compact = Job.Compact || Args.Has("--compact");
  return Job;
}

// The variables of a run: --var, --bates-*, and the time it started.
vxcli::TvxJobVariables JobVariables(const TvxArgs& Args) {
  vxcli::TvxJobVariables V;
  const std::time_t Now = std::time(nullptr);
  localtime_r(&Now, &V.Now);
  V.BatesStart = IntegerOption(Args, "--bates-start", 1, 0, 2147483647);
  V.BatesDigits = IntegerOption(Args, "--bates-digits", 6, 1, 18);
  if (auto It = Args.Options.find("--bates-prefix"); It != Args.Options.end())
    V.BatesPrefix = It->second;
  for (const auto& [Option, Value] : Args.All) {
    if (Option != "--var") continue;
    const size_t Equals = Value.find('=');
    if (Equals == 0 || Equals == std::string::npos || Value.find_first_of("<%>") < Equals)
      throw TvxUsageError{"--var takes NAME=VALUE"};
    V.Values.emplace_back(Value.substr(0, Equals), Value.substr(Equals + 1));
  }
  return V;
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
  vxcli::TvxBatchSettings Settings;
  Settings.Job = Job;
  Settings.LoadOptions = Args.Options;
  Settings.Variables = JobVariables(Args);
  Settings.Seed = SeedOption(Args);
  // Up to 256 files mapped at once are guarded against being cut short
  // while read; more would go unguarded.
  const unsigned Cores = std::max(1u, std::thread::hardware_concurrency());
  Settings.Jobs = static_cast<unsigned>(
      IntegerOption(Args, "--jobs", static_cast<int32_t>(std::min(Cores, 256u)), 1, 256));
  Settings.Json = Args.Has("--json");
  Settings.Progress = isatty(2) && !Args.Has("--quiet");
  if (OutDir) {
    std::error_code Error;
    if (std::filesystem::exists(*OutDir, Error) && !std::filesystem::is_directory(*OutDir, Error))
      throw TvxUsageError{"-o " + *OutDir + " is a file: several inputs take a folder"};
    std::filesystem::create_directories(*OutDir, Error);
    if (Error) throw vx::Exception("Cannot make the folder " + *OutDir + ": " + Error.message());
  }
  const std::vector<vxcli::TvxBatchFile> Files =
      vxcli::BatchFiles(Args.Positional, Args.Has("--recursive"), OutDir, SuffixText, InPlace);
  // The font is found and analysed once, before the workers need it.
  vx::PrepareWatermarkFont(*vx::MakeWatermarkTemplate(Job)->Font);
  // Each worker then has an arena of its own instead of waiting for one.
  mallopt(M_ARENA_MAX, static_cast<int>(std::min(Settings.Jobs, 64u)) + 1);
  return vxcli::RunBatch(Files, Settings);
}

int Stamp(int argc, char** argv) {
  std::vector<std::string> Known = {
      "-o",         "--password",    "--password-file", "--text",   "--angle",      "--font",
      "--size",     "--color",       "--stroke-color",  "--render", "--horizontal", "--vertical",
      "--pages",    "--opacity",     "--embed",         "--job",    "--seed",       "--scale",
      "--tile-gap", "--layer-print", "--layer-view"};
  // Several inputs, and the job's variables.
  Known.insert(Known.end(), {"--suffix", "--jobs", "--var", "--bates-start", "--bates-digits",
                             "--bates-prefix"});
  Known.insert(Known.end(), vxcli::EncryptionOptionNames.begin(),
               vxcli::EncryptionOptionNames.end());
  TvxArgs Args = ParseArgs(argc, argv, 2, Known,
                           {"--bold", "--italic", "--underline", "--strikeout", "--over", "--open",
                            "--tile", "--tile-stagger", "--layer", "--replace", "--compact",
                            "--recursive", "--in-place", "--json", "--quiet"});
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

int Unstamp(int argc, char** argv) {
  TvxArgs Args = ParseArgs(argc, argv, 2, {"-o", "--password", "--password-file"});
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
  Doc.SaveToFile(Out->second);
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) throw TvxUsageError{"no command given"};
  std::string Command = argv[1];
  if (Command == "--help" || Command == "-h" || Command == "help") {
    std::fputs(Usage, stdout);
    return 0;
  }
  if (Command == "--version") {
    std::printf("vellumark-cli %s\n", VX_VERSION);
    return 0;
  }
  if (Command == "info") return Info(argc, argv);
  if (Command == "rewrite") return Rewrite(argc, argv);
  if (Command == "stamp") return Stamp(argc, argv);
  if (Command == "unstamp") return Unstamp(argc, argv);
  throw TvxUsageError{"unknown command '" + Command + "'"};
}

}  // namespace

int main(int argc, char** argv) {
  // One heap for all threads: what the font thread frees serves the
  // document afterwards instead of staying in a heap of its own.
  mallopt(M_ARENA_MAX, 1);
  try {
    return Run(argc, argv);
  } catch (const TvxUsageError& E) {
    std::fprintf(stderr, "vellumark-cli: %s\n\n%s", E.Message.c_str(), Usage);
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
