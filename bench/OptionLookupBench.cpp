// Option lookups on a loaded task must cost the same whatever the number of
// options the task holds. Each benchmark loads a cache of N options once and
// then reads options spread over the whole id range.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "task/TmTaskOptions.h"

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

}  // namespace

BENCHMARK_MAIN();
