// The window "Verlauf": opened from the backup page by its access key, the
// runs newest first with the outcome in a colour that stays readable on a
// light and a dark desktop, a run's report opened with Return, all by
// keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "base/pathtext.h"
#include "core/catalogue/daten.h"
#include "core/history/history.h"
#include "dialogs/verlaufform.h"
#include "mainwindow/backmain.h"
#include "platform/platform.h"
#include "support/core_support.h"
#include "support/job_fixture.h"
#include "support/qt_gui_support.h"
#include "support/verify_support.h"

TEST(HistoryWindow, OutcomeColoursStayReadableOnLightAndDarkBackgrounds) {
  const history::Outcome outcomes[] = {history::Outcome::Ok,        history::Outcome::Errors,
                                       history::Outcome::Cancelled, history::Outcome::NotStarted,
                                       history::Outcome::Killed,    history::Outcome::Running};
  for (const QColor& background :
       {QColor(Qt::white), QColor(0xF0, 0xF0, 0xF0), QColor(0x2B, 0x2B, 0x2B), QColor(Qt::black)}) {
    for (history::Outcome outcome : outcomes) {
      SCOPED_TRACE(background.name().toStdString() + " " +
                   std::to_string(static_cast<int>(outcome)));
      EXPECT_GE(vktest::Contrast(TFVerlauf::OutcomeColour(outcome, background), background), 4.5);
    }
  }
  // Ok and errors never look alike.
  EXPECT_NE(TFVerlauf::OutcomeColour(history::Outcome::Ok, Qt::white),
            TFVerlauf::OutcomeColour(history::Outcome::Errors, Qt::white));
}

TEST(HistoryWindow, OpensByKeyboardListsTheRunsAndOpensAReport) {
  vktest::TempDir home;
  vktest::JobFixture fixture(home.path());
  fixture.WriteCatalogue({{"Briefe", home / "ziel", 0, 0, {home / "quelle"}}});
  SetHomeDirForTesting(home.path());
  tBackups jobs;
  ASSERT_EQ(tBackups::LoadResult::Loaded, jobs.LoadCatalogue());
  const history::Target target = history::ForJob(jobs, 0, history::Started::Timer);
  ASSERT_TRUE(target.Enabled());
  {
    static TDateTime now = 46000.5;
    history::Recorder failed(target, history::Kind::FullBackup);
    failed.Clock = [] { return now += 1.0 / 24; };
    failed.Begin(now);
    failed.End(history::Outcome::Errors, {3, 1, 0, 3000}, {"Folgende Fehler sind aufgetreten:"});
    history::Recorder refused(target, history::Kind::IncrementalBackup);
    refused.Clock = failed.Clock;
    refused.NotStarted("Das Laufwerk fehlt.");
  }
  std::vector<std::string> launched;
  platform::SetLaunchHook([&](const std::string& file, const std::string& parameters) {
    launched.push_back(file + " " + parameters);
    return 0;
  });
  vktest::ScriptedUi ui;
  vktest::AppWindows w(home.path());
  TForm1* f = w.form1();
  w.Show();
  f->CB1->setCurrentIndex(0);
  f->CB1Change();
  ASSERT_TRUE(f->HistoryButton->isEnabled());
  EXPECT_EQ(QStringLiteral("Ver&lauf"), f->HistoryButton->text());

  bool checked = false;
  vktest::WhenReady(
      [] { return qobject_cast<TFVerlauf*>(QApplication::activeModalWidget()); },
      [&] {
        auto* window = qobject_cast<TFVerlauf*>(QApplication::activeModalWidget());
        ASSERT_NE(nullptr, window);
        vktest::SaveScreenshot(window, "history-window.png");
        QTableWidget* grid = window->Grid;
        ASSERT_EQ(2, grid->rowCount());
        QApplication::setActiveWindow(window);
        EXPECT_EQ(grid, window->focusWidget());
        EXPECT_EQ("nicht gestartet: Das Laufwerk fehlt.",
                  grid->item(0, history::kOutcome)->text().toStdString());
        EXPECT_EQ("Fehler", grid->item(1, history::kOutcome)->text().toStdString());
        EXPECT_EQ("Zeitplan", grid->item(1, history::kStarted)->text().toStdString());
        EXPECT_EQ("1:00:00", grid->item(1, history::kDuration)->text().toStdString());
        EXPECT_EQ("2,9 KB", grid->item(1, history::kBytes)->text().toStdString());
        EXPECT_EQ(TFVerlauf::OutcomeColour(history::Outcome::Errors,
                                           grid->palette().color(QPalette::Base)),
                  grid->item(1, history::kOutcome)->foreground().color());
        // The newest run kept no report: Return tells so.
        EXPECT_FALSE(window->ReportButton->isEnabled());
        const std::size_t boxes = ui.boxes.size();
        QTest::keyClick(grid, Qt::Key_Return);
        ASSERT_EQ(boxes + 1, ui.boxes.size());
        EXPECT_NE(std::string::npos,
                  ui.boxes.back().text.find("Zu diesem Lauf ist kein Bericht aufbewahrt."));
        // The one before did: Return opens it in the text viewer.
        QTest::keyClick(grid, Qt::Key_Down);
        EXPECT_TRUE(window->ReportButton->isEnabled());
        QTest::keyClick(grid, Qt::Key_Return);
        ASSERT_EQ(1u, launched.size());
        EXPECT_EQ(0u, launched[0].rfind("notepad.exe " + tBackups::GetDataDir() + "Protokolle/"));
        // The button does the same, by its access key.
        QTest::keyClick(window, Qt::Key_B, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return launched.size() == 2; }, 2000));
        checked = true;
        QTest::keyClick(window, Qt::Key_Escape);
      });
  QApplication::setActiveWindow(f);
  // The access key presses the button visibly: the window opens a moment later.
  QTest::keyClick(f, Qt::Key_L, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return checked; }, 5000));
  platform::SetLaunchHook(nullptr);
  SetHomeDirForTesting(std::string());
}
