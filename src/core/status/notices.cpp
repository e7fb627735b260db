#include "core/status/notices.h"

#include <algorithm>
#include <cstdio>

#include "base/codepage.h"
#include "base/timeproc.h"
#include "platform/platform.h"

namespace status {

namespace {

// The run's name as the book stores it: what Windows-1252 can hold, and no
// control character that would break a line.
std::string StoredRun(const std::string& run) {
  std::string stored = cp1252::ToUtf8(cp1252::FromUtf8(run));
  for (char& c : stored)
    if (static_cast<unsigned char>(c) < 32) c = '?';
  return stored;
}

bool SameRun(const std::string& a, const std::string& b) {
  return text::SameText(StoredRun(a), StoredRun(b));
}

// The date-time value of a "YYYY-MM-DD" text; false for anything else.
bool ReadDay(const std::string& day, TDateTime& value) {
  int year = 0, month = 0, date = 0;
  char rest = 0;
  if (day.size() != 10 ||
      std::sscanf(day.c_str(), "%4d-%2d-%2d%c", &year, &month, &date, &rest) != 3)
    return false;
  return TryEncodeDate(year, month, date, value);
}

bool ReadLine(const std::string& text, NoticeBook::Line& line) {
  const std::size_t first = text.find(';');
  if (first == std::string::npos) return false;
  const std::size_t second = text.find(';', first + 1);
  if (second == std::string::npos) return false;
  line.day = text.substr(0, first);
  line.cause = text.substr(first + 1, second - first - 1);
  line.run = text.substr(second + 1);
  TDateTime day = 0;
  return ReadDay(line.day, day) && !line.cause.empty() && !line.run.empty();
}

}  // namespace

NoticeBook::LoadResult NoticeBook::Load(const std::string& path) {
  *this = NoticeBook();
  std::vector<std::string> stored;
  const LoadResult result = textfile::ReadStoredLines(path, stored);
  loadFailed_ = result == LoadResult::Unreadable;
  for (const std::string& text : stored) {
    Line line;
    if (ReadLine(text, line))
      lines_.push_back(line);
    else if (!text::Trim(text).empty())
      others_.push_back(text);
  }
  return result;
}

int NoticeBook::Save(const std::string& path, const std::string& today) const {
  if (loadFailed_) return kNotWritten;
  TDateTime now = 0;
  const bool haveToday = ReadDay(today, now);
  std::vector<std::string> stored;
  for (const Line& line : lines_) {
    TDateTime day = 0;
    if (haveToday && ReadDay(line.day, day) && now - day > kKeepDays) continue;
    stored.push_back(line.day + ";" + line.cause + ";" + line.run);
  }
  stored.insert(stored.end(), others_.begin(), others_.end());
  return textfile::WriteLines(path, stored);
}

std::optional<Notice> NoticeBook::Decide(const RunEnd& end, const std::string& today) const {
  if (end.cause.empty()) {
    const bool toldFailure = std::any_of(lines_.begin(), lines_.end(),
                                         [&](const Line& l) { return SameRun(l.run, end.run); });
    if (!toldFailure) return std::nullopt;
    return Notice{"VolKarn: " + end.run + " wieder erfolgreich",
                  end.run + ": wieder ohne Fehler beendet."};
  }
  for (const Line& line : lines_)
    if (SameRun(line.run, end.run) && line.cause == end.cause && line.day == today)
      return std::nullopt;
  return Notice{end.summary, end.body};
}

void NoticeBook::Record(const RunEnd& end, const std::string& today) {
  // A success ends every failure of the run; a failure replaces the last
  // notice of the same cause.
  std::erase_if(lines_, [&](const Line& l) {
    return SameRun(l.run, end.run) && (end.cause.empty() || l.cause == end.cause);
  });
  if (!end.cause.empty()) lines_.push_back({today, end.cause, StoredRun(end.run)});
}

void TellDesktop(const std::string& dataDir, const RunEnd& end, const std::string& today,
                 const NoticeSender& send) {
  if (!send) return;
  NoticeBook book;
  const std::string path = dataDir + NoticeBook::kFileName;
  // An unreadable book knows of no failure told: a success says nothing,
  // a failure is told every time rather than never.
  book.Load(path);
  const std::optional<Notice> notice = book.Decide(end, today);
  if (!notice || !send(notice->summary, notice->body)) return;
  if (book.LoadFailed()) return;
  book.Record(end, today);
  // A book that cannot be written only means the next notice may come
  // again; the run is over and its outcome stands.
  (void)book.Save(path, today);
}

std::string TodayText() {
  const platform::LocalTime t = platform::Now();
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
  return text;
}

}  // namespace status
