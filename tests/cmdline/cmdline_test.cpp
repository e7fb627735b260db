#include "cmdline/cmdline.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "core/catalogue/daten.h"
#include "core/sync/syncdefs.h"
#include "platform/internal.h"
#include "platform/platform.h"
#include "support/core_support.h"

namespace {

using cli::Action;
using cli::Arguments;
using cli::Mode;

TEST(CommandLine, ArgumentsAreReadOrRefusedWithAGermanReason) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    std::string job;
    Mode mode;
    bool complete, quiet;
    std::string error;  // a part of the expected message; empty: none
  };
  const Case cases[] = {
      {{}, Action::Window, "", Mode::Default, false, false, ""},
      {{"--backup", "Eigene Dateien"},
       Action::Backup,
       "Eigene Dateien",
       Mode::Default,
       false,
       false,
       ""},
      {{"--backup=Briefe", "--full", "--quiet"},
       Action::Backup,
       "Briefe",
       Mode::Full,
       false,
       true,
       ""},
      {{"--quiet", "--backup", "-x", "--incremental"},
       Action::Backup,
       "-x",
       Mode::Incremental,
       false,
       true,
       ""},
      {{"--check", "Briefe", "--complete"},
       Action::Check,
       "Briefe",
       Mode::Default,
       true,
       false,
       ""},
      {{"--list"}, Action::List, "", Mode::Default, false, false, ""},
      {{"--help"}, Action::Help, "", Mode::Default, false, false, ""},
      {{"--version"}, Action::Version, "", Mode::Default, false, false, ""},
      {{"--backup"}, Action::Backup, "", Mode::Default, false, false, "fehlt der Name"},
      {{"--backup", "  "}, Action::Backup, "  ", Mode::Default, false, false, "ist leer"},
      {{"--backup", "A", "--full", "--incremental"},
       Action::Backup,
       "A",
       Mode::Default,
       false,
       false,
       "schließen einander aus"},
      {{"--check", "A", "--full"},
       Action::Check,
       "A",
       Mode::Default,
       false,
       false,
       "nur für --backup"},
      {{"--backup", "A", "--complete"},
       Action::Backup,
       "A",
       Mode::Default,
       false,
       false,
       "nur für --check"},
      {{"--list", "--quiet"}, Action::List, "", Mode::Default, false, false, "--quiet gilt nur"},
      {{"--list", "--backup", "A"}, Action::Backup, "A", Mode::Default, false, false, "Nur eine"},
      {{"--bakup", "A"},
       Action::Window,
       "",
       Mode::Default,
       false,
       false,
       "Unbekannte Option: --bakup"},
      {{"--full"}, Action::Window, "", Mode::Default, false, false, "Es fehlt eine"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args.front());
    const Arguments a = cli::ParseArguments(c.args);
    if (c.error.empty()) {
      EXPECT_EQ("", a.error);
      EXPECT_EQ(c.action, a.action);
      EXPECT_EQ(c.job, a.job);
      EXPECT_EQ(c.mode, a.mode);
      EXPECT_EQ(c.complete, a.complete);
      EXPECT_EQ(c.quiet, a.quiet);
    } else {
      EXPECT_NE(std::string::npos, a.error.find(c.error)) << a.error;
    }
  }
  // The toolkit's own options still start the window program.
  char prog[] = "volkarn", platform[] = "-platform", backup[] = "--backup", help[] = "-h";
  char* window[] = {prog, platform, nullptr};
  char* run[] = {prog, backup, nullptr};
  char* h[] = {prog, help, nullptr};
  EXPECT_FALSE(cli::WantsCommandLine(1, window));
  EXPECT_FALSE(cli::WantsCommandLine(2, window));
  EXPECT_TRUE(cli::WantsCommandLine(2, run));
  EXPECT_TRUE(cli::WantsCommandLine(2, h));
}

TEST(CommandLine, ProgressIsDrawnAtMostTenTimesASecondAndFitsTheTerminal) {
  std::ostringstream out;
  auto now = std::chrono::steady_clock::time_point();
  cli::TerminalProgress progress(out, 40, [&now] { return now; });
  progress.Show("1 Dateien kopiert: /a/");
  now += std::chrono::milliseconds(50);
  progress.Show("2 Dateien kopiert: /a/");
  EXPECT_EQ(std::string::npos, out.str().find("2 Dateien")) << "drawn again within 100 ms";
  now += std::chrono::milliseconds(60);
  progress.Show("3 Dateien kopiert: /a/");
  EXPECT_NE(std::string::npos, out.str().find("\r3 Dateien kopiert: /a/\x1b[K"));
  progress.Clear();
  EXPECT_EQ("\r\x1b[K", out.str().substr(out.str().size() - 4));

  // A long folder keeps the count and the end of the path, cut by
  // characters, not bytes.
  const std::string fitted =
      cli::TerminalProgress::Fit("12 Dateien kopiert: /home/ä/Dokumente/Briefe/2003/Mai/", 40);
  EXPECT_EQ(40u, text::Length(fitted));
  EXPECT_EQ("12 Dateien kopiert: .../Briefe/2003/Mai/", fitted);
  EXPECT_EQ("kurz", cli::TerminalProgress::Fit("kurz", 40));
}

