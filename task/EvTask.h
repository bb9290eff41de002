// EvTask: one task of the central task service, addressed by a job, task or
// subtask id. It keeps the task's record (rows and identity), caches the
// task's options, the process-wide default options and the task's file
// entries, and writes changes back.
//
// Service call pattern. Every operation that reaches the service clears the
// error state, obtains a new service interface (getTaskInterface), calls one
// interface operation with the task record, the object's error text and the
// caller's event argument, stores the result in the error code, deletes the
// interface and returns the code. Results: 0 for success,
// YM_GET_INTERFACE_FAILED ("get Interface failed") when no interface could
// be created, otherwise the code of the session or the server, with its text
// in getErrorString(). A failing exchange leaves out-arguments unchanged.
// Constructors never fail for service errors: the outcome of the eager
// fetches is kept in the error state.
//
// The trailing void* of an operation is the caller's opaque event context;
// it is passed down unchanged and never read.
//
// Ownership: the caller owns task objects and everything it passes in. A
// task object owns its record, caches and path lists; interface objects live
// for one operation. getTaskInterface returns an object the caller deletes.
//
// Thread safety: a task object is used by one thread at a time. Objects on
// different threads are independent; they share only the platform singleton
// and the default option cache, both guarded by their own locks.
//
// The class layout (virtual bases, the order of the virtual operations below
// and of the data members) is part of the ABI: derived classes and callers
// dispatch by slot. Operations are implemented in the file of the capability
// they belong to (EvTaskRows.cpp, EvTaskOptions.cpp, EvTaskIdentity.cpp, ...).
#ifndef EVTASK_TASK_EVTASK_H
#define EVTASK_TASK_EVTASK_H

#include <list>
#include <string>
#include <vector>

#include "evtask/export.h"
#include "service/TaskCallBack.h"
#include "service/TaskInterface.h"
#include "records/TaskFile.h"
#include "records/TaskOption.h"
#include "records/TaskRecords.h"
#include "task/TmTaskFiles.h"
#include "task/TmTaskOptions.h"

// The pre/post command record of the restore options, defined with them.
struct RestoreTaskOptionsItem;

// Schedule and job types, defined with the XML message classes in
// schedule/XmlMessages.h and schedule/ScheduleRecords.h; the operations
// below are implemented in schedule/.
class EvEvent;
struct InventoryJobParams;
struct DDBMoveInputParams;
struct _IndexScaleInputParams;
namespace TMMsg {
enum TaskType : int;
enum SubTaskType : int;
enum TaskOperationType : int;
class Pattern;
class JobOption;
class AuxcopyOption;
}  // namespace TMMsg
namespace YmEntities {
class GenericEntity;
class SubtaskEntity;
}  // namespace YmEntities
namespace JobManager {
class JobListResponse;
}  // namespace JobManager
namespace DM2ContentIndexing {
class IndexAutoscaleOption;
}  // namespace DM2ContentIndexing
namespace App {
class UpdateSchedule;
}  // namespace App

