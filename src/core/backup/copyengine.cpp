#include "core/backup/copyengine.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <set>
#include <thread>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/singlefile.h"
#include "core/versions/keeper.h"
#include "core/versions/prune.h"
#include "core/versions/versions.h"
#include "platform/compare.h"

namespace {

class SilentObserver : public CopyObserver {
 public:
  void SetCurrentFile(const std::string&) override {}
  void SetCount(const std::string&) override {}
  void SetRowCount(int, const std::string&) override {}
  void ProcessEvents() override {}
};

SilentObserver silentObserver;

const char kCancelLine[] = "Der Kopiervorgang wurde durch den Benutzer abgebrochen.";
const char kStampKeptLine[] =
    "Wegen dieser Fehler bleibt das Datum der letzten Sicherung unverändert.";

// The run mark: one path per line, each ended by "\n", as the paths are.
void WriteMark(const std::string& path, const std::vector<std::string>& roots) {
  std::string bytes;
  for (const std::string& root : roots) bytes += root + "\n";
  platform::WriteFileAtomic(path, bytes);
}

// Replaces every "\r" by ": ".
std::string JoinBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\r')
      out += ": ";
    else
      out += c;
  }
  return out;
}

}  // namespace

bool CopyEngine::IsFolder(const std::string& path) {
  // A root the user chose may be a link to a folder ("dir/." is the
  // folder it leads to); links met during the walk are never followed.
  return platform::DirExists(path) ||
         (!path.empty() && platform::DirExists(AddBackslash(path) + "."));
}

CopyEngine::CopyEngine() : Clock([] { return Now(); }), observer_(&silentObserver) {}

CopyEngine::~CopyEngine() = default;

int CopyEngine::ThreadsToUse() const {
  if (CopyThreads >= 0) return CopyThreads;
  // On a single processor a second thread only adds hand-overs.
  const unsigned processors = std::thread::hardware_concurrency();
  return processors >= 2 ? static_cast<int>(std::min(processors, 4u)) : 0;
}

void CopyEngine::SetExclusions(const std::string& excludedExts, const std::string& excludedFiles,
                               const std::vector<std::string>& patterns) {
  exclusions_ = ExclusionRule(excludedExts, excludedFiles, patterns);
}

void CopyEngine::SetObserver(CopyObserver* observer) {
  observer_ = observer != nullptr ? observer : &silentObserver;
}

bool CopyEngine::StopsWalk(std::int32_t status) {
  return status == kCancelled || status == kDiskFull || status == kNoTargetDir;
}

void CopyEngine::StartRun() {
  RunStarted = Clock();
  CopiedTotal = 0;
  BytesCopied = 0;
  CopiedInRow = 0;
  CurrentRow = 0;
  RunStatus = 0;
  RowMark.clear();
  RunReport.clear();
  Plan.clear();
  Planned = PlanCounts{};
  RunNotes.clear();
  VersionLines.clear();
  keeper_.reset();
}

std::int64_t CopyEngine::VersionsKept() const { return keeper_ ? keeper_->Kept() : 0; }

std::string CopyEngine::VersionsPrefix(const std::string& rowTarget) const {
  const std::string job = AddBackslash(JobTarget);
  std::string rel = RemoveBackslash(rowTarget);
  if (rel.compare(0, job.size(), job) == 0)
    rel.erase(0, job.size());
  else
    rel = GetLastPathPart(rel);  // not below the job target: by its name
  while (!rel.empty() && rel.front() == '/') rel.erase(0, 1);
  return rel.empty() ? rel : rel + "/";
}

void CopyEngine::StartVersions() {
  versionsRoot_.clear();
  versionsId_ = platform::FileId{};
  if (JobTarget.empty()) return;
  versionsRoot_ = versions::RootOf(JobTarget);
  versionsId_ = platform::IdOf(versionsRoot_);
  // A dry run neither keeps nor prunes: the versions folder is only known
  // so that the walk passes it by.
  if (!KeepVersions || DryRun) return;
  keeper_ = std::make_unique<versions::Keeper>(JobTarget, RunStarted);
  if (VersionDays > 0) VersionLines = versions::PruneRunFolders(JobTarget, RunStarted, VersionDays);
}

void CopyEngine::FinishVersions() {
  if (!keeper_) return;
  if (const int err = keeper_->Finish()) {
    const std::string folder = keeper_->RunFolderPath();
    VersionLines.push_back("Die Liste der neu hinzugekommenen Dateien konnte nicht in " +
                           (folder.empty() ? versionsRoot_ : folder) +
                           " geschrieben werden (Fehlercode " + IntToText(err) + ").");
  }
}

