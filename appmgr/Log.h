// The server's log: lines "YYYY-MM-DD HH:MM:SS LEVEL text" to stderr or a
// file, those above the configured level dropped.
// Thread safety: write() may be called from any thread.
#ifndef EVTASK_APPMGR_LOG_H
#define EVTASK_APPMGR_LOG_H

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace evtask {
namespace appmgr {

class Log {
 public:
  enum Level { kError = 0, kWarning = 1, kInfo = 2, kDebug = 3 };

  Log() = default;
  ~Log();
  // Opens `path` for appending (empty: stderr). false with `err` on failure.
  bool open(const std::string& path, int level, std::string& err);
  void setLevel(int level) { m_level = level; }
  bool enabled(int level) const { return level <= m_level; }
  void write(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

 private:
  std::mutex m_mu;
  FILE* m_file = nullptr;
  bool m_own = false;
  int m_level = kInfo;
};

}  // namespace appmgr
}  // namespace evtask

#endif  // EVTASK_APPMGR_LOG_H
