#include "support/core_support.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace vktest {

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    fs::path p = fs::temp_directory_path() / ("vktest-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string() + "/";
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make everything writable again so that read-only test files go too.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink())
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

ScriptedUi::ScriptedUi() { SetUserInterface(this); }
ScriptedUi::~ScriptedUi() { SetUserInterface(nullptr); }

void ScriptedUi::Info(const std::string& text, bool beep) { boxes.push_back({"info", text, beep}); }
void ScriptedUi::Note(const std::string& text) { boxes.push_back({"note", text, false}); }
bool ScriptedUi::YesNo(const std::string& text) {
  boxes.push_back({"ask", text, false});
  if (answers.empty()) return false;
  bool a = answers.front();
  answers.pop_front();
  return a;
}
bool ScriptedUi::YesNoDefaultNo(const std::string& text) {
  boxes.push_back({"ask-no", text, false});
  if (answers.empty()) return false;
  bool a = answers.front();
  answers.pop_front();
  return a;
}
UserInterface::AllAnswer ScriptedUi::YesNoAll(const std::string& text) {
  boxes.push_back({"ask-all", text, false});
  if (allAnswers.empty()) return AllAnswer::No;
  AllAnswer a = allAnswers.front();
  allAnswers.pop_front();
  return a;
}
bool ScriptedUi::ChooseDirectory(const std::string& prompt, std::string& dir) {
  prompts.push_back(prompt);
  if (directories.empty()) return false;
  std::string d = directories.front();
  directories.pop_front();
  if (d.empty()) return false;
  dir = d;
  return true;
}
std::vector<std::string> ScriptedUi::ChooseFiles(const std::string& initialDir) {
  fileDialogDirs.push_back(initialDir);
  if (fileSets.empty()) return {};
  auto f = fileSets.front();
  fileSets.pop_front();
  return f;
}
void ScriptedUi::Beep() { ++beeps; }

}  // namespace vktest
