// The task catalogue: every request and response of the task service with
// the layout the frame codec needs (size and reference positions).
#include <mutex>

#include "platform/PlatformMessages.h"
#include "platform/WireCatalogue.h"
#include "service/TaskWireStructs.h"

namespace evtask {

namespace {

#define OFF(T, f) static_cast<uint32_t>(offsetof(T, f))
// Position of the identity block's option text inside a request.
#define INFO_TEXT(T) static_cast<uint32_t>(offsetof(T, info) + offsetof(TaskApiInfo, optionText))

// Element layouts.
const WireLayout kU32{"uint32", 4, {}};
const WireLayout kU64{"uint64", 8, {}};
const WireLayout kOptionRec{"TaskApiOptions", 16, {WireRef::Text(OFF(TaskApiOptions, value))}};
const WireLayout kFileRec{"TaskApiFiles", 16, {WireRef::Text(OFF(TaskApiFiles, value))}};
const WireLayout kEntityRec{"Sch_AssocEntity", 44, {}};
const WireLayout kSubTaskRec{"Sch_SubTask", 20, {}};
const WireLayout kPatternRec{"Sch_Pattern", 76,
                             {WireRef::Text(OFF(Sch_Pattern, text1)), WireRef::Text(OFF(Sch_Pattern, text2)),
                              WireRef::Text(OFF(Sch_Pattern, text3))}};
const WireLayout kComplianceRec{"SchedComplianceOption", 8, {WireRef::Text(OFF(SchedComplianceOption, text))}};
const WireLayout kRecordCenterRec{
    "SchedRecordCenter",
    40,
    {WireRef::Text(OFF(SchedRecordCenter, text1)), WireRef::Text(OFF(SchedRecordCenter, text2)),
     WireRef::Text(OFF(SchedRecordCenter, text3)), WireRef::Text(OFF(SchedRecordCenter, text4)),
     WireRef::Text(OFF(SchedRecordCenter, text5)), WireRef::Text(OFF(SchedRecordCenter, text6)),
     WireRef::Text(OFF(SchedRecordCenter, text7))}};
const WireLayout kRecordConnectorRec{
    "SchedRecordConnector",
    28,
    {WireRef::Text(OFF(SchedRecordConnector, text1)), WireRef::Text(OFF(SchedRecordConnector, text2)),
     WireRef::Text(OFF(SchedRecordConnector, text3)), WireRef::Text(OFF(SchedRecordConnector, text4))}};
const WireLayout kLegalHoldRec{"SchedLegalHold",
                               36,
                               {WireRef::Text(OFF(SchedLegalHold, text1)), WireRef::Text(OFF(SchedLegalHold, text2)),
                                WireRef::Text(OFF(SchedLegalHold, text3)), WireRef::Text(OFF(SchedLegalHold, text4))}};
const WireLayout kTagRec{"SchedDM2Tag",
                         24,
                         {WireRef::Text(OFF(SchedDM2Tag, text1)), WireRef::Text(OFF(SchedDM2Tag, text2)),
                          WireRef::Text(OFF(SchedDM2Tag, text3)), WireRef::Text(OFF(SchedDM2Tag, text4)),
                          WireRef::Text(OFF(SchedDM2Tag, text5))}};
const WireLayout kUpdateRec{"SchedUpdateInfo", 8, {}};
const WireLayout kOperationEntityRec{
    "OperationEntity", 28, {WireRef::Array(OFF(OperationEntity, entities), OFF(OperationEntity, count), &kEntityRec)}};

// Requests.
const WireLayout kTaskOptionsLookupReq{"TaskOptionsLookupReq", 72, {WireRef::Text(INFO_TEXT(TaskOptionsLookupReq))}};
const WireLayout kTaskOptionsUpdateReq{"TaskOptionsUpdateReq", 72, {WireRef::Text(INFO_TEXT(TaskOptionsUpdateReq))}};
const WireLayout kGenericTaskApiReq{"GenericTaskApiReq", 72, {WireRef::Text(INFO_TEXT(GenericTaskApiReq))}};
const WireLayout kGetTaskFilesReq{"GetTaskFilesReq", 72, {WireRef::Text(INFO_TEXT(GetTaskFilesReq))}};
const WireLayout kGetJobIdsFromTaskIdReq{"GetJobIdsFromTaskIdReq", 72,
                                         {WireRef::Text(INFO_TEXT(GetJobIdsFromTaskIdReq))}};
const WireLayout kSetTaskOptionsReq{
    "SetTaskOptionsReq",
    80,
    {WireRef::Text(INFO_TEXT(SetTaskOptionsReq)),
     WireRef::Array(OFF(SetTaskOptionsReq, options), OFF(SetTaskOptionsReq, count), &kOptionRec)}};
const WireLayout kGenericRemoveTaskOptionsReq{
    "GenericRemoveTaskOptionsReq",
    80,
    {WireRef::Text(INFO_TEXT(GenericRemoveTaskOptionsReq)),
     WireRef::Array(OFF(GenericRemoveTaskOptionsReq, options), OFF(GenericRemoveTaskOptionsReq, count),
                    &kOptionRec)}};
const WireLayout kRemoveTaskOptionsReq{
    "RemoveTaskOptionsReq",
    80,
    {WireRef::Text(INFO_TEXT(RemoveTaskOptionsReq)),
     WireRef::Array(OFF(RemoveTaskOptionsReq, optionIds), OFF(RemoveTaskOptionsReq, count), &kU32)}};
const WireLayout kSetTaskFilesReq{
    "SetTaskFilesReq",
    80,
    {WireRef::Text(INFO_TEXT(SetTaskFilesReq)),
     WireRef::Array(OFF(SetTaskFilesReq, files), OFF(SetTaskFilesReq, count), &kFileRec)}};
const WireLayout kGenericRemoveTaskFilesReq{
    "GenericRemoveTaskFilesReq",
    80,
    {WireRef::Text(INFO_TEXT(GenericRemoveTaskFilesReq)),
     WireRef::Array(OFF(GenericRemoveTaskFilesReq, files), OFF(GenericRemoveTaskFilesReq, count), &kFileRec)}};
const WireLayout kGetPatternReq{"GetPatternReq", 60, {}};
const WireLayout kSetTaskInfoReq{"SetTaskInfoReq", 120, {WireRef::Text(INFO_TEXT(SetTaskInfoReq))}};
const WireLayout kSetSubTaskInfoReq{"SetSubTaskInfoReq", 92, {WireRef::Text(INFO_TEXT(SetSubTaskInfoReq))}};
const WireLayout kSetEntityInfoReq{
    "SetEntityInfoReq",
    80,
    {WireRef::Text(INFO_TEXT(SetEntityInfoReq)),
     WireRef::Array(OFF(SetEntityInfoReq, entities), OFF(SetEntityInfoReq, count), &kEntityRec)}};
const WireLayout kGetJobIdsFromBkpStatsReq{"GetJobIdsFromBkpStatsReq", 28,
                                           {WireRef::Text(OFF(GetJobIdsFromBkpStatsReq, text))}};
const WireLayout kGetJobRequestReq{"GetJobRequestReq", 24, {}};
const WireLayout kComplianceOptionListReq{"ComplianceOptionListReq", 32, {}};
const WireLayout kRecordCenterListReq{"RecordCenterListReq", 20, {}};
const WireLayout kRecordConnectorListReq{"RecordConnectorListReq", 20, {}};
const WireLayout kLegalHoldListReq{"LegalHoldListReq", 20, {WireRef::Text(OFF(LegalHoldListReq, text))}};
const WireLayout kTagListReq{"TagListReq",
                             40,
                             {WireRef::Text(OFF(TagListReq, tag) + OFF(SchedDM2Tag, text1)),
                              WireRef::Text(OFF(TagListReq, tag) + OFF(SchedDM2Tag, text2)),
                              WireRef::Text(OFF(TagListReq, tag) + OFF(SchedDM2Tag, text3)),
                              WireRef::Text(OFF(TagListReq, tag) + OFF(SchedDM2Tag, text4)),
                              WireRef::Text(OFF(TagListReq, tag) + OFF(SchedDM2Tag, text5))}};
const WireLayout kGetUpdateInfoReq{
    "GetUpdateInfoReq", 24, {WireRef::Array(OFF(GetUpdateInfoReq, entries), OFF(GetUpdateInfoReq, count), &kUpdateRec)}};
const WireLayout kCreateTaskReq{"CreateTaskReq", 36, {WireRef::Text(OFF(CreateTaskReq, xml))}};
const WireLayout kTaskMgrReq{
    "TaskMgrReq",
    56,
    {WireRef::Text(OFF(TaskMgrReq, xml)), WireRef::Array(OFF(TaskMgrReq, entries), OFF(TaskMgrReq, count), &kSubTaskRec)}};
const WireLayout kOperationReq{
    "OperationReq", 56, {WireRef::Array(OFF(OperationReq, entries), OFF(OperationReq, count), &kOperationEntityRec)}};

// Responses. Every response starts with the header's error text reference.
const WireLayout kGenericResp{"GenericResp", 20, {RespHeaderTextRef()}};
const WireLayout kOptionsLookupResp{"OptionsLookupResp", 24,
                                    {RespHeaderTextRef(), WireRef::Text(OFF(OptionsLookupResp, optionText))}};
const WireLayout kGenericTaskApiResp{
    "GenericTaskApiResp",
    76,
    {RespHeaderTextRef(),
     WireRef::Text(static_cast<uint32_t>(offsetof(GenericTaskApiResp, info) + offsetof(TaskApiInfo, optionText)))}};
const WireLayout kGenericGetOptionsResp{
    "GenericGetOptionsResp",
    28,
    {RespHeaderTextRef(),
     WireRef::Array(OFF(GenericGetOptionsResp, options), OFF(GenericGetOptionsResp, count), &kOptionRec)}};
const WireLayout kGenericGetTaskFilesResp{
    "GenericGetTaskFilesResp",
    28,
    {RespHeaderTextRef(),
     WireRef::Array(OFF(GenericGetTaskFilesResp, files), OFF(GenericGetTaskFilesResp, count), &kFileRec)}};
const WireLayout kXmlOptionsResp{"XmlOptionsResp", 24, {RespHeaderTextRef(), WireRef::Text(OFF(XmlOptionsResp, text))}};
const WireLayout kExtendedOptionsResp{"ExtendedOptionsResp", 24,
                                      {RespHeaderTextRef(), WireRef::Text(OFF(ExtendedOptionsResp, text))}};
const WireLayout kBitWiseOptionsResp{"BitWiseOptionsResp", 28, {RespHeaderTextRef()}};
const WireLayout kTaskInfoResp{"TaskInfoResp", 68, {RespHeaderTextRef()}};
const WireLayout kSubTaskInfoResp{"SubTaskInfoResp", 40, {RespHeaderTextRef()}};
const WireLayout kEntityInfoResp{
    "EntityInfoResp",
    28,
    {RespHeaderTextRef(), WireRef::Array(OFF(EntityInfoResp, entities), OFF(EntityInfoResp, count), &kEntityRec)}};
const WireLayout kGetPatternResp{
    "GetPatternResp",
    28,
    {RespHeaderTextRef(), WireRef::Array(OFF(GetPatternResp, patterns), OFF(GetPatternResp, count), &kPatternRec)}};
const WireLayout kJobIdsResp{"JobIdsResp",
                             28,
                             {RespHeaderTextRef(), WireRef::Array(OFF(JobIdsResp, jobIds), OFF(JobIdsResp, count), &kU64)}};
const WireLayout kGetJobRequestResp{"GetJobRequestResp", 28, {RespHeaderTextRef()}};
const WireLayout kComplianceOptionListResp{
    "ComplianceOptionListResp",
    28,
    {RespHeaderTextRef(), WireRef::Array(OFF(ComplianceOptionListResp, options), OFF(ComplianceOptionListResp, count),
                                         &kComplianceRec)}};
const WireLayout kRecordCenterListResp{
    "RecordCenterListResp",
    28,
    {RespHeaderTextRef(),
     WireRef::Array(OFF(RecordCenterListResp, centers), OFF(RecordCenterListResp, count), &kRecordCenterRec)}};
const WireLayout kRecordConnectorListResp{
    "RecordConnectorListResp",
    28,
    {RespHeaderTextRef(), WireRef::Array(OFF(RecordConnectorListResp, connectors), OFF(RecordConnectorListResp, count),
                                         &kRecordConnectorRec)}};
const WireLayout kLegalHoldListResp{
    "LegalHoldListResp",
    28,
    {RespHeaderTextRef(), WireRef::Array(OFF(LegalHoldListResp, holds), OFF(LegalHoldListResp, count), &kLegalHoldRec)}};
const WireLayout kTagListResp{
    "TagListResp", 28, {RespHeaderTextRef(), WireRef::Array(OFF(TagListResp, tags), OFF(TagListResp, count), &kTagRec)}};
const WireLayout kGetUpdateInfoResp{
    "GetUpdateInfoResp",
    28,
    {RespHeaderTextRef(), WireRef::Array(OFF(GetUpdateInfoResp, entries), OFF(GetUpdateInfoResp, count), &kUpdateRec)}};
const WireLayout kCreateTaskResp{"CreateTaskResp",
                                 44,
                                 {RespHeaderTextRef(), WireRef::Text(OFF(CreateTaskResp, resultMessage)),
                                  WireRef::Text(OFF(CreateTaskResp, xml)),
                                  WireRef::Array(OFF(CreateTaskResp, jobIds), OFF(CreateTaskResp, count), &kU64)}};

struct Row {
  TaskMessageInfo info;
  const WireLayout* request;
  const WireLayout* response;
};

#define ROW(code, op, req, resp) {{code, op, req.name, req.size, resp.name, resp.size}, &req, &resp}

const Row kRows[] = {
    ROW(msg::kLookup, "lookup", kTaskOptionsLookupReq, kOptionsLookupResp),
    ROW(msg::kUpdate, "update", kTaskOptionsUpdateReq, kGenericResp),
    ROW(msg::kGetOptions, "getOptions", kGenericTaskApiReq, kGenericGetOptionsResp),
    ROW(msg::kSetOptions, "setOptions", kSetTaskOptionsReq, kGenericResp),
    ROW(msg::kRemoveOptions, "removeOptions (options)", kGenericRemoveTaskOptionsReq, kGenericResp),
    ROW(msg::kRemoveOptionIds, "removeOptions (ids)", kRemoveTaskOptionsReq, kGenericResp),
    ROW(msg::kGetDefaults, "getDefaults", kGenericTaskApiReq, kGenericGetOptionsResp),
    ROW(msg::kGetFiles, "getFiles", kGetTaskFilesReq, kGenericGetTaskFilesResp),
    ROW(msg::kSetFiles, "setFiles", kSetTaskFilesReq, kGenericResp),
    ROW(msg::kRemoveFiles, "removeFiles (entries)", kGenericRemoveTaskFilesReq, kGenericResp),
    ROW(msg::kRemoveFileNames, "removeFiles (names)", kGenericRemoveTaskFilesReq, kGenericResp),
    ROW(msg::kGetJobListFromTaskId, "getJobListFromTaskId", kGetJobIdsFromTaskIdReq, kJobIdsResp),
    ROW(msg::kGetJobInfo, "getJobInfo", kGenericTaskApiReq, kGenericTaskApiResp),
    ROW(msg::kGetTaskInfo, "getTaskInfo", kGenericTaskApiReq, kTaskInfoResp),
    ROW(msg::kGetSubTaskInfo, "getSubTaskInfo", kGenericTaskApiReq, kSubTaskInfoResp),
    ROW(msg::kGetEntityInfo, "getEntityInfo", kGenericTaskApiReq, kEntityInfoResp),
    ROW(msg::kGetXMLOptions, "getXMLOptions", kGenericTaskApiReq, kXmlOptionsResp),
    ROW(msg::kGetBitOptions, "getBitOptions", kGenericTaskApiReq, kBitWiseOptionsResp),
    ROW(msg::kGetExtendedOptions, "getExtendedOptions", kGenericTaskApiReq, kExtendedOptionsResp),
    ROW(msg::kSetTaskInfo, "setTaskInfo", kSetTaskInfoReq, kGenericResp),
    ROW(msg::kSetSubTaskInfo, "setSubTaskInfo", kSetSubTaskInfoReq, kGenericResp),
    ROW(msg::kSetEntityInfo, "setEntityInfo", kSetEntityInfoReq, kGenericResp),
    ROW(msg::kGetDefaultTaskId, "getDefaultTaskId", kGenericTaskApiReq, kTaskInfoResp),
    ROW(msg::kGetJobIdsFromBkpStats, "getJobIdsFromBkpStats", kGetJobIdsFromBkpStatsReq, kJobIdsResp),
    ROW(msg::kGetComplianceOptionList, "getComplianceOptionList", kComplianceOptionListReq, kComplianceOptionListResp),
    ROW(msg::kGetRecordCenterList, "getRecordCenterList", kRecordCenterListReq, kRecordCenterListResp),
    ROW(msg::kGetRecordConnectorList, "getRecordConnectorList", kRecordConnectorListReq, kRecordConnectorListResp),
    ROW(msg::kGetLegalHoldList, "getLegalHoldList", kLegalHoldListReq, kLegalHoldListResp),
    ROW(msg::kGetUpdateInfo, "GetUpdateInfo", kGetUpdateInfoReq, kGetUpdateInfoResp),
    ROW(msg::kGetTagList, "getTagList", kTagListReq, kTagListResp),
    ROW(msg::kCreateTask, "CreateTask", kCreateTaskReq, kCreateTaskResp),
    ROW(msg::kGetDefaultOption, "getDefaultOption", kGenericTaskApiReq, kGenericGetOptionsResp),
    ROW(msg::kGetJobRequestId, "getJobRequestIdFromJobId", kGetJobRequestReq, kGetJobRequestResp),
    ROW(msg::kTaskRequest, "TaskRequest", kTaskMgrReq, kCreateTaskResp),
    ROW(msg::kGetPatternInfo, "getPatternInfo", kGetPatternReq, kGetPatternResp),
    ROW(msg::kRunTasks, "runTasks", kTaskMgrReq, kCreateTaskResp),
    ROW(msg::kGetAutomaticSchedulePattern, "getAutomaticSchedulePattern", kGenericTaskApiReq, kXmlOptionsResp),
    ROW(msg::kPerformOperation, "performOperation", kOperationReq, kCreateTaskResp),
};

const TaskMessageInfo* infos(size_t* count) {
  static TaskMessageInfo table[sizeof kRows / sizeof kRows[0]];
  static std::once_flag once;
  std::call_once(once, [] {
    for (size_t i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) table[i] = kRows[i].info;
  });
  *count = sizeof kRows / sizeof kRows[0];
  return table;
}

}  // namespace

void registerTaskCatalogue() {
  static std::once_flag once;
  std::call_once(once, [] {
    WireCatalogue& c = WireCatalogue::instance();
    for (const Row& row : kRows) {
      c.add(row.info.requestType, row.request);
      c.add(msg::responseOf(row.info.requestType), row.response);
    }
  });
}

const TaskMessageInfo* taskMessages(size_t* count) { return infos(count); }

}  // namespace evtask
