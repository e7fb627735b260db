// Compares the files of one folder with those of the same names in
// another, one pair after the other, as the check by content does it
// (platform::CompareContents), and prints the pairs compared, those that
// differ and the wall time. Given two files, compares that pair (a process
// per pair, as cmp is started).
//
//   bench_content A B
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/compare.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "bench_content A B\n");
    return 2;
  }
  const std::string a = std::string(argv[1]) + "/";
  const std::string b = std::string(argv[2]) + "/";
  if (platform::FileExists(argv[1]) && platform::FileExists(argv[2]))
    return platform::CompareContents(argv[1], argv[2]).sameness == platform::Sameness::Same ? 0 : 1;
  std::vector<std::string> names;
  if (!platform::ListFileNames(a, names)) return 1;
  std::sort(names.begin(), names.end());
  const auto start = std::chrono::steady_clock::now();
  int same = 0, differing = 0, other = 0;
  for (const std::string& name : names) {
    switch (platform::CompareContents(a + name, b + name).sameness) {
      case platform::Sameness::Same:
        ++same;
        break;
      case platform::Sameness::Differs:
        ++differing;
        break;
      default:
        ++other;
        break;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("pairs=%zu same=%d differing=%d other=%d seconds=%.4f\n", names.size(), same,
              differing, other, seconds);
  return other == 0 ? 0 : 1;
}
