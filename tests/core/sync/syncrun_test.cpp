#include "core/sync/syncrun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <random>

#include "core/sync/syncstate.h"
#include "core/versions/keeper.h"
#include "core/versions/prune.h"
#include "core/versions/versions.h"
#include "platform/platform.h"
#include "support/core_support.h"

namespace {

namespace fs = std::filesystem;

constexpr std::time_t kBase = 1700000000;  // the time of every file of the first run

void SetTime(const std::string& path, std::time_t t) {
  const auto now = fs::file_time_type::clock::now();
  const auto sys = std::chrono::system_clock::now();
  fs::last_write_time(path, now + (std::chrono::system_clock::from_time_t(t) - sys));
}

// What a tree holds: path -> "F:<content>", "D" or "L:<target>"; the
// versions folder left out (`versions`: only it).
std::map<std::string, std::string> Tree(const std::string& root, bool versions = false) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(root)) return tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    const bool inVersions = rel.rfind(versions::kHiddenFolderName, 0) == 0;
    if (inVersions != versions) continue;
    if (it->is_symlink())
      tree[rel] = "L:" + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      tree[rel] = "D";
    else if (it->is_regular_file())
      tree[rel] = "F:" + vktest::ReadFile(it->path().string());
    else
      tree[rel] = "S";  // a fifo is never opened
  }
  return tree;
}

// The contents of the files kept in a side's versions.
std::vector<std::string> Kept(const std::string& root) {
  std::vector<std::string> kept;
  for (const auto& [path, what] : Tree(root, true))
    if (what.rfind("F:", 0) == 0) kept.push_back(what.substr(2));
  return kept;
}

