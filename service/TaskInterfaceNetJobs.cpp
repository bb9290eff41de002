// TaskInterfaceNet: task creation, task-manager requests, running tasks,
// operations on automatic tasks and automatic schedule patterns.
#include <memory>

#include "platform/AppMgrExchange.h"
#include "platform/EvDebug.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"

using namespace evtask;

namespace {

void appendJobIds(const CreateTaskResp& resp, std::list<long long>& jobIds) {
  for (uint32_t i = 0; i < resp.count; ++i) jobIds.push_back(resp.jobIds[i]);
}

// Unpacks the common reply of the run exchanges: the job ids are appended,
// or without any the reply's result code (and message) decide.
int takeJobReply(const CreateTaskResp& resp, std::list<long long>& jobIds, std::string& err) {
  if (resp.count == 0) {
    if (resp.resultMessage != nullptr) err = resp.resultMessage;
    return resp.resultCode;
  }
  appendJobIds(resp, jobIds);
  return 0;
}

// Unpacks the reply of task creation and task-manager requests: the reply
// XML, the created task's id and every job id.
void takeCreationReply(const CreateTaskResp& resp, std::string& xml, int& taskId, std::list<long long>& jobIds) {
  xml = resp.xml != nullptr ? resp.xml : "";
  taskId = resp.taskId;
  appendJobIds(resp, jobIds);
}

}  // namespace

int TaskInterfaceNet::CreateTask(std::string& xml, std::list<long long>& jobIds, int& taskId, int userId,
                                 std::string& errorText, int localeId, long long, bool, bool) {
  ::CreateTaskReq req{};
  ::CreateTaskResp resp{};
  req.userId = userId;
  req.localeId = localeId;
  req.xml = const_cast<char*>(xml.c_str());
  AppMgrExchange ex;
  const int rc = ex.run(msg::kCreateTask, req, resp, errorText);
  if (rc != 0) return rc;
  takeCreationReply(resp, xml, taskId, jobIds);
  return 0;
}

int TaskInterfaceNet::TaskRequest(std::string& xml, std::list<long long>& jobIds, int& taskId, int userId,
                                  std::string& errorText, unsigned long requestKind, int localeId,
                                  long long sequenceNumber, bool flag, bool endUser) {
  TaskMgrReq req{};
  ::CreateTaskResp resp{};
  req.localeId = localeId;
  req.userId = userId;
  req.sequenceNumber = sequenceNumber;
  req.requestKind = static_cast<uint32_t>(requestKind);
  req.flag = flag ? 1 : 0;
  req.endUser = endUser ? 1 : 0;
  req.xml = const_cast<char*>(xml.c_str());
  AppMgrExchange ex;
  const int rc = ex.run(msg::kTaskRequest, req, resp, errorText);
  if (rc != 0) return rc;
  takeCreationReply(resp, xml, taskId, jobIds);
  return 0;
}

int TaskInterfaceNet::getAutomaticSchedulePattern(_TaskInfo& task, std::string& err, void*) {
  GenericTaskApiReq req{};
  XmlOptionsResp resp{};
  req.info.taskId = task.taskId;
  req.info.subTaskId = task.subTaskId;
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetAutomaticSchedulePattern, req, resp, err);
  if (rc != 0) return rc;
  task.xmlOptions = resp.text != nullptr ? resp.text : "";
  return 0;
}

int TaskInterfaceNet::runTasks(std::vector<Sched_SubTask>& subTasks, std::list<long long>& jobIds, std::string& err,
                               int userId, int localeId, long long sequenceNumber, bool endUser, void*) {
  static const char* const kName = "TaskInterfaceNet::runTasks";
  EvEvent ev(kName);
  TaskMgrReq req{};
  ::CreateTaskResp resp{};
  req.localeId = localeId;
  req.userId = userId;
  req.sequenceNumber = sequenceNumber;
  req.endUser = endUser ? 1 : 0;
  EvDebug::DebugLvl(kName, 2, "userId[%d], endUser[%d], localeId[%d], sequenceNumber[%lld]", userId,
                    endUser ? 1 : 0, localeId, sequenceNumber);
  std::unique_ptr<Sch_SubTask[]> entries;
  if (!subTasks.empty()) {
    entries.reset(new Sch_SubTask[subTasks.size()]());
    for (size_t i = 0; i < subTasks.size(); ++i) {
      entries[i].subTaskId = subTasks[i].subTaskId;
      entries[i].taskId = subTasks[i].taskId;
      EvDebug::DebugLvl(kName, 4, "Sending request for taskId[%d], subTaskId[%d]", static_cast<int>(subTasks[i].taskId),
                        static_cast<int>(subTasks[i].subTaskId));
    }
    req.count = static_cast<uint32_t>(subTasks.size());
    req.entries = entries.get();
  } else {
    EvDebug::Debug(kName, "Missing task information");
  }
  AppMgrExchange ex;
  const int rc = ex.run(msg::kRunTasks, req, resp, err);
  if (rc != 0) return rc;
  return takeJobReply(resp, jobIds, err);
}

