// The About window.
#include "dialogs/aboutform.h"
#include "widgets/qt_look.h"

#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QShowEvent>

#include "core/catalogue/singlefile.h"

namespace {

const QColor kBackground(170, 197, 255);
const QColor kNavy(0x00, 0x00, 0x80);

}  // namespace

Tabout::Tabout(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setWindowTitle(QStringLiteral(" "));
  setFont(SansFont(11));
  setFixedSize(199, 149);
  FillColour(this, kBackground);
  setMouseTracking(true);

  // Panel2 lies outside the visible area and only takes the focus; it comes
  // first so that no visible control gets the focus when the window opens.
  Panel2 = new QFrame(this);
  Panel2->setGeometry(296, 24, 33, 41);
  Panel2->setFocusPolicy(Qt::StrongFocus);

  Bevel1 = new QFrame(this);
  Bevel1->setGeometry(0, 0, 199, 149);
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Bevel1->setAttribute(Qt::WA_TransparentForMouseEvents);

  Label1 = new QLabel(QStringLiteral("VolKarn"), this);
  Label1->setGeometry(4, 2, 189, 52);
  QFont big = SansFont(37, true);
  big.setWeight(QFont::Black);
  Label1->setFont(big);
  Label1->setAlignment(Qt::AlignCenter);
  TextColour(Label1, kNavy);
  Label4 = MakeLabel(this, QString(), 36, 56);
  // The maker, the year and the licence of the LICENSE file.
  Label3 = MakeLabel(this, QStringLiteral("VolKarn-Projekt 2003, GPLv3+"), 41, 72);
  Label3->setToolTip(QStringLiteral(
      "Lizenz: GNU General Public License, Version 3 oder neuer (GPL-3.0-or-later)"));

  Panel3 = new QFrame(this);
  Panel3->setGeometry(40, 92, 113, 25);
  Panel3->setMouseTracking(true);
  Label2 = MakeLabel(Panel3, QStringLiteral("volkarn.example.org"), 10, 3);
  TextColour(Label2, kNavy);
  Label2->setCursor(Qt::PointingHandCursor);
  Label2->setMouseTracking(true);

  Panel1 = new QFrame(this);
  Panel1->setGeometry(40, 120, 113, 25);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(3);
  Panel1->setFocusPolicy(Qt::TabFocus);
  Panel1->setMouseTracking(true);
  Label5 = MakeLabel(Panel1, QStringLiteral("&OK"), 49, 6);
  Label5->setBuddy(Panel1);

  for (QObject* o :
       {static_cast<QObject*>(this), static_cast<QObject*>(Panel1), static_cast<QObject*>(Panel3),
        static_cast<QObject*>(Label2), static_cast<QObject*>(Label5)})
    o->installEventFilter(this);
  setTabOrder(Panel2, Panel1);
  Panel2->setFocus();
  FormCreate();
}

void Tabout::FormCreate() {
  // The place of the design; every opening returns to it.
  move(366, 256);
  SavedTop = y();
  SavedLeft = x();
  Label4->setText(QStringLiteral("Version 2.0 (22.02.2003)"));
  Label4->adjustSize();
}

void Tabout::FormActivate() {
  move(SavedLeft, SavedTop);
  Panel2->setFocus();
}

void Tabout::showEvent(QShowEvent* event) {
  FormActivate();
  QDialog::showEvent(event);
}

// The window has no cancel key.
void Tabout::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void Tabout::Panel1MouseDown() {
  pressed_ = true;
  Panel1->setLineWidth(1);
}

void Tabout::Panel1MouseUp() {
  pressed_ = false;
  Panel1->setLineWidth(3);
  accept();
}

void Tabout::Panel1Enter() { accept(); }

void Tabout::Label2Click() { ShowTextFile(kWebAddress); }

void Tabout::Label2MouseMove() {
  QFont f = Label2->font();
  if (f.underline()) return;
  f.setUnderline(true);
  Label2->setFont(f);
}

void Tabout::Panel3MouseMove() {
  QFont f = Label2->font();
  if (!f.underline()) return;
  f.setUnderline(false);
  Label2->setFont(f);
}

bool Tabout::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  const bool press = type == QEvent::MouseButtonPress;
  const bool release = type == QEvent::MouseButtonRelease;
  const bool left =
      (press || release) && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
  if (watched == Panel1 || watched == Label5) {
    // The mouse is grabbed by the pressed widget, so the release arrives
    // here wherever it happens.
    if (press && left) {
      Panel1MouseDown();
      return true;
    }
    if (release && left && pressed_) {
      Panel1MouseUp();
      return true;
    }
  }
  if (watched == Panel1 && type == QEvent::FocusIn) {
    Panel1Enter();
    return false;
  }
  if (watched == Label2) {
    if (type == QEvent::Enter) Label2MouseMove();
    if (type == QEvent::Leave) Panel3MouseMove();
    // The move belongs to the link alone; passed on, the panel below
    // would take the underline away again.
    if (type == QEvent::MouseMove) {
      Label2MouseMove();
      return true;
    }
    if (release && left &&
        Label2->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
      Label2Click();
      return true;
    }
  }
  if ((watched == this || watched == Panel1 || watched == Panel3) && type == QEvent::MouseMove)
    Panel3MouseMove();
  return QDialog::eventFilter(watched, event);
}
