#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "task/EvTask.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

// Counts the reads of the sequence number that go through the typed accessor.
class CountingTask : public EvTask {
 public:
  explicit CountingTask(unsigned long long id) : EvTask(id, 0, nullptr, false) {}
  int getOptionLongLong(unsigned long long optionId, long long& value, void* event) override {
    reads.push_back(event);
    return EvTask::getOptionLongLong(optionId, value, event);
  }
  using EvTask::getOptionLongLong;
  std::vector<void*> reads;
};

TEST_F(EvTaskTest, GettersWithoutEventReadTheirOwnIds) {
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions,
                 {{140026, 7, "812"}, {140016, 10, "16"}, {140017, 10, "17"}, {140018, 10, "18"},
                  {140001, 14, "-9000000001"}, {140019, 9, "-19"}, {140020, 9, "20"}, {140021, 10, "21"},
                  {140022, 9, "22"}, {1700227181ULL, 15, "18000000000000000001"}});
  EXPECT_EQ(812, task.getTaskId());
  EXPECT_EQ(812, task.getScheduleId());
  EXPECT_EQ(16u, task.getTaskType());
  EXPECT_EQ(17u, task.getSubTaskType());
  EXPECT_EQ(18u, task.getOperationType());
  EXPECT_EQ(-9000000001LL, task.getSequenceNumber());
  EXPECT_EQ(-19L, task.getUserId());
  EXPECT_EQ(20L, task.getAlertId());
  EXPECT_EQ(21L, task.getOwnerId());
  EXPECT_EQ(22L, task.getLocaleId());
  EXPECT_EQ(18000000000000000001ULL, task.getOriginalJobId());
  EXPECT_EQ(1u, fake->requestCount());
}

TEST_F(EvTaskTest, LoadFailuresGiveZeroWithoutEventAndTheCodeWithOne) {
  EvTask task(17, 0, nullptr, false);
  fake->respondError(msg::kGetOptions, 3, "down");
  EXPECT_EQ(0u, task.getTaskType());
  fake->respondError(msg::kGetOptions, 3, "down");
  EXPECT_EQ(0L, task.getUserId());
  fake->respondError(msg::kGetOptions, 3, "down");
  EXPECT_EQ(0ULL, task.getOriginalJobId());
  EXPECT_EQ("down", task.getErrorString());
  fake->respondError(msg::kGetOptions, 0x1A0008, "timeout");
  unsigned long v = 3;
  EXPECT_EQ(0x1A0008, task.getClientId(v, nullptr));
  EXPECT_EQ(3u, v);
}

TEST_F(EvTaskTest, SettersWriteTheirIdsTypesAndTexts) {
  EvTask task(17, 0, nullptr, false);
  unsigned long u = 5;
  int marker = 0;
  struct Case {
    std::function<int()> call;
    unsigned long long id;
    int type;
    std::string text;
  };
  const std::vector<Case> cases = {
      {[&] { return task.setSequenceNumber(-5); }, 140001, 14, "-5"},
      {[&] { return task.setSeqNumber(6, &marker); }, 140001, 14, "6"},
      {[&] { return task.setUserId(-7); }, 140019, 9, "-7"},
      {[&] { return task.setAlertId(8); }, 140020, 9, "8"},
      {[&] { return task.setOwnerId(-1); }, 140021, 10, "4294967295"},
      {[&] { return task.setLocaleId(9); }, 140022, 9, "9"},
      {[&] { return task.setClientId(u, nullptr); }, 140003, 10, "5"},
      {[&] { return task.setAppTypeId(u, nullptr); }, 140004, 10, "5"},
      {[&] { return task.setInstanceId(u, nullptr); }, 140005, 10, "5"},
      {[&] { return task.setBackupSetId(u, nullptr); }, 140006, 10, "5"},
      {[&] { return task.setSubClientId(u, nullptr); }, 140007, 10, "5"},
      {[&] { return task.setPolicyId(u, nullptr); }, 140008, 10, "5"},
      {[&] { return task.setCopyId(u, nullptr); }, 140009, 10, "5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(0, c.call()) << c.id;
    const std::vector<Opt> sent = writtenOptions(fake->last(msg::kSetOptions));
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(c.id, sent[0].id);
    EXPECT_EQ(c.type, sent[0].type) << c.id;
    EXPECT_EQ(c.text, sent[0].value) << c.id;
  }
  fake->respondError(msg::kSetOptions, 66, "denied");
  EXPECT_EQ(66, task.setUserId(1));
}

// The owner id goes out in unsigned text form; reading it back must give
// the id that was written, not the signed reading's clamp (2147483647).
TEST_F(EvTaskTest, OwnerIdWrittenUnsignedReadsBackSigned) {
  usePlatformType("4");
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{140021, 9, "-5"}});
  EXPECT_EQ(-5L, task.getOwnerId()) << "stored in signed form";
  ASSERT_EQ(0, task.setOwnerId(-1));
  EXPECT_EQ(-1L, task.getOwnerId());
  ASSERT_EQ(0, task.setOwnerId(2147483647L));
  EXPECT_EQ(2147483647L, task.getOwnerId());
  EXPECT_EQ(1u, countOf(*fake, msg::kGetOptions));
}

