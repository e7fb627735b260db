// Program start: the application, its seven windows in their order, the
// event loop.
#include <QApplication>

#include "backup/qt_errorbox.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_application.h"
#include "mainwindow/qt_forms.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  SetUpApplication(app);
  QtUserInterface boxes;
  SetUserInterface(&boxes);

  std::unique_ptr<Forms> forms = CreateForms("volkarn");
  TForm1& form1 = *forms->form1;
  if (form1.StartRefused()) return 0;

  // An end of the event loop that did not come through the main window's
  // close (a session that logs out) still saves catalogue and settings
  // once.
  QObject::connect(&app, &QApplication::aboutToQuit, &form1, [&form1] { form1.close(); });

  form1.show();
  return QApplication::exec();
}
