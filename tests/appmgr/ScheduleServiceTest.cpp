// The embedded application manager: every service operation, what it
// refuses, its store, and the schedule and job messages driven through the
// task object; jobs run on a fake clock.
#include <gtest/gtest.h>

#include <cstring>

#include "ServiceScenario.h"
#include "appmgr/AppManager.h"
#include "appmgr/AppMgrErrors.h"
#include "appmgr/Embedded.h"
#include "platform/FrameCodec.h"
#include "platform/XmlServices.h"
#include "schedule/XmlMessages.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"
#include "support/FakeXml.h"
#include "support/TestSupport.h"
#include "task/EvTask.h"

namespace evtask {
namespace appmgr {
namespace {

using test::makeTempDir;
using test::removeTree;
using test::vals;

class ScheduleServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    open(0.0, 1.0);
  }
  void TearDown() override {
    setInProcessHandler(nullptr);
    server.reset();
    removeTree(dir);
  }
  void open(double failureRatio, double speed) {
    setInProcessHandler(nullptr);
    server.reset();
    server = std::make_shared<AppManager>();
    AppManagerOptions o;
    o.dbPath = dir + "/store" + std::to_string(++opened) + ".db";
    o.initDemo = true;
    o.failureRatio = failureRatio;
    o.jobSpeed = speed;
    o.clock = &clock;
    std::string err;
    ASSERT_EQ(0, server->open(o, err)) << err;
    setInProcessHandler(server);
  }

  // A scheduled task for the client whose one subtask carries an automatic
  // pattern; returns the task id.
  int autoSchedule(int clientId, TMMsg::TaskOperationType op, long long frequency, long long startTime) {
    YmEntities::GenericEntity e;
    e.setint64(47, 0, clientId);
    e.setint64(38, 0, 29);
    std::vector<YmEntities::GenericEntity> assocs{e};
    TMMsg::JobOption options;
    CNMessageBase* holder = options.getObjectAccessor(4, 0, true, true, 12, TMMsg::kJobOptionScheduleClass);
    CNMessageBase* pattern = holder->getObjectAccessor(13, 0, true, true, 12, TMMsg::AutomaticSchedulePattern::kClass);
    pattern->setint64(1, 0, frequency);
    pattern->setint64(3, 0, startTime);
    TMMsg::Pattern p;
    p.setstring(2, 0, "auto");
    int taskId = 0;
    std::list<long long> jobIds;
    std::string err;
    EXPECT_EQ(0, task._createScheduleJob(taskId, TMMsg::SUBTASK_BACKUP, op, jobIds, err, 1, &assocs, &p, &options, 0,
                                         0, false, TMMsg::TASK_SCHEDULE, "auto", "automatic"))
        << err;
    EXPECT_TRUE(jobIds.empty()) << "a schedule starts no job";
    return taskId;
  }

  std::list<long long> immediate(std::vector<YmEntities::GenericEntity> assocs) {
    std::list<long long> jobIds;
    std::string err;
    EXPECT_EQ(0, task.createScheduleJob(TMMsg::SUBTASK_BACKUP, TMMsg::OP_BACKUP, jobIds, err, 1, &assocs, nullptr,
                                        nullptr, 0, 0, false, TMMsg::TASK_IMMEDIATE, "", ""))
        << err;
    return jobIds;
  }

  // Sends a raw frame and decodes the answer's header.
  AppMgrRespHdr ask(const Frame& request, uint32_t expectType, std::string& text) {
    Frame response;
    EXPECT_TRUE(server->answer(request.data(), request.size(), response));
    std::vector<uint64_t> buf(16, 0);
    WireArena arena;
    std::string err;
    const WireLayout* layout = WireCatalogue::instance().find(expectType);
    EXPECT_EQ(0, DecodeFrame(response.data(), response.size(), expectType, buf.data(), layout->size, &arena, &err))
        << err;
    AppMgrRespHdr h;
    std::memcpy(&h, buf.data(), sizeof h);
    text = h.errorText != nullptr ? h.errorText : "";
    return h;
  }

