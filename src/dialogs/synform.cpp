#include "dialogs/synform.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <mutex>

#include "core/catalogue/daten.h"
#include "widgets/qt_look.h"
#include "widgets/qt_runthread.h"

namespace {

const QColor kPanelColour(255, 249, 174);

constexpr int kMinWidth = 400;
constexpr int kHeaderHeight = 80;    // Panel1
constexpr int kRunAreaHeight = 153;  // Panel2
constexpr int kRowHeight = 18;

const char* const kRowTexts[TFSyn::kRows] = {
    "Vom 1. ins 2. Verzeichnis kopiert",         "Vom 2. ins 1. Verzeichnis kopiert",
    "Im 1. Verzeichnis entfernt (aufbewahrt)",   "Im 2. Verzeichnis entfernt (aufbewahrt)",
    "Konflikte (die neuere Datei hat gewonnen)", "Fehler"};

}  // namespace

// The window as the run sees it. The run works on a thread of its own
// (RunDialog::RunBeside): it hands over the entry in work and the counts,
// and the window draws the latest of them once per frame of the screen.
// "Abbrechen" is taken at the run's next event round.
class TFSyn::Observer : public SyncObserver {
 public:
  explicit Observer(TFSyn* form) : form_(form) {}

  // ---- on the run's thread ----
  void SetCurrentFile(const std::string& text) override { form_->Label7->SetTextLater(text); }
  void SetCounts(const SyncCounts& counts) override {
    std::lock_guard<std::mutex> lock(mutex_);
    counts_ = counts;
    waiting_ = true;
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
    counts_ = SyncCounts();
    waiting_ = false;
  }
  void DrawNow() {
    SyncCounts counts;
    bool waiting = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      counts = counts_;
      waiting = waiting_;
      waiting_ = false;
    }
    const bool fileWaiting = form_->Label7->TextWaiting();
    if (!waiting && !fileWaiting) return;
    form_->Label7->ShowNow(form_->Label7->text());
    form_->ShowCounts(counts);
  }

 private:
  TFSyn* form_;
  std::mutex mutex_;  // guards the counts
  SyncCounts counts_;
  bool waiting_ = false;
};

TFSyn::TFSyn(QWidget* parent) : RunDialog(parent), observer_(std::make_unique<Observer>(this)) {
  setWindowTitle(QStringLiteral("Synchronisation"));
  setFont(SansFont(11));
  setMinimumSize(kMinWidth, 0);

  Panel1 = new QWidget(this);
  FillColour(Panel1, kPanelColour);
  Label1 = new QLabel(QStringLiteral("Name der Synchronisation:"), Panel1);
  Label2 = new QLabel(Panel1);
  Label3 = new QLabel(QStringLiteral("1. Verzeichnis:"), Panel1);
  Label4 = new QLabel(Panel1);
  Label5 = new QLabel(QStringLiteral("2. Verzeichnis:"), Panel1);
  Label6 = new QLabel(Panel1);
  for (QLabel* l : {Label2, Label4, Label6}) l->setFont(SansFont(11, true));

  SG1 = new QTableWidget(kRows, 2, this);
  SG1->setHorizontalHeaderLabels({QStringLiteral("Synchronisation"), QStringLiteral("Anzahl")});
  SG1->verticalHeader()->hide();
  SG1->verticalHeader()->setMinimumSectionSize(kRowHeight);
  SG1->verticalHeader()->setDefaultSectionSize(kRowHeight);
  SG1->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  SG1->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
  SG1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SG1->horizontalHeader()->setHighlightSections(false);
  SG1->horizontalHeader()->setStyleSheet(
      QStringLiteral("QHeaderView::section { background-color: rgb(255,245,125); color: black;"
                     " border: 0px; border-right: 1px solid #a0a0a0;"
                     " border-bottom: 1px solid #a0a0a0; padding-left: 3px; }"));
  SG1->setColumnWidth(1, 80);
  SG1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SG1->setSelectionMode(QAbstractItemView::NoSelection);
  SG1->setFocusPolicy(Qt::NoFocus);
  SG1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (int row = 0; row < kRows; ++row) {
    SG1->setItem(row, 0, new QTableWidgetItem(QString::fromUtf8(kRowTexts[row])));
    auto* count = new QTableWidgetItem();
    count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SG1->setItem(row, 1, count);
  }

  Panel2 = new QWidget(this);
  FillColour(Panel2, kPanelColour);
  MakeRunArea(Panel2);
  connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
  connect(BitBtn5, &QPushButton::clicked, this, [this] { reject(); });

  resize(560, kHeaderHeight + (kRows + 1) * kRowHeight + 8 + kRunAreaHeight);
  LayoutControls();
}

TFSyn::~TFSyn() = default;

void TFSyn::Open(const SyncDefinition& definition) {
  if (Running()) return;
  run_ = std::make_unique<SyncRun>(definition, tBackups::GetDataDir());
  result_ = SyncRun::Result();
  finished_ = false;
  const QString name = QString::fromStdString(definition.name);
  setWindowTitle(QStringLiteral("Synchronisation \"") + name + QLatin1Char('"'));
  Label2->setText(name);
  Label4->setText(QString::fromStdString(definition.first));
  Label6->setText(QString::fromStdString(definition.second));
  for (int row = 0; row < kRows; ++row) SG1->item(row, 1)->setText(QString());
  Label7->clear();
  Label8->clear();
  BitBtn4->setEnabled(false);
  BitBtn5->setEnabled(false);
  startPending_ = true;
}

void TFSyn::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  CentreOnOpener();
  // The run starts once the window is on the screen.
  if (startPending_) QTimer::singleShot(0, this, [this] { Start(); });
}

void TFSyn::Start() {
  if (!startPending_ || run_ == nullptr || Running()) return;
  startPending_ = false;
  observer_->Reset();
  // A run stopped by a guard has no report: its end is shown at once.
  CarryOut([this] { result_ = run_->Run(observer_.get()); }, [this] { Ended(); });
  if (result_.refused) {
    // A guard stopped the run before any change; its box said why.
    for (int row = 0; row < kRows; ++row) SG1->item(row, 1)->setText(QString());
    Label8->setText(QStringLiteral("Nichts\ngeändert"));
  } else {
    ShowCounts(result_.counts);
  }
  finished_ = true;
  CloseIfAsked();
}

void TFSyn::DrawFrame() { observer_->DrawNow(); }

void TFSyn::Ended() {
  StopFrames();
  SetRunningLook(false);
  BitBtn5->setFocus();
}

void TFSyn::ShowCounts(const SyncCounts& counts) {
  const std::int64_t values[kRows] = {counts.toSecond,      counts.toFirst,   counts.removedFirst,
                                      counts.removedSecond, counts.conflicts, counts.errors};
  for (int row = 0; row < kRows; ++row) SG1->item(row, 1)->setText(QString::number(values[row]));
  Label8->setText(QString::number(counts.toSecond + counts.toFirst) + QStringLiteral("\nkopiert"));
  Label8->repaint();
}

void TFSyn::BitBtn4Click() {
  if (run_ != nullptr && Running()) NoteCancel();
}

void TFSyn::LayoutControls() {
  QLabel* const rows[6] = {Label1, Label2, Label3, Label4, Label5, Label6};
  LayoutRowsGridAndRunArea(Panel1, rows, 170, SG1, Panel2);
}

void TFSyn::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayoutControls();
}
