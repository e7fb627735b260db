#include "dialogs/neuform.h"
#include "widgets/qt_look.h"

#include <QCollator>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeView>
#include <cmath>
#include <memory>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "base/timeproc.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/optio.h"
#include "core/editor/jobedit.h"
#include "core/editor/scanner.h"
#include "dialogs/optionform.h"
#include "dialogs/scanform.h"
#include "platform/platform.h"
#include "widgets/qt_foldertree.h"
#include "widgets/qt_pictures.h"

namespace {

const QColor kWindowColour(255, 249, 174);
const QColor kButtonBarColour(255, 245, 125);
const QColor kHeadingColour(0, 0, 128);

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

QFont BaseFont() { return SansFont(11); }

QFont HeadingFont() { return SansFont(13, true); }

// A list box with the entries in two columns, filled top to bottom and
// then in the next column to the right.
class TwoColumnList : public QListWidget {
 public:
  explicit TwoColumnList(QWidget* parent) : QListWidget(parent) {
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    setGridSize(QSize(std::max(1, (viewport()->width() - 1) / 2), fontMetrics().height() + 2));
    QListWidget::resizeEvent(event);
  }
};

// Scrolls the list so that the entry stands at the top of the visible part;
// in a list of columns, its column becomes the first one shown.
void ScrollToTop(QListWidget* list, QListWidgetItem* item) {
  if (list->isWrapping() && list->flow() == QListView::TopToBottom) {
    QScrollBar* bar = list->horizontalScrollBar();
    bar->setValue(bar->value() + list->visualItemRect(item).left());
  } else {
    list->scrollToItem(item, QAbstractItemView::PositionAtTop);
  }
}

// Makes a label of fixed size show its whole text: the letters move closer
// together when the font on this desktop is wider than the place allows.
void FitText(QLabel* label) {
  QFont f = label->font();
  for (int tenths = 0; tenths <= 8; ++tenths) {
    f.setLetterSpacing(QFont::AbsoluteSpacing, -0.1 * tenths);
    label->setFont(f);
    const bool fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                        : label->sizeHint().width() <= label->width();
    if (fits) return;
  }
}

std::vector<std::string> Lines(const QListWidget* list) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(list->count()));
  for (int i = 0; i < list->count(); ++i) lines.push_back(S(list->item(i)->text()));
  return lines;
}

// Row of the first entry equal to the text, letter case ignored; -1.
int FindEntry(const QListWidget* list, const std::string& text) {
  for (int i = 0; i < list->count(); ++i)
    if (text::SameText(S(list->item(i)->text()), text)) return i;
  return -1;
}

// Sorted lists keep their entries in the case-insensitive order of the
// German user interface (signs before digits before letters, "ä" with "a").
int CompareEntries(const QString& a, const QString& b) {
  static const QCollator collator = [] {
    QCollator c(QLocale(QLocale::German, QLocale::Germany));
    c.setCaseSensitivity(Qt::CaseInsensitive);
    return c;
  }();
  return collator.compare(a, b);
}

void AddSorted(QListWidget* list, const QString& text) {
  int lo = 0, hi = list->count();
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (CompareEntries(list->item(mid)->text(), text) <= 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  list->insertItem(lo, text);
}

void FillList(QListWidget* list, const std::vector<std::string>& lines, bool sorted) {
  list->clear();
  for (const std::string& line : lines) {
    if (sorted)
      AddSorted(list, Q(line));
    else
      list->addItem(Q(line));
  }
}

// Replaces the entries of the list by the lines of the file when the file
// exists; a missing file leaves the list as it is.
void LoadListFile(QListWidget* list, const std::string& path, bool sorted) {
  if (!platform::PathExists(path)) return;
  std::vector<std::string> lines;
  int code = 0;
  if (!textfile::ReadLines(path, lines, &code)) {
    ShowInfo("Die Datei\r" + path + "\rkonnte nicht gelesen werden (Fehlercode " +
                 std::to_string(code) + ").",
             1);
    return;
  }
  FillList(list, lines, sorted);
}

// The date pickers and the catalogue's day numbers.
QDate DateOf(TDateTime value) {
  int year = 0, month = 0, day = 0;
  DecodeDate(value, year, month, day);
  return QDate(year, month, day);
}
TDateTime DayCount(const QDate& date) {
  TDateTime value = 0;
  TryEncodeDate(date.year(), date.month(), date.day(), value);
  return value;
}
QTime TimeOf(TDateTime value) {
  int h = 0, m = 0, s = 0, ms = 0;
  DecodeTime(value, h, m, s, ms);
  return QTime(h, m, s);
}
TDateTime DayFraction(const QTime& time) {
  return EncodeTime(time.hour(), time.minute(), time.second(), 0);
}
// The time field shows minutes: it holds no seconds that the user cannot see.
QTime ToTheMinute(const QTime& time) { return QTime(time.hour(), time.minute()); }

}  // namespace

