// Transports that carry frames between a client session and the
// application manager. Every transport carries the same encoded bytes.
//
// The transport of a session is chosen by "AppMgrEndpoint" in section
// "Platform" of the configuration store:
//   "embedded" (default)  the in-process handler: the one registered with
//                         setInProcessHandler, else the one made by the
//                         embedded provider (the reference server), if any
//   "unix:PATH", "tcp:HOST:PORT"
//                         the factory registered for the scheme
#ifndef EVTASK_PLATFORM_APPMGRTRANSPORT_H
#define EVTASK_PLATFORM_APPMGRTRANSPORT_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "evtask/export.h"

namespace evtask {

using Frame = std::vector<uint8_t>;

// One connection: a request frame out, a response frame back.
class EVTASK_EXPORT AppMgrTransport {
 public:
  virtual ~AppMgrTransport();
  // 0 when the frame was sent; else a YM_SESSION_* code and a text.
  virtual int send(const Frame& frame, std::string& err) = 0;
  // 0 with the response frame; else a YM_SESSION_* code and a text.
  virtual int receive(Frame& frame, std::string& err) = 0;
  // Gives a received frame's storage back once it is decoded, so the next
  // receive can reuse it. The default drops it.
  virtual void recycle(Frame& frame);
};

// An application manager living in the same process. handleFrame may be
// called from several threads at once and must be safe for that.
class EVTASK_EXPORT InProcessHandler {
 public:
  virtual ~InProcessHandler();
  // Answers one request frame with one response frame.
  virtual void handleFrame(const Frame& request, Frame& response) = 0;
  // Hooks around the exchange; a non-zero result fails the session's send
  // (before handleFrame) or receive (after it). onReceive may also alter the
  // response frame before the session decodes it.
  virtual int onSend(const Frame& request, std::string& err);
  virtual int onReceive(Frame& response, std::string& err);
};

// Registers the handler that "embedded" sessions use (null to remove it).
EVTASK_EXPORT void setInProcessHandler(std::shared_ptr<InProcessHandler> handler);
EVTASK_EXPORT std::shared_ptr<InProcessHandler> getInProcessHandler();

// Provider of the embedded reference server, asked once when an "embedded"
// session opens with no handler registered.
using EmbeddedProvider = std::function<std::shared_ptr<InProcessHandler>()>;
EVTASK_EXPORT void setEmbeddedProvider(EmbeddedProvider provider);

// Factory of a socket transport for an endpoint ("unix:/path", "tcp:h:p").
using TransportFactory =
    std::function<std::unique_ptr<AppMgrTransport>(const std::string& endpoint, int& rc, std::string& err)>;
EVTASK_EXPORT void registerTransportFactory(const std::string& scheme, TransportFactory factory);

// Opens the transport that configuration selects. Returns null with a code
// in `rc` and a text in `err` when none can be opened.
EVTASK_EXPORT std::unique_ptr<AppMgrTransport> openAppMgrTransport(int& rc, std::string& err);

}  // namespace evtask

#endif  // EVTASK_PLATFORM_APPMGRTRANSPORT_H