bool Holds(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

class SyncRunTest : public ::testing::Test {
 public:
  void SetUp() override {
    def_.name = "B\xC3\xBCro";
    def_.first = dir_ / "eins";
    def_.second = dir_ / "zwei";
    fs::create_directories(dir_ / "daten");
  }
  void TearDown() override { platform::SetFaultHook(nullptr); }

  std::string A(const std::string& rel = "") const { return dir_ / ("eins/" + rel); }
  std::string B(const std::string& rel = "") const { return dir_ / ("zwei/" + rel); }
  void Put(const std::string& path, const std::string& bytes, std::time_t t) {
    vktest::WriteFile(path, bytes);
    SetTime(path, t);
  }
  // The trees of the first run: the same files on both sides.
  void Base() {
    for (const std::string& root : {A(), B()}) {
      Put(root + "a.txt", "a", kBase);
      Put(root + "d.txt", "d", kBase);
      Put(root + "sub/b.txt", "b", kBase);
      Put(root + "sub/deep/c.txt", "c", kBase);
    }
  }
  SyncRun::Result Sync(SyncObserver* observer = nullptr, bool dryRun = false) {
    SyncRun run(def_, dir_ / "daten/");
    run.SetMassRemoval(versions::MassRemoval::Refuse);
    run.SetMissingFolder(MissingTarget::CreateLastFolderOnly);
    run.DryRun = dryRun;
    return run.Run(observer);
  }
  // A second run changes nothing: no step, no error, the same trees.
  void ExpectSettled(const std::string& label) {
    const auto a = Tree(A()), b = Tree(B()), va = Tree(A(), true), vb = Tree(B(), true);
    const SyncRun::Result again = Sync();
    EXPECT_TRUE(again.ran) << label;
    EXPECT_EQ(0, again.counts.toFirst + again.counts.toSecond + again.counts.removedFirst +
                     again.counts.removedSecond)
        << label;
    EXPECT_TRUE(again.errors.empty())
        << label << ": " << (again.errors.empty() ? "" : again.errors[0]);
    EXPECT_EQ(a, Tree(A())) << label;
    EXPECT_EQ(b, Tree(B())) << label;
    EXPECT_EQ(va, Tree(A(), true)) << label;
    EXPECT_EQ(vb, Tree(B(), true)) << label;
  }

  vktest::TempDir dir_;
  vktest::ScriptedUi ui_;
  SyncDefinition def_;
};

// The cases of a two-way run on real trees. Each starts from two equal
// trees that a first run has seen, changes them, runs and checks both
// sides and the versions; a second run must then change nothing.
TEST_F(SyncRunTest, EveryCaseEndsWithBothSidesEqualAndLosesNothing) {
  struct Case {
    const char* name;
    std::function<void(SyncRunTest&)> change;
    // Files expected on both sides afterwards (path -> content; "" absent).
    std::map<std::string, std::string> both;
    // Contents expected in the versions of side 0 / side 1.
    std::vector<std::string> keptA, keptB;
    int conflicts = 0;
  };
  const Case cases[] = {
      {"neu in 1",
       [](SyncRunTest& t) { t.Put(t.A("neu/n.txt"), "n", kBase + 50); },
       {{"neu/n.txt", "n"}},
       {},
       {}},
      {"neu in 2",
       [](SyncRunTest& t) { t.Put(t.B("n.txt"), "n", kBase + 50); },
       {{"n.txt", "n"}},
       {},
       {}},
      {"geändert in 1",
       [](SyncRunTest& t) { t.Put(t.A("sub/b.txt"), "b2", kBase + 100); },
       {{"sub/b.txt", "b2"}},
       {},
       {"b"}},
      {"geändert in 2",
       [](SyncRunTest& t) { t.Put(t.B("a.txt"), "a2", kBase + 100); },
       {{"a.txt", "a2"}},
       {"a"},
       {}},
      {"in beiden geändert",
       [](SyncRunTest& t) {
         t.Put(t.A("a.txt"), "A-neu", kBase + 100);
         t.Put(t.B("a.txt"), "B-neuer", kBase + 200);
       },
       {{"a.txt", "B-neuer"}},
       {"A-neu"},
       {},
       1},
      {"entfernt in 1",
       [](SyncRunTest& t) { fs::remove(t.A("d.txt")); },
       {{"d.txt", ""}},
       {},
       {"d"}},
      {"entfernt in 2",
       [](SyncRunTest& t) { fs::remove_all(t.B("sub")); },
       {{"sub/b.txt", ""}, {"sub/deep/c.txt", ""}},
       {"b", "c"},
       {}},
      {"entfernt in 1, geändert in 2",
       [](SyncRunTest& t) {
         fs::remove_all(t.A("sub"));
         t.Put(t.B("sub/deep/c.txt"), "c2", kBase + 100);
       },
       {{"sub/deep/c.txt", "c2"}, {"sub/b.txt", ""}},
       {},
       {"b"}},
      {"Ordner durch Datei ersetzt",
       [](SyncRunTest& t) {
         fs::remove_all(t.A("sub"));
         t.Put(t.A("sub"), "jetzt eine Datei", kBase + 100);
       },
       {{"sub", "jetzt eine Datei"}},
       {},
       {"b", "c"}},
      {"Zeiten 2 Sekunden auseinander",
       [](SyncRunTest& t) { t.Put(t.A("a.txt"), "x", kBase + 2); },
       {},
       {},
       {}},
      {"eine Stunde verschoben",
       [](SyncRunTest& t) { SetTime(t.B("a.txt"), kBase + 3600); },
       {{"a.txt", "a"}},
       {},
       {}},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir_ / "eins");
    fs::remove_all(dir_ / "zwei");
    fs::remove_all(dir_ / "daten");
    fs::create_directories(dir_ / "daten");
    Base();
    const SyncRun::Result first = Sync();
    ASSERT_TRUE(first.Clean()) << c.name << ": " << first.failure;
    ASSERT_TRUE(first.stateWritten) << c.name;
    c.change(*this);
    const auto before = Tree(A());
    const SyncRun::Result result = Sync();
    EXPECT_TRUE(result.Clean()) << c.name << ": "
                                << (result.errors.empty() ? result.failure : result.errors[0]);
    EXPECT_EQ(c.conflicts, static_cast<int>(result.conflicts.size())) << c.name;
    for (const auto& [path, content] : c.both) {
      EXPECT_EQ(content.empty(), !fs::exists(A(path))) << c.name << ": 1/" << path;
      EXPECT_EQ(content.empty(), !fs::exists(B(path))) << c.name << ": 2/" << path;
      if (!content.empty()) {
        EXPECT_EQ(content, vktest::ReadFile(A(path))) << c.name << ": 1/" << path;
        EXPECT_EQ(content, vktest::ReadFile(B(path))) << c.name << ": 2/" << path;
      }
    }
    if (std::string(c.name) == "Zeiten 2 Sekunden auseinander") {
      EXPECT_EQ("a", vktest::ReadFile(B("a.txt"))) << "equal for the run: nothing copied";
      EXPECT_EQ(before, Tree(A()));
    }
    EXPECT_EQ(c.keptA.size(), Kept(A()).size()) << c.name;
    EXPECT_EQ(c.keptB.size(), Kept(B()).size()) << c.name;
    for (const std::string& kept : c.keptA) EXPECT_TRUE(Holds(Kept(A()), kept)) << c.name << kept;
    for (const std::string& kept : c.keptB) EXPECT_TRUE(Holds(Kept(B()), kept)) << c.name << kept;
    const std::string report = vktest::ReadFile(dir_ / "daten/B\xC3\xBCro.slg");
    EXPECT_EQ(0u, report.rfind("Synchronisation \"B\xFCro\" am ", 0)) << c.name;
    EXPECT_NE(std::string::npos, report.find(" Uhr.\r\n")) << c.name;
    if (c.conflicts > 0) {
      EXPECT_NE(std::string::npos, report.find("Konflikt: a.txt")) << c.name;
    }
    ExpectSettled(c.name);
  }
}

