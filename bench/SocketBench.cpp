// The socket transport against raw sockets, measured side by side in one run
// (Release build, no sanitizers):
//
//   P2  getTaskInfo through the library over a Unix socket, against a raw
//       ping-pong of the same byte counts over the same kind of socket. The
//       "Canned" server answers with a ready frame (the library's share
//       alone); "AppMgr" is the reference server with its SQLite store.
//   P3  loading a task of 100 000 options through a task object, against
//       the raw transfer of the same bytes. Library time per option =
//       (load - raw) / 100 000.
//   P4  8 client threads against one server, against 8 threads of raw
//       round trips; compare the aggregate rates (items_per_second).
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "appmgr/AppManager.h"
#include "appmgr/Log.h"
#include "appmgr/Server.h"
#include "platform/FrameCodec.h"
#include "platform/FrameSocket.h"
#include "platform/SocketTransport.h"
#include "platform/YMPlatformInfo.h"
#include "service/TaskCallBack.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"
#include "task/EvTask.h"

using namespace evtask;

namespace {

constexpr int kOptionCount = 100000;

std::string tempDir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/evtask-bench-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return std::string(d != nullptr ? d : "/tmp");
  }();
  return dir;
}

int listenUnix(const std::string& path) {
  unlink(path.c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path, path.c_str(), path.size());
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 64) != 0) std::abort();
  return fd;
}

int connectUnix(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path, path.c_str(), path.size());
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) std::abort();
  return fd;
}

