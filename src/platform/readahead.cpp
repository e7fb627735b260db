#include "platform/readahead.h"

#include <sys/resource.h>

#include <algorithm>
#include <string>

#include "platform/internal.h"

namespace platform {

namespace {

void Describe(ReadAhead::Batch& batch) {
  std::string path;
  for (int i = 0; i < batch.count; ++i) {
    DirEntry& entry = batch.entries[i];
    batch.gone[i] = batch.describe && !DescribeListed(*batch.listing, entry);
    batch.present[i] = false;
    if (batch.presentIn != nullptr && entry.kind != EntryKind::Directory) {
      path.assign(*batch.presentIn).append(entry.name);
      batch.present[i] = FileExists(path);
    }
  }
}

// Opens the folder as the walk would and reads its first entries with
// their descriptions.
void ReadFolder(ReadAhead::Folder& folder) {
  folder.listing = std::make_unique<DirLister>(*folder.parent, folder.name, folder.path);
  folder.complete = true;
  if (!folder.listing->IsOpen()) return;
  folder.complete = false;
  DirEntry entry;
  while (folder.entries.size() < ReadAhead::kFolderEntries) {
    if (!folder.listing->Next(entry, true)) {
      folder.complete = true;
      break;
    }
    folder.entries.push_back(std::move(entry));
  }
}

// Blocks this thread has read from a disk so far (its own count, so that
// the other threads' reads do not count).
long BlocksRead() {
  struct rusage usage {};
  return getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_inblock : 0;
}

}  // namespace

ReadAhead::ReadAhead(int threads) {
  if (threads < 0) {
    // The walk does queued work itself whenever it would wait, so it is
    // one of the threads: one per processor with it, at most 4. On a
    // single processor a second thread only adds hand-overs.
    const unsigned processors = std::thread::hardware_concurrency();
    threads = processors >= 2 ? static_cast<int>(std::min(processors, 4u)) - 1 : 0;
    mayAdd_ = threads > 0 && threads + 1 < kDiskThreads;
  }
  threads_.store(threads, std::memory_order_relaxed);
  for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

void ReadAhead::AddDiskThreads() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop_ || onDisk_.load(std::memory_order_relaxed)) return;
  // The walk counts as one of them.
  while (static_cast<int>(workers_.size()) + 1 < kDiskThreads)
    workers_.emplace_back([this] { Work(); });
  threads_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
  onDisk_.store(true, std::memory_order_relaxed);
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void ReadAhead::Queue(Batch& batch) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    batch.state.store(kQueued, std::memory_order_relaxed);
    queue_.emplace_back(&batch, nullptr);
  }
  wake_.notify_one();
}

void ReadAhead::Queue(Folder& folder) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    folder.state.store(kQueued, std::memory_order_relaxed);
    queue_.emplace_back(nullptr, &folder);
  }
  wake_.notify_one();
}

bool ReadAhead::Unqueue(Batch& batch) { return UnqueueItem(&batch, batch.state); }

bool ReadAhead::Unqueue(Folder& folder) { return UnqueueItem(&folder, folder.state); }

bool ReadAhead::UnqueueItem(const void* item, std::atomic<int>& state) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (state.load(std::memory_order_relaxed) != kQueued) return false;
  queue_.erase(std::find_if(queue_.begin(), queue_.end(), [item](const auto& queued) {
    return static_cast<const void*>(queued.first) == item ||
           static_cast<const void*>(queued.second) == item;
  }));
  state.store(kTaken, std::memory_order_relaxed);
  return true;
}

void ReadAhead::Do(std::pair<Batch*, Folder*> item) {
  // Until the walk is known to wait for the disk: whether this piece did.
  const bool watch = mayAdd_ && !onDisk_.load(std::memory_order_relaxed);
  const long before = watch ? BlocksRead() : 0;
  std::atomic<int>* state = nullptr;
  bool onDisk = false;
  if (item.first != nullptr) {
    Describe(*item.first);
    state = &item.first->state;
  } else {
    ReadFolder(*item.second);
    state = &item.second->state;
    onDisk = watch && detail::Fault("disk-wait", item.second->path) != 0;
  }
  onDisk = onDisk || (watch && BlocksRead() != before);
  state->store(kDone, std::memory_order_release);
  state->notify_all();
  // A few pieces, not one stray block of an otherwise cached tree.
  if (onDisk && diskPieces_.fetch_add(1, std::memory_order_relaxed) + 1 >= kDiskPieces)
    AddDiskThreads();
}

void ReadAhead::Work() {
  for (;;) {
    std::pair<Batch*, Folder*> item;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      item = queue_.front();
      queue_.pop_front();
      (item.first ? item.first->state : item.second->state)
          .store(kTaken, std::memory_order_relaxed);
    }
    Do(item);
  }
}

