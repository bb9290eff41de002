// Global parameters of the central server, read and written by name through
// the application manager.
//
// Thread safety: stateless; calls from several threads are independent.
#ifndef EVTASK_PLATFORM_YMGLOBALPARAM_H
#define EVTASK_PLATFORM_YMGLOBALPARAM_H

#include <string>

#include "evtask/export.h"

// The global parameter holding the ids of recorded schedules, comma-separated.
#define CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST "CONTROLHOST_SURVEY_WIA_SCHEDULE_ID_LIST"

class EVTASK_EXPORT YMGlobalParam {
 public:
  YMGlobalParam();
  ~YMGlobalParam();

  // 0 with the value (empty for an unset parameter); else a code. `event`
  // is the caller's opaque context and is not read.
  int get(const std::string& name, std::string& value, void* event);
  // 0 when stored; else a code.
  int set(const std::string& name, const std::string& value, void* event);
  int set(const char* name, const char* value, void* event);

  // The text of the last failure.
  const std::string& lastError() const { return m_err; }

 private:
  std::string m_err;
};

#endif  // EVTASK_PLATFORM_YMGLOBALPARAM_H
