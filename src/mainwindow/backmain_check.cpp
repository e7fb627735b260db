// Check page commands: check a backup and complete it.
#include <QComboBox>

#include "base/codepage.h"
#include "dialogs/checkform.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"

// "&Sicherung überprüfen": count the missing files, details on request.
void TForm1::BitBtn2Click() { OpenCheck(CheckMode::CheckOnly); }

// "Sicherung &vervollständigen": count and copy every missing file.
void TForm1::BitBtn5Click() { OpenCheck(CheckMode::Complete); }

void TForm1::OpenCheck(CheckMode mode) {
  const std::string name = CB2->currentText().toStdString();
  // A job that was not read whole is neither checked nor completed; with
  // no job chosen the check window tells so.
  if (!JobReady() && !text::Trim(name).empty()) return;
  if (TFCheck* check = FormCheck()) check->OpenCheck(MakeCheckRequest(*state_, name, mode));
}
