#include "cmdline/cmdline.h"

#include <cmath>
#include <exception>
#include <iostream>
#include <memory>
#include <ostream>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/backup/backuprun.h"
#include "core/backup/copyengine.h"
#include "core/backup/runrequest.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/optio.h"
#include "core/verify/checklogic.h"
#include "core/verify/checkrun.h"
#include "platform/platform.h"

namespace cli {

namespace {

constexpr char kHelpHint[] = "\"volkarn --help\" zeigt, wie VolKarn aufgerufen wird.";

// The boxes of the core as lines on standard error. A question is
// answered "Nein": nobody is there to look at a report in an editor.
class ConsoleUserInterface : public UserInterface {
 public:
  explicit ConsoleUserInterface(std::ostream& err) : err_(err) {}
  void Info(const std::string& text, bool) override { Write(text); }
  void Note(const std::string& text) override { Write(text); }
  bool YesNo(const std::string&) override { return false; }
  bool ChooseDirectory(const std::string&, std::string&) override { return false; }
  std::vector<std::string> ChooseFiles(const std::string&) override { return {}; }
  void Beep() override {}
  bool YesNoDefaultNo(const std::string&) override { return false; }
  AllAnswer YesNoAll(const std::string&) override { return AllAnswer::No; }

  // Called before each message (the progress line makes room).
  std::function<void()> beforeOutput;

 private:
  void Write(const std::string& text) {
    if (beforeOutput) beforeOutput();
    // A box text carries its leading line breaks and breaks its lines
    // with a single carriage return.
    std::size_t start = text.find_first_not_of("\r\n");
    if (start == std::string::npos) return;
    std::string line = text.substr(start);
    for (char& c : line)
      if (c == '\r') c = '\n';
    err_ << line << '\n';
    err_.flush();
  }
  std::ostream& err_;
};

// Installs the console boxes for the time of a run, then gives back the
// boxes that were there before.
class UserInterfaceScope {
 public:
  explicit UserInterfaceScope(UserInterface* ui) : previous_(&CurrentUserInterface()) {
    SetUserInterface(ui);
  }
  ~UserInterfaceScope() { SetUserInterface(previous_); }
  UserInterfaceScope(const UserInterfaceScope&) = delete;
  UserInterfaceScope& operator=(const UserInterfaceScope&) = delete;

 private:
  UserInterface* previous_;
};

// Report lines on a terminal or in a journal: a name in them shows as in
// the report file, never as an escape sequence or a broken line.
void PrintLines(std::ostream& err, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) err << VisibleReportText(line) << '\n';
  err.flush();
}

// What a run of a job has to tell at its end.
struct Outcome {
  int code = kExitOk;
  std::string failure;  // for the notification of an unattended run
};

// The catalogue and the settings, loaded as the window program loads them.
// False, with the message told, when either cannot be read.
bool LoadData(toptionen& options, tBackups& jobs, std::ostream& err, bool removeLeftovers,
              std::string& failure) {
  const std::string iniFile = GetIniFileName();
  if (removeLeftovers) {
    // Only the holder of the lock may clear away cut-short writes.
    platform::RemoveTempLeftovers(tBackups::GetDataDir(), std::string());
    platform::RemoveTempLeftovers(GetFilePath(iniFile), GetFileName(iniFile));
  }
  if (options.LoadSettings() == toptionen::LoadResult::Unreadable) {
    failure = "Die Einstellungsdatei " + iniFile + " konnte nicht gelesen werden.";
    err << failure << '\n';
    return false;
  }
  if (jobs.LoadCatalogue() == tBackups::LoadResult::Unreadable || jobs.LoadFailed()) {
    failure = "Die Sicherungsliste " + tBackups::GetDataDir() +
              "volkarn.dat konnte nicht gelesen werden.";
    err << failure << '\n';
    return false;
  }
  return true;
}

// The run as the command line watches it: the progress line, the cancel
// by signal, and the report on standard error.
class ConsoleRunObserver : public RunObserver {
 public:
  ConsoleRunObserver(CopyEngine& engine, Environment& env, TerminalProgress* progress, bool quiet)
      : engine_(engine), env_(env), progress_(progress), quiet_(quiet) {}
  void SetCurrentFile(const std::string& text) override {
    // "Kopiere " + path: the folder in work is the path's folder part.
    folder_ = GetFilePath(text.size() > 8 ? text.substr(8) : text);
    Draw();
  }
  void SetCount(const std::string&) override { Draw(); }
  void SetRowCount(int, const std::string&) override {}
  void ProcessEvents() override {
    if (env_.cancelRequested && env_.cancelRequested()) engine_.Cancel();
    Draw();
  }
  void WalkEnded() override {
    if (progress_ != nullptr) progress_->Clear();
  }
  void ReportWritten(const std::vector<std::string>& lines, bool clean) override {
    if (!quiet_ || !clean) PrintLines(*env_.err, lines);
  }

