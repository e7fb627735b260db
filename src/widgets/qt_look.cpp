#include "widgets/qt_look.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QStyleOption>
#include <QWidget>
#include <algorithm>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

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

// ------------------------------------------------------------ the style --

namespace {

// A copy of the option that shows the focus as after a Tab, whatever key
// or click gave it.
template <class Option>
Option WithVisibleFocus(const Option& option) {
  Option copy = option;
  if (copy.state & QStyle::State_HasFocus) copy.state |= QStyle::State_KeyboardFocusChange;
  return copy;
}

// A copy without the focus: the button is drawn as without it, and the
// program's frame comes on top.
template <class Option>
Option WithoutFocus(const Option& option) {
  Option copy = option;
  copy.state &= ~QStyle::State_HasFocus;
  return copy;
}

QColor Mixed(const QColor& a, const QColor& b, double share) {
  return QColor::fromRgbF(a.redF() * share + b.redF() * (1 - share),
                          a.greenF() * share + b.greenF() * (1 - share),
                          a.blueF() * share + b.blueF() * (1 - share));
}

// The picture over a light rim one pixel wide around its drawn parts: each
// pixel next to (or on) a drawn one (alpha at least half) is light. Done
// on whole lines, as each of the style's pictures comes in several sizes
// and modes and the windows ask for them while they are built.
QPixmap WithLightRim(const QPixmap& picture) {
  const QImage source = picture.toImage().convertToFormat(QImage::Format_ARGB32);
  const int w = source.width();
  const int h = source.height();
  QImage rim(source.size(), QImage::Format_ARGB32);
  rim.fill(Qt::transparent);
  // Per line: the pixels with a drawn one in the same line within one step.
  std::vector<std::vector<char>> near(static_cast<std::size_t>(h),
                                      std::vector<char>(static_cast<std::size_t>(w), 0));
  for (int y = 0; y < h; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    std::vector<char>& out = near[static_cast<std::size_t>(y)];
    for (int x = 0; x < w; ++x) {
      if (qAlpha(line[x]) < 128) continue;
      for (int nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx)
        out[static_cast<std::size_t>(nx)] = 1;
    }
  }
  const QRgb light = qRgba(255, 255, 255, 210);
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(rim.scanLine(y));
    for (int ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny) {
      const std::vector<char>& from = near[static_cast<std::size_t>(ny)];
      for (int x = 0; x < w; ++x)
        if (from[static_cast<std::size_t>(x)]) line[x] = light;
    }
  }
  QPainter painter(&rim);
  painter.drawImage(0, 0, source);
  painter.end();
  QPixmap result = QPixmap::fromImage(rim);
  result.setDevicePixelRatio(picture.devicePixelRatio());
  return result;
}

// A style picture with the light rim, made for each size, mode and state
// only when it is first drawn: the style offers each picture in many sizes,
// and a window asks for its pictures when it is built, not when it shows.
// The picture itself is taken from the style underneath only then too
// (the first one loads the desktop's icon theme).
class RimmedIconEngine : public QIconEngine {
 public:
  RimmedIconEngine(const QProxyStyle* style, QStyle::StandardPixmap picture)
      : style_(const_cast<QProxyStyle*>(style)), picture_(picture) {}
  // The picture as the style underneath gave it already.
  explicit RimmedIconEngine(QIcon plain) : resolved_(true), plain_(std::move(plain)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                       qreal scale) override {
    const Key key{size.width(), size.height(), static_cast<int>(mode), static_cast<int>(state),
                  scale};
    const auto made = made_.find(key);
    if (made != made_.end()) return made->second;
    const QIcon& plain = Plain();
    const QPixmap picture = scale == 1.0 ? plain.pixmap(size, mode, state)
                                         : plain.pixmap(size / scale, scale, mode, state);
    const QPixmap rimmed = picture.isNull() ? picture : WithLightRim(picture);
    made_.emplace(key, rimmed);
    return rimmed;
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Plain().actualSize(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Plain().availableSizes(mode, state);
  }
  bool isNull() override { return Plain().isNull(); }
  QIconEngine* clone() const override { return new RimmedIconEngine(*this); }
  QString key() const override { return QStringLiteral("VolKarnRimmed"); }

 private:
  using Key = std::tuple<int, int, int, int, qreal>;

  const QIcon& Plain() {
    if (!resolved_) {
      resolved_ = true;
      // A style replaced meanwhile: the application's style draws it.
      plain_ = style_ != nullptr ? style_->QProxyStyle::standardIcon(picture_)
                                 : QApplication::style()->standardIcon(picture_);
    }
    return plain_;
  }

  QPointer<QProxyStyle> style_;
  QStyle::StandardPixmap picture_ = QStyle::SP_CustomBase;
  bool resolved_ = false;
  QIcon plain_;
  std::map<Key, QPixmap> made_;
};

}  // namespace

ProgramStyle::ProgramStyle(const QString& baseStyle) : QProxyStyle(baseStyle) {}

void ProgramStyle::DrawFocusFrame(QPainter* painter, const QRect& outline,
                                  const QPalette& palette) {
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  QPen pen(palette.color(QPalette::Active, QPalette::Highlight), 2);
  pen.setJoinStyle(Qt::MiterJoin);
  painter->setPen(pen);
  painter->setBrush(Qt::NoBrush);
  // Two pixels wide, one pixel inside the outline.
  painter->drawRect(QRectF(outline).adjusted(2, 2, -2, -2));
  painter->restore();
}

