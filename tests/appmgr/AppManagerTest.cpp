#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstring>

#include "ServiceScenario.h"
#include "appmgr/AppManager.h"
#include "appmgr/AppMgrErrors.h"
#include "appmgr/Embedded.h"
#include "platform/FrameCodec.h"
#include "platform/PlatformMessages.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"
#include "support/TestSupport.h"

namespace evtask {
namespace appmgr {
namespace {

using test::makeTempDir;
using test::removeTree;

class AppManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
    server = std::make_shared<AppManager>();
    AppManagerOptions o;
    o.dbPath = dir + "/store.db";
    o.initDemo = true;
    std::string err;
    ASSERT_EQ(0, server->open(o, err)) << err;
    setInProcessHandler(server);
  }
  void TearDown() override {
    setInProcessHandler(nullptr);
    server.reset();
    removeTree(dir);
  }

  // Sends a raw frame and decodes the answer's header.
  AppMgrRespHdr ask(const Frame& request, uint32_t expectType, std::string& text) {
    Frame response;
    EXPECT_TRUE(server->answer(request.data(), request.size(), response));
    std::vector<uint64_t> buf(16, 0);
    WireArena arena;
    std::string err;
    const WireLayout* layout = WireCatalogue::instance().find(expectType);
    EXPECT_EQ(0, DecodeFrame(response.data(), response.size(), expectType, buf.data(), layout->size, &arena, &err))
        << err;
    AppMgrRespHdr h;
    std::memcpy(&h, buf.data(), sizeof h);
    text = h.errorText != nullptr ? h.errorText : "";
    return h;
  }

  std::string dir;
  std::shared_ptr<AppManager> server;
};

TEST_F(AppManagerTest, ServesEveryServiceOperationInProcess) { test::runServiceScenario(5000); }

// What it cannot serve gets a code and a text, answering the request it got;
// a reference outside the frame is among the socket tests' damaged frames.
TEST_F(AppManagerTest, RefusesWhatItCannotServeWithCodeAndText) {
  GenericTaskApiReq req{};
  req.header = AppMgrReqHdr{kAppMgrReqMagic, kAppMgrHdrVersion, 1, 42};
  GenericTaskApiReq foreign = req;
  foreign.header.magic = 0;
  const struct {
    const char* name;
    const GenericTaskApiReq* request;
    uint32_t type;
    int server;  // 0 open, 1 never opened (no handlers), 2 closed
    int code;
    const char* text;
  } cases[] = {
      {"foreign header", &foreign, msg::kGetTaskInfo, 0, kAmMalformed,
       "request header is not a request header of this protocol"},
      {"type without a handler", &req, msg::kGetAutomaticSchedulePattern, 1, kAmUnsupported,
       "message type 0x4900006E is not served by this application manager"},
      {"closed", &req, msg::kGetTaskInfo, 2, kAmBusy, "the application manager is shutting down"},
  };
  const std::shared_ptr<AppManager> opened = server;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Frame f;
    std::string err, text;
    ASSERT_EQ(0, EncodeFrame(c.type, c.request, sizeof *c.request, &f, &err));
    server = c.server == 1 ? std::make_shared<AppManager>() : opened;
    if (c.server == 2) server->close();
    const AppMgrRespHdr h = ask(f, c.type + 1, text);
    EXPECT_EQ(c.code, h.result);
    EXPECT_EQ(c.text, text);
    EXPECT_EQ(42u, h.sequence);
  }
  // Bytes that are no frame at all get no answer: the connection is dropped.
  Frame junk(7, 0xEE), response;
  EXPECT_FALSE(server->answer(junk.data(), junk.size(), response));
  EXPECT_TRUE(response.empty());
}

TEST_F(AppManagerTest, StoreIsMigratedOnceAndNewerSchemasAreRefused) {
  const std::string path = dir + "/store.db";
  server->close();
  Store s;
  std::string err;
  ASSERT_EQ(0, s.open(path, err)) << err;
  EXPECT_EQ(Store::kSchemaVersion, s.schemaVersion());
  {
    Query q(s, "SELECT count(*) FROM tasks");
    ASSERT_TRUE(q.step());
    EXPECT_EQ(3, q.integer(0)) << "the demo tasks survive reopening";
  }
  {
    Query q(s, "PRAGMA journal_mode");
    ASSERT_TRUE(q.step());
    EXPECT_EQ("wal", q.text(0));
  }
  s.exec(("PRAGMA user_version=" + std::to_string(Store::kSchemaVersion + 1)).c_str());
  s.close();
  EXPECT_NE(0, s.open(path, err));
  EXPECT_NE(std::string::npos, err.find("has schema version")) << err;
}

// --- job simulator ---------------------------------------------------------------

class JobSimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = makeTempDir();
    std::string err;
    ASSERT_EQ(0, store.open(dir + "/jobs.db", err)) << err;
    store.exec("PRAGMA synchronous=OFF");  // durability is not what these tests check
  }
  void TearDown() override {
    store.close();
    removeTree(dir);
  }
  std::string dir;
  Store store;
  test::FakeClock clock;
};

