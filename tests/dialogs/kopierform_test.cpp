// The run window and the backup page's "&Start" and "Pr&otokoll": what the
// main window hands over, the look of the window, a run with its states,
// cancel, the end of a run and the end of the program.
#include "dialogs/kopierform.h"

#include <errno.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "base/codepage.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/optio.h"
#include "core/versions/versions.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"
#include "platform/platform.h"
#include "support/core_support.h"
#include "support/job_fixture.h"
#include "support/qt_gui_support.h"
#include "support/verify_support.h"
#include "widgets/qt_runthread.h"

namespace fs = std::filesystem;

namespace {

using JobData = vktest::JobSpec;

std::string S(const QString& s) { return s.toStdString(); }

class RunWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::SetFaultHook(nullptr);
    platform::SetLaunchHook(nullptr);
  }

  // Writes the catalogue, starts the windows and shows job 0.
  void Start(const std::vector<JobData>& jobs, const std::vector<std::string>& settings = {}) {
    fs::create_directories(tmp / "ziel");
    vktest::JobFixture fixture(home);
    fixture.WriteCatalogue(jobs);
    if (!settings.empty()) fixture.WriteSettings(settings);
    app = std::make_unique<vktest::AppWindows>(home);
    app->Show();
    ChooseJob(0);
    platform::SetLaunchHook([this](const std::string& file, const std::string& params) {
      launches.emplace_back(file, params);
      return 42;
    });
  }

  void ChooseJob(int index) {
    Form1->CB1->setCurrentIndex(index);
    Form1->CB1Change();
  }

  // Presses "&Start"; `inside` runs while the run window is open. The
  // result is the run window's modal result.
  int StartBackup(std::function<void()> inside) {
    int result = -1;
    vktest::WhenModal([&] {
      if (inside) inside();
      if (FormKopie()->isVisible())
        FormKopie()->BitBtn5->isEnabled() ? FormKopie()->BitBtn5->click()
                                          : FormKopie()->BitBtn1->click();
    });
    QObject::connect(
        FormKopie(), &QDialog::finished, FormKopie(), [&](int r) { result = r; },
        Qt::SingleShotConnection);
    Form1->BitBtn1Click();
    return result;
  }

  void Write(const std::string& path, const std::string& bytes = "x") {
    vktest::WriteFile(path, bytes);
  }

  std::vector<std::string> CountCells() const {
    std::vector<std::string> cells;
    for (int r = 1; r < FormKopie()->RowCount(); ++r) cells.push_back(S(FormKopie()->Cell(2, r)));
    return cells;
  }

  vktest::TempDir tmp;
  std::string home = tmp / "home/";
  vktest::ScriptedUi ui;
  std::unique_ptr<vktest::AppWindows> app;
  std::vector<std::pair<std::string, std::string>> launches;
};

double Date(int y, int m, int d) {
  double v = 0;
  EXPECT_TRUE(TryEncodeDate(y, m, d, v));
  return v;
}

}  // namespace

// ------------------------------------------------------------- handover --

