#include "platform/YMSharedMemUtil.h"

#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace {

static_assert(std::has_virtual_destructor<YMSharedMemUtil>::value, "derived utilities are deleted through the base");

bool segmentExists(int key) { return shmget(key, 0, 0) >= 0; }

bool idExists(int id) {
  struct shmid_ds ds;
  return shmctl(id, IPC_STAT, &ds) == 0;
}

// Gives each test keys of its own (ftok on a fresh temporary file) and
// removes whatever is left under them afterwards. Detaching an address
// twice in TearDown is harmless: shmdt then just fails.
class SharedMemUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("TMPDIR");
    m_path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/evtask-shm-XXXXXX";
    const int fd = mkstemp(&m_path[0]);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    close(fd);
  }

  void TearDown() override {
    YMSharedMemUtil::useMappingListForTesting(nullptr);
    for (void* segment : m_attached) shmdt(segment);
    for (int key : m_keys) {
      const int id = shmget(key, 0, 0);
      if (id >= 0) shmctl(id, IPC_RMID, nullptr);
    }
    unlink(m_path.c_str());
  }

  // A key no segment uses yet; `n` from 1 to 255 gives distinct keys.
  int freshKey(int n) {
    const key_t key = ftok(m_path.c_str(), n);
    EXPECT_FALSE(key == -1 || segmentExists(key)) << "key " << key;
    m_keys.push_back(key);
    return key;
  }

  void* track(void* segment) {
    if (segment != nullptr && segment != reinterpret_cast<void*>(-1)) m_attached.push_back(segment);
    return segment;
  }

  unsigned* create(YMSharedMemUtil& util, int key, int* handle, int size = 4) {
    int error = -1;
    void* segment = util.createSharedMemory(key, *handle, size, error);
    EXPECT_NE(nullptr, segment) << "error " << error;
    EXPECT_EQ(0, error);
    return static_cast<unsigned*>(track(segment));
  }

  // A segment made with the system calls alone.
  int rawSegment(int key, int mode) {
    const int id = shmget(key, 4, IPC_CREAT | IPC_EXCL | mode);
    EXPECT_GE(id, 0) << std::strerror(errno);
    return id;
  }

  std::string m_path;
  std::vector<int> m_keys;
  std::vector<void*> m_attached;
};

TEST_F(SharedMemUtilTest, CreateGivesAZeroedPrivateSegmentOrFailsWithoutTouchingOthers) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  auto* bytes = reinterpret_cast<unsigned char*>(create(util, key, &handle, 100));
  ASSERT_NE(nullptr, bytes);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(0, bytes[i]) << i;
  bytes[0] = 7;
  struct shmid_ds ds;
  ASSERT_EQ(0, shmctl(handle, IPC_STAT, &ds)) << std::strerror(errno);
  EXPECT_EQ(0600u, ds.shm_perm.mode & 0777u);
  EXPECT_EQ(100u, ds.shm_segsz);
  EXPECT_EQ(handle, shmget(key, 0, 0));

  int secondHandle = 55;
  int error = 0;
  EXPECT_EQ(nullptr, util.createSharedMemory(key, secondHandle, 4, error));
  EXPECT_EQ(183, error);
  EXPECT_EQ(-1, secondHandle);
  EXPECT_EQ(7, bytes[0]);
  const int unused = freshKey(2);
  for (int size : {0, -4}) {
    int h = 3;
    EXPECT_EQ(nullptr, util.createSharedMemory(unused, h, size, error)) << size;
    EXPECT_EQ(EINVAL, error) << size;
    EXPECT_EQ(-1, h) << size;
    EXPECT_FALSE(segmentExists(unused)) << size;
  }
}

TEST_F(SharedMemUtilTest, GetRefusesMissingPrivateKeyAndSegmentsOpenToOthers) {
  // A segment another user could have planted under the key is not trusted.
  const int missing = freshKey(1), open = freshKey(2), groupReadable = freshKey(3), groupWritable = freshKey(4);
  ASSERT_GE(rawSegment(open, 0606), 0);
  ASSERT_GE(rawSegment(groupReadable, 0640), 0);
  ASSERT_GE(rawSegment(groupWritable, 0620), 0);
  const struct {
    int key;
    int error;
    const char* what;
  } cases[] = {{missing, ENOENT, "missing"},
               {IPC_PRIVATE, EINVAL, "private key"},
               {open, EACCES, "mode 0606"},
               {groupReadable, EACCES, "mode 0640"},
               {groupWritable, EACCES, "mode 0620"}};
  YMSharedMemUtil util;
  for (const auto& c : cases) {
    int error = 0;
    EXPECT_EQ(nullptr, util.getSharedMemory(c.key, error)) << c.what;
    EXPECT_EQ(c.error, error) << c.what;
  }
  EXPECT_FALSE(segmentExists(missing));
}

