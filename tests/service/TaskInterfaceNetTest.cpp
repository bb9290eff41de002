#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "platform/AppMgrExchange.h"
#include "platform/PlatformMessages.h"
#include "platform/YMGlobalParam.h"
#include "platform/YMPlatformInfo.h"
#include "platform/YmErrors.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"
#include "support/FakeAppMgr.h"
#include "support/TestSupport.h"

using namespace evtask;
using evtask::test::ScopedFakeAppMgr;

namespace {

class TaskInterfaceNetTest : public ::testing::Test {
 protected:
  void SetUp() override { YMPlatformInfo::clearStore(); }

  ScopedFakeAppMgr fake;
  TaskInterfaceNet net;
  std::string err;
};

Sched_AssocEntity entity(long clientId) {
  Sched_AssocEntity e;
  e.reserved1 = 91;
  e.reserved2 = 92;
  e.taskId = 5;
  e.clientGroupId = 6;
  e.clientId = clientId;
  e.appTypeId = 8;
  e.instanceId = 9;
  e.backupsetId = 10;
  e.subclientId = 11;
  e.extraValue1 = 12;
  e.extraValue2 = 13;
  e.localValue1 = 14;
  e.localValue2 = 15;
  return e;
}

}  // namespace

TEST_F(TaskInterfaceNetTest, LookupTakesText) {
  _TaskInfo task;
  OptionsLookupResp resp{};
  char text[] = "option text";
  resp.optionText = text;
  fake->respond(msg::kLookup, resp);
  ASSERT_EQ(0, net.lookup(task, err, nullptr)) << err;
  EXPECT_EQ("option text", task.optionText);
  const auto req = fake->last(msg::kLookup);
  EXPECT_EQ(72u, req.size);
  const auto& r = req.as<TaskOptionsLookupReq>();
  EXPECT_EQ(nullptr, r.info.optionText);
  EXPECT_EQ(kAppMgrReqMagic, r.header.magic) << "the request header is filled";
}

TEST_F(TaskInterfaceNetTest, LookupWithoutTextEmptiesTheRecordsText) {
  _TaskInfo task;
  task.optionText = "stale";
  ASSERT_EQ(0, net.lookup(task, err, nullptr));
  EXPECT_EQ("", task.optionText);
}

TEST_F(TaskInterfaceNetTest, UpdateSendsTheOptionText) {
  _TaskInfo task;
  task.taskId = 8;
  task.optionText = "new text";
  ASSERT_EQ(0, net.update(task, err, nullptr));
  const auto req = fake->last(msg::kUpdate);
  EXPECT_STREQ("new text", req.as<TaskOptionsUpdateReq>().info.optionText);
}

TEST_F(TaskInterfaceNetTest, FailedHeaderCheckCopiesServerTextAndLeavesRecord) {
  _TaskInfo task;
  task.optionText = "kept";
  task.task.flags = 0x80;
  fake->respondError(msg::kLookup, 4711, "task is locked");
  EXPECT_EQ(4711, net.lookup(task, err, nullptr));
  EXPECT_EQ("task is locked", err);
  EXPECT_EQ("kept", task.optionText);
  fake->respondError(msg::kGetTaskInfo, 12, "");
  EXPECT_EQ(12, net.getTaskInfo(task, err, nullptr));
  EXPECT_EQ("", err);
  EXPECT_EQ(0x80u, task.task.flags);
  // A header that is no response header says so, whatever its text field.
  fake->respondError(msg::kLookup, 0, "looks fine");
  fake->mutateNextResponse([](Frame& f) { f[kFrameHeaderSize] ^= 0xFF; });
  EXPECT_EQ(YM_SESSION_PROTOCOL_ERROR, net.lookup(task, err, nullptr));
  EXPECT_EQ(AppMgrExchange::kBadResponseMagicText, err);
  EXPECT_EQ("kept", task.optionText);
}

TEST_F(TaskInterfaceNetTest, GetJobInfoResolvesIdsEvenForJobZero) {
  _TaskInfo task;
  GenericTaskApiResp resp{};
  resp.info.taskId = 31;
  resp.info.subTaskId = 32;
  fake->respond(msg::kGetJobInfo, resp);
  ASSERT_EQ(0, net.getJobInfo(task, err, nullptr));
  EXPECT_EQ(31u, task.taskId);
  EXPECT_EQ(32u, task.subTaskId);
  EXPECT_EQ(0ull, fake->last(msg::kGetJobInfo).as<GenericTaskApiReq>().info.jobId);
}

