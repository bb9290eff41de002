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
// removes whatever segment is left under them afterwards.
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

  // Registers an attachment made outside the utility for cleanup.
  void track(void* segment) { m_attached.push_back(segment); }
  void untrack(void* segment) {
    for (auto it = m_attached.begin(); it != m_attached.end(); ++it) {
      if (*it == segment) {
        m_attached.erase(it);
        return;
      }
    }
  }

  // Creates a segment and registers it for cleanup; fails the test if it
  // cannot.
  void* create(YMSharedMemUtil& util, int key, int* handle, int size = 4) {
    int error = -1;
    void* segment = util.createSharedMemory(key, *handle, size, error);
    EXPECT_NE(nullptr, segment) << "error " << error;
    EXPECT_EQ(0, error);
    if (segment != nullptr) track(segment);
    return segment;
  }

  std::string m_path;
  std::vector<int> m_keys;
  std::vector<void*> m_attached;
};

// ---------------------------------------------------------------------------
// Create

TEST_F(SharedMemUtilTest, CreateGivesZeroedPrivateSegmentOfTheSize) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  auto* bytes = static_cast<unsigned char*>(create(util, key, &handle, 100));
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

TEST_F(SharedMemUtilTest, CreateOfAnExistingSegmentReports183AndLeavesItAlone) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  auto* first = static_cast<int*>(create(util, key, &handle));
  ASSERT_NE(nullptr, first);
  *first = 1234;

  int secondHandle = 55;
  int error = 0;
  EXPECT_EQ(nullptr, util.createSharedMemory(key, secondHandle, 4, error));
  EXPECT_EQ(183, error);
  EXPECT_EQ(YMSharedMemUtil::kAlreadyExists, error);
  EXPECT_EQ(-1, secondHandle);
  EXPECT_EQ(1234, *first);
  EXPECT_EQ(handle, shmget(key, 0, 0));
}

TEST_F(SharedMemUtilTest, CreateWithNonPositiveSizeFailsAndLeavesNoSegment) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  for (int size : {0, -4}) {
    int handle = 3;
    int error = 0;
    EXPECT_EQ(nullptr, util.createSharedMemory(key, handle, size, error));
    EXPECT_EQ(EINVAL, error);
    EXPECT_EQ(-1, handle);
    EXPECT_FALSE(segmentExists(key));
  }
}

// ---------------------------------------------------------------------------
// Get

TEST_F(SharedMemUtilTest, GetAttachesTheSameMemory) {
  YMSharedMemUtil creator;
  YMSharedMemUtil reader;
  const int key = freshKey(1);
  int handle = -1;
  auto* written = static_cast<unsigned*>(create(creator, key, &handle));
  ASSERT_NE(nullptr, written);
  *written = 42u;

  int error = -1;
  auto* read = static_cast<unsigned*>(reader.getSharedMemory(key, error));
  ASSERT_NE(nullptr, read);
  track(read);
  EXPECT_EQ(0, error);
  EXPECT_EQ(42u, *read);
  *read = 43u;
  EXPECT_EQ(43u, *written);
}

TEST_F(SharedMemUtilTest, GetRefusesASegmentOpenToOthers) {
  // A segment another user could have planted under the key must not be
  // trusted with the hand-off.
  const int key = freshKey(1);
  const int id = shmget(key, 4, IPC_CREAT | IPC_EXCL | 0666);
  ASSERT_GE(id, 0) << std::strerror(errno);
  YMSharedMemUtil util;
  int error = 0;
  EXPECT_EQ(nullptr, util.getSharedMemory(key, error));
  EXPECT_EQ(EACCES, error);
}

TEST_F(SharedMemUtilTest, GetOfAMissingSegmentFailsWithENOENT) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int error = 0;
  EXPECT_EQ(nullptr, util.getSharedMemory(key, error));
  EXPECT_EQ(ENOENT, error);
  EXPECT_FALSE(segmentExists(key));
}

TEST_F(SharedMemUtilTest, GetOfThePrivateKeyIsRefused) {
  YMSharedMemUtil util;
  int error = 0;
  EXPECT_EQ(nullptr, util.getSharedMemory(IPC_PRIVATE, error));
  EXPECT_EQ(EINVAL, error);
}

