// Backup page commands: the run report and the start of a backup.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <utility>
#include <vector>

#include "backup/errorbox.h"
#include "backup/kopierform.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"
#include "platform/platform.h"
#include "storage/codepage.h"
#include "storage/pathtext.h"
#include "storage/singlefile.h"

void TForm1::Button3Click() {
  const std::string path = tBackups::GetDataDir() + Backups()->GetLogFileName(SelectedJob);
  if (Backups()->GetLogFileName(SelectedJob).empty() || !platform::FileExists(path)) {
    ShowInfo("Es wurde keine Protokolldatei gefunden.", 0);
    return;
  }
  int result = platform::LaunchFile("notepad.exe", path);
  // No text editor: the program that opens text files on this desktop.
  if (result == 31) result = platform::LaunchFile(path, std::string());
  if (!Launched(result)) ReportNotOpened(path);
}

void TForm1::BitBtn1Click() {
  TFKopie* run = FKopie;
  if (run == nullptr) return;
  run->Panel3->setGeometry(run->Panel2->rect());
  run->Panel3->show();

  const QString name = CB1->currentText();
  run->setWindowTitle(QStringLiteral("Sicherung \"") + name + QStringLiteral("\""));
  run->Label2->setText(name);
  run->FullBackup = false;

  run->ChangedSince = ChangedSince;
  run->ChangedSinceText = QStringLiteral("Nach dem ") + Edit2->text() + QStringLiteral("/") +
                          Edit3->text() + QStringLiteral(" Uhr geändert.");
  run->ExcludedExts = QString::fromStdString(text::Upper(Backups()->LoadJobText(SelectedJob, 1)));
  run->ExcludedFiles = QString::fromStdString(text::Upper(Backups()->LoadJobText(SelectedJob, 2)));

  run->FullBackup = Edit2->text().isEmpty() || RadioButton1->isChecked();

  // One row per source directory. A job without directories gets an empty
  // grid: the rows of the job shown before must never be run for this one.
  std::vector<std::pair<QString, QString>> rows;
  const std::string target = AddBackslash(Edit1->text().toStdString());
  for (int i = 0; i < LB1->count(); ++i) {
    const std::string source = LB1->item(i)->text().toStdString();
    rows.emplace_back(QString::fromStdString(source),
                      QString::fromStdString(target + GetLastPathPart(source)));
  }
  run->SetDirectoryRows(rows);

  if (run->exec() == 3) {
    // The main window saves catalogue and settings as it closes.
    close();
    return;
  }
  ShowJob();
}
