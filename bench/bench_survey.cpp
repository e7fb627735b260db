// Speed of the extension survey on a large tree.
//
//   bench_survey make DIR [FILES]   builds a tree of FILES files (200000)
//   bench_survey scan DIR [ROUNDS]  surveys DIR, prints the best time
//
// The tree has 2000 folders in two levels with 100 files each, names with
// one of 40 extensions, some hidden files and a hidden folder that the
// survey does not enter.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/editor/scanner.h"

namespace fs = std::filesystem;

namespace {

int MakeTree(const fs::path& root, long files) {
  const long perFolder = 100;
  const long folders = (files + perFolder - 1) / perFolder;
  long made = 0;
  for (long d = 0; d < folders && made < files; ++d) {
    const fs::path folder =
        root / ("ordner" + std::to_string(d / 50)) / ("sub" + std::to_string(d));
    fs::create_directories(folder);
    for (long i = 0; i < perFolder && made < files; ++i, ++made) {
      std::string name = (i % 25 == 0 ? "." : "") + std::string("datei_") + std::to_string(i) +
                         ".e" + std::to_string((d + i) % 40);
      std::ofstream(folder / name) << 'x';
    }
  }
  fs::create_directories(root / ".versteckt");
  std::ofstream(root / ".versteckt" / "nicht.mitzaehlen") << 'x';
  std::printf("%ld files in %ld folders under %s\n", made, folders, root.c_str());
  return 0;
}

int Scan(const std::string& dir, int rounds) {
  double best = 1e30;
  int count = 0;
  std::size_t lines = 0;
  for (int r = 0; r < rounds; ++r) {
    tScanDir scanner;
    ScanProgress window;  // no window: never cancelled
    std::string text;
    const auto start = std::chrono::steady_clock::now();
    const int result = SurveyExtensions(scanner, window, dir, "*.*", text, true);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != 1) {
      std::fprintf(stderr, "survey cancelled?\n");
      return 1;
    }
    best = std::min(best, seconds);
    count = scanner.Count;
    lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r')) + 1;
  }
  std::printf("survey: %.3f s best of %d, %d files, %zu extension lines\n", best, rounds, count,
              lines);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "make")
    return MakeTree(argv[2], argc >= 4 ? std::atol(argv[3]) : 200000);
  if (argc >= 3 && std::string(argv[1]) == "scan")
    return Scan(argv[2], argc >= 4 ? std::atoi(argv[3]) : 3);
  std::fprintf(stderr, "usage: bench_survey make DIR [FILES] | scan DIR [ROUNDS]\n");
  return 2;
}
