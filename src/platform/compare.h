// Reading a backup's files without changing anything: whether a source
// file and its copy hold the same bytes, and whether a folder's file
// system ignores letter case, found out without writing a probe file.
#pragma once

#include <string>

namespace platform {

enum class Sameness {
  Same,         // same size, same time (within two seconds) and the same bytes
  Differs,      // same size and time, other bytes
  NotCompared,  // not two regular files of the same size and time
  Failed,       // one of them could not be read (`error` tells why)
};

struct ContentResult {
  Sameness sameness = Sameness::NotCompared;
  int error = 0;  // with Failed: the error code (the program's numbering)
};

// Compares the regular files `a` and `b` (links are never followed) when
// they have the same size and modification time (two seconds apart at
// most, as FAT keeps it): read in large blocks, both sequentially, without
// touching their access times where the system allows.
ContentResult CompareContents(const std::string& a, const std::string& b);

// True when the existing folder `dir` is known to ignore letter case
// because its own name, with the case of its letters swapped, names the
// same folder. Writes nothing; false when that cannot be told (no letter
// in the name, the folder missing).
bool LooksCaseInsensitive(const std::string& dir);

}  // namespace platform