  test::FakeClock clock;
  std::string dir;
  int opened = 0;
  std::shared_ptr<AppManager> server;
  EvTask task{0, 0, nullptr, false};
};

// The server's general behaviour, on the same embedded store.
using AppManagerTest = ScheduleServiceTest;

TEST_F(AppManagerTest, ServesEveryServiceOperationInProcess) { test::runServiceScenario(5000); }

// What it cannot serve gets a code and a text, answering the request it got;
// a reference outside the frame is among the socket tests' damaged frames.
TEST_F(AppManagerTest, RefusesWhatItCannotServeWithCodeAndText) {
  GenericTaskApiReq req{};
  req.header = AppMgrReqHdr{kAppMgrReqMagic, kAppMgrHdrVersion, 1, 42};
  GenericTaskApiReq foreign = req;
  foreign.header.magic = 0;
  const struct {
    const char* name;
    const GenericTaskApiReq* request;
    uint32_t type;
    int server;  // 0 open, 1 never opened (no handlers), 2 closed
    int code;
    const char* text;
  } cases[] = {
      {"foreign header", &foreign, msg::kGetTaskInfo, 0, kAmMalformed,
       "request header is not a request header of this protocol"},
      {"type without a handler", &req, msg::kGetAutomaticSchedulePattern, 1, kAmUnsupported,
       "message type 0x4900006E is not served by this application manager"},
      {"closed", &req, msg::kGetTaskInfo, 2, kAmBusy, "the application manager is shutting down"},
  };
  const std::shared_ptr<AppManager> opened = server;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Frame f;
    std::string err, text;
    ASSERT_EQ(0, EncodeFrame(c.type, c.request, sizeof *c.request, &f, &err));
    server = c.server == 1 ? std::make_shared<AppManager>() : opened;
    if (c.server == 2) server->close();
    const AppMgrRespHdr h = ask(f, c.type + 1, text);
    EXPECT_EQ(c.code, h.result);
    EXPECT_EQ(c.text, text);
    EXPECT_EQ(42u, h.sequence);
  }
  // Bytes that are no frame at all get no answer: the connection is dropped.
  Frame junk(7, 0xEE), response;
  EXPECT_FALSE(server->answer(junk.data(), junk.size(), response));
  EXPECT_TRUE(response.empty());
}

TEST_F(AppManagerTest, StoreIsMigratedOnceAndNewerSchemasAreRefused) {
  const std::string path = dir + "/store1.db";
  server->close();
  Store s;
  std::string err;
  ASSERT_EQ(0, s.open(path, err)) << err;
  {
    Query tasks(s, "SELECT count(*) FROM tasks"), journal(s, "PRAGMA journal_mode");
    ASSERT_TRUE(tasks.step() && journal.step());
    EXPECT_EQ(vals(Store::kSchemaVersion, int64_t(3), std::string("wal")),
              vals(s.schemaVersion(), tasks.integer(0), journal.text(0))) << "the demo tasks survive";
  }
  s.exec(("PRAGMA user_version=" + std::to_string(Store::kSchemaVersion + 1)).c_str());
  s.close();
  EXPECT_NE(0, s.open(path, err));
  EXPECT_NE(std::string::npos, err.find("has schema version")) << err;
}

TEST_F(ScheduleServiceTest, SchedulesAreListedForTheirEntityAndKind) {
  autoSchedule(41, TMMsg::OP_BACKUP, 7200, 300);
  autoSchedule(41, TMMsg::OP_BACKUP, 3600, 900);
  const int update = autoSchedule(42, TMMsg::OP_INSTALL_SOFTWARE, 600, 60);
  ASSERT_EQ(0, task.createEZBackupSchedule(1, 29, 41, "ez", "easy"));
  immediate({});
  // Kind 0 automatic, 1 all, 2 update: client, kind, tasks found.
  const int cases[][3] = {{41, 0, 2}, {41, 1, 3}, {41, 2, 0}, {42, 0, 1}, {43, 1, 0}, {42, 2, 1}};
  std::vector<_AutomaticTaskInfo> found;
  std::string err;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::vector<int>(c, c + 3)));
    found.clear();
    Sched_AssocEntity e;
    e.clientId = c[0];
    ASSERT_EQ(0, c[1] == 0   ? task.getAutomaticSchedules(c[0], found, err, false, 1, 0, 0, false, nullptr)
                 : c[1] == 2 ? task.getUpdateSchedules(c[0], found, err, false, 1, 0, 0, false, nullptr)
                             : task.getSchedulesInfoForEntity(e, found, err, false, false, nullptr, 1, 0, 0, false,
                                                              nullptr)) << err;
    EXPECT_EQ(static_cast<size_t>(c[2]), found.size());
    for (const _AutomaticTaskInfo& t : found) {
      ASSERT_FALSE(t.entities.empty());
      EXPECT_EQ(c[0], t.entities[0].clientId);
      if (c[1] == 1) continue;
      ASSERT_EQ(1u, t.subTasks.size());
      EXPECT_FALSE(t.subTasks[0].automaticPattern.empty());
      EXPECT_EQ(c[0] == 42 ? TMMsg::OP_INSTALL_SOFTWARE : TMMsg::OP_BACKUP, t.subTasks[0].subTask.operationType);
    }
  }
  // found: the update schedule of 42.
  EXPECT_EQ(static_cast<unsigned long>(update), found[0].subTasks[0].subTask.taskId);
  unsigned long frequency = 0, start = 0;
  EXPECT_EQ(0, task.getSmartScheduleFrequency(41, frequency, nullptr));
  EXPECT_EQ(3600u, frequency) << "the smallest of the client's automatic schedules";
  EXPECT_EQ(0, task.getScheduleStartTimeForNotCompletedJob(41, start, nullptr));
  EXPECT_EQ(300u, start);
  // The stored pattern of one subtask, and the refusal for one without.
  std::string xml;
  ASSERT_EQ(0, task.getAutomaticSchedulePattern(found[0].subTasks[0].subTask.subTaskId, xml, nullptr));
  TMMsg::AutomaticSchedulePattern pattern;
  ASSERT_EQ(0, pattern.unserialize(xml)) << xml;
  EXPECT_EQ(600, test::num(pattern, {}, 1));
  EXPECT_EQ(kAmNotFound, task.getAutomaticSchedulePattern(2002, xml, nullptr));
  EXPECT_EQ("subtask 2002 has no automatic schedule pattern", task.getErrorString());
}