TEST_F(RunWindowTest, StartHandsTheJobToTheRunWindow) {
  Start({{"Bücher",
          tmp / "ziel",
          Date(2003, 2, 15),
          EncodeTime(17, 5, 0, 0),
          {tmp / "a/Briefe", tmp / "b/Bilder", "/"},
          {"*.bäk", ".tmp"},
          {"/home/anna/brief.doc"}}});
  ASSERT_TRUE(Form1->RadioButton2->isChecked());
  StartBackup([&] {
    EXPECT_EQ("Sicherung \"Bücher\"", S(FormKopie()->windowTitle()));
    EXPECT_EQ("Bücher", S(FormKopie()->Label2->text()));
    EXPECT_FALSE(FormKopie()->Request().FullBackup);
    EXPECT_EQ(Form1->State().Shown.ChangedSince, FormKopie()->Request().ChangedSince);
    EXPECT_NE(0u, FormKopie()->Request().ChangedSince);
    EXPECT_EQ("Nach dem 15.02.2003/17:05 Uhr geändert.", FormKopie()->Request().ChangedSinceText);
    EXPECT_EQ("*.BÄK\r\n.TMP\r\n", FormKopie()->Request().ExcludedExts);
    EXPECT_EQ("/HOME/ANNA/BRIEF.DOC\r\n", FormKopie()->Request().ExcludedFiles);
    ASSERT_EQ(4, FormKopie()->RowCount());
    EXPECT_EQ(tmp / "a/Briefe", S(FormKopie()->Cell(0, 1)));
    EXPECT_EQ(tmp / "ziel/Briefe", S(FormKopie()->Cell(1, 1)));
    EXPECT_EQ(tmp / "ziel/Bilder", S(FormKopie()->Cell(1, 2)));
    EXPECT_EQ(tmp / "ziel/", S(FormKopie()->Cell(1, 3)));  // a root maps to the target itself
    EXPECT_EQ("", S(FormKopie()->Cell(2, 1)));
    // The ready state with the incremental mode.
    EXPECT_TRUE(FormKopie()->Panel3->isVisible());
    EXPECT_EQ(FormKopie()->Panel2->rect(), FormKopie()->Panel3->geometry());
    EXPECT_TRUE(FormKopie()->RB2->isChecked());
    EXPECT_EQ("Nach dem 15.02.2003/17:05 Uhr geändert.", S(FormKopie()->Label4->text()));
    EXPECT_EQ(QColor(0, 128, 0), FormKopie()->RB2->palette().color(QPalette::WindowText));
    EXPECT_EQ(QColor(255, 0, 0), FormKopie()->RB1->palette().color(QPalette::WindowText));
    FormKopie()->RB1->click();
    EXPECT_TRUE(FormKopie()->Request().FullBackup);
    EXPECT_EQ("Alle Dateien", S(FormKopie()->Label4->text()));
    EXPECT_EQ(QColor(0, 128, 0), FormKopie()->RB1->palette().color(QPalette::WindowText));
    EXPECT_EQ(QColor(255, 0, 0), FormKopie()->RB2->palette().color(QPalette::WindowText));
  });
  // Closed without a run: the job is shown again, nothing changed.
  EXPECT_TRUE(Form1->isVisible());
  EXPECT_EQ("15.02.2003", S(Form1->Edit2->text()));

  // The full mode of the main window, and a second opening.
  Form1->RadioButton1->click();
  StartBackup([&] {
    EXPECT_TRUE(FormKopie()->Request().FullBackup);
    EXPECT_TRUE(FormKopie()->RB1->isChecked());
    EXPECT_EQ("Alle Dateien", S(FormKopie()->Label4->text()));
  });
  Form1->RadioButton2->click();
  StartBackup([&] {
    EXPECT_EQ("Nach dem 15.02.2003/17:05 Uhr geändert.", S(FormKopie()->Label4->text()));
  });
}

TEST_F(RunWindowTest, AJobNeverBackedUpRunsInFullAndAJobWithoutFoldersRunsNothing) {
  Start({{"Neu", tmp / "ziel", 0, 0, {tmp / "q/Daten"}, {}, {}},
         {"Leer", tmp / "ziel2", 0, 0, {}, {}, {}}});
  StartBackup([&] {
    EXPECT_TRUE(FormKopie()->Request().FullBackup);
    EXPECT_EQ("Nach dem / Uhr geändert.", FormKopie()->Request().ChangedSinceText);
    EXPECT_EQ("Alle Dateien", S(FormKopie()->Label4->text()));
    EXPECT_EQ(2, FormKopie()->RowCount());
  });
  ChooseJob(1);
  StartBackup([&] { EXPECT_EQ(1, FormKopie()->RowCount()); });
}

// ------------------------------------------------------------------ look --

