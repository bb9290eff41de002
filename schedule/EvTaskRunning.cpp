// EvTask: running existing tasks, operations on automatic tasks and the
// queries of automatic schedules.
#include <memory>

#include "platform/EvDebug.h"
#include "platform/YmErrors.h"
#include "schedule/ScheduleInternal.h"
#include "task/EvTask.h"

using namespace evtask::sched;

namespace {

const unsigned long kTaskListRequestKind = 0x0C7E88C5;

}  // namespace

int EvTask::getAutomaticSchedulePattern(unsigned long subTaskId, std::string& patternXml, void* event) {
  EvEvent ev("EvTask::getAutomaticSchedulePattern");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  // A copy carries the subtask id and receives the pattern, so that the
  // task's own record (its subtask id and cached XML options) stays intact.
  _TaskInfo query(taskInfo);
  query.subTaskId = subTaskId;
  errorCode = iface->getAutomaticSchedulePattern(query, errorString, event);
  if (errorCode == 0) patternXml = query.xmlOptions;
  return errorCode;
}

int EvTask::runTask(unsigned long taskId, unsigned long subTaskId, std::list<long long>& jobIds,
                    std::string& errorText, int userId, int localeId, long long sequenceNumber, bool endUser,
                    void* event) {
  EvEvent ev("EvTask::runTask");
  clearErrors();
  std::vector<Sched_SubTask> subTasks(1);
  subTasks[0].subTaskId = subTaskId;
  subTasks[0].taskId = taskId;
  EvDebug::DebugLvl("EvTask::runTask", 7, static_cast<long long>(id), "Running task for taskId[%lu], subTaskId[%lu]",
                    taskId, subTaskId);
  const int rc = runTasks(subTasks, jobIds, errorText, userId, localeId, sequenceNumber, endUser, event);
  errorText = errorString;
  return rc;
}

int EvTask::runTasks(std::vector<Sched_SubTask>& subTasks, std::list<long long>& jobIds, std::string& errorText,
                     int userId, int localeId, long long sequenceNumber, bool endUser, void* event) {
  EvEvent ev("EvTask::runTasks");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->runTasks(subTasks, jobIds, errorString, userId, localeId, sequenceNumber, endUser, event);
  errorText = errorString;
  return errorCode;
}

int EvTask::performOperation(std::vector<_AutomaticTaskInfo>& tasks, std::list<long long>& jobIds,
                             std::string& errorText, int operationType, int initFrom, int userId, int localeId,
                             long long sequenceNumber, bool endUser, void* event) {
  EvEvent ev("EvTask::performOperation");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->performOperation(tasks, jobIds, errorString, userId, initFrom, localeId, operationType,
                                      sequenceNumber, endUser, event);
  errorText = errorString;
  return errorCode;
}

namespace {

int runOne(EvTask& task, const Sched_AssocEntity& entity, unsigned long taskId, unsigned long subTaskId,
           std::list<long long>& jobIds, std::string& errorText, int initFrom, int userId, int localeId,
           long long sequenceNumber, bool endUser, void* event) {
  _AutomaticTaskInfo info;
  info.subTasks.resize(1);
  info.subTasks[0].subTask.subTaskId = subTaskId;
  info.subTasks[0].subTask.taskId = taskId;
  info.entities.push_back(entity);
  std::vector<_AutomaticTaskInfo> tasks{info};
  const int rc = task.performOperation(tasks, jobIds, errorText, TMMsg::OP_RUN_NOW, initFrom, userId, localeId,
                                      sequenceNumber, endUser, event);
  errorText = task.getErrorString();
  return rc;
}

}  // namespace

int EvTask::runTaskForClient(int clientId, unsigned long taskId, unsigned long subTaskId, std::list<long long>& jobIds,
                             std::string& errorText, int initFrom, int userId, int localeId, long long sequenceNumber,
                             bool endUser, void* event) {
  EvEvent ev("EvTask::runTaskForClient");
  clearErrors();
  Sched_AssocEntity entity;
  entity.clientId = clientId;
  entity.taskId = taskId;
  EvDebug::DebugLvl("EvTask::runTaskForClient", 7, static_cast<long long>(id),
                    "Running task for client[%d] taskId[%lu], subTaskId[%lu]", clientId, taskId, subTaskId);
  return runOne(*this, entity, taskId, subTaskId, jobIds, errorText, initFrom, userId, localeId, sequenceNumber,
                endUser, event);
}

int EvTask::runTaskForEntity(const Sched_AssocEntity& entity, unsigned long taskId, unsigned long subTaskId,
                             std::list<long long>& jobIds, std::string& errorText, int initFrom, int userId,
                             int localeId, long long sequenceNumber, bool endUser, void* event) {
  EvEvent ev("EvTask::runTaskForEntity");
  clearErrors();
  EvDebug::DebugLvl("EvTask::runTaskForEntity", 7, static_cast<long long>(id),
                    "Running task for taskId[%lu], subTaskId[%lu], clientId[%d], apptypeId[%d], instanceId[%d], "
                    "backupsetId[%d], subclientId[%d]",
                    taskId, subTaskId, static_cast<int>(entity.clientId), static_cast<int>(entity.appTypeId),
                    static_cast<int>(entity.instanceId), static_cast<int>(entity.backupsetId),
                    static_cast<int>(entity.subclientId));
  return runOne(*this, entity, taskId, subTaskId, jobIds, errorText, initFrom, userId, localeId, sequenceNumber,
                endUser, event);
}