bool CopyEngine::RefuseVersionsSource(const std::string& source) {
  if (!versions::IsVersionsFolderPath(source)) return false;
  RunReport.push_back("Das Verzeichnis " + source + " wurde nicht gesichert: Ein Ordner namens " +
                      versions::kFolderName +
                      " enthält die aufbewahrten Versionen einer Sicherung. Bitte entfernen Sie "
                      "ihn aus der Verzeichnisliste.");
  RowMark = "?? ";
  return true;
}

bool CopyEngine::IsVersionsFolder(const platform::FileId& id) {
  if (versionsRoot_.empty()) return false;
  // Made during this run: its identity is known from then on.
  if (!versionsId_.known && keeper_ && !keeper_->RunFolderName().empty())
    versionsId_ = platform::IdOf(versionsRoot_);
  return versionsId_.known && id == versionsId_;
}

bool CopyEngine::LandsOnVersions(const std::string& sourceFolder, const std::string& targetFolder) {
  if (versionsRoot_.empty() || targetFolder.size() != versionsRoot_.size() + 1 ||
      targetFolder.compare(0, versionsRoot_.size(), versionsRoot_) != 0)
    return false;
  RunReport.push_back("Das Verzeichnis " + sourceFolder + " wurde nicht gesichert: Sein Ziel " +
                      "wäre der Ordner " + versionsRoot_ +
                      " mit den aufbewahrten Versionen der Sicherung.");
  RowMark = "?? ";
  return true;
}

void CopyEngine::RunRows(const std::vector<CopyRow>& rows) {
  const bool killedBefore = !DryRun && EnterRunMark(rows);
  StartVersions();
  // The list of the added files is written however the walk ends, after
  // the last copy.
  struct EndVersions {
    CopyEngine& engine;
    ~EndVersions() {
      try {
        engine.FinishVersions();
      } catch (...) {
      }
    }
  } endVersions{*this};
  {
    // The copy threads live as long as the walk.
    struct EndCopies {
      std::unique_ptr<CopyPipeline>& pipeline;
      std::unique_ptr<platform::ReadAhead>& readAhead;
      ~EndCopies() {
        pipeline.reset();
        readAhead.reset();
      }
    } endCopies{pipeline_, readAhead_};
    // Only an incremental run reads the stamps of the entries. The threads
    // take whole folders, each in the order of its listing, which also
    // helps a cold walk on a rotating disk (more requests for the disk to
    // order, none scattered within a folder).
    if (!FullBackup && ReadAheadThreads != 0)
      readAhead_ = std::make_unique<platform::ReadAhead>(ReadAheadThreads);
    sweep_ = killedBefore;
    failedFolders_.clear();
    targetRoots_.clear();
    for (const CopyRow& row : rows) {
      platform::FileId id = platform::IdOf(row.target);
      if (id.known) targetRoots_.push_back(id);
    }
    for (std::size_t i = 0; i < rows.size() && RunStatus != kCancelled; ++i) {
      const CopyRow& row = rows[i];
      int r = static_cast<int>(i) + 1;
      observer_->SetRowCount(r, "<<<");
      CopiedInRow = 0;
      CurrentRow = r;
      RowMark = "OK ";
      if (RefuseVersionsSource(row.source)) {
        // Not walked.
      } else if (!IsFolder(row.source)) {
        RunReport.emplace_back();
        RunReport.push_back("Das Startverzeichnis " + row.source +
                            " existiert nicht. Es konnten keine Dateien aus diesem Verzeichnis "
                            "kopiert werden.");
      } else if (!StopsWalk(RunStatus)) {
        rowTarget_ = AddBackslash(row.target);
        if (keeper_) rowVersions_ = VersionsPrefix(row.target);
        // The target root is made before the walk: only a root that cannot
        // be made (the drive is gone) stops the run; a folder below it is
        // reported and skipped.
        const bool rootThere = IsFolder(row.target);
        if (DryRun && !rootThere) Plan.push_back("Neues Zielverzeichnis: " + row.target);
        if (!rootThere && !DryRun && !MakeTargetRoot(row.target)) {
          RunStatus = kNoTargetDir;
          ReportCopyError(kNoTargetDir, row.source, rowTarget_);
          RowMark = "?? ";
        } else {
          platform::FileId id = platform::IdOf(row.target);
          if (id.known &&
              std::find(targetRoots_.begin(), targetRoots_.end(), id) == targetRoots_.end())
            targetRoots_.push_back(id);
          // Probed once per target root (a dry run writes no probe file).
          ignoresCase_ = DryRun ? platform::LooksCaseInsensitive(row.target)
                                : platform::IgnoresLetterCase(row.target);
          keepsPermissions_ = DryRun || platform::KeepsPermissions(row.target);
          if (!keepsPermissions_) NoteLosses(true, row.target);
          WalkDirectory(row.source, row.target, std::string(), RunStatus, false);
          if (RunStatus == kCancelled) break;
        }
      }
      observer_->SetRowCount(CurrentRow, RowMark + IntToText(CopiedInRow));
    }
  }
  if (RunStatus == kDiskFull || RunStatus == kNoTargetDir)
    RunReport.push_back(
        "Der Kopiervorgang wurde vorzeitig beendet. Die weiteren Dateien wurden nicht kopiert.");
  if (!DryRun) LeaveRunMark();
}

