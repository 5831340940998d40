#include "pdf/watermark/vxWatermarkJob.h"

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>
#include <vector>

#include "pdf/fonts/vxFontResources.h"
#include "pdf/objects/vxExceptions.h"
#include "platform/vxSystemColors.h"
#include "platform/vxUnicode.h"

namespace vx {

namespace {

// Keys keep the order they are written in, so a saved job reads as the
// window lays its controls out.
using TJson = nlohmann::ordered_json;

// A job is three levels deep; anything deeper is no job.
constexpr int MaxDepth = 8;
// Face names are a few dozen bytes; a longer one would only reach the
// font lookup and the file's font names.
constexpr size_t MaxFaceName = 255;

template <typename T>
struct TvxChoice {
  const char* Name;
  T Value;
};

constexpr TvxChoice<TvxTextRenderMode> RenderChoices[] = {
    {"fill", trFill}, {"stroke", trStroke}, {"fillstroke", trFillStroke}};
constexpr TvxChoice<TvxHorizontalPosition> HorizontalChoices[] = {
    {"left", hpLeft}, {"center", hpCenter}, {"right", hpRight}};
constexpr TvxChoice<TvxVerticalPosition> VerticalChoices[] = {
    {"top", vpTop}, {"center", vpCenter}, {"bottom", vpBottom}};
constexpr TvxChoice<uint8_t> EmbedChoices[] = {
    {"none", feNone}, {"full", feFull}, {"subset", feSubset}};
constexpr TvxChoice<TvxPDFEncryptionLevel> LevelChoices[] = {
    {"40", el40bit}, {"128", el128bit}, {"aes128", elAES128}, {"aes256", elAES256}};
constexpr TvxChoice<TvxObjectStreams> ObjectStreamChoices[] = {
    {"preserve", TvxObjectStreams::Preserve},
    {"generate", TvxObjectStreams::Generate},
    {"disable", TvxObjectStreams::Disable}};

[[noreturn]] void Refuse(const std::string& Key, const std::string& What) {
  throw Exception("\"" + Key + "\" in the job file must be " + What);
}

[[noreturn]] void RefuseUnknown(const std::string& Key) {
  throw Exception("unknown key \"" + Key + "\" in the job file");
}

bool ReadBool(const TJson& V, const std::string& Key) {
  if (!V.is_boolean()) Refuse(Key, "true or false");
  return V.get<bool>();
}

int32_t ReadInteger(const TJson& V, const std::string& Key, int32_t Low, int32_t High) {
  bool Ok = false;
  int64_t N = 0;
  if (V.is_number_unsigned()) {
    const uint64_t U = V.get<uint64_t>();
    Ok = U <= static_cast<uint64_t>(High);
    N = static_cast<int64_t>(Ok ? U : 0);
  } else if (V.is_number_integer()) {
    N = V.get<int64_t>();
    Ok = true;
  }
  if (!Ok || N < Low || N > High)
    Refuse(Key, "a whole number from " + std::to_string(Low) + " to " + std::to_string(High));
  return static_cast<int32_t>(N);
}

// Two numbers of points, [X, Y], each from 0 to 10,000.
void ReadGap(const TJson& V, const std::string& Key, double& X, double& Y) {
  auto Number = [&](const TJson& N) {
    const double D = N.is_number() ? N.get<double>() : -1;
    if (!(D >= 0 && D <= 10000)) Refuse(Key, "two numbers [X, Y] from 0 to 10000");
    return D;
  };
  if (!V.is_array() || V.size() != 2) Refuse(Key, "two numbers [X, Y] from 0 to 10000");
  X = Number(V[0]);
  Y = Number(V[1]);
}

const std::string& ReadString(const TJson& V, const std::string& Key) {
  if (!V.is_string()) Refuse(Key, "a string");
  return V.get_ref<const std::string&>();
}

TvxColor ReadColor(const TJson& V, const std::string& Key) {
  const std::string* T = V.is_string() ? &V.get_ref<const std::string&>() : nullptr;
  uint32_t Rgb = 0;
  bool Ok = T && T->size() == 6;
  for (size_t I = 0; Ok && I < T->size(); ++I) {
    const char C = (*T)[I];
    const int D = C >= '0' && C <= '9'   ? C - '0'
                  : C >= 'a' && C <= 'f' ? C - 'a' + 10
                  : C >= 'A' && C <= 'F' ? C - 'A' + 10
                                         : -1;
    Ok = D >= 0;
    Rgb = Rgb << 4 | static_cast<uint32_t>(D);
  }
  if (!Ok) Refuse(Key, "a colour as six hex digits \"RRGGBB\"");
  return MakeColor(static_cast<uint8_t>(Rgb >> 16), static_cast<uint8_t>(Rgb >> 8),
                   static_cast<uint8_t>(Rgb));
}

std::string ColorText(TvxColor Color) {
  const TvxColor C = ResolveSystemColor(Color);
  char Text[8];
  std::snprintf(Text, sizeof Text, "%02X%02X%02X", C & 0xFF, C >> 8 & 0xFF, C >> 16 & 0xFF);
  return Text;
}

template <typename T, size_t N>
T ReadChoice(const TJson& V, const std::string& Key, const TvxChoice<T> (&Choices)[N]) {
  if (V.is_string())
    for (const auto& C : Choices)
      if (V.get_ref<const std::string&>() == C.Name) return C.Value;
  std::string List;
  for (size_t I = 0; I < N; ++I)
    List += (I ? (I + 1 == N ? " or " : ", ") : "") + ("\"" + std::string(Choices[I].Name) + "\"");
  Refuse(Key, List);
}

template <typename T, size_t N>
const char* ChoiceName(T Value, const TvxChoice<T> (&Choices)[N]) {
  for (const auto& C : Choices)
    if (C.Value == Value) return C.Name;
  return Choices[0].Name;
}

// V, refused unless it is a JSON object.
const TJson& ReadObject(const TJson& V, const std::string& Key) {
  if (!V.is_object()) Refuse(Key, "an object");
  return V;
}

void ReadFont(const TJson& Object, TvxWatermarkJob::TvxJobFont& Font) {
  for (const auto& Item : ReadObject(Object, "font").items()) {
    const std::string Key = "font." + Item.key();
    const TJson& V = Item.value();
    if (Item.key() == "name") {
      Font.Name = ReadString(V, Key);
      if (Font.Name.empty() || Font.Name.size() > MaxFaceName)
        Refuse(Key, "a face name of 1 to 255 bytes");
    } else if (Item.key() == "size") {
      Font.Size = ReadInteger(V, Key, 1, 1000);
    } else if (Item.key() == "bold") {
      Font.Bold = ReadBool(V, Key);
    } else if (Item.key() == "italic") {
      Font.Italic = ReadBool(V, Key);
    } else if (Item.key() == "underline") {
      Font.Underline = ReadBool(V, Key);
    } else if (Item.key() == "strikeout") {
      Font.StrikeOut = ReadBool(V, Key);
    } else if (Item.key() == "color") {
      Font.Color = ReadColor(V, Key);
    } else {
      RefuseUnknown(Key);
    }
  }
}

TvxUserPermissions ReadPermissions(const TJson& V, const std::string& Key) {
  const std::string What =
      "a list of \"copy\", \"modify\", \"print\", \"annotate\", \"fill\", "
      "\"accessibility\", \"assemble\" or \"hiresprint\"";
  if (!V.is_array()) Refuse(Key, What);
  TvxUserPermissions Result = TvxUserPermissions::None();
  for (const TJson& Name : V) {
    bool Found = false;
    for (uint8_t P = 0; P < 8 && !Found; ++P) {
      Found = Name.is_string() && Name.get_ref<const std::string&>() == PermissionNames[P];
      if (Found) Result.Include(static_cast<TvxUserPermissionsType>(P));
    }
    if (!Found) Refuse(Key, What);
  }
  return Result;
}

TvxEncryptionOptions ReadEncryption(const TJson& Object, TvxEncryptionOptions E) {
  for (const auto& Item : ReadObject(Object, "encrypt").items()) {
    const std::string Key = "encrypt." + Item.key();
    const TJson& V = Item.value();
    if (Item.key() == "level")
      E.Level = ReadChoice(V, Key, LevelChoices);
    else if (Item.key() == "userPassword")
      E.UserPassword = ReadString(V, Key);
    else if (Item.key() == "ownerPassword")
      E.OwnerPassword = ReadString(V, Key);
    else if (Item.key() == "permissions")
      E.Permissions = ReadPermissions(V, Key);
    else
      RefuseUnknown(Key);
  }
  // The level may follow the passwords, so they are checked once all is read.
  std::string Bytes;
  for (const auto& [Password, Key] : {std::pair(&E.UserPassword, "encrypt.userPassword"),
                                      std::pair(&E.OwnerPassword, "encrypt.ownerPassword")})
    if (*Password && !EncryptionPasswordBytes(E.Level, **Password, Bytes))
      throw Exception("\"" + std::string(Key) +
                      "\" in the job file holds a character PDFDocEncoding lacks (\"aes256\" "
                      "takes any)");
  return E;
}

// Refuses hostile nesting and a key given twice while the text is parsed,
// before anything is built from it.
class TvxParseGuard {
 public:
  bool operator()(int Depth, nlohmann::json::parse_event_t Event, TJson& Parsed) {
    using E = nlohmann::json::parse_event_t;
    if (Depth > MaxDepth) throw Exception("the job file is nested deeper than a job can be");
    if (Event == E::object_start) {
      FKeys.emplace_back();
    } else if (Event == E::object_end) {
      if (!FKeys.empty()) FKeys.pop_back();
    } else if (Event == E::key && !FKeys.empty() && Parsed.is_string()) {
      if (!FKeys.back().insert(Parsed.get<std::string>()).second)
        throw Exception("\"" + Parsed.get<std::string>() + "\" is given twice in the job file");
    }
    return true;
  }

