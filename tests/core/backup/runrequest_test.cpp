#include "core/backup/runrequest.h"

#include <gtest/gtest.h>

#include "core/catalogue/appstate.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "support/core_support.h"
#include "support/job_fixture.h"
#include "core/verify/checklogic.h"

namespace {

class RequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHomeDirForTesting(home.path());
    state.SelectedJob = vktest::JobFixture::AddJob(
        state.Backups, {"Bücher", "/media/sich", 0, 0, {}, {"*.bäk", ".tmp"}, {"/home/a.doc"}});
    state.Shown.Name = "Bücher";
    state.Shown.TargetDir = "/media/sich";
    state.Shown.Directories = {"/home/anna/Briefe", "/srv/Bilder"};
  }
  void TearDown() override { SetHomeDirForTesting(""); }
  vktest::TempDir home;
  vktest::TempDir other;
  AppState state;
};

TEST_F(RequestTest, TheRunOfTheShownJob) {
  // Never backed up: always in full, whatever was chosen.
  RunRequest run = MakeRunRequest(state, "Bücher", false);
  EXPECT_EQ("Bücher", run.JobName);
  EXPECT_EQ(state.SelectedJob, run.JobIndex);
  EXPECT_TRUE(run.FullBackup);
  EXPECT_EQ("Nach dem / Uhr geändert.", run.ChangedSinceText);
  EXPECT_EQ("*.BÄK\r\n.TMP\r\n", run.ExcludedExts);
  EXPECT_EQ("/HOME/A.DOC\r\n", run.ExcludedFiles);
  const std::vector<CopyRow> rows = {{"/home/anna/Briefe", "/media/sich/Briefe"},
                                     {"/srv/Bilder", "/media/sich/Bilder"}};
  ASSERT_EQ(rows.size(), run.Rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].source, run.Rows[i].source);
    EXPECT_EQ(rows[i].target, run.Rows[i].target) << rows[i].source;
  }

  // Backed up before: the chosen mode, the stamp and its text.
  state.Shown.LastDate = 37667;  // 15.02.2003
  state.Shown.LastTime = EncodeTime(17, 5, 40, 0);
  state.Shown.ChangedSince = 0x2E4F88B4;
  run = MakeRunRequest(state, "Bücher", false);
  EXPECT_FALSE(run.FullBackup);
  EXPECT_EQ(0x2E4F88B4u, run.ChangedSince);
  EXPECT_EQ("Nach dem 15.02.2003/17:05 Uhr geändert.", run.ChangedSinceText);
  EXPECT_TRUE(MakeRunRequest(state, "Bücher", true).FullBackup);

  // The check of the same job: its rows and its exclusions as stored.
  const CheckRequest check = MakeCheckRequest(state, "Bücher", CheckMode::Complete);
  EXPECT_EQ(CheckMode::Complete, check.Mode);
  ASSERT_EQ(2u, check.Rows.size());
  EXPECT_EQ("/media/sich/Briefe", check.Rows[0].target);
  EXPECT_EQ("*.bäk\r\n.tmp\r\n", check.ExcludedExts);
}

TEST_F(RequestTest, AJobThatIsGoneHasNoExclusions) {
  state.SelectedJob = -1;
  EXPECT_EQ("", MakeRunRequest(state, "Bücher", true).ExcludedExts);
  EXPECT_EQ("", MakeCheckRequest(state, "Bücher", CheckMode::CheckOnly).ExcludedFiles);
}

TEST_F(RequestTest, OnlyAMissingTargetFolderIsAskedFor) {
  RunRequest run;
  EXPECT_FALSE(MissingTargetFolder(run).has_value());  // no rows, nothing to ask
  run.Rows = {{"/home/anna/Briefe", other / "Briefe"}};
  EXPECT_FALSE(MissingTargetFolder(run).has_value());
  run.Rows = {{"/home/anna/Briefe", other / "neu/Briefe"}};
  EXPECT_EQ(other / "neu", MissingTargetFolder(run).value_or("?"));
}

}  // namespace
