// Jobs as the tests lay them out: a catalogue with jobs, their list files,
// the settings file, and source or target trees whose files have chosen
// last-write times.
#pragma once

#include <string>
#include <vector>

class tBackups;

namespace vktest {

struct JobSpec {
  std::string name;
  std::string target;
  double date = 0;  // last backup, 0 for none
  double time = 0;
  std::vector<std::string> dirs = {};   // the directory list (stem.lst)
  std::vector<std::string> exts = {};   // excluded extensions (stem.ext)
  std::vector<std::string> files = {};  // excluded files (stem.dat)
  bool writeLists = true;               // false: the job has no list files
};

class JobFixture {
 public:
  // `home`: the program's home folder (settings file and VKDaten/).
  explicit JobFixture(std::string home) : home_(std::move(home)) {}

  const std::string& Home() const { return home_; }
  std::string DataDir() const { return home_ + "VKDaten/"; }

  // Before the program starts: writes volkarn.dat with the jobs in this
  // order and their list files.
  void WriteCatalogue(const std::vector<JobSpec>& jobs) const;
  // Writes the settings file with these lines.
  void WriteSettings(const std::vector<std::string>& lines) const;

  // While the program runs: adds the job to its catalogue and writes the
  // job's list files (into the data folder of the home in use). Result:
  // the job's index.
  static int AddJob(tBackups& jobs, const JobSpec& job);

  // Writes a file (making its folders) with the given last-write time,
  // local time, seconds and nanoseconds included.
  static void WriteFileAt(const std::string& path, const std::string& bytes, int year, int month,
                          int day, int hour = 12, int minute = 0, int second = 0, long nsec = 0);
  // Sets the last-write time of a file, a folder or a link itself.
  static void SetTime(const std::string& path, int year, int month, int day, int hour = 12,
                      int minute = 0, int second = 0, long nsec = 0);

 private:
  std::string home_;
};

}  // namespace vktest
