// Mirroring on real trees: what the source no longer has goes from the
// target into the run's versions folder, with its content, and the guards
// keep a target whole when the source looks wrong.
#include "core/versions/mirror.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/versions/keeper.h"
#include "platform/platform.h"
#include "support/core_support.h"

namespace fs = std::filesystem;

namespace {

class MirrorTest : public ::testing::Test {
 protected:
  ~MirrorTest() override { platform::SetFaultHook(nullptr); }

  // Files of the source and (older copies) of the target root "Daten".
  void Both(const std::string& relative, const std::string& content = "x") {
    vktest::WriteFile(src + "/" + relative, content);
    vktest::WriteFile(dst + "/" + relative, content);
  }
  void TargetOnly(const std::string& relative, const std::string& content = "alt") {
    vktest::WriteFile(dst + "/" + relative, content);
  }

  versions::MirrorOutcome Mirror(versions::MassRemoval policy = versions::MassRemoval::Ask,
                                 std::vector<versions::MirrorRow> rows = {}) {
    if (rows.empty()) rows = {{src, dst}};
    return versions::MirrorRows(rows, ExclusionRule(".BAK\r\n", "NOTIZ.TXT\r\n"), keeper, policy);
  }
  // The path in the run's versions folder of an entry of "Daten".
  std::string Kept(const std::string& relative) const {
    return keeper.RunFolderPath() + "/Daten/" + relative;
  }

