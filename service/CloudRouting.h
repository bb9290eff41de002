// Request routing for laptop clients managed from the cloud.
//
// On such a client, requests to the application manager can go through a
// client-side caching layer ("AppMgrCloud") instead of straight to the
// network layer ("AppMgrNet", see GetProcessNameAndID). isCloudLaptopPlatform
// makes that decision; AppMgrShmUtil hands a 32-bit request id from one layer
// to another inside the same process and thread through a 4-byte System V
// shared memory segment. Loading the caching layer and routing the requests
// are left to the callers.
//
// Segment naming: "APPMGR_CLOUD_COMM_SHARED_MEMORY_<pid>_<tid>" (tid: the
// kernel thread id). Its IPC key is ftok(<dir>/<name>, 0xFEFA), where <dir>
// is "dORCHIDTEMPDIR" in section "Base" of the configuration store (empty
// when missing, which puts the key file at "/<name>"). The key file is
// created on first use with mode 0600 and never removed; the segment has
// mode 0600 and lives from a setAPIRequest until the next getAPIRequest on
// the same thread.
//
// Trust: the key file is opened without following symbolic links and used
// only when it is a regular file owned by the calling user with mode 0600;
// the segment only when the calling user owns and created it and it is
// closed to group and others. Anything else is refused (logged; set gives
// false, get gives 0), so that another local user cannot plant the file or
// the segment to read or inject the id.
//
// Failures are logged as errors under "AppMgrShmUtil::setAPIRequest" and
// "AppMgrShmUtil::getAPIRequest"; nothing throws.
//
// Thread safety: segments are private to one process and thread by their
// name, so no lock is taken. One AppMgrShmUtil object must not be used by two
// threads at once; separate objects on separate threads are independent.
#ifndef EVTASK_SERVICE_CLOUDROUTING_H
#define EVTASK_SERVICE_CLOUDROUTING_H

#include <cstdint>

#include "evtask/export.h"
#include "platform/YMSharedMemUtil.h"

// True when requests go through the caching layer: "sDisableCloudCaching" in
// section "NodeAgent" is present with the value 0 and the platform reports a
// cloud laptop client. A missing or non-numeric value counts as 1
// (disabled). Logs the decision at level 6 under "::isCloudLaptopPlatform".
EVTASK_EXPORT bool isCloudLaptopPlatform();

// A request id read from the hand-off segment; 0 means none.
struct EVTASK_EXPORT AppMgrShmWrapper {
  uint32_t requestId;

  AppMgrShmWrapper() : requestId(0) {}
};
static_assert(sizeof(AppMgrShmWrapper) == 4, "AppMgrShmWrapper is one 32-bit id");

class EVTASK_EXPORT AppMgrShmUtil : public YMSharedMemUtil {
 public:
  AppMgrShmUtil();
  ~AppMgrShmUtil() override;

  // Stores `requestId` (its low 32 bits) in the calling thread's segment,
  // creating the key file and the segment when needed; an id stored earlier
  // and not yet read is overwritten. Returns true on success. The writer's
  // attachment is released before returning, so repeated calls keep no
  // mappings; the segment and the key file stay for the reader. Returns
  // false, with an error logged, when the key file cannot be created or is
  // not trusted, or the segment cannot be created or attached.
  bool setAPIRequest(unsigned long requestId);

  // Reads the id stored by setAPIRequest on the calling thread and removes
  // the segment, so a second call finds none. Returns the id, or an id of 0
  // (with an error logged) when this thread has no segment, for example on a
  // thread that never stored one. A segment that cannot be removed is still
  // read; its id is then cleared to 0 (so it is not returned twice) and this
  // process's attachment released.
  AppMgrShmWrapper getAPIRequest();

  // The segment id of the last segment this object created (-1 when none or
  // after getAPIRequest) and the key last computed (0 before any call).
  int getHandle() const { return m_handle; }
  int getKey() const { return m_key; }

 private:
  // The attached segment during an operation; null between operations.
  uint32_t* m_segment;
  int m_handle;
  int m_key;
};

// Entry points of the caching layer's interface that have nothing to do in
// this library: setAppMgrCloudReqID returns true and ignores its argument;
// getAppMgrCloudReqID returns an id of 0.
EVTASK_EXPORT bool setAppMgrCloudReqID(unsigned long requestId);
EVTASK_EXPORT AppMgrShmWrapper getAppMgrCloudReqID();

#endif  // EVTASK_SERVICE_CLOUDROUTING_H
