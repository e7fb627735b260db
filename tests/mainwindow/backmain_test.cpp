// The main window: start with its files, the display of a job, the two job
// lists, the pages, the end of the program and the single instance.
#include "mainwindow/backmain.h"

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/catalogue/daten.h"
#include "core/sync/syncdefs.h"
#include "dialogs/aboutform.h"
#include "dialogs/checkform.h"
#include "dialogs/neuform.h"
#include "dialogs/neusynform.h"
#include "dialogs/synform.h"
#include "dialogs/wiederform.h"
#include "mainwindow/qt_forms.h"
#include "platform/platform.h"
#include "support/core_support.h"
#include "support/job_fixture.h"
#include "support/qt_gui_support.h"
#include "support/version_tree.h"

namespace {

namespace fs = std::filesystem;

// Writes a catalogue and the jobs' list files into `home`.
void MakeCatalogue(const std::string& home, const std::vector<vktest::JobSpec>& jobs) {
  vktest::JobFixture(home).WriteCatalogue(jobs);
}

void MakeSettings(const std::string& home, const std::vector<std::string>& lines) {
  vktest::JobFixture(home).WriteSettings(lines);
}

std::vector<std::string> SettingsLines() {
  std::vector<std::string> lines;
  EXPECT_TRUE(textfile::ReadLines(GetIniFileName(), lines));
  return lines;
}

std::vector<std::string> Items(const QListWidget* list) {
  std::vector<std::string> items;
  for (int i = 0; i < list->count(); ++i) items.push_back(list->item(i)->text().toStdString());
  return items;
}

double Date(int y, int m, int d) {
  double v = 0;
  EXPECT_TRUE(TryEncodeDate(y, m, d, v));
  return v;
}

// Every file below a folder with its content.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    std::string key = e.path().string();
    files[key] = e.is_regular_file() ? vktest::ReadFile(key) : std::string("<dir>");
  }
  return files;
}

void Choose(QComboBox* box, int index) { box->setCurrentIndex(index); }

const std::string kFullText = "Alle Dateien in den zu sichernden Verzeichnissen werden kopiert.";
const std::string kIncrementalText =
    "Alle Dateien in den zu sichernden Verzeichnissen, die nach dem angegebenen Datum und "
    "Zeitpunkt geändert oder erstellt wurden, werden kopiert.";

// ------------------------------------------------------------------ start --

TEST(MainWindowStart, EmptyCatalogueHidesTheJobFrame) {
  vktest::TempDir home;
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  EXPECT_FALSE(f->StartRefused());
  EXPECT_EQ(f->windowTitle().toStdString(), "VolKarn 2.0 (22.02.2003)");
  EXPECT_EQ(f->size(), QSize(650, 429));
  EXPECT_EQ(f->minimumSize(), f->maximumSize());
  EXPECT_FALSE(f->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(f->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(f->CB1->count(), 0);
  EXPECT_FALSE(f->GroupBox1->isVisible());
  EXPECT_TRUE(f->Label11->isVisible());
  EXPECT_FALSE(f->BitBtn1->isEnabled());
  EXPECT_FALSE(f->BitBtn2->isEnabled());
  EXPECT_FALSE(f->Button3->isEnabled());
  f->BitBtn9Click();
  EXPECT_FALSE(f->Panel4->isVisible());
  EXPECT_FALSE(f->GroupBox1->isVisible());
  EXPECT_FALSE(f->BitBtn1->isEnabled());
  EXPECT_TRUE(ui.boxes.empty());
  // The backup page is shown at start; the other pages cover it later.
  EXPECT_FALSE(f->Panel6->isVisible());
  EXPECT_EQ(f->Panel4->geometry(), f->Panel2->rect());
  EXPECT_EQ(f->Panel6->geometry(), f->Panel2->rect());
  EXPECT_TRUE(f->Memo7->toPlainText().endsWith(
      QStringLiteral("Unterverzeichnisse werden mitsynchronisiert.")));
  w.Close();
  // An empty catalogue leaves no catalogue file behind.
  EXPECT_FALSE(vktest::Exists(home / "VKDaten/volkarn.dat"));
}

TEST(MainWindowStart, LastJobNameIsFoundIgnoringLetterCase) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"Alpha", "/ziel/a", 0, 0, {"/quelle/a"}},
                              {"Beta", "/ziel/b", 0, 0, {"/quelle/b1", "/quelle/b2"}}});
  MakeSettings(home.path(), {"bETA"});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  EXPECT_EQ(f->CB1->currentIndex(), 1);
  EXPECT_EQ(SelectedJob, 1);
  EXPECT_EQ(Items(f->LB1), (std::vector<std::string>{"/quelle/b1", "/quelle/b2"}));
  EXPECT_EQ(f->Edit1->text().toStdString(), "/ziel/b");
  EXPECT_TRUE(f->GroupBox1->isVisible());
  EXPECT_TRUE(f->BitBtn1->isEnabled());
  EXPECT_TRUE(f->BitBtn2->isEnabled());
  EXPECT_TRUE(f->Button3->isEnabled());
  // The choice is remembered: the backup page shows it again.
  f->Label16Click();
  f->BitBtn9Click();
  EXPECT_EQ(f->CB1->currentIndex(), 1);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(MainWindowStart, VanishedLastJobShowsNone) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"Alpha", "/ziel/a", 0, 0, {"/quelle/a"}}});
  MakeSettings(home.path(), {"Gamma"});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  EXPECT_EQ(f->CB1->count(), 1);
  EXPECT_EQ(f->CB1->currentIndex(), -1);
  EXPECT_EQ(f->LB1->count(), 0);
  EXPECT_TRUE(f->GroupBox1->isVisible());
  EXPECT_FALSE(f->BitBtn1->isEnabled());
  EXPECT_FALSE(f->Button3->isEnabled());
}

TEST(MainWindowStart, StoredPlaceMovesTheWindowOnlyWithALeftEdge) {
  vktest::TempDir home;
  MakeSettings(home.path(), {"0", "0", "0", "0", "0", "41"});
  vktest::ScriptedUi ui;
  {
    vktest::AppWindows w(home.path());
    w.form1()->move(150, 120);
    w.Show();
    // Left edge 0: the window stays where it was put.
    EXPECT_EQ(w.form1()->pos(), QPoint(150, 120));
    w.form1()->move(60, 50);
    w.Close();
  }
  vktest::AppWindows w(home.path());
  w.Show();
  EXPECT_EQ(w.form1()->pos(), QPoint(60, 50));
}

// The stored place is the frame's: it comes back exactly, a place off the
// screen is fitted to it, and hiding and showing the window (around a
// check) keeps the place the user gave it.
TEST(MainWindowStart, StoredPlaceIsTheFramesAndComesBackExactly) {
  vktest::ScriptedUi ui;
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  struct Case {
    QPoint stored;
    bool onScreen;
  };
  const Case cases[] = {
      {{60, 50}, true},      {{area.right() - 700, area.bottom() - 480}, true},
      {{5000, 5000}, false}, {{100, -300}, false},
      {{300, 5000}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.stored.x()) + "," + std::to_string(c.stored.y()));
    vktest::TempDir home;
    MakeSettings(home.path(),
                 {"0", "0", "0", "0", std::to_string(c.stored.x()), std::to_string(c.stored.y())});
    QPoint shownAt;
    {
      vktest::AppWindows w(home.path());
      TForm1* f = w.form1();
      w.Show();
      shownAt = f->frameGeometry().topLeft();
      if (c.onScreen) {
        EXPECT_EQ(shownAt, c.stored);
      }
      // The title bar and the whole width and height are on the screen.
      EXPECT_TRUE(area.contains(QRect(shownAt, f->size())));
      w.Close();
      const std::vector<std::string> lines = SettingsLines();
      EXPECT_EQ(lines[4], std::to_string(shownAt.x()));
      EXPECT_EQ(lines[5], std::to_string(shownAt.y()));
    }
    // The next start shows it at the same place again.
    vktest::AppWindows w(home.path());
    w.Show();
    EXPECT_EQ(w.form1()->frameGeometry().topLeft(), shownAt);
  }

  vktest::TempDir home;
  MakeSettings(home.path(), {"0", "0", "0", "0", "60", "50"});
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  f->move(200, 150);
  QApplication::processEvents();
  f->hide();
  QApplication::processEvents();
  f->show();
  QApplication::processEvents();
  EXPECT_EQ(f->frameGeometry().topLeft(), QPoint(200, 150));
}

