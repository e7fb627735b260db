// A backup run that keeps what it replaces: the old files in the run's
// folder of the versions, the list of the files it added, the report line,
// old run folders pruned at the start, the versions folder never walked,
// and nothing lost when the run is killed at any moment.
#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/backup/backuprun.h"
#include "core/backup/copyengine.h"
#include "core/backup/keep_support.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/jobopt.h"
#include "core/editor/jobedit.h"
#include "core/verify/checklogic.h"
#include "core/versions/keeper.h"
#include "core/versions/versions.h"
#include "platform/internal.h"
#include "platform/platform_support.h"
#include "support/core_support.h"
#include "support/job_fixture.h"

namespace fs = std::filesystem;

namespace {

TDateTime Moment(int y, int mo, int d, int h, int mi, int s) {
  TDateTime date = 0;
  EXPECT_TRUE(TryEncodeDate(y, mo, d, date));
  return date + EncodeTime(h, mi, s, 0);
}

time_t MtimeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mtim.tv_sec;
}

using vktest::FilesBelow;

std::vector<std::string> RunFolderNames(const std::string& jobTarget) {
  std::vector<versions::RunFolder> folders;
  EXPECT_EQ(0, versions::ListRunFolders(jobTarget, folders));
  std::vector<std::string> names;
  for (const auto& f : folders) names.push_back(f.name);
  return names;
}

class VersionsRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHomeDirForTesting(tmp / "home/");
    engine.Clock = [this] { return now; };
    engine.JobTarget = job;
    engine.KeepVersions = true;
  }
  void TearDown() override {
    platform::SetFaultHook(nullptr);
    SetHomeDirForTesting(std::string());
  }
  void Run(bool full) {
    engine.FullBackup = full;
    engine.StartRun();
    engine.RunRows({{src, dst}});
  }
  // The report lines after line C.
  std::vector<std::string> LinesAfterCount() const {
    const std::vector<std::string> lines = engine.ReportLines("01.01.2003", "10:00");
    auto c = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.find(" Dateien wurden kopiert.") != std::string::npos;
    });
    EXPECT_NE(lines.end(), c);
    return c == lines.end() ? std::vector<std::string>()
                            : std::vector<std::string>(c + 1, lines.end());
  }
  std::string RunFolder() const { return versions::RootOf(job) + "/" + versions::StampName(now); }

  vktest::TempDir tmp;
  CopyEngine engine;
  TDateTime now = Moment(2003, 2, 22, 18, 30, 10);
  std::string src = tmp / "quelle/Daten";
  std::string job = tmp / "ziel";
  std::string dst = tmp / "ziel/Daten";
};

}  // namespace

TEST_F(VersionsRunTest, AChangedFileGoesIntoTheRunFolderWithItsNameAndTime) {
  vktest::JobFixture::WriteFileAt(src + "/a.txt", "A1", 2003, 1, 1);
  vktest::JobFixture::WriteFileAt(src + "/tief/b.txt", "B1", 2003, 1, 1);
  vktest::JobFixture::WriteFileAt(src + "/gleich.txt", "G", 2003, 1, 1);
  Run(true);
  // The first run adds every file and keeps nothing.
  EXPECT_EQ(0, engine.VersionsKept());
  EXPECT_EQ(std::vector<std::string>{"0 Versionen wurden aufbewahrt."}, LinesAfterCount());
  std::vector<std::string> added;
  ASSERT_TRUE(versions::ReadAddedList(RunFolder(), added));
  std::sort(added.begin(), added.end());
  EXPECT_EQ((std::vector<std::string>{"Daten/a.txt", "Daten/gleich.txt", "Daten/tief/b.txt"}),
            added);
  const time_t oldTime = MtimeOf(dst + "/a.txt");

  // An incremental run a day later: two files changed, one new.
  vktest::JobFixture::WriteFileAt(src + "/a.txt", "A2", 2003, 2, 23);
  vktest::JobFixture::WriteFileAt(src + "/tief/b.txt", "B2", 2003, 2, 23);
  vktest::JobFixture::WriteFileAt(src + "/tief/neu.txt", "N", 2003, 2, 23);
  const std::string first = RunFolder();
  now = Moment(2003, 2, 23, 9, 0, 0);
  engine.ChangedSince = DateTimeToDosStamp(Moment(2003, 2, 22, 18, 0, 0));
  Run(false);
  EXPECT_EQ(0, engine.RunStatus);
  EXPECT_EQ(3, engine.CopiedTotal);
  EXPECT_TRUE(engine.RunReport.empty()) << ::testing::PrintToString(engine.RunReport);
  EXPECT_EQ("A2", vktest::ReadFile(dst + "/a.txt"));
  EXPECT_EQ("B2", vktest::ReadFile(dst + "/tief/b.txt"));
  EXPECT_EQ(RunFolder(), engine.VersionsKeeper()->RunFolderPath());
  EXPECT_EQ((std::vector<std::string>{"Daten/a.txt", "Daten/tief/b.txt", "VolKarn-Neu.txt"}),
            FilesBelow(RunFolder()));
  EXPECT_EQ("A1", vktest::ReadFile(RunFolder() + "/Daten/a.txt"));
  EXPECT_EQ("B1", vktest::ReadFile(RunFolder() + "/Daten/tief/b.txt"));
  EXPECT_EQ(oldTime, MtimeOf(RunFolder() + "/Daten/a.txt"));
  ASSERT_TRUE(versions::ReadAddedList(RunFolder(), added));
  EXPECT_EQ(std::vector<std::string>{"Daten/tief/neu.txt"}, added);
  EXPECT_EQ(std::vector<std::string>{"2 Versionen wurden aufbewahrt."}, LinesAfterCount());
  EXPECT_EQ((std::vector<std::string>{versions::StampName(Moment(2003, 2, 22, 18, 30, 10)),
                                      versions::StampName(now)}),
            RunFolderNames(job));
  EXPECT_EQ(first, versions::RootOf(job) + "/" + RunFolderNames(job).front());
}

