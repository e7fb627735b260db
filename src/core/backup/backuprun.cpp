#include "core/backup/backuprun.h"

#include <cmath>
#include <optional>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/daten.h"
#include "core/versions/keeper.h"
#include "platform/platform.h"

BackupRun::BackupRun(AppState* state, const RunRequest& request, CopyEngine& engine)
    : state_(state), request_(request), engine_(engine) {
  // A dry run leaves no trace, not even in the history.
  if (state_ != nullptr && !request_.DryRun)
    history_.Reset(
        history::ForJob(state_->Backups, request_.JobIndex, request_.Started),
        request_.FullBackup ? history::Kind::FullBackup : history::Kind::IncrementalBackup);
}

BackupRun::Start BackupRun::CheckTarget(MissingTarget policy) {
  startFailure_.clear();
  const std::optional<std::string> missing = MissingTargetFolder(request_);
  if (!missing) return Start::Go;
  // A dry run makes nothing: its list tells which target would be made.
  if (request_.DryRun && policy == MissingTarget::Ask) return Start::Go;
  if (policy == MissingTarget::Ask) {
    if (AskYesNo("Das Zielverzeichnis " + *missing +
                 " existiert nicht.\rSoll es neu angelegt werden?"))
      return Start::Go;
    history_.NotStarted("Das Zielverzeichnis " + *missing + " sollte nicht angelegt werden.");
    ShowInfo("Es wurde keine Datei kopiert!", 1);
    return Start::Declined;
  }
  startFailure_ = MissingDriveText(*missing);
  if (startFailure_.empty()) return Start::Go;
  history_.NotStarted(startFailure_);
  ShowInfo(startFailure_, 1);
  return Start::TargetMissing;
}

BackupRun::Result BackupRun::Run(RunObserver* observer, bool checkDirDate) {
  Result result;
  const std::vector<CopyRow>& rows = request_.Rows;

  ApplyRunRequest(request_, engine_);
  engine_.CheckDirDate = checkDirDate;
  engine_.DryRun = request_.DryRun;
  engine_.RunMark =
      request_.DryRun ? std::string() : tBackups::GetDataDir() + tBackups::kRunMarkName;
  engine_.SetObserver(observer);  // null: the engine's silent one
  engine_.StartRun();
  history_.Begin(engine_.RunStarted);
  // A cancel that came before the start (a signal) is taken here.
  if (observer != nullptr) observer->ProcessEvents();
  try {
    if (!engine_.Stopped()) engine_.RunRows(rows);
    if (!engine_.Stopped()) MirrorTargets(observer, result);
  } catch (...) {
    // Whatever stopped the walk, the run must not count as complete.
    result.raised = true;
    engine_.RunStatus = CopyEngine::kRaised;
  }
  result.walked = true;
  result.cancelled = engine_.RunStatus == CopyEngine::kCancelled;
  if (observer != nullptr) observer->WalkEnded();
  if (state_ == nullptr) {
    engine_.SetObserver(nullptr);
    result.status = engine_.RunStatus;
    return result;
  }

  tBackups& jobs = state_->Backups;
  if (request_.DryRun) {
    engine_.SetObserver(nullptr);
    result.status = engine_.RunStatus;
    result.reportLines = DryRunLines(jobs);
    if (observer != nullptr) observer->ReportWritten(result.reportLines, engine_.RunReport.empty());
    return result;
  }
  const RunEnd end = DecideRunEnd(engine_, rows, jobs, request_.JobIndex);
  engine_.SetObserver(nullptr);
  result.status = engine_.RunStatus;
  result.reportPath = end.reportPath;
  result.reportLines = end.reportLines;

  // Names stay visible and on their line (control characters and what
  // Windows-1252 lacks are written as marks).
  const int code = textfile::WriteLinesVisible(end.reportPath, end.reportLines);
  if (code != 0) {
    result.failure = WriteFailureText("Das Protokoll", end.reportPath, code);
    RecordEnd(result, false);
    ShowInfo(result.failure, 1);
    return result;
  }
  result.reportWritten = true;
  if (end.storeStamp) {
    const double date = std::floor(end.stamp);
    jobs.SetJobStamp(end.jobIndex, date, end.stamp - date);
    result.stampStored = true;
    // Saved at once, before the history's line, which tells when the
    // stamp could not be kept: a crash or a logout later must not lose it.
    result.catalogueSaved = jobs.SaveCatalogue();
    if (!result.catalogueSaved)
      result.failure = "Die Sicherungsliste " + tBackups::GetDataDir() + tBackups::kCatalogueName +
                       " konnte nicht gespeichert werden. Das Datum der letzten Sicherung ist "
                       "nicht gespeichert.";
  }
  RecordEnd(result, end.storeStamp && result.catalogueSaved);
  if (observer != nullptr) observer->ReportWritten(end.reportLines, end.storeStamp);
  if (end.offerReport && AskYesNo(kViewReportQuestion)) {
    if (platform::LaunchFile("notepad.exe", end.reportPath) == 31)
      platform::LaunchFile(end.reportPath, std::string());
    result.reportViewed = true;
  }
  if (!end.closingText.empty()) ShowInfo(end.closingText, end.closingBeep);
  if (result.stampStored && !result.catalogueSaved) ShowInfo(result.failure, 1);
  return result;
}

