// The run window and the command line carry out one run: for the same job
// and the same trees they write the same report and leave the same target.
#include <errno.h>

#include <QComboBox>
#include <QPushButton>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "base/codepage.h"
#include "cmdline/cmdline.h"
#include "core/catalogue/daten.h"
#include "dialogs/kopierform.h"
#include "mainwindow/backmain.h"
#include "platform/platform.h"
#include "support/core_support.h"
#include "support/job_fixture.h"
#include "support/qt_gui_support.h"

namespace fs = std::filesystem;

namespace {

// The target's files (relative, sorted) with their contents; the name of
// a run folder of the versions (the second of the run) reads "<Lauf>".
std::vector<std::string> TargetFiles(const std::string& root) {
  std::vector<std::string> files;
  const std::string versions = "/VolKarn-Versionen/";
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    std::string path = e.path().string().substr(root.size());
    if (path.rfind(versions, 0) == 0)
      path.replace(versions.size(), path.find('/', versions.size()) - versions.size(), "<Lauf>");
    files.push_back(path + "=" + vktest::ReadFile(e.path().string()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The report without its first line (it holds the minute of the run).
std::string ReportBody(const std::string& path) {
  const std::string report = vktest::ReadFile(path);
  return report.substr(report.find("\r\n"));
}

TEST(SameRun, WindowAndCommandLineWriteTheSameReportAndSweepTheSameLeftovers) {
  vktest::TempDir tmp;
  const std::string home = tmp / "home/";
  const std::string src = tmp / "q/Daten";
  for (const char* name : {"a.txt", "zwei\nZeilen.txt", "rot\x1b[31m.txt", "\xE4\xB8\xAD.txt",
                           "sub/b.txt", "sub/c.bak", "nur/d.bak"})
    vktest::WriteFile(src + "/" + name, name);
  vktest::JobFixture fixture(home);
  fixture.WriteCatalogue({{"Job", tmp / "ziel", 0, 0, {src}, {".bak"}, {}}});
  vktest::ScriptedUi ui;
  vktest::AppWindows app(home);
  app.Show();
  app.form1()->CB1->setCurrentIndex(0);
  app.form1()->CB1Change();
  // Every name but the plain ones cannot be read: report lines with names.
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "copy-open-source" && !path.ends_with("/a.txt") && !path.ends_with("/b.txt")
               ? EACCES
               : 0;
  });
  const std::string dst = tmp / "ziel/Daten";
  const std::string mark = tBackups::GetDataDir() + tBackups::kRunMarkName;
  const std::string report = tBackups::GetDataDir() + "Job.log";
  // What a run killed while it copied left: its mark and temporary files,
  // also in a folder into which the next run copies nothing (only the
  // mark sends the sweep there).
  auto leaveKilledRun = [&] {
    fs::remove_all(tmp / "ziel");
    vktest::WriteFile(dst + "/.a.txt.vktmp-Ab12Cd", "halb");
    vktest::WriteFile(dst + "/sub/.x.vktmp-Zz9999", "halb");
    vktest::WriteFile(dst + "/nur/.y.vktmp-Yy8888", "halb");  // nothing is copied there
    vktest::WriteFile(mark, dst + "/\n");
  };

  struct Result {
    std::string report;
    std::vector<std::string> files;
  } window, commandLine;

  leaveKilledRun();
  ui.answers.push_back(false);  // not looking at the report
  vktest::WhenModal([&] {
    app.fkopie()->BitBtn2->click();
    app.fkopie()->BitBtn5->click();
  });
  app.form1()->BitBtn1Click();
  window = {ReportBody(report), TargetFiles(tmp / "ziel")};
  EXPECT_FALSE(vktest::Exists(mark));

  leaveKilledRun();
  std::ostringstream out, err;
  cli::Environment env;
  env.out = &out;
  env.err = &err;
  env.lockName = app.lockName() + "-cmdline";
  EXPECT_EQ(cli::kExitErrors,
            cli::Run(cli::ParseArguments({"--backup", "Job", "--full", "--quiet"}), env));
  commandLine = {ReportBody(report), TargetFiles(tmp / "ziel")};
  EXPECT_FALSE(vktest::Exists(mark));
  platform::SetFaultHook(nullptr);

  EXPECT_EQ(window.report, commandLine.report);
  EXPECT_NE(std::string::npos, window.report.find("zwei[x0A]Zeilen.txt"));
  EXPECT_NE(std::string::npos, window.report.find("[U+4E2D].txt"));
  EXPECT_EQ(window.files, commandLine.files);
  // The copies, and the list of the files the run added (in the order of
  // the walk) in its run folder of the versions.
  ASSERT_EQ(3u, window.files.size());
  EXPECT_EQ((std::vector<std::string>{"/Daten/a.txt=a.txt", "/Daten/sub/b.txt=sub/b.txt"}),
            std::vector<std::string>(window.files.begin(), window.files.begin() + 2));
  const std::string added = window.files[2];
  EXPECT_EQ(0u, added.find("/VolKarn-Versionen/<Lauf>/VolKarn-Neu.txt=")) << added;
  EXPECT_NE(std::string::npos, added.find("Daten/a.txt\r\n")) << added;
  EXPECT_NE(std::string::npos, added.find("Daten/sub/b.txt\r\n")) << added;
}

}  // namespace