TEST_F(VersionsRunTest, WithoutVersionsTheRunIsAsItWas) {
  vktest::WriteFile(src + "/a.txt", "neu");
  vktest::WriteFile(dst + "/a.txt", "alt");
  engine.KeepVersions = false;
  engine.VersionDays = 1;  // nothing pruned either
  fs::create_directories(versions::RootOf(job) + "/2001-01-01 120000");
  fs::create_directories(versions::RootOf(job) + "/2002-01-01 120000");
  Run(true);
  const std::vector<std::string> withJob = engine.ReportLines("01.01.2003", "10:00");
  EXPECT_EQ("neu", vktest::ReadFile(dst + "/a.txt"));
  EXPECT_EQ((std::vector<std::string>{"2001-01-01 120000", "2002-01-01 120000"}),
            RunFolderNames(job));
  EXPECT_EQ(nullptr, engine.VersionsKeeper());
  // The same report as a run that knows no job target at all.
  engine.JobTarget.clear();
  Run(true);
  EXPECT_EQ(engine.ReportLines("01.01.2003", "10:00"), withJob);
  EXPECT_TRUE(LinesAfterCount().empty());
}

TEST_F(VersionsRunTest, AnOldFileThatCannotBeKeptStaysAndTheStampIsWithheld) {
  vktest::WriteFile(src + "/a.txt", "neu");
  vktest::WriteFile(src + "/b.txt", "neu");
  vktest::WriteFile(dst + "/a.txt", "alt");
  tBackups jobs;
  const int index = vktest::JobFixture::AddJob(jobs, {"Versionen", job, 0, 0, {src}});
  vktest::FaultHookGuard guard(vktest::FailAt("move", EACCES));
  Run(true);
  EXPECT_EQ("alt", vktest::ReadFile(dst + "/a.txt"));
  EXPECT_EQ("neu", vktest::ReadFile(dst + "/b.txt"));
  EXPECT_EQ(1, engine.CopiedTotal);
  ASSERT_EQ(1u, engine.RunReport.size());
  EXPECT_EQ("Die Datei " + dst +
                "/a.txt wurde nicht ersetzt: Ihre bisherige Fassung konnte nicht in " +
                versions::RootOf(job) + " aufbewahrt werden (Fehlercode 5).",
            engine.RunReport[0]);
  const RunEnd end = DecideRunEnd(engine, {{src, dst}}, jobs, index);
  EXPECT_FALSE(end.storeStamp);
  EXPECT_EQ("0 Versionen wurden aufbewahrt.", end.reportLines.back());
}

