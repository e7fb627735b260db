// The backup check and the completion without windows.
#include "core/verify/checklogic.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <numeric>

#include "platform/platform.h"
#include "base/errorbox.h"
#include "support/core_support.h"

namespace fs = std::filesystem;

namespace {

struct HookGuard {
  explicit HookGuard(platform::FaultHook hook) { platform::SetFaultHook(std::move(hook)); }
  ~HookGuard() { platform::SetFaultHook(nullptr); }
};

// Records what the check shows; cancels after a number of event rounds.
class Recorder : public CheckObserver {
 public:
  explicit Recorder(BackupCheck& check) : check_(check) { check.SetObserver(this); }
  ~Recorder() override { check_.SetObserver(nullptr); }

  void ShowDirectory(const std::string& text) override { directory = text; }
  void ShowFileTotal(std::int32_t total) override { fileTotal = total; }
  void ShowTotals(std::int32_t f, std::int32_t p) override {
    found = f;
    present = p;
    missingLabel = f - p;
  }
  void ShowRowResult(int row, const std::string& text) override {
    rowResults.emplace_back(row, text);
  }
  void ProcessEvents() override {
    ++rounds;
    if (cancelAfter >= 0 && rounds >= cancelAfter) check_.Cancel();
  }

  std::string directory;
  std::int32_t fileTotal = -1, found = -1, present = -1, missingLabel = -1;
  std::vector<std::pair<int, std::string>> rowResults;
  int rounds = 0;
  int cancelAfter = -1;

 private:
  BackupCheck& check_;
};

TDateTime Moment(int y, int mo, int d, int h, int mi) {
  TDateTime date = 0;
  TryEncodeDate(y, mo, d, date);
  return date + EncodeTime(h, mi, 0, 0);
}

class CheckTest : public ::testing::Test {
 protected:
  CheckTest() {
    check.JobName = "Texte";
    check.Clock = [] { return Moment(2026, 12, 7, 23, 45); };
  }
  // A source folder src/<name> with its backup target tgt/<name>.
  std::string Src(const std::string& rel = "") const { return dir / ("src/" + rel); }
  std::string Tgt(const std::string& rel = "") const { return dir / ("tgt/" + rel); }
  void AddRow(const std::string& source) {
    check.Rows.push_back(MakeCheckRow(source, dir / "tgt"));
  }
  std::vector<MissingEntry> Entries() const {
    std::vector<MissingEntry> result;
    for (std::size_t i = 0; i < check.Report.Size(); ++i)
      if (const MissingEntry* e = check.Report.EntryAt(i)) result.push_back(*e);
    return result;
  }

