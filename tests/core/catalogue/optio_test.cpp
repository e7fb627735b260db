#include "core/catalogue/optio.h"
#include "base/windowplace.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "base/pathtext.h"
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
  // What could not be read is never replaced by the defaults.
  EXPECT_EQ(o.SaveSettings(), toptionen::kNotWritten);
  EXPECT_TRUE(std::filesystem::is_directory(GetIniFileName()));
  std::filesystem::remove(GetIniFileName());
  ASSERT_EQ(0, mkfifo(GetIniFileName().c_str(), 0600));
  toptionen fifo;
  EXPECT_EQ(fifo.LoadSettings(), toptionen::LoadResult::Unreadable);
  EXPECT_EQ(fifo.SaveSettings(), toptionen::kNotWritten);
  EXPECT_TRUE(std::filesystem::is_fifo(GetIniFileName()));

  // A failed save leaves the old file.
  toptionen fresh;
  vktest::WriteFile(home_ / "v.ini", "alt\r\n");
  platform::SetFaultHook(
      [](const std::string& op, const std::string&) { return op == "write-atomic" ? 28 : 0; });
  EXPECT_NE(fresh.SaveSettings(home_ / "v.ini"), 0);
  EXPECT_EQ(vktest::ReadFile(home_ / "v.ini"), "alt\r\n");
}

TEST(WindowPlaces, StoredPlacesAndSizesAreFittedToTheScreen) {
  const WindowPlace screen{0, 0, 1024, 768};
  struct Case {
    WindowPlace stored, fitted;
  };
  const int big = 2147483647, small = -2147483647 - 1;
  const Case cases[] = {
      {{100, 50, 600, 400}, {100, 50, 600, 400}},    // fits: unchanged
      {{0, 0, 0, 0}, {0, 0, 0, 0}},                  // defaults
      {{10, 20, big, big}, {0, 0, 1024, 768}},       // a size past every screen
      {{big, big, 300, 200}, {724, 568, 300, 200}},  // off to the right and below
      {{small, small, 300, 200}, {0, 0, 300, 200}},  // off to the left and above
      {{900, 700, 300, -5}, {724, 700, 300, 0}},     // partly off, negative height
  };
  for (const Case& c : cases) {
    const WindowPlace p = ClampPlace(c.stored, screen);
    EXPECT_EQ(c.fitted.left, p.left) << c.stored.left;
    EXPECT_EQ(c.fitted.top, p.top) << c.stored.top;
    EXPECT_EQ(c.fitted.width, p.width) << c.stored.width;
    EXPECT_EQ(c.fitted.height, p.height) << c.stored.height;
  }
  // A screen that does not start at 0.
  const WindowPlace p = ClampPlace({0, 0, 500, 500}, {1920, 30, 1280, 990});
  EXPECT_EQ(1920, p.left);
  EXPECT_EQ(30, p.top);
}

}  // namespace
