// The look that the windows share: the fonts standing in for the desktop
// fonts of the forms (Liberation Sans for Arial and MS Sans Serif,
// Liberation Serif for MS Serif, sizes in pixels at 96 dpi), colours, and
// labels placed the way the forms place them.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPixmap>
#include <QProxyStyle>
#include <QString>
#include <map>

#include "base/windowplace.h"

class QLabel;
class QWidget;

QFont SansFont(int pixels, bool bold = false);
QFont SerifFont(int pixels);
// A light palette with the window colour `background` for the controls on
// a fixed background, whatever the desktop's palette.
QPalette FixedPalette(const QColor& background);
// Fills the widget's background with the colour and gives it and its
// controls FixedPalette, so that their texts stay readable on it.
void FillColour(QWidget* widget, const QColor& colour);
// Draws the widget's texts (labels, fields, buttons) in the colour while
// it is enabled; disabled, it shows the palette's greyed text.
void TextColour(QWidget* widget, const QColor& colour);
// A label at (left, top) that sizes itself to its text.
QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top);
// A stored place and size fitted to the available area of the primary
// screen (a damaged settings file may hold any number).
WindowPlace FitToScreen(const WindowPlace& stored);

// The program's look over the desktop's style:
// - the keyboard focus is always shown, not only once Tab was pressed (a
//   window that opens with the focus on a button must show where it is),
//   and plainly: a line round the focused cell, item or label;
// - a button with the focus, picture buttons included, shows a frame of
//   its own in the highlight colour, plainly different from the default
//   button's darker edge;
// - check boxes, those in lists too, keep an edge in the text colour, so
//   that an unticked box stays visible on a dark palette;
// - the style's own pictures get a light rim, so that a black cross stays
//   visible on a dark button.
class ProgramStyle : public QProxyStyle {
  Q_OBJECT

 public:
  // Over the style of that name (as QStyleFactory knows it).
  explicit ProgramStyle(const QString& baseStyle);

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget = nullptr) const override;
  QIcon standardIcon(StandardPixmap picture, const QStyleOption* option = nullptr,
                     const QWidget* widget = nullptr) const override;

  // The focus frame of a button with the given outline.
  static void DrawFocusFrame(QPainter* painter, const QRect& outline, const QPalette& palette);

 private:
  // Draws a group box's frame as Fusion does; false over another style.
  bool DrawGroupBoxFrame(const QStyleOption* option, QPainter* painter,
                         const QWidget* widget) const;

  // The pictures made so far (those asked for without option and widget).
  mutable std::map<StandardPixmap, QIcon> rimmed_;
  mutable QPixmap groupBoxFrame_;
};

// Puts ProgramStyle over the application's style; once.
void UseProgramStyle();
