// The job's exclusion patterns on real trees, as the runs take them from
// the job's ".opt" file: what a backup copies, that an excluded folder is
// never listed, and that the check, the completion, a restore and the
// mirroring keep to the same rule.
#include <algorithm>
#include <filesystem>
#include <mutex>

#include <gtest/gtest.h>

#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/backup/backuprun.h"
#include "core/backup/keep_support.h"
#include "core/backup/runrequest.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/daten.h"
#include "core/editor/patterntest.h"
#include "core/restore/restorerun.h"
#include "core/verify/checkrun.h"
#include "core/versions/versions.h"
#include "platform/platform.h"
#include "support/core_support.h"
#include "support/job_fixture.h"

namespace fs = std::filesystem;

namespace {

using vktest::FilesBelow;

// The folders a walk listed or entered and the folders whose entries it
// described, from the platform's fault hook (read-ahead threads too).
class ListingRecorder {
 public:
  ListingRecorder() {
    platform::SetFaultHook([this](const std::string& op, const std::string& path) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (op == "list-dir" || op == "enter-dir") paths_.push_back(AddBackslash(path));
      // The folder whose entry is described (the entry of a folder itself
      // is described in its parent's listing).
      if (op == "describe-entry") paths_.push_back(path.substr(0, path.rfind('/') + 1));
      return 0;
    });
  }
  ~ListingRecorder() { platform::SetFaultHook(nullptr); }
  // The first path recorded at or below `folder` ("" for none).
  std::string Inside(const std::string& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string prefix = AddBackslash(folder);
    for (const std::string& path : paths_)
      if (path.compare(0, prefix.size(), prefix) == 0) return path;
    return std::string();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> paths_;
};

class ExclusionWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHomeDirForTesting(dir_ / "home/");
    state_.SelectedJob =
        vktest::JobFixture::AddJob(state_.Backups, {"Büro", Target(), 0, 0, {Source()}, {".BAK"}});
    state_.Shown.Name = "Büro";
    state_.Shown.TargetDir = Target();
    state_.Shown.Directories = {Source()};
    // The tree every case starts from.
    for (const char* file :
         {"a.txt", "b.TMP", "c.bak", "notiz.tmp.txt", "Cache/x.txt", "sub/cache/y.txt",
          "docs/Cache", "Projekte/alt/z.txt", "Projekte/neu/n.txt", "Archiv/Projekte/alt/w.txt",
          "web/node_modules/m.js", "node_modules/n.js", "deep/a/b/k.log", "deep/k.txt",
          "Büro/Ärger.txt"})
      vktest::WriteFile(Source() + "/" + file, file);
  }
  void TearDown() override { platform::SetFaultHook(nullptr); }

  std::string Source() const { return dir_ / "src/Daten"; }
  std::string Target() const { return dir_ / "ziel"; }
  std::string RowTarget() const { return Target() + "/Daten"; }
  std::string OptionsPath() const {
    return tBackups::GetDataDir() + state_.Backups.GetOptionsFileName(state_.SelectedJob);
  }
  void SetOptions(const std::string& lines) { vktest::WriteFile(OptionsPath(), lines); }

  // A run of the job as the window starts it (its options read from the
  // job's file); `full` or changed since the last one.
  BackupRun::Result Backup(bool full) {
    RunRequest request = MakeRunRequest(state_, "Büro", full);
    CopyEngine engine;
    engine.ReadAheadThreads = 2;
    BackupRun run(&state_, request, engine);
    BackupRun::Result result = run.Run(nullptr, false);
    report_ = engine.RunReport;
    return result;
  }

  vktest::TempDir dir_;
  vktest::ScriptedUi ui_;
  AppState state_;
  std::vector<std::string> report_;
};

const std::vector<std::string> kAll = {"Archiv/Projekte/alt/w.txt",
                                       "Büro/Ärger.txt",
                                       "Cache/x.txt",
                                       "Projekte/alt/z.txt",
                                       "Projekte/neu/n.txt",
                                       "a.txt",
                                       "b.TMP",
                                       "deep/a/b/k.log",
                                       "deep/k.txt",
                                       "docs/Cache",
                                       "node_modules/n.js",
                                       "notiz.tmp.txt",
                                       "sub/cache/y.txt",
                                       "web/node_modules/m.js"};  // c.bak: by its extension

