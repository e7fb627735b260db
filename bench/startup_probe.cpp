// Loaded into a Qt program with LD_PRELOAD by bench/run_startup_bench.sh:
// prints the moment its first window has been drawn, as
// "drawn=SECONDS.NANOSECONDS" (CLOCK_REALTIME) on standard error, and ends
// the program at once when STARTUP_PROBE_EXIT is set (nothing is saved).
// The same library goes into every program compared, so all are measured
// alike.
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {

class FirstPaint : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (seen_ || event->type() != QEvent::Paint) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || !widget->window()->isVisible()) return false;
    seen_ = true;
    // The window's whole drawing (all its widgets, then the flush to the
    // display) ends before the event loop takes the next timer.
    QTimer::singleShot(0, [] {
      struct timespec now {};
      clock_gettime(CLOCK_REALTIME, &now);
      std::fprintf(stderr, "drawn=%lld.%09ld\n", static_cast<long long>(now.tv_sec), now.tv_nsec);
      std::fflush(stderr);
      if (std::getenv("STARTUP_PROBE_EXIT") != nullptr) _exit(0);
    });
    return false;
  }

 private:
  bool seen_ = false;
};

void Install() { QCoreApplication::instance()->installEventFilter(new FirstPaint(qApp)); }

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Install)
