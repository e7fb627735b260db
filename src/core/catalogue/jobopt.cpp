#include "core/catalogue/jobopt.h"

#include <cstdint>

#include "base/codepage.h"
#include "base/pattern.h"
#include "base/timeproc.h"
#include "core/catalogue/daten.h"
#include "platform/platform.h"

namespace {

constexpr char kVersions[] = "Versionen";
constexpr char kVersionDays[] = "VersionenTage";
constexpr char kMirror[] = "Spiegeln";
constexpr char kWarnAfterDays[] = "WarnenNachTagen";
constexpr char kPattern[] = "Ausschluss";
// The most days a version may be kept for (about a hundred years).
constexpr std::int32_t kMostDays = 36500;

bool ReadFlag(const std::string& value, bool& flag) {
  const std::string v = text::Trim(value);
  if (v != "0" && v != "1") return false;
  flag = v == "1";
  return true;
}

bool ReadDays(const std::string& value, int& days) {
  std::int32_t n = 0;
  if (!TryTextToInt(text::Trim(value), n) || n < 0 || n > kMostDays) return false;
  days = n;
  return true;
}

}  // namespace

std::string JobOptions::PatternProblem(const std::string& pattern) {
  const std::string p = text::Trim(pattern);
  if (p.empty()) return "Bitte geben Sie ein Muster ein, etwa \"Cache/\" oder \"*.tmp\".";
  if (!cp1252::IsRepresentable(p))
    return "Das Muster \"" + p + "\" enthält Zeichen, die die Optionsdatei nicht speichern kann.";
  ExclusionPatterns test;
  if (!test.Add(p))
    return "Das Muster \"" + p +
           "\" trifft nichts. Ein Muster nennt einen Namen, etwa \"Cache/\" oder \"*.tmp\".";
  return std::string();
}

const std::vector<std::string>& JobOptions::Keys() {
  static const std::vector<std::string> keys = {kVersions, kVersionDays, kMirror, kWarnAfterDays,
                                                kPattern};
  return keys;
}

JobOptions::LoadResult JobOptions::Load(const std::string& path) {
  *this = JobOptions();
  std::vector<std::string> lines;
  switch (textfile::ReadStoredLines(path, lines)) {
    case textfile::Stored::Missing:
      return LoadResult::Missing;
    case textfile::Stored::Unreadable:
      loadFailed_ = true;
      return LoadResult::Unreadable;
    case textfile::Stored::Loaded:
      break;
  }
  for (const std::string& line : lines) {
    const std::size_t eq = line.find('=');
    // A value that does not fit its key keeps the default and the line
    // stays as it was, so that nothing the user wrote is lost.
    // An empty pattern line of the file does not clear the ones before it.
    if (eq != std::string::npos && text::SameText(text::Trim(line.substr(0, eq)), kPattern) &&
        text::Trim(line.substr(eq + 1)).empty())
      continue;
    if (eq == std::string::npos || Set(line.substr(0, eq), line.substr(eq + 1)) != SetResult::Done)
      if (!text::Trim(line).empty()) others_.push_back(line);
  }
  return LoadResult::Loaded;
}

int JobOptions::Save(const std::string& path) const {
  if (loadFailed_) return kNotWritten;
  std::vector<std::string> lines = Lines();
  lines.insert(lines.end(), others_.begin(), others_.end());
  return textfile::WriteLines(path, lines);
}

JobOptions::SetResult JobOptions::Set(const std::string& key, const std::string& value) {
  const std::string k = text::Trim(key);
  if (text::SameText(k, kVersions))
    return ReadFlag(value, Versions) ? SetResult::Done : SetResult::BadValue;
  if (text::SameText(k, kMirror))
    return ReadFlag(value, Mirror) ? SetResult::Done : SetResult::BadValue;
  if (text::SameText(k, kVersionDays))
    return ReadDays(value, VersionDays) ? SetResult::Done : SetResult::BadValue;
  if (text::SameText(k, kWarnAfterDays))
    return ReadDays(value, WarnAfterDays) ? SetResult::Done : SetResult::BadValue;
  const std::string pattern = text::Trim(value);
  auto listed = [&] {
    for (auto it = Patterns.begin(); it != Patterns.end(); ++it)
      if (text::SameText(*it, pattern)) return it;
    return Patterns.end();
  };
  const bool set = text::SameText(k, kPattern);
  if (set && pattern.empty()) {
    Patterns.clear();
    return SetResult::Done;
  }
  if (set || text::SameText(k, std::string(kPattern) + "+")) {
    if (!PatternProblem(pattern).empty()) return SetResult::BadValue;
    if (listed() == Patterns.end()) Patterns.push_back(pattern);
    return SetResult::Done;
  }
  if (text::SameText(k, std::string(kPattern) + "-")) {
    const auto it = listed();
    if (it == Patterns.end()) return SetResult::BadValue;
    Patterns.erase(it);
    return SetResult::Done;
  }
  return SetResult::UnknownKey;
}

std::string JobOptions::BadValueText(const std::string& key, const std::string& value) const {
  const std::string k = text::Trim(key);
  if (text::SameText(k, std::string(kPattern) + "-"))
    return "Das Muster \"" + text::Trim(value) + "\" steht nicht in der Liste der Ausschlüsse.";
  if (text::SameText(k, kPattern) || text::SameText(k, std::string(kPattern) + "+"))
    return PatternProblem(value);
  return "Ungültiger Wert \"" + value + "\" für " + key + ".";
}

std::vector<std::string> JobOptions::Lines() const {
  std::vector<std::string> lines = {std::string(kVersions) + "=" + (Versions ? "1" : "0"),
                                    std::string(kVersionDays) + "=" + IntToText(VersionDays),
                                    std::string(kMirror) + "=" + (Mirror ? "1" : "0"),
                                    std::string(kWarnAfterDays) + "=" + IntToText(WarnAfterDays)};
  for (const std::string& pattern : Patterns)
    lines.push_back(std::string(kPattern) + "=" + pattern);
  return lines;
}

std::vector<std::string> JobPatterns(const tBackups& jobs, int index) {
  const std::string name = jobs.GetOptionsFileName(index);
  if (name.empty() || !tBackups::IsSafeFileName(name)) return {};
  JobOptions options;
  if (options.Load(tBackups::GetDataDir() + name) != JobOptions::LoadResult::Loaded) return {};
  return options.Patterns;
}
