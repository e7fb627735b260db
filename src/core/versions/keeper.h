// Keeps what a run takes out of a job's target: a file the run replaces,
// or (with mirroring) a file or folder the source no longer has, goes into
// the run's folder of the versions by a rename on the same file system,
// under the same path as in the target. The run folder is made at the
// first file kept or added, so a run that changes nothing leaves none.
//
// Safe to call from the copy threads of a run.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/timeproc.h"
#include "core/versions/versions.h"

namespace versions {

class Keeper {
 public:
  // `jobTarget`: the job's target folder; `runStart`: the moment that
  // names the run folder; `restore`: a restore's folder; `folderName`:
  // the versions folder in `jobTarget` (kHiddenFolderName for a
  // synchronised folder).
  Keeper(std::string jobTarget, TDateTime runStart, bool restore = false,
         const char* folderName = kFolderName);

  // Moves the entry at `targetPath` (inside the job's target folder) into
  // the run folder as
  // `relative` ("<source folder>/<path>", "/" between the names). Result 0
  // or an error code; the entry then stays where it was. A name already
  // kept in this run is kept beside it as "<name>.2", "<name>.3", ...
  int Keep(const std::string& targetPath, const std::string& relative);
  // Notes a file the run added to the target (not replaced).
  void NoteAdded(const std::string& relative);
  // Writes the list of the added files into the run folder (made when only
  // files were added). Result 0 or an error code.
  int Finish();

  // Entries kept so far.
  std::int64_t Kept() const;
  // The run folder's name; empty while none was made.
  std::string RunFolderName() const;
  // The full path of the run folder; empty while none was made.
  std::string RunFolderPath() const;
  const std::string& JobTarget() const { return jobTarget_; }

 private:
  // Makes the run folder when it is not there yet (lock held).
  int MakeFolder();

  const std::string jobTarget_;
  const TDateTime runStart_;
  const bool restore_;
  const char* const folderName_;
  mutable std::mutex mutex_;
  std::string runName_;
  std::vector<std::string> added_;
  // Folders of the run folder made so far (relative paths).
  std::unordered_set<std::string> madeFolders_;
  std::int64_t kept_ = 0;
};

}  // namespace versions
