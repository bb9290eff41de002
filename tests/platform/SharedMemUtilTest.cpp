#include "platform/YMSharedMemUtil.h"

#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

static_assert(std::has_virtual_destructor<YMSharedMemUtil>::value,
              "derived utilities are deleted through the base");

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
    EXPECT_NE(-1, key) << std::strerror(errno);
    EXPECT_FALSE(segmentExists(key)) << "key already in use: " << key;
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

  unsigned* get(YMSharedMemUtil& util, int key, int* error) {
    return static_cast<unsigned*>(track(util.getSharedMemory(key, *error)));
  }

  // A segment made with the system calls alone, mode 0600 unless given.
  int rawSegment(int key, int mode = 0600) {
    const int id = shmget(key, 4, IPC_CREAT | IPC_EXCL | mode);
    EXPECT_GE(id, 0) << std::strerror(errno);
    return id;
  }

  std::string m_path;
  std::vector<int> m_keys;
  std::vector<void*> m_attached;
};

TEST_F(SharedMemUtilTest, CreateGivesZeroedPrivateSegmentOfTheSize) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  auto* bytes = reinterpret_cast<unsigned char*>(create(util, key, &handle, 100));
  ASSERT_NE(nullptr, bytes);
  ASSERT_GE(handle, 0);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(0, bytes[i]) << i;
  bytes[99] = 7;

  struct shmid_ds ds;
  ASSERT_EQ(0, shmctl(handle, IPC_STAT, &ds)) << std::strerror(errno);
  EXPECT_EQ(0600u, ds.shm_perm.mode & 0777u);
  EXPECT_EQ(100u, ds.shm_segsz);
  EXPECT_EQ(getpid(), ds.shm_cpid);
  EXPECT_EQ(static_cast<key_t>(key), ds.shm_perm.__key);
  EXPECT_EQ(handle, shmget(key, 0, 0));
}

TEST_F(SharedMemUtilTest, CreateFailuresSetHandleToMinusOneAndLeaveSegmentsAlone) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  unsigned* first = create(util, key, &handle);
  ASSERT_NE(nullptr, first);
  *first = 1234;

  int secondHandle = 55;
  int error = 0;
  EXPECT_EQ(nullptr, util.createSharedMemory(key, secondHandle, 4, error));
  EXPECT_EQ(183, error);
  EXPECT_EQ(YMSharedMemUtil::kAlreadyExists, error);
  EXPECT_EQ(-1, secondHandle);
  EXPECT_EQ(1234u, *first);
  EXPECT_EQ(handle, shmget(key, 0, 0));

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
  const int missing = freshKey(1);
  // A segment another user could have planted under the key is not trusted.
  const int open = freshKey(2);
  ASSERT_GE(rawSegment(open, 0666), 0);
  const int groupReadable = freshKey(3);
  ASSERT_GE(rawSegment(groupReadable, 0640), 0);
  const struct {
    int key;
    int error;
    const char* what;
  } cases[] = {{missing, ENOENT, "missing"}, {IPC_PRIVATE, EINVAL, "private key"},
               {open, EACCES, "mode 0666"}, {groupReadable, EACCES, "mode 0640"}};
  YMSharedMemUtil util;
  for (const auto& c : cases) {
    int error = 0;
    EXPECT_EQ(nullptr, util.getSharedMemory(c.key, error)) << c.what;
    EXPECT_EQ(c.error, error) << c.what;
  }
  EXPECT_FALSE(segmentExists(missing));
}

TEST_F(SharedMemUtilTest, DetachThenGetThenDeleteWithoutHandleRemovesTheSegment) {
  YMSharedMemUtil writer;
  const int key = freshKey(1);
  int handle = -1;
  unsigned* written = create(writer, key, &handle);
  ASSERT_NE(nullptr, written);
  *written = 42u;
  int error = -1;
  ASSERT_TRUE(writer.detachSharedMemory(written, error));
  EXPECT_EQ(0, error);
  EXPECT_TRUE(segmentExists(key));
  EXPECT_FALSE(writer.detachSharedMemory(nullptr, error));
  EXPECT_EQ(EINVAL, error);

  YMSharedMemUtil reader;
  unsigned* read = get(reader, key, &error);
  ASSERT_NE(nullptr, read);
  EXPECT_EQ(42u, *read);
  error = -1;
  EXPECT_TRUE(reader.deleteSharedMemory(read, error, -1));
  EXPECT_EQ(0, error);
  EXPECT_FALSE(segmentExists(key));
  EXPECT_FALSE(idExists(handle));
  EXPECT_EQ(nullptr, reader.getSharedMemory(key, error));
  EXPECT_EQ(ENOENT, error);
}

