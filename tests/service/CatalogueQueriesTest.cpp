#include <gtest/gtest.h>

#include <list>
#include <string>

#include "platform/YMPlatformInfo.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"
#include "support/FakeAppMgr.h"

using namespace evtask;
using evtask::test::ScopedFakeAppMgr;

namespace {

class CatalogueQueriesTest : public ::testing::Test {
 protected:
  void SetUp() override { YMPlatformInfo::clearStore(); }
  ScopedFakeAppMgr fake;
  TaskInterfaceNet net;
  std::string err;
};

}  // namespace

TEST_F(CatalogueQueriesTest, JobListSendsIdentityWithoutKindAndAppends) {
  _TaskInfo task;
  task.jobId = 5;
  task.taskId = 6;
  task.subTaskId = 7;
  task.idKind = 2;
  task.optionKey = 8;
  uint64_t ids[2] = {0x100000001ull, 2};
  JobIdsResp resp{};
  resp.count = 2;
  resp.jobIds = ids;
  fake->respond(msg::kGetJobListFromTaskId, resp);
  std::list<unsigned long long> jobs{99};
  ASSERT_EQ(0, net.getJobListFromTaskId(task, jobs, err, nullptr));
  EXPECT_EQ((std::list<unsigned long long>{99, 0x100000001ull, 2}), jobs);
}

TEST_F(CatalogueQueriesTest, BkpStatsAndJobRequestId) {
  std::list<unsigned long long> jobs;
  ASSERT_EQ(0, net.getJobIdsFromBkpStats(jobs, "where", true, -3, err, nullptr));
  {
    const auto req = fake->last(msg::kGetJobIdsFromBkpStats);
    const auto& r = req.as<GetJobIdsFromBkpStatsReq>();
    EXPECT_STREQ("where", r.text);
    EXPECT_EQ(1u, r.flag);
    EXPECT_EQ(-3, r.number);
  }
  GetJobRequestResp resp{};
  resp.requestId = -42;
  fake->respond(msg::kGetJobRequestId, resp);
  long long requestId = 0;
  ASSERT_EQ(0, net.getJobRequestIdFromJobId(requestId, 0x7FFFFFFFFFll, err, nullptr));
  EXPECT_EQ(-42, requestId);
  EXPECT_EQ(0x7FFFFFFFFFll, fake->last(msg::kGetJobRequestId).as<GetJobRequestReq>().jobId);
  fake->respondError(msg::kGetJobRequestId, 7, "gone");
  EXPECT_EQ(7, net.getJobRequestIdFromJobId(requestId, 1, err, nullptr));
  EXPECT_EQ(-42, requestId) << "a failure leaves the request id";
}

TEST_F(CatalogueQueriesTest, ComplianceOptionsIgnoreTheUnsentArgument) {
  char name[] = "retain";
  SchedComplianceOption entries[2] = {{4, name}, {5, nullptr}};
  ComplianceOptionListResp resp{};
  resp.count = 2;
  resp.options = entries;
  fake->respond(msg::kGetComplianceOptionList, resp);
  std::list<_ComplianceOptionInfo> out;
  ASSERT_EQ(0, net.getComplianceOptionList(-9, out, err, 111, static_cast<ymComplianceOptions>(3), 6));
  ASSERT_EQ(2u, out.size());
  EXPECT_EQ("retain", out.front().name);
  EXPECT_EQ("", out.back().name);
  EXPECT_EQ(5, out.back().value);
  const auto first = fake->last(msg::kGetComplianceOptionList);
  ASSERT_EQ(0, net.getComplianceOptionList(-9, out, err, 222, static_cast<ymComplianceOptions>(3), 6));
  const auto second = fake->last(msg::kGetComplianceOptionList);
  EXPECT_EQ(0, std::memcmp(&first.as<ComplianceOptionListReq>().id, &second.as<ComplianceOptionListReq>().id, 16));
  EXPECT_EQ(-9, second.as<ComplianceOptionListReq>().id);
  EXPECT_EQ(3, second.as<ComplianceOptionListReq>().kind);
  EXPECT_EQ(6, second.as<ComplianceOptionListReq>().number);
}

TEST_F(CatalogueQueriesTest, RecordCentersAccumulateAcrossCalls) {
  char t[7][8] = {"t1", "t2", "t3", "t4", "t5", "t6", "t7"};
  SchedRecordCenter c{1, t[0], t[1], t[2], t[3], t[4], 2, t[5], t[6], 3};
  RecordCenterListResp resp{};
  resp.count = 1;
  resp.centers = &c;
  std::list<_RecordCenterInfo> centers;
  fake->respond(msg::kGetRecordCenterList, resp);
  fake->respond(msg::kGetRecordCenterList, resp);
  ASSERT_EQ(0, net.getRecordCenterList(centers, err, 4));
  ASSERT_EQ(0, net.getRecordCenterList(centers, err, 4));
  ASSERT_EQ(2u, centers.size());
  const _RecordCenterInfo& r = centers.back();
  EXPECT_EQ("1 t1 t2 t3 t4 t5 2 t6 t7 3", std::to_string(r.id) + " " + r.text1 + " " + r.text2 + " " + r.text3 + " " +
                                              r.text4 + " " + r.text5 + " " + std::to_string(r.value1) + " " + r.text6 +
                                              " " + r.text7 + " " + std::to_string(r.value2));
  EXPECT_EQ(4, fake->last(msg::kGetRecordCenterList).as<RecordCenterListReq>().number);
}

