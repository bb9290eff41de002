#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "platform/YmErrors.h"
#include "support/AbiSlots.h"
#include "task/EvTask.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

const char* const kCtorLog = "EvTask::EvTask";

TaskInfoResp taskRow(uint32_t taskId, uint32_t flags, uint32_t status) {
  TaskInfoResp resp{};
  resp.task.taskId = taskId;
  resp.task.flags = flags;
  resp.task.status = status;
  resp.task.fields[0] = 21;
  return resp;
}

void respondEntities(FakeAppMgr& fake, const std::vector<uint32_t>& clientIds) {
  std::vector<Sch_AssocEntity> rows(clientIds.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    rows[i] = Sch_AssocEntity{};
    rows[i].clientId = clientIds[i];
    rows[i].taskId = 300;
  }
  EntityInfoResp resp{};
  resp.count = static_cast<uint32_t>(rows.size());
  resp.entities = rows.empty() ? nullptr : rows.data();
  fake.respond(msg::kGetEntityInfo, resp);
}

std::vector<uint32_t> sentClientIds(const RecordedRequest& r) {
  const SetEntityInfoReq& req = r.as<SetEntityInfoReq>();
  std::vector<uint32_t> ids;
  for (uint32_t i = 0; i < req.count; ++i) ids.push_back(req.entities[i].clientId);
  return ids;
}

// The row requests sent so far, as "name task/subtask/job".
std::string rowRequests(FakeAppMgr& fake) {
  std::string out;
  for (const RecordedRequest& r : fake.requests()) {
    if (r.type == msg::kGetEntityInfo) out += "entity ";
    const char* name = r.type == msg::kGetJobInfo ? "job" : r.type == msg::kGetTaskInfo ? "task"
                       : r.type == msg::kGetSubTaskInfo ? "sub" : nullptr;
    if (name == nullptr) continue;
    const TaskApiInfo& info = r.as<GenericTaskApiReq>().info;
    out += std::string(name) + " " + std::to_string(info.taskId) + "/" + std::to_string(info.subTaskId) + "/" +
           std::to_string(info.jobId) + " ";
  }
  return out;
}

// --- construction ------------------------------------------------------------------

// Per id kind: the eager requests with the task, subtask and job ids they
// carry, and the construction's log line ("": none); a failing first request
// stops the fetch and the line. Without an id nothing is sent or logged, and
// option reads stay local.
TEST_F(EvTaskTest, IdKindsFetchTheRowsInOrder) {
  const struct {
    unsigned long long id;
    int kind;
    bool fails;
    std::string requests, line;
  } cases[] = {
      {0x500000007ULL, 0, false, "", "taskId[0], subTaskId[0], jobId[21474836487], type[0]"},
      {0x100000000ULL + 300, 2, false, "task 300/0/0 sub 300/0/0 entity ",
       "taskId[300], subTaskId[0], jobId[4294967596], type[2]"},
      {55, 1, false, "task 0/0/0 sub 0/55/0 entity ", "taskId[0], subTaskId[55], jobId[55], type[1]"},
      {9000, 3, false, "job 0/0/9000 task 40/0/0 sub 40/41/0 entity ", "taskId[40], subTaskId[41], jobId[9000], type[3]"},
      {9000, -1, false, "job 0/0/9000 task 40/0/0 sub 40/41/0 entity ", "taskId[40], subTaskId[41], jobId[9000], type[-1]"},
      {300, 2, true, "task 300/0/0 ", ""},
      {0, 0, false, "", ""},  {0, 1, false, "", ""}, {0, 2, false, "", ""},
      {0, 3, false, "", ""},  {0, -1, false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.id) + " kind " + std::to_string(c.kind));
    fake->clearRequests();
    GenericTaskApiResp job{};
    job.info.taskId = 40;
    job.info.subTaskId = 41;
    if (c.id != 0 && (c.kind == 3 || c.kind == -1)) fake->respond(msg::kGetJobInfo, job);
    if (c.fails) fake->respondError(msg::kGetTaskInfo, 0x4A0001, "no such task");
    LogCapture cap;
    EvTask task(c.id, c.kind, nullptr, true);
    EXPECT_EQ(c.requests, rowRequests(*fake));
    for (const std::string& l : cap.lines()) {
      EXPECT_TRUE(!c.line.empty() || l.find("TaskPlatformInfoSingleton") == 0) << l;
    }
    EXPECT_EQ(!c.line.empty(), cap.contains(kCtorLog, "Called with " + c.line));
    EXPECT_EQ(c.fails ? "no such task" : "", task.getErrorString());
    if (c.id != 0) continue;
    int value = 5;
    EXPECT_EQ(0, task.getOptionInt(140026, value, nullptr));
    EXPECT_EQ(0, value);
    EXPECT_EQ(0u, countOf(*fake, msg::kGetOptions)) << "option reads stay local";
  }
}

