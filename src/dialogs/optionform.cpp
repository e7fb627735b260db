#include "dialogs/optionform.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "core/editor/patterntest.h"
#include "widgets/qt_look.h"

namespace {

const QColor kWindowColour(255, 249, 174);
const QColor kButtonBarColour(255, 245, 125);
const QColor kHeadingColour(0, 0, 128);

constexpr int kWidth = 440;
constexpr int kHeight = 700;
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

QString Q(const std::string& text) { return QString::fromStdString(text); }

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

  Label7 = Heading(this, QStringLiteral("3. Ausschlüsse"), 254);
  Label8 = Explanation(this,
                       QStringLiteral("Was ein Muster trifft, wird nicht gesichert; einen Ordner, "
                                      "den es trifft, betritt kein Lauf. Es gilt in jedem zu "
                                      "sichernden Verzeichnis: * steht für Zeichen eines Namens, "
                                      "** auch über „/“ hinweg, ? für ein Zeichen; „/“ am Ende "
                                      "trifft nur Ordner, „/“ am Anfang nur ab dem Verzeichnis. "
                                      "Beispiele: Cache/  *.tmp  /Projekte/alt/  **/node_modules/"),
                       276, 76);
  Label8->setGeometry(16, 276, kWidth - 16 - 12, 76);
  LabelMuster = MakeLabel(this, QStringLiteral("&Muster:"), 16, 362);
  EdMuster = new QLineEdit(this);
  EdMuster->setGeometry(100, 358, 214, 22);
  LabelMuster->setBuddy(EdMuster);
  AddBtn = new QPushButton(QStringLiteral("&Hinzufügen"), this);
  AddBtn->setGeometry(324, 357, 104, 25);
  AddBtn->setAutoDefault(false);
  LabelListe = MakeLabel(this, QStringLiteral("A&usschlüsse:"), 16, 392);
  LBAusschluss = new QListWidget(this);
  LBAusschluss->setGeometry(100, 390, 214, 88);
  LBAusschluss->setSelectionMode(QAbstractItemView::ExtendedSelection);
  LabelListe->setBuddy(LBAusschluss);
  RemoveBtn = new QPushButton(QStringLiteral("&Entfernen"), this);
  RemoveBtn->setGeometry(324, 390, 104, 25);
  RemoveBtn->setAutoDefault(false);
  TestBtn = new QPushButton(QStringLiteral("Teste&n"), this);
  TestBtn->setGeometry(324, 420, 104, 25);
  TestBtn->setAutoDefault(false);
  TestResult = new QPlainTextEdit(this);
  TestResult->setReadOnly(true);
  TestResult->setGeometry(16, 486, kWidth - 16 - 12, 84);
  TestResult->setPlaceholderText(
      QStringLiteral("„Testen“ zeigt je Muster, was es in den Verzeichnissen trifft."));
  TestResult->setTabChangesFocus(true);

  Label9 = Heading(this, QStringLiteral("4. Warnung"), 578);
  LabelWarnen = MakeLabel(this, QStringLiteral("&Warnen nach Tagen (0 = nie):"), 34, 604);
  EdWarnen = new QSpinBox(this);
  EdWarnen->setGeometry(240, 600, 110, 22);
  EdWarnen->setRange(0, kMostDays);
  EdWarnen->setSuffix(QStringLiteral(" Tage"));
  EdWarnen->setSpecialValueText(QStringLiteral("nie"));
  LabelWarnen->setBuddy(EdWarnen);
  Label10 = Explanation(this,
                        QStringLiteral("Ist die letzte fehlerfreie Sicherung älter, zeigt die "
                                       "Hauptseite es in Rot."),
                        626, 18);

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

