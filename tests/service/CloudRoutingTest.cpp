#include "service/CloudRouting.h"

#include <dirent.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
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
const char kDecisionLog[] = "::isCloudLaptopPlatform";
const int kProjectId = 0xFEFA;

// Sets (null: removes) a configuration value; the previous state comes back afterwards.
struct ScopedConfigValue {
  ScopedConfigValue(const std::string& s, const std::string& k, const char* value) : section(s), key(k) {
    had = YMPlatformInfo().getString(section, key, &previous) != 0;
    set(value);
  }
  ~ScopedConfigValue() { set(had ? previous.c_str() : nullptr); }
  void set(const char* v) {
    if (v != nullptr) {
      YMPlatformInfo::setValue(section, key, v);
    } else {
      YMPlatformInfo::removeValue(section, key);
    }
  }
  std::string section, key, previous;
  bool had = false;
};

std::string segmentName() {
  char name[96];
  std::snprintf(name, sizeof name, "APPMGR_CLOUD_COMM_SHARED_MEMORY_%d_%u", static_cast<int>(getpid()),
                static_cast<unsigned>(YmThread::getCurrentThreadID()));
  return name;
}

// Removes the segment that the key file at `path` names, if any.
void removeSegmentOf(const std::string& path) {
  const key_t key = ftok(path.c_str(), kProjectId);
  if (key == -1) return;
  const int id = shmget(key, 0, 0);
  if (id >= 0) shmctl(id, IPC_RMID, nullptr);
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
    m_tempDir.reset(new ScopedConfigValue("Base", "dORCHIDTEMPDIR", m_dir.c_str()));
  }

  void TearDown() override {
    YMSharedMemUtil::useMappingListForTesting(nullptr);
    for (void* segment : m_attached) shmdt(segment);
    if (DIR* d = opendir(m_dir.c_str())) {
      std::vector<std::string> entries;
      while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") entries.push_back(m_dir + "/" + name);
      }
      closedir(d);
      for (const std::string& path : entries) {
        removeSegmentOf(path);
        unlink(path.c_str());
      }
    }
    rmdir(m_dir.c_str());
    m_tempDir.reset();
  }

  std::string keyFile(const std::string& name = segmentName()) const { return m_dir + "/" + name; }

  key_t keyOf(const std::string& path) const { return ftok(path.c_str(), kProjectId); }

  // The segment id for the calling thread's key, or -1.
  int segmentId() const {
    const key_t key = keyOf(keyFile());
    return key == -1 ? -1 : shmget(key, 0, 0);
  }

  // Number of attachments of the calling thread's segment; -1 when none.
  long attachments() const {
    const int id = segmentId();
    struct shmid_ds ds;
    if (id < 0 || shmctl(id, IPC_STAT, &ds) != 0) return -1;
    return static_cast<long>(ds.shm_nattch);
  }

  // Attaches the calling thread's segment outside the utility.
  uint32_t* attachDirectly() {
    const int id = segmentId();
    if (id < 0) return nullptr;
    void* segment = shmat(id, nullptr, 0);
    if (segment == reinterpret_cast<void*>(-1)) return nullptr;
    m_attached.push_back(segment);
    return static_cast<uint32_t*>(segment);
  }

  // Creates the calling thread's key file ahead of the utility.
  void makeKeyFile(mode_t mode, const char* content = "") {
    const int fd = open(keyFile().c_str(), O_CREAT | O_EXCL | O_WRONLY, mode);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    const ssize_t length = static_cast<ssize_t>(std::strlen(content));
    EXPECT_EQ(length, write(fd, content, static_cast<size_t>(length)));
    close(fd);
  }

  // Makes the shared memory utility run without the process's mapping list
  // (a path that does not exist); TearDown restores it.
  void hideMappingList() {
    m_noMaps = m_dir + "/no-maps";
    YMSharedMemUtil::useMappingListForTesting(m_noMaps.c_str());
  }

  std::string m_dir;
  std::string m_noMaps;  // must outlive its use by the utility
  std::unique_ptr<ScopedConfigValue> m_tempDir;
  std::vector<void*> m_attached;
};

// ---------------------------------------------------------------------------
// Hand-off

TEST_F(CloudRoutingShmTest, HandOffOnOneThreadThroughOwnerOnlyFiles) {
  const mode_t previous = umask(0);
  AppMgrShmUtil util;
  const bool stored = util.setAPIRequest(42);
  umask(previous);
  ASSERT_TRUE(stored);
  EXPECT_NE(-1, util.getKey());
  EXPECT_EQ(keyOf(keyFile()), util.getKey());
  EXPECT_EQ(0, attachments());  // the writer released its attachment
  struct stat st;
  ASSERT_EQ(0, lstat(keyFile().c_str(), &st)) << std::strerror(errno);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(0600u, st.st_mode & 07777u);
  EXPECT_EQ(0, st.st_size);
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
  EXPECT_TRUE(cap.contains(kGetLog, openFailure(segmentName(), keyOf(keyFile()), ENOENT)))
      << ::testing::PrintToString(cap.lines());
  ASSERT_EQ(1u, cap.records().size());
  EXPECT_EQ(EvLogRecord::kError, cap.records()[0].kind);
}

