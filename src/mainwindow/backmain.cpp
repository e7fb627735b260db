// The main window: start, layout of the navigation strip and the four
// pages, the display of the chosen job, the job lists, the navigation and
// the end of the program.
#include "mainwindow/backmain.h"
#include "widgets/qt_look.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSocketNotifier>
#include <QTableWidget>
#include <QTreeWidget>
#include <cmath>
#include <utility>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "base/windowplace.h"
#include "core/restore/restorerun.h"
#include "dialogs/aboutform.h"
#include "dialogs/neusynform.h"
#include "mainwindow/qt_forms.h"
#include "platform/endsignals.h"
#include "platform/platform.h"
#include "widgets/qt_errorbox.h"

namespace {

// Font sizes in pixels at 96 dots per inch: 6 pt = 8, 7 pt = 9, 8 pt = 11,
// 10 pt = 13, 12 pt = 16.
constexpr int kPx6 = 8;
constexpr int kPx7 = 9;
constexpr int kPx8 = 11;
constexpr int kPx10 = 13;
constexpr int kPx12 = 16;

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kStripColour(0xFF, 0xF5, 0x7D);
const QColor kBackupColour(0xFF, 0xF9, 0xAE);
const QColor kCheckColour(0xF1, 0xEE, 0x6B);
const QColor kSyncColour(0xFD, 0xE2, 0x79);
const QColor kRestoreColour(0xF6, 0xEA, 0x94);
const QColor kMemoGrey(0xE6, 0xE6, 0xE6);

constexpr int kWidth = 650;
constexpr int kHeight = 429;
constexpr int kStripWidth = 126;
constexpr int kEditHeight = 21;
constexpr int kComboWidth = 169;

// The page headings: a heavy sans serif standing in for Arial Black.
QFont HeadingFont() {
  QFont f = SansFont(kPx10, true);
  f.setWeight(QFont::Black);
  return f;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const QRect& place,
                        const QFont& font) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(place);
  button->setFont(font);
  button->setAutoDefault(false);
  return button;
}

QComboBox* MakeJobList(QWidget* parent, int left, int top, bool boldNavy) {
  auto* box = new QComboBox(parent);
  box->setEditable(false);
  box->setGeometry(left, top, kComboWidth, kEditHeight);
  if (boldNavy) {
    box->setFont(SansFont(kPx8, true));
    TextColour(box, kNavy);
  }
  return box;
}

// A read-only text on grey; its lines are separate paragraphs.
QPlainTextEdit* MakeMemo(QWidget* parent, const QRect& place, const QStringList& lines,
                         int pixels = kPx8) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setGeometry(place);
  memo->setReadOnly(true);
  memo->setFont(SansFont(pixels));
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memo->document()->setDocumentMargin(1);
  memo->setTabChangesFocus(true);
  // A text to read, not to edit: a click may select in it, Tab passes by.
  memo->setFocusPolicy(Qt::ClickFocus);
  QPalette p = memo->palette();
  p.setColor(QPalette::Base, kMemoGrey);
  memo->setPalette(p);
  memo->setPlainText(lines.join(QLatin1Char('\n')));
  return memo;
}

QLineEdit* MakeField(QWidget* parent, int left, int top, int width) {
  auto* edit = new QLineEdit(parent);
  edit->setGeometry(left, top, width, kEditHeight);
  edit->setReadOnly(true);
  edit->setFont(SansFont(kPx8, true));
  return edit;
}

// The heading of a page and the navy bar under it.
QFrame* MakeHeading(QWidget* page, QLabel*& label, const QString& text) {
  label = MakeLabel(page, text, 12, 12);
  label->setFont(HeadingFont());
  TextColour(label, kNavy);
  label->adjustSize();
  auto* bar = new QFrame(page);
  bar->setGeometry(12, 32, 496, 6);
  FillColour(bar, kNavy);
  return bar;
}

// A lowered frame drawn behind the controls of a page.
QFrame* MakeBevel(QWidget* page, const QRect& place) {
  auto* bevel = new QFrame(page);
  bevel->setGeometry(place);
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel->setAttribute(Qt::WA_TransparentForMouseEvents);
  return bevel;
}

QString Trimmed(const QString& s) { return QString::fromStdString(text::Trim(s.toStdString())); }

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The local socket of the running instance: named after its lock and keyed
// by the data folder, as the lock is, so that a second start reaches the
// program that holds the same data folder. It lives in the runtime folder
// (a socket path must be short); the data folder goes in as a hash.
std::string InstanceSocketName(const std::string& lockName) {
  const std::string dir = platform::RuntimeDir();
  // In the shared /tmp the user id keeps users apart.
  const std::string suffix =
      dir == "/tmp" ? "-" + std::to_string(platform::UserId()) : std::string();
  const QByteArray key = QCryptographicHash::hash(QByteArray::fromStdString(tBackups::GetDataDir()),
                                                  QCryptographicHash::Sha1)
                             .toHex()
                             .left(16);
  return dir + "/" + lockName + suffix + "-" + key.toStdString() + ".sock";
}

// Asks the running instance to show its window; quietly nothing when it
// does not answer.
void AskRunningInstanceToComeForward(const std::string& lockName) {
  platform::TellLocal(InstanceSocketName(lockName), "front\n", 1000);
}

}  // namespace

// ------------------------------------------------------------------ start --

