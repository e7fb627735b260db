// Helpers of the tests of what a copy keeps: a tree described entry by
// entry (kind, content, mode, owner, times, attributes, link target), the
// raw form of an access list, and a backup or a completion of one tree.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/backup/copyengine.h"
#include "core/verify/checklogic.h"
#include "support/core_support.h"

namespace vktest {

// The carried attributes of a path (links not followed): user attributes
// and access lists, name and value.
inline std::map<std::string, std::string> AttributesOf(const std::string& path) {
  std::map<std::string, std::string> out;
  std::string names(65536, '\0');
  const ssize_t n = llistxattr(path.c_str(), names.data(), names.size());
  for (ssize_t at = 0; n > 0 && at < n;) {
    const std::string name(names.c_str() + at);
    at += static_cast<ssize_t>(name.size()) + 1;
    if (name.rfind("user.", 0) != 0 && name.rfind("system.posix_acl_", 0) != 0) continue;
    std::string value(65536, '\0');
    const ssize_t v = lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
    if (v >= 0) out[name] = value.substr(0, static_cast<std::size_t>(v));
  }
  return out;
}

// One entry of a tree as a backup should reproduce it.
struct Entry {
  char kind = '?';  // 'd' folder, 'f' file, 'l' link
  mode_t mode = 0;  // permission and set-id bits (not for links)
  uid_t uid = 0;
  gid_t gid = 0;
  std::int64_t mtime = 0;
  long mtimeNsec = 0;
  std::string content;  // of a file; the target of a link
  std::map<std::string, std::string> attributes;
};

// Every entry below `root` (and "" for the root itself) by relative path.
inline std::map<std::string, Entry> Describe(const std::string& root) {
  std::map<std::string, Entry> out;
  std::vector<std::string> todo{""};
  while (!todo.empty()) {
    const std::string rel = todo.back();
    todo.pop_back();
    const std::string path = rel.empty() ? root : root + "/" + rel;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) continue;
    Entry e;
    e.kind = S_ISDIR(st.st_mode)   ? 'd'
             : S_ISLNK(st.st_mode) ? 'l'
             : S_ISREG(st.st_mode) ? 'f'
                                   : '?';
    e.mode = e.kind == 'l' ? 0 : st.st_mode & 07777;
    e.uid = st.st_uid;
    e.gid = st.st_gid;
    e.mtime = st.st_mtim.tv_sec;
    e.mtimeNsec = st.st_mtim.tv_nsec;
    if (e.kind == 'f') e.content = ReadFile(path);
    if (e.kind == 'l') {
      std::string target(4096, '\0');
      const ssize_t n = readlink(path.c_str(), target.data(), target.size());
      e.content = target.substr(0, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    e.attributes = AttributesOf(path);
    out[rel] = e;
    if (e.kind != 'd') continue;
    std::error_code ec;
    for (const auto& item : std::filesystem::directory_iterator(path, ec)) {
      const std::string name = item.path().filename().string();
      todo.push_back(rel.empty() ? name : rel + "/" + name);
    }
  }
  return out;
}

// Every file below `dir` (relative, sorted); folders left out.
inline std::vector<std::string> FilesBelow(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (!it->is_directory(ec)) out.push_back(it->path().lexically_relative(dir).string());
  std::sort(out.begin(), out.end());
  return out;
}

// What of two trees is compared.
struct Compare {
  bool owners = true;       // owner and group
  bool folderTimes = true;  // the folders' times (those of files and links always)
};

// Expects the tree `copy` to hold what `original` holds: names, kinds,
// contents, link targets, modes, owners, times and attributes.
inline void ExpectSameTree(const std::string& original, const std::string& copy,
                           const std::string& what, Compare compare = {}) {
  const std::map<std::string, Entry> a = Describe(original), b = Describe(copy);
  std::vector<std::string> namesA, namesB;
  for (const auto& [rel, e] : a) namesA.push_back(rel);
  for (const auto& [rel, e] : b) namesB.push_back(rel);
  ASSERT_EQ(namesA, namesB) << what;
  for (const auto& [rel, x] : a) {
    const Entry& y = b.at(rel);
    const std::string at = what + ": \"" + rel + "\"";
    EXPECT_EQ(x.kind, y.kind) << at;
    EXPECT_EQ(x.content, y.content) << at;
    EXPECT_EQ(x.mode, y.mode) << at << std::oct << " modes " << x.mode << " / " << y.mode;
    if (compare.owners) {
      EXPECT_EQ(x.uid, y.uid) << at;
      EXPECT_EQ(x.gid, y.gid) << at;
    }
    if (x.kind != 'd' || compare.folderTimes) {
      EXPECT_EQ(x.mtime, y.mtime) << at;
      EXPECT_EQ(x.mtimeNsec, y.mtimeNsec) << at;
    }
    EXPECT_EQ(x.attributes, y.attributes) << at;
  }
}

// The raw value of an access list: version 2, then per entry tag,
// permissions and id (little-endian).
struct AclEntry {
  std::uint16_t tag;
  std::uint16_t perm;
  std::uint32_t id;
};
constexpr std::uint16_t kAclUserObj = 0x01, kAclUser = 0x02, kAclGroupObj = 0x04, kAclGroup = 0x08,
                        kAclMask = 0x10, kAclOther = 0x20;
constexpr std::uint32_t kAclNoId = 0xFFFFFFFFu;
inline std::string RawAcl(std::initializer_list<AclEntry> entries) {
  std::string out;
  const auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  put(2, 4);
  for (const AclEntry& e : entries) {
    put(e.tag, 2);
    put(e.perm, 2);
    put(e.id, 4);
  }
  return out;
}
// An access list that lets the user `uid` read (a folder: enter and read)
// besides the owner.
inline std::string ReaderAcl(std::uint32_t uid, bool folder = false) {
  const std::uint16_t owner = folder ? 7 : 6, reader = folder ? 5 : 4;
  return RawAcl({{kAclUserObj, owner, kAclNoId},
                 {kAclUser, reader, uid},
                 {kAclGroupObj, reader, kAclNoId},
                 {kAclMask, reader, kAclNoId},
                 {kAclOther, 0, kAclNoId}});
}

// A full or incremental backup of `source` into the target root `target`.
inline void BackUp(CopyEngine& engine, const std::string& source, const std::string& target,
                   bool full) {
  engine.FullBackup = full;
  engine.ChangedSince = 0;  // an incremental run copies every file
  engine.StartRun();
  engine.RunRows({{source, target}});
}

// Every row of a check ticked.
class TickedList : public CompletionList {
 public:
  explicit TickedList(std::vector<MissingEntry> entries) : rows(std::move(entries)) {}
  int RowCount() const override { return static_cast<int>(rows.size()); }
  bool IsTicked(int) const override { return true; }
  MissingEntry RowEntry(int r) const override { return rows[static_cast<std::size_t>(r)]; }
  std::string CountText(int) const override { return "1"; }
  void SetCountText(int, const std::string&) override {}
  void KeepInView(int) override {}
  void RemoveRow(int r) override { rows.erase(rows.begin() + r); }
  void ProcessEvents() override {}
  std::vector<MissingEntry> rows;
};

// A check of `source` against the job's target folder `targetDir` and a
// completion of everything it finds missing.
inline void CheckAndComplete(BackupCompletion& completion, const std::string& source,
                             const std::string& targetDir) {
  BackupCheck check;
  check.Rows.push_back(MakeCheckRow(source, targetDir));
  check.RunCheck();
  TickedList list(CompletionEntries(check.Report));
  completion.CompleteTicked(list);
}

// Runs `run` in a child process and kills it (SIGKILL, as a power loss
// would end it) as soon as `when` holds. True when the signal ended it
// (it had not ended by itself before).
inline bool KillWhen(const std::function<void()>& run, const std::function<bool()>& when) {
  const pid_t child = fork();
  if (child < 0) {
    ADD_FAILURE() << "fork failed";
    return false;
  }
  if (child == 0) {
    run();
    _exit(0);
  }
  while (!when()) std::this_thread::yield();
  kill(child, SIGKILL);
  int status = 0;
  EXPECT_EQ(child, waitpid(child, &status, 0));
  return WIFSIGNALED(status);
}

}  // namespace vktest
