#include "task/TmTaskOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/YmErrors.h"
#include "support/AbiSlots.h"
#include "support/TestSupport.h"

namespace {

using evtask::test::slotOf;

using Calls = std::vector<std::string>;

// "id=value" of every record, space-separated.
std::string text(const TaskOptionList& list) {
  std::string r;
  for (const TaskOption* o : list.getList()) r += (r.empty() ? "" : " ") + std::to_string(o->getOptionId()) + "=" + o->getValue();
  return r;
}

// A cache whose loads and writes are scripted and whose writes are recorded
// as "set ...", "remove ids ..." and "remove records ...".
class ScriptedOptions : public TmTaskOptions {
 public:
  std::vector<TaskOption> stored, defaults;  // what a load and a default load deliver
  int loadResult = 0, defaultsResult = 0, writeResult = 0, loads = 0, defaultLoads = 0;
  std::vector<void*> events;
  Calls calls;

  int initOptions(void* event) override {
    events.push_back(event);
    if (areOptsInitialized()) return 0;
    ++loads;
    clearOptions();
    for (const TaskOption& o : stored) addToOptCache(o);
    if (loadResult == 0) setOptsInitialized();
    return loadResult;
  }
  int initDefaults(void* event) override {
    events.push_back(event);
    if (defaultLoads > 0 && defaultsResult == 0) return 0;
    ++defaultLoads;
    clearDefaults();
    for (const TaskOption& o : defaults) addToDefCache(o);
    return defaultsResult;
  }
  int setOptions(TaskOptionList options, void* event) override { return record("set " + text(options), event); }
  int removeOptions(TaskOptionList options, void* event) override {
    return record("remove records " + text(options), event);
  }
  int removeOptions(std::vector<unsigned long long> ids, void* event) override {
    std::string r = "remove ids";
    for (unsigned long long id : ids) r += " " + std::to_string(id);
    return record(r, event);
  }
  int record(const std::string& call, void* event) {
    events.push_back(event);
    calls.push_back(call);
    return writeResult;
  }
};

std::string contents(TmTaskOptions& cache) {
  TaskOptionList out;
  cache.copyCacheTo(out);
  return text(out);
}

// The value found through the pointer form, or "error N".
std::string found(TmTaskOptions& cache, unsigned long long id, bool defaults = false) {
  int rc = -1;
  const TaskOption* o = defaults ? cache.getDefaultOption(id, rc, nullptr) : cache.getTaskOption(id, rc, nullptr);
  if ((o != nullptr) != (rc == 0)) return "result " + std::to_string(rc) + " disagrees with the pointer";
  return o != nullptr ? o->getValue() : "error " + std::to_string(rc);
}

// The value copied through the record form into a probe holding "keep",
// prefixed with "error N" on failure.
std::string copied(TmTaskOptions& cache, unsigned long long id, bool defaults = false) {
  TaskOption probe(id, "keep", 0);
  const int rc = defaults ? cache.getDefaultOption(probe, nullptr) : cache.getTaskOption(probe, nullptr);
  return (rc != 0 ? "error " + std::to_string(rc) + " " : "") + probe.getValue();
}

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
  EXPECT_EQ("five", copied(cache, 5));
  EXPECT_EQ(1, cache.loads);
  ASSERT_FALSE(cache.events.empty());
  EXPECT_EQ(&marker, cache.events.front());
}

