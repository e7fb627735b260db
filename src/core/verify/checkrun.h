// The steps of a check and a completion that the check windows and the
// command line share, each in one place: the check set up from its
// request, the count file written (or the failure told), the ticked rows
// completed (or the failed copy told).
#pragma once

#include <cstdint>
#include <string>

#include "core/verify/checklogic.h"

class tBackups;

// Sets the check up for a run of `request`: job name, exclusions, rows,
// an empty report.
void PrepareCheck(BackupCheck& check, const CheckRequest& request);

// The count file of job `jobIndex`; empty when the job is gone or its
// stored name is not safe to write (never the job's directory list).
std::string CountFilePath(const tBackups& jobs, int jobIndex);

// Writes the check's report as the count file of job `jobIndex`; a failure
// is told in a box. False then.
bool SaveCountFile(const BackupCheck& check, const tBackups& jobs, int jobIndex);

// Readies `completion` for what a check found: that check's exclusions,
// its history (the completion's line goes beside the check's), no status.
void PrepareCompletion(BackupCompletion& completion, const ExclusionRule& rule,
                       const history::Target& history);

// Copies the missing files of the ticked rows; a failed copy is told in a
// box (a cancel is not). The result is the completion's status.
std::int32_t CompleteTickedRows(BackupCompletion& completion, CompletionList& list);
