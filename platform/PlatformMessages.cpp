#include "platform/PlatformMessages.h"

#include <mutex>


namespace evtask {

namespace {

const WireLayout kGlobalParamGetReqLayout{"GlobalParamGetReq", 20, {WireRef::Text(16)}};
const WireLayout kGlobalParamGetRespLayout{"GlobalParamGetResp", 24, {RespHeaderTextRef(), WireRef::Text(20)}};
const WireLayout kGlobalParamSetReqLayout{"GlobalParamSetReq", 24, {WireRef::Text(16), WireRef::Text(20)}};
const WireLayout kPlatformGenericRespLayout{"PlatformGenericResp", 20, {RespHeaderTextRef()}};
const WireLayout kClientFactReqLayout{"ClientFactReq", 24, {}};
const WireLayout kClientFactRespLayout{"ClientFactResp", 28, {RespHeaderTextRef(), WireRef::Text(24)}};

const WireLayout kXmlHandlerReqLayout{"XmlHandlerReq", 36, {WireRef::Text(24), WireRef::Text(28)}};
const WireLayout kXmlHandlerRespLayout{"XmlHandlerResp", 24, {RespHeaderTextRef(), WireRef::Text(20)}};
const WireLayout kExecuteSPReqLayout{"ExecuteSPReq", 24, {WireRef::Text(20)}};
const WireLayout kExecuteSPRespLayout{"ExecuteSPResp", 24, {RespHeaderTextRef(), WireRef::Text(20)}};
const WireLayout kXmlDecodeReqLayout{"XmlDecodeReq", 20, {WireRef::Text(16)}};
const WireLayout kXmlDecodeRespLayout{"XmlDecodeResp", 32, {RespHeaderTextRef(), WireRef::Text(28)}};

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
    c.add(kXmlHandlerReq, &kXmlHandlerReqLayout);
    c.add(kXmlHandlerResp, &kXmlHandlerRespLayout);
    c.add(kExecuteSPReq, &kExecuteSPReqLayout);
    c.add(kExecuteSPResp, &kExecuteSPRespLayout);
    c.add(kXmlDecodeReq, &kXmlDecodeReqLayout);
    c.add(kXmlDecodeResp, &kXmlDecodeRespLayout);
  });
}

}  // namespace evtask
