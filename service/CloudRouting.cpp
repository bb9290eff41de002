#include "service/CloudRouting.h"

#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/EvDebug.h"
#include "platform/YMPlatformInfo.h"
#include "platform/YmThread.h"

static_assert(sizeof(AppMgrShmUtil) == sizeof(YMSharedMemUtil) + sizeof(void*) + 2 * sizeof(int),
              "AppMgrShmUtil adds the segment reference, the handle and the key");

namespace {

const char kSetLog[] = "AppMgrShmUtil::setAPIRequest";
const char kGetLog[] = "AppMgrShmUtil::getAPIRequest";

const int kProjectId = 0xFEFA;
const int kSegmentSize = 4;
const int kKeyFileAttempts = 10;

struct SegmentLocation {
  std::string name;
  std::string keyFile;
};

// The calling thread's segment name and key file path.
SegmentLocation locateSegment() {
  char name[96];
  std::snprintf(name, sizeof name, "%s_%d_%u", "APPMGR_CLOUD_COMM_SHARED_MEMORY", static_cast<int>(getpid()),
                static_cast<unsigned>(YmThread::getCurrentThreadID()));
  YMPlatformInfo config;
  config.setFocus(YMPI_Focus::getFocus());
  std::string dir;
  config.getString("Base", "dORCHIDTEMPDIR", &dir);
  return SegmentLocation{name, dir + "/" + name};
}

// The IPC key of an open key file, computed from the descriptor the way
// ftok(path, kProjectId) computes it from the path, so that the file checked
// is the file keyed even if the path is swapped meanwhile.
int keyOfFile(const struct stat& st) {
  return static_cast<int>((static_cast<uint32_t>(st.st_ino) & 0xFFFFu) |
                          ((static_cast<uint32_t>(st.st_dev) & 0xFFu) << 16) |
                          ((static_cast<uint32_t>(kProjectId) & 0xFFu) << 24));
}

// Checks the open key file `fd` and gives its key, or -1 with `error` set.
// Only a regular file of the calling user with mode 0600 is trusted: anyone
// able to plant the file could otherwise choose the key and, with it, a
// segment they prepared.
int trustedKey(int fd, int& error) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    error = errno;
    return -1;
  }
  if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 07777) != 0600) {
    error = EACCES;
    return -1;
  }
  error = 0;
  return keyOfFile(st);
}

// Opens the existing key file without following a symbolic link (ELOOP)
// and gives its key, or -1 with `error` set.
int existingKey(const std::string& path, int& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  const int key = trustedKey(fd, error);
  close(fd);
  return key;
}

}  // namespace

bool isCloudLaptopPlatform() {
  static const char kLog[] = "::isCloudLaptopPlatform";
  YMPlatformInfo config;
  config.setFocus(YMPI_Focus::getFocus());
  const bool cloudLaptop = config.IsCloudLaptopClient() != 0;
  unsigned long disabled = 1;
  config.getNumber("NodeAgent", "sDisableCloudCaching", &disabled);
  if (disabled != 0) {
    EvDebug::DebugLvl(kLog, 6,
                      "AppMgr Cloud caching is disabled. Not using AppMgrCloud. Will route requests to AppMgrNet");
    return false;
  }
  if (!cloudLaptop) return false;
  EvDebug::DebugLvl(kLog, 6,
                    "This is a cloud laptop client. AppMgrCloud will be loaded and client caching will be used.");
  return true;
}

AppMgrShmUtil::AppMgrShmUtil() : m_segment(nullptr), m_handle(-1), m_key(0) {}

AppMgrShmUtil::~AppMgrShmUtil() = default;

