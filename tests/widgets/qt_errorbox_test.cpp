#include "widgets/qt_errorbox.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "support/core_support.h"

namespace {

QStringList ButtonTexts(const QMessageBox& box) {
  QStringList texts;
  for (QAbstractButton* b : box.buttons()) texts << b->text();
  return texts;
}

TEST(QtBoxes, InfoBox) {
  auto box = MakeMessageBox(BoxKind::Info, "\r\rDatei\rkonnte nicht <b>geöffnet</b> werden!");
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Information"));
  EXPECT_EQ(box->icon(), QMessageBox::Information);
  EXPECT_EQ(box->text(), QStringLiteral("\n\nDatei\nkonnte nicht <b>geöffnet</b> werden!"));
  EXPECT_EQ(box->textFormat(), Qt::PlainText);
  EXPECT_EQ(ButtonTexts(*box), QStringList{QStringLiteral("OK")});
  EXPECT_EQ(box->defaultButton(), box->buttons().value(0));
  EXPECT_EQ(box->escapeButton(), box->buttons().value(0));
  EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
}

TEST(QtBoxes, NoteBox) {
  auto box = MakeMessageBox(BoxKind::Note, "Hier geht noch nix.");
  EXPECT_EQ(box->windowTitle(), QStringLiteral("VolKarn"));
  EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
  EXPECT_EQ(ButtonTexts(*box), QStringList{QStringLiteral("OK")});
  EXPECT_EQ(box->escapeButton(), box->buttons().value(0));
}

TEST(QtBoxes, QuestionBox) {
  auto box = MakeMessageBox(BoxKind::Question, "Wirklich löschen?");
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Bestätigung"));
  EXPECT_EQ(box->icon(), QMessageBox::Question);
  QPushButton* yes = nullptr;
  QPushButton* no = nullptr;
  for (QAbstractButton* b : box->buttons()) {
    if (b->text() == QStringLiteral("&Ja")) yes = qobject_cast<QPushButton*>(b);
    if (b->text() == QStringLiteral("&Nein")) no = qobject_cast<QPushButton*>(b);
  }
  ASSERT_NE(yes, nullptr);
  ASSERT_NE(no, nullptr);
  EXPECT_EQ(box->buttons().size(), 2);
  EXPECT_EQ(box->defaultButton(), yes);
  EXPECT_EQ(box->escapeButton(), no);
}

// Runs `action` on the modal window as soon as it is open.
void OnModal(std::function<void(QWidget*)> action, int tries = 200) {
  QTimer::singleShot(tries == 200 ? 0 : 10, qApp, [action, tries] {
    if (QWidget* w = QApplication::activeModalWidget())
      action(w);
    else if (tries > 0)
      OnModal(action, tries - 1);
  });
}

TEST(QtBoxes, AskYesNoAnswers) {
  QtUserInterface ui;
  OnModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  EXPECT_FALSE(ui.YesNo("Frage?"));
  OnModal([](QWidget* w) { w->close(); });
  EXPECT_FALSE(ui.YesNo("Frage?"));
  OnModal([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* b : box->buttons())
      if (b->text() == QStringLiteral("&Ja")) b->click();
  });
  EXPECT_TRUE(ui.YesNo("Frage?"));
  OnModal([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* b : box->buttons())
      if (b->text() == QStringLiteral("&Nein")) b->click();
  });
  EXPECT_FALSE(ui.YesNo("Frage?"));

  OnModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  ui.Info("\r\rInfo", true);
  OnModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  ui.Note("\r\rNotiz");
}

// The questions of steps that are hard to undo: Return must not say "Ja".
TEST(QtBoxes, QuestionsThatDefaultToNoAndAnswersForAll) {
  QtUserInterface ui;
  OnModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
  EXPECT_FALSE(ui.YesNoDefaultNo("Wirklich entfernen?"));
  OnModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
  EXPECT_EQ(UserInterface::AllAnswer::No, ui.YesNoAll("Ersetzen?"));
  struct Case {
    QString button;
    UserInterface::AllAnswer answer;
  } cases[] = {{QStringLiteral("&Ja"), UserInterface::AllAnswer::Yes},
               {QStringLiteral("&Nein"), UserInterface::AllAnswer::No},
               {QStringLiteral("Ja, &alle"), UserInterface::AllAnswer::YesAll},
               {QStringLiteral("Nein, a&lle"), UserInterface::AllAnswer::NoAll}};
  for (const Case& c : cases) {
    OnModal([&c](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(4, box->buttons().size());
      for (QAbstractButton* b : box->buttons())
        if (b->text() == c.button) b->click();
    });
    EXPECT_EQ(c.answer, ui.YesNoAll("Ersetzen?")) << c.button.toStdString();
  }
  OnModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  EXPECT_EQ(UserInterface::AllAnswer::No, ui.YesNoAll("Ersetzen?"));
}

