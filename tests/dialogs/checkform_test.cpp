// The check window: both modes, its grid and labels, the count file, and
// closing it while a run goes on.
#include "dialogs/checkform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "base/codepage.h"
#include "core/catalogue/daten.h"
#include "core/history/history.h"
#include "dialogs/restform.h"
#include "mainwindow/backmain.h"
#include "platform/platform.h"
#include "support/core_support.h"
#include "support/job_fixture.h"
#include "support/qt_gui_support.h"
#include "support/verify_support.h"

namespace {

class CheckFormTest : public ::testing::Test {
 protected:
  CheckFormTest() : app(home.path()) {}
  ~CheckFormTest() override { platform::SetFaultHook(nullptr); }

  TForm1* form1() const { return app.form1(); }
  TFCheck* fcheck() const { return app.fcheck(); }
  TFRest* frest() const { return app.frest(); }

  // Adds a job and chooses it on the check page, as the user does.
  int AddJob(const std::string& name, const std::string& target,
             const std::vector<std::string>& dirs, const std::vector<std::string>& exts = {}) {
    const int index =
        vktest::JobFixture::AddJob(*form1()->Backups(), {name, target, 0, 0, dirs, exts});
    form1()->CB2Enter();
    form1()->CB2->setCurrentIndex(index);
    form1()->CB2Change();
    return index;
  }
  std::string CountFile(int index) const {
    return tBackups::GetDataDir() + form1()->Backups()->GetCountFileName(index);
  }
  QString Cell(int row, int column) const {
    QTableWidgetItem* item = fcheck()->SG1->item(row, column);
    return item ? item->text() : QString();
  }
  // A tree "Daten" with missing files in two folders and an excluded one.
  void MakeTree() {
    vktest::WriteFile(tree / "Daten/a.txt", "a");
    vktest::WriteFile(tree / "Daten/b.txt", "b");
    vktest::WriteFile(tree / "Daten/c.bak", "c");
    vktest::WriteFile(tree / "Daten/sub/d.txt", "d");
    vktest::WriteFile(tree / "Sich/Daten/a.txt", "old");
  }

