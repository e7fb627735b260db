// The About window: name, version, maker and web address of the program.
// Borderless; a panel acts as its OK button; it opens at one fixed place.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;

class Tabout : public QDialog {
  Q_OBJECT

 public:
  // The web address behind the link.
  static constexpr const char* kWebAddress = "https://volkarn.example.org/";

  explicit Tabout(QWidget* parent = nullptr);

  // ---- controls (named as in the form) ----
  QFrame* Bevel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label3 = nullptr;
  QFrame* Panel3 = nullptr;
  QLabel* Label2 = nullptr;
  QFrame* Panel1 = nullptr;
  QLabel* Label5 = nullptr;
  QFrame* Panel2 = nullptr;

  // The place of every opening (screen coordinates).
  int SavedTop = 0;
  int SavedLeft = 0;

  // ---- handlers ----
  void FormActivate();
  void Panel1MouseDown();
  void Panel1MouseUp();
  void Panel1Enter();
  void Label2Click();
  void Label2MouseMove();
  void Panel3MouseMove();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  bool pressed_ = false;
};
