#include "core/history/history.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "core/catalogue/daten.h"
#include "core/versions/versions.h"
#include "platform/platform.h"

namespace history {

namespace {

constexpr char kSep = '|';

// The stored words of the file (German, as the program shows them).
constexpr const char* kKindWords[] = {"Sicherung voll",    "Sicherung inkrementell",
                                      "Prüfung",           "Vervollständigung",
                                      "Wiederherstellung", "Synchronisation"};
constexpr const char* kStartedWords[] = {"Fenster", "Befehlszeile", "Zeitplan"};
constexpr const char* kOutcomeWords[] = {"ok", "Fehler", "abgebrochen", "nicht gestartet"};

template <typename E, std::size_t N>
bool FromWord(const std::string& word, const char* const (&words)[N], E& value) {
  for (std::size_t i = 0; i < N; ++i)
    if (word == words[i]) {
      value = static_cast<E>(i);
      return true;
    }
  return false;
}

// "YYYY-MM-DD hh:mm:ss" of a local moment, and back.
std::string StoredMoment(TDateTime moment) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(moment, y, mo, d);
  DecodeTime(moment, h, mi, s, ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return buf;
}

bool ReadNumber(const std::string& text, std::int64_t& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= 0;
}

bool ReadMoment(const std::string& text, TDateTime& moment) {
  int y, mo, d, h, mi, s;
  char tail;
  if (text.size() != 19 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) !=
          6 ||
      h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0)
    return false;
  TDateTime date = 0;
  if (!TryEncodeDate(y, mo, d, date)) return false;
  moment = date + EncodeTime(h, mi, s, 0);
  return true;
}

std::vector<std::string> Split(const std::string& line, std::size_t maxFields) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (fields.size() + 1 < maxFields) {
    const std::size_t bar = line.find(kSep, start);
    if (bar == std::string::npos) break;
    fields.push_back(line.substr(start, bar - start));
    start = bar + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

// A free text on one line of the file: no line break, no field separator
// where one would end the field.
std::string OneLine(std::string text, bool last) {
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == '\t' || (!last && c == kSep)) c = ' ';
  return text;
}

// The key that pairs a begun line with its end line.
std::string RunKey(const std::string& begin, const std::string& pid) { return begin + "/" + pid; }

// One line of the file, parsed: B (begun) or E (ended).
struct Parsed {
  bool ended = false;
  std::string key;
  int pid = 0;
  Entry entry;
};

bool ParseLine(const std::string& line, Parsed& out) {
  if (line.size() < 2 || line[1] != kSep || (line[0] != 'B' && line[0] != 'E')) return false;
  out.ended = line[0] == 'E';
  const std::vector<std::string> f = Split(line, out.ended ? 13 : 5);
  if (f.size() != (out.ended ? 13u : 5u)) return false;
  std::int64_t pid = 0;
  Entry& e = out.entry;
  if (!ReadMoment(f[1], e.begin) || !ReadNumber(f[2], pid) || pid > 0x7fffffff ||
      !FromWord(f[3], kKindWords, e.kind) || !FromWord(f[4], kStartedWords, e.started))
    return false;
  out.pid = static_cast<int>(pid);
  out.key = RunKey(f[1], f[2]);
  if (!out.ended) {
    e.outcome = Outcome::Running;
    return true;
  }
  return ReadMoment(f[5], e.end) && e.end + 1e-9 >= e.begin &&
         FromWord(f[6], kOutcomeWords, e.outcome) && ReadNumber(f[7], e.counts.files) &&
         ReadNumber(f[8], e.counts.errors) && ReadNumber(f[9], e.counts.versions) &&
         ReadNumber(f[10], e.counts.bytes) && ((e.report = f[11]), true) &&
         ((e.reason = f[12]), true);
}

// The raw lines of the file (Windows-1252 as stored); false when it
// cannot be read (a missing file gives no lines and true).
bool ReadRawLines(const std::string& file, std::vector<std::string>& lines) {
  std::string bytes;
  int code = 0;
  if (!platform::ReadWholeFile(file, bytes, &code)) return code == platform::kErrFileNotFound;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    if (end > start) lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

bool IsReportName(const std::string& name) {
  // "YYYY-MM-DD hhmmss <kind>.txt", perhaps with "-N" after the stamp.
  return name.size() > 22 && name.compare(name.size() - 4, 4, ".txt") == 0 &&
         versions::ParseFolderName(name.substr(0, 17)).has_value();
}

}  // namespace

// ------------------------------------------------------------- targets --

Target ForJob(const tBackups& jobs, int index, Started started) {
  Target target;
  const std::string name = jobs.GetHistoryFileName(index);
  if (!tBackups::IsSafeFileName(name) || name == jobs.GetListFileName(index)) return target;
  std::string stem = name;
  if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".vlf") == 0)
    stem.resize(stem.size() - 4);
  const std::string dataDir = tBackups::GetDataDir();
  target.file = dataDir + name;
  target.reportFolder = dataDir + kReportFolder + "/" + OneLine(stem, false) + "/";
  target.started = started;
  return target;
}

