// EvTask: automatic schedule builders (send log files, auxiliary copy, EDC,
// easy backup, software download and installation).
#include <ctime>

#include "platform/EvDebug.h"
#include "platform/YmClock.h"
#include "platform/YmErrors.h"
#include "schedule/ScheduleInternal.h"
#include "task/EvTask.h"

using namespace evtask::sched;

namespace {

// The current UTC calendar date at local midnight.
long long utcDateAtLocalMidnight() {
  const time_t now = YmClock::current()->now();
  struct tm t {};
  gmtime_r(&now, &t);
  t.tm_hour = 0;
  t.tm_min = 0;
  t.tm_sec = 0;
  t.tm_isdst = -1;
  return static_cast<long long>(mktime(&t));
}

// Tags 24 and 26 of a pattern: elements 18/45 (1000) and 18/51 (1).
void setPatternLimits(CNMessageBase& pattern, bool withTag26) {
  seti(child(pattern, 24, 18, 45), 0, 1000);
  if (withTag26) seti(child(pattern, 26, 18, 51), 0, 1);
}

void dailyPattern(TMMsg::Pattern& p, long long startTime, long long repeat, bool withRepeat) {
  seti(p, 7, 4);
  seti(p, 9, 1);
  seti(p, 11, 1);
  seti(p, 16, utcDateAtLocalMidnight());
  seti(p, 17, startTime);
  if (withRepeat) seti(p, 12, repeat);
  seti(p, 19, 86341);
  setPatternLimits(p, true);
}

// A weekly pattern on the days of `dayMask`; flag tag n + 1 marks bit n.
void weeklyPattern(TMMsg::Pattern& p, int dayMask) {
  seti(p, 7, 8);
  CNMessageBase& days = child(p, 8, TMMsg::kWeekdayFlagsClass);
  for (int bit = 0; bit < 7; ++bit) {
    if (dayMask & (1 << bit)) seti(days, static_cast<uint16_t>(bit + 1), 1);
  }
  seti(p, 9, dayMask);
  seti(p, 11, 1);
  seti(p, 12, 0);
  seti(p, 16, utcDateAtLocalMidnight());
  seti(p, 17, 28800);
  seti(p, 19, 0);
  setPatternLimits(p, true);
}

}  // namespace

int EvTask::createAutoScheduleForSendLogFiles(int& taskId, unsigned long userId, TMMsg::JobOption* options,
                                              std::string& errorText, int localeId, TMMsg::Pattern* pattern) {
  static const char* const kName = "createAutoScheduleForSendLogFiles";
  EvEvent ev(kName);
  // The pattern names the subtask; without one there is nothing to schedule.
  if (pattern == nullptr) {
    errorText = "No schedule pattern supplied";
    EvDebug::Error(kName, "Failed to create send log files schedule");
    return -1;
  }
  std::string name;
  pattern->getstring(2, 0, name);
  std::list<long long> jobIds;
  std::vector<YmEntities::GenericEntity> none;
  const int rc = _createScheduleJob(taskId, TMMsg::SUBTASK_ADMIN, TMMsg::OP_SEND_LOG_FILES, jobIds, errorText, userId,
                                    &none, pattern, options, static_cast<unsigned long>(localeId), 0, false,
                                    TMMsg::TASK_SCHEDULE, name, "");
  if (rc == 0) {
    EvDebug::Debug(kName, "Successfully created send log files schedule");
    return 0;
  }
  EvDebug::Error(kName, "Failed to create send log files schedule");
  return -1;
}

