// What a backup and a completion keep besides the content: folder
// permissions (never wider than the source, not even for a moment), owners,
// user attributes and access lists, and folders that hold no file.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/timeproc.h"
#include "core/backup/copyengine.h"
#include "core/backup/keep_support.h"
#include "core/verify/checklogic.h"
#include "platform/platform.h"
#include "support/core_support.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

bool Root() { return geteuid() == 0; }

void MakeFolder(const std::string& path, mode_t mode) {
  fs::create_directories(path);
  ASSERT_EQ(0, chmod(path.c_str(), mode)) << path;
}

void MakeFile(const std::string& path, const std::string& content, mode_t mode) {
  vktest::WriteFile(path, content);
  ASSERT_EQ(0, chmod(path.c_str(), mode)) << path;
}

// True when the attribute could be set; false when the file system takes
// none (the case is then skipped).
bool SetAttribute(const std::string& path, const std::string& name, const std::string& value) {
  return setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) == 0;
}

// Gives every entry below `root` and the root itself one time with
// nanoseconds, the folders after their content.
void SetTimes(const std::string& root) {
  std::vector<std::string> paths;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it)
    paths.push_back(it->path().string());
  paths.push_back(root);
  std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
    return a.size() > b.size();  // deeper ones first
  });
  const struct timespec times[2] = {{1234567890, 123456789}, {1234567890, 987654321}};
  for (const std::string& p : paths)
    ASSERT_EQ(0, utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW)) << p;
}

// The ways a target is written: a full and an incremental backup into an
// empty target, and a check with a completion of all it finds missing.
enum class Way { Full, Incremental, Completion };
const char* Name(Way way) {
  return way == Way::Full ? "full backup" : way == Way::Incremental ? "incremental" : "completion";
}

struct Written {
  std::vector<std::string> report, notes;
  std::int32_t status = 0;
};

Written Write(Way way, const std::string& src, const std::string& targetDir,
              const std::string& excludedExts = "") {
  Written out;
  if (way == Way::Completion) {
    BackupCompletion completion;
    completion.Rule = ExclusionRule(excludedExts, "");
    vktest::CheckAndComplete(completion, src, targetDir);
    out.notes = completion.Notes;
    out.status = completion.CopyStatus;
  } else {
    CopyEngine engine;
    engine.SetExclusions(excludedExts, "");
    vktest::BackUp(engine, src, targetDir + "/Daten", way == Way::Full);
    out.report = engine.RunReport;
    out.notes = engine.RunNotes;
    out.status = engine.RunStatus;
  }
  return out;
}

}  // namespace

