#include "mainwindow/qt_application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool SetUpApplication(QApplication& app) {
  // The application title. No display name: Qt would append it to every
  // window caption.
  QApplication::setApplicationName(QStringLiteral("VolKarn"));
  // The main window ends the program explicitly when it closes; a box or
  // window that closes while the main window is hidden must not.
  QApplication::setQuitOnLastWindowClosed(false);
  // The whole program speaks German, whatever the desktop's language: so do
  // Qt's own file dialogs, their boxes and the context menus.
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral("qtbase_de"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QApplication::installTranslator(translator);
  return true;
}
