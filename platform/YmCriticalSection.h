// Mutual exclusion for evtask: the platform critical-section handle and the
// owning wrapper and scoped lock that the library uses everywhere.
//
// Thread safety: a YmCriticalSection may be entered from any thread; it is
// recursive, so the owning thread may enter it again (and must leave it as
// many times).
#ifndef EVTASK_PLATFORM_YMCRITICALSECTION_H
#define EVTASK_PLATFORM_YMCRITICALSECTION_H

#include <pthread.h>

#include "evtask/export.h"

// Platform critical-section handle. Created only through create(), which
// returns null when the underlying mutex cannot be set up.
class EVTASK_EXPORT YmCriticalSectionH {
 public:
  // Returns a new handle owned by the caller, or null on failure.
  static YmCriticalSectionH* create();
  ~YmCriticalSectionH();

  // Enters the section. With wait false, returns false instead of blocking
  // when another thread holds it; with wait true always returns true.
  bool enter(bool wait);
  void leave();

  // Test hook: while set, create() fails as if the system were out of memory.
  static void failCreateForTesting(bool fail);

  YmCriticalSectionH(const YmCriticalSectionH&) = delete;
  YmCriticalSectionH& operator=(const YmCriticalSectionH&) = delete;

 private:
  YmCriticalSectionH() = default;
  pthread_mutex_t m_mutex;
  bool m_initialized = false;
};

class EVTASK_EXPORT YmCriticalSection {
 public:
  // Throws the C string "Not enough memory to initialize YmCriticalSection"
  // when the platform handle cannot be created.
  YmCriticalSection();
  ~YmCriticalSection();

  void enter(bool wait = true);
  // Enters the section when no other thread holds it and returns true;
  // returns false at once otherwise (then leave() must not be called).
  bool tryEnter();
  void leave();

  YmCriticalSection(const YmCriticalSection&) = delete;
  YmCriticalSection& operator=(const YmCriticalSection&) = delete;

 private:
  YmCriticalSectionH* m_handle;
};

// Scoped lock: enters `cs` on construction and leaves it on destruction.
// A null `cs` makes both steps do nothing. The destructor never throws.
class EVTASK_EXPORT YmCriticalSectionLock {
 public:
  explicit YmCriticalSectionLock(YmCriticalSection* cs);
  ~YmCriticalSectionLock() noexcept;

  YmCriticalSectionLock(const YmCriticalSectionLock&) = delete;
  YmCriticalSectionLock& operator=(const YmCriticalSectionLock&) = delete;

 private:
  YmCriticalSection* m_cs;
};

#endif  // EVTASK_PLATFORM_YMCRITICALSECTION_H
