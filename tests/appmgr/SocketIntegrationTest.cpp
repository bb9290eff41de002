// evtask-appmgr started as a program on a temporary Unix socket and on
// loopback TCP with a key, reached through the library's socket transport.
// Waits are bounded polls on the server's log or on the clock.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "ServiceScenario.h"
#include "appmgr/AppMgrErrors.h"
#include "appmgr/Server.h"
#include "platform/ClientSessionWrapper.h"
#include "platform/FrameCodec.h"
#include "platform/SocketTransport.h"
#include "platform/YMPlatformInfo.h"
#include "platform/YmErrors.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"
#include "support/TestSupport.h"

namespace evtask {
namespace appmgr {
namespace {

using test::makeTempDir;
using test::removeTree;

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Polls `done` every few milliseconds for at most `ms`.
template <class F>
bool waitUntil(F done, int ms = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

void writeKey(const std::string& path, const std::string& hex, mode_t mode) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(static_cast<ssize_t>(hex.size()), write(fd, hex.data(), hex.size()));
  close(fd);
  chmod(path.c_str(), mode);
}

const char kKey[] = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
const char kOtherKey[] = "ffeeddccbbaa99887766554433221100ffeeddccbbaa99887766554433221100";

class ServerProcess {
 public:
  ~ServerProcess() { kill9(); }

  // Starts the program and waits until it listens; the endpoint it reports.
  std::string start(const std::string& dir, const std::vector<std::string>& extra) {
    logPath = dir + "/server.log";
    const size_t before = readFile(logPath).size();
    std::vector<std::string> args = {EVTASK_APPMGR_PATH, "--db", dir + "/store.db", "--log-file", logPath,
                                     "--log-level", "3"};
    args.insert(args.end(), extra.begin(), extra.end());
    pid = fork();
    if (pid == 0) {
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    std::string ep;
    waitUntil([&] {
      const std::string log = readFile(logPath).substr(before);
      const size_t at = log.find("listening on ");
      if (at == std::string::npos) return false;
      ep = log.substr(at + 13, log.find('\n', at) - at - 13);
      return true;
    });
    return ep;
  }
  std::string log() const { return readFile(logPath); }
  int terminate() {
    if (pid <= 0) return -1;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return status;
  }
  void kill9() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }

  pid_t pid = -1;
  std::string logPath;
};

class SocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = makeTempDir();
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override {
    server.kill9();
    drainSocketPool();
    YMPlatformInfo::clearStore();
    removeTree(dir);
  }
  void useEndpoint(const std::string& ep) { YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", ep); }
  std::string startUnix(std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"--listen", "unix:" + dir + "/am.sock"});
    const std::string ep = server.start(dir, extra);
    EXPECT_EQ("unix:" + dir + "/am.sock", ep) << server.log();
    useEndpoint(ep);
    return ep;
  }
  std::string startTcp() {
    writeKey(dir + "/server.key", kKey, 0600);
    const std::string ep =
        server.start(dir, {"--init-demo", "--listen", "tcp:127.0.0.1:0", "--key-file", dir + "/server.key"});
    EXPECT_EQ(0u, ep.find("tcp:127.0.0.1:")) << server.log();
    useEndpoint(ep);
    return ep;
  }
  int getTask(unsigned long id, std::string& err, unsigned long* status = nullptr) {
    TaskInterfaceNet net;
    _TaskInfo t;
    t.taskId = id;
    const int rc = net.getTaskInfo(t, err, nullptr);
    if (status != nullptr) *status = t.task.status;
    return rc;
  }
  int setTask(unsigned long id, unsigned long status, std::string& err) {
    TaskInterfaceNet net;
    _TaskInfo t;
    t.taskId = id;
    t.task.taskId = id;
    t.task.status = status;
    return net.setTaskInfo(t, err, nullptr);
  }

