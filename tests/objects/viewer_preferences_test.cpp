#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pdf/objects/vxDocumentExceptions.h"
#include "pdf/objects/vxViewerPreferences.h"
#include "pdf/watermark/vxPageRange.h"
#include "support/expect_error.h"

using namespace vx;

namespace {

using TPrefs = TvxPDFViewerPreferences;

std::string NameOf(const TvxPDFDictObject& D, std::string_view Key) {
  const TvxPDFObject* V = D.Lookup(Key);
  return V && V->IsName() ? static_cast<const TvxPDFNameObject*>(V)->Text : "<no name>";
}

// A page list as the document keeps it: indirect objects holding dictionaries.
struct Pages {
  std::vector<std::unique_ptr<TvxPDFIndirectObject>> Owned;
  std::vector<TvxPDFIndirectObject*> List;
  explicit Pages(int Count) {
    for (int I = 0; I < Count; ++I) {
      Owned.push_back(std::make_unique<TvxPDFIndirectObject>(1, 10 + I, 0,
                                                             std::make_unique<TvxPDFDictObject>()));
      List.push_back(Owned.back().get());
    }
  }
  TvxPDFDictObject& Page(int No) { return static_cast<TvxPDFDictObject&>(*List[No - 1]->Value); }
};

}  // namespace

TEST(ViewerPreferences, EachFlagOwnsItsKey) {
  const struct {
    const char* Key;
    void (TPrefs::*Set)(bool);
    bool (TPrefs::*Get)() const;
  } Flags[] = {{"/HideToolbar", &TPrefs::SetHideToolbar, &TPrefs::GetHideToolbar},
               {"/HideMenubar", &TPrefs::SetHideMenubar, &TPrefs::GetHideMenubar},
               {"/HideWindowUI", &TPrefs::SetHideWindowUI, &TPrefs::GetHideWindowUI},
               {"/FitWindow", &TPrefs::SetFitWindow, &TPrefs::GetFitWindow},
               {"/CenterWindow", &TPrefs::SetCenterWindow, &TPrefs::GetCenterWindow},
               {"/DisplayDocTitle", &TPrefs::SetDisplayDocTitle, &TPrefs::GetDisplayDocTitle}};
  for (const auto& F : Flags) {
    TPrefs Prefs;
    (Prefs.*F.Set)(true);
    (Prefs.*F.Set)(true);
    EXPECT_TRUE((Prefs.*F.Get)()) << F.Key;
    EXPECT_EQ(Prefs.Dict().Count(), 1);
    EXPECT_EQ(Prefs.PreferencesText(), std::string("<<\r\n") + F.Key + " true\r\n>>");
    (Prefs.*F.Set)(false);
    EXPECT_FALSE((Prefs.*F.Get)()) << F.Key;
    EXPECT_EQ(Prefs.Dict().Count(), 0);
  }
}

TEST(ViewerPreferences, OnlyADirectTrueCountsAndFalseRemovesEveryCopy) {
  auto D = std::make_unique<TvxPDFDictObject>();
  D->Add("/HideToolbar", std::make_unique<TvxPDFBooleanObject>(false));
  D->Add("/HideMenubar", std::make_unique<TvxPDFIndirectReference>(1, 5, 0));
  D->Add("/CenterWindow", std::make_unique<TvxPDFIntegerObject>(1));
  D->Add("/FitWindow", std::make_unique<TvxPDFBooleanObject>(true));
  D->Add("/FitWindow", std::make_unique<TvxPDFBooleanObject>(true));
  TPrefs Prefs;
  Prefs.SetDict(std::move(D));
  EXPECT_FALSE(Prefs.GetHideToolbar() || Prefs.GetHideMenubar() || Prefs.GetCenterWindow());
  EXPECT_TRUE(Prefs.GetFitWindow());
  Prefs.SetFitWindow(false);
  EXPECT_FALSE(Prefs.GetFitWindow());
  EXPECT_EQ(Prefs.PreferencesText(), "");
}

