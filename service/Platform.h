// Platform selection: determines, once per process, the platform type the
// library runs on, and hands out the factory of the task service.
//
// Thread safety: creation and deletion of the instance are serialised by
// platformCriticalSection; getPlatformType reads without the lock.
#ifndef EVTASK_SERVICE_PLATFORM_H
#define EVTASK_SERVICE_PLATFORM_H

#include "evtask/export.h"
#include "platform/CLuLibrary.h"
#include "platform/YmCriticalSection.h"
#include "service/TaskInterface.h"

class EVTASK_EXPORT TaskPlatformInfoSingleton {
 public:
  typedef void* (*InterfaceFunction)(EvTaskApiLibInterfaceType);

  // The instance, created on first use (which determines the platform type).
  static TaskPlatformInfoSingleton* getTaskPlatformInfoSingleton();
  // The platform type; 0 before the instance exists.
  static unsigned long getPlatformType();
  // Records `fn`; nothing in the library reads it back.
  static void setLibInterfaceFunction(InterfaceFunction fn);
  // Always the built-in factory getTaskInterface.
  static InterfaceFunction getLibInterfaceFunction();
  // Destroys the instance (if any) and releases the loader. A later
  // getTaskPlatformInfoSingleton creates a new instance.
  static void deleteTaskPlatformInfoSingleton();

  ~TaskPlatformInfoSingleton();

  // Platform types above this bound are unknown and replaced by 4.
  static const unsigned long kMaxPlatformType = 447;

 private:
  TaskPlatformInfoSingleton();

  static TaskPlatformInfoSingleton* platformInstance;
  static unsigned long platformType;
  static void** libHandle;
  static InterfaceFunction libInterfaceFunction;
  static CLuLibrary oLibrary;
  static YmCriticalSection platformCriticalSection;
};

#endif  // EVTASK_SERVICE_PLATFORM_H
