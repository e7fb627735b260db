#include "core/verify/checklogic.h"

#include <algorithm>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "core/backup/copyengine.h"
#include "core/backup/runrequest.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/singlefile.h"
#include "core/versions/keeper.h"
#include "core/versions/versions.h"
#include "platform/platform.h"

namespace {

class SilentObserver : public CheckObserver {
 public:
  void ShowDirectory(const std::string&) override {}
  void ShowFileTotal(std::int32_t) override {}
  void ShowTotals(std::int32_t, std::int32_t) override {}
  void ShowRowResult(int, const std::string&) override {}
  void ProcessEvents() override {}
};

SilentObserver silentObserver;

bool IsCopyable(platform::EntryKind kind) {
  return kind == platform::EntryKind::File || kind == platform::EntryKind::Symlink;
}

// Counts the files of the open listing of root + sub and below; the
// folders `skip` holds and those the rule leaves out are not entered.
std::int32_t CountBelow(platform::DirLister& lister, const std::string& root,
                        const std::string& sub, const SkippedFolders& skip,
                        const ExclusionRule* rule) {
  std::int32_t count = 0;
  platform::DirEntry entry;
  while (lister.Next(entry, false)) {
    if (entry.kind == platform::EntryKind::Directory) {
      if (rule != nullptr && rule->LeavesOut(sub, entry.name, true)) continue;
      std::string below = sub + entry.name + "/";
      platform::DirLister child(lister, entry.name, root + below);
      // A folder swapped for a link counts as the link, as a run copies it.
      if (child.TurnedIntoNonFolder()) ++count;
      if (!child.IsOpen() || skip.Holds(child.Id())) continue;
      count += CountBelow(child, root, below, skip, rule);
    } else if (IsCopyable(entry.kind)) {
      ++count;
    }
  }
  return count;
}

}  // namespace

// ------------------------------------------------------------ entries --

std::string MissingEntry::Line() const {
  return IntToText(count) + "*" + sourceRoot + "*" + subDir + "*" + targetRoot;
}

bool ParseMissingEntry(const std::string& line, MissingEntry& entry) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t star = line.find('*', start);
    if (star == std::string::npos) break;
    parts.push_back(line.substr(start, star - start));
    start = star + 1;
  }
  if (start < line.size()) parts.push_back(line.substr(start));
  if (parts.size() != 4) return false;
  entry.count = TextToInt(parts[0]);
  entry.sourceRoot = parts[1];
  entry.subDir = parts[2];
  entry.targetRoot = parts[3];
  return true;
}

// ------------------------------------------------------------- report --

void CheckReport::Clear() {
  lines_.clear();
  entries_.clear();
  entryOf_.clear();
  differing_.clear();
}

void CheckReport::AddLine(const std::string& text) {
  lines_.push_back(text);
  entryOf_.push_back(-1);
}

void CheckReport::AddEntry(const MissingEntry& entry) {
  lines_.push_back(entry.Line());
  entryOf_.push_back(static_cast<int>(entries_.size()));
  entries_.push_back(entry);
}

void CheckReport::SetLine(std::size_t index, const std::string& text) {
  if (index >= lines_.size()) return;
  lines_[index] = text;
  entryOf_[index] = -1;
}

void CheckReport::AddContentLine(const std::string& text) {
  lines_.push_back(text);
  entryOf_.push_back(kContentLine);
}

void CheckReport::AddDiffering(const MissingEntry& file) {
  AddContentLine(file.SourceDir() + (file.differing.empty() ? std::string() : file.differing[0]));
  differing_.push_back(file);
}

std::vector<std::string> CheckReport::CountFileLines() const {
  std::vector<std::string> lines;
  lines.reserve(lines_.size());
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (entryOf_[i] != kContentLine) lines.push_back(lines_[i]);
  return lines;
}

const MissingEntry* CheckReport::EntryAt(std::size_t index) const {
  if (index >= entryOf_.size() || entryOf_[index] < 0) return nullptr;
  return &entries_[static_cast<std::size_t>(entryOf_[index])];
}

