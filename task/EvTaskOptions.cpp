// EvTask: typed option accessors, whole-set option and file operations, the
// loads of the option, default option and file caches, and the callbacks
// through which the service fills them.
#include <memory>
#include <set>
#include <type_traits>

#include "platform/YmErrors.h"
#include "task/EvTask.h"
#include "util/BasicConversion.h"

namespace {

// Option type codes written by the typed setters.
const int kTypeString = 1;
const int kTypeBool = 2;
const int kTypeShort = 5;
const int kTypeUShort = 6;
const int kTypeInt = 7;
const int kTypeUInt = 8;
const int kTypeLong = 9;
const int kTypeULong = 10;
const int kTypeLongLong = 14;
const int kTypeULongLong = 15;

int typeCodeOf(const std::string&) { return kTypeString; }
int typeCodeOf(bool) { return kTypeBool; }
int typeCodeOf(short) { return kTypeShort; }
int typeCodeOf(unsigned short) { return kTypeUShort; }
int typeCodeOf(int) { return kTypeInt; }
int typeCodeOf(unsigned int) { return kTypeUInt; }
int typeCodeOf(long) { return kTypeLong; }
int typeCodeOf(unsigned long) { return kTypeULong; }
int typeCodeOf(long long) { return kTypeLongLong; }
int typeCodeOf(unsigned long long) { return kTypeULongLong; }

void readAs(const TaskOption& o, std::string& v) { v = o.getStringValue(); }
void readAs(const TaskOption& o, bool& v) { v = o.getBooleanValue(); }
void readAs(const TaskOption& o, short& v) { v = o.getShortValue(); }
void readAs(const TaskOption& o, unsigned short& v) { v = o.getUshortValue(); }
void readAs(const TaskOption& o, int& v) { v = o.getIntegerValue(); }
void readAs(const TaskOption& o, unsigned int& v) { v = o.getUintegerValue(); }
void readAs(const TaskOption& o, long& v) { v = o.getLongValue(); }
void readAs(const TaskOption& o, unsigned long& v) { v = o.getUlongValue(); }
void readAs(const TaskOption& o, long long& v) { v = o.getLongLongValue(); }
void readAs(const TaskOption& o, unsigned long long& v) { v = o.getULongLongValue(); }

std::string textOf(const std::string& v) { return v; }
template <class T>
std::string textOf(T v) {
  std::string s;
  BasicConversion::toString(v, s);
  return s;
}

}  // namespace

struct EvTask::OptionAccess {
  template <class T>
  static int getScalar(EvTask& task, unsigned long long optionId, T& value, void* event) {
    task.clearErrors();
    TaskOption probe(optionId, std::string(), 0);
    int rc = task.getTaskOption(probe, event);
    if (rc == 0) {
      readAs(probe, value);
    } else if (rc == YM_PROP_NOT_FOUND) {
      // Not set for the task: the service's default applies, and without
      // one the kind's empty value. A default load that failed (the request
      // was lost, for example) is that failure, not an empty value: the
      // caller's value stays as it was and the load's error text stands.
      rc = task.getDefaultOption(probe, event);
      if (rc == 0) {
        readAs(probe, value);
      } else if (rc == YM_PROP_NOT_FOUND) {
        value = T();
        rc = 0;
      }
    }
    task.errorCode = rc;
    return rc;
  }

  template <class T>
  static int setScalar(EvTask& task, unsigned long long optionId, const T& value, void* event) {
    task.clearErrors();
    task.clearBitInitialized();
    const TaskOption option(optionId, textOf(value), typeCodeOf(value));
    task.errorCode = task.setTaskOption(option, event);
    return task.errorCode;
  }

  template <class T>
  static int getList(EvTask& task, unsigned long long optionId, std::list<T>& values, void* event) {
    task.clearErrors();
    TaskOptionList all;
    int rc = task.getOptions(all, event);
    if (rc == 0) {
      for (const TaskOption* o : all.getList()) {
        if (o->getOptionId() != optionId) continue;
        T v;
        readAs(*o, v);
        values.push_back(v);
      }
    } else if (rc == YM_PROP_NOT_FOUND) {
      rc = 0;
    }
    task.errorCode = rc;
    return rc;
  }

