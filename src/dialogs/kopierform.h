// The run window "Sicherungslauf": the job's directory pairs, the choice of
// full or incremental backup, the run with its progress, cancel and report.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QRawFont>
#include <QString>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/backup/copyengine.h"
#include "core/backup/runrequest.h"
#include "platform/platform.h"

struct AppState;

class QCheckBox;
class QPlainTextEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTimer;

// The small file-copy animation of the run: sheets fly from one folder to
// the other. It draws only on its own timer, so it costs the run nothing
// between two frames.
class CopyAnimation : public QWidget {
 public:
  explicit CopyAnimation(QWidget* parent = nullptr);
  void Start();
  void Stop();
  bool Active() const;
  int Frame() const { return frame_; }
  // The animation plays frames 0 to kLastFrame and starts again.
  static constexpr int kLastFrame = 34;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer* timer_;
  int frame_ = 0;
};

// The line of the current file. It is redrawn for every file the run
// copies, so it is kept as light as a line of text can be: it paints its
// own background and text and asks nothing of the window's layout.
class PathLabel : public QWidget {
 public:
  explicit PathLabel(QWidget* parent = nullptr);
  QString text() const { return Current(); }
  void setText(const QString& text);
  void clear() { setText(QString()); }
  // Sets the text and redraws the line at once (with `now` false: with
  // the next drawing of the window, such as another widget's repaint).
  void ShowNow(const QString& text, bool now = true);
  // Takes the text without drawing it; the next ShowNow or paint shows it.
  // Kept as it comes (UTF-8) until it is drawn or asked for: most of the
  // file names of a run are never drawn. The one call that may come from
  // another thread (a run on a thread of its own); all others belong to
  // the window's thread.
  void SetTextLater(const std::string& text) {
    std::lock_guard<std::mutex> lock(laterMutex_);
    later_.assign(text);
    laterWaiting_ = true;
  }
  // A text handed over with SetTextLater has not been shown yet.
  bool TextWaiting() const {
    std::lock_guard<std::mutex> lock(laterMutex_);
    return laterWaiting_;
  }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  const QString& Current() const;
  mutable QString text_;
  mutable std::mutex laterMutex_;
  mutable std::string later_;
  mutable bool laterWaiting_ = false;
  bool painted_ = false;  // the line is on the screen as last drawn
  // The folder part of the text, drawn once per folder.
  QString prefix_;
  QPixmap prefixImage_;
  QColor prefixBackground_;
  QFont prefixFont_;
  int prefixHeight_ = 0;
  int prefixWidth_ = 0;
  QRawFont rawFont_;
  QFont rawFontSource_;
};

// What the run window and the restore window share: the run area (the
// animation, the count display, the line of the current file, "Abbrechen"
// and "S&chließen") and the rule that a window closed during its run
// closes once the run has ended.
class RunDialog : public QDialog {
  Q_OBJECT

 public:
  explicit RunDialog(QWidget* parent = nullptr);
  ~RunDialog() override;

  bool Running() const { return running_; }

  CopyAnimation* Animate1 = nullptr;
  QLabel* Label8 = nullptr;        // the count display
  PathLabel* Label7 = nullptr;     // the line of the current file
  QPushButton* BitBtn4 = nullptr;  // "Abbrechen"
  QPushButton* BitBtn5 = nullptr;  // "S&chließen"

