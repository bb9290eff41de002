// The fault matrix: every service operation against every fault of an
// exchange. Columns are the network interface's exchanges, the task
// object's operations that reach the service and its schedule and job flows;
// rows are the faults of support/FaultInjector.h, the last two acted out by
// a scripted peer over a Unix socket. In every failing cell the caller sees the fault's
// code and a non-empty text, and its record, caches and output arguments are
// as they were, except for the resets an operation makes before its exchange,
// which the task table lists per operation. A control row (no fault) checks
// that the sample answer does reach the caller's state, so that an unchanged
// state in a failing cell means something.
//
// Extending it: a new interface exchange is an entry in netOperations()
// (support/NetOperations.cpp); a new task object operation is an entry in
// taskCases() below, a new schedule or job flow one in flowCases(); a new
// fault is a Fault value, a case in the injector (or in SocketPeer), and an
// entry in kFaultRows.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/EvDebug.h"
#include "platform/PlatformMessages.h"
#include "platform/SocketTransport.h"
#include "platform/YMPlatformInfo.h"
#include "platform/YmErrors.h"
#include "service/Platform.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"
#include "support/FaultInjector.h"
#include "schedule/ScheduleTestXml.h"
#include "schedule/XmlMessages.h"
#include "support/FakeXml.h"
#include "support/NetOperations.h"
#include "support/TestSupport.h"
#include "task/EvTask.h"

using namespace evtask;
using namespace evtask::test;

namespace {

// The last two rows run over a Unix socket to the scripted peer below; the
// others in process.
const Fault kFaultRows[] = {Fault::kSendFails,  Fault::kReceiveFails,   Fault::kServerError,
                            Fault::kTruncated,  Fault::kGarbage,        Fault::kWrongType,
                            Fault::kRefOutside, Fault::kHugeCount,      Fault::kClosedMidFrame,
                            Fault::kSilent};

// The I/O timeout of the socket rows: the silent server costs this much per
// cell, and no more. Short, but long enough for the peer's thread to get the
// processor on a loaded machine (a peer that answers late reads as silent).
const char* kIoTimeoutMs = "200";
constexpr long long kHangMs = 5000;

// Cells that fail today because of defects being mended elsewhere, as
// "operation / fault". A cell listed here must still fail; once it passes,
// remove it. Empty: every cell passes.
const std::set<std::string> kKnownFailures = {};

using Parts = std::map<std::string, std::string>;

std::string describe(const Parts& before, const Parts& after) {
  std::ostringstream o;
  for (const auto& kv : after) {
    auto it = before.find(kv.first);
    if (it == before.end() || it->second != kv.second) {
      o << "\n  " << kv.first << " was [" << (it == before.end() ? "-" : it->second) << "] now [" << kv.second
        << "]";
    }
  }
  return o.str();
}

// Tallies the cells and applies the known-failure list.
struct Tally {
  int cells = 0;
  int known = 0;
  int notApplicable = 0;

