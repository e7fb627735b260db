// Small helpers shared by the benchmark programs.
#pragma once

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

// Peak resident memory of this process in KiB (VmHWM), 0 if unknown.
inline long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

// Processor time of the calling thread in seconds.
inline double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