  vktest::TempDir dir;
  BackupCheck check;
};

TEST_F(CheckTest, PresenceIsDecidedByTheNameAloneAndOnlyForFilesAndLinks) {
  // Present with other size, date and content.
  vktest::WriteFile(Src("B/same.txt"), "source text");
  vktest::WriteFile(Tgt("B/same.txt"), "x");
  fs::last_write_time(Tgt("B/same.txt"),
                      fs::file_time_type::clock::now() - std::chrono::hours(900));
  // A folder with the file's name in the target is no counterpart.
  vktest::WriteFile(Src("B/folder.txt"), "a");
  fs::create_directories(Tgt("B/folder.txt"));
  // Hidden files count like any other.
  vktest::WriteFile(Src("B/.hidden"), "h");
  // A symlink is a file: present when a non-directory entry of its name exists.
  fs::create_symlink("same.txt", Src("B/link1"));
  fs::create_symlink("nowhere", Tgt("B/link1"));
  fs::create_symlink("same.txt", Src("B/link2"));
  fs::create_directories(Tgt("B/link2"));
  // A link to a folder is counted as a file and never entered.
  vktest::WriteFile(Src("elsewhere/inner.txt"), "i");
  fs::create_symlink(Src("elsewhere"), Src("B/dirlink"));
  // A fifo is neither counted nor looked for.
  ASSERT_EQ(mkfifo(Src("B/pipe").c_str(), 0600), 0);
  // Whatever is no folder counts in the target, a fifo too.
  vktest::WriteFile(Src("B/fifo-im-ziel"), "f");
  ASSERT_EQ(mkfifo(Tgt("B/fifo-im-ziel").c_str(), 0600), 0);
  AddRow(Src("B"));

  // The same whether the target folder's listing answers or every file is
  // looked for by its name (a folder that cannot be listed).
  for (bool listed : {true, false}) {
    const std::string targetDir = Tgt("B/");
    HookGuard hook([&](const std::string& op, const std::string& path) {
      return !listed && op == "list-dir" && path == targetDir ? EACCES : 0;
    });
    Recorder rec(check);
    check.Rows[0].missing = "?";
    check.RunCheck();

    // same, folder, .hidden, link1, link2, dirlink, fifo-im-ziel
    EXPECT_EQ(check.FileTotal, 7) << listed;
    EXPECT_EQ(check.FoundTotal, 7) << listed;
    EXPECT_EQ(check.PresentTotal, 3) << listed;  // same.txt, link1, fifo-im-ziel
    EXPECT_EQ(check.MissingSum, 4) << listed;
    ASSERT_EQ(Entries().size(), 1u) << listed;
    EXPECT_EQ(Entries()[0], (MissingEntry{4, Src("B/"), "", Tgt("B/")})) << listed;
    EXPECT_EQ(check.Rows[0].missing, "4") << listed;
    EXPECT_EQ(rec.directory, "Fertig!") << listed;
  }
}

TEST_F(CheckTest, EntriesOfSubfoldersComeFirstAndTheSumMatches) {
  vktest::WriteFile(Src("R/top.txt"), "1");
  vktest::WriteFile(Src("R/a/one.txt"), "1");
  vktest::WriteFile(Src("R/a/two.txt"), "1");
  vktest::WriteFile(Src("R/a/deep/three.txt"), "1");
  vktest::WriteFile(Src("R/a/deep/four.txt"), "1");
  vktest::WriteFile(Tgt("R/a/deep/four.txt"), "1");
  vktest::WriteFile(Src("R/complete/x.txt"), "1");  // all present: no entry
  vktest::WriteFile(Tgt("R/complete/x.txt"), "1");
  fs::create_directories(Src("R/empty"));  // empty: no entry
  AddRow(Src("R"));
  vktest::WriteFile(Src("S/s.txt"), "1");
  AddRow(Src("S"));

  Recorder rec(check);
  check.RunCheck();

  std::vector<MissingEntry> entries = Entries();
  ASSERT_EQ(entries.size(), 4u);
  auto at = [&](const std::string& sub) {
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (entries[i].sourceRoot == Src("R/") && entries[i].subDir == sub)
        return static_cast<int>(i);
    return -1;
  };
  ASSERT_GE(at("a/deep/"), 0);
  EXPECT_LT(at("a/deep/"), at("a/"));
  EXPECT_LT(at("a/"), at(""));
  EXPECT_EQ(entries[static_cast<std::size_t>(at("a/deep/"))].count, 1);
  EXPECT_EQ(entries[static_cast<std::size_t>(at("a/"))].count, 2);
  EXPECT_EQ(entries[static_cast<std::size_t>(at(""))].targetRoot, Tgt("R/"));
  EXPECT_EQ(entries[3], (MissingEntry{1, Src("S/"), "", Tgt("S/")}));
  EXPECT_EQ(check.Report.Line(4), "1*" + Src("R/") + "*a/deep/*" + Tgt("R/"));

  int sum = 0;
  for (const MissingEntry& e : entries) sum += e.count;
  EXPECT_EQ(check.MissingSum, sum);
  EXPECT_EQ(check.Report.Lines().back(), "Summe: " + std::to_string(sum));
  EXPECT_EQ(rec.missingLabel, sum);
  EXPECT_EQ(rec.found, 7);
  EXPECT_EQ(rec.present, 2);
  EXPECT_EQ(check.Rows[0].missing, "4");
  EXPECT_EQ(check.Rows[1].missing, "1");
}

TEST_F(CheckTest, ExclusionsFollowThePerEntryRuleButTheFileTotalCountsEverything) {
  vktest::WriteFile(Src("E/brief.doc"), "1");
  vktest::WriteFile(Src("E/brief.bak"), "1");
  vktest::WriteFile(Src("E/sub/THUMBS.DB"), "1");  // excluded by name in every folder
  vktest::WriteFile(Src("E/prog.c"), "1");         // ".C" is no entry of the list, ".CPP" is
  vktest::WriteFile(Src("E/README"), "1");         // no extension
  AddRow(Src("E"));
  check.SetExclusions(".bak\r\n*.cpp\r\n", "/home/x/thumbs.db\r\n");

  Recorder rec(check);
  check.RunCheck();

  EXPECT_EQ(rec.fileTotal, 5);
  EXPECT_EQ(check.FileTotal, 5);
  EXPECT_EQ(rec.found, 3);  // brief.doc, prog.c, README
  EXPECT_GT(rec.fileTotal, rec.found);
  EXPECT_EQ(check.MissingSum, 3);
  EXPECT_EQ(check.ExcludedExts(), ".BAK\r\n*.CPP\r\n");
}

TEST_F(CheckTest, MissingSourceFolderStandsAheadOfTheHeader) {
  vktest::WriteFile(Src("ok/a.txt"), "1");
  AddRow(Src("gone"));
  AddRow(Src("ok"));

  Recorder rec(check);
  check.RunCheck();

  const std::vector<std::string>& lines = check.Report.Lines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "Das Startverzeichnis " + Src("gone") +
                          " existiert nicht. Es konnten keine Dateien aus diesem Verzeichnis "
                          "kopiert werden.");
  EXPECT_EQ(lines[2], "Dateizählung \"Texte\" am 07.12.2026 um 23:45 Uhr.");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "Anzahl der fehlenden Dateien:");
  EXPECT_EQ(lines[5], "");
  EXPECT_EQ(lines[6], "1*" + Src("ok/") + "**" + Tgt("ok/"));
  EXPECT_EQ(lines[7], "Summe: 1");
  EXPECT_EQ(check.Rows[0].missing, "Nicht gefunden");
  EXPECT_EQ(check.Rows[1].missing, "1");
  EXPECT_EQ(rec.rowResults.front(), (std::pair<int, std::string>{0, "Nicht gefunden"}));
}