  void cell(const std::string& key, const std::string& problem) {
    ++cells;
    if (kKnownFailures.count(key) != 0) {
      ++known;
      if (problem.empty()) ADD_FAILURE() << key << " passes now: remove it from kKnownFailures";
      return;
    }
    if (!problem.empty()) ADD_FAILURE() << key << ":" << problem;
  }
};

// Checks one failing cell; returns what is wrong, or an empty text.
std::string checkFailure(Fault fault, int hits, int rc, const std::string& err, const Parts& expected,
                         const Parts& after, long long tookMs) {
  std::string problem;
  if (tookMs > kHangMs) problem += " took " + std::to_string(tookMs) + " ms;";
  if (hits == 0) problem += " the exchange was never made;";
  if (rc != faultCode(fault)) problem += " code " + std::to_string(rc) + ", expected " + std::to_string(faultCode(fault)) + ";";
  if (err.empty()) problem += " empty error text;";
  if (expected != after) problem += " caller's state changed:" + describe(expected, after);
  return problem;
}


// --- the socket peer ------------------------------------------------------------------------------

bool readAll(int fd, uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t r = ::read(fd, p, n);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool writeAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

// A server on a Unix socket that answers every frame through the fault
// injector, as the in-process transport would, and acts out the injector's
// socket faults on the armed exchange: it sends half of the answer and
// closes, or reads the request and says nothing until the client gives up.
class SocketPeer {
 public:
  explicit SocketPeer(FaultInjector& injector) : m_injector(injector) {
    char dir[] = "/tmp/evtask-peer-XXXXXX";
    if (mkdtemp(dir) == nullptr) return;
    m_dir = dir;
    m_path = m_dir + "/peer.sock";
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, m_path.c_str(), sizeof addr.sun_path - 1);
    m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listen, 16) != 0 || ::pipe(m_wake) != 0) {
      return;
    }
    m_acceptor = std::thread([this] { acceptLoop(); });
  }

  ~SocketPeer() {
    m_stop = true;
    if (m_wake[1] >= 0) (void)!::write(m_wake[1], "x", 1);
    if (m_acceptor.joinable()) m_acceptor.join();
    {
      std::lock_guard<std::mutex> lock(m_mu);
      for (int fd : m_open) ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& t : m_conns) t.join();
    for (int fd : {m_listen, m_wake[0], m_wake[1]}) {
      if (fd >= 0) ::close(fd);
    }
    if (!m_path.empty()) ::unlink(m_path.c_str());
    if (!m_dir.empty()) ::rmdir(m_dir.c_str());
  }

  bool ready() const { return m_acceptor.joinable(); }
  std::string endpoint() const { return "unix:" + m_path; }

 private:
  void acceptLoop() {
    while (!m_stop) {
      pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0) return;
      const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard<std::mutex> lock(m_mu);
      m_open.insert(fd);
      m_conns.emplace_back([this, fd] { serve(fd); });
    }
  }

  void serve(int fd) {
    for (;;) {
      Frame request(kFrameHeaderSize);
      if (!readAll(fd, request.data(), request.size())) break;
      uint32_t bodySize;
      std::memcpy(&bodySize, request.data() + 16, 4);
      if (bodySize > kMaxFrameSize) break;
      request.resize(kFrameHeaderSize + bodySize);
      if (!readAll(fd, request.data() + kFrameHeaderSize, bodySize)) break;
      const Fault fault = m_injector.faultFor(request);
      std::string err;
      if (m_injector.onSend(request, err) != 0) break;
      Frame response;
      m_injector.handleFrame(request, response);
      if (m_injector.onReceive(response, err) != 0) break;
      if (fault == Fault::kClosedMidFrame) {
        writeAll(fd, response.data(), response.size() / 2);
        break;
      }
      if (fault == Fault::kSilent) {
        // Read whatever comes until the client closes its end.
        uint8_t sink[256];
        while (::read(fd, sink, sizeof sink) > 0) {
        }
        break;
      }
      if (!writeAll(fd, response.data(), response.size())) break;
    }
    std::lock_guard<std::mutex> lock(m_mu);
    m_open.erase(fd);
    ::close(fd);
  }

  FaultInjector& m_injector;
  std::string m_dir, m_path;
  int m_listen = -1;
  int m_wake[2] = {-1, -1};
  std::atomic<bool> m_stop{false};
  std::thread m_acceptor;
  std::mutex m_mu;
  std::set<int> m_open;
  std::vector<std::thread> m_conns;
};

// Sends the cell's exchanges to the peer for the socket rows.
class Route {
 public:
  Route(Fault fault, ScopedFaultInjector& env) {
    if (!isSocketFault(fault)) return;
    m_peer.reset(new SocketPeer(env.injector()));
    YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", m_peer->endpoint());
    YMPlatformInfo::setValue("Platform", "IoTimeoutMs", kIoTimeoutMs);
    YMPlatformInfo::setValue("Platform", "ConnectTimeoutMs", "2000");
  }
  ~Route() {
    if (!m_peer) return;
    YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", "embedded");
    drainSocketPool();
  }
  bool ok() const { return !m_peer || m_peer->ready(); }

 private:
  std::unique_ptr<SocketPeer> m_peer;
};

long long elapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

// --- the network interface's exchanges -------------------------------------------------------

Parts netParts(const NetCallState& s) { return Parts{{"state", s.dump()}}; }

// --- the task object's operations ---------------------------------------------------------------

// The record every task object of the matrix starts from.
_TaskInfo sampleRecord() {
  _TaskInfo t = NetCallState().task;
  t.idKind = 2;
  return t;
}

