#include "core/sync/syncrun.h"

#include <array>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "core/backup/copyengine.h"
#include "core/catalogue/singlefile.h"
#include "core/sync/syncdecide.h"
#include "core/sync/syncstate.h"
#include "core/versions/keeper.h"
#include "core/versions/prune.h"
#include "core/versions/versions.h"
#include "platform/platform.h"

namespace {

using twoway::Action;
using twoway::Entry;

constexpr char kCancelLine[] = "Die Synchronisation wurde durch den Benutzer abgebrochen.";
constexpr char kNothingDone[] = " Es wurde nichts synchronisiert.";

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

// "1." or "2." of a side.
std::string Ordinal(int side) { return side == 0 ? "1." : "2."; }

std::optional<Entry> ToEntry(const platform::DirEntry& e) {
  switch (e.kind) {
    case platform::EntryKind::Directory:
      return Entry{twoway::Kind::Folder, 0, e.mtime};
    case platform::EntryKind::File:
      return Entry{twoway::Kind::File, e.size, e.mtime};
    case platform::EntryKind::Symlink:
      return Entry{twoway::Kind::Link, e.size, e.mtime};
    case platform::EntryKind::Other:
      break;
  }
  return std::nullopt;
}

bool IsFolder(const std::optional<Entry>& e) { return e && e->kind == twoway::Kind::Folder; }

// The hidden versions folder at the top of a side (letter case ignored:
// on a side that ignores it, any spelling is that folder).
bool IsVersionsFolderName(const std::string& name) {
  return text::SameText(name, versions::kHiddenFolderName);
}

// One change the run makes, in the order it is made.
struct Step {
  enum class Kind {
    Copy,          // a file or link from the other side to `side`
    MakeFolder,    // a folder of the other side made on `side`
    FinishFolder,  // its permissions and times, once its content is in
    Remove,        // into the versions of `side` (the other side removed it)
    Displace,      // into the versions of `side`: the other side's entry takes its name
    Sweep,         // what a copy cut short left on `side`, into its versions
  };
  Kind kind = Kind::Copy;
  int side = 0;
  std::string path;
  Entry entry;             // Copy: what is copied
  bool folder = false;     // Remove, Displace: a whole folder
  std::int64_t files = 0;  // Remove, Displace: the files it is or holds
  bool conflict = false;   // Copy: both sides changed it
};

// Reads both folders of the pair at once and decides every name.
class Planner {
 public:
  Planner(const std::array<std::string, 2>& roots, const std::array<bool, 2>& ignoresCase,
          const SyncState& known, SyncState& next, SyncRun::Result& result,
          std::function<bool()> proceed, SyncObserver* observer)
      : roots_(roots),
        ignoresCase_(ignoresCase),
        known_(known),
        next_(next),
        result_(result),
        proceed_(std::move(proceed)),
        observer_(observer) {}

  struct Outcome {
    // Everything in the folder goes into the versions (a folder on one
    // side only): it can go as a whole.
    bool allRemoved = true;
    // Something of it is copied to the other side, which then needs the
    // folder.
    bool copiesOver = false;
    // The files it holds that are removed.
    std::int64_t files = 0;
  };

  // Plans the folder `rel` ("" for the pair's folders). `dirs`: its open
  // listing on each side, null where that side has no such folder.
  Outcome Folder(const std::string& rel, std::array<platform::DirLister*, 2> dirs,
                 std::vector<Step>& steps);

  bool Cancelled() const { return cancelled_; }
  // Files (all but folders) seen on each side.
  std::array<std::int64_t, 2> sideFiles{0, 0};

 private:
  struct Item {
    std::string name;
    std::array<const platform::DirEntry*, 2> seen{nullptr, nullptr};
    std::array<std::optional<Entry>, 2> now;
    twoway::Decision decision;
    bool skip = false;
  };

  std::string Shown(int side, const std::string& rel) const {
    return rel.empty() ? roots_[side] : roots_[side] + "/" + rel;
  }
  void Error(const std::string& line) { result_.errors.push_back(line); }
  // What the last run knew of `path` and below stays known.
  void CarryOver(const std::string& path) { CarryOverState(known_, next_, path); }
  // On a side that ignores letter case: names that would land on one
  // another are never copied there.
  // True when a name was left out so.
  bool CheckCaseClashes(const std::string& rel, std::vector<Item>& items);

 public:
  static void CarryOverState(const SyncState& known, SyncState& next, const std::string& path) {
    const auto& all = known.All();
    if (path.empty()) {
      for (const auto& [name, k] : all) next.Put(name, k.a, k.b);
      return;
    }
    if (const SyncState::Known* k = known.Find(path)) next.Put(path, k->a, k->b);
    const std::string below = path + "/";
    for (auto it = all.lower_bound(below);
         it != all.end() && it->first.compare(0, below.size(), below) == 0; ++it)
      next.Put(it->first, it->second.a, it->second.b);
  }

