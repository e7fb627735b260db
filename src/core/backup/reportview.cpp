#include "core/backup/reportview.h"

#include "base/errorbox.h"
#include "core/backup/copyengine.h"
#include "platform/platform.h"

bool OfferReportView(const std::string& reportPath) {
  if (!AskYesNo(kViewReportQuestion)) return false;
  // "notepad.exe" stands for the desktop's text editor; where no program
  // takes the name, the report is opened as a file.
  if (platform::LaunchFile("notepad.exe", reportPath) == 31)
    platform::LaunchFile(reportPath, std::string());
  return true;
}
