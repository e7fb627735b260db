// Listings whose entries are described (lstat: kind, stamp, size) a little
// ahead by a few threads, while the walk takes them strictly in the order
// of the listing. What the walk sees is exactly what DirLister::Next with
// describe would give it; only the waiting is shorter, because the
// descriptions of the next entries are read while it handles this one.
//
// Two kinds of work go to the threads: batches of names of the listing in
// walk (their stamps), and whole sub-folders the walk will enter next
// (opened relative to the listing, never through a link, and read with
// their stamps), and the sub-folders of those, so that the threads work
// on folders of their own while the walk takes finished entries.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace platform {

class AheadListing;

// The threads that describe entries ahead, shared by every listing of a
// walk. With no threads each entry is described when it is taken.
class ReadAhead {
 public:
  // threads: -1 one per processor counting the walk, at most 4 in all
  // (none on one processor); once a piece of work has had to wait for the
  // disk (a cold cache, a slow drive), up to kDiskThreads in all, so that
  // more reads are in flight at once. A thread that waits for the disk
  // takes no processor.
  explicit ReadAhead(int threads = -1);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  int Threads() const { return threads_.load(std::memory_order_relaxed); }
  // Whether the threads were added for a walk that waits for the disk.
  bool WaitsForDisk() const { return onDisk_.load(std::memory_order_relaxed); }

  static constexpr int kDiskThreads = 8;
  // Pieces of work that waited for the disk before the threads are added.
  static constexpr int kDiskPieces = 8;

  // Entries handed to one thread at a time, and batches ahead per listing:
  // at most kBatch * kBatches entries per open listing are held.
  static constexpr int kBatch = 16;
  static constexpr int kBatches = 8;
  // Sub-folders read ahead per listing and in all (each holds an open
  // folder), and the entries read of each; the rest of a larger folder is
  // read in batches once the walk gets there.
  static constexpr std::size_t kFoldersPerListing = 8;
  static constexpr int kFoldersInAll = 32;
  // The same once the walk waits for the disk: enough folders for every
  // thread.
  static constexpr std::size_t kDiskFoldersPerListing = 16;
  static constexpr int kDiskFoldersInAll = 64;
  static constexpr std::size_t kFolderEntries = 1024;

  static constexpr int kIdle = 0;
  static constexpr int kQueued = 1;
  static constexpr int kTaken = 2;
  static constexpr int kDone = 3;

  struct Batch {
    const DirLister* listing = nullptr;
    std::array<DirEntry, kBatch> entries;
    std::array<bool, kBatch> gone{};
    // For a check: whether a file of the entry's name is in `presentIn`.
    std::array<bool, kBatch> present{};
    // The entries' places in the listing.
    std::array<std::size_t, kBatch> place{};
    bool describe = true;
    const std::string* presentIn = nullptr;
    int count = 0;
    // kIdle: free or being filled; kQueued: waits for a thread; kTaken: in
    // work; kDone: described.
    std::atomic<int> state{kIdle};
  };

  // A sub-folder read ahead: opened as DirLister(parent, name, path) opens
  // it, and its first entries read with their descriptions.
  struct Folder {
    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    // Its sub-folders still read by a thread are waited for.
    ~Folder();
    ReadAhead* ahead = nullptr;
    const DirLister* parent = nullptr;
    std::string name;
    std::string path;       // ends with "/"
    std::size_t place = 0;  // its entry's place in the parent's listing
    std::unique_ptr<DirLister> listing;
    std::vector<DirEntry> entries;  // as DirLister::Next with describe gives them
    bool complete = false;          // the listing has no more entries
    std::atomic<int> state{kIdle};
    // Its first sub-folders, read ahead too once it was read, before the
    // walk came to it (in the order of its entries), so that the threads
    // are not left without work each time the walk enters a folder.
    std::deque<std::unique_ptr<Folder>> children;
    bool childrenQueued = false;
  };

 private:
  friend class AheadListing;
  void Queue(Batch& batch);
  void Queue(Folder& folder);
  // Takes the work back when no thread has started it (true).
  bool Unqueue(Batch& batch);
  bool Unqueue(Folder& folder);
  bool UnqueueItem(const void* item, std::atomic<int>& state);
  void Work();
  void Do(std::pair<Batch*, Folder*> item);
  // Waits until the work is done, doing other queued work meanwhile.
  void WaitFor(std::atomic<int>& state);
  // Adds the threads for a walk that waits for the disk (once).
  void AddDiskThreads();
  // A folder read ahead for `parent` (its entry at `place`), queued.
  std::unique_ptr<Folder> QueueFolder(const DirLister& parent, const std::string& parentPath,
                                      std::string name, std::size_t place);
  // Lets a folder read ahead go when the walk does not take it: no thread
  // works on it (or its sub-folders) any more.
  void Drop(std::unique_ptr<Folder>& folder);
  std::size_t FoldersPerListing() const {
    return WaitsForDisk() ? kDiskFoldersPerListing : kFoldersPerListing;
  }
  int FoldersInAll() const { return WaitsForDisk() ? kDiskFoldersInAll : kFoldersInAll; }