 private:
  const std::array<std::string, 2>& roots_;
  const std::array<bool, 2> ignoresCase_;
  const SyncState& known_;
  SyncState& next_;
  SyncRun::Result& result_;
  std::function<bool()> proceed_;
  SyncObserver* observer_;
  bool cancelled_ = false;
};

bool Planner::CheckCaseClashes(const std::string& rel, std::vector<Item>& items) {
  bool any = false;
  for (int side = 0; side < 2; ++side) {
    if (!ignoresCase_[side]) continue;
    const Action copyHere = side == 0 ? Action::CopyToA : Action::CopyToB;
    const Action removeHere = side == 0 ? Action::RemoveFromA : Action::RemoveFromB;
    // What stays on the side holds its name; then the copies in order.
    std::map<std::string, std::string> taken;
    for (const Item& item : items)
      if (!item.skip && item.seen[side] != nullptr && item.decision.action != removeHere)
        taken.emplace(text::Upper(item.name), item.name);
    for (Item& item : items) {
      if (item.skip || item.decision.action != copyHere || item.seen[side] != nullptr) continue;
      auto [it, added] = taken.emplace(text::Upper(item.name), item.name);
      if (added) continue;
      item.skip = true;
      any = true;
      Error(Join(Shown(1 - side, rel), item.name) + " wurde nicht synchronisiert: Das " +
            Ordinal(side) + " Verzeichnis unterscheidet den Namen nicht von " +
            Join(Shown(side, rel), it->second) + ".");
      CarryOver(Join(rel, item.name));
    }
  }
  return any;
}

Planner::Outcome Planner::Folder(const std::string& rel, std::array<platform::DirLister*, 2> dirs,
                                 std::vector<Step>& steps) {
  Outcome out;
  if (cancelled_ || !proceed_()) {
    cancelled_ = true;
    out.allRemoved = false;
    return out;
  }
  if (observer_ != nullptr) observer_->SetCurrentFile("Vergleiche " + Shown(0, rel));
  // Both listings whole first: a folder that cannot be read completely
  // never looks as if its names had been removed.
  std::map<std::string, std::array<platform::DirEntry, 2>> names;
  std::map<std::string, std::array<bool, 2>> present;
  for (int side = 0; side < 2; ++side) {
    if (dirs[side] == nullptr) continue;
    platform::DirLister& dir = *dirs[side];
    platform::DirEntry entry;
    while (dir.IsOpen() && dir.Next(entry)) {
      if (rel.empty() && IsVersionsFolderName(entry.name)) continue;
      const std::string name = entry.name;
      names[name][side] = std::move(entry);
      present[name][side] = true;
    }
    const int err = !dir.IsOpen() ? platform::kErrAccessDenied : dir.ReadError();
    if (err != 0) {
      Error("Das Verzeichnis " + Shown(side, rel) +
            " konnte nicht vollständig gelesen werden (Fehlercode " + IntToText(err) +
            "). Es wurde dort nichts synchronisiert.");
      // What the last run knew there stays known: nothing is decided.
      CarryOver(rel);
      out.allRemoved = false;
      return out;
    }
  }

  std::vector<Item> items;
  items.reserve(names.size());
  for (const auto& [name, entries] : names) {
    Item item;
    item.name = name;
    for (int side = 0; side < 2; ++side) {
      if (!present[name][side]) continue;
      item.seen[side] = &entries[side];
      item.now[side] = ToEntry(entries[side]);
      if (entries[side].kind != platform::EntryKind::Directory) ++sideFiles[side];
    }
    items.push_back(std::move(item));
  }

  std::vector<Step> removals, others;
  for (Item& item : items) {
    const std::string path = Join(rel, item.name);
    // What a copy cut short left (a kill): never synchronised; it goes
    // into the versions where the other side has no such name.
    if (platform::IsCopyTempName(item.name)) {
      item.skip = true;
      for (int side = 0; side < 2; ++side) {
        const platform::DirEntry* e = item.seen[side];
        if (e != nullptr && item.seen[1 - side] == nullptr &&
            (e->kind == platform::EntryKind::File || e->kind == platform::EntryKind::Symlink)) {
          Step step;
          step.kind = Step::Kind::Sweep;
          step.side = side;
          step.path = path;
          removals.push_back(step);
        }
      }
      continue;
    }
    bool unreadable = false, special = false;
    for (int side = 0; side < 2; ++side) {
      const platform::DirEntry* e = item.seen[side];
      if (e == nullptr) continue;
      if (e->error != 0) {
        unreadable = true;
        Error("Die Angaben zu " + Join(Shown(side, rel), item.name) +
              " konnten nicht gelesen werden (Fehlercode " + IntToText(e->error) +
              "). Der Name wurde nicht synchronisiert.");
      } else if (e->kind == platform::EntryKind::Other) {
        special = true;
      }
    }
    if (special && !unreadable) {
      // Fifos, sockets and devices are never opened nor synchronised (in
      // a folder that goes as a whole they go along); something of that
      // name on the other side stays as it is.
      const int side =
          item.seen[0] != nullptr && item.seen[0]->kind == platform::EntryKind::Other ? 0 : 1;
      if (item.seen[1 - side] != nullptr &&
          item.seen[1 - side]->kind != platform::EntryKind::Other) {
        Error(Join(Shown(side, rel), item.name) +
              " ist keine gewöhnliche Datei. Der Name wurde nicht synchronisiert.");
        out.allRemoved = false;
      }
    }
    if (unreadable || special) {
      item.skip = true;
      if (unreadable) out.allRemoved = false;
      CarryOver(path);
      continue;
    }
    const SyncState::Known* k = known_.Find(path);
    item.decision =
        twoway::Decide(item.now[0], item.now[1], k ? std::optional<Entry>(k->a) : std::nullopt,
                       k ? std::optional<Entry>(k->b) : std::nullopt);
  }
  if (CheckCaseClashes(rel, items)) out.allRemoved = false;

  auto child = [&](const Item& item, int side) -> std::unique_ptr<platform::DirLister> {
    const std::string path = Join(rel, item.name);
    return std::make_unique<platform::DirLister>(*dirs[side], item.name, Shown(side, path) + "/");
  };

  for (Item& item : items) {
    if (item.skip) continue;
    if (cancelled_) break;
    const std::string path = Join(rel, item.name);
    const twoway::Decision& d = item.decision;
    switch (d.action) {
      case Action::None:
        if (item.now[0] && item.now[1]) next_.Put(path, *item.now[0], *item.now[1]);
        out.allRemoved = false;
        break;
      case Action::WalkBoth: {
        next_.Put(path, *item.now[0], *item.now[1]);
        out.allRemoved = false;
        auto a = child(item, 0);
        auto b = child(item, 1);
        Folder(path, {a.get(), b.get()}, others);
        break;
      }
      case Action::CopyToA:
      case Action::CopyToB: {
        const int from = d.action == Action::CopyToB ? 0 : 1;
        const int to = 1 - from;
        out.allRemoved = false;
        out.copiesOver = out.copiesOver || item.seen[to] == nullptr;
        const bool folder = IsFolder(item.now[from]);
        if (item.now[to] && (folder || IsFolder(item.now[to]))) {
          // A folder against a file: the one that goes is kept whole.
          Step step;
          step.kind = Step::Kind::Displace;
          step.side = to;
          step.path = path;
          step.folder = IsFolder(item.now[to]);
          step.files = step.folder ? CountFiles(Shown(to, path)) : 1;
          others.push_back(step);
        }
        if (!folder) {
          Step step;
          step.kind = Step::Kind::Copy;
          step.side = to;
          step.path = path;
          step.entry = *item.now[from];
          step.conflict = d.conflict;
          others.push_back(step);
          if (d.conflict) ++result_.counts.conflicts;
          break;
        }
        Step make;
        make.kind = Step::Kind::MakeFolder;
        make.side = to;
        make.path = path;
        make.entry = *item.now[from];
        others.push_back(make);
        auto listing = child(item, from);
        std::array<platform::DirLister*, 2> below{nullptr, nullptr};
        below[from] = listing.get();
        Folder(path, below, others);
        Step finish = make;
        finish.kind = Step::Kind::FinishFolder;
        others.push_back(finish);
        break;
      }
      case Action::RemoveFromA:
      case Action::RemoveFromB: {
        const int side = d.action == Action::RemoveFromA ? 0 : 1;
        Step step;
        step.kind = Step::Kind::Remove;
        step.side = side;
        step.path = path;
        if (!IsFolder(item.now[side])) {
          step.files = 1;
          out.files += 1;
          removals.push_back(step);
          break;
        }
        // Its names one by one, the other side holding none of them:
        // what changed here comes back there.
        auto listing = child(item, side);
        std::array<platform::DirLister*, 2> below{nullptr, nullptr};
        below[side] = listing.get();
        std::vector<Step> inner;
        const Outcome sub = Folder(path, below, inner);
        if (sub.allRemoved && !cancelled_) {
          step.folder = true;
          step.files = sub.files;
          out.files += sub.files;
          removals.push_back(step);
          break;
        }
        out.allRemoved = false;
        out.copiesOver = out.copiesOver || sub.copiesOver;
        if (!sub.copiesOver) {
          // It stays here (something in it could not be removed): known
          // as before, so the next run tries again.
          if (const SyncState::Known* k = known_.Find(path)) next_.Put(path, k->a, k->b);
          others.insert(others.end(), inner.begin(), inner.end());
          break;
        }
        Step make;
        make.kind = Step::Kind::MakeFolder;
        make.side = 1 - side;
        make.path = path;
        make.entry = *item.now[side];
        others.push_back(make);
        others.insert(others.end(), inner.begin(), inner.end());
        Step finish = make;
        finish.kind = Step::Kind::FinishFolder;
        others.push_back(finish);
        break;
      }
      case Action::Conflict: {
        out.allRemoved = false;
        ++result_.counts.conflicts;
        Error("Konflikt: " + path + " ist im " +
              (IsFolder(item.now[0]) ? "1. Verzeichnis ein Ordner, im 2. eine Datei"
                                     : "1. Verzeichnis eine Datei, im 2. ein Ordner") +
              ", und beide wurden seit dem letzten Abgleich geändert. Es wurde nichts "
              "geändert; bitte entscheiden Sie selbst.");
        CarryOver(path);
        break;
      }
    }
  }
  // Removals first: a name that leaves a side frees it for one that
  // differs only in letter case.
  steps.insert(steps.end(), removals.begin(), removals.end());
  steps.insert(steps.end(), others.begin(), others.end());
  return out;
}

// Carries the steps out.
class Executor {
 public:
  Executor(const std::array<std::string, 2>& roots, TDateTime start, const SyncState& known,
           SyncState& next, SyncRun::Result& result, SyncObserver* observer)
      : roots_(roots), known_(known), next_(next), result_(result), observer_(observer) {
    for (int side = 0; side < 2; ++side)
      keepers_[side] = std::make_unique<versions::Keeper>(roots_[side], start, false,
                                                          versions::kHiddenFolderName);
  }

