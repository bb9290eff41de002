// Logging for evtask.
//
// Every line names the operation that wrote it ("EvTask::lookup") and carries
// the time, the process id, the kernel thread id and a job id (0 when the
// operation has none). Lines go to the destination chosen by configuration:
// the file named by "LogFile" in section "Platform", or nowhere when it is
// not set. DebugLvl lines are written only when their level is at most the
// configured "LogLevel" (default 1); level -1 marks failures and is always
// written, as are Debug and Error lines. Line form:
//
//   2026/12/06 12:00:00.123 <pid> <tid> <jobId> <tag> <name>: <text>
//
// where <tag> is DBG for Debug, ERR for Error and L<n> for DebugLvl.
//
// A sink installed with EvDebug::setSink receives every line that passes the
// level filter instead of the file (tests capture lines this way).
//
// Thread safety: all calls may be made from any thread; each line is
// written whole with one write, so lines of concurrent threads never mix.
#ifndef EVTASK_PLATFORM_EVDEBUG_H
#define EVTASK_PLATFORM_EVDEBUG_H

#include <cstdarg>
#include <string>

#include "evtask/export.h"

struct EvLogRecord {
  enum Kind { kDebug, kError, kLevel };
  Kind kind;
  int level;          // DebugLvl level; 0 for Debug, -1 for Error
  long long jobId;    // 0 when the line has none
  std::string name;   // the operation's log name
  std::string text;   // the formatted message
};

class EVTASK_EXPORT EvLogSink {
 public:
  virtual ~EvLogSink();
  // Receives one line. `line` is the full formatted line without newline.
  virtual void write(const EvLogRecord& record, const std::string& line) = 0;
};

class EvDebugFileInstance;

class EVTASK_EXPORT EvDebug {
 public:
  static void Debug(const char* name, const char* format, ...) __attribute__((format(printf, 2, 3)));
  static void Error(const char* name, const char* format, ...) __attribute__((format(printf, 2, 3)));
  static void DebugLvl(const char* name, int level, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  static void DebugLvl(const char* name, int level, long long jobId, const char* format, ...)
      __attribute__((format(printf, 4, 5)));

  // The configured detail level.
  static int getDebugLevel();

  // A logger bound to a file instance; with null it writes to the process
  // destination under an empty log name.
  explicit EvDebug(EvDebugFileInstance* instance);
  void error(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void debugLvl(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

  // Installs a sink that receives lines in place of the configured file;
  // null restores the file. The caller keeps ownership and must keep the
  // sink alive until it is replaced.
  static void setSink(EvLogSink* sink);
  // Re-reads "LogFile" and "LogLevel" from the configuration store.
  static void reconfigure();
  // Overrides the configured level (for tests and host programs).
  static void setDebugLevel(int level);

  static void vlog(EvLogRecord::Kind kind, const char* name, int level, long long jobId,
                   const char* format, va_list args);

 private:
  EvDebugFileInstance* m_instance;
};

// The logging context of one operation: built at its start and destroyed
// at its end; the operation logs through it under its function name.
class EVTASK_EXPORT EvEvent {
 public:
  EvEvent();
  explicit EvEvent(const std::string& functionName, const std::string& request = std::string());
  ~EvEvent();

  const std::string& getFunctionName() const { return m_function; }
  const std::string& getRequest() const { return m_request; }

 private:
  std::string m_function;
  std::string m_request;
};

#endif  // EVTASK_PLATFORM_EVDEBUG_H
