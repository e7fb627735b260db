#include "core/backup/copypipeline.h"

#include <system_error>

CopyPipeline::CopyPipeline(int threads, CopyFunction copy)
    : copy_(std::move(copy)), jobs_(kCapacity), done_(kCapacity, 0) {
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
    stop_ = true;
    skip_ = true;
  }
  workReady_.notify_all();
  for (std::thread& t : workers_) t.join();
}

CopyPipeline::Job& CopyPipeline::NextFree() { return jobs_[tail_ % kCapacity]; }

void CopyPipeline::Submit() {
  Job& job = jobs_[tail_ % kCapacity];
  job.result = 0;
  job.raised = false;
  job.skipped = false;
  job.attributesLost = false;
  job.replaced = false;
  job.keepError = 0;
  if (workers_.empty()) {
    try {
      job.result = copy_(job);
    } catch (...) {
      job.raised = true;
    }
    done_[tail_ % kCapacity] = 1;
    ++tail_;
    return;
  }
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_[tail_ % kCapacity] = 0;
    ++tail_;
    // An idle worker is woken for a few jobs at a time, not for each one:
    // waking a thread costs about as much as copying a small file.
    wake = idle_ > 0 && tail_ - next_ >= kWakeBatch;
  }
  if (wake) workReady_.notify_one();
}

CopyPipeline::Job* CopyPipeline::Oldest() {
  if (Empty()) return nullptr;
  if (workers_.empty()) return &jobs_[head_ % kCapacity];
  std::lock_guard<std::mutex> lock(mutex_);
  return done_[head_ % kCapacity] ? &jobs_[head_ % kCapacity] : nullptr;
}

void CopyPipeline::Retire() {
  if (Empty()) return;
  ++head_;
  if (Empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    skip_ = false;
  }
}

bool CopyPipeline::RangeDone(std::size_t first, std::size_t last) const {
  for (std::size_t i = first; i <= last; ++i)
    if (!done_[i % kCapacity]) return false;
  return true;
}

void CopyPipeline::Wait(std::size_t batch, std::chrono::milliseconds patience) {
  if (Empty() || workers_.empty()) return;
  const std::size_t inWork = tail_ - head_;
  const std::size_t last = head_ + (batch == 0 ? 1 : std::min(batch, inWork)) - 1;
  std::unique_lock<std::mutex> lock(mutex_);
  // Jobs left waiting for a batch are started now.
  if (idle_ > 0 && next_ != tail_) workReady_.notify_all();
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
  std::lock_guard<std::mutex> lock(mutex_);
  skip_ = true;
}

void CopyPipeline::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (next_ == tail_) {
      if (stop_) return;
      ++idle_;
      workReady_.wait(lock, [&] { return stop_ || next_ != tail_; });
      --idle_;
      continue;
    }
    const std::size_t index = next_++;
    Job& job = jobs_[index % kCapacity];
    const bool skip = skip_;
    lock.unlock();
    if (skip) {
      job.skipped = true;
    } else {
      try {
        job.result = copy_(job);
      } catch (...) {
        job.raised = true;
      }
    }
    lock.lock();
    done_[index % kCapacity] = 1;
    // The owner is woken once, when all it waits for is finished.
    if (waiting_ && index <= waitFor_ && RangeDone(waitFrom_, waitFor_)) {
      lock.unlock();
      jobDone_.notify_one();
      lock.lock();
    }
  }
}