TEST_F(SharedMemUtilTest, DeleteWhileAnotherAttachmentLivesHidesTheKeyAndFreesOnLastRelease) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  unsigned* first = create(util, key, &handle);
  ASSERT_NE(nullptr, first);
  int error = -1;
  YMSharedMemUtil reader;
  unsigned* second = get(reader, key, &error);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(0, error);
  *second = 43u;
  EXPECT_EQ(43u, *first) << "get attaches the same memory";

  ASSERT_TRUE(reader.deleteSharedMemory(second, error, -1));
  EXPECT_FALSE(segmentExists(key));
  *first = 9u;
  EXPECT_EQ(9u, *first);
  EXPECT_TRUE(idExists(handle));

  error = -1;
  EXPECT_TRUE(util.deleteSharedMemory(first, error, handle));
  EXPECT_EQ(0, error);
  EXPECT_FALSE(idExists(handle));
}

TEST_F(SharedMemUtilTest, DeleteTakesTheSegmentFromItsAddressNotFromAWrongHandle) {
  // One segment attached outside the utility, one created through it.
  const int keyA = freshKey(1);
  const int idA = rawSegment(keyA);
  ASSERT_GE(idA, 0);
  void* a = track(shmat(idA, nullptr, 0));
  ASSERT_NE(reinterpret_cast<void*>(-1), a);
  YMSharedMemUtil util;
  const int keyB = freshKey(2);
  int handleB = -1;
  ASSERT_NE(nullptr, create(util, keyB, &handleB));
  ASSERT_NE(idA, handleB);

  int error = -1;
  EXPECT_TRUE(util.deleteSharedMemory(a, error, handleB));
  EXPECT_EQ(0, error);
  EXPECT_FALSE(idExists(idA));
  EXPECT_TRUE(idExists(handleB));
  EXPECT_TRUE(segmentExists(keyB));
}

TEST_F(SharedMemUtilTest, DeleteOfAnAddressThatIsNoSegmentFailsAndRemovesNothing) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  ASSERT_NE(nullptr, create(util, key, &handle));
  int notASegment = 0;
  for (void* address : {static_cast<void*>(&notASegment), static_cast<void*>(nullptr)}) {
    for (int h : {-1, handle}) {
      int error = 0;
      EXPECT_FALSE(util.deleteSharedMemory(address, error, h)) << address << " handle " << h;
      EXPECT_EQ(EINVAL, error) << address << " handle " << h;
    }
  }
  EXPECT_TRUE(segmentExists(key));
}

TEST_F(SharedMemUtilTest, WithoutTheMappingListDeleteFallsBackToTheGivenHandle) {
  struct NoMappingList {
    NoMappingList() { YMSharedMemUtil::useMappingListForTesting("/nonexistent/evtask/maps"); }
    ~NoMappingList() { YMSharedMemUtil::useMappingListForTesting(nullptr); }
  } noMappingList;
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  void* segment = create(util, key, &handle);
  ASSERT_NE(nullptr, segment);
  int notASegment = 0;
  int error = 0;
  EXPECT_FALSE(util.deleteSharedMemory(&notASegment, error, handle));
  EXPECT_EQ(EINVAL, error);
  error = 0;
  EXPECT_FALSE(util.deleteSharedMemory(segment, error, -1));
  EXPECT_EQ(EINVAL, error);
  EXPECT_TRUE(idExists(handle));

  error = -1;
  EXPECT_TRUE(util.deleteSharedMemory(segment, error, handle));
  EXPECT_EQ(0, error);
  EXPECT_FALSE(idExists(handle));
}

TEST_F(SharedMemUtilTest, SegmentsCanBeReleasedThroughAnotherObjectOrADerivedOne) {
  struct Derived : YMSharedMemUtil {
    unsigned value = 0;
  };
  const int key = freshKey(1);
  int handle = -1;
  YMSharedMemUtil* util = new Derived;
  void* segment = create(*util, key, &handle);
  delete util;
  ASSERT_NE(nullptr, segment);
  Derived other;
  int error = -1;
  EXPECT_TRUE(other.deleteSharedMemory(segment, error, -1));
  EXPECT_FALSE(segmentExists(key));
}

TEST_F(SharedMemUtilTest, ConcurrentCreateGetDeleteOnDistinctKeys) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 25;
  std::vector<int> keys;
  for (int i = 0; i < kThreads; ++i) keys.push_back(freshKey(10 + i));
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      YMSharedMemUtil util;
      for (int r = 0; r < kRounds; ++r) {
        int handle = -1;
        int error = 0;
        auto* created = static_cast<int*>(util.createSharedMemory(keys[t], handle, 4, error));
        if (created == nullptr) {
          ++failures;
          return;
        }
        *created = r;
        auto* read = static_cast<int*>(util.getSharedMemory(keys[t], error));
        if (read == nullptr || *read != r) ++failures;
        if (read != nullptr && !util.deleteSharedMemory(read, error, -1)) ++failures;
        if (!util.deleteSharedMemory(created, error, handle)) ++failures;
        if (segmentExists(keys[t])) ++failures;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(0, failures.load());
  for (int key : keys) EXPECT_FALSE(segmentExists(key));
}

}  // namespace
