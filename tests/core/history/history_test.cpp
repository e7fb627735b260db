// The history of the runs: the line every kind of run writes (also one
// that could not start, one cancelled, a dry run that writes none), the
// reader that survives damaged and cut-short files, the trimming of the
// file and of the kept reports.
#include "core/history/history.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "core/backup/backuprun.h"
#include "core/backup/keep_support.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/daten.h"
#include "core/restore/restorerun.h"
#include "core/sync/syncrun.h"
#include "core/verify/checklogic.h"
#include "core/verify/checkrun.h"
#include "platform/platform.h"
#include "support/core_support.h"
#include "support/job_fixture.h"

namespace fs = std::filesystem;

namespace {

// Cancels a backup at its first file.
class CancelAtFirstFile : public RunObserver {
 public:
  explicit CancelAtFirstFile(CopyEngine& engine) : engine_(engine) {}
  void SetCurrentFile(const std::string&) override { engine_.Cancel(); }
  void SetCount(const std::string&) override {}
  void SetRowCount(int, const std::string&) override {}
  void ProcessEvents() override {}

 private:
  CopyEngine& engine_;
};

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHomeDirForTesting(tmp / "home/");
    vktest::JobFixture::WriteFileAt(src + "/a.txt", "aaaa", 2020, 1, 1);
    vktest::JobFixture::WriteFileAt(src + "/sub/b.txt", "bbbbbb", 2020, 1, 1);
    state.SelectedJob = vktest::JobFixture::AddJob(state.Backups, {"Büro", job, 0, 0, {src}});
    state.Shown.Name = "Büro";
    state.Shown.TargetDir = job;
    state.Shown.Directories = {src};
  }
  void TearDown() override { SetHomeDirForTesting(std::string()); }

  std::string HistoryFile() const {
    return tBackups::GetDataDir() + state.Backups.GetHistoryFileName(0);
  }
  std::vector<history::Entry> Runs() const { return history::ReadRuns(HistoryFile()); }

  BackupRun::Result Backup(bool dryRun = false, bool cancel = false) {
    std::string failure;
    EXPECT_TRUE(ReadShownJob(state.Backups, 0, state.Shown, failure)) << failure;
    RunRequest request = MakeRunRequest(state, "Büro", false);
    request.DryRun = dryRun;
    CopyEngine engine;
    engine.CopyThreads = 0;
    BackupRun run(&state, request, engine);
    if (run.CheckTarget(MissingTarget::Ask) != BackupRun::Start::Go) return {};
    CancelAtFirstFile canceller(engine);
    return run.Run(cancel ? &canceller : nullptr, false);
  }

  vktest::TempDir tmp;
  vktest::ScriptedUi ui;
  AppState state;
  std::string src = tmp / "quelle/Daten";
  std::string job = tmp / "ziel";
};

}  // namespace

