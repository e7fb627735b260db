#include "core/status/staleness.h"

#include <algorithm>
#include <cmath>

#include "core/catalogue/daten.h"
#include "core/catalogue/jobopt.h"
#include "core/history/history.h"

namespace status {

TDateTime LastGoodBackup(TDateTime stamp, TDateTime newestOkInHistory) {
  return std::max({stamp, newestOkInHistory, TDateTime(0)});
}

int AgeInDays(TDateTime moment, TDateTime now) {
  const double days = std::floor(now) - std::floor(moment);
  return days > 0 ? static_cast<int>(days) : 0;
}

Staleness Judge(TDateTime lastGood, TDateTime now, int warnAfterDays) {
  Staleness s;
  s.never = lastGood <= 0;
  if (!s.never) s.days = AgeInDays(lastGood, now);
  s.tooOld = warnAfterDays > 0 && (s.never || s.days > warnAfterDays);
  return s;
}

std::string StaleText(const Staleness& staleness) {
  if (!staleness.tooOld || staleness.never) return std::string();
  return "Die letzte fehlerfreie Sicherung ist " + std::to_string(staleness.days) + " Tage alt.";
}

std::optional<JobStatus> ReadJobStatus(const tBackups& jobs, int index, TDateTime now) {
  JobRecord record;
  if (!jobs.GetJob(index, record)) return std::nullopt;
  JobStatus status;
  status.name = record.Name();
  const TDateTime stamp = record.LastDate() != 0 ? record.LastDate() + record.LastTime() : 0;
  const auto ok = history::LastGoodBackup(jobs, index);
  status.lastGood = LastGoodBackup(stamp, ok ? ok->end : 0);
  JobOptions options;
  const std::string optionsFile = jobs.GetOptionsFileName(index);
  if (!optionsFile.empty() &&
      options.Load(tBackups::GetDataDir() + optionsFile) == JobOptions::LoadResult::Unreadable) {
    status.optionsUnreadable = true;
    options = JobOptions();
  }
  status.warnAfterDays = options.WarnAfterDays;
  status.staleness = Judge(status.lastGood, now, status.warnAfterDays);
  return status;
}

}  // namespace status
