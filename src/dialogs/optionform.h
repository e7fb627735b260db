// The options of a job beside its folders and lists: keep versions of
// what a run replaces, how long, and mirror the source into the target.
// Opened from the job editor ("&Optionen …").
#pragma once

#include <QDialog>
#include <string>

#include "core/catalogue/jobopt.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QSpinBox;

class TFOptionen : public QDialog {
  Q_OBJECT

 public:
  explicit TFOptionen(QWidget* parent = nullptr);
  ~TFOptionen() override;

  static constexpr int kResultOk = 1;
  static constexpr int kResultCancel = 2;

  // Shows `options` of the job `jobName` modally. `changeable` false shows
  // them without letting them change (their file could not be read). On
  // OK the shown values go into `options` (its other lines stay): true.
  bool Edit(JobOptions& options, const std::string& jobName, bool changeable);

  // The options in the file at `path` (a missing file: the defaults). A
  // file that cannot be read is told; the result then holds the defaults,
  // will never be written, and `readable` is false.
  static JobOptions Read(const std::string& path, bool& readable);
  // Writes the options to `path`; a failure is told (false). Options read
  // from a file that could not be read are not written (false, untold:
  // the reading told it).
  static bool Write(const JobOptions& options, const std::string& path);

  // ---- controls ----
  QLabel* Label1 = nullptr;  // "1. Versionen"
  QCheckBox* CBVersionen = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;  // "Aufbewahren (&Tage):"
  QSpinBox* EdTage = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;  // "2. Spiegeln"
  QCheckBox* CBSpiegeln = nullptr;
  QLabel* Label6 = nullptr;
  QFrame* Panel1 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void reject() override;

 private:
  void Show(const JobOptions& options, bool changeable);
};
