// The copy engine: which files a run copies, where they land, what the
// progress display shows, how failures become report lines, and how the
// end of a run stores the new stamp.
#include "core/backup/copyengine.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/backup/keep_support.h"
#include "core/catalogue/daten.h"
#include "platform/internal.h"
#include "platform/platform_support.h"
#include "support/core_support.h"
#include "support/job_fixture.h"

namespace fs = std::filesystem;

namespace {

void SetTime(const std::string& path, int y, int mo, int d, int h = 12, int mi = 0, int s = 0,
             long nsec = 0) {
  vktest::JobFixture::SetTime(path, y, mo, d, h, mi, s, nsec);
}

platform::DosStamp Stamp(int y, int mo, int d, int h = 12, int mi = 0, int s = 0) {
  platform::LocalTime lt;
  lt.year = y;
  lt.month = mo;
  lt.day = d;
  lt.hour = h;
  lt.minute = mi;
  lt.second = s;
  return platform::PackDosStamp(lt);
}

TDateTime Moment(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  TDateTime date = 0;
  EXPECT_TRUE(TryEncodeDate(y, mo, d, date));
  return date + EncodeTime(h, mi, s, ms);
}

// Every non-folder below `dir`, as paths relative to it, sorted.
std::vector<std::string> FilesBelow(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return out;
  for (auto it = fs::recursive_directory_iterator(dir, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_directory(ec) || it->is_symlink(ec))
      out.push_back(it->path().lexically_relative(dir).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool HasTempLeftover(const std::string& dir) {
  for (const std::string& f : FilesBelow(dir))
    if (f.find(".vktmp-") != std::string::npos) return true;
  return false;
}

const std::string kCount3 = "3\rDateien\rkopiert.";
const std::string kStoppedLine =
    "Der Kopiervorgang wurde vorzeitig beendet. Die weiteren Dateien wurden nicht kopiert.";

struct Recorder : CopyObserver {
  std::vector<std::string> files;
  std::vector<std::string> counts;
  std::vector<std::pair<int, std::string>> cells;
  std::function<void()> onEvents;
  int events = 0;

  void SetCurrentFile(const std::string& text) override { files.push_back(text); }
  void SetCount(const std::string& text) override { counts.push_back(text); }
  void SetRowCount(int row, const std::string& text) override { cells.emplace_back(row, text); }
  void ProcessEvents() override {
    ++events;
    if (onEvents) onEvents();
  }
  std::vector<std::string> CellsOf(int row) const {
    std::vector<std::string> out;
    for (const auto& c : cells)
      if (c.first == row) out.push_back(c.second);
    return out;
  }
};

class CopyEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.SetObserver(&rec);
    engine.Clock = [this] { return now; };
    SetHomeDirForTesting(tmp / "home/");
  }
  void TearDown() override {
    platform::SetFaultHook(nullptr);
    platform::SetLaunchHook(nullptr);
    SetHomeDirForTesting(std::string());
  }
  void Run(const std::vector<CopyRow>& rows) {
    engine.StartRun();
    engine.RunRows(rows);
  }
  void Run() { Run({{src, dst}}); }
  // Decides the end of the run and, as the run window does, writes its
  // report and stores the stamp it decided.
  RunEnd End(const std::vector<CopyRow>& rows, tBackups& jobs, int job) {
    RunEnd end = DecideRunEnd(engine, rows, jobs, job);
    EXPECT_EQ(0, textfile::WriteLinesVisible(end.reportPath, end.reportLines));
    if (end.storeStamp) {
      const double date = std::floor(end.stamp);
      jobs.SetJobStamp(end.jobIndex, date, end.stamp - date);
    }
    return end;
  }
  void Write(const std::string& rel, const std::string& bytes = "x") {
    vktest::WriteFile(src + "/" + rel, bytes);
  }

  // What a run gave: every call to the observer, the report, the status,
  // the count and the files in the targets (below tmp/ziel).
  struct Outcome {
    Recorder rec;
    std::vector<std::string> report;
    std::int32_t status = 0;
    std::int32_t total = 0;
    std::vector<std::string> files;
  };
  Outcome Taken() const {
    return {rec, engine.RunReport, engine.RunStatus, engine.CopiedTotal, FilesBelow(tmp / "ziel")};
  }
  // Runs the rows again into empty targets and expects the same outcome;
  // `moreEvents`: waiting may let events through more often, never less.
  void ExpectSameRun(const std::vector<CopyRow>& rows, const Outcome& one, int threads,
                     bool moreEvents) {
    fs::remove_all(tmp / "ziel");
    rec = Recorder();
    Run(rows);
    const Outcome now = Taken();
    EXPECT_EQ(one.rec.files, now.rec.files) << threads;
    EXPECT_EQ(one.rec.counts, now.rec.counts) << threads;
    EXPECT_EQ(one.rec.cells, now.rec.cells) << threads;
    if (moreEvents)
      EXPECT_LE(one.rec.events, now.rec.events) << threads;
    else
      EXPECT_EQ(one.rec.events, now.rec.events) << threads;
    EXPECT_EQ(one.report, now.report) << threads;
    EXPECT_EQ(one.status, now.status) << threads;
    EXPECT_EQ(one.total, now.total) << threads;
    EXPECT_EQ(one.files, now.files) << threads;
  }

  vktest::TempDir tmp;
  vktest::ScriptedUi ui;
  Recorder rec;
  CopyEngine engine;
  TDateTime now = Moment(2003, 2, 22, 18, 30, 10);
  std::string src = tmp / "quelle/Daten";
  std::string dst = tmp / "ziel/Daten";
};

}  // namespace

// ------------------------------------------------------------ choosing --

TEST_F(CopyEngineTest, FullBackupMirrorsTheTreeAndReplacesEveryTarget) {
  Write("a.txt", "A");
  Write(".versteckt", "H");
  Write("2003/brief.doc", "B");
  Write("2003/tief/x.dat", "X");
  fs::create_directories(src + "/leer");
  vktest::WriteFile(dst + "/a.txt", "old A");
  SetTime(dst + "/a.txt", 2030, 1, 1);  // newer than the source: replaced anyway
  engine.FullBackup = true;
  Run();
  EXPECT_EQ(0, engine.RunStatus);
  EXPECT_EQ(4, engine.CopiedTotal);
  EXPECT_EQ((std::vector<std::string>{".versteckt", "2003/brief.doc", "2003/tief/x.dat", "a.txt"}),
            FilesBelow(dst));
  EXPECT_EQ("A", vktest::ReadFile(dst + "/a.txt"));
  EXPECT_EQ("X", vktest::ReadFile(dst + "/2003/tief/x.dat"));
  EXPECT_TRUE(fs::is_directory(dst + "/leer"));  // every folder, also an empty one
  EXPECT_TRUE(engine.RunReport.empty());
  EXPECT_EQ((std::vector<std::pair<int, std::string>>{
                {1, "<<<"}, {1, "<<< 1"}, {1, "<<< 2"}, {1, "<<< 3"}, {1, "<<< 4"}, {1, "OK 4"}}),
            rec.cells);
  EXPECT_TRUE(std::find(rec.files.begin(), rec.files.end(), "Kopiere " + src + "/2003/brief.doc") !=
              rec.files.end());
}

TEST_F(CopyEngineTest, IncrementalCopiesNewerFilesAndFollowsFolderDatesOnlyWhenAsked) {
  // Files: old ones from January, new ones from 20 February; the last
  // backup was on 15 February 17:04.
  Write("alt.txt");
  Write("neu.txt");
  Write("gleich.txt");  // in the same two-second step as the stamp
  Write("ordner-alt/alt.txt");
  Write("ordner-alt/neu.txt");
  Write("ordner-alt/tief-neu/alt.txt");
  Write("ordner-neu/alt.txt");
  Write("ordner-neu/sub-alt/alt.txt");
  Write("ordner-neu/sub-alt/neu.txt");
  for (const char* f : {"alt.txt", "ordner-alt/alt.txt", "ordner-alt/tief-neu/alt.txt",
                        "ordner-neu/alt.txt", "ordner-neu/sub-alt/alt.txt"})
    SetTime(src + "/" + f, 2003, 1, 10);
  for (const char* f : {"neu.txt", "ordner-alt/neu.txt", "ordner-neu/sub-alt/neu.txt"})
    SetTime(src + "/" + f, 2003, 2, 20);
  SetTime(src + "/gleich.txt", 2003, 2, 15, 17, 4, 1);
  // Folder stamps last, deepest first; the top folder is new.
  SetTime(src + "/ordner-alt/tief-neu", 2003, 2, 20);
  SetTime(src + "/ordner-neu/sub-alt", 2003, 1, 10);
  SetTime(src + "/ordner-alt", 2003, 1, 10);
  SetTime(src + "/ordner-neu", 2003, 2, 20);
  SetTime(src, 2003, 2, 20);

  engine.FullBackup = false;
  engine.ChangedSince = Stamp(2003, 2, 15, 17, 4, 0);
  engine.CheckDirDate = false;
  Run();
  EXPECT_EQ(
      (std::vector<std::string>{"neu.txt", "ordner-alt/neu.txt", "ordner-neu/sub-alt/neu.txt"}),
      FilesBelow(dst));

  fs::remove_all(dst);
  engine.CheckDirDate = true;
  Run();
  // A newer folder brings all its files; its sub-folders follow their own
  // stamps; the top folder's stamp never counts.
  EXPECT_EQ(
      (std::vector<std::string>{"neu.txt", "ordner-alt/neu.txt", "ordner-alt/tief-neu/alt.txt",
                                "ordner-neu/alt.txt", "ordner-neu/sub-alt/neu.txt"}),
      FilesBelow(dst));
  EXPECT_EQ(5, engine.CopiedTotal);
}

TEST_F(CopyEngineTest, StampsFrom2044OnStillCountAsLater) {
  Write("2003.txt");
  Write("2050.txt");
  SetTime(src + "/2003.txt", 2003, 5, 1);
  SetTime(src + "/2050.txt", 2050, 5, 1);
  engine.ChangedSince = Stamp(2045, 1, 1);
  ASSERT_GT(engine.ChangedSince, 0x7FFFFFFFu);  // negative as a signed number
  Run();
  EXPECT_EQ((std::vector<std::string>{"2050.txt"}), FilesBelow(dst));
}

TEST_F(CopyEngineTest, ExclusionsMatchWholeEntriesOnly) {
  for (const char* f : {"a.bak", "b.BAK", "c.ba", "d.b", "e.tmp", "brief.doc", "sub/Brief.DOC",
                        "f.doc", "daten", "abc.", "README", "x.bak.txt", "ärger.bäk", "y.*"})
    Write(f);
  engine.FullBackup = true;
  engine.SetExclusions(text::Upper("*.bak\r\n.TMP\r\n.*\r\n*.bäk\r\n"),
                       text::Upper("/home/anna/daten/brief.doc\r\n"));
  Run();
  // Excluded: the listed extensions (any letter case, umlauts too) and the
  // listed file name in every folder. Parts of entries exclude nothing.
  EXPECT_EQ((std::vector<std::string>{"README", "abc.", "c.ba", "d.b", "daten", "f.doc",
                                      "x.bak.txt", "y.*"}),
            FilesBelow(dst));
  EXPECT_TRUE(engine.IsIncluded("brief.docx"));
  EXPECT_FALSE(engine.IsIncluded("BRIEF.doc"));
}

TEST_F(CopyEngineTest, LinksAreCopiedAsLinksAndSpecialFilesAreSkipped) {
  Write("ziel.txt", "Inhalt");
  Write("ordner/innen.txt", "I");
  fs::create_symlink("ziel.txt", src + "/verweis");
  fs::create_symlink("ordner", src + "/ordner-verweis");
  fs::create_symlink("/nirgendwo", src + "/kaputt");
  ASSERT_EQ(0, mkfifo((src + "/fifo").c_str(), 0600));  // opening it would block
  engine.FullBackup = true;
  Run();
  EXPECT_EQ(0, engine.RunStatus);
  EXPECT_EQ((std::vector<std::string>{"kaputt", "ordner-verweis", "ordner/innen.txt", "verweis",
                                      "ziel.txt"}),
            FilesBelow(dst));
  EXPECT_TRUE(fs::is_symlink(dst + "/verweis"));
  EXPECT_EQ("ziel.txt", fs::read_symlink(dst + "/verweis").string());
  EXPECT_TRUE(fs::is_symlink(dst + "/ordner-verweis"));  // never entered
  EXPECT_TRUE(fs::is_symlink(dst + "/kaputt"));

  // A link is decided by its own stamp, not by that of what it points to.
  fs::remove_all(dst);
  SetTime(src + "/ziel.txt", 2050, 1, 1);
  SetTime(src + "/verweis", 2003, 1, 1);
  engine.FullBackup = false;
  engine.ChangedSince = Stamp(2045, 1, 1);
  Run();
  EXPECT_EQ((std::vector<std::string>{"ziel.txt"}), FilesBelow(dst));
}

TEST_F(CopyEngineTest, ARootThatIsALinkToAFolderIsWalked) {
  Write("a.txt", "A");
  fs::create_symlink(src, tmp / "verweis");
  engine.FullBackup = true;
  Run({{tmp / "verweis", dst}});
  EXPECT_TRUE(engine.RunReport.empty());
  EXPECT_EQ((std::vector<std::string>{"a.txt"}), FilesBelow(dst));
}

TEST_F(CopyEngineTest, AFolderThatCannotBeReadIsReported) {
  Write("offen/a.txt");
  Write("zu/b.txt");
  engine.FullBackup = true;
  auto check = [&](const char* how) {
    EXPECT_EQ((std::vector<std::string>{"offen/a.txt"}), FilesBelow(dst)) << how;
    EXPECT_EQ((std::vector<std::string>{"Das Verzeichnis " + src +
                                        "/zu/ konnte nicht gelesen werden. Seine Dateien wurden "
                                        "nicht kopiert."}),
              engine.RunReport)
        << how;
    EXPECT_EQ("?? 1", rec.CellsOf(1).back()) << how;
  };
  // Refused by the file system, where this user is refused at all (root
  // reads every folder).
  ASSERT_EQ(0, chmod((src + "/zu").c_str(), 0));
  const bool refused = access((src + "/zu").c_str(), R_OK) != 0;
  if (refused) Run();
  chmod((src + "/zu").c_str(), 0755);
  if (refused) check("permissions");
  // Refused through the platform layer, for every user.
  fs::remove_all(dst);
  rec = Recorder();
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "list-dir" && path.ends_with("/zu/") ? EACCES : 0;
  });
  Run();
  check("injected");
}

