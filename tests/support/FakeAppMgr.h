// A scripted application manager for tests, served through the in-process
// transport so that every exchange goes through the frame codec.
//
// Each request is decoded with the wire catalogue and recorded (type, size
// and the decoded structure with its texts and arrays). It is answered with,
// in this order of preference: a fault scripted for the next exchange, the
// next response scripted for its type, the handler set for its type, or a
// zeroed success response of the catalogued size.
//
// Thread-safe: exchanges may run on many threads at once.
#ifndef EVTASK_TESTS_SUPPORT_FAKEAPPMGR_H
#define EVTASK_TESTS_SUPPORT_FAKEAPPMGR_H

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/AppMgrTransport.h"
#include "platform/FrameCodec.h"
#include "platform/NetMessage.h"

namespace evtask {
namespace test {

struct RecordedRequest {
  uint32_t type = 0;
  uint32_t size = 0;
  std::vector<uint64_t> storage;      // the decoded structure
  std::shared_ptr<WireArena> arena;   // its texts and arrays

  template <class T>
  const T& as() const {
    return *reinterpret_cast<const T*>(storage.data());
  }
};

class FakeAppMgr : public InProcessHandler {
 public:
  using Handler = std::function<void(const RecordedRequest& request, Frame& response)>;

  FakeAppMgr();
  ~FakeAppMgr() override;

  // Queues a response for the next request of `requestType`; it travels as
  // type requestType + 1. The structure is encoded now, so the texts and
  // arrays it references need to live only for this call. The header's magic
  // is set; result and error text are taken as given.
  template <class Resp>
  void respond(uint32_t requestType, const Resp& resp) {
    Resp copy = resp;
    copy.header.magic = kAppMgrRespMagic;
    queueEncoded(requestType, &copy, sizeof copy);
  }

  // Queues a response of `Resp` whose array `field` holds `rows` (and whose
  // count is their number) for the next request of `requestType`.
  template <class Resp, class Row, size_t N>
  void respondRows(uint32_t requestType, Row* Resp::*field, Row (&rows)[N]) {
    Resp resp{};
    resp.count = N;
    resp.*field = rows;
    respond(requestType, resp);
  }

  // Queues a server error: a zeroed response with `code` and `text` in its
  // header.
  void respondError(uint32_t requestType, int code, const std::string& text);

  // Answers every request of `requestType` through `handler` (used when no
  // response is queued). Use encodeResponse inside it.
  void setHandler(uint32_t requestType, Handler handler);

  // Encodes `resp` as a response frame to `requestType` (sets the magic).
  template <class Resp>
  static Frame encodeResponse(uint32_t requestType, Resp resp) {
    resp.header.magic = kAppMgrRespMagic;
    Frame f;
    encodeOrDie(requestType + 1, &resp, sizeof resp, f);
    return f;
  }

  // Faults of the next exchange.
  void failNextSend(int code, const std::string& text);
  void failNextReceive(int code, const std::string& text);
  // Alters the next response frame before the client decodes it.
  void mutateNextResponse(std::function<void(Frame&)> mutate);

  // Global parameters and client facts the fake serves.
  void setGlobalParam(const std::string& name, const std::string& value);
  std::string globalParam(const std::string& name) const;
  void setClientFact(uint32_t fact, uint32_t id, int number, const std::string& text = std::string());

  // What was received, in order.
  std::vector<RecordedRequest> requests() const;
  std::vector<uint32_t> requestTypes() const;
  size_t requestCount() const;
  // The last request of `type`; fails the test (and returns a zeroed
  // record) when there is none.
  RecordedRequest last(uint32_t type) const;
  void clearRequests();

  // InProcessHandler
  void handleFrame(const Frame& request, Frame& response) override;
  int onSend(const Frame& request, std::string& err) override;
  int onReceive(Frame& response, std::string& err) override;

  static void encodeOrDie(uint32_t type, const void* data, size_t size, Frame& out);

 private:
  void queueEncoded(uint32_t requestType, const void* data, size_t size);
  // A zeroed response of the catalogued size carrying only its header.
  static Frame headerOnlyResponse(uint32_t requestType, const AppMgrReqHdr& request, int code, const char* text);
  Frame defaultResponse(const RecordedRequest& req, int code, const char* text);
  bool answerPlatform(const RecordedRequest& req, Frame& response);

  mutable std::mutex m_mu;
  std::vector<RecordedRequest> m_requests;
  std::map<uint32_t, std::deque<Frame>> m_scripted;
  std::map<uint32_t, Handler> m_handlers;
  struct PendingFault {
    int code = 0;  // 0: none
    std::string text;
  };
  PendingFault m_sendFault, m_receiveFault;
  // The fault's code (0: none), its text in `err`; the fault is cleared.
  static int takeFault(PendingFault& fault, std::string& err);
  std::function<void(Frame&)> m_mutate;
  std::map<std::string, std::string> m_globals;
  struct Fact {
    int number;
    std::string text;
  };
  std::map<std::pair<uint32_t, uint32_t>, Fact> m_facts;
};

// Registers a FakeAppMgr as the in-process application manager for the
// lifetime of the object.
class ScopedFakeAppMgr {
 public:
  ScopedFakeAppMgr();
  ~ScopedFakeAppMgr();
  FakeAppMgr& operator*() { return *m_fake; }
  FakeAppMgr* operator->() { return m_fake.get(); }
  FakeAppMgr& get() { return *m_fake; }

 private:
  std::shared_ptr<FakeAppMgr> m_fake;
};

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_SUPPORT_FAKEAPPMGR_H
