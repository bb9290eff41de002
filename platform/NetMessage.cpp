#include "platform/NetMessage.h"

#include <unistd.h>

#include <atomic>

#include "platform/YmErrors.h"

namespace {
std::atomic<uint32_t> g_sequence{0};
}

MessageBase::~MessageBase() = default;

NetMessage::NetMessage(unsigned long kind) : MessageBase(kind) {}
NetMessage::~NetMessage() = default;

void NetMessage::initRequestHeader(AppMgrReqHdr& header) {
  header.magic = kAppMgrReqMagic;
  header.version = kAppMgrHdrVersion;
  header.pid = static_cast<uint32_t>(getpid());
  header.sequence = ++g_sequence;
}

int NetMessage::verifyResponseHeader(AppMgrRespHdr& header) {
  if (header.magic != kAppMgrRespMagic) return YM_SESSION_PROTOCOL_ERROR;
  return header.result;
}

void initResponseHeader(AppMgrRespHdr& header, const AppMgrReqHdr& request, int result, char* errorText) {
  header.magic = kAppMgrRespMagic;
  header.result = result;
  header.errorText = errorText;
  header.sequence = request.sequence;
  header.reserved = 0;
}
