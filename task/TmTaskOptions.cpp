#include "task/TmTaskOptions.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/EvDebug.h"
#include "platform/YmErrors.h"

// Maps an option id to the first record with that id in one cache. The
// records are owned by the cache's list; the index only points at them.
//
// An open-addressing table of record pointers with linear probing: a cache
// of 100 000 options loads with a handful of table allocations instead of
// one heap node per option, and a slot is only a pointer (the id is read from
// the record, which sits near its neighbours when the ids came in order). The table size is a prime and an id's home
// slot is the id modulo that size, so the dense runs of ids a task usually
// has fill neighbouring slots (one cache line serves several lookups), while
// strided ids still spread over the whole table. The table is kept at most
// half full; a slot with a null record is free.
class TmOptionIndex {
 public:
  const TaskOption* find(unsigned long long optionId) const {
    if (m_slots.empty()) return nullptr;
    for (size_t i = home(optionId);; i = next(i)) {
      const TaskOption* s = m_slots[i];
      if (s == nullptr || s->getOptionId() == optionId) return s;
    }
  }

  // A record appended at the end is the first of its id only when no
  // earlier record has that id.
  void appended(const TaskOption* record) {
    if ((m_used + 1) * 2 > m_slots.size()) grow(m_used + 1);
    place(record);
  }

  // Every record with the id has left the cache. The slots after it in its
  // probe run are moved back so that no lookup stops short of its record.
  void erase(unsigned long long optionId) {
    if (m_slots.empty()) return;
    size_t i = home(optionId);
    for (;; i = next(i)) {
      if (m_slots[i] == nullptr) return;
      if (m_slots[i]->getOptionId() == optionId) break;
    }
    size_t hole = i;
    for (size_t j = next(hole); m_slots[j] != nullptr; j = next(j)) {
      // The slot at j may fill the hole when its home does not lie in the
      // cyclic range (hole, j].
      if (distance(home(m_slots[j]->getOptionId()), j) >= distance(hole, j)) {
        m_slots[hole] = m_slots[j];
        hole = j;
      }
    }
    m_slots[hole] = nullptr;
    --m_used;
  }

  void clear() {
    std::vector<const TaskOption*>().swap(m_slots);
    m_used = 0;
  }

  void rebuild(const TaskOptionList& list) {
    clear();
    grow(list.getList().size());
    for (const TaskOption* record : list.getList()) appended(record);
  }

 private:
  // The id folded to 32 bits (ids below 2^32 stay as they are) modulo the
  // table size: a 32-bit division, cheap on the 32-bit target.
  size_t home(unsigned long long optionId) const {
    const uint32_t folded = static_cast<uint32_t>(optionId) ^ static_cast<uint32_t>(optionId >> 32) * 0x9E3779B9u;
    return folded % static_cast<uint32_t>(m_slots.size());
  }
  size_t next(size_t i) const { return i + 1 == m_slots.size() ? 0 : i + 1; }
  // Steps from a forward to b, around the end of the table.
  size_t distance(size_t a, size_t b) const { return b >= a ? b - a : b + m_slots.size() - a; }

  // Adds the record unless its id is present already (an earlier record
  // keeps it).
  void place(const TaskOption* record) {
    const unsigned long long optionId = record->getOptionId();
    for (size_t i = home(optionId);; i = next(i)) {
      const TaskOption*& s = m_slots[i];
      if (s == nullptr) {
        s = record;
        ++m_used;
        return;
      }
      if (s->getOptionId() == optionId) return;
    }
  }

  // Makes room for `entries` ids in at most half the table, keeping the ids
  // already placed.
  void grow(size_t entries) {
    // Primes just above the powers of two from 16.
    static const uint32_t kSizes[] = {17u, 37u, 67u, 131u, 257u, 521u, 1031u, 2053u, 4099u, 8209u,
                                      16411u, 32771u, 65537u, 131101u, 262147u, 524309u, 1048583u,
                                      2097169u, 4194319u, 8388617u, 16777259u, 33554467u, 67108879u,
                                      134217757u, 268435459u, 536870923u, 1073741827u};
    size_t capacity = 0;
    for (const uint32_t size : kSizes) {
      capacity = size;
      if (size / 2 >= entries) break;
    }
    if (capacity <= m_slots.size()) return;
    std::vector<const TaskOption*> old(capacity, nullptr);
    old.swap(m_slots);
    m_used = 0;
    for (const TaskOption* s : old) {
      if (s != nullptr) place(s);
    }
  }

  std::vector<const TaskOption*> m_slots;
  size_t m_used = 0;
};

