#include "widgets/qt_errorbox.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "platform/platform.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A box or picker that appears in the middle of the screen, whatever its
// parent window: placed once its final size is known, before it is mapped.
template <class Base>
class ScreenCentred : public Base {
 public:
  using Base::Base;

 protected:
  void showEvent(QShowEvent* event) override {
    Base::showEvent(event);
    if (event->spontaneous()) return;
    QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = this->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    this->move(frame.topLeft());
  }
};

// Qt's file dialogs write sizes and dates in the desktop's language (the
// system's locale, English where that is "C"); this program speaks German
// whatever the desktop says.
class GermanFileColumns : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    enum { kSize = 1, kDate = 3 };
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (role == Qt::DisplayRole && files != nullptr &&
        (index.column() == kSize || index.column() == kDate)) {
      const QModelIndex source = mapToSource(index);
      const QLocale german;  // the program's locale
      if (index.column() == kDate)
        return german.toString(files->lastModified(source), QLocale::ShortFormat);
      if (!files->isDir(source)) return german.formattedDataSize(files->size(source));
    }
    return QIdentityProxyModel::data(index, role);
  }
};

// Qt's own dialog (also where the desktop has one of its own), speaking
// German.
void UseGermanFileDialog(QFileDialog* dialog) {
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setProxyModel(new GermanFileColumns(dialog));
}

}  // namespace

QWidget* BoxParent() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  // No window of the program has the focus (another program has it, or
  // the program is just starting): the topmost visible window of the
  // program, else its main window even while that is hidden.
  QWidget* main = nullptr;
  QWidget* visible = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip) continue;
    if (w->objectName() == QLatin1String(kMainWindowName)) main = w;
    if (w->isVisible() && (visible == nullptr || w->isModal())) visible = w;
  }
  return visible != nullptr ? visible : main;
}

