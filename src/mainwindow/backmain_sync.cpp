// The synchronisation page: the stored synchronisations in CB3, the pair of
// the chosen one in SG1, new, edit, delete and the start of a run.
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>

#include "base/codepage.h"
#include "base/errorbox.h"
#include "core/sync/syncdefs.h"
#include "dialogs/neusynform.h"
#include "dialogs/synform.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"

namespace {

std::string Text(const QComboBox* box) { return text::Trim(box->currentText().toStdString()); }

// The stored definition of that name; false when there is none (or the
// list cannot be read: told when `tell`).
bool FindDefinition(const std::string& name, SyncDefinition& found, bool tell) {
  SyncDefinitions definitions;
  if (!TFSynNeu::LoadList(definitions, tell)) return false;
  const int index = definitions.Find(name);
  if (index < 0) {
    if (tell) ShowInfo("Die Synchronisation \"" + name + "\" gibt es nicht mehr.", 1);
    return false;
  }
  found = definitions.All()[static_cast<std::size_t>(index)];
  return true;
}

}  // namespace

void TForm1::FillSyncList(const std::string& name) {
  SyncDefinitions definitions;
  TFSynNeu::LoadList(definitions, false);
  CB3->clear();
  for (const SyncDefinition& d : definitions.All()) CB3->addItem(QString::fromStdString(d.name));
  const int index = name.empty() ? -1 : definitions.Find(name);
  CB3->setCurrentIndex(index);
  cb3Name_ = index < 0 ? std::string() : Text(CB3);
  ShowSyncPair();
}

void TForm1::ShowSyncPair() {
  SyncDefinition chosen;
  const bool found = !cb3Name_.empty() && FindDefinition(cb3Name_, chosen, false);
  for (int column = 0; column < 2; ++column) {
    if (SG1->item(0, column) == nullptr) SG1->setItem(0, column, new QTableWidgetItem());
    SG1->item(0, column)->setText(
        found ? QString::fromStdString(column == 0 ? chosen.first : chosen.second) : QString());
  }
  BitBtn16->setEnabled(found);
  BitBtn17->setEnabled(found);
}

void TForm1::CB3Enter() { FillSyncList(Text(CB3)); }

void TForm1::CB3Change() {
  cb3Name_ = CB3->currentIndex() < 0 ? std::string() : Text(CB3);
  ShowSyncPair();
}

void TForm1::BitBtn7Click() {
  TFSynNeu* editor = FormSynNeu();
  if (editor == nullptr) return;
  editor->OpenNew();
  if (editor->exec() == TFSynNeu::kResultOk) FillSyncList(editor->StoredName());
}

void TForm1::BitBtn16Click() {
  SyncDefinition chosen;
  if (!FindDefinition(Text(CB3), chosen, true)) {
    FillSyncList(std::string());
    return;
  }
  TFSynNeu* editor = FormSynNeu();
  if (editor == nullptr) return;
  editor->OpenEdit(chosen);
  FillSyncList(editor->exec() == TFSynNeu::kResultOk ? editor->StoredName() : chosen.name);
}

void TForm1::BitBtn17Click() {
  const std::string name = Text(CB3);
  if (name.empty()) return;
  if (!AskYesNo("Soll die Synchronisation \"" + name +
                "\" gelöscht werden?\rDie beiden Verzeichnisse bleiben, wie sie sind."))
    return;
  if (!TFSynNeu::DeleteDefinition(name)) return;
  FillSyncList(std::string());
  // The disabled commands give the keyboard back to the list.
  CB3->setFocus(Qt::OtherFocusReason);
}

void TForm1::BitBtn8Click() {
  const std::string name = Text(CB3);
  if (name.empty()) {
    ShowInfo("Hier geht noch nix.", 0);
    return;
  }
  SyncDefinition chosen;
  if (!FindDefinition(name, chosen, true)) {
    FillSyncList(std::string());
    return;
  }
  TFSyn* run = FormSyn();
  if (run == nullptr) return;
  run->Open(chosen);
  run->exec();
}
