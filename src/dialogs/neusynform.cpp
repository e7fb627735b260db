// The window for a synchronisation definition.
#include "dialogs/neusynform.h"
#include "widgets/qt_look.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "core/catalogue/daten.h"
#include "core/sync/syncfiles.h"
#include "platform/platform.h"

namespace {

constexpr int kRowHeight = 18;
constexpr int kColumnWidth = 226;
constexpr int kRows = 4;

// The picture of the chooser buttons: a small yellow folder.
QPixmap FolderPicture() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  const QColor edge(0x80, 0x60, 0x00);
  p.setPen(edge);
  p.setBrush(QColor(0xF0, 0xC8, 0x40));
  // The tab, then the body of the folder.
  p.drawRect(1, 3, 6, 2);
  p.drawRect(1, 5, 13, 8);
  p.setBrush(QColor(0xFF, 0xE0, 0x70));
  p.setPen(Qt::NoPen);
  p.drawRect(2, 7, 12, 6);
  p.setPen(edge);
  p.drawLine(2, 7, 14, 7);
  return pixmap;
}

QLabel* MakeCaption(QWidget* parent, const QString& text, int left, int top, bool bold = false) {
  QLabel* label = MakeLabel(parent, text, left, top);
  if (bold) {
    label->setFont(SansFont(11, true));
    label->adjustSize();
  }
  return label;
}

QString Trimmed(const QString& s) { return QString::fromStdString(text::Trim(s.toStdString())); }

}  // namespace

std::string TFSynNeu::ListPath() { return tBackups::GetDataDir() + SyncDefinitions::kFileName; }

bool TFSynNeu::LoadList(SyncDefinitions& definitions, bool tell) {
  if (definitions.Load(ListPath()) != SyncDefinitions::LoadResult::Unreadable) return true;
  if (tell)
    ShowInfo("Die Liste der Synchronisationen " + ListPath() +
                 " konnte nicht gelesen werden. Sie wird nicht verändert.",
             1);
  return false;
}

bool TFSynNeu::DeleteDefinition(const std::string& name) {
  SyncDefinitions definitions;
  if (!LoadList(definitions, true)) return false;
  const int index = definitions.Find(name);
  if (index >= 0) {
    const std::string stored = definitions.All()[static_cast<std::size_t>(index)].name;
    definitions.Remove(index);
    if (const int code = definitions.Save(ListPath())) {
      ShowInfo(WriteFailureText("Die Liste der Synchronisationen", ListPath(), code), 1);
      return false;
    }
    ForgetRunFiles(stored);
  }
  return true;
}

