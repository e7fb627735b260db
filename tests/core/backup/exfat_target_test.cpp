// A backup onto a real exFAT file system in user space (exfat-fuse on a
// loop device over an image file), where the machine allows it: root,
// /dev/fuse, losetup, mkfs.exfat and mount.exfat-fuse. Elsewhere the test
// is skipped with a message; the same cases run through the platform
// layer's fault hooks in the copy engine's tests.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/backup/copyengine.h"
#include "core/backup/keep_support.h"
#include "core/verify/checklogic.h"
#include "core/versions/keeper.h"
#include "core/versions/mirror.h"
#include "core/versions/versions.h"
#include "support/core_support.h"

namespace fs = std::filesystem;

namespace {

// Runs a command line; its output goes to the test's log.
bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

bool Installed(const char* program) {
  return Shell(std::string("command -v ") + program + " >/dev/null 2>&1 || test -x /usr/sbin/" +
               program + " || test -x /sbin/" + program);
}

// An exFAT image mounted through FUSE for the life of the object.
class ExfatMount {
 public:
  explicit ExfatMount(const std::string& dir) : image_(dir + "exfat.img"), point_(dir + "mnt") {
    if (geteuid() != 0) {
      why_ = "needs root (loop device and mount)";
      return;
    }
    if (access("/dev/fuse", R_OK | W_OK) != 0) {
      why_ = "no usable /dev/fuse";
      return;
    }
    for (const char* program : {"losetup", "mkfs.exfat", "mount.exfat-fuse"}) {
      if (!Installed(program)) {
        why_ = std::string(program) + " is not installed (scripts/deps installs it)";
        return;
      }
    }
    fs::create_directories(point_);
    const std::string path = "PATH=$PATH:/usr/sbin:/sbin ";
    if (!Shell("truncate -s 32M " + image_) ||
        !Shell(path + "mkfs.exfat " + image_ + " >/dev/null 2>&1")) {
      why_ = "the exFAT image could not be made";
      return;
    }
    loop_ = Output(path + "losetup -f --show " + image_ + " 2>/dev/null");
    if (loop_.empty()) {
      why_ = "no loop device available";
      return;
    }
    if (!Shell(path + "timeout 20 mount.exfat-fuse " + loop_ + " " + point_ + " >/dev/null 2>&1")) {
      why_ = "mount.exfat-fuse failed";
      return;
    }
    mounted_ = true;
  }
  ~ExfatMount() {
    if (mounted_) Shell("umount " + point_ + " || umount -l " + point_);
    if (!loop_.empty()) Shell("PATH=$PATH:/usr/sbin:/sbin losetup -d " + loop_);
  }
  ExfatMount(const ExfatMount&) = delete;
  ExfatMount& operator=(const ExfatMount&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& WhyNot() const { return why_; }
  const std::string& Point() const { return point_; }

 private:
  std::string image_, point_, loop_, why_;
  bool mounted_ = false;
};

// Sets a file's or link's time to a whole, odd second in the past: a FAT
// family target keeps it in coarser steps.
void SetOddSecondAgo(const std::string& path) {
  std::time_t t = std::time(nullptr) - 3601;
  if (t % 2 == 0) --t;
  const struct timespec times[2] = {{t, 123456789}, {t, 123456789}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW)) << path;
}

}  // namespace

