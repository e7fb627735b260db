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
  EXPECT_EQ(7, options.WarnAfterDays);
  EXPECT_TRUE(options.Patterns.empty());

  const std::string defaults =
      "Versionen=1\r\nVersionenTage=90\r\nSpiegeln=0\r\nWarnenNachTagen=7\r\n";
  struct Case {
    std::string file;  // as stored
    bool versions;
    int days;
    bool mirror;
    int warn;
    std::vector<std::string> patterns;
    std::string written;  // after Save
  } cases[] = {
      {"Versionen=0\r\nVersionenTage=0\r\nSpiegeln=1\r\nWarnenNachTagen=0\r\n",
       false,
       0,
       true,
       0,
       {},
       "Versionen=0\r\nVersionenTage=0\r\nSpiegeln=1\r\nWarnenNachTagen=0\r\n"},
      // Keys in any case and order, blanks around values, LF only.
      {"spiegeln = 1\nVERSIONENTAGE=7\nwarnennachtagen= 14\n",
       true,
       7,
       true,
       14,
       {},
       "Versionen=1\r\nVersionenTage=7\r\nSpiegeln=1\r\nWarnenNachTagen=14\r\n"},
      // Patterns keep their order wherever they stand; an empty one clears
      // nothing; the same one twice (letter case ignored) is kept once.
      {"Ausschluss=Cache/\r\nVersionen=1\r\nausschluss = *.tmp \r\nAusschluss=\r\n"
       "Ausschluss=/Projekte/alt/\r\nAusschluss=cache/\r\nAusschluss=**/node_modules/\r\n",
       true,
       90,
       false,
       7,
       {"Cache/", "*.tmp", "/Projekte/alt/", "**/node_modules/"},
       defaults + "Ausschluss=Cache/\r\nAusschluss=*.tmp\r\nAusschluss=/Projekte/alt/\r\n"
                  "Ausschluss=**/node_modules/\r\n"},
      // What the program does not know, or a value that does not fit,
      // stays; the option keeps its default.
      {"Farbe=rot\r\nVersionen=vielleicht\r\nVersionenTage=-3\r\nWarnenNachTagen=x\r\n"
       "Ausschluss=/\r\n",
       true,
       90,
       false,
       7,
       {},
       defaults + "Farbe=rot\r\nVersionen=vielleicht\r\nVersionenTage=-3\r\nWarnenNachTagen=x\r\n"
                  "Ausschluss=/\r\n"},
      {"", true, 90, false, 7, {}, defaults},
  };
  for (const Case& c : cases) {
    vktest::WriteFile(path, c.file);
    ASSERT_EQ(JobOptions::LoadResult::Loaded, options.Load(path)) << c.file;
    EXPECT_EQ(c.versions, options.Versions) << c.file;
    EXPECT_EQ(c.days, options.VersionDays) << c.file;
    EXPECT_EQ(c.mirror, options.Mirror) << c.file;
    EXPECT_EQ(c.warn, options.WarnAfterDays) << c.file;
    EXPECT_EQ(c.patterns, options.Patterns) << c.file;
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
  EXPECT_EQ(JobOptions::SetResult::Done, options.Set("WarnenNachTagen", "0"));
  EXPECT_EQ(0, options.WarnAfterDays);
  EXPECT_EQ(JobOptions::SetResult::BadValue, options.Set("WarnenNachTagen", "-1"));

  // The pattern list: add, add again, remove, clear; a pattern that can
  // hit nothing or that the file cannot hold is refused.
  struct Step {
    std::string key, value;
    JobOptions::SetResult result;
    std::vector<std::string> after;
  } steps[] = {
      {"Ausschluss+", "Cache/", JobOptions::SetResult::Done, {"Cache/"}},
      {"ausschluss", "*.tmp", JobOptions::SetResult::Done, {"Cache/", "*.tmp"}},
      {"Ausschluss+", "CACHE/", JobOptions::SetResult::Done, {"Cache/", "*.tmp"}},
      {"Ausschluss+", " / ", JobOptions::SetResult::BadValue, {"Cache/", "*.tmp"}},
      {"Ausschluss+", "\u4E2D/", JobOptions::SetResult::BadValue, {"Cache/", "*.tmp"}},
      {"Ausschluss-", "*.doc", JobOptions::SetResult::BadValue, {"Cache/", "*.tmp"}},
      {"Ausschluss-", "cache/", JobOptions::SetResult::Done, {"*.tmp"}},
      {"Ausschluss+", "/Projekte/alt/", JobOptions::SetResult::Done, {"*.tmp", "/Projekte/alt/"}},
      {"Ausschluss", "", JobOptions::SetResult::Done, {}},
      {"Ausschluss*", "x", JobOptions::SetResult::UnknownKey, {}},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(s.result, options.Set(s.key, s.value)) << s.key << s.value;
    EXPECT_EQ(s.after, options.Patterns) << s.key << s.value;
  }
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
