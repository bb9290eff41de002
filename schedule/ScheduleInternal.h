// Helpers shared by the schedule and job operations (not exported).
#ifndef EVTASK_SCHEDULE_SCHEDULEINTERNAL_H
#define EVTASK_SCHEDULE_SCHEDULEINTERNAL_H

#include <list>
#include <string>

#include "schedule/XmlMessages.h"

namespace evtask {
namespace sched {

// The nested message at `tag`, created as (family, classNo) when absent.
inline CNMessageBase& child(CNMessageBase& m, uint16_t tag, int family, int classNo) {
  CNMessageBase* c = m.getObjectAccessor(tag, 0, true, false, family, classNo);
  if (c == nullptr) c = m.getObjectAccessor(tag, 0, true, true, family, classNo);
  return *c;
}
inline CNMessageBase& child(CNMessageBase& m, uint16_t tag, int classNo) {
  return child(m, tag, TMMsg::kFamily, classNo);
}
inline void seti(CNMessageBase& m, uint16_t tag, long long value) { m.setint64(tag, 0, value); }
// The integer at `tag`, or `absent` when it is not set or not an integer.
inline long long geti(const CNMessageBase& m, uint16_t tag, long long absent = 0) {
  long long v = absent;
  return m.getint64(tag, 0, v) == 0 ? v : absent;
}

// Reads the reply text of a task creation. 0 for a TMMsg::CreateTaskResp or
// a TMMsg::GenericResp without an error code; the code of a refusal
// (GenericResp with a code) with its message in errorText; a YM_XML_* code
// with a text in errorText when the text is missing, malformed or of
// another class.
int readCreateReply(const std::string& xml, std::string& errorText);

// Strict decimal reading of a 64-bit id: digits only, optional '-', in
// range. False for anything else.
bool parseDecimalId(const std::string& text, long long& value);

}  // namespace sched
}  // namespace evtask

#endif  // EVTASK_SCHEDULE_SCHEDULEINTERNAL_H
