// The job editor window: input checks, the directory list, the layout,
// the list files, the exclusion lists and the survey command.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "base/codepage.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/optio.h"
#include "dialogs/neuform.h"
#include "dialogs/scanform.h"
#include "mainwindow/backmain.h"
#include "platform/platform.h"
#include "support/job_fixture.h"
#include "support/qt_gui_support.h"
#include "support/verify_support.h"
#include "widgets/qt_foldertree.h"
#include "widgets/qt_runthread.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Texts(const QListWidget* list) {
  std::vector<std::string> result;
  for (int i = 0; i < list->count(); ++i) result.push_back(list->item(i)->text().toStdString());
  return result;
}

std::vector<std::string> InfoTexts(const vktest::ScriptedUi& ui) {
  std::vector<std::string> result;
  for (const auto& box : ui.boxes)
    if (box.kind == "info") result.push_back(box.text.substr(box.text.find_first_not_of('\r')));
  return result;
}

std::vector<std::string> ReadLinesOf(const std::string& path) {
  std::vector<std::string> lines;
  textfile::ReadLines(path, lines);
  return lines;
}

// Closes a modal window that a test left open, so that a failing test
// cannot hang the whole run.
class Watchdog {
 public:
  explicit Watchdog(QDialog* dialog) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [dialog] {
      if (dialog->isVisible()) {
        ADD_FAILURE() << "the modal window was left open";
        dialog->done(TFNeu::kResultCancel);
      }
    });
    timer_.start(15000);
  }

 private:
  QTimer timer_;
};

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<vktest::AppWindows>(home.path());
    form1 = app->form1();
    f = app->fneu();
    ui.boxes.clear();
  }
  void TearDown() override {
    platform::SetFaultHook(nullptr);
    app.reset();
  }

  std::string DataDir() const { return home / "VKDaten/"; }
  tBackups& Backups() { return *form1->Backups(); }

  // A job with its list files, shown on the backup page.
  int MakeJob(const std::string& name, const std::string& target,
              const std::vector<std::string>& dirs, const std::vector<std::string>& exts = {},
              const std::vector<std::string>& files = {}) {
    const int index =
        vktest::JobFixture::AddJob(Backups(), {name, target, 0, 0, dirs, exts, files});
    SelectedJob = index;
    form1->ShowJob();
    return index;
  }

  // Fills the three required fields.
  void FillValid(const std::string& dir) {
    f->EName->setText(QStringLiteral("Job"));
    f->EVerz->setText(QStringLiteral("/mnt/ziel"));
    f->VList->clear();
    f->VList->addItem(QString::fromStdString(dir));
  }

  vktest::TempDir home;
  vktest::TempDir tree;
  vktest::ScriptedUi ui;
  std::unique_ptr<vktest::AppWindows> app;
  TForm1* form1 = nullptr;
  TFNeu* f = nullptr;
};

// ---------------------------------------------------------- input checks --

TEST_F(EditorTest, OkReportsNameTargetAndDirectoriesOneAtATime) {
  std::vector<std::vector<std::string>> boxesAfterEachOk;
  bool stillOpen = true;
  Watchdog watchdog(f);
  vktest::WhenModal([&] {
    f->EName->setText(QStringLiteral("   "));
    f->OKBtnClick();
    boxesAfterEachOk.push_back(InfoTexts(ui));
    f->EName->setText(QStringLiteral("  Mein Job"));
    f->OKBtnClick();
    boxesAfterEachOk.push_back(InfoTexts(ui));
    f->EVerz->setText(QStringLiteral("/mnt/ziel"));
    f->OKBtnClick();
    boxesAfterEachOk.push_back(InfoTexts(ui));
    stillOpen = f->isVisible();
    f->VList->addItem(QString::fromStdString(tree.path()));
    f->OKBtnClick();
  });
  ASSERT_TRUE(f->OpenNewJob());

  const std::string name = "Es wurde kein Name für die Datensicherung eingegeben!";
  const std::string target = "Es wurde kein Zielverzeichnis für die Datensicherung eingegeben!";
  const std::string dirs = "Es wurden keine zu sichernden Verzeichnisse eingegeben!";
  ASSERT_EQ(boxesAfterEachOk.size(), 3u);
  EXPECT_EQ(boxesAfterEachOk[0], (std::vector<std::string>{name}));
  EXPECT_EQ(boxesAfterEachOk[1], (std::vector<std::string>{name, target}));
  EXPECT_EQ(boxesAfterEachOk[2], (std::vector<std::string>{name, target, dirs}));
  EXPECT_TRUE(stillOpen);
  for (const auto& box : ui.boxes) EXPECT_TRUE(box.beep);
  EXPECT_EQ(InfoTexts(ui).size(), 3u);

  // The name is stored as typed, leading blanks included.
  JobRecord record;
  ASSERT_TRUE(Backups().GetJob(SelectedJob, record));
  EXPECT_EQ(record.Name(), "  Mein Job");
  EXPECT_EQ(record.TargetDir(), "/mnt/ziel");
  EXPECT_EQ(record.LastDate(), 0.0);
  EXPECT_EQ(record.LastTime(), 0.0);
  EXPECT_EQ(ReadLinesOf(DataDir() + record.ListFile()), (std::vector<std::string>{tree.path()}));
}

TEST_F(EditorTest, RefusesTextsThatTheListFilesCannotHold) {
  f->show();
  auto refusedWith = [&](const std::string& expectedPart) {
    ui.boxes.clear();
    f->OKBtnClick();
    const auto boxes = InfoTexts(ui);
    EXPECT_TRUE(f->isVisible());
    if (boxes.size() != 1) return testing::AssertionFailure() << boxes.size() << " boxes";
    if (boxes[0].find(expectedPart) == std::string::npos)
      return testing::AssertionFailure() << boxes[0];
    return testing::AssertionSuccess();
  };

  // The rules themselves are those of the job-editing model (tested with
  // it); the window shows the refusal and stays open.
  FillValid(tree.path());
  f->VList->addItem(QStringLiteral("/home/Ελλάδα"));
  EXPECT_TRUE(refusedWith("/home/Ελλάδα"));

  // 255 characters and the letters of Windows-1252 are fine.
  FillValid(tree.path());
  f->EName->setText(QStringLiteral("Größe €"));
  f->EVerz->setText(QStringLiteral("/") + QString(254, QLatin1Char('x')));
  ui.boxes.clear();
  f->OKBtnClick();
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(f->isVisible());
  EXPECT_EQ(f->result(), TFNeu::kResultOk);
}

