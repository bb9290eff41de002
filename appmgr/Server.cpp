#include "appmgr/Server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/stat.h>
#include <sys/un.h>

#include "platform/FrameSocket.h"

namespace evtask {
namespace appmgr {

namespace {

int findPsk(SSL* ssl, const unsigned char* id, size_t len, SSL_SESSION** sess) {
  *sess = nullptr;
  if (len != std::strlen(sock::kPskIdentity) || std::memcmp(id, sock::kPskIdentity, len) != 0) {
    return 1;  // an identity we do not know: no key, the handshake fails
  }
  const auto* key = static_cast<const std::vector<uint8_t>*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
  *sess = sock::makePskSession(ssl, *key);
  return *sess != nullptr ? 1 : 0;
}

std::string describe(const sockaddr_storage& a) {
  char host[INET6_ADDRSTRLEN] = "?";
  int port = 0;
  if (a.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&a);
    inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
    port = ntohs(in->sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&a);
    inet_ntop(AF_INET6, &in->sin6_addr, host, sizeof host);
    port = ntohs(in->sin6_port);
  } else {
    return "local peer";
  }
  return std::string(host) + ":" + std::to_string(port);
}

}  // namespace

bool peerUidAllowed(uid_t peer, uid_t self) { return peer == self; }

Server::Server(AppManager& app, Log& log) : m_app(app), m_log(log) {}

Server::~Server() {
  stop();
  if (m_tls != nullptr) SSL_CTX_free(m_tls);
}

int Server::start(const ServerOptions& options, std::string& err) {
  m_opt = options;
  const std::string& l = options.listen;
  if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    err = std::string("cannot create the wake pipe: ") + std::strerror(errno);
    return 1;
  }
  if (l.compare(0, 5, "unix:") == 0) {
    m_isUnix = true;
    m_unixPath = l.substr(5);
    sockaddr_un a{};
    if (m_unixPath.empty() || m_unixPath.size() >= sizeof a.sun_path) {
      err = "socket path of " + l + " is empty or too long";
      return 1;
    }
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, m_unixPath.data(), m_unixPath.size());
    struct stat st;
    if (lstat(m_unixPath.c_str(), &st) == 0) {
      if (!S_ISSOCK(st.st_mode)) {
        err = m_unixPath + " exists and is not a socket";
        return 1;
      }
      const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      const bool live = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
      if (probe >= 0) close(probe);
      if (live) {
        err = "another server is listening on " + m_unixPath;
        return 1;
      }
      unlink(m_unixPath.c_str());  // left behind by a server that died
    }
    m_listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // Created private: no window in which another user could connect.
    const mode_t old = umask(0177);
    const int b = m_listenFd >= 0 ? bind(m_listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) : -1;
    umask(old);
    m_ownsPath = b == 0;
    if (b != 0 || chmod(m_unixPath.c_str(), 0600) != 0 || listen(m_listenFd, 128) != 0) {
      err = "cannot listen on " + l + ": " + std::strerror(errno);
      return 1;
    }
    m_endpoint = l;
  } else if (l.compare(0, 4, "tcp:") == 0) {
    const std::string rest = l.substr(4);
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon + 1 == rest.size()) {
      err = "expected tcp:HOST:PORT, got " + l;
      return 1;
    }
    std::string host = rest.substr(0, colon);
    const std::string port = rest.substr(colon + 1);
    if (host.empty() || host == "localhost") host = "127.0.0.1";
    if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
    if (options.keyFile.empty()) {
      err = "a TCP listener needs a key file (--key-file)";
      return 1;
    }
    if (!sock::loadPskKey(options.keyFile, m_key, err)) return 1;
    m_tls = sock::makePskContext(true, err);
    if (m_tls == nullptr) return 1;
    SSL_CTX_set_app_data(m_tls, &m_key);
    SSL_CTX_set_psk_find_session_callback(m_tls, findPsk);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    const int g = getaddrinfo(host.c_str(), port.c_str(), &hints, &res);
    if (g != 0) {
      err = "cannot resolve " + host + ": " + gai_strerror(g);
      return 1;
    }
    m_listenFd = socket(res->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int one = 1;
    if (m_listenFd >= 0) setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool ok = m_listenFd >= 0 && bind(m_listenFd, res->ai_addr, res->ai_addrlen) == 0 && listen(m_listenFd, 128) == 0;
    freeaddrinfo(res);
    if (!ok) {
      err = "cannot listen on " + l + ": " + std::strerror(errno);
      return 1;
    }
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&bound), &len);
    const int realPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                                     : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    m_endpoint = "tcp:" + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                 std::to_string(realPort);
  } else {
    err = "listen address must be unix:PATH or tcp:HOST:PORT, got " + l;
    return 1;
  }
  m_acceptor = std::thread(&Server::acceptLoop, this);
  m_log.write(Log::kInfo, "listening on %s", m_endpoint.c_str());
  return 0;
}

