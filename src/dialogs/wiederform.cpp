#include "dialogs/wiederform.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <mutex>
#include <set>

#include "base/pathtext.h"
#include "dialogs/kopierform.h"
#include "widgets/qt_look.h"
#include "widgets/qt_runthread.h"

namespace {

const QColor kPanelColour(255, 249, 174);

constexpr int kMinWidth = 400;
constexpr int kHeaderHeight = 80;    // Panel1
constexpr int kRunAreaHeight = 153;  // Panel2
constexpr int kOpeningWidth = 640;
constexpr int kOpeningHeight = 400;

QString Q(const std::string& s) { return QString::fromStdString(s); }

QWidget* MakePanel(QWidget* parent) {
  auto* panel = new QWidget(parent);
  FillColour(panel, kPanelColour);
  return panel;
}

// The first name of a path "<source folder>/<path>".
std::string TopName(const std::string& relative) { return relative.substr(0, relative.find('/')); }

}  // namespace

// --------------------------------------------------------------- observer --

// The window as the restore sees it. The restore works on a thread of its
// own (RunDialog::RunBeside): it hands over the file in work and the
// counts, and the window draws the latest of them once per frame of the
// screen. "Abbrechen" is taken at the restore's next event round.
class TFWieder::Observer : public restore::RestoreObserver {
 public:
  explicit Observer(TFWieder* form) : form_(form) {}

  // ---- on the restore's thread ----
  void Planned(std::int64_t total) override {
    std::lock_guard<std::mutex> lock(mutex_);
    total_ = total;
    countWaiting_ = true;
  }
  void SetCurrentFile(const std::string& text) override { form_->Label7->SetTextLater(text); }
  void SetCounts(std::int64_t handled, std::int64_t restored) override {
    (void)restored;
    std::lock_guard<std::mutex> lock(mutex_);
    handled_ = handled;
    countWaiting_ = true;
  }
  void ProcessEvents() override {
    if (form_->TakeCancel()) form_->run_->Cancel();
  }
  void ReportWritten(const std::vector<std::string>& lines, bool clean) override {
    (void)lines;
    (void)clean;
    guithread::Call([this] { form_->Ended(); });
  }

  // ---- on the window's thread ----
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    total_ = handled_ = 0;
    countWaiting_ = false;
  }
  void DrawNow() {
    std::int64_t total = 0;
    std::int64_t handled = 0;
    bool countWaiting = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      total = total_;
      handled = handled_;
      countWaiting = countWaiting_;
      countWaiting_ = false;
    }
    if (form_->Label7->TextWaiting()) form_->Label7->ShowNow(form_->Label7->text(), !countWaiting);
    if (countWaiting) form_->ShowCounts(handled, total);
  }

 private:
  TFWieder* form_;
  std::mutex mutex_;  // guards the counts
  std::int64_t total_ = 0;
  std::int64_t handled_ = 0;
  bool countWaiting_ = false;
};

// ------------------------------------------------------------------ form --

TFWieder::TFWieder(QWidget* parent, AppState* state)
    : RunDialog(parent), state_(state), observer_(std::make_unique<Observer>(this)) {
  setWindowTitle(QStringLiteral("Wiederherstellung"));
  setFont(SansFont(11));
  setMinimumSize(kMinWidth, 0);
  setSizeGripEnabled(false);

  Panel1 = MakePanel(this);
  Label1 = new QLabel(QStringLiteral("Name der Sicherung:"), Panel1);
  Label2 = new QLabel(Panel1);
  Label3 = new QLabel(QStringLiteral("Stand:"), Panel1);
  Label4 = new QLabel(Panel1);
  Label5 = new QLabel(QStringLiteral("Wiederherzustellen:"), Panel1);
  Label6 = new QLabel(Panel1);
  for (QLabel* l : {Label2, Label4, Label6}) l->setFont(SansFont(11, true));

  SG1 = new QTableWidget(0, 2, this);
  SG1->verticalHeader()->hide();
  SG1->verticalHeader()->setMinimumSectionSize(16);
  SG1->verticalHeader()->setDefaultSectionSize(16);
  SG1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  SG1->horizontalHeader()->setHighlightSections(false);
  SG1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SG1->horizontalHeader()->setStyleSheet(
      QStringLiteral("QHeaderView::section { background-color: rgb(255,245,125); color: black;"
                     " border: 0px; border-right: 1px solid #a0a0a0;"
                     " border-bottom: 1px solid #a0a0a0; padding-left: 3px; }"));
  SG1->setHorizontalHeaderLabels(
      {QStringLiteral("Gesicherte Verzeichnisse"), QStringLiteral("Wiederherstellen nach")});
  SG1->setShowGrid(true);
  SG1->setTabKeyNavigation(false);
  SG1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SG1->setSelectionMode(QAbstractItemView::NoSelection);
  SG1->setFocusPolicy(Qt::NoFocus);
  SG1->setWordWrap(false);
  SG1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  Panel2 = MakePanel(this);
  MakeRunArea(Panel2);

  connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
  connect(BitBtn5, &QPushButton::clicked, this, [this] { reject(); });

  resize(kOpeningWidth, kOpeningHeight);
  LayoutControls();
}

