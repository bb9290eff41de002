#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/YMPlatformInfo.h"
#include "platform/YmErrors.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"
#include "support/FakeAppMgr.h"
#include "support/TestSupport.h"

using namespace evtask;
using evtask::test::ScopedFakeAppMgr;

namespace {

struct Recorder : OptionCallBack, FileCallBack {
  typedef std::tuple<char, unsigned long long, std::string, unsigned long> Call;
  std::vector<Call> calls;
  int getOptionsCallback(unsigned long long id, std::string value, unsigned long type) override {
    calls.emplace_back('o', id, value, type);
    return 0;
  }
  int getDefaultsCallback(unsigned long long id, std::string value, unsigned long type) override {
    calls.emplace_back('d', id, value, type);
    return 0;
  }
  int getFilesCallback(unsigned long long id, std::string value, unsigned long type) override {
    calls.emplace_back('f', id, value, type);
    return 0;
  }
};

class OptionMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    YMPlatformInfo::clearStore();
    task.jobId = 0x700000001ull;
    task.taskId = 11;
    task.subTaskId = 12;
    task.idKind = 1;
    task.optionKey = 0x900000003ull;
  }

  ScopedFakeAppMgr fake;
  TaskInterfaceNet net;
  _TaskInfo task;
  Recorder rec;
  std::string err;
};

GenericGetOptionsResp threeOptions(TaskApiOptions* recs) {
  static char a[] = "alpha", c[] = "gamma";
  recs[0] = TaskApiOptions{1, 7, a};
  recs[1] = TaskApiOptions{0x100000002ull, 1, nullptr};
  recs[2] = TaskApiOptions{3, 13, c};
  GenericGetOptionsResp resp{};
  resp.count = 3;
  resp.options = recs;
  return resp;
}

}  // namespace

TEST_F(OptionMessagesTest, GetOptionsDeliversEveryRecordInOrder) {
  TaskApiOptions recs[3];
  fake->respond(msg::kGetOptions, threeOptions(recs));
  ASSERT_EQ(0, net.getOptions(task, &rec, err, nullptr)) << err;
  ASSERT_EQ(3u, rec.calls.size());
  EXPECT_EQ(Recorder::Call('o', 1, "alpha", 7), rec.calls[0]);
  EXPECT_EQ(Recorder::Call('o', 0x100000002ull, "", 1), rec.calls[1]);
  EXPECT_EQ(Recorder::Call('o', 3, "gamma", 13), rec.calls[2]);
  EXPECT_EQ(72u, fake->last(msg::kGetOptions).size);
}

TEST_F(OptionMessagesTest, GetOptionsByJobZeroIsRefusedBeforeSending) {
  evtask::test::LogCapture cap;
  task.idKind = 0;
  task.jobId = 0;
  EXPECT_EQ(1, net.getOptions(task, &rec, err, nullptr));
  EXPECT_EQ(0u, fake->requestCount());
  EXPECT_TRUE(cap.contains("TaskInterfaceNet::getOptions", "JobId cannot be 0 when retrieving options by job"));
  task.idKind = 1;  // by subtask, job id 0 is fine
  EXPECT_EQ(0, net.getOptions(task, &rec, err, nullptr));
  EXPECT_EQ(1u, fake->requestCount());
}

TEST_F(OptionMessagesTest, GetDefaultsSendsAZeroIdentity) {
  TaskApiOptions recs[3];
  fake->respond(msg::kGetDefaults, threeOptions(recs));
  ASSERT_EQ(0, net.getDefaults(&rec, err, nullptr));
  ASSERT_EQ(3u, rec.calls.size());
  EXPECT_EQ('d', std::get<0>(rec.calls[0]));
}

TEST_F(OptionMessagesTest, SetOptionsPacksIdsTypesAndTexts) {
  TaskOption a(0x100000005ull, "one", 1), b(6, "2", 7);
  ASSERT_EQ(0, net.setOptions(task, {&a, &b}, err, nullptr));
  const auto req = fake->last(msg::kSetOptions);
  const auto& r = req.as<SetTaskOptionsReq>();
  EXPECT_EQ(80u, req.size);
  ASSERT_EQ(2u, r.count);
  EXPECT_EQ(0x100000005ull, r.options[0].optionId);
  EXPECT_EQ(1, r.options[0].type);
  EXPECT_STREQ("one", r.options[0].value);
  EXPECT_STREQ("2", r.options[1].value);
}

TEST_F(OptionMessagesTest, EmptyListsTravelAsCountZero) {
  ASSERT_EQ(0, net.setOptions(task, {}, err, nullptr));
  const auto req = fake->last(msg::kSetOptions);
  EXPECT_EQ(0u, req.as<SetTaskOptionsReq>().count);
  EXPECT_EQ(nullptr, req.as<SetTaskOptionsReq>().options);
  ASSERT_EQ(0, net.removeFiles(task, std::vector<std::string>{}, err, nullptr));
  EXPECT_EQ(0u, fake->last(msg::kRemoveFileNames).as<GenericRemoveTaskFilesReq>().count);
}

