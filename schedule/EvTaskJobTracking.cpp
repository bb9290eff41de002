// EvTask: job tracking and cleanup (job list, waiting for a job, running a
// subtask now, sweep tasks, deleting schedules, the recorded schedule list
// and the entities of a job request).
#include <strings.h>

#include "platform/EvDebug.h"
#include "platform/XmlServices.h"
#include "platform/YMGlobalParam.h"
#include "platform/YmClock.h"
#include "platform/YmErrors.h"
#include "schedule/ScheduleInternal.h"
#include "schedule/ScheduleRecords.h"
#include "task/EvTask.h"

using namespace evtask::sched;

namespace {

const unsigned long kPollMs = 30000;
const int kMaxFailedPolls = 5;
const unsigned long kJobRequestEntitiesProcedure = 0x154EE415;
const long long kRunNowOptionId = 0x5CFB22DE;
const char* const kRunFailedText = "Error in running job for schedule. Please check controlhost log for more details";

struct JobState {
  const char* text;
  bool success;
};

// Final job states; any other status text means the job still runs.
const JobState kFinalStates[] = {
    {"Completed", true},
    {"Completed w/ one or more errors", true},
    {"Completed w/ one or more warnings", true},
    {"Committed", true},
    {"Failed", false},
    {"Killed", false},
    {"Abnormally Terminated Cleanup", false},
    {"Failed To Start", false},
    {"System Failed", false},
};

const JobState* finalState(const std::string& status) {
  for (const JobState& s : kFinalStates) {
    if (strcasecmp(s.text, status.c_str()) == 0) return &s;
  }
  return nullptr;
}

}  // namespace

bool isFinalJobStatus(const std::string& status, bool& success) {
  const JobState* state = finalState(status);
  success = state != nullptr && state->success;
  return state != nullptr;
}

bool EvTask::GetJobSummary(std::vector<long long>& jobIds, JobManager::JobListResponse& response) {
  static const char* const kName = "GetJobSummary";
  EvEvent ev(kName);
  registerScheduleMessageClasses();
  JobManager::JobListRequest request;
  seti(request, 3, 1);
  CNMessageBase& sort = child(request, 1, 21, JobManager::kSortClass);
  sort.setstring(1, 0, "jobId");
  seti(sort, 5, 1);
  CNMessageBase& filter = child(request, 2, JobManager::JobFilter::kFamily, JobManager::JobFilter::kClass);
  seti(filter, 11, 300);
  std::vector<int> ids;
  for (long long j : jobIds) ids.push_back(static_cast<int>(j));
  filter.setlistint(4, 0, ids);
  std::string xml;
  if (request.serialize(xml, false) != 0) {
    EvDebug::Error(kName, "Error in serializing jobListReq message.");
    return false;
  }
  EvDebug::DebugLvl(kName, 10, "Job List Req %s", xml.c_str());
  std::string err;
  if (XMLHandler().handleXMLReq(1, request.getTagID(), xml, err, "", 0) != 0) {
    EvDebug::Error(kName, "Error [%s] in sending job list request", err.c_str());
    return false;
  }
  EvDebug::DebugLvl(kName, 10, "Job Response is -> %s", xml.c_str());
  if (response.unserialize(xml) != 0) {
    EvDebug::Error(kName, "Error in unserializing Job List response");
    EvDebug::DebugLvl(kName, -1, "%s", response.lastError().c_str());
    return false;
  }
  return true;
}