bool readN(int fd, uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t r = read(fd, p, n);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool writeN(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t r = write(fd, p, n);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

// Reads `req` bytes, answers `resp` bytes, per connection thread. The first
// 8 bytes a client sends after connecting give the two sizes.
class RawServer {
 public:
  explicit RawServer(const std::string& path) : m_path(path), m_fd(listenUnix(path)) {
    std::thread([this] {
      for (;;) {
        const int c = accept(m_fd, nullptr, nullptr);
        if (c < 0) return;
        std::thread([c] {
          uint32_t sizes[2];
          if (!readN(c, reinterpret_cast<uint8_t*>(sizes), sizeof sizes)) return;
          std::vector<uint8_t> in(sizes[0]), out(sizes[1], 0x5A);
          while (readN(c, in.data(), in.size()) && writeN(c, out.data(), out.size())) {
          }
          close(c);
        }).detach();
      }
    }).detach();
  }
  // A client connection for `req`/`resp` byte round trips.
  int client(uint32_t req, uint32_t resp) const {
    const int fd = connectUnix(m_path);
    const uint32_t sizes[2] = {req, resp};
    writeN(fd, reinterpret_cast<const uint8_t*>(sizes), sizeof sizes);
    return fd;
  }

 private:
  std::string m_path;
  int m_fd;
};

// Answers every request frame with the ready response frame of its type.
class CannedServer {
 public:
  CannedServer(const std::string& path, std::map<uint32_t, Frame> answers)
      : m_path(path), m_answers(std::move(answers)), m_fd(listenUnix(path)) {
    std::thread([this] {
      for (;;) {
        const int c = accept(m_fd, nullptr, nullptr);
        if (c < 0) return;
        // Blocking reads like the raw server, so both sides of the
        // comparison pay the same server cost.
        std::thread([this, c] {
          std::vector<uint8_t> in(65536);
          for (;;) {
            size_t have = 0;
            uint32_t body = 0;
            while (have < kFrameHeaderSize || have < kFrameHeaderSize + body) {
              const ssize_t r = read(c, in.data() + have, in.size() - have);
              if (r <= 0) {
                close(c);
                return;
              }
              have += static_cast<size_t>(r);
              if (have >= kFrameHeaderSize) std::memcpy(&body, in.data() + 16, 4);
            }
            uint32_t type;
            std::memcpy(&type, in.data() + 8, 4);
            const Frame& out = m_answers.at(type);
            if (!writeN(c, out.data(), out.size())) break;
          }
          close(c);
        }).detach();
      }
    }).detach();
  }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
  std::map<uint32_t, Frame> m_answers;
  int m_fd;
};

template <class Resp>
Frame encodeResponse(uint32_t requestType, Resp resp) {
  resp.header.magic = kAppMgrRespMagic;
  Frame f;
  std::string err;
  if (EncodeFrame(requestType + 1, &resp, sizeof resp, &f, &err) != 0) std::abort();
  return f;
}

size_t requestFrameSize() {
  GenericTaskApiReq req{};
  Frame f;
  std::string err;
  EncodeFrame(msg::kGetTaskInfo, &req, sizeof req, &f, &err);
  return f.size();
}

struct Fixture {
  RawServer raw{tempDir() + "/raw.sock"};
  std::unique_ptr<CannedServer> canned;
  appmgr::AppManager manager;
  appmgr::Log log;
  std::unique_ptr<appmgr::Server> server;
  std::string appmgrEndpoint;
  size_t taskInfoResp = 0, optionsResp = 0, request = 0;
  Frame optionsFrame;

  Fixture() {
    registerTaskCatalogue();
    request = requestFrameSize();
    TaskInfoResp info{};
    info.task.taskId = 1001;
    std::map<uint32_t, Frame> answers;
    answers[msg::kGetTaskInfo] = encodeResponse(msg::kGetTaskInfo, info);
    taskInfoResp = answers[msg::kGetTaskInfo].size();
    std::vector<std::string> texts;
    std::vector<TaskApiOptions> records(kOptionCount);
    texts.reserve(kOptionCount);
    for (int i = 0; i < kOptionCount; ++i) {
      texts.push_back(std::to_string(i * 7));
      records[static_cast<size_t>(i)] = TaskApiOptions{1000ULL + static_cast<unsigned long long>(i), 7,
                                                       const_cast<char*>(texts.back().c_str())};
    }
    GenericGetOptionsResp opts{};
    opts.count = kOptionCount;
    opts.options = records.data();
    answers[msg::kGetOptions] = encodeResponse(msg::kGetOptions, opts);
    optionsResp = answers[msg::kGetOptions].size();
    optionsFrame = answers[msg::kGetOptions];
    canned.reset(new CannedServer(tempDir() + "/canned.sock", std::move(answers)));

    std::string err;
    appmgr::AppManagerOptions o;
    o.dbPath = tempDir() + "/bench.db";
    o.initDemo = true;
    std::string logErr;
    log.open(tempDir() + "/server.log", appmgr::Log::kWarning, logErr);
    if (manager.open(o, err) != 0) std::abort();
    server.reset(new appmgr::Server(manager, log));
    appmgr::ServerOptions so;
    so.listen = "unix:" + tempDir() + "/appmgr.sock";
    if (server->start(so, err) != 0) std::abort();
    appmgrEndpoint = server->endpoint();
  }
};

Fixture& fixture() {
  static Fixture* f = new Fixture();
  return *f;
}

void useEndpoint(const std::string& ep) { YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", ep); }

void rawRoundTrips(benchmark::State& state, size_t req, size_t resp) {
  const int fd = fixture().raw.client(static_cast<uint32_t>(req), static_cast<uint32_t>(resp));
  std::vector<uint8_t> out(req, 0x11), in(resp);
  for (auto _ : state) {
    if (!writeN(fd, out.data(), out.size()) || !readN(fd, in.data(), in.size())) {
      state.SkipWithError("raw round trip failed");
      break;
    }
  }
  close(fd);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(req + resp));
}

void getTaskInfoLoop(benchmark::State& state, const std::string& ep) {
  if (state.thread_index() == 0) useEndpoint(ep);
  TaskInterfaceNet net;
  _TaskInfo t;
  t.taskId = 1001;
  std::string err;
  for (auto _ : state) {
    if (net.getTaskInfo(t, err, nullptr) != 0) {
      state.SkipWithError(err.c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

// --- P2 -------------------------------------------------------------------------
void BM_P2_RawPingPong(benchmark::State& state) {
  rawRoundTrips(state, fixture().request, fixture().taskInfoResp);
}
BENCHMARK(BM_P2_RawPingPong);

void BM_P2_GetTaskInfo_Canned(benchmark::State& state) {
  getTaskInfoLoop(state, "unix:" + fixture().canned->path());
}
BENCHMARK(BM_P2_GetTaskInfo_Canned);

void BM_P2_GetTaskInfo_AppMgr(benchmark::State& state) { getTaskInfoLoop(state, fixture().appmgrEndpoint); }
BENCHMARK(BM_P2_GetTaskInfo_AppMgr);

// --- P3 -------------------------------------------------------------------------
void BM_P3_RawTransfer100k(benchmark::State& state) {
  rawRoundTrips(state, fixture().request, fixture().optionsResp);
}
BENCHMARK(BM_P3_RawTransfer100k)->Unit(benchmark::kMillisecond);

void BM_P3_LoadTask100kOptions(benchmark::State& state) {
  useEndpoint("unix:" + fixture().canned->path());
  for (auto _ : state) {
    EvTask task(4242, 0, nullptr, false);
    int value = 0;
    if (task.getOptionInt(1000 + kOptionCount - 1, value, nullptr) != 0 || value != (kOptionCount - 1) * 7) {
      state.SkipWithError("options did not load");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kOptionCount);
}
BENCHMARK(BM_P3_LoadTask100kOptions)->Unit(benchmark::kMillisecond);

// P3 by cause: decoding the response frame alone (in memory), and the
// service call with a callback that only counts (transfer, decode, and a
// text per record), so that load - getOptions is the task object's cache.
void BM_P3_DecodeOnly(benchmark::State& state) {
  const Frame& f = fixture().optionsFrame;
  for (auto _ : state) {
    GenericGetOptionsResp resp{};
    WireArena arena;
    std::string err;
    if (DecodeFrame(f.data(), f.size(), msg::kGetOptions + 1, &resp, sizeof resp, &arena, &err) != 0) {
      state.SkipWithError(err.c_str());
      break;
    }
    benchmark::DoNotOptimize(resp.count);
  }
  state.SetItemsProcessed(state.iterations() * kOptionCount);
}
BENCHMARK(BM_P3_DecodeOnly)->Unit(benchmark::kMillisecond);

struct CountingCallback : OptionCallBack {
  size_t n = 0;
  int getOptionsCallback(unsigned long long, std::string value, unsigned long) override {
    n += value.size();
    return 0;
  }
  int getDefaultsCallback(unsigned long long, std::string, unsigned long) override { return 0; }
};

void BM_P3_GetOptionsCallbackOnly(benchmark::State& state) {
  useEndpoint("unix:" + fixture().canned->path());
  TaskInterfaceNet net;
  for (auto _ : state) {
    _TaskInfo t;
    t.jobId = 4242;
    CountingCallback cb;
    std::string err;
    if (net.getOptions(t, &cb, err, nullptr) != 0) {
      state.SkipWithError(err.c_str());
      break;
    }
    benchmark::DoNotOptimize(cb.n);
  }
  state.SetItemsProcessed(state.iterations() * kOptionCount);
}
BENCHMARK(BM_P3_GetOptionsCallbackOnly)->Unit(benchmark::kMillisecond);

// --- P4 -------------------------------------------------------------------------
void BM_P4_RawRoundTrips(benchmark::State& state) {
  rawRoundTrips(state, fixture().request, fixture().taskInfoResp);
}
BENCHMARK(BM_P4_RawRoundTrips)->Threads(8)->UseRealTime();

void BM_P4_GetTaskInfo_AppMgr(benchmark::State& state) { getTaskInfoLoop(state, fixture().appmgrEndpoint); }
BENCHMARK(BM_P4_GetTaskInfo_AppMgr)->Threads(8)->UseRealTime();

void BM_P4_GetTaskInfo_Canned(benchmark::State& state) {
  getTaskInfoLoop(state, "unix:" + fixture().canned->path());
}
BENCHMARK(BM_P4_GetTaskInfo_Canned)->Threads(8)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