int EvTask::getSchedulesInfoForEntity(Sched_AssocEntity& entity, std::vector<_AutomaticTaskInfo>& result,
                                      std::string& errorText, bool ignoreDisabled, bool automaticOnly,
                                      std::vector<TMMsg::TaskOperationType>* operationTypes, int userId, int,
                                      long long, bool, void*) {
  static const char* const kName = "EvTask::getSchedulesInfoForEntity";
  EvEvent ev(kName);
  registerScheduleMessageClasses();
  TMMsg::GetTaskListReq request;
  TMMsg::GetTaskListResp response;

  CNMessageBase& filter = child(request, 2, TMMsg::kTaskFilterClass);
  CNMessageBase& e = child(filter, 1, YmEntities::GenericEntity::kFamily, YmEntities::GenericEntity::kClass);
  seti(e, 47, entity.clientId);
  seti(e, 73, entity.clientGroupId);
  seti(e, 38, entity.appTypeId);
  seti(e, 29, entity.instanceId);
  seti(e, 20, entity.backupsetId);
  seti(e, 11, entity.subclientId);
  seti(filter, 6, 1);
  seti(filter, 4, 1);
  if (automaticOnly) seti(filter, 11, 1);
  if (operationTypes != nullptr) {
    filter.setlistint(3, 0, std::vector<int>(operationTypes->begin(), operationTypes->end()));
  }
  std::string xml;
  int rc = request.serialize(xml, false);
  if (rc != 0) {
    EvDebug::Error(kName, "Failed to serialize task object. Error: %d", rc);
    return rc;
  }
  std::list<long long> jobIds;
  int replyTaskId = 0;
  rc = TaskRequest(xml, jobIds, replyTaskId, userId, errorText, kTaskListRequestKind, 0, 0, false, false);
  if (rc != 0) {
    EvDebug::Debug(kName, "Failed to create request.\nResponse :[%s]", errorText.c_str());
    return rc;
  }
  rc = response.unserialize(xml);
  if (rc != 0) {
    EvDebug::Error(kName, "Failed to serialize response object. Error: %d", rc);
    errorText = response.lastError();
    return rc;
  }
  std::vector<TMMsg::TaskInfo> tasks;
  if (response.getlistobject(1, 0, tasks) != 0) return 0;

  std::vector<_AutomaticTaskInfo> found;
  for (const TMMsg::TaskInfo& t : tasks) {
    _AutomaticTaskInfo out;
    const CNMessageBase* task = t.getObjectAccessor(1, 0);
    const long long taskId = task != nullptr ? geti(*task, 1) : 0;
    const CNMessageBase* flags = task != nullptr ? task->getObjectAccessor(6, 0) : nullptr;
    if (flags != nullptr && ignoreDisabled && geti(*flags, 1) != 0) {
      EvDebug::DebugLvl(kName, 3, "Ignore disabled task [%d]", static_cast<int>(taskId));
      continue;
    }
    std::vector<YmEntities::GenericEntity> assocs;
    t.getlistobject(3, 0, assocs);
    for (const YmEntities::GenericEntity& a : assocs) {
      Sched_AssocEntity s;
      s.clientGroupId = static_cast<long>(geti(a, 73));
      s.clientId = static_cast<long>(geti(a, 47));
      s.appTypeId = static_cast<long>(geti(a, 38));
      s.instanceId = static_cast<long>(geti(a, 29));
      s.backupsetId = static_cast<long>(geti(a, 20));
      s.subclientId = static_cast<long>(geti(a, 11));
      if (s.clientId != 0 && s.clientId != entity.clientId) {
        EvDebug::DebugLvl(kName, 7, "Skipping entity, clientId[%d] does not match", static_cast<int>(entity.clientId));
        continue;
      }
      if (s.clientGroupId != 0) s.clientId = entity.clientId;
      EvDebug::DebugLvl(kName, 7,
                        "Adding association clientGroupId[%d] clientId[%d], appType[%d], instanceId[%d], "
                        "backupsetId[%d], subclientId[%d]",
                        static_cast<int>(s.clientGroupId), static_cast<int>(s.clientId), static_cast<int>(s.appTypeId),
                        static_cast<int>(s.instanceId), static_cast<int>(s.backupsetId),
                        static_cast<int>(s.subclientId));
      out.entities.push_back(s);
    }
    std::vector<TMMsg::SubTaskInfo> subTasks;
    t.getlistobject(5, 0, subTasks);
    for (const TMMsg::SubTaskInfo& st : subTasks) {
      _SubTaskInfo info;
      const CNMessageBase* options = st.getObjectAccessor(4, 0);
      const CNMessageBase* holder = options != nullptr ? options->getObjectAccessor(4, 0) : nullptr;
      const CNMessageBase* automatic = holder != nullptr ? holder->getObjectAccessor(13, 0) : nullptr;
      if (automatic != nullptr) {
        if (automatic->serialize(info.automaticPattern, false) == 0) {
          EvDebug::DebugLvl(kName, 7, "Adding automatic pattern[%s]", info.automaticPattern.c_str());
        } else {
          info.automaticPattern.clear();
          EvDebug::Error(kName, "Could not serialize TMMsg::AutomaticSchedulePattern");
        }
      } else if (automaticOnly) {
        continue;
      }
      const CNMessageBase* element = st.getObjectAccessor(1, 0);
      if (element != nullptr) {
        info.subTask.subTaskId = static_cast<unsigned long>(geti(*element, 5));
        info.subTask.subTaskType = static_cast<long>(geti(*element, 6));
        info.subTask.operationType = static_cast<long>(geti(*element, 7));
      }
      info.subTask.taskId = static_cast<unsigned long>(taskId);
      EvDebug::DebugLvl(kName, 7, "Adding taskId[%d] subTaskId[%d], subTaskType[%d], operationType[%d]",
                        static_cast<int>(taskId), static_cast<int>(info.subTask.subTaskId),
                        static_cast<int>(info.subTask.subTaskType), static_cast<int>(info.subTask.operationType));
      out.subTasks.push_back(info);
    }
    found.push_back(std::move(out));
  }
  for (_AutomaticTaskInfo& a : found) result.push_back(std::move(a));
  return 0;
}

