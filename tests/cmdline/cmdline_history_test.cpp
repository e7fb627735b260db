// The history as the command line writes and shows it: how each run was
// started, a run the lock refused, a dry run that leaves no line, and a run
// killed with SIGKILL, which "volkarn --history" shows as ended by the
// program's end.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "cmdline/cmdline.h"
#include "cmdline/cmdline_history.h"
#include "core/catalogue/daten.h"
#include "platform/platform.h"
#include "support/core_support.h"

namespace {

class CommandLineHistory : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHomeDirForTesting(home_.path());
    vktest::WriteFile(home_ / "src/Daten/a.txt", "aaa");
    std::filesystem::last_write_time(
        home_ / "src/Daten/a.txt",
        std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    tBackups jobs;
    const int index = jobs.AddJob("Eigene Dateien", home_ / "ziel", 0, 0);
    ASSERT_EQ(0, textfile::WriteLines(tBackups::GetDataDir() + jobs.GetListFileName(index),
                                      {home_ / "src/Daten"}));
    ASSERT_TRUE(jobs.SaveCatalogue());
    history_ = history::ForJob(jobs, index, history::Started::Window).file;
    env_.out = &out_;
    env_.err = &err_;
    env_.lockName = "volkarn-history-test-" + std::to_string(getpid());
  }
  void TearDown() override { SetHomeDirForTesting(""); }
  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return cli::Run(cli::ParseArguments(args), env_);
  }

  vktest::TempDir home_;
  std::string history_;
  std::ostringstream out_, err_;
  cli::Environment env_;
};

}  // namespace

TEST_F(CommandLineHistory, EachRunSaysHowItWasStartedAndHistoryListsThem) {
  EXPECT_EQ(cli::kExitOk, Run({"--history", "Eigene Dateien"}));
  EXPECT_EQ("Verlauf der Datensicherung \"Eigene Dateien\":\nEs ist noch kein Lauf verzeichnet.\n",
            out_.str());

  struct Step {
    std::vector<std::string> args;
    bool line;  // the run adds a line
    history::Kind kind;
    history::Started started;
    history::Outcome outcome;
  };
  const std::vector<Step> steps = {
      {{"--backup", "Eigene Dateien", "--quiet"},
       true,
       history::Kind::FullBackup,
       history::Started::CommandLine,
       history::Outcome::Ok},
      {{"--backup", "Eigene Dateien", "--dry-run"},
       false,
       history::Kind::FullBackup,
       history::Started::CommandLine,
       history::Outcome::Ok},
      {{"--backup", "Eigene Dateien", "--quiet", "--timer"},
       true,
       history::Kind::IncrementalBackup,
       history::Started::Timer,
       history::Outcome::Ok},
      {{"--check", "Eigene Dateien", "--timer", "--quiet"},
       true,
       history::Kind::Check,
       history::Started::Timer,
       history::Outcome::Ok},
  };
  std::size_t lines = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.args.back());
    EXPECT_EQ(cli::kExitOk, Run(step.args)) << err_.str();
    const auto runs = history::ReadRuns(history_);
    lines += step.line ? 1 : 0;
    ASSERT_EQ(lines, runs.size());
    if (!step.line) continue;
    EXPECT_EQ(step.kind, runs.front().kind);
    EXPECT_EQ(step.started, runs.front().started);
    EXPECT_EQ(step.outcome, runs.front().outcome);
  }

  // Another program holds the lock: the run could not start, and says why.
  {
    platform::InstanceLock window;
    ASSERT_EQ(platform::InstanceLock::Result::Acquired,
              window.Acquire(tBackups::GetDataDir(), env_.lockName));
    EXPECT_EQ(cli::kExitRunning, Run({"--backup", "Eigene Dateien", "--full", "--timer"}));
  }
  const auto runs = history::ReadRuns(history_);
  ASSERT_EQ(lines + 1, runs.size());
  EXPECT_EQ("nicht gestartet: VolKarn wurde bereits gestartet!", history::OutcomeText(runs[0]));
  EXPECT_EQ(history::Started::Timer, runs[0].started);

  EXPECT_EQ(cli::kExitOk, Run({"--history", "eigene dateien"}));
  const std::string text = out_.str();
  const std::vector<std::string> table = cli::HistoryTable(runs);
  ASSERT_EQ(runs.size() + 1, table.size());
  EXPECT_EQ(0u, table[0].rfind("Beginn  ", 0)) << table[0];
  EXPECT_NE(std::string::npos, table[0].find("Ergebnis"));
  for (const std::string& line : table) EXPECT_NE(std::string::npos, text.find(line + "\n"));
  EXPECT_NE(std::string::npos, table[1].find("Zeitplan"));
  EXPECT_NE(std::string::npos, table[4].find("Sicherung voll "));
  EXPECT_NE(std::string::npos, table[4].find(" Befehlszeile "));
  EXPECT_NE(std::string::npos, text.find("Die Berichte liegen in " + tBackups::GetDataDir() +
                                         "Protokolle/EigeneDa/."));

  EXPECT_EQ(cli::kExitUsage, Run({"--history", "Fremd"}));
  EXPECT_NE(std::string::npos, err_.str().find("\"Fremd\""));
  EXPECT_EQ(cli::kExitUsage, Run({"--list", "--timer"}));
  EXPECT_NE(std::string::npos, err_.str().find("--timer gilt nur"));
  EXPECT_EQ(cli::kExitUsage, Run({"--history"}));
}

TEST_F(CommandLineHistory, AKilledRunIsShownAsEndedByTheProgramsEnd) {
  constexpr int kFiles = 40;
  const std::string big(256 * 1024, 'n');
  for (int i = 0; i < kFiles; ++i)
    vktest::WriteFile(home_ / ("src/Daten/k/" + std::to_string(i)), big);
  auto copied = [&] {
    int n = 0;
    for (int i = 0; i < kFiles; ++i)
      n += vktest::Exists(home_ / ("ziel/Daten/k/" + std::to_string(i)));
    return n;
  };
  bool killedMidway = false;
  for (int attempt = 0; attempt < 5 && !killedMidway; ++attempt) {
    std::filesystem::remove_all(home_ / "ziel");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(Run({"--backup", "Eigene Dateien", "--full", "--quiet"}));
    while (copied() < 3) std::this_thread::yield();
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    killedMidway = WIFSIGNALED(status) && copied() < kFiles;
  }
  ASSERT_TRUE(killedMidway);
  auto runs = history::ReadRuns(history_);
  ASSERT_FALSE(runs.empty());
  EXPECT_EQ(history::Outcome::Killed, runs.front().outcome);
  EXPECT_EQ("abgebrochen (Programm beendet)", history::OutcomeText(runs.front()));

  // The next run writes its own line; the killed one stays as it was.
  EXPECT_EQ(cli::kExitOk, Run({"--backup", "Eigene Dateien", "--full", "--quiet"})) << err_.str();
  runs = history::ReadRuns(history_);
  ASSERT_GE(runs.size(), 2u);
  EXPECT_EQ(history::Outcome::Ok, runs[0].outcome);
  EXPECT_EQ(kFiles + 1, runs[0].counts.files);
  EXPECT_EQ(history::Outcome::Killed, runs[1].outcome);
  EXPECT_EQ(cli::kExitOk, Run({"--history", "Eigene Dateien"}));
  EXPECT_NE(std::string::npos, out_.str().find("abgebrochen (Programm beendet)"));
}
