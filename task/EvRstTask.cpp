// EvRstTask: restore options by name, and the restore path lists with their
// cursor. EvTask::buildFileList, which fills the path lists from the task's
// file entries, lives here with them.
#include "task/EvRstTask.h"

#include <cstddef>

#include "platform/EvDebug.h"

namespace {

// File type codes of the path lists.
const int kSourcePath = 150001;
const int kDestinationPath = 150002;
const int kFilterPath = 150003;
const int kUserName = 150004;
const int kPassword = 150005;
const int kPathList7 = 150007;
const int kPathList8 = 150008;
const int kSearchPath = 150010;
const int kPathList7Alt = 150012;
const int kPathList8Alt = 150013;
const int kFilterPathAlt = 150014;

// Restore options.
const unsigned long long kControlCellId = 0x5936a27c;
const unsigned long long kSourceClientId = 0x222e3;
const unsigned long long kDestinationClientId = 0x11825267;
const unsigned long long kAppTypeId = 0x222e4;
const unsigned long long kInstanceId = 0x222e5;
const unsigned long long kBackupSetId = 0x222e6;
const unsigned long long kAppId = 0x222e7;
const unsigned long long kToTime = 0xe26410b;
const unsigned long long kFromTime = 0x1080964;
const unsigned long long kStripLevel = 0x29fdb191;
const unsigned long long kPreserve = 0x81c1e95;
const unsigned long long kDestinationInstanceId = 0x12a3f15d;
const unsigned long long kRstUserName = 0x4d28708f;
const unsigned long long kRstMapFile = 0x32179489;
const unsigned long long kMediaAgentId = 0x4ac24417;
const unsigned long long kUserNameOption = 0x4322b07d;
const unsigned long long kPasswordOption = 0x646e91de;
const unsigned long long kUserAccessInfo = 0x6784c63f;
const unsigned long long kRstInitiatingUserName = 0x1d4c8;
const unsigned long long kUseExactIndex = 0x78b252df;
const unsigned long long kIncludeMetadata = 0xb7093bc;
const unsigned long long kBrowseViewName = 0x7cc59335;
const unsigned long long kStartSuspendedFlag = 0xd96a177;
const unsigned long long kArchGroupSynchronousCopyPrecedence = 0x26761755;
const unsigned long long kArchGroupSelectiveCopyPrecedence = 0xb1130c2;
const unsigned long long kArchGroupCopyPrecedence = 0x3917d19c;
const unsigned long long kMediaPredictionFile = 0x3e206aa9;
// The on-demand restore file, also read as the on-demand input file and the
// source item.
const unsigned long long kOnDemandRestoreFile = 0x4bd6a233;
const unsigned long long kNoMapping = 0x2d38c4f5;
const unsigned long long kDestAppTypeId = 0x47e40290;
const unsigned long long kSybaseRenameDevices = 0x6e6db2b4;
// The FCS path and the filter item: the option their setters have always
// written, so the getters read it too (never the on-demand restore file).
const unsigned long long kFcsPathAndFilterItem = 0x6a3b22;
const unsigned long long kSearchItem = 0x598756e4;

typedef TaskFileList::iterator Cursor;

// True when the cursor stands on an entry of `list`. A positioned cursor's
// end is the end of its list as long as that list is unchanged, and every
// change made here re-seats or clears the cursor, so the test holds.
bool cursorOn(TaskFileList& list, const Cursor& at, const Cursor& end) { return at != end && end == list.end(); }

// Appends a copy of `file`. A cursor on this list is moved to the same
// position of the (possibly reallocated) list, so that the iteration goes on
// and reaches the new entry.
void appendKeepingCursor(TaskFileList& list, const TaskFile& file, Cursor& at, Cursor& end) {
  const bool on = cursorOn(list, at, end);
  const std::ptrdiff_t offset = on ? at - list.begin() : 0;
  list.addToFileList(file);
  if (on) {
    at = list.begin() + offset;
    end = list.end();
  }
}

// Empties `list`. A cursor on it is cleared, so that getNextPath ends the
// iteration instead of reading entries that no longer exist.
void emptyKeepingCursor(TaskFileList& list, Cursor& at, Cursor& end) {
  if (cursorOn(list, at, end)) {
    at = Cursor();
    end = Cursor();
  }
  list.cleanUpList();
}

}  // namespace