// --- lookup and update -----------------------------------------------------------------

// Without a lookup an update sends nothing. Lookups are sent once; an update
// only on the central platform makes the next one fetch.
TEST_F(EvTaskTest, UpdateOnlyOnTheCentralPlatformMakesTheNextLookupFetch) {
  for (const auto& platform : {std::make_pair("1", 2u), std::make_pair("4", 1u)}) {
    usePlatformType(platform.first);
    fake->clearRequests();
    EvTask task(77, 0, nullptr, false);
    LogCapture cap;
    EXPECT_EQ(0, task.update(nullptr));
    EXPECT_TRUE(cap.contains("EvTask::update", "Task Manager object is getting modified without being initilized."));
    EXPECT_TRUE(cap.contains("EvTask::update", "No update will be done on Task Manager Object."));
    EXPECT_EQ(0u, fake->requestCount());
    ASSERT_EQ(0, task.lookup(nullptr));
    EXPECT_EQ(0, task.update(nullptr));
    EXPECT_EQ(0, task.lookup(nullptr));
    EXPECT_EQ(0, task.lookup(nullptr));
    EXPECT_EQ(1u, countOf(*fake, msg::kUpdate));
    EXPECT_EQ(platform.second, countOf(*fake, msg::kLookup)) << "platform " << platform.first;
  }
}

// --- row operations ----------------------------------------------------------------------

// The three rows go in order and the first failure stops the rest, with
// its log line; the cached entities are sent as they are, every time.
TEST_F(EvTaskTest, SaveChangesWritesTheThreeRowsAndStopsAtTheFirstFailure) {
  fake->respond(msg::kGetTaskInfo, taskRow(300, 1, 2));
  respondEntities(*fake, {7, 8});
  EvTask task(300, 2, nullptr, false);
  const struct {
    uint32_t failing;
    size_t requests;
    const char* line;
  } cases[] = {{0, 3, nullptr},
               {msg::kSetEntityInfo, 3, "Could not save entity info in TM_AssocEntity table, error [refused]"},
               {msg::kSetSubTaskInfo, 2, "Could not save sub task info in TM_SubTask table, error [refused]"},
               {msg::kSetTaskInfo, 1, "Could not save task info in TM_Task table, error [refused]"}};
  const std::vector<uint32_t> all = {msg::kSetTaskInfo, msg::kSetSubTaskInfo, msg::kSetEntityInfo};
  for (const auto& c : cases) {
    fake->clearRequests();
    if (c.failing != 0) fake->respondError(c.failing, 30, "refused");
    LogCapture cap;
    EXPECT_EQ(c.failing != 0 ? 30 : 0, task.saveChanges());
    EXPECT_EQ(std::vector<uint32_t>(all.begin(), all.begin() + c.requests), fake->requestTypes());
    if (c.line != nullptr) { EXPECT_TRUE(cap.contains("EvTask::saveChanges", c.line)) << c.line; }
    if (c.requests == 3) { EXPECT_EQ((std::vector<uint32_t>{7, 8}), sentClientIds(fake->last(msg::kSetEntityInfo))); }
  }
  EXPECT_EQ(300u, fake->last(msg::kSetTaskInfo).as<SetTaskInfoReq>().task.taskId);
}

