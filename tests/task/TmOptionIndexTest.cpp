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
void expectIndexAgrees(LoadedOptions& cache, const std::vector<unsigned long long>& ids, const char* when) {
  TaskOptionList out;
  cache.copyCacheTo(out);
  for (unsigned long long id : ids) {
    const TaskOption* first = nullptr;
    for (const TaskOption* o : out.getList()) {
      if (o->getOptionId() == id) {
        first = o;
        break;
      }
    }
    int rc = -1;
    const TaskOption* found = cache.getTaskOption(id, rc, nullptr);
    ASSERT_EQ(first != nullptr, found != nullptr) << when << ", id " << id;
    EXPECT_EQ(first != nullptr, cache.isOption(id)) << when << ", id " << id;
    if (first != nullptr) {
      EXPECT_STREQ(first->getValue(), found->getValue()) << when << ", id " << id;
    }
  }
}

TEST(TmOptionIndexTest, CollidingIdsStayFindableThroughDeletesUpdatesAndGrowth) {
  std::vector<unsigned long long> ids;
  for (unsigned long long k = 0; k < 40; ++k) {
    ids.push_back(k * 17);          // one home slot in the smallest table
    ids.push_back(k * 37 + 16);     // runs that wrap around its end
    ids.push_back((k << 32) | 5);   // ids that differ above 32 bits only
    ids.push_back(k * 262147 + 3);  // one home slot in a larger table
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

}  // namespace
