#include "platform/YMGlobalParam.h"

#include "platform/PlatformMessages.h"

using namespace evtask;

YMGlobalParam::YMGlobalParam() = default;
YMGlobalParam::~YMGlobalParam() = default;

int YMGlobalParam::get(const std::string& name, std::string& value, void*) {
  GlobalParamGetReq req{};
  GlobalParamGetResp resp{};
  req.name = const_cast<char*>(name.c_str());
  m_err.clear();
  std::string text;
  const int rc = platformExchange(kGlobalParamGetReq, &req, sizeof req, kGlobalParamGetResp, &resp,
                                  sizeof resp, m_err, &text, offsetof(GlobalParamGetResp, value));
  if (rc == 0) value = text;
  return rc;
}

int YMGlobalParam::set(const std::string& name, const std::string& value, void*) {
  GlobalParamSetReq req{};
  PlatformGenericResp resp{};
  req.name = const_cast<char*>(name.c_str());
  req.value = const_cast<char*>(value.c_str());
  m_err.clear();
  return platformExchange(kGlobalParamSetReq, &req, sizeof req, kGlobalParamSetResp, &resp, sizeof resp, m_err);
}

int YMGlobalParam::set(const char* name, const char* value, void* event) {
  return set(std::string(name ? name : ""), std::string(value ? value : ""), event);
}