// A catalogue with one job in a folder of its own, run through cli::Run.
class CommandLineRun : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHomeDirForTesting(home_.path());
    vktest::WriteFile(home_ / "src/Daten/a.txt", "aaa");
    vktest::WriteFile(home_ / "src/Daten/sub/b.txt", "bb");
    // Older than any stamp a run stores.
    for (const char* file : {"src/Daten/a.txt", "src/Daten/sub/b.txt"})
      std::filesystem::last_write_time(
          home_ / file, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    tBackups jobs;
    const int index = jobs.AddJob("Eigene Dateien", home_ / "ziel", 0, 0);
    ASSERT_EQ(0, textfile::WriteLines(tBackups::GetDataDir() + jobs.GetListFileName(index),
                                      {home_ / "src/Daten"}));
    ASSERT_TRUE(jobs.SaveCatalogue());
    env_.out = &out_;
    env_.err = &err_;
    env_.lockName = "volkarn-cmdline-test-" + std::to_string(getpid());
    env_.unattended = true;
    env_.notify = [this](const std::string& summary, const std::string& body) {
      notes_.push_back(summary + "|" + body);
      return true;
    };
  }
  void TearDown() override {
    platform::SetFaultHook(nullptr);
    SetHomeDirForTesting("");
  }
  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return cli::Run(cli::ParseArguments(args), env_);
  }
  JobRecord Job() {
    tBackups jobs;
    jobs.LoadCatalogue();
    JobRecord record;
    jobs.GetJob(0, record);
    return record;
  }
  std::string Log() { return vktest::ReadFile(tBackups::GetDataDir() + "EigeneDa.log"); }
  // Runs `args` in a child process and kills it (SIGKILL, as a power
  // loss) once `progress()` has reached `at`, odd attempts with named
  // temporary files as on a target without O_TMPFILE. True when the run
  // was killed before `progress()` reached `all`.
  bool KilledMidway(const std::vector<std::string>& args, const std::function<int()>& progress,
                    int at, int all, int attempt) {
    const pid_t child = fork();
    if (child < 0) {
      ADD_FAILURE() << "fork";
      return false;
    }
    if (child == 0) {
      platform::detail::g_forceNamedTemp = attempt % 2 == 0;
      env_.notify = nullptr;
      _exit(Run(args));
    }
    int status = 0;
    pid_t ended = 0;
    while (progress() < at && (ended = waitpid(child, &status, WNOHANG)) == 0)
      std::this_thread::yield();
    EXPECT_TRUE(ended == 0 || WIFEXITED(status)) << "the run did not end by itself";
    if (ended == 0) {
      kill(child, SIGKILL);
      EXPECT_EQ(child, waitpid(child, &status, 0));
    }
    return WIFSIGNALED(status) && progress() < all;
  }
  // The files of the target whose name contains `part`.
  int TargetFilesNamed(const std::string& part) {
    int n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(home_ / "ziel"))
      n += e.path().filename().string().find(part) != std::string::npos;
    return n;
  }

  vktest::TempDir home_;
  std::ostringstream out_, err_;
  cli::Environment env_;
  std::vector<std::string> notes_;
};

TEST_F(CommandLineRun, BackupStoresTheStampAtOnceAndTheNextRunIsIncremental) {
  EXPECT_EQ(0, Run({"--list"}));
  EXPECT_EQ("Eigene Dateien\n", out_.str());

  EXPECT_EQ(cli::kExitOk, Run({"--backup", "eigene DATEIEN"})) << err_.str();
  EXPECT_EQ("aaa", vktest::ReadFile(home_ / "ziel/Daten/a.txt"));
  EXPECT_NE(std::string::npos, err_.str().find("2 Dateien wurden kopiert."));
  EXPECT_NE(std::string::npos, Log().find("Es sind keine Fehler aufgetreten.\r\n2 Dateien"));
  const JobRecord first = Job();
  EXPECT_NE(0, first.LastDate()) << "the catalogue file holds the new stamp";

  // Nothing changed since: the default mode is incremental and copies none.
  EXPECT_EQ(cli::kExitOk, Run({"--backup", "Eigene Dateien", "--quiet"}));
  EXPECT_EQ("", err_.str()) << "a quiet run without errors says nothing";
  EXPECT_NE(std::string::npos, Log().find("0 Dateien wurden kopiert."));
  EXPECT_EQ(cli::kExitOk, Run({"--backup", "Eigene Dateien", "--full"}));
  EXPECT_NE(std::string::npos, Log().find("2 Dateien wurden kopiert."));
  EXPECT_TRUE(notes_.empty());
}

TEST_F(CommandLineRun, FailuresGiveTheirExitCodesAndTellTheDesktop) {
  // An unreadable source file: report line, no stamp, code 1, notification.
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "copy-open-source" && path.find("a.txt") != std::string::npos ? EACCES : 0;
  });
  EXPECT_EQ(cli::kExitErrors, Run({"--backup", "Eigene Dateien", "--quiet"}));
  platform::SetFaultHook(nullptr);
  EXPECT_NE(std::string::npos, err_.str().find("Folgende Fehler sind aufgetreten:"));
  EXPECT_EQ(0, Job().LastDate());
  ASSERT_EQ(1u, notes_.size());
  EXPECT_NE(std::string::npos, notes_[0].find("\"Eigene Dateien\""));
  EXPECT_NE(std::string::npos, notes_[0].find(tBackups::GetDataDir() + "EigeneDa.log"));

  EXPECT_EQ(cli::kExitUsage, Run({"--backup", "Fremd"}));
  EXPECT_NE(std::string::npos, err_.str().find("Es gibt keine Datensicherung \"Fremd\"."));
  EXPECT_EQ(cli::kExitUsage, Run({"--backup"}));
  EXPECT_NE(std::string::npos, err_.str().find("volkarn --help"));

  {
    platform::InstanceLock window;
    ASSERT_EQ(platform::InstanceLock::Result::Acquired,
              window.Acquire(tBackups::GetDataDir(), env_.lockName));
    EXPECT_EQ(cli::kExitRunning, Run({"--backup", "Eigene Dateien"}));
    EXPECT_NE(std::string::npos, err_.str().find("VolKarn wurde bereits gestartet!"));
  }

  // A cancel (the signal's flag) before the first copy.
  env_.cancelRequested = [] { return true; };
  EXPECT_EQ(cli::kExitCancelled, Run({"--backup", "Eigene Dateien"}));
  env_.cancelRequested = nullptr;
  EXPECT_NE(std::string::npos,
            Log().find("Der Kopiervorgang wurde durch den Benutzer abgebrochen."));
  EXPECT_EQ(0, Job().LastDate());

  // A catalogue that cannot be read is left alone.
  const std::string catalogue = tBackups::GetDataDir() + "volkarn.dat";
  std::filesystem::rename(catalogue, catalogue + ".keep");
  std::filesystem::create_directory(catalogue);
  EXPECT_EQ(cli::kExitUnreadable, Run({"--list"}));
  EXPECT_EQ(cli::kExitUnreadable, Run({"--backup", "Eigene Dateien"}));
  EXPECT_NE(std::string::npos, err_.str().find("konnte nicht gelesen werden"));
  EXPECT_EQ(4u, notes_.size()) << "unknown job, lock and unreadable catalogue are told too";
}

