// Messages of the platform's own services (global parameters and client
// facts), exchanged with the application manager through the session like
// the task messages. Codes 0x50000010 to 0x5000003F; response = request + 1.
#ifndef EVTASK_PLATFORM_PLATFORMMESSAGES_H
#define EVTASK_PLATFORM_PLATFORMMESSAGES_H

#include <cstddef>
#include <cstdint>

#include "evtask/export.h"
#include "platform/NetMessage.h"
#include "platform/WireCatalogue.h"

namespace evtask {

constexpr uint32_t kGlobalParamGetReq = 0x50000010;
constexpr uint32_t kGlobalParamGetResp = 0x50000011;
constexpr uint32_t kGlobalParamSetReq = 0x50000012;
constexpr uint32_t kGlobalParamSetResp = 0x50000013;
constexpr uint32_t kClientFactReq = 0x50000020;
constexpr uint32_t kClientFactResp = 0x50000021;
constexpr uint32_t kXmlHandlerReq = 0x50000030;
constexpr uint32_t kXmlHandlerResp = 0x50000031;
constexpr uint32_t kExecuteSPReq = 0x50000032;
constexpr uint32_t kExecuteSPResp = 0x50000033;
constexpr uint32_t kXmlDecodeReq = 0x50000034;
constexpr uint32_t kXmlDecodeResp = 0x50000035;

// The client facts a ClientFactReq asks for.
enum ClientFactKind : uint32_t {
  kFactIsNASClient = 1,          // number: 0/1, by client id
  kFactIsNonNDMPClient = 2,      // number: 0/1, by client id
  kFactVersionInfo = 3,          // text: version text, by client id
  kFactClusterType = 4,          // number: cluster type, by instance id
  kFactCloudAppsInstanceType = 5 // number: cloud apps instance type, by instance id
};

struct GlobalParamGetReq {
  AppMgrReqHdr header;
  char* name;
};
struct GlobalParamGetResp {
  AppMgrRespHdr header;
  char* value;
};
struct GlobalParamSetReq {
  AppMgrReqHdr header;
  char* name;
  char* value;
};
struct PlatformGenericResp {
  AppMgrRespHdr header;
};
struct ClientFactReq {
  AppMgrReqHdr header;
  uint32_t fact;
  uint32_t id;
};
struct ClientFactResp {
  AppMgrRespHdr header;
  int32_t number;
  char* text;
};

// XMLHandler::handleXMLReq: one XML request, answered by one XML reply.
struct XmlHandlerReq {
  AppMgrReqHdr header;
  uint32_t kind;     // the handler kind (1 at every call site)
  uint32_t tag;      // the type tag of the request message
  char* xml;         // the request text
  char* context;     // the caller's context text (empty at every call site)
  uint32_t flags;
};
struct XmlHandlerResp {
  AppMgrRespHdr header;
  char* xml;         // the reply text; null when the server sent none
};
// App_ExecuteSP::executeStoredProcedure: a numbered procedure with an XML
// input text and an XML output text.
struct ExecuteSPReq {
  AppMgrReqHdr header;
  uint32_t procedure;
  char* input;
};
struct ExecuteSPResp {
  AppMgrRespHdr header;
  char* output;
};

// XMLDecoder::unSerialize: the application manager reads a received text
// with its class registry and answers with the class the text names and the
// message written out again.
struct XmlDecodeReq {
  AppMgrReqHdr header;
  char* xml;
};
struct XmlDecodeResp {
  AppMgrRespHdr header;
  int32_t family;
  int32_t classNo;
  char* xml;
};

static_assert(sizeof(XmlDecodeReq) == 20, "XmlDecodeReq size");
static_assert(offsetof(XmlDecodeReq, xml) == 16, "XmlDecodeReq xml");
static_assert(sizeof(XmlDecodeResp) == 32, "XmlDecodeResp size");
static_assert(offsetof(XmlDecodeResp, xml) == 28, "XmlDecodeResp xml");
static_assert(sizeof(XmlHandlerReq) == 36, "XmlHandlerReq size");
static_assert(offsetof(XmlHandlerReq, xml) == 24, "XmlHandlerReq xml");
static_assert(offsetof(XmlHandlerReq, context) == 28, "XmlHandlerReq context");
static_assert(sizeof(XmlHandlerResp) == 24, "XmlHandlerResp size");
static_assert(sizeof(ExecuteSPReq) == 24, "ExecuteSPReq size");
static_assert(offsetof(ExecuteSPReq, input) == 20, "ExecuteSPReq input");
static_assert(sizeof(ExecuteSPResp) == 24, "ExecuteSPResp size");
static_assert(sizeof(GlobalParamGetReq) == 20, "GlobalParamGetReq size");
static_assert(sizeof(GlobalParamGetResp) == 24, "GlobalParamGetResp size");
static_assert(sizeof(GlobalParamSetReq) == 24, "GlobalParamSetReq size");
static_assert(sizeof(PlatformGenericResp) == 20, "PlatformGenericResp size");
static_assert(sizeof(ClientFactReq) == 24, "ClientFactReq size");
static_assert(sizeof(ClientFactResp) == 28, "ClientFactResp size");
static_assert(offsetof(ClientFactResp, text) == 24, "ClientFactResp text");

// The reference to the error text of every response header.
inline WireRef RespHeaderTextRef() { return WireRef::Text(offsetof(AppMgrRespHdr, errorText)); }

// Registers the messages above in the wire catalogue (idempotent).
EVTASK_EXPORT void registerPlatformCatalogue();

}  // namespace evtask

#endif  // EVTASK_PLATFORM_PLATFORMMESSAGES_H