// Shared state, created at library load. The index is defined after the list
// it describes, so it is destroyed first at exit.
TaskOptionList TmTaskOptions::m_defaults;
bool TmTaskOptions::m_defaultInitialized = false;
YmCriticalSection TmTaskOptions::m_defaultsCS;
YmCriticalSection TmTaskOptions::defaultOptionsCS;

namespace {

TmOptionIndex g_defaultIndex;

const char* const kGetTaskOptionLog = "TmTaskOptions::getTaskOption";

bool loadSucceeded(int rc) { return rc == 0 || rc == YM_DB_NODATA; }

// The records the caches hold are created by TaskOptionList as modifiable
// objects; the list only hands them out as const. Updating one in place
// keeps its position, which the first-match rule depends on.
void setCachedValue(const TaskOption* record, const TaskOption& from) {
  const_cast<TaskOption*>(record)->setValue(from);
}

void appendTo(TaskOptionList& list, TmOptionIndex& index, const TaskOption& option) {
  list.addToOptList(option);
  index.appended(list.getList().back());
}

void updateIn(TaskOptionList& list, TmOptionIndex& index, const TaskOption& option) {
  const TaskOption* first = index.find(option.getOptionId());
  if (first != nullptr) {
    setCachedValue(first, option);
  } else {
    appendTo(list, index, option);
  }
}

void deleteFrom(TaskOptionList& list, TmOptionIndex& index, unsigned long long optionId) {
  // The index first: it reads the ids of the records it points at.
  index.erase(optionId);
  list.delFromOptList(optionId);
}

}  // namespace

TmTaskOptions::TmTaskOptions() : m_optsInitialized(false), m_index(new TmOptionIndex()) {}

TmTaskOptions::TmTaskOptions(const TmTaskOptions& other)
    : m_optsInitialized(other.m_optsInitialized), m_options(other.m_options), m_index(new TmOptionIndex()) {
  m_index->rebuild(m_options);
}

TmTaskOptions::~TmTaskOptions() {
  m_options.cleanUpList();
  delete m_index;
}

TmTaskOptions& TmTaskOptions::operator=(const TmTaskOptions& other) {
  if (this != &other) {
    m_optsInitialized = other.m_optsInitialized;
    m_options = other.m_options;
    m_index->rebuild(m_options);
  }
  return *this;
}

// --- per-object cache ---------------------------------------------------------

int TmTaskOptions::delFromOptCache(const TaskOption& option) {
  // `option` may be a record of this cache: take its id before deleting.
  return delFromOptCache(option.getOptionId());
}

int TmTaskOptions::delFromOptCache(unsigned long long optionId) {
  deleteFrom(m_options, *m_index, optionId);
  return 0;
}

int TmTaskOptions::updateOptCache(const TaskOption& option) {
  updateIn(m_options, *m_index, option);
  return 0;
}

bool TmTaskOptions::isOption(unsigned long long optionId) { return m_index->find(optionId) != nullptr; }

int TmTaskOptions::getTaskOptions(TaskOptionList& out, void* event) {
  const int rc = initOptions(event);
  if (rc != 0) return rc;
  return copyCacheTo(out);
}

int TmTaskOptions::getTaskOption(TaskOption& option, void* event) {
  int rc = 0;
  const TaskOption* found = getTaskOption(option.getOptionId(), rc, event);
  if (found == nullptr) return rc;
  option.setValue(*found);
  return 0;
}

const TaskOption* TmTaskOptions::getTaskOption(unsigned long long optionId, int& result, void* event) {
  result = initOptions(event);
  if (!loadSucceeded(result)) return nullptr;
  const TaskOption* found = m_index->find(optionId);
  if (found == nullptr) {
    result = YM_PROP_NOT_FOUND;
    return nullptr;
  }
  EvDebug::DebugLvl(kGetTaskOptionLog, 8, "Found optionId[%lld], value [%s], type[%d]",
                    static_cast<long long>(found->getOptionId()), found->getValue(), found->getType());
  result = 0;
  return found;
}

int TmTaskOptions::setTaskOption(const TaskOption& option, void* event) {
  TaskOptionList list;
  list.addToOptList(option);
  const int rc = setOptions(list, event);
  if (rc != 0) return rc;
  return updateOptCache(option);
}

int TmTaskOptions::removeTaskOption(const TaskOption& option, void* event) {
  TaskOptionList list;
  list.addToOptList(option);
  const int rc = removeOptions(list, event);
  if (rc == 0) delFromOptCache(option);
  return rc;
}

int TmTaskOptions::removeTaskOption(unsigned long long optionId, void* event) {
  const int rc = removeOptions(std::vector<unsigned long long>(1, optionId), event);
  if (rc == 0) delFromOptCache(optionId);
  return rc;
}

