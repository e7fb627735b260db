// Helpers of the check and completion window tests.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "core/verify/checklogic.h"

namespace vktest {

// Runs `action` once `ready` holds, polling from the event loop (also from
// the nested loops of a modal window or a running walk). After 20 s the
// test fails and `onTimeout` runs, so that a modal window can be closed.
inline void WhenReady(std::function<bool()> ready, std::function<void()> action,
                      std::function<void()> onTimeout = {}) {
  auto* timer = new QTimer(qApp);
  auto* clock = new QElapsedTimer;
  clock->start();
  timer->setInterval(1);
  QObject::connect(timer, &QTimer::timeout, qApp, [=]() mutable {
    if (ready()) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      action();
    } else if (clock->elapsed() > 20000) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      ADD_FAILURE() << "timed out waiting";
      if (onTimeout) onTimeout();
    }
  });
  timer->start();
}

// Spins the event loop until `ready` holds (at most 10 s).
inline bool SpinUntil(const std::function<bool()>& ready) {
  QElapsedTimer clock;
  clock.start();
  while (!ready() && clock.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return ready();
}

// Saves a picture of the window when VK_SCREENSHOT_DIR names a folder.
inline void SaveScreenshot(QWidget* window, const char* fileName) {
  const QByteArray dir = qgetenv("VK_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  window->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(fileName)));
}

// A report as a check writes it, with the given entries.
inline CheckReport MakeReport(const std::vector<MissingEntry>& entries,
                              const std::string& second = std::string()) {
  CheckReport report;
  report.AddLine("Dateizählung \"Texte\" am 07.12.2026 um 23:45 Uhr.");
  report.AddLine(second);
  report.AddLine("Anzahl der fehlenden Dateien:");
  report.AddLine(std::string());
  int sum = 0;
  for (const MissingEntry& e : entries) {
    report.AddEntry(e);
    sum += e.count;
  }
  report.AddLine("Summe: " + std::to_string(sum));
  return report;
}

}  // namespace vktest
