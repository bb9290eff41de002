#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <tuple>

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

// --- job simulator and embedded registration ----------------------------------

TEST(JobSimulatorTest, JobsRunOnTheClockAndFailAtTheirRatio) {
  const std::string dir = makeTempDir();
  Store store;
  std::string err;
  ASSERT_EQ(0, store.open(dir + "/jobs.db", err)) << err;
  store.exec("PRAGMA synchronous=OFF");  // durability is not what this checks
  test::FakeClock clock;
  JobSimulator sim(store, 4.0, 0.0, &clock);
  EXPECT_EQ(2500, sim.durationMs());
  const int64_t req = sim.newRequest("test");
  const int64_t job = sim.startJob(req, 7, 8);
  JobState s;
  const struct {
    unsigned long advanceMs;
    const char* status;
    int progress;
  } steps[] = {{0, "Running", 0}, {1000, "Running", 40}, {1499, "Running", 99}, {1, "Completed", 100},
               {5000, "Completed", 100}};
  for (const auto& st : steps) {
    clock.sleepMs(st.advanceMs);
    ASSERT_TRUE(sim.state(job, s));
    EXPECT_EQ(st.status, s.status);
    EXPECT_EQ(st.progress, s.progress);
    EXPECT_EQ(st.progress == 100, s.final);
  }
  EXPECT_EQ(req, s.requestId);
  EXPECT_EQ(7u, s.taskId);
  EXPECT_EQ(8u, s.subTaskId);
  EXPECT_FALSE(sim.state(job + 1, s));
  // Out of 40 jobs, how many fail for a ratio (one outside 0..1 is clamped).
  for (auto c : {std::make_tuple(0.0, 0, 0), std::make_tuple(1.0, 40, 40), std::make_tuple(0.5, 10, 30),
                 std::make_tuple(-3.0, 0, 0), std::make_tuple(7.0, 40, 40)}) {
    SCOPED_TRACE(std::get<0>(c));
    store.exec("DELETE FROM jobs");
    JobSimulator ratio(store, 1000.0, std::get<0>(c), &clock);
    std::vector<int64_t> ids;
    for (int i = 0; i < 40; ++i) ids.push_back(ratio.startJob(0, 1, 1));
    clock.sleepMs(static_cast<unsigned long>(ratio.durationMs()));
    int failed = 0;
    for (int64_t id : ids) {
      ASSERT_TRUE(ratio.state(id, s) && s.final);
      failed += s.status == "Failed";
      EXPECT_EQ(s.status == "Failed" ? "The simulated job failed" : "", s.detail);
      EXPECT_TRUE(s.status == "Failed" || s.status == "Completed") << s.status;
    }
    EXPECT_GE(failed, std::get<1>(c));
    EXPECT_LE(failed, std::get<2>(c));
  }
  store.close();
  removeTree(dir);
}

// Unusable settings are reported; the default database lives under the
// user's data folder, in a folder only the user can read.
TEST(EmbeddedTest, RegistersAServerAndReportsUnusableSettings) {
  const std::string dir = makeTempDir();
  const char* oldData = getenv("XDG_DATA_HOME");
  const std::string saved = oldData ? oldData : "";
  setenv("XDG_DATA_HOME", dir.c_str(), 1);
  EXPECT_EQ(dir + "/evtask/appmgr.db", defaultDatabasePath());
  auto with = [&](std::function<void(EmbeddedOptions&)> change) {
    EmbeddedOptions o;
    o.initDemo = true;
    change(o);
    return o;
  };
  const struct {
    EmbeddedOptions options;
    const char* errPart;
  } cases[] = {{with([&](EmbeddedOptions& o) { o.dbPath = dir + "/missing/sub/e.db"; }), "cannot open database"},
               {with([](EmbeddedOptions& o) { o.jobSpeed = 0; }), "job speed must be above 0"},
               {with([](EmbeddedOptions& o) { o.failureRatio = 1.5; }), "failure ratio must be between 0 and 1"},
               {with([](EmbeddedOptions&) {}), nullptr}};
  for (const auto& c : cases) {
    std::string err;
    EXPECT_EQ(c.errPart == nullptr, registerEmbedded(c.options, err) == 0) << err;
    EXPECT_NE(std::string::npos, err.find(c.errPart != nullptr ? c.errPart : "")) << err;
  }
  struct stat st;
  ASSERT_EQ(0, stat((dir + "/evtask").c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 0777);
  EXPECT_EQ(0, stat((dir + "/evtask/appmgr.db").c_str(), &st));
  // The default endpoint now reaches the embedded server.
  _TaskInfo t;
  t.taskId = 1001;
  std::string err;
  EXPECT_EQ(0, TaskInterfaceNet().getTaskInfo(t, err, nullptr)) << err;
  setEmbeddedProvider(nullptr);
  if (oldData) setenv("XDG_DATA_HOME", saved.c_str(), 1); else unsetenv("XDG_DATA_HOME");
  removeTree(dir);
}

}  // namespace
}  // namespace appmgr
}  // namespace evtask
