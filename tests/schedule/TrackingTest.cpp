// Job list, waiting for jobs, run-now of a subtask, sweep tasks, deletion
// and clean-up of schedules, entities of a job request.
#include <gtest/gtest.h>

#include "platform/PlatformMessages.h"
#include "platform/YMGlobalParam.h"
#include "schedule/ScheduleTestXml.h"
#include "schedule/XmlMessages.h"
#include "support/FakeXml.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

class TrackingTest : public EvTaskTest {
 protected:
  void SetUp() override {
    EvTaskTest::SetUp();
    YmClock::set(&clock);
  }
  void TearDown() override {
    YmClock::set(nullptr);
    EvTaskTest::TearDown();
  }
  // Queues one reply per poll; null stands for a reply without XML.
  void queue(const std::vector<std::string>& replies) {
    for (const std::string& r : replies) respondXml(*fake, r == "-" ? nullptr : r.c_str());
  }

  FakeClock clock;
  EvTask task{0x500000001ull, 0, nullptr, false};
  bool success = true;
  std::string status = "old", detail = "old", err;
};

const std::string kNone = "-";

}  // namespace

TEST_F(TrackingTest, WaitPollsEveryThirtySecondsUntilAFinalState) {
  const std::string other = jobList({{8, "Completed", ""}});
  const std::string running = jobList({{7, "Running", "copying"}});
  const struct {
    const char* name;
    std::vector<std::string> replies;
    bool result, success;
    const char* status;
    size_t polls;
  } cases[] = {
      {"already finished", {jobList({{7, "Completed", "done"}})}, true, true, "Completed", 1},
      {"other letter case", {jobList({{7, "completed", ""}})}, true, true, "completed", 1},
      {"errors still succeed", {jobList({{7, "Completed w/ one or more errors", ""}})}, true, true,
       "Completed w/ one or more errors", 1},
      {"warnings", {jobList({{7, "Completed w/ one or more warnings", ""}})}, true, true, "", 1},
      {"committed", {jobList({{7, "Committed", ""}})}, true, true, "", 1},
      {"killed", {jobList({{7, "Killed", ""}})}, true, false, "Killed", 1},
      {"failed to start", {jobList({{7, "Failed To Start", ""}})}, true, false, "", 1},
      {"system failed", {jobList({{7, "SYSTEM FAILED", ""}})}, true, false, "", 1},
      {"cleanup", {jobList({{7, "Abnormally Terminated Cleanup", ""}})}, true, false, "", 1},
      {"running then failed", {running, jobList({{7, "Waiting", ""}}), jobList({{7, "Failed", "no media"}})}, true,
       false, "Failed", 3},
      {"found among others", {jobList({{8, "Running", ""}, {7, "Completed", ""}})}, true, true, "Completed", 1},
      {"absent twice", {other, kNone, jobList({{7, "Completed", ""}})}, true, true, "Completed", 3},
      {"six failed polls", {kNone, other, "<bad", kNone, kNone, kNone}, false, false, "old", 6},
      {"a find resets the count",
       {kNone, kNone, kNone, kNone, kNone, running, kNone, kNone, kNone, kNone, kNone, jobList({{7, "Completed", ""}})},
       true, true, "Completed", 12},
  };
  for (const auto& c : cases) {
    FakeClock local;
    YmClock::set(&local);
    queue(c.replies);
    status = "old";
    LogCapture log;
    EXPECT_EQ(c.result, task.WaitForJobToComplete(7, success, status, detail)) << c.name;
    EXPECT_EQ(c.success, success) << c.name;
    if (*c.status != 0) {
      EXPECT_EQ(c.status, status) << c.name;
    }
    EXPECT_EQ(std::vector<unsigned long>(c.polls, 30000), local.sleeps()) << c.name;
    if (!c.result) {
      EXPECT_TRUE(log.contains("WaitForJobToComplete", "Error in Waiting for job completion of jobID [7]. So returning"));
      EXPECT_TRUE(log.contains("WaitForJobToComplete", "Error in Waiting for job completion of jobID [7]. Attempt [5]"));
    }
  }
  YmClock::set(&clock);
  queue({jobList({{7, "Failed", "no media"}})});
  EXPECT_TRUE(task.WaitForJobToComplete(7, success, status, detail));
  EXPECT_EQ("no media", detail);
}

