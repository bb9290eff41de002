// Injects one kind of fault into every exchange of one request type, in
// front of a scripted application manager; every other exchange goes to the
// fake unchanged. The fault matrix uses it to run each service operation
// against each fault.
//
// Exchanges of the armed type are answered with a sample response of the
// catalogued layout in which every field, text and array holds data (see
// WireSamples.h), so a fault that lets any of it through shows in the
// caller's state; the fault then alters or replaces that answer.
//
// A new fault (for example one of a socket transport) is a new Fault value
// and a case in apply(); a new operation needs nothing here.
//
// Thread-safe.
#ifndef EVTASK_TESTS_SUPPORT_FAULTINJECTOR_H
#define EVTASK_TESTS_SUPPORT_FAULTINJECTOR_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/AppMgrTransport.h"
#include "support/FakeAppMgr.h"

namespace evtask {
namespace test {

enum class Fault {
  kNone,          // the sample answer, unaltered (the control row)
  kSendFails,     // the session cannot send the request
  kReceiveFails,  // the session cannot read the answer
  kServerError,   // the server refuses, with a code and a text (and data)
  kTruncated,     // the answer's last half is missing
  kGarbage,       // the answer is replaced by noise of the same length
  kWrongType,     // the answer carries another response's type code
  kRefOutside,    // a reference of the answer points past its end
  kHugeCount,     // an array count whose byte size wraps 32 bits
  // Faults of a socket peer (see SocketPeer in the fault matrix); the
  // injector only marks the exchange, the peer acts on it.
  kClosedMidFrame,  // the server sends part of the answer and closes
  kSilent,          // the server reads the request and never answers
};

// True for the faults only a socket peer can produce.
bool isSocketFault(Fault f);

const char* faultName(Fault f);

// The code a caller sees for each fault (0 for kNone).
int faultCode(Fault f);

class FaultInjector : public InProcessHandler {
 public:
  static constexpr int kServerErrorCode = 0x4900F1;

  explicit FaultInjector(std::shared_ptr<FakeAppMgr> inner);

  // Arms `fault` for every exchange of `requestType`.
  void arm(uint32_t requestType, Fault fault);
  // As arm(), but the exchange is answered by the scripted fake (for the
  // XML flows, whose control answer must be a valid text) and the fault
  // alters that answer.
  void armScripted(uint32_t requestType, Fault fault);
  // The fault armed for `request`, or kNone when it is not of the armed type.
  Fault faultFor(const Frame& request) const;
  // False when the fault cannot be built for the type (a huge count needs
  // an array in the response).
  static bool applicable(uint32_t requestType, Fault fault);
  // Exchanges of the armed type seen since arm().
  int hits() const;

  void handleFrame(const Frame& request, Frame& response) override;
  int onSend(const Frame& request, std::string& err) override;
  int onReceive(Frame& response, std::string& err) override;

 private:
  bool armedFor(const Frame& request) const;
  static void alter(Fault fault, uint32_t responseType, Frame& frame);

  std::shared_ptr<FakeAppMgr> m_inner;
  mutable std::mutex m_mu;
  uint32_t m_type = 0;
  Fault m_fault = Fault::kNone;
  bool m_scripted = false;
  int m_hits = 0;
  bool m_lastArmed = false;
};

// Registers a fake behind an injector for the lifetime of the object.
class ScopedFaultInjector {
 public:
  ScopedFaultInjector();
  ~ScopedFaultInjector();
  FakeAppMgr& fake() { return *m_fake; }
  FaultInjector& injector() { return *m_injector; }

 private:
  std::shared_ptr<FakeAppMgr> m_fake;
  std::shared_ptr<FaultInjector> m_injector;
};

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_SUPPORT_FAULTINJECTOR_H
