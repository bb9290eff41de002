#include "platform/SocketTransport.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/un.h>

#include <map>
#include <mutex>
#include <vector>

#include "platform/FrameSocket.h"
#include "platform/YMPlatformInfo.h"
#include "platform/YmErrors.h"

namespace evtask {

namespace {

struct Settings {
  int connectMs = 5000;
  int ioMs = 30000;
  int poolIdleMs = 20000;
  size_t poolMaxIdle = 8;
  std::string keyFile;
};

Settings readSettings() {
  Settings s;
  YMPlatformInfo info;
  unsigned long v = 0;
  if (info.getNumber("Platform", "ConnectTimeoutMs", &v) && v > 0) s.connectMs = static_cast<int>(v);
  if (info.getNumber("Platform", "IoTimeoutMs", &v) && v > 0) s.ioMs = static_cast<int>(v);
  if (info.getNumber("Platform", "PoolIdleMs", &v)) s.poolIdleMs = static_cast<int>(v);
  if (info.getNumber("Platform", "PoolMaxIdle", &v)) s.poolMaxIdle = v;
  info.getString("Platform", "AppMgrKeyFile", &s.keyFile);
  return s;
}

struct Connection {
  sock::Channel ch;
  Settings settings;
  long long lastUsedMs = 0;
  Frame buf;  // receive buffer, kept with the connection
  ~Connection() {
    if (ch.ssl != nullptr) SSL_free(ch.ssl);
    if (ch.fd >= 0) close(ch.fd);
  }
};

struct Pool {
  std::mutex mu;
  std::map<std::string, std::vector<std::unique_ptr<Connection>>> idle;
  SocketPoolStats stats;
};

Pool& pool() {
  static Pool* p = new Pool();
  return *p;
}

// The TLS client context of a key file, made once per file.
struct TlsContexts {
  std::mutex mu;
  std::map<std::string, std::pair<SSL_CTX*, std::vector<uint8_t>>> byKeyFile;
};
TlsContexts& tlsContexts() {
  static TlsContexts* t = new TlsContexts();
  return *t;
}

const int kKeyIndexUnset = -1;
int g_keyIndex = kKeyIndexUnset;

int useClientPsk(SSL* ssl, const EVP_MD* md, const unsigned char** id, size_t* idlen, SSL_SESSION** sess) {
  *sess = nullptr;
  const auto* key = static_cast<const std::vector<uint8_t>*>(SSL_get_ex_data(ssl, g_keyIndex));
  if (key == nullptr) return 0;
  SSL_SESSION* s = sock::makePskSession(ssl, *key);
  if (s == nullptr) return 0;
  if (md != nullptr && md != SSL_CIPHER_get_handshake_digest(SSL_SESSION_get0_cipher(s))) {
    SSL_SESSION_free(s);
    return 1;  // the server chose a hash our key's cipher does not use
  }
  *id = reinterpret_cast<const unsigned char*>(sock::kPskIdentity);
  *idlen = std::strlen(sock::kPskIdentity);
  *sess = s;
  return 1;
}

// Parses "unix:PATH" or "tcp:HOST:PORT".
bool parseEndpoint(const std::string& ep, bool& isUnix, std::string& where, std::string& port, std::string& err) {
  if (ep.compare(0, 5, "unix:") == 0) {
    isUnix = true;
    where = ep.substr(5);
    if (where.empty() || where.size() >= sizeof(sockaddr_un{}.sun_path)) {
      err = "Bad application manager endpoint \"" + ep + "\": the socket path is empty or too long";
      return false;
    }
    return true;
  }
  if (ep.compare(0, 4, "tcp:") == 0) {
    isUnix = false;
    const std::string rest = ep.substr(4);
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size()) {
      err = "Bad application manager endpoint \"" + ep + "\": expected tcp:HOST:PORT";
      return false;
    }
    where = rest.substr(0, colon);
    if (where.size() > 2 && where.front() == '[' && where.back() == ']') where = where.substr(1, where.size() - 2);
    port = rest.substr(colon + 1);
    return true;
  }
  err = "Bad application manager endpoint \"" + ep + "\"";
  return false;
}

// Connects a non-blocking socket within the connect timeout.
int connectSocket(const sockaddr* addr, socklen_t len, int family, const Settings& s, std::string& detail) {
  const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    detail = std::strerror(errno);
    return -1;
  }
  if (connect(fd, addr, len) != 0) {
    if (errno != EINPROGRESS && errno != EAGAIN) {
      detail = std::strerror(errno);
      close(fd);
      return -1;
    }
    const sock::Io w = sock::waitFor(fd, POLLOUT, sock::nowMs() + s.connectMs, -1, detail);
    int soErr = 0;
    socklen_t l = sizeof soErr;
    if (w == sock::Io::kTimeout) {
      detail = "no answer within " + std::to_string(s.connectMs) + " ms";
      close(fd);
      return -1;
    }
    if (w != sock::Io::kOk || getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &l) != 0 || soErr != 0) {
      if (soErr != 0) detail = std::strerror(soErr);
      close(fd);
      return -1;
    }
  }
  if (family != AF_UNIX) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  return fd;
}

