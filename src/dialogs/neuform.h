// The job editor: defines, changes and deletes a backup job (name, source
// directories, target, excluded files and extensions, last backup).
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "core/catalogue/appstate.h"
#include "core/catalogue/jobopt.h"

struct JobDraft;
struct LastBackup;

class QDateEdit;
class TFOptionen;
class Tfscan;
class FolderTreeModel;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimeEdit;
class QToolButton;
class QTreeView;

class TFNeu : public QDialog {
  Q_OBJECT

 public:
  // state: the catalogue the editor changes, the settings that keep its
  // place and the shown job it edits.
  explicit TFNeu(QWidget* parent = nullptr, AppState* state = nullptr);
  ~TFNeu() override;

  // Modal results of the window.
  static constexpr int kResultOk = 1;
  static constexpr int kResultCancel = 2;
  static constexpr int kResultDeleted = 5;

  // The client area: fixed height, minimum width (the outer window adds
  // the frame: 500 x 595 at design, at least 470 wide).
  static constexpr int kClientHeight = 568;
  static constexpr int kMinClientWidth = 462;
  static constexpr int kDesignClientWidth = 492;
  // Outer width minus client width; the settings hold the outer width.
  static constexpr int kFrameWidth = 8;

  // "&Neu": true when a job was added (it is then SelectedJob).
  bool OpenNewJob();
  // "&Bearbeiten": 0 cancelled, 1 changed, 2 deleted.
  int EditJob();
  // Writes the job's three list files and extens.dat; false when one of
  // them could not be written (the user has been told).
  bool SaveJobLists();
  // The job as the window holds it.
  JobDraft Draft() const;
  // The moment the date and time fields show.
  LastBackup PickedBackup() const;
  void UpdateListButtons();
  // Full path of the folder selected in the tree; empty when none.
  std::string SelectedFolderPath() const;
  // Selects the folder in the tree (expanding its parents); false when it
  // is not a directory the tree shows.
  bool SelectFolderPath(const std::string& path);

  // Shows the window modally at its stored place; the modal result.
  int ShowModal();

  // ---- section 1 ----
  QLabel* Label1 = nullptr;
  QLineEdit* EName = nullptr;
  QLabel* Label2 = nullptr;
  // ---- section 2 ----
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QFrame* Panel4 = nullptr;
  QLabel* Label7 = nullptr;
  QToolButton* SB6 = nullptr;
  QToolButton* SB7 = nullptr;
  QToolButton* SB5 = nullptr;
  QTreeView* DT1 = nullptr;
  FolderTreeModel* DT1Model = nullptr;
  QPushButton* IncludeBtn = nullptr;
  QPushButton* ExcludeBtn = nullptr;
  QPushButton* ExAllBtn = nullptr;
  QLabel* DstLabel = nullptr;
  QListWidget* VList = nullptr;
  // ---- section 3 ----
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLineEdit* EVerz = nullptr;
  QPushButton* Button4 = nullptr;
  // ---- section 4 ----
  QLabel* Label16 = nullptr;
  QToolButton* BitBtn3 = nullptr;
  QToolButton* BitBtn2 = nullptr;
  QListWidget* LiBo3 = nullptr;
  // ---- section 5 ----
  QLabel* Label11 = nullptr;
  QLabel* Label12 = nullptr;
  QFrame* Panel2 = nullptr;
  QLabel* Label13 = nullptr;
  QListWidget* LiBo1 = nullptr;
  QFrame* Panel3 = nullptr;
  QLabel* Label14 = nullptr;
  QListWidget* LiBo2 = nullptr;
  QToolButton* BitBtn1 = nullptr;
  // ---- section 6 ----
  QLabel* Label8 = nullptr;
  QLabel* Label9 = nullptr;
  QDateEdit* DatePick = nullptr;
  QLabel* Label10 = nullptr;
  QTimeEdit* TimePick = nullptr;
  // ---- button bar ----
  QFrame* Panel1 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
  QPushButton* OptBtn = nullptr;
  QPushButton* DelBtn = nullptr;
  // The window of the job's options, opened by OptBtn.
  TFOptionen* Optionen = nullptr;

  // ---- handlers ----
  void FormShow();
  void FormResize();
  // True when the window may close with the given modal result.
  bool FormCloseQuery(int modalResult);
  void IncludeBtnClick();
  void ExcludeBtnClick();
  void ExcAllBtnClick();
  void VListClick();
  void SB5Click();
  void SB6Click();
  void SB7Click();
  void DT1Click() {}
  void Button4Click();
  void OKBtnClick();
  void CancelBtnClick();
  void DelBtnClick();
  void OptBtnClick();
  // Exclusion lists.
  void LiBo1DblClick();
  void LiBo2DblClick();
  void LiBo3DblClick();
  void LiBo2KeyUp(int key);
  // The context menu of an extension list at `pos` (of its viewport):
  // moves the entry there, or the current one, to the other list.
  void ExtensionMenu(QListWidget* list, const QPoint& pos);
  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Esc and the window manager's close act as "Abbrechen".
  void reject() override;

 private:
  tBackups* Catalogue() { return state_ != nullptr ? &state_->Backups : nullptr; }
  toptionen* Settings() { return state_ != nullptr ? &state_->Options : nullptr; }
  void CreateControls();
  void ApplyStoredPlace();
  void StorePlace();
  // Closes with the modal result when FormCloseQuery allows it.
  void TryClose(int modalResult);
  // The checks of OK, each with its message; false at the first failure.
  bool InputIsComplete();
  // Writes the options chosen in this opening for the stored job.
  void SaveJobOptions();

  bool placed_ = false;  // the stored place has been applied once
  AppState* state_;
  bool deleted_ = false;  // the job of this opening was deleted
  // The window of the extension survey while one goes on.
  Tfscan* survey_ = nullptr;
  // The options of the job of this opening: read from its file when first
  // shown (a new job starts with the defaults), written when the job is
  // stored and only when the user confirmed them in the options window.
  JobOptions jobOptions_;
  bool optionsRead_ = false;
  bool optionsReadable_ = true;
  bool optionsChosen_ = false;
};
