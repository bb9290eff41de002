// The records that describe a task: its rows (task, subtask, associated
// entities, schedule patterns), the task record _TaskInfo that a task object
// keeps and hands to every service operation, and the aggregates used when
// tasks are run for clients and entities.
//
// All records are plain values: copying copies every field, texts and lists
// are owned. Fields the library does not interpret (the reserved* and
// pattern fields) are carried between the service and the caller unchanged.
// Integer widths are those of the 32-bit platform: long and unsigned long are
// 32 bits, long long 64 bits.
//
// Thread safety: none; a record is used by one thread at a time.
#ifndef EVTASK_TASK_TASKRECORDS_H
#define EVTASK_TASK_TASKRECORDS_H

#include <string>
#include <vector>

#include "evtask/export.h"
#include "records/TaskFile.h"

static_assert(sizeof(long) == 4 && sizeof(unsigned long) == 4,
              "task records use 32-bit long fields");
static_assert(sizeof(unsigned long long) == 8, "task records use 64-bit ids");

// A task row.
struct EVTASK_EXPORT Sched_Task {
  unsigned long taskId = 0;
  unsigned long reserved1 = 0;
  // Bit 7 (0x80) marks the default task.
  unsigned long flags = 0;
  unsigned long status = 0;
  unsigned long reserved2 = 0;
  unsigned long reserved3 = 0;
  unsigned long reserved4 = 0;
  unsigned long reserved5 = 0;
  unsigned long reserved6 = 0;
  unsigned long long reserved64 = 0;
  // Kept locally; the row exchanges neither send nor receive it.
  std::string description;
};

// A subtask row.
struct EVTASK_EXPORT Sched_SubTask {
  unsigned long subTaskId = 0;
  unsigned long taskId = 0;
  long subTaskType = 0;
  long operationType = 0;
  long reserved1 = 0;
};

// One entity (client, agent, instance, backup set, subclient) a task applies
// to. The first eleven fields are exchanged with the service; localValue1
// and localValue2 stay in this process.
struct EVTASK_EXPORT Sched_AssocEntity {
  long reserved1 = 0;
  long reserved2 = 0;
  unsigned long taskId = 0;
  long clientGroupId = 0;
  long clientId = 0;
  long appTypeId = 0;
  long instanceId = 0;
  long backupsetId = 0;
  long subclientId = 0;
  long extraValue1 = 0;
  long extraValue2 = 0;
  long localValue1 = 0;
  long localValue2 = 0;
};

// One schedule pattern, carried from the service to the caller without
// interpretation.
struct EVTASK_EXPORT Sched_Pattern {
  std::string text1;
  long value1 = 0;
  long value2 = 0;
  long value3 = 0;
  long value4 = 0;
  long value5 = 0;
  long value6 = 0;
  long value7 = 0;
  long value8 = 0;
  std::string text2;
  long value9 = 0;
  std::string text3;
  long value10 = 0;
  long value11 = 0;
  long value12 = 0;
  long value13 = 0;
  long value14 = 0;
  long value15 = 0;
  long value16 = 0;
};

// The task record of one task object.
//
// Besides the identity and the rows it owns eight path lists of the restore
// task. Every constructor creates them empty, the destructor deletes them,
// and copy construction and assignment give the target lists of its own
// holding copies of the source's entries, so a copy (such as the one a write
// operation sends) never releases lists that its source still uses.
// Assignment refills the target's existing list objects, so pointers to the
// lists themselves stay valid; pointers to their elements do not. The list
// pointers are never null and must not be replaced or deleted by users.
struct EVTASK_EXPORT _TaskInfo {
  _TaskInfo();
  _TaskInfo(const _TaskInfo& other);
  _TaskInfo& operator=(const _TaskInfo& other);
  ~_TaskInfo();

  unsigned long long jobId;
  unsigned long taskId;
  unsigned long subTaskId;
  // How the task object was addressed: 0 by job, 1 by subtask, 2 by task,
  // other values by job with resolution.
  long idKind;
  unsigned long long optionKey;
  std::string optionText;
  unsigned long long bitOptions;
  std::string extendedOptions;
  std::string xmlOptions;
  bool creationFlag;
  Sched_Task task;
  Sched_SubTask subTask;
  std::vector<Sched_AssocEntity> entities;
  std::vector<Sched_Pattern> patterns;

  TaskFileList* srcPathList;     // file type 150001
  TaskFileList* destPathList;    // 150002
  TaskFileList* filterPathList;  // 150003, 150014
  TaskFileList* pathList8;       // 150008, 150013
  TaskFileList* pathList7;       // 150007, 150012
  TaskFileList* searchPathList;  // 150010
  TaskFileList* userNameList;
  TaskFileList* passwordList;
};

// A subtask and its serialised automatic schedule pattern (XML text, empty
// when the subtask has none).
struct EVTASK_EXPORT _SubTaskInfo {
  Sched_SubTask subTask;
  std::string automaticPattern;
};

// The subtasks of one task together with the entities they run for.
struct EVTASK_EXPORT _AutomaticTaskInfo {
  std::vector<_SubTaskInfo> subTasks;
  std::vector<Sched_AssocEntity> entities;
};

#endif  // EVTASK_TASK_TASKRECORDS_H
