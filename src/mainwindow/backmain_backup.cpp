// Backup page commands: the run report and the start of a backup.
#include <QComboBox>
#include <QRadioButton>

#include "base/errorbox.h"
#include "core/backup/runrequest.h"
#include "core/catalogue/singlefile.h"
#include "dialogs/kopierform.h"
#include "dialogs/verlaufform.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"
#include "platform/platform.h"

void TForm1::Button3Click() {
  const std::string path = tBackups::GetDataDir() + Backups()->GetLogFileName(SelectedJob);
  if (Backups()->GetLogFileName(SelectedJob).empty() || !platform::FileExists(path)) {
    ShowInfo("Es wurde keine Protokolldatei gefunden.", 0);
    return;
  }
  ShowReportFile(path);
}

void TForm1::HistoryButtonClick() {
  if (SelectedJob < 0 || SelectedJob >= Backups()->Count()) return;
  if (history_ == nullptr) history_ = new TFVerlauf(this);
  history_->Open(CB1->currentText().toStdString(),
                 history::ForJob(*Backups(), SelectedJob, history::Started::Window));
}

void TForm1::BitBtn1Click() {
  if (!JobReady()) return;
  TFKopie* run = FormKopie();
  if (run == nullptr) return;
  run->Open(MakeRunRequest(*state_, CB1->currentText().toStdString(), RadioButton1->isChecked()));
  if (run->exec() == 3) {
    // The main window saves catalogue and settings as it closes.
    close();
    return;
  }
  ShowJob();
}