TEST_F(EditorTest, EnterIsOkAndEscapeIsCancel) {
  {
    Watchdog watchdog(f);
    vktest::WhenModal([&] {
      f->EName->setText(QStringLiteral("x"));
      QTest::keyClick(f->EName, Qt::Key_Escape);
    });
    EXPECT_FALSE(f->OpenNewJob());
    EXPECT_EQ(f->result(), TFNeu::kResultCancel);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(Backups().Count(), 0);
  }
  {
    Watchdog watchdog(f);
    vktest::WhenModal([&] {
      FillValid(tree.path());
      f->EName->setFocus();
      QTest::keyClick(f->EName, Qt::Key_Return);
    });
    EXPECT_TRUE(f->OpenNewJob());
    EXPECT_EQ(Backups().Count(), 1);
  }
}

// -------------------------------------------------------- directory list --

TEST_F(EditorTest, IncludesAFolderOnlyOnceWhateverItsLetterCase) {
  fs::create_directory(tree / "Daten");
  fs::create_directory(tree / "daten");
  ASSERT_TRUE(f->SelectFolderPath(tree / "Daten"));
  EXPECT_EQ(f->SelectedFolderPath(), tree / "Daten");
  f->IncludeBtnClick();
  ASSERT_TRUE(f->SelectFolderPath(tree / "daten"));
  f->IncludeBtnClick();
  ASSERT_TRUE(f->SelectFolderPath(tree / "Daten"));
  f->IncludeBtnClick();
  EXPECT_EQ(Texts(f->VList), (std::vector<std::string>{tree / "Daten"}));
  EXPECT_EQ(ui.beeps, 2);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(f->ExcludeBtn->isEnabled());
  EXPECT_TRUE(f->ExAllBtn->isEnabled());
}

TEST_F(EditorTest, RemovesTheSelectedDirectoriesAndDisablesTheButtonsWhenEmpty) {
  // Disabled at creation.
  EXPECT_FALSE(f->ExcludeBtn->isEnabled());
  EXPECT_FALSE(f->ExAllBtn->isEnabled());
  for (const char* d : {"/a", "/b", "/c", "/d", "/e"}) f->VList->addItem(QString::fromUtf8(d));
  for (int row : {0, 2, 3}) f->VList->item(row)->setSelected(true);
  f->ExcludeBtnClick();
  EXPECT_EQ(Texts(f->VList), (std::vector<std::string>{"/b", "/e"}));
  EXPECT_TRUE(f->ExcludeBtn->isEnabled());
  EXPECT_TRUE(f->ExAllBtn->isEnabled());

  f->VList->selectAll();
  f->ExcludeBtnClick();
  EXPECT_EQ(f->VList->count(), 0);
  EXPECT_FALSE(f->ExcludeBtn->isEnabled());
  EXPECT_FALSE(f->ExAllBtn->isEnabled());
  EXPECT_TRUE(f->IncludeBtn->isEnabled());
}

TEST_F(EditorTest, RemovesAllDirectoriesOnlyWhenConfirmed) {
  f->VList->addItem(QStringLiteral("/a"));
  f->VList->addItem(QStringLiteral("/b"));
  ui.answers = {false, true};
  f->ExcAllBtnClick();
  EXPECT_EQ(f->VList->count(), 2);
  f->ExcAllBtnClick();
  EXPECT_EQ(f->VList->count(), 0);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text,
            " Sollen wirklich alle Verzeichnisse aus der Verzeichnisliste entfernt werden? ");
  EXPECT_FALSE(f->ExAllBtn->isEnabled());
}

TEST_F(EditorTest, TreeButtonsMoveUpAndCollapse) {
  fs::create_directories(tree / "a/b/c");
  EXPECT_EQ(f->SelectedFolderPath(), "");
  // Without a selection the buttons do nothing.
  f->SB5Click();
  f->SB7Click();
  f->SB6Click();
  EXPECT_EQ(f->SelectedFolderPath(), "");

  ASSERT_TRUE(f->SelectFolderPath(tree / "a/b/c"));
  f->SB5Click();
  EXPECT_EQ(f->SelectedFolderPath(), tree / "a/b");
  f->SB7Click();
  EXPECT_EQ(f->SelectedFolderPath(), "/");
  f->SB5Click();  // the top has no parent
  EXPECT_EQ(f->SelectedFolderPath(), "/");
  ASSERT_TRUE(f->SelectFolderPath(tree / "a/b"));
  EXPECT_TRUE(f->DT1->isExpanded(f->DT1Model->IndexOf(QString::fromStdString(tree / "a"))));
  f->SB6Click();
  EXPECT_FALSE(f->DT1->isExpanded(f->DT1Model->IndexOf(QString::fromStdString(tree / "a"))));
  EXPECT_FALSE(f->DT1->isExpanded(f->DT1Model->IndexOf(QStringLiteral("/"))));
  // Files are not in the tree.
  vktest::WriteFile(tree / "a/file.txt", "");
  EXPECT_FALSE(f->SelectFolderPath(tree / "a/file.txt"));
}

TEST_F(EditorTest, TreeKeepsTheSelectionVisibleAndSelectsOnRightClick) {
  const QPalette p = f->DT1->palette();
  EXPECT_EQ(p.color(QPalette::Inactive, QPalette::Highlight),
            p.color(QPalette::Active, QPalette::Highlight));
  EXPECT_FALSE(f->DT1->rootIsDecorated());
  EXPECT_EQ(f->DT1->indentation(), 19);

  fs::create_directories(tree / "one");
  fs::create_directories(tree / "two");
  f->show();
  ASSERT_TRUE(f->SelectFolderPath(tree / "one"));
  const QModelIndex two = f->DT1Model->IndexOf(QString::fromStdString(tree / "two"));
  QApplication::processEvents();
  f->DT1->scrollTo(two);
  QApplication::processEvents();
  const QRect rect = f->DT1->visualRect(two);
  ASSERT_TRUE(rect.isValid());
  QTest::mouseClick(f->DT1->viewport(), Qt::RightButton, {}, rect.topLeft() + QPoint(8, 4));
  EXPECT_EQ(f->SelectedFolderPath(), tree / "two");
  f->hide();
}

