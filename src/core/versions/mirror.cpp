#include "core/versions/mirror.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "core/versions/keeper.h"
#include "core/versions/versions.h"
#include "platform/compare.h"

namespace versions {

namespace {

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

// The names of a level of the source: one or more folders mirrored into
// one target folder.
struct SourceLevel {
  struct Item {
    std::string path;  // full path in the source
    bool folder = false;
  };
  // By name as it is, and by name in upper case (a target that ignores
  // letter case).
  std::map<std::string, std::vector<Item>> exact, folded;
  // Every folder could be listed to its end.
  bool complete = true;
};

SourceLevel ListSources(const std::vector<std::string>& folders, bool ignoresCase) {
  SourceLevel level;
  for (const std::string& folder : folders) {
    platform::DirLister listing(folder);
    if (!listing.IsOpen()) {
      level.complete = false;
      continue;
    }
    platform::DirEntry entry;
    while (listing.Next(entry, false)) {
      SourceLevel::Item item{folder + "/" + entry.name,
                             entry.kind == platform::EntryKind::Directory};
      if (ignoresCase) level.folded[text::Upper(entry.name)].push_back(item);
      level.exact[entry.name].push_back(std::move(item));
    }
    if (listing.ReadError() != 0) level.complete = false;
  }
  return level;
}

class Planner {
 public:
  Planner(const MirrorArea& area, const std::function<bool()>& proceed, MirrorPlan& plan)
      : area_(area), proceed_(proceed), plan_(plan) {}

  // Walks the open target folder `dir` (full path `path`, `relative`
  // below the root) against the source folders `sources`; `sourceKnown`:
  // every source folder above could be listed completely.
  void Walk(platform::DirLister& dir, const std::string& path, const std::string& relative,
            const std::vector<std::string>& sources, bool sourceKnown) {
    if (plan_.cancelled || (proceed_ && !proceed_())) {
      plan_.cancelled = true;
      return;
    }
    const SourceLevel level =
        sourceKnown ? ListSources(sources, area_.ignoresCase) : SourceLevel{{}, {}, false};
    const bool complete = sourceKnown && level.complete;
    // This folder below the root, as the exclusions take it.
    const std::string folder = AddBackslash(relative);

    std::vector<Target> targets;
    std::set<std::string> matchedSources;
    platform::DirEntry entry;
    while (dir.Next(entry, false)) {
      if (platform::IsCopyTempName(entry.name)) continue;
      Target t{entry, Find(level, entry.name)};
      if (t.match != nullptr)
        for (const SourceLevel::Item& item : *t.match) matchedSources.insert(item.path);
      targets.push_back(std::move(t));
    }
    if (area_.ignoresCase && complete) MatchByLookup(dir, level, targets, matchedSources);

    for (Target& t : targets) {
      const std::string name = t.entry.name;
      const std::string rel = Join(relative, name);
      if (t.entry.kind != platform::EntryKind::Directory) {
        ++plan_.targetFiles;
        if (t.match == nullptr && complete && !area_.rule.LeavesOut(folder, name, false))
          Add(rel, false, 1);
        continue;
      }
      // An excluded folder stays as it is, unlooked at.
      if (area_.rule.LeavesOut(folder, name, true)) continue;
      platform::DirLister child(dir, name, path + "/" + name);
      if (child.TurnedIntoNonFolder() || !child.IsOpen()) continue;  // stays
      if (Untouchable(child)) continue;
      if (t.match != nullptr) {
        std::vector<std::string> below;
        for (const SourceLevel::Item& item : *t.match)
          if (item.folder) below.push_back(item.path);
        if (!below.empty()) {
          Walk(child, path + "/" + name, rel, below, complete);
        } else {
          // The source has the name, but no folder under it: it stays.
          bool pinned = false;
          plan_.targetFiles += Survey(child, path + "/" + name, rel, pinned);
        }
        continue;
      }
      if (!complete) {
        bool pinned = false;
        plan_.targetFiles += Survey(child, path + "/" + name, rel, pinned);
        continue;
      }
      // A folder the source no longer has: it moves as a whole unless
      // something below it has to stay; then what may go goes one by one.
      bool pinned = false;
      const std::int64_t files = Survey(child, path + "/" + name, rel, pinned);
      if (plan_.cancelled) return;
      if (!pinned) {
        plan_.targetFiles += files;
        Add(rel, true, files);
        continue;
      }
      platform::DirLister again(dir, name, path + "/" + name);
      if (again.IsOpen()) Walk(again, path + "/" + name, rel, {}, true);
    }
  }

