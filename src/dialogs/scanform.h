// The progress window of the extension survey: the directory being
// scanned, the number of files found, and "Abbrechen".
//
// The scan works on a thread of its own (RunScan); it leaves the latest
// directory and count in the window's hand-over and reads the running
// flag, and the window draws what is latest once per frame of the screen
// (and once more when the scan has ended, so the count shown is exact).
// Nothing on the scan's thread touches a widget.
#pragma once

#include <QDialog>
#include <string>

#include "core/editor/scanner.h"

class QLabel;
class QPushButton;
class QTimer;

class Tfscan : public QDialog, public ScanHandover {
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

  // "Abbrechen": clears the running flag (set by the survey before it
  // starts), which the scan reads before its next folder.
  void Button1Click();

  // ScanProgress, on the window's thread.
  void ShowScanWindow() override;
  void HideScanWindow() override;
  // Runs the scan on a thread of its own; meanwhile this thread draws once
  // per frame and takes the input (a click on "Abbrechen").
  void RunScan(const std::function<void()>& scan) override;
  // On the scan's thread they hand over for the next frame; on the
  // window's thread they draw at once.
  void ShowDirectory(const std::string& directory) override;
  void ShowFileCount(const std::string& text) override;

  // On the window's thread: draws what was handed over since the last
  // frame, when the window is shown.
  void DrawFrame();

 protected:
  // The window cannot be closed by the user: Esc and the window manager's
  // close are ignored, and a minimised window comes back at once.
  void reject() override {}
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer* frames_ = nullptr;
};
