#include "platform/ClientFacts.h"

#include "platform/AppMgrExchange.h"
#include "platform/PlatformMessages.h"

using namespace evtask;

namespace {

int askFact(ClientFactKind fact, unsigned long id, int& number, std::string* text) {
  ClientFactReq req{};
  ClientFactResp resp{};
  req.fact = fact;
  req.id = static_cast<uint32_t>(id);
  std::string err;
  AppMgrExchange ex;
  const int rc = ex.run(kClientFactReq, req, resp, err);
  if (rc != 0) return rc;
  number = resp.number;
  if (text != nullptr) *text = resp.text != nullptr ? resp.text : "";
  return 0;
}

int askFlag(ClientFactKind fact, unsigned long id, bool& flag) {
  int number = 0;
  const int rc = askFact(fact, id, number, nullptr);
  if (rc == 0) flag = number != 0;
  return rc;
}

}  // namespace

YMClient::YMClient(unsigned long clientId) : m_clientId(clientId) {}
int YMClient::isNASClient(bool& isNas, void*) { return askFlag(kFactIsNASClient, m_clientId, isNas); }
int YMClient::isNonNDMPClient(bool& isNonNdmp, void*) {
  return askFlag(kFactIsNonNDMPClient, m_clientId, isNonNdmp);
}

ClientProperties::ClientProperties(unsigned long clientId) : m_clientId(clientId) {}
int ClientProperties::getVersionInfo(std::string& version, void*) {
  int number = 0;
  std::string text;
  const int rc = askFact(kFactVersionInfo, m_clientId, number, &text);
  if (rc == 0) version = text;
  return rc;
}

DistributedClusterInstance::DistributedClusterInstance(unsigned long instanceId) : m_instanceId(instanceId) {}
int DistributedClusterInstance::getClusterType(App::DistributedClusterType& type, void*) {
  int number = 0;
  const int rc = askFact(kFactClusterType, m_instanceId, number, nullptr);
  if (rc == 0) type = number;
  return rc;
}

CloudAppsInstance::CloudAppsInstance(unsigned long instanceId) : m_instanceId(instanceId) {}
int CloudAppsInstance::getInstanceType(App::CloudAppsInstanceType& type, void*) {
  int number = 0;
  const int rc = askFact(kFactCloudAppsInstanceType, m_instanceId, number, nullptr);
  if (rc == 0) type = number;
  return rc;
}