TForm1::TForm1(QWidget* parent, const std::string& lockName)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      state_(std::make_unique<AppState>()),
      backups_(&state_->Backups),
      options_(&state_->Options) {
  setObjectName(QLatin1String(kMainWindowName));
  FormCreate(lockName);
}

TForm1::~TForm1() {
  if (endSignals_ != nullptr) platform::ReleaseEndSignals();
}

void TForm1::FormCreate(const std::string& lockName) {
  // The controls first: they touch no file, and the other windows may
  // reach them even when this start is refused.
  BuildLayout();
  // One program per data folder, whatever the environment of each.
  if (lock_.Acquire(tBackups::GetDataDir(), lockName) ==
      platform::InstanceLock::Result::HeldElsewhere) {
    startRefused_ = true;
    AskRunningInstanceToComeForward(lockName);
    ShowInfo("VolKarn wurde bereits gestartet!", 1);
    return;
  }
  ListenForLaterStarts(lockName);
  setFixedSize(kWidth, kHeight);
  setWindowTitle(QStringLiteral("VolKarn 2.0 (22.02.2003)"));
  LoadFiles();
  // Before the window exists on the screen: only then does the window
  // system put the frame, not the inside, at the stored place.
  RestorePlace();
  if (!startMessage_.empty()) ShowInfo(startMessage_, 1);
  // The check, synchronisation and restore pages cover the whole page area.
  for (QWidget* page : {Panel4, Panel6, Panel8})
    page->setGeometry(0, 0, Panel2->width(), Panel2->height());
  Memo7->setPlainText(QStringLiteral(
      "Vergleich der einander zugeordneten Verzeichnisse. Von zwei Dateien gleichen Namens "
      "wird die neuere über die ältere kopiert. Unterverzeichnisse werden mitsynchronisiert."));
  BitBtn9Click();
}

void TForm1::ListenForLaterStarts(const std::string& lockName) {
  // Holding the lock, this instance owns the name: a socket file left by
  // an instance that was killed goes.
  if (!listener_.Listen(InstanceSocketName(lockName))) return;
  knocks_ = new QSocketNotifier(listener_.Descriptor(), QSocketNotifier::Read, this);
  connect(knocks_, &QSocketNotifier::activated, this, [this] {
    if (listener_.AcceptAll() > 0) BringToFront();
  });
}

void TForm1::EndOnSignals() {
  if (startRefused_ || endSignals_ != nullptr) return;
  const int fd = platform::CatchEndSignals();
  if (fd < 0) return;
  endSignals_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(endSignals_, &QSocketNotifier::activated, this, [this] {
    const int signal = platform::TakeEndSignal();
    if (signal == 0) return;
    // A run, a question or an editor in front holds work of its own that
    // a close of this window would pull away from under it; what a run
    // writes survives an end at any moment.
    if (closed_ || QApplication::activeModalWidget() != nullptr) platform::EndBySignal(signal);
    close();
  });
}

void TForm1::BringToFront() {
  if (startRefused_ || closed_) return;
  QWidget* front = QApplication::activeModalWidget();
  if (front == nullptr && isVisible()) front = this;
  if (front == nullptr) front = BoxParent();
  if (front == nullptr) return;
  if (front->isMinimized()) front->showNormal();
  front->raise();
  front->activateWindow();
}

// Settings first, then the catalogue. What cannot be read is told once; a
// catalogue that could not be read is never overwritten at the end.
void TForm1::LoadFiles() {
  std::vector<std::string> messages;
  const std::string iniFile = GetIniFileName();
  // A write cut short (killed, power lost) may have left the temporary
  // file of the settings, the catalogue, a list or a report behind; only
  // this instance writes there now.
  platform::RemoveTempLeftovers(tBackups::GetDataDir(), std::string());
  platform::RemoveTempLeftovers(GetFilePath(iniFile), GetFileName(iniFile));
  toptionen::LoadResult settings = options_->LoadSettings();
  if (settings == toptionen::LoadResult::Unreadable) {
    messages.push_back("Die Einstellungsdatei " + iniFile +
                       " konnte nicht gelesen werden. Es gelten die Voreinstellungen. Sie wird "
                       "beim Beenden nicht überschrieben.");
  } else if (!options_->BadLines().empty()) {
    std::string lines;
    for (int line : options_->BadLines()) {
      if (!lines.empty()) lines += ", ";
      lines += std::to_string(line + 1);
    }
    messages.push_back("Die Einstellungsdatei " + iniFile +
                       " konnte nicht vollständig gelesen werden (ungültige Zahl in Zeile " +
                       lines + "). Dort gilt der Wert 0.");
  }
  if (backups_->LoadCatalogue() == tBackups::LoadResult::Unreadable || backups_->LoadFailed()) {
    messages.push_back("Die Sicherungsliste " + tBackups::GetDataDir() +
                       "volkarn.dat konnte nicht gelesen werden. Sie wird beim Beenden nicht "
                       "überschrieben.");
  }
  if (messages.empty()) return;
  std::string all;
  for (const std::string& m : messages) {
    if (!all.empty()) all += "\r\r";
    all += m;
  }
  startMessage_ = all;
}

// ----------------------------------------------------------------- layout --

