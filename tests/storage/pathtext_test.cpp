#include "storage/pathtext.h"

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
  // The build tree is writable, so the program keeps everything beside itself.
  EXPECT_EQ(GetHomeDir(), GetProgramDir());
}

TEST(PathText, AProgramFolderThatCannotBeWrittenSendsSettingsAndDataToTheUser) {
  vktest::TempDir data;
  const char* before = std::getenv("XDG_DATA_HOME");
  const std::string saved = before != nullptr ? before : "";
  setenv("XDG_DATA_HOME", (data.path() + "xdg").c_str(), 1);
  const std::string programDir = GetProgramDir();
  platform::SetFaultHook([programDir](const std::string& op, const std::string& path) {
    return op == "dir-writable" && path == programDir ? EACCES : 0;
  });
  SetHomeDirForTesting("");
  const std::string home = GetHomeDir();
  platform::SetFaultHook(nullptr);
  EXPECT_EQ(data.path() + "xdg/VolKarn/", home);
  EXPECT_TRUE(std::filesystem::is_directory(home));
  // Decided once: settings and data stay together for the whole run.
  EXPECT_EQ(home, GetHomeDir());
  EXPECT_EQ(home + ChangeExt(GetProgramFileName(), "ini"), GetIniFileName());
  if (before != nullptr)
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_DATA_HOME");
  SetHomeDirForTesting("");
  EXPECT_EQ(GetProgramDir(), GetHomeDir());
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
