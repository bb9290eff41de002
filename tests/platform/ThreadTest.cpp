#include "platform/YmThread.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <future>
#include <set>
#include <thread>
#include <vector>

namespace {

TEST(YmThreadTest, EveryLiveThreadHasItsOwnKernelIdAndTheMainThreadThePid) {
  EXPECT_EQ(static_cast<unsigned long>(getpid()), YmThread::getCurrentThreadID());
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::vector<std::promise<std::pair<unsigned long, unsigned long>>> reported(6);
  std::vector<std::thread> threads;
  for (auto& r : reported) {
    threads.emplace_back([&] {
      r.set_value({YmThread::getCurrentThreadID(), static_cast<unsigned long>(syscall(SYS_gettid))});
      released.wait();  // alive until every id was taken, so none is reused
    });
  }
  std::set<unsigned long> ids{YmThread::getCurrentThreadID()};
  for (auto& r : reported) {
    const auto idPair = r.get_future().get();
    EXPECT_EQ(idPair.second, idPair.first);
    ids.insert(idPair.first);
  }
  release.set_value();
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(reported.size() + 1, ids.size());
}

}  // namespace