// ---------------------------------------------------------------------------
// Delete

TEST_F(SharedMemUtilTest, DeleteOfTheCreatedSegmentRemovesIt) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  void* segment = create(util, key, &handle);
  ASSERT_NE(nullptr, segment);

  int error = -1;
  EXPECT_TRUE(util.deleteSharedMemory(segment, error, handle));
  untrack(segment);
  EXPECT_EQ(0, error);
  EXPECT_FALSE(segmentExists(key));
  EXPECT_FALSE(idExists(handle));
}

TEST_F(SharedMemUtilTest, GetThenDeleteWithoutHandleRemovesTheSegment) {
  YMSharedMemUtil writer;
  const int key = freshKey(1);
  int handle = -1;
  auto* written = static_cast<unsigned*>(create(writer, key, &handle));
  ASSERT_NE(nullptr, written);
  *written = 42u;
  // The writer lets go of its attachment, as a process handing over a value
  // would.
  int error = -1;
  ASSERT_TRUE(writer.detachSharedMemory(written, error));
  untrack(written);
  EXPECT_TRUE(segmentExists(key));

  YMSharedMemUtil reader;
  auto* read = static_cast<unsigned*>(reader.getSharedMemory(key, error));
  ASSERT_NE(nullptr, read);
  track(read);
  EXPECT_EQ(42u, *read);
  EXPECT_TRUE(reader.deleteSharedMemory(read, error, -1));
  untrack(read);
  EXPECT_EQ(0, error);
  EXPECT_FALSE(segmentExists(key));
  EXPECT_FALSE(idExists(handle));

  // A second reader finds nothing.
  EXPECT_EQ(nullptr, reader.getSharedMemory(key, error));
  EXPECT_EQ(ENOENT, error);
}

TEST_F(SharedMemUtilTest, DeleteWhileAnotherAttachmentLivesHidesTheKeyAndFreesOnLastRelease) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  auto* first = static_cast<unsigned*>(create(util, key, &handle));
  ASSERT_NE(nullptr, first);
  int error = -1;
  auto* second = static_cast<unsigned*>(util.getSharedMemory(key, error));
  ASSERT_NE(nullptr, second);
  track(second);

  ASSERT_TRUE(util.deleteSharedMemory(second, error, -1));
  untrack(second);
  EXPECT_FALSE(segmentExists(key));
  // Still usable through the first attachment until that goes too.
  *first = 9u;
  EXPECT_EQ(9u, *first);
  EXPECT_TRUE(idExists(handle));

  EXPECT_TRUE(util.deleteSharedMemory(first, error, handle));
  untrack(first);
  EXPECT_EQ(0, error);
  EXPECT_FALSE(idExists(handle));
}

TEST_F(SharedMemUtilTest, WrongHandleCannotRemoveAnotherSegment) {
  YMSharedMemUtil util;
  const int keyA = freshKey(1);
  const int keyB = freshKey(2);
  int handleA = -1;
  int handleB = -1;
  void* a = create(util, keyA, &handleA);
  void* b = create(util, keyB, &handleB);
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  ASSERT_NE(handleA, handleB);

  int error = -1;
  EXPECT_TRUE(util.deleteSharedMemory(a, error, handleB));
  untrack(a);
  EXPECT_FALSE(segmentExists(keyA));
  EXPECT_TRUE(segmentExists(keyB));
  EXPECT_TRUE(idExists(handleB));
}

TEST_F(SharedMemUtilTest, DeleteOfAnAddressThatIsNoSegmentFailsAndRemovesNothing) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  ASSERT_NE(nullptr, create(util, key, &handle));

  int notASegment = 0;
  int error = 0;
  EXPECT_FALSE(util.deleteSharedMemory(&notASegment, error, -1));
  EXPECT_EQ(EINVAL, error);
  // Even with a real segment's id the bogus address must not remove it.
  error = 0;
  EXPECT_FALSE(util.deleteSharedMemory(&notASegment, error, handle));
  EXPECT_EQ(EINVAL, error);
  EXPECT_TRUE(segmentExists(key));

  error = 0;
  EXPECT_FALSE(util.deleteSharedMemory(nullptr, error, handle));
  EXPECT_EQ(EINVAL, error);
  EXPECT_TRUE(segmentExists(key));
}

