// Restore page: the job, the state (the last backup or the moment before
// one of the runs kept in the versions), what (the whole job or the
// entries ticked in the target's tree) and where (the original folders or
// another one); "Wiederherstellen starten" opens the restore window.
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTreeWidget>
#include <functional>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "base/pathtext.h"
#include "core/restore/restorerun.h"
#include "dialogs/wiederform.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"

namespace {

// The path "<source folder>/<path>" of a tree item, and whether a folder's
// entries were read.
constexpr int kPathRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string LastName(const std::string& relative) {
  const std::size_t slash = relative.rfind('/');
  return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

QString SizeText(std::uint64_t size) {
  return QLocale(QLocale::German, QLocale::Germany)
      .formattedDataSize(static_cast<qint64>(size), 1, QLocale::DataSizeTraditionalFormat);
}

QString TimeText(std::time_t mtime) {
  return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(mtime))
      .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

std::vector<std::string> TopNames(const restore::RestoreRequest& request) {
  std::vector<std::string> names;
  for (const CopyRow& row : request.Rows) names.push_back(GetLastPathPart(row.target));
  return names;
}

void AddEntry(QTreeWidgetItem* parent, const restore::StateEntry& entry, Qt::CheckState check,
              const QStyle* style) {
  auto* item = new QTreeWidgetItem(parent);
  item->setText(0, Q(LastName(entry.relative)));
  item->setData(0, kPathRole, Q(entry.relative));
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
  if (entry.IsFolder()) {
    flags |= Qt::ItemIsAutoTristate;
    item->setIcon(0, style->standardIcon(QStyle::SP_DirIcon));
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  } else {
    item->setIcon(0, style->standardIcon(QStyle::SP_FileIcon));
    item->setText(1, SizeText(entry.size));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(2, TimeText(entry.mtime));
  }
  if (entry.FromVersions())
    item->setToolTip(0, QStringLiteral("Aus den Versionen: ") + Q(entry.runFolder));
  item->setFlags(flags);
  item->setCheckState(0, check);
}

void CollectTicked(const QTreeWidgetItem* parent, std::vector<std::string>& paths) {
  for (int i = 0; i < parent->childCount(); ++i) {
    const QTreeWidgetItem* item = parent->child(i);
    switch (item->checkState(0)) {
      case Qt::Checked:
        paths.push_back(item->data(0, kPathRole).toString().toStdString());
        break;
      case Qt::PartiallyChecked:
        CollectTicked(item, paths);
        break;
      default:
        break;
    }
  }
}

}  // namespace

void TForm1::BitBtn13Click() {
  ShowCoveringPage(Panel8);
  FillJobList(CB4);
  CB4->setCurrentIndex(cb4Index_ < CB4->count() ? cb4Index_ : -1);
  if (CB4->currentIndex() < 0) {
    ClearRestorePage();
    return;
  }
  SelectedJob = CB4->currentIndex();
  ShowJob();
  FillRestoreStates();
  FillRestoreTree();
}

void TForm1::CB4Enter() {
  // As the check page's list: read again, the chosen job stays chosen.
  const int chosen = CB4->currentIndex();
  const QString name = CB4->currentText();
  FillJobList(CB4);
  if (chosen >= 0 && chosen < CB4->count() && CB4->itemText(chosen) == name)
    CB4->setCurrentIndex(chosen);
}

void TForm1::CB4Change() {
  const int index = CB4->currentIndex();
  if (index < 0) return;
  CB1->setCurrentIndex(index);
  SelectedJob = index;
  cb4Index_ = index;
  ShowJob();
  FillRestoreStates();
  FillRestoreTree();
}

void TForm1::CB5Change() { FillRestoreTree(); }

void TForm1::ClearRestorePage() {
  CB5->clear();
  TV1->clear();
  restoreState_.reset();
  BitBtn14->setEnabled(false);
}

void TForm1::FillRestoreStates() {
  CB5->clear();
  CB5->addItem(QStringLiteral("Letzte Sicherung"), QString());
  CB5->setCurrentIndex(0);
  BitBtn14->setEnabled(JobReady());
  if (!JobReady()) return;
  // Without a versions folder (or when it cannot be read) only the last
  // backup can be given back.
  std::vector<versions::RunFolder> states;
  restore::ListStates(restore::MakeRestoreRequest(*state_).JobTarget, states);
  for (const versions::RunFolder& folder : states) {
    restore::StateChoice choice;
    choice.kind = restore::StateChoice::Kind::RunFolder;
    choice.runFolder = folder.name;
    QString text = Q(choice.Text());
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    CB5->addItem(text, Q(folder.name));
  }
}

restore::StateChoice TForm1::ChosenState() const {
  restore::StateChoice choice;
  const std::string folder = CB5->currentData().toString().toStdString();
  if (!folder.empty()) {
    choice.kind = restore::StateChoice::Kind::RunFolder;
    choice.runFolder = folder;
  }
  return choice;
}

void TForm1::FillRestoreTree() {
  fillingTree_ = true;
  TV1->clear();
  restoreState_.reset();
  if (JobReady()) {
    const restore::RestoreRequest request = restore::MakeRestoreRequest(*state_);
    auto state = std::make_unique<restore::TargetState>();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int result = state->Load(request.JobTarget, TopNames(request), ChosenState());
    QApplication::restoreOverrideCursor();
    if (result != 0) {
      // The tree tells why it is empty (a drive not plugged in, say).
      auto* item = new QTreeWidgetItem(TV1, {Q(state->Failure())});
      item->setFlags(Qt::ItemIsEnabled);
      item->setToolTip(0, item->text(0));
    } else {
      restoreState_ = std::move(state);
      for (const restore::StateEntry& entry : restoreState_->Children(std::string()))
        AddEntry(TV1->invisibleRootItem(), entry, Qt::Unchecked, style());
    }
  }
  fillingTree_ = false;
}

void TForm1::FillRestoreItem(QTreeWidgetItem* item) {
  if (restoreState_ == nullptr || item->data(0, kFilledRole).toBool()) return;
  fillingTree_ = true;
  item->setData(0, kFilledRole, true);
  // The entries of a ticked folder come ticked.
  const Qt::CheckState check = item->checkState(0) == Qt::Checked ? Qt::Checked : Qt::Unchecked;
  const std::string relative = item->data(0, kPathRole).toString().toStdString();
  for (const restore::StateEntry& entry : restoreState_->Children(relative))
    AddEntry(item, entry, check, style());
  if (item->childCount() == 0)
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  fillingTree_ = false;
}

std::vector<std::string> TForm1::TickedPaths() const {
  std::vector<std::string> paths;
  CollectTicked(TV1->invisibleRootItem(), paths);
  return paths;
}

QTreeWidgetItem* TForm1::RestoreItem(const std::string& relative) {
  QTreeWidgetItem* parent = TV1->invisibleRootItem();
  QTreeWidgetItem* found = nullptr;
  std::size_t start = 0;
  while (start <= relative.size()) {
    const std::size_t slash = relative.find('/', start);
    const std::string path = relative.substr(0, slash);
    found = nullptr;
    if (parent != TV1->invisibleRootItem()) TV1->expandItem(parent);
    for (int i = 0; i < parent->childCount() && found == nullptr; ++i)
      if (parent->child(i)->data(0, kPathRole).toString().toStdString() == path)
        found = parent->child(i);
    if (found == nullptr || slash == std::string::npos) break;
    parent = found;
    start = slash + 1;
  }
  return found;
}

restore::RestoreRequest TForm1::RestoreChoice() const {
  restore::RestoreRequest request = restore::MakeRestoreRequest(*state_);
  request.State = ChosenState();
  if (RadioButton4->isChecked()) request.Paths = TickedPaths();
  if (RadioButton6->isChecked()) {
    const std::string folder = Edit4->text().toStdString();
    request.ToFolder = folder == "/" ? folder : RemoveBackslash(folder);
  }
  return request;
}

void TForm1::Button4Click() {
  std::string dir = Edit4->text().toStdString();
  if (!ChooseDirectory("Wählen Sie das Verzeichnis, in das wiederhergestellt werden soll.", dir))
    return;
  Edit4->setText(Q(dir));
  RadioButton6->setChecked(true);
}

void TForm1::BitBtn14Click() {
  if (!JobReady() || CB4->currentIndex() < 0) {
    ShowInfo("Es ist keine Sicherung ausgewählt.", 1);
    return;
  }
  const restore::RestoreRequest request = RestoreChoice();
  if (RadioButton4->isChecked() && request.Paths.empty()) {
    ShowInfo("Es wurden keine Ordner oder Dateien zum Wiederherstellen ausgewählt.", 1);
    return;
  }
  if (RadioButton6->isChecked()) {
    if (text::Trim(request.ToFolder).empty()) {
      ShowInfo("Es wurde kein Verzeichnis für die Wiederherstellung eingegeben!", 1);
      return;
    }
    if (request.ToFolder.front() != '/') {
      ShowInfo("Das Verzeichnis " + request.ToFolder +
                   " ist kein vollständiger Pfad. Bitte geben Sie es von \"/\" an ein oder wählen "
                   "Sie es aus.",
               1);
      return;
    }
  }
  TFWieder* run = FormWieder();
  if (run == nullptr || !run->Open(request)) return;
  run->exec();
}
