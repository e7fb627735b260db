#include "core/versions/keeper.h"

#include <utility>

#include "core/versions/versions.h"
#include "platform/platform.h"

namespace versions {

Keeper::Keeper(std::string jobTarget, TDateTime runStart, bool restore, const char* folderName)
    : jobTarget_(std::move(jobTarget)),
      runStart_(runStart),
      restore_(restore),
      folderName_(folderName) {}

int Keeper::MakeFolder() {
  if (!runName_.empty()) return 0;
  return MakeRunFolder(jobTarget_, runStart_, restore_, runName_, folderName_);
}

int Keeper::Keep(const std::string& targetPath, const std::string& relative) {
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int err = MakeFolder()) {
      runName_.clear();
      return err;
    }
    folder = RootOf(jobTarget_, folderName_) + "/" + runName_;
  }
  const auto slash = relative.rfind('/');
  const std::string parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
  bool made = parent.empty();
  if (!made) {
    // Most kept files share their folder with the one before: made once.
    std::lock_guard<std::mutex> lock(mutex_);
    made = madeFolders_.count(parent) != 0;
  }
  auto makeParent = [&]() -> int {
    if (int err = platform::MakeFoldersBelow(folder, parent)) return err;
    std::lock_guard<std::mutex> lock(mutex_);
    madeFolders_.insert(parent);
    return 0;
  };
  if (!made)
    if (int err = makeParent()) return err;
  const std::string dest = folder + "/" + relative;
  int err = platform::MoveNoReplace(targetPath, dest);
  if ((err == platform::kErrFileNotFound || err == platform::kErrPathNotFound) && made &&
      !parent.empty() && platform::PathExists(targetPath)) {
    // The folder noted as made is gone: made again.
    if (int again = makeParent()) return again;
    err = platform::MoveNoReplace(targetPath, dest);
  }
  for (int n = 2; err == platform::kErrFileExists && n < 1000; ++n)
    err = platform::MoveNoReplace(targetPath, dest + "." + std::to_string(n));
  if (err) return err;
  std::lock_guard<std::mutex> lock(mutex_);
  ++kept_;
  return 0;
}

void Keeper::NoteAdded(const std::string& relative) {
  std::lock_guard<std::mutex> lock(mutex_);
  added_.push_back(relative);
}

int Keeper::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (added_.empty()) return 0;
  if (int err = MakeFolder()) {
    runName_.clear();
    return err;
  }
  return WriteAddedList(RootOf(jobTarget_, folderName_) + "/" + runName_, added_);
}

std::int64_t Keeper::Kept() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return kept_;
}

std::string Keeper::RunFolderName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return runName_;
}

std::string Keeper::RunFolderPath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return runName_.empty() ? std::string() : RootOf(jobTarget_, folderName_) + "/" + runName_;
}

}  // namespace versions
