// The network implementation of the task service: every operation is one
// request/response exchange with the application manager on a session of
// its own (see service/TaskWireStructs.h for the structures).
//
// The frame of every exchange: zeroed request and response, a new session,
// the request header, the operation's fields, send, receive, response
// header check (on failure the server's text goes into `err`), and only
// then the unpacking of the response. A failing step returns its code
// unchanged and leaves the caller's records untouched.
//
// Thread safety: no state; any number of objects may run concurrently.
#ifndef EVTASK_SERVICE_TASKINTERFACENET_H
#define EVTASK_SERVICE_TASKINTERFACENET_H

#include "service/TaskInterface.h"

class EVTASK_EXPORT TaskInterfaceNet : public TaskInterface {
 public:
  TaskInterfaceNet();
  ~TaskInterfaceNet() override;

  int lookup(_TaskInfo& task, std::string& err, void* event) override;
  int update(_TaskInfo& task, std::string& err, void* event) override;
  int getOptions(_TaskInfo& task, OptionCallBack* callback, std::string& err, void* event) override;
  int setOptions(_TaskInfo& task, std::vector<const TaskOption*> options, std::string& err, void* event) override;
  int removeOptions(_TaskInfo& task, std::vector<const TaskOption*> options, std::string& err,
                    void* event) override;
  int removeOptions(_TaskInfo& task, const std::vector<unsigned long long>& optionIds, std::string& err,
                    void* event) override;
  int getDefaults(OptionCallBack* callback, std::string& err, void* event) override;
  int getJobInfo(_TaskInfo& task, std::string& err, void* event) override;
  int getTaskInfo(_TaskInfo& task, std::string& err, void* event) override;
  int getSubTaskInfo(_TaskInfo& task, std::string& err, void* event) override;
  int getEntityInfo(_TaskInfo& task, std::string& err, void* event) override;
  int setTaskInfo(_TaskInfo task, std::string& err, void* event) override;
  int setSubTaskInfo(_TaskInfo task, std::string& err, void* event) override;
  int setEntityInfo(_TaskInfo task, std::string& err, void* event) override;
  int getDefaultTaskId(_TaskInfo& task, std::string& err, void* event) override;
  // Reads the patterns of the task's first entity row; a task without
  // entity rows sends nothing and returns YM_DB_NODATA.
  int getPatternInfo(_TaskInfo& task, std::string& err, void* event) override;
  int getXMLOptions(_TaskInfo& task, std::string& err, void* event) override;
  int getBitOptions(_TaskInfo& task, std::string& err, void* event) override;
  int getExtendedOptions(_TaskInfo& task, std::string& err, void* event) override;
  int getFiles(_TaskInfo& task, FileCallBack* callback, std::string& err, void* event) override;
  int setFiles(_TaskInfo& task, std::vector<const TaskFile*> files, std::string& err, void* event) override;
  int removeFiles(_TaskInfo& task, std::vector<const TaskFile*> files, std::string& err, void* event) override;
  int removeFiles(_TaskInfo& task, const std::vector<std::string>& names, std::string& err, void* event) override;
  int getJobListFromTaskId(_TaskInfo& task, std::list<unsigned long long>& jobs, std::string& err,
                           void* event) override;
  int getJobIdsFromBkpStats(std::list<unsigned long long>& jobs, std::string text, bool flag, int number,
                            std::string& err, void* event) override;
  int getJobRequestIdFromJobId(long long& requestId, long long jobId, std::string& err, void* event) override;
  int getComplianceOptionList(long long id, std::list<_ComplianceOptionInfo>& options, std::string& err,
                              int unsent, ymComplianceOptions kind, int number) override;
  int getRecordCenterList(std::list<_RecordCenterInfo>& centers, std::string& err, int number) override;
  int getRecordConnectorList(std::list<_RecordConnectorInfo>& connectors, std::string& err, int number) override;
  int getLegalHoldList(std::list<_LegalHoldInfo>& holds, std::string& err, std::string text) override;
  int getTagList(std::list<_DM2TagInfo>& tags, std::string& err, _DM2TagInfo* filter) override;
  int GetUpdateInfo(_UpdateInformation& info, std::string& err, unsigned long, unsigned long,
                    unsigned long) override;
  // Task creation and task requests (TaskInterfaceNetJobs.cpp): on success
  // `xml` holds the reply text (empty when the reply carries none), `taskId`
  // the id of the reply and the reply's job ids are appended to `jobIds`. On
  // failure `xml`, `taskId` and `jobIds` are unchanged.
  int CreateTask(std::string& xml, std::list<long long>& jobIds, int& taskId, int userId, std::string& errorText,
                 int localeId, long long sequenceNumber, bool endUser, bool flag) override;
  int TaskRequest(std::string& xml, std::list<long long>& jobIds, int& taskId, int userId, std::string& errorText,
                  unsigned long requestKind, int localeId, long long sequenceNumber, bool flag,
                  bool endUser) override;
  // The pattern text lands in task.xmlOptions.
  int getAutomaticSchedulePattern(_TaskInfo& task, std::string& err, void* event) override;
  // runTasks appends the reply's job ids; performOperation replaces jobIds.
  // A reply without job ids returns the reply's result code, with its
  // result message (when present) in `err`. performOperation sends one entry
  // per subtask of every automatic task info (see TaskInterfaceNetJobs.cpp).
  int runTasks(std::vector<Sched_SubTask>& subTasks, std::list<long long>& jobIds, std::string& err, int userId,
               int localeId, long long sequenceNumber, bool endUser, void* event) override;
  int performOperation(std::vector<_AutomaticTaskInfo>& tasks, std::list<long long>& jobIds, std::string& err,
                       int userId, int initFrom, int localeId, int operationType, long long sequenceNumber,
                       bool endUser, void* event) override;
  int getDefaultOption(unsigned long long optionId, std::string& value, std::string& err, void* event) override;
};

#endif  // EVTASK_SERVICE_TASKINTERFACENET_H