// One table of trees, each written the three ways: the target holds what
// the source holds, entry by entry (names, kinds, contents, modes, owners,
// times, attributes), and nothing is reported.
TEST(KeptInTheTarget, FoldersOwnersAttributesAndEmptyFoldersForEveryWayOfWriting) {
  struct Case {
    const char* what;
    bool needsRoot;
    std::function<bool(const std::string& src)> make;  // false: not possible here
    std::vector<std::string> excluded = {};            // left out by the job's rule
  };
  const gid_t group = Root() ? kNogroup : getegid();
  const std::vector<Case> cases = {
      {"a private folder with a readable file", false,
       [](const std::string& src) {
         MakeFolder(src + "/.ssh", 0700);
         MakeFile(src + "/.ssh/known_hosts", "host", 0644);
         MakeFile(src + "/.ssh/id", "key", 0600);
         return true;
       }},
      {"a private source root", false,
       [](const std::string& src) { return chmod(src.c_str(), 0700) == 0; }},
      {"a group folder with the set-group-id bit", false,
       [group](const std::string& src) {
         MakeFolder(src + "/gruppe", 0750);
         MakeFile(src + "/gruppe/plan.txt", "plan", 0640);
         return chown((src + "/gruppe").c_str(), static_cast<uid_t>(-1), group) == 0 &&
                chown((src + "/gruppe/plan.txt").c_str(), static_cast<uid_t>(-1), group) == 0 &&
                chmod((src + "/gruppe").c_str(), 02750) == 0;
       }},
      {"files, a folder and a link of another user and group", true,
       [](const std::string& src) {
         MakeFolder(src + "/fremd", 0700);
         MakeFile(src + "/fremd/schluessel", "geheim", 0600);
         MakeFile(src + "/fremd/programm", "#!/bin/sh\n", 06755);
         fs::create_symlink("schluessel", src + "/fremd/verweis");
         for (const char* p : {"/fremd", "/fremd/schluessel", "/fremd/programm"})
           if (chown((src + p).c_str(), kNobody, kNogroup) != 0) return false;
         // chown clears the set-id bits: set again.
         return chmod((src + "/fremd/programm").c_str(), 06755) == 0 &&
                lchown((src + "/fremd/verweis").c_str(), kNobody, kNogroup) == 0;
       }},
      {"empty folders, one below another", false,
       [](const std::string& src) {
         MakeFolder(src + "/leer", 0750);
         MakeFolder(src + "/leer/tiefer", 0700);
         MakeFolder(src + "/leer/tiefer/ganz unten", 0755);
         MakeFolder(src + "/nur ordner/a/b", 0755);
         return true;
       }},
      {"a folder whose only file is left out",
       false,
       [](const std::string& src) {
         MakeFolder(src + "/alt", 0710);
         MakeFile(src + "/alt/kopie.bak", "alt", 0644);
         return true;
       },
       {"alt/kopie.bak"}},
      {"user attributes and access lists", false,
       [](const std::string& src) {
         MakeFolder(src + "/geteilt", 0750);
         MakeFile(src + "/geteilt/notiz.txt", "notiz", 0640);
         MakeFile(src + "/geteilt/nur-attribut.txt", "a", 0644);
         const std::string acl = vktest::ReaderAcl(kNobody);
         const std::string folderAcl = vktest::ReaderAcl(kNobody, true);
         return SetAttribute(src + "/geteilt", "user.ordner", "Ordner") &&
                SetAttribute(src + "/geteilt", "system.posix_acl_access", folderAcl) &&
                SetAttribute(src + "/geteilt", "system.posix_acl_default", acl) &&
                SetAttribute(src + "/geteilt/notiz.txt", "user.kommentar", "Hallo") &&
                SetAttribute(src + "/geteilt/notiz.txt", "system.posix_acl_access", acl) &&
                SetAttribute(src + "/geteilt/nur-attribut.txt", "user.x", std::string(3000, 'x')) &&
                chmod((src + "/geteilt/nur-attribut.txt").c_str(), 0444) == 0;
       }},
  };
  for (const Case& c : cases) {
    if (c.needsRoot && !Root()) {
      std::cout << "[ SKIPPED  ] \"" << c.what << "\" needs root (other owners)\n";
      continue;
    }
    for (Way way : {Way::Full, Way::Incremental, Way::Completion}) {
      const std::string what = std::string(c.what) + ", " + Name(way);
      vktest::TempDir tmp;
      const std::string src = tmp / "quelle/Daten";
      MakeFolder(src, 0755);
      MakeFile(src + "/wurzel.txt", "w", 0644);
      if (!c.make(src)) {
        std::cout << "[ SKIPPED  ] \"" << c.what << "\" cannot be made here\n";
        break;
      }
      SetTimes(src);
      const Written written = Write(way, src, tmp / "ziel", ".BAK\r\n");
      EXPECT_EQ(0, written.status) << what;
      EXPECT_TRUE(written.report.empty()) << what << ::testing::PrintToString(written.report);
      EXPECT_TRUE(written.notes.empty()) << what << ::testing::PrintToString(written.notes);
      for (const std::string& rel : c.excluded) fs::remove(src + "/" + rel);
      if (!c.excluded.empty()) SetTimes(src);
      vktest::ExpectSameTree(src, tmp / "ziel/Daten", what);
    }
  }
}

