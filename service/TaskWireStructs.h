// Wire structures of the task service: the requests and responses that
// TaskInterfaceNet exchanges with the application manager. Each is a flat
// record of little-endian integers and 4-byte references (texts and arrays),
// with the exact size and offsets that the server and existing callers rely
// on; every size and offset is checked at compile time below.
//
// An array is a 32-bit count followed (not always adjacently) by a reference
// to its first element. Texts and arrays of a received response belong to
// the session that received it.
#ifndef EVTASK_SERVICE_TASKWIRESTRUCTS_H
#define EVTASK_SERVICE_TASKWIRESTRUCTS_H

#include <cstddef>
#include <cstdint>

#include "evtask/export.h"
#include "platform/NetMessage.h"

#pragma pack(push, 4)

// The task identity block.
struct TaskApiInfo {
  uint64_t jobId;
  uint32_t taskId;
  uint32_t subTaskId;
  int32_t idKind;       // 0 by job, 1 by subtask, 2 by task
  uint64_t optionKey;   // also the option id of getDefaultOption
  char* optionText;     // update only
  uint8_t reserved[24];
};

struct TaskApiOptions {
  uint64_t optionId;
  int32_t type;
  char* value;
};

struct TaskApiFiles {
  uint64_t optionId;
  int32_t type;
  char* value;
};

struct Sch_Task {
  uint32_t taskId;
  uint32_t field1;
  uint32_t flags;
  uint32_t status;
  uint32_t fields[5];
  uint64_t field64;
  uint32_t zero;
};

struct Sch_SubTask {
  uint32_t subTaskId;
  uint32_t taskId;
  uint32_t subTaskType;
  uint32_t operationType;
  uint32_t field4;
};

struct Sch_AssocEntity {
  uint32_t field0;
  uint32_t field1;
  uint32_t taskId;
  uint32_t clientGroupId;
  uint32_t clientId;
  uint32_t appTypeId;
  uint32_t instanceId;
  uint32_t backupsetId;
  uint32_t subclientId;
  uint32_t field9;
  uint32_t field10;
};

struct Sch_Pattern {
  char* text1;
  uint32_t fields1[8];
  char* text2;
  uint32_t field9;
  char* text3;
  uint32_t fields2[7];
};

// --- lookup / update -------------------------------------------------------
struct TaskOptionsLookupReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
};
struct OptionsLookupResp {
  AppMgrRespHdr header;
  char* optionText;
};
struct TaskOptionsUpdateReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
};
struct GenericResp {
  AppMgrRespHdr header;
};

// --- options and files ------------------------------------------------------
struct GenericTaskApiReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
};
struct GetTaskFilesReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
};
struct GenericTaskApiResp {
  AppMgrRespHdr header;
  TaskApiInfo info;
};
struct GenericGetOptionsResp {
  AppMgrRespHdr header;
  uint32_t count;
  TaskApiOptions* options;
};
struct GenericGetTaskFilesResp {
  AppMgrRespHdr header;
  uint32_t count;
  TaskApiFiles* files;
};
struct SetTaskOptionsReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
  uint32_t count;
  TaskApiOptions* options;
};
struct GenericRemoveTaskOptionsReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
  uint32_t count;
  TaskApiOptions* options;
};
struct RemoveTaskOptionsReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
  uint32_t count;
  uint32_t* optionIds;
};
struct SetTaskFilesReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
  uint32_t count;
  TaskApiFiles* files;
};
struct GenericRemoveTaskFilesReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
  uint32_t count;
  TaskApiFiles* files;
};
struct XmlOptionsResp {
  AppMgrRespHdr header;
  char* text;
};
struct ExtendedOptionsResp {
  AppMgrRespHdr header;
  char* text;
};
struct BitWiseOptionsResp {
  AppMgrRespHdr header;
  uint64_t bitOptions;
};

