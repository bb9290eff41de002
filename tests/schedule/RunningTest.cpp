// Running tasks, operations on automatic tasks and schedule queries.
#include <gtest/gtest.h>

#include "schedule/ScheduleTestXml.h"
#include "schedule/XmlMessages.h"
#include "support/FakeXml.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

YmEntities::GenericEntity assoc(long long client, long long group = 0) {
  YmEntities::GenericEntity e;
  e.setint64(47, 0, client);
  if (group != 0) e.setint64(73, 0, group);
  e.setint64(38, 0, 33);
  return e;
}

TMMsg::SubTaskInfo subTask(long long id, long long frequency, long long start) {
  TMMsg::SubTaskInfo s;
  CNMessageBase* element = s.getObjectAccessor(1, 0, true, false, 12, 10);
  element->setint64(5, 0, id);
  element->setint64(6, 0, 2);
  element->setint64(7, 0, 4020);
  if (frequency >= 0) {
    CNMessageBase* p = s.getObjectAccessor(4, 0, true, false, 12, 262)
                           ->getObjectAccessor(4, 0, true, false, 12, 17)
                           ->getObjectAccessor(13, 0, true, false, 12, 336);
    p->setint64(1, 0, frequency);
    p->setint64(3, 0, start);
  }
  return s;
}

TMMsg::TaskInfo taskInfo(long long id, bool disabled, std::vector<YmEntities::GenericEntity> assocs,
                         std::vector<TMMsg::SubTaskInfo> subs) {
  TMMsg::TaskInfo t;
  CNMessageBase* task = t.getObjectAccessor(1, 0, true, false, 12, 367);
  task->setint64(1, 0, id);
  if (disabled) task->getObjectAccessor(6, 0, true, false, 12, 265)->setint64(1, 0, 1);
  t.setlistobject(3, 0, assocs);
  t.setlistobject(5, 0, subs);
  return t;
}

// Two tasks: 10 is disabled, 11 has associations for clients 5 and 6 and a
// client group, and one subtask with and one without an automatic pattern.
std::string twoTasks() {
  TMMsg::GetTaskListResp resp;
  resp.setlistobject(1, 0, std::vector<TMMsg::TaskInfo>{
                               taskInfo(10, true, {assoc(5)}, {subTask(1, 60, 7)}),
                               taskInfo(11, false, {assoc(5), assoc(6), assoc(0, 9)},
                                        {subTask(2, 3600, 300), subTask(3, -1, 0)}),
                           });
  std::string xml;
  resp.serialize(xml, false);
  return xml;
}

class RunningTest : public EvTaskTest {
 protected:
  EvTask task{0, 0, nullptr, false};
  std::list<long long> jobs;
  std::string err;
};

}  // namespace

TEST_F(RunningTest, RunTasksSendsOneEntryPerSubtaskAndAppendsJobs) {
  respondCreate(*fake, msg::kRunTasks, nullptr, {8, 9});
  std::vector<Sched_SubTask> subs(2);
  subs[0].subTaskId = 1;
  subs[0].taskId = 2;
  subs[1].subTaskId = 3;
  subs[1].taskId = 4;
  subs[1].subTaskType = 77;  // not sent
  jobs = {5};
  ASSERT_EQ(0, task.runTasks(subs, jobs, err, 6, 7, 99, true, nullptr));
  EXPECT_EQ((std::list<long long>{5, 8, 9}), jobs);
  RecordedRequest rec = fake->last(msg::kRunTasks);
  const TaskMgrReq& req = rec.as<TaskMgrReq>();
  ASSERT_EQ(vals(7, 6, 99ll, 1u, 2u), vals(req.localeId, req.userId, req.sequenceNumber, req.endUser, req.count));
  EXPECT_EQ(vals(1u, 2u, 3u, 4u, 0u), vals(req.entries[0].subTaskId, req.entries[0].taskId, req.entries[1].subTaskId,
                                          req.entries[1].taskId, req.entries[1].subTaskType));
  // No job ids: the reply's result decides; an empty list still goes out.
  LogCapture log;
  respondCreate(*fake, msg::kRunTasks, nullptr, {}, 0, 7, "nothing to run");
  std::vector<Sched_SubTask> none;
  EXPECT_EQ(7, task.runTasks(none, jobs, err, 6, 7, 0, false, nullptr));
  EXPECT_EQ("nothing to run", err);
  EXPECT_EQ((std::list<long long>{5, 8, 9}), jobs);
  EXPECT_EQ(0u, fake->last(msg::kRunTasks).as<TaskMgrReq>().count);
  EXPECT_TRUE(log.contains("TaskInterfaceNet::runTasks", "Missing task information"));
  respondCreate(*fake, msg::kRunTasks, nullptr, {12});
  EXPECT_EQ(0, task.runTask(3, 4, jobs, err, 1, 0, 0, false, nullptr));
  rec = fake->last(msg::kRunTasks);
  const TaskMgrReq& one = rec.as<TaskMgrReq>();
  EXPECT_EQ(vals(1u, 4u, 3u), vals(one.count, one.entries[0].subTaskId, one.entries[0].taskId));
}