TEST_F(CopyEngineTest, ATargetInsideItsSourceIsNotCopiedIntoItself) {
  Write("a.txt", "A");
  Write("Sicherung/b.txt", "B");
  const std::string target = src + "/Sicherung/Daten";
  engine.FullBackup = true;
  Run({{src, target}});
  EXPECT_EQ((std::vector<std::string>{"Sicherung/b.txt", "a.txt"}), FilesBelow(target));
  Run({{src, target}});  // the copy of the first run is not walked either
  EXPECT_EQ((std::vector<std::string>{"Sicherung/b.txt", "a.txt"}), FilesBelow(target));
}

// ------------------------------------------------------------ progress --

TEST_F(CopyEngineTest, CountDisplayFollowsItsRefreshRule) {
  engine.CopyThreads = 0;  // the exact number of event calls of the walk
  for (int i = 0; i < 3; ++i) Write("drei/" + std::to_string(i));
  engine.FullBackup = true;
  Run({{src + "/drei", dst}});
  ASSERT_FALSE(rec.counts.empty());
  EXPECT_EQ(kCount3, rec.counts.back());
  EXPECT_EQ(kCount3, engine.CountText());

  for (int i = 0; i < 120; ++i) Write("viele/" + std::to_string(i));
  rec = Recorder();
  Run({{src + "/viele", dst}});
  std::vector<std::string> expected;
  std::vector<std::string> cells{"<<<"};
  for (int n : {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17,
                18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34,
                35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 100}) {
    expected.push_back(std::to_string(n) + "\rDateien\rkopiert.");
    cells.push_back("<<< " + std::to_string(n));
  }
  expected.push_back("120\rDateien\rkopiert.");  // the end of the folder
  cells.push_back("OK 120");
  EXPECT_EQ(expected, rec.counts);
  EXPECT_EQ(cells, rec.CellsOf(1));
  EXPECT_EQ(120u, rec.files.size());  // the file line for every file
  // Events are processed at the start and end of the folder and before
  // every entry.
  EXPECT_EQ(122, rec.events);
}