TEST(MainWindowStart, UnreadableFilesAreToldAndTheCatalogueIsKept) {
  vktest::TempDir home;
  // Folders where the files belong: they exist but cannot be read.
  SetHomeDirForTesting(home.path());
  const std::string ini = GetIniFileName();
  SetHomeDirForTesting(std::string());
  fs::create_directories(ini);
  fs::create_directories(home / "VKDaten/volkarn.dat");
  vktest::ScriptedUi ui;
  {
    vktest::AppWindows w(home.path());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("Die Einstellungsdatei " + ini + " konnte nicht gelesen"),
              std::string::npos);
    EXPECT_NE(ui.boxes[0].text.find("Die Sicherungsliste " + home.path() +
                                    "VKDaten/volkarn.dat konnte nicht gelesen werden. Sie wird "
                                    "beim Beenden nicht überschrieben."),
              std::string::npos);
    EXPECT_TRUE(ui.boxes[0].beep);
    EXPECT_FALSE(w.form1()->StartMessage().empty());
    w.Show();
    ui.boxes.clear();
    w.Close();
    // Neither the catalogue nor the settings were written over what could
    // not be read; the start told so already.
    EXPECT_TRUE(ui.boxes.empty());
  }
  EXPECT_TRUE(fs::is_directory(home / "VKDaten/volkarn.dat"));
  EXPECT_TRUE(fs::is_directory(ini));
  // A settings file that is a fifo is neither read (the start would hang)
  // nor replaced.
  fs::remove(ini);
  ASSERT_EQ(0, mkfifo(ini.c_str(), 0600));
  {
    vktest::AppWindows w(home.path());
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_NE(ui.boxes[0].text.find("Die Einstellungsdatei " + ini + " konnte nicht gelesen"),
              std::string::npos);
    w.Show();
    w.Close();
  }
  EXPECT_TRUE(fs::is_fifo(ini));
}

TEST(MainWindowStart, LeftoversOfWritesCutShortAreRemoved) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"Alpha", "/ziel/a", 0, 0, {"/quelle/a"}}});
  MakeSettings(home.path(), {"Alpha"});
  SetHomeDirForTesting(home.path());
  const std::string ini = GetIniFileName();
  const std::string data = tBackups::GetDataDir();
  SetHomeDirForTesting(std::string());
  const std::string iniDir = fs::path(ini).parent_path().string() + "/";
  const std::string iniName = fs::path(ini).filename().string();
  // Temporary files of the catalogue, a list and the settings: they go.
  vktest::WriteFile(data + ".volkarn.dat.vktmp-AbC123", "halb");
  vktest::WriteFile(data + ".Alpha.lst.vktmp-Zz9Yy8", "halb");
  vktest::WriteFile(iniDir + "." + iniName + ".vktmp-Q1W2E3", "halb");
  // Not of that form, or beside the settings but of another file: they stay.
  vktest::WriteFile(data + ".kurz.vktmp-12", "1");
  vktest::WriteFile(iniDir + ".fremd.txt.vktmp-Q1W2E3", "2");
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  w.Show();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(w.form1()->CB1->count(), 1);
  EXPECT_FALSE(vktest::Exists(data + ".volkarn.dat.vktmp-AbC123"));
  EXPECT_FALSE(vktest::Exists(data + ".Alpha.lst.vktmp-Zz9Yy8"));
  EXPECT_FALSE(vktest::Exists(iniDir + "." + iniName + ".vktmp-Q1W2E3"));
  EXPECT_TRUE(vktest::Exists(data + ".kurz.vktmp-12"));
  EXPECT_TRUE(vktest::Exists(iniDir + ".fremd.txt.vktmp-Q1W2E3"));
  w.Close();
}

TEST(MainWindowStart, BadNumbersInTheSettingsAreToldOnce) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"Alpha", "/ziel/a", 0, 0, {"/quelle/a"}}});
  MakeSettings(home.path(), {"Alpha", "0", "0", "0", "links", "oben"});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("ungültige Zahl in Zeile 5, 6"), std::string::npos);
  w.Show();
  EXPECT_EQ(ui.boxes.size(), 1u);
  // The rest of the settings is used: the last job is shown.
  EXPECT_EQ(w.form1()->CB1->currentIndex(), 0);
  w.Close();
  EXPECT_TRUE(vktest::Exists(home / "VKDaten/volkarn.dat"));
}

// ------------------------------------------------------------ showing a job --

TEST(MainWindowJob, LastBackupGivesDateTimeIncrementalModeAndStamp) {
  vktest::TempDir home;
  const double date = Date(2003, 3, 5);
  const double time = EncodeTime(9, 7, 30, 0);
  // Only the whole days of the date and the fraction of the time count.
  MakeCatalogue(home.path(), {{"Mit Stand", "/ziel", date + 0.75, time + 3.0, {"/q"}},
                              {"Neu", "/ziel2", 0, 0, {"/q2"}}});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  Choose(f->CB1, 0);
  f->CB1Change();
  EXPECT_EQ(f->Edit2->text().toStdString(), "05.03.2003");
  EXPECT_EQ(f->Edit3->text().toStdString(), "09:07");
  EXPECT_TRUE(f->RadioButton2->isEnabled());
  EXPECT_TRUE(f->RadioButton2->isChecked());
  EXPECT_FALSE(f->RadioButton1->isChecked());
  EXPECT_TRUE(f->Edit2->isEnabled());
  EXPECT_TRUE(f->Edit3->isEnabled());
  EXPECT_TRUE(f->Edit2->isReadOnly());
  EXPECT_EQ(f->Memo1->toPlainText().toStdString(), kIncrementalText);
  const platform::DosStamp expected =
      (23u << 25) | (3u << 21) | (5u << 16) | (9u << 11) | (7u << 5) | 15u;
  EXPECT_EQ(f->State().Shown.ChangedSince, expected);

  // A job never backed up: empty fields, only the full mode, no stamp.
  Choose(f->CB1, 1);
  f->CB1Change();
  EXPECT_EQ(f->Edit2->text().toStdString(), "");
  EXPECT_EQ(f->Edit3->text().toStdString(), "");
  EXPECT_FALSE(f->RadioButton2->isEnabled());
  EXPECT_TRUE(f->RadioButton1->isChecked());
  EXPECT_FALSE(f->Edit2->isEnabled());
  EXPECT_EQ(f->Memo1->toPlainText().toStdString(), kFullText);
  EXPECT_EQ(f->State().Shown.ChangedSince, 0u);
  EXPECT_EQ(Items(f->LB1), std::vector<std::string>{"/q2"});
  // The check page's texts read as one paragraph each after a job is shown.
  EXPECT_FALSE(f->Memo2->toPlainText().contains(QLatin1Char('\n')));
  EXPECT_EQ(f->Memo4->toPlainText().toStdString(),
            "Zielverzeichnisse auf fehlende Dateien überprüfen. Alle fehlenden Dateien werden "
            "atomatisch kopiert.");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(MainWindowJob, ModeButtonsSetTheirTexts) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"A", "/z", Date(2003, 1, 2), 0.5, {"/q"}}});
  MakeSettings(home.path(), {"A"});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  QTest::mouseClick(f->RadioButton1, Qt::LeftButton);
  EXPECT_TRUE(f->RadioButton1->isChecked());
  EXPECT_EQ(f->Memo1->toPlainText().toStdString(), kFullText);
  EXPECT_FALSE(f->Edit2->isEnabled());
  EXPECT_EQ(f->Edit2->text().toStdString(), "02.01.2003");
  QTest::mouseClick(f->RadioButton2, Qt::LeftButton);
  EXPECT_EQ(f->Memo1->toPlainText().toStdString(), kIncrementalText);
  EXPECT_TRUE(f->Edit3->isEnabled());
  EXPECT_EQ(f->Edit3->text().toStdString(), "12:00");
}