// Row writes send the cached rows, not the argument; entity writes grow the
// cached list and send it whole (a client joins as an otherwise empty
// entity); a default task id fetched later replaces the task id in the rows.
// A task without entities reads "no data" for the single entity and fetches
// again.
TEST_F(EvTaskTest, RowWritesSendTheCachedRowsWhereTheDefaultTaskIdReplacesTheTaskId) {
  fake->respond(msg::kGetTaskInfo, taskRow(300, 3, 4));
  respondEntities(*fake, {1});
  EvTask task(300, 2, nullptr, false);
  Sched_Task other;
  other.taskId = 999;
  other.flags = 0xFF;
  Sched_SubTask otherSub;
  otherSub.subTaskId = 999;
  Sched_AssocEntity a;
  a.clientId = 10;
  EXPECT_EQ(0, task.setTaskInfo(other, nullptr));
  EXPECT_EQ(0, task.setSubTaskInfo(otherSub, nullptr));
  EXPECT_EQ(0, task.setEntityInfo({a}, nullptr));
  EXPECT_EQ((std::vector<uint32_t>{1, 10}), sentClientIds(fake->last(msg::kSetEntityInfo)));
  EXPECT_EQ(0, task.addClientToTask(7, nullptr));
  const RecordedRequest rowWrite = fake->last(msg::kSetTaskInfo), subWrite = fake->last(msg::kSetSubTaskInfo);
  const Sch_Task& row = rowWrite.as<SetTaskInfoReq>().task;
  // Flags 3: not a default task (bit 7).
  EXPECT_EQ("300 3 0 3 4 0", joined(row.taskId, row.flags, subWrite.as<SetSubTaskInfoReq>().subTask.subTaskId,
                                    task.getTaskFlags(), task.getTaskStatus(), task.isDefaultTaskId()));
  const RecordedRequest r = fake->last(msg::kSetEntityInfo);
  EXPECT_EQ((std::vector<uint32_t>{1, 10, 7}), sentClientIds(r));
  Sch_AssocEntity expected{};
  expected.clientId = 7;
  EXPECT_EQ(0, std::memcmp(&expected, &r.as<SetEntityInfoReq>().entities[2], sizeof expected));

  fake->respond(msg::kGetDefaultTaskId, taskRow(4242, 0, 0));
  long defId = 0;
  EXPECT_EQ(0, task.getDefaultTaskId(defId, nullptr));
  EXPECT_EQ(4242, defId);
  EXPECT_EQ(0, task.saveChanges());
  EXPECT_EQ(4242u, fake->last(msg::kSetTaskInfo).as<SetTaskInfoReq>().task.taskId);
  fake->respond(msg::kGetTaskInfo, taskRow(300, 0, 0));
  EXPECT_EQ(0, task.getTaskInfo(other, nullptr));
  EXPECT_EQ(300u, other.taskId);

  EvTask none(300, 2, nullptr, false);
  Sched_AssocEntity entity;
  entity.clientId = 99;
  fake->clearRequests();
  EXPECT_EQ(YM_DB_NODATA, none.getEntityInfo(entity, nullptr));
  EXPECT_EQ(YM_DB_NODATA, none.getEntityInfo(entity, nullptr));
  EXPECT_EQ(99, entity.clientId);
  EXPECT_EQ(2u, countOf(*fake, msg::kGetEntityInfo));
}

