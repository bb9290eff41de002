// evtaskctl against the reference application manager with its demo
// catalogue: embedded in the test process, and as the evtask-appmgr program
// over a Unix socket and over TCP with a key. Every command is a round trip
// through the store, so what one command writes the next one reads back.
#ifdef EVTASK_HAVE_APPMGR
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "appmgr/Embedded.h"
#include "platform/AppMgrTransport.h"
#include "platform/YMPlatformInfo.h"
#include "platform/YmErrors.h"
#include "service/Platform.h"
#include "support/TestSupport.h"
#include "task/TmTaskOptions.h"
#include "tools/Ctl.h"

using Json = nlohmann::json;
using evtask::ctl::CtlIo;

namespace {

struct Result {
  int exit = -1;
  std::string out;
  std::string err;
  Json json() const {
    Json doc = Json::parse(out, nullptr, false);
    EXPECT_FALSE(doc.is_discarded()) << "stdout is not one JSON document:\n" << out << err;
    return doc;
  }
};

std::function<int(const evtask::ctl::EmbeddedSettings&, std::string&)> embeddedStarter() {
  return [](const evtask::ctl::EmbeddedSettings& s, std::string& err) {
    evtask::appmgr::EmbeddedOptions o;
    o.dbPath = s.dbPath;
    o.initDemo = s.initDemo;
    o.jobSpeed = s.jobSpeed;
    return evtask::appmgr::registerEmbedded(o, err);
  };
}

class ServerCtlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/evtaskctl-test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir = tmpl;
    YMPlatformInfo::clearStore();
    TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
    TmTaskOptions::resetDefaultsForTesting();
  }
  void TearDown() override {
    stopServer();
    TmTaskOptions::resetDefaultsForTesting();
    TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
    YMPlatformInfo::clearStore();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  Result run(std::vector<std::string> args, bool embedded = false) {
    std::ostringstream out, err;
    CtlIo io(out, err);
    io.pollMs = pollMs;
    if (embedded) io.startEmbedded = embeddedStarter();
    args.insert(args.begin(), "evtaskctl");
    Result r;
    r.exit = evtask::ctl::runCtl(args, io);
    r.out = out.str();
    r.err = err.str();
    return r;
  }

  // Starts evtask-appmgr on `listen` and waits (bounded) until its log says
  // it listens; returns the endpoint it reports.
  std::string startServer(const std::vector<std::string>& extra) {
    std::string log = dir + "/server.log";
    std::size_t before = 0;
    {
      std::ifstream in(log, std::ios::ate);
      if (in) before = static_cast<std::size_t>(in.tellg());
    }
    std::vector<std::string> args = {EVTASK_APPMGR_PATH, "--db", dir + "/store.db", "--init-demo", "--log-file",
                                     log};
    args.insert(args.end(), extra.begin(), extra.end());
    pid = fork();
    if (pid == 0) {
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      std::ifstream in(log);
      std::stringstream text;
      text << in.rdbuf();
      std::string s = text.str().size() > before ? text.str().substr(before) : std::string();
      std::size_t at = s.find("listening on ");
      if (at != std::string::npos && s.find('\n', at) != std::string::npos)
        return s.substr(at + 13, s.find('\n', at) - at - 13);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ADD_FAILURE() << "evtask-appmgr did not start listening";
    return "";
  }
  void stopServer() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }

  std::string dir;
  pid_t pid = -1;
  unsigned long pollMs = 20;
};

