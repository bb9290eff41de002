// EvTask: the index scale job, which copies the cores of a content index
// from a source client to a destination client as an immediate job.
#include <set>

#include "platform/EvDebug.h"
#include "platform/YMPlatformInfo.h"
#include "schedule/ScheduleInternal.h"
#include "schedule/ScheduleRecords.h"
#include "task/EvTask.h"

using namespace evtask::sched;

namespace {

struct Client {
  long long id = 0;
  std::string name;
};

Client clientOf(const CNMessageBase* entity) {
  Client c;
  if (entity == nullptr) return c;
  c.id = geti(*entity, 0);
  entity->getstring(1, 0, c.name);
  return c;
}

struct Core {
  std::string name, source, destination;
  long long status = 0;
};

std::string joinPath(const std::string& dir, const std::string& name, const std::string& sep) {
  const bool ends = dir.size() >= sep.size() && dir.compare(dir.size() - sep.size(), sep.size(), sep) == 0;
  return dir + (ends ? "" : sep) + name;
}

void fillFixedOptions(CNMessageBase& options, CNMessageBase& copy) {
  CNMessageBase& common = child(options, 1, TMMsg::kCommonOptionsClass);
  seti(common, 1, 1);
  seti(common, 85, 1);
  CNMessageBase& c5 = child(common, 5, 62);
  seti(c5, 1, 1);
  for (uint16_t t : {2, 3, 4}) seti(c5, t, 0);
  seti(c5, 11, 30);
  seti(c5, 12, 2);
  seti(c5, 19, 0);
  CNMessageBase& c6 = child(common, 6, 325);
  for (uint16_t t : {1, 9, 20, 42}) seti(c6, t, 1);
  for (uint16_t t : {4, 5, 17, 18, 19, 22, 55, 61}) seti(c6, t, 0);
  CNMessageBase& c7 = child(common, 7, 31);
  seti(c7, 1, 0);
  seti(c7, 2, 0);
  CNMessageBase& c73 = child(c7, 3, 171);
  seti(c73, 1, 0);
  seti(c73, 2, 0);
  for (uint16_t t : {3, 4, 5}) seti(c73, t, 1);
  seti(child(child(options, 3, TMMsg::kUpdateOptionsClass), 25, 114), 6, 0);

  seti(copy, 3, 3);
  seti(child(copy, 29, 196), 1, 0);
  CNMessageBase& c31 = child(copy, 31, 251);
  for (uint16_t t : {3, 4, 17, 64}) seti(c31, t, 1);
  for (uint16_t t : {45, 66}) seti(c31, t, 0);
  CNMessageBase& c65 = child(copy, 65, 30, 600);
  seti(c65, 1, 0);
  seti(c65, 8, 0);
  seti(child(copy, 15, 266), 32, 0);
}

}  // namespace

