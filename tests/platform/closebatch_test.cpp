// Files closed in batches: each one is closed when its batch fills, when
// the batch is emptied and at its end, and at once without a batch.
#include "platform/closebatch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/core_support.h"

namespace {

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

// Descriptors still open among those handed over (a number closed may
// have been given to a later file: each counts once).
int OpenCount(const std::vector<int>& fds) {
  const std::set<int> numbers(fds.begin(), fds.end());
  return static_cast<int>(std::count_if(numbers.begin(), numbers.end(), IsOpen));
}

}  // namespace

TEST(CloseBatch, FilesAreClosedWhenTheBatchFillsIsEmptiedOrEndsAndAtOnceWithoutOne) {
  vktest::TempDir dir;
  const std::string file = dir / "datei.txt";
  vktest::WriteFile(file, "Inhalt");
  // Files handed over, whether a batch is held, when it is emptied (after
  // `flushAfter` files, -1: never) and how many stay open before its end.
  struct Case {
    const char* what;
    int files;
    bool batch;
    int flushAfter;
    int openBeforeEnd;  // with a ring
  };
  const Case cases[] = {
      {"without a batch each file is closed at once", 5, false, -1, 0},
      {"a few files wait for the end of the batch", 5, true, -1, 5},
      {"emptied: none is left open", 5, true, 5, 0},
      {"a full batch is closed at once, the rest waits", 40, true, -1, 8},
  };
  for (const Case& c : cases) {
    // On a thread of its own, as the copy threads hold their batches.
    std::thread([&] {
      std::vector<int> fds;
      int openBeforeEnd = -1;
      const std::uint64_t before = platform::FilesClosedInBatches();
      bool batched = false;
      {
        std::optional<platform::CloseBatch> batch;
        if (c.batch) batch.emplace();
        // A second batch on the same thread changes nothing.
        std::optional<platform::CloseBatch> nested;
        if (c.batch) nested.emplace();
        batched = batch && batch->Batched();
        for (int i = 0; i < c.files; ++i) {
          const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
          ASSERT_GE(fd, 0);
          fds.push_back(fd);
          platform::CloseWhenDone(fd);
          if (i + 1 == c.flushAfter) batch->Flush();
        }
        openBeforeEnd = OpenCount(fds);
      }
      EXPECT_EQ(0, OpenCount(fds)) << c.what;
      if (batched) {
        EXPECT_EQ(c.openBeforeEnd, openBeforeEnd) << c.what;
        EXPECT_EQ(before + static_cast<std::uint64_t>(c.files), platform::FilesClosedInBatches())
            << c.what;
      } else {
        // Where the kernel has no ring for the program, every file is
        // closed at once.
        EXPECT_EQ(0, openBeforeEnd) << c.what;
      }
    }).join();
  }
}
