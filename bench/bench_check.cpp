// Drives the backup check without a window over one source tree and its
// backup and prints the counts and the time of the run.
//
//   bench_check [--runs N] [--read-ahead N] SOURCE TARGETDIR
//
// SOURCE is a source directory of a job, TARGETDIR the job's target
// directory: the backup of SOURCE is TARGETDIR/<last part of SOURCE>. The
// check runs N times (default 1) with the exclusions of a typical job;
// walk_s is the fastest run. --read-ahead sets the threads that look for
// the next files in the target ahead (0: none; default: the check's own
// choice).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/verify/checklogic.h"

namespace {

// Counts what the window would show, without showing anything.
class CountingObserver : public CheckObserver {
 public:
  void ShowDirectory(const std::string& text) override { bytes += text.size(); }
  void ShowFileTotal(std::int32_t) override { ++totals; }
  void ShowTotals(std::int32_t, std::int32_t) override { ++totals; }
  void ShowRowResult(int, const std::string&) override { ++cells; }
  void ProcessEvents() override { ++events; }
  std::size_t bytes = 0;
  long totals = 0, cells = 0, events = 0;
};

int Usage() {
  std::fprintf(stderr, "usage: bench_check [--runs N] [--read-ahead N] SOURCE TARGETDIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 1;
  int readAhead = -1;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else if (a == "--read-ahead" && i + 1 < argc) {
      readAhead = std::atoi(argv[++i]);
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      paths.push_back(a);
    }
  }
  if (paths.size() != 2 || runs < 1) return Usage();

  BackupCheck check;
  check.JobName = "Bench";
  check.ReadAheadThreads = readAhead;
  check.SetExclusions(".BAK\r\n.TMP\r\n*.~*\r\n",
                      "/home/anna/Thumbs.db\r\n/home/anna/desktop.ini\r\n");
  CountingObserver observer;
  check.SetObserver(&observer);

  double best = 1e30;
  for (int r = 0; r < runs; ++r) {
    check.Rows = {MakeCheckRow(paths[0], paths[1])};
    const auto t0 = std::chrono::steady_clock::now();
    check.RunCheck();
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
  }
  check.SetObserver(nullptr);
  std::printf("files=%d found=%d present=%d missing=%d entries=%zu events=%ld walk_s=%.4f\n",
              check.FileTotal, check.FoundTotal, check.PresentTotal, check.MissingSum,
              check.Report.Size() - 5, observer.events, best);
  return 0;
}
