// The file copy of the operating-system layer: what it carries over, what
// it answers, and that a failed copy never damages the old destination.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/platform_support.h"
#include "support/core_support.h"

namespace fs = std::filesystem;

namespace {

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

struct timespec MtimeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mtim;
}

// Runs each copy test with the unnamed temporary file (O_TMPFILE) and with
// the named one that file systems without it get.
class CopyFileTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { platform::detail::g_forceNamedTemp = GetParam(); }
  void TearDown() override {
    platform::detail::g_forceNamedTemp = false;
    platform::SetFaultHook(nullptr);
  }
  vktest::TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(TempKinds, CopyFileTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Named" : "Unnamed"; });

}  // namespace

TEST_P(CopyFileTest, CarriesContentPermissionsAndNanosecondTime) {
  const std::string src = dir / "src.bin";
  const std::string content = RandomBytes(3 * 1024 * 1024 + 17, 1);
  vktest::WriteFile(src, content);
  ASSERT_EQ(0, chmod(src.c_str(), 0640));
  const struct timespec times[2] = {{1000000000, 5}, {1234567890, 123456789}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, src.c_str(), times, 0));

  // The destination folder is not made here.
  EXPECT_EQ(platform::kErrPathNotFound, platform::CopyFile(src, dir / "out/copy.bin", false));
  ASSERT_EQ(0, platform::CopyFile(src, dir / "copy.bin", false));
  EXPECT_EQ(content, vktest::ReadFile(dir / "copy.bin"));
  EXPECT_EQ(0640u, vktest::ModeOf(dir / "copy.bin") & 07777);
  EXPECT_EQ(1234567890, MtimeOf(dir / "copy.bin").tv_sec);
  EXPECT_EQ(123456789, MtimeOf(dir / "copy.bin").tv_nsec);

  // Empty and read-only sources.
  vktest::WriteFile(dir / "empty", "");
  ASSERT_TRUE(platform::MakeReadOnly(dir / "empty"));
  ASSERT_EQ(0, platform::CopyFile(dir / "empty", dir / "empty-copy", false));
  EXPECT_TRUE(platform::FileExists(dir / "empty-copy"));
  EXPECT_EQ("", vktest::ReadFile(dir / "empty-copy"));
  EXPECT_TRUE(platform::HasAttributes(dir / "empty-copy", platform::kAttrReadOnly));

  EXPECT_EQ((std::vector<std::string>{"copy.bin", "empty", "empty-copy", "src.bin"}),
            vktest::NamesIn(dir.path()));
}

TEST_P(CopyFileTest, PermissionBitsArriveExactlyWhateverTheUmaskOrTheFolder) {
  // Modes the umask would cut at creation, special bits, and plain ones.
  const mode_t modes[] = {0644, 0600, 0666, 0777, 0751, 0444, 04755, 02750, 01777};
  for (mode_t m : modes) {
    const std::string name = "m" + std::to_string(m);
    vktest::WriteFile(dir / name, "content " + name);
    ASSERT_EQ(0, chmod((dir / name).c_str(), m));
    ASSERT_EQ(0, platform::CopyFile(dir / name, dir / (name + ".copy"), false)) << name;
    EXPECT_EQ(m, vktest::ModeOf(dir / (name + ".copy")) & 07777) << name;
    EXPECT_EQ("content " + name, vktest::ReadFile(dir / (name + ".copy")));
  }

  // A folder whose default ACL (owner rwx, group and others nothing) would
  // hand its own bits down to new files.
  ASSERT_EQ(0, mkdir((dir / "acl").c_str(), 0755));
  const unsigned char acl[] = {2,    0, 0, 0,                           // version
                               0x01, 0, 7, 0, 0xff, 0xff, 0xff, 0xff,   // owner rwx
                               0x04, 0, 0, 0, 0xff, 0xff, 0xff, 0xff,   // group ---
                               0x20, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};  // others ---
  if (setxattr((dir / "acl").c_str(), "system.posix_acl_default", acl, sizeof acl, 0) != 0)
    GTEST_SKIP() << "no ACLs here: " << strerror(errno);
  for (const char* name : {"m420", "m438"}) {  // 0644 and 0666
    ASSERT_EQ(0, platform::CopyFile(dir / name, dir / (std::string("acl/") + name), false));
    EXPECT_EQ(vktest::ModeOf(dir / name) & 07777,
              vktest::ModeOf(dir / (std::string("acl/") + name)) & 07777);
  }
}

