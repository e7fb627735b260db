// The file copy: content into an unnamed temporary file in the destination
// folder (a named one where the file system has none), then linked into
// place in one step, so that a copy that fails leaves the old destination
// as it was and no temporary file behind.
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/closebatch.h"
#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

namespace detail {
bool g_forceNamedTemp = false;
}

namespace {

using detail::Fault;

struct DevPair {
  dev_t src;
  dev_t dst;
  bool operator==(const DevPair&) const = default;
};

// What the file systems met so far cannot do, so that every file does not
// try a call that fails anyway. A backup meets only a few devices.
struct CopyCapabilities {
  std::mutex mutex;
  std::vector<DevPair> noClone;  // FICLONE refused between these devices
  std::vector<DevPair> noRange;  // copy_file_range refused between them
  std::vector<dev_t> noTmpfile;  // no O_TMPFILE on this device
  int procLinks = -1;            // /proc/self/fd usable for linkat: 1 / 0 / unknown
  // linkat(fd, "", AT_EMPTY_PATH) allowed: 1 / 0 / unknown
  std::atomic<int> emptyPathLinks{-1};
  // Devices looked at for rotating disks, and their answer.
  std::vector<std::pair<dev_t, bool>> rotating;
};

// What this thread knows of the destination folder it copied into last
// (a backup copies all files of one folder in a row). Only hints: the
// copy itself goes by the path, so a folder renamed or made anew in the
// meantime is simply the folder that the path names now.
struct FolderHints {
  std::string path;
  dev_t dev = 0;
  // The folder hands a default ACL down to new files, so that their
  // permissions are not those asked for at creation less the umask.
  bool inherits = true;
  // The group new files get there (that of a set-group-id folder).
  gid_t newGid = 0;
  // detail::g_folderAclChanges when the folder was looked at.
  unsigned aclChanges = 0;
};

CopyCapabilities& Caps() {
  static CopyCapabilities caps;
  return caps;
}

template <typename T>
bool Contains(const std::vector<T>& v, const T& x) {
  return std::find(v.begin(), v.end(), x) != v.end();
}

template <typename T>
void Remember(std::vector<T>& v, const T& x) {
  std::lock_guard<std::mutex> lock(Caps().mutex);
  if (!Contains(v, x)) v.push_back(x);
}

// True when the folder gives new files a default ACL (or that cannot be
// told): their permission bits then come from it, not from the umask.
bool HasDefaultAcl(const std::string& dir) {
  if (getxattr(dir.c_str(), "system.posix_acl_default", nullptr, 0) >= 0) return true;
  return errno != ENODATA && errno != EOPNOTSUPP;
}

// The process's umask, read once (without changing it, which would race
// with other threads creating files); -1 when it cannot be read.
int ProcessUmask() {
  static const int mask = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("Umask:", 0) != 0) continue;
      char* end = nullptr;
      const long v = std::strtol(line.c_str() + 6, &end, 8);
      return end != line.c_str() + 6 && v >= 0 && v <= 0777 ? static_cast<int>(v) : -1;
    }
    return -1;
  }();
  return mask;
}

FolderHints& Hints() {
  static thread_local FolderHints hints;
  return hints;
}

// The hints for the destination folder `dir`: its device, whether it
// hands a default ACL down and the group of new files, looked up when the
// folder changes (and after a failed copy or a change of a folder's
// attributes). False with err set when the folder cannot be looked at.
bool LookAtFolder(const std::string& dir, dev_t& dev, bool& inherits, gid_t& newGid, int& err) {
  FolderHints& folder = Hints();
  const unsigned aclChanges = detail::g_folderAclChanges.load(std::memory_order_relaxed);
  if (dir != folder.path || aclChanges != folder.aclChanges) {
    folder.path.clear();
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0) {
      err = errno;
      return false;
    }
    if (!S_ISDIR(st.st_mode)) {
      err = ENOTDIR;
      return false;
    }
    folder.dev = st.st_dev;
    folder.inherits = HasDefaultAcl(dir);
    folder.newGid = (st.st_mode & S_ISGID) != 0 ? st.st_gid : getegid();
    folder.aclChanges = aclChanges;
    folder.path = dir;
  }
  dev = folder.dev;
  inherits = folder.inherits;
  newGid = folder.newGid;
  return true;
}

