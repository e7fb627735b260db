// Mirroring a job's target ("Spiegeln=1"): what the target holds that the
// source no longer has leaves the target after the copies of its row, into
// the run's versions folder, never deleted.
//
// What stays:
//  - an entry the source still has under the same name (letter case
//    ignored where the target ignores it);
//  - a file or link whose name the job excludes, and a file or folder an
//    exclusion pattern of the job hits, with all below it (also one that
//    was copied before the exclusion was made); the report says nothing
//    about them;
//  - what a copy cut short left (".<name>.vktmp-XXXXXX"): the copy's own
//    sweep removes it;
//  - everything in and below a target folder whose source folder could
//    not be listed completely (no access, a read error);
//  - the versions folder and the target roots of the job's other rows.
// A link is moved as the link itself, never followed; fifos, sockets and
// devices move as they are.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/exclusion.h"
#include "platform/platform.h"

namespace versions {

class Keeper;

// How the state of a row's source folders looked.
enum class SourceState {
  Complete,    // every source root could be listed and holds something
  Missing,     // a source root is not there
  Unreadable,  // a source root could not be listed completely
  Empty,       // a source root holds nothing (a drive that is not mounted?)
};

// One target root and what is mirrored into it: usually one source root;
// two source roots with the same last name share their target root.
struct MirrorArea {
  std::vector<std::string> sources;
  std::string target;
  ExclusionRule rule;
  // The target does not tell names apart by letter case.
  bool ignoresCase = false;
  // Folders never moved nor entered, by identity.
  std::vector<platform::FileId> untouchable;
};

// An entry of the target that the source no longer has.
struct MirrorEntry {
  // Below the target root, "/" between the names.
  std::string relative;
  bool folder = false;
  // The files (all but folders) it is or holds.
  std::int64_t files = 0;
};

struct MirrorPlan {
  SourceState source = SourceState::Complete;
  // The source root a guard speaks of.
  std::string badSource;
  // To move, in the order of the target's listing; none lies below another.
  std::vector<MirrorEntry> entries;
  // The files of the target root (all but folders; the untouchable
  // folders and what copies left not counted) and those the plan moves.
  std::int64_t targetFiles = 0;
  std::int64_t filesToMove = 0;
  // The walk was given up (`proceed` said no): nothing is to be moved.
  bool cancelled = false;

  // More than half of the target's files and at least 10: asked first.
  bool MassRemoval() const;
};

// The plan of one target root. `proceed` (may be empty) is asked at every
// folder; false gives up.
MirrorPlan PlanMirror(const MirrorArea& area, const std::function<bool()>& proceed = {});

// What a run does about a mass removal.
enum class MassRemoval {
  // Ask ("Ja"/"Nein", default "Nein"); "Nein" moves nothing for the row.
  Ask,
  // Nobody to ask: nothing is moved for the row.
  Refuse,
};

// A source root and its target root, as the run's rows.
struct MirrorRow {
  std::string source;
  std::string target;
};

struct MirrorOutcome {
  // Entries that could not be moved: one line each (errors of the run).
  std::vector<std::string> errors;
  // Rows left as they were by a guard: one line each.
  std::vector<std::string> notes;
  // A mass removal was refused without asking (MassRemoval::Refuse).
  bool refused = false;
  // PlanMirrorRows: what would be moved ("Auslagern: " + path, a folder
  // ending with "/"), in the order of the targets' listings.
  std::vector<std::string> planned;
  bool cancelled = false;
};

// Mirrors the target roots of `rows` into the keeper's run folder, after
// all their copies. The versions folder of the keeper's job target and
// every other row's target root stay untouched.
MirrorOutcome MirrorRows(const std::vector<MirrorRow>& rows, const ExclusionRule& rule,
                         Keeper& keeper, MassRemoval policy,
                         const std::function<bool()>& proceed = {});

// What MirrorRows would do for the job whose target folder is `jobTarget`,
// carried out by nobody: the moves are listed, nothing is moved, asked or
// written (a mass removal is noted).
MirrorOutcome PlanMirrorRows(const std::vector<MirrorRow>& rows, const ExclusionRule& rule,
                             const std::string& jobTarget,
                             const std::function<bool()>& proceed = {});
// The note of a dry run about a mass removal.
std::string MassRemovalPlanLine(const std::string& target, std::int64_t toMove,
                                std::int64_t targetFiles);

// The question before a mass removal, and the line when nothing was moved.
std::string MassRemovalQuestion(const std::string& target, std::int64_t toMove,
                                std::int64_t targetFiles);
std::string MassRemovalLine(const std::string& target, std::int64_t toMove,
                            std::int64_t targetFiles);

}  // namespace versions