// --- rows ------------------------------------------------------------------
struct TaskInfoResp {
  AppMgrRespHdr header;
  Sch_Task task;
};
struct SubTaskInfoResp {
  AppMgrRespHdr header;
  Sch_SubTask subTask;
};
struct EntityInfoResp {
  AppMgrRespHdr header;
  uint32_t count;
  Sch_AssocEntity* entities;
};
struct GetPatternReq {
  AppMgrReqHdr header;
  Sch_AssocEntity entity;
};
struct GetPatternResp {
  AppMgrRespHdr header;
  uint32_t count;
  Sch_Pattern* patterns;
};
struct SetTaskInfoReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
  Sch_Task task;
};
struct SetSubTaskInfoReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
  Sch_SubTask subTask;
};
struct SetEntityInfoReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
  uint32_t count;
  Sch_AssocEntity* entities;
};

// --- catalogue queries -------------------------------------------------------
struct GetJobIdsFromTaskIdReq {
  AppMgrReqHdr header;
  TaskApiInfo info;
};
struct GetJobIdsFromBkpStatsReq {
  AppMgrReqHdr header;
  char* text;
  uint32_t flag;
  int32_t number;
};
struct JobIdsResp {
  AppMgrRespHdr header;
  uint32_t count;
  uint64_t* jobIds;
};
struct GetJobRequestReq {
  AppMgrReqHdr header;
  int64_t jobId;
};
struct GetJobRequestResp {
  AppMgrRespHdr header;
  int64_t requestId;
};
struct ComplianceOptionListReq {
  AppMgrReqHdr header;
  int64_t id;
  int32_t kind;
  int32_t number;
};
struct SchedComplianceOption {
  int32_t value;
  char* text;
};
struct ComplianceOptionListResp {
  AppMgrRespHdr header;
  uint32_t count;
  SchedComplianceOption* options;
};
struct RecordCenterListReq {
  AppMgrReqHdr header;
  int32_t number;
};
struct SchedRecordCenter {
  int32_t number1;
  char* text1;
  char* text2;
  char* text3;
  char* text4;
  char* text5;
  int32_t number2;
  char* text6;
  char* text7;
  int32_t number3;
};
struct RecordCenterListResp {
  AppMgrRespHdr header;
  uint32_t count;
  SchedRecordCenter* centers;
};
struct RecordConnectorListReq {
  AppMgrReqHdr header;
  int32_t number;
};
struct SchedRecordConnector {
  int32_t number1;
  char* text1;
  int32_t number2;
  char* text2;
  char* text3;
  char* text4;
  int32_t number3;
};
struct RecordConnectorListResp {
  AppMgrRespHdr header;
  uint32_t count;
  SchedRecordConnector* connectors;
};
struct LegalHoldListReq {
  AppMgrReqHdr header;
  char* text;
};
struct SchedLegalHold {
  char* text1;
  char* text2;
  char* text3;
  uint32_t value12[3];
  char* text4;
  uint32_t value8[2];
};
struct LegalHoldListResp {
  AppMgrRespHdr header;
  uint32_t count;
  SchedLegalHold* holds;
};
struct SchedDM2Tag {
  char* text1;
  char* text2;
  char* text3;
  char* text4;
  char* text5;
  int32_t number;
};
struct TagListReq {
  AppMgrReqHdr header;
  SchedDM2Tag tag;
};
struct TagListResp {
  AppMgrRespHdr header;
  uint32_t count;
  SchedDM2Tag* tags;
};
struct SchedUpdateInfo {
  uint32_t word1;
  uint32_t word2;
};
struct GetUpdateInfoReq {
  AppMgrReqHdr header;
  uint32_t count;
  SchedUpdateInfo* entries;
};
struct GetUpdateInfoResp {
  AppMgrRespHdr header;
  uint32_t count;
  SchedUpdateInfo* entries;
};

