// Handlers of the binary task messages.
//
// Whose options, files and option texts: the request's identity block names
// the task by task id, else by subtask id (its task), else by job id (the
// job's task); the id kind is not consulted because the write messages leave
// it zero. Options and files belong to the task.
#include <cstring>
#include <set>

#include "appmgr/AppManager.h"
#include "appmgr/AppMgrErrors.h"
#include "service/TaskWireStructs.h"

namespace evtask {
namespace appmgr {

namespace {

int notFound(std::string& err, const std::string& what) {
  err = what + " does not exist";
  return kAmNotFound;
}

bool taskExists(Store& s, uint32_t taskId) {
  Query q(s, "SELECT 1 FROM tasks WHERE task_id = ?");
  q.bind(1, taskId);
  return q.step();
}

// The task that owns what the identity block names; 0 with `err` and `rc`
// set when it names nothing that exists.
uint32_t ownerTask(Context& c, const TaskApiInfo& info, int& rc, std::string& err) {
  rc = 0;
  if (info.taskId != 0) {
    if (taskExists(c.store, info.taskId)) return info.taskId;
    rc = notFound(err, "task " + std::to_string(info.taskId));
    return 0;
  }
  if (info.subTaskId != 0) {
    Query q(c.store, "SELECT task_id FROM subtasks WHERE sub_task_id = ?");
    q.bind(1, info.subTaskId);
    if (q.step()) return static_cast<uint32_t>(q.integer(0));
    rc = notFound(err, "subtask " + std::to_string(info.subTaskId));
    return 0;
  }
  if (info.jobId != 0) {
    Query q(c.store, "SELECT task_id FROM jobs WHERE job_id = ?");
    q.bind(1, static_cast<int64_t>(info.jobId));
    if (q.step() && taskExists(c.store, static_cast<uint32_t>(q.integer(0)))) {
      return static_cast<uint32_t>(q.integer(0));
    }
    rc = notFound(err, "job " + std::to_string(info.jobId));
    return 0;
  }
  err = "the request names no task, subtask or job";
  rc = kAmBadRequest;
  return 0;
}

#define OWNER_OR_RETURN(var, info)                  \
  int ownerRc = 0;                                  \
  const uint32_t var = ownerTask(c, info, ownerRc, err); \
  if (ownerRc != 0) return ownerRc

bool knownOptionType(int32_t type) {
  switch (type) {
    case 1: case 2: case 5: case 6: case 7: case 8: case 9: case 10: case 14: case 15:
      return true;
    default:
      return false;
  }
}

const char* orEmpty(const char* p) { return p != nullptr ? p : ""; }

// Reads `sql` (columns: id, type, value) bound to `key` into a record array.
template <class Rec>
uint32_t readRecords(Context& c, Reply& reply, const char* sql, int64_t key, bool bindKey, Rec** out) {
  std::vector<Rec> rows;
  std::vector<char*> texts;
  Query q(c.store, sql);
  if (bindKey) q.bind(1, key);
  while (q.step()) {
    Rec r{};
    r.optionId = static_cast<uint64_t>(q.integer(0));
    r.type = static_cast<int32_t>(q.integer(1));
    r.value = reply.text(q.text(2));
    rows.push_back(r);
  }
  Rec* arr = reply.array<Rec>(rows.size());
  if (!rows.empty()) std::memcpy(arr, rows.data(), rows.size() * sizeof(Rec));
  *out = arr;
  return static_cast<uint32_t>(rows.size());
}

// --- lookup / update ---------------------------------------------------------
int lookup(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<TaskOptionsLookupReq>();
  OWNER_OR_RETURN(task, req.info);
  Query q(c.store, "SELECT value FROM option_texts WHERE task_id = ? AND option_key = ?");
  q.bind(1, task).bind(2, static_cast<int64_t>(req.info.optionKey));
  if (q.step()) reply.as<OptionsLookupResp>().optionText = reply.text(q.text(0));
  return 0;
}

int update(Context& c, const Request& r, Reply&, std::string& err) {
  const auto& req = r.as<TaskOptionsUpdateReq>();
  OWNER_OR_RETURN(task, req.info);
  if (req.info.optionText == nullptr) {
    Query q(c.store, "DELETE FROM option_texts WHERE task_id = ? AND option_key = ?");
    q.bind(1, task).bind(2, static_cast<int64_t>(req.info.optionKey)).run();
    return 0;
  }
  Query q(c.store, "INSERT OR REPLACE INTO option_texts(task_id, option_key, value) VALUES(?, ?, ?)");
  q.bind(1, task).bind(2, static_cast<int64_t>(req.info.optionKey)).bindText(3, req.info.optionText).run();
  return 0;
}

// --- options -----------------------------------------------------------------
int getOptions(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GenericTaskApiReq>();
  OWNER_OR_RETURN(task, req.info);
  auto& resp = reply.as<GenericGetOptionsResp>();
  resp.count = readRecords(c, reply, "SELECT option_id, type, value FROM options WHERE task_id = ? ORDER BY id", task,
                           true, &resp.options);
  return 0;
}

int getDefaults(Context& c, const Request&, Reply& reply, std::string&) {
  auto& resp = reply.as<GenericGetOptionsResp>();
  resp.count =
      readRecords(c, reply, "SELECT option_id, type, value FROM default_options ORDER BY id", 0, false, &resp.options);
  return 0;
}

int getDefaultOption(Context& c, const Request& r, Reply& reply, std::string&) {
  const auto& req = r.as<GenericTaskApiReq>();
  auto& resp = reply.as<GenericGetOptionsResp>();
  resp.count = readRecords(c, reply,
                           "SELECT option_id, type, value FROM default_options WHERE option_id = ? ORDER BY id LIMIT 1",
                           static_cast<int64_t>(req.info.optionKey), true, &resp.options);
  return 0;
}

// Records with the same id form one multi-valued option: writing an id
// replaces all its earlier values with the ones in the request.
int setOptions(Context& c, const Request& r, Reply&, std::string& err) {
  const auto& req = r.as<SetTaskOptionsReq>();
  OWNER_OR_RETURN(task, req.info);
  std::set<uint64_t> ids;
  for (uint32_t i = 0; i < req.count; ++i) {
    const TaskApiOptions& o = req.options[i];
    if (!knownOptionType(o.type)) {
      err = "option " + std::to_string(o.optionId) + " has unknown type code " + std::to_string(o.type);
      return kAmBadRequest;
    }
    ids.insert(o.optionId);
  }
  for (uint64_t id : ids) {
    Query q(c.store, "DELETE FROM options WHERE task_id = ? AND option_id = ?");
    q.bind(1, task).bind(2, static_cast<int64_t>(id)).run();
  }
  for (uint32_t i = 0; i < req.count; ++i) {
    const TaskApiOptions& o = req.options[i];
    Query q(c.store, "INSERT INTO options(task_id, option_id, type, value) VALUES(?, ?, ?, ?)");
    q.bind(1, task).bind(2, static_cast<int64_t>(o.optionId)).bind(3, o.type).bindText(4, orEmpty(o.value)).run();
  }
  return 0;
}

int removeOptions(Context& c, const Request& r, Reply&, std::string& err) {
  const auto& req = r.as<GenericRemoveTaskOptionsReq>();
  OWNER_OR_RETURN(task, req.info);
  for (uint32_t i = 0; i < req.count; ++i) {
    Query q(c.store, "DELETE FROM options WHERE task_id = ? AND option_id = ?");
    q.bind(1, task).bind(2, static_cast<int64_t>(req.options[i].optionId)).run();
  }
  return 0;
}

// This message carries only the low 32 bits of each id, so it removes every
// option whose id agrees in those bits.
int removeOptionIds(Context& c, const Request& r, Reply&, std::string& err) {
  const auto& req = r.as<RemoveTaskOptionsReq>();
  OWNER_OR_RETURN(task, req.info);
  for (uint32_t i = 0; i < req.count; ++i) {
    Query q(c.store, "DELETE FROM options WHERE task_id = ? AND (option_id & 4294967295) = ?");
    q.bind(1, task).bind(2, static_cast<int64_t>(req.optionIds[i])).run();
  }
  return 0;
}

// --- files -------------------------------------------------------------------
int getFiles(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GetTaskFilesReq>();
  OWNER_OR_RETURN(task, req.info);
  auto& resp = reply.as<GenericGetTaskFilesResp>();
  resp.count =
      readRecords(c, reply, "SELECT file_id, type, value FROM files WHERE task_id = ? ORDER BY id", task, true, &resp.files);
  return 0;
}

// A file entry is known by its name: writing a name again replaces it.
int setFiles(Context& c, const Request& r, Reply&, std::string& err) {
  const auto& req = r.as<SetTaskFilesReq>();
  OWNER_OR_RETURN(task, req.info);
  for (uint32_t i = 0; i < req.count; ++i) {
    const TaskApiFiles& f = req.files[i];
    if (f.value == nullptr || *f.value == '\0') {
      err = "file entry " + std::to_string(i) + " has no name";
      return kAmBadRequest;
    }
    Query del(c.store, "DELETE FROM files WHERE task_id = ? AND value = ?");
    del.bind(1, task).bindText(2, f.value).run();
    Query q(c.store, "INSERT INTO files(task_id, file_id, type, value) VALUES(?, ?, ?, ?)");
    q.bind(1, task).bind(2, static_cast<int64_t>(f.optionId)).bind(3, f.type).bindText(4, f.value).run();
  }
  return 0;
}

int removeFiles(Context& c, const Request& r, Reply&, std::string& err) {
  const auto& req = r.as<GenericRemoveTaskFilesReq>();
  OWNER_OR_RETURN(task, req.info);
  for (uint32_t i = 0; i < req.count; ++i) {
    Query q(c.store, "DELETE FROM files WHERE task_id = ? AND value = ?");
    q.bind(1, task).bindText(2, orEmpty(req.files[i].value)).run();
  }
  return 0;
}

// --- rows ----------------------------------------------------------------------
void readTaskRow(const Query& q, Sch_Task& t) {
  t.taskId = static_cast<uint32_t>(q.integer(0));
  t.field1 = static_cast<uint32_t>(q.integer(1));
  t.flags = static_cast<uint32_t>(q.integer(2));
  t.status = static_cast<uint32_t>(q.integer(3));
  for (int i = 0; i < 5; ++i) t.fields[i] = static_cast<uint32_t>(q.integer(4 + i));
  t.field64 = static_cast<uint64_t>(q.integer(9));
  t.zero = 0;
}

int getJobInfo(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GenericTaskApiReq>();
  JobState job;
  if (!c.jobs.state(static_cast<int64_t>(req.info.jobId), job)) return notFound(err, "job " + std::to_string(req.info.jobId));
  auto& resp = reply.as<GenericTaskApiResp>();
  resp.info.jobId = static_cast<uint64_t>(job.jobId);
  resp.info.taskId = job.taskId;
  resp.info.subTaskId = job.subTaskId;
  resp.info.idKind = 0;
  return 0;
}

int getTaskInfo(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GenericTaskApiReq>();
  Query q(c.store, "SELECT task_id, field1, flags, status, field2, field3, field4, field5, field6, field64 FROM tasks "
                   "WHERE task_id = ?");
  q.bind(1, req.info.taskId);
  if (!q.step()) return notFound(err, "task " + std::to_string(req.info.taskId));
  readTaskRow(q, reply.as<TaskInfoResp>().task);
  return 0;
}

int getDefaultTaskId(Context& c, const Request&, Reply& reply, std::string& err) {
  Query q(c.store, "SELECT task_id, field1, flags, status, field2, field3, field4, field5, field6, field64 FROM tasks "
                   "WHERE is_default = 1 OR (flags & 128) != 0 ORDER BY is_default DESC, task_id LIMIT 1");
  if (!q.step()) return notFound(err, "a default task");
  readTaskRow(q, reply.as<TaskInfoResp>().task);
  return 0;
}

int getSubTaskInfo(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GenericTaskApiReq>();
  Query q(c.store, "SELECT sub_task_id, task_id, sub_task_type, operation_type, field4 FROM subtasks "
                   "WHERE sub_task_id = ? AND (? = 0 OR task_id = ?)");
  q.bind(1, req.info.subTaskId).bind(2, req.info.taskId).bind(3, req.info.taskId);
  if (!q.step()) {
    return notFound(err, "subtask " + std::to_string(req.info.subTaskId) + " of task " + std::to_string(req.info.taskId));
  }
  Sch_SubTask& s = reply.as<SubTaskInfoResp>().subTask;
  s.subTaskId = static_cast<uint32_t>(q.integer(0));
  s.taskId = static_cast<uint32_t>(q.integer(1));
  s.subTaskType = static_cast<uint32_t>(q.integer(2));
  s.operationType = static_cast<uint32_t>(q.integer(3));
  s.field4 = static_cast<uint32_t>(q.integer(4));
  return 0;
}

// The entities of a task, with those of the named subtask after them.
int getEntityInfo(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GenericTaskApiReq>();
  if (!taskExists(c.store, req.info.taskId)) return notFound(err, "task " + std::to_string(req.info.taskId));
  std::vector<Sch_AssocEntity> rows;
  Query q(c.store, "SELECT field0, field1, task_id, client_group_id, client_id, app_type_id, instance_id, backupset_id, "
                   "subclient_id, field9, field10 FROM entities WHERE task_id = ? AND (sub_task_id = 0 OR sub_task_id = ?) "
                   "ORDER BY sub_task_id, id");
  q.bind(1, req.info.taskId).bind(2, req.info.subTaskId);
  while (q.step()) {
    Sch_AssocEntity e{};
    uint32_t* f = &e.field0;
    for (int i = 0; i < 11; ++i) f[i] = static_cast<uint32_t>(q.integer(i));
    rows.push_back(e);
  }
  auto& resp = reply.as<EntityInfoResp>();
  resp.count = static_cast<uint32_t>(rows.size());
  resp.entities = reply.array<Sch_AssocEntity>(rows.size());
  if (!rows.empty()) std::memcpy(resp.entities, rows.data(), rows.size() * sizeof(Sch_AssocEntity));
  return 0;
}

int getPatternInfo(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GetPatternReq>();
  if (!taskExists(c.store, req.entity.taskId)) return notFound(err, "task " + std::to_string(req.entity.taskId));
  std::vector<Sch_Pattern> rows;
  Query q(c.store, "SELECT text1, text2, text3, fields FROM patterns WHERE task_id = ? ORDER BY id");
  q.bind(1, req.entity.taskId);
  while (q.step()) {
    Sch_Pattern p{};
    uint32_t fields[16];
    q.blob(3, fields, sizeof fields);
    p.text1 = q.isNull(0) ? nullptr : reply.text(q.text(0));
    p.text2 = q.isNull(1) ? nullptr : reply.text(q.text(1));
    p.text3 = q.isNull(2) ? nullptr : reply.text(q.text(2));
    std::memcpy(p.fields1, fields, sizeof p.fields1);
    p.field9 = fields[8];
    std::memcpy(p.fields2, fields + 9, sizeof p.fields2);
    rows.push_back(p);
  }
  auto& resp = reply.as<GetPatternResp>();
  resp.count = static_cast<uint32_t>(rows.size());
  resp.patterns = reply.array<Sch_Pattern>(rows.size());
  if (!rows.empty()) std::memcpy(resp.patterns, rows.data(), rows.size() * sizeof(Sch_Pattern));
  return 0;
}

// Creates the task when it does not exist yet, else replaces its row; the
// description is not carried by this message and is kept.
int setTaskInfo(Context& c, const Request& r, Reply&, std::string& err) {
  const auto& req = r.as<SetTaskInfoReq>();
  if (req.info.taskId == 0) {
    err = "task id 0 cannot be written";
    return kAmBadRequest;
  }
  if (req.task.taskId != 0 && req.task.taskId != req.info.taskId) {
    err = "the task row names task " + std::to_string(req.task.taskId) + " but the request task " +
          std::to_string(req.info.taskId);
    return kAmBadRequest;
  }
  const Sch_Task& t = req.task;
  Query q(c.store,
          "INSERT INTO tasks(task_id, field1, flags, status, field2, field3, field4, field5, field6, field64) "
          "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10) ON CONFLICT(task_id) DO UPDATE SET field1 = ?2, flags = ?3, "
          "status = ?4, field2 = ?5, field3 = ?6, field4 = ?7, field5 = ?8, field6 = ?9, field64 = ?10");
  q.bind(1, req.info.taskId).bind(2, t.field1).bind(3, t.flags).bind(4, t.status);
  for (int i = 0; i < 5; ++i) q.bind(5 + i, t.fields[i]);
  q.bind(10, static_cast<int64_t>(t.field64)).run();
  return 0;
}

int setSubTaskInfo(Context& c, const Request& r, Reply&, std::string& err) {
  const auto& req = r.as<SetSubTaskInfoReq>();
  if (req.info.subTaskId == 0) {
    err = "subtask id 0 cannot be written";
    return kAmBadRequest;
  }
  if (!taskExists(c.store, req.info.taskId)) return notFound(err, "task " + std::to_string(req.info.taskId));
  Query owner(c.store, "SELECT task_id FROM subtasks WHERE sub_task_id = ?");
  owner.bind(1, req.info.subTaskId);
  if (owner.step() && static_cast<uint32_t>(owner.integer(0)) != req.info.taskId) {
    err = "subtask " + std::to_string(req.info.subTaskId) + " belongs to task " + std::to_string(owner.integer(0));
    return kAmBadRequest;
  }
  const Sch_SubTask& s = req.subTask;
  Query q(c.store,
          "INSERT INTO subtasks(sub_task_id, task_id, sub_task_type, operation_type, field4) VALUES(?1, ?2, ?3, ?4, ?5) "
          "ON CONFLICT(sub_task_id) DO UPDATE SET sub_task_type = ?3, operation_type = ?4, field4 = ?5");
  q.bind(1, req.info.subTaskId).bind(2, req.info.taskId).bind(3, s.subTaskType).bind(4, s.operationType);
  q.bind(5, s.field4).run();
  return 0;
}

// Replaces the entity rows of the task (subtask id 0) or of the subtask.
int setEntityInfo(Context& c, const Request& r, Reply&, std::string& err) {
  const auto& req = r.as<SetEntityInfoReq>();
  if (!taskExists(c.store, req.info.taskId)) return notFound(err, "task " + std::to_string(req.info.taskId));
  Query del(c.store, "DELETE FROM entities WHERE task_id = ? AND sub_task_id = ?");
  del.bind(1, req.info.taskId).bind(2, req.info.subTaskId).run();
  for (uint32_t i = 0; i < req.count; ++i) {
    const Sch_AssocEntity& e = req.entities[i];
    const uint32_t* f = &e.field0;
    Query q(c.store,
            "INSERT INTO entities(task_id, sub_task_id, field0, field1, client_group_id, client_id, app_type_id, "
            "instance_id, backupset_id, subclient_id, field9, field10) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    // The row is filed under the request's task, whatever its own task
    // field says; that field is stored as sent.
    q.bind(1, req.info.taskId).bind(2, req.info.subTaskId).bind(3, f[0]).bind(4, f[1]).bind(5, f[3]).bind(6, f[4]);
    q.bind(7, f[5]).bind(8, f[6]).bind(9, f[7]).bind(10, f[8]).bind(11, f[9]).bind(12, f[10]).run();
  }
  return 0;
}

int getTextColumn(Context& c, const Request& r, Reply& reply, std::string& err, const char* sql) {
  const auto& req = r.as<GenericTaskApiReq>();
  OWNER_OR_RETURN(task, req.info);
  Query q(c.store, sql);
  q.bind(1, task);
  if (q.step() && !q.isNull(0)) reply.as<XmlOptionsResp>().text = reply.text(q.text(0));
  return 0;
}

int getXMLOptions(Context& c, const Request& r, Reply& reply, std::string& err) {
  return getTextColumn(c, r, reply, err, "SELECT xml_options FROM tasks WHERE task_id = ?");
}

int getExtendedOptions(Context& c, const Request& r, Reply& reply, std::string& err) {
  return getTextColumn(c, r, reply, err, "SELECT extended_options FROM tasks WHERE task_id = ?");
}

int getBitOptions(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GenericTaskApiReq>();
  OWNER_OR_RETURN(task, req.info);
  Query q(c.store, "SELECT bit_options FROM tasks WHERE task_id = ?");
  q.bind(1, task);
  if (q.step()) reply.as<BitWiseOptionsResp>().bitOptions = static_cast<uint64_t>(q.integer(0));
  return 0;
}

// --- jobs ------------------------------------------------------------------------
uint32_t readJobIds(Context& c, Reply& reply, Query& q, uint64_t** out) {
  std::vector<uint64_t> ids;
  while (q.step()) ids.push_back(static_cast<uint64_t>(q.integer(0)));
  *out = reply.array<uint64_t>(ids.size());
  if (!ids.empty()) std::memcpy(*out, ids.data(), ids.size() * sizeof(uint64_t));
  (void)c;
  return static_cast<uint32_t>(ids.size());
}

int getJobListFromTaskId(Context& c, const Request& r, Reply& reply, std::string&) {
  const auto& req = r.as<GetJobIdsFromTaskIdReq>();
  Query q(c.store, "SELECT job_id FROM jobs WHERE task_id = ? ORDER BY job_id");
  q.bind(1, req.info.taskId);
  auto& resp = reply.as<JobIdsResp>();
  resp.count = readJobIds(c, reply, q, &resp.jobIds);
  return 0;
}

// Jobs whose backup statistics text contains the query text; with the flag
// set only jobs that ended successfully; a positive number caps the count.
int getJobIdsFromBkpStats(Context& c, const Request& r, Reply& reply, std::string&) {
  const auto& req = r.as<GetJobIdsFromBkpStatsReq>();
  c.jobs.advance();
  Query q(c.store,
          "SELECT job_id FROM jobs WHERE instr(stats, ?1) > 0 AND (?2 = 0 OR (end_ms IS NOT NULL AND status != 'Failed'))"
          " ORDER BY job_id LIMIT CASE WHEN ?3 > 0 THEN ?3 ELSE -1 END");
  q.bindText(1, orEmpty(req.text)).bind(2, req.flag != 0 ? 1 : 0).bind(3, req.number);
  auto& resp = reply.as<JobIdsResp>();
  resp.count = readJobIds(c, reply, q, &resp.jobIds);
  return 0;
}

int getJobRequestIdFromJobId(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GetJobRequestReq>();
  Query q(c.store, "SELECT IFNULL(request_id, 0) FROM jobs WHERE job_id = ?");
  q.bind(1, req.jobId);
  if (!q.step()) return notFound(err, "job " + std::to_string(req.jobId));
  reply.as<GetJobRequestResp>().requestId = q.integer(0);
  return 0;
}

// --- catalogue lists -----------------------------------------------------------------
char* textOrNull(Reply& reply, const Query& q, int col) { return q.isNull(col) ? nullptr : reply.text(q.text(col)); }

template <class T>
T* toArray(Reply& reply, const std::vector<T>& rows) {
  T* arr = reply.array<T>(rows.size());
  if (!rows.empty()) std::memcpy(arr, rows.data(), rows.size() * sizeof(T));
  return arr;
}

int getComplianceOptionList(Context& c, const Request& r, Reply& reply, std::string&) {
  const auto& req = r.as<ComplianceOptionListReq>();
  Query q(c.store, "SELECT value, text FROM compliance_options WHERE ref_id = ? AND kind = ? ORDER BY id");
  q.bind(1, req.id).bind(2, req.kind);
  std::vector<SchedComplianceOption> rows;
  while (q.step()) rows.push_back(SchedComplianceOption{static_cast<int32_t>(q.integer(0)), textOrNull(reply, q, 1)});
  auto& resp = reply.as<ComplianceOptionListResp>();
  resp.count = static_cast<uint32_t>(rows.size());
  resp.options = toArray(reply, rows);
  return 0;
}

// A non-zero number selects the entries whose first number equals it.
int getRecordCenterList(Context& c, const Request& r, Reply& reply, std::string&) {
  const auto& req = r.as<RecordCenterListReq>();
  Query q(c.store, "SELECT number1, text1, text2, text3, text4, text5, number2, text6, text7, number3 FROM record_centers"
                   " WHERE ?1 = 0 OR number1 = ?1 ORDER BY id");
  q.bind(1, req.number);
  std::vector<SchedRecordCenter> rows;
  while (q.step()) {
    SchedRecordCenter e{};
    e.number1 = static_cast<int32_t>(q.integer(0));
    e.text1 = textOrNull(reply, q, 1);
    e.text2 = textOrNull(reply, q, 2);
    e.text3 = textOrNull(reply, q, 3);
    e.text4 = textOrNull(reply, q, 4);
    e.text5 = textOrNull(reply, q, 5);
    e.number2 = static_cast<int32_t>(q.integer(6));
    e.text6 = textOrNull(reply, q, 7);
    e.text7 = textOrNull(reply, q, 8);
    e.number3 = static_cast<int32_t>(q.integer(9));
    rows.push_back(e);
  }
  auto& resp = reply.as<RecordCenterListResp>();
  resp.count = static_cast<uint32_t>(rows.size());
  resp.centers = toArray(reply, rows);
  return 0;
}

int getRecordConnectorList(Context& c, const Request& r, Reply& reply, std::string&) {
  const auto& req = r.as<RecordConnectorListReq>();
  Query q(c.store, "SELECT number1, text1, number2, text2, text3, text4, number3 FROM record_connectors"
                   " WHERE ?1 = 0 OR number1 = ?1 ORDER BY id");
  q.bind(1, req.number);
  std::vector<SchedRecordConnector> rows;
  while (q.step()) {
    SchedRecordConnector e{};
    e.number1 = static_cast<int32_t>(q.integer(0));
    e.text1 = textOrNull(reply, q, 1);
    e.number2 = static_cast<int32_t>(q.integer(2));
    e.text2 = textOrNull(reply, q, 3);
    e.text3 = textOrNull(reply, q, 4);
    e.text4 = textOrNull(reply, q, 5);
    e.number3 = static_cast<int32_t>(q.integer(6));
    rows.push_back(e);
  }
  auto& resp = reply.as<RecordConnectorListResp>();
  resp.count = static_cast<uint32_t>(rows.size());
  resp.connectors = toArray(reply, rows);
  return 0;
}

// A non-empty query text selects the holds whose first text contains it.
int getLegalHoldList(Context& c, const Request& r, Reply& reply, std::string&) {
  const auto& req = r.as<LegalHoldListReq>();
  Query q(c.store, "SELECT text1, text2, text3, value12, text4, value8 FROM legal_holds"
                   " WHERE ?1 = '' OR instr(IFNULL(text1, ''), ?1) > 0 ORDER BY id");
  q.bindText(1, orEmpty(req.text));
  std::vector<SchedLegalHold> rows;
  while (q.step()) {
    SchedLegalHold e{};
    e.text1 = textOrNull(reply, q, 0);
    e.text2 = textOrNull(reply, q, 1);
    e.text3 = textOrNull(reply, q, 2);
    q.blob(3, e.value12, sizeof e.value12);
    e.text4 = textOrNull(reply, q, 4);
    q.blob(5, e.value8, sizeof e.value8);
    rows.push_back(e);
  }
  auto& resp = reply.as<LegalHoldListResp>();
  resp.count = static_cast<uint32_t>(rows.size());
  resp.holds = toArray(reply, rows);
  return 0;
}

// Every set text of the filter must equal the tag's, a non-zero number too.
int getTagList(Context& c, const Request& r, Reply& reply, std::string&) {
  const auto& f = r.as<TagListReq>().tag;
  Query q(c.store, "SELECT text1, text2, text3, text4, text5, number FROM tags WHERE"
                   " (?1 IS NULL OR ?1 = '' OR text1 = ?1) AND (?2 IS NULL OR ?2 = '' OR text2 = ?2) AND"
                   " (?3 IS NULL OR ?3 = '' OR text3 = ?3) AND (?4 IS NULL OR ?4 = '' OR text4 = ?4) AND"
                   " (?5 IS NULL OR ?5 = '' OR text5 = ?5) AND (?6 = 0 OR number = ?6) ORDER BY id");
  q.bindText(1, f.text1).bindText(2, f.text2).bindText(3, f.text3).bindText(4, f.text4).bindText(5, f.text5);
  q.bind(6, f.number);
  std::vector<SchedDM2Tag> rows;
  while (q.step()) {
    SchedDM2Tag e{};
    e.text1 = textOrNull(reply, q, 0);
    e.text2 = textOrNull(reply, q, 1);
    e.text3 = textOrNull(reply, q, 2);
    e.text4 = textOrNull(reply, q, 3);
    e.text5 = textOrNull(reply, q, 4);
    e.number = static_cast<int32_t>(q.integer(5));
    rows.push_back(e);
  }
  auto& resp = reply.as<TagListResp>();
  resp.count = static_cast<uint32_t>(rows.size());
  resp.tags = toArray(reply, rows);
  return 0;
}

// Each entry names a client by its first word; the answer carries the
// client's update status in the second word (0 for an unknown client).
int getUpdateInfo(Context& c, const Request& r, Reply& reply, std::string&) {
  const auto& req = r.as<GetUpdateInfoReq>();
  std::vector<SchedUpdateInfo> rows;
  for (uint32_t i = 0; i < req.count; ++i) {
    Query q(c.store, "SELECT update_status FROM clients WHERE client_id = ?");
    q.bind(1, req.entries[i].word1);
    rows.push_back(SchedUpdateInfo{req.entries[i].word1, q.step() ? static_cast<uint32_t>(q.integer(0)) : 0u});
  }
  auto& resp = reply.as<GetUpdateInfoResp>();
  resp.count = static_cast<uint32_t>(rows.size());
  resp.entries = toArray(reply, rows);
  return 0;
}

}  // namespace

void addTaskHandlers(AppManager& s) {
  s.add(msg::kLookup, lookup);
  s.add(msg::kUpdate, update);
  s.add(msg::kGetOptions, getOptions);
  s.add(msg::kSetOptions, setOptions);
  s.add(msg::kRemoveOptions, removeOptions);
  s.add(msg::kRemoveOptionIds, removeOptionIds);
  s.add(msg::kGetDefaults, getDefaults);
  s.add(msg::kGetFiles, getFiles);
  s.add(msg::kSetFiles, setFiles);
  s.add(msg::kRemoveFiles, removeFiles);
  s.add(msg::kRemoveFileNames, removeFiles);
  s.add(msg::kGetJobListFromTaskId, getJobListFromTaskId);
  s.add(msg::kGetJobInfo, getJobInfo);
  s.add(msg::kGetTaskInfo, getTaskInfo);
  s.add(msg::kGetSubTaskInfo, getSubTaskInfo);
  s.add(msg::kGetEntityInfo, getEntityInfo);
  s.add(msg::kGetXMLOptions, getXMLOptions);
  s.add(msg::kGetBitOptions, getBitOptions);
  s.add(msg::kGetExtendedOptions, getExtendedOptions);
  s.add(msg::kSetTaskInfo, setTaskInfo);
  s.add(msg::kSetSubTaskInfo, setSubTaskInfo);
  s.add(msg::kSetEntityInfo, setEntityInfo);
  s.add(msg::kGetDefaultTaskId, getDefaultTaskId);
  s.add(msg::kGetJobIdsFromBkpStats, getJobIdsFromBkpStats);
  s.add(msg::kGetComplianceOptionList, getComplianceOptionList);
  s.add(msg::kGetRecordCenterList, getRecordCenterList);
  s.add(msg::kGetRecordConnectorList, getRecordConnectorList);
  s.add(msg::kGetLegalHoldList, getLegalHoldList);
  s.add(msg::kGetUpdateInfo, getUpdateInfo);
  s.add(msg::kGetTagList, getTagList);
  s.add(msg::kGetDefaultOption, getDefaultOption);
  s.add(msg::kGetJobRequestId, getJobRequestIdFromJobId);
  s.add(msg::kGetPatternInfo, getPatternInfo);
}

}  // namespace appmgr
}  // namespace evtask