TEST_F(ScheduleServiceTest, ImmediateJobsEndOnTheClockInTheirFinalState) {
  const struct {
    double failureRatio, speed;
    bool success;
    const char* status;
    const char* detail;
    size_t polls;
  } cases[] = {{0, 1, true, "Completed", "", 1}, {1, 1, false, "Failed", "The simulated job failed", 1},
               {0, 0.1, true, "Completed", "", 4}};  // the last runs for 100 s
  for (const auto& c : cases) {
    SCOPED_TRACE(c.speed + c.failureRatio);
    open(c.failureRatio, c.speed);
    const size_t before = clock.sleeps().size();
    YmEntities::GenericEntity e;
    e.setint64(11, 0, 31);
    const std::list<long long> jobIds = immediate({e, e});
    ASSERT_EQ(1u, jobIds.size());
    bool success = !c.success;
    std::string status, detail;
    ASSERT_TRUE(task.WaitForJobToComplete(jobIds.front(), success, status, detail));
    EXPECT_EQ(vals(c.success, std::string(c.status), std::string(c.detail), c.polls),
              vals(success, status, detail, clock.sleeps().size() - before));
    // The subclients of the job's request, appended once each.
    EvTask job(static_cast<unsigned long long>(jobIds.front()), 0, nullptr, false);
    int requestId = 0;
    std::vector<int> subclients{99};
    ASSERT_EQ(0, job.getEntitiesFromRequest(requestId, subclients, nullptr)) << job.getErrorString();
    EXPECT_NE(0, requestId);
    EXPECT_EQ((std::vector<int>{99, 31}), subclients);
  }
  // A job still running reports its progress; an unknown job is left out,
  // and the wait gives up on it after its failed polls.
  std::vector<long long> ids{immediate({}).front()};
  clock.sleepMs(2500);
  JobManager::JobListResponse response;
  ASSERT_TRUE(task.GetJobSummary(ids, response));
  std::vector<JobManager::Job> jobs;
  ASSERT_EQ(0, response.getlistobject(1, 0, jobs));
  ASSERT_EQ(1u, jobs.size());
  EXPECT_EQ(vals(std::string("Running"), std::string("Progress 2%")),
            vals(test::text(jobs[0], {1}, 10), test::text(jobs[0], {1}, 19)));
  ids = {999999};
  ASSERT_TRUE(task.GetJobSummary(ids, response));
  EXPECT_EQ(0, response.getlistobject(1, 0, jobs));
  EXPECT_TRUE(jobs.empty());
  bool success = true;
  std::string status, detail;
  EXPECT_FALSE(task.WaitForJobToComplete(999999, success, status, detail));
}

