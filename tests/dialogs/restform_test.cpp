// The completion window: its rows, the ticks and their sum, the copy run
// with its question, failures, cancel and the automatic mode, and the file
// list of the selected row.
#include "dialogs/restform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <cerrno>

#include "base/errorbox.h"
#include "dialogs/neuform.h"
#include "platform/platform.h"
#include "support/core_support.h"
#include "support/qt_gui_support.h"
#include "support/verify_support.h"
#include "widgets/qt_look.h"

namespace {

class RestFormTest : public ::testing::Test {
 protected:
  RestFormTest() : app(home.path()) {}
  ~RestFormTest() override {
    platform::SetFaultHook(nullptr);
    platform::SetLaunchHook(nullptr);
  }
  TFRest* frest() const { return app.frest(); }
  std::string S(const std::string& rel = "") const { return tree / ("src/" + rel); }
  std::string T(const std::string& rel = "") const { return tree / ("tgt/" + rel); }
  QString Text(int row, int column) const {
    QTableWidgetItem* item = frest()->LV1->item(row, column);
    return item ? item->text() : QString();
  }
  // Opens the window with the report, runs `inside` while it is shown and
  // closes it afterwards.
  void Open(const CheckReport& report, std::function<void()> inside, bool autoMode = false) {
    frest()->AutoMode = autoMode;
    vktest::WhenReady([this] { return frest()->isVisible(); },
                      [this, inside] {
                        inside();
                        frest()->close();
                      },
                      [this] { frest()->close(); });
    frest()->OpenCompletion(report, ExclusionRule(".BAK\r\n", ""));
  }
  // Three folders a/, b/, c/ below src with two missing files each.
  std::vector<MissingEntry> ThreeRows() {
    std::vector<MissingEntry> rows;
    for (const char* sub : {"a/", "b/", "c/"}) {
      vktest::WriteFile(S(sub) + "1.txt", "1");
      vktest::WriteFile(S(sub) + "2.txt", "2");
      rows.push_back({2, S(), sub, T()});
    }
    return rows;
  }

