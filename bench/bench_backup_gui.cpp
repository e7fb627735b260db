// The same full backup as bench_backup, run through the run window (with
// its per-file line, count display, grid and animation), offscreen unless
// a display is chosen. The window has no main window behind it here, so
// the run ends without report and flush, like bench_backup --no-sync.
//
//   bench_backup_gui [--screenshot DIR] [--lines N] [--threads N] SOURCE TARGET
//
// --lines N draws only the line of the current file N times (with the
// event processing a run does per file) and copies nothing. --threads sets
// the engine's copy threads (default: its own choice).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

#include "dialogs/kopierform.h"
#include "bench_support.h"

int main(int argc, char** argv) {
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QString shots;
  int lines = 0;
  int threads = -1;
  QStringList paths;
  const QStringList args = QApplication::arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size())
      shots = args[++i];
    else if (args[i] == QLatin1String("--lines") && i + 1 < args.size())
      lines = args[++i].toInt();
    else if (args[i] == QLatin1String("--threads") && i + 1 < args.size())
      threads = args[++i].toInt();
    else
      paths << args[i];
  }
  if (paths.size() != 2) {
    std::fprintf(stderr,
                 "usage: bench_backup_gui [--screenshot DIR] [--lines N] [--threads N] SOURCE "
                 "TARGET\n");
    return 2;
  }

  TFKopie window;
  window.Engine().CopyThreads = threads;
  RunRequest request;
  request.JobName = "Benchmark";
  request.FullBackup = true;
  request.ChangedSinceText = "Nach dem 15.02.2003/17:05 Uhr geändert.";
  request.Rows.push_back({paths[0].toStdString(), paths[1].toStdString()});
  window.Open(request);
  window.show();
  // The user clicks "Start" in a window that is on the screen: on an X
  // display it is mapped and drawn (fonts loaded) only some event rounds
  // after show(), and that belongs to opening the window, not to the run.
  QElapsedTimer shown;
  shown.start();
  while (shown.elapsed() < 2000 &&
         (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()))
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  {
    QEventLoop settle;
    QTimer::singleShot(200, &settle, &QEventLoop::quit);
    settle.exec();
  }
  auto grab = [&](const QString& name) {
    if (!shots.isEmpty()) window.grab().save(QDir(shots).filePath(name));
  };
  grab(QStringLiteral("run-window-ready.png"));
  if (!shots.isEmpty())
    QTimer::singleShot(300, &window, [&] { grab(QStringLiteral("run-window-running.png")); });

  using Clock = std::chrono::steady_clock;
  if (lines > 0) {
    // Only the line of the current file, drawn `lines` times as a run
    // draws it, without copying anything: the cost of the line itself.
    window.Panel3->hide();
    window.Label7->show();
    const auto l0 = Clock::now();
    const std::clock_t c0 = std::clock();
    const QString folder = QStringLiteral("Kopiere ") + paths[0] + QStringLiteral("/ordner/");
    for (int i = 0; i < lines; ++i) {
      window.Label7->ShowNow(folder +
                             QStringLiteral("datei%1.dat").arg(i, 6, 10, QLatin1Char('0')));
      QApplication::processEvents();
    }
    std::printf("lines=%d walk_s=%.4f cpu_s=%.4f\n", lines,
                std::chrono::duration<double>(Clock::now() - l0).count(),
                static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
    return 0;
  }
  const auto t0 = Clock::now();
  const std::clock_t c0 = std::clock();
  const double m0 = ThreadCpuSeconds();
  window.BitBtn2Click();
  const double m1 = ThreadCpuSeconds();
  const std::clock_t c1 = std::clock();
  const auto t1 = Clock::now();
  grab(QStringLiteral("run-window-finished.png"));

  const CopyEngine& engine = window.Engine();
  // main_cpu_s: processor time of the window's own thread (drawing and
  // the hand-over); the walk and the copies run on threads of their own.
  std::printf("copied=%d status=%d walk_s=%.4f cpu_s=%.4f main_cpu_s=%.4f peak_rss_kib=%ld\n",
              engine.CopiedTotal, engine.RunStatus, std::chrono::duration<double>(t1 - t0).count(),
              static_cast<double>(c1 - c0) / CLOCKS_PER_SEC, m1 - m0, PeakRssKiB());
  return engine.RunStatus == 0 ? 0 : 1;
}
