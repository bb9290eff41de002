#include "service/CloudRouting.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/YMPlatformInfo.h"
#include "platform/YmThread.h"
#include "support/TestSupport.h"

namespace {

using evtask::test::LogCapture;

const char kSetLog[] = "AppMgrShmUtil::setAPIRequest";
const char kGetLog[] = "AppMgrShmUtil::getAPIRequest";
const int kProjectId = 0xFEFA;

// Sets (null: removes) a configuration value.
void setConfig(const char* section, const char* key, const char* value) {
  if (value != nullptr) {
    YMPlatformInfo::setValue(section, key, value);
  } else {
    YMPlatformInfo::removeValue(section, key);
  }
}

std::string segmentName() {
  return "APPMGR_CLOUD_COMM_SHARED_MEMORY_" + std::to_string(getpid()) + "_" +
         std::to_string(static_cast<unsigned>(YmThread::getCurrentThreadID()));
}

// The line that getAPIRequest logs when it finds no segment.
std::string openFailure(const std::string& name, key_t key, int error) {
  return "Failed to open shared memory [" + name + "][" + std::to_string(static_cast<unsigned>(key)) +
         "] to read the AppMgr request id. Error Code = " + std::to_string(error);
}

// Each test gets its own key directory; every segment named by a key file
// in it is removed afterwards, then the directory.
class CloudRoutingShmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/evtask-route-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(&pattern[0])) << std::strerror(errno);
    m_dir = pattern;
    YMPlatformInfo::clearStore();
    setConfig("Base", "dORCHIDTEMPDIR", m_dir.c_str());
  }

  void TearDown() override {
    YMSharedMemUtil::useMappingListForTesting(nullptr);
    for (void* segment : m_attached) shmdt(segment);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir, ec)) {
      const int id = segmentId(entry.path().filename());
      if (id >= 0) shmctl(id, IPC_RMID, nullptr);
    }
    std::filesystem::remove_all(m_dir, ec);
    YMPlatformInfo::clearStore();
  }

  std::string keyFile(const std::string& name = segmentName()) const { return m_dir + "/" + name; }
  key_t keyOf(const std::string& path) const { return ftok(path.c_str(), kProjectId); }

  // The segment id for a thread's key, or -1.
  int segmentId(const std::string& name = segmentName()) const {
    const key_t key = keyOf(keyFile(name));
    return key == -1 ? -1 : shmget(key, 0, 0);
  }

  // Number of attachments of the calling thread's segment; -1 when none.
  long attachments() const {
    struct shmid_ds ds;
    if (segmentId() < 0 || shmctl(segmentId(), IPC_STAT, &ds) != 0) return -1;
    return static_cast<long>(ds.shm_nattch);
  }

  // Attaches the calling thread's segment outside the utility.
  uint32_t* attachDirectly() {
    void* segment = segmentId() < 0 ? reinterpret_cast<void*>(-1) : shmat(segmentId(), nullptr, 0);
    if (segment == reinterpret_cast<void*>(-1)) return nullptr;
    m_attached.push_back(segment);
    return static_cast<uint32_t*>(segment);
  }

  // Creates a key file at `path` ahead of the utility.
  static void makeFile(const std::string& path, mode_t mode) {
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, mode);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    close(fd);
  }

  std::string m_dir;
  std::string m_noMaps;  // must outlive its use by the utility
  std::vector<void*> m_attached;
};