TEST_F(CopyEngineTest, CancelDuringTheSecondOfThreeRows) {
  std::vector<CopyRow> rows;
  for (const char* r : {"eins", "zwei", "drei"}) {
    for (int i = 0; i < 5; ++i) Write(std::string(r) + "/" + std::to_string(i));
    rows.push_back({src + "/" + r, dst + "/" + r});
  }
  engine.FullBackup = true;
  // One file after the other: the cancel comes between two copies.
  engine.CopyThreads = 0;
  rec.onEvents = [this] {
    if (engine.CurrentRow == 2 && engine.CopiedInRow == 2) engine.Cancel();
  };
  Run(rows);
  EXPECT_EQ(CopyEngine::kCancelled, engine.RunStatus);
  EXPECT_EQ(7, engine.CopiedTotal);
  EXPECT_EQ("OK 5", rec.CellsOf(1).back());
  EXPECT_EQ("<<< 2", rec.CellsOf(2).back());  // keeps its progress text
  EXPECT_TRUE(rec.CellsOf(3).empty());
  EXPECT_TRUE(FilesBelow(dst + "/drei").empty());
  EXPECT_FALSE(HasTempLeftover(dst));

  // The end of the run: the cancel line, no question, the quiet box, no
  // new stamp.
  tBackups jobs;
  const int job = jobs.AddJob("Briefe", tmp / "ziel", 0, 0);
  RunEnd end = End(rows, jobs, job);
  EXPECT_FALSE(end.storeStamp);
  EXPECT_FALSE(end.offerReport);
  EXPECT_EQ("Der Kopiervorgang wurde abgebrochen.", end.closingText);
  EXPECT_EQ(0, end.closingBeep);
  JobRecord record;
  ASSERT_TRUE(jobs.GetJob(job, record));
  EXPECT_EQ(0.0, record.LastDate());
  EXPECT_TRUE(ui.boxes.empty());  // the core shows nothing
  EXPECT_EQ(cp1252::FromUtf8("Datensicherung \"\" am 22.02.2003 um 18:30 Uhr.\r\n"
                             "(Vorhergehende Sicherung: 30.12.1899/00:00)\r\n"
                             "\r\n"
                             "Folgende Fehler sind aufgetreten:\r\n"
                             "Der Kopiervorgang wurde durch den Benutzer abgebrochen.\r\n"
                             "7 Dateien wurden kopiert.\r\n"),
            vktest::ReadFile(tBackups::GetDataDir() + jobs.GetLogFileName(job)));
}

// ------------------------------------------------------------- failures --

TEST_F(CopyEngineTest, FailuresBecomeReportLinesAndTheRunGoesOn) {
  Write("gesperrt.txt");
  Write("belegt.txt");
  Write("defekt.txt");
  Write("gut.txt");
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    if (op != "copy-open-source") return 0;
    if (path.ends_with("gesperrt.txt")) return EACCES;
    if (path.ends_with("belegt.txt")) return EBUSY;
    if (path.ends_with("defekt.txt")) return EIO;
    return 0;
  });
  engine.FullBackup = true;
  Run();
  EXPECT_EQ(1, engine.CopiedTotal);
  EXPECT_EQ("?? 1", rec.CellsOf(1).back());
  const std::string q = dst + "/";
  std::vector<std::string> lines = engine.RunReport;
  std::sort(lines.begin(), lines.end());
  std::vector<std::string> expected{
      "Auf die Datei " + q + "gesperrt.txt ist kein Zugriff möglich.",
      "Das Gerät ist nicht bereit.",
      q + "belegt.txt",
      q + "belegt.txt : Auf die Zieldatei ist kein Zugriff möglich. Sie ist vermutlich in "
          "Bearbeitung.",
      q + "defekt.txt",
  };
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, lines);
  // The sharing violation gives its two lines in this order.
  auto it = std::find(engine.RunReport.begin(), engine.RunReport.end(), q + "belegt.txt");
  ASSERT_NE(engine.RunReport.end(), it);
  ASSERT_NE(engine.RunReport.end(), it + 1);
  EXPECT_TRUE((it + 1)->starts_with(q + "belegt.txt : "));
  EXPECT_TRUE(ui.boxes.empty());  // nothing shown during the run
}

TEST_F(CopyEngineTest, RunStatusIsThatOfTheLastCopy) {
  Write("eins/a.txt");
  Write("zwei/b.txt");
  engine.FullBackup = true;
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "copy-open-source" && path.ends_with("a.txt") ? EACCES : 0;
  });
  Run({{src + "/eins", dst + "/eins"}, {src + "/zwei", dst + "/zwei"}});
  EXPECT_EQ(0, engine.RunStatus);  // only an earlier file failed
  EXPECT_EQ(1u, engine.RunReport.size());
  {
    // Such a run keeps the job's last backup, and its report says so.
    tBackups jobs;
    const int job =
        jobs.AddJob("Briefe", tmp / "ziel", Moment(2003, 2, 15, 0, 0, 0), EncodeTime(17, 5, 40, 0));
    RunEnd end = End({{src + "/eins", dst + "/eins"}}, jobs, job);
    EXPECT_FALSE(end.storeStamp);
    EXPECT_TRUE(end.offerReport);
    EXPECT_EQ("15.02.2003", jobs.GetLastBackupDate(job));
    EXPECT_EQ("17:05", jobs.GetLastBackupTime(job));
    EXPECT_EQ(cp1252::FromUtf8("Datensicherung \"\" am 22.02.2003 um 18:30 Uhr.\r\n"
                               "(Vorhergehende Sicherung: 15.02.2003/17:05)\r\n"
                               "\r\n"
                               "Folgende Fehler sind aufgetreten:\r\n"
                               "Auf die Datei " +
                               dst +
                               "/eins/a.txt ist kein Zugriff möglich.\r\n"
                               "Wegen dieser Fehler bleibt das Datum der letzten Sicherung "
                               "unverändert.\r\n"
                               "1 Dateien wurden kopiert.\r\n"),
              vktest::ReadFile(tBackups::GetDataDir() + jobs.GetLogFileName(job)));
    EXPECT_EQ("", end.closingText);  // the question about the report only
  }
  Run({{src + "/zwei", dst + "/zwei"}, {src + "/eins", dst + "/eins"}});
  EXPECT_EQ(platform::kErrAccessDenied, engine.RunStatus);

  // An error raised while one file is handled: status 1, no report line,
  // the walk goes on.
  platform::SetFaultHook([](const std::string& op, const std::string& path) -> int {
    if (op == "copy-open-source" && path.ends_with("a.txt")) throw std::runtime_error("kaputt");
    return 0;
  });
  fs::remove_all(dst);
  Run({{src + "/zwei", dst + "/zwei"}, {src + "/eins", dst + "/eins"}});
  EXPECT_EQ(CopyEngine::kRaised, engine.RunStatus);
  EXPECT_TRUE(engine.RunReport.empty());
  EXPECT_EQ((std::vector<std::string>{"zwei/b.txt"}), FilesBelow(dst));
}

TEST_F(CopyEngineTest, MissingSourceAndUncreatableTarget) {
  Write("a.txt");
  Write("b.txt");
  engine.FullBackup = true;
  platform::SetFaultHook(
      [](const std::string& op, const std::string&) { return op == "create-dir" ? EACCES : 0; });
  const std::string missing = tmp / "gibtsnicht";
  Run({{missing, dst + "x"}, {src, dst}, {src, dst + "2"}});
  EXPECT_EQ(CopyEngine::kNoTargetDir, engine.RunStatus);
  EXPECT_EQ(
      (std::vector<std::string>{
          "",
          "Das Startverzeichnis " + missing +
              " existiert nicht. Es konnten keine Dateien aus diesem Verzeichnis kopiert werden.",
          dst + "/: Das Zielverzeichnis konnte nicht angelegt werden.", kStoppedLine}),
      engine.RunReport);
  EXPECT_EQ((std::vector<std::string>{"<<<", "OK 0"}), rec.CellsOf(1));
  EXPECT_EQ((std::vector<std::string>{"<<<", "?? 0"}), rec.CellsOf(2));
  EXPECT_EQ((std::vector<std::string>{"<<<", "OK 0"}), rec.CellsOf(3));  // stopped
}

namespace {

// A small tmpfs as the target; skipped where mounting is not allowed.
class FullDisk {
 public:
  explicit FullDisk(const std::string& dir, const std::string& size) : dir_(dir) {
    fs::create_directories(dir);
    mounted_ = mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~FullDisk() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string dir_;
  bool mounted_ = false;
};

}  // namespace

class FullDiskTest : public CopyEngineTest {
 protected:
  // Row 1 holds a file that does not fit; its older copy is in the target.
  std::vector<CopyRow> Prepare() {
    Write("eins/gross.bin", std::string(2 * 1024 * 1024, 'N'));
    for (const char* r : {"zwei", "drei"})
      for (int i = 0; i < 3; ++i) Write(std::string(r) + "/" + std::to_string(i), "klein");
    vktest::WriteFile(dst + "/eins/gross.bin", "alte Fassung");
    engine.FullBackup = true;
    return {{src + "/eins", dst + "/eins"},
            {src + "/zwei", dst + "/zwei"},
            {src + "/drei", dst + "/drei"}};
  }

