// Window tests: builds the program's windows the way the program does
// (the main window at once, the others when first asked for), each test with its own home folder
// (settings, data folder) and its own single-instance lock name.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "support/core_support.h"

class QColor;

class TForm1;
class TFNeu;
class TFCheck;
class TFKopie;
class TFRest;
class TFSynNeu;
class Tabout;
class QTableWidgetItem;

namespace vktest {

class AppWindows {
 public:
  // Uses `home` as the program's home folder (it holds volkarn.ini and
  // VKDaten/); the lock name is unique to this object.
  explicit AppWindows(const std::string& home);
  ~AppWindows();
  AppWindows(const AppWindows&) = delete;
  AppWindows& operator=(const AppWindows&) = delete;

  TForm1* form1() const;
  TFNeu* fneu() const;
  TFCheck* fcheck() const;
  TFKopie* fkopie() const;
  TFRest* frest() const;
  TFSynNeu* fsynneu() const;
  Tabout* fabout() const;
  // How many windows besides the main window have been made so far.
  int madeWindows() const;
  const std::string& lockName() const { return lockName_; }

  // Shows the main window (runs its first FormShow).
  void Show();
  // Closes the main window the way the user does (saves settings and
  // catalogue).
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string lockName_;
};

// Gives the completion's list a single unticked row, without opening the
// window; the row's tick.
QTableWidgetItem* OneUntickedRow(TFRest* rest);

// Runs `action` as soon as the next modal dialog or message loop is
// spinning (QTimer::singleShot(0)); for driving modal windows in tests.
void WhenModal(std::function<void()> action, int delayMs = 0);

// The contrast ratio of two colours (1 to 21) by the WCAG formula; 4.5 is
// what a text needs to stay readable.
double Contrast(const QColor& a, const QColor& b);

}  // namespace vktest