bool CopyEngine::EnterRunMark(const std::vector<CopyRow>& rows) {
  markedElsewhere_.clear();
  if (RunMark.empty()) return false;
  std::vector<std::string> marked;
  const bool found = platform::PathExists(RunMark);
  std::string bytes;
  if (found && platform::ReadWholeFile(RunMark, bytes)) {
    // One target root per line, as the paths are (UTF-8).
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
      marked.push_back(bytes.substr(start, end - start));
  }
  std::vector<std::string> lines;
  for (const CopyRow& row : rows) lines.push_back(AddBackslash(row.target));
  for (const std::string& root : marked) {
    if (root.empty() || std::find(lines.begin(), lines.end(), root) != lines.end()) continue;
    markedElsewhere_.push_back(root);
  }
  lines.insert(lines.end(), markedElsewhere_.begin(), markedElsewhere_.end());
  // The mark holds the roots of this run and those of killed runs that
  // still wait for their leftovers to go.
  WriteMark(RunMark, lines);
  return found;
}

void CopyEngine::LeaveRunMark() {
  sweep_ = false;
  if (RunMark.empty()) return;
  if (markedElsewhere_.empty())
    platform::DeleteFile(RunMark);
  else
    WriteMark(RunMark, markedElsewhere_);
}

int CopyEngine::WalkDirectory(const std::string& source, const std::string& target,
                              const std::string& folder, std::int32_t& status, bool dirDate) {
  // The root may be a link the user chose; below it nothing is followed.
  platform::DirLister listing(AddBackslash(source) + AddBackslash(folder));
  return Walk(listing, nullptr, source, target, folder, status, dirDate);
}

std::string CopyEngine::CaseClash(std::vector<std::pair<std::string, std::string>>& seen,
                                  const std::string& name) {
  const std::string folded = text::Upper(name);
  for (const auto& [key, first] : seen)
    if (key == folded) return first;
  seen.emplace_back(folded, name);
  return std::string();
}

void CopyEngine::ReportCaseClash(const std::string& folder, const std::string& name,
                                 const std::string& first) {
  RunReport.push_back(folder + name + " wurde nicht gesichert: Das Ziel unterscheidet den " +
                      "Namen nicht von " + folder + first + ".");
  RowMark = "?? ";
}

bool CopyEngine::InFailedFolder(const std::string& targetFolder) const {
  for (const std::string& failed : failedFolders_)
    if (targetFolder.compare(0, failed.size(), failed) == 0) return true;
  return false;
}

