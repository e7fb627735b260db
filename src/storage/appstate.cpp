#include "storage/appstate.h"

#include "storage/timeproc.h"

std::string ShownJob::LastDateText() const {
  return LastDate != 0 ? FormatDateText(4, LastDate) : std::string();
}

std::string ShownJob::LastTimeText() const {
  return LastDate != 0 ? InsertTimeColon(FormatTimeDigits(LastTime)) : std::string();
}
