// Program start: with options of its own the command line, which needs no
// display; otherwise the application, its main window (the other windows
// follow when first opened), the event loop.
#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

#include "cmdline/cmdline.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_application.h"
#include "mainwindow/qt_forms.h"
#include "widgets/qt_errorbox.h"

namespace {

// The program's icon, the same picture as the installed one, drawn in
// each size while building. Each is read as what it is: left to guess the
// format, the reader would first load every image format plugin. Nothing
// larger than 128 pixels: the window system is never handed a larger one
// (a desktop's own icon comes from the installed picture), and reading one
// cost the start a seventh of its time.
QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) {
    QImageReader reader(QStringLiteral(":/icons/volkarn-%1.png").arg(size), "png");
    reader.setAutoDetectImageFormat(false);
    const QImage picture = reader.read();
    if (!picture.isNull()) icon.addPixmap(QPixmap::fromImage(picture));
  }
  return icon;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Decided before any Qt object exists: a run from cron or a timer has no
  // display.
  if (cli::WantsCommandLine(argc, argv)) return cli::Main(argc, argv);

  QApplication app(argc, argv);
  SetUpApplication(app);
  // The desktop entry's name, so that a Wayland desktop finds the icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.volkarn.VolKarn"));
  QApplication::setWindowIcon(ProgramIcon());
  QtUserInterface boxes;
  SetUserInterface(&boxes);

  std::unique_ptr<Forms> forms = CreateForms("volkarn");
  TForm1& form1 = *forms->Main();
  if (form1.StartRefused()) return 0;

  // An end of the event loop that did not come through the main window's
  // close (a session that logs out) still saves catalogue and settings
  // once.
  QObject::connect(&app, &QApplication::aboutToQuit, &form1, [&form1] { form1.close(); });
  // So does a logout that only sends SIGTERM, a closed terminal, Ctrl+C.
  form1.EndOnSignals();

  form1.show();
  // A window manager gives a new program's window the keyboard; a bare X
  // server does not, and no key would reach the program until a click.
  form1.activateWindow();
  return QApplication::exec();
}