TEST_F(CloudRoutingShmTest, HandOffThroughOwnerOnlyFilesAndAStaleHandleIsForgotten) {
  const mode_t previous = umask(0);
  AppMgrShmUtil util;
  const bool stored = util.setAPIRequest(42);
  umask(previous);
  ASSERT_TRUE(stored);
  EXPECT_EQ(keyOf(keyFile()), util.getKey());
  EXPECT_EQ(0, attachments());  // the writer released its attachment
  struct stat st;
  ASSERT_EQ(0, lstat(keyFile().c_str(), &st)) << std::strerror(errno);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(0600u, st.st_mode & 07777u);
  struct shmid_ds ds;
  ASSERT_EQ(0, shmctl(segmentId(), IPC_STAT, &ds));
  EXPECT_EQ(0600u, ds.shm_perm.mode & 0777u);
  EXPECT_EQ(4u, ds.shm_segsz);

  LogCapture cap;
  EXPECT_EQ(42u, util.getAPIRequest().requestId);
  EXPECT_EQ(-1, segmentId());  // read and removed
  EXPECT_EQ(-1, util.getHandle());
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_EQ(0, access(keyFile().c_str(), F_OK)) << "the key file stays";

  ASSERT_TRUE(util.setAPIRequest(43));
  EXPECT_GE(util.getHandle(), 0);
  ASSERT_EQ(0, shmctl(segmentId(), IPC_RMID, nullptr));
  EXPECT_EQ(0u, util.getAPIRequest().requestId) << "a read that finds nothing";
  EXPECT_EQ(-1, util.getHandle()) << "and forgets the writer's handle";
  ASSERT_EQ(1u, cap.records().size()) << ::testing::PrintToString(cap.lines());
  EXPECT_EQ(EvLogRecord::kError, cap.records()[0].kind);
  EXPECT_TRUE(cap.contains(kGetLog, openFailure(segmentName(), keyOf(keyFile()), ENOENT)));
}

TEST_F(CloudRoutingShmTest, EachThreadHasASegmentOfItsOwnThatSetsOverwrite) {
  AppMgrShmUtil util;
  ASSERT_TRUE(util.setAPIRequest(1));
  const int id = segmentId();
  ASSERT_TRUE(util.setAPIRequest(0xFFFFFFFFul));
  EXPECT_EQ(id, segmentId());
  EXPECT_EQ(0, attachments());
  uint32_t otherFirst = 1, otherSecond = 0;
  std::thread other([&] {
    AppMgrShmUtil otherUtil;
    otherFirst = otherUtil.getAPIRequest().requestId;
    if (otherUtil.setAPIRequest(2000)) otherSecond = otherUtil.getAPIRequest().requestId;
  });
  other.join();
  EXPECT_EQ(0u, otherFirst);
  EXPECT_EQ(2000u, otherSecond);
  EXPECT_EQ(0xFFFFFFFFu, AppMgrShmUtil().getAPIRequest().requestId) << "another object of the same thread";
}

TEST_F(CloudRoutingShmTest, OnlyAPrivateRegularKeyFileOfTheCallerIsTrusted) {
  // Each way another local user could plant the key file, so as to choose
  // the key and a segment they prepared under it; and a directory that
  // does not exist.
  const std::string target = m_dir + "/target";
  makeFile(target, 0600);
  const struct {
    const char* what;
    std::function<void(const std::string&)> plant;
    int error;
  } cases[] = {
      {"open to others", [](const std::string& p) { makeFile(p, 0644); }, EACCES},
      {"group-readable", [](const std::string& p) { makeFile(p, 0640); }, EACCES},
      {"symbolic link", [&](const std::string& p) { EXPECT_EQ(0, symlink(target.c_str(), p.c_str())); }, ELOOP},
      {"directory", [](const std::string& p) { EXPECT_EQ(0, mkdir(p.c_str(), 0600)); }, EACCES},
      {"another owner",
       [](const std::string& p) {
         makeFile(p, 0600);
         EXPECT_EQ(0, chown(p.c_str(), 65534, 65534));
       },
       EACCES},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.what) == "another owner" && geteuid() != 0) continue;
    const std::string path = keyFile();
    c.plant(path);
    LogCapture cap;
    AppMgrShmUtil util;
    EXPECT_FALSE(util.setAPIRequest(42));
    EXPECT_TRUE(cap.contains(kSetLog, "Failed to generate ftok key. " + path + ", " + std::to_string(c.error)))
        << ::testing::PrintToString(cap.lines());
    EXPECT_EQ(0u, util.getAPIRequest().requestId);
    EXPECT_TRUE(cap.contains(kGetLog, openFailure(segmentName(), -1, c.error)));
    EXPECT_EQ(-1, shmget(ftok(target.c_str(), kProjectId), 0, 0)) << "no segment under the planted key";
    if (rmdir(path.c_str()) != 0) unlink(path.c_str());
  }
  setConfig("Base", "dORCHIDTEMPDIR", (m_dir + "/no-such-dir").c_str());
  LogCapture cap;
  EXPECT_FALSE(AppMgrShmUtil().setAPIRequest(42));
  EXPECT_TRUE(cap.contains(kSetLog, "Shared memory key creation failed. -1, " + std::to_string(ENOENT) + ", 0"))
      << ::testing::PrintToString(cap.lines());
  setConfig("Base", "dORCHIDTEMPDIR", m_dir.c_str());
  // A file of the caller that a narrow umask created 0400 is repaired, not refused.
  const mode_t previous = umask(0277);
  AppMgrShmUtil util;
  EXPECT_TRUE(util.setAPIRequest(9));
  umask(previous);
  EXPECT_EQ(9u, util.getAPIRequest().requestId);
}

