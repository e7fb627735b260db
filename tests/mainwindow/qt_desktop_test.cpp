// The program on a real desktop: real boxes while the main window is
// hidden, the end of the program, access keys and default buttons of every
// window, the keyboard, Qt's German dialogs and a dark desktop palette.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QTimer>
#include <QTreeView>
#include <cerrno>
#include <cmath>
#include <map>

#include "dialogs/aboutform.h"
#include "dialogs/kopierform.h"
#include "widgets/qt_errorbox.h"
#include "dialogs/neuform.h"
#include "dialogs/scanform.h"
#include "mainwindow/backmain.h"
#include "platform/platform.h"
#include "base/codepage.h"
#include "core/catalogue/daten.h"
#include "base/errorbox.h"
#include "support/core_support.h"
#include "support/qt_gui_support.h"
#include "dialogs/neusynform.h"
#include "dialogs/checkform.h"
#include "dialogs/restform.h"
#include "support/verify_support.h"
#include "widgets/qt_look.h"

namespace {

// Counts the requests to end the application (and keeps them from ending
// the test's event loop).
class QuitWatch : public QObject {
 public:
  QuitWatch() { qApp->installEventFilter(this); }
  ~QuitWatch() override { qApp->removeEventFilter(this); }
  int requests = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == qApp && event->type() == QEvent::Quit) {
      ++requests;
      return true;
    }
    return false;
  }
};

// Runs `scenario` inside the application's own event loop, as the program
// runs, so that Qt's rules for ending the application apply.
void RunInEventLoop(const std::function<void()>& scenario) {
  QTimer::singleShot(0, qApp, [&] {
    scenario();
    QCoreApplication::exit(0);
  });
  QApplication::exec();
}

struct SeenBox {
  QString text;
  bool hadParent = false;
  bool centred = false;
};