std::unique_ptr<Connection> connectTo(const std::string& ep, int& rc, std::string& err) {
  bool isUnix = false;
  std::string where, port, detail;
  if (!parseEndpoint(ep, isUnix, where, port, err)) {
    rc = YM_SESSION_NO_SERVER;
    return nullptr;
  }
  std::unique_ptr<Connection> c(new Connection());
  c->settings = readSettings();
  const std::string cannot = "Cannot connect to the application manager at " + ep + ": ";
  if (isUnix) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, where.data(), where.size());
    c->ch.fd = connectSocket(reinterpret_cast<sockaddr*>(&a), sizeof a, AF_UNIX, c->settings, detail);
  } else {
    if (c->settings.keyFile.empty()) {
      rc = YM_SESSION_AUTH_REFUSED;
      err = "No key for the application manager at " + ep + ": set AppMgrKeyFile in [Platform]";
      return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    const int g = getaddrinfo(where.c_str(), port.c_str(), &hints, &res);
    if (g != 0) {
      rc = YM_SESSION_NO_SERVER;
      err = cannot + gai_strerror(g);
      return nullptr;
    }
    for (addrinfo* ai = res; ai != nullptr && c->ch.fd < 0; ai = ai->ai_next) {
      c->ch.fd = connectSocket(ai->ai_addr, ai->ai_addrlen, ai->ai_family, c->settings, detail);
    }
    freeaddrinfo(res);
  }
  if (c->ch.fd < 0) {
    rc = YM_SESSION_NO_SERVER;
    err = cannot + detail;
    return nullptr;
  }
  if (!isUnix) {
    SSL_CTX* ctx = nullptr;
    const std::vector<uint8_t>* key = nullptr;
    {
      TlsContexts& t = tlsContexts();
      std::lock_guard<std::mutex> lock(t.mu);
      auto it = t.byKeyFile.find(c->settings.keyFile);
      if (it == t.byKeyFile.end()) {
        std::vector<uint8_t> k;
        if (!sock::loadPskKey(c->settings.keyFile, k, detail)) {
          rc = YM_SESSION_AUTH_REFUSED;
          err = "No usable key for the application manager at " + ep + ": " + detail;
          return nullptr;
        }
        SSL_CTX* made = sock::makePskContext(false, detail);
        if (made == nullptr) {
          rc = YM_SESSION_NO_SERVER;
          err = cannot + detail;
          return nullptr;
        }
        if (g_keyIndex == kKeyIndexUnset) g_keyIndex = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
        SSL_CTX_set_psk_use_session_callback(made, useClientPsk);
        it = t.byKeyFile.emplace(c->settings.keyFile, std::make_pair(made, std::move(k))).first;
      }
      ctx = it->second.first;
      key = &it->second.second;
    }
    c->ch.ssl = sock::newTlsOnSocket(ctx, c->ch.fd);
    if (c->ch.ssl == nullptr) {
      rc = YM_SESSION_NO_MEMORY;
      err = "out of memory starting TLS";
      return nullptr;
    }
    SSL_set_ex_data(c->ch.ssl, g_keyIndex, const_cast<std::vector<uint8_t>*>(key));
    const sock::Io h = sock::handshake(c->ch, false, sock::nowMs() + c->settings.connectMs, detail);
    if (h == sock::Io::kTimeout) {
      rc = YM_SESSION_TIMEOUT;
      err = "Timed out authenticating with the application manager at " + ep;
      return nullptr;
    }
    if (h != sock::Io::kOk) {
      rc = YM_SESSION_AUTH_REFUSED;
      err = "The application manager at " + ep + " refused authentication: " + detail;
      return nullptr;
    }
  }
  std::lock_guard<std::mutex> lock(pool().mu);
  ++pool().stats.connected;
  return c;
}

