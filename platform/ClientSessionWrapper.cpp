#include "platform/ClientSessionWrapper.h"

#include "platform/PlatformMessages.h"
#include "platform/YmErrors.h"

ClientSessionWrapper::ClientSessionWrapper(unsigned long service, bool flag)
    : m_service(service), m_flag(flag) {
  evtask::registerPlatformCatalogue();
  m_transport = evtask::openAppMgrTransport(m_openRc, m_openErr);
}

ClientSessionWrapper::~ClientSessionWrapper() = default;

int ClientSessionWrapper::send(unsigned long type, void* data, unsigned long size, std::string& err) {
  m_sent = false;
  if (!m_transport) {
    err = m_openErr;
    return m_openRc != 0 ? m_openRc : YM_SESSION_NO_SERVER;
  }
  evtask::Frame frame;
  int rc = evtask::EncodeFrame(static_cast<uint32_t>(type), data, size, &frame, &err);
  if (rc != 0) return rc;
  rc = m_transport->send(frame, err);
  if (rc != 0) return rc;
  m_sent = true;
  return 0;
}

int ClientSessionWrapper::receive(unsigned long type, void* data, unsigned long size, std::string& err) {
  if (!m_transport) {
    err = m_openErr;
    return m_openRc != 0 ? m_openRc : YM_SESSION_NO_SERVER;
  }
  if (!m_sent) {
    err = "receive called without a request sent";
    return YM_SESSION_OUT_OF_ORDER;
  }
  m_sent = false;
  evtask::Frame frame;
  int rc = m_transport->receive(frame, err);
  if (rc != 0) return rc;
  rc = evtask::DecodeFrame(frame.data(), frame.size(), static_cast<uint32_t>(type), data, size, &m_arena, &err);
  m_transport->recycle(frame);
  return rc;
}
