// The terminal and the signals of a run without a window.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

namespace {

volatile sig_atomic_t g_cancelSignalled = 0;

extern "C" void OnCancelSignal(int) { g_cancelSignalled = 1; }

}  // namespace

bool IsTerminal(int fd) { return isatty(fd) == 1; }

int TerminalColumns(int fd) {
  struct winsize size {};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void CatchCancelSignals() {
  struct sigaction action {};
  action.sa_handler = OnCancelSignal;
  sigemptyset(&action.sa_mask);
  // Copies in work go on: their reads and writes are restarted.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool CancelSignalled() { return g_cancelSignalled != 0; }

}  // namespace platform