TEST_F(TaskInterfaceNetTest, GetTaskInfoKeepsDescriptionAndSetTaskInfoSendsRow) {
  _TaskInfo task;
  task.taskId = 44;
  task.task.description = "my task";
  TaskInfoResp resp{};
  resp.task = Sch_Task{44, 1, 0x80, 3, {4, 5, 6, 7, 8}, 0x900000009ull, 0};
  fake->respond(msg::kGetTaskInfo, resp);
  ASSERT_EQ(0, net.getTaskInfo(task, err, nullptr));
  EXPECT_EQ("my task", task.task.description);
  EXPECT_EQ(0x80u, task.task.flags);
  EXPECT_EQ(8u, task.task.reserved6);
  EXPECT_EQ(0x900000009ull, task.task.reserved64);

  ASSERT_EQ(0, net.setTaskInfo(task, err, nullptr));
  const auto rec1 = fake->last(msg::kSetTaskInfo);
  const auto& sent = rec1.as<SetTaskInfoReq>();
  EXPECT_EQ(0, std::memcmp(&sent.task, &resp.task, sizeof resp.task)) << "the row travels unchanged";
}

TEST_F(TaskInterfaceNetTest, GetSubTaskInfoReplacesTheWholeRow) {
  _TaskInfo task;
  task.taskId = 1;
  task.subTaskId = 2;
  SubTaskInfoResp resp{};
  resp.subTask = Sch_SubTask{77, 1, 3, 4, 5};
  fake->respond(msg::kGetSubTaskInfo, resp);
  ASSERT_EQ(0, net.getSubTaskInfo(task, err, nullptr));
  EXPECT_EQ(77u, task.subTask.subTaskId);
  EXPECT_EQ(5, task.subTask.reserved1);
}