std::string SyncFileName(const std::string& name) { return name + ".svl"; }

Target ForSync(const std::string& dataDir, const std::string& name, Started started) {
  Target target;
  if (!tBackups::IsSafeFileName(SyncFileName(name))) return target;
  target.file = AddBackslash(dataDir) + SyncFileName(name);
  target.reportFolder =
      AddBackslash(dataDir) + kReportFolder + "/Synchronisation " + OneLine(name, false) + "/";
  target.started = started;
  return target;
}

// ------------------------------------------------------------ recorder --

Recorder::Recorder(Target target, Kind kind) : target_(std::move(target)), kind_(kind) {}

Recorder::~Recorder() {
  if (begun_ && !ended_) End(Outcome::Cancelled, Counts{}, {});
}

TDateTime Recorder::Moment() const { return Clock != nullptr ? Clock() : Now(); }

namespace {

std::string BegunLine(const std::string& begin, Kind kind, Started started) {
  return std::string("B|") + begin + "|" + std::to_string(platform::CurrentProcessId()) + "|" +
         kKindWords[static_cast<int>(kind)] + "|" + kStartedWords[static_cast<int>(started)];
}

// The file's size after the line (0 when it could not be written).
std::uint64_t Append(const std::string& file, const std::string& line) {
  std::uint64_t size = 0;
  (void)platform::AppendToFile(file, cp1252::FromUtf8(line) + "\r\n", true, &size);
  return size;
}

// Rewrites the file with its last kKeepRuns runs once it holds more than
// kTrimAt. A file that cannot be read is left as it is.
void TrimFile(const std::string& file, std::uint64_t size) {
  // No end line is shorter than this: a smaller file needs no look.
  constexpr std::uint64_t kShortestLine = 70;
  if (size < kTrimAt * kShortestLine) return;
  std::vector<std::string> lines;
  if (!ReadRawLines(file, lines)) return;
  std::size_t ended = 0;
  for (const std::string& line : lines) ended += line.compare(0, 2, "E|") == 0 ? 1 : 0;
  if (ended <= kTrimAt) return;
  // From the end back to the kKeepRuns-th end line: what comes later stays.
  std::size_t keepFrom = lines.size(), seen = 0;
  while (keepFrom > 0 && seen < kKeepRuns) {
    --keepFrom;
    if (lines[keepFrom].compare(0, 2, "E|") == 0) ++seen;
  }
  std::string bytes;
  for (std::size_t i = keepFrom; i < lines.size(); ++i) bytes += lines[i] + "\r\n";
  (void)platform::WriteFileAtomic(file, bytes);
}

// Removes the oldest kept reports of the folder beyond kKeptReports (only
// names the program gives them).
void TrimReports(const std::string& folder) {
  std::vector<std::string> names;
  if (!platform::ListFileNames(folder, names)) return;
  std::vector<std::string> reports;
  for (const std::string& name : names)
    if (IsReportName(name)) reports.push_back(name);
  std::sort(reports.begin(), reports.end());
  if (reports.size() <= kKeptReports) return;
  for (std::size_t i = 0; i + kKeptReports < reports.size(); ++i)
    platform::DeleteFile(folder + reports[i]);
}

// Writes the report lines as "<stamp> <kind>.txt" into the folder; its
// name, or empty when it could not be kept.
std::string KeepReport(const Target& target, TDateTime begin, Kind kind,
                       const std::vector<std::string>& lines) {
  if (lines.empty() || !platform::CreateDirPath(target.reportFolder)) return std::string();
  const std::string stamp = versions::StampName(begin);
  std::string name;
  for (int n = 1; n < 100; ++n) {
    name = stamp + (n == 1 ? std::string() : "-" + std::to_string(n)) + " " +
           kKindWords[static_cast<int>(kind)] + ".txt";
    if (!platform::PathExists(target.reportFolder + name)) break;
  }
  if (textfile::WriteLinesVisible(target.reportFolder + name, lines) != 0) return std::string();
  TrimReports(target.reportFolder);
  return name;
}

}  // namespace

void Recorder::Begin(TDateTime start) {
  begin_ = start;
  begun_ = true;
  ended_ = false;
  if (!Enabled()) return;
  Append(target_.file, BegunLine(StoredMoment(begin_), kind_, target_.started));
}

