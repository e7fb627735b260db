// The backup check and the backup completion without their windows.
//
// The check walks every source directory of a job twice: pass 1 counts the
// files, pass 2 compares each source tree with its target and notes every
// directory that holds files without a counterpart of the same name in the
// target. The findings form the report (CheckReport), which goes into the
// job's count file and to the completion, which copies the missing files.
//
// What counts as a file is what the copy engine copies: regular files and
// symlinks (a link is never followed, a link to a folder never entered).
// Fifos, sockets and devices are neither counted nor looked for. A target
// that lies inside its own source is never walked, as in the backup run.
//
// Both talk to their window through an observer interface (progress texts,
// "process pending events"); a cancel is the value 999 set while the
// observer processes pending events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/exclusion.h"
#include "base/timeproc.h"
#include "core/history/history.h"
#include "platform/platform.h"
#include "platform/readahead.h"

struct AppState;

// The value of CheckCancel and CopyStatus that asks the walk to stop.
constexpr std::int32_t kCheckCancelled = 999;

// One directory with missing files: a line of four fields joined by "*".
struct MissingEntry {
  std::int32_t count = 0;  // missing files directly in the directory
  std::string sourceRoot;  // the row's source directory, ends with "/"
  std::string subDir;      // below the source root, ends with "/"; empty for the root
  std::string targetRoot;  // the row's target directory, ends with "/"
  // Files directly in the directory whose bytes differ from their copy of
  // the same size and time ("Inhalte vergleichen"); not part of the line.
  std::vector<std::string> differing = {};
  // What the completion works on in the directory: missing and differing.
  std::int32_t Total() const { return count + static_cast<std::int32_t>(differing.size()); }

  // count*sourceRoot*subDir*targetRoot
  std::string Line() const;
  std::string SourceDir() const { return sourceRoot + subDir; }

  bool operator==(const MissingEntry&) const = default;
};

// Splits a report line at every "*": an empty part between two separators
// (or before the first) counts, nothing after a final separator does.
// True, with the entry filled, when that gives exactly four parts.
bool ParseMissingEntry(const std::string& line, MissingEntry& entry);

// The report of a check: its text lines, and for the lines that are
// missing-file entries the entry itself. The completion takes the entries
// from here, so a folder whose name holds a "*" keeps its exact fields even
// though its line in the count file can no longer be split unambiguously.
class CheckReport {
 public:
  void Clear();
  void AddLine(const std::string& text);
  void AddEntry(const MissingEntry& entry);
  // Replaces a line; it is no entry afterwards.
  void SetLine(std::size_t index, const std::string& text);
  // A line of the content comparison: shown with the report, never written
  // into the count file, whose layout stays that of the missing files.
  void AddContentLine(const std::string& text);
  // A file whose bytes differ from its copy: its line and the file itself
  // (source root, subdirectory and target root as in an entry, and the
  // name in `differing`).
  void AddDiffering(const MissingEntry& file);
  const std::vector<MissingEntry>& Differing() const { return differing_; }
  // The lines of the count file: all but those of the content comparison.
  std::vector<std::string> CountFileLines() const;

  const std::vector<std::string>& Lines() const { return lines_; }
  std::size_t Size() const { return lines_.size(); }
  bool Empty() const { return lines_.empty(); }
  const std::string& Line(std::size_t index) const { return lines_[index]; }
  // The entry of a line; nullptr for every other line.
  const MissingEntry* EntryAt(std::size_t index) const;

  // A report from plain lines (as the count file holds them): every line
  // that splits into exactly four parts counts as an entry.
  static CheckReport FromLines(const std::vector<std::string>& lines);

 private:
  std::vector<std::string> lines_;
  std::vector<MissingEntry> entries_;
  std::vector<int> entryOf_;  // per line: index into entries_, -1 for other lines,
                              // kContentLine for a line of the content comparison
  std::vector<MissingEntry> differing_;
  static constexpr int kContentLine = -2;
};

// The rows the completion lists: the entries from the fifth line to the
// second-to-last (the last one is the "Summe" line) of a report with at
// least six lines.
std::vector<MissingEntry> CompletionEntries(const CheckReport& report);

// One grid row of the check: a source directory of the job.
struct CheckRow {
  std::string source;   // as listed in the job
  std::string target;   // AddBackslash(target directory) + GetLastPathPart(source)
  std::string missing;  // "?", "Nicht gefunden" or the number of missing files
};
CheckRow MakeCheckRow(const std::string& source, const std::string& targetDir);

enum class CheckMode { CheckOnly, Complete };