TEST_P(CopyFileTest, CopiesIntoTheFolderThePathNamesNow) {
  vktest::WriteFile(dir / "src", "one");
  ASSERT_EQ(0, mkdir((dir / "sub").c_str(), 0755));
  ASSERT_EQ(0, platform::CopyFile(dir / "src", dir / "sub/a", false));
  // The folder is renamed and made anew between two copies into it.
  ASSERT_EQ(0, rename((dir / "sub").c_str(), (dir / "old").c_str()));
  ASSERT_EQ(0, mkdir((dir / "sub").c_str(), 0755));
  ASSERT_EQ(0, platform::CopyFile(dir / "src", dir / "sub/b", false));
  EXPECT_EQ(std::vector<std::string>{"a"}, vktest::NamesIn(dir / "old"));
  EXPECT_EQ(std::vector<std::string>{"b"}, vktest::NamesIn(dir / "sub"));
  // Removed: the path is missing; made again: the copy goes there.
  ASSERT_EQ(0, unlink((dir / "sub/b").c_str()));
  ASSERT_EQ(0, rmdir((dir / "sub").c_str()));
  EXPECT_EQ(platform::kErrPathNotFound, platform::CopyFile(dir / "src", dir / "sub/c", false));
  ASSERT_EQ(0, mkdir((dir / "sub").c_str(), 0755));
  ASSERT_EQ(0, platform::CopyFile(dir / "src", dir / "sub/c", false));
  EXPECT_EQ("one", vktest::ReadFile(dir / "sub/c"));
  EXPECT_EQ(std::vector<std::string>{"c"}, vktest::NamesIn(dir / "sub"));
}

TEST_P(CopyFileTest, CopiesThroughAnOpenTargetFolderAndByPathOnceThatFolderIsGone) {
  vktest::WriteFile(dir / "src", "new");
  ASSERT_EQ(0, chmod((dir / "src").c_str(), 0640));
  ASSERT_EQ(0, mkdir((dir / "sub").c_str(), 0755));
  platform::UniqueFd handle = platform::OpenFolderHandle(dir / "sub/");
  ASSERT_TRUE(handle.Valid());
  const platform::SourceRef at{-1, nullptr, handle.Get()};
  const auto copy = [&](const std::string& dest, platform::KeepReplaced* keep = nullptr) {
    return platform::CopyFileReplacing(dir / "src", dest, false, at, nullptr, keep);
  };

  // A new file and one that replaces, plain and kept.
  ASSERT_EQ(0, copy(dir / "sub/a"));
  EXPECT_EQ("new", vktest::ReadFile(dir / "sub/a"));
  EXPECT_EQ(0640u, vktest::ModeOf(dir / "sub/a") & 07777);
  EXPECT_EQ(MtimeOf(dir / "src").tv_nsec, MtimeOf(dir / "sub/a").tv_nsec);
  vktest::WriteFile(dir / "sub/b", "old");
  ASSERT_EQ(0, copy(dir / "sub/b"));
  EXPECT_EQ("new", vktest::ReadFile(dir / "sub/b"));
  vktest::WriteFile(dir / "sub/c", "old");
  platform::KeepReplaced keep;
  keep.keep = [&](const std::string& dest) {
    return rename(dest.c_str(), (dir / "kept").c_str()) == 0 ? 0 : platform::MapErrno(errno);
  };
  ASSERT_EQ(0, copy(dir / "sub/c", &keep));
  EXPECT_TRUE(keep.replaced);
  EXPECT_EQ("old", vktest::ReadFile(dir / "kept"));
  EXPECT_EQ("new", vktest::ReadFile(dir / "sub/c"));
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), vktest::NamesIn(dir / "sub"));

  // The folder is removed and made anew while the handle is open: the
  // copy goes to the folder the path names now, or fails without it.
  fs::remove_all(dir / "sub");
  EXPECT_EQ(platform::kErrPathNotFound, copy(dir / "sub/d"));
  ASSERT_EQ(0, mkdir((dir / "sub").c_str(), 0755));
  ASSERT_EQ(0, copy(dir / "sub/d"));
  EXPECT_EQ("new", vktest::ReadFile(dir / "sub/d"));
  EXPECT_EQ(std::vector<std::string>{"d"}, vktest::NamesIn(dir / "sub"));
}

