#include "core/catalogue/jobopt.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/core_support.h"

namespace {

TEST(JobOptionsTest, DefaultsValuesAndLinesOfOthersSurviveAReadAndAWrite) {
  vktest::TempDir dir;
  const std::string path = dir / "B\xFCro.opt";
  JobOptions options;
  EXPECT_EQ(JobOptions::LoadResult::Missing, options.Load(path));
  EXPECT_TRUE(options.Versions);
  EXPECT_EQ(90, options.VersionDays);
  EXPECT_FALSE(options.Mirror);

  struct Case {
    std::string file;  // as stored
    bool versions;
    int days;
    bool mirror;
    std::string written;  // after Save
  } cases[] = {
      {"Versionen=0\r\nVersionenTage=0\r\nSpiegeln=1\r\n", false, 0, true,
       "Versionen=0\r\nVersionenTage=0\r\nSpiegeln=1\r\n"},
      // Keys in any case and order, blanks around values, LF only.
      {"spiegeln = 1\nVERSIONENTAGE=7\n", true, 7, true,
       "Versionen=1\r\nVersionenTage=7\r\nSpiegeln=1\r\n"},
      // What the program does not know, or a value that does not fit,
      // stays; the option keeps its default.
      {"Ausschluss=Cache/\r\nVersionen=vielleicht\r\nVersionenTage=-3\r\n", true, 90, false,
       "Versionen=1\r\nVersionenTage=90\r\nSpiegeln=0\r\nAusschluss=Cache/\r\n"
       "Versionen=vielleicht\r\nVersionenTage=-3\r\n"},
      {"", true, 90, false, "Versionen=1\r\nVersionenTage=90\r\nSpiegeln=0\r\n"},
  };
  for (const Case& c : cases) {
    vktest::WriteFile(path, c.file);
    ASSERT_EQ(JobOptions::LoadResult::Loaded, options.Load(path)) << c.file;
    EXPECT_EQ(c.versions, options.Versions) << c.file;
    EXPECT_EQ(c.days, options.VersionDays) << c.file;
    EXPECT_EQ(c.mirror, options.Mirror) << c.file;
    ASSERT_EQ(0, options.Save(path));
    EXPECT_EQ(c.written, vktest::ReadFile(path)) << c.file;
  }
}

TEST(JobOptionsTest, SetTakesOnlyKnownKeysWithFittingValues) {
  JobOptions options;
  EXPECT_EQ(JobOptions::SetResult::Done, options.Set("spiegeln", "1"));
  EXPECT_TRUE(options.Mirror);
  EXPECT_EQ(JobOptions::SetResult::Done, options.Set("VersionenTage", "365"));
  EXPECT_EQ(365, options.VersionDays);
  EXPECT_EQ(JobOptions::SetResult::BadValue, options.Set("Versionen", "ja"));
  EXPECT_EQ(JobOptions::SetResult::BadValue, options.Set("VersionenTage", "99999999"));
  EXPECT_EQ(JobOptions::SetResult::UnknownKey, options.Set("Farbe", "rot"));
  EXPECT_TRUE(options.Versions);
}

TEST(JobOptionsTest, AFileThatCannotBeReadIsNeverWrittenOver) {
  vktest::TempDir dir;
  const std::string path = dir / "Job.opt";
  std::filesystem::create_directory(path);  // not readable as a file
  JobOptions options;
  EXPECT_EQ(JobOptions::LoadResult::Unreadable, options.Load(path));
  EXPECT_EQ(JobOptions::kNotWritten, options.Save(path));
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

}  // namespace
