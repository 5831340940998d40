// The Vellumark window: the source file, the watermark's text, angle, font,
// render mode, stroke colour, position and layer, and the button that runs
// the whole job. Platform services come through TvxAppPlatform.
#pragma once

#include <QStringList>
#include <QWidget>
#include <deque>
#include <memory>
#include <optional>

#include "app/vxAppPlatform.h"
#include "app/vxAppSettings.h"
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/watermark/vxWatermarkJob.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QDragEnterEvent;
class QDropEvent;
class QPlainTextEdit;
class QPushButton;

namespace vx::app {

class TvxColorSelector;

// The font dialog's state: its font is the watermark font.
struct TvxFontDialogState {
  TvxFontSpec Font;
};

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Positions and sizes are given at this resolution and scaled to the screen.
  static constexpr int DesignPixelsPerInch = 120;
  static constexpr int DesignClientWidth = 847;
  static constexpr int DesignClientHeight = 560;
  // The maker's notice; FormCreate brings its year up to date.
  static constexpr const char* MakersNotice =
      "Vellumark 2.0 \u2014 text watermarks for PDF files. \u00A9 The Vellumark developers, "
      "2020";

  explicit TForm1(TvxAppPlatform& Platform, QWidget* Parent = nullptr);
  // Whether windows made from now on start from the options and folder
  // the last run left (QSettings), and keep them for the next; the program
  // turns it on, tests that do not test it leave it off.
  static inline bool RememberSettings = false;
  ~TForm1() override;

  // Handlers; each shows what it raises in an error box.
  void FormCreate();
  void FormCanResize(int& NewWidth, int& NewHeight) const;
  void Button1Click();
  void Button2Click();
  void Button3Click();
  // The form's context menu: the controls' job to a job file, and a job
  // file's job onto the controls.
  void SaveJobClick();
  void LoadJobClick();
  // The options the form has no controls for, in a dialog of their own.
  void OptionsClick();
  // Shows the preview window, drawn again after every change.
  void PreviewClick();
  // Opens the folder of the file saved last.
  void ShowSavedClick();
  // A PDF file dropped on the window opens as "Open" would; false when the
  // data names none.
  bool OpenDropped(const QMimeData& Data);
  // Opens Path as "Open" would (for the command line).
  void OpenFile(const QString& Path);

  // The controls' values as one record.
  TvxJobSettings Settings() const;
  // The job the controls describe, with what the last loaded job set that
  // no control shows (pages, opacity, font embedding, encryption). Raises
  // the angle's conversion error.
  TvxWatermarkJob Job() const;
  // Shows Job in the controls and keeps what they cannot show.
  void SetJob(const TvxWatermarkJob& Job);
  // Screen pixels for a length given at DesignPixelsPerInch.
  int Scaled(int DesignPixels) const;
  // True after a job stamped the document and its save did not happen.
  bool HasUnsavedStamp() const { return FUnsavedStamp; }

  // The controls; not owned: child widgets, freed by Qt with the window.
  QLabel* Label1;
  QLineEdit* Edit1;
  QPushButton* Button1;
  QLabel* Label2;
  QPlainTextEdit* Memo1;
  QLabel* Label3;
  QLineEdit* Edit2;
  QLabel* Label4;
  QLineEdit* Edit3;
  QPushButton* Button2;
  QLabel* Label5;
  QComboBox* ComboBox1;
  QLabel* Label6;
  TvxColorSelector* AdvColorSelector1;
  QLabel* Label7;
  QComboBox* ComboBox2;
  QLabel* Label8;
  QComboBox* ComboBox3;
  QCheckBox* CheckBox1;
  QCheckBox* CheckBox2;
  QPushButton* Button3;
  QPushButton* PreviewButton;
  QLabel* Label9;
  QAction* LoadJobAction;
  QAction* SaveJobAction;
  QAction* OptionsAction;
  QAction* ShowSavedAction;  // enabled once a file is saved

  std::unique_ptr<TvxPDFDocument> PDOC;
  // Made on first use; a child window, freed with the form.
  class TvxPreviewWindow* Preview = nullptr;
  TvxFontDialogState FontDialog1;
  TvxFileDialogSettings OpenDialog1;
  TvxFileDialogSettings SaveDialog1;
  TvxFileDialogSettings OpenJobDialog;
  TvxFileDialogSettings SaveJobDialog;

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;

 private:
  template <typename F>
  void Guarded(F&& Handler);
  void CreateControls();
  void CenterOnScreen();
  // Names Path in the box and loads it, as "Open" does.
  void OpenPath(const QString& Path);
  // What the last load or save did, after the caption in the title.
  void ShowStatus(const QString& Text);
  // The document's progress shown in a view of the platform while a stamp
  // or a save runs.
  class TvxJobProgressScope {
   public:
    TvxJobProgressScope(TForm1& Form, const QString& Title);
    ~TvxJobProgressScope();
    TvxJobProgressScope(const TvxJobProgressScope&) = delete;
    TvxJobProgressScope& operator=(const TvxJobProgressScope&) = delete;

   private:
    vx::TvxCustomPDFDocument& FDoc;
    std::unique_ptr<TvxProgressView> FView;
  };
  static QString ProgressText(const vx::TvxJobProgress& P);
  // Loads again what the document was before a stamp that was not saved;
  // false when that load was refused.
  bool UndoUnsavedStamp();
  // A job the user stopped: the document as before it, and the status.
  void Cancelled();
  // Tells an open preview that what it shows has changed.
  void PreviewChanged();
  // Clears the document and loads Path into it; false when the password
  // dialog was cancelled. A failed load leaves the document empty. A load
  // that fails on damaged structure offers a repair, and the user's "no"
  // shows the load's own error.
  bool LoadDocument(QString Path);  // a copy: Path may be FLoadedPath
  bool LoadOnce(const QString& Path);
  void PasswordRequested(std::string& Password, bool& Continue, int32_t Tries);
  // The save dialog until a target is settled: the name the save really
  // writes, confirmed when it exists; nothing when cancelled.
  std::optional<QString> ChooseTarget();

  TvxAppPlatform& FPlatform;
  // The last loaded job: what it sets that no control shows still applies.
  TvxWatermarkJob FJob;
  double FScale = 1.0;
  QSize FFixedSize;
  QString FLoadedPath;        // the file the document was loaded from
  QString FBoxPath;           // the source as the box named it when it was opened
  QStringList FLoadWarnings;  // what the last load mended
  bool FUnsavedStamp = false;
  // The file the last save wrote: every job saved so far, the state a job
  // whose save did not happen goes back to.
  QString FSavedPath;
  // The password that opened FPasswordPath, tried without asking when that
  // file is loaded again (a job undone).
  QString FPasswordPath;
  std::string FPassword;
  // The load in progress: its file, the last password given, the passwords
  // typed so far, and the byte forms still to try before asking again.
  QString FLoadingPath;
  std::string FLastPassword;
  int32_t FTypedPasswords = 0;
  std::deque<std::string> FPendingPasswords;
  // The file the user agreed to repair: loaded again (a job undone, opened
  // again) it is repaired without asking.
  QString FRepairPath;
};

}  // namespace vx::app
