#include "core/catalogue/appstate.h"

#include <cmath>
#include <utility>

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
  // The job is read whole before anything of the shown one changes, so
  // that no field of the previous job survives next to the new one.
  ShownJob read;
  read.Name = record.Name();
  read.TargetDir = record.TargetDir();
  read.LastDate = record.LastDate();
  read.LastTime = record.LastTime();
  // Never backed up: no stamp of another job may limit the run.
  if (record.LastDate() != 0) {
    const double day = std::trunc(record.LastDate());
    const double time = record.LastTime() - std::trunc(record.LastTime());
    read.ChangedSince = DateTimeToDosStamp(day + time);
  }
  const std::string listFile = tBackups::GetDataDir() + record.ListFile();
  const bool listRead = tBackups::IsSafeFileName(record.ListFile()) &&
                        textfile::ReadLines(listFile, read.Directories);
  if (!listRead) {
    read.Directories.clear();
    failure = "Die Verzeichnisliste " + listFile +
              " konnte nicht gelesen werden. Die Datensicherung \"" + record.Name() +
              "\" kann so nicht gestartet werden; legen Sie ihre Verzeichnisse mit "
              "\"Bearbeiten\" neu fest.";
  }
  shown = std::move(read);
  return listRead;
}