// Deletion goes by the segment's address, not by a handle that may be
// stale, and works through any object of the utility; the memory lives
// until its last attachment goes. (The hand-off tests cover deletion
// without the mapping list.)
TEST_F(SharedMemUtilTest, DeleteTakesTheSegmentFromItsAddressNotFromAWrongHandle) {
  const int keyA = freshKey(1), keyB = freshKey(2);
  const int idA = rawSegment(keyA, 0600);
  void* a = track(shmat(idA, nullptr, 0));
  ASSERT_NE(reinterpret_cast<void*>(-1), a);
  YMSharedMemUtil* writer = new YMSharedMemUtil;
  int handleB = -1;
  unsigned* b = create(*writer, keyB, &handleB);
  ASSERT_NE(nullptr, b);
  delete writer;
  YMSharedMemUtil util;
  int error = -1;
  EXPECT_TRUE(util.deleteSharedMemory(a, error, handleB));
  EXPECT_EQ(0, error);
  EXPECT_FALSE(idExists(idA));
  EXPECT_TRUE(segmentExists(keyB));
  int notASegment = 0;
  for (void* address : {static_cast<void*>(&notASegment), static_cast<void*>(nullptr)}) {
    EXPECT_FALSE(util.deleteSharedMemory(address, error, handleB));
    EXPECT_EQ(EINVAL, error);
  }
  auto* read = static_cast<unsigned*>(track(util.getSharedMemory(keyB, error)));
  ASSERT_NE(nullptr, read);
  *read = 43u;
  EXPECT_EQ(43u, *b) << "get attaches the same memory";
  ASSERT_TRUE(util.deleteSharedMemory(read, error, -1));
  EXPECT_FALSE(segmentExists(keyB));
  EXPECT_TRUE(idExists(handleB)) << "still attached through the writer's address";
  ASSERT_TRUE(util.detachSharedMemory(b, error));
  EXPECT_FALSE(idExists(handleB));
}

// Without the mapping list the caller's id is all there is: the id of
// another live segment of the same user must neither remove that segment nor
// detach the one at the address.
TEST_F(SharedMemUtilTest, WithoutTheMappingListAnotherSegmentsIdIsRefused) {
  YMSharedMemUtil::useMappingListForTesting("/nonexistent/maps");
  const int keyA = freshKey(3), keyB = freshKey(4);
  YMSharedMemUtil util;
  int handleA = -1, handleB = -1, error = -1;
  unsigned* a = create(util, keyA, &handleA);
  unsigned* b = create(util, keyB, &handleB);
  ASSERT_TRUE(a != nullptr && b != nullptr);
  EXPECT_FALSE(util.deleteSharedMemory(a, error, handleB));
  EXPECT_EQ(EINVAL, error);
  EXPECT_TRUE(segmentExists(keyA) && segmentExists(keyB));
  *a = 7u;  // still attached
  EXPECT_TRUE(util.deleteSharedMemory(a, error, handleA)) << error;
  EXPECT_FALSE(segmentExists(keyA));
  EXPECT_TRUE(util.deleteSharedMemory(b, error, handleB)) << error;

  // An address attached by other code, with the id of a segment that is
  // gone: refused, and the segment stays attached.
  const int keyC = freshKey(5);
  const int idC = rawSegment(keyC, 0600);
  auto* c = static_cast<unsigned*>(track(shmat(idC, nullptr, 0)));
  ASSERT_NE(reinterpret_cast<unsigned*>(-1), c);
  EXPECT_FALSE(util.deleteSharedMemory(c, error, handleB));
  EXPECT_EQ(EINVAL, error);
  struct shmid_ds ds;
  ASSERT_EQ(0, shmctl(idC, IPC_STAT, &ds));
  ASSERT_EQ(1u, static_cast<unsigned>(ds.shm_nattch)) << "the segment was detached";
  *c = 9u;
}

}  // namespace