 private:
  void Draw() {
    if (progress_ == nullptr) return;
    progress_->Show(IntToText(engine_.CopiedTotal) + " Dateien kopiert: " + folder_, false);
  }

  CopyEngine& engine_;
  Environment& env_;
  TerminalProgress* progress_;
  bool quiet_;
  std::string folder_;
};

class ConsoleCheckObserver : public CheckObserver {
 public:
  ConsoleCheckObserver(BackupCheck& check, Environment& env, TerminalProgress* progress)
      : check_(check), env_(env), progress_(progress) {}
  void ShowDirectory(const std::string& text) override {
    if (progress_ != nullptr) progress_->Show("Überprüfe " + text);
  }
  void ShowFileTotal(std::int32_t) override {}
  void ShowTotals(std::int32_t, std::int32_t) override {}
  void ShowRowResult(int, const std::string&) override {}
  void ProcessEvents() override {
    if (env_.cancelRequested && env_.cancelRequested()) check_.Cancel();
  }

 private:
  BackupCheck& check_;
  Environment& env_;
  TerminalProgress* progress_;
};

// The completion's list without a window: every row ticked.
class ConsoleCompletionList : public CompletionList {
 public:
  ConsoleCompletionList(std::vector<MissingEntry> rows, BackupCompletion& completion,
                        Environment& env)
      : rows_(std::move(rows)), counts_(rows_.size()), completion_(completion), env_(env) {
    for (std::size_t i = 0; i < rows_.size(); ++i) counts_[i] = IntToText(rows_[i].count);
  }
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  bool IsTicked(int) const override { return true; }
  MissingEntry RowEntry(int row) const override { return rows_[static_cast<std::size_t>(row)]; }
  std::string CountText(int row) const override { return counts_[static_cast<std::size_t>(row)]; }
  void SetCountText(int row, const std::string& text) override {
    counts_[static_cast<std::size_t>(row)] = text;
  }
  void KeepInView(int) override {}
  void RemoveRow(int row) override {
    rows_.erase(rows_.begin() + row);
    counts_.erase(counts_.begin() + row);
  }
  void ProcessEvents() override {
    if (env_.cancelRequested && env_.cancelRequested()) completion_.Cancel();
  }

