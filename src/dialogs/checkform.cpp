#include "dialogs/checkform.h"
#include "widgets/qt_look.h"
#include "widgets/qt_pictures.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "core/catalogue/appstate.h"
#include "core/catalogue/daten.h"
#include "core/verify/checkrun.h"
#include "dialogs/restform.h"
#include "widgets/qt_runthread.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

const char kSevenBlanks[] = "       ";

QFont BaseFont() { return SansFont(11); }

QFont BoldFont(int pixelSize = 11) { return SansFont(pixelSize, true); }

}  // namespace

// ------------------------------------------------------------ animation --

TSearchAnimation::TSearchAnimation(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
  timer_->setInterval(70);
  QObject::connect(timer_, &QTimer::timeout, this, [this] {
    frame_ = (frame_ + 1) % 24;
    update();
  });
  QSizePolicy policy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  policy.setRetainSizeWhenHidden(true);
  setSizePolicy(policy);
}

void TSearchAnimation::Play() {
  if (!timer_->isActive()) timer_->start();
}

void TSearchAnimation::Stop() { timer_->stop(); }

bool TSearchAnimation::Playing() const { return timer_->isActive(); }

QSize TSearchAnimation::sizeHint() const { return QSize(52, 40); }

void TSearchAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  // A sheet of paper with lines of text.
  QRectF sheet(6, 3, 26, 33);
  p.setPen(QPen(QColor(90, 90, 90), 1));
  p.setBrush(Qt::white);
  p.drawRect(sheet);
  p.setPen(QPen(QColor(150, 150, 150), 1));
  for (int i = 0; i < 6; ++i) {
    const double y = sheet.top() + 6 + i * 4.5;
    p.drawLine(QPointF(sheet.left() + 4, y), QPointF(sheet.right() - (i % 3 == 2 ? 9 : 4), y));
  }
  // The magnifying glass circles over the sheet.
  const double angle = frame_ * 2.0 * 3.14159265358979 / 24.0;
  const QPointF centre(24 + 9 * std::cos(angle), 18 + 7 * std::sin(angle));
  const double radius = 7;
  p.setPen(QPen(QColor(60, 60, 60), 3, Qt::SolidLine, Qt::RoundCap));
  const QPointF handle = centre + QPointF(radius * 0.72, radius * 0.72);
  p.drawLine(handle, handle + QPointF(8, 8));
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.setBrush(QColor(200, 225, 255, 150));
  p.drawEllipse(centre, radius, radius);
}

// --------------------------------------------------------------- window --

TFCheck::TFCheck(QWidget* parent, AppState* state)
    : QDialog(parent), state_(state), frames_(new QTimer(this)) {
  BuildWindow();
  // About one frame of a 60 Hz screen.
  frames_->setInterval(16);
  connect(frames_, &QTimer::timeout, this, [this] { DrawShown(); });
}

TFCheck::~TFCheck() { Check.SetObserver(nullptr); }

