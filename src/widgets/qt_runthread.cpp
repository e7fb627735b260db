#include "widgets/qt_runthread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace guithread {
namespace {

// The work handed to the window thread. An event tells the window thread
// to take it; the work itself never travels inside a Qt event.
class Handover : public QObject {
 public:
  void Add(std::function<void()> fn) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(fn));
    }
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
  }

 protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    // One task at a time: a task may open a box, whose event loop then
    // takes the next ones in order.
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (tasks_.empty()) return true;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};

Handover& TheHandover() {
  // Made by whichever thread hands over first, then lives on the window
  // thread for the rest of the program (never deleted: it may be needed
  // until the very end).
  static Handover* handover = [] {
    auto* h = new Handover;
    h->moveToThread(QCoreApplication::instance()->thread());
    return h;
  }();
  return *handover;
}

}  // namespace

bool IsGuiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

void Post(std::function<void()> fn) { TheHandover().Add(std::move(fn)); }

void Call(const std::function<void()>& fn) {
  if (IsGuiThread()) {
    fn();
    return;
  }
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  std::exception_ptr error;
  Post([&] {
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    answered.notify_one();
  });
  std::unique_lock<std::mutex> lock(mutex);
  answered.wait(lock, [&] { return done; });
  if (error) std::rethrow_exception(error);
}

void RunAside(const std::function<void()>& work) {
  UserInterface& before = CurrentUserInterface();
  GuiThreadUserInterface carried(before);
  SetUserInterface(&carried);
  struct Restore {
    UserInterface& ui;
    ~Restore() { SetUserInterface(&ui); }
  } restore{before};

  QEventLoop loop;
  bool finished = false;  // only touched on this thread
  std::exception_ptr error;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    Post([&] {
      finished = true;
      loop.quit();
    });
  });
  loop.exec();
  // The loop may have been ended from outside (the program quits): the
  // run still gets its answers until it has returned.
  while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  worker.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace guithread

void GuiThreadUserInterface::Info(const std::string& text, bool beep) {
  guithread::Call([&] { inner_.Info(text, beep); });
}

void GuiThreadUserInterface::Note(const std::string& text) {
  guithread::Call([&] { inner_.Note(text); });
}

bool GuiThreadUserInterface::YesNo(const std::string& text) {
  bool answer = false;
  guithread::Call([&] { answer = inner_.YesNo(text); });
  return answer;
}

bool GuiThreadUserInterface::YesNoDefaultNo(const std::string& text) {
  bool answer = false;
  guithread::Call([&] { answer = inner_.YesNoDefaultNo(text); });
  return answer;
}

UserInterface::AllAnswer GuiThreadUserInterface::YesNoAll(const std::string& text) {
  AllAnswer answer = AllAnswer::No;
  guithread::Call([&] { answer = inner_.YesNoAll(text); });
  return answer;
}

bool GuiThreadUserInterface::ChooseDirectory(const std::string& prompt, std::string& dir) {
  bool chosen = false;
  guithread::Call([&] { chosen = inner_.ChooseDirectory(prompt, dir); });
  return chosen;
}

std::vector<std::string> GuiThreadUserInterface::ChooseFiles(const std::string& initialDir) {
  std::vector<std::string> files;
  guithread::Call([&] { files = inner_.ChooseFiles(initialDir); });
  return files;
}

void GuiThreadUserInterface::Beep() {
  guithread::Call([&] { inner_.Beep(); });
}
