// The close batch: a small submission ring of the kernel (io_uring) per
// thread, used for nothing but closing files. Written against the
// kernel's own interface: the three calls and the shared rings are all it
// takes, fewer lines than tying in a library for them.
#include "platform/closebatch.h"

#include <errno.h>
#include <linux/io_uring.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace platform {

namespace {

// Files handed over before the ring is emptied: two per copy.
constexpr unsigned kBatch = 32;
constexpr unsigned kEntries = 64;

thread_local CloseBatch::Ring* t_ring = nullptr;
thread_local bool t_installed = false;
std::atomic<std::uint64_t> g_closedInBatches{0};

// The thread checker follows every open and close of the program, but not
// the closes the kernel does for the ring: a number the ring gave back and
// a later file took looks like two threads racing for one file there. Its
// build closes each file at once; every other build uses the ring.
#if defined(__SANITIZE_THREAD__)
constexpr bool kRingAllowed = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kRingAllowed = false;
#else
constexpr bool kRingAllowed = true;
#endif
#else
constexpr bool kRingAllowed = true;
#endif

template <typename T>
T* At(void* base, std::uint32_t offset) {
  return reinterpret_cast<T*>(static_cast<char*>(base) + offset);
}

}  // namespace

struct CloseBatch::Ring {
  int fd = -1;
  void* rings = nullptr;  // submission and completion ring (one mapping)
  std::size_t ringsSize = 0;
  io_uring_sqe* sqes = nullptr;
  std::size_t sqesSize = 0;
  unsigned* sqHead = nullptr;
  unsigned* sqTail = nullptr;
  unsigned sqMask = 0;
  unsigned* sqArray = nullptr;
  unsigned* cqHead = nullptr;
  unsigned* cqTail = nullptr;
  unsigned cqMask = 0;
  io_uring_cqe* cqes = nullptr;
  // The files queued and not yet known to be closed, in ring order.
  int queued[kEntries] = {};
  unsigned count = 0;

  bool Open() {
    io_uring_params params;
    std::memset(&params, 0, sizeof params);
    fd = static_cast<int>(syscall(__NR_io_uring_setup, kEntries, &params));
    if (fd < 0) return false;
    // One mapping for both rings (every kernel that can close through the
    // ring has it).
    if ((params.features & IORING_FEAT_SINGLE_MMAP) == 0) return false;
    const std::size_t sqSize = params.sq_off.array + params.sq_entries * sizeof(unsigned);
    const std::size_t cqSize = params.cq_off.cqes + params.cq_entries * sizeof(io_uring_cqe);
    ringsSize = sqSize > cqSize ? sqSize : cqSize;
    rings = mmap(nullptr, ringsSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd,
                 IORING_OFF_SQ_RING);
    if (rings == MAP_FAILED) {
      rings = nullptr;
      return false;
    }
    sqesSize = params.sq_entries * sizeof(io_uring_sqe);
    void* s = mmap(nullptr, sqesSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd,
                   IORING_OFF_SQES);
    if (s == MAP_FAILED) return false;
    sqes = static_cast<io_uring_sqe*>(s);
    sqHead = At<unsigned>(rings, params.sq_off.head);
    sqTail = At<unsigned>(rings, params.sq_off.tail);
    sqMask = *At<unsigned>(rings, params.sq_off.ring_mask);
    sqArray = At<unsigned>(rings, params.sq_off.array);
    cqHead = At<unsigned>(rings, params.cq_off.head);
    cqTail = At<unsigned>(rings, params.cq_off.tail);
    cqMask = *At<unsigned>(rings, params.cq_off.ring_mask);
    cqes = At<io_uring_cqe>(rings, params.cq_off.cqes);
    return params.sq_entries >= kBatch && params.cq_entries >= kBatch;
  }

  ~Ring() {
    if (sqes != nullptr) munmap(sqes, sqesSize);
    if (rings != nullptr) munmap(rings, ringsSize);
    if (fd >= 0) close(fd);
  }

  void Queue(int file) {
    const unsigned tail = *sqTail;
    const unsigned index = tail & sqMask;
    io_uring_sqe& sqe = sqes[index];
    std::memset(&sqe, 0, sizeof sqe);
    sqe.opcode = IORING_OP_CLOSE;
    sqe.fd = file;
    sqArray[index] = index;
    __atomic_store_n(sqTail, tail + 1, __ATOMIC_RELEASE);
    queued[count++] = file;
  }

  // Takes the completions off the ring; their number.
  unsigned Reap() {
    const unsigned head = *cqHead;
    const unsigned tail = __atomic_load_n(cqTail, __ATOMIC_ACQUIRE);
    // A close that failed has still given the descriptor up (or it was
    // none): never closed a second time, it might be another file's by now.
    __atomic_store_n(cqHead, tail, __ATOMIC_RELEASE);
    return tail - head;
  }

  // Submits what is queued and waits until all of it is closed. False when
  // the ring refused; the files it never took are then closed one by one.
  bool Empty() {
    unsigned done = 0;
    while (count > 0) {
      const unsigned waiting = *sqTail - __atomic_load_n(sqHead, __ATOMIC_ACQUIRE);
      done += Reap();
      if (done >= count && waiting == 0) break;
      const unsigned missing = count > done ? count - done : 0;
      if (syscall(__NR_io_uring_enter, fd, waiting, missing, IORING_ENTER_GETEVENTS, nullptr, 0) <
              0 &&
          errno != EINTR && errno != EAGAIN && errno != EBUSY) {
        // Those the kernel has not taken are still open.
        for (unsigned i = count - waiting; i < count; ++i) close(queued[i]);
        count = 0;
        return false;
      }
    }
    g_closedInBatches += count;
    count = 0;
    return true;
  }
};

CloseBatch::CloseBatch() {
  if (t_installed) return;
  installed_ = t_installed = true;
  if (!kRingAllowed) return;
  auto* ring = new Ring;
  if (!ring->Open()) {
    delete ring;
    return;
  }
  ring_ = t_ring = ring;
}

CloseBatch::~CloseBatch() {
  if (!installed_) return;
  Flush();
  t_ring = nullptr;
  t_installed = false;
  delete ring_;
}

void CloseBatch::Flush() {
  if (ring_ == nullptr || ring_->Empty()) return;
  // The ring refused: from now on every file is closed at once.
  t_ring = nullptr;
  delete ring_;
  ring_ = nullptr;
}

void CloseWhenDone(int fd) {
  if (fd < 0) return;
  CloseBatch::Ring* ring = t_ring;
  if (ring == nullptr) {
    close(fd);
    return;
  }
  ring->Queue(fd);
  if (ring->count >= kBatch && !ring->Empty()) {
    // Refused: the rest of the thread's files are closed at once.
    t_ring = nullptr;
  }
}

std::uint64_t FilesClosedInBatches() { return g_closedInBatches.load(); }

}  // namespace platform
