// EvBkpTask: backup options by name.
#include "task/EvBkpTask.h"

namespace {

const unsigned long long kAppId = 0x186a1;
const unsigned long long kBackupLevel = 0x1b52b612;
const unsigned long long kOraBackupLevel = 0x216df7c4;

}  // namespace

EvBkpTask::EvBkpTask(unsigned long long id, int idKind, void* event) : EvTask(id, idKind, event, false) {}

// The virtual bases are built here, by the most derived class: the option
// cache is copied and the file cache starts empty, as for EvTask.
EvBkpTask::EvBkpTask(const EvBkpTask& other)
    : TmTaskOptions(other), OptionCallBack(), TmTaskFiles(), FileCallBack(), EvTask(other) {}

EvBkpTask::~EvBkpTask() = default;

int EvBkpTask::getAppId(int& value, void* event) { return getOptionInt(kAppId, value, event); }
int EvBkpTask::setAppId(int value, void* event) { return setOptionInt(kAppId, value, event); }
int EvBkpTask::getBackupLevel(int& value, void* event) { return getOptionInt(kBackupLevel, value, event); }
int EvBkpTask::setBackupLevel(int value, void* event) { return setOptionInt(kBackupLevel, value, event); }
int EvBkpTask::getOraBackupLevel(int& value, void* event) { return getOptionInt(kOraBackupLevel, value, event); }
int EvBkpTask::setOraBackupLevel(int value, void* event) { return setOptionInt(kOraBackupLevel, value, event); }
