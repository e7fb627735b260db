// The window for a new synchronisation definition: a name and one pair of
// directories. The definition lives only in the window's controls.
#pragma once

#include <QDialog>

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
};
