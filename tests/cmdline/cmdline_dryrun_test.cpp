// The command line of a dry run and of the check by content. A dry run of
// a backup on a real tree: it lists what the run would copy,
// replace, move out and skip, and changes no byte, name or time anywhere,
// neither in the data folder nor in the target.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "cmdline/cmdline.h"
#include "core/catalogue/daten.h"
#include "support/core_support.h"
#include "support/job_fixture.h"

namespace fs = std::filesystem;

namespace {

// Everything below `root` as a dry run must leave it: kind, size, mode,
// times to the nanosecond and content, per relative path.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    struct stat st {};
    const std::string path = it->path().string();
    lstat(path.c_str(), &st);
    std::ostringstream line;
    line << st.st_mode << ' ' << st.st_size << ' ' << st.st_mtim.tv_sec << '.'
         << st.st_mtim.tv_nsec;
    if (S_ISREG(st.st_mode)) line << ' ' << vktest::ReadFile(path);
    out[it->path().lexically_relative(root).string()] = line.str();
  }
  return out;
}

class BackupDryRun : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHomeDirForTesting(home_.path());
    using vktest::JobFixture;
    // Backed up on 1 Feb 2026; the target holds that backup.
    for (const char* name : {"alt.txt", "geaendert.txt"}) {
      JobFixture::WriteFileAt(home_ / "src/Daten/" + name, "alt", 2026, 1, 10);
      JobFixture::WriteFileAt(home_ / "ziel/Daten/" + name, "alt", 2026, 1, 10);
    }
    JobFixture::WriteFileAt(home_ / "ziel/Daten/weg.txt", "weg", 2026, 1, 10);
    JobFixture::WriteFileAt(home_ / "ziel/Daten/weg/tief.txt", "w", 2026, 1, 10);
    // Since then: one file changed, one new, one excluded, and a source
    // folder whose target root is not there yet.
    JobFixture::WriteFileAt(home_ / "src/Daten/geaendert.txt", "neu!", 2026, 3, 1);
    JobFixture::WriteFileAt(home_ / "src/Daten/sub/neu.txt", "n", 2026, 3, 1);
    JobFixture::WriteFileAt(home_ / "src/Daten/notiz.tmp", "t", 2026, 3, 1);
    JobFixture::WriteFileAt(home_ / "src/Neu/n.txt", "n", 2026, 3, 1);
    // A run folder of the versions that a real run would prune.
    JobFixture::WriteFileAt(home_ / "ziel/VolKarn-Versionen/2020-01-01 100000/Daten/x.txt", "x",
                            2020, 1, 1);
    tBackups jobs;
    TDateTime date = 0;
    ASSERT_TRUE(TryEncodeDate(2026, 2, 1, date));
    const int index = jobs.AddJob("Briefe", home_ / "ziel", date, 0.5);
    ASSERT_EQ(0, textfile::WriteLines(tBackups::GetDataDir() + jobs.GetListFileName(index),
                                      {home_ / "src/Daten", home_ / "src/Neu"}));
    ASSERT_EQ(0,
              textfile::WriteLines(tBackups::GetDataDir() + jobs.GetExtFileName(index), {".TMP"}));
    ASSERT_TRUE(jobs.SaveCatalogue());
    env_.out = &out_;
    env_.err = &err_;
    env_.lockName = "volkarn-dryrun-test-" + std::to_string(getpid());
    ASSERT_EQ(cli::kExitOk,
              Run({"--options", "Briefe", "Versionen=1", "VersionenTage=30", "Spiegeln=1"}))
        << err_.str();
  }
  void TearDown() override { SetHomeDirForTesting(""); }
  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return cli::Run(cli::ParseArguments(args), env_);
  }
  bool Listed(const std::string& line) const {
    return out_.str().find(line + "\n") != std::string::npos;
  }

  vktest::TempDir home_;
  std::ostringstream out_, err_;
  cli::Environment env_;
};

