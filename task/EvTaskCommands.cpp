// EvTask: the pre-command, post-command and pre/post credential options,
// exchanged two at a time as a RestoreTaskOptionsItem: a number option read
// and written as unsigned long, and a text option.
#include <cstring>

#include "platform/EvDebug.h"
#include "platform/YmErrors.h"
#include "task/EvRstTask.h"
#include "task/EvTask.h"

namespace {

// The client of a pre or post command.
const unsigned long long kCommandClientId = 0x11825267;
const unsigned long long kPreCommand = 0x7bb2db41;
const unsigned long long kPostCommand = 0x301b488;
const unsigned long long kPrePostUserNameId = 0x2e6897b6;
const unsigned long long kPrePostUserName = 0x4d28708f;
const unsigned long long kPrePostPassword = 0xb464d16;

// One pair of options. `what` names it in the log lines ("Pre Command").
struct ItemOptions {
  const char* what;
  unsigned long long idOption;  // 0: the pair has no number
  unsigned long long valueOption;
};

const ItemOptions kPre = {"Pre Command", kCommandClientId, kPreCommand};
const ItemOptions kPost = {"Post Command", kCommandClientId, kPostCommand};
const ItemOptions kUserName = {"PrePost User Name", kPrePostUserNameId, kPrePostUserName};
const ItemOptions kPassword = {"PrePost User Password", 0, kPrePostPassword};

// Copies at most RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX characters and always
// terminates the field.
void copyCut(char (&field)[RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX + 1], const std::string& text) {
  const size_t n = text.size() < RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX ? text.size()
                                                                     : static_cast<size_t>(RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

// The caller's field as text: up to its terminator, and never more than
// RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX characters, so a field the caller left
// unterminated is not read past its end.
std::string fieldText(const char (&field)[RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX + 1]) {
  const void* nul = std::memchr(field, '\0', RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX);
  const size_t n = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - field)
                                  : static_cast<size_t>(RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX);
  return std::string(field, n);
}

// Reads the pair into `item`. With `noDataWhenEmpty` an empty text (missing,
// empty or unreadable) gives YM_DB_NODATA; otherwise the text read's result
// is returned.
int getItem(EvTask& task, long long jobId, const char* function, const ItemOptions& pair,
            RestoreTaskOptionsItem& item, bool noDataWhenEmpty, void* event) {
  item.id = 0;
  item.value[0] = '\0';
  if (pair.idOption != 0) {
    const int rc = task.getOptionULong(pair.idOption, item.id, event);
    if (rc != 0) {
      EvDebug::DebugLvl(function, -1, jobId, "Could not get %s Id. DB Error [%d]", pair.what, rc);
      return rc;
    }
  }
  std::string text;
  const int rc = task.getOptionString(pair.valueOption, text, event);
  if (rc != 0) {
    EvDebug::DebugLvl(function, -1, jobId, "Could not get %s value. DB Error [%d]", pair.what, rc);
  } else {
    copyCut(item.value, text);
  }
  if (!noDataWhenEmpty) return rc;
  return text.empty() ? YM_DB_NODATA : 0;
}

int setItem(EvTask& task, long long jobId, const char* function, const ItemOptions& pair,
            const RestoreTaskOptionsItem& item, void* event) {
  if (pair.idOption != 0) {
    const int rc = task.setOptionULong(pair.idOption, item.id, event);
    if (rc != 0) {
      EvDebug::DebugLvl(function, -1, jobId, "Could not set %s Id. DB Error [%d]", pair.what, rc);
      return rc;
    }
  }
  const int rc = task.setOptionString(pair.valueOption, fieldText(item.value), event);
  if (rc != 0) EvDebug::DebugLvl(function, -1, jobId, "Could not set %s value. DB Error [%d]", pair.what, rc);
  return rc;
}

}  // namespace

// A setter given no item has nothing to write: it answers YM_DB_NODATA.
#define EVTASK_ITEM_OPERATIONS(Get, Set, pair, noDataWhenEmpty)                                             \
  int EvTask::Get(RestoreTaskOptionsItem& item, void* event) {                                              \
    EvEvent ev("EvTask::" #Get);                                                                            \
    return getItem(*this, static_cast<long long>(id), "EvTask::" #Get, pair, item, noDataWhenEmpty, event); \
  }                                                                                                         \
  int EvTask::Set(const RestoreTaskOptionsItem* item, void* event) {                                        \
    EvEvent ev("EvTask::" #Set);                                                                            \
    if (item == nullptr) {                                                                                  \
      clearErrors();                                                                                        \
      errorCode = YM_DB_NODATA;                                                                             \
      EvDebug::DebugLvl("EvTask::" #Set, -1, static_cast<long long>(id), "No %s given.", pair.what);        \
      return errorCode;                                                                                     \
    }                                                                                                       \
    return setItem(*this, static_cast<long long>(id), "EvTask::" #Set, pair, *item, event);                 \
  }

EVTASK_ITEM_OPERATIONS(getPreCommand, setPreCommand, kPre, true)
EVTASK_ITEM_OPERATIONS(getPostCommand, setPostCommand, kPost, true)
EVTASK_ITEM_OPERATIONS(getPrePostUserName, setPrePostUserName, kUserName, true)
EVTASK_ITEM_OPERATIONS(getPrePostPassWord, setPrePostPassWord, kPassword, false)

#undef EVTASK_ITEM_OPERATIONS
