// Helpers shared by the files of the operating-system layer; not part of
// its interface.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <string>

#include "platform/platform.h"

namespace platform::detail {

// The installed fault hook (empty in normal runs).
extern FaultHook g_faultHook;
// The installed launch hook (empty in normal runs).
extern LaunchHook g_launchHook;
// Tests: copy through a named temporary file as on file systems without
// unnamed ones.
extern bool g_forceNamedTemp;

// The errno injected for an operation, 0 when none (one branch when no
// hook is installed).
inline int Fault(const char* operation, const std::string& path) {
  if (!g_faultHook) return 0;
  return g_faultHook(operation, path);
}

// Six characters that make a temporary name unique in practice (process
// id, a counter and a random part); the caller still creates it with
// O_EXCL and retries on a clash.
std::string TempNameSuffix();

// The folder part of a path ("." for a bare name, "/" for the root) and
// its last component.
void SplitPath(const std::string& path, std::string& dir, std::string& name);

// Name of a temporary file beside the destination: dir/.<name>.vktmp-XXXXXX
std::string TempPathFor(const std::string& dir, const std::string& name);

// ------------------------------------------------ owners and attributes --

// True when the program runs as root (who may give copies any owner).
bool RunsAsRoot();
// True when the program's user belongs to the group.
bool MemberOf(gid_t gid);

// Gives the copy (the open file `fd`, or with -1 the link `linkPath`),
// made with the owner `uid` and group `gid`, the owner and group of
// `source` as far as the program may: root all of it, another user the
// group where he belongs to it. Nothing is called when they are so
// already. `uid` and `gid` then tell what the copy has (-1: not known).
void TakeOwner(int fd, const char* linkPath, const struct stat& source, uid_t& uid, gid_t& gid);

// The names of the extended attributes of `fd` (each ended by a zero
// byte) into `list`; the number of bytes, 0 when there are none or the
// file system holds none, -1 when they cannot be read.
ssize_t ListAttributeNames(int fd, std::string& list);

// True when `names` (as ListAttributeNames gives them) hold a user
// attribute or an access list: what a copy carries over.
bool AnyCarried(const std::string& names);

// Copies the user attributes and the access list among `names` (as
// ListAttributeNames gives them) from `in` to the new file `out`. With
// `removeInheritedAcl` an access list that `out` got from its folder is
// removed when the source has none. False when the target refused one.
bool CopyAttributes(int in, const std::string& names, int out, bool removeInheritedAcl);

// Counts the changes of folders' attributes: a copy looks at its folder's
// default access list again after one.
extern std::atomic<unsigned> g_folderAclChanges;

}  // namespace platform::detail
