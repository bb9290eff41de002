#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <list>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/YmErrors.h"
#include "task/EvTask.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

std::vector<std::string> texts(const TaskFileList& list) {
  std::vector<std::string> r;
  for (const TaskFile* f : list.getList()) r.push_back(f->getValue());
  return r;
}

// The value a read gives, prefixed with "error N" when it fails; the target
// starts out as `initial`, so a failure shows whether it was kept.
template <class T, class Read>
std::string readText(Read read, T initial = T()) {
  T value = initial;
  const int rc = read(value);
  std::ostringstream out;
  if (rc != 0) out << "error " << rc << " ";
  out << std::boolalpha << value;
  return out.str();
}

std::string intOf(EvTask& task, unsigned long long id, int initial = -999) {
  return readText<int>([&](int& v) { return task.getOptionInt(id, v, nullptr); }, initial);
}

// --- scalar reads -----------------------------------------------------------------------

TEST_F(EvTaskTest, FirstReadLoadsTheWholeSetOnce) {
  EvTask task(0x200000011ULL, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{5, 7, "42"}, {6, 1, "text"}, {5, 7, "43"}});
  int value = 0;
  int marker = 0;
  EXPECT_EQ(0, task.getOptionInt(5, value, &marker));
  EXPECT_EQ(42, value);
  EXPECT_EQ("text", readText<std::string>([&](std::string& v) { return task.getOptionString(6, v, nullptr); }));
  EXPECT_EQ((std::vector<uint32_t>{msg::kGetOptions}), fake->requestTypes());
  const RecordedRequest r = fake->last(msg::kGetOptions);
  EXPECT_EQ(0x200000011ULL, r.as<GenericTaskApiReq>().info.jobId);
  EXPECT_EQ(0, r.as<GenericTaskApiReq>().info.idKind);
}

TEST_F(EvTaskTest, MissingOptionFallsBackToTheFirstDefaultThenToTheKindsEmptyValue) {
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{1, 7, "1"}});
  respondOptions(*fake, msg::kGetDefaults, {{2, 7, "-12"}, {2, 7, "13"}, {1, 7, "100"}});
  EXPECT_EQ("0", intOf(task, 99));
  EXPECT_EQ("", readText<std::string>([&](std::string& v) { return task.getOptionString(99, v, nullptr); }, "old"));
  EXPECT_EQ("false", readText<bool>([&](bool& v) { return task.getOptionBool(99, v, nullptr); }, true));
  EXPECT_EQ("0", readText<unsigned long long>([&](unsigned long long& v) { return task.getOptionULongLong(99, v, nullptr); }, 5));
  EXPECT_EQ((std::vector<uint32_t>{msg::kGetOptions, msg::kGetDefaults}), fake->requestTypes());
  EXPECT_EQ("-12", intOf(task, 2));
  EXPECT_EQ("-12", readText<short>([&](short& v) { return task.getOptionShort(2, v, nullptr); }));
  EXPECT_EQ("1", intOf(task, 1)) << "the task's own value wins over a default";
}

TEST_F(EvTaskTest, FailedLoadsAreRetried) {
  EvTask task(17, 0, nullptr, false);
  fake->respondError(msg::kGetOptions, 0x4A0009, "refused");
  EXPECT_EQ("error " + std::to_string(0x4A0009) + " 7", intOf(task, 1, 7));
  EXPECT_EQ("refused", task.getErrorString());
  EXPECT_FALSE(task.areOptsInitialized());
  EXPECT_EQ(0u, countOf(*fake, msg::kGetDefaults)) << "no fall-back after a failed load";
  respondOptions(*fake, msg::kGetOptions, {{1, 7, "3"}});
  EXPECT_EQ("3", intOf(task, 1));
  EXPECT_EQ(2u, countOf(*fake, msg::kGetOptions));

  fake->respondError(msg::kGetDefaults, 0x1A0003, "lost");
  EXPECT_EQ("error " + std::to_string(0x1A0003) + " 7", intOf(task, 2, 7)) << "a failed default load is a failure";
  EXPECT_EQ("lost", task.getErrorString());
  respondOptions(*fake, msg::kGetDefaults, {{2, 7, "8"}});
  EXPECT_EQ("8", intOf(task, 2));
  EXPECT_EQ(2u, countOf(*fake, msg::kGetDefaults));
}