void TFCheck::BuildWindow() {
  setFont(BaseFont());
  setMinimumWidth(555);
  resize(640, 420);
  setSizeGripEnabled(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(10, 8, 10, 10);
  main->setSpacing(6);

  auto* top = new QHBoxLayout;
  Label1 = new QLabel(QStringLiteral("Name der Sicherung:"), this);
  Label2 = new QLabel(this);
  Label2->setFont(BoldFont(13));
  Label2->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Animate1 = new TSearchAnimation(this);
  Animate1->hide();
  top->addWidget(Label1);
  top->addWidget(Label2, 1);
  top->addWidget(Animate1);
  main->addLayout(top);

  SG1 = new QTableWidget(0, 3, this);
  SG1->verticalHeader()->hide();
  SG1->verticalHeader()->setMinimumSectionSize(12);
  SG1->verticalHeader()->setDefaultSectionSize(16);
  SG1->horizontalHeader()->setDefaultSectionSize(230);
  SG1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  SG1->horizontalHeader()->setHighlightSections(false);
  SG1->horizontalHeader()->setSectionsClickable(false);
  SG1->horizontalHeader()->setStretchLastSection(false);
  SG1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SG1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Tab leaves the grid; the arrow keys move inside it.
  SG1->setTabKeyNavigation(false);
  SG1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SG1->setSelectionMode(QAbstractItemView::SingleSelection);
  SG1->setWordWrap(false);
  SG1->horizontalHeader()->viewport()->installEventFilter(this);
  SG1->viewport()->installEventFilter(this);
  main->addWidget(SG1, 1);

  auto* dirLine = new QHBoxLayout;
  Label3 = new QLabel(QStringLiteral("Verzeichnis:"), this);
  Label4 = new QLabel(this);
  Label4->setFont(BoldFont());
  Label4->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  dirLine->addWidget(Label3);
  dirLine->addWidget(Label4, 1);
  main->addLayout(dirLine);

  auto* counts = new QGridLayout;
  counts->setHorizontalSpacing(10);
  counts->setVerticalSpacing(4);
  Label5 = new QLabel(QStringLiteral("Anzahl Dateien"), this);
  Label6 = new QLabel(this);
  Label11 = new QLabel(QStringLiteral("Zu kopieren:"), this);
  Label12 = new QLabel(this);
  Label7 = new QLabel(QStringLiteral("Zieldateien"), this);
  Label8 = new QLabel(this);
  Label9 = new QLabel(QStringLiteral("Fehlende Dateien"), this);
  Label10 = new QLabel(this);
  for (QLabel* value : {Label6, Label12, Label8}) {
    value->setFont(BoldFont());
    value->setMinimumWidth(70);
  }
  Label10->setFont(BoldFont(16));
  Label10->setMinimumWidth(70);
  counts->addWidget(Label5, 0, 0);
  counts->addWidget(Label6, 0, 1);
  counts->addWidget(Label11, 0, 3);
  counts->addWidget(Label12, 0, 4);
  counts->addWidget(Label7, 1, 0);
  counts->addWidget(Label8, 1, 1);
  counts->addWidget(Label9, 1, 3);
  counts->addWidget(Label10, 1, 4);
  CheckBox1 = new QCheckBox(QStringLiteral("&Inhalte vergleichen"), this);
  Label13 = new QLabel(QStringLiteral("Abweichende Dateien"), this);
  Label14 = new QLabel(this);
  Label14->setFont(BoldFont(16));
  Label14->setMinimumWidth(70);
  counts->addWidget(CheckBox1, 2, 0, 1, 2);
  counts->addWidget(Label13, 2, 3);
  counts->addWidget(Label14, 2, 4);
  counts->setColumnMinimumWidth(2, 30);
  counts->setColumnStretch(5, 1);
  main->addLayout(counts);

  auto* buttons = new QHBoxLayout;
  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                            QStringLiteral("Details"), this);
  BitBtn4 = new QPushButton(style()->standardIcon(QStyle::SP_BrowserStop),
                            QStringLiteral("Abbrechen"), this);
  BitBtn1 = new QPushButton(pictures::CloseCross(), QStringLiteral("S&chließen"), this);
  for (QPushButton* b : {BitBtn2, BitBtn4, BitBtn1}) {
    b->setMinimumSize(100, 27);
    b->setAutoDefault(false);
  }
  BitBtn2->setEnabled(false);
  BitBtn4->setEnabled(false);
  buttons->addWidget(BitBtn2);
  buttons->addWidget(BitBtn4);
  buttons->addStretch(1);
  buttons->addWidget(BitBtn1);
  main->addLayout(buttons);

  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { close(); });
  // The choice takes effect at once: the check runs again with it.
  connect(CheckBox1, &QCheckBox::toggled, this, [this] { ScheduleRun(); });
}

// -------------------------------------------------------------- opening --

void TFCheck::OpenCheck(const CheckRequest& request) {
  const std::string& name = request.JobName;
  if (text::Trim(name).empty()) {
    ShowInfo("Keine Sicherung ausgewählt.", 0);
    return;
  }
  if (isVisible() || running_) return;  // already open

  mode_ = request.Mode;
  jobIndex_ = request.JobIndex;
  closeRequested_ = false;
  finishing_ = false;
  QWidget* opener = parentWidget();
  if (opener != nullptr) move(opener->pos() + QPoint(30, 30));
  setWindowTitle(QStringLiteral("Sicherungsüberprüfung für \"") + Q(name) + QStringLiteral("\""));
  Label2->setText(Q(name));

  PrepareCheck(Check, request);
  FillGrid();

  if (opener != nullptr) opener->hide();
  if (mode_ == CheckMode::CheckOnly)
    exec();
  else
    CheckAndComplete();
}

