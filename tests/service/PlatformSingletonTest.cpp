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
  void SetUp() override { TearDown(); }
  void TearDown() override {
    TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
    YMPlatformInfo::clearStore();
  }
};

// Records the platform type that an unlocked reader sees while the
// singleton logs, which is between reading the type and finishing creation.
struct TypeAtLogTime : evtask::test::LogCapture {
  void write(const EvLogRecord& record, const std::string& line) override {
    seen.push_back(TaskPlatformInfoSingleton::getPlatformType());
    LogCapture::write(record, line);
  }
  std::vector<unsigned long> seen;
};

TEST_F(PlatformSingletonTest, FactoryServesOnlyTheNetworkKindWhateverIsSet) {
  std::unique_ptr<TaskInterface> a(static_cast<TaskInterface*>(getTaskInterface(1)));
  std::unique_ptr<TaskInterface> b(static_cast<TaskInterface*>(getTaskInterface(1)));
  EXPECT_NE(a.get(), b.get());
  EXPECT_NE(nullptr, dynamic_cast<TaskInterfaceNet*>(a.get()));
  EXPECT_EQ(nullptr, getTaskInterface(0));
  EXPECT_EQ(nullptr, getTaskInterface(2));
  TaskPlatformInfoSingleton::setLibInterfaceFunction(&otherFactory);
  EXPECT_EQ(&getTaskInterface, TaskPlatformInfoSingleton::getLibInterfaceFunction());
}

TEST_F(PlatformSingletonTest, PlatformTypeBoundFallbackAndReset) {
  TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();  // without an instance: harmless
  TypeAtLogTime cap;
  EXPECT_EQ(0u, TaskPlatformInfoSingleton::getPlatformType()) << "no instance yet";
  YMPlatformInfo::setValue("Platform", "PlatformType", "447");
  TaskPlatformInfoSingleton* first = TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton();
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(447u, TaskPlatformInfoSingleton::getPlatformType());
  YMPlatformInfo::setValue("Platform", "PlatformType", "448");
  EXPECT_EQ(first, TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton());
  EXPECT_EQ(447u, TaskPlatformInfoSingleton::getPlatformType()) << "later calls keep the type";
  EXPECT_TRUE(cap.records().empty()) << ::testing::PrintToString(cap.lines());

  TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
  EXPECT_EQ(0u, TaskPlatformInfoSingleton::getPlatformType()) << "deleted: no type";
  cap.seen.clear();
  TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton();
  EXPECT_EQ(4u, TaskPlatformInfoSingleton::getPlatformType());
  EXPECT_TRUE(cap.contains("TaskPlatformInfoSingleton::getTaskPlatformInfoSingleton",
                           "Unknown platform type [448] encountered. Will continue assuming non-CH platform."));
  ASSERT_FALSE(cap.seen.empty());
  for (unsigned long type : cap.seen) EXPECT_NE(448u, type) << "an out-of-range type was visible";
}

}  // namespace