TEST_F(TrackingTest, JobListRequestCarriesTheFilter) {
  respondXml(*fake, jobList({{3, "Running", ""}}).c_str());
  std::vector<long long> ids{3, 0x100000004ll};
  JobManager::JobListResponse response;
  ASSERT_TRUE(task.GetJobSummary(ids, response));
  EXPECT_EQ(1u, list(response, {}, 1).size());
  const RecordedRequest rec = fake->last(kXmlHandlerReq);
  EXPECT_EQ(1u, rec.as<XmlHandlerReq>().kind);
  EXPECT_EQ(JobManager::JobListRequest().getTagID(), rec.as<XmlHandlerReq>().tag);
  const CNMessageBase req = parsedXml(sentXml(*fake, kXmlHandlerReq).back());
  EXPECT_EQ(1, num(req, {}, 3));
  EXPECT_EQ("jobId", text(req, {1}, 1));
  EXPECT_EQ(1, num(req, {1}, 5));
  EXPECT_EQ(300, num(req, {2}, 11));
  std::vector<long long> sent;
  at(req, {2})->getlistint(4, 0, sent);
  EXPECT_EQ((std::vector<long long>{3, 4}), sent);  // narrowed to 32 bits

  fake->respondError(kXmlHandlerReq, 4, "manager down");
  LogCapture log;
  EXPECT_FALSE(task.GetJobSummary(ids, response));
  EXPECT_TRUE(log.contains("GetJobSummary", "Error [manager down] in sending job list request"));
}

TEST_F(TrackingTest, TriggerRunsTheSubtaskAndWaitsForItsJob) {
  queue({createdJobs({"123", "124"}), jobList({{123, "Completed", "ok"}})});
  YmEntities::SubtaskEntity sub;
  sub.setint64(0, 0, 55);
  ASSERT_EQ(0, task.TriggerJobforSubtask(sub, err, success, status, detail));
  EXPECT_TRUE(success);
  EXPECT_EQ("ok", detail);
  const CNMessageBase req = parsedXml(sentXml(*fake, kXmlHandlerReq).at(0));
  EXPECT_EQ(TMMsg::TaskOperationReq().getTagID(), req.getTagID());
  EXPECT_EQ(5, num(req, {}, 4));
  EXPECT_EQ(3, num(req, {}, 10));
  ASSERT_EQ(1u, list(req, {}, 5).size());
  EXPECT_EQ(55, num(list(req, {}, 5)[0], {}, 0));
  const auto options = list(req, {12}, 1);
  ASSERT_EQ(1u, options.size());
  EXPECT_EQ(0x5CFB22DE, num(options[0], {}, 1));
  EXPECT_EQ("1", text(options[0], {}, 2));

  const char* const kRunText = "Error in running job for schedule. Please check controlhost log for more details";
  const struct {
    const char* name;
    std::vector<std::string> replies;
    bool failSend;
    const char* text;
    size_t polls;
  } cases[] = {
      {"handler fails", {}, true, kRunText, 0},
      {"no job in reply", {createdJobs({})}, false, kRunText, 0},
      {"reply without XML", {kNone}, false, kRunText, 0},
      {"job id not a number", {createdJobs({"12x"})}, false, kRunText, 0},
      {"waiting fails", {createdJobs({"9"}), kNone, kNone, kNone, kNone, kNone, kNone}, false,
       "Error in waiting for job to complete. Please check controlhost log for more details", 6},
  };
  for (const auto& c : cases) {
    FakeClock local;
    YmClock::set(&local);
    if (c.failSend) fake->respondError(kXmlHandlerReq, 12, "no manager");
    queue(c.replies);
    EXPECT_EQ(1, task.TriggerJobforSubtask(sub, err, success, status, detail)) << c.name;
    EXPECT_EQ(c.text, err) << c.name;
    EXPECT_EQ(c.polls, local.sleeps().size()) << c.name;
  }
  YmClock::set(&clock);
}

TEST_F(TrackingTest, SweepTaskIsAnImmediateBackupWithTheSweepValue) {
  respondCreate(*fake, msg::kCreateTask, createdJobs({}).c_str(), {81});
  std::list<long long> jobs;
  ASSERT_TRUE(task.CreateTaskforSweep(3, 4, 0, 0, 25, jobs, err));
  EXPECT_EQ(std::list<long long>{81}, jobs);
  EXPECT_EQ(1, fake->last(msg::kCreateTask).as<::CreateTaskReq>().userId);
  const CNMessageBase req = parsedXml(sentXml(*fake, msg::kCreateTask).back());
  EXPECT_EQ(1, num(req, {2, 1}, 8));
  EXPECT_EQ(1, num(req, {2, 1}, 10));
  EXPECT_EQ(3, num(req, {2, 1}, 12));
  const auto assocs = list(req, {2}, 3);
  ASSERT_EQ(1u, assocs.size());
  EXPECT_EQ(3, num(assocs[0], {}, 11));
  EXPECT_EQ(4, num(assocs[0], {}, 38));
  const auto sub = list(req, {2}, 5).at(0);
  EXPECT_EQ(2, num(sub, {1}, 6));
  EXPECT_EQ(2, num(sub, {1}, 7));
  EXPECT_EQ(2, num(sub, {4, 1}, 1));
  EXPECT_EQ(25, num(sub, {4, 4}, 24));

  respondCreate(*fake, msg::kCreateTask, refusal(0, "queued later").c_str(), {});
  jobs.clear();
  EXPECT_FALSE(task.CreateTaskforSweep(3, 4, 0, 0, 25, jobs, err));
  EXPECT_EQ("queued later", err);
  respondCreate(*fake, msg::kCreateTask, "<m", {82});
  EXPECT_FALSE(task.CreateTaskforSweep(3, 4, 0, 0, 25, jobs, err));
  EXPECT_TRUE(jobs.empty());
  EXPECT_NE(std::string::npos, err.find("Unexpected reply")) << err;
}