TEST(MainWindowJob, MissingDirectoryListIsToldAndTheWindowStaysUsable) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"Gut", "/ziel/gut", Date(2003, 2, 1), 0.25, {"/q/gut"}},
                              {"Kaputt", "/ziel/kaputt", 0, 0, {}, {}, {}, false}});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  Choose(f->CB1, 0);
  f->CB1Change();
  ASSERT_TRUE(f->BitBtn1->isEnabled());
  Choose(f->CB1, 1);
  f->CB1Change();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("Die Verzeichnisliste " + home.path() +
                                  "VKDaten/Kaputt.lst konnte nicht gelesen werden."),
            std::string::npos);
  // The chosen job without folders, nothing of the job shown before.
  EXPECT_EQ(f->Edit1->text().toStdString(), "/ziel/kaputt");
  EXPECT_EQ(f->LB1->count(), 0);
  EXPECT_EQ(f->Edit2->text().toStdString(), "");
  EXPECT_EQ(f->State().Shown.ChangedSince, 0u);
  EXPECT_TRUE(f->State().Shown.Directories.empty());
  EXPECT_FALSE(f->JobReady());
  // No run and no check from it.
  EXPECT_FALSE(f->BitBtn1->isEnabled());
  EXPECT_FALSE(f->BitBtn2->isEnabled());
  // Another job can be chosen and shown as before.
  Choose(f->CB1, 0);
  f->CB1Change();
  EXPECT_TRUE(f->BitBtn1->isEnabled());
  EXPECT_EQ(f->Edit1->text().toStdString(), "/ziel/gut");
  EXPECT_EQ(Items(f->LB1), std::vector<std::string>{"/q/gut"});
  EXPECT_EQ(ui.boxes.size(), 1u);
}

// Every command that works with the job's folders follows the one state of
// the shown job; a job whose list cannot be read starts nothing, on either
// page and by any way, and can still be edited to repair it.
TEST(MainWindowJob, AJobWithoutItsListStartsNoRunCheckOrCompletion) {
  vktest::TempDir home;
  vktest::TempDir tree;
  vktest::WriteFile(tree / "quelle/a.txt", "a");
  MakeCatalogue(home.path(), {{"Gut", tree / "ziel-gut", Date(2003, 2, 1), 0.25, {tree / "quelle"}},
                              {"Kaputt", tree / "ziel-kaputt", 0, 0, {}, {}, {}, false}});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  const std::vector<QAbstractButton*> commands = {
      f->BitBtn1, f->BitBtn2, f->findChild<QPushButton*>(QStringLiteral("BitBtn5")),
      f->RadioButton1, f->RadioButton2};
  ASSERT_NE(commands[2], nullptr);
  auto enabled = [&] {
    std::vector<bool> result;
    for (QAbstractButton* b : commands) result.push_back(b->isEnabled());
    return result;
  };
  // Nothing shown yet: nothing to start.
  EXPECT_EQ(enabled(), std::vector<bool>(5, false));

  struct Case {
    const char* page;
    std::function<void(int)> choose;
  };
  const Case cases[] = {
      {"backup page",
       [f](int job) {
         f->BitBtn9Click();
         Choose(f->CB1, job);
         f->CB1Change();
       }},
      {"check page",
       [f](int job) {
         f->Label23Click();
         f->CB2Enter();
         Choose(f->CB2, job);
         f->CB2Change();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    c.choose(0);
    EXPECT_EQ(enabled(), std::vector<bool>(5, true));
    c.choose(1);
    EXPECT_EQ(enabled(), std::vector<bool>(5, false));
    EXPECT_TRUE(f->findChild<QPushButton*>(QStringLiteral("Button2"))->isEnabled());
    // Called directly, the commands start nothing either.
    QWidget* opened = nullptr;
    vktest::WhenModal([&opened] {
      opened = QApplication::activeModalWidget();
      if (opened != nullptr) opened->close();
    });
    f->BitBtn1Click();
    f->BitBtn2Click();
    f->BitBtn5Click();
    QApplication::processEvents();
    EXPECT_EQ(opened, nullptr);
    EXPECT_EQ(w.fcheck()->RunsFinished(), 0);
    EXPECT_TRUE(f->isVisible());
  }
  EXPECT_FALSE(vktest::Exists(tree / "ziel-kaputt"));
  EXPECT_FALSE(vktest::Exists(tree / "ziel-gut"));
}

// ------------------------------------------------------------- job lists --

TEST(MainWindowLists, EachPageRestoresItsOwnChoice) {
  vktest::TempDir home;
  MakeCatalogue(
      home.path(),
      {{"A", "/za", 0, 0, {"/qa"}}, {"B", "/zb", 0, 0, {"/qb"}}, {"C", "/zc", 0, 0, {"/qc"}}});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  // Job A on the check page.
  f->Label23Click();
  EXPECT_TRUE(f->Panel4->isVisible());
  f->CB2Enter();
  ASSERT_EQ(f->CB2->count(), 3);
  EXPECT_EQ(f->CB2->currentIndex(), -1);
  Choose(f->CB2, 0);
  f->CB2Change();
  EXPECT_EQ(SelectedJob, 0);
  EXPECT_EQ(f->CB1->currentIndex(), 0);
  EXPECT_EQ(Items(f->LB1), std::vector<std::string>{"/qa"});
  // Job B on the backup page.
  f->BitBtn9Click();
  EXPECT_FALSE(f->Panel4->isVisible());
  EXPECT_EQ(f->CB1->currentIndex(), -1);
  Choose(f->CB1, 1);
  f->CB1Change();
  EXPECT_EQ(Items(f->LB1), std::vector<std::string>{"/qb"});
  // Back and forth: each page shows its own choice again.
  f->Label23Click();
  EXPECT_EQ(f->CB2->currentIndex(), 0);
  EXPECT_EQ(SelectedJob, 0);
  EXPECT_EQ(Items(f->LB1), std::vector<std::string>{"/qa"});
  f->BitBtn9Click();
  EXPECT_EQ(f->CB1->currentIndex(), 1);
  EXPECT_EQ(SelectedJob, 1);
  EXPECT_EQ(Items(f->LB1), std::vector<std::string>{"/qb"});
  // The synchronisation page covers the others; its list works on CB2.
  f->Label16Click();
  EXPECT_TRUE(f->Panel6->isVisible());
  EXPECT_FALSE(f->Panel4->isVisible());
}

// A covered backup page takes no keys: its "&Start" can be neither
// focused nor pressed from the other pages, and the access key of
// "Programm b&eenden" is the visible page's own.
TEST(MainWindowLists, CoveredBackupPageTakesNoKeys) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"A", "/za", 0, 0, {"/qa"}}});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  QApplication::setActiveWindow(f);
  f->Label23Click();
  f->CB2Enter();
  f->CB2->setFocus(Qt::TabFocusReason);
  Choose(f->CB2, 0);
  f->CB2Change();
  EXPECT_TRUE(f->BitBtn1->isEnabled());
  EXPECT_FALSE(f->BitBtn1->isVisible());
  EXPECT_NE(QApplication::focusWidget(), f->BitBtn1);
  f->Label16Click();
  QTest::keyClick(f, Qt::Key_E, Qt::AltModifier);
  // The access key presses the button visibly (a short animated click).
  EXPECT_TRUE(QTest::qWaitFor([f] { return !f->isVisible(); }, 2000));
  EXPECT_EQ(SettingsLines()[0], "A");
}

