// EvTask: the legacy ways of addressing options. Item numbers, option names,
// bit masks and extended-option positions translate to option ids through
// the fixed tables of LegacyOptionTables; bit options and extended options
// are read as ordinary options through the typed accessors; the XML and
// extended-option texts are fetched from the service once and kept in the
// task record.
#include <cstdlib>
#include <memory>

#include "platform/EvDebug.h"
#include "task/EvTask.h"
#include "task/LegacyOptionTables_internal.h"

using evtask::bitOptionMap;
using evtask::dbOptionMap;
using evtask::extendeOptionMap;
using evtask::kBitOptionMapRows;
using evtask::kDbOptionMapRows;
using evtask::kExtendeOptionMapRows;
using evtask::kOptionMapRows;
using evtask::optionMap;

namespace {

// The options that hold a task's legacy values, chosen by a kind number.
const unsigned long long kBitOptionsKind1 = 120001;
const unsigned long long kBitOptionsKind3 = 130006;
const unsigned long long kBitOptionsOther = 100003;
const unsigned long long kExtOptionsKind2 = 120002;
const unsigned long long kExtOptionsKind7 = 130005;
const unsigned long long kExtOptionsOther = 100004;

unsigned long long bitOptionsIdForRead(int kind) {
  if (kind == 1) return kBitOptionsKind1;
  if (kind == 3) return kBitOptionsKind3;
  return kBitOptionsOther;
}

// The flag test knows only kind 1 and the general word; kind 3 reads the
// general word here, unlike getBitOptions.
unsigned long long bitOptionsIdForTest(int kind) { return kind == 1 ? kBitOptionsKind1 : kBitOptionsOther; }

unsigned long long extOptionsId(int kind) {
  if (kind == 2) return kExtOptionsKind2;
  if (kind == 7) return kExtOptionsKind7;
  return kExtOptionsOther;
}

}  // namespace

// --- translations ------------------------------------------------------------------------

unsigned long long EvTask::itemToOptionId(unsigned long item) { return evtask::legacyItemToOptionId(item); }

unsigned long long EvTask::nameToOptionId(std::string name, bool db) {
  return db ? evtask::legacyNameToOptionId(dbOptionMap, kDbOptionMapRows, name)
            : evtask::legacyNameToOptionId(optionMap, kOptionMapRows, name);
}

unsigned long long EvTask::bitToOptionId(unsigned long long value, bool extended) {
  return extended ? evtask::legacyMaskToOptionId(extendeOptionMap, kExtendeOptionMapRows, value)
                  : evtask::legacyMaskToOptionId(bitOptionMap, kBitOptionMapRows, value);
}

const char* EvTask::optionIdToName(unsigned long long optionId, bool db) {
  return db ? evtask::legacyOptionIdToName(dbOptionMap, kDbOptionMapRows, optionId)
            : evtask::legacyOptionIdToName(optionMap, kOptionMapRows, optionId);
}

// --- fetched texts ---------------------------------------------------------------------------

int EvTask::getXMLOptions(std::string& xml, void* event) {
  EvEvent ev("EvTask::getXMLOptions");
  clearErrors();
  if (!xmlOptionsInitialized) {
    std::unique_ptr<TaskInterface> iface(getTaskInterface());
    if (iface) {
      errorCode = iface->getXMLOptions(taskInfo, errorString, event);
      if (errorCode == 0) xmlOptionsInitialized = true;
    }
  }
  if (errorCode == 0) xml = taskInfo.xmlOptions;
  return errorCode;
}

int EvTask::getExtendedOptions(int kind, std::string& text, void* event) {
  EvEvent ev("EvTask::getExtendedOptions");
  text.clear();
  clearErrors();
  if (!extOptionsInitialized) {
    std::unique_ptr<TaskInterface> iface(getTaskInterface());
    if (iface) {
      // The record's id kind tells the service which extended text is wanted,
      // for this call only: left in place it would readdress every later
      // request of the task, so the task's own kind is put back.
      const long ownKind = taskInfo.idKind;
      taskInfo.idKind = kind;
      errorCode = iface->getExtendedOptions(taskInfo, errorString, event);
      taskInfo.idKind = ownKind;
      if (errorCode == 0) extOptionsInitialized = true;
    }
  }
  if (errorCode == 0) text = taskInfo.extendedOptions;
  return errorCode;
}

// --- bit and extended options read as options --------------------------------------------------

int EvTask::getBitOptions(int kind, unsigned long long& bits, void* event) {
  EvEvent ev("EvTask::getBitOptions");
  bits = 0;
  clearErrors();
  const int rc = getOptionULongLong(bitOptionsIdForRead(kind), bits, event);
  EvDebug::DebugLvl("EvTask::getBitOptions", 5, static_cast<long long>(id), "Bit option [%lld]",
                    static_cast<long long>(bits));
  errorCode = rc;
  return rc;
}

int EvTask::isBitOptionSet(int kind, unsigned long long mask, bool& isSet, void* event) {
  EvEvent ev("EvTask::isBitOptionSet");
  clearErrors();
  isSet = false;
  unsigned long long word = 0;
  const int rc = getOptionULongLong(bitOptionsIdForTest(kind), word, event);
  if (rc == 0) isSet = (word & mask) == mask;
  EvDebug::DebugLvl("EvTask::isBitOptionSet", 5, static_cast<long long>(id),
                    "Bit option [%lld], option [%llu], isSet [%d]", static_cast<long long>(word), mask,
                    isSet ? 1 : 0);
  errorCode = rc;
  return rc;
}

int EvTask::isExtOptionSet(int kind, int position, bool& isSet, void* event) {
  EvEvent ev("EvTask::isExtOptionSet");
  clearErrors();
  isSet = false;
  std::string text;
  const int rc = getOptionString(extOptionsId(kind), text, event);
  if (rc == 0) {
    // A negative position becomes a huge unsigned one and falls outside.
    const std::string::size_type at = static_cast<unsigned int>(position);
    isSet = at < text.size() && text[at] == '1';
  }
  EvDebug::DebugLvl("EvTask::isExtOptionSet", 5, static_cast<long long>(id),
                    "Extended option string [%s], option [%d], isSet [%d]", text.c_str(), position, isSet ? 1 : 0);
  errorCode = rc;
  return rc;
}

int EvTask::setExtendedOptions(std::string text) {
  EvEvent ev("EvTask::setExtendedOptions");
  clearErrors();
  clearBitInitialized();
  EvDebug::DebugLvl("EvTask::setExtendedOptions", 1, static_cast<long long>(id),
                    "Extended option string input [%s].", text.c_str());
  int result = 0;
  for (std::string::size_type at = 0; at < text.size(); ++at) {
    const int position = static_cast<int>(at);
    const unsigned long long optionId = bitToOptionId(at, true);
    if (optionId == 0) {
      EvDebug::DebugLvl("EvTask::setExtendedOptions", 5, static_cast<long long>(id),
                        "Could not set extended option for bit position [%d]. Old extended option not mapped to "
                        "new option",
                        position);
      continue;
    }
    // Read as a decimal digit: '1' to '9' set the option, anything else
    // clears it.
    const char digit[2] = {text[at], '\0'};
    result = setOptionBool(optionId, std::atoi(digit) != 0, nullptr);
    if (result != 0) {
      EvDebug::DebugLvl("EvTask::setExtendedOptions", -1, static_cast<long long>(id),
                        "Could not set all extended options, failed on optionId/position [%llu/%d]. [%s]", optionId,
                        position, errorString.c_str());
      return result;
    }
  }
  errorCode = result;
  return result;
}