TEST_F(HistoryTest, EveryKindOfRunWritesItsLineNewestFirst) {
  struct Expected {
    history::Kind kind;
    history::Outcome outcome;
    std::int64_t files, errors, bytes;
    bool report;
  };
  std::vector<Expected> expected;  // oldest first

  // Declined: the target folder is missing and the user says "Nein".
  Backup();
  expected.push_back({history::Kind::FullBackup, history::Outcome::NotStarted, 0, 0, 0, false});
  // A full backup after "Ja".
  ui.answers = {true};
  ASSERT_TRUE(Backup().stampStored);
  expected.push_back({history::Kind::FullBackup, history::Outcome::Ok, 2, 0, 10, true});
  // A dry run: no line.
  Backup(true);
  // A check that finds a missing file, then its completion.
  fs::remove(job + "/Daten/a.txt");
  CheckRequest checkRequest = MakeCheckRequest(state, "Büro", CheckMode::Complete);
  BackupCheck check;
  PrepareCheck(check, checkRequest);
  check.RunCheck();
  expected.push_back({history::Kind::Check, history::Outcome::Errors, 0, 1, 0, true});
  BackupCompletion completion;
  completion.Rule = check.Rule();
  completion.History = check.History;
  vktest::TickedList list(CompletionEntries(check.Report));
  EXPECT_EQ(0, CompleteTickedRows(completion, list));
  EXPECT_EQ("aaaa", vktest::ReadFile(job + "/Daten/a.txt"));
  expected.push_back({history::Kind::Completion, history::Outcome::Ok, 1, 0, 4, true});

  // An incremental run with a file that cannot be read: errors.
  vktest::JobFixture::WriteFileAt(src + "/c.txt", "c", 2030, 1, 1);
  vktest::JobFixture::WriteFileAt(src + "/d.txt", "dd", 2030, 1, 1);
  fs::permissions(src + "/d.txt", fs::perms::none);
  const bool root = ::geteuid() == 0;
  Backup();
  fs::permissions(src + "/d.txt", fs::perms::owner_all);
  expected.push_back({history::Kind::IncrementalBackup,
                      root ? history::Outcome::Ok : history::Outcome::Errors, root ? 2 : 1,
                      root ? 0 : 1, root ? 3 : 1, true});
  // Cancelled at its first file.
  vktest::JobFixture::WriteFileAt(src + "/e.txt", "e", 2031, 1, 1);
  Backup(false, true);
  expected.push_back(
      {history::Kind::IncrementalBackup, history::Outcome::Cancelled, -1, 0, -1, true});

  // A restore to another folder, and one whose target is gone.
  {
    restore::RestoreRequest request = restore::MakeRestoreRequest(state);
    request.ToFolder = tmp / "zurueck";
    fs::create_directories(request.ToFolder);
    restore::RestoreRun run(&state, request);
    ASSERT_EQ(restore::RestoreRun::Start::Go, run.Check());
    EXPECT_TRUE(run.Run(nullptr).Clean());
    expected.push_back({history::Kind::Restore, history::Outcome::Ok, -1, 0, -1, true});
    request.JobTarget = tmp / "fehlt";
    restore::RestoreRun missing(&state, request);
    EXPECT_EQ(restore::RestoreRun::Start::TargetMissing, missing.Check());
    expected.push_back({history::Kind::Restore, history::Outcome::NotStarted, 0, 0, 0, false});
  }

  const std::vector<history::Entry> runs = Runs();
  ASSERT_EQ(expected.size(), runs.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const Expected& want = expected[expected.size() - 1 - i];
    const history::Entry& got = runs[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(want.kind, got.kind);
    EXPECT_EQ(want.outcome, got.outcome) << history::OutcomeText(got);
    EXPECT_EQ(history::Started::Window, got.started);
    if (want.files >= 0) {
      EXPECT_EQ(want.files, got.counts.files);
    }
    EXPECT_EQ(want.errors, got.counts.errors);
    if (want.bytes >= 0) {
      EXPECT_EQ(want.bytes, got.counts.bytes);
    }
    EXPECT_GE(got.end, got.begin);
    EXPECT_EQ(want.report, !got.report.empty());
    if (!got.report.empty()) {
      const std::string folder =
          history::ForJob(state.Backups, 0, history::Started::Window).reportFolder;
      EXPECT_EQ(0u, folder.rfind(tBackups::GetDataDir() + "Protokolle/", 0)) << folder;
      EXPECT_TRUE(vktest::Exists(folder + got.report)) << got.report;
    }
    if (want.outcome == history::Outcome::NotStarted) {
      EXPECT_FALSE(got.reason.empty());
    }
  }
  EXPECT_EQ(history::Outcome::Ok, history::LastGoodBackup(state.Backups, 0)->outcome);
  EXPECT_EQ(root ? history::Kind::IncrementalBackup : history::Kind::FullBackup,
            history::LastGoodBackup(state.Backups, 0)->kind);
  EXPECT_EQ(history::Kind::Restore, history::LastRun(state.Backups, 0)->kind);

  // Stored as Windows-1252 with CR LF, every line.
  const std::string bytes = vktest::ReadFile(HistoryFile());
  EXPECT_NE(std::string::npos, bytes.find("Pr\xFC"
                                          "fung"));
  EXPECT_EQ("\r\n", bytes.substr(bytes.size() - 2));
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'),
            std::count(bytes.begin(), bytes.end(), '\r'));

  // Deleting the job takes its history and its reports with it.
  const std::string reports = tBackups::GetDataDir() + "Protokolle/";
  ASSERT_FALSE(fs::is_empty(reports));
  const std::string file = HistoryFile();
  state.Backups.DeleteJob(0);
  EXPECT_FALSE(vktest::Exists(file));
  EXPECT_TRUE(fs::is_empty(reports));
}