TEST(MainWindowLists, EnteringTheListShowsTheCurrentCatalogue) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"A", "/za", 0, 0, {"/qa"}}, {"B", "/zb", 0, 0, {"/qb"}}});
  MakeSettings(home.path(), {"B"});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  f->Backups()->AddJob("Dazu", "/zd", 0, 0);
  f->CB1Enter();
  EXPECT_EQ(f->CB1->count(), 3);
  EXPECT_EQ(f->CB1->currentIndex(), 1);
  EXPECT_EQ(SelectedJob, 1);
  EXPECT_EQ(f->CB1->itemText(2).toStdString(), "Dazu");
}

TEST(MainWindowLists, KeyboardChoiceInTheListShowsTheJob) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"A", "/za", 0, 0, {"/qa"}}, {"B", "/zb", 0, 0, {"/qb"}}});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  QApplication::setActiveWindow(f);
  f->CB1->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  QTest::keyClick(f->CB1, Qt::Key_Down);
  EXPECT_EQ(f->CB1->currentIndex(), 0);
  EXPECT_EQ(Items(f->LB1), std::vector<std::string>{"/qa"});
  QTest::keyClick(f->CB1, Qt::Key_Down);
  EXPECT_EQ(Items(f->LB1), std::vector<std::string>{"/qb"});
  EXPECT_EQ(SelectedJob, 1);
}

// --------------------------------------------------------------------- end --

TEST(MainWindowEnd, ClosingSavesCatalogueAndSettingsOnce) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"Erster", "/z1", 0, 0, {"/q1"}}, {"Zweiter", "/z2", 0, 0, {"/q2"}}});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  Choose(f->CB1, 1);
  f->CB1Change();
  f->Backups()->SetJobStamp(1, Date(2003, 2, 22), 0.5);
  f->move(123, 77);
  QTest::mouseClick(f->BitBtn3, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_FALSE(f->isVisible());
  std::vector<std::string> lines = SettingsLines();
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "Zweiter");
  EXPECT_EQ(lines[4], "123");
  EXPECT_EQ(lines[5], "77");
  {
    tBackups reread;
    EXPECT_EQ(reread.LoadCatalogue(), tBackups::LoadResult::Loaded);
    ASSERT_EQ(reread.Count(), 2);
    EXPECT_EQ(reread.GetLastBackupDate(1), "22.02.2003");
  }
  // A second close (the run window's "end the program" after the window
  // was closed) saves nothing again.
  ASSERT_EQ(0, textfile::WriteLines(GetIniFileName(), {"anders"}));
  f->close();
  EXPECT_EQ(SettingsLines(), std::vector<std::string>{"anders"});
  EXPECT_TRUE(ui.boxes.empty());
}

// A logout that only sends SIGTERM ends the program as a close of the
// main window does: the shown job and the window's place are stored.
TEST(MainWindowEnd, ASignalToEndClosesTheWindowAsTheUserWould) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"Erster", "/z1", 0, 0, {"/q1"}}, {"Zweiter", "/z2", 0, 0, {"/q2"}}});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  f->EndOnSignals();
  Choose(f->CB1, 1);
  f->CB1Change();
  raise(SIGTERM);
  for (int i = 0; i < 500 && f->isVisible(); ++i) QTest::qWait(10);
  EXPECT_FALSE(f->isVisible());
  const std::vector<std::string> lines = SettingsLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ("Zweiter", lines[0]);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST(MainWindowEnd, FailedCatalogueSaveIsTold) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"A", "/za", 0, 0, {"/qa"}}});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  w.Show();
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "write-atomic" && path.ends_with("volkarn.dat") ? 28 : 0;  // ENOSPC
  });
  w.Close();
  platform::SetFaultHook(nullptr);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("Die Sicherungsliste " + home.path() +
                                  "VKDaten/volkarn.dat konnte nicht gespeichert werden."),
            std::string::npos);
  // The settings were still written.
  EXPECT_EQ(SettingsLines().size(), 12u);
}

// The catalogue on disk follows every change of the jobs at once: a crash
// or a logout after it loses nothing.
TEST(MainWindowEnd, NewEditedAndDeletedJobsAreSavedAtOnce) {
  vktest::TempDir home;
  vktest::TempDir tree;
  MakeCatalogue(home.path(), {{"Alt", "/ziel/alt", 0, 0, {tree.path()}}});
  MakeSettings(home.path(), {"Alt"});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  TFNeu* editor = w.fneu();
  w.Show();
  auto onDisk = [] {
    tBackups stored;
    stored.LoadCatalogue();
    return stored.GetJobNames();
  };
  struct Case {
    const char* what;
    std::function<void()> inEditor;
    std::function<void()> command;
    std::string names;
  };
  const Case cases[] = {
      {"new job",
       [&] {
         editor->EName->setText(QStringLiteral("Neu"));
         editor->EVerz->setText(QStringLiteral("/ziel/neu"));
         editor->VList->addItem(QString::fromStdString(tree.path()));
         editor->OKBtnClick();
       },
       [f] { f->Button1Click(); }, "Alt\rNeu"},
      {"edited job",
       [&] {
         editor->EName->setText(QStringLiteral("Geändert"));
         editor->OKBtnClick();
       },
       [f] { f->Button2Click(); }, "Alt\rGeändert"},
      {"deleted job",
       [&] {
         ui.answers = {true};
         editor->DelBtnClick();
       },
       [f] {
         Choose(f->CB1, 0);
         f->CB1Change();
         f->Button2Click();
       },
       "Geändert"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vktest::WhenModal(c.inEditor);
    c.command();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(onDisk(), c.names);
    EXPECT_FALSE(f->Backups()->Unsaved());
  }
  EXPECT_EQ(ui.boxes.size(), 1u);  // the question of the deletion

  // A save that fails is told; the job stays and is saved at the end.
  ui.boxes.clear();
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "write-atomic" && path.ends_with("volkarn.dat") ? 28 : 0;  // ENOSPC
  });
  vktest::WhenModal([&] {
    editor->EName->setText(QStringLiteral("Voll"));
    editor->EVerz->setText(QStringLiteral("/ziel/voll"));
    editor->VList->clear();
    editor->VList->addItem(QString::fromStdString(tree.path()));
    editor->OKBtnClick();
  });
  f->Button1Click();
  platform::SetFaultHook(nullptr);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(
      ui.boxes[0].text,
      WithLeadingBreaks(WriteFailureText("Die Sicherungsliste", home.path() + "VKDaten/volkarn.dat",
                                         platform::kErrDiskFull) +
                        "\rBeim Beenden des Programms wird das Speichern noch einmal "
                        "versucht."));
  EXPECT_EQ(onDisk(), "Geändert");
  EXPECT_EQ(f->CB1->currentText(), QStringLiteral("Voll"));
  w.Close();
  EXPECT_EQ(onDisk(), "Geändert\rVoll");
  EXPECT_EQ(ui.boxes.size(), 1u);
}