// Run now for a client or an entity goes out as operation 5.
TEST_F(RunningTest, PerformOperationSendsEverySubtaskWithItsAssociations) {
  std::vector<_AutomaticTaskInfo> tasks(2);
  tasks[0].subTasks.resize(2);
  tasks[0].subTasks[0].subTask.subTaskId = 1;
  tasks[0].subTasks[0].subTask.taskId = tasks[0].subTasks[1].subTask.taskId = 10;
  tasks[0].subTasks[0].subTask.operationType = 4020;
  tasks[0].subTasks[1].subTask.subTaskId = 2;
  tasks[0].entities.resize(2);
  tasks[0].entities[0].taskId = 99;  // another task: a zero entry, still counted
  tasks[0].entities[0].clientId = 6;
  tasks[0].entities[1].taskId = 10;
  tasks[0].entities[1].clientId = 5;
  tasks[0].entities[1].subclientId = 8;
  // tasks[1] has no subtask: nothing to run, no entry.
  respondCreate(*fake, msg::kPerformOperation, nullptr, {21});
  jobs = {1, 2};
  ASSERT_EQ(0, task.performOperation(tasks, jobs, err, 5, 3, 6, 7, 8, true, nullptr));
  EXPECT_EQ(std::list<long long>{21}, jobs);
  RecordedRequest rec = fake->last(msg::kPerformOperation);
  const OperationReq& req = rec.as<OperationReq>();
  ASSERT_EQ(vals(5u, 3, 6, 7, 8ll, 1u, 2u), vals(req.operationType, req.initFrom, req.userId, req.localeId,
                                                req.sequenceNumber, req.endUser, req.count));
  for (uint32_t i = 0; i < 2; ++i) {
    const OperationEntity& e = req.entries[i];
    ASSERT_EQ(vals(i + 1, 10u, i == 0 ? 4020u : 0u, 2u), vals(e.subTask.subTaskId, e.subTask.taskId,
                                                             e.subTask.operationType, e.count));
    EXPECT_EQ(vals(0u, 0u, 5u, 8u, 10u), vals(e.entities[0].clientId, e.entities[0].taskId, e.entities[1].clientId,
                                             e.entities[1].subclientId, e.entities[1].taskId));
  }
  respondCreate(*fake, msg::kPerformOperation, nullptr, {1});
  ASSERT_EQ(0, task.runTaskForClient(44, 10, 2, jobs, err, 9, 1, 0, 0, false, nullptr));
  rec = fake->last(msg::kPerformOperation);
  const OperationReq& client = rec.as<OperationReq>();
  EXPECT_EQ(vals(1u, 5u, 9, 44u), vals(client.count, client.operationType, client.initFrom,
                                       client.entries[0].entities[0].clientId));
  Sched_AssocEntity e;
  e.taskId = 10;
  e.instanceId = 3;
  respondCreate(*fake, msg::kPerformOperation, nullptr, {1});
  ASSERT_EQ(0, task.runTaskForEntity(e, 10, 2, jobs, err, 0, 1, 0, 0, false, nullptr));
  rec = fake->last(msg::kPerformOperation);
  EXPECT_EQ(3u, rec.as<OperationReq>().entries[0].entities[0].instanceId);
}

