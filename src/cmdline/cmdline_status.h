// The command line's view of the jobs' state: "volkarn --status", and the
// desktop notification at the end of a run that nobody watches.
#pragma once

#include <string>

#include "base/timeproc.h"
#include "cmdline/cmdline.h"

namespace cli {

// Prints each job with its last good backup, its age against its limit
// (WarnenNachTagen) and its last run; as of `now`. kExitErrors when any
// job's last good backup is too old (a job never backed up counts as too
// old unless its limit is 0), kExitUnreadable when the catalogue or the
// settings cannot be read, otherwise kExitOk. Reads only: no lock.
int RunStatus(Environment& env, TDateTime now);

// Tells the desktop how the run `what` (Datensicherung "Briefe") ended with
// exit code `code`, at most once a day for the same failure, and the first
// success after a failure told. `failure`: the run's German message.
void NotifyRunEnd(Environment& env, const std::string& what, bool sync, int code,
                  const std::string& failure);

}  // namespace cli