bool EvTask::createAutoScheduleForAuxCopy(unsigned long userId, int storagePolicyId, int copyId,
                                          TMMsg::AuxcopyOption* auxOptions) {
  static const char* const kName = "EvTask::createAutoScheduleForAuxCopy";
  EvEvent ev(kName);
  EvDebug::Debug(kName, "Called with parameters UserID [%lu],storagePolicyID : [%d] and Copy ID : [%d]", userId,
                 storagePolicyId, copyId);
  if (storagePolicyId == 0) {
    EvDebug::Error(kName, " Error. Storage Policy ID : [0] passed");
    return false;
  }
  TMMsg::JobOption options;
  // The caller's options are changed in place and then attached.
  CNMessageBase& aux = auxOptions != nullptr
                           ? static_cast<CNMessageBase&>(*auxOptions)
                           : child(child(child(options, 1, TMMsg::kCommonOptionsClass), 5, 62), 8,
                                   TMMsg::AuxcopyOption::kClass);
  YmEntities::GenericEntity entity;
  seti(entity, 0, 0);
  seti(entity, 105, storagePolicyId);
  if (copyId != 0) {
    seti(entity, 100, copyId);
    seti(aux, 4, 0);
  }
  seti(aux, 7, 1);
  if (auxOptions != nullptr) {
    child(child(options, 1, TMMsg::kCommonOptionsClass), 5, 62).setObjectAccessor(8, 0, *auxOptions);
  }
  std::vector<YmEntities::GenericEntity> assoc{entity};
  TMMsg::Pattern pattern;
  dailyPattern(pattern, 0, 1800, true);
  std::list<long long> jobIds;
  const int rc = createScheduleJob(TMMsg::SUBTASK_ADMIN, TMMsg::OP_AUX_COPY, jobIds, errorString, userId, &assoc,
                                   &pattern, &options, 0, 0, false, TMMsg::TASK_SCHEDULE, "", "");
  if (rc == 0) {
    EvDebug::Debug(kName, "Successfully created auto aux copy schedule");
    return true;
  }
  EvDebug::Error(kName, "Failed to create auto aux copy schedule");
  return false;
}

bool EvTask::createEDCSchedule(unsigned long userId, int clientId, int instanceId, int instanceType, int backupSetId,
                               int subclientId, bool runNow) {
  static const char* const kName = "EvTask::createEDCSchedule";
  EvEvent ev(kName);
  EvDebug::Debug(kName,
                 "Called with parameters UserID[%lu], clientId[%d], instanceId[%d], instanceType[%d], "
                 "backupSetId[%d], subclientId[%d]",
                 userId, clientId, instanceId, instanceType, backupSetId, subclientId);
  if (clientId == 0) {
    EvDebug::Error(kName, " Error. Client ID : [0] passed");
    return false;
  }
  if (instanceId == 0) {
    EvDebug::Error(kName, " Error. Instance ID : [0] passed");
    return false;
  }
  YmEntities::GenericEntity entity;
  seti(entity, 0, 0);
  seti(entity, 47, clientId);
  seti(entity, 38, 127);
  seti(entity, 29, instanceId);
  seti(entity, 20, backupSetId);
  seti(entity, 11, subclientId);
  std::vector<YmEntities::GenericEntity> assoc{entity};
  TMMsg::Pattern pattern;
  dailyPattern(pattern, 72000, 0, false);
  TMMsg::JobOption options;
  CNMessageBase& edc = child(options, 8, 213);
  seti(edc, 11, 1);
  seti(edc, 10, 1);
  seti(edc, 1, 1);
  seti(edc, 8, instanceType);
  std::list<long long> jobIds;
  const int rc = createScheduleJob(TMMsg::SUBTASK_ADMIN, TMMsg::OP_EDC, jobIds, errorString, userId, &assoc, &pattern,
                                   &options, 0, 0, false, runNow ? TMMsg::TASK_IMMEDIATE : TMMsg::TASK_SCHEDULE, "",
                                   "");
  if (rc == 0) {
    EvDebug::Debug(kName, "Successfully created EDC schedule");
    return true;
  }
  EvDebug::Error(kName, "Failed to create EDC schedule");
  return false;
}