TEST_P(CopyFileTest, ReplacesOrRefusesAnExistingDestination) {
  vktest::WriteFile(dir / "src", "new content");
  vktest::WriteFile(dir / "dst", "old");
  EXPECT_EQ(platform::kErrFileExists, platform::CopyFile(dir / "src", dir / "dst", true));
  EXPECT_EQ("old", vktest::ReadFile(dir / "dst"));
  ASSERT_EQ(0, platform::CopyFile(dir / "src", dir / "dst", false));
  EXPECT_EQ("new content", vktest::ReadFile(dir / "dst"));

  // A read-only destination, as the backup meets it: clear, then replace.
  ASSERT_EQ(0, chmod((dir / "src").c_str(), 0600));
  ASSERT_TRUE(platform::MakeReadOnly(dir / "dst"));
  ASSERT_TRUE(platform::HasAttributes(dir / "dst", platform::kAttrReadOnly));
  ASSERT_TRUE(platform::ClearAttributes(dir / "dst", platform::kAttrReadOnly));
  vktest::WriteFile(dir / "src", "third");
  ASSERT_EQ(0, platform::CopyFile(dir / "src", dir / "dst", false));
  EXPECT_EQ("third", vktest::ReadFile(dir / "dst"));
  EXPECT_EQ(0600u, vktest::ModeOf(dir / "dst") & 07777);  // the source's permissions

  // A folder in the way is not replaced.
  ASSERT_EQ(0, mkdir((dir / "folder").c_str(), 0755));
  EXPECT_EQ(platform::kErrAccessDenied, platform::CopyFile(dir / "src", dir / "folder", false));
  EXPECT_TRUE(platform::DirExists(dir / "folder"));
  EXPECT_EQ((std::vector<std::string>{"dst", "folder", "src"}), vktest::NamesIn(dir.path()));
}

TEST_P(CopyFileTest, AnswersWithWindowsCodes) {
  vktest::WriteFile(dir / "src", "x");
  ASSERT_EQ(0, mkdir((dir / "sub").c_str(), 0755));
  EXPECT_EQ(platform::kErrFileNotFound, platform::CopyFile(dir / "none", dir / "d1", false));
  EXPECT_EQ(platform::kErrPathNotFound, platform::CopyFile(dir / "src", dir / "no/d2", false));
  EXPECT_EQ(platform::kErrPathNotFound, platform::CopyFile(dir / "src/x", dir / "d3", false));
  EXPECT_EQ(platform::kErrAccessDenied, platform::CopyFile(dir / "sub", dir / "d4", false));
  EXPECT_EQ(platform::kErrAccessDenied, platform::CopyFile(dir / "src", dir / "sub/", false));
  ASSERT_EQ(0, mkfifo((dir / "fifo").c_str(), 0644));
  EXPECT_EQ(platform::kErrAccessDenied, platform::CopyFile(dir / "fifo", dir / "d5", false));

  {
    vktest::FaultHookGuard guard(vktest::FailAt("copy-open-source", EACCES));
    EXPECT_EQ(platform::kErrAccessDenied, platform::CopyFile(dir / "src", dir / "d6", false));
  }
  if (geteuid() != 0) {  // as an ordinary user the real refusal is met too
    ASSERT_EQ(0, chmod((dir / "src").c_str(), 0));
    EXPECT_EQ(platform::kErrAccessDenied, platform::CopyFile(dir / "src", dir / "d7", false));
    ASSERT_EQ(0, chmod((dir / "src").c_str(), 0644));
  }
  EXPECT_EQ((std::vector<std::string>{"fifo", "src", "sub"}), vktest::NamesIn(dir.path()));
  EXPECT_TRUE(vktest::NamesIn(dir / "sub").empty());
}