// A later run brings changed folders to the source's state: a folder made
// wider in the target is narrowed, one that became empty keeps its old
// files and takes its new mode, a new empty folder is made.
TEST(KeptInTheTarget, AnIncrementalRunNarrowsWiderFoldersAndMakesNewEmptyOnes) {
  vktest::TempDir tmp;
  const std::string src = tmp / "quelle/Daten", dst = tmp / "ziel/Daten";
  MakeFolder(src + "/privat", 0700);
  MakeFile(src + "/privat/a.txt", "a", 0600);
  MakeFolder(src + "/wird leer", 0755);
  MakeFile(src + "/wird leer/b.txt", "b", 0644);
  SetTimes(src);
  CopyEngine first;
  vktest::BackUp(first, src, dst, true);
  ASSERT_EQ(0700u, vktest::Describe(dst).at("privat").mode);

  ASSERT_EQ(0, chmod((dst + "/privat").c_str(), 0777));
  fs::remove(src + "/wird leer/b.txt");
  ASSERT_EQ(0, chmod((src + "/wird leer").c_str(), 0700));
  MakeFolder(src + "/neu/leer", 0750);
  CopyEngine second;
  second.FullBackup = false;
  second.ChangedSince = DateTimeToDosStamp(first.NewLastBackup());
  second.StartRun();
  second.RunRows({{src, dst}});
  EXPECT_EQ(0, second.CopiedTotal);
  EXPECT_TRUE(second.RunReport.empty());
  const auto target = vktest::Describe(dst);
  EXPECT_EQ(0700u, target.at("privat").mode);
  EXPECT_EQ(0700u, target.at("wird leer").mode);
  EXPECT_EQ("b", target.at("wird leer/b.txt").content);  // a backup deletes nothing
  EXPECT_EQ(0750u, target.at("neu/leer").mode);
  EXPECT_EQ(vktest::Describe(src).at("neu").mtime, target.at("neu").mtime);
}

// While the first file of a private folder is being copied (slowed down
// half way through its content), the folder grants nobody but its owner
// anything: made so in an empty target, narrowed before the copy in a
// target where it stood open.
TEST(KeptInTheTarget, APrivateFolderNeverStandsOpenWhileItsFilesAreCopied) {
  for (Way way : {Way::Full, Way::Incremental, Way::Completion}) {
    for (bool openBefore : {false, true}) {
      const std::string what = std::string(Name(way)) + (openBefore ? ", open before" : "");
      vktest::TempDir tmp;
      const std::string src = tmp / "quelle/Daten", dst = tmp / "ziel/Daten";
      MakeFolder(src, 0700);
      MakeFolder(src + "/privat/tiefer", 0700);
      MakeFolder(src + "/privat", 0700);
      MakeFile(src + "/privat/tiefer/geheim", std::string(200000, 'g'), 0644);
      MakeFile(src + "/privat/cookies", std::string(200000, 'c'), 0644);
      if (openBefore) {
        MakeFolder(dst + "/privat/tiefer", 0777);
        ASSERT_EQ(0, chmod(dst.c_str(), 0777));
        ASSERT_EQ(0, chmod((dst + "/privat").c_str(), 0777));
      }
      std::vector<std::string> seen;
      std::mutex seenMutex;  // copies run on several threads
      platform::SetFaultHook([&](const std::string& op, const std::string& path) {
        if (op != "copy-write") return 0;
        std::lock_guard<std::mutex> lock(seenMutex);
        // The folders on the way from the target root down to the file.
        for (std::string folder = path.substr(0, path.rfind('/')); folder.size() >= dst.size();
             folder = folder.substr(0, folder.rfind('/'))) {
          struct stat st {};
          EXPECT_EQ(0, lstat(folder.c_str(), &st)) << folder;
          if ((st.st_mode & 077) != 0) seen.push_back(folder);
        }
        return 0;
      });
      const Written written = Write(way, src, tmp / "ziel");
      platform::SetFaultHook(nullptr);
      EXPECT_EQ(0, written.status) << what;
      EXPECT_TRUE(seen.empty()) << what << ::testing::PrintToString(seen);
      EXPECT_EQ("c", vktest::ReadFile(dst + "/privat/cookies").substr(0, 1)) << what;
      EXPECT_EQ(0700u, vktest::Describe(dst).at("privat/tiefer").mode) << what;
    }
  }
}

