// The options window of a job: opened from the job editor, it shows the
// job's options file, changes it only when the job is stored, and never
// writes over a file it could not read.
#include "dialogs/optionform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "base/codepage.h"
#include "core/catalogue/daten.h"
#include "dialogs/neuform.h"
#include "mainwindow/backmain.h"
#include "support/job_fixture.h"
#include "support/qt_gui_support.h"

namespace {

// What the options window showed when it opened.
struct Shown {
  bool versions = false;
  int days = -1;
  bool mirror = false;
  bool changeable = false;
  QString title;
};

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<vktest::AppWindows>(home.path());
    form1 = app->form1();
    editor = app->fneu();
    options = editor->Optionen;
    ui.boxes.clear();
  }
  void TearDown() override { app.reset(); }

  tBackups& Backups() { return *form1->Backups(); }
  std::string OptionsPath(int job) {
    return tBackups::GetDataDir() + Backups().GetOptionsFileName(job);
  }
  int MakeJob(const std::string& name) {
    const int index =
        vktest::JobFixture::AddJob(Backups(), {name, tree.path() + "ziel", 0, 0, {tree.path()}});
    SelectedJob = index;
    form1->ShowJob();
    return index;
  }

  // Opens the editor (for the shown job, or a new one), opens the options
  // window with the editor's button, lets `inOptions` act there and then
  // `inEditor` close the editor. A window left open fails the test.
  Shown DriveEditor(bool newJob, const std::function<void()>& inOptions,
                    const std::function<void()>& inEditor) {
    Shown shown;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [this] {
      ADD_FAILURE() << "a modal window was left open";
      if (options->isVisible()) options->done(TFOptionen::kResultCancel);
      if (editor->isVisible()) editor->done(TFNeu::kResultCancel);
    });
    watchdog.start(15000);
    vktest::WhenModal([&] {
      vktest::WhenModal([&] {
        shown = {options->CBVersionen->isChecked(), options->EdTage->value(),
                 options->CBSpiegeln->isChecked(), options->CBVersionen->isEnabled(),
                 options->windowTitle()};
        inOptions();
      });
      editor->OptBtn->click();
      inEditor();
    });
    if (newJob)
      editor->OpenNewJob();
    else
      editor->EditJob();
    return shown;
  }

  void FillNewJob() {
    editor->EName->setText(QStringLiteral("Neu"));
    editor->EVerz->setText(QString::fromStdString(tree.path() + "ziel"));
    editor->VList->addItem(QString::fromStdString(tree.path()));
  }

  vktest::TempDir home;
  vktest::TempDir tree;
  vktest::ScriptedUi ui;
  std::unique_ptr<vktest::AppWindows> app;
  TForm1* form1 = nullptr;
  TFNeu* editor = nullptr;
  TFOptionen* options = nullptr;
};