TEST_P(CopyFileTest, CopiesASymlinkAsASymlink) {
  ASSERT_EQ(0, symlink("../elsewhere/target name", (dir / "link").c_str()));
  const struct timespec times[2] = {{1500000000, 0}, {1600000000, 250}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, (dir / "link").c_str(), times, AT_SYMLINK_NOFOLLOW));
  ASSERT_EQ(0, platform::CopyFile(dir / "link", dir / "copy", false));
  ASSERT_TRUE(S_ISLNK(vktest::ModeOf(dir / "copy")));
  char buf[256] = {};
  ASSERT_GT(readlink((dir / "copy").c_str(), buf, sizeof buf - 1), 0);
  EXPECT_STREQ("../elsewhere/target name", buf);
  EXPECT_EQ(1600000000, MtimeOf(dir / "copy").tv_sec);
  EXPECT_EQ(250, MtimeOf(dir / "copy").tv_nsec);

  // Over an existing file, and refused with failIfExists.
  vktest::WriteFile(dir / "file", "data");
  EXPECT_EQ(platform::kErrFileExists, platform::CopyFile(dir / "link", dir / "file", true));
  EXPECT_EQ("data", vktest::ReadFile(dir / "file"));
  ASSERT_EQ(0, platform::CopyFile(dir / "link", dir / "file", false));
  EXPECT_TRUE(S_ISLNK(vktest::ModeOf(dir / "file")));
  EXPECT_EQ((std::vector<std::string>{"copy", "file", "link"}), vktest::NamesIn(dir.path()));
}

TEST_P(CopyFileTest, FailureHalfWayKeepsTheOldDestinationAndNoTemporaryFile) {
  const std::string oldContent = RandomBytes(200000, 2);
  vktest::WriteFile(dir / "src", RandomBytes(500000, 3));
  vktest::WriteFile(dir / "dst", oldContent);
  ASSERT_EQ(0, chmod((dir / "dst").c_str(), 0604));

  std::vector<std::string> writeChecks;
  platform::SetFaultHook([&](const std::string& op, const std::string& path) {
    if (op != "copy-write") return 0;
    writeChecks.push_back(path);
    return ENOSPC;
  });
  EXPECT_EQ(platform::kErrDiskFull, platform::CopyFile(dir / "src", dir / "dst", false));
  EXPECT_EQ(std::vector<std::string>{dir / "dst"}, writeChecks);
  EXPECT_EQ(platform::kErrDiskFull, platform::CopyFile(dir / "src", dir / "new", false));

  platform::SetFaultHook(vktest::FailAt("copy-link", EIO));
  EXPECT_EQ(platform::kErrNotReady, platform::CopyFile(dir / "src", dir / "dst", false));
  EXPECT_EQ(platform::kErrNotReady, platform::CopyFile(dir / "src", dir / "new", false));
  ASSERT_EQ(0, symlink("src", (dir / "link").c_str()));
  EXPECT_EQ(platform::kErrNotReady, platform::CopyFile(dir / "link", dir / "dst", false));
  platform::SetFaultHook(nullptr);

  EXPECT_EQ(oldContent, vktest::ReadFile(dir / "dst"));
  EXPECT_EQ(0604u, vktest::ModeOf(dir / "dst") & 07777);
  EXPECT_EQ((std::vector<std::string>{"dst", "link", "src"}), vktest::NamesIn(dir.path()));
}

