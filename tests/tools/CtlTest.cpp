// evtaskctl run in-process against the scripted application manager: JSON
// documents field by field, what reaches the server, exit codes and usage
// errors.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/YmErrors.h"
#include "task/EvTaskTestSupport.h"
#include "support/TestSupport.h"
#include "tools/Ctl.h"

using namespace evtask;
using namespace evtask::test;
using evtask::ctl::CtlIo;
using Json = nlohmann::json;

namespace {

struct Result {
  int exit = -1;
  std::string out;
  std::string err;
  Json json() const {
    Json doc = Json::parse(out, nullptr, false);
    EXPECT_FALSE(doc.is_discarded()) << "stdout is not one JSON document:\n" << out;
    return doc;
  }
};

Result runTool(std::vector<std::string> args) {
  std::ostringstream out, err;
  CtlIo io(out, err);
  io.pollMs = 10;
  args.insert(args.begin(), "evtaskctl");
  Result r;
  r.exit = evtask::ctl::runCtl(args, io);
  r.out = out.str();
  r.err = err.str();
  return r;
}

class CtlTest : public EvTaskTest {};

TEST_F(CtlTest, TaskShowJsonFieldByField) {
  // Every row request is answered the same, however often it comes.
  fake->setHandler(msg::kGetTaskInfo, [](const RecordedRequest& req, Frame& out) {
    TaskInfoResp row{};
    row.task.taskId = req.as<GenericTaskApiReq>().info.taskId;
    row.task.flags = 0x81;
    row.task.status = 2;
    out = FakeAppMgr::encodeResponse(msg::kGetTaskInfo, row);
  });
  fake->setHandler(msg::kGetSubTaskInfo, [](const RecordedRequest& req, Frame& out) {
    SubTaskInfoResp sub{};
    sub.subTask.subTaskId = req.as<GenericTaskApiReq>().info.subTaskId;
    sub.subTask.taskId = sub.subTask.subTaskId == 0 ? 0 : 300;
    sub.subTask.subTaskType = 9;
    sub.subTask.operationType = 4;
    out = FakeAppMgr::encodeResponse(msg::kGetSubTaskInfo, sub);
  });
  fake->setHandler(msg::kGetEntityInfo, [](const RecordedRequest&, Frame& out) {
    std::vector<Sch_AssocEntity> ents(2);
    ents[0] = Sch_AssocEntity{};
    ents[0].clientId = 7;
    ents[1] = Sch_AssocEntity{};
    ents[1].clientId = 8;
    ents[1].subclientId = 12;
    EntityInfoResp er{};
    er.count = 2;
    er.entities = ents.data();
    out = FakeAppMgr::encodeResponse(msg::kGetEntityInfo, er);
  });

  Result r = runTool({"--json", "task", "show", "301", "--by", "subtask"});
  ASSERT_EQ(0, r.exit) << r.err;
  EXPECT_EQ("", r.err);
  Json doc = r.json();
  EXPECT_EQ(300u, doc["task"]["taskId"]);
  EXPECT_EQ(0x81u, doc["task"]["flags"]);
  EXPECT_EQ(2u, doc["task"]["status"]);
  EXPECT_EQ(true, doc["task"]["isDefault"]);
  EXPECT_EQ(301u, doc["subTask"]["subTaskId"]);
  EXPECT_EQ(300u, doc["subTask"]["taskId"]);
  EXPECT_EQ(9, doc["subTask"]["subTaskType"]);
  EXPECT_EQ(4, doc["subTask"]["operationType"]);
  ASSERT_EQ(2u, doc["entities"].size());
  EXPECT_EQ(7, doc["entities"][0]["clientId"]);
  EXPECT_EQ(8, doc["entities"][1]["clientId"]);
  EXPECT_EQ(12, doc["entities"][1]["subclientId"]);
  EXPECT_EQ(0u, doc["identity"]["taskType"]);
  EXPECT_TRUE(doc["identity"].contains("clientId"));
  // The task of the subtask is the one whose row is shown.
  EXPECT_EQ(300u, fake->last(msg::kGetTaskInfo).as<GenericTaskApiReq>().info.taskId);

  // A task the server does not know.
  fake->setHandler(msg::kGetTaskInfo, [](const RecordedRequest&, Frame& out) {
    out = FakeAppMgr::encodeResponse(msg::kGetTaskInfo, TaskInfoResp{});
  });
  Result missing = runTool({"task", "show", "99"});
  EXPECT_EQ(1, missing.exit);
  EXPECT_NE(std::string::npos, missing.err.find("no task found for task id 99")) << missing.err;
}

TEST_F(CtlTest, TaskShowTextAndByJob) {
  GenericTaskApiResp job{};
  job.info.taskId = 40;
  job.info.subTaskId = 41;
  fake->respond(msg::kGetJobInfo, job);
  TaskInfoResp row{};
  row.task.taskId = 40;
  fake->respond(msg::kGetTaskInfo, row);
  Result r = runTool({"task", "show", "9000", "--by", "job"});
  ASSERT_EQ(0, r.exit) << r.err;
  EXPECT_EQ(9000u, fake->last(msg::kGetJobInfo).as<GenericTaskApiReq>().info.jobId);
  EXPECT_EQ(40u, fake->last(msg::kGetTaskInfo).as<GenericTaskApiReq>().info.taskId);
  EXPECT_NE(std::string::npos, r.out.find("task:\n  taskId: 40\n")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("jobId: 9000\n")) << r.out;
}

TEST_F(CtlTest, OptionsGetTaskValuesThenDefaultsThenNotFound) {
  respondOptions(*fake, msg::kGetOptions, {{5, 7, "42"}, {6, 1, "text"}, {5, 7, "43"}});
  Json doc = runTool({"--json", "options", "get", "9", "5"}).json();
  EXPECT_EQ(5u, doc["optionId"]);
  EXPECT_EQ("int", doc["type"]);
  EXPECT_EQ("task", doc["source"]);
  EXPECT_EQ(Json::array({"42", "43"}), doc["values"]);

  TmTaskOptions::resetDefaultsForTesting();
  respondOptions(*fake, msg::kGetOptions, {{6, 1, "text"}});
  respondOptions(*fake, msg::kGetDefaults, {{2, 9, "-12"}, {3, 1, "x"}});
  doc = runTool({"--json", "options", "get", "9", "2"}).json();
  EXPECT_EQ("default", doc["source"]);
  EXPECT_EQ("long", doc["type"]);
  EXPECT_EQ(Json::array({"-12"}), doc["values"]);

  Result missing = runTool({"--json", "options", "get", "9", "77"});
  EXPECT_EQ(1, missing.exit);
  EXPECT_EQ(YM_PROP_NOT_FOUND, missing.json()["error"]["code"]);
  EXPECT_NE(std::string::npos, missing.err.find("error 524289 (0x80001): option 77")) << missing.err;
}

TEST_F(CtlTest, OptionsListAndDefaultsKeepServerOrder) {
  respondOptions(*fake, msg::kGetOptions, {{5, 7, "42"}, {6, 2, "1"}});
  Json doc = runTool({"--json", "options", "list", "9"}).json();
  ASSERT_EQ(2u, doc["options"].size());
  EXPECT_EQ(Json({{"optionId", 5}, {"type", "int"}, {"value", "42"}}), doc["options"][0]);
  EXPECT_EQ(Json({{"optionId", 6}, {"type", "bool"}, {"value", "1"}}), doc["options"][1]);

  respondOptions(*fake, msg::kGetDefaults, {{3, 15, "18446744073709551615"}});
  doc = runTool({"--json", "defaults"}).json();
  ASSERT_EQ(1u, doc["defaults"].size());
  EXPECT_EQ("ulonglong", doc["defaults"][0]["type"]);
  EXPECT_EQ("18446744073709551615", doc["defaults"][0]["value"]);
}

TEST_F(CtlTest, OptionsSetChecksTheValueAgainstItsType) {
  struct Case {
    const char* type;
    const char* value;
    int exit;
    const char* written;  // "[id:type:value]" or "" when nothing may be sent
  };
  const Case cases[] = {
      {"int", "42", 0, "[5:7:42]"},
      {"int", "2147483648", 2, ""},
      {"int", "12abc", 2, ""},
      {"7", "-2147483648", 0, "[5:7:-2147483648]"},
      {"bool", "true", 0, "[5:2:1]"},
      {"bool", "off", 0, "[5:2:0]"},
      {"bool", "maybe", 2, ""},
      {"short", "32768", 2, ""},
      {"ushort", "-1", 2, ""},
      {"uint", "4294967295", 0, "[5:8:4294967295]"},
      {"ulonglong", "18446744073709551616", 2, ""},
      {"longlong", "-9223372036854775808", 0, "[5:14:-9223372036854775808]"},
      {"text", "a b", 0, "[5:1:a b]"},
      {"float", "1", 2, ""},
  };
  for (const Case& c : cases) {
    fake->clearRequests();
    Result r = runTool({"options", "set", "9", "5", c.value, "--type", c.type});
    EXPECT_EQ(c.exit, r.exit) << c.type << " " << c.value << ": " << r.err;
    EXPECT_EQ(c.written, optionWrites(*fake)) << c.type << " " << c.value;
    if (c.exit == 2) {
      EXPECT_TRUE(r.err.find(c.value) != std::string::npos || r.err.find(c.type) != std::string::npos) << r.err;
    }
  }
}

TEST_F(CtlTest, OptionsRemoveAndFiles) {
  ASSERT_EQ(0, runTool({"options", "remove", "9", "5", "6"}).exit);
  // The recorded request owns the decoded structure: keep it while reading.
  const RecordedRequest removal = fake->last(msg::kRemoveOptionIds);
  const RemoveTaskOptionsReq& rm = removal.as<RemoveTaskOptionsReq>();
  ASSERT_EQ(2u, rm.count);
  EXPECT_EQ(5u, rm.optionIds[0]);
  EXPECT_EQ(6u, rm.optionIds[1]);

  respondFiles(*fake, {{0, 150001, "/src/a"}, {0, 150002, "/dst"}, {0, 150001, "/src/b"}});
  Json doc = runTool({"--json", "files", "list", "9", "--type", "150001"}).json();
  ASSERT_EQ(2u, doc["files"].size());
  EXPECT_EQ("/src/a", doc["files"][0]["name"]);
  EXPECT_EQ("/src/b", doc["files"][1]["name"]);
  EXPECT_EQ(150001, doc["files"][1]["type"]);

  ASSERT_EQ(0, runTool({"files", "add", "9", "/new path", "--type", "150003", "--option-id", "4"}).exit);
  const RecordedRequest write = fake->last(msg::kSetFiles);
  const SetTaskFilesReq& add = write.as<SetTaskFilesReq>();
  ASSERT_EQ(1u, add.count);
  EXPECT_STREQ("/new path", add.files[0].value);
  EXPECT_EQ(150003u, add.files[0].type);
  EXPECT_EQ(4u, add.files[0].optionId);

  ASSERT_EQ(0, runTool({"files", "remove", "9", "/src/a"}).exit);
  EXPECT_EQ(1u, countOf(*fake, msg::kRemoveFileNames) + countOf(*fake, msg::kRemoveFiles));
}

TEST_F(CtlTest, ParamsReadAndWriteThroughTheServer) {
  fake->setGlobalParam("Retention", "30");
  Json doc = runTool({"--json", "params", "get", "Retention"}).json();
  EXPECT_EQ(Json({{"name", "Retention"}, {"value", "30"}}), doc);
  ASSERT_EQ(0, runTool({"params", "set", "Retention", "45"}).exit);
  EXPECT_EQ("45", fake->globalParam("Retention"));
}

TEST_F(CtlTest, ExitCodesAndErrorTexts) {
  struct Case {
    std::vector<std::string> args;
    std::function<void()> script;
    int exit;
    const char* stderrHas;
  };
  const Case cases[] = {
      {{"options", "list", "9"}, [&] { fake->respondError(msg::kGetTaskInfo, 0x4A0001, "no such task"); }, 1,
       "error 4849665 (0x4A0001): no such task"},
      {{"options", "list", "9"}, [&] { fake->failNextSend(YM_SESSION_NO_SERVER, "nobody listens"); }, 3,
       "(0x1A0001): nobody listens"},
      {{"params", "get", "x"}, [&] { fake->failNextReceive(YM_SESSION_CLOSED, "Server closed the connection"); }, 3,
       "Server closed the connection"},
      {{"task", "show"}, [] {}, 2, "id is required"},
      {{"task", "show", "x"}, [] {}, 2, "x"},
      {{"task", "show", "1", "--by", "client"}, [] {}, 2, "client"},
      {{"frobnicate"}, [] {}, 2, "subcommand is required"},
      {{"options"}, [] {}, 2, "subcommand"},
      {{"--endpoint", "tcp:host", "defaults"}, [] {}, 2, "tcp:host"},
      {{"--endpoint", "ftp:x", "defaults"}, [] {}, 2, "ftp:x"},
      {{"files", "add", "9", "", "--type", "1"}, [] {}, 2, "must not be empty"},
      {{"job", "wait", "5", "--timeout", "-1"}, [] {}, 2, "negative"},
  };
  for (const Case& c : cases) {
    c.script();
    Result r = runTool(c.args);
    EXPECT_EQ(c.exit, r.exit) << c.args[0] << " " << r.err;
    EXPECT_NE(std::string::npos, r.err.find(c.stderrHas)) << "stderr: " << r.err;
  }
  Result help = runTool({"--help"});
  EXPECT_EQ(0, help.exit);
  EXPECT_NE(std::string::npos, help.out.find("3 cannot reach the server")) << help.out;
  EXPECT_NE(std::string::npos, help.out.find("4 deadline passed")) << help.out;
}

TEST_F(CtlTest, JsonErrorDocumentOnStdout) {
  fake->respondError(msg::kGetTaskInfo, 0x4A0001, "no such task");
  Result r = runTool({"--json", "task", "show", "9"});
  EXPECT_EQ(1, r.exit);
  Json doc = r.json();
  EXPECT_EQ(Json({{"exitCode", 1}, {"code", 0x4A0001}, {"text", "no such task"}}), doc["error"]);
}

TEST_F(CtlTest, EndpointOptionSelectsTheTransport) {
  // A socket endpoint that nothing serves is "cannot reach", whatever the
  // in-process server would have answered.
  Result r = runTool({"--json", "--endpoint", "unix:/nonexistent/evtask.sock", "defaults"});
  EXPECT_EQ(3, r.exit) << r.err;
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(CtlTest, TaskRunListsTheStartedJobs) {
  int64_t ids[] = {501, 502};
  CreateTaskResp resp{};
  resp.count = 2;
  resp.jobIds = ids;
  fake->respond(msg::kRunTasks, resp);
  Result r = runTool({"--json", "task", "run", "12", "13", "--user", "4"});
  ASSERT_EQ(0, r.exit) << r.err;
  Json doc = r.json();
  EXPECT_EQ(12u, doc["taskId"]);
  EXPECT_EQ(13u, doc["subTaskId"]);
  EXPECT_EQ(Json::array({501, 502}), doc["jobs"]);
  EXPECT_EQ(4, fake->last(msg::kRunTasks).as<TaskMgrReq>().userId);
}

TEST_F(CtlTest, ScheduleKindsRequireTheirArguments) {
  // Checked before anything is sent, in every build.
  struct Case {
    std::vector<std::string> args;
    const char* missing;
  };
  const Case cases[] = {
      {{"schedule", "create", "aux-copy"}, "--policy"},
      {{"schedule", "create", "edc", "--client", "2"}, "--instance"},
      {{"job", "run", "partition-move", "--store", "1", "--substore", "2", "--source-ma", "3"}, "--dest-ma"},
      {{"job", "run", "index-scale"}, "--index-client"},
  };
  for (const Case& c : cases) {
    Result r = runTool(c.args);
    EXPECT_EQ(2, r.exit) << c.missing;
    EXPECT_NE(std::string::npos, r.err.find(c.missing)) << r.err;
  }
  EXPECT_EQ(0u, fake->requestCount());
}

}  // namespace

namespace {

// "job wait" end to end on the fake clock, with the job's states scripted.
TEST(CtlJobWait, ExitCodesOutputAndDeadline) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<const char*> states;  // one per query; the last repeats
    int stopAfter;                    // queries after which Ctrl-C comes, -1 never
    int exit;
    const char* outcome;
    long long elapsedMs;
  };
  const Case cases[] = {
      {"completes", {"job", "wait", "5"}, {"Waiting", "Running", "Completed"}, -1, 0, "completed", 2000},
      {"fails", {"job", "wait", "5"}, {"Running", "Failed To Start"}, -1, 1, "failed", 1000},
      {"deadline", {"job", "wait", "5", "--timeout", "2.5"}, {"Running"}, -1, 4, "deadline", 2500},
      {"ctrl-c", {"job", "wait", "5", "--timeout", "60"}, {"Running"}, 2, 130, "interrupted", 1000},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    std::ostringstream out, err, jsonOut, jsonErr;
    int queries = 0;
    volatile std::sig_atomic_t stop = 0, waiting = 0;
    bool waitingSeen = false;
    auto query = [&](long long jobId, evtask::ctl::JobState& s, std::string&) {
      EXPECT_EQ(5, jobId);
      waitingSeen = waitingSeen || waiting == 1;
      s.status = c.states[std::min<size_t>(queries, c.states.size() - 1)];
      if (++queries == c.stopAfter) stop = 1;
      return 0;
    };
    for (bool json : {false, true}) {
      queries = 0;
      stop = 0;
      CtlIo io(json ? jsonOut : out, json ? jsonErr : err);
      io.stop = &stop;
      io.waiting = &waiting;
      io.jobQuery = query;
      std::vector<std::string> args{"evtaskctl"};
      if (json) args.push_back("--json");
      args.insert(args.end(), c.args.begin(), c.args.end());
      long long began = clock.monotonicMs();
      EXPECT_EQ(c.exit, evtask::ctl::runCtl(args, io)) << c.name;
      EXPECT_EQ(c.elapsedMs, clock.monotonicMs() - began) << c.name;
      EXPECT_EQ(0, waiting) << c.name << ": the waiting mark is cleared";
    }
    EXPECT_TRUE(waitingSeen) << c.name;
    Json doc = Json::parse(jsonOut.str(), nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << jsonOut.str();
    EXPECT_EQ(c.outcome, doc["outcome"]) << c.name;
    EXPECT_EQ(5, doc["jobId"]) << c.name;
    EXPECT_EQ(c.states[std::min<size_t>(queries, c.states.size()) - 1], doc["status"]) << c.name;
    // Plain lines off a terminal, one per change of state.
    EXPECT_EQ(0u, out.str().find("job 5: " + std::string(c.states[0]))) << out.str();
    EXPECT_EQ(c.exit != 0, !err.str().empty()) << c.name << ": " << err.str();
  }
}

}  // namespace
