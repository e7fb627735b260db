#include "core/restore/restorerun.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <utility>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "core/backup/copypipeline.h"
#include "core/backup/reportview.h"
#include "core/backup/runrequest.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/daten.h"

namespace restore {

namespace {

using platform::DirEntry;
using platform::EntryKind;

// "a/b/c" -> "a/b"; "a" -> "".
std::string ParentOf(const std::string& relative) {
  const auto slash = relative.rfind('/');
  return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::string FirstName(const std::string& relative) {
  return relative.substr(0, relative.find('/'));
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (name.empty()) return folder;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// True when `path` is `folder` or lies below it ("" holds everything).
bool AtOrBelow(const std::string& path, const std::string& folder) {
  if (folder.empty()) return true;
  return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

// A path without "//", "/./" and a trailing "/"; nothing for "..".
std::optional<std::string> Normalised(const std::string& path) {
  std::string out = !path.empty() && path[0] == '/' ? "/" : "";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") {
      if (!out.empty() && out.back() != '/') out += '/';
      out += part;
    }
    start = end + 1;
  }
  return out;
}

StateEntry EntryOf(const DirEntry& entry, const std::string& relative, const std::string& from,
                   const std::string& runFolder) {
  StateEntry e;
  e.relative = relative;
  e.from = from;
  e.runFolder = runFolder;
  e.kind = entry.kind;
  e.size = entry.size;
  e.mtime = entry.mtime;
  e.mtimeNsec = entry.mtimeNsec;
  return e;
}

// Walks the tree of `root` and hands every entry below it (special files
// left out) to `visit` with its path relative to `root`; `visit` returns
// false for a folder not to be entered. `admit` picks the names of the
// top. Result 0 or the first error code of a folder that could not be read.
template <typename Admit, typename Visit>
int WalkTree(const std::string& root, Admit admit, Visit visit) {
  int failure = 0;
  struct Level {
    std::unique_ptr<platform::DirLister> listing;
    std::string relative;
  };
  std::vector<Level> stack;
  stack.push_back({std::make_unique<platform::DirLister>(root), std::string()});
  if (!stack.back().listing->IsOpen()) return platform::kErrPathNotFound;
  DirEntry entry;
  while (!stack.empty()) {
    Level& level = stack.back();
    if (!level.listing->Next(entry)) {
      if (int err = level.listing->ReadError(); err != 0 && failure == 0) failure = err;
      stack.pop_back();
      continue;
    }
    if (level.relative.empty() && !admit(entry)) continue;
    if (entry.kind == EntryKind::Other) continue;
    const std::string relative = Join(level.relative, entry.name);
    const bool enter = visit(entry, relative);
    if (entry.kind != EntryKind::Directory || !enter) continue;
    auto child =
        std::make_unique<platform::DirLister>(*level.listing, entry.name, Join(root, relative));
    if (!child->IsOpen()) {
      if (failure == 0) failure = platform::kErrAccessDenied;
      continue;
    }
    stack.push_back({std::move(child), relative});
  }
  return failure;
}

// The moment of a run folder compared with a chosen one: a second's
// rounding never moves a run to the other side.
bool AtOrAfter(TDateTime moment, TDateTime t) { return moment >= t - 0.5 / 86400.0; }

std::string ReadFailure(const std::string& path, int code) {
  std::string text =
      "Das Verzeichnis " + path + " konnte nicht gelesen werden: " + ErrorText(code, path + " ");
  for (char& c : text)
    if (c == '\r') c = ' ';
  return text;
}

}  // namespace

// ----------------------------------------------------------------- state --

std::string StateChoice::Text() const {
  switch (kind) {
    case Kind::Latest:
      return "letzte Sicherung";
    case Kind::AsOf:
      return FormatDateText(4, moment) + " " + InsertTimeColon(FormatTimeDigits(moment)) + " Uhr";
    case Kind::RunFolder:
      break;
  }
  const auto folder = versions::ParseFolderName(runFolder);
  if (!folder) return runFolder;
  int hour = 0, minute = 0, second = 0, ms = 0;
  DecodeTime(folder->moment, hour, minute, second, ms);
  std::string text = "vor der Sicherung vom " + FormatDateText(4, folder->moment) + " um " +
                     InsertTimeColon(FormatTimeDigits(folder->moment)) + ":" +
                     IntToTextPadded(second, 2) + " Uhr";
  if (folder->sequence > 1) text += " (" + IntToText(folder->sequence) + ")";
  return text;
}

bool ParseStateText(const std::string& input, StateChoice& choice, std::string& failure) {
  failure.clear();
  const std::string text = text::Trim(input);
  if (const auto folder = versions::ParseFolderName(text); folder && !folder->restore) {
    choice = StateChoice{};
    choice.kind = StateChoice::Kind::RunFolder;
    choice.runFolder = text;
    return true;
  }
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int used = 0;
  bool ok = false;
  if (text.size() == 16) {
    ok = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d%n", &year, &month, &day, &hour, &minute,
                     &used) == 5 &&
         used == 16;
  } else if (text.size() == 19) {
    ok = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                     &second, &used) == 6 &&
         used == 19;
  }
  // sscanf takes signs and blanks in a number: only digits are meant.
  for (std::size_t i = 0; ok && i < text.size(); ++i) {
    const char c = text[i];
    const bool digit = c >= '0' && c <= '9';
    ok = (i == 4 || i == 7)     ? c == '-'
         : i == 10              ? c == ' '
         : (i == 13 || i == 16) ? c == ':'
                                : digit;
  }
  TDateTime date = 0;
  if (ok && hour <= 23 && minute <= 59 && second <= 59 && TryEncodeDate(year, month, day, date)) {
    choice = StateChoice{};
    choice.kind = StateChoice::Kind::AsOf;
    choice.moment = date + EncodeTime(hour, minute, second, 0);
    return true;
  }
  failure = "Ungültiger Zeitpunkt \"" + input +
            "\": erwartet wird \"JJJJ-MM-TT hh:mm\" oder ein Stand, wie --versions ihn zeigt.";
  return false;
}

