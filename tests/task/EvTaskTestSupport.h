// Shared set-up of the task object tests: a scripted application manager, a
// fresh platform singleton and an empty shared default cache per test.
#ifndef EVTASK_TESTS_TASK_EVTASKTESTSUPPORT_H
#define EVTASK_TESTS_TASK_EVTASKTESTSUPPORT_H

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/YMPlatformInfo.h"
#include "service/Platform.h"
#include "service/TaskWireStructs.h"
#include "support/FakeAppMgr.h"
#include "support/TestSupport.h"
#include "task/EvTask.h"

namespace evtask {
namespace test {

class EvTaskTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    TmTaskOptions::resetDefaultsForTesting();
    TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
    YMPlatformInfo::clearStore();
  }
  // Selects the platform type read by the next singleton.
  static void usePlatformType(const char* type) {
    YMPlatformInfo::setValue("Platform", "PlatformType", type);
    TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
  }
  ScopedFakeAppMgr fake;
};

struct Opt {
  unsigned long long id;
  int type;
  std::string value;
};

// Builds a response of option or file records and hands it to `use`.
template <class Rec, class Resp, class Use>
auto withRecords(const std::vector<Opt>& opts, Rec* Resp::*field, Use use) {
  std::vector<Rec> recs(opts.size());
  for (size_t i = 0; i < opts.size(); ++i) {
    recs[i].optionId = opts[i].id;
    recs[i].type = opts[i].type;
    recs[i].value = const_cast<char*>(opts[i].value.c_str());
  }
  Resp resp{};
  resp.count = static_cast<uint32_t>(recs.size());
  resp.*field = recs.empty() ? nullptr : recs.data();
  return use(static_cast<const Resp&>(resp));
}
// A response frame of option records (for handlers).
inline Frame optionsFrame(uint32_t requestType, const std::vector<Opt>& opts) {
  return withRecords(opts, &GenericGetOptionsResp::options,
                     [&](const GenericGetOptionsResp& r) { return FakeAppMgr::encodeResponse(requestType, r); });
}
// Queues one response of option records: the task's options or the defaults.
inline void respondOptions(FakeAppMgr& fake, uint32_t requestType, const std::vector<Opt>& opts) {
  withRecords(opts, &GenericGetOptionsResp::options,
              [&](const GenericGetOptionsResp& r) { fake.respond(requestType, r); });
}
inline void respondFiles(FakeAppMgr& fake, const std::vector<Opt>& files) {
  withRecords(files, &GenericGetTaskFilesResp::files,
              [&](const GenericGetTaskFilesResp& r) { fake.respond(msg::kGetFiles, r); });
}

// The option records of a recorded write.
inline std::vector<Opt> writtenOptions(const RecordedRequest& r) {
  const SetTaskOptionsReq& req = r.as<SetTaskOptionsReq>();
  std::vector<Opt> out;
  for (uint32_t i = 0; i < req.count; ++i) {
    out.push_back({req.options[i].optionId, req.options[i].type, req.options[i].value ? req.options[i].value : ""});
  }
  return out;
}

// The values separated by spaces (for side-effect-free arguments only: C++
// leaves their order of evaluation open).
template <class... T>
std::string joined(const T&... values) {
  std::ostringstream s;
  ((s << values << ' '), ...);
  const std::string out = s.str();
  return out.substr(0, out.empty() ? 0 : out.size() - 1);
}

inline size_t countOf(FakeAppMgr& fake, uint32_t type) {
  size_t n = 0;
  for (uint32_t t : fake.requestTypes()) n += (t == type) ? 1 : 0;
  return n;
}

// Every option write recorded so far as "[id:type:value]", in request order;
// a write of more than one option fails the test.
inline std::string optionWrites(FakeAppMgr& fake) {
  std::string out;
  for (const RecordedRequest& r : fake.requests()) {
    if (r.type != msg::kSetOptions) continue;
    const std::vector<Opt> opts = writtenOptions(r);
    EXPECT_EQ(1u, opts.size()) << "options in one write";
    for (const Opt& o : opts) out += "[" + std::to_string(o.id) + ":" + std::to_string(o.type) + ":" + o.value + "]";
  }
  return out;
}

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_TASK_EVTASKTESTSUPPORT_H
