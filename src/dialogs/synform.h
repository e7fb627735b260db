// The synchronisation run window: the definition's name and pair, the run
// with the entry in work, its counts, "Abbrechen" and the offer of the
// report. The run itself is one core object (SyncRun); its guards and
// questions reach the user through the UserInterface port, this window
// only shows it.
#pragma once

#include <memory>

#include "core/sync/syncrun.h"
#include "dialogs/kopierform.h"

class QLabel;
class QTableWidget;

class TFSyn : public RunDialog {
  Q_OBJECT

 public:
  explicit TFSyn(QWidget* parent = nullptr);
  ~TFSyn() override;

  // Takes the definition to run (state and report in the data folder);
  // showing the window starts the run.
  void Open(const SyncDefinition& definition);
  // Runs the synchronisation taken by Open.
  void Start();
  // True once the run of the last Open has ended.
  bool Finished() const { return finished_; }
  const SyncRun::Result& LastResult() const { return result_; }

  // The rows of SG1.
  enum Row { kToSecond, kToFirst, kRemovedFirst, kRemovedSecond, kConflicts, kErrors, kRows };

  // ---- controls ----
  QWidget* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;  // name
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;  // 1. folder
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;  // 2. folder
  // What the run did so far, one count per row.
  QTableWidget* SG1 = nullptr;
  // The run area (RunDialog): Label8 shows the files copied, Label7 the
  // entry in work.
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
  void Ended();
  void ShowCounts(const SyncCounts& counts);

  std::unique_ptr<SyncRun> run_;
  std::unique_ptr<Observer> observer_;
  SyncRun::Result result_;
  bool finished_ = false;
  bool startPending_ = false;
};
