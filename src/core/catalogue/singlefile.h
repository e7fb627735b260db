// Showing a file to the user and copying one file into the backup target.
#pragma once

#include <string>

#include "platform/platform.h"

// Opens a file for the user to read: scripts, executables, .desktop files
// and .BAT in the text viewer (never run), .RTF in the word processor
// ("wordpad.exe"), everything else with its associated program, falling
// back to the text viewer, and finally "<path>\r konnte nicht geöffnet
// werden!" in an information box.
void ShowTextFile(const std::string& path);
// Opens a run's report in the text viewer ("notepad.exe"), or else with the
// desktop's program for text files; a failure is told (ReportNotOpened).
void ShowReportFile(const std::string& path);
// True when a result of platform::LaunchFile means that the program started.
bool Launched(int result);
// The information box "<path>\r konnte nicht geöffnet werden!".
void ReportNotOpened(const std::string& path);

// Copies one file; the only place where the program copies a file. A
// destination ending with "/" names a folder. Creates the destination folder
// (never the root "/"); 267 when that fails. Sets CopyTargetName to the
// destination plus a blank and empties it on success. Result 0 or an
// error code (19 for a read-only destination without clearReadOnly).
int CopyOneFile(const std::string& source, const std::string& dest, bool overwrite,
                bool clearReadOnly);
// CopyOneFile with the source opened through an open listing (its Handle
// and the bare name, see platform::SourceRef); `source` still names it in
// CopyTargetName and for the destination name. With a target root (not
// empty) only the folders below it are made where missing, open to their
// owner only (the copy of their source folder gives them its permissions),
// and a root that is gone is never made again: 267. `losses` (when given)
// learns what the target could not hold.
int CopyOneFile(const std::string& source, const std::string& dest, bool overwrite,
                bool clearReadOnly, const platform::SourceRef& at,
                const std::string& targetRoot = std::string(),
                platform::CopyLosses* losses = nullptr);
// The same copy without touching CopyTargetName: several threads may copy
// at once (each into folders of its own or the same ones). With `keep`
// (and overwrite) a destination is never replaced but kept first
// (platform::KeepReplaced).
int CopyOneFileQuietly(const std::string& source, const std::string& dest, bool overwrite,
                       bool clearReadOnly, const platform::SourceRef& at,
                       const std::string& targetRoot = std::string(),
                       platform::CopyLosses* losses = nullptr,
                       platform::KeepReplaced* keep = nullptr);
