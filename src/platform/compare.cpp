#include "platform/compare.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

// An open file, closed however the comparison ends.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

int OpenForReading(const std::string& path) {
  // O_NOATIME only for the file's owner; others open without it.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  return fd;
}

// Reads up to `size` bytes, fewer only at the end of the file; -1 on error.
ssize_t ReadFull(int fd, char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

bool SameTime(const struct stat& a, const struct stat& b) {
  const long long diff = static_cast<long long>(a.st_mtim.tv_sec) - b.st_mtim.tv_sec;
  return diff >= -2 && diff <= 2;
}

}  // namespace

ContentResult CompareContents(const std::string& a, const std::string& b) {
  ContentResult result;
  Fd fa, fb;
  fa.fd = OpenForReading(a);
  if (fa.fd < 0) {
    // A link is not compared; a file gone since it was listed neither.
    if (errno == ELOOP || errno == ENOENT) return result;
    result.sameness = Sameness::Failed;
    result.error = MapErrno(errno);
    return result;
  }
  fb.fd = OpenForReading(b);
  if (fb.fd < 0) {
    if (errno == ELOOP || errno == ENOENT) return result;
    result.sameness = Sameness::Failed;
    result.error = MapErrno(errno);
    return result;
  }
  struct stat sa {
  }, sb{};
  if (::fstat(fa.fd, &sa) != 0 || ::fstat(fb.fd, &sb) != 0) {
    result.sameness = Sameness::Failed;
    result.error = MapErrno(errno);
    return result;
  }
  if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size || !SameTime(sa, sb))
    return result;
  (void)::posix_fadvise(fa.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  (void)::posix_fadvise(fb.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  // Kept for the thread's next comparison: fresh blocks of this size
  // would cost a page fault every 4 KiB each time.
  thread_local const std::unique_ptr<char[]> bufA(new char[kBlock]);
  thread_local const std::unique_ptr<char[]> bufB(new char[kBlock]);
  for (;;) {
    const ssize_t na = ReadFull(fa.fd, bufA.get(), kBlock);
    const ssize_t nb = na < 0 ? 0 : ReadFull(fb.fd, bufB.get(), kBlock);
    if (na < 0 || nb < 0) {
      result.sameness = Sameness::Failed;
      result.error = MapErrno(errno);
      return result;
    }
    // A file that grew or shrank while it was read differs.
    if (na != nb || std::memcmp(bufA.get(), bufB.get(), static_cast<std::size_t>(na)) != 0) {
      result.sameness = Sameness::Differs;
      return result;
    }
    if (na == 0) break;
  }
  result.sameness = Sameness::Same;
  return result;
}

bool LooksCaseInsensitive(const std::string& dir) {
  std::string path = dir;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  std::string swapped = path;
  bool letter = false;
  for (std::size_t i = slash == std::string::npos ? 0 : slash + 1; i < swapped.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(swapped[i]);
    if (std::isupper(c)) {
      swapped[i] = static_cast<char>(std::tolower(c));
      letter = true;
    } else if (std::islower(c)) {
      swapped[i] = static_cast<char>(std::toupper(c));
      letter = true;
    }
  }
  if (!letter) return false;
  struct stat here {
  }, there{};
  return ::stat(path.c_str(), &here) == 0 && ::stat(swapped.c_str(), &there) == 0 &&
         here.st_dev == there.st_dev && here.st_ino == there.st_ino;
}

}  // namespace platform