TEST_F(CloudRoutingShmTest, RepeatedSetsOverwriteTheIdInTheSameSegmentAndKeepNoAttachment) {
  AppMgrShmUtil util;
  ASSERT_TRUE(util.setAPIRequest(1));
  const int firstSegment = segmentId();
  for (unsigned long id = 2; id <= 50; ++id) {
    ASSERT_TRUE(util.setAPIRequest(id == 50 ? 0xFFFFFFFFul : id));
    ASSERT_EQ(firstSegment, segmentId()) << "after set " << id;
    ASSERT_EQ(0, attachments()) << "after set " << id;
  }
  AppMgrShmUtil reader;  // another object of the same thread
  EXPECT_EQ(0xFFFFFFFFu, reader.getAPIRequest().requestId);
  EXPECT_EQ(0u, util.getAPIRequest().requestId);
}

TEST_F(CloudRoutingShmTest, ThreadsSeeOnlyTheirOwnSegment) {
  AppMgrShmUtil util;
  ASSERT_TRUE(util.setAPIRequest(1000));
  LogCapture cap;
  uint32_t otherFirst = 1, otherSecond = 0;
  bool otherStored = false, otherKeyFileBefore = true;
  std::string otherName;
  std::thread other([&] {
    AppMgrShmUtil otherUtil;
    otherName = segmentName();
    otherFirst = otherUtil.getAPIRequest().requestId;
    otherKeyFileBefore = access(keyFile(otherName).c_str(), F_OK) == 0;
    otherStored = otherUtil.setAPIRequest(2000);
    otherSecond = otherUtil.getAPIRequest().requestId;
  });
  other.join();
  EXPECT_NE(segmentName(), otherName);
  EXPECT_EQ(0u, otherFirst);
  EXPECT_TRUE(cap.contains(kGetLog, openFailure(otherName, -1, ENOENT))) << ::testing::PrintToString(cap.lines());
  EXPECT_FALSE(otherKeyFileBefore);
  EXPECT_TRUE(otherStored);
  EXPECT_EQ(2000u, otherSecond);
  EXPECT_EQ(1000u, util.getAPIRequest().requestId);
}

TEST_F(CloudRoutingShmTest, ExistingSegmentIsReusedAndOverwritten) {
  // A segment left from before, holding another id.
  ASSERT_EQ(-1, keyOf(keyFile()));  // no key file yet
  makeKeyFile(0600);
  const int id = shmget(keyOf(keyFile()), 4, IPC_CREAT | IPC_EXCL | 0600);
  ASSERT_GE(id, 0) << std::strerror(errno);
  uint32_t* stale = attachDirectly();
  ASSERT_NE(nullptr, stale);
  *stale = 99;

  AppMgrShmUtil util;
  ASSERT_TRUE(util.setAPIRequest(5));
  EXPECT_EQ(id, segmentId());
  EXPECT_EQ(5u, *stale);
  EXPECT_EQ(5u, util.getAPIRequest().requestId);
}

// ---------------------------------------------------------------------------
// Key file

TEST_F(CloudRoutingShmTest, OnlyAPrivateRegularKeyFileOfTheCallerIsTrusted) {
  // Each way another local user could plant the key file, so as to choose
  // the key and a segment they prepared under it.
  const std::string target = m_dir + "/target";
  struct Case {
    const char* what;
    std::function<void(const std::string&)> plant;
    int error;
  };
  const std::vector<Case> cases = {
      {"open to others", [](const std::string& p) { close(open(p.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644)); },
       EACCES},
      {"group-readable", [](const std::string& p) { close(open(p.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0640)); },
       EACCES},
      {"symbolic link", [&](const std::string& p) { EXPECT_EQ(0, symlink(target.c_str(), p.c_str())); }, ELOOP},
      {"directory", [](const std::string& p) { EXPECT_EQ(0, mkdir(p.c_str(), 0600)); }, EACCES},
      {"another owner",
       [](const std::string& p) {
         close(open(p.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600));
         EXPECT_EQ(0, chown(p.c_str(), 65534, 65534));
       },
       EACCES},
  };
  close(open(target.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600));
  for (const Case& c : cases) {
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
    EXPECT_TRUE(cap.contains(kGetLog, openFailure(segmentName(), -1, c.error))) << ::testing::PrintToString(cap.lines());
    EXPECT_EQ(-1, shmget(ftok(target.c_str(), kProjectId), 0, 0)) << "no segment under the planted key";
    if (rmdir(path.c_str()) != 0) unlink(path.c_str());
  }
  // A file of the caller that a narrow umask created 0400 is repaired, not refused.
  const mode_t previous = umask(0277);
  AppMgrShmUtil util;
  EXPECT_TRUE(util.setAPIRequest(9));
  umask(previous);
  EXPECT_EQ(9u, util.getAPIRequest().requestId);
}