TEST_F(CheckTest, CancelPutsTheNoteIntoTheSecondLine) {
  for (int i = 0; i < 5; ++i) {
    vktest::WriteFile(Src("A/f" + std::to_string(i)), "1");
    vktest::WriteFile(Src("A/sub/g" + std::to_string(i)), "1");
  }
  vktest::WriteFile(Src("B/b"), "1");
  AddRow(Src("A"));
  AddRow(Src("B"));

  {
    Recorder rec(check);
    rec.cancelAfter = 4;
    check.RunCheck();
    EXPECT_EQ(rec.directory, "Der Zählvorgang wurde abgebrochen");
    EXPECT_EQ(rec.found, -1) << "the totals keep those of the finished rows";
  }
  const std::vector<std::string>& lines = check.Report.Lines();
  EXPECT_EQ(lines[0], "Dateizählung \"Texte\" am 07.12.2026 um 23:45 Uhr.");
  EXPECT_EQ(lines[1], "Der Zählvorgang wurde abgebrochen. Die Angaben sind unvollständig.");
  EXPECT_EQ(check.Rows[0].missing, "?");
  EXPECT_EQ(check.Rows[1].missing, "?");
  // Every folder on the path being walked still gets what was seen.
  int sum = 0;
  for (std::size_t i = 0; i < check.Report.Size(); ++i)
    if (const MissingEntry* e = check.Report.EntryAt(i)) sum += e->count;
  EXPECT_EQ(lines.back(), "Summe: " + std::to_string(sum));
  EXPECT_LT(sum, 10);

  // With a missing source folder the note replaces that folder's message.
  check.Rows.insert(check.Rows.begin(), MakeCheckRow(Src("gone"), dir / "tgt"));
  Recorder rec(check);
  rec.cancelAfter = 1;
  check.RunCheck();
  EXPECT_EQ(check.Report.Line(0), "");
  EXPECT_EQ(check.Report.Line(1),
            "Der Zählvorgang wurde abgebrochen. Die Angaben sind unvollständig.");
  EXPECT_EQ(check.Report.Line(2), "Dateizählung \"Texte\" am 07.12.2026 um 23:45 Uhr.");
  EXPECT_EQ(check.Rows[0].missing, "Nicht gefunden");

  // The next run starts without the cancel.
  Recorder again(check);
  check.RunCheck();
  EXPECT_EQ(again.directory, "Fertig!");
  EXPECT_EQ(check.MissingSum, 11);
}

