// Removing a whole folder, as old versions are removed: fast, never
// through a link, never into another file system.
#include <errno.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/platform_support.h"
#include "support/core_support.h"

namespace fs = std::filesystem;

TEST(RemoveTree, RemovesEverythingBelowButNeverFollowsALink) {
  vktest::TempDir dir;
  const std::string tree = dir / "weg";
  vktest::WriteFile(tree + "/a.txt", "a");
  vktest::WriteFile(tree + "/tief/b/c/d.txt", "d");
  vktest::WriteFile(dir / "draussen/wichtig.txt", "bleibt");
  fs::create_symlink(dir / "draussen", tree + "/verweis");
  fs::create_symlink(dir / "draussen/wichtig.txt", tree + "/tief/datei-verweis");
  ASSERT_EQ(0, mkfifo((tree + "/fifo").c_str(), 0600));
  // Folders closed to their owner, a read-only file.
  vktest::WriteFile(tree + "/zu/e.txt", "e");
  ASSERT_EQ(0, chmod((tree + "/zu").c_str(), 0500));
  vktest::WriteFile(tree + "/nichts/f.txt", "f");
  ASSERT_EQ(0, chmod((tree + "/nichts").c_str(), 0));
  ASSERT_TRUE(platform::MakeReadOnly(tree + "/a.txt"));

  EXPECT_EQ(0, platform::RemoveTree(tree));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
  EXPECT_EQ("bleibt", vktest::ReadFile(dir / "draussen/wichtig.txt"));
  // Nothing there, or a link in the folder's place.
  EXPECT_EQ(0, platform::RemoveTree(tree));
  fs::create_symlink(dir / "draussen", tree);
  EXPECT_EQ(0, platform::RemoveTree(tree));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
  EXPECT_EQ("bleibt", vktest::ReadFile(dir / "draussen/wichtig.txt"));
}

TEST(RemoveTree, AnEntryThatCannotGoIsToldAndTheRestGoes) {
  vktest::TempDir dir;
  const std::string tree = dir / "weg";
  for (const char* f : {"a/1", "b/2", "c/3"}) vktest::WriteFile(tree + "/" + f, "x");
  vktest::FaultHookGuard guard([&](const std::string& op, const std::string& path) {
    return op == "remove-tree" && path == tree + "/b/2" ? EACCES : 0;
  });
  EXPECT_EQ(platform::kErrAccessDenied, platform::RemoveTree(tree));
  EXPECT_EQ(std::vector<std::string>{"b"}, vktest::NamesIn(tree));
  EXPECT_EQ(std::vector<std::string>{"2"}, vktest::NamesIn(tree + "/b"));
}

TEST(RemoveTree, NeverEntersAnotherFileSystem) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  vktest::TempDir dir;
  const std::string tree = dir / "weg";
  vktest::WriteFile(tree + "/a.txt", "a");
  fs::create_directories(tree + "/eingehaengt");
  if (mount("tmpfs", (tree + "/eingehaengt").c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "tmpfs cannot be mounted here";
  vktest::WriteFile(tree + "/eingehaengt/fremd.txt", "fremd");
  EXPECT_EQ(platform::kErrAccessDenied, platform::RemoveTree(tree));
  EXPECT_EQ("fremd", vktest::ReadFile(tree + "/eingehaengt/fremd.txt"));
  EXPECT_FALSE(fs::exists(tree + "/a.txt"));
  umount((tree + "/eingehaengt").c_str());
}