TEST_F(EditorTest, TreeSeesFoldersMadeAndRemovedWhileTheProgramRuns) {
  fs::create_directories(tree / "alt/innen");
  f->show();
  QApplication::setActiveWindow(f);
  ASSERT_TRUE(f->SelectFolderPath(tree / "alt"));
  const QPersistentModelIndex top = f->DT1Model->IndexOf(QString::fromStdString(tree.path()));
  const auto children = [&] {
    std::vector<std::string> names;
    for (int row = 0; row < f->DT1Model->rowCount(top); ++row)
      names.push_back(f->DT1Model->index(row, 0, top).data().toString().toStdString());
    return names;
  };
  EXPECT_EQ(children(), (std::vector<std::string>{"alt"}));

  // Made after the folder was read: there once the folder is opened again.
  fs::create_directories(tree / "Neu");
  fs::create_directories(tree / "Mitte");
  f->DT1->collapse(top);
  f->DT1->expand(top);
  EXPECT_EQ(children(), (std::vector<std::string>{"alt", "Mitte", "Neu"}));

  // Typing a name selects that folder, and ">" takes it.
  f->DT1->setFocus();
  f->DT1->setCurrentIndex(f->DT1Model->IndexOf(QString::fromStdString(tree / "alt")));
  QTest::keyClicks(f->DT1, QStringLiteral("neu"));
  EXPECT_EQ(f->SelectedFolderPath(), tree / "Neu");
  f->IncludeBtnClick();
  EXPECT_EQ(Texts(f->VList), (std::vector<std::string>{tree / "Neu"}));

  // F5 reads the whole tree again and keeps what was open and chosen.
  const QPersistentModelIndex alt = f->DT1Model->IndexOf(QString::fromStdString(tree / "alt"));
  f->DT1->expand(alt);
  ASSERT_TRUE(f->SelectFolderPath(tree / "alt/innen"));
  fs::remove(tree / "Mitte");
  fs::create_directories(tree / "alt/dazu");
  QTest::keyClick(f->DT1, Qt::Key_F5);
  EXPECT_EQ(children(), (std::vector<std::string>{"alt", "Neu"}));
  EXPECT_EQ(f->DT1Model->rowCount(alt), 2);
  EXPECT_TRUE(f->DT1->isExpanded(top));
  EXPECT_TRUE(f->DT1->isExpanded(alt));
  EXPECT_EQ(f->SelectedFolderPath(), tree / "alt/innen");
  // Folders that are hidden or files are not in the tree.
  fs::create_directories(tree / ".versteckt");
  vktest::WriteFile(tree / "datei", "");
  QTest::keyClick(f->DT1, Qt::Key_F5);
  EXPECT_EQ(children(), (std::vector<std::string>{"alt", "Neu"}));
  f->hide();
}

// ------------------------------------------------------------------ target --

TEST_F(EditorTest, TargetButtonTakesTheChosenFolder) {
  f->EVerz->setText(QStringLiteral("alt"));
  ui.directories = {"", "/", "/mnt/sicherung"};
  f->Button4Click();
  EXPECT_EQ(f->EVerz->text(), QStringLiteral("alt"));
  f->Button4Click();
  EXPECT_EQ(f->EVerz->text(), QStringLiteral("/"));
  f->Button4Click();
  EXPECT_EQ(f->EVerz->text(), QStringLiteral("/mnt/sicherung"));
  ASSERT_EQ(ui.prompts.size(), 3u);
  EXPECT_EQ(ui.prompts[0], "Bitte das gewünschte Laufwerk für die Räume auswählen");
}

// ------------------------------------------------------------------ layout --

TEST_F(EditorTest, ResizePlacesTheControlsAtDesignWidth) {
  f->resize(492, TFNeu::kClientHeight);
  f->FormResize();
  EXPECT_EQ(f->IncludeBtn->x(), 236);
  EXPECT_EQ(f->ExcludeBtn->x(), 236);
  EXPECT_EQ(f->ExAllBtn->x(), 236);
  EXPECT_EQ(f->VList->x(), 276);
  EXPECT_EQ(f->VList->width(), 210);
  EXPECT_EQ(f->DstLabel->x(), 276);
  EXPECT_EQ(f->DT1->width(), 216);
  EXPECT_EQ(f->Panel4->width(), 216);
  EXPECT_EQ(f->LiBo3->width(), 250);
  EXPECT_EQ(f->BitBtn2->x(), 232);
  EXPECT_EQ(f->BitBtn3->x(), 211);
  EXPECT_EQ(f->Panel2->x(), 276);
  EXPECT_EQ(f->Panel2->width(), 103);
  EXPECT_EQ(f->Panel3->x(), 380);
  EXPECT_EQ(f->Panel3->width(), 103);
  EXPECT_EQ(f->Label11->x(), 276);
  EXPECT_EQ(f->Label12->x(), 276);
  EXPECT_EQ(f->Label12->width(), 210);
  EXPECT_EQ(f->DelBtn->x(), 412);
  // The tree buttons keep to the panel's right edge.
  EXPECT_EQ(f->SB5->x() + f->SB5->width(), 217);
  EXPECT_EQ(f->BitBtn1->x() + f->BitBtn1->width(), 102);
}

TEST_F(EditorTest, ResizePlacesTheControlsAtMinimumWidth) {
  f->resize(400, 300);  // narrower and lower than allowed
  EXPECT_EQ(f->width(), 462);
  EXPECT_EQ(f->height(), TFNeu::kClientHeight);
  f->FormResize();
  EXPECT_EQ(f->IncludeBtn->x(), 221);
  EXPECT_EQ(f->VList->x(), 261);
  EXPECT_EQ(f->VList->width(), 195);
  EXPECT_EQ(f->DT1->width(), 201);
  EXPECT_EQ(f->LiBo3->width(), 235);
  EXPECT_EQ(f->BitBtn2->x(), 217);
  EXPECT_EQ(f->BitBtn3->x(), 196);
  EXPECT_EQ(f->Panel2->width(), 95);
  EXPECT_EQ(f->Panel3->x(), 357);
  EXPECT_EQ(f->DelBtn->x(), 382);
  // The list ends 6 pixels and "Löschen" 5 pixels before the right edge.
  EXPECT_EQ(f->VList->x() + f->VList->width(), 462 - 6);
  EXPECT_EQ(f->DelBtn->x() + f->DelBtn->width(), 462 - 5);
  EXPECT_EQ(f->Panel1->geometry(), QRect(0, TFNeu::kClientHeight - 45, 462, 45));
}

TEST_F(EditorTest, OpensAtTheStoredPlaceAndStoresItOnEveryCloseAttempt) {
  toptionen& options = *form1->Options();
  // Where the window stands: the frame's corner, or the client area's
  // before the desktop has told the frame's size.
  QPoint frameAt, clientAt;
  QSize sizeShown;
  auto seeWindow = [&] {
    frameAt = f->pos();
    clientAt = f->geometry().topLeft();
    sizeShown = f->size();
  };

  options.Setneuformpos(0, 0, 0);
  Watchdog watchdog(f);
  vktest::WhenModal([&] {
    seeWindow();
    f->resize(600, 300);
    f->OKBtnClick();  // refused (no name), the place is stored all the same
    f->CancelBtnClick();
  });
  f->OpenNewJob();
  EXPECT_TRUE(frameAt == QPoint(0, 0) || clientAt == QPoint(0, 0));
  EXPECT_EQ(sizeShown, QSize(TFNeu::kMinClientWidth, TFNeu::kClientHeight));
  int left = -1, top = -1, width = -1;
  options.Getneuformpos(left, top, width);
  EXPECT_EQ(width, 600 + TFNeu::kFrameWidth);

  options.Setneuformpos(40, 30, 700);
  vktest::WhenModal([&] {
    seeWindow();
    f->CancelBtnClick();
  });
  f->OpenNewJob();
  EXPECT_TRUE(frameAt == QPoint(40, 30) || clientAt == QPoint(40, 30));
  EXPECT_EQ(sizeShown, QSize(700 - TFNeu::kFrameWidth, TFNeu::kClientHeight));
}

