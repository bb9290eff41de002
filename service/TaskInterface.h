// The task service: the abstract interface through which task objects reach
// the central task service, and the exported factory that creates it.
//
// Every operation returns 0 on success or an error code, with the error text
// in `err`; `event` is the caller's opaque context, passed down unread.
// Interface objects keep no state: create one per operation, from any
// thread, and delete it through the virtual destructor.
#ifndef EVTASK_SERVICE_TASKINTERFACE_H
#define EVTASK_SERVICE_TASKINTERFACE_H

#include <list>
#include <string>
#include <vector>

#include "evtask/export.h"
#include "service/TaskCallBack.h"
#include "records/CatalogueRecords.h"
#include "records/TaskFile.h"
#include "records/TaskOption.h"
#include "records/TaskRecords.h"

// The kind of interface the factory is asked for; only kind 1 (the network
// interface) is served.
typedef int EvTaskApiLibInterfaceType;
#define EV_TASK_API_LIB_INTERFACE_NET 1

// The virtual order below is part of the ABI: callers dispatch by slot.
class EVTASK_EXPORT TaskInterface {
 public:
  virtual ~TaskInterface();

  virtual int lookup(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int update(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int getOptions(_TaskInfo& task, OptionCallBack* callback, std::string& err, void* event) = 0;
  virtual int setOptions(_TaskInfo& task, std::vector<const TaskOption*> options, std::string& err,
                         void* event) = 0;
  virtual int removeOptions(_TaskInfo& task, std::vector<const TaskOption*> options, std::string& err,
                            void* event) = 0;
  virtual int removeOptions(_TaskInfo& task, const std::vector<unsigned long long>& optionIds,
                            std::string& err, void* event) = 0;
  virtual int getDefaults(OptionCallBack* callback, std::string& err, void* event) = 0;
  virtual int getJobInfo(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int getTaskInfo(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int getSubTaskInfo(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int getEntityInfo(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int setTaskInfo(_TaskInfo task, std::string& err, void* event) = 0;
  virtual int setSubTaskInfo(_TaskInfo task, std::string& err, void* event) = 0;
  virtual int setEntityInfo(_TaskInfo task, std::string& err, void* event) = 0;
  virtual int getDefaultTaskId(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int getPatternInfo(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int getXMLOptions(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int getBitOptions(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int getExtendedOptions(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int getFiles(_TaskInfo& task, FileCallBack* callback, std::string& err, void* event) = 0;
  virtual int setFiles(_TaskInfo& task, std::vector<const TaskFile*> files, std::string& err, void* event) = 0;
  virtual int removeFiles(_TaskInfo& task, std::vector<const TaskFile*> files, std::string& err,
                          void* event) = 0;
  virtual int removeFiles(_TaskInfo& task, const std::vector<std::string>& names, std::string& err,
                          void* event) = 0;
  virtual int getJobListFromTaskId(_TaskInfo& task, std::list<unsigned long long>& jobs, std::string& err,
                                   void* event) = 0;
  virtual int getJobIdsFromBkpStats(std::list<unsigned long long>& jobs, std::string text, bool flag,
                                    int number, std::string& err, void* event) = 0;
  virtual int getJobRequestIdFromJobId(long long& requestId, long long jobId, std::string& err,
                                       void* event) = 0;
  virtual int getComplianceOptionList(long long id, std::list<_ComplianceOptionInfo>& options,
                                      std::string& err, int unsent, ymComplianceOptions kind, int number) = 0;
  virtual int getRecordCenterList(std::list<_RecordCenterInfo>& centers, std::string& err, int number) = 0;
  virtual int getRecordConnectorList(std::list<_RecordConnectorInfo>& connectors, std::string& err,
                                     int number) = 0;
  virtual int getLegalHoldList(std::list<_LegalHoldInfo>& holds, std::string& err, std::string text) = 0;
  virtual int getTagList(std::list<_DM2TagInfo>& tags, std::string& err, _DM2TagInfo* filter) = 0;
  virtual int GetUpdateInfo(_UpdateInformation& info, std::string& err, unsigned long, unsigned long,
                            unsigned long) = 0;
  virtual int CreateTask(std::string& xml, std::list<long long>& jobIds, int& taskId, int userId,
                         std::string& errorText, int localeId, long long sequenceNumber, bool endUser,
                         bool flag) = 0;
  virtual int TaskRequest(std::string& xml, std::list<long long>& jobIds, int& taskId, int userId,
                          std::string& errorText, unsigned long requestKind, int localeId,
                          long long sequenceNumber, bool flag, bool endUser) = 0;
  virtual int getAutomaticSchedulePattern(_TaskInfo& task, std::string& err, void* event) = 0;
  virtual int runTasks(std::vector<Sched_SubTask>& subTasks, std::list<long long>& jobIds, std::string& err,
                       int userId, int localeId, long long sequenceNumber, bool endUser, void* event) = 0;
  virtual int performOperation(std::vector<_AutomaticTaskInfo>& tasks, std::list<long long>& jobIds,
                               std::string& err, int userId, int initFrom, int localeId, int operationType,
                               long long sequenceNumber, bool endUser, void* event) = 0;
  virtual int getDefaultOption(unsigned long long optionId, std::string& value, std::string& err,
                               void* event) = 0;
};

// Kind 1 returns a new TaskInterfaceNet owned by the caller (delete it
// through TaskInterface); any other kind returns null.
extern "C" EVTASK_EXPORT void* getTaskInterface(EvTaskApiLibInterfaceType kind);

#endif  // EVTASK_SERVICE_TASKINTERFACE_H
