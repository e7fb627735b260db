#include "mainwindow/qt_look.h"

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

void FillColour(QWidget* widget, const QColor& colour) {
  QPalette p = widget->palette();
  p.setColor(QPalette::Window, colour);
  widget->setPalette(p);
  widget->setAutoFillBackground(true);
}

void TextColour(QWidget* widget, const QColor& colour) {
  QPalette p = widget->palette();
  p.setColor(QPalette::WindowText, colour);
  p.setColor(QPalette::Text, colour);
  p.setColor(QPalette::ButtonText, colour);
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
