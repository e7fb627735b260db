// "volkarn --status" on a real data folder, and the desktop notifications
// of runs nobody watches, counted per day.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "cmdline/cmdline.h"
#include "core/catalogue/daten.h"
#include "core/history/history.h"
#include "support/core_support.h"

namespace {

class StatusCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHomeDirForTesting(home_.path());
    env_.out = &out_;
    env_.err = &err_;
    env_.lockName = "volkarn-status-test-" + std::to_string(getpid());
    env_.unattended = true;
    env_.notify = [this](const std::string& summary, const std::string&) {
      notes_.push_back(summary);
      return true;
    };
  }
  void TearDown() override { SetHomeDirForTesting(""); }

  // A job backed up `daysAgo` days ago at 10:30 (-1: never).
  int AddJob(tBackups& jobs, const std::string& name, int daysAgo) {
    const double date = daysAgo < 0 ? 0 : std::trunc(Now()) - daysAgo;
    const int index = jobs.AddJob(name, home_ / ("ziel/" + name), date, daysAgo < 0 ? 0 : 0.4375);
    vktest::WriteFile(home_ / ("src/" + name + "/a.txt"), "a");
    EXPECT_EQ(0, textfile::WriteLines(tBackups::GetDataDir() + jobs.GetListFileName(index),
                                      {home_ / ("src/" + name)}));
    return index;
  }
  void SetOption(const tBackups& jobs, int index, const std::string& line) {
    vktest::WriteFile(tBackups::GetDataDir() + jobs.GetOptionsFileName(index), line + "\r\n");
  }
  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return cli::Run(cli::ParseArguments(args), env_);
  }
  static std::string DaysAgoText(int days) { return FormatDateText(4, std::trunc(Now()) - days); }

  vktest::TempDir home_;
  std::ostringstream out_, err_;
  cli::Environment env_;
  std::vector<std::string> notes_;
};

TEST_F(StatusCommand, EachJobShowsItsLastGoodBackupItsAgeAndItsLastRun) {
  tBackups jobs;
  const int fresh = AddJob(jobs, "Frisch", 7);
  const int old = AddJob(jobs, "Alt", 8);
  const int saved = AddJob(jobs, "Gerettet", 20);
  const int never = AddJob(jobs, "Nie", -1);
  SetOption(jobs, never, "WarnenNachTagen=0");
  ASSERT_TRUE(jobs.SaveCatalogue());
  // Alt's last run had errors; Gerettet's stamp is old, but its history
  // holds a good backup of today (the catalogue could not be saved then).
  {
    history::Recorder failed(history::ForJob(jobs, old, history::Started::Timer),
                             history::Kind::IncrementalBackup);
    failed.Begin(Now());
    failed.End(history::Outcome::Errors, {}, {"Fehler"});
    history::Recorder good(history::ForJob(jobs, saved, history::Started::CommandLine),
                           history::Kind::FullBackup);
    good.Begin(Now());
    good.End(history::Outcome::Ok, {}, {});
  }

  EXPECT_EQ(cli::kExitErrors, Run({"--status"})) << err_.str();
  const std::string out = out_.str();
  EXPECT_NE(std::string::npos,
            out.find("Frisch\n  Letzte fehlerfreie Sicherung: " + DaysAgoText(7) +
                     " 10:30, 7 Tage alt; Warnung nach 7 Tagen\n  Letzter Lauf: keiner "
                     "verzeichnet\n"))
      << out;
  EXPECT_NE(std::string::npos, out.find("Alt\n  Letzte fehlerfreie Sicherung: " + DaysAgoText(8) +
                                        " 10:30, 8 Tage alt; Warnung nach 7 Tagen - zu alt\n"))
      << out;
  EXPECT_NE(std::string::npos, out.find("(Zeitplan): Fehler\n")) << out;
  EXPECT_NE(std::string::npos,
            out.find("Gerettet\n  Letzte fehlerfreie Sicherung: " + DaysAgoText(0)))
      << out;
  EXPECT_NE(std::string::npos, out.find("(Befehlszeile): ok\n")) << out;
  EXPECT_NE(std::string::npos, out.find("Nie\n  Letzte fehlerfreie Sicherung: keine; keine Warnung "
                                        "(WarnenNachTagen=0)\n"))
      << out;
  EXPECT_EQ(out.size() - std::string("1 Datensicherung ist zu alt.\n").size(),
            out.rfind("1 Datensicherung ist zu alt.\n"));

  // With a longer limit every job is fine.
  SetOption(jobs, old, "WarnenNachTagen=8");
  EXPECT_EQ(cli::kExitOk, Run({"--status"})) << out_.str();
  EXPECT_EQ(std::string::npos, out_.str().find("zu alt"));

  // A job never backed up counts as too old under a limit: monitoring
  // must not report a job that never ran as fine.
  SetOption(jobs, never, "WarnenNachTagen=7");
  EXPECT_EQ(cli::kExitErrors, Run({"--status"}));
  EXPECT_NE(std::string::npos,
            out_.str().find("Nie\n  Letzte fehlerfreie Sicherung: keine; Warnung nach 7 Tagen - "
                            "gilt als zu alt\n"));

  // An options file that cannot be read is named, and the default holds.
  const std::string options = tBackups::GetDataDir() + jobs.GetOptionsFileName(fresh);
  std::filesystem::remove(options);
  ASSERT_EQ(0, mkdir(options.c_str(), 0700));
  EXPECT_EQ(cli::kExitErrors, Run({"--status"}));
  EXPECT_NE(std::string::npos,
            out_.str().find("  Die Optionsdatei " + options +
                            " konnte nicht gelesen werden; es gilt WarnenNachTagen=7.\n"));

  // Status reads only: the catalogue stays as it was, and one that cannot
  // be read ends with code 5.
  const std::string catalogue = tBackups::GetDataDir() + "volkarn.dat";
  std::filesystem::rename(catalogue, catalogue + ".keep");
  ASSERT_EQ(0, mkdir(catalogue.c_str(), 0700));
  EXPECT_EQ(cli::kExitUnreadable, Run({"--status"}));
  EXPECT_NE(std::string::npos, err_.str().find("konnte nicht gelesen werden"));
  EXPECT_TRUE(notes_.empty()) << "--status tells the desktop nothing";
}