void Recorder::End(Outcome outcome, const Counts& counts,
                   const std::vector<std::string>& reportLines, const std::string& reason) {
  // A run that never began ends the moment it is noted.
  const bool atOnce = !begun_;
  if (atOnce) begin_ = Moment();
  begun_ = true;
  ended_ = true;
  if (!Enabled()) return;
  const std::string report = KeepReport(target_, begin_, kind_, reportLines);
  const std::string line =
      "E" + BegunLine(StoredMoment(begin_), kind_, target_.started).substr(1) + "|" +
      StoredMoment(atOnce ? begin_ : std::max(Moment(), begin_)) + "|" +
      kOutcomeWords[static_cast<int>(outcome)] + "|" + std::to_string(counts.files) + "|" +
      std::to_string(counts.errors) + "|" + std::to_string(counts.versions) + "|" +
      std::to_string(counts.bytes) + "|" + OneLine(report, false) + "|" + OneLine(reason, true);
  TrimFile(target_.file, Append(target_.file, line));
}

void Recorder::NotStarted(const std::string& reason) {
  begun_ = false;
  End(Outcome::NotStarted, Counts{}, {}, reason);
}

// -------------------------------------------------------------- reader --

std::vector<Entry> ReadRuns(const std::string& file) {
  std::vector<std::string> lines;
  std::vector<Entry> runs;
  if (!ReadRawLines(file, lines)) return runs;
  std::map<std::string, std::size_t> begun;  // key -> index in runs
  std::vector<int> pids;
  for (const std::string& raw : lines) {
    Parsed p;
    if (!ParseLine(cp1252::ToUtf8(raw), p)) continue;
    const auto found = begun.find(p.key);
    if (found != begun.end() && runs[found->second].outcome == Outcome::Running) {
      runs[found->second] = p.entry;
      continue;
    }
    if (!p.ended) begun[p.key] = runs.size();
    runs.push_back(p.entry);
    pids.push_back(p.pid);
  }
  for (std::size_t i = 0; i < runs.size(); ++i)
    if (runs[i].outcome == Outcome::Running && !platform::SameProgramRunning(pids[i]))
      runs[i].outcome = Outcome::Killed;
  std::reverse(runs.begin(), runs.end());
  return runs;
}

std::optional<Entry> LastRun(const std::string& file) {
  std::vector<Entry> runs = ReadRuns(file);
  if (runs.empty()) return std::nullopt;
  return runs.front();
}

std::optional<Entry> LastGoodBackup(const std::string& file) {
  for (const Entry& e : ReadRuns(file))
    if (e.IsBackup() && e.outcome == Outcome::Ok) return e;
  return std::nullopt;
}

std::optional<Entry> LastRun(const tBackups& jobs, int index) {
  const Target target = ForJob(jobs, index, Started::Window);
  return target.Enabled() ? LastRun(target.file) : std::nullopt;
}

std::optional<Entry> LastGoodBackup(const tBackups& jobs, int index) {
  const Target target = ForJob(jobs, index, Started::Window);
  return target.Enabled() ? LastGoodBackup(target.file) : std::nullopt;
}

// --------------------------------------------------------------- texts --

std::string KindText(Kind kind) { return kKindWords[static_cast<int>(kind)]; }

std::string StartedText(Started started) { return kStartedWords[static_cast<int>(started)]; }

std::string OutcomeText(const Entry& entry) {
  switch (entry.outcome) {
    case Outcome::NotStarted:
      return entry.reason.empty() ? "nicht gestartet" : "nicht gestartet: " + entry.reason;
    case Outcome::Killed:
      return "abgebrochen (Programm beendet)";
    case Outcome::Running:
      return "läuft";
    default:
      return kOutcomeWords[static_cast<int>(entry.outcome)];
  }
}

std::string MomentText(TDateTime moment) {
  int h, mi, s, ms;
  DecodeTime(moment, h, mi, s, ms);
  char buf[16];
  std::snprintf(buf, sizeof buf, " %02d:%02d:%02d", h, mi, s);
  return FormatDateText(4, moment) + buf;
}

std::string DurationText(const Entry& entry) {
  if (entry.end == 0) return std::string();
  const long long total = std::llround(std::max(0.0, entry.end - entry.begin) * 86400.0);
  char buf[32];
  if (total >= 3600)
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(buf, sizeof buf, "%lld:%02lld", total / 60, total % 60);
  return buf;
}

std::string BytesText(std::int64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = -1;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f %s", value, kUnits[unit]);
  std::string text = buf;
  std::replace(text.begin(), text.end(), '.', ',');
  return text;
}

const char* const kColumns[kColumnCount] = {
    "Beginn", "Dauer", "Art", "Gestartet", "Ergebnis", "Dateien", "Fehler", "Versionen", "Bytes"};

std::vector<std::string> RowTexts(const Entry& entry) {
  std::vector<std::string> row(kColumnCount);
  row[kBegin] = MomentText(entry.begin);
  row[kDuration] = DurationText(entry);
  row[kKind] = KindText(entry.kind);
  row[kStarted] = StartedText(entry.started);
  row[kOutcome] = OutcomeText(entry);
  row[kFiles] = std::to_string(entry.counts.files);
  row[kErrors] = std::to_string(entry.counts.errors);
  row[kVersions] = std::to_string(entry.counts.versions);
  row[kBytes] = BytesText(entry.counts.bytes);
  return row;
}

}  // namespace history