 private:
  // An entry of a target folder and the source entries of its name.
  struct Target {
    platform::DirEntry entry;
    const std::vector<SourceLevel::Item>* match = nullptr;
  };

  const std::vector<SourceLevel::Item>* Find(const SourceLevel& level,
                                             const std::string& name) const {
    auto it = level.exact.find(name);
    if (it != level.exact.end()) return &it->second;
    if (!area_.ignoresCase) return nullptr;
    it = level.folded.find(text::Upper(name));
    return it != level.folded.end() ? &it->second : nullptr;
  }

  // On a target that ignores letter case by rules wider than Upper's
  // (exFAT pairs Greek and Cyrillic letters too): a source name that no
  // target name matched may still be found in the target. What it finds
  // is one of the entries left unmatched, named otherwise; the identity of
  // a file is no help there (FUSE numbers each name apart), so it is known
  // by its kind, size and time. Each unmatched entry that looks the same
  // stays.
  static void MatchByLookup(const platform::DirLister& dir, const SourceLevel& level,
                            std::vector<Target>& targets, const std::set<std::string>& matched) {
    if (std::none_of(targets.begin(), targets.end(),
                     [](const Target& t) { return t.match == nullptr; }))
      return;
    std::vector<std::pair<platform::DirEntry, const std::vector<SourceLevel::Item>*>> found;
    for (const auto& [name, items] : level.exact) {
      if (matched.count(items.front().path) != 0) continue;
      platform::DirEntry seen;
      if (dir.Describe(name, seen)) found.emplace_back(seen, &items);
    }
    for (Target& t : targets) {
      platform::DirEntry own;
      if (t.match != nullptr || found.empty() || !dir.Describe(t.entry.name, own)) continue;
      for (const auto& [seen, items] : found)
        if (seen.kind == own.kind && seen.size == own.size && seen.mtime == own.mtime &&
            seen.mtimeNsec == own.mtimeNsec)
          t.match = items;
    }
  }

  bool Untouchable(const platform::DirLister& dir) const {
    const platform::FileId id = dir.Id();
    return id.known && std::find(area_.untouchable.begin(), area_.untouchable.end(), id) !=
                           area_.untouchable.end();
  }

  // The files below the open target folder `dir` (`relative` below the
  // root). `pinned` is set when something below has to stay: an excluded
  // name or folder, an untouchable folder, a folder that could not be
  // listed to its end.
  std::int64_t Survey(platform::DirLister& dir, const std::string& path,
                      const std::string& relative, bool& pinned) {
    const std::string folder = AddBackslash(relative);
    if (plan_.cancelled || (proceed_ && !proceed_())) {
      plan_.cancelled = true;
      return 0;
    }
    std::int64_t files = 0;
    platform::DirEntry entry;
    while (dir.Next(entry, false)) {
      if (entry.kind != platform::EntryKind::Directory) {
        if (platform::IsCopyTempName(entry.name)) continue;
        ++files;
        if (area_.rule.LeavesOut(folder, entry.name, false)) pinned = true;
        continue;
      }
      if (area_.rule.LeavesOut(folder, entry.name, true)) {
        pinned = true;
        continue;
      }
      platform::DirLister child(dir, entry.name, path + "/" + entry.name);
      if (!child.IsOpen() || Untouchable(child)) {
        pinned = true;
        continue;
      }
      files += Survey(child, path + "/" + entry.name, folder + entry.name, pinned);
    }
    if (dir.ReadError() != 0) pinned = true;
    return files;
  }

