// The signals that ask the program to end: SIGTERM (a logout, `kill`),
// SIGHUP (the terminal it was started from closed), SIGINT (Ctrl+C). They
// are caught and handed to the event loop through a pipe, so that the
// program can end as a close of its main window ends it.
#pragma once

namespace platform {

// Catches the signals (one the program was started to ignore stays
// ignored). The descriptor that becomes readable when one came; -1 when
// no pipe could be made (the signals then act as before).
int CatchEndSignals();
// The signal that came and was not taken yet; 0 when none waits.
int TakeEndSignal();
// Ends the program by `signal` as if it had never been caught.
[[noreturn]] void EndBySignal(int signal);
// The signals act as before again; the pipe is closed.
void ReleaseEndSignals();

}  // namespace platform