 private:
  std::vector<std::set<std::string>> FKeys;
};

}  // namespace

std::unique_ptr<TvxTextWatermarkTemplate> MakeWatermarkTemplate(const TvxWatermarkJob& Job) {
  auto Template = std::make_unique<TvxTextWatermarkTemplate>();
  Template->Text = Job.Text;
  Template->Angle = Job.Angle;
  // One by one, so that the template's ANSI character set stays.
  TvxFont& Font = *Template->Font;
  Font.Name = Job.Font.Name;
  Font.Size = Job.Font.Size;
  Font.Bold = Job.Font.Bold;
  Font.Italic = Job.Font.Italic;
  Font.Underline = Job.Font.Underline;
  Font.StrikeOut = Job.Font.StrikeOut;
  Font.Color = Job.Font.Color;
  Template->StrokeColor = Job.StrokeColor;
  Template->RenderMode = Job.RenderMode;
  Template->HorizontalPosition = Job.HorizontalPosition;
  Template->VerticalPosition = Job.VerticalPosition;
  Template->Overlay = Job.Overlay;
  Template->Opacity = Job.Opacity;
  Template->Scale = Job.Scale;
  Template->Tile = Job.Tile;
  Template->TileGapX = Job.TileGapX;
  Template->TileGapY = Job.TileGapY;
  Template->TileStagger = Job.TileStagger;
  Template->Layer = Job.Layer;
  Template->LayerPrint = Job.LayerPrint;
  Template->LayerView = Job.LayerView;
  Template->ShareStreams = Job.Compact;
  Template->FontEmbedding = Job.FontEmbedding;
  return Template;
}

TvxWatermarkJob ReadWatermarkJob(std::string_view Json, const TvxWatermarkJob& Base) {
  if (Json.size() > MaxJobFileSize) throw Exception("the job file is larger than 1 MiB");
  TJson Root;
  try {
    Root = TJson::parse(Json.begin(), Json.end(), TvxParseGuard());
  } catch (const nlohmann::json::exception& E) {
    // "[json.exception.parse_error.101] parse error at line 1, ...": the
    // library's tag means nothing to the user.
    std::string Why = E.what();
    if (const size_t Tag = Why.find("] "); Why.rfind("[json.", 0) == 0 && Tag != std::string::npos)
      Why.erase(0, Tag + 2);
    // What it last read is the file's own bytes, which need not be text.
    if (const size_t Last = Why.find("; last read: "); Last != std::string::npos) Why.erase(Last);
    throw Exception("the job file is not valid JSON: " + Why);
  }
  if (!Root.is_object()) throw Exception("the job file must hold a JSON object");

  TvxWatermarkJob Job = Base;
  for (const auto& Item : Root.items()) {
    const std::string& Key = Item.key();
    const TJson& V = Item.value();
    if (Key == "text")
      Job.Text = Utf8ToUtf16(ReadString(V, Key));
    else if (Key == "angle")
      Job.Angle = ReadInteger(V, Key, INT32_MIN, INT32_MAX);
    else if (Key == "font")
      ReadFont(V, Job.Font);
    else if (Key == "strokeColor")
      Job.StrokeColor = ReadColor(V, Key);
    else if (Key == "render")
      Job.RenderMode = ReadChoice(V, Key, RenderChoices);
    else if (Key == "horizontal")
      Job.HorizontalPosition = ReadChoice(V, Key, HorizontalChoices);
    else if (Key == "vertical")
      Job.VerticalPosition = ReadChoice(V, Key, VerticalChoices);
    else if (Key == "over")
      Job.Overlay = ReadBool(V, Key);
    else if (Key == "pages")
      Job.Pages = ReadString(V, Key);
    else if (Key == "opacity")
      Job.Opacity = ReadInteger(V, Key, 0, 100);
    else if (Key == "scale")
      Job.Scale = ReadInteger(V, Key, 0, 1000);
    else if (Key == "tile")
      Job.Tile = ReadBool(V, Key);
    else if (Key == "tileGap")
      ReadGap(V, Key, Job.TileGapX, Job.TileGapY);
    else if (Key == "tileStagger")
      Job.TileStagger = ReadBool(V, Key);
    else if (Key == "layer")
      Job.Layer = ReadBool(V, Key);
    else if (Key == "layerPrint")
      Job.LayerPrint = ReadBool(V, Key);
    else if (Key == "layerView")
      Job.LayerView = ReadBool(V, Key);
    else if (Key == "replace")
      Job.Replace = ReadBool(V, Key);
    else if (Key == "compact")
      Job.Compact = ReadBool(V, Key);
    else if (Key == "embed")
      Job.FontEmbedding = ReadChoice(V, Key, EmbedChoices);
    else if (Key == "encrypt" && V.is_boolean() && !V.get<bool>())
      Job.Encryption.reset();
    else if (Key == "encrypt" && V.is_object())
      Job.Encryption = ReadEncryption(V, Job.Encryption.value_or(TvxEncryptionOptions{}));
    else if (Key == "encrypt")
      Refuse(Key, "an object or false");
    else if (Key == "open")
      Job.OpenAfterSave = ReadBool(V, Key);
    else if (Key == "objectStreams")
      Job.ObjectStreams = ReadChoice(V, Key, ObjectStreamChoices);
    else
      RefuseUnknown(Key);
  }
  return Job;
}

TvxWatermarkJob LoadWatermarkJob(const std::string& Path, const TvxWatermarkJob& Base) {
  std::FILE* In = std::fopen(Path.c_str(), "rb");
  if (!In) throw Exception("Cannot read the job file " + Path);
  // One byte past the limit tells a file that is too large.
  std::string Text(MaxJobFileSize + 1, '\0');
  const size_t Read = std::fread(Text.data(), 1, Text.size(), In);
  const bool Failed = std::ferror(In) != 0;
  std::fclose(In);
  if (Failed) throw Exception("Cannot read the job file " + Path);
  Text.resize(Read);
  return ReadWatermarkJob(Text, Base);
}

std::string WriteWatermarkJob(const TvxWatermarkJob& Job) {
  TJson Font = {{"name", Job.Font.Name},
                {"size", Job.Font.Size},
                {"bold", Job.Font.Bold},
                {"italic", Job.Font.Italic},
                {"underline", Job.Font.Underline},
                {"strikeout", Job.Font.StrikeOut},
                {"color", ColorText(Job.Font.Color)}};
  TJson Root = {{"text", Utf16ToUtf8(Job.Text)},
                {"angle", Job.Angle},
                {"font", std::move(Font)},
                {"strokeColor", ColorText(Job.StrokeColor)},
                {"render", ChoiceName(Job.RenderMode, RenderChoices)},
                {"horizontal", ChoiceName(Job.HorizontalPosition, HorizontalChoices)},
                {"vertical", ChoiceName(Job.VerticalPosition, VerticalChoices)},
                {"over", Job.Overlay},
                {"pages", Job.Pages},
                {"opacity", Job.Opacity},
                {"scale", Job.Scale},
                {"tile", Job.Tile},
                {"tileGap", {Job.TileGapX, Job.TileGapY}},
                {"tileStagger", Job.TileStagger},
                {"layer", Job.Layer},
                {"layerPrint", Job.LayerPrint},
                {"layerView", Job.LayerView},
                {"replace", Job.Replace},
                {"compact", Job.Compact},
                {"embed", ChoiceName(Job.FontEmbedding, EmbedChoices)}};
  if (Job.Encryption) {
    const TvxEncryptionOptions& E = *Job.Encryption;
    TJson Encrypt = {{"level", ChoiceName(E.Level, LevelChoices)}};
    if (E.UserPassword) Encrypt["userPassword"] = *E.UserPassword;
    if (E.OwnerPassword) Encrypt["ownerPassword"] = *E.OwnerPassword;
    TJson Permissions = TJson::array();
    for (uint8_t P = 0; P < 8; ++P)
      if (E.Permissions.Has(static_cast<TvxUserPermissionsType>(P)))
        Permissions.push_back(std::string(PermissionNames[P]));
    Encrypt["permissions"] = std::move(Permissions);
    Root["encrypt"] = std::move(Encrypt);
  } else {
    // Said, so that a job read over another's encryption has none.
    Root["encrypt"] = false;
  }
  Root["open"] = Job.OpenAfterSave;
  Root["objectStreams"] = ChoiceName(Job.ObjectStreams, ObjectStreamChoices);
  // Text that is not valid UTF-8 (a lone surrogate) is written replaced
  // rather than refused.
  return Root.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

void SaveWatermarkJob(const std::string& Path, const TvxWatermarkJob& Job) {
  const std::string Text = WriteWatermarkJob(Job);
  std::FILE* Out = std::fopen(Path.c_str(), "wb");
  if (!Out) throw Exception("Cannot write the job file " + Path);
  const bool Written = std::fwrite(Text.data(), 1, Text.size(), Out) == Text.size();
  if (std::fclose(Out) != 0 || !Written) throw Exception("Cannot write the job file " + Path);
}

}  // namespace vx