  vktest::TempDir home;
  vktest::TempDir tree;
  vktest::ScriptedUi ui;
  vktest::AppWindows app;
};

TEST_F(CheckFormTest, CheckOnlyShowsRowsCountsAndColours) {
  MakeTree();
  app.Show();
  AddJob("Texte", tree / "Sich", {tree / "Daten", tree / "Fehlt"}, {".BAK"});
  const int runsBefore = fcheck()->RunsFinished();
  bool looked = false;
  vktest::WhenReady(
      [&] { return fcheck()->RunsFinished() > runsBefore; },
      [&] {
        looked = true;
        TFCheck* w = fcheck();
        EXPECT_TRUE(w->isModal());
        EXPECT_FALSE(form1()->isVisible()) << "the main window is hidden";
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Sicherungsüberprüfung für \"Texte\""));
        EXPECT_EQ(w->Label2->text(), QStringLiteral("Texte"));
        EXPECT_EQ(w->pos(), form1()->pos() + QPoint(30, 30));
        ASSERT_EQ(w->SG1->rowCount(), 2);
        EXPECT_EQ(w->SG1->horizontalHeaderItem(0)->text(), QStringLiteral("Quellverzeichnisse"));
        EXPECT_EQ(w->SG1->horizontalHeaderItem(1)->text(), QStringLiteral("Zielverzeichnisse"));
        EXPECT_EQ(w->SG1->horizontalHeaderItem(2)->text(), QStringLiteral("Fehlende"));
        EXPECT_EQ(Cell(0, 0), QString::fromStdString(tree / "Daten"));
        EXPECT_EQ(Cell(0, 1), QString::fromStdString(tree / "Sich/Daten"));
        EXPECT_EQ(Cell(0, 2), QStringLiteral("2"));
        EXPECT_EQ(Cell(1, 2), QStringLiteral("Nicht gefunden"));
        EXPECT_EQ(w->Label4->text(), QStringLiteral("Fertig!"));
        EXPECT_EQ(w->Label6->text(), QStringLiteral("4")) << "excluded files too";
        EXPECT_EQ(w->Label12->text(), QStringLiteral("3"));
        EXPECT_EQ(w->Label8->text(), QStringLiteral("1"));
        EXPECT_EQ(w->Label10->text(), QStringLiteral("2"));
        EXPECT_EQ(w->Check.Report.Lines().back(), "Summe: 2");
        EXPECT_EQ(w->Label10->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        EXPECT_TRUE(w->BitBtn2->isEnabled());
        EXPECT_FALSE(w->BitBtn4->isEnabled());
        EXPECT_FALSE(w->Animate1->isVisible());
        EXPECT_FALSE(w->Animate1->Playing());
        EXPECT_GE(w->minimumWidth(), 555);
        EXPECT_EQ(w->SG1->columnWidth(2), w->SG1->viewport()->width() - w->SG1->columnWidth(0) -
                                              w->SG1->columnWidth(1) - 4);
        vktest::SaveScreenshot(w, "check-window.png");
        w->BitBtn1->click();
      },
      [&] { fcheck()->close(); });
  form1()->BitBtn2Click();
  EXPECT_TRUE(looked);
  EXPECT_FALSE(fcheck()->isVisible());
  EXPECT_TRUE(form1()->isVisible()) << "closing shows the main window again";
  EXPECT_TRUE(fcheck()->Check.Report.Empty()) << "the report is released on closing";
  EXPECT_EQ(fcheck()->RunsFinished(), runsBefore + 1) << "showing and activation run once";
  EXPECT_FALSE(vktest::Exists(CountFile(0))) << "only Details writes the count file";
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CheckFormTest, ComparingContentsChecksAgainAndCountsDifferingFilesApart) {
  vktest::JobFixture::WriteFileAt(tree / "Daten/a.txt", "richtig", 2026, 3, 1);
  vktest::JobFixture::WriteFileAt(tree / "Sich/Daten/a.txt", "kaputt!", 2026, 3, 1);
  vktest::JobFixture::WriteFileAt(tree / "Daten/b.txt", "fehlt", 2026, 3, 1);
  app.Show();
  AddJob("Texte", tree / "Sich", {tree / "Daten"});
  const int runsBefore = fcheck()->RunsFinished();
  bool looked = false;
  vktest::WhenReady(
      [&] { return fcheck()->RunsFinished() == runsBefore + 1; },
      [&] {
        TFCheck* w = fcheck();
        EXPECT_FALSE(w->CheckBox1->isChecked());
        EXPECT_EQ(w->Label14->text(), QString()) << "nothing compared";
        // Its access key ticks it, and the check runs again with it.
        QApplication::setActiveWindow(w);
        QTest::keyClick(w, Qt::Key_I, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return w->CheckBox1->isChecked(); }, 2000));
        vktest::WhenReady(
            [w, runsBefore] { return w->RunsFinished() == runsBefore + 2; },
            [w, &looked, this] {
              looked = true;
              EXPECT_EQ(w->Label10->text(), QStringLiteral("1")) << "missing b.txt";
              EXPECT_EQ(w->Label14->text(), QStringLiteral("1")) << "differing a.txt";
              EXPECT_EQ(w->Label14->palette().color(QPalette::WindowText), QColor(255, 0, 0));
              const auto& lines = w->Check.Report.Lines();
              EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), tree / "Daten/a.txt"));
              vktest::SaveScreenshot(w, "check-window-content.png");
              w->BitBtn1->click();
            },
            [this] { fcheck()->close(); });
      },
      [&] { fcheck()->close(); });
  form1()->BitBtn2Click();
  EXPECT_TRUE(looked);
}

