// EvTask: immediate jobs (synthetic full, library inventory, deduplication
// database reconstruction, partition move).
#include "platform/EvDebug.h"
#include "schedule/ScheduleInternal.h"
#include "schedule/ScheduleRecords.h"
#include "task/EvTask.h"

using namespace evtask::sched;

namespace {

// The media options element: job options tag 3, then tag 10.
CNMessageBase& mediaOptions(TMMsg::JobOption& options) {
  return child(child(options, 3, TMMsg::kUpdateOptionsClass), 10, 192);
}

}  // namespace

bool EvTask::startSyntheticFullJob(unsigned long userId, int subclientId, bool runIncrementalBefore) {
  static const char* const kName = "bool EvTask::startSyntheticFullJob(long unsigned int, int, bool)";
  EvEvent ev(kName);
  EvDebug::Debug(kName, "Called with parameters userID [%lu], subclientId : [%d] and Run Incremental before: [%s]",
                 userId, subclientId, runIncrementalBefore ? "true" : "false");
  YmEntities::GenericEntity entity;
  seti(entity, 0, 7);
  seti(entity, 11, subclientId);
  std::vector<YmEntities::GenericEntity> assoc{entity};
  TMMsg::JobOption options;
  CNMessageBase& common = child(options, 1, TMMsg::kCommonOptionsClass);
  seti(common, 1, 4);
  if (runIncrementalBefore) {
    seti(common, 16, 1);
    seti(common, 17, 1);
  } else {
    seti(common, 16, 0);
  }
  TMMsg::Pattern pattern;
  std::list<long long> jobIds;
  const int rc = createScheduleJob(TMMsg::SUBTASK_BACKUP, TMMsg::OP_BACKUP, jobIds, errorString, userId, &assoc,
                                   &pattern, &options, 0, 0, false, TMMsg::TASK_IMMEDIATE, "", "");
  if (rc == 0) {
    EvDebug::Debug(kName, "Successfully submitted synthetic full job for subclient [%d]", subclientId);
    return true;
  }
  EvDebug::Error(kName, "Failed to submit synthetic full job for subclient [%d]", subclientId);
  return false;
}

bool EvTask::startAutoInventoryJob(unsigned long userId, const InventoryJobParams* params) {
  static const char* const kName = "EvTask::startAutoInventoryJob";
  EvEvent ev(kName);
  if (params == nullptr) {
    errorString = "No inventory parameters supplied";
    EvDebug::Error(kName, "Failed to submit auto inventory job for library [%d]", 0);
    return false;
  }
  EvDebug::Debug(kName, "Called with parameters userID [%lu], libraryID : [%d] and Inventory Type : [%d]", userId,
                 params->libraryId, params->inventoryType);
  YmEntities::GenericEntity entity;
  seti(entity, 0, 0);
  std::vector<YmEntities::GenericEntity> assoc{entity};
  TMMsg::JobOption options;
  CNMessageBase& media = mediaOptions(options);
  int kind;
  if (params->inventoryType >= 1 && params->inventoryType <= 8) {
    kind = params->inventoryType + 1;
  } else {
    EvDebug::Error(kName, "Unknown inventory type passed. Assuming Quick inventory");
    kind = 3;
  }
  seti(media, 2, kind);
  CNMessageBase& library = child(media, 6, 18, 12);
  seti(library, 5, 9);
  seti(library, 0, params->libraryId);
  CNMessageBase& flags = child(media, 17, 353);
  seti(flags, 1, 0);
  seti(flags, 3, 1);
  TMMsg::Pattern pattern;
  std::list<long long> jobIds;
  const int rc = createScheduleJob(TMMsg::SUBTASK_ADMIN, TMMsg::OP_INVENTORY, jobIds, errorString, userId, &assoc,
                                   &pattern, &options, 0, 0, false, TMMsg::TASK_IMMEDIATE, "", "");
  if (rc == 0) {
    EvDebug::Debug(kName, "Successfully submitted auto inventory job for library [%d]", params->libraryId);
    return true;
  }
  EvDebug::Error(kName, "Failed to submit auto inventory job for library [%d]", params->libraryId);
  return false;
}

