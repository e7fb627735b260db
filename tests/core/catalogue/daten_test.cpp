#include "core/catalogue/daten.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "core/catalogue/appstate.h"
#include "platform/platform.h"
#include "support/core_support.h"

namespace {

// Every test works in its own home folder.
class Catalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    SetHomeDirForTesting(home_.path());
    SelectedJob = 0;
  }
  void TearDown() override {
    platform::SetFaultHook(nullptr);
    SetHomeDirForTesting("");
  }
  std::string Data(const std::string& name) const { return home_.path() + "VKDaten/" + name; }

  vktest::TempDir home_;
};

// A text field as stored: length byte, Windows-1252 characters, then the
// rest of the field filled with leftover bytes.
void PutText(std::string& rec, std::size_t at, std::size_t size, const std::string& bytes) {
  rec[at] = static_cast<char>(bytes.size());
  rec.replace(at + 1, bytes.size(), bytes);
  for (std::size_t i = at + 1 + bytes.size(); i < at + size; ++i) rec[i] = '\xCC';
}

std::string Record(const std::string& name, const std::string& list, const std::string& ext,
                   const std::string& excl, const std::string& target, const std::string& dateBytes,
                   const std::string& timeBytes) {
  std::string rec(360, '\0');
  PutText(rec, 0, 21, name);
  PutText(rec, 21, 21, list);
  PutText(rec, 42, 21, ext);
  PutText(rec, 63, 21, excl);
  PutText(rec, 84, 256, target);
  rec.replace(340, 4, "\x11\x22\x33\x44");  // padding
  rec.replace(344, 8, dateBytes);
  rec.replace(352, 8, timeBytes);
  return rec;
}

const std::string kZero(8, '\0');
// 37674.0 = 22.02.2003; 0.38020833 = 09:07:30; 0.5 = 12:00.
const std::string kDate2003("\x00\x00\x00\x00\x40\x65\xe2\x40", 8);
const std::string kTime0907("\x55\x55\x55\x55\x55\x55\xd8\x3f", 8);
const std::string kTimeNoon("\x00\x00\x00\x00\x00\x00\xe0\x3f", 8);

TEST_F(Catalogue, LoadsRecordsByteForByteAndSavesThemUnchanged) {
  const std::string first = Record("Sicherung B\xFCro", "Sicherun.lst", "Sicherun.ext",
                                   "Sicherun.dat", "/mnt/Sich\x80rung", kDate2003, kTime0907);
  const std::string blank = Record("   ", "x.lst", "x.ext", "x.dat", "/x", kZero, kZero);
  const std::string third =
      Record("Fotos", "Fotos1.lst", "Fotos1.ext", "Fotos1.dat", "/media/usb", kZero, kTimeNoon);
  const std::string empty = Record("", "y.lst", "y.ext", "y.dat", "/y", kZero, kZero);
  vktest::WriteFile(Data("volkarn.dat"), first + blank + third + empty + std::string(100, 'Z'));

  tBackups jobs;
  EXPECT_EQ(jobs.LoadCatalogue(), tBackups::LoadResult::Loaded);
  EXPECT_FALSE(jobs.LoadFailed());
  ASSERT_EQ(jobs.Count(), 4);  // the trailing 100 bytes are no record

  JobRecord r;
  ASSERT_TRUE(jobs.GetJob(0, r));
  EXPECT_EQ(r.Name(), "Sicherung Büro");
  EXPECT_EQ(r.ListFile(), "Sicherun.lst");
  EXPECT_EQ(r.ExtFile(), "Sicherun.ext");
  EXPECT_EQ(r.ExclFile(), "Sicherun.dat");
  EXPECT_EQ(r.TargetDir(), "/mnt/Sich€rung");
  EXPECT_EQ(r.LastDate(), 37674.0);
  EXPECT_EQ(jobs.GetLastBackupDate(0), "22.02.2003");
  EXPECT_EQ(jobs.GetLastBackupTime(0), "09:07");
  EXPECT_EQ(jobs.GetLastBackupDate(2), "30.12.1899");
  EXPECT_EQ(jobs.GetLastBackupTime(2), "12:00");
  EXPECT_EQ(jobs.GetJobNames(), "Sicherung Büro\r   \rFotos\r");
  EXPECT_FALSE(jobs.GetJob(4, r));
  EXPECT_EQ(jobs.GetListFileName(4), "");
  EXPECT_EQ(jobs.GetLastBackupDate(4), "");

  // Records with blank names are dropped; the others keep every byte.
  ASSERT_TRUE(jobs.SaveCatalogue());
  EXPECT_EQ(vktest::ReadFile(Data("volkarn.dat")), first + third);

  tBackups again;
  again.LoadCatalogue();
  EXPECT_EQ(again.GetJobNames(), "Sicherung Büro\rFotos");
}