// The first run of a definition removes nothing and copies each way; a
// link stays a link, a fifo is never opened.
TEST_F(SyncRunTest, TheFirstRunCopiesBothWaysAndRemovesNothing) {
  Put(A("nur1/x.txt"), "x", kBase);
  Put(B("nur2.txt"), "y", kBase);
  Put(A("beide.txt"), "alt", kBase);
  Put(B("beide.txt"), "neu", kBase + 10);
  fs::create_symlink("nur1/x.txt", A("verweis"));
  ASSERT_EQ(0, mkfifo(B("fifo").c_str(), 0600));
  const SyncRun::Result result = Sync();
  ASSERT_TRUE(result.Clean()) << (result.errors.empty() ? result.failure : result.errors[0]);
  EXPECT_EQ("x", vktest::ReadFile(B("nur1/x.txt")));
  EXPECT_EQ("y", vktest::ReadFile(A("nur2.txt")));
  EXPECT_EQ("neu", vktest::ReadFile(A("beide.txt")));
  EXPECT_EQ(Holds(Kept(A()), "alt"), true);
  EXPECT_TRUE(fs::is_symlink(B("verweis")));
  EXPECT_EQ("nur1/x.txt", fs::read_symlink(B("verweis")).string());
  EXPECT_FALSE(fs::exists(A("fifo")));
  EXPECT_EQ(0, result.counts.removedFirst + result.counts.removedSecond);
  ExpectSettled("erster Lauf");
}

