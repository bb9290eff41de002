#include "platform/YMPlatformInfo.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>

namespace {

using Section = std::map<std::string, std::string>;

struct Store {
  std::mutex mu;
  bool loaded = false;
  std::map<std::string, Section> sections;
  // The first bad line of the EVTASK_CONFIG file, empty when it was read
  // whole; stands until the store is replaced from code.
  std::string configError;
  bool configErrorReported = false;
};

Store& store() {
  static Store* s = new Store();  // never destroyed: used by static destructors
  return *s;
}

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

// Reads an INI file into `out`. Strict (the default): the first bad line
// fails the whole read. Lenient: bad lines are skipped, the first is
// described in `err` and the result is still -1, while every good line is
// kept; keys after a bad section header are skipped too, since their section
// is unknown.
int parseIni(const std::string& path, std::map<std::string, Section>& out, std::string& err,
             bool lenient = false) {
  std::ifstream in(path);
  if (!in) {
    err = "cannot open configuration file " + path + ": " + std::strerror(errno);
    return -1;
  }
  std::string line, section;
  int lineNo = 0;
  int rc = 0;
  const auto bad = [&](const char* what) {
    if (rc == 0) err = path + ":" + std::to_string(lineNo) + ": " + what;
    rc = -1;
    return lenient;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    const std::string t = trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t[0] == '[') {
      if (t.back() != ']' || t.size() < 3) {
        section.clear();
        if (bad("malformed section header")) continue;
        return -1;
      }
      section = trim(t.substr(1, t.size() - 2));
      out[section];
      continue;
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos || section.empty()) {
      if (bad("expected key = value inside a section")) continue;
      return -1;
    }
    const std::string key = trim(t.substr(0, eq));
    if (key.empty()) {
      if (bad("empty key")) continue;
      return -1;
    }
    out[section][key] = trim(t.substr(eq + 1));
  }
  return rc;
}

// Caller holds the store lock. A bad line does not silently drop the whole
// configuration: the good lines apply (so that, for example, the log file
// is still known) and the error stands, so that sessions refuse to run on a
// configuration other than the one intended (YMPlatformInfo::configError).
void ensureLoaded(Store& s) {
  if (s.loaded) return;
  s.loaded = true;
  const char* path = std::getenv("EVTASK_CONFIG");
  if (path == nullptr || *path == '\0') return;
  std::map<std::string, Section> parsed;
  std::string err;
  if (parseIni(path, parsed, err, true) != 0) s.configError = "EVTASK_CONFIG " + err;
  s.sections.swap(parsed);
}

bool lookup(const std::string& section, const std::string& key, std::string& value) {
  Store& s = store();
  std::lock_guard<std::mutex> lock(s.mu);
  ensureLoaded(s);
  auto sec = s.sections.find(section);
  if (sec == s.sections.end()) return false;
  auto it = sec->second.find(key);
  if (it == sec->second.end()) return false;
  value = it->second;
  return true;
}

bool parseUnsigned(const std::string& text, unsigned long long& out) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0') return false;
  out = v;
  return true;
}

}  // namespace

YMPlatformInfo::YMPlatformInfo() = default;
YMPlatformInfo::~YMPlatformInfo() = default;

void YMPlatformInfo::setFocus(const std::string& focus) { m_focus = focus; }

int YMPlatformInfo::getNumber(const char* section, const char* key, unsigned long* value) {
  if (section == nullptr || key == nullptr || value == nullptr) return 0;
  std::string text;
  unsigned long long v = 0;
  if (!lookup(section, key, text) || !parseUnsigned(text, v) || v > 0xFFFFFFFFull) return 0;
  *value = static_cast<unsigned long>(v);
  return 1;
}

int YMPlatformInfo::getNumber(const char* section, const char* key, unsigned int* out) {
  unsigned long local = 0;
  const int rc = getNumber(section, key, &local);
  if (rc != 0 && out != nullptr) *out = static_cast<unsigned int>(local);
  return rc;
}

