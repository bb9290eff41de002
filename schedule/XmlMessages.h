// The XML message classes of task creation, schedules and jobs: thin typed
// classes over the message base (platform/CNMessageBase.h), each fixing its
// (family, class) pair. Fields are addressed by tag through the base's
// accessors; the tags each operation uses are named at its call site.
//
// Families: 12 task manager (TMMsg), 18 entities (YmEntities), 21 job
// manager (JobManager), 30 content indexing (DM2ContentIndexing), 40
// application settings (App).
//
// registerScheduleMessageClasses() registers the schemas of the classes the
// library reads back from the server, so that a reply with a field of the
// wrong kind or a nested message of the wrong class is refused. It is called
// by every operation that reads such a reply and is idempotent.
//
// Thread safety: as the message base: one message per thread.
#ifndef EVTASK_SCHEDULE_XMLMESSAGES_H
#define EVTASK_SCHEDULE_XMLMESSAGES_H

#include "evtask/export.h"
#include "platform/CNMessageBase.h"

#define EVTASK_XML_CLASS(NAME, FAMILY, CLASSNO)                 \
  class EVTASK_EXPORT NAME : public CNMessageBase {             \
   public:                                                      \
    static constexpr int kFamily = FAMILY;                      \
    static constexpr int kClass = CLASSNO;                      \
    NAME() : CNMessageBase(FAMILY, CLASSNO) {}                  \
  }

namespace TMMsg {

// Task types: 1 runs once, immediately (no pattern is sent); 2 automatic
// schedule; 4 easy-backup schedule.
enum TaskType : int { TASK_IMMEDIATE = 1, TASK_SCHEDULE = 2, TASK_EZ_BACKUP_SCHEDULE = 4 };
enum SubTaskType : int { SUBTASK_ADMIN = 1, SUBTASK_BACKUP = 2 };
enum TaskOperationType : int {
  OP_BACKUP = 2,
  OP_DELETE = 3,
  OP_RUN_NOW = 5,
  OP_AUX_COPY = 4003,
  OP_INVENTORY = 4005,
  OP_DOWNLOAD_SOFTWARE = 4019,
  OP_INSTALL_SOFTWARE = 4020,
  OP_EDC = 4034,
  OP_DEDUP_DB_RECONSTRUCTION = 4036,
  OP_SEND_LOG_FILES = 5010,
  OP_MOVE_PARTITION = 5013
};

EVTASK_XML_CLASS(GenericResp, 12, 1);
EVTASK_XML_CLASS(SubTask, 12, 10);
EVTASK_XML_CLASS(TaskInfo, 12, 40);
EVTASK_XML_CLASS(Pattern, 12, 78);
EVTASK_XML_CLASS(AuxcopyOption, 12, 85);
EVTASK_XML_CLASS(GetTaskListResp, 12, 88);
EVTASK_XML_CLASS(CreateTaskResp, 12, 100);
EVTASK_XML_CLASS(SubStore, 12, 104);
EVTASK_XML_CLASS(TaskOperationReq, 12, 105);
EVTASK_XML_CLASS(CreateTaskReq, 12, 175);
EVTASK_XML_CLASS(SubTaskInfo, 12, 183);
EVTASK_XML_CLASS(GetTaskListReq, 12, 223);
EVTASK_XML_CLASS(JobOption, 12, 262);
EVTASK_XML_CLASS(TaskFlags, 12, 265);
EVTASK_XML_CLASS(AutomaticSchedulePattern, 12, 336);
EVTASK_XML_CLASS(Task, 12, 367);
EVTASK_XML_CLASS(OptionFilter, 12, 384);

// Elements reached only through their parents (class numbers).
constexpr int kFamily = 12;
constexpr int kJobOptionScheduleClass = 17;  // job options tag 4
constexpr int kCommonOptionsClass = 111;     // job options tag 1
constexpr int kWeekdayFlagsClass = 248;      // pattern tag 8
constexpr int kOptionHolderClass = 258;      // task operation tag 12
constexpr int kTaskFilterClass = 229;        // task list request tag 2
constexpr int kUpdateOptionsClass = 375;     // job options tag 3

}  // namespace TMMsg

namespace YmEntities {

EVTASK_XML_CLASS(ClientEntity, 18, 4);
EVTASK_XML_CLASS(TaskEntity, 18, 43);
EVTASK_XML_CLASS(SubtaskEntity, 18, 44);
EVTASK_XML_CLASS(GenericEntity, 18, 46);
EVTASK_XML_CLASS(SubClientEntity, 18, 47);

}  // namespace YmEntities

namespace JobManager {

EVTASK_XML_CLASS(GetJobRequestEntitiesReq, 21, 11);
EVTASK_XML_CLASS(JobSummary, 21, 30);
EVTASK_XML_CLASS(Job, 21, 31);
EVTASK_XML_CLASS(JobFilter, 21, 34);
EVTASK_XML_CLASS(JobListRequest, 21, 92);
EVTASK_XML_CLASS(GetJobRequestEntitiesResp, 21, 143);
EVTASK_XML_CLASS(JobListResponse, 21, 194);

constexpr int kSortClass = 159;

}  // namespace JobManager

namespace DM2ContentIndexing {

EVTASK_XML_CLASS(IndexAutoscaleOption, 30, 610);
EVTASK_XML_CLASS(ScaleIndexReq, 30, 611);
EVTASK_XML_CLASS(ScaleIndexCoreInfo, 30, 612);

}  // namespace DM2ContentIndexing

namespace App {

// Tag 1: day of week (day mask, below 1 = none); tag 2: first run, a time value.
EVTASK_XML_CLASS(UpdateSchedule, 40, 1);

}  // namespace App

#undef EVTASK_XML_CLASS

EVTASK_EXPORT void registerScheduleMessageClasses();

#endif  // EVTASK_SCHEDULE_XMLMESSAGES_H
