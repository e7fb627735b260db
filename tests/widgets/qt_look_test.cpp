// The program's style draws what it takes over from Fusion pixel for pixel
// as Fusion does (the check box of a group box is its own on purpose).
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QImage>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionGroupBox>
#include <memory>

#include "widgets/qt_look.h"

namespace {

QImage Drawn(QStyle* style, const QString& title, bool checkable) {
  QGroupBox box(title);
  box.setStyle(style);
  box.setCheckable(checkable);
  box.resize(180, 90);
  QImage drawn = box.grab().toImage();
  QStyleOptionGroupBox option;
  option.initFrom(&box);
  option.text = box.title();
  option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  if (checkable) option.subControls |= QStyle::SC_GroupBoxCheckBox;
  QPainter(&drawn).fillRect(
      style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxCheckBox, &box),
      Qt::magenta);
  return drawn;
}

TEST(ProgramStyleLook, GroupBoxFramesMatchFusion) {
  std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
  ASSERT_NE(nullptr, fusion);
  ProgramStyle program(QStringLiteral("Fusion"));
  const struct {
    const char* title;
    bool checkable;
  } cases[] = {{"Verzeichnisse", false}, {"", false}, {"", true}, {"&Ziel", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.title) + (c.checkable ? " checkable" : ""));
    const QImage expected = Drawn(fusion.get(), QString::fromUtf8(c.title), c.checkable);
    EXPECT_TRUE(expected == Drawn(&program, QString::fromUtf8(c.title), c.checkable));
  }
}

}  // namespace
