// evtaskctl run in-process against the reference application manager with
// its demo catalogue: embedded in the test process (one table of commands,
// each a round trip through the store, so what one writes the next reads
// back), and as the evtask-appmgr program over a Unix socket and over TCP
// with a key.
#ifdef EVTASK_HAVE_APPMGR
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "appmgr/Embedded.h"
#include "appmgr/ServerProcess.h"
#include "platform/AppMgrTransport.h"
#include "platform/YMPlatformInfo.h"
#include "service/Platform.h"
#include "support/TestSupport.h"
#include "task/TmTaskOptions.h"
#include "tools/Ctl.h"

using Json = nlohmann::json;
using evtask::ctl::CtlIo;

namespace {

struct Result {
  int exit = -1;
  std::string out;  // a JSON document on stdout is compacted, so that fragments match
  std::string err;
  Json doc;
};

class CtlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/evtaskctl-test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir = tmpl;
    reset();
  }
  void TearDown() override {
    server.stop();
    evtask::setEmbeddedProvider(nullptr);
    reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static void reset() {
    TmTaskOptions::resetDefaultsForTesting();
    TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
    YMPlatformInfo::clearStore();
  }

  // Runs the tool; `embedded` starts the in-process server on the test's
  // database with the demo catalogue.
  Result run(std::vector<std::string> args, bool embedded) {
    std::ostringstream out, err;
    CtlIo io(out, err);
    io.pollMs = 1000;
    if (embedded) {
      args.insert(args.begin(), {"--db=" + dir + "/embedded.db", "--demo-data"});
      io.startEmbedded = [](const evtask::ctl::EmbeddedSettings& s, std::string& e) {
        evtask::appmgr::EmbeddedOptions o;
        o.dbPath = s.dbPath;
        o.initDemo = s.initDemo;
        o.jobSpeed = s.jobSpeed;
        return evtask::appmgr::registerEmbedded(o, e);
      };
    }
    args.insert(args.begin(), "evtaskctl");
    Result r;
    r.exit = evtask::ctl::runCtl(args, io);
    r.out = out.str();
    r.err = err.str();
    r.doc = Json::parse(r.out, nullptr, false);
    if (!r.doc.is_discarded()) r.out = r.doc.dump();
    return r;
  }

  std::string dir;
  evtask::test::ServerProcess server;
};

