#include "platform/XmlServices.h"

#include "platform/AppMgrExchange.h"
#include "platform/PlatformMessages.h"

using namespace evtask;

int evtaskDecodeAnyMessage(const std::string& xml, CNMessageBase& out, std::string& err);

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
  std::unique_ptr<CNMessageBase> msg(new CNMessageBase(0, 0));
  m_err.clear();
  m_code = evtaskDecodeAnyMessage(xml, *msg, m_err);
  if (m_code != 0) return nullptr;
  m_owned.push_back(std::move(msg));
  return m_owned.back().get();
}
