// A two-way synchronisation run of one stored definition, carried out in
// one place for the window and the command line alike. Whoever drives it
// only shows it: an observer for progress and cancel, the UserInterface
// port for questions and boxes.
//
// The run first reads both folders of the pair at once, name by name and
// subfolders included, and decides every name (twoway::Decide) from what
// each side holds now and what both held after the last run (SyncState).
// Nothing is changed before the guards have passed:
//  - a side that is missing, cannot be read or is empty while the last
//    run knew files there stops the run (an unplugged stick is not "all
//    files deleted");
//  - a run that would remove more than half of a side's files (at least
//    10) asks first, or is refused where nobody can be asked.
// Then the decisions are carried out: copies through the backup's copy
// path (temporary file and rename, times, links as links, special files
// never opened), the file a copy replaces and every entry the run removes
// renamed into that side's hidden versions folder
// ".VolKarn-Versionen/<YYYY-MM-DD hhmmss>/<path>", which the run never
// walks and prunes after kVersionDays days. In one folder, removals come
// before copies, so a name renamed in letter case only on a side that
// ignores letter case is taken over, not lost.
//
// What the run knew at its end is stored only when it ended without a
// stop or a cancel (a name whose step failed keeps what the last run knew
// of it, so the next run decides it again); the report goes to
// "<name>.slg" in the data folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/timeproc.h"
#include "core/backup/backuprun.h"
#include "core/history/history.h"
#include "core/sync/syncdefs.h"
#include "core/versions/mirror.h"

// What the run did (a dry run: would do) so far.
struct SyncCounts {
  std::int64_t toSecond = 0;  // files and links copied from the 1st to the 2nd folder
  std::int64_t toFirst = 0;
  std::int64_t removedFirst = 0;  // entries moved into the 1st folder's versions
  std::int64_t removedSecond = 0;
  std::int64_t conflicts = 0;
  std::int64_t errors = 0;
  std::int64_t bytes = 0;  // bytes copied
};

// What a driver of a run sees. Every call happens on the thread that runs
// it.
class SyncObserver {
 public:
  virtual ~SyncObserver() = default;
  // The entry in work: "Vergleiche <folder>", "Kopiere <file>",
  // "Entferne <path>".
  virtual void SetCurrentFile(const std::string& text) { (void)text; }
  virtual void SetCounts(const SyncCounts& counts) { (void)counts; }
  // Lets pending user input be handled; a cancel (SyncRun::Cancel)
  // arrives here. Called before every name and every step.
  virtual void ProcessEvents() {}
  // The report was written (a dry run: made), before any question or box
  // of the end. `clean`: no errors, no cancel.
  virtual void ReportWritten(const std::vector<std::string>& lines, bool clean) {
    (void)lines;
    (void)clean;
  }
};

class SyncRun {
 public:
  // Days after which a run folder of a side's versions is removed.
  static constexpr int kVersionDays = 90;

  struct Result {
    // The decisions were carried out (a dry run: made).
    bool ran = false;
    bool cancelled = false;
    // A guard or a failure stopped the run before anything was changed.
    bool refused = false;
    // Which guard: a side missing (its drive?), the state unreadable, a
    // mass removal refused or declined.
    bool sideMissing = false;
    bool stateUnreadable = false;
    bool massRemoval = false;
    // The run stopped on the way (a full disk, a side gone).
    bool stopped = false;
    bool stateWritten = false;
    bool reportWritten = false;
    SyncCounts counts;
    // Report lines of what failed and of conflicts left for the user.
    std::vector<std::string> errors;
    // Conflicts the run settled (both sides changed: the newer won).
    std::vector<std::string> conflicts;
    // A dry run: one line per step ("1 -> 2: ", "2 -> 1: ", "Entfernen 1: "...).
    std::vector<std::string> plan;
    std::string reportPath;
    std::vector<std::string> reportLines;
    // The German text of what stopped the run.
    std::string failure;
    bool Clean() const {
      return ran && !cancelled && !stopped && errors.empty() && failure.empty();
    }
  };

  // The run of `definition`; its state and report live in `dataDir` (with
  // a "/" at the end).
  SyncRun(SyncDefinition definition, std::string dataDir);

  // Whether a mass removal is asked about (the window) or refused (the
  // command line). Asked unless set.
  void SetMassRemoval(versions::MassRemoval policy) { massRemoval_ = policy; }
  // Whether a missing folder of the pair that the last run knew nothing
  // of is asked about or made (only ever the last folder under an
  // existing parent). Asked unless set.
  void SetMissingFolder(MissingTarget policy) { missingFolder_ = policy; }
  // Tell what would be done; change nothing anywhere (no versions, no
  // state, no report file).
  bool DryRun = false;
  // The clock of the run (tests fix it): names the versions' run folders
  // and dates the report.
  std::function<TDateTime()> Clock;
  // How the run was started, for the history of the definition.
  history::Started Started = history::Started::Window;

  // The whole run. `observer` may be null.
  Result Run(SyncObserver* observer);
  // Stops before the next name or step. Safe from another thread.
  void Cancel() { cancelled_ = true; }

  const SyncDefinition& Definition() const { return definition_; }
  std::string StatePath() const;
  std::string ReportPath() const;

 private:
  SyncDefinition definition_;
  std::string dataDir_;
  versions::MassRemoval massRemoval_ = versions::MassRemoval::Ask;
  MissingTarget missingFolder_ = MissingTarget::Ask;
  std::atomic<bool> cancelled_{false};
  // The run after the start of its line in the history.
  Result RunSteps(SyncObserver* observer, TDateTime start);
};
