// The command line of the program: runs a backup, a check or a restore of
// one job without any window, lists the jobs, the versions kept in a
// job's target or a job's options (and sets them), or tells how it is
// used. It needs no
// display and no Qt: the arguments are read before anything of the window
// program exists.
//
// It works on the same catalogue, settings, engine, report, stamp rule and
// single-instance lock as the window program.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

class tBackups;

namespace cli {

// Exit codes, as --help and the manual page tell them.
enum ExitCode : int {
  kExitOk = 0,             // ended with status 0 and without errors
  kExitErrors = 1,         // ended with errors (report lines), or files are missing
  kExitUsage = 2,          // wrong arguments or unknown job
  kExitRunning = 3,        // another VolKarn (window or command line) is running
  kExitCancelled = 4,      // cancelled by SIGINT or SIGTERM
  kExitUnreadable = 5,     // catalogue, settings, the job's directory list or options unreadable
  kExitTargetMissing = 6,  // the target's drive is missing (folder and its parent)
  // Mirroring would have moved more than half of a target's files: nothing
  // was moved there. A synchronisation that would remove more than half of
  // a folder's files: nothing was changed.
  kExitMassRemoval = 7,
};

enum class Action {
  Window,
  Backup,
  Check,
  List,
  Help,
  Version,
  Restore,
  Versions,
  Options,
  Sync,
  Status,
  History
};
enum class Mode { Default, Full, Incremental };

struct Arguments {
  Action action = Action::Window;
  std::string job;  // or the name of a synchronisation (--sync)
  Mode mode = Mode::Default;
  bool complete = false;  // --check --complete
  // --check --content [--share N]: compare the bytes of files with the same
  // size and time, N % of them per run (1..100).
  bool content = false;
  int share = 100;
  bool quiet = false;
  // --restore: the state ("YYYY-MM-DD hh:mm", empty for the latest
  // backup), the folder to restore to (empty: the original places) and
  // the dry run (also of --sync).
  std::string asOf;
  std::string to;
  bool dryRun = false;
  // --timer: started by a timer (the systemd units), as the history says.
  bool timer = false;
  // What follows the job: paths (--restore, at most one for --versions)
  // or "Schlüssel=Wert" (--options).
  std::vector<std::string> operands;
  // A usage error in German; empty when the arguments are fine.
  std::string error;
};

// The arguments after the program name. No arguments: the window program.
Arguments ParseArguments(const std::vector<std::string>& args);
// True when the program is to run as a command line: the first argument
// is an option of its own ("--...", "-h"). Other arguments (the toolkit's
// own, such as -platform) go to the window program.
bool WantsCommandLine(int argc, char** argv);

std::string HelpText();
std::string VersionText();

// Index of the first job whose name equals `name` ignoring letter case;
// -1 when there is none.
int FindJob(const tBackups& jobs, const std::string& name);

// The one-line progress of a run on a terminal: files copied and the
// folder in work, drawn over itself at most ten times a second and cut to
// the terminal's width.
class TerminalProgress {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // columns: width of the terminal (0: unknown, 80 is taken).
  TerminalProgress(std::ostream& out, int columns, Clock clock = nullptr);
  // Draws the line unless it was drawn less than 100 ms ago (or force).
  void Show(const std::string& line, bool force = false);
  // Removes the line (before other output).
  void Clear();
  // The line cut to at most `columns` characters: the end of a long text
  // is kept behind "...", since the folder in work ends it.
  static std::string Fit(const std::string& line, int columns);

 private:
  std::ostream& out_;
  int columns_;
  Clock clock_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_{};
};

// What a run sees of the world (tests replace it).
struct Environment {
  std::ostream* out = nullptr;  // --list, --help, --version
  std::ostream* err = nullptr;  // messages, report, progress
  std::string lockName = "volkarn";
  // Progress on err (a terminal and not --quiet).
  bool terminal = false;
  int columns = 0;
  // A run that nobody watches: failures are told as desktop notifications.
  bool unattended = false;
  std::function<bool()> cancelRequested;
  // Sends a notification; false when none went out (no session bus).
  std::function<bool(const std::string& summary, const std::string& body)> notify;
};

// Runs the parsed arguments; the result is the exit code.
int Run(const Arguments& args, Environment& env);

// The program's entry for the command line: the real environment (stdout,
// stderr, the terminal, SIGINT/SIGTERM, desktop notifications).
int Main(int argc, char** argv);

}  // namespace cli