// Lock order, checked on every path that loads the defaults: while the
// service is asked, the default-load lock is held and the default-cache lock
// is free (so no caller took the load lock while holding the cache lock).
TEST_F(EvTaskTest, DefaultsAreFetchedUnderTheLoadLockWithTheCacheLockFree) {
  struct Probe : EvTask {
    static YmCriticalSection& loadLock() { return defaultOptionsCS; }
  };
  const auto freeElsewhere = [](YmCriticalSection& cs) {
    bool free = false;
    std::thread([&] {
      free = cs.tryEnter();
      if (free) cs.leave();
    }).join();
    return free ? "free" : "held";
  };
  std::vector<std::string> seen;
  fake->setHandler(msg::kGetDefaults, [&](const RecordedRequest&, Frame& response) {
    seen.push_back(std::string("load ") + freeElsewhere(Probe::loadLock()) + ", cache " +
                   freeElsewhere(TmTaskOptions::defaultCacheLockForTesting()));
    response = FakeAppMgr::encodeResponse(msg::kGetDefaults, GenericGetOptionsResp{});
  });
  EvTask task(0, 0, nullptr, false);
  TaskOptionList list;
  TaskOption probe(5, "", 0);
  int rc = 0;
  const std::vector<std::function<void()>> paths = {
      [&] { task.initDefaults(nullptr); },
      [&] { task.getDefaultOption(probe, nullptr); },
      [&] { task.getDefaultOption(5, rc, nullptr); },
      [&] { task.getDefOptions(list, nullptr); },
      [&] {
        int v = 0;
        EvTask withOptions(17, 0, nullptr, false);
        withOptions.getOptionInt(5, v, nullptr);
      },
  };
  for (const auto& path : paths) {
    TmTaskOptions::resetDefaultsForTesting();
    path();
  }
  EXPECT_EQ(std::vector<std::string>(paths.size(), "load held, cache free"), seen);
}

TEST_F(EvTaskTest, EveryKindReadsItsOwnConversion) {
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions,
                 {{1, 5, "-7"}, {2, 6, "65535"}, {3, 8, "4000000000"}, {4, 9, "-3"}, {5, 10, "4294967295"},
                  {6, 14, "-9000000000"}, {7, 15, "18000000000000000000"}, {8, 2, "false"}, {9, 2, "yes"}});
  EXPECT_EQ("-7", readText<short>([&](short& v) { return task.getOptionShort(1, v, nullptr); }));
  EXPECT_EQ("65535", readText<unsigned short>([&](unsigned short& v) { return task.getOptionUShort(2, v, nullptr); }));
  EXPECT_EQ("4000000000", readText<unsigned>([&](unsigned& v) { return task.getOptionUInt(3, v, nullptr); }));
  EXPECT_EQ("-3", readText<long>([&](long& v) { return task.getOptionLong(4, v, nullptr); }));
  EXPECT_EQ("4294967295", readText<unsigned long>([&](unsigned long& v) { return task.getOptionULong(5, v, nullptr); }));
  EXPECT_EQ("-9000000000", readText<long long>([&](long long& v) { return task.getOptionLongLong(6, v, nullptr); }));
  EXPECT_EQ("18000000000000000000",
            readText<unsigned long long>([&](unsigned long long& v) { return task.getOptionULongLong(7, v, nullptr); }));
  EXPECT_EQ("false", readText<bool>([&](bool& v) { return task.getOptionBool(8, v, nullptr); }, true));
  EXPECT_EQ("true", readText<bool>([&](bool& v) { return task.getOptionBool(9, v, nullptr); }));
}

// --- list reads ----------------------------------------------------------------------------