  vktest::TempDir tmp;
  vktest::ScriptedUi ui;
  const std::string src = tmp / "quelle/Daten";
  const std::string job = tmp / "ziel";
  const std::string dst = job + "/Daten";
  versions::Keeper keeper{job, 46000.5};
};

TEST_F(MirrorTest, WhatTheSourceNoLongerHasMovesWithItsContentAndTheRestStays) {
  Both("bleibt.txt");
  Both("ordner/innen.txt");
  TargetOnly("weg.txt", "weg");
  TargetOnly("altordner/a.txt", "a");
  TargetOnly("altordner/tief/b.txt", "b");
  fs::create_directories(dst + "/leer");
  fs::create_symlink("/nirgendwo", dst + "/verweis");
  vktest::WriteFile(tmp / "ziel-des-verweises/datei", "bleibt");
  fs::create_symlink(tmp / "ziel-des-verweises", dst + "/ordnerverweis");
  // Names the job leaves out, and what a copy cut short left.
  TargetOnly("alt.bak");
  TargetOnly("ordner/notiz.txt");
  TargetOnly(".weg.txt.vktmp-Ab12Cd");
  // A folder gone from the source that holds a name left out: it stays
  // with that name, its other files go.
  TargetOnly("gemischt/sicher.bak");
  TargetOnly("gemischt/geht.txt", "g");

  const versions::MirrorOutcome outcome = Mirror();
  EXPECT_TRUE(outcome.errors.empty()) << ::testing::PrintToString(outcome.errors);
  EXPECT_TRUE(outcome.notes.empty()) << ::testing::PrintToString(outcome.notes);
  EXPECT_TRUE(ui.boxes.empty());

  EXPECT_EQ("weg", vktest::ReadFile(Kept("weg.txt")));
  EXPECT_EQ("a", vktest::ReadFile(Kept("altordner/a.txt")));
  EXPECT_EQ("b", vktest::ReadFile(Kept("altordner/tief/b.txt")));
  EXPECT_EQ("g", vktest::ReadFile(Kept("gemischt/geht.txt")));
  EXPECT_TRUE(fs::is_directory(Kept("leer")));
  EXPECT_TRUE(fs::is_symlink(Kept("verweis")));
  EXPECT_EQ("/nirgendwo", fs::read_symlink(Kept("verweis")).string());
  EXPECT_TRUE(fs::is_symlink(Kept("ordnerverweis")));
  EXPECT_EQ("bleibt", vktest::ReadFile(tmp / "ziel-des-verweises/datei"));
  EXPECT_EQ(6, keeper.Kept());
  for (const char* gone :
       {"weg.txt", "altordner", "leer", "verweis", "ordnerverweis", "gemischt/geht.txt"})
    EXPECT_FALSE(fs::exists(fs::symlink_status(dst + "/" + gone))) << gone;
  for (const char* stays : {"bleibt.txt", "ordner/innen.txt", "alt.bak", "ordner/notiz.txt",
                            ".weg.txt.vktmp-Ab12Cd", "gemischt/sicher.bak"})
    EXPECT_TRUE(vktest::Exists(dst + "/" + stays)) << stays;
}

// A source that cannot be trusted removes nothing: a missing or empty
// source root (a drive not mounted) with one line, a source folder that
// cannot be listed to its end without one (the copy reports it).
TEST_F(MirrorTest, ASourceThatLooksWrongRemovesNothing) {
  struct Case {
    const char* what;
    std::function<void()> make;
    const char* operation;  // a fault of the source's listing, or null
    std::string note;
  };
  const std::vector<Case> cases = {
      {"missing source root", [&] { fs::remove_all(src); }, nullptr,
       "Das Startverzeichnis " + src + " existiert nicht: Aus " + dst +
           " wurde nichts in die Versionen verschoben."},
      {"empty source root", [&] { fs::remove_all(src + "/unter"); }, nullptr,
       "Das Startverzeichnis " + src + " ist leer: Aus " + dst +
           " wurde nichts in die Versionen verschoben."},
      {"unreadable source root", [] {}, "list-dir",
       "Das Startverzeichnis " + src + " konnte nicht gelesen werden: Aus " + dst +
           " wurde nichts in die Versionen verschoben."},
      {"source sub-folder without access", [] {}, "list-dir", ""},
      {"source sub-folder with a read error", [] {}, "read-dir", ""},
  };
  for (const Case& c : cases) {
    fs::remove_all(tmp / "quelle");
    fs::remove_all(job);
    vktest::WriteFile(src + "/unter/da.txt", "da");
    TargetOnly("unter/weg.txt", "weg");
    TargetOnly("unter/weg/tief.txt", "weg");
    c.make();
    const bool root = c.note.find("gelesen") != std::string::npos;
    const std::string failing = root ? src : src + "/unter";
    const std::string operation = c.operation != nullptr ? c.operation : "";
    platform::SetFaultHook([&](const std::string& op, const std::string& path) {
      return op == operation && fs::path(path + "/").lexically_normal() ==
                                    fs::path(failing + "/").lexically_normal()
                 ? EACCES
                 : 0;
    });
    const versions::MirrorOutcome outcome = Mirror();
    platform::SetFaultHook(nullptr);
    EXPECT_EQ(c.note.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.note},
              outcome.notes)
        << c.what;
    EXPECT_TRUE(outcome.errors.empty()) << c.what;
    EXPECT_EQ("weg", vktest::ReadFile(dst + "/unter/weg.txt")) << c.what;
    EXPECT_EQ("weg", vktest::ReadFile(dst + "/unter/weg/tief.txt")) << c.what;
    EXPECT_EQ(0, keeper.Kept()) << c.what;
  }
}

// More than half of the target's files and at least 10: the window asks
// (default "Nein"), the command line moves nothing and says so.
TEST_F(MirrorTest, AMassRemovalIsAskedOrRefused) {
  struct Case {
    int kept, gone;
    versions::MassRemoval policy;
    std::vector<bool> answers;
    bool asked, moved;
  };
  using versions::MassRemoval;
  const std::vector<Case> cases = {
      {2, 10, MassRemoval::Ask, {false}, true, false},
      {2, 10, MassRemoval::Ask, {true}, true, true},
      {2, 10, MassRemoval::Refuse, {}, false, false},
      {10, 10, MassRemoval::Refuse, {}, false, true},  // half: no question
      {0, 9, MassRemoval::Refuse, {}, false, true},    // fewer than 10
  };
  for (const Case& c : cases) {
    const std::string what = std::to_string(c.gone) + " of " + std::to_string(c.kept + c.gone) +
                             (c.policy == MassRemoval::Ask ? " asked" : " refused");
    fs::remove_all(tmp / "quelle");
    fs::remove_all(job);
    fs::create_directories(src);
    vktest::WriteFile(src + "/neu.txt", "n");  // never empty
    for (int i = 0; i < c.kept; ++i) Both("k" + std::to_string(i));
    for (int i = 0; i < c.gone; ++i) TargetOnly("alt/g" + std::to_string(i));
    versions::Keeper own(job, 46000.5);
    ui.boxes.clear();
    ui.answers.assign(c.answers.begin(), c.answers.end());
    const versions::MirrorOutcome outcome =
        versions::MirrorRows({{src, dst}}, ExclusionRule(), own, c.policy);
    ASSERT_EQ(c.asked ? 1u : 0u, ui.boxes.size()) << what;
    if (c.asked) {
      EXPECT_EQ(versions::MassRemovalQuestion(dst, c.gone, c.kept + c.gone), ui.boxes[0].text);
    }
    EXPECT_EQ(c.moved, !vktest::Exists(dst + "/alt/g0")) << what;
    EXPECT_EQ(c.moved ? 1 : 0, own.Kept()) << what;
    EXPECT_EQ(!c.moved && c.policy == MassRemoval::Refuse, outcome.refused) << what;
    const std::vector<std::string> line{versions::MassRemovalLine(dst, c.gone, c.kept + c.gone)};
    EXPECT_EQ(c.moved ? std::vector<std::string>{} : line, outcome.notes) << what;
  }
}