// A check as the main window hands it to the check window.
struct CheckRequest {
  std::string JobName;
  int JobIndex = -1;
  CheckMode Mode = CheckMode::CheckOnly;
  std::vector<CheckRow> Rows;
  // The job's exclusion texts as stored.
  std::string ExcludedExts;
  std::string ExcludedFiles;
  // The job's exclusion patterns ("Ausschluss=" of its options).
  std::vector<std::string> Patterns;
  // Where the check and its completion write their history lines.
  history::Target History;
};
// The check of the shown job under the name on display; the exclusions
// are those of the chosen job (none when there is no such job).
CheckRequest MakeCheckRequest(const AppState& state, const std::string& jobName, CheckMode mode);

// The folders (by identity) that a check or a completion never enters,
// should its source hold them: the row's target and the versions folder
// of the job's target.
struct SkippedFolders {
  platform::FileId target;
  platform::FileId versions;
  bool Holds(const platform::FileId& id) const {
    return (target.known && id == target) || (versions.known && id == versions);
  }
};
// Those of the row whose target root is `rowTarget`.
SkippedFolders SkippedFoldersOf(const std::string& rowTarget);

// Number of files (regular files and symlinks) in the folder and below;
// links to folders are never entered, a folder that cannot be listed adds
// nothing, nor do the folders `skip` holds or `rule` (when given) leaves
// out.
std::int32_t CountCopyableFiles(const std::string& folder, const SkippedFolders& skip = {},
                                const ExclusionRule* rule = nullptr);

// The report's header line: Dateizählung "Name" am dd.mm.yyyy um hh:mm Uhr.
std::string CountHeader(const std::string& jobName, TDateTime moment);
// The line of a source directory that does not exist.
std::string MissingStartLine(const std::string& source);

// What the check shows while it runs.
class CheckObserver {
 public:
  virtual ~CheckObserver() = default;
  // Label4: the directory in work, at the end "Fertig!" or the cancel text.
  virtual void ShowDirectory(const std::string& text) = 0;
  // Label6: the number of all files (pass 1).
  virtual void ShowFileTotal(std::int32_t total) = 0;
  // Label12, Label8 and Label10: found, present and their difference.
  virtual void ShowTotals(std::int32_t found, std::int32_t present) = 0;
  // Column 2 of a row (rows count from 0, the header row not counted).
  virtual void ShowRowResult(int row, const std::string& text) = 0;
  // "Abweichende Dateien": files whose bytes differ from their copy.
  virtual void ShowDiffering(std::int32_t differing) { (void)differing; }
  // Lets pending user input be handled; a cancel arrives here.
  virtual void ProcessEvents() = 0;
};

class BackupCheck {
 public:
  BackupCheck();

  // ---- inputs, set on each opening ----
  std::string JobName;
  // The job's exclusion texts in upper case and its exclusion patterns;
  // SetExclusions keeps the rule in step with them.
  void SetExclusions(const std::string& excludedExts, const std::string& excludedFiles,
                     const std::vector<std::string>& patterns = {});
  const std::string& ExcludedExts() const { return excludedExts_; }
  const std::string& ExcludedFiles() const { return excludedFiles_; }
  const ExclusionRule& Rule() const { return rule_; }
  // One row per source directory, in the job's order.
  std::vector<CheckRow> Rows;
  // The clock of the header (tests fix it).
  std::function<TDateTime()> Clock;
  void SetObserver(CheckObserver* observer);
  // Threads that look for the next entries' files in the target while the
  // comparison handles this one (-1: by the number of processors, 0:
  // none). The entries are taken in the listing's order: the findings are
  // the same whatever the number.
  int ReadAheadThreads = -1;
  // "Inhalte vergleichen": a file present in the target with the same size
  // and time is read on both sides and compared byte for byte. Only the
  // files in the bucket ContentBucket of ContentBuckets (by a stable hash
  // of their path) are compared: over ContentBuckets runs, one after the
  // other, every file is.
  bool CompareContent = false;
  int ContentBucket = 0;
  int ContentBuckets = 1;

  // ---- run state ----
  CheckReport Report;
  std::int32_t CheckCancel = 0;
  std::int32_t FileTotal = 0;        // pass 1
  std::int32_t FoundTotal = 0;       // pass 2, over finished rows
  std::int32_t PresentTotal = 0;     // pass 2, over finished rows
  std::int32_t MissingSum = 0;       // sum of the entries' counts
  std::int32_t ContentCompared = 0;  // files compared by content
  std::int32_t DifferingTotal = 0;   // of those, files whose bytes differ

  // Where each run writes its line (none when empty).
  history::Target History;

  // One whole run: a new report, pass 1, header, pass 2, "Summe", and at
  // the end "Fertig!" or the cancel note; its line in the history.
  void RunCheck();
  void CountSourceFiles();
  void CompareTargets();
  // Compares source root + subdirectory with target root + subdirectory
  // and everything below; adds the entry of the directory when it holds
  // missing files.
  void CountMissing(platform::DirLister& lister, const std::string& sourceRoot,
                    const std::string& targetRoot, const std::string& subDir);
  bool IsIncluded(const std::string& name) const { return rule_.IsIncluded(name); }
  // True when `path` falls into this run's share of the content comparison.
  bool InContentShare(const std::string& path) const;
  void Cancel() { CheckCancel = kCheckCancelled; }
  bool Cancelled() const { return CheckCancel == kCheckCancelled; }