int CopyEngine::Walk(platform::DirLister& listing,
                     std::unique_ptr<platform::ReadAhead::Folder> ahead, const std::string& source,
                     const std::string& target, const std::string& folder, std::int32_t& status,
                     bool dirDate) {
  Events();
  int own = 0;
  const std::string s = AddBackslash(source);
  const std::string d = AddBackslash(target);
  const std::string f = AddBackslash(folder);
  {
    if (!listing.IsOpen()) {
      // A folder that cannot be read is not silently missing from the
      // backup.
      RunReport.push_back("Das Verzeichnis " + s + f +
                          " konnte nicht gelesen werden. Seine Dateien wurden nicht kopiert.");
      RowMark = "?? ";
    }
    // Every folder of the source has its folder in the target, also one
    // that holds no file to copy.
    const std::string targetFolder = d + f;
    bool made = false;
    const bool prepared = !DryRun && listing.IsOpen() && !StopsWalk(status) &&
                          PrepareTarget(listing.Handle(), targetFolder, status, made);
    if (!DryRun && listing.IsOpen() && !prepared) return own;
    // A folder made just now holds nothing that a run cut short left.
    bool cleaned = made;
    // The target root is looked at before the first copy into the folder.
    bool rootChecked = false;
    // The target folder, opened at its first copy: each copy is made and
    // named relative to it instead of walking the whole path again. Its
    // copies are all finished before it closes (declared before them).
    platform::UniqueFd targetHandle;
    if (sweep_ && listing.IsOpen()) {
      // A killed run may have left copies cut short here.
      platform::RemoveCopyLeftovers(d + f, listing.Handle());
      cleaned = true;
    }
    // On a target that ignores letter case: the names met in this folder.
    std::vector<std::pair<std::string, std::string>> seen;
    // Files and links: copied when the mode and the exclusions select them.
    // (`clashChecked`: the name was looked at already.)
    auto copyFile = [&](const platform::DirEntry& entry, bool clashChecked) {
      const std::string first =
          ignoresCase_ && !clashChecked ? CaseClash(seen, entry.name) : std::string();
      // A symlink is copied as the link itself, decided by its own stamp;
      // a link to a folder is never entered.
      const bool byStamp = !FullBackup && !dirDate;
      if (byStamp && entry.error != 0 && IsIncluded(f, entry.name)) {
        // Its stamp could not be read: it is not passed over in silence.
        RunReport.push_back("Das Datum der Datei " + s + f + entry.name +
                            " konnte nicht gelesen werden (Fehlercode " + IntToText(entry.error) +
                            "). Sie wurde nicht kopiert.");
        RowMark = "?? ";
        return;
      }
      if (!(IsIncluded(f, entry.name) && (!byStamp || IsNewer(entry)))) {
        if (DryRun) PlanSkip(s + f + entry.name);
        return;
      }
      if (!first.empty()) {
        // It would land on the first one: never copied over it.
        ReportCaseClash(s + f, entry.name, first);
        return;
      }
      if (DryRun) {
        PlanCopy(s + f + entry.name, d + f + entry.name, own);
        return;
      }
      if (!rootChecked) {
        // A root that is gone (the drive pulled out, the share dropped) is
        // never made again in its place: the run stops.
        rootChecked = true;
        if (!IsFolder(rowTarget_)) {
          StopAtTargetRoot(status);
          return;
        }
      }
      if (!cleaned) {
        // Before the first copy into the target folder: what a run cut
        // short left there goes. No copy of this run is in work in that
        // folder yet.
        platform::RemoveCopyLeftovers(d + f, listing.Handle());
        cleaned = true;
      }
      if (!targetHandle.Valid()) targetHandle = platform::OpenFolderHandle(d + f);
      CopyEntry(s, d, f, entry.name, listing.Handle(), targetHandle.Get(), status, own);
    };
    platform::DirEntry entry;
    // A full backup needs no stamps: the kind of each entry comes from the
    // listing itself, and the copy looks at the file when it opens it.
    // An incremental run with threads also reads the next sub-folders ahead.
    const std::string here = readAhead_ != nullptr ? s + f : std::string();
    // A folder left out is not read ahead either (nor one below it).
    const platform::AheadListing::SkipFolder leftOut = [&](const std::string& below,
                                                           const std::string& name) {
      return exclusions_.LeavesOut(below.empty() ? f : f + below, name, true);
    };
    const auto* skip = exclusions_.HasPatterns() ? &leftOut : nullptr;
    platform::AheadListing entries =
        ahead != nullptr
            ? platform::AheadListing(readAhead_.get(), std::move(ahead), &here, skip)
            : platform::AheadListing(readAhead_.get(), listing, !FullBackup, nullptr, &here, skip);
    // Should anything be raised during the walk, the copies of this level
    // end before its listing closes: the listing read ahead is owned by
    // `entries`, so this goes first.
    struct EndCopiesWhenRaised {
      std::unique_ptr<CopyPipeline>& pipeline;
      const int raised = std::uncaught_exceptions();
      ~EndCopiesWhenRaised() {
        if (std::uncaught_exceptions() > raised) pipeline.reset();
      }
    } endCopies{pipeline_};
    while (!StopsWalk(status) && listing.IsOpen() && entries.Next(entry)) {
      Events();
      if (StopsWalk(status)) break;
      if (entry.kind == platform::EntryKind::Other) {
        // Fifos, sockets and devices are never opened: reading a fifo
        // would block the run for good.
        continue;
      }
      if (entry.kind != platform::EntryKind::Directory) {
        copyFile(entry, false);
        continue;
      }
      // A folder left out is never entered.
      if (skip != nullptr && leftOut({}, entry.name)) continue;
      if (ignoresCase_) {
        const std::string first = CaseClash(seen, entry.name);
        if (!first.empty()) {
          // Its files would mix with those of the first one.
          ReportCaseClash(s + f, entry.name, first);
          continue;
        }
      }
      const std::string sub = f + entry.name;
      if (!failedFolders_.empty() && InFailedFolder(d + sub + "/")) continue;
      // Opened relative to this listing, never through a link: a folder
      // swapped for a link since it was listed is the link it now is.
      // (Or so opened and read by a thread ahead of the walk.)
      std::unique_ptr<platform::ReadAhead::Folder> read = entries.TakeFolder();
      std::optional<platform::DirLister> opened;
      if (read == nullptr) opened.emplace(listing, entry.name, s + sub + "/");
      platform::DirLister& child = read != nullptr ? *read->listing : *opened;
      if (child.TurnedIntoNonFolder()) {
        platform::DirEntry now;
        if (listing.Describe(entry.name, now)) copyFile(now, true);
        continue;
      }
      // A target root inside the source is never walked into, or the
      // backup would copy itself over and over.
      if (child.IsOpen() &&
          std::find(targetRoots_.begin(), targetRoots_.end(), child.Id()) != targetRoots_.end())
        continue;
      // Nor is the versions folder of the job's target, and no folder is
      // copied onto it.
      if (child.IsOpen() && IsVersionsFolder(child.Id())) continue;
      if (LandsOnVersions(s + sub, d + sub + "/")) continue;
      // The flag of this folder is not handed down: a sub-folder gets one
      // only through its own stamp (one that cannot be read counts as new).
      const bool flag = CheckDirDate && (IsNewer(entry) || entry.error != 0);
      own += Walk(child, std::move(read), s, d, sub, status, flag);
    }
    // A read that failed on the way ended the listing early: what came
    // after it is not silently missing from the backup.
    const int gap = StopsWalk(status) ? 0 : listing.ReadError();
    // Every copy handed over from this level is finished before its
    // listing closes.
    TakeBack(status, true);
    if (prepared) {
      // Its content is in place: the folder gets its source's permissions.
      platform::CopyLosses losses;
      platform::FinishCopyFolder(listing.Handle(), targetFolder, &losses);
      if (losses.attributes) NoteLosses(false, rowTarget_);
    }
    if (gap != 0) {
      RunReport.push_back("Das Verzeichnis " + s + f +
                          " konnte nicht vollständig gelesen werden (Fehlercode " + IntToText(gap) +
                          "). Seine weiteren Dateien wurden nicht kopiert.");
      RowMark = "?? ";
    }
  }
  observer_->SetCount(CountText());
  observer_->ShowPending();
  Events();
  return own;
}