void BackupRun::MirrorTargets(RunObserver* observer, Result& result) {
  // Without the job's target folder there is no versions folder to move
  // into: nothing leaves the targets.
  if (!request_.Options.Mirror || request_.JobTarget.empty()) return;
  // What leaves the targets goes into the run's versions, also when the
  // job keeps no versions of what the copies replace.
  versions::Keeper* keeper = engine_.VersionsKeeper();
  std::optional<versions::Keeper> own;
  if (keeper == nullptr) keeper = &own.emplace(request_.JobTarget, engine_.RunStarted);
  std::vector<versions::MirrorRow> rows;
  for (const CopyRow& row : request_.Rows) rows.push_back({row.source, row.target});
  if (request_.DryRun) {
    const versions::MirrorOutcome plan = versions::PlanMirrorRows(
        rows,
        ExclusionRule(request_.ExcludedExts, request_.ExcludedFiles, request_.Options.Patterns),
        request_.JobTarget, [&] {
          if (observer != nullptr) observer->ProcessEvents();
          return engine_.RunStatus != CopyEngine::kCancelled;
        });
    engine_.Plan.insert(engine_.Plan.end(), plan.planned.begin(), plan.planned.end());
    engine_.Planned.moveOut += static_cast<std::int64_t>(plan.planned.size());
    engine_.VersionLines.insert(engine_.VersionLines.end(), plan.notes.begin(), plan.notes.end());
    return;
  }
  const versions::MirrorOutcome outcome = versions::MirrorRows(
      rows, ExclusionRule(request_.ExcludedExts, request_.ExcludedFiles, request_.Options.Patterns),
      *keeper, massRemoval_, [&] {
        if (observer != nullptr) observer->ProcessEvents();
        return engine_.RunStatus != CopyEngine::kCancelled;
      });
  // A move that failed withholds the stamp; a row left whole does not.
  engine_.RunReport.insert(engine_.RunReport.end(), outcome.errors.begin(), outcome.errors.end());
  if (own && own->Kept() > 0)
    engine_.VersionLines.push_back(std::to_string(own->Kept()) + " Versionen wurden aufbewahrt.");
  engine_.VersionLines.insert(engine_.VersionLines.end(), outcome.notes.begin(),
                              outcome.notes.end());
  result.massRemovalRefused = outcome.refused;
}

std::vector<std::string> BackupRun::DryRunLines(const tBackups& jobs) const {
  const TDateTime now = engine_.Clock();
  const int job = request_.JobIndex;
  std::vector<std::string> lines;
  lines.push_back("Probelauf der Datensicherung \"" + request_.JobName + "\" am " +
                  FormatDateText(4, now) + " um " + InsertTimeColon(FormatTimeDigits(now)) +
                  " Uhr. Es wurde nichts kopiert.");
  if (job >= 0 && job < jobs.Count())
    lines.push_back("(Vorhergehende Sicherung: " + jobs.GetLastBackupDate(job) + "/" +
                    jobs.GetLastBackupTime(job) + ")");
  lines.emplace_back();
  std::vector<std::string> errors = engine_.RunReport;
  if (engine_.RunStatus == CopyEngine::kCancelled)
    errors.push_back(
        "Der Probelauf wurde durch den Benutzer abgebrochen. Die Liste ist unvollständig.");
  if (errors.empty()) {
    lines.push_back("Es sind keine Fehler aufgetreten.");
  } else {
    lines.push_back("Folgende Fehler sind aufgetreten:");
    lines.insert(lines.end(), errors.begin(), errors.end());
  }
  lines.insert(lines.end(), engine_.VersionLines.begin(), engine_.VersionLines.end());
  lines.emplace_back();
  lines.push_back(engine_.Plan.empty() ? "Es wäre nichts zu tun." : "Es würde getan:");
  lines.insert(lines.end(), engine_.Plan.begin(), engine_.Plan.end());
  lines.emplace_back();
  const CopyEngine::PlanCounts& n = engine_.Planned;
  lines.push_back(std::to_string(n.copy) + " Dateien würden kopiert, " + std::to_string(n.replace) +
                  " ersetzt" + (engine_.KeepVersions ? " (die bisherigen in den Versionen)" : "") +
                  ", " + std::to_string(n.moveOut) + " Einträge ausgelagert, " +
                  std::to_string(n.skip) + " Dateien übersprungen.");
  return lines;
}

void BackupRun::RecordEnd(const Result& result, bool clean) {
  history::Counts counts;
  counts.files = engine_.CopiedTotal;
  // The report's error lines (the cancel line is none).
  counts.errors = std::max<std::int64_t>(
      0, static_cast<std::int64_t>(engine_.RunReport.size()) - (result.cancelled ? 1 : 0));
  counts.versions = engine_.VersionsKept();
  counts.bytes = engine_.BytesCopied;
  const history::Outcome outcome = result.cancelled ? history::Outcome::Cancelled
                                   : clean          ? history::Outcome::Ok
                                                    : history::Outcome::Errors;
  history_.End(outcome, counts, result.reportLines, result.failure);
}

std::string VisibleReportText(const std::string& line) {
  return cp1252::ToUtf8(cp1252::FromUtf8Visible(line));
}
