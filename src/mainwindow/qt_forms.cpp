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

namespace {

// The Forms of the running start.
Forms* running = nullptr;

// The window held by `slot`, made by `make` on the first call when other
// windows may be made.
template <typename Window, typename Make>
Window* MadeOnce(std::unique_ptr<Window>& slot, bool allowed, Make make) {
  if (!slot && allowed) slot = make();
  return slot.get();
}

}  // namespace

Forms::Forms() = default;

Forms::~Forms() {
  // No window is made while the others end.
  ending_ = true;
  // A start made while this one ran (a test's refused second start) may
  // end before or after it: the running start is the latest still alive.
  for (Forms** link = &running; *link != nullptr; link = &(*link)->previous_) {
    if (*link == this) {
      *link = previous_;
      break;
    }
  }
  const TForm1* main = form1_.get();
  fsyn_.reset();
  fwieder_.reset();
  fabout_.reset();
  fsynneu_.reset();
  frest_.reset();
  fkopie_.reset();
  fcheck_.reset();
  fneu_.reset();
  form1_.reset();
  if (Form1 == main) Form1 = running != nullptr ? running->Main() : nullptr;
}

AppState* Forms::State() const {
  if (ending_ || !form1_ || form1_->StartRefused()) return nullptr;
  return &form1_->State();
}

TFNeu* Forms::Neu() {
  AppState* state = State();
  return MadeOnce(fneu_, state != nullptr,
                  [&] { return std::make_unique<TFNeu>(form1_.get(), state); });
}

TFCheck* Forms::Check() {
  AppState* state = State();
  return MadeOnce(fcheck_, state != nullptr, [&] {
    auto check = std::make_unique<TFCheck>(form1_.get(), state);
    check->SetCompletionWindow(Rest());
    return check;
  });
}

TFKopie* Forms::Kopie() {
  AppState* state = State();
  return MadeOnce(fkopie_, state != nullptr,
                  [&] { return std::make_unique<TFKopie>(form1_.get(), state); });
}

TFRest* Forms::Rest() {
  return MadeOnce(frest_, State() != nullptr,
                  [&] { return std::make_unique<TFRest>(form1_.get()); });
}

TFSynNeu* Forms::SynNeu() {
  return MadeOnce(fsynneu_, State() != nullptr,
                  [&] { return std::make_unique<TFSynNeu>(form1_.get()); });
}

Tabout* Forms::About() {
  return MadeOnce(fabout_, State() != nullptr,
                  [&] { return std::make_unique<Tabout>(form1_.get()); });
}

TFWieder* Forms::Wieder() {
  AppState* state = State();
  return MadeOnce(fwieder_, state != nullptr,
                  [&] { return std::make_unique<TFWieder>(form1_.get(), state); });
}

TFSyn* Forms::Syn() {
  return MadeOnce(fsyn_, State() != nullptr, [&] { return std::make_unique<TFSyn>(form1_.get()); });
}

int Forms::MadeCount() const {
  return !!fneu_ + !!fcheck_ + !!fkopie_ + !!frest_ + !!fsynneu_ + !!fabout_ + !!fwieder_ + !!fsyn_;
}

std::unique_ptr<Forms> CreateForms(const std::string& lockName) {
  auto forms = std::make_unique<Forms>();
  forms->form1_ = std::make_unique<TForm1>(nullptr, lockName);
  Form1 = forms->form1_.get();
  forms->previous_ = running;
  running = forms.get();
  return forms;
}

TFNeu* FormNeu() { return running != nullptr ? running->Neu() : nullptr; }
TFCheck* FormCheck() { return running != nullptr ? running->Check() : nullptr; }
TFKopie* FormKopie() { return running != nullptr ? running->Kopie() : nullptr; }
TFRest* FormRest() { return running != nullptr ? running->Rest() : nullptr; }
TFSynNeu* FormSynNeu() { return running != nullptr ? running->SynNeu() : nullptr; }
Tabout* FormAbout() { return running != nullptr ? running->About() : nullptr; }
TFWieder* FormWieder() { return running != nullptr ? running->Wieder() : nullptr; }
TFSyn* FormSyn() { return running != nullptr ? running->Syn() : nullptr; }