TEST_F(BackupDryRun, ListsEachDecisionWithCountsAndChangesNothingAnywhere) {
  struct Case {
    const char* mode;
    const char* counts;
    bool fullRun;  // alt.txt, unchanged: replaced by a full run, else skipped
  } cases[] = {
      {"--full",
       "2 Dateien würden kopiert, 2 ersetzt (die bisherigen in den Versionen), 2 Einträge "
       "ausgelagert, 1 Dateien übersprungen.",
       true},
      {"--incremental",
       "2 Dateien würden kopiert, 1 ersetzt (die bisherigen in den Versionen), 2 Einträge "
       "ausgelagert, 2 Dateien übersprungen.",
       false},
  };
  const std::string src = home_ / "src/";
  const std::string dst = home_ / "ziel/";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    const auto before = Snapshot(home_.path());
    ASSERT_EQ(cli::kExitOk, Run({"--backup", "Briefe", c.mode, "--dry-run"})) << err_.str();
    EXPECT_EQ(before, Snapshot(home_.path())) << "a dry run changed something";
    EXPECT_TRUE(Listed(c.counts)) << out_.str();
    EXPECT_TRUE(Listed("Kopieren: " + src + "Daten/sub/neu.txt")) << out_.str();
    EXPECT_TRUE(Listed("Kopieren: " + src + "Neu/n.txt"));
    EXPECT_TRUE(Listed("Neues Zielverzeichnis: " + dst + "Neu"));
    EXPECT_TRUE(Listed("Ersetzen: " + dst +
                       "Daten/geaendert.txt (die bisherige Fassung käme in die Versionen)"));
    EXPECT_TRUE(Listed("Überspringen: " + src + "Daten/notiz.tmp"));
    EXPECT_EQ(c.fullRun, Listed("Ersetzen: " + dst +
                                "Daten/alt.txt (die bisherige Fassung käme in die Versionen)"));
    EXPECT_EQ(!c.fullRun, Listed("Überspringen: " + src + "Daten/alt.txt"));
    EXPECT_TRUE(Listed("Auslagern: " + dst + "Daten/weg.txt"));
    EXPECT_TRUE(Listed("Auslagern: " + dst + "Daten/weg/"));
  }
  // The real run afterwards does what the list said.
  ASSERT_EQ(cli::kExitOk, Run({"--backup", "Briefe", "--incremental"})) << err_.str();
  EXPECT_EQ("neu!", vktest::ReadFile(dst + "Daten/geaendert.txt"));
  EXPECT_TRUE(fs::exists(dst + "Neu/n.txt"));
  EXPECT_FALSE(fs::exists(dst + "Daten/weg.txt"));
  EXPECT_FALSE(fs::exists(dst + "Daten/notiz.tmp"));
}

}  // namespace

namespace {

TEST(CommandLineContent, ContentAndShareAreReadOrRefused) {
  struct Case {
    std::vector<std::string> args;
    bool content;
    int share;
    std::string error;  // a part of the expected message; empty: none
  } cases[] = {
      {{"--check", "Briefe", "--content"}, true, 100, ""},
      {{"--check", "Briefe", "--content", "--share", "10"}, true, 10, ""},
      {{"--check", "Briefe", "--share=1", "--content", "--complete"}, true, 1, ""},
      {{"--check", "Briefe", "--content", "--share", "0"}, true, 0, "von 1 bis 100: 0"},
      {{"--check", "Briefe", "--content", "--share", "101"}, true, 0, "von 1 bis 100"},
      {{"--check", "Briefe", "--content", "--share", "zehn"}, true, 0, "von 1 bis 100"},
      {{"--check", "Briefe", "--content", "--share"}, true, 0, "fehlt der Anteil"},
      {{"--check", "Briefe", "--share", "10"}, false, 0, "nur mit --content"},
      {{"--backup", "Briefe", "--content"}, false, 0, "--content gilt nur für --check"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const cli::Arguments a = cli::ParseArguments(c.args);
    if (c.error.empty()) {
      EXPECT_EQ("", a.error);
      EXPECT_EQ(c.content, a.content);
      EXPECT_EQ(c.share, a.share);
    } else {
      EXPECT_NE(std::string::npos, a.error.find(c.error)) << a.error;
    }
  }
}

}  // namespace