TEST_F(EvTaskTest, ListReadAppendsEveryValueInStoredOrder) {
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{3, 5, "1"}, {4, 5, "9"}, {3, 5, "2"}, {3, 5, "3"}});
  std::list<short> values = {-1};
  EXPECT_EQ(0, task.getOptionShort(3, values, nullptr));
  EXPECT_EQ((std::list<short>{-1, 1, 2, 3}), values);

  std::list<short> none = {5};
  EXPECT_EQ(0, task.getOptionShort(8, none, nullptr));
  EXPECT_EQ((std::list<short>{5}), none);
  std::list<std::string> strings;
  EXPECT_EQ(0, task.getOptionString(4, strings, nullptr));
  EXPECT_EQ((std::list<std::string>{"9"}), strings);
  EXPECT_EQ(1u, countOf(*fake, msg::kGetOptions));
  EXPECT_EQ(0u, countOf(*fake, msg::kGetDefaults)) << "list reads never fall back";

  EvTask failing(18, 0, nullptr, false);
  fake->respondError(msg::kGetOptions, 61, "down");
  std::list<int> kept = {1};
  EXPECT_EQ(61, failing.getOptionInt(3, kept, nullptr));
  EXPECT_EQ((std::list<int>{1}), kept);
}

// --- writes --------------------------------------------------------------------------------

TEST_F(EvTaskTest, ScalarWritesCarryTheTextAndTypeCode) {
  EvTask task(0x300000005ULL, 0, nullptr, false);
  struct Case {
    std::function<int()> write;
    std::string text;
    int type;
  };
  const std::vector<Case> cases = {
      {[&] { return task.setOptionBool(11, true, nullptr); }, "1", 2},
      {[&] { return task.setOptionBool(11, false, nullptr); }, "0", 2},
      {[&] { return task.setOptionLongLong(12, -1, nullptr); }, "-1", 14},
      {[&] { return task.setOptionString(13, "some text", nullptr); }, "some text", 1},
      {[&] { return task.setOptionShort(14, -2, nullptr); }, "-2", 5},
      {[&] { return task.setOptionUShort(15, 65535, nullptr); }, "65535", 6},
      {[&] { return task.setOptionInt(16, -3, nullptr); }, "-3", 7},
      {[&] { return task.setOptionUInt(17, 4000000000u, nullptr); }, "4000000000", 8},
      {[&] { return task.setOptionLong(18, -4, nullptr); }, "-4", 9},
      {[&] { return task.setOptionULong(19, 4294967295UL, nullptr); }, "4294967295", 10},
      {[&] { return task.setOptionULongLong(20, 18446744073709551615ULL, nullptr); }, "18446744073709551615", 15},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(0, c.write());
    const RecordedRequest r = fake->last(msg::kSetOptions);
    const std::vector<Opt> sent = writtenOptions(r);
    ASSERT_EQ(1u, sent.size()) << c.text;
    EXPECT_EQ(c.text, sent[0].value);
    EXPECT_EQ(c.type, sent[0].type) << c.text;
    EXPECT_EQ(0x300000005ULL, r.as<SetTaskOptionsReq>().info.jobId);
  }
  EXPECT_EQ(cases.size(), fake->requestCount());
}

TEST_F(EvTaskTest, ScalarWritesAndRemovalsKeepALoadedCacheOnlyOnSuccess) {
  usePlatformType("4");
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{3, 7, "1"}, {4, 7, "2"}});
  ASSERT_EQ("1", intOf(task, 3));
  fake->respondError(msg::kSetOptions, 0x4A0010, "read only");
  EXPECT_EQ(0x4A0010, task.setOptionInt(3, 9, nullptr));
  EXPECT_EQ("read only", task.getErrorString());
  EXPECT_EQ("1", intOf(task, 3));
  EXPECT_TRUE(task.areOptsInitialized());

  EXPECT_EQ(0, task.setOptionInt(3, 30, nullptr));
  EXPECT_EQ(0, task.setOptionInt(5, 50, nullptr));
  EXPECT_EQ("30", intOf(task, 3));
  EXPECT_EQ("50", intOf(task, 5));
  EXPECT_EQ("2", intOf(task, 4));
  EXPECT_EQ(1u, countOf(*fake, msg::kGetOptions));

  EXPECT_EQ(0, task.removeTaskOption(3ULL, nullptr));
  EXPECT_FALSE(task.isOption(3));
  const RecordedRequest r = fake->last(msg::kRemoveOptionIds);
  ASSERT_EQ(1u, r.as<RemoveTaskOptionsReq>().count);
  EXPECT_EQ(3u, r.as<RemoveTaskOptionsReq>().optionIds[0]);
}

