#include "widgets/qt_look.h"

#include <QGuiApplication>
#include <QScreen>

#include <QLabel>
#include <QPalette>
#include <QWidget>

QFont SansFont(int pixels, bool bold) {
  QFont f(QStringLiteral("Liberation Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

QFont SerifFont(int pixels) {
  QFont f(QStringLiteral("Liberation Serif"));
  f.setStyleHint(QFont::Serif);
  f.setPixelSize(pixels);
  return f;
}

QPalette FixedPalette(const QColor& background) {
  // Qt's light palette built from the classic button grey: black texts,
  // white fields, grey buttons and greyed texts of disabled controls.
  QPalette p(QColor(0xF0, 0xF0, 0xF0));
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    p.setColor(group, QPalette::Window, background);
  return p;
}

void FillColour(QWidget* widget, const QColor& colour) {
  // A fixed background fixes the colours of everything drawn on it too:
  // the desktop's palette (a dark one, say) must not put its light texts
  // on it.
  widget->setPalette(FixedPalette(colour));
  widget->setAutoFillBackground(true);
}

void TextColour(QWidget* widget, const QColor& colour) {
  // Only for enabled controls: a disabled one keeps the greyed text.
  QPalette p = widget->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
      p.setColor(group, role, colour);
  widget->setPalette(p);
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->move(left, top);
  label->adjustSize();
  return label;
}

WindowPlace FitToScreen(const WindowPlace& stored) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  return ClampPlace(stored, {area.x(), area.y(), area.width(), area.height()});
}