TEST_F(EvTaskTest, JobListsAndRequestIdsArePassedThrough) {
  EvTask task(0x70000012CULL, 0, nullptr, false);
  uint64_t ids[] = {11, 12};
  JobIdsResp resp{};
  resp.count = 2;
  resp.jobIds = ids;
  fake->respond(msg::kGetJobIdsFromBkpStats, resp);
  std::list<unsigned long long> jobs = {1};
  EXPECT_EQ(0, task.getJobIdsFromBkpStats(jobs, "stats text", true, 6, nullptr));
  EXPECT_EQ((std::list<unsigned long long>{1, 11, 12}), jobs);
  const RecordedRequest statsRead = fake->last(msg::kGetJobIdsFromBkpStats);
  const GetJobIdsFromBkpStatsReq& stats = statsRead.as<GetJobIdsFromBkpStatsReq>();
  EXPECT_EQ("stats text 1 6", joined(stats.text, stats.flag, stats.number));
  fake->respond(msg::kGetJobListFromTaskId, resp);
  std::list<unsigned long long> fromTask;
  EXPECT_EQ(0, task.getJobListFromTaskId(fromTask, nullptr));
  EXPECT_EQ((std::list<unsigned long long>{11, 12}), fromTask);
  EXPECT_EQ(0x70000012CULL, fake->last(msg::kGetJobListFromTaskId).as<GetJobIdsFromTaskIdReq>().info.jobId);
  GetJobRequestResp request{};
  request.requestId = 555;
  fake->respond(msg::kGetJobRequestId, request);
  long long requestId = 0;
  EXPECT_EQ(0, task.getJobRequestIdFromJobId(requestId, nullptr));
  EXPECT_EQ(555, requestId);
  EXPECT_EQ(300, fake->last(msg::kGetJobRequestId).as<GetJobRequestReq>().jobId) << "the low half of the id";
}

// --- identity ---------------------------------------------------------------------------------

// Counts the reads of the sequence number that go through the typed accessor.
class CountingTask : public EvTask {
 public:
  explicit CountingTask(unsigned long long id) : EvTask(id, 0, nullptr, false) {}
  int getOptionLongLong(unsigned long long optionId, long long& value, void* event) override {
    reads.push_back(event);
    return EvTask::getOptionLongLong(optionId, value, event);
  }
  using EvTask::getOptionLongLong;
  std::vector<void*> reads;
};

// The getters without event and the entity id getters read their own
// options in one load; the client id, held neither by the task nor by the
// defaults, reads as zero.
TEST_F(EvTaskTest, IdGettersReadTheirOwnOptions) {
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions,
                 {{140026, 7, "812"}, {140016, 10, "16"}, {140017, 10, "17"}, {140018, 10, "18"},
                  {140001, 14, "-9000000001"}, {140019, 9, "-19"}, {140020, 9, "20"}, {140021, 10, "21"},
                  {140022, 9, "22"}, {1700227181ULL, 15, "18000000000000000001"}, {140004, 10, "4"},
                  {140005, 10, "5"}, {140006, 10, "6"}, {140007, 10, "7"}, {140008, 10, "8"}, {140009, 10, "9"},
                  {140012, 10, "12"}, {140024, 10, "24"}, {887989224ULL, 15, "77"}});
  std::ostringstream s;
  s << task.getTaskId() << " " << task.getScheduleId() << " " << task.getTaskType() << " " << task.getSubTaskType()
    << " " << task.getOperationType() << " " << task.getSequenceNumber() << " " << task.getUserId() << " "
    << task.getAlertId() << " " << task.getOwnerId() << " " << task.getLocaleId() << " " << task.getOriginalJobId();
  for (int (EvTask::*get)(unsigned long&, void*) :
       {&EvTask::getClientId, &EvTask::getAppTypeId, &EvTask::getInstanceId, &EvTask::getBackupSetId,
        &EvTask::getSubClientId, &EvTask::getPolicyId, &EvTask::getCopyId, &EvTask::getTrackingPolicyId,
        &EvTask::getAgentlessPolicyId}) {
    unsigned long v = 99;
    s << " " << (task.*get)(v, nullptr) << ":" << v;
  }
  unsigned long long dependent = 0;
  s << " " << task.getUserDependentJobId(dependent, nullptr) << ":" << dependent;
  EXPECT_EQ("812 812 16 17 18 -9000000001 -19 20 21 22 18000000000000000001 0:0 0:4 0:5 0:6 0:7 0:8 0:9 0:12 0:24 0:77",
            s.str());
  EXPECT_EQ((std::vector<uint32_t>{msg::kGetOptions, msg::kGetDefaults}), fake->requestTypes());
}

