// Schedule builders and immediate jobs: the values each puts into its
// task-creation request, read back from the sent XML by tag.
#include <gtest/gtest.h>

#include <ctime>
#include <functional>

#include "platform/YMPlatformInfo.h"
#include "schedule/ScheduleRecords.h"
#include "schedule/XmlMessages.h"
#include "support/FakeXml.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

const char kCreated[] = "<m f=\"12\" c=\"100\"><i t=\"1\">31</i></m>";

// Where a check starts: the task element, the first association, or the
// first or second subtask.
enum Where { kTask, kAssoc, kSub0, kSub1 };

struct Check {
  Where where;
  std::vector<uint16_t> path;
  uint16_t tag;
  long long value;  // kAbsent: the field must not be there
};

const CNMessageBase* walk(const CNMessageBase* m, const std::vector<uint16_t>& path) {
  for (uint16_t t : path) m = m != nullptr ? m->getObjectAccessor(t, 0) : nullptr;
  return m;
}

struct BuilderCase {
  const char* name;
  std::function<long long(EvTask&)> run;  // the builder's result, widened
  long long result;
  int taskType, subTaskType, operationType;
  std::vector<Check> checks;
};

class BuildersTest : public EvTaskTest {
 protected:
  void SetUp() override {
    EvTaskTest::SetUp();
    YmClock::set(&clock);
  }
  void TearDown() override {
    YmClock::set(nullptr);
    EvTaskTest::TearDown();
  }
  void runCase(const BuilderCase& c) {
    SCOPED_TRACE(c.name);
    fake->clearRequests();
    respondCreate(*fake, msg::kCreateTask, kCreated, {70});
    EvTask task(0, 0, nullptr, false);
    ASSERT_EQ(c.result, c.run(task));
    const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).at(0));
    const auto assocs = list(req, {2}, 3);
    const auto subs = list(req, {2}, 5);
    EXPECT_EQ(c.taskType, num(req, {2, 1}, 8));
    ASSERT_FALSE(subs.empty());
    EXPECT_EQ(c.subTaskType, num(subs[0], {1}, 6));
    EXPECT_EQ(c.operationType, num(subs[0], {1}, 7));
    for (const Check& k : c.checks) {
      const CNMessageBase* base = k.where == kTask    ? at(req, {2, 1})
                                  : k.where == kAssoc ? (assocs.empty() ? nullptr : &assocs[0])
                                  : k.where == kSub0  ? &subs[0]
                                                      : (subs.size() > 1 ? &subs[1] : nullptr);
      const CNMessageBase* m = base != nullptr ? walk(base, k.path) : nullptr;
      long long v = kAbsent;
      if (m != nullptr) m->getint64(k.tag, 0, v);
      EXPECT_EQ(k.value, v) << "where " << k.where << " path size " << k.path.size() << " tag " << k.tag;
    }
  }

  FakeClock clock;
};

// A daily pattern's fixed values, at subtask path {3}.
std::vector<Check> daily(long long startTime, long long repeat) {
  return {{kSub0, {3}, 7, 4},        {kSub0, {3}, 9, 1},        {kSub0, {3}, 11, 1},
          {kSub0, {3}, 17, startTime}, {kSub0, {3}, 12, repeat}, {kSub0, {3}, 19, 86341},
          {kSub0, {3, 24}, 0, 1000}, {kSub0, {3, 26}, 0, 1}};
}

