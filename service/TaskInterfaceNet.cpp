#include "service/TaskInterfaceNet.h"

#include <cstring>
#include <memory>
#include <new>

#include "platform/AppMgrExchange.h"
#include "platform/EvDebug.h"
#include "platform/YmErrors.h"
#include "service/TaskWireStructs.h"

using namespace evtask;

namespace {

std::string textOf(const char* p) { return p != nullptr ? std::string(p) : std::string(); }

char* textRef(const std::string& s) { return const_cast<char*>(s.c_str()); }

// Write-only exchanges: nothing of the response is read after the call.
template <class Req, class Resp>
int runExchange(uint32_t type, Req& req, Resp& resp, std::string& err) {
  return AppMgrExchange().run(type, req, resp, err);
}

void fillIdentity(TaskApiInfo& info, const _TaskInfo& task, bool withKind, bool withKey) {
  info.jobId = task.jobId;
  info.taskId = task.taskId;
  info.subTaskId = task.subTaskId;
  if (withKind) info.idKind = task.idKind;
  if (withKey) info.optionKey = task.optionKey;
}

void toWire(const Sched_Task& t, Sch_Task& w) {
  w.taskId = t.taskId;
  w.field1 = t.reserved1;
  w.flags = t.flags;
  w.status = t.status;
  w.fields[0] = t.reserved2;
  w.fields[1] = t.reserved3;
  w.fields[2] = t.reserved4;
  w.fields[3] = t.reserved5;
  w.fields[4] = t.reserved6;
  w.field64 = t.reserved64;
  w.zero = 0;
}

void fromWire(const Sch_Task& w, Sched_Task& t) {
  t.taskId = w.taskId;
  t.reserved1 = w.field1;
  t.flags = w.flags;
  t.status = w.status;
  t.reserved2 = w.fields[0];
  t.reserved3 = w.fields[1];
  t.reserved4 = w.fields[2];
  t.reserved5 = w.fields[3];
  t.reserved6 = w.fields[4];
  t.reserved64 = w.field64;
}

void toWire(const Sched_SubTask& s, Sch_SubTask& w) {
  w.subTaskId = s.subTaskId;
  w.taskId = s.taskId;
  w.subTaskType = static_cast<uint32_t>(s.subTaskType);
  w.operationType = static_cast<uint32_t>(s.operationType);
  w.field4 = static_cast<uint32_t>(s.reserved1);
}

void fromWire(const Sch_SubTask& w, Sched_SubTask& s) {
  s.subTaskId = w.subTaskId;
  s.taskId = w.taskId;
  s.subTaskType = static_cast<long>(w.subTaskType);
  s.operationType = static_cast<long>(w.operationType);
  s.reserved1 = static_cast<long>(w.field4);
}

void toWire(const Sched_AssocEntity& e, Sch_AssocEntity& w) {
  w.field0 = static_cast<uint32_t>(e.reserved1);
  w.field1 = static_cast<uint32_t>(e.reserved2);
  w.taskId = e.taskId;
  w.clientGroupId = static_cast<uint32_t>(e.clientGroupId);
  w.clientId = static_cast<uint32_t>(e.clientId);
  w.appTypeId = static_cast<uint32_t>(e.appTypeId);
  w.instanceId = static_cast<uint32_t>(e.instanceId);
  w.backupsetId = static_cast<uint32_t>(e.backupsetId);
  w.subclientId = static_cast<uint32_t>(e.subclientId);
  w.field9 = static_cast<uint32_t>(e.extraValue1);
  w.field10 = static_cast<uint32_t>(e.extraValue2);
}

Sched_AssocEntity fromWire(const Sch_AssocEntity& w) {
  Sched_AssocEntity e;
  e.reserved1 = static_cast<long>(w.field0);
  e.reserved2 = static_cast<long>(w.field1);
  e.taskId = w.taskId;
  e.clientGroupId = static_cast<long>(w.clientGroupId);
  e.clientId = static_cast<long>(w.clientId);
  e.appTypeId = static_cast<long>(w.appTypeId);
  e.instanceId = static_cast<long>(w.instanceId);
  e.backupsetId = static_cast<long>(w.backupsetId);
  e.subclientId = static_cast<long>(w.subclientId);
  e.extraValue1 = static_cast<long>(w.field9);
  e.extraValue2 = static_cast<long>(w.field10);
  return e;  // the two local fields stay 0
}

Sched_Pattern fromWire(const Sch_Pattern& w) {
  Sched_Pattern p;
  p.text1 = textOf(w.text1);
  long* first[8] = {&p.value1, &p.value2, &p.value3, &p.value4, &p.value5, &p.value6, &p.value7, &p.value8};
  for (int i = 0; i < 8; ++i) *first[i] = static_cast<long>(w.fields1[i]);
  p.text2 = textOf(w.text2);
  p.value9 = static_cast<long>(w.field9);
  p.text3 = textOf(w.text3);
  long* last[7] = {&p.value10, &p.value11, &p.value12, &p.value13, &p.value14, &p.value15, &p.value16};
  for (int i = 0; i < 7; ++i) *last[i] = static_cast<long>(w.fields2[i]);
  return p;
}

// Packs option or file records; with `withText` false the text references
// stay null. The array is released by the unique_ptr on every path.
template <class Rec, class Item>
std::unique_ptr<Rec[]> packRecords(const std::vector<const Item*>& items, bool withText, uint32_t& count) {
  count = static_cast<uint32_t>(items.size());
  if (items.empty()) return nullptr;
  std::unique_ptr<Rec[]> recs(new Rec[items.size()]());
  for (size_t i = 0; i < items.size(); ++i) {
    recs[i].optionId = items[i]->getOptionId();
    recs[i].type = items[i]->getType();
    if (withText) recs[i].value = const_cast<char*>(items[i]->getValue());
  }
  return recs;
}

}  // namespace

