// The reference server's job simulator and its embedded registration.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <tuple>

#include "ServiceScenario.h"
#include "appmgr/AppManager.h"
#include "appmgr/AppMgrErrors.h"
#include "appmgr/Embedded.h"
#include "service/TaskInterfaceNet.h"
#include "support/TestSupport.h"

namespace evtask {
namespace appmgr {
namespace {

using test::makeTempDir;
using test::removeTree;
using test::vals;

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
    EXPECT_EQ(vals(std::string(st.status), st.progress, st.progress == 100), vals(s.status, s.progress, s.final));
  }
  EXPECT_EQ(vals(req, 7u, 8u), vals(s.requestId, s.taskId, s.subTaskId));
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
// user's data folder, in a folder only the user can read; registering the
// same file again reuses the open store.
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
  EmbeddedOptions o;
  o.initDemo = true;
  t.taskId = t.task.taskId = 5151;
  // Another spelling of the same file reuses the store without waiting on
  // its lock; another file replaces the server and frees the first; a file
  // that cannot be opened leaves the running server in place.
  const struct {
    const char* file;
    bool registered, write;
    int got;
  } steps[] = {{"/e.db", true, true, 0}, {"/./e.db", true, false, 0}, {"/other.db", true, false, kAmNotFound},
               {"/missing/e.db", false, false, kAmNotFound}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.file);
    o.dbPath = dir + step.file;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(step.registered, registerEmbedded(o, err) == 0) << err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "no wait on the file lock";
    ASSERT_EQ(0, step.write ? TaskInterfaceNet().setTaskInfo(t, err, nullptr) : 0) << err;
    EXPECT_EQ(step.got, TaskInterfaceNet().getTaskInfo(t, err, nullptr)) << err;
  }
  Store first;
  EXPECT_EQ(0, first.open(dir + "/e.db", err)) << err;
  first.close();

  setEmbeddedProvider(nullptr);
  if (oldData) setenv("XDG_DATA_HOME", saved.c_str(), 1); else unsetenv("XDG_DATA_HOME");
  removeTree(dir);
}

}  // namespace
}  // namespace appmgr
}  // namespace evtask
