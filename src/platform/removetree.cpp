// Removing a whole folder fast: each folder is opened relative to its
// parent and read once, its entries removed by name relative to it (the
// kind the listing gives decides, so no entry is looked at on its own),
// and no link is ever followed.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

namespace {

using detail::Fault;

struct Remover {
  dev_t device = 0;
  // The first failure (errno), 0 while none.
  int error = 0;
  // The path of the folder in work, for the fault hook only.
  std::string path;

  void Fail(int err) {
    if (error == 0) error = err;
  }

  // Removes the entry `name` of the open folder `dirFd`. `kind`: the
  // listing's entry type (DT_UNKNOWN where the file system does not tell).
  void RemoveEntry(int dirFd, const char* name, unsigned char kind) {
    if (detail::g_faultHook) {
      if (const int err = Fault("remove-tree", path + "/" + name)) return Fail(err);
    }
    if (kind != DT_DIR) {
      if (unlinkat(dirFd, name, 0) == 0) return;
      // Linux gives EISDIR (or EPERM elsewhere) for a folder of unknown kind.
      if (errno != EISDIR && errno != EPERM && errno != EACCES) return Fail(errno);
      struct stat st {};
      if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return Fail(errno);
      if (!S_ISDIR(st.st_mode)) {
        // Its folder is closed to writing: opened up once.
        if (!OpenUp(dirFd) || unlinkat(dirFd, name, 0) != 0) Fail(errno);
        return;
      }
    }
    RemoveFolder(dirFd, name);
  }

  // Gives the open folder `fd` the owner's permissions (to remove
  // entries); false when that cannot be done.
  static bool OpenUp(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    if ((st.st_mode & S_IRWXU) == S_IRWXU) {
      errno = EACCES;
      return false;
    }
    return fchmod(fd, (st.st_mode & 07777) | S_IRWXU) == 0;
  }

  // Empties and removes the folder `name` of the open folder `parentFd`.
  void RemoveFolder(int parentFd, const char* name) {
    int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 && errno == EACCES) {
      // A folder closed to its owner: opened up (never through a link).
      struct stat st {};
      if (fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
          fchmodat(parentFd, name, (st.st_mode & 07777) | S_IRWXU, 0) == 0)
        fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    }
    if (fd < 0) {
      // Swapped for a link or a file since it was listed: that goes.
      if (errno == ENOTDIR || errno == ELOOP) {
        if (unlinkat(parentFd, name, 0) != 0) Fail(errno);
        return;
      }
      return Fail(errno);
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
      Fail(errno);
      close(fd);
      return;
    }
    if (st.st_dev != device) {
      // Another file system mounted here: never entered, never removed.
      close(fd);
      return Fail(EXDEV);
    }
    const std::size_t pathSize = path.size();
    if (detail::g_faultHook) path.append("/").append(name);
    EmptyFolder(fd);  // takes the descriptor
    path.resize(pathSize);
    if (unlinkat(parentFd, name, AT_REMOVEDIR) == 0) return;
    if (errno == EACCES && OpenUp(parentFd) && unlinkat(parentFd, name, AT_REMOVEDIR) == 0) return;
    // Not empty: what stayed in it has given its reason already.
    if (errno != ENOTEMPTY && errno != EEXIST) Fail(errno);
  }

  // Removes every entry of the open folder `fd` and closes it.
  void EmptyFolder(int fd) {
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
      Fail(errno);
      close(fd);
      return;
    }
    bool openedUp = false;
    for (;;) {
      errno = 0;
      const struct dirent* entry = readdir(dir);
      if (entry == nullptr) {
        if (errno != 0) Fail(errno);
        break;
      }
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      if (!openedUp) {
        // A folder the owner may not write into is opened up once, before
        // its first entry goes.
        struct stat st {};
        if (fstat(dirfd(dir), &st) == 0 && (st.st_mode & S_IWUSR) == 0)
          (void)fchmod(dirfd(dir), (st.st_mode & 07777) | S_IRWXU);
        openedUp = true;
      }
      RemoveEntry(dirfd(dir), name, entry->d_type);
    }
    closedir(dir);
  }
};

}  // namespace

int RemoveTree(const std::string& path) {
  std::string dir, name;
  detail::SplitPath(path, dir, name);
  if (name.empty() || name == "." || name == "..") return kErrAccessDenied;
  const int parent = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  if (parent < 0) return errno == ENOENT ? 0 : MapErrno(errno);
  struct stat st {};
  int result = 0;
  if (fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    result = errno == ENOENT ? 0 : MapErrno(errno);
  } else if (!S_ISDIR(st.st_mode)) {
    // A link or a file in its place goes as it is.
    result = unlinkat(parent, name.c_str(), 0) == 0 ? 0 : MapErrno(errno);
  } else {
    Remover remover;
    remover.device = st.st_dev;
    if (detail::g_faultHook) remover.path = dir == "/" ? std::string() : dir;
    remover.RemoveFolder(parent, name.c_str());
    result = remover.error == 0 ? 0 : MapErrno(remover.error);
  }
  close(parent);
  return result;
}

}  // namespace platform