TEST_F(SharedMemUtilTest, SegmentAttachedElsewhereIsFoundFromItsAddress) {
  const int keyA = freshKey(1);
  const int keyB = freshKey(2);
  const int idA = shmget(keyA, 4, IPC_CREAT | IPC_EXCL | 0600);
  const int idB = shmget(keyB, 4, IPC_CREAT | IPC_EXCL | 0600);
  ASSERT_GE(idA, 0) << std::strerror(errno);
  ASSERT_GE(idB, 0) << std::strerror(errno);
  void* segment = shmat(idA, nullptr, 0);
  ASSERT_NE(reinterpret_cast<void*>(-1), segment);
  track(segment);

  YMSharedMemUtil util;
  int error = -1;
  // Neither an unknown nor another segment's handle misleads the removal.
  EXPECT_TRUE(util.deleteSharedMemory(segment, error, idB));
  untrack(segment);
  EXPECT_EQ(0, error);
  EXPECT_FALSE(idExists(idA));
  EXPECT_TRUE(idExists(idB));
}

// Runs a test body as if the process's mapping list could not be read.
class SharedMemUtilWithoutMappingListTest : public SharedMemUtilTest {
 protected:
  void SetUp() override {
    SharedMemUtilTest::SetUp();
    YMSharedMemUtil::useMappingListForTesting("/nonexistent/evtask/maps");
  }
  void TearDown() override {
    YMSharedMemUtil::useMappingListForTesting(nullptr);
    SharedMemUtilTest::TearDown();
  }
};

TEST_F(SharedMemUtilWithoutMappingListTest, DeleteFallsBackToTheGivenHandle) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  void* segment = create(util, key, &handle);
  ASSERT_NE(nullptr, segment);

  int error = 0;
  EXPECT_FALSE(util.deleteSharedMemory(segment, error, -1));
  EXPECT_EQ(EINVAL, error);
  EXPECT_TRUE(segmentExists(key));

  error = -1;
  EXPECT_TRUE(util.deleteSharedMemory(segment, error, handle));
  untrack(segment);
  EXPECT_EQ(0, error);
  EXPECT_FALSE(idExists(handle));
}

TEST_F(SharedMemUtilWithoutMappingListTest, BogusAddressWithARealHandleRemovesNothing) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  ASSERT_NE(nullptr, create(util, key, &handle));
  int notASegment = 0;
  int error = 0;
  EXPECT_FALSE(util.deleteSharedMemory(&notASegment, error, handle));
  EXPECT_EQ(EINVAL, error);
  EXPECT_TRUE(idExists(handle));
}

TEST_F(SharedMemUtilTest, DetachKeepsTheSegmentForOthers) {
  YMSharedMemUtil util;
  const int key = freshKey(1);
  int handle = -1;
  auto* segment = static_cast<int*>(create(util, key, &handle));
  ASSERT_NE(nullptr, segment);
  *segment = 77;
  int error = -1;
  ASSERT_TRUE(util.detachSharedMemory(segment, error));
  untrack(segment);
  EXPECT_EQ(0, error);
  EXPECT_TRUE(segmentExists(key));

  auto* again = static_cast<int*>(util.getSharedMemory(key, error));
  ASSERT_NE(nullptr, again);
  track(again);
  EXPECT_EQ(77, *again);

  EXPECT_FALSE(util.detachSharedMemory(nullptr, error));
  EXPECT_EQ(EINVAL, error);
}

TEST_F(SharedMemUtilTest, SegmentsCanBeReleasedThroughAnotherObjectOrADerivedOne) {
  struct Derived : YMSharedMemUtil {
    unsigned value = 0;
  };
  const int key = freshKey(1);
  int handle = -1;
  void* segment = nullptr;
  {
    YMSharedMemUtil* util = new Derived;
    segment = create(*util, key, &handle);
    delete util;
  }
  ASSERT_NE(nullptr, segment);
  Derived other;
  int error = -1;
  EXPECT_TRUE(other.deleteSharedMemory(segment, error, -1));
  untrack(segment);
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
