// Backup page commands: the run report and the start of a backup.
#include <QComboBox>
#include <QRadioButton>

#include "backup/kopierform.h"
#include "backup/runrequest.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"
#include "platform/platform.h"
#include "storage/errorbox.h"

void TForm1::Button3Click() {
  const std::string path = tBackups::GetDataDir() + Backups()->GetLogFileName(SelectedJob);
  if (Backups()->GetLogFileName(SelectedJob).empty() || !platform::FileExists(path)) {
    ShowInfo("Es wurde keine Protokolldatei gefunden.", 0);
    return;
  }
  if (platform::LaunchFile("notepad.exe", path) == 31) platform::LaunchFile(path, std::string());
}

void TForm1::BitBtn1Click() {
  TFKopie* run = FKopie;
  if (run == nullptr) return;
  run->Open(MakeRunRequest(*state_, CB1->currentText().toStdString(), RadioButton1->isChecked()));
  if (run->exec() == 3) {
    // The main window saves catalogue and settings as it closes.
    close();
    return;
  }
  ShowJob();
}
