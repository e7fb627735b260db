// Closing the files of many small copies with one system call.
//
// A copy opens two files (its source and the new file) and closes both
// when it is done; on a small file each close costs about as much as a
// tenth of the whole copy. A thread that copies one file after another
// (a copy thread of a backup) may hold a CloseBatch: while it lives, the
// copies made on that thread hand the files they are done with to it, and
// it closes them a few dozen at a time through the kernel's submission
// ring (io_uring), waiting until every one of them is closed. Where the
// ring cannot be had (an older kernel, a system that forbids it) each file
// is closed at once, as without a batch.
//
// Only files whose close cannot fail in a way that matters are handed
// over: a source read to its end, a copy whose content and name are in
// place. The batch is emptied when it is full, by Flush (before the thread
// waits for more work) and at its end, so no file stays open while its
// thread sleeps.
#pragma once

#include <cstdint>

namespace platform {

class CloseBatch {
 public:
  // Installs the batch for the calling thread (one per thread at most;
  // a second one on the same thread does nothing).
  CloseBatch();
  // Closes what is left and uninstalls the batch.
  ~CloseBatch();
  CloseBatch(const CloseBatch&) = delete;
  CloseBatch& operator=(const CloseBatch&) = delete;

  // Closes every file handed over so far, now.
  void Flush();
  // True when files are closed through the ring (else one by one).
  bool Batched() const { return ring_ != nullptr; }

  struct Ring;

 private:
  Ring* ring_ = nullptr;
  bool installed_ = false;
};

// Closes `fd` (a negative one is ignored): through the batch of the
// calling thread where it has one, else at once.
void CloseWhenDone(int fd);

// Files closed through a ring so far, by every thread (for tests).
std::uint64_t FilesClosedInBatches();

}  // namespace platform
