// Input records of the immediate jobs (library inventory, partition move,
// index scale). Plain values; copying copies every field.
#ifndef EVTASK_SCHEDULE_SCHEDULERECORDS_H
#define EVTASK_SCHEDULE_SCHEDULERECORDS_H

#include <string>

#include "evtask/export.h"

struct EVTASK_EXPORT InventoryJobParams {
  int inventoryType = 0;
  int libraryId = 0;
};

struct EVTASK_EXPORT DDBMoveInputParams {
  int storeId = 0;
  int subStoreId = 0;
  int sourceMediaAgentId = 0;
  int destinationMediaAgentId = 0;
  std::string sourcePath;
  std::string targetPath;
};

struct EVTASK_EXPORT _IndexScaleInputParams {
  std::string sourceClientDisplayName;
  std::string destinationClientDisplayName;
  unsigned long appTypeId = 0;
  std::string appTypeName;
  unsigned long backupSetId = 0;
  std::string backupSetName;
  unsigned long instanceId = 0;
  std::string instanceName;
  unsigned long subclientId = 0;
  std::string subclientName;
};

// Whether a job status text is final; the text is compared without regard to
// case. For a final status, `success` tells whether it counts as success;
// otherwise `success` is false and the job is still running.
EVTASK_EXPORT bool isFinalJobStatus(const std::string& status, bool& success);

#endif  // EVTASK_SCHEDULE_SCHEDULERECORDS_H