TEST_F(TmTaskOptionsTest, LoadResultsDecideLookupsAndWholeSetReads) {
  EXPECT_EQ(524289, YM_PROP_NOT_FOUND);
  const std::string notFound = "error " + std::to_string(YM_PROP_NOT_FOUND);
  const struct {
    int load;
    std::string present, missing;  // lookups of the stored id 3 and of id 4
    int wholeRc;
    std::string whole;
  } cases[] = {{0, "three", notFound, 0, "3=three"},
               {YM_DB_NODATA, "three", notFound, YM_DB_NODATA, ""},
               {1703938, "error 1703938", "error 1703938", 1703938, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE("load result " + std::to_string(c.load));
    ScriptedOptions cache;
    cache.loadResult = c.load;
    cache.stored = {TaskOption(3, "three", 1)};
    EXPECT_EQ(c.present, found(cache, 3));
    EXPECT_EQ(c.present == "three" ? c.present : c.present + " keep", copied(cache, 3));
    EXPECT_EQ(c.missing, found(cache, 4));
    EXPECT_EQ(c.missing + " keep", copied(cache, 4));
    TaskOptionList out;
    EXPECT_EQ(c.wholeRc, cache.getTaskOptions(out, nullptr));
    EXPECT_EQ(c.whole, text(out));
    EXPECT_EQ(c.load == 0, cache.areOptsInitialized());
  }
}

TEST_F(TmTaskOptionsTest, FirstOfSeveralRecordsWinsAndOnlyItIsUpdatedInPlace) {
  ScriptedOptions cache;
  cache.stored = {TaskOption(9, "a", 1), TaskOption(9, "b", 1)};
  int rc = -1;
  const TaskOption* first = cache.getTaskOption(9ULL, rc, nullptr);
  ASSERT_NE(nullptr, first);
  EXPECT_STREQ("a", first->getValue());
  EXPECT_EQ(0, cache.updateOptCache(TaskOption(9, "c", 7)));
  EXPECT_EQ("9=c 9=b", contents(cache));
  EXPECT_EQ(first, cache.getTaskOption(9ULL, rc, nullptr));
  EXPECT_EQ(1, first->getType()) << "the type of the updated record stays";
  cache.updateOptCache(TaskOption(2, "two", 7));
  EXPECT_EQ("9=c 9=b 2=two", contents(cache)) << "an unknown id is appended";
}

TEST_F(TmTaskOptionsTest, WholeSetReadAppendsInCacheOrderAndIsOptionLoadsNothing) {
  ScriptedOptions cache;
  cache.stored = {TaskOption(3, "c", 1), TaskOption(1, "a", 1), TaskOption(3, "d", 1)};
  EXPECT_FALSE(cache.isOption(1));
  EXPECT_EQ(0, cache.loads);
  TaskOptionList out;
  out.addToOptList(99, "old", 1);
  ASSERT_EQ(0, cache.getTaskOptions(out, nullptr));
  EXPECT_EQ("99=old 3=c 1=a 3=d", text(out));
  EXPECT_TRUE(cache.isOption(1));
  EXPECT_FALSE(cache.isOption(2));
}

// --- writes ------------------------------------------------------------------------

TEST_F(TmTaskOptionsTest, SetWritesOneRecordAndUpdatesTheCacheOnlyOnSuccess) {
  ScriptedOptions cache;
  cache.addToOptCache(4, "old", 7);
  cache.writeResult = 1703939;
  EXPECT_EQ(1703939, cache.setTaskOption(TaskOption(4, "new", 7), nullptr));
  EXPECT_EQ(1703939, cache.setTaskOption(TaskOption(5, "five", 7), nullptr));
  EXPECT_EQ("4=old", contents(cache));
  EXPECT_FALSE(cache.isOption(5));
  cache.writeResult = 0;
  int marker = 0;
  EXPECT_EQ(0, cache.setTaskOption(TaskOption(4, "new", 7), &marker));
  EXPECT_EQ((Calls{"set 4=new", "set 5=five", "set 4=new"}), cache.calls);
  EXPECT_EQ(&marker, cache.events.back());
  EXPECT_EQ("4=new", contents(cache));
}

TEST_F(TmTaskOptionsTest, RemoveDropsEveryRecordOfTheIdOnlyOnSuccess) {
  ScriptedOptions cache;
  cache.addToOptCache(4, "a", 7);
  cache.addToOptCache(5, "b", 7);
  cache.addToOptCache(4, "c", 7);
  cache.writeResult = 77;
  EXPECT_EQ(77, cache.removeTaskOption(4ULL, nullptr));
  EXPECT_EQ("4=a 5=b 4=c", contents(cache));
  cache.writeResult = 0;
  EXPECT_EQ(0, cache.removeTaskOption(4ULL, nullptr));
  EXPECT_EQ("5=b", contents(cache));
  EXPECT_FALSE(cache.isOption(4));
  cache.writeResult = 78;
  EXPECT_EQ(78, cache.removeTaskOption(TaskOption(5, "ignored", 7), nullptr));
  EXPECT_EQ("5=b", contents(cache));
  cache.writeResult = 0;
  EXPECT_EQ(0, cache.removeTaskOption(TaskOption(5, "ignored", 7), nullptr));
  EXPECT_EQ("", contents(cache));
  EXPECT_EQ((Calls{"remove ids 4", "remove ids 4", "remove records 5=ignored", "remove records 5=ignored"}),
            cache.calls);
}

TEST_F(TmTaskOptionsTest, IndexFollowsDeletesThroughACachedRecordAndLaterAppends) {
  ScriptedOptions cache;
  cache.stored = {TaskOption(8, "x", 1), TaskOption(1, "a", 1), TaskOption(8, "y", 1), TaskOption(2, "z", 1)};
  int rc = 0;
  const TaskOption* cached = cache.getTaskOption(8ULL, rc, nullptr);
  ASSERT_NE(nullptr, cached);
  EXPECT_EQ(0, cache.delFromOptCache(*cached));
  EXPECT_FALSE(cache.isOption(8));
  cache.delFromOptCache(1ULL);
  cache.addToOptCache(1, "c", 1);
  cache.addToOptCache(1, "d", 1);
  EXPECT_EQ("2=z 1=c 1=d", contents(cache));
  EXPECT_EQ("c", copied(cache, 1));
  cache.resetOptsInitialized();
  EXPECT_FALSE(cache.areOptsInitialized());
  EXPECT_EQ("2=z 1=c 1=d", contents(cache)) << "the flag is independent of the cache";
  cache.clearOptions();
  cache.setOptsInitialized();
  EXPECT_FALSE(cache.isOption(2));
  EXPECT_EQ("error " + std::to_string(YM_PROP_NOT_FOUND) + " keep", copied(cache, 1));
}

TEST_F(TmTaskOptionsTest, CopiesAreDeepAndCarryTheFlag) {
  ScriptedOptions source;
  source.addToOptCache(1, "one", 1);
  source.setOptsInitialized();
  ScriptedOptions copy(source);
  EXPECT_TRUE(copy.areOptsInitialized());
  source.updateOptCache(TaskOption(1, "changed", 1));
  EXPECT_EQ("1=one", contents(copy));
  EXPECT_EQ("one", found(copy, 1)) << "the copy's index is its own";

  ScriptedOptions assigned;
  assigned.addToOptCache(7, "seven", 1);
  static_cast<TmTaskOptions&>(assigned) = source;
  EXPECT_TRUE(assigned.areOptsInitialized());
  EXPECT_FALSE(assigned.isOption(7));
  TmTaskOptions& self = assigned;
  self = assigned;
  EXPECT_EQ("1=changed", contents(assigned));
  EXPECT_EQ("changed", found(assigned, 1));
}

// --- the shared default cache ------------------------------------------------------------

TEST_F(TmTaskOptionsTest, DefaultLookupFindsTheFirstRecordSharedBetweenObjects) {
  ScriptedOptions cache;
  cache.defaults = {TaskOption(11, "d1", 7), TaskOption(11, "d2", 7)};
  const std::string notFound = "error " + std::to_string(YM_PROP_NOT_FOUND);
  EXPECT_EQ("d1", copied(cache, 11, true));
  EXPECT_EQ("d1", found(cache, 11, true));
  EXPECT_EQ(notFound + " keep", copied(cache, 12, true));
  EXPECT_EQ(notFound, found(cache, 12, true));

  ScriptedOptions second;
  second.defaultLoads = 1;  // its own loader believes the defaults are there
  TaskOptionList out;
  ASSERT_EQ(0, second.getDefOptions(out, nullptr));
  EXPECT_EQ("11=d1 11=d2", text(out));
  ScriptedOptions copy(cache);
  EXPECT_EQ("", contents(copy)) << "a copy of a task's cache never carries the defaults";
}

TEST_F(TmTaskOptionsTest, FailedDefaultLoadIsReturned) {
  ScriptedOptions cache;
  cache.defaultsResult = 1703937;
  EXPECT_EQ("error 1703937 keep", copied(cache, 11, true));
  EXPECT_EQ("error 1703937", found(cache, 11, true));
  TaskOptionList out;
  EXPECT_EQ(1703937, cache.getDefOptions(out, nullptr));
  cache.defaultsResult = YM_DB_NODATA;
  EXPECT_EQ("error " + std::to_string(YM_PROP_NOT_FOUND) + " keep", copied(cache, 11, true));
  EXPECT_EQ(YM_DB_NODATA, cache.getDefOptions(out, nullptr));
  EXPECT_EQ("", text(out));
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
  EXPECT_EQ("1=z 1=b 3=new", text(out));
  cache.delFromDefCache(1ULL);
  EXPECT_EQ("error " + std::to_string(YM_PROP_NOT_FOUND), found(cache, 1, true));
  EXPECT_EQ("new", found(cache, 3, true));
}

// --- layout ---------------------------------------------------------------------------------

TEST(TmTaskOptionsLayoutTest, VirtualOrderIsStable) {
  using T = TmTaskOptions;
  // Slots 0 and 1 are the two destructor entries.
  EXPECT_EQ(2, slotOf(&T::operator=));
  EXPECT_EQ(3, slotOf(static_cast<int (T::*)(const TaskOption&)>(&T::delFromOptCache)));
  EXPECT_EQ(4, slotOf(static_cast<int (T::*)(unsigned long long)>(&T::delFromOptCache)));
  EXPECT_EQ(5, slotOf(&T::updateOptCache));
  EXPECT_EQ(8, slotOf(&T::updateDefCache));
  EXPECT_EQ(9, slotOf(&T::isOption));
  EXPECT_EQ(12, slotOf(static_cast<int (T::*)(TaskOption&, void*)>(&T::getTaskOption)));
  EXPECT_EQ(15, slotOf(static_cast<int (T::*)(TaskOption&, void*)>(&T::getDefaultOption)));
  EXPECT_EQ(16, slotOf(static_cast<const TaskOption* (T::*)(unsigned long long, int&, void*)>(&T::getTaskOption)));
  EXPECT_EQ(18, slotOf(static_cast<const TaskOption* (T::*)(unsigned long long, int&, void*)>(&T::getDefaultOption)));
  EXPECT_EQ(19, slotOf(&T::initOptions));
  EXPECT_EQ(21, slotOf(&T::initDefaults));
  EXPECT_EQ(23, slotOf(static_cast<int (T::*)(std::vector<unsigned long long>, void*)>(&T::removeOptions)));
}

}  // namespace