bool EvTask::startIndexScaleJob(unsigned long userId, DM2ContentIndexing::IndexAutoscaleOption& option,
                                _IndexScaleInputParams params, std::list<long long>& jobIds) {
  static const char* const kName = "EvTask::startIndexScaleJob";
  EvEvent ev(kName);
  registerScheduleMessageClasses();
  // Only the first scale request is used. A request without one is refused
  // rather than read out of nothing.
  std::vector<DM2ContentIndexing::ScaleIndexReq> requests;
  if (option.getlistobject(1, 0, requests) != 0 || requests.empty()) {
    errorString = "No scale request in the index autoscale option";
    EvDebug::DebugLvl(kName, -1, "Failed to submit Index scale Job for index pseudo-client [%s]", "");
    return false;
  }
  const DM2ContentIndexing::ScaleIndexReq& req = requests.front();
  const Client pseudo = clientOf(req.getObjectAccessor(4, 0));
  const Client source = clientOf(req.getObjectAccessor(5, 0));
  const Client destination = clientOf(req.getObjectAccessor(6, 0));
  std::vector<CNMessageBase> coreMsgs;
  req.getlistobject(2, 0, coreMsgs);
  std::vector<Core> cores;
  for (const CNMessageBase& m : coreMsgs) {
    Core c;
    m.getstring(1, 0, c.name);
    m.getstring(6, 0, c.source);
    m.getstring(10, 0, c.destination);
    c.status = geti(m, 14);
    cores.push_back(c);
  }

  const bool verbose = EvDebug::getDebugLevel() > 2;
  if (verbose) {
    EvDebug::DebugLvl(kName, 1, "Job Parameters [pseudoClientID - %u] [src client id - %u] [dest client id - %u]",
                      static_cast<unsigned>(pseudo.id), static_cast<unsigned>(source.id),
                      static_cast<unsigned>(destination.id));
    EvDebug::DebugLvl(kName, 1, "Job Parameters [psedo client name - %s] [src client name - %s] [dest client name - %s]",
                      pseudo.name.c_str(), source.name.c_str(), destination.name.c_str());
    EvDebug::DebugLvl(kName, 1, "Job Parameters [src client display name - %s] [dest client display name -%s]",
                      params.sourceClientDisplayName.c_str(), params.destinationClientDisplayName.c_str());
    EvDebug::DebugLvl(kName, 1, "Job Parameters [App type - %lu] [App name - %s] [bnackup set - %lu (%s)] ",
                      params.appTypeId, params.appTypeName.c_str(), params.backupSetId, params.backupSetName.c_str());
    EvDebug::DebugLvl(kName, 1, "Job Parameters [instance id -%lu] [Instance name - %s] [Subclient - %lu (%s)]",
                      params.instanceId, params.instanceName.c_str(), params.subclientId,
                      params.subclientName.c_str());
    for (size_t i = 0; i < cores.size(); ++i) {
      EvDebug::DebugLvl(kName, 1, "Job Parameters %u [Source Path (%s)] [Dest Path (%s)] [core - %s] [Status - %u]",
                        static_cast<unsigned>(i), cores[i].source.c_str(), cores[i].destination.c_str(),
                        cores[i].name.c_str(), static_cast<unsigned>(cores[i].status));
    }
  }

  YmEntities::GenericEntity entity;
  seti(entity, 1, 2);
  seti(entity, 0, 7);
  seti(entity, 11, static_cast<long long>(params.subclientId));
  entity.setstring(12, 0, params.subclientName);
  seti(entity, 20, static_cast<long long>(params.backupSetId));
  entity.setstring(21, 0, params.backupSetName);
  seti(entity, 47, pseudo.id);
  entity.setstring(48, 0, pseudo.name);
  seti(entity, 29, static_cast<long long>(params.instanceId));
  entity.setstring(30, 0, params.instanceName);
  seti(entity, 38, static_cast<long long>(params.appTypeId));
  std::vector<YmEntities::GenericEntity> assoc{entity};

  TMMsg::JobOption options;
  options.setObjectAccessor(15, 0, option);
  CNMessageBase& copy = child(options, 2, 311);
  fillFixedOptions(options, copy);
  CNMessageBase& c1 = child(copy, 1, 9);
  seti(c1, 1, 2);
  seti(c1, 20, 1);
  CNMessageBase& backupSet = child(c1, 2, 18, 9);
  seti(backupSet, 0, static_cast<long long>(params.backupSetId));
  seti(backupSet, 28, source.id);
  CNMessageBase& holder = child(c1, 8, 165);
  const struct {
    uint16_t tag;
    int family, classNo;
    long long kind;
  } kEntries[] = {{1, 18, 12, 9}, {2, 18, 14, 11}, {3, 18, 29, 47}, {4, 18, 34, -1}};
  for (const auto& e : kEntries) {
    CNMessageBase& m = child(holder, e.tag, e.family, e.classNo);
    if (e.kind >= 0) seti(m, 5, e.kind);
    seti(m, 0, 0);
  }
  CNMessageBase& h7 = child(holder, 7, 38);
  seti(h7, 1, 0);
  seti(h7, 3, 1);
  seti(h7, 5, 0);
  CNMessageBase& srcClient = child(holder, 8, 18, 4);
  seti(srcClient, 0, source.id);
  srcClient.setstring(1, 0, source.name);
  seti(srcClient, 9, 3);

  // Application type 33 was once given its own separator; every type uses "/".
  const std::string sep = params.appTypeId == 33 ? "/" : "/";
  std::vector<std::string> filters{"**" + sep + "*" + sep + "write.lock"};
  {
    YMPlatformInfo store;
    char buffer[4096];
    int size = static_cast<int>(sizeof buffer);
    if (store.getString("Controlhost", "AutoScaleIndexFilter", buffer, &size) != 0 && size > 0) {
      std::set<std::string> configured;
      YMPlatformInfo::FromMultiSZStringToSet(buffer, size, configured);
      filters.insert(filters.end(), configured.begin(), configured.end());
    }
  }
  std::vector<std::string> sourcePaths, destinationPaths;
  for (const Core& c : cores) {
    const std::string path = joinPath(c.source, c.name, sep);
    filters.push_back(path + sep + "tlog");
    sourcePaths.push_back(path);
  }
  for (const Core& c : cores) destinationPaths.push_back(joinPath(c.destination, c.name, sep));
  CNMessageBase& filter = child(copy, 27, 127);
  filter.setliststring(3, 0, filters);
  if (!sourcePaths.empty()) filter.setliststring(2, 0, sourcePaths);
  CNMessageBase& dest = child(copy, 2, 97);
  seti(dest, 20, 2);
  if (!destinationPaths.empty()) dest.setliststring(1, 0, destinationPaths);
  CNMessageBase& destClient = child(dest, 2, 18, 4);
  seti(destClient, 0, destination.id);
  destClient.setstring(1, 0, destination.name);
  destClient.setstring(14, 0, params.destinationClientDisplayName);
  seti(child(copy, 12, 380), 8, static_cast<long long>(params.appTypeId));

  if (verbose) {
    std::string text;
    if (options.serialize(text, false) == 0) EvDebug::DebugLvl(kName, 1, "%s", text.c_str());
  }

  TMMsg::Pattern pattern;
  const int rc = createScheduleJob(TMMsg::SUBTASK_BACKUP, TMMsg::OP_BACKUP, jobIds, errorString, userId, &assoc,
                                   &pattern, &options, 0, 0, false, TMMsg::TASK_IMMEDIATE, "", "");
  if (rc == 0) {
    EvDebug::DebugLvl(kName, 2, "Successfully submitted Index scale Job for index pseudo-client[%s] [Job-ID - %llu]",
                      pseudo.name.c_str(), jobIds.empty() ? 0ULL : static_cast<unsigned long long>(jobIds.front()));
    return true;
  }
  EvDebug::DebugLvl(kName, -1, "Failed to submit Index scale Job for index pseudo-client [%s]", pseudo.name.c_str());
  return false;
}
