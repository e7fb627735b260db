#include "core/catalogue/daten.h"

#include <bit>
#include <cstring>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/history/history.h"
#include "platform/platform.h"

int SelectedJob = 0;

namespace {

// Offsets and capacities of the record's fields.
constexpr std::size_t kNameAt = 0, kListAt = 21, kExtAt = 42, kExclAt = 63, kTargetAt = 84;
constexpr std::size_t kShortMax = 20, kTargetMax = 255;
constexpr std::size_t kDateAt = 344, kTimeAt = 352;

std::string GetText(const std::array<unsigned char, JobRecord::kSize>& b, std::size_t at,
                    std::size_t max) {
  std::size_t n = b[at];
  if (n > max) n = max;  // a damaged length byte never reaches the next field
  return cp1252::ToUtf8(std::string(reinterpret_cast<const char*>(&b[at + 1]), n));
}

void SetText(std::array<unsigned char, JobRecord::kSize>& b, std::size_t at, std::size_t max,
             const std::string& utf8) {
  // Windows-1252 holds one byte per character, so cutting the bytes cuts
  // the characters.
  std::string bytes = cp1252::FromUtf8(utf8);
  if (bytes.size() > max) bytes.resize(max);
  b[at] = static_cast<unsigned char>(bytes.size());
  std::memset(&b[at + 1], 0, max);
  std::memcpy(&b[at + 1], bytes.data(), bytes.size());
}

double GetDouble(const std::array<unsigned char, JobRecord::kSize>& b, std::size_t at) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[at + static_cast<std::size_t>(i)];
  return std::bit_cast<double>(bits);
}

void SetDouble(std::array<unsigned char, JobRecord::kSize>& b, std::size_t at, double value) {
  auto bits = std::bit_cast<std::uint64_t>(value);
  for (std::size_t i = 0; i < 8; ++i) b[at + i] = static_cast<unsigned char>(bits >> (8 * i));
}

// Characters that file names may not hold on the desktops that share a
// data folder, and control characters.
bool IsRefusedInFileName(char32_t c) {
  switch (c) {
    case U'/':
    case U'\\':
    case U':':
    case U'*':
    case U'?':
    case U'"':
    case U'<':
    case U'>':
    case U'|':
      return true;
    default:
      return c < 32 || c == 127;
  }
}

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
    s.replace(pos, from.size(), to);
  return s;
}

}  // namespace

std::string JobRecord::Name() const { return GetText(bytes, kNameAt, kShortMax); }
std::string JobRecord::ListFile() const { return GetText(bytes, kListAt, kShortMax); }
std::string JobRecord::ExtFile() const { return GetText(bytes, kExtAt, kShortMax); }
std::string JobRecord::ExclFile() const { return GetText(bytes, kExclAt, kShortMax); }
std::string JobRecord::TargetDir() const { return GetText(bytes, kTargetAt, kTargetMax); }
double JobRecord::LastDate() const { return GetDouble(bytes, kDateAt); }
double JobRecord::LastTime() const { return GetDouble(bytes, kTimeAt); }

void JobRecord::SetName(const std::string& s) { SetText(bytes, kNameAt, kShortMax, s); }
void JobRecord::SetListFile(const std::string& s) { SetText(bytes, kListAt, kShortMax, s); }
void JobRecord::SetExtFile(const std::string& s) { SetText(bytes, kExtAt, kShortMax, s); }
void JobRecord::SetExclFile(const std::string& s) { SetText(bytes, kExclAt, kShortMax, s); }
void JobRecord::SetTargetDir(const std::string& s) { SetText(bytes, kTargetAt, kTargetMax, s); }
void JobRecord::SetLastDate(double d) { SetDouble(bytes, kDateAt, d); }
void JobRecord::SetLastTime(double t) { SetDouble(bytes, kTimeAt, t); }

std::string tBackups::GetDataDir() {
  std::string dir = GetHomeDir() + "VKDaten/";
  if (!platform::DirExists(dir)) platform::CreateDirPath(dir);
  return dir;
}

