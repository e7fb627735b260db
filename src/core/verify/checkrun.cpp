#include "core/verify/checkrun.h"

#include "base/errorbox.h"
#include "core/catalogue/daten.h"

void PrepareCheck(BackupCheck& check, const CheckRequest& request) {
  check.JobName = request.JobName;
  check.SetExclusions(request.ExcludedExts, request.ExcludedFiles, request.Patterns);
  check.Rows = request.Rows;
  check.History = request.History;
  check.Report.Clear();
}

std::string CountFilePath(const tBackups& jobs, int jobIndex) {
  if (jobIndex < 0 || jobIndex >= jobs.Count()) return std::string();
  const std::string name = jobs.GetCountFileName(jobIndex);
  if (!tBackups::IsSafeFileName(name) || name == jobs.GetListFileName(jobIndex))
    return std::string();
  return tBackups::GetDataDir() + name;
}

bool SaveCountFile(const BackupCheck& check, const tBackups& jobs, int jobIndex) {
  const std::string path = CountFilePath(jobs, jobIndex);
  if (path.empty()) {
    ShowInfo("Die Zähldatei der Sicherung \"" + check.JobName +
                 "\" konnte nicht gespeichert werden: die Sicherung ist nicht mehr vorhanden.",
             1);
    return false;
  }
  const int code = check.SaveCountFile(path);
  if (code != 0) {
    ShowInfo(WriteFailureText("Die Zähldatei", path, code), 1);
    return false;
  }
  return true;
}

void PrepareCompletion(BackupCompletion& completion, const ExclusionRule& rule,
                       const history::Target& history) {
  completion.Rule = rule;
  completion.History = history;
  completion.CopyStatus = 0;
}

std::int32_t CompleteTickedRows(BackupCompletion& completion, CompletionList& list) {
  completion.CopyStatus = 0;
  completion.CompleteTicked(list);
  const std::int32_t status = completion.CopyStatus;
  if (status != 0 && status != kCheckCancelled) ShowOsError(static_cast<std::uint32_t>(status));
  return status;
}
