// The backup page's warning that the shown job's last good backup is older
// than the job's WarnenNachTagen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <cmath>

#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/catalogue/daten.h"
#include "mainwindow/backmain.h"
#include "support/core_support.h"
#include "support/job_fixture.h"
#include "support/qt_gui_support.h"

namespace {

TEST(MainWindowStaleness, TheWarningShowsOneDayOverTheLimitInAReadableRed) {
  const double today = std::trunc(Now());
  for (const bool dark : {false, true}) {
    SCOPED_TRACE(dark ? "dark desktop" : "light desktop");
    const QPalette before = QApplication::palette();
    if (dark) {
      QPalette p;
      p.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
      p.setColor(QPalette::WindowText, Qt::white);
      QApplication::setPalette(p);
    }
    {
      vktest::TempDir home;
      vktest::JobFixture fixture(home.path());
      fixture.WriteCatalogue({{"Grenze", "/ziel", today - 7, 0.5, {"/q"}},
                              {"Darueber", "/ziel", today - 8, 0.99, {"/q"}},
                              {"Nie gewarnt", "/ziel", today - 400, 0.5, {"/q"}},
                              {"Nie gesichert", "/ziel", 0, 0, {"/q"}}});
      SetHomeDirForTesting(home.path());
      tBackups jobs;
      ASSERT_EQ(tBackups::LoadResult::Loaded, jobs.LoadCatalogue());
      vktest::WriteFile(tBackups::GetDataDir() + jobs.GetOptionsFileName(2),
                        "WarnenNachTagen=0\r\n");
      SetHomeDirForTesting(std::string());
      vktest::ScriptedUi ui;
      vktest::AppWindows w(home.path());
      TForm1* f = w.form1();
      w.Show();
      const std::string expected[] = {"", "Die letzte fehlerfreie Sicherung ist 8 Tage alt.", "",
                                      ""};
      for (int job : {1, 0, 2, 3, 1}) {
        f->CB1->setCurrentIndex(job);
        f->CB1Change();
        SCOPED_TRACE(f->CB1->currentText().toStdString());
        EXPECT_EQ(!expected[job].empty(), f->StaleLabel->isVisible());
        if (expected[job].empty()) continue;
        EXPECT_EQ(expected[job], f->StaleLabel->text().toStdString());
        const QColor red = f->StaleLabel->palette().color(QPalette::Active, QPalette::WindowText);
        const QColor behind = f->GroupBox1->palette().color(QPalette::Active, QPalette::Window);
        EXPECT_GT(red.red(), 2 * red.green());
        EXPECT_GE(vktest::Contrast(red, behind), 4.5)
            << red.name().toStdString() << " on " << behind.name().toStdString();
        // Between the fields of the last backup and the buttons below.
        EXPECT_LE(f->StaleLabel->geometry().bottom(), 181);
        EXPECT_GE(f->StaleLabel->geometry().top(), 169);
      }
      EXPECT_TRUE(ui.boxes.empty());
    }
    QApplication::setPalette(before);
  }
}

}  // namespace
