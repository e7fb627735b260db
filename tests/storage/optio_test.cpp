#include "storage/optio.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "storage/pathtext.h"
#include "support/core_support.h"

namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override { SetHomeDirForTesting(home_.path()); }
  void TearDown() override {
    platform::SetFaultHook(nullptr);
    SetHomeDirForTesting("");
  }
  vktest::TempDir home_;
};

TEST_F(Settings, MissingFileGivesTwelveZeros) {
  toptionen o;
  EXPECT_EQ(o.LoadSettings(), toptionen::LoadResult::Missing);
  EXPECT_EQ(o.Lines(), std::vector<std::string>(12, "0"));
  std::string name;
  EXPECT_TRUE(o.GetLastBackup(name));
  EXPECT_EQ(name, "0");
  int left = -1, top = -1;
  o.GetMainFormPos(left, top);
  EXPECT_EQ(left, 0);
  EXPECT_FALSE(o.GetCB1());
  EXPECT_FALSE(o.GetCheckDirDate());
  EXPECT_TRUE(o.BadLines().empty());
}

TEST_F(Settings, ShortFileIsExtendedAndWrittenBackWithTwelveLines) {
  const std::string ini = GetIniFileName();
  EXPECT_EQ(GetFileName(ini), ChangeExt(GetProgramFileName(), "ini"));
  vktest::WriteFile(ini, "B\xFCro\r\n-10\r\n25");
  toptionen o;
  EXPECT_EQ(o.LoadSettings(), toptionen::LoadResult::Loaded);
  ASSERT_EQ(o.Lines().size(), 12u);
  std::string name;
  EXPECT_TRUE(o.GetLastBackup(name));
  EXPECT_EQ(name, "Büro");
  int left, top, width;
  o.Getneuformpos(left, top, width);
  EXPECT_EQ(left, -10);
  EXPECT_EQ(top, 25);
  EXPECT_EQ(width, 0);

  o.SetKopFormPos(1, -2, 300, 2147483647);
  o.SetCB1(true);
  o.SetMainFormPos(-2147483647 - 1, 7);
  ASSERT_EQ(o.SaveSettings(), 0);
  EXPECT_EQ(vktest::ReadFile(ini),
            "B\xFCro\r\n-10\r\n25\r\n0\r\n-2147483648\r\n7\r\n1\r\n-2\r\n300\r\n2147483647\r\n"
            "1\r\n0\r\n");
  toptionen back;
  back.LoadSettings();
  int l, t, w, h;
  back.GetKopFormPos(l, t, w, h);
  EXPECT_EQ(h, 2147483647);
  EXPECT_TRUE(back.GetCB1());
}

TEST_F(Settings, LinesBeyondTwelveStay) {
  std::string file;
  for (int i = 0; i < 13; ++i) file += (i == 12 ? "zusatz" : "0") + std::string("\r\n");
  vktest::WriteFile(home_ / "own.ini", file);
  toptionen o;
  o.LoadSettings(home_ / "own.ini");
  ASSERT_EQ(o.Lines().size(), 13u);
  o.SetCheckDirDate(true);
  ASSERT_EQ(o.SaveSettings(home_ / "own.ini"), 0);
  std::string expected = file;
  expected.replace(expected.rfind("0\r\nzusatz"), 1, "1");
  EXPECT_EQ(vktest::ReadFile(home_ / "own.ini"), expected);
}

TEST_F(Settings, FlagsAreCheckedOnlyByAPlainOne) {
  vktest::WriteFile(GetIniFileName(), "x\n0\n0\n0\n0\n0\n0\n0\n0\n0\n1 \n1\n");
  toptionen o;
  o.LoadSettings();
  EXPECT_FALSE(o.GetCB1());
  EXPECT_TRUE(o.GetCheckDirDate());
}

TEST_F(Settings, BrokenNumbersReadAsZeroAndAreReportedOnce) {
  vktest::WriteFile(GetIniFileName(),
                    "Job\r\n12\r\n 5\r\n0\r\nabc\r\n3\r\n99999999999\r\n0\r\n$10\r\n");
  toptionen o;
  EXPECT_EQ(o.LoadSettings(), toptionen::LoadResult::Loaded);
  EXPECT_EQ(o.BadLines(), (std::vector<int>{2, 4, 6, 8}));
  int left, top, width;
  o.Getneuformpos(left, top, width);
  EXPECT_EQ(left, 12);
  EXPECT_EQ(top, 0);
  o.GetMainFormPos(left, top);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(top, 3);
  EXPECT_EQ(o.BadLines().size(), 4u);  // reading again adds nothing
}

TEST_F(Settings, UnreadableOrUnwritableFile) {
  std::filesystem::create_directory(GetIniFileName());
  toptionen o;
  EXPECT_EQ(o.LoadSettings(), toptionen::LoadResult::Unreadable);
  EXPECT_EQ(o.Lines().size(), 12u);
  EXPECT_NE(o.SaveSettings(), 0);

  // A failed save leaves the old file.
  vktest::WriteFile(home_ / "v.ini", "alt\r\n");
  platform::SetFaultHook(
      [](const std::string& op, const std::string&) { return op == "write-atomic" ? 28 : 0; });
  EXPECT_NE(o.SaveSettings(home_ / "v.ini"), 0);
  EXPECT_EQ(vktest::ReadFile(home_ / "v.ini"), "alt\r\n");
}

}  // namespace