// ----------------------------------------------------------- construction --

TFNeu::TFNeu(QWidget* parent, AppState* state)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), state_(state) {
  setWindowTitle(QStringLiteral("Datensicherung definieren"));
  setFont(BaseFont());
  FillColour(this, kWindowColour);
  setModal(true);
  setFixedHeight(kClientHeight);
  setMinimumWidth(kMinClientWidth);
  setMaximumWidth(QWIDGETSIZE_MAX);
  CreateControls();
  resize(kDesignClientWidth, kClientHeight);
  FormResize();
}

TFNeu::~TFNeu() = default;

void TFNeu::CreateControls() {
  auto heading = [this](const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, this);
    label->setFont(HeadingFont());
    TextColour(label, kHeadingColour);
    label->move(left, top);
    label->adjustSize();
    return label;
  };
  auto label = [](const QString& caption, QWidget* parent, int left, int top) {
    auto* l = new QLabel(caption, parent);
    l->move(left, top);
    l->adjustSize();
    return l;
  };
  auto wrapped = [](const QString& caption, QWidget* parent, QRect place) {
    auto* l = new QLabel(caption, parent);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(place);
    return l;
  };
  auto pictureButton = [](QWidget* parent, const QIcon& icon, const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setIcon(icon);
    b->setIconSize(QSize(16, 16));
    b->setAutoRaise(true);
    b->setToolTip(hint);
    // Reached by Tab and pressed with Space, like the list buttons.
    b->setFocusPolicy(Qt::StrongFocus);
    b->setAccessibleName(hint);
    return b;
  };
  auto listButton = [this](const QString& caption, const QString& hint, int top) {
    auto* b = new QPushButton(caption, this);
    QFont f = BaseFont();
    f.setPixelSize(13);
    f.setBold(true);
    b->setFont(f);
    b->setGeometry(220, top, 24, 24);
    b->setToolTip(hint);
    b->setAutoDefault(false);
    return b;
  };

  // 1. Name
  Label1 = heading(QStringLiteral("1. &Name der Datensicherung"), 4, 12);
  EName = new QLineEdit(this);
  EName->setGeometry(4, 36, 161, 21);
  EName->setMaxLength(20);
  Label1->setBuddy(EName);
  Label2 = wrapped(
      QStringLiteral("Geben Sie einen eindeutigen Namen, bestehend aus maximal 20 Zeichen, ein."),
      this, QRect(192, 32, 265, 29));
  FitText(Label2);

  // 2. Directories
  Label3 = heading(QStringLiteral("2. Zu sichernde Verzeichnisse"), 4, 72);
  Label4 = new QLabel(QStringLiteral("Wählen Sie im Verzeichnisbaum diejenigen Verzeichnisse aus, "
                                     "deren Inhalt gesichert werden soll."),
                      this);
  Label4->setGeometry(4, 92, 457, 17);
  FitText(Label4);
  Panel4 = new QFrame(this);
  Panel4->setFrameShape(QFrame::NoFrame);
  Panel4->setGeometry(4, 108, 201, 18);
  Label7 = label(QStringLiteral("Verzeichnis&baum:"), Panel4, 0, 2);
  SB6 = pictureButton(Panel4, pictures::FolderStack(), QStringLiteral("Alle Zweige schließen"));
  SB7 = pictureButton(Panel4, pictures::ArrowUpToBar(), QStringLiteral("Zur obersten Ebene"));
  SB5 = pictureButton(Panel4, pictures::ArrowUp(), QStringLiteral("Eine Ebene höher"));

  DT1Model = new FolderTreeModel(this);
  DT1 = new QTreeView(this);
  DT1->setGeometry(4, 128, 201, 129);
  DT1->setModel(DT1Model);
  DT1->setHeaderHidden(true);
  DT1->setRootIsDecorated(false);
  DT1->setIndentation(19);
  DT1->setUniformRowHeights(true);
  DT1->setSelectionMode(QAbstractItemView::SingleSelection);
  DT1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DT1->header()->setStretchLastSection(false);
  DT1->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  {
    // The selection stays visible when the tree has no focus.
    QPalette p = DT1->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    DT1->setPalette(p);
  }
  // A folder's sub-folders are read again each time it is opened, and F5
  // reads every opened folder again: folders made or removed while the
  // program runs are seen.
  connect(DT1, &QTreeView::expanded, DT1Model, &FolderTreeModel::Reread);
  auto* reread = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(reread, &QShortcut::activated, DT1Model, &FolderTreeModel::RereadAll);
  DT1->expand(DT1Model->index(0, 0));
  Label7->setBuddy(DT1);

  IncludeBtn =
      listButton(QStringLiteral(">"), QStringLiteral("Verzeichnis zur Auswahl hinzufügen"), 140);
  ExcludeBtn = listButton(QStringLiteral("<"),
                          QStringLiteral("Markiertes Verzeichnis aus der Liste entfernen"), 184);
  ExAllBtn = listButton(QStringLiteral("<<"),
                        QStringLiteral("Alle Verzeichnisse aus der Liste entfernen"), 212);
  ExcludeBtn->setEnabled(false);
  ExAllBtn->setEnabled(false);
  DstLabel = new QLabel(QStringLiteral("&Verzeichnisliste:"), this);
  DstLabel->setGeometry(256, 112, 145, 16);
  VList = new QListWidget(this);
  VList->setGeometry(286, 128, 197, 129);
  VList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  DstLabel->setBuddy(VList);

  // 3. Target
  Label5 = heading(QStringLiteral("3. Ziellaufwerk/-verzeichnis"), 4, 260);
  Label6 =
      wrapped(QStringLiteral("Wählen Sie das Ziel der Datensicherung aus. Es kann ein Laufwerk "
                             "(z.B. Diskette oder CD-RW) oder ein beliebiges Verzeichnis sein."),
              this, QRect(4, 280, 229, 40));
  FitText(Label6);
  EVerz = new QLineEdit(this);
  EVerz->setGeometry(4, 328, 149, 21);
  Button4 = new QPushButton(QStringLiteral("D&urchsuchen"), this);
  Button4->setGeometry(156, 326, 81, 25);
  Button4->setAutoDefault(false);

  // 4. Excluded files
  Label16 = heading(QStringLiteral("4. Dateien ausschließen"), 4, 356);
  BitBtn3 = pictureButton(this, pictures::Magnifier(), QStringLiteral("Liste überprüfen"));
  BitBtn3->setGeometry(196, 356, 20, 20);
  BitBtn2 =
      pictureButton(this, pictures::Binoculars(), QStringLiteral("Verzeichnisse durchsuchen"));
  BitBtn2->setGeometry(216, 356, 20, 20);
  LiBo3 = new QListWidget(this);
  LiBo3->setGeometry(4, 376, 233, 73);
  LiBo3->setToolTip(QStringLiteral("Löschen durch Doppelklick"));

  // 5. Excluded extensions
  Label11 = heading(QStringLiteral("5. Dateigruppen ausschließen"), 286, 260);
  Label12 = wrapped(QStringLiteral("Wählen Sie Dateierweiterungen aus, um passende Dateien von der "
                                   "Sicherung auszuschließen, z.B. '*.wbk'"),
                    this, QRect(286, 280, 205, 40));
  Panel2 = new QFrame(this);
  Panel2->setFrameShape(QFrame::NoFrame);
  Panel2->setGeometry(286, 326, 100, 125);
  Label13 = label(QStringLiteral("Ausgewählte"), Panel2, 1, 2);
  LiBo1 = new TwoColumnList(Panel2);
  LiBo1->setToolTip(QStringLiteral("Auswahl durch Doppelklick"));
  Panel3 = new QFrame(this);
  Panel3->setFrameShape(QFrame::NoFrame);
  Panel3->setGeometry(364, 326, 93, 125);
  Label14 = label(QStringLiteral("Auswahl"), Panel3, 1, 2);
  LiBo2 = new TwoColumnList(Panel3);
  LiBo2->setToolTip(QStringLiteral("Auswahl durch Doppelklick"));
  for (const char* shipped : {"*.~pa", "*.bak", "*.dbx", "*.wbk"})
    AddSorted(LiBo2, QString::fromUtf8(shipped));
  // Entries move between the two lists by double-click, by Space and
  // through the context menu.
  for (QListWidget* list : {LiBo1, LiBo2}) {
    list->installEventFilter(this);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint& pos) { ExtensionMenu(list, pos); });
  }
  BitBtn1 =
      pictureButton(Panel3, pictures::Binoculars(), QStringLiteral("Verzeichnisse durchsuchen"));

  // 6. Last backup
  Label8 = heading(QStringLiteral("6. Zeitpunkt der letzten Sicherung"), 8, 460);
  Label9 = label(QStringLiteral("Datum:"), this, 8, 496);
  DatePick = new QDateEdit(this);
  DatePick->setGeometry(48, 490, 85, 24);
  DatePick->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
  DatePick->setCalendarPopup(false);
  DatePick->setMinimumDate(DateOf(0));
  Label10 = label(QStringLiteral("Zeit:"), this, 144, 496);
  TimePick = new QTimeEdit(this);
  TimePick->setGeometry(172, 490, 73, 24);
  TimePick->setDisplayFormat(QStringLiteral("HH:mm"));

  // Button bar
  Panel1 = new QFrame(this);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Sunken);
  FillColour(Panel1, kButtonBarColour);
  OKBtn = new QPushButton(QStringLiteral("OK"), Panel1);
  OKBtn->setGeometry(8, 12, 75, 25);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), Panel1);
  CancelBtn->setGeometry(88, 12, 75, 25);
  CancelBtn->setAutoDefault(false);
  OptBtn = new QPushButton(QStringLiteral("&Optionen …"), Panel1);
  OptBtn->setGeometry(168, 12, 95, 25);
  OptBtn->setAutoDefault(false);
  OptBtn->setToolTip(QStringLiteral("Versionen und Spiegeln für diese Datensicherung"));
  Optionen = new TFOptionen(this);
  DelBtn = new QPushButton(QStringLiteral("Löschen"), Panel1);
  DelBtn->setGeometry(414, 12, 75, 25);
  DelBtn->setAutoDefault(false);

  // Tab order: the sections from 1 to 6, then the button bar.
  QWidget* order[] = {EName,      SB6,      SB7,       SB5,     DT1,     IncludeBtn,
                      ExcludeBtn, ExAllBtn, VList,     EVerz,   Button4, BitBtn3,
                      BitBtn2,    LiBo3,    LiBo1,     BitBtn1, LiBo2,   DatePick,
                      TimePick,   OKBtn,    CancelBtn, OptBtn,  DelBtn};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(IncludeBtn, &QPushButton::clicked, this, [this] { IncludeBtnClick(); });
  connect(ExcludeBtn, &QPushButton::clicked, this, [this] { ExcludeBtnClick(); });
  connect(ExAllBtn, &QPushButton::clicked, this, [this] { ExcAllBtnClick(); });
  connect(VList, &QListWidget::itemSelectionChanged, this, [this] { VListClick(); });
  connect(SB5, &QToolButton::clicked, this, [this] { SB5Click(); });
  connect(SB6, &QToolButton::clicked, this, [this] { SB6Click(); });
  connect(SB7, &QToolButton::clicked, this, [this] { SB7Click(); });
  connect(DT1, &QTreeView::clicked, this, [this] { DT1Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  connect(DelBtn, &QPushButton::clicked, this, [this] { DelBtnClick(); });
  connect(OptBtn, &QPushButton::clicked, this, [this] { OptBtnClick(); });
  connect(LiBo1, &QListWidget::itemDoubleClicked, this, [this] { LiBo1DblClick(); });
  connect(LiBo2, &QListWidget::itemDoubleClicked, this, [this] { LiBo2DblClick(); });
  connect(LiBo3, &QListWidget::itemDoubleClicked, this, [this] { LiBo3DblClick(); });
  connect(BitBtn1, &QToolButton::clicked, this, [this] { BitBtn1Click(); });
  connect(BitBtn2, &QToolButton::clicked, this, [this] { BitBtn2Click(); });
  connect(BitBtn3, &QToolButton::clicked, this, [this] { BitBtn3Click(); });
}

// ------------------------------------------------------ place and layout --

void TFNeu::ApplyStoredPlace() {
  int left = 0, top = 0, width = 0;
  if (toptionen* options = Settings()) options->Getneuformpos(left, top, width);
  placed_ = true;
  const WindowPlace place = FitToScreen({left, top, width, kClientHeight});
  move(place.left, place.top);
  resize(std::max(place.width - kFrameWidth, kMinClientWidth), kClientHeight);
}

void TFNeu::StorePlace() {
  if (!placed_) return;
  if (toptionen* options = Settings()) options->Setneuformpos(x(), y(), width() + kFrameWidth);
}

void TFNeu::FormResize() {
  const int w = width();
  const int include = w / 2 - 10;
  IncludeBtn->move(include, IncludeBtn->y());
  ExcludeBtn->move(include, ExcludeBtn->y());
  ExAllBtn->move(include, ExAllBtn->y());

  const int vLeft = include + 40;
  const int vWidth = w - vLeft - 6;
  VList->setGeometry(vLeft, VList->y(), vWidth, VList->height());
  DstLabel->move(vLeft, DstLabel->y());

  const int treeWidth = include - 20;
  DT1->setGeometry(DT1->x(), DT1->y(), treeWidth, DT1->height());
  Panel4->setGeometry(Panel4->x(), Panel4->y(), treeWidth, Panel4->height());
  SB6->setGeometry(treeWidth - 59, 0, 20, 18);
  SB7->setGeometry(treeWidth - 39, 0, 20, 18);
  SB5->setGeometry(treeWidth - 19, 0, 20, 18);

  LiBo3->setGeometry(LiBo3->x(), LiBo3->y(), treeWidth + 34, LiBo3->height());
  BitBtn2->move(treeWidth + 16, BitBtn2->y());
  BitBtn3->move(BitBtn2->x() - 21, BitBtn3->y());

  const int panelWidth = vWidth / 2 - 2;
  Panel2->setGeometry(vLeft, Panel2->y(), panelWidth, Panel2->height());
  Panel3->setGeometry(vLeft + panelWidth + 1, Panel3->y(), panelWidth, Panel3->height());
  // The lists fill their panels below the captions; the survey button
  // keeps to the right edge.
  LiBo1->setGeometry(0, Panel2->height() - 104, panelWidth, 104);
  LiBo2->setGeometry(0, Panel3->height() - 104, panelWidth, 104);
  BitBtn1->setGeometry(panelWidth - 21, 1, 20, 20);

  Label11->move(vLeft, Label11->y());
  Label12->setGeometry(vLeft, Label12->y(), vWidth, Label12->height());
  FitText(Label12);

  Panel1->setGeometry(0, height() - 45, w, 45);
  DelBtn->move(w - 80, DelBtn->y());

  StorePlace();
}

void TFNeu::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

void TFNeu::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TFNeu::FormShow() {
  ApplyStoredPlace();
  LoadListFile(LiBo2, tBackups::GetDataDir() + "extens.dat", true);
}

int TFNeu::ShowModal() {
  // The place is applied before the window appears, so that the first
  // layout already has the stored width.
  ApplyStoredPlace();
  return exec();
}

// ---------------------------------------------------------- entry points --

bool TFNeu::OpenNewJob() {
  tBackups* backups = Catalogue();
  if (!backups) return false;
  setWindowTitle(QStringLiteral("Neue Datensicherung definieren"));
  DatePick->setDate(DateOf(Today()));
  TimePick->setTime(ToTheMinute(TimeOf(Now())));
  DelBtn->hide();
  {
    const QSignalBlocker blocker(VList);
    EName->clear();
    EVerz->clear();
    VList->clear();
  }
  deleted_ = false;
  jobOptions_ = JobOptions();
  optionsRead_ = true;
  optionsReadable_ = true;
  optionsChosen_ = false;
  if (ShowModal() != kResultOk) return false;
  SelectedJob = backups->AddJob(S(EName->text()), S(EVerz->text()), 0, 0);
  SaveJobLists();
  SaveJobOptions();
  return true;
}

int TFNeu::EditJob() {
  tBackups* backups = Catalogue();
  if (!backups) return 0;
  const ShownJob& shown = state_->Shown;
  setWindowTitle(QStringLiteral("Datensicherung bearbeiten"));
  DelBtn->show();
  {
    const QSignalBlocker blocker(VList);
    VList->clear();
    for (const std::string& dir : shown.Directories) VList->addItem(Q(dir));
  }
  const std::string dataDir = tBackups::GetDataDir();
  const std::string extFile = backups->GetExtFileName(SelectedJob);
  const std::string exclFile = backups->GetExclFileName(SelectedJob);
  if (!extFile.empty()) LoadListFile(LiBo1, dataDir + extFile, true);
  if (!exclFile.empty()) LoadListFile(LiBo3, dataDir + exclFile, true);
  EName->setText(Q(shown.Name));
  EVerz->setText(Q(shown.TargetDir));
  const std::string dateText = shown.LastDateText();
  const std::string timeText = shown.LastTimeText();
  std::string dateFailure, timeFailure;
  DatePick->setDate(DateOf(dateText.empty() ? Today() : ParseDateText(dateText, &dateFailure)));
  TimePick->setTime(
      ToTheMinute(TimeOf(timeText.empty() ? Now() : ParseTimeText(timeText, &timeFailure))));
  for (const std::string& failure : {dateFailure, timeFailure})
    if (!failure.empty()) ShowInfo(failure, 1);
  const LastBackup shownBackup = PickedBackup();
  deleted_ = false;
  optionsRead_ = false;
  optionsReadable_ = true;
  optionsChosen_ = false;

  const int result = ShowModal();
  if (result == kResultOk) {
    // A deleted job is never updated (the window closes with 5 then).
    JobRecord record;
    if (deleted_ || !backups->GetJob(SelectedJob, record)) return 0;
    const LastBackup stored{record.LastDate(), record.LastTime()};
    const LastBackup last = EditedLastBackup(stored, shownBackup, PickedBackup());
    backups->UpdateJob(SelectedJob, S(EName->text()), S(EVerz->text()), last.Date, last.Time);
    SaveJobLists();
    SaveJobOptions();
    return 1;
  }
  if (result == kResultDeleted) return 2;
  return 0;
}

LastBackup TFNeu::PickedBackup() const {
  return {DayCount(DatePick->date()), DayFraction(TimePick->time())};
}

JobDraft TFNeu::Draft() const {
  JobDraft draft;
  draft.Name = S(EName->text());
  draft.TargetDir = S(EVerz->text());
  draft.Directories = Lines(VList);
  draft.ExcludedExts = Lines(LiBo1);
  draft.ExcludedFiles = Lines(LiBo3);
  draft.OfferedExts = Lines(LiBo2);
  return draft;
}

bool TFNeu::SaveJobLists() {
  tBackups* backups = Catalogue();
  if (!backups) return false;
  const std::vector<std::string> failures = ::SaveJobLists(*backups, SelectedJob, Draft());
  for (const std::string& failure : failures) ShowInfo(failure, 1);
  return failures.empty();
}

// ---------------------------------------------------------------- options --

void TFNeu::OptBtnClick() {
  tBackups* backups = Catalogue();
  if (!backups || deleted_) return;
  if (!optionsRead_) {
    const std::string name = backups->GetOptionsFileName(SelectedJob);
    jobOptions_ = tBackups::IsSafeFileName(name)
                      ? TFOptionen::Read(tBackups::GetDataDir() + name, optionsReadable_)
                      : JobOptions();
    optionsRead_ = true;
  }
  Optionen->SetSources(Lines(VList));
  if (Optionen->Edit(jobOptions_, S(EName->text()), optionsReadable_)) optionsChosen_ = true;
}

void TFNeu::SaveJobOptions() {
  tBackups* backups = Catalogue();
  if (!backups || !optionsChosen_ || !optionsReadable_) return;
  const std::string name = backups->GetOptionsFileName(SelectedJob);
  if (!tBackups::IsSafeFileName(name)) {
    ShowInfo("Die Optionen konnten nicht gespeichert werden: der Dateiname \"" + name +
                 "\" ist ungültig.",
             1);
    return;
  }
  TFOptionen::Write(jobOptions_, tBackups::GetDataDir() + name);
}

// ------------------------------------------------------- directory list --

void TFNeu::UpdateListButtons() {
  IncludeBtn->setEnabled(true);
  const bool any = VList->count() > 0;
  ExcludeBtn->setEnabled(any);
  ExAllBtn->setEnabled(any);
}

std::string TFNeu::SelectedFolderPath() const {
  const QModelIndex index = DT1->currentIndex();
  if (!index.isValid()) return std::string();
  return QFile::encodeName(DT1Model->FilePath(index)).toStdString();
}

bool TFNeu::SelectFolderPath(const std::string& path) {
  const QModelIndex index = DT1Model->IndexOf(QFile::decodeName(QByteArray::fromStdString(path)));
  if (!index.isValid()) return false;
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) DT1->expand(up);
  DT1->setCurrentIndex(index);
  DT1->scrollTo(index);
  return true;
}

