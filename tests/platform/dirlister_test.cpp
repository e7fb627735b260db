// Directory listing, stamps and the file tests of the operating-system layer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/platform_support.h"
#include "support/core_support.h"

using platform::DirEntry;
using platform::DirLister;
using platform::EntryKind;

namespace {

constexpr platform::DosStamp kFirstStamp = 0x00210000;  // 1 Jan 1980 00:00:00

std::time_t LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
  struct tm t {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return mktime(&t);
}

void SetMtime(const std::string& path, std::time_t sec, long nsec) {
  const struct timespec times[2] = {{sec, nsec}, {sec, nsec}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW));
}

std::map<std::string, DirEntry> ListAll(const std::string& dir, bool describe) {
  std::map<std::string, DirEntry> entries;
  DirLister lister(dir);
  EXPECT_TRUE(lister.IsOpen());
  DirEntry e;
  while (lister.Next(e, describe)) entries[e.name] = e;
  return entries;
}

}  // namespace

TEST(DosStamp, PacksLocalTimeAndClampsBothEnds) {
  platform::LocalTime lt;
  lt.year = 2003;
  lt.month = 2;
  lt.day = 22;
  lt.hour = 13;
  lt.minute = 45;
  lt.second = 31;
  EXPECT_EQ((23u << 25) | (2u << 21) | (22u << 16) | (13u << 11) | (45u << 5) | 15u,
            platform::PackDosStamp(lt));
  lt.year = 1979;
  EXPECT_EQ(kFirstStamp, platform::PackDosStamp(lt));
  lt.year = 2108;
  EXPECT_EQ(0xFF9FBF7Du, platform::PackDosStamp(lt));  // 31.12.2107 23:59:58
  lt.year = 2050;  // above 2043 the top bit is set: still later as unsigned
  EXPECT_GT(platform::PackDosStamp(lt), (63u << 25));

  const std::time_t t = LocalSeconds(2010, 7, 4, 8, 9, 10);
  const platform::LocalTime back = platform::ToLocal(t, 250000000);
  EXPECT_EQ(2010, back.year);
  EXPECT_EQ(7, back.month);
  EXPECT_EQ(4, back.day);
  EXPECT_EQ(8, back.hour);
  EXPECT_EQ(9, back.minute);
  EXPECT_EQ(10, back.second);
  EXPECT_EQ(250, back.millisecond);
  EXPECT_EQ(platform::PackDosStamp(back), platform::DosStampOf(t));
  EXPECT_EQ(kFirstStamp, platform::DosStampOf(0));
  EXPECT_GE(platform::Now().year, 2024);
}

