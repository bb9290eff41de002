// The fault matrix: every service operation against every fault of an
// exchange. Columns are the network interface's exchanges, the task
// object's operations that reach the service and its schedule and job flows;
// rows are the faults of support/FaultInjector.h, the last two acted out by
// a scripted peer over a Unix socket. In every failing cell the caller sees
// the fault's code and a non-empty text, and its record, caches and output
// arguments are as they were, except for the resets an operation makes
// before its exchange, which the task table lists per operation. A control
// row (no fault) checks that the sample answer does reach the caller's
// state, so that an unchanged state in a failing cell means something.
//
// Extending it: a new interface exchange is an entry in netOperations()
// (support/NetOperations.cpp); a new task object operation is an entry in
// taskCases() below, a new schedule or job flow one in flowCases(); a new
// fault is a Fault value, a case in the injector (or in SocketPeer), and an
// entry in kFaultRows.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <list>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/PlatformMessages.h"
#include "platform/SocketTransport.h"
#include "platform/YMPlatformInfo.h"
#include "schedule/ScheduleTestXml.h"
#include "schedule/XmlMessages.h"
#include "service/Platform.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"
#include "support/FakeXml.h"
#include "support/FaultInjector.h"
#include "support/NetOperations.h"
#include "support/TestSupport.h"
#include "task/EvTask.h"

using namespace evtask;
using namespace evtask::test;

namespace {

// The last two rows run over a Unix socket to the scripted peer below; the
// others in process.
const Fault kFaultRows[] = {Fault::kSendFails, Fault::kReceiveFails, Fault::kServerError, Fault::kTruncated,
                            Fault::kGarbage,   Fault::kWrongType,    Fault::kRefOutside,  Fault::kHugeCount,
                            Fault::kClosedMidFrame, Fault::kSilent};

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
      o << "\n  " << kv.first << " was [" << (it == before.end() ? "-" : it->second) << "] now [" << kv.second << "]";
    }
  }
  return o.str();
}

// What one run of an operation left: its code, text and exchanges, the
// caller's state before the call (as is, and with the operation's resets
// applied) and after it.
struct Outcome {
  int rc = 0;
  std::string err;
  int hits = 0;
  long long tookMs = 0;
  Parts before, expected, after;
};

// Checks one failing cell; returns what is wrong, or an empty text.
std::string checkFailure(Fault fault, const Outcome& o) {
  std::string problem;
  if (o.tookMs > kHangMs) problem += " took " + std::to_string(o.tookMs) + " ms;";
  if (o.hits == 0) problem += " the exchange was never made;";
  if (o.rc != faultCode(fault)) {
    problem += " code " + std::to_string(o.rc) + ", expected " + std::to_string(faultCode(fault)) + ";";
  }
  if (o.err.empty()) problem += " empty error text;";
  if (o.expected != o.after) problem += " caller's state changed:" + describe(o.expected, o.after);
  return problem;
}

// --- the socket peer ------------------------------------------------------------------------------

