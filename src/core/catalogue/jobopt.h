// The options of one job beside its record and list files: the job's
// ".opt" file, Windows-1252 text with CR LF, one "Schlüssel=Wert" per
// line. A missing file or key gives the default; lines the program does
// not know stay as they are; a file that could not be read is never
// written over.
#pragma once

#include <string>
#include <vector>

class tBackups;

class JobOptions {
 public:
  enum class LoadResult { Loaded, Missing, Unreadable };
  // Result of Set: the key is not one of the options, or the value is not
  // one the key takes.
  enum class SetResult { Done, UnknownKey, BadValue };

  // Keep what a run replaces (Versionen=1).
  bool Versions = true;
  // Versions older than this many days are removed at a run's start; 0
  // keeps them for ever (VersionenTage=90).
  int VersionDays = 90;
  // Files and folders the source no longer has leave the target, into the
  // versions (Spiegeln=0).
  bool Mirror = false;
  // A warning shows when the last backup without errors is older than this
  // many days; 0 never warns (WarnenNachTagen=7).
  int WarnAfterDays = 7;
  // Exclusion patterns (any number of "Ausschluss=" lines), in their order;
  // see base/pattern.h for their form.
  std::vector<std::string> Patterns;

  // Reads the file; a missing one leaves every default.
  LoadResult Load(const std::string& path);
  // Writes the file atomically. Result 0 or an error code of the error
  // table; kNotWritten after a load that could not read the file.
  int Save(const std::string& path) const;
  static constexpr int kNotWritten = -1;
  bool LoadFailed() const { return loadFailed_; }

  // Sets an option from its stored key and value text (as on the command
  // line: "Spiegeln=1"); letter case of the key does not count. For the
  // patterns "Ausschluss=P" and "Ausschluss+=P" add P (once), "Ausschluss-=P"
  // removes it (BadValue when it is not there), "Ausschluss=" clears them.
  SetResult Set(const std::string& key, const std::string& value);
  // The options as "Schlüssel=Wert" lines, in their fixed order.
  std::vector<std::string> Lines() const;
  // The keys, in their fixed order.
  static const std::vector<std::string>& Keys();
  // Why `pattern` cannot be an exclusion pattern, as a German sentence;
  // empty when it can.
  static std::string PatternProblem(const std::string& pattern);
  // What is wrong when Set(key, value) gave BadValue, as a German sentence.
  std::string BadValueText(const std::string& key, const std::string& value) const;

 private:
  // Lines of the file with keys the program does not know.
  std::vector<std::string> others_;
  bool loadFailed_ = false;
};

// The exclusion patterns of the job `index` of `jobs`; none when its
// options cannot be read (more is then looked at, nothing is lost).
std::vector<std::string> JobPatterns(const tBackups& jobs, int index);