// Waits for the next real message box and presses its button `caption`.
void AnswerBox(const QString& caption, SeenBox& seen) {
  vktest::WhenReady(
      [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
      [caption, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        seen.text = box->text();
        seen.hadParent = box->parentWidget() != nullptr;
        const QPoint middle = box->screen()->availableGeometry().center();
        seen.centred = (box->frameGeometry().center() - middle).manhattanLength() <= 2;
        for (QAbstractButton* b : box->buttons())
          if (b->text() == caption) b->click();
      });
}

class DesktopTest : public ::testing::Test {
 protected:
  DesktopTest() : app(home.path()) {}
  ~DesktopTest() override {
    platform::SetFaultHook(nullptr);
    platform::SetLaunchHook(nullptr);
  }

  TForm1* form1() const { return app.form1(); }

  int AddJob(const std::string& name, const std::string& target,
             const std::vector<std::string>& dirs) {
    tBackups* jobs = form1()->Backups();
    const int index = jobs->AddJob(name, target, 0, 0);
    const std::string data = tBackups::GetDataDir();
    EXPECT_EQ(textfile::WriteLines(data + jobs->GetListFileName(index), dirs), 0);
    vktest::WriteFile(data + jobs->GetExtFileName(index), "");
    vktest::WriteFile(data + jobs->GetExclFileName(index), "");
    form1()->Label23Click();
    form1()->CB2Enter();
    form1()->CB2->setCurrentIndex(index);
    form1()->CB2Change();
    return index;
  }
  void MakeTree() {
    vktest::WriteFile(tree / "Daten/a.txt", "a");
    vktest::WriteFile(tree / "Daten/b.txt", "b");
    vktest::WriteFile(tree / "Daten/sub/d.txt", "d");
    vktest::WriteFile(tree / "Sich/Daten/a.txt", "old");
  }

  vktest::TempDir home;
  vktest::TempDir tree;
  vktest::ScriptedUi ui;
  vktest::AppWindows app;
};

// The real boxes, answered through the widgets; the ScriptedUi of the
// fixture stays installed underneath for the rest.
class RealBoxes {
 public:
  RealBoxes() { SetUserInterface(&boxes_); }
  ~RealBoxes() { SetUserInterface(nullptr); }

 private:
  QtUserInterface boxes_;
};

// ---------------------------------------------------------- real boxes --

TEST_F(DesktopTest, ManualCompletionAnsweredInTheRealBoxKeepsTheProgramRunning) {
  EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
  struct Case {
    const char* answer;
    bool copies;
  };
  MakeTree();
  app.Show();
  AddJob("Texte", tree / "Sich", {tree / "Daten"});
  // "Nein" first: it copies nothing, so "Ja" finds the same two rows.
  for (const Case& c : {Case{"&Nein", false}, Case{"&Ja", true}}) {
    SCOPED_TRACE(c.answer);
    QuitWatch quit;
    SeenBox seen;
    bool completionSeen = false;
    RunInEventLoop([&] {
      RealBoxes real;
      TFCheck* check = app.fcheck();
      TFRest* rest = app.frest();
      vktest::WhenReady([&] { return check->RunsFinished() > 0 && !check->Running(); },
                        [&] {
                          vktest::WhenReady(
                              [&] { return rest->isVisible() && rest->RowCount() == 2; },
                              [&] {
                                completionSeen = true;
                                EXPECT_FALSE(form1()->isVisible())
                                    << "the check hides the main window";
                                rest->SetTicked(0, true);
                                rest->SetTicked(1, true);
                                AnswerBox(QString::fromUtf8(c.answer), seen);
                                rest->BitBtn2->click();
                                rest->close();
                              },
                              [&] { rest->close(); });
                          check->BitBtn2->click();
                        },
                        [&] { check->close(); });
      form1()->BitBtn2Click();
    });
    EXPECT_TRUE(completionSeen);
    EXPECT_EQ(seen.text.trimmed(), QStringLiteral("2 Dateien kopieren?"));
    EXPECT_TRUE(seen.hadParent);
    EXPECT_TRUE(seen.centred);
    EXPECT_EQ(quit.requests, 0) << "no box or window but the main window ends the program";
    EXPECT_TRUE(form1()->isVisible());
    EXPECT_EQ(vktest::Exists(tree / "Sich/Daten/b.txt"), c.copies);
    EXPECT_EQ(vktest::Exists(tree / "Sich/Daten/sub/d.txt"), c.copies);
  }
}

TEST_F(DesktopTest, ErrorBoxOfTheAutomaticCompletionKeepsTheProgramRunning) {
  MakeTree();
  app.Show();
  AddJob("Texte", tree / "Sich", {tree / "Daten"});
  platform::SetFaultHook([](const std::string& op, const std::string& path) {
    return op == "copy-open-source" && path.find("b.txt") != std::string::npos ? EACCES : 0;
  });
  QuitWatch quit;
  SeenBox seen;
  RunInEventLoop([&] {
    RealBoxes real;
    TFRest* rest = app.frest();
    AnswerBox(QStringLiteral("OK"), seen);
    vktest::WhenReady([&] { return !seen.text.isEmpty() && rest->isVisible() && !rest->Busy; },
                      [&] { rest->close(); }, [&] { rest->close(); });
    form1()->BitBtn5Click();
  });
  EXPECT_NE(seen.text.indexOf(QStringLiteral("ist kein Zugriff möglich.")), -1);
  EXPECT_TRUE(seen.hadParent);
  EXPECT_EQ(quit.requests, 0);
  EXPECT_TRUE(form1()->isVisible());
  EXPECT_FALSE(app.fcheck()->isVisible());
}

TEST_F(DesktopTest, OnlyTheMainWindowEndsTheProgram) {
  app.Show();
  QuitWatch quit;
  RunInEventLoop([&] {
    // Another window closing while the main window is hidden: no end.
    form1()->hide();
    app.fsynneu()->show();
    app.fsynneu()->close();
    QApplication::processEvents();
    EXPECT_EQ(quit.requests, 0);
    form1()->show();
    form1()->findChild<QPushButton*>(QStringLiteral("BitBtn12"))->click();
  });
  EXPECT_EQ(quit.requests, 1);
  EXPECT_FALSE(form1()->isVisible());
}

// --------------------------------------------- access keys and defaults --

// The access keys that two visible and enabled controls of the window
// share, and the default buttons that are hidden or disabled.
std::vector<std::string> KeyFaults(QWidget* window) {
  std::map<int, std::vector<QString>> keys;
  std::vector<std::string> faults;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (w->window() != window) continue;
    const bool usable = w->isVisibleTo(window) && w->isEnabled();
    if (auto* b = qobject_cast<QPushButton*>(w); b != nullptr && b->isDefault() && !usable)
      faults.push_back("hidden or disabled default button " + b->text().toStdString());
    if (!usable) continue;
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      text = b->text();
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
      if (l->buddy() == nullptr || !l->buddy()->isVisibleTo(window) || !l->buddy()->isEnabled())
        continue;
      text = l->text();
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
      text = g->title();
    }
    const QKeySequence key = QKeySequence::mnemonic(text);
    if (!key.isEmpty()) keys[key[0].toCombined()].push_back(text);
  }
  // The check page gives its job list and its check button the same key.
  const std::vector<QString> checkPage{QStringLiteral("Zu überprüfende &Sicherung:"),
                                       QStringLiteral("&Sicherung überprüfen")};
  for (auto& [key, texts] : keys) {
    std::sort(texts.begin(), texts.end(), [](const QString& a, const QString& b) { return a > b; });
    if (texts.size() < 2 || texts == checkPage) continue;
    std::string all;
    for (const QString& t : texts) all += " \"" + t.toStdString() + "\"";
    faults.push_back("shared access key:" + all);
  }
  return faults;
}