TEST_F(ServerCtlTest, EmbeddedRoundTripsThroughTheStore) {
  const std::string db = "--db=" + dir + "/embedded.db";
  Result show = run({"--json", db, "--demo-data", "task", "show", "1001"}, true);
  ASSERT_EQ(0, show.exit) << show.err;
  Json doc = show.json();
  EXPECT_EQ(1001u, doc["task"]["taskId"]);
  EXPECT_EQ(false, doc["task"]["isDefault"]);
  ASSERT_EQ(2u, doc["entities"].size());
  EXPECT_EQ(2, doc["entities"][0]["clientId"]);
  EXPECT_EQ(11, doc["entities"][0]["subclientId"]);
  EXPECT_EQ(12, doc["entities"][1]["subclientId"]);

  doc = run({"--json", db, "options", "get", "1001", "6"}, true).json();
  EXPECT_EQ(Json::array({"/etc", "/home"}), doc["values"]);
  EXPECT_EQ("text", doc["type"]);

  ASSERT_EQ(0, run({db, "options", "set", "1001", "7777", "-5", "--type", "long"}, true).exit);
  doc = run({"--json", db, "options", "get", "1001", "7777"}, true).json();
  EXPECT_EQ(Json::array({"-5"}), doc["values"]);
  EXPECT_EQ("long", doc["type"]);
  ASSERT_EQ(0, run({db, "options", "remove", "1001", "7777"}, true).exit);
  EXPECT_EQ(1, run({db, "options", "get", "1001", "7777"}, true).exit);

  ASSERT_EQ(0, run({db, "files", "add", "1001", "/srv/data", "--type", "1"}, true).exit);
  doc = run({"--json", db, "files", "list", "1001"}, true).json();
  std::vector<std::string> names;
  for (const Json& f : doc["files"]) names.push_back(f["name"]);
  EXPECT_EQ((std::vector<std::string>{"/etc", "/home", "/srv/data"}), names);
  ASSERT_EQ(0, run({db, "files", "remove", "1001", "/srv/data"}, true).exit);
  EXPECT_EQ(2u, run({"--json", db, "files", "list", "1001"}, true).json()["files"].size());

  doc = run({"--json", db, "defaults"}, true).json();
  EXPECT_TRUE(std::any_of(doc["defaults"].begin(), doc["defaults"].end(), [](const Json& o) {
    return o["optionId"] == 100 && o["type"] == "longlong" && o["value"] == "1048576";
  })) << doc;

  ASSERT_EQ(0, run({db, "params", "set", "RetentionDays", "30"}, true).exit);
  EXPECT_EQ("30", run({"--json", db, "params", "get", "RetentionDays"}, true).json()["value"]);

  doc = run({"--json", db, "jobs", "list", "1001"}, true).json();
  EXPECT_FALSE(doc["jobs"].empty()) << doc;
}

TEST_F(ServerCtlTest, OverUnixSocketAndTcpWithKey) {
  std::string unixEp = startServer({"--listen", "unix:" + dir + "/appmgr.sock"});
  ASSERT_EQ("unix:" + dir + "/appmgr.sock", unixEp);
  Result r = run({"--json", "--endpoint", unixEp, "task", "show", "1002"});
  ASSERT_EQ(0, r.exit) << r.err;
  EXPECT_EQ(1002u, r.json()["task"]["taskId"]);
  EXPECT_EQ(3, r.json()["entities"][0]["clientId"]);
  stopServer();
  // Once the server is gone the tool cannot reach it.
  EXPECT_EQ(3, run({"--endpoint", unixEp, "task", "show", "1002"}).exit);

  const std::string key = dir + "/psk";
  {
    std::ofstream(key) << "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
  }
  chmod(key.c_str(), 0600);
  std::string tcpEp = startServer({"--listen", "tcp:127.0.0.1:0", "--key-file", key});
  ASSERT_EQ(0u, tcpEp.rfind("tcp:127.0.0.1:", 0)) << tcpEp;
  r = run({"--json", "--endpoint", tcpEp, "--key-file", key, "options", "get", "1002", "7"});
  ASSERT_EQ(0, r.exit) << r.err;
  EXPECT_EQ(Json::array({"/restore"}), r.json()["values"]);
}