TEST_F(TaskInterfaceNetTest, EntitiesAreAppendedWithLocalFieldsZero) {
  _TaskInfo task;
  task.entities.push_back(entity(1));
  Sch_AssocEntity rows[1]{};
  rows[0] = Sch_AssocEntity{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  EntityInfoResp resp{};
  resp.count = 1;
  resp.entities = rows;
  fake->respond(msg::kGetEntityInfo, resp);
  ASSERT_EQ(0, net.getEntityInfo(task, err, nullptr));
  ASSERT_EQ(2u, task.entities.size());
  const Sched_AssocEntity& e = task.entities[1];
  EXPECT_EQ(1, e.reserved1);
  EXPECT_EQ(5, e.clientId);
  EXPECT_EQ(11, e.extraValue2);
  EXPECT_EQ(0, e.localValue1);
  EXPECT_EQ(0, e.localValue2);
}

TEST_F(TaskInterfaceNetTest, SetEntityInfoSendsElevenFieldsPerRowOrCountZero) {
  _TaskInfo task;
  task.taskId = 3;
  ASSERT_EQ(0, net.setEntityInfo(task, err, nullptr));
  auto req = fake->last(msg::kSetEntityInfo);
  EXPECT_EQ(80u, req.size);
  EXPECT_EQ(0u, req.as<SetEntityInfoReq>().count);
  EXPECT_EQ(nullptr, req.as<SetEntityInfoReq>().entities);

  task.entities.push_back(entity(7));
  task.entities.push_back(entity(8));
  ASSERT_EQ(0, net.setEntityInfo(task, err, nullptr));
  req = fake->last(msg::kSetEntityInfo);
  const auto& r = req.as<SetEntityInfoReq>();
  ASSERT_EQ(2u, r.count);
  EXPECT_EQ(91u, r.entities[0].field0);
  EXPECT_EQ(7u, r.entities[0].clientId);
  EXPECT_EQ(13u, r.entities[0].field10);
  EXPECT_EQ(8u, r.entities[1].clientId);
}

TEST_F(TaskInterfaceNetTest, GetDefaultTaskIdChangesOnlyTheTaskRowId) {
  _TaskInfo task;
  task.taskId = 9;
  task.task.flags = 3;
  TaskInfoResp resp{};
  resp.task.taskId = 1234;
  resp.task.flags = 0xFF;
  fake->respond(msg::kGetDefaultTaskId, resp);
  ASSERT_EQ(0, net.getDefaultTaskId(task, err, nullptr));
  EXPECT_EQ(1234u, task.task.taskId);
  EXPECT_EQ(3u, task.task.flags);
  EXPECT_EQ(9u, task.taskId);
}

TEST_F(TaskInterfaceNetTest, PatternsOfTheFirstEntityAreAppended) {
  _TaskInfo task;
  task.entities.push_back(entity(7));
  task.entities.push_back(entity(8));
  Sch_Pattern rows[2]{};
  char a[] = "first", b[] = "second";
  rows[0].text1 = a;
  rows[0].fields1[7] = 8;
  rows[0].text3 = b;
  rows[0].field9 = 9;
  rows[0].fields2[6] = 16;
  GetPatternResp resp{};
  resp.count = 2;
  resp.patterns = rows;
  fake->respond(msg::kGetPatternInfo, resp);
  ASSERT_EQ(0, net.getPatternInfo(task, err, nullptr));
  ASSERT_EQ(2u, task.patterns.size());
  EXPECT_EQ("first", task.patterns[0].text1);
  EXPECT_EQ("", task.patterns[0].text2);
  EXPECT_EQ("second", task.patterns[0].text3);
  EXPECT_EQ(8, task.patterns[0].value8);
  EXPECT_EQ(9, task.patterns[0].value9);
  EXPECT_EQ(16, task.patterns[0].value16);
  const auto rec3 = fake->last(msg::kGetPatternInfo);
  const auto& r = rec3.as<GetPatternReq>();
  EXPECT_EQ(0u, r.entity.field0) << "fields 0 and 1 are not sent";
  EXPECT_EQ(0u, r.entity.field1);
  EXPECT_EQ(7u, r.entity.clientId);
  EXPECT_EQ(13u, r.entity.field10);
}

TEST_F(TaskInterfaceNetTest, PatternsOfATaskWithoutEntitiesAreNotRequested) {
  _TaskInfo task;
  EXPECT_EQ(YM_DB_NODATA, net.getPatternInfo(task, err, nullptr));
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(TaskInterfaceNetTest, NoServerGivesAClearError) {
  setInProcessHandler(nullptr);
  _TaskInfo task;
  EXPECT_EQ(YM_SESSION_NO_SERVER, net.lookup(task, err, nullptr));
  EXPECT_NE(std::string::npos, err.find("No application manager")) << err;
  YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", "tcp:127.0.0.1:1");
  EXPECT_EQ(YM_SESSION_NO_SERVER, net.lookup(task, err, nullptr));
  YMPlatformInfo::clearStore();
}

TEST_F(TaskInterfaceNetTest, GlobalParametersTravelThroughTheSession) {
  YMGlobalParam param;
  EXPECT_EQ(0, param.set("CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST", "1,2,3", nullptr));
  EXPECT_EQ("1,2,3", fake->globalParam("CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST"));
  std::string value = "old";
  EXPECT_EQ(0, param.get("CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST", value, nullptr));
  EXPECT_EQ("1,2,3", value);
  fake->respondError(kGlobalParamGetReq, 9, "no such parameter");
  value = "unchanged";
  EXPECT_EQ(9, param.get("X", value, nullptr));
  EXPECT_EQ("unchanged", value);
  EXPECT_EQ("no such parameter", param.lastError());
}

// For every exchange that carries the identity block: the fields it sends
// from the record, and (by their absence) the fields it must leave zero.
TEST_F(TaskInterfaceNetTest, EveryExchangeSendsExactlyItsIdentityFields) {
  enum : unsigned { kJob = 1, kTask = 2, kSub = 4, kKind = 8, kKey = 16 };
  _TaskInfo task;
  task.jobId = 0x100000011ULL;
  task.taskId = 22;
  task.subTaskId = 33;
  task.idKind = 2;
  task.optionKey = 0x500000055ULL;
  task.entities.push_back(entity(7));
  std::list<unsigned long long> jobs;
  std::string value;
  const TaskOption option(4, "v", 1);
  const TaskFile file(4, "f", 1);
  struct Row {
    const char* name;
    uint32_t type;
    unsigned fields;
    std::function<int()> call;
  };
  const std::vector<Row> rows = {
      {"lookup", msg::kLookup, kJob | kTask | kSub | kKind | kKey, [&] { return net.lookup(task, err, nullptr); }},
      {"update", msg::kUpdate, kJob | kTask | kSub | kKind | kKey, [&] { return net.update(task, err, nullptr); }},
      {"getOptions", msg::kGetOptions, kJob | kTask | kSub | kKind,
       [&] { return net.getOptions(task, nullptr, err, nullptr); }},
      {"getDefaults", msg::kGetDefaults, 0, [&] { return net.getDefaults(nullptr, err, nullptr); }},
      {"setOptions", msg::kSetOptions, kJob | kTask | kSub | kKey,
       [&] { return net.setOptions(task, {&option}, err, nullptr); }},
      {"removeOptions", msg::kRemoveOptions, kJob | kTask | kSub | kKey,
       [&] { return net.removeOptions(task, std::vector<const TaskOption*>{&option}, err, nullptr); }},
      {"removeOptions ids", msg::kRemoveOptionIds, kJob | kTask | kSub | kKey,
       [&] { return net.removeOptions(task, std::vector<unsigned long long>{4}, err, nullptr); }},
      {"getFiles", msg::kGetFiles, kJob | kTask | kSub | kKey, [&] { return net.getFiles(task, nullptr, err, nullptr); }},
      {"setFiles", msg::kSetFiles, kJob | kTask | kSub | kKey, [&] { return net.setFiles(task, {&file}, err, nullptr); }},
      {"removeFiles", msg::kRemoveFiles, kJob | kTask | kSub | kKey,
       [&] { return net.removeFiles(task, std::vector<const TaskFile*>{&file}, err, nullptr); }},
      {"removeFiles names", msg::kRemoveFileNames, kJob | kTask | kSub | kKey,
       [&] { return net.removeFiles(task, std::vector<std::string>{"f"}, err, nullptr); }},
      {"getXMLOptions", msg::kGetXMLOptions, kJob | kTask | kSub, [&] { return net.getXMLOptions(task, err, nullptr); }},
      {"getBitOptions", msg::kGetBitOptions, kJob | kTask | kSub, [&] { return net.getBitOptions(task, err, nullptr); }},
      {"getExtendedOptions", msg::kGetExtendedOptions, kJob | kTask | kSub,
       [&] { return net.getExtendedOptions(task, err, nullptr); }},
      {"getJobInfo", msg::kGetJobInfo, kJob, [&] {
         _TaskInfo copy = task;
         return net.getJobInfo(copy, err, nullptr);
       }},
      {"getTaskInfo", msg::kGetTaskInfo, kTask, [&] { return net.getTaskInfo(task, err, nullptr); }},
      {"getSubTaskInfo", msg::kGetSubTaskInfo, kTask | kSub, [&] { return net.getSubTaskInfo(task, err, nullptr); }},
      {"getEntityInfo", msg::kGetEntityInfo, kTask | kSub, [&] { return net.getEntityInfo(task, err, nullptr); }},
      {"setTaskInfo", msg::kSetTaskInfo, kTask, [&] { return net.setTaskInfo(task, err, nullptr); }},
      {"setSubTaskInfo", msg::kSetSubTaskInfo, kTask | kSub, [&] { return net.setSubTaskInfo(task, err, nullptr); }},
      {"setEntityInfo", msg::kSetEntityInfo, kTask | kSub, [&] { return net.setEntityInfo(task, err, nullptr); }},
      {"getDefaultTaskId", msg::kGetDefaultTaskId, 0, [&] {
         _TaskInfo copy = task;
         return net.getDefaultTaskId(copy, err, nullptr);
       }},
      {"getJobListFromTaskId", msg::kGetJobListFromTaskId, kJob | kTask | kSub | kKey,
       [&] { return net.getJobListFromTaskId(task, jobs, err, nullptr); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(0, row.call()) << err;
    const evtask::test::RecordedRequest r = fake->last(row.type);
    ASSERT_GE(r.size, 16u + sizeof(TaskApiInfo));
    const TaskApiInfo& sent = r.as<GenericTaskApiReq>().info;
    EXPECT_EQ((row.fields & kJob) ? task.jobId : 0u, sent.jobId);
    EXPECT_EQ((row.fields & kTask) ? task.taskId : 0u, sent.taskId);
    EXPECT_EQ((row.fields & kSub) ? task.subTaskId : 0u, sent.subTaskId);
    EXPECT_EQ((row.fields & kKind) ? task.idKind : 0, sent.idKind);
    EXPECT_EQ((row.fields & kKey) ? task.optionKey : 0u, sent.optionKey);
    for (uint8_t b : sent.reserved) EXPECT_EQ(0, b);
  }
  // getDefaultOption puts the wanted option id in the key position only.
  ASSERT_EQ(0, net.getDefaultOption(77, value, err, nullptr));
  const evtask::test::RecordedRequest request = fake->last(msg::kGetDefaultOption);
  const TaskApiInfo& sent = request.as<GenericTaskApiReq>().info;
  EXPECT_EQ("0 0 0 0 77", std::to_string(sent.jobId) + " " + std::to_string(sent.taskId) + " " +
                              std::to_string(sent.subTaskId) + " " + std::to_string(sent.idKind) + " " +
                              std::to_string(sent.optionKey));
}
