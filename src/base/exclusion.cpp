#include "base/exclusion.h"

#include <algorithm>

#include "base/codepage.h"

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

void SortUnique(std::vector<std::string>& v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
}

bool Contains(const std::vector<std::string>& sorted, const std::string& s) {
  return std::binary_search(sorted.begin(), sorted.end(), s);
}

}  // namespace

ExclusionRule::ExclusionRule(const std::string& excludedExts, const std::string& excludedFiles) {
  for (std::string line : SplitLines(text::Upper(excludedExts))) {
    line = text::Trim(line);
    if (!line.empty() && line[0] == '*') line.erase(0, 1);
    // ".*" (the survey's first line) and entries without a dot exclude nothing.
    if (line.empty() || line[0] != '.' || line == ".*") continue;
    exts_.push_back(line);
  }
  for (std::string line : SplitLines(text::Upper(excludedFiles))) {
    // The last path component of a full path; a bare name stands for itself.
    std::size_t slash = line.find_last_of('/');
    std::string name = slash == std::string::npos ? line : line.substr(slash + 1);
    if (!name.empty()) names_.push_back(name);
  }
  SortUnique(exts_);
  SortUnique(names_);
}

ExclusionRule::ExclusionRule(const std::string& excludedExts, const std::string& excludedFiles,
                             const std::vector<std::string>& patterns)
    : ExclusionRule(excludedExts, excludedFiles) {
  for (const std::string& pattern : patterns) patterns_.Add(pattern);
}

bool ExclusionRule::LeavesOutPath(const std::string& relativePath, bool isFolder) const {
  const std::size_t slash = relativePath.rfind('/');
  const std::string name =
      slash == std::string::npos ? relativePath : relativePath.substr(slash + 1);
  if (!isFolder && !IsIncluded(name)) return true;
  return patterns_.Excludes(relativePath, isFolder);
}

bool ExclusionRule::IsIncluded(const std::string& name) const {
  if (exts_.empty() && names_.empty()) return true;
  std::string upper = text::Upper(name);
  std::size_t dot = upper.rfind('.');
  if (dot != std::string::npos && Contains(exts_, upper.substr(dot))) return false;
  return !Contains(names_, upper);
}
