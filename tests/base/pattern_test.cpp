#include "base/pattern.h"

#include <gtest/gtest.h>

namespace {

TEST(ExclusionPatternsTest, EachFormHitsWhatItMustAndNothingElse) {
  struct Case {
    const char* pattern;
    const char* path;
    bool folder;
    bool hit;
  } cases[] = {
      // A plain name at any depth, files and folders alike.
      {"Cache", "Cache", true, true},
      {"Cache", "a/b/cache", false, true},
      {"Cache", "a/Cachedir", true, false},
      {"Cache", "Cache/x", false, false},  // the walk never gets there
      // Folders only.
      {"Cache/", "home/.cache/x/Cache", true, true},
      {"Cache/", "Cache", false, false},
      // "*" stays inside one name, "?" is one character (also an umlaut).
      {"*.tmp", "a.TMP", false, true},
      {"*.tmp", "x/y/z.tmp", false, true},
      {"*.tmp", "a.tmp.bak", false, false},
      {"a*b", "a/b", false, false},
      {"Br?ef.doc", "Brief.doc", false, true},
      {"Br?ef.doc",
       "Br\xC3\xBC"
       "ef.doc",
       false, true},
      {"Br?ef.doc", "Br/ef.doc", false, false},
      // Anchored at the source folder.
      {"/Projekte/alt/", "Projekte/alt", true, true},
      {"/Projekte/alt/", "x/Projekte/alt", true, false},
      {"/Projekte/alt/", "Projekte/alt", false, false},
      {"/*.log", "a.log", false, true},
      {"/*.log", "x/a.log", false, false},
      // "**" crosses folders, "**/" also stands for none.
      {"**/node_modules/", "node_modules", true, true},
      {"**/node_modules/", "web/app/node_modules", true, true},
      {"/src/**/*.o", "src/a.o", false, true},
      {"/src/**/*.o", "src/x/y/a.o", false, true},
      {"/src/**/*.o", "lib/src/a.o", false, false},
      {"/build/**", "build/x/y", false, true},
      // A path in the middle of a pattern hits at any depth.
      {"Projekte/alt", "a/Projekte/alt", true, true},
      {"Projekte/alt", "a/Projekte/alt2", true, false},
      // Letter case is ignored, umlauts too.
      {"\xC3\x9C"
       "bung/",
       "\xC3\xBC"
       "BUNG",
       true, true},
      // Many stars stay cheap and exact.
      {"*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false, false},
  };
  for (const Case& c : cases) {
    ExclusionPatterns patterns;
    ASSERT_TRUE(patterns.Add(c.pattern)) << c.pattern;
    EXPECT_EQ(c.hit, patterns.Hits(c.path, c.folder)) << c.pattern << " ~ " << c.path;
  }
}

TEST(ExclusionPatternsTest, WhatLiesInAnExcludedFolderGoesWithItAndEmptyPatternsHitNothing) {
  ExclusionPatterns patterns;
  EXPECT_FALSE(patterns.Add(""));
  EXPECT_FALSE(patterns.Add(" / "));
  EXPECT_TRUE(patterns.Empty());
  EXPECT_FALSE(patterns.Excludes("a", false));
  ASSERT_TRUE(patterns.Add("*.bak"));
  ASSERT_TRUE(patterns.Add("Cache/"));
  EXPECT_TRUE(patterns.Excludes("x/Cache/deep/a.txt", false));
  EXPECT_FALSE(patterns.Hits("x/Cache/deep/a.txt", false));
  EXPECT_FALSE(patterns.Excludes("x/Cache.txt", false));
  EXPECT_EQ(0, patterns.FirstHit("a.bak", false));
  EXPECT_EQ(1, patterns.FirstHit("Cache", true));
  EXPECT_EQ(-1, patterns.FirstHit("Cache", false));
}

}  // namespace
