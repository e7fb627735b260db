// Program start: the application, its seven windows in their order, the
// event loop.
#include <QApplication>

#include "about/aboutform.h"
#include "backup/kopierform.h"
#include "backup/qt_errorbox.h"
#include "editor/neuform.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_application.h"
#include "mainwindow/qt_forms.h"
#include "sync/neusynform.h"
#include "verify/checkform.h"
#include "verify/restform.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  SetUpApplication(app);
  QtUserInterface boxes;
  SetUserInterface(&boxes);

  TForm1 form1;
  Form1 = &form1;
  if (form1.StartRefused()) return 0;
  TFNeu fneu(&form1);
  FNeu = &fneu;
  TFCheck fcheck(&form1);
  FCheck = &fcheck;
  TFKopie fkopie(&form1);
  FKopie = &fkopie;
  TFRest frest(&form1);
  FRest = &frest;
  TFSynNeu fsynneu(&form1);
  FSynNeu = &fsynneu;
  Tabout fabout(&form1);
  about = &fabout;

  // An end of the event loop that did not come through the main window's
  // close (a session that logs out) still saves catalogue and settings
  // once.
  QObject::connect(&app, &QApplication::aboutToQuit, &form1, [&form1] { form1.close(); });

  form1.show();
  return QApplication::exec();
}