// A pooled connection that is still usable, or null.
std::unique_ptr<Connection> takeIdle(const std::string& ep) {
  std::vector<std::unique_ptr<Connection>> stale;
  std::unique_ptr<Connection> found;
  {
    Pool& p = pool();
    std::lock_guard<std::mutex> lock(p.mu);
    auto it = p.idle.find(ep);
    if (it == p.idle.end()) return nullptr;
    const long long now = sock::nowMs();
    while (!it->second.empty() && !found) {
      std::unique_ptr<Connection> c = std::move(it->second.back());
      it->second.pop_back();
      // An idle connection has nothing to read: readable means the server
      // closed it (or broke protocol), so it is not used.
      uint8_t probe;
      const ssize_t r = recv(c->ch.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
      const bool alive = r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
      if (!alive || now - c->lastUsedMs > c->settings.poolIdleMs) {
        ++p.stats.discarded;
        stale.push_back(std::move(c));
      } else {
        ++p.stats.reused;
        found = std::move(c);
      }
    }
  }
  return found;  // stale connections close here, outside the lock
}

void putIdle(const std::string& ep, std::unique_ptr<Connection> c) {
  c->lastUsedMs = sock::nowMs();
  Pool& p = pool();
  std::unique_ptr<Connection> drop;
  std::lock_guard<std::mutex> lock(p.mu);
  auto& list = p.idle[ep];
  if (list.size() >= c->settings.poolMaxIdle) {
    drop = std::move(c);
    return;
  }
  list.push_back(std::move(c));
}

class SocketTransport : public AppMgrTransport {
 public:
  SocketTransport(std::string ep, std::unique_ptr<Connection> c) : m_ep(std::move(ep)), m_conn(std::move(c)) {}

  ~SocketTransport() override {
    if (m_conn && !m_pending) putIdle(m_ep, std::move(m_conn));
  }

  int send(const Frame& frame, std::string& err) override {
    if (!m_conn) {
      err = "The connection to the application manager at " + m_ep + " was closed after an earlier error";
      return YM_SESSION_SEND_FAILED;
    }
    if (m_pending) {
      err = "a response is still pending on this connection";
      return fail(YM_SESSION_OUT_OF_ORDER);
    }
    std::string detail;
    // From here on the request may reach the server: whatever happens, it
    // is not sent again.
    m_pending = true;
    const sock::Io r =
        sock::writeAll(m_conn->ch, frame.data(), frame.size(), sock::nowMs() + m_conn->settings.ioMs, detail);
    if (r == sock::Io::kOk) return 0;
    return fail(mapError(r, detail, true, err));
  }

  int receive(Frame& frame, std::string& err) override {
    if (!m_conn) {
      err = "The connection to the application manager at " + m_ep + " was closed after an earlier error";
      return YM_SESSION_RECEIVE_FAILED;
    }
    if (!m_pending) {
      err = "no response is pending";
      return YM_SESSION_OUT_OF_ORDER;
    }
    std::string detail;
    const sock::Io r = sock::readFrame(m_conn->ch, m_conn->buf, kMaxFrameSize,
                                       sock::nowMs() + m_conn->settings.ioMs, m_conn->settings.ioMs, -1, detail);
    if (r != sock::Io::kOk) return fail(mapError(r, detail, false, err));
    m_pending = false;
    frame.swap(m_conn->buf);
    return 0;
  }

  void recycle(Frame& frame) override {
    if (m_conn && frame.capacity() > m_conn->buf.capacity()) m_conn->buf.swap(frame);
  }

 private:
  int fail(int code) {
    m_conn.reset();  // a connection that saw an error is never reused
    return code;
  }

  int mapError(sock::Io r, const std::string& detail, bool sending, std::string& err) {
    switch (r) {
      case sock::Io::kTimeout:
        err = "Timed out after " + std::to_string(m_conn->settings.ioMs) + " ms " +
              (sending ? "sending to" : "waiting for") + " the application manager at " + m_ep;
        return YM_SESSION_TIMEOUT;
      case sock::Io::kClosed:
        err = "Server closed the connection";
        return YM_SESSION_CLOSED;
      case sock::Io::kClosedMidFrame:
        err = "Server closed the connection in the middle of a frame";
        return YM_SESSION_CLOSED;
      case sock::Io::kBadFrame:
        err = "Protocol error from the application manager at " + m_ep + ": " + detail;
        return YM_SESSION_PROTOCOL_ERROR;
      default:
        err = std::string(sending ? "Cannot send to" : "Cannot read from") + " the application manager at " + m_ep +
              ": " + detail;
        return sending ? YM_SESSION_SEND_FAILED : YM_SESSION_RECEIVE_FAILED;
    }
  }

  std::string m_ep;
  std::unique_ptr<Connection> m_conn;
  bool m_pending = false;
};

void lockPoolForFork() { pool().mu.lock(); }
void unlockPoolForFork() { pool().mu.unlock(); }
void resetPoolInChild() {
  // The child shares the parent's sockets; using them would interleave
  // frames, so it forgets them (closing only its own descriptors).
  Pool& p = pool();
  p.idle.clear();
  p.mu.unlock();
}

}  // namespace

std::unique_ptr<AppMgrTransport> openSocketTransport(const std::string& endpoint, int& rc, std::string& err) {
  rc = 0;
  std::unique_ptr<Connection> c = takeIdle(endpoint);
  if (!c) c = connectTo(endpoint, rc, err);
  if (!c) return nullptr;
  return std::unique_ptr<AppMgrTransport>(new SocketTransport(endpoint, std::move(c)));
}

void registerSocketTransports() {
  static std::once_flag once;
  std::call_once(once, [] {
    pthread_atfork(lockPoolForFork, unlockPoolForFork, resetPoolInChild);
    registerTransportFactory("unix", openSocketTransport);
    registerTransportFactory("tcp", openSocketTransport);
  });
}

SocketPoolStats socketPoolStats() {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mu);
  SocketPoolStats s = p.stats;
  s.idle = 0;
  for (const auto& kv : p.idle) s.idle += kv.second.size();
  return s;
}

void drainSocketPool() {
  std::map<std::string, std::vector<std::unique_ptr<Connection>>> gone;
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.mu);
  gone.swap(p.idle);
}

}  // namespace evtask
