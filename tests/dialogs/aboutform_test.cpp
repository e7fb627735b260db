// The About window: its place, the OK panel and the link.
#include "dialogs/aboutform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>

#include "platform/platform.h"
#include "support/core_support.h"
#include "support/qt_gui_support.h"

namespace {

void SendMove(QWidget* w, QPoint at) {
  QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(w, &move);
}

class AboutTest : public ::testing::Test {
 protected:
  vktest::TempDir home;
  vktest::ScriptedUi ui;
  vktest::AppWindows windows{home.path()};
  Tabout* a = windows.fabout();
};

TEST_F(AboutTest, TextsFitTheWindow) {
  EXPECT_EQ(a->size(), QSize(199, 149));
  EXPECT_EQ(a->Label4->text().toStdString(), "Version 2.0 (22.02.2003)");
  // Every text fits inside the window.
  for (QLabel* l : a->findChildren<QLabel*>()) {
    QRect r(l->mapTo(a, QPoint(0, 0)), l->size());
    EXPECT_TRUE(a->rect().contains(r)) << l->text().toStdString();
    QString t = l->text();
    t.remove(QLatin1Char('&'));
    EXPECT_LE(QFontMetrics(l->font()).horizontalAdvance(t), l->width()) << t.toStdString();
  }
  // The link's text fits inside its panel.
  EXPECT_LE(a->Label2->geometry().right(), a->Panel3->width() - 1);
}

TEST_F(AboutTest, OpensAtTheSamePlaceAndClosesByThePanel) {
  QPoint first, second;
  int lineWhilePressed = 0;
  vktest::WhenModal([&] {
    first = a->pos();
    QTest::mousePress(a->Panel1, Qt::LeftButton, {}, QPoint(5, 5));
    lineWhilePressed = a->Panel1->lineWidth();
    // Released far outside the panel: the window closes all the same.
    QTest::mouseRelease(a->Panel1, Qt::LeftButton, {}, QPoint(-80, 90));
  });
  a->exec();
  EXPECT_EQ(first, QPoint(366, 256));
  EXPECT_EQ(lineWhilePressed, 1);
  EXPECT_EQ(a->Panel1->lineWidth(), 3);
  EXPECT_FALSE(a->isVisible());

  a->move(20, 30);
  vktest::WhenModal([&] {
    second = a->pos();
    QTest::mousePress(a->Label5, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(a->Label5, Qt::LeftButton, {}, QPoint(2, 2));
  });
  a->exec();
  EXPECT_EQ(second, QPoint(366, 256));
  EXPECT_FALSE(a->isVisible());
}

TEST_F(AboutTest, NoCancelKeyButTheAccessKeyOfOk) {
  bool openAfterEscape = false;
  vktest::WhenModal([&] {
    QTest::keyClick(a, Qt::Key_Escape);
    openAfterEscape = a->isVisible();
    // What the access key of "&OK" does: the focus goes to the panel.
    a->Panel1->setFocus(Qt::ShortcutFocusReason);
  });
  a->exec();
  EXPECT_TRUE(openAfterEscape);
  EXPECT_FALSE(a->isVisible());
}

TEST_F(AboutTest, LinkIsUnderlinedOnlyUnderTheMouseAndOpensTheAddress) {
  std::vector<std::string> launched;
  platform::SetLaunchHook([&](const std::string& file, const std::string&) {
    launched.push_back(file);
    return 42;
  });
  a->show();
  EXPECT_FALSE(a->Label2->font().underline());
  SendMove(a->Label2, QPoint(3, 3));
  EXPECT_TRUE(a->Label2->font().underline());
  SendMove(a, QPoint(5, 5));
  EXPECT_FALSE(a->Label2->font().underline());
  SendMove(a->Label2, QPoint(3, 3));
  SendMove(a->Panel3, QPoint(1, 1));
  EXPECT_FALSE(a->Label2->font().underline());
  QTest::mouseClick(a->Label2, Qt::LeftButton, {}, QPoint(3, 3));
  platform::SetLaunchHook(nullptr);
  ASSERT_EQ(launched.size(), 1u);
  EXPECT_EQ(launched[0], "https://volkarn.example.org/");
  EXPECT_TRUE(ui.boxes.empty());
  a->hide();
}

}  // namespace
