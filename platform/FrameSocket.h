// Frames over a stream socket, plain or TLS 1.3 with a pre-shared key: the
// reading and writing both ends of the socket transport share (the client
// in platform/SocketTransport, the server in appmgr/). Header-only and
// internal: nothing here is exported from the library.
//
// Sockets are non-blocking; every read and write is bounded by a deadline,
// so a silent or trickling peer ends in kTimeout, never a hang. A frame is
// read into a buffer the caller keeps between frames (grown, never shrunk),
// header and body together in as few reads as the kernel allows.
//
// The pre-shared key file holds 64 hexadecimal digits (32 bytes; white space
// around them is ignored) and must be a regular file of the calling user
// that no one else may read or write (mode 0600 or stricter).
#ifndef EVTASK_PLATFORM_FRAMESOCKET_H
#define EVTASK_PLATFORM_FRAMESOCKET_H

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/FrameCodec.h"

namespace evtask {
namespace sock {

enum class Io {
  kOk,
  kClosed,          // the peer closed before the first byte of a frame
  kClosedMidFrame,  // the peer closed inside a frame
  kTimeout,
  kError,           // socket or TLS failure (text in detail)
  kBadFrame,        // not a frame header of this protocol, or over the limit
  kWoken,           // the wake descriptor became readable (shutdown)
};

// The identity both ends present with the pre-shared key.
constexpr const char* kPskIdentity = "evtask-appmgr";
constexpr size_t kPskBytes = 32;

inline long long nowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

inline bool setNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// One end of a connection: a socket, with a TLS session when it has one.
struct Channel {
  int fd = -1;
  SSL* ssl = nullptr;
};

inline std::string tlsErrorText(const char* fallback) {
  const unsigned long e = ERR_get_error();
  ERR_clear_error();
  if (e == 0) return fallback;
  char buf[256];
  ERR_error_string_n(e, buf, sizeof buf);
  return buf;
}

// Waits until `fd` is ready for `events` or the deadline passes. Returns
// kOk, kTimeout, kWoken or kError.
inline Io waitFor(int fd, short events, long long deadline, int wakeFd, std::string& detail) {
  for (;;) {
    const long long left = deadline - nowMs();
    if (left <= 0) return Io::kTimeout;
    pollfd p[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    const int n = poll(p, wakeFd >= 0 ? 2 : 1, static_cast<int>(left > 60000 ? 60000 : left));
    if (n < 0) {
      if (errno == EINTR) continue;
      detail = std::strerror(errno);
      return Io::kError;
    }
    if (n == 0) continue;
    if (wakeFd >= 0 && (p[1].revents & POLLIN)) return Io::kWoken;
    if (p[0].revents != 0) return Io::kOk;  // ready, or an error the next call reports
  }
}

// Reads at most n bytes. Returns kOk with *got > 0, kClosed on end of
// stream, or a failure.
inline Io readSome(Channel& c, uint8_t* p, size_t n, size_t* got, long long deadline, int wakeFd, bool waitFirst,
                   std::string& detail) {
  if (waitFirst && (c.ssl == nullptr || SSL_pending(c.ssl) == 0)) {
    const Io w = waitFor(c.fd, POLLIN, deadline, wakeFd, detail);
    if (w != Io::kOk) return w;
  }
  for (;;) {
    if (c.ssl == nullptr) {
      const ssize_t r = recv(c.fd, p, n, 0);
      if (r > 0) {
        *got = static_cast<size_t>(r);
        return Io::kOk;
      }
      if (r == 0) return Io::kClosed;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        detail = std::strerror(errno);
        return errno == ECONNRESET ? Io::kClosed : Io::kError;
      }
      const Io w = waitFor(c.fd, POLLIN, deadline, wakeFd, detail);
      if (w != Io::kOk) return w;
      continue;
    }
    size_t r = 0;
    if (SSL_read_ex(c.ssl, p, n, &r) == 1) {
      *got = r;
      return Io::kOk;
    }
    const int e = SSL_get_error(c.ssl, 0);
    if (e == SSL_ERROR_ZERO_RETURN) return Io::kClosed;
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
      const Io w = waitFor(c.fd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline, wakeFd, detail);
      if (w != Io::kOk) return w;
      continue;
    }
    if (e == SSL_ERROR_SYSCALL && (errno == 0 || errno == ECONNRESET || errno == EPIPE)) {
      ERR_clear_error();
      return Io::kClosed;  // end of stream without a TLS close
    }
    detail = tlsErrorText("TLS read failed");
    return Io::kError;
  }
}

inline Io writeAll(Channel& c, const uint8_t* p, size_t n, long long deadline, std::string& detail) {
  while (n > 0) {
    if (c.ssl == nullptr) {
      const ssize_t r = send(c.fd, p, n, MSG_NOSIGNAL);
      if (r > 0) {
        p += r;
        n -= static_cast<size_t>(r);
        continue;
      }
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        const Io w = waitFor(c.fd, POLLOUT, deadline, -1, detail);
        if (w != Io::kOk) return w;
        continue;
      }
      detail = std::strerror(errno);
      return errno == EPIPE || errno == ECONNRESET ? Io::kClosed : Io::kError;
    }
    size_t w = 0;
    if (SSL_write_ex(c.ssl, p, n, &w) == 1) {
      p += w;
      n -= w;
      continue;
    }
    const int e = SSL_get_error(c.ssl, 0);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
      const Io r = waitFor(c.fd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline, -1, detail);
      if (r != Io::kOk) return r;
      continue;
    }
    if (e == SSL_ERROR_SYSCALL && (errno == EPIPE || errno == ECONNRESET)) {
      ERR_clear_error();
      return Io::kClosed;
    }
    detail = tlsErrorText("TLS write failed");
    return Io::kError;
  }
  return Io::kOk;
}

