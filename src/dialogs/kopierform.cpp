#include "dialogs/kopierform.h"
#include "widgets/qt_look.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QHeaderView>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "base/windowplace.h"
#include "core/backup/backuprun.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/daten.h"
#include "widgets/qt_runthread.h"

namespace {

const QColor kPanelColour(255, 249, 174);
const QColor kHeaderColour(255, 245, 125);
const QColor kCheckedColour(0, 128, 0);
const QColor kUncheckedColour(255, 0, 0);

constexpr int kMinWidth = 400;
constexpr int kHeaderHeight = 57;    // Panel1
constexpr int kRunAreaHeight = 153;  // Panel2
// The smallest stored height that shows every control (header, three rows
// of the grid, the run area), and the size of a first opening.
constexpr int kMinHeight = kHeaderHeight + 4 * 16 + 8 + kRunAreaHeight;
constexpr int kOpeningWidth = 640;
constexpr int kOpeningHeight = 420;

QWidget* MakePanel(QWidget* parent) {
  auto* panel = new QWidget(parent);
  FillColour(panel, kPanelColour);
  return panel;
}

QFont PixelFont(int pixels, bool bold) { return SansFont(pixels, bold); }

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// ------------------------------------------------------------- animation --

CopyAnimation::CopyAnimation(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
  timer_->setInterval(70);
  QObject::connect(timer_, &QTimer::timeout, this, [this] {
    frame_ = frame_ >= kLastFrame ? 0 : frame_ + 1;
    update();
  });
}

void CopyAnimation::Start() {
  frame_ = 0;
  timer_->start();
}

void CopyAnimation::Stop() { timer_->stop(); }

bool CopyAnimation::Active() const { return timer_->isActive(); }

void CopyAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const int h = height();
  const int folderW = 54;
  const int folderH = 36;
  const int top = h - folderH - 4;
  auto drawFolder = [&](int x) {
    QPainterPath tab;
    tab.addRoundedRect(QRectF(x, top - 6, folderW * 0.4, 10), 2, 2);
    p.setPen(QPen(QColor(150, 110, 20), 1));
    p.setBrush(QColor(225, 180, 60));
    p.drawPath(tab);
    p.drawRoundedRect(QRectF(x, top, folderW, folderH), 3, 3);
  };
  const int leftX = 8;
  const int rightX = width() - folderW - 8;
  drawFolder(leftX);
  drawFolder(rightX);

  // One sheet on its way from the left folder to the right one.
  const double t = static_cast<double>(frame_) / kLastFrame;
  const double startX = leftX + folderW / 2.0 - 8;
  const double endX = rightX + folderW / 2.0 - 8;
  const double x = startX + (endX - startX) * t;
  const double y = top - 8 - std::sin(t * 3.14159265) * (top - 12);
  QRectF sheet(x, y, 16, 20);
  p.setPen(QPen(QColor(90, 90, 90), 1));
  p.setBrush(Qt::white);
  p.drawRect(sheet);
  p.setPen(QPen(QColor(120, 140, 200), 1));
  for (int i = 0; i < 4; ++i)
    p.drawLine(QPointF(x + 3, y + 5 + i * 4), QPointF(x + 13, y + 5 + i * 4));
}

// ------------------------------------------------------------- file line --