TEST_F(CheckTest, CountFileByteForByte) {
  vktest::WriteFile(Src("Briefe/2002/Mai/m.txt"), "1");
  vktest::WriteFile(Src("Briefe/a.txt"), "1");
  AddRow(Src("Briefe"));
  check.JobName = "Bäume";
  check.RunCheck();
  const std::string path = dir / "job.cou";
  ASSERT_EQ(check.SaveCountFile(path), 0);

  const std::string expected =
      "Dateiz\xE4hlung \"B\xE4ume\" am 07.12.2026 um 23:45 Uhr.\r\n"
      "\r\n"
      "Anzahl der fehlenden Dateien:\r\n"
      "\r\n"
      "1*" +
      Src("Briefe/") + "*2002/Mai/*" + Tgt("Briefe/") +
      "\r\n"
      "1*" +
      Src("Briefe/") + "**" + Tgt("Briefe/") +
      "\r\n"
      "Summe: 2\r\n";
  EXPECT_EQ(vktest::ReadFile(path), expected);
}

TEST_F(CheckTest, AJobWithoutSourceFoldersGivesTheBareReport) {
  check.RunCheck();
  EXPECT_EQ(check.Report.Lines(),
            (std::vector<std::string>{"Dateizählung \"Texte\" am 07.12.2026 um 23:45 Uhr.", "",
                                      "Anzahl der fehlenden Dateien:", "", "Summe: 0"}));
  EXPECT_TRUE(CompletionEntries(check.Report).empty());
}

TEST_F(CheckTest, TargetMappingAndATargetInsideItsSource) {
  EXPECT_EQ(MakeCheckRow("/home/u/Briefe", "/media/Sich").target, "/media/Sich/Briefe");
  EXPECT_EQ(MakeCheckRow("/home/u/Briefe", "/media/Sich/").target, "/media/Sich/Briefe");
  EXPECT_EQ(MakeCheckRow("/", "/media/Sich").target, "/media/Sich/");
  EXPECT_EQ(MakeCheckRow("/x", "/m").missing, "?");

  // Source D with target D/Sich: the backup inside the source is not walked.
  vktest::WriteFile(Src("D/a.txt"), "1");
  vktest::WriteFile(Src("D/Sich/D/a.txt"), "1");
  vktest::WriteFile(Src("D/Sich/D/old.txt"), "1");
  std::filesystem::create_symlink(Src("D"), Src("weg"));
  // However the target is spelled: through a link, with "//" or "/./".
  for (const std::string& targetDir :
       {Src("D/Sich"), Src("weg/Sich"), Src("D//Sich"), Src("D/./Sich")}) {
    check.Rows.clear();
    check.Rows.push_back(MakeCheckRow(Src("D"), targetDir));
    check.RunCheck();
    EXPECT_EQ(check.FileTotal, 1) << targetDir;
    EXPECT_EQ(check.FoundTotal, 1) << targetDir;
    EXPECT_EQ(check.MissingSum, 0) << targetDir;
  }
}