TEST_F(Catalogue, DamagedLengthBytesStayWithinTheirFields) {
  std::string rec = Record("Job", "a.lst", "a.ext", "a.dat", "/t", kZero, kZero);
  rec[0] = static_cast<char>(200);
  vktest::WriteFile(Data("volkarn.dat"), rec);
  tBackups jobs;
  jobs.LoadCatalogue();
  EXPECT_EQ(text::Length(jobs.GetJobNames()), 20u);
}

TEST_F(Catalogue, MissingAndUnreadableCatalogue) {
  tBackups missing;
  EXPECT_EQ(missing.LoadCatalogue(), tBackups::LoadResult::Missing);
  EXPECT_FALSE(missing.LoadFailed());
  EXPECT_TRUE(std::filesystem::is_directory(home_ / "VKDaten"));

  // A volkarn.dat that cannot be read is never overwritten nor deleted.
  std::filesystem::create_directory(Data("volkarn.dat"));
  tBackups jobs;
  EXPECT_EQ(jobs.LoadCatalogue(), tBackups::LoadResult::Unreadable);
  EXPECT_TRUE(jobs.LoadFailed());
  EXPECT_FALSE(jobs.SaveCatalogue());
  jobs.AddJob("Neu", "/t", 0, 0);
  EXPECT_FALSE(jobs.SaveCatalogue());
  EXPECT_TRUE(std::filesystem::is_directory(Data("volkarn.dat")));
}

TEST_F(Catalogue, SaveReplacesAtomicallyAndDeletesAnEmptyCatalogue) {
  tBackups jobs;
  jobs.AddJob("Eins", "/t1", 0, 0);
  ASSERT_TRUE(jobs.SaveCatalogue());
  const std::string saved = vktest::ReadFile(Data("volkarn.dat"));
  ASSERT_EQ(saved.size(), 360u);

  // A failed write leaves the old catalogue as it was.
  jobs.AddJob("Zwei", "/t2", 0, 0);
  platform::SetFaultHook([](const std::string& op, const std::string&) {
    return op == "write-atomic" ? 28 /* ENOSPC */ : 0;
  });
  EXPECT_FALSE(jobs.SaveCatalogue());
  platform::SetFaultHook(nullptr);
  EXPECT_EQ(vktest::ReadFile(Data("volkarn.dat")), saved);

  // Deleting the only job and exiting removes the file.
  tBackups one;
  one.LoadCatalogue();
  one.DeleteJob(0);
  EXPECT_EQ(SelectedJob, -1);
  ASSERT_TRUE(one.SaveCatalogue());
  EXPECT_FALSE(vktest::Exists(Data("volkarn.dat")));
  tBackups none;
  EXPECT_EQ(none.LoadCatalogue(), tBackups::LoadResult::Missing);
  EXPECT_EQ(none.Count(), 0);
}

TEST_F(Catalogue, FileNamesAreNumberedPerExtension) {
  tBackups jobs;
  auto touch = [&](int index) {
    for (const std::string& name :
         {jobs.GetListFileName(index), jobs.GetExtFileName(index), jobs.GetExclFileName(index)})
      vktest::WriteFile(Data(name), "");
  };
  int a = jobs.AddJob("Mein Backup 2003", "/t", 0, 0);
  EXPECT_EQ(jobs.GetListFileName(a), "MeinBack.lst");
  EXPECT_EQ(jobs.GetExtFileName(a), "MeinBack.ext");
  EXPECT_EQ(jobs.GetExclFileName(a), "MeinBack.dat");
  touch(a);
  int b = jobs.AddJob("Mein Backup alt", "/t", 0, 0);
  EXPECT_EQ(jobs.GetListFileName(b), "MeinBack1.lst");
  EXPECT_EQ(jobs.GetExclFileName(b), "MeinBack1.dat");
  touch(b);
  int c = jobs.AddJob("MeinBackup", "/t", 0, 0);
  EXPECT_EQ(jobs.GetListFileName(c), "MeinBack2.lst");

  // Each extension on its own.
  std::filesystem::remove(Data("MeinBack.ext"));
  EXPECT_EQ(jobs.MakeJobFileName("Mein Back", "ext"), "MeinBack.ext");
  EXPECT_EQ(jobs.MakeJobFileName("Mein Back", "lst"), "MeinBack2.lst");

  EXPECT_EQ(jobs.GetLogFileName(b), "MeinBack1.log");
  EXPECT_EQ(jobs.GetCountFileName(b), "MeinBack1.cou");
}

