// The look that the windows share: the fonts standing in for the desktop
// fonts of the forms (Liberation Sans for Arial and MS Sans Serif,
// Liberation Serif for MS Serif, sizes in pixels at 96 dpi), colours, and
// labels placed the way the forms place them.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

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