void Server::acceptLoop() {
  for (;;) {
    pollfd p[2] = {{m_listenFd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      m_log.write(Log::kError, "poll on the listening socket failed: %s", std::strerror(errno));
      return;
    }
    if (p[1].revents & POLLIN) return;
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    const int fd = accept4(m_listenFd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED) {
        m_log.write(Log::kWarning, "accept failed: %s", std::strerror(errno));
      }
      continue;
    }
    {
      std::lock_guard<std::mutex> lock(m_mu);
      if (m_active.load() >= m_opt.maxConnections) {
        m_log.write(Log::kWarning, "refused a connection from %s: %d connections are open", describe(peer).c_str(),
                    m_opt.maxConnections);
        close(fd);
        continue;
      }
      ++m_active;
    }
    if (!m_isUnix) {
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    std::thread([this, fd, peer] {
      serve(fd);
      close(fd);
      std::lock_guard<std::mutex> lock(m_mu);
      --m_active;
      m_idle.notify_all();
      (void)peer;
    }).detach();
  }
}

bool Server::admit(int fd, std::string& who) {
  if (m_isUnix) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
      m_log.write(Log::kWarning, "refused a local connection: its credentials cannot be read: %s",
                  std::strerror(errno));
      return false;
    }
    who = "pid " + std::to_string(cred.pid) + " uid " + std::to_string(cred.uid);
    if (!peerUidAllowed(cred.uid, geteuid())) {
      m_log.write(Log::kWarning, "refused a local connection from %s: only uid %u may connect", who.c_str(),
                  static_cast<unsigned>(geteuid()));
      return false;
    }
    return true;
  }
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len);
  who = describe(peer);
  return true;
}

void Server::serve(int fd) {
  std::string who, detail;
  if (!admit(fd, who)) return;
  sock::Channel ch{fd, nullptr};
  if (m_tls != nullptr) {
    ch.ssl = sock::newTlsOnSocket(m_tls, fd);
    if (ch.ssl == nullptr || sock::handshake(ch, true, sock::nowMs() + m_opt.readTimeoutMs, detail) != sock::Io::kOk) {
      // Nothing of the connection has been read as a request.
      m_log.write(Log::kWarning, "refused %s: authentication failed: %s", who.c_str(),
                  detail.empty() ? "out of memory" : detail.c_str());
      if (ch.ssl != nullptr) SSL_free(ch.ssl);
      return;
    }
  }
  m_log.write(Log::kDebug, "connection from %s", who.c_str());
  Frame in, out;
  for (;;) {
    if (m_stopping.load()) break;
    const sock::Io r =
        sock::readFrame(ch, in, m_opt.maxFrame, sock::nowMs() + m_opt.idleTimeoutMs, m_opt.readTimeoutMs, m_wake[0], detail);
    if (r == sock::Io::kClosed || r == sock::Io::kWoken) break;
    if (r != sock::Io::kOk) {
      const char* why = r == sock::Io::kTimeout ? "timed out" : r == sock::Io::kClosedMidFrame ? "closed mid-frame"
                                                                                               : detail.c_str();
      m_log.write(Log::kWarning, "closing the connection from %s: %s", who.c_str(), why);
      break;
    }
    if (!m_app.answer(in.data(), in.size(), out)) {
      m_log.write(Log::kWarning, "closing the connection from %s: not a request of this protocol", who.c_str());
      break;
    }
    if (sock::writeAll(ch, out.data(), out.size(), sock::nowMs() + m_opt.readTimeoutMs, detail) != sock::Io::kOk) {
      m_log.write(Log::kWarning, "closing the connection from %s: cannot send the response: %s", who.c_str(),
                  detail.c_str());
      break;
    }
  }
  if (ch.ssl != nullptr) SSL_free(ch.ssl);
}

void Server::stop() {
  if (m_listenFd < 0 && !m_acceptor.joinable()) return;
  m_stopping = true;
  if (m_wake[1] >= 0) {
    const char b = 1;
    if (write(m_wake[1], &b, 1) < 0) m_log.write(Log::kError, "cannot wake the server threads");
  }
  if (m_acceptor.joinable()) m_acceptor.join();
  {
    std::unique_lock<std::mutex> lock(m_mu);
    m_idle.wait(lock, [this] { return m_active.load() == 0; });
  }
  if (m_listenFd >= 0) close(m_listenFd);
  m_listenFd = -1;
  if (m_ownsPath) unlink(m_unixPath.c_str());
  m_ownsPath = false;
  for (int& w : m_wake) {
    if (w >= 0) close(w);
    w = -1;
  }
  m_log.write(Log::kInfo, "stopped listening on %s", m_endpoint.c_str());
}

}  // namespace appmgr
}  // namespace evtask
