// The option cache's index against the records it describes: ids that share
// a home slot (multiples of the index's table sizes, ids that differ above 32
// bits only, runs that wrap around the table's end) stay findable through
// deletions, updates and regrowth.
#include "task/TmTaskOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class LoadedOptions : public TmTaskOptions {
 public:
  LoadedOptions() { setOptsInitialized(); }
  int initOptions(void*) override { return 0; }
  int setOptions(TaskOptionList, void*) override { return 0; }
  int initDefaults(void*) override { return 0; }
  int removeOptions(TaskOptionList, void*) override { return 0; }
  int removeOptions(std::vector<unsigned long long>, void*) override { return 0; }
};

// Every id is found exactly when a record has it, with the first record's
// value.
void expectIndexAgrees(LoadedOptions& cache, const std::vector<unsigned long long>& ids, const std::string& when) {
  TaskOptionList out;
  cache.copyCacheTo(out);
  for (unsigned long long id : ids) {
    std::string first = "none", found = "none";
    for (auto it = out.getList().rbegin(); it != out.getList().rend(); ++it) {
      if ((*it)->getOptionId() == id) first = (*it)->getValue();
    }
    int rc = -1;
    if (const TaskOption* o = cache.getTaskOption(id, rc, nullptr)) found = o->getValue();
    EXPECT_EQ(first, found) << when << ", id " << id;
    EXPECT_EQ(first != "none", cache.isOption(id)) << when << ", id " << id;
  }
}

TEST(TmOptionIndexTest, CollidingIdsStayFindableThroughDeletesUpdatesAndGrowth) {
  std::vector<unsigned long long> ids;
  // 160 ids: the index ends with 521 slots.
  for (unsigned long long k = 0; k < 40; ++k) {
    ids.push_back(k * 521);         // one home slot
    ids.push_back(k * 521 + 519);   // a run that wraps around the table's end
    ids.push_back((k << 32) | 5);   // ids that differ above 32 bits only
    ids.push_back(k * 1031 + 3);    // one home slot in the next larger table
  }
  LoadedOptions cache;
  for (size_t i = 0; i < ids.size(); ++i) cache.addToOptCache(ids[i], std::to_string(i), 1);
  cache.addToOptCache(ids[1], "second record", 1);
  expectIndexAgrees(cache, ids, "after the appends");
  for (size_t i = 0; i < ids.size(); i += 3) cache.delFromOptCache(ids[i]);
  expectIndexAgrees(cache, ids, "after every third id left");
  for (size_t i = 0; i < ids.size(); i += 2) cache.updateOptCache(TaskOption(ids[i], "u" + std::to_string(i), 1));
  expectIndexAgrees(cache, ids, "after updates that re-add some ids");
  LoadedOptions copy(cache);
  expectIndexAgrees(copy, ids, "in a copy");
  for (unsigned long long id : ids) cache.delFromOptCache(id);
  expectIndexAgrees(cache, ids, "after all left");
  TaskOptionList out;
  cache.copyCacheTo(out);
  EXPECT_TRUE(out.getList().empty());
}

// Small caches whose ids share one home slot of the smallest table (17
// slots) or wrap around its end: each removal must pull the rest of the run
// back, whichever record leaves.
TEST(TmOptionIndexTest, RemovalsInsideOneRunKeepTheRestFindable) {
  const std::vector<unsigned long long> runs[] = {
      {0, 17, 34, 51}, {16, 33, 50, 67}, {15, 16, 32, 1}, {(1ULL << 32) | 3, 3, (2ULL << 32) | 3}};
  for (const auto& ids : runs) {
    for (size_t leaving = 0; leaving < ids.size(); ++leaving) {
      LoadedOptions cache;
      for (size_t i = 0; i < ids.size(); ++i) cache.addToOptCache(ids[i], std::to_string(i), 1);
      cache.delFromOptCache(ids[leaving]);
      expectIndexAgrees(cache, ids, "after removing " + std::to_string(ids[leaving]));
    }
  }
}

}  // namespace
