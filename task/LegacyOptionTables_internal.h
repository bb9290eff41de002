// Translation tables from the legacy ways of naming a task option to option
// ids: item numbers, option names, single-bit masks of the 64-bit bit-option
// word and character positions of the extended-option string.
//
// Each table is a fixed array searched from its first row to its last; the
// first row whose key matches wins, and a miss yields 0 (or the empty text).
// Several keys may share one option id and some keys occur in more than one
// row: the later rows are never reached by a key lookup but are reached by
// the reverse lookup from id to name. An id of 0 means the key has no option;
// finding such a row returns 0 exactly as a miss does.
//
// Ids are stored as signed 32-bit values (all non-negative) and compared,
// widened to 64 bits, with the caller's 64-bit value, so an id whose upper
// half is not zero never matches.
//
// This header belongs to the library's internals: the tables and the lookup
// functions are not exported from the shared object; callers use the EvTask
// operations itemToOptionId, nameToOptionId, bitToOptionId and
// optionIdToName.
//
// Thread safety: the tables are constant and the lookups keep no state; any
// thread may call them at any time.
#ifndef EVTASK_TASK_LEGACYOPTIONTABLES_H
#define EVTASK_TASK_LEGACYOPTIONTABLES_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace evtask {

struct LegacyItemRow {
  int32_t optionId;
  uint32_t item;
};

// Keyed by a 64-bit value: a single-bit mask in bitOptionMap, a character
// position in extendeOptionMap.
struct LegacyMaskRow {
  int32_t optionId;
  uint64_t key;
};

// Names are compared case-sensitively and as whole texts.
struct LegacyNameRow {
  int32_t optionId;
  const char* name;
};

constexpr size_t kItemMapRows = 62;
constexpr size_t kBitOptionMapRows = 64;
constexpr size_t kExtendeOptionMapRows = 65;
constexpr size_t kOptionMapRows = 189;
constexpr size_t kDbOptionMapRows = 108;

// The first and last id of the block under which this system's application
// manager stores the named options whose ids the legacy callers never
// fixed (see optionMap and dbOptionMap in LegacyOptionTables.cpp). No other
// option id of the system lies inside the block.
constexpr int32_t kLegacyAssignedIdFirst = 1900000001;
constexpr int32_t kLegacyAssignedIdLast = 1900000234;

extern const LegacyItemRow itemMap[kItemMapRows];
extern const LegacyMaskRow bitOptionMap[kBitOptionMapRows];
extern const LegacyMaskRow extendeOptionMap[kExtendeOptionMapRows];
extern const LegacyNameRow optionMap[kOptionMapRows];
extern const LegacyNameRow dbOptionMap[kDbOptionMapRows];

// The option id of the first row with that key, or 0.
unsigned long long legacyItemToOptionId(unsigned long item);
unsigned long long legacyMaskToOptionId(const LegacyMaskRow* table, size_t rows, unsigned long long key);
unsigned long long legacyNameToOptionId(const LegacyNameRow* table, size_t rows, const std::string& name);
// The name of the first row with that id, or the empty text. The result
// points into the table (or at a static empty text) and stays valid for the
// life of the process.
const char* legacyOptionIdToName(const LegacyNameRow* table, size_t rows, unsigned long long optionId);

}  // namespace evtask

#endif  // EVTASK_TASK_LEGACYOPTIONTABLES_H
