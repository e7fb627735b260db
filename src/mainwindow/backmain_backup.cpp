// Backup page commands: the run report and the start of a backup.
#include <QComboBox>
#include <QRadioButton>

#include "dialogs/kopierform.h"
#include "core/backup/runrequest.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"
#include "platform/platform.h"
#include "base/errorbox.h"
#include "core/catalogue/singlefile.h"

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
  if (run == nullptr || !JobReady()) return;
  run->Open(MakeRunRequest(*state_, CB1->currentText().toStdString(), RadioButton1->isChecked()));
  if (run->exec() == 3) {
    // The main window saves catalogue and settings as it closes.
    close();
    return;
  }
  ShowJob();
}