bool TmTaskOptions::areOptsInitialized() { return m_optsInitialized; }
void TmTaskOptions::setOptsInitialized() { m_optsInitialized = true; }
void TmTaskOptions::resetOptsInitialized() { m_optsInitialized = false; }

void TmTaskOptions::clearOptions() {
  m_options.cleanUpList();
  m_index->clear();
}

int TmTaskOptions::addToOptCache(const TaskOption& option) {
  appendTo(m_options, *m_index, option);
  return 0;
}

int TmTaskOptions::addToOptCache(const unsigned long long& optionId, const std::string& value, int type) {
  m_options.addToOptList(optionId, value, type);
  m_index->appended(m_options.getList().back());
  return 0;
}

int TmTaskOptions::copyCacheTo(TaskOptionList& out) {
  out.insertAtEnd(m_options.begin(), m_options.end());
  return 0;
}

// --- shared default cache ---------------------------------------------------------

int TmTaskOptions::delFromDefCache(const TaskOption& option) {
  const unsigned long long optionId = option.getOptionId();
  return delFromDefCache(optionId);
}

int TmTaskOptions::delFromDefCache(unsigned long long optionId) {
  YmCriticalSectionLock lock(&m_defaultsCS);
  deleteFrom(m_defaults, g_defaultIndex, optionId);
  return 0;
}

int TmTaskOptions::updateDefCache(const TaskOption& option) {
  YmCriticalSectionLock lock(&m_defaultsCS);
  updateIn(m_defaults, g_defaultIndex, option);
  return 0;
}

int TmTaskOptions::getDefOptions(TaskOptionList& out, void* event) {
  const int rc = initDefaults(event);
  if (rc != 0) return rc;
  return copyDefCacheTo(out);
}

int TmTaskOptions::getDefaultOption(TaskOption& option, void* event) {
  int rc = 0;
  // The value is copied under the lock: the shared record may be changed
  // by another thread as soon as the lock is released.
#ifdef EVTASK_REVERSED_LOCK_ORDER_PROBE
  // Never in a real build: the thread checkers' self-test builds this to
  // take the default-cache lock before the default-load lock, the order
  // they must report (scripts/threadcheck.sh).
  YmCriticalSectionLock reversed(&m_defaultsCS);
#endif
  const int loaded = initDefaults(event);
  YmCriticalSectionLock lock(&m_defaultsCS);
  if (!loadSucceeded(loaded)) return loaded;
  const TaskOption* found = g_defaultIndex.find(option.getOptionId());
  if (found == nullptr) {
    rc = YM_PROP_NOT_FOUND;
  } else {
    option.setValue(*found);
  }
  return rc;
}

const TaskOption* TmTaskOptions::getDefaultOption(unsigned long long optionId, int& result, void* event) {
  // Load first, outside the default-cache lock: initDefaults takes the
  // default-load lock, which must never be taken while this one is held.
  result = initDefaults(event);
  YmCriticalSectionLock lock(&m_defaultsCS);
  if (!loadSucceeded(result)) return nullptr;
  const TaskOption* found = g_defaultIndex.find(optionId);
  if (found == nullptr) {
    result = YM_PROP_NOT_FOUND;
    return nullptr;
  }
  result = 0;
  return found;
}

bool TmTaskOptions::areDefaultInitialized() { return m_defaultInitialized; }

void TmTaskOptions::setDefaultInitialized() {
  YmCriticalSectionLock lock(&m_defaultsCS);
  m_defaultInitialized = true;
}

void TmTaskOptions::clearDefaults() {
  YmCriticalSectionLock lock(&m_defaultsCS);
  m_defaults.cleanUpList();
  g_defaultIndex.clear();
}

int TmTaskOptions::addToDefCache(const TaskOption& option) {
  YmCriticalSectionLock lock(&m_defaultsCS);
  appendTo(m_defaults, g_defaultIndex, option);
  return 0;
}

int TmTaskOptions::addToDefCache(const unsigned long long& optionId, const std::string& value, int type) {
  YmCriticalSectionLock lock(&m_defaultsCS);
  m_defaults.addToOptList(optionId, value, type);
  g_defaultIndex.appended(m_defaults.getList().back());
  return 0;
}

int TmTaskOptions::copyDefCacheTo(TaskOptionList& out) {
  YmCriticalSectionLock lock(&m_defaultsCS);
  out.insertAtEnd(m_defaults.begin(), m_defaults.end());
  return 0;
}

void TmTaskOptions::resetDefaultsForTesting() {
  YmCriticalSectionLock load(&defaultOptionsCS);
  YmCriticalSectionLock lock(&m_defaultsCS);
  m_defaults.cleanUpList();
  g_defaultIndex.clear();
  m_defaultInitialized = false;
}
