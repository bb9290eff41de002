// Every exchange of the task service's network interface, as a caller drives
// it: one table entry per TaskInterfaceNet operation that reaches the
// application manager, with the caller-side state it reads and writes. The
// fault matrix runs each entry against each fault; the client-side fuzz
// target runs the entry that owns the response type it decodes.
//
// Adding an operation (for example a schedule or job exchange) is one entry
// in netOperations(); anything new it writes goes into NetCallState and its
// dump().
//
// Free of the test framework. Not thread-safe.
#ifndef EVTASK_TESTS_SUPPORT_NETOPERATIONS_H
#define EVTASK_TESTS_SUPPORT_NETOPERATIONS_H

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "records/CatalogueRecords.h"
#include "records/TaskRecords.h"
#include "service/TaskInterface.h"

namespace evtask {
namespace test {

// Records every callback it receives, as text.
class RecordingCallback : public OptionCallBack, public FileCallBack {
 public:
  int getOptionsCallback(unsigned long long optionId, std::string value, unsigned long type) override;
  int getDefaultsCallback(unsigned long long optionId, std::string value, unsigned long type) override;
  int getFilesCallback(unsigned long long optionId, std::string value, unsigned long type) override;
  std::string received;
};

// What a caller hands to the operations: a record and output arguments that
// already hold values, so that any change shows in dump().
struct NetCallState {
  NetCallState();
  _TaskInfo task;
  std::list<unsigned long long> jobs;
  long long requestId = 77;
  std::string value = "caller's value";
  std::list<_ComplianceOptionInfo> compliance;
  std::list<_RecordCenterInfo> centers;
  std::list<_RecordConnectorInfo> connectors;
  std::list<_LegalHoldInfo> holds;
  std::list<_DM2TagInfo> tags;
  _UpdateInformation updates;
  RecordingCallback callback;
  std::string err;
  // Everything above except err, as text.
  std::string dump() const;
};

struct NetOperation {
  const char* name;
  uint32_t requestType;
  // True when a successful answer of the operation changes the caller's state.
  bool changesState;
  int (*run)(TaskInterface& iface, NetCallState& s);
};

const std::vector<NetOperation>& netOperations();

// An entity whose fields hold base, base + 1, ... in declaration order
// (reserved1 to localValue2), and base + 12 as its task id.
Sched_AssocEntity sampleEntity(long base);

// Text forms used by the dumps of task objects too.
std::string dumpRecord(const _TaskInfo& task);

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_SUPPORT_NETOPERATIONS_H