TEST_F(CloudRoutingShmTest, SegmentPlantedByAnotherUserIsRefusedEvenWhenHandedOver) {
  if (geteuid() != 0) GTEST_SKIP() << "needs to act as another user";
  makeFile(keyFile(), 0600);
  const key_t key = keyOf(keyFile());
  // Another user creates the segment under the predictable key, writes an
  // id into it and hands ownership to the victim.
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    const int id = shmget(key, 4, IPC_CREAT | IPC_EXCL | 0600);
    void* p = id < 0 ? reinterpret_cast<void*>(-1) : shmat(id, nullptr, 0);
    if (p == reinterpret_cast<void*>(-1)) _exit(3);
    *static_cast<uint32_t*>(p) = 666;
    struct shmid_ds ds;
    if (shmctl(id, IPC_STAT, &ds) != 0) _exit(4);
    ds.shm_perm.uid = 0;
    ds.shm_perm.gid = 0;
    _exit(shmctl(id, IPC_SET, &ds) == 0 ? 0 : 5);
  }
  int status = -1;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  struct shmid_ds ds;
  ASSERT_EQ(0, shmctl(segmentId(), IPC_STAT, &ds));
  ASSERT_EQ(0u, ds.shm_perm.uid) << "owned by the victim now";

  LogCapture cap;
  AppMgrShmUtil util;
  EXPECT_EQ(0u, util.getAPIRequest().requestId) << "the planted id is not read";
  EXPECT_TRUE(cap.contains(kGetLog, openFailure(segmentName(), key, EACCES))) << ::testing::PrintToString(cap.lines());
  EXPECT_FALSE(util.setAPIRequest(42)) << "nothing is written into it either";
  uint32_t* planted = attachDirectly();
  ASSERT_NE(nullptr, planted);
  EXPECT_EQ(666u, *planted);
}

