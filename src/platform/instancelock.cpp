// The single-instance lock: an exclusive flock on a file in the runtime
// folder, held as long as the descriptor stays open.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

InstanceLock::~InstanceLock() { Release(); }

bool InstanceLock::Acquire(const std::string& name) {
  if (fd_ >= 0) return true;
  if (name.empty() || name.find('/') != std::string::npos) return false;
  const std::string dir = RuntimeDir();
  // In the shared /tmp the user id keeps users apart.
  const std::string path = dir == "/tmp"
                               ? dir + "/" + name + "-" + std::to_string(getuid()) + ".lock"
                               : dir + "/" + name + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
  if (fd < 0) return false;
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void InstanceLock::Release() {
  if (fd_ < 0) return;
  // The file stays: removing it would let a third start lock a new file
  // while a second one still waits on the old one.
  close(fd_);
  fd_ = -1;
}

}  // namespace platform
