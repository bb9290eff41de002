#include "platform/AppMgrTransport.h"

#include <map>
#include <mutex>

#include "platform/SocketTransport.h"
#include "platform/YMPlatformInfo.h"
#include "platform/YmErrors.h"

namespace evtask {

namespace {

struct Registry {
  std::mutex mu;
  std::shared_ptr<InProcessHandler> handler;
  std::shared_ptr<InProcessHandler> embedded;
  EmbeddedProvider provider;
  std::map<std::string, TransportFactory> factories;
};

Registry& registry() {
  static Registry* r = new Registry();
  return *r;
}

class InProcessTransport : public AppMgrTransport {
 public:
  explicit InProcessTransport(std::shared_ptr<InProcessHandler> h) : m_handler(std::move(h)) {}

  int send(const Frame& frame, std::string& err) override {
    m_pending.clear();
    m_hasResponse = false;
    const int rc = m_handler->onSend(frame, err);
    if (rc != 0) return rc;
    m_handler->handleFrame(frame, m_pending);
    m_hasResponse = true;
    return 0;
  }

  int receive(Frame& frame, std::string& err) override {
    if (!m_hasResponse) {
      err = "no response is pending";
      return YM_SESSION_OUT_OF_ORDER;
    }
    m_hasResponse = false;
    const int rc = m_handler->onReceive(m_pending, err);
    if (rc != 0) return rc;
    frame.swap(m_pending);
    m_pending.clear();
    return 0;
  }

 private:
  std::shared_ptr<InProcessHandler> m_handler;
  Frame m_pending;
  bool m_hasResponse = false;
};

}  // namespace

AppMgrTransport::~AppMgrTransport() = default;
void AppMgrTransport::recycle(Frame&) {}
InProcessHandler::~InProcessHandler() = default;
int InProcessHandler::onSend(const Frame&, std::string&) { return 0; }
int InProcessHandler::onReceive(Frame&, std::string&) { return 0; }

void setInProcessHandler(std::shared_ptr<InProcessHandler> handler) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  r.handler = std::move(handler);
}

std::shared_ptr<InProcessHandler> getInProcessHandler() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  return r.handler;
}

void setEmbeddedProvider(EmbeddedProvider provider) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  r.provider = std::move(provider);
  r.embedded.reset();
}

void registerTransportFactory(const std::string& scheme, TransportFactory factory) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mu);
  r.factories[scheme] = std::move(factory);
}

std::unique_ptr<AppMgrTransport> openAppMgrTransport(int& rc, std::string& err) {
  YMPlatformInfo info;
  std::string endpoint;
  if (!info.getString("Platform", "AppMgrEndpoint", &endpoint) || endpoint.empty()) endpoint = "embedded";
  rc = 0;
  Registry& r = registry();
  if (endpoint == "embedded") {
    std::shared_ptr<InProcessHandler> handler;
    EmbeddedProvider provider;
    {
      std::lock_guard<std::mutex> lock(r.mu);
      handler = r.handler ? r.handler : r.embedded;
      provider = r.provider;
    }
    if (!handler && provider) {
      // Built outside the lock: the provider may open a database.
      std::shared_ptr<InProcessHandler> made = provider();
      std::lock_guard<std::mutex> lock(r.mu);
      if (!r.embedded) r.embedded = made;
      handler = r.handler ? r.handler : r.embedded;
    }
    if (!handler) {
      rc = YM_SESSION_NO_SERVER;
      err = "No application manager is available: no in-process handler is registered";
      return nullptr;
    }
    return std::unique_ptr<AppMgrTransport>(new InProcessTransport(handler));
  }
  registerSocketTransports();
  const size_t colon = endpoint.find(':');
  const std::string scheme = colon == std::string::npos ? endpoint : endpoint.substr(0, colon);
  TransportFactory factory;
  {
    std::lock_guard<std::mutex> lock(r.mu);
    auto it = r.factories.find(scheme);
    if (it != r.factories.end()) factory = it->second;
  }
  if (!factory) {
    rc = YM_SESSION_NO_SERVER;
    err = "No transport for application manager endpoint \"" + endpoint + "\"";
    return nullptr;
  }
  std::unique_ptr<AppMgrTransport> t = factory(endpoint, rc, err);
  if (!t && rc == 0) {
    rc = YM_SESSION_NO_SERVER;
    if (err.empty()) err = "Cannot connect to the application manager at " + endpoint;
  }
  return t;
}

}  // namespace evtask
