#include "mainwindow/qt_forms.h"

#include "dialogs/aboutform.h"
#include "dialogs/checkform.h"
#include "dialogs/kopierform.h"
#include "dialogs/neuform.h"
#include "dialogs/neusynform.h"
#include "dialogs/restform.h"
#include "dialogs/synform.h"
#include "dialogs/wiederform.h"
#include "mainwindow/backmain.h"

TForm1* Form1 = nullptr;
TFNeu* FNeu = nullptr;
TFCheck* FCheck = nullptr;
TFKopie* FKopie = nullptr;
TFRest* FRest = nullptr;
TFSynNeu* FSynNeu = nullptr;
Tabout* about = nullptr;
TFWieder* FWieder = nullptr;
TFSyn* FSyn = nullptr;

Forms::Forms() = default;

Forms::~Forms() {
  fsyn.reset();
  fwieder.reset();
  fabout.reset();
  fsynneu.reset();
  frest.reset();
  fkopie.reset();
  fcheck.reset();
  fneu.reset();
  form1.reset();
  Form1 = nullptr;
  FNeu = nullptr;
  FCheck = nullptr;
  FKopie = nullptr;
  FRest = nullptr;
  FSynNeu = nullptr;
  about = nullptr;
  FWieder = nullptr;
  FSyn = nullptr;
}

std::unique_ptr<Forms> CreateForms(const std::string& lockName) {
  auto forms = std::make_unique<Forms>();
  forms->form1 = std::make_unique<TForm1>(nullptr, lockName);
  Form1 = forms->form1.get();
  if (Form1->StartRefused()) return forms;
  AppState* state = &Form1->State();
  forms->fneu = std::make_unique<TFNeu>(Form1, state);
  FNeu = forms->fneu.get();
  forms->fcheck = std::make_unique<TFCheck>(Form1, state);
  FCheck = forms->fcheck.get();
  forms->fkopie = std::make_unique<TFKopie>(Form1, state);
  FKopie = forms->fkopie.get();
  forms->frest = std::make_unique<TFRest>(Form1);
  FRest = forms->frest.get();
  FCheck->SetCompletionWindow(FRest);
  forms->fsynneu = std::make_unique<TFSynNeu>(Form1);
  FSynNeu = forms->fsynneu.get();
  forms->fabout = std::make_unique<Tabout>(Form1);
  about = forms->fabout.get();
  forms->fwieder = std::make_unique<TFWieder>(Form1, state);
  FWieder = forms->fwieder.get();
  forms->fsyn = std::make_unique<TFSyn>(Form1);
  FSyn = forms->fsyn.get();
  return forms;
}
