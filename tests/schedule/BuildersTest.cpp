// Schedule builders and immediate jobs: the values each puts into its
// task-creation request, read back from the sent XML by tag, and what it logs.
#include <gtest/gtest.h>

#include <ctime>
#include <functional>

#include "platform/YMPlatformInfo.h"
#include "schedule/ScheduleRecords.h"
#include "schedule/ScheduleTestXml.h"
#include "schedule/XmlMessages.h"
#include "support/FakeXml.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

// Where a check starts: the task element, the first association, or the
// first or second subtask.
enum Where { kTask, kAssoc, kSub0, kSub1 };

struct Check {
  Where where;
  std::vector<uint16_t> path;
  uint16_t tag;
  long long value;  // kAbsent: the field must not be there
};

std::vector<Check> operator+(std::vector<Check> a, const std::vector<Check>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A daily pattern's fixed values, at subtask path {3}.
std::vector<Check> daily(long long startTime, long long repeat) {
  return {{kSub0, {3}, 7, 4},          {kSub0, {3}, 9, 1},         {kSub0, {3}, 11, 1},
          {kSub0, {3}, 17, startTime}, {kSub0, {3}, 12, repeat},   {kSub0, {3}, 19, 86341},
          {kSub0, {3, 24}, 0, 1000},   {kSub0, {3, 26}, 0, 1}};
}

// The local time of the start date (tag 16) of the first subtask's pattern.
struct tm startDate(const CNMessageBase& req) {
  const time_t start = static_cast<time_t>(num(list(req, {2}, 5).at(0), {3}, 16));
  struct tm local {};
  localtime_r(&start, &local);
  return local;
}

struct Case {
  const char* name;
  std::function<long long(EvTask&)> run;  // the builder's result, widened
  long long result;
  int taskType, subTaskType, operationType;
  std::vector<Check> checks;
  std::function<void(const CNMessageBase& req)> more = nullptr;
  const char* log = nullptr;  // a line the builder logs, "name: text"
};

const char kUnknownInventory[] =
    "EvTask::startAutoInventoryJob: Unknown inventory type passed. Assuming Quick inventory";

// An index scale option with one request naming the index, source and
// destination clients, and the given cores (name, source, destination).
DM2ContentIndexing::IndexAutoscaleOption scaleOption(
    const std::vector<std::tuple<const char*, const char*, const char*>>& cores) {
  DM2ContentIndexing::ScaleIndexReq req;
  const std::tuple<uint16_t, long long, const char*> clients[] = {{4, 100, "idx"}, {5, 200, "src"}, {6, 300, "dst"}};
  for (const auto& c : clients) {
    CNMessageBase* m = req.getObjectAccessor(std::get<0>(c), 0, true, false, 18, 4);
    m->setint64(0, 0, std::get<1>(c));
    m->setstring(1, 0, std::get<2>(c));
  }
  std::vector<DM2ContentIndexing::ScaleIndexCoreInfo> list;
  for (const auto& c : cores) {
    DM2ContentIndexing::ScaleIndexCoreInfo core;
    core.setstring(1, 0, std::get<0>(c));
    core.setstring(6, 0, std::get<1>(c));
    core.setstring(10, 0, std::get<2>(c));
    list.push_back(core);
  }
  req.setlistobject(2, 0, list);
  DM2ContentIndexing::IndexAutoscaleOption option;
  option.setlistobject(1, 0, std::vector<DM2ContentIndexing::ScaleIndexReq>{req});
  return option;
}

long long indexScale(EvTask& t, DM2ContentIndexing::IndexAutoscaleOption option) {
  _IndexScaleInputParams p;
  p.destinationClientDisplayName = "Destination";
  p.appTypeId = 33;
  p.backupSetId = 41;
  p.backupSetName = "bs";
  p.instanceId = 42;
  p.instanceName = "inst";
  p.subclientId = 43;
  p.subclientName = "sc";
  std::list<long long> jobs{5};
  const bool ok = t.startIndexScaleJob(7, option, p, jobs);
  return ok && jobs == std::list<long long>{5, 70} ? 1 : 0;
}

// The texts of the list at `tag` of the options (subtask path {4}) at `path`.
std::vector<std::string> texts(const CNMessageBase& req, std::initializer_list<uint16_t> path, uint16_t tag) {
  std::vector<std::string> v;
  const auto subs = list(req, {2}, 5);
  const CNMessageBase* m = at(*at(subs.at(0), {4}), path);
  if (m != nullptr) m->getliststring(tag, 0, v);
  return v;
}

long long inventory(EvTask& t, int type) {
  InventoryJobParams p{type, 44};
  return t.startAutoInventoryJob(5, &p);
}

class BuildersTest : public EvTaskTest {
 protected:
  FakeClock clock;
};

}  // namespace

