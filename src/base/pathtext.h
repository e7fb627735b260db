// Program folders and path texts. Paths are native: "/" takes the place of
// the backslash separator; ":" is an ordinary character in a name. Folder
// texts that the helpers return end with "/".
#pragma once

#include <string>

// Folder of the program's own file, ending with "/".
std::string GetProgramDir();
// File-name part of the program's own file.
std::string GetProgramFileName();
// The marker file that makes a copy of the program portable: beside it,
// the program keeps its settings and data beside itself. The build writes
// it beside the program of the build tree; an installed program has none.
inline constexpr const char* kPortableMarker = "volkarn.portable";
// True when the folder holds the marker file.
bool IsPortableProgramDir(const std::string& programDir);
// The folder that holds the data folder: the program folder of a portable
// copy, otherwise the user's data folder ($XDG_DATA_HOME/VolKarn/, created
// when missing). Ends with "/".
std::string GetHomeDir();
// The folder that holds the settings file: the program folder of a
// portable copy, otherwise $XDG_CONFIG_HOME/VolKarn/ (created when
// missing). Ends with "/".
std::string GetConfigDir();
// Tests give each case its own folder (settings and data together); an
// empty text restores the rule.
void SetHomeDirForTesting(const std::string& dir);
// The settings file: GetConfigDir() + program file name with extension
// "ini".
std::string GetIniFileName();

// Folder part of the path including the separator; empty without one.
std::string GetFilePath(const std::string& path);
// The part after the last "/"; the whole text without one; empty if the
// path ends with "/".
std::string GetFileName(const std::string& path);
// The path without its last component and the "/" in front of it.
std::string GetParentDir(const std::string& path);
// The last component ("/a/b" gives "b", "/a/b/" gives empty).
std::string GetLastPathPart(const std::string& path);
// Upper-case extension of the file-name part without the dot, at most 255
// characters; empty if there is none (a final dot counts: "a.b." gives "B.").
std::string GetExtUpper(const std::string& path);
// Replaces or appends the extension of the file-name part.
std::string ChangeExt(const std::string& path, const std::string& ext);
// Appends "/" unless empty or already ending with it.
std::string AddBackslash(const std::string& s);
// Removes one trailing "/" unless empty.
std::string RemoveBackslash(const std::string& s);
// Number of non-directory entries in the folder and below (symlinks to
// directories are counted as entries, never entered).
int CountFiles(const std::string& folder, const std::string& mask = "*.*");
