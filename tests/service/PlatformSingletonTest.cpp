#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/YMPlatformInfo.h"
#include "service/Platform.h"
#include "service/TaskInterfaceNet.h"
#include "support/TestSupport.h"

namespace {

void* otherFactory(EvTaskApiLibInterfaceType) { return nullptr; }

class PlatformSingletonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    YMPlatformInfo::clearStore();
    TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
  }
  void TearDown() override {
    TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
    YMPlatformInfo::clearStore();
  }
};

const char* const kName = "TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton";
const char* const kUnknown448 = "Unknown platform type [448] encountered. Will continue assuming non-CH platform.";

}  // namespace

TEST_F(PlatformSingletonTest, FactoryServesOnlyTheNetworkKind) {
  std::unique_ptr<TaskInterface> a(static_cast<TaskInterface*>(getTaskInterface(1)));
  std::unique_ptr<TaskInterface> b(static_cast<TaskInterface*>(getTaskInterface(1)));
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  EXPECT_NE(a.get(), b.get());
  EXPECT_NE(nullptr, dynamic_cast<TaskInterfaceNet*>(a.get()));
  EXPECT_EQ(nullptr, getTaskInterface(0));
  EXPECT_EQ(nullptr, getTaskInterface(2));
}

// Records the platform type that an unlocked reader sees while the
// singleton logs, which is between reading the type and finishing creation.
struct TypeAtLogTime : evtask::test::LogCapture {
  void write(const EvLogRecord& record, const std::string& line) override {
    seen.push_back(TaskPlatformInfoSingleton::getPlatformType());
    LogCapture::write(record, line);
  }
  std::vector<unsigned long> seen;
};

TEST_F(PlatformSingletonTest, PlatformTypeBoundFallbackAndReset) {
  TypeAtLogTime cap;
  EXPECT_EQ(0u, TaskPlatformInfoSingleton::getPlatformType()) << "no instance yet";
  YMPlatformInfo::setValue("Platform", "PlatformType", "447");
  TaskPlatformInfoSingleton* first = TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton();
  EXPECT_EQ(447u, TaskPlatformInfoSingleton::getPlatformType());
  YMPlatformInfo::setValue("Platform", "PlatformType", "448");
  EXPECT_EQ(first, TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton());
  EXPECT_EQ(447u, TaskPlatformInfoSingleton::getPlatformType()) << "later calls keep the type";
  EXPECT_FALSE(cap.contains(kName, "Unknown platform type [447] encountered. Will continue assuming non-CH platform."));

  TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
  EXPECT_EQ(0u, TaskPlatformInfoSingleton::getPlatformType()) << "deleted: no type";
  cap.seen.clear();
  TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton();
  EXPECT_EQ(4u, TaskPlatformInfoSingleton::getPlatformType());
  EXPECT_TRUE(cap.contains(kName, kUnknown448));
  ASSERT_FALSE(cap.seen.empty());
  for (unsigned long type : cap.seen) EXPECT_NE(448u, type) << "an out-of-range type was visible";
}

TEST_F(PlatformSingletonTest, LibInterfaceFunctionIsAlwaysTheBuiltInFactory) {
  TaskPlatformInfoSingleton::setLibInterfaceFunction(&otherFactory);
  EXPECT_EQ(&getTaskInterface, TaskPlatformInfoSingleton::getLibInterfaceFunction());
}

TEST_F(PlatformSingletonTest, DeleteWithoutInstanceThenRecreate) {
  TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
  TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
  YMPlatformInfo::setValue("Platform", "PlatformType", "17");
  ASSERT_NE(nullptr, TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton());
  EXPECT_EQ(17u, TaskPlatformInfoSingleton::getPlatformType());
}