TEST_F(ScheduleServiceTest, RunningStartsOneJobPerSubtaskUnderOneRequest) {
  ASSERT_EQ(0, task.createEZBackupSchedule(1, 29, 44, "ez", ""));
  Sched_AssocEntity who;
  who.clientId = 44;
  std::vector<_AutomaticTaskInfo> found;
  std::string err;
  ASSERT_EQ(0, task.getSchedulesInfoForEntity(who, found, err, false, false, nullptr, 1, 0, 0, false, nullptr));
  ASSERT_EQ(1u, found.size());
  ASSERT_EQ(2u, found[0].subTasks.size());
  std::vector<Sched_SubTask> both{found[0].subTasks[0].subTask, found[0].subTasks[1].subTask};
  std::list<long long> ids, operated, one;
  ASSERT_EQ(0, task.runTasks(both, ids, err, 1, 0, 0, false, nullptr)) << err;
  ASSERT_EQ(2u, ids.size());
  ASSERT_EQ(0, task.performOperation(found, operated, err, TMMsg::OP_RUN_NOW, 0, 1, 0, 0, false, nullptr)) << err;
  EXPECT_EQ(2u, operated.size()) << "one job per subtask of the task info";
  ASSERT_EQ(0, task.runTask(both[1].taskId, both[1].subTaskId, one, err, 1, 0, 0, false, nullptr)) << err;
  // Both jobs of one run share its request; jobs of separate runs do not.
  std::vector<int> requests, subclients;
  for (long long id : {ids.front(), ids.back(), one.front()}) {
    EvTask job(static_cast<unsigned long long>(id), 0, nullptr, false);
    requests.push_back(0);
    ASSERT_EQ(0, job.getEntitiesFromRequest(requests.back(), subclients, nullptr));
  }
  EXPECT_EQ(requests[0], requests[1]);
  EXPECT_NE(requests[0], requests[2]);
  EXPECT_TRUE(subclients.empty()) << "the easy-backup task names no subclient";
  // Triggering a subtask runs it now and waits for its job.
  YmEntities::SubtaskEntity sub;
  sub.setint64(0, 0, static_cast<long long>(both[0].subTaskId));
  bool success = false;
  std::string status, detail;
  EXPECT_EQ(0, task.TriggerJobforSubtask(sub, err, success, status, detail)) << err;
  EXPECT_TRUE(success);
  // Unknown or mismatched subtasks are refused and start nothing.
  for (unsigned long otherTask : {999ul, 1001ul}) {
    std::list<long long> none{5};
    EXPECT_EQ(kAmNotFound, task.runTask(otherTask, both[0].subTaskId, none, err, 1, 0, 0, false, nullptr));
    EXPECT_EQ("subtask " + std::to_string(both[0].subTaskId) + " of task " + std::to_string(otherTask) +
                  " does not exist", err);
    EXPECT_EQ(std::list<long long>{5}, none);
  }
  std::vector<Sched_SubTask> empty;
  EXPECT_EQ(kAmBadRequest, task.runTasks(empty, ids, err, 1, 0, 0, false, nullptr));
  sub.setint64(0, 0, 777777);
  EXPECT_EQ(1, task.TriggerJobforSubtask(sub, err, success, status, detail));
}

TEST_F(ScheduleServiceTest, DeletingTasksIsAllOrNothing) {
  const int one = autoSchedule(45, TMMsg::OP_BACKUP, 60, 0);
  const int two = autoSchedule(45, TMMsg::OP_BACKUP, 60, 0);
  registerScheduleMessageClasses();
  TMMsg::TaskOperationReq req;
  req.setint64(4, 0, TMMsg::OP_DELETE);
  req.setlistuint(2, 0, {static_cast<unsigned>(one), 424242u});
  std::string xml, err;
  ASSERT_EQ(0, req.serialize(xml));
  EXPECT_EQ(kAmNotFound, XMLHandler().handleXMLReq(1, req.getTagID(), xml, err, "", 0));
  EXPECT_EQ("task 424242 does not exist", err);
  std::vector<_AutomaticTaskInfo> found;
  ASSERT_EQ(0, task.getAutomaticSchedules(45, found, err, false, 1, 0, 0, false, nullptr));
  EXPECT_EQ(2u, found.size()) << "the known task of a refused request stays";

  EvEvent ev("test");
  ASSERT_EQ(0, task.deleteTaskReq(std::to_string(one), ev, err)) << err;
  found.clear();
  ASSERT_EQ(0, task.getAutomaticSchedules(45, found, err, false, 1, 0, 0, false, nullptr));
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(static_cast<unsigned long>(two), found[0].subTasks[0].subTask.taskId);
  _TaskInfo info;
  info.taskId = one;
  EXPECT_EQ(kAmNotFound, TaskInterfaceNet().getTaskInfo(info, err, nullptr));

  // The id of a deleted task that ran jobs is not given to a new task.
  std::list<long long> jobIds;
  ASSERT_EQ(0, task.runTask(two, found[0].subTasks[0].subTask.subTaskId, jobIds, err, 1, 0, 0, false, nullptr));
  ASSERT_EQ(0, task.deleteTaskReq(std::to_string(two), ev, err)) << err;
  EXPECT_GT(autoSchedule(45, TMMsg::OP_BACKUP, 60, 0), two);
}

