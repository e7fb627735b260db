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

// Writes the job's directory list, its two exclusion lists and the shared
// list of offered extensions into the data folder. A list whose stored
// file name is unsafe is not written. The result holds one text per list
// that could not be written (empty when all were written).
std::vector<std::string> SaveJobLists(const tBackups& jobs, int jobIndex, const JobDraft& draft);
