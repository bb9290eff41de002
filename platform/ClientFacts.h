// Facts about clients and instances known to the central server, answered
// by the application manager. Every query returns 0 when answered, else a
// code (the out-argument is then unchanged).
//
// Thread safety: each object is used by one thread; objects are independent.
#ifndef EVTASK_PLATFORM_CLIENTFACTS_H
#define EVTASK_PLATFORM_CLIENTFACTS_H

#include <string>

#include "evtask/export.h"

namespace App {
typedef int DistributedClusterType;
typedef int CloudAppsInstanceType;
}  // namespace App

class EVTASK_EXPORT YMClient {
 public:
  explicit YMClient(unsigned long clientId);
  int isNASClient(bool& isNas, void* event);
  int isNonNDMPClient(bool& isNonNdmp, void* event);

 private:
  unsigned long m_clientId;
};

class EVTASK_EXPORT ClientProperties {
 public:
  explicit ClientProperties(unsigned long clientId);
  // The client's version text; it starts with the two-digit release.
  int getVersionInfo(std::string& version, void* event);

 private:
  unsigned long m_clientId;
};

class EVTASK_EXPORT DistributedClusterInstance {
 public:
  explicit DistributedClusterInstance(unsigned long instanceId);
  int getClusterType(App::DistributedClusterType& type, void* event);

 private:
  unsigned long m_instanceId;
};

class EVTASK_EXPORT CloudAppsInstance {
 public:
  explicit CloudAppsInstance(unsigned long instanceId);
  int getInstanceType(App::CloudAppsInstanceType& type, void* event);

 private:
  unsigned long m_instanceId;
};

#endif  // EVTASK_PLATFORM_CLIENTFACTS_H
