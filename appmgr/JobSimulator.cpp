#include "appmgr/JobSimulator.h"

#include <cmath>

#include "platform/YmClock.h"

namespace evtask {
namespace appmgr {

const char* const JobSimulator::kRunning = "Running";
const char* const JobSimulator::kCompleted = "Completed";
const char* const JobSimulator::kFailed = "Failed";

JobSimulator::JobSimulator(Store& store, double speed, double failureRatio, YmClock* clock, uint32_t seed)
    : m_store(store), m_clock(clock), m_rng(seed) {
  if (!(speed > 0) || !std::isfinite(speed)) speed = 1.0;
  m_durationMs = static_cast<long long>(std::llround(static_cast<double>(kBaseDurationMs) / speed));
  if (m_durationMs < 1) m_durationMs = 1;
  if (!(failureRatio > 0)) failureRatio = 0;  // NaN included
  if (failureRatio > 1) failureRatio = 1;
  m_failureRatio = failureRatio;
}

long long JobSimulator::nowMs() { return (m_clock != nullptr ? m_clock : YmClock::current())->monotonicMs(); }

int64_t JobSimulator::newRequest(const std::string& origin) {
  Query q(m_store, "INSERT INTO job_requests(created_ms, origin) VALUES(?, ?)");
  q.bind(1, nowMs()).bind(2, origin).run();
  return q.lastInsertId();
}

int64_t JobSimulator::startJob(int64_t requestId, uint32_t taskId, uint32_t subTaskId) {
  // Drawn per job so the failing share follows the ratio however jobs are
  // grouped into requests.
  const bool fails = std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < m_failureRatio;
  Query q(m_store,
          "INSERT INTO jobs(request_id, task_id, sub_task_id, status, progress, start_ms, duration_ms, final_status)"
          " VALUES(?, ?, ?, 'Running', 0, ?, ?, ?)");
  if (requestId != 0) {
    q.bind(1, requestId);
  } else {
    q.bindText(1, nullptr);  // a job started outside any request
  }
  q.bind(2, taskId).bind(3, subTaskId).bind(4, nowMs()).bind(5, m_durationMs);
  q.bindText(6, fails ? kFailed : kCompleted).run();
  return q.lastInsertId();
}

void JobSimulator::advance() {
  const long long now = nowMs();
  Query running(m_store, "SELECT job_id, start_ms, duration_ms, final_status FROM jobs WHERE end_ms IS NULL");
  struct Step {
    int64_t id;
    int progress;
    bool done;
    std::string final;
  };
  std::vector<Step> steps;
  while (running.step()) {
    const long long start = running.integer(1), duration = running.integer(2);
    const long long elapsed = now > start ? now - start : 0;
    const bool done = elapsed >= duration;
    const int progress = done ? 100 : static_cast<int>(elapsed * 100 / (duration > 0 ? duration : 1));
    steps.push_back(Step{running.integer(0), progress, done, running.text(3)});
  }
  for (const Step& s : steps) {
    if (s.done) {
      Query q(m_store, "UPDATE jobs SET status = ?, progress = 100, end_ms = ?, detail = ? WHERE job_id = ?");
      q.bind(1, s.final).bind(2, now);
      q.bindText(3, s.final == kFailed ? "The simulated job failed" : "").bind(4, s.id).run();
    } else {
      Query q(m_store, "UPDATE jobs SET progress = ? WHERE job_id = ?");
      q.bind(1, s.progress).bind(2, s.id).run();
    }
  }
}

bool JobSimulator::state(int64_t jobId, JobState& out) {
  advance();
  Query q(m_store,
          "SELECT job_id, IFNULL(request_id, 0), task_id, sub_task_id, status, progress, detail, end_ms IS NOT NULL"
          " FROM jobs WHERE job_id = ?");
  q.bind(1, jobId);
  if (!q.step()) return false;
  out.jobId = q.integer(0);
  out.requestId = q.integer(1);
  out.taskId = static_cast<uint32_t>(q.integer(2));
  out.subTaskId = static_cast<uint32_t>(q.integer(3));
  out.status = q.text(4);
  out.progress = static_cast<int>(q.integer(5));
  out.detail = q.text(6);
  out.final = q.integer(7) != 0;
  return true;
}

}  // namespace appmgr
}  // namespace evtask