int YMPlatformInfo::getString(const std::string& section, const std::string& key, std::string* value) {
  std::string text;
  if (!lookup(section, key, text)) return 0;
  if (value != nullptr) *value = text;
  return 1;
}

int YMPlatformInfo::getString(const std::string& section, const std::string& key, char* buffer, int* size) {
  if (size == nullptr) return 0;
  std::string text;
  if (!lookup(section, key, text)) return 0;
  const size_t needed = text.size() + 1;
  if (buffer == nullptr || *size < 0 || static_cast<size_t>(*size) < needed) {
    *size = static_cast<int>(needed);
    return 0;
  }
  std::memcpy(buffer, text.c_str(), needed);
  *size = static_cast<int>(text.size());
  return 1;
}

int YMPlatformInfo::IsCloudLaptopClient() {
  unsigned long v = 0;
  return getNumber("Platform", "CloudLaptopClient", &v) != 0 && v != 0 ? 1 : 0;
}

void YMPlatformInfo::FromMultiSZStringToSet(const char* text, int length, std::set<std::string>& out) {
  if (text == nullptr || length <= 0) return;
  int pos = 0;
  while (pos < length) {
    const void* nul = std::memchr(text + pos, '\0', static_cast<size_t>(length - pos));
    const int end = nul ? static_cast<int>(static_cast<const char*>(nul) - text) : length;
    if (end == pos) break;  // empty text: end of the list
    out.insert(std::string(text + pos, static_cast<size_t>(end - pos)));
    pos = end + 1;
  }
}

void YMPlatformInfo::setValue(const std::string& section, const std::string& key, const std::string& value) {
  Store& s = store();
  std::lock_guard<std::mutex> lock(s.mu);
  ensureLoaded(s);
  s.sections[section][key] = value;
}

void YMPlatformInfo::removeValue(const std::string& section, const std::string& key) {
  Store& s = store();
  std::lock_guard<std::mutex> lock(s.mu);
  ensureLoaded(s);
  auto sec = s.sections.find(section);
  if (sec != s.sections.end()) sec->second.erase(key);
}

void YMPlatformInfo::clearStore() {
  Store& s = store();
  std::lock_guard<std::mutex> lock(s.mu);
  s.loaded = true;
  s.sections.clear();
  s.configError.clear();
  s.configErrorReported = false;
}

bool YMPlatformInfo::configError(std::string& text, bool* firstReport) {
  Store& s = store();
  std::lock_guard<std::mutex> lock(s.mu);
  ensureLoaded(s);
  if (s.configError.empty()) return false;
  text = s.configError;
  if (firstReport != nullptr) {
    *firstReport = !s.configErrorReported;
    s.configErrorReported = true;
  }
  return true;
}

void YMPlatformInfo::reloadFromEnvironmentForTesting() {
  Store& s = store();
  std::lock_guard<std::mutex> lock(s.mu);
  s.loaded = false;
  s.sections.clear();
  s.configError.clear();
  s.configErrorReported = false;
}

int YMPlatformInfo::loadFile(const std::string& path, std::string& err) {
  std::map<std::string, Section> parsed;
  if (parseIni(path, parsed, err) != 0) return -1;
  Store& s = store();
  std::lock_guard<std::mutex> lock(s.mu);
  s.loaded = true;
  s.sections.swap(parsed);
  s.configError.clear();
  s.configErrorReported = false;
  return 0;
}

YMPI_Base::YMPI_Base() = default;
YMPI_Base::~YMPI_Base() = default;

unsigned long YMPI_Base::getPlatformType() {
  YMPlatformInfo info;
  info.setFocus(m_focus);
  unsigned long type = 4;
  info.getNumber("Platform", "PlatformType", &type);
  return type;
}

std::string YMPI_Focus::getFocus() {
  YMPlatformInfo info;
  std::string focus;
  if (!info.getString("Platform", "Focus", &focus) || focus.empty()) focus = "Instance001";
  return focus;
}

void YMPI_EventManager::setFocus(YMPI_Base& info, const std::string& focus) { info.m_focus = focus; }
