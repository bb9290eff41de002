#include "support/FakeAppMgr.h"

#include <gtest/gtest.h>

#include "platform/CNMessageBase.h"
#include "platform/PlatformMessages.h"
#include "platform/YmErrors.h"
#include "service/TaskWireStructs.h"

namespace evtask {
namespace test {

FakeAppMgr::FakeAppMgr() {
  registerPlatformCatalogue();
  registerTaskCatalogue();
}

FakeAppMgr::~FakeAppMgr() = default;

void FakeAppMgr::encodeOrDie(uint32_t type, const void* data, size_t size, Frame& out) {
  std::string err;
  const int rc = EncodeFrame(type, data, size, &out, &err);
  if (rc != 0) {
    ADD_FAILURE() << "fake application manager cannot encode type " << std::hex << type << ": " << err;
    out.clear();
  }
}

void FakeAppMgr::queueEncoded(uint32_t requestType, const void* data, size_t size) {
  Frame f;
  encodeOrDie(requestType + 1, data, size, f);
  std::lock_guard<std::mutex> lock(m_mu);
  m_scripted[requestType].push_back(std::move(f));
}

Frame FakeAppMgr::headerOnlyResponse(uint32_t requestType, const AppMgrReqHdr& request, int code,
                                     const char* text) {
  const uint32_t respType = requestType + 1;
  const WireLayout* layout = WireCatalogue::instance().find(respType);
  if (layout == nullptr) {
    ADD_FAILURE() << "no response type for request " << std::hex << requestType;
    return Frame();
  }
  std::vector<uint64_t> buf(layout->size / 8 + 1, 0);
  std::string owned = text != nullptr ? text : "";
  initResponseHeader(*reinterpret_cast<AppMgrRespHdr*>(buf.data()), request, code,
                     text != nullptr ? &owned[0] : nullptr);
  Frame f;
  encodeOrDie(respType, buf.data(), layout->size, f);
  return f;
}

Frame FakeAppMgr::defaultResponse(const RecordedRequest& req, int code, const char* text) {
  AppMgrReqHdr reqHdr;
  std::memcpy(&reqHdr, req.storage.data(), sizeof reqHdr);
  return headerOnlyResponse(req.type, reqHdr, code, text);
}

void FakeAppMgr::respondError(uint32_t requestType, int code, const std::string& text) {
  Frame f = headerOnlyResponse(requestType, AppMgrReqHdr{}, code, text.c_str());
  std::lock_guard<std::mutex> lock(m_mu);
  m_scripted[requestType].push_back(std::move(f));
}

void FakeAppMgr::setHandler(uint32_t requestType, Handler handler) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_handlers[requestType] = std::move(handler);
}

void FakeAppMgr::failNextSend(int code, const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_sendFault = {code, text};
}

void FakeAppMgr::failNextReceive(int code, const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_receiveFault = {code, text};
}

void FakeAppMgr::mutateNextResponse(std::function<void(Frame&)> mutate) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_mutate = std::move(mutate);
}

void FakeAppMgr::setGlobalParam(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_globals[name] = value;
}

std::string FakeAppMgr::globalParam(const std::string& name) const {
  std::lock_guard<std::mutex> lock(m_mu);
  auto it = m_globals.find(name);
  return it == m_globals.end() ? std::string() : it->second;
}

void FakeAppMgr::setClientFact(uint32_t fact, uint32_t id, int number, const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_facts[{fact, id}] = Fact{number, text};
}

std::vector<RecordedRequest> FakeAppMgr::requests() const {
  std::lock_guard<std::mutex> lock(m_mu);
  return m_requests;
}

std::vector<uint32_t> FakeAppMgr::requestTypes() const {
  std::lock_guard<std::mutex> lock(m_mu);
  std::vector<uint32_t> out;
  for (const RecordedRequest& r : m_requests) out.push_back(r.type);
  return out;
}

size_t FakeAppMgr::requestCount() const {
  std::lock_guard<std::mutex> lock(m_mu);
  return m_requests.size();
}

RecordedRequest FakeAppMgr::last(uint32_t type) const {
  std::lock_guard<std::mutex> lock(m_mu);
  for (auto it = m_requests.rbegin(); it != m_requests.rend(); ++it) {
    if (it->type == type) return *it;
  }
  ADD_FAILURE() << "no request of type " << std::hex << type << " was received";
  RecordedRequest none;
  none.storage.assign(64, 0);
  return none;
}

void FakeAppMgr::clearRequests() {
  std::lock_guard<std::mutex> lock(m_mu);
  m_requests.clear();
}

