// The job wait loop on the fake clock, "job wait" with the job's states
// scripted, and the progress display.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/YmErrors.h"
#include "support/TestSupport.h"
#include "tools/Ctl.h"
#include "tools/CtlJobs.h"
#include "tools/CtlOutput.h"

using namespace evtask::ctl;
using evtask::test::FakeClock;

namespace {

struct Poll {
  int rc;
  const char* status;
};

// Answers the scripted polls in order, repeating the last one; counts the
// queries and sets `*stopAfter` once that many were answered.
struct ScriptedJob {
  std::vector<Poll> polls;
  int queries = 0;
  int stopAfter = -1;
  volatile std::sig_atomic_t stop = 0;
  int operator()(long long, JobState& s, std::string& err) {
    const Poll& p = polls[std::min<size_t>(queries, polls.size() - 1)];
    if (++queries == stopAfter) stop = 1;
    s.status = p.status;
    if (p.rc != 0) err = "poll failed";
    return p.rc;
  }
};

TEST(JobWait, EndsAsTheJobTheDeadlineOrTheStopFlagSays) {
  struct Case {
    const char* name;
    std::vector<Poll> polls;
    long long timeoutMs;
    int stopAfter;
    WaitEnd end;
    int queries;
    long long elapsedMs;
    bool success;
    int code;
  };
  const int kNoServer = YM_SESSION_NO_SERVER;
  const Case cases[] = {
      {"completes", {{0, "Running"}, {0, "Running"}, {0, "completed"}}, 0, -1, WaitEnd::Finished, 3, 2000, true, 0},
      {"killed", {{0, "Waiting"}, {0, "KILLED"}}, 0, -1, WaitEnd::Finished, 2, 1000, false, 0},
      {"deadline", {{0, "Running"}}, 2500, -1, WaitEnd::DeadlinePassed, 3, 2500, false, 0},
      {"interrupted", {{0, "Running"}}, 0, 2, WaitEnd::Interrupted, 2, 1000, false, 0},
      {"transient failures reset",
       {{kNoServer, ""}, {kNoServer, ""}, {kNoServer, ""}, {kNoServer, ""}, {kNoServer, ""}, {0, "Running"},
        {kNoServer, ""}, {kNoServer, ""}, {kNoServer, ""}, {kNoServer, ""}, {kNoServer, ""}, {0, "Committed"}},
       0, -1, WaitEnd::Finished, 12, 11000, true, kNoServer},
      {"six transient failures", {{kNoServer, ""}}, 0, -1, WaitEnd::QueryFailed, 6, 5000, false, kNoServer},
      {"server refusal ends at once", {{0x4A0001, ""}}, 0, -1, WaitEnd::QueryFailed, 1, 0, false, 0x4A0001},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    ScriptedJob job;
    job.polls = c.polls;
    job.stopAfter = c.stopAfter;
    WaitOptions options;
    options.timeoutMs = c.timeoutMs;
    options.pollMs = 1000;
    options.stop = &job.stop;
    std::vector<std::string> seen;
    JobState last;
    int code = 0;
    std::string err;
    long long began = clock.monotonicMs();
    WaitEnd end = waitForJob(
        77, std::ref(job), options, [&](const JobState& s) { seen.push_back(s.status); }, last, code, err);
    EXPECT_EQ(c.end, end) << c.name;
    EXPECT_EQ(c.queries, job.queries) << c.name;
    EXPECT_EQ(c.elapsedMs, clock.monotonicMs() - began) << c.name;
    EXPECT_EQ(c.success, last.success) << c.name;
    EXPECT_EQ(c.code, code) << c.name;
    if (end == WaitEnd::Finished) {
      EXPECT_EQ(77, last.jobId) << c.name;
      EXPECT_EQ(c.polls.back().status, seen.back()) << c.name;
    }
    for (unsigned long ms : clock.sleeps()) EXPECT_LE(ms, 100u) << c.name << ": sleeps in short steps";
  }
}

TEST(JobWait, ProgressFromTheStatusDetail) {
  const std::pair<const char*, int> cases[] = {
      {"Progress 0%", 0},   {"Progress 40%", 40}, {"Progress 100%", 100}, {"Progress 101%", -1},
      {"Progress 1000%", -1}, {"Progress %", -1},  {"Progress 4O%", -1},   {"Progress 40", -1},
      {"progress 40%", -1}, {"", -1},             {"Media mount 40%", -1}, {"Progress -4%", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, progressOfDetail(c.first)) << c.first;
}

// Plain lines (one per change) off a terminal, a bar on one.
TEST(JobWait, ProgressLinesAndBar) {
  auto state = [](const char* status, int percent) {
    JobState s;
    s.jobId = 9;
    s.status = status;
    s.percent = percent;
    classifyJobStatus(s);
    return s;
  };
  std::ostringstream plain, tty;
  ProgressPrinter lines(plain, false), bar(tty, true);
  for (const JobState& s : {state("Running", 10), state("Running", 10), state("Running", 55), state("Completed", 90)})
    lines.update(s);
  bar.update(state("Running", 50));
  lines.finish();
  bar.finish();
  EXPECT_EQ("job 9: Running 10%\njob 9: Running 55%\njob 9: Completed 100%\n", plain.str());
  EXPECT_EQ("\rjob 9 [###############...............]  50%  Running\x1b[K\n", tty.str());
}

// "job wait" end to end: exit codes, plain and JSON output, Ctrl-C.
TEST(JobWait, CommandExitCodesOutputAndDeadline) {
  const struct {
    std::vector<std::string> args;
    std::vector<const char*> states;  // one per query; the last repeats
    int stopAfter;                    // queries after which Ctrl-C comes, -1 never
    int exit;
    const char* outcome;
    long long elapsedMs;
  } cases[] = {
      {{"job", "wait", "5"}, {"Waiting", "Running", "Completed"}, -1, 0, "completed", 2000},
      {{"job", "wait", "5"}, {"Running", "Failed To Start"}, -1, 1, "failed", 1000},
      {{"job", "wait", "5", "--timeout", "2.5"}, {"Running"}, -1, 4, "deadline", 2500},
      {{"job", "wait", "5", "--timeout", "60"}, {"Running"}, 2, 130, "interrupted", 1000},
  };
  for (const auto& c : cases) {
    for (bool json : {false, true}) {
      SCOPED_TRACE(std::string(c.outcome) + (json ? " json" : ""));
      FakeClock clock;
      std::ostringstream out, err;
      int queries = 0;
      volatile std::sig_atomic_t stop = 0, waiting = 0;
      bool waitingSeen = false;
      CtlIo io(out, err);
      io.stop = &stop;
      io.waiting = &waiting;
      io.jobQuery = [&](long long jobId, JobState& s, std::string&) {
        EXPECT_EQ(5, jobId);
        waitingSeen = waitingSeen || waiting == 1;
        s.status = c.states[std::min<size_t>(queries, c.states.size() - 1)];
        if (++queries == c.stopAfter) stop = 1;
        return 0;
      };
      std::vector<std::string> args{"evtaskctl"};
      if (json) args.push_back("--json");
      args.insert(args.end(), c.args.begin(), c.args.end());
      const long long began = clock.monotonicMs();
      EXPECT_EQ(c.exit, runCtl(args, io));
      EXPECT_EQ(c.elapsedMs, clock.monotonicMs() - began);
      EXPECT_TRUE(waitingSeen);
      EXPECT_EQ(0, waiting) << "the waiting mark is cleared";
      EXPECT_EQ(c.exit != 0, !err.str().empty()) << err.str();
      const nlohmann::json doc = nlohmann::json::parse(out.str(), nullptr, false);
      if (!json) {
        // Plain lines off a terminal, one per change of state.
        EXPECT_EQ(0u, out.str().find("job 5: " + std::string(c.states[0]))) << out.str();
      } else {
        EXPECT_EQ(c.outcome, doc.value("outcome", "")) << out.str();
        EXPECT_EQ(5, doc.value("jobId", 0));
        EXPECT_EQ(c.states[std::min<size_t>(queries, c.states.size()) - 1], doc.value("status", ""));
      }
    }
  }
}

}  // namespace
