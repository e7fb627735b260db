// Job commands of the backup page: new job and edit job.
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "dialogs/neuform.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"

void TForm1::Button1Click() {
  TFNeu* editor = FormNeu();
  if (editor == nullptr) return;
  const bool added = editor->OpenNewJob();
  SaveChangedCatalogue();
  if (!added) return;
  GroupBox1->show();
  ShowJob();
  // The new job is the one on display on this page from now on.
  cb1Index_ = CB1->currentIndex();
}

void TForm1::Button2Click() {
  if (text::Trim(CB1->currentText().toStdString()).empty()) {
    ShowInfo("Es ist keine Sicherung ausgewählt.", 1);
    return;
  }
  TFNeu* editor = FormNeu();
  if (editor == nullptr) return;
  const int edited = SelectedJob;
  const int result = editor->EditJob();
  SaveChangedCatalogue();
  switch (result) {
    case 1:
      ShowJob();
      break;
    case 2: {
      // The job is gone: the page shows no job. The list is refilled so
      // that the deleted name is no longer offered.
      FillJobList(CB1);
      CB1->setCurrentIndex(-1);
      cb1Index_ = -1;
      // The check and restore pages keep their jobs; the jobs behind the
      // deleted one moved up by one.
      for (int* remembered : {&cb2Index_, &cb4Index_}) {
        if (*remembered == edited)
          *remembered = -1;
        else if (*remembered > edited)
          --*remembered;
      }
      FillJobList(CB2);
      CB2->setCurrentIndex(cb2Index_);
      ClearShownJob();
      Button3->setEnabled(false);
      if (backups_->Count() == 0) GroupBox1->hide();
      break;
    }
    default:
      break;
  }
}
