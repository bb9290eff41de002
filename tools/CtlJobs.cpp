// Schedule and job operations of evtaskctl and the job wait loop.
#include "tools/CtlJobs.h"

#include <algorithm>
#include <cctype>

#include "platform/YmClock.h"
#include "platform/YmErrors.h"
#include "schedule/ScheduleRecords.h"

namespace evtask {
namespace ctl {

long long OpArgs::i(const std::string& name, long long fallback) const {
  auto it = ints.find(name);
  return it == ints.end() ? fallback : it->second;
}

std::string OpArgs::t(const std::string& name) const {
  auto it = texts.find(name);
  return it == texts.end() ? std::string() : it->second;
}

namespace {

int scheduleKind(const std::string& name, const OpArgs& args, OpResult& result, std::string& err) {
  return performSchedule(name, args, result, err);
}
int jobKind(const std::string& name, const OpArgs& args, OpResult& result, std::string& err) {
  return performJob(name, args, result, err);
}

// An OpKind's call: the schedule builder or immediate job of its name.
#define EVTASK_SCHEDULE(NAME) [](const OpArgs& a, OpResult& r, std::string& e) { return scheduleKind(NAME, a, r, e); }
#define EVTASK_JOB(NAME) [](const OpArgs& a, OpResult& r, std::string& e) { return jobKind(NAME, a, r, e); }

}  // namespace

const std::vector<OpKind>& scheduleKinds() {
  // One kind per automatic schedule builder of the library.
  static const std::vector<OpKind> kinds = {
      {"send-log-files", "daily schedule that sends log files, named --name", {"locale"}, {"name"}, {}, {"name"},
       EVTASK_SCHEDULE("send-log-files")},
      {"aux-copy", "automatic auxiliary-copy schedule of a storage policy", {"policy", "copy"}, {}, {}, {"policy"},
       EVTASK_SCHEDULE("aux-copy")},
      {"edc", "EDC schedule of a client instance", {"client", "instance", "instance-type", "backupset", "subclient"},
       {}, {"run-now"}, {"client", "instance"}, EVTASK_SCHEDULE("edc")},
      {"easy-backup", "weekly easy-backup schedule of a client", {"apptype", "client"}, {"name", "description"}, {},
       {"apptype", "client"}, EVTASK_SCHEDULE("easy-backup")},
      {"update", "software download (--download) or installation schedule of a client",
       {"client", "day-mask", "first-run", "locale"}, {}, {"download"}, {"client"}, EVTASK_SCHEDULE("update")},
      {"update-job", "immediate software installation for clients (--client) and client groups (--group)",
       {"client", "group", "update-value", "locale"}, {}, {"first-flag", "second-flag"}, {},
       EVTASK_SCHEDULE("update-job")},
  };
  return kinds;
}

const std::vector<OpKind>& jobKinds() {
  static const std::vector<OpKind> kinds = {
      {"synthetic-full", "synthetic full backup of a subclient", {"subclient"}, {}, {"incremental-before"},
       {"subclient"}, EVTASK_JOB("synthetic-full")},
      {"inventory", "inventory of a library", {"library", "inventory-type"}, {}, {}, {"library"},
       EVTASK_JOB("inventory")},
      {"reconstruction", "reconstruction of a deduplication database",
       {"store", "policy", "copy", "substore", "streams"}, {}, {}, {"store"}, EVTASK_JOB("reconstruction")},
      {"partition-move", "move of a deduplication database partition to another media agent",
       {"store", "substore", "source-ma", "dest-ma", "flags"}, {"source-path", "target-path"}, {"config-only"},
       {"store", "substore", "source-ma", "dest-ma"}, EVTASK_JOB("partition-move")},
      {"index-scale", "move of a content index from a source client to a destination client",
       {"index-client", "source-client", "dest-client", "apptype", "backupset", "instance", "subclient"},
       {"core", "source-path", "dest-path"}, {}, {"index-client", "source-client", "dest-client"},
       EVTASK_JOB("index-scale")},
  };
  return kinds;
}

#undef EVTASK_SCHEDULE
#undef EVTASK_JOB

bool isTransientFailure(int code) {
  switch (code) {
    case YM_SESSION_NO_SERVER:
    case YM_SESSION_SEND_FAILED:
    case YM_SESSION_RECEIVE_FAILED:
    case YM_SESSION_CLOSED:
    case YM_SESSION_TIMEOUT:
      return true;
    default:
      return false;
  }
}

int progressOfDetail(const std::string& detail) {
  static const std::string prefix = "Progress ";
  if (detail.size() < prefix.size() + 2 || detail.compare(0, prefix.size(), prefix) != 0 || detail.back() != '%')
    return -1;
  int value = 0;
  for (std::size_t i = prefix.size(); i + 1 < detail.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(detail[i])) || i - prefix.size() >= 3) return -1;
    value = value * 10 + (detail[i] - '0');
  }
  return value <= 100 ? value : -1;
}

void classifyJobStatus(JobState& state) {
  state.final = isFinalJobStatus(state.status, state.success);
}

WaitEnd waitForJob(long long jobId, const JobQuery& query, const WaitOptions& options,
                   const std::function<void(const JobState&)>& onState, JobState& last, int& code,
                   std::string& err) {
  YmClock* clock = YmClock::current();
  const long long start = clock->monotonicMs();
  auto stopped = [&] { return options.stop != nullptr && *options.stop != 0; };
  auto deadlinePassed = [&] { return options.timeoutMs > 0 && clock->monotonicMs() - start >= options.timeoutMs; };
  int failures = 0;
  code = 0;
  for (;;) {
    if (stopped()) return WaitEnd::Interrupted;
    JobState state;
    std::string queryErr;
    int rc = query(jobId, state, queryErr);
    if (rc == 0) {
      failures = 0;
      state.jobId = jobId;
      classifyJobStatus(state);
      last = state;
      if (onState) onState(state);
      if (state.final) return WaitEnd::Finished;
    } else {
      code = rc;
      err = queryErr;
      // Only a connection that failed may work on the next attempt; an
      // answer of the server (no such job, not available) stays the same.
      if (!isTransientFailure(rc) || ++failures >= options.maxFailures) return WaitEnd::QueryFailed;
    }
    // Sleep until the next query in short steps, so that Ctrl-C and the
    // deadline end the wait without a full poll interval's delay.
    unsigned long slept = 0;
    while (slept < options.pollMs) {
      if (stopped()) return WaitEnd::Interrupted;
      if (deadlinePassed()) return WaitEnd::DeadlinePassed;
      unsigned long step = std::min<unsigned long>(100, options.pollMs - slept);
      if (options.timeoutMs > 0) {
        long long left = options.timeoutMs - (clock->monotonicMs() - start);
        if (left > 0 && static_cast<unsigned long long>(left) < step) step = static_cast<unsigned long>(left);
      }
      clock->sleepMs(step);
      slept += step;
    }
    if (stopped()) return WaitEnd::Interrupted;
    if (deadlinePassed()) return WaitEnd::DeadlinePassed;
  }
}

}  // namespace ctl
}  // namespace evtask