TEST_F(OptionsTest, ShowsTheStoredOptionsAndWritesTheChangedOnesWhenTheJobIsStored) {
  struct Case {
    const char* what;
    bool optionsOk;
    bool editorOk;
    bool written;
  } cases[] = {
      {"both confirmed", true, true, true},
      {"editor cancelled", true, false, false},
      {"options cancelled", false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int job = MakeJob("Büro");
    const std::string stored = "Versionen=0\r\nVersionenTage=30\r\nSpiegeln=1\r\nFarbe=blau\r\n";
    vktest::WriteFile(OptionsPath(job), stored);

    const Shown shown = DriveEditor(
        false,
        [&] {
          options->CBVersionen->setChecked(true);
          options->EdTage->setValue(7);
          options->CBSpiegeln->setChecked(false);
          (c.optionsOk ? options->OKBtn : options->CancelBtn)->click();
        },
        [&] { (c.editorOk ? editor->OKBtn : editor->CancelBtn)->click(); });

    EXPECT_FALSE(shown.versions);
    EXPECT_EQ(shown.days, 30);
    EXPECT_TRUE(shown.mirror);
    EXPECT_TRUE(shown.changeable);
    EXPECT_EQ(shown.title, QStringLiteral("Optionen der Datensicherung \"Büro\""));
    // The line the program does not know stays.
    const std::string changed =
        "Versionen=1\r\nVersionenTage=7\r\nSpiegeln=0\r\nWarnenNachTagen=7\r\nFarbe=blau\r\n";
    EXPECT_EQ(vktest::ReadFile(OptionsPath(job)), c.written ? changed : stored);
    EXPECT_TRUE(ui.boxes.empty());
    Backups().DeleteJob(job);
  }
}

TEST_F(OptionsTest, ANewJobGetsTheOptionsChosenBeforeItWasStored) {
  const Shown shown = DriveEditor(
      true,
      [&] {
        options->EdTage->setValue(0);
        options->CBSpiegeln->setChecked(true);
        options->OKBtn->click();
      },
      [&] {
        FillNewJob();
        editor->OKBtn->click();
      });
  // A new job starts with the defaults.
  EXPECT_TRUE(shown.versions);
  EXPECT_EQ(shown.days, 90);
  EXPECT_FALSE(shown.mirror);
  ASSERT_EQ(Backups().Count(), 1);
  EXPECT_EQ(vktest::ReadFile(OptionsPath(0)),
            "Versionen=1\r\nVersionenTage=0\r\nSpiegeln=1\r\nWarnenNachTagen=7\r\n");
  // The shown "0" reads as keeping for ever.
  options->EdTage->setValue(0);
  EXPECT_EQ(options->EdTage->text(), QStringLiteral("für immer"));

  // A new job whose options were never opened gets no file (the defaults).
  vktest::WhenModal([&] {
    FillNewJob();
    editor->OKBtn->click();
  });
  ASSERT_TRUE(editor->OpenNewJob());
  EXPECT_FALSE(vktest::Exists(OptionsPath(SelectedJob)));
}

TEST_F(OptionsTest, AFileThatCannotBeReadIsToldShownAsDefaultsAndNeverWritten) {
  // A folder in the file's place cannot be read, whoever runs the test; a
  // file without permissions only when the test does not run as root.
  std::vector<std::function<void(const std::string&)>> unreadable = {
      [](const std::string& path) { std::filesystem::create_directory(path); }};
  if (geteuid() != 0)
    unreadable.push_back([](const std::string& path) {
      vktest::WriteFile(path, "Versionen=0\r\n");
      chmod(path.c_str(), 0);
    });
  for (std::size_t i = 0; i < unreadable.size(); ++i) {
    SCOPED_TRACE(i);
    ui.boxes.clear();
    const int job = MakeJob("Kaputt");
    const std::string path = OptionsPath(job);
    unreadable[i](path);
    const Shown shown = DriveEditor(
        false,
        [&] {
          // Return confirms; nothing may come of it.
          options->OKBtn->setFocus();
          QTest::keyClick(options->OKBtn, Qt::Key_Return);
        },
        [&] { editor->OKBtn->click(); });
    EXPECT_TRUE(shown.versions);
    EXPECT_EQ(shown.days, 90);
    EXPECT_FALSE(shown.mirror);
    EXPECT_FALSE(shown.changeable);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("Die Optionsdatei " + path + " konnte nicht gelesen werden"),
              std::string::npos);
    if (i == 0) {
      EXPECT_TRUE(std::filesystem::is_directory(path));
    } else {
      chmod(path.c_str(), 0600);
      EXPECT_EQ(vktest::ReadFile(path), "Versionen=0\r\n");
    }
    std::filesystem::remove_all(path);
    Backups().DeleteJob(job);
  }
}

