#include "tools/CtlDemo.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <list>

#include "platform/YMPlatformInfo.h"
#include "platform/YmClock.h"
#include "platform/YmErrors.h"
#include "task/EvTask.h"
#include "tools/CtlJobs.h"
#include "tools/CtlOutput.h"

namespace evtask {
namespace ctl {

namespace {

// Entities of the demo catalogue that the scenario works on.
const int kDemoClient = 2;
// Tuesdays (bit 2 of the day mask, bit 0 being Sunday), and the operation
// type of a software installation.
const int kDemoDayMask = 4;
const int kInstallOperation = 4020;
const unsigned long kDemoTask = 1001;
const unsigned long kDemoSubTask = 2001;
// An option id of our own block, so the demo never changes a real option.
const unsigned long long kDemoOption = 0x7E000001ULL;
const int kDemoFileType = 150001;

class Demo {
 public:
  Demo(const DemoSettings& settings, DemoReport& report) : s_(settings), r_(report) {}
  int run();

 private:
  // Records a step; returns `rc` so that callers can stop at the first failure.
  int step(const std::string& name, int rc, const std::string& result);
  int start();
  int createSchedule();
  int listClientSchedules();
  int runAndWait();
  int options();
  int files();
  void say(const std::string& line) {
    if (s_.log) *s_.log << line << "\n" << std::flush;
  }