TaskInterface::~TaskInterface() = default;

TaskInterfaceNet::TaskInterfaceNet() { registerTaskCatalogue(); }
TaskInterfaceNet::~TaskInterfaceNet() = default;

extern "C" void* getTaskInterface(EvTaskApiLibInterfaceType kind) {
  if (kind != EV_TASK_API_LIB_INTERFACE_NET) return nullptr;
  TaskInterface* iface = new (std::nothrow) TaskInterfaceNet();
  return iface;
}

// --- lookup / update ----------------------------------------------------------

int TaskInterfaceNet::lookup(_TaskInfo& task, std::string& err, void*) {
  TaskOptionsLookupReq req{};
  OptionsLookupResp resp{};
  fillIdentity(req.info, task, true, true);
  AppMgrExchange ex;
  const int rc = ex.run(msg::kLookup, req, resp, err);
  if (rc != 0) return rc;
  task.optionText = textOf(resp.optionText);
  return 0;
}

int TaskInterfaceNet::update(_TaskInfo& task, std::string& err, void*) {
  TaskOptionsUpdateReq req{};
  GenericResp resp{};
  fillIdentity(req.info, task, true, true);
  req.info.optionText = textRef(task.optionText);
  return runExchange(msg::kUpdate, req, resp, err);
}

// --- options and files -----------------------------------------------------------

int TaskInterfaceNet::getOptions(_TaskInfo& task, OptionCallBack* callback, std::string& err, void*) {
  EvEvent ev("TaskInterfaceNet::getOptions");
  if (task.idKind == 0 && task.jobId == 0) {
    EvDebug::DebugLvl("TaskInterfaceNet::getOptions", 4, "JobId cannot be 0 when retrieving options by job");
    return 1;
  }
  GenericTaskApiReq req{};
  GenericGetOptionsResp resp{};
  fillIdentity(req.info, task, true, false);
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetOptions, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; callback != nullptr && i < resp.count; ++i) {
    const TaskApiOptions& o = resp.options[i];
    callback->getOptionsCallback(o.optionId, textOf(o.value), static_cast<unsigned long>(o.type));
  }
  return 0;
}