int TargetState::Load(const std::string& jobTarget, const std::vector<std::string>& topNames,
                      const StateChoice& choice) {
  failure_.clear();
  files_.clear();
  folders_.clear();
  if (!CopyEngine::IsFolder(jobTarget)) {
    failure_ =
        "Das Zielverzeichnis " + jobTarget + " existiert nicht. Ist der Datenträger angeschlossen?";
    return platform::kErrPathNotFound;
  }
  std::vector<versions::RunFolder> runs;
  if (int err = versions::ListRunFolders(jobTarget, runs)) {
    failure_ = ReadFailure(versions::RootOf(jobTarget), err);
    return err;
  }
  std::vector<versions::RunFolder> chosen;
  if (choice.kind == StateChoice::Kind::RunFolder) {
    const auto it = std::find_if(runs.begin(), runs.end(), [&](const versions::RunFolder& r) {
      return r.name == choice.runFolder && !r.restore;
    });
    if (it == runs.end()) {
      failure_ = "Den Stand \"" + choice.runFolder + "\" gibt es in " +
                 versions::RootOf(jobTarget) + " nicht.";
      return platform::kErrPathNotFound;
    }
    const versions::RunFolder from = *it;
    for (const auto& run : runs)
      if (!run.restore && !(run < from)) chosen.push_back(run);
  } else if (choice.kind == StateChoice::Kind::AsOf) {
    for (const auto& run : runs)
      if (!run.restore && AtOrAfter(run.moment, choice.moment)) chosen.push_back(run);
  }

  const bool everyName = std::find(topNames.begin(), topNames.end(), "") != topNames.end();
  auto admit = [&](const DirEntry& entry) {
    if (versions::IsVersionsName(entry.name)) return false;
    return everyName || std::find(topNames.begin(), topNames.end(), entry.name) != topNames.end();
  };
  std::map<std::string, StateEntry> files;
  std::set<std::string> absent;
  std::map<std::string, StateEntry> folders;
  // Folders found empty: part of the state although no file is below.
  std::set<std::string> emptyFolders;
  auto noteFolder = [&](const DirEntry& entry, const std::string& relative, const std::string& from,
                        const std::string& run) {
    folders.emplace(relative, EntryOf(entry, relative, from, run));
  };

  // The target's own folders give the permissions of the state's folders
  // first: a run folder's own folders are made open to its owner only.
  std::vector<std::pair<std::string, DirEntry>> targetFiles;
  // The target's folders that hold anything.
  std::set<std::string> holding;
  int err = WalkTree(jobTarget, admit, [&](const DirEntry& entry, const std::string& relative) {
    const std::string full = Join(jobTarget, relative);
    if (entry.kind == EntryKind::Directory)
      noteFolder(entry, relative, full, std::string());
    else
      targetFiles.emplace_back(relative, entry);
    holding.insert(ParentOf(relative));
    return true;
  });
  for (const auto& [relative, entry] : folders)
    if (holding.count(relative) == 0) emptyFolders.insert(relative);
  if (err != 0) {
    failure_ = ReadFailure(jobTarget, err);
    return err;
  }

  for (const versions::RunFolder& run : chosen) {
    const std::string runPath = versions::RootOf(jobTarget) + "/" + run.name;
    std::vector<std::string> addedList;
    if (!versions::ReadAddedList(runPath, addedList)) {
      failure_ =
          "Die Liste " + runPath + "/" + versions::kAddedListName + " konnte nicht gelesen werden.";
      return platform::kErrAccessDenied;
    }
    const std::set<std::string> added(addedList.begin(), addedList.end());
    err = WalkTree(
        runPath,
        [&](const DirEntry& entry) {
          return entry.name != versions::kAddedListName && admit(entry);
        },
        [&](const DirEntry& entry, const std::string& relative) {
          const std::string full = runPath + "/" + relative;
          if (entry.kind == EntryKind::Directory) {
            noteFolder(entry, relative, full, run.name);
            return true;
          }
          if (files.count(relative) != 0 || absent.count(relative) != 0) return true;
          // A path the run added was not there before it, even when the
          // same run replaced it again later.
          if (added.count(relative) != 0)
            absent.insert(relative);
          else
            files.emplace(relative, EntryOf(entry, relative, full, run.name));
          return true;
        });
    if (err != 0) {
      failure_ = ReadFailure(runPath, err);
      return err;
    }
    for (const std::string& path : added)
      if (files.count(path) == 0) absent.insert(path);
  }
  for (const auto& [relative, entry] : targetFiles)
    if (files.count(relative) == 0 && absent.count(relative) == 0)
      files.emplace(relative, EntryOf(entry, relative, Join(jobTarget, relative), std::string()));

  // A folder is part of the state when a file of it is, or when it is
  // empty in the target.
  std::set<std::string> wanted(emptyFolders);
  for (const auto& [relative, entry] : files)
    for (std::string folder = ParentOf(relative); !folder.empty(); folder = ParentOf(folder))
      if (!wanted.insert(folder).second) break;
  for (auto& [relative, entry] : files) files_.push_back(std::move(entry));
  for (auto& [relative, entry] : folders)
    if (wanted.count(relative) != 0) folders_.push_back(std::move(entry));
  return 0;
}