// --- EvTask::buildFileList ------------------------------------------------------------------

void EvTask::buildFileList(TaskFileList files, void* event) {
  for (const TaskFile* file : files.getList()) {
    TaskFileList* target = nullptr;
    switch (file->getType()) {
      case kSourcePath:
        target = taskInfo.srcPathList;
        break;
      case kDestinationPath:
        target = taskInfo.destPathList;
        break;
      case kFilterPath:
      case kFilterPathAlt:
        target = taskInfo.filterPathList;
        break;
      case kPathList8:
      case kPathList8Alt:
        target = taskInfo.pathList8;
        break;
      case kPathList7:
      case kPathList7Alt:
        target = taskInfo.pathList7;
        break;
      case kSearchPath:
        target = taskInfo.searchPathList;
        break;
      case kUserName:
        target = taskInfo.userNameList;
        break;
      case kPassword:
        target = taskInfo.passwordList;
        break;
      default:
        EvDebug::DebugLvl("EvTask::buildFileList", 4, static_cast<long long>(id), "File type [%d] not found.",
                          file->getType());
        continue;
    }
    appendKeepingCursor(*target, *file, pathIterator, pathIteratorEnd);
  }
  if (id == 0) return;
  // The credentials are options of the task; the lists carry them as
  // entries as well (an empty text when neither option nor default exists).
  std::string text;
  if (getOptionString(kUserNameOption, text, event) == 0) {
    appendKeepingCursor(*taskInfo.userNameList, TaskFile(kUserName, text, kUserName), pathIterator,
                        pathIteratorEnd);
  }
  text.clear();
  if (getOptionString(kPasswordOption, text, event) == 0) {
    appendKeepingCursor(*taskInfo.passwordList, TaskFile(kPassword, text, kPassword), pathIterator,
                        pathIteratorEnd);
  }
}

// --- construction ---------------------------------------------------------------------------------

EvRstTask::EvRstTask(unsigned long long id, int idKind, void* event, bool flag)
    : EvTask(id, idKind, event, flag), reservedText(), reservedFlag1(false), reservedFlag2(false) {
  if (id != 0) {
    TaskFileList files;
    if (getFiles(files, 0, event) == 0) buildFileList(files, event);
  }
}

EvRstTask::EvRstTask(unsigned long long id, int idKind, void* event, bool flag, bool loadFiles)
    : EvTask(id, idKind, event, flag), reservedText(), reservedFlag1(false), reservedFlag2(false) {
  if (id != 0 && loadFiles) {
    TaskFileList files;
    if (getFiles(files, 0, event) == 0) buildFileList(files, event);
  }
}

// The virtual bases are built here, by the most derived class: the option
// cache is copied and the file cache starts empty, as for EvTask.
EvRstTask::EvRstTask(const EvRstTask& other)
    : TmTaskOptions(other),
      OptionCallBack(),
      TmTaskFiles(),
      FileCallBack(),
      EvTask(other),
      reservedText(other.reservedText),
      reservedFlag1(other.reservedFlag1),
      reservedFlag2(other.reservedFlag2) {}

EvRstTask::~EvRstTask() = default;

// --- named options --------------------------------------------------------------------------------

#define EVTASK_RST_ACCESSORS(Name, Kind, T, SetArg, optionId)                                        \
  int EvRstTask::get##Name(T& value, void* event) { return getOption##Kind(optionId, value, event); } \
  int EvRstTask::set##Name(SetArg value, void* event) { return setOption##Kind(optionId, value, event); }

