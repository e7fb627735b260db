// Whole files, folders, the user's folders, the single-instance lock and
// the launcher of the operating-system layer.
#include <errno.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/platform_support.h"
#include "support/core_support.h"

namespace {

// Sets an environment variable for one test and puts the old value back.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~EnvGuard() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Waits up to five seconds for a file that a started program writes.
std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    std::string content = vktest::ReadFile(path);
    if (!content.empty()) return content;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::string();
}

// A small program that records its arguments, one per line.
void WriteRecorder(const std::string& path, const std::string& record) {
  vktest::WriteFile(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                              record + ".part'\n/bin/mv '" + record + ".part' '" + record + "'\n");
  ASSERT_EQ(0, chmod(path.c_str(), 0755));
}

}  // namespace

TEST(WholeFiles, ReadAndAtomicWrite) {
  vktest::TempDir dir;
  const std::string f = dir / "data.dat";
  ASSERT_EQ(0, platform::WriteFileAtomic(f, std::string("a\0b\r\n", 5)));
  std::string bytes;
  int code = -1;
  ASSERT_TRUE(platform::ReadWholeFile(f, bytes, &code));
  EXPECT_EQ(std::string("a\0b\r\n", 5), bytes);
  EXPECT_EQ(0, code);

  // Replacing keeps the old permissions.
  ASSERT_EQ(0, chmod(f.c_str(), 0600));
  ASSERT_EQ(0, platform::WriteFileAtomic(f, ""));
  EXPECT_EQ("", vktest::ReadFile(f));
  EXPECT_EQ(0600u, vktest::ModeOf(f) & 07777);
  ASSERT_EQ(0, platform::WriteFileAtomic(f, "second"));

  // A failure (full disk while writing) leaves the old file as it was.
  {
    vktest::FaultHookGuard guard(vktest::FailAt("write-atomic", ENOSPC));
    EXPECT_EQ(platform::kErrDiskFull, platform::WriteFileAtomic(f, "third, longer"));
  }
  EXPECT_EQ("second", vktest::ReadFile(f));
  EXPECT_EQ(std::vector<std::string>{"data.dat"}, vktest::NamesIn(dir.path()));

  // Through a symlink the link stays and its target gets the bytes.
  ASSERT_TRUE(platform::CreateDirPath(dir / "real"));
  vktest::WriteFile(dir / "real/target.ini", "old");
  ASSERT_EQ(0, symlink("real/target.ini", (dir / "link.ini").c_str()));
  ASSERT_EQ(0, platform::WriteFileAtomic(dir / "link.ini", "new"));
  EXPECT_TRUE(S_ISLNK(vktest::ModeOf(dir / "link.ini")));
  EXPECT_EQ("new", vktest::ReadFile(dir / "real/target.ini"));
  EXPECT_EQ(std::vector<std::string>{"target.ini"}, vktest::NamesIn(dir / "real"));

  EXPECT_EQ(platform::kErrPathNotFound, platform::WriteFileAtomic(dir / "no/x", "x"));
  EXPECT_FALSE(platform::ReadWholeFile(dir / "none", bytes, &code));
  EXPECT_EQ(platform::kErrFileNotFound, code);
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(platform::ReadWholeFile(dir.path(), bytes, &code));
  EXPECT_EQ(platform::kErrAccessDenied, code);
}

// Every byte arrives, whether the file's size was known up front, a
// multiple of the reader's pieces, or unknown (files the kernel makes).
TEST(WholeFiles, ReadGivesEveryByteWhateverTheSizeSaid) {
  vktest::TempDir dir;
  std::vector<std::string> files = {"/proc/self/cmdline", "/proc/cpuinfo"};
  for (std::size_t size : {0u, 1u, 4095u, 4096u, 4097u, 360000u}) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i % 23);
    files.push_back(dir / ("datei" + std::to_string(size)));
    vktest::WriteFile(files.back(), content);
  }
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    std::string bytes = "alter Inhalt";
    ASSERT_TRUE(platform::ReadWholeFile(file, bytes)) << file;
    EXPECT_EQ(expected.size(), bytes.size()) << file;
    EXPECT_TRUE(expected == bytes) << file;
  }
}

