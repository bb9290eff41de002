// One request/response exchange with the application manager.
//
// run() fills the request header, sends the request, receives the response
// (whose type code is the request's plus one) and checks the response
// header; on a failed check the server's error text goes into `err`, and
// for a header that is no response header at all (bad magic number) a text
// saying so. The
// session lives as long as the AppMgrExchange object, so the texts and arrays
// of the response stay valid until the object is destroyed: unpack them
// before that.
//
// Thread safety: one object per exchange and thread.
#ifndef EVTASK_PLATFORM_APPMGREXCHANGE_H
#define EVTASK_PLATFORM_APPMGREXCHANGE_H

#include <cstdint>
#include <string>

#include "platform/ClientSessionWrapper.h"
#include "platform/NetMessage.h"
#include "platform/YmErrors.h"

namespace evtask {

class AppMgrExchange {
 public:
  // The application manager's service number.
  static const unsigned long kService = 0x1A000000;
  // The error text of a response whose header has a bad magic number.
  static constexpr const char* kBadResponseMagicText =
      "The application manager's response has a bad header (wrong magic number)";

  AppMgrExchange() : m_msg(2), m_session(kService, false) {}

  // Returns 0, or the code of the first failing step (send, receive, header
  // check). `req` and `resp` are structures starting with AppMgrReqHdr and
  // AppMgrRespHdr; `resp` is expected zeroed.
  template <class Req, class Resp>
  int run(uint32_t requestType, Req& req, Resp& resp, std::string& err) {
    m_msg.initRequestHeader(req.header);
    int rc = m_session.send(requestType, &req, sizeof req, err);
    if (rc != 0) return rc;
    rc = m_session.receive(requestType + 1, &resp, sizeof resp, err);
    if (rc != 0) return rc;
    if (resp.header.magic != kAppMgrRespMagic) {
      // Not a response of the application manager: its error text field
      // means nothing, so say what went wrong instead.
      err = kBadResponseMagicText;
      return YM_SESSION_PROTOCOL_ERROR;
    }
    rc = m_msg.verifyResponseHeader(resp.header);
    if (rc != 0) err = resp.header.errorText != nullptr ? resp.header.errorText : "";
    return rc;
  }

  AppMgrExchange(const AppMgrExchange&) = delete;
  AppMgrExchange& operator=(const AppMgrExchange&) = delete;

 private:
  NetMessage m_msg;
  ClientSessionWrapper m_session;
};

}  // namespace evtask

#endif  // EVTASK_PLATFORM_APPMGREXCHANGE_H
