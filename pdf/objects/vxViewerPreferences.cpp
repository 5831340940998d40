#include "pdf/objects/vxViewerPreferences.h"

#include <iterator>

#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxObjectCasts.h"

namespace vx {

namespace {

constexpr std::string_view WrittenKeys[] = {"/HideToolbar",
                                            "/HideMenubar",
                                            "/HideWindowUI",
                                            "/FitWindow",
                                            "/CenterWindow",
                                            "/DisplayDocTitle",
                                            "/NonFullScreenPageMode",
                                            "/Direction",
                                            "/ViewArea",
                                            "/ViewClip",
                                            "/PrintArea",
                                            "/PrintClip"};

struct TvxTransitionStyle {
  const char* S;
  const char* Dm;  // nullptr: no entry
  const char* M;
  int32_t Di;  // -1: no entry
};

// Indexed by style; 0 is the plain replace every unknown style falls back to.
constexpr TvxTransitionStyle TransitionStyles[] = {
    {"/R", nullptr, nullptr, -1},        {"/Split", "/H", "/I", -1},
    {"/Split", "/H", "/O", -1},          {"/Split", "/V", "/I", -1},
    {"/Split", "/V", "/O", -1},          {"/Blinds", "/H", nullptr, -1},
    {"/Blinds", "/V", nullptr, -1},      {"/Box", nullptr, "/I", -1},
    {"/Box", nullptr, "/O", -1},         {"/Wipe", nullptr, nullptr, 0},
    {"/Wipe", nullptr, nullptr, 90},     {"/Wipe", nullptr, nullptr, 180},
    {"/Wipe", nullptr, nullptr, 270},    {"/Dissolve", nullptr, nullptr, -1},
    {"/Glitter", nullptr, nullptr, 0},   {"/Glitter", nullptr, nullptr, 270},
    {"/Glitter", nullptr, nullptr, 315},
};

}  // namespace

bool TvxPDFViewerPreferences::GetFlag(std::string_view Key) const {
  const auto* V = ObjectAs<TvxPDFBooleanObject>(FDict->Lookup(Key));
  return V && V->Value;
}

void TvxPDFViewerPreferences::SetFlag(std::string_view Key, bool Value) {
  if (Value) {
    FDict->SetBoolean(Key, true);
    return;
  }
  // Every copy goes: a loaded dictionary may repeat the key, and a second
  // true would otherwise come back.
  while (FDict->IndexOf(Key) >= 0) FDict->Remove(Key);
}

std::string TvxPDFViewerPreferences::PreferencesText() const {
  std::string Lines;
  for (std::string_view Key : WrittenKeys) {
    const TvxPDFObject* V = FDict->Lookup(Key);
    std::string_view Value;
    const auto* Flag = ObjectAs<TvxPDFBooleanObject>(V);
    if (Flag && Flag->Value)
      Value = "true";
    else if (const auto* Name = ObjectAs<TvxPDFNameObject>(V))
      Value = Name->Text;
    if (Value.empty()) continue;
    Lines.append(Key).append(" ").append(Value).append("\r\n");
  }
  if (Lines.empty()) return {};
  return "<<\r\n" + Lines + ">>";
}

std::unique_ptr<TvxPDFDictObject> MakeTransitionDict(uint8_t Style, float Duration) {
  const TvxTransitionStyle& T = TransitionStyles[Style < std::size(TransitionStyles) ? Style : 0];
  auto Dict = std::make_unique<TvxPDFDictObject>();
  Dict->AddName("/Type", "/Trans");
  Dict->AddReal("/D", Duration);
  Dict->AddName("/S", T.S);
  if (T.Dm) Dict->AddName("/Dm", T.Dm);
  if (T.M) Dict->AddName("/M", T.M);
  if (T.Di >= 0) Dict->AddInteger("/Di", T.Di);
  return Dict;
}

void SetPageTransition(std::span<TvxPDFIndirectObject* const> Pages,
                       std::span<const int32_t> PageNumbers, uint8_t Style, float Duration) {
  for (int32_t P : PageNumbers) {
    if (P < 1 || static_cast<size_t>(P) > Pages.size() || !Pages[P - 1])
      throw EInvalidPageError(FormatMessage(msg::InvalidPageNumber, static_cast<int64_t>(P)));
    const TvxPDFObject* Value = Pages[P - 1]->Value.get();
    if (!Value || !Value->IsDict())
      throw EUnexpectedObjectError(std::string(msg::UnexpectedObject));
  }
  for (int32_t P : PageNumbers) {
    auto& Page = ObjectCast<TvxPDFDictObject>(Pages[P - 1]->Value.get());
    Page.SetValue("/Dur", std::make_unique<TvxPDFRealObject>(Duration));
    Page.SetValue("/Trans", MakeTransitionDict(Style, Duration));
  }
}

}  // namespace vx
