// evtaskctl: the command-line tool for tasks, options, files, schedules and
// jobs, on the public library API. runCtl is the whole tool short of its
// main(), so that tests run it in-process against a scripted server.
//
// Exit codes (also in --help): 0 success, 1 failed operation, 2 bad usage,
// 3 cannot reach the server, 4 deadline passed, 130 waiting interrupted by
// Ctrl-C (the job keeps running).
//
// Thread safety: one runCtl at a time per process (it sets the platform's
// endpoint configuration).
#ifndef EVTASK_TOOLS_CTL_H
#define EVTASK_TOOLS_CTL_H

#include <csignal>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/CtlJobs.h"

namespace evtask {
namespace ctl {

enum ExitCode {
  kExitOk = 0,
  kExitFailed = 1,
  kExitUsage = 2,
  kExitUnreachable = 3,
  kExitDeadline = 4,
  kExitInterrupted = 130,
};

// Settings of the embedded application manager the tool starts in-process.
struct EmbeddedSettings {
  std::string dbPath;
  bool initDemo = false;
  double jobSpeed = 1.0;
};

struct CtlIo {
  CtlIo(std::ostream& o, std::ostream& e) : out(o), err(e) {}
  std::ostream& out;
  std::ostream& err;
  // Draw a progress bar (stdout is a terminal) instead of plain lines.
  bool terminal = false;
  // Set by the SIGINT handler of main(); may be null.
  const volatile std::sig_atomic_t* stop = nullptr;
  // Set to 1 while a command waits for a job, so that main()'s SIGINT
  // handler stops the wait instead of ending the program; may be null.
  volatile std::sig_atomic_t* waiting = nullptr;
  // How "job wait" reads a job's state; null uses the library (queryJob).
  JobQuery jobQuery;
  // Starts the embedded application manager; null when the program has
  // none (or a test serves "embedded" sessions itself). 0 or a code.
  std::function<int(const EmbeddedSettings&, std::string& err)> startEmbedded;
  // Time between two job state queries of "job wait" and the demo.
  unsigned long pollMs = 1000;
};

// Runs one command line (args[0] is the program name); returns the exit
// code. Never throws.
int runCtl(const std::vector<std::string>& args, CtlIo& io);

// The exit code for a failed library call: 3 when the server could not be
// reached, else 1.
int exitCodeFor(int libraryCode);

}  // namespace ctl
}  // namespace evtask

#endif  // EVTASK_TOOLS_CTL_H