void TFNeu::IncludeBtnClick() {
  const std::string path = SelectedFolderPath();
  if (path.empty() || FindEntry(VList, path) >= 0) {
    CurrentUserInterface().Beep();
  } else {
    VList->addItem(Q(path));
  }
  UpdateListButtons();
}

void TFNeu::ExcludeBtnClick() {
  for (int row = VList->count() - 1; row >= 0; --row)
    if (VList->item(row)->isSelected()) delete VList->takeItem(row);
  UpdateListButtons();
}

void TFNeu::ExcAllBtnClick() {
  if (!AskYesNo(" Sollen wirklich alle Verzeichnisse aus der Verzeichnisliste entfernt werden? "))
    return;
  VList->clear();
  UpdateListButtons();
}

void TFNeu::VListClick() { UpdateListButtons(); }

// ------------------------------------------------------------ folder tree --

void TFNeu::SB5Click() {
  const QModelIndex index = DT1->currentIndex();
  if (!index.isValid()) return;
  const QModelIndex parent = index.parent();
  if (!parent.isValid()) return;
  DT1->setCurrentIndex(parent);
  DT1->scrollTo(parent);
}

void TFNeu::SB6Click() {
  if (!DT1->currentIndex().isValid()) return;
  DT1->collapseAll();
}