void TFCheck::FillGrid() {
  SG1->setRowCount(static_cast<int>(Check.Rows.size()));
  for (int i = 0; i < static_cast<int>(Check.Rows.size()); ++i) {
    const CheckRow& row = Check.Rows[static_cast<std::size_t>(i)];
    const std::string texts[3] = {row.source, row.target, row.missing};
    for (int c = 0; c < 3; ++c) {
      QTableWidgetItem* item = SG1->item(i, c);
      if (item == nullptr) {
        item = new QTableWidgetItem;
        SG1->setItem(i, c, item);
      }
      item->setText(Q(texts[c]));
    }
  }
  SG1->setCurrentItem(nullptr);
}

void TFCheck::CheckAndComplete() {
  show();
  FormActivate();
  if (closeRequested_) {
    // Closed by the user while the check ran: nothing is completed.
    closeRequested_ = false;
    close();
    return;
  }
  finishing_ = true;
  SaveCountFile();
  OpenCompletion(true);
  close();
}

void TFCheck::OpenCompletion(bool autoMode) {
  if (rest_ == nullptr) return;
  rest_->AutoMode = autoMode;
  rest_->OpenCompletion(Check.Report, Check.Rule(), Check.History);
}

bool TFCheck::SaveCountFile() {
  return state_ != nullptr && ::SaveCountFile(Check, state_->Backups, jobIndex_);
}

// ------------------------------------------------------------- handlers --

void TFCheck::FormShow() {
  for (QLabel* label : {Label4, Label6, Label8, Label10, Label12}) label->setText(kSevenBlanks);
  SG1->setHorizontalHeaderLabels({QStringLiteral("Quellverzeichnisse"),
                                  QStringLiteral("Zielverzeichnisse"), QStringLiteral("Fehlende")});
  FitColumn2();
  BitBtn2->setEnabled(false);
  BitBtn4->setEnabled(false);
  Animate1->Stop();
  Animate1->hide();
}

void TFCheck::FormActivate() {
  repaint();
  RunCheck();
}

void TFCheck::FormResize() { FitColumn2(); }

void TFCheck::SG1MouseUp() {
  const int room = SG1->viewport()->width() - SG1->columnWidth(0) - SG1->columnWidth(1);
  if (SG1->columnWidth(2) + 4 != room) FitColumn2();
}

void TFCheck::BitBtn4Click() {
  if (running_)
    cancel_ = true;
  else
    Check.Cancel();
}

void TFCheck::BitBtn2Click() {
  if (running_ || finishing_) return;
  finishing_ = true;
  SaveCountFile();
  OpenCompletion(false);
  close();
}

void TFCheck::FormClose() {
  Check.Report.Clear();
  if (parentWidget() != nullptr) parentWidget()->show();
}

void TFCheck::FitColumn2() {
  SG1->setColumnWidth(2, SG1->viewport()->width() - SG1->columnWidth(0) - SG1->columnWidth(1) - 4);
}

void TFCheck::RunCheck() {
  running_ = true;
  BitBtn2->setEnabled(false);
  CheckBox1->setEnabled(false);
  Animate1->show();
  Animate1->Play();
  BitBtn4->setEnabled(true);
  BitBtn4->repaint();
  // A new run starts from the state of an opening.
  for (QLabel* label : {Label4, Label6, Label8, Label10, Label12}) label->setText(kSevenBlanks);
  for (CheckRow& row : Check.Rows) row.missing = "?";
  FillGrid();

  Check.CompareContent = CheckBox1->isChecked();
  Check.ContentBucket = 0;
  Check.ContentBuckets = 1;
  Label13->setEnabled(Check.CompareContent);
  Label14->setText(Check.CompareContent ? QStringLiteral("0") : QString());
  Check.SetObserver(this);
  {
    std::lock_guard<std::mutex> lock(shownMutex_);
    shown_ = Shown();
  }
  cancel_ = false;
  // The check works on a thread of its own; this thread draws what it
  // hands over once per frame and takes the input.
  frames_->start();
  guithread::RunAside([this] { Check.RunCheck(); });
  frames_->stop();
  DrawShown();
  Check.SetObserver(nullptr);

  BitBtn2->setEnabled(true);
  // The keyboard goes to "Details", not on to the next button (which
  // would be "S&chließen" once "Abbrechen" is disabled).
  BitBtn2->setFocus(Qt::OtherFocusReason);
  BitBtn4->setEnabled(false);
  Animate1->Stop();
  Animate1->hide();
  running_ = false;
  CheckBox1->setEnabled(true);
  ++runsFinished_;
}