CheckReport CheckReport::FromLines(const std::vector<std::string>& lines) {
  CheckReport report;
  for (const std::string& line : lines) {
    MissingEntry entry;
    if (ParseMissingEntry(line, entry)) {
      report.lines_.push_back(line);
      report.entryOf_.push_back(static_cast<int>(report.entries_.size()));
      report.entries_.push_back(entry);
    } else {
      report.AddLine(line);
    }
  }
  return report;
}

std::vector<MissingEntry> CompletionEntries(const CheckReport& report) {
  std::vector<MissingEntry> result;
  if (report.Size() < 6) return result;
  for (std::size_t i = 4; i + 1 < report.Size(); ++i) {
    if (const MissingEntry* entry = report.EntryAt(i)) result.push_back(*entry);
  }
  // A differing file joins the row of its directory, or gets one.
  for (const MissingEntry& file : report.Differing()) {
    auto row = std::find_if(result.begin(), result.end(), [&](const MissingEntry& e) {
      return e.sourceRoot == file.sourceRoot && e.subDir == file.subDir &&
             e.targetRoot == file.targetRoot;
    });
    if (row == result.end()) {
      MissingEntry entry = file;
      entry.count = 0;
      entry.differing.clear();
      row = result.insert(result.end(), entry);
    }
    row->differing.insert(row->differing.end(), file.differing.begin(), file.differing.end());
  }
  return result;
}

// --------------------------------------------------------------- rows --

CheckRow MakeCheckRow(const std::string& source, const std::string& targetDir) {
  return CheckRow{source, AddBackslash(targetDir) + GetLastPathPart(source), "?"};
}

SkippedFolders SkippedFoldersOf(const std::string& rowTarget) {
  SkippedFolders skip;
  skip.target = platform::IdOf(rowTarget);
  // The job's target: the row target's parent (the row target itself for
  // a source that is a root, whose last name is empty).
  std::string jobTarget = !rowTarget.empty() && rowTarget.back() == '/'
                              ? rowTarget
                              : GetParentDir(RemoveBackslash(rowTarget));
  if (jobTarget.empty() && !rowTarget.empty() && rowTarget[0] == '/') jobTarget = "/";
  if (!jobTarget.empty()) skip.versions = platform::IdOf(versions::RootOf(jobTarget));
  return skip;
}

std::int32_t CountCopyableFiles(const std::string& folder, const SkippedFolders& skip,
                                const ExclusionRule* rule) {
  if (folder.empty()) return 0;
  platform::DirLister lister(AddBackslash(folder));
  return CountBelow(lister, AddBackslash(folder), std::string(), skip, rule);
}

std::string CountHeader(const std::string& jobName, TDateTime moment) {
  return "Dateizählung \"" + jobName + "\" am " + FormatDateText(4, moment) + " um " +
         InsertTimeColon(FormatTimeDigits(moment)) + " Uhr.";
}

std::string MissingStartLine(const std::string& source) {
  return "Das Startverzeichnis " + source +
         " existiert nicht. Es konnten keine Dateien aus diesem Verzeichnis kopiert werden.";
}

// -------------------------------------------------------------- check --

BackupCheck::BackupCheck() : Clock([] { return Now(); }), observer_(&silentObserver) {}

void BackupCheck::SetExclusions(const std::string& excludedExts, const std::string& excludedFiles,
                                const std::vector<std::string>& patterns) {
  excludedExts_ = text::Upper(excludedExts);
  excludedFiles_ = text::Upper(excludedFiles);
  rule_ = ExclusionRule(excludedExts_, excludedFiles_, patterns);
}

void BackupCheck::SetObserver(CheckObserver* observer) {
  observer_ = observer ? observer : &silentObserver;
}

void BackupCheck::RunCheck() {
  history::Recorder record(History, history::Kind::Check);
  record.Begin(Clock());
  Report.Clear();
  CountSourceFiles();
  Report.AddLine(CountHeader(JobName, Clock()));
  const std::size_t noteLine = Report.Size();
  Report.AddLine(std::string());
  Report.AddLine("Anzahl der fehlenden Dateien:");
  Report.AddLine(std::string());
  MissingSum = 0;
  incomplete_.clear();
  ResetContent();
  CompareTargets();
  AddContentFindings();
  Report.AddLine("Summe: " + IntToText(MissingSum));
  if (Cancelled()) {
    const std::string note = "Der Zählvorgang wurde abgebrochen";
    observer_->ShowDirectory(note);
    Report.SetLine(1, note + ". Die Angaben sind unvollständig.");
  } else {
    // Files after a failed read were never seen: the figures say so.
    if (!incomplete_.empty()) Report.SetLine(noteLine, incomplete_);
    observer_->ShowDirectory("Fertig!");
  }
  // Files missing in the target, and those whose bytes differ from their
  // copy, are what the check finds wrong.
  history::Counts counts;
  counts.errors = MissingSum + DifferingTotal;
  record.End(Cancelled()                                 ? history::Outcome::Cancelled
             : counts.errors == 0 && incomplete_.empty() ? history::Outcome::Ok
                                                         : history::Outcome::Errors,
             counts, Report.Lines());
}