// One entry per subtask. An automatic task info may list several subtasks;
// each becomes an entry of its own carrying the task info's associations, so
// that no subtask is dropped. A task info without subtasks has nothing to
// run and adds no entry. Associations of another task travel as zero
// entries but are counted, so that entry positions match the caller's list.
int TaskInterfaceNet::performOperation(std::vector<_AutomaticTaskInfo>& tasks, std::list<long long>& jobIds,
                                       std::string& err, int userId, int initFrom, int localeId, int operationType,
                                       long long sequenceNumber, bool endUser, void*) {
  static const char* const kName = "TaskInterfaceNet::performOperation";
  EvEvent ev(kName);
  OperationReq req{};
  ::CreateTaskResp resp{};
  req.localeId = localeId;
  req.userId = userId;
  req.sequenceNumber = sequenceNumber;
  req.operationType = static_cast<uint32_t>(operationType);
  req.endUser = endUser ? 1 : 0;
  req.initFrom = initFrom;
  EvDebug::DebugLvl(kName, 2, "userId[%d], initFrom[%d], endUser[%d], localeId[%d], taskOpType[%d], sequenceNumber[%lld]",
                    userId, initFrom, endUser ? 1 : 0, localeId, operationType, sequenceNumber);
  size_t count = 0;
  for (const _AutomaticTaskInfo& t : tasks) count += t.subTasks.size();
  std::unique_ptr<OperationEntity[]> entries;
  std::vector<std::unique_ptr<Sch_AssocEntity[]>> assocs;
  if (count > 0) {
    entries.reset(new OperationEntity[count]());
    size_t n = 0;
    for (const _AutomaticTaskInfo& t : tasks) {
      for (const _SubTaskInfo& s : t.subTasks) {
        OperationEntity& e = entries[n++];
        e.subTask.subTaskId = s.subTask.subTaskId;
        e.subTask.taskId = s.subTask.taskId;
        e.subTask.operationType = static_cast<uint32_t>(s.subTask.operationType);
        e.count = static_cast<uint32_t>(t.entities.size());
        EvDebug::DebugLvl(kName, 4, "taskId[%d], subTaskId[%d]", static_cast<int>(s.subTask.taskId),
                          static_cast<int>(s.subTask.subTaskId));
        if (t.entities.empty()) continue;
        assocs.emplace_back(new Sch_AssocEntity[t.entities.size()]());
        e.entities = assocs.back().get();
        for (size_t i = 0; i < t.entities.size(); ++i) {
          const Sched_AssocEntity& a = t.entities[i];
          if (a.taskId != s.subTask.taskId) continue;
          Sch_AssocEntity& w = e.entities[i];
          w.taskId = a.taskId;
          w.clientGroupId = static_cast<uint32_t>(a.clientGroupId);
          w.clientId = static_cast<uint32_t>(a.clientId);
          w.appTypeId = static_cast<uint32_t>(a.appTypeId);
          w.instanceId = static_cast<uint32_t>(a.instanceId);
          w.backupsetId = static_cast<uint32_t>(a.backupsetId);
          w.subclientId = static_cast<uint32_t>(a.subclientId);
          w.field9 = static_cast<uint32_t>(a.extraValue1);
          w.field10 = static_cast<uint32_t>(a.extraValue2);
          EvDebug::DebugLvl(kName, 4,
                            "taskId[%d], subTaskId[%d], clientId[%d], apptypeId[%d], instanceId[%d], backupsetId[%d], "
                            "subclientId[%d]",
                            static_cast<int>(a.taskId), static_cast<int>(s.subTask.subTaskId), static_cast<int>(a.clientId),
                            static_cast<int>(a.appTypeId), static_cast<int>(a.instanceId),
                            static_cast<int>(a.backupsetId), static_cast<int>(a.subclientId));
        }
      }
    }
    req.count = static_cast<uint32_t>(count);
    req.entries = entries.get();
  }
  AppMgrExchange ex;
  const int rc = ex.run(msg::kPerformOperation, req, resp, err);
  // A failed exchange leaves the caller's list alone; an answered one
  // replaces it.
  if (rc != 0) return rc;
  jobIds.clear();
  return takeJobReply(resp, jobIds, err);
}
