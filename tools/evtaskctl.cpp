// evtaskctl main: stdout terminal detection, the Ctrl-C flag and the
// embedded application manager, around runCtl.
#include <signal.h>
#include <unistd.h>

#include <iostream>

#include "tools/Ctl.h"
#ifdef EVTASK_HAVE_APPMGR
#include "appmgr/Embedded.h"
#endif

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_waiting = 0;

// While a command waits for a job, Ctrl-C stops the wait; at any other time
// it ends the program as usual.
extern "C" void onInterrupt(int sig) {
  if (g_waiting) {
    g_stop = 1;
    return;
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

int main(int argc, char** argv) {
  // During a wait Ctrl-C only sets a flag: the wait loops poll it, return
  // cleanly and leave the job running on the server.
  struct sigaction sa {};
  sa.sa_handler = onInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);

  evtask::ctl::CtlIo io{std::cout, std::cerr};
  io.terminal = isatty(STDOUT_FILENO) != 0;
  io.stop = &g_stop;
  io.waiting = &g_waiting;
#ifdef EVTASK_HAVE_APPMGR
  io.startEmbedded = [](const evtask::ctl::EmbeddedSettings& s, std::string& err) {
    evtask::appmgr::EmbeddedOptions options;
    options.dbPath = s.dbPath;
    options.initDemo = s.initDemo;
    options.jobSpeed = s.jobSpeed;
    return evtask::appmgr::registerEmbedded(options, err);
  };
#endif
  std::vector<std::string> args(argv, argv + argc);
  return evtask::ctl::runCtl(args, io);
}
