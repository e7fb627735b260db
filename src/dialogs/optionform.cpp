#include "dialogs/optionform.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "base/errorbox.h"
#include "widgets/qt_look.h"

namespace {

const QColor kWindowColour(255, 249, 174);
const QColor kButtonBarColour(255, 245, 125);
const QColor kHeadingColour(0, 0, 128);

constexpr int kWidth = 440;
constexpr int kHeight = 300;
constexpr int kButtonBarHeight = 45;
// The most days the options file takes (about a hundred years).
constexpr int kMostDays = 36500;

QLabel* Heading(QWidget* parent, const QString& text, int top) {
  QLabel* label = MakeLabel(parent, text, 8, top);
  label->setFont(SansFont(13, true));
  TextColour(label, kHeadingColour);
  label->adjustSize();
  return label;
}

QLabel* Explanation(QWidget* parent, const QString& text, int top, int height) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(34, top, kWidth - 34 - 12, height);
  return label;
}

}  // namespace

TFOptionen::TFOptionen(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("Optionen der Datensicherung"));
  setFont(SansFont(11));
  FillColour(this, kWindowColour);
  setModal(true);
  setFixedSize(kWidth, kHeight);

  Label1 = Heading(this, QStringLiteral("1. Versionen"), 10);
  CBVersionen = new QCheckBox(QStringLiteral("&Versionen behalten"), this);
  CBVersionen->setGeometry(16, 32, 300, 20);
  Label2 = Explanation(this,
                       QStringLiteral("Was ein Sicherungslauf im Ziel ersetzt, wird vorher in den "
                                      "Ordner „VolKarn-Versionen“ des Ziels gelegt und kann von "
                                      "dort wiederhergestellt werden."),
                       54, 30);
  Label3 = MakeLabel(this, QStringLiteral("Aufbewahren (&Tage):"), 34, 98);
  EdTage = new QSpinBox(this);
  EdTage->setGeometry(160, 94, 110, 22);
  EdTage->setRange(0, kMostDays);
  EdTage->setSuffix(QStringLiteral(" Tage"));
  EdTage->setSpecialValueText(QStringLiteral("für immer"));
  EdTage->setAccelerated(true);
  Label3->setBuddy(EdTage);
  Label4 = Explanation(this,
                       QStringLiteral("Ältere Versionen werden zu Beginn eines Sicherungslaufs "
                                      "entfernt, die jüngste nie. 0 Tage: für immer aufbewahren."),
                       122, 30);

  Label5 = Heading(this, QStringLiteral("2. Spiegeln"), 162);
  CBSpiegeln = new QCheckBox(QStringLiteral("Ziel &spiegeln"), this);
  CBSpiegeln->setGeometry(16, 184, 300, 20);
  Label6 = Explanation(this,
                       QStringLiteral("Dateien und Verzeichnisse, die es in den zu sichernden "
                                      "Verzeichnissen nicht mehr gibt, werden aus dem Ziel in die "
                                      "Versionen verschoben, nie gelöscht."),
                       206, 44);

  Panel1 = new QFrame(this);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Sunken);
  Panel1->setGeometry(0, kHeight - kButtonBarHeight, kWidth, kButtonBarHeight);
  FillColour(Panel1, kButtonBarColour);
  OKBtn = new QPushButton(QStringLiteral("OK"), Panel1);
  OKBtn->setGeometry(8, 12, 75, 25);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), Panel1);
  CancelBtn->setGeometry(88, 12, 75, 25);
  CancelBtn->setAutoDefault(false);

  QWidget* order[] = {CBVersionen, EdTage, CBSpiegeln, OKBtn, CancelBtn};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(OKBtn, &QPushButton::clicked, this, [this] { done(kResultOk); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { done(kResultCancel); });
}

// Esc and the close box act as "Abbrechen".
void TFOptionen::reject() { done(kResultCancel); }

TFOptionen::~TFOptionen() = default;

void TFOptionen::Show(const JobOptions& options, bool changeable) {
  CBVersionen->setChecked(options.Versions);
  EdTage->setValue(options.VersionDays);
  CBSpiegeln->setChecked(options.Mirror);
  for (QWidget* control : {static_cast<QWidget*>(CBVersionen), static_cast<QWidget*>(EdTage),
                           static_cast<QWidget*>(CBSpiegeln), static_cast<QWidget*>(Label3)})
    control->setEnabled(changeable);
  OKBtn->setFocus();
  if (changeable) CBVersionen->setFocus();
}

bool TFOptionen::Edit(JobOptions& options, const std::string& jobName, bool changeable) {
  const QString name = QString::fromStdString(jobName);
  setWindowTitle(name.trimmed().isEmpty()
                     ? QStringLiteral("Optionen der Datensicherung")
                     : QStringLiteral("Optionen der Datensicherung \"") + name + QLatin1Char('"'));
  Show(options, changeable);
  if (exec() != kResultOk || !changeable) return false;
  options.Versions = CBVersionen->isChecked();
  // What the field shows, also when typed and not yet left.
  EdTage->interpretText();
  options.VersionDays = EdTage->value();
  options.Mirror = CBSpiegeln->isChecked();
  return true;
}

JobOptions TFOptionen::Read(const std::string& path, bool& readable) {
  JobOptions options;
  readable = options.Load(path) != JobOptions::LoadResult::Unreadable;
  if (!readable) {
    ShowInfo("Die Optionsdatei " + path +
                 " konnte nicht gelesen werden. Es gelten die Voreinstellungen; die Datei wird "
                 "nicht überschrieben.",
             1);
  }
  return options;
}

bool TFOptionen::Write(const JobOptions& options, const std::string& path) {
  const int code = options.Save(path);
  if (code == JobOptions::kNotWritten) return false;
  if (code != 0) {
    ShowInfo(WriteFailureText("Die Optionsdatei", path, code), 1);
    return false;
  }
  return true;
}