void CopyEngine::CopyEntry(const std::string& source, const std::string& target,
                           const std::string& folder, const std::string& name, int sourceDirHandle,
                           int targetHandle, std::int32_t& status, int& ownCount) {
  if (!failedFolders_.empty() && InFailedFolder(target + folder)) return;
  if (!pipeline_) {
    versions::Keeper* keeper = keeper_.get();
    pipeline_ = std::make_unique<CopyPipeline>(ThreadsToUse(), [keeper](CopyPipeline::Job& job) {
      // Opened relative to the open listing and made in the open target
      // folder: neither path is resolved again.
      platform::CopyLosses losses;
      const platform::SourceRef at{job.dirHandle, &job.name, job.targetHandle};
      if (keeper == nullptr) {
        const int result = CopyOneFileQuietly(job.sourceFile, job.targetFolder, true, true, at,
                                              *job.targetRoot, &losses);
        job.attributesLost = losses.attributes;
        job.bytes = losses.bytes;
        return result;
      }
      // The file it replaces goes into the run's versions first.
      platform::KeepReplaced keep;
      keep.keep = [keeper, &job](const std::string& dest) {
        return keeper->Keep(dest, job.relative);
      };
      const int result = CopyOneFileQuietly(job.sourceFile, job.targetFolder, true, true, at,
                                            *job.targetRoot, &losses, &keep);
      job.attributesLost = losses.attributes;
      job.bytes = losses.bytes;
      job.replaced = keep.replaced;
      job.keepError = keep.keepError;
      return result;
    });
  }
  while (pipeline_->Full()) {
    pipeline_->Wait(CopyPipeline::kCapacity / 2);
    TakeBack(status, false);
  }
  CopyPipeline::Job& job = pipeline_->NextFree();
  job.sourceFile.assign(source).append(folder).append(name);
  job.targetFolder.assign(target).append(folder);
  job.name = name;
  job.dirHandle = sourceDirHandle;
  job.targetHandle = targetHandle;
  job.ownCount = &ownCount;
  job.targetRoot = &rowTarget_;
  if (keeper_) job.relative.assign(rowVersions_).append(folder).append(name);
  observer_->SetCurrentFile("Kopiere " + job.sourceFile);
  pipeline_->Submit();
  TakeBack(status, false);
}