TEST_F(CheckFormTest, NothingMissingIsGreenAndTheColumnFollowsTheWindow) {
  vktest::WriteFile(tree / "Daten/a.txt", "a");
  vktest::WriteFile(tree / "Sich/Daten/a.txt", "a");
  AddJob("Voll", tree / "Sich", {tree / "Daten"});
  vktest::WhenReady(
      [&] { return fcheck()->RunsFinished() > 0; },
      [&] {
        TFCheck* w = fcheck();
        EXPECT_EQ(w->Label10->text(), QStringLiteral("0"));
        EXPECT_EQ(w->Label10->palette().color(QPalette::WindowText), QColor(0, 128, 0));
        EXPECT_EQ(Cell(0, 2), QStringLiteral("0"));
        w->resize(w->width() + 120, w->height());
        QApplication::processEvents();
        EXPECT_EQ(w->SG1->columnWidth(2), w->SG1->viewport()->width() - w->SG1->columnWidth(0) -
                                              w->SG1->columnWidth(1) - 4);
        w->close();
      },
      [&] { fcheck()->close(); });
  form1()->BitBtn2Click();
  EXPECT_FALSE(fcheck()->isVisible());
}

TEST_F(CheckFormTest, EmptyJobNameAndAJobWithoutFolders) {
  app.Show();
  form1()->CB2->setCurrentIndex(-1);
  form1()->BitBtn5Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, "info");
  EXPECT_NE(ui.boxes[0].text.find("Keine Sicherung ausgewählt."), std::string::npos);
  EXPECT_FALSE(ui.boxes[0].beep);
  EXPECT_TRUE(form1()->isVisible());
  EXPECT_FALSE(fcheck()->isVisible());

  // A job without source folders: the grid shows only its header row, also
  // after a job with rows.
  fcheck()->SG1->setRowCount(3);
  AddJob("Leer", tree / "Sich", {});
  vktest::WhenReady([&] { return fcheck()->RunsFinished() > 0; },
                    [&] {
                      EXPECT_EQ(fcheck()->SG1->rowCount(), 0);
                      EXPECT_EQ(fcheck()->Label10->text().trimmed(), QString());
                      EXPECT_EQ(fcheck()->Check.Report.Lines().back(), "Summe: 0");
                      fcheck()->close();
                    },
                    [&] { fcheck()->close(); });
  form1()->BitBtn2Click();
}

