#include "cli/vxCommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>

#include "cli/vxOptionValues.h"

namespace vxcli {

const char* const UsageText =
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
    "          [--object-streams preserve|generate|disable]\n"
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
    "          [--compact] [--object-streams preserve|generate|disable]\n"
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
    "          [--recipients FILE.csv --output-name PATTERN]\n"
    "                              with several inputs, folders (--recursive:\n"
    "                              their *.pdf files) or -o naming a folder,\n"
    "                              stamp each file into DIR under its name,\n"
    "                              as NAME+TEXT.pdf with --suffix (beside the\n"
    "                              input without -o), or over the input with\n"
    "                              --in-place; N files at a time (default:\n"
    "                              one per core); with --recipients, a copy\n"
    "                              of IN per row of FILE.csv into DIR, named\n"
    "                              PATTERN (IN is read once per job)\n"
    "  unstamp IN -o OUT [--password PW | --password-file FILE] [--no-repair]\n"
    "          [--object-streams preserve|generate|disable]\n"
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
    "--object-streams packs small objects into compressed object streams\n"
    "behind a cross-reference stream: preserve (the default) when the input\n"
    "has them, generate always, disable never.\n"
    "--job FILE reads the watermark and the output's settings from a JSON job\n"
    "file, as the window saves it: text, angle, font {name, size, bold, italic,\n"
    "underline, strikeout, color}, strokeColor, render, horizontal, vertical,\n"
    "over, pages, opacity, scale, tile, tileGap, tileStagger, layer, layerPrint,\n"
    "layerView, replace, compact, embed,\n"
    "encrypt {level, userPassword, ownerPassword,\n"
    "permissions}, open, objectStreams. Options given on the command line override the file;\n"
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
    "  COMMAND --help\n"
    "              show the command's options and exit\n"
    "  --version   show the version and exit\n";

bool TvxArgs::Has(const std::string& Flag) const {
  return std::find(Flags.begin(), Flags.end(), Flag) != Flags.end();
}

namespace {

const std::vector<std::string> CommandNames = {"info", "rewrite", "stamp", "unstamp"};

// A check of each value an option is given: Check raises TvxUsageError,
// whose message CLI11 reports.
CLI::Validator Checked(std::function<void(const std::string&)> Check) {
  return CLI::Validator(
      [Check](std::string& Value) -> std::string {
        try {
          Check(Value);
          return {};
        } catch (const TvxUsageError& E) {
          return E.Message;
        }
      },
      "", "");
}

CLI::Validator WholeNumber(const std::string& Option, int32_t Low, int32_t High) {
  return Checked(
      [Option, Low, High](const std::string& V) { WholeNumberValue(Option, V, Low, High); });
}

CLI::Validator Choice(const std::string& Option, const std::vector<std::string>& Choices) {
  return Checked([Option, &Choices](const std::string& V) { ChoiceValue(Option, V, Choices); });
}

std::string ChoiceType(const std::vector<std::string>& Choices) {
  std::string Type;
  for (const std::string& C : Choices) Type += (Type.empty() ? "" : "|") + C;
  return Type;
}

// Adds the options of one command, remembering which are switches.
class TvxGrammar {
 public:
  TvxGrammar(CLI::App& Command, std::set<std::string>& Switches)
      : FCommand(Command), FSwitches(Switches) {}

  // An option with a value; given again, the last value counts.
  CLI::Option* Value(const std::string& Name, const std::string& Type, const std::string& Help) {
    return FCommand.add_option(Name)->description(Help)->type_name(Type)->multi_option_policy(
        CLI::MultiOptionPolicy::TakeLast);
  }

  void Switch(const std::string& Name, const std::string& Help) {
    FCommand.add_flag(Name, Help);
    FSwitches.insert(Name);
  }

  void Input(const std::string& Name, std::vector<std::string>& Into, const std::string& Help) {
    FCommand.add_option(Name, Into, Help)->type_name("");
  }

