// The check by content on real trees: bytes that differ behind an equal
// size and time are found, a share of the files per run covers all of them
// over consecutive runs, and the completion copies a differing file again,
// its old content kept in the versions.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "core/catalogue/daten.h"
#include "core/history/history.h"
#include "core/verify/checklogic.h"
#include "core/verify/checkrun.h"
#include "core/verify/contentcheck.h"
#include "core/versions/versions.h"
#include "support/core_support.h"
#include "support/job_fixture.h"

namespace fs = std::filesystem;
using vktest::JobFixture;

namespace {

// Every row ticked, as the automatic completion has it.
class AllRows : public CompletionList {
 public:
  explicit AllRows(std::vector<MissingEntry> rows) : rows_(std::move(rows)) {}
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  bool IsTicked(int) const override { return true; }
  MissingEntry RowEntry(int row) const override { return rows_[static_cast<std::size_t>(row)]; }
  std::string CountText(int row) const override {
    return std::to_string(rows_[static_cast<std::size_t>(row)].Total());
  }
  void SetCountText(int, const std::string&) override {}
  void KeepInView(int) override {}
  void RemoveRow(int row) override { rows_.erase(rows_.begin() + row); }
  void ProcessEvents() override {}

 private:
  std::vector<MissingEntry> rows_;
};

class ContentCheck : public ::testing::Test {
 protected:
  void SetUp() override { SetHomeDirForTesting(home_.path()); }
  void TearDown() override { SetHomeDirForTesting(""); }
  std::string Src() const { return home_ / "src/Daten/"; }
  std::string Tgt() const { return home_ / "ziel/Daten/"; }
  // A file in source and target, both with the same time.
  void Pair(const std::string& name, const std::string& source, const std::string& target,
            int second = 0) {
    JobFixture::WriteFileAt(Src() + name, source, 2026, 3, 1, 12, 0, 0);
    JobFixture::WriteFileAt(Tgt() + name, target, 2026, 3, 1, 12, 0, second);
  }
  void Run(BackupCheck& check) {
    check.JobName = "Briefe";
    check.Rows = {MakeCheckRow(RemoveBackslash(Src()), RemoveBackslash(home_ / "ziel/"))};
    check.RunCheck();
  }
  vktest::TempDir home_;
};

TEST_F(ContentCheck, BytesThatDifferBehindEqualSizeAndTimeAreFound) {
  struct Case {
    const char* name;
    const char* source;
    const char* target;
    int second;    // of the target's time (the source's is 0)
    bool differs;  // a finding of the content comparison
  } cases[] = {
      {"gleich.txt", "Inhalt", "Inhalt", 0, false},
      {"anders.txt", "Inhalt", "Inhalx", 0, true},
      {"erstes.bin", "A123456", "B123456", 0, true},
      {"fat.txt", "abc", "abd", 2, true},        // FAT keeps two seconds
      {"spaeter.txt", "abc", "abd", 4, false},   // other time: not compared
      {"laenger.txt", "abc", "abcd", 0, false},  // other size: not compared
      {"tief/x.txt", "1", "2", 0, true},
  };
  std::string big(3 << 20, 'x');
  JobFixture::WriteFileAt(Src() + "gross.bin", big, 2026, 3, 1);
  big[(3 << 20) - 1] = 'y';  // the last byte of the last block
  JobFixture::WriteFileAt(Tgt() + "gross.bin", big, 2026, 3, 1);
  for (const Case& c : cases) Pair(c.name, c.source, c.target, c.second);

  BackupCheck check;
  check.CompareContent = true;
  check.History.file = home_ / "verlauf.vlf";
  check.History.reportFolder = home_ / "Protokolle/";
  Run(check);
  // Nothing is missing, yet the check found something wrong.
  const std::vector<history::Entry> runs = history::ReadRuns(check.History.file);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(history::Outcome::Errors, runs[0].outcome);
  EXPECT_EQ(5, runs[0].counts.errors);
  std::set<std::string> found;
  for (const MissingEntry& file : check.Report.Differing())
    found.insert(file.subDir + file.differing.at(0));
  std::set<std::string> expected = {"gross.bin"};
  for (const Case& c : cases)
    if (c.differs) expected.insert(c.name);
  EXPECT_EQ(expected, found);
  EXPECT_EQ(static_cast<std::int32_t>(expected.size()), check.DifferingTotal);
  EXPECT_EQ(0, check.MissingSum);
  const auto& lines = check.Report.Lines();
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), Src() + "anders.txt"));
  EXPECT_NE(lines.end(),
            std::find(lines.begin(), lines.end(),
                      "Abweichende Dateien (gleiche Größe und Zeit, anderer Inhalt): 5"));
  // The count file keeps its layout: exactly the lines of a check without
  // the comparison.
  BackupCheck plain;
  Run(plain);
  std::vector<std::string> countFile = check.Report.CountFileLines();
  countFile[0] = plain.Report.Lines()[0];  // the header's minute may differ
  EXPECT_EQ(plain.Report.Lines(), countFile);
}