TFWieder::~TFWieder() = default;

QString TFWieder::WhatText(const restore::RestoreRequest& request) {
  QString what;
  if (request.Paths.empty())
    what = QStringLiteral("die ganze Sicherung");
  else if (request.Paths.size() == 1)
    what = Q(request.Paths.front());
  else
    what = QString::number(request.Paths.size()) + QStringLiteral(" ausgewählte Einträge");
  if (request.DryRun) what += QStringLiteral(" (Probelauf)");
  return what;
}

bool TFWieder::Open(const restore::RestoreRequest& request) {
  if (Running()) return false;
  run_ = std::make_unique<restore::RestoreRun>(state_, request);
  result_ = restore::RestoreRun::Result();
  finished_ = false;
  if (run_->Check() != restore::RestoreRun::Start::Go) {
    run_.reset();
    return false;
  }
  const QString name = Q(request.JobName);
  setWindowTitle(QStringLiteral("Wiederherstellung \"") + name + QLatin1Char('"'));
  Label2->setText(name);
  Label4->setText(Q(request.State.Text()));
  Label6->setText(WhatText(request));
  // The rows of the source folders concerned.
  std::set<std::string> named;
  for (const std::string& path : request.Paths) named.insert(TopName(path));
  SG1->setRowCount(0);
  for (const CopyRow& row : request.Rows) {
    const std::string top = GetLastPathPart(row.target);
    if (!named.empty() && named.count(top) == 0) continue;
    const int r = SG1->rowCount();
    SG1->setRowCount(r + 1);
    SG1->setItem(r, 0, new QTableWidgetItem(Q(row.target)));
    SG1->setItem(r, 1, new QTableWidgetItem(Q(restore::DestinationOf(request, top))));
  }
  Label7->clear();
  Label8->clear();
  BitBtn4->setEnabled(false);
  BitBtn5->setEnabled(false);
  startPending_ = true;
  return true;
}

void TFWieder::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  CentreOnOpener();
  // The restore starts once the window is on the screen.
  if (startPending_) QTimer::singleShot(0, this, [this] { Start(); });
}

void TFWieder::Start() {
  if (!startPending_ || run_ == nullptr || Running()) return;
  startPending_ = false;
  observer_->Reset();
  // A restore that ended before its report (the state could not be read,
  // the report not written) shows its end at once.
  CarryOut([this] { result_ = run_->Run(observer_.get()); }, [this] { Ended(); });
  finished_ = true;
  CloseIfAsked();
}

void TFWieder::DrawFrame() { observer_->DrawNow(); }

void TFWieder::Ended() {
  StopFrames();
  SetRunningLook(false);
  BitBtn5->setFocus();
}

void TFWieder::ShowCounts(std::int64_t handled, std::int64_t total) {
  Label8->setText(QString::number(handled) + QStringLiteral("\nvon ") + QString::number(total));
  Label8->repaint();
}

void TFWieder::BitBtn4Click() {
  if (run_ != nullptr && Running()) NoteCancel();
}

void TFWieder::LayoutControls() {
  QLabel* const rows[6] = {Label1, Label2, Label3, Label4, Label5, Label6};
  LayoutRowsGridAndRunArea(Panel1, rows, 140, SG1, Panel2);
}

void TFWieder::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayoutControls();
}