TEST_F(EvTaskTest, LoadFailuresGiveZeroWithoutEventAndTheCodeWithOne) {
  EvTask task(17, 0, nullptr, false);
  for (int i = 0; i < 3; ++i) fake->respondError(msg::kGetOptions, 3, "down");
  std::ostringstream s;
  s << task.getTaskType() << " " << task.getUserId() << " " << task.getOriginalJobId() << " " << task.getErrorString();
  fake->respondError(msg::kGetOptions, 0x1A0008, "timeout");
  unsigned long v = 3;
  s << " " << task.getClientId(v, nullptr) << " " << v;
  EXPECT_EQ("0 0 0 down " + std::to_string(0x1A0008) + " 3", s.str());
}

TEST_F(EvTaskTest, SettersWriteTheirIdsTypesAndTexts) {
  EvTask task(17, 0, nullptr, false);
  int marker = 0;
  for (int rc : {task.setSequenceNumber(-5), task.setSeqNumber(6, &marker), task.setUserId(-7), task.setAlertId(8),
                 task.setOwnerId(-1), task.setLocaleId(9)}) {
    EXPECT_EQ(0, rc);
  }
  for (int (EvTask::*set)(unsigned long, void*) :
       {&EvTask::setClientId, &EvTask::setAppTypeId, &EvTask::setInstanceId, &EvTask::setBackupSetId,
        &EvTask::setSubClientId, &EvTask::setPolicyId, &EvTask::setCopyId}) {
    EXPECT_EQ(0, (task.*set)(5, nullptr));
  }
  EXPECT_EQ("[140001:14:-5][140001:14:6][140019:9:-7][140020:9:8][140021:10:4294967295][140022:9:9]"
            "[140003:10:5][140004:10:5][140005:10:5][140006:10:5][140007:10:5][140008:10:5][140009:10:5]",
            optionWrites(*fake));
  fake->respondError(msg::kSetOptions, 66, "denied");
  EXPECT_EQ(66, task.setUserId(1));
}

// The owner id goes out in unsigned text form; reading it back must give
// the id that was written, not the signed reading's clamp (2147483647).
TEST_F(EvTaskTest, OwnerIdWrittenUnsignedReadsBackSigned) {
  usePlatformType("4");
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{140021, 9, "-5"}});
  EXPECT_EQ(-5L, task.getOwnerId()) << "stored in signed form";
  ASSERT_EQ(0, task.setOwnerId(-1));
  EXPECT_EQ(-1L, task.getOwnerId());
  ASSERT_EQ(0, task.setOwnerId(2147483647L));
  EXPECT_EQ(2147483647L, task.getOwnerId());
  EXPECT_EQ(1u, countOf(*fake, msg::kGetOptions));
}

// The first read goes without the event; only a zero is read again, with it.
TEST_F(EvTaskTest, SequenceNumberIsReadWithoutTheEventAndOnlyAZeroAgainWithIt) {
  int marker = 0;
  CountingTask found(17), failing(18);
  respondOptions(*fake, msg::kGetOptions, {{140001, 14, "41"}});
  long long value = 0;
  EXPECT_EQ(0, found.getSeqNumber(value, &marker));
  EXPECT_EQ(41, value);
  EXPECT_EQ(std::vector<void*>{nullptr}, found.reads);
  fake->respondError(msg::kGetOptions, 3, "down");
  fake->respondError(msg::kGetOptions, 4, "still down");
  EXPECT_EQ(4, failing.getSeqNumber(value, &marker));
  EXPECT_EQ((std::vector<void*>{nullptr, &marker}), failing.reads);
}

// --- copies ---------------------------------------------------------------------------------