  // Writes the report as the count file (Windows-1252, CR LF). Result 0 or
  // an error code of the error table.
  int SaveCountFile(const std::string& path) const;

 private:
  std::string excludedExts_;
  std::string excludedFiles_;
  ExclusionRule rule_;
  CheckObserver* observer_;  // never null: a silent one by default
  std::int32_t rowFound_ = 0;
  std::int32_t rowPresent_ = 0;
  SkippedFolders skipTarget_;                       // the current row's target (never walked)
  std::unique_ptr<platform::ReadAhead> readAhead_;  // during pass 2
  // The note of the first folder whose listing ended early in pass 2.
  std::string incomplete_;
  // The content comparison: its findings in walk order (one per file) and
  // the files that could not be read.
  std::vector<MissingEntry> differing_;
  std::vector<std::string> unreadable_;
  void ResetContent();
  // Compares sourceDir + name with targetDir + name when it is in the share.
  void CompareContentOf(const std::string& source, const std::string& sub,
                        const std::string& target, const std::string& name);
  // The content lines of the report, before "Summe".
  void AddContentFindings();
};

// The completion's list as its window shows it; rows count from 0.
class CompletionList {
 public:
  virtual ~CompletionList() = default;
  virtual int RowCount() const = 0;
  virtual bool IsTicked(int row) const = 0;
  // Quelle, Unterverzeichnis, Ziel of the row (count not needed).
  virtual MissingEntry RowEntry(int row) const = 0;
  virtual std::string CountText(int row) const = 0;
  virtual void SetCountText(int row, const std::string& text) = 0;
  // Scrolls the list so that the row in work is visible.
  virtual void KeepInView(int row) = 0;
  virtual void RemoveRow(int row) = 0;
  virtual void ProcessEvents() = 0;
};

namespace versions {
class Keeper;
}

class BackupCompletion {
 public:
  // The exclusions of the check that found the rows.
  ExclusionRule Rule;
  // 0: no failure; 999: cancel requested; else the failed copy's error code.
  std::int32_t CopyStatus = 0;
  // What a target could not keep (permissions, owners, attributes and
  // access lists), as the run report says it: one line at most.
  std::vector<std::string> Notes;
  // Where each CompleteTicked writes its line (none when empty).
  history::Target History;
  // Files copied and their bytes, since the last CompleteTicked began.
  std::int64_t Copied = 0;
  std::int64_t CopiedBytes = 0;

  // Works on the ticked rows in list order: " >>>" behind the count, the
  // directory, "OK"; stops after the row in which CopyStatus became
  // non-zero; then removes the rows worked on. One line in the history.
  void CompleteTicked(CompletionList& list);
  // Copies the included files directly in source root + subdirectory that
  // are missing in target root + subdirectory. The folders on the way and
  // the sub-folders the target lacks (with theirs) are made like their
  // source folders, and the folders get their source's permissions.
  void CompleteDirectory(const std::string& sourceRoot, const std::string& subDir,
                         const std::string& targetRoot, CompletionList& list);
  void Cancel() { CopyStatus = kCheckCancelled; }
  // Files copied again because their bytes differed; what they replaced
  // is in the versions of the job's target.
  std::int64_t Recopied() const { return recopied_; }

 private:
  // The differing files of the row in work, copied again over their copy.
  std::vector<std::string> recopy_;
  std::shared_ptr<versions::Keeper> keeper_;
  std::int64_t recopied_ = 0;
  // Copies `name` again when the row lists it as differing and its copy is
  // there; the copy goes into the versions first. False when it is no such
  // file (then it is handled as any other).
  bool RecopyDiffering(const std::string& sourceDir, const std::string& targetDir,
                       const std::string& targetRoot, const std::string& subDir,
                       const std::string& name, int sourceDirHandle);
  // Makes the folders of the open source folder `source` (`relative`
  // below the source root, ending with "/") that `target` (made just now)
  // lacks, down to the bottom; none that the rule leaves out.
  void MakeSubFolders(platform::DirLister& source, const std::string& sourceDir,
                      const std::string& targetDir, const std::string& relative,
                      const SkippedFolders& skip);
  // Notes once what the target `root` could not keep.
  void NoteLosses(bool permissions, const std::string& root);
  // The end of CompleteTicked: the report's last lines and the history's.
  void RecordCompletion(history::Recorder& record, std::vector<std::string>& report) const;
  // The target roots probed for permissions, and whether each keeps them.
  std::vector<std::pair<std::string, bool>> probed_;
  platform::CopyLosses losses_;
};