// A backup whose stamp cannot be saved (the data folder's disk is full)
// is no clean run: its line in the history says so, and the box tells it
// after the report's question, as the last word of the run.
TEST_F(HistoryTest, ABackupWhoseStampCannotBeSavedIsNoCleanRun) {
  ui.answers = {true, false};  // make the target folder; do not show the report
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "write-atomic" && path.ends_with(tBackups::kCatalogueName) ? ENOSPC : 0;
  });
  const BackupRun::Result result = Backup();
  platform::SetFaultHook(nullptr);
  EXPECT_TRUE(result.reportWritten);
  EXPECT_FALSE(result.catalogueSaved);
  const std::vector<history::Entry> runs = Runs();
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(history::Outcome::Errors, runs[0].outcome);
  EXPECT_EQ(2, runs[0].counts.files);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ("ask", ui.boxes[ui.boxes.size() - 2].kind) << "the report's question comes first";
  EXPECT_NE(std::string::npos, ui.boxes.back().text.find("Das Datum der letzten Sicherung ist "
                                                         "nicht gespeichert."));
}

TEST_F(HistoryTest, SynchronisationsKeepTheirOwnHistory) {
  const std::string dataDir = tBackups::GetDataDir();
  fs::create_directories(tmp / "eins");
  vktest::WriteFile(tmp / "eins/x.txt", "xyz");
  fs::create_directories(tmp / "zwei");
  struct Case {
    const char* what;
    std::string second;
    bool dryRun;
    history::Outcome outcome;
  };
  const std::vector<Case> cases = {
      {"a first run", tmp / "zwei", false, history::Outcome::Ok},
      {"a dry run writes nothing", tmp / "zwei", true, history::Outcome::Ok},
      {"a drive not there", tmp / "fehlt/auch/zwei", false, history::Outcome::NotStarted},
  };
  std::size_t lines = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SyncRun run({"Abgleich", tmp / "eins", c.second}, dataDir);
    run.DryRun = c.dryRun;
    run.Started = history::Started::Timer;
    run.SetMissingFolder(MissingTarget::CreateLastFolderOnly);
    run.Run(nullptr);
    const auto runs = history::ReadRuns(dataDir + history::SyncFileName("Abgleich"));
    if (!c.dryRun) ++lines;
    ASSERT_EQ(lines, runs.size());
    EXPECT_EQ(c.outcome, runs.front().outcome);
    EXPECT_EQ(history::Kind::Sync, runs.front().kind);
    EXPECT_EQ(history::Started::Timer, runs.front().started);
  }
  EXPECT_EQ(3, history::ReadRuns(dataDir + history::SyncFileName("Abgleich")).back().counts.bytes);
}