bool EvTask::WaitForJobToComplete(long long jobId, bool& success, std::string& jobStatus, std::string& statusDetail) {
  static const char* const kName = "WaitForJobToComplete";
  EvEvent ev(kName);
  EvDebug::Error(kName, "Waiting for job completion of jobID [%lld]", jobId);
  success = false;
  int attempts = 0;
  for (;;) {
    EvDebug::DebugLvl(kName, 10, "Waiting for job completion of jobID [%lld]", jobId);
    YmSleep(kPollMs);
    std::vector<long long> ids{jobId};
    JobManager::JobListResponse response;
    bool found = false;
    if (GetJobSummary(ids, response)) {
      std::vector<JobManager::Job> jobs;
      response.getlistobject(1, 0, jobs);
      for (const JobManager::Job& job : jobs) {
        const CNMessageBase* summary = job.getObjectAccessor(1, 0);
        if (summary == nullptr || geti(*summary, 1, -1) != jobId) continue;
        found = true;
        attempts = 0;
        summary->getstring(10, 0, jobStatus);
        summary->getstring(19, 0, statusDetail);
        EvDebug::DebugLvl(kName, 5, "Job Status [%s] received for jobID [%lld]", jobStatus.c_str(), jobId);
        if (const JobState* state = finalState(jobStatus)) {
          success = state->success;
          EvDebug::Error(kName, "Identified Job completion for jobID [%lld] with job status [%s]", jobId,
                         jobStatus.c_str());
          return true;
        }
      }
    }
    if (found) continue;
    if (++attempts <= kMaxFailedPolls) {
      EvDebug::Error(kName, "Error in Waiting for job completion of jobID [%lld]. Attempt [%d]", jobId, attempts);
      continue;
    }
    EvDebug::Error(kName, "Error in Waiting for job completion of jobID [%lld]. So returning", jobId);
    return false;
  }
}

int EvTask::TriggerJobforSubtask(YmEntities::SubtaskEntity subtask, std::string& errorText, bool& success,
                                 std::string& jobStatus, std::string& statusDetail) {
  static const char* const kName = "TriggerJobforSubtask";
  EvEvent ev(kName);
  registerScheduleMessageClasses();
  errorText.clear();
  TMMsg::TaskOperationReq request;
  seti(request, 4, TMMsg::OP_RUN_NOW);
  request.setlistobject(5, 0, std::vector<YmEntities::SubtaskEntity>{subtask});
  seti(request, 10, 3);
  TMMsg::OptionFilter option;
  seti(option, 1, kRunNowOptionId);
  option.setstring(2, 0, "1");
  child(request, 12, TMMsg::kOptionHolderClass).setlistobject(1, 0, std::vector<TMMsg::OptionFilter>{option});
  std::string xml;
  request.serialize(xml, false);
  const int rc = XMLHandler().handleXMLReq(1, request.getTagID(), xml, errorText, "", 0);
  if (rc != 0) {
    EvDebug::Error(kName, "Error code [%d], error [%s] while doing run immediately for schedule. ", rc,
                   errorText.c_str());
    errorText = kRunFailedText;
    return 1;
  }
  TMMsg::CreateTaskResp response;
  std::vector<std::string> jobs;
  if (response.unserialize(xml) != 0 || response.getliststring(2, 0, jobs) != 0 || jobs.empty()) {
    EvDebug::Error(kName, "No job in task manager response. ");
    errorText = kRunFailedText;
    return 1;
  }
  long long jobId = 0;
  if (!parseDecimalId(jobs.front(), jobId)) {
    EvDebug::Error(kName, "Invalid job id [%s] in task manager response. ", jobs.front().c_str());
    errorText = kRunFailedText;
    return 1;
  }
  if (!WaitForJobToComplete(jobId, success, jobStatus, statusDetail)) {
    EvDebug::Error(kName, "Error in waiting for job to complete.");
    errorText = "Error in waiting for job to complete. Please check controlhost log for more details";
    return 1;
  }
  return 0;
}

