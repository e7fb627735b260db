#include "core/sync/syncdecide.h"

#include <gtest/gtest.h>

namespace {

using twoway::Action;
using twoway::Entry;
using twoway::Kind;
using Opt = std::optional<Entry>;

Entry F(std::uint64_t size, std::time_t mtime) { return {Kind::File, size, mtime}; }
Entry D() { return {Kind::Folder, 0, 0}; }

TEST(SyncDecideTest, EachCaseOfTwoSidesAndTheLastRun) {
  const std::time_t t = 1700000000;
  struct Case {
    const char* what;
    Opt a, b, knownA, knownB;
    Action action;
    bool conflict;
  } cases[] = {
      {"new on A", F(5, t), {}, {}, {}, Action::CopyToB, false},
      {"new on B", {}, F(5, t), {}, {}, Action::CopyToA, false},
      {"first run, both differ: newer wins", F(5, t + 10), F(6, t), {}, {}, Action::CopyToB, true},
      {"unchanged", F(5, t), F(5, t), F(5, t), F(5, t), Action::None, false},
      {"changed on A", F(7, t + 50), F(5, t), F(5, t), F(5, t), Action::CopyToB, false},
      {"changed on B", F(5, t), F(9, t + 50), F(5, t), F(5, t), Action::CopyToA, false},
      {"changed on both: newer wins, listed", F(7, t + 60), F(9, t + 50), F(5, t), F(5, t),
       Action::CopyToB, true},
      {"removed on A", {}, F(5, t), F(5, t), F(5, t), Action::RemoveFromB, false},
      {"removed on B", F(5, t), {}, F(5, t), F(5, t), Action::RemoveFromA, false},
      {"removed on B, changed on A: comes back",
       F(8, t + 9),
       {},
       F(5, t),
       F(5, t),
       Action::CopyToB,
       false},
      {"removed on A, changed on B: comes back",
       {},
       F(8, t + 9),
       F(5, t),
       F(5, t),
       Action::CopyToA,
       false},
      {"only on A last time too (a copy failed): copied",
       F(5, t),
       {},
       F(5, t),
       {},
       Action::CopyToB,
       false},
      {"times two seconds apart are equal", F(5, t), F(5, t + 2), {}, {}, Action::None, false},
      {"three seconds apart are not", F(5, t), F(5, t + 3), {}, {}, Action::CopyToA, true},
      {"an hour's shift with equal size", F(5, t + 3600), F(5, t), {}, {}, Action::None, false},
      {"an hour's shift with other size", F(6, t + 3600), F(5, t), F(5, t), F(5, t),
       Action::CopyToB, false},
      {"folders on both sides", D(), D(), {}, {}, Action::WalkBoth, false},
      {"folder replaced by a file on A", F(5, t + 5), D(), D(), D(), Action::CopyToB, false},
      {"file replaced by a folder on B", F(5, t), D(), F(5, t), F(5, t), Action::CopyToA, false},
      {"folder against file, both new", F(5, t), D(), {}, {}, Action::Conflict, true},
      {"folder removed on B", D(), {}, D(), D(), Action::RemoveFromA, false},
      {"gone on both", {}, {}, F(5, t), F(5, t), Action::None, false},
  };
  for (const Case& c : cases) {
    const twoway::Decision d = twoway::Decide(c.a, c.b, c.knownA, c.knownB);
    EXPECT_EQ(c.action, d.action) << c.what;
    EXPECT_EQ(c.conflict, d.conflict) << c.what;
    // Sides swapped: the mirror decision.
    const twoway::Decision m = twoway::Decide(c.b, c.a, c.knownB, c.knownA);
    const Action mirrored = c.action == Action::CopyToA       ? Action::CopyToB
                            : c.action == Action::CopyToB     ? Action::CopyToA
                            : c.action == Action::RemoveFromA ? Action::RemoveFromB
                            : c.action == Action::RemoveFromB ? Action::RemoveFromA
                                                              : c.action;
    EXPECT_EQ(mirrored, m.action) << c.what << " (swapped)";
  }
}

}  // namespace