PathLabel::PathLabel(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

const QString& PathLabel::Current() const {
  std::lock_guard<std::mutex> lock(laterMutex_);
  if (laterWaiting_) {
    text_ = QString::fromStdString(later_);
    laterWaiting_ = false;
  }
  return text_;
}

void PathLabel::setText(const QString& text) {
  {
    std::lock_guard<std::mutex> lock(laterMutex_);
    laterWaiting_ = false;
  }
  text_ = text;
  update();
}

void PathLabel::hideEvent(QHideEvent*) { painted_ = false; }

void PathLabel::ShowNow(const QString& text, bool now) {
  // The folder part is still on the screen when only the name changes:
  // then only the name is drawn again.
  const qsizetype slash = text.lastIndexOf(QLatin1Char('/')) + 1;
  const bool sameFolder = painted_ && prefixWidth_ > 0 && prefixWidth_ < width() &&
                          QStringView(text).left(slash) == prefix_;
  {
    std::lock_guard<std::mutex> lock(laterMutex_);
    laterWaiting_ = false;
  }
  text_ = text;
  const QRect part = sameFolder ? QRect(prefixWidth_, 0, width() - prefixWidth_, height()) : rect();
  if (now)
    repaint(part);
  else
    update(part);
}

void PathLabel::paintEvent(QPaintEvent* event) {
  Current();
  QPainter p(this);
  const QColor background = palette().color(QPalette::Window);
  p.fillRect(event->rect(), background);
  p.setPen(palette().color(QPalette::WindowText));
  const QFontMetrics metrics(font());
  const int baseline = (height() - metrics.height()) / 2 + metrics.ascent();
  // The folder part of the line is the same for every file of a folder:
  // it is drawn once into a picture, and only the file name is laid out
  // and drawn again for each file.
  const qsizetype slash = text_.lastIndexOf(QLatin1Char('/')) + 1;
  const QStringView folder = QStringView(text_).left(slash);
  if (folder != prefix_ || prefixImage_.devicePixelRatio() != devicePixelRatioF() ||
      prefixBackground_ != background || prefixHeight_ != height() || prefixFont_ != font()) {
    prefix_ = folder.toString();
    prefixBackground_ = background;
    prefixHeight_ = height();
    prefixFont_ = font();
    const qreal ratio = devicePixelRatioF();
    const int w = std::max(1, metrics.horizontalAdvance(prefix_));
    prefixImage_ = QPixmap(QSize(w, std::max(1, height())) * ratio);
    prefixImage_.setDevicePixelRatio(ratio);
    prefixImage_.fill(background);
    QPainter ip(&prefixImage_);
    ip.setFont(font());
    ip.setPen(palette().color(QPalette::WindowText));
    ip.drawText(QPointF(0, baseline), prefix_);
    prefixWidth_ = prefix_.isEmpty() ? 0 : w;
  }
  if (prefixWidth_ > 0 && event->rect().left() < prefixWidth_) p.drawPixmap(0, 0, prefixImage_);
  painted_ = true;
  // The name: its glyphs straight from the font when it has them all (no
  // text layout needed), otherwise through the full text layout, which
  // also finds fallback fonts.
  const QStringView name = QStringView(text_).mid(slash);
  if (!rawFont_.isValid() || rawFontSource_ != font()) {
    rawFontSource_ = font();
    rawFont_ = QRawFont::fromFont(font());
  }
  bool plain = rawFont_.isValid();
  for (QChar c : name) {
    if (c.unicode() < 0x20 || c.unicode() >= 0x250 || !rawFont_.supportsCharacter(c)) {
      plain = false;
      break;
    }
  }
  if (plain) {
    QVector<quint32> glyphs = rawFont_.glyphIndexesForString(name.toString());
    QVector<QPointF> advances = rawFont_.advancesForGlyphIndexes(glyphs);
    QVector<QPointF> positions(glyphs.size());
    qreal x = 0;
    for (int i = 0; i < glyphs.size(); ++i) {
      positions[i] = QPointF(x, 0);
      x += advances[i].x();
    }
    QGlyphRun run;
    run.setRawFont(rawFont_);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    p.drawGlyphRun(QPointF(prefixWidth_, baseline), run);
  } else {
    p.drawText(QPointF(prefixWidth_, baseline), name.toString());
  }
}

// --------------------------------------------------------------- observer --

// The run window as the engine sees it. The run works on a thread of its
// own; the window's thread only draws and takes the input. The run hands
// over the line of the current file and the count display, and the
// window draws whatever is latest once per frame of the screen (a timer
// of 16 ms), so the screen always shows the latest file and count, the
// exact count of a folder's end at the next frame even when the run then
// stays busy with one long copy, and the end of the run at once. The count
// cells of the grid (a few per folder) go to the window in the order they
// come. "Abbrechen" leaves a note that the run takes before its next
// entry; the run never waits for the window, except for the boxes and
// questions it asks and the end of its walk.
class TFKopie::Observer : public RunObserver {
 public:
  explicit Observer(TFKopie* form) : form_(form) {}

  // ---- on the run's thread ----
  void SetCurrentFile(const std::string& text) override { form_->Label7->SetTextLater(text); }
  void SetCount(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    count_ = text;
    countWaiting_ = true;
  }
  void SetRowCount(int row, const std::string& text) override {
    guithread::Post([form = form_, row, cell = Q(text)] { form->SetCell(2, row, cell); });
  }
  void ProcessEvents() override {
    if (form_->TakeCancel()) form_->engine_.Cancel();
  }
  void WalkEnded() override {
    guithread::Call([this] { form_->WalkEnded(); });
  }

  // ---- on the window's thread ----
  // A new run starts with nothing held back and draws its first file at
  // the first frame.
  void Begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    countWaiting_ = false;
  }
  // Draws the latest line and count, both in one drawing.
  void DrawNow() {
    std::string count;
    bool countWaiting = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      countWaiting = countWaiting_;
      if (countWaiting) count.swap(count_);
      countWaiting_ = false;
    }
    // Both in one drawing (one hand-over to the display): the line is
    // marked and drawn together with the count.
    if (form_->Label7->TextWaiting()) form_->Label7->ShowNow(form_->Label7->text(), !countWaiting);
    if (countWaiting) {
      form_->Label8->setText(Q(count).replace(QLatin1Char('\r'), QLatin1Char('\n')));
      form_->Label8->repaint();
    }
  }

 private:
  TFKopie* form_;
  std::mutex mutex_;  // guards count_ and countWaiting_
  std::string count_;
  bool countWaiting_ = false;
};

