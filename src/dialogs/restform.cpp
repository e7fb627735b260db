#include "dialogs/restform.h"
#include "widgets/qt_look.h"
#include "widgets/qt_pictures.h"
#include "widgets/qt_runthread.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "base/errorbox.h"
#include "base/timeproc.h"
#include "core/catalogue/singlefile.h"
#include "core/verify/checkrun.h"

namespace {

enum Column { kColX = 0, kColCount = 1, kColSource = 2, kColSub = 3, kColTarget = 4 };

// The exact bytes of a field are kept beside its text: file names need not
// be valid UTF-8.
constexpr int kBytesRole = Qt::UserRole + 1;
// On the tick of a row: the names of its files whose bytes differ.
constexpr int kDifferingRole = Qt::UserRole + 2;

QString Q(const std::string& s) { return QString::fromStdString(s); }

QFont BaseFont() { return SansFont(11); }

QFont BoldFont(int pixelSize) { return SansFont(pixelSize, true); }

// The folder as a file list shows it: without a trailing "/" (but "/").
QString FolderText(const std::string& folder) {
  QString text = QFile::decodeName(QByteArray::fromStdString(folder));
  while (text.size() > 1 && text.endsWith(QLatin1Char('/'))) text.chop(1);
  return text;
}

// The file list with German column texts: name, size in KB (rounded up, as
// the desktop shows it), type from the extension, date of the last change.
class TFileListModel : public QFileSystemModel {
 public:
  using QFileSystemModel::QFileSystemModel;

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
      switch (section) {
        case 0:
          return QStringLiteral("Name");
        case 1:
          return QStringLiteral("Größe");
        case 2:
          return QStringLiteral("Typ");
        case 3:
          return QStringLiteral("Geändert am");
        default:
          break;
      }
    }
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
      return QVariant(
          static_cast<int>((section == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    return QFileSystemModel::headerData(section, orientation, role);
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole && index.column() >= 1 && index.column() <= 3) {
      const QFileInfo info = fileInfo(index);
      switch (index.column()) {
        case 1: {
          const qint64 kb = (info.size() + 1023) / 1024;
          return QLocale(QLocale::German).toString(kb) + QStringLiteral(" KB");
        }
        case 2:
          return info.suffix().isEmpty() ? QStringLiteral("Datei")
                                         : info.suffix().toUpper() + QStringLiteral("-Datei");
        default:
          return info.lastModified().toString(QStringLiteral("dd.MM.yyyy hh:mm"));
      }
    }
    if (role == Qt::TextAlignmentRole && index.column() == 1)
      return QVariant(static_cast<int>(Qt::AlignRight | Qt::AlignVCenter));
    return QFileSystemModel::data(index, role);
  }
};

// What FLB1 shows of the file system: the files of one folder, hidden ones
// included, no folders; nothing at all for a folder that does not exist.
class TFilesOnly : public QSortFilterProxyModel {
 public:
  TFilesOnly(QFileSystemModel* files, QObject* parent)
      : QSortFilterProxyModel(parent), files_(files) {
    setSourceModel(files);
    // Sorted by name, letter case ignored; the list has no column sorting.
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true);
    sort(0, Qt::AscendingOrder);
  }
  void SetFolder(const QString& folder, bool exists) {
    folder_ = folder;
    exists_ = exists;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    if (!exists_) return false;
    if (files_->filePath(parent) != folder_) return true;  // the way down to the folder
    return !files_->isDir(files_->index(row, 0, parent));
  }

 private:
  QFileSystemModel* files_;
  QString folder_;
  bool exists_ = false;
};

// Shows which row has the keyboard with a line round the whole row: the
// row is what Space ticks, whichever of its cells is the current one.
class RowFocusDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, plain, index);
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (view == nullptr || !view->hasFocus() || view->currentIndex().row() != index.row()) return;
    const QPalette& p = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    const QColor colour =
        p.color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Highlight);
    // Two pixels wide, like the frame of a button with the focus.
    const QRect r = option.rect;
    painter->fillRect(QRect(r.left(), r.top(), r.width(), 2), colour);
    painter->fillRect(QRect(r.left(), r.bottom() - 1, r.width(), 2), colour);
    if (index.column() == 0) painter->fillRect(QRect(r.left(), r.top(), 2, r.height()), colour);
    if (index.column() == index.model()->columnCount() - 1)
      painter->fillRect(QRect(r.right() - 1, r.top(), 2, r.height()), colour);
  }
};

}  // namespace

