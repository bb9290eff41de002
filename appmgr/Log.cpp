#include "appmgr/Log.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace evtask {
namespace appmgr {

Log::~Log() {
  if (m_own && m_file != nullptr) std::fclose(m_file);
}

bool Log::open(const std::string& path, int level, std::string& err) {
  m_level = level;
  if (path.empty()) return true;
  FILE* f = std::fopen(path.c_str(), "a");
  if (f == nullptr) {
    err = "cannot open log file " + path + ": " + std::strerror(errno);
    return false;
  }
  std::lock_guard<std::mutex> lock(m_mu);
  if (m_own && m_file != nullptr) std::fclose(m_file);
  m_file = f;
  m_own = true;
  return true;
}

void Log::write(int level, const char* format, ...) {
  if (!enabled(level)) return;
  static const char* const kNames[] = {"ERROR", "WARNING", "INFO", "DEBUG"};
  char stamp[32];
  const time_t now = std::time(nullptr);
  tm parts;
  gmtime_r(&now, &parts);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
  char text[1024];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  std::lock_guard<std::mutex> lock(m_mu);
  FILE* out = m_file != nullptr ? m_file : stderr;
  std::fprintf(out, "%s %s %s\n", stamp, kNames[level < 0 ? 0 : level > 3 ? 3 : level], text);
  std::fflush(out);
}

}  // namespace appmgr
}  // namespace evtask