TEST_F(BuildersTest, EveryBuilderCarriesItsValues) {
  clock.sleepMs(86400u * 1000u * 3 + 5000u);
  struct tm firstRun {};  // 10 June 2026, 14:30:15 local time
  firstRun.tm_year = 126, firstRun.tm_mon = 5, firstRun.tm_mday = 10;
  firstRun.tm_hour = 14, firstRun.tm_min = 30, firstRun.tm_sec = 15, firstRun.tm_isdst = -1;
  const long long when = static_cast<long long>(mktime(&firstRun));
  auto update = [when](int day, bool isFtp) {
    return [=](EvTask& t) {
      App::UpdateSchedule s;
      s.setint64(1, 0, day);
      s.setint64(2, 0, when);
      return static_cast<long long>(t.CreateUpdateSchedule(s, 61, isFtp, 2, 3));
    };
  };
  auto updateStartsAtLocalMidnight = [](const CNMessageBase& req) {
    EXPECT_EQ(vals(10, 0), vals(startDate(req).tm_mday, startDate(req).tm_hour));
  };
  const Case cases[] = {
      {"aux copy with copy id", [](EvTask& t) { return t.createAutoScheduleForAuxCopy(5, 9, 3, nullptr); }, 1, 2, 1,
       4003,
       daily(0, 1800) + std::vector<Check>{{kAssoc, {}, 0, 0}, {kAssoc, {}, 105, 9}, {kAssoc, {}, 100, 3},
                                           {kSub0, {4, 1, 5, 8}, 4, 0}, {kSub0, {4, 1, 5, 8}, 7, 1},
                                           {kTask, {}, 10, 5}},
       [this](const CNMessageBase& req) {
         // The start date is the UTC date, at local midnight.
         const struct tm local = startDate(req);
         struct tm utc {};
         const time_t now = clock.now();
         gmtime_r(&now, &utc);
         EXPECT_EQ(vals(0, utc.tm_yday, utc.tm_year),
                   vals(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec, local.tm_yday, local.tm_year));
       }},
      {"aux copy without copy id", [](EvTask& t) { return t.createAutoScheduleForAuxCopy(5, 9, 0, nullptr); }, 1, 2,
       1, 4003, {{kAssoc, {}, 100, kAbsent}, {kSub0, {4, 1, 5, 8}, 4, kAbsent}, {kSub0, {4, 1, 5, 8}, 7, 1}}},
      {"aux copy changes and attaches the caller's options",
       [](EvTask& t) {
         TMMsg::AuxcopyOption aux;
         aux.setint64(30, 0, 5);
         const bool ok = t.createAutoScheduleForAuxCopy(1, 2, 3, &aux);
         return ok && num(aux, {}, 7) == 1 && num(aux, {}, 4) == 0 ? 1ll : 0ll;
       },
       1, 2, 1, 4003, {{kSub0, {4, 1, 5, 8}, 30, 5}}},
      {"EDC schedule", [](EvTask& t) { return t.createEDCSchedule(5, 20, 21, 6, 22, 23, false); }, 1, 2, 1, 4034,
       daily(72000, kAbsent) + std::vector<Check>{{kAssoc, {}, 47, 20}, {kAssoc, {}, 38, 127}, {kAssoc, {}, 29, 21},
                                                  {kAssoc, {}, 20, 22}, {kAssoc, {}, 11, 23}, {kSub0, {4, 8}, 1, 1},
                                                  {kSub0, {4, 8}, 8, 6}, {kSub0, {4, 8}, 10, 1},
                                                  {kSub0, {4, 8}, 11, 1}}},
      {"EDC run now", [](EvTask& t) { return t.createEDCSchedule(5, 20, 21, 6, 22, 23, true); }, 1, 1, 1, 4034,
       {{kSub0, {3}, 7, kAbsent}, {kSub0, {4, 8}, 8, 6}}},
      {"easy backup", [](EvTask& t) { return t.createEZBackupSchedule(5, 33, 20, "weekly", "desc"); }, 0, 4, 2, 2,
       {{kTask, {6}, 7, 1},     {kTask, {}, 12, 3},    {kAssoc, {}, 47, 20},        {kAssoc, {}, 38, 33},
        {kSub0, {4, 1}, 1, 2},  {kSub0, {3}, 7, 8},    {kSub0, {3}, 9, 30},         {kSub0, {3, 8}, 1, kAbsent},
        {kSub0, {3, 8}, 2, 1},  {kSub0, {3, 8}, 5, 1}, {kSub0, {3, 8}, 6, kAbsent}, {kSub0, {3}, 17, 28800},
        {kSub0, {3}, 12, 0},    {kSub0, {3}, 19, 0},   {kSub0, {3, 26}, 0, 1},      {kSub1, {4, 1}, 1, 1},
        {kSub1, {3}, 9, 32},    {kSub1, {3, 8}, 6, 1}, {kSub1, {3, 8}, 5, kAbsent}, {kSub1, {1}, 7, 2}}},
      {"send log files", [](EvTask& t) {
         TMMsg::Pattern pattern;
         pattern.setstring(2, 0, "nightly logs");
         int id = 0;
         std::string err;
         return t.createAutoScheduleForSendLogFiles(id, 4, nullptr, err, 2, &pattern) == 0 ? id : -1ll;
       }, 31, 2, 1, 5010, {},
       [](const CNMessageBase& req) {
         EXPECT_EQ(vals(std::string("nightly logs"), std::string("nightly logs")),
                   vals(text(list(req, {2}, 5).at(0), {1}, 1), text(list(req, {2}, 5).at(0), {3}, 2)));
       }},
      {"update job", [](EvTask& t) {
         std::vector<int> clients{4, 5}, groups{9};
         return t.CreateUpdateJob(clients, groups, 3, true, false, 1, 8);
       }, 1, 1, 1, 4020,
       {{kSub0, {3}, 7, kAbsent}, {kSub0, {4, 3, 3}, 8, 3}, {kSub0, {4, 3, 3}, 2, 1}, {kSub0, {4, 3, 3}, 3, 0},
        {kSub0, {4, 3, 3, 7}, 1, 1}, {kSub0, {4, 3, 3}, 34, 1}, {kSub0, {4, 3, 3}, 35, 1}},
       [](const CNMessageBase& req) {
         // Clients, then client groups, in order.
         const auto targets = list(*at(list(req, {2}, 5)[0], {4, 3, 3}), {}, 27);
         ASSERT_EQ(3u, targets.size());
         EXPECT_EQ(vals(4ll, 5ll, 9ll, kAbsent), vals(num(targets[0], {}, 47), num(targets[1], {}, 47),
                                                     num(targets[2], {}, 73), num(targets[2], {}, 47)));
       }},
      {"one-time download", update(0, true), 1, 2, 1, 4019,
       {{kSub0, {3}, 7, 1}, {kSub0, {3}, 9, kAbsent}, {kSub0, {4, 3}, 3, kAbsent}, {kAssoc, {}, 0, 3},
        {kAssoc, {}, 47, 61}, {kSub0, {3}, 17, 52215}, {kSub0, {3, 24}, 0, 1000}, {kSub0, {3, 26}, 0, kAbsent}},
       updateStartsAtLocalMidnight},
      {"weekly installation", update(4, false), 1, 2, 1, 4020,
       {{kSub0, {3}, 7, 8}, {kSub0, {3}, 9, 4}, {kSub0, {3, 8}, 3, kAbsent}, {kSub0, {4, 3, 3}, 34, 1},
        {kSub0, {4, 3, 3}, 35, 1}},
       updateStartsAtLocalMidnight},
      {"synthetic full after incremental", [](EvTask& t) { return t.startSyntheticFullJob(5, 12, true); }, 1, 1, 2,
       2, {{kAssoc, {}, 0, 7}, {kAssoc, {}, 11, 12}, {kSub0, {4, 1}, 1, 4}, {kSub0, {4, 1}, 16, 1},
           {kSub0, {4, 1}, 17, 1}, {kSub0, {3}, 7, kAbsent}}},
      {"synthetic full alone", [](EvTask& t) { return t.startSyntheticFullJob(5, 12, false); }, 1, 1, 2, 2,
       {{kSub0, {4, 1}, 16, 0}, {kSub0, {4, 1}, 17, kAbsent}}},
      {"inventory", [](EvTask& t) { return inventory(t, 0); }, 1, 1, 1, 4005,
       {{kAssoc, {}, 0, 0}, {kAssoc, {}, 47, kAbsent}, {kSub0, {4, 3, 10}, 2, 3}, {kSub0, {4, 3, 10, 6}, 5, 9},
        {kSub0, {4, 3, 10, 6}, 0, 44}, {kSub0, {4, 3, 10, 17}, 1, 0}, {kSub0, {4, 3, 10, 17}, 3, 1}},
       nullptr, kUnknownInventory},
      {"inventory type 1", [](EvTask& t) { return inventory(t, 1); }, 1, 1, 1, 4005, {{kSub0, {4, 3, 10}, 2, 2}}},
      {"inventory type 8", [](EvTask& t) { return inventory(t, 8); }, 1, 1, 1, 4005, {{kSub0, {4, 3, 10}, 2, 9}}},
      {"inventory type 9", [](EvTask& t) { return inventory(t, 9); }, 1, 1, 1, 4005, {{kSub0, {4, 3, 10}, 2, 3}},
       nullptr, kUnknownInventory},
      {"dedup reconstruction", [](EvTask& t) {
         std::vector<int> subStores{7, 8};
         return t.startDedupDBSyncJob(5, 66, 67, 68, &subStores, 1, 2, 3);
       }, 1, 1, 1, 4036,
       {{kAssoc, {}, 0, 18}, {kAssoc, {}, 105, 67}, {kAssoc, {}, 100, 68}, {kSub0, {4, 3, 18}, 1, 66},
        {kSub0, {4, 3, 19}, 3, 1}, {kSub0, {4, 3, 19}, 2, 0}, {kSub0, {4, 3, 19}, 7, 1}}},
      {"partition move", [](EvTask& t) {
         DDBMoveInputParams move{1, 2, 3, 4, "/src", "/dst"};
         return t.startMovePartitionJob(5, move, 9, true);
       }, 1, 1, 1, 5013, {{kSub0, {4, 3, 10}, 2, 20}, {kSub0, {4, 3, 10, 24}, 4, 9}},
       [](const CNMessageBase& req) {
         EXPECT_TRUE(list(req, {2}, 3).empty());
         const auto stores = list(*at(list(req, {2}, 5)[0], {4, 3, 10, 24}), {}, 2);
         ASSERT_EQ(1u, stores.size());
         const CNMessageBase& m = stores[0];
         EXPECT_EQ(vals(1ll, 2ll, 3ll, 4ll, std::string("/src"), std::string("/dst"), 1ll),
                   vals(num(m, {}, 2), num(m, {}, 3), num(m, {4}, 1), num(m, {5}, 1), text(m, {}, 6), text(m, {}, 10),
                        num(m, {}, 25)));
       }},
      {"sweep", [](EvTask& t) {
         std::list<long long> jobs;
         std::string err;
         return t.CreateTaskforSweep(3, 4, 0, 0, 25, jobs, err) && jobs == std::list<long long>{70} ? 1ll : 0ll;
       }, 1, 1, 2, 2,
       {{kTask, {}, 10, 1}, {kTask, {}, 12, 3}, {kAssoc, {}, 11, 3}, {kAssoc, {}, 38, 4}, {kSub0, {4, 1}, 1, 2},
        {kSub0, {4, 4}, 24, 25}}},
      {"index scale", [](EvTask& t) { return indexScale(t, scaleOption({{"c1", "/s1/", "/d1"}, {"c2", "/s2", "/d2/"}})); },
       1, 1, 2, 2,
       {{kAssoc, {}, 1, 2}, {kAssoc, {}, 0, 7}, {kAssoc, {}, 11, 43}, {kAssoc, {}, 47, 100}, {kAssoc, {}, 38, 33},
        {kSub0, {4, 2}, 3, 3}, {kSub0, {4, 2, 1, 2}, 0, 41}, {kSub0, {4, 2, 1, 2}, 28, 200},
        {kSub0, {4, 2, 1, 8, 2}, 5, 11}, {kSub0, {4, 2, 1, 8, 4}, 5, kAbsent}, {kSub0, {4, 2, 2, 2}, 0, 300},
        {kSub0, {4, 2, 2}, 20, 2}, {kSub0, {4, 2, 12}, 8, 33}, {kSub0, {4, 1}, 85, 1}, {kSub0, {4, 1, 5}, 11, 30},
        {kSub0, {4, 1, 7, 3}, 5, 1}},
       [](const CNMessageBase& req) {
         const auto assoc = list(req, {2}, 3).at(0);
         const auto subs = list(req, {2}, 5);
         const CNMessageBase& options = *at(subs.at(0), {4});
         EXPECT_EQ(DM2ContentIndexing::IndexAutoscaleOption().getTagID(), at(options, {15})->getTagID());
         EXPECT_EQ(vals(std::string("sc"), std::string("idx"), std::string("src"), std::string("Destination")),
                   vals(text(assoc, {}, 12), text(assoc, {}, 48), text(options, {2, 1, 8, 8}, 1),
                        text(options, {2, 2, 2}, 14)));
         EXPECT_EQ((std::vector<std::string>{"**/*/write.lock", "*.tmp", "/s1/c1/tlog", "/s2/c2/tlog"}),
                   texts(req, {2, 27}, 3));
         EXPECT_EQ((std::vector<std::string>{"/s1/c1", "/s2/c2"}), texts(req, {2, 27}, 2));
         EXPECT_EQ((std::vector<std::string>{"/d1/c1", "/d2/c2"}), texts(req, {2, 2}, 1));
       },
       "EvTask::startIndexScaleJob: Successfully submitted Index scale Job for index pseudo-client[idx] [Job-ID - 5]"},
      {"index scale without cores or configured filters",
       [](EvTask& t) {
         YMPlatformInfo::clearStore();
         return indexScale(t, scaleOption({}));
       },
       1, 1, 2, 2, {},
       [](const CNMessageBase& req) {
         EXPECT_EQ(std::vector<std::string>{"**/*/write.lock"}, texts(req, {2, 27}, 3));
         const auto subs = list(req, {2}, 5);
         EXPECT_EQ(vals(false, false), vals(at(subs.at(0), {4, 2, 27})->isSet(2, 0), at(subs.at(0), {4, 2, 2})->isSet(1, 0)));
       }},
  };
  YMPlatformInfo::setValue("Controlhost", "AutoScaleIndexFilter", "*.tmp");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake->clearRequests();
    respondCreate(*fake, msg::kCreateTask, "<m f=\"12\" c=\"100\"><i t=\"1\">31</i></m>", {70});
    LogCapture log;
    EvTask task(0, 0, nullptr, false);
    ASSERT_EQ(c.result, c.run(task));
    if (c.log != nullptr) {
      const std::string line = c.log;
      EXPECT_TRUE(log.contains(line.substr(0, line.find(": ")), line.substr(line.find(": ") + 2)));
    }
    const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).at(0));
    const auto assocs = list(req, {2}, 3);
    const auto subs = list(req, {2}, 5);
    EXPECT_EQ(c.taskType, num(req, {2, 1}, 8));
    ASSERT_FALSE(subs.empty());
    EXPECT_EQ(c.subTaskType, num(subs[0], {1}, 6));
    EXPECT_EQ(c.operationType, num(subs[0], {1}, 7));
    for (const Check& k : c.checks) {
      const CNMessageBase* m = k.where == kTask    ? at(req, {2, 1})
                               : k.where == kAssoc ? (assocs.empty() ? nullptr : &assocs[0])
                               : k.where == kSub0  ? &subs[0]
                                                   : (subs.size() > 1 ? &subs[1] : nullptr);
      for (uint16_t t : k.path) m = m != nullptr ? m->getObjectAccessor(t, 0) : nullptr;
      long long v = kAbsent;
      if (m != nullptr) m->getint64(k.tag, 0, v);
      EXPECT_EQ(k.value, v) << "where " << k.where << " path size " << k.path.size() << " tag " << k.tag;
    }
    if (c.more) c.more(req);
  }
}

TEST_F(BuildersTest, ArgumentChecksSendNothing) {
  EvTask task(0, 0, nullptr, false);
  int id = 0;
  std::string err;
  std::list<long long> jobs;
  DM2ContentIndexing::IndexAutoscaleOption noRequest;
  EXPECT_EQ(vals(false, false, false, 100, 100, -1, false, false),
            vals(task.createAutoScheduleForAuxCopy(1, 0, 3, nullptr), task.createEDCSchedule(1, 0, 2, 0, 0, 0, false),
                 task.createEDCSchedule(1, 2, 0, 0, 0, 0, false), task.createEZBackupSchedule(1, 0, 2, "", ""),
                 task.createEZBackupSchedule(1, 2, 0, "", ""),
                 task.createAutoScheduleForSendLogFiles(id, 1, nullptr, err, 0, nullptr),
                 task.startAutoInventoryJob(1, nullptr),
                 task.startIndexScaleJob(7, noRequest, _IndexScaleInputParams(), jobs)));
  EXPECT_EQ(0u, fake->requestCount());
}
