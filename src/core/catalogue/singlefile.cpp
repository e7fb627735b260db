#include "core/catalogue/singlefile.h"

#include <array>
#include <filesystem>
#include <fstream>

#include "base/errorbox.h"
#include "base/pathtext.h"
#include "platform/platform.h"

namespace {

// Extensions of files that could run when opened by association.
bool IsRunnableExtension(const std::string& ext) {
  static const std::array<const char*, 15> kRunnable = {
      "BAT", "CMD", "COM",     "EXE", "MSI",      "SH",  "BASH", "ZSH",
      "KSH", "CSH", "DESKTOP", "JAR", "APPIMAGE", "RUN", "SCR"};
  for (const char* r : kRunnable)
    if (ext == r) return true;
  return false;
}

// A program (ELF) or a script with "#!" in its first bytes. Only regular
// files are opened, so a pipe never blocks here.
bool HasProgramHeader(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::status(path, ec).type() != std::filesystem::file_type::regular) return false;
  std::ifstream in(path, std::ios::binary);
  std::array<char, 4> head{};
  in.read(head.data(), head.size());
  std::streamsize got = in.gcount();
  if (got >= 4 && head[0] == '\x7F' && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
    return true;
  return got >= 2 && head[0] == '#' && head[1] == '!';
}

bool IsWebAddress(const std::string& path) {
  return path.rfind("http://", 0) == 0 || path.rfind("https://", 0) == 0;
}

}  // namespace

bool Launched(int result) {
  constexpr int kLaunchFailedAtMost = 32;
  return result > kLaunchFailedAtMost;
}

void ReportNotOpened(const std::string& path) {
  ShowInfo(path + "\r" + "konnte nicht geöffnet werden!", 1);
}

void ShowReportFile(const std::string& path) {
  int result = platform::LaunchFile("notepad.exe", path);
  // No text editor: the program that opens text files on this desktop.
  if (result == 31) result = platform::LaunchFile(path, std::string());
  if (!Launched(result)) ReportNotOpened(path);
}

void ShowTextFile(const std::string& path) {
  if (IsWebAddress(path)) {
    // The browser is the web address's associated program.
    if (!Launched(platform::LaunchFile(path, ""))) ReportNotOpened(path);
    return;
  }
  std::string ext = GetExtUpper(path);
  if (IsRunnableExtension(ext) || platform::IsExecutableFile(path) || HasProgramHeader(path)) {
    // Shown as text, never run.
    if (!Launched(platform::LaunchFile("notepad.exe", path))) ReportNotOpened(path);
    return;
  }
  if (ext == "RTF") {
    if (!Launched(platform::LaunchFile("wordpad.exe", path))) ReportNotOpened(path);
    return;
  }
  if (Launched(platform::LaunchFile(path, ""))) return;
  if (Launched(platform::LaunchFile("notepad.exe", path))) return;
  ReportNotOpened(path);
}

namespace {

// Makes sure the destination folder exists. The folder checked last is
// taken as still there (`trusted` set); should it have gone, the copy
// reports a missing path and the caller checks again. Below a target root
// only the folders under it are made: a root that has gone (its drive
// pulled out) is never made again, on whatever disk its parent lies.
bool EnsureFolder(const std::string& folder, const std::string& targetRoot, bool force,
                  bool& trusted) {
  static thread_local std::string checked;
  trusted = false;
  // The root "/" is never created.
  if (folder.empty() || folder == "/") return true;
  if (!force && folder == checked) {
    trusted = true;
    return true;
  }
  checked.clear();
  if (!platform::DirExists(folder)) {
    if (targetRoot.empty()) {
      if (!platform::CreateDirPath(folder)) return false;
    } else {
      const std::string root = RemoveBackslash(targetRoot);
      if (folder.size() <= root.size() + 1 || folder.compare(0, root.size(), root) != 0 ||
          folder[root.size()] != '/')
        return false;
      if (platform::MakeFoldersBelow(root, folder.substr(root.size() + 1)) != 0) return false;
    }
  }
  checked = folder;
  return true;
}

int CopyToTarget(const std::string& source, const std::string& target, bool overwrite,
                 bool clearReadOnly, const platform::SourceRef& at, platform::CopyLosses* losses,
                 platform::KeepReplaced* keep) {
  if (overwrite)
    return platform::CopyFileReplacing(source, target, clearReadOnly, at, losses, keep);
  if (platform::FileExists(target) && platform::HasAttributes(target, platform::kAttrReadOnly)) {
    if (!clearReadOnly) return platform::kErrWriteProtect;
    platform::ClearAttributes(target, platform::kAttrReadOnly);
  }
  return platform::CopyFile(source, target, true);
}

}  // namespace

int CopyOneFile(const std::string& source, const std::string& dest, bool overwrite,
                bool clearReadOnly) {
  return CopyOneFile(source, dest, overwrite, clearReadOnly, platform::SourceRef{});
}

int CopyOneFile(const std::string& source, const std::string& dest, bool overwrite,
                bool clearReadOnly, const platform::SourceRef& at, const std::string& targetRoot,
                platform::CopyLosses* losses) {
  std::string target = dest;
  if (GetFileName(target).empty()) target += GetFileName(source);
  const int result =
      CopyOneFileQuietly(source, dest, overwrite, clearReadOnly, at, targetRoot, losses);
  // A folder that cannot be made leaves the name as it was.
  if (result == platform::kErrDirectory) return result;
  if (result == 0)
    CopyTargetName.clear();
  else
    CopyTargetName = target + " ";
  return result;
}

int CopyOneFileQuietly(const std::string& source, const std::string& dest, bool overwrite,
                       bool clearReadOnly, const platform::SourceRef& at,
                       const std::string& targetRoot, platform::CopyLosses* losses,
                       platform::KeepReplaced* keep) {
  // "dir/" gives "dir", "/" gives "".
  std::string folder = RemoveBackslash(GetFilePath(dest));
  bool trusted = false;
  if (!EnsureFolder(folder, targetRoot, false, trusted)) return platform::kErrDirectory;

  std::string target = dest;
  if (GetFileName(target).empty()) target += GetFileName(source);

  int result = CopyToTarget(source, target, overwrite, clearReadOnly, at, losses, keep);
  if (result == platform::kErrPathNotFound && trusted) {
    // The folder may have gone since it was last checked.
    if (!EnsureFolder(folder, targetRoot, true, trusted)) return platform::kErrDirectory;
    result = CopyToTarget(source, target, overwrite, clearReadOnly, at, losses, keep);
  }
  return result;
}
