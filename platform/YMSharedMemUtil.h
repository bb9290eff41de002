// System V shared memory segments for evtask: create, attach and remove a
// segment named by an IPC key.
//
// Error codes: 0 for success; kAlreadyExists (183) when a segment to be
// created exists already; otherwise the errno value of the failing system
// call (for example ENOENT when no segment has the key, EACCES, EINVAL).
//
// deleteSharedMemory() finds the segment id from the attach address alone,
// in the kernel's list of the process's mappings, whichever object, call or
// other code attached it. Each successful create or get is one attachment;
// release each with deleteSharedMemory() or detachSharedMemory(), otherwise
// it stays mapped until the process ends.
//
// The class has no data members and a virtual destructor so that users can
// derive from it and add their own state after the base.
//
// Thread safety: all operations may be called from any thread; they are
// serialised internally. A segment must not be used after it was deleted or
// detached.
#ifndef EVTASK_PLATFORM_YMSHAREDMEMUTIL_H
#define EVTASK_PLATFORM_YMSHAREDMEMUTIL_H

#include "evtask/export.h"

class EVTASK_EXPORT YMSharedMemUtil {
 public:
  // Error reported when the segment to create exists already.
  static constexpr int kAlreadyExists = 183;

  YMSharedMemUtil() = default;
  virtual ~YMSharedMemUtil();

  // Creates a new segment of `size` bytes (zero-filled, mode 0600) for `key`
  // and attaches it. Returns its address, sets `handle` to its id and `error`
  // to 0. Returns null when the segment exists already (error
  // kAlreadyExists), when size is not positive (EINVAL) or when the system
  // refuses (errno); `handle` is then -1 and no segment is left behind.
  void* createSharedMemory(int key, int& handle, int size, int& error);

  // Attaches the existing segment of `key`. Returns its address with `error`
  // 0, or null with `error` set (ENOENT when no segment has the key). The
  // private key 0 names no shared segment and gives EINVAL. Only segments
  // owned and created by the calling user and closed to group and others are
  // attached; any other gives EACCES.
  void* getSharedMemory(int key, int& error);

  // Marks the segment attached at `segment` for removal and detaches it, so
  // the key no longer finds it and the memory is released once every other
  // attachment is gone. Returns true on success with `error` 0.
  //
  // The segment id is taken from the process's mappings, so a stale or wrong
  // `handle` cannot remove another segment, and an address that is no
  // attached segment fails with EINVAL without removing anything. On failure
  // the segment stays attached and `error` holds the reason. `handle` (the
  // segment's id, or -1 when not known) is used only when the mapping list
  // cannot be read: it must then name a live segment owned or created by the
  // calling user (else the errno of the status query, or EPERM), and, for an
  // address this class attached, be that segment's id (else EINVAL with
  // nothing touched), and the
  // segment is detached before it is removed. Should that removal fail, the
  // segment is attached again at the same address; only a segment that
  // vanished meanwhile is left detached.
  bool deleteSharedMemory(void* segment, int& error, int handle);

  // Detaches `segment` without removing it, for a user that only read or
  // wrote it. Returns true on success with `error` 0; false with `error` set.
  bool detachSharedMemory(void* segment, int& error);

  // Test hook: reads the mapping list from `path` instead of the process's
  // own (a path that cannot be opened simulates a system without it); null
  // restores the default.
  static void useMappingListForTesting(const char* path);

  YMSharedMemUtil(const YMSharedMemUtil&) = default;
  YMSharedMemUtil& operator=(const YMSharedMemUtil&) = default;
};

#endif  // EVTASK_PLATFORM_YMSHAREDMEMUTIL_H
