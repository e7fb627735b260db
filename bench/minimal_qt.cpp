// The yardstick of the start-up benchmark: the least a Qt Widgets program
// does to show a window, one window with one label.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QLabel label(QStringLiteral("Hallo"));
  label.resize(400, 300);
  label.show();
  return QApplication::exec();
}