// Guards: a missing, empty or unreadable side, or a mass removal, stop the
// run before anything is changed.
TEST_F(SyncRunTest, GuardsStopTheRunBeforeAnythingChanges) {
  Base();
  ASSERT_TRUE(Sync().Clean());
  const std::string state = vktest::ReadFile(dir_ / "daten/B\xC3\xBCro.sst");

  // The stick is not plugged in: its folder is missing.
  fs::rename(B(), dir_ / "weg");
  fs::remove(dir_ / "daten/B\xC3\xBCro.slg");
  Put(A("neu.txt"), "n", kBase + 10);
  SyncRun::Result result = Sync();
  EXPECT_TRUE(result.refused);
  EXPECT_TRUE(result.sideMissing);
  EXPECT_NE(std::string::npos, result.failure.find("Ist der Datenträger angeschlossen?"));
  EXPECT_FALSE(fs::exists(dir_ / "daten/B\xC3\xBCro.slg")) << "no report of a run that did not run";
  EXPECT_FALSE(fs::exists(B())) << "never made in place of a missing drive";
  EXPECT_TRUE(fs::exists(A("a.txt")));

  // An empty folder where the files were (an empty stick mounted there).
  fs::create_directories(B());
  result = Sync();
  EXPECT_TRUE(result.sideMissing);
  EXPECT_NE(std::string::npos, result.failure.find("ist leer"));
  EXPECT_TRUE(fs::exists(A("a.txt")));
  EXPECT_EQ(state, vktest::ReadFile(dir_ / "daten/B\xC3\xBCro.sst"));
  fs::remove(B());
  fs::rename(dir_ / "weg", B());
  fs::remove(A("neu.txt"));

  // An unreadable side.
  platform::SetFaultHook([this](const std::string& op, const std::string& path) {
    return op == "list-dir" && path.rfind(dir_ / "zwei", 0) == 0 ? EIO : 0;
  });
  result = Sync();
  platform::SetFaultHook(nullptr);
  EXPECT_TRUE(result.refused);
  EXPECT_TRUE(result.sideMissing) << "exit code 6 on the command line";
  EXPECT_NE(std::string::npos, result.failure.find("konnte nicht gelesen werden"));

  // More than half of the files of a side would go: refused without a
  // question, asked in the window ("Nein" is the default).
  for (int i = 0; i < 12; ++i) Put(A("viel/" + std::to_string(i)), "v", kBase);
  ASSERT_TRUE(Sync().Clean());
  fs::remove_all(A("viel"));
  result = Sync();
  EXPECT_TRUE(result.massRemoval);
  EXPECT_EQ(12u, Tree(B("viel")).size()) << "nothing was removed";
  {
    SyncRun asked(def_, dir_ / "daten/");
    result = asked.Run(nullptr);
    EXPECT_TRUE(result.massRemoval);
    ASSERT_FALSE(ui_.boxes.empty());
    EXPECT_EQ("ask-no", ui_.boxes.back().kind);
    EXPECT_NE(std::string::npos, ui_.boxes.back().text.find("12 von 16 Dateien"));
    ui_.answers.push_back(true);
    result = asked.Run(nullptr);
    EXPECT_TRUE(result.Clean());
    EXPECT_FALSE(fs::exists(B("viel")));
    EXPECT_EQ(12u, Kept(B()).size());
  }

  // A pair whose folders lie in one another is never run.
  def_.second = A("sub");
  result = Sync();
  EXPECT_TRUE(result.refused);
  EXPECT_NE(std::string::npos, result.failure.find("liegen ineinander"));
}

// A dry run tells what would be done and changes nothing anywhere.
TEST_F(SyncRunTest, ADryRunChangesNothing) {
  Base();
  ASSERT_TRUE(Sync().Clean());
  const std::string state = vktest::ReadFile(dir_ / "daten/B\xC3\xBCro.sst");
  fs::remove(dir_ / "daten/B\xC3\xBCro.slg");
  Put(A("neu.txt"), "n", kBase + 10);
  fs::remove(B("d.txt"));
  const auto a = Tree(A()), b = Tree(B());
  const SyncRun::Result result = Sync(nullptr, true);
  EXPECT_TRUE(result.ran);
  EXPECT_EQ(a, Tree(A()));
  EXPECT_EQ(b, Tree(B()));
  EXPECT_TRUE(Tree(A(), true).empty());
  EXPECT_EQ(state, vktest::ReadFile(dir_ / "daten/B\xC3\xBCro.sst"));
  EXPECT_FALSE(fs::exists(dir_ / "daten/B\xC3\xBCro.slg"));
  EXPECT_TRUE(Holds(result.plan, "1 -> 2: neu.txt"));
  EXPECT_TRUE(Holds(result.plan, "In die Versionen: " + A("d.txt")));
  EXPECT_EQ(1, result.counts.toSecond);
  EXPECT_EQ(1, result.counts.removedFirst);
}

