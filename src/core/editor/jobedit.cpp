#include "core/editor/jobedit.h"

#include "base/codepage.h"
#include "base/errorbox.h"
#include "core/catalogue/daten.h"
#include "core/versions/versions.h"

std::string CheckJobDraft(const JobDraft& draft) {
  const std::string& name = draft.Name;
  const std::string& target = draft.TargetDir;
  if (text::Trim(name).empty()) return "Es wurde kein Name für die Datensicherung eingegeben!";
  if (!cp1252::IsRepresentable(name))
    return "Der Name \"" + name +
           "\" enthält Zeichen, die nicht gespeichert werden können. Bitte ändern Sie den Namen.";
  if (text::Trim(target).empty())
    return "Es wurde kein Zielverzeichnis für die Datensicherung eingegeben!";
  if (!cp1252::IsRepresentable(target))
    return "Das Zielverzeichnis enthält Zeichen, die nicht gespeichert werden können:\r" + target +
           "\rBitte wählen Sie ein anderes Ziel.";
  if (text::Length(target) > kMaxTargetLength)
    return "Das Zielverzeichnis ist zu lang (" + std::to_string(text::Length(target)) +
           " Zeichen, höchstens " + std::to_string(kMaxTargetLength) + " sind möglich):\r" + target;
  if (draft.Directories.empty()) return "Es wurden keine zu sichernden Verzeichnisse eingegeben!";
  for (const std::string& dir : draft.Directories)
    if (versions::IsVersionsFolderPath(dir))
      return "Das Verzeichnis\r" + dir + "\rheißt wie der Ordner " + versions::kFolderName +
             ", in dem eine Sicherung die Fassungen aufbewahrt, die sie ersetzt hat. Ein solcher "
             "Ordner kann nicht gesichert werden. Bitte entfernen Sie ihn aus der "
             "Verzeichnisliste.";
  for (const std::string& dir : draft.Directories)
    if (!cp1252::IsRepresentable(dir))
      return "Das Verzeichnis\r" + dir +
             "\renthält Zeichen, die nicht gespeichert werden können. Bitte entfernen Sie es aus "
             "der Verzeichnisliste.";
  for (const std::string& file : draft.ExcludedFiles)
    if (!cp1252::IsRepresentable(file))
      return "Die Datei\r" + file +
             "\renthält Zeichen, die nicht gespeichert werden können. Bitte entfernen Sie sie "
             "durch Doppelklick aus der Liste der ausgeschlossenen Dateien.";
  return std::string();
}

LastBackup EditedLastBackup(const LastBackup& stored, const LastBackup& shown,
                            const LastBackup& picked) {
  return picked == shown ? stored : picked;
}

std::vector<std::string> SaveJobLists(const tBackups& jobs, int jobIndex, const JobDraft& draft) {
  struct ListFile {
    std::string name;
    const std::vector<std::string>* lines;
  };
  const ListFile files[] = {{jobs.GetListFileName(jobIndex), &draft.Directories},
                            {jobs.GetExtFileName(jobIndex), &draft.ExcludedExts},
                            {jobs.GetExclFileName(jobIndex), &draft.ExcludedFiles},
                            {tBackups::kExtensionListName, &draft.OfferedExts}};
  const std::string dataDir = tBackups::GetDataDir();
  std::vector<std::string> failures;
  for (const ListFile& file : files) {
    // The shared list is the only shared file written here.
    if (file.lines != &draft.OfferedExts && !tBackups::IsSafeFileName(file.name)) {
      failures.push_back("Die Liste konnte nicht gespeichert werden: der Dateiname \"" + file.name +
                         "\" ist ungültig.");
      continue;
    }
    const std::string path = dataDir + file.name;
    const int code = textfile::WriteLines(path, *file.lines);
    if (code != 0) failures.push_back(WriteFailureText("Die Datei", path, code));
  }
  return failures;
}