  void Add(const std::string& relative, bool folder, std::int64_t files) {
    plan_.entries.push_back({relative, folder, files});
    plan_.filesToMove += files;
  }

  const MirrorArea& area_;
  const std::function<bool()>& proceed_;
  MirrorPlan& plan_;
};

// The state of one source root (links to it followed, as the copy does).
SourceState LookAtSource(const std::string& root) {
  if (!platform::IdOf(root).known) return SourceState::Missing;
  platform::DirLister listing(root);
  if (!listing.IsOpen()) return SourceState::Unreadable;
  platform::DirEntry entry;
  if (listing.Next(entry, false)) return SourceState::Complete;
  return listing.ReadError() != 0 ? SourceState::Unreadable : SourceState::Empty;
}

std::string GuardLine(SourceState state, const std::string& source, const std::string& target) {
  const char* why = state == SourceState::Missing      ? " existiert nicht"
                    : state == SourceState::Unreadable ? " konnte nicht gelesen werden"
                                                       : " ist leer";
  return "Das Startverzeichnis " + source + why + ": Aus " + target +
         " wurde nichts in die Versionen verschoben.";
}

// The path of `target` below the job's target folder, ending with "/"
// (empty for the job's target folder itself).
std::string PrefixOf(const std::string& jobTarget, const std::string& target) {
  const std::string job = AddBackslash(jobTarget);
  const std::string root = AddBackslash(target);
  if (root == job) return std::string();
  if (root.compare(0, job.size(), job) == 0) return root.substr(job.size());
  return AddBackslash(GetLastPathPart(RemoveBackslash(target)));
}

}  // namespace

bool MirrorPlan::MassRemoval() const { return filesToMove >= 10 && filesToMove * 2 > targetFiles; }

MirrorPlan PlanMirror(const MirrorArea& area, const std::function<bool()>& proceed) {
  MirrorPlan plan;
  for (const std::string& source : area.sources) {
    plan.source = LookAtSource(source);
    if (plan.source != SourceState::Complete) {
      plan.badSource = source;
      return plan;
    }
  }
  const std::string root = area.target.size() > 1 ? RemoveBackslash(area.target) : area.target;
  platform::DirLister target(root);
  if (!target.IsOpen()) return plan;  // nothing there to move
  std::vector<std::string> sources;
  for (const std::string& s : area.sources)
    sources.push_back(s.size() > 1 ? RemoveBackslash(s) : s);
  Planner(area, proceed, plan).Walk(target, root == "/" ? "" : root, "", sources, true);
  if (plan.cancelled) {
    plan.entries.clear();
    plan.filesToMove = 0;
  }
  return plan;
}

std::string MassRemovalQuestion(const std::string& target, std::int64_t toMove,
                                std::int64_t targetFiles) {
  return "Die Quelle hat " + std::to_string(toMove) + " von " + std::to_string(targetFiles) +
         " Dateien in " + target +
         " nicht mehr.\rSollen sie aus dem Ziel in die Versionen verschoben werden?";
}

std::string MassRemovalLine(const std::string& target, std::int64_t toMove,
                            std::int64_t targetFiles) {
  return "Aus " + target + " wurde nichts in die Versionen verschoben: Die Quelle hat " +
         std::to_string(toMove) + " von " + std::to_string(targetFiles) +
         " Dateien nicht mehr (mehr als die Hälfte).";
}

namespace {

// Mirrors with `keeper`, or (null) only plans: every move becomes a line
// of outcome.planned, nothing is asked and no probe file is written.
MirrorOutcome Mirror(const std::vector<MirrorRow>& rows, const ExclusionRule& rule,
                     const std::string& jobTarget, Keeper* keeper, MassRemoval policy,
                     const std::function<bool()>& proceed) {
  MirrorOutcome outcome;
  // Rows that share a target root are mirrored together: a name either
  // source still has stays.
  std::vector<MirrorArea> areas;
  std::vector<platform::FileId> roots;
  for (const MirrorRow& row : rows) {
    const platform::FileId id = platform::IdOf(row.target);
    if (!id.known) continue;  // nothing copied there, nothing to move
    const auto at = std::find(roots.begin(), roots.end(), id);
    if (at != roots.end()) {
      areas[static_cast<std::size_t>(at - roots.begin())].sources.push_back(row.source);
      continue;
    }
    roots.push_back(id);
    MirrorArea area;
    area.sources.push_back(row.source);
    area.target = row.target;
    area.rule = rule;
    areas.push_back(std::move(area));
  }
  for (std::size_t i = 0; i < areas.size(); ++i) {
    MirrorArea& area = areas[i];
    // Looked at for each row: a move of an earlier row may have made it.
    const platform::FileId versionsRoot = platform::IdOf(RootOf(jobTarget));
    area.ignoresCase = keeper != nullptr ? platform::IgnoresLetterCase(area.target)
                                         : platform::LooksCaseInsensitive(area.target);
    if (versionsRoot.known) area.untouchable.push_back(versionsRoot);
    for (std::size_t j = 0; j < roots.size(); ++j)
      if (j != i) area.untouchable.push_back(roots[j]);
    const MirrorPlan plan = PlanMirror(area, proceed);
    if (plan.cancelled) {
      outcome.cancelled = true;
      return outcome;
    }
    const std::string target = area.target.size() > 1 ? RemoveBackslash(area.target) : area.target;
    if (plan.source != SourceState::Complete) {
      outcome.notes.push_back(GuardLine(plan.source, plan.badSource, target));
      continue;
    }
    if (plan.entries.empty()) continue;
    if (keeper == nullptr) {
      if (plan.MassRemoval())
        outcome.notes.push_back(MassRemovalPlanLine(target, plan.filesToMove, plan.targetFiles));
      for (const MirrorEntry& entry : plan.entries)
        outcome.planned.push_back("Auslagern: " + AddBackslash(target) + entry.relative +
                                  (entry.folder ? "/" : ""));
      continue;
    }
    if (plan.MassRemoval()) {
      const bool go =
          policy == MassRemoval::Ask &&
          AskYesNoDefaultNo(MassRemovalQuestion(target, plan.filesToMove, plan.targetFiles));
      if (!go) {
        outcome.notes.push_back(MassRemovalLine(target, plan.filesToMove, plan.targetFiles));
        outcome.refused = outcome.refused || policy == MassRemoval::Refuse;
        continue;
      }
    }
    const std::string prefix = PrefixOf(jobTarget, target);
    for (const MirrorEntry& entry : plan.entries) {
      const std::string path = AddBackslash(target) + entry.relative;
      if (int err = keeper->Keep(path, prefix + entry.relative))
        outcome.errors.push_back(std::string(entry.folder ? "Das Verzeichnis " : "Die Datei ") +
                                 path +
                                 " konnte nicht in die Versionen verschoben werden (Fehlercode " +
                                 std::to_string(err) + ").");
    }
  }
  return outcome;
}

}  // namespace

MirrorOutcome MirrorRows(const std::vector<MirrorRow>& rows, const ExclusionRule& rule,
                         Keeper& keeper, MassRemoval policy, const std::function<bool()>& proceed) {
  return Mirror(rows, rule, keeper.JobTarget(), &keeper, policy, proceed);
}

MirrorOutcome PlanMirrorRows(const std::vector<MirrorRow>& rows, const ExclusionRule& rule,
                             const std::string& jobTarget, const std::function<bool()>& proceed) {
  return Mirror(rows, rule, jobTarget, nullptr, MassRemoval::Ask, proceed);
}

std::string MassRemovalPlanLine(const std::string& target, std::int64_t toMove,
                                std::int64_t targetFiles) {
  return "Aus " + target + " würden " + std::to_string(toMove) + " von " +
         std::to_string(targetFiles) +
         " Dateien ausgelagert, mehr als die Hälfte: Das Fenster fragt vorher nach, die "
         "Befehlszeile lässt dieses Ziel unverändert.";
}

}  // namespace versions