TEST(MissingEntryLines, SplitRuleAndEntriesThatKeepTheirFields) {
  MissingEntry e;
  EXPECT_TRUE(ParseMissingEntry("3*/a/*b/*/t/", e));
  EXPECT_EQ(e, (MissingEntry{3, "/a/", "b/", "/t/"}));
  EXPECT_TRUE(ParseMissingEntry("1*/a/**/t/", e));
  EXPECT_EQ(e.subDir, "");
  EXPECT_TRUE(ParseMissingEntry("1*/a/*b/*/t/*", e)) << "nothing after a final separator";
  EXPECT_FALSE(ParseMissingEntry("1*/a/*b/", e));
  EXPECT_FALSE(ParseMissingEntry("1*/a*b/*c/*/t/", e));
  EXPECT_FALSE(ParseMissingEntry("", e));

  // A report from plain lines: header lines and the "Summe" line are no rows.
  CheckReport plain = CheckReport::FromLines({"Dateizählung \"x\" am 01.01.2026 um 10:00 Uhr.", "",
                                              "Anzahl der fehlenden Dateien:", "", "2*/s/*sub/*/t/",
                                              "kaputt*zeile", "1*/s/**/t/", "Summe: 3"});
  std::vector<MissingEntry> rows = CompletionEntries(plain);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (MissingEntry{2, "/s/", "sub/", "/t/"}));
  EXPECT_EQ(rows[1], (MissingEntry{1, "/s/", "", "/t/"}));
  EXPECT_TRUE(CompletionEntries(CheckReport::FromLines({"a", "b", "c", "d", "1*a*b*c"})).empty());

  // A folder whose name holds "*" keeps its exact fields in the report.
  CheckReport made;
  for (const char* line : {"h", "", "Anzahl der fehlenden Dateien:", ""}) made.AddLine(line);
  MissingEntry star{2, "/s/x*y/", "a*b/", "/t/x*y/"};
  made.AddEntry(star);
  made.AddLine("Summe: 2");
  ASSERT_EQ(CompletionEntries(made).size(), 1u);
  EXPECT_EQ(CompletionEntries(made)[0], star);
  made.SetLine(4, "changed");
  EXPECT_TRUE(CompletionEntries(made).empty());
}

TEST_F(CheckTest, FolderNamesWithAStarReachTheCompletionIntact) {
  vktest::WriteFile(Src("x*y/a*b/f.txt"), "1");
  AddRow(Src("x*y"));
  check.RunCheck();
  std::vector<MissingEntry> rows = CompletionEntries(check.Report);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (MissingEntry{1, Src("x*y/"), "a*b/", Tgt("x*y/")}));
}

// ------------------------------------------------------------ completion --

class FakeList : public CompletionList {
 public:
  struct Row {
    MissingEntry entry;
    bool ticked = false;
    std::string count;
  };
  void Add(const MissingEntry& e, bool ticked) {
    rows.push_back({e, ticked, std::to_string(e.count)});
  }
  int RowCount() const override { return static_cast<int>(rows.size()); }
  bool IsTicked(int r) const override { return rows[static_cast<std::size_t>(r)].ticked; }
  MissingEntry RowEntry(int r) const override { return rows[static_cast<std::size_t>(r)].entry; }
  std::string CountText(int r) const override { return rows[static_cast<std::size_t>(r)].count; }
  void SetCountText(int r, const std::string& t) override {
    rows[static_cast<std::size_t>(r)].count = t;
    texts.push_back(t);
  }
  void KeepInView(int r) override { inView.push_back(r); }
  void RemoveRow(int r) override { rows.erase(rows.begin() + r); }
  void ProcessEvents() override {
    if (onEvents) onEvents();
  }
  std::vector<Row> rows;
  std::vector<std::string> texts;
  std::vector<int> inView;
  std::function<void()> onEvents;
};

class CompletionTest : public ::testing::Test {
 protected:
  std::string S(const std::string& rel = "") const { return dir / ("src/" + rel); }
  std::string T(const std::string& rel = "") const { return dir / ("tgt/" + rel); }
  vktest::TempDir dir;
  BackupCompletion completion;
  FakeList list;
};

