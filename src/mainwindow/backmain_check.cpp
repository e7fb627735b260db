// Check page commands: check a backup and complete it.
#include <QComboBox>

#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"
#include "dialogs/checkform.h"

// "&Sicherung überprüfen": count the missing files, details on request.
void TForm1::BitBtn2Click() {
  if (FCheck != nullptr)
    FCheck->OpenCheck(
        MakeCheckRequest(*state_, CB2->currentText().toStdString(), CheckMode::CheckOnly));
}

// "Sicherung &vervollständigen": count and copy every missing file.
void TForm1::BitBtn5Click() {
  if (FCheck != nullptr)
    FCheck->OpenCheck(
        MakeCheckRequest(*state_, CB2->currentText().toStdString(), CheckMode::Complete));
}