  template <class T>
  static int setList(EvTask& task, unsigned long long optionId, const std::list<T>& values, void* event) {
    task.clearErrors();
    task.clearBitInitialized();
    TaskOptionList list;
    for (const T& v : values) list.addToOptList(optionId, textOf(v), typeCodeOf(v));
    // Only the string kind takes the non-virtual path; every other kind goes
    // through the virtual setOptions, so that a subclass overriding it sees
    // the write.
    task.errorCode = std::is_same<T, std::string>::value ? task.setOptionsByRef(list, event)
                                                          : task.setOptions(list, event);
    return task.errorCode;
  }
};

// --- callbacks -------------------------------------------------------------------------

int EvTask::getOptionsCallback(unsigned long long optionId, std::string value, unsigned long type) {
  return addToOptCache(optionId, value, static_cast<int>(type));
}

int EvTask::getDefaultsCallback(unsigned long long optionId, std::string value, unsigned long type) {
  return addToDefCache(optionId, value, static_cast<int>(type));
}

int EvTask::getFilesCallback(unsigned long long optionId, std::string value, unsigned long type) {
  return addToFileCache(optionId, value, static_cast<int>(type));
}

// --- typed accessors ---------------------------------------------------------------------

#define EVTASK_TYPED_ACCESSORS(Kind, T)                                                            \
  int EvTask::getOption##Kind(unsigned long long optionId, T& value, void* event) {                \
    return OptionAccess::getScalar(*this, optionId, value, event);                                 \
  }                                                                                                \
  int EvTask::setOption##Kind(unsigned long long optionId, T value, void* event) {                 \
    return OptionAccess::setScalar(*this, optionId, value, event);                                 \
  }                                                                                                \
  int EvTask::getOption##Kind(unsigned long long optionId, std::list<T>& values, void* event) {    \
    return OptionAccess::getList(*this, optionId, values, event);                                  \
  }                                                                                                \
  int EvTask::setOption##Kind(unsigned long long optionId, std::list<T> values, void* event) {     \
    return OptionAccess::setList(*this, optionId, values, event);                                  \
  }

EVTASK_TYPED_ACCESSORS(String, std::string)
EVTASK_TYPED_ACCESSORS(Short, short)
EVTASK_TYPED_ACCESSORS(UShort, unsigned short)
EVTASK_TYPED_ACCESSORS(Int, int)
EVTASK_TYPED_ACCESSORS(UInt, unsigned int)
EVTASK_TYPED_ACCESSORS(Long, long)
EVTASK_TYPED_ACCESSORS(ULong, unsigned long)
EVTASK_TYPED_ACCESSORS(LongLong, long long)
EVTASK_TYPED_ACCESSORS(ULongLong, unsigned long long)
EVTASK_TYPED_ACCESSORS(Bool, bool)

#undef EVTASK_TYPED_ACCESSORS

// --- options ------------------------------------------------------------------------------

int EvTask::initOptions(void* event) {
  clearErrors();
  if (areOptsInitialized()) return 0;
  clearOptions();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->getOptions(taskInfo, this, errorString, event);
  if (errorCode == 0) setOptsInitialized();
  return errorCode;
}

int EvTask::getOptions(TaskOptionList& out, void* event) {
  clearErrors();
  if (areOptsInitialized()) {
    errorCode = getTaskOptions(out, event);
    return errorCode;
  }
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  clearOptions();
  errorCode = iface->getOptions(taskInfo, this, errorString, event);
  if (errorCode == 0) {
    TmTaskOptions::copyCacheTo(out);
    setOptsInitialized();
  }
  return errorCode;
}

int EvTask::setOptions(TaskOptionList options, void* event) { return setOptionsByRef(options, event); }

int EvTask::setOptionsByRef(const TaskOptionList& options, void* event) {
  clearErrors();
  clearBitInitialized();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->setOptions(taskInfo, options.getList(), errorString, event);
  if (errorCode == 0) afterOptionWrite(options);
  return errorCode;
}

int EvTask::removeOptions(TaskOptionList options, void* event) {
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->removeOptions(taskInfo, options.getList(), errorString, event);
  if (errorCode == 0) {
    std::vector<unsigned long long> ids;
    for (const TaskOption* o : options.getList()) ids.push_back(o->getOptionId());
    afterOptionRemoval(ids);
  }
  return errorCode;
}

int EvTask::removeOptions(std::vector<unsigned long long> optionIds, void* event) {
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->removeOptions(taskInfo, optionIds, errorString, event);
  if (errorCode == 0) afterOptionRemoval(optionIds);
  return errorCode;
}

