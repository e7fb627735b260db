// File tests, attributes, whole-file reading and atomic writing, program
// and user folders, the error numbering and the test hooks.
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

namespace detail {

FaultHook g_faultHook;
LaunchHook g_launchHook;

std::string TempNameSuffix() {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static const std::uint64_t seed = [] {
    std::uint64_t s = 0;
    if (getrandom(&s, sizeof s, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof s))
      s = static_cast<std::uint64_t>(std::time(nullptr)) * 6364136223846793005ull;
    return s ^ (static_cast<std::uint64_t>(getpid()) << 32);
  }();
  static std::atomic<std::uint64_t> counter{0};
  // splitmix64 of seed + counter: distinct per call, unpredictable enough.
  std::uint64_t z = seed + 0x9e3779b97f4a7c15ull * (counter.fetch_add(1) + 1);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  z ^= z >> 31;
  std::string s(6, 'A');
  for (char& c : s) {
    c = kChars[z % 62];
    z /= 62;
  }
  return s;
}

void SplitPath(const std::string& path, std::string& dir, std::string& name) {
  const auto slash = path.rfind('/');
  // Built with assign: GCC 12 at -O3 reports a false overlap for a plain
  // assignment of a literal here.
  if (slash == std::string::npos) {
    dir.assign(1, '.');
    name = path;
  } else {
    dir.assign(path, 0, slash == 0 ? 1 : slash);
    name.assign(path, slash + 1, std::string::npos);
  }
}

std::string TempPathFor(const std::string& dir, const std::string& name) {
  std::string p = dir;
  if (p.empty() || p.back() != '/') p += '/';
  p += '.';
  // Keep the temporary name within the usual 255-byte name limit.
  p.append(name, 0, name.size() > 230 ? 230 : name.size());
  p += ".vktmp-";
  p += TempNameSuffix();
  return p;
}

}  // namespace detail

using detail::Fault;

// ------------------------------------------------------------ errno map --

int MapErrno(int err) {
  switch (err) {
    case 0:
      return 0;
    case ENOENT:
      return kErrFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENOTEMPTY:
    case EXDEV:
    case EINVAL:
    case EOPNOTSUPP:
#if ENOTSUP != EOPNOTSUPP
    case ENOTSUP:
#endif
    case ENOSYS:
    case ENOTTY:
    case EBADF:
    case ENXIO:
    case EMLINK:
    case ESPIPE:
      return kErrAccessDenied;
    case EMFILE:
    case ENFILE:
    case ENOMEM:
    case ENOBUFS:
      return 8;  // not enough memory / resources
    case EROFS:
      return kErrWriteProtect;
    case EBUSY:
    case ETXTBSY:
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EDEADLK:
    case ENOLCK:
      return kErrSharingViolation;
    case EEXIST:
      return kErrFileExists;
    case ENOSPC:
    case EDQUOT:
      return kErrDiskFull;
    case EFBIG:
      return kErrFileTooLarge;
    default:
      // EIO and everything that tells of a device, a medium or a network
      // share that went away (ENODEV, ENOMEDIUM, ESTALE, ETIMEDOUT,
      // ENOTCONN, EHOSTDOWN, ...): "the device is not ready".
      return kErrNotReady;
  }
}

// ----------------------------------------------------------- file tests --

bool FileExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

bool CreateDirPath(const std::string& path) {
  if (path.empty()) return false;
  if (int err = Fault("create-dir", path)) {
    errno = err;
    return false;
  }
  struct stat st {};
  // The usual case (the folder is there) costs one call. A symlink to a
  // folder serves as the folder.
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (mkdir(p.c_str(), 0777) == 0) return true;
  if (errno == EEXIST) return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (errno != ENOENT) return false;
  const auto slash = p.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  if (!CreateDirPath(p.substr(0, slash))) return false;
  if (mkdir(p.c_str(), 0777) == 0) return true;
  return errno == EEXIST && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int MakeOwnFolder(const std::string& path) {
  if (int err = Fault("create-dir", path)) return MapErrno(err);
  if (mkdir(path.c_str(), 0700) == 0) return 0;
  if (errno == EEXIST) return kErrFileExists;
  return errno == ENOENT ? kErrPathNotFound : MapErrno(errno);
}

int MoveNoReplace(const std::string& from, const std::string& to) {
  if (int err = Fault("move", from)) return MapErrno(err);
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno == EEXIST) return kErrFileExists;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return MapErrno(errno);
  // The file system cannot refuse by itself (FUSE, some network shares).
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) return kErrFileExists;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : MapErrno(errno);
}

bool DeleteFile(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  return unlink(path.c_str()) == 0;
}

// The link itself is examined: a symlink (always rwx) is never read-only,
// and nothing here changes the file a link points to.
bool HasAttributes(const std::string& path, std::uint16_t bits) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  std::uint16_t attrs = 0;
  if (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0) attrs |= kAttrReadOnly;
  return (attrs & bits) == bits;
}

