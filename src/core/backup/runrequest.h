// A backup run as the main window hands it to the run window: the job,
// the mode, the stamp to compare with, the exclusions and the directory
// pairs. The run window shows it and gives it to the engine.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/backup/copyengine.h"
#include "core/catalogue/jobopt.h"
#include "core/history/history.h"
#include "platform/platform.h"

struct AppState;
class tBackups;

struct RunRequest {
  std::string JobName;
  int JobIndex = -1;
  bool FullBackup = true;
  platform::DosStamp ChangedSince = 0;
  // "Nach dem dd.mm.yyyy/hh:mm Uhr geändert."
  std::string ChangedSinceText;
  // Upper case, lines ended by CR LF.
  std::string ExcludedExts;
  std::string ExcludedFiles;
  // One row per source directory: the source and its mirrored target.
  std::vector<CopyRow> Rows;
  // The job's target folder (that of its versions folder).
  std::string JobTarget;
  // The job's options from its ".opt" file. A file that cannot be read
  // gives versions kept, none removed, nothing mirrored, and OptionsNote
  // says so in the report.
  JobOptions Options;
  std::string OptionsNote;
  // How the run was started, for the job's history.
  history::Started Started = history::Started::Window;
  // Only show what the run would do ("Nur anzeigen, nichts kopieren",
  // --dry-run): nothing is written anywhere, no report file, no stamp, no
  // history.
  bool DryRun = false;
};

// The run of the shown job. `jobName` is the name on display; a job never
// backed up always runs in full, otherwise `fullChosen` decides.
RunRequest MakeRunRequest(const AppState& state, const std::string& jobName, bool fullChosen);

// The job's target folder (the folder of the first row's target) when it
// does not exist: the run asks before it is made. Nothing otherwise.
std::optional<std::string> MissingTargetFolder(const RunRequest& request);
// The same for a job whose first row's target is `firstTarget`.
std::optional<std::string> MissingTargetFolder(const std::string& firstTarget);

// For a run that nobody watches: the German text that tells why the
// missing target folder `folder` is not made (its parent is missing too:
// the drive is not there); empty when it may be made.
std::string MissingDriveText(const std::string& folder);

// The options of the job `jobIndex` into the request (see Options).
void LoadRunOptions(const tBackups& jobs, int jobIndex, RunRequest& request);

// Sets the engine's inputs from the request.
void ApplyRunRequest(const RunRequest& request, CopyEngine& engine);
