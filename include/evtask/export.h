// Export control for libevtask. The shared object is built with hidden
// visibility; only declarations marked EVTASK_EXPORT form its public ABI.
#ifndef EVTASK_EXPORT_H
#define EVTASK_EXPORT_H

#if defined(EVTASK_STATIC)
#define EVTASK_EXPORT
#else
#define EVTASK_EXPORT __attribute__((visibility("default")))
#endif

#define EVTASK_VERSION_MAJOR 1
#define EVTASK_VERSION_MINOR 0
#define EVTASK_VERSION_PATCH 0

#endif  // EVTASK_EXPORT_H