TEST_F(CompletionTest, CopiesWhatIsMissingDirectlyInTheTickedFolders) {
  vktest::WriteFile(S("root.txt"), "root");
  vktest::WriteFile(S("there.txt"), "new");
  vktest::WriteFile(T("there.txt"), "old");
  vktest::WriteFile(S("skip.bak"), "x");
  vktest::WriteFile(S("sub/below.txt"), "below");
  vktest::WriteFile(S("other/o.txt"), "o");
  ASSERT_EQ(mkfifo(S("pipe").c_str(), 0600), 0);
  completion.Rule = ExclusionRule(".BAK\r\n", "");
  list.Add({2, S(), "", T()}, true);  // empty subfolder: the source folder itself
  list.Add({1, S(), "other/", T()}, false);

  completion.CompleteTicked(list);

  EXPECT_EQ(completion.CopyStatus, 0);
  EXPECT_EQ(vktest::ReadFile(T("root.txt")), "root");
  EXPECT_EQ(vktest::ReadFile(T("there.txt")), "old") << "present by now: not copied";
  EXPECT_FALSE(vktest::Exists(T("skip.bak")));
  EXPECT_FALSE(vktest::Exists(T("pipe")));
  EXPECT_TRUE(fs::is_directory(T("sub"))) << "every source folder has its folder";
  EXPECT_FALSE(vktest::Exists(T("sub/below.txt"))) << "subfolders have rows of their own";
  EXPECT_FALSE(vktest::Exists(T("other/o.txt")));
  EXPECT_EQ(list.texts, (std::vector<std::string>{"2 >>>", "OK"}));
  EXPECT_EQ(list.inView, (std::vector<int>{0}));
  ASSERT_EQ(list.rows.size(), 1u) << "the unticked row stays";
  EXPECT_EQ(list.rows[0].entry.subDir, "other/");
  EXPECT_EQ(list.rows[0].count, "1");
}

TEST_F(CompletionTest, AFailedCopyStopsTheRunAfterTheRowInWork) {
  vktest::WriteFile(S("a/1.txt"), "1");
  vktest::WriteFile(S("b/2.txt"), "2");
  vktest::WriteFile(S("b/3.txt"), "3");
  vktest::WriteFile(S("c/4.txt"), "4");
  list.Add({1, S(), "a/", T()}, true);
  list.Add({2, S(), "b/", T()}, true);
  list.Add({1, S(), "c/", T()}, true);
  int copiesInB = 0;
  HookGuard guard([&](const std::string& op, const std::string& path) {
    if (op != "copy-open-source" || path.find("/b/") == std::string::npos) return 0;
    return ++copiesInB == 1 ? EACCES : 0;
  });
  CopyTargetName.clear();

  completion.CompleteTicked(list);

  EXPECT_EQ(completion.CopyStatus, platform::kErrAccessDenied);
  EXPECT_EQ(copiesInB, 1) << "no further file of that folder";
  EXPECT_TRUE(vktest::Exists(T("a/1.txt")));
  EXPECT_FALSE(vktest::Exists(T("c/4.txt")));
  ASSERT_EQ(list.rows.size(), 1u) << "rows a and b are removed, c stays";
  EXPECT_EQ(list.rows[0].entry.subDir, "c/");
  EXPECT_EQ(list.rows[0].count, "1");
  EXPECT_NE(CopyTargetName.find(T("b/")), std::string::npos) << "the box can name the file";
}

TEST_F(CompletionTest, CancelStopsAtTheNextEntry) {
  for (int i = 0; i < 4; ++i) vktest::WriteFile(S("a/" + std::to_string(i)), "x");
  vktest::WriteFile(S("b/x"), "x");
  list.Add({4, S(), "a/", T()}, true);
  list.Add({1, S(), "b/", T()}, true);
  int rounds = 0;
  list.onEvents = [&] {
    if (++rounds == 3) completion.Cancel();
  };
  completion.CompleteTicked(list);
  EXPECT_EQ(completion.CopyStatus, kCheckCancelled);
  int copied = 0;
  for (int i = 0; i < 4; ++i) copied += vktest::Exists(T("a/" + std::to_string(i))) ? 1 : 0;
  EXPECT_EQ(copied, 1);
  ASSERT_EQ(list.rows.size(), 1u);
  EXPECT_EQ(list.rows[0].entry.subDir, "b/");
}

}  // namespace

