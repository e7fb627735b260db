// Exclusion patterns of a job ("Ausschluss=" lines of its options), matched
// against paths relative to a source folder ("Projekte/alt/a.txt"):
//   *    any characters within one name (never "/")
//   **   any characters, "/" included ("**/" also none or several folders)
//   ?    one character (never "/")
//   a pattern ending in "/" hits folders only;
//   a pattern starting with "/" is anchored at the source folder, any other
//   hits at any depth ("Cache/" as "**/Cache/").
// Letter case is ignored as in the extension rule.
#pragma once

#include <string>
#include <vector>

class ExclusionPatterns {
 public:
  // Adds a pattern; false (nothing added) for one that can hit nothing
  // (empty, only "/").
  bool Add(const std::string& pattern);
  bool Empty() const { return patterns_.empty(); }
  std::size_t Size() const { return patterns_.size(); }

  // True when any pattern hits the entry itself (relative path, "/"
  // between the names, no "/" at either end): the test of a walk, which
  // never enters a folder that is hit.
  bool Hits(const std::string& relativePath, bool isFolder) const;
  // True when the entry or any folder on its way is hit: the test for a
  // path met without a walk (a restore, a list).
  bool Excludes(const std::string& relativePath, bool isFolder) const;
  // The index of the first pattern that hits, -1 for none.
  int FirstHit(const std::string& relativePath, bool isFolder) const;

 private:
  struct Pattern {
    std::string glob;  // upper case, anchored ("**/" put in front otherwise)
    bool foldersOnly = false;
  };
  std::vector<Pattern> patterns_;
};

// True when the glob (as above, without the folder and anchor marks) hits
// the whole text. Both in the same letter case.
bool GlobMatches(const std::string& glob, const std::string& text);
