// The backup completion window: lists the directories that a check found
// with missing files and copies those files into the target, for the rows
// the user ticks or, in the automatic mode, for all rows without a question.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <string>

#include "core/verify/checklogic.h"

class QFileSystemModel;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QSplitter;
class QStatusBar;
class QTableWidget;
class QTreeView;

class TFRest : public QDialog, private CompletionList {
  Q_OBJECT

 public:
  explicit TFRest(QWidget* parent = nullptr);
  ~TFRest() override;

  // Fills the window from a check's report and shows it modally; returns
  // when the window has been closed. The rule is the exclusions of that
  // check, `history` where its line went (none: the completion keeps no
  // line). AutoMode is set by the caller before.
  void OpenCompletion(const CheckReport& report, const ExclusionRule& rule,
                      const history::Target& history = {});

  // ---- controls (named as in the form) ----
  QPlainTextEdit* Memo1 = nullptr;
  QTableWidget* LV1 = nullptr;  // columns "X", "Anzahl", "Quelle", "Unterverzeichnis", "Ziel"
  QSplitter* Splitter1 = nullptr;
  QTreeView* FLB1 = nullptr;
  QFileSystemModel* FLB1Model = nullptr;       // the file system
  QSortFilterProxyModel* FLB1Files = nullptr;  // what FLB1 shows of it
  QStatusBar* StatusBar1 = nullptr;
  QLabel* Label1 = nullptr;        // "Ausgewählte Dateien:"
  QLabel* Label2 = nullptr;        // the sum of the ticked rows
  QPushButton* BitBtn2 = nullptr;  // "Ergänzen"
  QPushButton* Button1 = nullptr;  // "&Abbrechen"
  QPushButton* BitBtn1 = nullptr;  // "S&chließen"

  // ---- window data ----
  bool AutoMode = false;
  bool Busy = false;
  BackupCompletion Completion;  // CopyStatus and the exclusion rule
  std::int32_t CopyStatus() const { return Completion.CopyStatus; }

  // The folder FLB1 shows (as StatusBar1 shows it).
  QString FolderShown() const { return folder_; }
  // The row's fields as stored (file names need not be UTF-8).
  MissingEntry RowEntry(int row) const override;
  bool IsTicked(int row) const override;
  void SetTicked(int row, bool ticked);
  int RowCount() const override;
  std::string CountText(int row) const override;

  // ---- handlers ----
  void FormActivate();
  void BitBtn2Click();
  void Button1Click();
  void LV1Change();
  void LV1ColumnClick(int column);
  void LV1SelectItem(int row);
  void FLB1DblClick();

  void UpdateSelection();
  // Space in the list: ticks or clears the current row (and the selected
  // ones with it).
  void ToggleCurrentRow();
  // The copy run: CompleteTicked with the controls' states around it.
  void CopyRun();
  void CompleteTicked();
  // Shows a folder in FLB1 and StatusBar1.
  void ShowFolder(const std::string& folder);

  // While copying, closing cancels the run first; the window closes when
  // it has stopped.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetCountText(int row, const std::string& text) override;
  void KeepInView(int row) override;
  void RemoveRow(int row) override;
  void ProcessEvents() override;

  void BuildWindow();
  void AddRow(const MissingEntry& entry);
  void ScheduleAutoRun();

  QString folder_;
  bool autoRunDone_ = false;  // the automatic run happens once per opening
  bool autoScheduled_ = false;
  bool closeRequested_ = false;
  // "Abbrechen" (or closing) while the completion copies: taken at its
  // next event round, on its own thread.
  std::atomic<bool> cancel_{false};
};
