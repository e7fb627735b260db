// A whole backup run of one job, carried out in one place for the run
// window and the command line alike: the target check, the run mark, the
// walk, the end decision, the report, the question about it, the closing
// box, the new stamp and the saved catalogue. Whoever drives it only shows
// it: an observer for progress and cancel, the UserInterface port for
// boxes and questions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/backup/copyengine.h"
#include "core/backup/runrequest.h"
#include "core/versions/mirror.h"

struct AppState;
class tBackups;

// What a driver of a run sees beside the walk's progress.
class RunObserver : public CopyObserver {
 public:
  // The walk is over (also after a cancel or a stop); the end follows:
  // report, questions, closing box.
  virtual void WalkEnded() {}
  // The report was written to its file, before any question or box of the
  // end. `clean`: the run ended without errors and stores its stamp.
  virtual void ReportWritten(const std::vector<std::string>& lines, bool clean) {
    (void)lines;
    (void)clean;
  }
};

// How a run treats a job's target folder that does not exist.
enum class MissingTarget {
  // Ask whether to make it ("Ja": made with its parents by the walk).
  Ask,
  // Nobody to ask: only the last folder under an existing parent is made.
  // A missing parent is a drive that is not there (an unplugged stick, an
  // unmounted share): nothing is written onto the disk below it.
  CreateLastFolderOnly,
};

class BackupRun {
 public:
  enum class Start {
    Go,             // the target exists or may be made
    Declined,       // the user answered "Nein" (told: no file copied)
    TargetMissing,  // unattended, and the drive of the target is missing
  };

  struct Result {
    // The walk ran (false: the run did not start).
    bool walked = false;
    // Something was thrown out of the walk.
    bool raised = false;
    bool cancelled = false;
    bool reportWritten = false;
    // The user chose to look at the report.
    bool reportViewed = false;
    // The new last backup was stored (in the catalogue in memory).
    bool stampStored = false;
    // The catalogue with the new stamp is on the disk.
    bool catalogueSaved = false;
    std::int32_t status = 0;
    std::string reportPath;
    std::vector<std::string> reportLines;
    // The German text of what went wrong at the end (report or catalogue
    // not written), as it was told.
    std::string failure;
    // Mirroring left a target whole because it would have moved more than
    // half of its files, and nobody was asked (MassRemoval::Refuse).
    bool massRemovalRefused = false;
  };

  // The run of `request` on `engine` (its thread settings stay as the
  // driver set them); stamps go into state->Backups. Without a state only
  // the walk is made (no report, no stamp): a benchmark of the walk.
  BackupRun(AppState* state, const RunRequest& request, CopyEngine& engine);

  // Before the walk: the job's target folder.
  Start CheckTarget(MissingTarget policy);
  // The text told for Start::TargetMissing.
  const std::string& StartFailure() const { return startFailure_; }

  // With mirroring: whether a mass removal is asked about (the window) or
  // refused (the command line). Asked unless set.
  void SetMassRemoval(versions::MassRemoval policy) { massRemoval_ = policy; }

  // The whole run. `observer` may be null. A dry run (RunRequest::DryRun)
  // walks and decides as usual and hands its list to the observer's
  // ReportWritten; it writes nothing anywhere (result.reportWritten stays
  // false).
  Result Run(RunObserver* observer, bool checkDirDate);

 private:
  AppState* state_;
  const RunRequest& request_;
  CopyEngine& engine_;
  std::string startFailure_;
  versions::MassRemoval massRemoval_ = versions::MassRemoval::Ask;
  // The run's line in the job's history (none without a state).
  history::Recorder history_;

  // Mirroring (Spiegeln=1), after the walk of all rows; a dry run only
  // lists it.
  void MirrorTargets(RunObserver* observer, Result& result);
  // The run's end line in the job's history.
  void RecordEnd(const Result& result, bool clean);
  // The list of a dry run, handed to the observer as its report (no file).
  std::vector<std::string> DryRunLines(const tBackups& jobs) const;
};

// The text of a report line as it may go to a terminal or any other
// display: the same marks the report file has for control characters and
// characters that the file's code page lacks ("[x1B]", "[U+4E2D]"), in
// UTF-8.
std::string VisibleReportText(const std::string& line);
