// The installed program as a user meets it: `cmake --install` into a
// temporary prefix (the test fixture), then runs of bin/volkarn on a
// catalogue in a temporary home, without any display.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "core/catalogue/daten.h"
#include "platform/platform.h"
#include "support/core_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kPrefix = VK_INSTALL_PREFIX;
const std::string kProgram = kPrefix + "/bin/volkarn";
constexpr uid_t kNobody = 65534;

struct Result {
  int code = -1;
  std::string out, err;
};

// Finds a program in $PATH; empty when it is not installed.
std::string Which(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::string();
}

// A home of its own for each test: the catalogue where an installed
// program looks for it, a runtime folder, and no display.
class InstalledProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kProgram)) << "the install fixture did not run";
    dataDir_ = home_ / ".local/share/VolKarn/";
    fs::create_directories(home_ / "run");
    chmod((home_ / "run").c_str(), 0700);
  }
  void TearDown() override { SetHomeDirForTesting(""); }

  // A job over `sources` into home/ziel in the catalogue of `dataHome`.
  void MakeJob(const std::string& name, const std::vector<std::string>& sources,
               const std::string& dataHome) {
    SetHomeDirForTesting(dataHome);
    tBackups jobs;
    jobs.LoadCatalogue();
    const int index = jobs.AddJob(name, home_ / "ziel", 0, 0);
    ASSERT_EQ(0,
              textfile::WriteLines(tBackups::GetDataDir() + jobs.GetListFileName(index), sources));
    ASSERT_TRUE(jobs.SaveCatalogue());
    SetHomeDirForTesting("");
  }
  double LastDate(const std::string& dataHome) {
    SetHomeDirForTesting(dataHome);
    tBackups jobs;
    jobs.LoadCatalogue();
    JobRecord record;
    jobs.GetJob(0, record);
    SetHomeDirForTesting("");
    return record.LastDate();
  }

  // Runs the program with a clean environment; `whileRunning` gets its
  // process id and may act on it.
  Result Run(const std::vector<std::string>& args, const std::string& program = kProgram,
             std::function<void(pid_t)> whileRunning = nullptr, bool unprivileged = false) {
    std::vector<std::string> argv;
    if (unprivileged) {
      argv = {Which("setpriv"), "--reuid=" + std::to_string(kNobody),
              "--regid=" + std::to_string(kNobody), "--clear-groups", "--"};
    }
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    std::map<std::string, std::string> env = {
        {"PATH", "/usr/local/bin:/usr/bin:/bin"},
        {"HOME", RemoveBackslash(home_.path())},
        {"XDG_RUNTIME_DIR", home_ / "run"},
        {"LANG", "C.UTF-8"},
    };
    for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
      if (const char* v = std::getenv(keep)) env[keep] = v;
    for (const auto& [k, v] : extraEnv_) env[k] = v;
    std::vector<std::string> envText;
    for (const auto& [k, v] : env) envText.push_back(k + "=" + v);

    const std::string outFile = home_ / "stdout.txt";
    const std::string errFile = home_ / "stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
      const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> a, e;
      for (std::string& s : argv) a.push_back(s.data());
      a.push_back(nullptr);
      for (std::string& s : envText) e.push_back(s.data());
      e.push_back(nullptr);
      execve(a[0], a.data(), e.data());
      _exit(127);
    }
    Result r;
    if (pid < 0) return r;
    if (whileRunning) whileRunning(pid);
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = vktest::ReadFile(outFile);
    r.err = vktest::ReadFile(errFile);
    return r;
  }

  std::string Log(const std::string& dataHome, const std::string& stem) {
    return cp1252::ToUtf8(vktest::ReadFile(dataHome + "VKDaten/" + stem + ".log"));
  }

  vktest::TempDir home_;
  std::string dataDir_;
  std::map<std::string, std::string> extraEnv_;
};