TEST_F(OptionsTest, EveryOptionIsReachedByItsAccessKeyAndTab) {
  MakeJob("Tasten");
  std::filesystem::create_directories(tree.path() + "Projekt/cache");
  vktest::WriteFile(tree.path() + "Projekt/cache/a.bin", "a");
  vktest::WriteFile(tree.path() + "b.tmp", "b");
  QWidget* tabbed[12] = {};
  const auto items = [&] {
    std::vector<std::string> listed;
    for (int i = 0; i < options->LBAusschluss->count(); ++i)
      listed.push_back(options->LBAusschluss->item(i)->text().toStdString());
    return listed;
  };
  const Shown shown = DriveEditor(
      false,
      [&] {
        QApplication::setActiveWindow(options);
        // An access key presses its box visibly (a short animated click).
        QTest::keyClick(options, Qt::Key_V, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !options->CBVersionen->isChecked(); }, 2000));
        QTest::keyClick(options, Qt::Key_S, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return options->CBSpiegeln->isChecked(); }, 2000));
        QTest::keyClick(options, Qt::Key_T, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), options->EdTage);
        QTest::keyClick(options->EdTage, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(options->EdTage, QStringLiteral("14"));

        // Patterns: typed and added by Return or by the button's key; a bad
        // one and one already listed are told and not added.
        QTest::keyClick(options, Qt::Key_M, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), options->EdMuster);
        QTest::keyClicks(options->EdMuster, QStringLiteral("Cache/"));
        QTest::keyClick(options->EdMuster, Qt::Key_Return);
        EXPECT_TRUE(options->isVisible()) << "Return in the field adds, it does not close";
        QTest::keyClicks(options->EdMuster, QStringLiteral("*.tmp"));
        QTest::keyClick(options, Qt::Key_H, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return items().size() == 2; }, 2000));
        for (const char* bad : {"/", "CACHE/"}) {
          QTest::keyClicks(options->EdMuster, QString::fromUtf8(bad));
          QTest::keyClick(options->EdMuster, Qt::Key_Return);
          options->EdMuster->clear();
        }
        ASSERT_EQ(ui.boxes.size(), 2u);
        EXPECT_NE(ui.boxes[0].text.find("trifft nichts"), std::string::npos);
        EXPECT_NE(ui.boxes[1].text.find("Das Muster \"Cache/\" steht schon in der Liste."),
                  std::string::npos);
        EXPECT_EQ(items(), (std::vector<std::string>{"Cache/", "*.tmp"}));

        // The tester shows what each pattern hits in the job's folder.
        QTest::keyClick(options, Qt::Key_N, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
              return options->TestResult->toPlainText().contains("Cache/: 0 Dateien, 1 Ordner");
            },
            3000))
            << options->TestResult->toPlainText().toStdString();
        const QString result = options->TestResult->toPlainText();
        EXPECT_TRUE(
            result.contains(QString::fromStdString("    " + tree.path() + "Projekt/cache/")));
        EXPECT_TRUE(result.contains(QString::fromStdString("*.tmp: 1 Datei, 0 Ordner")));

        // The list by its key, the second pattern chosen and removed.
        QTest::keyClick(options, Qt::Key_U, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), options->LBAusschluss);
        QTest::keyClick(options->LBAusschluss, Qt::Key_End);
        QTest::keyClick(options, Qt::Key_E, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return items().size() == 1; }, 2000));
        EXPECT_EQ(items(), std::vector<std::string>{"Cache/"});

        QTest::keyClick(options, Qt::Key_W, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), options->EdWarnen);
        QTest::keyClick(options->EdWarnen, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(options->EdWarnen, QStringLiteral("3"));
        // Tab goes round the window in its order.
        options->CBVersionen->setFocus(Qt::TabFocusReason);
        for (QWidget*& w : tabbed) {
          w = QApplication::focusWidget();
          QTest::keyClick(w, Qt::Key_Tab);
        }
        // Return in the number field confirms the window.
        options->EdTage->setFocus(Qt::TabFocusReason);
        QTest::keyClick(options->EdTage, Qt::Key_Return);
      },
      [&] {
        // The editor's access key opens the options again; Esc leaves
        // them as they were.
        bool reopened = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
          if (!options->isVisible()) return;
          reopened = true;
          poll.stop();
          QTest::keyClick(options, Qt::Key_Escape);
        });
        poll.start(10);
        QApplication::setActiveWindow(editor);
        QTest::keyClick(editor, Qt::Key_O, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return reopened && !options->isVisible(); }, 3000));
        editor->OKBtn->click();
      });
  EXPECT_TRUE(shown.versions);
  const QWidget* order[] = {options->CBVersionen, options->EdTage,  options->CBSpiegeln,
                            options->EdMuster,    options->AddBtn,  options->LBAusschluss,
                            options->RemoveBtn,   options->TestBtn, options->TestResult,
                            options->EdWarnen,    options->OKBtn,   options->CancelBtn};
  for (std::size_t i = 0; i < std::size(order); ++i) EXPECT_EQ(tabbed[i], order[i]) << i;
  EXPECT_EQ(vktest::ReadFile(OptionsPath(SelectedJob)),
            "Versionen=0\r\nVersionenTage=14\r\nSpiegeln=1\r\nWarnenNachTagen=3\r\n"
            "Ausschluss=Cache/\r\n");
}

}  // namespace
