// Drives the copy engine without a window over one source tree and prints
// the time of the walk, the time of the final flush and the peak memory.
//
//   bench_backup [--incremental EPOCH] [--no-sync] [--dir-date] [--threads N] [--read-ahead N]
//                SOURCE TARGET
//
// Without --incremental the run is a full backup. With it only files
// changed after the POSIX time EPOCH are copied (the stamp of a last backup
// at that moment). --no-sync leaves out the flush of the target's file
// system that a successful run ends with, so that the copy can be compared
// with tools that do not flush. --threads sets the copy threads,
// --read-ahead the threads that read the stamps of an incremental run
// ahead (0: none; default for both: the engine's own choice).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "core/backup/copyengine.h"
#include "bench_support.h"
#include "platform/platform.h"

namespace {

// Counts what a window would show, without showing anything.
class CountingObserver : public CopyObserver {
 public:
  void SetCurrentFile(const std::string& text) override { bytes += text.size(); }
  void SetCount(const std::string&) override { ++counts; }
  void SetRowCount(int, const std::string&) override { ++cells; }
  void ProcessEvents() override { ++events; }
  std::size_t bytes = 0;
  long counts = 0, cells = 0, events = 0;
};

int Usage() {
  std::fprintf(stderr,
               "usage: bench_backup [--incremental EPOCH] [--no-sync] [--dir-date] [--threads N] "
               "[--read-ahead N] SOURCE TARGET\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool full = true;
  bool sync = true;
  bool dirDate = false;
  int threads = -1;
  int readAhead = -1;
  std::time_t since = 0;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--incremental" && i + 1 < argc) {
      full = false;
      since = static_cast<std::time_t>(std::strtoll(argv[++i], nullptr, 10));
    } else if (a == "--no-sync") {
      sync = false;
    } else if (a == "--dir-date") {
      dirDate = true;
    } else if (a == "--threads" && i + 1 < argc) {
      threads = std::atoi(argv[++i]);
    } else if (a == "--read-ahead" && i + 1 < argc) {
      readAhead = std::atoi(argv[++i]);
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      paths.push_back(a);
    }
  }
  if (paths.size() != 2) return Usage();

  CountingObserver observer;
  CopyEngine engine;
  engine.SetObserver(&observer);
  engine.FullBackup = full;
  engine.ChangedSince = full ? 0 : platform::DosStampOf(since);
  engine.CheckDirDate = dirDate;
  engine.CopyThreads = threads;
  engine.ReadAheadThreads = readAhead;
  engine.JobName = "bench";
  const std::vector<CopyRow> rows{{paths[0], paths[1]}};

  using Clock = std::chrono::steady_clock;
  const auto t0 = Clock::now();
  const std::clock_t c0 = std::clock();
  const double m0 = ThreadCpuSeconds();
  engine.StartRun();
  engine.RunRows(rows);
  const double m1 = ThreadCpuSeconds();
  const std::clock_t c1 = std::clock();
  const auto t1 = Clock::now();
  bool flushed = true;
  if (sync && engine.RunStatus == 0) flushed = engine.FlushTargets(rows);
  const auto t2 = Clock::now();

  const double walk = std::chrono::duration<double>(t1 - t0).count();
  const double flush = std::chrono::duration<double>(t2 - t1).count();
  // cpu_s: processor time of the walk (user and system, all threads),
  // steadier than the wall time on a busy machine; main_cpu_s: that of the
  // walking thread alone.
  std::printf(
      "copied=%d status=%d report_lines=%zu walk_s=%.4f cpu_s=%.4f main_cpu_s=%.4f sync_s=%.4f "
      "peak_rss_kib=%ld\n",
      engine.CopiedTotal, engine.RunStatus, engine.RunReport.size(), walk,
      static_cast<double>(c1 - c0) / CLOCKS_PER_SEC, m1 - m0, sync ? flush : 0.0, PeakRssKiB());
  for (const std::string& line : engine.RunReport) std::fprintf(stderr, "%s\n", line.c_str());
  return engine.RunStatus == 0 && flushed ? 0 : 1;
}