TEST_F(DesktopTest, NoWindowStateSharesAnAccessKeyOrHidesItsDefaultButton) {
  MakeTree();
  app.Show();
  TFKopie* run = app.fkopie();
  struct State {
    const char* name;
    std::function<QWidget*()> reach;
  };
  const std::vector<State> states = {
      {"main window, backup page without a job", [&] { return form1(); }},
      {"main window, check page",
       [&] {
         AddJob("Texte", tree / "Sich", {tree / "Daten"});
         return form1();
       }},
      {"main window, backup page with a job",
       [&] {
         form1()->BitBtn9Click();
         form1()->CB1->setCurrentIndex(0);
         form1()->CB1Change();
         return form1();
       }},
      {"main window, synchronisation page",
       [&] {
         form1()->Label16Click();
         return form1();
       }},
      {"run window, choices",
       [&] {
         vktest::WhenModal([run] { run->reject(); });
         form1()->BitBtn9Click();
         form1()->BitBtn1Click();
         return run;
       }},
      {"run window, finished",
       [&] {
         vktest::WhenModal([run] {
           run->SetDirectoryRows({});
           run->BitBtn2Click();
           EXPECT_TRUE(run->BitBtn5->isVisibleTo(run));
           EXPECT_TRUE(run->BitBtn5->isEnabled());
           const auto faults = KeyFaults(run);
           EXPECT_TRUE(faults.empty()) << faults.front();
           run->reject();
         });
         form1()->BitBtn1Click();
         return run;
       }},
      {"editor, new job", [&] { return app.fneu(); }},
      {"check window", [&] { return app.fcheck(); }},
      {"completion window", [&] { return app.frest(); }},
      {"synchronisation window", [&] { return app.fsynneu(); }},
      {"about window", [&] { return app.fabout(); }},
  };
  for (const State& s : states) {
    SCOPED_TRACE(s.name);
    QWidget* window = s.reach();
    for (const std::string& fault : KeyFaults(window)) ADD_FAILURE() << fault;
  }
}

// ------------------------------------------------------------ keyboard --

TEST_F(DesktopTest, TabLeavesEveryGridAndReachesThePictureButtons) {
  for (QAbstractItemView* grid :
       std::initializer_list<QAbstractItemView*>{form1()->SG1, app.fcheck()->SG1, app.frest()->LV1,
                                                 app.fkopie()->SG1, app.fsynneu()->SG1})
    EXPECT_FALSE(grid->tabKeyNavigation())
        << grid->parentWidget()->window()->metaObject()->className();

  TFSynNeu* sync = app.fsynneu();
  sync->show();
  sync->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(sync));
  sync->SG1->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), sync->SG1);
  QTest::keyClick(sync->SG1, Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), sync->SG1);
  sync->hide();

  // The tree's buttons come after the name and before the tree; the
  // others follow their lists.
  TFNeu* editor = app.fneu();
  auto nextTabStop = [editor](QWidget* w) {
    do w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(editor) || !w->isEnabled());
    return w;
  };
  EXPECT_EQ(nextTabStop(editor->EName), static_cast<QWidget*>(editor->SB6));
  EXPECT_EQ(nextTabStop(editor->SB6), static_cast<QWidget*>(editor->SB7));
  EXPECT_EQ(nextTabStop(editor->SB5), static_cast<QWidget*>(editor->DT1));
  for (QToolButton* b :
       {editor->SB6, editor->SB7, editor->SB5, editor->BitBtn1, editor->BitBtn2, editor->BitBtn3}) {
    SCOPED_TRACE(b->toolTip().toStdString());
    EXPECT_TRUE(b->focusPolicy() & Qt::TabFocus);
    QSignalSpy clicked(b, &QAbstractButton::clicked);
    QTest::keyClick(b, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 1);
  }
}

