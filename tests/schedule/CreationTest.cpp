// Task creation: the request built from the caller's parts, and what the
// reply decides about the result, the task id and the job ids.
#include <gtest/gtest.h>

#include "platform/YmErrors.h"
#include "schedule/ScheduleTestXml.h"
#include "schedule/XmlMessages.h"
#include "service/TaskInterfaceNet.h"
#include "support/FakeXml.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

const char kCreated[] = "<m f=\"12\" c=\"100\"><i t=\"1\">77</i></m>";

YmEntities::GenericEntity client(int id) {
  YmEntities::GenericEntity e;
  e.setint64(0, 0, 0);
  e.setint64(47, 0, id);
  return e;
}

class CreationTest : public EvTaskTest {
 protected:
  int create(TMMsg::TaskType type, std::vector<YmEntities::GenericEntity>* assoc = nullptr,
             TMMsg::Pattern* pattern = nullptr, TMMsg::JobOption* options = nullptr) {
    return task._createScheduleJob(taskId, TMMsg::SUBTASK_ADMIN, TMMsg::OP_AUX_COPY, jobs, errorText, 12, assoc,
                                   pattern, options, 3, 0, false, type, "sub name", "the description");
  }

  EvTask task{0, 0, nullptr, false};
  int taskId = -1;
  std::list<long long> jobs;
  std::string errorText;
};

}  // namespace

TEST_F(CreationTest, RequestCarriesTaskAssociationsAndOneSubtask) {
  respondCreate(*fake, msg::kCreateTask, kCreated, {501, 502}, 5);
  std::vector<YmEntities::GenericEntity> assoc{client(7), client(8)};
  TMMsg::Pattern pattern;
  pattern.setint64(7, 0, 4);
  TMMsg::JobOption options;
  options.setint64(99, 0, 1);
  jobs = {1};
  ASSERT_EQ(0, create(TMMsg::TASK_SCHEDULE, &assoc, &pattern, &options)) << errorText;
  EXPECT_EQ((std::list<long long>{1, 501, 502}), jobs);
  EXPECT_EQ(77, taskId);
  const auto wire = fake->last(msg::kCreateTask).as<::CreateTaskReq>();
  EXPECT_EQ(vals(12, 3), vals(wire.userId, wire.localeId));
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
  EXPECT_EQ(TMMsg::CreateTaskReq().getTagID(), req.getTagID());
  EXPECT_EQ(vals(2ll, 12ll, 3ll, std::string("the description")),
            vals(num(req, {2, 1}, 8), num(req, {2, 1}, 10), num(req, {2, 1}, 12), text(req, {2, 1}, 14)));
  ASSERT_NE(nullptr, at(req, {2, 1, 6}));
  EXPECT_EQ(TMMsg::TaskFlags().getTagID(), at(req, {2, 1, 6})->getTagID());
  const auto entities = list(req, {2}, 3);
  ASSERT_EQ(2u, entities.size());
  EXPECT_EQ(vals(7ll, 8ll), vals(num(entities[0], {}, 47), num(entities[1], {}, 47)));
  const auto subTasks = list(req, {2}, 5);
  ASSERT_EQ(1u, subTasks.size());
  EXPECT_EQ("sub name", text(subTasks[0], {1}, 1));
  EXPECT_EQ(vals(1ll, 4003ll, 4ll, 1ll), vals(num(subTasks[0], {1}, 6), num(subTasks[0], {1}, 7),
                                            num(subTasks[0], {3}, 7), num(subTasks[0], {4}, 99)));
}

