#include "dialogs/scanform.h"
#include "widgets/qt_look.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int kClientWidth = 306;
constexpr int kClientHeight = 123;
}  // namespace

Tfscan::Tfscan(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Verzeichnisse durchsuchen ..."));
  setFixedSize(kClientWidth, kClientHeight);
  setModal(false);
  setFont(SansFont(11));
  FillColour(this, QColor(186, 217, 254));

  Label1 = new QLabel(QStringLiteral("Suche läuft in ..."), this);
  Label1->move(16, 8);
  Label1->adjustSize();
  Label2 = new QLabel(this);
  Label2->setGeometry(16, 32, 281, 16);
  Label3 = new QLabel(this);
  Label3->setGeometry(16, 56, 281, 16);
  Button1 = new QPushButton(QStringLiteral("Abbrechen"), this);
  Button1->setGeometry(116, 88, 75, 25);
  Button1->setAutoDefault(false);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void Tfscan::Button1Click() { Running = false; }

void Tfscan::ShowScanWindow() {
  Label2->clear();
  if (const QScreen* screen = QApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
  show();
  raise();
  activateWindow();
  repaint();
  Button1->setFocus();
}

void Tfscan::HideScanWindow() { hide(); }

void Tfscan::ProcessPendingEvents() { QApplication::processEvents(); }

void Tfscan::ShowDirectory(const std::string& directory) {
  if (!isVisible()) return;
  const QString full = QString::fromStdString(directory);
  // Long paths keep their beginning and their end.
  Label2->setText(Label2->fontMetrics().elidedText(full, Qt::ElideMiddle, Label2->width()));
  Label2->setToolTip(full);
  Label2->repaint();
}

void Tfscan::ShowFileCount(const std::string& text) {
  if (!isVisible()) return;
  Label3->setText(QString::fromStdString(text));
  Label3->repaint();
}

void Tfscan::closeEvent(QCloseEvent* event) { event->ignore(); }
