// Handlers of the platform's own messages: global parameters, client facts
// and the reading of XML texts.
#include "appmgr/AppManager.h"
#include "appmgr/AppMgrErrors.h"
#include "platform/CNMessageBase.h"
#include "platform/PlatformMessages.h"

namespace evtask {
namespace appmgr {

namespace {

// An unset parameter reads as the empty value.
int getGlobalParam(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<GlobalParamGetReq>();
  if (req.name == nullptr || *req.name == '\0') {
    err = "global parameter name is empty";
    return kAmBadRequest;
  }
  Query q(c.store, "SELECT value FROM global_params WHERE name = ?");
  q.bindText(1, req.name);
  reply.as<GlobalParamGetResp>().value = reply.text(q.step() ? q.text(0) : std::string());
  return 0;
}

int setGlobalParam(Context& c, const Request& r, Reply&, std::string& err) {
  const auto& req = r.as<GlobalParamSetReq>();
  if (req.name == nullptr || *req.name == '\0') {
    err = "global parameter name is empty";
    return kAmBadRequest;
  }
  Query q(c.store, "INSERT OR REPLACE INTO global_params(name, value) VALUES(?, ?)");
  q.bindText(1, req.name).bindText(2, req.value != nullptr ? req.value : "").run();
  return 0;
}

int clientFact(Context& c, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<ClientFactReq>();
  const char* sql = nullptr;
  const char* what = "client ";
  switch (req.fact) {
    case kFactIsNASClient:
      sql = "SELECT is_nas, '' FROM clients WHERE client_id = ?";
      break;
    case kFactIsNonNDMPClient:
      sql = "SELECT is_non_ndmp, '' FROM clients WHERE client_id = ?";
      break;
    case kFactVersionInfo:
      sql = "SELECT 0, version FROM clients WHERE client_id = ?";
      break;
    case kFactClusterType:
      sql = "SELECT cluster_type, '' FROM instances WHERE instance_id = ?";
      what = "instance ";
      break;
    case kFactCloudAppsInstanceType:
      sql = "SELECT cloud_apps_type, '' FROM instances WHERE instance_id = ?";
      what = "instance ";
      break;
    default:
      err = "unknown client fact " + std::to_string(req.fact);
      return kAmBadRequest;
  }
  Query q(c.store, sql);
  q.bind(1, req.id);
  if (!q.step()) {
    err = what + std::to_string(req.id) + " does not exist";
    return kAmNotFound;
  }
  auto& resp = reply.as<ClientFactResp>();
  resp.number = static_cast<int32_t>(q.integer(0));
  resp.text = reply.text(q.text(1));
  return 0;
}

// Reads the text with the classes this manager knows and answers with the
// class it names and the message written out again. A text that does not
// read is refused with the reader's code and text.
int xmlDecode(Context&, const Request& r, Reply& reply, std::string& err) {
  const auto& req = r.as<XmlDecodeReq>();
  CNMessageBase message(0, 0);
  const int rc = message.unserializeAnyClass(req.xml != nullptr ? req.xml : "");
  if (rc != 0) {
    err = message.lastError();
    return rc;
  }
  std::string xml;
  if (message.serialize(xml, false) != 0) {
    err = message.lastError();
    return kAmBadRequest;
  }
  auto& resp = reply.as<XmlDecodeResp>();
  resp.family = message.getFamily();
  resp.classNo = message.getClassNo();
  resp.xml = reply.text(xml);
  return 0;
}

}  // namespace

void addPlatformHandlers(AppManager& s) {
  s.add(kGlobalParamGetReq, getGlobalParam, AppManager::kReads);
  s.add(kGlobalParamSetReq, setGlobalParam);
  s.add(kClientFactReq, clientFact, AppManager::kReads);
  s.add(kXmlDecodeReq, xmlDecode, AppManager::kReads);
}

}  // namespace appmgr
}  // namespace evtask
