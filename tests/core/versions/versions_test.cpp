#include "core/versions/versions.h"

#include "core/versions/keeper.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "support/core_support.h"

namespace {

TDateTime Moment(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  TDateTime date = 0;
  EXPECT_TRUE(TryEncodeDate(y, mo, d, date));
  return date + EncodeTime(h, mi, s, ms);
}

TEST(VersionsTest, RunFolderNamesAreReadBackAndOnlyStampsCount) {
  EXPECT_EQ("2026-12-09 153000", versions::StampName(Moment(2026, 12, 9, 15, 30, 0)));
  // Never rounded up into the next second (or day).
  EXPECT_EQ("2026-12-31 235959", versions::StampName(Moment(2026, 12, 31, 23, 59, 59, 999)));

  struct Case {
    const char* name;
    bool stamp;
    int sequence;
    bool restore;
  } cases[] = {
      {"2026-12-09 153000", true, 1, false},
      {"2026-12-09 153000-2", true, 2, false},
      {"2026-12-09 153000-17 Wiederherstellung", true, 17, true},
      {"2026-12-09 153000 Wiederherstellung", true, 1, true},
      // What a user put there himself stays out of every list.
      {"2026-12-09 15:30:00", false, 0, false},
      {"2026-13-09 153000", false, 0, false},
      {"2026-02-30 153000", false, 0, false},
      {"2026-12-09 246000", false, 0, false},
      {"2026-12-09 153000-1", false, 0, false},
      {"2026-12-09 153000-02", false, 0, false},
      {"2026-12-09 153000 alt", false, 0, false},
      {"Fotos", false, 0, false},
  };
  for (const Case& c : cases) {
    const auto folder = versions::ParseFolderName(c.name);
    ASSERT_EQ(c.stamp, folder.has_value()) << c.name;
    if (!folder) continue;
    EXPECT_EQ(c.sequence, folder->sequence) << c.name;
    EXPECT_EQ(c.restore, folder->restore) << c.name;
    EXPECT_EQ("2026-12-09 153000", versions::StampName(folder->moment)) << c.name;
  }
  EXPECT_TRUE(versions::IsVersionsFolderPath("/home/a/volkarn-versionen/"));
  EXPECT_FALSE(versions::IsVersionsFolderPath("/home/a/VolKarn-Versionen/Briefe"));
}

TEST(VersionsTest, RunsInTheSameSecondGetTheirOwnFoldersListedOldestFirst) {
  vktest::TempDir dir;
  const std::string target = dir / "Ziel";
  std::string name;
  // The job's target folder is never made here (a stick that is not there).
  EXPECT_EQ(platform::kErrPathNotFound,
            versions::MakeRunFolder(target, Moment(2026, 1, 1, 0, 0, 0), false, name));
  ASSERT_TRUE(std::filesystem::create_directory(target));
  std::vector<std::string> names;
  for (const TDateTime moment : {Moment(2026, 3, 1, 8, 0, 0), Moment(2026, 1, 1, 0, 0, 0),
                                 Moment(2026, 3, 1, 8, 0, 0), Moment(2026, 3, 1, 8, 0, 0)}) {
    ASSERT_EQ(0, versions::MakeRunFolder(target, moment, false, name));
    names.push_back(name);
  }
  EXPECT_EQ((std::vector<std::string>{"2026-03-01 080000", "2026-01-01 000000",
                                      "2026-03-01 080000-2", "2026-03-01 080000-3"}),
            names);
  ASSERT_EQ(0, versions::MakeRunFolder(target, Moment(2026, 3, 1, 8, 0, 0), true, name));
  EXPECT_EQ("2026-03-01 080000 Wiederherstellung", name);
  EXPECT_EQ(std::filesystem::perms::owner_all,
            std::filesystem::status(versions::RootOf(target) + "/" + name).permissions() &
                std::filesystem::perms::all);
  ASSERT_TRUE(std::filesystem::create_directory(versions::RootOf(target) + "/Notizen"));

  std::vector<versions::RunFolder> folders;
  ASSERT_EQ(0, versions::ListRunFolders(target, folders));
  std::vector<std::string> listed;
  for (const auto& folder : folders) listed.push_back(folder.name);
  EXPECT_EQ(
      (std::vector<std::string>{"2026-01-01 000000", "2026-03-01 080000", "2026-03-01 080000-2",
                                "2026-03-01 080000-3", "2026-03-01 080000 Wiederherstellung"}),
      listed);

  // The added list keeps every name as it was, odd ones too.
  const std::string run = versions::RootOf(target) + "/" + folders[1].name;
  const std::vector<std::string> added = {"Briefe/a.txt", "Briefe/\xE4\xB8\xAD \\r\r\n.txt",
                                          "Fotos/x/y.jpg"};
  std::vector<std::string> read;
  EXPECT_TRUE(versions::ReadAddedList(run, read));
  EXPECT_TRUE(read.empty());
  ASSERT_EQ(0, versions::WriteAddedList(run, added));
  ASSERT_TRUE(versions::ReadAddedList(run, read));
  EXPECT_EQ(added, read);
}

TEST(VersionsTest, AKeeperMovesWhatARunTakesOutAndListsWhatItAdded) {
  vktest::TempDir dir;
  const std::string target = dir / "Ziel";
  ASSERT_TRUE(std::filesystem::create_directories(target + "/Briefe/2003"));
  const TDateTime start = Moment(2026, 5, 4, 10, 0, 0);
  {
    versions::Keeper keeper(target, start);
    EXPECT_EQ(0, keeper.Finish());
    EXPECT_EQ("", keeper.RunFolderName());  // nothing kept, nothing added: no folder
  }
  EXPECT_FALSE(std::filesystem::exists(versions::RootOf(target)));

  versions::Keeper keeper(target, start);
  const std::string run = versions::RootOf(target) + "/2026-05-04 100000";
  vktest::WriteFile(target + "/Briefe/b.doc", "b");
  ASSERT_EQ(0, keeper.Keep(target + "/Briefe/b.doc", "Briefe/b.doc"));
  // A folder of the run folder that vanished since it was made is made again.
  std::filesystem::remove_all(run + "/Briefe");
  vktest::WriteFile(target + "/Briefe/2003/a.doc", "alt");
  ASSERT_EQ(0, keeper.Keep(target + "/Briefe/2003/a.doc", "Briefe/2003/a.doc"));
  vktest::WriteFile(target + "/Briefe/2003/a.doc", "mittel");
  ASSERT_EQ(0, keeper.Keep(target + "/Briefe/2003/a.doc", "Briefe/2003/a.doc"));
  vktest::WriteFile(target + "/Briefe/c.doc", "c");
  ASSERT_EQ(0, keeper.Keep(target + "/Briefe/c.doc", "Briefe/c.doc"));
  // A missing entry stays missing and is told.
  EXPECT_EQ(platform::kErrFileNotFound, keeper.Keep(target + "/Briefe/weg", "Briefe/weg"));
  keeper.NoteAdded("Briefe/neu.txt");
  ASSERT_EQ(0, keeper.Finish());
  EXPECT_EQ(4, keeper.Kept());
  EXPECT_EQ(run, keeper.RunFolderPath());
  EXPECT_EQ("alt", vktest::ReadFile(run + "/Briefe/2003/a.doc"));
  EXPECT_EQ("mittel", vktest::ReadFile(run + "/Briefe/2003/a.doc.2"));
  EXPECT_EQ("c", vktest::ReadFile(run + "/Briefe/c.doc"));
  EXPECT_FALSE(std::filesystem::exists(target + "/Briefe/2003/a.doc"));
  std::vector<std::string> added;
  ASSERT_TRUE(versions::ReadAddedList(run, added));
  EXPECT_EQ(std::vector<std::string>{"Briefe/neu.txt"}, added);
}

}  // namespace
