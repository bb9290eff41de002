#include "platform/YmThread.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <future>
#include <set>
#include <thread>
#include <vector>

namespace {

unsigned long kernelThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

TEST(YmThreadTest, EveryLiveThreadHasItsOwnKernelIdAndTheMainThreadThePid) {
  EXPECT_EQ(static_cast<unsigned long>(getpid()), YmThread::getCurrentThreadID());
  constexpr int kThreads = 6;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::vector<std::promise<std::pair<unsigned long, unsigned long>>> reported(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      reported[i].set_value({YmThread::getCurrentThreadID(), kernelThreadId()});
      released.wait();  // alive until every id was taken, so none is reused
    });
  }
  std::set<unsigned long> ids{YmThread::getCurrentThreadID()};
  for (int i = 0; i < kThreads; ++i) {
    const auto idPair = reported[i].get_future().get();
    EXPECT_EQ(idPair.second, idPair.first) << "thread " << i;
    ids.insert(idPair.first);
  }
  release.set_value();
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(static_cast<size_t>(kThreads + 1), ids.size());
}

}  // namespace