// A catalogue that could not be read is never written; a change made in
// such a session is told to be lost instead of vanishing at the end.
TEST(MainWindowEnd, AChangeToAnUnreadCatalogueIsToldNotSaved) {
  vktest::TempDir home;
  vktest::TempDir tree;
  fs::create_directories(home / "VKDaten/volkarn.dat");
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  w.Show();
  ui.boxes.clear();
  vktest::WhenModal([&] {
    w.fneu()->EName->setText(QStringLiteral("Neu"));
    w.fneu()->EVerz->setText(QStringLiteral("/ziel/neu"));
    w.fneu()->VList->addItem(QString::fromStdString(tree.path()));
    w.fneu()->OKBtnClick();
  });
  w.form1()->Button1Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("Die Sicherungsliste " + home.path() +
                                  "VKDaten/volkarn.dat konnte beim Start nicht gelesen werden "
                                  "und wird nicht überschrieben."),
            std::string::npos);
  w.Close();
  EXPECT_TRUE(fs::is_directory(home / "VKDaten/volkarn.dat"));
}

TEST(MainWindowEnd, SecondInstanceShowsTheBoxAndTouchesNoFile) {
  vktest::TempDir home;
  vktest::TempDir otherHome;
  MakeCatalogue(home.path(), {{"A", "/za", 0, 0, {"/qa"}}});
  MakeSettings(home.path(), {"A", "0", "0", "0", "kaputt"});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  w.Show();
  const auto before = Snapshot(home.path());
  ui.boxes.clear();
  // The second start on the same data folder, whatever its environment,
  // reads and writes nothing there.
  {
    TForm1 second(nullptr, w.lockName());
    EXPECT_TRUE(second.StartRefused());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, "info");
    EXPECT_NE(ui.boxes[0].text.find("VolKarn wurde bereits gestartet!"), std::string::npos);
    EXPECT_TRUE(ui.boxes[0].beep);
    second.show();
    QApplication::processEvents();
    second.close();
  }
  EXPECT_EQ(Snapshot(home.path()), before);
  // The running instance is not touched.
  EXPECT_EQ(w.form1()->CB1->currentIndex(), 0);
  EXPECT_EQ(ui.boxes.size(), 1u);
  // A program on another data folder is no second instance.
  SetHomeDirForTesting(otherHome.path());
  {
    TForm1 other(nullptr, w.lockName());
    EXPECT_FALSE(other.StartRefused());
  }
  SetHomeDirForTesting(home.path());
}

// ------------------------------------------------------ synchronisation page --

// Runs `action` once `ready` holds, looking every 5 ms (also inside the
// modal loops that the keys open).
void WhenReady(std::function<bool()> ready, std::function<void()> action) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer, ready, action] {
    if (!ready()) return;
    timer->stop();
    timer->deleteLater();
    action();
  });
  timer->start(5);
}

bool IsModal(QWidget* dialog) {
  return dialog->isVisible() && QApplication::activeModalWidget() == dialog;
}

std::string Cell(const QTableWidget* grid, int row, int column) {
  const QTableWidgetItem* item = grid->item(row, column);
  return item == nullptr ? std::string() : item->text().toStdString();
}

// The whole page by keyboard alone: define, list, run, edit, delete.
TEST(MainWindowSync, DefineListRunEditDeleteByKeyboard) {
  vktest::TempDir home;
  vktest::TempDir pair;
  vktest::WriteFile(pair / "eins/brief.txt", "Brief");
  vktest::WriteFile(pair / "zwei/fotos/a.jpg", "Bild");
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  TFSynNeu* s = w.fsynneu();
  w.Show();
  QApplication::setActiveWindow(f);
  auto alt = [](QWidget* window, Qt::Key key) { QTest::keyClick(window, key, Qt::AltModifier); };

  alt(f, Qt::Key_C);  // "Syn&chronisieren"
  ASSERT_TRUE(QTest::qWaitFor([f] { return f->Panel6->isVisible(); }, 2000));
  EXPECT_EQ(f->CB3->count(), 0);
  EXPECT_FALSE(f->BitBtn16->isEnabled());
  EXPECT_FALSE(f->BitBtn17->isEnabled());
  // Nothing chosen: the start answers as before.
  alt(f, Qt::Key_Y);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ui.boxes.size() == 1; }, 2000));
  EXPECT_NE(ui.boxes[0].text.find("Hier geht noch nix."), std::string::npos);

  // "Ne&u": name, Tab, first folder, Tab Tab, second folder, "Ü&bernehmen",
  // Return for "OK".
  WhenReady([s] { return IsModal(s); },
            [&] {
              QApplication::setActiveWindow(s);
              QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Laptop"));
              QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
              QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(pair / "eins"));
              QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
              QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
              QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(pair / "zwei"));
              QTest::keyClick(s, Qt::Key_B, Qt::AltModifier);
              EXPECT_TRUE(QTest::qWaitFor([s] { return s->PairMarker != 0; }, 2000));
              QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            });
  alt(f, Qt::Key_U);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f->CB3->count() == 1 && !s->isVisible(); }, 5000));
  EXPECT_EQ(f->CB3->currentText(), QStringLiteral("Laptop"));
  EXPECT_EQ(Cell(f->SG1, 0, 0), pair / "eins");
  EXPECT_EQ(Cell(f->SG1, 0, 1), pair / "zwei");
  EXPECT_TRUE(f->BitBtn16->isEnabled());
  EXPECT_EQ(ui.boxes.size(), 1u);

  // "S&ynchronisation starten": the run window runs; Escape closes it at
  // the end.
  QApplication::setActiveWindow(f);
  WhenReady([] { return FormSyn()->Finished() && IsModal(FormSyn()); },
            [] { QTest::keyClick(FormSyn(), Qt::Key_Escape); });
  alt(f, Qt::Key_Y);
  ASSERT_TRUE(
      QTest::qWaitFor([] { return FormSyn()->Finished() && !FormSyn()->isVisible(); }, 10000));
  EXPECT_EQ(vktest::ReadFile(pair / "zwei/brief.txt"), "Brief");
  EXPECT_EQ(vktest::ReadFile(pair / "eins/fotos/a.jpg"), "Bild");
  EXPECT_TRUE(FormSyn()->LastResult().Clean());
  const std::string data = tBackups::GetDataDir();
  EXPECT_TRUE(vktest::Exists(data + "Laptop.sst"));

  // "&Bearbeiten": the window opens filled; a new name, Return.
  QApplication::setActiveWindow(f);
  std::string shownFirst;
  WhenReady([s] { return IsModal(s); },
            [&] {
              QApplication::setActiveWindow(s);
              shownFirst = s->Edit1->text().toStdString();
              QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
              QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Notebook"));
              QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            });
  alt(f, Qt::Key_B);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return f->CB3->currentText() == QStringLiteral("Notebook") && !s->isVisible(); },
      5000));
  EXPECT_EQ(shownFirst, pair / "eins");
  EXPECT_EQ(f->CB3->count(), 1);
  EXPECT_TRUE(vktest::Exists(data + "Notebook.sst"));
  EXPECT_FALSE(vktest::Exists(data + "Laptop.sst"));

  // "&Löschen": "Nein" keeps it, "Ja" deletes it with its state and
  // report; the folders stay as they are.
  QApplication::setActiveWindow(f);
  ui.answers = {false};
  alt(f, Qt::Key_L);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ui.boxes.size() == 2; }, 2000));
  EXPECT_NE(ui.boxes[1].text.find("\"Notebook\" gelöscht werden?"), std::string::npos);
  EXPECT_EQ(f->CB3->count(), 1);
  ui.answers = {true};
  alt(f, Qt::Key_L);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f->CB3->count() == 0; }, 2000));
  EXPECT_TRUE(f->CB3->currentText().isEmpty());
  EXPECT_EQ(Cell(f->SG1, 0, 0), "");
  EXPECT_FALSE(vktest::Exists(data + "Notebook.sst"));
  EXPECT_FALSE(vktest::Exists(data + "Notebook.slg"));
  EXPECT_EQ(vktest::ReadFile(pair / "zwei/brief.txt"), "Brief");
  EXPECT_EQ(vktest::ReadFile(pair / "eins/brief.txt"), "Brief");
}

