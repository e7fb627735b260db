// "Inhalte vergleichen": the check reads files that have the same size and
// time in source and target and compares their bytes. A share of N % per
// run is chosen by a stable hash of each file's path into ceil(100 / N)
// buckets; the bucket of a run comes from the job's run counter in the
// data folder, so that consecutive runs compare every file once.
#pragma once

#include <cstdint>
#include <string>

class BackupCheck;
class tBackups;

namespace content {

// The buckets of a share of `share` % (1..100).
int Buckets(int share);
// The bucket of a path among `buckets`.
int BucketOf(const std::string& path, int buckets);

// The counter file of job `jobIndex` (named from its list file, deleted
// with the job); empty when the job is gone.
std::string CounterPath(const tBackups& jobs, int jobIndex);

// The share of a check of job `jobIndex` set up in `check`: all files for
// 100 %, else the bucket of the next run from the job's counter. False,
// with `failure` told, when the counter file is there but cannot be read
// (it is never written over then).
bool PrepareShare(BackupCheck& check, const tBackups& jobs, int jobIndex, int share,
                  std::string& failure);
// After a check that ran to its end: the counter moves on to the next
// bucket. Result 0 or an error code.
int AdvanceShare(const BackupCheck& check, const tBackups& jobs, int jobIndex);

}  // namespace content