class ProbeTask : public EvTask {
 public:
  ProbeTask() : EvTask(7, 2, nullptr, false) {}
  _TaskInfo& record() { return taskInfo; }
  bool& lookedUp() { return initialized; }
  bool& xmlLoaded() { return xmlOptionsInitialized; }
  bool& extLoaded() { return extOptionsInitialized; }
};

// Output arguments, holding values before the call.
struct TaskOutputs {
  Sched_Task row;
  Sched_SubTask subRow;
  std::vector<Sched_AssocEntity> entities{Sched_AssocEntity()};
  Sched_AssocEntity entity;
  std::vector<Sched_Pattern> patterns{Sched_Pattern()};
  std::string text = "caller's text";
  unsigned long long bits = 0x55;
  bool isSet = true;
  std::list<unsigned long long> jobs{9};
  long long requestId = 77;
  long defaultTaskId = 66;
  TaskOptionList options;
  TaskFileList files;
  int intValue = 44;
  unsigned long ulongValue = 45;

  TaskOutputs() {
    row.taskId = 1;
    subRow.subTaskId = 2;
    entity.clientId = 3;
    options.addToOptList(1, "one", 1);
    files.addToFileList(2, "/two", 1);
  }

  std::string dump() const {
    _TaskInfo t;
    t.task = row;
    t.subTask = subRow;
    t.entities = entities;
    t.entities.push_back(entity);
    t.patterns = patterns;
    std::ostringstream o;
    o << dumpRecord(t) << "|" << text << "|" << bits << "|" << isSet << "|" << requestId << "|" << defaultTaskId
      << "|" << intValue << "|" << ulongValue << "|jobs:";
    for (unsigned long long j : jobs) o << j << ",";
    o << "|options:";
    for (const TaskOption* p : options.getList()) o << p->getOptionId() << "=" << p->getValue() << ",";
    o << "|files:";
    for (const TaskFile* p : files.getList()) o << p->getOptionId() << "=" << p->getValue() << ",";
    return o.str();
  }
};

Parts taskParts(ProbeTask& task, const TaskOutputs& out) {
  Parts p;
  _TaskInfo rest = task.record();
  rest.entities.clear();
  rest.patterns.clear();
  rest.idKind = 0;
  p["record"] = dumpRecord(rest);
  _TaskInfo lists;
  lists.entities = task.record().entities;
  p["entities"] = dumpRecord(lists);
  lists.entities.clear();
  lists.patterns = task.record().patterns;
  p["patterns"] = dumpRecord(lists);
  p["idKind"] = std::to_string(task.record().idKind);
  TaskOptionList opts;
  task.TmTaskOptions::copyCacheTo(opts);
  std::string o = task.areOptsInitialized() ? "loaded:" : "unloaded:";
  for (const TaskOption* x : opts.getList()) o += std::to_string(x->getOptionId()) + "=" + x->getValue() + ",";
  p["options"] = o;
  TaskFileList files;
  task.TmTaskFiles::copyCacheTo(files, 0);
  std::string f = task.areFilesInitialized() ? "loaded:" : "unloaded:";
  for (const TaskFile* x : files.getList()) f += std::to_string(x->getOptionId()) + "=" + x->getValue() + ",";
  p["files"] = f;
  TaskOptionList defs;
  task.copyDefCacheTo(defs);
  std::string d = task.areDefaultInitialized() ? "loaded:" : "unloaded:";
  for (const TaskOption* x : defs.getList()) d += std::to_string(x->getOptionId()) + "=" + x->getValue() + ",";
  p["defaults"] = d;
  p["flags"] = std::to_string(task.lookedUp()) + std::to_string(task.xmlLoaded()) + std::to_string(task.extLoaded());
  p["out"] = out.dump();
  return p;
}

// The text forms of emptied parts.
std::string emptyEntities() { return dumpRecord(_TaskInfo()); }
const char* kEmptyOptions = "unloaded:";
const char* kEmptyFiles = "unloaded:";
const char* kEmptyDefaults = "unloaded:";

struct TaskCase {
  const char* name;
  uint32_t requestType;  // the exchange the fault hits
  bool changesState;     // the sample answer changes the caller's state
  // Brings the object into the state in which the operation reaches the
  // service (a cache marked unloaded, a list emptied); may be null.
  void (*prepare)(ProbeTask& task);
  int (*run)(ProbeTask& task, TaskOutputs& out);
  // The resets the operation makes before its exchange, applied to the
  // state before the call; null when it resets nothing.
  void (*resets)(Parts& expected, TaskOutputs& out);
};

