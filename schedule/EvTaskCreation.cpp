// EvTask: task creation (CreateTask, TaskRequest and the generic builder of
// task-creation requests).
#include <charconv>
#include <memory>

#include "platform/EvDebug.h"
#include "platform/YmErrors.h"
#include "schedule/ScheduleInternal.h"
#include "task/EvTask.h"

using namespace evtask::sched;

namespace evtask {
namespace sched {

int readCreateReply(const std::string& xml, std::string& errorText) {
  registerScheduleMessageClasses();
  TMMsg::GenericResp refusal;
  if (refusal.unserialize(xml) == 0) {
    long long code = 0;
    if (refusal.getint64(1, 0, code) != 0) return 0;
    std::string text;
    refusal.getstring(2, 0, text);
    errorText = text;
    return static_cast<int>(code);
  }
  TMMsg::CreateTaskResp created;
  const int rc = created.unserialize(xml);
  if (rc != 0) errorText = "Unexpected reply to the task creation request: " + created.lastError();
  return rc;
}

bool parseDecimalId(const std::string& text, long long& value) {
  long long v = 0;
  const char* b = text.data();
  const char* e = b + text.size();
  auto r = std::from_chars(b, e, v);
  if (text.empty() || r.ec != std::errc() || r.ptr != e) return false;
  value = v;
  return true;
}

}  // namespace sched
}  // namespace evtask

namespace {

const char* const kCreateName = "EvTask::createScheduleJob";

void logAssociations(const std::vector<YmEntities::GenericEntity>& list) {
  for (const YmEntities::GenericEntity& e : list) {
    EvDebug::Error(kCreateName, "InAssociation in createScheduleJob():");
    EvDebug::Error(kCreateName, "ClientId :[%d]", static_cast<int>(geti(e, 47)));
    EvDebug::Error(kCreateName, "AppType:[%d]", static_cast<int>(geti(e, 38)));
    EvDebug::Error(kCreateName, "InstanceId :[%d]", static_cast<int>(geti(e, 29)));
    EvDebug::Error(kCreateName, "BackupSetId :[%d]", static_cast<int>(geti(e, 20)));
    EvDebug::Error(kCreateName, "SCId :[%d]", static_cast<int>(geti(e, 11)));
  }
}

}  // namespace

int EvTask::CreateTask(std::string& xml, std::list<long long>& jobIds, int& taskId, int userId,
                       std::string& errorText, int localeId, long long sequenceNumber, bool endUser, bool flag) {
  EvEvent ev("EvTask::CreateTask");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->CreateTask(xml, jobIds, taskId, userId, errorString, localeId, sequenceNumber, endUser, flag);
  errorText = errorString;
  if (errorCode == 0) {
    // The reply's own id, when the reply says so, replaces the binary one.
    registerScheduleMessageClasses();
    TMMsg::CreateTaskResp resp;
    long long id = 0;
    if (resp.unserialize(xml) == 0 && resp.getint64(1, 0, id) == 0) taskId = static_cast<int>(id);
  }
  return errorCode;
}

int EvTask::TaskRequest(std::string& xml, std::list<long long>& jobIds, int& taskId, int userId,
                        std::string& errorText, unsigned long requestKind, int localeId, long long sequenceNumber,
                        bool flag, bool endUser) {
  EvEvent ev("EvTask::TaskRequest");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->TaskRequest(xml, jobIds, taskId, userId, errorString, requestKind, localeId, sequenceNumber,
                                 flag, endUser);
  errorText = errorString;
  return errorCode;
}

int EvTask::createScheduleJob(TMMsg::SubTaskType subTaskType, TMMsg::TaskOperationType operationType,
                              std::list<long long>& jobIds, std::string& errorText, unsigned long userId,
                              std::vector<YmEntities::GenericEntity>* associations, TMMsg::Pattern* pattern,
                              TMMsg::JobOption* options, unsigned long localeId, long long sequenceNumber,
                              bool endUser, TMMsg::TaskType taskType, std::string subTaskName,
                              std::string description) {
  int taskId = 0;
  return _createScheduleJob(taskId, subTaskType, operationType, jobIds, errorText, userId, associations, pattern,
                            options, localeId, sequenceNumber, endUser, taskType, subTaskName, description);
}

