// The single-instance lock: an exclusive flock on a file inside the data
// folder (or on the folder itself), held as long as the descriptor stays
// open.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

namespace {

// 0 when locked, else errno (EWOULDBLOCK: another process holds it).
int LockExclusive(int fd) {
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? 0 : errno;
}

}  // namespace

InstanceLock::~InstanceLock() { Release(); }

InstanceLock::Result InstanceLock::Acquire(const std::string& dataDir, const std::string& name) {
  if (fd_ >= 0) return Result::Acquired;
  if (name.empty() || name.find('/') != std::string::npos || dataDir.empty())
    return Result::NotPossible;
  const std::string dir = dataDir.back() == '/' ? dataDir : dataDir + "/";
  const std::string path = dir + name + ".lock";
  int fd = -1;
  if (int err = detail::Fault("lock-file", path)) {
    errno = err;
  } else {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    // A lock file that another user made can still be locked for reading.
    if (fd < 0 && errno == EACCES)
      fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
  }
  if (fd < 0) {
    // A folder that cannot be written: every program of this data folder
    // falls back to locking the folder itself. (Two programs of which one
    // locks the file and the other the folder cannot happen: whether the
    // file can be made is the same for both, unless the folder's
    // permissions change in between.)
    fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Result::NotPossible;
  }
  const int err = LockExclusive(fd);
  if (err != 0) {
    close(fd);
    // Only a lock held by someone else means another program runs; a file
    // system that cannot lock claims nothing.
    return err == EWOULDBLOCK ? Result::HeldElsewhere : Result::NotPossible;
  }
  fd_ = fd;
  return Result::Acquired;
}

void InstanceLock::Release() {
  if (fd_ < 0) return;
  // The file stays: removing it would let a third start lock a new file
  // while a second one still waits on the old one.
  close(fd_);
  fd_ = -1;
}

}  // namespace platform