// Tab goes through the page as it reads; the access keys of the page and
// the strip are all different.
TEST(MainWindowSync, TabOrderAndAccessKeys) {
  vktest::TempDir home;
  SyncDefinitions syncs;
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  syncs.Add({"Laptop", "/a", "/b"});
  syncs.Save(TFSynNeu::ListPath());
  w.Show();
  QApplication::setActiveWindow(f);
  f->Label16Click();
  f->CB3->setFocus(Qt::TabFocusReason);
  Choose(f->CB3, 0);
  f->CB3Change();
  std::vector<QWidget*> order;
  for (int i = 0; i < 6; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(order, (std::vector<QWidget*>{f->BitBtn7, f->SG1, f->BitBtn8, f->BitBtn16, f->BitBtn17,
                                          f->findChild<QWidget*>("BitBtn6")}));
  std::map<QChar, std::string> keys;
  for (QWidget* area : {static_cast<QWidget*>(f->Panel6), f->findChild<QWidget*>("ScrollBox1")})
    for (QObject* child : area->findChildren<QObject*>()) {
      QString text;
      if (auto* b = qobject_cast<QAbstractButton*>(child)) text = b->text();
      if (auto* l = qobject_cast<QLabel*>(child)) text = l->text();
      const int amp = text.indexOf(QLatin1Char('&'));
      if (amp < 0 || amp + 1 >= text.size()) continue;
      const QChar key = text[amp + 1].toLower();
      EXPECT_EQ(keys.count(key), 0u) << text.toStdString() << " / " << keys[key];
      keys[key] = text.toStdString();
    }
  EXPECT_EQ(keys.size(), 10u);
}

// ----------------------------------------------------------- other windows --

TEST(MainWindowPages, SynchronisationButtons) {
  vktest::TempDir home;
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  f->Label16Click();
  QTest::mouseClick(f->BitBtn8, Qt::LeftButton);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("Hier geht noch nix."), std::string::npos);
  EXPECT_FALSE(ui.boxes[0].beep);
  EXPECT_EQ(f->SG1->columnCount(), 2);
  EXPECT_EQ(f->SG1->columnWidth(0), 226);
  EXPECT_EQ(f->SG1->rowHeight(0), 18);
  EXPECT_EQ(f->CB3->count(), 0);

  bool wasShown = false;
  vktest::WhenModal([&] {
    wasShown = w.fsynneu()->isVisible() && QApplication::activeModalWidget() == w.fsynneu();
    w.fsynneu()->CancelBtnClick();
  });
  QTest::mouseClick(f->BitBtn7, Qt::LeftButton);
  EXPECT_TRUE(wasShown);
  EXPECT_FALSE(w.fsynneu()->isVisible());
  EXPECT_TRUE(f->Panel6->isVisible());
}

TEST(MainWindowPages, InfoLabelOpensTheAboutWindow) {
  vktest::TempDir home;
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  bool wasShown = false;
  vktest::WhenModal([&] {
    wasShown = w.fabout()->isVisible();
    w.fabout()->Panel1MouseDown();
    w.fabout()->Panel1MouseUp();
  });
  QTest::mouseClick(f->Label8, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(wasShown);
  EXPECT_FALSE(w.fabout()->isVisible());
}

// No German text is cut off: every caption fits into its control.
TEST(MainWindowLayout, CaptionsFitTheirControls) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"Zwanzig Zeichen Name", "/ziel", Date(2003, 3, 5), 0.5, {"/q"}}});
  MakeSettings(home.path(), {"Zwanzig Zeichen Name"});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  for (QPushButton* b : f->findChildren<QPushButton*>()) {
    if (b->window() != f) continue;
    EXPECT_LE(b->sizeHint().width(), b->width()) << b->text().toStdString();
    EXPECT_LE(QFontMetrics(b->font()).height() + 4, b->height()) << b->text().toStdString();
  }
  for (QRadioButton* r : {f->RadioButton1, f->RadioButton2})
    EXPECT_LE(r->sizeHint().width(), r->width()) << r->text().toStdString();
  for (QLabel* l : f->findChildren<QLabel*>()) {
    if (l->window() != f) continue;
    const QRect inParent = l->geometry();
    EXPECT_LE(inParent.right(), l->parentWidget()->width() - 1) << l->text().toStdString();
    if (l->wordWrap()) {
      EXPECT_LE(l->heightForWidth(l->width()), l->height()) << l->text().toStdString();
    } else {
      QString t = l->text();
      t.remove(QLatin1Char('&'));
      EXPECT_LE(QFontMetrics(l->font()).horizontalAdvance(t), l->width()) << t.toStdString();
      EXPECT_LE(QFontMetrics(l->font()).height(), l->height() + 1) << t.toStdString();
    }
  }
  QComboBox* cb1 = f->CB1;
  EXPECT_LE(QFontMetrics(cb1->font()).horizontalAdvance(cb1->currentText()) + 24, cb1->width());
  // The read-only texts show all their lines (Memo1 in both modes).
  f->RadioButton1Click();
  std::vector<QPlainTextEdit*> memos{f->Memo1, f->Memo2, f->Memo3, f->Memo4, f->Memo5, f->Memo7};
  auto fits = [](QPlainTextEdit* m) {
    const int margin = static_cast<int>(m->document()->documentMargin());
    const int width = m->width() - 2 * m->frameWidth() - 2 * margin;
    int height = 0;
    for (const QString& paragraph : m->toPlainText().split(QLatin1Char('\n')))
      height += QFontMetrics(m->font())
                    .boundingRect(QRect(0, 0, width, 1000), Qt::TextWordWrap, paragraph)
                    .height();
    return height <= m->height() - 2 * m->frameWidth() - 2 * margin;
  };
  for (QPlainTextEdit* m : memos) EXPECT_TRUE(fits(m)) << m->toPlainText().toStdString();
  f->RadioButton2Click();
  EXPECT_TRUE(fits(f->Memo1)) << f->Memo1->toPlainText().toStdString();
  // The empty catalogue's hint fits its place.
  EXPECT_LE(f->Label11->heightForWidth(f->Label11->width()), f->Label11->height());
}