TEST_F(Catalogue, FileNamesNeverLeaveTheDataFolder) {
  tBackups jobs;
  EXPECT_EQ(jobs.MakeJobFileName("a/b:c*d?e", "lst"), "a_b_c_d_.lst");
  EXPECT_EQ(jobs.MakeJobFileName("\"<>|\\x", "lst"), "_____x.lst");
  EXPECT_EQ(jobs.MakeJobFileName("../../etc/passwd", "lst"), "_._.._et.lst");
  EXPECT_EQ(jobs.MakeJobFileName(".versteckt", "lst"), "_verstec.lst");
  EXPECT_EQ(jobs.MakeJobFileName("Tab\tNeu", "lst"), "Tab_Neu.lst");
  EXPECT_EQ(jobs.MakeJobFileName("Fotos 😀 Łódź", "lst"), "Fotos__ó.lst");
  EXPECT_EQ(jobs.MakeJobFileName("   ", "lst"), "_.lst");
}

TEST_F(Catalogue, LongNamesAreCutInCharacters) {
  tBackups jobs;
  const std::string name = "Wöchentliche Sicherung 01";  // 25 characters
  int i = jobs.AddJob(name, std::string(300, 'x'), 0, 0);
  EXPECT_EQ(jobs.GetJobNames(), "Wöchentliche Sicheru");
  EXPECT_EQ(jobs.GetListFileName(i), "Wöchentl.lst");
  JobRecord r;
  ASSERT_TRUE(jobs.GetJob(i, r));
  EXPECT_EQ(r.bytes[0], 20);
  EXPECT_EQ(r.bytes[2], 0xF6);  // ö as one Windows-1252 byte
  EXPECT_EQ(r.TargetDir().size(), 255u);

  jobs.UpdateJob(i, "Neu", "/ziel", 37674.0, 0.5);
  EXPECT_EQ(jobs.GetJobNames(), "Neu");
  EXPECT_EQ(jobs.GetListFileName(i), "Wöchentl.lst");  // the file names stay
  EXPECT_EQ(jobs.GetLastBackupDate(i), "22.02.2003");
  jobs.SetJobStamp(i, 37675.0, 0.25);
  EXPECT_EQ(jobs.GetLastBackupDate(i), "23.02.2003");
  EXPECT_EQ(jobs.GetLastBackupTime(i), "06:00");
}

TEST_F(Catalogue, DeleteJobRemovesItsFilesButNeverOutsideTheDataFolder) {
  tBackups jobs;
  int i = jobs.AddJob("Alt", "/t", 0, 0);
  for (const char* name :
       {"Alt.lst", "Alt.ext", "Alt.dat", "Alt.log", "Alt.cou", "Alt.opt", "Alt.rlg", "Ander.lst"})
    vktest::WriteFile(Data(name), "x");
  jobs.AddJob("Ander", "/t", 0, 0);
  SelectedJob = i;
  jobs.DeleteJob(i);
  EXPECT_EQ(SelectedJob, -1);
  EXPECT_EQ(jobs.GetJobNames(), "Ander");
  for (const char* name :
       {"Alt.lst", "Alt.ext", "Alt.dat", "Alt.log", "Alt.cou", "Alt.opt", "Alt.rlg"})
    EXPECT_FALSE(vktest::Exists(Data(name))) << name;
  EXPECT_TRUE(vktest::Exists(Data("Ander.lst")));

  // A catalogue written elsewhere with names that point out of the folder.
  vktest::WriteFile(home_ / "victim.lst", "keep");
  vktest::WriteFile(Data("volkarn.dat"),
                    Record("B\xF6se", "../victim.lst", "..", "", "/t", kZero, kZero));
  tBackups evil;
  evil.LoadCatalogue();
  evil.DeleteJob(0);
  EXPECT_EQ(vktest::ReadFile(home_ / "victim.lst"), "keep");
  EXPECT_TRUE(std::filesystem::is_directory(home_ / "VKDaten"));
  EXPECT_FALSE(tBackups::IsSafeFileName("../victim.lst"));
  EXPECT_FALSE(tBackups::IsSafeFileName(".."));
  EXPECT_FALSE(tBackups::IsSafeFileName(""));
  EXPECT_TRUE(tBackups::IsSafeFileName("MeinBack1.lst"));
}

