// The window for a synchronisation definition: a name and one pair of
// directories. "OK" stores it in the list of synchronisations of the data
// folder (SyncDefinitions); the window opens empty for a new definition
// and filled for editing a stored one.
#pragma once

#include <QDialog>
#include <string>

#include "core/sync/syncdefs.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class TFSynNeu : public QDialog {
  Q_OBJECT

 public:
  // Results of the window.
  static constexpr int kResultOk = 1;
  static constexpr int kResultCancel = 2;
  // The name holds at most 20 characters.
  static constexpr int kNameLength = 20;

  explicit TFSynNeu(QWidget* parent = nullptr);

  // Empties the window for a new definition.
  void OpenNew();
  // Fills the window with a stored definition; "OK" replaces it.
  void OpenEdit(const SyncDefinition& definition);
  // The name of the definition in editing (empty: a new one).
  const std::string& EditedName() const { return editedName_; }
  // The name "OK" stored last.
  const std::string& StoredName() const { return storedName_; }

  // The list of synchronisations in the data folder.
  static std::string ListPath();
  // Reads the list; when it cannot be read, false (with `tell` the German
  // message is shown).
  static bool LoadList(SyncDefinitions& definitions, bool tell);
  // Removes the stored definition of that name with the state of its last
  // run and its report from the data folder (never anything of the pair's
  // folders). False, with the message shown, when the list could not be
  // read or written.
  static bool DeleteDefinition(const std::string& name);

  // ---- controls (named as in the form) ----
  QLabel* Label1 = nullptr;
  QLineEdit* SName = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label4 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QLabel* Label5 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QPushButton* BitBtn3 = nullptr;
  QPushButton* BitBtn4 = nullptr;
  QTableWidget* SG1 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

  // 0 until "Übernehmen" has written a pair into the grid, 1 afterwards.
  int PairMarker = 0;

  // ---- handlers ----
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn4Click();
  void BitBtn1Click();
  void OKBtnClick();
  void CancelBtnClick();
  // The close check: true when the window may close with `result`.
  bool FormCloseQuery(int result);

  // The pair in the grid's first row under the header.
  QString PairFirst() const;
  QString PairSecond() const;

  void done(int result) override;
  void reject() override;

 private:
  // Stores the window's definition; false (message shown) leaves the
  // window open.
  bool Store();

  std::string editedName_;
  std::string storedName_;
};