// Saves pictures of the windows when VOLKARN_SCREENSHOTS names a folder:
//   VOLKARN_SCREENSHOTS=docs/screenshots gui_tests --gtest_filter='*Pictures*'
TEST(MainWindowPictures, SaveScreenshots) {
  const char* out = std::getenv("VOLKARN_SCREENSHOTS");
  if (out == nullptr || *out == 0) GTEST_SKIP() << "VOLKARN_SCREENSHOTS not set";
  const std::string dir = AddBackslash(out);
  vktest::TempDir home;
  const double date = Date(2003, 2, 22);
  MakeCatalogue(home.path(),
                {{"Eigene Dateien",
                  "/media/sicherung",
                  date,
                  EncodeTime(18, 45, 0, 0),
                  {"/home/anna/Dokumente", "/home/anna/Bilder", "/home/anna/Briefe 2003"}},
                 {"Projekte", "/media/sicherung/projekte", 0, 0, {"/srv/projekte"}}});
  MakeSettings(home.path(), {"Eigene Dateien"});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  ASSERT_TRUE(f->grab().save(QString::fromStdString(dir + "backup-page.png")));
  f->Label23Click();
  f->CB2Enter();
  Choose(f->CB2, 0);
  f->CB2Change();
  ASSERT_TRUE(f->grab().save(QString::fromStdString(dir + "check-page.png")));
  SyncDefinitions syncs;
  syncs.Add({"Laptop", "/home/anna/Dokumente", "/media/anna/STICK/Dokumente"});
  syncs.Add({"Fotos", "/home/anna/Bilder", "/srv/bilder"});
  syncs.Save(TFSynNeu::ListPath());
  f->Label16Click();
  f->CB3Enter();
  Choose(f->CB3, 0);
  f->CB3Change();
  ASSERT_TRUE(f->grab().save(QString::fromStdString(dir + "sync-page.png")));
  TFSynNeu* s = w.fsynneu();
  s->SName->setText(QStringLiteral("Laptop"));
  s->Edit1->setText(QStringLiteral("/tmp"));
  s->Edit2->setText(QStringLiteral("/var/tmp"));
  s->BitBtn4Click();
  s->show();
  QApplication::processEvents();
  ASSERT_TRUE(s->grab().save(QString::fromStdString(dir + "sync-window.png")));
  s->hide();
  vktest::TempDir pair;
  vktest::WriteFile(pair / "Dokumente/Brief an Anna.txt", "Brief");
  vktest::WriteFile(pair / "Dokumente/Rechnungen/2003-02.pdf", "Rechnung");
  vktest::WriteFile(pair / "STICK/Dokumente/Einkauf.txt", "Liste");
  FormSyn()->Open({"Laptop", pair / "Dokumente", pair / "STICK/Dokumente"});
  FormSyn()->show();
  ASSERT_TRUE(QTest::qWaitFor([] { return FormSyn()->Finished(); }, 10000));
  // The picture shows the folders of the page's example.
  FormSyn()->Label4->setText(QStringLiteral("/home/anna/Dokumente"));
  FormSyn()->Label6->setText(QStringLiteral("/media/anna/STICK/Dokumente"));
  QApplication::processEvents();
  ASSERT_TRUE(FormSyn()->grab().save(QString::fromStdString(dir + "sync-run-window.png")));
  FormSyn()->hide();
  w.fabout()->show();
  QApplication::processEvents();
  ASSERT_TRUE(w.fabout()->grab().save(QString::fromStdString(dir + "about-window.png")));
  w.fabout()->hide();
}

}  // namespace

namespace {

// The check page by keyboard: the read-only texts are no Tab stops, and a
// job chosen in the list stays chosen when the list gets the keyboard
// again, so that Alt+S, Alt+S, Space checks it.
TEST(MainWindowKeyboard, TheCheckPageKeepsItsJobAndTabPassesTheTexts) {
  vktest::TempDir home;
  MakeCatalogue(home.path(), {{"A", "/za", 0, 0, {"/qa"}}, {"B", "/zb", 0, 0, {"/qb"}}});
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  f->Label23Click();
  f->CB2Enter();
  Choose(f->CB2, 1);
  f->CB2Change();
  f->CB2Enter();  // the list gets the keyboard again
  EXPECT_EQ(f->CB2->currentIndex(), 1);
  EXPECT_EQ(f->CB2->currentText().toStdString(), "B");
  for (QWidget* memo : {static_cast<QWidget*>(f->Memo2), static_cast<QWidget*>(f->Memo3),
                        static_cast<QWidget*>(f->Memo4)})
    EXPECT_FALSE(memo->focusPolicy() & Qt::TabFocus) << memo->objectName().toStdString();
}

}  // namespace

// ------------------------------------------------------------ restore page --

namespace {

// A main window with the job "Briefe" whose target holds the versions of
// three runs (VersionTree), shown on the restore page.
class RestorePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeCatalogue(home.path(), {{"Andere", "/nirgends", 0, 0, {"/q"}},
                                {"Briefe", tree.target, Date(2026, 1, 3), 0.5, {tree.source}}});
    w = std::make_unique<vktest::AppWindows>(home.path());
    f = w->form1();
    w->Show();
    f->BitBtn13Click();
  }

  void ChooseJob(int index) {
    f->CB4Enter();
    Choose(f->CB4, index);
    f->CB4Change();
  }

  // "Wiederherstellen starten"; the restore window is closed once its
  // restore has ended. True when the window opened.
  bool StartFromPage(const std::function<void()>& press) {
    bool opened = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (!FormWieder()->isVisible()) return;
      opened = true;
      if (FormWieder()->Finished()) FormWieder()->BitBtn5->click();
    });
    poll.start(5);
    press();
    return QTest::qWaitFor([&] { return opened && !FormWieder()->isVisible(); }, 20000);
  }

  vktest::TempDir home;
  vktest::TempDir dir;
  vktest::VersionTree tree{dir.path()};
  vktest::ScriptedUi ui;
  std::unique_ptr<vktest::AppWindows> w;
  TForm1* f = nullptr;
};

std::vector<std::string> Entries(const QComboBox* box) {
  std::vector<std::string> entries;
  for (int i = 0; i < box->count(); ++i) entries.push_back(box->itemText(i).toStdString());
  return entries;
}

std::vector<std::string> Children(const QTreeWidgetItem* item) {
  std::vector<std::string> names;
  for (int i = 0; i < item->childCount(); ++i)
    names.push_back(item->child(i)->text(0).toStdString());
  return names;
}

TEST_F(RestorePageTest, OffersTheStatesNewestFirstAndTheTreeOfTheChosenOne) {
  EXPECT_TRUE(f->Panel8->isVisible());
  EXPECT_FALSE(f->Panel4->isVisible());
  EXPECT_FALSE(f->BitBtn14->isEnabled());
  // The whole job into its original folders, unless chosen otherwise.
  EXPECT_TRUE(f->RadioButton3->isChecked());
  EXPECT_TRUE(f->RadioButton5->isChecked());
  ChooseJob(1);
  EXPECT_TRUE(f->BitBtn14->isEnabled());
  // The job on display is the page's, also on the backup page.
  EXPECT_EQ(f->CB1->currentText(), QStringLiteral("Briefe"));
  // Run folders newest first; a restore's folder is no state.
  EXPECT_EQ(Entries(f->CB5),
            (std::vector<std::string>{"Letzte Sicherung",
                                      "Vor der Sicherung vom 03.01.2026 um 10:00:00 Uhr",
                                      "Vor der Sicherung vom 02.01.2026 um 10:00:00 Uhr"}));
  struct Case {
    int state;
    std::vector<std::string> files;
  } cases[] = {{0, {"sub", "a.txt", "c.txt"}}, {2, {"sub", "a.txt"}}};
  for (const Case& c : cases) {
    f->CB5->setCurrentIndex(c.state);
    f->CB5Change();
    ASSERT_EQ(f->TV1->topLevelItemCount(), 1);
    QTreeWidgetItem* top = f->TV1->topLevelItem(0);
    EXPECT_EQ(top->text(0).toStdString(), "Daten");
    EXPECT_TRUE(Children(top).empty()) << "read when opened";
    f->TV1->expandItem(top);
    EXPECT_EQ(Children(top), c.files);
  }
  QTreeWidgetItem* a = f->RestoreItem("Daten/a.txt");
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a->toolTip(0).toStdString().find("2026-01-02 100000"), std::string::npos);

  // The other job's target is missing: the tree says so, the states are
  // the last backup only, and the page leaves the first job's restore.
  ui.boxes.clear();
  ChooseJob(0);
  EXPECT_EQ(Entries(f->CB5), std::vector<std::string>{"Letzte Sicherung"});
  ASSERT_EQ(f->TV1->topLevelItemCount(), 1);
  EXPECT_NE(f->TV1->topLevelItem(0)->text(0).toStdString().find("/nirgends"), std::string::npos);
  EXPECT_TRUE(f->TickedPaths().empty());
}

