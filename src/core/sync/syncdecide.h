// What a two-way synchronisation does with one name of a folder, from what
// each side holds now and what both held after the last run.
//
// Rules:
// - On one side only: copied to the other, unless the name was there at
//   the last run, the other side has removed it since and this side has
//   not changed it: then it is removed here too (into the versions). A
//   name removed on one side and changed on the other comes back.
// - On both sides and different: the newer is copied over the older. When
//   both changed since the last run it is a conflict: the newer still
//   wins, the older is kept in the versions and the report lists it.
// - A folder on one side and a file or link on the other: the side that
//   changed since the last run wins; when both did, nothing is done and
//   the report lists it.
// - Folders on both sides are walked into; a folder on one side only is
//   copied or removed as a whole under the rules above, its contents
//   decided name by name.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

namespace twoway {

enum class Kind { File, Folder, Link };

// One side's entry for a name.
struct Entry {
  Kind kind = Kind::File;
  std::uint64_t size = 0;
  std::time_t mtime = 0;
};

// Equal for the synchronisation: same kind and, for files and links, the
// same size and times at most 2 seconds apart, or exactly one hour apart
// (a FAT disk around a clock change). Folders are equal by kind alone.
bool SameEntry(const Entry& a, const Entry& b);

enum class Action {
  None,     // equal, or both gone
  CopyToB,  // A's entry goes to side B (a folder: made, then walked)
  CopyToA,
  // Into A's versions. For a folder: its names are decided one by one
  // with side B holding none of them (what changed on A comes back to
  // B), and the folder goes when nothing is left in it.
  RemoveFromA,
  RemoveFromB,
  WalkBoth,  // folders on both sides
  Conflict,  // both changed a folder on one side and a file on the other
};

struct Decision {
  Action action = Action::None;
  // Both sides changed since the last run: the report lists the name, and
  // the side that is replaced keeps its entry in the versions.
  bool conflict = false;
};

// `a`, `b`: the entries now (none: the side has no such name); `knownA`,
// `knownB`: the entries after the last run (none: not there, or no last
// run).
Decision Decide(const std::optional<Entry>& a, const std::optional<Entry>& b,
                const std::optional<Entry>& knownA, const std::optional<Entry>& knownB);

}  // namespace twoway
