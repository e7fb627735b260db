// Listings whose entries are described (lstat: kind, stamp, size) a little
// ahead by a few threads, while the walk takes them strictly in the order
// of the listing. What the walk sees is exactly what DirLister::Next with
// describe would give it; only the waiting is shorter, because the
// descriptions of the next entries are read while it handles this one.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace platform {

class AheadListing;

// The threads that describe entries ahead, shared by every listing of a
// walk. With no threads each entry is described when it is taken.
class ReadAhead {
 public:
  // threads: -1 one per processor, at most 4 (none on one processor).
  explicit ReadAhead(int threads = -1);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  int Threads() const { return static_cast<int>(workers_.size()); }

  // Entries handed to one thread at a time, and batches ahead per listing:
  // at most kBatch * kBatches entries per open listing are held.
  static constexpr int kBatch = 16;
  static constexpr int kBatches = 8;

  struct Batch {
    const DirLister* listing = nullptr;
    std::array<DirEntry, kBatch> entries;
    std::array<bool, kBatch> gone{};
    // For a check: whether a file of the entry's name is in `presentIn`.
    std::array<bool, kBatch> present{};
    bool describe = true;
    const std::string* presentIn = nullptr;
    int count = 0;
    // kIdle: free or being filled; kQueued: waits for a thread; kTaken: in
    // work; kDone: described.
    std::atomic<int> state{0};
  };
  static constexpr int kIdle = 0;
  static constexpr int kQueued = 1;
  static constexpr int kTaken = 2;
  static constexpr int kDone = 3;

 private:
  friend class AheadListing;
  void Queue(Batch& batch);
  // Takes the batch back when no thread has started it (true).
  bool Unqueue(Batch& batch);
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Batch*> queue_;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

// One open listing read through ReadAhead. Without one (null) it is the
// listing itself, each entry described as it is taken when `describe`.
// With `presentIn` (a folder path ending with "/") every entry that is no
// folder is also looked for there (FileExists), for Present().
class AheadListing {
 public:
  AheadListing(ReadAhead* ahead, DirLister& listing, bool describe = true,
               const std::string* presentIn = nullptr);
  ~AheadListing();
  AheadListing(const AheadListing&) = delete;
  AheadListing& operator=(const AheadListing&) = delete;
  // As DirLister::Next(entry, describe).
  bool Next(DirEntry& entry);
  // Whether the entry last taken is in `presentIn` (false without it).
  bool Present() const { return present_; }

 private:
  // Fills the batch with the next names of the listing and queues it.
  void Fill(ReadAhead::Batch& batch);

  ReadAhead* ahead_;
  DirLister& listing_;
  bool describe_;
  const std::string* presentIn_;
  bool present_ = false;
  std::array<ReadAhead::Batch, ReadAhead::kBatches> batches_;
  int current_ = 0;     // the batch being taken
  int position_ = 0;    // the next entry in it
  bool ended_ = false;  // the listing has no more names
};

// Describes an entry that Next(entry, false) gave: kind, stamp and size
// from lstat relative to the listing. False when it is gone since.
bool DescribeListed(const DirLister& listing, DirEntry& entry);

}  // namespace platform
