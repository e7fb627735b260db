// The stored synchronisation definitions: a name and the pair of folders,
// all in one file of the data folder ("volkarn.syn", Windows-1252 text with
// CR LF):
//
//   [Büro]
//   1=/home/anna/Büro
//   2=/media/anna/STICK/Büro
//
// Saved atomically; a file that could not be read is never written over.
// Lines the program does not know stay as they are.
#pragma once

#include <string>
#include <vector>

struct SyncDefinition {
  std::string name;
  std::string first;   // "1. Verzeichnis"
  std::string second;  // "2. Verzeichnis"
};

class SyncDefinitions {
 public:
  enum class LoadResult { Loaded, Missing, Unreadable };
  static constexpr const char* kFileName = "volkarn.syn";
  // The most characters of a name.
  static constexpr int kNameLength = 20;

  // Reads `path` (normally the data folder + kFileName).
  LoadResult Load(const std::string& path);
  // Result 0 or an error code; kNotWritten after a load that failed.
  int Save(const std::string& path) const;
  static constexpr int kNotWritten = -1;
  bool LoadFailed() const { return loadFailed_; }

  const std::vector<SyncDefinition>& All() const { return definitions_; }
  // The index of the definition of that name (letter case ignored), -1.
  int Find(const std::string& name) const;

  // The German text that refuses the definition (empty: it may be stored).
  // `replacing`: the index of the definition it replaces, or -1.
  std::string Refusal(const SyncDefinition& definition, int replacing = -1) const;
  // Adds or replaces after Refusal gave no text; false otherwise.
  bool Add(const SyncDefinition& definition);
  bool Replace(int index, const SyncDefinition& definition);
  void Remove(int index);

  // The files of a definition in the data folder: what the last run knew
  // (".sst") and the report of its last run (".slg").
  static std::string StateFileName(const std::string& name) { return name + ".sst"; }
  static std::string ReportFileName(const std::string& name) { return name + ".slg"; }

 private:
  std::vector<SyncDefinition> definitions_;
  std::vector<std::string> others_;  // lines before the first definition
  bool loadFailed_ = false;
};
