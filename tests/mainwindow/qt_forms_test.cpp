// The windows of a start: the main window at once, every other window on
// its first use, once, and none for a start that was refused.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/aboutform.h"
#include "dialogs/checkform.h"
#include "dialogs/kopierform.h"
#include "dialogs/neuform.h"
#include "dialogs/neusynform.h"
#include "dialogs/restform.h"
#include "dialogs/synform.h"
#include "dialogs/wiederform.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"
#include "support/qt_gui_support.h"

namespace {

struct Window {
  std::string name;
  std::function<QWidget*()> reach;  // through the program's accessor
  std::function<QWidget*(Forms&)> of;
  int made;  // windows made by the first use
};

const std::vector<Window>& Windows() {
  static const std::vector<Window> windows = {
      {"job editor", [] { return FormNeu(); }, [](Forms& f) { return f.Neu(); }, 1},
      {"check window and its completion window", [] { return FormCheck(); },
       [](Forms& f) { return f.Check(); }, 2},
      {"run window", [] { return FormKopie(); }, [](Forms& f) { return f.Kopie(); }, 1},
      {"completion window", [] { return FormRest(); }, [](Forms& f) { return f.Rest(); }, 0},
      {"synchronisation editor", [] { return FormSynNeu(); }, [](Forms& f) { return f.SynNeu(); },
       1},
      {"about window", [] { return FormAbout(); }, [](Forms& f) { return f.About(); }, 1},
      {"restore window", [] { return FormWieder(); }, [](Forms& f) { return f.Wieder(); }, 1},
      {"synchronisation run window", [] { return FormSyn(); }, [](Forms& f) { return f.Syn(); }, 1},
  };
  return windows;
}

TEST(ProgramWindows, TheStartDrawsOnlyTheMainWindowAndMakesEachOtherOnceOnFirstUse) {
  vktest::TempDir home;
  vktest::ScriptedUi ui;
  vktest::AppWindows app(home.path());
  app.Show();
  EXPECT_EQ(Form1, app.form1());
  EXPECT_EQ(0, app.madeWindows());
  int made = 0;
  for (const Window& w : Windows()) {
    SCOPED_TRACE(w.name);
    QWidget* window = w.reach();
    ASSERT_NE(nullptr, window);
    made += w.made;
    EXPECT_EQ(made, app.madeWindows());
    // The same window on every later use, a window of the main window's,
    // not shown by being made.
    EXPECT_EQ(window, w.reach());
    EXPECT_EQ(made, app.madeWindows());
    EXPECT_EQ(app.form1(), window->parentWidget());
    EXPECT_FALSE(window->isVisible());
  }
  EXPECT_EQ(8, app.madeWindows());
}

TEST(ProgramWindows, ARefusedStartMakesNoOtherWindowAndLeavesTheRunningOnesAlone) {
  vktest::TempDir home;
  vktest::ScriptedUi ui;
  vktest::AppWindows app(home.path());
  app.Show();
  QWidget* running = FormAbout();
  {
    std::unique_ptr<Forms> second = CreateForms(app.lockName());
    ASSERT_TRUE(second->Main()->StartRefused());
    for (const Window& w : Windows()) {
      SCOPED_TRACE(w.name);
      EXPECT_EQ(nullptr, w.of(*second));
      EXPECT_EQ(nullptr, w.reach());
    }
    EXPECT_EQ(0, second->MadeCount());
  }
  // Once the refused start has ended, the running one is reached again.
  EXPECT_EQ(app.form1(), Form1);
  EXPECT_EQ(running, FormAbout());
  EXPECT_NE(nullptr, FormKopie());
}

TEST(ProgramWindows, NoWindowIsMadeOnceTheStartHasEnded) {
  vktest::TempDir home;
  vktest::ScriptedUi ui;
  {
    vktest::AppWindows app(home.path());
    EXPECT_NE(nullptr, FormNeu());
  }
  EXPECT_EQ(nullptr, Form1);
  for (const Window& w : Windows()) {
    SCOPED_TRACE(w.name);
    EXPECT_EQ(nullptr, w.reach());
  }
}

}  // namespace