// Forgets the hints, so that the next copy looks at its folder again.
void ForgetFolder() { Hints().path.clear(); }

// Gives the unnamed file `fd` the name `name` in the folder `dirFd` (or the
// path `name` with AT_FDCWD): without /proc where the kernel allows it.
// Result 0 or errno.
int LinkUnnamed(int fd, int dirFd, const char* name) {
  CopyCapabilities& caps = Caps();
  if (caps.emptyPathLinks != 0) {
    if (linkat(fd, "", dirFd, name, AT_EMPTY_PATH) == 0) {
      caps.emptyPathLinks = 1;
      return 0;
    }
    const int err = errno;
    if (caps.emptyPathLinks == 1 || (err != EPERM && err != ENOENT && err != EINVAL)) return err;
  }
  char procPath[40];
  snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
  if (linkat(AT_FDCWD, procPath, dirFd, name, AT_SYMLINK_FOLLOW) == 0) {
    caps.emptyPathLinks = 0;
    return 0;
  }
  const int err = errno;
  if (caps.emptyPathLinks < 0 && err != ENOENT) caps.emptyPathLinks = 0;
  return err;
}

// Gives the unnamed file `fd` its name: relative to the open handle of its
// folder where there is one. Any refusal there but a name that is taken is
// asked again by the path: the handle's folder may have been removed since
// it was opened (the kernel then answers ENOENT), and the path names the
// folder that is there now, or none.
int LinkUnnamedAt(int fd, int dirHandle, const std::string& name, const std::string& dest) {
  if (dirHandle >= 0) {
    const int err = LinkUnnamed(fd, dirHandle, name.c_str());
    if (err == 0 || err == EEXIST) return err;
  }
  return LinkUnnamed(fd, AT_FDCWD, dest.c_str());
}

// Opens an unnamed file in the folder `dir`, through its handle where there
// is one and by the path where that fails (a removed folder answers EPERM
// there); -1 with errno set on failure.
int OpenUnnamed(int dirHandle, const std::string& dir, mode_t mode) {
  constexpr int kFlags = O_TMPFILE | O_WRONLY | O_CLOEXEC;
  if (dirHandle >= 0) {
    const int fd = openat(dirHandle, ".", kFlags, mode);
    if (fd >= 0) return fd;
  }
  return open(dir.c_str(), kFlags, mode);
}

// True when the device is (on) a rotating disk as the kernel tells
// (/sys/dev/block/M:m/queue/rotational, for a partition that of its
// disk). No block device behind it (tmpfs, network, some file systems
// with several devices): false.
bool ReadRotating(dev_t dev) {
  if (major(dev) == 0) return false;
  const std::string base =
      "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  for (const char* rel : {"/queue/rotational", "/../queue/rotational"}) {
    std::ifstream in(base + rel);
    int value = 0;
    if (in >> value) return value == 1;
  }
  return false;
}

bool Rotating(dev_t dev) {
  CopyCapabilities& caps = Caps();
  std::lock_guard<std::mutex> lock(caps.mutex);
  for (const auto& [d, rotating] : caps.rotating)
    if (d == dev) return rotating;
  const bool rotating = ReadRotating(dev);
  caps.rotating.emplace_back(dev, rotating);
  return rotating;
}

// Held while a large file is copied from or to a rotating disk.
std::mutex& LargeCopyOnRotatingDisk() {
  static std::mutex mutex;
  return mutex;
}

bool RefusedCall(int err) {
  return err == EOPNOTSUPP || err == ENOSYS || err == EXDEV || err == EINVAL || err == ENOTTY;
}

constexpr std::size_t kBufferSize = 1 << 20;
// From this size on a copy reads and writes long streams.
constexpr off_t kLargeFile = off_t{4} << 20;
constexpr off_t kRangeChunk = off_t{1} << 30;