int TaskInterfaceNet::getDefaults(OptionCallBack* callback, std::string& err, void*) {
  GenericTaskApiReq req{};
  GenericGetOptionsResp resp{};
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetDefaults, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; callback != nullptr && i < resp.count; ++i) {
    const TaskApiOptions& o = resp.options[i];
    callback->getDefaultsCallback(o.optionId, textOf(o.value), static_cast<unsigned long>(o.type));
  }
  return 0;
}

int TaskInterfaceNet::setOptions(_TaskInfo& task, std::vector<const TaskOption*> options, std::string& err, void*) {
  SetTaskOptionsReq req{};
  GenericResp resp{};
  fillIdentity(req.info, task, false, true);
  std::unique_ptr<TaskApiOptions[]> recs = packRecords<TaskApiOptions>(options, true, req.count);
  req.options = recs.get();
  return runExchange(msg::kSetOptions, req, resp, err);
}

int TaskInterfaceNet::removeOptions(_TaskInfo& task, std::vector<const TaskOption*> options, std::string& err,
                                    void*) {
  GenericRemoveTaskOptionsReq req{};
  GenericResp resp{};
  fillIdentity(req.info, task, false, true);
  std::unique_ptr<TaskApiOptions[]> recs = packRecords<TaskApiOptions>(options, false, req.count);
  req.options = recs.get();
  return runExchange(msg::kRemoveOptions, req, resp, err);
}

int TaskInterfaceNet::removeOptions(_TaskInfo& task, const std::vector<unsigned long long>& optionIds,
                                    std::string& err, void*) {
  RemoveTaskOptionsReq req{};
  GenericResp resp{};
  fillIdentity(req.info, task, false, true);
  std::unique_ptr<uint32_t[]> ids;
  if (!optionIds.empty()) {
    ids.reset(new uint32_t[optionIds.size()]);
    // The service takes 32-bit ids in this message: only the low half travels.
    for (size_t i = 0; i < optionIds.size(); ++i) ids[i] = static_cast<uint32_t>(optionIds[i]);
  }
  req.count = static_cast<uint32_t>(optionIds.size());
  req.optionIds = ids.get();
  return runExchange(msg::kRemoveOptionIds, req, resp, err);
}

int TaskInterfaceNet::getFiles(_TaskInfo& task, FileCallBack* callback, std::string& err, void*) {
  GetTaskFilesReq req{};
  GenericGetTaskFilesResp resp{};
  fillIdentity(req.info, task, false, true);
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetFiles, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; callback != nullptr && i < resp.count; ++i) {
    const TaskApiFiles& f = resp.files[i];
    callback->getFilesCallback(f.optionId, textOf(f.value), static_cast<unsigned long>(f.type));
  }
  return 0;
}

int TaskInterfaceNet::setFiles(_TaskInfo& task, std::vector<const TaskFile*> files, std::string& err, void*) {
  SetTaskFilesReq req{};
  GenericResp resp{};
  fillIdentity(req.info, task, false, true);
  std::unique_ptr<TaskApiFiles[]> recs = packRecords<TaskApiFiles>(files, true, req.count);
  req.files = recs.get();
  return runExchange(msg::kSetFiles, req, resp, err);
}

int TaskInterfaceNet::removeFiles(_TaskInfo& task, std::vector<const TaskFile*> files, std::string& err, void*) {
  GenericRemoveTaskFilesReq req{};
  GenericResp resp{};
  fillIdentity(req.info, task, false, true);
  std::unique_ptr<TaskApiFiles[]> recs = packRecords<TaskApiFiles>(files, true, req.count);
  req.files = recs.get();
  return runExchange(msg::kRemoveFiles, req, resp, err);
}

int TaskInterfaceNet::removeFiles(_TaskInfo& task, const std::vector<std::string>& names, std::string& err,
                                  void*) {
  GenericRemoveTaskFilesReq req{};
  GenericResp resp{};
  fillIdentity(req.info, task, false, true);
  std::unique_ptr<TaskApiFiles[]> recs;
  if (!names.empty()) {
    recs.reset(new TaskApiFiles[names.size()]());
    for (size_t i = 0; i < names.size(); ++i) recs[i].value = textRef(names[i]);
  }
  req.count = static_cast<uint32_t>(names.size());
  req.files = recs.get();
  return runExchange(msg::kRemoveFileNames, req, resp, err);
}