// Cancelled at a step: what is done stays, the state stays the old one,
// and the next full run finishes without losing anything.
TEST_F(SyncRunTest, ACancelledRunIsFinishedByTheNextOne) {
  Base();
  ASSERT_TRUE(Sync().Clean());
  const std::string state = vktest::ReadFile(dir_ / "daten/B\xC3\xBCro.sst");
  for (int i = 0; i < 8; ++i) Put(A("neu/" + std::to_string(i)), "n", kBase + 10);
  fs::remove(B("a.txt"));
  struct Canceller : SyncObserver {
    SyncRun* run = nullptr;
    int copies = 0;
    void SetCurrentFile(const std::string& text) override {
      if (text.rfind("Kopiere ", 0) == 0 && ++copies == 3) run->Cancel();
    }
  } canceller;
  SyncRun run(def_, dir_ / "daten/");
  canceller.run = &run;
  const SyncRun::Result cut = run.Run(&canceller);
  EXPECT_TRUE(cut.cancelled);
  EXPECT_FALSE(cut.stateWritten);
  EXPECT_EQ(state, vktest::ReadFile(dir_ / "daten/B\xC3\xBCro.sst"));
  EXPECT_LT(Tree(B("neu")).size(), 8u);
  EXPECT_NE(std::string::npos,
            vktest::ReadFile(dir_ / "daten/B\xC3\xBCro.slg")
                .find("Die Synchronisation wurde durch den Benutzer abgebrochen."));
  const SyncRun::Result full = Sync();
  EXPECT_TRUE(full.Clean());
  EXPECT_EQ(8u, Tree(B("neu")).size());
  EXPECT_FALSE(fs::exists(A("a.txt")));
  EXPECT_TRUE(Holds(Kept(A()), "a"));
  ExpectSettled("nach dem Abbruch");
}

// On a side that does not tell letter case apart, a name that would land
// on another is never copied there; a rename in letter case only is
// taken over.
TEST_F(SyncRunTest, NamesThatDifferInLetterCaseOnlyNeverLandOnOneAnother) {
  Put(A("Brief.txt"), "gross", kBase);
  Put(B("brief.txt"), "klein", kBase);
  platform::SetFaultHook([this](const std::string& op, const std::string& path) {
    return op == "case-probe" && path.rfind(dir_ / "zwei", 0) == 0 ? 1 : 0;
  });
  SyncRun::Result result = Sync();
  platform::SetFaultHook(nullptr);
  ASSERT_EQ(1u, result.errors.size());
  EXPECT_NE(std::string::npos, result.errors[0].find("unterscheidet den Namen nicht"));
  EXPECT_EQ("klein", vktest::ReadFile(B("brief.txt")));
  EXPECT_FALSE(fs::exists(B("Brief.txt")));
  EXPECT_EQ("klein", vktest::ReadFile(A("brief.txt")));
  EXPECT_EQ("gross", vktest::ReadFile(A("Brief.txt")));

  // A rename in letter case only on side 2 reaches side 1.
  fs::remove_all(A());
  fs::remove_all(B());
  fs::remove(dir_ / "daten/B\xC3\xBCro.sst");
  Put(A("Foto.jpg"), "f", kBase);
  Put(B("Foto.jpg"), "f", kBase);
  ASSERT_TRUE(Sync().Clean());
  fs::rename(B("Foto.jpg"), B("foto.jpg"));
  result = Sync();
  EXPECT_TRUE(result.Clean());
  EXPECT_EQ("f", vktest::ReadFile(A("foto.jpg")));
  EXPECT_FALSE(fs::exists(A("Foto.jpg")));
  EXPECT_TRUE(Holds(Kept(A()), "f"));
}

