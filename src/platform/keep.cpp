// What a copy keeps besides the content: owners, extended attributes and
// access lists (ACL), and the folders of the target, made no wider than
// their source folders and given their permissions once their content is
// in place.
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

namespace detail {

std::atomic<unsigned> g_folderAclChanges{0};

bool RunsAsRoot() {
  static const bool root = geteuid() == 0;
  return root;
}

bool MemberOf(gid_t gid) {
  static const std::vector<gid_t> groups = [] {
    std::vector<gid_t> list(1, getegid());
    const int n = getgroups(0, nullptr);
    if (n > 0) {
      std::vector<gid_t> more(static_cast<std::size_t>(n));
      const int got = getgroups(n, more.data());
      if (got > 0) list.insert(list.end(), more.begin(), more.begin() + got);
    }
    return list;
  }();
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

void TakeOwner(int fd, const char* linkPath, const struct stat& source, uid_t& uid, gid_t& gid) {
  if (uid == source.st_uid && gid == source.st_gid) return;
  const auto change = [&](uid_t toUid, gid_t toGid) {
    return (fd >= 0 ? fchown(fd, toUid, toGid)
                    : fchownat(AT_FDCWD, linkPath, toUid, toGid, AT_SYMLINK_NOFOLLOW)) == 0;
  };
  if (RunsAsRoot()) {
    if (change(source.st_uid, source.st_gid)) {
      uid = source.st_uid;
      gid = source.st_gid;
    }
    return;
  }
  // Another user keeps the group where he belongs to it; the owner is his.
  if (gid != source.st_gid && MemberOf(source.st_gid) &&
      change(static_cast<uid_t>(-1), source.st_gid))
    gid = source.st_gid;
}

namespace {

constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr char kDefaultAcl[] = "system.posix_acl_default";

// The attributes a copy carries over: the user's own and the access
// lists (a folder's default list too).
bool Carried(const char* name, bool folder) {
  return std::strncmp(name, "user.", 5) == 0 || std::strcmp(name, kAccessAcl) == 0 ||
         (folder && std::strcmp(name, kDefaultAcl) == 0);
}

bool Unsupported(int err) { return err == EOPNOTSUPP || err == ENOTSUP || err == ENOSYS; }

// The value of the attribute `name` of `fd` into `value`; false when it
// cannot be read (gone, no access).
bool ReadValue(int fd, const char* name, std::string& value) {
  value.resize(value.capacity() > 256 ? value.capacity() : 256);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t n = fgetxattr(fd, name, value.data(), value.size());
    if (n >= 0) {
      value.resize(static_cast<std::size_t>(n));
      return true;
    }
    if (errno != ERANGE) return false;
    const ssize_t size = fgetxattr(fd, name, nullptr, 0);
    if (size < 0) return false;
    value.resize(static_cast<std::size_t>(size) + 64);
  }
  return false;
}

// The carried names of `fd`.
std::vector<std::string> CarriedNames(int fd, bool folder) {
  std::vector<std::string> names;
  std::string list;
  if (ListAttributeNames(fd, list) <= 0) return names;
  for (std::size_t at = 0; at < list.size();) {
    const char* name = list.c_str() + at;
    const std::size_t length = std::strlen(name);
    if (length > 0 && Carried(name, folder)) names.emplace_back(name, length);
    at += length + 1;
  }
  return names;
}

}  // namespace

ssize_t ListAttributeNames(int fd, std::string& list) {
  // Most files have none: one call into a buffer on the stack tells.
  char small[256];
  ssize_t n = flistxattr(fd, small, sizeof small);
  if (n == 0) {
    list.clear();
    return 0;
  }
  if (n > 0) {
    list.assign(small, static_cast<std::size_t>(n));
    return n;
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (errno != ERANGE) return Unsupported(errno) ? 0 : -1;
    const ssize_t size = flistxattr(fd, nullptr, 0);
    if (size < 0) return Unsupported(errno) ? 0 : -1;
    list.resize(static_cast<std::size_t>(size) + 256);
    n = flistxattr(fd, list.data(), list.size());
    if (n >= 0) {
      list.resize(static_cast<std::size_t>(n));
      return n;
    }
  }
  return -1;
}

bool AnyCarried(const std::string& names) {
  for (std::size_t at = 0; at < names.size();) {
    const char* name = names.c_str() + at;
    if (Carried(name, false)) return true;
    at += std::strlen(name) + 1;
  }
  return false;
}

bool CopyAttributes(int in, const std::string& names, int out, bool removeInheritedAcl) {
  bool kept = true;
  bool hasAccessAcl = false;
  std::string value;
  for (std::size_t at = 0; at < names.size();) {
    const char* name = names.c_str() + at;
    at += std::strlen(name) + 1;
    if (!Carried(name, false)) continue;
    if (std::strcmp(name, kAccessAcl) == 0) hasAccessAcl = true;
    if (!ReadValue(in, name, value)) continue;
    if (fsetxattr(out, name, value.data(), value.size(), 0) != 0) {
      kept = false;
      // The target holds none at all: the others fail the same way.
      if (Unsupported(errno)) return false;
    }
  }
  // A list the target folder handed down, which the source does not have.
  if (removeInheritedAcl && !hasAccessAcl) (void)fremovexattr(out, kAccessAcl);
  return kept;
}

}  // namespace detail

using detail::Fault;

