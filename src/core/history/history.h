// The history of a job's runs: one line per run in a file of the data
// folder, and the reports of the last runs kept beside it.
//
// Every run (backup, check, completion, restore, synchronisation) writes
// its own line through a Recorder, from inside the run object. The file is
// Windows-1252 text with CR LF; lines are only ever appended, each with one
// write(): at its start a run appends a "begun" line, at its end the full
// line. A run killed in between leaves its begun line alone, which the
// reader shows as "abgebrochen (Programm beendet)" once its process is
// gone. A damaged line is skipped, never fatal. When the file holds more
// than kTrimAt runs it is rewritten atomically with the last kKeepRuns.
//
//   B|2026-12-09 18:30:05|4711|Sicherung inkrementell|Zeitplan
//   E|2026-12-09 18:30:05|4711|Sicherung inkrementell|Zeitplan|2026-12-09 18:31:10|ok|
//     120|0|3|104857600|Protokolle/Daten1/2026-12-09 183005 Sicherung.txt|
//
// (one line; the begun line and the end line of a run share the start and
// the process number, which is how the reader pairs them).
//
// The report of each run is also kept as
// "Protokolle/<stem>/<YYYY-MM-DD hhmmss> <kind>.txt" in the data folder
// (stem: the job's list file's name without ".lst"; a synchronisation's
// "Synchronisation <name>"), the last kKeptReports per job.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/timeproc.h"

class tBackups;

namespace history {

// What ran.
enum class Kind { FullBackup, IncrementalBackup, Check, Completion, Restore, Sync };
// How it was started.
enum class Started { Window, CommandLine, Timer };
// How it ended. Killed and Running are what the reader makes of a begun
// line without its end line: the process is gone, or still there.
enum class Outcome { Ok, Errors, Cancelled, NotStarted, Killed, Running };

// The numbers of a run.
struct Counts {
  std::int64_t files = 0;     // files copied (restored, synchronised)
  std::int64_t errors = 0;    // errors reported
  std::int64_t versions = 0;  // entries kept in the versions
  std::int64_t bytes = 0;     // bytes copied
};

// One run as the history file tells it.
struct Entry {
  TDateTime begin = 0;
  // 0 for a run without its end line (Killed, Running).
  TDateTime end = 0;
  Kind kind = Kind::FullBackup;
  Started started = Started::Window;
  Outcome outcome = Outcome::Ok;
  // NotStarted: why (German); others: empty or a short note.
  std::string reason;
  Counts counts;
  // The name of the kept report in the report folder of its job
  // (Target::reportFolder; a renamed synchronisation takes the folder
  // along); empty when none was kept.
  std::string report;
  bool IsBackup() const { return kind == Kind::FullBackup || kind == Kind::IncrementalBackup; }
};

// How many runs a file keeps when it is trimmed, and from when on.
constexpr std::size_t kKeepRuns = 1000;
constexpr std::size_t kTrimAt = 1200;
// How many reports are kept per job.
constexpr std::size_t kKeptReports = 30;
// The folder of the kept reports in the data folder.
constexpr const char* kReportFolder = "Protokolle";

// Where a run's history goes. An empty file: no history (a dry run, a run
// of a job that is gone, tests of a run alone).
struct Target {
  std::string file;  // full path of the history file
  // Full path of the folder that keeps this job's reports (ends with "/").
  std::string reportFolder;
  Started started = Started::Window;
  bool Enabled() const { return !file.empty(); }
};

// The history of job `index` of `jobs` in the data folder (nothing for a
// job that is gone or whose stored names are not safe).
Target ForJob(const tBackups& jobs, int index, Started started);
// The history of the synchronisation `name` in `dataDir` ("/" at the end).
Target ForSync(const std::string& dataDir, const std::string& name, Started started);
// The file names behind them: the job's ".vlf" file and the report folder
// named from it; a synchronisation's "<name>.svl".
std::string SyncFileName(const std::string& name);

// One run's lines. Begin once, then End (or NotStarted instead of both).
// A recorder destroyed after Begin without End writes the run as cancelled
// ("abgebrochen"), so an exception thrown out of a run leaves no run that
// seems to go on.
class Recorder {
 public:
  Recorder() = default;  // disabled
  Recorder(Target target, Kind kind);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Sets where the lines go (before Begin).
  void Reset(Target target, Kind kind) {
    target_ = std::move(target);
    kind_ = kind;
  }
  bool Enabled() const { return target_.Enabled(); }
  bool Begun() const { return begun_ && !ended_; }
  void SetKind(Kind kind) { kind_ = kind; }
  // Appends the begun line. `start`: the run's start as the run names it.
  void Begin(TDateTime start);
  // Keeps `reportLines` as the run's report (when there are any) and
  // appends the full line; trims the file and the kept reports.
  void End(Outcome outcome, const Counts& counts, const std::vector<std::string>& reportLines,
           const std::string& reason = std::string());
  // A run that could not start: one line with `reason`, no report.
  void NotStarted(const std::string& reason);
  // The clock (tests fix it); Now() unless set.
  TDateTime (*Clock)() = nullptr;

 private:
  TDateTime Moment() const;
  Target target_;
  Kind kind_ = Kind::FullBackup;
  TDateTime begin_ = 0;
  bool begun_ = false;
  bool ended_ = false;
};

// The runs of a history file, newest first. A missing or unreadable file
// gives none; damaged lines are skipped.
std::vector<Entry> ReadRuns(const std::string& file);
// The newest run, and the newest backup that ended "ok".
std::optional<Entry> LastRun(const std::string& file);
std::optional<Entry> LastGoodBackup(const std::string& file);
// The same for job `index` of `jobs`.
std::optional<Entry> LastRun(const tBackups& jobs, int index);
std::optional<Entry> LastGoodBackup(const tBackups& jobs, int index);

// German texts: "Sicherung voll", "Sicherung inkrementell", "Prüfung",
// "Vervollständigung", "Wiederherstellung", "Synchronisation"; "Fenster",
// "Befehlszeile", "Zeitplan"; "ok", "Fehler", "abgebrochen", "nicht
// gestartet: <reason>", "abgebrochen (Programm beendet)", "läuft".
std::string KindText(Kind kind);
std::string StartedText(Started started);
std::string OutcomeText(const Entry& entry);
// "dd.mm.yyyy hh:mm:ss".
std::string MomentText(TDateTime moment);
// The duration "m:ss" or "h:mm:ss"; empty without an end.
std::string DurationText(const Entry& entry);
// "12,5 MB" style.
std::string BytesText(std::int64_t bytes);

// The columns of a history as the window and the command line show it,
// and the texts of one run in them.
constexpr int kColumnCount = 9;
extern const char* const kColumns[kColumnCount];
enum Column { kBegin, kDuration, kKind, kStarted, kOutcome, kFiles, kErrors, kVersions, kBytes };
std::vector<std::string> RowTexts(const Entry& entry);

}  // namespace history