int EvTask::createEZBackupSchedule(unsigned long userId, int appTypeId, int clientId, std::string scheduleName,
                                   std::string description) {
  static const char* const kName = "EvTask::createEZBackupSchedule";
  EvEvent ev(kName);
  EvDebug::Debug(kName,
                 "Called with parameters UserID [%lu], appTypeId : [%d] and Client ID : [%d], Schedule Name : [%s], "
                 "Description : [%s]",
                 userId, appTypeId, clientId, scheduleName.c_str(), description.c_str());
  if (appTypeId == 0) {
    EvDebug::Error(kName, " Error. AppType ID : [0] passed");
    return YM_DB_NODATA;
  }
  if (clientId == 0) {
    EvDebug::Error(kName, " Error. clientId ID : [0] passed");
    return YM_DB_NODATA;
  }
  registerScheduleMessageClasses();
  YmEntities::GenericEntity entity;
  seti(entity, 0, 0);
  seti(entity, 47, clientId);
  seti(entity, 38, appTypeId);

  TMMsg::TaskInfo info;
  CNMessageBase& task = child(info, 1, TMMsg::Task::kClass);
  seti(child(task, 6, TMMsg::TaskFlags::kClass), 7, 1);
  seti(task, 8, TMMsg::TASK_EZ_BACKUP_SCHEDULE);
  seti(task, 10, static_cast<long long>(userId));
  seti(task, 12, 3);
  task.setstring(14, 0, description);
  task.setstring(2, 0, scheduleName);
  info.setlistobject(3, 0, std::vector<YmEntities::GenericEntity>{entity});

  const struct {
    int commonValue;
    int dayMask;
  } kSubTasks[] = {{2, 30}, {1, 32}};
  for (const auto& s : kSubTasks) {
    TMMsg::SubTaskInfo sub;
    CNMessageBase& element = child(sub, 1, TMMsg::SubTask::kClass);
    seti(element, 6, TMMsg::SUBTASK_BACKUP);
    seti(element, 7, TMMsg::OP_BACKUP);
    TMMsg::JobOption options;
    seti(child(options, 1, TMMsg::kCommonOptionsClass), 1, s.commonValue);
    TMMsg::Pattern pattern;
    weeklyPattern(pattern, s.dayMask);
    sub.setObjectAccessor(3, 0, pattern);
    sub.setObjectAccessor(4, 0, options);
    info.appendlistobject(5, 0, sub);
  }
  TMMsg::CreateTaskReq request;
  request.setObjectAccessor(2, 0, info);

  if (CNMessageBase::Initialize() != 0) {
    errorString = YM_XML_INIT_FAILED_TEXT;
    EvDebug::Error(kName, "Failed to Initialize taskReq object. Error: %d", YM_XML_INIT_FAILED);
    return YM_XML_INIT_FAILED;
  }
  std::string xml;
  int rc = request.serialize(xml, false);
  if (rc != 0) {
    EvDebug::Error(kName, "Failed to serialize task object. Error: %d", rc);
    return rc;
  }
  EvDebug::Debug(kName, "Submitting Create Task Request. \n Request : [%s]", xml.c_str());
  std::list<long long> jobIds;
  std::string localError;
  int taskId = 0;
  rc = CreateTask(xml, jobIds, taskId, static_cast<int>(userId), localError, 0, 0, false, false);
  if (rc != 0) EvDebug::Debug(kName, "Failed to create task.\nResponse :[%s]", localError.c_str());
  return rc;
}