TEST(InstallTree, HoldsEveryFileAndTheValidatorsAcceptThem) {
  for (const char* file :
       {"bin/volkarn", "share/applications/org.volkarn.VolKarn.desktop",
        "share/icons/hicolor/scalable/apps/volkarn.svg",
        "share/metainfo/org.volkarn.VolKarn.metainfo.xml", "share/man/man1/volkarn.1",
        "lib/systemd/user/volkarn-backup@.service", "lib/systemd/user/volkarn-backup@.timer",
        "lib/systemd/user/volkarn-sync@.service", "lib/systemd/user/volkarn-sync@.timer",
        "share/doc/volkarn/README.md", "share/doc/volkarn/LICENSE"}) {
    EXPECT_TRUE(fs::is_regular_file(kPrefix + "/" + file)) << file;
  }
  // An installed program is never portable: it must not write beside itself.
  EXPECT_FALSE(fs::exists(kPrefix + "/bin/volkarn.portable"));
  const std::string service =
      vktest::ReadFile(kPrefix + "/lib/systemd/user/volkarn-backup@.service");
  EXPECT_NE(std::string::npos, service.find("volkarn --backup %I --quiet"));
  const std::string timer = vktest::ReadFile(kPrefix + "/lib/systemd/user/volkarn-backup@.timer");
  EXPECT_NE(std::string::npos, timer.find("Persistent=true"));
  EXPECT_NE(std::string::npos, vktest::ReadFile(kPrefix + "/lib/systemd/user/volkarn-sync@.service")
                                   .find("volkarn --sync %I --quiet"));
  EXPECT_NE(
      std::string::npos,
      vktest::ReadFile(kPrefix + "/lib/systemd/user/volkarn-sync@.timer").find("Persistent=true"));

  for (const auto& [tool, file] : std::vector<std::pair<std::string, std::string>>{
           {"desktop-file-validate", "share/applications/org.volkarn.VolKarn.desktop"},
           {"appstreamcli", "share/metainfo/org.volkarn.VolKarn.metainfo.xml"}}) {
    const std::string path = Which(tool);
    if (path.empty()) continue;
    const std::string command = path + (tool == "appstreamcli" ? " validate --no-net " : " ") +
                                kPrefix + "/" + file + " >/dev/null 2>&1";
    EXPECT_EQ(0, std::system(command.c_str())) << command;
  }
}