// --- task creation, task requests, running and operations -----------------------
struct CreateTaskReq {
  AppMgrReqHdr header;
  int32_t userId;
  int32_t localeId;
  uint32_t zero1;
  uint32_t zero2;
  char* xml;
};
struct CreateTaskResp {
  AppMgrRespHdr header;
  int32_t resultCode;
  char* resultMessage;
  int32_t taskId;
  char* xml;
  uint32_t count;
  int64_t* jobIds;
};
struct TaskMgrReq {
  AppMgrReqHdr header;
  int32_t localeId;
  int32_t userId;
  int64_t sequenceNumber;
  uint32_t requestKind;  // or the operation type
  uint32_t flag;
  uint32_t endUser;
  char* xml;
  uint32_t count;
  Sch_SubTask* entries;
};
struct OperationEntity {
  Sch_SubTask subTask;
  uint32_t count;
  Sch_AssocEntity* entities;
};
struct OperationReq {
  AppMgrReqHdr header;
  int32_t localeId;
  int32_t userId;
  int64_t sequenceNumber;
  uint32_t operationType;
  uint32_t flag;
  uint32_t endUser;
  int32_t initFrom;
  uint32_t count;
  OperationEntity* entries;
};

#pragma pack(pop)

#define EVTASK_WIRE_SIZE(T, n) static_assert(sizeof(T) == (n), #T " must be " #n " bytes")
#define EVTASK_WIRE_AT(T, f, n) static_assert(offsetof(T, f) == (n), #T "::" #f " must be at " #n)

EVTASK_WIRE_SIZE(TaskApiInfo, 56);
EVTASK_WIRE_AT(TaskApiInfo, jobId, 0);
EVTASK_WIRE_AT(TaskApiInfo, taskId, 8);
EVTASK_WIRE_AT(TaskApiInfo, subTaskId, 12);
EVTASK_WIRE_AT(TaskApiInfo, idKind, 16);
EVTASK_WIRE_AT(TaskApiInfo, optionKey, 20);
EVTASK_WIRE_AT(TaskApiInfo, optionText, 28);
EVTASK_WIRE_AT(TaskApiInfo, reserved, 32);
EVTASK_WIRE_SIZE(TaskApiOptions, 16);
EVTASK_WIRE_AT(TaskApiOptions, type, 8);
EVTASK_WIRE_AT(TaskApiOptions, value, 12);
EVTASK_WIRE_SIZE(TaskApiFiles, 16);
EVTASK_WIRE_AT(TaskApiFiles, value, 12);
EVTASK_WIRE_SIZE(Sch_Task, 48);
EVTASK_WIRE_AT(Sch_Task, flags, 8);
EVTASK_WIRE_AT(Sch_Task, status, 12);
EVTASK_WIRE_AT(Sch_Task, fields, 16);
EVTASK_WIRE_AT(Sch_Task, field64, 36);
EVTASK_WIRE_AT(Sch_Task, zero, 44);
EVTASK_WIRE_SIZE(Sch_SubTask, 20);
EVTASK_WIRE_SIZE(Sch_AssocEntity, 44);
EVTASK_WIRE_AT(Sch_AssocEntity, taskId, 8);
EVTASK_WIRE_AT(Sch_AssocEntity, clientGroupId, 12);
EVTASK_WIRE_AT(Sch_AssocEntity, clientId, 16);
EVTASK_WIRE_AT(Sch_AssocEntity, appTypeId, 20);
EVTASK_WIRE_AT(Sch_AssocEntity, instanceId, 24);
EVTASK_WIRE_AT(Sch_AssocEntity, backupsetId, 28);
EVTASK_WIRE_AT(Sch_AssocEntity, subclientId, 32);
EVTASK_WIRE_SIZE(Sch_Pattern, 76);
EVTASK_WIRE_AT(Sch_Pattern, fields1, 4);
EVTASK_WIRE_AT(Sch_Pattern, text2, 36);
EVTASK_WIRE_AT(Sch_Pattern, field9, 40);
EVTASK_WIRE_AT(Sch_Pattern, text3, 44);
EVTASK_WIRE_AT(Sch_Pattern, fields2, 48);

