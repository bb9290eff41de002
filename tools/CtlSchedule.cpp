// The schedule and job operations of evtaskctl on the library's schedule
// builders, immediate jobs, schedule queries and job list. Built when the
// library has them (schedule/XmlMessages.h).
#include <ctime>
#include <sstream>

#include "platform/YmClock.h"
#include "platform/XmlServices.h"
#include "platform/YmErrors.h"
#include "schedule/ScheduleRecords.h"
#include "schedule/XmlMessages.h"
#include "task/EvTask.h"
#include "tools/CtlJobs.h"

namespace evtask {
namespace ctl {

namespace {

// A task object whose stored result code can be read after an operation
// that reports only true or false.
class OpTask : public EvTask {
 public:
  OpTask() : EvTask(0, 2, nullptr, false) {}
  int code() const { return errorCode; }
};

// The code and text of a builder that returned false: the task object's,
// or a refusal of the arguments (logged by the library) when it has none.
int failed(OpTask& task, std::string& err) {
  err = task.getErrorString();
  if (task.code() != 0) return task.code();
  if (err.empty()) err = "the request was refused; the library's log names the reason";
  return YM_DB_NODATA;
}

int boolResult(bool ok, OpTask& task, std::string& err) { return ok ? 0 : failed(task, err); }

std::vector<int> idList(const OpArgs& a, const std::string& name) {
  std::vector<int> ids;
  std::stringstream in(a.t(name));
  std::string item;
  while (std::getline(in, item, ','))
    if (!item.empty()) ids.push_back(std::atoi(item.c_str()));
  return ids;
}

}  // namespace

int performSchedule(const std::string& kind, const OpArgs& a, OpResult& result, std::string& err) {
  OpTask task;
  const unsigned long user = a.userId;
  if (kind == "send-log-files") {
    // A daily pattern starting at midnight, named as asked.
    TMMsg::Pattern pattern;
    pattern.setstring(2, 0, a.t("name"));
    pattern.setint64(7, 0, 4);
    pattern.setint64(9, 0, 1);
    pattern.setint64(17, 0, 0);
    TMMsg::JobOption options;
    int id = 0;
    int rc = task.createAutoScheduleForSendLogFiles(id, user, &options, err, static_cast<int>(a.i("locale")),
                                                    &pattern);
    if (rc != 0) return failed(task, err);
    result.taskId = id;
    return 0;
  }
  if (kind == "aux-copy")
    return boolResult(task.createAutoScheduleForAuxCopy(user, static_cast<int>(a.i("policy")),
                                                        static_cast<int>(a.i("copy")), nullptr),
                      task, err);
  if (kind == "edc")
    return boolResult(task.createEDCSchedule(user, static_cast<int>(a.i("client")), static_cast<int>(a.i("instance")),
                                             static_cast<int>(a.i("instance-type")),
                                             static_cast<int>(a.i("backupset")), static_cast<int>(a.i("subclient")),
                                             a.i("run-now") != 0),
                      task, err);
  if (kind == "easy-backup") {
    int rc = task.createEZBackupSchedule(user, static_cast<int>(a.i("apptype")), static_cast<int>(a.i("client")),
                                         a.t("name").empty() ? "evtaskctl easy backup" : a.t("name"),
                                         a.t("description"));
    if (rc != 0) err = task.getErrorString().empty() ? "easy-backup schedule refused" : task.getErrorString();
    return rc;
  }
  if (kind == "update") {
    App::UpdateSchedule schedule;
    schedule.setint64(1, 0, a.i("day-mask"));
    // The first run: as given (a time value), else now.
    schedule.setint64(2, 0, a.i("first-run", static_cast<long long>(YmClock::current()->now())));
    return boolResult(task.CreateUpdateSchedule(schedule, static_cast<int>(a.i("client")), a.i("download") != 0,
                                                static_cast<int>(a.i("locale")), static_cast<int>(user)),
                      task, err);
  }
  if (kind == "update-job") {
    std::vector<int> clients = idList(a, "client-list");
    std::vector<int> groups = idList(a, "group-list");
    if (clients.empty() && groups.empty()) {
      err = "name at least one --client or --group";
      return YM_DB_NODATA;
    }
    return boolResult(task.CreateUpdateJob(clients, groups, static_cast<int>(a.i("update-value")),
                                           a.i("first-flag") != 0, a.i("second-flag") != 0,
                                           static_cast<int>(a.i("locale")), static_cast<int>(user)),
                      task, err);
  }
  err = "unknown schedule kind " + kind;
  return YM_DB_NODATA;
}

int performJob(const std::string& kind, const OpArgs& a, OpResult& result, std::string& err) {
  OpTask task;
  const unsigned long user = a.userId;
  if (kind == "synthetic-full")
    return boolResult(
        task.startSyntheticFullJob(user, static_cast<int>(a.i("subclient")), a.i("incremental-before") != 0), task,
        err);
  if (kind == "inventory") {
    InventoryJobParams params;
    params.inventoryType = static_cast<int>(a.i("inventory-type"));
    params.libraryId = static_cast<int>(a.i("library"));
    return boolResult(task.startAutoInventoryJob(user, &params), task, err);
  }
  if (kind == "reconstruction") {
    std::vector<int> subStores;
    if (a.ints.count("substore")) subStores.push_back(static_cast<int>(a.i("substore")));
    return boolResult(task.startDedupDBSyncJob(user, static_cast<int>(a.i("store")), static_cast<int>(a.i("policy")),
                                               static_cast<int>(a.i("copy")), subStores.empty() ? nullptr : &subStores,
                                               static_cast<int>(a.i("streams")), 0, 0),
                      task, err);
  }
  if (kind == "partition-move") {
    DDBMoveInputParams params;
    params.storeId = static_cast<int>(a.i("store"));
    params.subStoreId = static_cast<int>(a.i("substore"));
    params.sourceMediaAgentId = static_cast<int>(a.i("source-ma"));
    params.destinationMediaAgentId = static_cast<int>(a.i("dest-ma"));
    params.sourcePath = a.t("source-path");
    params.targetPath = a.t("target-path");
    return boolResult(task.startMovePartitionJob(user, params, static_cast<int>(a.i("flags")), a.i("config-only") != 0),
                      task, err);
  }
  if (kind == "index-scale") {
    auto client = [&](const std::string& name) {
      YmEntities::ClientEntity c;
      c.setint64(0, 0, a.i(name));
      return c;
    };
    DM2ContentIndexing::ScaleIndexReq req;
    req.setObjectAccessor(4, 0, client("index-client"));
    req.setObjectAccessor(5, 0, client("source-client"));
    req.setObjectAccessor(6, 0, client("dest-client"));
    if (!a.t("core").empty()) {
      DM2ContentIndexing::ScaleIndexCoreInfo core;
      core.setstring(1, 0, a.t("core"));
      core.setstring(6, 0, a.t("source-path"));
      core.setstring(10, 0, a.t("dest-path"));
      req.appendlistobject(2, 0, core);
    }
    DM2ContentIndexing::IndexAutoscaleOption option;
    option.appendlistobject(1, 0, req);
    _IndexScaleInputParams params;
    params.appTypeId = static_cast<unsigned long>(a.i("apptype"));
    params.backupSetId = static_cast<unsigned long>(a.i("backupset"));
    params.instanceId = static_cast<unsigned long>(a.i("instance"));
    params.subclientId = static_cast<unsigned long>(a.i("subclient"));
    if (!task.startIndexScaleJob(user, option, params, result.jobIds)) return failed(task, err);
    return 0;
  }
  err = "unknown job kind " + kind;
  return YM_DB_NODATA;
}

int listSchedules(int clientId, ClientSchedules& out, std::string& err) {
  EvTask task(0, 2, nullptr, false);
  int rc = task.getAutomaticSchedules(clientId, out.automatic, err, false, 1, 0, 0, false, nullptr);
  if (rc != 0) return rc;
  return task.getUpdateSchedules(clientId, out.update, err, false, 1, 0, 0, false, nullptr);
}

int queryJob(long long jobId, JobState& state, std::string& err) {
  // The job-list query of EvTask::GetJobSummary, sent here through the XML
  // request handler: GetJobSummary answers only true or false, and a wait
  // needs the code to tell a server that cannot be reached (retried, exit 3)
  // from one that refuses (exit 1).
  registerScheduleMessageClasses();
  JobManager::JobListRequest request;
  request.setint64(3, 0, 1);
  CNMessageBase sort(JobManager::JobListRequest::kFamily, JobManager::kSortClass);
  sort.setstring(1, 0, "jobId");
  sort.setint64(5, 0, 1);
  request.setObjectAccessor(1, 0, sort);
  JobManager::JobFilter filter;
  filter.setint64(11, 0, 300);
  filter.setlistint(4, 0, std::vector<int>{static_cast<int>(jobId)});
  request.setObjectAccessor(2, 0, filter);
  std::string xml;
  int rc = request.serialize(xml, false);
  if (rc != 0) {
    err = "cannot build the job list query: " + request.lastError();
    return rc;
  }
  rc = XMLHandler().handleXMLReq(1, request.getTagID(), xml, err, "", 0);
  if (rc != 0) return rc;
  TMMsg::GenericResp refusal;
  long long refused = 0;
  if (refusal.unserialize(xml) == 0 && refusal.getint64(1, 0, refused) == 0 && refused != 0) {
    refusal.getstring(2, 0, err);
    return static_cast<int>(refused);
  }
  JobManager::JobListResponse response;
  rc = response.unserialize(xml);
  if (rc != 0) {
    err = "unexpected reply to the job list query: " + response.lastError();
    return rc;
  }
  std::vector<JobManager::Job> jobs;
  response.getlistobject(1, 0, jobs);
  for (const JobManager::Job& job : jobs) {
    const CNMessageBase* summary = job.getObjectAccessor(1, 0);
    long long id = 0;
    if (summary == nullptr || summary->getint64(1, 0, id) != 0 || id != jobId) continue;
    state.jobId = jobId;
    summary->getstring(10, 0, state.status);
    summary->getstring(19, 0, state.detail);
    state.percent = progressOfDetail(state.detail);
    return 0;
  }
  err = "job " + std::to_string(jobId) + " is not known to the server";
  return YM_DB_NODATA;
}

}  // namespace ctl
}  // namespace evtask