TEST_F(CloudRoutingShmTest, WithoutTheMappingListAFailedRemovalIsLoggedAndAStaleHandleDetachesNothing) {
  // Without the mapping list the segment cannot be identified by its
  // address; the writer's handle names a segment that is gone by the time
  // the same object writes a new one.
  m_noMaps = m_dir + "/no-maps";
  YMSharedMemUtil::useMappingListForTesting(m_noMaps.c_str());
  AppMgrShmUtil util;
  ASSERT_TRUE(util.setAPIRequest(1));
  const int stale = util.getHandle();
  ASSERT_EQ(0, shmctl(segmentId(), IPC_RMID, nullptr));
  ASSERT_TRUE(util.setAPIRequest(2));
  ASSERT_NE(stale, util.getHandle());
  AppMgrShmUtil reader;  // a fresh reader has no handle
  LogCapture cap;
  EXPECT_EQ(2u, reader.getAPIRequest().requestId);
  ASSERT_EQ(1u, cap.records().size()) << ::testing::PrintToString(cap.lines());
  const EvLogRecord record = cap.records()[0];
  EXPECT_EQ(EvLogRecord::kError, record.kind);
  EXPECT_EQ(kGetLog, record.name);
  const std::string logged = "deleteSharedMemory failed, handle=-1, Ptr=.* returnCode = " + std::to_string(EINVAL);
  EXPECT_THAT(record.text, ::testing::MatchesRegex(logged));
  // The segment is left in place, cleared, so it is not returned twice, and
  // without this process's attachment.
  EXPECT_EQ(0, attachments());
  uint32_t* segment = attachDirectly();
  ASSERT_NE(nullptr, segment);
  EXPECT_EQ(0u, *segment);

  // The utility itself: a stale handle leaves the segment attached.
  int error = 0;
  void* attached = reader.getSharedMemory(keyOf(keyFile()), error);
  ASSERT_NE(nullptr, attached);
  EXPECT_FALSE(reader.deleteSharedMemory(attached, error, stale));
  EXPECT_EQ(EINVAL, error);
  *static_cast<uint32_t*>(attached) = 5;  // still attached: no fault
  EXPECT_EQ(5u, *segment);
  EXPECT_TRUE(reader.detachSharedMemory(attached, error));

  YMSharedMemUtil::useMappingListForTesting(nullptr);
  cap.clear();
  EXPECT_EQ(5u, reader.getAPIRequest().requestId) << "with the mapping list it is read and removed";
  EXPECT_TRUE(cap.lines().empty()) << ::testing::PrintToString(cap.lines());
  EXPECT_EQ(-1, segmentId());
}

TEST(CloudRoutingTest, CachingEntryPointsAreNoOpsAndTheDecisionFollowsTheConfiguration) {
  for (unsigned long id : {0ul, 42ul, 0xFFFFFFFFul}) {
    EXPECT_TRUE(setAppMgrCloudReqID(id)) << id;
    EXPECT_EQ(0u, getAppMgrCloudReqID().requestId) << id;
  }
  EXPECT_EQ(0u, AppMgrShmWrapper().requestId);

  const std::string disabled =
      "AppMgr Cloud caching is disabled. Not using AppMgrCloud. Will route requests to AppMgrNet";
  const std::string cloud = "This is a cloud laptop client. AppMgrCloud will be loaded and client caching will be used.";
  const struct {
    const char* disableCaching;  // null: key missing
    const char* cloudLaptop;     // null: key missing
    bool expected;
    const std::string* line;  // the one line logged, or null for none
  } cases[] = {
      {nullptr, "1", false, &disabled},  // missing counts as disabled
      {nullptr, nullptr, false, &disabled}, {"1", "1", false, &disabled}, {"2", "1", false, &disabled},
      {"yes", "1", false, &disabled},  // not a number: missing
      {"0", "0", false, nullptr},        {"0", nullptr, false, nullptr},  {"0", "1", true, &cloud},
      {"0x0", "5", true, &cloud},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.disableCaching ? c.disableCaching : "-") + " " + (c.cloudLaptop ? c.cloudLaptop : "-"));
    setConfig("NodeAgent", "sDisableCloudCaching", c.disableCaching);
    setConfig("Platform", "CloudLaptopClient", c.cloudLaptop);
    LogCapture cap;
    EXPECT_EQ(c.expected, isCloudLaptopPlatform());
    const std::vector<EvLogRecord> records = cap.records();
    ASSERT_EQ(c.line != nullptr ? 1u : 0u, records.size()) << ::testing::PrintToString(cap.lines());
    if (c.line == nullptr) continue;
    EXPECT_EQ("::isCloudLaptopPlatform", records[0].name);
    EXPECT_EQ(*c.line, records[0].text);
    EXPECT_EQ(EvLogRecord::kLevel, records[0].kind);
    EXPECT_EQ(6, records[0].level);
  }
  YMPlatformInfo::clearStore();
}

}  // namespace
