#include "appmgr/AppManager.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "appmgr/AppMgrErrors.h"
#include "platform/PlatformMessages.h"
#include "platform/WireCatalogue.h"
#include "service/TaskWireStructs.h"

namespace evtask {
namespace appmgr {

namespace {

std::string hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

}  // namespace

bool makePrivateFolders(const std::string& dir, std::string& err) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    const std::string part = dir.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      err = "cannot create folder " + part + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

char* Reply::text(const std::string& s) {
  m_texts.push_back(s);
  return &m_texts.back()[0];
}

AppManager::AppManager() {
  registerPlatformCatalogue();
  registerTaskCatalogue();
}

AppManager::~AppManager() { close(); }

int AppManager::open(const AppManagerOptions& options, std::string& err) {
  std::lock_guard<std::mutex> lock(m_store.mutex());
  int rc = m_store.open(options.dbPath, err);
  if (rc != 0) return rc;
  m_jobs.reset(new JobSimulator(m_store, options.jobSpeed, options.failureRatio, options.clock, options.seed));
  if (options.initDemo) {
    try {
      if (m_store.isEmpty()) {
        m_store.begin();
        loadDemoCatalogue(m_store, *m_jobs);
        m_store.commit();
      }
    } catch (const StoreError& e) {
      m_store.rollback();
      err = std::string("cannot load the demo catalogue: ") + e.what();
      m_store.close();
      return kAmStoreError;
    }
  }
  addTaskHandlers(*this);
  addPlatformHandlers(*this);
  addScheduleHandlers(*this);
  return 0;
}

void AppManager::close() {
  std::lock_guard<std::mutex> lock(m_store.mutex());
  m_store.close();
}

void AppManager::add(uint32_t requestType, Handler handler, Access access) {
  m_handlers[requestType] = Entry{std::move(handler), access};
}

bool AppManager::serves(uint32_t requestType) const { return m_handlers.count(requestType) != 0; }

void AppManager::errorResponse(uint32_t requestType, const AppMgrReqHdr& reqHdr, int code, const std::string& text,
                               Frame& response) {
  response.clear();
  const WireLayout* layout = WireCatalogue::instance().find(requestType + 1);
  if (layout == nullptr) return;
  std::vector<uint64_t> buf(layout->size / 8 + 1, 0);
  std::string owned = text;
  initResponseHeader(*reinterpret_cast<AppMgrRespHdr*>(buf.data()), reqHdr, code, &owned[0]);
  std::string ignored;
  if (EncodeFrame(requestType + 1, buf.data(), layout->size, &response, &ignored) != 0) response.clear();
}

void AppManager::handleFrame(const Frame& request, Frame& response) {
  answer(request.data(), request.size(), response);
}

bool AppManager::answer(const uint8_t* request, size_t n, Frame& response) {
  response.clear();
  DecodedFrame decoded;
  WireArena arena;
  std::string err;
  int rc = DecodeAnyFrame(request, n, &decoded, &arena, &err);
  if (rc != 0) {
    // Answer in kind when the frame header is sound and its type has a
    // response, so the client sees the fault instead of a dropped
    // connection; bytes that are not a frame of this protocol get nothing.
    uint32_t type = 0;
    std::string ignored;
    if (PeekFrameType(request, n, &type, &ignored) != 0) return false;
    AppMgrReqHdr hdr{};
    if (n >= kFrameHeaderSize + sizeof hdr) std::memcpy(&hdr, request + kFrameHeaderSize, sizeof hdr);
    if (type % 2 != 0 || WireCatalogue::instance().find(type) == nullptr ||
        WireCatalogue::instance().find(type + 1) == nullptr) {
      return false;
    }
    errorResponse(type, hdr, kAmMalformed, "malformed request: " + err, response);
    return !response.empty();
  }
  const AppMgrReqHdr& reqHdr = *static_cast<const AppMgrReqHdr*>(decoded.data());
  const WireLayout* respLayout = WireCatalogue::instance().find(decoded.type + 1);
  auto it = m_handlers.find(decoded.type);
  if (decoded.type % 2 != 0 || respLayout == nullptr) {
    return false;  // a response or an unpaired type: not a request at all
  }
  if (reqHdr.magic != kAppMgrReqMagic || reqHdr.version != kAppMgrHdrVersion) {
    errorResponse(decoded.type, reqHdr, kAmMalformed, "request header is not a request header of this protocol",
                  response);
    return true;
  }
  if (it == m_handlers.end()) {
    errorResponse(decoded.type, reqHdr, kAmUnsupported,
                  "message type " + hex(decoded.type) + " is not served by this application manager", response);
    return true;
  }
  Reply reply(respLayout->size);
  Request req{decoded.type, decoded.data()};
  {
    std::lock_guard<std::mutex> lock(m_store.mutex());
    if (!m_store.isOpen()) {
      rc = kAmBusy;
      err = "the application manager is shutting down";
    } else {
      Context ctx{*this, m_store, *m_jobs};
      const bool writes = it->second.access == kWrites;
      try {
        if (writes) m_store.begin();
        rc = it->second.handler(ctx, req, reply, err);
        if (!writes) {
          // nothing to commit or undo
        } else if (rc == 0) {
          m_store.commit();
        } else {
          m_store.rollback();
        }
      } catch (const StoreError& e) {
        m_store.rollback();
        rc = kAmStoreError;
        err = std::string("database error: ") + e.what();
      }
    }
  }
  if (rc != 0) {
    errorResponse(decoded.type, reqHdr, rc, err, response);
    return true;
  }
  initResponseHeader(reply.as<AppMgrRespHdr>(), reqHdr, 0, nullptr);
  rc = EncodeFrame(decoded.type + 1, reply.data(), respLayout->size, &response, &err);
  if (rc != 0) {
    // Committed but cannot be carried (e.g. beyond the frame limit): report
    // it rather than send nothing.
    errorResponse(decoded.type, reqHdr, kAmBadRequest, "the response cannot be sent: " + err, response);
  }
  return true;
}

}  // namespace appmgr
}  // namespace evtask
