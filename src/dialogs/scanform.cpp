#include "dialogs/scanform.h"
#include "widgets/qt_look.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "widgets/qt_runthread.h"

namespace {
constexpr int kClientWidth = 306;
constexpr int kClientHeight = 123;
constexpr int kBorder = 1;
constexpr int kCaptionHeight = 20;
constexpr int kWidth = kClientWidth + 2 * kBorder;
constexpr int kHeight = kClientHeight + kCaptionHeight + 2 * kBorder;
const QColor kBorderColour(64, 64, 64);
const QColor kCaptionColour(0, 0, 128);
}  // namespace

// Some window managers (openbox among them) put minimise, maximise and
// close on every title bar they draw, whatever the window asks for; so the
// window has none from them and draws its border and caption itself.
Tfscan::Tfscan(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  const QString title = QStringLiteral("Verzeichnisse durchsuchen ...");
  setWindowTitle(title);
  setFixedSize(kWidth, kHeight);
  setModal(false);
  setFont(SansFont(11));
  FillColour(this, QColor(186, 217, 254));

  Caption = new QLabel(title, this);
  Caption->setGeometry(kBorder, kBorder, kClientWidth, kCaptionHeight);
  Caption->setFont(SansFont(12, true));
  Caption->setIndent(6);
  FillColour(Caption, kCaptionColour);
  TextColour(Caption, Qt::white);

  Client = new QWidget(this);
  Client->setGeometry(kBorder, kBorder + kCaptionHeight, kClientWidth, kClientHeight);
  Label1 = new QLabel(QStringLiteral("Suche läuft in ..."), Client);
  Label1->move(16, 8);
  Label1->adjustSize();
  Label2 = new QLabel(Client);
  Label2->setGeometry(16, 32, 281, 16);
  Label3 = new QLabel(Client);
  Label3->setGeometry(16, 56, 281, 16);
  Button1 = new QPushButton(QStringLiteral("Abbrechen"), Client);
  Button1->setGeometry(116, 88, 75, 25);
  Button1->setAutoDefault(false);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

  frames_ = new QTimer(this);
  frames_->setInterval(16);  // about one frame of a 60 Hz screen
  connect(frames_, &QTimer::timeout, this, [this] { DrawFrame(); });
}

void Tfscan::Button1Click() { SetRunning(false); }

void Tfscan::ShowScanWindow() {
  Label2->clear();
  if (const QScreen* screen = QApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kWidth / 2, kHeight / 2));
  }
  show();
  raise();
  activateWindow();
  repaint();
  Button1->setFocus();
}

void Tfscan::HideScanWindow() { hide(); }

void Tfscan::RunScan(const std::function<void()>& scan) {
  TakeShown();  // nothing left over from an earlier scan
  frames_->start();
  guithread::RunAside(scan);
  frames_->stop();
  DrawFrame();  // the last count, exact
}

void Tfscan::ShowDirectory(const std::string& directory) {
  ScanHandover::ShowDirectory(directory);
  if (guithread::IsGuiThread()) DrawFrame();
}

void Tfscan::ShowFileCount(const std::string& text) {
  ScanHandover::ShowFileCount(text);
  if (guithread::IsGuiThread()) DrawFrame();
}

void Tfscan::DrawFrame() {
  const Shown shown = TakeShown();
  if (!isVisible()) return;
  if (shown.directory) {
    const QString full = QString::fromStdString(*shown.directory);
    // Long paths keep their beginning and their end.
    Label2->setText(Label2->fontMetrics().elidedText(full, Qt::ElideMiddle, Label2->width()));
    Label2->setToolTip(full);
    Label2->repaint();
  }
  if (shown.fileCount) {
    Label3->setText(QString::fromStdString(*shown.fileCount));
    Label3->repaint();
  }
}

void Tfscan::closeEvent(QCloseEvent* event) { event->ignore(); }

void Tfscan::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized())
    setWindowState(windowState() & ~Qt::WindowMinimized);
}

void Tfscan::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter p(this);
  p.setPen(kBorderColour);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}