 private:
  std::vector<MissingEntry> rows_;
  std::vector<std::string> counts_;
  BackupCompletion& completion_;
  Environment& env_;
};

// The settings, the catalogue and the named job as the main window's
// ShowJob leaves them in the shared state. False with the outcome set
// when the run cannot start.
bool LoadJob(const Arguments& args, std::ostream& err, AppState& state, Outcome& outcome) {
  if (!LoadData(state.Options, state.Backups, err, true, outcome.failure)) {
    outcome.code = kExitUnreadable;
    return false;
  }
  const int index = FindJob(state.Backups, args.job);
  if (index < 0) {
    outcome = {kExitUsage, "Es gibt keine Datensicherung \"" + args.job + "\"."};
    err << outcome.failure << '\n';
    return false;
  }
  if (!ReadShownJob(state.Backups, index, state.Shown, outcome.failure)) {
    outcome.code = kExitUnreadable;
    err << outcome.failure << '\n';
    return false;
  }
  state.SelectedJob = index;
  return true;
}

Outcome RunBackup(const Arguments& args, Environment& env, TerminalProgress* progress) {
  std::ostream& err = *env.err;
  Outcome outcome;
  AppState state;
  if (!LoadJob(args, err, state, outcome)) return outcome;

  // The run exactly as "&Start" hands it to the run window; a job never
  // backed up runs in full.
  const RunRequest request = MakeRunRequest(state, state.Shown.Name, args.mode == Mode::Full);
  CopyEngine engine;
  BackupRun run(&state, request, engine);
  // Nobody is asked either before a mass removal: nothing is moved.
  run.SetMassRemoval(versions::MassRemoval::Refuse);
  // Nobody is asked: a target on a drive that is not there is never made.
  if (run.CheckTarget(MissingTarget::CreateLastFolderOnly) == BackupRun::Start::TargetMissing)
    return {kExitTargetMissing, run.StartFailure()};
  ConsoleRunObserver observer(engine, env, progress, args.quiet);
  const BackupRun::Result result = run.Run(&observer, state.Options.GetCheckDirDate());
  if (!result.reportWritten)
    return {result.cancelled ? kExitCancelled : kExitErrors, result.failure};
  if (result.stampStored) {
    if (!result.catalogueSaved) return {kExitErrors, result.failure};
    if (result.massRemovalRefused)
      return {kExitMassRemoval,
              "Die Quelle hat mehr als die Hälfte der Dateien eines Ziels nicht mehr. Es wurde "
              "nichts daraus entfernt. Protokoll: " +
                  result.reportPath};
    return {kExitOk, std::string()};
  }
  if (result.cancelled) return {kExitCancelled, std::string()};
  return {kExitErrors,
          "Die Datensicherung ist mit Fehlern beendet. Protokoll: " + result.reportPath};
}

Outcome RunCheck(const Arguments& args, Environment& env, TerminalProgress* progress) {
  std::ostream& err = *env.err;
  Outcome outcome;
  AppState state;
  if (!LoadJob(args, err, state, outcome)) return outcome;
  tBackups& jobs = state.Backups;
  const int index = state.SelectedJob;
  const std::string& name = state.Shown.Name;

  const CheckRequest request =
      MakeCheckRequest(state, name, args.complete ? CheckMode::Complete : CheckMode::CheckOnly);
  BackupCheck check;
  PrepareCheck(check, request);
  ConsoleCheckObserver observer(check, env, progress);
  check.SetObserver(&observer);
  check.RunCheck();
  check.SetObserver(nullptr);
  if (progress != nullptr) progress->Clear();
  const bool cancelled = check.Cancelled();
  bool startMissing = false;
  for (const CheckRow& row : check.Rows)
    startMissing = startMissing || !CopyEngine::IsFolder(row.source);
  const bool findings = check.MissingSum > 0 || startMissing || cancelled;
  if (!args.quiet || findings) PrintLines(err, check.Report.Lines());

  if (!args.complete) {
    if (cancelled) return {kExitCancelled, std::string()};
    if (!findings) return {kExitOk, std::string()};
    return {kExitErrors, "Im Ziel fehlen Dateien der Datensicherung \"" + name + "\"."};
  }

  // As the automatic completion: the count file, then every missing file;
  // but never onto the system disk in place of a drive that is not there.
  if (!check.Rows.empty()) {
    if (const auto missing = MissingTargetFolder(check.Rows.front().target)) {
      const std::string text = MissingDriveText(*missing);
      if (!text.empty()) {
        ShowInfo(text, 1);
        return {kExitTargetMissing, text};
      }
    }
  }
  const bool written = SaveCountFile(check, jobs, index);
  if (!written)
    outcome.failure =
        "Die Zähldatei der Datensicherung \"" + name + "\" konnte nicht gespeichert werden.";
  if (cancelled) return {kExitCancelled, std::string()};
  BackupCompletion completion;
  completion.Rule = check.Rule();
  ConsoleCompletionList list(CompletionEntries(check.Report), completion, env);
  if (progress != nullptr && list.RowCount() > 0) progress->Show("Kopiere fehlende Dateien", true);
  const std::int32_t status = CompleteTickedRows(completion, list);
  if (progress != nullptr) progress->Clear();
  if (status == kCheckCancelled) return {kExitCancelled, std::string()};
  if (status != 0)
    return {kExitErrors, "Die fehlenden Dateien der Datensicherung \"" + name +
                             "\" konnten nicht alle kopiert werden."};
  if (!written) return {kExitErrors, outcome.failure};
  // Source directories that do not exist stay a finding.
  if (startMissing)
    return {kExitErrors,
            "Ein Startverzeichnis der Datensicherung \"" + name + "\" existiert nicht."};
  err << "Die fehlenden Dateien wurden kopiert.\n";
  return {kExitOk, std::string()};
}

}  // namespace