bool EvTask::CreateTaskforSweep(int subclientId, int appTypeId, int createdTaskId, int, int sweepValue,
                                std::list<long long>& jobIds, std::string& errorText) {
  EvEvent ev("EvTask::CreateTaskforSweep");
  EvDebug log(nullptr);
  registerScheduleMessageClasses();
  TMMsg::TaskInfo info;
  CNMessageBase& task = child(info, 1, TMMsg::Task::kClass);
  child(task, 6, TMMsg::TaskFlags::kClass);
  seti(task, 8, TMMsg::TASK_IMMEDIATE);
  seti(task, 10, 1);
  seti(task, 12, 3);
  YmEntities::GenericEntity entity;
  seti(entity, 38, appTypeId);
  seti(entity, 11, subclientId);
  info.setlistobject(3, 0, std::vector<YmEntities::GenericEntity>{entity});
  TMMsg::SubTaskInfo sub;
  CNMessageBase& element = child(sub, 1, TMMsg::SubTask::kClass);
  seti(element, 6, TMMsg::SUBTASK_BACKUP);
  seti(element, 7, TMMsg::OP_BACKUP);
  TMMsg::JobOption options;
  seti(child(options, 1, TMMsg::kCommonOptionsClass), 1, 2);
  seti(child(options, 4, TMMsg::kJobOptionScheduleClass), 24, sweepValue);
  sub.setObjectAccessor(4, 0, options);
  info.appendlistobject(5, 0, sub);
  TMMsg::CreateTaskReq request;
  request.setObjectAccessor(2, 0, info);

  if (CNMessageBase::Initialize() != 0) {
    errorText = "Failed to Initialize taskReq object.";
    log.error("EvTask(5190): -Error-: %s", errorText.c_str());
    return false;
  }
  std::string xml;
  if (request.serialize(xml, false) != 0) {
    errorText = "Failed to serialize taskReq object.";
    log.error("EvTask(5200): -Error-: %s", errorText.c_str());
    return false;
  }
  log.debugLvl(5, "EvTask(5204): -Debug-: Submitting Create Task Request. \n Request : [%s]", xml.c_str());
  const std::list<long long> before = jobIds;
  if (CreateTask(xml, jobIds, createdTaskId, 1, errorText, 0, 0, false, false) != 0) {
    log.error("EvTask(5210): -Error-: Failed to create task.\nResponse :[%s]", errorText.c_str());
    return false;
  }
  XMLDecoder decoder;
  CNMessageBase* reply = decoder.unSerialize(xml, nullptr);
  if (reply == nullptr) {
    // A reply that cannot be read does not confirm anything.
    errorText = "Unexpected reply to the task creation request: " + decoder.lastError();
    log.error("EvTask(5210): -Error-: Failed to create task.\nResponse :[%s]", errorText.c_str());
    jobIds = before;
    return false;
  }
  std::string message;
  if (reply->getTagID() == TMMsg::GenericResp().getTagID() && reply->getstring(2, 0, message) == 0) {
    errorText = message;
  }
  return !jobIds.empty();
}

int EvTask::deleteTaskReq(std::string taskId, EvEvent&, std::string& errorText) {
  static const char* const kName = "deleteTaskReq";
  registerScheduleMessageClasses();
  long long id = 0;
  // A text that is no number must not become a deletion of task 0.
  if (!parseDecimalId(taskId, id) || id < 0 || id > 0xFFFFFFFFll) {
    errorText = "Invalid task id [" + taskId + "]";
    EvDebug::Error(kName, "Error code [%d], while serializing deleteTaskReqObj", YM_BAD_ID_TEXT);
    return YM_BAD_ID_TEXT;
  }
  TMMsg::TaskOperationReq request;
  seti(request, 4, TMMsg::OP_DELETE);
  request.setlistuint(2, 0, std::vector<unsigned int>{static_cast<unsigned int>(id)});
  YmEntities::TaskEntity entity;
  seti(entity, 0, id);
  request.setlistobject(3, 0, std::vector<YmEntities::TaskEntity>{entity});
  seti(request, 10, 3);
  std::string xml;
  int rc = request.serialize(xml, false);
  if (rc != 0) {
    EvDebug::Error(kName, "Error code [%d], while serializing deleteTaskReqObj", rc);
    errorText = "Error in serializing deleteTaskReqObj";
    return rc;
  }
  EvDebug::Debug(kName, "deleteTaskReqObj: %s", xml.c_str());
  rc = XMLHandler().handleXMLReq(1, request.getTagID(), xml, errorText, "", 0);
  if (rc != 0) {
    EvDebug::Error(kName, "Error code [%d], error [%s] while deleting schedule", rc, errorText.c_str());
    return rc;
  }
  EvDebug::Debug(kName, "deleteTaskRespObj: %s", xml.c_str());
  return 0;
}