TEST_F(StatusCommand, AnUnattendedRunTellsAFailureOnceADayAndTheRecoveryOnce) {
  tBackups jobs;
  // The target's drive is not there: neither the folder nor its parent.
  const int index = jobs.AddJob("Briefe", home_ / "stick/ziel", 0, 0);
  vktest::WriteFile(home_ / "src/Briefe/a.txt", "a");
  ASSERT_EQ(0, textfile::WriteLines(tBackups::GetDataDir() + jobs.GetListFileName(index),
                                    {home_ / "src/Briefe"}));
  ASSERT_TRUE(jobs.SaveCatalogue());

  EXPECT_EQ(cli::kExitTargetMissing, Run({"--backup", "Briefe", "--quiet"}));
  EXPECT_EQ(cli::kExitTargetMissing, Run({"--backup", "briefe", "--quiet"}));
  ASSERT_EQ(1u, notes_.size());
  EXPECT_EQ("VolKarn: Datensicherung \"Briefe\" nicht gestartet", notes_[0]);
  // Another cause the same day is told.
  {
    platform::InstanceLock window;
    ASSERT_EQ(platform::InstanceLock::Result::Acquired,
              window.Acquire(tBackups::GetDataDir(), env_.lockName));
    EXPECT_EQ(cli::kExitRunning, Run({"--backup", "Briefe", "--quiet"}));
    EXPECT_EQ(cli::kExitRunning, Run({"--backup", "Briefe", "--quiet"}));
  }
  EXPECT_EQ(2u, notes_.size());

  // The drive is back: one "wieder erfolgreich", then silence.
  std::filesystem::create_directories(home_ / "stick");
  EXPECT_EQ(cli::kExitOk, Run({"--backup", "Briefe", "--quiet"})) << err_.str();
  EXPECT_EQ(cli::kExitOk, Run({"--backup", "Briefe", "--quiet"})) << err_.str();
  ASSERT_EQ(3u, notes_.size());
  EXPECT_EQ("VolKarn: Datensicherung \"Briefe\" wieder erfolgreich", notes_[2]);
  EXPECT_EQ("", vktest::ReadFile(tBackups::GetDataDir() + "volkarn.mld"));

  // A run somebody watches tells nothing and notes nothing.
  env_.unattended = false;
  std::filesystem::rename(home_ / "stick", home_ / "stick.weg");
  EXPECT_EQ(cli::kExitTargetMissing, Run({"--backup", "Briefe"}));
  EXPECT_EQ(3u, notes_.size());
}

}  // namespace