TEST_F(CreationTest, OptionalPartsFollowWhatWasSupplied) {
  TMMsg::Pattern pattern;
  TMMsg::JobOption options;
  std::vector<YmEntities::GenericEntity> empty;
  const struct {
    const char* name;
    TMMsg::TaskType type;
    std::vector<YmEntities::GenericEntity>* assoc;
    TMMsg::Pattern* pattern;
    TMMsg::JobOption* options;
    bool assocSet, patternSet, optionsSet;
  } cases[] = {
      {"immediate drops the pattern", TMMsg::TASK_IMMEDIATE, &empty, &pattern, &options, true, false, true},
      {"easy backup keeps the pattern", TMMsg::TASK_EZ_BACKUP_SCHEDULE, nullptr, &pattern, nullptr, false, true,
       false},
      {"nothing supplied", TMMsg::TASK_SCHEDULE, nullptr, nullptr, nullptr, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    respondCreate(*fake, msg::kCreateTask, kCreated, {});
    ASSERT_EQ(0, create(c.type, c.assoc, c.pattern, c.options));
    const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
    EXPECT_EQ(c.assocSet, at(req, {2})->isSet(3, 0));
    const auto subTasks = list(req, {2}, 5);
    ASSERT_EQ(1u, subTasks.size());
    EXPECT_EQ(c.patternSet, subTasks[0].isSet(3, 0));
    EXPECT_EQ(c.optionsSet, subTasks[0].isSet(4, 0));
  }
}

TEST_F(CreationTest, ReplyDecidesTheResultTheTaskIdAndTheJobIds) {
  const struct {
    const char* name;
    const char* xml;
    int code;
    int taskId;
    const char* errorText;
    bool jobsTaken;
  } cases[] = {
      {"created with id", kCreated, 0, 77, "", true},
      {"created without id", "<m f=\"12\" c=\"100\"/>", 0, 5, "", true},
      {"refused", "<m f=\"12\" c=\"1\"><i t=\"1\">9</i><s t=\"2\">no licence</s></m>", 9, -1, "no licence", false},
      {"generic answer without code", "<m f=\"12\" c=\"1\"><s t=\"2\">note</s></m>", 0, 5, "", true},
      {"reply without XML", nullptr, YM_XML_EMPTY, -1, "Unexpected reply", false},
      {"reply that does not parse", "<m f=", YM_XML_MALFORMED, -1, "Unexpected reply", false},
      {"reply of another class", "<m f=\"21\" c=\"194\"/>", YM_XML_WRONG_CLASS, -1, "Unexpected reply", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    respondCreate(*fake, msg::kCreateTask, c.xml, {900}, 5);
    jobs = {1};
    taskId = -1;
    errorText.clear();
    EXPECT_EQ(c.code, create(TMMsg::TASK_SCHEDULE));
    EXPECT_EQ(c.taskId, taskId);
    EXPECT_EQ(0u, errorText.find(c.errorText)) << errorText;
    EXPECT_EQ(c.jobsTaken ? (std::list<long long>{1, 900}) : (std::list<long long>{1}), jobs);
  }
}

TEST_F(CreationTest, MessageInitialisationFailureSendsNothing) {
  CNMessageBase::setInitializeHook([] { return 1; });
  LogCapture log;
  EXPECT_EQ(YM_XML_INIT_FAILED, create(TMMsg::TASK_SCHEDULE));
  CNMessageBase::setInitializeHook(nullptr);
  EXPECT_EQ("XML Message initilization failed", errorText);
  EXPECT_TRUE(log.contains("EvTask::createScheduleJob", "Failed to Initialize taskReq object. Error: 720897"));
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(CreationTest, TaskRequestCarriesItsContext) {
  respondCreate(*fake, msg::kTaskRequest, "<reply/>", {11}, 42);
  std::string xml = "<request/>";
  int id = 0;
  ASSERT_EQ(0, task.TaskRequest(xml, jobs, id, 6, errorText, 0x0C7E88C5, 8, -5, true, false));
  EXPECT_EQ("<reply/>", xml);
  EXPECT_EQ(42, id);
  EXPECT_EQ(std::list<long long>{11}, jobs);
  const auto req = fake->last(msg::kTaskRequest).as<TaskMgrReq>();
  EXPECT_EQ(vals(8, 6, -5ll, 0x0C7E88C5u, 1u, 0u, 0u),
            vals(req.localeId, req.userId, req.sequenceNumber, req.requestKind, req.flag, req.endUser, req.count));
  EXPECT_STREQ("<request/>", req.xml);
}