int EvTask::CleanupWIASchedules(std::string& errorText) {
  static const char* const kName = "CleanupWIASchedules";
  EvEvent ev(kName);
  YMGlobalParam param;
  std::string value;
  int rc = param.get(CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST, value, nullptr);
  if (rc != 0) {
    EvDebug::Error(kName, "Failed to get CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST, errorCode is %d", rc);
    return 0;
  }
  EvDebug::Debug(kName, "CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST is %s before cleanup", value.c_str());
  std::string failed;
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(',', start);
    if (end == std::string::npos) end = value.size();
    const std::string token = value.substr(start, end - start);
    if (!token.empty() && deleteTaskReq(token, ev, errorText) != 0) failed += "," + token;
    start = end + 1;
  }
  if (failed.empty()) {
    EvDebug::DebugLvl(kName, 3, "set CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST to empty");
  } else {
    EvDebug::Error(kName, "Failed to delete task(s): %s", failed.c_str());
  }
  rc = param.set(CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST, failed, nullptr);
  if (rc != 0) EvDebug::Error(kName, "Failed to clear CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST, errorCode is %d", rc);
  return 0;
}

int EvTask::getEntitiesFromRequest(int& jobRequestId, std::vector<int>& subclientIds, void* event) {
  static const char* const kName = "EvTask::getEntitiesFromRequest`";
  EvEvent ev(kName);
  registerScheduleMessageClasses();
  if (CNMessageBase::Initialize() != 0) {
    errorString = YM_XML_INIT_FAILED_TEXT;
    EvDebug::Error(kName, "Failed to Initialize GetJobRequestEntitiesReq object. Error: %d", YM_XML_INIT_FAILED);
    return YM_XML_INIT_FAILED;
  }
  JobManager::GetJobRequestEntitiesReq request;
  seti(request, 1, static_cast<long long>(id));
  std::string input;
  int rc = request.serialize(input, false);
  if (rc != 0) {
    EvDebug::Error(kName, "Failed to serialize GetJobRequestEntitiesReq object. Error: %d", rc);
    return rc;
  }
  EvDebug::DebugLvl(kName, 10, "Calling executeStoredProcedure with jobId [%llu]", id);
  std::string output;
  App_ExecuteSP sp;
  rc = sp.executeStoredProcedure(kJobRequestEntitiesProcedure, input, output, event);
  if (rc != 0) {
    errorString = sp.lastError();
    EvDebug::Error(kName,
                   "Failed to execute Stored procedure while getting the global filer information err [%d]. Input "
                   "[%s]. Ouptut [%s]",
                   rc, input.c_str(), output.c_str());
    return rc;
  }
  EvDebug::DebugLvl(kName, 7, "Got response [%s]", output.c_str());
  JobManager::GetJobRequestEntitiesResp response;
  rc = response.unserialize(output);
  if (rc == 0) {
    std::vector<YmEntities::SubClientEntity> list;
    if (response.getlistobject(3, 0, list) == 0) {
      for (const YmEntities::SubClientEntity& e : list) {
        long long v = 0;
        if (e.getint64(0, 0, v) == 0) subclientIds.push_back(static_cast<int>(v));
      }
    } else {
      EvDebug::Error(kName, "No subclients returned in response [%s]", output.c_str());
    }
    long long requestId = 0;
    if (response.getint64(1, 0, requestId) == 0) {
      jobRequestId = static_cast<int>(requestId);
    } else {
      EvDebug::Error(kName, "No jobRequestId returned in response [%s]", output.c_str());
    }
    return 0;
  }
  const std::string parseError = response.lastError();
  TMMsg::GenericResp refusal;
  if (refusal.unserialize(output) == 0) {
    long long code = 0;
    if (refusal.getint64(1, 0, code) != 0) return 0;
    refusal.getstring(2, 0, errorString);
    return static_cast<int>(code);
  }
  errorString = parseError;
  EvDebug::Error(kName, "Failed to un-serialize response object. Error: [%d] [%s]", rc, output.c_str());
  return rc;
}
