#include "platform/EvDebug.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/YMPlatformInfo.h"

namespace {

struct LogState {
  std::mutex mu;
  bool configured = false;
  int fd = -1;
  int level = 1;
  bool levelOverridden = false;
  EvLogSink* sink = nullptr;
};

LogState& state() {
  static LogState* s = new LogState();  // outlives static destructors that log
  return *s;
}

// Caller holds the lock.
void configureLocked(LogState& s) {
  if (s.fd >= 0) {
    ::close(s.fd);
    s.fd = -1;
  }
  YMPlatformInfo info;
  std::string path;
  if (info.getString("Platform", "LogFile", &path) && !path.empty()) {
    s.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
  }
  if (!s.levelOverridden) {
    unsigned long level = 1;
    info.getNumber("Platform", "LogLevel", &level);
    s.level = static_cast<int>(level);
  }
  s.configured = true;
}

std::string formatText(const char* format, va_list args) {
  if (format == nullptr) return std::string();
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), format, args);
  return std::string(big.data(), static_cast<size_t>(n));
}

std::string formatLine(const EvLogRecord& r) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm tmv;
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &tmv);
  char tag[16];
  if (r.kind == EvLogRecord::kDebug) {
    std::snprintf(tag, sizeof tag, "DBG");
  } else if (r.kind == EvLogRecord::kError) {
    std::snprintf(tag, sizeof tag, "ERR");
  } else {
    std::snprintf(tag, sizeof tag, "L%d", r.level);
  }
  char head[160];
  std::snprintf(head, sizeof head, "%04d/%02d/%02d %02d:%02d:%02d.%03ld %ld %ld %lld %s ",
                tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min,
                tmv.tm_sec, static_cast<long>(tv.tv_usec / 1000), static_cast<long>(getpid()),
                static_cast<long>(syscall(SYS_gettid)), r.jobId, tag);
  return std::string(head) + r.name + ": " + r.text;
}

}  // namespace

EvLogSink::~EvLogSink() = default;

void EvDebug::vlog(EvLogRecord::Kind kind, const char* name, int level, long long jobId,
                   const char* format, va_list args) {
  LogState& s = state();
  EvLogSink* sink;
  int fd;
  {
    std::lock_guard<std::mutex> lock(s.mu);
    if (!s.configured) configureLocked(s);
    if (kind == EvLogRecord::kLevel && level != -1 && level > s.level) return;
    sink = s.sink;
    fd = s.fd;
    if (sink == nullptr && fd < 0) return;
  }
  EvLogRecord record{kind, level, jobId, name ? name : "", formatText(format, args)};
  std::string line = formatLine(record);
  std::lock_guard<std::mutex> lock(s.mu);
  if (s.sink != nullptr) {
    s.sink->write(record, line);
    return;
  }
  if (s.fd >= 0) {
    line.push_back('\n');
    // One write per line on an O_APPEND descriptor keeps lines whole.
    ssize_t off = 0;
    while (off < static_cast<ssize_t>(line.size())) {
      const ssize_t w = ::write(s.fd, line.data() + off, line.size() - static_cast<size_t>(off));
      if (w <= 0) break;
      off += w;
    }
  }
}

void EvDebug::Debug(const char* name, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vlog(EvLogRecord::kDebug, name, 0, 0, format, args);
  va_end(args);
}

void EvDebug::Error(const char* name, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vlog(EvLogRecord::kError, name, -1, 0, format, args);
  va_end(args);
}

void EvDebug::DebugLvl(const char* name, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vlog(EvLogRecord::kLevel, name, level, 0, format, args);
  va_end(args);
}

void EvDebug::DebugLvl(const char* name, int level, long long jobId, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vlog(EvLogRecord::kLevel, name, level, jobId, format, args);
  va_end(args);
}

int EvDebug::getDebugLevel() {
  LogState& s = state();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!s.configured) configureLocked(s);
  return s.level;
}

EvDebug::EvDebug(EvDebugFileInstance* instance) : m_instance(instance) {}

void EvDebug::error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vlog(EvLogRecord::kError, "", -1, 0, format, args);
  va_end(args);
}

void EvDebug::debugLvl(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vlog(EvLogRecord::kLevel, "", level, 0, format, args);
  va_end(args);
}

void EvDebug::setSink(EvLogSink* sink) {
  LogState& s = state();
  std::lock_guard<std::mutex> lock(s.mu);
  s.sink = sink;
}

void EvDebug::reconfigure() {
  LogState& s = state();
  std::lock_guard<std::mutex> lock(s.mu);
  configureLocked(s);
}

void EvDebug::setDebugLevel(int level) {
  LogState& s = state();
  std::lock_guard<std::mutex> lock(s.mu);
  if (!s.configured) configureLocked(s);
  s.level = level;
  s.levelOverridden = true;
}

EvEvent::EvEvent() = default;
EvEvent::EvEvent(const std::string& functionName, const std::string& request)
    : m_function(functionName), m_request(request) {}
EvEvent::~EvEvent() = default;
