#include "core/catalogue/jobopt.h"

#include <cstdint>

#include "base/codepage.h"
#include "base/timeproc.h"
#include "platform/platform.h"

namespace {

constexpr char kVersions[] = "Versionen";
constexpr char kVersionDays[] = "VersionenTage";
constexpr char kMirror[] = "Spiegeln";
// The most days a version may be kept for (about a hundred years).
constexpr std::int32_t kMostDays = 36500;

bool ReadFlag(const std::string& value, bool& flag) {
  const std::string v = text::Trim(value);
  if (v != "0" && v != "1") return false;
  flag = v == "1";
  return true;
}

}  // namespace

const std::vector<std::string>& JobOptions::Keys() {
  static const std::vector<std::string> keys = {kVersions, kVersionDays, kMirror};
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
  if (text::SameText(k, kVersionDays)) {
    std::int32_t days = 0;
    if (!TryTextToInt(text::Trim(value), days) || days < 0 || days > kMostDays)
      return SetResult::BadValue;
    VersionDays = days;
    return SetResult::Done;
  }
  return SetResult::UnknownKey;
}

std::vector<std::string> JobOptions::Lines() const {
  return {std::string(kVersions) + "=" + (Versions ? "1" : "0"),
          std::string(kVersionDays) + "=" + IntToText(VersionDays),
          std::string(kMirror) + "=" + (Mirror ? "1" : "0")};
}