void CopyEngine::TakeBack(std::int32_t& status, bool all) {
  if (!pipeline_) return;
  if (all && StopsWalk(status)) pipeline_->SkipPending();
  for (;;) {
    CopyPipeline::Job* job = pipeline_->Oldest();
    if (job == nullptr) {
      if (!all || pipeline_->Empty()) return;
      pipeline_->Wait(CopyPipeline::kCapacity);
      // Large files keep the copies in work for long: the window still
      // handles its input (a cancel) while they finish.
      if (std::chrono::steady_clock::now() - lastEvents_ >= kEventsWhileWaiting) {
        Events();
        if (StopsWalk(status)) pipeline_->SkipPending();
      }
      continue;
    }
    FinishCopy(*job, status);
    pipeline_->Retire();
    // A copy that stops the walk: what has not started yet is dropped.
    if (StopsWalk(status)) pipeline_->SkipPending();
  }
}

void CopyEngine::Events() {
  lastEvents_ = std::chrono::steady_clock::now();
  observer_->ProcessEvents();
}

void CopyEngine::FinishCopy(const CopyPipeline::Job& job, std::int32_t& status) {
  if (job.skipped) return;
  const bool copied = !job.raised && job.result == 0;
  // After a cancel or a stop only the copies that were already in work
  // come back: each one done is counted, a failed one was never due.
  const bool stopped = StopsWalk(status);
  if (stopped && !copied) return;
  try {
    if (!job.raised && job.keepError != 0) {
      // The old file could not be kept: it stays as it was, and the run
      // goes on (a full disk stops it).
      if (!stopped)
        status =
            job.keepError == platform::kErrDirectory ? platform::kErrAccessDenied : job.keepError;
      RunReport.push_back("Die Datei " + job.targetFolder + job.name +
                          " wurde nicht ersetzt: Ihre bisherige Fassung konnte nicht in " +
                          versionsRoot_ + " aufbewahrt werden (Fehlercode " +
                          IntToText(job.keepError) + ").");
      RowMark = "?? ";
      return;
    }
    if (!job.raised && job.result == platform::kErrDirectory) {
      if (job.targetFolder == rowTarget_ || !IsFolder(rowTarget_)) {
        // The target root itself cannot be made (the drive is gone).
        StopAtTargetRoot(status);
        return;
      }
      // A folder below the target root that cannot be made (a file in the
      // way, a path too long): one line for it, its subtree is skipped and
      // the run goes on.
      if (!InFailedFolder(job.targetFolder)) {
        failedFolders_.push_back(AddBackslash(job.targetFolder));
        ReportCopyError(platform::kErrDirectory, job.sourceFile, job.targetFolder);
        RowMark = "?? ";
      }
      status = platform::kErrPathNotFound;
      return;
    }
    if (!stopped) status = job.raised ? kRaised : job.result;
    if (job.attributesLost) NoteLosses(false, rowTarget_);
    if (copied) {
      ++*job.ownCount;
      ++CopiedTotal;
      ++CopiedInRow;
      BytesCopied += static_cast<std::int64_t>(job.bytes);
      if (CopiedTotal < 50 || CopiedTotal % 50 == 0) {
        observer_->SetCount(CountText());
        observer_->SetRowCount(CurrentRow, "<<< " + IntToText(CopiedInRow));
      }
      if (keeper_ && !job.replaced) keeper_->NoteAdded(job.relative);
    } else if (!job.raised) {
      ReportCopyError(status, job.sourceFile, job.targetFolder);
      RowMark = "?? ";
    }
  } catch (...) {
    status = kRaised;
  }
}

void CopyEngine::StopAtTargetRoot(std::int32_t& status) {
  status = kNoTargetDir;
  ReportCopyError(kNoTargetDir, std::string(), rowTarget_);
  RowMark = "?? ";
}

bool CopyEngine::MakeTargetRoot(const std::string& root) {
  const std::string path = RemoveBackslash(root);
  const auto slash = path.rfind('/');
  if (path.empty() || slash == std::string::npos || slash + 1 == path.size())
    return platform::CreateDirPath(root);
  const std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
  return platform::CreateDirPath(parent) &&
         platform::MakeFoldersBelow(parent, path.substr(slash + 1)) == 0;
}

bool CopyEngine::PrepareTarget(int sourceDir, const std::string& targetFolder, std::int32_t& status,
                               bool& made) {
  const std::string path = targetFolder.size() > 1 ? RemoveBackslash(targetFolder) : targetFolder;
  const int code = platform::PrepareCopyFolder(sourceDir, path, made);
  if (code == 0) return true;
  if (code == platform::kErrPathNotFound && !IsFolder(rowTarget_)) {
    // The target root has gone (the drive pulled out): never made again.
    StopAtTargetRoot(status);
    return false;
  }
  // Something in the way (a file of that name, a path too long): one line
  // for it, its subtree is skipped and the run goes on.
  if (!InFailedFolder(AddBackslash(targetFolder))) {
    failedFolders_.push_back(AddBackslash(targetFolder));
    ReportCopyError(platform::kErrDirectory, std::string(), AddBackslash(targetFolder));
    RowMark = "?? ";
  }
  status = platform::kErrPathNotFound;
  return false;
}