TEST_F(RunWindowTest, PlaceSizeColumnsAndOptionsAreKept) {
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/Daten"}, {}, {}}},
        {"Job", "0", "0", "0", "0", "0", "30", "40", "700", "500", "1", "1"});
  StartBackup([&] {
    EXPECT_EQ(QPoint(30, 40), FormKopie()->pos());
    EXPECT_EQ(QSize(700, 500), FormKopie()->size());
    EXPECT_TRUE(FormKopie()->CheckBox1->isChecked());
    EXPECT_TRUE(FormKopie()->CheckBox2->isChecked());
    EXPECT_EQ("Zu sichernde Verzeichnisse", S(FormKopie()->Cell(0, 0)));
    EXPECT_EQ("Zielverzeichnisse", S(FormKopie()->Cell(1, 0)));
    EXPECT_EQ("Anzahl", S(FormKopie()->Cell(2, 0)));
    QTableWidget* g = FormKopie()->SG1;
    const int client = g->viewport()->width();
    EXPECT_EQ(60, g->columnWidth(2));
    EXPECT_EQ(220, g->columnWidth(0));
    EXPECT_EQ(client, g->columnWidth(0) + g->columnWidth(1) + g->columnWidth(2));
    // Panels, colours, fonts.
    EXPECT_EQ(57, FormKopie()->Panel1->height());
    EXPECT_EQ(153, FormKopie()->Panel2->height());
    EXPECT_EQ(FormKopie()->height() - 153, FormKopie()->Panel2->y());
    EXPECT_EQ(QColor(255, 249, 174), FormKopie()->Panel1->palette().color(QPalette::Window));
    EXPECT_EQ(QSize(117, 61), FormKopie()->Label8->size());
    EXPECT_EQ(QSize(272, 60), FormKopie()->Animate1->size());
    EXPECT_TRUE(FormKopie()->Label2->font().bold());
    EXPECT_EQ(16, FormKopie()->Label8->font().pixelSize());
    EXPECT_EQ(13, FormKopie()->RB1->font().pixelSize());
    EXPECT_TRUE(FormKopie()->BitBtn2->isDefault());
    EXPECT_FALSE(FormKopie()->BitBtn5->isEnabled());
    EXPECT_FALSE(FormKopie()->Animate1->isVisible());
    // No German text is cut off.
    for (QWidget* w : std::initializer_list<QWidget*>{
             FormKopie()->RB1, FormKopie()->RB2, FormKopie()->CheckBox1, FormKopie()->CheckBox2,
             FormKopie()->BitBtn2, FormKopie()->BitBtn1, FormKopie()->Label1, FormKopie()->Label3})
      EXPECT_LE(w->sizeHint().width(), w->width()) << S(w->objectName());

    // Narrower than 400 snaps back; the last column ends at the edge.
    FormKopie()->resize(300, 450);
    QApplication::processEvents();
    EXPECT_EQ(400, FormKopie()->width());
    EXPECT_EQ(g->viewport()->width(), g->columnWidth(0) + g->columnWidth(1) + g->columnWidth(2));
    // A column dragged by the user: the last one takes the rest again.
    g->setColumnWidth(0, 100);
    FormKopie()->SG1MouseUp();
    EXPECT_EQ(g->viewport()->width(), g->columnWidth(0) + g->columnWidth(1) + g->columnWidth(2));
    FormKopie()->move(35, 45);
    FormKopie()->CheckBox1->setChecked(false);
  });
  // FormClose stored place, size and options.
  const std::vector<std::string>& lines = Form1->Options()->Lines();
  EXPECT_EQ("35", lines[6]);
  EXPECT_EQ("45", lines[7]);
  EXPECT_EQ("400", lines[8]);
  EXPECT_EQ("450", lines[9]);
  EXPECT_FALSE(Form1->Options()->GetCB1());
  EXPECT_TRUE(Form1->Options()->GetCheckDirDate());
}

// Without a stored size, or with one too small for the controls, the
// window opens where every control shows, centred on the main window.
TEST_F(RunWindowTest, WithoutAUsableStoredSizeTheWindowShowsEveryControl) {
  struct Case {
    std::vector<std::string> settings;  // none: a new settings file
    QSize size;
  } cases[] = {
      {{}, QSize(640, 420)},
      {{"Job", "0", "0", "0", "0", "0", "30", "40", "500", "1", "0", "0"}, QSize(500, 420)},
  };
  for (const Case& c : cases) {
    Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/Daten"}, {}, {}}}, c.settings);
    StartBackup([&] {
      EXPECT_EQ(c.size, FormKopie()->size());
      EXPECT_LE(
          (Form1->frameGeometry().center() - FormKopie()->geometry().center()).manhattanLength(),
          2);
      for (QAbstractButton* w :
           std::initializer_list<QAbstractButton*>{FormKopie()->BitBtn2, FormKopie()->BitBtn1,
                                                   FormKopie()->RB1, FormKopie()->CheckBox2})
        EXPECT_TRUE(
            FormKopie()->rect().contains(QRect(w->mapTo(FormKopie(), QPoint(0, 0)), w->size())))
            << S(w->text());
      EXPECT_FALSE(FormKopie()->CheckBox1->isChecked());
    });
    app.reset();
  }
}

// ------------------------------------------------------------------- run --

