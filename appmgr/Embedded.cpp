#include "appmgr/Embedded.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "appmgr/AppManager.h"
#include "appmgr/AppMgrErrors.h"
#include "platform/AppMgrTransport.h"

namespace evtask {
namespace appmgr {

namespace {

// Creates every missing folder of `dir`, private to the user.
bool makeDirs(const std::string& dir, std::string& err) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    const std::string part = dir.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      err = "cannot create folder " + part + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

}  // namespace

std::string defaultDatabasePath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && *data == '/') return std::string(data) + "/evtask/appmgr.db";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home == '/') return std::string(home) + "/.local/share/evtask/appmgr.db";
  return std::string();
}

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
    if (!makeDirs(o.dbPath.substr(0, o.dbPath.rfind('/')), err)) return kAmStoreError;
  }
  if (!(options.jobSpeed > 0)) {
    err = "job speed must be above 0";
    return kAmBadRequest;
  }
  if (!(options.failureRatio >= 0 && options.failureRatio <= 1)) {
    err = "failure ratio must be between 0 and 1";
    return kAmBadRequest;
  }
  auto server = std::make_shared<AppManager>();
  const int rc = server->open(o, err);
  if (rc != 0) return rc;
  std::shared_ptr<InProcessHandler> handler = server;
  setEmbeddedProvider([handler] { return handler; });
  return 0;
}

}  // namespace appmgr
}  // namespace evtask
