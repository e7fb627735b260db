// Small helpers of the operating-system layer's tests.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vktest {

// Every name in a folder (hidden ones too), sorted.
inline std::vector<std::string> NamesIn(const std::string& dir) {
  std::vector<std::string> names;
  platform::DirLister lister(dir);
  platform::DirEntry e;
  while (lister.Next(e, false)) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

inline mode_t ModeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode;
}

// Removes the fault hook at the end of a test, also when it fails.
struct FaultHookGuard {
  explicit FaultHookGuard(platform::FaultHook hook) { platform::SetFaultHook(std::move(hook)); }
  ~FaultHookGuard() { platform::SetFaultHook(nullptr); }
};

// Injects `err` at one operation.
inline platform::FaultHook FailAt(std::string operation, int err) {
  return [operation, err](const std::string& op, const std::string&) {
    return op == operation ? err : 0;
  };
}

}  // namespace vktest