TEST_F(DesktopTest, ASecondStartIsRefusedAndBringsTheRunningWindowForward) {
  app.Show();
  form1()->showMinimized();
  ASSERT_TRUE(form1()->isMinimized());
  {
    TForm1 second(nullptr, app.lockName());
    EXPECT_TRUE(second.StartRefused());
  }
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, WithLeadingBreaks("VolKarn wurde bereits gestartet!"));
  EXPECT_TRUE(vktest::SpinUntil([&] { return !form1()->isMinimized(); }));
}

// --------------------------------------------------------------- German --

TEST_F(DesktopTest, TheFolderPickerOfTheEditorSpeaksGerman) {
  const QStringList english = {
      "Look in",        "Directory",         "Choose",        "Cancel",
      "Open",           "File name",         "Files of type", "Back",
      "Forward",        "Parent Directory",  "List View",     "Detail View",
      "Find Directory", "Create New Folder", "Size",          "Type",
      "Date Modified",  "Computer",          "Recent Places"};
  RealBoxes real;
  QStringList seen;
  bool shown = false;
  vktest::WhenReady(
      [] {
        QWidget* modal = QApplication::activeModalWidget();
        return modal != nullptr && modal->findChild<QFileDialog*>() != nullptr;
      },
      [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        shown = true;
        seen << dialog->windowTitle();
        for (QWidget* w : dialog->findChildren<QWidget*>()) {
          if (!w->isVisibleTo(dialog)) continue;
          if (auto* l = qobject_cast<QLabel*>(w)) seen << l->text();
          if (auto* b = qobject_cast<QAbstractButton*>(w)) seen << b->text() << b->toolTip();
        }
        if (auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("treeView")))
          for (int c = 0; c < view->model()->columnCount(); ++c)
            seen << view->model()->headerData(c, Qt::Horizontal).toString();
        qobject_cast<QDialog*>(dialog)->reject();
      },
      [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
      });
  app.fneu()->Button4Click();
  ASSERT_TRUE(shown);
  EXPECT_GT(seen.size(), 5);
  for (QString text : seen) {
    text.remove(QLatin1Char('&')).remove(QLatin1Char(':'));
    EXPECT_FALSE(english.contains(text.trimmed(), Qt::CaseInsensitive)) << text.toStdString();
  }
}

// ------------------------------------------------------------ dark theme --

double Luminance(const QColor& c) {
  auto channel = [](double v) {
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The nearest widget from `w` upwards that fills its own background.
QWidget* FixedBackground(QWidget* w) {
  for (; w != nullptr && !w->isWindow(); w = w->parentWidget())
    if (w->autoFillBackground()) return w;
  return w != nullptr && w->autoFillBackground() ? w : nullptr;
}

QPalette DarkPalette() {
  QPalette p;
  const QColor dark(0x35, 0x35, 0x35);
  const QColor grey(0x7F, 0x7F, 0x7F);
  p.setColor(QPalette::Window, dark);
  p.setColor(QPalette::WindowText, Qt::white);
  p.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
  p.setColor(QPalette::AlternateBase, dark);
  p.setColor(QPalette::Text, Qt::white);
  p.setColor(QPalette::Button, dark);
  p.setColor(QPalette::ButtonText, Qt::white);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, grey);
  p.setColor(QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
  p.setColor(QPalette::HighlightedText, Qt::black);
  return p;
}

// Every enabled label and button on a fixed background, with its text
// colour and the colour behind its text.
struct TextOnFixed {
  QString text;
  QColor fore;
  QColor back;
};
std::vector<TextOnFixed> TextsOnFixedBackgrounds(QWidget* window) {
  std::vector<TextOnFixed> result;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (w->window() != window || !w->isVisibleTo(window) || !w->isEnabled()) continue;
    QWidget* fixed = FixedBackground(w);
    if (fixed == nullptr) continue;
    const QPalette& p = w->palette();
    const QColor behind = fixed->palette().color(QPalette::Active, QPalette::Window);
    if (auto* l = qobject_cast<QLabel*>(w)) {
      if (l->text().trimmed().isEmpty()) continue;
      result.push_back({l->text(), p.color(QPalette::Active, l->foregroundRole()), behind});
    } else if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w)) {
      result.push_back({qobject_cast<QAbstractButton*>(w)->text(),
                        p.color(QPalette::Active, QPalette::WindowText), behind});
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      if (b->text().isEmpty()) continue;
      result.push_back({b->text(), p.color(QPalette::Active, QPalette::ButtonText),
                        p.color(QPalette::Active, QPalette::Button)});
    }
  }
  return result;
}

