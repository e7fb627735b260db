#include "core/editor/patterntest.h"

#include <memory>

#include "base/pathtext.h"
#include "base/pattern.h"
#include "platform/platform.h"

namespace {

class PatternWalk {
 public:
  PatternWalk(const std::vector<std::string>& patterns, const std::function<bool()>& proceed,
              PatternTestResult& result)
      : proceed_(proceed), result_(result) {
    for (const std::string& pattern : patterns) {
      PatternHits hits;
      hits.pattern = pattern;
      hits.valid = all_.Add(pattern);
      result_.hits.push_back(hits);
      // Each pattern the matcher takes, also on its own.
      if (!hits.valid) continue;
      taken_.push_back(result_.hits.size() - 1);
      singles_.emplace_back();
      singles_.back().Add(pattern);
    }
  }

  // Walks the open listing of `path` (ending with "/"), `relative` below
  // the source folder ("" or ending with "/").
  void Walk(platform::DirLister& listing, const std::string& path, const std::string& relative) {
    platform::DirEntry entry;
    while (!result_.cancelled && listing.Next(entry, false)) {
      if (proceed_ && ++steps_ % 64 == 0 && !proceed_()) {
        result_.cancelled = true;
        return;
      }
      if (entry.kind == platform::EntryKind::Other) continue;
      const bool folder = entry.kind == platform::EntryKind::Directory;
      const std::string rel = relative + entry.name;
      if (Count(rel, folder, path + entry.name)) continue;  // not entered
      if (!folder) continue;
      platform::DirLister child(listing, entry.name, path + entry.name + "/");
      if (child.IsOpen()) Walk(child, path + entry.name + "/", rel + "/");
    }
  }

 private:
  // Counts the entry for every pattern that hits it; true when one does.
  // (The patterns each on their own: `taken_[i]` is the result of
  // `singles_[i]`.)
  bool Count(const std::string& rel, bool folder, const std::string& full) {
    if (all_.Empty() || !all_.Hits(rel, folder)) return false;
    for (std::size_t i = 0; i < taken_.size(); ++i) {
      PatternHits& hits = result_.hits[taken_[i]];
      if (!singles_[i].Hits(rel, folder)) continue;
      ++(folder ? hits.folders : hits.files);
      if (hits.names.size() < kMostNames) hits.names.push_back(full + (folder ? "/" : ""));
    }
    return true;
  }

  const std::function<bool()>& proceed_;
  PatternTestResult& result_;
  ExclusionPatterns all_;
  std::vector<std::size_t> taken_;
  std::vector<ExclusionPatterns> singles_;
  std::uint64_t steps_ = 0;
};

}  // namespace

PatternTestResult TestPatterns(const std::vector<std::string>& sources,
                               const std::vector<std::string>& patterns,
                               const std::function<bool()>& proceed) {
  PatternTestResult result;
  PatternWalk walk(patterns, proceed, result);
  for (const std::string& source : sources) {
    if (result.cancelled) break;
    const std::string root = AddBackslash(source);
    platform::DirLister listing(root);
    if (!listing.IsOpen()) {
      result.unreadable.push_back(source);
      continue;
    }
    walk.Walk(listing, root, std::string());
  }
  return result;
}

std::vector<std::string> PatternTestLines(const PatternTestResult& result) {
  std::vector<std::string> lines;
  for (const std::string& source : result.unreadable)
    lines.push_back("Das Verzeichnis " + source + " konnte nicht gelesen werden.");
  for (const PatternHits& hits : result.hits) {
    if (!hits.valid) {
      lines.push_back(hits.pattern + ": trifft nichts (ungültiges Muster)");
      continue;
    }
    lines.push_back(hits.pattern + ": " + std::to_string(hits.files) +
                    (hits.files == 1 ? " Datei, " : " Dateien, ") + std::to_string(hits.folders) +
                    " Ordner");
    for (const std::string& name : hits.names) lines.push_back("    " + name);
    const std::int64_t more =
        hits.files + hits.folders - static_cast<std::int64_t>(hits.names.size());
    if (more > 0) lines.push_back("    … und " + std::to_string(more) + " weitere");
  }
  if (result.cancelled)
    lines.push_back("Der Test wurde abgebrochen. Die Angaben sind unvollständig.");
  return lines;
}