EVTASK_WIRE_SIZE(TaskOptionsLookupReq, 72);
EVTASK_WIRE_AT(TaskOptionsLookupReq, info, 16);
EVTASK_WIRE_SIZE(OptionsLookupResp, 24);
EVTASK_WIRE_AT(OptionsLookupResp, optionText, 20);
EVTASK_WIRE_SIZE(TaskOptionsUpdateReq, 72);
EVTASK_WIRE_SIZE(GenericResp, 20);
EVTASK_WIRE_SIZE(GenericTaskApiReq, 72);
EVTASK_WIRE_SIZE(GetTaskFilesReq, 72);
EVTASK_WIRE_SIZE(GenericTaskApiResp, 76);
EVTASK_WIRE_AT(GenericTaskApiResp, info, 20);
EVTASK_WIRE_SIZE(GenericGetOptionsResp, 28);
EVTASK_WIRE_AT(GenericGetOptionsResp, count, 20);
EVTASK_WIRE_AT(GenericGetOptionsResp, options, 24);
EVTASK_WIRE_SIZE(GenericGetTaskFilesResp, 28);
EVTASK_WIRE_AT(GenericGetTaskFilesResp, files, 24);
EVTASK_WIRE_SIZE(SetTaskOptionsReq, 80);
EVTASK_WIRE_AT(SetTaskOptionsReq, count, 72);
EVTASK_WIRE_AT(SetTaskOptionsReq, options, 76);
EVTASK_WIRE_SIZE(GenericRemoveTaskOptionsReq, 80);
EVTASK_WIRE_AT(GenericRemoveTaskOptionsReq, options, 76);
EVTASK_WIRE_SIZE(RemoveTaskOptionsReq, 80);
EVTASK_WIRE_AT(RemoveTaskOptionsReq, optionIds, 76);
EVTASK_WIRE_SIZE(SetTaskFilesReq, 80);
EVTASK_WIRE_AT(SetTaskFilesReq, files, 76);
EVTASK_WIRE_SIZE(GenericRemoveTaskFilesReq, 80);
EVTASK_WIRE_AT(GenericRemoveTaskFilesReq, files, 76);
EVTASK_WIRE_SIZE(XmlOptionsResp, 24);
EVTASK_WIRE_SIZE(ExtendedOptionsResp, 24);
EVTASK_WIRE_SIZE(BitWiseOptionsResp, 28);
EVTASK_WIRE_AT(BitWiseOptionsResp, bitOptions, 20);

EVTASK_WIRE_SIZE(TaskInfoResp, 68);
EVTASK_WIRE_AT(TaskInfoResp, task, 20);
EVTASK_WIRE_SIZE(SubTaskInfoResp, 40);
EVTASK_WIRE_SIZE(EntityInfoResp, 28);
EVTASK_WIRE_AT(EntityInfoResp, entities, 24);
EVTASK_WIRE_SIZE(GetPatternReq, 60);
EVTASK_WIRE_AT(GetPatternReq, entity, 16);
EVTASK_WIRE_SIZE(GetPatternResp, 28);
EVTASK_WIRE_AT(GetPatternResp, patterns, 24);
EVTASK_WIRE_SIZE(SetTaskInfoReq, 120);
EVTASK_WIRE_AT(SetTaskInfoReq, task, 72);
EVTASK_WIRE_SIZE(SetSubTaskInfoReq, 92);
EVTASK_WIRE_AT(SetSubTaskInfoReq, subTask, 72);
EVTASK_WIRE_SIZE(SetEntityInfoReq, 80);
EVTASK_WIRE_AT(SetEntityInfoReq, count, 72);
EVTASK_WIRE_AT(SetEntityInfoReq, entities, 76);

