// The synchronisation run window: the run of a stored definition on real
// folders, its counts and end, and the guard that stops it before any
// change.
#include "dialogs/synform.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>
#include <map>

#include "core/catalogue/daten.h"
#include "core/sync/syncdefs.h"
#include "mainwindow/qt_forms.h"
#include "support/qt_gui_support.h"

namespace {

// Every file below `root` (the hidden versions left out) with its content.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> files;
  namespace fs = std::filesystem;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->path().filename() == ".VolKarn-Versionen") {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file())
      files[fs::relative(it->path(), root).string()] = vktest::ReadFile(it->path().string());
  }
  return files;
}

class SyncWindowTest : public ::testing::Test {
 protected:
  vktest::TempDir home;
  vktest::TempDir pair;
  vktest::ScriptedUi ui;
  vktest::AppWindows windows{home.path()};
  TFSyn* window = FormSyn();
  SyncDefinition definition{"Laptop", pair / "eins", pair / "zwei"};
  struct End {
    QString counts;
    bool cancelEnabled = true;
    bool closeEnabled = false;
  } end;

  // Runs the definition in the window and closes it at the run's end;
  // with `cancel`, "Abbrechen" is pressed once the run is going.
  void Run(bool cancel = false) {
    window->Open(definition);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (cancel && window->Running() && window->BitBtn4->isEnabled()) {
        cancel = false;
        window->BitBtn4->click();
      }
      if (window->Finished() && window->isVisible()) {
        end = {window->Label8->text(), window->BitBtn4->isEnabled(), window->BitBtn5->isEnabled()};
        window->BitBtn5->click();
      }
    });
    poll.start(5);
    window->exec();
  }
  QString Count(int row) const { return window->SG1->item(row, 1)->text(); }
};

TEST_F(SyncWindowTest, RunLeavesBothFoldersEqualAndShowsWhatItDid) {
  vktest::WriteFile(pair / "eins/brief.txt", "Brief");
  vktest::WriteFile(pair / "eins/fotos/a.jpg", "Bild");
  vktest::WriteFile(pair / "zwei/liste.txt", "Liste");
  Run();
  EXPECT_TRUE(window->Finished());
  EXPECT_TRUE(window->LastResult().Clean()) << window->LastResult().failure;
  const auto first = Tree(definition.first);
  EXPECT_EQ(first.size(), 3u);
  EXPECT_EQ(first, Tree(definition.second));
  EXPECT_EQ(Count(TFSyn::kToSecond), QStringLiteral("2"));
  EXPECT_EQ(Count(TFSyn::kToFirst), QStringLiteral("1"));
  EXPECT_EQ(Count(TFSyn::kErrors), QStringLiteral("0"));
  EXPECT_EQ(end.counts, QStringLiteral("3\nkopiert"));
  EXPECT_FALSE(end.cancelEnabled);
  EXPECT_TRUE(end.closeEnabled);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Synchronisation \"Laptop\""));
  // The state and the report of the run are in the data folder.
  const std::string data = tBackups::GetDataDir();
  EXPECT_TRUE(vktest::Exists(data + "Laptop.sst"));
  EXPECT_TRUE(vktest::Exists(data + "Laptop.slg"));
  EXPECT_TRUE(ui.boxes.empty());

  // A file removed on one side goes on the other too, kept in its
  // versions; a second run then has nothing to do.
  std::filesystem::remove(pair / "zwei/liste.txt");
  Run();
  EXPECT_EQ(Tree(definition.first), Tree(definition.second));
  EXPECT_EQ(Count(TFSyn::kRemovedFirst), QStringLiteral("1"));
  EXPECT_EQ(Tree(pair / "eins/.VolKarn-Versionen").size(), 1u);
  Run();
  for (int row = 0; row < TFSyn::kRows; ++row) EXPECT_EQ(Count(row), QStringLiteral("0"));
}

// A side emptied since the last run (a stick unplugged, its mount point
// left) stops the run before anything is changed; the window ends with
// "Schließen".
TEST_F(SyncWindowTest, EmptiedSideStopsTheRunBeforeAnyChange) {
  vktest::WriteFile(pair / "eins/brief.txt", "Brief");
  std::filesystem::create_directories(pair / "zwei");
  Run();
  ASSERT_EQ(Tree(definition.second).size(), 1u);
  std::filesystem::remove(pair / "zwei/brief.txt");
  const auto before = Tree(definition.first);
  Run();
  EXPECT_TRUE(window->LastResult().refused);
  EXPECT_EQ(Tree(definition.first), before);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(ui.boxes[0].beep);
  EXPECT_EQ(end.counts, QStringLiteral("Nichts\ngeändert"));
  EXPECT_EQ(Count(TFSyn::kToFirst), QString());
  EXPECT_FALSE(end.cancelEnabled);
  EXPECT_TRUE(end.closeEnabled);
  EXPECT_FALSE(window->isVisible());
}

// "Abbrechen" stops the run: the state stays as it was (none before the
// first run), the box tells it; the next run does the rest.
TEST_F(SyncWindowTest, CancelledRunIsFinishedByTheNext) {
  for (int i = 0; i < 400; ++i)
    vktest::WriteFile(pair / ("eins/d" + std::to_string(i % 20) + "/f" + std::to_string(i)),
                      std::string(1000, 'x'));
  std::filesystem::create_directories(pair / "zwei");
  Run(true);
  ASSERT_TRUE(window->LastResult().cancelled);
  EXPECT_FALSE(vktest::Exists(tBackups::GetDataDir() + "Laptop.sst"));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("Die Synchronisation wurde abgebrochen."), std::string::npos);
  EXPECT_FALSE(ui.boxes[0].beep);
  EXPECT_LT(Tree(definition.second).size(), 400u);
  Run();
  EXPECT_TRUE(window->LastResult().Clean());
  EXPECT_EQ(Tree(definition.second).size(), 400u);
  EXPECT_EQ(Tree(definition.first), Tree(definition.second));
}

}  // namespace
