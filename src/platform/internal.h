// Helpers shared by the files of the operating-system layer; not part of
// its interface.
#pragma once

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

}  // namespace platform::detail