EVTASK_WIRE_SIZE(GetJobIdsFromTaskIdReq, 72);
EVTASK_WIRE_SIZE(GetJobIdsFromBkpStatsReq, 28);
EVTASK_WIRE_AT(GetJobIdsFromBkpStatsReq, flag, 20);
EVTASK_WIRE_AT(GetJobIdsFromBkpStatsReq, number, 24);
EVTASK_WIRE_SIZE(JobIdsResp, 28);
EVTASK_WIRE_AT(JobIdsResp, jobIds, 24);
EVTASK_WIRE_SIZE(GetJobRequestReq, 24);
EVTASK_WIRE_AT(GetJobRequestReq, jobId, 16);
EVTASK_WIRE_SIZE(GetJobRequestResp, 28);
EVTASK_WIRE_AT(GetJobRequestResp, requestId, 20);
EVTASK_WIRE_SIZE(ComplianceOptionListReq, 32);
EVTASK_WIRE_AT(ComplianceOptionListReq, kind, 24);
EVTASK_WIRE_AT(ComplianceOptionListReq, number, 28);
EVTASK_WIRE_SIZE(SchedComplianceOption, 8);
EVTASK_WIRE_SIZE(ComplianceOptionListResp, 28);
EVTASK_WIRE_SIZE(RecordCenterListReq, 20);
EVTASK_WIRE_SIZE(SchedRecordCenter, 40);
EVTASK_WIRE_AT(SchedRecordCenter, number2, 24);
EVTASK_WIRE_AT(SchedRecordCenter, number3, 36);
EVTASK_WIRE_SIZE(RecordCenterListResp, 28);
EVTASK_WIRE_SIZE(RecordConnectorListReq, 20);
EVTASK_WIRE_SIZE(SchedRecordConnector, 28);
EVTASK_WIRE_AT(SchedRecordConnector, number3, 24);
EVTASK_WIRE_SIZE(RecordConnectorListResp, 28);
EVTASK_WIRE_SIZE(LegalHoldListReq, 20);
EVTASK_WIRE_SIZE(SchedLegalHold, 36);
EVTASK_WIRE_AT(SchedLegalHold, value12, 12);
EVTASK_WIRE_AT(SchedLegalHold, text4, 24);
EVTASK_WIRE_AT(SchedLegalHold, value8, 28);
EVTASK_WIRE_SIZE(LegalHoldListResp, 28);
EVTASK_WIRE_SIZE(SchedDM2Tag, 24);
EVTASK_WIRE_AT(SchedDM2Tag, number, 20);
EVTASK_WIRE_SIZE(TagListReq, 40);
EVTASK_WIRE_SIZE(TagListResp, 28);
EVTASK_WIRE_SIZE(SchedUpdateInfo, 8);
EVTASK_WIRE_SIZE(GetUpdateInfoReq, 24);
EVTASK_WIRE_AT(GetUpdateInfoReq, entries, 20);
EVTASK_WIRE_SIZE(GetUpdateInfoResp, 28);

EVTASK_WIRE_SIZE(CreateTaskReq, 36);
EVTASK_WIRE_AT(CreateTaskReq, userId, 16);
EVTASK_WIRE_AT(CreateTaskReq, localeId, 20);
EVTASK_WIRE_AT(CreateTaskReq, xml, 32);
EVTASK_WIRE_SIZE(CreateTaskResp, 44);
EVTASK_WIRE_AT(CreateTaskResp, resultCode, 20);
EVTASK_WIRE_AT(CreateTaskResp, resultMessage, 24);
EVTASK_WIRE_AT(CreateTaskResp, taskId, 28);
EVTASK_WIRE_AT(CreateTaskResp, xml, 32);
EVTASK_WIRE_AT(CreateTaskResp, count, 36);
EVTASK_WIRE_AT(CreateTaskResp, jobIds, 40);
EVTASK_WIRE_SIZE(TaskMgrReq, 56);
EVTASK_WIRE_AT(TaskMgrReq, localeId, 16);
EVTASK_WIRE_AT(TaskMgrReq, userId, 20);
EVTASK_WIRE_AT(TaskMgrReq, sequenceNumber, 24);
EVTASK_WIRE_AT(TaskMgrReq, requestKind, 32);
EVTASK_WIRE_AT(TaskMgrReq, flag, 36);
EVTASK_WIRE_AT(TaskMgrReq, endUser, 40);
EVTASK_WIRE_AT(TaskMgrReq, xml, 44);
EVTASK_WIRE_AT(TaskMgrReq, count, 48);
EVTASK_WIRE_AT(TaskMgrReq, entries, 52);
EVTASK_WIRE_SIZE(OperationEntity, 28);
EVTASK_WIRE_AT(OperationEntity, count, 20);
EVTASK_WIRE_AT(OperationEntity, entities, 24);
EVTASK_WIRE_SIZE(OperationReq, 56);
EVTASK_WIRE_AT(OperationReq, initFrom, 44);
EVTASK_WIRE_AT(OperationReq, entries, 52);

