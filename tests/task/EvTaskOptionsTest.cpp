#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include "platform/YmErrors.h"
#include "task/EvTask.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

std::string intOf(EvTask& task, unsigned long long id, int initial = -999) {
  int value = initial;
  const int rc = task.getOptionInt(id, value, nullptr);
  return (rc != 0 ? "error " + std::to_string(rc) + " " : "") + std::to_string(value);
}

// Counts the writes that reach the virtual setOptions.
struct Watching : EvTask {
  Watching() : EvTask(0x300000005ULL, 0, nullptr, false) {}
  int setOptions(TaskOptionList options, void* event) override {
    ++seen;
    return EvTask::setOptions(options, event);
  }
  int seen = 0;
};

template <class T> using ScalarGet = int (EvTask::*)(unsigned long long, T&, void*);
template <class T> using ScalarSet = int (EvTask::*)(unsigned long long, T, void*);
template <class T> using ListGet = int (EvTask::*)(unsigned long long, std::list<T>&, void*);
template <class T> using ListSet = int (EvTask::*)(unsigned long long, std::list<T>, void*);

// Every typed accessor of one kind: the scalar write sends the text and type
// code, the list write sends the new values (through the virtual setOptions
// for every kind but the string kind), both addressed as the task; the
// scalar read converts the stored text and the list read appends every
// record of the id, in stored order, without a default fall-back.
template <class T>
void checkKind(FakeAppMgr& fake, const char* name, int type, T value, const std::string& text, bool throughVirtual,
               ScalarGet<T> get, ScalarSet<T> set, ListGet<T> getList, ListSet<T> setList) {
  SCOPED_TRACE(name);
  fake.clearRequests();
  Watching task;
  ASSERT_EQ(0, (task.*set)(11, value, nullptr));
  task.seen = 0;
  ASSERT_EQ(0, (task.*setList)(12, std::list<T>{value, value}, nullptr));
  EXPECT_EQ(throughVirtual ? 1 : 0, task.seen);
  std::string sent;
  for (const RecordedRequest& r : fake.requests()) {
    sent += std::to_string(r.as<SetTaskOptionsReq>().info.jobId) + ":";
    for (const Opt& o : writtenOptions(r)) sent += joined(o.id) + "[" + joined(o.type) + ":" + o.value + "]";
  }
  const std::string one = "[" + std::to_string(type) + ":" + text + "]";
  EXPECT_EQ("12884901893:11" + one + "12884901893:12" + one + "12" + one, sent);
  EvTask reader(17, 0, nullptr, false);
  respondOptions(fake, msg::kGetOptions, {{12, type, text}, {11, type, text}, {13, type, "0"}, {12, type, text}});
  T got{};
  std::list<T> values = {value}, none;
  EXPECT_EQ(0, (reader.*get)(11, got, nullptr));
  EXPECT_EQ(0, (reader.*getList)(12, values, nullptr));
  EXPECT_EQ(0, (reader.*getList)(99, none, nullptr));
  EXPECT_EQ(value, got);
  EXPECT_EQ(std::list<T>(3, value), values);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(0u, countOf(fake, msg::kGetDefaults)) << "list reads never fall back";
}
#define KIND(Name, T, type, value, text, virt)                                                                   \
  checkKind<T>(*fake, #Name, type, value, text, virt, static_cast<ScalarGet<T>>(&EvTask::getOption##Name),      \
               static_cast<ScalarSet<T>>(&EvTask::setOption##Name), static_cast<ListGet<T>>(&EvTask::getOption##Name), \
               static_cast<ListSet<T>>(&EvTask::setOption##Name))

TEST_F(EvTaskTest, EveryKindWritesAndReadsItsTypeCodeAndText) {
  KIND(String, std::string, 1, "some text", "some text", false);
  KIND(Bool, bool, 2, true, "1", true);
  KIND(Short, short, 5, -2, "-2", true);
  KIND(UShort, unsigned short, 6, 65535, "65535", true);
  KIND(Int, int, 7, -3, "-3", true);
  KIND(UInt, unsigned int, 8, 4000000000u, "4000000000", true);
  KIND(Long, long, 9, -4, "-4", true);
  KIND(ULong, unsigned long, 10, 4294967295UL, "4294967295", true);
  KIND(LongLong, long long, 14, -9000000000LL, "-9000000000", true);
  KIND(ULongLong, unsigned long long, 15, 18446744073709551615ULL, "18446744073709551615", true);
}

// The first reads load the whole option and file sets once, addressed as the
// task; the file type handed to the service does not readdress the later
// requests. The first file read returns every entry, later ones only the type.
TEST_F(EvTaskTest, FirstReadsLoadTheWholeSetsOnceAddressedAsTheTask) {
  EvTask task(0x200000011ULL, 0, nullptr, false);
  respondFiles(*fake, {{150001, 150001, "/a"}, {150002, 150002, "/b"}, {150002, 150002, "/c"}});
  std::string files;
  for (int i = 0; i < 2; ++i) {
    TaskFileList out;
    EXPECT_EQ(0, task.getFiles(out, 150002, nullptr));
    for (const TaskFile* f : out.getList()) files += f->getValue();
    files += "|";
  }
  EXPECT_EQ("/a/b/c|/b/c|", files);
  respondOptions(*fake, msg::kGetOptions, {{5, 7, "42"}, {6, 1, "text"}, {5, 7, "43"}});
  EXPECT_EQ("42", intOf(task, 5));
  EXPECT_EQ((std::vector<uint32_t>{msg::kGetFiles, msg::kGetOptions}), fake->requestTypes());
  const RecordedRequest read = fake->last(msg::kGetOptions);
  EXPECT_EQ("8589934609 0", joined(read.as<GenericTaskApiReq>().info.jobId, read.as<GenericTaskApiReq>().info.idKind));
}

TEST_F(EvTaskTest, MissingOptionFallsBackToTheFirstDefaultThenToTheKindsEmptyValue) {
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{1, 7, "1"}});
  respondOptions(*fake, msg::kGetDefaults, {{2, 7, "-12"}, {2, 7, "13"}, {1, 7, "100"}});
  EXPECT_EQ("0", intOf(task, 99));
  std::string text = "old";
  EXPECT_EQ(0, task.getOptionString(99, text, nullptr));
  EXPECT_EQ("", text);
  EXPECT_EQ("-12", intOf(task, 2));
  EXPECT_EQ("1", intOf(task, 1)) << "the task's own value wins over a default";
  EXPECT_EQ((std::vector<uint32_t>{msg::kGetOptions, msg::kGetDefaults}), fake->requestTypes());
}

// A failed load is a failure, not a missing option, and is tried again.
TEST_F(EvTaskTest, FailedLoadsAreFailuresAndAreRetried) {
  EvTask task(17, 0, nullptr, false);
  fake->respondError(msg::kGetOptions, 0x4A0009, "refused");
  EXPECT_EQ("error " + std::to_string(0x4A0009) + " 7", intOf(task, 1, 7));
  EXPECT_EQ(0u, countOf(*fake, msg::kGetDefaults)) << "no fall-back after a failed load";
  fake->respondError(msg::kGetDefaults, 0x1A0003, "lost");
  EXPECT_EQ("error " + std::to_string(0x1A0003) + " 7", intOf(task, 2, 7));
  respondOptions(*fake, msg::kGetDefaults, {{2, 7, "8"}});
  EXPECT_EQ("8", intOf(task, 2));
  EXPECT_EQ("2 2", joined(countOf(*fake, msg::kGetOptions), countOf(*fake, msg::kGetDefaults)));
}

// A read of default option 2 through each entry point that loads the
// defaults, as "result value": the typed getter's fall-back, the record form
// and the pointer form of getDefaultOption, and the whole-set copy.
const std::vector<std::function<std::string(EvTask&)>> kDefaultReaders = {
    [](EvTask& t) {
      int v = 0;
      const int rc = t.getOptionInt(2, v, nullptr);
      return joined(rc, v);
    },
    [](EvTask& t) {
      TaskOption o(2, "", 0);
      const int rc = t.getDefaultOption(o, nullptr);
      return joined(rc, o.getValue());
    },
    [](EvTask& t) {
      int rc = 0;
      const TaskOption* o = t.getDefaultOption(2, rc, nullptr);
      return joined(rc, o != nullptr ? o->getValue() : "none");
    },
    [](EvTask& t) {
      TaskOptionList all;
      const int rc = t.getDefOptions(all, nullptr);
      return joined(rc, all.getList().size() == 1 ? all.getList().front()->getValue() : "not one");
    },
};

// Lock order, checked on every path that loads the defaults: while the
// service is asked, the default-load lock is held and the default-cache lock
// is free (so no caller took the load lock while holding the cache lock).
TEST_F(EvTaskTest, DefaultsAreFetchedUnderTheLoadLockWithTheCacheLockFree) {
  struct Probe : EvTask {
    static YmCriticalSection& loadLock() { return defaultOptionsCS; }
  };
  const auto freeElsewhere = [](YmCriticalSection& cs) {
    bool free = false;
    std::thread([&] { if ((free = cs.tryEnter())) cs.leave(); }).join();
    return free ? "free" : "held";
  };
  std::vector<std::string> seen;
  fake->setHandler(msg::kGetDefaults, [&](const RecordedRequest&, Frame& response) {
    seen.push_back(std::string("load ") + freeElsewhere(Probe::loadLock()) + ", cache " +
                   freeElsewhere(TmTaskOptions::defaultCacheLockForTesting()));
    response = optionsFrame(msg::kGetDefaults, {});
  });
  for (const auto& read : kDefaultReaders) {
    TmTaskOptions::resetDefaultsForTesting();
    EvTask task(17, 0, nullptr, false);
    read(task);
  }
  EXPECT_EQ(std::vector<std::string>(kDefaultReaders.size(), "load held, cache free"), seen);
}

// After a successful write the central server platform (bit 0) reloads the
// options and files on the next read; elsewhere a loaded cache takes a
// single-valued write in place and reloads after several values of one id.
TEST_F(EvTaskTest, WritesUpdateTheLoadedCacheInPlaceOrReloadIt) {
  struct Case { const char* platform; bool several, reload; };
  for (const Case& c : {Case{"4", false, false}, Case{"4", true, true}, Case{"1", false, true}}) {
    SCOPED_TRACE(std::string(c.platform) + (c.several ? " several" : " one"));
    usePlatformType(c.platform);
    fake->clearRequests();
    EvTask task(17, 0, nullptr, false);
    respondOptions(*fake, msg::kGetOptions, {{3, 7, "1"}, {4, 7, "2"}});
    respondFiles(*fake, {{150001, 150001, "/a"}});
    TaskFileList files, written, after;
    ASSERT_EQ(0, task.getFiles(files, 0, nullptr));
    ASSERT_EQ("1", intOf(task, 3));
    written.addToFileList(150001, "/b", 150001);
    ASSERT_EQ(0, task.setFiles(written, nullptr));
    ASSERT_EQ(0, c.several ? task.setOptionInt(3, std::list<int>{30, 31}, nullptr) : task.setOptionInt(3, 30, nullptr));
    if (c.reload) respondOptions(*fake, msg::kGetOptions, {{3, 7, "30"}, {3, 7, "31"}});
    if (c.platform[0] == '1') respondFiles(*fake, {{150001, 150001, "/c"}});
    std::list<int> values;
    ASSERT_EQ(0, task.getOptionInt(3, values, nullptr));
    ASSERT_EQ(0, task.getFiles(after, 0, nullptr));
    std::string got;
    for (int v : values) got += std::to_string(v) + " ";
    for (const TaskFile* f : after.getList()) got += f->getValue();
    EXPECT_EQ(std::string(c.reload ? "30 31 " : "30 ") + (c.platform[0] == '1' ? "/c" : "/a/b"), got);
    EXPECT_EQ(c.reload ? 2u : 1u, countOf(*fake, msg::kGetOptions));
  }
}

// The caches on their own: the record form copies the first record's value
// and keeps the caller's type; a failed removal keeps the option; a load of
// "no data" still counts for lookups; file texts are compared whole.
TEST_F(EvTaskTest, CacheLookupsRemovalsAndWholeTexts) {
  usePlatformType("4");
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{9, 1, "a"}, {5, 1, "b"}, {9, 1, "c"}});
  LogCapture cap;
  TaskOption probe(9, "keep", 0);
  EXPECT_EQ(0, task.getTaskOption(probe, nullptr));
  EXPECT_EQ("a/0", std::string(probe.getValue()) + "/" + std::to_string(probe.getType()));
  EXPECT_TRUE(cap.contains("TmTaskOptions::getTaskOption", "Found optionId[9], value [a], type[1]"));
  fake->respondError(msg::kRemoveOptions, 77, "refused");
  EXPECT_EQ(77, task.removeTaskOption(TaskOption(5, "ignored", 7), nullptr));
  EXPECT_TRUE(task.isOption(5));
  EXPECT_EQ(0, task.removeTaskOption(TaskOption(9, "ignored", 7), nullptr));
  EXPECT_FALSE(task.isOption(9)) << "every record of the id goes";
  EXPECT_EQ(0, task.removeTaskOption(5ULL, nullptr));
  EXPECT_FALSE(task.isOption(5));

  EvTask empty(18, 0, nullptr, false);
  fake->respondError(msg::kGetOptions, YM_DB_NODATA, "none");
  int rc = 0;
  EXPECT_EQ(nullptr, empty.getTaskOption(9ULL, rc, nullptr));
  EXPECT_EQ(YM_PROP_NOT_FOUND, rc);
  const std::string withZero("/b\0x", 4);
  empty.getFilesCallback(5, withZero, 5);
  empty.delFromFileCache(std::string("/b"));
  EXPECT_TRUE(empty.isFile(withZero));
  EXPECT_FALSE(empty.isFile("/b"));
}

// --- concurrent default readers ----------------------------------------------------------------

// Concurrent readers of the shared default options through every entry
// point. They take the default-load lock and the default-cache lock on
// different paths; the thread checkers (scripts/threadcheck.sh) run this test
// to prove the two are always taken in the same order and that the shared
// cache has no unguarded access.
TEST_F(EvTaskTest, MixedDefaultReadersShareOneLoad) {
  std::atomic<int> served(0);
  fake->setHandler(msg::kGetDefaults, [&](const RecordedRequest&, Frame& response) {
    ++served;
    response = optionsFrame(msg::kGetDefaults, {{2, 7, "31"}});
  });
  const int kThreads = 8;
  std::atomic<int> ready(0);
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      EvTask task(0, 0, nullptr, false);
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      results[t] = kDefaultReaders[t % kDefaultReaders.size()](task);
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(1, served.load());
  EXPECT_EQ(std::vector<std::string>(kThreads, "0 31"), results);
}

// --- the option index -----------------------------------------------------------------------------

// The option cache's index against the records it describes: ids that share
// a home slot (multiples of the index's table sizes, ids that differ above 32
// bits only, runs that wrap around the table's end) stay findable through
// deletions, updates and regrowth.
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