std::string tBackups::MakeJobFileName(const std::string& name, const std::string& ext) const {
  // The stem goes into the record as Windows-1252, so every character of
  // it must exist there; blanks go, refused characters become "_".
  std::string clean;
  for (std::size_t i = 0, n = text::Length(name); i < n; ++i) {
    std::string ch = text::Left(text::Mid(name, i), 1);
    if (ch == " ") continue;
    char32_t first = static_cast<unsigned char>(ch[0]);
    if ((ch.size() == 1 && IsRefusedInFileName(first)) || !cp1252::IsRepresentable(ch))
      clean += "_";
    else
      clean += ch;
  }
  std::string stem = text::Left(clean, 8);
  if (stem.empty()) stem = "_";
  if (stem[0] == '.') stem[0] = '_';  // never a hidden file

  std::string dir = GetDataDir();
  std::string candidate = stem + "." + ext;
  for (int number = 1; platform::PathExists(dir + candidate) || IsReservedName(candidate); ++number)
    candidate = stem + std::to_string(number) + "." + ext;
  return candidate;
}

tBackups::LoadResult tBackups::LoadCatalogue() {
  std::string path = GetDataDir() + kCatalogueName;
  if (!platform::PathExists(path)) return LoadResult::Missing;
  std::string bytes;
  int code = 0;
  if (!platform::ReadWholeFile(path, bytes, &code)) {
    if (code == platform::kErrFileNotFound && !platform::PathExists(path))
      return LoadResult::Missing;
    loadFailed_ = true;
    return LoadResult::Unreadable;
  }
  jobs_.reserve(jobs_.size() + bytes.size() / JobRecord::kSize);
  for (std::size_t at = 0; at + JobRecord::kSize <= bytes.size(); at += JobRecord::kSize) {
    JobRecord record;
    std::memcpy(record.bytes.data(), bytes.data() + at, JobRecord::kSize);
    jobs_.push_back(record);
  }
  return LoadResult::Loaded;
}

bool tBackups::SaveCatalogue() {
  // A catalogue that could not be read is never overwritten nor deleted.
  if (loadFailed_) {
    saveError_ = kSaveRefused;
    return false;
  }
  std::string path = GetDataDir() + kCatalogueName;
  if (jobs_.empty()) {
    saveError_ =
        !platform::PathExists(path) || platform::DeleteFile(path) ? 0 : platform::kErrAccessDenied;
  } else {
    std::string bytes;
    bytes.reserve(jobs_.size() * JobRecord::kSize);
    for (const JobRecord& record : jobs_) {
      std::size_t n = record.bytes[kNameAt];
      if (n > kShortMax) n = kShortMax;
      std::string name(reinterpret_cast<const char*>(&record.bytes[kNameAt + 1]), n);
      if (text::Trim(name).empty()) continue;
      bytes.append(reinterpret_cast<const char*>(record.bytes.data()), JobRecord::kSize);
    }
    saveError_ = platform::WriteFileAtomic(path, bytes);
  }
  if (saveError_ == 0) unsaved_ = false;
  return saveError_ == 0;
}

void tBackups::FreeJobs() { jobs_.clear(); }

int tBackups::AddJob(const std::string& name, const std::string& target, double date, double time) {
  JobRecord record;
  record.SetName(name);
  record.SetListFile(MakeJobFileName(name, "lst"));
  record.SetExtFile(MakeJobFileName(name, "ext"));
  record.SetExclFile(MakeJobFileName(name, "dat"));
  record.SetTargetDir(target);
  record.SetLastDate(date);
  record.SetLastTime(time);
  jobs_.push_back(record);
  unsaved_ = true;
  return Count() - 1;
}

void tBackups::UpdateJob(int index, const std::string& name, const std::string& target, double date,
                         double time) {
  if (index < 0 || index >= Count()) return;
  JobRecord& record = jobs_[static_cast<std::size_t>(index)];
  record.SetName(name);
  record.SetTargetDir(target);
  record.SetLastDate(date);
  record.SetLastTime(time);
  unsaved_ = true;
}

void tBackups::SetJobStamp(int index, double date, double time) {
  if (index < 0 || index >= Count()) return;
  JobRecord& record = jobs_[static_cast<std::size_t>(index)];
  record.SetLastDate(date);
  record.SetLastTime(time);
  unsaved_ = true;
}

