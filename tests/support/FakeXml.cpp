#include "support/FakeXml.h"

#include <gtest/gtest.h>

#include "platform/PlatformMessages.h"
#include "service/TaskWireStructs.h"

namespace evtask {
namespace test {

void respondXml(FakeAppMgr& fake, const char* xml) {
  XmlHandlerResp resp{};
  std::string copy = xml != nullptr ? xml : "";
  resp.xml = xml != nullptr ? &copy[0] : nullptr;
  fake.respond(kXmlHandlerReq, resp);
}

void respondStoredProcedure(FakeAppMgr& fake, const char* output) {
  ExecuteSPResp resp{};
  std::string copy = output != nullptr ? output : "";
  resp.output = output != nullptr ? &copy[0] : nullptr;
  fake.respond(kExecuteSPReq, resp);
}

void respondCreate(FakeAppMgr& fake, uint32_t requestType, const char* xml, const std::vector<int64_t>& jobIds,
                   int taskId, int resultCode, const char* resultMessage) {
  ::CreateTaskResp resp{};
  std::string x = xml != nullptr ? xml : "";
  std::string m = resultMessage != nullptr ? resultMessage : "";
  std::vector<int64_t> ids(jobIds);
  resp.xml = xml != nullptr ? &x[0] : nullptr;
  resp.resultMessage = resultMessage != nullptr ? &m[0] : nullptr;
  resp.resultCode = resultCode;
  resp.taskId = taskId;
  resp.count = static_cast<uint32_t>(ids.size());
  resp.jobIds = ids.empty() ? nullptr : ids.data();
  fake.respond(requestType, resp);
}

std::vector<std::string> sentXml(const FakeAppMgr& fake, uint32_t type) {
  std::vector<std::string> out;
  for (const RecordedRequest& r : fake.requests()) {
    if (r.type != type) continue;
    const char* p = nullptr;
    if (type == msg::kCreateTask) p = r.as<::CreateTaskReq>().xml;
    else if (type == msg::kTaskRequest || type == msg::kRunTasks) p = r.as<TaskMgrReq>().xml;
    else if (type == kXmlHandlerReq) p = r.as<XmlHandlerReq>().xml;
    else if (type == kExecuteSPReq) p = r.as<ExecuteSPReq>().input;
    else ADD_FAILURE() << "no XML in requests of type " << std::hex << type;
    out.push_back(p != nullptr ? p : "");
  }
  return out;
}

CNMessageBase parsedXml(const std::string& xml) {
  // Read here rather than through XMLDecoder, which would be one more
  // exchange with the fake.
  CNMessageBase m(0, 0);
  if (m.unserializeAnyClass(xml) != 0) {
    ADD_FAILURE() << "sent XML does not parse: " << m.lastError() << "\n" << xml.substr(0, 400);
  }
  return m;
}

const CNMessageBase* at(const CNMessageBase& m, std::initializer_list<uint16_t> path) {
  const CNMessageBase* cur = &m;
  for (uint16_t tag : path) {
    if (cur == nullptr) return nullptr;
    cur = cur->getObjectAccessor(tag, 0);
  }
  return cur;
}

long long num(const CNMessageBase& m, std::initializer_list<uint16_t> path, uint16_t tag) {
  const CNMessageBase* c = at(m, path);
  long long v = kAbsent;
  if (c != nullptr) c->getint64(tag, 0, v);
  return v;
}

std::string text(const CNMessageBase& m, std::initializer_list<uint16_t> path, uint16_t tag) {
  const CNMessageBase* c = at(m, path);
  std::string v = "<absent>";
  if (c != nullptr) c->getstring(tag, 0, v);
  return v;
}

std::vector<CNMessageBase> list(const CNMessageBase& m, std::initializer_list<uint16_t> path, uint16_t tag) {
  const CNMessageBase* c = at(m, path);
  std::vector<CNMessageBase> v;
  if (c != nullptr) c->getlistobject(tag, 0, v);
  return v;
}

}  // namespace test
}  // namespace evtask
