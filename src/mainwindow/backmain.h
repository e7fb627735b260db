// The main window: navigation strip, backup page, check page,
// synchronisation page and restore page.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/catalogue/appstate.h"
#include "core/verify/checklogic.h"
#include "platform/localsocket.h"
#include "platform/platform.h"

namespace restore {
struct RestoreRequest;
struct StateChoice;
class TargetState;
}  // namespace restore

class QComboBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QSocketNotifier;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TFVerlauf;

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // lockName: the single-instance lock's name (tests pass their own).
  explicit TForm1(QWidget* parent = nullptr, const std::string& lockName = "volkarn");
  ~TForm1() override;

  // True when FormCreate found another running instance: the program ends
  // at once without reading or writing any file.
  bool StartRefused() const { return startRefused_; }

  // The catalogue, the settings and the shown job, owned by this window
  // and handed to every other window.
  AppState& State() { return *state_; }
  tBackups* Backups() { return &state_->Backups; }
  toptionen* Options() { return &state_->Options; }

  void ShowJob();
  // True while the shown job was read whole (its directory list too): only
  // then may a run, a check or a completion start from it.
  bool JobReady() const { return jobReady_; }
  // Shows the program's window in front of the others: the main window, or
  // the window that holds the user's attention (a dialog, the check window
  // while the main window is hidden). A second start asks for this.
  void BringToFront();
  // A request to end the program by a signal (a logout's SIGTERM, SIGHUP,
  // Ctrl+C) closes this window as the user would, saving catalogue and
  // settings; while a window in front holds work of its own, the signal
  // ends the program at once as before. Released with the window.
  void EndOnSignals();

  // ---- controls (named as in the form) ----
  // The ones the tests look at; every control also carries its name as
  // its object name (findChild).
  QLabel* Label8 = nullptr;
  QWidget* Panel2 = nullptr;  // backup page
  QComboBox* CB1 = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QLabel* Label11 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QListWidget* LB1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* HistoryButton = nullptr;  // "Ver&lauf"
  // "Die letzte fehlerfreie Sicherung ist N Tage alt." while the shown
  // job's last good backup is older than its WarnenNachTagen.
  QLabel* StaleLabel = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn3 = nullptr;
  QWidget* Panel4 = nullptr;  // check page
  QComboBox* CB2 = nullptr;
  QPlainTextEdit* Memo2 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QPlainTextEdit* Memo3 = nullptr;
  QPlainTextEdit* Memo4 = nullptr;
  QWidget* Panel6 = nullptr;  // synchronisation page
  QComboBox* CB3 = nullptr;
  QPlainTextEdit* Memo5 = nullptr;
  QPushButton* BitBtn7 = nullptr;
  QTableWidget* SG1 = nullptr;
  QPushButton* BitBtn8 = nullptr;
  QPlainTextEdit* Memo7 = nullptr;
  QPushButton* BitBtn16 = nullptr;       // "&Bearbeiten" of the chosen synchronisation
  QPushButton* BitBtn17 = nullptr;       // "&Löschen" of the chosen synchronisation
  QWidget* Panel8 = nullptr;             // restore page
  QComboBox* CB4 = nullptr;              // the job
  QComboBox* CB5 = nullptr;              // the state: the last backup or a run's
  QRadioButton* RadioButton3 = nullptr;  // the whole job
  QRadioButton* RadioButton4 = nullptr;  // the folders and files ticked in TV1
  // The job's target as of the chosen state: one item per folder or file,
  // with a tick; a folder's entries are read when it is opened.
  QTreeWidget* TV1 = nullptr;
  QRadioButton* RadioButton5 = nullptr;  // into the original folders
  QRadioButton* RadioButton6 = nullptr;  // into the folder of Edit4
  QLineEdit* Edit4 = nullptr;
  QPushButton* Button4 = nullptr;  // chooses the folder of Edit4
  QPlainTextEdit* Memo8 = nullptr;
  QPushButton* BitBtn14 = nullptr;  // "Wiederherstellen &starten"

  // ---- handlers ----
  void FormShow();
  void RadioButton1Click();
  void RadioButton2Click();
  void BitBtn9Click();
  void Label23Click();
  void Label16Click();
  void BitBtn3Click();
  void CB1Enter();
  void CB1Change();
  void CB2Enter();
  void CB2Change();
  void Label8Click();
  // Backup page commands.
  void Button3Click();
  // Opens the window "Verlauf" of the shown job.
  void HistoryButtonClick();
  void BitBtn1Click();
  // Job commands.
  void Button1Click();
  void Button2Click();
  // Check page commands.
  void BitBtn2Click();
  void BitBtn5Click();
  // Synchronisation page commands.
  void BitBtn7Click();
  void BitBtn8Click();
  void BitBtn16Click();
  void BitBtn17Click();
  // CB3 lists the stored synchronisations; a choice shows its pair in SG1.
  void CB3Enter();
  void CB3Change();
  // Restore page.
  void BitBtn13Click();
  void CB4Enter();
  void CB4Change();
  void CB5Change();
  void Button4Click();
  void BitBtn14Click();
  // The restore the page shows; the state of the page's choice.
  restore::RestoreRequest RestoreChoice() const;
  // The paths "<source folder>/<path>" ticked in TV1 (a ticked folder
  // stands for everything in it).
  std::vector<std::string> TickedPaths() const;
  // The tree item of the path (opening the folders above it); null when
  // the state does not hold it.
  QTreeWidgetItem* RestoreItem(const std::string& relative);

  // Messages of the start about files that could not be read (empty when
  // everything was read); shown once while the window is created.
  const std::string& StartMessage() const { return startMessage_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Enter and Return press the default button "&Start" (or the focused
  // button).
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The window "Verlauf", made at its first opening.
  TFVerlauf* history_ = nullptr;
  // ---- the other controls ----
  QWidget* ScrollBox1 = nullptr;
  QPushButton* BitBtn9 = nullptr;
  QPushButton* BitBtn10 = nullptr;
  QPushButton* BitBtn11 = nullptr;
  QPushButton* BitBtn12 = nullptr;
  QPushButton* BitBtn13 = nullptr;
  // Holds the backup page's own controls at the page's places; hidden
  // while the check or synchronisation page covers the backup page, so
  // that covered controls take neither access keys nor the focus.
  QWidget* BackupControls = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Button1 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label9 = nullptr;
  QPushButton* Button2 = nullptr;
  QLabel* Label13 = nullptr;
  QLabel* Label15 = nullptr;
  QPushButton* BitBtn5 = nullptr;
  QPushButton* BitBtn4 = nullptr;
  QLabel* Label17 = nullptr;
  QLabel* Label18 = nullptr;
  QLabel* Label19 = nullptr;
  QPushButton* BitBtn6 = nullptr;
  QLabel* Label24 = nullptr;
  QLabel* Label25 = nullptr;
  QLabel* Label26 = nullptr;
  QPushButton* BitBtn15 = nullptr;
  // Frames of the pages: the navy bars under the headings and the frames
  // around the buttons of the check and synchronisation pages.
  QFrame* Shape1 = nullptr;
  QFrame* Shape2 = nullptr;
  QFrame* Shape3 = nullptr;
  QFrame* Bevel1 = nullptr;
  QFrame* Bevel2 = nullptr;
  QFrame* Shape4 = nullptr;
  QFrame* Bevel3 = nullptr;

  void FormCreate(const std::string& lockName);
  // Gives every control its name as object name.
  void NameControls();
  void FormClose();
  void FillJobList(QComboBox* box);
  void BuildLayout();
  void BuildStrip();
  void BuildBackupPage();
  // The staleness warning of the backup page (backmain_status.cpp).
  void BuildStaleLabel();
  void ShowStaleness();
  void BuildCheckPage();
  void BuildSyncPage();
  void BuildRestorePage();
  // Reads settings and catalogue; what could not be read goes into the
  // start message.
  void LoadFiles();
  // Puts the window's frame at its stored place, fitted to the screen.
  void RestorePlace();
  void ListenForLaterStarts(const std::string& lockName);
  // "&Start" is the default button exactly while it is shown and enabled.
  void UpdateDefaultButton();
  // Enables the commands that need a job read whole (JobReady).
  void UpdateJobCommands();
  // The page shows no job (after it was deleted).
  void ClearShownJob();
  // Writes the catalogue when it holds a change, telling a failure.
  void SaveChangedCatalogue();
  // Opens the check window for the check page's job.
  void OpenCheck(CheckMode mode);
  // The synchronisation page: CB3 read again from the list in the data
  // folder with `name` chosen (if stored), its pair in SG1, the commands
  // for a chosen synchronisation enabled.
  void FillSyncList(const std::string& name);
  void ShowSyncPair();
  // Shows the pages: hides the others and the backup page's controls.
  void ShowCoveringPage(QWidget* page);
  // The restore page after a choice of job: its states, then its tree.
  void FillRestoreStates();
  void FillRestoreTree();
  // The entries of a folder item, read once when it is first opened.
  void FillRestoreItem(QTreeWidgetItem* item);
  void ClearRestorePage();
  restore::StateChoice ChosenState() const;

  std::unique_ptr<AppState> state_;
  tBackups* backups_;
  toptionen* options_;
  platform::InstanceLock lock_;
  platform::LocalListener listener_;       // later starts ask here to come forward
  QSocketNotifier* knocks_ = nullptr;      // a connection waits at listener_
  QSocketNotifier* endSignals_ = nullptr;  // a signal asks the program to end
  bool startRefused_ = false;
  bool firstShown_ = false;
  bool closed_ = false;
  bool jobReady_ = false;
  int cb1Index_ = -1;    // remembered choice of CB1
  int cb2Index_ = -1;    // remembered choice of CB2
  int cb4Index_ = -1;    // remembered choice of CB4
  std::string cb3Name_;  // remembered choice of CB3
  // The state of the restore page's job as the tree shows it.
  std::unique_ptr<restore::TargetState> restoreState_;
  bool fillingTree_ = false;
  std::string startMessage_;
};
