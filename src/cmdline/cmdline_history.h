// The command line and the history of the runs: "volkarn --history", how a
// run was started, and the line of a run that the lock kept from starting.
#pragma once

#include <string>
#include <vector>

#include "cmdline/cmdline.h"
#include "core/history/history.h"

namespace cli {

// Prints the runs of the job (or, when there is no job of that name, the
// synchronisation) `args.job`, newest first, as a table. Reads only: no
// lock. kExitUsage for an unknown name, kExitUnreadable when the catalogue
// cannot be read.
int RunHistory(const Arguments& args, Environment& env);

// The table's lines: a header, then one line per run.
std::vector<std::string> HistoryTable(const std::vector<history::Entry>& runs);

// "Zeitplan" with --timer, "Befehlszeile" otherwise.
history::Started StartedBy(const Arguments& args);

// A run of `args` that could not start for `reason` (the lock held by
// another program) gets its line in the history of its job or
// synchronisation, where there is one.
void RecordRefusedStart(const Arguments& args, const std::string& reason);

}  // namespace cli
