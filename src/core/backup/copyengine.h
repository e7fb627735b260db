// The copy engine of a backup run: walks one source tree after another,
// copies the files that the mode and the exclusions select into the
// mirrored target, turns failures into report lines, keeps the counters and
// the progress display up to date and writes the run report.
//
// The engine knows no window. It talks to whoever drives it (the run
// window, a test, the benchmark) through CopyObserver; a cancel is the
// value 999 put into RunStatus (Cancel()) while the observer processes
// pending events.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/exclusion.h"
#include "base/timeproc.h"
#include "core/backup/copypipeline.h"
#include "platform/platform.h"
#include "platform/readahead.h"

class tBackups;
namespace versions {
class Keeper;
}

// What the engine shows while it runs. Every call happens on the thread
// that runs the engine.
class CopyObserver {
 public:
  virtual ~CopyObserver() = default;
  // The line of the current file ("Kopiere " + path), redrawn at once.
  virtual void SetCurrentFile(const std::string& text) = 0;
  // The count display (three lines separated by "\r"), redrawn at once.
  virtual void SetCount(const std::string& text) = 0;
  // The count cell of a directory row (rows count from 1).
  virtual void SetRowCount(int row, const std::string& text) = 0;
  // Lets pending user input be handled; a cancel arrives here.
  virtual void ProcessEvents() = 0;
  // The end of a folder (the count just handed over is exact): whatever
  // the observer still holds back of the line and the count display is
  // shown no later than at the next frame of the screen, even if no other
  // call follows for a while.
  virtual void ShowPending() {}
};

// One directory pair of a job: the source root and its mirrored target.
struct CopyRow {
  std::string source;
  std::string target;
};

class CopyEngine {
 public:
  // Run status values that stop the walk.
  static constexpr std::int32_t kCancelled = 999;
  static constexpr std::int32_t kDiskFull = 112;
  static constexpr std::int32_t kNoTargetDir = 267;
  // An error was raised while one file was handled.
  static constexpr std::int32_t kRaised = 1;
  // The copied files could not be flushed to the target's disk.
  static constexpr std::int32_t kFlushFailed = 21;

  CopyEngine();
  ~CopyEngine();
  CopyEngine(const CopyEngine&) = delete;
  CopyEngine& operator=(const CopyEngine&) = delete;

  // ---- inputs, set before a run ----
  bool FullBackup = false;
  // Stamp of the job's last backup; compared unsigned (stamps from 2044 on
  // are still later).
  platform::DosStamp ChangedSince = 0;
  // "Verzeichnisdatum berücksichtigen": a folder later than ChangedSince
  // has all its files copied.
  bool CheckDirDate = false;
  std::string JobName;
  // The job's exclusion texts in upper case, and its exclusion patterns.
  void SetExclusions(const std::string& excludedExts, const std::string& excludedFiles,
                     const std::vector<std::string>& patterns = {});
  void SetObserver(CopyObserver* observer);
  // The file that marks a run in progress (in the data folder); empty for
  // none. A run that finds it left by a run that was killed first removes
  // what copies cut short left in its targets, whatever its mode.
  std::string RunMark;
  // The clock of the run (tests fix it).
  std::function<TDateTime()> Clock;
  // Threads that copy while the walk goes on; 0 copies each file on the
  // walking thread, -1 (the default) chooses by the number of processors.
  // Whatever the
  // number, results are taken in the order of the walk: counts, report
  // and status are those of copying one file after the other. A cancel or
  // a stop takes effect after the copies already in work.
  int CopyThreads = -1;
  // Threads that read the next sub-folders and stamps of an incremental
  // run while the walk handles this entry (-1: one per processor counting
  // the walk, at most 4 in all; 0: none). The walk takes the entries in
  // the listing's order: the run is the same whatever the number.
  int ReadAheadThreads = -1;
  // The job's target folder, which holds the versions folder: that one is
  // never walked, whatever the options. Empty: the engine knows none.
  std::string JobTarget;
  // Keep what the run replaces: the old file goes into the run's folder
  // of the versions (named by RunStarted) before the new one takes its
  // name; the files the run adds are listed there. Needs JobTarget.
  bool KeepVersions = false;
  // With KeepVersions: run folders older than this many days before the
  // run's start are removed after the run mark, before the walk (0: never).
  int VersionDays = 0;
  // A line said after the versions line (the options could not be read).
  std::string OptionsNote;
  // Only shows what the run would do: the walk and its decisions are the
  // same, but nothing is copied, made, kept, swept or marked anywhere, and
  // no probe file is written; every decision goes into Plan.
  bool DryRun = false;