TEST_F(CloudRoutingShmTest, SegmentPlantedByAnotherUserIsRefusedEvenWhenHandedOver) {
  if (geteuid() != 0) GTEST_SKIP() << "needs to act as another user";
  makeKeyFile(0600);
  const key_t key = keyOf(keyFile());
  // Another user creates the segment under the predictable key, writes an
  // id into it and hands ownership to the victim.
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    const int id = shmget(key, 4, IPC_CREAT | IPC_EXCL | 0600);
    if (id < 0) _exit(3);
    void* p = shmat(id, nullptr, 0);
    if (p == reinterpret_cast<void*>(-1)) _exit(4);
    *static_cast<uint32_t*>(p) = 666;
    struct shmid_ds ds;
    if (shmctl(id, IPC_STAT, &ds) != 0) _exit(5);
    ds.shm_perm.uid = 0;
    ds.shm_perm.gid = 0;
    _exit(shmctl(id, IPC_SET, &ds) == 0 ? 0 : 6);
  }
  int status = -1;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(0, WEXITSTATUS(status));
  struct shmid_ds ds;
  ASSERT_EQ(0, shmctl(segmentId(), IPC_STAT, &ds));
  ASSERT_EQ(0u, ds.shm_perm.uid) << "owned by the victim now";
  ASSERT_NE(0u, ds.shm_perm.cuid);

  LogCapture cap;
  AppMgrShmUtil util;
  EXPECT_EQ(0u, util.getAPIRequest().requestId) << "the planted id is not read";
  EXPECT_TRUE(cap.contains(kGetLog, openFailure(segmentName(), key, EACCES))) << ::testing::PrintToString(cap.lines());
  EXPECT_FALSE(util.setAPIRequest(42)) << "nothing is written into it either";
  uint32_t* planted = attachDirectly();
  ASSERT_NE(nullptr, planted);
  EXPECT_EQ(666u, *planted);
}

TEST_F(CloudRoutingShmTest, KeyFileThatCannotBeCreatedFails) {
  const std::string missing = m_dir + "/no-such-dir";
  ScopedConfigValue dir("Base", "dORCHIDTEMPDIR", missing.c_str());
  LogCapture cap;
  AppMgrShmUtil util;
  EXPECT_FALSE(util.setAPIRequest(42));
  EXPECT_TRUE(cap.contains(kSetLog, "Shared memory key creation failed. -1, " + std::to_string(ENOENT) + ", 0"))
      << ::testing::PrintToString(cap.lines());
  ASSERT_EQ(1u, cap.records().size());
  EXPECT_EQ(EvLogRecord::kError, cap.records()[0].kind);
  EXPECT_NE(0, access(missing.c_str(), F_OK));

  cap.clear();
  EXPECT_EQ(0u, util.getAPIRequest().requestId);
  EXPECT_TRUE(cap.contains(kGetLog, openFailure(segmentName(), -1, ENOENT)));
}

// ---------------------------------------------------------------------------
// Segment failures

TEST_F(CloudRoutingShmTest, FailedRemovalIsLoggedAndTheIdNotReturnedTwice) {
  AppMgrShmUtil writer;
  ASSERT_TRUE(writer.setAPIRequest(42));
  // A fresh reader has no handle, and without the mapping list the segment
  // cannot be identified for removal.
  hideMappingList();
  AppMgrShmUtil reader;
  LogCapture cap;
  EXPECT_EQ(42u, reader.getAPIRequest().requestId);
  ASSERT_EQ(1u, cap.records().size()) << ::testing::PrintToString(cap.lines());
  const EvLogRecord record = cap.records()[0];
  EXPECT_EQ(EvLogRecord::kError, record.kind);
  EXPECT_EQ(kGetLog, record.name);
  EXPECT_EQ(0u, record.text.find("deleteSharedMemory failed, handle=-1, Ptr=")) << record.text;
  const std::string tail = " returnCode = " + std::to_string(EINVAL);
  ASSERT_GE(record.text.size(), tail.size());
  EXPECT_EQ(tail, record.text.substr(record.text.size() - tail.size())) << record.text;

  // The segment is left in place, cleared and without this process's
  // attachment.
  EXPECT_GE(segmentId(), 0);
  EXPECT_EQ(0, attachments());
  YMSharedMemUtil::useMappingListForTesting(nullptr);
  cap.clear();
  EXPECT_EQ(0u, reader.getAPIRequest().requestId);
  EXPECT_TRUE(cap.lines().empty()) << ::testing::PrintToString(cap.lines());
  EXPECT_EQ(-1, segmentId());
}

