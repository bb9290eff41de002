#include "task/TmTaskOptions.h"

#include <unordered_map>

#include "platform/EvDebug.h"
#include "platform/YmErrors.h"

// Maps an option id to the first record with that id in one cache. The
// records are owned by the cache's list; the index only points at them.
class TmOptionIndex {
 public:
  const TaskOption* find(unsigned long long optionId) const {
    const auto it = m_first.find(optionId);
    return it == m_first.end() ? nullptr : it->second;
  }

  // A record appended at the end is the first of its id only when no
  // earlier record has that id.
  void appended(const TaskOption* record) { m_first.emplace(record->getOptionId(), record); }

  // Every record with the id has left the cache.
  void erase(unsigned long long optionId) { m_first.erase(optionId); }

  void clear() { m_first.clear(); }

  void rebuild(const TaskOptionList& list) {
    m_first.clear();
    m_first.reserve(list.getList().size());
    for (const TaskOption* record : list.getList()) appended(record);
  }

 private:
  std::unordered_map<unsigned long long, const TaskOption*> m_first;
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
  list.delFromOptList(optionId);
  index.erase(optionId);
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
