#include "core/verify/contentcheck.h"

#include <algorithm>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/singlefile.h"
#include "core/verify/checklogic.h"
#include "core/versions/keeper.h"
#include "platform/compare.h"
#include "platform/platform.h"

namespace content {

namespace {

// FNV-1a, 64 bits: the same bucket for the same path on every machine.
std::uint64_t Hash(const std::string& text) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

constexpr char kCounterKey[] = "Durchlauf=";

}  // namespace

int Buckets(int share) {
  share = std::clamp(share, 1, 100);
  return (100 + share - 1) / share;
}

int BucketOf(const std::string& path, int buckets) {
  return buckets <= 1 ? 0 : static_cast<int>(Hash(path) % static_cast<std::uint64_t>(buckets));
}

std::string CounterPath(const tBackups& jobs, int jobIndex) {
  if (jobIndex < 0 || jobIndex >= jobs.Count()) return std::string();
  const std::string name = jobs.GetContentFileName(jobIndex);
  if (!tBackups::IsSafeFileName(name) || name == jobs.GetListFileName(jobIndex))
    return std::string();
  return tBackups::GetDataDir() + name;
}

namespace {

// The run number stored in the counter file (0 when there is none).
textfile::Stored ReadRun(const std::string& path, std::int64_t& run) {
  run = 0;
  std::vector<std::string> lines;
  const textfile::Stored stored = textfile::ReadStoredLines(path, lines);
  if (stored != textfile::Stored::Loaded) return stored;
  for (const std::string& line : lines)
    if (line.rfind(kCounterKey, 0) == 0)
      run = std::max<std::int64_t>(0, TextToInt(line.substr(10)));
  return stored;
}

}  // namespace

bool PrepareShare(BackupCheck& check, const tBackups& jobs, int jobIndex, int share,
                  std::string& failure) {
  check.CompareContent = true;
  check.ContentBuckets = Buckets(share);
  check.ContentBucket = 0;
  if (check.ContentBuckets <= 1) return true;
  const std::string path = CounterPath(jobs, jobIndex);
  std::int64_t run = 0;
  if (!path.empty() && ReadRun(path, run) == textfile::Stored::Unreadable) {
    failure = "Die Datei " + path +
              " mit dem Stand des anteiligen Inhaltsvergleichs konnte nicht gelesen werden.";
    return false;
  }
  check.ContentBucket = static_cast<int>(run % check.ContentBuckets);
  return true;
}

int AdvanceShare(const BackupCheck& check, const tBackups& jobs, int jobIndex) {
  if (!check.CompareContent || check.ContentBuckets <= 1 || check.Cancelled()) return 0;
  const std::string path = CounterPath(jobs, jobIndex);
  if (path.empty()) return 0;
  std::int64_t run = 0;
  if (ReadRun(path, run) == textfile::Stored::Unreadable) return platform::kErrAccessDenied;
  return textfile::WriteLines(path, {kCounterKey + std::to_string(run + 1)});
}

}  // namespace content

// ------------------------------------------------------------ the check --

bool BackupCheck::InContentShare(const std::string& path) const {
  return content::BucketOf(path, ContentBuckets) == ContentBucket;
}

void BackupCheck::ResetContent() {
  ContentCompared = 0;
  DifferingTotal = 0;
  differing_.clear();
  unreadable_.clear();
  observer_->ShowDiffering(0);
}

void BackupCheck::CompareContentOf(const std::string& source, const std::string& sub,
                                   const std::string& target, const std::string& name) {
  const std::string sourceFile = source + sub + name;
  if (!InContentShare(sourceFile)) return;
  const platform::ContentResult result = platform::CompareContents(sourceFile, target + sub + name);
  switch (result.sameness) {
    case platform::Sameness::NotCompared:
      return;
    case platform::Sameness::Failed:
      unreadable_.push_back("Die Datei " + sourceFile +
                            " konnte nicht mit ihrer Kopie verglichen werden (Fehlercode " +
                            IntToText(result.error) + ").");
      return;
    case platform::Sameness::Same:
      ++ContentCompared;
      return;
    case platform::Sameness::Differs:
      ++ContentCompared;
      ++DifferingTotal;
      differing_.push_back(MissingEntry{0, source, sub, target, {name}});
      observer_->ShowDiffering(DifferingTotal);
      return;
  }
}

void BackupCheck::AddContentFindings() {
  if (!CompareContent) return;
  Report.AddContentLine(std::string());
  std::string compared = "Inhalte verglichen: " + IntToText(ContentCompared) + " Dateien";
  if (ContentBuckets > 1)
    compared +=
        " (Anteil " + IntToText(ContentBucket + 1) + " von " + IntToText(ContentBuckets) + ")";
  Report.AddContentLine(compared + ".");
  Report.AddContentLine("Abweichende Dateien (gleiche Größe und Zeit, anderer Inhalt): " +
                        IntToText(DifferingTotal));
  for (const MissingEntry& file : differing_) Report.AddDiffering(file);
  for (const std::string& line : unreadable_) Report.AddContentLine(line);
}

// ------------------------------------------------------- the completion --

bool BackupCompletion::RecopyDiffering(const std::string& sourceDir, const std::string& targetDir,
                                       const std::string& targetRoot, const std::string& subDir,
                                       const std::string& name, int sourceDirHandle) {
  if (std::find(recopy_.begin(), recopy_.end(), name) == recopy_.end() ||
      !platform::FileExists(targetDir + name))
    return false;
  // The job's target (the row target's parent, as the run maps it) holds
  // the versions; the row's folder name leads the path kept there.
  const std::string root = RemoveBackslash(targetRoot);
  const std::string jobTarget = GetParentDir(root);
  const std::string last = GetLastPathPart(root);
  const std::string relative = (last.empty() ? last : last + "/") + AddBackslash(subDir) + name;
  if (!keeper_)
    keeper_ = std::make_shared<versions::Keeper>(jobTarget.empty() ? "/" : jobTarget, Now());
  platform::KeepReplaced keep;
  versions::Keeper* keeper = keeper_.get();
  keep.keep = [keeper, &relative](const std::string& dest) { return keeper->Keep(dest, relative); };
  platform::CopyLosses losses;
  CopyStatus = CopyOneFileQuietly(sourceDir + name, targetDir, true, true,
                                  platform::SourceRef{sourceDirHandle, &name},
                                  AddBackslash(targetRoot), &losses, &keep);
  if (CopyStatus == 0 && keep.keepError != 0) CopyStatus = keep.keepError;
  if (CopyStatus == 0) {
    ++recopied_;
    ++Copied;
    CopiedBytes += static_cast<std::int64_t>(losses.bytes);
  }
  return true;
}
