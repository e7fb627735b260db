#include "widgets/qt_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygon>
#include <functional>

namespace pictures {

namespace {

constexpr int kSize = 16;

QIcon Draw(const std::function<void(QPainter&)>& paint) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  {
    QPainter p(&pixmap);
    paint(p);
  }
  return QIcon(pixmap);
}

const QColor kArrowBlue(0, 64, 200);
const QColor kArrowEdge(0, 0, 128);

// The arrow from the bottom up to `tipY`: a shaft and a triangular head.
void PaintArrow(QPainter& p, int tipY) {
  p.setPen(kArrowEdge);
  p.setBrush(kArrowBlue);
  const QPolygon arrow{QPoint(7, tipY), QPoint(13, tipY + 6), QPoint(10, tipY + 6), QPoint(10, 14),
                       QPoint(5, 14),   QPoint(5, tipY + 6),  QPoint(2, tipY + 6)};
  p.drawPolygon(arrow);
}

void PaintFolder(QPainter& p, int x, int y, const QColor& fill) {
  p.setPen(QColor(128, 96, 0));
  p.setBrush(fill);
  p.drawPolygon(QPolygon{QPoint(x, y + 1), QPoint(x + 3, y + 1), QPoint(x + 4, y + 2),
                         QPoint(x + 9, y + 2), QPoint(x + 9, y + 7), QPoint(x, y + 7)});
  p.drawLine(x, y + 3, x + 9, y + 3);
}

void PaintLens(QPainter& p, QPointF centre, qreal radius) {
  p.setPen(QPen(Qt::black, 1.2));
  p.setBrush(QColor(170, 210, 255));
  p.drawEllipse(centre, radius, radius);
  p.setPen(QPen(Qt::white, 1.0));
  p.drawArc(QRectF(centre.x() - radius + 1.5, centre.y() - radius + 1.5, radius, radius), 90 * 16,
            90 * 16);
}

}  // namespace

QIcon ArrowUp() {
  return Draw([](QPainter& p) { PaintArrow(p, 2); });
}

QIcon ArrowUpToBar() {
  return Draw([](QPainter& p) {
    p.fillRect(QRect(2, 1, 12, 2), kArrowEdge);
    PaintArrow(p, 4);
  });
}

QIcon FolderStack() {
  return Draw([](QPainter& p) {
    PaintFolder(p, 5, 1, QColor(255, 236, 150));
    PaintFolder(p, 3, 4, QColor(255, 224, 110));
    PaintFolder(p, 1, 7, QColor(245, 205, 60));
  });
}

QIcon Binoculars() {
  return Draw([](QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(QColor(40, 40, 40));
    // Two barrels joined by a bridge, lenses at the bottom.
    p.drawRect(QRectF(2.5, 3.5, 4, 6));
    p.drawRect(QRectF(9.5, 3.5, 4, 6));
    p.drawRect(QRectF(6.5, 5.5, 3, 2));
    p.setBrush(QColor(70, 70, 70));
    p.drawEllipse(QRectF(0.5, 8.5, 7, 7));
    p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
    p.setBrush(QColor(120, 190, 255));
    p.drawEllipse(QRectF(2, 10, 4, 4));
    p.drawEllipse(QRectF(10, 10, 4, 4));
  });
}

QIcon Magnifier() {
  return Draw([](QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 60, 20), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.5, 9.5), QPointF(14.5, 14.5));
    PaintLens(p, QPointF(6.5, 6.5), 5.0);
  });
}

QIcon CloseCross() {
  return Draw([](QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    const QLineF strokes[] = {{3.5, 3.5, 12.5, 12.5}, {12.5, 3.5, 3.5, 12.5}};
    // The light rim shows on a dark button, the red on a light one.
    p.setPen(QPen(QColor(255, 255, 255, 230), 4.6, Qt::SolidLine, Qt::RoundCap));
    for (const QLineF& line : strokes) p.drawLine(line);
    p.setPen(QPen(QColor(200, 0, 0), 2.4, Qt::SolidLine, Qt::RoundCap));
    for (const QLineF& line : strokes) p.drawLine(line);
  });
}

}  // namespace pictures
