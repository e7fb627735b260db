#include "core/sync/syncfiles.h"

#include "base/pathtext.h"
#include "core/catalogue/daten.h"
#include "core/history/history.h"
#include "platform/platform.h"

namespace {

std::string StatePath(const std::string& name) {
  return tBackups::GetDataDir() + SyncDefinitions::StateFileName(name);
}
std::string ReportPath(const std::string& name) {
  return tBackups::GetDataDir() + SyncDefinitions::ReportFileName(name);
}
// The history of the runs and the folder of their kept reports.
history::Target HistoryOf(const std::string& name) {
  return history::ForSync(tBackups::GetDataDir(), name, history::Started::Window);
}

// Gives the file `from` the name `to`, in place of a file there. Where
// both names are one file (letter case on a folder that ignores it), the
// file stays as it is.
void MoveOver(const std::string& from, const std::string& to) {
  if (from == to || !platform::PathExists(from)) return;
  if (platform::PathExists(to) && platform::IdOf(from) == platform::IdOf(to)) return;
  platform::DeleteFile(to);
  platform::MoveNoReplace(from, to);
}

}  // namespace

void CarryOverRunFiles(const SyncDefinition& old, const SyncDefinition& stored) {
  const bool samePair =
      !old.name.empty() && old.first == stored.first && old.second == stored.second;
  if (!old.name.empty() && old.name != stored.name) {
    if (samePair)
      MoveOver(StatePath(old.name), StatePath(stored.name));
    else
      platform::DeleteFile(StatePath(old.name));
    MoveOver(ReportPath(old.name), ReportPath(stored.name));
    // The runs stay with the definition under its new name.
    const history::Target from = HistoryOf(old.name), to = HistoryOf(stored.name);
    if (from.Enabled() && to.Enabled()) {
      MoveOver(from.file, to.file);
      platform::MoveNoReplace(RemoveBackslash(from.reportFolder), RemoveBackslash(to.reportFolder));
    }
  }
  if (!samePair) platform::DeleteFile(StatePath(stored.name));
}

void ForgetRunFiles(const std::string& name) {
  platform::DeleteFile(StatePath(name));
  platform::DeleteFile(ReportPath(name));
  const history::Target history = HistoryOf(name);
  if (history.Enabled()) {
    platform::DeleteFile(history.file);
    platform::RemoveTree(RemoveBackslash(history.reportFolder));
  }
}
