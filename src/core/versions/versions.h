// The versions of a job's target: what runs replaced or took out of the
// target, kept as plain folders and files beside the mirrored folders.
//
//   <target>/VolKarn-Versionen/<YYYY-MM-DD hhmmss>/<source folder>/<path>
//
// One run folder per run that kept or added anything, named by the run's
// start in local time (a second run in the same second gets "-2", "-3",
// ...). A run folder may hold the list of the target files that run added
// (kAddedListName), so that the state of an earlier moment can leave
// them out. A restore keeps what it replaces in "<stamp> Wiederherstellung".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/timeproc.h"

namespace versions {

// The folder of the versions in a job's target folder.
constexpr char kFolderName[] = "VolKarn-Versionen";
// The hidden folder of the versions in each folder of a synchronised pair
// (the same run folders below it).
constexpr char kHiddenFolderName[] = ".VolKarn-Versionen";
// The list of the files a run added, in its run folder: one path per line
// (relative to the job's target folder, "/" between the names), UTF-8,
// each line ended by CR LF; "\\", "\r" and "\n" stand for a backslash
// and the line breaks a name may hold.
constexpr char kAddedListName[] = "VolKarn-Neu.txt";
// The end of the name of a restore's folder.
constexpr char kRestoreSuffix[] = " Wiederherstellung";

// "<target>/VolKarn-Versionen" (no "/" at the end); `folderName` names
// another versions folder (kHiddenFolderName) in the functions below.
std::string RootOf(const std::string& jobTarget, const char* folderName = kFolderName);
// True when the last name of the folder is the versions folder's (letter
// case ignored): such a source folder is refused.
bool IsVersionsName(const std::string& name);
bool IsVersionsFolderPath(const std::string& path);

// "YYYY-MM-DD hhmmss" of a local moment.
std::string StampName(TDateTime moment);

// A folder of the versions folder as its name tells it.
struct RunFolder {
  std::string name;      // as on the disk
  TDateTime moment = 0;  // to the second
  int sequence = 1;      // 1, or N of a "-N" name
  bool restore = false;  // "<stamp> Wiederherstellung"
  // Order: oldest first; runs in the same second by sequence.
  bool operator<(const RunFolder& other) const;
};
// The run folder named `name`, or nothing when the name is no run stamp
// (such folders are never pruned or read as versions).
std::optional<RunFolder> ParseFolderName(const std::string& name);

// The run folders of the job target's versions folder, oldest first.
// Result 0 (also when there is no versions folder) or the error code of
// the listing.
int ListRunFolders(const std::string& jobTarget, std::vector<RunFolder>& folders,
                   const char* folderName = kFolderName);

// Makes the folder of a run that started at `moment` (with the versions
// folder where missing), open to its owner only; a name already taken
// gets the next "-N". `name` learns the folder's name. Result 0,
// platform::kErrPathNotFound when the job's target folder is missing (it is
// never made here), or an error code.
int MakeRunFolder(const std::string& jobTarget, TDateTime moment, bool restore, std::string& name,
                  const char* folderName = kFolderName);

// The added list of a run folder (full path of the folder).
int WriteAddedList(const std::string& runFolder, const std::vector<std::string>& paths);
// Missing list: true with no paths. False when it could not be read.
bool ReadAddedList(const std::string& runFolder, std::vector<std::string>& paths);

}  // namespace versions
