// The local socket through which a later start of the program asks the
// running one to come forward: a Unix stream socket that only the user can
// reach. Nothing is read from a connection; its arrival is the request.
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform {

class LocalListener {
 public:
  LocalListener() = default;
  ~LocalListener();  // closes and removes the socket file
  LocalListener(const LocalListener&) = delete;
  LocalListener& operator=(const LocalListener&) = delete;

  // Listens at `path` (created with mode 0600; an old file there is
  // removed first: the caller holds the single-instance lock). False when
  // the socket cannot be made (path too long, folder missing).
  bool Listen(const std::string& path);
  // The listening descriptor (to watch for readability), or -1.
  int Descriptor() const { return fd_.Get(); }
  // Takes and closes every waiting connection; how many there were.
  int AcceptAll();
  void Close();

 private:
  UniqueFd fd_;
  std::string path_;
};

// Connects to a listener at `path` and sends `message`; false when none
// answers within `timeoutMs`.
bool TellLocal(const std::string& path, const std::string& message, int timeoutMs);

}  // namespace platform