int FakeAppMgr::takeFault(PendingFault& fault, std::string& err) {
  const int rc = fault.code;
  if (rc != 0) err = fault.text;
  fault.code = 0;
  return rc;
}

int FakeAppMgr::onSend(const Frame&, std::string& err) {
  std::lock_guard<std::mutex> lock(m_mu);
  return takeFault(m_sendFault, err);
}

int FakeAppMgr::onReceive(Frame& response, std::string& err) {
  std::lock_guard<std::mutex> lock(m_mu);
  if (const int rc = takeFault(m_receiveFault, err)) return rc;
  if (m_mutate) {
    auto mutate = std::move(m_mutate);
    m_mutate = nullptr;
    mutate(response);
  }
  return 0;
}

bool FakeAppMgr::answerPlatform(const RecordedRequest& req, Frame& response) {
  if (req.type == kXmlDecodeReq) {
    // Reads the text as the application manager does.
    const auto& r = req.as<XmlDecodeReq>();
    CNMessageBase message(0, 0);
    std::string xml;
    const int rc = message.unserializeAnyClass(r.xml != nullptr ? r.xml : "");
    if (rc != 0 || message.serialize(xml, false) != 0) {
      response = defaultResponse(req, rc != 0 ? rc : 1, message.lastError().c_str());
      return true;
    }
    XmlDecodeResp resp{};
    initResponseHeader(resp.header, r.header, 0, nullptr);
    resp.family = message.getFamily();
    resp.classNo = message.getClassNo();
    resp.xml = &xml[0];
    encodeOrDie(kXmlDecodeResp, &resp, sizeof resp, response);
    return true;
  }
  if (req.type == kGlobalParamGetReq) {
    const auto& r = req.as<GlobalParamGetReq>();
    GlobalParamGetResp resp{};
    std::string value = globalParam(r.name != nullptr ? r.name : "");
    resp.value = &value[0];
    initResponseHeader(resp.header, r.header, 0, nullptr);
    encodeOrDie(kGlobalParamGetResp, &resp, sizeof resp, response);
    return true;
  }
  if (req.type == kGlobalParamSetReq) {
    const auto& r = req.as<GlobalParamSetReq>();
    setGlobalParam(r.name != nullptr ? r.name : "", r.value != nullptr ? r.value : "");
    response = defaultResponse(req, 0, nullptr);
    return true;
  }
  if (req.type == kClientFactReq) {
    const auto& r = req.as<ClientFactReq>();
    Fact fact{0, std::string()};
    bool known;
    {
      std::lock_guard<std::mutex> lock(m_mu);
      auto it = m_facts.find({r.fact, r.id});
      known = it != m_facts.end();
      if (known) fact = it->second;
    }
    if (!known) {
      response = defaultResponse(req, 2, "unknown client or instance");
      return true;
    }
    ClientFactResp resp{};
    initResponseHeader(resp.header, r.header, 0, nullptr);
    resp.number = fact.number;
    resp.text = &fact.text[0];
    encodeOrDie(kClientFactResp, &resp, sizeof resp, response);
    return true;
  }
  return false;
}

void FakeAppMgr::handleFrame(const Frame& request, Frame& response) {
  RecordedRequest rec;
  rec.arena = std::make_shared<WireArena>();
  DecodedFrame decoded;
  std::string err;
  const int rc = DecodeAnyFrame(request.data(), request.size(), &decoded, rec.arena.get(), &err);
  if (rc != 0) {
    ADD_FAILURE() << "fake application manager received a malformed request: " << err;
    response.clear();
    return;
  }
  rec.type = decoded.type;
  rec.size = static_cast<uint32_t>(decoded.size());
  rec.storage = decoded.storage;
  Frame scripted;
  bool haveScripted = false;
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(m_mu);
    m_requests.push_back(rec);
    auto it = m_scripted.find(rec.type);
    if (it != m_scripted.end() && !it->second.empty()) {
      scripted = std::move(it->second.front());
      it->second.pop_front();
      haveScripted = true;
    } else {
      auto h = m_handlers.find(rec.type);
      if (h != m_handlers.end()) handler = h->second;
    }
  }
  if (haveScripted) {
    response = std::move(scripted);
  } else if (handler) {
    handler(rec, response);
  } else if (!answerPlatform(rec, response)) {
    response = defaultResponse(rec, 0, nullptr);
  }
}

ScopedFakeAppMgr::ScopedFakeAppMgr() : m_fake(std::make_shared<FakeAppMgr>()) { setInProcessHandler(m_fake); }
ScopedFakeAppMgr::~ScopedFakeAppMgr() { setInProcessHandler(nullptr); }

}  // namespace test
}  // namespace evtask
