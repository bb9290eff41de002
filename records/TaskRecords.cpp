#include "records/TaskRecords.h"

namespace {

// The eight owned path lists of a record, in declaration order.
using PathListMember = TaskFileList* _TaskInfo::*;
constexpr PathListMember kPathLists[] = {
    &_TaskInfo::srcPathList,    &_TaskInfo::destPathList, &_TaskInfo::filterPathList,
    &_TaskInfo::pathList8,      &_TaskInfo::pathList7,    &_TaskInfo::searchPathList,
    &_TaskInfo::userNameList,   &_TaskInfo::passwordList,
};

// Gives each path list of `info` a new list: a copy of the matching list of
// `source`, or an empty list when `source` is null. If an allocation fails,
// the lists made so far are deleted, every member is null again and the
// exception propagates (the record under construction is then never used).
void createPathLists(_TaskInfo& info, const _TaskInfo* source) {
  for (PathListMember member : kPathLists) info.*member = nullptr;
  try {
    for (PathListMember member : kPathLists) {
      info.*member = source != nullptr ? new TaskFileList(*(source->*member)) : new TaskFileList();
    }
  } catch (...) {
    for (PathListMember member : kPathLists) {
      delete (info.*member);
      info.*member = nullptr;
    }
    throw;
  }
}

}  // namespace

_TaskInfo::_TaskInfo()
    : jobId(0),
      taskId(0),
      subTaskId(0),
      idKind(0),
      optionKey(0),
      bitOptions(0),
      creationFlag(false) {
  createPathLists(*this, nullptr);
}

_TaskInfo::_TaskInfo(const _TaskInfo& other)
    : jobId(other.jobId),
      taskId(other.taskId),
      subTaskId(other.subTaskId),
      idKind(other.idKind),
      optionKey(other.optionKey),
      optionText(other.optionText),
      bitOptions(other.bitOptions),
      extendedOptions(other.extendedOptions),
      xmlOptions(other.xmlOptions),
      creationFlag(other.creationFlag),
      task(other.task),
      subTask(other.subTask),
      entities(other.entities),
      patterns(other.patterns) {
  createPathLists(*this, &other);
}

_TaskInfo& _TaskInfo::operator=(const _TaskInfo& other) {
  if (this == &other) return *this;
  jobId = other.jobId;
  taskId = other.taskId;
  subTaskId = other.subTaskId;
  idKind = other.idKind;
  optionKey = other.optionKey;
  optionText = other.optionText;
  bitOptions = other.bitOptions;
  extendedOptions = other.extendedOptions;
  xmlOptions = other.xmlOptions;
  creationFlag = other.creationFlag;
  task = other.task;
  subTask = other.subTask;
  entities = other.entities;
  patterns = other.patterns;
  // The target keeps its own list objects and refills them with copies.
  for (PathListMember member : kPathLists) *(this->*member) = *(other.*member);
  return *this;
}

_TaskInfo::~_TaskInfo() {
  for (PathListMember member : kPathLists) delete (this->*member);
}