// Every schedule builder and immediate job, the client's schedules, a task
// run and the waits for its job, on the embedded server. The fake clock
// drives both the wait and the server's job simulator (a job takes 10 s), so
// nothing sleeps for real and the percentages are exact.
TEST_F(ServerCtlTest, SchedulesAndJobsEmbedded) {
  evtask::test::FakeClock clock;
  pollMs = 1000;
  const std::string db = "--db=" + dir + "/embedded.db";
  auto call = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--json", db, "--demo-data"});
    return run(args, true);
  };
  struct Case {
    std::vector<std::string> args;
    Json expected;  // fields compared one by one
  };
  const Case submitted[] = {
      {{"schedule", "create", "easy-backup", "--apptype", "29", "--client", "2", "--name", "weekly"},
       {{"schedule", "easy-backup"}, {"result", "submitted"}}},
      {{"schedule", "create", "aux-copy", "--policy", "1", "--copy", "1"},
       {{"schedule", "aux-copy"}, {"result", "submitted"}}},
      {{"schedule", "create", "edc", "--client", "2", "--instance", "1", "--instance-type", "2"},
       {{"schedule", "edc"}, {"result", "submitted"}}},
      {{"schedule", "create", "update", "--client", "2", "--day-mask", "4", "--download"},
       {{"schedule", "update"}, {"result", "submitted"}}},
      {{"schedule", "create", "update-job", "--client", "2", "--client", "3", "--group", "1"},
       {{"schedule", "update-job"}, {"result", "submitted"}}},
      {{"job", "run", "synthetic-full", "--subclient", "11"},
       {{"job", "synthetic-full"}, {"result", "submitted"}, {"jobs", Json::array()}}},
      {{"job", "run", "inventory", "--library", "1"},
       {{"job", "inventory"}, {"result", "submitted"}, {"jobs", Json::array()}}},
      {{"job", "run", "reconstruction", "--store", "1", "--policy", "1", "--copy", "1"},
       {{"job", "reconstruction"}, {"result", "submitted"}, {"jobs", Json::array()}}},
      {{"job", "run", "partition-move", "--store", "1", "--substore", "2", "--source-ma", "3", "--dest-ma", "4"},
       {{"job", "partition-move"}, {"result", "submitted"}, {"jobs", Json::array()}}},
  };
  for (const Case& c : submitted) {
    Result r = call(c.args);
    ASSERT_EQ(0, r.exit) << c.args[2] << ": " << r.err;
    Json doc = r.json();
    for (auto it = c.expected.begin(); it != c.expected.end(); ++it)
      EXPECT_EQ(it.value(), doc[it.key()]) << c.args[2] << " " << it.key() << ": " << doc;
  }
  Result logs = call({"schedule", "create", "send-log-files", "--name", "daily logs"});
  ASSERT_EQ(0, logs.exit) << logs.err;
  EXPECT_GT(logs.json()["taskId"].get<long long>(), 1002) << logs.out;
  Result scale = call({"job", "run", "index-scale", "--index-client", "2", "--source-client", "2", "--dest-client",
                       "3", "--core", "core1", "--source-path", "/a", "--dest-path", "/b"});
  ASSERT_EQ(0, scale.exit) << scale.err;
  EXPECT_EQ(1u, scale.json()["jobs"].size()) << scale.out;

  // The installation schedule is one of client 2's update schedules; the
  // automatic ones are the catalogue's task 1001, without subtasks (it has
  // no automatic pattern).
  ASSERT_EQ(0, call({"schedule", "create", "update", "--client", "2", "--day-mask", "4"}).exit);
  Json schedules = call({"schedules", "list", "--client", "2"}).json();
  EXPECT_EQ(2, schedules["clientId"]);
  ASSERT_EQ(1u, schedules["update"].size()) << schedules;
  Json update = schedules["update"][0];
  ASSERT_EQ(1u, update["subTasks"].size()) << update;
  EXPECT_GT(update["subTasks"][0]["taskId"].get<long long>(), 1002) << update;
  EXPECT_GT(update["subTasks"][0]["subTaskId"].get<long long>(), 2002) << update;
  EXPECT_EQ(1, update["subTasks"][0]["subTaskType"]);
  EXPECT_EQ(4020, update["subTasks"][0]["operationType"]);
  EXPECT_EQ(Json::array({Json{{"taskId", 0}, {"clientGroupId", 0}, {"clientId", 2}, {"appTypeId", 0},
                              {"instanceId", 0}, {"backupsetId", 0}, {"subclientId", 0}}}),
            update["entities"]);
  ASSERT_EQ(1u, schedules["automatic"].size()) << schedules;
  EXPECT_EQ(Json::array(), schedules["automatic"][0]["subTasks"]);
  EXPECT_EQ(11, schedules["automatic"][0]["entities"][0]["subclientId"]);
  EXPECT_EQ(12, schedules["automatic"][0]["entities"][1]["subclientId"]);

  Result started = call({"task", "run", "1001", "2001"});
  ASSERT_EQ(0, started.exit) << started.err;
  Json jobs = started.json()["jobs"];
  ASSERT_EQ(1u, jobs.size()) << started.out;
  const std::string job = std::to_string(jobs[0].get<long long>());
  Json listed = call({"jobs", "list", "1001"}).json()["jobs"];
  EXPECT_NE(listed.end(), std::find(listed.begin(), listed.end(), jobs[0])) << listed;

  struct Wait {
    std::vector<std::string> args;
    int exit;
    const char* outcome;
    const char* status;
    int percent;
    long long elapsedMs;
  };
  const Wait waits[] = {
      {{"job", "wait", job, "--timeout", "4"}, 4, "deadline", "Running", 30, 4000},
      {{"job", "wait", job}, 0, "completed", "Completed", 100, 6000},
      {{"job", "wait", "987654"}, 1, "query failed", "", -1, 0},
  };
  for (const Wait& w : waits) {
    long long began = clock.monotonicMs();
    Result r = call(w.args);
    EXPECT_EQ(w.exit, r.exit) << w.args[2] << ": " << r.err;
    EXPECT_EQ(w.elapsedMs, clock.monotonicMs() - began) << w.args[2];
    Json doc = r.json();
    EXPECT_EQ(w.outcome, doc["outcome"]) << doc;
    EXPECT_EQ(w.status, doc["status"]) << doc;
    EXPECT_EQ(w.percent, doc.value("percent", -1)) << doc;
  }
}