void unloadOptions(ProbeTask& t) { t.resetOptsInitialized(); }
void unloadFiles(ProbeTask& t) { t.resetFilesInitialized(); }
void unloadDefaults(ProbeTask& t) {
  // The shared cache keeps its content; only its loaded flag is cleared.
  TaskOptionList keep;
  t.copyDefCacheTo(keep);
  TmTaskOptions::resetDefaultsForTesting();
  for (const TaskOption* o : keep.getList()) t.addToDefCache(*o);
}
void unloadOptionsKeepDefaults(ProbeTask& t) { t.resetOptsInitialized(); }

void optionsEmptied(Parts& p, TaskOutputs&) { p["options"] = kEmptyOptions; }
void filesEmptied(Parts& p, TaskOutputs&) { p["files"] = kEmptyFiles; }
void defaultsEmptied(Parts& p, TaskOutputs&) { p["defaults"] = kEmptyDefaults; }

// The expected entity list after a write that appends `added`.
void entitiesAppended(Parts& p, const std::vector<Sched_AssocEntity>& added) {
  _TaskInfo lists;
  lists.entities = sampleRecord().entities;
  lists.entities.insert(lists.entities.end(), added.begin(), added.end());
  p["entities"] = dumpRecord(lists);
}
void entitiesGrow(Parts& p, TaskOutputs& o) { entitiesAppended(p, o.entities); }
void clientEntityAdded(Parts& p, TaskOutputs&) {
  Sched_AssocEntity e;
  e.clientId = 5;
  entitiesAppended(p, {e});
}

