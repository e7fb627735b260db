#include "cmdline/cmdline.h"

#include <cmath>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <ostream>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "cmdline/cmdline_history.h"
#include "cmdline/cmdline_status.h"
#include "core/backup/backuprun.h"
#include "core/backup/copyengine.h"
#include "core/backup/runrequest.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/jobopt.h"
#include "core/catalogue/optio.h"
#include "core/restore/restorerun.h"
#include "core/sync/syncdefs.h"
#include "core/sync/syncrun.h"
#include "core/verify/checklogic.h"
#include "core/verify/checkrun.h"
#include "core/verify/contentcheck.h"
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
    // "Kopiere " (a dry run: "Prüfe ") + path: the folder in work is the
    // path's folder part.
    const std::size_t space = text.find(' ');
    folder_ = GetFilePath(space == std::string::npos ? text : text.substr(space + 1));
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
    // A dry run's list is its output.
    if (engine_.DryRun)
      PrintLines(*env_.out, lines);
    else if (!quiet_ || !clean)
      PrintLines(*env_.err, lines);
  }

 private:
  void Draw() {
    if (progress_ == nullptr) return;
    progress_->Show(IntToText(engine_.CopiedTotal) +
                        (engine_.DryRun ? " Dateien zu kopieren: " : " Dateien kopiert: ") +
                        folder_,
                    false);
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
    for (std::size_t i = 0; i < rows_.size(); ++i) counts_[i] = IntToText(rows_[i].Total());
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
bool LoadJob(const Arguments& args, std::ostream& err, AppState& state, Outcome& outcome,
             bool lockHeld = true) {
  if (!LoadData(state.Options, state.Backups, err, lockHeld, outcome.failure)) {
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

// A dry run of a backup ends as the run would: cancelled, with errors (a
// folder that cannot be read, a target that cannot be reached), or fine.
Outcome DryRunOutcome(const BackupRun::Result& result, const CopyEngine& engine) {
  if (result.cancelled) return {kExitCancelled, std::string()};
  if (result.raised || !engine.RunReport.empty())
    return {kExitErrors, "Der Probelauf ist mit Fehlern beendet."};
  return {kExitOk, std::string()};
}

Outcome RunBackup(const Arguments& args, Environment& env, TerminalProgress* progress) {
  std::ostream& err = *env.err;
  Outcome outcome;
  AppState state;
  if (!LoadJob(args, err, state, outcome)) return outcome;

  // The run exactly as "&Start" hands it to the run window; a job never
  // backed up runs in full.
  RunRequest request = MakeRunRequest(state, state.Shown.Name, args.mode == Mode::Full);
  request.DryRun = args.dryRun;
  request.Started = StartedBy(args);
  CopyEngine engine;
  BackupRun run(&state, request, engine);
  // Nobody is asked either before a mass removal: nothing is moved.
  run.SetMassRemoval(versions::MassRemoval::Refuse);
  // Nobody is asked: a target on a drive that is not there is never made.
  if (run.CheckTarget(MissingTarget::CreateLastFolderOnly) == BackupRun::Start::TargetMissing)
    return {kExitTargetMissing, run.StartFailure()};
  ConsoleRunObserver observer(engine, env, progress, args.quiet);
  const BackupRun::Result result = run.Run(&observer, state.Options.GetCheckDirDate());
  if (args.dryRun) return DryRunOutcome(result, engine);
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

  CheckRequest request =
      MakeCheckRequest(state, name, args.complete ? CheckMode::Complete : CheckMode::CheckOnly);
  request.History.started = StartedBy(args);
  BackupCheck check;
  PrepareCheck(check, request);
  if (args.content && !content::PrepareShare(check, jobs, index, args.share, outcome.failure)) {
    err << outcome.failure << '\n';
    return {kExitUnreadable, outcome.failure};
  }
  ConsoleCheckObserver observer(check, env, progress);
  check.SetObserver(&observer);
  check.RunCheck();
  check.SetObserver(nullptr);
  if (progress != nullptr) progress->Clear();
  const bool cancelled = check.Cancelled();
  bool startMissing = false;
  for (const CheckRow& row : check.Rows)
    startMissing = startMissing || !CopyEngine::IsFolder(row.source);
  // The next run compares the next share (a failure only repeats this one).
  if (args.content) content::AdvanceShare(check, jobs, index);
  const bool findings =
      check.MissingSum > 0 || check.DifferingTotal > 0 || startMissing || cancelled;
  if (!args.quiet || findings) PrintLines(err, check.Report.Lines());

  if (!args.complete) {
    if (cancelled) return {kExitCancelled, std::string()};
    if (!findings) return {kExitOk, std::string()};
    if (check.MissingSum == 0 && !startMissing)
      return {kExitErrors,
              "Im Ziel weichen Dateien der Datensicherung \"" + name + "\" inhaltlich ab."};
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
  PrepareCompletion(completion, check.Rule(), check.History);
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

// A path as the user gives it: absolute, relative to the working folder,
// or relative to the job's target ("<source folder>/<path>").
std::optional<std::string> PathOperand(const restore::RestoreRequest& request,
                                       const std::string& operand) {
  if (!operand.empty() && operand[0] != '/') {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(operand, error);
    if (!error)
      if (auto relative = restore::RelativeOf(request, absolute.string())) return relative;
  }
  return restore::RelativeOf(request, operand);
}

// The restore as the command line watches it: the progress line, the
// cancel by signal, the report (a dry run's list on standard output).
class ConsoleRestoreObserver : public restore::RestoreObserver {
 public:
  ConsoleRestoreObserver(restore::RestoreRun& run, Environment& env, TerminalProgress* progress,
                         bool quiet)
      : run_(run), env_(env), progress_(progress), quiet_(quiet) {}
  void Planned(std::int64_t total) override { total_ = total; }
  void SetCurrentFile(const std::string& text) override {
    current_ = text;
    Draw();
  }
  void SetCounts(std::int64_t handled, std::int64_t) override { handled_ = handled; }
  void ProcessEvents() override {
    if (env_.cancelRequested && env_.cancelRequested()) run_.Cancel();
  }
  void ReportWritten(const std::vector<std::string>& lines, bool clean) override {
    if (progress_ != nullptr) progress_->Clear();
    if (run_.Request().DryRun)
      PrintLines(*env_.out, lines);
    else if (!quiet_ || !clean)
      PrintLines(*env_.err, lines);
  }

 private:
  void Draw() {
    if (progress_ == nullptr) return;
    progress_->Show(std::to_string(handled_) + " von " + std::to_string(total_) +
                    " Dateien: " + current_);
  }
  restore::RestoreRun& run_;
  Environment& env_;
  TerminalProgress* progress_;
  bool quiet_;
  std::int64_t total_ = 0, handled_ = 0;
  std::string current_;
};

Outcome RunRestore(const Arguments& args, Environment& env, TerminalProgress* progress) {
  std::ostream& err = *env.err;
  Outcome outcome;
  AppState state;
  if (!LoadJob(args, err, state, outcome)) return outcome;
  auto usage = [&](const std::string& text) {
    err << text << '\n';
    return Outcome{kExitUsage, text};
  };
  restore::RestoreRequest request = restore::MakeRestoreRequest(state);
  request.Started = StartedBy(args);
  if (!args.asOf.empty() && !restore::ParseStateText(args.asOf, request.State, outcome.failure))
    return usage(outcome.failure);
  if (!args.to.empty()) {
    std::error_code error;
    request.ToFolder = std::filesystem::absolute(args.to, error).lexically_normal().string();
    while (request.ToFolder.size() > 1 && request.ToFolder.back() == '/')
      request.ToFolder.pop_back();
  }
  for (const std::string& operand : args.operands) {
    const auto relative = PathOperand(request, operand);
    if (!relative)
      return usage("Der Pfad " + operand + " liegt in keinem Verzeichnis der Datensicherung \"" +
                   state.Shown.Name + "\".");
    request.Paths.push_back(*relative);
  }
  request.DryRun = args.dryRun;
  restore::RestoreRun run(&state, request);
  // Nothing is made on the system disk in place of a missing drive.
  if (run.Check() != restore::RestoreRun::Start::Go)
    return {kExitTargetMissing, run.StartFailure()};
  ConsoleRestoreObserver observer(run, env, progress, args.quiet);
  const restore::RestoreRun::Result result = run.Run(&observer);
  if (!result.ran || (!args.dryRun && !result.reportWritten)) return {kExitErrors, result.failure};
  if (result.cancelled) return {kExitCancelled, std::string()};
  if (result.errors.empty()) return {kExitOk, std::string()};
  std::string text = "Die Wiederherstellung der Datensicherung \"" + state.Shown.Name +
                     "\" ist mit Fehlern beendet.";
  if (!result.skippedNewer.empty())
    text +=
        " " + std::to_string(result.skippedNewer.size()) + " neuere Dateien wurden nicht ersetzt.";
  if (!result.reportPath.empty()) text += " Protokoll: " + result.reportPath;
  return {kExitErrors, text};
}

// "<size> Bytes  dd.mm.yyyy hh:mm:ss" of a file.
std::string SizeAndTime(std::uint64_t size, std::time_t mtime) {
  const platform::LocalTime t = platform::ToLocal(mtime);
  char when[32];
  std::snprintf(when, sizeof when, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                t.minute, t.second);
  return std::to_string(size) + " Bytes  " + when;
}

Outcome RunVersions(const Arguments& args, Environment& env) {
  std::ostream& out = *env.out;
  std::ostream& err = *env.err;
  Outcome outcome;
  AppState state;
  // Only read: no lock, nothing cleared away.
  if (!LoadJob(args, err, state, outcome, false)) return outcome;
  const std::string& target = state.Shown.TargetDir;
  if (!CopyEngine::IsFolder(target)) {
    outcome = {kExitTargetMissing, "Das Zielverzeichnis " + target +
                                       " existiert nicht. Ist der Datenträger angeschlossen?"};
    err << outcome.failure << '\n';
    return outcome;
  }
  if (args.operands.empty()) {
    std::vector<versions::RunFolder> states;
    if (int code = restore::ListStates(target, states)) {
      outcome = {kExitErrors, versions::RootOf(target) + ": " + ErrorText(code, std::string())};
      err << outcome.failure << '\n';
      return outcome;
    }
    for (const versions::RunFolder& folder : states) out << folder.name << '\n';
    if (states.empty()) err << "In " << target << " sind keine Versionen aufbewahrt.\n";
    out.flush();
    return outcome;
  }
  const restore::RestoreRequest request = restore::MakeRestoreRequest(state);
  const auto relative = PathOperand(request, args.operands.front());
  if (!relative) {
    outcome = {kExitUsage, "Der Pfad " + args.operands.front() +
                               " liegt in keinem Verzeichnis der Datensicherung \"" +
                               state.Shown.Name + "\"."};
    err << outcome.failure << '\n';
    return outcome;
  }
  std::vector<restore::PathVersion> found;
  (void)restore::ListPathVersions(target, *relative, found);
  for (const restore::PathVersion& v : found) {
    std::string name = v.runFolder.empty() ? std::string("aktuell") : v.runFolder;
    name.resize(std::max<std::size_t>(name.size(), 19), ' ');
    out << VisibleReportText(name) << "  " << SizeAndTime(v.size, v.mtime) << '\n';
  }
  out.flush();
  if (found.empty()) {
    outcome = {kExitErrors, "Von " + *relative + " ist in der Sicherung nichts vorhanden."};
    err << VisibleReportText(outcome.failure) << '\n';
  }
  return outcome;
}

Outcome RunOptions(const Arguments& args, Environment& env) {
  std::ostream& err = *env.err;
  Outcome outcome;
  toptionen settings;
  tBackups jobs;
  if (!LoadData(settings, jobs, err, !args.operands.empty(), outcome.failure))
    return {kExitUnreadable, outcome.failure};
  const int index = FindJob(jobs, args.job);
  auto fail = [&](int code, const std::string& text) {
    err << text << '\n';
    return Outcome{code, text};
  };
  if (index < 0) return fail(kExitUsage, "Es gibt keine Datensicherung \"" + args.job + "\".");
  const std::string path = tBackups::GetDataDir() + jobs.GetOptionsFileName(index);
  JobOptions options;
  if (options.Load(path) == JobOptions::LoadResult::Unreadable)
    return fail(kExitUnreadable, "Die Optionsdatei " + path + " konnte nicht gelesen werden.");
  for (const std::string& operand : args.operands) {
    const auto equals = operand.find('=');
    if (equals == std::string::npos)
      return fail(kExitUsage,
                  "Ungültige Angabe \"" + operand + "\": erwartet wird Schlüssel=Wert.");
    const std::string key = operand.substr(0, equals);
    const std::string value = operand.substr(equals + 1);
    switch (options.Set(key, value)) {
      case JobOptions::SetResult::Done:
        break;
      case JobOptions::SetResult::UnknownKey: {
        std::string known;
        for (const std::string& k : JobOptions::Keys()) known += (known.empty() ? "" : ", ") + k;
        return fail(kExitUsage,
                    "Unbekannter Schlüssel \"" + key + "\". Bekannt sind: " + known + ".");
      }
      case JobOptions::SetResult::BadValue:
        return fail(kExitUsage, options.BadValueText(key, value));
    }
  }
  // Nothing is written unless every setting was good.
  if (!args.operands.empty())
    if (int code = options.Save(path))
      return fail(kExitErrors, WriteFailureText("Die Optionsdatei", path, code));
  for (const std::string& line : options.Lines()) *env.out << line << '\n';
  env.out->flush();
  return outcome;
}

// A synchronisation as the command line watches it: the progress line,
// the cancel by signal, the report (a dry run's on standard output).
class ConsoleSyncObserver : public SyncObserver {
 public:
  ConsoleSyncObserver(SyncRun& run, Environment& env, TerminalProgress* progress, bool quiet)
      : run_(run), env_(env), progress_(progress), quiet_(quiet) {}
  void SetCurrentFile(const std::string& text) override {
    if (progress_ != nullptr) progress_->Show(text);
  }
  void ProcessEvents() override {
    if (env_.cancelRequested && env_.cancelRequested()) run_.Cancel();
  }
  void ReportWritten(const std::vector<std::string>& lines, bool clean) override {
    if (progress_ != nullptr) progress_->Clear();
    if (run_.DryRun)
      PrintLines(*env_.out, lines);
    else if (!quiet_ || !clean)
      PrintLines(*env_.err, lines);
  }

 private:
  SyncRun& run_;
  Environment& env_;
  TerminalProgress* progress_;
  bool quiet_;
};

// The stored synchronisation definitions; false, with the message told,
// when their file cannot be read.
bool LoadSyncDefinitions(SyncDefinitions& definitions, std::ostream& err, std::string& failure) {
  const std::string path = tBackups::GetDataDir() + SyncDefinitions::kFileName;
  if (definitions.Load(path) != SyncDefinitions::LoadResult::Unreadable) return true;
  failure = "Die Liste der Synchronisationen " + path + " konnte nicht gelesen werden.";
  err << failure << '\n';
  return false;
}

Outcome RunSync(const Arguments& args, Environment& env, TerminalProgress* progress) {
  std::ostream& err = *env.err;
  Outcome outcome;
  SyncDefinitions definitions;
  if (!LoadSyncDefinitions(definitions, err, outcome.failure))
    return {kExitUnreadable, outcome.failure};
  const int index = definitions.Find(args.job);
  if (index < 0) {
    outcome = {kExitUsage, "Es gibt keine Synchronisation \"" + args.job + "\"."};
    err << outcome.failure << '\n';
    return outcome;
  }
  SyncRun run(definitions.All()[static_cast<std::size_t>(index)], tBackups::GetDataDir());
  run.Started = StartedBy(args);
  // Nobody is asked: a mass removal is refused, and a missing folder is
  // made only under a parent that is there (a drive that is not there is
  // never replaced by the system disk).
  run.SetMassRemoval(versions::MassRemoval::Refuse);
  run.SetMissingFolder(MissingTarget::CreateLastFolderOnly);
  run.DryRun = args.dryRun;
  ConsoleSyncObserver observer(run, env, progress, args.quiet);
  const SyncRun::Result result = run.Run(&observer);
  if (progress != nullptr) progress->Clear();
  if (result.stateUnreadable) return {kExitUnreadable, result.failure};
  if (result.sideMissing) return {kExitTargetMissing, result.failure};
  if (result.massRemoval) return {kExitMassRemoval, result.failure};
  if (result.cancelled) return {kExitCancelled, std::string()};
  if (!result.ran) return {kExitErrors, result.failure};
  if (!args.dryRun && !result.reportWritten) return {kExitErrors, result.failure};
  if (result.Clean()) return {kExitOk, std::string()};
  std::string text =
      "Die Synchronisation \"" + run.Definition().name + "\" ist mit Fehlern beendet.";
  if (!args.dryRun) text += " Protokoll: " + result.reportPath;
  return {kExitErrors, text};
}

}  // namespace

// ------------------------------------------------------------- arguments --

Arguments ParseArguments(const std::vector<std::string>& args) {
  Arguments a;
  if (args.empty()) return a;
  bool haveAction = false;
  bool full = false, incremental = false, asOf = false, to = false, share = false;
  auto setAction = [&](Action action) {
    if (haveAction && a.error.empty())
      a.error =
          "Nur eine der Angaben --backup, --check, --restore, --versions, --options, --sync, "
          "--list, --status, --help und --version ist möglich.";
    haveAction = true;
    a.action = action;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto takeValue = [&](const std::string& option, std::string& value,
                         const std::string& missing) {
      if (arg.rfind(option + "=", 0) == 0) {
        value = arg.substr(option.size() + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else if (a.error.empty()) {
        a.error = missing;
      }
    };
    auto takeJob = [&](const std::string& option) {
      takeValue(option, a.job, "Zu " + option + " fehlt der Name der Datensicherung.");
    };
    if (arg == "--restore" || arg.rfind("--restore=", 0) == 0) {
      setAction(Action::Restore);
      takeJob("--restore");
    } else if (arg == "--versions" || arg.rfind("--versions=", 0) == 0) {
      setAction(Action::Versions);
      takeJob("--versions");
    } else if (arg == "--options" || arg.rfind("--options=", 0) == 0) {
      setAction(Action::Options);
      takeJob("--options");
    } else if (arg == "--sync" || arg.rfind("--sync=", 0) == 0) {
      setAction(Action::Sync);
      takeValue("--sync", a.job, "Zu --sync fehlt der Name der Synchronisation.");
    } else if (arg == "--as-of" || arg.rfind("--as-of=", 0) == 0) {
      takeValue("--as-of", a.asOf, "Zu --as-of fehlt der Zeitpunkt.");
      asOf = true;
    } else if (arg == "--to" || arg.rfind("--to=", 0) == 0) {
      takeValue("--to", a.to, "Zu --to fehlt der Ordner.");
      to = true;
    } else if (arg == "--dry-run") {
      a.dryRun = true;
    } else if (arg == "--") {
      // Everything after it is a path, also one that begins with "-".
      while (++i < args.size()) a.operands.push_back(args[i]);
    } else if (arg == "--backup" || arg.rfind("--backup=", 0) == 0) {
      setAction(Action::Backup);
      takeJob("--backup");
    } else if (arg == "--check" || arg.rfind("--check=", 0) == 0) {
      setAction(Action::Check);
      takeJob("--check");
    } else if (arg == "--list") {
      setAction(Action::List);
    } else if (arg == "--status") {
      setAction(Action::Status);
    } else if (arg == "--history" || arg.rfind("--history=", 0) == 0) {
      setAction(Action::History);
      takeJob("--history");
    } else if (arg == "--timer") {
      a.timer = true;
    } else if (arg == "--help" || arg == "-h") {
      setAction(Action::Help);
    } else if (arg == "--version") {
      setAction(Action::Version);
    } else if (arg == "--full") {
      full = true;
    } else if (arg == "--incremental") {
      incremental = true;
    } else if (arg == "--content") {
      a.content = true;
    } else if (arg == "--share" || arg.rfind("--share=", 0) == 0) {
      std::string value;
      takeValue("--share", value, "Zu --share fehlt der Anteil in Prozent.");
      share = true;
      const bool digits = !value.empty() && value.size() <= 3 &&
                          value.find_first_not_of("0123456789") == std::string::npos;
      a.share = digits ? std::stoi(value) : 0;
      if ((a.share < 1 || a.share > 100) && a.error.empty())
        a.error = "--share erwartet eine ganze Zahl von 1 bis 100: " + value;
    } else if (arg == "--complete") {
      a.complete = true;
    } else if (arg == "--quiet") {
      a.quiet = true;
    } else if (arg.rfind("-", 0) == 0) {
      if (a.error.empty()) a.error = "Unbekannte Option: " + arg;
    } else {
      a.operands.push_back(arg);
    }
  }
  const bool takesOperands =
      a.action == Action::Restore || a.action == Action::Versions || a.action == Action::Options;
  if (a.error.empty() && !a.operands.empty() && !takesOperands)
    a.error = "Unerwartete Angabe: " + a.operands.front();
  if (!a.error.empty()) return a;
  if (!haveAction) {
    a.error =
        "Es fehlt eine der Angaben --backup, --check, --restore, --versions, --options, --sync, "
        "--list, --status, --help oder --version.";
  } else if (full && incremental) {
    a.error = "--full und --incremental schließen einander aus.";
  } else if ((full || incremental) && a.action != Action::Backup) {
    a.error = "--full und --incremental gelten nur für --backup.";
  } else if (a.complete && a.action != Action::Check) {
    a.error = "--complete gilt nur für --check.";
  } else if (a.content && a.action != Action::Check) {
    a.error = "--content gilt nur für --check.";
  } else if (share && !a.content) {
    a.error = "--share gilt nur mit --content.";
  } else if (a.quiet && a.action != Action::Backup && a.action != Action::Check &&
             a.action != Action::Restore && a.action != Action::Sync) {
    a.error = "--quiet gilt nur für --backup, --check, --restore und --sync.";
  } else if (a.timer && a.action != Action::Backup && a.action != Action::Check &&
             a.action != Action::Restore && a.action != Action::Sync) {
    a.error = "--timer gilt nur für --backup, --check, --restore und --sync.";
  } else if ((asOf || to) && a.action != Action::Restore) {
    a.error = "--as-of und --to gelten nur für --restore.";
  } else if (a.dryRun && a.action != Action::Backup && a.action != Action::Restore &&
             a.action != Action::Sync) {
    a.error = "--dry-run gilt nur für --backup, --restore und --sync.";
  } else if (a.action == Action::Sync && text::Trim(a.job).empty()) {
    a.error = "Der Name der Synchronisation ist leer.";
  } else if (a.action == Action::Versions && a.operands.size() > 1) {
    a.error = "--versions nimmt höchstens einen Pfad: " + a.operands[1];
  } else if (to && text::Trim(a.to).empty()) {
    a.error = "Der Ordner zu --to ist leer.";
  } else if ((a.action == Action::Backup || a.action == Action::Check ||
              a.action == Action::History || takesOperands) &&
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
         "  --backup SICHERUNG [--full|--incremental] [--dry-run] [--quiet]\n"
         "        führt die Datensicherung aus: ohne Angabe als Ergänzungssicherung,\n"
         "        wenn sie schon einmal gelaufen ist, sonst als Komplettsicherung.\n"
         "        --dry-run listet auf der Standardausgabe, was kopiert, ersetzt,\n"
         "        ausgelagert (Spiegeln) oder übersprungen würde, mit den Anzahlen,\n"
         "        und ändert nichts (kein Datum, kein Protokoll, keine Versionen)\n"
         "  --check SICHERUNG [--complete] [--content [--share N]] [--quiet]\n"
         "        sucht die Dateien, die im Ziel fehlen; mit --complete wird die\n"
         "        Zähldatei geschrieben und jede fehlende Datei kopiert. --content\n"
         "        vergleicht zudem den Inhalt der Dateien gleicher Größe und Zeit Byte\n"
         "        für Byte; abweichende kopiert --complete neu (die bisherige Fassung\n"
         "        kommt in die Versionen). --share N vergleicht je Lauf N % davon, so\n"
         "        gewählt, dass aufeinanderfolgende Läufe jede Datei vergleichen\n"
         "  --restore SICHERUNG [--as-of \"JJJJ-MM-TT hh:mm\"] [--to ORDNER] [--dry-run]\n"
         "            [--quiet] [PFAD ...]\n"
         "        stellt Dateien aus dem Ziel wieder her: ohne PFAD die ganze\n"
         "        Datensicherung, sonst die genannten Dateien und Ordner (Pfade in einem\n"
         "        Quellverzeichnis); ohne --to an ihren ursprünglichen Ort, mit --to\n"
         "        unter ORDNER, jedes Quellverzeichnis unter seinem letzten Namen.\n"
         "        --as-of wählt den Stand zu diesem Zeitpunkt (oder einen Stand, wie\n"
         "        --versions ihn zeigt), ohne die letzte Sicherung. Eine neuere Datei\n"
         "        am Zielort wird nicht ersetzt; jede ersetzte Datei wird vorher in\n"
         "        den Versionen unter \"<Zeit> Wiederherstellung\" aufbewahrt.\n"
         "        --dry-run zeigt nur, was geschähe, und schreibt nichts.\n"
         "  --versions SICHERUNG [PFAD]\n"
         "        zeigt die aufbewahrten Stände, den neuesten zuerst, oder die\n"
         "        Versionen einer Datei mit Größe und Zeit\n"
         "  --options SICHERUNG [SCHLÜSSEL=WERT ...]\n"
         "        zeigt die Optionen der Datensicherung als Schlüssel=Wert und setzt\n"
         "        die angegebenen (Versionen=0|1, VersionenTage=TAGE, Spiegeln=0|1,\n"
         "        WarnenNachTagen=TAGE); Ausschluss+=MUSTER fügt ein Ausschlussmuster\n"
         "        hinzu, Ausschluss-=MUSTER nimmt es heraus, Ausschluss= leert die Liste\n"
         "  --sync SYNCHRONISATION [--dry-run] [--quiet]\n"
         "        gleicht die beiden Verzeichnisse der Synchronisation in beide\n"
         "        Richtungen ab, Unterverzeichnisse eingeschlossen: Neues wird in das\n"
         "        andere Verzeichnis kopiert, von zwei verschiedenen Fassungen ersetzt\n"
         "        die neuere die ältere, was seit dem letzten Abgleich auf einer Seite\n"
         "        gelöscht wurde, wird auch auf der anderen entfernt. Was ersetzt oder\n"
         "        entfernt wird, kommt in den versteckten Ordner .VolKarn-Versionen des\n"
         "        Verzeichnisses (90 Tage lang). --dry-run zeigt nur, was geschähe.\n"
         "  --history SICHERUNG\n"
         "        zeigt die Läufe der Datensicherung (oder Synchronisation), den neuesten\n"
         "        zuerst: Beginn, Dauer, Art, wie gestartet, Dateien, Fehler, Versionen,\n"
         "        Bytes und Ergebnis; die Berichte der letzten 30 Läufe liegen in\n"
         "        VKDaten/Protokolle/\n"
         "  --status   zeigt für jede Datensicherung die letzte fehlerfreie Sicherung,\n"
         "             ihr Alter in Kalendertagen, die Grenze WarnenNachTagen und den\n"
         "             letzten Lauf; Rückgabewert 1, wenn eine älter ist als ihre\n"
         "             Grenze (eine nie gesicherte gilt als zu alt, außer bei\n"
         "             WarnenNachTagen=0)\n"
         "  --list     zeigt die Namen aller Datensicherungen, einen je Zeile, danach\n"
         "             die der Synchronisationen mit dem Zusatz \"(Synchronisation)\"\n"
         "  --help     zeigt diese Hilfe\n"
         "  --version  zeigt Version und Lizenz\n"
         "\n"
         "  --full         Komplettsicherung: alle Dateien werden kopiert\n"
         "  --incremental  Ergänzungssicherung: nur Dateien, die nach der letzten\n"
         "                 Sicherung geändert wurden\n"
         "  --quiet        keine Fortschrittsanzeige; Protokoll nur bei Fehlern\n"
         "  --timer        der Lauf gilt im Verlauf als \"Zeitplan\" (so rufen die\n"
         "                 systemd-Timer VolKarn auf)\n"
         "  --             alles danach ist ein PFAD, auch wenn es mit - beginnt\n"
         "\n"
         "SICHERUNG ist der Name einer Datensicherung, SYNCHRONISATION der einer\n"
         "Synchronisation; Groß- und Kleinschreibung zählen nicht. Meldungen und Protokoll "
         "erscheinen auf der\n"
         "Standardfehlerausgabe; SIGINT und SIGTERM brechen einen Lauf ab wie\n"
         "\"Abbrechen\".\n"
         "Ein Lauf, dem niemand zusieht (ohne Terminal, mit --quiet oder --timer),\n"
         "meldet, dass er nicht starten konnte oder mit Fehlern\n"
         "endete, als Desktop-Benachrichtigung: je Lauf und Ursache höchstens\n"
         "einmal am Tag, und den ersten fehlerfreien Lauf danach als \"wieder\n"
         "erfolgreich\". Ohne Sitzungsbus unterbleibt die Benachrichtigung.\n"
         "\n"
         "Rückgabewerte:\n"
         "  0  ohne Fehler beendet\n"
         "  1  mit Fehlern beendet (siehe Protokoll) oder im Ziel fehlen Dateien;\n"
         "     bei --restore auch: neuere Dateien am Zielort wurden nicht ersetzt;\n"
         "     bei --status: eine Datensicherung ist älter als ihre Grenze\n"
         "  2  falscher Aufruf, unbekannte Datensicherung oder Synchronisation, ein\n"
         "     PFAD außerhalb der Quellverzeichnisse, ein unbekannter Schlüssel oder\n"
         "     ungültiger Wert\n"
         "  3  ein anderes VolKarn (Fenster oder Befehlszeile) läuft bereits\n"
         "  4  abgebrochen (SIGINT, SIGTERM)\n"
         "  5  Sicherungsliste, Einstellungen, Verzeichnisliste oder Optionsdatei\n"
         "     nicht lesbar; bei --sync die Liste der Synchronisationen oder der\n"
         "     Stand des letzten Abgleichs\n"
         "  6  das Ziel fehlt: weder der Zielordner noch der Ordner darüber existiert\n"
         "     (etwa ein nicht angeschlossener Datenträger); es wurde nichts kopiert\n"
         "     oder wiederhergestellt\n"
         "  7  Spiegeln=1: die Quelle hat mehr als die Hälfte der Dateien eines\n"
         "     Ziels (und mindestens 10) nicht mehr; aus diesem Ziel wurde nichts\n"
         "     entfernt (das Fenster fragt in diesem Fall nach); bei --sync: der\n"
         "     Abgleich würde in einem Verzeichnis mehr als die Hälfte der Dateien\n"
         "     (und mindestens 10) entfernen; es wurde nichts geändert\n"
         "  6  bei --sync auch: ein Verzeichnis fehlt, ist leer oder nicht lesbar,\n"
         "     obwohl es beim letzten Abgleich Dateien enthielt; es wurde nichts\n"
         "     geändert\n";
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
      SyncDefinitions definitions;
      if (!LoadSyncDefinitions(definitions, err, failure)) return kExitUnreadable;
      for (const SyncDefinition& definition : definitions.All())
        out << definition.name << " (Synchronisation)\n";
      out.flush();
      return kExitOk;
    }
    case Action::Versions:
      return RunVersions(args, env).code;
    case Action::Status:
      return RunStatus(env, Now());
    case Action::History:
      return RunHistory(args, env);
    case Action::Backup:
    case Action::Check:
    case Action::Restore:
    case Action::Options:
    case Action::Sync:
      break;
  }

  const bool backup = args.action == Action::Backup;
  const bool sync = args.action == Action::Sync;
  const char* kind = backup                           ? "Datensicherung"
                     : args.action == Action::Check   ? "Überprüfung"
                     : args.action == Action::Restore ? "Wiederherstellung"
                     : sync                           ? "Synchronisation"
                                                      : "Optionen";
  const std::string what = std::string(kind) + " \"" + args.job + "\"";
  Outcome outcome;
  platform::InstanceLock lock;
  // The window program's lock: one program per data folder. Only a lock
  // that another program holds refuses the run.
  // Options that are only shown need no lock.
  const bool needsLock = args.action != Action::Options || !args.operands.empty();
  if (needsLock && lock.Acquire(tBackups::GetDataDir(), env.lockName) ==
                       platform::InstanceLock::Result::HeldElsewhere) {
    outcome = {kExitRunning, "VolKarn wurde bereits gestartet!"};
    err << outcome.failure << '\n';
    RecordRefusedStart(args, outcome.failure);
  } else {
    std::unique_ptr<TerminalProgress> progress;
    if (env.terminal && !args.quiet)
      progress = std::make_unique<TerminalProgress>(err, env.columns);
    if (progress) ui.beforeOutput = [&progress] { progress->Clear(); };
    switch (args.action) {
      case Action::Backup:
        outcome = RunBackup(args, env, progress.get());
        break;
      case Action::Restore:
        outcome = RunRestore(args, env, progress.get());
        break;
      case Action::Options:
        outcome = RunOptions(args, env);
        break;
      case Action::Sync:
        outcome = RunSync(args, env, progress.get());
        break;
      default:
        outcome = RunCheck(args, env, progress.get());
        break;
    }
  }
  if (!args.dryRun) NotifyRunEnd(env, what, sync, outcome.code, outcome.failure);
  return outcome.code;
}

int Main(int argc, char** argv) {
  std::vector<std::string> list;
  for (int i = 1; i < argc; ++i) list.emplace_back(argv[i]);
  const Arguments args = ParseArguments(list);
  Environment env;
  env.out = &std::cout;
  env.err = &std::cerr;
  if (args.error.empty() && (args.action == Action::Backup || args.action == Action::Check ||
                             args.action == Action::Restore || args.action == Action::Sync)) {
    platform::CatchCancelSignals();
    env.cancelRequested = [] { return platform::CancelSignalled(); };
  }
  env.terminal = platform::IsTerminal(2);
  env.columns = platform::TerminalColumns(2);
  // A timer's run is one nobody watches, also when it has a terminal.
  env.unattended = args.quiet || args.timer || !env.terminal;
  env.notify = [](const std::string& summary, const std::string& body) {
    return platform::SendDesktopNotification(summary, body);
  };
  return Run(args, env);
}

}  // namespace cli
