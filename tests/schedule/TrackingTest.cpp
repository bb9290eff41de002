// Job list, waiting for jobs, run-now of a subtask, sweep tasks, deletion
// and clean-up of schedules, entities of a job request, and the replies
// these flows must not trust.
#include <gtest/gtest.h>

#include <functional>

#include "platform/PlatformMessages.h"
#include "platform/YMGlobalParam.h"
#include "schedule/ScheduleTestXml.h"
#include "schedule/XmlMessages.h"
#include "support/FakeXml.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

const std::string kNone = "-";  // a reply without XML

class TrackingTest : public EvTaskTest {
 protected:
  // Queues one reply per poll.
  void queue(const std::vector<std::string>& replies) {
    for (const std::string& r : replies) respondXml(*fake, r == kNone ? nullptr : r.c_str());
  }

  EvTask task{0x500000001ull, 0, nullptr, false};
  bool success = true;
  std::string status = "old", detail = "old", err;
};

}  // namespace

TEST_F(TrackingTest, WaitPollsEveryThirtySecondsUntilAFinalState) {
  const std::string other = jobList({{8, "Completed", ""}});
  const std::string running = jobList({{7, "Running", "copying"}});
  auto one = [](const char* s, const char* d = "") { return jobList({{7, s, d}}); };
  const struct {
    const char* name;
    std::vector<std::string> replies;
    bool result, success;
    const char* status;
    const char* detail;
    size_t polls;
  } cases[] = {
      {"already finished", {one("Completed", "done")}, true, true, "Completed", "done", 1},
      {"other letter case", {one("completed")}, true, true, "completed", "", 1},
      {"errors still succeed", {one("Completed w/ one or more errors")}, true, true, nullptr, nullptr, 1},
      {"warnings", {one("Completed w/ one or more warnings")}, true, true, nullptr, nullptr, 1},
      {"committed", {one("Committed")}, true, true, nullptr, nullptr, 1},
      {"killed", {one("Killed")}, true, false, "Killed", nullptr, 1},
      {"failed to start", {one("Failed To Start")}, true, false, nullptr, nullptr, 1},
      {"system failed", {one("SYSTEM FAILED")}, true, false, nullptr, nullptr, 1},
      {"cleanup", {one("Abnormally Terminated Cleanup")}, true, false, nullptr, nullptr, 1},
      {"running then failed", {running, one("Waiting"), one("Failed", "no media")}, true, false, "Failed", "no media", 3},
      {"unknown states keep waiting", {one("Queued"), one(""), one("Completed!"), one("Suspended"), one("Completed")},
       true, true, "Completed", nullptr, 5},
      {"found among others", {jobList({{8, "Running", ""}, {7, "Completed", ""}})}, true, true, nullptr, nullptr, 1},
      {"absent twice", {other, kNone, one("Completed")}, true, true, "Completed", nullptr, 3},
      {"six failed polls", {kNone, other, "<bad", kNone, kNone, kNone}, false, false, "old", nullptr, 6},
      {"a find resets the count", {kNone, kNone, kNone, kNone, kNone, running, kNone, kNone, kNone, kNone, kNone,
       one("Completed")}, true, true, "Completed", nullptr, 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    queue(c.replies);
    status = "old";
    LogCapture log;
    EXPECT_EQ(c.result, task.WaitForJobToComplete(7, success, status, detail));
    EXPECT_EQ(c.success, success);
    EXPECT_EQ(c.status != nullptr ? c.status : status, status);
    EXPECT_EQ(c.detail != nullptr ? c.detail : detail, detail);
    EXPECT_EQ(std::vector<unsigned long>(c.polls, 30000), clock.sleeps());
    EXPECT_EQ(!c.result, log.contains("WaitForJobToComplete",
                                      "Error in Waiting for job completion of jobID [7]. So returning"));
    if (!c.result) {
      EXPECT_TRUE(log.contains("WaitForJobToComplete", "Error in Waiting for job completion of jobID [7]. Attempt [5]"));
    }
  }
}

TEST_F(TrackingTest, JobListRequestCarriesTheFilter) {
  respondXml(*fake, jobList({{3, "Running", ""}}).c_str());
  std::vector<long long> ids{3, 0x100000004ll};
  JobManager::JobListResponse response;
  ASSERT_TRUE(task.GetJobSummary(ids, response));
  EXPECT_EQ(1u, list(response, {}, 1).size());
  const RecordedRequest rec = fake->last(kXmlHandlerReq);
  EXPECT_EQ(vals(1u, JobManager::JobListRequest().getTagID()), vals(rec.as<XmlHandlerReq>().kind, rec.as<XmlHandlerReq>().tag));
  const CNMessageBase req = parsedXml(sentXml(*fake, kXmlHandlerReq).back());
  EXPECT_EQ(vals(1ll, std::string("jobId"), 1ll, 300ll),
            vals(num(req, {}, 3), text(req, {1}, 1), num(req, {1}, 5), num(req, {2}, 11)));
  std::vector<long long> sent;
  at(req, {2})->getlistint(4, 0, sent);
  EXPECT_EQ((std::vector<long long>{3, 4}), sent);  // narrowed to 32 bits
}

TEST_F(TrackingTest, TriggerRunsTheSubtaskAndWaitsForItsJob) {
  FakeClock clock;
  queue({createdJobs({"123", "124"}), jobList({{123, "Completed", "ok"}})});
  YmEntities::SubtaskEntity sub;
  sub.setint64(0, 0, 55);
  ASSERT_EQ(0, task.TriggerJobforSubtask(sub, err, success, status, detail));
  EXPECT_TRUE(success);
  EXPECT_EQ("ok", detail);
  const CNMessageBase req = parsedXml(sentXml(*fake, kXmlHandlerReq).at(0));
  EXPECT_EQ(TMMsg::TaskOperationReq().getTagID(), req.getTagID());
  const auto subtasks = list(req, {}, 5), options = list(req, {12}, 1);
  ASSERT_EQ(vals(size_t(1), size_t(1)), vals(subtasks.size(), options.size()));
  EXPECT_EQ(vals(5ll, 3ll, 55ll, 0x5CFB22DEll, std::string("1")),
            vals(num(req, {}, 4), num(req, {}, 10), num(subtasks[0], {}, 0), num(options[0], {}, 1), text(options[0], {}, 2)));
}

// Every flow given a reply it cannot use: a non-zero result with a text, the
// caller's outputs as they were, and no wait.
TEST_F(TrackingTest, UnusableRepliesFailCleanlyInEveryFlow) {
  const char* const kRunText = "Error in running job for schedule. Please check controlhost log for more details";
  // The last one (a field of the wrong kind) only means something to the
  // schedule query, the others expect other classes.
  const char* const kBadXml[] = {"<m f=\"12\" c=\"88\"><i t=\"1\">", "<m f=\"21\" c=\"30\"/>", nullptr,
                                 "<m f=\"12\" c=\"88\"><s t=\"1\">x</s></m>"};
  struct Flow {
    const char* name;
    std::function<void(const char* xml)> script;
    // The flow's result as an int (false = -1) and its text; `unchanged`
    // tells whether the outputs kept their values.
    std::function<int(std::string& text, bool& unchanged)> run;
  };
  auto trigger = [&](std::string& text, bool& unchanged) {
    bool ok = true;
    std::string st = "s", de = "d";
    const int rc = task.TriggerJobforSubtask(YmEntities::SubtaskEntity(), text, ok, st, de);
    unchanged = ok && st == "s" && de == "d";
    return rc;
  };
  const Flow flows[] = {
      {"schedule query", [&](const char* xml) { respondCreate(*fake, msg::kTaskRequest, xml, {}); },
       [&](std::string& text, bool& unchanged) {
         Sched_AssocEntity e;
         std::vector<_AutomaticTaskInfo> result(2);
         const int rc = task.getSchedulesInfoForEntity(e, result, text, false, false, nullptr, 1, 0, 0, false, nullptr);
         unchanged = result.size() == 2;
         return rc;
       }},
      {"job list", [&](const char* xml) { respondXml(*fake, xml); },
       [&](std::string& text, bool& unchanged) {
         LogCapture log;
         std::vector<long long> ids{1};
         JobManager::JobListResponse response;
         response.setint64(9, 0, 5);
         const bool ok = task.GetJobSummary(ids, response);
         for (const std::string& line : log.lines()) text += line;
         unchanged = num(response, {}, 9) == 5 && !response.isSet(1, 0);
         return ok ? 0 : -1;
       }},
      {"stored procedure", [&](const char* xml) { respondStoredProcedure(*fake, xml); },
       [&](std::string& text, bool& unchanged) {
         int requestId = 4;
         std::vector<int> ids{2};
         const int rc = task.getEntitiesFromRequest(requestId, ids, nullptr);
         text = task.getErrorString();
         unchanged = requestId == 4 && ids == std::vector<int>{2};
         return rc;
       }},
      {"run now", [&](const char* xml) { respondXml(*fake, xml); }, trigger},
  };
  FakeClock clock;
  for (const Flow& flow : flows) {
    for (const char* xml : kBadXml) {
      if (xml == kBadXml[3] && flow.name != flows[0].name) continue;
      SCOPED_TRACE(std::string(flow.name) + ": " + (xml != nullptr ? xml : "no XML"));
      flow.script(xml);
      std::string text;
      bool unchanged = false;
      EXPECT_NE(0, flow.run(text, unchanged));
      EXPECT_FALSE(text.empty());
      EXPECT_TRUE(unchanged);
    }
  }
  // Run now: replies without a usable job id, or a job that cannot be found.
  std::vector<std::pair<std::vector<std::string>, const char*>> runNow = {
      {{}, kRunText}, {{createdJobs({})}, kRunText},
      {{createdJobs({"9"}), kNone, kNone, kNone, kNone, kNone, kNone},
       "Error in waiting for job to complete. Please check controlhost log for more details"}};
  for (const char* id : {"12x", "abc", "", "12 ", "-", "99999999999999999999"})
    runNow.push_back({{createdJobs({id, "5"})}, kRunText});
  for (const auto& c : runNow) {
    SCOPED_TRACE(c.first.empty() ? "handler fails" : c.first[0]);
    const size_t before = clock.sleeps().size();
    if (c.first.empty()) fake->respondError(kXmlHandlerReq, 12, "no manager");
    queue(c.first);
    std::string text;
    bool unchanged = false;
    EXPECT_EQ(1, trigger(text, unchanged));
    EXPECT_EQ(c.second, text);
    const size_t polls = c.first.size() > 1 ? 6 : 0;
    EXPECT_EQ(polls, clock.sleeps().size() - before);
    EXPECT_EQ(polls == 0, unchanged);
  }
}

// The request itself is in the builder table.
TEST_F(TrackingTest, SweepTaskReportsARefusalAndDistrustsAnUnreadableReply) {
  std::list<long long> jobs;
  respondCreate(*fake, msg::kCreateTask, refusal(0, "queued later").c_str(), {});
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
  std::vector<unsigned int> ids;
  req.getlistuint(2, 0, ids);
  EXPECT_EQ(vals(3ll, 3ll, std::vector<unsigned int>{42}, 42ll),
            vals(num(req, {}, 4), num(req, {}, 10), ids, num(list(req, {}, 3).at(0), {}, 0)));
  fake->clearRequests();
  EXPECT_EQ(YM_BAD_ID_TEXT, task.deleteTaskReq("4x", ev, err));
  EXPECT_EQ(YM_BAD_ID_TEXT, task.deleteTaskReq("", ev, err));
  EXPECT_EQ(0u, fake->requestCount());

  const struct {
    const char* name;
    const char* before;
    std::vector<int> failures;  // handler result per deletion, in order
    const char* after;
  } cases[] = {
      {"all deleted", ",5,,6", {0, 0}, ""}, {"second fails", ",5,,6", {0, 9}, ",6"}, {"both fail", "5,6", {9, 9}, ",5,6"},
      {"not a number stays", "5,x", {0}, ",x"}, {"empty", "", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake->setGlobalParam(CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST, c.before);
    fake->clearRequests();
    for (int f : c.failures) {
      if (f == 0) respondXml(*fake, "<m f=\"12\" c=\"1\"/>");
      else fake->respondError(kXmlHandlerReq, f, "locked");
    }
    EXPECT_EQ(0, task.CleanupWIASchedules(err));
    EXPECT_EQ(c.after, fake->globalParam(CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST));
    EXPECT_EQ(c.failures.size(), sentXml(*fake, kXmlHandlerReq).size());
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
  EXPECT_EQ(vals(900, std::vector<int>{1, 11, 13}), vals(requestId, ids));
  EXPECT_EQ(0x154EE415u, fake->last(kExecuteSPReq).as<ExecuteSPReq>().procedure);
  EXPECT_EQ(0x500000001ll, num(parsedXml(sentXml(*fake, kExecuteSPReq).back()), {}, 1));

  respondStoredProcedure(*fake, refusal(17, "no such job").c_str());
  EXPECT_EQ(17, task.getEntitiesFromRequest(requestId, ids, nullptr));
  EXPECT_EQ("no such job", task.getErrorString());
  respondStoredProcedure(*fake, refusal(0, nullptr).c_str());
  EXPECT_EQ(0, task.getEntitiesFromRequest(requestId, ids, nullptr));
  EXPECT_EQ(vals(900, std::vector<int>{1, 11, 13}), vals(requestId, ids)) << "an empty answer changes nothing";
}
