#include "core/sync/syncdecide.h"

namespace twoway {

namespace {

// Changed since the last run: there now and not then, or not the same.
bool Changed(const std::optional<Entry>& now, const std::optional<Entry>& known) {
  if (!now) return false;
  return !known || !SameEntry(*now, *known);
}

bool NewerThan(const Entry& a, const Entry& b) { return a.mtime > b.mtime; }

}  // namespace

bool SameEntry(const Entry& a, const Entry& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == Kind::Folder) return true;
  if (a.size != b.size) return false;
  const std::time_t gap = a.mtime > b.mtime ? a.mtime - b.mtime : b.mtime - a.mtime;
  return gap <= 2 || gap == 3600;
}

Decision Decide(const std::optional<Entry>& a, const std::optional<Entry>& b,
                const std::optional<Entry>& knownA, const std::optional<Entry>& knownB) {
  Decision d;
  if (!a && !b) return d;
  if (a && !b) {
    // Removed on B since the last run, and A unchanged: B's removal holds.
    const bool removedOnB = knownA && knownB && !Changed(a, knownA);
    d.action = removedOnB ? Action::RemoveFromA : Action::CopyToB;
    return d;
  }
  if (!a && b) {
    const bool removedOnA = knownA && knownB && !Changed(b, knownB);
    d.action = removedOnA ? Action::RemoveFromB : Action::CopyToA;
    return d;
  }
  const Entry& ea = *a;
  const Entry& eb = *b;
  if (ea.kind == Kind::Folder && eb.kind == Kind::Folder) {
    d.action = Action::WalkBoth;
    return d;
  }
  if (SameEntry(ea, eb)) return d;
  const bool changedA = Changed(a, knownA);
  const bool changedB = Changed(b, knownB);
  if ((ea.kind == Kind::Folder) != (eb.kind == Kind::Folder)) {
    // A folder against a file: only a side that alone changed can win.
    if (changedA && !changedB) {
      d.action = Action::CopyToB;
    } else if (changedB && !changedA) {
      d.action = Action::CopyToA;
    } else {
      d.action = Action::Conflict;
      d.conflict = true;
    }
    return d;
  }
  d.conflict = changedA && changedB;
  // The newer wins; on equal times the side that changed alone.
  if (NewerThan(ea, eb) || (ea.mtime == eb.mtime && changedA && !changedB))
    d.action = Action::CopyToB;
  else if (NewerThan(eb, ea) || (ea.mtime == eb.mtime && changedB && !changedA))
    d.action = Action::CopyToA;
  else {
    d.action = Action::Conflict;
    d.conflict = true;
  }
  return d;
}

}  // namespace twoway
