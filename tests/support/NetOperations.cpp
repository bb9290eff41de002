#include "support/NetOperations.h"

#include <sstream>

#include "service/TaskWireStructs.h"

namespace evtask {
namespace test {

namespace {

std::string cb(const char* kind, unsigned long long id, const std::string& value, unsigned long type) {
  return std::string(kind) + "(" + std::to_string(id) + "," + value + "," + std::to_string(type) + ")";
}

void dumpFiles(std::ostream& o, const char* name, const TaskFileList* list) {
  o << name << "[";
  if (list != nullptr) {
    for (const TaskFile* f : list->getList()) o << f->getOptionId() << ":" << f->getType() << ":" << f->getValue() << ";";
  }
  o << "]";
}

std::vector<const TaskOption*> optionPtrs() {
  static TaskOption a(101, "1", 7), b(102, "two", 1);
  return {&a, &b};
}

std::vector<const TaskFile*> filePtrs() {
  static TaskFile a(150001, "/src", 1), b(150002, "/dst", 1);
  return {&a, &b};
}

}  // namespace

Sched_AssocEntity sampleEntity(long base) {
  Sched_AssocEntity e;
  long* fields[] = {&e.reserved1,  &e.reserved2,  &e.clientGroupId, &e.clientId,    &e.appTypeId,
                    &e.instanceId, &e.backupsetId, &e.subclientId,  &e.extraValue1, &e.extraValue2,
                    &e.localValue1, &e.localValue2};
  for (long* f : fields) *f = base++;
  e.taskId = static_cast<unsigned long>(base);
  return e;
}

int RecordingCallback::getOptionsCallback(unsigned long long id, std::string value, unsigned long type) {
  received += cb("option", id, value, type);
  return 0;
}
int RecordingCallback::getDefaultsCallback(unsigned long long id, std::string value, unsigned long type) {
  received += cb("default", id, value, type);
  return 0;
}
int RecordingCallback::getFilesCallback(unsigned long long id, std::string value, unsigned long type) {
  received += cb("file", id, value, type);
  return 0;
}

NetCallState::NetCallState() {
  task.jobId = 0x100000001ull;
  task.taskId = 2;
  task.subTaskId = 3;
  task.idKind = 1;
  task.optionKey = 0x400000005ull;
  task.optionText = "option text";
  task.bitOptions = 0x66;
  task.extendedOptions = "ext";
  task.xmlOptions = "<xml/>";
  task.task.taskId = 2;
  task.task.flags = 8;
  task.task.description = "description";
  task.subTask.subTaskId = 3;
  task.subTask.subTaskType = 9;
  task.entities = {sampleEntity(10), sampleEntity(30)};
  Sched_Pattern p;
  p.text1 = "pattern";
  p.value16 = 16;
  task.patterns = {p};
  jobs = {5, 6};
  compliance = {{1, "compliance"}};
  _RecordCenterInfo rc;
  rc.id = 4;
  rc.text7 = "center";
  centers = {rc};
  _RecordConnectorInfo rn;
  rn.id = 5;
  rn.text4 = "connector";
  connectors = {rn};
  _LegalHoldInfo h;
  h.text1 = "hold";
  h.words2[1] = 9;
  holds = {h};
  _DM2TagInfo t;
  t.text5 = "tag";
  t.value = 3;
  tags = {t};
  updates.updates = {{11, 12}};
}

std::string dumpRecord(const _TaskInfo& t) {
  std::ostringstream o;
  o << t.jobId << "|" << t.taskId << "|" << t.subTaskId << "|" << t.idKind << "|" << t.optionKey << "|"
    << t.optionText << "|" << t.bitOptions << "|" << t.extendedOptions << "|" << t.xmlOptions << "|"
    << t.creationFlag << "|task:" << t.task.taskId << "," << t.task.reserved1 << "," << t.task.flags << ","
    << t.task.status << "," << t.task.reserved2 << "," << t.task.reserved3 << "," << t.task.reserved4 << ","
    << t.task.reserved5 << "," << t.task.reserved6 << "," << t.task.reserved64 << "," << t.task.description
    << "|sub:" << t.subTask.subTaskId << "," << t.subTask.taskId << "," << t.subTask.subTaskType << ","
    << t.subTask.operationType << "," << t.subTask.reserved1 << "|entities:";
  for (const Sched_AssocEntity& e : t.entities) {
    o << e.reserved1 << "," << e.reserved2 << "," << e.taskId << "," << e.clientGroupId << "," << e.clientId << ","
      << e.appTypeId << "," << e.instanceId << "," << e.backupsetId << "," << e.subclientId << "," << e.extraValue1
      << "," << e.extraValue2 << "," << e.localValue1 << "," << e.localValue2 << ";";
  }
  o << "|patterns:";
  for (const Sched_Pattern& p : t.patterns) {
    o << p.text1 << "," << p.text2 << "," << p.text3;
    for (long v : {p.value1, p.value2, p.value3, p.value4, p.value5, p.value6, p.value7, p.value8, p.value9,
                   p.value10, p.value11, p.value12, p.value13, p.value14, p.value15, p.value16}) {
      o << "," << v;
    }
    o << ";";
  }
  o << "|";
  dumpFiles(o, "src", t.srcPathList);
  dumpFiles(o, "dst", t.destPathList);
  dumpFiles(o, "filter", t.filterPathList);
  dumpFiles(o, "p8", t.pathList8);
  dumpFiles(o, "p7", t.pathList7);
  dumpFiles(o, "search", t.searchPathList);
  dumpFiles(o, "user", t.userNameList);
  dumpFiles(o, "password", t.passwordList);
  return o.str();
}

std::string NetCallState::dump() const {
  std::ostringstream o;
  o << dumpRecord(task) << "\njobs:";
  for (unsigned long long j : jobs) o << j << ",";
  o << "\nrequestId:" << requestId << "\nvalue:" << value << "\ncompliance:";
  for (const auto& c : compliance) o << c.value << "," << c.name << ";";
  o << "\ncenters:";
  for (const auto& c : centers) {
    o << c.id << "," << c.text1 << "," << c.text2 << "," << c.text3 << "," << c.text4 << "," << c.text5 << ","
      << c.value1 << "," << c.text6 << "," << c.text7 << "," << c.value2 << ";";
  }
  o << "\nconnectors:";
  for (const auto& c : connectors) {
    o << c.id << "," << c.text1 << "," << c.value1 << "," << c.text2 << "," << c.text3 << "," << c.text4 << ","
      << c.value2 << ";";
  }
  o << "\nholds:";
  for (const auto& h : holds) {
    o << h.text1 << "," << h.text2 << "," << h.text3 << "," << h.words1[0] << "," << h.words1[1] << ","
      << h.words1[2] << "," << h.text4 << "," << h.words2[0] << "," << h.words2[1] << ";";
  }
  o << "\ntags:";
  for (const auto& t : tags) {
    o << t.text1 << "," << t.text2 << "," << t.text3 << "," << t.text4 << "," << t.text5 << "," << t.value << ";";
  }
  o << "\nupdates:";
  for (const auto& u : updates.updates) o << u.firstWord << "," << u.secondWord << ";";
  o << "\ncallbacks:" << callback.received;
  return o.str();
}

const std::vector<NetOperation>& netOperations() {
  using S = NetCallState;
  using I = TaskInterface;
  static const std::vector<NetOperation> ops = {
      {"lookup", msg::kLookup, true, [](I& i, S& s) { return i.lookup(s.task, s.err, nullptr); }},
      {"update", msg::kUpdate, false, [](I& i, S& s) { return i.update(s.task, s.err, nullptr); }},
      {"getOptions", msg::kGetOptions, true,
       [](I& i, S& s) { return i.getOptions(s.task, &s.callback, s.err, nullptr); }},
      {"setOptions", msg::kSetOptions, false,
       [](I& i, S& s) { return i.setOptions(s.task, optionPtrs(), s.err, nullptr); }},
      {"removeOptions(records)", msg::kRemoveOptions, false,
       [](I& i, S& s) { return i.removeOptions(s.task, optionPtrs(), s.err, nullptr); }},
      {"removeOptions(ids)", msg::kRemoveOptionIds, false,
       [](I& i, S& s) { return i.removeOptions(s.task, std::vector<unsigned long long>{7, 8}, s.err, nullptr); }},
      {"getDefaults", msg::kGetDefaults, true, [](I& i, S& s) { return i.getDefaults(&s.callback, s.err, nullptr); }},
      {"getJobInfo", msg::kGetJobInfo, true, [](I& i, S& s) { return i.getJobInfo(s.task, s.err, nullptr); }},
      {"getTaskInfo", msg::kGetTaskInfo, true, [](I& i, S& s) { return i.getTaskInfo(s.task, s.err, nullptr); }},
      {"getSubTaskInfo", msg::kGetSubTaskInfo, true,
       [](I& i, S& s) { return i.getSubTaskInfo(s.task, s.err, nullptr); }},
      {"getEntityInfo", msg::kGetEntityInfo, true, [](I& i, S& s) { return i.getEntityInfo(s.task, s.err, nullptr); }},
      {"setTaskInfo", msg::kSetTaskInfo, false, [](I& i, S& s) { return i.setTaskInfo(s.task, s.err, nullptr); }},
      {"setSubTaskInfo", msg::kSetSubTaskInfo, false,
       [](I& i, S& s) { return i.setSubTaskInfo(s.task, s.err, nullptr); }},
      {"setEntityInfo", msg::kSetEntityInfo, false, [](I& i, S& s) { return i.setEntityInfo(s.task, s.err, nullptr); }},
      {"getDefaultTaskId", msg::kGetDefaultTaskId, true,
       [](I& i, S& s) { return i.getDefaultTaskId(s.task, s.err, nullptr); }},
      {"getPatternInfo", msg::kGetPatternInfo, true,
       [](I& i, S& s) { return i.getPatternInfo(s.task, s.err, nullptr); }},
      {"getXMLOptions", msg::kGetXMLOptions, true, [](I& i, S& s) { return i.getXMLOptions(s.task, s.err, nullptr); }},
      {"getBitOptions", msg::kGetBitOptions, true, [](I& i, S& s) { return i.getBitOptions(s.task, s.err, nullptr); }},
      {"getExtendedOptions", msg::kGetExtendedOptions, true,
       [](I& i, S& s) { return i.getExtendedOptions(s.task, s.err, nullptr); }},
      {"getFiles", msg::kGetFiles, true, [](I& i, S& s) { return i.getFiles(s.task, &s.callback, s.err, nullptr); }},
      {"setFiles", msg::kSetFiles, false, [](I& i, S& s) { return i.setFiles(s.task, filePtrs(), s.err, nullptr); }},
      {"removeFiles(entries)", msg::kRemoveFiles, false,
       [](I& i, S& s) { return i.removeFiles(s.task, filePtrs(), s.err, nullptr); }},
      {"removeFiles(names)", msg::kRemoveFileNames, false,
       [](I& i, S& s) { return i.removeFiles(s.task, std::vector<std::string>{"/a", "/b"}, s.err, nullptr); }},
      {"getJobListFromTaskId", msg::kGetJobListFromTaskId, true,
       [](I& i, S& s) { return i.getJobListFromTaskId(s.task, s.jobs, s.err, nullptr); }},
      {"getJobIdsFromBkpStats", msg::kGetJobIdsFromBkpStats, true,
       [](I& i, S& s) { return i.getJobIdsFromBkpStats(s.jobs, "stats", true, 3, s.err, nullptr); }},
      {"getJobRequestIdFromJobId", msg::kGetJobRequestId, true,
       [](I& i, S& s) { return i.getJobRequestIdFromJobId(s.requestId, 12, s.err, nullptr); }},
      {"getComplianceOptionList", msg::kGetComplianceOptionList, true,
       [](I& i, S& s) {
         return i.getComplianceOptionList(4, s.compliance, s.err, 0, static_cast<ymComplianceOptions>(2), 5);
       }},
      {"getRecordCenterList", msg::kGetRecordCenterList, true,
       [](I& i, S& s) { return i.getRecordCenterList(s.centers, s.err, 1); }},
      {"getRecordConnectorList", msg::kGetRecordConnectorList, true,
       [](I& i, S& s) { return i.getRecordConnectorList(s.connectors, s.err, 1); }},
      {"getLegalHoldList", msg::kGetLegalHoldList, true,
       [](I& i, S& s) { return i.getLegalHoldList(s.holds, s.err, "holds"); }},
      {"getTagList", msg::kGetTagList, true,
       [](I& i, S& s) {
         _DM2TagInfo filter;
         filter.text1 = "filter";
         return i.getTagList(s.tags, s.err, &filter);
       }},
      {"GetUpdateInfo", msg::kGetUpdateInfo, true,
       [](I& i, S& s) { return i.GetUpdateInfo(s.updates, s.err, 0, 0, 0); }},
      {"getDefaultOption", msg::kGetDefaultOption, true,
       [](I& i, S& s) { return i.getDefaultOption(42, s.value, s.err, nullptr); }},
  };
  return ops;
}

}  // namespace test
}  // namespace evtask
