// Thread identity for evtask.
//
// Thread safety: getCurrentThreadID() may be called from any thread.
#ifndef EVTASK_PLATFORM_YMTHREAD_H
#define EVTASK_PLATFORM_YMTHREAD_H

#include "evtask/export.h"

class EVTASK_EXPORT YmThread {
 public:
  // The kernel thread id of the calling thread (the id shown by ps -L and
  // in /proc/<pid>/task). Unlike pthread_self() it is unique across the
  // system while the thread lives and fits in 32 bits, so it can name
  // per-thread resources such as shared memory segments.
  static unsigned long getCurrentThreadID();
};

#endif  // EVTASK_PLATFORM_YMTHREAD_H