  QWidget* order[] = {CBVersionen, EdTage,  CBSpiegeln, EdMuster, AddBtn, LBAusschluss,
                      RemoveBtn,   TestBtn, TestResult, EdWarnen, OKBtn,  CancelBtn};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  // Return in the pattern field adds the pattern instead of closing.
  EdMuster->installEventFilter(this);
  connect(AddBtn, &QPushButton::clicked, this, [this] { AddPattern(); });
  connect(RemoveBtn, &QPushButton::clicked, this, [this] { RemovePatterns(); });
  connect(TestBtn, &QPushButton::clicked, this, [this] { TestPatternsClick(); });
  connect(OKBtn, &QPushButton::clicked, this, [this] { Confirm(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { done(kResultCancel); });
}

// Esc and the close box act as "Abbrechen"; while the tester walks they
// stop it first.
void TFOptionen::reject() {
  if (testing_) {
    stopTest_ = true;
    return;
  }
  done(kResultCancel);
}

bool TFOptionen::eventFilter(QObject* watched, QEvent* event) {
  if (watched == EdMuster && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !EdMuster->text().trimmed().isEmpty()) {
      AddPattern();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

std::vector<std::string> TFOptionen::ListedPatterns() const {
  std::vector<std::string> patterns;
  for (int i = 0; i < LBAusschluss->count(); ++i)
    patterns.push_back(LBAusschluss->item(i)->text().toStdString());
  return patterns;
}

bool TFOptionen::AddPattern() {
  const std::string pattern = text::Trim(EdMuster->text().toStdString());
  std::string problem = JobOptions::PatternProblem(pattern);
  if (problem.empty())
    for (const std::string& listed : ListedPatterns())
      if (text::SameText(listed, pattern))
        problem = "Das Muster \"" + listed + "\" steht schon in der Liste.";
  if (!problem.empty()) {
    ShowInfo(problem, 1);
    EdMuster->setFocus();
    return false;
  }
  LBAusschluss->addItem(Q(pattern));
  // The new pattern alone is chosen: "Entfernen" takes only what is seen.
  LBAusschluss->setCurrentRow(LBAusschluss->count() - 1, QItemSelectionModel::ClearAndSelect);
  EdMuster->clear();
  EdMuster->setFocus();
  return true;
}

void TFOptionen::RemovePatterns() {
  int first = -1;
  for (int row = LBAusschluss->count() - 1; row >= 0; --row)
    if (LBAusschluss->item(row)->isSelected()) {
      delete LBAusschluss->takeItem(row);
      first = row;
    }
  // The next pattern is chosen, so that Entfernen can go on.
  if (first >= 0 && LBAusschluss->count() > 0)
    LBAusschluss->setCurrentRow(std::min(first, LBAusschluss->count() - 1),
                                QItemSelectionModel::ClearAndSelect);
}

void TFOptionen::TestPatternsClick() {
  if (testing_) {
    stopTest_ = true;
    return;
  }
  const std::vector<std::string> patterns = ListedPatterns();
  if (patterns.empty()) {
    TestResult->setPlainText(QStringLiteral("Es sind keine Ausschlüsse eingetragen."));
    return;
  }
  if (sources_.empty()) {
    TestResult->setPlainText(
        QStringLiteral("Die Sicherung hat noch keine zu sichernden Verzeichnisse."));
    return;
  }
  // The walk keeps the window answering; only the button that stops it
  // (and Esc) act meanwhile.
  testing_ = true;
  stopTest_ = false;
  QWidget* still[] = {EdMuster, AddBtn, LBAusschluss, RemoveBtn, OKBtn, CancelBtn};
  for (QWidget* w : still) w->setEnabled(false);
  TestBtn->setText(QStringLiteral("Abbre&chen"));
  TestResult->setPlainText(QStringLiteral("Die Verzeichnisse werden durchsucht …"));
  const PatternTestResult result = TestPatterns(sources_, patterns, [this] {
    QApplication::processEvents();
    return !stopTest_;
  });
  std::string shown;
  for (const std::string& line : PatternTestLines(result)) shown += line + "\n";
  TestResult->setPlainText(Q(shown));
  TestBtn->setText(QStringLiteral("Teste&n"));
  for (QWidget* w : still) w->setEnabled(true);
  testing_ = false;
}

void TFOptionen::Confirm() {
  if (!EdMuster->text().trimmed().isEmpty() && !AddPattern()) return;
  done(kResultOk);
}

TFOptionen::~TFOptionen() = default;

void TFOptionen::Show(const JobOptions& options, bool changeable) {
  CBVersionen->setChecked(options.Versions);
  EdTage->setValue(options.VersionDays);
  CBSpiegeln->setChecked(options.Mirror);
  LBAusschluss->clear();
  for (const std::string& pattern : options.Patterns) LBAusschluss->addItem(Q(pattern));
  EdMuster->clear();
  TestResult->clear();
  EdWarnen->setValue(options.WarnAfterDays);
  QWidget* controls[] = {CBVersionen, EdTage,      CBSpiegeln,   Label3,     EdMuster,
                         AddBtn,      LabelMuster, LBAusschluss, LabelListe, RemoveBtn,
                         TestBtn,     EdWarnen,    LabelWarnen};
  for (QWidget* control : controls) control->setEnabled(changeable);
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
  options.Patterns = ListedPatterns();
  EdWarnen->interpretText();
  options.WarnAfterDays = EdWarnen->value();
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