TEST(QtDirectoryChooser, BuildsAChooserForDirectoriesOnly) {
  vktest::TempDir dir;
  std::string start = dir / "Ziel";
  vktest::WriteFile(start + "/x.txt", "x");
  QFileDialog* chooser = nullptr;
  auto dialog =
      MakeDirectoryDialog("Bitte das gewünschte Laufwerk für die Räume auswählen", start, &chooser);
  ASSERT_NE(chooser, nullptr);
  auto* label = dialog->findChild<QLabel*>(QStringLiteral("prompt"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QStringLiteral("Bitte das gewünschte Laufwerk für die Räume auswählen"));
  EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
  EXPECT_TRUE(chooser->testOption(QFileDialog::ShowDirsOnly));
  EXPECT_EQ(chooser->directory().absolutePath(), QString::fromStdString(dir.path()).chopped(1));
  EXPECT_EQ(chooser->selectedFiles().value(0), QString::fromStdString(start));
  EXPECT_EQ(dialog->windowModality(), Qt::ApplicationModal);

  QFileDialog* atTop = nullptr;
  auto top = MakeDirectoryDialog("x", "", &atTop);
  EXPECT_EQ(atTop->directory().absolutePath(), QStringLiteral("/"));
}

TEST(QtDirectoryChooser, ResultTexts) {
  EXPECT_EQ(ChosenDirectoryText(QStringLiteral("/")), "/");
  EXPECT_EQ(ChosenDirectoryText(QStringLiteral("/media/usb/")), "/media/usb");
  EXPECT_EQ(ChosenDirectoryText(QStringLiteral("/home/Büro")), "/home/Büro");
  EXPECT_EQ(ChosenDirectoryText(QString()), "");
}

TEST(QtDirectoryChooser, ConfirmAndCancel) {
  vktest::TempDir dir;
  std::string start = dir / "Quelle";
  vktest::WriteFile(start + "/x.txt", "x");
  QtUserInterface ui;

  OnModal([](QWidget* w) {
    auto* chooser = w->findChild<QFileDialog*>();
    ASSERT_NE(chooser, nullptr);
    static_cast<QDialog*>(chooser)->accept();  // the chooser's own "Choose"
  });
  std::string chosen = start;
  EXPECT_TRUE(ui.ChooseDirectory("Wählen Sie ein Verzeichnis.", chosen));
  EXPECT_EQ(chosen, start);

  OnModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  chosen = dir / "fehlt";
  EXPECT_FALSE(ui.ChooseDirectory("Wählen Sie ein Verzeichnis.", chosen));
  EXPECT_EQ(chosen, "");  // a missing start is forgotten
}

// The texts of the file list of a Qt file dialog, row by row, once the
// folder has been read.
std::vector<QStringList> FileRows(QFileDialog* dialog) {
  auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
  if (view == nullptr) return {};
  QAbstractItemModel* model = view->model();
  for (int wait = 0; wait < 200 && model->rowCount(view->rootIndex()) == 0; ++wait)
    QTest::qWait(10);
  std::vector<QStringList> rows;
  for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
    QStringList cells;
    for (int column = 0; column < model->columnCount(view->rootIndex()); ++column)
      cells << model->index(row, column, view->rootIndex()).data().toString();
    rows.push_back(cells);
  }
  return rows;
}

TEST(QtFileDialogs, WriteSizesAndDatesInGermanWhateverTheSystemLocale) {
  // The test program runs with the system's locale as it finds it ("C" on
  // a bare machine); the program's own locale is German.
  ASSERT_EQ(QLocale().language(), QLocale::German);
  vktest::TempDir dir;
  vktest::WriteFile(dir / "Ordner/zwei.txt", "xy");
  const QDateTime changed(QDate(2003, 2, 22), QTime(14, 5));
  {
    QFile file(QString::fromStdString(dir / "Ordner/zwei.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(changed, QFileDevice::FileModificationTime));
  }
  QDir(QString::fromStdString(dir.path())).mkdir(QStringLiteral("Ordner/innen"));
  // A folder's date as German dates are written: 22.02.03 14:05.
  const QRegularExpression germanDate(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d$"));

  // The file dialog of the excluded files.
  std::vector<QStringList> files;
  OnModal([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    files = FileRows(dialog);
    dialog->reject();
  });
  QtUserInterface ui;
  ui.ChooseFiles(dir / "Ordner");
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].value(0), QStringLiteral("innen"));
  EXPECT_TRUE(germanDate.match(files[0].value(3)).hasMatch()) << files[0].value(3).toStdString();
  EXPECT_EQ(files[1].value(0), QStringLiteral("zwei.txt"));
  EXPECT_EQ(files[1].value(1).toStdString(), "2 Bytes");
  EXPECT_EQ(files[1].value(3).toStdString(), "22.02.03 14:05");

  // The folder chooser.
  QFileDialog* chooser = nullptr;
  auto folderDialog = MakeDirectoryDialog("x", dir / "Ordner/innen", &chooser);
  folderDialog->show();
  const std::vector<QStringList> folders = FileRows(chooser);
  folderDialog->hide();
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_TRUE(germanDate.match(folders[0].value(3)).hasMatch())
      << folders[0].value(3).toStdString();
}

}  // namespace
