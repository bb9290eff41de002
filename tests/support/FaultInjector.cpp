#include "support/FaultInjector.h"

#include <cstring>

#include "platform/FrameCodec.h"
#include "platform/YmErrors.h"
#include "support/WireSamples.h"

namespace evtask {
namespace test {

namespace {

// Frame header offsets (see platform/FrameCodec.h).
constexpr size_t kTypeAt = 8;

void store32(Frame& f, size_t at, uint32_t v) { std::memcpy(f.data() + at, &v, 4); }

const WireRef* firstArray(const WireLayout* layout) {
  for (const WireRef& ref : layout->refs) {
    if (ref.kind == WireRef::kArray) return &ref;
  }
  return nullptr;
}

}  // namespace

const char* faultName(Fault f) {
  switch (f) {
    case Fault::kNone: return "none";
    case Fault::kSendFails: return "send fails";
    case Fault::kReceiveFails: return "receive fails";
    case Fault::kServerError: return "server error";
    case Fault::kTruncated: return "truncated frame";
    case Fault::kGarbage: return "garbage frame";
    case Fault::kWrongType: return "wrong type";
    case Fault::kRefOutside: return "reference outside";
    case Fault::kHugeCount: return "huge count";
    case Fault::kClosedMidFrame: return "server closes mid-frame";
    case Fault::kSilent: return "server goes silent";
  }
  return "?";
}

int faultCode(Fault f) {
  switch (f) {
    case Fault::kNone: return 0;
    case Fault::kSendFails: return YM_SESSION_SEND_FAILED;
    case Fault::kReceiveFails: return YM_SESSION_RECEIVE_FAILED;
    case Fault::kServerError: return FaultInjector::kServerErrorCode;
    case Fault::kClosedMidFrame: return YM_SESSION_CLOSED;
    case Fault::kSilent: return YM_SESSION_TIMEOUT;
    default: return YM_SESSION_PROTOCOL_ERROR;
  }
}

FaultInjector::FaultInjector(std::shared_ptr<FakeAppMgr> inner) : m_inner(std::move(inner)) {}

bool isSocketFault(Fault f) { return f == Fault::kClosedMidFrame || f == Fault::kSilent; }

void FaultInjector::arm(uint32_t requestType, Fault fault) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_type = requestType;
  m_fault = fault;
  m_scripted = false;
  m_hits = 0;
}

void FaultInjector::armScripted(uint32_t requestType, Fault fault) {
  arm(requestType, fault);
  std::lock_guard<std::mutex> lock(m_mu);
  m_scripted = true;
}

Fault FaultInjector::faultFor(const Frame& request) const {
  std::lock_guard<std::mutex> lock(m_mu);
  return armedFor(request) ? m_fault : Fault::kNone;
}

bool FaultInjector::applicable(uint32_t requestType, Fault fault) {
  if (fault != Fault::kHugeCount) return true;
  registerAllCatalogues();
  const WireLayout* layout = WireCatalogue::instance().find(requestType + 1);
  return layout != nullptr && firstArray(layout) != nullptr;
}

int FaultInjector::hits() const {
  std::lock_guard<std::mutex> lock(m_mu);
  return m_hits;
}

bool FaultInjector::armedFor(const Frame& request) const {
  uint32_t type = 0;
  std::string err;
  return m_type != 0 && PeekFrameType(request.data(), request.size(), &type, &err) == 0 && type == m_type;
}

int FaultInjector::onSend(const Frame& request, std::string& err) {
  {
    std::lock_guard<std::mutex> lock(m_mu);
    m_lastArmed = armedFor(request);
    if (m_lastArmed) {
      ++m_hits;
      if (m_fault == Fault::kSendFails) {
        err = "injected send failure";
        return YM_SESSION_SEND_FAILED;
      }
    }
  }
  return m_inner->onSend(request, err);
}

void FaultInjector::handleFrame(const Frame& request, Frame& response) {
  Fault fault;
  uint32_t type;
  bool scripted;
  {
    std::lock_guard<std::mutex> lock(m_mu);
    if (!m_lastArmed) {
      fault = Fault::kNone;
      type = 0;
    } else {
      fault = m_fault;
      type = m_type;
    }
    scripted = m_scripted;
  }
  if (type == 0 || (scripted && fault != Fault::kServerError)) {
    m_inner->handleFrame(request, response);
    return;
  }
  // The server's refusal carries its code and text in the header, and the
  // full sample in the body, so an operation that unpacks anyway is caught.
  response = fault == Fault::kServerError
                 ? sampleFrame(type + 1, 0x22, 2, &request, kServerErrorCode, "injected server error")
                 : sampleFrame(type + 1, 0x11, 2, &request);
}

int FaultInjector::onReceive(Frame& response, std::string& err) {
  Fault fault;
  {
    std::lock_guard<std::mutex> lock(m_mu);
    fault = m_lastArmed ? m_fault : Fault::kNone;
    if (m_lastArmed && fault == Fault::kReceiveFails) {
      err = "injected receive failure";
      return YM_SESSION_RECEIVE_FAILED;
    }
    if (m_lastArmed) alter(fault, m_type + 1, response);
  }
  return m_inner->onReceive(response, err);
}

void FaultInjector::alter(Fault fault, uint32_t responseType, Frame& frame) {
  const WireLayout* layout = WireCatalogue::instance().find(responseType);
  const size_t body = kFrameHeaderSize;
  switch (fault) {
    case Fault::kTruncated:
      frame.resize(frame.size() / 2);
      break;
    case Fault::kGarbage: {
      uint32_t x = 0x9E3779B9u;
      for (uint8_t& b : frame) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
      }
      break;
    }
    case Fault::kWrongType:
      // Another catalogued response: the bytes are well formed, only the
      // type is not the one asked for.
      for (uint32_t other : catalogueTypes(true)) {
        if (other != responseType) {
          store32(frame, kTypeAt, other);
          break;
        }
      }
      break;
    case Fault::kRefOutside: {
      const WireRef& ref = layout->refs.back();
      store32(frame, body + ref.offset, static_cast<uint32_t>(frame.size() - body + 4));
      break;
    }
    case Fault::kHugeCount: {
      const WireRef* ref = firstArray(layout);
      // count * element size wraps around 32 bits to a small number.
      const uint32_t count = static_cast<uint32_t>(0x100000000ull / ref->element->size + 1);
      store32(frame, body + ref->countOffset, count);
      break;
    }
    default:
      break;
  }
}

ScopedFaultInjector::ScopedFaultInjector()
    : m_fake(std::make_shared<FakeAppMgr>()), m_injector(std::make_shared<FaultInjector>(m_fake)) {
  setInProcessHandler(m_injector);
}

ScopedFaultInjector::~ScopedFaultInjector() { setInProcessHandler(nullptr); }

}  // namespace test
}  // namespace evtask