  void Check(const std::vector<CopyRow>& rows) {
    EXPECT_EQ(CopyEngine::kDiskFull, engine.RunStatus);
    EXPECT_EQ("alte Fassung", vktest::ReadFile(dst + "/eins/gross.bin"));
    EXPECT_FALSE(HasTempLeftover(dst));
    EXPECT_EQ((std::vector<std::string>{dst + "/eins/gross.bin konnte nicht nach " + dst +
                                            "/eins/ kopiert werden. Der Datenträger ist voll.",
                                        kStoppedLine}),
              engine.RunReport);
    EXPECT_EQ((std::vector<std::string>{"<<<", "?? 0"}), rec.CellsOf(1));
    EXPECT_EQ((std::vector<std::string>{"<<<", "OK 0"}), rec.CellsOf(2));
    EXPECT_EQ((std::vector<std::string>{"<<<", "OK 0"}), rec.CellsOf(3));
    EXPECT_FALSE(fs::exists(dst + "/zwei"));

    tBackups jobs;
    const int job = jobs.AddJob("Voll", tmp / "ziel", 0, 0);
    RunEnd end = End(rows, jobs, job);
    EXPECT_FALSE(end.storeStamp);
    JobRecord record;
    ASSERT_TRUE(jobs.GetJob(job, record));
    EXPECT_EQ(0.0, record.LastDate());
    // Only the question about the report, no closing box.
    EXPECT_TRUE(end.offerReport);
    EXPECT_EQ("", end.closingText);
  }
};

TEST_F(FullDiskTest, SmallFileSystemStopsThisAndEveryLaterRow) {
  FullDisk disk(tmp / "ziel", "1m");
  if (!disk.mounted()) GTEST_SKIP() << "no permission to mount a small tmpfs (needs root)";
  std::vector<CopyRow> rows = Prepare();
  Run(rows);
  Check(rows);
}

TEST_F(FullDiskTest, InjectedDiskFullStopsThisAndEveryLaterRow) {
  std::vector<CopyRow> rows = Prepare();
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "copy-write" && path.ends_with("gross.bin") ? ENOSPC : 0;
  });
  Run(rows);
  Check(rows);
}

TEST_F(FullDiskTest, ADiskFullWithCopyThreadsGivesOneLineAndStops) {
  std::vector<CopyRow> rows = Prepare();
  // A full disk fails every file of the row, also those already in work
  // on another thread; the report names only the first one.
  for (int i = 0; i < 40; ++i) Write("eins/f" + std::to_string(i), std::string(100, 'k'));
  for (int i = 0; i < 40; ++i) vktest::WriteFile(dst + "/eins/f" + std::to_string(i), "alt");
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "copy-write" && path.find("/eins/") != std::string::npos ? ENOSPC : 0;
  });
  engine.CopyThreads = 3;
  Run(rows);
  EXPECT_EQ(CopyEngine::kDiskFull, engine.RunStatus);
  ASSERT_EQ(2u, engine.RunReport.size());
  EXPECT_TRUE(engine.RunReport[0].ends_with(" kopiert werden. Der Datenträger ist voll."));
  EXPECT_EQ(kStoppedLine, engine.RunReport[1]);
  EXPECT_EQ(0, engine.CopiedTotal);
  EXPECT_EQ((std::vector<std::string>{"<<<", "?? 0"}), rec.CellsOf(1));
  EXPECT_EQ((std::vector<std::string>{"<<<", "OK 0"}), rec.CellsOf(2));
  EXPECT_EQ((std::vector<std::string>{"<<<", "OK 0"}), rec.CellsOf(3));
  EXPECT_EQ("alte Fassung", vktest::ReadFile(dst + "/eins/gross.bin"));
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ("alt", vktest::ReadFile(dst + "/eins/f" + std::to_string(i)));
  EXPECT_FALSE(HasTempLeftover(dst));
  EXPECT_FALSE(fs::exists(dst + "/zwei"));
}

// --------------------------------------------------------------- report --

TEST_F(CopyEngineTest, ReportWithoutErrorsByteForByte) {
  Write("a.txt");
  Write("b.txt");
  engine.FullBackup = true;
  engine.JobName = "Briefe";
  Run();
  tBackups jobs;
  const int job =
      jobs.AddJob("Briefe", tmp / "ziel", Moment(2003, 2, 15, 0, 0, 0), EncodeTime(17, 5, 40, 0));
  RunEnd end = End({{src, dst}}, jobs, job);
  EXPECT_FALSE(end.offerReport);
  EXPECT_EQ("", end.closingText);
  EXPECT_EQ(
      "Datensicherung \"Briefe\" am 22.02.2003 um 18:30 Uhr.\r\n"
      "(Vorhergehende Sicherung: 15.02.2003/17:05)\r\n"
      "\r\n"
      "Es sind keine Fehler aufgetreten.\r\n"
      "2 Dateien wurden kopiert.\r\n",
      vktest::ReadFile(tBackups::GetDataDir() + jobs.GetLogFileName(job)));
  // The new stamp: the start of the run, a little earlier.
  EXPECT_TRUE(end.storeStamp);
  EXPECT_EQ("22.02.2003", jobs.GetLastBackupDate(job));
  EXPECT_EQ("18:30", jobs.GetLastBackupTime(job));
}

TEST_F(CopyEngineTest, ReportWithErrorsByteForByteAndTheOfferToShowIt) {
  Write("gesperrt.txt");
  platform::SetFaultHook([](const std::string& op, const std::string&) {
    return op == "copy-open-source" ? EACCES : 0;
  });
  engine.FullBackup = true;
  engine.JobName = "Bücher";
  Run({{src, dst}, {tmp / "fehlt", dst + "2"}});
  tBackups jobs;
  const int job = jobs.AddJob("Bücher", tmp / "ziel", 0, 0);
  RunEnd end = End({{src, dst}}, jobs, job);
  const std::string log = tBackups::GetDataDir() + jobs.GetLogFileName(job);
  EXPECT_EQ(log, end.reportPath);
  EXPECT_EQ(
      "Datensicherung \"B\xFC"
      "cher\" am 22.02.2003 um 18:30 Uhr.\r\n"
      "(Vorhergehende Sicherung: 30.12.1899/00:00)\r\n"
      "\r\n"
      "Folgende Fehler sind aufgetreten:\r\n"
      "Auf die Datei " +
          cp1252::FromUtf8(dst) +
          "/gesperrt.txt ist kein Zugriff m\xF6glich.\r\n"
          "\r\n"
          "Das Startverzeichnis " +
          cp1252::FromUtf8(tmp / "fehlt") +
          " existiert nicht. Es konnten keine Dateien aus diesem Verzeichnis kopiert werden.\r\n"
          "0 Dateien wurden kopiert.\r\n",
      vktest::ReadFile(log));
  EXPECT_TRUE(end.offerReport);
  // The last copy failed with 5: no new stamp, no closing box.
  EXPECT_FALSE(end.storeStamp);
  EXPECT_EQ("", end.closingText);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CopyEngineTest, AReportThatCannotBeWrittenIsToldWithItsReason) {
  Write("a.txt");
  engine.FullBackup = true;
  Run();
  tBackups jobs;
  const int job = jobs.AddJob("Briefe", tmp / "ziel", 0, 0);
  const RunEnd end = DecideRunEnd(engine, {{src, dst}}, jobs, job);
  platform::SetFaultHook(
      [](const std::string& op, const std::string&) { return op == "write-atomic" ? ENOSPC : 0; });
  const int code = textfile::WriteLines(end.reportPath, end.reportLines);
  EXPECT_EQ(platform::kErrDiskFull, code);
  EXPECT_EQ("Das Protokoll\r" + end.reportPath +
                "\rkonnte nicht geschrieben werden.\rDer Datenträger ist voll.",
            WriteFailureText("Das Protokoll", end.reportPath, code));
}

// ---------------------------------------------------------------- stamp --

TEST(CopyEngineStamp, EveryFileChangedFromTheStartOnIsCopiedNextTime) {
  // Starts at every fraction of a two-second step.
  for (int s = 0; s < 4; ++s) {
    for (int ms : {0, 1, 499, 500, 999}) {
      const TDateTime start = Moment(2003, 2, 22, 18, 30, s, ms);
      const TDateTime stored = CopyEngine::StampBefore(start);
      const double date = std::floor(stored);
      // What the catalogue keeps and the main window packs again.
      const platform::DosStamp since = DateTimeToDosStamp(date + (stored - date));
      // A file changed at the start, or in the second before it (the file
      // system's clock runs a little behind), is later.
      EXPECT_GT(Stamp(2003, 2, 22, 18, 30, s), since) << s << "." << ms;
      const platform::DosStamp before =
          s > 0 ? Stamp(2003, 2, 22, 18, 30, s - 1) : Stamp(2003, 2, 22, 18, 29, 59);
      EXPECT_GT(before, since) << s << "." << ms;
      // Not more than six seconds are given away.
      EXPECT_LE(start - stored, 6.0 / 86400.0);
      EXPECT_LT(stored, start);
    }
  }
  // Just after midnight the stamp falls on the day before.
  const TDateTime stored = CopyEngine::StampBefore(Moment(2003, 3, 1, 0, 0, 1));
  EXPECT_EQ("28.02.2003", FormatDateText(4, std::floor(stored)));
  EXPECT_EQ("23:59", InsertTimeColon(FormatTimeDigits(stored)));
}

