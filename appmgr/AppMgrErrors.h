// Result codes the reference application manager puts into response headers,
// each with a text. Area 0x4A is the server's own; a row that does not exist
// answers YM_DB_NODATA, which callers already read as "no data".
#ifndef EVTASK_APPMGR_APPMGRERRORS_H
#define EVTASK_APPMGR_APPMGRERRORS_H

#include "platform/YmErrors.h"

namespace evtask {
namespace appmgr {

constexpr int kAmNotFound = YM_DB_NODATA;  // task, subtask, job, client or instance unknown
constexpr int kAmBadRequest = 0x4A0001;    // the request is well formed but its fields are not usable
constexpr int kAmUnsupported = 0x4A0002;   // the message type is not served here
constexpr int kAmStoreError = 0x4A0003;    // the database failed; nothing was written
constexpr int kAmMalformed = 0x4A0004;     // the request frame did not decode
constexpr int kAmBusy = 0x4A0005;          // the server is shutting down or at its limits

}  // namespace appmgr
}  // namespace evtask

#endif  // EVTASK_APPMGR_APPMGRERRORS_H
