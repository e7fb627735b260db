#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/catalogue/daten.h"
#include "core/status/notices.h"
#include "core/status/staleness.h"
#include "support/core_support.h"

namespace {

TDateTime At(int year, int month, int day, int hour, int minute) {
  TDateTime date = 0;
  EXPECT_TRUE(TryEncodeDate(year, month, day, date));
  return date + EncodeTime(hour, minute, 0, 0);
}

TEST(Staleness, ABackupIsTooOldOnlyWhenMoreCalendarDaysThanTheLimitHavePassed) {
  const TDateTime now = At(2026, 12, 9, 0, 10);
  struct Case {
    TDateTime lastGood;
    int limit;
    bool never;
    int days;
    bool tooOld;
    std::string text;
  };
  const Case cases[] = {
      // Yesterday shortly before midnight is a day old ten minutes later.
      {At(2026, 12, 8, 23, 50), 7, false, 1, false, ""},
      // At the limit: 7 days old is not more than 7.
      {At(2026, 12, 2, 0, 0), 7, false, 7, false, ""},
      {At(2026, 12, 2, 23, 59), 7, false, 7, false, ""},
      // One day over, however late in that day.
      {At(2026, 12, 1, 23, 59), 7, false, 8, true,
       "Die letzte fehlerfreie Sicherung ist 8 Tage alt."},
      // Over a change of month and year, with another limit.
      {At(2025, 12, 31, 12, 0), 300, false, 343, true,
       "Die letzte fehlerfreie Sicherung ist 343 Tage alt."},
      {At(2026, 12, 8, 0, 0), 1, false, 1, false, ""},
      {At(2026, 12, 7, 0, 0), 1, false, 2, true,
       "Die letzte fehlerfreie Sicherung ist 2 Tage alt."},
      // 0 never warns, however old.
      {At(2000, 1, 1, 0, 0), 0, false, 9839, false, ""},
      // A stamp after now (a clock put back) is not old.
      {At(2026, 12, 12, 8, 0), 7, false, 0, false, ""},
      // Never backed up: too old for monitoring, but the page has no age.
      {0, 7, true, 0, true, ""},
      {0, 0, true, 0, false, ""},
  };
  for (const Case& c : cases) {
    const status::Staleness s = status::Judge(c.lastGood, now, c.limit);
    SCOPED_TRACE(FormatDateText(4, c.lastGood) + " limit " + std::to_string(c.limit));
    EXPECT_EQ(c.never, s.never);
    EXPECT_EQ(c.days, s.days);
    EXPECT_EQ(c.tooOld, s.tooOld);
    EXPECT_EQ(c.text, status::StaleText(s));
  }
  // The newer of stamp and history counts; none of them: never.
  EXPECT_EQ(At(2026, 12, 5, 1, 0), status::LastGoodBackup(At(2026, 12, 5, 1, 0), 0));
  EXPECT_EQ(At(2026, 12, 6, 1, 0),
            status::LastGoodBackup(At(2026, 12, 5, 1, 0), At(2026, 12, 6, 1, 0)));
  EXPECT_EQ(0, status::LastGoodBackup(0, 0));
}

// The job's stamp and its WarnenNachTagen in a real data folder.
TEST(Staleness, AJobIsJudgedByItsStampAndItsOwnLimit) {
  vktest::TempDir home;
  SetHomeDirForTesting(home.path());
  tBackups jobs;
  const TDateTime now = At(2026, 12, 9, 12, 0);
  const int old = jobs.AddJob("Alt", home / "ziel", std::trunc(At(2026, 11, 29, 0, 0)), 0.5);
  const int lax = jobs.AddJob("Locker", home / "ziel", std::trunc(At(2026, 11, 29, 0, 0)), 0.5);
  const int broken = jobs.AddJob("Kaputt", home / "ziel", std::trunc(At(2026, 12, 1, 0, 0)), 0.5);
  const int never = jobs.AddJob("Nie", home / "ziel", 0, 0);
  vktest::WriteFile(tBackups::GetDataDir() + jobs.GetOptionsFileName(lax),
                    "WarnenNachTagen=30\r\n");
  // An options file that cannot be read: the default limit of 7 holds.
  ASSERT_EQ(0, mkdir((tBackups::GetDataDir() + jobs.GetOptionsFileName(broken)).c_str(), 0700));

  const auto a = status::ReadJobStatus(jobs, old, now);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ("Alt", a->name);
  EXPECT_EQ(At(2026, 11, 29, 12, 0), a->lastGood);
  EXPECT_EQ(10, a->staleness.days);
  EXPECT_TRUE(a->staleness.tooOld);
  const auto l = status::ReadJobStatus(jobs, lax, now);
  EXPECT_EQ(30, l->warnAfterDays);
  EXPECT_FALSE(l->staleness.tooOld);
  const auto k = status::ReadJobStatus(jobs, broken, now);
  EXPECT_TRUE(k->optionsUnreadable);
  EXPECT_EQ(7, k->warnAfterDays);
  EXPECT_TRUE(k->staleness.tooOld);
  EXPECT_TRUE(status::ReadJobStatus(jobs, never, now)->staleness.never);
  EXPECT_FALSE(status::ReadJobStatus(jobs, 4, now).has_value());
  SetHomeDirForTesting("");
}

// The notices of a run nobody watches, day by day, with an injected sender.
TEST(Notices, AFailureIsToldOnceADayPerCauseAndTheNextSuccessOnce) {
  vktest::TempDir home;
  const std::string dir = home.path();
  std::vector<std::string> sent;
  bool busThere = true;
  const status::NoticeSender send = [&](const std::string& summary, const std::string& body) {
    if (!busThere) return false;
    sent.push_back(summary + "|" + body);
    return true;
  };
  const std::string briefe = "Datensicherung \"Briefe\"";
  auto failure = [&](const std::string& cause,
                     const std::string& run = "Datensicherung \"Briefe\"") {
    return status::RunEnd{run, cause, "VolKarn: " + run + " " + cause, "Text " + cause};
  };
  const status::RunEnd success{briefe, "", "", ""};
  struct Step {
    std::string day;
    status::RunEnd end;
    std::string told;  // the notice sent, empty for none
  };
  const Step steps[] = {
      // A success with nothing told before says nothing.
      {"2026-12-07", success, ""},
      {"2026-12-08", failure("Ziel"), "VolKarn: Datensicherung \"Briefe\" Ziel|Text Ziel"},
      // The same cause again that day: nothing; the next day: again.
      {"2026-12-08", failure("Ziel"), ""},
      {"2026-12-09", failure("Ziel"), "VolKarn: Datensicherung \"Briefe\" Ziel|Text Ziel"},
      {"2026-12-09", failure("Ziel"), ""},
      // Another cause the same day is told; so is another run's.
      {"2026-12-09", failure("Fehler"), "VolKarn: Datensicherung \"Briefe\" Fehler|Text Fehler"},
      {"2026-12-09", failure("Ziel", "Synchronisation \"Briefe\""),
       "VolKarn: Synchronisation \"Briefe\" Ziel|Text Ziel"},
      {"2026-12-09", failure("Fehler"), ""},
      // The run's name counts without letter case, as the command line finds jobs.
      {"2026-12-09", failure("Fehler", "Datensicherung \"BRIEFE\""), ""},
      // Success after failures: once, then nothing.
      {"2026-12-09", success,
       "VolKarn: Datensicherung \"Briefe\" wieder erfolgreich|Datensicherung \"Briefe\": wieder "
       "ohne Fehler beendet."},
      {"2026-12-09", success, ""},
      // After the success the same cause is told again the same day.
      {"2026-12-09", failure("Ziel"), "VolKarn: Datensicherung \"Briefe\" Ziel|Text Ziel"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.day + " " + step.end.run + " " + step.end.cause);
    sent.clear();
    status::TellDesktop(dir, step.end, step.day, send);
    EXPECT_EQ(step.told.empty() ? std::vector<std::string>{} : std::vector<std::string>{step.told},
              sent);
  }
  // The book: Windows-1252 with CR LF, one line per run and cause.
  EXPECT_EQ(
      "2026-12-09;Ziel;Synchronisation \"Briefe\"\r\n2026-12-09;Ziel;Datensicherung \"Briefe\"\r\n",
      vktest::ReadFile(dir + "volkarn.mld"));

  // No session bus: nothing sent, nothing noted, so the next day with a
  // bus... and the same day with a bus tells it.
  busThere = false;
  sent.clear();
  status::TellDesktop(dir, failure("Gesperrt"), "2026-12-09", send);
  busThere = true;
  status::TellDesktop(dir, failure("Gesperrt"), "2026-12-09", send);
  EXPECT_EQ(1u, sent.size());

  // Lines of runs not told for a quarter of a year go; damaged lines stay.
  vktest::WriteFile(dir + "volkarn.mld",
                    "2026-08-01;Ziel;Datensicherung \"Alt\"\r\nkaputt\r\n"
                    "2026-12-09;Ziel;Datensicherung \"Gr\xF6\xDF"
                    "e\"\r\n");
  sent.clear();
  status::TellDesktop(dir, failure("Ziel", "Datensicherung \"Größe\""), "2026-12-09", send);
  EXPECT_TRUE(sent.empty()) << "a name with umlauts is found again";
  status::TellDesktop(dir, failure("Fehler"), "2026-12-09", send);
  EXPECT_EQ(
      "2026-12-09;Ziel;Datensicherung \"Gr\xF6\xDF"
      "e\"\r\n2026-12-09;Fehler;Datensicherung "
      "\"Briefe\"\r\nkaputt\r\n",
      vktest::ReadFile(dir + "volkarn.mld"));
}

TEST(Notices, ABookThatCannotBeReadIsNeverWrittenOverAndFailuresAreStillTold) {
  vktest::TempDir home;
  const std::string book = home / "volkarn.mld";
  ASSERT_EQ(0, mkdir(book.c_str(), 0700));
  std::vector<std::string> sent;
  const status::NoticeSender send = [&](const std::string& summary, const std::string&) {
    sent.push_back(summary);
    return true;
  };
  const status::RunEnd failure{"Datensicherung \"A\"", "Fehler", "VolKarn: A", "x"};
  status::TellDesktop(home.path(), failure, "2026-12-09", send);
  status::TellDesktop(home.path(), failure, "2026-12-09", send);
  status::TellDesktop(home.path(), {"Datensicherung \"A\"", "", "", ""}, "2026-12-09", send);
  EXPECT_EQ((std::vector<std::string>{"VolKarn: A", "VolKarn: A"}), sent);
  struct stat st {};
  ASSERT_EQ(0, stat(book.c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

}  // namespace