// The schedule and job commands over the Unix socket, against a server
// whose jobs end within milliseconds.
TEST_F(ServerCtlTest, SchedulesAndJobsOverUnixSocket) {
  std::string ep = startServer({"--listen", "unix:" + dir + "/appmgr.sock", "--job-speed", "1000"});
  ASSERT_FALSE(ep.empty());
  auto call = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--json", "--endpoint", ep});
    return run(args);
  };
  Result created = call({"schedule", "create", "update", "--client", "3"});
  ASSERT_EQ(0, created.exit) << created.err;
  EXPECT_EQ("update", created.json()["schedule"]);
  Json update = call({"schedules", "list", "--client", "3"}).json()["update"];
  ASSERT_EQ(1u, update.size()) << update;
  EXPECT_EQ(3, update[0]["entities"][0]["clientId"]) << update;
  Json jobs = call({"task", "run", "1001", "2001"}).json()["jobs"];
  ASSERT_EQ(1u, jobs.size());
  Result waited = call({"job", "wait", std::to_string(jobs[0].get<long long>()), "--timeout", "30"});
  EXPECT_EQ(0, waited.exit) << waited.err;
  EXPECT_EQ("Completed", waited.json()["status"]) << waited.out;
  stopServer();
  EXPECT_EQ(3, call({"job", "wait", std::to_string(jobs[0].get<long long>())}).exit);
}

TEST_F(ServerCtlTest, Demo) {
  evtask::test::FakeClock clock;
  Result r = run({"--json", "demo"}, true);
  ASSERT_EQ(0, r.exit) << r.err << r.out;
  Json doc = r.json();
  EXPECT_EQ(true, doc["ok"]);
  EXPECT_LT(doc["elapsedMs"].get<long long>(), 30000);
  std::vector<std::string> steps;
  for (const Json& s : doc["steps"]) steps.push_back(s["step"]);
  EXPECT_EQ((std::vector<std::string>{"start", "schedule create update", "schedules list", "task run",
                                      "job wait", "options list", "options set", "options get", "files add",
                                      "files list", "files remove"}),
            steps);
}

}  // namespace
#endif  // EVTASK_HAVE_APPMGR
