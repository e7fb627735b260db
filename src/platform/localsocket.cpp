#include "platform/localsocket.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <utility>

namespace platform {

namespace {

bool MakeAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Waits until `fd` is ready for `events`; false on timeout or error.
bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  int r;
  do r = ::poll(&p, 1, timeoutMs);
  while (r < 0 && errno == EINTR);
  return r == 1 && (p.revents & events) != 0;
}

}  // namespace

LocalListener::~LocalListener() { Close(); }

bool LocalListener::Listen(const std::string& path) {
  Close();
  sockaddr_un address;
  if (!MakeAddress(path, address)) return false;
  // Bound first in a folder of mode 0700 beside the final name and moved
  // there once the socket file is 0600: never reachable by another user.
  const std::string::size_type slash = path.rfind('/');
  std::string folder =
      (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/.vksock.XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) return false;
  const std::string bound = folder + "/s";
  sockaddr_un temp;
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  bool ok = fd.Valid() && MakeAddress(bound, temp) &&
            ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&temp), sizeof temp) == 0 &&
            ::chmod(bound.c_str(), 0600) == 0 && ::listen(fd.Get(), 8) == 0;
  if (ok) {
    ::unlink(path.c_str());
    ok = ::rename(bound.c_str(), path.c_str()) == 0;
  }
  ::unlink(bound.c_str());
  ::rmdir(folder.c_str());
  if (!ok) return false;
  fd_ = std::move(fd);
  path_ = path;
  return true;
}

int LocalListener::AcceptAll() {
  int count = 0;
  if (!fd_.Valid()) return 0;
  for (;;) {
    const int c = ::accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) {
      if (errno == EINTR) continue;
      return count;
    }
    ::close(c);
    ++count;
  }
}

void LocalListener::Close() {
  if (!fd_.Valid()) return;
  fd_.Reset();
  ::unlink(path_.c_str());
  path_.clear();
}

bool TellLocal(const std::string& path, const std::string& message, int timeoutMs) {
  sockaddr_un address;
  if (!MakeAddress(path, address)) return false;
  const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.Valid()) return false;
  bool ok = ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
            (errno == EAGAIN && WaitFor(fd.Get(), POLLOUT, timeoutMs));
  if (ok) {
    int error = 0;
    socklen_t size = sizeof error;
    ok = ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
  }
  if (ok) {
    ssize_t sent;
    do sent = ::send(fd.Get(), message.data(), message.size(), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    ok = sent == static_cast<ssize_t>(message.size());
  }
  return ok;
}

}  // namespace platform
