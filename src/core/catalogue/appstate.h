// What the windows of one session share: the job catalogue, the settings,
// the chosen job and the job as the main window shows it. The main window
// owns it; every other window is handed it when it is created and never
// reads another window's controls.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "core/catalogue/daten.h"
#include "core/catalogue/optio.h"

// The job on display, as ShowJob read it from the catalogue and the job's
// directory list.
struct ShownJob {
  std::string Name;
  std::vector<std::string> Directories;
  std::string TargetDir;
  // The last backup (0: never backed up).
  double LastDate = 0;
  double LastTime = 0;
  // The last backup as the packed comparison stamp (0 for none).
  platform::DosStamp ChangedSince = 0;

  // The last backup as the main window shows it: "dd.mm.yyyy" and "hh:mm";
  // empty for a job never backed up.
  std::string LastDateText() const;
  std::string LastTimeText() const;
};

// Reads job `index` of the catalogue as the main window shows it: name,
// target, the last backup with ChangedSince, and its directory list. When
// the list cannot be read, the result is false, `failure` holds the German
// message and `shown` is the job without directories: nothing of the job
// shown before stays. An index outside the catalogue changes nothing.
bool ReadShownJob(const tBackups& jobs, int index, ShownJob& shown, std::string& failure);

struct AppState {
  tBackups Backups;
  toptionen Options;
  // The index of the job on display (the program-wide SelectedJob).
  int& SelectedJob = ::SelectedJob;
  ShownJob Shown;
};
