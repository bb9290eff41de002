#include "platform/XmlServices.h"

#include "platform/AppMgrExchange.h"
#include "platform/PlatformMessages.h"
#include "platform/YmErrors.h"

using namespace evtask;

XMLHandler::XMLHandler() = default;
XMLHandler::~XMLHandler() = default;

int XMLHandler::handleXMLReq(unsigned long kind, unsigned long tag, std::string& xml, std::string& err,
                             std::string context, unsigned long flags) {
  XmlHandlerReq req{};
  XmlHandlerResp resp{};
  req.kind = static_cast<uint32_t>(kind);
  req.tag = static_cast<uint32_t>(tag);
  req.xml = const_cast<char*>(xml.c_str());
  req.context = const_cast<char*>(context.c_str());
  req.flags = static_cast<uint32_t>(flags);
  AppMgrExchange ex;
  const int rc = ex.run(kXmlHandlerReq, req, resp, err);
  if (rc != 0) return rc;
  xml = resp.xml != nullptr ? resp.xml : "";
  return 0;
}

App_ExecuteSP::App_ExecuteSP() = default;
App_ExecuteSP::~App_ExecuteSP() = default;

int App_ExecuteSP::executeStoredProcedure(unsigned long procedure, const std::string& input, std::string& output,
                                          void*) {
  ExecuteSPReq req{};
  ExecuteSPResp resp{};
  req.procedure = static_cast<uint32_t>(procedure);
  req.input = const_cast<char*>(input.c_str());
  m_err.clear();
  AppMgrExchange ex;
  const int rc = ex.run(kExecuteSPReq, req, resp, m_err);
  if (rc != 0) return rc;
  output = resp.output != nullptr ? resp.output : "";
  return 0;
}

XMLDecoder::XMLDecoder() = default;
XMLDecoder::~XMLDecoder() = default;

CNMessageBase* XMLDecoder::unSerialize(std::string& xml, YmXMLContextInfo*) {
  m_err.clear();
  XmlDecodeReq req{};
  XmlDecodeResp resp{};
  req.xml = const_cast<char*>(xml.c_str());
  AppMgrExchange ex;
  m_code = ex.run(kXmlDecodeReq, req, resp, m_err);
  if (m_code != 0) return nullptr;
  // The answer is read again here: it is as untrusted as the text was, and
  // it must hold the class the manager named.
  std::unique_ptr<CNMessageBase> msg(new CNMessageBase(0, 0));
  m_code = msg->unserializeAnyClass(resp.xml != nullptr ? resp.xml : "");
  if (m_code != 0) {
    m_err = "the application manager's reading does not parse: " + msg->lastError();
    return nullptr;
  }
  if (msg->getFamily() != resp.family || msg->getClassNo() != resp.classNo) {
    m_code = YM_XML_WRONG_CLASS;
    m_err = "the application manager named message " + std::to_string(resp.family) + "/" +
            std::to_string(resp.classNo) + " for a text it wrote as another";
    return nullptr;
  }
  m_owned.push_back(std::move(msg));
  return m_owned.back().get();
}