TEST_F(Catalogue, JobTextsAndReportNames) {
  vktest::WriteFile(Data("volkarn.dat"),
                    Record("A", "a.lst.lst", "a.ext", "a.dat", "/t", kZero, kZero) +
                        Record("B", "B.LST", "../x.ext", "b.dat", "/t", kZero, kZero));
  vktest::WriteFile(Data("a.ext"), "*.bak\n.TMP");
  vktest::WriteFile(home_ / "x.ext", "secret\r\n");
  tBackups jobs;
  jobs.LoadCatalogue();
  EXPECT_EQ(jobs.GetLogFileName(0), "a.log.log");
  EXPECT_EQ(jobs.GetCountFileName(1), "B.LST.cou");  // exact case only: added
  EXPECT_EQ(jobs.LoadJobText(0, 1), "*.bak\r\n.TMP\r\n");
  EXPECT_EQ(jobs.LoadJobText(0, 2), "");  // missing file
  EXPECT_EQ(jobs.LoadJobText(0, 3), "");
  EXPECT_EQ(jobs.LoadJobText(1, 1), "");  // never outside the data folder
  EXPECT_EQ(jobs.LoadJobText(5, 1), "");
}

TEST_F(Catalogue, NoJobFileNameEqualsAnotherFileTheProgramKeeps) {
  // A first job named like the shared files gets names of its own.
  tBackups jobs;
  for (const char* name : {"volkarn", "extens", "VOLKARN"}) {
    const int job = jobs.AddJob(name, "/t", 0, 0);
    JobRecord r;
    ASSERT_TRUE(jobs.GetJob(job, r));
    for (const std::string& file : {r.ListFile(), r.ExtFile(), r.ExclFile()})
      EXPECT_FALSE(tBackups::IsReservedName(file)) << name << ": " << file;
  }
  // Stored list names without ".lst", or ones that are shared files: the
  // report and count names never equal a list file or a shared file.
  vktest::WriteFile(Data("volkarn.dat"),
                    Record("A", "Briefe", "a.ext", "a.dat", "/t", kZero, kZero) +
                        Record("B", "volkarn.dat", "b.ext", "b.dat", "/t", kZero, kZero) +
                        Record("C", "c.lst", "c.log", "c.cou", "/t", kZero, kZero) +
                        Record("D", "d.lst", "d.ext", "d.dat", "/t", kZero, kZero));
  tBackups stored;
  stored.LoadCatalogue();
  EXPECT_EQ(stored.GetLogFileName(0), "Briefe.log");
  EXPECT_EQ(stored.GetCountFileName(0), "Briefe.cou");
  EXPECT_EQ(stored.GetLogFileName(1), "volkarn.dat.log");
  EXPECT_EQ(stored.GetLogFileName(2), "c.lst.log");  // c.log is the job's ext list
  EXPECT_EQ(stored.GetCountFileName(2), "c.lst.cou");
  EXPECT_EQ(stored.GetLogFileName(3), "d.log");  // the usual names stay
  EXPECT_EQ(stored.GetCountFileName(3), "d.cou");
  // Deleting the job whose list is named like the catalogue keeps the
  // catalogue.
  stored.DeleteJob(1);
  EXPECT_TRUE(vktest::Exists(Data("volkarn.dat")));
  for (const char* name : {"volkarn.dat", "EXTENS.DAT", "volkarn.run", "volkarn.lock"})
    EXPECT_FALSE(tBackups::IsSafeFileName(name)) << name;
}