TEST(DarkDesktop, EveryTextOnAFixedBackgroundStaysReadable) {
  const QString styleBefore = QApplication::style()->name();
  const QPalette paletteBefore = QApplication::palette();
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  UseProgramStyle();
  QApplication::setPalette(DarkPalette());
  {
    vktest::TempDir home;
    vktest::ScriptedUi ui;
    vktest::AppWindows app(home.path());
    app.Show();
    Tfscan scan(app.fneu());
    TForm1* f = app.form1();
    const std::vector<QWidget*> windows = {f,           app.fneu(),    app.fcheck(), app.fkopie(),
                                           app.frest(), app.fsynneu(), app.fabout(), &scan};
    int texts = 0;
    for (QWidget* window : windows) {
      // The main window once per page.
      const std::vector<std::function<void()>> pages =
          window == f ? std::vector<std::function<void()>>{[f] { f->BitBtn9Click(); },
                                                           [f] { f->Label23Click(); },
                                                           [f] { f->Label16Click(); }}
                      : std::vector<std::function<void()>>{[] {}};
      for (const auto& page : pages) {
        page();
        for (const TextOnFixed& t : TextsOnFixedBackgrounds(window)) {
          ++texts;
          // The run window's red for the mode not chosen is its own colour
          // on its own yellow, the same under every palette.
          if (t.fore == QColor(255, 0, 0) && t.back == QColor(255, 249, 174)) continue;
          EXPECT_GE(Contrast(t.fore, t.back), 4.5)
              << window->metaObject()->className() << " \"" << t.text.toStdString() << "\" "
              << t.fore.name().toStdString() << " on " << t.back.name().toStdString();
        }
      }
    }
    EXPECT_GT(texts, 40);

    // Every picture on a button stands out from what is behind it: at
    // least 20 of its pixels differ from it by 3:1, what a picture needs
    // to be seen.
    int pictures = 0;
    for (QWidget* window : windows) {
      for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (b->icon().isNull()) continue;
        ++pictures;
        auto* tool = qobject_cast<QToolButton*>(b);
        QWidget* fixed = FixedBackground(b);
        const QColor back = tool != nullptr && tool->autoRaise()
                                ? (fixed != nullptr ? fixed : b)->palette().color(QPalette::Window)
                                : b->palette().color(QPalette::Active, QPalette::Button);
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(back);
        QPainter painter(&image);
        b->icon().paint(&painter, image.rect());
        painter.end();
        int seen = 0;
        for (int y = 0; y < image.height(); ++y)
          for (int x = 0; x < image.width(); ++x)
            seen += Contrast(image.pixelColor(x, y), back) >= 3.0;
        EXPECT_GE(seen, 20) << window->metaObject()->className() << " \""
                            << b->text().toStdString() << "\" " << b->toolTip().toStdString();
      }
    }
    EXPECT_GT(pictures, 10);

    // An unticked box of the completion list stands out from the list.
    {
      TFRest* rest = app.frest();
      QTableWidgetItem* tick = vktest::OneUntickedRow(rest);
      rest->show();
      QApplication::processEvents();
      const QRect cell = rest->LV1->visualItemRect(tick);
      const QImage image = rest->LV1->viewport()->grab(cell).toImage();
      const QColor base = rest->LV1->palette().color(QPalette::Active, QPalette::Base);
      int edge = 0;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) edge += Contrast(image.pixelColor(x, y), base) >= 3.0;
      EXPECT_GE(edge, 24) << "the box's edge";
      rest->hide();
      rest->LV1->setRowCount(0);
    }

    // The check's count of missing files, red or green on the window's own
    // colour.
    const QColor window = app.fcheck()->palette().color(QPalette::Active, QPalette::Window);
    for (std::int32_t missing : {6, 0})
      EXPECT_GE(Contrast(TFCheck::CountColour(missing, window), window), 4.5) << missing;

    // A disabled control looks disabled: "Ergänzungssicherung" of a job
    // never backed up loses its navy.
    f->BitBtn9Click();
    f->RadioButton2->setEnabled(false);
    const QPalette& p = f->RadioButton2->palette();
    EXPECT_EQ(p.color(QPalette::Active, QPalette::WindowText), QColor(0, 0, 0x80));
    EXPECT_NE(p.color(QPalette::Disabled, QPalette::WindowText), QColor(0, 0, 0x80));
    EXPECT_EQ(p.color(QPalette::Disabled, QPalette::WindowText),
              f->findChild<QLabel*>(QStringLiteral("Label3"))
                  ->palette()
                  .color(QPalette::Disabled, QPalette::WindowText));
  }
  QApplication::setPalette(paletteBefore);
  QApplication::setStyle(styleBefore);
}