TEST_F(EvTaskTest, WritesOnTheCentralPlatformReloadTheWholeSet) {
  usePlatformType("1");
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{3, 7, "1"}, {4, 7, "2"}});
  respondFiles(*fake, {{150001, 150001, "/a"}});
  TaskOptionList before;
  ASSERT_EQ(0, task.getOptions(before, nullptr));
  TaskFileList allFiles;
  ASSERT_EQ(0, task.getFiles(allFiles, 0, nullptr));
  TaskOptionList written;
  written.addToOptList(3, "10", 7);
  EXPECT_EQ(0, task.setOptions(written, nullptr));
  EXPECT_FALSE(task.areOptsInitialized());
  TaskFileList writtenFiles;
  writtenFiles.addToFileList(150001, "/b", 150001);
  EXPECT_EQ(0, task.setFiles(writtenFiles, nullptr));
  EXPECT_FALSE(task.areFilesInitialized());

  respondOptions(*fake, msg::kGetOptions, {{3, 7, "10"}, {4, 7, "2"}});
  respondFiles(*fake, {{150001, 150001, "/a"}, {150001, 150001, "/b"}});
  TaskOptionList after;
  ASSERT_EQ(0, task.getOptions(after, nullptr));
  EXPECT_EQ(2u, countOf(*fake, msg::kGetOptions));
  ASSERT_EQ(2u, after.getList().size()) << "each option once";
  EXPECT_STREQ("10", after.getList()[0]->getValue());
  EXPECT_STREQ("2", after.getList()[1]->getValue());
  TaskFileList afterFiles;
  ASSERT_EQ(0, task.getFiles(afterFiles, 0, nullptr));
  EXPECT_EQ((std::vector<std::string>{"/a", "/b"}), texts(afterFiles));
}

TEST_F(EvTaskTest, ListWritesSendOnlyTheNewValues) {
  EvTask task(17, 0, nullptr, false);
  EXPECT_EQ(0, task.setOptionInt(7, std::list<int>{1, -2, 3}, nullptr));
  std::vector<Opt> sent = writtenOptions(fake->last(msg::kSetOptions));
  ASSERT_EQ(3u, sent.size());
  EXPECT_EQ("-2", sent[1].value);
  EXPECT_EQ(7ULL, sent[2].id);
  EXPECT_EQ(7, sent[2].type);

  EXPECT_EQ(0, task.setOptionString(8, std::list<std::string>{"a", "b"}, nullptr));
  sent = writtenOptions(fake->last(msg::kSetOptions));
  ASSERT_EQ(2u, sent.size());
  EXPECT_EQ("b", sent[1].value);
  EXPECT_EQ(1, sent[1].type);

  fake->respondError(msg::kSetOptions, 71, "no");
  EXPECT_EQ(71, task.setOptionInt(7, std::list<int>(), nullptr));
  EXPECT_EQ(0u, fake->last(msg::kSetOptions).as<SetTaskOptionsReq>().count);
}

// A subclass that overrides setOptions sees the list writes of every kind
// but the string kind, which takes the non-virtual path.
TEST_F(EvTaskTest, ListWritesOfEveryKindButStringGoThroughTheVirtualSetOptions) {
  struct Watching : EvTask {
    Watching() : EvTask(17, 0, nullptr, false) {}
    int setOptions(TaskOptionList options, void* event) override {
      ++seen;
      return EvTask::setOptions(options, event);
    }
    int seen = 0;
  } task;
  const std::vector<std::pair<std::function<int()>, int>> writes = {
      {[&] { return task.setOptionString(1, std::list<std::string>{"a"}, nullptr); }, 0},
      {[&] { return task.setOptionShort(1, std::list<short>{1}, nullptr); }, 1},
      {[&] { return task.setOptionUShort(1, std::list<unsigned short>{1}, nullptr); }, 1},
      {[&] { return task.setOptionInt(1, std::list<int>{1}, nullptr); }, 1},
      {[&] { return task.setOptionUInt(1, std::list<unsigned int>{1}, nullptr); }, 1},
      {[&] { return task.setOptionLong(1, std::list<long>{1}, nullptr); }, 1},
      {[&] { return task.setOptionULong(1, std::list<unsigned long>{1}, nullptr); }, 1},
      {[&] { return task.setOptionLongLong(1, std::list<long long>{1}, nullptr); }, 1},
      {[&] { return task.setOptionULongLong(1, std::list<unsigned long long>{1}, nullptr); }, 1},
      {[&] { return task.setOptionBool(1, std::list<bool>{true}, nullptr); }, 1},
  };
  for (size_t i = 0; i < writes.size(); ++i) {
    task.seen = 0;
    EXPECT_EQ(0, writes[i].first()) << "kind " << i;
    EXPECT_EQ(writes[i].second, task.seen) << "kind " << i;
  }
  EXPECT_EQ(writes.size(), countOf(*fake, msg::kSetOptions));
}