TEST_F(CommandLineRun, CheckFindsMissingFilesAndCompleteCopiesThem) {
  EXPECT_EQ(cli::kExitErrors, Run({"--check", "Eigene Dateien"}));
  EXPECT_NE(std::string::npos, err_.str().find("Summe: 2"));
  EXPECT_FALSE(vktest::Exists(tBackups::GetDataDir() + "EigeneDa.cou"));

  EXPECT_EQ(cli::kExitOk, Run({"--check", "Eigene Dateien", "--complete", "--quiet"}));
  EXPECT_EQ("bb", vktest::ReadFile(home_ / "ziel/Daten/sub/b.txt"));
  EXPECT_NE(std::string::npos,
            vktest::ReadFile(tBackups::GetDataDir() + "EigeneDa.cou").find("Summe: 2\r\n"));
  EXPECT_EQ(cli::kExitOk, Run({"--check", "Eigene Dateien"}));
  EXPECT_NE(std::string::npos, err_.str().find("Summe: 0"));
}

// Whether a target folder, its parent or neither exists decides an
// unattended run: a missing drive is never replaced by the system disk.
TEST_F(CommandLineRun, AMissingTargetDriveIsNeverMadeOnTheSystemDisk) {
  struct Case {
    std::string target;  // below home
    int code;
    bool made;  // the target folder exists after the run
  } cases[] = {
      {"media/anna/STICK/Sicherung", cli::kExitTargetMissing, false},
      {"neu", cli::kExitOk, true},  // the last folder under an existing one
  };
  for (const Case& c : cases) {
    tBackups jobs;
    ASSERT_EQ(tBackups::LoadResult::Loaded, jobs.LoadCatalogue());
    JobRecord record;
    jobs.GetJob(0, record);
    jobs.UpdateJob(0, record.Name(), home_ / c.target, 0, 0);
    ASSERT_TRUE(jobs.SaveCatalogue());
    notes_.clear();
    EXPECT_EQ(c.code, Run({"--backup", "Eigene Dateien", "--quiet"})) << c.target;
    EXPECT_EQ(c.made, vktest::Exists(home_ / c.target)) << c.target;
    if (c.made) continue;
    EXPECT_FALSE(vktest::Exists(home_ / "media")) << "nothing is made below the missing drive";
    EXPECT_NE(std::string::npos, err_.str().find("Ist der Datenträger angeschlossen?"));
    ASSERT_EQ(1u, notes_.size());
    EXPECT_NE(std::string::npos, notes_[0].find("nicht gestartet"));
    EXPECT_EQ(0, Job().LastDate());
    // The completion, too, copies nothing there.
    EXPECT_EQ(c.code, Run({"--check", "Eigene Dateien", "--complete", "--quiet"}));
    EXPECT_FALSE(vktest::Exists(home_ / "media"));
  }
}

// Names in report lines reach the terminal as they stand in the report
// file: no escape sequence, no split line.
TEST_F(CommandLineRun, ReportLinesOnTheTerminalShowNamesAsTheReportFileDoes) {
  vktest::WriteFile(home_ / "src/Daten/rot\x1b[31m.txt", "r");
  vktest::WriteFile(home_ / "src/Daten/zwei\nZeilen.txt", "z");
  vktest::WriteFile(home_ / "src/Daten/\xE4\xB8\xAD.txt", "c");
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "copy-open-source" && path.find("Daten/a.txt") == std::string::npos &&
                   path.find("sub/") == std::string::npos
               ? EACCES
               : 0;
  });
  EXPECT_EQ(cli::kExitErrors, Run({"--backup", "Eigene Dateien"}));
  platform::SetFaultHook(nullptr);
  const std::string shown = err_.str();
  const std::string log = cp1252::ToUtf8(Log());
  EXPECT_EQ(std::string::npos, shown.find('\x1b'));
  for (const char* name : {"rot[x1B][31m.txt", "zwei[x0A]Zeilen.txt", "[U+4E2D].txt"}) {
    EXPECT_NE(std::string::npos, shown.find(name)) << name;
    EXPECT_NE(std::string::npos, log.find(name)) << name;
  }
}

// A command-line run killed while it copies leaves its mark, and the next
// run, whatever it copies, takes away what the killed one left.
TEST_F(CommandLineRun, AKilledRunLeavesItsMarkAndTheNextRunSweepsTheTarget) {
  constexpr int kFiles = 40;
  const std::string big(256 * 1024, 'n');
  for (int i = 0; i < kFiles; ++i)
    vktest::WriteFile(home_ / ("src/Daten/k/" + std::to_string(i)), big);
  const std::string mark = tBackups::GetDataDir() + tBackups::kRunMarkName;
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
    if (child == 0) {
      // Named temporary files, as on a target without O_TMPFILE.
      platform::detail::g_forceNamedTemp = true;
      env_.notify = nullptr;
      _exit(Run({"--backup", "Eigene Dateien", "--full", "--quiet"}));
    }
    while (copied() < 3) std::this_thread::yield();
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    killedMidway = WIFSIGNALED(status) && copied() < kFiles;
  }
  ASSERT_TRUE(killedMidway);
  EXPECT_TRUE(vktest::Exists(mark)) << "the killed run's mark names its targets";
  // Leftovers where the next run copies nothing: the mark sends the sweep
  // there too.
  vktest::WriteFile(home_ / "ziel/Daten/sub/.b.txt.vktmp-Ab12Cd", "halb");
  EXPECT_EQ(cli::kExitOk, Run({"--backup", "Eigene Dateien", "--full", "--quiet"})) << err_.str();
  EXPECT_EQ(kFiles, copied());
  EXPECT_EQ(0, TargetFilesNamed(".vktmp-"));
  EXPECT_FALSE(vktest::Exists(mark));
}

