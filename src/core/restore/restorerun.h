// Restore: gives files of a job back from its target, as they were at a
// chosen moment, carried out in one place for the restore window and the
// command line alike. Whoever drives it only shows it: an observer for
// progress and cancel, the UserInterface port for questions.
//
// The state of a job's target as of a moment T: for each path
// ("<source folder>/<path>" below the job's target folder) the run folders
// of the versions whose stamp is at or after T are looked at, oldest first
// (restore folders never); the first that holds a kept version of the path
// or lists it as added by its run decides: a version gives that file, an
// added path is no part of the state (a run folder that does both added
// the path itself, so it was not there before). When none decides, the
// target's current file is the state's. A folder a mirroring run moved
// into the versions as a whole counts with everything below it. The
// versions folder of the target is never part of a state.
//
// A restore writes like a backup run: a temporary file, then the rename;
// times, links as links, special files never opened, folders never more
// readable than the backup's. A destination file that is newer than the
// one it would get is replaced only when the user says "Ja"; a file that
// is replaced is first copied into the job's versions under
// "<stamp> Wiederherstellung". A restore never deletes anything.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/exclusion.h"
#include "base/timeproc.h"
#include "core/backup/copyengine.h"
#include "core/history/history.h"
#include "core/versions/versions.h"
#include "platform/platform.h"

struct AppState;

namespace restore {

// ----------------------------------------------------------------- state --

// Which state of the target a restore gives back.
struct StateChoice {
  enum class Kind {
    Latest,     // the target as the last backup left it
    AsOf,       // as of `moment`: before every run that started at or after it
    RunFolder,  // as the run of `runFolder` found the target at its start
  };
  Kind kind = Kind::Latest;
  // AsOf: the local moment T.
  TDateTime moment = 0;
  // RunFolder: the name of a run folder of the versions
  // ("YYYY-MM-DD hhmmss" or "YYYY-MM-DD hhmmss-N").
  std::string runFolder;

  // The state for a report or a title, German: "letzte Sicherung",
  // "12.03.2026 14:00 Uhr", "vor der Sicherung vom 12.03.2026 um 14:00:05 Uhr".
  std::string Text() const;
};

// Reads a state as the command line gives it: "YYYY-MM-DD hh:mm" or
// "YYYY-MM-DD hh:mm:ss" (AsOf), or the name of a run folder as --versions
// lists it (RunFolder). False with a German `failure` for anything else.
bool ParseStateText(const std::string& text, StateChoice& choice, std::string& failure);

// One entry of a state: a file (or link, or special file) or a folder.
struct StateEntry {
  // "<source folder>/<path>", "/" between the names.
  std::string relative;
  // Full path of what the state takes: in a run folder of the versions
  // or in the target itself.
  std::string from;
  // The name of the run folder `from` lies in; empty for the target's own.
  std::string runFolder;
  platform::EntryKind kind = platform::EntryKind::File;
  std::uint64_t size = 0;
  std::time_t mtime = 0;
  long mtimeNsec = 0;

  bool IsFolder() const { return kind == platform::EntryKind::Directory; }
  // True when the entry comes from the versions, not from the target.
  bool FromVersions() const { return !runFolder.empty(); }
};

// The state of a job's target, read once; the restore window's tree and
// the restore itself ask it.
class TargetState {
 public:
  // Reads the state of `jobTarget` (the job's target folder) for the
  // source folders whose last names are `topNames` (a source folder that is
  // a root, with an empty last name, lets every name of the target in).
  // Result 0, or an error code when the target folder or the versions
  // could not be read (Failure() tells it in German); a run folder chosen
  // that is not there gives kErrPathNotFound.
  int Load(const std::string& jobTarget, const std::vector<std::string>& topNames,
           const StateChoice& choice);
  // The German text of the last failed Load; empty after a good one.
  const std::string& Failure() const { return failure_; }

  // Every file of the state (no folders), sorted by `relative`.
  const std::vector<StateEntry>& Files() const { return files_; }
  // The folders of the state (those that hold files, and empty ones of
  // the target or of a run folder), sorted by `relative`.
  const std::vector<StateEntry>& Folders() const { return folders_; }
  // The entries directly below the folder `relative` ("" for the top: the
  // source folders), folders first, each part sorted by name.
  std::vector<StateEntry> Children(const std::string& relative) const;
  // The file or folder `relative`; null when the state does not hold it.
  const StateEntry* Find(const std::string& relative) const;
  // The files at or below `relative` (a file: itself; a folder: all its
  // files), sorted.
  std::vector<const StateEntry*> FilesBelow(const std::string& relative) const;