void BackupCheck::CountSourceFiles() {
  FileTotal = 0;
  CheckCancel = 0;
  for (std::size_t i = 0; i < Rows.size(); ++i) {
    CheckRow& row = Rows[i];
    if (platform::DirExists(row.source)) {
      observer_->ShowDirectory(row.source);
      FileTotal += CountCopyableFiles(row.source, SkippedFoldersOf(row.target), &rule_);
      observer_->ShowFileTotal(FileTotal);
      observer_->ShowDirectory(row.target);
      if (Cancelled()) return;
    } else {
      row.missing = "Nicht gefunden";
      observer_->ShowRowResult(static_cast<int>(i), row.missing);
      Report.AddLine(std::string());
      Report.AddLine(MissingStartLine(row.source));
    }
  }
}

void BackupCheck::CompareTargets() {
  FoundTotal = 0;
  PresentTotal = 0;
  struct EndReadAhead {
    std::unique_ptr<platform::ReadAhead>& ahead;
    ~EndReadAhead() { ahead.reset(); }
  } endReadAhead{readAhead_};
  // Chosen by itself, the check reads ahead only where no source or target
  // lies on a rotating disk: the threads look files up one by one, out of
  // the order the disk holds them.
  const bool rotating =
      ReadAheadThreads < 0 && std::any_of(Rows.begin(), Rows.end(), [](const CheckRow& row) {
        return platform::OnRotatingDisk(row.source) || platform::OnRotatingDisk(row.target);
      });
  if (ReadAheadThreads != 0 && !rotating)
    readAhead_ = std::make_unique<platform::ReadAhead>(ReadAheadThreads);
  for (std::size_t i = 0; i < Rows.size(); ++i) {
    CheckRow& row = Rows[i];
    rowFound_ = 0;
    rowPresent_ = 0;
    if (!platform::DirExists(row.source)) continue;
    observer_->ShowDirectory(row.source);
    // The target, however its path is spelled, is never counted as part
    // of its source.
    skipTarget_ = SkippedFoldersOf(row.target);
    {
      platform::DirLister lister(AddBackslash(row.source));
      CountMissing(lister, row.source, row.target, std::string());
    }
    skipTarget_ = SkippedFolders{};
    if (Cancelled()) return;
    FoundTotal += rowFound_;
    PresentTotal += rowPresent_;
    observer_->ShowTotals(FoundTotal, PresentTotal);
    row.missing = IntToText(rowFound_ - rowPresent_);
    observer_->ShowRowResult(static_cast<int>(i), row.missing);
  }
}

