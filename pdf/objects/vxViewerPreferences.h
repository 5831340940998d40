// The document's /ViewerPreferences dictionary and page transitions.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

class TvxPDFViewerPreferences {
 public:
  TvxPDFViewerPreferences() : FDict(std::make_unique<TvxPDFDictObject>()) {}
  TvxPDFDictObject& Dict() { return *FDict; }
  const TvxPDFDictObject& Dict() const { return *FDict; }
  void SetDict(std::unique_ptr<TvxPDFDictObject> ADict) {
    FDict = ADict ? std::move(ADict) : std::make_unique<TvxPDFDictObject>();
  }

  // True only for a direct Boolean true under the key.
  bool GetHideToolbar() const { return GetFlag("/HideToolbar"); }
  bool GetHideMenubar() const { return GetFlag("/HideMenubar"); }
  bool GetHideWindowUI() const { return GetFlag("/HideWindowUI"); }
  bool GetFitWindow() const { return GetFlag("/FitWindow"); }
  bool GetCenterWindow() const { return GetFlag("/CenterWindow"); }
  bool GetDisplayDocTitle() const { return GetFlag("/DisplayDocTitle"); }
  // True sets the key, false removes it (false is the viewer's default).
  void SetHideToolbar(bool Value) { SetFlag("/HideToolbar", Value); }
  void SetHideMenubar(bool Value) { SetFlag("/HideMenubar", Value); }
  void SetHideWindowUI(bool Value) { SetFlag("/HideWindowUI", Value); }
  void SetFitWindow(bool Value) { SetFlag("/FitWindow", Value); }
  void SetCenterWindow(bool Value) { SetFlag("/CenterWindow", Value); }
  void SetDisplayDocTitle(bool Value) { SetFlag("/DisplayDocTitle", Value); }

  // The inline dictionary the writer puts after "/ViewerPreferences" in the
  // catalog, CR LF line ends, or empty when there is nothing to write. Only
  // Boolean true and name values of the known keys are kept: anything else
  // could be a reference the output does not number.
  std::string PreferencesText() const;

 private:
  bool GetFlag(std::string_view Key) const;
  void SetFlag(std::string_view Key, bool Value);

  std::unique_ptr<TvxPDFDictObject> FDict;
};

// A new transition dictionary for Style (1 to 16; anything else is a plain
// replace) lasting Duration seconds.
std::unique_ptr<TvxPDFDictObject> MakeTransitionDict(uint8_t Style, float Duration);

// Sets /Dur and /Trans on the pages numbered (1-based) in PageNumbers, usually
// the result of ParsePageRange; Pages is the document's page list. Every page
// is checked first, so nothing changes when one fails: a number outside the
// list raises EInvalidPageError "Invalid page number (%d)", a page that is not
// a dictionary EUnexpectedObjectError.
void SetPageTransition(std::span<TvxPDFIndirectObject* const> Pages,
                       std::span<const int32_t> PageNumbers, uint8_t Style, float Duration);

}  // namespace vx