  const DemoSettings& s_;
  DemoReport& r_;
  std::string dir_;
};

int Demo::step(const std::string& name, int rc, const std::string& result) {
  DemoStep st;
  st.name = name;
  st.ok = rc == 0;
  st.result = result;
  r_.steps.push_back(st);
  say(std::string(st.ok ? "  ok      " : "  FAILED  ") + name + ": " + result);
  if (rc != 0) r_.failure = name + ": " + result;
  return rc;
}

int Demo::start() {
  say("evtask demo: embedded application manager on an empty temporary database");
  if (!s_.startEmbedded)
    return step("start", YM_OPERATION_NOT_AVAILABLE, "this build has no embedded application manager");
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/evtask-demo.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return step("start", YM_SESSION_NO_SERVER, "cannot create a temporary folder");
  dir_ = buf.data();
  YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", "embedded");
  EmbeddedSettings es;
  es.dbPath = dir_ + "/appmgr.db";
  es.initDemo = true;
  // A demo job takes two seconds instead of ten: long enough to show its
  // progress, short enough that the whole scenario ends in a few seconds.
  es.jobSpeed = 5.0;
  std::string err;
  int rc = s_.startEmbedded(es, err);
  return step("start", rc, rc == 0 ? "demo catalogue loaded into " + es.dbPath : err);
}

int Demo::createSchedule() {
  // A weekly software installation schedule: unlike the backup schedules it
  // is listed among the client's schedules (its update schedules), so the
  // next step can find it again.
  const OpKind* kind = nullptr;
  for (const OpKind& k : scheduleKinds())
    if (k.name == "update") kind = &k;
  OpArgs args;
  args.ints["client"] = kDemoClient;
  args.ints["day-mask"] = kDemoDayMask;
  OpResult result;
  std::string err;
  int rc = kind->perform(args, result, err);
  return step("schedule create update", rc,
              rc == 0 ? "weekly installation schedule for client " + std::to_string(kDemoClient) : err);
}

int Demo::listClientSchedules() {
  ClientSchedules schedules;
  std::string err;
  int rc = listSchedules(kDemoClient, schedules, err);
  bool found = false;
  for (const _AutomaticTaskInfo& t : schedules.update)
    for (const _SubTaskInfo& sub : t.subTasks) found = found || sub.subTask.operationType == kInstallOperation;
  if (rc == 0 && !found) {
    rc = YM_DB_NODATA;
    err = "the installation schedule just created is not among the client's schedules";
  }
  return step("schedules list", rc,
              rc == 0 ? std::to_string(schedules.automatic.size()) + " automatic, " +
                            std::to_string(schedules.update.size()) + " update schedule(s), the new one among them"
                      : err);
}

int Demo::runAndWait() {
  EvTask task(0, 2, nullptr, false);
  std::list<long long> jobs;
  std::string err;
  int rc = task.runTask(kDemoTask, kDemoSubTask, jobs, err, 1, 0, 0, false, nullptr);
  if (rc == 0 && jobs.empty()) {
    rc = YM_DB_NODATA;
    err = "the server started no job";
  }
  if (step("task run", rc, rc == 0 ? "job " + std::to_string(jobs.front()) + " started" : err) != 0) return rc;

  WaitOptions options;
  options.pollMs = s_.pollMs;
  options.timeoutMs = s_.jobTimeoutMs;
  options.stop = s_.stop;
  ProgressPrinter progress(s_.log ? *s_.log : std::cout, s_.terminal);
  JobState last;
  int code = 0;
  WaitEnd end = waitForJob(
      jobs.front(), queryJob, options,
      [&](const JobState& st) {
        if (s_.log) progress.update(st);
      },
      last, code, err);
  progress.finish();
  switch (end) {
    case WaitEnd::Finished:
      return step("job wait", last.success ? 0 : YM_DB_NODATA, "job ended with status " + last.status);
    case WaitEnd::DeadlinePassed:
      r_.exitCode = kExitDeadline;
      return step("job wait", YM_SESSION_TIMEOUT, "the job did not end in time; it keeps running");
    case WaitEnd::Interrupted:
      r_.exitCode = kExitInterrupted;
      return step("job wait", YM_SESSION_TIMEOUT, "interrupted; the job keeps running");
    case WaitEnd::QueryFailed:
      break;
  }
  return step("job wait", code, err);
}

int Demo::options() {
  EvTask task(kDemoTask, 2, nullptr, false);
  TaskOptionList before;
  int rc = task.getOptions(before, nullptr);
  if (rc == YM_DB_NODATA) rc = 0;
  if (step("options list", rc, rc == 0 ? std::to_string(before.getList().size()) + " option(s)"
                                        : task.getErrorString()) != 0)
    return rc;
  TaskOptionList change;
  change.addToOptList(kDemoOption, "42", 7);
  rc = task.setOptions(change, nullptr);
  if (step("options set", rc, rc == 0 ? "option " + std::to_string(kDemoOption) + " = 42" : task.getErrorString()))
    return rc;
  // Read back through a fresh task object, so the value comes from the server.
  EvTask again(kDemoTask, 2, nullptr, false);
  int value = 0;
  rc = again.getOptionInt(kDemoOption, value, nullptr);
  if (rc == 0 && value != 42) {
    rc = YM_PROP_NOT_FOUND;
    return step("options get", rc, "read back " + std::to_string(value) + " instead of 42");
  }
  return step("options get", rc, rc == 0 ? "read back 42" : again.getErrorString());
}

int Demo::files() {
  EvTask task(kDemoTask, 2, nullptr, false);
  const std::string name = "/demo/data/projects";
  TaskFileList add;
  add.addToFileList(0, name, kDemoFileType);
  int rc = task.setFiles(add, nullptr);
  if (step("files add", rc, rc == 0 ? name : task.getErrorString()) != 0) return rc;
  EvTask fresh(kDemoTask, 2, nullptr, false);
  TaskFileList list;
  rc = fresh.getFiles(list, 0, nullptr);
  bool found = false;
  for (const TaskFile* f : list) found = found || name == f->getValue();
  if (rc == 0 && !found) return step("files list", YM_PROP_NOT_FOUND, name + " is not listed");
  if (step("files list", rc, rc == 0 ? std::to_string(list.getList().size()) + " file(s), " + name + " among them"
                                      : fresh.getErrorString()) != 0)
    return rc;
  rc = fresh.removeFiles(std::vector<std::string>{name}, nullptr);
  return step("files remove", rc, rc == 0 ? name : fresh.getErrorString());
}

int Demo::run() {
  YmClock* clock = YmClock::current();
  long long began = clock->monotonicMs();
  int rc = start();
  if (rc == 0) rc = createSchedule();
  if (rc == 0) rc = listClientSchedules();
  if (rc == 0) rc = runAndWait();
  if (rc == 0) rc = options();
  if (rc == 0) rc = files();
  r_.elapsedMs = clock->monotonicMs() - began;
  int passed = 0;
  for (const DemoStep& st : r_.steps) passed += st.ok ? 1 : 0;
  say("summary: " + std::to_string(passed) + " of " + std::to_string(r_.steps.size()) + " step(s) passed in " +
      std::to_string(r_.elapsedMs) + " ms" + (rc == 0 ? "" : "; failed at " + r_.failure));
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  return rc;
}

}  // namespace

nlohmann::ordered_json DemoReport::toJson() const {
  nlohmann::ordered_json steps_ = nlohmann::ordered_json::array();
  for (const DemoStep& st : steps) steps_.push_back({{"step", st.name}, {"ok", st.ok}, {"result", st.result}});
  return {{"steps", steps_}, {"ok", failure.empty()}, {"elapsedMs", elapsedMs}};
}

int runDemo(const DemoSettings& settings, DemoReport& report) {
  Demo demo(settings, report);
  return demo.run();
}

}  // namespace ctl
}  // namespace evtask
