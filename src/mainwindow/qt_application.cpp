#include "mainwindow/qt_application.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <QTranslator>

#include "widgets/qt_look.h"

namespace {

// When a window of the program that has the keyboard closes, a window
// manager gives the keyboard to the window below it; a bare X server (a
// kiosk, a remote display without a desktop) leaves it nowhere, and no
// key reaches the program until the user clicks into it. So the program
// gives it back itself: to the closing dialog's parent window, once the
// dialog is gone and as long as no other window of the program took it.
// When the parent closed with it (a question whose "Ja" also closes the
// window that asked), the keyboard goes to the nearest window below that
// is still open.
class FocusReturn : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::WindowDeactivate) return false;
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (dialog == nullptr || !dialog->isWindow() || dialog->parentWidget() == nullptr) return false;
    QPointer<QDialog> closing = dialog;
    QPointer<QWidget> owner = dialog->parentWidget()->window();
    QTimer::singleShot(0, this, [closing, owner] {
      // Only a dialog that lost the keyboard because it closed, not because
      // the user turned to another program (it is still open then), and
      // unless the window system gave the keyboard to a window already.
      if (closing != nullptr && closing->isVisible()) return;
      QWidget* below = owner;
      while (below != nullptr && !below->isVisible())
        below = below->parentWidget() != nullptr ? below->parentWidget()->window() : nullptr;
      if (below != nullptr && QApplication::activeWindow() == nullptr) below->activateWindow();
    });
    return false;
  }
};

}  // namespace

bool SetUpApplication(QApplication& app) {
  // The application title. No display name: Qt would append it to every
  // window caption.
  QApplication::setApplicationName(QStringLiteral("VolKarn"));
  // The main window ends the program explicitly when it closes; a box or
  // window that closes while the main window is hidden must not.
  QApplication::setQuitOnLastWindowClosed(false);
  app.installEventFilter(new FocusReturn(&app));
  // Focus frames that always show, pictures and boxes seen on any palette.
  UseProgramStyle();
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