std::vector<Check> operator+(std::vector<Check> a, const std::vector<Check>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST_F(BuildersTest, AutomaticSchedulesCarryTheirValues) {
  const BuilderCase cases[] = {
      {"aux copy with copy id", [](EvTask& t) { return t.createAutoScheduleForAuxCopy(5, 9, 3, nullptr); }, 1, 2, 1,
       4003,
       daily(0, 1800) + std::vector<Check>{{kAssoc, {}, 0, 0},
                                           {kAssoc, {}, 105, 9},
                                           {kAssoc, {}, 100, 3},
                                           {kSub0, {4, 1, 5, 8}, 4, 0},
                                           {kSub0, {4, 1, 5, 8}, 7, 1},
                                           {kTask, {}, 10, 5}}},
      {"aux copy without copy id", [](EvTask& t) { return t.createAutoScheduleForAuxCopy(5, 9, 0, nullptr); }, 1, 2,
       1, 4003,
       {{kAssoc, {}, 100, kAbsent}, {kSub0, {4, 1, 5, 8}, 4, kAbsent}, {kSub0, {4, 1, 5, 8}, 7, 1}}},
      {"EDC schedule", [](EvTask& t) { return t.createEDCSchedule(5, 20, 21, 6, 22, 23, false); }, 1, 2, 1, 4034,
       daily(72000, kAbsent) + std::vector<Check>{{kAssoc, {}, 47, 20},
                                                  {kAssoc, {}, 38, 127},
                                                  {kAssoc, {}, 29, 21},
                                                  {kAssoc, {}, 20, 22},
                                                  {kAssoc, {}, 11, 23},
                                                  {kSub0, {4, 8}, 1, 1},
                                                  {kSub0, {4, 8}, 8, 6},
                                                  {kSub0, {4, 8}, 10, 1},
                                                  {kSub0, {4, 8}, 11, 1}}},
      {"EDC run now", [](EvTask& t) { return t.createEDCSchedule(5, 20, 21, 6, 22, 23, true); }, 1, 1, 1, 4034,
       {{kSub0, {3}, 7, kAbsent}, {kSub0, {4, 8}, 8, 6}}},
      {"easy backup", [](EvTask& t) { return t.createEZBackupSchedule(5, 33, 20, "weekly", "desc"); }, 0, 4, 2, 2,
       {{kTask, {6}, 7, 1},        {kTask, {}, 12, 3},         {kAssoc, {}, 47, 20},      {kAssoc, {}, 38, 33},
        {kSub0, {4, 1}, 1, 2},     {kSub0, {3}, 7, 8},         {kSub0, {3}, 9, 30},       {kSub0, {3, 8}, 1, kAbsent},
        {kSub0, {3, 8}, 2, 1},     {kSub0, {3, 8}, 5, 1},      {kSub0, {3, 8}, 6, kAbsent}, {kSub0, {3}, 17, 28800},
        {kSub0, {3}, 12, 0},       {kSub0, {3}, 19, 0},        {kSub0, {3, 26}, 0, 1},    {kSub1, {4, 1}, 1, 1},
        {kSub1, {3}, 9, 32},       {kSub1, {3, 8}, 6, 1},      {kSub1, {3, 8}, 5, kAbsent}, {kSub1, {1}, 7, 2}}},
      {"update job", [](EvTask& t) {
         std::vector<int> clients{4, 5}, groups{9};
         return t.CreateUpdateJob(clients, groups, 3, true, false, 1, 8);
       }, 1, 1, 1, 4020,
       {{kSub0, {3}, 7, kAbsent}, {kSub0, {4, 3, 3}, 8, 3}, {kSub0, {4, 3, 3}, 2, 1}, {kSub0, {4, 3, 3}, 3, 0},
        {kSub0, {4, 3, 3, 7}, 1, 1}, {kSub0, {4, 3, 3}, 34, 1}, {kSub0, {4, 3, 3}, 35, 1}}},
  };
  for (const BuilderCase& c : cases) runCase(c);

  // The update job's client list: clients, then client groups, in order.
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
  const auto targets = list(*at(list(req, {2}, 5)[0], {4, 3, 3}), {}, 27);
  ASSERT_EQ(3u, targets.size());
  EXPECT_EQ(4, num(targets[0], {}, 47));
  EXPECT_EQ(5, num(targets[1], {}, 47));
  EXPECT_EQ(9, num(targets[2], {}, 73));
  EXPECT_EQ(kAbsent, num(targets[2], {}, 47));
}

TEST_F(BuildersTest, DailyStartDateIsTheUtcDateAtLocalMidnight) {
  clock.sleepMs(86400u * 1000u * 3 + 5000u);
  respondCreate(*fake, msg::kCreateTask, kCreated, {});
  EvTask task(0, 0, nullptr, false);
  ASSERT_TRUE(task.createAutoScheduleForAuxCopy(1, 2, 0, nullptr));
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
  const time_t start = static_cast<time_t>(num(list(req, {2}, 5)[0], {3}, 16));
  struct tm local {}, utc {};
  localtime_r(&start, &local);
  const time_t now = clock.now();
  gmtime_r(&now, &utc);
  EXPECT_EQ(0, local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
  EXPECT_EQ(utc.tm_yday, local.tm_yday);
  EXPECT_EQ(utc.tm_year, local.tm_year);
}

TEST_F(BuildersTest, UpdateSchedulesFollowTheDayOfWeek) {
  struct tm first {};
  first.tm_year = 126;
  first.tm_mon = 5;
  first.tm_mday = 10;
  first.tm_hour = 14;
  first.tm_min = 30;
  first.tm_sec = 15;
  first.tm_isdst = -1;
  const long long when = static_cast<long long>(mktime(&first));
  const struct {
    const char* name;
    int day;
    bool isFtp;
    int op;
    std::vector<Check> checks;
  } cases[] = {
      {"one-time download", 0, true, 4019,
       {{kSub0, {3}, 7, 1}, {kSub0, {3}, 9, kAbsent}, {kSub0, {4, 3}, 3, kAbsent}, {kAssoc, {}, 0, 3},
        {kAssoc, {}, 47, 61}, {kSub0, {3}, 17, 52215}, {kSub0, {3, 24}, 0, 1000}, {kSub0, {3, 26}, 0, kAbsent}}},
      {"weekly installation", 4, false, 4020,
       {{kSub0, {3}, 7, 8}, {kSub0, {3}, 9, 4}, {kSub0, {3, 8}, 3, kAbsent}, {kSub0, {4, 3, 3}, 34, 1},
        {kSub0, {4, 3, 3}, 35, 1}}},
  };
  for (const auto& c : cases) {
    App::UpdateSchedule schedule;
    schedule.setint64(1, 0, c.day);
    schedule.setint64(2, 0, when);
    const bool isFtp = c.isFtp;
    runCase({c.name, [&](EvTask& t) { return t.CreateUpdateSchedule(schedule, 61, isFtp, 2, 3); }, 1, 2, 1, c.op,
             c.checks});
  }
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
  const time_t start = static_cast<time_t>(num(list(req, {2}, 5)[0], {3}, 16));
  struct tm local {};
  localtime_r(&start, &local);
  EXPECT_EQ(10, local.tm_mday);
  EXPECT_EQ(0, local.tm_hour);
}

TEST_F(BuildersTest, ImmediateJobsCarryTheirValues) {
  InventoryJobParams inv{0, 44};
  DDBMoveInputParams move{1, 2, 3, 4, "/src", "/dst"};
  std::vector<int> subStores{7, 8};
  const BuilderCase cases[] = {
      {"synthetic full after incremental", [](EvTask& t) { return t.startSyntheticFullJob(5, 12, true); }, 1, 1, 2,
       2, {{kAssoc, {}, 0, 7}, {kAssoc, {}, 11, 12}, {kSub0, {4, 1}, 1, 4}, {kSub0, {4, 1}, 16, 1},
           {kSub0, {4, 1}, 17, 1}, {kSub0, {3}, 7, kAbsent}}},
      {"synthetic full alone", [](EvTask& t) { return t.startSyntheticFullJob(5, 12, false); }, 1, 1, 2, 2,
       {{kSub0, {4, 1}, 16, 0}, {kSub0, {4, 1}, 17, kAbsent}}},
      {"inventory", [&](EvTask& t) { return t.startAutoInventoryJob(5, &inv); }, 1, 1, 1, 4005,
       {{kAssoc, {}, 0, 0}, {kAssoc, {}, 47, kAbsent}, {kSub0, {4, 3, 10}, 2, 3}, {kSub0, {4, 3, 10, 6}, 5, 9},
        {kSub0, {4, 3, 10, 6}, 0, 44}, {kSub0, {4, 3, 10, 17}, 1, 0}, {kSub0, {4, 3, 10, 17}, 3, 1}}},
      {"dedup reconstruction",
       [&](EvTask& t) { return t.startDedupDBSyncJob(5, 66, 67, 68, &subStores, 1, 2, 3); }, 1, 1, 1, 4036,
       {{kAssoc, {}, 0, 18}, {kAssoc, {}, 105, 67}, {kAssoc, {}, 100, 68}, {kSub0, {4, 3, 18}, 1, 66},
        {kSub0, {4, 3, 19}, 3, 1}, {kSub0, {4, 3, 19}, 2, 0}, {kSub0, {4, 3, 19}, 7, 1}}},
      {"partition move", [&](EvTask& t) { return t.startMovePartitionJob(5, move, 9, true); }, 1, 1, 1, 5013,
       {{kSub0, {4, 3, 10}, 2, 20}, {kSub0, {4, 3, 10, 24}, 4, 9}}},
  };
  for (const BuilderCase& c : cases) runCase(c);
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
  EXPECT_TRUE(list(req, {2}, 3).empty());
  const auto stores = list(*at(list(req, {2}, 5)[0], {4, 3, 10, 24}), {}, 2);
  ASSERT_EQ(1u, stores.size());
  EXPECT_EQ(1, num(stores[0], {}, 2));
  EXPECT_EQ(2, num(stores[0], {}, 3));
  EXPECT_EQ(3, num(stores[0], {4}, 1));
  EXPECT_EQ(4, num(stores[0], {5}, 1));
  EXPECT_EQ("/src", text(stores[0], {}, 6));
  EXPECT_EQ("/dst", text(stores[0], {}, 10));
  EXPECT_EQ(1, num(stores[0], {}, 25));
}

TEST_F(BuildersTest, InventoryKindsAndTheUnknownTypeMessage) {
  const struct {
    int type;
    long long kind;
    bool logged;
  } cases[] = {{0, 3, true}, {1, 2, false}, {2, 3, false}, {8, 9, false}, {9, 3, true}, {-1, 3, true}};
  for (const auto& c : cases) {
    LogCapture log;
    fake->clearRequests();
    respondCreate(*fake, msg::kCreateTask, kCreated, {});
    EvTask task(0, 0, nullptr, false);
    InventoryJobParams p{c.type, 1};
    ASSERT_TRUE(task.startAutoInventoryJob(1, &p)) << c.type;
    const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
    EXPECT_EQ(c.kind, num(list(req, {2}, 5)[0], {4, 3, 10}, 2)) << c.type;
    EXPECT_EQ(c.logged, log.contains("EvTask::startAutoInventoryJob",
                                     "Unknown inventory type passed. Assuming Quick inventory"))
        << c.type;
  }
}

TEST_F(BuildersTest, ArgumentChecksSendNothing) {
  EvTask task(0, 0, nullptr, false);
  EXPECT_FALSE(task.createAutoScheduleForAuxCopy(1, 0, 3, nullptr));
  EXPECT_FALSE(task.createEDCSchedule(1, 0, 2, 0, 0, 0, false));
  EXPECT_FALSE(task.createEDCSchedule(1, 2, 0, 0, 0, 0, false));
  EXPECT_EQ(100, task.createEZBackupSchedule(1, 0, 2, "", ""));
  EXPECT_EQ(100, task.createEZBackupSchedule(1, 2, 0, "", ""));
  int id = 0;
  std::string err;
  EXPECT_EQ(-1, task.createAutoScheduleForSendLogFiles(id, 1, nullptr, err, 0, nullptr));
  EXPECT_FALSE(task.startAutoInventoryJob(1, nullptr));
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(BuildersTest, SendLogFilesNamesTheSubtaskAfterThePatternAndYieldsTheId) {
  respondCreate(*fake, msg::kCreateTask, kCreated, {});
  EvTask task(0, 0, nullptr, false);
  TMMsg::Pattern pattern;
  pattern.setstring(2, 0, "nightly logs");
  int id = 0;
  std::string err;
  ASSERT_EQ(0, task.createAutoScheduleForSendLogFiles(id, 4, nullptr, err, 2, &pattern));
  EXPECT_EQ(31, id);
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
  const auto sub = list(req, {2}, 5).at(0);
  EXPECT_EQ("nightly logs", text(sub, {1}, 1));
  EXPECT_EQ(5010, num(sub, {1}, 7));
  EXPECT_EQ(2, num(req, {2, 1}, 8));
  EXPECT_EQ("nightly logs", text(sub, {3}, 2));

  fake->respondError(msg::kCreateTask, 3, "refused");
  EXPECT_EQ(-1, task.createAutoScheduleForSendLogFiles(id, 4, nullptr, err, 2, &pattern));
  EXPECT_EQ("refused", err);
}

TEST_F(BuildersTest, AuxCopyChangesAndAttachesTheCallersOptions) {
  respondCreate(*fake, msg::kCreateTask, kCreated, {});
  EvTask task(0, 0, nullptr, false);
  TMMsg::AuxcopyOption aux;
  aux.setint64(30, 0, 5);
  ASSERT_TRUE(task.createAutoScheduleForAuxCopy(1, 2, 3, &aux));
  EXPECT_EQ(1, num(aux, {}, 7));
  EXPECT_EQ(0, num(aux, {}, 4));
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
  EXPECT_EQ(5, num(list(req, {2}, 5)[0], {4, 1, 5, 8}, 30));
}
