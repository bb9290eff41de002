#include "platform/YMSharedMemUtil.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace {

// Serialises this class's attach, lookup and detach steps, so that one
// thread cannot detach an address and attach something new there while
// another is between looking the address up and removing its segment.
std::mutex& shmMutex() {
  // Never destroyed: segments may still be released from static destructors
  // at exit.
  static std::mutex* m = new std::mutex;
  return *m;
}

// The segments this class attached, by address, kept under shmMutex(). Used
// only when the mapping list cannot be read: it tells whether a caller's id
// is the segment at an address this class attached. Never destroyed, like
// the mutex.
std::map<const void*, int>& attachedByUs() {
  static std::map<const void*, int>* m = new std::map<const void*, int>;
  return *m;
}

const char kDefaultMappingList[] = "/proc/self/maps";
std::atomic<const char*> g_mappingList{kDefaultMappingList};

void* const kShmFailed = reinterpret_cast<void*>(-1);

enum class Lookup { kFound, kNotAttached, kUnavailable };

// Finds the id of the System V segment attached at `segment` in the kernel's
// own list of this process's mappings. Such a mapping is named "/SYSV<key>"
// and its inode number is the segment id:
//
//   f7edd000-f7ede000 rw-s 00000000 00:01 32817   /SYSV5a0123cd
//
// This is exact whoever attached the segment, unlike any table kept here.
Lookup findAttachedId(const void* segment, int* id) {
  FILE* maps = std::fopen(g_mappingList.load(), "re");
  if (maps == nullptr) return Lookup::kUnavailable;
  const uintptr_t wanted = reinterpret_cast<uintptr_t>(segment);
  Lookup result = Lookup::kNotAttached;
  char* line = nullptr;
  size_t lineSize = 0;
  while (getline(&line, &lineSize, maps) > 0) {
    char* cursor = line;
    const unsigned long long start = std::strtoull(cursor, &cursor, 16);
    if (start != wanted || *cursor != '-') continue;
    // Skip the end address, permissions, offset and device fields.
    int fieldsSkipped = 0;
    while (fieldsSkipped < 4 && *cursor != '\0') {
      while (*cursor != '\0' && *cursor != ' ') ++cursor;
      while (*cursor == ' ') ++cursor;
      ++fieldsSkipped;
    }
    char* inodeEnd = nullptr;
    const unsigned long long inode = std::strtoull(cursor, &inodeEnd, 10);
    if (inodeEnd == cursor) break;
    cursor = inodeEnd;
    while (*cursor == ' ') ++cursor;
    if (std::strncmp(cursor, "/SYSV", 5) == 0 && inode <= static_cast<unsigned long long>(INT32_MAX)) {
      *id = static_cast<int>(inode);
      result = Lookup::kFound;
    }
    break;  // only one mapping can start at the address
  }
  std::free(line);
  std::fclose(maps);
  return result;
}

}  // namespace

YMSharedMemUtil::~YMSharedMemUtil() = default;

void YMSharedMemUtil::useMappingListForTesting(const char* path) {
  g_mappingList.store(path != nullptr ? path : kDefaultMappingList);
}

void* YMSharedMemUtil::createSharedMemory(int key, int& handle, int size, int& error) {
  handle = -1;
  if (size <= 0) {
    error = EINVAL;
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(shmMutex());
  const int id = shmget(static_cast<key_t>(key), static_cast<size_t>(size), IPC_CREAT | IPC_EXCL | 0600);
  if (id < 0) {
    error = errno == EEXIST ? kAlreadyExists : errno;
    return nullptr;
  }
  void* segment = shmat(id, nullptr, 0);
  if (segment == kShmFailed) {
    error = errno;
    // The segment is ours and unusable; leaving it would make the next
    // create for this key report that it exists.
    shmctl(id, IPC_RMID, nullptr);
    return nullptr;
  }
  handle = id;
  attachedByUs()[segment] = id;
  error = 0;
  return segment;
}

void* YMSharedMemUtil::getSharedMemory(int key, int& error) {
  if (key == IPC_PRIVATE) {
    // shmget would create a fresh segment for the private key instead of
    // finding one.
    error = EINVAL;
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(shmMutex());
  const int id = shmget(static_cast<key_t>(key), 0, 0);
  if (id < 0) {
    error = errno;
    return nullptr;
  }
  // Only a private segment of this user is trusted: another user could
  // otherwise plant a segment under the expected key and read or change
  // what is handed over through it.
  struct shmid_ds info;
  if (shmctl(id, IPC_STAT, &info) != 0) {
    error = errno;
    return nullptr;
  }
  // The creator counts as much as the owner: a creator may hand ownership
  // to the victim and still read and write the segment.
  if (info.shm_perm.uid != geteuid() || info.shm_perm.cuid != geteuid() || (info.shm_perm.mode & 0077) != 0) {
    error = EACCES;
    return nullptr;
  }
  void* segment = shmat(id, nullptr, 0);
  if (segment == kShmFailed) {
    error = errno;
    return nullptr;
  }
  attachedByUs()[segment] = id;
  error = 0;
  return segment;
}

bool YMSharedMemUtil::deleteSharedMemory(void* segment, int& error, int handle) {
  if (segment == nullptr) {
    error = EINVAL;
    return false;
  }
  std::lock_guard<std::mutex> lock(shmMutex());
  int id = -1;
  switch (findAttachedId(segment, &id)) {
    case Lookup::kFound:
      // Remove first while still attached: the id is certainly valid now,
      // and the kernel frees the memory when the last attachment goes.
      if (shmctl(id, IPC_RMID, nullptr) != 0 || shmdt(segment) != 0) {
        error = errno;
        return false;
      }
      attachedByUs().erase(segment);
      error = 0;
      return true;
    case Lookup::kNotAttached:
      error = EINVAL;
      return false;
    case Lookup::kUnavailable:
      break;
  }
  if (handle < 0) {
    error = EINVAL;
    return false;
  }
  // An address this class attached must be removed by its own id: another
  // live segment's id would detach this one and remove that one instead.
  const auto known = attachedByUs().find(segment);
  if (known != attachedByUs().end() && known->second != handle) {
    error = EINVAL;
    return false;
  }
  // Without the mapping list the caller's id is all there is. It must name a
  // live segment of this user before anything is touched; a stale id fails
  // here with the segment still attached.
  struct shmid_ds info;
  if (shmctl(handle, IPC_STAT, &info) != 0) {
    error = errno;
    return false;
  }
  if (info.shm_perm.uid != geteuid() && info.shm_perm.cuid != geteuid()) {
    error = EPERM;
    return false;
  }
  // Detaching first fails for an address that is no attachment at all,
  // before the id is trusted with a removal.
  if (shmdt(segment) != 0) {
    error = errno;
    return false;
  }
  if (shmctl(handle, IPC_RMID, nullptr) != 0) {
    error = errno;
    // Keep the promise that a failed removal leaves the segment attached:
    // attach it again at the same address.
    if (shmat(handle, segment, 0) == kShmFailed) {
      error = errno;
      attachedByUs().erase(segment);
    }
    return false;
  }
  attachedByUs().erase(segment);
  error = 0;
  return true;
}

bool YMSharedMemUtil::detachSharedMemory(void* segment, int& error) {
  if (segment == nullptr) {
    error = EINVAL;
    return false;
  }
  std::lock_guard<std::mutex> lock(shmMutex());
  if (shmdt(segment) != 0) {
    error = errno;
    return false;
  }
  attachedByUs().erase(segment);
  error = 0;
  return true;
}
