// The rules of the job editor without its window: what an edited job must
// satisfy before it is stored, and the writing of its list files.
#pragma once

#include <string>
#include <vector>

class tBackups;

// A job as the editor holds it.
struct JobDraft {
  std::string Name;
  std::string TargetDir;
  std::vector<std::string> Directories;
  std::vector<std::string> ExcludedExts;   // written to stem.ext
  std::vector<std::string> ExcludedFiles;  // written to stem.dat
  std::vector<std::string> OfferedExts;    // written to extens.dat
};

// The longest target the catalogue record holds.
constexpr std::size_t kMaxTargetLength = 255;

// The text that refuses the draft (the first rule it breaks); empty when
// the draft may be stored.
std::string CheckJobDraft(const JobDraft& draft);

// The moment of a job's last backup: the day number and the fraction of
// the day; both 0 for a job never backed up.
struct LastBackup {
  double Date = 0;
  double Time = 0;
  bool operator==(const LastBackup&) const = default;
};

// The last backup an edited job stores. The date and time fields opened
// with `shown` (the stored moment to the minute, or the current moment for
// a job never backed up) and hold `picked` when the user confirms. Fields
// the user left as they were keep the stored moment exactly, seconds
// included, and a job never backed up stays so; only a moment the user
// changed replaces it.
LastBackup EditedLastBackup(const LastBackup& stored, const LastBackup& shown,
                            const LastBackup& picked);

// Writes the job's directory list, its two exclusion lists and the shared
// list of offered extensions into the data folder. A list whose stored
// file name is unsafe is not written. The result holds one text per list
// that could not be written (empty when all were written).
std::vector<std::string> SaveJobLists(const tBackups& jobs, int jobIndex, const JobDraft& draft);
