// EvTask: construction, interface acquisition, lookup and update, and the
// operations on the task, subtask, entity and pattern rows.
#include <memory>

#include "platform/EvDebug.h"
#include "platform/YmErrors.h"
#include "service/Platform.h"
#include "task/EvTask.h"

namespace {

unsigned long low32(unsigned long long value) { return static_cast<unsigned long>(value & 0xFFFFFFFFULL); }

}  // namespace

EvTask::EvTask(unsigned long long id, int idKind, void* event, bool flag)
    : TmTaskOptions(),
      OptionCallBack(),
      TmTaskFiles(),
      FileCallBack(),
      errorCode(0),
      platformType(0),
      initialized(false),
      xmlOptionsInitialized(false),
      extOptionsInitialized(false),
      id(id),
      pathIterator(),
      pathIteratorEnd() {
  clearErrors();
  taskInfo.jobId = id;
  taskInfo.idKind = idKind;
  taskInfo.creationFlag = flag;
  TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton();
  platformType = TaskPlatformInfoSingleton::getPlatformType();

  if (id == 0) {
    // Nothing is stored for a task without id: option reads must not go to
    // the service.
    setOptsInitialized();
    return;
  }

  if (idKind != 0) {
    if (idKind == 2) {
      taskInfo.taskId = low32(id);
    } else if (idKind == 1) {
      taskInfo.subTaskId = low32(id);
    } else if (getJobInfo(event) != 0) {
      return;
    }
    Sched_Task task;
    if (getTaskInfo(task, event) != 0) return;
    Sched_SubTask subTask;
    if (getSubTaskInfo(subTask, event) != 0) return;
    std::vector<Sched_AssocEntity> entities;
    if (getEntityInfo(entities, event) != 0) return;
  }

  EvDebug::DebugLvl("EvTask::EvTask", 10, static_cast<long long>(id),
                    "Called with taskId[%lu], subTaskId[%lu], jobId[%lld], type[%d]", taskInfo.taskId,
                    taskInfo.subTaskId, static_cast<long long>(taskInfo.jobId), idKind);
}

EvTask::EvTask(const EvTask& other)
    : TmTaskOptions(other),
      OptionCallBack(),
      TmTaskFiles(),
      FileCallBack(),
      errorCode(other.errorCode),
      errorString(other.errorString),
      platformType(other.platformType),
      initialized(other.initialized),
      xmlOptionsInitialized(other.xmlOptionsInitialized),
      extOptionsInitialized(other.extOptionsInitialized),
      taskInfo(other.taskInfo),
      id(other.id),
      pathIterator(),
      pathIteratorEnd() {}

EvTask::~EvTask() = default;

void EvTask::clearErrors() {
  errorCode = 0;
  errorString.clear();
}

std::string& EvTask::getErrorString() { return errorString; }

void EvTask::clearBitInitialized() { extOptionsInitialized = false; }

TaskInterface* EvTask::getTaskInterface() {
  EvEvent ev("EvTask::getTaskInterface");
  clearErrors();
  TaskPlatformInfoSingleton::InterfaceFunction factory = TaskPlatformInfoSingleton::getLibInterfaceFunction();
  platformType = TaskPlatformInfoSingleton::getPlatformType();
  if (factory != nullptr) {
    void* made = factory(EV_TASK_API_LIB_INTERFACE_NET);
    if (made != nullptr) return static_cast<TaskInterface*>(made);
  }
  errorCode = YM_GET_INTERFACE_FAILED;
  errorString = "get Interface failed";
  EvDebug::DebugLvl("EvTask::getTaskInterface", -1, static_cast<long long>(id), "%s", errorString.c_str());
  return nullptr;
}

unsigned long long EvTask::getId() { return id; }

unsigned long EvTask::getTaskFlags() { return taskInfo.task.flags; }

unsigned long EvTask::getTaskStatus() { return taskInfo.task.status; }

std::string EvTask::getJobDescription() { return taskInfo.task.description; }

bool EvTask::isDefaultTaskId() { return (taskInfo.task.flags & 0x80) != 0; }

// --- lookup, update, saveChanges ----------------------------------------------------

int EvTask::lookup(void* event) {
  EvEvent ev("EvTask::lookup");
  clearErrors();
  if (initialized) return 0;
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->lookup(taskInfo, errorString, event);
  if (errorCode == 0) initialized = true;
  return errorCode;
}

int EvTask::update(void* event) {
  EvEvent ev("EvTask::update");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!initialized) {
    EvDebug::DebugLvl("EvTask::update", 1, static_cast<long long>(id),
                      "Task Manager object is getting modified without being initilized.");
    EvDebug::DebugLvl("EvTask::update", 1, static_cast<long long>(id),
                      "No update will be done on Task Manager Object.");
    return errorCode;
  }
  if (iface) {
    errorCode = iface->update(taskInfo, errorString, event);
    // On the central server platform the server may rewrite what it stores:
    // the next lookup has to fetch it again.
    if (errorCode == 0) initialized = (platformType & 1) == 0;
  }
  return errorCode;
}