TEST_F(VersionsRunTest, OldRunFoldersArePrunedAtTheStartNeverTheNewestNorForeignOnes) {
  const std::string root = versions::RootOf(job);
  vktest::WriteFile(src + "/a.txt", "neu");
  struct Case {
    const char* what;
    int days;
    std::vector<std::string> folders;  // in the versions folder before
    std::vector<std::string> left;     // run folders after (this run's too)
    std::vector<std::string> lines;    // after the versions line
  };
  const std::string ours = versions::StampName(now);
  const std::vector<std::string> foreign = {"Fotos", "2002-13-01 120000", "2002-01-01 12:00:00"};
  const std::vector<Case> cases = {
      {"older than 30 days go, oldest first",
       30,
       {"2002-06-01 120000 Wiederherstellung", "2002-01-01 120000", "2002-06-01 120000-2",
        "2003-02-01 120000"},
       {"2003-02-01 120000", ours},
       {"Die Versionen \"2002-01-01 120000\" wurden entfernt (älter als 30 Tage).",
        "Die Versionen \"2002-06-01 120000-2\" wurden entfernt (älter als 30 Tage).",
        "Die Versionen \"2002-06-01 120000 Wiederherstellung\" wurden entfernt (älter als 30 "
        "Tage)."}},
      {"the newest stays however old",
       1,
       {"2001-01-01 120000", "2002-01-01 120000"},
       {"2002-01-01 120000", ours},
       {"Die Versionen \"2001-01-01 120000\" wurden entfernt (älter als 1 Tag)."}},
      {"kept for ever",
       0,
       {"2001-01-01 120000", "2002-01-01 120000"},
       {"2001-01-01 120000", "2002-01-01 120000", ours},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(job);
    vktest::WriteFile(dst + "/a.txt", "alt");
    for (const std::string& f : c.folders) vktest::WriteFile(root + "/" + f + "/Daten/x.txt", f);
    for (const std::string& f : foreign) vktest::WriteFile(root + "/" + f + "/x.txt", f);
    vktest::WriteFile(root + "/2000-01-01 120000", "a file named like a run");
    engine.VersionDays = c.days;
    Run(true);
    EXPECT_EQ(c.left, RunFolderNames(job));
    std::vector<std::string> lines = {"1 Versionen wurden aufbewahrt."};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(lines, LinesAfterCount());
    for (const std::string& f : foreign) EXPECT_EQ(f, vktest::ReadFile(root + "/" + f + "/x.txt"));
    EXPECT_TRUE(fs::is_regular_file(root + "/2000-01-01 120000"));
    EXPECT_TRUE(engine.RunReport.empty());
  }
  // A folder that cannot be removed is a line too; the stamp stays due.
  fs::remove_all(job);
  vktest::WriteFile(root + "/2001-01-01 120000/Daten/x.txt", "x");
  vktest::WriteFile(root + "/2002-01-01 120000/Daten/x.txt", "x");
  vktest::FaultHookGuard guard(vktest::FailAt("remove-tree", EACCES));
  engine.VersionDays = 30;
  Run(true);
  EXPECT_EQ(
      (std::vector<std::string>{"0 Versionen wurden aufbewahrt.",
                                "Die Versionen \"2001-01-01 120000\" in " + root +
                                    " konnten nicht vollständig entfernt werden (Fehlercode 5)."}),
      LinesAfterCount());
  EXPECT_TRUE(engine.RunReport.empty());
  EXPECT_EQ(0, engine.RunStatus);
}

TEST_F(VersionsRunTest, TheVersionsFolderIsNeverWalkedNorCheckedNorBackedUp) {
  // The job's target lies inside the source.
  const std::string home = tmp / "home-quelle";
  src = home;
  job = home + "/sicherung";
  dst = job + "/home-quelle";
  engine.JobTarget = job;
  vktest::WriteFile(home + "/a.txt", "a");
  vktest::WriteFile(versions::RootOf(job) + "/2002-01-01 120000/home-quelle/a.txt", "alt");
  Run(true);
  EXPECT_EQ(std::vector<std::string>{"a.txt"}, FilesBelow(dst));
  EXPECT_EQ(1, engine.CopiedTotal);
  // The check counts the same: the source's file only.
  EXPECT_EQ(1, CountCopyableFiles(home, SkippedFoldersOf(dst)));

  // A source folder of that name: refused by the editor, and by the run
  // for a catalogue written before.
  const std::string refused = tmp / "x/VolKarn-Versionen";
  vktest::WriteFile(refused + "/b.txt", "b");
  JobDraft draft{"Job", tmp / "z", {refused}, {}, {}, {}};
  EXPECT_NE(std::string::npos, CheckJobDraft(draft).find("VolKarn-Versionen"));
  draft.Directories = {src};
  EXPECT_EQ("", CheckJobDraft(draft));
  engine.StartRun();
  engine.RunRows({{refused, job + "/VolKarn-Versionen"}});
  EXPECT_EQ(0, engine.CopiedTotal);
  EXPECT_EQ((std::vector<std::string>{"Das Verzeichnis " + refused +
                                      " wurde nicht gesichert: Ein Ordner namens "
                                      "VolKarn-Versionen enthält die aufbewahrten Versionen einer "
                                      "Sicherung. Bitte entfernen Sie ihn aus der "
                                      "Verzeichnisliste."}),
            engine.RunReport);
  // Only the first run's folder (it added a.txt) came.
  EXPECT_EQ((std::vector<std::string>{"2002-01-01 120000", versions::StampName(now)}),
            RunFolderNames(job));

  // A source whose files land in the job's target itself (a root has no
  // last name): its folder of that name is not copied onto the versions.
  const std::string root = tmp / "wurzel";
  vktest::WriteFile(root + "/VolKarn-Versionen/c.txt", "c");
  vktest::WriteFile(root + "/d.txt", "d");
  engine.StartRun();
  engine.RunRows({{root, job}});
  EXPECT_EQ(1, engine.CopiedTotal);
  EXPECT_EQ((std::vector<std::string>{"Das Verzeichnis " + root +
                                      "/VolKarn-Versionen wurde nicht gesichert: Sein Ziel wäre "
                                      "der Ordner " +
                                      versions::RootOf(job) +
                                      " mit den aufbewahrten Versionen der Sicherung."}),
            engine.RunReport);
  EXPECT_FALSE(fs::exists(versions::RootOf(job) + "/c.txt"));
}

// The run as the window and the command line start it: its options from
// the job's ".opt" file.
TEST_F(VersionsRunTest, TheJobsOptionsDecideAndAnUnreadableFileLosesNothing) {
  vktest::WriteFile(src + "/a.txt", "neu");
  struct Case {
    const char* what;
    std::function<void(const std::string& opt)> write;
    bool kept;         // the old file is in the versions
    int pruneDays;     // the older run folder went (0: it stays)
    bool optionsLine;  // the report says the options were not read
  };
  const auto write = [](const char* text) {
    return [text](const std::string& opt) { vktest::WriteFile(opt, text); };
  };
  const std::vector<Case> cases = {
      {"no file: the defaults", [](const std::string&) {}, true, 90, false},
      {"Versionen=0", write("Versionen=0\r\n"), false, 0, false},
      {"VersionenTage=30", write("VersionenTage=30\r\n"), true, 30, false},
      {"VersionenTage=0", write("VersionenTage=0\r\n"), true, 0, false},
      {"unreadable", [](const std::string& opt) { fs::create_directories(opt + "/x"); }, true, 0,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(tmp / "home");
    fs::remove_all(job);
    AppState state;
    state.SelectedJob = vktest::JobFixture::AddJob(state.Backups, {"Büro", job, 0, 0, {src}});
    state.Shown.Name = "Büro";
    state.Shown.TargetDir = job;
    state.Shown.Directories = {src};
    const std::string opt = tBackups::GetDataDir() + state.Backups.GetOptionsFileName(0);
    c.write(opt);
    vktest::WriteFile(dst + "/a.txt", "alt");
    vktest::WriteFile(versions::RootOf(job) + "/2000-01-01 120000/Daten/a.txt", "uralt");
    vktest::WriteFile(versions::RootOf(job) + "/2001-01-01 120000/Daten/a.txt", "uralt");
    vktest::ScriptedUi ui;
    const RunRequest request = MakeRunRequest(state, "Büro", true);
    CopyEngine run;
    BackupRun backup(&state, request, run);
    const BackupRun::Result result = backup.Run(nullptr, false);
    EXPECT_TRUE(result.stampStored);
    EXPECT_EQ("neu", vktest::ReadFile(dst + "/a.txt"));
    const std::vector<std::string> folders = RunFolderNames(job);
    EXPECT_EQ(2u + c.kept - (c.pruneDays > 0), folders.size()) << ::testing::PrintToString(folders);
    if (c.kept) {
      EXPECT_EQ("alt",
                vktest::ReadFile(versions::RootOf(job) + "/" + folders.back() + "/Daten/a.txt"));
    }
    std::vector<std::string> after(result.reportLines.begin() + 5, result.reportLines.end());
    std::vector<std::string> expected;
    if (c.kept) expected.push_back("1 Versionen wurden aufbewahrt.");
    if (c.optionsLine)
      expected.push_back("Die Optionen der Sicherung (" + opt +
                         ") konnten nicht gelesen werden: Ersetzte Dateien wurden aufbewahrt, alte "
                         "Versionen nicht entfernt und nichts gespiegelt.");
    if (c.pruneDays > 0)
      expected.push_back("Die Versionen \"2000-01-01 120000\" wurden entfernt (älter als " +
                         std::to_string(c.pruneDays) + " Tage).");
    EXPECT_EQ(expected, after);
  }
}

// A run with versions killed at any moment (kill -9, power loss): every
// file's old content is still in the target or in the versions, and the
// next run completes the backup with nothing lost. On ext4 (the temporary
// folder), on tmpfs and with named temporary files as on file systems
// without unnamed ones.
TEST(VersionsKillTest, ARunKilledAtAnyMomentLosesNoOldContent) {
  constexpr int kFiles = 60;
  const std::string oldText(200 * 1024, 'a');
  const std::string newText(300 * 1024, 'b');
  std::vector<std::string> places{vktest::TempDir().path()};
  if (fs::is_directory("/dev/shm")) places.push_back("/dev/shm/");
  int killedInTheRun = 0;
  for (const std::string& base : places) {
    const std::string place = base + "vk-kill-" + std::to_string(getpid()) + "/";
    const std::string src = place + "quelle/Daten";
    const std::string job = place + "ziel";
    const std::string dst = job + "/Daten";
    for (int i = 0; i < kFiles; ++i) vktest::WriteFile(src + "/k/" + std::to_string(i), newText);
    const auto target = [&](int i) { return dst + "/k/" + std::to_string(i); };
    const auto newFiles = [&] {
      int n = 0;
      for (int i = 0; i < kFiles; ++i) {
        std::error_code ec;
        n += fs::file_size(target(i), ec) == newText.size();
      }
      return n;
    };
    // The versions of file i, in any run folder.
    const auto kept = [&](int i) {
      std::vector<std::string> contents;
      for (const std::string& run : RunFolderNames(job)) {
        const std::string path =
            versions::RootOf(job) + "/" + run + "/Daten/k/" + std::to_string(i);
        if (fs::exists(path)) contents.push_back(vktest::ReadFile(path));
      }
      return contents;
    };
    for (bool named : {false, true}) {
      // Three fixed moments and one at random (in the trace below).
      const int randomMoment = 2 + static_cast<int>(std::random_device()() % (kFiles - 10));
      for (int killAfter : {1, 10, 30, randomMoment}) {
        fs::remove_all(job);
        for (int i = 0; i < kFiles; ++i) vktest::WriteFile(target(i), oldText);
        const bool killed = vktest::KillWhen(
            [&] {
              platform::detail::g_forceNamedTemp = named;
              CopyEngine run;
              run.FullBackup = true;
              run.JobTarget = job;
              run.KeepVersions = true;
              run.StartRun();
              run.RunRows({{src, dst}});
            },
            [&] { return newFiles() >= killAfter; });
        killedInTheRun += killed && newFiles() < kFiles;
        for (int i = 0; i < kFiles; ++i) {
          SCOPED_TRACE(place + " file " + std::to_string(i) + (named ? " named" : " unnamed") +
                       " after " + std::to_string(killAfter));
          const std::string now = fs::exists(target(i)) ? vktest::ReadFile(target(i)) : "";
          const std::vector<std::string> versions = kept(i);
          // Old or new or (between the keep and the link) not there; the
          // old content is never gone.
          EXPECT_TRUE(now.empty() || now == oldText || now == newText) << now.size();
          EXPECT_LE(versions.size(), 1u);
          EXPECT_TRUE(now == oldText || versions == std::vector<std::string>{oldText});
        }
        // The next run completes the backup; what the killed one kept stays.
        platform::detail::g_forceNamedTemp = named;
        CopyEngine next;
        next.FullBackup = false;
        next.ChangedSince = DateTimeToDosStamp(Moment(2000, 1, 1, 0, 0, 0));
        next.JobTarget = job;
        next.KeepVersions = true;
        next.StartRun();
        next.RunRows({{src, dst}});
        platform::detail::g_forceNamedTemp = false;
        EXPECT_TRUE(next.RunReport.empty()) << ::testing::PrintToString(next.RunReport);
        EXPECT_EQ(kFiles, newFiles());
        for (int i = 0; i < kFiles; ++i) {
          const std::vector<std::string> versions = kept(i);
          EXPECT_NE(versions.end(), std::find(versions.begin(), versions.end(), oldText)) << i;
        }
        for (const std::string& f : FilesBelow(job))
          EXPECT_EQ(std::string::npos, f.find(".vktmp-")) << f;
      }
    }
    fs::remove_all(place);
  }
  EXPECT_GT(killedInTheRun, 0);  // the kills came while files were copied
}
