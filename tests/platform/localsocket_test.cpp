// The local socket of a running program: only the user reaches it, an old
// file of that name does not stop it, and a later start's knock arrives.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/localsocket.h"
#include "support/core_support.h"

namespace {

TEST(LocalSocket, OnlyTheUserReachesItAndEveryKnockArrives) {
  vktest::TempDir dir;
  const std::string path = dir / "vk.sock";
  EXPECT_FALSE(platform::TellLocal(path, "front\n", 100)) << "nobody listens yet";
  // A file left by a program that was killed.
  vktest::WriteFile(path, "alt");
  platform::LocalListener listener;
  ASSERT_TRUE(listener.Listen(path));
  struct stat st {};
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(0600u, st.st_mode & 07777);
  EXPECT_EQ(0, listener.AcceptAll());
  for (int knocks : {1, 3}) {
    for (int i = 0; i < knocks; ++i) EXPECT_TRUE(platform::TellLocal(path, "front\n", 1000));
    EXPECT_EQ(knocks, listener.AcceptAll());
  }
  // No temporary folder stays beside the socket.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(1, entries);
  listener.Close();
  EXPECT_NE(0, ::stat(path.c_str(), &st)) << "the socket file goes with the program";
  EXPECT_FALSE(platform::TellLocal(path, "front\n", 100));
}

TEST(LocalSocket, APathTooLongOrInAMissingFolderIsRefused) {
  vktest::TempDir dir;
  platform::LocalListener listener;
  EXPECT_FALSE(listener.Listen(dir / std::string(200, 'x')));
  EXPECT_FALSE(listener.Listen(dir / "fehlt/vk.sock"));
  EXPECT_EQ(-1, listener.Descriptor());
  EXPECT_FALSE(platform::TellLocal(dir / std::string(200, 'x'), "front\n", 100));
}

}  // namespace