TEST_F(CheckFormTest, ClosingDuringARunCancelsItFirst) {
  for (int d = 0; d < 20; ++d)
    for (int f = 0; f < 10; ++f)
      vktest::WriteFile(tree / ("Daten/d" + std::to_string(d) + "/f" + std::to_string(f)), "x");
  AddJob("Gross", tree / "Sich", {tree / "Daten"});
  // The run waits in its second folder until the window was closed, so
  // that a fast machine cannot end the count first.
  std::atomic<bool> closed{false};
  platform::SetFaultHook([&closed](const std::string& op, const std::string& path) {
    if (op == "list-dir" && path.find("/d1") != std::string::npos)
      for (int i = 0; i < 2000 && !closed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
  });
  bool closedDuringRun = false;
  vktest::WhenReady([&] { return fcheck()->Running(); },
                    [&] {
                      closedDuringRun = true;
                      fcheck()->close();
                      closed = true;
                      // The run still holds the report: the window stays until it stopped.
                      EXPECT_TRUE(fcheck()->isVisible());
                    });
  form1()->BitBtn2Click();
  EXPECT_TRUE(closedDuringRun);
  // The check, on a thread of its own, took the cancel at its next entry.
  EXPECT_TRUE(fcheck()->Check.Cancelled());
  EXPECT_FALSE(fcheck()->isVisible());
  EXPECT_FALSE(fcheck()->Running());
  EXPECT_EQ(fcheck()->Label4->text(), QStringLiteral("Der Zählvorgang wurde abgebrochen"));
  EXPECT_TRUE(fcheck()->Check.Report.Empty());
  EXPECT_TRUE(form1()->isVisible());
}

TEST_F(CheckFormTest, DetailsSavesTheCountFileAndOpensTheCompletion) {
  MakeTree();
  const int job = AddJob("Texte", tree / "Sich", {tree / "Daten"});
  bool sawCompletion = false;
  vktest::WhenReady([&] { return fcheck()->RunsFinished() > 0; },
                    [&] {
                      vktest::WhenReady([&] { return frest()->isVisible(); },
                                        [&] {
                                          sawCompletion = true;
                                          EXPECT_FALSE(frest()->AutoMode);
                                          ASSERT_EQ(frest()->RowCount(), 2);
                                          EXPECT_FALSE(frest()->IsTicked(0));
                                          EXPECT_FALSE(frest()->IsTicked(1));
                                          EXPECT_TRUE(fcheck()->isVisible());
                                          frest()->close();
                                        },
                                        [&] { frest()->close(); });
                      fcheck()->BitBtn2->click();
                    },
                    [&] { fcheck()->close(); });
  form1()->BitBtn2Click();
  EXPECT_TRUE(sawCompletion);
  EXPECT_FALSE(fcheck()->isVisible()) << "the check window closes after the completion";
  EXPECT_TRUE(form1()->isVisible());
  const std::string bytes = vktest::ReadFile(CountFile(job));
  EXPECT_EQ(bytes.rfind("Dateiz\xE4hlung \"Texte\" am ", 0), 0u);
  EXPECT_NE(bytes.find("\r\nSumme: 3\r\n"), std::string::npos);
  EXPECT_EQ(vktest::ReadFile(tree / "Sich/Daten/a.txt"), "old") << "Details copies nothing";
}

TEST_F(CheckFormTest, TheKeyboardGoesFromDetailsToTheRowsWhereSpaceTicks) {
  MakeTree();
  AddJob("Texte", tree / "Sich", {tree / "Daten"});
  struct {
    QWidget* afterCheck = nullptr;
    QWidget* inCompletion = nullptr;
    int currentRow = -1;
    bool tickedBySpace = false;
    bool stillOpen = false;
    std::vector<QWidget*> tabStops;
  } seen;
  // In the completion: Space, then the stops of Tab once round the window.
  const auto inCompletion = [&] {
    TFRest* w = frest();
    seen.inCompletion = w->focusWidget();
    seen.currentRow = w->LV1->currentRow();
    QTest::keyClick(w->LV1, Qt::Key_Space);
    seen.tickedBySpace = w->IsTicked(0) && !w->IsTicked(1);
    seen.stillOpen = w->isVisible() && fcheck()->isVisible();
    const auto isStop = [w](QWidget* c) {
      return c->isVisibleTo(w) && c->isEnabled() && (c->focusPolicy() & Qt::TabFocus);
    };
    QWidget* stop = w->LV1;
    do {
      seen.tabStops.push_back(stop);
      do stop = stop->nextInFocusChain();
      while (stop != w->LV1 && !isStop(stop));
    } while (stop != w->LV1 && seen.tabStops.size() < 50);
    w->close();
  };
  // After the check: Space on the button that has the keyboard.
  const auto afterCheck = [&] {
    seen.afterCheck = fcheck()->focusWidget();
    vktest::WhenReady([&] { return frest()->isVisible(); }, inCompletion,
                      [&] { frest()->close(); });
    QTest::keyClick(fcheck()->focusWidget(), Qt::Key_Space);
  };
  vktest::WhenReady([&] { return fcheck()->RunsFinished() > 0; }, afterCheck,
                    [&] { fcheck()->close(); });
  form1()->BitBtn2Click();
  EXPECT_EQ(seen.afterCheck, fcheck()->BitBtn2) << "\"Details\" has the keyboard after a check";
  EXPECT_EQ(seen.inCompletion, frest()->LV1);
  EXPECT_EQ(seen.currentRow, 0);
  EXPECT_TRUE(seen.tickedBySpace);
  EXPECT_TRUE(seen.stillOpen) << "Space must not close the completion";
  EXPECT_EQ(std::count(seen.tabStops.begin(), seen.tabStops.end(), frest()->Memo1), 0)
      << "the report text is no Tab stop";
  EXPECT_EQ(std::count(seen.tabStops.begin(), seen.tabStops.end(), frest()->BitBtn1), 1);
}

TEST_F(CheckFormTest, ACountFileThatCannotBeWrittenIsToldAndTheCompletionStillOpens) {
  MakeTree();
  const int job = AddJob("Texte", tree / "Sich", {tree / "Daten"});
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "write-atomic" && path.find(".cou") != std::string::npos ? EACCES : 0;
  });
  bool sawCompletion = false;
  vktest::WhenReady([&] { return fcheck()->RunsFinished() > 0; },
                    [&] {
                      vktest::WhenReady([&] { return frest()->isVisible(); },
                                        [&] {
                                          sawCompletion = true;
                                          EXPECT_EQ(frest()->RowCount(), 2);
                                          frest()->close();
                                        },
                                        [&] { frest()->close(); });
                      fcheck()->BitBtn2Click();
                    },
                    [&] { fcheck()->close(); });
  form1()->BitBtn2Click();
  EXPECT_TRUE(sawCompletion);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, "info");
  EXPECT_NE(ui.boxes[0].text.find(CountFile(job)), std::string::npos);
  EXPECT_NE(ui.boxes[0].text.find("konnte nicht geschrieben werden"), std::string::npos);
  EXPECT_FALSE(vktest::Exists(CountFile(job)));
}

