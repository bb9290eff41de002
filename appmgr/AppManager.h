// The reference application manager: answers request frames from its SQLite
// store. The embedded mode hands it to the in-process transport; the socket
// server feeds it the frames it reads.
//
// Dispatch is a table from request type code to handler. Each writing
// request runs in one transaction: the handler fills the response, the
// transaction commits, and only then is the response encoded, so a write is
// acknowledged only after it is durable. A handler registered as reading
// runs without BEGIN/COMMIT: requests are serialised on the one connection,
// so its statements see one consistent state anyway (and a reader that
// writes anyway, such as the job simulator bringing jobs up to date, still
// commits each statement before the response is sent). A handler that fails (non-zero result, or a
// database error) has its transaction rolled back and the client gets a
// response of the expected type carrying only the header with the code and a
// text. A type with no handler gets kAmUnsupported, never a silent success.
//
// Thread safety: answer() may be called from many threads; requests are
// serialised on the store's mutex. add() is for set-up, before serving.
#ifndef EVTASK_APPMGR_APPMANAGER_H
#define EVTASK_APPMGR_APPMANAGER_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "appmgr/JobSimulator.h"
#include "appmgr/Store.h"
#include "platform/AppMgrTransport.h"
#include "platform/FrameCodec.h"
#include "platform/NetMessage.h"

class YmClock;

namespace evtask {
namespace appmgr {

// A decoded request. Texts and arrays it references live as long as it does.
struct Request {
  uint32_t type = 0;
  const void* data = nullptr;
  template <class T>
  const T& as() const {
    return *static_cast<const T*>(data);
  }
};

// The response under construction: a zeroed structure of the response type,
// plus texts and arrays it owns until the response is encoded.
class Reply {
 public:
  explicit Reply(uint32_t size) : m_storage(size / 8 + 1, 0) {}
  template <class T>
  T& as() {
    return *reinterpret_cast<T*>(m_storage.data());
  }
  void* data() { return m_storage.data(); }
  // A copy of `s` that stays valid until the reply is encoded.
  char* text(const std::string& s);
  // `n` zeroed elements of T (null when n is 0).
  template <class T>
  T* array(size_t n) {
    if (n == 0) return nullptr;
    m_arrays.emplace_back(new uint64_t[(n * sizeof(T)) / 8 + 1]());
    return reinterpret_cast<T*>(m_arrays.back().get());
  }

 private:
  std::vector<uint64_t> m_storage;
  std::deque<std::string> m_texts;
  std::vector<std::unique_ptr<uint64_t[]>> m_arrays;
};

class AppManager;

// What a handler works with.
struct Context {
  AppManager& server;
  Store& store;
  JobSimulator& jobs;
};

// Fills `reply` and returns 0, or returns a code with a text in `err`.
using Handler = std::function<int(Context& ctx, const Request& req, Reply& reply, std::string& err)>;

struct AppManagerOptions {
  std::string dbPath;
  bool initDemo = false;
  double jobSpeed = 1.0;
  double failureRatio = 0.0;
  YmClock* clock = nullptr;  // not owned; null = the platform clock
  uint32_t seed = 1;
};

class AppManager : public InProcessHandler {
 public:
  AppManager();
  ~AppManager() override;

  // Opens the store (migrating it), loads the demo catalogue into an empty
  // store when asked, and fills the dispatch table. 0, or a code and `err`.
  int open(const AppManagerOptions& options, std::string& err);
  // Closes the store after the requests in flight finish.
  void close();

  enum Access { kReads, kWrites };
  // Sets the handler of `requestType` (its response type is requestType + 1
  // and must be in the wire catalogue). Replaces an earlier one. When in
  // doubt, kWrites.
  void add(uint32_t requestType, Handler handler, Access access = kWrites);
  bool serves(uint32_t requestType) const;

  // Answers one request frame. Returns false, with `response` empty, when
  // the bytes are not a frame of this protocol at all (no type can be read):
  // a socket server then closes the connection.
  bool answer(const uint8_t* request, size_t n, Frame& response);

  // InProcessHandler
  void handleFrame(const Frame& request, Frame& response) override;

  Store& store() { return m_store; }
  JobSimulator& jobs() { return *m_jobs; }

 private:
  void errorResponse(uint32_t requestType, const AppMgrReqHdr& reqHdr, int code, const std::string& text,
                     Frame& response);

  Store m_store;
  std::unique_ptr<JobSimulator> m_jobs;
  struct Entry {
    Handler handler;
    Access access;
  };
  std::map<uint32_t, Entry> m_handlers;
};

// Fill the dispatch table (defined next to the handlers).
void addTaskHandlers(AppManager& server);
void addPlatformHandlers(AppManager& server);
void addScheduleHandlers(AppManager& server);
// Creates every missing folder of `dir` with mode 0700; false with `err`.
bool makePrivateFolders(const std::string& dir, std::string& err);
// Loads the demo catalogue (inside the caller's transaction).
void loadDemoCatalogue(Store& store, JobSimulator& jobs);

}  // namespace appmgr
}  // namespace evtask

#endif  // EVTASK_APPMGR_APPMANAGER_H