namespace {

// Opens the folder `path` without following a link; -1 with errno set.
int OpenFolder(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
}

// The mode bits of a folder that its copy has meanwhile: what the source
// does not grant the group and others is taken away, and the owner (this
// process's user) may enter and write.
mode_t WorkingMode(mode_t target, mode_t source) {
  mode_t mode = target & 07777 & ~(077 & ~source);
  if (!detail::RunsAsRoot()) mode |= S_IRWXU;
  return mode;
}

// Brings the carried attributes of the folder `out` to those of `in`;
// false when the target refused one.
bool MatchFolderAttributes(int in, int out, bool& changed) {
  const std::vector<std::string> want = detail::CarriedNames(in, true);
  const std::vector<std::string> have = detail::CarriedNames(out, true);
  if (want.empty() && have.empty()) return true;
  bool kept = true;
  std::string value, old;
  for (const std::string& name : have) {
    if (std::find(want.begin(), want.end(), name) != want.end()) continue;
    if (fremovexattr(out, name.c_str()) == 0) changed = true;
  }
  for (const std::string& name : want) {
    if (!detail::ReadValue(in, name.c_str(), value)) continue;
    if (std::find(have.begin(), have.end(), name) != have.end() &&
        detail::ReadValue(out, name.c_str(), old) && old == value)
      continue;
    if (fsetxattr(out, name.c_str(), value.data(), value.size(), 0) == 0) {
      changed = true;
    } else {
      kept = false;
      if (detail::Unsupported(errno)) break;
    }
  }
  return kept;
}

}  // namespace

bool KeepsPermissions(const std::string& dir) {
  if (Fault("permission-probe", dir) != 0) return false;
  const std::string base = (dir.empty() || dir.back() != '/') ? dir + "/" : dir;
  std::string name;
  int fd = -1;
  for (int attempt = 0; attempt < 10 && fd < 0; ++attempt) {
    name = base + ".vkMode-" + detail::TempNameSuffix();
    fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    // Where nothing can be made, nothing is claimed: the copies say why.
    if (fd < 0 && errno != EEXIST) return true;
  }
  if (fd < 0) return true;
  // Two modes that no mount option gives every file: both must hold.
  struct stat first {};
  struct stat second {};
  const bool keeps = fchmod(fd, 0640) == 0 && fstat(fd, &first) == 0 &&
                     (first.st_mode & 07777) == 0640 && fchmod(fd, 0604) == 0 &&
                     fstat(fd, &second) == 0 && (second.st_mode & 07777) == 0604;
  close(fd);
  unlink(name.c_str());
  return keeps;
}

int PrepareCopyFolder(int sourceDir, const std::string& path, bool& made) {
  made = false;
  struct stat source {};
  if (fstat(sourceDir, &source) != 0) return MapErrno(errno);
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return MapErrno(errno);
    // Open to its owner only until its content is in place.
    errno = Fault("create-dir", path);
    if (errno == 0 && mkdir(path.c_str(), 0700) == 0) {
      made = true;
      return 0;
    }
    if (errno == ENOENT) return kErrPathNotFound;
    if (errno != EEXIST) return kErrDirectory;
    if (lstat(path.c_str(), &st) != 0) return kErrDirectory;
  }
  if (S_ISLNK(st.st_mode)) {
    // A link to a folder serves as the folder and is left as it is.
    struct stat to {};
    return stat(path.c_str(), &to) == 0 && S_ISDIR(to.st_mode) ? 0 : kErrDirectory;
  }
  if (!S_ISDIR(st.st_mode)) return kErrDirectory;
  const mode_t working = WorkingMode(st.st_mode, source.st_mode);
  if (working != (st.st_mode & 07777)) {
    const int fd = OpenFolder(path);
    if (fd >= 0) {
      (void)fchmod(fd, working);
      close(fd);
    }
  }
  return 0;
}

int MakeFoldersBelow(const std::string& root, const std::string& folder) {
  struct stat st {};
  if (stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrPathNotFound;
  std::string path = root;
  if (path.empty() || path.back() != '/') path += '/';
  std::size_t start = 0;
  while (start < folder.size()) {
    std::size_t end = folder.find('/', start);
    if (end == std::string::npos) end = folder.size();
    if (end > start) {
      path.append(folder, start, end - start);
      errno = Fault("create-dir", path);
      if (errno != 0 || mkdir(path.c_str(), 0700) != 0) {
        if (errno != EEXIST) return errno == ENOENT ? kErrPathNotFound : MapErrno(errno);
        if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrDirectory;
      }
      path += '/';
    }
    start = end + 1;
  }
  return 0;
}

void FinishCopyFolder(int sourceDir, const std::string& path, CopyLosses* losses) {
  struct stat source {};
  if (fstat(sourceDir, &source) != 0) return;
  const int fd = OpenFolder(path);
  if (fd < 0) return;  // gone, or a link the user put there
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    close(fd);
    return;
  }
  uid_t uid = st.st_uid;
  gid_t gid = st.st_gid;
  detail::TakeOwner(fd, nullptr, source, uid, gid);
  const bool ownerChanged = uid != st.st_uid || gid != st.st_gid;
  bool changed = false;
  if ((Fault("keep-attributes", path) != 0 || !MatchFolderAttributes(sourceDir, fd, changed)) &&
      losses != nullptr)
    losses->attributes = true;
  if (changed) {
    // An access list changes the permission bits with it.
    (void)fstat(fd, &st);
    detail::g_folderAclChanges.fetch_add(1, std::memory_order_relaxed);
  }
  // A new owner or group clears the set-id bits: the mode comes last.
  if (ownerChanged || (st.st_mode & 07777) != (source.st_mode & 07777))
    (void)fchmod(fd, source.st_mode & 07777);
  if (st.st_mtim.tv_sec != source.st_mtim.tv_sec || st.st_mtim.tv_nsec != source.st_mtim.tv_nsec) {
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    (void)futimens(fd, times);
  }
  close(fd);
}

}  // namespace platform