int EvTask::saveChanges() {
  EvEvent ev("EvTask::saveChanges");
  if (setTaskInfo(Sched_Task(taskInfo.task), nullptr) != 0) {
    EvDebug::DebugLvl("EvTask::saveChanges", -1, static_cast<long long>(id),
                      "Could not save task info in TM_Task table, error [%s]", errorString.c_str());
    return errorCode;
  }
  if (setSubTaskInfo(Sched_SubTask(taskInfo.subTask), nullptr) != 0) {
    EvDebug::DebugLvl("EvTask::saveChanges", -1, static_cast<long long>(id),
                      "Could not save sub task info in TM_SubTask table, error [%s]", errorString.c_str());
    return errorCode;
  }
  // An empty list sends the cached entities as they are.
  if (setEntityInfo(std::vector<Sched_AssocEntity>(), nullptr) != 0) {
    EvDebug::DebugLvl("EvTask::saveChanges", -1, static_cast<long long>(id),
                      "Could not save entity info in TM_AssocEntity table, error [%s]", errorString.c_str());
  }
  return errorCode;
}

// --- rows ------------------------------------------------------------------------------

int EvTask::getJobInfo(void* event) {
  EvEvent ev("EvTask::getJobInfo");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->getJobInfo(taskInfo, errorString, event);
  return errorCode;
}

int EvTask::getTaskInfo(Sched_Task& row, void* event) {
  EvEvent ev("EvTask::getTaskInfo");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->getTaskInfo(taskInfo, errorString, event);
  if (errorCode == 0) row = taskInfo.task;
  return errorCode;
}

int EvTask::getSubTaskInfo(Sched_SubTask& row, void* event) {
  EvEvent ev("EvTask::getSubTaskInfo");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->getSubTaskInfo(taskInfo, errorString, event);
  if (errorCode == 0) row = taskInfo.subTask;
  return errorCode;
}

int EvTask::getEntityInfo(std::vector<Sched_AssocEntity>& list, void* event) {
  EvEvent ev("EvTask::getEntityInfo");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  // The service appends to the record's list: start from an empty one.
  taskInfo.entities.clear();
  errorCode = iface->getEntityInfo(taskInfo, errorString, event);
  if (errorCode == 0) list = taskInfo.entities;
  return errorCode;
}

int EvTask::getEntityInfo(Sched_AssocEntity& entity, void* event) {
  clearErrors();
  if (taskInfo.entities.empty()) {
    std::vector<Sched_AssocEntity> fetched;
    const int rc = getEntityInfo(fetched, event);
    if (rc != 0) return rc;
  }
  if (taskInfo.entities.empty()) return YM_DB_NODATA;
  entity = taskInfo.entities.front();
  return errorCode;
}

int EvTask::getPatternInfo(std::vector<Sched_Pattern>& list, void* event) {
  EvEvent ev("EvTask::getPatternInfo");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  taskInfo.patterns.clear();
  errorCode = iface->getPatternInfo(taskInfo, errorString, event);
  if (errorCode == 0) list = taskInfo.patterns;
  return errorCode;
}

int EvTask::setTaskInfo(Sched_Task, void* event) {
  EvEvent ev("EvTask::setTaskInfo");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->setTaskInfo(taskInfo, errorString, event);
  return errorCode;
}

int EvTask::setSubTaskInfo(Sched_SubTask, void* event) {
  EvEvent ev("EvTask::setSubTaskInfo");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->setSubTaskInfo(taskInfo, errorString, event);
  return errorCode;
}

int EvTask::setEntityInfo(std::vector<Sched_AssocEntity> list, void* event) {
  EvEvent ev("EvTask::setEntityInfo");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  taskInfo.entities.insert(taskInfo.entities.end(), list.begin(), list.end());
  errorCode = iface->setEntityInfo(taskInfo, errorString, event);
  return errorCode;
}

int EvTask::setEnityToTask(Sched_AssocEntity& entity, void* event) {
  return setEntityInfo(std::vector<Sched_AssocEntity>(1, entity), event);
}

int EvTask::addClientToTask(int clientId, void* event) {
  Sched_AssocEntity entity;
  entity.clientId = clientId;
  return setEnityToTask(entity, event);
}

int EvTask::getDefaultTaskId(long& defaultTaskId, void* event) {
  EvEvent ev("EvTask::getDefaultTaskId");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->getDefaultTaskId(taskInfo, errorString, event);
  if (errorCode == 0) defaultTaskId = static_cast<long>(taskInfo.task.taskId);
  return errorCode;
}

// --- catalogue queries -------------------------------------------------------------------

int EvTask::getJobListFromTaskId(std::list<unsigned long long>& jobs, void* event) {
  EvEvent ev("EvTask::getJobListFromTaskId");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->getJobListFromTaskId(taskInfo, jobs, errorString, event);
  return errorCode;
}

int EvTask::getJobIdsFromBkpStats(std::list<unsigned long long>& jobs, std::string text, bool flag, int number,
                                  void* event) {
  EvEvent ev("EvTask::getJobIdsFromBkpStats");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->getJobIdsFromBkpStats(jobs, text, flag, number, errorString, event);
  return errorCode;
}

int EvTask::getJobRequestIdFromJobId(long long& requestId, void* event) {
  EvEvent ev("EvTask::getJobRequestIdFromJobId");
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (iface) {
    // Job ids of this request are 32-bit: only the low half of the id goes.
    errorCode = iface->getJobRequestIdFromJobId(requestId, static_cast<long long>(id & 0xFFFFFFFFULL),
                                                errorString, event);
  }
  if (errorCode != 0) requestId = 0;
  return errorCode;
}
