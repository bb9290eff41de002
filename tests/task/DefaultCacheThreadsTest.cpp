// Concurrent readers of the shared default options through every entry
// point: the typed getter's fallback, the record form and the pointer form
// of getDefaultOption, and the whole-set copy. They take the default-load
// lock and the default-cache lock on different paths; the thread checkers
// (scripts/threadcheck.sh) run this test to prove the two are always taken
// in the same order and that the shared cache has no unguarded access.
#include <atomic>
#include <functional>
#include <string>
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
  // "result value" of a read through each entry point.
  const auto shown = [](int rc, const std::string& value) { return std::to_string(rc) + " " + value; };
  const std::vector<std::function<std::string(EvTask&)>> readers = {
      [&](EvTask& t) { int v = 0, rc = t.getOptionInt(2, v, nullptr); return shown(rc, std::to_string(v)); },
      [&](EvTask& t) {
        TaskOption o(2, "", 0);
        const int rc = t.getDefaultOption(o, nullptr);
        return shown(rc, o.getValue());
      },
      [&](EvTask& t) {
        int rc = 0;
        const bool found = t.getDefaultOption(2, rc, nullptr) != nullptr;
        return shown(rc, found ? "31" : "");
      },
      [&](EvTask& t) {
        TaskOptionList all;
        const int rc = t.getDefOptions(all, nullptr);
        return shown(rc, all.getList().size() == 1 ? all.getList().front()->getValue() : "");
      },
  };
  const int kThreads = 8;
  std::atomic<int> ready(0);
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      EvTask task(0, 0, nullptr, false);
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      results[t] = readers[t % readers.size()](task);
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(1, served.load());
  EXPECT_EQ(std::vector<std::string>(kThreads, "0 31"), results);
}

}  // namespace
}  // namespace test
}  // namespace evtask