void BackupCheck::CountMissing(platform::DirLister& lister, const std::string& sourceRoot,
                               const std::string& targetRoot, const std::string& subDir) {
  observer_->ProcessEvents();
  const std::string source = AddBackslash(sourceRoot);
  const std::string target = AddBackslash(targetRoot);
  const std::string sub = AddBackslash(subDir);
  const std::string sourceDir = source + sub;
  observer_->ShowDirectory(ShortenText(sourceDir, 50));

  std::int32_t found = 0;
  std::int32_t present = 0;
  {
    platform::DirEntry entry;
    const std::string targetDir = target + sub;
    std::string targetFile = targetDir;  // + name for each entry
    const std::size_t targetLength = targetFile.size();
    // The target folder's own listing answers for every file found there
    // (one read of the folder instead of a lookup per file); what it does
    // not hold is looked for by name, which also finds a name that differs
    // in letter case on a target that ignores it.
    std::vector<std::string> inTargetDir;
    const bool listed = platform::ListFileNames(targetDir, inTargetDir);
    // Without that listing, threads ahead look for the files in the target.
    const bool ahead = !listed && readAhead_ != nullptr && readAhead_->Threads() > 0;
    platform::AheadListing entries(ahead ? readAhead_.get() : nullptr, lister, false,
                                   ahead ? &targetDir : nullptr);
    while (!Cancelled() && entries.Next(entry)) {
      observer_->ProcessEvents();
      if (Cancelled()) break;
      // Looked for ahead in the target: every entry listed as no folder.
      const bool lookedFor = ahead && entry.kind != platform::EntryKind::Directory;
      if (entry.kind == platform::EntryKind::Directory) {
        // A folder left out is never entered.
        if (rule_.LeavesOut(sub, entry.name, true)) continue;
        platform::DirLister child(lister, entry.name, sourceDir + entry.name + "/");
        if (child.TurnedIntoNonFolder()) {
          // Swapped for a link since it was listed: the link it now is.
          entry.kind = platform::EntryKind::Symlink;
        } else {
          if (child.IsOpen() && skipTarget_.Holds(child.Id())) continue;
          CountMissing(child, source, target, sub + entry.name);
          continue;
        }
      }
      if (IsCopyable(entry.kind) && !rule_.LeavesOut(sub, entry.name, false)) {
        ++rowFound_;
        ++found;
        bool inTarget = entries.Present();
        if (listed)
          inTarget = std::binary_search(inTargetDir.begin(), inTargetDir.end(), entry.name);
        if (!lookedFor && !inTarget) {
          targetFile.resize(targetLength);
          targetFile += entry.name;
          inTarget = platform::FileExists(targetFile);
        }
        if (inTarget) {
          ++rowPresent_;
          ++present;
          if (CompareContent && entry.kind == platform::EntryKind::File)
            CompareContentOf(source, sub, target, entry.name);
        }
      }
    }
    if (!Cancelled() && incomplete_.empty() && lister.ReadError() != 0)
      incomplete_ = "Das Verzeichnis " + sourceDir +
                    " konnte nicht vollständig gelesen werden (Fehlercode " +
                    IntToText(lister.ReadError()) + "). Die Angaben sind unvollständig.";
  }
  if (found > present) {
    Report.AddEntry(MissingEntry{found - present, source, sub, target});
    MissingSum += found - present;
  }
  observer_->ProcessEvents();
}

int BackupCheck::SaveCountFile(const std::string& path) const {
  return textfile::WriteLinesVisible(path, Report.CountFileLines());
}

// --------------------------------------------------------- completion --

void BackupCompletion::CompleteTicked(CompletionList& list) {
  // One run of the completion: what it replaces goes into one run folder.
  keeper_.reset();
  recopied_ = 0;
  history::Recorder record(History, history::Kind::Completion);
  const TDateTime start = Now();
  record.Begin(start);
  Copied = 0;
  CopiedBytes = 0;
  std::vector<std::string> report = {"Vervollständigung am " + FormatDateText(4, start) + " um " +
                                         InsertTimeColon(FormatTimeDigits(start)) + " Uhr.",
                                     std::string()};
  std::vector<bool> worked(static_cast<std::size_t>(list.RowCount()), false);
  for (int i = 0; i < list.RowCount(); ++i) {
    if (!list.IsTicked(i)) continue;
    list.SetCountText(i, list.CountText(i) + " >>>");
    list.KeepInView(i);
    MissingEntry entry = list.RowEntry(i);
    recopy_ = entry.differing;
    CompleteDirectory(entry.sourceRoot, entry.subDir, entry.targetRoot, list);
    report.push_back(AddBackslash(entry.sourceRoot) + entry.subDir + " -> " +
                     AddBackslash(entry.targetRoot) + entry.subDir);
    list.SetCountText(i, "OK");
    worked[static_cast<std::size_t>(i)] = true;
    if (CopyStatus != 0) break;
  }
  RecordCompletion(record, report);
  for (int i = static_cast<int>(worked.size()) - 1; i >= 0; --i) {
    if (worked[static_cast<std::size_t>(i)] && i < list.RowCount()) list.RemoveRow(i);
  }
}