TEST(ExfatTarget, ABackupOntoARealExfatFileSystem) {
  vktest::TempDir tmp;
  ExfatMount exfat(tmp.path());
  if (!exfat.Mounted()) GTEST_SKIP() << "No exFAT file system in user space: " << exfat.WhyNot();

  vktest::ScriptedUi ui;
  const std::string src = tmp / "quelle/Daten";
  const std::string dst = exfat.Point() + "/Daten";
  vktest::WriteFile(src + "/Datei.txt", "gross");
  vktest::WriteFile(src + "/datei.txt", "klein");
  vktest::WriteFile(src + "/a?b.txt", "refused");
  vktest::WriteFile(src + "/gut.txt", "gut");
  vktest::WriteFile(src + "/tief/x.txt", "x");
  fs::create_symlink("gut.txt", src + "/verweis");
  // A private folder with a file that has an attribute, and an empty one:
  // exFAT keeps neither permissions nor attributes.
  vktest::WriteFile(src + "/privat/geheim.txt", "geheim");
  ASSERT_EQ(0, setxattr((src + "/privat/geheim.txt").c_str(), "user.kommentar", "k", 1, 0));
  ASSERT_EQ(0, chmod((src + "/privat").c_str(), 0700));
  fs::create_directories(src + "/leer");
  for (const char* f : {"Datei.txt", "datei.txt", "a?b.txt", "gut.txt", "tief/x.txt", "verweis",
                        "privat/geheim.txt"})
    SetOddSecondAgo(src + "/" + f);

  CopyEngine engine;
  engine.FullBackup = true;
  engine.StartRun();
  engine.RunRows({{src, dst}});

  // Both spellings were seen: one is copied, the other reported with both
  // names, and the first keeps its content.
  std::vector<std::string> report = engine.RunReport;
  std::sort(report.begin(), report.end());
  ASSERT_EQ(3u, report.size()) << ::testing::PrintToString(report);
  const auto has = [&](const std::string& text) {
    return std::any_of(report.begin(), report.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(has("wurde nicht gesichert: Das Ziel unterscheidet den Namen nicht von"));
  EXPECT_TRUE(has("Die Datei " + dst +
                  "/a?b.txt konnte nicht angelegt werden. Das Ziel nimmt "
                  "diesen Dateinamen nicht an."));
  EXPECT_TRUE(has("Die Verknüpfung " + dst +
                  "/verweis konnte nicht angelegt werden. Das Ziel "
                  "kann keine symbolischen Verknüpfungen aufnehmen."));
  const std::string copied = vktest::ReadFile(dst + "/Datei.txt");  // either spelling
  EXPECT_TRUE(copied == "gross" || copied == "klein") << copied;
  EXPECT_TRUE(has(copied == "gross" ? src + "/datei.txt wurde" : src + "/Datei.txt wurde"));
  EXPECT_EQ("gut", vktest::ReadFile(dst + "/gut.txt"));
  EXPECT_EQ("x", vktest::ReadFile(dst + "/tief/x.txt"));
  EXPECT_EQ(4, engine.CopiedTotal);
  // One line says what the target could not keep; the copies are there,
  // the empty folder too, and the source is as it was.
  EXPECT_EQ(std::vector<std::string>{LossNote(true, dst)}, engine.RunNotes);
  EXPECT_EQ("geheim", vktest::ReadFile(dst + "/privat/geheim.txt"));
  EXPECT_TRUE(fs::is_directory(dst + "/leer"));
  struct stat st {};
  ASSERT_EQ(0, stat((src + "/privat").c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 07777);
  char value[8] = {};
  EXPECT_EQ(1, getxattr((src + "/privat/geheim.txt").c_str(), "user.kommentar", value, 8));

  // The target keeps coarser times than the source; a second,
  // incremental run from the stamp of the first copies nothing.
  const platform::DosStamp stamp = DateTimeToDosStamp(engine.NewLastBackup());
  CopyEngine second;
  second.FullBackup = false;
  second.ChangedSince = stamp;
  second.StartRun();
  second.RunRows({{src, dst}});
  EXPECT_EQ(0, second.CopiedTotal);
  EXPECT_TRUE(second.RunReport.empty()) << ::testing::PrintToString(second.RunReport);
  EXPECT_EQ(1u, second.RunNotes.size());

  // The check finds the one copy under both spellings, as the target
  // itself does; missing are the refused name and the link.
  BackupCheck check;
  check.Rows.push_back(MakeCheckRow(src, exfat.Point()));
  check.RunCheck();
  EXPECT_EQ(7, check.FoundTotal);
  EXPECT_EQ(5, check.PresentTotal);
  EXPECT_EQ(2, check.MissingSum);

  // A completion onto it says the same once; a folder it makes is there.
  fs::remove_all(dst + "/leer");
  BackupCompletion completion;
  vktest::CheckAndComplete(completion, src, exfat.Point());
  EXPECT_EQ(std::vector<std::string>{LossNote(true, dst)}, completion.Notes);
  EXPECT_TRUE(fs::is_directory(dst + "/leer"));
}

// Mirroring onto exFAT: a name the source has in other letter case stays,
// also where only the file system's own case table pairs the letters
// (Cyrillic); what the source no longer has goes into the versions there.
TEST(ExfatTarget, MirroringKeepsNamesThatDifferOnlyInLetterCase) {
  vktest::TempDir tmp;
  ExfatMount exfat(tmp.path());
  if (!exfat.Mounted()) GTEST_SKIP() << "No exFAT file system in user space: " << exfat.WhyNot();

  vktest::ScriptedUi ui;
  const std::string src = tmp / "quelle/Daten";
  const std::string dst = exfat.Point() + "/Daten";
  for (const char* name : {"a.txt", "\xD0\xB6.txt", "ordner/x.txt"})  // "ж.txt"
    vktest::WriteFile(src + "/" + name, "neu");
  for (const char* name : {"A.txt", "\xD0\x96.txt", "ORDNER/x.txt"})  // "Ж.txt"
    vktest::WriteFile(dst + "/" + name, "alt");
  // (Of another size: a file of the same kind, size and time as the
  // Cyrillic one would stay with it, since the target names neither.)
  vktest::WriteFile(dst + "/weg.txt", "nicht mehr in der Quelle");

  versions::Keeper keeper(exfat.Point(), 46000.5);
  const versions::MirrorOutcome outcome =
      versions::MirrorRows({{src, dst}}, ExclusionRule(), keeper, versions::MassRemoval::Refuse);
  EXPECT_TRUE(outcome.errors.empty()) << ::testing::PrintToString(outcome.errors);
  EXPECT_EQ(1, keeper.Kept());
  for (const char* name : {"A.txt", "\xD0\x96.txt", "ORDNER/x.txt"})
    EXPECT_EQ("alt", vktest::ReadFile(dst + "/" + name)) << name;
  EXPECT_EQ("nicht mehr in der Quelle",
            vktest::ReadFile(keeper.RunFolderPath() + "/Daten/weg.txt"));
  EXPECT_FALSE(vktest::Exists(dst + "/weg.txt"));
}

// Versions onto exFAT: run folders named by the stamp (no colons), the old
// file kept under its name with its content, a second run in the same
// second in a folder of its own, old run folders pruned; the file system
// knows no O_TMPFILE, and FUSE may refuse RENAME_NOREPLACE.
TEST(ExfatTarget, VersionsAndRunStampsWorkThere) {
  vktest::TempDir tmp;
  ExfatMount exfat(tmp.path());
  if (!exfat.Mounted()) GTEST_SKIP() << "No exFAT file system in user space: " << exfat.WhyNot();

  vktest::ScriptedUi ui;
  const std::string src = tmp / "quelle/Daten";
  const std::string job = exfat.Point();
  const std::string dst = job + "/Daten";
  vktest::WriteFile(src + "/a.txt", "eins");
  vktest::WriteFile(src + "/tief/b.txt", "eins");
  vktest::WriteFile(versions::RootOf(job) + "/2001-01-01 120000/Daten/a.txt", "uralt");
  vktest::WriteFile(versions::RootOf(job) + "/2002-01-01 120000/Daten/a.txt", "uralt");
  TDateTime start = 0;
  ASSERT_TRUE(TryEncodeDate(2003, 2, 22, start));
  start += EncodeTime(18, 30, 10, 0);
  const auto run = [&](const std::string& content) {
    vktest::WriteFile(src + "/a.txt", content);
    vktest::WriteFile(src + "/tief/b.txt", content);
    CopyEngine engine;
    engine.Clock = [&] { return start; };
    engine.FullBackup = true;
    engine.JobTarget = job;
    engine.KeepVersions = true;
    engine.VersionDays = 30;
    engine.StartRun();
    engine.RunRows({{src, dst}});
    EXPECT_TRUE(engine.RunReport.empty()) << ::testing::PrintToString(engine.RunReport);
    return engine.VersionsKept();
  };
  EXPECT_EQ(0, run("eins"));
  EXPECT_EQ(2, run("zwei"));
  EXPECT_EQ(2, run("drei"));
  std::vector<versions::RunFolder> folders;
  ASSERT_EQ(0, versions::ListRunFolders(job, folders));
  std::vector<std::string> names;
  for (const auto& f : folders) names.push_back(f.name);
  // The old ones went (the first run removed one, the second the other,
  // no longer the newest then); the three runs of the same second each
  // have their own.
  EXPECT_EQ(
      (std::vector<std::string>{"2003-02-22 183010", "2003-02-22 183010-2", "2003-02-22 183010-3"}),
      names);
  const std::string root = versions::RootOf(job) + "/";
  EXPECT_EQ("eins", vktest::ReadFile(root + "2003-02-22 183010-2/Daten/a.txt"));
  EXPECT_EQ("eins", vktest::ReadFile(root + "2003-02-22 183010-2/Daten/tief/b.txt"));
  EXPECT_EQ("zwei", vktest::ReadFile(root + "2003-02-22 183010-3/Daten/a.txt"));
  EXPECT_EQ("drei", vktest::ReadFile(dst + "/a.txt"));
  std::vector<std::string> added;
  ASSERT_TRUE(versions::ReadAddedList(root + "2003-02-22 183010", added));
  EXPECT_EQ(2u, added.size());
  for (const auto& e : fs::recursive_directory_iterator(job))
    EXPECT_EQ(std::string::npos, e.path().filename().string().find(".vktmp-")) << e.path();
}