TEST_F(EvTaskTest, EntityIdGettersPassTheEventAndFallBack) {
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions,
                 {{140004, 10, "4"}, {140005, 10, "5"}, {140006, 10, "6"}, {140007, 10, "7"}, {140008, 10, "8"},
                  {140009, 10, "9"}, {140012, 10, "12"}, {140024, 10, "24"}, {887989224ULL, 15, "77"}});
  unsigned long v = 99;
  // Neither the task nor the defaults hold the client id.
  EXPECT_EQ(0, task.getClientId(v, nullptr));
  EXPECT_EQ(0u, v);
  EXPECT_EQ(1u, countOf(*fake, msg::kGetDefaults));
  const std::vector<std::pair<std::function<int(unsigned long&)>, unsigned long>> getters = {
      {[&](unsigned long& x) { return task.getAppTypeId(x, nullptr); }, 4},
      {[&](unsigned long& x) { return task.getInstanceId(x, nullptr); }, 5},
      {[&](unsigned long& x) { return task.getBackupSetId(x, nullptr); }, 6},
      {[&](unsigned long& x) { return task.getSubClientId(x, nullptr); }, 7},
      {[&](unsigned long& x) { return task.getPolicyId(x, nullptr); }, 8},
      {[&](unsigned long& x) { return task.getCopyId(x, nullptr); }, 9},
      {[&](unsigned long& x) { return task.getTrackingPolicyId(x, nullptr); }, 12},
      {[&](unsigned long& x) { return task.getAgentlessPolicyId(x, nullptr); }, 24},
  };
  for (const auto& g : getters) {
    unsigned long x = 0;
    EXPECT_EQ(0, g.first(x));
    EXPECT_EQ(g.second, x);
  }
  unsigned long long dependent = 0;
  EXPECT_EQ(0, task.getUserDependentJobId(dependent, nullptr));
  EXPECT_EQ(77ULL, dependent);
}

TEST_F(EvTaskTest, SequenceNumberIsReadWithoutTheEventAndOnlyAZeroAgainWithIt) {
  int marker = 0;
  {
    CountingTask task(17);
    respondOptions(*fake, msg::kGetOptions, {{140001, 14, "41"}});
    long long value = 0;
    EXPECT_EQ(0, task.getSeqNumber(value, &marker));
    EXPECT_EQ(41, value);
    ASSERT_EQ(1u, task.reads.size());
    EXPECT_EQ(nullptr, task.reads[0]) << "the first read goes without the event";
  }
  CountingTask task(17);
  fake->respondError(msg::kGetOptions, 3, "down");
  fake->respondError(msg::kGetOptions, 4, "still down");
  long long value = 5;
  EXPECT_EQ(4, task.getSeqNumber(value, &marker));
  ASSERT_EQ(2u, task.reads.size());
  EXPECT_EQ(&marker, task.reads[1]);
}

}  // namespace
