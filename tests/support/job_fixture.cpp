#include "support/job_fixture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "base/codepage.h"
#include "core/catalogue/daten.h"
#include "base/pathtext.h"
#include "support/core_support.h"

namespace vktest {

int JobFixture::AddJob(tBackups& jobs, const JobSpec& job) {
  const int index = jobs.AddJob(job.name, job.target, job.date, job.time);
  if (job.writeLists) {
    const std::string data = tBackups::GetDataDir();
    EXPECT_EQ(0, textfile::WriteLines(data + jobs.GetListFileName(index), job.dirs));
    EXPECT_EQ(0, textfile::WriteLines(data + jobs.GetExtFileName(index), job.exts));
    EXPECT_EQ(0, textfile::WriteLines(data + jobs.GetExclFileName(index), job.files));
  }
  return index;
}

void JobFixture::WriteCatalogue(const std::vector<JobSpec>& jobs) const {
  SetHomeDirForTesting(home_);
  tBackups catalogue;
  for (const JobSpec& job : jobs) AddJob(catalogue, job);
  EXPECT_TRUE(catalogue.SaveCatalogue());
  SetHomeDirForTesting(std::string());
}

void JobFixture::WriteSettings(const std::vector<std::string>& lines) const {
  SetHomeDirForTesting(home_);
  EXPECT_EQ(0, textfile::WriteLines(GetIniFileName(), lines));
  SetHomeDirForTesting(std::string());
}

void JobFixture::WriteFileAt(const std::string& path, const std::string& bytes, int year, int month,
                             int day, int hour, int minute, int second, long nsec) {
  WriteFile(path, bytes);
  SetTime(path, year, month, day, hour, minute, second, nsec);
}

void JobFixture::SetTime(const std::string& path, int year, int month, int day, int hour,
                         int minute, int second, long nsec) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  const struct timespec times[2] = {{t, nsec}, {t, nsec}};
  EXPECT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW)) << path;
}

}  // namespace vktest
