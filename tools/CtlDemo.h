// "evtaskctl demo": an end-to-end run on an empty temporary database of the
// embedded application manager with the demo catalogue loaded. It creates
// a schedule and lists the client's schedules, runs a job and waits for it
// with progress, reads and changes options and files of a task, and prints
// a summary. Any failed step ends the demo with that step's code.
#ifndef EVTASK_TOOLS_CTLDEMO_H
#define EVTASK_TOOLS_CTLDEMO_H

#include <csignal>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "tools/Ctl.h"

namespace evtask {
namespace ctl {

struct DemoSettings {
  std::function<int(const EmbeddedSettings&, std::string& err)> startEmbedded;
  // Progress and step lines; null prints nothing.
  std::ostream* log = nullptr;
  // Draw the job's progress as a bar (the log is a terminal).
  bool terminal = false;
  unsigned long pollMs = 200;
  // Overall limit of the job wait, in milliseconds.
  long long jobTimeoutMs = 20000;
  const volatile std::sig_atomic_t* stop = nullptr;
};

struct DemoStep {
  std::string name;
  bool ok = false;
  std::string result;
};

struct DemoReport {
  std::vector<DemoStep> steps;
  std::string failure;
  long long elapsedMs = 0;
  // The tool's exit code when it is not the failing step's (a deadline that
  // passed or Ctrl-C during the job wait); 0 otherwise.
  int exitCode = 0;
  nlohmann::ordered_json toJson() const;
};

// 0 when every step succeeded; else the failing step's code (its text in
// report.failure).
int runDemo(const DemoSettings& settings, DemoReport& report);

}  // namespace ctl
}  // namespace evtask

#endif  // EVTASK_TOOLS_CTLDEMO_H
