#include <gtest/gtest.h>

#include "platform/YMPlatformInfo.h"
#include "schedule/ScheduleRecords.h"
#include "schedule/XmlMessages.h"
#include "support/FakeXml.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

void client(CNMessageBase& req, uint16_t tag, long long id, const char* name) {
  CNMessageBase* c = req.getObjectAccessor(tag, 0, true, false, 18, 4);
  c->setint64(0, 0, id);
  c->setstring(1, 0, name);
}

DM2ContentIndexing::IndexAutoscaleOption scaleOption(
    const std::vector<std::tuple<const char*, const char*, const char*>>& cores) {
  DM2ContentIndexing::ScaleIndexReq req;
  client(req, 4, 100, "idx");
  client(req, 5, 200, "src");
  client(req, 6, 300, "dst");
  std::vector<DM2ContentIndexing::ScaleIndexCoreInfo> list;
  for (const auto& c : cores) {
    DM2ContentIndexing::ScaleIndexCoreInfo core;
    core.setstring(1, 0, std::get<0>(c));
    core.setstring(6, 0, std::get<1>(c));
    core.setstring(10, 0, std::get<2>(c));
    list.push_back(core);
  }
  req.setlistobject(2, 0, list);
  DM2ContentIndexing::IndexAutoscaleOption option;
  option.setlistobject(1, 0, std::vector<DM2ContentIndexing::ScaleIndexReq>{req});
  return option;
}

_IndexScaleInputParams params() {
  _IndexScaleInputParams p;
  p.destinationClientDisplayName = "Destination";
  p.appTypeId = 33;
  p.backupSetId = 41;
  p.backupSetName = "bs";
  p.instanceId = 42;
  p.instanceName = "inst";
  p.subclientId = 43;
  p.subclientName = "sc";
  return p;
}

std::vector<std::string> texts(const CNMessageBase* m, uint16_t tag) {
  std::vector<std::string> v;
  if (m != nullptr) m->getliststring(tag, 0, v);
  return v;
}

using IndexScaleTest = EvTaskTest;

}  // namespace

TEST_F(IndexScaleTest, CopiesTheCoresWithFiltersAndPaths) {
  YMPlatformInfo::setValue("Controlhost", "AutoScaleIndexFilter", "*.tmp");
  respondCreate(*fake, msg::kCreateTask, "<m f=\"12\" c=\"100\"/>", {600});
  EvTask task(0, 0, nullptr, false);
  auto option = scaleOption({{"c1", "/s1/", "/d1"}, {"c2", "/s2", "/d2/"}});
  std::list<long long> jobs{5};
  LogCapture log;
  ASSERT_TRUE(task.startIndexScaleJob(7, option, params(), jobs));
  EXPECT_EQ((std::list<long long>{5, 600}), jobs);
  EXPECT_TRUE(log.contains("EvTask::startIndexScaleJob",
                           "Successfully submitted Index scale Job for index pseudo-client[idx] [Job-ID - 5]"));

  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
  EXPECT_EQ(1, num(req, {2, 1}, 8));
  const auto assoc = list(req, {2}, 3).at(0);
  EXPECT_EQ(2, num(assoc, {}, 1));
  EXPECT_EQ(7, num(assoc, {}, 0));
  EXPECT_EQ(43, num(assoc, {}, 11));
  EXPECT_EQ("sc", text(assoc, {}, 12));
  EXPECT_EQ(100, num(assoc, {}, 47));
  EXPECT_EQ("idx", text(assoc, {}, 48));
  EXPECT_EQ(33, num(assoc, {}, 38));
  const auto sub = list(req, {2}, 5).at(0);
  EXPECT_EQ(2, num(sub, {1}, 6));
  EXPECT_EQ(2, num(sub, {1}, 7));
  const CNMessageBase* options = at(sub, {4});
  ASSERT_NE(nullptr, options);
  EXPECT_EQ(DM2ContentIndexing::IndexAutoscaleOption().getTagID(), at(*options, {15})->getTagID());
  EXPECT_EQ(3, num(*options, {2}, 3));
  EXPECT_EQ(41, num(*options, {2, 1, 2}, 0));
  EXPECT_EQ(200, num(*options, {2, 1, 2}, 28));
  EXPECT_EQ("src", text(*options, {2, 1, 8, 8}, 1));
  EXPECT_EQ(11, num(*options, {2, 1, 8, 2}, 5));
  EXPECT_EQ(kAbsent, num(*options, {2, 1, 8, 4}, 5));
  EXPECT_EQ(300, num(*options, {2, 2, 2}, 0));
  EXPECT_EQ("Destination", text(*options, {2, 2, 2}, 14));
  EXPECT_EQ(2, num(*options, {2, 2}, 20));
  EXPECT_EQ(33, num(*options, {2, 12}, 8));
  EXPECT_EQ(1, num(*options, {1}, 85));
  EXPECT_EQ(30, num(*options, {1, 5}, 11));
  EXPECT_EQ(1, num(*options, {1, 7, 3}, 5));
  EXPECT_EQ((std::vector<std::string>{"**/*/write.lock", "*.tmp", "/s1/c1/tlog", "/s2/c2/tlog"}),
            texts(at(*options, {2, 27}), 3));
  EXPECT_EQ((std::vector<std::string>{"/s1/c1", "/s2/c2"}), texts(at(*options, {2, 27}), 2));
  EXPECT_EQ((std::vector<std::string>{"/d1/c1", "/d2/c2"}), texts(at(*options, {2, 2}), 1));
}

TEST_F(IndexScaleTest, NoCoresAndNoConfigurationLeaveOnlyTheLockPattern) {
  respondCreate(*fake, msg::kCreateTask, "<m f=\"12\" c=\"100\"/>", {});
  EvTask task(0, 0, nullptr, false);
  auto option = scaleOption({});
  std::list<long long> jobs;
  ASSERT_TRUE(task.startIndexScaleJob(7, option, params(), jobs));
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
  const auto sub = list(req, {2}, 5).at(0);
  const CNMessageBase* options = at(sub, {4});
  ASSERT_NE(nullptr, options);
  EXPECT_EQ(std::vector<std::string>{"**/*/write.lock"}, texts(at(*options, {2, 27}), 3));
  EXPECT_FALSE(at(*options, {2, 27})->isSet(2, 0));
  EXPECT_FALSE(at(*options, {2, 2})->isSet(1, 0));

  DM2ContentIndexing::IndexAutoscaleOption empty;
  fake->clearRequests();
  EXPECT_FALSE(task.startIndexScaleJob(7, empty, params(), jobs));
  EXPECT_EQ(0u, fake->requestCount());
  fake->respondError(msg::kCreateTask, 8, "refused");
  EXPECT_FALSE(task.startIndexScaleJob(7, option, params(), jobs));
  EXPECT_EQ("refused", task.getErrorString());
}
