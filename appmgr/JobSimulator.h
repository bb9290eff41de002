// Moves simulated jobs through their states on the platform clock.
//
// A job starts "Running" at progress 0 and ends, after its duration, in one
// of the final status texts the library recognises: "Completed", or "Failed"
// for the share of jobs given by the failure ratio. The duration is
// kBaseDurationMs divided by the speed factor. Nothing runs in the background:
// advance() brings every unfinished job up to the clock's time, and every
// reader of job rows calls it first, so a job observed twice at the same
// clock reading looks the same and tests drive time with a fake clock.
//
// Thread safety: every call needs the store's mutex held and runs inside the
// caller's transaction.
#ifndef EVTASK_APPMGR_JOBSIMULATOR_H
#define EVTASK_APPMGR_JOBSIMULATOR_H

#include <cstdint>
#include <random>
#include <string>

#include "appmgr/Store.h"

class YmClock;

namespace evtask {
namespace appmgr {

struct JobState {
  int64_t jobId = 0;
  int64_t requestId = 0;
  uint32_t taskId = 0;
  uint32_t subTaskId = 0;
  std::string status;  // "Running" or a final status text
  int progress = 0;    // percent
  std::string detail;
  bool final = false;
};

class JobSimulator {
 public:
  static constexpr long long kBaseDurationMs = 10000;
  static const char* const kRunning;
  static const char* const kCompleted;
  static const char* const kFailed;

  // `clock` is not owned; null means the platform clock of the moment.
  // `speed` above 0 (other values are taken as 1); `failureRatio` is clamped
  // to [0, 1]. `seed` fixes which jobs fail.
  JobSimulator(Store& store, double speed, double failureRatio, YmClock* clock = nullptr, uint32_t seed = 1);

  // A new job request (the unit a task creation, run or operation makes);
  // returns its id.
  int64_t newRequest(const std::string& origin);
  // Starts one job of `requestId` (0: of no request) for the task and
  // subtask; returns its id.
  int64_t startJob(int64_t requestId, uint32_t taskId, uint32_t subTaskId);
  // Brings every unfinished job up to the current time.
  void advance();
  // The job's state after advance(); false when there is no such job.
  bool state(int64_t jobId, JobState& out);

  long long durationMs() const { return m_durationMs; }

 private:
  long long nowMs();

  Store& m_store;
  YmClock* m_clock;
  long long m_durationMs;
  double m_failureRatio;
  std::mt19937 m_rng;
};

}  // namespace appmgr
}  // namespace evtask

#endif  // EVTASK_APPMGR_JOBSIMULATOR_H
