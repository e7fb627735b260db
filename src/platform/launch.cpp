// Starting programs and opening documents, detached from this process and
// always with an argument vector (never through a shell).
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr int kLaunched = 42;
constexpr int kNoAssociation = 31;
constexpr int kBadProgram = 11;
constexpr int kOutOfMemory = 8;
// How long a document opener may take to report that it found no program
// for the file; one that runs longer has started something.
constexpr int kOpenerWaitMs = 1500;

// What a child tells through the status pipe.
struct ChildNote {
  char kind;  // 'E' exec failed, 'F' fork failed, 'X' exited (value = wait status)
  int value;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Full path of a program: a path is taken as it is, a bare name is
// searched in $PATH. Empty when there is no such executable file.
std::string FindProgram(const std::string& name) {
  if (name.empty()) return std::string();
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  const char* env = std::getenv("PATH");
  const std::string path = env && *env ? env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string dir = path.substr(start, end - start);
    start = end + 1;
    if (dir.empty() || dir[0] != '/') continue;  // never the current folder
    const std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return std::string();
}

// A relative file name that begins with "-" would be read as an option.
std::string AsArgument(const std::string& file) {
  return !file.empty() && file[0] == '-' ? "./" + file : file;
}

bool LooksLikeAddress(const std::string& s) {
  if (s.rfind("mailto:", 0) == 0) return true;
  const auto colon = s.find("://");
  if (colon == std::string::npos || colon == 0) return false;
  if (!std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  for (std::size_t i = 1; i < colon; ++i) {
    const char c = s[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
      return false;
  }
  return true;
}

int ExecErrorResult(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return kErrFileNotFound;
    case EACCES:
    case EPERM:
      return kErrAccessDenied;
    case ENOEXEC:
    case ELIBBAD:
      return kBadProgram;
    case ENOMEM:
    case EAGAIN:
      return kOutOfMemory;
    default:
      return kNoAssociation;
  }
}

void WriteNote(int fd, char kind, int value) {
  const ChildNote note{kind, value};
  ssize_t rc;
  do {
    rc = write(fd, &note, sizeof note);
  } while (rc < 0 && errno == EINTR);
}

// In a forked child: becomes the program. Only async-signal-safe calls.
// With silent its output goes to /dev/null as well.
[[noreturn]] void ExecChild(const char* program, char* const* argv, int devNull, int noteFd,
                            bool silent) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &dfl, nullptr);
  sigaction(SIGCHLD, &dfl, nullptr);
  if (devNull >= 0) dup2(devNull, STDIN_FILENO);
  if (devNull >= 0 && silent) dup2(devNull, STDOUT_FILENO);
  // Nothing of this process (windows, files, the lock) goes to the program.
  close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  execv(program, argv);
  WriteNote(noteFd, 'E', errno);
  _exit(127);
}

// Starts args[0] (a full path) detached: in its own session, a grandchild
// that is not this process's child. With waitForExit the result also
// tells whether the program ended with a failure within kOpenerWaitMs.
// Result: kLaunched or a failure code; exitStatus -1 when not known.
int Spawn(const std::vector<std::string>& args, bool waitForExit, int& exitStatus,
          bool silent = false) {
  exitStatus = -1;
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return kOutOfMemory;
  const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);

  const pid_t first = fork();
  if (first < 0) {
    const int err = errno;
    close(fds[0]);
    close(fds[1]);
    if (devNull >= 0) close(devNull);
    return ExecErrorResult(err);
  }
  if (first == 0) {
    // The first child starts a new session and leaves at once, so that the
    // program is adopted by the system and never becomes a zombie here.
    close(fds[0]);
    setsid();
    const pid_t second = fork();
    if (second < 0) {
      WriteNote(fds[1], 'F', errno);
      _exit(1);
    }
    if (second > 0) _exit(0);
    if (!waitForExit) ExecChild(argv[0], argv.data(), devNull, fds[1], silent);
    const pid_t program = fork();
    if (program < 0) {
      WriteNote(fds[1], 'F', errno);
      _exit(1);
    }
    if (program == 0) ExecChild(argv[0], argv.data(), devNull, fds[1], silent);
    // Stays to report how the program ended; nobody may be listening.
    struct sigaction ign {};
    ign.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ign, nullptr);
    int status = 0;
    while (waitpid(program, &status, 0) < 0 && errno == EINTR) {
    }
    WriteNote(fds[1], 'X', status);
    _exit(0);
  }

  close(fds[1]);
  if (devNull >= 0) close(devNull);
  while (waitpid(first, nullptr, 0) < 0 && errno == EINTR) {
  }

  int result = kLaunched;
  struct timespec start {};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    int timeout = -1;
    if (waitForExit) {
      struct timespec now {};
      clock_gettime(CLOCK_MONOTONIC, &now);
      const long elapsed =
          (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
      if (elapsed >= kOpenerWaitMs) break;
      timeout = static_cast<int>(kOpenerWaitMs - elapsed);
    }
    struct pollfd p {
      fds[0], POLLIN, 0
    };
    const int rc = poll(&p, 1, timeout);
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) break;  // still running: it started
    ChildNote note{};
    const ssize_t n = read(fds[0], &note, sizeof note);
    if (n < 0 && errno == EINTR) continue;
    if (n != static_cast<ssize_t>(sizeof note)) break;  // closed: the program runs
    if (note.kind == 'X') {
      exitStatus = note.value;
      break;
    }
    result = ExecErrorResult(note.value);
    break;
  }
  close(fds[0]);
  return result;
}

