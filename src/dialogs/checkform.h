// The backup check window: counts the files of a job's source directories
// that have no counterpart in the target, row by row, and hands its report
// to the completion window.
#pragma once

#include <QColor>
#include <QDialog>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/verify/checklogic.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;
class TFRest;
struct AppState;

// The looping picture of a file search shown while a check runs: a
// magnifying glass moving over a sheet of paper.
class TSearchAnimation : public QWidget {
 public:
  explicit TSearchAnimation(QWidget* parent = nullptr);
  void Play();
  void Stop();
  bool Playing() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer* timer_;
  int frame_ = 0;
};

class TFCheck : public QDialog, private CheckObserver {
  Q_OBJECT

 public:
  // state: the catalogue that names the count file.
  explicit TFCheck(QWidget* parent = nullptr, AppState* state = nullptr);
  // The colour of the count of missing files on a window of `background`.
  static QColor CountColour(std::int32_t missing, const QColor& background);
  ~TFCheck() override;

  // The completion window that the check opens.
  void SetCompletionWindow(TFRest* rest) { rest_ = rest; }

  // Opens the check of the handed job. The parent window is hidden while
  // the check window is open.
  void OpenCheck(const CheckRequest& request);
  // The mode complete: shows the window, runs the check, saves the count
  // file, copies everything missing through the completion window, closes.
  void CheckAndComplete();

  // ---- controls (named as in the form) ----
  QLabel* Label1 = nullptr;  // "Name der Sicherung:"
  QLabel* Label2 = nullptr;  // the job name
  QTableWidget* SG1 = nullptr;
  QLabel* Label3 = nullptr;  // "Verzeichnis:"
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;  // "Anzahl Dateien"
  QLabel* Label6 = nullptr;
  QLabel* Label11 = nullptr;  // "Zu kopieren:"
  QLabel* Label12 = nullptr;
  QLabel* Label7 = nullptr;  // "Zieldateien"
  QLabel* Label8 = nullptr;
  QLabel* Label9 = nullptr;  // "Fehlende Dateien"
  QLabel* Label10 = nullptr;
  // "&Inhalte vergleichen": files of the same size and time are compared
  // byte for byte; ticking or clearing it checks again.
  QCheckBox* CheckBox1 = nullptr;
  QLabel* Label13 = nullptr;  // "Abweichende Dateien"
  QLabel* Label14 = nullptr;
  QPushButton* BitBtn2 = nullptr;  // "Details"
  QPushButton* BitBtn4 = nullptr;  // "Abbrechen"
  QPushButton* BitBtn1 = nullptr;  // "S&chließen"
  TSearchAnimation* Animate1 = nullptr;

  // ---- window data ----
  // Rows, exclusion texts (ExcludedExts, ExcludedFiles), CheckReport
  // (Check.Report), CheckCancel and the counters.
  BackupCheck Check;
  CheckMode Mode() const { return mode_; }
  // True while a run is going.
  bool Running() const { return running_; }
  // Number of runs finished since the window was created.
  int RunsFinished() const { return runsFinished_; }

  // ---- handlers ----
  void FormShow();
  void FormActivate();
  void FormResize();
  void SG1MouseUp();
  void BitBtn4Click();
  void BitBtn2Click();
  void FormClose();

  // One run with the controls' states around it.
  void RunCheck();
  // Width of column 2 := the room beside columns 0 and 1, less 4.
  void FitColumn2();
  // Saves CheckReport as the count file; a failure is told in a box that
  // names the file. True on success.
  bool SaveCountFile();

  // Every way of closing ends here: while a run is going the run is
  // cancelled first and the window closes when it has stopped.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowDirectory(const std::string& text) override;
  void ShowFileTotal(std::int32_t total) override;
  void ShowTotals(std::int32_t found, std::int32_t present) override;
  void ShowDiffering(std::int32_t differing) override;
  void ShowRowResult(int row, const std::string& text) override;
  void ProcessEvents() override;
  // Draws what the check handed over since the last frame.
  void DrawShown();

  void BuildWindow();
  void FillGrid();
  void ScheduleRun();
  bool MayStartRun() const;
  void OpenCompletion(bool autoMode);

  AppState* state_;
  TFRest* rest_ = nullptr;
  CheckMode mode_ = CheckMode::CheckOnly;
  int jobIndex_ = -1;
  bool running_ = false;
  bool runScheduled_ = false;
  bool closeRequested_ = false;  // closed during a run: close when it ends
  bool finishing_ = false;       // "Details" or the completion is under way
  int runsFinished_ = 0;

  // The check works on a thread of its own; what it shows is kept here
  // and drawn once per frame on the window's thread.
  struct Shown {
    std::optional<std::string> directory;
    std::optional<std::int32_t> fileTotal;
    std::optional<std::pair<std::int32_t, std::int32_t>> totals;  // found, present
    std::optional<std::int32_t> differing;
    std::vector<std::pair<int, std::string>> rows;
  };
  std::mutex shownMutex_;  // guards shown_
  Shown shown_;
  QTimer* frames_ = nullptr;
  // "Abbrechen" (or closing) during a run: taken at the check's next entry.
  std::atomic<bool> cancel_{false};
};
