// Concurrent readers of the shared default options through every entry
// point: the typed getter's fallback, the record form and the pointer form
// of getDefaultOption, and the whole-set copy. They take the default-load
// lock and the default-cache lock on different paths; the thread checkers
// (scripts/threadcheck.sh) run this test to prove the two are always taken
// in the same order and that the shared cache has no unguarded access.
#include <atomic>
#include <thread>
#include <vector>

#include "task/EvTaskTestSupport.h"

namespace evtask {
namespace test {
namespace {

TEST_F(EvTaskTest, MixedDefaultReadersShareOneLoad) {
  std::atomic<int> served(0);
  fake->setHandler(msg::kGetDefaults, [&](const RecordedRequest&, Frame& response) {
    ++served;
    TaskApiOptions rec{};
    rec.optionId = 2;
    rec.type = 7;
    char text[] = "31";
    rec.value = text;
    GenericGetOptionsResp resp{};
    resp.count = 1;
    resp.options = &rec;
    response = FakeAppMgr::encodeResponse(msg::kGetDefaults, resp);
  });
  const int kThreads = 8;
  std::atomic<int> ready(0);
  std::vector<int> results(kThreads, -1);
  std::vector<std::string> values(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      EvTask task(0, 0, nullptr, false);
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      switch (t % 4) {
        case 0: {
          int v = 0;
          results[t] = task.getOptionInt(2, v, nullptr);
          values[t] = std::to_string(v);
          break;
        }
        case 1: {
          TaskOption probe(2, std::string(), 0);
          results[t] = task.getDefaultOption(probe, nullptr);
          values[t] = probe.getValue();
          break;
        }
        case 2: {
          int rc = 0;
          const TaskOption* found = task.getDefaultOption(2, rc, nullptr);
          results[t] = rc;
          values[t] = found != nullptr ? "31" : "";
          break;
        }
        default: {
          TaskOptionList all;
          results[t] = task.getDefOptions(all, nullptr);
          values[t] = all.getList().size() == 1 ? all.getList().front()->getValue() : "";
          break;
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(1, served.load());
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(0, results[t]) << t;
    EXPECT_EQ("31", values[t]) << t;
  }
}

}  // namespace
}  // namespace test
}  // namespace evtask