  vktest::TempDir home;
  vktest::TempDir tree;
  vktest::ScriptedUi ui;
  vktest::AppWindows app;
};

TEST_F(RestFormTest, AnEmptyReportGivesAnEmptyListAndKeepsTheFolder) {
  vktest::WriteFile(S("x.txt"), "x");
  frest()->ShowFolder(S());
  const QString before = frest()->FolderShown();
  Open(vktest::MakeReport({}, "Der Zählvorgang wurde abgebrochen. Die Angaben sind unvollständig."),
       [&] {
         EXPECT_EQ(frest()->LV1->rowCount(), 0);
         EXPECT_FALSE(frest()->BitBtn2->isEnabled());
         EXPECT_EQ(frest()->Label2->text(), QStringLiteral("0"));
         EXPECT_FALSE(frest()->Button1->isVisible());
         EXPECT_EQ(frest()->FolderShown(), before);
         EXPECT_EQ(frest()->StatusBar1->currentMessage(), before);
         EXPECT_EQ(
             frest()->Memo1->toPlainText(),
             QStringLiteral("Dateizählung \"Texte\" am 07.12.2026 um 23:45 Uhr.\n"
                            "Der Zählvorgang wurde abgebrochen. Die Angaben sind unvollständig. "));
       });
  EXPECT_EQ(before, QString::fromStdString(tree / "src"));
}

TEST_F(RestFormTest, RowsTicksAndTheHeaderToggle) {
  std::vector<MissingEntry> rows = ThreeRows();
  rows[1].count = 5;
  Open(vktest::MakeReport(rows), [&] {
    TFRest* w = frest();
    ASSERT_EQ(w->LV1->rowCount(), 3);
    EXPECT_EQ(w->LV1->horizontalHeaderItem(0)->text(), QStringLiteral("X"));
    EXPECT_EQ(w->LV1->horizontalHeaderItem(1)->text(), QStringLiteral("Anzahl"));
    EXPECT_EQ(w->LV1->horizontalHeaderItem(2)->text(), QStringLiteral("Quelle"));
    EXPECT_EQ(w->LV1->horizontalHeaderItem(3)->text(), QStringLiteral("Unterverzeichnis"));
    EXPECT_EQ(w->LV1->horizontalHeaderItem(4)->text(), QStringLiteral("Ziel"));
    EXPECT_EQ(w->LV1->columnWidth(0), 20);
    EXPECT_EQ(w->LV1->columnWidth(1), 45);
    EXPECT_EQ(w->LV1->columnWidth(4), 200);
    EXPECT_TRUE(w->LV1->item(0, 1)->textAlignment() & Qt::AlignRight);
    EXPECT_EQ(Text(1, 1), QStringLiteral("5"));
    EXPECT_EQ(Text(1, 2), QString::fromStdString(S()));
    EXPECT_EQ(Text(1, 3), QStringLiteral("b/"));
    EXPECT_EQ(Text(1, 4), QString::fromStdString(T()));
    EXPECT_EQ(w->FolderShown(), QString::fromStdString(S("a")));
    EXPECT_EQ(w->StatusBar1->currentMessage(), QString::fromStdString(S("a")));

    // Ticking recomputes the sum and enables "Ergänzen".
    w->SetTicked(1, true);
    EXPECT_EQ(w->Label2->text(), QStringLiteral("5"));
    EXPECT_TRUE(w->BitBtn2->isEnabled());
    // The "X" header clears every tick when one is set, then ticks all; it
    // selects nothing.
    w->LV1->clearSelection();
    QHeaderView* header = w->LV1->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionPosition(0) + 5, header->height() / 2));
    EXPECT_TRUE(w->LV1->selectionModel()->selectedRows().isEmpty());
    EXPECT_FALSE(w->IsTicked(0) || w->IsTicked(1) || w->IsTicked(2));
    EXPECT_EQ(w->Label2->text(), QStringLiteral("0"));
    EXPECT_FALSE(w->BitBtn2->isEnabled());
    emit w->LV1->horizontalHeader()->sectionClicked(0);
    EXPECT_TRUE(w->IsTicked(0) && w->IsTicked(1) && w->IsTicked(2));
    EXPECT_EQ(w->Label2->text(), QStringLiteral("9"));
    // Other headers do nothing.
    emit w->LV1->horizontalHeader()->sectionClicked(2);
    EXPECT_TRUE(w->IsTicked(0) && w->IsTicked(1) && w->IsTicked(2));

    // Selecting a row shows its folder.
    w->LV1->selectRow(2);
    EXPECT_EQ(w->FolderShown(), QString::fromStdString(S("c")));
    EXPECT_EQ(w->StatusBar1->currentMessage(), QString::fromStdString(S("c")));
    vktest::SpinUntil([&] { return w->FLB1Model->rowCount(w->FLB1->rootIndex()) == 2; });
    vktest::SaveScreenshot(w, "completion-window.png");
  });
}

TEST_F(RestFormTest, ErgaenzenAsksAndCopiesTheTickedRowsOnly) {
  std::vector<MissingEntry> rows = ThreeRows();
  vktest::WriteFile(S("root.txt"), "r");
  vktest::WriteFile(S("root.bak"), "r");
  rows.insert(rows.begin(), MissingEntry{1, S(), "", T()});  // the source folder itself
  Open(vktest::MakeReport(rows), [&] {
    TFRest* w = frest();
    w->SetTicked(0, true);
    w->SetTicked(2, true);
    // "Nein": nothing happens.
    ui.answers = {false};
    w->BitBtn2->click();
    EXPECT_EQ(w->LV1->rowCount(), 4);
    EXPECT_FALSE(vktest::Exists(T("root.txt")));
    // "Ja": the ticked rows are copied and removed.
    ui.answers = {true};
    w->BitBtn2->click();
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].kind, "ask");
    EXPECT_EQ(ui.boxes[1].text, "3 Dateien kopieren?");
    ASSERT_EQ(w->LV1->rowCount(), 2);
    EXPECT_EQ(Text(0, 3), QStringLiteral("a/"));
    EXPECT_EQ(Text(1, 3), QStringLiteral("c/"));
    EXPECT_EQ(Text(0, 1), QStringLiteral("2"));
    EXPECT_FALSE(w->IsTicked(0));
    EXPECT_EQ(w->Label2->text(), QStringLiteral("3")) << "the sum is not recomputed after a run";
    EXPECT_FALSE(w->BitBtn2->isEnabled());
    EXPECT_FALSE(w->Button1->isVisible());
    EXPECT_FALSE(w->Busy);
  });
  EXPECT_EQ(vktest::ReadFile(T("root.txt")), "r");
  EXPECT_FALSE(vktest::Exists(T("root.bak")));
  EXPECT_FALSE(vktest::Exists(T("a/1.txt")));
  EXPECT_EQ(vktest::ReadFile(T("b/2.txt")), "2");
  EXPECT_EQ(ui.boxes.size(), 2u) << "no message after a good run";
}

