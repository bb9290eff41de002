// Log capture and a fake clock for tests.
#ifndef EVTASK_TESTS_SUPPORT_TESTSUPPORT_H
#define EVTASK_TESTS_SUPPORT_TESTSUPPORT_H

#include <mutex>
#include <string>
#include <vector>

#include "platform/EvDebug.h"
#include "platform/YmClock.h"

namespace evtask {
namespace test {

// Captures every log line written while it lives, at the given level.
class LogCapture : public EvLogSink {
 public:
  explicit LogCapture(int level = 10);
  ~LogCapture() override;

  void write(const EvLogRecord& record, const std::string& line) override;

  std::vector<EvLogRecord> records() const;
  // "name: text" of every line, in order.
  std::vector<std::string> lines() const;
  bool contains(const std::string& name, const std::string& text) const;
  void clear();

 private:
  mutable std::mutex m_mu;
  std::vector<EvLogRecord> m_records;
};

// A clock whose time moves only when the code under test sleeps.
class FakeClock : public YmClock {
 public:
  FakeClock();
  ~FakeClock() override;
  long long monotonicMs() override;
  time_t now() override;
  void sleepMs(unsigned long ms) override;
  std::vector<unsigned long> sleeps() const;

 private:
  mutable std::mutex m_mu;
  long long m_ms = 1000000;
  std::vector<unsigned long> m_sleeps;
};

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_SUPPORT_TESTSUPPORT_H
