// Appending to a file in one write, and the process numbers the history of
// the runs pairs its lines by.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/internal.h"
#include "platform/platform.h"

namespace platform {

int AppendToFile(const std::string& path, const std::string& givenBytes, bool onNewLine,
                 std::uint64_t* sizeAfter) {
  const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return errno == ENOENT ? kErrPathNotFound : MapErrno(errno);
  std::string bytes;
  if (onNewLine) {
    // A line cut short before (a full disk) does not swallow this one.
    struct stat st {};
    char last = '\n';
    if (fstat(fd, &st) == 0 && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) == 1 &&
        last != '\n')
      bytes = "\r\n";
  }
  bytes += givenBytes;
  int err = detail::Fault("append", path);
  if (err == 0) {
    // One write: another process appending at the same time never lands
    // inside this line.
    ssize_t n;
    do n = write(fd, bytes.data(), bytes.size());
    while (n < 0 && errno == EINTR);
    if (n < 0)
      err = MapErrno(errno);
    else if (static_cast<std::size_t>(n) != bytes.size())
      err = kErrDiskFull;
  }
  struct stat after {};
  if (err == 0 && sizeAfter != nullptr && fstat(fd, &after) == 0)
    *sizeAfter = static_cast<std::uint64_t>(after.st_size);
  if (close(fd) != 0 && err == 0 && errno != EINTR) err = MapErrno(errno);
  return err;
}

int CurrentProcessId() { return static_cast<int>(getpid()); }

bool SameProgramRunning(int pid) {
  if (pid <= 0) return false;
  if (pid == CurrentProcessId()) return true;
  // A number taken again by another program after this one's process
  // ended is no run of this program.
  char own[4096], other[4096];
  const ssize_t a = readlink("/proc/self/exe", own, sizeof own);
  const std::string path = "/proc/" + std::to_string(pid) + "/exe";
  const ssize_t b = readlink(path.c_str(), other, sizeof other);
  return a > 0 && a == b &&
         std::string(own, static_cast<std::size_t>(a)) ==
             std::string(other, static_cast<std::size_t>(b));
}

}  // namespace platform