TEST_F(RestFormTest, AFailedCopyStopsTheRunAndShowsTheErrorText) {
  Open(vktest::MakeReport(ThreeRows()), [&] {
    TFRest* w = frest();
    emit w->LV1->horizontalHeader()->sectionClicked(0);
    platform::SetFaultHook([&](const std::string& op, const std::string& path) {
      return op == "copy-open-source" && path == S("b/2.txt") ? EACCES : 0;
    });
    ui.answers = {true};
    w->BitBtn2Click();
    ASSERT_EQ(w->LV1->rowCount(), 1);
    EXPECT_EQ(Text(0, 3), QStringLiteral("c/"));
    EXPECT_TRUE(w->IsTicked(0)) << "later rows keep their ticks";
    EXPECT_EQ(w->CopyStatus(), platform::kErrAccessDenied);
  });
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].kind, "note");
  EXPECT_NE(ui.boxes[1].text.find("Auf die Datei " + T("b/")), std::string::npos);
  EXPECT_NE(ui.boxes[1].text.find("ist kein Zugriff möglich."), std::string::npos);
  EXPECT_TRUE(vktest::Exists(T("a/2.txt")));
  EXPECT_FALSE(vktest::Exists(T("c/1.txt")));
}

TEST_F(RestFormTest, TheAutomaticModeAsksNothingAndRunsOncePerOpening) {
  std::vector<MissingEntry> rows = ThreeRows();
  int attempts = 0;
  platform::SetFaultHook([&](const std::string& op, const std::string& path) {
    if (op != "copy-open-source" || path.find("/b/") == std::string::npos) return 0;
    ++attempts;
    return EACCES;
  });
  frest()->AutoMode = true;
  vktest::WhenReady(
      [&] { return frest()->isVisible() && !frest()->Busy && frest()->LV1->rowCount() == 1; },
      [&] {
        TFRest* w = frest();
        EXPECT_EQ(w->Label2->text(), QStringLiteral("6"));
        EXPECT_FALSE(w->Button1->isVisible());
        EXPECT_TRUE(w->isActiveWindow());
        // Becoming active again (as after the error box) starts no second run,
        // which would fail again and show the box again without end.
        QEvent activation(QEvent::ActivationChange);
        QApplication::sendEvent(w, &activation);
        for (int i = 0; i < 20; ++i) QApplication::processEvents();
        EXPECT_EQ(w->LV1->rowCount(), 1);
        w->close();
      },
      [&] { frest()->close(); });
  frest()->OpenCompletion(vktest::MakeReport(rows), ExclusionRule());
  EXPECT_EQ(attempts, 1);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, "note") << "the error, and no question";
  EXPECT_TRUE(vktest::Exists(T("a/2.txt")));
  EXPECT_FALSE(vktest::Exists(T("c/1.txt")));
}

TEST_F(RestFormTest, ClosingWhileCopyingCancelsFirst) {
  std::vector<MissingEntry> rows;
  for (int d = 0; d < 3; ++d) {
    const std::string sub = "d" + std::to_string(d) + "/";
    for (int f = 0; f < 30; ++f) vktest::WriteFile(S(sub) + std::to_string(f), "x");
    rows.push_back({30, S(), sub, T()});
  }
  bool closed = false;
  vktest::WhenReady([&] { return frest()->Busy; },
                    [&] {
                      closed = true;
                      frest()->close();
                      EXPECT_TRUE(frest()->isVisible()) << "stays until the run has stopped";
                    });
  frest()->AutoMode = true;
  frest()->OpenCompletion(vktest::MakeReport(rows), ExclusionRule());
  EXPECT_TRUE(closed);
  EXPECT_FALSE(frest()->isVisible());
  EXPECT_EQ(frest()->CopyStatus(), kCheckCancelled);
  EXPECT_EQ(frest()->LV1->rowCount(), 2) << "the row in work goes, later rows stay";
  EXPECT_TRUE(ui.boxes.empty()) << "a cancel shows no message";
}

