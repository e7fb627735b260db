#include "core/restore/restorerun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/backup/backuprun.h"
#include "core/backup/runrequest.h"
#include "core/versions/keeper.h"
#include "platform/platform.h"
#include "support/core_support.h"
#include "support/job_fixture.h"

namespace {

namespace fs = std::filesystem;
using restore::RestoreRequest;
using restore::RestoreRun;
using restore::StateChoice;
using vktest::JobFixture;
using Answer = UserInterface::AllAnswer;

TDateTime Moment(int y, int mo, int d, int h, int mi = 0, int s = 0) {
  TDateTime date = 0;
  EXPECT_TRUE(TryEncodeDate(y, mo, d, date));
  return date + EncodeTime(h, mi, s, 0);
}

// Every file below `root`: relative path -> content and time.
std::map<std::string, std::pair<std::string, fs::file_time_type>> Tree(const std::string& root) {
  std::map<std::string, std::pair<std::string, fs::file_time_type>> out;
  if (!fs::exists(root)) return out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    out[fs::relative(e.path(), root).string()] = {vktest::ReadFile(e.path().string()),
                                                  e.last_write_time()};
  }
  return out;
}

// A job with the source folder <dir>/src/Daten and the target <dir>/ziel,
// backed up by real runs that keep what they replace and list what they
// add.
class RestoreTest : public ::testing::Test {
 protected:
  std::string Source() const { return dir_ / "src/Daten"; }
  std::string Target() const { return dir_ / "ziel"; }

  // A full backup run of the job that started at `moment`, keeping what
  // it replaces.
  void Backup(TDateTime moment) {
    RunRequest request;
    request.JobName = "Briefe";
    request.FullBackup = true;
    request.Rows = {{Source(), Target() + "/Daten"}};
    request.JobTarget = Target();
    request.Options.VersionDays = 0;
    CopyEngine engine;
    engine.Clock = [moment] { return moment; };
    BackupRun run(nullptr, request, engine);
    ASSERT_EQ(0, run.Run(nullptr, false).status);
    ASSERT_TRUE(engine.RunReport.empty()) << engine.RunReport.front();
  }

  RestoreRequest Request() const {
    RestoreRequest request;
    request.JobName = "Briefe";
    request.JobTarget = Target();
    request.Rows = {{Source(), Target() + "/Daten"}};
    return request;
  }

  RestoreRun::Result Restore(RestoreRequest request) {
    RestoreRun run(nullptr, std::move(request));
    run.Clock = [] { return Moment(2026, 2, 1, 9); };
    EXPECT_EQ(RestoreRun::Start::Go, run.Check());
    return run.Run(nullptr);
  }

  vktest::TempDir dir_;
  vktest::ScriptedUi ui_;
};