  // ---- run state ----
  std::vector<std::string> RunReport;
  // A dry run's decisions in walk order, one line each ("Kopieren: ",
  // "Ersetzen: ", "Überspringen: ", "Auslagern: " and the path), and how
  // many of each.
  std::vector<std::string> Plan;
  struct PlanCounts {
    std::int64_t copy = 0, replace = 0, moveOut = 0, skip = 0;
  } Planned;
  // What the run tells beside its errors (what a target could not keep):
  // reported after them, it leaves the stamp as it is. One line at most.
  std::vector<std::string> RunNotes;
  std::int32_t RunStatus = 0;
  std::int32_t CopiedTotal = 0;
  // The bytes of the files copied.
  std::int64_t BytesCopied = 0;
  std::int32_t CopiedInRow = 0;
  std::int32_t CurrentRow = 0;
  std::string RowMark;
  // The moment the run started (StartRun).
  TDateTime RunStarted = 0;
  // What pruning and the list of added files tell: said after the
  // versions line, they leave the stamp as it is.
  std::vector<std::string> VersionLines;
  // The keeper of the run's versions (with KeepVersions, from RunRows on
  // until the next StartRun), or null.
  versions::Keeper* VersionsKeeper() const { return keeper_.get(); }
  // Entries kept in the run's versions.
  std::int64_t VersionsKept() const;

  // Resets the run state and notes the moment the run starts.
  void StartRun();
  // Walks every row in order: "<<<" into its count cell, the walk (or the
  // report lines of a missing source root), then the row mark and count.
  // Leaves at once when the user cancels.
  void RunRows(const std::vector<CopyRow>& rows);
  // Copies the selected files of source + folder into target + folder and
  // below; the result is the number of files copied there.
  int WalkDirectory(const std::string& source, const std::string& target, const std::string& folder,
                    std::int32_t& status, bool dirDate);
  // True when the entry's stamp is later than ChangedSince.
  bool IsNewer(const platform::DirEntry& entry) const;
  // True when the file `name` in the folder `folder` (relative to the
  // row's source) is not excluded.
  bool IsIncluded(const std::string& folder, const std::string& name) const;
  bool IsIncluded(const std::string& name) const { return IsIncluded(std::string(), name); }
  // Adds the report lines for a failed copy; always true.
  bool ReportCopyError(std::int32_t code, const std::string& sourceFile,
                       const std::string& targetFolder);
  bool AddCancelLine();
  // Sets RunStatus to 999; the walk stops before the next entry.
  void Cancel() { RunStatus = kCancelled; }
  bool Stopped() const { return StopsWalk(RunStatus); }
  static bool StopsWalk(std::int32_t status);
  // True for a folder, or for a link that leads to one (source and
  // target roots).
  static bool IsFolder(const std::string& path);
  // Makes a target root (its parents as needed), open to its owner only
  // until the copy of its source folder gives it that one's permissions.
  static bool MakeTargetRoot(const std::string& root);

  // Flushes the file systems of the rows' targets (those that exist) so
  // that the new stamp never claims a backup that is not on the disk.
  // False when a flush failed; the report then holds a line for it.
  bool FlushTargets(const std::vector<CopyRow>& rows);

  // The lines of the run report (previous stamp texts as the catalogue
  // gives them).
  std::vector<std::string> ReportLines(const std::string& previousDate,
                                       const std::string& previousTime) const;

  // The last-backup moment to store after a successful run: the start of
  // the run, moved back so that every file changed at or after the start
  // has a packed stamp strictly later than that of the stored moment.
  TDateTime NewLastBackup() const { return StampBefore(RunStarted); }
  static TDateTime StampBefore(TDateTime start);

  // CopiedTotal, "Dateien", "kopiert." on three lines.
  std::string CountText() const;