void CopyEngine::NoteLosses(bool permissions, const std::string& root) {
  if (RunNotes.empty() && (permissions || keepsPermissions_))
    RunNotes.push_back(LossNote(permissions, root));
}

std::string LossNote(bool permissions, const std::string& root) {
  const std::string shown = root.size() > 1 ? RemoveBackslash(root) : root;
  if (permissions)
    return "Das Ziel " + shown +
           " kann keine Zugriffsrechte speichern: Zugriffsrechte, Eigentümer, erweiterte "
           "Attribute und Zugriffslisten (ACL) wurden dort nicht übernommen.";
  return "Erweiterte Attribute und Zugriffslisten (ACL) konnten auf dem Ziel " + shown +
         " nicht gespeichert werden.";
}

bool CopyEngine::IsNewer(const platform::DirEntry& entry) const {
  return entry.stamp > ChangedSince;
}

bool CopyEngine::IsIncluded(const std::string& folder, const std::string& name) const {
  return !exclusions_.LeavesOut(folder, name, false);
}

bool CopyEngine::ReportCopyError(std::int32_t code, const std::string& sourceFile,
                                 const std::string& targetFolder) {
  const std::string& p = sourceFile;
  const std::string& q = targetFolder;
  const std::string z = AddBackslash(q) + GetFileName(p);
  switch (code) {
    case platform::kErrFileNotFound:
      RunReport.push_back("Die Datei " + p + " wurde nicht gefunden.");
      break;
    case platform::kErrPathNotFound:
      RunReport.push_back(p + ": Das Verzeichnis wurde nicht gefunden.");
      break;
    case platform::kErrAccessDenied:
      RunReport.push_back("Auf die Datei " + z + " ist kein Zugriff möglich.");
      break;
    case platform::kErrWriteProtect:
      RunReport.push_back("Die Datei " + z + " ist schreibgeschützt.");
      break;
    case platform::kErrDiskFull:
      RunReport.push_back(z + " konnte nicht nach " + q +
                          " kopiert werden. Der Datenträger ist voll.");
      break;
    case platform::kErrFileTooLarge:
      RunReport.push_back(z + " konnte nicht nach " + q +
                          " kopiert werden. Die Datei ist für diesen Datenträger zu groß.");
      break;
    case platform::kErrInvalidName:
      RunReport.push_back("Die Datei " + z + " konnte nicht angelegt werden. Das Ziel " +
                          "nimmt diesen Dateinamen nicht an.");
      break;
    case platform::kErrNotSupported:
      RunReport.push_back("Die Verknüpfung " + z + " konnte nicht angelegt werden. Das Ziel " +
                          "kann keine symbolischen Verknüpfungen aufnehmen.");
      break;
    case platform::kErrDirectory:
      RunReport.push_back(q + ": Das Zielverzeichnis konnte nicht angelegt werden.");
      break;
    case kCancelled:
      RunReport.push_back(kCancelLine);
      break;
    default: {
      RunReport.push_back(z);
      RunReport.push_back(JoinBreaks(ErrorText(code, z + " ")));
      break;
    }
  }
  return true;
}

bool CopyEngine::AddCancelLine() {
  RunReport.push_back(kCancelLine);
  return true;
}

bool CopyEngine::FlushTargets(const std::vector<CopyRow>& rows) {
  std::set<std::string> done;
  bool ok = true;
  for (const CopyRow& row : rows) {
    const std::string root = row.target == "/" ? row.target : RemoveBackslash(row.target);
    if (!done.insert(root).second || !IsFolder(root)) continue;
    if (!platform::SyncFileSystem(root)) {
      RunReport.push_back(
          "Die kopierten Dateien konnten nicht vollständig auf den Datenträger von " + root +
          " geschrieben werden.");
      ok = false;
    }
  }
  return ok;
}