TEST(Folders, CreateDirPathMakesEveryMissingParent) {
  vktest::TempDir dir;
  EXPECT_TRUE(platform::CreateDirPath(dir / "a/b/c"));
  EXPECT_TRUE(platform::DirExists(dir / "a/b/c"));
  EXPECT_TRUE(platform::CreateDirPath(dir / "a/b/c"));   // already there
  EXPECT_TRUE(platform::CreateDirPath(dir / "a/b/d/"));  // trailing separator
  EXPECT_TRUE(platform::DirExists(dir / "a/b/d"));

  vktest::WriteFile(dir / "file", "x");
  EXPECT_FALSE(platform::CreateDirPath(dir / "file"));
  EXPECT_FALSE(platform::CreateDirPath(dir / "file/sub"));
  EXPECT_FALSE(platform::CreateDirPath(""));

  ASSERT_EQ(0, symlink("a", (dir / "link").c_str()));
  EXPECT_TRUE(platform::CreateDirPath(dir / "link/new"));  // through the link
  EXPECT_TRUE(platform::DirExists(dir / "a/new"));

  vktest::FaultHookGuard guard(vktest::FailAt("create-dir", EACCES));
  EXPECT_FALSE(platform::CreateDirPath(dir / "x/y"));
  EXPECT_FALSE(platform::PathExists(dir / "x"));
}

TEST(UserFolders, FollowTheEnvironment) {
  {
    EnvGuard data("XDG_DATA_HOME", "/srv/data/");
    EXPECT_EQ("/srv/data/VolKarn/", platform::UserDataDir());
  }
  {
    EnvGuard data("XDG_DATA_HOME", "relative");  // not absolute: ignored
    EnvGuard home("HOME", "/home/anna");
    EXPECT_EQ("/home/anna/.local/share/VolKarn/", platform::UserDataDir());
  }
  vktest::TempDir runtime;
  {
    EnvGuard rt("XDG_RUNTIME_DIR", runtime.path().c_str());
    EXPECT_EQ(runtime.path().substr(0, runtime.path().size() - 1), platform::RuntimeDir());
  }
  {
    // Without the variable (cron): the session's folder where there is one.
    EnvGuard rt("XDG_RUNTIME_DIR", nullptr);
    const std::string session = "/run/user/" + std::to_string(getuid());
    EXPECT_EQ(platform::DirExists(session) ? session : "/tmp", platform::RuntimeDir());
  }
  const std::string self = platform::ProgramFile();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ('/', self[0]);
  EXPECT_TRUE(platform::IsExecutableFile(self));
}

using LockResult = platform::InstanceLock::Result;

