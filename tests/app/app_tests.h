// The window's test classes, run one after the other by app_tests_main.cpp.
#pragma once

#include <QObject>
#include <QTemporaryDir>
#include <memory>

namespace vxtest {
class TFakePlatform;
}

class TestSettings : public QObject {
  Q_OBJECT
 private slots:
  void AngleTextAsInteger();
  void FontSummaryNamesColours();
  void PixelHeightInPoints();
  void DialogFiltersTheQtWay();
  void ColoursBetweenQtAndWindowSystem();
  void MemoLinesJoinedByCRLF();
  void ColorSelectorPalette();
  void FontDialogEditsFontAndColourTogether();
  void SettingsOntoTheJobAndBack();
  void OptionsDialogShowsAndEditsTheJob();
  void ProgressDialogWaitsThenShowsAndCancels();
};

class TestWindow : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void ControlsAndDefaults();
  void TabOrder();
  void FixedSizeScaledAndCentred();
  void NoticeYear();
  void FontButton();
  void OpenShowsLoadErrorsAndRecovers();
  void JobMessages();
  void BadAngleShowsConversionError();
  void EncryptedFileAsksForPassword();
  void DamagedFileRepairedWhenTheUserAgrees();
  void DamagedEncryptedFileAsksForItsPasswordOnce();
  void HandlerErrorsNeverLeaveTheSlot();
  void ControlsStartFromANewJob();
  void JobFileCommandsInTheContextMenu();
  void SavedJobLoadsBackIntoTheControls();
  void PreviewShowsTheWatermarkBeforeSaving();
  void RefusedJobFileShowsItsMessage();
  void GrabWindow();

 private:
  QString Letter;  // a one-page US Letter file
  std::unique_ptr<QTemporaryDir> Dir;
};

class TestJob : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void DefaultJobOnLetter();
  void StrokeAndOverlay();
  void EmptyMemoSavesUnchanged();
  void TwoPressesTwoWatermarks();
  void CancelledSaveIsUndoneBeforeTheNextJob();
  void UndoKeepsTheJobsSavedBefore();
  void NameWithoutPdfSuffix();
  void JobWithNothingLoaded();
  void BadFileThenGoodOne();
  void DamagedFileRepairedByTheJob();
  void EncryptedFileStamped();
  void SameBytesUnderDecimalCommaLocale();
  void RestrictedSaveSaysTheOwnerPasswordIsMadeUp();
  void LoadedJobStampsWhatTheWindowDoesNotShow();
  void TextInAnyScriptStampedAsTyped();
  void TitleSaysWhatTheLoadAndTheSaveDid();
  void TheBoxNamesTheDocumentAndDialogsStartBesideIt();
  void AFailedSaveNamesTheFile();
  void CancelledJobLeavesNoFileAndTheDocumentAsBefore();
  void FontSizeInPointsWhateverTheScreen();
  void OptionsAndFolderAreRememberedBetweenRuns();
  void OptionsDialogSetsTheJobsOtherOptions();

 private:
  QString Out(const QString& Name) const;
  QString Letter;
  std::unique_ptr<QTemporaryDir> Dir;
};
