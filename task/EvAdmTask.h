// EvAdmTask: an administrative (report) task. Named access to the report
// definition options, and the task's files sorted into the path lists of its
// record at construction (see EvTask::buildFileList).
//
// Each accessor forwards to EvTask's getOptionInt/setOptionInt or
// getOptionString/setOptionString with a fixed option id and returns its
// result: 0 on success, otherwise the code of the option load or write, with
// the text in getErrorString(). A getter of an option that neither the task
// nor the defaults hold succeeds with 0 or the empty text. The trailing
// void* is the caller's event argument, passed on unread.
//
// Ownership: the caller owns the task object. Thread safety: a task object
// is used by one thread at a time.
//
// The order of the virtual operations below continues EvTask's and is part
// of the ABI. The class adds no data members.
#ifndef EVTASK_TASK_EVADMTASK_H
#define EVTASK_TASK_EVADMTASK_H

#include <string>

#include "evtask/export.h"
#include "task/EvTask.h"

class EVTASK_EXPORT EvAdmTask : public EvTask {
 public:
  // As EvTask's constructor with a true creation flag; when id is not 0 the
  // task's files are loaded, asking for file type idKind, and sorted into the
  // path lists. A failed load leaves the lists empty and the failure in the
  // error state.
  EvAdmTask(unsigned long long id, int idKind, void* event);
  // As EvTask's constructor with a false creation flag; when id is not 0 and
  // loadFiles is true the files are loaded, asking for every type, and
  // sorted into the path lists.
  EvAdmTask(unsigned long long id, int idKind, void* event, bool loadFiles);
  // As EvTask's copy.
  EvAdmTask(const EvAdmTask& other);
  ~EvAdmTask() override;

  virtual int getSrmRptType(int& value, void* event);
  virtual int setSrmRptType(int value, void* event);
  virtual int getSrmRptName(std::string& value, void* event);
  virtual int setSrmRptName(std::string value, void* event);
  virtual int getSrmRptSetId(int& value, void* event);
  virtual int setSrmRptSetId(const int& value, void* event);
  virtual int getSrmRptSetName(std::string& value, void* event);
  virtual int setSrmRptSetName(const std::string& value, void* event);
};

#endif  // EVTASK_TASK_EVADMTASK_H