QString BoxDisplayText(const std::string& text) {
  QString s = Q(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

std::unique_ptr<QMessageBox> MakeMessageBox(BoxKind kind, const std::string& text) {
  auto box = std::make_unique<ScreenCentred<QMessageBox>>(BoxParent());
  box->setWindowModality(Qt::ApplicationModal);
  // File names may hold "<" or "&": the text is never read as markup.
  box->setTextFormat(Qt::PlainText);
  box->setText(BoxDisplayText(text));
  switch (kind) {
    case BoxKind::Info:
    case BoxKind::Note: {
      box->setWindowTitle(kind == BoxKind::Info ? QStringLiteral("Information")
                                                : QStringLiteral("VolKarn"));
      box->setIcon(kind == BoxKind::Info ? QMessageBox::Information : QMessageBox::NoIcon);
      QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
      box->setDefaultButton(ok);
      box->setEscapeButton(ok);
      break;
    }
    case BoxKind::Question:
    case BoxKind::QuestionDefaultNo:
    case BoxKind::QuestionAll: {
      box->setWindowTitle(QStringLiteral("Bestätigung"));
      box->setIcon(QMessageBox::Question);
      QPushButton* yes = box->addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
      QPushButton* no = box->addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
      if (kind == BoxKind::QuestionAll) {
        box->addButton(QStringLiteral("Ja, &alle"), QMessageBox::AcceptRole)
            ->setObjectName(QStringLiteral("yesAll"));
        box->addButton(QStringLiteral("Nein, a&lle"), QMessageBox::RejectRole)
            ->setObjectName(QStringLiteral("noAll"));
      }
      box->setDefaultButton(kind == BoxKind::Question ? yes : no);
      box->setEscapeButton(no);
      break;
    }
  }
  return box;
}

std::unique_ptr<QDialog> MakeDirectoryDialog(const std::string& prompt, const std::string& dir,
                                             QFileDialog** fileDialog) {
  auto dialog = std::make_unique<ScreenCentred<QDialog>>(BoxParent());
  dialog->setWindowTitle(QStringLiteral("VolKarn"));
  dialog->setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(dialog.get());
  auto* label = new QLabel(Q(prompt), dialog.get());
  label->setObjectName(QStringLiteral("prompt"));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  layout->addWidget(label);

  // Qt's own chooser, embedded below the prompt.
  auto* chooser = new QFileDialog(dialog.get());
  UseGermanFileDialog(chooser);
  chooser->setWindowFlags(Qt::Widget);
  chooser->setFileMode(QFileDialog::Directory);
  chooser->setOption(QFileDialog::ShowDirsOnly, true);
  chooser->setAcceptMode(QFileDialog::AcceptOpen);
  if (!dir.empty()) {
    QFileInfo start(Q(dir));
    if (start.isRoot()) {
      chooser->setDirectory(QStringLiteral("/"));
    } else {
      chooser->setDirectory(start.absolutePath());
      chooser->selectFile(start.absoluteFilePath());
    }
  } else {
    chooser->setDirectory(QStringLiteral("/"));
  }
  layout->addWidget(chooser);
  QObject::connect(chooser, &QDialog::accepted, dialog.get(), &QDialog::accept);
  QObject::connect(chooser, &QDialog::rejected, dialog.get(), &QDialog::reject);
  dialog->resize(640, 480);
  if (fileDialog) *fileDialog = chooser;
  return dialog;
}

std::string ChosenDirectoryText(const QString& chosen) {
  if (chosen.isEmpty()) return std::string();
  // cleanPath keeps "/" for the root and drops every other trailing "/".
  return QDir::cleanPath(chosen).toStdString();
}

void QtUserInterface::Info(const std::string& text, bool /*beep*/) {
  // ShowInfo has played the sound through Beep() already.
  MakeMessageBox(BoxKind::Info, text)->exec();
}

void QtUserInterface::Note(const std::string& text) { MakeMessageBox(BoxKind::Note, text)->exec(); }

bool QtUserInterface::YesNo(const std::string& text) {
  auto box = MakeMessageBox(BoxKind::Question, text);
  box->exec();
  // Escape and the window's close button give the escape button "&Nein".
  QAbstractButton* clicked = box->clickedButton();
  return clicked != nullptr && box->buttonRole(clicked) == QMessageBox::YesRole;
}

bool QtUserInterface::YesNoDefaultNo(const std::string& text) {
  auto box = MakeMessageBox(BoxKind::QuestionDefaultNo, text);
  box->exec();
  QAbstractButton* clicked = box->clickedButton();
  return clicked != nullptr && box->buttonRole(clicked) == QMessageBox::YesRole;
}

UserInterface::AllAnswer QtUserInterface::YesNoAll(const std::string& text) {
  auto box = MakeMessageBox(BoxKind::QuestionAll, text);
  box->exec();
  QAbstractButton* clicked = box->clickedButton();
  if (clicked == nullptr) return AllAnswer::No;
  switch (box->buttonRole(clicked)) {
    case QMessageBox::YesRole:
      return AllAnswer::Yes;
    case QMessageBox::AcceptRole:
      return AllAnswer::YesAll;
    case QMessageBox::RejectRole:
      return AllAnswer::NoAll;
    default:
      return AllAnswer::No;
  }
}

bool QtUserInterface::ChooseDirectory(const std::string& prompt, std::string& dir) {
  if (!platform::DirExists(dir)) dir.clear();
  QFileDialog* chooser = nullptr;
  auto dialog = MakeDirectoryDialog(prompt, dir, &chooser);
  if (dialog->exec() != QDialog::Accepted) return false;
  std::string chosen = ChosenDirectoryText(chooser->selectedFiles().value(0));
  if (chosen.empty() || !QFileInfo(Q(chosen)).isDir()) return false;
  dir = chosen;
  return true;
}

std::vector<std::string> QtUserInterface::ChooseFiles(const std::string& initialDir) {
  ScreenCentred<QFileDialog> dialog(BoxParent(), QString(), Q(initialDir), QString());
  dialog.setWindowModality(Qt::ApplicationModal);
  UseGermanFileDialog(&dialog);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  std::vector<std::string> result;
  if (dialog.exec() != QDialog::Accepted) return result;
  const QStringList files = dialog.selectedFiles();
  result.reserve(static_cast<std::size_t>(files.size()));
  for (const QString& f : files) result.push_back(f.toStdString());
  return result;
}

void QtUserInterface::Beep() { QApplication::beep(); }
