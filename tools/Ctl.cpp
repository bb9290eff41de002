// evtaskctl commands. Every command builds one JSON document; --json prints
// it, otherwise it is rendered as "key: value" lines and tables.
#include "tools/Ctl.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iomanip>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/YMGlobalParam.h"
#include "platform/YMPlatformInfo.h"
#include "platform/YmErrors.h"
#include "task/EvTask.h"
#include "tools/CtlDemo.h"
#include "tools/CtlJobs.h"
#include "tools/CtlOutput.h"

namespace evtask {
namespace ctl {

using Json = nlohmann::ordered_json;

int exitCodeFor(int libraryCode) {
  if (libraryCode == 0) return kExitOk;
  if (libraryCode == YM_GET_INTERFACE_FAILED || isTransientFailure(libraryCode)) return kExitUnreachable;
  return kExitFailed;
}

namespace {

const char* const kFooter =
    "Exit codes: 0 success, 1 failed operation, 2 bad usage, 3 cannot reach the server,\n"
    "4 deadline passed, 130 waiting interrupted by Ctrl-C (the job keeps running).\n"
    "Endpoints: embedded (default: the application manager runs inside evtaskctl),\n"
    "unix:PATH, tcp:HOST:PORT. Errors go to stderr as: error CODE (0xHEX): TEXT.";

// A failure the command reports: the library's code and text, or a usage
// error of our own (code 0, exit 2).
struct Failure {
  int exit = kExitOk;
  int code = 0;
  std::string text;
};

Failure libraryFailure(int code, const std::string& text) {
  Failure f;
  f.exit = exitCodeFor(code);
  f.code = code;
  f.text = text.empty() ? "operation failed without a message" : text;
  return f;
}

Failure usageFailure(const std::string& text) {
  Failure f;
  f.exit = kExitUsage;
  f.text = text;
  return f;
}

// ---- option types ------------------------------------------------------------------------------

struct TypeName {
  const char* name;
  int code;
};
const TypeName kTypes[] = {{"text", 1}, {"bool", 2},  {"short", 5},     {"ushort", 6},     {"int", 7},
                           {"uint", 8}, {"long", 9},  {"ulong", 10},    {"longlong", 14},  {"ulonglong", 15}};

std::string typeName(int code) {
  for (const TypeName& t : kTypes)
    if (t.code == code) return t.name;
  return std::to_string(code);
}

// The type code for a name or a number of a known type; 0 when unknown.
int typeCode(const std::string& text) {
  for (const TypeName& t : kTypes)
    if (text == t.name || text == std::to_string(t.code)) return t.code;
  return 0;
}

bool parseSigned(const std::string& s, long long lo, long long hi) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && v >= lo && v <= hi;
}

bool parseUnsigned(const std::string& s, unsigned long long hi) {
  if (s.empty() || s[0] == '-' || s[0] == '+' || s[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && v <= hi;
}

// Checks `value` against the option type and brings it into the stored text
// form (booleans are stored as "1" and "0"). False for a value the type
// cannot hold: such a value would read back as something else.
bool normaliseValue(int type, std::string& value) {
  switch (type) {
    case 1:
      return true;
    case 2:
      if (value == "1" || value == "true" || value == "yes" || value == "on") {
        value = "1";
        return true;
      }
      if (value == "0" || value == "false" || value == "no" || value == "off") {
        value = "0";
        return true;
      }
      return false;
    case 5:
      return parseSigned(value, SHRT_MIN, SHRT_MAX);
    case 6:
      return parseUnsigned(value, USHRT_MAX);
    case 7:
    case 9:
      return parseSigned(value, INT_MIN, INT_MAX);
    case 8:
    case 10:
      return parseUnsigned(value, UINT_MAX);
    case 14:
      return parseSigned(value, LLONG_MIN, LLONG_MAX);
    case 15:
      return parseUnsigned(value, ULLONG_MAX);
    default:
      return false;
  }
}

Json optionJson(const TaskOption& o) {
  return Json{{"optionId", o.getOptionId()}, {"type", typeName(o.getType())}, {"value", o.getValue()}};
}

Json entityJson(const Sched_AssocEntity& e) {
  return Json{{"taskId", e.taskId},         {"clientGroupId", e.clientGroupId}, {"clientId", e.clientId},
              {"appTypeId", e.appTypeId},   {"instanceId", e.instanceId},       {"backupsetId", e.backupsetId},
              {"subclientId", e.subclientId}};
}

Json automaticJson(const std::vector<_AutomaticTaskInfo>& tasks) {
  Json list = Json::array();
  for (const _AutomaticTaskInfo& t : tasks) {
    Json subs = Json::array();
    for (const _SubTaskInfo& s : t.subTasks)
      subs.push_back(Json{{"taskId", s.subTask.taskId},
                          {"subTaskId", s.subTask.subTaskId},
                          {"subTaskType", s.subTask.subTaskType},
                          {"operationType", s.subTask.operationType},
                          {"pattern", s.automaticPattern}});
    Json ents = Json::array();
    for (const Sched_AssocEntity& e : t.entities) ents.push_back(entityJson(e));
    list.push_back(Json{{"subTasks", subs}, {"entities", ents}});
  }
  return list;
}

// ---- the command line --------------------------------------------------------------------------

struct TaskRef {
  unsigned long long id = 0;
  std::string by = "task";
};

// The id kind of an EvTask for --by; a job id is resolved into its task
// and subtask at construction.
int idKind(const TaskRef& ref) { return ref.by == "subtask" ? 1 : ref.by == "job" ? 3 : 2; }

// A task object whose construction result and fetched rows can be read:
// the constructor fetches the rows once, so showing them needs no second
// round of requests.
class ToolTask : public EvTask {
 public:
  using EvTask::EvTask;
  int constructionCode() const { return errorCode; }
  const _TaskInfo& info() const { return taskInfo; }
};

void addTaskRef(CLI::App* cmd, TaskRef& ref) {
  cmd->add_option("id", ref.id, "task id (or job or subtask id with --by)")->required();
  cmd->add_option("--by", ref.by, "what the id names: task (default), job or subtask")
      ->check(CLI::IsMember({"task", "job", "subtask"}));
}

// Marks the time a command waits for a job (see CtlIo::waiting).
class WaitingScope {
 public:
  explicit WaitingScope(volatile std::sig_atomic_t* flag) : flag_(flag) {
    if (flag_) *flag_ = 1;
  }
  ~WaitingScope() {
    if (flag_) *flag_ = 0;
  }
  WaitingScope(const WaitingScope&) = delete;
  WaitingScope& operator=(const WaitingScope&) = delete;

 private:
  volatile std::sig_atomic_t* flag_;
};

class Ctl {
 public:
  explicit Ctl(CtlIo& io) : io_(io) {}
  int run(const std::vector<std::string>& args);

 private:
  // A task object for `ref`; a job id is resolved first.
  std::unique_ptr<ToolTask> openTask(const TaskRef& ref, Failure& f);
  Failure taskShow();
  Failure optionsList();
  Failure optionsGet();
  Failure optionsSet();
  Failure optionsRemove();
  Failure defaults();
  Failure filesList();
  Failure filesAdd();
  Failure filesRemove();
  Failure paramsGet();
  Failure paramsSet();
  Failure jobsList();
  Failure taskRun();
  Failure schedulesList();
  Failure performKind(const OpKind& kind, bool isJob);
  Failure jobWait();
  Failure demo();
  Failure prepareEndpoint();
  void report(const Failure& f);

  CtlIo& io_;
  bool json_ = false;
  std::string endpoint_;
  std::string dbPath_;
  std::string keyFile_;
  bool demoData_ = false;
  bool textDone_ = false;
  Json doc_;
  TaskRef ref_;
  unsigned long long optionId_ = 0;
  std::vector<unsigned long long> optionIds_;
  std::string value_;
  std::string type_ = "text";
  std::string name_;
  std::vector<std::string> names_;
  int fileType_ = 0;
  unsigned long long fileId_ = 0;
  unsigned long subTaskId_ = 0;
  int userId_ = 1;
  int clientId_ = 0;
  long long jobId_ = 0;
  double timeoutSec_ = 0;
  OpArgs opArgs_;
  std::map<std::string, std::vector<long long>> intLists_;
  std::map<std::string, bool> flags_;
};

std::unique_ptr<ToolTask> Ctl::openTask(const TaskRef& ref, Failure& f) {
  auto task = std::make_unique<ToolTask>(ref.id, idKind(ref), nullptr, false);
  // A task without entities is a task all the same.
  int rc = task->constructionCode();
  if (rc != 0 && rc != YM_DB_NODATA) f = libraryFailure(rc, task->getErrorString());
  return task;
}

Failure Ctl::taskShow() {
  Failure f;
  auto task = openTask(ref_, f);
  if (f.exit != kExitOk) return f;
  Sched_SubTask sub = task->info().subTask;
  if (ref_.by == "subtask") {
    // The task of a subtask is known once its row is read; the task's rows,
    // entities and identity are then those of that task.
    int rc = task->getSubTaskInfo(sub, nullptr);
    if (rc != 0) return libraryFailure(rc, task->getErrorString());
    TaskRef owner;
    owner.id = sub.taskId;
    task = openTask(owner, f);
    if (f.exit != kExitOk) return f;
  }
  const Sched_Task& row = task->info().task;
  if (row.taskId == 0)
    return libraryFailure(YM_DB_NODATA, "no task found for " + ref_.by + " id " + std::to_string(ref_.id));
  doc_["task"] = Json{{"taskId", row.taskId},
                      {"flags", row.flags},
                      {"status", row.status},
                      {"isDefault", (row.flags & 0x80) != 0}};
  if (ref_.by == "job") doc_["jobId"] = ref_.id;
  if (sub.subTaskId != 0)
    doc_["subTask"] = Json{{"subTaskId", sub.subTaskId},
                           {"taskId", sub.taskId},
                           {"subTaskType", sub.subTaskType},
                           {"operationType", sub.operationType}};
  // Fetched here: the eager fetch of the constructor stops before the
  // entities when the task has no subtask row.
  std::vector<Sched_AssocEntity> entities;
  int rc = task->getEntityInfo(entities, nullptr);
  if (rc != 0 && rc != YM_DB_NODATA) return libraryFailure(rc, task->getErrorString());
  Json ents = Json::array();
  for (const Sched_AssocEntity& e : entities) ents.push_back(entityJson(e));
  doc_["entities"] = ents;
  // The identity lives in options of the task; the getters read 0 for an
  // option that is not set.
  Json identity{{"taskType", task->getTaskType()},
                {"subTaskType", task->getSubTaskType()},
                {"operationType", task->getOperationType()},
                {"sequenceNumber", task->getSequenceNumber()},
                {"ownerId", task->getOwnerId()},
                {"userId", task->getUserId()},
                {"alertId", task->getAlertId()},
                {"localeId", task->getLocaleId()},
                {"scheduleId", task->getScheduleId()}};
  struct IdGetter {
    const char* name;
    int (EvTask::*get)(unsigned long&, void*);
  };
  const IdGetter getters[] = {{"clientId", &EvTask::getClientId},       {"appTypeId", &EvTask::getAppTypeId},
                              {"instanceId", &EvTask::getInstanceId},   {"backupSetId", &EvTask::getBackupSetId},
                              {"subClientId", &EvTask::getSubClientId}, {"policyId", &EvTask::getPolicyId}};
  for (const IdGetter& g : getters) {
    unsigned long v = 0;
    int rc = ((*task).*(g.get))(v, nullptr);
    if (rc != 0) return libraryFailure(rc, task->getErrorString());
    identity[g.name] = v;
  }
  doc_["identity"] = identity;
  return Failure();
}

Failure Ctl::optionsList() {
  Failure f;
  auto task = openTask(ref_, f);
  if (f.exit != kExitOk) return f;
  TaskOptionList list;
  int rc = task->getOptions(list, nullptr);
  if (rc != 0 && rc != YM_DB_NODATA) return libraryFailure(rc, task->getErrorString());
  Json options = Json::array();
  for (const TaskOption* o : list) options.push_back(optionJson(*o));
  doc_["options"] = options;
  return f;
}

Failure Ctl::optionsGet() {
  Failure f;
  auto task = openTask(ref_, f);
  if (f.exit != kExitOk) return f;
  // Every record of the id (an option may hold several values); without
  // one, the process-wide default of the id.
  TaskOptionList list;
  int rc = task->getOptions(list, nullptr);
  if (rc != 0 && rc != YM_DB_NODATA) return libraryFailure(rc, task->getErrorString());
  std::string source = "task";
  Json values = Json::array();
  std::string type;
  for (const TaskOption* o : list) {
    if (o->getOptionId() != optionId_) continue;
    values.push_back(o->getValue());
    type = typeName(o->getType());
  }
  if (values.empty()) {
    TaskOptionList defs;
    rc = task->getDefOptions(defs, nullptr);
    if (rc != 0 && rc != YM_DB_NODATA) return libraryFailure(rc, task->getErrorString());
    source = "default";
    for (const TaskOption* o : defs) {
      if (o->getOptionId() != optionId_) continue;
      values.push_back(o->getValue());
      type = typeName(o->getType());
    }
  }
  if (values.empty())
    return libraryFailure(YM_PROP_NOT_FOUND,
                          "option " + std::to_string(optionId_) + " is set neither on the task nor as a default");
  doc_ = Json{{"optionId", optionId_}, {"type", type}, {"source", source}, {"values", values}};
  return f;
}

Failure Ctl::optionsSet() {
  int type = typeCode(type_);
  if (type == 0) return usageFailure("unknown option type '" + type_ + "'");
  std::string value = value_;
  if (!normaliseValue(type, value))
    return usageFailure("value '" + value_ + "' is not a valid " + typeName(type));
  Failure f;
  auto task = openTask(ref_, f);
  if (f.exit != kExitOk) return f;
  TaskOptionList list;
  list.addToOptList(optionId_, value, type);
  int rc = task->setOptions(list, nullptr);
  if (rc != 0) return libraryFailure(rc, task->getErrorString());
  doc_ = Json{{"optionId", optionId_}, {"type", typeName(type)}, {"value", value}};
  return f;
}

Failure Ctl::optionsRemove() {
  Failure f;
  auto task = openTask(ref_, f);
  if (f.exit != kExitOk) return f;
  int rc = task->removeOptions(optionIds_, nullptr);
  if (rc != 0) return libraryFailure(rc, task->getErrorString());
  doc_["removed"] = optionIds_;
  return f;
}

Failure Ctl::defaults() {
  // Defaults are process-wide; a task object with id 0 reaches them
  // without fetching any task.
  EvTask task(0, 2, nullptr, false);
  TaskOptionList list;
  int rc = task.getDefOptions(list, nullptr);
  if (rc != 0 && rc != YM_DB_NODATA) return libraryFailure(rc, task.getErrorString());
  Json options = Json::array();
  for (const TaskOption* o : list) options.push_back(optionJson(*o));
  doc_["defaults"] = options;
  return Failure();
}

Failure Ctl::filesList() {
  Failure f;
  auto task = openTask(ref_, f);
  if (f.exit != kExitOk) return f;
  TaskFileList list;
  int rc = task->getFiles(list, fileType_, nullptr);
  if (rc != 0 && rc != YM_DB_NODATA) return libraryFailure(rc, task->getErrorString());
  Json files = Json::array();
  for (const TaskFile* file : list) {
    // The first load answers every entry; filter here as well so that the
    // result does not depend on what was loaded before.
    if (fileType_ != 0 && file->getType() != fileType_) continue;
    files.push_back(Json{{"name", file->getValue()}, {"type", file->getType()}, {"id", file->getOptionId()}});
  }
  doc_["files"] = files;
  return f;
}

Failure Ctl::filesAdd() {
  if (name_.empty()) return usageFailure("a file name must not be empty");
  Failure f;
  auto task = openTask(ref_, f);
  if (f.exit != kExitOk) return f;
  TaskFileList list;
  list.addToFileList(fileId_, name_, fileType_);
  int rc = task->setFiles(list, nullptr);
  if (rc != 0) return libraryFailure(rc, task->getErrorString());
  doc_ = Json{{"name", name_}, {"type", fileType_}, {"id", fileId_}};
  return f;
}

Failure Ctl::filesRemove() {
  Failure f;
  auto task = openTask(ref_, f);
  if (f.exit != kExitOk) return f;
  int rc = task->removeFiles(names_, nullptr);
  if (rc != 0) return libraryFailure(rc, task->getErrorString());
  doc_["removed"] = names_;
  return f;
}

Failure Ctl::paramsGet() {
  YMGlobalParam params;
  std::string value;
  int rc = params.get(name_, value, nullptr);
  if (rc != 0) return libraryFailure(rc, params.lastError());
  doc_ = Json{{"name", name_}, {"value", value}};
  return Failure();
}

Failure Ctl::paramsSet() {
  YMGlobalParam params;
  int rc = params.set(name_, value_, nullptr);
  if (rc != 0) return libraryFailure(rc, params.lastError());
  doc_ = Json{{"name", name_}, {"value", value_}};
  return Failure();
}

Failure Ctl::jobsList() {
  Failure f;
  auto task = openTask(ref_, f);
  if (f.exit != kExitOk) return f;
  std::list<unsigned long long> jobs;
  int rc = task->getJobListFromTaskId(jobs, nullptr);
  if (rc != 0 && rc != YM_DB_NODATA) return libraryFailure(rc, task->getErrorString());
  doc_ = Json{{"taskId", ref_.id}, {"jobs", jobs}};
  return f;
}

Failure Ctl::taskRun() {
  EvTask task(0, 2, nullptr, false);
  std::list<long long> jobs;
  std::string errorText;
  int rc = task.runTask(static_cast<unsigned long>(ref_.id), subTaskId_, jobs, errorText, userId_, 0, 0, false,
                        nullptr);
  if (rc != 0) return libraryFailure(rc, errorText);
  doc_ = Json{{"taskId", ref_.id}, {"subTaskId", subTaskId_}, {"jobs", jobs}};
  return Failure();
}

Failure Ctl::schedulesList() {
  ClientSchedules schedules;
  std::string err;
  int rc = listSchedules(clientId_, schedules, err);
  if (rc != 0) return libraryFailure(rc, err);
  doc_ = Json{{"clientId", clientId_},
              {"automatic", automaticJson(schedules.automatic)},
              {"update", automaticJson(schedules.update)}};
  return Failure();
}

Failure Ctl::performKind(const OpKind& kind, bool isJob) {
  OpArgs args = opArgs_;
  args.userId = static_cast<unsigned long>(userId_);
  for (const std::string& r : kind.required)
    if (!args.ints.count(r) && !args.texts.count(r) && !intLists_.count(r))
      return usageFailure("--" + r + " is required for " + kind.name);
  for (const std::string& flag : kind.flagArgs) args.ints[flag] = flags_[flag] ? 1 : 0;
  // Repeatable ids ("--client 2 --client 3") travel comma-separated.
  for (const auto& entry : intLists_) {
    std::string joined;
    for (long long v : entry.second) joined += (joined.empty() ? "" : ",") + std::to_string(v);
    args.texts[entry.first] = joined;
    if (!entry.second.empty()) args.ints[entry.first] = entry.second.front();
  }
  OpResult result;
  std::string err;
  int rc = kind.perform(args, result, err);
  if (rc != 0) return libraryFailure(rc, err);
  doc_ = Json{{isJob ? "job" : "schedule", kind.name}, {"result", "submitted"}};
  if (result.taskId != 0) doc_["taskId"] = result.taskId;
  // Only some kinds hand out the ids of the jobs they started; "job wait"
  // takes them.
  if (isJob) doc_["jobs"] = result.jobIds;
  return Failure();
}

Failure Ctl::jobWait() {
  if (timeoutSec_ < 0) return usageFailure("--timeout must not be negative");
  WaitOptions options;
  options.timeoutMs = static_cast<long long>(timeoutSec_ * 1000.0);
  if (timeoutSec_ > 0 && options.timeoutMs == 0) options.timeoutMs = 1;
  options.pollMs = io_.pollMs;
  options.stop = io_.stop;
  ProgressPrinter progress(io_.out, io_.terminal && !json_);
  textDone_ = true;
  WaitingScope waiting(io_.waiting);
  JobState last;
  int code = 0;
  std::string err;
  WaitEnd end = waitForJob(
      jobId_, io_.jobQuery ? io_.jobQuery : JobQuery(queryJob), options,
      [&](const JobState& s) {
        if (!json_) progress.update(s);
      },
      last, code, err);
  progress.finish();
  doc_ = Json{{"jobId", jobId_}, {"status", last.status}, {"detail", last.detail}, {"final", last.final},
              {"success", last.success}};
  // A job that ended well is done entirely, whatever the last detail said.
  const int percent = last.final && last.success ? 100 : last.percent;
  if (percent >= 0) doc_["percent"] = percent;
  switch (end) {
    case WaitEnd::Finished:
      doc_["outcome"] = last.success ? "completed" : "failed";
      if (!last.success) {
        Failure f;
        f.exit = kExitFailed;
        f.text = "job " + std::to_string(jobId_) + " ended with status " + last.status +
                 (last.detail.empty() ? "" : " (" + last.detail + ")");
        return f;
      }
      return Failure();
    case WaitEnd::DeadlinePassed: {
      doc_["outcome"] = "deadline";
      Failure f;
      f.exit = kExitDeadline;
      std::ostringstream text;
      text << "job " << jobId_ << " did not end within " << timeoutSec_ << " s; it keeps running";
      f.text = text.str();
      return f;
    }
    case WaitEnd::Interrupted: {
      doc_["outcome"] = "interrupted";
      Failure f;
      f.exit = kExitInterrupted;
      f.text = "stopped waiting for job " + std::to_string(jobId_) + "; it keeps running";
      return f;
    }
    case WaitEnd::QueryFailed:
      doc_["outcome"] = "query failed";
      return libraryFailure(code, err);
  }
  return Failure();
}

Failure Ctl::demo() {
  DemoReport report;
  DemoSettings settings;
  // Polled more often than a normal wait, so that the short demo job shows
  // its progress.
  settings.pollMs = std::min<unsigned long>(io_.pollMs, settings.pollMs);
  settings.stop = io_.stop;
  settings.startEmbedded = io_.startEmbedded;
  settings.log = json_ ? nullptr : &io_.out;
  settings.terminal = io_.terminal && !json_;
  textDone_ = true;
  WaitingScope waiting(io_.waiting);
  int rc = runDemo(settings, report);
  doc_ = report.toJson();
  if (rc == 0) return Failure();
  Failure f = libraryFailure(rc, report.failure);
  if (report.exitCode != 0) f.exit = report.exitCode;
  return f;
}

Failure Ctl::prepareEndpoint() {
  if (!endpoint_.empty()) {
    bool ok = endpoint_ == "embedded" || (endpoint_.rfind("unix:", 0) == 0 && endpoint_.size() > 5) ||
              endpoint_.rfind("tcp:", 0) == 0;
    if (endpoint_.rfind("tcp:", 0) == 0) {
      std::string::size_type colon = endpoint_.rfind(':');
      ok = colon > 4 && colon + 1 < endpoint_.size() &&
           parseUnsigned(endpoint_.substr(colon + 1), 65535);
    }
    if (!ok) return usageFailure("endpoint '" + endpoint_ + "' is not embedded, unix:PATH or tcp:HOST:PORT");
    YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", endpoint_);
  }
  if (!keyFile_.empty()) YMPlatformInfo::setValue("Platform", "AppMgrKeyFile", keyFile_);
  YMPlatformInfo info;
  std::string configured;
  if (info.getString("Platform", "AppMgrEndpoint", &configured) != 0 || configured.empty()) configured = "embedded";
  if (configured == "embedded" && io_.startEmbedded) {
    EmbeddedSettings settings;
    settings.dbPath = dbPath_;
    // Empty: the embedded server's own default under the user's data folder.
    if (settings.dbPath.empty()) {
      const char* env = std::getenv("EVTASK_DB");
      if (env != nullptr) settings.dbPath = env;
    }
    settings.initDemo = demoData_;
    std::string err;
    int rc = io_.startEmbedded(settings, err);
    if (rc != 0) return libraryFailure(rc, "cannot start the embedded application manager: " + err);
  }
  return Failure();
}

void Ctl::report(const Failure& f) {
  if (f.exit == kExitOk) return;
  std::ostringstream line;
  line << "evtaskctl: ";
  if (f.code != 0) line << "error " << f.code << " (0x" << std::hex << std::uppercase << f.code << std::dec << "): ";
  line << f.text;
  io_.err << line.str() << "\n";
  if (json_) {
    Json error{{"exitCode", f.exit}, {"code", f.code}, {"text", f.text}};
    doc_["error"] = error;
  }
}

int Ctl::run(const std::vector<std::string>& args) {
  CLI::App app{"evtaskctl: tasks, options, files, schedules and jobs of the central task service", "evtaskctl"};
  app.footer(kFooter);
  app.require_subcommand(1);
  app.fallthrough();
  app.add_flag("--json", json_, "print one JSON document on stdout");
  app.add_option("--endpoint", endpoint_, "application manager: embedded, unix:PATH or tcp:HOST:PORT");
  app.add_option("--key-file", keyFile_, "pre-shared key file for tcp endpoints (64 hex digits, mode 0600)");
  app.add_option("--db", dbPath_, "database of the embedded application manager (default $EVTASK_DB, else $XDG_DATA_HOME/evtask/appmgr.db)");
  app.add_flag("--demo-data", demoData_, "load the demo catalogue into an empty embedded database");

  std::function<Failure()> action;
  auto leaf = [&](CLI::App* parent, const char* name, const char* help, Failure (Ctl::*handler)()) {
    CLI::App* cmd = parent->add_subcommand(name, help);
    cmd->callback([&action, this, handler] { action = [this, handler] { return (this->*handler)(); }; });
    return cmd;
  };
  auto group = [&](const char* name, const char* help) {
    CLI::App* cmd = app.add_subcommand(name, help);
    cmd->require_subcommand(1);
    return cmd;
  };

  CLI::App* task = group("task", "show or run a task");
  addTaskRef(leaf(task, "show", "rows, entities and identity of a task", &Ctl::taskShow), ref_);
  CLI::App* run = leaf(task, "run", "run a subtask of a task now", &Ctl::taskRun);
  run->add_option("id", ref_.id, "task id")->required();
  run->add_option("subtask", subTaskId_, "subtask id")->required();
  run->add_option("--user", userId_, "user id of the request (default 1)");

  CLI::App* options = group("options", "options of a task");
  addTaskRef(leaf(options, "list", "every option of a task", &Ctl::optionsList), ref_);
  CLI::App* get = leaf(options, "get", "one option (task value, else the default)", &Ctl::optionsGet);
  addTaskRef(get, ref_);
  get->add_option("option", optionId_, "option id")->required();
  CLI::App* set = leaf(options, "set", "set one option", &Ctl::optionsSet);
  addTaskRef(set, ref_);
  set->add_option("option", optionId_, "option id")->required();
  set->add_option("value", value_, "value")->required();
  set->add_option("--type", type_,
                  "text (default), bool, short, ushort, int, uint, long, ulong, longlong, ulonglong");
  CLI::App* remove = leaf(options, "remove", "remove options", &Ctl::optionsRemove);
  addTaskRef(remove, ref_);
  remove->add_option("option", optionIds_, "option ids")->required();
  leaf(&app, "defaults", "the process-wide default options", &Ctl::defaults);

  CLI::App* files = group("files", "file entries of a task");
  CLI::App* flist = leaf(files, "list", "file entries", &Ctl::filesList);
  addTaskRef(flist, ref_);
  flist->add_option("--type", fileType_, "only entries of this file type");
  CLI::App* fadd = leaf(files, "add", "add a file entry", &Ctl::filesAdd);
  addTaskRef(fadd, ref_);
  fadd->add_option("name", name_, "path or name")->required();
  fileType_ = 0;
  fadd->add_option("--type", fileType_, "file type (for example 150001 source path)")->required();
  fadd->add_option("--option-id", fileId_, "option id of the entry (default 0)");
  CLI::App* fremove = leaf(files, "remove", "remove file entries by name", &Ctl::filesRemove);
  addTaskRef(fremove, ref_);
  fremove->add_option("name", names_, "paths or names")->required();

  CLI::App* params = group("params", "global parameters of the server");
  leaf(params, "get", "read a parameter", &Ctl::paramsGet)->add_option("name", name_, "name")->required();
  CLI::App* pset = leaf(params, "set", "write a parameter", &Ctl::paramsSet);
  pset->add_option("name", name_, "name")->required();
  pset->add_option("value", value_, "value")->required();

  CLI::App* jobs = group("jobs", "jobs of a task");
  addTaskRef(leaf(jobs, "list", "job ids of a task", &Ctl::jobsList), ref_);

  CLI::App* schedules = group("schedules", "schedules of a client");
  leaf(schedules, "list", "automatic and update schedules of a client", &Ctl::schedulesList)
      ->add_option("--client", clientId_, "client id")
      ->required();

  // One subcommand per schedule builder and per immediate job, with the
  // arguments its kind takes.
  auto addKinds = [&](CLI::App* parent, const std::vector<OpKind>& kinds, bool isJob) {
    for (const OpKind& kind : kinds) {
      CLI::App* cmd = parent->add_subcommand(kind.name, kind.help);
      const OpKind* k = &kind;
      cmd->callback([&action, this, k, isJob] { action = [this, k, isJob] { return performKind(*k, isJob); }; });
      cmd->add_option("--user", userId_, "user id of the request (default 1)");
      for (const std::string& a : kind.intArgs) {
        if (a == "client" && kind.name == "update-job") {
          cmd->add_option("--client", intLists_["client-list"], "client id (repeatable)");
          continue;
        }
        if (a == "group") {
          cmd->add_option("--group", intLists_["group-list"], "client group id (repeatable)");
          continue;
        }
        cmd->add_option_function<long long>(
            "--" + a, [this, a](const long long& v) { opArgs_.ints[a] = v; }, a);
      }
      for (const std::string& a : kind.textArgs)
        cmd->add_option_function<std::string>(
            "--" + a, [this, a](const std::string& v) { opArgs_.texts[a] = v; }, a);
      for (const std::string& a : kind.flagArgs) cmd->add_flag("--" + a, flags_[a], a);
    }
  };
  CLI::App* schedule = group("schedule", "create schedules");
  addKinds(schedule->add_subcommand("create", "create an automatic schedule")->require_subcommand(1),
           scheduleKinds(), false);
  CLI::App* job = group("job", "run and wait for jobs");
  addKinds(job->add_subcommand("run", "start an immediate job")->require_subcommand(1), jobKinds(), true);
  CLI::App* wait = leaf(job, "wait", "wait for a job to end, with progress", &Ctl::jobWait);
  wait->add_option("id", jobId_, "job id")->required();
  wait->add_option("--timeout", timeoutSec_, "give up after this many seconds (exit 4); the job keeps running");

  leaf(&app, "demo", "end-to-end demonstration on an empty temporary embedded database", &Ctl::demo);

  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {
      app.exit(e, io_.out, io_.err);
      return kExitOk;
    }
    io_.err << "evtaskctl: " << e.what() << "\nRun with --help for more information.\n";
    return kExitUsage;
  }
  Failure f;
  if (!action) {
    f = usageFailure("no command given");
  } else {
    bool isDemo = app.got_subcommand("demo");
    // The demo starts its own embedded server on a temporary database.
    if (!isDemo) f = prepareEndpoint();
    if (f.exit == kExitOk) f = action();
  }
  report(f);
  if (json_) {
    io_.out << doc_.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
  } else if (f.exit == kExitOk || f.exit == kExitDeadline || f.exit == kExitInterrupted) {
    // The demo and job wait have printed their progress already.
    if (!textDone_) renderText(io_.out, doc_);
  }
  return f.exit;
}

}  // namespace

int runCtl(const std::vector<std::string>& args, CtlIo& io) {
  try {
    Ctl ctl(io);
    return ctl.run(args);
  } catch (const std::exception& e) {
    io.err << "evtaskctl: " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace ctl
}  // namespace evtask