int EvTask::_createScheduleJob(int& taskId, TMMsg::SubTaskType subTaskType, TMMsg::TaskOperationType operationType,
                               std::list<long long>& jobIds, std::string& errorText, unsigned long userId,
                               std::vector<YmEntities::GenericEntity>* associations, TMMsg::Pattern* pattern,
                               TMMsg::JobOption* options, unsigned long localeId, long long sequenceNumber,
                               bool endUser, TMMsg::TaskType taskType, std::string subTaskName,
                               std::string description) {
  EvEvent ev(kCreateName, "");
  registerScheduleMessageClasses();
  TMMsg::CreateTaskReq request;
  TMMsg::TaskInfo info;

  CNMessageBase& task = child(info, 1, TMMsg::Task::kClass);
  child(task, 6, TMMsg::TaskFlags::kClass);
  seti(task, 8, taskType);
  seti(task, 10, static_cast<long long>(userId));
  seti(task, 12, 3);
  task.setstring(14, 0, description);

  TMMsg::SubTaskInfo subTaskInfo;
  CNMessageBase& subTask = child(subTaskInfo, 1, TMMsg::SubTask::kClass);
  subTask.setstring(1, 0, subTaskName);
  if (associations != nullptr) info.setlistobject(3, 0, *associations);
  seti(subTask, 6, subTaskType);
  seti(subTask, 7, operationType);
  if (options != nullptr) subTaskInfo.setObjectAccessor(4, 0, *options);
  // An immediate task never carries a pattern.
  if (taskType != TMMsg::TASK_IMMEDIATE && pattern != nullptr) subTaskInfo.setObjectAccessor(3, 0, *pattern);
  info.appendlistobject(5, 0, subTaskInfo);
  request.setObjectAccessor(2, 0, info);

  if (CNMessageBase::Initialize() != 0) {
    errorText = YM_XML_INIT_FAILED_TEXT;
    EvDebug::Error(kCreateName, "Failed to Initialize taskReq object. Error: %d", YM_XML_INIT_FAILED);
    return YM_XML_INIT_FAILED;
  }
  if (CNMessageBase::Initialize() != 0) {
    errorText = YM_XML_INIT_FAILED_TEXT;
    EvDebug::Error(kCreateName, "Failed to Initialize genResp object. Error: %d", YM_XML_INIT_FAILED);
    return YM_XML_INIT_FAILED;
  }

  if (associations != nullptr) {
    logAssociations(*associations);
    std::vector<YmEntities::GenericEntity> readBack;
    request.getObjectAccessor(2, 0)->getlistobject(3, 0, readBack);
    logAssociations(readBack);
  }

  std::string xml;
  const int src = request.serialize(xml, false);
  if (src != 0) {
    EvDebug::Error(kCreateName, "Failed to serialize task object. Error: %d", src);
    errorText = request.lastError();
    return src;
  }
  EvDebug::Debug(kCreateName, "Submitting Create Task Request. \n Request : [%s]", xml.c_str());
  const std::list<long long> before = jobIds;
  int newTaskId = taskId;
  const int rc = CreateTask(xml, jobIds, newTaskId, static_cast<int>(userId), errorText,
                            static_cast<int>(localeId), sequenceNumber, endUser, false);
  if (rc != 0) {
    EvDebug::Debug(kCreateName, "Failed to create task.\nResponse :[%s]", errorText.c_str());
    return rc;
  }
  const int replyRc = readCreateReply(xml, errorText);
  if (replyRc != 0) {
    EvDebug::Error(kCreateName, "Task creation refused or not understood. Error: %d [%s]", replyRc,
                   errorText.c_str());
    jobIds = before;
    return replyRc;
  }
  taskId = newTaskId;
  return 0;
}
