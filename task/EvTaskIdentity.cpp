// EvTask: identity values of the task that the service stores as ordinary
// options under fixed ids.
#include "task/EvTask.h"

namespace {

const unsigned long long kSequenceNumber = 140001;
const unsigned long long kClientId = 140003;
const unsigned long long kAppTypeId = 140004;
const unsigned long long kInstanceId = 140005;
const unsigned long long kBackupSetId = 140006;
const unsigned long long kSubClientId = 140007;
const unsigned long long kPolicyId = 140008;
const unsigned long long kCopyId = 140009;
const unsigned long long kTrackingPolicyId = 140012;
const unsigned long long kTaskType = 140016;
const unsigned long long kSubTaskType = 140017;
const unsigned long long kOperationType = 140018;
const unsigned long long kUserId = 140019;
const unsigned long long kAlertId = 140020;
const unsigned long long kOwnerId = 140021;
const unsigned long long kLocaleId = 140022;
const unsigned long long kAgentlessPolicyId = 140024;
const unsigned long long kScheduleId = 140026;
const unsigned long long kUserDependentJobId = 887989224;  // 0x34EDA3E8
const unsigned long long kOriginalJobId = 1700227181;      // 0x6557686D

}  // namespace

// The getters without an event argument cannot report a failure: they start
// from 0 and return whatever the read left.

unsigned long EvTask::getTaskType() {
  unsigned long value = 0;
  getOptionULong(kTaskType, value, nullptr);
  return value;
}

unsigned long EvTask::getSubTaskType() {
  unsigned long value = 0;
  getOptionULong(kSubTaskType, value, nullptr);
  return value;
}

unsigned long EvTask::getOperationType() {
  unsigned long value = 0;
  getOptionULong(kOperationType, value, nullptr);
  return value;
}

long long EvTask::getSequenceNumber() {
  long long value = 0;
  getOptionLongLong(kSequenceNumber, value, nullptr);
  return value;
}

int EvTask::setSequenceNumber(long long value) { return setOptionLongLong(kSequenceNumber, value, nullptr); }

long EvTask::getUserId() {
  long value = 0;
  getOptionLong(kUserId, value, nullptr);
  return value;
}

int EvTask::setUserId(long value) { return setOptionLong(kUserId, value, nullptr); }

long EvTask::getAlertId() {
  long value = 0;
  getOptionLong(kAlertId, value, nullptr);
  return value;
}

int EvTask::setAlertId(long value) { return setOptionLong(kAlertId, value, nullptr); }

// The owner id is stored in its unsigned text form (setOwnerId), so an id
// such as -1 is held as "4294967295". The signed reading would clamp that
// text to 2147483647; the unsigned reading takes it whole and the cast gives
// the id back. Texts in signed form ("-5") read the same way, since the
// unsigned scan wraps them.
long EvTask::getOwnerId() {
  unsigned long value = 0;
  getOptionULong(kOwnerId, value, nullptr);
  return static_cast<long>(value);
}

// Written with the unsigned type code (10) and text.
int EvTask::setOwnerId(long value) {
  return setOptionULong(kOwnerId, static_cast<unsigned long>(value), nullptr);
}

long EvTask::getLocaleId() {
  long value = 0;
  getOptionLong(kLocaleId, value, nullptr);
  return value;
}

int EvTask::setLocaleId(long value) { return setOptionLong(kLocaleId, value, nullptr); }

int EvTask::getScheduleId() {
  int value = 0;
  getOptionInt(kScheduleId, value, nullptr);
  return value;
}

int EvTask::getTaskId() {
  int value = 0;
  getOptionInt(kScheduleId, value, nullptr);
  return value;
}

unsigned long long EvTask::getOriginalJobId() {
  unsigned long long value = 0;
  getOptionULongLong(kOriginalJobId, value, nullptr);
  return value;
}

int EvTask::getSeqNumber(long long& value, void* event) {
  value = getSequenceNumber();
  if (value != 0) return 0;
  return getOptionLongLong(kSequenceNumber, value, event);
}

int EvTask::setSeqNumber(long long value, void* event) { return setOptionLongLong(kSequenceNumber, value, event); }

int EvTask::getClientId(unsigned long& value, void* event) { return getOptionULong(kClientId, value, event); }
int EvTask::setClientId(unsigned long value, void* event) { return setOptionULong(kClientId, value, event); }
int EvTask::getAppTypeId(unsigned long& value, void* event) { return getOptionULong(kAppTypeId, value, event); }
int EvTask::setAppTypeId(unsigned long value, void* event) { return setOptionULong(kAppTypeId, value, event); }
int EvTask::getInstanceId(unsigned long& value, void* event) { return getOptionULong(kInstanceId, value, event); }
int EvTask::setInstanceId(unsigned long value, void* event) { return setOptionULong(kInstanceId, value, event); }
int EvTask::getBackupSetId(unsigned long& value, void* event) { return getOptionULong(kBackupSetId, value, event); }
int EvTask::setBackupSetId(unsigned long value, void* event) { return setOptionULong(kBackupSetId, value, event); }
int EvTask::getSubClientId(unsigned long& value, void* event) { return getOptionULong(kSubClientId, value, event); }
int EvTask::setSubClientId(unsigned long value, void* event) { return setOptionULong(kSubClientId, value, event); }
int EvTask::getPolicyId(unsigned long& value, void* event) { return getOptionULong(kPolicyId, value, event); }
int EvTask::setPolicyId(unsigned long value, void* event) { return setOptionULong(kPolicyId, value, event); }
int EvTask::getCopyId(unsigned long& value, void* event) { return getOptionULong(kCopyId, value, event); }
int EvTask::setCopyId(unsigned long value, void* event) { return setOptionULong(kCopyId, value, event); }

int EvTask::getTrackingPolicyId(unsigned long& value, void* event) {
  return getOptionULong(kTrackingPolicyId, value, event);
}

int EvTask::getAgentlessPolicyId(unsigned long& value, void* event) {
  return getOptionULong(kAgentlessPolicyId, value, event);
}

int EvTask::getUserDependentJobId(unsigned long long& value, void* event) {
  return getOptionULongLong(kUserDependentJobId, value, event);
}