void ReadAhead::WaitFor(std::atomic<int>& state) {
  for (int s = state.load(std::memory_order_acquire); s != kDone;
       s = state.load(std::memory_order_acquire)) {
    // Rather than sit idle, the walk does the next work in the queue.
    std::pair<Batch*, Folder*> item{nullptr, nullptr};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!queue_.empty()) {
        item = queue_.front();
        queue_.pop_front();
        (item.first ? item.first->state : item.second->state)
            .store(kTaken, std::memory_order_relaxed);
      }
    }
    if (item.first != nullptr || item.second != nullptr)
      Do(item);
    else
      state.wait(s, std::memory_order_acquire);
  }
}

AheadListing::AheadListing(ReadAhead* ahead, DirLister& listing, bool describe,
                           const std::string* presentIn, const std::string* path,
                           const SkipFolder* skipFolder)
    : ahead_((describe || presentIn != nullptr) && ahead != nullptr && ahead->Threads() > 0
                 ? ahead
                 : nullptr),
      listing_(listing),
      describe_(describe),
      presentIn_(presentIn),
      path_(describe && ahead_ != nullptr ? path : nullptr),
      skipFolder_(skipFolder) {
  if (ahead_ == nullptr || !listing_.IsOpen()) {
    ahead_ = nullptr;
    path_ = nullptr;
    return;
  }
  Start();
}

AheadListing::AheadListing(ReadAhead* ahead, std::unique_ptr<ReadAhead::Folder> folder,
                           const std::string* path, const SkipFolder* skipFolder)
    : ahead_(ahead),
      own_(std::move(folder)),
      listing_(*own_->listing),
      describe_(true),
      presentIn_(nullptr),
      path_(ahead_ != nullptr ? path : nullptr),
      skipFolder_(skipFolder) {
  filled_ = own_->entries.size();
  // Its sub-folders read ahead already are this listing's now.
  folders_ = std::move(own_->children);
  own_->children.clear();
  if (path_ == nullptr) return;
  const std::size_t after = folders_.empty() ? 0 : folders_.back()->place + 1;
  for (std::size_t i = after; i < own_->entries.size(); ++i)
    if (own_->entries[i].kind == EntryKind::Directory && Ahead({}, own_->entries[i].name))
      candidates_.emplace_back(i, own_->entries[i].name);
  QueueFolders();
}

AheadListing::~AheadListing() {
  // No thread may still look at this listing when it goes.
  for (std::unique_ptr<ReadAhead::Folder>& folder : folders_) ahead_->Drop(folder);
  if (ahead_ == nullptr || !started_) return;
  for (ReadAhead::Batch& batch : batches_) {
    if (ahead_->Unqueue(batch)) continue;
    for (int s = batch.state.load(std::memory_order_acquire); s == ReadAhead::kTaken;
         s = batch.state.load(std::memory_order_acquire))
      batch.state.wait(s, std::memory_order_acquire);
  }
}

void AheadListing::Start() {
  started_ = true;
  for (std::size_t i = 0; i < batches_.size(); ++i) {
    batches_[i].listing = &listing_;
    batches_[i].describe = describe_;
    batches_[i].presentIn = presentIn_;
  }
  for (std::size_t i = 0; i < batches_.size() && !ended_; ++i) Fill(batches_[i]);
}

void AheadListing::Fill(ReadAhead::Batch& batch) {
  batch.count = 0;
  while (batch.count < ReadAhead::kBatch) {
    DirEntry& entry = batch.entries[batch.count];
    if (!listing_.Next(entry, false)) {
      ended_ = true;
      break;
    }
    batch.place[batch.count] = filled_++;
    if (path_ != nullptr && entry.kind == EntryKind::Directory && Ahead({}, entry.name))
      candidates_.emplace_back(batch.place[batch.count], entry.name);
    ++batch.count;
  }
  if (batch.count > 0) {
    ahead_->Queue(batch);
  } else {
    batch.state.store(ReadAhead::kIdle, std::memory_order_relaxed);
  }
  QueueFolders();
}

std::unique_ptr<ReadAhead::Folder> ReadAhead::QueueFolder(const DirLister& parent,
                                                          const std::string& parentPath,
                                                          std::string name, std::size_t place) {
  auto folder = std::make_unique<Folder>();
  folder->ahead = this;
  folder->parent = &parent;
  folder->path = parentPath + name + "/";
  folder->name = std::move(name);
  folder->place = place;
  folders_.fetch_add(1, std::memory_order_relaxed);
  Queue(*folder);
  return folder;
}

