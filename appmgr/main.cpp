// evtask-appmgr: the reference application manager as a program.
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "appmgr/AppManager.h"
#include "appmgr/Embedded.h"
#include "appmgr/Log.h"
#include "appmgr/Server.h"

using namespace evtask::appmgr;

namespace {

const char kUsage[] =
    "usage: evtask-appmgr [options]\n"
    "  --db FILE              database file (default: $XDG_DATA_HOME/evtask/appmgr.db)\n"
    "  --listen ENDPOINT      unix:PATH or tcp:HOST:PORT (default: unix:$XDG_RUNTIME_DIR/evtask/appmgr.sock)\n"
    "  --key-file FILE        pre-shared key for tcp (64 hex digits, mode 0600)\n"
    "  --init-demo            load the demo catalogue into an empty database\n"
    "  --job-speed N          job simulator speed factor (default 1)\n"
    "  --failure-ratio R      share of simulated jobs that fail, 0 to 1 (default 0)\n"
    "  --max-connections N    connections served at once (default 64)\n"
    "  --max-frame BYTES      largest request frame accepted (default 16777216)\n"
    "  --idle-timeout-ms N    close a connection idle this long (default 60000)\n"
    "  --read-timeout-ms N    close a connection silent this long inside a frame (default 10000)\n"
    "  --log-file FILE        log here instead of stderr\n"
    "  --log-level N          0 errors, 1 warnings, 2 information (default), 3 debug\n";

std::string defaultListen() {
  const char* run = std::getenv("XDG_RUNTIME_DIR");
  std::string dir = run != nullptr && *run == '/' ? std::string(run) + "/evtask"
                                                  : "/tmp/evtask-" + std::to_string(geteuid());
  mkdir(dir.c_str(), 0700);
  return "unix:" + dir + "/appmgr.sock";
}

bool number(const char* text, double lo, double hi, double& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtod(text, &end);
  return errno == 0 && end != text && *end == '\0' && out >= lo && out <= hi;
}

}  // namespace

int main(int argc, char** argv) {
  AppManagerOptions app;
  ServerOptions srv;
  std::string logFile;
  int logLevel = Log::kInfo;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--init-demo") {
      app.initDemo = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "evtask-appmgr: %s needs a value\n%s", a.c_str(), kUsage);
      return 2;
    }
    const char* v = argv[++i];
    double n = 0;
    bool ok = true;
    if (a == "--db") app.dbPath = v;
    else if (a == "--listen") srv.listen = v;
    else if (a == "--key-file") srv.keyFile = v;
    else if (a == "--log-file") logFile = v;
    else if (a == "--job-speed") ok = number(v, 1e-6, 1e9, app.jobSpeed);
    else if (a == "--failure-ratio") ok = number(v, 0, 1, app.failureRatio);
    else if (a == "--log-level") ok = number(v, 0, 3, n), logLevel = static_cast<int>(n);
    else if (a == "--max-connections") ok = number(v, 1, 10000, n), srv.maxConnections = static_cast<int>(n);
    else if (a == "--max-frame") ok = number(v, 64, 16777216, n), srv.maxFrame = static_cast<size_t>(n);
    else if (a == "--idle-timeout-ms") ok = number(v, 1, 86400000, n), srv.idleTimeoutMs = static_cast<int>(n);
    else if (a == "--read-timeout-ms") ok = number(v, 1, 3600000, n), srv.readTimeoutMs = static_cast<int>(n);
    else {
      std::fprintf(stderr, "evtask-appmgr: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "evtask-appmgr: bad value for %s: %s\n", a.c_str(), v);
      return 2;
    }
  }
  Log log;
  std::string err;
  if (!log.open(logFile, logLevel, err)) {
    std::fprintf(stderr, "evtask-appmgr: %s\n", err.c_str());
    return 1;
  }
  if (app.dbPath.empty()) app.dbPath = defaultDatabasePath();
  if (srv.listen.empty()) srv.listen = defaultListen();

  // Signals are taken by sigwait below; threads started later inherit the
  // mask. A peer that goes away must not kill the server.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  AppManager manager;
  if (manager.open(app, err) != 0) {
    log.write(Log::kError, "%s", err.c_str());
    return 1;
  }
  log.write(Log::kInfo, "database %s (schema %d)", app.dbPath.c_str(), manager.store().schemaVersion());
  Server server(manager, log);
  if (server.start(srv, err) != 0) {
    log.write(Log::kError, "%s", err.c_str());
    return 1;
  }
  int sig = 0;
  sigwait(&stopSignals, &sig);
  log.write(Log::kInfo, "signal %d: finishing the requests in flight", sig);
  server.stop();
  manager.close();
  log.write(Log::kInfo, "database closed; exiting");
  return 0;
}
