// The Qt message boxes and pickers behind the core's UserInterface.
#pragma once

#include "backup/errorbox.h"

class QtUserInterface : public UserInterface {
 public:
  void Info(const std::string& text, bool beep) override;
  void Note(const std::string& text) override;
  bool YesNo(const std::string& text) override;
  bool ChooseDirectory(const std::string& prompt, std::string& dir) override;
  std::vector<std::string> ChooseFiles(const std::string& initialDir) override;
  void Beep() override;
};
