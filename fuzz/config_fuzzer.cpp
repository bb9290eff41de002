// The configuration file parser: the input is the content of an INI file.
// A refused file carries a text and leaves the store as it was; an accepted
// one answers lookups with trimmed texts, and numbers only for texts that are
// whole unsigned numbers.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzSupport.h"
#include "platform/YMPlatformInfo.h"

using namespace evtask;

namespace {

std::string scratchPath() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/evtask-config-fuzz-" +
         std::to_string(getpid()) + ".ini";
}

bool blankAtEdge(const std::string& s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  return !s.empty() && (blank(s.front()) || blank(s.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratchPath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  YMPlatformInfo::clearStore();
  YMPlatformInfo::setValue("Sentinel", "key", "kept");
  std::string err;
  const int rc = YMPlatformInfo::loadFile(path, err);
  YMPlatformInfo info;
  std::string value;
  if (rc != 0) {
    fuzz::require(rc == -1 && !err.empty(), "a refused file has no text");
    fuzz::require(info.getString("Sentinel", "key", &value) != 0 && value == "kept",
                  "a refused file changed the store");
    return 0;
  }
  // Look up the first section and key the input names, if any.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t open = text.find('[');
  const size_t close = text.find(']', open == std::string::npos ? 0 : open);
  const size_t eq = text.find('=', close == std::string::npos ? 0 : close);
  if (open != std::string::npos && close != std::string::npos && eq != std::string::npos) {
    const std::string section = text.substr(open + 1, close - open - 1);
    const size_t lineStart = text.rfind('\n', eq);
    const std::string key = text.substr(lineStart == std::string::npos ? 0 : lineStart + 1,
                                        eq - (lineStart == std::string::npos ? 0 : lineStart + 1));
    if (info.getString(section, key, &value) != 0) {
      fuzz::require(!blankAtEdge(value), "a value keeps blanks at its edges");
    }
    unsigned long number = 0;
    if (info.getNumber(section.c_str(), key.c_str(), &number) != 0) {
      fuzz::require(info.getString(section, key, &value) != 0 && !value.empty(), "a number without a text");
    }
    char small[4];
    int cap = sizeof small;
    if (info.getString(section, key, small, &cap) != 0) {
      fuzz::require(cap >= 0 && cap < static_cast<int>(sizeof small), "buffer form overran its capacity");
    }
  }
  fuzz::require(info.getString("Sentinel", "key", &value) == 0 || text.find("Sentinel") != std::string::npos,
                "an accepted file kept a value it does not hold");
  return 0;
}