int StartProgram(const std::vector<std::string>& args) {
  int status = 0;
  return Spawn(args, false, status);
}

// Opens a document or address with the program associated with it.
int OpenDocument(const std::string& file) {
  const std::string opener = FindProgram("xdg-open");
  if (opener.empty()) return kNoAssociation;
  int status = -1;
  const int rc = Spawn({opener, AsArgument(file)}, true, status);
  if (rc != kLaunched || status < 0) return rc;
  if (WIFEXITED(status)) {
    switch (WEXITSTATUS(status)) {
      case 0:
        return kLaunched;
      case 2:
        return kErrFileNotFound;  // the opener found no such file
      default:
        return kNoAssociation;  // no program for this type, or it failed
    }
  }
  return kNoAssociation;
}

int StartEditor(const std::string& editor, const std::vector<std::string>& options,
                const std::string& parameters) {
  std::vector<std::string> args{editor};
  args.insert(args.end(), options.begin(), options.end());
  if (!parameters.empty()) args.push_back(AsArgument(parameters));
  return StartProgram(args);
}

}  // namespace

namespace {

// A text as a string literal of the GVariant text form, which `gdbus call`
// reads its arguments in. Every argument carries its type: a service that
// is not running cannot tell gdbus the method's signature.
std::string VariantString(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\\' || c == '\'') out += '\\';
    out += c;
  }
  return out + "'";
}

// The session bus: its address from the environment, or the usual socket
// of the user's runtime folder (made known to the helper program).
bool SessionBusAvailable() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
    return true;
  const std::string socket = RuntimeDir() + "/bus";
  struct stat st {};
  if (stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 1);
  return true;
}

}  // namespace

bool SendDesktopNotification(const std::string& summary, const std::string& body) {
  if (!SessionBusAvailable()) return false;
  std::vector<std::string> args;
  if (std::string gdbus = FindProgram("gdbus"); !gdbus.empty()) {
    args = {gdbus,
            "call",
            "--session",
            "--dest",
            "org.freedesktop.Notifications",
            "--object-path",
            "/org/freedesktop/Notifications",
            "--method",
            "org.freedesktop.Notifications.Notify",
            VariantString("VolKarn"),
            "uint32 0",
            VariantString("volkarn"),
            VariantString(summary),
            VariantString(body),
            "@as []",
            "{'urgency': <byte 2>}",
            "int32 -1"};
  } else if (std::string notify = FindProgram("notify-send"); !notify.empty()) {
    args = {notify, "--app-name=VolKarn", "--icon=volkarn", "--urgency=critical", "--", summary,
            body};
  } else {
    return false;
  }
  int status = -1;
  if (Spawn(args, true, status, true) != kLaunched) return false;
  return status < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

std::string FindTextEditor() {
  static const char* const kEditors[] = {"gnome-text-editor", "gedit", "kate",  "kwrite",
                                         "mousepad",          "xed",   "pluma", "featherpad",
                                         "leafpad",           "geany"};
  for (const char* name : kEditors) {
    std::string path = FindProgram(name);
    if (!path.empty()) return path;
  }
  return std::string();
}

int LaunchFile(const std::string& file, const std::string& parameters) {
  if (detail::g_launchHook) return detail::g_launchHook(file, parameters);
  if (file.empty()) return kErrFileNotFound;

  const std::string lower = Lower(file);
  if (lower == "notepad.exe") {
    const std::string editor = FindTextEditor();
    if (editor.empty()) return kNoAssociation;
    return StartEditor(editor, {}, parameters);
  }
  if (lower == "wordpad.exe") {
    // A word processor shows formatted text as such; else the text editor.
    if (std::string office = FindProgram("libreoffice"); !office.empty())
      return StartEditor(office, {"--writer"}, parameters);
    if (std::string abiword = FindProgram("abiword"); !abiword.empty())
      return StartEditor(abiword, {}, parameters);
    const std::string editor = FindTextEditor();
    if (editor.empty()) return kNoAssociation;
    return StartEditor(editor, {}, parameters);
  }

  struct stat st {};
  const bool exists = stat(file.c_str(), &st) == 0;
  std::string program;
  if (file.find('/') == std::string::npos) {
    program = FindProgram(file);  // a program named by its bare name
  } else if (exists && S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))) {
    program = file;
  }
  if (!program.empty()) {
    std::vector<std::string> args{program};
    if (!parameters.empty()) args.push_back(parameters);
    return StartProgram(args);
  }
  if (exists || LooksLikeAddress(file)) return OpenDocument(file);
  return kErrFileNotFound;
}

}  // namespace platform