// The versions of a synchronised folder: a hidden folder of the same
// layout, pruned like the backup's; the backup's stays as it was.
TEST(SyncVersionsTest, KeeperAndPruningUseTheHiddenFolder) {
  vktest::TempDir dir;
  const std::string root = dir / "Ordner";
  vktest::WriteFile(root + "/a.txt", "a");
  TDateTime start = 0;
  ASSERT_TRUE(TryEncodeDate(2026, 5, 4, start));
  start += EncodeTime(10, 0, 0, 0);
  versions::Keeper keeper(root, start, false, versions::kHiddenFolderName);
  ASSERT_EQ(0, keeper.Keep(root + "/a.txt", "a.txt"));
  EXPECT_EQ(root + "/.VolKarn-Versionen/2026-05-04 100000", keeper.RunFolderPath());
  EXPECT_EQ("a", vktest::ReadFile(keeper.RunFolderPath() + "/a.txt"));
  EXPECT_FALSE(fs::exists(versions::RootOf(root)));
  versions::Keeper backup(root, start);
  vktest::WriteFile(root + "/b.txt", "b");
  ASSERT_EQ(0, backup.Keep(root + "/b.txt", "b.txt"));
  EXPECT_EQ(root + "/VolKarn-Versionen/2026-05-04 100000", backup.RunFolderPath());

  versions::Keeper later(root, start + 100, false, versions::kHiddenFolderName);
  vktest::WriteFile(root + "/c.txt", "c");
  ASSERT_EQ(0, later.Keep(root + "/c.txt", "c.txt"));
  const auto lines =
      versions::PruneRunFolders(root, start + 100 + 1, 90, versions::kHiddenFolderName);
  ASSERT_EQ(1u, lines.size());
  EXPECT_FALSE(fs::exists(keeper.RunFolderPath()));
  EXPECT_TRUE(fs::exists(later.RunFolderPath()));
  EXPECT_TRUE(fs::exists(backup.RunFolderPath())) << "the backup's versions are another folder";
}

// --------------------------------------------------- compared with unison --

bool HaveUnison() { return std::system("command -v unison >/dev/null 2>&1") == 0; }

// Random trees and random changes on both sides that never touch the same
// name on both: VolKarn and unison must leave the same two trees.
TEST_F(SyncRunTest, LeavesTheSameTreesAsUnison) {
  if (!HaveUnison()) GTEST_SKIP() << "unison is not installed";
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const std::string home = dir_ / "home";
  fs::create_directories(home);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
    // Two copies of one random tree: VolKarn's pair and unison's pair.
    for (const char* d : {"eins", "zwei", "u1", "u2", "daten", "home/.unison"})
      fs::remove_all(dir_ / d);
    fs::create_directories(dir_ / "daten");
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) {
      std::string path;
      const int depth = pick(3);
      for (int k = 0; k < depth; ++k) path += "o" + std::to_string(pick(4)) + "/";
      path += "f" + std::to_string(i);
      files.push_back(path);
      for (const char* side : {"eins/", "zwei/", "u1/", "u2/"})
        Put(dir_ / (side + path), "inhalt " + path, kBase);
    }
    const std::string unison = "HOME=" + home + " unison -batch -silent -times -perms 0 " +
                               "-ignore 'Name .VolKarn-Versionen' " + dir_ / "u1" + " " +
                               dir_ / "u2" + " >/dev/null 2>&1";
    ASSERT_TRUE(Sync().Clean());
    ASSERT_EQ(0, std::system(unison.c_str()));
    // Each file changed, removed or left on one side at most; new files.
    std::time_t t = kBase + 100;
    for (const std::string& path : files) {
      const int what = pick(6);
      const char* side = pick(2) == 0 ? "eins/" : "zwei/";
      const char* twin = side[0] == 'e' ? "u1/" : "u2/";
      if (what == 0) {
        fs::remove(dir_ / (side + path));
        fs::remove(dir_ / (twin + path));
      } else if (what == 1) {
        const std::string bytes = "neu " + std::to_string(pick(1000)) + " " + path;
        Put(dir_ / (side + path), bytes, t);
        Put(dir_ / (twin + path), bytes, t);
        t += 5;
      }
    }
    for (int i = 0; i < 6; ++i) {
      const bool first = pick(2) == 0;
      const std::string path = "neu" + std::to_string(i) + "/g" + std::to_string(pick(100));
      for (const char* side : first ? std::vector<const char*>{"eins/", "u1/"}
                                    : std::vector<const char*>{"zwei/", "u2/"})
        Put(dir_ / (side + path), "neu " + path, t);
    }
    const SyncRun::Result result = Sync();
    ASSERT_TRUE(result.Clean()) << (result.errors.empty() ? result.failure : result.errors[0]);
    ASSERT_EQ(0, std::system(unison.c_str()));
    EXPECT_EQ(Tree(dir_ / "u1"), Tree(A()));
    EXPECT_EQ(Tree(dir_ / "u2"), Tree(B()));
    EXPECT_EQ(Tree(A()), Tree(B()));
  }
}

}  // namespace