// ------------------------------------------------------------- list files --

TEST_F(EditorTest, NewJobStartsWithTheExclusionListsOfTheLastEdit) {
  MakeJob("Alt", "/mnt/alt", {tree.path()}, {"*.bak", ".TXT"}, {"/home/a.doc", "/home/b.doc"});
  {
    Watchdog watchdog(f);
    vktest::WhenModal([&] { f->OKBtnClick(); });
    ASSERT_EQ(f->EditJob(), 1);
  }
  struct Seen {
    std::string name, target;
    int dirs = -1;
    std::vector<std::string> exts, files;
    bool delVisible = true;
    QString caption;
  } seen;
  Watchdog watchdog(f);
  vktest::WhenModal([&] {
    seen = {f->EName->text().toStdString(),
            f->EVerz->text().toStdString(),
            f->VList->count(),
            Texts(f->LiBo1),
            Texts(f->LiBo3),
            f->DelBtn->isVisible(),
            f->windowTitle()};
    f->EName->setText(QStringLiteral("Neu"));
    f->EVerz->setText(QStringLiteral("/mnt/neu"));
    f->VList->addItem(QString::fromStdString(tree.path()));
    // The pickers show a moment that is not stored for a new job.
    f->DatePick->setDate(QDate(2020, 5, 6));
    f->OKBtnClick();
  });
  form1->Button1Click();
  EXPECT_EQ(seen.name, "");
  EXPECT_EQ(seen.target, "");
  EXPECT_EQ(seen.dirs, 0);
  EXPECT_EQ(seen.exts, (std::vector<std::string>{".TXT", "*.bak"}));
  EXPECT_EQ(seen.files, (std::vector<std::string>{"/home/a.doc", "/home/b.doc"}));
  EXPECT_FALSE(seen.delVisible);
  EXPECT_EQ(seen.caption, QStringLiteral("Neue Datensicherung definieren"));

  ASSERT_EQ(Backups().Count(), 2);
  EXPECT_EQ(SelectedJob, 1);
  JobRecord record;
  ASSERT_TRUE(Backups().GetJob(1, record));
  EXPECT_EQ(record.LastDate(), 0.0);
  EXPECT_EQ(record.LastTime(), 0.0);
  EXPECT_EQ(ReadLinesOf(DataDir() + record.ExtFile()), (std::vector<std::string>{".TXT", "*.bak"}));
  EXPECT_EQ(ReadLinesOf(DataDir() + record.ExclFile()),
            (std::vector<std::string>{"/home/a.doc", "/home/b.doc"}));
  // The main window shows the new job.
  EXPECT_TRUE(form1->GroupBox1->isVisibleTo(form1));
  EXPECT_EQ(form1->CB1->currentText(), QStringLiteral("Neu"));
  EXPECT_EQ(form1->Edit1->text(), QStringLiteral("/mnt/neu"));
}

TEST_F(EditorTest, EmptyListsGiveEmptyFilesAndCancelWritesNothing) {
  Watchdog watchdog(f);
  vktest::WhenModal([&] {
    FillValid(tree.path());
    f->OKBtnClick();
  });
  ASSERT_TRUE(f->OpenNewJob());
  JobRecord record;
  ASSERT_TRUE(Backups().GetJob(SelectedJob, record));
  EXPECT_TRUE(vktest::Exists(DataDir() + record.ExclFile()));
  EXPECT_EQ(vktest::ReadFile(DataDir() + record.ExclFile()), "");
  EXPECT_EQ(vktest::ReadFile(DataDir() + record.ExtFile()), "");
  EXPECT_EQ(vktest::ReadFile(DataDir() + "extens.dat"), "*.~pa\r\n*.bak\r\n*.dbx\r\n*.wbk\r\n");
  EXPECT_EQ(vktest::ReadFile(DataDir() + record.ListFile()), tree.path() + "\r\n");

  // Moving an extension and cancelling leaves every file as it was.
  form1->ShowJob();
  const std::string extensBefore = vktest::ReadFile(DataDir() + "extens.dat");
  vktest::WhenModal([&] {
    f->LiBo2->setCurrentRow(1);
    f->LiBo2DblClick();
    f->EVerz->setText(QStringLiteral("/anders"));
    f->LiBo3->addItem(QStringLiteral("/x.txt"));
    f->CancelBtnClick();
  });
  EXPECT_EQ(f->EditJob(), 0);
  EXPECT_EQ(vktest::ReadFile(DataDir() + "extens.dat"), extensBefore);
  EXPECT_EQ(vktest::ReadFile(DataDir() + record.ExtFile()), "");
  EXPECT_EQ(vktest::ReadFile(DataDir() + record.ExclFile()), "");
  ASSERT_TRUE(Backups().GetJob(SelectedJob, record));
  EXPECT_EQ(record.TargetDir(), "/mnt/ziel");

  // The next opening reloads the offered list from extens.dat.
  std::vector<std::string> offered;
  vktest::WhenModal([&] {
    offered = Texts(f->LiBo2);
    f->CancelBtnClick();
  });
  f->EditJob();
  EXPECT_EQ(offered, (std::vector<std::string>{"*.~pa", "*.bak", "*.dbx", "*.wbk"}));
}

