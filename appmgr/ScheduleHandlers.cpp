// Handlers of the schedule and job messages: task creation, the task-list
// request, running tasks and operations, automatic schedule patterns, and
// the XML handler and stored procedure of the job manager.
//
// Every XML text is read and written through the message base with the
// library's own message classes; nothing here builds XML by hand.
//
// A created task keeps its binary row (tasks), its subtasks with the subtask
// info XML as created (so its pattern and job options come back as sent),
// the automatic schedule pattern of each subtask as its own text (read by
// getAutomaticSchedulePattern), and its associations as entity rows of the
// task (subtask id 0). An immediate task (type 1) also starts one job per
// subtask under one job request.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "appmgr/AppManager.h"
#include "appmgr/AppMgrErrors.h"
#include "platform/PlatformMessages.h"
#include "schedule/XmlMessages.h"
#include "service/TaskWireStructs.h"

namespace evtask {
namespace appmgr {

namespace {

const uint32_t kTaskListRequestKind = 0x0C7E88C5;
const uint32_t kJobRequestEntitiesProcedure = 0x154EE415;
const long long kDefaultJobListLimit = 300;

long long num(const CNMessageBase& m, uint16_t tag, long long absent = 0) {
  long long v = 0;
  return m.getint64(tag, 0, v) == 0 ? v : absent;
}

// The entity ids an association and a task-list filter share, in the order
// of the entity row's columns client_group_id, client_id, app_type_id,
// instance_id, backupset_id and subclient_id.
const uint16_t kEntityTags[] = {73, 47, 38, 29, 20, 11};

// Writes a reply message as XML; a failure becomes the handler's error text.
int xmlOf(const CNMessageBase& m, std::string& xml, std::string& err) {
  const int rc = m.serialize(xml, false);
  if (rc != 0) err = "cannot write the reply: " + m.lastError();
  return rc;
}

// Fills a CreateTaskResp (binary and XML) with a task id and job ids.
int fillCreated(Reply& reply, int32_t taskId, const std::vector<int64_t>& jobIds, std::string& err) {
  TMMsg::CreateTaskResp created;
  created.setint64(1, 0, taskId);
  std::vector<std::string> texts;
  for (int64_t id : jobIds) texts.push_back(std::to_string(id));
  created.setliststring(2, 0, texts);
  std::string xml;
  if (xmlOf(created, xml, err) != 0) return kAmStoreError;
  auto& resp = reply.as<::CreateTaskResp>();
  resp.taskId = taskId;
  resp.xml = reply.text(xml);
  resp.count = static_cast<uint32_t>(jobIds.size());
  resp.jobIds = reply.array<int64_t>(jobIds.size());
  if (!jobIds.empty()) std::memcpy(resp.jobIds, jobIds.data(), jobIds.size() * sizeof(int64_t));
  return 0;
}

// A refused task creation: the reply carries a TMMsg::GenericResp with the
// code and text (which is what the task builders read), and its result
// fields say the same. Nothing has been written when this is called.
int refuseCreation(Reply& reply, int code, const std::string& text, std::string& err) {
  TMMsg::GenericResp refusal;
  refusal.setint64(1, 0, code);
  refusal.setstring(2, 0, text);
  std::string xml;
  if (xmlOf(refusal, xml, err) != 0) return kAmStoreError;
  auto& resp = reply.as<::CreateTaskResp>();
  resp.resultCode = code;
  resp.resultMessage = reply.text(text);
  resp.xml = reply.text(xml);
  return 0;
}

// Starts one job per (task, subtask) under one new job request.
std::vector<int64_t> startJobs(Context& c, const std::string& origin,
                               const std::vector<std::pair<uint32_t, uint32_t>>& subTasks) {
  std::vector<int64_t> ids;
  const int64_t request = c.jobs.newRequest(origin);
  for (const auto& s : subTasks) ids.push_back(c.jobs.startJob(request, s.first, s.second));
  return ids;
}

// The task of a subtask; 0 when there is no such subtask.
uint32_t taskOfSubTask(Store& s, uint32_t subTaskId) {
  Query q(s, "SELECT task_id FROM subtasks WHERE sub_task_id = ?");
  q.bind(1, subTaskId);
  return q.step() ? static_cast<uint32_t>(q.integer(0)) : 0;
}

// Checks that a subtask exists and belongs to `taskId` (0: to any task);
// returns its task, or 0 with `err` set.
uint32_t checkSubTask(Context& c, uint32_t taskId, uint32_t subTaskId, std::string& err) {
  const uint32_t owner = subTaskId != 0 ? taskOfSubTask(c.store, subTaskId) : 0;
  if (owner == 0 || (taskId != 0 && owner != taskId)) {
    err = "subtask " + std::to_string(subTaskId) + " of task " + std::to_string(taskId) + " does not exist";
    return 0;
  }
  return owner;
}

// --- task creation -------------------------------------------------------------
struct NewSubTask {
  CNMessageBase info{TMMsg::SubTaskInfo::kFamily, TMMsg::SubTaskInfo::kClass};
  std::string name;
  long long type = 0;
  long long operation = 0;
  const CNMessageBase* automatic = nullptr;  // into `info`
};

// Reads and checks a creation request; "" when it is usable, else the text.
std::string readCreation(const char* text, TMMsg::CreateTaskReq& req, const CNMessageBase*& task,
                         std::vector<YmEntities::GenericEntity>& assocs, std::vector<NewSubTask>& subs) {
  if (text == nullptr || *text == '\0') return "the task creation request carries no XML";
  if (req.unserialize(text) != 0) return "the task creation request does not parse: " + req.lastError();
  const CNMessageBase* info = req.getObjectAccessor(2, 0);
  if (info == nullptr) return "the task creation request carries no task info";
  task = info->getObjectAccessor(1, 0);
  if (task == nullptr) return "the task info carries no task";
  const long long type = num(*task, 8);
  if (type <= 0 || type > 0x7FFFFFFF) return "task type " + std::to_string(type) + " is not valid";
  if (info->isSet(3, 0) && info->getlistobject(3, 0, assocs) != 0) return "the associations do not parse";
  std::vector<TMMsg::SubTaskInfo> list;
  if (info->getlistobject(5, 0, list) != 0 || list.empty()) return "the task info carries no subtask";
  for (TMMsg::SubTaskInfo& st : list) {
    const CNMessageBase* element = st.getObjectAccessor(1, 0);
    if (element == nullptr) return "a subtask info carries no subtask";
    NewSubTask n;
    element->getstring(1, 0, n.name);
    n.type = num(*element, 6);
    n.operation = num(*element, 7);
    n.info = st;
    subs.push_back(std::move(n));
  }
  for (NewSubTask& n : subs) {
    const CNMessageBase* options = n.info.getObjectAccessor(4, 0);
    const CNMessageBase* holder = options != nullptr ? options->getObjectAccessor(4, 0) : nullptr;
    n.automatic = holder != nullptr ? holder->getObjectAccessor(13, 0) : nullptr;
  }
  return std::string();
}

uint32_t nextId(Store& s, const char* sql) {
  Query q(s, sql);
  q.step();
  return static_cast<uint32_t>(q.integer(0)) + 1;
}

int createTask(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<::CreateTaskReq>();
  TMMsg::CreateTaskReq msg;
  const CNMessageBase* task = nullptr;
  std::vector<YmEntities::GenericEntity> assocs;
  std::vector<NewSubTask> subs;
  const std::string bad = readCreation(req.xml, msg, task, assocs, subs);
  if (!bad.empty()) return refuseCreation(reply, kAmBadRequest, bad, err);

  // Ids are never reused: job rows outlive a deleted task, and a new task
  // must not inherit them.
  const uint32_t taskId =
      nextId(c.store, "SELECT MAX((SELECT IFNULL(MAX(task_id), 0) FROM tasks), (SELECT IFNULL(MAX(task_id), 0) FROM jobs))");
  const long long type = num(*task, 8);
  const CNMessageBase* flags = task->getObjectAccessor(6, 0);
  std::string name, description;
  task->getstring(2, 0, name);
  task->getstring(14, 0, description);
  Query t(c.store, "INSERT INTO tasks(task_id, task_type, name, owner, disabled, description) VALUES(?, ?, ?, ?, ?, ?)");
  t.bind(1, taskId).bind(2, type).bind(3, name).bind(4, num(*task, 10)).bind(5, flags && num(*flags, 1) != 0 ? 1 : 0);
  t.bind(6, description).run();

  for (const YmEntities::GenericEntity& a : assocs) {
    Query q(c.store,
            "INSERT INTO entities(task_id, sub_task_id, field0, field1, client_group_id, client_id, app_type_id, "
            "instance_id, backupset_id, subclient_id, field9, field10) VALUES(?, 0, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    q.bind(1, taskId).bind(2, num(a, 0)).bind(3, num(a, 1));
    for (int i = 0; i < 6; ++i) q.bind(4 + i, static_cast<uint32_t>(num(a, kEntityTags[i])));
    q.bind(10, static_cast<uint32_t>(num(a, 100))).bind(11, static_cast<uint32_t>(num(a, 105))).run();
  }

  std::vector<std::pair<uint32_t, uint32_t>> toRun;
  for (NewSubTask& n : subs) {
    const uint32_t subId = nextId(c.store, "SELECT MAX((SELECT IFNULL(MAX(sub_task_id), 0) FROM subtasks), "
                                           "(SELECT IFNULL(MAX(sub_task_id), 0) FROM jobs))");
    std::string automatic, info;
    if (n.automatic != nullptr && xmlOf(*n.automatic, automatic, err) != 0) return kAmStoreError;
    // The stored subtask info names its own id, as the task list shows it.
    CNMessageBase* element = n.info.getObjectAccessor(1, 0, false, false, 0, 0);
    if (element != nullptr) element->setint64(5, 0, subId);
    if (xmlOf(n.info, info, err) != 0) return kAmStoreError;
    Query q(c.store, "INSERT INTO subtasks(sub_task_id, task_id, sub_task_type, operation_type, name, info_xml, "
                     "schedule_pattern) VALUES(?, ?, ?, ?, ?, ?, ?)");
    q.bind(1, subId).bind(2, taskId).bind(3, n.type).bind(4, n.operation).bind(5, n.name).bind(6, info);
    q.bindText(7, n.automatic != nullptr ? automatic.c_str() : nullptr).run();
    toRun.emplace_back(taskId, subId);
  }
  std::vector<int64_t> jobIds;
  if (type == TMMsg::TASK_IMMEDIATE) jobIds = startJobs(c, "create task " + std::to_string(taskId), toRun);
  return fillCreated(reply, static_cast<int32_t>(taskId), jobIds, err);
}

// --- task list -------------------------------------------------------------------
struct TaskFilter {
  long long entity[6] = {0, 0, 0, 0, 0, 0};
  bool automaticOnly = false;
  bool byOperation = false;
  std::set<long long> operations;
};

// An association applies to the filter's entity when every id both name
// agrees (an id of 0 names nothing); an all-zero filter entity takes every
// task, else the association must name something.
bool entityMatches(Context& c, uint32_t taskId, const TaskFilter& f) {
  bool any = false;
  for (long long v : f.entity) any = any || v != 0;
  if (!any) return true;
  Query q(c.store,
          "SELECT 1 FROM entities WHERE task_id = ?1 AND sub_task_id = 0"
          " AND (?2 = 0 OR client_group_id = 0 OR client_group_id = ?2) AND (?3 = 0 OR client_id = 0 OR client_id = ?3)"
          " AND (?4 = 0 OR app_type_id = 0 OR app_type_id = ?4) AND (?5 = 0 OR instance_id = 0 OR instance_id = ?5)"
          " AND (?6 = 0 OR backupset_id = 0 OR backupset_id = ?6) AND (?7 = 0 OR subclient_id = 0 OR subclient_id = ?7)"
          " AND (client_group_id != 0 OR client_id != 0 OR app_type_id != 0 OR instance_id != 0 OR backupset_id != 0"
          " OR subclient_id != 0) LIMIT 1");
  q.bind(1, taskId);
  for (int i = 0; i < 6; ++i) q.bind(i + 2, f.entity[i]);
  return q.step();
}

// The schedule tasks (every type but immediate) that apply to the filter,
// each with the subtasks the filter keeps; a task left without subtasks is
// not listed.
int listTasks(Context& c, const TaskFilter& f, TMMsg::GetTaskListResp& out, std::string& err) {
  std::vector<TMMsg::TaskInfo> infos;
  Query tasks(c.store, "SELECT task_id, task_type, name, owner, disabled, description FROM tasks WHERE task_type != 1 "
                       "ORDER BY task_id");
  while (tasks.step()) {
    const uint32_t taskId = static_cast<uint32_t>(tasks.integer(0));
    if (!entityMatches(c, taskId, f)) continue;
    TMMsg::TaskInfo info;
    std::vector<TMMsg::SubTaskInfo> subs;
    Query s(c.store, "SELECT sub_task_id, sub_task_type, operation_type, name, info_xml, schedule_pattern IS NOT NULL "
                     "FROM subtasks WHERE task_id = ? ORDER BY sub_task_id");
    s.bind(1, taskId);
    while (s.step()) {
      if (f.automaticOnly && s.integer(5) == 0) continue;
      if (f.byOperation && f.operations.count(s.integer(2)) == 0) continue;
      TMMsg::SubTaskInfo st;
      if (!s.isNull(4)) {
        if (st.unserialize(s.text(4)) != 0) {
          err = "stored subtask " + std::to_string(s.integer(0)) + " does not parse: " + st.lastError();
          return kAmStoreError;
        }
      } else {
        // A subtask written through the binary messages has no stored XML.
        CNMessageBase* e = st.getObjectAccessor(1, 0, true, true, TMMsg::SubTask::kFamily, TMMsg::SubTask::kClass);
        e->setstring(1, 0, s.text(3));
        e->setint64(5, 0, s.integer(0));
        e->setint64(6, 0, s.integer(1));
        e->setint64(7, 0, s.integer(2));
      }
      subs.push_back(std::move(st));
    }
    if (subs.empty()) continue;
    CNMessageBase* task = info.getObjectAccessor(1, 0, true, true, TMMsg::Task::kFamily, TMMsg::Task::kClass);
    task->setint64(1, 0, taskId);
    if (!tasks.text(2).empty()) task->setstring(2, 0, tasks.text(2));
    CNMessageBase* flags = task->getObjectAccessor(6, 0, true, true, TMMsg::TaskFlags::kFamily, TMMsg::TaskFlags::kClass);
    if (tasks.integer(4) != 0) flags->setint64(1, 0, 1);
    task->setint64(8, 0, tasks.integer(1));
    task->setint64(10, 0, tasks.integer(3));
    task->setint64(12, 0, 3);
    task->setstring(14, 0, tasks.text(5));
    std::vector<YmEntities::GenericEntity> assocs;
    Query a(c.store, "SELECT field0, field1, client_group_id, client_id, app_type_id, instance_id, backupset_id, "
                     "subclient_id, field9, field10 FROM entities WHERE task_id = ? AND sub_task_id = 0 ORDER BY id");
    a.bind(1, taskId);
    while (a.step()) {
      YmEntities::GenericEntity e;
      e.setint64(0, 0, a.integer(0));
      if (a.integer(1) != 0) e.setint64(1, 0, a.integer(1));
      for (int i = 0; i < 6; ++i) {
        if (a.integer(2 + i) != 0) e.setint64(kEntityTags[i], 0, a.integer(2 + i));
      }
      if (a.integer(8) != 0) e.setint64(100, 0, a.integer(8));
      if (a.integer(9) != 0) e.setint64(105, 0, a.integer(9));
      assocs.push_back(std::move(e));
    }
    info.setlistobject(3, 0, assocs);
    info.setlistobject(5, 0, subs);
    infos.push_back(std::move(info));
  }
  out.setlistobject(1, 0, infos);
  return 0;
}

int taskRequest(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<TaskMgrReq>();
  if (req.requestKind != kTaskListRequestKind) {
    char kind[16];
    std::snprintf(kind, sizeof kind, "0x%08X", static_cast<unsigned>(req.requestKind));
    err = std::string("task request kind ") + kind + " is not served by this application manager";
    return kAmUnsupported;
  }
  TMMsg::GetTaskListReq list;
  if (req.xml == nullptr || list.unserialize(req.xml) != 0) {
    err = "the task list request does not parse: " + (req.xml == nullptr ? std::string("no XML") : list.lastError());
    return kAmBadRequest;
  }
  TaskFilter f;
  if (const CNMessageBase* filter = list.getObjectAccessor(2, 0)) {
    if (const CNMessageBase* e = filter->getObjectAccessor(1, 0)) {
      for (int i = 0; i < 6; ++i) f.entity[i] = num(*e, kEntityTags[i]);
    }
    f.automaticOnly = num(*filter, 11) != 0;
    std::vector<long long> ops;
    if (filter->isSet(3, 0) && filter->getlistint(3, 0, ops) == 0) {
      f.byOperation = true;
      f.operations.insert(ops.begin(), ops.end());
    }
  }
  TMMsg::GetTaskListResp out;
  int rc = listTasks(c, f, out, err);
  if (rc != 0) return rc;
  std::string xml;
  if (xmlOf(out, xml, err) != 0) return kAmStoreError;
  reply.as<::CreateTaskResp>().xml = reply.text(xml);
  return 0;
}

// --- running ---------------------------------------------------------------------
int runTasks(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<TaskMgrReq>();
  if (req.count == 0) {
    err = "the run request names no task";
    return kAmBadRequest;
  }
  std::vector<std::pair<uint32_t, uint32_t>> toRun;
  for (uint32_t i = 0; i < req.count; ++i) {
    const uint32_t task = checkSubTask(c, req.entries[i].taskId, req.entries[i].subTaskId, err);
    if (task == 0) return kAmNotFound;
    toRun.emplace_back(task, req.entries[i].subTaskId);
  }
  return fillCreated(reply, static_cast<int32_t>(toRun.front().first), startJobs(c, "run tasks", toRun), err);
}

int performOperation(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<OperationReq>();
  if (req.count == 0) {
    err = "the operation names no subtask";
    return kAmBadRequest;
  }
  std::vector<std::pair<uint32_t, uint32_t>> toRun;
  for (uint32_t i = 0; i < req.count; ++i) {
    const Sch_SubTask& s = req.entries[i].subTask;
    const uint32_t task = checkSubTask(c, s.taskId, s.subTaskId, err);
    if (task == 0) return kAmNotFound;
    toRun.emplace_back(task, s.subTaskId);
  }
  return fillCreated(reply, static_cast<int32_t>(toRun.front().first),
                     startJobs(c, "operation " + std::to_string(req.operationType), toRun), err);
}

int getAutomaticSchedulePattern(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GenericTaskApiReq>();
  if (checkSubTask(c, req.info.taskId, req.info.subTaskId, err) == 0) return kAmNotFound;
  Query q(c.store, "SELECT schedule_pattern FROM subtasks WHERE sub_task_id = ?");
  q.bind(1, req.info.subTaskId);
  if (!q.step() || q.isNull(0)) {
    err = "subtask " + std::to_string(req.info.subTaskId) + " has no automatic schedule pattern";
    return kAmNotFound;
  }
  reply.as<XmlOptionsResp>().text = reply.text(q.text(0));
  return 0;
}

// --- XML handler -----------------------------------------------------------------
int jobList(Context& c, const char* text, std::string& xml, std::string& err) {
  JobManager::JobListRequest req;
  if (req.unserialize(text) != 0) {
    err = "the job list request does not parse: " + req.lastError();
    return kAmBadRequest;
  }
  std::vector<long long> ids;
  long long limit = kDefaultJobListLimit;
  if (const CNMessageBase* filter = req.getObjectAccessor(2, 0)) {
    if (filter->isSet(4, 0)) filter->getlistint(4, 0, ids);
    const long long l = num(*filter, 11);
    if (l > 0) limit = std::min<long long>(l, CNMessageBase::kMaxListLength);
  }
  c.jobs.advance();
  if (ids.empty()) {
    // No ids: the most recent jobs, up to the filter's count, oldest first.
    Query q(c.store, "SELECT job_id FROM (SELECT job_id FROM jobs ORDER BY job_id DESC LIMIT ?) ORDER BY job_id");
    q.bind(1, limit);
    while (q.step()) ids.push_back(q.integer(0));
  }
  JobManager::JobListResponse out;
  std::vector<JobManager::Job> jobs;
  // Brought up to date once above, then read row by row: a long id list
  // costs one lookup per id.
  for (long long id : ids) {
    Query q(c.store, "SELECT status, progress, detail, end_ms IS NOT NULL FROM jobs WHERE job_id = ?");
    q.bind(1, id);
    if (!q.step()) continue;  // an unknown job is left out of the list
    JobManager::Job job;
    CNMessageBase* summary =
        job.getObjectAccessor(1, 0, true, true, JobManager::JobSummary::kFamily, JobManager::JobSummary::kClass);
    summary->setint64(1, 0, id);
    summary->setstring(10, 0, q.text(0));
    const std::string detail = q.text(2);
    summary->setstring(19, 0, !detail.empty() || q.integer(3) != 0 ? detail
                                                                   : "Progress " + std::to_string(q.integer(1)) + "%");
    jobs.push_back(std::move(job));
  }
  out.setlistobject(1, 0, jobs);
  return xmlOf(out, xml, err) != 0 ? kAmStoreError : 0;
}

int deleteTasks(Context& c, const TMMsg::TaskOperationReq& req, std::string& xml, std::string& err) {
  std::set<long long> ids;
  std::vector<unsigned int> listed;
  if (req.isSet(2, 0) && req.getlistuint(2, 0, listed) == 0) ids.insert(listed.begin(), listed.end());
  std::vector<YmEntities::TaskEntity> entities;
  if (req.isSet(3, 0) && req.getlistobject(3, 0, entities) == 0) {
    for (const auto& e : entities) ids.insert(num(e, 0));
  }
  if (ids.empty()) {
    err = "the delete request names no task";
    return kAmBadRequest;
  }
  for (long long id : ids) {
    Query q(c.store, "DELETE FROM tasks WHERE task_id = ?");
    q.bind(1, id).run();
    if (q.changes() == 0) {
      err = "task " + std::to_string(id) + " does not exist";
      return kAmNotFound;  // the whole request is rolled back
    }
  }
  return xmlOf(TMMsg::GenericResp(), xml, err) != 0 ? kAmStoreError : 0;
}

int runSubTasksNow(Context& c, const TMMsg::TaskOperationReq& req, std::string& xml, std::string& err) {
  std::vector<YmEntities::SubtaskEntity> subs;
  if (!req.isSet(5, 0) || req.getlistobject(5, 0, subs) != 0 || subs.empty()) {
    err = "the run request names no subtask";
    return kAmBadRequest;
  }
  std::vector<std::pair<uint32_t, uint32_t>> toRun;
  for (const auto& s : subs) {
    const long long sub = num(s, 0);
    const uint32_t task = sub > 0 && sub <= 0xFFFFFFFFll ? taskOfSubTask(c.store, static_cast<uint32_t>(sub)) : 0;
    if (task == 0) {
      err = "subtask " + std::to_string(sub) + " does not exist";
      return kAmNotFound;
    }
    toRun.emplace_back(task, static_cast<uint32_t>(sub));
  }
  const std::vector<int64_t> jobIds = startJobs(c, "run now", toRun);
  TMMsg::CreateTaskResp created;
  created.setint64(1, 0, toRun.front().first);
  std::vector<std::string> texts;
  for (int64_t id : jobIds) texts.push_back(std::to_string(id));
  created.setliststring(2, 0, texts);
  return xmlOf(created, xml, err) != 0 ? kAmStoreError : 0;
}

int taskOperation(Context& c, const char* text, std::string& xml, std::string& err) {
  TMMsg::TaskOperationReq req;
  if (req.unserialize(text) != 0) {
    err = "the task operation request does not parse: " + req.lastError();
    return kAmBadRequest;
  }
  const long long op = num(req, 4);
  if (op == TMMsg::OP_DELETE) return deleteTasks(c, req, xml, err);
  if (op == TMMsg::OP_RUN_NOW) return runSubTasksNow(c, req, xml, err);
  err = "task operation " + std::to_string(op) + " is not served by this application manager";
  return kAmUnsupported;
}

int xmlHandler(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<XmlHandlerReq>();
  if (req.xml == nullptr || *req.xml == '\0') {
    err = "the XML request carries no XML";
    return kAmBadRequest;
  }
  std::string xml;
  int rc;
  if (req.tag == JobManager::JobListRequest().getTagID()) {
    rc = jobList(c, req.xml, xml, err);
  } else if (req.tag == TMMsg::TaskOperationReq().getTagID()) {
    rc = taskOperation(c, req.xml, xml, err);
  } else {
    char tag[16];
    std::snprintf(tag, sizeof tag, "0x%08X", static_cast<unsigned>(req.tag));
    err = std::string("XML request ") + tag + " is not served by this application manager";
    return kAmUnsupported;
  }
  if (rc != 0) return rc;
  reply.as<XmlHandlerResp>().xml = reply.text(xml);
  return 0;
}

// --- stored procedures -----------------------------------------------------------
int jobRequestEntities(Context& c, const char* input, std::string& xml, std::string& err) {
  JobManager::GetJobRequestEntitiesReq req;
  long long jobId = 0;
  if (input == nullptr || req.unserialize(input) != 0 || req.getint64(1, 0, jobId) != 0) {
    err = "the job request entities request does not parse or names no job";
    if (input != nullptr && !req.lastError().empty()) err += ": " + req.lastError();
    return kAmBadRequest;
  }
  JobState job;
  if (!c.jobs.state(jobId, job)) {
    err = "job " + std::to_string(jobId) + " does not exist";
    return kAmNotFound;
  }
  JobManager::GetJobRequestEntitiesResp out;
  out.setint64(1, 0, job.requestId);
  std::vector<YmEntities::SubClientEntity> subclients;
  Query q(c.store, "SELECT subclient_id FROM entities WHERE task_id = ? AND (sub_task_id = 0 OR sub_task_id = ?) AND "
                   "subclient_id != 0 GROUP BY subclient_id ORDER BY MIN(id)");
  q.bind(1, job.taskId).bind(2, job.subTaskId);
  while (q.step()) {
    YmEntities::SubClientEntity e;
    e.setint64(0, 0, q.integer(0));
    subclients.push_back(std::move(e));
  }
  out.setlistobject(3, 0, subclients);
  return xmlOf(out, xml, err) != 0 ? kAmStoreError : 0;
}

int executeSP(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<ExecuteSPReq>();
  if (req.procedure != kJobRequestEntitiesProcedure) {
    char proc[16];
    std::snprintf(proc, sizeof proc, "0x%08X", static_cast<unsigned>(req.procedure));
    err = std::string("stored procedure ") + proc + " is not served by this application manager";
    return kAmUnsupported;
  }
  std::string xml;
  const int rc = jobRequestEntities(c, req.input, xml, err);
  if (rc != 0) return rc;
  reply.as<ExecuteSPResp>().output = reply.text(xml);
  return 0;
}

}  // namespace

void addScheduleHandlers(AppManager& s) {
  registerScheduleMessageClasses();
  s.add(msg::kCreateTask, createTask);
  // The task list is a reader; other request kinds are refused.
  s.add(msg::kTaskRequest, taskRequest, AppManager::kReads);
  s.add(msg::kRunTasks, runTasks);
  s.add(msg::kPerformOperation, performOperation);
  s.add(msg::kGetAutomaticSchedulePattern, getAutomaticSchedulePattern, AppManager::kReads);
  // Both advance the job simulator, which writes.
  s.add(kXmlHandlerReq, xmlHandler);
  s.add(kExecuteSPReq, executeSP);
}

}  // namespace appmgr
}  // namespace evtask
