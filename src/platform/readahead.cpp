#include "platform/readahead.h"

#include <algorithm>
#include <string>

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

}  // namespace

ReadAhead::ReadAhead(int threads) {
  if (threads < 0) {
    // On a single processor a second thread only adds hand-overs.
    const unsigned processors = std::thread::hardware_concurrency();
    threads = processors >= 2 ? static_cast<int>(std::min(processors, 4u)) : 0;
  }
  for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
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
  if (workers_.empty()) {
    batch.state.store(kQueued, std::memory_order_release);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    batch.state.store(kQueued, std::memory_order_relaxed);
    queue_.push_back(&batch);
  }
  wake_.notify_one();
}

bool ReadAhead::Unqueue(Batch& batch) {
  if (workers_.empty()) return batch.state.load(std::memory_order_acquire) == kQueued;
  std::lock_guard<std::mutex> lock(mutex_);
  if (batch.state.load(std::memory_order_relaxed) != kQueued) return false;
  queue_.erase(std::find(queue_.begin(), queue_.end(), &batch));
  batch.state.store(kTaken, std::memory_order_relaxed);
  return true;
}

void ReadAhead::Work() {
  for (;;) {
    Batch* batch = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      batch = queue_.front();
      queue_.pop_front();
      batch->state.store(kTaken, std::memory_order_relaxed);
    }
    Describe(*batch);
    batch->state.store(kDone, std::memory_order_release);
    batch->state.notify_all();
  }
}

AheadListing::AheadListing(ReadAhead* ahead, DirLister& listing, bool describe,
                           const std::string* presentIn)
    : ahead_(describe || presentIn != nullptr ? ahead : nullptr),
      listing_(listing),
      describe_(describe),
      presentIn_(presentIn) {
  if (ahead_ == nullptr || !listing_.IsOpen()) {
    ahead_ = nullptr;
    return;
  }
  for (ReadAhead::Batch& batch : batches_) {
    batch.listing = &listing_;
    batch.describe = describe;
    batch.presentIn = presentIn;
    if (!ended_) Fill(batch);
  }
}

AheadListing::~AheadListing() {
  if (ahead_ == nullptr) return;
  // No thread may still look at this listing when it goes.
  for (ReadAhead::Batch& batch : batches_) {
    if (ahead_->Unqueue(batch)) continue;
    for (int s = batch.state.load(std::memory_order_acquire); s == ReadAhead::kTaken;
         s = batch.state.load(std::memory_order_acquire))
      batch.state.wait(s, std::memory_order_acquire);
  }
}

void AheadListing::Fill(ReadAhead::Batch& batch) {
  batch.count = 0;
  while (batch.count < ReadAhead::kBatch) {
    if (!listing_.Next(batch.entries[batch.count], false)) {
      ended_ = true;
      break;
    }
    ++batch.count;
  }
  if (batch.count > 0) {
    ahead_->Queue(batch);
  } else {
    batch.state.store(ReadAhead::kIdle, std::memory_order_relaxed);
  }
}

bool AheadListing::Next(DirEntry& entry) {
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
      for (int s = batch.state.load(std::memory_order_acquire); s != ReadAhead::kDone;
           s = batch.state.load(std::memory_order_acquire))
        batch.state.wait(s, std::memory_order_acquire);
    }
    const int i = position_++;
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