void BackupCompletion::CompleteDirectory(const std::string& sourceRoot, const std::string& subDir,
                                         const std::string& targetRoot, CompletionList& list) {
  list.ProcessEvents();
  // A count file made before a folder was excluded may still name it.
  if (!subDir.empty() && Rule.LeavesOutPath(RemoveBackslash(subDir), true)) return;
  const std::string root = AddBackslash(targetRoot);
  const std::string sourceDir = AddBackslash(sourceRoot) + AddBackslash(subDir);
  const std::string targetDir = root + AddBackslash(subDir);
  // A target root that is not there yet is made, as a copy into it would
  // make it, but not on another disk in place of a drive that is missing
  // (the job's target folder and its parent both gone); one that goes
  // during the completion is never made again.
  if (!CopyEngine::IsFolder(targetRoot)) {
    const std::string jobTarget = GetParentDir(RemoveBackslash(targetRoot));
    const bool driveMissing = jobTarget.empty() || (!CopyEngine::IsFolder(jobTarget) &&
                                                    !MissingDriveText(jobTarget).empty());
    if (driveMissing || !CopyEngine::MakeTargetRoot(targetRoot)) {
      CopyStatus = platform::kErrDirectory;
      return;
    }
  }
  auto known = std::find_if(probed_.begin(), probed_.end(),
                            [&](const auto& probe) { return probe.first == root; });
  if (known == probed_.end())
    known = probed_.insert(probed_.end(), {root, platform::KeepsPermissions(root)});
  const bool keeps = known->second;
  if (!keeps) NoteLosses(true, root);
  const SkippedFolders skip = SkippedFoldersOf(targetRoot);

  // The folders from the source root down to this one, each readied in
  // the target (made where missing, no wider than its source).
  std::vector<std::unique_ptr<platform::DirLister>> chain;
  std::vector<std::string> targets;
  chain.push_back(std::make_unique<platform::DirLister>(AddBackslash(sourceRoot)));
  targets.push_back(root);
  const std::string sub = AddBackslash(subDir);
  for (std::size_t start = 0; start < sub.size();) {
    const std::size_t end = sub.find('/', start);
    const std::string name = sub.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    const std::string path = AddBackslash(sourceRoot) + sub.substr(0, end + 1);
    chain.push_back(std::make_unique<platform::DirLister>(*chain.back(), name, path));
    targets.push_back(root + sub.substr(0, end + 1));
  }
  std::size_t prepared = 0;
  for (; prepared < chain.size() && chain[prepared]->IsOpen(); ++prepared) {
    const std::string& target = targets[prepared];
    bool made = false;
    if (platform::PrepareCopyFolder(chain[prepared]->Handle(),
                                    target.size() > 1 ? RemoveBackslash(target) : target,
                                    made) != 0) {
      CopyStatus = platform::kErrDirectory;
      break;
    }
  }
  if (CopyStatus == 0 && prepared == chain.size()) {
    platform::DirLister& lister = *chain.back();
    platform::DirEntry entry;
    std::vector<std::string> files, folders;
    while (lister.Next(entry, false)) {
      if (Rule.LeavesOut(sub, entry.name, entry.kind == platform::EntryKind::Directory)) continue;
      if (entry.kind == platform::EntryKind::Directory)
        folders.push_back(entry.name);
      else if (IsCopyable(entry.kind))
        files.push_back(entry.name);
    }
    // What copies cut short by a kill left here (a completion killed
    // before): never a file the source folder holds itself.
    platform::RemoveCopyLeftovers(targetDir, lister.Handle());
    // Folders the target lacks, also those that hold no file: made first,
    // so that a copy that fails does not keep them out.
    for (const std::string& name : folders) {
      if (platform::PathExists(targetDir + name)) continue;
      platform::DirLister child(lister, name, sourceDir + name + "/");
      if (!child.IsOpen() || skip.Holds(child.Id())) continue;
      bool made = false;
      if (platform::PrepareCopyFolder(child.Handle(), targetDir + name, made) != 0) continue;
      MakeSubFolders(child, sourceDir + name + "/", targetDir + name + "/", sub + name + "/", skip);
      platform::FinishCopyFolder(child.Handle(), targetDir + name, &losses_);
    }
    for (const std::string& name : files) {
      list.ProcessEvents();
      if (CopyStatus != 0) break;
      if (RecopyDiffering(sourceDir, targetDir, targetRoot, subDir, name, lister.Handle()))
        continue;
      if (platform::FileExists(targetDir + name)) continue;
      CopyStatus = CopyOneFile(sourceDir + name, targetDir, true, true,
                               platform::SourceRef{lister.Handle(), &name}, root, &losses_);
      if (CopyStatus == 0) {
        ++Copied;
        CopiedBytes += static_cast<std::int64_t>(losses_.bytes);
      }
    }
  }
  // The folders on the way get their source's permissions, the deepest
  // first.
  while (prepared > 0) {
    --prepared;
    const std::string& target = targets[prepared];
    platform::FinishCopyFolder(chain[prepared]->Handle(),
                               target.size() > 1 ? RemoveBackslash(target) : target, &losses_);
  }
  if (keeps && losses_.attributes) NoteLosses(false, root);
  list.ProcessEvents();
}