bool AppMgrShmUtil::setAPIRequest(unsigned long requestId) {
  const SegmentLocation where = locateSegment();

  // The file only anchors the key; an existing one (left by an earlier
  // hand-off on this thread id) serves as well if it passes the checks.
  int fd = -1;
  int lastError = 0;
  int attemptsLeft = kKeyFileAttempts;
  while (attemptsLeft > 0) {
    --attemptsLeft;
    fd = open(where.keyFile.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_RDONLY | O_CLOEXEC, 0600);
    lastError = fd < 0 ? errno : 0;
    if (fd >= 0 || lastError == EEXIST) break;
  }
  if (fd < 0 && lastError != EEXIST) {
    EvDebug::Error(kSetLog, "Shared memory key creation failed. %d, %d, %d", fd, lastError, attemptsLeft);
    return false;
  }
  int keyError = 0;
  if (fd >= 0) {
    // The umask may have narrowed the mode; the file is ours, so set it.
    if (fchmod(fd, 0600) != 0) keyError = errno;
    m_key = keyError == 0 ? trustedKey(fd, keyError) : -1;
    close(fd);
  } else {
    m_key = existingKey(where.keyFile, keyError);
  }
  if (m_key == -1) {
    EvDebug::Error(kSetLog, "Failed to generate ftok key. %s, %d", where.keyFile.c_str(), keyError);
    return false;
  }

  int error = 0;
  m_segment = static_cast<uint32_t*>(createSharedMemory(m_key, m_handle, kSegmentSize, error));
  if (m_segment == nullptr) {
    if (error != YMSharedMemUtil::kAlreadyExists) {
      EvDebug::Error(kSetLog, "Failed to connect to shared memory, %d", error);
      return false;
    }
    m_segment = static_cast<uint32_t*>(getSharedMemory(m_key, error));
    if (m_segment == nullptr) {
      EvDebug::Error(kSetLog, "Failed to attach to the existing shared memory [%s][%u]. Error Code = %d",
                     where.name.c_str(), static_cast<unsigned>(m_key), error);
      return false;
    }
  }
  *m_segment = static_cast<uint32_t>(requestId);

  // The reader attaches on its own; keeping this mapping would only grow
  // the process's mappings by one per call.
  if (!detachSharedMemory(m_segment, error)) {
    EvDebug::Error(kSetLog, "detachSharedMemory failed, Ptr=%p returnCode = %d", static_cast<void*>(m_segment),
                   error);
  }
  m_segment = nullptr;
  return true;
}

AppMgrShmWrapper AppMgrShmUtil::getAPIRequest() {
  AppMgrShmWrapper result;
  const SegmentLocation where = locateSegment();

  int error = 0;
  m_key = existingKey(where.keyFile, error);
  if (m_key != -1) {
    // No trusted key file means no segment for this thread. The failure
    // value -1 is also a valid key of some unrelated segment, so it is never
    // looked up.
    m_segment = static_cast<uint32_t*>(getSharedMemory(m_key, error));
  }
  if (m_segment == nullptr) {
    // A handle kept from an earlier write names no segment of this read.
    m_handle = -1;
    EvDebug::Error(kGetLog, "Failed to open shared memory [%s][%u] to read the AppMgr request id. Error Code = %d",
                   where.name.c_str(), static_cast<unsigned>(m_key), error);
    return result;
  }

  result.requestId = *m_segment;
  // Cleared before the removal, so that the id is not handed out a second
  // time if the segment stays, and nothing is written after the removal
  // step, which may have detached the address.
  *m_segment = 0;
  error = 0;
  if (!deleteSharedMemory(m_segment, error, m_handle)) {
    EvDebug::Error(kGetLog, "deleteSharedMemory failed, handle=%d, Ptr=%p returnCode = %d", m_handle,
                   static_cast<void*>(m_segment), error);
    // The segment stays for whoever can remove it; do not keep a mapping per
    // failed read (a detach of an address no longer attached just fails).
    int detachError = 0;
    detachSharedMemory(m_segment, detachError);
  }
  m_segment = nullptr;
  m_handle = -1;
  return result;
}

bool setAppMgrCloudReqID(unsigned long) { return true; }

AppMgrShmWrapper getAppMgrCloudReqID() { return AppMgrShmWrapper(); }