TFSynNeu::TFSynNeu(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Neue Synchronisation "));
  setFont(SansFont(11));
  setFixedSize(490, 392);

  Label1 = MakeCaption(this, QStringLiteral("1. &Name der Synchronisation"), 12, 12, true);
  SName = new QLineEdit(this);
  SName->setGeometry(12, 32, 180, 21);
  SName->setMaxLength(kNameLength);
  Label1->setBuddy(SName);
  Label2 = new QLabel(QStringLiteral("Geben Sie einen eindeutigen Namen, bestehend aus maximal 20 "
                                     "Zeichen, ein."),
                      this);
  Label2->setGeometry(204, 28, 274, 30);
  Label2->setWordWrap(true);

  Label3 = MakeCaption(this, QStringLiteral("2. Zu synchronisierende Verzeichnisse"), 12, 70, true);
  GroupBox1 = new QGroupBox(QStringLiteral("Verzeichnispaare ergänzen"), this);
  GroupBox1->setGeometry(12, 90, 466, 112);
  const QIcon folder(FolderPicture());
  Label4 = MakeLabel(GroupBox1, QStringLiteral("1. Verzeichnis"), 10, 28);
  Edit1 = new QLineEdit(GroupBox1);
  Edit1->setGeometry(100, 24, 320, 21);
  BitBtn2 = new QPushButton(folder, QString(), GroupBox1);
  BitBtn2->setGeometry(426, 23, 25, 23);
  Label5 = MakeLabel(GroupBox1, QStringLiteral("2. Verzeichnis"), 10, 56);
  Edit2 = new QLineEdit(GroupBox1);
  Edit2->setGeometry(100, 52, 320, 21);
  BitBtn3 = new QPushButton(folder, QString(), GroupBox1);
  BitBtn3->setGeometry(426, 51, 25, 23);
  BitBtn4 = new QPushButton(QStringLiteral("Ü&bernehmen"), GroupBox1);
  BitBtn4->setGeometry(100, 80, 100, 25);
  for (QPushButton* b : {BitBtn2, BitBtn3, BitBtn4}) b->setAutoDefault(false);
  BitBtn2->setToolTip(QStringLiteral("Verzeichnis wählen"));
  BitBtn3->setToolTip(QStringLiteral("Verzeichnis wählen"));

  SG1 = new QTableWidget(kRows, 2, this);
  SG1->setHorizontalHeaderLabels({QString(), QString()});
  SG1->verticalHeader()->hide();
  SG1->verticalHeader()->setMinimumSectionSize(1);
  SG1->verticalHeader()->setDefaultSectionSize(kRowHeight);
  SG1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SG1->horizontalHeader()->setMinimumSectionSize(1);
  SG1->horizontalHeader()->setFixedHeight(kRowHeight);
  SG1->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SG1->horizontalHeader()->setHighlightSections(false);
  SG1->setColumnWidth(0, kColumnWidth);
  SG1->setColumnWidth(1, kColumnWidth);
  // Tab leaves the grid; the arrow keys move inside it.
  SG1->setTabKeyNavigation(false);
  SG1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SG1->setSelectionMode(QAbstractItemView::SingleSelection);
  SG1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SG1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  const int frame = 2 * SG1->frameWidth();
  SG1->setGeometry(12, 212, 2 * kColumnWidth + frame, (kRows + 1) * kRowHeight + frame);
  for (int row = 0; row < kRows; ++row)
    for (int col = 0; col < 2; ++col) SG1->setItem(row, col, new QTableWidgetItem());

  BitBtn1 = new QPushButton(QStringLiteral("Verzeichnispaar &löschen"), this);
  BitBtn1->setGeometry(12, SG1->geometry().bottom() + 9, 160, 25);
  BitBtn1->setAutoDefault(false);
  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setGeometry(296, 354, 87, 27);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
  CancelBtn->setGeometry(391, 354, 87, 27);
  CancelBtn->setAutoDefault(false);

  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
  connect(BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
}

void TFSynNeu::OpenNew() {
  setWindowTitle(QStringLiteral("Neue Synchronisation "));
  editedName_.clear();
  for (QLineEdit* e : {SName, Edit1, Edit2}) e->clear();
  BitBtn1Click();
  SName->setFocus();
}

void TFSynNeu::OpenEdit(const SyncDefinition& definition) {
  setWindowTitle(QStringLiteral("Synchronisation bearbeiten"));
  editedName_ = definition.name;
  SName->setText(QString::fromStdString(definition.name));
  Edit1->setText(QString::fromStdString(definition.first));
  Edit2->setText(QString::fromStdString(definition.second));
  SG1->item(0, 0)->setText(Edit1->text());
  SG1->item(0, 1)->setText(Edit2->text());
  PairMarker = 1;
  SName->setFocus();
}

bool TFSynNeu::Store() {
  SyncDefinitions definitions;
  if (!LoadList(definitions, true)) return false;
  const SyncDefinition wanted{SName->text().toStdString(), PairFirst().toStdString(),
                              PairSecond().toStdString()};
  // A definition deleted meanwhile is stored anew.
  const int replacing = editedName_.empty() ? -1 : definitions.Find(editedName_);
  const std::string refusal = definitions.Refusal(wanted, replacing);
  if (!refusal.empty()) {
    ShowInfo(refusal, 1);
    return false;
  }
  SyncDefinition old;
  if (replacing >= 0) {
    old = definitions.All()[static_cast<std::size_t>(replacing)];
    definitions.Replace(replacing, wanted);
  } else {
    definitions.Add(wanted);
  }
  if (const int code = definitions.Save(ListPath())) {
    ShowInfo(WriteFailureText("Die Liste der Synchronisationen", ListPath(), code), 1);
    return false;
  }
  const int index = definitions.Find(wanted.name);
  const SyncDefinition& stored = definitions.All()[static_cast<std::size_t>(index)];
  CarryOverRunFiles(old, stored);
  storedName_ = stored.name;
  editedName_ = stored.name;
  return true;
}

void TFSynNeu::BitBtn2Click() {
  std::string dir;
  if (ChooseDirectory("Wählen Sie das erste zu synchronisierende Verzeichnis.", dir))
    Edit1->setText(QString::fromStdString(dir));
}

void TFSynNeu::BitBtn3Click() {
  std::string dir;
  if (ChooseDirectory("Wählen Sie das zweite zu synchronisierende Verzeichnis.", dir))
    Edit2->setText(QString::fromStdString(dir));
}

void TFSynNeu::BitBtn4Click() {
  if (Trimmed(Edit1->text()).isEmpty() || Trimmed(Edit2->text()).isEmpty()) {
    ShowInfo("Sie müssen zwei Verzeichnisse angeben.", 1);
    return;
  }
  if (!platform::DirExists(Edit1->text().toStdString()) ||
      !platform::DirExists(Edit2->text().toStdString())) {
    if (!AskYesNo("Mindestens eines der eingegebenen Verzeichnisse existiert nicht bzw. kann im "
                  "Moment nicht gefunden werden. Trotzdem weitermachen?"))
      return;
  }
  SG1->item(0, 0)->setText(Edit1->text());
  SG1->item(0, 1)->setText(Edit2->text());
  PairMarker = 1;
}

void TFSynNeu::BitBtn1Click() {
  SG1->item(0, 0)->setText(QString());
  SG1->item(0, 1)->setText(QString());
  PairMarker = 0;
}

void TFSynNeu::OKBtnClick() { done(kResultOk); }

void TFSynNeu::CancelBtnClick() { done(kResultCancel); }

bool TFSynNeu::FormCloseQuery(int result) {
  if (result == kResultCancel) return true;
  if (Trimmed(SName->text()).isEmpty()) {
    ShowInfo("Es wurde kein Name für die Synchronisation eingegeben!", 1);
    return false;
  }
  if (PairMarker == 0) {
    ShowInfo("Es wurde kein Verzeichnispaar eingegeben!", 1);
    return false;
  }
  return Store();
}

QString TFSynNeu::PairFirst() const { return SG1->item(0, 0)->text(); }
QString TFSynNeu::PairSecond() const { return SG1->item(0, 1)->text(); }

void TFSynNeu::done(int result) {
  if (!FormCloseQuery(result)) return;
  QDialog::done(result);
}

// Escape and the close box cancel; they are never held up.
void TFSynNeu::reject() { done(kResultCancel); }