char* Buffer() {
  static thread_local std::unique_ptr<char[]> buffer;
  if (!buffer) buffer = std::make_unique<char[]>(kBufferSize);
  return buffer.get();
}

// Copies from offset `done` up to `limit` (or the end of the source).
// Result 0 or an errno.
int CopyPiece(int in, int out, off_t& done, off_t limit, bool& useRange, const DevPair& devs) {
  while (done < limit) {
    if (useRange) {
      loff_t inOff = done, outOff = done;
      const auto want = static_cast<std::size_t>(std::min(limit - done, kRangeChunk));
      const ssize_t n = copy_file_range(in, &inOff, out, &outOff, want, 0);
      if (n > 0) {
        done += n;
        continue;
      }
      if (n == 0) {
        // Nothing at all: some file systems report no data here although
        // read() gives it. Later on it is the end of a file that shrank.
        if (done == 0) {
          useRange = false;
          continue;
        }
        return 0;
      }
      if (errno == EINTR) continue;
      if (RefusedCall(errno) || errno == EBADF) {
        if (devs.src && devs.dst) Remember(Caps().noRange, devs);
        useRange = false;
        continue;
      }
      return errno;
    }
    char* buf = Buffer();
    const auto want = static_cast<std::size_t>(std::min<off_t>(limit - done, kBufferSize));
    const ssize_t got = pread(in, buf, want, done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    ssize_t written = 0;
    while (written < got) {
      const ssize_t n =
          pwrite(out, buf + written, static_cast<std::size_t>(got - written), done + written);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      written += n;
    }
    done += got;
  }
  return 0;
}

// Copies the whole content. Result 0 or an errno.
int CopyContent(int in, int out, const struct stat& st, dev_t dstDev, const std::string& dest) {
  const DevPair devs{st.st_dev, dstDev};
  const bool hooked = static_cast<bool>(detail::g_faultHook);
  bool useClone = st.st_size > 0 && !hooked;
  // The in-kernel copy takes one call where a read and a write take two,
  // and the content never passes through the program: small files too.
  bool useRange = st.st_size > 0;
  if (dstDev) {
    std::lock_guard<std::mutex> lock(Caps().mutex);
    useClone = useClone && !Contains(Caps().noClone, devs);
    useRange = useRange && !Contains(Caps().noRange, devs);
  }
  if (useClone) {
    if (ioctl(out, FICLONE, in) == 0) return 0;
    if (RefusedCall(errno) && dstDev) Remember(Caps().noClone, devs);
    // Any other refusal: the plain copy below meets the real error.
  }
  if (st.st_size >= (off_t{1} << 20)) (void)posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  // Two large files copied at once (by the threads of a backup) from or
  // to a rotating disk would make its heads seek between the two streams
  // for every read-ahead: there they are copied one at a time.
  std::unique_lock<std::mutex> oneAtATime;
  if (st.st_size >= kLargeFile && (Rotating(st.st_dev) || (dstDev != 0 && Rotating(dstDev))))
    oneAtATime = std::unique_lock<std::mutex>(LargeCopyOnRotatingDisk());

  // A file whose size is not known (0) is read to its end.
  const off_t limit = st.st_size > 0 ? st.st_size : std::numeric_limits<off_t>::max();
  off_t done = 0;
  if (hooked) {
    // Tests may fail the copy half way, with part of the content written.
    const off_t half = st.st_size > 1 ? st.st_size / 2 : st.st_size;
    if (int err = CopyPiece(in, out, done, half, useRange, devs)) return err;
    if (int err = Fault("copy-write", dest)) return err;
  }
  return CopyPiece(in, out, done, limit, useRange, devs);
}

// Moves a finished temporary file to the destination. Without replace an
// existing destination stays and the result is EEXIST. Result 0 or errno.
int MoveIntoPlace(const std::string& tmp, const std::string& dest, bool replace) {
  if (replace) return rename(tmp.c_str(), dest.c_str()) == 0 ? 0 : errno;
  if (renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, dest.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // The file system cannot refuse by itself.
  struct stat st {};
  if (lstat(dest.c_str(), &st) == 0) return EEXIST;
  return rename(tmp.c_str(), dest.c_str()) == 0 ? 0 : errno;
}

// The error code of a failure to make the destination name `dest` in the
// folder `dir`: a name the file system refuses (the folder is there) is
// told apart from a missing folder.
int NameError(int err, const std::string& dir) {
  if (err == EINVAL || err == EILSEQ || err == ENAMETOOLONG || err == ENOENT) {
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return kErrInvalidName;
  }
  return err == ENOENT ? kErrPathNotFound : MapErrno(err);
}

// What a copy that replaces a destination does with a read-only one.
enum class ReadOnlyRule { Ignore, Refuse, Clear };

// Applies the rule to an existing destination just before it is replaced:
// 0 to go on, EROFS (the write-protect code) when a read-only file is to
// stay. Clearing is best effort: the replacement does not need it.
int ApplyReadOnlyRule(const std::string& dest, ReadOnlyRule rule) {
  if (rule == ReadOnlyRule::Ignore) return 0;
  struct stat st {};
  if (lstat(dest.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode) ||
      (st.st_mode & S_IWUSR) != 0)
    return 0;
  if (rule == ReadOnlyRule::Refuse) return EROFS;
  (void)ClearAttributes(dest, kAttrReadOnly);
  return 0;
}

// Gives a finished copy the name `dest` without replacing anything:
// `place` makes the name (0, EEXIST when it is taken, or an errno). A
// destination in the way is handed to the keeper first, then the name is
// made again. Result 0 or an errno; kKeepFailed when the keeper failed
// (its code is in keep.keepError), the destination then being as it was.
constexpr int kKeepFailed = -1;
template <typename Place>
int PlaceKeeping(const std::string& dest, ReadOnlyRule rule, KeepReplaced& keep, Place place) {
  keep.replaced = false;
  keep.keepError = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int err = place();
    if (err != EEXIST) return err;
    struct stat st {};
    if (lstat(dest.c_str(), &st) != 0) {
      if (errno == ENOENT) continue;  // gone again meanwhile
      return errno;
    }
    // A folder of that name is never taken away for a file.
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (rule == ReadOnlyRule::Refuse && !S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0)
      return EROFS;
    if (const int code = keep.keep(dest)) {
      keep.keepError = code;
      return kKeepFailed;
    }
    keep.replaced = true;
  }
  return EEXIST;
}

// The result of a copy whose naming failed with `err` (PlaceKeeping's).
int NamingResult(int err, const std::string& dir, const KeepReplaced* keep) {
  if (err == kKeepFailed && keep != nullptr) return keep->keepError;
  return NameError(err, dir);
}

// The source is srcDir/srcName (srcDir AT_FDCWD with the full path).
int CopySymlink(int srcDir, const char* srcName, const struct stat& ls, const std::string& dir,
                const std::string& name, const std::string& dest, bool failIfExists,
                ReadOnlyRule rule, KeepReplaced* keep) {
  std::string target(ls.st_size > 0 ? static_cast<std::size_t>(ls.st_size) + 1 : 256, '\0');
  for (;;) {
    const ssize_t n = readlinkat(srcDir, srcName, target.data(), target.size());
    if (n < 0) return MapErrno(errno);
    if (static_cast<std::size_t>(n) < target.size()) {
      target.resize(static_cast<std::size_t>(n));
      break;
    }
    target.resize(target.size() * 2);
  }
  std::string tmp;
  bool made = false;
  for (int attempt = 0; attempt < 100 && !made; ++attempt) {
    tmp = detail::TempPathFor(dir, name);
    int err = Fault("make-link", dest);
    if (!err && symlink(target.c_str(), tmp.c_str()) == 0) {
      made = true;
      continue;
    }
    if (!err) err = errno;
    // FAT, exFAT and many network shares hold no symbolic links.
    if (err == EPERM || err == ENOSYS || err == EOPNOTSUPP) return kErrNotSupported;
    if (err != EEXIST) return NameError(err, dir);
  }
  if (!made) return kErrAccessDenied;
  // The group of a new link is not known (a set-group-id folder gives its
  // own): asked for anyway.
  uid_t uid = geteuid();
  gid_t gid = static_cast<gid_t>(-1);
  detail::TakeOwner(-1, tmp.c_str(), ls, uid, gid);
  const struct timespec times[2] = {ls.st_atim, ls.st_mtim};
  (void)utimensat(AT_FDCWD, tmp.c_str(), times, AT_SYMLINK_NOFOLLOW);
  int err = Fault("copy-link", dest);
  if (keep != nullptr) {
    if (!err)
      err = PlaceKeeping(dest, rule, *keep, [&] { return MoveIntoPlace(tmp, dest, false); });
  } else {
    if (!err && !failIfExists) err = ApplyReadOnlyRule(dest, rule);
    if (!err) err = MoveIntoPlace(tmp, dest, !failIfExists);
  }
  if (err) {
    unlink(tmp.c_str());
    return NamingResult(err, dir, keep);
  }
  return 0;
}

// Opens a named temporary file beside the destination; -1 with err set
// on failure.
int OpenNamedTemp(const std::string& dir, const std::string& name, std::string& tmp, int& err) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tmp = detail::TempPathFor(dir, name);
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd >= 0) return fd;
    if (errno != EEXIST) {
      err = errno;
      return -1;
    }
  }
  err = EEXIST;
  return -1;
}