class EVTASK_EXPORT EvTask : public virtual TmTaskOptions,
                             public virtual OptionCallBack,
                             public virtual TmTaskFiles,
                             public virtual FileCallBack {
 public:
  // idKind: 0 the id is a job id (nothing is fetched now); 2 a task id;
  // 1 a subtask id; any other value a job id resolved at once into its task
  // and subtask. For kinds other than 0 the task row, subtask row and
  // entities are fetched now. An id of 0 fetches nothing and marks the option
  // cache loaded (there is nothing stored to load). `flag` is carried in the
  // record as its creation flag.
  EvTask(unsigned long long id, int idKind, void* event, bool flag);
  // Copies the record, the option cache, the error state, the platform type,
  // the flags and the id; the copy's file cache starts empty and unloaded.
  EvTask(const EvTask& other);
  // Not assignable: the path cursors point into this object's own lists,
  // and an assigned copy would carry cursors into another task's lists.
  EvTask& operator=(const EvTask&) = delete;

  // Service delivery of options, default options and file entries: each
  // appends the record to its cache and returns 0.
  int getOptionsCallback(unsigned long long optionId, std::string value, unsigned long type) override;
  int getDefaultsCallback(unsigned long long optionId, std::string value, unsigned long type) override;
  // A new service interface owned by the caller, or null with the error
  // state set to YM_GET_INTERFACE_FAILED. Refreshes platformType.
  virtual TaskInterface* getTaskInterface();
  int getFilesCallback(unsigned long long optionId, std::string value, unsigned long type) override;
  // Fields of the cached task row; these never contact the service.
  virtual unsigned long getTaskFlags();
  virtual unsigned long getTaskStatus();
  // The service's default task id; it also replaces the cached task row's
  // taskId.
  virtual int getDefaultTaskId(long& id, void* event);
  virtual std::string getJobDescription();
  // True when bit 7 (0x80) of the task row's flags is set.
  virtual bool isDefaultTaskId();
  // Legacy option identifiers: fixed translation tables; 0 or the empty text
  // on a miss.
  virtual unsigned long long itemToOptionId(unsigned long item);
  virtual unsigned long long nameToOptionId(std::string name, bool db);
  virtual unsigned long long bitToOptionId(unsigned long long value, bool extended);
  virtual const char* optionIdToName(unsigned long long optionId, bool db);
  // Writes the cached task row, subtask row and entity list back, in that
  // order, stopping at the first failure. Options and files are not written.
  virtual int saveChanges();
  virtual int setExtendedOptions(std::string text);
  // Resolves the record's jobId into its taskId and subTaskId.
  virtual int getJobInfo(void* event);
  // Refresh the cached row; on success `row` receives a copy.
  virtual int getTaskInfo(Sched_Task& row, void* event);
  virtual int getSubTaskInfo(Sched_SubTask& row, void* event);
  // Send the cached row; `row` itself is neither stored nor sent.
  virtual int setTaskInfo(Sched_Task row, void* event);
  virtual int setSubTaskInfo(Sched_SubTask row, void* event);
  // Appends `list` to the cached entities, then sends the complete list.
  // Nothing is appended when no interface can be obtained.
  virtual int setEntityInfo(std::vector<Sched_AssocEntity> list, void* event);
  // Releases the record, caches and texts; sends nothing.
  ~EvTask() override;
  // Identity values held as options of the task. The getters ignore read
  // failures and return 0 then; the setters return the write's result.
  virtual unsigned long getSubTaskType();
  virtual unsigned long getTaskType();
  virtual unsigned long getOperationType();
  virtual long long getSequenceNumber();
  virtual int setSequenceNumber(long long value);
  virtual long getUserId();
  virtual int setUserId(long value);
  virtual long getAlertId();
  virtual int setAlertId(long value);
  virtual long getOwnerId();
  virtual int setOwnerId(long value);
  virtual long getLocaleId();
  virtual int setLocaleId(long value);
  // Both read the same option.
  virtual int getScheduleId();
  virtual int getTaskId();
  virtual unsigned long long getId();
  // Looks the task up once; later calls send nothing and return 0.
  virtual int lookup(void* event);
  // Writes the record back. A task never looked up is not written (two log
  // lines, result 0). On the central server platform (bit 0 of the platform
  // type) a successful update makes the next lookup fetch again.
  virtual int update(void* event);

  // Typed option access. Scalar get: the task's option, else the default
  // option of the same id, else the kind's empty value (0, false, empty
  // text), with result 0; other load failures are returned and `value` is
  // left alone. Scalar set: one write; on success the cache holds the new
  // text. List get: every task record of the id, appended in stored order
  // (no default fall-back). List set: one write carrying the new values.
  virtual int getOptionString(unsigned long long optionId, std::string& value, void* event);
  virtual int setOptionString(unsigned long long optionId, std::string value, void* event);
  virtual int getOptionString(unsigned long long optionId, std::list<std::string>& values, void* event);
  virtual int setOptionString(unsigned long long optionId, std::list<std::string> values, void* event);
  virtual int getOptionShort(unsigned long long optionId, short& value, void* event);
  virtual int setOptionShort(unsigned long long optionId, short value, void* event);
  virtual int getOptionShort(unsigned long long optionId, std::list<short>& values, void* event);
  virtual int setOptionShort(unsigned long long optionId, std::list<short> values, void* event);
  virtual int getOptionUShort(unsigned long long optionId, unsigned short& value, void* event);
  virtual int setOptionUShort(unsigned long long optionId, unsigned short value, void* event);
  virtual int getOptionUShort(unsigned long long optionId, std::list<unsigned short>& values, void* event);
  virtual int setOptionUShort(unsigned long long optionId, std::list<unsigned short> values, void* event);
  virtual int getOptionInt(unsigned long long optionId, int& value, void* event);
  virtual int setOptionInt(unsigned long long optionId, int value, void* event);
  virtual int getOptionInt(unsigned long long optionId, std::list<int>& values, void* event);
  virtual int setOptionInt(unsigned long long optionId, std::list<int> values, void* event);
  virtual int getOptionUInt(unsigned long long optionId, unsigned int& value, void* event);
  virtual int setOptionUInt(unsigned long long optionId, unsigned int value, void* event);
  virtual int getOptionUInt(unsigned long long optionId, std::list<unsigned int>& values, void* event);
  virtual int setOptionUInt(unsigned long long optionId, std::list<unsigned int> values, void* event);
  virtual int getOptionLong(unsigned long long optionId, long& value, void* event);
  virtual int setOptionLong(unsigned long long optionId, long value, void* event);
  virtual int getOptionLong(unsigned long long optionId, std::list<long>& values, void* event);
  virtual int setOptionLong(unsigned long long optionId, std::list<long> values, void* event);
  virtual int getOptionULong(unsigned long long optionId, unsigned long& value, void* event);
  virtual int setOptionULong(unsigned long long optionId, unsigned long value, void* event);
  virtual int getOptionULong(unsigned long long optionId, std::list<unsigned long>& values, void* event);
  virtual int setOptionULong(unsigned long long optionId, std::list<unsigned long> values, void* event);
  virtual int getOptionLongLong(unsigned long long optionId, long long& value, void* event);
  virtual int setOptionLongLong(unsigned long long optionId, long long value, void* event);
  virtual int getOptionLongLong(unsigned long long optionId, std::list<long long>& values, void* event);
  virtual int setOptionLongLong(unsigned long long optionId, std::list<long long> values, void* event);
  virtual int getOptionULongLong(unsigned long long optionId, unsigned long long& value, void* event);
  virtual int setOptionULongLong(unsigned long long optionId, unsigned long long value, void* event);
  virtual int getOptionULongLong(unsigned long long optionId, std::list<unsigned long long>& values, void* event);
  virtual int setOptionULongLong(unsigned long long optionId, std::list<unsigned long long> values, void* event);
  virtual int getOptionBool(unsigned long long optionId, bool& value, void* event);
  virtual int setOptionBool(unsigned long long optionId, bool value, void* event);
  virtual int getOptionBool(unsigned long long optionId, std::list<bool>& values, void* event);
  virtual int setOptionBool(unsigned long long optionId, std::list<bool> values, void* event);

  // The sequence number: the cached value when non-zero, else a read with
  // `event`.
  virtual int getSeqNumber(long long& value, void* event);
  virtual int setSeqNumber(long long value, void* event);
  // Legacy option texts and bits.
  virtual int getXMLOptions(std::string& xml, void* event);
  virtual int getBitOptions(int kind, unsigned long long& bits, void* event);
  virtual int isBitOptionSet(int kind, unsigned long long mask, bool& isSet, void* event);
  virtual int getExtendedOptions(int kind, std::string& text, void* event);
  virtual int isExtOptionSet(int kind, int position, bool& isSet, void* event);
  // Catalogue queries: the service appends to `jobs`.
  virtual int getJobListFromTaskId(std::list<unsigned long long>& jobs, void* event);
  virtual int getJobIdsFromBkpStats(std::list<unsigned long long>& jobs, std::string text, bool flag, int number,
                                    void* event);
  // Entity ids held as options; each returns the typed accessor's result.
  virtual int getClientId(unsigned long& value, void* event);
  virtual int setClientId(unsigned long value, void* event);
  virtual int getAppTypeId(unsigned long& value, void* event);
  virtual int setAppTypeId(unsigned long value, void* event);
  virtual int getInstanceId(unsigned long& value, void* event);
  virtual int setInstanceId(unsigned long value, void* event);
  virtual int getBackupSetId(unsigned long& value, void* event);
  virtual int setBackupSetId(unsigned long value, void* event);
  virtual int getSubClientId(unsigned long& value, void* event);
  virtual int setSubClientId(unsigned long value, void* event);
  virtual int getPolicyId(unsigned long& value, void* event);
  virtual int setPolicyId(unsigned long value, void* event);
  virtual int getCopyId(unsigned long& value, void* event);
  virtual int setCopyId(unsigned long value, void* event);
  virtual int getTrackingPolicyId(unsigned long& value, void* event);
  virtual int getAgentlessPolicyId(unsigned long& value, void* event);
  // Task creation and other task-manager XML requests.
  virtual int CreateTask(std::string& xml, std::list<long long>& jobIds, int& taskId, int userId,
                         std::string& errorText, int localeId, long long sequenceNumber, bool endUser, bool flag);
  virtual int TaskRequest(std::string& xml, std::list<long long>& jobIds, int& taskId, int userId,
                          std::string& errorText, unsigned long requestKind, int localeId, long long sequenceNumber,
                          bool flag, bool endUser);
  // Whole-set option and file operations; loads run once until the loaded
  // flag is cleared. After a successful write on the central server platform
  // the loaded flag is cleared so that the next read loads again; elsewhere
  // a loaded cache is brought up to date in place.
  int initOptions(void* event) override;
  virtual int getOptions(TaskOptionList& out, void* event);
  int setOptions(TaskOptionList options, void* event) override;
  int removeOptions(TaskOptionList options, void* event) override;
  int removeOptions(std::vector<unsigned long long> optionIds, void* event) override;
  // Loads the process-wide defaults once, under the default-load lock.
  int initDefaults(void* event) override;
  int initFiles(void* event) override;
  // Before the files are loaded this loads them (asking for `fileType`) and
  // returns every entry; afterwards only entries of `fileType` (all for 0).
  virtual int getFiles(TaskFileList& out, int fileType, void* event);
  int setFiles(TaskFileList files, void* event) override;
  int removeFiles(TaskFileList files, void* event) override;
  int removeFiles(std::vector<std::string> names, void* event) override;
  // The job request of the job this task was constructed for (the low 32
  // bits of the id); 0 on any failure.
  virtual int getJobRequestIdFromJobId(long long& requestId, void* event);
  // Pre/post command options, packed two by two.
  virtual int getPreCommand(RestoreTaskOptionsItem& item, void* event);
  virtual int setPreCommand(const RestoreTaskOptionsItem* item, void* event);
  virtual int getPostCommand(RestoreTaskOptionsItem& item, void* event);
  virtual int setPostCommand(const RestoreTaskOptionsItem* item, void* event);
  virtual int getPrePostUserName(RestoreTaskOptionsItem& item, void* event);
  virtual int getPrePostPassWord(RestoreTaskOptionsItem& item, void* event);
  virtual int setPrePostUserName(const RestoreTaskOptionsItem* item, void* event);
  virtual int setPrePostPassWord(const RestoreTaskOptionsItem* item, void* event);
  // Running tasks and automatic schedules.
  virtual int getAutomaticSchedulePattern(unsigned long subTaskId, std::string& patternXml, void* event);
  virtual int runTask(unsigned long taskId, unsigned long subTaskId, std::list<long long>& jobIds,
                      std::string& errorText, int userId, int localeId, long long sequenceNumber, bool endUser,
                      void* event);
  virtual int runTasks(std::vector<Sched_SubTask>& subTasks, std::list<long long>& jobIds, std::string& errorText,
                       int userId, int localeId, long long sequenceNumber, bool endUser, void* event);
  virtual int performOperation(std::vector<_AutomaticTaskInfo>& tasks, std::list<long long>& jobIds,
                               std::string& errorText, int operationType, int initFrom, int userId, int localeId,
                               long long sequenceNumber, bool endUser, void* event);
  virtual unsigned long long getOriginalJobId();

  // --- non-virtual operations ---

  // errorCode = 0, errorString empty.
  void clearErrors();
  std::string& getErrorString();
  // Makes the next extended option read fetch the text again.
  void clearBitInitialized();

  // Empties the cached entities (once an interface is obtained) and fetches
  // them; on success `list` receives a copy.
  int getEntityInfo(std::vector<Sched_AssocEntity>& list, void* event);
  // The first entity, fetching the list only when none is cached; 100
  // (YM_DB_NODATA) when the task has none, leaving `entity` unchanged.
  int getEntityInfo(Sched_AssocEntity& entity, void* event);
  // Empties the cached patterns and fetches those of the first entity.
  int getPatternInfo(std::vector<Sched_Pattern>& list, void* event);
  // Adds one entity through setEntityInfo.
  int setEnityToTask(Sched_AssocEntity& entity, void* event);
  // Adds an entity whose only non-zero field is clientId.
  int addClientToTask(int clientId, void* event);
  // The work of setOptions, without copying the list.
  int setOptionsByRef(const TaskOptionList& options, void* event);
  int getUserDependentJobId(unsigned long long& value, void* event);
  // Sorts file entries into the record's path lists by file type.
  void buildFileList(TaskFileList files, void* event);

  // --- task creation (schedule/EvTaskCreation.cpp) ---
  // Builds one task-creation request (task element, associations, one
  // subtask with options and, unless taskType is 1, the pattern), sends it
  // with CreateTask and reads the reply. Pointer arguments stay the
  // caller's; null means not supplied. Returns 0, YM_XML_INIT_FAILED, the
  // serialiser's or the service's code, the code of a refusal
  // (TMMsg::GenericResp) with its message in errorText, or a YM_XML_* code
  // when the reply text is missing, malformed or of another class; on a
  // failure jobIds is left as it was. _createScheduleJob also yields the
  // new task id.
  int createScheduleJob(TMMsg::SubTaskType subTaskType, TMMsg::TaskOperationType operationType,
                        std::list<long long>& jobIds, std::string& errorText, unsigned long userId,
                        std::vector<YmEntities::GenericEntity>* associations, TMMsg::Pattern* pattern,
                        TMMsg::JobOption* options, unsigned long localeId, long long sequenceNumber, bool endUser,
                        TMMsg::TaskType taskType, std::string subTaskName, std::string description);
  int _createScheduleJob(int& taskId, TMMsg::SubTaskType subTaskType, TMMsg::TaskOperationType operationType,
                         std::list<long long>& jobIds, std::string& errorText, unsigned long userId,
                         std::vector<YmEntities::GenericEntity>* associations, TMMsg::Pattern* pattern,
                         TMMsg::JobOption* options, unsigned long localeId, long long sequenceNumber, bool endUser,
                         TMMsg::TaskType taskType, std::string subTaskName, std::string description);

  // --- automatic schedule builders (schedule/EvTaskScheduleBuilders.cpp) ---
  int createAutoScheduleForSendLogFiles(int& taskId, unsigned long userId, TMMsg::JobOption* options,
                                        std::string& errorText, int localeId, TMMsg::Pattern* pattern);
  bool createAutoScheduleForAuxCopy(unsigned long userId, int storagePolicyId, int copyId,
                                    TMMsg::AuxcopyOption* auxOptions);
  bool createEDCSchedule(unsigned long userId, int clientId, int instanceId, int instanceType, int backupSetId,
                         int subclientId, bool runNow);
  int createEZBackupSchedule(unsigned long userId, int appTypeId, int clientId, std::string scheduleName,
                             std::string description);
  bool CreateUpdateSchedule(App::UpdateSchedule schedule, int clientId, bool isFtp, int localeId, int userId);
  bool CreateUpdateJob(std::vector<int>& clientIds, std::vector<int>& clientGroupIds, int updateValue,
                       bool firstFlag, bool secondFlag, int localeId, int userId);

  // --- immediate jobs (schedule/EvTaskJobSubmission.cpp, EvTaskIndexScale.cpp) ---
  bool startSyntheticFullJob(unsigned long userId, int subclientId, bool runIncrementalBefore);
  bool startAutoInventoryJob(unsigned long userId, const InventoryJobParams* params);
  bool startDedupDBSyncJob(unsigned long userId, int sidbStoreId, int storagePolicyId, int copyId,
                           std::vector<int>* subStoreIds, int maxNumberOfStreams, int inReserve2, int inReserve3);
  bool startMovePartitionJob(unsigned long userId, DDBMoveInputParams params, int flags, bool isConfigOnly);
  bool startIndexScaleJob(unsigned long userId, DM2ContentIndexing::IndexAutoscaleOption& option,
                          _IndexScaleInputParams params, std::list<long long>& jobIds);

  // --- running tasks and automatic schedules (schedule/EvTaskRunning.cpp) ---
  int runTaskForClient(int clientId, unsigned long taskId, unsigned long subTaskId, std::list<long long>& jobIds,
                       std::string& errorText, int initFrom, int userId, int localeId, long long sequenceNumber,
                       bool endUser, void* event);
  int runTaskForEntity(const Sched_AssocEntity& entity, unsigned long taskId, unsigned long subTaskId,
                       std::list<long long>& jobIds, std::string& errorText, int initFrom, int userId, int localeId,
                       long long sequenceNumber, bool endUser, void* event);
  // Appends one _AutomaticTaskInfo per listed task; on any failure `result`
  // is left as it was.
  int getSchedulesInfoForEntity(Sched_AssocEntity& entity, std::vector<_AutomaticTaskInfo>& result,
                                std::string& errorText, bool ignoreDisabled, bool automaticOnly,
                                std::vector<TMMsg::TaskOperationType>* operationTypes, int userId, int localeId,
                                long long sequenceNumber, bool endUser, void* event);
  int getAutomaticSchedules(int clientId, std::vector<_AutomaticTaskInfo>& result, std::string& errorText,
                            bool ignoreDisabled, int userId, int localeId, long long sequenceNumber, bool endUser,
                            void* event);
  int getUpdateSchedules(int clientId, std::vector<_AutomaticTaskInfo>& result, std::string& errorText,
                         bool ignoreDisabled, int userId, int localeId, long long sequenceNumber, bool endUser,
                         void* event);
  int getSmartScheduleFrequency(unsigned long clientId, unsigned long& frequency, void* event);
  int getScheduleStartTimeForNotCompletedJob(unsigned long clientId, unsigned long& startTime, void* event);

  // --- job tracking and cleanup (schedule/EvTaskJobTracking.cpp) ---
  // Polls sleep through YmSleep (platform/YmClock.h), 30 s each.
  bool GetJobSummary(std::vector<long long>& jobIds, JobManager::JobListResponse& response);
  bool WaitForJobToComplete(long long jobId, bool& success, std::string& jobStatus, std::string& statusDetail);
  int TriggerJobforSubtask(YmEntities::SubtaskEntity subtask, std::string& errorText, bool& success,
                           std::string& jobStatus, std::string& statusDetail);
  bool CreateTaskforSweep(int subclientId, int appTypeId, int createdTaskId, int reserved, int sweepValue,
                          std::list<long long>& jobIds, std::string& errorText);
  int deleteTaskReq(std::string taskId, EvEvent& log, std::string& errorText);
  int CleanupWIASchedules(std::string& errorText);
  int getEntitiesFromRequest(int& jobRequestId, std::vector<int>& subclientIds, void* event);

 protected:
  int errorCode;
  std::string errorString;
  unsigned long platformType;
  bool initialized;
  bool xmlOptionsInitialized;
  bool extOptionsInitialized;
  _TaskInfo taskInfo;
  unsigned long long id;
  // Path iteration of the restore task: current and end position in one of
  // the record's path lists; value-initialised (null) until positioned.
  TaskFileList::iterator pathIterator;
  TaskFileList::iterator pathIteratorEnd;

 private:
  // Shared steps of the typed option accessors (EvTaskOptions.cpp).
  struct OptionAccess;
  friend struct OptionAccess;
  // Cache upkeep after a successful write or removal.
  void afterOptionWrite(const TaskOptionList& written);
  void afterOptionRemoval(const std::vector<unsigned long long>& optionIds);
  void afterFileWrite(const TaskFileList& written);
  void afterFileRemoval(const std::vector<std::string>& names);
};

#endif  // EVTASK_TASK_EVTASK_H