TEST_F(RestorePageTest, ARestoreToAnotherFolderGivesTheChosenStateByteExact) {
  ChooseJob(1);
  for (int state : {0, 1, 2}) {
    SCOPED_TRACE(state);
    const std::string to = dir / ("zurück" + std::to_string(state));
    f->CB5->setCurrentIndex(state);
    f->CB5Change();
    f->RadioButton3->setChecked(true);
    f->RadioButton6->setChecked(true);
    f->Edit4->setText(QString::fromStdString(to));
    ASSERT_TRUE(StartFromPage([&] { f->BitBtn14->click(); }));
    EXPECT_EQ(vktest::VersionTree::Files(to + "/Daten"), tree.State(state));
  }
  // The source folders stay as they were.
  EXPECT_EQ(vktest::VersionTree::Files(tree.source), tree.State(0));

  // Ticked entries only: one folder and one file (a folder whose entries
  // are all ticked stands for them).
  f->CB5->setCurrentIndex(1);
  f->CB5Change();
  f->RestoreItem("Daten/sub")->setCheckState(0, Qt::Checked);
  f->RestoreItem("Daten/a.txt")->setCheckState(0, Qt::Checked);
  EXPECT_TRUE(f->RadioButton4->isChecked()) << "ticking chooses the ticked entries";
  EXPECT_EQ(f->TickedPaths(), (std::vector<std::string>{"Daten/sub", "Daten/a.txt"}));
  f->Edit4->setText(QString::fromStdString(dir / "auswahl"));
  ASSERT_TRUE(StartFromPage([&] { f->BitBtn14->click(); }));
  EXPECT_EQ(vktest::VersionTree::Files(dir / "auswahl/Daten"),
            (std::map<std::string, std::string>{{"a.txt", "zwei"}, {"sub/b.bin", tree.binary}}));
  f->RestoreItem("Daten/c.txt")->setCheckState(0, Qt::Checked);
  EXPECT_EQ(f->TickedPaths(), std::vector<std::string>{"Daten"});
}

TEST_F(RestorePageTest, StartTellsWhatIsMissingAndOpensNothing) {
  struct Case {
    const char* what;
    std::function<void()> set;
    std::string told;
  } cases[] = {
      {"no job", [] {}, "Es ist keine Sicherung ausgewählt."},
      {"nothing ticked",
       [&] {
         ChooseJob(1);
         f->RadioButton4->setChecked(true);
       },
       "Es wurden keine Ordner oder Dateien zum Wiederherstellen ausgewählt."},
      {"no folder",
       [&] {
         f->RadioButton3->setChecked(true);
         f->RadioButton6->setChecked(true);
         f->Edit4->setText(QStringLiteral("  "));
       },
       "Es wurde kein Verzeichnis für die Wiederherstellung eingegeben!"},
      {"relative folder", [&] { f->Edit4->setText(QStringLiteral("zurück")); },
       "ist kein vollständiger Pfad"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.set();
    ui.boxes.clear();
    f->BitBtn14Click();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find(c.told), std::string::npos) << ui.boxes[0].text;
    EXPECT_FALSE(FormWieder()->isVisible());
  }
  EXPECT_FALSE(vktest::Exists(dir / "zurück"));
}

// The whole restore by keyboard: Alt+W shows the page, the access keys
// reach each choice, Tab the tree and the folder field, Space ticks.
TEST_F(RestorePageTest, TheRestoreIsMadeByKeyboardAlone) {
  f->BitBtn9Click();
  QApplication::setActiveWindow(f);
  auto alt = [&](Qt::Key key) {
    QTest::keyClick(f, key, Qt::AltModifier);
    QTest::qWait(150);  // an access key presses its button visibly
  };
  alt(Qt::Key_W);
  EXPECT_TRUE(f->Panel8->isVisible());
  alt(Qt::Key_G);
  EXPECT_EQ(QApplication::focusWidget(), f->CB4);
  QTest::keyClick(f->CB4, Qt::Key_Down);
  QTest::keyClick(f->CB4, Qt::Key_Down);
  EXPECT_EQ(f->CB4->currentText(), QStringLiteral("Briefe"));
  alt(Qt::Key_T);
  EXPECT_EQ(QApplication::focusWidget(), f->CB5);
  QTest::keyClick(f->CB5, Qt::Key_Down);
  QTest::keyClick(f->CB5, Qt::Key_Down);
  EXPECT_EQ(f->CB5->currentIndex(), 2);
  alt(Qt::Key_A);
  EXPECT_TRUE(f->RadioButton4->isChecked());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), f->TV1);
  // Down to "Daten", Right opens it, Down to "sub", Down to "a.txt".
  for (Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_Down})
    QTest::keyClick(f->TV1, key);
  ASSERT_NE(f->TV1->currentItem(), nullptr);
  EXPECT_EQ(f->TV1->currentItem()->text(0), QStringLiteral("a.txt"));
  QTest::keyClick(f->TV1, Qt::Key_Space);
  EXPECT_EQ(f->TickedPaths(), std::vector<std::string>{"Daten/a.txt"});
  alt(Qt::Key_D);
  EXPECT_TRUE(f->RadioButton6->isChecked());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), f->Edit4);
  QTest::keyClicks(f->Edit4, QString::fromStdString(dir / "tasten"));
  QTest::keyClick(f->Edit4, Qt::Key_Tab);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), f->BitBtn14);
  ASSERT_TRUE(StartFromPage([&] { QTest::keyClick(f, Qt::Key_S, Qt::AltModifier); }));
  EXPECT_EQ(vktest::VersionTree::Files(dir / "tasten/Daten"),
            (std::map<std::string, std::string>{{"a.txt", "eins"}}));
  // The other pages take the page's place again.
  QApplication::setActiveWindow(f);
  alt(Qt::Key_I);
  EXPECT_FALSE(f->Panel8->isVisible());
  EXPECT_TRUE(f->BitBtn1->isVisible());
}

// The restore page's captions fit, as every other page's.
TEST_F(RestorePageTest, CaptionsFitTheirControls) {
  for (QAbstractButton* b : f->Panel8->findChildren<QAbstractButton*>())
    EXPECT_LE(b->sizeHint().width(), b->width()) << b->text().toStdString();
  for (QLabel* l : f->Panel8->findChildren<QLabel*>())
    EXPECT_LE(l->sizeHint().width(), l->width()) << l->text().toStdString();
  EXPECT_LE(f->Memo8->document()->size().height() * QFontMetrics(f->Memo8->font()).height(),
            f->Memo8->height() + 1);
}

// Saves a picture of the restore page when VOLKARN_SCREENSHOTS names a
// folder (see SaveScreenshots).
TEST_F(RestorePageTest, SaveScreenshot) {
  const char* out = std::getenv("VOLKARN_SCREENSHOTS");
  if (out == nullptr || *out == 0) GTEST_SKIP() << "VOLKARN_SCREENSHOTS not set";
  ChooseJob(1);
  f->CB5->setCurrentIndex(1);
  f->CB5Change();
  f->RestoreItem("Daten/sub/b.bin");
  f->RestoreItem("Daten/a.txt")->setCheckState(0, Qt::Checked);
  f->RadioButton6->setChecked(true);
  f->Edit4->setText(QStringLiteral("/home/anna/Wiederhergestellt"));
  ASSERT_TRUE(f->grab().save(QString::fromStdString(AddBackslash(out) + "restore-page.png")));
}

}  // namespace
