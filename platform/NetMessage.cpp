#include "platform/NetMessage.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "platform/YmErrors.h"

namespace {
std::atomic<uint32_t> g_sequence{0};

// The process id is read once per process rather than per request (a
// system call on every header); a forked child reads its own again.
std::atomic<uint32_t> g_pid{0};
void forgetPid() { g_pid.store(0, std::memory_order_relaxed); }

uint32_t processId() {
  uint32_t pid = g_pid.load(std::memory_order_relaxed);
  if (pid == 0) {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(nullptr, nullptr, forgetPid); });
    pid = static_cast<uint32_t>(getpid());
    g_pid.store(pid, std::memory_order_relaxed);
  }
  return pid;
}
}  // namespace

MessageBase::~MessageBase() = default;

NetMessage::NetMessage(unsigned long kind) : MessageBase(kind) {}
NetMessage::~NetMessage() = default;

void NetMessage::initRequestHeader(AppMgrReqHdr& header) {
  header.magic = kAppMgrReqMagic;
  header.version = kAppMgrHdrVersion;
  header.pid = processId();
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