TEST_F(CatalogueQueriesTest, ConnectorsAndLegalHoldsKeepFieldOrder) {
  char a[] = "a", b[] = "b", c[] = "c", d[] = "d";
  SchedRecordConnector rc{1, a, 2, b, nullptr, c, 3};
  RecordConnectorListResp r1{};
  r1.count = 1;
  r1.connectors = &rc;
  fake->respond(msg::kGetRecordConnectorList, r1);
  std::list<_RecordConnectorInfo> conns;
  ASSERT_EQ(0, net.getRecordConnectorList(conns, err, 0));
  ASSERT_EQ(1u, conns.size());
  const _RecordConnectorInfo& k = conns.front();
  // Every field, so that a field filled from its neighbour shows.
  EXPECT_EQ("1 a 2 b  c 3", std::to_string(k.id) + " " + k.text1 + " " + std::to_string(k.value1) + " " + k.text2 +
                                " " + k.text3 + " " + k.text4 + " " + std::to_string(k.value2));

  SchedLegalHold h{a, b, c, {7, 8, 9}, d, {10, 11}};
  LegalHoldListResp r2{};
  r2.count = 1;
  r2.holds = &h;
  fake->respond(msg::kGetLegalHoldList, r2);
  std::list<_LegalHoldInfo> holds;
  ASSERT_EQ(0, net.getLegalHoldList(holds, err, "filter"));
  ASSERT_EQ(1u, holds.size());
  const _LegalHoldInfo& l = holds.front();
  EXPECT_EQ("a b c 7 8 9 d 10 11", l.text1 + " " + l.text2 + " " + l.text3 + " " + std::to_string(l.words1[0]) + " " +
                                       std::to_string(l.words1[1]) + " " + std::to_string(l.words1[2]) + " " + l.text4 +
                                       " " + std::to_string(l.words2[0]) + " " + std::to_string(l.words2[1]));
  EXPECT_STREQ("filter", fake->last(msg::kGetLegalHoldList).as<LegalHoldListReq>().text);
}

TEST_F(CatalogueQueriesTest, TagListFilterOrZeroBlock) {
  std::list<_DM2TagInfo> tags;
  ASSERT_EQ(0, net.getTagList(tags, err, nullptr));
  {
    const auto req = fake->last(msg::kGetTagList);
    const auto& r = req.as<TagListReq>();
    EXPECT_EQ(nullptr, r.tag.text1);
    EXPECT_EQ(nullptr, r.tag.text5);
    EXPECT_EQ(0, r.tag.number);
  }
  _DM2TagInfo filter;
  filter.text2 = "two";
  filter.value = 12;
  char five[] = "five";
  char one[] = "one", two[] = "two", three[] = "three", four[] = "four";
  SchedDM2Tag entry{one, two, three, four, five, 13};
  TagListResp resp{};
  resp.count = 1;
  resp.tags = &entry;
  fake->respond(msg::kGetTagList, resp);
  ASSERT_EQ(0, net.getTagList(tags, err, &filter));
  const auto req = fake->last(msg::kGetTagList);
  EXPECT_STREQ("two", req.as<TagListReq>().tag.text2);
  EXPECT_STREQ("", req.as<TagListReq>().tag.text1);
  EXPECT_EQ(12, req.as<TagListReq>().tag.number);
  ASSERT_EQ(1u, tags.size());
  const _DM2TagInfo& t = tags.front();
  EXPECT_EQ("one two three four five 13",
            t.text1 + " " + t.text2 + " " + t.text3 + " " + t.text4 + " " + t.text5 + " " + std::to_string(t.value));
}

TEST_F(CatalogueQueriesTest, UpdateInfoReplacesOnlyWhenTheServerAnswersEntries) {
  _UpdateInformation info;
  ASSERT_EQ(0, net.GetUpdateInfo(info, err, 1, 2, 3));
  EXPECT_EQ(0u, fake->last(msg::kGetUpdateInfo).as<GetUpdateInfoReq>().count);

  info.updates.push_back({5, 55});
  info.updates.push_back({6, 66});
  ASSERT_EQ(0, net.GetUpdateInfo(info, err, 0, 0, 0));
  {
    const auto req = fake->last(msg::kGetUpdateInfo);
    const auto& r = req.as<GetUpdateInfoReq>();
    ASSERT_EQ(2u, r.count);
    EXPECT_EQ(5u, r.entries[0].word1);
    EXPECT_EQ(0u, r.entries[0].word2) << "the second word is sent as 0";
    EXPECT_EQ(6u, r.entries[1].word1);
  }
  EXPECT_EQ(2u, info.updates.size()) << "count 0 keeps the list";

  SchedUpdateInfo entries[1] = {{9, 99}};
  GetUpdateInfoResp resp{};
  resp.count = 1;
  resp.entries = entries;
  fake->respond(msg::kGetUpdateInfo, resp);
  ASSERT_EQ(0, net.GetUpdateInfo(info, err, 0, 0, 0));
  ASSERT_EQ(1u, info.updates.size());
  EXPECT_EQ(9u, info.updates.front().firstWord);
  EXPECT_EQ(99u, info.updates.front().secondWord);

  fake->failNextSend(1703938, "down");
  EXPECT_EQ(1703938, net.GetUpdateInfo(info, err, 0, 0, 0));  // the packed array is released (LeakSanitizer)
  EXPECT_EQ(1u, info.updates.size());
}
