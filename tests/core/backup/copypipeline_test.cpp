// The hand-over of copies to worker threads: results come back in the
// order the copies were handed over, and after a stop only the copies
// already in work are carried out.
#include "core/backup/copypipeline.h"

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/closebatch.h"
#include "support/core_support.h"

namespace {

using Job = CopyPipeline::Job;

void Hand(CopyPipeline& pipeline, int number) {
  Job& job = pipeline.NextFree();
  job.name = std::to_string(number);
  pipeline.Submit();
}

// Takes back every finished job in order, waiting for the rest.
std::vector<std::string> TakeAll(CopyPipeline& pipeline, std::vector<int>* results = nullptr) {
  std::vector<std::string> names;
  while (!pipeline.Empty()) {
    Job* job = pipeline.Oldest();
    if (job == nullptr) {
      pipeline.Wait(CopyPipeline::kCapacity);
      continue;
    }
    names.push_back(job->skipped ? "-" + job->name : job->name);
    if (results != nullptr) results->push_back(job->result);
    pipeline.Retire();
  }
  return names;
}

}  // namespace

TEST(CopyPipeline, ResultsComeBackInOrderWhateverOrderTheCopiesFinishIn) {
  for (int threads : {0, 1, 3}) {
    // Early copies take longest, so later ones finish first.
    CopyPipeline pipeline(threads, [](const Job& job) {
      const int n = std::stoi(job.name);
      std::this_thread::sleep_for(std::chrono::microseconds(n % 5 == 0 ? 3000 : 10));
      if (n == 7) throw std::runtime_error("kaputt");
      return n * 10;
    });
    EXPECT_EQ(threads, pipeline.Threads());
    std::vector<std::string> names;
    std::vector<int> results;
    bool raised7 = false;
    for (int n = 0; n < 200; ++n) {
      while (pipeline.Full()) {
        pipeline.Wait(CopyPipeline::kCapacity / 2);
        while (Job* job = pipeline.Oldest()) {
          names.push_back(job->name);
          results.push_back(job->result);
          if (job->name == "7") raised7 = job->raised;
          pipeline.Retire();
        }
      }
      Hand(pipeline, n);
    }
    for (const std::string& name : TakeAll(pipeline, &results)) names.push_back(name);
    ASSERT_EQ(200u, names.size()) << threads;
    for (int n = 0; n < 200; ++n) {
      EXPECT_EQ(std::to_string(n), names[static_cast<std::size_t>(n)]);
      if (n != 7) {
        EXPECT_EQ(n * 10, results[static_cast<std::size_t>(n)]);
      }
    }
    EXPECT_TRUE(raised7) << threads;
  }
}

TEST(CopyPipeline, AfterAStopOnlyTheCopiesInWorkAreCarriedOut) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> started{0};
  std::atomic<int> copies{0};
  CopyPipeline pipeline(1, [&](const Job&) {
    ++copies;
    if (started++ == 0) released.wait();  // the first copy is still in work
    return 0;
  });
  for (int n = 0; n < 6; ++n) Hand(pipeline, n);
  while (started == 0) std::this_thread::yield();
  pipeline.SkipPending();
  release.set_value();
  EXPECT_EQ((std::vector<std::string>{"0", "-1", "-2", "-3", "-4", "-5"}), TakeAll(pipeline));
  EXPECT_EQ(1, copies);

  // Empty again: the next copies are carried out as usual.
  for (int n = 6; n < 9; ++n) Hand(pipeline, n);
  EXPECT_EQ((std::vector<std::string>{"6", "7", "8"}), TakeAll(pipeline));
  EXPECT_EQ(4, copies);
}

TEST(CopyPipeline, EndingThePipelineWithCopiesInWorkLosesNone) {
  std::atomic<int> copies{0};
  {
    CopyPipeline pipeline(2, [&](const Job&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ++copies;
      return 0;
    });
    for (int n = 0; n < 10; ++n) Hand(pipeline, n);
  }
  // A copy in work is finished, those not started are dropped; nothing
  // hangs and nothing runs after the end.
  const int atEnd = copies;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(atEnd, copies);
  EXPECT_LE(atEnd, 10);
}

TEST(CopyPipeline, CopyThreadsCloseTheirFilesBeforeTheyWaitForMore) {
  vktest::TempDir dir;
  const std::string file = dir / "datei.txt";
  vktest::WriteFile(file, "Inhalt");
  std::mutex mutex;
  std::vector<int> fds;
  // The descriptors of the process that lead to the file: a number alone
  // says nothing, as a closed one is soon given to something else (the
  // ring of a copy thread that started late, for one).
  const std::filesystem::path target = std::filesystem::canonical(file);
  auto openCount = [&] {
    int open = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code error;
      if (std::filesystem::read_symlink(entry.path(), error) == target) ++open;
    }
    return open;
  };
  CopyPipeline pipeline(2, [&](const Job&) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    {
      std::lock_guard<std::mutex> lock(mutex);
      fds.push_back(fd);
    }
    // As a copy hands over its source and its finished copy.
    platform::CloseWhenDone(fd);
    return fd >= 0 ? 0 : 1;
  });
  std::size_t taken = 0;
  for (int n = 0; n < 50; ++n) {
    if (pipeline.Full()) taken += TakeAll(pipeline).size();
    Hand(pipeline, n);
  }
  taken += TakeAll(pipeline).size();
  EXPECT_EQ(50u, taken);
  // The threads now wait for more work, with none of the files left open
  // (a file held open would keep a drive from being unmounted).
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (openCount() > 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(0, openCount());
  EXPECT_EQ(50u, fds.size());
}
