#include "core/sync/syncdefs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/core_support.h"

namespace {

TEST(SyncDefinitionsTest, NamesAndPairsAreCheckedBeforeTheyAreStored) {
  SyncDefinitions defs;
  ASSERT_TRUE(defs.Add({"B\xC3\xBCro", "/home/anna/B\xC3\xBCro", "/media/stick/B\xC3\xBCro"}));
  struct Case {
    SyncDefinition d;
    const char* refusal;  // start of the text; "" = stored
  } cases[] = {
      {{"  ", "/a", "/b"}, "Es wurde kein Name"},
      {{"b\xC3\x9CRO", "/a", "/b"}, "Eine Synchronisation namens \"B\xC3\xBCro\" gibt es schon"},
      {{"123456789012345678901", "/a", "/b"},
       "Der Name darf h\xC3\xB6"
       "chstens 20"},
      {{"a/b", "/a", "/b"}, "Der Name \"a/b\" enth\xC3\xA4lt"},
      {{"..", "/a", "/b"}, "Der Name \"..\" enth\xC3\xA4lt"},
      {{"\xE4\xB8\xAD", "/a", "/b"}, "Der Name \"\xE4\xB8\xAD\" enth\xC3\xA4lt"},
      {{"Fotos", "", "/b"}, "Es wurde kein Verzeichnispaar"},
      {{"Fotos", "/a\nb", "/b"}, "Das Verzeichnis"},
      {{" Fotos ", "/home/anna/Fotos", "/media/stick/Fotos"}, ""},
  };
  for (const Case& c : cases) {
    const std::string refusal = defs.Refusal(c.d);
    EXPECT_EQ(0u, refusal.rfind(c.refusal, 0)) << c.d.name << ": " << refusal;
  }
  // A definition may keep its own name when it is edited.
  EXPECT_EQ("", defs.Refusal({"B\xC3\x9CRO", "/x", "/y"}, 0));
  EXPECT_TRUE(defs.Replace(0, {"B\xC3\x9CRO", "/x", "/y"}));
  EXPECT_EQ("/x", defs.All()[0].first);
}

TEST(SyncDefinitionsTest, StoredAsWindows1252WithCrLfAndNeverWrittenOverWhenUnreadable) {
  vktest::TempDir dir;
  const std::string path = dir / SyncDefinitions::kFileName;
  SyncDefinitions defs;
  EXPECT_EQ(SyncDefinitions::LoadResult::Missing, defs.Load(path));
  ASSERT_TRUE(defs.Add({"B\xC3\xBCro", "/home/anna/B\xC3\xBCro", "/media/stick"}));
  ASSERT_TRUE(defs.Add({"Fotos", "/a", "/b"}));
  ASSERT_EQ(0, defs.Save(path));
  EXPECT_EQ("[B\xFCro]\r\n1=/home/anna/B\xFCro\r\n2=/media/stick\r\n[Fotos]\r\n1=/a\r\n2=/b\r\n",
            vktest::ReadFile(path));
  SyncDefinitions read;
  ASSERT_EQ(SyncDefinitions::LoadResult::Loaded, read.Load(path));
  ASSERT_EQ(2u, read.All().size());
  EXPECT_EQ("/home/anna/B\xC3\xBCro", read.All()[0].first);
  EXPECT_EQ(1, read.Find("fotos"));
  read.Remove(0);
  ASSERT_EQ(0, read.Save(path));
  EXPECT_EQ("[Fotos]\r\n1=/a\r\n2=/b\r\n", vktest::ReadFile(path));

  const std::string broken = dir / "kaputt.syn";
  std::filesystem::create_directory(broken);
  EXPECT_EQ(SyncDefinitions::LoadResult::Unreadable, read.Load(broken));
  EXPECT_EQ(SyncDefinitions::kNotWritten, read.Save(broken));
  EXPECT_TRUE(std::filesystem::is_directory(broken));
}

}  // namespace
