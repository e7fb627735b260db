// The signals that ask the program to end reach its event loop once each;
// the program then ends by them as if they had never been caught.
#include "platform/endsignals.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TEST(EndSignals, EachIsHandedOverOnceAndEndsTheProgramWhenItIsAskedTo) {
  struct Case {
    const char* what;
    int signal;
    bool ignoredAtStart;  // as under nohup
    bool released;
    int diesOf;  // 0: ends by itself
  };
  const Case cases[] = {
      {"a logout's SIGTERM waits for the loop, then ends the program", SIGTERM, false, false,
       SIGTERM},
      {"Ctrl+C the same", SIGINT, false, false, SIGINT},
      {"a SIGHUP the program was started to ignore stays ignored", SIGHUP, true, false, 0},
      {"released, a signal ends the program at once", SIGTERM, false, true, SIGTERM},
  };
  for (const Case& c : cases) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (c.ignoredAtStart) signal(c.signal, SIG_IGN);
      if (platform::CatchEndSignals() < 0) _exit(10);
      if (c.released) platform::ReleaseEndSignals();
      raise(c.signal);
      const int taken = platform::TakeEndSignal();
      if (taken != (c.ignoredAtStart ? 0 : c.signal)) _exit(11);
      if (platform::TakeEndSignal() != 0) _exit(12);
      if (taken != 0) platform::EndBySignal(taken);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    if (c.diesOf != 0) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.diesOf)
          << c.what << " (status " << status << ")";
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << c.what << " (status " << status << ")";
    }
  }
}

}  // namespace