// Reads (or, with `out`, sends) exactly n bytes.
bool transfer(int fd, uint8_t* p, size_t n, bool out) {
  while (n > 0) {
    const ssize_t r = out ? ::send(fd, p, n, MSG_NOSIGNAL) : ::read(fd, p, n);
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
// While it lives, the process's exchanges go to it.
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
        ::listen(m_listen, 16) != 0) {
      return;
    }
    m_acceptor = std::thread([this] { acceptLoop(); });
    YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", "unix:" + m_path);
    YMPlatformInfo::setValue("Platform", "IoTimeoutMs", kIoTimeoutMs);
    YMPlatformInfo::setValue("Platform", "ConnectTimeoutMs", "2000");
  }

  ~SocketPeer() {
    YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", "embedded");
    drainSocketPool();
    if (m_listen >= 0) ::shutdown(m_listen, SHUT_RDWR);  // ends the accept
    if (m_acceptor.joinable()) m_acceptor.join();
    {
      std::lock_guard<std::mutex> lock(m_mu);
      for (int fd : m_open) ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& t : m_conns) t.join();
    if (m_listen >= 0) ::close(m_listen);
    if (!m_path.empty()) ::unlink(m_path.c_str());
    if (!m_dir.empty()) ::rmdir(m_dir.c_str());
  }

  bool ready() const { return m_acceptor.joinable(); }

 private:
  void acceptLoop() {
    for (;;) {
      const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0 && errno != EINTR && errno != ECONNABORTED) return;
      if (fd < 0) continue;
      std::lock_guard<std::mutex> lock(m_mu);
      m_open.insert(fd);
      m_conns.emplace_back([this, fd] { serve(fd); });
    }
  }

  void serve(int fd) {
    for (;;) {
      Frame request(kFrameHeaderSize);
      if (!transfer(fd, request.data(), request.size(), false)) break;
      uint32_t bodySize;
      std::memcpy(&bodySize, request.data() + 16, 4);
      if (bodySize > kMaxFrameSize) break;
      request.resize(kFrameHeaderSize + bodySize);
      if (!transfer(fd, request.data() + kFrameHeaderSize, bodySize, false)) break;
      const Fault fault = m_injector.faultFor(request);
      std::string err;
      if (m_injector.onSend(request, err) != 0) break;
      Frame response;
      m_injector.handleFrame(request, response);
      if (m_injector.onReceive(response, err) != 0) break;
      if (fault == Fault::kClosedMidFrame) {
        transfer(fd, response.data(), response.size() / 2, true);
        break;
      }
      if (fault == Fault::kSilent) {
        // Read whatever comes until the client closes its end.
        uint8_t sink[256];
        while (::read(fd, sink, sizeof sink) > 0) {
        }
        break;
      }
      if (!transfer(fd, response.data(), response.size(), true)) break;
    }
    std::lock_guard<std::mutex> lock(m_mu);
    m_open.erase(fd);
    ::close(fd);
  }

  FaultInjector& m_injector;
  std::string m_dir, m_path;
  int m_listen = -1;
  std::thread m_acceptor;
  std::mutex m_mu;
  std::set<int> m_open;
  std::vector<std::thread> m_conns;
};

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