bool EvTask::CreateUpdateSchedule(App::UpdateSchedule schedule, int clientId, bool isFtp, int localeId, int userId) {
  static const char* const kName = "EvTask::CreateUpdateSchedule";
  EvEvent ev(kName);
  const TMMsg::TaskOperationType op = isFtp ? TMMsg::OP_DOWNLOAD_SOFTWARE : TMMsg::OP_INSTALL_SOFTWARE;
  const long long dayOfWeek = geti(schedule, 1);
  const long long firstRun = geti(schedule, 2);
  EvDebug::Debug(kName,
                 "Called with parameters clientId[%d], getDayOfWeek[%d], getDateAndTime[%lu], isFtp[%d], "
                 "inLocaleId[%d], inUserId[%d]",
                 clientId, static_cast<int>(dayOfWeek), static_cast<unsigned long>(firstRun), isFtp ? 1 : 0,
                 localeId, userId);
  YmEntities::GenericEntity entity;
  seti(entity, 0, 3);
  seti(entity, 47, clientId);
  std::vector<YmEntities::GenericEntity> assoc{entity};

  TMMsg::Pattern pattern;
  const time_t first = static_cast<time_t>(firstRun);
  struct tm t {};
  localtime_r(&first, &t);
  seti(pattern, 17, t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec);
  t.tm_hour = 0;
  t.tm_min = 0;
  t.tm_sec = 0;
  t.tm_isdst = -1;
  seti(pattern, 16, static_cast<long long>(mktime(&t)));
  if (dayOfWeek < 1) {
    seti(pattern, 7, 1);
  } else {
    seti(pattern, 7, 8);
    seti(pattern, 9, dayOfWeek);
  }
  setPatternLimits(pattern, false);

  TMMsg::JobOption options;
  if (!isFtp) {
    CNMessageBase& update = child(child(options, 3, TMMsg::kUpdateOptionsClass), 3, 374);
    seti(update, 34, 1);
    seti(update, 35, 1);
  }
  std::list<long long> jobIds;
  const int rc = createScheduleJob(TMMsg::SUBTASK_ADMIN, op, jobIds, errorString, static_cast<unsigned long>(userId),
                                   &assoc, &pattern, &options, static_cast<unsigned long>(localeId), 0, false,
                                   TMMsg::TASK_SCHEDULE, "", "");
  if (rc == 0) {
    EvDebug::Debug(kName, isFtp ? "Successfully created download scheduled for clientId [%d]"
                                : "Successfully created installation scheduled for clientId [%d]",
                   clientId);
    return true;
  }
  EvDebug::Debug(kName, isFtp ? "Failed to created download scheduled for clientId [%d]"
                              : "Failed to created installation scheduled for clientId [%d]",
                 clientId);
  return false;
}

bool EvTask::CreateUpdateJob(std::vector<int>& clientIds, std::vector<int>& clientGroupIds, int updateValue,
                             bool firstFlag, bool secondFlag, int localeId, int userId) {
  static const char* const kName = "EvTask::CreateUpdateJob";
  EvEvent ev(kName);
  TMMsg::JobOption options;
  CNMessageBase& update = child(child(options, 3, TMMsg::kUpdateOptionsClass), 3, 374);
  seti(update, 8, updateValue);
  seti(update, 2, firstFlag ? 1 : 0);
  seti(update, 3, secondFlag ? 1 : 0);
  seti(child(update, 7, 99), 1, 1);
  seti(update, 34, 1);
  seti(update, 35, 1);
  std::vector<YmEntities::GenericEntity> targets;
  for (int id : clientIds) {
    targets.emplace_back();
    seti(targets.back(), 47, id);
  }
  for (int id : clientGroupIds) {
    targets.emplace_back();
    seti(targets.back(), 73, id);
  }
  update.setlistobject(27, 0, targets);
  std::vector<YmEntities::GenericEntity> none;
  TMMsg::Pattern unsent;
  std::list<long long> jobIds;
  const int rc = createScheduleJob(TMMsg::SUBTASK_ADMIN, TMMsg::OP_INSTALL_SOFTWARE, jobIds, errorString,
                                   static_cast<unsigned long>(userId), &none, &unsent, &options,
                                   static_cast<unsigned long>(localeId), 0, false, TMMsg::TASK_IMMEDIATE, "", "");
  EvDebug::Debug(kName, rc == 0 ? "Successfully created installation job" : "Failed to created installation job");
  return rc == 0;
}