  std::string dir;
  ServerProcess server;
};

TEST_F(SocketTest, UnixSocketServesEveryOperationAndReusesConnections) {
  startUnix({"--init-demo"});
  struct stat st;
  ASSERT_EQ(0, stat((dir + "/am.sock").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  const SocketPoolStats before = socketPoolStats();
  test::runServiceScenario(7000);
  const SocketPoolStats after = socketPoolStats();
  EXPECT_EQ(1u, after.connected - before.connected) << "sessions one after another share one connection";
  EXPECT_GT(after.reused - before.reused, 40u);
  EXPECT_EQ(0, WEXITSTATUS(server.terminate()));
  EXPECT_NE(std::string::npos, server.log().find("database closed")) << server.log();
}

TEST_F(SocketTest, TcpServesClientsWithTheKeyAndRefusesOthersBeforeReadingARequest) {
  const std::string ep = startTcp();
  writeKey(dir + "/wrong.key", kOtherKey, 0600);
  writeKey(dir + "/open.key", kKey, 0644);
  struct Case {
    const char* name;
    std::string keyFile;
    std::string errPart;
  };
  const Case cases[] = {{"no key configured", "", "No key for the application manager"},
                        {"wrong key", dir + "/wrong.key", "refused authentication"},
                        {"key readable by others", dir + "/open.key", "must have mode 0600"},
                        {"missing key file", dir + "/none.key", "cannot open key file"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    drainSocketPool();
    YMPlatformInfo::setValue("Platform", "AppMgrKeyFile", c.keyFile);
    std::string err;
    EXPECT_EQ(YM_SESSION_AUTH_REFUSED, setTask(4242, 1, err));
    EXPECT_NE(std::string::npos, err.find(c.errPart)) << err;
  }
  // A client that skips TLS: bytes that fail the handshake, then a
  // well-formed request in the clear, which must never be read as one.
  auto refusals = [&] {
    const std::string log = server.log();
    size_t n = 0;
    for (size_t at = log.find("authentication failed"); at != std::string::npos;
         at = log.find("authentication failed", at + 1)) {
      ++n;
    }
    return n;
  };
  const size_t refusedBefore = refusals();
  const size_t colon = ep.rfind(':');
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(std::stoi(ep.substr(colon + 1))));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
  SetTaskInfoReq req{};
  req.header = AppMgrReqHdr{kAppMgrReqMagic, kAppMgrHdrVersion, 1, 1};
  req.info.taskId = 4242;
  req.task.taskId = 4242;
  Frame f;
  std::string err;
  ASSERT_EQ(0, EncodeFrame(msg::kSetTaskInfo, &req, sizeof req, &f, &err));
  ASSERT_EQ(5, send(fd, "XXXXX", 5, MSG_NOSIGNAL));
  ASSERT_TRUE(waitUntil([&] { return refusals() > refusedBefore; })) << server.log();
  send(fd, f.data(), f.size(), MSG_NOSIGNAL);
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  char buf[64];
  // Closed without an answer: an orderly end, or a reset when the server
  // closed with the clear request still unread in its buffer.
  const ssize_t got = recv(fd, buf, sizeof buf, 0);
  EXPECT_TRUE(got == 0 || (got < 0 && errno == ECONNRESET)) << got << " " << std::strerror(errno);
  close(fd);
  // None of them wrote anything.
  writeKey(dir + "/client.key", kKey, 0600);
  YMPlatformInfo::setValue("Platform", "AppMgrKeyFile", dir + "/client.key");
  EXPECT_EQ(100, getTask(4242, err));
  EXPECT_NE(std::string::npos, server.log().find("authentication failed")) << server.log();
  // With the key, every operation is served.
  test::runServiceScenario(8000);
}

TEST_F(SocketTest, UnixSocketRefusesAnotherUser) {
  EXPECT_TRUE(peerUidAllowed(1000, 1000));
  EXPECT_FALSE(peerUidAllowed(0, 1000));
  EXPECT_FALSE(peerUidAllowed(1001, 1000));
  if (geteuid() != 0) GTEST_SKIP() << "switching users needs root; the check's logic is covered above";
  startUnix({"--init-demo"});
  const std::string path = dir + "/am.sock";
  // As another user: first the socket's mode keeps it out; with the mode
  // opened up, the peer uid check still refuses it.
  auto connectAs = [&](uid_t uid) {
    const pid_t child = fork();
    if (child == 0) {
      if (setgid(uid) != 0 || setuid(uid) != 0) _exit(10);
      const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un a{};
      a.sun_family = AF_UNIX;
      std::memcpy(a.sun_path, path.c_str(), path.size());
      if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) _exit(errno == EACCES ? 20 : 21);
      timeval tv{5, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
      char b;
      _exit(recv(fd, &b, 1, 0) == 0 ? 30 : 31);  // 30: closed by the server
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WEXITSTATUS(status);
  };
  ASSERT_EQ(0, chmod(dir.c_str(), 0711));
  EXPECT_EQ(20, connectAs(65534));
  ASSERT_EQ(0, chmod(path.c_str(), 0666));
  EXPECT_EQ(30, connectAs(65534));
  EXPECT_NE(std::string::npos, server.log().find("uid 65534: only uid 0 may connect")) << server.log();
  std::string err;
  EXPECT_EQ(0, getTask(1001, err)) << err;
}

// A raw client sends damaged frames; it is answered or dropped while a
// library client keeps being served.
TEST_F(SocketTest, MalformedAndOversizedFramesDoNotDisturbOthers) {
  startUnix({"--init-demo", "--max-frame", "65536"});
  std::string err;
  ASSERT_EQ(0, getTask(1001, err)) << err;  // a pooled connection from now on
  auto raw = [&] {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string path = dir + "/am.sock";
    std::memcpy(a.sun_path, path.c_str(), path.size());
    EXPECT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
  };
  GenericTaskApiReq req{};
  req.header = AppMgrReqHdr{kAppMgrReqMagic, kAppMgrHdrVersion, 1, 9};
  req.info.taskId = 1001;
  Frame good;
  ASSERT_EQ(0, EncodeFrame(msg::kGetTaskInfo, &req, sizeof req, &good, &err));
  struct Case {
    const char* name;
    std::function<void(Frame&)> damage;
    bool answered;
  };
  const Case cases[] = {
      {"bad magic", [](Frame& f) { f[0] ^= 0xFF; }, false},
      {"oversized", [](Frame& f) { const uint32_t big = 1u << 20; std::memcpy(&f[16], &big, 4); }, false},
      {"reference outside the frame", [](Frame& f) { const uint32_t bad = 0x7FFFFFFF; std::memcpy(&f[20 + 44], &bad, 4); },
       true},
      {"structure of the wrong size", [](Frame& f) { const uint32_t n = 12; std::memcpy(&f[12], &n, 4); }, true},
      {"unknown type", [](Frame& f) { const uint32_t t = 0x49000070; std::memcpy(&f[8], &t, 4); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Frame f = good;
    c.damage(f);
    const int fd = raw();
    ASSERT_EQ(static_cast<ssize_t>(f.size()), send(fd, f.data(), f.size(), MSG_NOSIGNAL));
    std::vector<uint8_t> in(4096);
    const ssize_t n = recv(fd, in.data(), in.size(), 0);
    if (c.answered) {
      ASSERT_GT(n, 0);
      TaskInfoResp resp{};
      WireArena arena;
      ASSERT_EQ(0, DecodeFrame(in.data(), static_cast<size_t>(n), msg::kGetTaskInfo + 1, &resp, sizeof resp, &arena, &err))
          << err;
      EXPECT_EQ(kAmMalformed, resp.header.result);
      EXPECT_EQ(9u, resp.header.sequence);
    } else {
      EXPECT_EQ(0, n) << "the server closed the connection";
    }
    close(fd);
    ASSERT_EQ(0, getTask(1001, err)) << err;
  }
  // Half a frame, then silence: the server gives up on it, not on others.
  const int fd = raw();
  ASSERT_EQ(10, send(fd, good.data(), 10, MSG_NOSIGNAL));
  ASSERT_EQ(0, getTask(1001, err)) << err;
  close(fd);
}

// A scripted peer on a Unix socket for transport failures.
class FakePeer {
 public:
  FakePeer(const std::string& path, std::function<void(int)> onConnection) : m_path(path) {
    m_fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, path.c_str(), path.size());
    EXPECT_EQ(0, bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
    EXPECT_EQ(0, listen(m_fd, 8));
    m_thread = std::thread([this, onConnection] {
      for (;;) {
        const int c = accept(m_fd, nullptr, nullptr);
        if (c < 0) return;
        ++connections;
        onConnection(c);
      }
    });
  }
  ~FakePeer() {
    shutdown(m_fd, SHUT_RDWR);
    close(m_fd);
    m_thread.join();
    unlink(m_path.c_str());
  }
  std::atomic<int> connections{0};

 private:
  std::string m_path;
  int m_fd;
  std::thread m_thread;
};

TEST_F(SocketTest, TransportFailuresComeInCategoriesAndAreNeverRetried) {
  const std::string path = dir + "/peer.sock";
  useEndpoint("unix:" + path);
  YMPlatformInfo::setValue("Platform", "IoTimeoutMs", "200");
  std::atomic<int> requests{0};
  std::vector<int> held;
  std::mutex heldMu;
  enum Mode { kSilent, kCloseAfterRequest, kHalfFrame };
  std::atomic<int> mode{kSilent};
  FakePeer peer(path, [&](int c) {
    char buf[4096];
    if (recv(c, buf, sizeof buf, 0) > 0) ++requests;
    if (mode == kHalfFrame) {
      const char header[10] = {'E', 'V', 'T', 'F', 1, 0, 0, 0, 0, 0};
      send(c, header, sizeof header, MSG_NOSIGNAL);
    }
    if (mode == kSilent) {
      std::lock_guard<std::mutex> lock(heldMu);
      held.push_back(c);  // keeps it open and says nothing
      return;
    }
    close(c);
  });
  struct Case {
    Mode mode;
    int code;
    std::string text;
  };
  const Case cases[] = {
      {kSilent, YM_SESSION_TIMEOUT, "Timed out after 200 ms waiting for the application manager at unix:" + path},
      {kCloseAfterRequest, YM_SESSION_CLOSED, "Server closed the connection"},
      {kHalfFrame, YM_SESSION_CLOSED, "Server closed the connection in the middle of a frame"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    mode = c.mode;
    const int before = requests.load();
    std::string err;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.code, setTask(1, 1, err));
    EXPECT_EQ(c.text, err);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(waitUntil([&] { return requests.load() == before + 1; }, 2000));
    EXPECT_EQ(before + 1, requests.load()) << "the request went out exactly once";
    EXPECT_EQ(0u, socketPoolStats().idle) << "a connection that failed is not pooled";
  }
  {
    std::lock_guard<std::mutex> lock(heldMu);
    for (int fd : held) close(fd);
  }
  // Nobody listening at all.
  useEndpoint("unix:" + dir + "/nobody.sock");
  std::string err;
  EXPECT_EQ(YM_SESSION_NO_SERVER, setTask(1, 1, err));
  EXPECT_EQ(0u, err.find("Cannot connect to the application manager at unix:" + dir + "/nobody.sock: ")) << err;
}

TEST_F(SocketTest, PooledConnectionClosedByTheServerIsReplacedNotReused) {
  startUnix({"--init-demo", "--idle-timeout-ms", "50"});
  std::string err;
  ASSERT_EQ(0, getTask(1001, err)) << err;
  ASSERT_EQ(1u, socketPoolStats().idle);
  ASSERT_TRUE(waitUntil([&] { return server.log().find("timed out") != std::string::npos; })) << server.log();
  const SocketPoolStats before = socketPoolStats();
  ASSERT_EQ(0, getTask(1001, err)) << err;
  const SocketPoolStats after = socketPoolStats();
  EXPECT_EQ(1u, after.discarded - before.discarded);
  EXPECT_EQ(1u, after.connected - before.connected);

  // A session that sent but never read its response leaves a connection
  // with an answer in flight: it must not serve the next session.
  {
    ClientSessionWrapper session(0x1A000000, false);
    GenericTaskApiReq req{};
    req.info.taskId = 1001;
    NetMessage().initRequestHeader(req.header);
    ASSERT_EQ(0, session.send(msg::kGetTaskInfo, &req, sizeof req, err)) << err;
  }
  TaskInterfaceNet net;
  _TaskInfo t;
  t.taskId = 1002;
  ASSERT_EQ(0, net.getTaskInfo(t, err, nullptr)) << err;
  EXPECT_EQ(1002u, t.task.taskId) << "the reply is to this request";
  EXPECT_EQ(1u, socketPoolStats().connected - after.connected) << "a new connection, not the one in flight";
}

TEST_F(SocketTest, AcknowledgedWritesSurviveKill9) {
  startUnix();
  std::atomic<unsigned long> acked{0};
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (unsigned long id = 1; !stop; ++id) {
      std::string err;
      if (setTask(id, id * 3, err) != 0) return;
      acked = id;
    }
  });
  ASSERT_TRUE(waitUntil([&] { return acked.load() >= 30; }));
  server.kill9();
  writer.join();
  const unsigned long last = acked.load();
  drainSocketPool();
  startUnix();
  for (unsigned long id = 1; id <= last; ++id) {
    std::string err;
    unsigned long status = 0;
    ASSERT_EQ(0, getTask(id, err, &status)) << "acknowledged task " << id << " of " << last << ": " << err;
    EXPECT_EQ(id * 3, status);
  }
}

TEST_F(SocketTest, EightConcurrentClientsGetTheirOwnReplies) {
  startUnix({"--init-demo"});
  std::atomic<int> done{0}, wrong{0};
  std::vector<std::thread> threads;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  for (unsigned long t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      const unsigned long id = 9000 + t;
      for (unsigned long i = 1; std::chrono::steady_clock::now() < end; ++i) {
        std::string err;
        unsigned long status = 0;
        if (setTask(id, i, err) != 0 || getTask(id, err, &status) != 0 || status != i) {
          ++wrong;
          return;
        }
        TaskInterfaceNet net;
        _TaskInfo opt;
        opt.taskId = id;
        TaskOption o(t, std::to_string(i), 7);
        if (net.setOptions(opt, {&o}, err, nullptr) != 0) ++wrong;
        done += 1;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(0, wrong.load());
  EXPECT_GT(done.load(), 8);
  EXPECT_LE(socketPoolStats().idle, 8u);
}

}  // namespace
}  // namespace appmgr
}  // namespace evtask

namespace evtask {
namespace appmgr {
namespace {

// stop() (what SIGTERM runs) lets a request in flight finish and be
// answered, then stops serving.
TEST(ServerStopTest, FinishesTheRequestInFlight) {
  const std::string dir = makeTempDir();
  AppManager manager;
  AppManagerOptions o;
  o.dbPath = dir + "/s.db";
  o.initDemo = true;
  std::string err;
  ASSERT_EQ(0, manager.open(o, err)) << err;
  std::mutex mu;
  std::condition_variable cv;
  bool entered = false, release = false;
  manager.add(msg::kGetTaskInfo, [&](Context&, const Request& r, Reply& reply, std::string&) {
    std::unique_lock<std::mutex> lock(mu);
    entered = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
    reply.as<TaskInfoResp>().task.taskId = r.as<GenericTaskApiReq>().info.taskId;
    return 0;
  }, AppManager::kReads);
  Log log;
  log.open(dir + "/log", Log::kError, err);
  Server server(manager, log);
  ServerOptions so;
  so.listen = "unix:" + dir + "/s.sock";
  ASSERT_EQ(0, server.start(so, err)) << err;
  YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", so.listen);

  int rc = -1;
  unsigned long answered = 0;
  std::thread client([&] {
    TaskInterfaceNet net;
    _TaskInfo t;
    t.taskId = 77;
    std::string e;
    rc = net.getTaskInfo(t, e, nullptr);
    answered = t.task.taskId;
  });
  {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait(lock, [&] { return entered; });
  }
  std::thread stopper([&] { server.stop(); });
  ASSERT_TRUE(waitUntil([&] { return server.stopping(); }));
  {
    std::lock_guard<std::mutex> lock(mu);
    release = true;
    cv.notify_all();
  }
  client.join();
  stopper.join();
  EXPECT_EQ(0, rc);
  EXPECT_EQ(77u, answered);
  EXPECT_EQ(0, server.activeConnections());
  struct stat st;
  EXPECT_NE(0, stat((dir + "/s.sock").c_str(), &st)) << "the socket is gone";
  drainSocketPool();
  YMPlatformInfo::clearStore();
  manager.close();
  removeTree(dir);
}

}  // namespace
}  // namespace appmgr
}  // namespace evtask