// Reads one frame into `buf` (resized to the frame's length; its capacity is
// kept for the next frame). Until the first byte the wait is bounded by
// firstDeadline; after it by restMs from that byte on. A header that is not
// of this protocol, or announces more than maxFrame bytes, gives kBadFrame
// before any body byte is read.
inline Io readFrame(Channel& c, Frame& buf, size_t maxFrame, long long firstDeadline, int restMs, int wakeFd,
                    std::string& detail) {
  size_t have = 0;
  size_t total = kFrameHeaderSize;
  if (buf.size() < 4096) buf.resize(buf.capacity() > 4096 ? buf.capacity() : 4096);
  long long deadline = firstDeadline;
  while (have < total) {
    size_t got = 0;
    const Io r = readSome(c, buf.data() + have, buf.size() - have, &got, deadline, have == 0 ? wakeFd : -1,
                          have == 0, detail);
    if (r == Io::kClosed) return have == 0 ? Io::kClosed : Io::kClosedMidFrame;
    if (r != Io::kOk) return r;
    if (have == 0) deadline = nowMs() + restMs;
    have += got;
    if (total == kFrameHeaderSize && have >= kFrameHeaderSize) {
      uint32_t magic, body;
      std::memcpy(&magic, buf.data(), 4);
      std::memcpy(&body, buf.data() + 16, 4);
      if (magic != kFrameMagic) {
        detail = "not a frame of this protocol";
        return Io::kBadFrame;
      }
      if (body > maxFrame - kFrameHeaderSize) {
        detail = "frame of " + std::to_string(static_cast<unsigned long long>(body) + kFrameHeaderSize) +
                 " bytes exceeds the limit of " + std::to_string(maxFrame);
        return Io::kBadFrame;
      }
      total = kFrameHeaderSize + body;
      if (buf.size() < total) buf.resize(total);
    }
  }
  if (have > total) {
    // One request, one response: bytes beyond the frame mean the peer does
    // not follow the protocol.
    detail = "bytes beyond the end of the frame";
    return Io::kBadFrame;
  }
  buf.resize(total);
  return Io::kOk;
}

// Reads the pre-shared key file (see the top of this file).
inline bool loadPskKey(const std::string& path, std::vector<uint8_t>& key, std::string& err) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    err = "cannot open key file " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  std::string text;
  bool ok = fstat(fd, &st) == 0;
  if (!ok || !S_ISREG(st.st_mode)) {
    err = "key file " + path + " is not a regular file";
  } else if (st.st_uid != geteuid()) {
    err = "key file " + path + " is not owned by the current user";
    ok = false;
  } else if ((st.st_mode & 077) != 0) {
    err = "key file " + path + " is accessible by others; it must have mode 0600";
    ok = false;
  } else {
    char chunk[256];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0 && text.size() < 4096) text.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  if (!ok) return false;
  const size_t b = text.find_first_not_of(" \t\r\n");
  const size_t e = text.find_last_not_of(" \t\r\n");
  const std::string hex = b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
  auto nibble = [](char ch) -> int {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
  };
  key.clear();
  if (hex.size() == kPskBytes * 2) {
    for (size_t i = 0; i < hex.size(); i += 2) {
      const int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
      if (hi < 0 || lo < 0) break;
      key.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
  }
  if (key.size() != kPskBytes) {
    key.clear();
    err = "key file " + path + " must hold 64 hexadecimal digits";
    return false;
  }
  return true;
}

