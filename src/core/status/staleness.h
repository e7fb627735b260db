// How old a job's last good backup is, and whether that is older than the
// job allows (WarnenNachTagen). The backup page and "volkarn --status"
// both ask here.
#pragma once

#include <optional>
#include <string>

#include "base/timeproc.h"

class tBackups;

namespace status {

// The last backup that ended without errors: the newer of the job's stamp
// (stored only after a run without errors, or set by the user in the job
// editor) and the newest backup the history calls "ok". The history can be
// the newer one when the catalogue could not be saved after a good run.
// 0 for a job never backed up.
TDateTime LastGoodBackup(TDateTime stamp, TDateTime newestOkInHistory);

// Whole days between two local date-time values, counted by calendar date:
// a backup from yesterday 23:50 is 1 day old at 00:10. A moment after `now`
// (a clock put back) is 0 days old.
int AgeInDays(TDateTime moment, TDateTime now);

struct Staleness {
  bool never = false;   // the job has no good backup at all
  int days = 0;         // the age of the last good backup (0 when never)
  bool tooOld = false;  // older than the job's limit
};

// `warnAfterDays`: the job's limit; 0 never warns. A good backup is too old
// when it is strictly more days old than the limit. A job never backed up
// counts as too old unless the limit is 0: it has no backup to fall back on.
Staleness Judge(TDateTime lastGood, TDateTime now, int warnAfterDays);

// "Die letzte fehlerfreie Sicherung ist N Tage alt."; empty unless the
// backup is too old (a job never backed up shows its empty fields instead).
std::string StaleText(const Staleness& staleness);

// What the program knows about a job's backups, for the page and --status.
struct JobStatus {
  std::string name;
  TDateTime lastGood = 0;
  int warnAfterDays = 7;
  // The options file could not be read: the default limit is taken.
  bool optionsUnreadable = false;
  Staleness staleness;
};

// Job `index` of `jobs` as of `now`: its stamp, its history and its
// options. Nothing for an index outside the catalogue.
std::optional<JobStatus> ReadJobStatus(const tBackups& jobs, int index, TDateTime now);

}  // namespace status
