#include "cmdline/cmdline_status.h"

#include <ostream>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/optio.h"
#include "core/history/history.h"
#include "core/status/notices.h"
#include "core/status/staleness.h"

namespace cli {

namespace {

std::string AgeText(int days) {
  if (days == 0) return "heute";
  if (days == 1) return "1 Tag alt";
  return std::to_string(days) + " Tage alt";
}

std::string LimitText(int days) {
  if (days == 0) return "keine Warnung (WarnenNachTagen=0)";
  return "Warnung nach " + std::to_string(days) + (days == 1 ? " Tag" : " Tagen");
}

// "dd.mm.yyyy hh:mm" of a date-time value.
std::string MomentText(TDateTime moment) {
  return FormatDateText(4, moment) + " " + InsertTimeColon(FormatTimeDigits(moment));
}

// The lines of one job.
void PrintJob(std::ostream& out, const status::JobStatus& job,
              const std::optional<history::Entry>& lastRun, const std::string& optionsFile) {
  const status::Staleness& s = job.staleness;
  out << job.name << '\n';
  out << "  Letzte fehlerfreie Sicherung: ";
  if (s.never)
    out << "keine";
  else
    out << MomentText(job.lastGood) << ", " << AgeText(s.days);
  out << "; " << LimitText(job.warnAfterDays);
  if (s.tooOld) out << (s.never ? " - gilt als zu alt" : " - zu alt");
  out << '\n';
  if (job.optionsUnreadable)
    out << "  Die Optionsdatei " << optionsFile
        << " konnte nicht gelesen werden; es gilt WarnenNachTagen=7.\n";
  out << "  Letzter Lauf: ";
  if (lastRun)
    out << MomentText(lastRun->begin) << ", " << history::KindText(lastRun->kind) << " ("
        << history::StartedText(lastRun->started) << "): " << history::OutcomeText(*lastRun);
  else
    out << "keiner verzeichnet";
  out << '\n';
}

}  // namespace

int RunStatus(Environment& env, TDateTime now) {
  std::ostream& out = *env.out;
  std::ostream& err = *env.err;
  toptionen options;
  tBackups jobs;
  if (options.LoadSettings() == toptionen::LoadResult::Unreadable) {
    err << "Die Einstellungsdatei " << GetIniFileName() << " konnte nicht gelesen werden.\n";
    return kExitUnreadable;
  }
  if (jobs.LoadCatalogue() == tBackups::LoadResult::Unreadable || jobs.LoadFailed()) {
    err << "Die Sicherungsliste " << tBackups::GetDataDir()
        << "volkarn.dat konnte nicht gelesen werden.\n";
    return kExitUnreadable;
  }
  int tooOld = 0;
  for (int i = 0; i < jobs.Count(); ++i) {
    const auto job = status::ReadJobStatus(jobs, i, now);
    if (!job) continue;
    PrintJob(out, *job, history::LastRun(jobs, i),
             tBackups::GetDataDir() + jobs.GetOptionsFileName(i));
    if (job->staleness.tooOld) ++tooOld;
  }
  if (jobs.Count() == 0) err << "Es gibt keine Datensicherung.\n";
  if (tooOld > 0)
    out << (tooOld == 1 ? std::string("1 Datensicherung ist")
                        : std::to_string(tooOld) + " Datensicherungen sind")
        << " zu alt.\n";
  out.flush();
  return tooOld > 0 ? kExitErrors : kExitOk;
}

void NotifyRunEnd(Environment& env, const std::string& what, bool sync, int code,
                  const std::string& failure) {
  if (!env.unattended || !env.notify || code == kExitCancelled) return;
  status::RunEnd end;
  end.run = what;
  // One word per cause, so that the same cause is told once a day.
  switch (code) {
    case kExitOk:
      break;
    case kExitErrors:
      end.cause = "Fehler";
      break;
    case kExitMassRemoval:
      end.cause = "Massenentfernung";
      break;
    case kExitTargetMissing:
      end.cause = "Ziel";
      break;
    case kExitRunning:
      end.cause = "Gesperrt";
      break;
    case kExitUnreadable:
      end.cause = "Unlesbar";
      break;
    default:
      end.cause = "Aufruf";
      break;
  }
  end.summary = "VolKarn: " + what +
                (code == kExitErrors                 ? " mit Fehlern"
                 : code == kExitMassRemoval && !sync ? " ohne Spiegeln"
                                                     : " nicht gestartet");
  end.body = failure;
  for (char& c : end.body)
    if (c == '\r') c = '\n';
  status::TellDesktop(tBackups::GetDataDir(), end, status::TodayText(),
                      [&env](const std::string& summary, const std::string& body) {
                        return env.notify(summary, body);
                      });
}

}  // namespace cli
