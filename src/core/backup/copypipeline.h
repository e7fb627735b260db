// Copies of single files handed over by the walk of a backup and carried
// out by a few worker threads while the walk goes on. The results are
// taken back strictly in the order the copies were handed over, so that
// counters, report lines and run status are exactly those of copying one
// file after the other. With no worker threads every copy is carried out
// at once by the thread that hands it over.
//
// Only the thread that owns the pipeline hands over and takes back; the
// workers never touch anything but their job.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CopyPipeline {
 public:
  struct Job {
    std::string sourceFile;    // full path of the source
    std::string targetFolder;  // destination folder, ending with "/"
    std::string name;          // bare name in the source's folder
    int dirHandle = -1;        // open listing of the source's folder
    int targetHandle = -1;     // open handle of targetFolder (-1: by its path)
    int* ownCount = nullptr;   // counter of the walk level that handed it over
    // The row's target root (never made again by a copy); stays as it is
    // while copies are in work.
    const std::string* targetRoot = nullptr;
    int result = 0;               // copy result (0 or an error code)
    bool raised = false;          // the copy raised an exception
    bool skipped = false;         // never started (the walk had stopped)
    bool attributesLost = false;  // the target refused attributes or access lists
    std::uint64_t bytes = 0;      // the size of the content copied
    // With versions: the path under a run folder ("<row>/<path>"), whether
    // the copy replaced a kept file, and the keeper's failure (0: none).
    std::string relative;
    bool replaced = false;
    int keepError = 0;
  };
  // Carries out one copy; may note what it could not keep in the job.
  using CopyFunction = std::function<int(Job&)>;

  // At most this many copies are in work at once.
  static constexpr std::size_t kCapacity = 32;
  // Idle workers are woken when this many jobs wait for them.
  static constexpr std::size_t kWakeBatch = 4;

  CopyPipeline(int threads, CopyFunction copy);
  ~CopyPipeline();
  CopyPipeline(const CopyPipeline&) = delete;
  CopyPipeline& operator=(const CopyPipeline&) = delete;

  int Threads() const { return static_cast<int>(workers_.size()); }
  bool Full() const { return Tail() - head_ == kCapacity; }
  bool Empty() const { return Tail() == head_; }

  // The job to fill before Submit; only while not Full().
  Job& NextFree();
  // Hands the filled job over (without threads: carries it out now).
  void Submit();
  // The oldest job when it is finished, else null. Never waits.
  Job* Oldest();
  // Takes the oldest job back; its slot is free again.
  void Retire();
  // Waits until the oldest job and, when more are in work, up to
  // `batch - 1` after it are finished; after `patience` only until the
  // oldest one is.
  void Wait(std::size_t batch,
            std::chrono::milliseconds patience = std::chrono::milliseconds(kPatienceMs));
  static constexpr int kPatienceMs = 20;
  // Jobs that no worker has started yet are not carried out any more; they
  // come back as skipped. Until the pipeline is empty again.
  void SkipPending();

 private:
  void Work();
  bool RangeDone(std::size_t first, std::size_t last) const;

  std::size_t Tail() const { return tail_.load(std::memory_order_relaxed); }
  bool IsDone(std::size_t index) const { return done_[index % kCapacity].load(); }

  CopyFunction copy_;
  std::vector<Job> jobs_;
  // Per slot: the job is finished. Set by the worker after its last touch
  // of the job, read by the owner without a lock.
  std::unique_ptr<std::atomic<bool>[]> done_;
  // Counters of handed-over (tail_), started (next_) and taken-back
  // (head_, the owner's alone) jobs; slot = counter % kCapacity. Workers
  // claim jobs by raising next_; only sleeping and waking take the mutex.
  std::size_t head_ = 0;
  std::atomic<std::size_t> next_{0}, tail_{0};
  // The range of jobs the owner waits for, while it waits.
  std::atomic<std::size_t> waitFrom_{0}, waitFor_{0};
  std::atomic<bool> waiting_{false};
  std::atomic<bool> skip_{false};
  std::atomic<bool> stop_{false};
  std::atomic<int> idle_{0};  // workers asleep or about to sleep
  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable jobDone_;
  std::vector<std::thread> workers_;
};
