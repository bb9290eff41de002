// Reply texts of the job manager and task manager for the schedule tests,
// and a tuple of values for comparing several fields of a sent structure.
#ifndef EVTASK_TESTS_SCHEDULE_SCHEDULETESTXML_H
#define EVTASK_TESTS_SCHEDULE_SCHEDULETESTXML_H

#include <string>
#include <tuple>
#include <vector>

#include "schedule/XmlMessages.h"

namespace evtask {
namespace test {

// By value, so that fields of packed structures can be passed.
template <class... T>
std::tuple<T...> vals(T... v) {
  return std::tuple<T...>(v...);
}

struct JobRow {
  long long id;
  const char* status;
  const char* detail;
};

inline std::string jobList(const std::vector<JobRow>& rows) {
  JobManager::JobListResponse resp;
  std::vector<JobManager::Job> jobs;
  for (const JobRow& r : rows) {
    JobManager::Job job;
    CNMessageBase* s = job.getObjectAccessor(1, 0, true, false, 21, 30);
    s->setint64(1, 0, r.id);
    s->setstring(10, 0, r.status);
    s->setstring(19, 0, r.detail);
    jobs.push_back(job);
  }
  resp.setlistobject(1, 0, jobs);
  std::string xml;
  return resp.serialize(xml, false) == 0 ? xml : "";
}

inline std::string createdJobs(const std::vector<std::string>& ids) {
  TMMsg::CreateTaskResp resp;
  resp.setliststring(2, 0, ids);
  std::string xml;
  return resp.serialize(xml, false) == 0 ? xml : "";
}

inline std::string refusal(int code, const char* message) {
  TMMsg::GenericResp resp;
  if (code != 0) resp.setint64(1, 0, code);
  if (message != nullptr) resp.setstring(2, 0, message);
  std::string xml;
  return resp.serialize(xml, false) == 0 ? xml : "";
}

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_SCHEDULE_SCHEDULETESTXML_H