 private:
  // Walks the open listing of source + folder.
  // `ahead`: the folder as it was read ahead (then `listing` is its
  // listing), or null.
  int Walk(platform::DirLister& listing, std::unique_ptr<platform::ReadAhead::Folder> ahead,
           const std::string& s, const std::string& d, const std::string& f, std::int32_t& status,
           bool dirDate);
  // On a target that ignores letter case: the earlier name of this folder
  // that `name` would land on, or empty (then it is noted in `seen`:
  // folded name and first name).
  static std::string CaseClash(std::vector<std::pair<std::string, std::string>>& seen,
                               const std::string& name);
  // The report line for a name not backed up because of `first`.
  void ReportCaseClash(const std::string& folder, const std::string& name,
                       const std::string& first);
  // The current row's target root is gone or cannot be made: one line for
  // it, and the status that stops the run.
  void StopAtTargetRoot(std::int32_t& status);
  // Readies the target folder of the open source folder `sourceDir` for
  // the copies: made where missing, narrowed where it grants more than
  // its source (`made`: made now). False when it cannot be: reported, or
  // the run stopped when the target root has gone.
  bool PrepareTarget(int sourceDir, const std::string& targetFolder, std::int32_t& status,
                     bool& made);
  // The note, once per run, that the target `root` keeps no permissions
  // (`permissions`) or no attributes and access lists.
  void NoteLosses(bool permissions, const std::string& root);
  // True when the target folder lies in a folder that could not be made.
  bool InFailedFolder(const std::string& targetFolder) const;
  // The run mark: read and written at the start (true: a killed run left
  // one), dropped at the end.
  bool EnterRunMark(const std::vector<CopyRow>& rows);
  void LeaveRunMark();
  // A dry run's decision for a file the run would copy (counted as the
  // copy would count it) or pass over.
  void PlanCopy(const std::string& sourceFile, const std::string& targetFile, int& ownCount);
  void PlanSkip(const std::string& sourceFile);
  void CopyEntry(const std::string& source, const std::string& target, const std::string& folder,
                 const std::string& name, int sourceDirHandle, int targetHandle,
                 std::int32_t& status, int& ownCount);
  // Takes back the finished copies in order; with `all` waits for every
  // copy in work (those not yet started are dropped when the walk stopped).
  void TakeBack(std::int32_t& status, bool all);
  // Counts or reports one finished copy.
  void FinishCopy(const CopyPipeline::Job& job, std::int32_t& status);
  int ThreadsToUse() const;
  // Lets the observer process pending events and notes when.
  void Events();
  // Versions: the keeper made and old run folders pruned at the start of
  // the walk; the list of added files written at its end.
  void StartVersions();
  void FinishVersions();
  // The row target's path below the job target ("Daten/"; empty for a
  // row whose target is the job target itself).
  std::string VersionsPrefix(const std::string& rowTarget) const;
  // True when the source folder of the row `source` must not be walked: a
  // versions folder (told in the report).
  bool RefuseVersionsSource(const std::string& source);
  // True when the folder of the walk is the versions folder (by identity).
  bool IsVersionsFolder(const platform::FileId& id);
  // True (and told in the report) when the source folder would be copied
  // onto the versions folder (a top-level folder of that name in a source
  // that is a root).
  bool LandsOnVersions(const std::string& sourceFolder, const std::string& targetFolder);

  ExclusionRule exclusions_;
  CopyObserver* observer_;  // never null: a silent one by default
  // The target roots of the run's rows, by identity: a target inside its
  // source is never walked into, however its path is spelled.
  std::vector<platform::FileId> targetRoots_;
  // The current row's target root, ending with "/".
  std::string rowTarget_;
  // The current row's target does not tell names apart by letter case.
  bool ignoresCase_ = false;
  // The current row's target keeps permissions (and so owners and
  // attributes): what it refuses is noted.
  bool keepsPermissions_ = true;
  // Target folders below a root that could not be made (ending with "/").
  std::vector<std::string> failedFolders_;
  // Every folder walked first loses what killed copies left in its target.
  bool sweep_ = false;
  // Target roots of the killed run(s) the mark named that this run does
  // not walk: the mark keeps them.
  std::vector<std::string> markedElsewhere_;
  // The copies in work; made at the first copy of a run, ended with it.
  std::unique_ptr<CopyPipeline> pipeline_;
  // The stamp readers of an incremental run; made at its start.
  std::unique_ptr<platform::ReadAhead> readAhead_;
  // The versions of the run (with KeepVersions).
  std::unique_ptr<versions::Keeper> keeper_;
  // The versions folder of JobTarget (no "/" at the end) and its identity
  // once known; the current row's prefix below the run folder.
  std::string versionsRoot_;
  platform::FileId versionsId_;
  std::string rowVersions_;
  // While the copies of a folder are finished, events are processed at
  // least this often (beside once per entry of the walk).
  static constexpr std::chrono::milliseconds kEventsWhileWaiting{100};
  std::chrono::steady_clock::time_point lastEvents_;
};

// The line that tells what the target `root` could not keep: permissions
// (and with them owners, attributes and access lists) or only attributes
// and access lists.
std::string LossNote(bool permissions, const std::string& root);

// The end of a run as the core decides it after the walk. Whoever drives
// the run (the run window) carries it out in this order: write the report
// lines to reportPath (a failure is told with WriteFailureText and ends the
// steps), offer to show the report, show closingText, store the stamp.
// The stamp is stored only after a run without any error: a run that
// ended with 0 but had errors (files not copied, folders not read) keeps
// the old one and says so in the last report line.
struct RunEnd {
  std::string reportPath;
  std::vector<std::string> reportLines;
  // Errors and no cancel: ask kViewReportQuestion, open the report on "Ja".
  bool offerReport = false;
  // Said after the report (empty: nothing); closingBeep as ShowInfo's.
  std::string closingText;
  std::uint8_t closingBeep = 0;
  // The new last backup of the job jobIndex.
  bool storeStamp = false;
  TDateTime stamp = 0;
  int jobIndex = -1;
};
// The question that offers the report of a run with errors.
constexpr char kViewReportQuestion[] =
    "Es sind Fehler aufgetreten. Wollen Sie die entsprechenden Meldungen ansehen?";
// Adds the cancel line, flushes the rows' targets (a failure becomes the
// status kFlushFailed and a report line), then decides the rest of the end.
RunEnd DecideRunEnd(CopyEngine& engine, const std::vector<CopyRow>& rows, const tBackups& jobs,
                    int jobIndex);
