#include "core/backup/runrequest.h"

#include "core/catalogue/appstate.h"
#include "base/codepage.h"
#include "base/pathtext.h"

RunRequest MakeRunRequest(const AppState& state, const std::string& jobName, bool fullChosen) {
  RunRequest request;
  const ShownJob& shown = state.Shown;
  request.JobName = jobName;
  request.JobIndex = state.SelectedJob;
  request.FullBackup = shown.LastDate == 0 || fullChosen;
  request.ChangedSince = shown.ChangedSince;
  request.ChangedSinceText =
      "Nach dem " + shown.LastDateText() + "/" + shown.LastTimeText() + " Uhr geändert.";
  request.ExcludedExts = text::Upper(state.Backups.LoadJobText(state.SelectedJob, 1));
  request.ExcludedFiles = text::Upper(state.Backups.LoadJobText(state.SelectedJob, 2));
  // A job without directories gets no rows: the rows of the job shown
  // before must never be run for this one.
  const std::string target = AddBackslash(shown.TargetDir);
  for (const std::string& source : shown.Directories)
    request.Rows.push_back({source, target + GetLastPathPart(source)});
  return request;
}

std::optional<std::string> MissingTargetFolder(const RunRequest& request) {
  if (request.Rows.empty()) return std::nullopt;
  const std::string& first = request.Rows.front().target;
  std::string target = GetParentDir(first);
  if (target.empty() && !first.empty() && first[0] == '/') target = "/";
  if (CopyEngine::IsFolder(target)) return std::nullopt;
  return target;
}

void ApplyRunRequest(const RunRequest& request, CopyEngine& engine) {
  engine.FullBackup = request.FullBackup;
  engine.ChangedSince = request.ChangedSince;
  engine.JobName = request.JobName;
  engine.SetExclusions(request.ExcludedExts, request.ExcludedFiles);
}
