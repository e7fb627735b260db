// The job catalogue: the 360-byte job records of volkarn.dat and the
// per-job list files in the data folder.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One job record exactly as stored: 360 bytes, little-endian. Text fields
// are a length byte and Windows-1252 characters; bytes behind a text and
// the padding are kept as they were read.
struct JobRecord {
  static constexpr std::size_t kSize = 360;
  std::array<unsigned char, kSize> bytes{};

  std::string Name() const;       // at most 20 characters
  std::string ListFile() const;   // at most 20
  std::string ExtFile() const;    // at most 20
  std::string ExclFile() const;   // at most 20
  std::string TargetDir() const;  // at most 255
  double LastDate() const;
  double LastTime() const;

  // Setters cut to the field's maximum; characters that Windows-1252 lacks
  // are stored as "?" (the editor refuses such texts before).
  void SetName(const std::string& s);
  void SetListFile(const std::string& s);
  void SetExtFile(const std::string& s);
  void SetExclFile(const std::string& s);
  void SetTargetDir(const std::string& s);
  void SetLastDate(double d);
  void SetLastTime(double t);
};

// The index of the job on display; -1 after it was deleted.
extern int SelectedJob;

class tBackups {
 public:
  enum class LoadResult { Loaded, Missing, Unreadable };

  // The data folder: GetHomeDir() + "VKDaten/", created when missing.
  static std::string GetDataDir();
  // Files of the data folder that belong to no single job.
  static constexpr const char* kCatalogueName = "volkarn.dat";
  static constexpr const char* kExtensionListName = "extens.dat";
  static constexpr const char* kRunMarkName = "volkarn.run";
  static constexpr const char* kLockName = "volkarn.lock";
  // The desktop notifications sent for runs nobody watched (status::NoticeBook).
  static constexpr const char* kNoticeBookName = "volkarn.mld";
  // True when the name (ignoring letter case) is one of the shared files
  // above or the settings file's name.
  static bool IsReservedName(const std::string& name);

  // A file name in the data folder that does not exist yet: the job name
  // without blanks, characters that file systems refuse replaced by "_",
  // no leading ".", first 8 characters, then numbered 1, 2, ...
  std::string MakeJobFileName(const std::string& name, const std::string& ext) const;

  // Appends every whole record of volkarn.dat. Unreadable: the file exists
  // but could not be read; then SaveCatalogue never touches it.
  LoadResult LoadCatalogue();
  // Writes volkarn.dat atomically (records with blank names skipped), or
  // deletes it when the list is empty. Refused (false) after a load that
  // could not read the file. False also when the write failed; the old
  // file then stays as it was and SaveError() tells why.
  bool SaveCatalogue();
  // The error code of the last SaveCatalogue: 0 after a save, kSaveRefused
  // when the file could not be read at the start, otherwise the code of
  // the failed write.
  static constexpr int kSaveRefused = -1;
  int SaveError() const { return saveError_; }
  // True while the jobs hold a change (a job added, changed, deleted, a new
  // stamp) that no SaveCatalogue has written yet.
  bool Unsaved() const { return unsaved_; }
  void FreeJobs();

  int AddJob(const std::string& name, const std::string& target, double date, double time);
  void UpdateJob(int index, const std::string& name, const std::string& target, double date,
                 double time);
  void SetJobStamp(int index, double date, double time);
  // Deletes the job's files (never a name with a separator or "..") and the
  // record; SelectedJob := -1.
  void DeleteJob(int index);
  bool GetJob(int index, JobRecord& record) const;
  int Count() const { return static_cast<int>(jobs_.size()); }

  std::string GetListFileName(int index) const;
  std::string GetExtFileName(int index) const;
  std::string GetExclFileName(int index) const;
  std::string GetLogFileName(int index) const;
  std::string GetCountFileName(int index) const;
  // The job's options (JobOptions) and the report of its last restore.
  std::string GetOptionsFileName(int index) const;
  std::string GetRestoreLogFileName(int index) const;
  // The job's run history (core/history).
  std::string GetHistoryFileName(int index) const;
  // The run counter of the job's share-wise content check (core/verify).
  std::string GetContentFileName(int index) const;
  std::string GetLastBackupDate(int index) const;
  std::string GetLastBackupTime(int index) const;
  // Names separated by a single "\r", no separator at the end.
  std::string GetJobNames() const;
  // stem.ext (kind 1) or stem.dat (kind 2) as lines each followed by CR LF;
  // empty when missing.
  std::string LoadJobText(int index, int kind) const;

  // True when a stored file name may be used to write or delete a file: no
  // separator, not "." or "..", not empty, not a shared file's name.
  static bool IsSafeFileName(const std::string& name);

  // Set after LoadCatalogue found a file it could not read.
  bool LoadFailed() const { return loadFailed_; }

 private:
  // The job's report or count file: its list file's name with ".lst"
  // replaced by "." + ext, or with "." + ext added where that would give
  // no new name or the name of another file the program keeps.
  std::string DerivedFileName(int index, const std::string& ext) const;

  std::vector<JobRecord> jobs_;
  bool loadFailed_ = false;
  bool unsaved_ = false;
  int saveError_ = 0;
};