// A target that refuses attributes (a fault here) gets the copies all the
// same and one line in the run report, after the errors, that leaves the
// stamp as it is; a target that keeps no permissions one line that says
// so instead.
TEST(KeptInTheTarget, WhatATargetCannotKeepIsToldOncePerRun) {
  vktest::TempDir tmp;
  const std::string src = tmp / "quelle/Daten";
  MakeFolder(src + "/a", 0700);
  for (const char* f : {"/a/1.txt", "/a/2.txt", "/3.txt"}) {
    MakeFile(src + f, "x", 0644);
    ASSERT_TRUE(SetAttribute(src + f, "user.kommentar", "k"));
  }
  ASSERT_TRUE(SetAttribute(src + "/a", "user.ordner", "o"));
  struct Case {
    const char* what;
    const char* refused;  // the fault hook's operation
    bool permissions;
  };
  for (const Case& c : {Case{"attributes refused", "keep-attributes", false},
                        Case{"no permissions", "permission-probe", true}}) {
    for (Way way : {Way::Full, Way::Completion}) {
      const std::string what = std::string(c.what) + ", " + Name(way);
      const std::string targetDir = tmp / (std::string("ziel-") + c.refused + Name(way));
      platform::SetFaultHook(
          [&](const std::string& op, const std::string&) { return op == c.refused ? ENOTSUP : 0; });
      Written written;
      if (way == Way::Full) {
        // Two rows: still one line, naming the first target.
        CopyEngine engine;
        engine.FullBackup = true;
        engine.StartRun();
        engine.RunRows({{src, targetDir + "/Daten"}, {src + "/a", targetDir + "/a"}});
        written = {engine.RunReport, engine.RunNotes, engine.RunStatus};
        EXPECT_EQ(5, engine.CopiedTotal) << what;
        const std::vector<std::string> lines = engine.ReportLines("01.01.2003", "12:00");
        ASSERT_EQ(6u, lines.size()) << what;
        EXPECT_EQ("Es sind keine Fehler aufgetreten.", lines[3]) << what;
        EXPECT_EQ(LossNote(c.permissions, targetDir + "/Daten"), lines[4]) << what;
      } else {
        BackupCompletion completion;
        vktest::CheckAndComplete(completion, src, targetDir);
        written = {{}, completion.Notes, completion.CopyStatus};
        EXPECT_EQ("x", vktest::ReadFile(targetDir + "/Daten/a/2.txt")) << what;
      }
      platform::SetFaultHook(nullptr);
      EXPECT_EQ(0, written.status) << what;
      EXPECT_TRUE(written.report.empty()) << what;
      EXPECT_EQ(std::vector<std::string>{LossNote(c.permissions, targetDir + "/Daten")},
                written.notes)
          << what;
    }
  }
  EXPECT_EQ(
      "Erweiterte Attribute und Zugriffslisten (ACL) konnten auf dem Ziel /z nicht "
      "gespeichert werden.",
      LossNote(false, "/z/"));
}

