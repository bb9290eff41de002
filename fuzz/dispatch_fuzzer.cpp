// The reference server's dispatch on untrusted request frames, over a
// scratch SQLite store in memory (one per fuzzing process, loaded with the
// demo catalogue). Every input is answered or refused without a crash or a
// sanitizer report; an answer is a sound frame of the request's response
// type, and bytes that are not a request of this protocol get no answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "FuzzSupport.h"
#include "appmgr/AppManager.h"
#include "platform/YmClock.h"
#include "support/WireSamples.h"

using namespace evtask;

namespace {

// Time stands still, so an input does the same on every run (the job
// simulator moves jobs by the clock).
class StillClock : public YmClock {
 public:
  long long monotonicMs() override { return 1000000; }
  time_t now() override { return 1700000000; }
  void sleepMs(unsigned long) override {}
};

appmgr::AppManager* openServer(YmClock& clock) {
  auto* a = new appmgr::AppManager();
  appmgr::AppManagerOptions o;
  o.dbPath = ":memory:";
  o.initDemo = true;
  o.clock = &clock;
  std::string err;
  if (a->open(o, err) != 0) fuzz::violated("the scratch store does not open", err);
  return a;
}

// The scratch store keeps what the inputs write (tasks, jobs, options), so a
// long run would grow without bound: a fresh store every kInputsPerStore
// inputs keeps its memory bounded.
constexpr unsigned kInputsPerStore = 20000;

appmgr::AppManager& server() {
  static StillClock clock;
  static appmgr::AppManager* app = nullptr;
  static unsigned served = 0;
  if (app == nullptr) {
    YmClock::set(&clock);
    test::registerAllCatalogues();
  }
  if (app == nullptr || ++served % kInputsPerStore == 0) {
    delete app;
    app = openServer(clock);
  }
  return *app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  appmgr::AppManager& app = server();
  Frame response;
  const bool answered = app.answer(data, size, response);
  if (!answered) {
    fuzz::require(response.empty(), "a refused request has a response");
    return 0;
  }
  uint32_t requestType = 0, responseType = 0;
  std::string err;
  fuzz::require(PeekFrameType(data, size, &requestType, &err) == 0, "an answered request has no type", err);
  fuzz::require(PeekFrameType(response.data(), response.size(), &responseType, &err) == 0,
                "a response has no type", err);
  fuzz::require(responseType == requestType + 1, "a response of another type");
  DecodedFrame decoded;
  WireArena arena;
  fuzz::require(DecodeAnyFrame(response.data(), response.size(), &decoded, &arena, &err) == 0,
                "a response does not decode", err);
  fuzz::touchDecoded(decoded.layout, reinterpret_cast<const uint8_t*>(decoded.data()));
  return 0;
}