void BackupCompletion::RecordCompletion(history::Recorder& record,
                                        std::vector<std::string>& report) const {
  report.emplace_back();
  report.push_back(IntToText(static_cast<std::int32_t>(Copied)) + " Dateien wurden kopiert.");
  if (CopyStatus == kCheckCancelled)
    report.push_back("Die Vervollständigung wurde durch den Benutzer abgebrochen.");
  else if (CopyStatus != 0) {
    std::string failure = ErrorText(CopyStatus, std::string());
    std::replace(failure.begin(), failure.end(), '\r', ' ');
    report.push_back(failure);
  }
  report.insert(report.end(), Notes.begin(), Notes.end());
  if (recopied_ > 0)
    report.push_back(std::to_string(recopied_) +
                     " abweichende Dateien wurden neu kopiert; ihre bisherige Fassung ist in " +
                     (keeper_ ? keeper_->RunFolderPath() : std::string()) + " aufbewahrt.");
  history::Counts counts;
  counts.files = Copied;
  counts.bytes = CopiedBytes;
  counts.versions = recopied_;
  counts.errors = CopyStatus != 0 && CopyStatus != kCheckCancelled ? 1 : 0;
  record.End(CopyStatus == kCheckCancelled ? history::Outcome::Cancelled
             : CopyStatus == 0             ? history::Outcome::Ok
                                           : history::Outcome::Errors,
             counts, report);
}

void BackupCompletion::MakeSubFolders(platform::DirLister& source, const std::string& sourceDir,
                                      const std::string& targetDir, const std::string& relative,
                                      const SkippedFolders& skip) {
  platform::DirEntry entry;
  while (source.Next(entry, false)) {
    if (entry.kind != platform::EntryKind::Directory) continue;
    if (Rule.LeavesOut(relative, entry.name, true)) continue;
    platform::DirLister child(source, entry.name, sourceDir + entry.name + "/");
    if (!child.IsOpen() || skip.Holds(child.Id())) continue;
    bool made = false;
    const std::string target = targetDir + entry.name;
    if (platform::PrepareCopyFolder(child.Handle(), target, made) != 0) continue;
    MakeSubFolders(child, sourceDir + entry.name + "/", target + "/", relative + entry.name + "/",
                   skip);
    platform::FinishCopyFolder(child.Handle(), target, &losses_);
  }
}

void BackupCompletion::NoteLosses(bool permissions, const std::string& root) {
  if (Notes.empty() && (permissions || losses_.attributes))
    Notes.push_back(LossNote(permissions, root));
}

CheckRequest MakeCheckRequest(const AppState& state, const std::string& jobName, CheckMode mode) {
  CheckRequest request;
  request.JobName = jobName;
  request.JobIndex = state.SelectedJob;
  request.Mode = mode;
  if (request.JobIndex >= 0 && request.JobIndex < state.Backups.Count()) {
    request.History = history::ForJob(state.Backups, request.JobIndex, history::Started::Window);
    request.ExcludedExts = state.Backups.LoadJobText(request.JobIndex, 1);
    request.ExcludedFiles = state.Backups.LoadJobText(request.JobIndex, 2);
    request.Patterns = JobPatterns(state.Backups, request.JobIndex);
  }
  // One row per source directory; a job without any shows the header only.
  for (const std::string& source : state.Shown.Directories)
    request.Rows.push_back(MakeCheckRow(source, state.Shown.TargetDir));
  return request;
}