TEST_F(RunWindowTest, ARunShowsProgressAndStoresTheStartAsTheNewLastBackup) {
  for (int i = 0; i < 60; ++i) Write(tmp / ("q/Daten/" + std::to_string(i) + ".txt"));
  Write(tmp / "q/Daten/sub/a.txt");
  Write(tmp / "q/Daten/skip.bak");
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/Daten"}, {"*.bak"}, {}}});
  const TDateTime before = Now();
  bool sawRunning = false;
  // The copies run on the run's own thread; the hook looks at the window
  // on the window's thread.
  FormKopie()->Engine().CopyThreads = 0;
  platform::SetFaultHook([&](const std::string& op, const std::string& path) {
    if (op == "copy-open-source" && path.ends_with("/sub/a.txt"))
      guithread::Call([&] {
        // The running state, seen from inside a copy.
        sawRunning = true;
        EXPECT_TRUE(FormKopie()->Running());
        EXPECT_FALSE(FormKopie()->Panel3->isVisible());
        EXPECT_TRUE(FormKopie()->Animate1->isVisible());
        EXPECT_TRUE(FormKopie()->Animate1->Active());
        EXPECT_TRUE(FormKopie()->Label7->isVisible());
        EXPECT_EQ("Kopiere " + tmp / "q/Daten/sub/a.txt", S(FormKopie()->Label7->text()));
        EXPECT_TRUE(FormKopie()->BitBtn4->isEnabled());
        EXPECT_FALSE(FormKopie()->BitBtn5->isEnabled());
        EXPECT_EQ("<<<", S(FormKopie()->Cell(2, 1)).substr(0, 3));
      });
    return 0;
  });
  StartBackup([&] {
    FormKopie()->BitBtn2->click();
    EXPECT_TRUE(sawRunning);
    // The finished state.
    EXPECT_FALSE(FormKopie()->Running());
    EXPECT_FALSE(FormKopie()->Panel3->isVisible());
    EXPECT_FALSE(FormKopie()->Label7->isVisible());
    EXPECT_FALSE(FormKopie()->Animate1->isVisible());
    EXPECT_FALSE(FormKopie()->Animate1->Active());
    EXPECT_TRUE(FormKopie()->BitBtn5->isEnabled());
    EXPECT_FALSE(FormKopie()->BitBtn4->isEnabled());
    EXPECT_EQ("61\nDateien\nkopiert.", S(FormKopie()->Label8->text()));
    EXPECT_EQ((std::vector<std::string>{"OK 61"}), CountCells());
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(0, FormKopie()->Engine().RunStatus);
    EXPECT_TRUE(FormKopie()->isVisible());
    // Return closes the finished window as "Schließen" does.
    QTest::keyClick(FormKopie(), Qt::Key_Return);
    EXPECT_FALSE(FormKopie()->isVisible());
  });
  EXPECT_TRUE(fs::exists(tmp / "ziel/Daten/sub/a.txt"));
  EXPECT_FALSE(fs::exists(tmp / "ziel/Daten/skip.bak"));
  // The main window shows the new last backup: the start of the run.
  JobRecord record;
  ASSERT_TRUE(Form1->Backups()->GetJob(0, record));
  const double stored = std::floor(record.LastDate()) + record.LastTime();
  EXPECT_LT(stored, Now());
  EXPECT_GT(stored, before - 6.0 / 86400.0);
  EXPECT_EQ(FormatDateText(4, stored), S(Form1->Edit2->text()));
  EXPECT_TRUE(Form1->RadioButton2->isChecked());
  const std::string report = vktest::ReadFile(tBackups::GetDataDir() + "Job.log");
  EXPECT_NE(std::string::npos, report.find("Es sind keine Fehler aufgetreten.\r\n"
                                           "61 Dateien wurden kopiert.\r\n"));
}

TEST_F(RunWindowTest, ARunWithErrorsKeepsTheLastBackup) {
  Write(tmp / "q/Daten/a.txt");
  Write(tmp / "q/Daten/b.txt");
  Start({{"Job",
          tmp / "ziel",
          Date(2003, 2, 15),
          EncodeTime(17, 5, 0, 0),
          {tmp / "q/Fehlt", tmp / "q/Daten"},
          {},
          {}}});
  ui.answers.push_back(false);
  StartBackup([&] {
    FormKopie()->BitBtn2->click();
    // The missing source folder costs two report lines and the question
    // whether to see them; the run itself ended with 0 (its last copy
    // succeeded).
    EXPECT_EQ(0, FormKopie()->Engine().RunStatus);
    EXPECT_EQ((std::vector<std::string>{"OK 0", "OK 2"}), CountCells());
    ASSERT_EQ(1u, ui.boxes.size());
    EXPECT_EQ("ask", ui.boxes[0].kind);
  });
  EXPECT_TRUE(fs::exists(tmp / "ziel/Daten/b.txt"));
  // The stamp stays: the next run still covers what is missing now.
  JobRecord record;
  ASSERT_TRUE(Form1->Backups()->GetJob(0, record));
  EXPECT_EQ(Date(2003, 2, 15), std::floor(record.LastDate()));
  EXPECT_EQ("15.02.2003", S(Form1->Edit2->text()));
  const std::string report = vktest::ReadFile(tBackups::GetDataDir() + "Job.log");
  EXPECT_NE(std::string::npos,
            report.find(cp1252::FromUtf8(
                " existiert nicht. Es konnten keine Dateien aus diesem Verzeichnis kopiert "
                "werden.\r\n"
                "Wegen dieser Fehler bleibt das Datum der letzten Sicherung unverändert.\r\n"
                "2 Dateien wurden kopiert.\r\n")));
}