// ---------------------------------------------------------- small ones --

TEST_F(DesktopTest, TheRunWindowGetsAsLowAsThePlatformAllows) {
  TFKopie* run = app.fkopie();
  EXPECT_EQ(run->minimumHeight(), 0);
  // A new settings file stores no size (0): the window opens where every
  // control shows, on the screen.
  form1()->Options()->SetKopFormPos(0, 0, 0, 0);
  run->show();
  QApplication::processEvents();
  EXPECT_EQ(run->height(), 420);
  EXPECT_FALSE(run->testAttribute(Qt::WA_OutsideWSRange));
  run->reject();
  run->show();
  run->resize(400, 120);
  QApplication::processEvents();
  EXPECT_EQ(run->height(), 120);
  EXPECT_EQ(run->SG1->height(), 0) << "the grid gives way first";
  EXPECT_EQ(run->Panel2->height(), 153);
  run->reject();
}

TEST_F(DesktopTest, AWindowThatClosesGivesTheKeyboardBackToTheWindowBelow) {
  // Without a window manager nobody else does: the main window would take
  // no key after the run window, the editor or a box until clicked.
  form1()->show();
  form1()->activateWindow();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::activeWindow(), form1());
  struct Case {
    const char* what;
    QDialog* window;
  };
  QMessageBox box(QMessageBox::Information, QStringLiteral("VolKarn"), QStringLiteral("Text"),
                  QMessageBox::Ok, form1());
  for (const Case& c : {Case{"run window", app.fkopie()}, Case{"about", app.fabout()},
                        Case{"box", &box}}) {
    QTimer::singleShot(50, c.window, [&c] {
      // The dialog has the keyboard while it is open, then closes.
      EXPECT_EQ(QApplication::activeWindow(), c.window) << c.what;
      c.window->reject();
    });
    c.window->exec();
    QTest::qWait(100);
    EXPECT_EQ(QApplication::activeWindow(), form1()) << c.what;
  }
}

// Deleting a job: "Ja" closes the question and the editor together. A bare
// X server takes the keyboard from the question before both are gone and
// gives it to nobody; the keyboard then goes to the main window below.
TEST_F(DesktopTest, AfterDeletingAJobTheMainWindowGetsTheKeyboard) {
  app.Show();
  TFNeu* editor = app.fneu();
  QMessageBox question(QMessageBox::Question, QStringLiteral("Bestätigung"),
                       QStringLiteral("Diesen Sicherungslauf löschen?"),
                       QMessageBox::Yes | QMessageBox::No, editor);
  editor->show();
  question.show();
  question.activateWindow();
  QTest::qWait(50);
  ASSERT_EQ(QApplication::activeWindow(), &question);
  // The order of a bare X server: the keyboard leaves the question while
  // it is still open, then the question and the editor close.
  QApplication::setActiveWindow(nullptr);
  question.hide();
  editor->hide();
  QTest::qWait(100);
  EXPECT_EQ(QApplication::activeWindow(), form1());
}

TEST_F(DesktopTest, ProtokollThatNoProgramCanOpenIsTold) {
  MakeTree();
  app.Show();
  const int job = AddJob("Texte", tree / "Sich", {tree / "Daten"});
  const std::string log = tBackups::GetDataDir() + form1()->Backups()->GetLogFileName(job);
  vktest::WriteFile(log, "Bericht");
  platform::SetLaunchHook([](const std::string&, const std::string&) { return 31; });
  form1()->BitBtn9Click();
  form1()->Button3->click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, WithLeadingBreaks(log + "\rkonnte nicht geöffnet werden!"));
}

}  // namespace