// ------------------------------------------------------------------ form --

TFKopie::TFKopie(QWidget* parent, AppState* state)
    : RunDialog(parent), state_(state), observer_(std::make_unique<Observer>(this)) {
  setWindowTitle(QStringLiteral("Sicherungslauf"));
  setFont(PixelFont(11, false));
  // As low as the window system lets it get: the grid gives way first.
  setMinimumSize(kMinWidth, 0);
  setSizeGripEnabled(false);

  Panel1 = MakePanel(this);
  Label1 = new QLabel(QStringLiteral("Name der Sicherung:"), Panel1);
  Label2 = new QLabel(Panel1);
  Label2->setFont(PixelFont(11, true));
  Label3 = new QLabel(QStringLiteral("Zu kopierende Dateien:"), Panel1);
  Label4 = new QLabel(QStringLiteral("Alle Dateien"), Panel1);
  Label4->setFont(PixelFont(11, true));

  SG1 = new QTableWidget(0, 3, this);
  SG1->verticalHeader()->hide();
  SG1->verticalHeader()->setMinimumSectionSize(16);
  SG1->verticalHeader()->setDefaultSectionSize(16);
  SG1->horizontalHeader()->setDefaultSectionSize(220);
  SG1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  SG1->horizontalHeader()->setStretchLastSection(false);
  SG1->horizontalHeader()->setHighlightSections(false);
  SG1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SG1->horizontalHeader()->setStyleSheet(
      QStringLiteral("QHeaderView::section { background-color: rgb(255,245,125); color: black;"
                     " border: 0px; border-right: 1px solid #a0a0a0;"
                     " border-bottom: 1px solid #a0a0a0; padding-left: 3px; }"));
  SG1->setHorizontalHeaderLabels({QStringLiteral("Zu sichernde Verzeichnisse"),
                                  QStringLiteral("Zielverzeichnisse"), QStringLiteral("Anzahl")});
  SG1->setShowGrid(true);
  // Tab leaves the grid; the arrow keys move inside it.
  SG1->setTabKeyNavigation(false);
  SG1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SG1->setSelectionMode(QAbstractItemView::NoSelection);
  SG1->setFocusPolicy(Qt::NoFocus);
  SG1->setWordWrap(false);
  SG1->setTextElideMode(Qt::ElideNone);
  SG1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SG1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  SG1->horizontalHeader()->viewport()->installEventFilter(this);
  SG1->viewport()->installEventFilter(this);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->hide();

  Panel2 = MakePanel(this);
  MakeRunArea(Panel2);

  Panel3 = MakePanel(Panel2);
  RB1 = new QRadioButton(QStringLiteral("Komplettsicherung"), Panel3);
  RB1->setFont(PixelFont(13, true));
  RB1->setChecked(true);
  RB2 = new QRadioButton(QStringLiteral("Ergänzungssicherung"), Panel3);
  RB2->setFont(PixelFont(13, true));
  CheckBox1 = new QCheckBox(QStringLiteral("Programm nach Kopiervorgang beenden"), Panel3);
  CheckBox2 = new QCheckBox(QStringLiteral("Verzeichnisdatum berücksichtigen"), Panel3);
  CheckBox3 = new QCheckBox(QStringLiteral("&Nur anzeigen, nichts kopieren"), Panel3);
  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay),
                            QStringLiteral("Kopiervorgang starten"), Panel3);
  BitBtn2->setFont(PixelFont(11, true));
  BitBtn2->setDefault(true);
  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                            QStringLiteral("S&chließen"), Panel3);
  BitBtn1->setAutoDefault(false);

  connect(RB1, &QRadioButton::toggled, this, [this](bool on) {
    if (on) RB1Click();
  });
  connect(RB2, &QRadioButton::toggled, this, [this](bool on) {
    if (on) RB2Click();
  });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
  connect(BitBtn5, &QPushButton::clicked, this, [this] { reject(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { reject(); });

  // The buttons of the run and of its end lie under the choices: while
  // the choices are shown they are hidden, so that they take neither an
  // access key nor Return.
  Panel3->installEventFilter(this);
  ShowStateControls();

  resize(kOpeningWidth, kOpeningHeight);
  LayoutControls();
  ApplyMode();
}

void TFKopie::ShowStateControls() {
  const bool choosing = !Panel3->isHidden();
  BitBtn4->setVisible(!choosing);
  BitBtn5->setVisible(!choosing);
  Label8->setVisible(!choosing);
  BitBtn2->setDefault(choosing);
}

TFKopie::~TFKopie() = default;

// ------------------------------------------------------------------- grid --

int TFKopie::RowCount() const { return SG1->rowCount() + 1; }

QString TFKopie::Cell(int column, int row) const {
  if (row == 0) {
    QTableWidgetItem* item = SG1->horizontalHeaderItem(column);
    return item != nullptr ? item->text() : QString();
  }
  QTableWidgetItem* item = SG1->item(row - 1, column);
  return item != nullptr ? item->text() : QString();
}

void TFKopie::SetCell(int column, int row, const QString& text) {
  if (row == 0) {
    SG1->setHorizontalHeaderItem(column, new QTableWidgetItem(text));
    return;
  }
  if (row > SG1->rowCount()) SG1->setRowCount(row);
  QTableWidgetItem* item = SG1->item(row - 1, column);
  if (item == nullptr)
    SG1->setItem(row - 1, column, new QTableWidgetItem(text));
  else
    item->setText(text);
}

void TFKopie::SetDirectoryRows(const std::vector<std::pair<QString, QString>>& rows) {
  SG1->setRowCount(static_cast<int>(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    int r = static_cast<int>(i) + 1;
    SetCell(0, r, rows[i].first);
    SetCell(1, r, rows[i].second);
    SetCell(2, r, QString());
  }
}

void TFKopie::Open(const RunRequest& request) {
  request_ = request;
  Panel3->setGeometry(Panel2->rect());
  Panel3->show();
  // Each opening starts as a real run, with the grid in view.
  CheckBox3->setChecked(false);
  Memo1->hide();
  Memo1->clear();
  SG1->show();
  const QString name = Q(request.JobName);
  setWindowTitle(QStringLiteral("Sicherung \"") + name + QStringLiteral("\""));
  Label2->setText(name);
  std::vector<std::pair<QString, QString>> rows;
  for (const CopyRow& row : request.Rows) rows.emplace_back(Q(row.source), Q(row.target));
  SetDirectoryRows(rows);
}

int TFKopie::GridClientWidth() const { return SG1->viewport()->width(); }

void TFKopie::FitLastColumn() {
  // The last column takes the rest. When the window got too narrow for
  // that, the columns before it give way, so that the grid never needs a
  // horizontal scroll bar.
  constexpr int kNarrowest = 40;
  const int client = GridClientWidth();
  if (client <= 3 * kNarrowest) return;  // not laid out yet
  int c0 = SG1->columnWidth(0);
  int c1 = SG1->columnWidth(1);
  if (client - c0 - c1 < kNarrowest) c1 = std::max(kNarrowest, client - c0 - kNarrowest);
  if (client - c0 - c1 < kNarrowest) c0 = std::max(kNarrowest, client - c1 - kNarrowest);
  if (c0 != SG1->columnWidth(0)) SG1->setColumnWidth(0, c0);
  if (c1 != SG1->columnWidth(1)) SG1->setColumnWidth(1, c1);
  const int rest = client - c0 - c1;
  if (rest != SG1->columnWidth(2)) SG1->setColumnWidth(2, rest);
}

// ----------------------------------------------------------------- layout --

void TFKopie::LayoutControls() {
  const int w = width();
  const int h = height();
  Panel1->setGeometry(0, 0, w, kHeaderHeight);
  Label1->setGeometry(8, 10, 140, 16);
  Label2->setGeometry(150, 10, w - 158, 16);
  Label3->setGeometry(8, 32, 140, 16);
  Label4->setGeometry(150, 32, w - 158, 16);

  SG1->setGeometry(0, kHeaderHeight, w, std::max(0, h - kHeaderHeight - kRunAreaHeight));
  Memo1->setGeometry(SG1->geometry());

  Panel2->setGeometry(0, h - kRunAreaHeight, w, kRunAreaHeight);
  LayoutRunArea(w);

  Panel3->setGeometry(0, 0, w, kRunAreaHeight);
  RB1->setGeometry(16, 10, 200, 22);
  RB2->setGeometry(16, 34, 200, 22);
  CheckBox1->setGeometry(16, 72, 250, 20);
  CheckBox2->setGeometry(16, 94, 250, 20);
  CheckBox3->setGeometry(16, 116, 250, 20);
  BitBtn2->setGeometry(w - 196, 14, 188, 36);
  BitBtn1->setGeometry(w - 108, 112, 100, 30);
}

// --------------------------------------------------------------- handlers --

void TFKopie::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TFKopie::setVisible(bool visible) {
  // The stored place is restored just before the window appears: a window
  // system places a window once it is on the screen as it likes.
  if (visible && !isVisible()) RestorePlace();
  QDialog::setVisible(visible);
}

void TFKopie::RestorePlace() {
  if (state_ == nullptr) return;
  int left = 0, top = 0, w = 0, h = 0;
  state_->Options.GetKopFormPos(left, top, w, h);
  if (w < kMinWidth || h < kMinHeight) {
    // No stored size (a new settings file holds 0), or one too small for
    // the controls: the window opens at a size that shows them all,
    // centred on the window that opened it. A modal window too small to
    // see would take Return for a run the user cannot watch.
    if (w < kMinWidth) w = kOpeningWidth;
    if (h < kMinHeight) h = kOpeningHeight;
    const QWidget* opener = parentWidget();
    const QRect around = opener != nullptr && opener->isVisible() ? opener->frameGeometry()
                                                                  : QRect(0, 0, 2 * w, 2 * h);
    left = around.center().x() - w / 2;
    top = around.center().y() - h / 2;
  }
  const WindowPlace place = FitToScreen({left, top, w, h});
  move(place.left, place.top);
  resize(place.width, place.height);
}

void TFKopie::FormShow() {
  SetCell(0, 0, QStringLiteral("Zu sichernde Verzeichnisse"));
  SetCell(1, 0, QStringLiteral("Zielverzeichnisse"));
  SetCell(2, 0, QStringLiteral("Anzahl"));
  SG1->setColumnWidth(2, 60);
  SG1->setColumnWidth(1, GridClientWidth() - SG1->columnWidth(0) - SG1->columnWidth(2));
  // Only checking a radio button changes the pair.
  if (request_.FullBackup)
    RB1->setChecked(true);
  else
    RB2->setChecked(true);
  if (state_ != nullptr) {
    CheckBox1->setChecked(state_->Options.GetCB1());
    CheckBox2->setChecked(state_->Options.GetCheckDirDate());
  }
  ApplyMode();
  Label8->clear();
  Label7->clear();
}

void TFKopie::ApplyMode() {
  TextColour(RB1, RB1->isChecked() ? kCheckedColour : kUncheckedColour);
  TextColour(RB2, RB2->isChecked() ? kCheckedColour : kUncheckedColour);
  Label4->setText(RB1->isChecked() ? QStringLiteral("Alle Dateien") : Q(request_.ChangedSinceText));
}

void TFKopie::RB1Click() {
  ApplyMode();
  request_.FullBackup = RB1->isChecked();
}

void TFKopie::RB2Click() {
  ApplyMode();
  request_.FullBackup = RB1->isChecked();
}

void TFKopie::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (width() < kMinWidth) {
    resize(kMinWidth, height());
    return;
  }
  LayoutControls();
  FormResize();
}

void TFKopie::FormResize() {
  FitLastColumn();
  if (state_ != nullptr) state_->Options.SetKopFormPos(x(), y(), width(), height());
}

void TFKopie::SG1MouseUp() {
  if (SG1->columnWidth(2) != GridClientWidth() - SG1->columnWidth(0) - SG1->columnWidth(1))
    FitLastColumn();
}

bool TFKopie::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Panel3 &&
      (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
    ShowStateControls();
  if (watched == SG1->horizontalHeader()->viewport() &&
      event->type() == QEvent::MouseButtonRelease) {
    // Let the header finish the drag first.
    bool handled = QDialog::eventFilter(watched, event);
    QTimer::singleShot(0, this, [this] { SG1MouseUp(); });
    return handled;
  }
  if (watched == SG1->viewport() && event->type() == QEvent::Resize && SG1->isVisible()) {
    // The vertical scroll bar came or went: the last column keeps ending
    // at the grid's right edge.
    QTimer::singleShot(0, this, [this] { FitLastColumn(); });
  }
  return QDialog::eventFilter(watched, event);
}

void TFKopie::FormClose() {
  if (state_ == nullptr) return;
  state_->Options.SetKopFormPos(x(), y(), width(), height());
  state_->Options.SetCB1(CheckBox1->isChecked());
  state_->Options.SetCheckDirDate(CheckBox2->isChecked());
}

// ------------------------------------------------------------ run dialog --

RunDialog::RunDialog(QWidget* parent) : QDialog(parent), frames_(new QTimer(this)) {
  // About one frame of a 60 Hz screen.
  frames_->setInterval(16);
  connect(frames_, &QTimer::timeout, this, [this] { DrawFrame(); });
}

RunDialog::~RunDialog() = default;

void RunDialog::MakeRunArea(QWidget* panel) {
  Animate1 = new CopyAnimation(panel);
  Animate1->hide();
  Label8 = new QLabel(panel);
  Label8->setAlignment(Qt::AlignCenter);
  Label8->setFont(PixelFont(16, true));
  Label7 = new PathLabel(panel);
  Label7->hide();
  BitBtn4 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                            QStringLiteral("Abbrechen"), panel);
  BitBtn4->setAutoDefault(false);
  BitBtn5 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                            QStringLiteral("S&chließen"), panel);
  BitBtn5->setAutoDefault(false);
  BitBtn5->setEnabled(false);
}

