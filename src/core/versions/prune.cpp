#include "core/versions/prune.h"

#include "core/versions/versions.h"
#include "platform/platform.h"

namespace versions {

namespace {

std::string DaysText(int days) { return days == 1 ? "1 Tag" : IntToText(days) + " Tage"; }

}  // namespace

std::vector<std::string> PruneRunFolders(const std::string& jobTarget, TDateTime runStart, int days,
                                         const char* folderName) {
  std::vector<std::string> lines;
  if (days <= 0) return lines;
  std::vector<RunFolder> folders;
  const std::string root = RootOf(jobTarget, folderName);
  if (const int err = ListRunFolders(jobTarget, folders, folderName)) {
    lines.push_back("Der Ordner " + root + " konnte nicht gelesen werden (Fehlercode " +
                    IntToText(err) + "). Es wurden keine alten Versionen entfernt.");
    return lines;
  }
  const TDateTime limit = runStart - days;
  // The newest one stays, however old it is.
  for (std::size_t i = 0; i + 1 < folders.size() && folders[i].moment < limit; ++i) {
    const std::string& name = folders[i].name;
    const int err = platform::RemoveTree(root + "/" + name);
    if (err == 0)
      lines.push_back("Die Versionen \"" + name + "\" wurden entfernt (älter als " +
                      DaysText(days) + ").");
    else
      lines.push_back("Die Versionen \"" + name + "\" in " + root +
                      " konnten nicht vollständig entfernt werden (Fehlercode " + IntToText(err) +
                      ").");
  }
  return lines;
}

}  // namespace versions
