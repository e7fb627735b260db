// The window for a new synchronisation definition: taking a pair over and
// the checks when it closes.
#include "dialogs/neusynform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "core/catalogue/daten.h"
#include "support/core_support.h"
#include "support/qt_gui_support.h"

namespace {

const char kNoName[] = "Es wurde kein Name für die Synchronisation eingegeben!";
const char kNoPair[] = "Es wurde kein Verzeichnispaar eingegeben!";
const char kTwoDirs[] = "Sie müssen zwei Verzeichnisse angeben.";
const char kMissing[] =
    "Mindestens eines der eingegebenen Verzeichnisse existiert nicht bzw. kann im Moment nicht "
    "gefunden werden. Trotzdem weitermachen?";

std::string Cell(const TFSynNeu* s, int row, int col) {
  return s->SG1->item(row, col)->text().toStdString();
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class SynNeuTest : public ::testing::Test {
 protected:
  vktest::TempDir home;
  vktest::TempDir dirs;
  vktest::ScriptedUi ui;
  vktest::AppWindows windows{home.path()};
  TFSynNeu* s = windows.fsynneu();

  void SetUp() override {
    vktest::WriteFile(dirs / "eins/x", "x");
    vktest::WriteFile(dirs / "zwei/y", "y");
  }
  std::string Dir(const std::string& name) const { return dirs.path() + name; }
  // Opens the window modally, runs `inside` and returns the result.
  int Open(std::function<void()> inside) {
    vktest::WhenModal(std::move(inside));
    return s->exec();
  }
};

// No caption is cut off.
TEST_F(SynNeuTest, CaptionsFit) {
  for (QPushButton* b : s->findChildren<QPushButton*>()) {
    if (b->text().isEmpty()) {
      EXPECT_LE(b->iconSize().width() + 6, b->width());
    } else {
      EXPECT_LE(b->sizeHint().width(), b->width()) << b->text().toStdString();
    }
  }
  for (QLabel* l : s->findChildren<QLabel*>()) {
    if (l->wordWrap()) {
      EXPECT_LE(l->heightForWidth(l->width()), l->height()) << l->text().toStdString();
    }
    EXPECT_LE(l->geometry().right(), l->parentWidget()->width() - 1) << l->text().toStdString();
  }
}

TEST_F(SynNeuTest, OkWithNothingEnteredShowsOnlyTheNameMessage) {
  s->show();
  s->OKBtnClick();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(Contains(ui.boxes[0].text, kNoName));
  EXPECT_TRUE(ui.boxes[0].beep);
  EXPECT_TRUE(s->isVisible());
  // A name of blanks is no name.
  s->SName->setText(QStringLiteral("   "));
  s->OKBtnClick();
  EXPECT_TRUE(Contains(ui.boxes.back().text, kNoName));
  EXPECT_TRUE(s->isVisible());
}

TEST_F(SynNeuTest, OkNeedsAPairThenCloses) {
  s->SName->setText(QStringLiteral("Laptop"));
  s->Edit1->setText(QString::fromStdString(Dir("eins")));
  s->Edit2->setText(QString::fromStdString(Dir("zwei")));
  int result = Open([&] {
    s->OKBtnClick();
    EXPECT_TRUE(s->isVisible());
    s->BitBtn4Click();
    s->OKBtnClick();
  });
  EXPECT_EQ(result, TFSynNeu::kResultOk);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(Contains(ui.boxes[0].text, kNoPair));
  EXPECT_FALSE(s->isVisible());
}

TEST_F(SynNeuTest, TakingThePairOver) {
  // Empty fields, also fields of blanks, are refused.
  s->BitBtn4Click();
  s->Edit1->setText(QString::fromStdString(Dir("eins")));
  s->Edit2->setText(QStringLiteral("  "));
  s->BitBtn4Click();
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_TRUE(Contains(ui.boxes[0].text, kTwoDirs));
  EXPECT_TRUE(Contains(ui.boxes[1].text, kTwoDirs));
  EXPECT_TRUE(ui.boxes[1].beep);
  EXPECT_EQ(s->PairMarker, 0);
  EXPECT_EQ(Cell(s, 0, 0), "");

  // Two existing folders: taken over without a question.
  s->Edit2->setText(QString::fromStdString(Dir("zwei")));
  s->BitBtn4Click();
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(Cell(s, 0, 0), Dir("eins"));
  EXPECT_EQ(Cell(s, 0, 1), Dir("zwei"));
  EXPECT_NE(s->PairMarker, 0);

  // A second pair replaces the first; the other rows stay empty.
  s->Edit1->setText(QString::fromStdString(Dir("zwei")));
  s->Edit2->setText(QString::fromStdString(Dir("eins")));
  s->BitBtn4Click();
  EXPECT_EQ(Cell(s, 0, 0), Dir("zwei"));
  EXPECT_EQ(Cell(s, 0, 1), Dir("eins"));
  for (int row = 1; row < 4; ++row) {
    EXPECT_EQ(Cell(s, row, 0), "");
    EXPECT_EQ(Cell(s, row, 1), "");
  }
  // The fields keep their texts.
  EXPECT_EQ(s->Edit1->text().toStdString(), Dir("zwei"));
}

TEST_F(SynNeuTest, MissingFoldersNeedAYes) {
  const std::string blanks = "  " + Dir("eins") + " ";
  s->Edit1->setText(QString::fromStdString(blanks));
  s->Edit2->setText(QString::fromStdString(Dir("fehlt")));
  s->BitBtn4Click();  // no answer: "Nein"
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, "ask");
  EXPECT_TRUE(Contains(ui.boxes[0].text, kMissing));
  EXPECT_EQ(s->PairMarker, 0);
  EXPECT_EQ(Cell(s, 0, 0), "");
  ui.answers.push_back(true);
  s->BitBtn4Click();
  // The texts go into the grid as they stand, blanks and all.
  EXPECT_EQ(Cell(s, 0, 0), blanks);
  EXPECT_EQ(Cell(s, 0, 1), Dir("fehlt"));
  EXPECT_NE(s->PairMarker, 0);
  // Blanks around an existing folder make it one that cannot be found.
  s->Edit2->setText(QString::fromStdString(Dir("zwei")));
  s->BitBtn4Click();
  EXPECT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(Cell(s, 0, 1), Dir("fehlt"));
}

TEST_F(SynNeuTest, DeletingThePairClearsGridAndMarker) {
  s->SName->setText(QStringLiteral("Laptop"));
  s->Edit1->setText(QString::fromStdString(Dir("eins")));
  s->Edit2->setText(QString::fromStdString(Dir("zwei")));
  s->BitBtn4Click();
  ASSERT_NE(s->PairMarker, 0);
  QTest::mouseClick(s->BitBtn1, Qt::LeftButton);
  EXPECT_EQ(s->PairMarker, 0);
  EXPECT_EQ(Cell(s, 0, 0), "");
  EXPECT_EQ(Cell(s, 0, 1), "");
  s->show();
  s->OKBtnClick();
  EXPECT_TRUE(s->isVisible());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(Contains(ui.boxes[0].text, kNoPair));
}

TEST_F(SynNeuTest, CancelEscapeAndCloseBoxCloseAtOnce) {
  s->SName->setText(QStringLiteral("halb"));
  EXPECT_EQ(Open([&] { QTest::mouseClick(s->CancelBtn, Qt::LeftButton); }),
            TFSynNeu::kResultCancel);
  EXPECT_EQ(Open([&] { QTest::keyClick(s, Qt::Key_Escape); }), TFSynNeu::kResultCancel);
  EXPECT_EQ(Open([&] { s->close(); }), TFSynNeu::kResultCancel);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(s->isVisible());
}

TEST_F(SynNeuTest, ReopeningShowsTheEntriesAndEnterMeansOk) {
  s->SName->setText(QStringLiteral("Laptop"));
  s->Edit1->setText(QString::fromStdString(Dir("eins")));
  s->Edit2->setText(QString::fromStdString(Dir("zwei")));
  s->BitBtn4Click();
  EXPECT_EQ(Open([&] { s->CancelBtnClick(); }), TFSynNeu::kResultCancel);
  std::string name, first;
  int result = Open([&] {
    name = s->SName->text().toStdString();
    first = Cell(s, 0, 0);
    QTest::keyClick(s->SName, Qt::Key_Return);
  });
  EXPECT_EQ(name, "Laptop");
  EXPECT_EQ(first, Dir("eins"));
  EXPECT_EQ(result, TFSynNeu::kResultOk);
}

TEST_F(SynNeuTest, PictureButtonsChooseTheFolders) {
  ui.directories.push_back(Dir("eins"));
  ui.directories.push_back("");  // cancelled
  QTest::mouseClick(s->BitBtn2, Qt::LeftButton);
  QTest::mouseClick(s->BitBtn3, Qt::LeftButton);
  ASSERT_EQ(ui.prompts.size(), 2u);
  EXPECT_EQ(ui.prompts[0], "Wählen Sie das erste zu synchronisierende Verzeichnis.");
  EXPECT_EQ(ui.prompts[1], "Wählen Sie das zweite zu synchronisierende Verzeichnis.");
  EXPECT_EQ(s->Edit1->text().toStdString(), Dir("eins"));
  EXPECT_EQ(s->Edit2->text().toStdString(), "");
}

// ---- stored definitions ----

std::vector<SyncDefinition> Stored() {
  SyncDefinitions definitions;
  definitions.Load(TFSynNeu::ListPath());
  return definitions.All();
}

TEST_F(SynNeuTest, OkStoresTheDefinitionAndRefusesANameUsedTwice) {
  auto enter = [&](const char* name) {
    s->OpenNew();
    EXPECT_TRUE(s->SName->text().isEmpty());
    EXPECT_EQ(s->PairMarker, 0);
    EXPECT_EQ(s->windowTitle(), QStringLiteral("Neue Synchronisation "));
    s->SName->setText(QString::fromUtf8(name));
    s->Edit1->setText(QString::fromStdString(Dir("eins")));
    s->Edit2->setText(QString::fromStdString(Dir("zwei")));
    s->BitBtn4Click();
  };
  enter("Laptop");
  EXPECT_EQ(Open([&] { s->OKBtnClick(); }), TFSynNeu::kResultOk);
  ASSERT_EQ(Stored().size(), 1u);
  EXPECT_EQ(Stored()[0].name, "Laptop");
  EXPECT_EQ(Stored()[0].first, Dir("eins"));
  EXPECT_EQ(Stored()[0].second, Dir("zwei"));
  EXPECT_EQ(s->StoredName(), "Laptop");
  EXPECT_TRUE(ui.boxes.empty());
  // The same name in other letters is refused; the window stays open.
  const std::string before = vktest::ReadFile(TFSynNeu::ListPath());
  enter(" laptop ");
  bool stayed = false;
  EXPECT_EQ(Open([&] {
              s->OKBtnClick();
              stayed = s->isVisible();
              s->CancelBtnClick();
            }),
            TFSynNeu::kResultCancel);
  EXPECT_TRUE(stayed);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(Contains(ui.boxes[0].text, "gibt es schon"));
  EXPECT_TRUE(ui.boxes[0].beep);
  // Names that cannot be file names are refused too.
  enter("a/b");
  s->show();
  s->OKBtnClick();
  EXPECT_TRUE(s->isVisible());
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(vktest::ReadFile(TFSynNeu::ListPath()), before);
}

// Editing replaces the definition. What the last run knew stays with it
// under a new name while the pair is the same, and goes when the pair
// changes (the next run is then a first run, which removes nothing).
TEST_F(SynNeuTest, EditingCarriesOrDropsWhatTheLastRunKnew) {
  struct Case {
    const char* name;
    bool newPair;
    bool stateKept;  // under the new name
  };
  const Case cases[] = {{"Büro", false, true}, {"Laptop", true, false}, {"Stick", true, false}};
  const std::string data = tBackups::GetDataDir();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(TFSynNeu::ListPath());
    SyncDefinitions list;
    ASSERT_TRUE(list.Add({"Laptop", Dir("eins"), Dir("zwei")}));
    ASSERT_EQ(list.Save(TFSynNeu::ListPath()), 0);
    vktest::WriteFile(data + "Laptop.sst", "state");
    vktest::WriteFile(data + "Laptop.slg", "report");
    s->OpenEdit(list.All()[0]);
    EXPECT_EQ(s->SName->text(), QStringLiteral("Laptop"));
    EXPECT_EQ(Cell(s, 0, 1), Dir("zwei"));
    EXPECT_NE(s->PairMarker, 0);
    s->SName->setText(QString::fromUtf8(c.name));
    if (c.newPair) {
      s->Edit2->setText(QString::fromStdString(Dir("drei")));
      ui.answers.push_back(true);  // "drei" does not exist
      s->BitBtn4Click();
    }
    EXPECT_EQ(Open([&] { s->OKBtnClick(); }), TFSynNeu::kResultOk);
    ASSERT_EQ(Stored().size(), 1u);
    EXPECT_EQ(Stored()[0].name, c.name);
    EXPECT_EQ(Stored()[0].second, Dir(c.newPair ? "drei" : "zwei"));
    EXPECT_EQ(vktest::Exists(data + c.name + ".sst"), c.stateKept);
    EXPECT_EQ(vktest::ReadFile(data + c.name + ".slg"), "report");
    if (std::string(c.name) != "Laptop") {
      EXPECT_FALSE(vktest::Exists(data + "Laptop.sst"));
      EXPECT_FALSE(vktest::Exists(data + "Laptop.slg"));
    }
    std::filesystem::remove(data + std::string(c.name) + ".slg");
  }
}

TEST_F(SynNeuTest, AnUnreadableListIsToldAndNotWritten) {
  // A list that cannot be read: here a folder in its place.
  std::filesystem::create_directories(TFSynNeu::ListPath());
  s->OpenNew();
  s->SName->setText(QStringLiteral("Laptop"));
  s->Edit1->setText(QString::fromStdString(Dir("eins")));
  s->Edit2->setText(QString::fromStdString(Dir("zwei")));
  s->BitBtn4Click();
  s->show();
  s->OKBtnClick();
  EXPECT_TRUE(s->isVisible());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(Contains(ui.boxes[0].text, "konnte nicht gelesen werden"));
  EXPECT_TRUE(std::filesystem::is_directory(TFSynNeu::ListPath()));
  EXPECT_FALSE(TFSynNeu::DeleteDefinition("Laptop"));
  EXPECT_TRUE(std::filesystem::is_empty(TFSynNeu::ListPath()));
}

}  // namespace
