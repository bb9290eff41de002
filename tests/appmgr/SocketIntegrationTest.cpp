// evtask-appmgr started as a program on a temporary Unix socket and on
// loopback TCP with a key, reached through the library's socket transport
// and by raw clients. Waits are bounded polls on the server's log or clock.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <future>
#include <thread>

#include "ServerProcess.h"
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

namespace evtask {
namespace appmgr {
namespace {

using test::makeTempDir;
using test::waitUntil;
using test::removeTree;
using test::vals;

void writeKey(const std::string& path, const std::string& hex, mode_t mode) {
  std::ofstream(path) << hex;
  chmod(path.c_str(), mode);
}

const char kKey[] = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

// A connected socket to "unix:PATH" or "tcp:127.0.0.1:PORT", reads time out after 5 s; -1 (with errno) if the
// connection fails.
int rawConnect(const std::string& ep) {
  sockaddr_un u{};
  sockaddr_in in{};
  const bool isUnix = ep.rfind("unix:", 0) == 0;
  const int fd = socket(isUnix ? AF_UNIX : AF_INET, SOCK_STREAM, 0);
  if (isUnix) {
    u.sun_family = AF_UNIX;
    std::memcpy(u.sun_path, ep.c_str() + 5, ep.size() - 5);
  } else {
    in.sin_family = AF_INET;
    in.sin_port = htons(static_cast<uint16_t>(std::stoi(ep.substr(ep.rfind(':') + 1))));
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  if ((isUnix ? connect(fd, reinterpret_cast<sockaddr*>(&u), sizeof u)
              : connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof in)) != 0) {
    return -1;
  }
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

class SocketTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE((dir = makeTempDir()).empty()); }
  void TearDown() override {
    server.stop(SIGKILL);
    drainSocketPool();
    YMPlatformInfo::clearStore();
    removeTree(dir);
  }
  std::string log() const { return server.log(); }
  void useEndpoint(const std::string& ep) { YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", ep); }
  // Starts the program and uses the endpoint it reports.
  std::string start(std::vector<std::string> extra, const char* listen = nullptr) {
    extra.insert(extra.begin(), {"--db", dir + "/store.db", "--log-level", "3", "--listen",
                                 listen != nullptr ? listen : "unix:" + dir + "/am.sock"});
    const std::string ep = server.start(extra, dir + "/server.log");
    EXPECT_EQ(0u, ep.find(listen != nullptr ? "tcp:127.0.0.1:" : "unix:" + dir + "/am.sock")) << log();
    useEndpoint(ep);
    return ep;
  }
  int getTask(unsigned long id, std::string& err, unsigned long* status = nullptr) {
    _TaskInfo t;
    t.taskId = id;
    const int rc = TaskInterfaceNet().getTaskInfo(t, err, nullptr);
    if (status != nullptr) *status = t.task.status;
    return rc;
  }
  int setTask(unsigned long id, unsigned long status, std::string& err) {
    _TaskInfo t;
    t.taskId = t.task.taskId = id;
    t.task.status = status;
    return TaskInterfaceNet().setTaskInfo(t, err, nullptr);
  }

  std::string dir;
  test::ServerProcess server;
};

TEST_F(SocketTest, UnixSocketServesEveryOperationAndReusesConnections) {
  start({"--init-demo"});
  struct stat st;
  ASSERT_EQ(0, stat((dir + "/am.sock").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  const SocketPoolStats before = socketPoolStats();
  test::runServiceScenario(7000);
  const SocketPoolStats after = socketPoolStats();
  EXPECT_EQ(1u, after.connected - before.connected) << "sessions one after another share one connection";
  EXPECT_GT(after.reused - before.reused, 30u);
  EXPECT_EQ(0, WEXITSTATUS(server.stop()));
  EXPECT_NE(std::string::npos, log().find("database closed")) << log();
}

TEST_F(SocketTest, TcpServesClientsWithTheKeyAndRefusesOthersBeforeReadingARequest) {
  writeKey(dir + "/server.key", kKey, 0600);
  const std::string ep = start({"--init-demo", "--key-file", dir + "/server.key"}, "tcp:127.0.0.1:0");
  // A client that skips TLS: bytes that fail the handshake, then a
  // well-formed request in the clear, which must never be read as one.
  SetTaskInfoReq req{};
  req.header = AppMgrReqHdr{kAppMgrReqMagic, kAppMgrHdrVersion, 1, 1};
  req.info.taskId = req.task.taskId = 4242;
  Frame f;
  std::string err;
  ASSERT_EQ(0, EncodeFrame(msg::kSetTaskInfo, &req, sizeof req, &f, &err));
  const int fd = rawConnect(ep);
  ASSERT_EQ(5, send(fd, "XXXXX", 5, MSG_NOSIGNAL));
  ASSERT_TRUE(waitUntil([&] { return log().find("authentication failed") != std::string::npos; })) << log();
  send(fd, f.data(), f.size(), MSG_NOSIGNAL);
  char buf[64];
  // Closed without an answer: an orderly end, or a reset when the server
  // closed with the clear request still unread in its buffer.
  const ssize_t got = recv(fd, buf, sizeof buf, 0);
  EXPECT_TRUE(got == 0 || (got < 0 && errno == ECONNRESET)) << got << " " << std::strerror(errno);
  close(fd);
  writeKey(dir + "/wrong.key", "ffeeddccbbaa99887766554433221100ffeeddccbbaa99887766554433221100", 0600);
  writeKey(dir + "/open.key", kKey, 0644);
  const std::pair<std::string, const char*> cases[] = {{"", "No key for the application manager"},
                                                       {dir + "/wrong.key", "refused authentication"},
                                                       {dir + "/open.key", "must have mode 0600"},
                                                       {dir + "/none.key", "cannot open key file"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    drainSocketPool();
    YMPlatformInfo::setValue("Platform", "AppMgrKeyFile", c.first);
    EXPECT_EQ(YM_SESSION_AUTH_REFUSED, setTask(4242, 1, err));
    EXPECT_NE(std::string::npos, err.find(c.second)) << err;
  }
  // None of them wrote anything; with the key, every operation is served.
  YMPlatformInfo::setValue("Platform", "AppMgrKeyFile", dir + "/server.key");
  EXPECT_EQ(100, getTask(4242, err));
  test::runServiceScenario(8000);
}

TEST_F(SocketTest, UnixSocketRefusesAnotherUser) {
  EXPECT_TRUE(peerUidAllowed(1000, 1000));
  EXPECT_FALSE(peerUidAllowed(0, 1000));
  EXPECT_FALSE(peerUidAllowed(1001, 1000));
  if (geteuid() != 0) GTEST_SKIP() << "switching users needs root; the check's logic is covered above";
  start({"--init-demo"});
  // As another user: first the socket's mode keeps it out; with the mode
  // opened up, the peer uid check still refuses it.
  auto connectAs = [&](uid_t uid) {
    const pid_t child = fork();
    if (child == 0) {
      if (setgid(uid) != 0 || setuid(uid) != 0) _exit(10);
      const int fd = rawConnect("unix:" + dir + "/am.sock");
      if (fd < 0) _exit(errno == EACCES ? 20 : 21);
      char b;
      _exit(recv(fd, &b, 1, 0) == 0 ? 30 : 31);  // 30: closed by the server
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WEXITSTATUS(status);
  };
  ASSERT_EQ(0, chmod(dir.c_str(), 0711));
  EXPECT_EQ(20, connectAs(65534));
  ASSERT_EQ(0, chmod((dir + "/am.sock").c_str(), 0666));
  EXPECT_EQ(30, connectAs(65534));
  EXPECT_NE(std::string::npos, log().find("uid 65534: only uid 0 may connect")) << log();
  std::string err;
  EXPECT_EQ(0, getTask(1001, err)) << err;
}

// Attackers on either side of a connection. A raw client sends damaged
// frames to the server, which answers or drops it and keeps serving a
// library client; a scripted server fails the library client, which reports
// each failure in its category, sends once and never pools the connection.
TEST_F(SocketTest, DamagedFramesAndFailingPeersOnEitherSide) {
  start({"--init-demo", "--max-frame", "65536"});
  const std::string ep = "unix:" + dir + "/am.sock";
  std::string err;
  ASSERT_EQ(0, getTask(1001, err)) << err;  // a pooled connection from now on
  GenericTaskApiReq req{};
  req.header = AppMgrReqHdr{kAppMgrReqMagic, kAppMgrHdrVersion, 1, 9};
  req.info.taskId = 1001;
  Frame good;
  ASSERT_EQ(0, EncodeFrame(msg::kGetTaskInfo, &req, sizeof req, &good, &err));
  auto put = [](Frame& f, size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
  const struct {
    const char* name;
    std::function<void(Frame&)> damage;
    bool answered;
  } frames[] = {
      {"bad magic", [](Frame& f) { f[0] ^= 0xFF; }, false},
      {"oversized", [&](Frame& f) { put(f, 16, 1u << 20); }, false},
      {"reference outside the frame", [&](Frame& f) { put(f, 20 + 44, 0x7FFFFFFF); }, true},
      {"structure of the wrong size", [&](Frame& f) { put(f, 12, 12); }, true},
      {"unknown type", [&](Frame& f) { put(f, 8, 0x49000070); }, false},
      {"half a frame, then silence", [](Frame& f) { f.resize(10); }, false},
  };
  for (const auto& c : frames) {
    SCOPED_TRACE(c.name);
    Frame f = good;
    c.damage(f);
    const int fd = rawConnect(ep);
    ASSERT_EQ(static_cast<ssize_t>(f.size()), send(fd, f.data(), f.size(), MSG_NOSIGNAL));
    std::vector<uint8_t> in(4096);
    const ssize_t n = f.size() == 10 ? 0 : recv(fd, in.data(), in.size(), 0);  // half a frame waits for the rest
    ASSERT_EQ(0, getTask(1001, err)) << err;  // and the server goes on serving meanwhile
    close(fd);
    if (!c.answered) {
      EXPECT_EQ(0, n) << "the server closed the connection";
    } else {
      ASSERT_GT(n, 0);
      TaskInfoResp resp{};
      WireArena arena;
      ASSERT_EQ(0, DecodeFrame(in.data(), static_cast<size_t>(n), msg::kGetTaskInfo + 1, &resp, sizeof resp, &arena,
                               &err)) << err;
      EXPECT_EQ(kAmMalformed, resp.header.result);
      EXPECT_EQ(9u, resp.header.sequence);
    }
  }

  // The scripted server: says nothing, closes after the request, or closes
  // in the middle of its answer.
  const std::string path = dir + "/peer.sock";
  const int lfd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path, path.c_str(), path.size());
  ASSERT_EQ(0, bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a));
  ASSERT_EQ(0, listen(lfd, 8));
  enum Mode { kSilent, kCloseAfterRequest, kHalfFrame };
  std::atomic<int> mode{kSilent}, requests{0};
  std::vector<int> held;
  std::thread peer([&] {
    for (int c; (c = accept(lfd, nullptr, nullptr)) >= 0;) {
      char buf[4096];
      if (recv(c, buf, sizeof buf, 0) > 0) ++requests;
      const char header[10] = {'E', 'V', 'T', 'F', 1, 0, 0, 0, 0, 0};
      if (mode == kHalfFrame) send(c, header, sizeof header, MSG_NOSIGNAL);
      if (mode == kSilent) held.push_back(c); else close(c);
    }
  });
  drainSocketPool();
  useEndpoint("unix:" + path);
  YMPlatformInfo::setValue("Platform", "IoTimeoutMs", "200");
  const struct {
    Mode mode;
    int code;
    std::string text;
  } peers[] = {
      {kSilent, YM_SESSION_TIMEOUT, "Timed out after 200 ms waiting for the application manager at unix:" + path},
      {kCloseAfterRequest, YM_SESSION_CLOSED, "Server closed the connection"},
      {kHalfFrame, YM_SESSION_CLOSED, "Server closed the connection in the middle of a frame"},
  };
  for (const auto& c : peers) {
    SCOPED_TRACE(c.text);
    mode = c.mode;
    const int before = requests.load();
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(c.code, setTask(1, 1, err));
    EXPECT_EQ(c.text, err);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
    waitUntil([&] { return requests.load() > before; }, 2000);
    EXPECT_EQ(before + 1, requests.load()) << "the request went out exactly once";
    EXPECT_EQ(0u, socketPoolStats().idle) << "a connection that failed is not pooled";
  }
  shutdown(lfd, SHUT_RDWR);
  close(lfd);
  peer.join();
  for (int fd : held) close(fd);
  useEndpoint("unix:" + dir + "/nobody.sock");
  EXPECT_EQ(YM_SESSION_NO_SERVER, setTask(1, 1, err));
  EXPECT_EQ(0u, err.find("Cannot connect to the application manager at unix:" + dir + "/nobody.sock: ")) << err;
}

TEST_F(SocketTest, PooledConnectionClosedByTheServerIsReplacedNotReused) {
  start({"--init-demo", "--idle-timeout-ms", "50"});
  std::string err;
  ASSERT_EQ(0, getTask(1001, err)) << err;
  ASSERT_EQ(1u, socketPoolStats().idle);
  ASSERT_TRUE(waitUntil([&] { return log().find("timed out") != std::string::npos; })) << log();
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
  _TaskInfo t;
  t.taskId = 1002;
  ASSERT_EQ(0, TaskInterfaceNet().getTaskInfo(t, err, nullptr)) << err;
  EXPECT_EQ(1002u, t.task.taskId) << "the reply is to this request";
  EXPECT_EQ(1u, socketPoolStats().connected - after.connected) << "a new connection, not the one in flight";
}

TEST_F(SocketTest, AcknowledgedWritesSurviveKill9) {
  start({});
  std::atomic<unsigned long> acked{0};
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    std::string err;
    for (unsigned long id = 1; !stop && setTask(id, id * 3, err) == 0; ++id) acked = id;
  });
  ASSERT_TRUE(waitUntil([&] { return acked.load() >= 30; }));
  server.stop(SIGKILL);
  writer.join();
  drainSocketPool();
  start({});
  for (unsigned long id = 1; id <= acked.load(); ++id) {
    std::string err;
    unsigned long status = 0;
    ASSERT_EQ(0, getTask(id, err, &status)) << "acknowledged task " << id << ": " << err;
    EXPECT_EQ(id * 3, status);
  }
}

TEST_F(SocketTest, EightConcurrentClientsGetTheirOwnReplies) {
  start({"--init-demo"});
  std::atomic<int> done{0}, wrong{0};
  std::vector<std::thread> threads;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  for (unsigned long t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      _TaskInfo opt;
      opt.taskId = 9000 + t;
      for (unsigned long i = 1; std::chrono::steady_clock::now() < end; ++i, ++done) {
        std::string err;
        unsigned long status = 0;
        TaskOption o(t, std::to_string(i), 7);
        if (setTask(opt.taskId, i, err) != 0 || getTask(opt.taskId, err, &status) != 0 || status != i ||
            TaskInterfaceNet().setOptions(opt, {&o}, err, nullptr) != 0) {
          ++wrong;
          return;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(0, wrong.load());
  EXPECT_GT(done.load(), 8);
  EXPECT_LE(socketPoolStats().idle, 8u);
}

// stop() (what SIGTERM runs) lets a request in flight finish and be
// answered, then stops serving.
TEST_F(SocketTest, StopFinishesTheRequestInFlight) {
  AppManager manager;
  AppManagerOptions o;
  o.dbPath = dir + "/s.db";
  std::string err;
  ASSERT_EQ(0, manager.open(o, err)) << err;
  std::promise<void> held, release;
  std::shared_future<void> released = release.get_future();
  manager.add(msg::kGetTaskInfo, [&](Context&, const Request& r, Reply& reply, std::string&) {
    held.set_value();
    released.wait();
    reply.as<TaskInfoResp>().task.taskId = r.as<GenericTaskApiReq>().info.taskId;
    return 0;
  }, AppManager::kReads);
  Log serverLog;
  serverLog.open(dir + "/log", Log::kError, err);
  Server listener(manager, serverLog);
  ServerOptions so;
  so.listen = "unix:" + dir + "/s.sock";
  ASSERT_EQ(0, listener.start(so, err)) << err;
  useEndpoint(so.listen);
  // A connection left in the middle of a frame ends only when stop() has shut
  // the reading side of every connection: the request in flight is released
  // after that.
  const int partial = rawConnect(so.listen);
  ASSERT_EQ(4, send(partial, "EVTF", 4, MSG_NOSIGNAL));
  int rc = -1;
  _TaskInfo t;
  t.taskId = 77;
  std::thread client([&] { rc = TaskInterfaceNet().getTaskInfo(t, err, nullptr); });
  held.get_future().wait();
  std::thread stopper([&] { listener.stop(); });
  ASSERT_TRUE(waitUntil([&] { return listener.activeConnections() == 1; }));
  release.set_value();
  client.join();
  stopper.join();
  close(partial);
  EXPECT_EQ(vals(0, 77ul, 0), vals(rc, static_cast<unsigned long>(t.task.taskId), listener.activeConnections()));
  struct stat st;
  EXPECT_NE(0, stat((dir + "/s.sock").c_str(), &st)) << "the socket is gone";
}

}  // namespace
}  // namespace appmgr
}  // namespace evtask
