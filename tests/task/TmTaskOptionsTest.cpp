#include "task/TmTaskOptions.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/YmErrors.h"
#include "support/TestSupport.h"

namespace {

// A cache whose loads and writes are scripted, so that the cache-side rules
// can be checked without the task service.
class ScriptedOptions : public TmTaskOptions {
 public:
  std::vector<TaskOption> stored;    // what a load delivers
  std::vector<TaskOption> defaults;  // what a default load delivers
  int loadResult = 0;
  int defaultsResult = 0;
  int writeResult = 0;
  int loads = 0;
  int defaultLoads = 0;
  std::vector<void*> events;
  std::vector<std::vector<std::pair<unsigned long long, std::string>>> written;
  std::vector<std::vector<unsigned long long>> removedRecords;
  std::vector<std::vector<unsigned long long>> removedIds;

  int initOptions(void* event) override {
    events.push_back(event);
    if (areOptsInitialized()) return 0;
    ++loads;
    clearOptions();
    for (const TaskOption& o : stored) addToOptCache(o);
    if (loadResult == 0) setOptsInitialized();
    return loadResult;
  }
  int setOptions(TaskOptionList options, void* event) override {
    events.push_back(event);
    std::vector<std::pair<unsigned long long, std::string>> w;
    for (const TaskOption* o : options.getList()) w.emplace_back(o->getOptionId(), o->getValue());
    written.push_back(w);
    return writeResult;
  }
  int initDefaults(void* event) override {
    events.push_back(event);
    if (defaultLoads > 0 && defaultsResult == 0) return 0;
    ++defaultLoads;
    clearDefaults();
    for (const TaskOption& o : defaults) addToDefCache(o);
    return defaultsResult;
  }
  int removeOptions(TaskOptionList options, void* event) override {
    events.push_back(event);
    std::vector<unsigned long long> ids;
    for (const TaskOption* o : options.getList()) ids.push_back(o->getOptionId());
    removedRecords.push_back(ids);
    return writeResult;
  }
  int removeOptions(std::vector<unsigned long long> optionIds, void* event) override {
    events.push_back(event);
    removedIds.push_back(optionIds);
    return writeResult;
  }
};

std::vector<std::pair<unsigned long long, std::string>> contents(TmTaskOptions& cache) {
  TaskOptionList out;
  cache.copyCacheTo(out);
  std::vector<std::pair<unsigned long long, std::string>> r;
  for (const TaskOption* o : out.getList()) r.emplace_back(o->getOptionId(), o->getValue());
  return r;
}

using Records = std::vector<std::pair<unsigned long long, std::string>>;

class TmTaskOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { TmTaskOptions::resetDefaultsForTesting(); }
  void TearDown() override { TmTaskOptions::resetDefaultsForTesting(); }
};

// --- lookups ---------------------------------------------------------------------

TEST_F(TmTaskOptionsTest, LookupLoadsOnceAndCopiesTheValueKeepingTheCallersType) {
  ScriptedOptions cache;
  cache.stored = {TaskOption(5, "five", 1), TaskOption(7, "42", 7)};
  evtask::test::LogCapture cap;
  int marker = 0;
  TaskOption probe(7, "", 0);
  EXPECT_EQ(0, cache.getTaskOption(probe, &marker));
  EXPECT_STREQ("42", probe.getValue());
  EXPECT_EQ(0, probe.getType());
  EXPECT_TRUE(cap.contains("TmTaskOptions::getTaskOption", "Found optionId[7], value [42], type[7]"));
  TaskOption second(5, "", 0);
  EXPECT_EQ(0, cache.getTaskOption(second, nullptr));
  EXPECT_STREQ("five", second.getValue());
  EXPECT_EQ(1, cache.loads);
  ASSERT_FALSE(cache.events.empty());
  EXPECT_EQ(&marker, cache.events.front());
}