int TaskInterfaceNet::getXMLOptions(_TaskInfo& task, std::string& err, void*) {
  GenericTaskApiReq req{};
  XmlOptionsResp resp{};
  fillIdentity(req.info, task, false, false);
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetXMLOptions, req, resp, err);
  if (rc == 0) task.xmlOptions = textOf(resp.text);
  return rc;
}

int TaskInterfaceNet::getBitOptions(_TaskInfo& task, std::string& err, void*) {
  GenericTaskApiReq req{};
  BitWiseOptionsResp resp{};
  fillIdentity(req.info, task, false, false);
  const int rc = runExchange(msg::kGetBitOptions, req, resp, err);
  if (rc == 0) task.bitOptions = resp.bitOptions;
  return rc;
}

int TaskInterfaceNet::getExtendedOptions(_TaskInfo& task, std::string& err, void*) {
  GenericTaskApiReq req{};
  ExtendedOptionsResp resp{};
  fillIdentity(req.info, task, false, false);
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetExtendedOptions, req, resp, err);
  if (rc == 0) task.extendedOptions = textOf(resp.text);
  return rc;
}

int TaskInterfaceNet::getDefaultOption(unsigned long long optionId, std::string& value, std::string& err, void*) {
  GenericTaskApiReq req{};
  GenericGetOptionsResp resp{};
  req.info.optionKey = optionId;
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetDefaultOption, req, resp, err);
  if (rc != 0) return rc;
  if (resp.count != 0) value = textOf(resp.options[0].value);
  return 0;
}

// --- rows --------------------------------------------------------------------------

int TaskInterfaceNet::getJobInfo(_TaskInfo& task, std::string& err, void*) {
  GenericTaskApiReq req{};
  GenericTaskApiResp resp{};
  req.info.jobId = task.jobId;
  const int rc = runExchange(msg::kGetJobInfo, req, resp, err);
  if (rc != 0) return rc;
  task.taskId = resp.info.taskId;
  task.subTaskId = resp.info.subTaskId;
  return 0;
}

int TaskInterfaceNet::getTaskInfo(_TaskInfo& task, std::string& err, void*) {
  GenericTaskApiReq req{};
  TaskInfoResp resp{};
  req.info.taskId = task.taskId;
  const int rc = runExchange(msg::kGetTaskInfo, req, resp, err);
  if (rc == 0) fromWire(resp.task, task.task);
  return rc;
}

int TaskInterfaceNet::getSubTaskInfo(_TaskInfo& task, std::string& err, void*) {
  GenericTaskApiReq req{};
  SubTaskInfoResp resp{};
  req.info.taskId = task.taskId;
  req.info.subTaskId = task.subTaskId;
  const int rc = runExchange(msg::kGetSubTaskInfo, req, resp, err);
  if (rc == 0) fromWire(resp.subTask, task.subTask);
  return rc;
}

int TaskInterfaceNet::getEntityInfo(_TaskInfo& task, std::string& err, void*) {
  GenericTaskApiReq req{};
  EntityInfoResp resp{};
  req.info.taskId = task.taskId;
  req.info.subTaskId = task.subTaskId;
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetEntityInfo, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; i < resp.count; ++i) task.entities.push_back(fromWire(resp.entities[i]));
  return 0;
}

int TaskInterfaceNet::getPatternInfo(_TaskInfo& task, std::string& err, void*) {
  if (task.entities.empty()) {
    err = "The task has no entity to read schedule patterns for";
    return YM_DB_NODATA;
  }
  GetPatternReq req{};
  GetPatternResp resp{};
  toWire(task.entities.front(), req.entity);
  req.entity.field0 = 0;
  req.entity.field1 = 0;
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetPatternInfo, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; i < resp.count; ++i) task.patterns.push_back(fromWire(resp.patterns[i]));
  return 0;
}

int TaskInterfaceNet::setTaskInfo(_TaskInfo task, std::string& err, void*) {
  SetTaskInfoReq req{};
  GenericResp resp{};
  req.info.taskId = task.taskId;
  toWire(task.task, req.task);
  return runExchange(msg::kSetTaskInfo, req, resp, err);
}