void TFNeu::SB7Click() {
  QModelIndex index = DT1->currentIndex();
  if (!index.isValid()) return;
  while (index.parent().isValid()) index = index.parent();
  DT1->setCurrentIndex(index);
  DT1->scrollTo(index);
}

// ---------------------------------------------------------------- target --

void TFNeu::Button4Click() {
  std::string dir;
  if (!ChooseDirectory("Bitte das gewünschte Laufwerk für die Räume auswählen", dir)) return;
  // The root stays "/"; other directories lose one trailing separator.
  EVerz->setText(Q(dir == "/" ? dir : RemoveBackslash(dir)));
}

// ---------------------------------------------------------------- closing --

void TFNeu::DelBtnClick() {
  if (!AskYesNo(" Diesen Sicherungslauf löschen? ")) return;
  if (tBackups* backups = Catalogue()) backups->DeleteJob(SelectedJob);
  deleted_ = true;
  TryClose(kResultDeleted);
}

void TFNeu::OKBtnClick() { TryClose(kResultOk); }

void TFNeu::CancelBtnClick() { TryClose(kResultCancel); }

void TFNeu::reject() { CancelBtnClick(); }

void TFNeu::TryClose(int modalResult) {
  if (!FormCloseQuery(modalResult)) return;
  // A survey still going on would fill the list of a closed editor (and
  // keep it from opening again until the scan ends): it stops at its next
  // folder, and the offered list stays as it is.
  if (survey_ != nullptr) survey_->Button1Click();
  done(modalResult);
}