void tBackups::DeleteJob(int index) {
  if (index < 0 || index >= Count()) return;
  const JobRecord& record = jobs_[static_cast<std::size_t>(index)];
  std::string dir = GetDataDir();
  for (const std::string& name :
       {record.ListFile(), record.ExtFile(), record.ExclFile(), GetLogFileName(index),
        GetCountFileName(index), GetOptionsFileName(index), GetRestoreLogFileName(index),
        GetHistoryFileName(index), GetContentFileName(index)}) {
    if (IsSafeFileName(name) && platform::FileExists(dir + name)) platform::DeleteFile(dir + name);
  }
  // The job's kept reports.
  const history::Target history = history::ForJob(*this, index, history::Started::Window);
  if (history.Enabled()) platform::RemoveTree(RemoveBackslash(history.reportFolder));
  jobs_.erase(jobs_.begin() + index);
  unsaved_ = true;
  SelectedJob = -1;
}

bool tBackups::GetJob(int index, JobRecord& record) const {
  if (index < 0 || index >= Count()) return false;
  record = jobs_[static_cast<std::size_t>(index)];
  return true;
}

std::string tBackups::GetListFileName(int index) const {
  JobRecord r;
  return GetJob(index, r) ? r.ListFile() : std::string();
}

std::string tBackups::GetExtFileName(int index) const {
  JobRecord r;
  return GetJob(index, r) ? r.ExtFile() : std::string();
}

std::string tBackups::GetExclFileName(int index) const {
  JobRecord r;
  return GetJob(index, r) ? r.ExclFile() : std::string();
}

bool tBackups::IsReservedName(const std::string& name) {
  for (const char* shared :
       {kCatalogueName, kExtensionListName, kRunMarkName, kLockName, kNoticeBookName})
    if (text::SameText(name, shared)) return true;
  return text::SameText(name, GetFileName(GetIniFileName()));
}

std::string tBackups::DerivedFileName(int index, const std::string& ext) const {
  JobRecord r;
  if (!GetJob(index, r)) return std::string();
  const std::string list = r.ListFile();
  // The usual name: ".lst" becomes the report's extension.
  std::string name = ReplaceAll(list, ".lst", "." + ext);
  if (name != list && !IsReservedName(name)) {
    bool taken = false;
    for (const JobRecord& other : jobs_)
      for (const std::string& kept : {other.ListFile(), other.ExtFile(), other.ExclFile()})
        taken = taken || text::SameText(name, kept);
    if (!taken) return name;
  }
  // A list name without ".lst", or one whose report would land on another
  // file the program keeps: the extension is added to the whole name.
  return list + "." + ext;
}

std::string tBackups::GetLogFileName(int index) const { return DerivedFileName(index, "log"); }

std::string tBackups::GetCountFileName(int index) const { return DerivedFileName(index, "cou"); }

std::string tBackups::GetOptionsFileName(int index) const { return DerivedFileName(index, "opt"); }

std::string tBackups::GetRestoreLogFileName(int index) const {
  return DerivedFileName(index, "rlg");
}

std::string tBackups::GetHistoryFileName(int index) const { return DerivedFileName(index, "vlf"); }
std::string tBackups::GetContentFileName(int index) const { return DerivedFileName(index, "inh"); }

std::string tBackups::GetLastBackupDate(int index) const {
  JobRecord r;
  return GetJob(index, r) ? FormatDateText(4, r.LastDate()) : std::string();
}

std::string tBackups::GetLastBackupTime(int index) const {
  JobRecord r;
  return GetJob(index, r) ? InsertTimeColon(FormatTimeDigits(r.LastTime())) : std::string();
}

std::string tBackups::GetJobNames() const {
  std::string names;
  for (std::size_t i = 0; i < jobs_.size(); ++i) {
    if (i > 0) names += '\r';
    names += jobs_[i].Name();
  }
  return names;
}

std::string tBackups::LoadJobText(int index, int kind) const {
  std::string name;
  if (kind == 1)
    name = GetExtFileName(index);
  else if (kind == 2)
    name = GetExclFileName(index);
  if (!IsSafeFileName(name)) return std::string();
  std::string path = GetDataDir() + name;
  std::vector<std::string> lines;
  if (!platform::FileExists(path) || !textfile::ReadLines(path, lines)) return std::string();
  std::string result;
  for (const std::string& line : lines) result += line + "\r\n";
  return result;
}

bool tBackups::IsSafeFileName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || IsReservedName(name)) return false;
  for (char c : name)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32) return false;
  return true;
}