TEST_F(CopyEngineTest, AFileChangedDuringTheRunIsCopiedByTheNextIncrementalRun) {
  now = Moment(2003, 2, 22, 18, 30, 3, 500);
  Write("a.txt");
  Write("b.txt");
  SetTime(src + "/a.txt", 2003, 2, 1);
  SetTime(src + "/b.txt", 2003, 2, 1);
  engine.FullBackup = true;
  engine.CopyThreads = 0;  // b.txt is copied after a.txt is counted
  // While the run copies a.txt, b.txt is changed (at the start moment).
  rec.onEvents = [this] {
    if (engine.CopiedTotal == 1) SetTime(src + "/b.txt", 2003, 2, 22, 18, 30, 3, 600000000);
  };
  Run();
  tBackups jobs;
  const int job = jobs.AddJob("Briefe", tmp / "ziel", 0, 0);
  ASSERT_TRUE(End({{src, dst}}, jobs, job).storeStamp);
  JobRecord record;
  ASSERT_TRUE(jobs.GetJob(job, record));
  rec = Recorder();
  fs::remove_all(dst);
  engine.FullBackup = false;
  engine.ChangedSince = DateTimeToDosStamp(std::floor(record.LastDate()) + record.LastTime() -
                                           std::floor(record.LastTime()));
  now = Moment(2003, 2, 22, 19, 0, 0);
  Run();
  EXPECT_EQ((std::vector<std::string>{"b.txt"}), FilesBelow(dst));
}

TEST_F(CopyEngineTest, LeftoversOfARunCutShortGoWithTheNextCopyIntoTheirFolder) {
  Write("a.txt", "neu");
  Write(".eigen.vktmp-Q1w2E3", "des Benutzers");  // a source file of that form
  Write("unten/b.txt");
  // What a killed run left: a temporary file and a temporary link.
  vktest::WriteFile(dst + "/.a.txt.vktmp-AbC123", "halb");
  ASSERT_EQ(0, symlink("ziel", (dst + "/.l.vktmp-XyZ789").c_str()));
  // Not of that form, or a folder: they stay.
  vktest::WriteFile(dst + "/b.vktmp-AAA111", "1");
  vktest::WriteFile(dst + "/.c.vktmp-AB12", "2");
  vktest::WriteFile(dst + "/.d.vktmp-ABCDEF/inhalt", "3");
  // Below a folder of the source without a copy in this run: left alone.
  vktest::WriteFile(dst + "/leer/.x.vktmp-ABCDEF", "4");
  fs::create_directories(src + "/leer");
  engine.FullBackup = true;
  Run();
  EXPECT_EQ(
      (std::vector<std::string>{".c.vktmp-AB12", ".d.vktmp-ABCDEF/inhalt", ".eigen.vktmp-Q1w2E3",
                                "a.txt", "b.vktmp-AAA111", "leer/.x.vktmp-ABCDEF", "unten/b.txt"}),
      FilesBelow(dst));
  EXPECT_EQ("des Benutzers", vktest::ReadFile(dst + "/.eigen.vktmp-Q1w2E3"));
  EXPECT_TRUE(engine.RunReport.empty());
}

// ---------------------------------------------------------- copy threads --

// The same runs with copy threads and without: counts, cells, lines of the
// current file, report, status and target are the same, whatever order
// the threads finish their copies in.
TEST_F(CopyEngineTest, CopyThreadsGiveTheResultsOfOneCopyAfterTheOther) {
  for (int d = 0; d < 3; ++d) {
    for (int i = 0; i < 45; ++i) {
      const std::string folder = "d" + std::to_string(d) + (i % 2 ? "/unten/" : "/");
      Write(folder + std::to_string(i) + ".txt",
            std::string(static_cast<std::size_t>(i) * 97, 'x'));
    }
  }
  // The same files fail in every run, from whichever thread copies them.
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    if (op != "copy-open-source") return 0;
    if (path.ends_with("7.txt")) return EACCES;
    if (path.ends_with("13.txt")) return EBUSY;
    return 0;
  });
  engine.FullBackup = true;
  const std::vector<CopyRow> rows{{src, dst}, {tmp / "fehlt", dst + "2"}, {src + "/d1", dst + "3"}};

  engine.CopyThreads = 0;
  Run(rows);
  const Outcome one = Taken();
  EXPECT_GT(one.total, 100);
  EXPECT_FALSE(one.report.empty());

  for (int threads : {2, 4}) {
    engine.CopyThreads = threads;
    ExpectSameRun(rows, one, threads, true);
  }
}

TEST_F(CopyEngineTest, ACancelWithCopyThreadsCountsWhatWasCopiedAndStops) {
  std::vector<CopyRow> rows;
  for (const char* r : {"eins", "zwei", "drei"}) {
    const int files = std::string(r) == "zwei" ? 300 : 5;
    for (int i = 0; i < files; ++i) Write(std::string(r) + "/" + std::to_string(i), "inhalt");
    rows.push_back({src + "/" + r, dst + "/" + r});
  }
  engine.FullBackup = true;
  engine.CopyThreads = 2;
  rec.onEvents = [this] {
    if (engine.CurrentRow == 2 && engine.CopiedInRow >= 10) engine.Cancel();
  };
  Run(rows);
  EXPECT_EQ(CopyEngine::kCancelled, engine.RunStatus);
  // Copies in work when the cancel came are finished and counted; none
  // is started after it.
  const std::size_t copied = FilesBelow(dst).size();
  EXPECT_EQ(copied, static_cast<std::size_t>(engine.CopiedTotal));
  EXPECT_GE(engine.CopiedInRow, 10);
  EXPECT_LT(engine.CopiedInRow, 300);
  EXPECT_EQ(5u, FilesBelow(dst + "/eins").size());
  EXPECT_EQ("OK 5", rec.CellsOf(1).back());
  EXPECT_TRUE(rec.CellsOf(2).back().starts_with("<<< "));
  EXPECT_TRUE(rec.CellsOf(3).empty());
  EXPECT_TRUE(FilesBelow(dst + "/drei").empty());
  EXPECT_FALSE(HasTempLeftover(dst));
}

TEST_F(CopyEngineTest, WhileLongCopiesFinishACancelStillComesThrough) {
  for (int i = 0; i < 12; ++i) Write("gross/" + std::to_string(i) + ".bin");
  // Each copy takes long, like that of a large file.
  platform::SetFaultHook([](const std::string& op, const std::string&) {
    if (op == "copy-open-source") std::this_thread::sleep_for(std::chrono::milliseconds(150));
    return 0;
  });
  engine.FullBackup = true;
  engine.CopyThreads = 2;
  // All twelve are handed over at once; the cancel comes while the walk
  // waits for them.
  rec.onEvents = [this] {
    if (rec.files.size() == 12) engine.Cancel();
  };
  Run();
  EXPECT_EQ(CopyEngine::kCancelled, engine.RunStatus);
  EXPECT_EQ(FilesBelow(dst).size(), static_cast<std::size_t>(engine.CopiedTotal));
  EXPECT_GE(engine.CopiedTotal, 1);
  EXPECT_LE(engine.CopiedTotal, 6);  // those in work; the rest are dropped
  EXPECT_FALSE(HasTempLeftover(dst));
}

TEST_F(CopyEngineTest, LargeFilesGoOneAtATimeOnlyOnARotatingDisk) {
  std::vector<std::string> places{tmp.path()};
  if (fs::is_directory("/dev/shm")) places.push_back("/dev/shm/");
  for (const std::string& place : places) {
    const std::string root = place + "gross-" + std::to_string(getpid()) + "/";
    for (int i = 0; i < 3; ++i)
      vktest::WriteFile(root + "q/" + std::to_string(i) + ".bin", std::string((4 << 20) + 1, 'g'));
    // Half way through each content: how many copies are there at once.
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    platform::SetFaultHook([&](const std::string& op, const std::string&) {
      if (op != "copy-write") return 0;
      const int now = ++inside;
      int seen = most;
      while (now > seen && !most.compare_exchange_weak(seen, now)) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      --inside;
      return 0;
    });
    engine.FullBackup = true;
    engine.CopyThreads = 3;
    Run({{root + "q", root + "z"}});
    platform::SetFaultHook(nullptr);
    EXPECT_EQ(3, engine.CopiedTotal) << place;
    if (platform::OnRotatingDisk(root))
      EXPECT_EQ(1, most.load()) << place << " (rotating disk)";
    else
      EXPECT_GE(most.load(), 2) << place;
    fs::remove_all(root);
  }
}

