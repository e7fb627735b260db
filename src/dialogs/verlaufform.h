// The window "Verlauf": the runs of one job (or synchronisation), newest
// first, with their outcome in colour, and the report each run left.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "core/history/history.h"

class QLabel;
class QPushButton;
class QTableWidget;

class TFVerlauf : public QDialog {
  Q_OBJECT

 public:
  explicit TFVerlauf(QWidget* parent = nullptr);

  // Fills the window with the runs of `target` under the name `jobName`
  // and shows it modally.
  void Open(const std::string& jobName, const history::Target& target);
  // Fills it without showing it (Open's first step).
  void Fill(const std::string& jobName, const history::Target& target);

  // Opens the kept report of the chosen run as the program opens every
  // report; a run without one is told in a box.
  void OpenReport();

  // The colour of an outcome's text on a background of that colour: the
  // same hue, dark on a light background and light on a dark one.
  static QColor OutcomeColour(history::Outcome outcome, const QColor& background);

  QLabel* Label1 = nullptr;  // "Läufe von ..." or "Es ist noch kein Lauf verzeichnet."
  QTableWidget* Grid = nullptr;
  QPushButton* ReportButton = nullptr;  // "&Bericht öffnen"
  QPushButton* CloseButton = nullptr;   // "&Schließen"

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::vector<history::Entry> runs_;
  std::string reportFolder_;
};
