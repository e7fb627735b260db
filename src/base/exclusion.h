// Which files a backup, a check and a completion leave out. One rule serves
// all three.
#pragma once

#include <string>
#include <vector>

class ExclusionRule {
 public:
  ExclusionRule() = default;
  // The two texts as the job's list files hold them, upper-cased (lines
  // ended by CR LF; a lone CR or LF also ends a line).
  ExclusionRule(const std::string& excludedExts, const std::string& excludedFiles);

  // A bare file name is left out when its extension (from the last dot,
  // dot included, letter case ignored) equals an entry of the extension
  // list (upper-cased, a leading "*" dropped; the line ".*" excludes
  // nothing), or when the name equals the last path component of an entry
  // of the excluded-file list.
  bool IsIncluded(const std::string& name) const;

 private:
  std::vector<std::string> exts_;   // ".BAK", sorted
  std::vector<std::string> names_;  // "BRIEF.DOC", sorted
};