// On the central server platform the server may store a write differently
// from what was sent (it merges and normalises), so the next read reloads.
// Elsewhere a loaded cache is updated in place: an id written with one value
// takes it in its first record (the rule setTaskOption relies on); an id
// written with several values reloads, since how the service combines them
// with the values it already holds is its own business. An unloaded cache
// stays unloaded and is filled by the next read.
void EvTask::afterOptionWrite(const TaskOptionList& written) {
  if ((platformType & 1) != 0) {
    resetOptsInitialized();
    return;
  }
  if (!areOptsInitialized()) return;
  std::multiset<unsigned long long> counts;
  for (const TaskOption* o : written.getList()) counts.insert(o->getOptionId());
  for (const TaskOption* o : written.getList()) {
    if (counts.count(o->getOptionId()) > 1) {
      resetOptsInitialized();
      return;
    }
  }
  for (const TaskOption* o : written.getList()) updateOptCache(*o);
}

void EvTask::afterOptionRemoval(const std::vector<unsigned long long>& optionIds) {
  if ((platformType & 1) != 0) {
    resetOptsInitialized();
    return;
  }
  if (!areOptsInitialized()) return;
  for (unsigned long long optionId : optionIds) delFromOptCache(optionId);
}

int EvTask::initDefaults(void* event) {
  // Held across the check and the load, so that concurrent first readers
  // load the defaults once. The default-cache lock is taken inside (by the
  // callback), never the other way round.
  YmCriticalSectionLock load(&defaultOptionsCS);
  clearErrors();
  if (areDefaultInitialized()) return 0;
  clearDefaults();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->getDefaults(this, errorString, event);
  if (errorCode == 0) setDefaultInitialized();
  return errorCode;
}

// --- files ------------------------------------------------------------------------------------

int EvTask::initFiles(void* event) {
  clearErrors();
  if (areFilesInitialized()) return 0;
  clearFiles();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->getFiles(taskInfo, this, errorString, event);
  if (errorCode == 0) setFilesInitialized();
  return errorCode;
}

int EvTask::getFiles(TaskFileList& out, int fileType, void* event) {
  clearErrors();
  if (areFilesInitialized()) {
    errorCode = getTaskFiles(out, fileType, event);
    return errorCode;
  }
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  // The record's id kind carries the wanted file type to the service for
  // this call only. Left in place it would readdress every later request of
  // the task (an option read of a task addressed by job would go out as
  // addressed by "150002"), so the task's own kind is put back.
  const long ownKind = taskInfo.idKind;
  taskInfo.idKind = fileType;
  clearFiles();
  errorCode = iface->getFiles(taskInfo, this, errorString, event);
  taskInfo.idKind = ownKind;
  if (errorCode == 0) {
    TmTaskFiles::copyCacheTo(out, 0);
    setFilesInitialized();
  }
  return errorCode;
}

int EvTask::setFiles(TaskFileList files, void* event) {
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->setFiles(taskInfo, files.getList(), errorString, event);
  if (errorCode == 0) afterFileWrite(files);
  return errorCode;
}

int EvTask::removeFiles(TaskFileList files, void* event) {
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->removeFiles(taskInfo, files.getList(), errorString, event);
  if (errorCode == 0) {
    std::vector<std::string> names;
    for (const TaskFile* f : files.getList()) names.push_back(f->getValue());
    afterFileRemoval(names);
  }
  return errorCode;
}

int EvTask::removeFiles(std::vector<std::string> names, void* event) {
  clearErrors();
  std::unique_ptr<TaskInterface> iface(getTaskInterface());
  if (!iface) return errorCode;
  errorCode = iface->removeFiles(taskInfo, names, errorString, event);
  if (errorCode == 0) afterFileRemoval(names);
  return errorCode;
}

void EvTask::afterFileWrite(const TaskFileList& written) {
  if ((platformType & 1) != 0) {
    resetFilesInitialized();
    return;
  }
  if (!areFilesInitialized()) return;
  for (const TaskFile* f : written.getList()) updateFileCache(*f);
}

void EvTask::afterFileRemoval(const std::vector<std::string>& names) {
  if ((platformType & 1) != 0) {
    resetFilesInitialized();
    return;
  }
  if (!areFilesInitialized()) return;
  for (const std::string& name : names) delFromFileCache(name);
}
