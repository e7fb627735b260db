// Directory listing over one open directory descriptor.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/readahead.h"

#include <algorithm>

namespace platform {

struct DirLister::Impl {
  DIR* dir = nullptr;
  int fd = -1;
  int readError = 0;  // of a read that failed before the end (MapErrno)
  std::string path;   // for the fault hooks
};

namespace {

// The errno injected for the entry `name` of the folder `dir`; the path is
// only put together while a hook is set.
int EntryFault(const std::string& dir, const char* name) {
  if (!detail::g_faultHook) return 0;
  return detail::Fault("describe-entry",
                       dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name);
}

}  // namespace

DirLister::DirLister(const std::string& dir) : impl_(std::make_unique<Impl>()) {
  impl_->path = dir;
  if (int err = detail::Fault("list-dir", dir)) {
    errno = err;
    return;
  }
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return;
  impl_->dir = fdopendir(fd);
  if (impl_->dir == nullptr) {
    close(fd);
    return;
  }
  impl_->fd = fd;
}

DirLister::DirLister(const DirLister& parent, const std::string& name, const std::string& path)
    : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  if (int err = detail::Fault("enter-dir", path)) {
    errno = err;
    return;
  }
  if (int err = detail::Fault("list-dir", path)) {
    errno = err;
    return;
  }
  if (parent.Handle() < 0) return;
  const int fd = openat(parent.Handle(), name.c_str(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int err = errno;
    struct stat st {};
    notFolder_ = (err == ELOOP || err == ENOTDIR) &&
                 fstatat(parent.Handle(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                 !S_ISDIR(st.st_mode);
    errno = err;
    return;
  }
  impl_->dir = fdopendir(fd);
  if (impl_->dir == nullptr) {
    close(fd);
    return;
  }
  impl_->fd = fd;
}

FileId DirLister::Id() const {
  FileId id;
  struct stat st {};
  if (impl_->dir != nullptr && fstat(impl_->fd, &st) == 0) {
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.known = true;
  }
  return id;
}

FileId IdOf(const std::string& path) {
  FileId id;
  struct stat st {};
  if (!path.empty() && stat(path.c_str(), &st) == 0) {
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.known = true;
  }
  return id;
}

DirLister::~DirLister() {
  if (impl_->dir) closedir(impl_->dir);  // closes the descriptor too
}

bool DirLister::IsOpen() const { return impl_->dir != nullptr; }

int DirLister::Handle() const { return impl_->dir != nullptr ? impl_->fd : -1; }

int DirLister::ReadError() const { return impl_->readError; }

namespace {

EntryKind KindOfMode(mode_t mode) {
  if (S_ISDIR(mode)) return EntryKind::Directory;
  if (S_ISREG(mode)) return EntryKind::File;
  if (S_ISLNK(mode)) return EntryKind::Symlink;
  return EntryKind::Other;
}

// Read-only bit, size and times of an entry from its lstat.
void FillDescription(DirEntry& entry, const struct stat& st) {
  entry.readOnly = (st.st_mode & S_IWUSR) == 0;
  entry.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  entry.mtime = st.st_mtim.tv_sec;
  entry.mtimeNsec = st.st_mtim.tv_nsec;
  entry.stamp = DosStampOf(st.st_mtim.tv_sec);
}

}  // namespace

bool DirLister::Describe(const std::string& name, DirEntry& entry) const {
  struct stat st {};
  if (impl_->dir == nullptr || fstatat(impl_->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  entry.name = name;
  entry.hidden = !name.empty() && name[0] == '.';
  entry.kind = KindOfMode(st.st_mode);
  FillDescription(entry, st);
  return true;
}

bool DescribeListed(const DirLister& listing, DirEntry& entry) {
  // As Next does it with describe: an entry removed since it was listed
  // is gone; one whose inode cannot be read keeps the kind the listing
  // gave it, no stamp and the error.
  struct stat st {};
  int err = EntryFault(listing.impl_->path, entry.name.c_str());
  if (err == 0 && fstatat(listing.Handle(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    err = errno;
  if (err != 0) {
    entry.error = MapErrno(err);
    return err != ENOENT;
  }
  entry.error = 0;
  entry.kind = KindOfMode(st.st_mode);
  FillDescription(entry, st);
  return true;
}

bool DirLister::Next(DirEntry& entry, bool describe) {
  if (impl_->dir == nullptr || impl_->readError != 0) return false;
  for (;;) {
    int err = detail::Fault("read-dir", impl_->path);
    errno = err;
    const struct dirent* d = err == 0 ? readdir(impl_->dir) : nullptr;
    if (d == nullptr) {
      // The end, or a failed read: that one is kept, the caller has not
      // seen the whole folder.
      if (errno != 0) impl_->readError = MapErrno(errno);
      return false;
    }
    const char* n = d->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;

    entry.name.assign(n);
    entry.hidden = n[0] == '.';
    entry.readOnly = false;
    entry.size = 0;
    entry.stamp = 0;
    entry.mtime = 0;
    entry.mtimeNsec = 0;
    entry.error = 0;

    if (!describe) {
      switch (d->d_type) {
        case DT_DIR:
          entry.kind = EntryKind::Directory;
          return true;
        case DT_REG:
          entry.kind = EntryKind::File;
          return true;
        case DT_LNK:
          entry.kind = EntryKind::Symlink;
          return true;
        case DT_UNKNOWN:
          break;  // the file system does not tell: ask below
        default:
          entry.kind = EntryKind::Other;
          return true;
      }
    }

    struct stat st {};
    err = EntryFault(impl_->path, n);
    if (err == 0 && fstatat(impl_->fd, n, &st, AT_SYMLINK_NOFOLLOW) != 0) err = errno;
    if (err != 0) {
      if (err == ENOENT) continue;  // removed since it was listed
      // Known by name only (no access to its inode): report what the
      // directory entry says, and that its stamp is not known.
      entry.error = MapErrno(err);
      entry.kind = d->d_type == DT_DIR                              ? EntryKind::Directory
                   : d->d_type == DT_LNK                            ? EntryKind::Symlink
                   : d->d_type == DT_REG || d->d_type == DT_UNKNOWN ? EntryKind::File
                                                                    : EntryKind::Other;
      return true;
    }
    entry.kind = KindOfMode(st.st_mode);
    if (describe) FillDescription(entry, st);
    return true;
  }
}

bool ListFileNames(const std::string& dir, std::vector<std::string>& names, std::size_t limit) {
  names.clear();
  DirLister lister(dir);
  if (!lister.IsOpen()) return false;
  DIR* d = lister.impl_->dir;
  const int fd = lister.impl_->fd;
  for (;;) {
    const struct dirent* e = readdir(d);
    if (e == nullptr || names.size() >= limit) break;
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    if (e->d_type == DT_DIR) continue;
    if (e->d_type == DT_UNKNOWN) {
      // As FileExists decides it: only what lstat finds and is no folder.
      struct stat st {};
      if (fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) continue;
    }
    names.emplace_back(n);
  }
  std::sort(names.begin(), names.end());
  return true;
}

}  // namespace platform