TEST_F(ContentCheck, AShareComparesEveryFileOnceOverConsecutiveRuns) {
  // Ten files, all different behind the same size and time: each run finds
  // those of its share.
  std::set<std::string> all;
  for (int i = 0; i < 10; ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    Pair(name, "eins", "zwei");
    all.insert(name);
  }
  tBackups jobs;
  const int job = jobs.AddJob("Briefe", home_ / "ziel", 0, 0);
  struct Case {
    int share, runs;
  } cases[] = {{30, 4}, {50, 2}, {100, 1}, {7, 15}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.share);
    fs::remove(content::CounterPath(jobs, job));
    std::multiset<std::string> seen;
    std::set<std::string> firstRun;
    for (int run = 0; run <= c.runs; ++run) {
      BackupCheck check;
      std::string failure;
      ASSERT_TRUE(content::PrepareShare(check, jobs, job, c.share, failure)) << failure;
      EXPECT_EQ(c.runs, check.ContentBuckets);
      Run(check);
      ASSERT_EQ(0, content::AdvanceShare(check, jobs, job));
      std::set<std::string> found;
      for (const MissingEntry& file : check.Report.Differing()) found.insert(file.differing[0]);
      if (run == 0) firstRun = found;
      if (run == c.runs) {
        EXPECT_EQ(firstRun, found) << "the next round starts again with the first share";
        break;
      }
      seen.insert(found.begin(), found.end());
    }
    EXPECT_EQ(std::multiset<std::string>(all.begin(), all.end()), seen)
        << "every file exactly once per round";
  }
  // The counter is a stored file like the others: Windows-1252, CR LF.
  EXPECT_EQ("Durchlauf=16\r\n", vktest::ReadFile(content::CounterPath(jobs, job)));
  // One that cannot be read is never written over.
  fs::remove(content::CounterPath(jobs, job));
  fs::create_directory(content::CounterPath(jobs, job));
  BackupCheck check;
  std::string failure;
  EXPECT_FALSE(content::PrepareShare(check, jobs, job, 30, failure));
  EXPECT_NE(std::string::npos, failure.find("konnte nicht gelesen werden")) << failure;
  // The file goes with its job.
  const std::string counter = content::CounterPath(jobs, job);
  fs::remove(counter);
  vktest::WriteFile(counter, "Durchlauf=3\r\n");
  jobs.DeleteJob(job);
  EXPECT_FALSE(fs::exists(counter));
}

TEST_F(ContentCheck, TheCompletionCopiesADifferingFileAgainAndKeepsTheOldOne) {
  Pair("anders.txt", "richtig", "kaputt!");
  Pair("gleich.txt", "gleich", "gleich");
  JobFixture::WriteFileAt(Src() + "fehlt.txt", "f", 2026, 3, 1);
  BackupCheck check;
  check.CompareContent = true;
  Run(check);
  ASSERT_EQ(1, check.DifferingTotal);
  const std::vector<MissingEntry> rows = CompletionEntries(check.Report);
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ(1, rows[0].count);
  EXPECT_EQ(std::vector<std::string>{"anders.txt"}, rows[0].differing);

  BackupCompletion completion;
  completion.Rule = check.Rule();
  AllRows list(rows);
  ASSERT_EQ(0, CompleteTickedRows(completion, list));
  EXPECT_EQ(1, completion.Recopied());
  EXPECT_EQ(2, completion.Copied) << "the missing one and the differing one";
  EXPECT_EQ("richtig", vktest::ReadFile(Tgt() + "anders.txt"));
  EXPECT_EQ("f", vktest::ReadFile(Tgt() + "fehlt.txt"));
  // The old content is in the versions, under the row's folder name.
  std::vector<versions::RunFolder> folders;
  ASSERT_EQ(0, versions::ListRunFolders(home_ / "ziel", folders));
  ASSERT_EQ(1u, folders.size());
  EXPECT_EQ("kaputt!", vktest::ReadFile(versions::RootOf(home_ / "ziel") + "/" + folders[0].name +
                                        "/Daten/anders.txt"));
  // A check afterwards finds nothing any more.
  BackupCheck again;
  again.CompareContent = true;
  Run(again);
  EXPECT_EQ(0, again.DifferingTotal);
  EXPECT_EQ(0, again.MissingSum);
}

}  // namespace