void TFCheck::done(int result) {
  if (running_) {
    // The run still uses the report: stop it first, close afterwards.
    cancel_ = true;
    closeRequested_ = true;
    return;
  }
  FormClose();
  QDialog::done(result);
}

// ---------------------------------------------------- starting of runs --

void TFCheck::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
  ScheduleRun();
}

void TFCheck::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) ScheduleRun();
}

bool TFCheck::MayStartRun() const {
  return isVisible() && mode_ == CheckMode::CheckOnly && !running_ && !finishing_ &&
         !closeRequested_;
}

void TFCheck::ScheduleRun() {
  // Showing and becoming active both start a run, once: the run starts from
  // the event loop, never while one is going.
  if (runScheduled_ || !MayStartRun()) return;
  runScheduled_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        runScheduled_ = false;
        if (!MayStartRun()) return;
        FormActivate();
        if (closeRequested_) {
          closeRequested_ = false;
          close();
        }
      },
      Qt::QueuedConnection);
}

void TFCheck::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

bool TFCheck::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      (watched == SG1->viewport() || watched == SG1->horizontalHeader()->viewport()))
    SG1MouseUp();
  return QDialog::eventFilter(watched, event);
}

// ------------------------------------------------------------ observer --

// On the check's thread: what it shows is kept for the next frame.
void TFCheck::ShowDirectory(const std::string& text) {
  std::lock_guard<std::mutex> lock(shownMutex_);
  shown_.directory = text;
}

void TFCheck::ShowFileTotal(std::int32_t total) {
  std::lock_guard<std::mutex> lock(shownMutex_);
  shown_.fileTotal = total;
}

void TFCheck::ShowTotals(std::int32_t found, std::int32_t present) {
  std::lock_guard<std::mutex> lock(shownMutex_);
  shown_.totals = std::make_pair(found, present);
}

void TFCheck::ShowDiffering(std::int32_t differing) {
  std::lock_guard<std::mutex> lock(shownMutex_);
  shown_.differing = differing;
}

void TFCheck::ShowRowResult(int row, const std::string& text) {
  std::lock_guard<std::mutex> lock(shownMutex_);
  shown_.rows.emplace_back(row, text);
}

void TFCheck::ProcessEvents() {
  if (cancel_.load(std::memory_order_relaxed) && cancel_.exchange(false)) Check.Cancel();
}

// On the window's thread, once per frame and at the end of the check.
void TFCheck::DrawShown() {
  Shown shown;
  {
    std::lock_guard<std::mutex> lock(shownMutex_);
    std::swap(shown, shown_);
  }
  if (shown.directory) {
    Label4->setText(Q(*shown.directory));
    Label4->repaint();
  }
  if (shown.fileTotal) {
    Label6->setText(QString::number(*shown.fileTotal));
    Label6->repaint();
  }
  if (shown.differing && Check.CompareContent) {
    Label14->setText(QString::number(*shown.differing));
    QPalette palette = Label14->palette();
    palette.setColor(QPalette::WindowText,
                     CountColour(*shown.differing, palette.color(QPalette::Window)));
    Label14->setPalette(palette);
    Label14->repaint();
  }
  if (shown.totals) {
    const auto [found, present] = *shown.totals;
    Label12->setText(QString::number(found));
    Label8->setText(QString::number(present));
    const std::int32_t missing = found - present;
    Label10->setText(QString::number(missing));
    QPalette palette = Label10->palette();
    palette.setColor(QPalette::WindowText, CountColour(missing, palette.color(QPalette::Window)));
    Label10->setPalette(palette);
    for (QLabel* label : {Label12, Label8, Label10}) label->repaint();
  }
  for (const auto& [row, text] : shown.rows)
    if (QTableWidgetItem* item = SG1->item(row, 2)) item->setText(Q(text));
}

QColor TFCheck::CountColour(std::int32_t missing, const QColor& background) {
  // Red and green as always; on a dark desktop lighter ones, which stay
  // readable on its dark window colour.
  const bool dark = background.lightness() < 128;
  if (missing > 0) return dark ? QColor(0xFF, 0x80, 0x80) : QColor(0xFF, 0, 0);
  return dark ? QColor(0x66, 0xDD, 0x66) : QColor(0, 0x80, 0);
}
