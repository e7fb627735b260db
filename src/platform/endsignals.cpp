#include "platform/endsignals.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
// Read end, write end; the handler only writes.
int g_pipe[2] = {-1, -1};

extern "C" void OnEndSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  // A full pipe already holds a signal the loop has not taken yet.
  [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
  errno = saved;
}

void SetDefault(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

int CatchEndSignals() {
  if (g_pipe[0] >= 0) return g_pipe[0];
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_pipe[0] = g_pipe[1] = -1;
    return -1;
  }
  for (int signal : kEndSignals) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
  }
  return g_pipe[0];
}

int TakeEndSignal() {
  unsigned char byte = 0;
  if (g_pipe[0] < 0 || read(g_pipe[0], &byte, 1) != 1) return 0;
  return byte;
}

void EndBySignal(int signal) {
  SetDefault(signal);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal);
  pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signal);
  // Only a signal whose default is not to end gets here.
  _exit(128 + signal);
}

void ReleaseEndSignals() {
  if (g_pipe[0] < 0) return;
  for (int signal : kEndSignals) {
    struct sigaction now {};
    if (sigaction(signal, nullptr, &now) == 0 && now.sa_handler == OnEndSignal) SetDefault(signal);
  }
  close(g_pipe[0]);
  close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

}  // namespace platform
