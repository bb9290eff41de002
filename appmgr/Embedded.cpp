#include "appmgr/Embedded.h"

#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "appmgr/AppManager.h"
#include "appmgr/AppMgrErrors.h"
#include "platform/AppMgrTransport.h"

namespace evtask {
namespace appmgr {

std::string defaultDatabasePath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && *data == '/') return std::string(data) + "/evtask/appmgr.db";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home == '/') return std::string(home) + "/.local/share/evtask/appmgr.db";
  return std::string();
}

namespace {

// The embedded server of the process. The store holds its database file's
// lock for as long as it is open, so a second server on the same file in
// this process would wait for that lock and fail: registering the same file
// again reuses the open server, and another file replaces (and closes) it.
std::mutex g_mu;
std::shared_ptr<AppManager> g_server;
std::string g_path;  // as resolved when it was opened

// The file's resolved path when it exists (so that two spellings of one file
// agree), else the path as given.
std::string resolved(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : path;
}

}  // namespace

int registerEmbedded(const EmbeddedOptions& options, std::string& err) {
  AppManagerOptions o;
  o.dbPath = options.dbPath;
  o.initDemo = options.initDemo;
  o.jobSpeed = options.jobSpeed;
  o.failureRatio = options.failureRatio;
  if (o.dbPath.empty()) {
    o.dbPath = defaultDatabasePath();
    if (o.dbPath.empty()) {
      err = "no database path given and neither XDG_DATA_HOME nor HOME is set";
      return kAmBadRequest;
    }
    if (!makePrivateFolders(o.dbPath.substr(0, o.dbPath.rfind('/')), err)) return kAmStoreError;
  }
  if (!(options.jobSpeed > 0)) {
    err = "job speed must be above 0";
    return kAmBadRequest;
  }
  if (!(options.failureRatio >= 0 && options.failureRatio <= 1)) {
    err = "failure ratio must be between 0 and 1";
    return kAmBadRequest;
  }
  std::lock_guard<std::mutex> lock(g_mu);
  const std::string path = resolved(o.dbPath);
  std::shared_ptr<AppManager> server;
  if (g_server && g_path == path) {
    server = g_server;
  } else {
    // Another file: the new store is opened before the old one is closed,
    // so a file that cannot be used leaves the running server in place.
    server = std::make_shared<AppManager>();
    const int rc = server->open(o, err);
    if (rc != 0) return rc;
    if (g_server) g_server->close();
    g_server = server;
    g_path = resolved(o.dbPath);
  }
  std::shared_ptr<InProcessHandler> handler = server;
  setEmbeddedProvider([handler] { return handler; });
  return 0;
}

}  // namespace appmgr
}  // namespace evtask
