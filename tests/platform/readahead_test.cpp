// Listings read ahead by threads: the walk sees what it sees on its own.
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/platform_support.h"
#include "platform/readahead.h"
#include "support/core_support.h"

using platform::AheadListing;
using platform::DirEntry;
using platform::DirLister;
using platform::EntryKind;
using platform::ReadAhead;

namespace {

// Folders the walk leaves out: any named "aus", and "tief/weg".
bool LeftOut(const std::string& relative) {
  return relative == "aus" || relative.ends_with("/aus") || relative == "tief/weg";
}

// Walks as the backup does: every sub-folder taken from the read-ahead
// when it was read there, else opened relative to its listing. Each entry
// becomes one line: path, kind, size and stamp.
void Walk(ReadAhead* ahead, DirLister& listing, std::unique_ptr<ReadAhead::Folder> read,
          const std::string& path, const std::string& relative, std::vector<std::string>& out) {
  const AheadListing::SkipFolder skip = [&relative](const std::string& below,
                                                    const std::string& name) {
    return LeftOut(relative + below + name);
  };
  AheadListing entries = read != nullptr
                             ? AheadListing(ahead, std::move(read), &path, &skip)
                             : AheadListing(ahead, listing, true, nullptr, &path, &skip);
  DirEntry entry;
  while (entries.Next(entry)) {
    const std::string here = relative + entry.name;
    out.push_back(here + " " + std::to_string(static_cast<int>(entry.kind)) + " " +
                  std::to_string(entry.size) + " " + std::to_string(entry.mtime));
    if (entry.kind != EntryKind::Directory || LeftOut(here)) continue;
    std::unique_ptr<ReadAhead::Folder> folder = entries.TakeFolder();
    std::optional<DirLister> opened;
    if (folder == nullptr) opened.emplace(listing, entry.name, path + entry.name + "/");
    DirLister& child = folder != nullptr ? *folder->listing : *opened;
    Walk(ahead, child, std::move(folder), path + entry.name + "/", here + "/", out);
  }
}

std::vector<std::string> WalkAll(ReadAhead* ahead, const std::string& root) {
  std::vector<std::string> out;
  DirLister listing(root);
  Walk(ahead, listing, nullptr, root, "", out);
  return out;
}

}  // namespace

TEST(ReadAheadTest, WalkSeesTheSameWithAnyThreadsAndNeverOpensAFolderLeftOut) {
  // Wide and deep trees, a folder larger than is read ahead at once,
  // folders left out at several levels: whatever the threads and however
  // far ahead they read (also with the threads added for a disk that is
  // waited for), the walk sees every entry in the order of the listings,
  // and no folder left out is ever opened.
  vktest::TempDir tmp;
  const std::string root = tmp / "quelle/";
  for (int i = 0; i < 1100; ++i)
    vktest::WriteFile(root + "gross/" + std::to_string(i) + ".txt", std::string(i % 7, 'x'));
  for (int d = 0; d < 40; ++d) {
    const std::string folder = root + "breit/d" + std::to_string(d) + "/";
    for (int i = 0; i < 3; ++i) vktest::WriteFile(folder + std::to_string(i), std::string(d, 'y'));
    vktest::WriteFile(folder + "unter/tiefer/z.txt", "z");
    if (d % 9 == 0) vktest::WriteFile(folder + "aus/nie.txt", "n");
  }
  for (const char* name : {"tief/weg/a.txt", "tief/bleibt/b.txt", "tief/aus/c.txt", "aus/d.txt",
                           "tief/bleibt/weg/e.txt", "oben.txt"})
    vktest::WriteFile(root + name, name);

  const std::vector<std::string> alone = WalkAll(nullptr, root);
  ASSERT_GT(alone.size(), 1300u);

  struct Case {
    const char* what;
    int threads;
    bool diskWaited;
  };
  const std::vector<Case> cases = {{"no threads", 0, false},
                                   {"one thread", 1, false},
                                   {"three threads", 3, false},
                                   {"own choice", -1, false},
                                   {"own choice, the disk waited for", -1, true}};
  for (const Case& c : cases) {
    std::mutex mutex;
    std::set<std::string> opened;
    const bool diskWaited = c.diskWaited;
    vktest::FaultHookGuard hook([&](const std::string& op, const std::string& path) {
      if (op == "disk-wait") return diskWaited ? 1 : 0;
      if (op == "list-dir") {
        std::lock_guard<std::mutex> lock(mutex);
        opened.insert(path.substr(root.size()));
      }
      return 0;
    });
    ReadAhead ahead(c.threads);
    const int before = ahead.Threads();
    EXPECT_EQ(alone, WalkAll(&ahead, root)) << c.what;
    for (const std::string& path : opened)
      EXPECT_FALSE(LeftOut(path.substr(0, path.size() - 1))) << c.what << ": " << path;
    EXPECT_TRUE(opened.count("breit/d3/unter/tiefer/")) << c.what;
    if (c.diskWaited && before > 0) {
      EXPECT_TRUE(ahead.WaitsForDisk()) << c.what;
      EXPECT_EQ(ReadAhead::kDiskThreads - 1, ahead.Threads()) << c.what;
    } else if (c.threads >= 0) {
      // A number asked for is kept.
      EXPECT_EQ(c.threads, ahead.Threads()) << c.what;
    }
  }
}

TEST(ReadAheadTest, FoldersReadAheadThatTheWalkPassesByAreLetGo) {
  // The walk stops early in some folders and never enters others: the
  // folders and sub-folders read ahead for them are waited for and let go,
  // and the next walk with the same threads starts afresh.
  vktest::TempDir tmp;
  const std::string root = tmp / "quelle/";
  for (int d = 0; d < 30; ++d)
    for (int s = 0; s < 5; ++s)
      vktest::WriteFile(root + "d" + std::to_string(d) + "/s" + std::to_string(s) + "/f.txt", "f");
  vktest::FaultHookGuard hook(
      [](const std::string& op, const std::string&) { return op == "disk-wait" ? 1 : 0; });
  ReadAhead ahead(-1);
  for (int round = 0; round < 3; ++round) {
    DirLister listing(root);
    AheadListing entries(&ahead, listing, true, nullptr, &root);
    DirEntry entry;
    int taken = 0;
    while (entries.Next(entry) && taken < 12) {
      // Every third folder is entered for one entry only, the rest not.
      if (taken++ % 3 != 0) continue;
      std::unique_ptr<ReadAhead::Folder> folder = entries.TakeFolder();
      if (folder == nullptr) continue;
      const std::string path = root + entry.name + "/";
      AheadListing inner(&ahead, std::move(folder), &path);
      DirEntry first;
      EXPECT_TRUE(inner.Next(first)) << round;
    }
  }
}