  std::mutex mutex_;
  std::condition_variable wake_;
  // Either a batch or a folder per item.
  std::deque<std::pair<Batch*, Folder*>> queue_;
  bool stop_ = false;
  // Folders read ahead and not yet taken or dropped, over all listings.
  std::atomic<int> folders_{0};
  std::vector<std::thread> workers_;
  std::atomic<int> threads_{0};
  // Threads may be added when the disk is waited for (own choice only).
  bool mayAdd_ = false;
  std::atomic<bool> onDisk_{false};
  std::atomic<int> diskPieces_{0};
};

// One open listing read through ReadAhead. Without one (null, or one with
// no threads) it is the listing itself, each entry described as it is
// taken when `describe`.
// With `presentIn` (a folder path ending with "/") every entry that is no
// folder is also looked for there (FileExists), for Present(). With
// `path` (the listing's own path, ending with "/") and `describe`, the
// next sub-folders are read ahead too: the walk takes them with
// TakeFolder when it comes to their entries. A sub-folder whose name
// `skipFolder` (when given) calls true is never read ahead: the walk does
// not enter it.
class AheadListing {
 public:
  // Whether the sub-folder `name` met in `below` (relative to this
  // listing: "" or "a/") is left out.
  using SkipFolder = std::function<bool(const std::string& below, const std::string& name)>;
  AheadListing(ReadAhead* ahead, DirLister& listing, bool describe = true,
               const std::string* presentIn = nullptr, const std::string* path = nullptr,
               const SkipFolder* skipFolder = nullptr);
  // The listing of a folder that was read ahead (TakeFolder).
  AheadListing(ReadAhead* ahead, std::unique_ptr<ReadAhead::Folder> folder, const std::string* path,
               const SkipFolder* skipFolder = nullptr);
  ~AheadListing();
  AheadListing(const AheadListing&) = delete;
  AheadListing& operator=(const AheadListing&) = delete;
  // As DirLister::Next(entry, describe); once it gives false, the
  // listing's ReadError tells whether a read failed before the end.
  bool Next(DirEntry& entry);
  // Whether the entry last taken is in `presentIn` (false without it).
  bool Present() const { return present_; }
  // The folder of the entry last taken when it was read ahead (its
  // listing may be closed, see DirLister), else null: the walk opens it.
  std::unique_ptr<ReadAhead::Folder> TakeFolder();

 private:
  void Start();
  // Fills the batch with the next names of the listing and queues it.
  void Fill(ReadAhead::Batch& batch);
  // Queues folders of `candidates_` while there is room, then the first
  // sub-folders of those already read.
  void QueueFolders();
  void Finish(ReadAhead::Folder& folder);

  ReadAhead* ahead_;
  std::unique_ptr<ReadAhead::Folder> own_;  // this listing, read ahead
  DirLister& listing_;
  bool describe_;
  const std::string* presentIn_;
  const std::string* path_;  // null: no folders ahead
  const SkipFolder* skipFolder_;
  // A sub-folder that may be read ahead.
  bool Ahead(const std::string& below, const std::string& name) const {
    return skipFolder_ == nullptr || !(*skipFolder_)(below, name);
  }
  bool present_ = false;
  std::size_t ownPosition_ = 0;
  bool started_ = false;
  std::array<ReadAhead::Batch, ReadAhead::kBatches> batches_;
  int current_ = 0;         // the batch being taken
  int position_ = 0;        // the next entry in it
  bool ended_ = false;      // the listing has no more names
  std::size_t filled_ = 0;  // names read from the listing (places)
  std::size_t last_ = 0;    // place of the entry last taken
  bool taken_ = false;      // an entry has been taken
  // Sub-folders met in the listing and not yet queued, and those queued.
  std::deque<std::pair<std::size_t, std::string>> candidates_;
  std::deque<std::unique_ptr<ReadAhead::Folder>> folders_;
};

// Describes an entry that Next(entry, false) gave: kind, stamp and size
// from lstat relative to the listing. False when it is gone since; one
// that cannot be described keeps its kind and gets the error instead.
bool DescribeListed(const DirLister& listing, DirEntry& entry);

}  // namespace platform
