#include "platform/YMGlobalParam.h"

#include "platform/AppMgrExchange.h"
#include "platform/PlatformMessages.h"

using namespace evtask;

YMGlobalParam::YMGlobalParam() = default;
YMGlobalParam::~YMGlobalParam() = default;

int YMGlobalParam::get(const std::string& name, std::string& value, void*) {
  GlobalParamGetReq req{};
  GlobalParamGetResp resp{};
  req.name = const_cast<char*>(name.c_str());
  m_err.clear();
  AppMgrExchange ex;
  const int rc = ex.run(kGlobalParamGetReq, req, resp, m_err);
  if (rc == 0) value = resp.value != nullptr ? resp.value : "";
  return rc;
}

int YMGlobalParam::set(const std::string& name, const std::string& value, void*) {
  GlobalParamSetReq req{};
  PlatformGenericResp resp{};
  req.name = const_cast<char*>(name.c_str());
  req.value = const_cast<char*>(value.c_str());
  m_err.clear();
  return AppMgrExchange().run(kGlobalParamSetReq, req, resp, m_err);
}

int YMGlobalParam::set(const char* name, const char* value, void* event) {
  return set(std::string(name ? name : ""), std::string(value ? value : ""), event);
}