// Each form of pattern with what it must leave out of a real backup (and
// only that); the folders it hits are never listed, also by the threads
// that read ahead in an incremental run.
TEST_F(ExclusionWalkTest, EachPatternFormLeavesOutWhatItHitsAndNothingElse) {
  struct Case {
    std::string pattern;
    std::vector<std::string> leftOut;         // files
    std::vector<std::string> foldersLeftOut;  // never listed
  } cases[] = {
      // Any depth, folders only, letter case ignored: the file "docs/Cache" stays.
      {"Cache/", {"Cache/x.txt", "sub/cache/y.txt"}, {"Cache", "sub/cache"}},
      // "*" within a name, at any depth; "notiz.tmp.txt" does not end so.
      {"*.tmp", {"b.TMP"}, {}},
      // Anchored at the source folder: "Archiv/Projekte/alt" stays.
      {"/Projekte/alt/", {"Projekte/alt/z.txt"}, {"Projekte/alt"}},
      {"**/node_modules/",
       {"node_modules/n.js", "web/node_modules/m.js"},
       {"node_modules", "web/node_modules"}},
      // "**" crosses folders, "?" is one character (an umlaut too).
      {"/deep/**/*.log", {"deep/a/b/k.log"}, {}},
      {"b?ro/", {"Büro/Ärger.txt"}, {"Büro"}},
      // A pattern for a name at any depth hits files and folders alike.
      {"alt",
       {"Archiv/Projekte/alt/w.txt", "Projekte/alt/z.txt"},
       {"Archiv/Projekte/alt", "Projekte/alt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    fs::remove_all(Target());
    SetOptions("Ausschluss=" + c.pattern + "\r\n");
    std::vector<std::string> expected;
    for (const std::string& file : kAll)
      if (std::find(c.leftOut.begin(), c.leftOut.end(), file) == c.leftOut.end())
        expected.push_back(file);
    for (const bool full : {true, false}) {
      SCOPED_TRACE(full ? "full" : "incremental");
      if (!full) {
        // Everything is new since the first run: the incremental run
        // reads the stamps and the next folders ahead.
        fs::remove_all(Target());
        state_.Shown.LastDate = 1;
        state_.Shown.ChangedSince = 1;
      }
      ListingRecorder listed;
      const BackupRun::Result result = Backup(full);
      EXPECT_EQ(0, result.status);
      EXPECT_TRUE(report_.empty()) << report_.front();
      EXPECT_EQ(expected, FilesBelow(RowTarget()));
      for (const std::string& folder : c.foldersLeftOut) {
        EXPECT_EQ("", listed.Inside(Source() + "/" + folder)) << folder;
        EXPECT_FALSE(fs::exists(RowTarget() + "/" + folder)) << folder;
      }
      state_.Shown.LastDate = 0;
      state_.Shown.ChangedSince = 0;
    }
  }
}

// Patterns the user adds later do not remove what is already in the
// target, not even with Spiegeln=1; the report says nothing of them.
TEST_F(ExclusionWalkTest, WhatIsAlreadyInTheTargetStaysWhenItIsExcludedLater) {
  ASSERT_EQ(0, Backup(true).status);
  fs::remove_all(Source() + "/Cache");
  fs::remove(Source() + "/b.TMP");
  fs::remove(Source() + "/a.txt");  // not excluded: moves into the versions
  SetOptions("Spiegeln=1\r\nAusschluss=cache/\r\nAusschluss=*.tmp\r\n");
  ListingRecorder listed;
  const BackupRun::Result result = Backup(true);
  EXPECT_EQ(0, result.status);
  EXPECT_TRUE(fs::exists(RowTarget() + "/Cache/x.txt"));
  EXPECT_TRUE(fs::exists(RowTarget() + "/b.TMP"));
  EXPECT_TRUE(fs::exists(RowTarget() + "/sub/cache/y.txt"));
  EXPECT_FALSE(fs::exists(RowTarget() + "/a.txt"));
  EXPECT_EQ("", listed.Inside(RowTarget() + "/Cache")) << "the mirroring does not look in";
  for (const std::string& line : result.reportLines) {
    EXPECT_EQ(std::string::npos, line.find("Cache")) << line;
    EXPECT_EQ(std::string::npos, line.find("b.TMP")) << line;
  }
}

// The check counts nothing excluded as missing and never lists an
// excluded folder; the completion copies nothing excluded, also for a row
// of a count file made before the pattern was added.
TEST_F(ExclusionWalkTest, CheckAndCompletionKeepToThePatterns) {
  SetOptions("Ausschluss=Cache/\r\nAusschluss=*.tmp\r\n");
  ASSERT_EQ(0, Backup(true).status);
  fs::remove(RowTarget() + "/deep/k.txt");

  BackupCheck check;
  PrepareCheck(check, MakeCheckRequest(state_, "Büro", CheckMode::CheckOnly));
  {
    ListingRecorder listed;
    check.RunCheck();
    EXPECT_EQ("", listed.Inside(Source() + "/Cache"));
    EXPECT_EQ("", listed.Inside(Source() + "/sub/cache"));
  }
  EXPECT_EQ(1, check.MissingSum);
  const std::vector<MissingEntry> found = CompletionEntries(check.Report);
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("deep/", found[0].subDir);

  BackupCompletion completion;
  completion.Rule = check.Rule();
  vktest::TickedList rows(found);
  // Rows an older count file holds: the source folder itself, and a
  // folder that is excluded by now.
  for (const char* sub : {"", "sub/cache/"}) {
    MissingEntry older = found[0];
    older.subDir = sub;
    rows.rows.push_back(older);
  }
  fs::remove_all(RowTarget() + "/sub");
  {
    ListingRecorder listed;
    EXPECT_EQ(0, CompleteTickedRows(completion, rows));
    EXPECT_EQ("", listed.Inside(Source() + "/sub/cache"));
  }
  EXPECT_TRUE(fs::exists(RowTarget() + "/deep/k.txt"));
  EXPECT_FALSE(fs::exists(RowTarget() + "/b.TMP"));
  EXPECT_TRUE(fs::is_directory(RowTarget() + "/sub")) << "the folder itself is not excluded";
  EXPECT_FALSE(fs::exists(RowTarget() + "/sub/cache"));
  EXPECT_FALSE(fs::exists(RowTarget() + "/Cache"));
}

// A restore of the whole job brings back nothing excluded; a path named
// on its own comes back as asked.
TEST_F(ExclusionWalkTest, AWholeJobRestoreLeavesOutWhatIsExcluded) {
  ASSERT_EQ(0, Backup(true).status);
  SetOptions("Ausschluss=/Projekte/alt/\r\nAusschluss=*.tmp\r\n");
  restore::RestoreRequest request = restore::MakeRestoreRequest(state_);
  request.ToFolder = dir_ / "zurück";
  restore::RestoreRun run(nullptr, request);
  ASSERT_EQ(restore::RestoreRun::Start::Go, run.Check());
  const restore::RestoreRun::Result result = run.Run(nullptr);
  EXPECT_TRUE(result.errors.empty()) << result.errors.front();
  std::vector<std::string> expected;
  for (const std::string& file : kAll)
    if (file != "Projekte/alt/z.txt" && file != "b.TMP") expected.push_back("Daten/" + file);
  EXPECT_EQ(expected, FilesBelow(dir_ / "zurück"));
  EXPECT_FALSE(fs::exists(dir_ / "zurück/Daten/Projekte/alt"));

  request.Paths = {"Daten/Projekte/alt/z.txt"};
  restore::RestoreRun one(nullptr, request);
  ASSERT_EQ(restore::RestoreRun::Start::Go, one.Check());
  one.Run(nullptr);
  EXPECT_TRUE(fs::exists(dir_ / "zurück/Daten/Projekte/alt/z.txt"));
}

}  // namespace

namespace {

// The tester of the options window: per pattern its files and folders
// (a folder hit is not entered, as in a run), at most 50 names, and a
// stop on request.
TEST_F(ExclusionWalkTest, TheTesterCountsWhatEachPatternHits) {
  for (int i = 0; i < 60; ++i)
    vktest::WriteFile(Source() + "/viele/" + std::to_string(i) + ".tmp", "");
  const PatternTestResult result =
      TestPatterns({Source(), dir_ / "fehlt"}, {"Cache/", "*.tmp", "/", "**/alt/"});
  ASSERT_EQ(4u, result.hits.size());
  struct Expected {
    std::int64_t files, folders;
    std::size_t names;
    bool valid;
  } expected[] = {{0, 2, 2, true}, {61, 0, 50, true}, {0, 0, 0, false}, {0, 2, 2, true}};
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(result.hits[i].pattern);
    EXPECT_EQ(expected[i].files, result.hits[i].files);
    EXPECT_EQ(expected[i].folders, result.hits[i].folders);
    EXPECT_EQ(expected[i].names, result.hits[i].names.size());
    EXPECT_EQ(expected[i].valid, result.hits[i].valid);
  }
  EXPECT_EQ(std::vector<std::string>{dir_ / "fehlt"}, result.unreadable);
  const std::vector<std::string> lines = PatternTestLines(result);
  EXPECT_EQ("Das Verzeichnis " + (dir_ / "fehlt") + " konnte nicht gelesen werden.", lines[0]);
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "*.tmp: 61 Dateien, 0 Ordner"));
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "    … und 11 weitere"));

  int asked = 0;
  const PatternTestResult stopped =
      TestPatterns({Source()}, {"*.tmp"}, [&] { return ++asked < 1; });
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_EQ("Der Test wurde abgebrochen. Die Angaben sind unvollständig.",
            PatternTestLines(stopped).back());
}

}  // namespace