// ------------------------------------------------------------- arguments --

Arguments ParseArguments(const std::vector<std::string>& args) {
  Arguments a;
  if (args.empty()) return a;
  bool haveAction = false;
  bool full = false, incremental = false;
  auto setAction = [&](Action action) {
    if (haveAction && a.error.empty())
      a.error = "Nur eine der Angaben --backup, --check, --list, --help und --version ist möglich.";
    haveAction = true;
    a.action = action;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto takeJob = [&](const std::string& option) {
      const std::string prefix = option + "=";
      if (arg.rfind(prefix, 0) == 0) {
        a.job = arg.substr(prefix.size());
      } else if (i + 1 < args.size()) {
        a.job = args[++i];
      } else if (a.error.empty()) {
        a.error = "Zu " + option + " fehlt der Name der Datensicherung.";
      }
    };
    if (arg == "--backup" || arg.rfind("--backup=", 0) == 0) {
      setAction(Action::Backup);
      takeJob("--backup");
    } else if (arg == "--check" || arg.rfind("--check=", 0) == 0) {
      setAction(Action::Check);
      takeJob("--check");
    } else if (arg == "--list") {
      setAction(Action::List);
    } else if (arg == "--help" || arg == "-h") {
      setAction(Action::Help);
    } else if (arg == "--version") {
      setAction(Action::Version);
    } else if (arg == "--full") {
      full = true;
    } else if (arg == "--incremental") {
      incremental = true;
    } else if (arg == "--complete") {
      a.complete = true;
    } else if (arg == "--quiet") {
      a.quiet = true;
    } else if (a.error.empty()) {
      a.error = arg.rfind("-", 0) == 0 ? "Unbekannte Option: " + arg : "Unerwartete Angabe: " + arg;
    }
  }
  if (!a.error.empty()) return a;
  if (!haveAction) {
    a.error = "Es fehlt eine der Angaben --backup, --check, --list, --help oder --version.";
  } else if (full && incremental) {
    a.error = "--full und --incremental schließen einander aus.";
  } else if ((full || incremental) && a.action != Action::Backup) {
    a.error = "--full und --incremental gelten nur für --backup.";
  } else if (a.complete && a.action != Action::Check) {
    a.error = "--complete gilt nur für --check.";
  } else if (a.quiet && a.action != Action::Backup && a.action != Action::Check) {
    a.error = "--quiet gilt nur für --backup und --check.";
  } else if ((a.action == Action::Backup || a.action == Action::Check) &&
             text::Trim(a.job).empty()) {
    a.error = "Der Name der Datensicherung ist leer.";
  }
  a.mode = full ? Mode::Full : incremental ? Mode::Incremental : Mode::Default;
  return a;
}

bool WantsCommandLine(int argc, char** argv) {
  if (argc < 2 || argv[1] == nullptr) return false;
  const std::string first = argv[1];
  return first.rfind("--", 0) == 0 || first == "-h";
}