const std::vector<TaskCase>& taskCases() {
  using T = ProbeTask;
  using O = TaskOutputs;
  static const std::vector<TaskCase> cases = {
      {"lookup", msg::kLookup, true, [](T& t) { t.lookedUp() = false; },
       [](T& t, O&) { return t.lookup(nullptr); }, nullptr},
      {"update", msg::kUpdate, false, nullptr, [](T& t, O&) { return t.update(nullptr); }, nullptr},
      {"getJobInfo", msg::kGetJobInfo, true, nullptr, [](T& t, O&) { return t.getJobInfo(nullptr); }, nullptr},
      {"getTaskInfo", msg::kGetTaskInfo, true, nullptr, [](T& t, O& o) { return t.getTaskInfo(o.row, nullptr); },
       nullptr},
      {"getSubTaskInfo", msg::kGetSubTaskInfo, true, nullptr,
       [](T& t, O& o) { return t.getSubTaskInfo(o.subRow, nullptr); }, nullptr},
      // Refetches replace the record's list: it is emptied first.
      {"getEntityInfo(list)", msg::kGetEntityInfo, true, nullptr,
       [](T& t, O& o) { return t.getEntityInfo(o.entities, nullptr); },
       [](Parts& p, O&) { p["entities"] = emptyEntities(); }},
      {"getEntityInfo(first)", msg::kGetEntityInfo, true, [](T& t) { t.record().entities.clear(); },
       [](T& t, O& o) { return t.getEntityInfo(o.entity, nullptr); }, nullptr},
      {"getPatternInfo", msg::kGetPatternInfo, true, nullptr,
       [](T& t, O& o) { return t.getPatternInfo(o.patterns, nullptr); },
       [](Parts& p, O&) { p["patterns"] = emptyEntities(); }},
      {"setTaskInfo", msg::kSetTaskInfo, false, nullptr, [](T& t, O& o) { return t.setTaskInfo(o.row, nullptr); },
       nullptr},
      {"setSubTaskInfo", msg::kSetSubTaskInfo, false, nullptr,
       [](T& t, O& o) { return t.setSubTaskInfo(o.subRow, nullptr); }, nullptr},
      // The argument joins the record's list before the list is sent.
      {"setEntityInfo", msg::kSetEntityInfo, true, nullptr,
       [](T& t, O& o) { return t.setEntityInfo(o.entities, nullptr); }, entitiesGrow},
      {"addClientToTask", msg::kSetEntityInfo, true, nullptr, [](T& t, O&) { return t.addClientToTask(5, nullptr); },
       clientEntityAdded},
      {"saveChanges@task", msg::kSetTaskInfo, false, nullptr, [](T& t, O&) { return t.saveChanges(); }, nullptr},
      {"saveChanges@subtask", msg::kSetSubTaskInfo, false, nullptr, [](T& t, O&) { return t.saveChanges(); },
       nullptr},
      {"saveChanges@entities", msg::kSetEntityInfo, false, nullptr, [](T& t, O&) { return t.saveChanges(); },
       nullptr},
      {"getDefaultTaskId", msg::kGetDefaultTaskId, true, nullptr,
       [](T& t, O& o) { return t.getDefaultTaskId(o.defaultTaskId, nullptr); }, nullptr},
      {"initOptions", msg::kGetOptions, true, unloadOptions, [](T& t, O&) { return t.initOptions(nullptr); },
       optionsEmptied},
      {"getOptions(list)", msg::kGetOptions, true, unloadOptions,
       [](T& t, O& o) { return t.getOptions(o.options, nullptr); }, optionsEmptied},
      {"getOptionInt(load)", msg::kGetOptions, true, unloadOptions,
       [](T& t, O& o) { return t.getOptionInt(101, o.intValue, nullptr); }, optionsEmptied},
      {"getOptionInt(defaults)", msg::kGetDefaults, true, unloadDefaults,
       [](T& t, O& o) { return t.getOptionInt(999, o.intValue, nullptr); }, defaultsEmptied},
      {"getClientId", msg::kGetOptions, true, unloadOptionsKeepDefaults,
       [](T& t, O& o) { return t.getClientId(o.ulongValue, nullptr); }, optionsEmptied},
      {"setOptionInt", msg::kSetOptions, true, nullptr, [](T& t, O&) { return t.setOptionInt(101, 6, nullptr); },
       nullptr},
      {"setClientId", msg::kSetOptions, true, nullptr, [](T& t, O&) { return t.setClientId(12, nullptr); },
       nullptr},
      {"setOptions", msg::kSetOptions, true, nullptr, [](T& t, O& o) { return t.setOptions(o.options, nullptr); },
       nullptr},
      {"removeOptions(list)", msg::kRemoveOptions, true, nullptr,
       [](T& t, O&) {
         TaskOptionList l;
         l.addToOptList(101, "", 7);
         return t.removeOptions(l, nullptr);
       },
       nullptr},
      {"removeOptions(ids)", msg::kRemoveOptionIds, true, nullptr,
       [](T& t, O&) { return t.removeOptions(std::vector<unsigned long long>{101}, nullptr); }, nullptr},
      {"initDefaults", msg::kGetDefaults, true, unloadDefaults, [](T& t, O&) { return t.initDefaults(nullptr); },
       defaultsEmptied},
      {"initFiles", msg::kGetFiles, true, unloadFiles, [](T& t, O&) { return t.initFiles(nullptr); },
       filesEmptied},
      {"getFiles(list)", msg::kGetFiles, true, unloadFiles,
       [](T& t, O& o) { return t.getFiles(o.files, 150001, nullptr); }, filesEmptied},
      {"setFiles", msg::kSetFiles, true, nullptr, [](T& t, O& o) { return t.setFiles(o.files, nullptr); },
       nullptr},
      {"removeFiles(list)", msg::kRemoveFiles, true, nullptr,
       [](T& t, O&) {
         TaskFileList l;
         l.addToFileList(150001, "/src", 1);
         return t.removeFiles(l, nullptr);
       },
       nullptr},
      {"removeFiles(names)", msg::kRemoveFileNames, true, nullptr,
       [](T& t, O&) { return t.removeFiles(std::vector<std::string>{"/src"}, nullptr); }, nullptr},
      {"getXMLOptions", msg::kGetXMLOptions, true, nullptr, [](T& t, O& o) { return t.getXMLOptions(o.text, nullptr); },
       nullptr},
      // The out-text is emptied first; the record's id kind stays the
      // task's own (the wanted kind travels in the request only).
      {"getExtendedOptions", msg::kGetExtendedOptions, true, nullptr,
       [](T& t, O& o) { return t.getExtendedOptions(3, o.text, nullptr); },
       [](Parts& p, O& o) {
         o.text.clear();
         p["out"] = o.dump();
       }},
      // Bit options are read as options: the out-value is zeroed first.
      {"getBitOptions", msg::kGetOptions, true, unloadOptions,
       [](T& t, O& o) { return t.getBitOptions(0, o.bits, nullptr); },
       [](Parts& p, O& o) {
         optionsEmptied(p, o);
         o.bits = 0;
         p["out"] = o.dump();
       }},
      {"isBitOptionSet", msg::kGetOptions, true, unloadOptions,
       [](T& t, O& o) { return t.isBitOptionSet(0, 1, o.isSet, nullptr); },
       [](Parts& p, O& o) {
         optionsEmptied(p, o);
         o.isSet = false;
         p["out"] = o.dump();
       }},
      {"isExtOptionSet", msg::kGetOptions, true, unloadOptions,
       [](T& t, O& o) { return t.isExtOptionSet(0, 1, o.isSet, nullptr); },
       [](Parts& p, O& o) {
         optionsEmptied(p, o);
         o.isSet = false;
         p["out"] = o.dump();
       }},
      {"getJobListFromTaskId", msg::kGetJobListFromTaskId, true, nullptr,
       [](T& t, O& o) { return t.getJobListFromTaskId(o.jobs, nullptr); }, nullptr},
      {"getJobIdsFromBkpStats", msg::kGetJobIdsFromBkpStats, true, nullptr,
       [](T& t, O& o) { return t.getJobIdsFromBkpStats(o.jobs, "stats", true, 1, nullptr); }, nullptr},
      // A failure zeroes the out-value.
      {"getJobRequestIdFromJobId", msg::kGetJobRequestId, true, nullptr,
       [](T& t, O& o) { return t.getJobRequestIdFromJobId(o.requestId, nullptr); },
       [](Parts& p, O& o) {
         o.requestId = 0;
         p["out"] = o.dump();
       }},
  };
  return cases;
}


