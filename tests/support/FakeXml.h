// The XML side of the scripted application manager: answers for the XML
// request handler, the stored procedure and the task-creation exchanges, and
// readers of the XML texts that the client sent, parsed back through the
// message base so that tests compare fields by tag.
#ifndef EVTASK_TESTS_SUPPORT_FAKEXML_H
#define EVTASK_TESTS_SUPPORT_FAKEXML_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/CNMessageBase.h"
#include "support/FakeAppMgr.h"

namespace evtask {
namespace test {

// Queues the answer to the next XMLHandler request: `xml` as reply (null:
// a reply without XML).
void respondXml(FakeAppMgr& fake, const char* xml);
// Queues the output of the next stored procedure call (null: no output).
void respondStoredProcedure(FakeAppMgr& fake, const char* output);
// Queues a CreateTaskResp for the next request of `requestType`.
void respondCreate(FakeAppMgr& fake, uint32_t requestType, const char* xml, const std::vector<int64_t>& jobIds,
                   int taskId = 0, int resultCode = 0, const char* resultMessage = nullptr);

// The XML texts of every request of `type`, in order: the XML field of
// CreateTaskReq, TaskMgrReq and XmlHandlerReq, the input of ExecuteSPReq.
std::vector<std::string> sentXml(const FakeAppMgr& fake, uint32_t type);

// The message a text holds, whatever its class; fails the test when the
// text does not parse.
CNMessageBase parsedXml(const std::string& xml);

// Follows nested messages by tag; null when a step is absent.
const CNMessageBase* at(const CNMessageBase& m, std::initializer_list<uint16_t> path);
// The integer at `tag` of the message at `path`; kAbsent when missing.
constexpr long long kAbsent = -0x7FFFFFFFFFFFFFF0ll;
long long num(const CNMessageBase& m, std::initializer_list<uint16_t> path, uint16_t tag);
std::string text(const CNMessageBase& m, std::initializer_list<uint16_t> path, uint16_t tag);
// The messages of the list at `tag` of the message at `path`.
std::vector<CNMessageBase> list(const CNMessageBase& m, std::initializer_list<uint16_t> path, uint16_t tag);

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_SUPPORT_FAKEXML_H