// Three runs: a.txt changes at each, c.txt comes with the second; the
// second run's state, the third's and the latest each come back whole.
TEST_F(RestoreTest, EachStateComesBackAsTheRunsLeftIt) {
  JobFixture::WriteFileAt(Source() + "/a.txt", "eins", 2025, 12, 1);
  JobFixture::WriteFileAt(Source() + "/sub/b.txt", "bb", 2025, 12, 1);
  fs::create_directories(Source() + "/leer");
  Backup(Moment(2026, 1, 1, 10));
  const auto afterFirst = Tree(Source());
  JobFixture::WriteFileAt(Source() + "/a.txt", "zwei", 2026, 1, 1, 12);
  JobFixture::WriteFileAt(Source() + "/c.txt", "neu", 2026, 1, 1, 12);
  Backup(Moment(2026, 1, 2, 10));
  const auto afterSecond = Tree(Source());
  JobFixture::WriteFileAt(Source() + "/a.txt", "drei!", 2026, 1, 2, 12);
  Backup(Moment(2026, 1, 3, 10));
  const auto latest = Tree(Source());
  // A folder a mirroring run moved away whole counts with its files.
  JobFixture::WriteFileAt(Target() + "/Daten/alt/x.txt", "x", 2025, 11, 1);
  versions::Keeper mirror(Target(), Moment(2026, 1, 4, 10));
  ASSERT_EQ(0, mirror.Keep(Target() + "/Daten/alt", "Daten/alt"));
  const auto target = Tree(Target());

  std::vector<versions::RunFolder> states;
  ASSERT_EQ(0, restore::ListStates(Target(), states));
  ASSERT_EQ(4u, states.size());
  EXPECT_EQ("2026-01-04 100000", states.front().name) << "newest first";

  auto withX = [](auto tree) {
    tree["alt/x.txt"] = {"x", fs::file_time_type()};
    return tree;
  };
  struct Case {
    std::string asOf;
    std::map<std::string, std::pair<std::string, fs::file_time_type>> want;
  } cases[] = {
      {"", latest},
      {"2026-01-02 10:00", withX(afterFirst)},
      {"2026-01-02 12:00", withX(afterSecond)},
      {"2026-01-03 100000", withX(afterSecond)},
      // Before the first run, which added everything: only what it had not.
      {"2026-01-01 09:59", withX(decltype(latest){})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asOf);
    const std::string to = dir_ / ("zurueck" + std::to_string(&c - cases));
    RestoreRequest request = Request();
    std::string failure;
    if (!c.asOf.empty()) {
      ASSERT_TRUE(restore::ParseStateText(c.asOf, request.State, failure));
    }
    request.ToFolder = to;
    const RestoreRun::Result result = Restore(request);
    EXPECT_TRUE(result.Clean()) << (result.errors.empty() ? "" : result.errors.front());
    auto got = Tree(to + "/Daten");
    ASSERT_EQ(c.want.size(), got.size());
    for (const auto& [path, file] : c.want) {
      EXPECT_EQ(file.first, got[path].first) << path;
      if (path != "alt/x.txt") {
        EXPECT_EQ(file.second, got[path].second) << path;
      }
    }
    EXPECT_EQ(static_cast<std::int64_t>(c.want.size()), result.restored);
    EXPECT_TRUE(fs::is_directory(to + "/Daten/leer")) << "an empty folder comes back too";
    EXPECT_TRUE(result.keptFolder.empty()) << "nothing replaced, nothing kept";
  }
  EXPECT_EQ(target, Tree(Target())) << "the target stays as it was";

  // The tree of a state and the versions of one file.
  restore::TargetState state;
  StateChoice before;
  std::string failure;
  ASSERT_TRUE(restore::ParseStateText("2026-01-02 10:00", before, failure));
  ASSERT_EQ(0, state.Load(Target(), {"Daten"}, before));
  std::vector<std::string> names;
  for (const auto& e : state.Children("Daten")) names.push_back(e.relative);
  EXPECT_EQ((std::vector<std::string>{"Daten/alt", "Daten/leer", "Daten/sub", "Daten/a.txt"}),
            names);
  EXPECT_EQ(nullptr, state.Find("Daten/c.txt")) << "added later: not part of it";
  EXPECT_EQ(2u, state.FilesBelow("Daten/sub").size() + state.FilesBelow("Daten/alt").size());
  std::vector<restore::PathVersion> found;
  ASSERT_EQ(0, restore::ListPathVersions(Target(), "Daten/a.txt", found));
  ASSERT_EQ(3u, found.size());
  EXPECT_EQ("", found[0].runFolder);
  EXPECT_EQ(5u, found[0].size);
  EXPECT_EQ("2026-01-03 100000", found[1].runFolder);
  EXPECT_EQ("2026-01-02 100000", found[2].runFolder);
}