// With Spiegeln=1 the command line takes nothing out of a target that would
// lose more than half of its files: it ends with an exit code of its own and
// the files stay. A smaller removal goes into the versions.
TEST_F(CommandLineRun, AMassRemovalIsRefusedWithItsOwnExitCode) {
  tBackups jobs;
  ASSERT_EQ(tBackups::LoadResult::Loaded, jobs.LoadCatalogue());
  vktest::WriteFile(tBackups::GetDataDir() + jobs.GetOptionsFileName(0), "Spiegeln=1\r\n");
  for (int i = 0; i < 10; ++i)
    vktest::WriteFile(home_ / ("ziel/Daten/alt/" + std::to_string(i)), "alt");
  EXPECT_EQ(cli::kExitMassRemoval, Run({"--backup", "Eigene Dateien", "--quiet"})) << err_.str();
  EXPECT_EQ("alt", vktest::ReadFile(home_ / "ziel/Daten/alt/0"));
  EXPECT_NE(std::string::npos, Log().find("wurde nichts in die Versionen verschoben"));
  ASSERT_EQ(1u, notes_.size());
  EXPECT_NE(std::string::npos, notes_[0].find("ohne Spiegeln"));
  EXPECT_NE(0, Job().LastDate()) << "the copies are complete";

  std::filesystem::remove_all(home_ / "ziel/Daten/alt");
  vktest::WriteFile(home_ / "ziel/Daten/alt.txt", "alt");
  EXPECT_EQ(cli::kExitOk, Run({"--backup", "Eigene Dateien", "--quiet"})) << err_.str();
  EXPECT_FALSE(vktest::Exists(home_ / "ziel/Daten/alt.txt"));
  EXPECT_NE(std::string::npos, Log().find("1 Versionen wurden aufbewahrt."));
  int kept = 0;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(home_ / "ziel/VolKarn-Versionen"))
    kept += entry.path().filename() == "alt.txt" && vktest::ReadFile(entry.path()) == "alt";
  EXPECT_EQ(1, kept);

  // A job that keeps no versions of what it replaces still keeps what
  // mirroring takes out.
  vktest::WriteFile(tBackups::GetDataDir() + jobs.GetOptionsFileName(0),
                    "Versionen=0\r\nSpiegeln=1\r\n");
  vktest::WriteFile(home_ / "ziel/Daten/sub/alt2.txt", "alt2");
  EXPECT_EQ(cli::kExitOk, Run({"--backup", "Eigene Dateien", "--quiet"})) << err_.str();
  EXPECT_FALSE(vktest::Exists(home_ / "ziel/Daten/sub/alt2.txt"));
  EXPECT_NE(std::string::npos, Log().find("1 Versionen wurden aufbewahrt."));
}

}  // namespace

namespace {

TEST(CommandLine, RestoreVersionsAndOptionsArgumentsAreRead) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    std::vector<std::string> operands;
    std::string error;  // a part of the expected message; empty: none
  } cases[] = {
      {{"--restore", "Briefe", "--as-of", "2026-01-02 10:00", "--to=/tmp/z", "--dry-run", "a", "b"},
       Action::Restore,
       {"a", "b"},
       ""},
      {{"--restore", "Briefe", "--", "-x"}, Action::Restore, {"-x"}, ""},
      {{"--versions", "Briefe", "Daten/a.txt"}, Action::Versions, {"Daten/a.txt"}, ""},
      {{"--options", "Briefe", "Spiegeln=1", "Versionen=0"},
       Action::Options,
       {"Spiegeln=1", "Versionen=0"},
       ""},
      {{"--versions", "Briefe", "a", "b"}, Action::Versions, {}, "höchstens einen Pfad"},
      {{"--backup", "Briefe", "a"}, Action::Backup, {}, "Unerwartete Angabe: a"},
      {{"--check", "Briefe", "--dry-run"}, Action::Check, {}, "nur für --backup, --restore"},
      {{"--restore", "Briefe", "--as-of"}, Action::Restore, {}, "fehlt der Zeitpunkt"},
      {{"--restore"}, Action::Restore, {}, "fehlt der Name"},
      {{"--restore", "A", "--check", "A"}, Action::Check, {}, "Nur eine"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const Arguments a = cli::ParseArguments(c.args);
    if (c.error.empty()) {
      EXPECT_EQ("", a.error);
      EXPECT_EQ(c.action, a.action);
      EXPECT_EQ(c.operands, a.operands);
    } else {
      EXPECT_NE(std::string::npos, a.error.find(c.error)) << a.error;
    }
  }
  const Arguments full = cli::ParseArguments(
      {"--restore", "Briefe", "--as-of", "2026-01-02 10:00", "--to=/tmp/z", "--dry-run"});
  EXPECT_EQ("2026-01-02 10:00", full.asOf);
  EXPECT_EQ("/tmp/z", full.to);
  EXPECT_TRUE(full.dryRun);
  for (const char* word : {"--restore", "--versions", "--options", "--as-of", "--dry-run"})
    EXPECT_NE(std::string::npos, cli::HelpText().find(word)) << word;
}

