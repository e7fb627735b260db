// A job's source folder and target as three backups left them, with the
// versions the runs kept: for the windows that give files back.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "core/versions/versions.h"
#include "support/core_support.h"
#include "support/job_fixture.h"

namespace vktest {

// <dir>Daten is the source folder, <dir>ziel the job's target. The runs:
//   01.01.2026: a.txt "eins", sub/b.bin (bytes of every value)
//   02.01.2026: a.txt "zwei", c.txt added
//   03.01.2026: a.txt "drei"
// The versions hold "2026-01-02 100000" (a.txt "eins", c.txt listed as
// added) and "2026-01-03 100000" (a.txt "zwei"), and the folder of a
// restore ("… Wiederherstellung") that no state reads.
struct VersionTree {
  explicit VersionTree(const std::string& dir) : source(dir + "Daten"), target(dir + "ziel") {
    for (int i = 0; i < 70000; ++i) binary.push_back(static_cast<char>((i * 7) % 256));
    for (const std::string& root : {source, target + "/Daten"}) {
      JobFixture::WriteFileAt(root + "/a.txt", "drei", 2026, 1, 3, 9);
      JobFixture::WriteFileAt(root + "/sub/b.bin", binary, 2025, 12, 31, 23, 59, 58);
      JobFixture::WriteFileAt(root + "/c.txt", "neu", 2026, 1, 2, 9);
    }
    const std::string kept = versions::RootOf(target) + "/";
    JobFixture::WriteFileAt(kept + "2026-01-02 100000/Daten/a.txt", "eins", 2026, 1, 1, 9);
    versions::WriteAddedList(kept + "2026-01-02 100000", {"Daten/c.txt"});
    JobFixture::WriteFileAt(kept + "2026-01-03 100000/Daten/a.txt", "zwei", 2026, 1, 2, 9);
    JobFixture::WriteFileAt(kept + "2026-01-04 100000 Wiederherstellung/Daten/a.txt", "fremd", 2026,
                            1, 4, 9);
  }

  // The files of a state below the source folder: 0 the last backup, 1
  // before the run of 03.01.2026, 2 before the run of 02.01.2026.
  std::map<std::string, std::string> State(int state) const {
    std::map<std::string, std::string> files = {{"a.txt", state == 0   ? "drei"
                                                          : state == 1 ? "zwei"
                                                                       : "eins"},
                                                {"sub/b.bin", binary}};
    if (state < 2) files["c.txt"] = "neu";
    return files;
  }

  // Every file below `root` with its content.
  static std::map<std::string, std::string> Files(const std::string& root) {
    std::map<std::string, std::string> files;
    if (!std::filesystem::exists(root)) return files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
      if (e.is_regular_file())
        files[std::filesystem::relative(e.path(), root).string()] = ReadFile(e.path().string());
    return files;
  }

  std::string source;
  std::string target;
  std::string binary;
};

}  // namespace vktest