TFRest::TFRest(QWidget* parent) : QDialog(parent) { BuildWindow(); }

TFRest::~TFRest() = default;

void TFRest::BuildWindow() {
  setFont(BaseFont());
  setWindowTitle(QString());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setSizeGripEnabled(true);
  resize(1000, 540);

  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(8, 8, 8, 8);
  main->setSpacing(6);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setReadOnly(true);
  Memo1->setFont(BoldFont(13));
  Memo1->setFixedHeight(50);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // Read by the eye, not a stop on the way through the window by Tab.
  Memo1->setFocusPolicy(Qt::ClickFocus);
  main->addWidget(Memo1);

  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setChildrenCollapsible(false);

  LV1 = new QTableWidget(0, 5, Splitter1);
  LV1->setHorizontalHeaderLabels({QStringLiteral("X"), QStringLiteral("Anzahl"),
                                  QStringLiteral("Quelle"), QStringLiteral("Unterverzeichnis"),
                                  QStringLiteral("Ziel")});
  LV1->horizontalHeaderItem(kColCount)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  LV1->horizontalHeader()->setMinimumSectionSize(20);
  LV1->setColumnWidth(kColX, 20);
  LV1->setColumnWidth(kColCount, 45);
  LV1->setColumnWidth(kColSource, 200);
  LV1->setColumnWidth(kColSub, 200);
  LV1->setColumnWidth(kColTarget, 200);
  LV1->horizontalHeader()->setHighlightSections(false);
  LV1->horizontalHeader()->setSectionsClickable(true);
  LV1->horizontalHeader()->setStretchLastSection(false);
  LV1->verticalHeader()->hide();
  LV1->verticalHeader()->setMinimumSectionSize(14);
  LV1->verticalHeader()->setDefaultSectionSize(19);
  LV1->setShowGrid(true);
  // Tab leaves the list; the arrow keys move inside it.
  LV1->setTabKeyNavigation(false);
  LV1->setSelectionBehavior(QAbstractItemView::SelectRows);
  LV1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  LV1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  LV1->setWordWrap(false);
  LV1->setSortingEnabled(false);
  // Space ticks the row, whichever of its cells is the current one; the
  // whole row shows that it has the keyboard.
  LV1->installEventFilter(this);
  LV1->setItemDelegate(new RowFocusDelegate(LV1));
  connect(LV1->selectionModel(), &QItemSelectionModel::currentRowChanged, LV1->viewport(),
          qOverload<>(&QWidget::update));

  auto* right = new QWidget(Splitter1);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->setSpacing(0);
  FLB1Model = new TFileListModel(this);
  // Folders stay in the model (the way to the shown folder must not be
  // filtered away); TFilesOnly hides them from the list.
  FLB1Model->setFilter(QDir::AllDirs | QDir::Files | QDir::Hidden | QDir::System |
                       QDir::NoDotAndDotDot);
  FLB1Model->setReadOnly(false);  // a name edited in place renames the file
  FLB1Model->setNameFilterDisables(false);
  FLB1 = new QTreeView(right);
  FLB1Files = new TFilesOnly(FLB1Model, this);
  FLB1->setModel(FLB1Files);
  FLB1->setRootIsDecorated(false);
  FLB1->setItemsExpandable(false);
  FLB1->setExpandsOnDoubleClick(false);
  FLB1->setSortingEnabled(false);
  FLB1->header()->setSectionsClickable(false);
  FLB1->header()->setSortIndicatorShown(false);
  FLB1->setUniformRowHeights(true);
  FLB1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FLB1->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  FLB1->setColumnWidth(0, 160);
  FLB1->setColumnWidth(1, 70);
  FLB1->setColumnWidth(2, 80);
  FLB1->setColumnWidth(3, 110);
  // The selection stays visible when the list loses the focus.
  QPalette palette = FLB1->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight,
                   palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  FLB1->setPalette(palette);
  StatusBar1 = new QStatusBar(right);
  StatusBar1->setSizeGripEnabled(false);
  rightLayout->addWidget(FLB1, 1);
  rightLayout->addWidget(StatusBar1);

  Splitter1->addWidget(LV1);
  Splitter1->addWidget(right);
  Splitter1->setStretchFactor(0, 3);
  Splitter1->setStretchFactor(1, 2);
  Splitter1->setSizes({640, 340});
  main->addWidget(Splitter1, 1);

  auto* bottom = new QHBoxLayout;
  Label1 = new QLabel(QStringLiteral("Ausgewählte Dateien:"), this);
  Label2 = new QLabel(QStringLiteral("0"), this);
  Label2->setFont(BoldFont(22));
  Label2->setAlignment(Qt::AlignCenter);
  Label2->setMinimumWidth(90);
  BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton),
                            QStringLiteral("Ergänzen"), this);
  Button1 = new QPushButton(QStringLiteral("&Abbrechen"), this);
  BitBtn1 = new QPushButton(pictures::CloseCross(), QStringLiteral("S&chließen"), this);
  for (QPushButton* b : {BitBtn2, Button1, BitBtn1}) {
    b->setMinimumSize(105, 27);
    b->setAutoDefault(false);
  }
  BitBtn2->setEnabled(false);
  Button1->hide();
  QSizePolicy keep = Button1->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  Button1->setSizePolicy(keep);
  bottom->addWidget(Label1);
  bottom->addWidget(Label2);
  bottom->addStretch(1);
  bottom->addWidget(BitBtn2);
  bottom->addWidget(Button1);
  bottom->addSpacing(20);
  bottom->addWidget(BitBtn1);
  main->addLayout(bottom);

  ShowFolder("/");

  connect(LV1, &QTableWidget::itemChanged, this, [this] { LV1Change(); });
  connect(LV1->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { LV1ColumnClick(column); });
  connect(LV1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection&) {
            if (selected.isEmpty()) return;  // deselection does nothing
            int row = selected.indexes().last().row();
            if (LV1->currentRow() >= 0 && selected.contains(LV1->currentIndex()))
              row = LV1->currentRow();
            LV1SelectItem(row);
          });
  connect(FLB1, &QTreeView::doubleClicked, this, [this] { FLB1DblClick(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { close(); });
}

// -------------------------------------------------------------- opening --

void TFRest::OpenCompletion(const CheckReport& report, const ExclusionRule& rule,
                            const history::Target& history) {
  Button1->hide();
  const std::string first = report.Size() > 0 ? report.Line(0) : std::string();
  const std::string second = report.Size() > 1 ? report.Line(1) : std::string();
  Memo1->setPlainText(Q(first) + QLatin1Char('\n') + Q(second) + QLatin1Char(' '));

  LV1->blockSignals(true);
  LV1->setRowCount(0);
  Busy = false;
  for (const MissingEntry& entry : CompletionEntries(report)) AddRow(entry);
  LV1->blockSignals(false);

  PrepareCompletion(Completion, rule, history);
  if (LV1->rowCount() > 0) ShowFolder(RowEntry(0).SourceDir());
  StatusBar1->showMessage(folder_);
  UpdateSelection();

  autoRunDone_ = false;
  autoScheduled_ = false;
  closeRequested_ = false;
  exec();
}

void TFRest::AddRow(const MissingEntry& entry) {
  const int row = LV1->rowCount();
  LV1->insertRow(row);
  auto* tick = new QTableWidgetItem;
  tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  tick->setCheckState(Qt::Unchecked);
  // The files whose bytes differ, copied again with the missing ones.
  QList<QByteArray> differing;
  for (const std::string& name : entry.differing)
    differing.push_back(QByteArray::fromStdString(name));
  tick->setData(kDifferingRole, QVariant::fromValue(differing));
  LV1->setItem(row, kColX, tick);
  auto* count = new QTableWidgetItem(Q(IntToText(entry.Total())));
  count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  LV1->setItem(row, kColCount, count);
  const std::string* fields[3] = {&entry.sourceRoot, &entry.subDir, &entry.targetRoot};
  for (int c = 0; c < 3; ++c) {
    auto* item = new QTableWidgetItem(Q(*fields[c]));
    item->setData(kBytesRole, QByteArray::fromStdString(*fields[c]));
    item->setToolTip(item->text());
    LV1->setItem(row, kColSource + c, item);
  }
}

// ----------------------------------------------------------------- rows --

int TFRest::RowCount() const { return LV1->rowCount(); }

bool TFRest::IsTicked(int row) const {
  const QTableWidgetItem* item = LV1->item(row, kColX);
  return item != nullptr && item->checkState() == Qt::Checked;
}

void TFRest::SetTicked(int row, bool ticked) {
  if (QTableWidgetItem* item = LV1->item(row, kColX))
    item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

MissingEntry TFRest::RowEntry(int row) const {
  MissingEntry entry;
  auto field = [this, row](int column) {
    const QTableWidgetItem* item = LV1->item(row, column);
    return item ? item->data(kBytesRole).toByteArray().toStdString() : std::string();
  };
  entry.count = TextToInt(CountText(row));
  if (const QTableWidgetItem* tick = LV1->item(row, kColX)) {
    for (const QByteArray& name : tick->data(kDifferingRole).value<QList<QByteArray>>())
      entry.differing.push_back(name.toStdString());
    entry.count =
        std::max<std::int32_t>(0, entry.count - static_cast<std::int32_t>(entry.differing.size()));
  }
  entry.sourceRoot = field(kColSource);
  entry.subDir = field(kColSub);
  entry.targetRoot = field(kColTarget);
  return entry;
}

std::string TFRest::CountText(int row) const {
  const QTableWidgetItem* item = LV1->item(row, kColCount);
  return item ? item->text().toStdString() : std::string();
}

void TFRest::SetCountText(int row, const std::string& text) {
  if (QTableWidgetItem* item = LV1->item(row, kColCount)) {
    item->setText(Q(text));
    LV1->viewport()->repaint();
  }
}

void TFRest::KeepInView(int row) {
  if (QTableWidgetItem* item = LV1->item(row, kColCount))
    LV1->scrollToItem(item, QAbstractItemView::EnsureVisible);
}

void TFRest::RemoveRow(int row) { LV1->removeRow(row); }

void TFRest::ProcessEvents() { QCoreApplication::processEvents(); }

// ------------------------------------------------------------- handlers --

void TFRest::FormActivate() {
  if (!AutoMode) return;
  LV1->blockSignals(true);
  for (int row = 0; row < LV1->rowCount(); ++row) SetTicked(row, true);
  LV1->blockSignals(false);
  UpdateSelection();
  repaint();
  CopyRun();
}

void TFRest::BitBtn2Click() {
  if (Busy) return;
  if (AskYesNo(Label2->text().toStdString() + " Dateien kopieren?")) CopyRun();
}

void TFRest::Button1Click() {
  if (Busy)
    cancel_ = true;
  else
    Completion.Cancel();
}

void TFRest::LV1Change() {
  if (!Busy) UpdateSelection();
}

void TFRest::LV1ColumnClick(int column) {
  if (column != kColX) return;
  bool anyTicked = false;
  for (int row = 0; row < LV1->rowCount() && !anyTicked; ++row) anyTicked = IsTicked(row);
  LV1->blockSignals(true);
  for (int row = 0; row < LV1->rowCount(); ++row) SetTicked(row, !anyTicked);
  LV1->blockSignals(false);
  UpdateSelection();
}

void TFRest::LV1SelectItem(int row) {
  if (row < 0 || row >= LV1->rowCount()) return;
  ShowFolder(RowEntry(row).SourceDir());
}

void TFRest::FLB1DblClick() {
  const QModelIndex index = FLB1->currentIndex();
  if (!index.isValid() || !FLB1->selectionModel()->isSelected(index)) return;
  const QString path = FLB1Model->filePath(FLB1Files->mapToSource(index));
  ShowTextFile(QFile::encodeName(path).toStdString());
}

void TFRest::UpdateSelection() {
  BitBtn2->setEnabled(false);
  long long sum = 0;
  for (int row = 0; row < LV1->rowCount(); ++row) {
    if (!IsTicked(row)) continue;
    BitBtn2->setEnabled(true);
    sum += TextToInt(CountText(row));
  }
  Label2->setText(QString::number(sum));
}

void TFRest::ShowFolder(const std::string& folder) {
  folder_ = FolderText(folder);
  // For a folder that does not exist the model keeps its previous root.
  const QModelIndex root = FLB1Model->setRootPath(folder_);
  const bool shown = root.isValid() && FLB1Model->filePath(root) == folder_;
  static_cast<TFilesOnly*>(FLB1Files)->SetFolder(folder_, shown);
  FLB1->setRootIndex(FLB1Files->mapFromSource(root));
  if (shown && FLB1Model->canFetchMore(root)) FLB1Model->fetchMore(root);
  StatusBar1->showMessage(folder_);
}

// ------------------------------------------------------------- copy run --

namespace {

// The answer of `fn` asked on the window's thread.
template <class Fn>
auto On(Fn fn) -> decltype(fn()) {
  decltype(fn()) result{};
  guithread::Call([&] { result = fn(); });
  return result;
}

// The list as the completion sees it while it copies on a thread of its
// own: each question and change of a row is carried out on the window's
// thread (a few per row), and the event rounds the copy asks for become
// the look at the cancel note.
class ListFromRunThread : public CompletionList {
 public:
  ListFromRunThread(CompletionList& list, std::atomic<bool>& cancel, BackupCompletion& completion)
      : list_(list), cancel_(cancel), completion_(completion) {}

  int RowCount() const override {
    return On([&] { return list_.RowCount(); });
  }
  bool IsTicked(int row) const override {
    return On([&] { return list_.IsTicked(row); });
  }
  MissingEntry RowEntry(int row) const override {
    return On([&] { return list_.RowEntry(row); });
  }
  std::string CountText(int row) const override {
    return On([&] { return list_.CountText(row); });
  }
  void SetCountText(int row, const std::string& text) override {
    guithread::Call([&] { list_.SetCountText(row, text); });
  }
  void KeepInView(int row) override {
    guithread::Call([&] { list_.KeepInView(row); });
  }
  void RemoveRow(int row) override {
    guithread::Call([&] { list_.RemoveRow(row); });
  }
  void ProcessEvents() override {
    if (cancel_.load(std::memory_order_relaxed) && cancel_.exchange(false)) completion_.Cancel();
  }

 private:
  CompletionList& list_;
  std::atomic<bool>& cancel_;
  BackupCompletion& completion_;
};

}  // namespace

void TFRest::CopyRun() {
  Busy = true;
  BitBtn2->setEnabled(false);
  Button1->show();
  cancel_ = false;
  // The copies run on a thread of their own; this thread keeps the list
  // and takes "Abbrechen".
  ListFromRunThread list(*this, cancel_, Completion);
  guithread::RunAside([&] { CompleteTickedRows(Completion, list); });
  Button1->hide();
  Busy = false;
  if (closeRequested_) {
    closeRequested_ = false;
    close();
  }
}

void TFRest::CompleteTicked() { Completion.CompleteTicked(*this); }

void TFRest::done(int result) {
  if (Busy) {
    // Stop copying first; the window closes when the run has stopped.
    cancel_ = true;
    closeRequested_ = true;
    return;
  }
  QDialog::done(result);
}

// ---------------------------------------------------- automatic mode --

void TFRest::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The keyboard starts in the list of rows, on the first one (not on a
  // button that Space would press).
  if (!event->spontaneous()) {
    LV1->setFocus(Qt::OtherFocusReason);
    if (LV1->rowCount() > 0)
      LV1->selectionModel()->setCurrentIndex(LV1->model()->index(0, kColX),
                                             QItemSelectionModel::NoUpdate);
  }
  ScheduleAutoRun();
}

void TFRest::ToggleCurrentRow() {
  const int current = LV1->currentRow();
  if (Busy || current < 0) return;
  // The current row and every selected one take the opposite of the
  // current row's tick.
  const bool tick = !IsTicked(current);
  for (int row = 0; row < LV1->rowCount(); ++row) {
    const bool selected = LV1->selectionModel()->isRowSelected(row, QModelIndex());
    if (row == current || selected) SetTicked(row, tick);
  }
}

bool TFRest::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LV1 && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
    LV1->viewport()->update();
  if (watched == LV1 && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
      ToggleCurrentRow();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TFRest::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) ScheduleAutoRun();
}

void TFRest::ScheduleAutoRun() {
  // The automatic run happens once per opening: an error box that closes
  // must not start it over and over.
  if (!AutoMode || autoRunDone_ || autoScheduled_) return;
  autoScheduled_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        autoScheduled_ = false;
        if (!isVisible() || Busy || autoRunDone_ || !AutoMode) return;
        autoRunDone_ = true;
        FormActivate();
      },
      Qt::QueuedConnection);
}
