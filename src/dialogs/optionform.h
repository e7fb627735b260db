// The options of a job beside its folders and lists: keep versions of
// what a run replaces, how long, mirror the source into the target, the
// exclusion patterns (with a tester that shows what each hits in the
// job's folders) and after how many days a backup counts as overdue.
// Opened from the job editor ("&Optionen …").
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "core/catalogue/jobopt.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
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
  // The job's source folders as the editor shows them, for the tester.
  void SetSources(const std::vector<std::string>& sources) { sources_ = sources; }

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
  QLabel* Label7 = nullptr;  // "3. Ausschlüsse"
  QLabel* Label8 = nullptr;
  QLabel* LabelMuster = nullptr;  // "&Muster:"
  QLineEdit* EdMuster = nullptr;
  QPushButton* AddBtn = nullptr;  // "&Hinzufügen"
  QLabel* LabelListe = nullptr;   // "A&usschlüsse:"
  QListWidget* LBAusschluss = nullptr;
  QPushButton* RemoveBtn = nullptr;  // "&Entfernen"
  QPushButton* TestBtn = nullptr;    // "Teste&n", while testing "Abbre&chen"
  QPlainTextEdit* TestResult = nullptr;
  QLabel* Label9 = nullptr;       // "4. Warnung"
  QLabel* LabelWarnen = nullptr;  // "&Warnen nach Tagen (0 = nie):"
  QSpinBox* EdWarnen = nullptr;
  QLabel* Label10 = nullptr;
  QFrame* Panel1 = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Show(const JobOptions& options, bool changeable);
  // Adds the pattern typed in; a bad one or one already listed is told
  // (false).
  bool AddPattern();
  void RemovePatterns();
  // Walks the job's folders for the listed patterns and shows what each
  // hits; pressed again while it walks, it stops.
  void TestPatternsClick();
  std::vector<std::string> ListedPatterns() const;
  // OK: a pattern still typed in joins the list first.
  void Confirm();

  std::vector<std::string> sources_;
  bool testing_ = false;
  bool stopTest_ = false;
};
