// Which files and folders a backup, a check, a completion, a restore and
// the mirroring leave out. One rule serves them all.
#pragma once

#include <string>
#include <vector>

#include "base/pattern.h"

class ExclusionRule {
 public:
  ExclusionRule() = default;
  // The two texts as the job's list files hold them, upper-cased (lines
  // ended by CR LF; a lone CR or LF also ends a line).
  ExclusionRule(const std::string& excludedExts, const std::string& excludedFiles);
  // With the job's exclusion patterns as well ("Ausschluss=" of its
  // options); one the matcher cannot take leaves out nothing.
  ExclusionRule(const std::string& excludedExts, const std::string& excludedFiles,
                const std::vector<std::string>& patterns);

  // A bare file name is left out when its extension (from the last dot,
  // dot included, letter case ignored) equals an entry of the extension
  // list (upper-cased, a leading "*" dropped; the line ".*" excludes
  // nothing), or when the name equals the last path component of an entry
  // of the excluded-file list.
  bool IsIncluded(const std::string& name) const;

  // The test of every walk: true when the entry `name`, met in `folder`
  // (relative to the row's source folder: "" or "a/b/"), is left out. A
  // file by the extension and file lists or a pattern, a folder by a
  // pattern; a walk never enters a folder left out. Without patterns no
  // path is put together.
  bool LeavesOut(const std::string& folder, const std::string& name, bool isFolder) const {
    if (!isFolder && !IsIncluded(name)) return true;
    return !patterns_.Empty() && patterns_.Hits(folder + name, isFolder);
  }
  // The same for a path met without a walk ("a/b/c.txt", relative to the
  // source folder): also true when a folder on its way is left out.
  bool LeavesOutPath(const std::string& relativePath, bool isFolder) const;
  bool HasPatterns() const { return !patterns_.Empty(); }

 private:
  std::vector<std::string> exts_;   // ".BAK", sorted
  std::vector<std::string> names_;  // "BRIEF.DOC", sorted
  ExclusionPatterns patterns_;
};