  void Loading() {
    Value("--password", "PW", "the password of an encrypted input");
    Value("--password-file", "FILE",
          "the input's password from the first line of FILE (-: standard input)");
    Switch("--repair", "repair a damaged input while it loads (the default)");
    Switch("--no-repair", "load strictly: fail on a damaged input");
  }

  void ObjectStreams() {
    Value("--object-streams", ChoiceType(ObjectStreamChoices),
          "pack small objects into object streams: as the input has them, always or never")
        ->check(Choice("--object-streams", ObjectStreamChoices));
  }

  void Encryption() {
    Value("--encrypt", ChoiceType(EncryptChoices),
          "encrypt the output with RC4 at 40 or 128 bits or AES at 128 or 256 bits")
        ->check(Checked([](const std::string& V) { ChoiceValue("--encrypt", V, EncryptChoices); }));
    Value("--user-password", "U", "the output's user password");
    Value("--owner-password", "O", "the output's owner password");
    Value("--user-password-file", "FILE", "the user password from the first line of FILE");
    Value("--owner-password-file", "FILE", "the owner password from the first line of FILE");
    Value("--permissions", "LIST",
          "comma list of copy, modify, print, annotate, fill, accessibility, assemble, "
          "hiresprint, or none")
        ->check(Checked([](const std::string& V) { ParsePermissions(V); }));
  }