// The same tree copied by a backup and by `rsync -aAX` (as root): names,
// kinds, contents, times, modes, owners, attributes and link targets are
// the same.
TEST(KeptInTheTarget, ABackupHoldsWhatRsyncWithAclsAndAttributesHolds) {
  if (!Root()) GTEST_SKIP() << "needs root (owners of other users, as rsync -a keeps them)";
  if (std::system("command -v rsync >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "rsync is not installed (scripts/deps installs it)";
  vktest::TempDir tmp;
  const std::string src = tmp / "quelle/Daten";
  MakeFolder(src, 0750);
  MakeFile(src + "/gross.bin", std::string(300000, 'g'), 0644);
  MakeFile(src + "/leer.txt", "", 0600);
  MakeFolder(src + "/.ssh", 0700);
  MakeFile(src + "/.ssh/known_hosts", "host", 0644);
  MakeFolder(src + "/gruppe/unter", 02750);
  ASSERT_EQ(0, chmod((src + "/gruppe").c_str(), 02770));
  ASSERT_EQ(0, chown((src + "/gruppe").c_str(), 0, kNogroup));
  MakeFile(src + "/gruppe/unter/plan", "plan", 0640);
  ASSERT_EQ(0, chown((src + "/gruppe/unter/plan").c_str(), kNobody, kNogroup));
  MakeFile(src + "/gruppe/setuid", "#!/bin/sh\n", 0755);
  ASSERT_EQ(0, chown((src + "/gruppe/setuid").c_str(), kNobody, kNogroup));
  ASSERT_EQ(0, chmod((src + "/gruppe/setuid").c_str(), 04755));
  MakeFolder(src + "/leer/tiefer", 0700);
  MakeFolder(src + "/nur lesen", 0755);
  MakeFile(src + "/nur lesen/a", "a", 0444);
  ASSERT_EQ(0, chmod((src + "/nur lesen").c_str(), 0555));
  fs::create_symlink("gross.bin", src + "/verweis");
  fs::create_symlink("/nirgends/da", src + "/ins leere");
  fs::create_symlink("leer", src + "/ordnerverweis");
  ASSERT_EQ(0, lchown((src + "/ins leere").c_str(), kNobody, kNogroup));
  const std::string acl = vktest::ReaderAcl(kNobody);
  MakeFolder(src + "/geteilt", 0750);
  if (SetAttribute(src + "/geteilt", "system.posix_acl_default", acl)) {
    // A file made inside takes the folder's default list.
    MakeFile(src + "/geteilt/geerbt.txt", "g", 0640);
    ASSERT_TRUE(SetAttribute(src + "/geteilt", "system.posix_acl_access",
                             vktest::ReaderAcl(kNobody, true)));
    ASSERT_TRUE(SetAttribute(src + "/geteilt", "user.ordner", "o"));
    // One without a list of its own in that folder.
    MakeFile(src + "/geteilt/eigen.txt", "e", 0600);
    ASSERT_EQ(0, removexattr((src + "/geteilt/eigen.txt").c_str(), "system.posix_acl_access"));
  }
  SetTimes(src);

  const std::string viaRsync = tmp / "rsync/Daten";
  fs::create_directories(viaRsync);
  ASSERT_EQ(0, std::system(("rsync -aAX '" + src + "/' '" + viaRsync + "/'").c_str()));
  CopyEngine engine;
  vktest::BackUp(engine, src, tmp / "ziel/Daten", true);
  EXPECT_TRUE(engine.RunReport.empty()) << ::testing::PrintToString(engine.RunReport);
  EXPECT_TRUE(engine.RunNotes.empty()) << ::testing::PrintToString(engine.RunNotes);
  vktest::ExpectSameTree(viaRsync, tmp / "ziel/Daten", "backup against rsync -aAX");
  vktest::ExpectSameTree(src, tmp / "ziel/Daten", "backup against its source");

  // Copied again into the folders that now hand their lists down.
  CopyEngine again;
  vktest::BackUp(again, src, tmp / "ziel/Daten", false);
  EXPECT_TRUE(again.RunReport.empty()) << ::testing::PrintToString(again.RunReport);
  vktest::ExpectSameTree(viaRsync, tmp / "ziel/Daten", "second run against rsync -aAX");
}