// A socket BIO that never raises SIGPIPE (writes use MSG_NOSIGNAL): the
// library must not depend on the host program ignoring the signal.
inline BIO_METHOD* noSigpipeSocketMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "evtask socket");
    BIO_meth_set_write(m, [](BIO* b, const char* data, int n) -> int {
      BIO_clear_retry_flags(b);
      const ssize_t r = send(static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b))), data,
                             static_cast<size_t>(n), MSG_NOSIGNAL);
      if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_write(b);
      return static_cast<int>(r);
    });
    BIO_meth_set_read(m, [](BIO* b, char* data, int n) -> int {
      BIO_clear_retry_flags(b);
      const ssize_t r = recv(static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b))), data,
                             static_cast<size_t>(n), 0);
      if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_read(b);
      return static_cast<int>(r);
    });
    BIO_meth_set_ctrl(m, [](BIO*, int cmd, long, void*) -> long { return cmd == BIO_CTRL_FLUSH ? 1 : 0; });
    BIO_meth_set_create(m, [](BIO* b) -> int {
      BIO_set_init(b, 1);
      return 1;
    });
    return m;
  }();
  return method;
}

// A TLS session on socket `fd` (not owned), or null.
inline SSL* newTlsOnSocket(SSL_CTX* ctx, int fd) {
  SSL* ssl = SSL_new(ctx);
  BIO* bio = ssl != nullptr ? BIO_new(noSigpipeSocketMethod()) : nullptr;
  if (bio == nullptr) {
    SSL_free(ssl);
    return nullptr;
  }
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
  SSL_set_bio(ssl, bio, bio);
  return ssl;
}

// A TLS 1.3 session that carries the pre-shared key (cipher
// TLS_AES_128_GCM_SHA256). The caller frees it.
inline SSL_SESSION* makePskSession(SSL* ssl, const std::vector<uint8_t>& key) {
  static const unsigned char kAes128GcmSha256[] = {0x13, 0x01};
  const SSL_CIPHER* cipher = SSL_CIPHER_find(ssl, kAes128GcmSha256);
  if (cipher == nullptr) return nullptr;
  SSL_SESSION* s = SSL_SESSION_new();
  if (s == nullptr) return nullptr;
  if (SSL_SESSION_set1_master_key(s, key.data(), key.size()) != 1 || SSL_SESSION_set_cipher(s, cipher) != 1 ||
      SSL_SESSION_set_protocol_version(s, TLS1_3_VERSION) != 1) {
    SSL_SESSION_free(s);
    return nullptr;
  }
  return s;
}

// A TLS 1.3 context limited to the one pre-shared-key cipher, no
// certificates and no session tickets.
inline SSL_CTX* makePskContext(bool server, std::string& err) {
  SSL_CTX* ctx = SSL_CTX_new(server ? TLS_server_method() : TLS_client_method());
  if (ctx == nullptr || SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION) != 1 ||
      SSL_CTX_set_max_proto_version(ctx, TLS1_3_VERSION) != 1 ||
      SSL_CTX_set_ciphersuites(ctx, "TLS_AES_128_GCM_SHA256") != 1) {
    err = tlsErrorText("cannot create a TLS context");
    SSL_CTX_free(ctx);
    return nullptr;
  }
  SSL_CTX_set_num_tickets(ctx, 0);
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  return ctx;
}

// Runs the handshake of `c.ssl` on a non-blocking socket until it ends or
// the deadline passes.
inline Io handshake(Channel& c, bool server, long long deadline, std::string& detail) {
  for (;;) {
    const int r = server ? SSL_accept(c.ssl) : SSL_connect(c.ssl);
    if (r == 1) return Io::kOk;
    const int e = SSL_get_error(c.ssl, r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
      const Io w = waitFor(c.fd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline, -1, detail);
      if (w != Io::kOk) return w;
      continue;
    }
    detail = tlsErrorText(e == SSL_ERROR_SYSCALL ? "connection closed during the TLS handshake"
                                                 : "TLS handshake failed");
    return Io::kError;
  }
}

}  // namespace sock
}  // namespace evtask

#endif  // EVTASK_PLATFORM_FRAMESOCKET_H