  void done(int result) override;
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Makes the run area's controls in `panel`; LayoutRunArea places them
  // for the panel's width.
  void MakeRunArea(QWidget* panel);
  void LayoutRunArea(int width);
  // Places a window of three caption/value rows above its grid and the run
  // area below it (the restore and the synchronisation windows), the
  // captions `captionWidth` wide.
  void LayoutRowsGridAndRunArea(QWidget* header, QLabel* const (&rows)[6], int captionWidth,
                                QWidget* grid, QWidget* runPanel);
  // The look of a run (animation, file line, "Abbrechen") or of its end.
  void SetRunningLook(bool running);
  // The run begins; the run has ended (a close asked for during the run
  // happens with CloseIfAsked).
  void BeginRun();
  void EndRun() { running_ = false; }
  void CloseIfAsked();
  // Puts the window over the middle of its opener, when that is shown.
  void CentreOnOpener();
  // Carries out `run` with the look of a run, beside the window (see
  // RunBeside). `ended` shows the end; the run's observer has it called
  // on the window's thread once the report is written, and a run that
  // stopped before its report gets it here.
  void CarryOut(const std::function<void()>& run, const std::function<void()>& ended);
  // Carries out `run` on a thread of its own and returns when it has
  // returned. Meanwhile this window's thread takes the input and calls
  // DrawFrame once per frame of the screen (until StopFrames); the run's
  // boxes and questions are shown on this thread in the order asked.
  void RunBeside(const std::function<void()>& run);
  // Once per frame while a run works: draws the latest of what the run
  // handed over.
  virtual void DrawFrame() {}
  // No more frames: the run's walk is over and its end is drawn.
  void StopFrames();
  // "Abbrechen" during a run: a note that the run's observer takes with
  // TakeCancel before the run's next entry.
  void NoteCancel() { cancel_ = true; }
  // The window really closes (done with no run going on).
  virtual void Closing() {}

 public:
  // On the run's thread: true once after "Abbrechen" was clicked.
  bool TakeCancel() { return cancel_.load(std::memory_order_relaxed) && cancel_.exchange(false); }

 private:
  bool running_ = false;
  bool closeRequested_ = false;
  std::atomic<bool> cancel_{false};
  QTimer* frames_ = nullptr;
};

class TFKopie : public RunDialog {
  Q_OBJECT

 public:
  // state: the settings (place, options) and the catalogue that takes the
  // new last backup; without it (a window on its own) neither is kept.
  explicit TFKopie(QWidget* parent = nullptr, AppState* state = nullptr);
  ~TFKopie() override;

  // Takes the run to show: the window's title, name, mode and directory
  // rows come from it, and "Kopiervorgang starten" runs it.
  void Open(const RunRequest& request);
  // The run as handed over, with the mode the user chose since.
  const RunRequest& Request() const { return request_; }

  // ---- controls (named as in the form) ----
  QWidget* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QTableWidget* SG1 = nullptr;
  QWidget* Panel2 = nullptr;
  QWidget* Panel3 = nullptr;
  QRadioButton* RB1 = nullptr;
  QRadioButton* RB2 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  // "&Nur anzeigen, nichts kopieren": the run only lists what it would do.
  QCheckBox* CheckBox3 = nullptr;
  // The list of a dry run, shown in place of the grid once it has ended.
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QPushButton* BitBtn1 = nullptr;

  // ---- the grid as rows: row 0 is the header, rows 1.. the directories ----
  int RowCount() const;
  QString Cell(int column, int row) const;
  void SetCell(int column, int row, const QString& text);
  // One row per source directory: column 0 the source root, column 1 its
  // target root, column 2 empty.
  void SetDirectoryRows(const std::vector<std::pair<QString, QString>>& rows);

  // The engine of the runs (its run state stays readable after a run).
  CopyEngine& Engine() { return engine_; }

  // ---- handlers ----
  void FormShow();
  void FormResize();
  void FormClose();
  void SG1MouseUp();
  void RB1Click();
  void RB2Click();
  void BitBtn2Click();
  void BitBtn4Click();

  void setVisible(bool visible) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void Closing() override { FormClose(); }
  void DrawFrame() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Observer;
  // The walk of a run is over: the last file and count are drawn and the
  // buttons of the end shown, before the report and its boxes.
  void WalkEnded();
  void LayoutControls();
  void RestorePlace();
  void ApplyMode();
  void FitLastColumn();
  int GridClientWidth() const;
  // Shows the controls of the state on display (choices, or run and end)
  // and hides those of the other.
  void ShowStateControls();
  // Shows a dry run's list in place of the grid, the keyboard on it.
  void ShowPlan(const std::vector<std::string>& lines);

  AppState* state_;
  RunRequest request_;
  CopyEngine engine_;
  std::unique_ptr<Observer> observer_;
};
