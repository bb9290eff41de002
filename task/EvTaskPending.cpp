// EvTask operations whose capabilities are not part of this build yet: the
// schedule and job operations. Each answers YM_OPERATION_NOT_AVAILABLE with
// YM_OPERATION_NOT_AVAILABLE_TEXT, so that callers get a clear failure rather
// than a wrong result. A definition moves to its capability's file when that
// capability is built.
#include "platform/YmErrors.h"
#include "task/EvTask.h"

namespace {

int notAvailable(int& errorCode, std::string& errorString) {
  errorCode = YM_OPERATION_NOT_AVAILABLE;
  errorString = YM_OPERATION_NOT_AVAILABLE_TEXT;
  return errorCode;
}

}  // namespace

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