TEST_F(CloudRoutingShmTest, WithoutTheMappingListAStaleHandleNeitherDetachesNorCrashes) {
  // The writer's handle names a segment that is gone by the time the same
  // object reads a new one; removal by that handle must fail with the new
  // segment still attached, and the reader must not touch a detached address.
  hideMappingList();
  AppMgrShmUtil util;
  ASSERT_TRUE(util.setAPIRequest(1));
  const int stale = util.getHandle();
  ASSERT_EQ(0, shmctl(segmentId(), IPC_RMID, nullptr));
  ASSERT_TRUE(util.setAPIRequest(2));
  ASSERT_NE(stale, util.getHandle());
  AppMgrShmUtil reader;
  LogCapture cap;
  EXPECT_EQ(2u, reader.getAPIRequest().requestId);
  ASSERT_GE(segmentId(), 0) << "a reader without a handle cannot remove it";
  uint32_t* segment = attachDirectly();
  ASSERT_NE(nullptr, segment);
  EXPECT_EQ(0u, *segment) << "cleared, so it is not returned twice";

  // The utility itself: a stale handle leaves the segment attached.
  int error = 0;
  void* attached = reader.getSharedMemory(keyOf(keyFile()), error);
  ASSERT_NE(nullptr, attached);
  EXPECT_FALSE(reader.deleteSharedMemory(attached, error, stale));
  EXPECT_EQ(EINVAL, error);
  *static_cast<uint32_t*>(attached) = 5;  // still attached: no fault
  EXPECT_EQ(5u, *segment);
  EXPECT_TRUE(reader.detachSharedMemory(attached, error));
}

// ---------------------------------------------------------------------------
// The caching layer's no-op entry points

TEST(CloudReqIdTest, SetAlwaysSucceedsAndGetAlwaysGivesZero) {
  for (unsigned long id : {0ul, 1ul, 42ul, 0xFFFFFFFFul}) {
    EXPECT_TRUE(setAppMgrCloudReqID(id)) << id;
    EXPECT_EQ(0u, getAppMgrCloudReqID().requestId) << id;
  }
  EXPECT_EQ(0u, AppMgrShmWrapper().requestId);
}

// ---------------------------------------------------------------------------
// Routing decision

const char kDisabledLine[] =
    "AppMgr Cloud caching is disabled. Not using AppMgrCloud. Will route requests to AppMgrNet";
const char kCloudLine[] = "This is a cloud laptop client. AppMgrCloud will be loaded and client caching will be used.";

struct DecisionCase {
  const char* disableCaching;  // null: key missing
  const char* cloudLaptop;     // null: key missing
  bool expected;
  const char* line;  // the one line logged, or null for none
};

class CloudLaptopDecisionTest : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(CloudLaptopDecisionTest, DecidesAndLogs) {
  const DecisionCase& c = GetParam();
  ScopedConfigValue disable("NodeAgent", "sDisableCloudCaching", c.disableCaching);
  ScopedConfigValue laptop("Platform", "CloudLaptopClient", c.cloudLaptop);
  LogCapture cap;
  EXPECT_EQ(c.expected, isCloudLaptopPlatform());
  const std::vector<EvLogRecord> records = cap.records();
  if (c.line == nullptr) {
    EXPECT_TRUE(records.empty()) << ::testing::PrintToString(cap.lines());
    return;
  }
  ASSERT_EQ(1u, records.size()) << ::testing::PrintToString(cap.lines());
  EXPECT_EQ(kDecisionLog, records[0].name);
  EXPECT_EQ(c.line, records[0].text);
  EXPECT_EQ(EvLogRecord::kLevel, records[0].kind);
  EXPECT_EQ(6, records[0].level);
}

INSTANTIATE_TEST_SUITE_P(
    ConfigurationCases, CloudLaptopDecisionTest,
    ::testing::Values(DecisionCase{nullptr, "1", false, kDisabledLine},  // missing counts as disabled
                      DecisionCase{nullptr, nullptr, false, kDisabledLine},
                      DecisionCase{"1", "1", false, kDisabledLine},
                      DecisionCase{"2", "1", false, kDisabledLine},
                      DecisionCase{"yes", "1", false, kDisabledLine},  // not a number: missing
                      DecisionCase{"0", "0", false, nullptr},
                      DecisionCase{"0", nullptr, false, nullptr},
                      DecisionCase{"0", "1", true, kCloudLine},
                      DecisionCase{"0x0", "5", true, kCloudLine}));

}  // namespace