TEST_F(CheckFormTest, CompleteModeCopiesEverythingWithoutAQuestion) {
  MakeTree();
  vktest::WriteFile(tree / "Daten2/e.txt", "e");
  app.Show();
  const int job = AddJob("Texte", tree / "Sich", {tree / "Daten", tree / "Daten2"}, {".BAK"});
  bool sawCompletion = false;
  vktest::WhenReady([&] { return frest()->isVisible(); },
                    [&] {
                      sawCompletion = true;
                      EXPECT_TRUE(frest()->AutoMode);
                      EXPECT_FALSE(fcheck()->isModal());
                      EXPECT_FALSE(form1()->isVisible());
                      vktest::WhenReady([&] { return frest()->RowCount() == 0 && !frest()->Busy; },
                                        [&] { frest()->close(); }, [&] { frest()->close(); });
                    },
                    [&] { frest()->close(); });
  form1()->BitBtn5Click();
  EXPECT_TRUE(sawCompletion);
  EXPECT_EQ(fcheck()->RunsFinished(), 1);
  EXPECT_FALSE(fcheck()->isVisible());
  EXPECT_TRUE(form1()->isVisible());
  EXPECT_EQ(vktest::ReadFile(tree / "Sich/Daten/b.txt"), "b");
  EXPECT_EQ(vktest::ReadFile(tree / "Sich/Daten/sub/d.txt"), "d");
  EXPECT_EQ(vktest::ReadFile(tree / "Sich/Daten2/e.txt"), "e");
  EXPECT_EQ(vktest::ReadFile(tree / "Sich/Daten/a.txt"), "old");
  EXPECT_FALSE(vktest::Exists(tree / "Sich/Daten/c.bak"));
  EXPECT_TRUE(ui.boxes.empty()) << "the automatic mode asks nothing";
  EXPECT_NE(vktest::ReadFile(CountFile(job)).find("Summe: 3\r\n"), std::string::npos);
  // Both runs are in the job's history, the completion's line newest.
  const std::vector<history::Entry> runs =
      history::ReadRuns(tBackups::GetDataDir() + form1()->Backups()->GetHistoryFileName(job));
  ASSERT_EQ(2u, runs.size());
  EXPECT_EQ(history::Kind::Completion, runs[0].kind);
  EXPECT_EQ(history::Outcome::Ok, runs[0].outcome);
  EXPECT_EQ(3, runs[0].counts.files);
  EXPECT_EQ(history::Started::Window, runs[0].started);
  EXPECT_EQ(history::Kind::Check, runs[1].kind);
}

}  // namespace
