// EvTask operations whose capabilities are not part of this build yet: the
// pre/post command options and the schedule and job operations. Each answers
// YM_OPERATION_NOT_AVAILABLE with YM_OPERATION_NOT_AVAILABLE_TEXT, so that
// callers get a clear failure rather than a wrong result. A definition moves
// to its capability's file when that capability is built.
#include "platform/YmErrors.h"
#include "task/EvTask.h"

namespace {

int notAvailable(int& errorCode, std::string& errorString) {
  errorCode = YM_OPERATION_NOT_AVAILABLE;
  errorString = YM_OPERATION_NOT_AVAILABLE_TEXT;
  return errorCode;
}

}  // namespace

// --- pre/post command options -----------------------------------------------------------------

#define EVTASK_PENDING_ITEM_OP(Name, Arg)   \
  int EvTask::Name(Arg, void*) {            \
    clearErrors();                          \
    return notAvailable(errorCode, errorString); \
  }

EVTASK_PENDING_ITEM_OP(getPreCommand, RestoreTaskOptionsItem&)
EVTASK_PENDING_ITEM_OP(setPreCommand, const RestoreTaskOptionsItem*)
EVTASK_PENDING_ITEM_OP(getPostCommand, RestoreTaskOptionsItem&)
EVTASK_PENDING_ITEM_OP(setPostCommand, const RestoreTaskOptionsItem*)
EVTASK_PENDING_ITEM_OP(getPrePostUserName, RestoreTaskOptionsItem&)
EVTASK_PENDING_ITEM_OP(getPrePostPassWord, RestoreTaskOptionsItem&)
EVTASK_PENDING_ITEM_OP(setPrePostUserName, const RestoreTaskOptionsItem*)
EVTASK_PENDING_ITEM_OP(setPrePostPassWord, const RestoreTaskOptionsItem*)

#undef EVTASK_PENDING_ITEM_OP

// --- schedule and job operations ----------------------------------------------------------------

int EvTask::CreateTask(std::string&, std::list<long long>&, int&, int, std::string& errorText, int, long long, bool,
                       bool) {
  clearErrors();
  notAvailable(errorCode, errorString);
  errorText = errorString;
  return errorCode;
}

int EvTask::TaskRequest(std::string&, std::list<long long>&, int&, int, std::string& errorText, unsigned long, int,
                        long long, bool, bool) {
  clearErrors();
  notAvailable(errorCode, errorString);
  errorText = errorString;
  return errorCode;
}

int EvTask::getAutomaticSchedulePattern(unsigned long, std::string&, void*) {
  clearErrors();
  return notAvailable(errorCode, errorString);
}

int EvTask::runTask(unsigned long, unsigned long, std::list<long long>&, std::string& errorText, int, int,
                    long long, bool, void*) {
  clearErrors();
  notAvailable(errorCode, errorString);
  errorText = errorString;
  return errorCode;
}

int EvTask::runTasks(std::vector<Sched_SubTask>&, std::list<long long>&, std::string& errorText, int, int, long long,
                     bool, void*) {
  clearErrors();
  notAvailable(errorCode, errorString);
  errorText = errorString;
  return errorCode;
}

int EvTask::performOperation(std::vector<_AutomaticTaskInfo>&, std::list<long long>&, std::string& errorText, int,
                             int, int, int, long long, bool, void*) {
  clearErrors();
  notAvailable(errorCode, errorString);
  errorText = errorString;
  return errorCode;
}