bool TFNeu::FormCloseQuery(int modalResult) {
  StorePlace();
  // Cancelling, and closing after the job was deleted, need no checks.
  if (modalResult == kResultCancel || modalResult == kResultDeleted || deleted_) return true;
  return InputIsComplete();
}

bool TFNeu::InputIsComplete() {
  const std::string refusal = CheckJobDraft(Draft());
  if (refusal.empty()) return true;
  ShowInfo(refusal, 1);
  return false;
}

// -------------------------------------------------------- exclusion lists --

namespace {

// Moves the current entry of `from` into `to` unless an equal entry is
// there already; the entry leaves `from` in either case.
void MoveCurrentEntry(QListWidget* from, QListWidget* to) {
  QListWidgetItem* item = from->currentItem();
  if (!item) return;
  const QString text = item->text();
  if (FindEntry(to, S(text)) < 0) AddSorted(to, text);
  delete from->takeItem(from->row(item));
}

}  // namespace

void TFNeu::LiBo2DblClick() { MoveCurrentEntry(LiBo2, LiBo1); }

void TFNeu::LiBo1DblClick() { MoveCurrentEntry(LiBo1, LiBo2); }

void TFNeu::LiBo3DblClick() {
  if (QListWidgetItem* item = LiBo3->currentItem()) delete LiBo3->takeItem(LiBo3->row(item));
}