TEST_F(RunWindowTest, ARunWithCopyThreadsEndsAsOneCopyAfterTheOther) {
  // No fault hook: the engine copies on its worker threads.
  for (int i = 0; i < 130; ++i)
    Write(tmp / ("q/eins/" + std::to_string(i % 4) + "/" + std::to_string(i) + ".txt"),
          std::string(static_cast<std::size_t>(i) * 50, 'd'));
  for (int i = 0; i < 20; ++i) Write(tmp / ("q/zwei/" + std::to_string(i)));
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/eins", tmp / "q/zwei"}, {}, {}}});
  StartBackup([&] {
    FormKopie()->BitBtn2->click();
    EXPECT_FALSE(FormKopie()->Running());
    EXPECT_EQ(0, FormKopie()->Engine().RunStatus);
    EXPECT_EQ("150\nDateien\nkopiert.", S(FormKopie()->Label8->text()));
    EXPECT_EQ((std::vector<std::string>{"OK 130", "OK 20"}), CountCells());
    EXPECT_TRUE(ui.boxes.empty());
  });
  // The copies; the versions folder holds the list of the files the run
  // added.
  std::size_t copied = 0;
  for (auto it = fs::recursive_directory_iterator(tmp / "ziel"); it != fs::end(it); ++it) {
    if (it->path().filename() == versions::kFolderName) {
      it.disable_recursion_pending();
      continue;
    }
    copied += it->is_regular_file();
  }
  EXPECT_EQ(150u, copied);
  EXPECT_EQ(std::string(129 * 50, 'd'), vktest::ReadFile(tmp / "ziel/eins/1/129.txt"));
  EXPECT_NE("", S(Form1->Edit2->text()));  // the new stamp
}

TEST_F(RunWindowTest, TheCountOfEachFolderEndIsDrawnAtTheNextFrameAndTheRunEndsExact) {
  // The line and the count display are drawn at most once per frame. The
  // exact count at a folder's end is drawn at the next frame, although the
  // count's refresh rule hands over nothing more while the next folder
  // runs; what the user is left with at the run's end is exact. 73 and 26
  // files: neither total is a step of that rule. Each copy takes a few
  // milliseconds, so the second folder lasts longer than a frame.
  for (int i = 0; i < 73; ++i) Write(tmp / ("q/eins/" + std::to_string(i) + ".txt"));
  for (int i = 0; i < 26; ++i) Write(tmp / ("q/zwei/" + std::to_string(i) + ".txt"));
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/eins", tmp / "q/zwei"}, {}, {}}});
  FormKopie()->Engine().CopyThreads = 0;
  std::string lastSource;
  // What the count display shows while the second folder is copied.
  std::vector<std::string> shownInSecondRow;
  platform::SetFaultHook([&](const std::string& op, const std::string& path) {
    if (op != "copy-open-source") return 0;
    guithread::Call([&] {
      // The line names the file in work, whatever was drawn last.
      EXPECT_EQ("Kopiere " + path, S(FormKopie()->Label7->text()));
      if (path.find("/q/zwei/") != std::string::npos)
        shownInSecondRow.push_back(S(FormKopie()->Label8->text()));
    });
    lastSource = path;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return 0;
  });
  StartBackup([&] {
    FormKopie()->BitBtn2->click();
    EXPECT_EQ(0, FormKopie()->Engine().RunStatus);
    // At first perhaps what the last frame of the first folder drew, then
    // its exact end.
    ASSERT_EQ(26u, shownInSecondRow.size());
    EXPECT_EQ("73\nDateien\nkopiert.", shownInSecondRow.back());
    EXPECT_EQ("99\nDateien\nkopiert.", S(FormKopie()->Label8->text()));
    EXPECT_EQ("Kopiere " + lastSource, S(FormKopie()->Label7->text()));
    EXPECT_EQ((std::vector<std::string>{"OK 73", "OK 26"}), CountCells());
  });
}

