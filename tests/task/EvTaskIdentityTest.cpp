#include <gtest/gtest.h>

#include <sstream>
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

// The getters without event and the entity id getters read their own
// options in one load; the client id, held neither by the task nor by the
// defaults, reads as zero.
TEST_F(EvTaskTest, IdGettersReadTheirOwnOptions) {
  EvTask task(17, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions,
                 {{140026, 7, "812"}, {140016, 10, "16"}, {140017, 10, "17"}, {140018, 10, "18"},
                  {140001, 14, "-9000000001"}, {140019, 9, "-19"}, {140020, 9, "20"}, {140021, 10, "21"},
                  {140022, 9, "22"}, {1700227181ULL, 15, "18000000000000000001"}, {140004, 10, "4"},
                  {140005, 10, "5"}, {140006, 10, "6"}, {140007, 10, "7"}, {140008, 10, "8"}, {140009, 10, "9"},
                  {140012, 10, "12"}, {140024, 10, "24"}, {887989224ULL, 15, "77"}});
  std::ostringstream s;
  s << task.getTaskId() << " " << task.getScheduleId() << " " << task.getTaskType() << " " << task.getSubTaskType()
    << " " << task.getOperationType() << " " << task.getSequenceNumber() << " " << task.getUserId() << " "
    << task.getAlertId() << " " << task.getOwnerId() << " " << task.getLocaleId() << " " << task.getOriginalJobId();
  for (int (EvTask::*get)(unsigned long&, void*) :
       {&EvTask::getClientId, &EvTask::getAppTypeId, &EvTask::getInstanceId, &EvTask::getBackupSetId,
        &EvTask::getSubClientId, &EvTask::getPolicyId, &EvTask::getCopyId, &EvTask::getTrackingPolicyId,
        &EvTask::getAgentlessPolicyId}) {
    unsigned long v = 99;
    s << " " << (task.*get)(v, nullptr) << ":" << v;
  }
  unsigned long long dependent = 0;
  s << " " << task.getUserDependentJobId(dependent, nullptr) << ":" << dependent;
  EXPECT_EQ("812 812 16 17 18 -9000000001 -19 20 21 22 18000000000000000001 0:0 0:4 0:5 0:6 0:7 0:8 0:9 0:12 0:24 0:77",
            s.str());
  EXPECT_EQ((std::vector<uint32_t>{msg::kGetOptions, msg::kGetDefaults}), fake->requestTypes());
}

TEST_F(EvTaskTest, LoadFailuresGiveZeroWithoutEventAndTheCodeWithOne) {
  EvTask task(17, 0, nullptr, false);
  for (int i = 0; i < 3; ++i) fake->respondError(msg::kGetOptions, 3, "down");
  std::ostringstream s;
  s << task.getTaskType() << " " << task.getUserId() << " " << task.getOriginalJobId() << " " << task.getErrorString();
  fake->respondError(msg::kGetOptions, 0x1A0008, "timeout");
  unsigned long v = 3;
  s << " " << task.getClientId(v, nullptr) << " " << v;
  EXPECT_EQ("0 0 0 down " + std::to_string(0x1A0008) + " 3", s.str());
}

TEST_F(EvTaskTest, SettersWriteTheirIdsTypesAndTexts) {
  EvTask task(17, 0, nullptr, false);
  int marker = 0;
  for (int rc : {task.setSequenceNumber(-5), task.setSeqNumber(6, &marker), task.setUserId(-7), task.setAlertId(8),
                 task.setOwnerId(-1), task.setLocaleId(9)}) {
    EXPECT_EQ(0, rc);
  }
  for (int (EvTask::*set)(unsigned long, void*) :
       {&EvTask::setClientId, &EvTask::setAppTypeId, &EvTask::setInstanceId, &EvTask::setBackupSetId,
        &EvTask::setSubClientId, &EvTask::setPolicyId, &EvTask::setCopyId}) {
    EXPECT_EQ(0, (task.*set)(5, nullptr));
  }
  EXPECT_EQ("[140001:14:-5][140001:14:6][140019:9:-7][140020:9:8][140021:10:4294967295][140022:9:9]"
            "[140003:10:5][140004:10:5][140005:10:5][140006:10:5][140007:10:5][140008:10:5][140009:10:5]",
            optionWrites(*fake));
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

// The first read goes without the event; only a zero is read again, with it.
TEST_F(EvTaskTest, SequenceNumberIsReadWithoutTheEventAndOnlyAZeroAgainWithIt) {
  int marker = 0;
  CountingTask found(17), failing(18);
  respondOptions(*fake, msg::kGetOptions, {{140001, 14, "41"}});
  long long value = 0;
  EXPECT_EQ(0, found.getSeqNumber(value, &marker));
  EXPECT_EQ(41, value);
  EXPECT_EQ(std::vector<void*>{nullptr}, found.reads);
  fake->respondError(msg::kGetOptions, 3, "down");
  fake->respondError(msg::kGetOptions, 4, "still down");
  EXPECT_EQ(4, failing.getSeqNumber(value, &marker));
  EXPECT_EQ((std::vector<void*>{nullptr, &marker}), failing.reads);
}

}  // namespace