// A run killed at any moment (kill -9, power loss) leaves every target file
// old or new, and the next run leaves no temporary file behind.
TEST_F(CopyEngineTest, ARunKilledAtAnyMomentLeavesEveryFileOldOrNew) {
  constexpr int kFiles = 60;
  const std::string oldText(256 * 1024, 'a');
  const std::string newText(300 * 1024, 'b');
  for (int i = 0; i < kFiles; ++i) Write("k/" + std::to_string(i), newText);
  auto newFiles = [&] {
    int n = 0;
    for (int i = 0; i < kFiles; ++i) {
      std::error_code ec;
      n += fs::file_size(dst + "/k/" + std::to_string(i), ec) == newText.size();
    }
    return n;
  };
  int killedInTheRun = 0;
  for (bool named : {false, true}) {
    for (int killAfter : {1, 10, 30}) {
      for (int i = 0; i < kFiles; ++i) vktest::WriteFile(dst + "/k/" + std::to_string(i), oldText);
      const bool killed = vktest::KillWhen(
          [&] {
            platform::detail::g_forceNamedTemp = named;
            CopyEngine run;
            run.FullBackup = true;
            run.StartRun();
            run.RunRows({{src, dst}});
          },
          // Killed once this many files are new: in the middle of the copies.
          [&] { return newFiles() >= killAfter; });
      killedInTheRun += killed && newFiles() < kFiles;
      for (int i = 0; i < kFiles; ++i) {
        const std::string content = vktest::ReadFile(dst + "/k/" + std::to_string(i));
        EXPECT_TRUE(content == oldText || content == newText)
            << "file " << i << " has " << content.size() << " bytes (named " << named << ")";
      }
    }
    // The next run completes the backup and removes what the killed ones
    // left.
    platform::detail::g_forceNamedTemp = named;
    Run();
    platform::detail::g_forceNamedTemp = false;
    EXPECT_EQ(kFiles, newFiles());
    EXPECT_FALSE(HasTempLeftover(dst)) << "named " << named;
  }
  EXPECT_GT(killedInTheRun, 0);  // the kills came while files were copied
}

// ------------------------------------------------------- hard targets --

TEST_F(CopyEngineTest, WhatARemovableTargetRefusesGetsItsOwnLine) {
  engine.FullBackup = true;
  Write("gut.txt", "G");
  struct Case {
    const char* what;
    const char* operation;  // fault hook point
    int err;
    std::function<void()> make;
    std::vector<std::string> lines;
  };
  const std::string d = dst + "/";
  const std::vector<Case> cases = {
      {"refused name",
       "target-name",
       EINVAL,
       [&] { Write("a?b.txt"); },
       {"Die Datei " + d +
        "a?b.txt konnte nicht angelegt werden. Das Ziel nimmt diesen "
        "Dateinamen nicht an."}},
      {"name too long",
       "target-name",
       ENAMETOOLONG,
       [&] { Write("lang.txt"); },
       {"Die Datei " + d +
        "lang.txt konnte nicht angelegt werden. Das Ziel nimmt diesen "
        "Dateinamen nicht an."}},
      {"no links",
       "make-link",
       EPERM,
       [&] {
         fs::create_directories(src);
         fs::create_symlink("gut.txt", src + "/l1");
         fs::create_symlink("gut.txt", src + "/l2");
       },
       {"Die Verknüpfung " + d +
            "l1 konnte nicht angelegt werden. Das Ziel kann keine "
            "symbolischen Verknüpfungen aufnehmen.",
        "Die Verknüpfung " + d +
            "l2 konnte nicht angelegt werden. Das Ziel kann keine "
            "symbolischen Verknüpfungen aufnehmen."}},
      {"links not implemented",
       "make-link",
       ENOSYS,
       [&] { fs::create_symlink("gut.txt", src + "/l1"); },
       {"Die Verknüpfung " + d +
        "l1 konnte nicht angelegt werden. Das Ziel kann keine "
        "symbolischen Verknüpfungen aufnehmen."}},
      {"file too large",
       "copy-write",
       EFBIG,
       [&] { Write("gross.bin", "0123456789"); },
       {d + "gross.bin konnte nicht nach " + d +
        " kopiert werden. Die Datei ist für diesen Datenträger zu groß."}},
  };
  for (const Case& c : cases) {
    fs::remove_all(src);
    fs::remove_all(dst);
    Write("gut.txt", "G");
    c.make();
    const std::string op = c.operation;
    const int err = c.err;
    platform::SetFaultHook([op, err](const std::string& o, const std::string& path) {
      return o == op && !path.ends_with("gut.txt") ? err : 0;
    });
    Run();
    platform::SetFaultHook(nullptr);
    std::vector<std::string> report = engine.RunReport;
    std::sort(report.begin(), report.end());
    EXPECT_EQ(c.lines, report) << c.what;
    // Not a stop: the rest of the folder is copied.
    EXPECT_EQ("G", vktest::ReadFile(dst + "/gut.txt")) << c.what;
    EXPECT_NE(CopyEngine::kDiskFull, engine.RunStatus) << c.what;
  }
}

TEST_F(CopyEngineTest, OnATargetThatIgnoresCaseASecondNameNeverReplacesTheFirst) {
  Write("Datei.txt", "gross");
  Write("datei.txt", "klein");
  Write("Ordner/a.txt", "A");
  Write("ORDNER/a.txt", "B");
  Write("anders.txt", "X");
  engine.FullBackup = true;
  std::atomic<int> probes{0};  // the hook is called by the copy threads too
  platform::SetFaultHook([&probes](const std::string& op, const std::string&) {
    if (op != "case-probe") return 0;
    ++probes;
    return 1;
  });
  Run();
  EXPECT_EQ(1, probes);  // once for the target root
  // Whichever name came first was copied; the second one is reported with
  // both names and copied nowhere.
  ASSERT_EQ(2u, engine.RunReport.size());
  std::vector<std::string> files = FilesBelow(dst);
  EXPECT_EQ(3u, files.size());
  EXPECT_EQ(3, engine.CopiedTotal);
  for (const std::string& line : engine.RunReport) {
    const bool file = line.find("atei.txt") != std::string::npos;
    const std::string first =
        file ? (line.starts_with(src + "/Datei.txt") ? "datei.txt" : "Datei.txt")
             : (line.starts_with(src + "/Ordner") ? "ORDNER" : "Ordner");
    const std::string second = file ? (first == "Datei.txt" ? "datei.txt" : "Datei.txt")
                                    : (first == "Ordner" ? "ORDNER" : "Ordner");
    EXPECT_EQ(src + "/" + second + " wurde nicht gesichert: Das Ziel unterscheidet den Namen " +
                  "nicht von " + src + "/" + first + ".",
              line);
    if (file) {
      EXPECT_EQ(vktest::ReadFile(src + "/" + first), vktest::ReadFile(dst + "/" + first));
      EXPECT_FALSE(vktest::Exists(dst + "/" + second));
    }
  }
}

TEST_F(CopyEngineTest, ASecondIncrementalRunOnATargetWithCoarseTimesCopiesNothing) {
  Write("a.txt");
  Write("tief/b.txt");
  for (const char* f : {"a.txt", "tief/b.txt"}) SetTime(src + "/" + f, 2003, 2, 20, 10, 0, 1);
  tBackups jobs;
  const int job = jobs.AddJob("Grob", tmp / "ziel", 0, 0);
  engine.FullBackup = true;
  Run();
  End({{src, dst}}, jobs, job);
  ASSERT_EQ(2, engine.CopiedTotal);
  // The target keeps times in two-second steps (FAT): the copies' times
  // differ from the source's; the incremental rule reads the source only.
  for (const char* f : {"a.txt", "tief/b.txt"}) SetTime(dst + "/" + f, 2003, 2, 20, 10, 0, 2);
  JobRecord record;
  ASSERT_TRUE(jobs.GetJob(job, record));
  now = Moment(2003, 2, 22, 18, 40, 0);
  engine.FullBackup = false;
  engine.ChangedSince = DateTimeToDosStamp(record.LastDate() + record.LastTime());
  Run();
  EXPECT_EQ(0, engine.CopiedTotal);
  EXPECT_TRUE(engine.RunReport.empty());
}

TEST_F(CopyEngineTest, ATargetSpelledAnyWayInsideItsSourceIsNeverCopiedIntoItself) {
  Write("a.txt", "A");
  Write("unter/b.txt", "B");
  fs::create_directories(tmp / "wege");
  fs::create_symlink(src, tmp / "wege/link");
  const std::vector<std::string> spellings = {
      tmp / "wege/link/Sicherung/Daten", src + "//Sicherung/Daten", src + "/./Sicherung/./Daten"};
  engine.FullBackup = true;
  for (const std::string& target : spellings) {
    fs::remove_all(src + "/Sicherung");
    for (int run = 0; run < 3; ++run) Run({{src, target}});
    EXPECT_EQ((std::vector<std::string>{"a.txt", "unter/b.txt"}),
              FilesBelow(src + "/Sicherung/Daten"))
        << target;
  }
}

