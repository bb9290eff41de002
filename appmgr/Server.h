// The socket listener of evtask-appmgr: accepts connections on a Unix
// domain socket or on TCP, and answers each frame a connection sends through
// the AppManager, one request at a time per connection.
//
// - Unix socket: created with mode 0600; a peer whose uid (SO_PEERCRED) is
//   not the server's is refused before anything is read. A stale socket
//   file is replaced; one a live server answers on is not.
// - TCP: binds the host given ("tcp::PORT" and "tcp:localhost:PORT" bind
//   127.0.0.1); every connection must complete a TLS 1.3 handshake with the
//   pre-shared key before any request is read.
// - A thread per connection, at most maxConnections at once (more are
//   closed at once); frames above maxFrame close the connection; a
//   connection idle for idleTimeoutMs, or silent for readTimeoutMs inside a
//   frame, is closed. A frame that cannot be decoded gets an error response
//   when its type can be read, else the connection is closed; other
//   connections are not affected.
// - stop() stops accepting, lets every request in flight finish and be
//   answered, closes idle connections, and returns when all have ended.
//
// Thread safety: start() and stop() from one controlling thread.
#ifndef EVTASK_APPMGR_SERVER_H
#define EVTASK_APPMGR_SERVER_H

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "appmgr/AppManager.h"
#include "appmgr/Log.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace evtask {
namespace appmgr {

struct ServerOptions {
  std::string listen;   // "unix:PATH" or "tcp:HOST:PORT" (port 0: any free port)
  std::string keyFile;  // pre-shared key file, required for tcp
  int maxConnections = 64;
  size_t maxFrame = kMaxFrameSize;
  int idleTimeoutMs = 60000;
  int readTimeoutMs = 10000;
};

// Whether a Unix-socket peer with uid `peer` may talk to a server running
// as `self`: only the same user.
bool peerUidAllowed(uid_t peer, uid_t self);

class Server {
 public:
  Server(AppManager& app, Log& log);
  ~Server();

  // Binds, listens and starts accepting. 0, or a code with `err`.
  int start(const ServerOptions& options, std::string& err);
  void stop();
  // The endpoint actually listened on (the chosen port for port 0).
  const std::string& endpoint() const { return m_endpoint; }
  int activeConnections() const { return m_active.load(); }

  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

 private:
  void acceptLoop();
  void serve(int fd);
  bool admit(int fd, std::string& who);

  AppManager& m_app;
  Log& m_log;
  ServerOptions m_opt;
  std::string m_endpoint;
  std::string m_unixPath;
  bool m_isUnix = false;
  bool m_ownsPath = false;  // the socket file is ours to remove
  int m_listenFd = -1;
  int m_wake[2] = {-1, -1};
  SSL_CTX* m_tls = nullptr;
  std::vector<uint8_t> m_key;
  std::thread m_acceptor;
  std::atomic<int> m_active{0};
  std::mutex m_mu;
  std::condition_variable m_idle;
  std::atomic<bool> m_stopping{false};
};

}  // namespace appmgr
}  // namespace evtask

#endif  // EVTASK_APPMGR_SERVER_H
