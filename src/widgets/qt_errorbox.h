// The Qt message boxes and pickers behind the core's UserInterface.
#pragma once

#include <memory>
#include <string>

#include "base/errorbox.h"

class QDialog;
class QFileDialog;
class QMessageBox;
class QString;
class QWidget;

// The object name of the program's main window: boxes shown while no
// window of the program is active belong to it.
inline constexpr char kMainWindowName[] = "TForm1";

// The window a box or picker belongs to: the active modal window, else the
// active window, else the topmost visible window of the program, else the
// main window (also while it is hidden).
QWidget* BoxParent();

class QtUserInterface : public UserInterface {
 public:
  void Info(const std::string& text, bool beep) override;
  void Note(const std::string& text) override;
  bool YesNo(const std::string& text) override;
  bool YesNoDefaultNo(const std::string& text) override;
  AllAnswer YesNoAll(const std::string& text) override;
  bool ChooseDirectory(const std::string& prompt, std::string& dir) override;
  std::vector<std::string> ChooseFiles(const std::string& initialDir) override;
  void Beep() override;
};

// The three boxes, built but not shown, so that they can be inspected.
enum class BoxKind { Info, Note, Question, QuestionDefaultNo, QuestionAll };
std::unique_ptr<QMessageBox> MakeMessageBox(BoxKind kind, const std::string& text);
// A box text for display: every "\r" (with a following "\n") becomes "\n".
QString BoxDisplayText(const std::string& text);

// The directory chooser, built but not shown: the prompt above a directory
// view that starts with `dir` selected when it names a directory.
// fileDialog receives the embedded chooser.
std::unique_ptr<QDialog> MakeDirectoryDialog(const std::string& prompt, const std::string& dir,
                                             QFileDialog** fileDialog);
// The chosen path as callers store it: "/" for the root, otherwise without
// a trailing "/".
std::string ChosenDirectoryText(const QString& chosen);
