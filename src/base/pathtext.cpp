#include "base/pathtext.h"

#include <deque>

#include "platform/platform.h"
#include "base/codepage.h"

namespace {

std::string& HomeOverride() {
  static std::string dir;
  return dir;
}

// The folders as decided for this run: settings, data.
struct Homes {
  std::string config;
  std::string data;
};

Homes& HomeCache() {
  static Homes homes;
  return homes;
}

const Homes& DecideHomes() {
  Homes& cache = HomeCache();
  if (!cache.data.empty()) return cache;
  // Decided once per run so that the settings and the data folder never
  // end up in two places.
  const std::string programDir = GetProgramDir();
  if (IsPortableProgramDir(programDir)) {
    cache.config = cache.data = programDir;
    return cache;
  }
  cache.data = AddBackslash(platform::UserDataDir());
  cache.config = AddBackslash(platform::UserConfigDir());
  platform::CreateDirPath(RemoveBackslash(cache.data));
  platform::CreateDirPath(RemoveBackslash(cache.config));
  // A settings file beside the data of an installed program (where a data
  // folder copied in may bring it) moves to the settings folder once.
  const std::string ini = ChangeExt(GetProgramFileName(), "ini");
  const std::string old = cache.data + ini;
  if (cache.config != cache.data && !platform::FileExists(cache.config + ini) &&
      platform::FileExists(old)) {
    std::string bytes;
    if (platform::ReadWholeFile(old, bytes) &&
        platform::WriteFileAtomic(cache.config + ini, bytes) == 0)
      platform::DeleteFile(old);
  }
  return cache;
}

// Wildcard match of a file name: "*" any run of characters, "?" one
// character, letter case ignored; "*.*" matches every name.
bool MatchMask(const std::string& name, const std::string& mask) {
  if (mask == "*.*" || mask == "*") return true;
  std::string n = text::Upper(name);
  std::string m = text::Upper(mask);
  std::size_t ni = 0, mi = 0, starM = std::string::npos, starN = 0;
  while (ni < n.size()) {
    if (mi < m.size() && (m[mi] == '?' || m[mi] == n[ni])) {
      ++mi;
      ++ni;
    } else if (mi < m.size() && m[mi] == '*') {
      starM = mi++;
      starN = ni;
    } else if (starM != std::string::npos) {
      mi = starM + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (mi < m.size() && m[mi] == '*') ++mi;
  return mi == m.size();
}

}  // namespace

std::string GetProgramDir() { return AddBackslash(GetFilePath(platform::ProgramFile())); }

std::string GetProgramFileName() { return GetFileName(platform::ProgramFile()); }

bool IsPortableProgramDir(const std::string& programDir) {
  return !programDir.empty() && platform::FileExists(AddBackslash(programDir) + kPortableMarker);
}

std::string GetHomeDir() {
  if (!HomeOverride().empty()) return HomeOverride();
  return DecideHomes().data;
}

std::string GetConfigDir() {
  if (!HomeOverride().empty()) return HomeOverride();
  return DecideHomes().config;
}

void SetHomeDirForTesting(const std::string& dir) {
  HomeOverride() = AddBackslash(dir);
  HomeCache() = Homes();
}

std::string GetIniFileName() { return GetConfigDir() + ChangeExt(GetProgramFileName(), "ini"); }

std::string GetFilePath(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1);
}

std::string GetFileName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string GetParentDir(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string GetLastPathPart(const std::string& path) {
  // A top-level folder such as "/Daten" has the root as its parent: its
  // last part is "Daten", as "C:\Daten" gives "Daten".
  if (path.find('/') == std::string::npos) return path;
  return path.substr(GetParentDir(path).size() + 1);
}

std::string GetExtUpper(const std::string& path) {
  std::string name = GetFileName(path);
  if (name.size() < 2) return std::string();
  // The final character always belongs to the extension, so "a.b." gives
  // "B." and "abc." has none.
  std::size_t dot = name.rfind('.', name.size() - 2);
  if (dot == std::string::npos) return std::string();
  return text::Left(text::Upper(name.substr(dot + 1)), 255);
}

std::string ChangeExt(const std::string& path, const std::string& ext) {
  std::size_t nameStart = GetFilePath(path).size();
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path + "." + ext;
  return path.substr(0, dot) + "." + ext;
}

std::string AddBackslash(const std::string& s) {
  if (s.empty() || s.back() == '/') return s;
  return s + "/";
}

std::string RemoveBackslash(const std::string& s) {
  if (!s.empty() && s.back() == '/') return s.substr(0, s.size() - 1);
  return s;
}

int CountFiles(const std::string& folder, const std::string& mask) {
  int count = 0;
  // One listing open at a time, however deep the tree.
  std::deque<std::string> pending{AddBackslash(folder)};
  while (!pending.empty()) {
    std::string dir = pending.front();
    pending.pop_front();
    platform::DirLister lister(dir);
    if (!lister.IsOpen()) continue;
    platform::DirEntry entry;
    while (lister.Next(entry, false)) {
      if (entry.name == "." || entry.name == ".." || !MatchMask(entry.name, mask)) continue;
      if (entry.kind == platform::EntryKind::Directory)
        pending.push_back(dir + entry.name + "/");
      else
        ++count;
    }
  }
  return count;
}
