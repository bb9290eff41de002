#include "service/Platform.h"

#include <dlfcn.h>

#include "platform/EvDebug.h"
#include "platform/YMPlatformInfo.h"

TaskPlatformInfoSingleton* TaskPlatformInfoSingleton::platformInstance = nullptr;
unsigned long TaskPlatformInfoSingleton::platformType = 0;
void** TaskPlatformInfoSingleton::libHandle = nullptr;
TaskPlatformInfoSingleton::InterfaceFunction TaskPlatformInfoSingleton::libInterfaceFunction = nullptr;
CLuLibrary TaskPlatformInfoSingleton::oLibrary(true);
YmCriticalSection TaskPlatformInfoSingleton::platformCriticalSection;

TaskPlatformInfoSingleton::TaskPlatformInfoSingleton() = default;

TaskPlatformInfoSingleton::~TaskPlatformInfoSingleton() {
  if (libHandle != nullptr) {
    if (*libHandle != nullptr) dlclose(*libHandle);
    delete libHandle;
    libHandle = nullptr;
  }
}

TaskPlatformInfoSingleton* TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton() {
  YmCriticalSectionLock lock(&platformCriticalSection);
  if (platformInstance == nullptr) {
    platformInstance = new TaskPlatformInfoSingleton();
    YMPI_Base info;
    EvEvent ev("TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton");
    YMPI_EventManager::setFocus(info, YMPI_Focus::getFocus());
    // Computed in a local and stored once: getPlatformType reads without
    // the lock, and must never see an out-of-range type on its way to 4.
    unsigned long type = info.getPlatformType();
    if (type > kMaxPlatformType) {
      EvDebug::Error("TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton",
                     "Unknown platform type [%lu] encountered. Will continue assuming non-CH platform.", type);
      type = 4;
    }
    __atomic_store_n(&platformType, type, __ATOMIC_RELEASE);
  }
  return platformInstance;
}

unsigned long TaskPlatformInfoSingleton::getPlatformType() {
  return __atomic_load_n(&platformType, __ATOMIC_ACQUIRE);
}

void TaskPlatformInfoSingleton::setLibInterfaceFunction(InterfaceFunction fn) { libInterfaceFunction = fn; }

TaskPlatformInfoSingleton::InterfaceFunction TaskPlatformInfoSingleton::getLibInterfaceFunction() {
  return &getTaskInterface;
}

void TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton() {
  YmCriticalSectionLock lock(&platformCriticalSection);
  if (platformInstance != nullptr) {
    delete platformInstance;
    platformInstance = nullptr;
  }
  // No instance, no type: the next instance reads it afresh.
  __atomic_store_n(&platformType, 0UL, __ATOMIC_RELEASE);
  oLibrary.Free();
}