TEST_F(EditorTest, EditTakesTheJobFromTheMainWindowAndStoresTheLastBackup) {
  const int index = MakeJob("Haus", "/mnt/haus", {"/home/a", "/home/b"}, {".TMP"}, {});
  Backups().SetJobStamp(index, 37685.0, (9 * 60 + 7) / 1440.0);  // 05.03.2003 09:07
  form1->ShowJob();
  Watchdog watchdog(f);
  struct {
    std::string name, target, date, time;
    std::vector<std::string> dirs, exts;
    bool delVisible = false;
  } seen;
  vktest::WhenModal([&] {
    seen = {f->EName->text().toStdString(),
            f->EVerz->text().toStdString(),
            f->DatePick->text().toStdString(),
            f->TimePick->text().toStdString(),
            Texts(f->VList),
            Texts(f->LiBo1),
            f->DelBtn->isVisible()};
    f->DatePick->setDate(QDate(2004, 1, 2));
    f->TimePick->setTime(QTime(23, 59));
    f->EName->setText(QStringLiteral("Haus neu"));
    f->OKBtnClick();
  });
  form1->Button2Click();
  EXPECT_EQ(seen.name, "Haus");
  EXPECT_EQ(seen.target, "/mnt/haus");
  EXPECT_EQ(seen.date, "05.03.2003");
  EXPECT_EQ(seen.time, "09:07");
  EXPECT_EQ(seen.dirs, (std::vector<std::string>{"/home/a", "/home/b"}));
  EXPECT_EQ(seen.exts, (std::vector<std::string>{".TMP"}));
  EXPECT_TRUE(seen.delVisible);
  EXPECT_EQ(Backups().GetLastBackupDate(index), "02.01.2004");
  EXPECT_EQ(Backups().GetLastBackupTime(index), "23:59");
  JobRecord record;
  ASSERT_TRUE(Backups().GetJob(index, record));
  EXPECT_EQ(record.Name(), "Haus neu");
  // The main window shows the changed job.
  EXPECT_EQ(form1->CB1->currentText(), QStringLiteral("Haus neu"));
  EXPECT_EQ(form1->Edit2->text(), QStringLiteral("02.01.2004"));
}

TEST_F(EditorTest, EditingKeepsTheLastBackupUnlessTheUserChangesDateOrTime) {
  // 05.03.2003 09:07:42
  const double day = 37685.0;
  const double time = (9 * 3600 + 7 * 60 + 42) / 86400.0;
  struct Case {
    const char* what;
    bool backedUp;
    std::function<void(TFNeu*)> touch;
    // The stored moment afterwards; nullopt: what the fields show at OK.
    std::optional<std::pair<double, double>> stored;
  };
  const auto key = [](QWidget* w, Qt::Key k) { QTest::keyClick(w, k); };
  const std::vector<Case> cases = {
      {"never backed up, only the target changed", false,
       [](TFNeu* w) { w->EVerz->setText(QStringLiteral("/mnt/neu")); }, std::pair(0.0, 0.0)},
      {"never backed up, date changed by an arrow key", false,
       [&](TFNeu* w) { key(w->DatePick, Qt::Key_Down); }, std::nullopt},
      {"backed up, fields left alone", true, [](TFNeu*) {}, std::pair(day, time)},
      {"backed up, time up and down again", true,
       [&](TFNeu* w) {
         key(w->TimePick, Qt::Key_Up);
         key(w->TimePick, Qt::Key_Down);
       },
       std::pair(day, time)},
      {"backed up, time changed", true, [&](TFNeu* w) { key(w->TimePick, Qt::Key_Up); },
       std::nullopt},
  };
  for (const Case& c : cases) {
    const int index = MakeJob("Haus", "/mnt/haus", {tree.path()});
    if (c.backedUp) Backups().SetJobStamp(index, day, time);
    form1->ShowJob();
    Watchdog watchdog(f);
    std::string dateShown, timeShown;
    vktest::WhenModal([&] {
      c.touch(f);
      // The fields show at once what will be stored.
      dateShown = f->DatePick->text().toStdString();
      timeShown = f->TimePick->text().toStdString();
      f->OKBtnClick();
    });
    form1->Button2Click();
    JobRecord record;
    ASSERT_TRUE(Backups().GetJob(index, record)) << c.what;
    if (c.stored) {
      EXPECT_EQ(record.LastDate(), c.stored->first) << c.what;
      EXPECT_EQ(record.LastTime(), c.stored->second) << c.what;
    } else {
      EXPECT_EQ(Backups().GetLastBackupDate(index), dateShown) << c.what;
      EXPECT_EQ(Backups().GetLastBackupTime(index), timeShown) << c.what;
      // To the minute shown, without seconds the user cannot see.
      EXPECT_EQ(std::fmod(std::round(record.LastTime() * 86400.0), 60.0), 0.0) << c.what;
    }
    Backups().DeleteJob(index);
  }
}

TEST_F(EditorTest, WriteFailureNamesTheFile) {
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "write-atomic" && path.find(".ext") != std::string::npos ? ENOSPC : 0;
  });
  Watchdog watchdog(f);
  vktest::WhenModal([&] {
    FillValid(tree.path());
    f->OKBtnClick();
  });
  ASSERT_TRUE(f->OpenNewJob());
  JobRecord record;
  ASSERT_TRUE(Backups().GetJob(SelectedJob, record));
  const auto boxes = InfoTexts(ui);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find(DataDir() + record.ExtFile()), std::string::npos);
  EXPECT_NE(boxes[0].find("Der Datenträger ist voll."), std::string::npos);
  // The other files are written.
  EXPECT_TRUE(vktest::Exists(DataDir() + record.ListFile()));
  EXPECT_TRUE(vktest::Exists(DataDir() + record.ExclFile()));
  EXPECT_TRUE(vktest::Exists(DataDir() + "extens.dat"));
}

// ------------------------------------------------------------------ delete --

TEST_F(EditorTest, DeleteClosesEvenWithIncompleteInput) {
  MakeJob("Nur", "/mnt/nur", {tree.path()});
  ASSERT_EQ(Backups().Count(), 1);
  const std::string listFile = DataDir() + Backups().GetListFileName(0);
  Watchdog watchdog(f);
  vktest::WhenModal([&] {
    f->EName->clear();
    f->EVerz->clear();
    f->VList->clear();
    ui.answers = {false, true};
    f->DelBtnClick();  // "Nein": nothing happens
    EXPECT_TRUE(f->isVisible());
    f->DelBtnClick();
  });
  form1->Button2Click();
  EXPECT_FALSE(f->isVisible());
  EXPECT_EQ(Backups().Count(), 0);
  EXPECT_EQ(SelectedJob, -1);
  EXPECT_FALSE(vktest::Exists(listFile));
  ASSERT_EQ(ui.boxes.size(), 2u);  // the two questions, no input message
  EXPECT_EQ(ui.boxes[1].text, " Diesen Sicherungslauf löschen? ");

  // The backup page shows no job.
  EXPECT_EQ(form1->CB1->currentIndex(), -1);
  EXPECT_EQ(form1->CB1->count(), 0);
  EXPECT_EQ(form1->LB1->count(), 0);
  EXPECT_TRUE(form1->Edit1->text().isEmpty());
  EXPECT_FALSE(form1->BitBtn1->isEnabled());
  EXPECT_FALSE(form1->BitBtn2->isEnabled());
  EXPECT_FALSE(form1->Button3->isEnabled());
  EXPECT_FALSE(form1->GroupBox1->isVisibleTo(form1));
}