TEST_F(TmTaskOptionsTest, LoadResultsDecideLookupsAndWholeSetReads) {
  EXPECT_EQ(524289, YM_PROP_NOT_FOUND);
  const struct {
    int load;
    int presentRc;  // lookup of the stored id 3
    int missingRc;  // lookup of id 4
    int wholeRc;
    size_t wholeSize;
  } cases[] = {{0, 0, YM_PROP_NOT_FOUND, 0, 1},
               {YM_DB_NODATA, 0, YM_PROP_NOT_FOUND, YM_DB_NODATA, 0},
               {1703938, 1703938, 1703938, 1703938, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE("load result " + std::to_string(c.load));
    ScriptedOptions cache;
    cache.loadResult = c.load;
    cache.stored = {TaskOption(3, "three", 1)};
    for (const auto& lookup : {std::make_pair(3ULL, c.presentRc), std::make_pair(4ULL, c.missingRc)}) {
      TaskOption probe(lookup.first, "keep", 0);
      EXPECT_EQ(lookup.second, cache.getTaskOption(probe, nullptr)) << "id " << lookup.first;
      EXPECT_STREQ(lookup.second == 0 ? "three" : "keep", probe.getValue()) << "id " << lookup.first;
      int rc = -1;
      const TaskOption* found = cache.getTaskOption(lookup.first, rc, nullptr);
      EXPECT_EQ(lookup.second, rc) << "id " << lookup.first;
      EXPECT_EQ(lookup.second == 0, found != nullptr) << "id " << lookup.first;
    }
    TaskOptionList out;
    EXPECT_EQ(c.wholeRc, cache.getTaskOptions(out, nullptr));
    EXPECT_EQ(c.wholeSize, out.getList().size());
    EXPECT_EQ(c.load == 0, cache.areOptsInitialized());
  }
}

TEST_F(TmTaskOptionsTest, FirstOfSeveralRecordsWinsAndOnlyItIsUpdated) {
  ScriptedOptions cache;
  cache.stored = {TaskOption(9, "a", 1), TaskOption(9, "b", 1)};
  int rc = -1;
  const TaskOption* found = cache.getTaskOption(9ULL, rc, nullptr);
  ASSERT_NE(nullptr, found);
  EXPECT_STREQ("a", found->getValue());
  EXPECT_EQ(0, cache.updateOptCache(TaskOption(9, "c", 7)));
  EXPECT_EQ((Records{{9, "c"}, {9, "b"}}), contents(cache));
  EXPECT_EQ(found, cache.getTaskOption(9ULL, rc, nullptr)) << "updated in place";
  EXPECT_EQ(1, found->getType()) << "the type of the updated record stays";
  cache.updateOptCache(TaskOption(2, "two", 7));
  EXPECT_EQ((Records{{9, "c"}, {9, "b"}, {2, "two"}}), contents(cache)) << "an unknown id is appended";
}

TEST_F(TmTaskOptionsTest, IsOptionLoadsNothing) {
  ScriptedOptions cache;
  cache.stored = {TaskOption(1, "x", 1)};
  EXPECT_FALSE(cache.isOption(1));
  EXPECT_EQ(0, cache.loads);
  TaskOptionList out;
  ASSERT_EQ(0, cache.getTaskOptions(out, nullptr));
  EXPECT_TRUE(cache.isOption(1));
  EXPECT_FALSE(cache.isOption(2));
}

TEST_F(TmTaskOptionsTest, WholeSetReadAppendsInCacheOrderKeepingWhatWasThere) {
  ScriptedOptions cache;
  cache.stored = {TaskOption(3, "c", 1), TaskOption(1, "a", 1), TaskOption(3, "d", 1)};
  TaskOptionList out;
  out.addToOptList(99, "old", 1);
  ASSERT_EQ(0, cache.getTaskOptions(out, nullptr));
  std::vector<std::string> values;
  for (const TaskOption* o : out.getList()) values.push_back(o->getValue());
  EXPECT_EQ((std::vector<std::string>{"old", "c", "a", "d"}), values);
}

// --- writes ------------------------------------------------------------------------

TEST_F(TmTaskOptionsTest, SetWritesOneRecordAndUpdatesTheCacheOnlyOnSuccess) {
  ScriptedOptions cache;
  cache.addToOptCache(4, "old", 7);
  cache.writeResult = 1703939;
  EXPECT_EQ(1703939, cache.setTaskOption(TaskOption(4, "new", 7), nullptr));
  EXPECT_EQ(1703939, cache.setTaskOption(TaskOption(5, "five", 7), nullptr));
  EXPECT_EQ((Records{{4, "old"}}), contents(cache));
  EXPECT_FALSE(cache.isOption(5));

  cache.writeResult = 0;
  int marker = 0;
  EXPECT_EQ(0, cache.setTaskOption(TaskOption(4, "new", 7), &marker));
  ASSERT_EQ(3u, cache.written.size());
  EXPECT_EQ((Records{{4, "new"}}), cache.written[2]);
  EXPECT_EQ(&marker, cache.events.back());
  EXPECT_EQ((Records{{4, "new"}}), contents(cache));
}

TEST_F(TmTaskOptionsTest, RemoveDropsEveryRecordOfTheIdOnlyOnSuccess) {
  ScriptedOptions cache;
  cache.addToOptCache(4, "a", 7);
  cache.addToOptCache(5, "b", 7);
  cache.addToOptCache(4, "c", 7);
  cache.writeResult = 77;
  EXPECT_EQ(77, cache.removeTaskOption(4ULL, nullptr));
  EXPECT_EQ(3u, contents(cache).size());

  cache.writeResult = 0;
  EXPECT_EQ(0, cache.removeTaskOption(4ULL, nullptr));
  ASSERT_EQ(2u, cache.removedIds.size());
  EXPECT_EQ((std::vector<unsigned long long>{4}), cache.removedIds[1]);
  EXPECT_EQ((Records{{5, "b"}}), contents(cache));
  EXPECT_FALSE(cache.isOption(4));

  EXPECT_EQ(0, cache.removeTaskOption(TaskOption(5, "ignored", 7), nullptr));
  ASSERT_EQ(1u, cache.removedRecords.size());
  EXPECT_EQ((std::vector<unsigned long long>{5}), cache.removedRecords[0]);
  EXPECT_TRUE(contents(cache).empty());
}

TEST_F(TmTaskOptionsTest, DeletingThroughACachedRecordIsSafe) {
  ScriptedOptions cache;
  cache.stored = {TaskOption(8, "x", 1), TaskOption(8, "y", 1), TaskOption(2, "z", 1)};
  int rc = 0;
  const TaskOption* cached = cache.getTaskOption(8ULL, rc, nullptr);
  ASSERT_NE(nullptr, cached);
  EXPECT_EQ(0, cache.delFromOptCache(*cached));
  EXPECT_EQ((Records{{2, "z"}}), contents(cache));
  EXPECT_FALSE(cache.isOption(8));
}

TEST_F(TmTaskOptionsTest, IndexFollowsDeletesAndLaterAppends) {
  ScriptedOptions cache;
  cache.addToOptCache(1, "a", 1);
  cache.addToOptCache(2, "b", 1);
  cache.delFromOptCache(1ULL);
  cache.addToOptCache(1, "c", 1);
  cache.addToOptCache(1, "d", 1);
  cache.setOptsInitialized();
  TaskOption probe(1, "", 0);
  ASSERT_EQ(0, cache.getTaskOption(probe, nullptr));
  EXPECT_STREQ("c", probe.getValue());
  cache.resetOptsInitialized();
  EXPECT_FALSE(cache.areOptsInitialized());
  EXPECT_EQ(3u, contents(cache).size()) << "the flag is independent of the cache";
  cache.clearOptions();
  EXPECT_FALSE(cache.isOption(2));
  cache.setOptsInitialized();
  EXPECT_EQ(YM_PROP_NOT_FOUND, cache.getTaskOption(probe, nullptr));
}

// --- copying -------------------------------------------------------------------------

TEST_F(TmTaskOptionsTest, CopiesAreDeepAndCarryTheFlag) {
  ScriptedOptions source;
  source.addToOptCache(1, "one", 1);
  source.setOptsInitialized();
  ScriptedOptions copy(source);
  EXPECT_TRUE(copy.areOptsInitialized());
  source.updateOptCache(TaskOption(1, "changed", 1));
  EXPECT_EQ((Records{{1, "one"}}), contents(copy));
  int rc = 0;
  EXPECT_STREQ("one", copy.getTaskOption(1ULL, rc, nullptr)->getValue()) << "the copy's index is its own";

  ScriptedOptions assigned;
  assigned.addToOptCache(7, "seven", 1);
  static_cast<TmTaskOptions&>(assigned) = source;
  EXPECT_TRUE(assigned.areOptsInitialized());
  EXPECT_EQ((Records{{1, "changed"}}), contents(assigned));
  EXPECT_FALSE(assigned.isOption(7));
  TmTaskOptions& self = assigned;
  self = assigned;
  EXPECT_EQ((Records{{1, "changed"}}), contents(assigned));
  EXPECT_TRUE(assigned.isOption(1));
}

// --- the shared default cache ------------------------------------------------------------

TEST_F(TmTaskOptionsTest, DefaultLookupFindsTheFirstRecordSharedBetweenObjects) {
  ScriptedOptions cache;
  cache.defaults = {TaskOption(11, "d1", 7), TaskOption(11, "d2", 7)};
  TaskOption probe(11, "", 0);
  EXPECT_EQ(0, cache.getDefaultOption(probe, nullptr));
  EXPECT_STREQ("d1", probe.getValue());
  int rc = -1;
  const TaskOption* shared = cache.getDefaultOption(11ULL, rc, nullptr);
  ASSERT_NE(nullptr, shared);
  EXPECT_EQ(0, rc);
  EXPECT_STREQ("d1", shared->getValue());
  TaskOption missing(12, "keep", 0);
  EXPECT_EQ(YM_PROP_NOT_FOUND, cache.getDefaultOption(missing, nullptr));
  EXPECT_STREQ("keep", missing.getValue());
  EXPECT_EQ(nullptr, cache.getDefaultOption(12ULL, rc, nullptr));
  EXPECT_EQ(YM_PROP_NOT_FOUND, rc);

  ScriptedOptions second;
  second.defaultLoads = 1;  // its own loader believes the defaults are there
  TaskOptionList out;
  ASSERT_EQ(0, second.getDefOptions(out, nullptr));
  ASSERT_EQ(2u, out.getList().size());
  EXPECT_STREQ("d1", out.getList()[0]->getValue());
  ScriptedOptions copy(cache);
  EXPECT_TRUE(contents(copy).empty()) << "a copy of a task's cache never carries the defaults";
}

TEST_F(TmTaskOptionsTest, FailedDefaultLoadIsReturned) {
  ScriptedOptions cache;
  cache.defaultsResult = 1703937;
  TaskOption probe(11, "keep", 0);
  EXPECT_EQ(1703937, cache.getDefaultOption(probe, nullptr));
  EXPECT_STREQ("keep", probe.getValue());
  int rc = 0;
  EXPECT_EQ(nullptr, cache.getDefaultOption(11ULL, rc, nullptr));
  EXPECT_EQ(1703937, rc);
  TaskOptionList out;
  EXPECT_EQ(1703937, cache.getDefOptions(out, nullptr));

  cache.defaultsResult = YM_DB_NODATA;
  EXPECT_EQ(YM_PROP_NOT_FOUND, cache.getDefaultOption(probe, nullptr));
  EXPECT_EQ(YM_DB_NODATA, cache.getDefOptions(out, nullptr));
  EXPECT_TRUE(out.getList().empty());
}

TEST_F(TmTaskOptionsTest, DefaultCacheEditsKeepTheFirstMatchRule) {
  ScriptedOptions cache;
  cache.addToDefCache(1, "a", 1);
  cache.addToDefCache(TaskOption(1, "b", 1));
  cache.addToDefCache(2, "c", 1);
  cache.updateDefCache(TaskOption(1, "z", 1));
  cache.updateDefCache(TaskOption(3, "new", 1));
  cache.delFromDefCache(TaskOption(2, "", 0));
  cache.defaultLoads = 1;
  TaskOptionList out;
  ASSERT_EQ(0, cache.copyDefCacheTo(out));
  Records r;
  for (const TaskOption* o : out.getList()) r.emplace_back(o->getOptionId(), o->getValue());
  EXPECT_EQ((Records{{1, "z"}, {1, "b"}, {3, "new"}}), r);

  cache.delFromDefCache(1ULL);
  int rc = 0;
  EXPECT_EQ(nullptr, cache.getDefaultOption(1ULL, rc, nullptr));
  EXPECT_EQ(YM_PROP_NOT_FOUND, rc);
  ASSERT_NE(nullptr, cache.getDefaultOption(3ULL, rc, nullptr));
}

TEST_F(TmTaskOptionsTest, DefaultLoadedFlagIsSharedAndReset) {
  ScriptedOptions cache;
  EXPECT_FALSE(cache.areDefaultInitialized());
  cache.setDefaultInitialized();
  ScriptedOptions other;
  EXPECT_TRUE(other.areDefaultInitialized());
  TmTaskOptions::resetDefaultsForTesting();
  EXPECT_FALSE(other.areDefaultInitialized());
}

// --- layout ---------------------------------------------------------------------------------

// The slot of a virtual member function in the primary table, read from the
// Itanium representation of a pointer to it (offset in bytes plus one).
template <class F>
std::ptrdiff_t slotOf(F f) {
  static_assert(sizeof(F) == 2 * sizeof(std::ptrdiff_t), "Itanium member pointer");
  std::ptrdiff_t raw[2];
  std::memcpy(raw, &f, sizeof raw);
  return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(TmTaskOptionsLayoutTest, VirtualOrderIsStable) {
  // Slots 0 and 1 are the two destructor entries.
  EXPECT_EQ(2, slotOf(&TmTaskOptions::operator=));
  EXPECT_EQ(3, slotOf(static_cast<int (TmTaskOptions::*)(const TaskOption&)>(&TmTaskOptions::delFromOptCache)));
  EXPECT_EQ(4, slotOf(static_cast<int (TmTaskOptions::*)(unsigned long long)>(&TmTaskOptions::delFromOptCache)));
  EXPECT_EQ(5, slotOf(&TmTaskOptions::updateOptCache));
  EXPECT_EQ(8, slotOf(&TmTaskOptions::updateDefCache));
  EXPECT_EQ(9, slotOf(&TmTaskOptions::isOption));
  EXPECT_EQ(12, slotOf(static_cast<int (TmTaskOptions::*)(TaskOption&, void*)>(&TmTaskOptions::getTaskOption)));
  EXPECT_EQ(15, slotOf(static_cast<int (TmTaskOptions::*)(TaskOption&, void*)>(&TmTaskOptions::getDefaultOption)));
  EXPECT_EQ(16, slotOf(static_cast<const TaskOption* (TmTaskOptions::*)(unsigned long long, int&, void*)>(
                    &TmTaskOptions::getTaskOption)));
  EXPECT_EQ(18, slotOf(static_cast<const TaskOption* (TmTaskOptions::*)(unsigned long long, int&, void*)>(
                    &TmTaskOptions::getDefaultOption)));
  EXPECT_EQ(19, slotOf(&TmTaskOptions::initOptions));
  EXPECT_EQ(21, slotOf(&TmTaskOptions::initDefaults));
  EXPECT_EQ(23, slotOf(static_cast<int (TmTaskOptions::*)(std::vector<unsigned long long>, void*)>(
                    &TmTaskOptions::removeOptions)));
}

}  // namespace