// What a second process gets for the data folder, with its own runtime
// folder setting (unset for nullptr).
LockResult AcquireInChild(const std::string& dataDir, const std::string& name,
                          const char* runtimeDir) {
  const pid_t child = fork();
  if (child == 0) {
    if (runtimeDir)
      setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    platform::InstanceLock lock;
    _exit(static_cast<int>(lock.Acquire(dataDir, name)));
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
    return LockResult::NotPossible;
  return static_cast<LockResult>(WEXITSTATUS(status));
}

TEST(InstanceLock, OneProgramPerDataFolderWhateverTheEnvironment) {
  vktest::TempDir data, otherData, runtime;
  const std::string name = "volkarn";
  platform::InstanceLock first;
  platform::InstanceLock second;
  {
    EnvGuard rt("XDG_RUNTIME_DIR", runtime.path().c_str());
    ASSERT_EQ(LockResult::Acquired, first.Acquire(data.path(), name));
  }
  EXPECT_TRUE(platform::FileExists(data / "volkarn.lock"));
  EXPECT_EQ(LockResult::HeldElsewhere, second.Acquire(data.path(), name));
  // Another process is refused whether its runtime folder is set or not.
  EXPECT_EQ(LockResult::HeldElsewhere, AcquireInChild(data.path(), name, nullptr));
  EXPECT_EQ(LockResult::HeldElsewhere, AcquireInChild(data.path(), name, runtime.path().c_str()));
  EXPECT_EQ(LockResult::HeldElsewhere, AcquireInChild(data.path(), name, "/nonexistent"));
  // Another data folder is free.
  EXPECT_EQ(LockResult::Acquired, AcquireInChild(otherData.path(), name, nullptr));

  first.Release();
  EXPECT_EQ(LockResult::Acquired, AcquireInChild(data.path(), name, nullptr));
  EXPECT_EQ(LockResult::Acquired, second.Acquire(data.path(), name));
  EXPECT_EQ(LockResult::Acquired, second.Acquire(data.path(), name));  // holding it already
  second.Release();
  {
    platform::InstanceLock scoped;
    EXPECT_EQ(LockResult::Acquired, scoped.Acquire(data.path(), name));
  }  // released by the destructor
  EXPECT_EQ(LockResult::Acquired, first.Acquire(data.path(), name));
  EXPECT_EQ(LockResult::NotPossible, second.Acquire(data.path(), "bad/name"));
}

TEST(InstanceLock, AFolderThatCannotBeWrittenIsLockedItself) {
  vktest::TempDir data;
  // The lock file cannot be made (as in a write-protected folder).
  vktest::FaultHookGuard guard(vktest::FailAt("lock-file", EACCES));
  platform::InstanceLock first;
  ASSERT_EQ(LockResult::Acquired, first.Acquire(data.path(), "volkarn"));
  EXPECT_FALSE(platform::FileExists(data / "volkarn.lock"));
  EXPECT_EQ(LockResult::HeldElsewhere, AcquireInChild(data.path(), "volkarn", nullptr));
  first.Release();
  EXPECT_EQ(LockResult::Acquired, AcquireInChild(data.path(), "volkarn", nullptr));
  // A missing data folder claims no other program.
  platform::InstanceLock missing;
  EXPECT_EQ(LockResult::NotPossible, missing.Acquire(data / "fehlt/", "volkarn"));
}

TEST(Launch, FindsTheEditorAndReportsMissingFiles) {
  const std::string editor = platform::FindTextEditor();
  EXPECT_TRUE(editor.empty() || platform::IsExecutableFile(editor)) << editor;

  vktest::TempDir dir;
  EXPECT_EQ(2, platform::LaunchFile(dir / "missing.txt", ""));
  EXPECT_EQ(2, platform::LaunchFile(dir / "missing-program", "x"));
  EXPECT_EQ(2, platform::LaunchFile("", ""));

  // A file with an execute bit that is no program.
  vktest::WriteFile(dir / "notaprogram", "just text\n");
  ASSERT_EQ(0, chmod((dir / "notaprogram").c_str(), 0755));
  EXPECT_EQ(11, platform::LaunchFile(dir / "notaprogram", ""));

  // The hook replaces the launcher.
  std::vector<std::string> launched;
  platform::SetLaunchHook([&](const std::string& file, const std::string& parameters) {
    launched.push_back(file + "|" + parameters);
    return 33;
  });
  EXPECT_EQ(33, platform::LaunchFile("notepad.exe", dir / "missing.txt"));
  platform::SetLaunchHook(nullptr);
  EXPECT_EQ(std::vector<std::string>{"notepad.exe|" + dir / "missing.txt"}, launched);
}

TEST(Launch, StartsProgramsWithAnArgumentVectorNeverAShell) {
  vktest::TempDir dir;
  ASSERT_TRUE(platform::CreateDirPath(dir / "bin"));
  EnvGuard path("PATH", (dir / "bin").c_str());

  // No editor installed: notepad has no program.
  EXPECT_EQ("", platform::FindTextEditor());
  EXPECT_EQ(31, platform::LaunchFile("notepad.exe", dir / "report.log"));
  EXPECT_EQ(31, platform::LaunchFile("WordPad.EXE", dir / "text.rtf"));
  // No document opener either.
  vktest::WriteFile(dir / "doc.xyz", "x");
  EXPECT_EQ(31, platform::LaunchFile(dir / "doc.xyz", ""));

  // A text editor: "notepad.exe" starts it with the parameter untouched.
  WriteRecorder(dir / "bin/mousepad", dir / "editor.out");
  EXPECT_EQ(dir / "bin/mousepad", platform::FindTextEditor());
  const std::string tricky = dir / "Bericht; true $HOME `x` 'q' && ok.log";
  EXPECT_GT(platform::LaunchFile("NOTEPAD.EXE", tricky), 32);
  EXPECT_EQ(tricky + "\n", WaitForFile(dir / "editor.out"));
  // "wordpad.exe" falls back to the text editor; a name that begins with
  // "-" is not taken for an option.
  unlink((dir / "editor.out").c_str());
  EXPECT_GT(platform::LaunchFile("wordpad.exe", "-x.rtf"), 32);
  EXPECT_EQ("./-x.rtf\n", WaitForFile(dir / "editor.out"));

  // A program by path with one argument.
  WriteRecorder(dir / "prog", dir / "prog.out");
  EXPECT_GT(platform::LaunchFile(dir / "prog", "two words"), 32);
  EXPECT_EQ("two words\n", WaitForFile(dir / "prog.out"));

  // Documents go to the opener, which reports whether it found a program.
  WriteRecorder(dir / "bin/xdg-open", dir / "open.out");
  EXPECT_GT(platform::LaunchFile(dir / "doc.xyz", ""), 32);
  EXPECT_EQ(dir / "doc.xyz\n", WaitForFile(dir / "open.out"));
  vktest::WriteFile(dir / "bin/xdg-open", "#!/bin/sh\nexit 3\n");
  EXPECT_EQ(31, platform::LaunchFile(dir / "doc.xyz", ""));
}