TEST(HistoryFileTest, DamagedKilledAndCutShortLinesAreReadWithoutLoss) {
  vktest::TempDir tmp;
  const std::string file = tmp / "a.vlf";
  // A process that is gone for sure: a child that has ended.
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  const std::string gone = std::to_string(child);
  const std::string own = std::to_string(getpid());
  const std::string ok =
      "E|2026-12-01 10:00:00|1|Sicherung voll|Zeitplan|2026-12-01 10:01:05|ok|5|0|1|2048||";
  vktest::WriteFile(
      file,
      cp1252::FromUtf8(
          ok + "\r\n" +
          "garbage line\r\n"
          "E|2026-13-01 10:00:00|1|Sicherung voll|Zeitplan|2026-12-01 10:01:05|ok|5|0|1|2048||\r\n"
          "E|2026-12-02 10:00:00|1|Sicherung voll|Mond|2026-12-02 10:01:05|ok|5|0|1|2048||\r\n"
          "B|2026-12-03 10:00:00|" +
          gone + "|Prüfung|Fenster\r\n" + "B|2026-12-04 10:00:00|" + own +
          "|Wiederherstellung|Befehlszeile\r\n" +
          // Cut short by a full disk: the next line still stands on its own.
          "E|2026-12-05 10:00:00|1|Sicherung vo"));
  ASSERT_EQ(0, platform::AppendToFile(
                   file, cp1252::FromUtf8("E|2026-12-06 10:00:00|1|Synchronisation|"
                                          "Fenster|2026-12-06 10:00:00|nicht gestartet|0|0|"
                                          "0|0||Der Ordner | fehlt.\r\n")));
  const std::vector<history::Entry> runs = history::ReadRuns(file);
  ASSERT_EQ(4u, runs.size());
  EXPECT_EQ("nicht gestartet: Der Ordner | fehlt.", history::OutcomeText(runs[0]));
  EXPECT_EQ(history::Outcome::Running, runs[1].outcome);
  EXPECT_EQ("läuft", history::OutcomeText(runs[1]));
  EXPECT_EQ(history::Outcome::Killed, runs[2].outcome);
  EXPECT_EQ("abgebrochen (Programm beendet)", history::OutcomeText(runs[2]));
  EXPECT_EQ("", history::DurationText(runs[2]));
  EXPECT_EQ(history::Outcome::Ok, runs[3].outcome);
  EXPECT_EQ("1:05", history::DurationText(runs[3]));
  EXPECT_EQ("2,0 KB", history::BytesText(runs[3].counts.bytes));
  EXPECT_EQ("01.12.2026 10:00:00", history::MomentText(runs[3].begin));
  EXPECT_FALSE(history::ReadRuns(tmp / "fehlt.vlf").size());
  // Reading never changes the file.
  const std::string before = vktest::ReadFile(file);
  history::ReadRuns(file);
  EXPECT_EQ(before, vktest::ReadFile(file));
}

TEST(HistoryFileTest, TheFileAndTheReportsAreTrimmedToTheNewest) {
  vktest::TempDir tmp;
  history::Target target{tmp / "VKDaten/a.vlf", tmp / "VKDaten/Protokolle/a/",
                         history::Started::Window};
  fs::create_directories(tmp / "VKDaten");
  vktest::WriteFile(target.reportFolder + "Notizen.txt", "mine");
  static TDateTime now = 46000;
  const std::size_t runs = history::kTrimAt + 1;
  for (std::size_t i = 0; i < runs; ++i) {
    now += 1.0 / 86400;
    history::Recorder record(target, history::Kind::FullBackup);
    record.Clock = [] { return now; };
    record.Begin(now);
    // Reports only for the last runs: the trimming of them is the same.
    record.End(history::Outcome::Ok, {static_cast<std::int64_t>(i), 0, 0, 0},
               i + 40 >= runs ? std::vector<std::string>{"Bericht " + std::to_string(i)}
                              : std::vector<std::string>());
  }
  const std::vector<history::Entry> read = history::ReadRuns(target.file);
  ASSERT_EQ(history::kKeepRuns, read.size());
  EXPECT_EQ(static_cast<std::int64_t>(runs - 1), read.front().counts.files);
  EXPECT_EQ(static_cast<std::int64_t>(runs - history::kKeepRuns), read.back().counts.files);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(target.reportFolder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  ASSERT_EQ(history::kKeptReports + 1, names.size());
  EXPECT_EQ("Notizen.txt", names.back());
  EXPECT_EQ("Bericht " + std::to_string(runs - 1) + "\r\n",
            vktest::ReadFile(target.reportFolder + read.front().report));
}
