// evtask-appmgr started as a program, for the tests that reach it over its
// sockets. Waits are bounded polls on its log.
#ifndef EVTASK_TESTS_APPMGR_SERVERPROCESS_H
#define EVTASK_TESTS_APPMGR_SERVERPROCESS_H

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace evtask {
namespace test {

inline std::string readFile(const std::string& path) {
  std::stringstream ss;
  ss << std::ifstream(path).rdbuf();
  return ss.str();
}

// Polls `done` every few milliseconds for at most `ms`.
template <class F>
bool waitUntil(F done, int ms = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end && !done()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

class ServerProcess {
 public:
  ~ServerProcess() { stop(SIGKILL); }
  // Starts the program with `args`, logging to `log`, and waits until it
  // listens; the endpoint it reports ("" if it never does).
  std::string start(std::vector<std::string> args, const std::string& log) {
    logPath = log;
    const size_t before = readFile(log).size();
    args.insert(args.begin(), {EVTASK_APPMGR_PATH, "--log-file", log});
    if ((pid = fork()) == 0) {
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    std::string ep;
    waitUntil([&] {
      const std::string l = readFile(log).substr(before);
      const size_t at = l.find("listening on "), end = l.find('\n', at);
      if (at != std::string::npos && end != std::string::npos) ep = l.substr(at + 13, end - at - 13);
      return !ep.empty();
    });
    return ep;
  }
  std::string log() const { return readFile(logPath); }
  // Sends `sig` and waits for the program to end; its wait status.
  int stop(int sig = SIGTERM) {
    int status = -1;
    if (pid <= 0) return status;
    kill(pid, sig);
    waitpid(pid, &status, 0);
    pid = -1;
    return status;
  }

  pid_t pid = -1;
  std::string logPath;
};

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_APPMGR_SERVERPROCESS_H
