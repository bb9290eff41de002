#include "support/TestSupport.h"

namespace evtask {
namespace test {

LogCapture::LogCapture(int level) {
  EvDebug::setDebugLevel(level);
  EvDebug::setSink(this);
}

LogCapture::~LogCapture() {
  EvDebug::setSink(nullptr);
  EvDebug::setDebugLevel(1);
}

void LogCapture::write(const EvLogRecord& record, const std::string&) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_records.push_back(record);
}

std::vector<EvLogRecord> LogCapture::records() const {
  std::lock_guard<std::mutex> lock(m_mu);
  return m_records;
}

std::vector<std::string> LogCapture::lines() const {
  std::lock_guard<std::mutex> lock(m_mu);
  std::vector<std::string> out;
  for (const EvLogRecord& r : m_records) out.push_back(r.name + ": " + r.text);
  return out;
}

bool LogCapture::contains(const std::string& name, const std::string& text) const {
  std::lock_guard<std::mutex> lock(m_mu);
  for (const EvLogRecord& r : m_records) {
    if (r.name == name && r.text == text) return true;
  }
  return false;
}

void LogCapture::clear() {
  std::lock_guard<std::mutex> lock(m_mu);
  m_records.clear();
}

FakeClock::FakeClock() { YmClock::set(this); }
FakeClock::~FakeClock() { YmClock::set(nullptr); }

long long FakeClock::monotonicMs() {
  std::lock_guard<std::mutex> lock(m_mu);
  return m_ms;
}

time_t FakeClock::now() {
  std::lock_guard<std::mutex> lock(m_mu);
  return static_cast<time_t>(m_ms / 1000);
}

void FakeClock::sleepMs(unsigned long ms) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_sleeps.push_back(ms);
  m_ms += static_cast<long long>(ms);
}

std::vector<unsigned long> FakeClock::sleeps() const {
  std::lock_guard<std::mutex> lock(m_mu);
  return m_sleeps;
}

}  // namespace test
}  // namespace evtask
