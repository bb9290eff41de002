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
    io.pollMs = 20;
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

TEST_F(ServerCtlTest, Demo) {
  Result r = run({"--json", "demo"}, true);
  // Until both the library and the reference server serve schedules and
  // jobs, the demo stops at its first schedule step.
  if (r.exit == 1 && (r.err.find(YM_OPERATION_NOT_AVAILABLE_TEXT) != std::string::npos ||
                      r.err.find("is not served by this application manager") != std::string::npos))
    GTEST_SKIP() << "schedules and jobs not served yet: " << r.err;
  ASSERT_EQ(0, r.exit) << r.err << r.out;
  Json doc = r.json();
  EXPECT_EQ(true, doc["ok"]);
  EXPECT_LT(doc["elapsedMs"].get<long long>(), 30000);
  std::vector<std::string> steps;
  for (const Json& s : doc["steps"]) steps.push_back(s["step"]);
  EXPECT_EQ((std::vector<std::string>{"start", "schedule create easy-backup", "schedules list", "task run",
                                      "job wait", "options list", "options set", "options get", "files add",
                                      "files list", "files remove"}),
            steps);
}

}  // namespace
#endif  // EVTASK_HAVE_APPMGR