// A target that does not tell names apart by letter case keeps "A.txt"
// when the source has "a.txt"; one that does moves it.
TEST_F(MirrorTest, LetterCaseCountsOnlyWhereTheTargetTellsItApart) {
  for (bool ignoresCase : {true, false}) {
    fs::remove_all(tmp / "quelle");
    fs::remove_all(job);
    vktest::WriteFile(src + "/a.txt", "neu");
    vktest::WriteFile(src + "/Ordner/ä.txt", "neu");
    TargetOnly("A.txt");
    TargetOnly("ORDNER/Ä.txt");
    TargetOnly("B.txt");
    platform::SetFaultHook([ignoresCase](const std::string& op, const std::string&) {
      return op == "case-probe" && ignoresCase ? 1 : 0;
    });
    versions::Keeper own(job, 46000.5 + (ignoresCase ? 0 : 1));
    versions::MirrorRows({{src, dst}}, ExclusionRule(), own, versions::MassRemoval::Refuse);
    platform::SetFaultHook(nullptr);
    EXPECT_EQ(ignoresCase, vktest::Exists(dst + "/A.txt")) << ignoresCase;
    EXPECT_EQ(ignoresCase, vktest::Exists(dst + "/ORDNER/Ä.txt")) << ignoresCase;
    EXPECT_FALSE(vktest::Exists(dst + "/B.txt")) << ignoresCase;
    EXPECT_EQ(ignoresCase ? 1 : 3, own.Kept()) << ignoresCase;
  }
}

// Two source roots with the same last name share their target root: a
// name either one has stays. A root source mirrors into the job's target
// folder itself: the versions folder and the other rows' targets stay.
TEST_F(MirrorTest, SharedTargetRootsTheVersionsFolderAndOtherRowsStay) {
  const std::string other = tmp / "zweite/Daten";
  vktest::WriteFile(src + "/eins.txt", "1");
  vktest::WriteFile(other + "/zwei.txt", "2");
  TargetOnly("eins.txt");
  TargetOnly("zwei.txt");
  TargetOnly("keins.txt");
  // The row of a source root with an empty last name: its target root is
  // the job's target folder.
  const std::string whole = tmp / "ganz";
  vktest::WriteFile(whole + "/da.txt", "d");
  vktest::WriteFile(job + "/da.txt", "d");
  vktest::WriteFile(job + "/fort.txt", "f");

  const versions::MirrorOutcome outcome =
      Mirror(versions::MassRemoval::Refuse, {{src, dst}, {other, dst}, {whole, job}});
  EXPECT_TRUE(outcome.errors.empty()) << ::testing::PrintToString(outcome.errors);
  EXPECT_TRUE(outcome.notes.empty()) << ::testing::PrintToString(outcome.notes);
  EXPECT_TRUE(vktest::Exists(dst + "/eins.txt"));
  EXPECT_TRUE(vktest::Exists(dst + "/zwei.txt"));
  EXPECT_EQ("alt", vktest::ReadFile(Kept("keins.txt")));
  EXPECT_EQ("f", vktest::ReadFile(keeper.RunFolderPath() + "/fort.txt"));
  EXPECT_TRUE(vktest::Exists(job + "/da.txt"));
  // The versions folder was made by the first row's move.
  EXPECT_EQ(job + "/VolKarn-Versionen", fs::path(keeper.RunFolderPath()).parent_path().string());
  EXPECT_EQ(2, keeper.Kept());
}

