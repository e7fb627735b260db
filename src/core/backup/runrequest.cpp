#include "core/backup/runrequest.h"

#include "base/codepage.h"
#include "base/pathtext.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/daten.h"

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
  request.JobTarget = shown.TargetDir;
  LoadRunOptions(state.Backups, state.SelectedJob, request);
  return request;
}

void LoadRunOptions(const tBackups& jobs, int jobIndex, RunRequest& request) {
  request.Options = JobOptions();
  request.OptionsNote.clear();
  const std::string name = jobs.GetOptionsFileName(jobIndex);
  if (name.empty()) return;  // no such job: the defaults
  const std::string path = tBackups::GetDataDir() + name;
  if (tBackups::IsSafeFileName(name) &&
      request.Options.Load(path) != JobOptions::LoadResult::Unreadable)
    return;
  // Nothing is lost for it: what the run replaces is kept, and nothing is
  // removed from the target.
  request.Options = JobOptions();
  request.Options.Versions = true;
  request.Options.VersionDays = 0;
  request.Options.Mirror = false;
  request.OptionsNote = "Die Optionen der Sicherung (" + path +
                        ") konnten nicht gelesen werden: Ersetzte Dateien wurden aufbewahrt, alte "
                        "Versionen nicht entfernt und nichts gespiegelt.";
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
  engine.SetExclusions(request.ExcludedExts, request.ExcludedFiles, request.Options.Patterns);
  engine.JobTarget = request.JobTarget;
  engine.KeepVersions = request.Options.Versions && !request.JobTarget.empty();
  engine.VersionDays = request.Options.VersionDays;
  engine.OptionsNote = request.OptionsNote;
}
