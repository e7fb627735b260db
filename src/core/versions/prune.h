// Removing old versions: at the start of a run, the run folders of a job's
// versions folder that are older than the job keeps them.
#pragma once

#include <string>
#include <vector>

#include "base/timeproc.h"
#include "core/versions/versions.h"

namespace versions {

// Removes, oldest first, the run folders (restore folders too) of the
// versions folder of `jobTarget` whose moment lies more than `days` days
// before `runStart`; never the newest run folder, and only folders whose
// names are run stamps (anything else there stays). `days` 0 removes
// nothing. The result holds one report line per folder removed or not
// removed, and one when the versions folder could not be read.
// `folderName`: the versions folder's name (RootOf).
std::vector<std::string> PruneRunFolders(const std::string& jobTarget, TDateTime runStart, int days,
                                         const char* folderName = kFolderName);

}  // namespace versions