TEST_F(RunWindowTest, CancelDuringTheSecondOfThreeRows) {
  for (const char* r : {"eins", "zwei", "drei"})
    for (int i = 0; i < 4; ++i) Write(tmp / ("q/" + std::string(r) + "/" + std::to_string(i)));
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/eins", tmp / "q/zwei", tmp / "q/drei"}, {}, {}}});
  int copiedInTwo = 0;
  // The copies run on the run's own thread, one after the other.
  FormKopie()->Engine().CopyThreads = 0;
  platform::SetFaultHook([&](const std::string& op, const std::string& path) {
    // A click on "Abbrechen" while the second file of row 2 is copied
    // (taken by the window before the copy ends): the run stops before its
    // next entry.
    if (op == "copy-open-source" && path.find("/q/zwei/") != std::string::npos &&
        ++copiedInTwo == 2)
      guithread::Call([] { FormKopie()->BitBtn4->click(); });
    if (op == "copy-open-source") std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 0;
  });
  StartBackup([&] {
    FormKopie()->BitBtn2->click();
    EXPECT_EQ(CopyEngine::kCancelled, FormKopie()->Engine().RunStatus);
    EXPECT_EQ((std::vector<std::string>{"OK 4", "<<< 2", ""}), CountCells());
    ASSERT_EQ(1u, ui.boxes.size());
    EXPECT_EQ(WithLeadingBreaks("Der Kopiervorgang wurde abgebrochen."), ui.boxes[0].text);
    EXPECT_FALSE(ui.boxes[0].beep);
  });
  EXPECT_EQ("", S(Form1->Edit2->text()));  // no new stamp
  EXPECT_TRUE(launches.empty());
}

TEST_F(RunWindowTest, ACancelAmongManySmallFilesStopsTheRunSoon) {
  // Files copied faster than the window holds event rounds: the click is
  // still taken while the run goes on, not after its end.
  constexpr int kFiles = 3000;
  for (int i = 0; i < kFiles; ++i) Write(tmp / ("q/viele/" + std::to_string(i)));
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/viele"}, {}, {}}});
  std::atomic<int> copies = 0;  // the copy threads call the hook
  platform::SetFaultHook([&](const std::string& op, const std::string&) {
    if (op == "copy-open-source" && ++copies == 20)
      QTimer::singleShot(0, FormKopie()->BitBtn4, [] { FormKopie()->BitBtn4->click(); });
    return 0;
  });
  StartBackup([&] {
    FormKopie()->BitBtn2->click();
    EXPECT_EQ(CopyEngine::kCancelled, FormKopie()->Engine().RunStatus);
    EXPECT_LT(FormKopie()->Engine().CopiedTotal, kFiles);
  });
}

TEST_F(RunWindowTest, WhileOneCopyHangsTheWindowDrawsItsLineAndTakesTheCancel) {
  // A copy that takes long (a slow disk, a large file): the window still
  // draws the file in work and its count, and "Abbrechen" stops the run
  // before its next entry.
  for (int i = 0; i < 10; ++i) Write(tmp / ("q/Daten/" + std::to_string(i)));
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/Daten"}, {}, {}}});
  FormKopie()->Engine().CopyThreads = 0;
  int copies = 0;
  bool drawn = false;
  std::string hanging;
  platform::SetFaultHook([&](const std::string& op, const std::string& path) {
    if (op != "copy-open-source" || ++copies != 4) return 0;
    hanging = path;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!drawn && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      guithread::Call([&] {
        drawn = !FormKopie()->Label7->TextWaiting() &&
                S(FormKopie()->Label7->text()) == "Kopiere " + path &&
                S(FormKopie()->Label8->text()) == "3\nDateien\nkopiert.";
      });
    }
    guithread::Call([] { FormKopie()->BitBtn4->click(); });
    return 0;
  });
  StartBackup([&] {
    FormKopie()->BitBtn2->click();
    EXPECT_TRUE(drawn) << hanging;
    EXPECT_EQ(CopyEngine::kCancelled, FormKopie()->Engine().RunStatus);
    EXPECT_EQ(4, FormKopie()->Engine().CopiedTotal);
    EXPECT_EQ(4, copies);
  });
  EXPECT_EQ("", S(Form1->Edit2->text()));  // no new stamp
}

TEST_F(RunWindowTest, ClosingTheWindowDuringARunLetsTheRunFinish) {
  for (int i = 0; i < 5; ++i) Write(tmp / ("q/Daten/" + std::to_string(i)));
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/Daten"}, {}, {}}});
  int copies = 0;
  FormKopie()->Engine().CopyThreads = 0;
  platform::SetFaultHook([&](const std::string& op, const std::string&) {
    if (op == "copy-open-source" && ++copies == 2) guithread::Call([] { FormKopie()->close(); });
    return 0;
  });
  bool closedByRun = false;
  StartBackup([&] {
    FormKopie()->BitBtn2->click();
    closedByRun = !FormKopie()->isVisible();
  });
  EXPECT_TRUE(closedByRun);
  EXPECT_EQ(5, copies);
  std::size_t copied = 0;
  for (auto& e : fs::directory_iterator(tmp / "ziel/Daten")) copied += e.is_regular_file();
  EXPECT_EQ(5u, copied);
}