std::string HelpText() {
  return "Aufruf: volkarn [OPTION]\n"
         "Ohne Option startet VolKarn mit seinem Fenster.\n"
         "\n"
         "  --backup SICHERUNG [--full|--incremental] [--quiet]\n"
         "        führt die Datensicherung aus: ohne Angabe als Ergänzungssicherung,\n"
         "        wenn sie schon einmal gelaufen ist, sonst als Komplettsicherung\n"
         "  --check SICHERUNG [--complete] [--quiet]\n"
         "        sucht die Dateien, die im Ziel fehlen; mit --complete wird die\n"
         "        Zähldatei geschrieben und jede fehlende Datei kopiert\n"
         "  --list     zeigt die Namen aller Datensicherungen, einen je Zeile\n"
         "  --help     zeigt diese Hilfe\n"
         "  --version  zeigt Version und Lizenz\n"
         "\n"
         "  --full         Komplettsicherung: alle Dateien werden kopiert\n"
         "  --incremental  Ergänzungssicherung: nur Dateien, die nach der letzten\n"
         "                 Sicherung geändert wurden\n"
         "  --quiet        keine Fortschrittsanzeige; Protokoll nur bei Fehlern\n"
         "\n"
         "SICHERUNG ist der Name einer Datensicherung; Groß- und Kleinschreibung\n"
         "zählen nicht. Meldungen und Protokoll erscheinen auf der\n"
         "Standardfehlerausgabe; SIGINT und SIGTERM brechen einen Lauf ab wie\n"
         "\"Abbrechen\".\n"
         "\n"
         "Rückgabewerte:\n"
         "  0  ohne Fehler beendet\n"
         "  1  mit Fehlern beendet (siehe Protokoll) oder im Ziel fehlen Dateien\n"
         "  2  falscher Aufruf oder unbekannte Datensicherung\n"
         "  3  ein anderes VolKarn (Fenster oder Befehlszeile) läuft bereits\n"
         "  4  abgebrochen (SIGINT, SIGTERM)\n"
         "  5  Sicherungsliste, Einstellungen oder Verzeichnisliste nicht lesbar\n"
         "  6  das Ziel fehlt: weder der Zielordner noch der Ordner darüber existiert\n"
         "     (etwa ein nicht angeschlossener Datenträger); es wurde nichts kopiert\n"
         "  7  Spiegeln=1: die Quelle hat mehr als die Hälfte der Dateien eines\n"
         "     Ziels (und mindestens 10) nicht mehr; aus diesem Ziel wurde nichts\n"
         "     entfernt (das Fenster fragt in diesem Fall nach)\n";
}

std::string VersionText() {
  return "VolKarn 2.0 (22.02.2003)\n"
         "Lizenz: GPL-3.0-or-later (GNU General Public License, Version 3 oder neuer)\n"
         "Dies ist freie Software: Sie dürfen sie ändern und weitergeben.\n"
         "Es gibt keine Garantie, soweit das Gesetz es zulässt.\n";
}

int FindJob(const tBackups& jobs, const std::string& name) {
  for (int i = 0; i < jobs.Count(); ++i) {
    JobRecord record;
    if (jobs.GetJob(i, record) && text::SameText(record.Name(), name)) return i;
  }
  return -1;
}

// ------------------------------------------------------------- progress --