TEST_F(CopyEngineTest, AFolderSwappedForALinkAfterItsParentWasListedIsNotFollowed) {
  Write("a.txt");
  Write("ordner/eigen.txt");
  vktest::WriteFile(tmp / "fremd/geheim.txt", "geheim");
  engine.FullBackup = true;
  platform::SetFaultHook([&](const std::string& op, const std::string& path) {
    if (op == "enter-dir" && path == src + "/ordner/") {
      fs::rename(src + "/ordner", tmp / "ordner-alt");
      fs::create_symlink(tmp / "fremd", src + "/ordner");
    }
    return 0;
  });
  Run();
  // The link is copied as the link it now is; nothing from outside lands
  // in the backup.
  EXPECT_EQ((std::vector<std::string>{"a.txt", "ordner"}), FilesBelow(dst));
  EXPECT_TRUE(fs::is_symlink(dst + "/ordner"));
  EXPECT_TRUE(engine.RunReport.empty());
}

TEST_F(CopyEngineTest, OneTargetFolderInTheWayIsReportedAndTheRunGoesOn) {
  struct Case {
    const char* what;
    std::function<void()> block;
  };
  const std::vector<Case> cases = {
      {"a file in the way", [&] { vktest::WriteFile(dst + "/b", "Datei statt Ordner"); }},
      {"a path too long", [&] {
         platform::SetFaultHook([&](const std::string& op, const std::string& path) {
           return op == "create-dir" && path.starts_with(dst + "/b") ? ENAMETOOLONG : 0;
         });
       }}};
  engine.FullBackup = true;
  engine.CopyThreads = 2;
  for (const Case& c : cases) {
    fs::remove_all(src);
    fs::remove_all(dst);
    Write("a/1.txt");
    for (int i = 0; i < 5; ++i) Write("b/" + std::to_string(i) + ".txt");
    Write("b/x/2.txt");
    Write("b/x/y/3.txt");
    Write("c/4.txt");
    Write("z.txt");
    c.block();
    Run({{src, dst}, {src + "/c", tmp / "ziel/C"}});
    platform::SetFaultHook(nullptr);
    EXPECT_EQ((std::vector<std::string>{dst + "/b/: Das Zielverzeichnis konnte nicht angelegt "
                                              "werden."}),
              engine.RunReport)
        << c.what;
    EXPECT_EQ(4, engine.CopiedTotal) << c.what;  // a/1, c/4, z and the second row's 4
    EXPECT_TRUE(vktest::Exists(dst + "/c/4.txt")) << c.what;
    EXPECT_TRUE(vktest::Exists(dst + "/z.txt")) << c.what;
    EXPECT_TRUE(vktest::Exists(tmp / "ziel/C/4.txt")) << c.what;
    EXPECT_EQ("?? 3", rec.CellsOf(1).back()) << c.what;
    rec = Recorder();
  }
}

TEST_F(CopyEngineTest, AKilledRunsLeftoversGoInTheNextRunWhateverItsMode) {
  Write("a.txt");
  Write("sub/b.txt");
  for (const char* f : {"a.txt", "sub/b.txt"}) SetTime(src + "/" + f, 2003, 1, 10);
  engine.FullBackup = true;
  Run();
  // A run killed while copying left complete temporary files and its mark.
  vktest::WriteFile(dst + "/.a.txt.vktmp-Ab12Cd", "whole copy");
  vktest::WriteFile(dst + "/sub/.b.txt.vktmp-Zz9999", "whole copy");
  const std::string mark = tmp / "home/VKDaten/volkarn.run";
  const std::string elsewhere = tmp / "anderswo/";
  vktest::WriteFile(mark, dst + "/\n" + elsewhere + "\n");
  engine.RunMark = mark;
  engine.FullBackup = false;
  engine.ChangedSince = Stamp(2003, 2, 1);  // nothing is newer
  Run();
  EXPECT_EQ(0, engine.CopiedTotal);
  EXPECT_FALSE(HasTempLeftover(dst));
  // The mark keeps the roots of the killed run that this run did not walk.
  EXPECT_EQ(elsewhere + "\n", vktest::ReadFile(mark));
  // A run over those roots too leaves no mark.
  Run({{src, tmp / "anderswo"}, {src, dst}});
  EXPECT_FALSE(vktest::Exists(mark));
}

TEST_F(CopyEngineTest, NamesInTheReportStayOnTheirLineAndVisible) {
  Write("zwei\nZeilen.txt");
  Write("\xE4\xB8\xAD.txt");  // a character Windows-1252 lacks
  Write("?.txt");
  engine.FullBackup = true;
  platform::SetFaultHook(vktest::FailAt("copy-open-source", EACCES));
  Run();
  tBackups jobs;
  const int job = jobs.AddJob("Namen", tmp / "ziel", 0, 0);
  End({{src, dst}}, jobs, job);
  const std::string report = vktest::ReadFile(tBackups::GetDataDir() + jobs.GetLogFileName(job));
  for (const std::string& line :
       {"Auf die Datei " + dst + "/zwei[x0A]Zeilen.txt ist kein Zugriff m\xF6glich.\r\n",
        "Auf die Datei " + dst + "/[U+4E2D].txt ist kein Zugriff m\xF6glich.\r\n",
        "Auf die Datei " + dst + "/?.txt ist kein Zugriff m\xF6glich.\r\n"})
    EXPECT_NE(std::string::npos, report.find(line)) << line;
}

TEST_F(CopyEngineTest, ReadAheadGivesTheResultsOfTheWalkOnOneThread) {
  // Old and new files over several batches of one folder and in
  // sub-folders, excluded ones, links, a folder that cannot be read and
  // copies that fail: whatever the number of threads reading ahead, the
  // run is that of the walk on one thread.
  for (int i = 0; i < 300; ++i) {
    const std::string name = "viele/" + std::to_string(i) + (i % 11 == 0 ? ".bak" : ".txt");
    Write(name);
    SetTime(src + "/" + name, 2003, 2, i % 3 == 0 ? 10 : 20);
  }
  for (int d = 0; d < 6; ++d) {
    for (int i = 0; i < 20; ++i) {
      const std::string name =
          "ordner" + std::to_string(d) + (i % 2 ? "/unten/" : "/") + std::to_string(i) + ".txt";
      Write(name);
      SetTime(src + "/" + name, 2003, 2, i % 4 == 0 ? 10 : 20);
    }
  }
  // More sub-folders than are read ahead at once, some below others; a
  // folder read ahead only in part; a folder whose target cannot be made,
  // so that its sub-folders read ahead are never entered.
  for (int d = 0; d < 20; ++d) {
    const std::string name = "reihe/r" + std::to_string(d) + (d % 3 ? "/f.txt" : "/tief/f.txt");
    Write(name);
    SetTime(src + "/" + name, 2003, 2, d % 2 ? 10 : 20);
  }
  for (int i = 0; i < 1100; ++i) {
    const std::string name = "reihe/gross/" + std::to_string(i) + ".txt";
    Write(name);
    SetTime(src + "/" + name, 2003, 2, i % 7 == 0 ? 20 : 10);
  }
  for (const char* name : {"block/neu.txt", "block/a/neu.txt", "block/b/neu.txt"}) {
    Write(name);
    SetTime(src + "/" + name, 2003, 2, 20);
  }
  Write("zu/b.txt");
  fs::create_symlink("viele/1.txt", src + "/link-datei");
  fs::create_symlink(src + "/ordner1", src + "/link-ordner");
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    if (op == "list-dir" && path.ends_with("/zu/")) return EACCES;
    if (op == "copy-open-source" && path.ends_with("7.txt")) return EACCES;
    if (op == "create-dir" && path.find("ziel/Daten/block") != std::string::npos) return EACCES;
    return 0;
  });
  engine.FullBackup = false;
  engine.ChangedSince = Stamp(2003, 2, 15);
  engine.SetExclusions("*.BAK\r\n", "");
  engine.CopyThreads = 0;
  const std::vector<CopyRow> rows{{src, dst}, {src + "/ordner2", dst + "2"}};

  engine.ReadAheadThreads = 0;
  Run(rows);
  const Outcome one = Taken();
  EXPECT_GT(one.total, 150);
  EXPECT_GT(one.report.size(), 3u);
  EXPECT_EQ(1, std::count(one.report.begin(), one.report.end(),
                          dst + "/block/: Das Zielverzeichnis konnte nicht angelegt werden."))
      << ::testing::PrintToString(one.report);

  for (int threads : {1, 4}) {
    engine.ReadAheadThreads = threads;
    ExpectSameRun(rows, one, threads, false);
  }
}

