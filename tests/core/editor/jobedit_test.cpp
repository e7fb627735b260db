#include "core/editor/jobedit.h"

#include <errno.h>
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "core/catalogue/daten.h"
#include "base/pathtext.h"
#include "support/core_support.h"

namespace {

JobDraft Valid() {
  JobDraft draft;
  draft.Name = "Briefe";
  draft.TargetDir = "/media/sich";
  draft.Directories = {"/home/anna/Briefe"};
  return draft;
}

TEST(JobDraftCheck, RefusesWhatTheCatalogueAndTheListsCannotHold) {
  struct Case {
    const char* what;
    void (*change)(JobDraft&);
    std::string refusal;  // the start of the text; empty: accepted
  };
  const std::vector<Case> cases = {
      {"valid", [](JobDraft&) {}, ""},
      {"name with letters of the code page", [](JobDraft& d) { d.Name = "Größe €"; }, ""},
      {"blank name", [](JobDraft& d) { d.Name = "  "; },
       "Es wurde kein Name für die Datensicherung eingegeben!"},
      {"name outside the code page", [](JobDraft& d) { d.Name = "Brief 日本"; },
       "Der Name \"Brief 日本\" enthält Zeichen"},
      {"no target", [](JobDraft& d) { d.TargetDir = ""; },
       "Es wurde kein Zielverzeichnis für die Datensicherung eingegeben!"},
      {"target outside the code page", [](JobDraft& d) { d.TargetDir = "/媒体"; },
       "Das Zielverzeichnis enthält Zeichen"},
      {"target of 255 characters",
       [](JobDraft& d) {
         d.TargetDir = "/";
         for (int i = 0; i < 254; ++i) d.TargetDir += "ä";
       },
       ""},
      {"target of 256 characters", [](JobDraft& d) { d.TargetDir = "/" + std::string(255, 'a'); },
       "Das Zielverzeichnis ist zu lang (256 Zeichen, höchstens 255 sind möglich)"},
      {"no directories", [](JobDraft& d) { d.Directories.clear(); },
       "Es wurden keine zu sichernden Verzeichnisse eingegeben!"},
      {"directory outside the code page", [](JobDraft& d) { d.Directories.push_back("/home/日"); },
       "Das Verzeichnis\r/home/日\renthält Zeichen"},
      {"excluded file outside the code page",
       [](JobDraft& d) {
         d.ExcludedFiles = {"/home/a.txt", "/home/日.txt"};
       },
       "Die Datei\r/home/日.txt\renthält Zeichen"},
  };
  for (const Case& c : cases) {
    JobDraft draft = Valid();
    c.change(draft);
    const std::string refusal = CheckJobDraft(draft);
    if (c.refusal.empty())
      EXPECT_EQ("", refusal) << c.what;
    else
      EXPECT_TRUE(refusal.starts_with(c.refusal)) << c.what << ": " << refusal;
  }
}

class JobListsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetHomeDirForTesting(home.path()); }
  void TearDown() override {
    platform::SetFaultHook(nullptr);
    SetHomeDirForTesting("");
  }
  vktest::TempDir home;
};

TEST_F(JobListsTest, WritesTheThreeListsAndTheOfferedExtensions) {
  tBackups jobs;
  const int job = jobs.AddJob("Bücher", "/sich", 0, 0);
  JobDraft draft = Valid();
  draft.Directories = {"/home/anna/Bücher", "/home/anna/Bilder"};
  draft.ExcludedExts = {".TMP"};
  draft.ExcludedFiles = {};
  draft.OfferedExts = {".BAK", ".DOC"};
  EXPECT_TRUE(SaveJobLists(jobs, job, draft).empty());
  const std::string data = tBackups::GetDataDir();
  EXPECT_EQ(
      "/home/anna/B\xFC"
      "cher\r\n/home/anna/Bilder\r\n",
      vktest::ReadFile(data + jobs.GetListFileName(job)));
  EXPECT_EQ(".TMP\r\n", vktest::ReadFile(data + jobs.GetExtFileName(job)));
  EXPECT_TRUE(vktest::Exists(data + jobs.GetExclFileName(job)));
  EXPECT_EQ("", vktest::ReadFile(data + jobs.GetExclFileName(job)));
  EXPECT_EQ(".BAK\r\n.DOC\r\n", vktest::ReadFile(data + "extens.dat"));
}

TEST_F(JobListsTest, AFailedWriteNamesTheFileAndItsReasonAndTheOthersAreWritten) {
  tBackups jobs;
  const int job = jobs.AddJob("Briefe", "/sich", 0, 0);
  const std::string data = tBackups::GetDataDir();
  const std::string ext = data + jobs.GetExtFileName(job);
  platform::SetFaultHook([ext](const std::string& op, const std::string& path) {
    return op == "write-atomic" && path == ext ? ENOSPC : 0;
  });
  const std::vector<std::string> failures = SaveJobLists(jobs, job, Valid());
  EXPECT_EQ((std::vector<std::string>{"Die Datei\r" + ext +
                                      "\rkonnte nicht geschrieben werden.\rDer Datenträger ist "
                                      "voll."}),
            failures);
  EXPECT_EQ("/home/anna/Briefe\r\n", vktest::ReadFile(data + jobs.GetListFileName(job)));
  EXPECT_TRUE(vktest::Exists(data + "extens.dat"));
}

}  // namespace