TEST_F(OptionMessagesTest, RemoveOptionsSendsNoTexts) {
  TaskOption a(5, "text", 1);
  ASSERT_EQ(0, net.removeOptions(task, std::vector<const TaskOption*>{&a}, err, nullptr));
  const auto req = fake->last(msg::kRemoveOptions);
  const auto& r = req.as<GenericRemoveTaskOptionsReq>();
  ASSERT_EQ(1u, r.count);
  EXPECT_EQ(5ull, r.options[0].optionId);
  EXPECT_EQ(1, r.options[0].type);
  EXPECT_EQ(nullptr, r.options[0].value);
}

TEST_F(OptionMessagesTest, RemoveOptionIdsSendsTheLowHalf) {
  ASSERT_EQ(0, net.removeOptions(task, std::vector<unsigned long long>{0x100000005ull, 9}, err, nullptr));
  const auto req = fake->last(msg::kRemoveOptionIds);
  const auto& r = req.as<RemoveTaskOptionsReq>();
  ASSERT_EQ(2u, r.count);
  EXPECT_EQ(5u, r.optionIds[0]);
  EXPECT_EQ(9u, r.optionIds[1]);
}

TEST_F(OptionMessagesTest, FilesTravelWithTextsAndNamesAlone) {
  TaskFile f(150001, "/data", 150001);
  ASSERT_EQ(0, net.setFiles(task, {&f}, err, nullptr));
  {
    const auto req = fake->last(msg::kSetFiles);
    const auto& r = req.as<SetTaskFilesReq>();
    ASSERT_EQ(1u, r.count);
    EXPECT_STREQ("/data", r.files[0].value);
    EXPECT_EQ(150001, r.files[0].type);
  }
  ASSERT_EQ(0, net.removeFiles(task, std::vector<const TaskFile*>{&f}, err, nullptr));
  EXPECT_STREQ("/data", fake->last(msg::kRemoveFiles).as<GenericRemoveTaskFilesReq>().files[0].value);
  ASSERT_EQ(0, net.removeFiles(task, std::vector<std::string>{"/a", "/b"}, err, nullptr));
  const auto req = fake->last(msg::kRemoveFileNames);
  const auto& r = req.as<GenericRemoveTaskFilesReq>();
  ASSERT_EQ(2u, r.count);
  EXPECT_STREQ("/b", r.files[1].value);
  EXPECT_EQ(0ull, r.files[1].optionId);
  EXPECT_EQ(0, r.files[1].type);
}

TEST_F(OptionMessagesTest, GetFilesCallsBackPerEntry) {
  char p[] = "/restore/here";
  TaskApiFiles files[1] = {{150002, 150002, p}};
  GenericGetTaskFilesResp resp{};
  resp.count = 1;
  resp.files = files;
  fake->respond(msg::kGetFiles, resp);
  ASSERT_EQ(0, net.getFiles(task, &rec, err, nullptr));
  ASSERT_EQ(1u, rec.calls.size());
  EXPECT_EQ(Recorder::Call('f', 150002, "/restore/here", 150002), rec.calls[0]);
}

TEST_F(OptionMessagesTest, XmlBitAndExtendedTextsLandInTheRecord) {
  char xml[] = "<opts/>", ext[] = "0101";
  XmlOptionsResp x{};
  x.text = xml;
  fake->respond(msg::kGetXMLOptions, x);
  ASSERT_EQ(0, net.getXMLOptions(task, err, nullptr));
  EXPECT_EQ("<opts/>", task.xmlOptions);
  BitWiseOptionsResp b{};
  b.bitOptions = 0x8000000000000001ull;
  fake->respond(msg::kGetBitOptions, b);
  ASSERT_EQ(0, net.getBitOptions(task, err, nullptr));
  EXPECT_EQ(0x8000000000000001ull, task.bitOptions);
  ExtendedOptionsResp e{};
  e.text = ext;
  fake->respond(msg::kGetExtendedOptions, e);
  ASSERT_EQ(0, net.getExtendedOptions(task, err, nullptr));
  EXPECT_EQ("0101", task.extendedOptions);
  fake->respondError(msg::kGetExtendedOptions, 5, "x");
  EXPECT_EQ(5, net.getExtendedOptions(task, err, nullptr));
  EXPECT_EQ("0101", task.extendedOptions);
  const auto req = fake->last(msg::kGetXMLOptions);
}

TEST_F(OptionMessagesTest, GetDefaultOptionTakesTheFirstValueOrLeavesIt) {
  std::string value = "caller's";
  ASSERT_EQ(0, net.getDefaultOption(0x1234567890ull, value, err, nullptr));
  EXPECT_EQ("caller's", value) << "an unknown id leaves the value";
  const auto req = fake->last(msg::kGetDefaultOption);
  TaskApiOptions recs[3];
  fake->respond(msg::kGetDefaultOption, threeOptions(recs));
  ASSERT_EQ(0, net.getDefaultOption(1, value, err, nullptr));
  EXPECT_EQ("alpha", value);
}