 private:
  CLI::App& FCommand;
  std::set<std::string>& FSwitches;
};

void InfoGrammar(TvxGrammar G, TvxArgs& Args) {
  G.Input("FILE", Args.Positional, "the PDF file");
  G.Loading();
}

void RewriteGrammar(TvxGrammar G, TvxArgs& Args) {
  G.Input("IN", Args.Positional, "the PDF file to load");
  G.Value("-o", "OUT", "the new file");
  G.Loading();
  G.Value("--compress", ChoiceType(CompressChoices), "compress the streams written")
      ->check(Choice("--compress", CompressChoices));
  G.Value("--level", "0-3", "the compression level, with --compress (2)")
      ->check(Checked([](const std::string& V) {
        if (V.size() != 1 || V[0] < '0' || V[0] > '3')
          throw TvxUsageError{"--level takes 0, 1, 2 or 3"};
      }));
  G.Value("--need-appearances", ChoiceType(TrueFalseChoices),
          "set the form's NeedAppearances entry")
      ->check(Choice("--need-appearances", TrueFalseChoices));
  G.ObjectStreams();
  G.Encryption();
}

void StampGrammar(TvxGrammar G, TvxArgs& Args) {
  G.Input("IN", Args.Positional, "the PDF files or folders to stamp");
  G.Value("-o", "OUT|DIR", "the stamped file, or the folder of the stamped files");
  G.Loading();
  G.Value("--job", "FILE", "the job file the other options override");
  G.Value("--text", "TEXT", "the watermark's text; \\n starts a new line");
  G.Value("--angle", "N", "the angle in degrees")
      ->check(WholeNumber("--angle", -2147483647, 2147483647));
  G.Value("--font", "FACE", "the font face")->check(Checked([](const std::string& V) {
    if (V.empty()) throw TvxUsageError{"--font takes a face name"};
  }));
  G.Value("--size", "PT", "the font size")->check(WholeNumber("--size", 1, 1000));
  for (const char* Style : {"--bold", "--italic", "--underline", "--strikeout"})
    G.Switch(Style, std::string(Style + 2) + " text");
  G.Value("--color", "RRGGBB", "the text colour")->check(Checked([](const std::string& V) {
    ColorValue("--color", V);
  }));
  G.Value("--stroke-color", "RRGGBB", "the outline colour")
      ->check(Checked([](const std::string& V) { ColorValue("--stroke-color", V); }));
  G.Value("--render", ChoiceType(RenderChoices), "fill the glyphs, outline them or both")
      ->check(Choice("--render", RenderChoices));
  G.Value("--horizontal", ChoiceType(HorizontalChoices), "the horizontal position")
      ->check(Choice("--horizontal", HorizontalChoices));
  G.Value("--vertical", ChoiceType(VerticalChoices), "the vertical position")
      ->check(Choice("--vertical", VerticalChoices));
  G.Switch("--over", "stamp over the page's content instead of under it");
  G.Value("--pages", "RANGE", "the pages to stamp, such as 1-3,5 (all)");
  G.Value("--opacity", "PCT", "the opacity in percent")->check(WholeNumber("--opacity", 0, 100));
  G.Value("--scale", "PCT", "the widest line spans PCT percent of the page's shorter side")
      ->check(WholeNumber("--scale", 0, 1000));
  G.Value("--embed", ChoiceType(EmbedChoices), "how much of the font is embedded")
      ->check(Choice("--embed", EmbedChoices));
  G.Switch("--open", "open the result once saved");
  G.Switch("--tile", "repeat the watermark in a grid over the page");
  G.Value("--tile-gap", "X,Y", "the tiles' gaps in points")
      ->check(Checked([](const std::string& V) { TileGapValue(V); }));
  G.Switch("--tile-stagger", "shift every other row of tiles by half a step");
  G.Switch("--layer", "put the watermark in a layer viewers can hide");
  G.Value("--layer-print", ChoiceType(OnOffChoices), "print the layer")
      ->check(Choice("--layer-print", OnOffChoices));
  G.Value("--layer-view", ChoiceType(OnOffChoices), "show the layer")
      ->check(Choice("--layer-view", OnOffChoices));
  G.Switch("--replace", "replace the layer watermarks stamped before");
  G.Switch("--compact", "let pages stamped alike share one watermark stream");
  G.ObjectStreams();
  G.Encryption();
  G.Value("--seed", "N", "reproducible resource names and file identifier, for tests")
      ->check(Checked([](const std::string& V) { SeedValue(V); }));
  G.Value("--suffix", "TEXT", "write NAME+TEXT.pdf, beside the input without -o");
  G.Switch("--in-place", "replace each input");
  G.Switch("--recursive", "stamp the PDF files of the folders given");
  G.Value("--jobs", "N", "files stamped at a time (one per core)")
      ->check(WholeNumber("--jobs", 1, 256));
  G.Switch("--json", "print a JSON line per file");
  G.Switch("--quiet", "no progress line");
  G.Value("--var", "NAME=VALUE", "what <%NAME%> in the text stands for")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->check(Checked([](const std::string& V) { VariableValue(V); }));
  G.Value("--bates-start", "N", "the first Bates number (1)")
      ->check(WholeNumber("--bates-start", 0, 2147483647));
  G.Value("--bates-digits", "D", "the Bates numbers' digits (6)")
      ->check(WholeNumber("--bates-digits", 1, 18));
  G.Value("--bates-prefix", "TEXT", "what comes before each Bates number");
  G.Value("--recipients", "FILE.csv",
          "a copy of IN per row into -o DIR; the header names the columns, which the text and "
          "--output-name can name as <%COLUMN%>");
  G.Value("--output-name", "PATTERN", "the file name of each recipient's copy");
}

void UnstampGrammar(TvxGrammar G, TvxArgs& Args) {
  G.Input("IN", Args.Positional, "the PDF file");
  G.Value("-o", "OUT", "the file without the layer watermarks");
  G.Loading();
  G.ObjectStreams();
}

// CLI11's message in the words of the rest of the command line: a value's
// check already names its option, after CLI11's "NAME: ".
std::string UsageMessage(const CLI::ParseError& E) {
  const std::string What = E.what();
  const size_t Colon = What.find(": ");
  if (Colon == std::string::npos) return What;
  if (dynamic_cast<const CLI::ValidationError*>(&E)) return What.substr(Colon + 2);
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&E))
    return "option '" + What.substr(0, Colon) + "' needs a value";
  return What;
}

}  // namespace

TvxCommandLine::TvxCommandLine()
    : FApp(std::make_unique<CLI::App>("Stamps text watermarks onto PDF files.", "vellumark-cli")) {}