TEST_F(ScheduleServiceTest, RequestsItCannotServeGetACodeAndAText) {
  registerScheduleMessageClasses();
  // Task creation: the refusal comes as a generic response, nothing is stored.
  TMMsg::CreateTaskReq noSubTask;
  CNMessageBase* info = noSubTask.getObjectAccessor(2, 0, true, true, 12, TMMsg::TaskInfo::kClass);
  CNMessageBase* taskElement = info->getObjectAccessor(1, 0, true, true, 12, TMMsg::Task::kClass);
  std::string noSubTaskXml, badTypeXml, listXml;
  ASSERT_EQ(0, noSubTask.serialize(badTypeXml));
  taskElement->setint64(8, 0, 1);
  ASSERT_EQ(0, noSubTask.serialize(noSubTaskXml));
  ASSERT_EQ(0, TMMsg::GetTaskListReq().serialize(listXml));
  const std::pair<std::string, const char*> creations[] = {
      {"", "the task creation request carries no XML"},      {"<junk", "the task creation request does not parse: "},
      {listXml, "the task creation request does not parse: "}, {noSubTaskXml, "the task info carries no subtask"},
      {badTypeXml, "task type 0 is not valid"}};
  std::string err;
  std::list<long long> jobIds;
  for (const auto& c : creations) {
    SCOPED_TRACE(c.second);
    std::string xml = c.first;
    int taskId = -1;
    ASSERT_EQ(0, TaskInterfaceNet().CreateTask(xml, jobIds, taskId, 1, err, 0, 0, false, false)) << err;
    TMMsg::GenericResp refusal;
    ASSERT_EQ(0, refusal.unserialize(xml)) << xml;
    EXPECT_EQ(kAmBadRequest, test::num(refusal, {}, 1));
    EXPECT_EQ(0u, test::text(refusal, {}, 2).find(c.second)) << xml;
    EXPECT_TRUE(jobIds.empty());
  }
  Query count(server->store(), "SELECT COUNT(*) FROM tasks");
  ASSERT_TRUE(count.step());
  EXPECT_EQ(3, count.integer(0)) << "only the demo tasks";
  // Requests of kinds this server does not serve, and an unknown job.
  std::string xml = listXml, out;
  int taskId = 0;
  EXPECT_EQ(kAmUnsupported, TaskInterfaceNet().TaskRequest(xml, jobIds, taskId, 1, err, 7, 0, 0, false, false));
  EXPECT_EQ("task request kind 0x00000007 is not served by this application manager", err);
  TMMsg::TaskOperationReq op;
  op.setint64(4, 0, 9);
  ASSERT_EQ(0, op.serialize(xml));
  EXPECT_EQ(kAmUnsupported, XMLHandler().handleXMLReq(1, op.getTagID(), xml, err, "", 0));
  EXPECT_EQ("task operation 9 is not served by this application manager", err);
  EXPECT_EQ(kAmUnsupported, XMLHandler().handleXMLReq(1, 0x00150001, xml, err, "", 0));
  EXPECT_EQ("XML request 0x00150001 is not served by this application manager", err);
  EvTask unknownJob(888888, 0, nullptr, false);
  int requestId = -1;
  std::vector<int> subclients;
  EXPECT_EQ(kAmNotFound, unknownJob.getEntitiesFromRequest(requestId, subclients, nullptr));
  EXPECT_EQ("job 888888 does not exist", unknownJob.getErrorString());
  EXPECT_EQ(-1, requestId);
  App_ExecuteSP sp;
  EXPECT_EQ(kAmUnsupported, sp.executeStoredProcedure(0x1234, "<x/>", out, nullptr));
  EXPECT_EQ("stored procedure 0x00001234 is not served by this application manager", sp.lastError());
}

}  // namespace
}  // namespace appmgr
}  // namespace evtask