TEST_F(TrackingTest, DeleteAndCleanupOfRecordedSchedules) {
  EvEvent ev("test");
  respondXml(*fake, "<m f=\"12\" c=\"1\"/>");
  ASSERT_EQ(0, task.deleteTaskReq("42", ev, err));
  const CNMessageBase req = parsedXml(sentXml(*fake, kXmlHandlerReq).back());
  EXPECT_EQ(3, num(req, {}, 4));
  EXPECT_EQ(3, num(req, {}, 10));
  std::vector<unsigned int> ids;
  req.getlistuint(2, 0, ids);
  EXPECT_EQ(std::vector<unsigned int>{42}, ids);
  EXPECT_EQ(42, num(list(req, {}, 3).at(0), {}, 0));
  fake->clearRequests();
  EXPECT_EQ(YM_BAD_ID_TEXT, task.deleteTaskReq("4x", ev, err));
  EXPECT_EQ(YM_BAD_ID_TEXT, task.deleteTaskReq("", ev, err));
  EXPECT_EQ(0u, fake->requestCount());

  const struct {
    const char* name;
    const char* before;
    std::vector<int> failures;  // handler result per deletion, in order
    const char* after;
    size_t deletions;
  } cases[] = {
      {"all deleted", ",5,,6", {0, 0}, "", 2},
      {"second fails", ",5,,6", {0, 9}, ",6", 2},
      {"both fail", "5,6", {9, 9}, ",5,6", 2},
      {"not a number stays", "5,x", {0}, ",x", 1},
      {"empty", "", {}, "", 0},
  };
  for (const auto& c : cases) {
    fake->setGlobalParam(CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST, c.before);
    fake->clearRequests();
    for (int f : c.failures) {
      if (f == 0) respondXml(*fake, "<m f=\"12\" c=\"1\"/>");
      else fake->respondError(kXmlHandlerReq, f, "locked");
    }
    EXPECT_EQ(0, task.CleanupWIASchedules(err)) << c.name;
    EXPECT_EQ(c.after, fake->globalParam(CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST)) << c.name;
    EXPECT_EQ(c.deletions, sentXml(*fake, kXmlHandlerReq).size()) << c.name;
  }
  fake->respondError(kGlobalParamGetReq, 3, "no parameter");
  fake->clearRequests();
  EXPECT_EQ(0, task.CleanupWIASchedules(err));
  EXPECT_EQ(0u, sentXml(*fake, kXmlHandlerReq).size());
}

TEST_F(TrackingTest, EntitiesOfTheJobRequest) {
  JobManager::GetJobRequestEntitiesResp resp;
  resp.setint64(1, 0, 900);
  std::vector<YmEntities::SubClientEntity> subs(3);
  subs[0].setint64(0, 0, 11);
  subs[2].setint64(0, 0, 13);  // the middle one names no subclient
  resp.setlistobject(3, 0, subs);
  std::string xml;
  resp.serialize(xml, false);
  respondStoredProcedure(*fake, xml.c_str());
  int requestId = 0;
  std::vector<int> ids{1};
  ASSERT_EQ(0, task.getEntitiesFromRequest(requestId, ids, nullptr));
  EXPECT_EQ(900, requestId);
  EXPECT_EQ((std::vector<int>{1, 11, 13}), ids);
  EXPECT_EQ(0x154EE415u, fake->last(kExecuteSPReq).as<ExecuteSPReq>().procedure);
  const CNMessageBase req = parsedXml(sentXml(*fake, kExecuteSPReq).back());
  EXPECT_EQ(0x500000001ll, num(req, {}, 1));

  respondStoredProcedure(*fake, refusal(17, "no such job").c_str());
  EXPECT_EQ(17, task.getEntitiesFromRequest(requestId, ids, nullptr));
  EXPECT_EQ("no such job", task.getErrorString());
  respondStoredProcedure(*fake, refusal(0, nullptr).c_str());
  EXPECT_EQ(0, task.getEntitiesFromRequest(requestId, ids, nullptr));
  fake->respondError(kExecuteSPReq, 6, "procedure failed");
  EXPECT_EQ(6, task.getEntitiesFromRequest(requestId, ids, nullptr));
  EXPECT_EQ(900, requestId);
  EXPECT_EQ((std::vector<int>{1, 11, 13}), ids);
}