void RunDialog::LayoutRowsGridAndRunArea(QWidget* header, QLabel* const (&rows)[6],
                                         int captionWidth, QWidget* grid, QWidget* runPanel) {
  constexpr int kHeaderHeight = 80;
  constexpr int kRunAreaHeight = 153;
  const int w = width();
  const int h = height();
  header->setGeometry(0, 0, w, kHeaderHeight);
  for (int row = 0; row < 3; ++row) {
    rows[2 * row]->setGeometry(8, 10 + 22 * row, captionWidth, 16);
    rows[2 * row + 1]->setGeometry(captionWidth + 10, 10 + 22 * row, w - captionWidth - 18, 16);
  }
  grid->setGeometry(0, kHeaderHeight, w, std::max(0, h - kHeaderHeight - kRunAreaHeight));
  runPanel->setGeometry(0, h - kRunAreaHeight, w, kRunAreaHeight);
  LayoutRunArea(w);
}

void RunDialog::LayoutRunArea(int w) {
  Animate1->setGeometry(4, 8, 272, 60);
  Label8->setGeometry(w - 117 - 4, 8, 117, 61);
  Label7->setGeometry(8, 78, w - 16, 18);
  BitBtn4->setGeometry(w - 2 * 108, 112, 100, 30);
  BitBtn5->setGeometry(w - 108, 112, 100, 30);
}

