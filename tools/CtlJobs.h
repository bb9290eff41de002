// Schedule and job operations of evtaskctl, in plain types, and the job
// wait loop.
//
// The operations are the library's schedule builders, immediate jobs,
// schedule queries and job list, reached through one EvTask each.
//
// Thread safety: the operations use a task object of their own per call;
// waitForJob runs on the caller's thread.
#ifndef EVTASK_TOOLS_CTLJOBS_H
#define EVTASK_TOOLS_CTLJOBS_H

#include <csignal>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "records/TaskRecords.h"

namespace evtask {
namespace ctl {

// Named integer and text arguments of a schedule or job request, as given
// on the command line ("--client 2" becomes ints["client"] = 2).
struct OpArgs {
  unsigned long userId = 1;
  std::map<std::string, long long> ints;
  std::map<std::string, std::string> texts;
  long long i(const std::string& name, long long fallback = 0) const;
  std::string t(const std::string& name) const;
};

// What a schedule builder or immediate job reports back: the id of the
// created task when the builder gives one (0 otherwise) and the ids of the
// jobs it started (the library hands them out for some kinds only).
struct OpResult {
  long long taskId = 0;
  std::list<long long> jobIds;
};

// One kind of "schedule create" or "job run": its name, what it does, the
// integer and text arguments it takes (those listed in `required` must be
// given) and the call that performs it.
struct OpKind {
  std::string name;
  std::string help;
  std::vector<std::string> intArgs;
  std::vector<std::string> textArgs;
  std::vector<std::string> flagArgs;  // on/off switches, read as ints 0 or 1
  std::vector<std::string> required;
  // 0 on success; else a code with its text in `err`.
  std::function<int(const OpArgs&, OpResult& result, std::string& err)> perform;
};

// The builders behind "schedule create" and the immediate jobs behind
// "job run", in the order --help lists them.
const std::vector<OpKind>& scheduleKinds();
const std::vector<OpKind>& jobKinds();

// The calls behind the kinds, by kind name (CtlSchedule.cpp). 0 or a code with its text in `err`.
int performSchedule(const std::string& kind, const OpArgs& args, OpResult& result, std::string& err);
int performJob(const std::string& kind, const OpArgs& args, OpResult& result, std::string& err);

// The automatic and update schedules that apply to a client.
struct ClientSchedules {
  std::vector<_AutomaticTaskInfo> automatic;
  std::vector<_AutomaticTaskInfo> update;
};
int listSchedules(int clientId, ClientSchedules& out, std::string& err);

// One look at a job.
struct JobState {
  long long jobId = 0;
  std::string status;    // the server's status text ("Running", "Completed", ...)
  std::string detail;    // the server's status detail, may be empty
  int percent = -1;      // progress 0..100, -1 when the server gives none
  bool final = false;    // the status ends the job
  bool success = false;  // a final status that counts as success
};
// The percentage of a status detail of the form "Progress N%" (N 0..100),
// as the application manager reports a running job; -1 for any other text.
int progressOfDetail(const std::string& detail);
// Sets `final` and `success` from the status text: the final texts are
// compared without regard to case; any other text means the job goes on.
void classifyJobStatus(JobState& state);
// Queries the server for the job's current state, with the percentage
// read from the status detail.
int queryJob(long long jobId, JobState& state, std::string& err);

// True for a failure of the connection to the server, which a later
// attempt may not meet again.
bool isTransientFailure(int code);

// How waitForJob ends.
enum class WaitEnd { Finished, DeadlinePassed, Interrupted, QueryFailed };

struct WaitOptions {
  // Overall deadline in milliseconds from the start; 0 waits without limit.
  long long timeoutMs = 0;
  // Time between two queries.
  unsigned long pollMs = 1000;
  // Consecutive failed queries that end the wait (the last code is kept).
  // Only transient failures (isTransientFailure) are retried.
  int maxFailures = 6;
  // Set asynchronously (by a SIGINT handler) to stop waiting; may be null.
  const volatile std::sig_atomic_t* stop = nullptr;
};

// Polls `query` until the job is final, the deadline passes, `stop` is set
// or maxFailures queries in a row failed. Time and sleep go through the
// platform clock (YmClock), in steps of at most 100 ms so that a stop
// request is seen at once. `onState` sees every successful query.
// `last` holds the last state read; `code`/`err` the last failure.
using JobQuery = std::function<int(long long jobId, JobState& state, std::string& err)>;
WaitEnd waitForJob(long long jobId, const JobQuery& query, const WaitOptions& options,
                   const std::function<void(const JobState&)>& onState, JobState& last, int& code,
                   std::string& err);

}  // namespace ctl
}  // namespace evtask

#endif  // EVTASK_TOOLS_CTLJOBS_H
