// Shared helpers of the tests: a temporary folder per test and a scripted
// user interface that records boxes and answers questions from a queue.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "base/errorbox.h"

namespace vktest {

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder, ending with "/".
  const std::string& path() const { return path_; }
  // path() + relative.
  std::string operator/(const std::string& relative) const { return path_ + relative; }

 private:
  std::string path_;
};

// Writes bytes to a file, creating its folders.
void WriteFile(const std::string& path, const std::string& bytes);
// Reads a whole file ("" when missing).
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Records every box; answers AskYesNo and the pickers from queues (an
// empty queue answers "Nein" / cancel). Installs itself while alive.
class ScriptedUi : public UserInterface {
 public:
  struct Box {
    std::string kind;  // "info", "note", "ask"
    std::string text;  // as handed to the interface
    bool beep = false;
  };

  ScriptedUi();
  ~ScriptedUi() override;

  void Info(const std::string& text, bool beep) override;
  void Note(const std::string& text) override;
  bool YesNo(const std::string& text) override;
  bool ChooseDirectory(const std::string& prompt, std::string& dir) override;
  std::vector<std::string> ChooseFiles(const std::string& initialDir) override;
  void Beep() override;
  // "ask-no": answered from `answers`; "ask-all": from `allAnswers`.
  bool YesNoDefaultNo(const std::string& text) override;
  AllAnswer YesNoAll(const std::string& text) override;

  std::vector<Box> boxes;
  std::deque<bool> answers;                       // for YesNo
  std::deque<AllAnswer> allAnswers;               // for YesNoAll (none left: No)
  std::deque<std::string> directories;            // for ChooseDirectory ("" = cancel)
  std::deque<std::vector<std::string>> fileSets;  // for ChooseFiles
  std::vector<std::string> prompts;               // prompts of ChooseDirectory
  std::vector<std::string> fileDialogDirs;        // initial dirs of ChooseFiles
  int beeps = 0;
};

}  // namespace vktest