TEST_F(EvTaskTest, CopyKeepsRecordAndOptionsButRereadsFiles) {
  fake->respond(msg::kGetTaskInfo, taskRow(300, 0x80, 6));
  respondEntities(*fake, {7});
  EvTask source(300, 2, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{140026, 7, "300"}});
  ASSERT_EQ(300, source.getTaskId());
  respondFiles(*fake, {{150001, 150001, "/src"}});
  TaskFileList files;
  ASSERT_EQ(0, source.getFiles(files, 0, nullptr));

  EvTask copy(source);
  fake->clearRequests();
  EXPECT_EQ("300 6 1", joined(copy.getId(), copy.getTaskStatus(), copy.isDefaultTaskId()));
  EXPECT_EQ(300, copy.getTaskId());
  EXPECT_EQ(0u, fake->requestCount()) << "the options came with the copy";
  respondFiles(*fake, {{150001, 150001, "/other"}});
  TaskFileList copied;
  EXPECT_EQ(0, copy.getFiles(copied, 0, nullptr));
  EXPECT_EQ(1u, countOf(*fake, msg::kGetFiles));
  ASSERT_EQ(1u, copied.getList().size());
  EXPECT_STREQ("/other", copied.getList()[0]->getValue());
}

// Slots 21 and 22 hold EvTask's destructor, 0 and 1 the option cache's.
TEST(EvTaskLayoutTest, VirtualOrderIsStable) {
  using T = TmTaskOptions;
  using Lookup = const TaskOption* (T::*)(unsigned long long, int&, void*);
  const std::vector<std::ptrdiff_t> slots = {
      slotOf(&EvTask::getOptionsCallback), slotOf(&EvTask::getDefaultsCallback), slotOf(&EvTask::getTaskInterface),
      slotOf(&EvTask::getFilesCallback), slotOf(&EvTask::saveChanges), slotOf(&EvTask::setEntityInfo),
      slotOf(&EvTask::getSubTaskType), slotOf(&EvTask::getId), slotOf(&EvTask::update),
      slotOf(static_cast<int (EvTask::*)(unsigned long long, std::string&, void*)>(&EvTask::getOptionString)),
      slotOf(static_cast<int (EvTask::*)(unsigned long long, std::list<bool>, void*)>(&EvTask::setOptionBool)),
      slotOf(&EvTask::getSeqNumber), slotOf(&EvTask::CreateTask), slotOf(&EvTask::initOptions),
      slotOf(&EvTask::initDefaults),
      slotOf(static_cast<int (EvTask::*)(std::vector<std::string>, void*)>(&EvTask::removeFiles)),
      slotOf(&EvTask::getJobRequestIdFromJobId), slotOf(&EvTask::getAutomaticSchedulePattern),
      slotOf(&EvTask::getOriginalJobId),
      // the option cache
      slotOf(&T::operator=), slotOf(static_cast<int (T::*)(const TaskOption&)>(&T::delFromOptCache)),
      slotOf(static_cast<int (T::*)(unsigned long long)>(&T::delFromOptCache)), slotOf(&T::updateOptCache),
      slotOf(&T::updateDefCache), slotOf(&T::isOption),
      slotOf(static_cast<int (T::*)(TaskOption&, void*)>(&T::getTaskOption)),
      slotOf(static_cast<int (T::*)(TaskOption&, void*)>(&T::getDefaultOption)),
      slotOf(static_cast<Lookup>(&T::getTaskOption)), slotOf(static_cast<Lookup>(&T::getDefaultOption)),
      slotOf(&T::initOptions), slotOf(&T::initDefaults),
      slotOf(static_cast<int (T::*)(std::vector<unsigned long long>, void*)>(&T::removeOptions))};
  EXPECT_EQ((std::vector<std::ptrdiff_t>{0, 1, 2, 3, 13, 20, 23, 38, 40, 41, 80, 81, 106, 108, 113, 118, 119, 128, 132,
                                         2, 3, 4, 5, 8, 9, 12, 15, 16, 18, 19, 21, 23}),
            slots);
}

}  // namespace