bool ClearAttributes(const std::string& path, std::uint16_t bit) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  if ((bit & kAttrReadOnly) == 0 || S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR) != 0) return true;
  if (int err = Fault("clear-attributes", path)) {
    errno = err;
    return false;
  }
  return chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool MakeReadOnly(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  return chmod(path.c_str(), st.st_mode & 07777 & ~(S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

bool DirWritable(const std::string& path) {
  if (Fault("dir-writable", path) != 0) return false;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return access(path.c_str(), W_OK | X_OK) == 0;
}

bool IgnoresLetterCase(const std::string& dir) {
  if (Fault("case-probe", dir) != 0) return true;
  const std::string base = (dir.empty() || dir.back() != '/') ? dir + "/" : dir;
  // The name has letters of both cases; the probe looks it up with every
  // letter's case swapped.
  std::string name, swapped;
  int fd = -1;
  for (int attempt = 0; attempt < 10 && fd < 0; ++attempt) {
    name = ".vkCase-" + detail::TempNameSuffix();
    fd = open((base + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  close(fd);
  swapped = name;
  for (char& c : swapped) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  // No other file has the swapped random name: found, it is the probe.
  // (File systems in user space may give the two spellings two inode
  // numbers, so those are not compared.)
  struct stat other {};
  const bool same = lstat((base + swapped).c_str(), &other) == 0;
  unlink((base + name).c_str());
  return same;
}

bool SyncFileSystem(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  const bool ok = syncfs(fd) == 0;
  close(fd);
  return ok;
}

// ---------------------------------------------------------- whole files --

bool ReadWholeFile(const std::string& path, std::string& bytes, int* errorCode) {
  bytes.clear();
  auto fail = [&](int err) {
    if (errorCode) *errorCode = MapErrno(err);
    bytes.clear();
    return false;
  };
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fail(errno);
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : (errno ? errno : EINVAL);
    close(fd);
    return fail(err);
  }
  bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  for (;;) {
    // The end is looked for in a small buffer of its own: a file read
    // whole in its known size is not copied into a larger one first.
    char more[4096];
    const bool full = got == bytes.size();
    const ssize_t n =
        full ? read(fd, more, sizeof more) : read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      close(fd);
      return fail(err);
    }
    if (n == 0) break;
    if (full) {
      // The file grew while it was read, or its size was not known: room
      // for more as far as the string has it.
      bytes.append(more, static_cast<std::size_t>(n));
      bytes.resize(bytes.capacity());
    }
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  bytes.resize(got);
  if (errorCode) *errorCode = 0;
  return true;
}

int WriteFileAtomic(const std::string& givenPath, const std::string& bytes) {
  // A symlink (a settings file kept elsewhere) stays a symlink: its target
  // is replaced.
  std::string path = givenPath;
  struct stat link {};
  if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      path = real;
      std::free(real);
    }
  }
  std::string dir, name;
  detail::SplitPath(path, dir, name);
  if (name.empty()) return kErrAccessDenied;
  struct stat old {};
  const bool hadOld = stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);

  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = detail::TempPathFor(dir, name);
    fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno != EEXIST) return errno == ENOENT ? kErrPathNotFound : MapErrno(errno);
  }
  if (fd < 0) return kErrAccessDenied;

  int err = 0;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (!err) err = Fault("write-atomic", givenPath);
  if (!err && hadOld) (void)fchmod(fd, old.st_mode & 07777);  // keep the old permissions
  if (!err && fsync(fd) != 0 && errno != EINVAL) err = errno;
  if (close(fd) != 0 && !err && errno != EINTR) err = errno;
  if (!err && rename(tmp.c_str(), path.c_str()) != 0) err = errno;
  if (err) {
    unlink(tmp.c_str());
    return MapErrno(err);
  }
  // Make the rename itself durable.
  const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    (void)fsync(dfd);
    close(dfd);
  }
  return 0;
}

// ---------------------------------------------------- program and user --

std::string ProgramFile() {
  std::vector<char> buf(4096);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < buf.size())
      return std::string(buf.data(), static_cast<std::size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

namespace {

std::string HomeDir() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  struct passwd pw {};
  struct passwd* result = nullptr;
  std::vector<char> buf(16384);
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
    return result->pw_dir;
  return "/tmp";
}

// $variable when it holds an absolute path, else the home folder followed
// by `fallback`; then "VolKarn/".
std::string XdgDir(const char* variable, const char* fallback) {
  std::string base;
  if (const char* xdg = std::getenv(variable); xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    base = HomeDir();
    if (base.empty() || base.back() != '/') base += '/';
    base += fallback;
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base != "/") base += '/';
  return base + "VolKarn/";
}

}  // namespace

std::string UserDataDir() { return XdgDir("XDG_DATA_HOME", ".local/share"); }

std::string UserConfigDir() { return XdgDir("XDG_CONFIG_HOME", ".config"); }

std::string RuntimeDir() {
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && xdg[0] == '/') {
    std::string dir = xdg;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return dir;
  }
  // A run from cron has no XDG_RUNTIME_DIR, yet the desktop session's
  // runtime folder is there: the lock must be the one the window holds.
  const std::string session = "/run/user/" + std::to_string(getuid());
  struct stat st {};
  if (stat(session.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid())
    return session;
  return "/tmp";
}

unsigned int UserId() { return static_cast<unsigned int>(getuid()); }

// ------------------------------------------------------ file descriptors --

void UniqueFd::Reset(int fd) {
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
}

int UniqueFd::Close() {
  if (fd_ < 0) return 0;
  const int result = close(fd_);
  fd_ = -1;
  return result;
}

// ----------------------------------------------------------- test hooks --

void SetFaultHook(FaultHook hook) { detail::g_faultHook = std::move(hook); }
bool FaultHookInstalled() { return static_cast<bool>(detail::g_faultHook); }
void SetLaunchHook(LaunchHook hook) { detail::g_launchHook = std::move(hook); }

}  // namespace platform