// Every command on the embedded server. Jobs run on the fake clock, which
// drives both the wait and the server's job simulator (a job takes 10 s), so
// nothing sleeps for real and the percentages are exact. "$JOB" stands for
// the first job the last command that started jobs reported.
TEST_F(CtlTest, EveryCommandOnTheEmbeddedServer) {
  evtask::test::FakeClock clock;
  const std::string submitted = "\"result\":\"submitted\"";
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::vector<std::string> has;  // fragments of stdout (compacted JSON) or stderr
    long long elapsedMs = -1;      // on the fake clock, -1: not checked
  };
  const Case cases[] = {
      {{"--json", "task", "show", "1001"}, 0,
       {"\"taskId\":1001", "\"isDefault\":false", "\"clientId\":2", "\"subclientId\":11", "\"subclientId\":12"}},
      {{"task", "show", "1001"}, 0, {"task:\n  taskId: 1001\n"}},
      {{"--json", "task", "show", "2001", "--by", "subtask"}, 0, {"\"subTaskId\":2001", "\"taskId\":1001"}},
      {{"--json", "task", "show", "99"}, 1, {"\"exitCode\":1", "error 100 (0x64): no task found for task id 99"}},
      {{"--json", "options", "get", "1001", "6"}, 0, {"\"values\":[\"/etc\",\"/home\"]", "\"type\":\"text\""}},
      {{"options", "set", "1001", "7777", "-5", "--type", "long"}, 0, {}},
      {{"--json", "options", "get", "1001", "7777"}, 0, {"\"values\":[\"-5\"]", "\"type\":\"long\""}},
      {{"options", "remove", "1001", "7777"}, 0, {}},
      {{"--json", "options", "get", "1001", "7777"}, 1, {"\"code\":524289", "error 524289 (0x80001): option 7777"}},
      {{"files", "add", "1001", "/srv/data", "--type", "1"}, 0, {}},
      {{"--json", "files", "list", "1001"}, 0, {"\"name\":\"/etc\"", "\"name\":\"/home\"", "\"name\":\"/srv/data\""}},
      {{"files", "remove", "1001", "/srv/data"}, 0, {}},
      {{"files", "add", "1001", "", "--type", "1"}, 2, {"must not be empty"}},
      {{"--json", "defaults"}, 0, {"{\"optionId\":100,\"type\":\"longlong\",\"value\":\"1048576\"}"}},
      {{"params", "set", "RetentionDays", "30"}, 0, {}},
      {{"--json", "params", "get", "RetentionDays"}, 0, {"{\"name\":\"RetentionDays\",\"value\":\"30\"}"}},
      {{"--json", "schedule", "create", "easy-backup", "--apptype", "29", "--client", "2", "--name", "weekly"}, 0,
       {"\"schedule\":\"easy-backup\"", submitted}},
      {{"--json", "schedule", "create", "aux-copy", "--policy", "1", "--copy", "1"}, 0,
       {"\"schedule\":\"aux-copy\"", submitted}},
      {{"--json", "schedule", "create", "edc", "--client", "2", "--instance", "1", "--instance-type", "2"}, 0,
       {"\"schedule\":\"edc\"", submitted}},
      {{"--json", "schedule", "create", "update-job", "--client", "2", "--client", "3", "--group", "1"}, 0,
       {"\"schedule\":\"update-job\"", submitted}},
      {{"--json", "schedule", "create", "send-log-files", "--name", "daily logs"}, 0, {"\"taskId\":"}},
      {{"--json", "job", "run", "synthetic-full", "--subclient", "11"}, 0, {"\"job\":\"synthetic-full\"", submitted}},
      {{"--json", "job", "run", "inventory", "--library", "1"}, 0, {"\"job\":\"inventory\"", submitted}},
      {{"--json", "job", "run", "reconstruction", "--store", "1", "--policy", "1", "--copy", "1"}, 0,
       {"\"job\":\"reconstruction\"", submitted}},
      {{"--json", "job", "run", "partition-move", "--store", "1", "--substore", "2", "--source-ma", "3", "--dest-ma",
        "4"}, 0, {"\"job\":\"partition-move\"", submitted}},
      {{"--json", "job", "run", "index-scale", "--index-client", "2", "--source-client", "2", "--dest-client", "3",
        "--core", "core1", "--source-path", "/a", "--dest-path", "/b"}, 0, {"\"jobs\":[", submitted}},
      // The installation schedule is client 2's one update schedule; the
      // automatic one is the catalogue's task 1001, without subtasks (it has
      // no automatic pattern).
      {{"--json", "schedule", "create", "update", "--client", "2", "--day-mask", "4"}, 0,
       {"\"schedule\":\"update\"", submitted}},
      {{"--json", "schedules", "list", "--client", "2"}, 0,
       {"\"clientId\":2", "\"automatic\":[{\"entities\":[{",
        "\"update\":[{\"entities\":[{\"appTypeId\":0,\"backupsetId\":0,\"clientGroupId\":0,\"clientId\":2,"
        "\"instanceId\":0,\"subclientId\":0,\"taskId\":0}],\"subTasks\":[{\"operationType\":4020,",
        "\"subTasks\":[]"}},
      {{"--json", "task", "run", "1001", "2001"}, 0, {"\"jobs\":[", "\"taskId\":1001", "\"subTaskId\":2001"}},
      {{"--json", "jobs", "list", "1001"}, 0, {"$JOB"}},
      {{"--json", "job", "wait", "$JOB", "--timeout", "4"}, 4,
       {"\"outcome\":\"deadline\"", "\"status\":\"Running\"", "\"percent\":30"}, 4000},
      {{"--json", "job", "wait", "$JOB"}, 0,
       {"\"outcome\":\"completed\"", "\"status\":\"Completed\"", "\"percent\":100"}, 6000},
      {{"--json", "job", "wait", "987654"}, 1, {"\"outcome\":\"query failed\""}, 0},
      // Usage errors.
      {{"task", "show"}, 2, {"id is required"}}, {{"task", "show", "x"}, 2, {"x"}}, {{"options"}, 2, {"subcommand"}},
      {{"task", "show", "1", "--by", "client"}, 2, {"client"}}, {{"frobnicate"}, 2, {"subcommand is required"}},
      {{"job", "wait", "5", "--timeout", "-1"}, 2, {"negative"}}, {{"schedule", "create", "aux-copy"}, 2, {"--policy"}},
      {{"schedule", "create", "edc", "--client", "2"}, 2, {"--instance"}},
      {{"job", "run", "partition-move", "--store", "1", "--substore", "2", "--source-ma", "3"}, 2, {"--dest-ma"}},
      {{"job", "run", "index-scale"}, 2, {"--index-client"}},
      {{"--help"}, 0, {"3 cannot reach the server", "4 deadline passed"}},
  };
  // Values are checked against their type before anything is sent; those
  // that fit are stored in their text form. Columns: value, type, stored
  // type and value (none: refused, the error names the value or the type).
  const char* const typed[][4] = {
      {"2147483648", "int"}, {"12abc", "int"}, {"maybe", "bool"}, {"32768", "short"}, {"-1", "ushort"},
      {"18446744073709551616", "ulonglong"}, {"1", "float", nullptr, "float"},
      {"2147483647", "int", "int", "2147483647"}, {"-2147483648", "7", "int", "-2147483648"},
      {"off", "bool", "bool", "0"}, {"4294967295", "uint", "uint", "4294967295"},
      {"-9223372036854775808", "longlong", "longlong", "-9223372036854775808"}};
  std::vector<Case> all(std::begin(cases), std::end(cases));
  for (const auto& t : typed) {
    all.push_back({{"--json", "options", "set", "1001", "5000", t[0], "--type", t[1]}, t[2] ? 0 : 2,
                   {t[2] ? "" : t[3] ? t[3] : t[0]}});
    if (t[2] != nullptr) {
      all.push_back({{"--json", "options", "get", "1001", "5000"}, 0,
                     {"\"values\":[\"" + std::string(t[3]) + "\"]", "\"type\":\"" + std::string(t[2]) + "\""}});
    }
  }
  std::string job = "none";
  for (const Case& c : all) {
    std::vector<std::string> args = c.args;
    for (std::string& a : args) a = a == "$JOB" ? job : a;
    SCOPED_TRACE(::testing::PrintToString(args));
    const long long began = clock.monotonicMs();
    const Result r = run(args, true);
    EXPECT_EQ(c.exit, r.exit) << r.err;
    for (std::string f : c.has) {
      f = f == "$JOB" ? job : f;
      EXPECT_NE(std::string::npos, (r.out + r.err).find(f)) << f << " in\n" << r.out << "\n" << r.err;
    }
    EXPECT_EQ(c.elapsedMs >= 0 ? c.elapsedMs : -1, c.elapsedMs >= 0 ? clock.monotonicMs() - began : -1);
    if (!r.doc.is_discarded() && r.doc.contains("jobs") && !r.doc["jobs"].empty() && c.args[1] != "jobs") {
      job = std::to_string(r.doc["jobs"][0].get<long long>());
    }
  }
  // Endpoints that cannot be used, or where nothing listens (the defaults
  // must not come from the cache of the commands above).
  reset();
  const char* const unusable[] = {"tcp:host", "ftp:x"};
  for (const char* ep : unusable) EXPECT_EQ(2, run({"--endpoint", ep, "defaults"}, false).exit) << ep;
  EXPECT_EQ(3, run({"--endpoint", "unix:" + dir + "/nobody.sock", "defaults"}, false).exit);
}