int TaskInterfaceNet::setSubTaskInfo(_TaskInfo task, std::string& err, void*) {
  SetSubTaskInfoReq req{};
  GenericResp resp{};
  req.info.taskId = task.taskId;
  req.info.subTaskId = task.subTaskId;
  toWire(task.subTask, req.subTask);
  return runExchange(msg::kSetSubTaskInfo, req, resp, err);
}

int TaskInterfaceNet::setEntityInfo(_TaskInfo task, std::string& err, void*) {
  SetEntityInfoReq req{};
  GenericResp resp{};
  req.info.taskId = task.taskId;
  req.info.subTaskId = task.subTaskId;
  std::unique_ptr<Sch_AssocEntity[]> rows;
  if (!task.entities.empty()) {
    rows.reset(new Sch_AssocEntity[task.entities.size()]());
    for (size_t i = 0; i < task.entities.size(); ++i) toWire(task.entities[i], rows[i]);
  }
  req.count = static_cast<uint32_t>(task.entities.size());
  req.entities = rows.get();
  return runExchange(msg::kSetEntityInfo, req, resp, err);
}

int TaskInterfaceNet::getDefaultTaskId(_TaskInfo& task, std::string& err, void*) {
  GenericTaskApiReq req{};
  TaskInfoResp resp{};
  const int rc = runExchange(msg::kGetDefaultTaskId, req, resp, err);
  if (rc == 0) task.task.taskId = resp.task.taskId;
  return rc;
}

// --- catalogue queries ----------------------------------------------------------------

int TaskInterfaceNet::getJobListFromTaskId(_TaskInfo& task, std::list<unsigned long long>& jobs, std::string& err,
                                           void*) {
  GetJobIdsFromTaskIdReq req{};
  JobIdsResp resp{};
  fillIdentity(req.info, task, false, true);
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetJobListFromTaskId, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; i < resp.count; ++i) jobs.push_back(resp.jobIds[i]);
  return 0;
}

int TaskInterfaceNet::getJobIdsFromBkpStats(std::list<unsigned long long>& jobs, std::string text, bool flag,
                                            int number, std::string& err, void*) {
  GetJobIdsFromBkpStatsReq req{};
  JobIdsResp resp{};
  req.text = textRef(text);
  req.flag = flag ? 1 : 0;
  req.number = number;
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetJobIdsFromBkpStats, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; i < resp.count; ++i) jobs.push_back(resp.jobIds[i]);
  return 0;
}

int TaskInterfaceNet::getJobRequestIdFromJobId(long long& requestId, long long jobId, std::string& err, void*) {
  GetJobRequestReq req{};
  GetJobRequestResp resp{};
  req.jobId = jobId;
  const int rc = runExchange(msg::kGetJobRequestId, req, resp, err);
  if (rc == 0) requestId = resp.requestId;
  return rc;
}

int TaskInterfaceNet::getComplianceOptionList(long long id, std::list<_ComplianceOptionInfo>& options,
                                              std::string& err, int, ymComplianceOptions kind, int number) {
  ComplianceOptionListReq req{};
  ComplianceOptionListResp resp{};
  req.id = id;
  req.kind = static_cast<int32_t>(kind);
  req.number = number;
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetComplianceOptionList, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; i < resp.count; ++i) {
    _ComplianceOptionInfo info;
    info.value = resp.options[i].value;
    info.name = textOf(resp.options[i].text);
    options.push_back(info);
  }
  return 0;
}

int TaskInterfaceNet::getRecordCenterList(std::list<_RecordCenterInfo>& centers, std::string& err, int number) {
  RecordCenterListReq req{};
  RecordCenterListResp resp{};
  req.number = number;
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetRecordCenterList, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; i < resp.count; ++i) {
    const SchedRecordCenter& e = resp.centers[i];
    _RecordCenterInfo r;
    r.id = e.number1;
    r.text1 = textOf(e.text1);
    r.text2 = textOf(e.text2);
    r.text3 = textOf(e.text3);
    r.text4 = textOf(e.text4);
    r.text5 = textOf(e.text5);
    r.value1 = e.number2;
    r.text6 = textOf(e.text6);
    r.text7 = textOf(e.text7);
    r.value2 = e.number3;
    centers.push_back(r);
  }
  return 0;
}