void TFNeu::LiBo2KeyUp(int key) {
  // Keys outside the character range (arrows, shift, ...) name no entry.
  if (key < 0x20 || key > 0xFF) return;
  const std::string prefix = "." + text::Upper(S(QString(QChar(key))));
  for (int row = 0; row < LiBo2->count(); ++row) {
    if (text::Upper(S(LiBo2->item(row)->text())).rfind(prefix, 0) == 0) {
      ScrollToTop(LiBo2, LiBo2->item(row));
      return;
    }
  }
}

void TFNeu::ExtensionMenu(QListWidget* list, const QPoint& pos) {
  if (QListWidgetItem* item = list->itemAt(pos)) list->setCurrentItem(item);
  QListWidgetItem* current = list->currentItem();
  if (current == nullptr) return;
  QMenu menu(this);
  const bool choose = list == LiBo2;
  QAction* move = menu.addAction(choose ? QStringLiteral("Nach „Ausgewählte“ verschieben")
                                        : QStringLiteral("Nach „Auswahl“ zurückgeben"));
  // Return takes the command at once, also when the menu came by the menu key.
  menu.setActiveAction(move);
  const QPoint where = list->itemAt(pos) == current ? pos : list->visualItemRect(current).center();
  if (menu.exec(list->viewport()->mapToGlobal(where)) != move) return;
  if (choose)
    LiBo2DblClick();
  else
    LiBo1DblClick();
}