TEST_F(EditorTest, DeletingOneOfTwoJobsKeepsTheGroupVisible) {
  MakeJob("Eins", "/mnt/1", {tree.path()});
  MakeJob("Zwei", "/mnt/2", {tree.path()});
  SelectedJob = 0;
  form1->ShowJob();
  Watchdog watchdog(f);
  vktest::WhenModal([&] {
    ui.answers = {true};
    f->DelBtnClick();
  });
  form1->Button2Click();
  EXPECT_EQ(Backups().Count(), 1);
  EXPECT_EQ(form1->CB1->count(), 1);
  EXPECT_EQ(form1->CB1->itemText(0), QStringLiteral("Zwei"));
  EXPECT_EQ(form1->CB1->currentIndex(), -1);
  EXPECT_TRUE(form1->GroupBox1->isVisibleTo(form1));
  // No window is handed the deleted job any more.
  EXPECT_TRUE(form1->State().Shown.Directories.empty());
  EXPECT_EQ(form1->State().Shown.TargetDir, "");
}

TEST_F(EditorTest, EditWithoutAJobOnDisplayOnlyTellsSo) {
  form1->Button2Click();
  EXPECT_EQ(InfoTexts(ui), (std::vector<std::string>{"Es ist keine Sicherung ausgewählt."}));
  EXPECT_TRUE(ui.boxes[0].beep);
  EXPECT_FALSE(f->isVisible());
}

// --------------------------------------------------------- exclusion lists --

TEST_F(EditorTest, ExtensionsMoveBetweenTheListsByDoubleClick) {
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{"*.~pa", "*.bak", "*.dbx", "*.wbk"}));
  f->LiBo2->setCurrentRow(1);
  f->LiBo2DblClick();
  EXPECT_EQ(Texts(f->LiBo1), (std::vector<std::string>{"*.bak"}));
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{"*.~pa", "*.dbx", "*.wbk"}));
  f->LiBo1->setCurrentRow(0);
  f->LiBo1DblClick();
  EXPECT_EQ(Texts(f->LiBo1), (std::vector<std::string>{}));
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{"*.~pa", "*.bak", "*.dbx", "*.wbk"}));

  // An entry that is chosen already (in other letters) only leaves the
  // offered list.
  f->LiBo1->addItem(QStringLiteral("*.DBX"));
  f->LiBo2->setCurrentRow(2);
  f->LiBo2DblClick();
  EXPECT_EQ(Texts(f->LiBo1), (std::vector<std::string>{"*.DBX"}));
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{"*.~pa", "*.bak", "*.wbk"}));

  // Without a current entry nothing happens.
  f->LiBo2->setCurrentRow(-1);
  f->LiBo2DblClick();
  EXPECT_EQ(f->LiBo2->count(), 3);

  // Both lists keep case-insensitive order, signs before letters.
  f->LiBo1->setCurrentRow(0);
  f->LiBo1DblClick();
  f->LiBo2->addItem(QStringLiteral(".Zip"));
  f->LiBo2->setCurrentRow(f->LiBo2->count() - 1);
  f->LiBo2DblClick();
  f->LiBo2->setCurrentRow(0);
  f->LiBo2DblClick();
  EXPECT_EQ(Texts(f->LiBo1), (std::vector<std::string>{".Zip", "*.~pa"}));
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{"*.bak", "*.DBX", "*.wbk"}));
}

TEST_F(EditorTest, ExtensionsMoveByKeyboardAndContextMenu) {
  f->show();
  // Chooses the action of the context menu as soon as it is open.
  const auto chooseFromMenu = [] {
    QTimer::singleShot(0, qApp, [] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      ASSERT_EQ(menu->actions().size(), 1);
      EXPECT_EQ(menu->activeAction(), menu->actions().front());
      QTest::keyClick(menu, Qt::Key_Return);
    });
  };
  // Space moves the current entry, and again the one that took its place.
  f->LiBo2->setCurrentRow(1);
  QTest::keyClick(f->LiBo2, Qt::Key_Space);
  QTest::keyClick(f->LiBo2, Qt::Key_Space);
  EXPECT_EQ(Texts(f->LiBo1), (std::vector<std::string>{"*.bak", "*.dbx"}));
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{"*.~pa", "*.wbk"}));
  f->LiBo1->setCurrentRow(0);
  QTest::keyClick(f->LiBo1, Qt::Key_Space);
  EXPECT_EQ(Texts(f->LiBo1), (std::vector<std::string>{"*.dbx"}));
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{"*.~pa", "*.bak", "*.wbk"}));

  // The context menu moves the entry it was opened on.
  QApplication::processEvents();
  chooseFromMenu();
  f->ExtensionMenu(f->LiBo2, f->LiBo2->visualItemRect(f->LiBo2->item(2)).center());
  EXPECT_EQ(Texts(f->LiBo1), (std::vector<std::string>{"*.dbx", "*.wbk"}));
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{"*.~pa", "*.bak"}));
  // Opened from the keyboard (away from any entry), the current one.
  f->LiBo1->setCurrentRow(0);
  chooseFromMenu();
  f->ExtensionMenu(f->LiBo1, QPoint(-1, -1));
  EXPECT_EQ(Texts(f->LiBo1), (std::vector<std::string>{"*.wbk"}));
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{"*.~pa", "*.bak", "*.dbx"}));
  f->hide();
}

