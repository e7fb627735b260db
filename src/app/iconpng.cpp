// Build tool: draws the program's picture (an SVG file) once per icon
// size into PNG files and writes the resource list that puts them into
// the program. So the program reads small ready pictures at its start
// and needs no SVG renderer of its own.
//
//   vk_iconpng PICTURE.svg OUTPUT_FOLDER
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vk_iconpng PICTURE.svg OUTPUT_FOLDER\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
  if (!svg.isValid()) {
    std::fprintf(stderr, "vk_iconpng: %s is no picture\n", argv[1]);
    return 1;
  }
  const QString folder = QString::fromLocal8Bit(argv[2]);
  QFile list(folder + QStringLiteral("/icons.qrc"));
  if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
  QTextStream out(&list);
  out << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n  <qresource prefix=\"/icons\">\n";
  for (int size : {16, 24, 32, 48, 64, 128}) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    svg.render(&painter);
    painter.end();
    const QString name = QStringLiteral("volkarn-%1.png").arg(size);
    if (!image.save(folder + QLatin1Char('/') + name, "png")) {
      std::fprintf(stderr, "vk_iconpng: cannot write %s\n", qPrintable(name));
      return 1;
    }
    out << "    <file>" << name << "</file>\n";
  }
  out << "  </qresource>\n</RCC>\n";
  return out.status() == QTextStream::Ok && list.flush() ? 0 : 1;
}
