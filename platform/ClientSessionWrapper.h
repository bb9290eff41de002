// A client session to the application manager: one per operation.
//
// send() encodes a catalogued structure, with every text and array it
// references, into a frame and hands it to the transport; receive() takes
// the response frame, checks it completely and fills the zeroed response
// structure. Texts and arrays of a received structure belong to the session
// and stay valid until the session is destroyed.
//
// Thread safety: a session is used by one thread; separate sessions are
// independent.
#ifndef EVTASK_PLATFORM_CLIENTSESSIONWRAPPER_H
#define EVTASK_PLATFORM_CLIENTSESSIONWRAPPER_H

#include <memory>
#include <string>

#include "evtask/export.h"
#include "platform/AppMgrTransport.h"
#include "platform/FrameCodec.h"

class EVTASK_EXPORT ClientSessionWrapper {
 public:
  // `service` names the server component (0x1A000000 for the application
  // manager). The transport is opened here; a failure to open it is
  // reported by the first send.
  ClientSessionWrapper(unsigned long service, bool flag);
  ~ClientSessionWrapper();

  // 0 when sent; else a code with its text in `err`.
  int send(unsigned long type, void* data, unsigned long size, std::string& err);
  // 0 with `data` filled; else a code with its text in `err`, and `data`
  // unchanged.
  int receive(unsigned long type, void* data, unsigned long size, std::string& err);

  unsigned long getService() const { return m_service; }

  ClientSessionWrapper(const ClientSessionWrapper&) = delete;
  ClientSessionWrapper& operator=(const ClientSessionWrapper&) = delete;

 private:
  unsigned long m_service;
  bool m_flag;
  std::unique_ptr<evtask::AppMgrTransport> m_transport;
  int m_openRc = 0;
  std::string m_openErr;
  bool m_sent = false;
  evtask::WireArena m_arena;
};

#endif  // EVTASK_PLATFORM_CLIENTSESSIONWRAPPER_H