TEST_F(MirrorTest, AFailedMoveIsReportedAndTheEntryStays) {
  vktest::WriteFile(src + "/da.txt", "d");
  TargetOnly("weg.txt", "weg");
  platform::SetFaultHook(
      [](const std::string& op, const std::string&) { return op == "move" ? EIO : 0; });
  const versions::MirrorOutcome outcome = Mirror();
  platform::SetFaultHook(nullptr);
  EXPECT_EQ(std::vector<std::string>{"Die Datei " + dst +
                                     "/weg.txt konnte nicht in die Versionen verschoben werden "
                                     "(Fehlercode 21)."},
            outcome.errors);
  EXPECT_EQ("weg", vktest::ReadFile(dst + "/weg.txt"));
}

// A run killed while it takes entries out of the target (kill -9, power
// loss) loses none: each is in the target or in the versions, once, with
// its content; the next run moves the rest.
TEST_F(MirrorTest, ARunKilledWhileItMovesLosesNothing) {
  constexpr int kGone = 150;
  const auto name = [](int i) { return "g" + std::to_string(i); };
  // Each entry's content wherever it is now: the target and every run folder.
  const auto places = [&](int i) {
    std::vector<std::string> found;
    if (vktest::Exists(dst + "/" + name(i))) found.push_back(vktest::ReadFile(dst + "/" + name(i)));
    std::error_code ec;
    for (const auto& run : fs::directory_iterator(job + "/VolKarn-Versionen", ec)) {
      const std::string kept = run.path().string() + "/Daten/" + name(i);
      if (vktest::Exists(kept)) found.push_back(vktest::ReadFile(kept));
    }
    return found;
  };
  const auto left = [&] {
    int n = 0;
    for (int i = 0; i < kGone; ++i) n += vktest::Exists(dst + "/" + name(i));
    return n;
  };
  int killedInTheMoves = 0;
  for (int killAfter : {1, 40, 100}) {
    fs::remove_all(tmp / "quelle");
    fs::remove_all(job);
    for (int i = 0; i < kGone; ++i) {
      Both("k" + std::to_string(i));
      TargetOnly(name(i), "inhalt " + std::to_string(i));
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Each move takes a moment, so that the kill comes between two.
      platform::SetFaultHook([](const std::string& op, const std::string&) {
        if (op == "move") usleep(2000);
        return 0;
      });
      versions::Keeper own(job, 46000.5);
      versions::MirrorRows({{src, dst}}, ExclusionRule(), own, versions::MassRemoval::Refuse);
      _exit(0);
    }
    while (left() > kGone - killAfter) std::this_thread::yield();
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    killedInTheMoves += WIFSIGNALED(status) && left() > 0;
    for (int i = 0; i < kGone; ++i)
      EXPECT_EQ(std::vector<std::string>{"inhalt " + std::to_string(i)}, places(i))
          << name(i) << " after a kill at " << killAfter;
    // The next run takes out the rest, into a folder of its own.
    versions::Keeper next(job, 46000.75);
    const versions::MirrorOutcome outcome =
        versions::MirrorRows({{src, dst}}, ExclusionRule(), next, versions::MassRemoval::Refuse);
    EXPECT_TRUE(outcome.errors.empty()) << ::testing::PrintToString(outcome.errors);
    EXPECT_EQ(0, left());
    for (int i = 0; i < kGone; ++i)
      EXPECT_EQ(std::vector<std::string>{"inhalt " + std::to_string(i)}, places(i)) << name(i);
    for (int i = 0; i < kGone; ++i) EXPECT_TRUE(vktest::Exists(dst + "/k" + std::to_string(i)));
  }
  EXPECT_GT(killedInTheMoves, 0);  // the kills came while entries were moved
}

}  // namespace