TEST_P(CopyFileTest, FullDiskKeepsTheOldDestination) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  vktest::TempDir mountPoint;
  if (mount("tmpfs", mountPoint.path().c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{mountPoint.path()};

  const std::string oldContent = RandomBytes(300000, 4);
  vktest::WriteFile(mountPoint / "dst", oldContent);
  vktest::WriteFile(dir / "big", RandomBytes(2 * 1024 * 1024, 5));
  EXPECT_EQ(platform::kErrDiskFull, platform::CopyFile(dir / "big", mountPoint / "dst", false));
  EXPECT_EQ(oldContent, vktest::ReadFile(mountPoint / "dst"));
  EXPECT_EQ(platform::kErrDiskFull, platform::CopyFile(dir / "big", mountPoint / "new", false));
  EXPECT_EQ(std::vector<std::string>{"dst"}, vktest::NamesIn(mountPoint.path()));

  // What fits is copied on the same file system.
  vktest::WriteFile(dir / "small", "fits");
  EXPECT_EQ(0, platform::CopyFile(dir / "small", mountPoint / "dst", false));
  EXPECT_EQ("fits", vktest::ReadFile(mountPoint / "dst"));
}

TEST(MapErrno, EveryErrnoGetsAKnownCode) {
  const std::pair<int, int> table[] = {
      {0, 0},        {ENOENT, 2},  {ENOTDIR, 3}, {ENAMETOOLONG, 3}, {ELOOP, 3},    {EACCES, 5},
      {EPERM, 5},    {EISDIR, 5},  {EXDEV, 5},   {EINVAL, 5},       {EMFILE, 8},   {ENFILE, 8},
      {ENOMEM, 8},   {EROFS, 19},  {EIO, 21},    {ENODEV, 21},      {ESTALE, 21},  {EBUSY, 32},
      {ETXTBSY, 32}, {EAGAIN, 32}, {EEXIST, 80}, {ENOSPC, 112},     {EDQUOT, 112}, {EFBIG, 223},
  };
  for (const auto& [err, code] : table) EXPECT_EQ(code, platform::MapErrno(err)) << err;
  const int known[] = {2, 3, 5, 8, 19, 21, 32, 80, 112, 223};
  for (int err = 1; err < 134; ++err) {
    const int code = platform::MapErrno(err);
    EXPECT_NE(std::end(known), std::find(std::begin(known), std::end(known), code)) << err;
  }
}

// A folder readied for a copy: made open to its owner only, an existing
// one no wider than its source at once, a link left as it is, and what is
// in the way told apart from a missing parent.
TEST(CopyFolder, IsReadiedNoWiderThanItsSource) {
  vktest::TempDir dir;
  ASSERT_EQ(0, mkdir((dir / "quelle").c_str(), 0750));
  platform::DirLister source(dir / "quelle");
  ASSERT_TRUE(source.IsOpen());
  ASSERT_EQ(0, mkdir((dir / "offen").c_str(), 0777));
  ASSERT_EQ(0, chmod((dir / "offen").c_str(), 0777));
  ASSERT_EQ(0, mkdir((dir / "verlinkt").c_str(), 0777));
  ASSERT_EQ(0, chmod((dir / "verlinkt").c_str(), 0777));
  ASSERT_EQ(0, symlink("verlinkt", (dir / "verweis").c_str()));
  vktest::WriteFile(dir / "datei", "im Weg");
  struct Case {
    const char* name;
    int result;
    bool made;
    mode_t mode;  // of what the name leads to afterwards
  };
  for (const Case& c :
       {Case{"neu", 0, true, 0700}, Case{"offen", 0, false, 0750}, Case{"verweis", 0, false, 0777},
        Case{"datei", platform::kErrDirectory, false, 0},
        Case{"fehlt/neu", platform::kErrPathNotFound, false, 0}}) {
    bool made = !c.made;
    EXPECT_EQ(c.result, platform::PrepareCopyFolder(source.Handle(), dir / c.name, made)) << c.name;
    EXPECT_EQ(c.made, made) << c.name;
    struct stat st {};
    if (c.mode != 0 && stat((dir / c.name).c_str(), &st) == 0) {
      EXPECT_EQ(c.mode, st.st_mode & 07777) << c.name;
    }
  }
  EXPECT_FALSE(vktest::Exists(dir / "fehlt"));
  EXPECT_TRUE(platform::KeepsPermissions(dir.path()));
  EXPECT_TRUE(platform::KeepsPermissions(dir / "fehlt"));  // nothing claimed
  EXPECT_EQ((std::vector<std::string>{"datei", "neu", "offen", "quelle", "verlinkt", "verweis"}),
            vktest::NamesIn(dir.path()));  // no probe file left
}

namespace {

time_t SecondsOf(const std::string& path) { return MtimeOf(path).tv_sec; }

}  // namespace

// ------------------------------------------------ keeping what is replaced --

TEST_P(CopyFileTest, WhatACopyReplacesIsKeptFirstAndNeverOverwritten) {
  const std::string src = dir / "quelle.txt";
  vktest::WriteFile(src, "neu");
  const std::string kept = dir / "kept";
  fs::create_directories(kept);

  struct Case {
    const char* what;
    std::function<void(const std::string& dest)> before;  // the destination as it is
    bool clearReadOnly;
    // What the keeper does besides moving the destination (may put a new
    // file in its place, as another program could).
    std::function<int(int call, const std::string& dest)> keeperExtra;
    int result;
    bool replaced;
    int keeps;            // calls of the keeper
    const char* destNow;  // content at the destination afterwards
  };
  const auto moveAway = [&](int call, const std::string& dest) {
    return rename(dest.c_str(), (kept + "/" + std::to_string(call)).c_str()) == 0
               ? 0
               : platform::MapErrno(errno);
  };
  const std::vector<Case> cases = {
      {"a new file", nullptr, true, nullptr, 0, false, 0, "neu"},
      {"an old file", [](const std::string& d) { vktest::WriteFile(d, "alt"); }, true, nullptr, 0,
       true, 1, "neu"},
      {"a link in the way", [](const std::string& d) { fs::create_symlink("nirgends", d); }, true,
       nullptr, 0, true, 1, "neu"},
      {"read-only, cleared",
       [](const std::string& d) {
         vktest::WriteFile(d, "alt");
         ASSERT_TRUE(platform::MakeReadOnly(d));
       },
       true, nullptr, 0, true, 1, "neu"},
      {"read-only, kept",
       [](const std::string& d) {
         vktest::WriteFile(d, "alt");
         ASSERT_TRUE(platform::MakeReadOnly(d));
       },
       false, nullptr, platform::kErrWriteProtect, false, 0, "alt"},
      {"the keeper fails", [](const std::string& d) { vktest::WriteFile(d, "alt"); }, true,
       [](int, const std::string&) { return platform::kErrDiskFull; }, platform::kErrDiskFull,
       false, 1, "alt"},
      {"a new file appears meanwhile", [](const std::string& d) { vktest::WriteFile(d, "alt"); },
       true,
       [&](int call, const std::string& dest) {
         const int err = moveAway(call, dest);
         if (call == 1) vktest::WriteFile(dest, "dazwischen");
         return err;
       },
       0, true, 2, "neu"},
      {"a folder in the way", [](const std::string& d) { fs::create_directories(d + "/x"); }, true,
       nullptr, platform::kErrAccessDenied, false, 0, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(kept);
    fs::create_directories(kept);
    const std::string dest = dir / ("ziel" + std::to_string(++n) + ".txt");
    if (c.before) c.before(dest);
    const time_t oldTime = fs::exists(fs::symlink_status(dest)) ? SecondsOf(dest) : 0;
    int calls = 0;
    platform::KeepReplaced keep;
    keep.keep = [&](const std::string& d) {
      EXPECT_EQ(dest, d);
      ++calls;
      return c.keeperExtra ? c.keeperExtra(calls, d) : moveAway(calls, d);
    };
    EXPECT_EQ(c.result, platform::CopyFileReplacing(src, dest, c.clearReadOnly,
                                                    platform::SourceRef{}, nullptr, &keep));
    EXPECT_EQ(c.replaced, keep.replaced);
    EXPECT_EQ(c.keeps, calls);
    EXPECT_EQ(c.result == platform::kErrDiskFull ? platform::kErrDiskFull : 0, keep.keepError);
    if (*c.destNow) {
      EXPECT_EQ(c.destNow, vktest::ReadFile(dest));
    }
    if (c.keeps > 0 && c.result == 0) {
      // The kept file is the old one, its time and permissions as they were.
      const std::string first = kept + "/1";
      if (fs::is_symlink(first)) {
        EXPECT_EQ("nirgends", fs::read_symlink(first).string());
      } else {
        EXPECT_EQ("alt", vktest::ReadFile(first));
      }
      EXPECT_EQ(oldTime, SecondsOf(first));
      if (std::string(c.what).rfind("read-only", 0) == 0) {
        EXPECT_TRUE(platform::HasAttributes(first, platform::kAttrReadOnly));
      }
    }
    if (c.keeps == 2) {
      EXPECT_EQ("dazwischen", vktest::ReadFile(kept + "/2"));
    }
  }
  // No temporary file is left anywhere.
  for (const std::string& name : vktest::NamesIn(dir.path()))
    EXPECT_EQ(std::string::npos, name.find(".vktmp-")) << name;
}

TEST_P(CopyFileTest, ALinkIsCopiedAsALinkAndWhatItReplacesKept) {
  fs::create_symlink("ziel-neu", dir / "verweis");
  vktest::WriteFile(dir / "out/verweis", "alt");
  platform::KeepReplaced keep;
  keep.keep = [&](const std::string& d) { return platform::MoveNoReplace(d, dir / "alt"); };
  ASSERT_EQ(0, platform::CopyFileReplacing(dir / "verweis", dir / "out/verweis", true,
                                           platform::SourceRef{}, nullptr, &keep));
  EXPECT_TRUE(keep.replaced);
  EXPECT_EQ("ziel-neu", fs::read_symlink(dir / "out/verweis").string());
  EXPECT_EQ("alt", vktest::ReadFile(dir / "alt"));
}

// Killed at the worst moment, just after the old file was kept and before
// the new one has its name: the old content is where the keeper put it,
// nothing is lost, and nothing but a temporary file is left.
TEST_P(CopyFileTest, KilledBetweenKeepingAndLinkingLosesNothing) {
  vktest::WriteFile(dir / "quelle", "neu");
  vktest::WriteFile(dir / "ziel/datei", "alt");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::KeepReplaced keep;
    keep.keep = [&](const std::string& dest) {
      const int err = platform::MoveNoReplace(dest, dir / "aufbewahrt");
      raise(SIGKILL);
      return err;
    };
    platform::CopyFileReplacing(dir / "quelle", dir / "ziel/datei", true, platform::SourceRef{},
                                nullptr, &keep);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ("alt", vktest::ReadFile(dir / "aufbewahrt"));
  EXPECT_FALSE(fs::exists(dir / "ziel/datei"));
  for (const std::string& name : vktest::NamesIn(dir / "ziel"))
    EXPECT_NE(std::string::npos, name.find(".vktmp-")) << name;
}