// --- the schedule and job flows -------------------------------------------------------------------

// What the flows write: every output holds a value before the call.
struct FlowOutputs {
  std::string xml = "<caller/>";
  std::list<long long> jobs{1};
  int taskId = 7;
  std::string pattern = "caller's pattern";
  JobManager::JobListResponse summary;
  int requestId = 4;
  std::vector<int> ids{2};

  FlowOutputs() { summary.setint64(9, 0, 5); }

  std::string dump() const {
    std::string s;
    summary.serialize(s);
    std::ostringstream o;
    o << xml << "|" << taskId << "|" << pattern << "|" << s << "|" << requestId << "|jobs:";
    for (long long j : jobs) o << j << ",";
    o << "|ids:";
    for (int i : ids) o << i << ",";
    return o.str();
  }
};

struct FlowCase {
  const char* name;
  uint32_t requestType;  // the exchange the fault hits
  // The flow reports its code (false: only success or failure).
  bool reportsCode;
  // The control answer reaches the outputs.
  bool changesState;
  // Queues the server's answer of the control row.
  void (*script)(FakeAppMgr& fake);
  // Runs the flow; `err` receives the text the caller sees.
  int (*run)(ProbeTask& task, FlowOutputs& out, std::string& err);
};

const std::vector<FlowCase>& flowCases() {
  using T = ProbeTask;
  using O = FlowOutputs;
  static const std::vector<FlowCase> cases = {
      {"CreateTask", msg::kCreateTask, true, true,
       [](FakeAppMgr& f) { respondCreate(f, msg::kCreateTask, "<reply/>", {11}, 42); },
       [](T& t, O& o, std::string& err) { return t.CreateTask(o.xml, o.jobs, o.taskId, 6, err, 8, 0, false, false); }},
      {"TaskRequest", msg::kTaskRequest, true, true,
       [](FakeAppMgr& f) { respondCreate(f, msg::kTaskRequest, "<reply/>", {11}, 42); },
       [](T& t, O& o, std::string& err) {
         return t.TaskRequest(o.xml, o.jobs, o.taskId, 6, err, 1, 8, 0, false, false);
       }},
      {"runTasks", msg::kRunTasks, true, true, [](FakeAppMgr& f) { respondCreate(f, msg::kRunTasks, nullptr, {12}); },
       [](T& t, O& o, std::string& err) {
         std::vector<Sched_SubTask> subs(1);
         subs[0].subTaskId = 1;
         subs[0].taskId = 2;
         return t.runTasks(subs, o.jobs, err, 6, 7, 0, false, nullptr);
       }},
      {"performOperation", msg::kPerformOperation, true, true,
       [](FakeAppMgr& f) { respondCreate(f, msg::kPerformOperation, nullptr, {21}); },
       [](T& t, O& o, std::string& err) {
         std::vector<_AutomaticTaskInfo> tasks(1);
         tasks[0].subTasks.resize(1);
         tasks[0].subTasks[0].subTask.subTaskId = 1;
         tasks[0].subTasks[0].subTask.taskId = 10;
         return t.performOperation(tasks, o.jobs, err, 5, 3, 6, 7, 8, false, nullptr);
       }},
      {"getAutomaticSchedulePattern", msg::kGetAutomaticSchedulePattern, true, true,
       [](FakeAppMgr& f) {
         XmlOptionsResp resp{};
         char text[] = "<m f=\"12\" c=\"336\"/>";
         resp.text = text;
         f.respond(msg::kGetAutomaticSchedulePattern, resp);
       },
       [](T& t, O& o, std::string& err) {
         const int rc = t.getAutomaticSchedulePattern(17, o.pattern, nullptr);
         err = t.getErrorString();
         return rc;
       }},
      {"GetJobSummary", kXmlHandlerReq, false, true,
       [](FakeAppMgr& f) { respondXml(f, jobList({{3, "Running", "phase 1"}}).c_str()); },
       [](T& t, O& o, std::string& err) {
         LogCapture log;
         std::vector<long long> ids{3};
         const bool ok = t.GetJobSummary(ids, o.summary);
         for (const std::string& line : log.lines()) err += line;
         return ok ? 0 : -1;
       }},
      {"deleteTaskReq", kXmlHandlerReq, true, false, [](FakeAppMgr& f) { respondXml(f, refusal(0, nullptr).c_str()); },
       [](T& t, O&, std::string& err) {
         EvEvent ev("matrix");
         return t.deleteTaskReq("42", ev, err);
       }},
      {"getEntitiesFromRequest", kExecuteSPReq, true, true,
       [](FakeAppMgr& f) {
         JobManager::GetJobRequestEntitiesResp resp;
         resp.setint64(1, 0, 900);
         std::vector<YmEntities::SubClientEntity> subs(1);
         subs[0].setint64(0, 0, 11);
         resp.setlistobject(3, 0, subs);
         std::string xml;
         resp.serialize(xml, false);
         respondStoredProcedure(f, xml.c_str());
       },
       [](T& t, O& o, std::string& err) {
         const int rc = t.getEntitiesFromRequest(o.requestId, o.ids, nullptr);
         err = t.getErrorString();
         return rc;
       }},
  };
  return cases;
}

class FaultMatrixTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    YMPlatformInfo::clearStore();
    TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
    TmTaskOptions::resetDefaultsForTesting();
  }

  // A task object whose record, caches and lookup state all hold data.
  static void fill(ProbeTask& task) {
    task.record() = sampleRecord();
    task.lookedUp() = true;
    task.addToOptCache(101, "5", 7);
    task.addToOptCache(102, "text", 1);
    task.setOptsInitialized();
    task.addToFileCache(150001, "/src", 1);
    task.setFilesInitialized();
    task.addToDefCache(201, "9", 7);
    task.setDefaultInitialized();
  }
};

TEST_F(FaultMatrixTest, EveryOperationAgainstEveryFault) {
  Tally tally;
  int netCells = 0, taskCells = 0, flowCells = 0;

  for (const NetOperation& op : netOperations()) {
    for (Fault fault : kFaultRows) {
      if (!FaultInjector::applicable(op.requestType, fault)) {
        ++tally.notApplicable;
        continue;
      }
      ScopedFaultInjector env;
      env.injector().arm(op.requestType, fault);
      Route route(fault, env);
      ASSERT_TRUE(route.ok());
      TaskInterfaceNet net;
      NetCallState state;
      const Parts before = netParts(state);
      const auto start = std::chrono::steady_clock::now();
      const int rc = op.run(net, state);
      ++netCells;
      tally.cell(std::string("TaskInterfaceNet::") + op.name + " / " + faultName(fault),
                 checkFailure(fault, env.injector().hits(), rc, state.err, before, netParts(state), elapsedMs(start)));
    }
    // Control: the sample answer reaches the caller.
    ScopedFaultInjector env;
    env.injector().arm(op.requestType, Fault::kNone);
    TaskInterfaceNet net;
    NetCallState state;
    const std::string before = state.dump();
    EXPECT_EQ(0, op.run(net, state)) << op.name << ": " << state.err;
    EXPECT_EQ(1, env.injector().hits()) << op.name;
    if (op.changesState) {
      EXPECT_NE(before, state.dump()) << op.name << ": the sample answer changed nothing";
    }
  }

  for (const TaskCase& c : taskCases()) {
    for (Fault fault : kFaultRows) {
      if (!FaultInjector::applicable(c.requestType, fault)) {
        ++tally.notApplicable;
        continue;
      }
      reset();
      ScopedFaultInjector env;
      Route route(fault, env);
      ASSERT_TRUE(route.ok());
      ProbeTask task;
      fill(task);
      if (c.prepare != nullptr) c.prepare(task);
      TaskOutputs out;
      Parts expected = taskParts(task, out);
      env.injector().arm(c.requestType, fault);
      const auto start = std::chrono::steady_clock::now();
      const int rc = c.run(task, out);
      const long long took = elapsedMs(start);
      const std::string err = task.getErrorString();
      const int hits = env.injector().hits();
      env.injector().arm(0, Fault::kNone);
      TaskOutputs resetOut;
      if (c.resets != nullptr) c.resets(expected, resetOut);
      ++taskCells;
      tally.cell(std::string("EvTask::") + c.name + " / " + faultName(fault),
                 checkFailure(fault, hits, rc, err, expected, taskParts(task, out), took));
    }
    reset();
    ScopedFaultInjector env;
    ProbeTask task;
    fill(task);
    if (c.prepare != nullptr) c.prepare(task);
    TaskOutputs out;
    const Parts before = taskParts(task, out);
    env.injector().arm(c.requestType, Fault::kNone);
    EXPECT_EQ(0, c.run(task, out)) << c.name << ": " << task.getErrorString();
    EXPECT_LE(1, env.injector().hits()) << c.name;
    env.injector().arm(0, Fault::kNone);
    if (c.changesState) {
      EXPECT_NE(before, taskParts(task, out)) << c.name << ": the sample answer changed nothing";
    }
  }

  for (const FlowCase& c : flowCases()) {
    for (Fault fault : kFaultRows) {
      if (!FaultInjector::applicable(c.requestType, fault)) {
        ++tally.notApplicable;
        continue;
      }
      reset();
      ScopedFaultInjector env;
      Route route(fault, env);
      ASSERT_TRUE(route.ok());
      ProbeTask task;
      fill(task);
      c.script(env.fake());
      FlowOutputs out;
      Parts expected = taskParts(task, TaskOutputs());
      expected["flow"] = out.dump();
      env.injector().armScripted(c.requestType, fault);
      std::string err;
      const auto start = std::chrono::steady_clock::now();
      int rc = c.run(task, out, err);
      const long long took = elapsedMs(start);
      const int hits = env.injector().hits();
      env.injector().arm(0, Fault::kNone);
      // A flow that only tells success from failure is held to failing.
      if (!c.reportsCode && rc != 0) rc = faultCode(fault);
      Parts after = taskParts(task, TaskOutputs());
      after["flow"] = out.dump();
      ++flowCells;
      tally.cell(std::string("EvTask::") + c.name + " / " + faultName(fault),
                 checkFailure(fault, hits, rc, err, expected, after, took));
    }
    reset();
    ScopedFaultInjector env;
    ProbeTask task;
    fill(task);
    c.script(env.fake());
    FlowOutputs out;
    const std::string before = out.dump();
    env.injector().armScripted(c.requestType, Fault::kNone);
    std::string err;
    EXPECT_EQ(0, c.run(task, out, err)) << c.name << ": " << err;
    EXPECT_EQ(1, env.injector().hits()) << c.name;
    env.injector().arm(0, Fault::kNone);
    if (c.changesState) {
      EXPECT_NE(before, out.dump()) << c.name << ": the answer changed nothing";
    }
  }

  std::printf(
      "fault matrix: %d cells (%d interface, %d task object, %d schedule and job flow), %d known failures, "
      "%d not applicable\n",
      tally.cells, netCells, taskCells, flowCells, tally.known, tally.notApplicable);
  EXPECT_EQ(tally.cells, netCells + taskCells + flowCells);
}

}  // namespace