bool ProgramStyle::DrawGroupBoxFrame(const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
  if (baseStyle() == nullptr ||
      baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
    return false;
  if (groupBoxFrame_.isNull()) {
    // Fusion's own picture of the frame, read as what it is: left to guess
    // the format, the reader first asks (and so loads) every image format
    // plugin, and the first group box on the screen would wait for them.
    QImageReader reader(
        QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png"), "png");
    reader.setAutoDetectImageFormat(false);
    const QImage picture = reader.read();
    if (picture.isNull()) return false;
    groupBoxFrame_ = QPixmap::fromImage(picture);
  }
  // Placed as Fusion places it: below the title, or near the top without one.
  constexpr int kTopMargin = 3;
  int top = kTopMargin;
  const auto* box = qobject_cast<const QGroupBox*>(widget);
  if (box == nullptr || box->isCheckable() || !box->title().isEmpty())
    top += std::max(baseStyle()->pixelMetric(PM_ExclusiveIndicatorHeight, nullptr, widget),
                    option->fontMetrics.height());
  qDrawBorderPixmap(painter, option->rect.adjusted(0, top, 0, 0), QMargins(6, 6, 6, 6),
                    groupBoxFrame_);
  return true;
}

void ProgramStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
  if (element == PE_FrameFocusRect) {
    // A plain line round the focused item, label or cell, in the
    // highlight colour (on a highlighted row in its text colour) instead
    // of a faint shade.
    const auto* focus = qstyleoption_cast<const QStyleOptionFocusRect*>(option);
    const QPalette& p = option->palette;
    const QColor highlight = p.color(QPalette::Active, QPalette::Highlight);
    const bool onHighlight = focus != nullptr && focus->backgroundColor == highlight;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(onHighlight ? p.color(QPalette::Active, QPalette::HighlightedText) : highlight);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
    return;
  }
  if (element == PE_FrameGroupBox && DrawGroupBoxFrame(option, painter, widget)) return;
  QProxyStyle::drawPrimitive(element, option, painter, widget);
  if (element == PE_IndicatorCheckBox) {
    // The edge in the text colour softened towards the box's own: as plain
    // on the box as a text would be.
    const QPalette& p = option->palette;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(Mixed(p.color(QPalette::Text), p.color(QPalette::Base), 0.7));
    painter->setBrush(Qt::NoBrush);
    const int side = std::min(option->rect.width(), option->rect.height());
    QRect box(0, 0, side, side);
    box.moveCenter(option->rect.center());
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    painter->restore();
  }
}

void ProgramStyle::drawControl(ControlElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
  if (element == CE_PushButton) {
    if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
      const QStyleOptionButton plain = WithoutFocus(*button);
      QProxyStyle::drawControl(element, &plain, painter, widget);
      if (button->state & State_HasFocus) DrawFocusFrame(painter, button->rect, button->palette);
      return;
    }
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

void ProgramStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                      QPainter* painter, const QWidget* widget) const {
  if (control == CC_ToolButton) {
    if (const auto* button = qstyleoption_cast<const QStyleOptionToolButton*>(option)) {
      const QStyleOptionToolButton plain = WithoutFocus(*button);
      QProxyStyle::drawComplexControl(control, &plain, painter, widget);
      if (button->state & State_HasFocus) DrawFocusFrame(painter, button->rect, button->palette);
      return;
    }
  }
  // Combo boxes and spin boxes show their focus as after a Tab.
  QStyleOptionComboBox combo;
  QStyleOptionSpinBox spin;
  const QStyleOptionComplex* shown = option;
  if (const auto* c = qstyleoption_cast<const QStyleOptionComboBox*>(option)) {
    combo = WithVisibleFocus(*c);
    shown = &combo;
  } else if (const auto* b = qstyleoption_cast<const QStyleOptionSpinBox*>(option)) {
    spin = WithVisibleFocus(*b);
    shown = &spin;
  }
  QProxyStyle::drawComplexControl(control, shown, painter, widget);
}

QIcon ProgramStyle::standardIcon(StandardPixmap picture, const QStyleOption* option,
                                 const QWidget* widget) const {
  // A picture asked for without option and widget is the same every time:
  // made once.
  const bool plainRequest = option == nullptr && widget == nullptr;
  if (plainRequest) {
    const auto made = rimmed_.find(picture);
    if (made != rimmed_.end()) return made->second;
  }
  if (!plainRequest) {
    // Option and widget are not kept: the picture is taken now.
    const QIcon plain = QProxyStyle::standardIcon(picture, option, widget);
    return plain.isNull() ? plain : QIcon(new RimmedIconEngine(plain));
  }
  const QIcon result(new RimmedIconEngine(this, picture));
  rimmed_.emplace(picture, result);
  return result;
}

void UseProgramStyle() {
  QStyle* current = QApplication::style();
  if (qobject_cast<ProgramStyle*>(current) != nullptr) return;
  QApplication::setStyle(new ProgramStyle(current != nullptr ? current->name() : QString()));
}
