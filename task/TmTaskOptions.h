// The option caches of a task object: the task's own options and the
// default options that the task service holds for every task, shared by all
// task objects of the process.
//
// TmTaskOptions implements every cache-side operation and leaves loading and
// writing (initOptions, setOptions, initDefaults, removeOptions) to the task
// class. Records stay in the order in which they arrived or were added; when
// several records share an id, lookups and updates address the first one.
// Lookups by id go through an index from option id to the first record with
// that id, so they cost the same whatever the size of the cache; every
// change to a cache keeps its index right.
//
// Results: 0 for success, YM_PROP_NOT_FOUND when the wanted option is not
// cached, otherwise the code of the load or write operation. A load result of
// YM_DB_NODATA counts as a successful load of a possibly empty set for the
// single-record lookups. The trailing void* of an operation is the caller's
// event argument, passed on unread.
//
// Ownership: each object owns its cache and index. The shared default cache
// lives from library load to process exit. Pointers returned by the lookups
// point into a cache and stay valid until that cache next changes.
//
// Thread safety: a TmTaskOptions object is used by one thread at a time. The
// shared default cache and its loaded flag are guarded by the default-cache
// lock, held by each operation on them for its own run and never while the
// task service is called. Loading the defaults is serialised by the
// default-load lock defaultOptionsCS, always taken before the default-cache
// lock.
#ifndef EVTASK_TASK_TMTASKOPTIONS_H
#define EVTASK_TASK_TMTASKOPTIONS_H

#include <string>
#include <vector>

#include "evtask/export.h"
#include "platform/YmCriticalSection.h"
#include "records/TaskOption.h"

class TmOptionIndex;

// The virtual order below is part of the ABI.
class EVTASK_EXPORT TmTaskOptions {
 public:
  // Starts unloaded with an empty cache.
  TmTaskOptions();
  // Copies the loaded flag and makes a deep copy of the cache; the shared
  // default cache is never copied.
  TmTaskOptions(const TmTaskOptions& other);
  virtual ~TmTaskOptions();

  // As the copy constructor; assigning an object to itself changes nothing.
  virtual TmTaskOptions& operator=(const TmTaskOptions& other);

  // Remove every cached record with the id (of the argument); return 0.
  virtual int delFromOptCache(const TaskOption& option);
  virtual int delFromOptCache(unsigned long long optionId);
  // The first cached record with option's id takes option's value text (its
  // type code stays); without such a record a copy of option is appended.
  // Further records with the same id are left alone. Returns 0.
  virtual int updateOptCache(const TaskOption& option);
  // The same three operations on the shared default cache, each under the
  // default-cache lock.
  virtual int delFromDefCache(const TaskOption& option);
  virtual int delFromDefCache(unsigned long long optionId);
  virtual int updateDefCache(const TaskOption& option);
  // True when the cache holds a record with that id; loads nothing.
  virtual bool isOption(unsigned long long optionId);
  // Loads the options (or defaults) when needed and appends a copy of every
  // cached record to `out` in cache order. Any load result other than 0,
  // YM_DB_NODATA included, is returned and nothing is appended.
  virtual int getTaskOptions(TaskOptionList& out, void* event);
  virtual int getDefOptions(TaskOptionList& out, void* event);
  // Loads the options when needed and copies the value text of the first
  // record with option's id into option (whose type stays as built). Returns
  // YM_PROP_NOT_FOUND, leaving option unchanged, when there is none.
  virtual int getTaskOption(TaskOption& option, void* event);
  // Writes the option through setOptions; on success the cache is updated
  // with updateOptCache. A failed write leaves the cache untouched.
  virtual int setTaskOption(const TaskOption& option, void* event);
  // Removes the option (by id) through removeOptions; on success every
  // cached record with its id is dropped.
  virtual int removeTaskOption(const TaskOption& option, void* event);
  // As getTaskOption, on the shared default cache after initDefaults (which
  // runs outside the default-cache lock).
  virtual int getDefaultOption(TaskOption& option, void* event);
  // As getTaskOption; returns the cached record itself or null, with the
  // result code in `result`.
  virtual const TaskOption* getTaskOption(unsigned long long optionId, int& result, void* event);
  virtual int removeTaskOption(unsigned long long optionId, void* event);
  // As getDefaultOption; returns the shared record itself or null.
  virtual const TaskOption* getDefaultOption(unsigned long long optionId, int& result, void* event);

  // Loading and writing, supplied by the task class.
  virtual int initOptions(void* event) = 0;
  virtual int setOptions(TaskOptionList options, void* event) = 0;
  virtual int initDefaults(void* event) = 0;
  virtual int removeOptions(TaskOptionList options, void* event) = 0;
  virtual int removeOptions(std::vector<unsigned long long> optionIds, void* event) = 0;

  // The options-loaded flag. Clearing it does not empty the cache.
  bool areOptsInitialized();
  void setOptsInitialized();
  void resetOptsInitialized();
  // The shared defaults-loaded flag; the setter takes the default-cache lock.
  bool areDefaultInitialized();
  void setDefaultInitialized();

  // Empty the cache / the shared default cache (under its lock).
  void clearOptions();
  void clearDefaults();

  // Append one record (no check for an existing record with the same id);
  // return 0. The default forms take the default-cache lock.
  int addToOptCache(const TaskOption& option);
  int addToOptCache(const unsigned long long& optionId, const std::string& value, int type);
  int addToDefCache(const TaskOption& option);
  int addToDefCache(const unsigned long long& optionId, const std::string& value, int type);

  // Append a copy of every cached record to `out`, in cache order, without
  // emptying it; return 0. The default form takes the default-cache lock.
  int copyCacheTo(TaskOptionList& out);
  int copyDefCacheTo(TaskOptionList& out);

  // Test hook: empties the shared default cache and clears its loaded flag
  // (under both locks, in their order), so that a test can observe a first
  // load. The library itself never reloads the defaults.
  static void resetDefaultsForTesting();
  // Test hook: the default-cache lock, so that a test can check the lock
  // order from another thread.
  static YmCriticalSection& defaultCacheLockForTesting() { return m_defaultsCS; }

 protected:
  // The default-load lock: held by the task class's initDefaults across its
  // whole check-and-load, before any default-cache lock.
  static YmCriticalSection defaultOptionsCS;

 private:
  bool m_optsInitialized;
  TaskOptionList m_options;
  // Index of m_options: option id to its first record. Owned.
  TmOptionIndex* m_index;

  static TaskOptionList m_defaults;
  static bool m_defaultInitialized;
  // Guards m_defaults, its index and m_defaultInitialized.
  static YmCriticalSection m_defaultsCS;
};

#endif  // EVTASK_TASK_TMTASKOPTIONS_H