TEST_F(RunningTest, ScheduleQueryFiltersTasksAssociationsAndSubtasks) {
  const struct {
    const char* name;
    long clientId;
    bool ignoreDisabled, automaticOnly;
    std::vector<unsigned long> taskIds;        // listed tasks
    std::vector<size_t> subTaskCounts;         // per listed task
    std::vector<long> lastTaskClients;         // clients of the last task's associations
  } cases[] = {
      {"automatic only, disabled ignored", 5, true, true, {11}, {1}, {5, 5}},
      {"everything", 5, false, false, {10, 11}, {1, 2}, {5, 5}},
      {"no client", 0, false, true, {10, 11}, {1, 1}, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    respondCreate(*fake, msg::kTaskRequest, twoTasks().c_str(), {});
    Sched_AssocEntity entity;
    entity.clientId = c.clientId;
    std::vector<_AutomaticTaskInfo> result(1);  // results are appended
    ASSERT_EQ(0, task.getSchedulesInfoForEntity(entity, result, err, c.ignoreDisabled, c.automaticOnly, nullptr, 4,
                                                0, 0, false, nullptr));
    ASSERT_EQ(c.taskIds.size() + 1, result.size());
    for (size_t i = 0; i < c.taskIds.size(); ++i) {
      const _AutomaticTaskInfo& t = result[i + 1];
      ASSERT_EQ(c.subTaskCounts[i], t.subTasks.size());
      for (const _SubTaskInfo& s : t.subTasks) EXPECT_EQ(c.taskIds[i], s.subTask.taskId);
    }
    std::vector<long> clients;
    for (const Sched_AssocEntity& a : result.back().entities) {
      clients.push_back(a.clientId);
      EXPECT_EQ(0u, a.taskId);
    }
    EXPECT_EQ(c.lastTaskClients, clients);
  }
  // The last query's request: the filter and the request kind.
  const RecordedRequest rec = fake->last(msg::kTaskRequest);
  EXPECT_EQ(vals(0x0C7E88C5u, 4), vals(rec.as<TaskMgrReq>().requestKind, rec.as<TaskMgrReq>().userId));
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kTaskRequest).back());
  EXPECT_EQ(TMMsg::GetTaskListReq().getTagID(), req.getTagID());
  EXPECT_EQ(vals(1ll, 1ll, 1ll, 0ll, 0ll), vals(num(req, {2}, 4), num(req, {2}, 6), num(req, {2}, 11),
                                               num(req, {2, 1}, 47), num(req, {2, 1}, 73)));
}

TEST_F(RunningTest, SubtaskKeepsItsIdsAndPattern) {
  respondCreate(*fake, msg::kTaskRequest, twoTasks().c_str(), {});
  std::vector<_AutomaticTaskInfo> result;
  ASSERT_EQ(0, task.getAutomaticSchedules(5, result, err, true, 1, 0, 0, false, nullptr));
  ASSERT_EQ(1u, result.size());
  const _SubTaskInfo& s = result[0].subTasks.at(0);
  EXPECT_EQ(vals(2ul, 2l, 4020l), vals(s.subTask.subTaskId, long(s.subTask.subTaskType), long(s.subTask.operationType)));
  TMMsg::AutomaticSchedulePattern p;
  ASSERT_EQ(0, p.unserialize(s.automaticPattern));
  EXPECT_EQ(3600, num(p, {}, 1));

  respondCreate(*fake, msg::kTaskRequest, "<m f=\"12\" c=\"88\"/>", {});
  ASSERT_EQ(0, task.getUpdateSchedules(5, result, err, false, 1, 0, 0, false, nullptr));
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kTaskRequest).back());
  std::vector<long long> ops;
  at(req, {2})->getlistint(3, 0, ops);
  EXPECT_EQ(std::vector<long long>{4020}, ops);
  EXPECT_EQ(kAbsent, num(req, {2}, 11));
  EXPECT_EQ(1u, result.size());
}

TEST_F(RunningTest, SmallestFrequencyAndStartTimeOfEnabledAutomaticSchedules) {
  unsigned long frequency = 1, start = 1;
  respondCreate(*fake, msg::kTaskRequest, twoTasks().c_str(), {});
  EXPECT_EQ(0, task.getSmartScheduleFrequency(5, frequency, nullptr));
  respondCreate(*fake, msg::kTaskRequest, twoTasks().c_str(), {});
  EXPECT_EQ(0, task.getScheduleStartTimeForNotCompletedJob(5, start, nullptr));
  EXPECT_EQ(vals(3600ul, 300ul), vals(frequency, start));  // task 10 (60) is disabled
  respondCreate(*fake, msg::kTaskRequest, "<m f=\"12\" c=\"88\"/>", {});
  EXPECT_EQ(0, task.getSmartScheduleFrequency(5, frequency, nullptr));
  EXPECT_EQ(0xFFFFFFFFu, frequency);
}

// The pattern is read through a copy: the object's own record keeps its
// subtask id and XML options.
TEST_F(RunningTest, AutomaticPatternOfOneSubtaskLeavesTheRecordAlone) {
  XmlOptionsResp resp{};
  char text[] = "<m f=\"12\" c=\"336\"/>";
  resp.text = text;
  fake->respond(msg::kGetAutomaticSchedulePattern, resp);
  std::string pattern, xmlOptions = "unchanged";
  ASSERT_EQ(0, task.getAutomaticSchedulePattern(17, pattern, nullptr));
  EXPECT_EQ(text, pattern);
  EXPECT_EQ(17u, fake->last(msg::kGetAutomaticSchedulePattern).as<GenericTaskApiReq>().info.subTaskId);
  fake->respondError(msg::kGetXMLOptions, 5, "no options");
  EXPECT_EQ(5, task.getXMLOptions(xmlOptions, nullptr));
  EXPECT_EQ(0u, fake->last(msg::kGetXMLOptions).as<GenericTaskApiReq>().info.subTaskId);
}