TEST_F(InstalledProgram, RunsJobsWithoutADisplayOnTheUsersDataFolder) {
  vktest::WriteFile(home_ / "src/Daten/a.txt", "aaa");
  vktest::WriteFile(home_ / "src/Daten/sub/b.txt", "bbbb");
  // Older than any stamp a run stores.
  for (const char* file : {"src/Daten/a.txt", "src/Daten/sub/b.txt"})
    fs::last_write_time(home_ / file, fs::file_time_type::clock::now() - std::chrono::hours(1));
  MakeJob("Eigene Dateien", {home_ / "src/Daten"}, dataDir_);

  Result r = Run({"--list"});
  EXPECT_EQ(0, r.code) << r.err;
  EXPECT_EQ("Eigene Dateien\n", r.out);
  r = Run({"--help"});
  EXPECT_EQ(0, r.code);
  EXPECT_NE(std::string::npos, r.out.find("4  abgebrochen (SIGINT, SIGTERM)"));
  r = Run({"--version"});
  EXPECT_NE(std::string::npos, r.out.find("GPL-3.0-or-later"));

  r = Run({"--backup", "EIGENE dateien", "--quiet"});
  EXPECT_EQ(0, r.code) << r.err;
  EXPECT_EQ("aaa", vktest::ReadFile(home_ / "ziel/Daten/a.txt"));
  EXPECT_EQ("bbbb", vktest::ReadFile(home_ / "ziel/Daten/sub/b.txt"));
  const std::string report = Log(dataDir_, "EigeneDa");
  EXPECT_EQ(0u, report.find("Datensicherung \"Eigene Dateien\" am "));
  EXPECT_NE(std::string::npos,
            report.find("(Vorhergehende Sicherung: 30.12.1899/00:00)\r\n\r\nEs sind keine Fehler "
                        "aufgetreten.\r\n2 Dateien wurden kopiert.\r\n"));
  const double stamp = LastDate(dataDir_);
  EXPECT_NE(0, stamp) << "the stamp is in the catalogue file at once";

  // The next run without a mode is incremental: one changed file.
  vktest::WriteFile(home_ / "src/Daten/sub/b.txt", "neu");
  r = Run({"--backup", "Eigene Dateien"});
  EXPECT_EQ(0, r.code) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("1 Dateien wurden kopiert."));
  EXPECT_EQ("neu", vktest::ReadFile(home_ / "ziel/Daten/sub/b.txt"));
  EXPECT_NE(std::string::npos, Log(dataDir_, "EigeneDa").find("1 Dateien wurden kopiert."));

  r = Run({"--backup", "Unbekannt"});
  EXPECT_EQ(2, r.code);
  EXPECT_NE(std::string::npos, r.err.find("Es gibt keine Datensicherung \"Unbekannt\"."));

  // The window program (or another run) holds the lock of this data
  // folder, whatever its environment.
  {
    platform::InstanceLock window;
    ASSERT_EQ(platform::InstanceLock::Result::Acquired,
              window.Acquire(dataDir_ + "VKDaten/", "volkarn"));
    r = Run({"--backup", "Eigene Dateien"});
    EXPECT_EQ(3, r.code);
    EXPECT_NE(std::string::npos, r.err.find("VolKarn wurde bereits gestartet!"));
  }

  // Settings and data live in the user's folders; nothing beside the program.
  EXPECT_TRUE(fs::is_directory(home_ / ".config/VolKarn"));
  EXPECT_EQ(1, std::distance(fs::directory_iterator(kPrefix + "/bin"), fs::directory_iterator()));
}

TEST_F(InstalledProgram, AnUnreadableSourceFileEndsWithErrorsAndKeepsTheStamp) {
  vktest::WriteFile(home_ / "src/Daten/a.txt", "aaa");
  vktest::WriteFile(home_ / "src/Daten/geheim.txt", "x");
  MakeJob("Briefe", {home_ / "src/Daten"}, dataDir_);
  chmod((home_ / "src/Daten/geheim.txt").c_str(), 0);
  // root reads every file: the run goes as an unprivileged user then.
  const bool asRoot = geteuid() == 0;
  if (asRoot) {
    if (Which("setpriv").empty()) GTEST_SKIP() << "setpriv is needed to run without root";
    for (const auto& entry : fs::recursive_directory_iterator(home_.path()))
      lchown(entry.path().c_str(), kNobody, kNobody);
    lchown(RemoveBackslash(home_.path()).c_str(), kNobody, kNobody);
  }
  const Result r = Run({"--backup", "Briefe", "--quiet"}, kProgram, nullptr, asRoot);
  EXPECT_EQ(1, r.code) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("Auf die Datei "));
  EXPECT_NE(std::string::npos, r.err.find("geheim.txt ist kein Zugriff möglich."));
  EXPECT_NE(std::string::npos, Log(dataDir_, "Briefe").find("1 Dateien wurden kopiert."));
  EXPECT_EQ(0, LastDate(dataDir_)) << "no stamp after errors";
}