TEST_F(CommandLineRun, RestoreGivesTheBackupBackAndNeverReplacesANewerFile) {
  ASSERT_EQ(cli::kExitOk, Run({"--backup", "Eigene Dateien"})) << err_.str();
  const std::string rlg = tBackups::GetDataDir() + "EigeneDa.rlg";

  // Into another folder: byte-exact, the report in the data folder.
  EXPECT_EQ(cli::kExitOk, Run({"--restore", "Eigene Dateien", "--to", home_ / "zurueck"}))
      << err_.str();
  EXPECT_EQ("aaa", vktest::ReadFile(home_ / "zurueck/Daten/a.txt"));
  EXPECT_EQ("bb", vktest::ReadFile(home_ / "zurueck/Daten/sub/b.txt"));
  EXPECT_EQ(std::filesystem::last_write_time(home_ / "src/Daten/a.txt"),
            std::filesystem::last_write_time(home_ / "zurueck/Daten/a.txt"));
  const std::string report = vktest::ReadFile(rlg);
  EXPECT_EQ(0u, report.find("Wiederherstellung \"Eigene Dateien\" am ")) << report;
  EXPECT_NE(std::string::npos, report.find("\r\n(Stand: letzte Sicherung)\r\n\r\nEs sind keine "
                                           "Fehler aufgetreten.\r\n2 Dateien wurden "
                                           "wiederhergestellt.\r\n"))
      << report;

  // In place: a newer file stays, is listed, and the exit code says so.
  vktest::WriteFile(home_ / "src/Daten/a.txt", "neu");
  std::filesystem::remove(home_ / "src/Daten/sub/b.txt");
  EXPECT_EQ(cli::kExitErrors, Run({"--restore", "Eigene Dateien", "--dry-run"}));
  EXPECT_NE(std::string::npos,
            out_.str().find("Wiederherstellen: " + home_ / "src/Daten/sub/b.txt"));
  EXPECT_FALSE(vktest::Exists(home_ / "src/Daten/sub/b.txt")) << "a dry run writes nothing";
  EXPECT_EQ(cli::kExitErrors, Run({"--restore", "Eigene Dateien"}));
  EXPECT_EQ("neu", vktest::ReadFile(home_ / "src/Daten/a.txt"));
  EXPECT_EQ("bb", vktest::ReadFile(home_ / "src/Daten/sub/b.txt"));
  EXPECT_NE(std::string::npos, err_.str().find(home_ / "src/Daten/a.txt: Die Datei ist neuer"));
  EXPECT_NE(std::string::npos, vktest::ReadFile(rlg).find("Folgende Fehler sind aufgetreten:"));
  for (const auto& e : std::filesystem::directory_iterator(home_ / "ziel/VolKarn-Versionen"))
    EXPECT_EQ(std::string::npos, e.path().string().find("Wiederherstellung"))
        << "nothing was replaced";

  // One path, given as the user sees it.
  std::filesystem::remove(home_ / "src/Daten/sub/b.txt");
  EXPECT_EQ(cli::kExitOk, Run({"--restore", "Eigene Dateien", home_ / "src/Daten/sub/"}))
      << err_.str();
  EXPECT_EQ("bb", vktest::ReadFile(home_ / "src/Daten/sub/b.txt"));

  struct Bad {
    std::vector<std::string> args;
    int code;
    std::string text;
  } bad[] = {
      {{"--restore", "Eigene Dateien", "/etc/passwd"}, cli::kExitUsage, "liegt in keinem"},
      {{"--restore", "Eigene Dateien", "--as-of", "gestern"}, cli::kExitUsage, "JJJJ-MM-TT"},
      {{"--restore", "Eigene Dateien", "--to", home_ / "stick/weg/da"},
       cli::kExitTargetMissing,
       "Ist der Datenträger angeschlossen?"},
      {{"--restore", "Eigene Dateien", "Daten/fehlt.txt"}, cli::kExitErrors, "gibt es diese Datei"},
  };
  for (const Bad& b : bad) {
    EXPECT_EQ(b.code, Run(b.args)) << b.args.back();
    EXPECT_NE(std::string::npos, err_.str().find(b.text)) << err_.str();
  }
  EXPECT_FALSE(vktest::Exists(home_ / "stick"));

  // A cancel (the signal's flag) before the first file.
  env_.cancelRequested = [] { return true; };
  EXPECT_EQ(cli::kExitCancelled, Run({"--restore", "Eigene Dateien", "--to", home_ / "z2"}));
  env_.cancelRequested = nullptr;
  EXPECT_FALSE(vktest::Exists(home_ / "z2"));
  EXPECT_NE(std::string::npos, vktest::ReadFile(rlg).find(
                                   "Die Wiederherstellung wurde durch den Benutzer abgebrochen."));

  EXPECT_EQ(cli::kExitOk, Run({"--versions", "Eigene Dateien", "Daten/a.txt"})) << err_.str();
  EXPECT_EQ(0u, out_.str().find("aktuell ")) << out_.str();
  EXPECT_NE(std::string::npos, out_.str().find(" 3 Bytes  "));
  EXPECT_EQ(cli::kExitOk, Run({"--versions", "Eigene Dateien"}));
}

TEST_F(CommandLineRun, OptionsAreShownAndSetOnlyWhenAllAreGood) {
  const std::string opt = tBackups::GetDataDir() + "EigeneDa.opt";
  EXPECT_EQ(cli::kExitOk, Run({"--options", "Eigene Dateien"}));
  EXPECT_EQ("Versionen=1\nVersionenTage=90\nSpiegeln=0\nWarnenNachTagen=7\n", out_.str());
  EXPECT_FALSE(vktest::Exists(opt)) << "showing writes nothing";
  EXPECT_EQ(cli::kExitOk, Run({"--options", "Eigene Dateien", "Ausschluss+=Cache/",
                               "Ausschluss+=*.tmp", "Ausschluss+=/alt/"}));
  EXPECT_EQ(cli::kExitOk, Run({"--options", "Eigene Dateien", "Ausschluss-=cache/"}));
  EXPECT_EQ(
      "Versionen=1\nVersionenTage=90\nSpiegeln=0\nWarnenNachTagen=7\n"
      "Ausschluss=*.tmp\nAusschluss=/alt/\n",
      out_.str());
  EXPECT_EQ(cli::kExitOk, Run({"--options", "Eigene Dateien", "spiegeln=1", "VersionenTage=30",
                               "Ausschluss=", "WarnenNachTagen=0"}));
  EXPECT_EQ("Versionen=1\nVersionenTage=30\nSpiegeln=1\nWarnenNachTagen=0\n", out_.str());
  const std::string saved = vktest::ReadFile(opt);
  EXPECT_NE(std::string::npos, saved.find("Spiegeln=1\r\n"));
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string text;
  } cases[] = {
      {{"--options", "Eigene Dateien", "Versionen=0", "Farbe=rot"}, cli::kExitUsage, "Farbe"},
      {{"--options", "Eigene Dateien", "Versionen=0", "VersionenTage=-1"},
       cli::kExitUsage,
       "Ungültiger Wert"},
      {{"--options", "Eigene Dateien", "Versionen"}, cli::kExitUsage, "Schlüssel=Wert"},
      {{"--options", "Eigene Dateien", "Ausschluss+=/"}, cli::kExitUsage, "trifft nichts"},
      {{"--options", "Eigene Dateien", "Ausschluss-=*.doc"},
       cli::kExitUsage,
       "Das Muster \"*.doc\" steht nicht in der Liste der Ausschlüsse."},
      {{"--options", "Fremd"}, cli::kExitUsage, "Es gibt keine"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.code, Run(c.args)) << c.args.back();
    EXPECT_NE(std::string::npos, err_.str().find(c.text)) << err_.str();
    EXPECT_EQ(saved, vktest::ReadFile(opt)) << "nothing written";
  }
  std::filesystem::remove(opt);
  std::filesystem::create_directory(opt);
  EXPECT_EQ(cli::kExitUnreadable, Run({"--options", "Eigene Dateien", "Spiegeln=0"}));
  EXPECT_NE(std::string::npos, err_.str().find("konnte nicht gelesen werden"));
  EXPECT_TRUE(std::filesystem::is_directory(opt));
}