int EvTask::getAutomaticSchedules(int clientId, std::vector<_AutomaticTaskInfo>& result, std::string& errorText,
                                  bool ignoreDisabled, int userId, int localeId, long long sequenceNumber,
                                  bool endUser, void* event) {
  EvEvent ev("EvTask::getAutomaticSchedules");
  EvDebug::DebugLvl("EvTask::getAutomaticSchedules", 3, "Called with clientId[%d]", clientId);
  Sched_AssocEntity entity;
  entity.clientId = clientId;
  return getSchedulesInfoForEntity(entity, result, errorText, ignoreDisabled, true, nullptr, userId, localeId,
                                   sequenceNumber, endUser, event);
}

int EvTask::getUpdateSchedules(int clientId, std::vector<_AutomaticTaskInfo>& result, std::string& errorText,
                               bool ignoreDisabled, int userId, int localeId, long long sequenceNumber, bool endUser,
                               void* event) {
  EvEvent ev("EvTask::getUpdateSchedules");
  EvDebug::DebugLvl("EvTask::getUpdateSchedules", 3, "Called with clientId[%d]", clientId);
  Sched_AssocEntity entity;
  entity.clientId = clientId;
  std::vector<TMMsg::TaskOperationType> ops{TMMsg::OP_INSTALL_SOFTWARE};
  return getSchedulesInfoForEntity(entity, result, errorText, ignoreDisabled, false, &ops, userId, localeId,
                                   sequenceNumber, endUser, event);
}

namespace {

// The smallest value of `tag` over the automatic patterns of the client's
// automatic schedules; 0xFFFFFFFF when none has one. Returns the schedule
// query's code (leaving `out` unchanged), else the parse result of the last
// pattern examined.
int smallestPatternValue(EvTask& task, const char* name, unsigned long clientId, uint16_t tag, unsigned long& out) {
  unsigned long value = 0xFFFFFFFFul;
  std::vector<_AutomaticTaskInfo> schedules;
  std::string errorText;
  int rc = task.getAutomaticSchedules(static_cast<int>(clientId), schedules, errorText, true, 1, 0, 0, false, nullptr);
  if (rc != 0) {
    EvDebug::Error(name, "Failed to get automatic schedule. Error: %s", errorText.c_str());
    return rc;
  }
  for (const _AutomaticTaskInfo& s : schedules) {
    for (const _SubTaskInfo& st : s.subTasks) {
      if (st.automaticPattern.empty()) continue;
      TMMsg::AutomaticSchedulePattern pattern;
      rc = pattern.unserialize(st.automaticPattern);
      if (rc != 0) {
        EvDebug::DebugLvl(name, 3, "Could not serialize response object. Error: %d", rc);
        continue;
      }
      long long v = 0;
      if (pattern.getint64(tag, 0, v) == 0 && static_cast<uint32_t>(v) < static_cast<uint32_t>(value)) {
        value = static_cast<uint32_t>(v);
      }
    }
  }
  out = value;
  return rc;
}

}  // namespace

int EvTask::getSmartScheduleFrequency(unsigned long clientId, unsigned long& frequency, void*) {
  static const char* const kName = "EvTask::getSmartScheduleFrequency";
  EvEvent ev(kName);
  return smallestPatternValue(*this, kName, clientId, 1, frequency);
}

int EvTask::getScheduleStartTimeForNotCompletedJob(unsigned long clientId, unsigned long& startTime, void*) {
  static const char* const kName = "EvTask::getScheduleStartTimeForNotCompletedJob";
  EvEvent ev(kName);
  return smallestPatternValue(*this, kName, clientId, 3, startTime);
}