// Message type codes (the response code is the request code plus one).
namespace evtask {
namespace msg {
constexpr uint32_t kLookup = 0x49000020;
constexpr uint32_t kUpdate = 0x49000022;
constexpr uint32_t kGetOptions = 0x49000026;
constexpr uint32_t kSetOptions = 0x49000028;
constexpr uint32_t kRemoveOptions = 0x4900002A;
constexpr uint32_t kRemoveOptionIds = 0x4900002C;
constexpr uint32_t kGetDefaults = 0x4900002E;
constexpr uint32_t kGetFiles = 0x49000030;
constexpr uint32_t kSetFiles = 0x49000032;
constexpr uint32_t kRemoveFiles = 0x49000034;
constexpr uint32_t kRemoveFileNames = 0x49000036;
constexpr uint32_t kGetJobListFromTaskId = 0x49000038;
constexpr uint32_t kGetJobInfo = 0x4900003A;
constexpr uint32_t kGetTaskInfo = 0x4900003C;
constexpr uint32_t kGetSubTaskInfo = 0x4900003E;
constexpr uint32_t kGetEntityInfo = 0x49000040;
constexpr uint32_t kGetXMLOptions = 0x49000042;
constexpr uint32_t kGetBitOptions = 0x49000044;
constexpr uint32_t kGetExtendedOptions = 0x49000046;
constexpr uint32_t kSetTaskInfo = 0x49000048;
constexpr uint32_t kSetSubTaskInfo = 0x4900004A;
constexpr uint32_t kSetEntityInfo = 0x4900004C;
constexpr uint32_t kGetDefaultTaskId = 0x4900004E;
constexpr uint32_t kGetJobIdsFromBkpStats = 0x49000050;
constexpr uint32_t kGetComplianceOptionList = 0x49000052;
constexpr uint32_t kGetRecordCenterList = 0x49000054;
constexpr uint32_t kGetRecordConnectorList = 0x49000056;
constexpr uint32_t kGetLegalHoldList = 0x49000058;
constexpr uint32_t kGetUpdateInfo = 0x4900005A;
constexpr uint32_t kGetTagList = 0x4900005C;
constexpr uint32_t kCreateTask = 0x49000062;
constexpr uint32_t kGetDefaultOption = 0x49000064;
constexpr uint32_t kGetJobRequestId = 0x49000066;
constexpr uint32_t kTaskRequest = 0x49000068;
constexpr uint32_t kGetPatternInfo = 0x4900006A;
constexpr uint32_t kRunTasks = 0x4900006C;
constexpr uint32_t kGetAutomaticSchedulePattern = 0x4900006E;
constexpr uint32_t kPerformOperation = 0x4900007A;

constexpr uint32_t responseOf(uint32_t request) { return request + 1; }
}  // namespace msg

// One row of the task catalogue: a request code with its request and
// response structures.
struct TaskMessageInfo {
  uint32_t requestType;
  const char* operation;
  const char* requestName;
  uint32_t requestSize;
  const char* responseName;
  uint32_t responseSize;
};

// Registers every task message in the wire catalogue (idempotent, thread-safe).
EVTASK_EXPORT void registerTaskCatalogue();

// The task catalogue, in request-code order.
EVTASK_EXPORT const TaskMessageInfo* taskMessages(size_t* count);

}  // namespace evtask

#endif  // EVTASK_SERVICE_TASKWIRESTRUCTS_H