TEST_F(EditorTest, TypeAheadScrollsToTheFirstSurveyedEntry) {
  f->show();
  std::vector<std::string> many = {".*"};
  for (char c = 'A'; c <= 'Z'; ++c) many.push_back(std::string(".") + c + "XT");
  f->LiBo2->clear();
  for (const auto& e : many) f->LiBo2->addItem(QString::fromStdString(e));
  f->LiBo2->setCurrentRow(0);
  QApplication::processEvents();
  const QRect top = f->LiBo2->visualItemRect(f->LiBo2->item(0));

  QTest::keyRelease(f->LiBo2, Qt::Key_P);
  QApplication::processEvents();
  // The entry's column is the first one shown.
  QListWidgetItem* p = f->LiBo2->findItems(QStringLiteral(".PXT"), Qt::MatchExactly).at(0);
  EXPECT_EQ(f->LiBo2->visualItemRect(p).left(), top.left());
  EXPECT_GT(f->LiBo2->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(f->LiBo2->currentRow(), 0);
  EXPECT_EQ(f->LiBo2->selectedItems().size(), 1);
  EXPECT_EQ(f->LiBo2->selectedItems().at(0)->text(), QStringLiteral(".*"));

  // The shipped entries never match.
  f->LiBo2->clear();
  for (const char* e : {"*.~pa", "*.bak", "*.dbx", "*.wbk"})
    f->LiBo2->addItem(QString::fromUtf8(e));
  const int before = f->LiBo2->horizontalScrollBar()->value();
  f->LiBo2KeyUp(Qt::Key_B);
  EXPECT_EQ(f->LiBo2->horizontalScrollBar()->value(), before);
  f->hide();
}

TEST_F(EditorTest, FileDialogAddsFilesUnlessTheFirstIsListed) {
  f->VList->addItem(QStringLiteral("/home/quelle"));
  f->VList->setCurrentRow(0);
  f->LiBo3->addItem(QStringLiteral("/home/quelle/A.txt"));

  ui.fileSets = {{"/home/quelle/a.TXT", "/home/quelle/B.txt"}};
  f->BitBtn2Click();
  EXPECT_EQ(Texts(f->LiBo3), (std::vector<std::string>{"/home/quelle/A.txt"}));
  EXPECT_EQ(ui.fileDialogDirs, (std::vector<std::string>{"/home/quelle"}));

  f->LiBo3->clear();
  f->LiBo3->addItem(QStringLiteral("/home/quelle/B.txt"));
  ui.fileSets = {{"/home/quelle/A.txt", "/home/quelle/B.txt"}};
  f->BitBtn2Click();
  EXPECT_EQ(Texts(f->LiBo3), (std::vector<std::string>{"/home/quelle/A.txt", "/home/quelle/B.txt",
                                                       "/home/quelle/B.txt"}));

  // A cancelled dialog changes nothing; without a current directory the
  // dialog gets no initial folder.
  f->VList->clear();
  f->BitBtn2Click();
  EXPECT_EQ(f->LiBo3->count(), 3);
  EXPECT_EQ(ui.fileDialogDirs.back(), "");

  // Double-click removes.
  f->LiBo3->setCurrentRow(0);
  f->LiBo3DblClick();
  EXPECT_EQ(f->LiBo3->count(), 2);
}

TEST_F(EditorTest, ListCheckAsksForEachMissingFile) {
  vktest::WriteFile(tree / "da.txt", "x");
  fs::create_directory(tree / "ordner");
  f->LiBo3->addItem(QString::fromStdString(tree / "da.txt"));
  f->LiBo3->addItem(QString::fromStdString(tree / "fehlt.txt"));
  f->LiBo3->addItem(QString::fromStdString(tree / "ordner"));

  // "Nein" to the first question: nothing is checked.
  ui.answers = {false};
  f->BitBtn3Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text,
            "Dateiliste überprüfen?\rNicht mehr vorhandene Dateien werden aus der Liste gelöscht.");

  // From the last entry to the first: the folder counts as missing and
  // goes, the missing file answered "Nein" stays; no closing message.
  ui.boxes.clear();
  ui.answers = {true, true, false};
  f->BitBtn3Click();
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[1].text, tree / "ordner" + " löschen?");
  EXPECT_EQ(ui.boxes[2].text, tree / "fehlt.txt" + " löschen?");
  EXPECT_EQ(Texts(f->LiBo3), (std::vector<std::string>{tree / "da.txt", tree / "fehlt.txt"}));

  // With every file present the check says so, without a beep.
  delete f->LiBo3->takeItem(1);
  ui.boxes.clear();
  ui.answers = {true};
  f->BitBtn3Click();
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].kind, "info");
  EXPECT_EQ(ui.boxes[1].text, WithLeadingBreaks("Alle Dateien sind vorhanden."));
  EXPECT_FALSE(ui.boxes[1].beep);
}

// ------------------------------------------------------------------ survey --

TEST_F(EditorTest, SurveyReplacesTheOfferedList) {
  vktest::WriteFile(tree / "a.txt", "");
  vktest::WriteFile(tree / "b.TXT", "");
  vktest::WriteFile(tree / "c", "");
  ui.directories = {tree.path()};
  f->BitBtn1Click();
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{".*", ".TXT"}));
  EXPECT_EQ(ui.prompts.at(0),
            "Wählen Sie ein Verzeichnis, das nach Dateierweiterungen durchsucht werden soll.");
  EXPECT_TRUE(f->findChildren<Tfscan*>().isEmpty());
  EXPECT_TRUE(f->BitBtn1->isEnabled());

  vktest::TempDir empty;
  ui.directories = {empty.path()};
  f->BitBtn1Click();
  EXPECT_EQ(Texts(f->LiBo2), (std::vector<std::string>{".*"}));
}