void ReadAhead::Drop(std::unique_ptr<Folder>& folder) {
  if (!Unqueue(*folder)) WaitFor(folder->state);
  folder.reset();
  folders_.fetch_sub(1, std::memory_order_relaxed);
}

ReadAhead::Folder::~Folder() {
  for (std::unique_ptr<Folder>& child : children)
    if (child != nullptr) ahead->Drop(child);
}

void AheadListing::QueueFolders() {
  if (path_ == nullptr) return;
  const auto room = [this](std::size_t queued) {
    return queued < ahead_->FoldersPerListing() &&
           ahead_->folders_.load(std::memory_order_relaxed) < ahead_->FoldersInAll();
  };
  while (!candidates_.empty() && room(folders_.size())) {
    auto [place, name] = std::move(candidates_.front());
    candidates_.pop_front();
    // One the walk has passed (or is at) is opened by the walk itself.
    if (taken_ && place <= last_) continue;
    folders_.push_back(ahead_->QueueFolder(listing_, *path_, std::move(name), place));
  }
  // One level further: the first sub-folders of each folder already read,
  // nearest first, while there is room in all.
  for (std::unique_ptr<ReadAhead::Folder>& folder : folders_) {
    if (!room(0)) break;
    if (folder->childrenQueued) continue;
    if (folder->state.load(std::memory_order_acquire) != ReadAhead::kDone) break;
    folder->childrenQueued = true;
    if (!folder->listing->IsOpen()) continue;
    const std::string below = folder->name + "/";
    for (std::size_t i = 0; i < folder->entries.size() && room(folder->children.size()); ++i) {
      const DirEntry& entry = folder->entries[i];
      if (entry.kind == EntryKind::Directory && Ahead(below, entry.name))
        folder->children.push_back(
            ahead_->QueueFolder(*folder->listing, folder->path, entry.name, i));
    }
  }
}

void AheadListing::Finish(ReadAhead::Folder& folder) {
  // No thread has come to it yet: read here, without waiting, and watched
  // for the disk like a read on a thread (where the threads are slow to
  // start, the walk reads most folders itself).
  if (ahead_->Unqueue(folder)) ahead_->Do({nullptr, &folder});
  ahead_->WaitFor(folder.state);
}

std::unique_ptr<ReadAhead::Folder> AheadListing::TakeFolder() {
  std::unique_ptr<ReadAhead::Folder> taken;
  if (!taken_) return taken;
  while (!folders_.empty() && folders_.front()->place < last_) {
    ahead_->Drop(folders_.front());
    folders_.pop_front();
  }
  if (!folders_.empty() && folders_.front()->place == last_) {
    taken = std::move(folders_.front());
    folders_.pop_front();
    Finish(*taken);
    ahead_->folders_.fetch_sub(1, std::memory_order_relaxed);
  }
  QueueFolders();
  return taken;
}

bool AheadListing::Next(DirEntry& entry) {
  if (own_ != nullptr) {
    if (ownPosition_ < own_->entries.size()) {
      last_ = ownPosition_;
      taken_ = true;
      entry = std::move(own_->entries[ownPosition_++]);
      present_ = false;
      return true;
    }
    if (own_->complete) return false;
    // The rest of a large folder: in batches, from where the thread stopped.
    if (ahead_ == nullptr) return listing_.Next(entry, true);
    if (!started_) Start();
  }
  if (ahead_ == nullptr) {
    if (!listing_.Next(entry, describe_)) return false;
    present_ = presentIn_ != nullptr && entry.kind != EntryKind::Directory &&
               FileExists(*presentIn_ + entry.name);
    return true;
  }
  for (;;) {
    ReadAhead::Batch& batch = batches_[current_];
    if (batch.count == 0) return false;  // the listing has ended
    if (position_ == 0) {
      if (ahead_->Unqueue(batch)) {
        // No thread has come to it yet: described here, without waiting.
        Describe(batch);
        batch.state.store(ReadAhead::kDone, std::memory_order_relaxed);
      }
      ahead_->WaitFor(batch.state);
    }
    const int i = position_++;
    last_ = batch.place[i];
    taken_ = true;
    if (position_ == batch.count) {
      // The batch is used up: it takes the next names of the listing.
      entry = std::move(batch.entries[i]);
      const bool gone = batch.gone[i];
      present_ = batch.present[i];
      position_ = 0;
      batch.state.store(ReadAhead::kIdle, std::memory_order_relaxed);
      batch.count = 0;
      if (!ended_) Fill(batch);
      current_ = (current_ + 1) % ReadAhead::kBatches;
      if (!gone) return true;
      continue;
    }
    if (batch.gone[i]) continue;
    entry = std::move(batch.entries[i]);
    present_ = batch.present[i];
    return true;
  }
}

}  // namespace platform