TEST_F(JobSimulatorTest, JobRunsWithProgressThenEndsAtItsDuration) {
  JobSimulator sim(store, 4.0, 0.0, &clock);
  EXPECT_EQ(2500, sim.durationMs());
  const int64_t req = sim.newRequest("test");
  const int64_t job = sim.startJob(req, 7, 8);
  JobState s;
  struct Step {
    unsigned long advanceMs;
    const char* status;
    int progress;
    bool final;
  };
  const Step steps[] = {{0, "Running", 0, false}, {1000, "Running", 40, false}, {1499, "Running", 99, false},
                        {1, "Completed", 100, true}, {5000, "Completed", 100, true}};
  for (const Step& st : steps) {
    clock.sleepMs(st.advanceMs);
    ASSERT_TRUE(sim.state(job, s));
    EXPECT_EQ(st.status, s.status);
    EXPECT_EQ(st.progress, s.progress);
    EXPECT_EQ(st.final, s.final);
  }
  EXPECT_EQ(req, s.requestId);
  EXPECT_EQ(7u, s.taskId);
  EXPECT_EQ(8u, s.subTaskId);
  EXPECT_FALSE(sim.state(job + 1, s));
}

TEST_F(JobSimulatorTest, FailureRatioDecidesTheShareOfFailedJobs) {
  struct Case {
    double ratio;
    int minFailed, maxFailed;
  };
  for (const Case& c : {Case{0.0, 0, 0}, Case{1.0, 40, 40}, Case{0.5, 10, 30}, Case{-3, 0, 0}, Case{7, 40, 40}}) {
    SCOPED_TRACE(c.ratio);
    store.exec("DELETE FROM jobs");
    JobSimulator sim(store, 1000.0, c.ratio, &clock);
    std::vector<int64_t> ids;
    for (int i = 0; i < 40; ++i) ids.push_back(sim.startJob(0, 1, 1));
    clock.sleepMs(static_cast<unsigned long>(sim.durationMs()));
    int failed = 0;
    for (int64_t id : ids) {
      JobState s;
      ASSERT_TRUE(sim.state(id, s));
      ASSERT_TRUE(s.final);
      if (s.status == "Failed") {
        ++failed;
        EXPECT_EQ("The simulated job failed", s.detail);
      } else {
        EXPECT_EQ("Completed", s.status);
      }
    }
    EXPECT_GE(failed, c.minFailed);
    EXPECT_LE(failed, c.maxFailed);
  }
}

// --- embedded registration --------------------------------------------------------

TEST(EmbeddedTest, RegistersAServerAndReportsUnusableSettings) {
  const std::string dir = makeTempDir();
  struct Case {
    const char* name;
    EmbeddedOptions options;
    bool ok;
    const char* errPart;
  };
  EmbeddedOptions good;
  good.dbPath = dir + "/e.db";
  good.initDemo = true;
  EmbeddedOptions noFolder = good;
  noFolder.dbPath = dir + "/missing/sub/e.db";
  EmbeddedOptions slow = good;
  slow.jobSpeed = 0;
  EmbeddedOptions ratio = good;
  ratio.failureRatio = 1.5;
  const Case cases[] = {{"missing folder", noFolder, false, "cannot open database"},
                        {"speed", slow, false, "job speed must be above 0"},
                        {"ratio", ratio, false, "failure ratio must be between 0 and 1"},
                        {"good", good, true, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string err;
    const int rc = registerEmbedded(c.options, err);
    EXPECT_EQ(c.ok, rc == 0) << err;
    EXPECT_NE(std::string::npos, err.find(c.errPart)) << err;
  }
  // The default endpoint now reaches the embedded server.
  TaskInterfaceNet net;
  _TaskInfo t;
  t.taskId = 1001;
  std::string err;
  EXPECT_EQ(0, net.getTaskInfo(t, err, nullptr)) << err;
  setEmbeddedProvider(nullptr);
  removeTree(dir);
}

TEST(EmbeddedTest, DefaultDatabaseLivesUnderTheUsersDataFolder) {
  const std::string dir = makeTempDir();
  const char* oldData = getenv("XDG_DATA_HOME");
  const std::string saved = oldData ? oldData : "";
  setenv("XDG_DATA_HOME", dir.c_str(), 1);
  EXPECT_EQ(dir + "/evtask/appmgr.db", defaultDatabasePath());
  std::string err;
  EXPECT_EQ(0, registerEmbedded(EmbeddedOptions(), err)) << err;
  struct stat st;
  ASSERT_EQ(0, stat((dir + "/evtask").c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 0777);
  EXPECT_EQ(0, stat((dir + "/evtask/appmgr.db").c_str(), &st));
  setEmbeddedProvider(nullptr);
  if (oldData) setenv("XDG_DATA_HOME", saved.c_str(), 1); else unsetenv("XDG_DATA_HOME");
  removeTree(dir);
}

}  // namespace
}  // namespace appmgr
}  // namespace evtask