namespace {

// The range of sorted entries at or below `relative` (all for "").
template <typename Entries>
auto RangeBelow(const Entries& entries, const std::string& relative) {
  auto first = std::lower_bound(
      entries.begin(), entries.end(), relative,
      [](const StateEntry& e, const std::string& key) { return e.relative < key; });
  auto last = first;
  while (last != entries.end() && AtOrBelow(last->relative, relative)) ++last;
  return std::make_pair(first, last);
}

}  // namespace

std::vector<StateEntry> TargetState::Children(const std::string& relative) const {
  std::vector<StateEntry> out;
  for (const auto* list : {&folders_, &files_}) {
    auto [first, last] = RangeBelow(*list, relative);
    std::vector<StateEntry> part;
    for (auto it = first; it != last; ++it)
      if (it->relative != relative && ParentOf(it->relative) == relative) part.push_back(*it);
    std::sort(part.begin(), part.end(), [](const StateEntry& a, const StateEntry& b) {
      return GetLastPathPart(a.relative) < GetLastPathPart(b.relative);
    });
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

const StateEntry* TargetState::Find(const std::string& relative) const {
  for (const auto* list : {&files_, &folders_}) {
    auto it = std::lower_bound(
        list->begin(), list->end(), relative,
        [](const StateEntry& e, const std::string& key) { return e.relative < key; });
    if (it != list->end() && it->relative == relative) return &*it;
  }
  return nullptr;
}

std::vector<const StateEntry*> TargetState::FilesBelow(const std::string& relative) const {
  std::vector<const StateEntry*> out;
  auto [first, last] = RangeBelow(files_, relative);
  for (auto it = first; it != last; ++it) out.push_back(&*it);
  return out;
}

int ListStates(const std::string& jobTarget, std::vector<versions::RunFolder>& states) {
  std::vector<versions::RunFolder> runs;
  states.clear();
  if (int err = versions::ListRunFolders(jobTarget, runs)) return err;
  for (auto it = runs.rbegin(); it != runs.rend(); ++it)
    if (!it->restore) states.push_back(*it);
  return 0;
}

int ListPathVersions(const std::string& jobTarget, const std::string& relative,
                     std::vector<PathVersion>& found) {
  found.clear();
  auto look = [&](const std::string& folder, const std::string& path, const std::string& run,
                  TDateTime moment) {
    platform::DirLister listing(folder);
    DirEntry entry;
    if (!listing.IsOpen() || !listing.Describe(GetLastPathPart(path), entry)) return;
    if (entry.kind == EntryKind::Directory || entry.kind == EntryKind::Other) return;
    found.push_back({run, moment, entry.kind, entry.size, entry.mtime});
  };
  const std::string path = Join(jobTarget, relative);
  look(GetParentDir(path), path, std::string(), 0);
  std::vector<versions::RunFolder> states;
  if (int err = ListStates(jobTarget, states)) return err;
  for (const versions::RunFolder& run : states) {
    const std::string kept = versions::RootOf(jobTarget) + "/" + run.name + "/" + relative;
    look(GetParentDir(kept), kept, run.name, run.moment);
  }
  return 0;
}

// --------------------------------------------------------------- request --

RestoreRequest MakeRestoreRequest(const AppState& state) {
  RestoreRequest request;
  request.JobName = state.Shown.Name;
  request.JobIndex = state.SelectedJob;
  request.JobTarget = state.Shown.TargetDir;
  // The rows and exclusions exactly as a run of the job has them.
  const RunRequest run = MakeRunRequest(state, state.Shown.Name, true);
  request.Rows = run.Rows;
  request.Exclusions = ExclusionRule(run.ExcludedExts, run.ExcludedFiles, run.Options.Patterns);
  return request;
}

std::optional<std::string> RelativeOf(const RestoreRequest& request, const std::string& path) {
  const auto normal = Normalised(path);
  if (!normal || normal->empty()) return std::nullopt;
  if ((*normal)[0] == '/') {
    for (const CopyRow& row : request.Rows) {
      const auto source = Normalised(row.source);
      if (!source) continue;
      const std::string name = GetLastPathPart(row.target);
      if (*source == "/") return Join(name, normal->substr(1));
      if (*normal == *source) return name;
      if (AtOrBelow(*normal, *source)) return Join(name, normal->substr(source->size() + 1));
    }
    return std::nullopt;
  }
  const std::string first = FirstName(*normal);
  for (const CopyRow& row : request.Rows) {
    const std::string name = GetLastPathPart(row.target);
    if (name.empty() || name == first) return *normal;
  }
  return std::nullopt;
}

std::string DestinationOf(const RestoreRequest& request, const std::string& relative) {
  if (!request.ToFolder.empty()) return Join(request.ToFolder, relative);
  const std::string first = FirstName(relative);
  const std::string rest = relative.size() > first.size() ? relative.substr(first.size() + 1) : "";
  // Two source folders of one name share their target folder: the one
  // that holds the path now gets it back, else the first.
  const CopyRow* match = nullptr;
  for (const CopyRow& row : request.Rows) {
    if (GetLastPathPart(row.target) != first) continue;
    if (match == nullptr) match = &row;
    if (!rest.empty() && platform::PathExists(Join(row.source, rest))) {
      match = &row;
      break;
    }
  }
  if (match != nullptr) return Join(match->source, rest);
  for (const CopyRow& row : request.Rows)
    if (GetLastPathPart(row.target).empty()) return Join(row.source, relative);
  return std::string();
}

// ------------------------------------------------------------------- run --

std::string NewerQuestion(const std::string& destination) {
  return "Die Datei " + destination +
         " ist neuer als die Datei der Sicherung.\rSoll sie ersetzt werden? Die jetzige Datei "
         "wird vorher in den Versionen aufbewahrt.";
}

RestoreRun::RestoreRun(AppState* state, RestoreRequest request)
    : state_(state), request_(std::move(request)) {
  // A dry run leaves no trace, not even in the history.
  if (state_ != nullptr && !request_.DryRun)
    history_.Reset(history::ForJob(state_->Backups, request_.JobIndex, request_.Started),
                   history::Kind::Restore);
}

RestoreRun::Start RestoreRun::Check() {
  startFailure_.clear();
  Start start = Start::Go;
  if (!CopyEngine::IsFolder(request_.JobTarget)) {
    startFailure_ = "Das Zielverzeichnis " + request_.JobTarget +
                    " der Datensicherung existiert nicht. Ist der Datenträger angeschlossen? Es "
                    "wurde nichts wiederhergestellt.";
    start = Start::TargetMissing;
  } else if (!request_.ToFolder.empty() && !CopyEngine::IsFolder(request_.ToFolder)) {
    startFailure_ = MissingDriveText(request_.ToFolder);
    if (!startFailure_.empty()) start = Start::DestinationMissing;
  }
  if (start == Start::Go && !request_.ToFolder.empty()) {
    // The versions would read what is put there as kept files.
    const platform::FileId versionsId = platform::IdOf(versions::RootOf(request_.JobTarget));
    for (std::string folder = request_.ToFolder; !folder.empty() && folder != "/";
         folder = GetParentDir(folder)) {
      if (versionsId.known && platform::IdOf(folder) == versionsId) {
        startFailure_ = "In den Ordner " + versions::RootOf(request_.JobTarget) +
                        " kann nichts wiederhergestellt werden. Es wurde nichts wiederhergestellt.";
        start = Start::DestinationMissing;
        break;
      }
    }
  }
  if (start != Start::Go) {
    history_.NotStarted(startFailure_);
    ShowInfo(startFailure_, 1);
  }
  return start;
}

namespace {

// The steps of one restore: folders made as the files need them, each
// destination looked at, kept and written.
class Restorer {
 public:
  Restorer(const RestoreRequest& request, const TargetState& state, RestoreRun::Result& result,
           TDateTime start, RestoreObserver* observer)
      : request_(request), state_(state), result_(result), start_(start), observer_(observer) {}

  // Readies the destination of the state's folder `relative` and those
  // above it. False (reported once) when it cannot be.
  bool ReadyFolder(const std::string& relative);
  void RestoreFile(const StateEntry& entry);
  // New files are copied by these threads while the next ones are looked
  // at (null: each at once). Results are taken back in order, so report
  // and counts are those of one copy after the other.
  void UsePipeline(CopyPipeline* pipeline) { pipeline_ = pipeline; }
  // Takes back the finished copies; with `all` waits for every one.
  void TakeBack(bool all);
  // Gives the folders made their permissions and times, deepest first.
  void FinishFolders();

 private:
  void Error(const std::string& line) { result_.errors.push_back(line); }
  void CopyError(int code, const std::string& dest);
  // Looks at the destination `dest`; false when nothing is there.
  bool Describe(const std::string& dest, DirEntry& entry);
  // Copies the destination into the restore's folder of the versions.
  int Keep(const std::string& dest, const std::string& relative);

  const RestoreRequest& request_;
  const TargetState& state_;
  RestoreRun::Result& result_;
  const TDateTime start_;
  RestoreObserver* observer_;
  // Folders readied (true) or refused (false), by relative path.
  std::map<std::string, bool> ready_;
  // Folders made now: relative path and destination.
  std::vector<std::pair<std::string, std::string>> made_;
  // Folders made now that were not there before (relative paths).
  std::set<std::string> fresh_;
  bool askAll_ = false;
  bool yesAll_ = false;
  std::string keptName_;
  CopyPipeline* pipeline_ = nullptr;
  // The listing of the destination folder looked at last.
  std::string listed_;
  std::unique_ptr<platform::DirLister> listing_;
};

bool Restorer::ReadyFolder(const std::string& relative) {
  if (relative.empty()) return true;
  if (auto it = ready_.find(relative); it != ready_.end()) return it->second;
  bool ok = ReadyFolder(ParentOf(relative));
  const std::string dest = DestinationOf(request_, relative);
  if (ok && dest.empty()) ok = false;
  if (ok && !CopyEngine::IsFolder(dest)) {
    if (ParentOf(relative).empty() && request_.ToFolder.empty()) {
      // A source folder that is gone: made only under a parent that is
      // there, never on the system disk in place of a drive.
      const std::string text = MissingDriveText(dest);
      if (!text.empty()) {
        Error("Das Verzeichnis " + dest + " existiert nicht, und der Ordner " + GetParentDir(dest) +
              " darüber auch nicht. Ist der Datenträger angeschlossen? Dorthin wurde nichts "
              "wiederhergestellt.");
        ok = false;
      }
    }
    if (ok && !request_.DryRun) {
      const StateEntry* folder = state_.Find(relative);
      platform::DirLister from(folder != nullptr ? folder->from : std::string());
      bool made = false;
      int err = from.IsOpen() ? platform::PrepareCopyFolder(from.Handle(), dest, made)
                              : platform::MakeOwnFolder(dest);
      if (err == platform::kErrFileExists) err = platform::kErrDirectory;
      if (err != 0) {
        Error(dest + ": Das Zielverzeichnis konnte nicht angelegt werden.");
        ok = false;
      } else if (made || !from.IsOpen()) {
        made_.emplace_back(relative, dest);
        fresh_.insert(relative);
      }
    }
  } else if (ok && !request_.DryRun) {
    // What copies cut short by a kill left here: never a file of the
    // backup's folder.
    if (const StateEntry* folder = state_.Find(relative)) {
      platform::DirLister from(folder->from);
      if (from.IsOpen()) platform::RemoveCopyLeftovers(dest, from.Handle());
    }
  }
  ready_[relative] = ok;
  return ok;
}

void Restorer::TakeBack(bool all) {
  if (pipeline_ == nullptr) return;
  while (!pipeline_->Empty()) {
    CopyPipeline::Job* job = pipeline_->Oldest();
    if (job == nullptr) {
      if (!all && !pipeline_->Full()) return;
      pipeline_->Wait(1);
      continue;
    }
    const std::string dest = job->targetFolder + job->name;
    if (!job->skipped) {
      if (job->raised)
        CopyError(platform::kErrAccessDenied, dest);
      else if (job->result != 0)
        CopyError(job->result, dest);
      else {
        ++result_.restored;
        result_.bytes += static_cast<std::int64_t>(job->bytes);
      }
    }
    pipeline_->Retire();
  }
}

void Restorer::FinishFolders() {
  std::sort(made_.begin(), made_.end());
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
    const StateEntry* folder = state_.Find(it->first);
    if (folder == nullptr) continue;
    platform::DirLister from(folder->from);
    if (from.IsOpen()) platform::FinishCopyFolder(from.Handle(), it->second);
  }
}

void Restorer::CopyError(int code, const std::string& dest) {
  std::string line = ErrorText(code, dest + " ");
  if (line.find(dest) == std::string::npos) line = dest + ": " + line;
  std::string out;
  for (char c : line) {
    if (c == '\r')
      out += ": ";
    else
      out += c;
  }
  Error(out);
}

bool Restorer::Describe(const std::string& dest, DirEntry& entry) {
  const std::string folder = GetParentDir(dest);
  if (!listing_ || listed_ != folder) {
    listing_ = std::make_unique<platform::DirLister>(folder);
    listed_ = folder;
  }
  // A folder that cannot be listed: the copy, which never replaces a
  // file it does not know of, tells what is wrong.
  if (!listing_->IsOpen()) return false;
  return listing_->Describe(GetLastPathPart(dest), entry);
}

int Restorer::Keep(const std::string& dest, const std::string& relative) {
  if (keptName_.empty()) {
    if (int err = versions::MakeRunFolder(request_.JobTarget, start_, true, keptName_)) {
      keptName_.clear();
      return err;
    }
    result_.keptFolder = versions::RootOf(request_.JobTarget) + "/" + keptName_;
  }
  const std::string folder = result_.keptFolder;
  if (const std::string parent = ParentOf(relative); !parent.empty())
    if (int err = platform::MakeFoldersBelow(folder, parent)) return err;
  // On another disk as a rule: a copy, with the file's time.
  const std::string kept = folder + "/" + relative;
  int err = platform::CopyFile(dest, kept, true);
  for (int n = 2; err == platform::kErrFileExists && n < 1000; ++n)
    err = platform::CopyFile(dest, kept + "." + std::to_string(n), true);
  return err;
}

void Restorer::RestoreFile(const StateEntry& entry) {
  const std::string dest = DestinationOf(request_, entry.relative);
  if (observer_ != nullptr) observer_->SetCurrentFile("Stelle wieder her " + dest);
  if (dest.empty() || !ReadyFolder(ParentOf(entry.relative))) return;
  DirEntry there;
  // A folder this restore has just made holds nothing it did not put
  // there itself: no need to look.
  const bool exists = fresh_.count(ParentOf(entry.relative)) == 0 && Describe(dest, there);
  bool replace = false;
  if (exists) {
    if (there.kind == EntryKind::Directory) {
      Error(dest + ": An dieser Stelle steht ein Ordner; die Datei wurde nicht wiederhergestellt.");
      return;
    }
    if (there.kind == EntryKind::Other) {
      Error(dest + ": An dieser Stelle steht keine gewöhnliche Datei; sie wurde nicht ersetzt.");
      return;
    }
    if (there.kind == entry.kind && there.size == entry.size && there.mtime == entry.mtime) {
      ++result_.identical;
      return;
    }
    const bool newer = there.mtime > entry.mtime ||
                       (there.mtime == entry.mtime && there.mtimeNsec > entry.mtimeNsec);
    if (newer) {
      bool yes = yesAll_;
      // A dry run asks nothing: it tells what would need a "Ja".
      if (request_.DryRun) {
        yes = false;
      } else if (!askAll_) {
        switch (AskYesNoAll(NewerQuestion(dest))) {
          case UserInterface::AllAnswer::Yes:
            yes = true;
            break;
          case UserInterface::AllAnswer::No:
            yes = false;
            break;
          case UserInterface::AllAnswer::YesAll:
            askAll_ = yesAll_ = yes = true;
            break;
          case UserInterface::AllAnswer::NoAll:
            askAll_ = true;
            yesAll_ = yes = false;
            break;
        }
      }
      if (!yes) {
        result_.skippedNewer.push_back(dest);
        Error(dest + ": Die Datei ist neuer als die der Sicherung und wurde nicht ersetzt.");
        if (request_.DryRun) result_.plan.push_back("Neuer, nur nach Nachfrage ersetzt: " + dest);
        return;
      }
    }
    replace = true;
  }
  if (request_.DryRun) {
    result_.plan.push_back((replace ? "Ersetzen: " : "Wiederherstellen: ") + dest);
  } else {
    if (!replace && pipeline_ != nullptr) {
      // A new name: the copy never replaces anything, so it may run beside
      // the next ones.
      while (pipeline_->Full()) TakeBack(false);
      CopyPipeline::Job& job = pipeline_->NextFree();
      job.sourceFile = entry.from;
      job.targetFolder = GetParentDir(dest) + "/";
      job.name = GetLastPathPart(dest);
      job.bytes = entry.size;
      pipeline_->Submit();
      TakeBack(false);
      return;
    }
    // What is replaced waits for the copies before it: report lines and
    // questions come in the order of the files.
    if (pipeline_ != nullptr) TakeBack(true);
    if (replace) {
      if (int err = Keep(dest, entry.relative)) {
        std::string reason = ErrorText(err, dest + " ");
        for (char& c : reason)
          if (c == '\r') c = ' ';
        Error(dest +
              ": Die Datei konnte nicht in den Versionen aufbewahrt werden und wurde "
              "nicht ersetzt (" +
              reason + ").");
        return;
      }
    }
    // Only the finished copy takes the name: never half a file there.
    const int err = replace ? platform::CopyFileReplacing(entry.from, dest, true)
                            : platform::CopyFile(entry.from, dest, true);
    if (err != 0) {
      CopyError(err, dest);
      return;
    }
  }
  ++result_.restored;
  result_.bytes += static_cast<std::int64_t>(entry.size);
  if (replace) ++result_.replaced;
}

// Whether the job's exclusions leave out the state's path `relative`
// ("<source folder>/<path>"), taken below its source folder.
bool LeftOut(const RestoreRequest& request, const std::string& relative, bool folder) {
  const std::string first = FirstName(relative);
  for (const CopyRow& row : request.Rows)
    if (GetLastPathPart(row.target) == first)
      return relative.size() > first.size() &&
             request.Exclusions.LeavesOutPath(relative.substr(first.size() + 1), folder);
  // A source folder that is a root has no name of its own in the target.
  for (const CopyRow& row : request.Rows)
    if (GetLastPathPart(row.target).empty())
      return request.Exclusions.LeavesOutPath(relative, folder);
  return false;
}

}  // namespace

RestoreRun::Result RestoreRun::Run(RestoreObserver* observer) {
  Result result;
  const TDateTime start = Clock ? Clock() : ::Now();
  history_.Begin(start);
  std::vector<std::string> topNames;
  for (const CopyRow& row : request_.Rows) topNames.push_back(GetLastPathPart(row.target));

  TargetState state;
  if (state.Load(request_.JobTarget, topNames, request_.State) != 0) {
    result.failure = state.Failure() + " Es wurde nichts wiederhergestellt.";
    RecordEnd(result);
    ShowInfo(result.failure, 1);
    return result;
  }
  result.ran = true;

  // What: the files of every path named (or all), each once.
  std::vector<const StateEntry*> files;
  std::vector<const StateEntry*> folders;
  if (request_.Paths.empty()) {
    for (const StateEntry& e : state.Files())
      if (!LeftOut(request_, e.relative, false)) files.push_back(&e);
    for (const StateEntry& e : state.Folders())
      if (!LeftOut(request_, e.relative, true)) folders.push_back(&e);
  } else {
    std::set<std::string> seen;
    for (const std::string& path : request_.Paths) {
      const StateEntry* found = state.Find(path);
      if (found == nullptr) {
        result.errors.push_back(path + ": Im Stand (" + request_.State.Text() +
                                ") gibt es diese Datei nicht.");
        continue;
      }
      for (const StateEntry* e : state.FilesBelow(path))
        if (seen.insert(e->relative).second) files.push_back(e);
      for (const StateEntry& e : state.Folders())
        if (AtOrBelow(e.relative, path) && seen.insert(e.relative + "/").second)
          folders.push_back(&e);
    }
    std::sort(files.begin(), files.end(),
              [](const StateEntry* a, const StateEntry* b) { return a->relative < b->relative; });
  }
  if (observer != nullptr) observer->Planned(static_cast<std::int64_t>(files.size()));

  // A cancel that came before the start (a signal) is taken here.
  if (observer != nullptr) observer->ProcessEvents();
  if (!cancelled_ && !request_.DryRun && !request_.ToFolder.empty() &&
      !CopyEngine::IsFolder(request_.ToFolder)) {
    // Its parent is there (Check): the one folder is made, open to its
    // owner only.
    if (int err = platform::MakeOwnFolder(request_.ToFolder);
        err != 0 && err != platform::kErrFileExists) {
      result.errors.push_back(request_.ToFolder +
                              ": Das Zielverzeichnis konnte nicht angelegt werden.");
      files.clear();
      folders.clear();
    }
  }

  Restorer restorer(request_, state, result, start, observer);
  // One copy thread per processor (at most four), as a backup's.
  const unsigned processors = std::thread::hardware_concurrency();
  const int threads = CopyThreads >= 0  ? CopyThreads
                      : processors >= 2 ? static_cast<int>(std::min(processors, 4u))
                                        : 0;
  std::unique_ptr<CopyPipeline> pipeline;
  if (threads > 0 && !request_.DryRun) {
    pipeline = std::make_unique<CopyPipeline>(threads, [](CopyPipeline::Job& job) {
      return platform::CopyFile(job.sourceFile, job.targetFolder + job.name, true);
    });
    restorer.UsePipeline(pipeline.get());
  }
  std::int64_t handled = 0;
  for (const StateEntry* entry : files) {
    if (observer != nullptr) observer->ProcessEvents();
    if (cancelled_) {
      if (pipeline) pipeline->SkipPending();
      break;
    }
    restorer.RestoreFile(*entry);
    ++handled;
    if (observer != nullptr) observer->SetCounts(handled, result.restored);
  }
  restorer.TakeBack(true);
  if (observer != nullptr) observer->SetCounts(handled, result.restored);
  // Empty folders of the state are given back too.
  for (const StateEntry* folder : folders) {
    if (cancelled_) break;
    restorer.ReadyFolder(folder->relative);
  }
  if (!request_.DryRun) restorer.FinishFolders();
  result.cancelled = cancelled_;
  if (result.cancelled)
    result.errors.push_back("Die Wiederherstellung wurde durch den Benutzer abgebrochen.");

  // The report, as a run's: Windows-1252, CR LF, names kept visible.
  std::string job = request_.JobName;
  std::vector<std::string>& lines = result.reportLines;
  lines.push_back("Wiederherstellung \"" + job + "\" am " + FormatDateText(4, start) + " um " +
                  InsertTimeColon(FormatTimeDigits(start)) + " Uhr.");
  lines.push_back("(Stand: " + request_.State.Text() + ")");
  lines.push_back(std::string());
  if (request_.DryRun) {
    lines.push_back("Probelauf: Es wurde nichts geschrieben.");
    lines.insert(lines.end(), result.plan.begin(), result.plan.end());
  }
  if (result.errors.empty()) {
    lines.push_back("Es sind keine Fehler aufgetreten.");
  } else {
    lines.push_back("Folgende Fehler sind aufgetreten:");
    lines.insert(lines.end(), result.errors.begin(), result.errors.end());
  }
  lines.push_back(IntToText(static_cast<std::int32_t>(result.restored)) +
                  (request_.DryRun ? " Dateien würden wiederhergestellt."
                                   : " Dateien wurden wiederhergestellt."));
  if (!result.keptFolder.empty())
    lines.push_back(IntToText(static_cast<std::int32_t>(result.replaced)) +
                    " ersetzte Dateien wurden in " + result.keptFolder + " aufbewahrt.");

  if (!request_.DryRun && state_ != nullptr && request_.JobIndex >= 0) {
    result.reportPath =
        tBackups::GetDataDir() + state_->Backups.GetRestoreLogFileName(request_.JobIndex);
    if (int code = textfile::WriteLinesVisible(result.reportPath, lines)) {
      result.failure = WriteFailureText("Das Protokoll", result.reportPath, code);
      RecordEnd(result);
      ShowInfo(result.failure, 1);
      return result;
    }
    result.reportWritten = true;
  }
  RecordEnd(result);
  if (observer != nullptr) observer->ReportWritten(lines, result.Clean());
  // As after a backup: errors offer the report, a cancel does not.
  if (result.reportWritten && !result.errors.empty() && !result.cancelled)
    result.reportViewed = OfferReportView(result.reportPath);
  if (result.cancelled) ShowInfo("Die Wiederherstellung wurde abgebrochen.", 0);
  return result;
}

void RestoreRun::RecordEnd(const Result& result) {
  history::Counts counts;
  counts.files = result.restored;
  counts.errors = static_cast<std::int64_t>(result.errors.size()) - (result.cancelled ? 1 : 0);
  counts.versions = result.replaced;
  counts.bytes = result.bytes;
  const history::Outcome outcome = result.cancelled ? history::Outcome::Cancelled
                                   : result.Clean() ? history::Outcome::Ok
                                                    : history::Outcome::Errors;
  history_.End(outcome, counts, result.reportLines, result.failure);
}

}  // namespace restore
