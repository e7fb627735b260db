#include "core/sync/syncdefs.h"

#include "base/codepage.h"
#include "platform/platform.h"

namespace {

bool RefusedInName(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u < 0x20 || u == 0x7F) return true;
  switch (c) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
    case '[':
    case ']':
      return true;
    default:
      return false;
  }
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

SyncDefinitions::LoadResult SyncDefinitions::Load(const std::string& path) {
  *this = SyncDefinitions();
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
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      definitions_.push_back({line.substr(1, line.size() - 2), "", ""});
    } else if (!definitions_.empty() && line.rfind("1=", 0) == 0) {
      definitions_.back().first = line.substr(2);
    } else if (!definitions_.empty() && line.rfind("2=", 0) == 0) {
      definitions_.back().second = line.substr(2);
    } else if (definitions_.empty() && !text::Trim(line).empty()) {
      others_.push_back(line);
    }
  }
  return LoadResult::Loaded;
}

int SyncDefinitions::Save(const std::string& path) const {
  if (loadFailed_) return kNotWritten;
  std::vector<std::string> lines = others_;
  for (const SyncDefinition& d : definitions_) {
    lines.push_back("[" + d.name + "]");
    lines.push_back("1=" + d.first);
    lines.push_back("2=" + d.second);
  }
  return textfile::WriteLines(path, lines);
}

int SyncDefinitions::Find(const std::string& name) const {
  const std::string wanted = text::Trim(name);
  for (std::size_t i = 0; i < definitions_.size(); ++i)
    if (text::SameText(definitions_[i].name, wanted)) return static_cast<int>(i);
  return -1;
}

std::string SyncDefinitions::Refusal(const SyncDefinition& d, int replacing) const {
  const std::string name = text::Trim(d.name);
  if (name.empty()) return "Es wurde kein Name für die Synchronisation eingegeben!";
  if (static_cast<int>(text::Length(name)) > kNameLength)
    return "Der Name darf höchstens 20 Zeichen lang sein.";
  bool refused = name[0] == '.';
  for (char c : name) refused = refused || RefusedInName(c);
  if (refused || !cp1252::IsRepresentable(name))
    return "Der Name \"" + name +
           "\" enthält Zeichen, die in einem Dateinamen nicht stehen dürfen "
           "(etwa / \\ : * ? \" < > | [ ]), oder beginnt mit einem Punkt.";
  const int same = Find(name);
  if (same >= 0 && same != replacing)
    return "Eine Synchronisation namens \"" + definitions_[static_cast<std::size_t>(same)].name +
           "\" gibt es schon. Wählen Sie einen anderen Namen.";
  if (text::Trim(d.first).empty() || text::Trim(d.second).empty())
    return "Es wurde kein Verzeichnispaar eingegeben!";
  for (const std::string* dir : {&d.first, &d.second})
    if (HasLineBreak(*dir) || !cp1252::IsRepresentable(*dir))
      return "Das Verzeichnis \"" + *dir +
             "\" enthält Zeichen, die VolKarn in seinen Listen nicht speichern kann.";
  return std::string();
}

bool SyncDefinitions::Add(const SyncDefinition& definition) {
  if (!Refusal(definition).empty()) return false;
  SyncDefinition d = definition;
  d.name = text::Trim(d.name);
  definitions_.push_back(d);
  return true;
}

bool SyncDefinitions::Replace(int index, const SyncDefinition& definition) {
  if (index < 0 || index >= static_cast<int>(definitions_.size()) ||
      !Refusal(definition, index).empty())
    return false;
  SyncDefinition d = definition;
  d.name = text::Trim(d.name);
  definitions_[static_cast<std::size_t>(index)] = d;
  return true;
}

void SyncDefinitions::Remove(int index) {
  if (index < 0 || index >= static_cast<int>(definitions_.size())) return;
  definitions_.erase(definitions_.begin() + index);
}