TvxCommandLine::~TvxCommandLine() = default;

bool TvxCommandLine::Parse(int argc, char** argv) {
  if (argc < 2) throw TvxUsageError{"no command given"};
  const std::string First = argv[1];
  if (First == "--help" || First == "-h" || First == "help") {
    std::fputs(UsageText, stdout);
    return false;
  }
  if (First == "--version") {
    std::printf("vellumark-cli %s\n", VX_VERSION);
    return false;
  }
  if (std::find(CommandNames.begin(), CommandNames.end(), First) == CommandNames.end())
    throw TvxUsageError{"unknown command '" + First + "'"};

  std::set<std::string> Switches;
  FApp->require_subcommand(1);
  CLI::App* Info = FApp->add_subcommand(
      "info", "print the document's version, page count, encryption and information");
  CLI::App* Rewrite = FApp->add_subcommand("rewrite", "load IN and save it as a new file OUT");
  CLI::App* Stamp = FApp->add_subcommand("stamp", "stamp a text watermark on the pages of IN");
  CLI::App* Unstamp =
      FApp->add_subcommand("unstamp", "take off the watermarks stamped with --layer");
  InfoGrammar(TvxGrammar(*Info, Switches), FArgs);
  RewriteGrammar(TvxGrammar(*Rewrite, Switches), FArgs);
  StampGrammar(TvxGrammar(*Stamp, Switches), FArgs);
  UnstampGrammar(TvxGrammar(*Unstamp, Switches), FArgs);
  // Unknown options are named below, in the command's own words.
  for (CLI::App* Command : {Info, Rewrite, Stamp, Unstamp}) Command->allow_extras();

  // An option's value is the next argument whatever it looks like, as
  // scripts written for earlier versions rely on ("--text -draft-"): such
  // a pair is handed over joined by '='.
  CLI::App* Chosen = FApp->get_subcommand(First);
  std::vector<std::string> Given(argv + 1, argv + argc);
  std::vector<std::string> Joined;
  for (size_t I = 0; I < Given.size(); ++I) {
    const std::string& Arg = Given[I];
    const CLI::Option* Option = Arg.rfind("--", 0) == 0 && Arg.find('=') == std::string::npos
                                    ? Chosen->get_option_no_throw(Arg)
                                    : nullptr;
    if (Option && !Option->get_positional() && Option->get_expected_min() > 0 &&
        !Switches.count(Option->get_name()) && I + 1 < Given.size() &&
        Given[I + 1].rfind("-", 0) == 0) {
      Joined.push_back(Arg + "=" + Given[I + 1]);
      ++I;
    } else {
      Joined.push_back(Arg);
    }
  }
  // CLI11 takes the arguments last first.
  std::reverse(Joined.begin(), Joined.end());
  try {
    FApp->parse(Joined);
  } catch (const CLI::CallForHelp&) {
    std::fputs(FApp->help().c_str(), stdout);
    return false;
  } catch (const CLI::ParseError& E) {
    throw TvxUsageError{UsageMessage(E)};
  }
  CLI::App* Command = FApp->get_subcommands().at(0);
  FCommand = Command->get_name();
  for (const std::string& Extra : Command->remaining())
    if (Extra.size() > 1 && Extra[0] == '-') throw TvxUsageError{"unknown option '" + Extra + "'"};
  for (const CLI::Option* Option : Command->get_options()) {
    const std::string Name = Option->get_name();
    if (Option->count() == 0 || Option->get_positional() || Name == "--help") continue;
    if (Name == "--repair" || Name == "--no-repair")
      FArgs.Options[Name] = "";
    else if (Switches.count(Name))
      FArgs.Flags.push_back(Name);
    else {
      FArgs.Options[Name] = Option->results().back();
      for (const std::string& Value : Option->results()) FArgs.All.emplace_back(Name, Value);
    }
  }
  ResolvePasswordFiles(FArgs.Options);
  return true;
}

}  // namespace vxcli
