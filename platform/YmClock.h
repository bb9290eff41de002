// The platform clock and sleep, behind one seam that tests replace so that
// nothing waits for real.
//
// Thread safety: current() and the real clock may be used from any thread.
// set() is meant for test set-up, not for use while other threads sleep.
#ifndef EVTASK_PLATFORM_YMCLOCK_H
#define EVTASK_PLATFORM_YMCLOCK_H

#include <ctime>

#include "evtask/export.h"

class EVTASK_EXPORT YmClock {
 public:
  virtual ~YmClock();
  // Milliseconds of a monotonic clock.
  virtual long long monotonicMs() = 0;
  // Calendar time.
  virtual time_t now() = 0;
  // Suspends the calling thread for `ms` milliseconds.
  virtual void sleepMs(unsigned long ms) = 0;

  // The clock in use: the real one unless a replacement was set.
  static YmClock* current();
  // Installs a replacement (not owned); null restores the real clock.
  static void set(YmClock* clock);
};

// Suspends the calling thread through the current clock.
EVTASK_EXPORT void YmSleep(unsigned long ms);

#endif  // EVTASK_PLATFORM_YMCLOCK_H