EVTASK_RST_ACCESSORS(ControlCellId, Long, long, long, kControlCellId)
EVTASK_RST_ACCESSORS(SourceClientId, Long, long, long, kSourceClientId)
EVTASK_RST_ACCESSORS(DestinationClientId, Long, long, long, kDestinationClientId)
EVTASK_RST_ACCESSORS(AppTypeId, Long, long, long, kAppTypeId)
EVTASK_RST_ACCESSORS(InstanceId, Long, long, long, kInstanceId)
EVTASK_RST_ACCESSORS(BackupSetId, Long, long, long, kBackupSetId)
EVTASK_RST_ACCESSORS(AppId, Long, long, long, kAppId)
EVTASK_RST_ACCESSORS(ToTime, Long, long, long, kToTime)
EVTASK_RST_ACCESSORS(FromTime, Long, long, long, kFromTime)
EVTASK_RST_ACCESSORS(StripLevel, Long, long, long, kStripLevel)
EVTASK_RST_ACCESSORS(Preserve, Long, long, long, kPreserve)
EVTASK_RST_ACCESSORS(DestinationInstanceId, ULong, unsigned long, unsigned long, kDestinationInstanceId)
EVTASK_RST_ACCESSORS(RstUserName, String, std::string, std::string, kRstUserName)
EVTASK_RST_ACCESSORS(RstMapFile, String, std::string, std::string, kRstMapFile)
EVTASK_RST_ACCESSORS(MediaAgentId, Int, int, int, kMediaAgentId)
EVTASK_RST_ACCESSORS(UserName, String, std::string, std::string, kUserNameOption)
EVTASK_RST_ACCESSORS(Password, String, std::string, std::string, kPasswordOption)
EVTASK_RST_ACCESSORS(UserAccessInfo, String, std::string, std::string, kUserAccessInfo)
EVTASK_RST_ACCESSORS(RstInitiatingUserName, String, std::string, std::string, kRstInitiatingUserName)
EVTASK_RST_ACCESSORS(UseExactIndex, Bool, bool, bool, kUseExactIndex)
EVTASK_RST_ACCESSORS(IncludeMetadata, Bool, bool, bool, kIncludeMetadata)
EVTASK_RST_ACCESSORS(BrowseViewName, String, std::string, const std::string&, kBrowseViewName)
EVTASK_RST_ACCESSORS(StartSuspendedFlag, Bool, bool, const bool&, kStartSuspendedFlag)
EVTASK_RST_ACCESSORS(ArchGroupSynchronousCopyPrecedence, ULong, unsigned long, unsigned long,
                     kArchGroupSynchronousCopyPrecedence)
EVTASK_RST_ACCESSORS(ArchGroupSelectiveCopyPrecedence, ULong, unsigned long, unsigned long,
                     kArchGroupSelectiveCopyPrecedence)
EVTASK_RST_ACCESSORS(ArchGroupCopyPrecedence, ULong, unsigned long, unsigned long, kArchGroupCopyPrecedence)
EVTASK_RST_ACCESSORS(MediaPredictionFile, String, std::string, std::string, kMediaPredictionFile)
EVTASK_RST_ACCESSORS(OnDemandRestoreFile, String, std::string, std::string, kOnDemandRestoreFile)
EVTASK_RST_ACCESSORS(OnDemandInFile, String, std::string, std::string, kOnDemandRestoreFile)
EVTASK_RST_ACCESSORS(NoMapping, Bool, bool, bool, kNoMapping)
EVTASK_RST_ACCESSORS(DestAppTypeId, Long, long, long, kDestAppTypeId)
EVTASK_RST_ACCESSORS(SybaseRenameDevices, String, std::string, std::string, kSybaseRenameDevices)
EVTASK_RST_ACCESSORS(FCSPath, String, std::string, std::string, kFcsPathAndFilterItem)
EVTASK_RST_ACCESSORS(FilterItem, String, std::string, std::string, kFcsPathAndFilterItem)
EVTASK_RST_ACCESSORS(SearchItem, String, std::string, std::string, kSearchItem)
EVTASK_RST_ACCESSORS(SourceItem, String, std::string, std::string, kOnDemandRestoreFile)

