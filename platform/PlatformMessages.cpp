#include "platform/PlatformMessages.h"

#include <cstring>
#include <mutex>

#include "platform/ClientSessionWrapper.h"

namespace evtask {

namespace {

const WireLayout kGlobalParamGetReqLayout{"GlobalParamGetReq", 20, {WireRef::Text(16)}};
const WireLayout kGlobalParamGetRespLayout{"GlobalParamGetResp", 24, {RespHeaderTextRef(), WireRef::Text(20)}};
const WireLayout kGlobalParamSetReqLayout{"GlobalParamSetReq", 24, {WireRef::Text(16), WireRef::Text(20)}};
const WireLayout kPlatformGenericRespLayout{"PlatformGenericResp", 20, {RespHeaderTextRef()}};
const WireLayout kClientFactReqLayout{"ClientFactReq", 24, {}};
const WireLayout kClientFactRespLayout{"ClientFactResp", 28, {RespHeaderTextRef(), WireRef::Text(24)}};

}  // namespace

void registerPlatformCatalogue() {
  static std::once_flag once;
  std::call_once(once, [] {
    WireCatalogue& c = WireCatalogue::instance();
    c.add(kGlobalParamGetReq, &kGlobalParamGetReqLayout);
    c.add(kGlobalParamGetResp, &kGlobalParamGetRespLayout);
    c.add(kGlobalParamSetReq, &kGlobalParamSetReqLayout);
    c.add(kGlobalParamSetResp, &kPlatformGenericRespLayout);
    c.add(kClientFactReq, &kClientFactReqLayout);
    c.add(kClientFactResp, &kClientFactRespLayout);
  });
}

int platformExchange(uint32_t reqType, void* req, size_t reqSize, uint32_t respType, void* resp,
                     size_t respSize, std::string& err, std::string* respTextOut, size_t respTextOffset) {
  NetMessage msg(2);
  ClientSessionWrapper session(0x1A000000, false);
  msg.initRequestHeader(*static_cast<AppMgrReqHdr*>(req));
  int rc = session.send(reqType, req, reqSize, err);
  if (rc != 0) return rc;
  rc = session.receive(respType, resp, respSize, err);
  if (rc != 0) return rc;
  AppMgrRespHdr* hdr = static_cast<AppMgrRespHdr*>(resp);
  rc = msg.verifyResponseHeader(*hdr);
  if (rc != 0) {
    err = hdr->errorText != nullptr ? hdr->errorText : "";
    return rc;
  }
  if (respTextOut != nullptr) {
    // Copied before the session (which owns the text) goes away.
    char* text = nullptr;
    std::memcpy(&text, static_cast<char*>(resp) + respTextOffset, sizeof text);
    respTextOut->assign(text != nullptr ? text : "");
  }
  return 0;
}

}  // namespace evtask
