#include "base/pathtext.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>

#include "platform/platform.h"

#include "support/core_support.h"

namespace {

TEST(PathText, FilePathAndFileName) {
  EXPECT_EQ(GetFilePath("/Daten/Brief.txt"), "/Daten/");
  EXPECT_EQ(GetFilePath("Brief.txt"), "");
  EXPECT_EQ(GetFilePath(""), "");
  EXPECT_EQ(GetFilePath("/Brief.txt"), "/");
  // ":" is an ordinary character of a name.
  EXPECT_EQ(GetFilePath("/Daten/C:Brief.txt"), "/Daten/");
  EXPECT_EQ(GetFileName("/Daten/C:Brief.txt"), "C:Brief.txt");
  EXPECT_EQ(GetFileName("/Daten/Brief.txt"), "Brief.txt");
  EXPECT_EQ(GetFileName("Brief.txt"), "Brief.txt");
  EXPECT_EQ(GetFileName("/Sich/Daten/"), "");
}

TEST(PathText, ParentDirAndLastPart) {
  EXPECT_EQ(GetParentDir("/a/b"), "/a");
  EXPECT_EQ(GetParentDir("/a/b/"), "/a/b");
  EXPECT_EQ(GetParentDir("/a"), "");
  EXPECT_EQ(GetParentDir("b"), "");
  EXPECT_EQ(GetParentDir(""), "");
  EXPECT_EQ(GetLastPathPart("/a/b"), "b");
  EXPECT_EQ(GetLastPathPart("/a/b/"), "");
  EXPECT_EQ(GetLastPathPart("b"), "b");
  // A top-level folder maps to its own name below a target.
  EXPECT_EQ(GetLastPathPart("/Daten"), "Daten");
  EXPECT_EQ(GetLastPathPart("/"), "");
}

TEST(PathText, ExtUpper) {
  EXPECT_EQ(GetExtUpper("/home/Brief.txt"), "TXT");
  EXPECT_EQ(GetExtUpper(".profile"), "PROFILE");
  EXPECT_EQ(GetExtUpper("archiv.Tar.gz"), "GZ");
  EXPECT_EQ(GetExtUpper("abc."), "");
  EXPECT_EQ(GetExtUpper("a.b."), "B.");
  EXPECT_EQ(GetExtUpper("README"), "");
  EXPECT_EQ(GetExtUpper("/x.d/README"), "");
  EXPECT_EQ(GetExtUpper("/home/notiz.äöü"), "ÄÖÜ");
  EXPECT_EQ(GetExtUpper(""), "");
}

TEST(PathText, ChangeExtAndSeparators) {
  EXPECT_EQ(ChangeExt("volkarn", "ini"), "volkarn.ini");
  EXPECT_EQ(ChangeExt("/opt/volkarn.exe", "ini"), "/opt/volkarn.ini");
  EXPECT_EQ(ChangeExt("/opt.d/volkarn", "ini"), "/opt.d/volkarn.ini");
  EXPECT_EQ(AddBackslash(""), "");
  EXPECT_EQ(AddBackslash("/a"), "/a/");
  EXPECT_EQ(AddBackslash("/a/"), "/a/");
  EXPECT_EQ(RemoveBackslash(""), "");
  EXPECT_EQ(RemoveBackslash("/a//"), "/a/");
  EXPECT_EQ(RemoveBackslash("/a"), "/a");
}

TEST(PathText, ProgramAndHomeFolders) {
  std::string dir = GetProgramDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_EQ(dir + GetProgramFileName(), std::filesystem::read_symlink("/proc/self/exe").string());

  vktest::TempDir home;
  SetHomeDirForTesting(home.path());
  EXPECT_EQ(GetHomeDir(), home.path());
  EXPECT_EQ(GetIniFileName(), home.path() + ChangeExt(GetProgramFileName(), "ini"));
  SetHomeDirForTesting(home.path() + "sub");
  EXPECT_EQ(GetHomeDir(), home.path() + "sub/");
  SetHomeDirForTesting("");
}

// Restores an environment variable when the test ends.
class EnvGuard {
 public:
  EnvGuard(const char* name, const std::string& value) : name_(name) {
    const char* before = std::getenv(name);
    had_ = before != nullptr;
    if (had_) saved_ = before;
    setenv(name, value.c_str(), 1);
  }
  ~EnvGuard() {
    if (had_)
      setenv(name_, saved_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string saved_;
};

TEST(PathText, WithoutTheMarkerSettingsAndDataGoToTheUsersFolders) {
  vktest::TempDir dir;
  EXPECT_FALSE(IsPortableProgramDir(dir.path()));
  vktest::WriteFile(dir / kPortableMarker, "");
  EXPECT_TRUE(IsPortableProgramDir(dir.path()));

  // The test program has no marker beside it: it behaves as installed.
  ASSERT_FALSE(IsPortableProgramDir(GetProgramDir()));
  EnvGuard data("XDG_DATA_HOME", dir.path() + "data");
  EnvGuard config("XDG_CONFIG_HOME", dir.path() + "config");
  // Settings found beside the data move to the settings folder once.
  const std::string ini = ChangeExt(GetProgramFileName(), "ini");
  vktest::WriteFile(dir / ("data/VolKarn/" + ini), "Alt\r\n");
  SetHomeDirForTesting("");
  EXPECT_EQ(dir.path() + "data/VolKarn/", GetHomeDir());
  EXPECT_EQ(dir.path() + "config/VolKarn/", GetConfigDir());
  EXPECT_EQ(dir.path() + "config/VolKarn/" + ini, GetIniFileName());
  EXPECT_TRUE(std::filesystem::is_directory(GetHomeDir()));
  EXPECT_EQ("Alt\r\n", vktest::ReadFile(GetIniFileName()));
  EXPECT_FALSE(std::filesystem::exists(dir / ("data/VolKarn/" + ini)));
  SetHomeDirForTesting("");
}

TEST(PathText, CountFilesWalksTheTreeButNoLinks) {
  vktest::TempDir dir;
  vktest::WriteFile(dir / "a.txt", "1");
  vktest::WriteFile(dir / ".versteckt", "2");
  vktest::WriteFile(dir / "sub/b.txt", "3");
  vktest::WriteFile(dir / "sub/c.doc", "4");
  vktest::WriteFile(dir / "sub/tief/d.txt", "5");
  std::filesystem::create_directory(dir / "leer");
  EXPECT_EQ(CountFiles(dir.path()), 5);
  EXPECT_EQ(CountFiles(RemoveBackslash(dir.path()), "*.*"), 5);

  // A link to a folder counts as one entry and is never entered.
  std::filesystem::create_directory_symlink(dir / "sub", dir / "link");
  EXPECT_EQ(CountFiles(dir.path()), 6);

  // Folders are entered only when their names match the mask.
  EXPECT_EQ(CountFiles(dir.path(), "*.TXT"), 1);
  EXPECT_EQ(CountFiles(dir / "sub", "*.txt"), 1);
  EXPECT_EQ(CountFiles(dir / "missing"), 0);
}

}  // namespace