TEST_F(EvTaskTest, MultiValueWriteToALoadedCacheReloadsIt) {
  usePlatformType("4");
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{7, 7, "1"}});
  std::list<int> values;
  ASSERT_EQ(0, task.getOptionInt(7, values, nullptr));
  ASSERT_EQ(0, task.setOptionInt(7, std::list<int>{2, 3}, nullptr));
  respondOptions(*fake, msg::kGetOptions, {{7, 7, "1"}, {7, 7, "2"}, {7, 7, "3"}});
  std::list<int> after;
  ASSERT_EQ(0, task.getOptionInt(7, after, nullptr));
  EXPECT_EQ((std::list<int>{1, 2, 3}), after);
  EXPECT_EQ(2u, countOf(*fake, msg::kGetOptions));
}

TEST_F(EvTaskTest, CallbacksFillTheCaches) {
  EvTask task(0, 0, nullptr, false);
  EXPECT_EQ(0, task.getOptionsCallback(3, "x", 1));
  EXPECT_EQ(0, task.getFilesCallback(150001, "/p", 150001));
  EXPECT_EQ(0, task.getDefaultsCallback(4, "d", 7));
  EXPECT_TRUE(task.isOption(3));
  EXPECT_TRUE(task.isFile("/p"));
  TaskOptionList defaults;
  EXPECT_EQ(0, task.copyDefCacheTo(defaults));
  ASSERT_EQ(1u, defaults.getList().size());
  EXPECT_EQ(7, defaults.getList()[0]->getType());
}

// --- files ---------------------------------------------------------------------------------------

TEST_F(EvTaskTest, FirstFileReadReturnsEveryEntryLaterOnlyTheType) {
  EvTask task(17, 0, nullptr, false);
  fake->respondError(msg::kGetFiles, 44, "no files");
  TaskFileList failed;
  EXPECT_EQ(44, task.getFiles(failed, 0, nullptr));
  EXPECT_TRUE(failed.getList().empty());
  EXPECT_FALSE(task.areFilesInitialized());
  EXPECT_EQ("no files", task.getErrorString());

  respondFiles(*fake, {{150001, 150001, "/a"}, {150002, 150002, "/b"}, {150002, 150002, "/c"}});
  TaskFileList first;
  EXPECT_EQ(0, task.getFiles(first, 150002, nullptr));
  EXPECT_EQ((std::vector<std::string>{"/a", "/b", "/c"}), texts(first));
  TaskFileList second;
  EXPECT_EQ(0, task.getFiles(second, 150002, nullptr));
  EXPECT_EQ((std::vector<std::string>{"/b", "/c"}), texts(second));
  EXPECT_EQ(2u, countOf(*fake, msg::kGetFiles));
  TaskFile probe(0, "/a", 0);
  EXPECT_EQ(0, task.getTaskFile(probe, nullptr));
}

// The file type handed to the service must not readdress the task's later
// requests: a task addressed by job keeps asking for its options by job.
TEST_F(EvTaskTest, FileTypeDoesNotReaddressLaterRequests) {
  EvTask task(0x400000001ULL, 0, nullptr, false);
  TaskFileList out;
  ASSERT_EQ(0, task.getFiles(out, 150002, nullptr));
  int value = 0;
  ASSERT_EQ(0, task.getOptionInt(1, value, nullptr));
  const RecordedRequest r = fake->last(msg::kGetOptions);
  EXPECT_EQ(0, r.as<GenericTaskApiReq>().info.idKind);
  EXPECT_EQ(0x400000001ULL, r.as<GenericTaskApiReq>().info.jobId);
}

}  // namespace