// Every change is written by the next save; a save that failed or was
// refused leaves the change pending and says why.
TEST_F(Catalogue, ChangesStayPendingUntilASaveWritesThem) {
  tBackups jobs;
  EXPECT_FALSE(jobs.Unsaved());
  const std::function<void(tBackups&)> changes[] = {
      [](tBackups& j) { j.AddJob("Eins", "/t1", 0, 0); },
      [](tBackups& j) { j.UpdateJob(0, "Eins", "/t2", 37674.0, 0.5); },
      [](tBackups& j) { j.SetJobStamp(0, 37675.0, 0.25); },
      [](tBackups& j) { j.DeleteJob(0); },
  };
  for (const auto& change : changes) {
    change(jobs);
    EXPECT_TRUE(jobs.Unsaved());
    platform::SetFaultHook([](const std::string& op, const std::string&) {
      return op == "write-atomic" ? 28 /* ENOSPC */ : 0;
    });
    if (jobs.Count() > 0) {
      EXPECT_FALSE(jobs.SaveCatalogue());
      EXPECT_EQ(jobs.SaveError(), platform::kErrDiskFull);
      EXPECT_TRUE(jobs.Unsaved());
    }
    platform::SetFaultHook(nullptr);
    ASSERT_TRUE(jobs.SaveCatalogue());
    EXPECT_EQ(jobs.SaveError(), 0);
    EXPECT_FALSE(jobs.Unsaved());
    tBackups reread;
    reread.LoadCatalogue();
    EXPECT_EQ(reread.GetJobNames(), jobs.GetJobNames());
    EXPECT_EQ(reread.GetLastBackupDate(0), jobs.GetLastBackupDate(0));
  }

  std::filesystem::create_directory(Data("volkarn.dat"));
  tBackups unread;
  unread.LoadCatalogue();
  unread.AddJob("Neu", "/t", 0, 0);
  EXPECT_FALSE(unread.SaveCatalogue());
  EXPECT_EQ(unread.SaveError(), tBackups::kSaveRefused);
  EXPECT_TRUE(unread.Unsaved());
}

// ------------------------------------------------------ the job as shown --

// A job is shown whole or without its folders: a list that cannot be read
// never leaves the folders of the job shown before.
TEST_F(Catalogue, ShownJobIsReadWholeOrWithoutFolders) {
  const std::string kGood =
      Record("Gut", "Gut.lst", "Gut.ext", "Gut.dat", "/ziel/gut", kDate2003, kTime0907);
  struct Case {
    const char* what;
    std::string record;
    std::function<void()> prepare;
    std::string listPath;  // in the message
  };
  const Case cases[] = {
      {"missing list", Record("Fehlt", "Fehlt.lst", "f.ext", "f.dat", "/ziel/f", kZero, kZero),
       [] {}, Data("Fehlt.lst")},
      {"list is a folder",
       Record("Ordner", "Ordner.lst", "o.ext", "o.dat", "/ziel/o", kZero, kZero),
       [this] { std::filesystem::create_directory(Data("Ordner.lst")); }, Data("Ordner.lst")},
      {"list outside the data folder",
       Record("Fremd", "../fremd.lst", "x.ext", "x.dat", "/ziel/x", kDate2003, kTimeNoon),
       [this] { vktest::WriteFile(home_ / "fremd.lst", "/geheim\r\n"); }, Data("../fremd.lst")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vktest::WriteFile(Data("volkarn.dat"), kGood + c.record);
    vktest::WriteFile(Data("Gut.lst"), "/q/eins\r\n/q/zwei\r\n");
    c.prepare();
    tBackups jobs;
    jobs.LoadCatalogue();
    ShownJob shown;
    std::string failure;
    ASSERT_TRUE(ReadShownJob(jobs, 0, shown, failure));
    EXPECT_EQ(shown.Directories, (std::vector<std::string>{"/q/eins", "/q/zwei"}));
    EXPECT_NE(shown.ChangedSince, 0u);

    EXPECT_FALSE(ReadShownJob(jobs, 1, shown, failure));
    EXPECT_NE(failure.find("Die Verzeichnisliste " + c.listPath + " konnte nicht gelesen werden."),
              std::string::npos);
    JobRecord record;
    ASSERT_TRUE(jobs.GetJob(1, record));
    EXPECT_EQ(shown.Name, record.Name());
    EXPECT_EQ(shown.TargetDir, record.TargetDir());
    EXPECT_TRUE(shown.Directories.empty());
    EXPECT_EQ(shown.LastDate, record.LastDate());
    EXPECT_EQ(shown.LastDate == 0, shown.ChangedSince == 0);

    // An index outside the catalogue changes nothing.
    const ShownJob before = shown;
    EXPECT_FALSE(ReadShownJob(jobs, 2, shown, failure));
    EXPECT_EQ(shown.Name, before.Name);
    EXPECT_EQ(shown.TargetDir, before.TargetDir);
  }
}

}  // namespace