// Links the unnamed file `fd` to a temporary name and renames that over the
// existing destination. Result 0 or errno.
int ReplaceWithUnnamed(int fd, const std::string& dir, const std::string& name,
                       const std::string& dest) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string tmp = detail::TempPathFor(dir, name);
    if (int err = LinkUnnamed(fd, AT_FDCWD, tmp.c_str())) {
      if (err == EEXIST) continue;
      return err;
    }
    if (rename(tmp.c_str(), dest.c_str()) != 0) {
      const int err = errno;
      unlink(tmp.c_str());
      return err;
    }
    return 0;
  }
  return EEXIST;
}

}  // namespace

namespace {

int CopyFileWith(const std::string& source, const std::string& dest, bool failIfExists,
                 ReadOnlyRule rule, const SourceRef& at = SourceRef{}, CopyLosses* losses = nullptr,
                 KeepReplaced* keep = nullptr) {
  if (int err = Fault("copy-open-source", source)) return MapErrno(err);
  std::string dir, name;
  detail::SplitPath(dest, dir, name);
  if (name.empty()) return kErrAccessDenied;  // names a folder
  // Refuse before copying anything; the final link refuses atomically too.
  if (failIfExists && PathExists(dest)) return kErrFileExists;

  // Within a listing the source is opened relative to its folder.
  const bool relative = at.dirHandle >= 0 && at.name != nullptr && !at.name->empty();
  const int srcDir = relative ? at.dirHandle : AT_FDCWD;
  const char* srcName = relative ? at.name->c_str() : source.c_str();
  UniqueFd in(openat(srcDir, srcName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK));
  if (!in.Valid()) {
    const int err = errno;
    struct stat ls {};
    if (err == ELOOP && fstatat(srcDir, srcName, &ls, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(ls.st_mode))
      return CopySymlink(srcDir, srcName, ls, dir, name, dest, failIfExists, rule, keep);
    return MapErrno(err);
  }
  struct stat st {};
  if (fstat(in.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    // A folder, a device, a pipe or a socket is no file to copy.
    return kErrAccessDenied;
  }

  // Permissions, owner, attributes and times are carried over where the
  // file system can hold them (FAT cannot); the content is what counts.
  mode_t mode = st.st_mode & 07777;
  static const uid_t euid = geteuid();
  // Most files have no extended attributes (or only those of a security
  // module, which are not carried): one call tells.
  std::string attributeNames;
  const bool attributes = detail::ListAttributeNames(in.Get(), attributeNames) > 0 &&
                          detail::AnyCarried(attributeNames);

  dev_t dstDev = 0;
  bool inherits = true;
  gid_t newGid = 0;
  int err = 0;
  if (!LookAtFolder(dir, dstDev, inherits, newGid, err)) {
    return err == ENOENT ? kErrPathNotFound : MapErrno(err);
  }
  if (int fault = Fault("target-name", dest)) return NameError(fault, dir);
  CopyCapabilities& caps = Caps();
  bool unnamed = !detail::g_forceNamedTemp;
  if (unnamed) {
    std::lock_guard<std::mutex> lock(caps.mutex);
    if (caps.procLinks < 0) caps.procLinks = access("/proc/self/fd", X_OK) == 0 ? 1 : 0;
    unnamed = caps.procLinks == 1 && !Contains(caps.noTmpfile, dstDev);
  }
  UniqueFd out;
  std::string tmp;       // the named temporary file, when one is used
  bool modeSet = false;  // the new file has its permissions already
  if (unnamed) {
    // A file made with a mode gets it less the umask (unless a default ACL
    // decides): where that is the mode wanted, it needs no fchmod later.
    // Set-id and sticky bits are set only after the content (a write
    // clears them), and the mode only after the attributes (a read-only
    // file takes none); nobody can open the unnamed file meanwhile.
    const int mask = ProcessUmask();
    modeSet = mask >= 0 && !inherits && !attributes && (mode & 07000) == 0 &&
              (mode & static_cast<mode_t>(mask)) == 0;
    out.Reset(OpenUnnamed(at.targetHandle, dir, modeSet ? mode : 0600));
    if (!out.Valid()) {
      err = errno;
      ForgetFolder();
      if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL) {
        return err == ENOENT ? kErrPathNotFound : MapErrno(err);
      }
      Remember(caps.noTmpfile, dstDev);
      unnamed = false;
      modeSet = false;
      err = 0;
    }
  }
  if (!unnamed) {
    out.Reset(OpenNamedTemp(dir, name, tmp, err));
    if (!out.Valid()) {
      ForgetFolder();
      return NameError(err, dir);
    }
  }

  err = CopyContent(in.Get(), out.Get(), st, dstDev, dest);
  if (!err && losses != nullptr) losses->bytes = static_cast<std::uint64_t>(st.st_size);
  if (!err) {
    // Owner and group first: a change of them clears the set-id bits.
    uid_t uid = euid;
    gid_t gid = newGid;
    detail::TakeOwner(out.Get(), nullptr, st, uid, gid);
    // Set-id bits only where the copy has the source's owner or group.
    if (uid != st.st_uid) mode &= ~static_cast<mode_t>(S_ISUID);
    if (gid != st.st_gid) mode &= ~static_cast<mode_t>(S_ISGID);
    if ((attributes || inherits) &&
        (Fault("keep-attributes", dest) != 0 ||
         !detail::CopyAttributes(in.Get(), attributeNames, out.Get(), inherits)) &&
        losses != nullptr)
      losses->attributes = true;
    if (!modeSet) (void)fchmod(out.Get(), mode);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    (void)futimens(out.Get(), times);
  }
  // Read to its end: its close may wait for others of the thread's batch.
  CloseWhenDone(in.Release());
  if (!err) err = Fault("copy-link", dest);
  bool naming = false;  // err comes from giving the copy its name
  if (unnamed) {
    if (!err) {
      naming = true;
      if (keep != nullptr) {
        // A destination in the way goes to the keeper, then the name is
        // linked: never replaced.
        err = PlaceKeeping(dest, rule, *keep,
                           [&] { return LinkUnnamedAt(out.Get(), at.targetHandle, name, dest); });
      } else {
        err = LinkUnnamedAt(out.Get(), at.targetHandle, name, dest);
        // The destination exists: only now is it looked at.
        if (err == EEXIST && !failIfExists) {
          err = ApplyReadOnlyRule(dest, rule);
          if (!err) err = ReplaceWithUnnamed(out.Get(), dir, name, dest);
        }
      }
    }
    // A copy in place is closed with the others of the thread's batch; an
    // unnamed one that got no name vanishes now.
    if (err)
      out.Close();
    else
      CloseWhenDone(out.Release());
  } else {
    if (out.Close() != 0 && !err && errno != EINTR) err = errno;
    if (keep != nullptr) {
      if (!err) {
        naming = true;
        err = PlaceKeeping(dest, rule, *keep, [&] { return MoveIntoPlace(tmp, dest, false); });
      }
    } else {
      if (!err && !failIfExists) err = ApplyReadOnlyRule(dest, rule);
      if (!err) {
        naming = true;
        err = MoveIntoPlace(tmp, dest, !failIfExists);
      }
    }
    if (err) unlink(tmp.c_str());
  }
  if (err) ForgetFolder();
  return naming && err ? NamingResult(err, dir, keep) : MapErrno(err);
}

}  // namespace

namespace {

// A name as TempPathFor makes them: "." + name + ".vktmp-" + six letters
// or digits.
bool IsTempName(const char* name) {
  static constexpr char kMark[] = ".vktmp-";
  const std::size_t markSize = sizeof kMark - 1;
  const std::size_t size = std::strlen(name);
  if (size < 1 + markSize + 6 || name[0] != '.') return false;
  const char* suffix = name + size - 6;
  if (std::memcmp(suffix - markSize, kMark, markSize) != 0) return false;
  for (int i = 0; i < 6; ++i) {
    const char c = suffix[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

}  // namespace

namespace {

// Removes the temporary-looking entries of the folder `dir` that `doomed`
// picks (it gets the name and the kind). Result: the number removed.
template <typename Pick>
int RemoveEntries(const std::string& dir, Pick doomed) {
  DirLister listing(dir);
  DirEntry entry;
  int removed = 0;
  while (listing.Next(entry, false)) {
    if (IsTempName(entry.name.c_str()) && doomed(entry.name, entry.kind) &&
        unlinkat(listing.Handle(), entry.name.c_str(), 0) == 0)
      ++removed;
  }
  return removed;
}

}  // namespace

UniqueFd OpenFolderHandle(const std::string& path) {
  return UniqueFd(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

bool IsCopyTempName(const std::string& name) { return IsTempName(name.c_str()); }

bool OnRotatingDisk(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && Rotating(st.st_dev);
}

int RemoveCopyLeftovers(const std::string& targetDir, int sourceDirHandle) {
  if (sourceDirHandle < 0) return 0;
  return RemoveEntries(targetDir, [sourceDirHandle](const std::string& name, EntryKind kind) {
    // Only files and links, and never one that the source has too (then
    // it is a file of the user's, copied like any other).
    if (kind != EntryKind::File && kind != EntryKind::Symlink) return false;
    struct stat src {};
    return fstatat(sourceDirHandle, name.c_str(), &src, AT_SYMLINK_NOFOLLOW) != 0 &&
           errno == ENOENT;
  });
}

int RemoveTempLeftovers(const std::string& dir, const std::string& of) {
  return RemoveEntries(dir, [&of](const std::string& name, EntryKind kind) {
    if (kind != EntryKind::File) return false;
    // "." + of + ".vktmp-" + six characters
    return of.empty() ||
           (name.size() == 1 + of.size() + 7 + 6 && name.compare(1, of.size(), of) == 0);
  });
}

int CopyFile(const std::string& source, const std::string& dest, bool failIfExists) {
  return CopyFileWith(source, dest, failIfExists, ReadOnlyRule::Ignore);
}

int CopyFileReplacing(const std::string& source, const std::string& dest, bool clearReadOnly) {
  return CopyFileWith(source, dest, false,
                      clearReadOnly ? ReadOnlyRule::Clear : ReadOnlyRule::Refuse);
}

int CopyFileReplacing(const std::string& source, const std::string& dest, bool clearReadOnly,
                      const SourceRef& at, CopyLosses* losses) {
  return CopyFileWith(source, dest, false,
                      clearReadOnly ? ReadOnlyRule::Clear : ReadOnlyRule::Refuse, at, losses);
}

int CopyFileReplacing(const std::string& source, const std::string& dest, bool clearReadOnly,
                      const SourceRef& at, CopyLosses* losses, KeepReplaced* keep) {
  return CopyFileWith(source, dest, false,
                      clearReadOnly ? ReadOnlyRule::Clear : ReadOnlyRule::Refuse, at, losses, keep);
}

}  // namespace platform
