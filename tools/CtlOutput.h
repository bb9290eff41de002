// Text output of evtaskctl: the JSON document of a command rendered for a
// person, and the progress display of a job wait.
#ifndef EVTASK_TOOLS_CTLOUTPUT_H
#define EVTASK_TOOLS_CTLOUTPUT_H

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "tools/CtlJobs.h"

namespace evtask {
namespace ctl {

// Scalars as "key: value" lines, arrays of objects as tables with a header
// row, arrays of scalars comma-separated, nested objects as indented
// sections.
void renderText(std::ostream& out, const nlohmann::ordered_json& doc);

// Job progress: on a terminal one line redrawn in place with a bar, the
// state and the percentage; otherwise one plain line per change of state or
// percentage.
class ProgressPrinter {
 public:
  ProgressPrinter(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
  void update(const JobState& state);
  // Ends the redrawn line.
  void finish();

 private:
  std::ostream& out_;
  bool terminal_;
  bool drawn_ = false;
  std::string lastStatus_;
  int lastPercent_ = -2;
};

}  // namespace ctl
}  // namespace evtask

#endif  // EVTASK_TOOLS_CTLOUTPUT_H