  // False when the run must stop (a full disk, a side gone).
  bool Do(const Step& step);
  // True when the path or a folder above it failed: its steps are left.
  bool Failed(const std::string& path) const {
    for (std::string p = path;;) {
      if (failed_.count(p) != 0) return true;
      const auto slash = p.rfind('/');
      if (slash == std::string::npos) return false;
      p.resize(slash);
    }
  }

 private:
  std::string Full(int side, const std::string& path) const { return roots_[side] + "/" + path; }
  void Fail(const std::string& path) {
    failed_.insert(path);
    Planner::CarryOverState(known_, next_, path);
  }
  void Error(const std::string& line) { result_.errors.push_back(line); }
  // True when the side's folder itself is gone (the drive pulled out).
  bool SideGone(int side) {
    if (CopyEngine::IsFolder(roots_[side])) return false;
    result_.stopped = true;
    result_.failure = "Das " + Ordinal(side) + " Verzeichnis " + roots_[side] +
                      " ist während der Synchronisation verschwunden. Ist der Datenträger "
                      "noch angeschlossen? Die Synchronisation wurde vorzeitig beendet.";
    Error(result_.failure);
    return true;
  }
  bool Keep(int side, const Step& step);
  bool Copy(const Step& step);

  const std::array<std::string, 2>& roots_;
  const SyncState& known_;
  SyncState& next_;
  SyncRun::Result& result_;
  SyncObserver* observer_;
  std::array<std::unique_ptr<versions::Keeper>, 2> keepers_;
  std::set<std::string> failed_;
};

bool Executor::Keep(int side, const Step& step) {
  const std::string full = Full(side, step.path);
  if (observer_ != nullptr) observer_->SetCurrentFile("Entferne " + full);
  const int err = keepers_[side]->Keep(full, step.path);
  if (err == 0) return true;
  if (SideGone(side)) return false;
  Error(std::string(step.folder ? "Das Verzeichnis " : "Die Datei ") + full + " konnte nicht in " +
        versions::RootOf(roots_[side], versions::kHiddenFolderName) +
        " verschoben werden (Fehlercode " + IntToText(err) + ") und blieb, wo es war.");
  Fail(step.path);
  return err != platform::kErrDiskFull;
}

bool Executor::Copy(const Step& step) {
  const int to = step.side;
  const int from = 1 - to;
  const std::string source = Full(from, step.path);
  const std::string folder = AddBackslash(GetParentDir(Full(to, step.path)));
  if (observer_ != nullptr) observer_->SetCurrentFile("Kopiere " + source);
  // What the copy replaces goes into the versions before the new file
  // takes its name.
  platform::KeepReplaced keep;
  versions::Keeper& keeper = *keepers_[to];
  keep.keep = [&keeper, &step](const std::string& dest) { return keeper.Keep(dest, step.path); };
  platform::CopyLosses losses;
  const int err = CopyOneFileQuietly(source, folder, true, true, platform::SourceRef{}, roots_[to],
                                     &losses, &keep);
  if (err == 0 && keep.keepError == 0) {
    next_.Put(step.path, step.entry, step.entry);
    ++(to == 1 ? result_.counts.toSecond : result_.counts.toFirst);
    result_.counts.bytes += static_cast<std::int64_t>(losses.bytes);
    if (step.conflict) {
      result_.conflicts.push_back(
          "Konflikt: " + step.path +
          " wurde in beiden Verzeichnissen geändert. Die neuere "
          "Fassung aus dem " +
          Ordinal(from) + " Verzeichnis wurde übernommen, die ältere ist in " +
          versions::RootOf(roots_[to], versions::kHiddenFolderName) + " aufbewahrt.");
    }
    return true;
  }
  if (keep.keepError != 0) {
    Error("Die Datei " + Full(to, step.path) +
          " wurde nicht ersetzt: Ihre bisherige Fassung konnte nicht in " +
          versions::RootOf(roots_[to], versions::kHiddenFolderName) +
          " aufbewahrt werden (Fehlercode " + IntToText(keep.keepError) + ").");
    Fail(step.path);
    return keep.keepError != platform::kErrDiskFull;
  }
  if ((err == platform::kErrDirectory || err == platform::kErrPathNotFound) && SideGone(to))
    return false;
  // The backup's texts for a copy that failed.
  CopyEngine texts;
  texts.ReportCopyError(err, source, folder);
  for (const std::string& line : texts.RunReport) Error(line);
  Fail(step.path);
  if (err == platform::kErrDiskFull) {
    result_.stopped = true;
    result_.failure = "Die Synchronisation wurde vorzeitig beendet: Der Datenträger von " +
                      roots_[to] + " ist voll.";
    return false;
  }
  return true;
}

bool Executor::Do(const Step& step) {
  if (Failed(step.path)) {
    Planner::CarryOverState(known_, next_, step.path);
    return true;
  }
  bool go = true;
  switch (step.kind) {
    case Step::Kind::Copy:
      go = Copy(step);
      break;
    case Step::Kind::Sweep:
      if (!Keep(step.side, step)) go = !result_.stopped;
      break;
    case Step::Kind::Remove:
    case Step::Kind::Displace:
      if (Keep(step.side, step)) {
        if (step.kind == Step::Kind::Remove)
          ++(step.side == 0 ? result_.counts.removedFirst : result_.counts.removedSecond);
      } else {
        go = !result_.stopped;
      }
      break;
    case Step::Kind::MakeFolder: {
      const std::string dest = Full(step.side, step.path);
      if (observer_ != nullptr) observer_->SetCurrentFile("Lege an " + dest);
      platform::DirLister source(Full(1 - step.side, step.path));
      bool made = false;
      int err = source.IsOpen() ? platform::PrepareCopyFolder(source.Handle(), dest, made)
                                : platform::kErrFileNotFound;
      if (err == 0) {
        next_.Put(step.path, step.entry, step.entry);
        break;
      }
      if (SideGone(step.side)) return false;
      Error(dest + ": Das Zielverzeichnis konnte nicht angelegt werden (Fehlercode " +
            IntToText(err) + ").");
      Fail(step.path);
      break;
    }
    case Step::Kind::FinishFolder: {
      platform::DirLister source(Full(1 - step.side, step.path));
      if (source.IsOpen()) platform::FinishCopyFolder(source.Handle(), Full(step.side, step.path));
      break;
    }
  }
  result_.counts.errors = static_cast<std::int64_t>(result_.errors.size());
  if (observer_ != nullptr) observer_->SetCounts(result_.counts);
  return go;
}

// The line of a dry run for a step; empty for none.
std::string PlanLine(const Step& step, const std::array<std::string, 2>& roots) {
  const std::string where = roots[step.side] + "/" + step.path;
  switch (step.kind) {
    case Step::Kind::Copy:
      return std::string(step.side == 1 ? "1 -> 2: " : "2 -> 1: ") + step.path +
             (step.conflict ? " (Konflikt, die ältere Fassung käme in die Versionen)" : "");
    case Step::Kind::MakeFolder:
      return std::string(step.side == 1 ? "1 -> 2: " : "2 -> 1: ") + step.path + "/";
    case Step::Kind::Remove:
    case Step::Kind::Displace:
      return "In die Versionen: " + where + (step.folder ? "/" : "");
    case Step::Kind::Sweep:
      return "Rest eines abgebrochenen Kopierens in die Versionen: " + where;
    case Step::Kind::FinishFolder:
      break;
  }
  return std::string();
}

// "N Dateien" with the right number.
std::string Files(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

SyncRun::SyncRun(SyncDefinition definition, std::string dataDir)
    : definition_(std::move(definition)), dataDir_(std::move(dataDir)) {}

std::string SyncRun::StatePath() const {
  return AddBackslash(dataDir_) + SyncDefinitions::StateFileName(definition_.name);
}

std::string SyncRun::ReportPath() const {
  return AddBackslash(dataDir_) + SyncDefinitions::ReportFileName(definition_.name);
}

namespace {

// The folder of a side as the definition names it, without a "/" at the
// end (but "/" itself).
std::string SideRoot(const std::string& text) {
  std::string root = text;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

// True when one folder lies in the other or both are the same.
bool Nested(const std::string& a, const std::string& b) {
  std::error_code error;
  const auto ca = std::filesystem::weakly_canonical(a, error);
  if (error) return false;
  const auto cb = std::filesystem::weakly_canonical(b, error);
  if (error) return false;
  auto inside = [](const std::filesystem::path& outer, const std::filesystem::path& inner) {
    auto o = outer.begin();
    auto i = inner.begin();
    for (; o != outer.end(); ++o, ++i) {
      if (o->empty()) continue;  // a trailing "/"
      if (i == inner.end() || *o != *i) return false;
    }
    return true;
  };
  return inside(ca, cb) || inside(cb, ca) ||
         (platform::IdOf(a).known && platform::IdOf(a) == platform::IdOf(b));
}

// Counts the entries of a side's top folder that the run would look at,
// and tells whether it could be read (its error code, 0).
int LookAtTop(const std::string& root, bool& empty) {
  platform::DirLister dir(root);
  empty = true;
  if (!dir.IsOpen()) return platform::kErrAccessDenied;
  platform::DirEntry entry;
  while (dir.Next(entry, false)) {
    if (IsVersionsFolderName(entry.name) || platform::IsCopyTempName(entry.name)) continue;
    empty = false;
    break;
  }
  return dir.ReadError();
}

}  // namespace

SyncRun::Result SyncRun::Run(SyncObserver* observer) {
  const TDateTime start = Clock ? Clock() : ::Now();
  // A dry run leaves no trace, not even in the history.
  history::Recorder record;
  if (!DryRun)
    record.Reset(history::ForSync(dataDir_, definition_.name, Started), history::Kind::Sync);
  record.Begin(start);
  const Result result = RunSteps(observer, start);
  history::Counts counts;
  counts.files = result.counts.toFirst + result.counts.toSecond;
  counts.errors = static_cast<std::int64_t>(result.errors.size());
  counts.versions = result.counts.removedFirst + result.counts.removedSecond;
  counts.bytes = result.counts.bytes;
  if (result.refused)
    record.End(history::Outcome::NotStarted, counts, {}, result.failure);
  else
    record.End(result.cancelled ? history::Outcome::Cancelled
               : result.Clean() ? history::Outcome::Ok
                                : history::Outcome::Errors,
               counts, result.reportLines, result.failure);
  return result;
}

SyncRun::Result SyncRun::RunSteps(SyncObserver* observer, TDateTime start) {
  Result result;
  const std::array<std::string, 2> roots{SideRoot(definition_.first), SideRoot(definition_.second)};
  auto refuse = [&](const std::string& text) {
    result.refused = true;
    result.failure = text;
    ShowInfo(text, 1);
    return result;
  };
  auto events = [&] {
    if (observer != nullptr) observer->ProcessEvents();
    return !cancelled_;
  };

  // ---- guards: nothing is changed before they have passed ----
  SyncState known;
  const SyncState::LoadResult knownLoad = known.Load(StatePath());
  const bool knownLoaded = knownLoad == SyncState::LoadResult::Loaded;
  if (knownLoad == SyncState::LoadResult::Unreadable) {
    result.stateUnreadable = true;
    return refuse("Die Datei " + StatePath() +
                  " mit dem Stand des letzten Abgleichs konnte nicht gelesen werden." +
                  kNothingDone);
  }
  // What the last run knew of files on each side.
  std::array<bool, 2> knewFiles{false, false};
  for (const auto& [path, k] : known.All()) {
    knewFiles[0] = knewFiles[0] || k.a.kind != twoway::Kind::Folder;
    knewFiles[1] = knewFiles[1] || k.b.kind != twoway::Kind::Folder;
  }
  std::array<bool, 2> missing{false, false};
  for (int side = 0; side < 2; ++side) {
    const std::string& root = roots[side];
    const std::string label = "Das " + Ordinal(side) + " Verzeichnis " + root;
    if (root.empty() || root[0] != '/') {
      result.sideMissing = true;
      return refuse(label + " ist kein vollständiger Pfad." + kNothingDone);
    }
    if (CopyEngine::IsFolder(root)) {
      bool empty = true;
      if (const int err = LookAtTop(root, empty)) {
        result.sideMissing = true;
        return refuse(label + " konnte nicht gelesen werden (Fehlercode " + IntToText(err) + ")." +
                      kNothingDone);
      }
      if (empty && knewFiles[side]) {
        result.sideMissing = true;
        return refuse(label +
                      " ist leer, beim letzten Abgleich enthielt es Dateien. Ist der richtige "
                      "Datenträger angeschlossen? Wurden die Dateien mit Absicht gelöscht, "
                      "löschen Sie sie bitte auch im anderen Verzeichnis." +
                      kNothingDone);
      }
      continue;
    }
    if (!known.All().empty()) {
      result.sideMissing = true;
      return refuse(label +
                    " ist nicht vorhanden, beim letzten Abgleich enthielt es Dateien. Ist der "
                    "Datenträger angeschlossen?" +
                    kNothingDone);
    }
    // A first run may make the folder, but only under a parent that is
    // there: never on the system disk in place of a drive.
    const std::string parent = GetParentDir(root);
    if (parent.empty() || !CopyEngine::IsFolder(parent)) {
      result.sideMissing = true;
      return refuse(label + " existiert nicht, und der Ordner " + parent +
                    " darüber auch nicht. Ist der Datenträger angeschlossen?" + kNothingDone);
    }
    if (!DryRun && missingFolder_ == MissingTarget::Ask &&
        !AskYesNo(label + " existiert nicht.\rSoll es neu angelegt werden?")) {
      result.refused = true;
      result.failure = "Es wurde nichts synchronisiert.";
      return result;
    }
    missing[side] = true;
  }
  if (Nested(roots[0], roots[1]))
    return refuse("Die beiden Verzeichnisse " + roots[0] + " und " + roots[1] +
                  " sind dasselbe oder liegen ineinander." + kNothingDone);
  if (!DryRun) {
    for (int side = 0; side < 2; ++side) {
      if (!missing[side]) continue;
      platform::DirLister other(roots[1 - side]);
      bool made = false;
      const int err = other.IsOpen()
                          ? platform::PrepareCopyFolder(other.Handle(), roots[side], made)
                          : platform::kErrAccessDenied;
      if (err != 0)
        return refuse("Das " + Ordinal(side) + " Verzeichnis " + roots[side] +
                      " konnte nicht angelegt werden (Fehlercode " + IntToText(err) + ")." +
                      kNothingDone);
      missing[side] = false;
    }
  }

  // ---- the plan: both folders read at once, every name decided ----
  std::array<bool, 2> ignoresCase{false, false};
  // The probe writes a file: a dry run changes nothing anywhere.
  if (!DryRun)
    for (int side = 0; side < 2; ++side)
      ignoresCase[side] = platform::IgnoresLetterCase(roots[side]);
  SyncState next;
  Planner planner(roots, ignoresCase, known, next, result, events, observer);
  std::vector<Step> steps;
  {
    std::array<std::unique_ptr<platform::DirLister>, 2> tops;
    std::array<platform::DirLister*, 2> dirs{nullptr, nullptr};
    for (int side = 0; side < 2; ++side) {
      if (missing[side]) continue;
      tops[side] = std::make_unique<platform::DirLister>(roots[side]);
      dirs[side] = tops[side].get();
    }
    planner.Folder(std::string(), dirs, steps);
  }
  // (A first run removes nothing: without a last run no name counts as
  // removed on a side.)
  result.cancelled = planner.Cancelled();
  std::array<std::int64_t, 2> toRemove{0, 0};
  for (const Step& step : steps)
    if (step.kind == Step::Kind::Remove || step.kind == Step::Kind::Displace)
      toRemove[step.side] += step.files;

  std::vector<std::string> notes;
  if (!result.cancelled) {
    for (int side = 0; side < 2; ++side) {
      const std::int64_t n = toRemove[side], all = planner.sideFiles[side];
      if (n < 10 || n * 2 <= all) continue;
      const std::string text = "Die Synchronisation würde im " + Ordinal(side) + " Verzeichnis " +
                               roots[side] + " " + std::to_string(n) + " von " +
                               std::to_string(all) +
                               " Dateien entfernen (in die Versionen verschieben).";
      if (DryRun) {
        notes.push_back("Achtung: " + text + " Ein Lauf fragt vorher nach.");
        continue;
      }
      if (massRemoval_ == versions::MassRemoval::Ask &&
          AskYesNoDefaultNo(text + "\rSoll sie trotzdem ausgeführt werden?"))
        continue;
      result.massRemoval = true;
      result.refused = true;
      result.failure = text + " Das ist mehr als die Hälfte; es wurde nichts synchronisiert.";
      if (massRemoval_ == versions::MassRemoval::Refuse) ShowInfo(result.failure, 1);
      return result;
    }
  }

  // ---- the steps ----
  std::vector<std::string> versionLines;
  if (DryRun) {
    for (const Step& step : steps) {
      const std::string line = PlanLine(step, roots);
      if (!line.empty()) result.plan.push_back(line);
      if (step.kind == Step::Kind::Copy)
        ++(step.side == 1 ? result.counts.toSecond : result.counts.toFirst);
      if (step.kind == Step::Kind::Remove)
        ++(step.side == 0 ? result.counts.removedFirst : result.counts.removedSecond);
    }
    result.plan.insert(result.plan.end(), notes.begin(), notes.end());
  } else if (!result.cancelled) {
    for (int side = 0; side < 2; ++side) {
      const auto lines =
          versions::PruneRunFolders(roots[side], start, kVersionDays, versions::kHiddenFolderName);
      versionLines.insert(versionLines.end(), lines.begin(), lines.end());
    }
    Executor executor(roots, start, known, next, result, observer);
    for (const Step& step : steps) {
      if (!events()) {
        result.cancelled = true;
        break;
      }
      if (!executor.Do(step)) break;
    }
  }
  result.ran = true;
  result.counts.errors = static_cast<std::int64_t>(result.errors.size());

  // ---- the state: only after a run that went all the way ----
  if (!DryRun && !result.cancelled && !result.stopped) {
    if (knownLoaded && next.SameAs(known)) {
      // Nothing changed since the last run: the stored state is this one.
      result.stateWritten = true;
    } else if (const int err = next.Save(StatePath())) {
      result.errors.push_back(WriteFailureText("Der Stand des Abgleichs", StatePath(), err));
    } else {
      result.stateWritten = true;
    }
  }

  // ---- the report ----
  std::vector<std::string>& lines = result.reportLines;
  const TDateTime now = Clock ? Clock() : ::Now();
  lines.push_back((DryRun ? "Probelauf der Synchronisation \"" : "Synchronisation \"") +
                  definition_.name + "\" am " + FormatDateText(4, now) + " um " +
                  InsertTimeColon(FormatTimeDigits(now)) + " Uhr.");
  lines.push_back("(1. Verzeichnis: " + roots[0] + ", 2. Verzeichnis: " + roots[1] + ")");
  lines.emplace_back();
  std::vector<std::string> errors = result.errors;
  if (result.cancelled) errors.push_back(kCancelLine);
  if (errors.empty()) {
    lines.push_back("Es sind keine Fehler aufgetreten.");
  } else {
    lines.push_back("Folgende Fehler sind aufgetreten:");
    lines.insert(lines.end(), errors.begin(), errors.end());
  }
  lines.insert(lines.end(), result.conflicts.begin(), result.conflicts.end());
  if (DryRun) {
    lines.emplace_back();
    lines.push_back(result.plan.empty() ? "Es wäre nichts zu tun." : "Es würde getan:");
    lines.insert(lines.end(), result.plan.begin(), result.plan.end());
  }
  const char* would = DryRun ? " würden " : " wurden ";
  lines.push_back(Files(result.counts.toSecond, "Datei", "Dateien") + would +
                  "vom 1. ins 2. Verzeichnis kopiert.");
  lines.push_back(Files(result.counts.toFirst, "Datei", "Dateien") + would +
                  "vom 2. ins 1. Verzeichnis kopiert.");
  lines.push_back(std::to_string(result.counts.removedFirst) + " Einträge im 1. und " +
                  std::to_string(result.counts.removedSecond) + " im 2. Verzeichnis" + would +
                  "entfernt (in " + versions::kHiddenFolderName + " aufbewahrt).");
  lines.insert(lines.end(), versionLines.begin(), versionLines.end());
  if (!result.stateWritten && !DryRun)
    lines.push_back("Der Stand des letzten Abgleichs bleibt unverändert.");
  result.reportPath = ReportPath();

  if (DryRun) {
    if (observer != nullptr) observer->ReportWritten(lines, result.Clean());
    return result;
  }
  const int code = textfile::WriteLinesVisible(result.reportPath, lines);
  if (code != 0) {
    const std::string text = WriteFailureText("Das Protokoll", result.reportPath, code);
    if (result.failure.empty()) result.failure = text;
    ShowInfo(text, 1);
    return result;
  }
  result.reportWritten = true;
  if (observer != nullptr) observer->ReportWritten(lines, result.Clean());
  if (!result.errors.empty() && !result.cancelled && AskYesNo(kViewReportQuestion)) {
    if (platform::LaunchFile("notepad.exe", result.reportPath) == 31)
      platform::LaunchFile(result.reportPath, std::string());
  }
  if (result.cancelled)
    ShowInfo("Die Synchronisation wurde abgebrochen.", 0);
  else if (result.stopped)
    ShowInfo(result.failure, 1);
  return result;
}
