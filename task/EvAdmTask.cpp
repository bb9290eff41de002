// EvAdmTask: report definition options by name, and the file load of the
// constructors.
#include "task/EvAdmTask.h"

namespace {

const unsigned long long kSrmRptType = 0x1fbd1;
const unsigned long long kSrmRptName = 0x1fbd2;
const unsigned long long kSrmRptSetId = 0x1fbd3;
const unsigned long long kSrmRptSetName = 0x1fbd4;

}  // namespace

EvAdmTask::EvAdmTask(unsigned long long id, int idKind, void* event) : EvTask(id, idKind, event, true) {
  if (id != 0) {
    TaskFileList files;
    if (getFiles(files, idKind, event) == 0) buildFileList(files, event);
  }
}

EvAdmTask::EvAdmTask(unsigned long long id, int idKind, void* event, bool loadFiles)
    : EvTask(id, idKind, event, false) {
  if (id != 0 && loadFiles) {
    TaskFileList files;
    if (getFiles(files, 0, event) == 0) buildFileList(files, event);
  }
}

// The virtual bases are built here, by the most derived class: the option
// cache is copied and the file cache starts empty, as for EvTask.
EvAdmTask::EvAdmTask(const EvAdmTask& other)
    : TmTaskOptions(other), OptionCallBack(), TmTaskFiles(), FileCallBack(), EvTask(other) {}

EvAdmTask::~EvAdmTask() = default;

int EvAdmTask::getSrmRptType(int& value, void* event) { return getOptionInt(kSrmRptType, value, event); }
int EvAdmTask::setSrmRptType(int value, void* event) { return setOptionInt(kSrmRptType, value, event); }
int EvAdmTask::getSrmRptName(std::string& value, void* event) { return getOptionString(kSrmRptName, value, event); }
int EvAdmTask::setSrmRptName(std::string value, void* event) { return setOptionString(kSrmRptName, value, event); }
int EvAdmTask::getSrmRptSetId(int& value, void* event) { return getOptionInt(kSrmRptSetId, value, event); }
int EvAdmTask::setSrmRptSetId(const int& value, void* event) { return setOptionInt(kSrmRptSetId, value, event); }
int EvAdmTask::getSrmRptSetName(std::string& value, void* event) {
  return getOptionString(kSrmRptSetName, value, event);
}
int EvAdmTask::setSrmRptSetName(const std::string& value, void* event) {
  return setOptionString(kSrmRptSetName, value, event);
}