TerminalProgress::TerminalProgress(std::ostream& out, int columns, Clock clock)
    : out_(out), columns_(columns > 0 ? columns : 80), clock_(std::move(clock)) {
  if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

void TerminalProgress::Show(const std::string& line, bool force) {
  const auto now = clock_();
  if (shown_ && !force && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  shown_ = true;
  // The last column stays free: a line that fills it would wrap.
  out_ << '\r' << Fit(line, columns_ - 1) << "\x1b[K";
  out_.flush();
}

void TerminalProgress::Clear() {
  if (!shown_) return;
  shown_ = false;
  out_ << "\r\x1b[K";
  out_.flush();
}

std::string TerminalProgress::Fit(const std::string& line, int columns) {
  std::string flat = line;
  for (char& c : flat)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  const std::size_t length = text::Length(flat);
  if (columns <= 0) return std::string();
  if (length <= static_cast<std::size_t>(columns)) return flat;
  if (columns <= 3) return text::Left(flat, static_cast<std::size_t>(columns));
  // Keep the start up to the first ": " (the count) and the end.
  const std::size_t colon = flat.find(": ");
  std::string head = colon == std::string::npos ? std::string() : flat.substr(0, colon + 2);
  std::size_t headLength = text::Length(head);
  if (headLength + 3 >= static_cast<std::size_t>(columns)) {
    head.clear();
    headLength = 0;
  }
  const std::size_t tail = static_cast<std::size_t>(columns) - headLength - 3;
  return head + "..." + text::Mid(flat, length - tail);
}

// ------------------------------------------------------------------ run --

int Run(const Arguments& args, Environment& env) {
  std::ostream& out = *env.out;
  std::ostream& err = *env.err;
  if (!args.error.empty()) {
    err << "volkarn: " << args.error << '\n' << kHelpHint << '\n';
    return kExitUsage;
  }
  ConsoleUserInterface ui(err);
  UserInterfaceScope scope(&ui);
  switch (args.action) {
    case Action::Window:
      return kExitUsage;
    case Action::Help:
      out << HelpText();
      out.flush();
      return kExitOk;
    case Action::Version:
      out << VersionText();
      out.flush();
      return kExitOk;
    case Action::List: {
      toptionen options;
      tBackups jobs;
      std::string failure;
      if (!LoadData(options, jobs, err, false, failure)) return kExitUnreadable;
      for (int i = 0; i < jobs.Count(); ++i) {
        JobRecord record;
        if (jobs.GetJob(i, record)) out << record.Name() << '\n';
      }
      out.flush();
      return kExitOk;
    }
    case Action::Backup:
    case Action::Check:
      break;
  }

  const bool backup = args.action == Action::Backup;
  const std::string what =
      std::string(backup ? "Datensicherung" : "Überprüfung") + " \"" + args.job + "\"";
  Outcome outcome;
  platform::InstanceLock lock;
  // The window program's lock: one program per data folder. Only a lock
  // that another program holds refuses the run.
  if (lock.Acquire(tBackups::GetDataDir(), env.lockName) ==
      platform::InstanceLock::Result::HeldElsewhere) {
    outcome = {kExitRunning, "VolKarn wurde bereits gestartet!"};
    err << outcome.failure << '\n';
  } else {
    std::unique_ptr<TerminalProgress> progress;
    if (env.terminal && !args.quiet)
      progress = std::make_unique<TerminalProgress>(err, env.columns);
    if (progress) ui.beforeOutput = [&progress] { progress->Clear(); };
    outcome = backup ? RunBackup(args, env, progress.get()) : RunCheck(args, env, progress.get());
  }
  const bool failed = outcome.code == kExitErrors || outcome.code == kExitUsage ||
                      outcome.code == kExitRunning || outcome.code == kExitUnreadable ||
                      outcome.code == kExitTargetMissing || outcome.code == kExitMassRemoval;
  if (env.unattended && failed && env.notify) {
    std::string body = outcome.failure;
    for (char& c : body)
      if (c == '\r') c = '\n';
    env.notify(
        "VolKarn: " + what + (outcome.code == kExitErrors        ? " mit Fehlern"
                             : outcome.code == kExitMassRemoval ? " ohne Spiegeln"
                                                                : " nicht gestartet"),
        body);
  }
  return outcome.code;
}

int Main(int argc, char** argv) {
  std::vector<std::string> list;
  for (int i = 1; i < argc; ++i) list.emplace_back(argv[i]);
  const Arguments args = ParseArguments(list);
  Environment env;
  env.out = &std::cout;
  env.err = &std::cerr;
  if (args.error.empty() && (args.action == Action::Backup || args.action == Action::Check)) {
    platform::CatchCancelSignals();
    env.cancelRequested = [] { return platform::CancelSignalled(); };
  }
  env.terminal = platform::IsTerminal(2);
  env.columns = platform::TerminalColumns(2);
  env.unattended = args.quiet || !env.terminal;
  env.notify = [](const std::string& summary, const std::string& body) {
    platform::SendDesktopNotification(summary, body);
  };
  return Run(args, env);
}

}  // namespace cli
