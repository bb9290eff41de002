#include "tools/CtlOutput.h"

#include <algorithm>
#include <vector>

namespace evtask {
namespace ctl {

using Json = nlohmann::ordered_json;

namespace {

std::string scalarText(const Json& v) {
  if (v.is_string()) return v.get<std::string>();
  if (v.is_null()) return "-";
  if (v.is_array()) {
    std::string joined;
    for (const Json& e : v) joined += (joined.empty() ? "" : ", ") + scalarText(e);
    return joined.empty() ? "(none)" : joined;
  }
  return v.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool isTable(const Json& v) {
  return v.is_array() && !v.empty() && std::all_of(v.begin(), v.end(), [](const Json& e) { return e.is_object(); });
}

void renderTable(std::ostream& out, const Json& rows, const std::string& indent) {
  std::vector<std::string> columns;
  for (const Json& row : rows)
    for (auto it = row.begin(); it != row.end(); ++it)
      if (std::find(columns.begin(), columns.end(), it.key()) == columns.end()) columns.push_back(it.key());
  std::vector<std::size_t> width;
  for (const std::string& c : columns) {
    std::size_t w = c.size();
    for (const Json& row : rows) w = std::max(w, row.contains(c) ? scalarText(row[c]).size() : 1);
    width.push_back(w);
  }
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text = indent;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      text += cells[i];
      if (i + 1 < cells.size()) text += std::string(width[i] - cells[i].size() + 2, ' ');
    }
    out << text << "\n";
  };
  line(columns);
  for (const Json& row : rows) {
    std::vector<std::string> cells;
    for (const std::string& c : columns) cells.push_back(row.contains(c) ? scalarText(row[c]) : "-");
    line(cells);
  }
}

void renderObject(std::ostream& out, const Json& doc, const std::string& indent) {
  for (auto it = doc.begin(); it != doc.end(); ++it) {
    const Json& v = it.value();
    if (v.is_object()) {
      out << indent << it.key() << ":\n";
      renderObject(out, v, indent + "  ");
    } else if (isTable(v)) {
      out << indent << it.key() << ":\n";
      renderTable(out, v, indent + "  ");
    } else {
      out << indent << it.key() << ": " << scalarText(v) << "\n";
    }
  }
}

}  // namespace

void renderText(std::ostream& out, const Json& doc) {
  if (doc.is_object()) renderObject(out, doc, "");
}

void ProgressPrinter::update(const JobState& state) {
  int percent = state.percent;
  if (state.final && state.success) percent = 100;
  if (terminal_) {
    const int cells = 30;
    int filled = percent < 0 ? 0 : std::min(cells, percent * cells / 100);
    std::string bar = "[" + std::string(filled, '#') + std::string(cells - filled, '.') + "]";
    std::string pct = percent < 0 ? "   ?%" : std::string(percent < 10 ? "  " : percent < 100 ? " " : "") +
                                                   std::to_string(percent) + "%";
    out_ << "\rjob " << state.jobId << " " << bar << " " << pct << "  " << state.status << "\x1b[K" << std::flush;
    drawn_ = true;
    return;
  }
  if (state.status == lastStatus_ && percent == lastPercent_) return;
  lastStatus_ = state.status;
  lastPercent_ = percent;
  out_ << "job " << state.jobId << ": " << state.status;
  if (percent >= 0) out_ << " " << percent << "%";
  // A detail that only restates the percentage is left out.
  if (!state.detail.empty() && progressOfDetail(state.detail) < 0) out_ << " (" << state.detail << ")";
  out_ << "\n" << std::flush;
}

void ProgressPrinter::finish() {
  if (drawn_) out_ << "\n" << std::flush;
  drawn_ = false;
}

}  // namespace ctl
}  // namespace evtask
