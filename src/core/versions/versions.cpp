#include "core/versions/versions.h"

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"

namespace versions {

namespace {

bool Digits(const std::string& text, std::size_t from, std::size_t count, int& value) {
  if (from + count > text.size()) return false;
  value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

std::string RootOf(const std::string& jobTarget, const char* folderName) {
  std::string root = jobTarget;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root != "/") root += '/';
  return root + folderName;
}

bool IsVersionsName(const std::string& name) { return Lower(name) == Lower(kFolderName); }

bool IsVersionsFolderPath(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const auto slash = p.rfind('/');
  return IsVersionsName(slash == std::string::npos ? p : p.substr(slash + 1));
}

std::string StampName(TDateTime moment) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
  // To the second below: a run at 12:00:00.7 is the run of 12:00:00.
  DecodeDate(moment, year, month, day);
  DecodeTime(moment, hour, minute, second, ms);
  if (ms >= 500) {
    // DecodeTime rounds to the millisecond; the name never rounds up.
    const TDateTime down = moment - ms / 86400000.0;
    DecodeDate(down, year, month, day);
    DecodeTime(down, hour, minute, second, ms);
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d%02d%02d", year, month, day, hour, minute,
                second);
  return text;
}

bool RunFolder::operator<(const RunFolder& other) const {
  if (moment != other.moment) return moment < other.moment;
  if (restore != other.restore) return !restore;
  return sequence < other.sequence;
}

std::optional<RunFolder> ParseFolderName(const std::string& name) {
  // "YYYY-MM-DD hhmmss", then "-N" (N from 2), then " Wiederherstellung".
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (name.size() < 17 || !Digits(name, 0, 4, year) || name[4] != '-' ||
      !Digits(name, 5, 2, month) || name[7] != '-' || !Digits(name, 8, 2, day) || name[10] != ' ' ||
      !Digits(name, 11, 2, hour) || !Digits(name, 13, 2, minute) || !Digits(name, 15, 2, second))
    return std::nullopt;
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  TDateTime date = 0;
  if (!TryEncodeDate(year, month, day, date)) return std::nullopt;
  RunFolder folder;
  folder.name = name;
  folder.moment = date + EncodeTime(hour, minute, second, 0);
  std::string rest = name.substr(17);
  const std::string suffix = kRestoreSuffix;
  if (rest.size() >= suffix.size() &&
      rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) == 0) {
    folder.restore = true;
    rest.resize(rest.size() - suffix.size());
  }
  if (!rest.empty()) {
    if (rest[0] != '-' || rest.size() < 2 || rest.size() > 6 || rest[1] == '0') return std::nullopt;
    int sequence = 0;
    if (!Digits(rest, 1, rest.size() - 1, sequence) || sequence < 2) return std::nullopt;
    folder.sequence = sequence;
  }
  return folder;
}

int ListRunFolders(const std::string& jobTarget, std::vector<RunFolder>& folders,
                   const char* folderName) {
  folders.clear();
  const std::string root = RootOf(jobTarget, folderName);
  platform::DirLister listing(root);
  if (!listing.IsOpen()) return platform::PathExists(root) ? platform::kErrAccessDenied : 0;
  platform::DirEntry entry;
  while (listing.Next(entry, false)) {
    if (entry.kind != platform::EntryKind::Directory) continue;
    if (auto folder = ParseFolderName(entry.name)) folders.push_back(*folder);
  }
  if (int err = listing.ReadError()) return err;
  std::sort(folders.begin(), folders.end());
  return 0;
}

int MakeRunFolder(const std::string& jobTarget, TDateTime moment, bool restore, std::string& name,
                  const char* folderName) {
  const std::string root = RootOf(jobTarget, folderName);
  if (int err = platform::MakeOwnFolder(root); err != 0 && err != platform::kErrFileExists)
    return err;
  if (!platform::DirExists(root)) return platform::kErrDirectory;
  const std::string stamp = StampName(moment);
  for (int sequence = 1; sequence < 100000; ++sequence) {
    name = stamp;
    if (sequence > 1) name += "-" + std::to_string(sequence);
    if (restore) name += kRestoreSuffix;
    const int err = platform::MakeOwnFolder(root + "/" + name);
    if (err != platform::kErrFileExists) return err;
  }
  return platform::kErrFileExists;
}

int WriteAddedList(const std::string& runFolder, const std::vector<std::string>& paths) {
  std::string bytes;
  for (const std::string& path : paths) {
    // A name may hold line breaks: "\\", "\r" and "\n" stand for them.
    for (const char c : path) {
      if (c == '\\')
        bytes += "\\\\";
      else if (c == '\r')
        bytes += "\\r";
      else if (c == '\n')
        bytes += "\\n";
      else
        bytes += c;
    }
    bytes += "\r\n";
  }
  return platform::WriteFileAtomic(runFolder + "/" + kAddedListName, bytes);
}

bool ReadAddedList(const std::string& runFolder, std::vector<std::string>& paths) {
  paths.clear();
  const std::string file = runFolder + "/" + kAddedListName;
  std::string bytes;
  int code = 0;
  if (!platform::ReadWholeFile(file, bytes, &code)) return !platform::PathExists(file);
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string path;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        const char next = line[++i];
        path += next == 'r' ? '\r' : next == 'n' ? '\n' : next;
      } else {
        path += line[i];
      }
    }
    if (!path.empty()) paths.push_back(path);
    start = end + 1;
  }
  return true;
}

}  // namespace versions