TEST_F(CheckTest, ReadAheadGivesTheFindingsOfTheWalkOnOneThread) {
  // Several batches of one folder, sub-folders, excluded files, links, a
  // folder that cannot be read and half of the files missing: the same
  // report and counts with 0, 1 and 4 threads looking ahead.
  for (int i = 0; i < 300; ++i) {
    const std::string name = std::to_string(i) + (i % 11 == 0 ? ".bak" : ".txt");
    vktest::WriteFile(Src("R/viele/" + name), "1");
    if (i % 3 == 0) vktest::WriteFile(Tgt("R/viele/" + name), "1");
  }
  for (int d = 0; d < 5; ++d) {
    for (int i = 0; i < 20; ++i) {
      const std::string name =
          "R/o" + std::to_string(d) + (i % 2 ? "/u/" : "/") + std::to_string(i) + ".txt";
      vktest::WriteFile(Src(name), "1");
      if (i % 4 == 0) vktest::WriteFile(Tgt(name), "1");
    }
  }
  vktest::WriteFile(Src("R/zu/b.txt"), "1");
  fs::create_symlink("viele/1.txt", Src("R/link-datei"));
  fs::create_symlink(Src("R/o1"), Src("R/link-ordner"));
  fs::create_directories(Tgt("R/o2/6.txt"));  // a folder is no file
  AddRow(Src("R"));
  AddRow(Src("R/o3"));
  check.SetExclusions("*.BAK\r\n", "");
  HookGuard hook([](const std::string& op, const std::string& path) {
    return op == "list-dir" && path.ends_with("/zu/") ? EACCES : 0;
  });

  std::vector<std::string> lines;
  std::vector<std::int32_t> totals;
  int rounds = 0;
  for (int threads : {0, 1, 4}) {
    check.ReadAheadThreads = threads;
    Recorder rec(check);
    check.RunCheck();
    const std::vector<std::int32_t> now{check.FileTotal, check.FoundTotal, check.PresentTotal,
                                        check.MissingSum};
    if (threads == 0) {
      lines = check.Report.Lines();
      totals = now;
      rounds = rec.rounds;
      EXPECT_GT(check.MissingSum, 150);
      continue;
    }
    EXPECT_EQ(lines, check.Report.Lines()) << threads;
    EXPECT_EQ(totals, now) << threads;
    EXPECT_EQ(rounds, rec.rounds) << threads;
  }
}

TEST_F(CheckTest, AFolderReadOnlyInPartIsNotTakenForComplete) {
  vktest::WriteFile(Src("A/a.txt"), "1");
  vktest::WriteFile(Src("A/kaputt/b.txt"), "1");
  vktest::WriteFile(Src("A/kaputt/c.txt"), "1");
  AddRow(Src("A"));
  for (int threads : {0, 2}) {
    check.ReadAheadThreads = threads;
    HookGuard hook([&](const std::string& op, const std::string& path) {
      return op == "read-dir" && path == Src("A/kaputt/") ? EIO : 0;
    });
    Recorder rec(check);
    check.RunCheck();
    EXPECT_EQ(check.Report.Line(1), "Das Verzeichnis " + Src("A/kaputt/") +
                                        " konnte nicht vollständig gelesen werden (Fehlercode "
                                        "21). Die Angaben sind unvollständig.")
        << threads;
    EXPECT_EQ(rec.directory, "Fertig!") << threads;
  }
}

// A target root on a drive that is missing (the job's target folder and
// its parent gone) is never made on the disk that holds the mount point;
// with the parent there, the job's target folder and the root are made.
TEST_F(CompletionTest, ATargetRootIsNeverMadeInPlaceOfAMissingDrive) {
  vktest::WriteFile(S("a.txt"), "a");
  list.Add({1, S(), "", dir / "laufwerk/Sicherung/src/"}, true);
  completion.CompleteTicked(list);
  EXPECT_EQ(platform::kErrDirectory, completion.CopyStatus);
  EXPECT_FALSE(vktest::Exists(dir / "laufwerk"));

  completion.CopyStatus = 0;
  fs::create_directories(dir / "laufwerk");
  list.Add({1, S(), "", dir / "laufwerk/Sicherung/src/"}, true);
  completion.CompleteTicked(list);
  EXPECT_EQ(0, completion.CopyStatus);
  EXPECT_EQ("a", vktest::ReadFile(dir / "laufwerk/Sicherung/src/a.txt"));
}