bool EvTask::startDedupDBSyncJob(unsigned long userId, int sidbStoreId, int storagePolicyId, int copyId,
                                 std::vector<int>* subStoreIds, int maxNumberOfStreams, int inReserve2,
                                 int inReserve3) {
  static const char* const kName = "EvTask::startDedupDBSyncJob";
  EvEvent ev(kName);
  EvDebug::Debug(kName,
                 "Called with parameters userID [%lu], SIDBStoreID : [%d], StoragePolicyID : [%d], CopyID : [%d], "
                 "maxNumberOfStreams : [%d], inReserve2 : [%d],  and inReserve3 : [%d]",
                 userId, sidbStoreId, storagePolicyId, copyId, maxNumberOfStreams, inReserve2, inReserve3);
  YmEntities::GenericEntity entity;
  seti(entity, 0, 18);
  seti(entity, 105, storagePolicyId);
  seti(entity, 100, copyId);
  std::vector<YmEntities::GenericEntity> assoc{entity};
  TMMsg::JobOption options;
  CNMessageBase& ddb = child(child(options, 3, TMMsg::kUpdateOptionsClass), 18, 178);
  seti(ddb, 1, sidbStoreId);
  // A null list sends an empty one.
  ddb.setlistint(2, 0, subStoreIds != nullptr ? *subStoreIds : std::vector<int>());
  CNMessageBase& flags = child(child(options, 3, TMMsg::kUpdateOptionsClass), 19, 320);
  seti(flags, 3, 1);
  seti(flags, 2, 0);
  seti(flags, 7, 1);
  TMMsg::Pattern pattern;
  std::list<long long> jobIds;
  const int rc = createScheduleJob(TMMsg::SUBTASK_ADMIN, TMMsg::OP_DEDUP_DB_RECONSTRUCTION, jobIds, errorString,
                                   userId, &assoc, &pattern, &options, 0, 0, false, TMMsg::TASK_IMMEDIATE, "", "");
  if (rc == 0) {
    EvDebug::Debug(kName, "Successfully submitted Dedup DB Reconstruction job for SIDB Store [%d]", sidbStoreId);
    return true;
  }
  EvDebug::Error(kName, "Failed to submit Dedup DB Reconstruction job for SIDB Store [%d]", sidbStoreId);
  return false;
}

bool EvTask::startMovePartitionJob(unsigned long userId, DDBMoveInputParams params, int flags, bool isConfigOnly) {
  static const char* const kName = "EvTask::startMovePartitionJob";
  EvEvent ev(kName);
  EvDebug::DebugLvl(kName, 2,
                    "Called with Parameters userId [%lu], SIDBStoreID [%d], SIDBSubStoreId [%d], SourceMediaAgentId "
                    "[%d], sourcePath [%s], DestinationMediaAgentID [%d], TargetPath[%s], Flags [%d], isConfigOnly [%d]",
                    userId, params.storeId, params.subStoreId, params.sourceMediaAgentId, params.sourcePath.c_str(),
                    params.destinationMediaAgentId, params.targetPath.c_str(), flags, isConfigOnly ? 1 : 0);
  TMMsg::JobOption options;
  CNMessageBase& media = mediaOptions(options);
  seti(media, 2, 20);
  TMMsg::SubStore store;
  seti(store, 2, params.storeId);
  seti(store, 3, params.subStoreId);
  seti(child(store, 4, 70), 1, params.sourceMediaAgentId);
  store.setstring(6, 0, params.sourcePath);
  store.setstring(10, 0, params.targetPath);
  seti(child(store, 5, 70), 1, params.destinationMediaAgentId);
  seti(store, 25, isConfigOnly ? 1 : 0);
  CNMessageBase& move = child(media, 24, 230);
  move.setlistobject(2, 0, std::vector<CNMessageBase>{store});
  seti(move, 4, flags);
  std::vector<YmEntities::GenericEntity> none;
  TMMsg::Pattern pattern;
  std::list<long long> jobIds;
  const int rc = createScheduleJob(TMMsg::SUBTASK_ADMIN, TMMsg::OP_MOVE_PARTITION, jobIds, errorString, userId, &none,
                                   &pattern, &options, 0, 0, false, TMMsg::TASK_IMMEDIATE, "", "");
  if (rc == 0) {
    EvDebug::DebugLvl(kName, 2, "Successfully submitted Move Partition Job for SIDBSubStore [%d]", params.subStoreId);
    return true;
  }
  EvDebug::Error(kName, "failed to Move Partition Job for SIDBSubStore [%d]", params.subStoreId);
  return false;
}
