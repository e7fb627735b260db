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

namespace {

// The folder above `folder` ("/" for a folder directly under the root).
std::string ParentOf(const std::string& folder) {
  std::string parent = GetParentDir(folder);
  if (parent.empty() && !folder.empty() && folder[0] == '/') parent = "/";
  return parent;
}

}  // namespace

std::optional<std::string> MissingTargetFolder(const RunRequest& request) {
  if (request.Rows.empty()) return std::nullopt;
  return MissingTargetFolder(request.Rows.front().target);
}

std::optional<std::string> MissingTargetFolder(const std::string& firstTarget) {
  const std::string target = ParentOf(firstTarget);
  if (CopyEngine::IsFolder(target)) return std::nullopt;
  return target;
}

std::string MissingDriveText(const std::string& folder) {
  const std::string parent = ParentOf(folder);
  if (!parent.empty() && CopyEngine::IsFolder(parent)) return std::string();
  return "Das Zielverzeichnis " + folder + " existiert nicht, und der Ordner " + parent +
         " darüber auch nicht. Ist der Datenträger angeschlossen? Es wurde keine Datei kopiert.";
}

void ApplyRunRequest(const RunRequest& request, CopyEngine& engine) {
  engine.FullBackup = request.FullBackup;
  engine.ChangedSince = request.ChangedSince;
  engine.JobName = request.JobName;
  engine.SetExclusions(request.ExcludedExts, request.ExcludedFiles);
}
