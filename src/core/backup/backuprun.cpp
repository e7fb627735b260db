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
    : state_(state), request_(request), engine_(engine) {}

BackupRun::Start BackupRun::CheckTarget(MissingTarget policy) {
  startFailure_.clear();
  const std::optional<std::string> missing = MissingTargetFolder(request_);
  if (!missing) return Start::Go;
  if (policy == MissingTarget::Ask) {
    if (AskYesNo("Das Zielverzeichnis " + *missing +
                 " existiert nicht.\rSoll es neu angelegt werden?"))
      return Start::Go;
    ShowInfo("Es wurde keine Datei kopiert!", 1);
    return Start::Declined;
  }
  startFailure_ = MissingDriveText(*missing);
  if (startFailure_.empty()) return Start::Go;
  ShowInfo(startFailure_, 1);
  return Start::TargetMissing;
}

BackupRun::Result BackupRun::Run(RunObserver* observer, bool checkDirDate) {
  Result result;
  const std::vector<CopyRow>& rows = request_.Rows;

  ApplyRunRequest(request_, engine_);
  engine_.CheckDirDate = checkDirDate;
  engine_.RunMark = tBackups::GetDataDir() + tBackups::kRunMarkName;
  engine_.SetObserver(observer);  // null: the engine's silent one
  engine_.StartRun();
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
    ShowInfo(result.failure, 1);
    return result;
  }
  result.reportWritten = true;
  if (observer != nullptr) observer->ReportWritten(end.reportLines, end.storeStamp);
  if (end.offerReport && AskYesNo(kViewReportQuestion)) {
    if (platform::LaunchFile("notepad.exe", end.reportPath) == 31)
      platform::LaunchFile(end.reportPath, std::string());
    result.reportViewed = true;
  }
  if (!end.closingText.empty()) ShowInfo(end.closingText, end.closingBeep);
  if (!end.storeStamp) return result;

  const double date = std::floor(end.stamp);
  jobs.SetJobStamp(end.jobIndex, date, end.stamp - date);
  result.stampStored = true;
  // Saved at once: a crash or a logout later must not lose the stamp.
  result.catalogueSaved = jobs.SaveCatalogue();
  if (!result.catalogueSaved) {
    result.failure = "Die Sicherungsliste " + tBackups::GetDataDir() + tBackups::kCatalogueName +
                     " konnte nicht gespeichert werden. Das Datum der letzten Sicherung ist "
                     "nicht gespeichert.";
    ShowInfo(result.failure, 1);
  }
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
  const versions::MirrorOutcome outcome =
      versions::MirrorRows(rows, ExclusionRule(request_.ExcludedExts, request_.ExcludedFiles),
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

std::string VisibleReportText(const std::string& line) {
  return cp1252::ToUtf8(cp1252::FromUtf8Visible(line));
}
