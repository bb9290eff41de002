// Bad replies across the schedule and job flows: each gives a non-zero
// result with a text, leaves the caller's outputs as they were and never
// crashes.
#include <gtest/gtest.h>

#include <functional>

#include "platform/PlatformMessages.h"
#include "schedule/ScheduleTestXml.h"
#include "schedule/XmlMessages.h"
#include "support/FakeXml.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

struct Fault {
  const char* name;
  const char* xml;  // null: a reply without XML
};

const Fault kFaults[] = {
    {"reply that does not parse", "<m f=\"12\" c=\"88\"><i t=\"1\">"},
    {"reply of the wrong class", "<m f=\"21\" c=\"30\"/>"},
    {"reply without XML", nullptr},
    {"reply with a field of the wrong kind", "<m f=\"12\" c=\"88\"><s t=\"1\">x</s></m>"},
};

class FaultTableTest : public EvTaskTest {
 protected:
  void SetUp() override {
    EvTaskTest::SetUp();
    YmClock::set(&clock);
  }
  void TearDown() override {
    YmClock::set(nullptr);
    EvTaskTest::TearDown();
  }
  FakeClock clock;
  EvTask task{9, 0, nullptr, false};
};

}  // namespace

TEST_F(FaultTableTest, BadRepliesFailCleanlyInEveryFlow) {
  struct Flow {
    const char* name;
    std::function<void(const char* xml)> script;
    // Runs the flow; returns its result as an int (false = -1) and the text
    // it reported; `unchanged` tells whether the outputs kept their values.
    std::function<int(std::string& text, bool& unchanged)> run;
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
      {"task creation", [&](const char* xml) { respondCreate(*fake, msg::kCreateTask, xml, {4}, 3); },
       [&](std::string& text, bool& unchanged) {
         std::list<long long> jobs{1};
         int taskId = 7;
         const int rc = task._createScheduleJob(taskId, TMMsg::SUBTASK_ADMIN, TMMsg::OP_EDC, jobs, text, 1, nullptr,
                                                nullptr, nullptr, 0, 0, false, TMMsg::TASK_IMMEDIATE, "", "");
         unchanged = jobs == std::list<long long>{1} && taskId == 7;
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
      {"run now", [&](const char* xml) { respondXml(*fake, xml); },
       [&](std::string& text, bool& unchanged) {
         bool success = true;
         std::string status = "s", detail = "d";
         const int rc = task.TriggerJobforSubtask(YmEntities::SubtaskEntity(), text, success, status, detail);
         unchanged = success && status == "s" && detail == "d";
         return rc;
       }},
  };
  for (const Flow& flow : flows) {
    for (const Fault& fault : kFaults) {
      // The job list and the stored procedure expect other classes than the
      // task list; the wrong-kind row is only meaningful for the task list.
      if (fault.name == kFaults[3].name && std::string(flow.name) != "schedule query") continue;
      flow.script(fault.xml);
      std::string text;
      bool unchanged = false;
      const int rc = flow.run(text, unchanged);
      EXPECT_NE(0, rc) << flow.name << ": " << fault.name;
      EXPECT_FALSE(text.empty()) << flow.name << ": " << fault.name;
      EXPECT_TRUE(unchanged) << flow.name << ": " << fault.name;
    }
  }
  EXPECT_TRUE(clock.sleeps().empty());
}

TEST_F(FaultTableTest, JobIdListsWithTextsThatAreNoNumbers) {
  for (const char* id : {"abc", "", "12 ", "-", "99999999999999999999"}) {
    respondXml(*fake, createdJobs({id, "5"}).c_str());
    std::string text;
    bool success = true;
    std::string status = "s", detail = "d";
    EXPECT_EQ(1, task.TriggerJobforSubtask(YmEntities::SubtaskEntity(), text, success, status, detail)) << id;
    EXPECT_FALSE(text.empty());
    EXPECT_EQ("s", status);
  }
  EXPECT_TRUE(clock.sleeps().empty());
}

TEST_F(FaultTableTest, UnknownJobStatusKeepsWaiting) {
  for (const char* status : {"Queued", "", "Completed!", "Suspended"}) respondXml(*fake, jobList({{3, status, ""}}).c_str());
  respondXml(*fake, jobList({{3, "Completed", ""}}).c_str());
  bool success = false;
  std::string status, detail;
  EXPECT_TRUE(task.WaitForJobToComplete(3, success, status, detail));
  EXPECT_TRUE(success);
  EXPECT_EQ(5u, clock.sleeps().size());
}