// ---------------------------------------------------- end of the program --

TEST_F(RunWindowTest, EndingTheProgramAfterARunWithErrors) {
  Write(tmp / "q/eins/gesperrt.txt");
  Write(tmp / "q/zwei/gut.txt");
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/eins", tmp / "q/zwei"}, {}, {}}},
        {"Job", "0", "0", "0", "0", "0", "0", "0", "0", "0", "1", "0"});
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "copy-open-source" && path.ends_with("gesperrt.txt") ? EACCES : 0;
  });
  const std::string log = tBackups::GetDataDir() + "Job.log";

  // "Ja": the report opens, the box is unchecked, the program goes on.
  ui.answers.push_back(true);
  int result = StartBackup([&] {
    ASSERT_TRUE(FormKopie()->CheckBox1->isChecked());
    FormKopie()->BitBtn2->click();
    EXPECT_TRUE(FormKopie()->isVisible());
    EXPECT_FALSE(FormKopie()->CheckBox1->isChecked());
  });
  EXPECT_NE(3, result);
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"notepad.exe", log}}), launches);
  EXPECT_TRUE(Form1->isVisible());
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ("ask", ui.boxes[0].kind);

  // "Nein": the window closes with 3 and the program ends after saving.
  Form1->Options()->SetCB1(true);
  Form1->RadioButton1->click();  // full backup again
  ui.answers.push_back(false);
  result = StartBackup([&] { FormKopie()->BitBtn2->click(); });
  EXPECT_EQ(3, result);
  EXPECT_FALSE(Form1->isVisible());
  SetHomeDirForTesting(home);
  tBackups saved;
  ASSERT_EQ(tBackups::LoadResult::Loaded, saved.LoadCatalogue());
  // Only an earlier file failed: the run ended with 0, but after an error
  // the job keeps its last backup (none).
  EXPECT_EQ("30.12.1899", saved.GetLastBackupDate(0));
  EXPECT_EQ(1, saved.Count());
  toptionen options;
  options.LoadSettings();
  EXPECT_TRUE(options.GetCB1());
}

// ----------------------------------------------------- missing target --

TEST_F(RunWindowTest, AMissingTargetFolderIsOnlyCreatedByTheFirstCopiedFile) {
  Write(tmp / "q/Daten/a.txt");
  Start({{"Job", tmp / "neu/ziel", 0, 0, {tmp / "q/Daten"}, {}, {}}});

  ui.answers.push_back(false);
  StartBackup([&] {
    FormKopie()->BitBtn2->click();
    ASSERT_EQ(2u, ui.boxes.size());
    EXPECT_EQ("Das Zielverzeichnis " + tmp / "neu/ziel" +
                  " existiert nicht.\rSoll es neu angelegt werden?",
              ui.boxes[0].text);
    EXPECT_EQ(WithLeadingBreaks("Es wurde keine Datei kopiert!"), ui.boxes[1].text);
    EXPECT_TRUE(ui.boxes[1].beep);
    // Still ready to start.
    EXPECT_TRUE(FormKopie()->Panel3->isVisible());
    EXPECT_FALSE(FormKopie()->BitBtn5->isEnabled());
  });
  EXPECT_FALSE(fs::exists(tmp / "neu"));

  ui.boxes.clear();
  ui.answers.push_back(true);
  StartBackup([&] { FormKopie()->BitBtn2->click(); });
  EXPECT_EQ("x", vktest::ReadFile(tmp / "neu/ziel/Daten/a.txt"));
  ASSERT_EQ(1u, ui.boxes.size());
}

// ---------------------------------------------------------------- report --

TEST_F(RunWindowTest, ProtokollOpensTheReportOrSaysThereIsNone) {
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/Daten"}, {}, {}}});
  Form1->Button3Click();
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ(WithLeadingBreaks("Es wurde keine Protokolldatei gefunden."), ui.boxes[0].text);
  EXPECT_FALSE(ui.boxes[0].beep);
  EXPECT_TRUE(launches.empty());

  const std::string log = tBackups::GetDataDir() + "Job.log";
  Write(log, "Bericht");
  Form1->Button3Click();
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"notepad.exe", log}}), launches);

  // No text editor: the shell opens the report.
  launches.clear();
  platform::SetLaunchHook([&](const std::string& file, const std::string& params) {
    launches.emplace_back(file, params);
    return file == "notepad.exe" ? 31 : 42;
  });
  Form1->Button3Click();
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"notepad.exe", log}, {log, ""}}),
            launches);
  EXPECT_EQ(1u, ui.boxes.size());
}

