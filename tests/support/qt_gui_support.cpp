#include "support/qt_gui_support.h"

#include <QApplication>
#include <QColor>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "base/pathtext.h"
#include "dialogs/aboutform.h"
#include "dialogs/checkform.h"
#include "dialogs/kopierform.h"
#include "dialogs/neuform.h"
#include "dialogs/neusynform.h"
#include "dialogs/restform.h"
#include "mainwindow/backmain.h"
#include "mainwindow/qt_forms.h"

namespace vktest {

struct AppWindows::Impl {
  std::unique_ptr<Forms> forms;
};

AppWindows::AppWindows(const std::string& home) : impl_(std::make_unique<Impl>()) {
  static std::atomic<int> counter{0};
  lockName_ = "volkarn-test-" + std::to_string(QCoreApplication::applicationPid()) + "-" +
              std::to_string(counter++);
  SetHomeDirForTesting(home);
  impl_->forms = CreateForms(lockName_);
}

AppWindows::~AppWindows() {
  impl_->forms.reset();
  SetHomeDirForTesting(std::string());
}

TForm1* AppWindows::form1() const { return impl_->forms->Main(); }
TFNeu* AppWindows::fneu() const { return impl_->forms->Neu(); }
TFCheck* AppWindows::fcheck() const { return impl_->forms->Check(); }
TFKopie* AppWindows::fkopie() const { return impl_->forms->Kopie(); }
TFRest* AppWindows::frest() const { return impl_->forms->Rest(); }
TFSynNeu* AppWindows::fsynneu() const { return impl_->forms->SynNeu(); }
Tabout* AppWindows::fabout() const { return impl_->forms->About(); }
int AppWindows::madeWindows() const { return impl_->forms->MadeCount(); }

void AppWindows::Show() {
  impl_->forms->Main()->show();
  QApplication::processEvents();
}

void AppWindows::Close() {
  impl_->forms->Main()->close();
  QApplication::processEvents();
}

QTableWidgetItem* OneUntickedRow(TFRest* rest) {
  rest->LV1->setRowCount(1);
  auto* tick = new QTableWidgetItem;
  tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
  tick->setCheckState(Qt::Unchecked);
  rest->LV1->setItem(0, 0, tick);
  return tick;
}

void WhenModal(std::function<void()> action, int delayMs) {
  QTimer::singleShot(delayMs, qApp, std::move(action));
}

double Contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto channel = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace vktest
