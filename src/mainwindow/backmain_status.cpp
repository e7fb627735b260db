// Backup page: the warning under the last backup when the job's last
// backup without errors is older than the job allows.
#include <QGroupBox>
#include <QLabel>

#include "base/timeproc.h"
#include "core/status/staleness.h"
#include "mainwindow/backmain.h"
#include "widgets/qt_look.h"

namespace {

// Red that stays readable on the label's background: a light red on a dark
// one.
QColor WarningRed(const QColor& background) {
  return background.lightness() < 128 ? QColor(0xFF, 0x80, 0x80) : QColor(0xC0, 0x00, 0x00);
}

}  // namespace

void TForm1::BuildStaleLabel() {
  // Under the fields of the last backup, above the buttons of the frame,
  // ending where "Uhr" ends.
  StaleLabel = new QLabel(GroupBox1);
  StaleLabel->setObjectName(QStringLiteral("StaleLabel"));
  StaleLabel->setGeometry(7, 169, 474, 13);
  StaleLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  StaleLabel->setFont(SansFont(11, true));
  TextColour(StaleLabel, WarningRed(StaleLabel->palette().color(QPalette::Window)));
  StaleLabel->hide();
}

void TForm1::ShowStaleness() {
  if (StaleLabel == nullptr) return;
  std::string text;
  if (SelectedJob >= 0)
    if (const auto job = status::ReadJobStatus(*Backups(), SelectedJob, Now()))
      text = status::StaleText(job->staleness);
  StaleLabel->setText(QString::fromStdString(text));
  StaleLabel->setVisible(!text.empty());
}