TEST_F(RestFormTest, FileListShowsFilesOnlyRenamesAndOpens) {
  vktest::WriteFile(S("b.txt"), "b");
  vktest::WriteFile(S("A.txt"), "a");
  vktest::WriteFile(S(".hidden"), "h");
  vktest::WriteFile(S("folder/inner.txt"), "i");
  std::vector<std::pair<std::string, std::string>> launches;
  platform::SetLaunchHook([&](const std::string& file, const std::string& parameters) {
    launches.emplace_back(file, parameters);
    return 42;
  });
  TFRest* w = frest();
  w->ShowFolder(S());
  QFileSystemModel* model = w->FLB1Model;
  QAbstractItemModel* shown = w->FLB1->model();
  ASSERT_TRUE(vktest::SpinUntil([&] { return shown->rowCount(w->FLB1->rootIndex()) == 3; }));
  QStringList names;
  for (int r = 0; r < 3; ++r) names << shown->index(r, 0, w->FLB1->rootIndex()).data().toString();
  EXPECT_EQ(names, (QStringList{".hidden", "A.txt", "b.txt"}));

  // A name edited in place renames the file.
  EXPECT_TRUE(w->FLB1->editTriggers() & QAbstractItemView::SelectedClicked);
  const QModelIndex b = w->FLB1Files->mapFromSource(model->index(S("b.txt").c_str()));
  EXPECT_TRUE(shown->setData(b, QStringLiteral("c.txt")));
  EXPECT_TRUE(vktest::Exists(S("c.txt")));
  EXPECT_FALSE(vktest::Exists(S("b.txt")));

  // A double-click opens the selected file.
  w->FLB1->setCurrentIndex(w->FLB1Files->mapFromSource(model->index(S("A.txt").c_str())));
  w->FLB1DblClick();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].first, S("A.txt"));

  // A folder that does not exist shows an empty list.
  w->ShowFolder(S("gone/"));
  EXPECT_EQ(w->FolderShown(), QString::fromStdString(S("gone")));
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  EXPECT_EQ(shown->rowCount(w->FLB1->rootIndex()), 0);
}

// The program's style over the application's for the time of a test.
class ProgramStyleInUse {
 public:
  ProgramStyleInUse()
      : had_(qobject_cast<ProgramStyle*>(QApplication::style()) != nullptr),
        before_(QApplication::style()->name()) {
    UseProgramStyle();
  }
  ~ProgramStyleInUse() {
    if (!had_) QApplication::setStyle(before_);
  }

 private:
  bool had_;
  QString before_;
};

// How many pixels of the button's picture have exactly its highlight
// colour.
int HighlightPixels(QWidget* button) {
  const QImage image = button->grab().toImage();
  const QRgb highlight = button->palette().color(QPalette::Active, QPalette::Highlight).rgb();
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      count += (image.pixel(x, y) & 0xFFFFFF) == (highlight & 0xFFFFFF);
  return count;
}

TEST_F(RestFormTest, ButtonsShowTheKeyboardFocusWithAFrameOfTheirOwn) {
  ProgramStyleInUse style;
  TFNeu* editor = app.fneu();
  TFRest* rest = frest();
  // A plain button, the default button, a picture button and a button
  // with a picture and text; the focus set by the program, not by Tab.
  const std::vector<std::pair<QWidget*, QWidget*>> buttons = {{editor, editor->CancelBtn},
                                                              {editor, editor->OKBtn},
                                                              {editor, editor->SB5},
                                                              {rest, rest->BitBtn1}};
  for (const auto& [window, button] : buttons) {
    window->show();
    QApplication::setActiveWindow(window);
    window->setFocus();
    const int without = HighlightPixels(button);
    button->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(button->hasFocus());
    const int with = HighlightPixels(button);
    EXPECT_LE(without, 2) << button->objectName().toStdString();
    // A frame two pixels wide round the button.
    EXPECT_GE(with, 2 * (button->width() + button->height())) << button->objectName().toStdString();
    window->hide();
  }

  // The current row of the completion's list shows that the list has the
  // keyboard, also where the current cell is the tick's.
  vktest::OneUntickedRow(rest);
  rest->show();
  QApplication::setActiveWindow(rest);
  rest->BitBtn1->setFocus();
  const int without = HighlightPixels(rest->LV1->viewport());
  rest->LV1->setFocus(Qt::OtherFocusReason);
  rest->LV1->selectionModel()->setCurrentIndex(rest->LV1->model()->index(0, 0),
                                               QItemSelectionModel::NoUpdate);
  const int with = HighlightPixels(rest->LV1->viewport());
  // A line above and below the row, as far as it is shown.
  EXPECT_GE(with - without, rest->LV1->viewport()->width());
  rest->hide();
  rest->LV1->setRowCount(0);
}

}  // namespace
