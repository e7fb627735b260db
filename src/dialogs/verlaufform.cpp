#include "dialogs/verlaufform.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "base/errorbox.h"
#include "core/catalogue/singlefile.h"
#include "platform/platform.h"
#include "widgets/qt_look.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TFVerlauf::TFVerlauf(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FVerlauf"));
  resize(980, 420);
  // The look of the program's other windows: pale yellow, a navy heading.
  FillColour(this, QColor(255, 249, 174));
  auto* layout = new QVBoxLayout(this);
  Label1 = new QLabel(this);
  Label1->setFont(SansFont(12, true));
  TextColour(Label1, QColor(0, 0, 128));
  layout->addWidget(Label1);

  Grid = new QTableWidget(0, history::kColumnCount, this);
  QStringList headers;
  for (const char* column : history::kColumns) headers << QString::fromUtf8(column);
  Grid->setHorizontalHeaderLabels(headers);
  Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  Grid->setSelectionMode(QAbstractItemView::SingleSelection);
  Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Grid->verticalHeader()->hide();
  // The outcome goes last: a reason may be long.
  Grid->horizontalHeader()->moveSection(history::kOutcome, history::kColumnCount - 1);
  Grid->horizontalHeader()->setStretchLastSection(true);
  Grid->setTabKeyNavigation(false);
  Grid->installEventFilter(this);
  layout->addWidget(Grid, 1);

  auto* buttons = new QHBoxLayout;
  ReportButton = new QPushButton(QStringLiteral("&Bericht öffnen"), this);
  CloseButton = new QPushButton(QStringLiteral("&Schließen"), this);
  buttons->addWidget(ReportButton);
  buttons->addStretch(1);
  buttons->addWidget(CloseButton);
  layout->addLayout(buttons);
  ReportButton->setAutoDefault(false);
  CloseButton->setAutoDefault(false);
  connect(ReportButton, &QPushButton::clicked, this, [this] { OpenReport(); });
  connect(CloseButton, &QPushButton::clicked, this, [this] { close(); });
  connect(Grid, &QTableWidget::cellDoubleClicked, this, [this] { OpenReport(); });
  connect(Grid, &QTableWidget::currentCellChanged, this, [this](int row) {
    ReportButton->setEnabled(row >= 0 && row < static_cast<int>(runs_.size()) &&
                             !runs_[static_cast<std::size_t>(row)].report.empty());
  });
}

QColor TFVerlauf::OutcomeColour(history::Outcome outcome, const QColor& background) {
  int hue = 0;  // Fehler, nicht gestartet: red
  switch (outcome) {
    case history::Outcome::Ok:
      hue = 120;
      break;
    case history::Outcome::Cancelled:
    case history::Outcome::Killed:
      hue = 30;
      break;
    case history::Outcome::Running:
      hue = 210;
      break;
    default:
      break;
  }
  const bool dark = background.lightness() < 128;
  return QColor::fromHsl(hue, 255, dark ? 170 : 55);
}

void TFVerlauf::Fill(const std::string& jobName, const history::Target& target) {
  setWindowTitle(QStringLiteral("Verlauf \"") + Q(jobName) + QStringLiteral("\""));
  reportFolder_ = target.reportFolder;
  runs_ = target.Enabled() ? history::ReadRuns(target.file) : std::vector<history::Entry>();
  Label1->setText(runs_.empty() ? QStringLiteral("Es ist noch kein Lauf verzeichnet.")
                                : QStringLiteral("Läufe von \"") + Q(jobName) +
                                      QStringLiteral("\", der neueste zuerst:"));
  Grid->clearContents();
  Grid->setRowCount(static_cast<int>(runs_.size()));
  const QColor base = Grid->palette().color(QPalette::Base);
  for (int r = 0; r < static_cast<int>(runs_.size()); ++r) {
    const history::Entry& run = runs_[static_cast<std::size_t>(r)];
    const std::vector<std::string> texts = history::RowTexts(run);
    for (int c = 0; c < history::kColumnCount; ++c) {
      auto* item = new QTableWidgetItem(Q(texts[static_cast<std::size_t>(c)]));
      if (c >= history::kFiles) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (c == history::kOutcome) {
        item->setForeground(OutcomeColour(run.outcome, base));
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        item->setToolTip(Q(texts[static_cast<std::size_t>(c)]));
      }
      Grid->setItem(r, c, item);
    }
  }
  Grid->resizeColumnsToContents();
  Grid->setColumnWidth(history::kOutcome, std::min(Grid->columnWidth(history::kOutcome), 320));
  Grid->setEnabled(!runs_.empty());
  ReportButton->setEnabled(false);
  if (!runs_.empty()) Grid->setCurrentCell(0, 0);
}

void TFVerlauf::Open(const std::string& jobName, const history::Target& target) {
  Fill(jobName, target);
  if (!runs_.empty())
    Grid->setFocus();
  else
    CloseButton->setFocus();
  exec();
}

void TFVerlauf::OpenReport() {
  const int row = Grid->currentRow();
  if (row < 0 || row >= static_cast<int>(runs_.size())) return;
  const history::Entry& run = runs_[static_cast<std::size_t>(row)];
  const std::string path = reportFolder_ + run.report;
  if (run.report.empty() || !platform::FileExists(path)) {
    ShowInfo("Zu diesem Lauf ist kein Bericht aufbewahrt.", 0);
    return;
  }
  ShowReportFile(path);
}

bool TFVerlauf::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Grid && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      OpenReport();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}
