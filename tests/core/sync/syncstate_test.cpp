#include "core/sync/syncstate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/core_support.h"

namespace {

TEST(SyncStateTest, EveryNameComesBackExactlyAndTheFileIsWindows1252) {
  vktest::TempDir dir;
  const std::string path = dir / "B\xFCro.sst";
  const std::string names[] = {
      "Briefe/a.txt",
      "B\xC3\xBCro/\xC3\xA4 \xE2\x82\xAC.doc",  // umlaut and euro sign: kept as they are
      "x/\xE4\xB8\xAD.txt",                     // a character Windows-1252 lacks
      "tab\there\r\nand\\back",                 // control characters and the escape mark
      "bad\xFF\xC3(utf8",                       // bytes that are no UTF-8
      "c1\xC2\x85mark",
  };
  SyncState state;
  EXPECT_EQ(SyncState::LoadResult::Missing, state.Load(path));
  long long t = 1700000000;
  for (const std::string& name : names) {
    state.Put(name, {twoway::Kind::File, 5, t}, {twoway::Kind::File, 5, t + 3600});
    ++t;
  }
  state.Put("Briefe", {twoway::Kind::Folder, 0, 0}, {twoway::Kind::Folder, 0, 0});
  ASSERT_EQ(0, state.Save(path));
  const std::string bytes = vktest::ReadFile(path);
  EXPECT_EQ(0u, bytes.rfind("VolKarn-Abgleich 1\r\n", 0));
  EXPECT_NE(std::string::npos, bytes.find("B\xFCro/\xE4 \x80.doc\r\n"));
  EXPECT_NE(std::string::npos, bytes.find("x/\\xE4\\xB8\\xAD.txt"));

  SyncState read;
  ASSERT_EQ(SyncState::LoadResult::Loaded, read.Load(path));
  EXPECT_EQ(state.Size(), read.Size());
  t = 1700000000;
  for (const std::string& name : names) {
    const SyncState::Known* known = read.Find(name);
    ASSERT_NE(nullptr, known) << name;
    EXPECT_EQ(t, known->a.mtime);
    EXPECT_EQ(t + 3600, known->b.mtime);
    ++t;
  }
  EXPECT_EQ(twoway::Kind::Folder, read.Find("Briefe")->a.kind);
  // What was read back is the same state; one changed time is not.
  EXPECT_TRUE(read.SameAs(state));
  read.Put("Briefe/a.txt", {twoway::Kind::File, 5, 1}, {twoway::Kind::File, 5, 1});
  EXPECT_FALSE(read.SameAs(state));
}

TEST(SyncStateTest, ADamagedFileIsNotTrustedAndNeverWrittenOver) {
  vktest::TempDir dir;
  const std::string path = dir / "s.sst";
  for (const char* bytes : {"irgendwas\r\n", "VolKarn-Abgleich 1\r\nF\t5\tx\t5\t1\ta\r\n",
                            "VolKarn-Abgleich 1\r\nF\t5\t1\t5\t1\ta\\q\r\n"}) {
    vktest::WriteFile(path, bytes);
    SyncState state;
    EXPECT_EQ(SyncState::LoadResult::Unreadable, state.Load(path)) << bytes;
    EXPECT_EQ(0u, state.Size());
    EXPECT_EQ(SyncState::kNotWritten, state.Save(path));
    EXPECT_EQ(bytes, vktest::ReadFile(path));
  }
}

}  // namespace