TEST_F(CopyEngineTest, GapsInAListingAreReportedAndKeepTheStamp) {
  // A read of a folder that fails on the way (a failing disk, a dropped
  // share) and entries whose stamps cannot be read: neither is passed over
  // in silence, whether the stamps are read by the walk or ahead of it.
  Write("a.txt");
  Write("b.txt");
  Write("kaputt/b.txt");
  Write("kaputt/c.txt");
  Write("heil/d.txt");
  struct Case {
    const char* what;
    const char* operation;
    int err;
    std::vector<std::string> lines;  // sorted
  };
  const std::vector<Case> cases = {
      {"a read that fails",
       "read-dir",
       EIO,
       {"Das Verzeichnis " + src +
        "/kaputt/ konnte nicht vollständig gelesen werden (Fehlercode 21). Seine weiteren "
        "Dateien wurden nicht kopiert."}},
      {"stamps that cannot be read",
       "describe-entry",
       EACCES,
       {"Das Datum der Datei " + src +
            "/b.txt konnte nicht gelesen werden (Fehlercode 5). Sie wurde nicht kopiert.",
        "Das Datum der Datei " + src +
            "/kaputt/b.txt konnte nicht gelesen werden (Fehlercode 5). Sie wurde nicht "
            "kopiert."}}};
  tBackups jobs;
  const int job = jobs.AddJob("Lücken", tmp / "ziel", 0, 0);
  engine.ChangedSince = Stamp(1990, 1, 1);
  for (const Case& c : cases) {
    for (int threads : {0, 2}) {
      const std::string how = std::string(c.what) + ", " + std::to_string(threads) + " ahead";
      fs::remove_all(tmp / "ziel");
      rec = Recorder();
      engine.ReadAheadThreads = threads;
      const std::string operation = c.operation;
      const int err = c.err;
      platform::SetFaultHook([operation, err](const std::string& op, const std::string& path) {
        const bool here = op == "read-dir" ? path.ends_with("/kaputt/") : path.ends_with("/b.txt");
        return op == operation && here ? err : 0;
      });
      Run();
      const RunEnd end = End({{src, dst}}, jobs, job);
      platform::SetFaultHook(nullptr);
      std::vector<std::string> report = engine.RunReport;
      ASSERT_FALSE(report.empty()) << how;
      EXPECT_EQ("Wegen dieser Fehler bleibt das Datum der letzten Sicherung unverändert.",
                report.back())
          << how;
      report.pop_back();
      std::sort(report.begin(), report.end());
      EXPECT_EQ(c.lines, report) << how;
      EXPECT_FALSE(end.storeStamp) << how;
      EXPECT_EQ(3, engine.CopiedTotal) << how;
      EXPECT_EQ("?? 3", rec.CellsOf(1).back()) << how;
    }
  }
}

TEST_F(CopyEngineTest, SomethingRaisedInAFolderReadAheadLetsItsCopiesInWorkFinishFirst) {
  // The folder read ahead belongs to its listing; a copy still in work
  // opens its file through that folder, so the folder stays open until
  // the copy is done, even when the walk is left by an exception.
  Write("a.txt");
  for (int i = 0; i < 8; ++i) Write("ordner/" + std::to_string(i) + ".txt", "Inhalt");
  engine.ChangedSince = Stamp(1990, 1, 1);
  engine.ReadAheadThreads = 1;
  engine.CopyThreads = 1;
  std::mutex mutex;
  std::condition_variable wake;
  bool raised = false;
  std::string held;  // the source whose copy waits for the exception
  platform::SetFaultHook([&](const std::string& op, const std::string& path) {
    if (op != "copy-open-source" || path.find("/ordner/") == std::string::npos) return 0;
    std::unique_lock<std::mutex> lock(mutex);
    if (!held.empty()) return 0;
    held = path;
    wake.notify_all();
    wake.wait_for(lock, std::chrono::seconds(5), [&] { return raised; });
    lock.unlock();
    // Time for the walk to close whatever it closes while it unwinds.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return 0;
  });
  // Once enough copies of the folder are handed over for the copy thread
  // to start: raised while the first one is in work.
  rec.onEvents = [&] {
    const auto handedOver = std::count_if(rec.files.begin(), rec.files.end(), [](const auto& f) {
      return f.find("/ordner/") != std::string::npos;
    });
    if (handedOver < static_cast<long>(CopyPipeline::kWakeBatch)) return;
    {
      std::unique_lock<std::mutex> lock(mutex);
      if (raised) return;
      wake.wait_for(lock, std::chrono::seconds(5), [&] { return !held.empty(); });
      raised = true;
    }
    wake.notify_all();
    throw std::runtime_error("Fenster geschlossen");
  };
  EXPECT_THROW(Run(), std::runtime_error);
  platform::SetFaultHook(nullptr);
  ASSERT_FALSE(held.empty());
  EXPECT_EQ("Inhalt", vktest::ReadFile(dst + held.substr(src.size())));
}

TEST_F(CopyEngineTest, EveryRowHasItsOwnCaseProbeAndItsTargetIsKnownToEveryRow) {
  // Row 1's target tells names apart by letter case (probed for real),
  // row 2's does not; row 2's target lies in row 1's source from an
  // earlier run.
  Write("A.txt", "gross");
  Write("a.txt", "klein");
  const std::string src2 = tmp / "quelle2/Zwei";
  const std::string dst2 = src + "/Sicherung/Zwei";
  vktest::WriteFile(src2 + "/Datei.txt", "1");
  vktest::WriteFile(src2 + "/datei.txt", "2");
  vktest::WriteFile(dst2 + "/alt.txt", "von früher");
  engine.FullBackup = true;
  std::atomic<int> probes{0};
  platform::SetFaultHook([&](const std::string& op, const std::string& path) {
    if (op != "case-probe") return 0;
    ++probes;
    return path == dst2 ? 1 : 0;
  });
  Run({{src, dst}, {src2, dst2}});
  EXPECT_EQ(2, probes);
  // Both spellings in row 1, and nothing of row 2's target.
  EXPECT_EQ((std::vector<std::string>{"A.txt", "a.txt"}), FilesBelow(dst));
  EXPECT_EQ("klein", vktest::ReadFile(dst + "/a.txt"));
  // One of the two names in row 2.
  ASSERT_EQ(1u, engine.RunReport.size());
  EXPECT_TRUE(engine.RunReport[0].starts_with(src2 + "/"));
  EXPECT_NE(std::string::npos, engine.RunReport[0].find(" wurde nicht gesichert: "));
  EXPECT_EQ("?? 1", rec.CellsOf(2).back());
}

TEST_F(CopyEngineTest, ATargetRootThatVanishesDuringTheRunStopsIt) {
  struct Case {
    const char* what;
    std::vector<std::string> files;
    // When the root goes: at the second copy, or when the second folder
    // is entered.
    const char* operation;
    // Only the root's parent (a mount point) is left: it could be made
    // again, on the wrong disk.
    bool canBeMade;
  };
  const std::vector<Case> cases = {
      {"the drive goes during a copy into the root", {"a.txt", "b.txt"}, "copy-open-source", false},
      {"the drive goes during a copy into a folder",
       {"unter/a.txt", "unter/b.txt"},
       "copy-open-source",
       false},
      {"only the mount point is left when the next folder comes",
       {"eins/a.txt", "zwei/b.txt"},
       "enter-dir",
       true}};
  engine.FullBackup = true;
  engine.CopyThreads = 0;
  const std::string src2 = tmp / "quelle2";
  vktest::WriteFile(src2 + "/x.txt", "x");
  for (const Case& c : cases) {
    fs::remove_all(src);
    fs::remove_all(tmp / "ziel");
    rec = Recorder();
    for (const std::string& file : c.files) Write(file);
    int calls = 0;
    bool gone = false;
    platform::SetFaultHook([&](const std::string& op, const std::string& path) {
      if (op == c.operation && path.starts_with(src + "/") && ++calls == 2) {
        fs::remove_all(dst);
        gone = true;
      }
      return gone && !c.canBeMade && op == "create-dir" && path.starts_with(dst) ? EACCES : 0;
    });
    Run({{src, dst}, {src2, tmp / "ziel2/Q"}});
    platform::SetFaultHook(nullptr);
    EXPECT_EQ(CopyEngine::kNoTargetDir, engine.RunStatus) << c.what;
    EXPECT_EQ((std::vector<std::string>{
                  dst + "/: Das Zielverzeichnis konnte nicht angelegt werden.", kStoppedLine}),
              engine.RunReport)
        << c.what;
    EXPECT_EQ(1, engine.CopiedTotal) << c.what;
    EXPECT_FALSE(vktest::Exists(dst)) << c.what;
    EXPECT_EQ("?? 1", rec.CellsOf(1).back()) << c.what;
    EXPECT_EQ((std::vector<std::string>{"<<<", "OK 0"}), rec.CellsOf(2)) << c.what;
    EXPECT_FALSE(vktest::Exists(tmp / "ziel2")) << c.what;
  }
}