int TaskInterfaceNet::getRecordConnectorList(std::list<_RecordConnectorInfo>& connectors, std::string& err,
                                             int number) {
  RecordConnectorListReq req{};
  RecordConnectorListResp resp{};
  req.number = number;
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetRecordConnectorList, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; i < resp.count; ++i) {
    const SchedRecordConnector& e = resp.connectors[i];
    _RecordConnectorInfo r;
    r.id = e.number1;
    r.text1 = textOf(e.text1);
    r.value1 = e.number2;
    r.text2 = textOf(e.text2);
    r.text3 = textOf(e.text3);
    r.text4 = textOf(e.text4);
    r.value2 = e.number3;
    connectors.push_back(r);
  }
  return 0;
}

int TaskInterfaceNet::getLegalHoldList(std::list<_LegalHoldInfo>& holds, std::string& err, std::string text) {
  LegalHoldListReq req{};
  LegalHoldListResp resp{};
  req.text = textRef(text);
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetLegalHoldList, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; i < resp.count; ++i) {
    const SchedLegalHold& e = resp.holds[i];
    _LegalHoldInfo r;
    r.text1 = textOf(e.text1);
    r.text2 = textOf(e.text2);
    r.text3 = textOf(e.text3);
    for (int w = 0; w < 3; ++w) r.words1[w] = e.value12[w];
    r.text4 = textOf(e.text4);
    for (int w = 0; w < 2; ++w) r.words2[w] = e.value8[w];
    holds.push_back(r);
  }
  return 0;
}

int TaskInterfaceNet::getTagList(std::list<_DM2TagInfo>& tags, std::string& err, _DM2TagInfo* filter) {
  TagListReq req{};
  TagListResp resp{};
  if (filter != nullptr) {
    req.tag.text1 = textRef(filter->text1);
    req.tag.text2 = textRef(filter->text2);
    req.tag.text3 = textRef(filter->text3);
    req.tag.text4 = textRef(filter->text4);
    req.tag.text5 = textRef(filter->text5);
    req.tag.number = filter->value;
  }
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetTagList, req, resp, err);
  if (rc != 0) return rc;
  for (uint32_t i = 0; i < resp.count; ++i) {
    const SchedDM2Tag& e = resp.tags[i];
    _DM2TagInfo r;
    r.text1 = textOf(e.text1);
    r.text2 = textOf(e.text2);
    r.text3 = textOf(e.text3);
    r.text4 = textOf(e.text4);
    r.text5 = textOf(e.text5);
    r.value = e.number;
    tags.push_back(r);
  }
  return 0;
}

int TaskInterfaceNet::GetUpdateInfo(_UpdateInformation& info, std::string& err, unsigned long, unsigned long,
                                    unsigned long) {
  GetUpdateInfoReq req{};
  GetUpdateInfoResp resp{};
  // Owned here, so the array is released on every path.
  std::unique_ptr<SchedUpdateInfo[]> entries;
  if (!info.updates.empty()) {
    entries.reset(new SchedUpdateInfo[info.updates.size()]());
    size_t i = 0;
    for (const _SchedClientUpdateInfo& u : info.updates) entries[i++].word1 = static_cast<uint32_t>(u.firstWord);
  }
  req.count = static_cast<uint32_t>(info.updates.size());
  req.entries = entries.get();
  AppMgrExchange ex;
  const int rc = ex.run(msg::kGetUpdateInfo, req, resp, err);
  if (rc != 0) return rc;
  if (resp.count > 0) {
    info.updates.clear();
    for (uint32_t i = 0; i < resp.count; ++i) {
      _SchedClientUpdateInfo u;
      u.firstWord = resp.entries[i].word1;
      u.secondWord = resp.entries[i].word2;
      info.updates.push_back(u);
    }
  }
  return 0;
}