TEST(DosStamp, LocalTimesAreThoseOfTheCLibraryInEveryKindOfZone) {
  // Changes of an hour, of half an hour and at odd minutes, a zone with
  // leap seconds in its table, and times before 1970: the local time of
  // every stamp is what localtime_r gives (a leap second counting as :59).
  const char* const saved = std::getenv("TZ");
  const std::string before = saved != nullptr ? saved : "";
  for (const char* zone : {"UTC", "Europe/Berlin", "America/St_Johns", "Australia/Lord_Howe",
                           "Asia/Kathmandu", "right/Europe/Berlin"}) {
    if (!std::filesystem::exists(std::string("/usr/share/zoneinfo/") + zone)) continue;
    setenv("TZ", zone, 1);
    tzset();
    // A thread of its own: its hours are converted afresh.
    std::thread([zone] {
      std::vector<std::time_t> times;
      for (std::time_t t = 1445734800 - 2 * 86400; t < 1445734800 + 400 * 86400; t += 449)
        times.push_back(t);  // over two changes of the clock, every 7.5 minutes or so
      for (std::time_t t = -2208988800; t < 4102444800; t += 7777777) times.push_back(t);
      for (std::time_t t : times) {
        for (int pass = 0; pass < 3; ++pass) {  // the third from what was kept
          struct tm expected {};
          ASSERT_NE(nullptr, localtime_r(&t, &expected));
          const platform::LocalTime got = platform::ToLocal(t);
          EXPECT_EQ(expected.tm_year + 1900, got.year) << zone << " " << t;
          EXPECT_EQ(expected.tm_mon + 1, got.month) << zone << " " << t;
          EXPECT_EQ(expected.tm_mday, got.day) << zone << " " << t;
          EXPECT_EQ(expected.tm_hour, got.hour) << zone << " " << t;
          EXPECT_EQ(expected.tm_min, got.minute) << zone << " " << t;
          EXPECT_EQ(std::min(expected.tm_sec, 59), got.second) << zone << " " << t;
        }
      }
    }).join();
  }
  if (saved != nullptr)
    setenv("TZ", before.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(DirLister, ReportsKindsAttributesAndStamps) {
  vktest::TempDir dir;
  vktest::WriteFile(dir / "plain.txt", "12345");
  vktest::WriteFile(dir / ".hidden", "x");
  vktest::WriteFile(dir / "locked.txt", "abc");
  ASSERT_TRUE(platform::MakeReadOnly(dir / "locked.txt"));
  vktest::WriteFile(dir / "old.txt", "");
  vktest::WriteFile(dir / "sub/inner.txt", "deep");
  ASSERT_EQ(0, symlink("sub", (dir / "link-to-dir").c_str()));
  ASSERT_EQ(0, symlink("missing", (dir / "dangling").c_str()));
  ASSERT_EQ(0, mkfifo((dir / "pipe").c_str(), 0644));

  const std::time_t known = LocalSeconds(2003, 2, 22, 13, 45, 31);
  SetMtime(dir / "plain.txt", known, 987654321);
  SetMtime(dir / "old.txt", LocalSeconds(1975, 6, 1, 12, 0, 0), 0);

  const auto all = ListAll(dir.path(), true);
  ASSERT_EQ(8u, all.size());  // never "." or ".."
  EXPECT_EQ(0u, all.count("."));
  EXPECT_EQ(0u, all.count(".."));

  const DirEntry& plain = all.at("plain.txt");
  EXPECT_EQ(EntryKind::File, plain.kind);
  EXPECT_EQ(5u, plain.size);
  EXPECT_FALSE(plain.hidden);
  EXPECT_FALSE(plain.readOnly);
  EXPECT_EQ(known, plain.mtime);
  EXPECT_EQ(987654321, plain.mtimeNsec);
  EXPECT_EQ((23u << 25) | (2u << 21) | (22u << 16) | (13u << 11) | (45u << 5) | 15u, plain.stamp);

  EXPECT_TRUE(all.at(".hidden").hidden);
  EXPECT_TRUE(all.at("locked.txt").readOnly);
  EXPECT_EQ(kFirstStamp, all.at("old.txt").stamp);
  EXPECT_EQ(EntryKind::Directory, all.at("sub").kind);
  EXPECT_EQ(EntryKind::Symlink, all.at("link-to-dir").kind);  // never followed
  EXPECT_FALSE(all.at("link-to-dir").readOnly);
  EXPECT_EQ(EntryKind::Symlink, all.at("dangling").kind);
  EXPECT_EQ(EntryKind::Other, all.at("pipe").kind);

  // The cheap listing gives the same names and kinds.
  const auto quick = ListAll(dir.path(), false);
  ASSERT_EQ(all.size(), quick.size());
  for (const auto& [name, e] : all) {
    EXPECT_EQ(e.kind, quick.at(name).kind) << name;
    EXPECT_EQ(e.hidden, quick.at(name).hidden) << name;
  }
}

TEST(DirLister, MissingOrNonDirectoryIsNotOpen) {
  vktest::TempDir dir;
  vktest::WriteFile(dir / "file", "x");
  DirEntry e;
  DirLister missing(dir / "nothing");
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_FALSE(missing.Next(e));
  EXPECT_FALSE(DirLister(dir / "file").IsOpen());
  vktest::TempDir emptyDir;
  DirLister none(emptyDir.path());
  EXPECT_TRUE(none.IsOpen());
  EXPECT_FALSE(none.Next(e));
}

TEST(DirLister, FileNamesOfAFolderAreWhatFileExistsFinds) {
  // Files, links (even dangling ones) and fifos, sorted; never a folder.
  vktest::TempDir dir;
  for (const char* name : {"b.txt", "A.txt", "c d.txt"}) vktest::WriteFile(dir / name, "x");
  ASSERT_EQ(0, symlink("nirgends", (dir / "verweis").c_str()));
  ASSERT_EQ(0, mkfifo((dir / "fifo").c_str(), 0600));
  ASSERT_EQ(0, mkdir((dir / "ordner").c_str(), 0700));
  std::vector<std::string> names{"alt"};
  ASSERT_TRUE(platform::ListFileNames(dir.path(), names));
  EXPECT_EQ((std::vector<std::string>{"A.txt", "b.txt", "c d.txt", "fifo", "verweis"}), names);
  for (const std::string& name : names) EXPECT_TRUE(platform::FileExists(dir / name)) << name;
  // A limit gives a part of them (the rest is looked up by name).
  ASSERT_TRUE(platform::ListFileNames(dir.path(), names, 2));
  EXPECT_EQ(2u, names.size());
  // A folder that cannot be listed gives none.
  EXPECT_FALSE(platform::ListFileNames(dir / "fehlt", names));
  EXPECT_TRUE(names.empty());
}

TEST(FileTests, NeverFollowSymlinks) {
  vktest::TempDir dir;
  vktest::WriteFile(dir / "f", "x");
  ASSERT_EQ(0, mkdir((dir / "d").c_str(), 0755));
  ASSERT_EQ(0, symlink("d", (dir / "ld").c_str()));
  ASSERT_EQ(0, symlink("gone", (dir / "dangling").c_str()));

  EXPECT_TRUE(platform::FileExists(dir / "f"));
  EXPECT_FALSE(platform::FileExists(dir / "d"));
  EXPECT_TRUE(platform::FileExists(dir / "ld"));
  EXPECT_TRUE(platform::FileExists(dir / "dangling"));
  EXPECT_FALSE(platform::FileExists(dir / "none"));

  EXPECT_TRUE(platform::DirExists(dir / "d"));
  EXPECT_FALSE(platform::DirExists(dir / "ld"));
  EXPECT_FALSE(platform::DirExists(dir / "f"));
  EXPECT_FALSE(platform::DirExists(""));

  EXPECT_TRUE(platform::PathExists(dir / "dangling"));
  EXPECT_FALSE(platform::PathExists(dir / "none"));

  EXPECT_FALSE(platform::DeleteFile(dir / "d"));
  EXPECT_TRUE(platform::DirExists(dir / "d"));
  EXPECT_TRUE(platform::DeleteFile(dir / "ld"));  // the link goes, the folder stays
  EXPECT_TRUE(platform::DirExists(dir / "d"));
  EXPECT_TRUE(platform::DeleteFile(dir / "f"));
  EXPECT_FALSE(platform::DeleteFile(dir / "f"));
}

TEST(FileTests, ReadOnlyBitIsTheOwnersWritePermission) {
  vktest::TempDir dir;
  const std::string f = dir / "f.txt";
  EXPECT_FALSE(platform::HasAttributes(f, platform::kAttrReadOnly));
  EXPECT_FALSE(platform::ClearAttributes(f, platform::kAttrReadOnly));

  vktest::WriteFile(f, "x");
  ASSERT_EQ(0, chmod(f.c_str(), 0644));
  EXPECT_FALSE(platform::HasAttributes(f, platform::kAttrReadOnly));
  EXPECT_TRUE(platform::HasAttributes(f, 0));
  EXPECT_TRUE(platform::ClearAttributes(f, platform::kAttrReadOnly));  // already clear

  ASSERT_TRUE(platform::MakeReadOnly(f));
  EXPECT_EQ(0444u, vktest::ModeOf(f) & 07777);
  EXPECT_TRUE(platform::HasAttributes(f, platform::kAttrReadOnly));
  {
    vktest::FaultHookGuard guard(vktest::FailAt("clear-attributes", EPERM));
    EXPECT_FALSE(platform::ClearAttributes(f, platform::kAttrReadOnly));
    EXPECT_TRUE(platform::HasAttributes(f, platform::kAttrReadOnly));
  }
  EXPECT_TRUE(platform::ClearAttributes(f, platform::kAttrReadOnly));
  EXPECT_FALSE(platform::HasAttributes(f, platform::kAttrReadOnly));
  EXPECT_EQ(0644u, vktest::ModeOf(f) & 07777);  // only the owner's bit came back

  // A symlink is never read-only and clearing never touches its target.
  ASSERT_TRUE(platform::MakeReadOnly(f));
  ASSERT_EQ(0, symlink("f.txt", (dir / "l").c_str()));
  EXPECT_FALSE(platform::HasAttributes(dir / "l", platform::kAttrReadOnly));
  EXPECT_TRUE(platform::ClearAttributes(dir / "l", platform::kAttrReadOnly));
  EXPECT_EQ(0444u, vktest::ModeOf(f) & 07777);
  EXPECT_FALSE(platform::MakeReadOnly(dir / "l"));
}

TEST(FileTests, ExecutableAndWritableFolders) {
  vktest::TempDir dir;
  vktest::WriteFile(dir / "prog", "#!/bin/sh\n");
  vktest::WriteFile(dir / "text", "x");
  ASSERT_EQ(0, chmod((dir / "prog").c_str(), 0700));
  EXPECT_TRUE(platform::IsExecutableFile(dir / "prog"));
  EXPECT_FALSE(platform::IsExecutableFile(dir / "text"));
  EXPECT_FALSE(platform::IsExecutableFile(dir.path()));  // a folder has x bits too
  EXPECT_FALSE(platform::IsExecutableFile(dir / "none"));

  EXPECT_TRUE(platform::DirWritable(dir.path()));
  EXPECT_FALSE(platform::DirWritable(dir / "none"));
  EXPECT_FALSE(platform::DirWritable(dir / "text"));
}