// A newer file where the restore writes is replaced only after "Ja"; what
// a restore replaces is kept in the versions first.
TEST_F(RestoreTest, ANewerFileIsReplacedOnlyAfterJaAndIsKeptFirst) {
  struct Case {
    std::vector<Answer> answers;
    int asked;
    std::vector<bool> replaced;  // n1, n2, n3
  } cases[] = {
      {{Answer::Yes}, 3, {true, false, false}},
      {{Answer::No, Answer::Yes}, 3, {false, true, false}},
      {{Answer::YesAll}, 1, {true, true, true}},
      {{Answer::No, Answer::NoAll}, 2, {false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    fs::remove_all(dir_ / "src");
    fs::remove_all(Target());
    for (const char* n : {"n1", "n2", "n3", "alt", "gleich"})
      JobFixture::WriteFileAt(Source() + "/" + n, std::string("gesichert ") + n, 2026, 1, 1);
    Backup(Moment(2026, 1, 2, 10));
    for (const char* n : {"n1", "n2", "n3"})
      JobFixture::WriteFileAt(Source() + "/" + n, std::string("neuer ") + n, 2026, 1, 5);
    // Older than the backup's: replaced without a question.
    JobFixture::WriteFileAt(Source() + "/alt", "älter", 2025, 6, 1);

    std::map<std::string, fs::file_time_type> before;
    for (const char* n : {"n1", "n2", "n3"}) before[n] = fs::last_write_time(Source() + "/" + n);
    ui_.boxes.clear();
    ui_.allAnswers.assign(c.answers.begin(), c.answers.end());
    const RestoreRun::Result result = Restore(Request());
    int asked = 0;
    for (const auto& box : ui_.boxes) asked += box.kind == "ask-all";
    EXPECT_EQ(c.asked, asked);
    EXPECT_EQ(1, result.identical);
    std::size_t skipped = 0;
    for (int i = 0; i < 3; ++i) {
      const std::string n = "n" + std::to_string(i + 1);
      const std::string kept = result.keptFolder + "/Daten/" + n;
      EXPECT_EQ((c.replaced[i] ? "gesichert " : "neuer ") + n,
                vktest::ReadFile(Source() + "/" + n));
      EXPECT_EQ(c.replaced[i], vktest::Exists(kept)) << n;
      if (c.replaced[i]) {
        EXPECT_EQ("neuer " + n, vktest::ReadFile(kept));
        EXPECT_EQ(before[n], fs::last_write_time(kept)) << "kept with its time";
      }
      skipped += !c.replaced[i];
    }
    EXPECT_EQ(skipped, result.skippedNewer.size());
    EXPECT_EQ(skipped == 0, result.Clean());
    EXPECT_EQ("gesichert alt", vktest::ReadFile(Source() + "/alt"));
    EXPECT_EQ("älter", vktest::ReadFile(result.keptFolder + "/Daten/alt"));
    EXPECT_NE(std::string::npos, result.keptFolder.find(" Wiederherstellung"));
    // The restore's folder is never a state to choose.
    std::vector<versions::RunFolder> states;
    ASSERT_EQ(0, restore::ListStates(Target(), states));
    EXPECT_EQ(1u, states.size());
  }
}

// A dry run asks nothing and writes nothing, neither where it would
// restore nor in the target; it lists what it would do.
TEST_F(RestoreTest, ADryRunChangesNothing) {
  JobFixture::WriteFileAt(Source() + "/neu", "n", 2026, 1, 1);
  JobFixture::WriteFileAt(Source() + "/alt", "a", 2026, 1, 1);
  JobFixture::WriteFileAt(Source() + "/weg/fehlt", "f", 2026, 1, 1);
  Backup(Moment(2026, 1, 2, 10));
  JobFixture::WriteFileAt(Source() + "/neu", "n2", 2026, 1, 5);
  JobFixture::WriteFileAt(Source() + "/alt", "a0", 2025, 1, 5);
  fs::remove_all(Source() + "/weg");
  const auto source = Tree(dir_ / "src");
  const auto target = Tree(Target());
  RestoreRequest request = Request();
  request.DryRun = true;
  const RestoreRun::Result result = Restore(request);
  EXPECT_EQ(source, Tree(dir_ / "src"));
  EXPECT_EQ(target, Tree(Target()));
  EXPECT_FALSE(fs::exists(Source() + "/weg"));
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ((std::vector<std::string>{"Ersetzen: " + Source() + "/alt",
                                      "Neuer, nur nach Nachfrage ersetzt: " + Source() + "/neu",
                                      "Wiederherstellen: " + Source() + "/weg/fehlt"}),
            result.plan);
  EXPECT_EQ(2, result.restored);
}

// A drive that is not there: nothing is made on the disk below it.
TEST_F(RestoreTest, AMissingDriveIsNeverReplacedByTheSystemDisk) {
  JobFixture::WriteFileAt(Source() + "/a", "a", 2026, 1, 1);
  Backup(Moment(2026, 1, 2, 10));
  struct Case {
    std::string target, to;
    RestoreRun::Start start;
  } cases[] = {
      {dir_ / "stick/ziel", "", RestoreRun::Start::TargetMissing},
      {Target(), dir_ / "media/platte/zurueck", RestoreRun::Start::DestinationMissing},
      {Target(), Target() + "/VolKarn-Versionen/x", RestoreRun::Start::DestinationMissing},
      {Target(), dir_ / "zurueck", RestoreRun::Start::Go},
  };
  for (const Case& c : cases) {
    RestoreRequest request = Request();
    request.JobTarget = c.target;
    request.ToFolder = c.to;
    RestoreRun run(nullptr, request);
    EXPECT_EQ(c.start, run.Check()) << c.to;
    EXPECT_EQ(c.start == RestoreRun::Start::Go, run.StartFailure().empty()) << c.to;
  }
  EXPECT_FALSE(fs::exists(dir_ / "media"));
  EXPECT_FALSE(fs::exists(dir_ / "stick"));
  // A source folder on a drive that is gone: reported, not made.
  RestoreRequest request = Request();
  request.Rows = {{dir_ / "usb/Daten", Target() + "/Daten"}};
  const RestoreRun::Result result = Restore(request);
  EXPECT_FALSE(fs::exists(dir_ / "usb"));
  ASSERT_EQ(1u, result.errors.size());
  EXPECT_NE(std::string::npos, result.errors[0].find("Ist der Datenträger angeschlossen?"));
  // Under a parent that is there, the source folder is made again.
  fs::remove_all(Source());
  EXPECT_TRUE(Restore(Request()).Clean());
  EXPECT_EQ("a", vktest::ReadFile(Source() + "/a"));
}

TEST(RestorePaths, UserPathsMapToTheJobsSourceFolders) {
  RestoreRequest request;
  request.JobTarget = "/mnt/ziel";
  request.Rows = {{"/home/u/Briefe", "/mnt/ziel/Briefe"}, {"/srv/Fotos", "/mnt/ziel/Fotos"}};
  const std::pair<std::string, std::string> cases[] = {
      {"/home/u/Briefe/a.txt", "Briefe/a.txt"},
      {"/home/u/Briefe//2003/./b.doc", "Briefe/2003/b.doc"},
      {"/home/u/Briefe/", "Briefe"},
      {"Fotos/urlaub", "Fotos/urlaub"},
      {"/home/u/Briefe2/a", ""},
      {"/home/u/Briefe/../x", ""},
      {"Musik/a", ""},
  };
  for (const auto& [path, want] : cases)
    EXPECT_EQ(want, restore::RelativeOf(request, path).value_or("")) << path;
  EXPECT_EQ("/srv/Fotos/urlaub/1.jpg", restore::DestinationOf(request, "Fotos/urlaub/1.jpg"));
  request.ToFolder = "/tmp/zurueck";
  EXPECT_EQ("/tmp/zurueck/Fotos/urlaub/1.jpg",
            restore::DestinationOf(request, "Fotos/urlaub/1.jpg"));
  StateChoice choice;
  std::string failure;
  for (const char* bad : {"2026-1-02 10:00", "2026-02-30 10:00", "2026-01-02 24:00", "gestern",
                          "2026-01-02 153000 Wiederherstellung"})
    EXPECT_FALSE(restore::ParseStateText(bad, choice, failure)) << bad;
  EXPECT_NE(std::string::npos, failure.find("JJJJ-MM-TT hh:mm"));
}

}  // namespace