void RunDialog::closeEvent(QCloseEvent* event) {
  if (running_) {
    // The run goes on; the window closes when it has finished.
    closeRequested_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void RunDialog::reject() {
  if (running_) {
    closeRequested_ = true;
    return;
  }
  QDialog::reject();
}

void RunDialog::done(int result) {
  if (running_) {
    closeRequested_ = true;
    return;
  }
  Closing();
  QDialog::done(result);
}

void RunDialog::BeginRun() {
  running_ = true;
  closeRequested_ = false;
}

void RunDialog::CloseIfAsked() {
  if (!closeRequested_) return;
  closeRequested_ = false;
  reject();
}

void RunDialog::CentreOnOpener() {
  const QWidget* opener = parentWidget();
  if (opener == nullptr || !opener->isVisible()) return;
  const QRect around = opener->frameGeometry();
  const WindowPlace place = FitToScreen(
      {around.center().x() - width() / 2, around.center().y() - height() / 2, width(), height()});
  move(place.left, place.top);
}

void RunDialog::CarryOut(const std::function<void()>& run, const std::function<void()>& ended) {
  BeginRun();
  SetRunningLook(true);
  BitBtn4->setFocus();
  RunBeside(run);
  EndRun();
  if (Animate1->isVisible()) ended();
}

void RunDialog::RunBeside(const std::function<void()>& run) {
  cancel_ = false;
  frames_->start();
  struct Stop {
    RunDialog* dialog;
    ~Stop() { dialog->StopFrames(); }
  } stop{this};
  guithread::RunAside(run);
}

void RunDialog::StopFrames() {
  frames_->stop();
  DrawFrame();
}

void RunDialog::SetRunningLook(bool running) {
  if (running) {
    Animate1->show();
    Animate1->Start();
    BitBtn5->setEnabled(false);
    BitBtn4->setEnabled(true);
    BitBtn5->repaint();
    BitBtn4->repaint();
    Label7->show();
  } else {
    Label7->hide();
    Animate1->Stop();
    Animate1->hide();
    BitBtn5->setEnabled(true);
    BitBtn4->setEnabled(false);
  }
  // The end of a run is closed with Return as with "Schließen", which has
  // the focus then; during the run Return does nothing.
  BitBtn5->setDefault(!running);
}

// ------------------------------------------------------------------- run --

void TFKopie::ShowPlan(const std::vector<std::string>& lines) {
  QStringList text;
  text.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) text.push_back(Q(VisibleReportText(line)));
  Memo1->setPlainText(text.join(QLatin1Char('\n')));
  SG1->hide();
  Memo1->show();
  Memo1->setFocus();
}

void TFKopie::BitBtn2Click() {
  if (Running()) return;
  request_.DryRun = CheckBox3->isChecked();
  BackupRun run(state_, request_, engine_);
  if (run.CheckTarget(MissingTarget::Ask) != BackupRun::Start::Go) return;

  BeginRun();
  Panel3->hide();
  SetRunningLook(true);
  const bool checkDirDate = CheckBox2->isChecked();
  BackupRun::Result result;
  observer_->Begin();
  RunBeside([&] { result = run.Run(observer_.get(), checkDirDate); });
  EndRun();
  // A dry run ends with its list; it never ends the program.
  if (request_.DryRun) ShowPlan(result.reportLines);
  if (result.reportViewed) CheckBox1->setChecked(false);
  if (result.reportWritten && !result.raised && CheckBox1->isChecked()) {
    done(3);
    return;
  }
  CloseIfAsked();
}

void TFKopie::DrawFrame() { observer_->DrawNow(); }

void TFKopie::WalkEnded() {
  StopFrames();
  SetRunningLook(false);
}

void TFKopie::BitBtn4Click() {
  if (Running())
    NoteCancel();
  else
    engine_.Cancel();
}
