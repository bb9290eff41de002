// EvBkpTask: a backup task. Named access to the options a backup job uses.
//
// Each accessor forwards to EvTask's getOptionInt or setOptionInt with a
// fixed option id and returns its result: 0 on success, otherwise the code
// of the option load or write, with the text in getErrorString(). A getter
// of an option that neither the task nor the defaults hold succeeds with 0.
// The trailing void* is the caller's event argument, passed on unread.
//
// Ownership: the caller owns the task object. Thread safety: a task object
// is used by one thread at a time.
//
// The order of the virtual operations below continues EvTask's and is part
// of the ABI. The class adds no data members.
#ifndef EVTASK_TASK_EVBKPTASK_H
#define EVTASK_TASK_EVBKPTASK_H

#include "evtask/export.h"
#include "task/EvTask.h"

class EVTASK_EXPORT EvBkpTask : public EvTask {
 public:
  // As EvTask's constructor with a false creation flag; no files are loaded.
  EvBkpTask(unsigned long long id, int idKind, void* event);
  // As EvTask's copy.
  EvBkpTask(const EvBkpTask& other);
  ~EvBkpTask() override;

  virtual int getAppId(int& value, void* event);
  virtual int setAppId(int value, void* event);
  virtual int getBackupLevel(int& value, void* event);
  virtual int setBackupLevel(int value, void* event);
  virtual int getOraBackupLevel(int& value, void* event);
  virtual int setOraBackupLevel(int value, void* event);
};

#endif  // EVTASK_TASK_EVBKPTASK_H
