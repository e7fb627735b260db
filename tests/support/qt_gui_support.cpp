#include "support/qt_gui_support.h"

#include <QApplication>
#include <QTimer>
#include <atomic>

#include "about/aboutform.h"
#include "backup/kopierform.h"
#include "editor/neuform.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"
#include "storage/pathtext.h"
#include "sync/neusynform.h"
#include "verify/checkform.h"
#include "verify/restform.h"

namespace vktest {

struct AppWindows::Impl {
  std::unique_ptr<TForm1> form1;
  std::unique_ptr<TFNeu> fneu;
  std::unique_ptr<TFCheck> fcheck;
  std::unique_ptr<TFKopie> fkopie;
  std::unique_ptr<TFRest> frest;
  std::unique_ptr<TFSynNeu> fsynneu;
  std::unique_ptr<Tabout> fabout;
};

AppWindows::AppWindows(const std::string& home) : impl_(std::make_unique<Impl>()) {
  static std::atomic<int> counter{0};
  lockName_ = "volkarn-test-" + std::to_string(QCoreApplication::applicationPid()) + "-" + std::to_string(counter++);
  SetHomeDirForTesting(home);
  impl_->form1 = std::make_unique<TForm1>(nullptr, lockName_);
  Form1 = impl_->form1.get();
  impl_->fneu = std::make_unique<TFNeu>(impl_->form1.get());
  FNeu = impl_->fneu.get();
  impl_->fcheck = std::make_unique<TFCheck>(impl_->form1.get());
  FCheck = impl_->fcheck.get();
  impl_->fkopie = std::make_unique<TFKopie>(impl_->form1.get());
  FKopie = impl_->fkopie.get();
  impl_->frest = std::make_unique<TFRest>(impl_->form1.get());
  FRest = impl_->frest.get();
  impl_->fsynneu = std::make_unique<TFSynNeu>(impl_->form1.get());
  FSynNeu = impl_->fsynneu.get();
  impl_->fabout = std::make_unique<Tabout>(impl_->form1.get());
  about = impl_->fabout.get();
}

AppWindows::~AppWindows() {
  impl_->fabout.reset();
  impl_->fsynneu.reset();
  impl_->frest.reset();
  impl_->fkopie.reset();
  impl_->fcheck.reset();
  impl_->fneu.reset();
  impl_->form1.reset();
  Form1 = nullptr;
  FNeu = nullptr;
  FCheck = nullptr;
  FKopie = nullptr;
  FRest = nullptr;
  FSynNeu = nullptr;
  about = nullptr;
  SetHomeDirForTesting(std::string());
}

TForm1* AppWindows::form1() const { return impl_->form1.get(); }
TFNeu* AppWindows::fneu() const { return impl_->fneu.get(); }
TFCheck* AppWindows::fcheck() const { return impl_->fcheck.get(); }
TFKopie* AppWindows::fkopie() const { return impl_->fkopie.get(); }
TFRest* AppWindows::frest() const { return impl_->frest.get(); }
TFSynNeu* AppWindows::fsynneu() const { return impl_->fsynneu.get(); }
Tabout* AppWindows::fabout() const { return impl_->fabout.get(); }

void AppWindows::Show() {
  impl_->form1->show();
  QApplication::processEvents();
}

void AppWindows::Close() {
  impl_->form1->close();
  QApplication::processEvents();
}

void WhenModal(std::function<void()> action, int delayMs) {
  QTimer::singleShot(delayMs, qApp, std::move(action));
}

}  // namespace vktest
