// The restore window "Wiederherstellung": the job, the state and what is
// given back where, then the restore with its progress, cancel and report.
// The restore itself is one core object (restore::RestoreRun); this window
// only shows it.
#pragma once

#include <memory>

#include "core/restore/restorerun.h"
#include "dialogs/kopierform.h"

struct AppState;

class QLabel;
class QTableWidget;

class TFWieder : public RunDialog {
  Q_OBJECT

 public:
  // state: the catalogue whose restore report the restore writes; without
  // it (a window on its own) no report is written.
  explicit TFWieder(QWidget* parent = nullptr, AppState* state = nullptr);
  ~TFWieder() override;

  // Takes the restore to show and checks the job's target and the
  // destination; a failure is told and the result is false (nothing to
  // run, the window is not to be shown).
  bool Open(const restore::RestoreRequest& request);
  // Runs the restore taken by Open; showing the window starts it.
  void Start();
  // True once the restore of the last Open has ended.
  bool Finished() const { return finished_; }
  const restore::RestoreRun::Result& LastResult() const { return result_; }

  // The text of the state or of what is given back, as the header shows it.
  static QString WhatText(const restore::RestoreRequest& request);

  // ---- controls ----
  QWidget* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;  // job name
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;  // state
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;  // what
  // One row per source folder: its folder in the target, where it lands.
  QTableWidget* SG1 = nullptr;
  // The run area (RunDialog): Label8 shows the counts, Label7 the file in
  // work.
  QWidget* Panel2 = nullptr;

  void BitBtn4Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void Closing() override { startPending_ = false; }
  void DrawFrame() override;

 private:
  class Observer;
  void LayoutControls();
  // The end of the restore is shown (before its report boxes).
  void Ended();
  void ShowCounts(std::int64_t handled, std::int64_t total);

  AppState* state_;
  std::unique_ptr<restore::RestoreRun> run_;
  std::unique_ptr<Observer> observer_;
  restore::RestoreRun::Result result_;
  bool finished_ = false;
  bool startPending_ = false;
};
