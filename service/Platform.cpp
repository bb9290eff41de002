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
    platformType = info.getPlatformType();
    if (platformType > kMaxPlatformType) {
      EvDebug::Error("TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton",
                     "Unknown platform type [%lu] encountered. Will continue assuming non-CH platform.",
                     platformType);
      platformType = 4;
    }
  }
  return platformInstance;
}

unsigned long TaskPlatformInfoSingleton::getPlatformType() { return platformType; }

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
  oLibrary.Free();
}
