// Socket transports to an application manager in another process:
//   "unix:PATH"       a Unix domain socket (the server checks our uid)
//   "tcp:HOST:PORT"   TCP with TLS 1.3 over a pre-shared key, read from the
//                     key file named by "AppMgrKeyFile" in [Platform]
// The library registers both when the first session opens, so a program
// that only names the endpoint in its configuration reaches the server.
//
// Connections are pooled per endpoint: a session takes an idle, already
// authenticated connection when there is one, and gives it back when it
// ends after complete exchanges. A connection that saw any error, or whose
// response was not read, is closed instead. Nothing is ever sent twice: a
// failure after the request may have left is reported, not retried.
//
// Errors by category (code, then the start of the text):
//   YM_SESSION_NO_SERVER     "Cannot connect to the application manager at ..."
//   YM_SESSION_AUTH_REFUSED  "... refused authentication" / no usable key
//   YM_SESSION_CLOSED        "Server closed the connection" (also mid-frame)
//   YM_SESSION_TIMEOUT       "Timed out ..." (a silent server ends here)
//   YM_SESSION_PROTOCOL_ERROR  a response that is not a frame, or too large
//   YM_SESSION_SEND_FAILED / YM_SESSION_RECEIVE_FAILED  other socket errors
//
// Timeouts, in [Platform]: "ConnectTimeoutMs" (5000), "IoTimeoutMs" (30000,
// for each send and each receive), "PoolIdleMs" (20000, how long an idle
// connection is kept), "PoolMaxIdle" (8 per endpoint). They are read when a
// connection is made.
//
// Thread safety: the pool is process-wide and locked; a transport object is
// used by one session on one thread. After fork() the child starts with an
// empty pool.
#ifndef EVTASK_PLATFORM_SOCKETTRANSPORT_H
#define EVTASK_PLATFORM_SOCKETTRANSPORT_H

#include <cstdint>
#include <memory>
#include <string>

#include "platform/AppMgrTransport.h"

namespace evtask {

// Registers the "unix" and "tcp" factories (idempotent, thread-safe).
void registerSocketTransports();

// Opens a transport to `endpoint` (pooled connection or a new one).
std::unique_ptr<AppMgrTransport> openSocketTransport(const std::string& endpoint, int& rc, std::string& err);

struct SocketPoolStats {
  uint64_t connected = 0;  // connections made
  uint64_t reused = 0;     // sessions served by a pooled connection
  uint64_t discarded = 0;  // pooled connections found closed or too old
  size_t idle = 0;         // connections idle in the pool now
};
SocketPoolStats socketPoolStats();
// Closes every idle connection.
void drainSocketPool();

}  // namespace evtask

#endif  // EVTASK_PLATFORM_SOCKETTRANSPORT_H
