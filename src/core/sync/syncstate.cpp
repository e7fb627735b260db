#include "core/sync/syncstate.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/codepage.h"
#include "platform/platform.h"

namespace {

constexpr char kHeader[] = "VolKarn-Abgleich 1";

// The length of a well-formed UTF-8 character at s[i], 0 for none.
std::size_t Utf8Length(const std::string& s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  return n;
}

char KindLetter(twoway::Kind kind) {
  return kind == twoway::Kind::Folder ? 'D' : kind == twoway::Kind::Link ? 'L' : 'F';
}

bool ReadNumber(const std::string& text, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return end != nullptr && *end == '\0';
}

}  // namespace

std::string SyncState::EncodeName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  auto escape = [&out](unsigned char byte) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
    out += hex;
  };
  for (std::size_t i = 0; i < name.size();) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F || c == '\\')
        escape(c);
      else
        out += name[i];
      ++i;
      continue;
    }
    const std::size_t n = Utf8Length(name, i);
    const std::string ch = n ? name.substr(i, n) : std::string();
    // C1 controls (U+0080..U+009F) are escaped like the others.
    const bool control = n == 2 && c == 0xC2 && static_cast<unsigned char>(name[i + 1]) < 0xA0;
    if (n && !control && cp1252::IsRepresentable(ch)) {
      out += ch;
      i += n;
    } else {
      escape(c);
      ++i;
    }
  }
  return out;
}

bool SyncState::DecodeName(const std::string& text, std::string& name) {
  name.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      name += text[i];
      continue;
    }
    if (i + 3 >= text.size() || text[i + 1] != 'x') return false;
    const std::string hex = text.substr(i + 2, 2);
    char* end = nullptr;
    const long byte = std::strtol(hex.c_str(), &end, 16);
    if (hex.size() != 2 || end != hex.c_str() + 2) return false;
    name += static_cast<char>(byte);
    i += 3;
  }
  return !name.empty();
}

SyncState::LoadResult SyncState::Load(const std::string& path) {
  known_.clear();
  loadFailed_ = false;
  if (!platform::PathExists(path)) return LoadResult::Missing;
  std::vector<std::string> lines;
  int code = 0;
  if (!textfile::ReadLines(path, lines, &code) || lines.empty() || lines[0] != kHeader) {
    if (code == platform::kErrFileNotFound) return LoadResult::Missing;
    loadFailed_ = true;
    known_.clear();
    return LoadResult::Unreadable;
  }
  for (std::size_t n = 1; n < lines.size(); ++n) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (int k = 0; k < 5; ++k) {
      const std::size_t tab = lines[n].find('\t', start);
      if (tab == std::string::npos) break;
      fields.push_back(lines[n].substr(start, tab - start));
      start = tab + 1;
    }
    fields.push_back(lines[n].substr(start));
    long long sa = 0, ta = 0, sb = 0, tb = 0;
    std::string name;
    if (fields.size() != 6 || fields[0].size() != 1 ||
        std::string("FDL").find(fields[0][0]) == std::string::npos || !ReadNumber(fields[1], sa) ||
        !ReadNumber(fields[2], ta) || !ReadNumber(fields[3], sb) || !ReadNumber(fields[4], tb) ||
        sa < 0 || sb < 0 || !DecodeName(fields[5], name)) {
      // A damaged line: the whole file is not trusted (a run that knows
      // too little only copies, it never removes what it does not know).
      loadFailed_ = true;
      known_.clear();
      return LoadResult::Unreadable;
    }
    const twoway::Kind kind = fields[0][0] == 'D'   ? twoway::Kind::Folder
                              : fields[0][0] == 'L' ? twoway::Kind::Link
                                                    : twoway::Kind::File;
    known_[name] = {{kind, static_cast<std::uint64_t>(sa), static_cast<std::time_t>(ta)},
                    {kind, static_cast<std::uint64_t>(sb), static_cast<std::time_t>(tb)}};
  }
  return LoadResult::Loaded;
}

int SyncState::Save(const std::string& path) const {
  if (loadFailed_) return kNotWritten;
  std::vector<std::string> lines;
  lines.reserve(known_.size() + 1);
  lines.push_back(kHeader);
  for (const auto& [name, k] : known_) {
    lines.push_back(std::string(1, KindLetter(k.a.kind)) + "\t" + std::to_string(k.a.size) + "\t" +
                    std::to_string(static_cast<long long>(k.a.mtime)) + "\t" +
                    std::to_string(k.b.size) + "\t" +
                    std::to_string(static_cast<long long>(k.b.mtime)) + "\t" + EncodeName(name));
  }
  return textfile::WriteLines(path, lines);
}

bool SyncState::SameAs(const SyncState& other) const {
  auto same = [](const twoway::Entry& x, const twoway::Entry& y) {
    return x.kind == y.kind && x.size == y.size && x.mtime == y.mtime;
  };
  if (known_.size() != other.known_.size()) return false;
  for (auto a = known_.begin(), b = other.known_.begin(); a != known_.end(); ++a, ++b)
    if (a->first != b->first || !same(a->second.a, b->second.a) || !same(a->second.b, b->second.b))
      return false;
  return true;
}

const SyncState::Known* SyncState::Find(const std::string& path) const {
  const auto it = known_.find(path);
  return it == known_.end() ? nullptr : &it->second;
}

void SyncState::Put(const std::string& path, const twoway::Entry& a, const twoway::Entry& b) {
  known_[path] = {a, b};
}
