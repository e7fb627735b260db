// The files in the data folder that belong to one synchronisation
// definition beside the list of definitions: what the last run knew, the
// latest report, the history and its kept reports. They follow the
// definition when it is renamed and go with it when it is deleted.
#pragma once

#include <string>

#include "core/sync/syncdefs.h"

// After a definition was stored in place of `old` (or new, with an empty
// old name): what the last run knew belongs to the old pair only. Kept
// under the new name while the pair stays the same; otherwise dropped, so
// that the next run is a first run, which removes nothing. A state left
// under a new definition's name (of a definition removed by hand) goes
// too. Report and history follow a new name.
void CarryOverRunFiles(const SyncDefinition& old, const SyncDefinition& stored);

// Removes the files of the deleted definition `name` (never its folders).
void ForgetRunFiles(const std::string& name);