#undef EVTASK_RST_ACCESSORS

int EvRstTask::IsMediaPredictionRestore(bool& result, void* event) {
  std::string file;
  const int rc = getMediaPredictionFile(file, event);
  result = rc == 0 && !file.empty();
  return rc;
}

int EvRstTask::IsOnDemandRestore(bool& result, void* event) {
  std::string file;
  const int rc = getOnDemandRestoreFile(file, event);
  result = rc == 0 && !file.empty();
  return rc;
}

// --- paths ------------------------------------------------------------------------------------------

void EvRstTask::addPath(long pathType, const char* path) {
  if (path == nullptr || path[0] == '\0') return;
  TaskFileList* target = nullptr;
  int fileType = 0;
  switch (pathType) {
    case 1:
      target = taskInfo.srcPathList;
      fileType = kSourcePath;
      break;
    case 2:
      target = taskInfo.destPathList;
      fileType = kDestinationPath;
      break;
    case 3:
      target = taskInfo.filterPathList;
      fileType = kFilterPath;
      break;
    case 4:
      setUserName(path, nullptr);
      target = taskInfo.userNameList;
      fileType = kUserName;
      break;
    case 5:
      setPassword(path, nullptr);
      target = taskInfo.passwordList;
      fileType = kPassword;
      break;
    case 7:
      target = taskInfo.pathList7;
      fileType = kPathList7;
      break;
    case 8:
      target = taskInfo.pathList8;
      fileType = kPathList8;
      break;
    case 10:
      target = taskInfo.searchPathList;
      fileType = kSearchPath;
      break;
    default:  // 6 is accepted and ignored; every other type is rejected
      return;
  }
  if (target != nullptr) {
    appendKeepingCursor(*target, TaskFile(static_cast<unsigned long long>(fileType), path, fileType), pathIterator,
                        pathIteratorEnd);
  }
}

const char* EvRstTask::getFirstPath(long pathType) {
  TaskFileList* list = nullptr;
  switch (pathType) {
    case 1:
      list = taskInfo.srcPathList;
      break;
    case 2:
      list = taskInfo.destPathList;
      break;
    case 3:
      list = taskInfo.filterPathList;
      break;
    case 7:
      list = taskInfo.pathList7;
      break;
    case 8:
      list = taskInfo.pathList8;
      break;
    case 10:
      list = taskInfo.searchPathList;
      break;
    default:
      return nullptr;
  }
  if (list == nullptr) return nullptr;
  pathIterator = list->begin();
  pathIteratorEnd = list->end();
  if (pathIterator == pathIteratorEnd) return nullptr;
  return (*pathIterator)->getValue();
}

const char* EvRstTask::getNextPath() {
  if (pathIterator != pathIteratorEnd) ++pathIterator;
  if (pathIterator == pathIteratorEnd) return nullptr;
  return (*pathIterator)->getValue();
}

void EvRstTask::deleteSrcPaths() {
  emptyKeepingCursor(*taskInfo.srcPathList, pathIterator, pathIteratorEnd);
  emptyKeepingCursor(*taskInfo.filterPathList, pathIterator, pathIteratorEnd);
}

void EvRstTask::deleteDestPaths() { emptyKeepingCursor(*taskInfo.destPathList, pathIterator, pathIteratorEnd); }

void EvRstTask::deletePowerRstSearchPaths() {
  emptyKeepingCursor(*taskInfo.searchPathList, pathIterator, pathIteratorEnd);
}

void EvRstTask::deleteFilterPaths() { emptyKeepingCursor(*taskInfo.filterPathList, pathIterator, pathIteratorEnd); }