// A restore killed at any moment: every destination file is whole (the
// old one or the restored one), and every one it replaced is kept in the
// versions; the next restore finishes and leaves no temporary file.
TEST_F(CommandLineRun, AKilledRestoreLosesNothingAndLeavesNoHalfFile) {
  constexpr int kFiles = 80;
  auto content = [](int i, char c) { return std::string(256 * 1024 + i, c); };
  auto file = [&](int i) { return home_ / ("src/Daten/k/" + std::to_string(i)); };
  for (int i = 0; i < kFiles; ++i) vktest::WriteFile(file(i), content(i, 'b'));
  for (int i = 0; i < kFiles; ++i)
    std::filesystem::last_write_time(
        file(i), std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
  ASSERT_EQ(cli::kExitOk, Run({"--backup", "Eigene Dateien", "--full", "--quiet"})) << err_.str();
  auto kept = [&](int i) {
    const std::string root = home_ / "ziel/VolKarn-Versionen";
    if (!std::filesystem::exists(root)) return false;
    for (const auto& e : std::filesystem::directory_iterator(root))
      if (e.path().string().find("Wiederherstellung") != std::string::npos &&
          vktest::ReadFile(e.path().string() + "/Daten/k/" + std::to_string(i)) == content(i, 'a'))
        return true;
    return false;
  };
  // Files that hold the backup's content now (by their first byte: a file
  // is only ever whole).
  auto restored = [&] {
    int n = 0;
    for (int i = 0; i < kFiles; ++i) {
      std::ifstream in(file(i), std::ios::binary);
      n += in.get() == 'b';
    }
    return n;
  };
  std::srand(static_cast<unsigned>(getpid()));
  int killedMidway = 0;
  for (int attempt = 0; attempt < 8 && killedMidway < 3; ++attempt) {
    // Older than the backup's: replaced without a question, kept first.
    for (int i = 0; i < kFiles; ++i) {
      vktest::WriteFile(file(i), content(i, 'a'));
      std::filesystem::last_write_time(
          file(i), std::filesystem::file_time_type::clock::now() - std::chrono::hours(3));
    }
    const int at = 1 + std::rand() % (kFiles - 2);
    if (!KilledMidway({"--restore", "Eigene Dateien", "--quiet"}, restored, at, kFiles, attempt))
      continue;
    ++killedMidway;
    for (int i = 0; i < kFiles; ++i) {
      const std::string now = vktest::ReadFile(file(i));
      ASSERT_TRUE(now == content(i, 'a') || now == content(i, 'b')) << i << ": a half file";
      EXPECT_TRUE(now == content(i, 'a') || kept(i)) << i << ": replaced but not kept";
    }
  }
  ASSERT_GT(killedMidway, 0);
  EXPECT_EQ(cli::kExitOk, Run({"--restore", "Eigene Dateien", "--quiet"})) << err_.str();
  EXPECT_EQ(kFiles, restored());
  for (const auto& e : std::filesystem::recursive_directory_iterator(home_ / "src"))
    EXPECT_EQ(std::string::npos, e.path().filename().string().find(".vktmp-")) << e.path();
}

// A completion killed at any moment: every copy in the target is whole
// (missing, the old one or the new one), every copy it replaced is kept in
// the versions, and the next completion finishes with no temporary file
// left.
TEST_F(CommandLineRun, AKilledCompletionLosesNothingAndLeavesNoHalfFile) {
  constexpr int kFiles = 80;
  auto content = [](int i, char c) { return std::string(256 * 1024 + i, c); };
  auto source = [&](int i) { return home_ / ("src/Daten/k/" + std::to_string(i)); };
  auto copy = [&](int i) { return home_ / ("ziel/Daten/k/" + std::to_string(i)); };
  for (int i = 0; i < kFiles; ++i) {
    vktest::WriteFile(source(i), content(i, 'b'));
    std::filesystem::last_write_time(
        source(i), std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
  }
  ASSERT_EQ(cli::kExitOk, Run({"--backup", "Eigene Dateien", "--full", "--quiet"})) << err_.str();
  const std::string versions = home_ / "ziel/VolKarn-Versionen";
  auto kept = [&](int i) {
    if (!std::filesystem::exists(versions)) return false;
    const std::string tail = "/Daten/k/" + std::to_string(i);
    for (const auto& e : std::filesystem::recursive_directory_iterator(versions)) {
      const std::string path = e.path().string();
      if (path.size() > tail.size() &&
          path.compare(path.size() - tail.size(), tail.size(), tail) == 0 &&
          vktest::ReadFile(path) == content(i, 'a'))
        return true;
    }
    return false;
  };
  auto completed = [&] {
    int n = 0;
    for (int i = 0; i < kFiles; ++i) {
      std::ifstream in(copy(i), std::ios::binary);
      n += in.get() == 'b';
    }
    return n;
  };
  const std::vector<std::string> complete = {"--check", "Eigene Dateien", "--complete", "--content",
                                             "--quiet"};
  std::srand(static_cast<unsigned>(getpid()));
  int killedMidway = 0;
  for (int attempt = 0; attempt < 8 && killedMidway < 3; ++attempt) {
    // Even files are missing in the target; odd ones differ from their
    // source in content alone (same size, same time).
    std::filesystem::remove_all(versions);
    for (int i = 0; i < kFiles; ++i) {
      std::filesystem::remove(copy(i));
      if (i % 2 == 0) continue;
      vktest::WriteFile(copy(i), content(i, 'a'));
      std::filesystem::last_write_time(copy(i), std::filesystem::last_write_time(source(i)));
    }
    if (!KilledMidway(complete, completed, 1 + std::rand() % (kFiles - 2), kFiles, attempt))
      continue;
    ++killedMidway;
    for (int i = 0; i < kFiles; ++i) {
      if (!std::filesystem::exists(copy(i))) {
        EXPECT_EQ(0, i % 2) << i << ": a copy that was there is gone";
        continue;
      }
      const std::string now = vktest::ReadFile(copy(i));
      ASSERT_TRUE(now == content(i, 'b') || (i % 2 == 1 && now == content(i, 'a')))
          << i << ": a half file";
      if (i % 2 == 1 && now == content(i, 'b')) {
        EXPECT_TRUE(kept(i)) << i << ": replaced, not kept";
      }
    }
  }
  ASSERT_GT(killedMidway, 0);
  EXPECT_EQ(cli::kExitOk, Run(complete)) << err_.str();
  EXPECT_EQ(kFiles, completed());
  EXPECT_EQ(0, TargetFilesNamed(".vktmp-"));
}

}  // namespace

namespace {

TEST(CommandLine, SyncArgumentsAreReadOrRefused) {
  struct Case {
    std::vector<std::string> args;
    bool dryRun;
    std::string error;  // a part of the expected message; empty: none
  } cases[] = {
      {{"--sync", "B\xC3\xBCro"}, false, ""},
      {{"--sync=B\xC3\xBCro", "--dry-run", "--quiet"}, true, ""},
      {{"--sync"}, false, "fehlt der Name der Synchronisation"},
      {{"--sync", " "}, false, "Der Name der Synchronisation ist leer."},
      {{"--sync", "B", "--full"}, false, "nur für --backup"},
      {{"--sync", "B", "--to", "/tmp"}, false, "nur für --restore"},
      {{"--sync", "B", "--backup", "A"}, false, "Nur eine"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    const Arguments a = cli::ParseArguments(c.args);
    if (!c.error.empty()) {
      EXPECT_NE(std::string::npos, a.error.find(c.error)) << a.error;
      continue;
    }
    EXPECT_EQ("", a.error);
    EXPECT_EQ(Action::Sync, a.action);
    EXPECT_EQ("B\xC3\xBCro", a.job);
    EXPECT_EQ(c.dryRun, a.dryRun);
  }
  for (const char* word : {"--sync", "(Synchronisation)", ".VolKarn-Versionen"})
    EXPECT_NE(std::string::npos, cli::HelpText().find(word)) << word;
}

// A stored synchronisation beside the job, run through cli::Run.
class CommandLineSync : public CommandLineRun {
 protected:
  void SetUp() override {
    CommandLineRun::SetUp();
    SyncDefinitions definitions;
    ASSERT_TRUE(definitions.Add({"B\xC3\xBCro", home_ / "eins", home_ / "zwei"}));
    ASSERT_EQ(0, definitions.Save(tBackups::GetDataDir() + SyncDefinitions::kFileName));
  }
  std::string A(const std::string& rel) { return home_ / ("eins/" + rel); }
  std::string B(const std::string& rel) { return home_ / ("zwei/" + rel); }
  // Every file below a folder (the versions too): path -> content.
  std::map<std::string, std::string> Files(const std::string& root) {
    std::map<std::string, std::string> files;
    if (!std::filesystem::exists(root)) return files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
      if (e.is_regular_file()) files[e.path().string()] = vktest::ReadFile(e.path().string());
    return files;
  }
};

TEST_F(CommandLineSync, SyncRunsADefinitionAndListShowsIt) {
  vktest::WriteFile(A("a.txt"), "a");
  vktest::WriteFile(B("sub/b.txt"), "b");
  EXPECT_EQ(cli::kExitOk, Run({"--list"}));
  EXPECT_EQ("Eigene Dateien\nB\xC3\xBCro (Synchronisation)\n", out_.str());

  // A dry run lists the steps and changes nothing anywhere.
  EXPECT_EQ(cli::kExitOk, Run({"--sync", "b\xC3\xBCro", "--dry-run"})) << err_.str();
  EXPECT_NE(std::string::npos, out_.str().find("1 -> 2: a.txt")) << out_.str();
  EXPECT_NE(std::string::npos, out_.str().find("2 -> 1: sub/b.txt"));
  EXPECT_FALSE(vktest::Exists(B("a.txt")));
  EXPECT_FALSE(vktest::Exists(tBackups::GetDataDir() + "B\xC3\xBCro.sst"));
  EXPECT_FALSE(vktest::Exists(tBackups::GetDataDir() + "B\xC3\xBCro.slg"));

  EXPECT_EQ(cli::kExitOk, Run({"--sync", "B\xC3\xBCro", "--quiet"})) << err_.str();
  EXPECT_EQ("", err_.str());
  EXPECT_EQ("a", vktest::ReadFile(B("a.txt")));
  EXPECT_EQ("b", vktest::ReadFile(A("sub/b.txt")));
  EXPECT_NE(std::string::npos, vktest::ReadFile(tBackups::GetDataDir() + "B\xC3\xBCro.slg")
                                   .find("1 Datei wurden vom 1. ins 2. Verzeichnis kopiert."));
  EXPECT_TRUE(notes_.empty());

  EXPECT_EQ(cli::kExitUsage, Run({"--sync", "Fremd"}));
  EXPECT_NE(std::string::npos, err_.str().find("Es gibt keine Synchronisation \"Fremd\"."));

  // More than half of the files of a side would go: nothing is changed.
  for (int i = 0; i < 10; ++i) vktest::WriteFile(A("viel/" + std::to_string(i)), "v");
  ASSERT_EQ(cli::kExitOk, Run({"--sync", "B\xC3\xBCro", "--quiet"})) << err_.str();
  std::filesystem::remove_all(A("viel"));
  notes_.clear();
  EXPECT_EQ(cli::kExitMassRemoval, Run({"--sync", "B\xC3\xBCro", "--quiet"}));
  EXPECT_TRUE(vktest::Exists(B("viel/0")));
  ASSERT_EQ(1u, notes_.size());
  EXPECT_NE(std::string::npos, notes_[0].find("Synchronisation \"B\xC3\xBCro\" nicht gestartet"));

  // The stick is not there: nothing is made, nothing removed.
  std::filesystem::rename(home_ / "zwei", home_ / "weg");
  EXPECT_EQ(cli::kExitTargetMissing, Run({"--sync", "B\xC3\xBCro"}));
  EXPECT_FALSE(vktest::Exists(home_ / "zwei"));
  EXPECT_TRUE(vktest::Exists(A("a.txt")));
}

// A synchronisation killed at any moment loses no file's content: each is
// whole in its place or in its folder's versions, and the next run
// finishes the work.
TEST_F(CommandLineSync, AKilledSyncLosesNoFilesContent) {
  constexpr int kFiles = 60;
  auto content = [](int i, char c) { return std::string(128 * 1024 + i, c); };
  auto put = [](const std::string& path, const std::string& bytes, int hoursAgo) {
    vktest::WriteFile(path, bytes);
    std::filesystem::last_write_time(
        path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(hoursAgo));
  };
  // Whole files in a tree (never a half one, temporary files left out).
  auto contents = [&](const std::string& root) {
    std::set<std::string> all;
    for (const auto& [path, bytes] : Files(root))
      if (path.find(".vktmp-") == std::string::npos) all.insert(bytes);
    return all;
  };
  std::srand(static_cast<unsigned>(getpid()));
  int killedMidway = 0;
  for (int attempt = 0; attempt < 8 && killedMidway < 3; ++attempt) {
    std::filesystem::remove_all(home_ / "eins");
    std::filesystem::remove_all(home_ / "zwei");
    std::filesystem::remove(tBackups::GetDataDir() + "B\xC3\xBCro.sst");
    for (int i = 0; i < kFiles; ++i) {
      put(A("k/" + std::to_string(i)), content(i, 'a'), 5);
      put(B("k/" + std::to_string(i)), content(i, 'a'), 5);
    }
    ASSERT_EQ(cli::kExitOk, Run({"--sync", "B\xC3\xBCro", "--quiet"})) << err_.str();
    // Changed on side 1, removed on side 2, new on side 2.
    for (int i = 0; i < kFiles / 2; ++i) put(A("k/" + std::to_string(i)), content(i, 'n'), 1);
    for (int i = kFiles / 2; i < kFiles * 3 / 4; ++i)
      std::filesystem::remove(B("k/" + std::to_string(i)));
    for (int i = 0; i < kFiles / 4; ++i) put(B("neu/" + std::to_string(i)), content(i, 'b'), 1);
    std::set<std::string> before = contents(home_ / "eins");
    for (const std::string& bytes : contents(home_ / "zwei")) before.insert(bytes);
    auto replaced = [&] {
      int n = 0;
      for (int i = 0; i < kFiles / 2; ++i) {
        std::ifstream in(B("k/" + std::to_string(i)), std::ios::binary);
        n += in.get() == 'n';
      }
      return n;
    };
    const int at = 1 + std::rand() % (kFiles / 2 - 2);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      platform::detail::g_forceNamedTemp = attempt % 2 == 0;
      env_.notify = nullptr;
      _exit(Run({"--sync", "B\xC3\xBCro", "--quiet"}));
    }
    int status = 0;
    pid_t ended = 0;
    while (replaced() < at && (ended = waitpid(child, &status, WNOHANG)) == 0)
      std::this_thread::yield();
    if (ended == 0) {
      kill(child, SIGKILL);
      ASSERT_EQ(child, waitpid(child, &status, 0));
    }
    std::set<std::string> after = contents(home_ / "eins");
    for (const std::string& bytes : contents(home_ / "zwei")) after.insert(bytes);
    for (const std::string& bytes : after)
      EXPECT_EQ(1u, before.count(bytes)) << "a half or strange file of " << bytes.size();
    for (const std::string& bytes : before)
      EXPECT_EQ(1u, after.count(bytes)) << "lost: " << bytes.size() << " bytes of " << bytes[0];
    if (!WIFSIGNALED(status)) continue;
    ++killedMidway;
    // The next run finishes: both sides equal, nothing lost.
    EXPECT_EQ(cli::kExitOk, Run({"--sync", "B\xC3\xBCro", "--quiet"})) << err_.str();
    for (int i = 0; i < kFiles; ++i) {
      const std::string name = "k/" + std::to_string(i);
      EXPECT_EQ(vktest::ReadFile(A(name)), vktest::ReadFile(B(name))) << name;
      if (i < kFiles / 2) {
        EXPECT_EQ(content(i, 'n'), vktest::ReadFile(B(name))) << name;
      } else if (i < kFiles * 3 / 4) {
        EXPECT_FALSE(vktest::Exists(A(name))) << name;
      }
    }
    for (int i = 0; i < kFiles / 4; ++i)
      EXPECT_EQ(content(i, 'b'), vktest::ReadFile(A("neu/" + std::to_string(i))));
    // What copies cut short left went into the versions, never to the
    // other side.
    for (const char* side : {"eins", "zwei"})
      for (const auto& [path, bytes] : Files(home_ / side))
        if (path.find("/.VolKarn-Versionen/") == std::string::npos) {
          EXPECT_EQ(std::string::npos, path.find(".vktmp-")) << path;
        }
  }
  ASSERT_GT(killedMidway, 0);
}

}  // namespace
