#include "platform/YmClock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class RealClock : public YmClock {
 public:
  long long monotonicMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  time_t now() override { return std::time(nullptr); }
  void sleepMs(unsigned long ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

RealClock g_real;
std::atomic<YmClock*> g_current{nullptr};

}  // namespace

YmClock::~YmClock() = default;

YmClock* YmClock::current() {
  YmClock* c = g_current.load();
  return c != nullptr ? c : &g_real;
}

void YmClock::set(YmClock* clock) { g_current.store(clock); }

void YmSleep(unsigned long ms) { YmClock::current()->sleepMs(ms); }