std::vector<std::string> CopyEngine::ReportLines(const std::string& previousDate,
                                                 const std::string& previousTime) const {
  TDateTime now = Clock();
  std::vector<std::string> lines;
  lines.reserve(RunReport.size() + RunNotes.size() + 6);
  lines.push_back("Datensicherung \"" + JobName + "\" am " + FormatDateText(4, now) + " um " +
                  InsertTimeColon(FormatTimeDigits(now)) + " Uhr.");
  lines.push_back("(Vorhergehende Sicherung: " + previousDate + "/" + previousTime + ")");
  lines.emplace_back();
  if (RunReport.empty()) {
    lines.push_back("Es sind keine Fehler aufgetreten.");
  } else {
    lines.push_back("Folgende Fehler sind aufgetreten:");
    lines.insert(lines.end(), RunReport.begin(), RunReport.end());
  }
  lines.insert(lines.end(), RunNotes.begin(), RunNotes.end());
  lines.push_back(IntToText(CopiedTotal) + " Dateien wurden kopiert.");
  if (KeepVersions)
    lines.push_back(std::to_string(VersionsKept()) + " Versionen wurden aufbewahrt.");
  if (!OptionsNote.empty()) lines.push_back(OptionsNote);
  lines.insert(lines.end(), VersionLines.begin(), VersionLines.end());
  return lines;
}

TDateTime CopyEngine::StampBefore(TDateTime start) {
  // A packed stamp counts seconds in steps of two, and the next run copies
  // only what is strictly later than the stored stamp. Going back to the
  // start's even second and then two steps further (one for the step
  // itself, one for the file system's coarse clock, which may stamp a file
  // a little before the moment we read as the start), plus half a second
  // so that rounding cannot lift the value into the next step, gives a
  // stored stamp below that of every file changed from the start on.
  double day = std::floor(start);
  double seconds = std::floor((start - day) * 86400.0);
  seconds -= std::fmod(seconds, 2.0);
  return day + (seconds - 4.0 + 0.5) / 86400.0;
}

std::string CopyEngine::CountText() const {
  return IntToText(CopiedTotal) + (DryRun ? "\rDateien\rzu kopieren." : "\rDateien\rkopiert.");
}

void CopyEngine::PlanCopy(const std::string& sourceFile, const std::string& targetFile,
                          int& ownCount) {
  if (platform::PathExists(targetFile)) {
    ++Planned.replace;
    Plan.push_back("Ersetzen: " + targetFile +
                   (KeepVersions ? " (die bisherige Fassung käme in die Versionen)" : ""));
  } else {
    ++Planned.copy;
    Plan.push_back("Kopieren: " + sourceFile);
  }
  ++ownCount;
  ++CopiedTotal;
  ++CopiedInRow;
  if (CopiedTotal < 50 || CopiedTotal % 50 == 0) {
    observer_->SetCount(CountText());
    observer_->SetRowCount(CurrentRow, "<<< " + IntToText(CopiedInRow));
  }
  observer_->SetCurrentFile("Prüfe " + sourceFile);
}

void CopyEngine::PlanSkip(const std::string& sourceFile) {
  ++Planned.skip;
  Plan.push_back("Überspringen: " + sourceFile);
}

RunEnd DecideRunEnd(CopyEngine& engine, const std::vector<CopyRow>& rows, const tBackups& jobs,
                    int jobIndex) {
  RunEnd end;
  if (engine.RunStatus == CopyEngine::kCancelled) engine.AddCancelLine();
  bool flushFailed = false;
  if (engine.RunStatus == 0 && !engine.FlushTargets(rows)) {
    flushFailed = true;
    engine.RunStatus = CopyEngine::kFlushFailed;
  }
  // A run with errors (files not copied, folders not read) ended with 0
  // when its last copy succeeded. Its stamp would let the next
  // incremental run pass over what is missing now: it stays as it was.
  const bool withheld = engine.RunStatus == 0 && !engine.RunReport.empty();
  if (withheld) engine.RunReport.push_back(kStampKeptLine);
  end.reportPath = tBackups::GetDataDir() + jobs.GetLogFileName(jobIndex);
  end.reportLines =
      engine.ReportLines(jobs.GetLastBackupDate(jobIndex), jobs.GetLastBackupTime(jobIndex));
  end.offerReport = !engine.RunReport.empty() && engine.RunStatus != CopyEngine::kCancelled;
  end.jobIndex = jobIndex;
  if (flushFailed) {
    end.closingText =
        "Die kopierten Dateien konnten nicht vollständig auf den Datenträger geschrieben "
        "werden. Das Datum der letzten Sicherung bleibt unverändert.";
    end.closingBeep = 1;
    return end;
  }
  switch (engine.RunStatus) {
    case 0:
      if (withheld) break;
      end.storeStamp = true;
      end.stamp = engine.NewLastBackup();
      break;
    case CopyEngine::kRaised:
      end.closingText = "Der Kopiervorgang wurde abgebrochen. Vermutlich ist der Datenträger voll.";
      end.closingBeep = 1;
      break;
    case CopyEngine::kCancelled:
      end.closingText = "Der Kopiervorgang wurde abgebrochen.";
      end.closingBeep = 0;
      break;
    default:
      break;
  }
  return end;
}