void TForm1::BuildLayout() {
  setFont(SansFont(kPx8));
  resize(kWidth, kHeight);
  BuildStrip();
  Panel2 = new QWidget(this);
  Panel2->setGeometry(kStripWidth, 0, kWidth - kStripWidth, kHeight);
  FillColour(Panel2, kBackupColour);
  BuildBackupPage();
  Panel4 = new QWidget(Panel2);
  FillColour(Panel4, kCheckColour);
  Panel4->setGeometry(0, 0, Panel2->width(), Panel2->height());
  BuildCheckPage();
  Panel6 = new QWidget(Panel2);
  FillColour(Panel6, kSyncColour);
  Panel6->setGeometry(0, 0, Panel2->width(), Panel2->height());
  BuildSyncPage();
  BuildRestorePage();
  NameControls();
  // No job is shown yet.
  UpdateJobCommands();

  connect(BitBtn9, &QPushButton::clicked, this, [this] { BitBtn9Click(); });
  connect(BitBtn10, &QPushButton::clicked, this, [this] { Label23Click(); });
  connect(BitBtn11, &QPushButton::clicked, this, [this] { Label16Click(); });
  connect(BitBtn13, &QPushButton::clicked, this, [this] { BitBtn13Click(); });
  for (QPushButton* b : {BitBtn3, BitBtn4, BitBtn6, BitBtn12, BitBtn15})
    connect(b, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
  connect(RadioButton1, &QRadioButton::clicked, this, [this] { RadioButton1Click(); });
  connect(RadioButton2, &QRadioButton::clicked, this, [this] { RadioButton2Click(); });
  // activated: only a choice of the user, never a refill, is a change.
  connect(CB1, &QComboBox::activated, this, [this] { CB1Change(); });
  connect(CB2, &QComboBox::activated, this, [this] { CB2Change(); });
  connect(CB3, &QComboBox::activated, this, [this] { CB3Change(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(HistoryButton, &QPushButton::clicked, this, [this] { HistoryButtonClick(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  connect(BitBtn5, &QPushButton::clicked, this, [this] { BitBtn5Click(); });
  connect(BitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
  connect(BitBtn8, &QPushButton::clicked, this, [this] { BitBtn8Click(); });
  connect(BitBtn16, &QPushButton::clicked, this, [this] { BitBtn16Click(); });
  connect(BitBtn17, &QPushButton::clicked, this, [this] { BitBtn17Click(); });
  for (QWidget* w :
       {static_cast<QWidget*>(CB1), static_cast<QWidget*>(CB2), static_cast<QWidget*>(CB3),
        static_cast<QWidget*>(CB4), static_cast<QWidget*>(Label8)})
    w->installEventFilter(this);
}

void TForm1::NameControls() {
  const std::pair<QObject*, const char*> controls[] = {{ScrollBox1, "ScrollBox1"},
                                                       {BitBtn9, "BitBtn9"},
                                                       {BitBtn10, "BitBtn10"},
                                                       {BitBtn11, "BitBtn11"},
                                                       {BitBtn12, "BitBtn12"},
                                                       {Label8, "Label8"},
                                                       {Panel2, "Panel2"},
                                                       {BackupControls, "BackupControls"},
                                                       {Label1, "Label1"},
                                                       {Label2, "Label2"},
                                                       {CB1, "CB1"},
                                                       {Button1, "Button1"},
                                                       {RadioButton1, "RadioButton1"},
                                                       {RadioButton2, "RadioButton2"},
                                                       {Memo1, "Memo1"},
                                                       {Label11, "Label11"},
                                                       {GroupBox1, "GroupBox1"},
                                                       {Label3, "Label3"},
                                                       {LB1, "LB1"},
                                                       {Label4, "Label4"},
                                                       {Edit1, "Edit1"},
                                                       {Label5, "Label5"},
                                                       {Label6, "Label6"},
                                                       {Edit2, "Edit2"},
                                                       {Label7, "Label7"},
                                                       {Edit3, "Edit3"},
                                                       {Label9, "Label9"},
                                                       {Button3, "Button3"},
                                                       {HistoryButton, "HistoryButton"},
                                                       {Button2, "Button2"},
                                                       {BitBtn1, "BitBtn1"},
                                                       {BitBtn3, "BitBtn3"},
                                                       {Panel4, "Panel4"},
                                                       {Label13, "Label13"},
                                                       {Label15, "Label15"},
                                                       {CB2, "CB2"},
                                                       {Memo2, "Memo2"},
                                                       {BitBtn2, "BitBtn2"},
                                                       {Memo3, "Memo3"},
                                                       {BitBtn5, "BitBtn5"},
                                                       {Memo4, "Memo4"},
                                                       {BitBtn4, "BitBtn4"},
                                                       {Panel6, "Panel6"},
                                                       {Label17, "Label17"},
                                                       {Label18, "Label18"},
                                                       {CB3, "CB3"},
                                                       {Memo5, "Memo5"},
                                                       {BitBtn7, "BitBtn7"},
                                                       {Label19, "Label19"},
                                                       {SG1, "SG1"},
                                                       {BitBtn8, "BitBtn8"},
                                                       {Memo7, "Memo7"},
                                                       {BitBtn16, "BitBtn16"},
                                                       {BitBtn17, "BitBtn17"},
                                                       {BitBtn6, "BitBtn6"},
                                                       {Shape1, "Shape1"},
                                                       {Shape2, "Shape2"},
                                                       {Shape3, "Shape3"},
                                                       {Bevel1, "Bevel1"},
                                                       {Bevel2, "Bevel2"},
                                                       {BitBtn13, "BitBtn13"},
                                                       {Panel8, "Panel8"},
                                                       {Shape4, "Shape4"},
                                                       {Bevel3, "Bevel3"},
                                                       {Label24, "Label24"},
                                                       {Label25, "Label25"},
                                                       {CB4, "CB4"},
                                                       {Label26, "Label26"},
                                                       {CB5, "CB5"},
                                                       {RadioButton3, "RadioButton3"},
                                                       {RadioButton4, "RadioButton4"},
                                                       {TV1, "TV1"},
                                                       {RadioButton5, "RadioButton5"},
                                                       {RadioButton6, "RadioButton6"},
                                                       {Edit4, "Edit4"},
                                                       {Button4, "Button4"},
                                                       {Memo8, "Memo8"},
                                                       {BitBtn14, "BitBtn14"},
                                                       {BitBtn15, "BitBtn15"}};
  for (const auto& [control, name] : controls)
    if (control != nullptr) control->setObjectName(QLatin1String(name));
}

void TForm1::BuildStrip() {
  ScrollBox1 = new QWidget(this);
  ScrollBox1->setGeometry(0, 0, kStripWidth, kHeight);
  FillColour(ScrollBox1, kStripColour);
  const QFont bold10 = SansFont(kPx10, true);
  BitBtn9 = MakeButton(ScrollBox1, QStringLiteral("S&ichern"), QRect(1, 0, 120, 60), bold10);
  BitBtn10 = MakeButton(ScrollBox1, QStringLiteral("Über&prüfen"), QRect(1, 60, 120, 60), bold10);
  BitBtn11 =
      MakeButton(ScrollBox1, QStringLiteral("Syn&chronisieren"), QRect(1, 120, 120, 60), bold10);
  BitBtn13 =
      MakeButton(ScrollBox1, QStringLiteral("&Wiederherstellen"), QRect(1, 180, 120, 60), bold10);
  BitBtn12 = MakeButton(ScrollBox1, QStringLiteral("Beenden"), QRect(1, 330, 120, 50), bold10);
  Label8 = new QLabel(QStringLiteral("VolKarn 2.0 - Info"), ScrollBox1);
  Label8->setGeometry(11, 384, 100, 10);
  Label8->setFont(SerifFont(kPx6));
  TextColour(Label8, kNavy);
  Label8->setCursor(Qt::PointingHandCursor);
}

void TForm1::BuildBackupPage() {
  BackupControls = new QWidget(Panel2);
  BackupControls->setGeometry(Panel2->rect());
  QWidget* page = BackupControls;
  Shape1 = MakeHeading(page, Label1, QStringLiteral("VolKarn - Datensicherung"));
  Label2 = MakeLabel(page, QStringLiteral("Name der Sicherun&g:"), 32, 46);
  CB1 = MakeJobList(page, 180, 42, true);
  Label2->setBuddy(CB1);
  Button1 = MakeButton(page, QStringLiteral("&Neu"), QRect(416, 40, 87, 25), SansFont(kPx10, true));

  RadioButton1 = new QRadioButton(QStringLiteral("Komplettsicherung"), page);
  RadioButton1->setGeometry(12, 76, 145, 17);
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton(QStringLiteral("Ergänzungssicherung"), page);
  RadioButton2->setGeometry(12, 100, 145, 17);
  for (QRadioButton* r : {RadioButton1, RadioButton2}) {
    r->setFont(SansFont(kPx8, true));
    TextColour(r, kNavy);
  }
  Memo1 = MakeMemo(
      page, QRect(180, 72, 325, 49),
      {QStringLiteral("Alle Dateien in den zu sichernden Verzeichnissen "),
       QStringLiteral("werden kopiert."), QString(), QStringLiteral(" "), QStringLiteral(" ")});

  // Label11 lies behind the frame and shows only while the frame is hidden.
  Label11 = new QLabel(QStringLiteral("Verwenden Sie die Schaltfläche \"Neu\", um die Daten für "
                                      "eine neue Datensicherung einzugeben."),
                       page);
  Label11->setGeometry(128, 196, 205, 57);
  Label11->setFont(SansFont(kPx10));
  Label11->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label11->setWordWrap(true);

  GroupBox1 = new QGroupBox(page);
  GroupBox1->setGeometry(12, 132, 493, 213);
  GroupBox1->setAutoFillBackground(true);
  Label3 = MakeLabel(GroupBox1, QStringLiteral("Zu sichernde Verzeichnisse:"), 7, 16);
  LB1 = new QListWidget(GroupBox1);
  LB1->setGeometry(7, 36, 470, 89);
  LB1->setFont(SansFont(kPx8, true));
  Label4 = MakeLabel(GroupBox1, QStringLiteral("Ziellaufwerk/-verzeichnis:"), 7, 132);
  Edit1 = MakeField(GroupBox1, 7, 148, 186);
  Label5 = MakeLabel(GroupBox1, QStringLiteral("Letzte Sicherung:"), 264, 132);
  Label6 = MakeLabel(GroupBox1, QStringLiteral("Am"), 264, 152);
  Edit2 = MakeField(GroupBox1, 288, 148, 85);
  Label7 = MakeLabel(GroupBox1, QStringLiteral("um"), 380, 152);
  Edit3 = MakeField(GroupBox1, 400, 148, 53);
  Label9 = MakeLabel(GroupBox1, QStringLiteral("Uhr"), 460, 152);
  Edit2->setEnabled(false);
  Edit3->setEnabled(false);
  BuildStaleLabel();
  Button3 = MakeButton(GroupBox1, QStringLiteral("Pr&otokoll"), QRect(10, 182, 99, 25), font());
  HistoryButton =
      MakeButton(GroupBox1, QStringLiteral("Ver&lauf"), QRect(116, 182, 99, 25), font());
  Button2 = MakeButton(GroupBox1, QStringLiteral("&Bearbeiten"), QRect(382, 182, 99, 25), font());

  BitBtn1 =
      MakeButton(page, QStringLiteral("&Start"), QRect(12, 356, 120, 30), SansFont(kPx12, true));
  BitBtn3 = MakeButton(page, QStringLiteral("Programm b&eenden"), QRect(384, 356, 120, 30), font());
}

void TForm1::BuildCheckPage() {
  QWidget* page = Panel4;
  Shape2 = MakeHeading(page, Label13, QStringLiteral("VolKarn - Datensicherungen überprüfen"));
  Bevel1 = MakeBevel(page, QRect(20, 132, 489, 189));
  Label15 = MakeLabel(page, QStringLiteral("Zu überprüfende &Sicherung:"), 20, 70);
  CB2 = MakeJobList(page, 20, 90, true);
  Label15->setBuddy(CB2);
  Memo2 = MakeMemo(page, QRect(204, 82, 285, 36),
                   {QStringLiteral("Auswählen der Datensicherung, die überprüft werden "),
                    QStringLiteral("soll.")});
  BitBtn2 = MakeButton(page, QStringLiteral("&Sicherung überprüfen"), QRect(36, 172, 160, 30),
                       SansFont(kPx8, true));
  Memo3 = MakeMemo(page, QRect(204, 169, 285, 36),
                   {QStringLiteral("Zielverzeichnisse auf fehlende Dateien überprüfen. Es "),
                    QStringLiteral("werden keine Dateien kopiert.")});
  BitBtn5 = MakeButton(page, QStringLiteral("Sicherung &vervollständigen"), QRect(36, 244, 160, 30),
                       SansFont(kPx8, true));
  Memo4 = MakeMemo(page, QRect(204, 241, 285, 36),
                   {QStringLiteral("Zielverzeichnisse auf fehlende Dateien überprüfen. Alle"),
                    QStringLiteral("fehlenden Dateien werden atomatisch kopiert.")});
  BitBtn4 = MakeButton(page, QStringLiteral("Programm b&eenden"), QRect(384, 356, 120, 30), font());
}

void TForm1::BuildSyncPage() {
  QWidget* page = Panel6;
  Shape3 = MakeHeading(page, Label17, QStringLiteral("VolKarn - Verzeichnisse synchronisieren"));
  Bevel2 = MakeBevel(page, QRect(20, 132, 489, 213));
  Label18 = MakeLabel(page, QStringLiteral("&Synchronisationslauf:"), 20, 70);
  CB3 = MakeJobList(page, 20, 90, false);
  Label18->setBuddy(CB3);
  Memo5 = MakeMemo(
      page, QRect(204, 82, 185, 36),
      {QStringLiteral("Auswählen der auszuführenden "), QStringLiteral("Synchronisation")});
  BitBtn7 = MakeButton(page, QStringLiteral("Ne&u"), QRect(422, 82, 85, 36), SansFont(kPx12, true));
  Label19 = MakeLabel(page, QStringLiteral("Zu synchronisierende Verzeichnisse"), 40, 148);
  SG1 = new QTableWidget(4, 2, page);
  SG1->setGeometry(36, 164, 457, 117);
  SG1->setHorizontalHeaderLabels({QString(), QString()});
  SG1->verticalHeader()->hide();
  SG1->verticalHeader()->setMinimumSectionSize(1);
  SG1->verticalHeader()->setDefaultSectionSize(18);
  SG1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SG1->horizontalHeader()->setMinimumSectionSize(1);
  SG1->horizontalHeader()->setFixedHeight(18);
  SG1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SG1->horizontalHeader()->setHighlightSections(false);
  SG1->horizontalHeader()->setStyleSheet(
      QStringLiteral("QHeaderView::section { background-color: #FF8000; border: none; "
                     "border-right: 1px solid #C06000; border-bottom: 1px solid #C06000; }"));
  SG1->setColumnWidth(0, 226);
  SG1->setColumnWidth(1, 226);
  // Tab leaves the grid; the arrow keys move inside it.
  SG1->setTabKeyNavigation(false);
  SG1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SG1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  BitBtn8 = MakeButton(page, QStringLiteral("S&ynchronisation starten"), QRect(36, 292, 160, 41),
                       SansFont(kPx8, true));
  Memo7 = MakeMemo(page, QRect(204, 289, 285, 48), {}, kPx7);
  BitBtn16 = MakeButton(page, QStringLiteral("&Bearbeiten"), QRect(20, 356, 110, 30), font());
  BitBtn17 = MakeButton(page, QStringLiteral("&Löschen"), QRect(140, 356, 110, 30), font());
  BitBtn6 = MakeButton(page, QStringLiteral("Programm b&eenden"), QRect(384, 356, 120, 30), font());
  // The keyboard goes through the page as it reads.
  QWidget::setTabOrder(CB3, BitBtn7);
  QWidget::setTabOrder(BitBtn7, SG1);
  QWidget::setTabOrder(SG1, BitBtn8);
  QWidget::setTabOrder(BitBtn8, BitBtn16);
  QWidget::setTabOrder(BitBtn16, BitBtn17);
  QWidget::setTabOrder(BitBtn17, BitBtn6);
}

void TForm1::BuildRestorePage() {
  Panel8 = new QWidget(Panel2);
  FillColour(Panel8, kRestoreColour);
  Panel8->setGeometry(0, 0, Panel2->width(), Panel2->height());
  QWidget* page = Panel8;
  Shape4 = MakeHeading(page, Label24, QStringLiteral("VolKarn - Dateien wiederherstellen"));
  Label25 = MakeLabel(page, QStringLiteral("Wiederherzustellende Sicherun&g:"), 20, 46);
  CB4 = MakeJobList(page, 20, 62, true);
  Label25->setBuddy(CB4);
  Label26 = MakeLabel(page, QStringLiteral("S&tand:"), 204, 46);
  CB5 = new QComboBox(page);
  CB5->setGeometry(204, 62, 300, kEditHeight);
  CB5->setFont(SansFont(kPx8, true));
  Label26->setBuddy(CB5);

  Bevel3 = MakeBevel(page, QRect(20, 90, 489, 258));
  // Each pair of choices is a group of its own: one of each pair is on.
  RadioButton3 = new QRadioButton(QStringLiteral("Die ganze Sic&herung"), page);
  RadioButton3->setGeometry(28, 94, 170, 20);
  RadioButton4 = new QRadioButton(QStringLiteral("&Ausgewählte Ordner und Dateien:"), page);
  RadioButton4->setGeometry(208, 94, 290, 20);
  TV1 = new QTreeWidget(page);
  TV1->setGeometry(28, 116, 473, 136);
  TV1->setColumnCount(3);
  TV1->setHeaderLabels(
      {QStringLiteral("Name"), QStringLiteral("Größe"), QStringLiteral("Geändert am")});
  TV1->header()->setStretchLastSection(false);
  TV1->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  TV1->header()->setSectionResizeMode(1, QHeaderView::Fixed);
  TV1->header()->setSectionResizeMode(2, QHeaderView::Fixed);
  TV1->setColumnWidth(1, 72);
  TV1->setColumnWidth(2, 110);
  TV1->setUniformRowHeights(true);
  TV1->setSelectionMode(QAbstractItemView::SingleSelection);
  TV1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  RadioButton5 = new QRadioButton(QStringLiteral("In die &ursprünglichen Verzeichnisse"), page);
  RadioButton5->setGeometry(28, 258, 300, 20);
  RadioButton6 = new QRadioButton(QStringLiteral("In ein an&deres Verzeichnis:"), page);
  RadioButton6->setGeometry(28, 284, 170, 20);
  for (auto [first, second] :
       {std::pair{RadioButton3, RadioButton4}, std::pair{RadioButton5, RadioButton6}}) {
    auto* group = new QButtonGroup(page);
    group->addButton(first);
    group->addButton(second);
    first->setChecked(true);
  }
  for (QRadioButton* r : {RadioButton3, RadioButton4, RadioButton5, RadioButton6}) {
    r->setFont(SansFont(kPx8, true));
    TextColour(r, kNavy);
  }
  Edit4 = new QLineEdit(page);
  Edit4->setGeometry(200, 283, 214, kEditHeight);
  Button4 = MakeButton(page, QStringLiteral("Wäh&len …"), QRect(420, 282, 81, 23), font());
  Memo8 =
      MakeMemo(page, QRect(28, 312, 473, 30),
               {QStringLiteral("Neuere Dateien werden nur nach Rückfrage ersetzt; was ersetzt "
                               "wird, bleibt in den Versionen des Ziels erhalten. Es wird nichts "
                               "gelöscht.")});
  BitBtn14 = MakeButton(page, QStringLiteral("Wiederherstellen &starten"), QRect(12, 356, 180, 30),
                        SansFont(kPx8, true));
  BitBtn15 =
      MakeButton(page, QStringLiteral("Programm b&eenden"), QRect(384, 356, 120, 30), font());
  BitBtn14->setEnabled(false);

  QWidget* order[] = {CB4,          CB5,   RadioButton3, RadioButton4, TV1,     RadioButton5,
                      RadioButton6, Edit4, Button4,      BitBtn14,     BitBtn15};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(CB4, &QComboBox::activated, this, [this] { CB4Change(); });
  connect(CB5, &QComboBox::activated, this, [this] { CB5Change(); });
  connect(TV1, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { FillRestoreItem(item); });
  connect(TV1, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
    // Ticking an entry chooses the ticked entries.
    if (column == 0 && !fillingTree_) RadioButton4->setChecked(true);
  });
  connect(Edit4, &QLineEdit::textEdited, this, [this] { RadioButton6->setChecked(true); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(BitBtn14, &QPushButton::clicked, this, [this] { BitBtn14Click(); });
}

// ------------------------------------------------------------ show, close --

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window restored from the task bar is no new showing.
  if (!event->spontaneous() && !startRefused_) FormShow();
}

void TForm1::FormShow() {
  // The stored place was taken before the first showing; when the window
  // comes back (after a check) it stays where the user left it.
  if (!firstShown_) {
    FillJobList(CB1);
    if (CB1->count() == 0) {
      GroupBox1->hide();
    } else {
      std::string last;
      if (options_->GetLastBackup(last)) {
        for (int i = 0; i < CB1->count(); ++i) {
          if (text::SameText(CB1->itemText(i).toStdString(), last)) {
            SelectedJob = i;
            ShowJob();
            cb1Index_ = CB1->currentIndex();
            break;
          }
        }
      }
    }
  }
  Button3->setEnabled(!Trimmed(CB1->currentText()).isEmpty());
  HistoryButton->setEnabled(Button3->isEnabled());
  firstShown_ = true;
}

void TForm1::RestorePlace() {
  int left = 0, top = 0;
  options_->GetMainFormPos(left, top);
  // Left edge 0: the window system chooses the place.
  if (left == 0) return;
  // Fitted to the screen the title bar was on; to the main screen when
  // that screen is gone.
  const QScreen* screen = QGuiApplication::screenAt(QPoint(left + width() / 2, top + 8));
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QRect frame = frameGeometry();
  const WindowPlace fitted = ClampPlace({left, top, frame.width(), frame.height()},
                                        {area.x(), area.y(), area.width(), area.height()});
  move(fitted.left, fitted.top);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!startRefused_ && !closed_) {
    closed_ = true;
    FormClose();
    if (knocks_ != nullptr) knocks_->setEnabled(false);
    listener_.Close();
  }
  event->accept();
  // Only the main window ends the program (no other window's close does).
  QCoreApplication::quit();
}

void TForm1::FormClose() {
  options_->SetLastBackup(CB1->currentText().toStdString());
  // The frame's place, as RestorePlace takes it.
  const QPoint place = frameGeometry().topLeft();
  options_->SetMainFormPos(place.x(), place.y());
  const bool catalogueUnread = backups_->LoadFailed();
  if (!backups_->SaveCatalogue() && !catalogueUnread) {
    ShowInfo("Die Sicherungsliste " + tBackups::GetDataDir() +
                 "volkarn.dat konnte nicht gespeichert werden. Die Änderungen dieser Sitzung "
                 "an der Liste der Datensicherungen sind verloren.",
             1);
  }
  backups_->FreeJobs();
  // A settings file that could not be read stays as it is (told at start).
  const int settingsSaved = options_->SaveSettings();
  if (settingsSaved != 0 && settingsSaved != toptionen::kNotWritten) {
    ShowInfo("Die Einstellungsdatei " + GetIniFileName() + " konnte nicht gespeichert werden.", 1);
  }
}

void TForm1::SaveChangedCatalogue() {
  if (!backups_->Unsaved() || backups_->SaveCatalogue()) return;
  const std::string path = tBackups::GetDataDir() + tBackups::kCatalogueName;
  if (backups_->SaveError() == tBackups::kSaveRefused) {
    ShowInfo("Die Sicherungsliste " + path +
                 " konnte beim Start nicht gelesen werden und wird nicht überschrieben. Diese "
                 "Änderung an der Liste der Datensicherungen wird nicht gespeichert.",
             1);
    return;
  }
  ShowInfo(WriteFailureText("Die Sicherungsliste", path, backups_->SaveError()) +
               "\rBeim Beenden des Programms wird das Speichern noch einmal versucht.",
           1);
}

// ---------------------------------------------------------------- the job --

void TForm1::FillJobList(QComboBox* box) {
  box->clear();
  // One entry per job in catalogue order, so that an entry's index is the
  // job's index (also for a job whose name is empty).
  for (int i = 0; i < backups_->Count(); ++i) {
    JobRecord record;
    if (backups_->GetJob(i, record)) box->addItem(Q(record.Name()));
  }
  // A refilled list shows no choice until one is made.
  box->setCurrentIndex(-1);
}

void TForm1::ShowJob() {
  if (SelectedJob >= 0 && SelectedJob < backups_->Count()) {
    const ShownJob& shown = state_->Shown;
    std::string failure;
    // The job is shown whole: a job whose list cannot be read shows its
    // own name, target and last backup and no folders, never the folders
    // of the job shown before.
    jobReady_ = ReadShownJob(*backups_, SelectedJob, state_->Shown, failure);
    Edit1->setText(Q(shown.TargetDir));
    Edit1->setCursorPosition(0);
    LB1->clear();
    for (const std::string& d : shown.Directories) LB1->addItem(Q(d));
    FillJobList(CB1);
    CB1->setCurrentIndex(SelectedJob);
    if (shown.LastDate != 0) {
      Edit2->setText(Q(shown.LastDateText()));
      Edit3->setText(Q(shown.LastTimeText()));
      RadioButton2->setChecked(true);
      RadioButton2Click();
    } else {
      Edit2->clear();
      Edit3->clear();
      RadioButton1->setChecked(true);
      RadioButton1Click();
    }
    UpdateJobCommands();
    ShowStaleness();
    // Only on the backup page: a covered "&Start" must not take the keys
    // meant for the check page.
    if (jobReady_ && BackupControls->isVisibleTo(this)) BitBtn1->setFocus();
    for (QPlainTextEdit* memo : {Memo2, Memo3, Memo4}) {
      QString t = memo->toPlainText();
      t.replace(QLatin1Char('\n'), QLatin1Char(' '));
      if (t != memo->toPlainText()) memo->setPlainText(t);
    }
    if (!jobReady_) ShowInfo(failure, 1);
  }
  Button3->setEnabled(!Trimmed(CB1->currentText()).isEmpty());
  HistoryButton->setEnabled(Button3->isEnabled());
}

void TForm1::ClearShownJob() {
  state_->Shown = ShownJob();
  jobReady_ = false;
  LB1->clear();
  Edit1->clear();
  Edit2->clear();
  Edit3->clear();
  UpdateJobCommands();
  StaleLabel->hide();
}

void TForm1::UpdateJobCommands() {
  // Every command that works with the shown job's folders follows one
  // state: the job was read whole.
  for (QPushButton* command : {BitBtn1, BitBtn2, BitBtn5}) command->setEnabled(jobReady_);
  RadioButton1->setEnabled(jobReady_);
  RadioButton2->setEnabled(jobReady_ && state_->Shown.LastDate != 0);
  UpdateDefaultButton();
}

void TForm1::RadioButton1Click() {
  Memo1->setPlainText(
      QStringLiteral("Alle Dateien in den zu sichernden Verzeichnissen werden kopiert."));
  Edit2->setEnabled(false);
  Edit3->setEnabled(false);
}

void TForm1::RadioButton2Click() {
  Memo1->setPlainText(QStringLiteral(
      "Alle Dateien in den zu sichernden Verzeichnissen, die nach dem angegebenen Datum und "
      "Zeitpunkt geändert oder erstellt wurden, werden kopiert."));
  Edit2->setEnabled(true);
  Edit3->setEnabled(true);
}

// ------------------------------------------------------------- job lists --

void TForm1::CB1Enter() {
  SelectedJob = CB1->currentIndex();
  FillJobList(CB1);
  CB1->setCurrentIndex(SelectedJob);
}

void TForm1::CB1Change() {
  if (CB1->currentIndex() >= 0) {
    SelectedJob = CB1->currentIndex();
    ShowJob();
  }
  cb1Index_ = CB1->currentIndex();
}

void TForm1::CB2Enter() {
  // The list is read again when it gets the keyboard; a job chosen in it
  // stays chosen, so that its access key followed by the command's
  // ("Zu überprüfende &Sicherung:", "&Sicherung überprüfen") checks it.
  const int chosen = CB2->currentIndex();
  const QString name = CB2->currentText();
  FillJobList(CB2);
  if (chosen >= 0 && chosen < CB2->count() && CB2->itemText(chosen) == name)
    CB2->setCurrentIndex(chosen);
}

void TForm1::CB2Change() {
  const int index = CB2->currentIndex();
  if (index < 0) return;
  CB1->setCurrentIndex(index);
  SelectedJob = index;
  cb2Index_ = index;
  ShowJob();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    // Entering a list by the keyboard or the mouse; the return of the focus
    // from the list's popup or from another window is no entering.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
      if (watched == CB1) CB1Enter();
      if (watched == CB2) CB2Enter();
      if (watched == CB3) CB3Enter();
      if (watched == CB4) CB4Enter();
    }
  } else if (watched == Label8 && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && Label8->rect().contains(mouse->position().toPoint())) {
      Label8Click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
    if (focused != nullptr && isAncestorOf(focused)) {
      focused->animateClick();
    } else if (BitBtn1->isEnabled() && BitBtn1->isVisible()) {
      BitBtn1->animateClick();
    }
    return;
  }
  QWidget::keyPressEvent(event);
}

// ------------------------------------------------------------- navigation --

void TForm1::UpdateDefaultButton() {
  // Return starts a backup only while "&Start" can be seen and used.
  BitBtn1->setDefault(BitBtn1->isEnabled() && !BackupControls->isHidden());
}

void TForm1::ShowCoveringPage(QWidget* page) {
  for (QWidget* other : {Panel4, Panel6, Panel8})
    if (other != page) other->hide();
  page->show();
  page->raise();
  BackupControls->hide();
  UpdateDefaultButton();
}

void TForm1::BitBtn9Click() {
  for (QWidget* page : {Panel4, Panel6, Panel8}) page->hide();
  BackupControls->show();
  UpdateDefaultButton();
  CB1->setCurrentIndex(cb1Index_ < CB1->count() ? cb1Index_ : -1);
  if (CB1->currentIndex() < 0) return;
  SelectedJob = CB1->currentIndex();
  ShowJob();
}

void TForm1::Label23Click() {
  ShowCoveringPage(Panel4);
  CB2->setCurrentIndex(cb2Index_ < CB2->count() ? cb2Index_ : -1);
  if (CB2->currentIndex() < 0) return;
  SelectedJob = CB2->currentIndex();
  ShowJob();
}

void TForm1::Label16Click() {
  ShowCoveringPage(Panel6);
  FillSyncList(cb3Name_);
  // The keyboard lands on the page's list.
  CB3->setFocus(Qt::OtherFocusReason);
}

void TForm1::BitBtn3Click() { close(); }

void TForm1::Label8Click() {
  if (Tabout* about = FormAbout()) about->exec();
}