TEST(ViewerPreferences, TextKeepsKnownKeysInFixedOrderAndDropsTheRest) {
  auto D = std::make_unique<TvxPDFDictObject>();
  D->AddName("/PrintClip", "/CropBox");
  D->Add("/Foo", std::make_unique<TvxPDFBooleanObject>(true));
  D->AddName("/Direction", "/R2L");
  D->AddInteger("/NumCopies", 2);
  D->Add("/ViewArea", std::make_unique<TvxPDFArrayObject>());
  D->Add("/DisplayDocTitle", std::make_unique<TvxPDFBooleanObject>(true));
  D->AddName("/NonFullScreenPageMode", "/UseOutlines");
  TPrefs Prefs;
  Prefs.SetDict(std::move(D));
  EXPECT_EQ(Prefs.PreferencesText(),
            "<<\r\n/DisplayDocTitle true\r\n/NonFullScreenPageMode /UseOutlines\r\n"
            "/Direction /R2L\r\n/PrintClip /CropBox\r\n>>");
}

TEST(PageTransition, StylesGiveTheirEntries) {
  auto Wipe = MakeTransitionDict(11, 2);
  ASSERT_EQ(Wipe->Count(), 4);
  EXPECT_EQ(Wipe->GetKey(0)->Text + NameOf(*Wipe, "/Type"), "/Type/Trans");
  ASSERT_TRUE(Wipe->GetValue(1)->IsReal());
  EXPECT_EQ(Wipe->GetKey(1)->Text, "/D");
  EXPECT_EQ(static_cast<TvxPDFRealObject*>(Wipe->GetValue(1))->Value, 2.0);
  EXPECT_EQ(NameOf(*Wipe, "/S"), "/Wipe");
  ASSERT_TRUE(Wipe->Lookup("/Di")->IsInteger());
  EXPECT_EQ(static_cast<TvxPDFIntegerObject*>(Wipe->Lookup("/Di"))->Value, 180);

  auto Split = MakeTransitionDict(4, 1.5f);
  EXPECT_EQ(NameOf(*Split, "/S") + NameOf(*Split, "/Dm") + NameOf(*Split, "/M"), "/Split/V/O");
  EXPECT_EQ(NameOf(*MakeTransitionDict(7, 1), "/S") + NameOf(*MakeTransitionDict(7, 1), "/M"),
            "/Box/I");
  EXPECT_EQ(static_cast<TvxPDFIntegerObject*>(MakeTransitionDict(16, 1)->Lookup("/Di"))->Value,
            315);
  for (uint8_t Plain : {0, 17, 255}) {
    auto R = MakeTransitionDict(Plain, 1);
    EXPECT_EQ(NameOf(*R, "/S"), "/R");
    EXPECT_EQ(R->Count(), 3);
  }
}

TEST(PageTransition, SetsDurationAndTransitionOnTheNamedPages) {
  Pages Doc(3);
  Doc.Page(1).Add("/Dur", std::make_unique<TvxPDFIntegerObject>(9));
  SetPageTransition(Doc.List, ParsePageRange("1-2", 3), 11, 2);
  for (int No : {1, 2}) {
    TvxPDFDictObject& P = Doc.Page(No);
    EXPECT_EQ(P.Count(), 2) << No;
    ASSERT_TRUE(P.Lookup("/Dur")->IsReal());
    EXPECT_EQ(static_cast<TvxPDFRealObject*>(P.Lookup("/Dur"))->Value, 2.0);
    ASSERT_TRUE(P.Lookup("/Trans")->IsDict());
    EXPECT_EQ(NameOf(*static_cast<TvxPDFDictObject*>(P.Lookup("/Trans")), "/S"), "/Wipe");
  }
  EXPECT_EQ(Doc.Page(3).Count(), 0);
}

TEST(PageTransition, BadPageChangesNothing) {
  Pages Doc(2);
  std::vector<int32_t> Numbers = {1, 3};
  vxtest::ExpectError<EInvalidPageError>([&] { SetPageTransition(Doc.List, Numbers, 5, 1); },
                                         "Invalid page number (3)");
  EXPECT_EQ(Doc.Page(1).Count(), 0);

  Doc.List[1]->Value = std::make_unique<TvxPDFNullObject>();
  Numbers = {1, 2};
  EXPECT_THROW(SetPageTransition(Doc.List, Numbers, 5, 1), EUnexpectedObjectError);
  EXPECT_EQ(Doc.Page(1).Count(), 0);
}