// The line of the current file is drawn in parts (the folder once, then
// only the names): what is on the screen must equal a fresh drawing.
TEST_F(RunWindowTest, ADryRunListsWhatItWouldDoAndChangesNothing) {
  Write(tmp / "q/Daten/neu.txt");
  Write(tmp / "q/Daten/sub/b.txt");
  Write(tmp / "q/Daten/skip.bak");
  Write(tmp / "ziel/Daten/neu.txt", "alt");
  Start({{"Job", tmp / "ziel", 0, 0, {tmp / "q/Daten"}, {"*.bak"}, {}}});
  StartBackup([&] {
    // Reached by its access key; each opening starts without it.
    EXPECT_FALSE(FormKopie()->CheckBox3->isChecked());
    QApplication::setActiveWindow(FormKopie());
    // An access key presses its box visibly (a short animated click).
    QTest::keyClick(FormKopie(), Qt::Key_N, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return FormKopie()->CheckBox3->isChecked(); }, 2000));
    FormKopie()->BitBtn2->click();
    EXPECT_FALSE(FormKopie()->Running());
    EXPECT_TRUE(FormKopie()->Memo1->isVisible());
    EXPECT_FALSE(FormKopie()->SG1->isVisible());
    EXPECT_TRUE(FormKopie()->Memo1->hasFocus()) << "the keyboard scrolls the list";
    const std::string list = S(FormKopie()->Memo1->toPlainText());
    EXPECT_NE(std::string::npos,
              list.find("Ersetzen: " +
                        tmp / "ziel/Daten/neu.txt (die bisherige Fassung käme in die Versionen)\n"))
        << list;
    EXPECT_NE(std::string::npos, list.find("Kopieren: " + tmp / "q/Daten/sub/b.txt\n"));
    EXPECT_NE(std::string::npos, list.find("Überspringen: " + tmp / "q/Daten/skip.bak\n"));
    EXPECT_NE(std::string::npos,
              list.find("1 Dateien würden kopiert, 1 ersetzt (die bisherigen in den Versionen), 0 "
                        "Einträge ausgelagert, 1 Dateien übersprungen."));
    EXPECT_EQ("2\nDateien\nzu kopieren.", S(FormKopie()->Label8->text()));
    EXPECT_TRUE(ui.boxes.empty());
    vktest::SaveScreenshot(FormKopie(), "run-window-dry.png");
  });
  EXPECT_FALSE(fs::exists(tmp / "ziel/Daten/sub"));
  EXPECT_EQ("alt", vktest::ReadFile(tmp / "ziel/Daten/neu.txt"));
  EXPECT_FALSE(fs::exists(tBackups::GetDataDir() + "Job.log")) << "no report file";
  JobRecord record;
  ASSERT_TRUE(Form1->Backups()->GetJob(0, record));
  EXPECT_EQ(0, record.LastDate()) << "no stamp";
  // The next opening is a real run again, with the grid.
  StartBackup([&] {
    EXPECT_FALSE(FormKopie()->CheckBox3->isChecked());
    EXPECT_TRUE(FormKopie()->SG1->isVisible());
    EXPECT_FALSE(FormKopie()->Memo1->isVisible());
  });
}

TEST(PathLabelTest, TheScreenShowsTheWholeLineAfterEveryFile) {
  TFKopie window;
  window.resize(640, 420);
  window.show();
  window.Panel3->hide();
  window.Label7->show();
  QApplication::processEvents();
  QScreen* screen = window.screen();
  for (const char* text : {"Kopiere /quelle/Daten/eins.txt",
                           "Kopiere /quelle/Daten/zwei-länger.txt", "Kopiere /quelle/Daten/3.txt",
                           "Kopiere /quelle/Bücher/€uro.txt", "Kopiere /quelle/Bücher/x"}) {
    window.Label7->ShowNow(QString::fromUtf8(text));
    const QPoint at = window.Label7->mapTo(&window, QPoint(0, 0));
    const QImage shown = screen
                             ->grabWindow(window.winId(), at.x(), at.y(), window.Label7->width(),
                                          window.Label7->height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const QImage fresh = window.Label7->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(fresh, shown) << text;
  }
}