 private:
  std::string failure_;
  std::vector<StateEntry> files_;
  std::vector<StateEntry> folders_;
};

// The run folders of the job target's versions that a state may be chosen
// from (restore folders left out), newest first. Result 0 (also without a
// versions folder) or the error code of the listing.
int ListStates(const std::string& jobTarget, std::vector<versions::RunFolder>& states);

// One kept version of a path, or its current file in the target.
struct PathVersion {
  // The run folder that kept it; empty for the target's current file.
  std::string runFolder;
  // The run folder's moment (0 for the current file).
  TDateTime moment = 0;
  platform::EntryKind kind = platform::EntryKind::File;
  std::uint64_t size = 0;
  std::time_t mtime = 0;
};
// The versions of the file `relative` ("<source folder>/<path>"): the
// target's current file first (when there is one), then those kept by
// runs, newest first. Result 0 or an error code.
int ListPathVersions(const std::string& jobTarget, const std::string& relative,
                     std::vector<PathVersion>& found);

// --------------------------------------------------------------- request --

// A restore as the restore page or the command line hands it over.
struct RestoreRequest {
  std::string JobName;
  int JobIndex = -1;
  // The job's target folder (the record's TargetDir).
  std::string JobTarget;
  // One row per source folder: the source and its mirrored target, as a
  // backup run has them.
  std::vector<CopyRow> Rows;
  StateChoice State;
  // What: paths "<source folder>/<path>" (files or folders) of the state;
  // empty for the whole job. RelativeOf turns a user's path into one.
  std::vector<std::string> Paths;
  // Where: empty for the original places (each file back into its source
  // folder); otherwise a folder under which each source folder lands by
  // its last name, as in the target.
  std::string ToFolder;
  // Tell what would be done; write nothing anywhere (no report either).
  bool DryRun = false;
  // How it was started, for the job's history.
  history::Started Started = history::Started::Window;
  // The job's exclusions: a whole-job restore brings back nothing they
  // leave out (a path named on its own is restored as asked).
  ExclusionRule Exclusions;
};

// The request for the shown job of `state` (its rows as a backup run of
// it has them); the state, what and where are left for the caller.
RestoreRequest MakeRestoreRequest(const AppState& state);

// The path "<source folder>/<path>" that `path` names: an absolute path
// inside (or equal to) one of the request's source folders, or a path
// already relative to the job's target whose first name is that of a
// source folder. Trailing "/" and "." parts are ignored. Nothing when the
// path lies in no source folder.
std::optional<std::string> RelativeOf(const RestoreRequest& request, const std::string& path);

// Where the file or folder `relative` of the state lands: under ToFolder,
// or in its source folder. Empty when no source folder of the request has
// its first name.
std::string DestinationOf(const RestoreRequest& request, const std::string& relative);

// ------------------------------------------------------------------- run --

// What a driver of a restore sees. Every call happens on the thread that
// runs the restore.
class RestoreObserver {
 public:
  virtual ~RestoreObserver() = default;
  // The state is read; `total` files are to be handled.
  virtual void Planned(std::int64_t total) { (void)total; }
  // The file in work: "Stelle wieder her " + destination path.
  virtual void SetCurrentFile(const std::string& text) { (void)text; }
  // The counts so far: files handled of the total, files written.
  virtual void SetCounts(std::int64_t handled, std::int64_t restored) {
    (void)handled;
    (void)restored;
  }
  // Lets pending user input be handled; a cancel (RestoreRun::Cancel)
  // arrives here. Called before every file.
  virtual void ProcessEvents() {}
  // The report was written (or, in a dry run, made), before the closing
  // box. `clean`: no errors and no files left out.
  virtual void ReportWritten(const std::vector<std::string>& lines, bool clean) {
    (void)lines;
    (void)clean;
  }
};

// The question before a newer destination file is replaced (the answer
// may hold for all the rest: "Ja, alle", "Nein, alle").
std::string NewerQuestion(const std::string& destination);

class RestoreRun {
 public:
  enum class Start {
    Go,
    // The job's target folder is missing (a drive not plugged in): told,
    // nothing done.
    TargetMissing,
    // The destination folder (--to) is missing and so is its parent, or it
    // lies in the target's versions folder: told, nothing done.
    DestinationMissing,
  };

  // What the restore did; also what a dry run would do.
  struct Result {
    // The restore ran (false: it did not start, or the state could not be
    // read; `failure` says why).
    bool ran = false;
    bool cancelled = false;
    bool reportWritten = false;
    // The restore had errors and the user chose to look at its report.
    bool reportViewed = false;
    // Files written to their destination (a dry run: would be written).
    std::int64_t restored = 0;
    // Of those, files that replaced one there (kept in the versions first).
    std::int64_t replaced = 0;
    // The bytes of the files written.
    std::int64_t bytes = 0;
    // Files left alone because the destination is the same (size and
    // time).
    std::int64_t identical = 0;
    // Destinations newer than the state's file that were not replaced.
    std::vector<std::string> skippedNewer;
    // Report lines of the errors (files not restored, paths not in the
    // state), the skipped newer files included.
    std::vector<std::string> errors;
    // A dry run: one line per file it would write or leave out
    // ("Wiederherstellen: ", "Ersetzen: ", "Neuer, nicht ersetzt: ").
    std::vector<std::string> plan;
    // The run folder "<stamp> Wiederherstellung" (full path) that keeps
    // the replaced files; empty when none was made.
    std::string keptFolder;
    std::string reportPath;
    std::vector<std::string> reportLines;
    // The German text of what stopped the restore or its report.
    std::string failure;
    // No errors, nothing left out, not cancelled.
    bool Clean() const { return ran && !cancelled && errors.empty() && failure.empty(); }
  };

  // The restore of `request`; the report goes to the job's restore report
  // in the data folder (none without a state: tests of the restore alone).
  RestoreRun(AppState* state, RestoreRequest request);

  // Before the restore: the job's target and the destination folder.
  // Tells a German box for a failure and keeps its text in StartFailure().
  Start Check();
  const std::string& StartFailure() const { return startFailure_; }

  // The whole restore. `observer` may be null.
  Result Run(RestoreObserver* observer);
  // Stops before the next file (the one in work is finished or left as
  // it was). Safe from another thread or a signal's watcher.
  void Cancel() { cancelled_ = true; }

  // The clock of the restore (tests fix it): names the versions' restore
  // folder and dates the report.
  std::function<TDateTime()> Clock;
  // Threads that copy new files while the next ones are looked at; -1
  // (the default) one per processor, at most four; 0 none.
  int CopyThreads = -1;

  const RestoreRequest& Request() const { return request_; }

 private:
  AppState* state_;
  RestoreRequest request_;
  std::string startFailure_;
  std::atomic<bool> cancelled_{false};
  // The restore's line in the job's history (none for a dry run).
  history::Recorder history_;
  void RecordEnd(const Result& result);
};

}  // namespace restore
