// The progress window of the extension survey: the directory being
// scanned, the number of files found, and "Abbrechen".
#pragma once

#include <QDialog>
#include <string>

#include "core/editor/scanner.h"

class QLabel;
class QPushButton;

class Tfscan : public QDialog, public ScanProgress {
  Q_OBJECT

 public:
  explicit Tfscan(QWidget* parent = nullptr);

  // The window's area inside its border and below its caption line.
  QWidget* Client = nullptr;
  // The caption, drawn by the window itself: a title bar from the window
  // manager would bring buttons that hide or close the window.
  QLabel* Caption = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QPushButton* Button1 = nullptr;

  // Set by the survey before it starts; only "Abbrechen" clears it.
  bool Running = false;

  void Button1Click();

  // ScanProgress
  void ShowScanWindow() override;
  void HideScanWindow() override;
  void ProcessPendingEvents() override;
  bool IsRunning() const override { return Running; }
  void SetRunning(bool running) override { Running = running; }
  void ShowDirectory(const std::string& directory) override;
  void ShowFileCount(const std::string& text) override;

 protected:
  // The window cannot be closed by the user: Esc and the window manager's
  // close are ignored, and a minimised window comes back at once.
  void reject() override {}
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};
