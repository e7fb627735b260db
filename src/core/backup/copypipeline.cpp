#include "core/backup/copypipeline.h"

#include <system_error>

#include "platform/closebatch.h"

// Hand-over without a lock on the way of each copy: the owner publishes a
// job by raising tail_, a worker claims it by raising next_ and marks it
// done in its slot. Sleeping and waking go through the mutex, and each
// side tells the other that it sleeps before it looks a last time
// (idle_ against tail_, waiting_ against done_, all sequentially
// consistent), so that no wake-up is lost.

CopyPipeline::CopyPipeline(int threads, CopyFunction copy)
    : copy_(std::move(copy)), jobs_(kCapacity), done_(new std::atomic<bool>[kCapacity]) {
  for (std::size_t i = 0; i < kCapacity; ++i) done_[i].store(false);
  for (int i = 0; i < threads; ++i) {
    try {
      workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // No more threads to be had: fewer do (none: the owner copies).
      break;
    }
  }
}

CopyPipeline::~CopyPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    skip_ = true;
    stop_ = true;
  }
  workReady_.notify_all();
  for (std::thread& t : workers_) t.join();
}

CopyPipeline::Job& CopyPipeline::NextFree() { return jobs_[Tail() % kCapacity]; }

void CopyPipeline::Submit() {
  const std::size_t index = Tail();
  Job& job = jobs_[index % kCapacity];
  job.result = 0;
  job.raised = false;
  job.skipped = false;
  job.attributesLost = false;
  job.replaced = false;
  job.keepError = 0;
  done_[index % kCapacity].store(false, std::memory_order_relaxed);
  if (workers_.empty()) {
    try {
      job.result = copy_(job);
    } catch (...) {
      job.raised = true;
    }
    done_[index % kCapacity].store(true, std::memory_order_relaxed);
    tail_.store(index + 1, std::memory_order_relaxed);
    return;
  }
  tail_.store(index + 1);
  // An idle worker is woken for a few jobs at a time, not for each one:
  // waking a thread costs about as much as copying a small file.
  if (idle_.load() > 0 && index + 1 - next_.load() >= kWakeBatch) {
    { std::lock_guard<std::mutex> lock(mutex_); }
    workReady_.notify_one();
  }
}

CopyPipeline::Job* CopyPipeline::Oldest() {
  if (Empty()) return nullptr;
  return IsDone(head_) ? &jobs_[head_ % kCapacity] : nullptr;
}

void CopyPipeline::Retire() {
  if (Empty()) return;
  ++head_;
  // No job is in work now: the next ones are carried out again.
  if (Empty()) skip_ = false;
}

bool CopyPipeline::RangeDone(std::size_t first, std::size_t last) const {
  for (std::size_t i = first; i <= last; ++i)
    if (!IsDone(i)) return false;
  return true;
}

void CopyPipeline::Wait(std::size_t batch, std::chrono::milliseconds patience) {
  if (Empty() || workers_.empty()) return;
  const std::size_t inWork = Tail() - head_;
  const std::size_t last = head_ + (batch == 0 ? 1 : std::min(batch, inWork)) - 1;
  std::unique_lock<std::mutex> lock(mutex_);
  // Jobs left waiting for a batch are started now.
  if (idle_.load() > 0 && next_.load() != Tail()) workReady_.notify_all();
  waitFrom_ = head_;
  waitFor_ = last;
  waiting_ = true;
  if (!jobDone_.wait_for(lock, patience, [&] { return RangeDone(head_, last); })) {
    // Large files: the owner gets the oldest one back as soon as it is
    // done, so that it is not held up by a whole batch of them.
    waitFor_ = head_;
    jobDone_.wait(lock, [&] { return RangeDone(head_, head_); });
  }
  waiting_ = false;
}

void CopyPipeline::SkipPending() {
  if (workers_.empty() || Empty()) return;
  skip_ = true;
}

void CopyPipeline::Work() {
  // The files of the copies are closed a few dozen at a time, and all of
  // them before the thread waits for more work.
  platform::CloseBatch closing;
  for (;;) {
    std::size_t index = next_.load();
    if (index == tail_.load()) {
      closing.Flush();
      std::unique_lock<std::mutex> lock(mutex_);
      if (stop_) return;
      ++idle_;
      workReady_.wait(lock, [&] { return stop_ || next_.load() != tail_.load(); });
      --idle_;
      continue;
    }
    // Another worker may have taken this one meanwhile.
    if (!next_.compare_exchange_weak(index, index + 1)) continue;
    Job& job = jobs_[index % kCapacity];
    if (skip_) {
      job.skipped = true;
    } else {
      try {
        job.result = copy_(job);
      } catch (...) {
        job.raised = true;
      }
    }
    done_[index % kCapacity].store(true);
    // The owner is woken once, when all it waits for is finished.
    if (waiting_ && index >= waitFrom_ && index <= waitFor_ && RangeDone(waitFrom_, waitFor_)) {
      { std::lock_guard<std::mutex> lock(mutex_); }
      jobDone_.notify_one();
    }
  }
}
