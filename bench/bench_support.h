// Small helpers shared by the benchmark programs.
#pragma once

#include <cstdlib>
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