// A task object whose record, caches and lookup state all hold data.
void fill(ProbeTask& task) {
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

template <class List>
std::string listText(bool loaded, const List& list) {
  std::string s = loaded ? "loaded:" : "unloaded:";
  for (const auto* x : list.getList()) s += std::to_string(x->getOptionId()) + "=" + x->getValue() + ",";
  return s;
}

// Output arguments of the operations and flows, holding values before the call.
struct Outputs {
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
  // The flows' outputs.
  std::string xml = "<caller/>";
  std::list<long long> createdJobs{1};
  int taskId = 7;
  std::string pattern = "caller's pattern";
  JobManager::JobListResponse summary;
  int entityRequestId = 4;
  std::vector<int> ids{2};

  Outputs() {
    row.taskId = 1;
    subRow.subTaskId = 2;
    entity.clientId = 3;
    options.addToOptList(1, "one", 1);
    files.addToFileList(2, "/two", 1);
    summary.setint64(9, 0, 5);
  }

  std::string dump() const {
    _TaskInfo t;
    t.task = row;
    t.subTask = subRow;
    t.entities = entities;
    t.entities.push_back(entity);
    t.patterns = patterns;
    std::string s;
    summary.serialize(s);
    std::ostringstream o;
    o << dumpRecord(t) << "|" << text << "|" << bits << "|" << isSet << "|" << requestId << "|" << defaultTaskId
      << "|" << intValue << "|" << ulongValue << "|" << xml << "|" << taskId << "|" << pattern << "|" << s << "|"
      << entityRequestId << "|jobs:";
    for (unsigned long long j : jobs) o << j << ",";
    for (long long j : createdJobs) o << j << ",";
    for (int i : ids) o << i << ",";
    o << "|options:" << listText(true, options) << "|files:" << listText(true, files);
    return o.str();
  }
};

Parts taskParts(ProbeTask& task, const Outputs& out) {
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
  TaskOptionList opts, defs;
  task.TmTaskOptions::copyCacheTo(opts);
  p["options"] = listText(task.areOptsInitialized(), opts);
  TaskFileList files;
  task.TmTaskFiles::copyCacheTo(files, 0);
  p["files"] = listText(task.areFilesInitialized(), files);
  task.copyDefCacheTo(defs);
  p["defaults"] = listText(task.areDefaultInitialized(), defs);
  p["flags"] = std::to_string(task.lookedUp()) + std::to_string(task.xmlLoaded()) + std::to_string(task.extLoaded());
  p["out"] = out.dump();
  return p;
}

// A column of the task object: an operation, or a schedule or job flow
// whose exchange the fake application manager answers from a script.
struct TaskCase {
  const char* name;
  uint32_t requestType;  // the exchange the fault hits
  bool changesState;     // the sample answer changes the caller's state
  // Brings the object into the state in which the operation reaches the
  // service (a cache marked unloaded, a list emptied); may be null.
  void (*prepare)(ProbeTask& task);
  // Runs it; `err` receives the text the caller sees when the operation
  // gives its text itself rather than through the task object.
  int (*run)(ProbeTask& task, Outputs& out, std::string& err);
  // The resets the operation makes before its exchange, applied to the
  // state before the call (the outputs are dumped again afterwards); null
  // when it resets nothing.
  void (*resets)(Parts& expected, Outputs& out) = nullptr;
  // A flow: queues the server's answer of the control row.
  void (*script)(FakeAppMgr& fake) = nullptr;
  // A flow that tells only success from failure.
  bool okOrNot = false;
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

void optionsEmptied(Parts& p, Outputs&) { p["options"] = "unloaded:"; }
void filesEmptied(Parts& p, Outputs&) { p["files"] = "unloaded:"; }
void defaultsEmptied(Parts& p, Outputs&) { p["defaults"] = "unloaded:"; }
void listEmptied(Parts& p, const char* part) { p[part] = dumpRecord(_TaskInfo()); }
// Bit options are read as options: the out-value is zeroed (or cleared) first.
void bitsZeroed(Parts& p, Outputs& o) {
  optionsEmptied(p, o);
  o.bits = 0;
}
void flagCleared(Parts& p, Outputs& o) {
  optionsEmptied(p, o);
  o.isSet = false;
}

// The expected entity list after a write that appends `added`.
void entitiesAppended(Parts& p, const std::vector<Sched_AssocEntity>& added) {
  _TaskInfo lists;
  lists.entities = sampleRecord().entities;
  lists.entities.insert(lists.entities.end(), added.begin(), added.end());
  p["entities"] = dumpRecord(lists);
}

// An operation's call, with the task as `t`, the outputs as `o` and the
// caller's error text as `err`.
#define CALL(expr) [](ProbeTask & t, Outputs & o, std::string & err) -> int { (void)o, (void)err; return expr; }
#define OWN_TEXT(expr) CALL(ownText(t, err, expr))

// Takes the text an operation leaves in the task object as the caller's.
int ownText(ProbeTask& t, std::string& err, int rc) {
  err = t.getErrorString();
  return rc;
}

const std::vector<TaskCase>& taskCases() {
  using O = Outputs;
  static const std::vector<TaskCase> cases = {
      {"lookup", msg::kLookup, true, [](ProbeTask& t) { t.lookedUp() = false; }, CALL(t.lookup(nullptr))},
      {"update", msg::kUpdate, false, nullptr, CALL(t.update(nullptr))},
      {"getJobInfo", msg::kGetJobInfo, true, nullptr, CALL(t.getJobInfo(nullptr))},
      {"getTaskInfo", msg::kGetTaskInfo, true, nullptr, CALL(t.getTaskInfo(o.row, nullptr))},
      {"getSubTaskInfo", msg::kGetSubTaskInfo, true, nullptr, CALL(t.getSubTaskInfo(o.subRow, nullptr))},
      // Refetches replace the record's list: it is emptied first.
      {"getEntityInfo(list)", msg::kGetEntityInfo, true, nullptr, CALL(t.getEntityInfo(o.entities, nullptr)),
       [](Parts& p, O&) { listEmptied(p, "entities"); }},
      {"getEntityInfo(first)", msg::kGetEntityInfo, true, [](ProbeTask& t) { t.record().entities.clear(); },
       CALL(t.getEntityInfo(o.entity, nullptr))},
      {"getPatternInfo", msg::kGetPatternInfo, true, nullptr, CALL(t.getPatternInfo(o.patterns, nullptr)),
       [](Parts& p, O&) { listEmptied(p, "patterns"); }},
      {"setTaskInfo", msg::kSetTaskInfo, false, nullptr, CALL(t.setTaskInfo(o.row, nullptr))},
      {"setSubTaskInfo", msg::kSetSubTaskInfo, false, nullptr, CALL(t.setSubTaskInfo(o.subRow, nullptr))},
      // The argument joins the record's list before the list is sent.
      {"setEntityInfo", msg::kSetEntityInfo, true, nullptr, CALL(t.setEntityInfo(o.entities, nullptr)),
       [](Parts& p, O& o) { entitiesAppended(p, o.entities); }},
      {"addClientToTask", msg::kSetEntityInfo, true, nullptr, CALL(t.addClientToTask(5, nullptr)),
       [](Parts& p, O&) {
         Sched_AssocEntity e;
         e.clientId = 5;
         entitiesAppended(p, {e});
       }},
      // saveChanges writes the task row, the subtask row and the entities:
      // a fault in any of the three is a column.
      {"saveChanges@task", msg::kSetTaskInfo, false, nullptr, CALL(t.saveChanges())},
      {"saveChanges@subtask", msg::kSetSubTaskInfo, false, nullptr, CALL(t.saveChanges())},
      {"saveChanges@entities", msg::kSetEntityInfo, false, nullptr, CALL(t.saveChanges())},
      {"getDefaultTaskId", msg::kGetDefaultTaskId, true, nullptr, CALL(t.getDefaultTaskId(o.defaultTaskId, nullptr))},
      {"initOptions", msg::kGetOptions, true, unloadOptions, CALL(t.initOptions(nullptr)), optionsEmptied},
      {"getOptions(list)", msg::kGetOptions, true, unloadOptions, CALL(t.getOptions(o.options, nullptr)),
       optionsEmptied},
      {"getOptionInt(load)", msg::kGetOptions, true, unloadOptions, CALL(t.getOptionInt(101, o.intValue, nullptr)),
       optionsEmptied},
      {"getOptionInt(defaults)", msg::kGetDefaults, true, unloadDefaults,
       CALL(t.getOptionInt(999, o.intValue, nullptr)), defaultsEmptied},
      {"getClientId", msg::kGetOptions, true, unloadOptions, CALL(t.getClientId(o.ulongValue, nullptr)),
       optionsEmptied},
      {"setOptionInt", msg::kSetOptions, true, nullptr, CALL(t.setOptionInt(101, 6, nullptr))},
      {"setClientId", msg::kSetOptions, true, nullptr, CALL(t.setClientId(12, nullptr))},
      {"setOptions", msg::kSetOptions, true, nullptr, CALL(t.setOptions(o.options, nullptr))},
      {"removeOptions(list)", msg::kRemoveOptions, true, nullptr, [](ProbeTask& t, O&, std::string&) {
         TaskOptionList l;
         l.addToOptList(101, "", 7);
         return t.removeOptions(l, nullptr);
       }},
      {"removeOptions(ids)", msg::kRemoveOptionIds, true, nullptr,
       CALL(t.removeOptions(std::vector<unsigned long long>{101}, nullptr))},
      {"initDefaults", msg::kGetDefaults, true, unloadDefaults, CALL(t.initDefaults(nullptr)), defaultsEmptied},
      {"initFiles", msg::kGetFiles, true, unloadFiles, CALL(t.initFiles(nullptr)), filesEmptied},
      {"getFiles(list)", msg::kGetFiles, true, unloadFiles, CALL(t.getFiles(o.files, 150001, nullptr)), filesEmptied},
      {"setFiles", msg::kSetFiles, true, nullptr, CALL(t.setFiles(o.files, nullptr))},
      {"removeFiles(list)", msg::kRemoveFiles, true, nullptr, [](ProbeTask& t, O&, std::string&) {
         TaskFileList l;
         l.addToFileList(150001, "/src", 1);
         return t.removeFiles(l, nullptr);
       }},
      {"removeFiles(names)", msg::kRemoveFileNames, true, nullptr,
       CALL(t.removeFiles(std::vector<std::string>{"/src"}, nullptr))},
      {"getXMLOptions", msg::kGetXMLOptions, true, nullptr, CALL(t.getXMLOptions(o.text, nullptr))},
      // The out-text is emptied first; the record's id kind stays the
      // task's own (the wanted kind travels in the request only).
      {"getExtendedOptions", msg::kGetExtendedOptions, true, nullptr, CALL(t.getExtendedOptions(3, o.text, nullptr)),
       [](Parts&, O& o) { o.text.clear(); }},
      {"getBitOptions", msg::kGetOptions, true, unloadOptions, CALL(t.getBitOptions(0, o.bits, nullptr)), bitsZeroed},
      {"isBitOptionSet", msg::kGetOptions, true, unloadOptions, CALL(t.isBitOptionSet(0, 1, o.isSet, nullptr)),
       flagCleared},
      {"isExtOptionSet", msg::kGetOptions, true, unloadOptions, CALL(t.isExtOptionSet(0, 1, o.isSet, nullptr)),
       flagCleared},
      {"getJobListFromTaskId", msg::kGetJobListFromTaskId, true, nullptr, CALL(t.getJobListFromTaskId(o.jobs, nullptr))},
      {"getJobIdsFromBkpStats", msg::kGetJobIdsFromBkpStats, true, nullptr,
       CALL(t.getJobIdsFromBkpStats(o.jobs, "stats", true, 1, nullptr))},
      // A failure zeroes the out-value.
      {"getJobRequestIdFromJobId", msg::kGetJobRequestId, true, nullptr,
       CALL(t.getJobRequestIdFromJobId(o.requestId, nullptr)), [](Parts&, O& o) { o.requestId = 0; }},

      // The schedule and job flows.
      {"CreateTask", msg::kCreateTask, true, nullptr,
       CALL(t.CreateTask(o.xml, o.createdJobs, o.taskId, 6, err, 8, 0, false, false)), nullptr,
       [](FakeAppMgr& f) { respondCreate(f, msg::kCreateTask, "<reply/>", {11}, 42); }},
      {"TaskRequest", msg::kTaskRequest, true, nullptr,
       CALL(t.TaskRequest(o.xml, o.createdJobs, o.taskId, 6, err, 1, 8, 0, false, false)), nullptr,
       [](FakeAppMgr& f) { respondCreate(f, msg::kTaskRequest, "<reply/>", {11}, 42); }},
      {"runTasks", msg::kRunTasks, true, nullptr,
       [](ProbeTask& t, O& o, std::string& err) {
         std::vector<Sched_SubTask> subs(1);
         subs[0].subTaskId = 1;
         subs[0].taskId = 2;
         return t.runTasks(subs, o.createdJobs, err, 6, 7, 0, false, nullptr);
       },
       nullptr, [](FakeAppMgr& f) { respondCreate(f, msg::kRunTasks, nullptr, {12}); }},
      {"performOperation", msg::kPerformOperation, true, nullptr,
       [](ProbeTask& t, O& o, std::string& err) {
         std::vector<_AutomaticTaskInfo> tasks(1);
         tasks[0].subTasks.resize(1);
         tasks[0].subTasks[0].subTask.subTaskId = 1;
         tasks[0].subTasks[0].subTask.taskId = 10;
         return t.performOperation(tasks, o.createdJobs, err, 5, 3, 6, 7, 8, false, nullptr);
       },
       nullptr, [](FakeAppMgr& f) { respondCreate(f, msg::kPerformOperation, nullptr, {21}); }},
      {"getAutomaticSchedulePattern", msg::kGetAutomaticSchedulePattern, true, nullptr,
       OWN_TEXT(t.getAutomaticSchedulePattern(17, o.pattern, nullptr)), nullptr,
       [](FakeAppMgr& f) {
         XmlOptionsResp resp{};
         char text[] = "<m f=\"12\" c=\"336\"/>";
         resp.text = text;
         f.respond(msg::kGetAutomaticSchedulePattern, resp);
       }},
      {"GetJobSummary", kXmlHandlerReq, true, nullptr,
       [](ProbeTask& t, O& o, std::string& err) {
         LogCapture log;
         std::vector<long long> ids{3};
         const bool ok = t.GetJobSummary(ids, o.summary);
         for (const std::string& line : log.lines()) err += line;
         return ok ? 0 : -1;
       },
       nullptr, [](FakeAppMgr& f) { respondXml(f, jobList({{3, "Running", "phase 1"}}).c_str()); }, true},
      {"deleteTaskReq", kXmlHandlerReq, false, nullptr,
       [](ProbeTask& t, O&, std::string& err) {
         EvEvent ev("matrix");
         return t.deleteTaskReq("42", ev, err);
       },
       nullptr, [](FakeAppMgr& f) { respondXml(f, refusal(0, nullptr).c_str()); }},
      // The task is created; the fault hits the reading of its reply.
      {"CreateTaskforSweep", kXmlDecodeReq, true, nullptr,
       [](ProbeTask& t, O& o, std::string& err) {
         return t.CreateTaskforSweep(3, 4, 0, 0, 25, o.createdJobs, err) ? 0 : -1;
       },
       nullptr,
       [](FakeAppMgr& f) {
         std::string reply;
         TMMsg::GenericResp().serialize(reply, false);
         respondCreate(f, msg::kCreateTask, reply.c_str(), {13}, 42);
       },
       true},
      {"getEntitiesFromRequest", kExecuteSPReq, true, nullptr,
       OWN_TEXT(t.getEntitiesFromRequest(o.entityRequestId, o.ids, nullptr)), nullptr, [](FakeAppMgr& f) {
         JobManager::GetJobRequestEntitiesResp resp;
         resp.setint64(1, 0, 900);
         std::vector<YmEntities::SubClientEntity> subs(1);
         subs[0].setint64(0, 0, 11);
         resp.setlistobject(3, 0, subs);
         std::string xml;
         resp.serialize(xml, false);
         respondStoredProcedure(f, xml.c_str());
       }},
  };
  return cases;
}
#undef OWN_TEXT
#undef CALL

// --- the columns --------------------------------------------------------------------------------

enum Group { kInterface, kTaskObject, kFlow };

// One column: runs its operation once with `fault` armed on its exchange
// (Fault::kNone for the control row).
struct Column {
  std::string name;
  uint32_t requestType;
  Group group;
  bool changesState;
  std::function<Outcome(ScopedFaultInjector& env, Fault fault)> run;
};

std::vector<Column> columns() {
  std::vector<Column> all;
  for (const NetOperation& op : netOperations()) {
    all.push_back({std::string("TaskInterfaceNet::") + op.name, op.requestType, kInterface, op.changesState,
                   [&op](ScopedFaultInjector& env, Fault fault) {
                     env.injector().arm(op.requestType, fault);
                     TaskInterfaceNet net;
                     NetCallState state;
                     Outcome o;
                     o.before = o.expected = Parts{{"state", state.dump()}};
                     o.rc = op.run(net, state);
                     o.err = state.err;
                     o.hits = env.injector().hits();
                     o.after = Parts{{"state", state.dump()}};
                     return o;
                   }});
  }
  for (const TaskCase& c : taskCases()) {
    const bool flow = c.script != nullptr;
    all.push_back({std::string("EvTask::") + c.name, c.requestType, flow ? kFlow : kTaskObject, c.changesState,
                   [&c, flow](ScopedFaultInjector& env, Fault fault) {
                     ProbeTask task;
                     fill(task);
                     if (c.prepare != nullptr) c.prepare(task);
                     if (flow) c.script(env.fake());
                     Outputs out;
                     Outcome o;
                     o.before = o.expected = taskParts(task, out);
                     if (flow) {
                       env.injector().armScripted(c.requestType, fault);
                     } else {
                       env.injector().arm(c.requestType, fault);
                     }
                     o.rc = c.run(task, out, o.err);
                     if (!flow) o.err = task.getErrorString();
                     o.hits = env.injector().hits();
                     env.injector().arm(0, Fault::kNone);
                     // A flow that only tells success from failure is held to failing.
                     if (c.okOrNot && o.rc != 0 && fault != Fault::kNone) o.rc = faultCode(fault);
                     Outputs resetOut;
                     if (c.resets != nullptr) c.resets(o.expected, resetOut);
                     o.expected["out"] = resetOut.dump();
                     o.after = taskParts(task, out);
                     // The control row of a flow looks at its outputs alone.
                     if (flow && fault == Fault::kNone) {
                       o.before = Parts{{"out", o.before["out"]}};
                       o.after = Parts{{"out", o.after["out"]}};
                     }
                     return o;
                   }});
  }
  return all;
}

void reset() {
  YMPlatformInfo::clearStore();
  TaskPlatformInfoSingleton::deleteTaskPlatformInfoSingleton();
  TmTaskOptions::resetDefaultsForTesting();
}

class FaultMatrixTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
};

TEST_F(FaultMatrixTest, EveryOperationAgainstEveryFault) {
  int cells[3] = {0, 0, 0};
  int known = 0, notApplicable = 0;
  for (const Column& column : columns()) {
    for (Fault fault : kFaultRows) {
      if (!FaultInjector::applicable(column.requestType, fault)) {
        ++notApplicable;
        continue;
      }
      reset();
      ScopedFaultInjector env;
      std::unique_ptr<SocketPeer> peer(isSocketFault(fault) ? new SocketPeer(env.injector()) : nullptr);
      ASSERT_TRUE(!peer || peer->ready());
      const auto start = std::chrono::steady_clock::now();
      Outcome o = column.run(env, fault);
      o.tookMs =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
      ++cells[column.group];
      const std::string key = column.name + " / " + faultName(fault);
      const std::string problem = checkFailure(fault, o);
      if (kKnownFailures.count(key) != 0) {
        ++known;
        if (problem.empty()) ADD_FAILURE() << key << " passes now: remove it from kKnownFailures";
      } else if (!problem.empty()) {
        ADD_FAILURE() << key << ":" << problem;
      }
    }
    // Control: the sample answer reaches the caller.
    reset();
    ScopedFaultInjector env;
    const Outcome o = column.run(env, Fault::kNone);
    EXPECT_EQ(0, o.rc) << column.name << ": " << o.err;
    if (column.group == kTaskObject) {
      EXPECT_LE(1, o.hits) << column.name;
    } else {
      EXPECT_EQ(1, o.hits) << column.name;
    }
    if (column.changesState) {
      EXPECT_NE(o.before, o.after) << column.name << ": the sample answer changed nothing";
    }
  }
  std::printf(
      "fault matrix: %d cells (%d interface, %d task object, %d schedule and job flow), %d known failures, "
      "%d not applicable\n",
      cells[0] + cells[1] + cells[2], cells[0], cells[1], cells[2], known, notApplicable);
  EXPECT_EQ(772, cells[0] + cells[1] + cells[2]) << "a column or row was lost";
}

}  // namespace