TEST_F(EditorTest, CancelledSurveyLeavesTheOfferedList) {
  for (int i = 0; i < 5; ++i)
    vktest::WriteFile(tree / ("d" + std::to_string(i) + "/x.e" + std::to_string(i)), "");
  const auto before = Texts(f->LiBo2);
  // The scan, on a thread of its own, waits in the listing of the chosen
  // folder until the click happened, so a fast machine cannot end it first.
  std::atomic<bool> clicked{false};
  platform::SetFaultHook([&clicked](const std::string& op, const std::string&) {
    if (op == "list-dir")
      for (int i = 0; i < 2000 && !clicked; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
  });
  bool sawWindow = false;
  QString caption;
  vktest::WhenModal([&] {
    const auto windows = f->findChildren<Tfscan*>();
    if (windows.isEmpty()) return;
    sawWindow = windows.at(0)->isVisible();
    caption = windows.at(0)->windowTitle();
    windows.at(0)->Button1->click();
    clicked = true;
  });
  ui.directories = {tree.path()};
  f->BitBtn1Click();
  EXPECT_TRUE(sawWindow);
  EXPECT_EQ(caption, QStringLiteral("Verzeichnisse durchsuchen ..."));
  EXPECT_EQ(Texts(f->LiBo2), before);

  // A cancelled folder choice does nothing at all.
  ui.directories = {""};
  f->BitBtn1Click();
  EXPECT_EQ(Texts(f->LiBo2), before);
}

TEST_F(EditorTest, ClosingTheEditorDuringASurveyStopsTheSurvey) {
  // "Abbrechen", and OK with complete input, close the editor while a
  // survey goes on: the survey stops before its next folder instead of
  // filling the list of a closed editor, and the offered list stays.
  for (int i = 0; i < 5; ++i)
    vktest::WriteFile(tree / ("d" + std::to_string(i) + "/x.e" + std::to_string(i)), "");
  struct Case {
    const char* button;
    bool ok;
  };
  for (const Case& c : {Case{"Abbrechen", false}, Case{"OK", true}}) {
    SCOPED_TRACE(c.button);
    // The scan waits in the listing of the chosen folder until the editor
    // was closed.
    std::atomic<bool> closed{false};
    std::atomic<int> listings{0};
    platform::SetFaultHook([&](const std::string& op, const std::string&) {
      if (op == "list-dir" && ++listings == 1)
        for (int i = 0; i < 2000 && !closed; ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return 0;
    });
    std::vector<std::string> before;
    bool closedAtOnce = false;
    Watchdog watchdog(f);
    vktest::WhenModal([&] {
      before = Texts(f->LiBo2);
      if (c.ok) FillValid(tree.path());
      vktest::WhenReady([&] { return listings == 1; },
                        [&] {
                          (c.ok ? f->OKBtn : f->CancelBtn)->click();
                          closedAtOnce = !f->isVisible();
                          closed = true;
                        });
      ui.directories = {tree.path()};
      f->BitBtn1Click();
    });
    EXPECT_EQ(f->OpenNewJob(), c.ok);
    EXPECT_TRUE(closedAtOnce);
    EXPECT_EQ(listings, 1);
    EXPECT_EQ(Texts(f->LiBo2), before);
    EXPECT_TRUE(f->BitBtn1->isEnabled());
  }
}

TEST(ScanWindow, ShowsProgressAndCancels) {
  Tfscan window;
  EXPECT_EQ(window.Client->size(), QSize(306, 123));
  EXPECT_EQ(window.palette().color(QPalette::Window), QColor(186, 217, 254));
  EXPECT_EQ(window.Label1->text(), QStringLiteral("Suche läuft in ..."));
  EXPECT_EQ(window.Button1->text(), QStringLiteral("Abbrechen"));
  // No title bar from the window manager (which may put buttons on it
  // whatever the window asks for): the window shows its caption itself.
  EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_FALSE(window.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                                       Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint));
  EXPECT_EQ(window.Caption->text(), QStringLiteral("Verzeichnisse durchsuchen ..."));
  EXPECT_EQ(window.windowTitle(), window.Caption->text());
  EXPECT_TRUE(window.rect().contains(window.Client->geometry()));
  EXPECT_LT(window.Caption->geometry().bottom(), window.Client->geometry().top());
  window.Label2->setText(QStringLiteral("alt"));
  window.ShowScanWindow();
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.Label2->text().isEmpty());
  window.SetRunning(true);
  window.ShowDirectory("/home/user");
  window.ShowFileCount("12 Dateien");
  EXPECT_EQ(window.Label2->text(), QStringLiteral("/home/user"));
  EXPECT_EQ(window.Label3->text(), QStringLiteral("12 Dateien"));
  // Neither Esc nor the window manager's close nor minimising take the
  // window away; "Abbrechen" clears the flag.
  QTest::keyClick(&window, Qt::Key_Escape);
  window.close();
  window.showMinimized();
  QApplication::processEvents();
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.isMinimized());
  EXPECT_TRUE(window.IsRunning());
  window.Button1->click();
  EXPECT_FALSE(window.IsRunning());
  window.HideScanWindow();
  EXPECT_FALSE(window.isVisible());
}

TEST(ScanWindow, DrawsWhileAListingHangsAndShowsTheExactCountAtTheEnd) {
  // The top folder holds one file, each of three subfolders two. The scan
  // waits in the listing of its third folder: meanwhile the window draws
  // that folder and the count of the two before, cannot be closed, and
  // takes a click on "Abbrechen", which stops the scan before the fourth
  // folder. When the scan has ended the window shows the exact count.
  struct Case {
    bool cancel;
    int result;
    QString shownAtEnd;
  };
  for (const Case& c :
       {Case{false, 1, QStringLiteral("7 Dateien")}, Case{true, 2, QStringLiteral("5 Dateien")}}) {
    SCOPED_TRACE(c.cancel ? "cancelled" : "finished");
    vktest::TempDir tmp;
    for (const char* name :
         {"a.aaa", "s1/x.s1", "s1/y.s1", "s2/x.s2", "s2/y.s2", "s3/x.s3", "s3/y.s3"})
      vktest::WriteFile(tmp / name, "");
    Tfscan window;
    int listings = 0;
    bool drawn = false, stayed = false;
    platform::SetFaultHook([&](const std::string& op, const std::string& path) {
      if (op != "list-dir" || ++listings != 3) return 0;
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!drawn && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        guithread::Call([&] {
          drawn = window.Label2->toolTip().toStdString() == path &&
                  window.Label3->text() == QStringLiteral("3 Dateien");
        });
      }
      guithread::Call([&] {
        window.close();
        QTest::keyClick(&window, Qt::Key_Escape);
        stayed = window.isVisible() && window.focusWidget() == window.Button1;
        if (c.cancel) window.Button1->click();
      });
      return 0;
    });
    tScanDir scanner;
    std::string text;
    const int result = SurveyExtensions(scanner, window, tmp.path(), "*.*", text, true);
    platform::SetFaultHook(nullptr);
    EXPECT_TRUE(drawn);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(window.Label3->text(), c.shownAtEnd);
    EXPECT_FALSE(window.isVisible());
  }
}

// ------------------------------------------------------------- appearance --

TEST_F(EditorTest, WindowShowsEveryTextWholeAndHasNoCloseButton) {
  EXPECT_FALSE(f->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(f->OKBtn->isDefault());
  for (QToolButton* b : {f->SB5, f->SB6, f->SB7, f->BitBtn1, f->BitBtn2, f->BitBtn3})
    EXPECT_FALSE(b->icon().pixmap(16, 16).isNull());
  for (int width : {TFNeu::kDesignClientWidth, TFNeu::kMinClientWidth}) {
    f->resize(width, TFNeu::kClientHeight);
    f->FormResize();
    for (QLabel* label : f->findChildren<QLabel*>()) {
      if (label->wordWrap()) {
        EXPECT_LE(label->heightForWidth(label->width()), label->height())
            << label->text().toStdString();
      } else {
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
      }
    }
  }
}

TEST_F(EditorTest, Screenshot) {
  // Writes the window's picture when VK_SCREENSHOT_DIR names a folder.
  const QByteArray dir = qgetenv("VK_SCREENSHOT_DIR");
  if (dir.isEmpty()) GTEST_SKIP() << "VK_SCREENSHOT_DIR not set";
  MakeJob("Eigene Dateien", "/media/sicherung", {"/home/anna/Dokumente", "/home/anna/Bilder"},
          {"*.bak", ".TMP"}, {"/home/anna/Dokumente/gross.iso"});
  Watchdog watchdog(f);
  vktest::WhenModal([&] {
    f->SelectFolderPath("/usr/share");
    QApplication::processEvents();
    QTest::qWait(300);
    f->grab().save(QString::fromUtf8(dir) + QStringLiteral("/job-editor-grab.png"));
    f->CancelBtnClick();
  });
  f->EditJob();
}

}  // namespace
