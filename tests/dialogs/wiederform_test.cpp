// The restore window: what it shows, the restore it carries out with its
// progress and end, the questions that come through it, cancel and close.
#include "dialogs/wiederform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "core/backup/copyengine.h"
#include "core/catalogue/daten.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"
#include "support/qt_gui_support.h"
#include "support/version_tree.h"

namespace {

using Answer = UserInterface::AllAnswer;

class RestoreWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<vktest::AppWindows>(home.path());
    form1 = app->form1();
    window = FormWieder();
    SelectedJob = vktest::JobFixture::AddJob(
        *form1->Backups(), {"Briefe", versionTree.target, 0, 0, {versionTree.source}});
    form1->ShowJob();
  }
  void TearDown() override { app.reset(); }

  restore::RestoreRequest Request(const std::string& toFolder) {
    restore::RestoreRequest request = restore::MakeRestoreRequest(form1->State());
    request.ToFolder = toFolder;
    return request;
  }

  // Opens the window for the request, lets `whileRunning` act once the
  // restore runs and closes the window once it has ended. False when the
  // window did not open.
  bool Run(const restore::RestoreRequest& request,
           const std::function<void()>& whileRunning = nullptr) {
    if (!window->Open(request)) return false;
    bool acted = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (window->Running() && !acted && whileRunning) {
        acted = true;
        whileRunning();
      }
      if (window->Finished() && window->isVisible()) {
        shownAtEnd = {window->Label8->text(), window->BitBtn4->isEnabled(),
                      window->BitBtn5->isEnabled()};
        window->BitBtn5->click();
      }
    });
    poll.start(1);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
      ADD_FAILURE() << "the restore window was left open";
      window->done(0);
    });
    watchdog.start(30000);
    window->exec();
    return true;
  }

  struct {
    QString counts;
    bool cancelEnabled = true;
    bool closeEnabled = false;
  } shownAtEnd;

  vktest::TempDir home;
  vktest::TempDir dir;
  vktest::VersionTree versionTree{dir.path()};
  vktest::ScriptedUi ui;
  std::unique_ptr<vktest::AppWindows> app;
  TForm1* form1 = nullptr;
  TFWieder* window = nullptr;
};

TEST_F(RestoreWindowTest, ShowsTheRestoreRunsItAndShowsItsEnd) {
  restore::RestoreRequest request = Request(dir / "zurück");
  ASSERT_TRUE(Run(request));

  EXPECT_EQ(window->windowTitle(), QStringLiteral("Wiederherstellung \"Briefe\""));
  EXPECT_EQ(window->Label2->text(), QStringLiteral("Briefe"));
  EXPECT_EQ(window->Label4->text(), QStringLiteral("letzte Sicherung"));
  EXPECT_EQ(window->Label6->text(), QStringLiteral("die ganze Sicherung"));
  ASSERT_EQ(window->SG1->rowCount(), 1);
  EXPECT_EQ(window->SG1->item(0, 0)->text().toStdString(), versionTree.target + "/Daten");
  EXPECT_EQ(window->SG1->item(0, 1)->text().toStdString(), dir / "zurück/Daten");
  EXPECT_EQ(shownAtEnd.counts, QStringLiteral("3\nvon 3"));
  EXPECT_FALSE(shownAtEnd.cancelEnabled);
  EXPECT_TRUE(shownAtEnd.closeEnabled);
  EXPECT_EQ(window->LastResult().restored, 3);
  EXPECT_TRUE(window->LastResult().Clean());
  EXPECT_EQ(vktest::VersionTree::Files(dir / "zurück/Daten"), versionTree.State(0));
  // The report went to the job's restore report.
  const std::string report =
      tBackups::GetDataDir() + form1->Backups()->GetRestoreLogFileName(SelectedJob);
  EXPECT_NE(vktest::ReadFile(report).find("Briefe"), std::string::npos);

  // What the header tells of a choice.
  request.Paths = {"Daten/a.txt"};
  EXPECT_EQ(TFWieder::WhatText(request), QStringLiteral("Daten/a.txt"));
  request.Paths.push_back("Daten/sub");
  EXPECT_EQ(TFWieder::WhatText(request), QStringLiteral("2 ausgewählte Einträge"));
}

TEST_F(RestoreWindowTest, ANewerFileIsReplacedOnlyWhenTheWindowsQuestionSaysJa) {
  struct Case {
    Answer answer;
    std::string left;
  } cases[] = {{Answer::No, "jünger"}, {Answer::NoAll, "jünger"}, {Answer::Yes, "drei"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    const std::string to = dir / ("neuer" + std::to_string(static_cast<int>(c.answer)));
    vktest::JobFixture::WriteFileAt(to + "/Daten/a.txt", "jünger", 2026, 6, 1);
    ui.boxes.clear();
    ui.allAnswers = {c.answer};
    ASSERT_TRUE(Run(Request(to)));
    EXPECT_EQ(vktest::ReadFile(to + "/Daten/a.txt"), c.left);
    int asked = 0, offered = 0;
    for (const auto& box : ui.boxes) {
      asked += box.kind == "ask-all";
      offered += box.kind == "ask" && box.text == kViewReportQuestion;
    }
    EXPECT_EQ(asked, 1);
    // A file left out is an error: the report is offered as after a backup.
    EXPECT_EQ(offered, c.left == "drei" ? 0 : 1);
    EXPECT_EQ(vktest::ReadFile(to + "/Daten/sub/b.bin"), versionTree.binary);
  }
}

TEST_F(RestoreWindowTest, CancelStopsTheRestoreAndAClosedWindowWaitsForItsEnd) {
  for (int i = 0; i < 3000; ++i)
    vktest::WriteFile(versionTree.target + "/Daten/viele/" + std::to_string(i), "x");
  bool stillOpen = false;
  ASSERT_TRUE(Run(Request(dir / "halb"), [&] {
    window->close();
    stillOpen = window->isVisible();
    window->BitBtn4->click();
  }));
  EXPECT_TRUE(stillOpen);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(window->LastResult().cancelled);
  EXPECT_LT(window->LastResult().restored, 3003);
  bool told = false;
  for (const auto& box : ui.boxes)
    told = told || box.text.find("Die Wiederherstellung wurde abgebrochen.") != std::string::npos;
  EXPECT_TRUE(told);
}

TEST_F(RestoreWindowTest, AMissingTargetIsToldAndNothingOpens) {
  std::filesystem::rename(versionTree.target, dir / "weg");
  EXPECT_FALSE(window->Open(Request(dir / "zurück")));
  EXPECT_FALSE(window->isVisible());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("existiert nicht"), std::string::npos);
  EXPECT_FALSE(vktest::Exists(dir / "zurück"));
}

}  // namespace
