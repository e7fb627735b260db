#include "cmdline/cmdline_history.h"

#include <algorithm>
#include <ostream>

#include "base/codepage.h"
#include "core/catalogue/daten.h"
#include "core/sync/syncdefs.h"

namespace cli {

namespace {

enum class Owner { JobFirst, Sync };

// The history of the job (or else the synchronisation) `name`, or of the
// synchronisation only; false when there is none. `unreadable`: the
// catalogue could not be read.
bool FindHistory(const std::string& name, Owner owner, history::Started started,
                 history::Target& target, std::string& title, bool* unreadable = nullptr) {
  tBackups jobs;
  if (owner == Owner::JobFirst && jobs.LoadCatalogue() == tBackups::LoadResult::Unreadable) {
    if (unreadable != nullptr) *unreadable = true;
    return false;
  }
  const int index = owner == Owner::JobFirst ? FindJob(jobs, name) : -1;
  if (index >= 0) {
    JobRecord record;
    jobs.GetJob(index, record);
    target = history::ForJob(jobs, index, started);
    title = "Verlauf der Datensicherung \"" + record.Name() + "\"";
    return true;
  }
  SyncDefinitions definitions;
  if (definitions.Load(tBackups::GetDataDir() + SyncDefinitions::kFileName) ==
      SyncDefinitions::LoadResult::Loaded) {
    const int sync = definitions.Find(name);
    if (sync >= 0) {
      const std::string& stored = definitions.All()[static_cast<std::size_t>(sync)].name;
      target = history::ForSync(tBackups::GetDataDir(), stored, started);
      title = "Verlauf der Synchronisation \"" + stored + "\"";
      return true;
    }
  }
  return false;
}

// The kind of run that `args` asks for, as far as it is known before the
// job is read.
history::Kind KindOf(const Arguments& args) {
  switch (args.action) {
    case Action::Check:
      return history::Kind::Check;
    case Action::Restore:
      return history::Kind::Restore;
    case Action::Sync:
      return history::Kind::Sync;
    default:
      return args.mode == Mode::Full ? history::Kind::FullBackup : history::Kind::IncrementalBackup;
  }
}

}  // namespace

history::Started StartedBy(const Arguments& args) {
  return args.timer ? history::Started::Timer : history::Started::CommandLine;
}

void RecordRefusedStart(const Arguments& args, const std::string& reason) {
  const bool runs = args.action == Action::Backup || args.action == Action::Check ||
                    args.action == Action::Restore || args.action == Action::Sync;
  if (!runs || args.dryRun) return;
  history::Target target;
  std::string title;
  if (!FindHistory(args.job, args.action == Action::Sync ? Owner::Sync : Owner::JobFirst,
                   StartedBy(args), target, title))
    return;
  history::Recorder record(target, KindOf(args));
  record.NotStarted(reason);
}

std::vector<std::string> HistoryTable(const std::vector<history::Entry>& runs) {
  // The outcome goes last: it may be long ("nicht gestartet: ...").
  const int order[] = {history::kBegin,    history::kDuration, history::kKind,
                       history::kStarted,  history::kFiles,    history::kErrors,
                       history::kVersions, history::kBytes,    history::kOutcome};
  std::vector<std::vector<std::string>> rows;
  rows.emplace_back(history::kColumns, history::kColumns + history::kColumnCount);
  for (const history::Entry& run : runs) rows.push_back(history::RowTexts(run));
  std::size_t width[history::kColumnCount] = {};
  for (const auto& row : rows)
    for (int c = 0; c < history::kColumnCount; ++c)
      width[c] = std::max(width[c], text::Length(row[static_cast<std::size_t>(c)]));
  std::vector<std::string> lines;
  for (const auto& row : rows) {
    std::string line;
    for (int c : order) {
      const std::string& cell = row[static_cast<std::size_t>(c)];
      if (!line.empty()) line += "  ";
      const std::size_t pad = width[c] - text::Length(cell);
      const bool number = c == history::kFiles || c == history::kErrors ||
                          c == history::kVersions || c == history::kBytes;
      if (number) line.append(pad, ' ');
      line += cell;
      if (!number && c != history::kOutcome) line.append(pad, ' ');
    }
    lines.push_back(line);
  }
  return lines;
}

int RunHistory(const Arguments& args, Environment& env) {
  history::Target target;
  std::string title;
  bool unreadable = false;
  if (!FindHistory(args.job, Owner::JobFirst, history::Started::CommandLine, target, title,
                   &unreadable)) {
    *env.err << (unreadable ? "Die Sicherungsliste " + tBackups::GetDataDir() +
                                  tBackups::kCatalogueName + " konnte nicht gelesen werden."
                            : "Es gibt keine Datensicherung und keine Synchronisation \"" +
                                  args.job + "\".")
             << '\n';
    return unreadable ? kExitUnreadable : kExitUsage;
  }
  std::ostream& out = *env.out;
  out << title << ":\n";
  const std::vector<history::Entry> runs =
      target.Enabled() ? history::ReadRuns(target.file) : std::vector<history::Entry>();
  if (runs.empty()) {
    out << "Es ist noch kein Lauf verzeichnet.\n";
  } else {
    for (const std::string& line : HistoryTable(runs)) out << line << '\n';
    out << "Die Berichte liegen in " << target.reportFolder << ".\n";
  }
  out.flush();
  return kExitOk;
}

}  // namespace cli
