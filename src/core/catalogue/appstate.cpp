#include "core/catalogue/appstate.h"

#include <cmath>

#include "base/codepage.h"
#include "base/timeproc.h"

std::string ShownJob::LastDateText() const {
  return LastDate != 0 ? FormatDateText(4, LastDate) : std::string();
}

std::string ShownJob::LastTimeText() const {
  return LastDate != 0 ? InsertTimeColon(FormatTimeDigits(LastTime)) : std::string();
}

bool ReadShownJob(const tBackups& jobs, int index, ShownJob& shown, std::string& failure) {
  JobRecord record;
  if (!jobs.GetJob(index, record)) return false;
  shown.Name = record.Name();
  shown.TargetDir = record.TargetDir();
  const std::string listFile = tBackups::GetDataDir() + record.ListFile();
  std::vector<std::string> dirs;
  if (!tBackups::IsSafeFileName(record.ListFile()) || !textfile::ReadLines(listFile, dirs)) {
    failure = "Die Verzeichnisliste " + listFile +
              " konnte nicht gelesen werden. Die Datensicherung \"" + record.Name() +
              "\" kann so nicht gestartet werden; legen Sie ihre Verzeichnisse mit "
              "\"Bearbeiten\" neu fest.";
    return false;
  }
  shown.Directories = dirs;
  shown.LastDate = record.LastDate();
  shown.LastTime = record.LastTime();
  // Never backed up: no stamp of another job may limit the run.
  shown.ChangedSince = 0;
  if (record.LastDate() != 0) {
    const double day = std::trunc(record.LastDate());
    const double time = record.LastTime() - std::trunc(record.LastTime());
    shown.ChangedSince = DateTimeToDosStamp(day + time);
  }
  return true;
}