bool TFNeu::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LiBo2 && event->type() == QEvent::KeyRelease) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (!key->isAutoRepeat()) LiBo2KeyUp(key->key());
  }
  if ((watched == LiBo1 || watched == LiBo2) && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
    if (watched == LiBo2)
      LiBo2DblClick();
    else
      LiBo1DblClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TFNeu::BitBtn2Click() {
  std::string initialDir;
  if (QListWidgetItem* current = VList->currentItem()) initialDir = S(current->text());
  const std::vector<std::string> files = CurrentUserInterface().ChooseFiles(initialDir);
  if (files.empty()) return;
  // When the first chosen file is listed already, nothing is added.
  if (FindEntry(LiBo3, files.front()) >= 0) return;
  for (const std::string& file : files) AddSorted(LiBo3, Q(file));
}

void TFNeu::BitBtn3Click() {
  if (!AskYesNo("Dateiliste überprüfen?\rNicht mehr vorhandene Dateien werden aus der Liste "
                "gelöscht."))
    return;
  int missing = 0;
  for (int row = LiBo3->count() - 1; row >= 0; --row) {
    const std::string file = S(LiBo3->item(row)->text());
    if (platform::FileExists(file)) continue;
    ++missing;
    if (AskYesNo(file + " löschen?")) delete LiBo3->takeItem(row);
  }
  if (missing == 0) ShowInfo("Alle Dateien sind vorhanden.", 0);
}

void TFNeu::BitBtn1Click() {
  if (survey_ != nullptr) return;
  std::string dir;
  if (!ChooseDirectory(
          "Wählen Sie ein Verzeichnis, das nach Dateierweiterungen durchsucht werden soll.", dir))
    return;
  BitBtn1->setEnabled(false);
  tScanDir scanner;
  auto window = std::make_unique<Tfscan>(this);
  survey_ = window.get();
  std::string found;
  const int result = SurveyExtensions(scanner, *window, dir, "*.*", found, true);
  if (result == 1) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = found.find('\r', start);
      lines.push_back(
          found.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    FillList(LiBo2, lines, true);
  }
  survey_ = nullptr;
  window.reset();
  BitBtn1->setEnabled(true);
}
