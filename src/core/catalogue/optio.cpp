#include "core/catalogue/optio.h"

#include <algorithm>
#include <cstdint>

#include "platform/platform.h"
#include "base/codepage.h"
#include "base/pathtext.h"
#include "base/timeproc.h"

namespace {
constexpr std::size_t kLineCount = 12;
// Lines 1 to 9 hold window places and sizes.
constexpr int kFirstNumber = 1, kLastNumber = 9;
}  // namespace

toptionen::toptionen() : lines_(kLineCount, "0") {}

toptionen::LoadResult toptionen::LoadSettings(const std::string& path) {
  std::string file = path.empty() ? GetIniFileName() : path;
  LoadResult result = LoadResult::Missing;
  badLines_.clear();
  loadFailed_ = false;
  if (platform::PathExists(file)) {
    std::vector<std::string> lines;
    int code = 0;
    if (textfile::ReadLines(file, lines, &code)) {
      lines_ = std::move(lines);
      result = LoadResult::Loaded;
    } else {
      result = code == platform::kErrFileNotFound ? LoadResult::Missing : LoadResult::Unreadable;
      loadFailed_ = result == LoadResult::Unreadable;
    }
  }
  while (lines_.size() < kLineCount) lines_.push_back("0");
  // Tell the start about broken numbers at once, not when a window reads them.
  for (int line = kFirstNumber; line <= kLastNumber; ++line) Number(line);
  return result;
}

int toptionen::SaveSettings(const std::string& path) const {
  // Never overwrite what could not be read (the rule of the catalogue).
  if (loadFailed_) return kNotWritten;
  return textfile::WriteLines(path.empty() ? GetIniFileName() : path, lines_);
}

int toptionen::Number(int line) {
  std::int32_t value = 0;
  if (TryTextToInt(lines_[static_cast<std::size_t>(line)], value)) return value;
  if (std::find(badLines_.begin(), badLines_.end(), line) == badLines_.end())
    badLines_.push_back(line);
  return 0;
}

void toptionen::SetNumber(int line, int value) {
  lines_[static_cast<std::size_t>(line)] = IntToText(value);
  badLines_.erase(std::remove(badLines_.begin(), badLines_.end(), line), badLines_.end());
}

void toptionen::SetLastBackup(const std::string& name) { lines_[0] = name; }

bool toptionen::GetLastBackup(std::string& name) const {
  name = lines_[0];
  return !name.empty();
}

void toptionen::Setneuformpos(int left, int top, int width) {
  SetNumber(1, left);
  SetNumber(2, top);
  SetNumber(3, width);
}

void toptionen::Getneuformpos(int& left, int& top, int& width) {
  left = Number(1);
  top = Number(2);
  width = Number(3);
}

void toptionen::SetMainFormPos(int left, int top) {
  SetNumber(4, left);
  SetNumber(5, top);
}

void toptionen::GetMainFormPos(int& left, int& top) {
  left = Number(4);
  top = Number(5);
}

void toptionen::SetKopFormPos(int left, int top, int width, int height) {
  SetNumber(6, left);
  SetNumber(7, top);
  SetNumber(8, width);
  SetNumber(9, height);
}

void toptionen::GetKopFormPos(int& left, int& top, int& width, int& height) {
  left = Number(6);
  top = Number(7);
  width = Number(8);
  height = Number(9);
}

void toptionen::SetCB1(bool checked) { lines_[10] = checked ? "1" : "0"; }
bool toptionen::GetCB1() const { return lines_[10] == "1"; }
void toptionen::SetCheckDirDate(bool checked) { lines_[11] = checked ? "1" : "0"; }
bool toptionen::GetCheckDirDate() const { return lines_[11] == "1"; }