// Over TCP with a key (the Unix socket is the default transport of the
// socket tests); once the server is gone the tool cannot reach it.
TEST_F(CtlTest, OverTcpWithKey) {
  const std::string key = dir + "/psk";
  std::ofstream(key) << "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
  chmod(key.c_str(), 0600);
  const std::string tcpEp = server.start({"--db", dir + "/store.db", "--init-demo", "--listen", "tcp:127.0.0.1:0",
                                          "--key-file", key, "--job-speed", "1000"}, dir + "/server.log");
  ASSERT_EQ(0u, tcpEp.rfind("tcp:127.0.0.1:", 0)) << tcpEp;
  Result r = run({"--json", "--endpoint", tcpEp, "--key-file", key, "options", "get", "1002", "7"}, false);
  ASSERT_EQ(0, r.exit) << r.err;
  EXPECT_EQ(Json::array({"/restore"}), r.doc["values"]);
  r = run({"--json", "--endpoint", tcpEp, "--key-file", key, "task", "run", "1001", "2001"}, false);
  ASSERT_EQ(0, r.exit) << r.err;
  const std::string job = std::to_string(r.doc["jobs"][0].get<long long>());
  r = run({"--json", "--endpoint", tcpEp, "--key-file", key, "job", "wait", job, "--timeout", "30"}, false);
  EXPECT_EQ(0, r.exit) << r.err;
  EXPECT_EQ("Completed", r.doc["status"]) << r.out;
  server.stop();
  EXPECT_EQ(3, run({"--endpoint", tcpEp, "--key-file", key, "task", "show", "1002"}, false).exit);
}

}  // namespace
#endif  // EVTASK_HAVE_APPMGR
