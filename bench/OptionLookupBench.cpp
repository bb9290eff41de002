// Option lookups on a loaded task must cost the same whatever the number of
// options the task holds. Each benchmark loads a cache of N options once and
// then reads options spread over the whole id range.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "task/TmTaskOptions.h"

#ifdef EVTASK_BENCH_WITH_FAKE_APPMGR
#include "service/TaskWireStructs.h"
#include "support/FakeAppMgr.h"
#include "task/EvTask.h"
#endif

namespace {

// A cache loaded from memory: the service side is not part of the
// measurement, only the lookup.
class LoadedOptions : public TmTaskOptions {
 public:
  explicit LoadedOptions(int count) {
    for (int i = 0; i < count; ++i) addToOptCache(1000ULL + static_cast<unsigned long long>(i), std::to_string(i), 7);
    setOptsInitialized();
  }
  int initOptions(void*) override { return 0; }
  int setOptions(TaskOptionList, void*) override { return 0; }
  int initDefaults(void*) override { return 0; }
  int removeOptions(TaskOptionList, void*) override { return 0; }
  int removeOptions(std::vector<unsigned long long>, void*) override { return 0; }
};

void BM_CacheLookup(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  LoadedOptions cache(count);
  // Probe ids spread over the range, the last one included, so that a
  // linear search would show its cost.
  std::vector<unsigned long long> ids;
  for (int i = 0; i < 64; ++i) ids.push_back(1000ULL + static_cast<unsigned long long>((count - 1) - (i * count) / 64));
  size_t next = 0;
  for (auto _ : state) {
    TaskOption probe(ids[next], "", 0);
    const int rc = cache.getTaskOption(probe, nullptr);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(probe.getIntegerValue());
    next = (next + 1) & 63;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CacheLookup)->Arg(10)->Arg(1000)->Arg(100000);

#ifdef EVTASK_BENCH_WITH_FAKE_APPMGR

// The whole typed read of a task object: clear the error state, probe the
// loaded cache, convert the text. The options arrive once through the
// scripted application manager, the way a real load delivers them.
void BM_GetOptionInt(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  evtask::test::ScopedFakeAppMgr fake;
  std::vector<std::string> texts;
  texts.reserve(static_cast<size_t>(count));
  std::vector<TaskApiOptions> records(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    texts.push_back(std::to_string(i));
    records[static_cast<size_t>(i)].optionId = 1000ULL + static_cast<unsigned long long>(i);
    records[static_cast<size_t>(i)].type = 7;
    records[static_cast<size_t>(i)].value = const_cast<char*>(texts.back().c_str());
  }
  GenericGetOptionsResp resp{};
  resp.count = static_cast<uint32_t>(count);
  resp.options = records.data();
  fake->respond(evtask::msg::kGetOptions, resp);

  EvTask task(4242, 0, nullptr, false);  // addressed by job: nothing fetched at construction
  int value = 0;
  if (task.getOptionInt(1000, value, nullptr) != 0 || !task.areOptsInitialized()) {
    state.SkipWithError("options did not load");
    return;
  }
  std::vector<unsigned long long> ids;
  for (int i = 0; i < 64; ++i) ids.push_back(1000ULL + static_cast<unsigned long long>((count - 1) - (i * count) / 64));
  size_t next = 0;
  for (auto _ : state) {
    const int rc = task.getOptionInt(ids[next], value, nullptr);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(value);
    next = (next + 1) & 63;
  }
  if (fake->requestCount() != 1) state.SkipWithError("a lookup went to the service");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetOptionInt)->Arg(10)->Arg(1000)->Arg(100000);

#endif

}  // namespace

BENCHMARK_MAIN();
