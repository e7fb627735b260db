// Desktop notifications of runs that nobody watches (a timer, a script):
// a run that cannot start or ends with errors is told at most once a day
// for the same run and cause, and the first run without errors after such
// a notification is told as "wieder erfolgreich". Which notifications went
// out is kept in the data folder, so that the next run knows.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "core/catalogue/daten.h"

namespace status {

// How a run ended, as far as the desktop is told.
struct RunEnd {
  // The run, as the texts name it: Datensicherung "Briefe".
  std::string run;
  // Why it failed, one word that stays the same from run to run
  // ("Fehler", "Ziel", ...); empty for a run that ended without errors.
  std::string cause;
  // The notification of a failure: its title and text.
  std::string summary;
  std::string body;
};

struct Notice {
  std::string summary;
  std::string body;
};

// The notifications sent, one line per run and cause with the day of the
// last one: "YYYY-MM-DD;Ursache;Lauf" in the data folder's volkarn.mld
// (Windows-1252, CR LF, replaced atomically). Lines it cannot read stay as
// they are; a file that cannot be read is never written over.
class NoticeBook {
 public:
  static constexpr const char* kFileName = tBackups::kNoticeBookName;
  // A line older than this many days is dropped when the book is saved.
  static constexpr int kKeepDays = 90;
  using LoadResult = textfile::Stored;

  struct Line {
    std::string day;  // "YYYY-MM-DD", local date
    std::string cause;
    std::string run;
  };

  LoadResult Load(const std::string& path);
  // 0, an error code of the error table, or kNotWritten after a load that
  // could not read the file.
  int Save(const std::string& path, const std::string& today) const;
  static constexpr int kNotWritten = -1;
  bool LoadFailed() const { return loadFailed_; }

  // What to tell the desktop about `end` on `today`; nothing when this run
  // was told the same cause today already, or when it succeeded and no
  // failure of it was told before.
  std::optional<Notice> Decide(const RunEnd& end, const std::string& today) const;
  // Notes that the notice Decide gave for `end` went out.
  void Record(const RunEnd& end, const std::string& today);

  const std::vector<Line>& Lines() const { return lines_; }

 private:
  std::vector<Line> lines_;
  std::vector<std::string> others_;
  bool loadFailed_ = false;
};

// Sends a notification; false when none could be sent (no session bus).
using NoticeSender = std::function<bool(const std::string& summary, const std::string& body)>;

// The whole step after a run nobody watched: reads the book in `dataDir`
// ("/" at the end), decides, sends and notes what went out. A failure is
// told also when the book cannot be read (it is then left as it is); a
// notice that could not be sent is not noted, so that a later run tells
// it. Nothing here changes the run's outcome. `today`: "YYYY-MM-DD".
void TellDesktop(const std::string& dataDir, const RunEnd& end, const std::string& today,
                 const NoticeSender& send);

// Today's local date as "YYYY-MM-DD".
std::string TodayText();

}  // namespace status