TEST_F(InstalledProgram, SigtermCancelsLikeAbbrechenAndLeavesNoTemporaryFile) {
  // A tree large enough that the run is still going when the signal comes.
  constexpr int kFiles = 6000;
  const std::string bulk(8192, 'x');
  for (int i = 0; i < kFiles; ++i)
    vktest::WriteFile(home_ / ("src/Gross/d" + std::to_string(i % 60) + "/f" + std::to_string(i)),
                      bulk);
  MakeJob("Gross", {home_ / "src/Gross"}, dataDir_);

  const std::string target = home_ / "ziel/Gross";
  auto copied = [&target] {
    int n = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(target, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
      if (it->is_regular_file()) ++n;
    return n;
  };
  const Result r = Run({"--backup", "Gross"}, kProgram, [&](pid_t pid) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (copied() < 50 && std::chrono::steady_clock::now() < give_up)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(pid, SIGTERM);
  });
  EXPECT_EQ(4, r.code) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("Der Kopiervorgang wurde abgebrochen."));
  const std::string report = Log(dataDir_, "Gross");
  EXPECT_NE(std::string::npos,
            report.find("Der Kopiervorgang wurde durch den Benutzer abgebrochen.\r\n"));
  EXPECT_LT(copied(), kFiles);
  EXPECT_EQ(0, LastDate(dataDir_));
  for (const auto& entry : fs::recursive_directory_iterator(target))
    EXPECT_EQ(std::string::npos, entry.path().filename().string().find(".vktmp-")) << entry.path();
}

TEST_F(InstalledProgram, AnUnattendedRunThatCannotStartIsToldThroughTheSessionBus) {
  MakeJob("Briefe", {home_ / "src"}, dataDir_);
  // A stand-in for gdbus that notes its arguments.
  const std::string fake = home_ / "bin/gdbus";
  vktest::WriteFile(fake, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$HOME/notified.txt\"\n");
  chmod(fake.c_str(), 0755);
  extraEnv_["PATH"] = home_ / "bin:/usr/bin:/bin";

  // No session bus: nothing is sent.
  Result r = Run({"--backup", "Fremd", "--quiet"});
  EXPECT_EQ(2, r.code);
  EXPECT_FALSE(vktest::Exists(home_ / "notified.txt"));

  extraEnv_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + home_ / "bus";
  r = Run({"--backup", "Fremd's", "--quiet"});
  EXPECT_EQ(2, r.code);
  for (int i = 0; i < 100 && !vktest::Exists(home_ / "notified.txt"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::string call = vktest::ReadFile(home_ / "notified.txt");
  EXPECT_NE(std::string::npos, call.find("org.freedesktop.Notifications.Notify\n"));
  EXPECT_NE(std::string::npos,
            call.find("'VolKarn: Datensicherung \"Fremd\\'s\" nicht gestartet'\n"))
      << call;
  EXPECT_NE(std::string::npos, call.find("'Es gibt keine Datensicherung \"Fremd\\'s\".'\n"));
}

TEST_F(InstalledProgram, APortableCopyKeepsSettingsAndDataBesideItself) {
  const std::string portable = home_ / "stick/";
  fs::create_directories(portable);
  fs::copy_file(kProgram, portable + "volkarn");
  vktest::WriteFile(portable + "volkarn.portable", "");
  vktest::WriteFile(home_ / "src/Fotos/bild.jpg", "jpg");
  MakeJob("Fotos", {home_ / "src/Fotos"}, portable);
  // Another catalogue in the user's folder is not the portable one's.
  MakeJob("Anderes", {home_ / "src/Fotos"}, dataDir_);

  Result r = Run({"--list"}, portable + "volkarn");
  EXPECT_EQ("Fotos\n", r.out);
  r = Run({"--backup", "Fotos", "--quiet"}, portable + "volkarn");
  EXPECT_EQ(0, r.code) << r.err;
  EXPECT_NE(0, LastDate(portable));
  EXPECT_FALSE(fs::exists(home_ / ".config/VolKarn"));

  // Without the marker the same copy uses the XDG folders, as named.
  fs::remove(portable + "volkarn.portable");
  extraEnv_["XDG_DATA_HOME"] = home_ / "xdgdata";
  extraEnv_["XDG_CONFIG_HOME"] = home_ / "xdgconfig";
  MakeJob("Xdg", {home_ / "src/Fotos"}, home_ / "xdgdata/VolKarn/");
  r = Run({"--list"}, portable + "volkarn");
  EXPECT_EQ("Xdg\n", r.out);
  EXPECT_TRUE(fs::is_directory(home_ / "xdgconfig/VolKarn"));
}

}  // namespace
