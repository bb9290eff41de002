#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/FrameCodec.h"
#include "platform/PlatformMessages.h"
#include "platform/WireCatalogue.h"
#include "service/TaskWireStructs.h"

using namespace evtask;

namespace {

// Sizes of every exchange as the server expects them: request code ->
// {request size, response size}.
const std::map<uint32_t, std::pair<uint32_t, uint32_t>> kExpected = {
    {0x49000020, {72, 24}}, {0x49000022, {72, 20}}, {0x49000026, {72, 28}}, {0x49000028, {80, 20}},
    {0x4900002A, {80, 20}}, {0x4900002C, {80, 20}}, {0x4900002E, {72, 28}}, {0x49000030, {72, 28}},
    {0x49000032, {80, 20}}, {0x49000034, {80, 20}}, {0x49000036, {80, 20}}, {0x49000038, {72, 28}},
    {0x4900003A, {72, 76}}, {0x4900003C, {72, 68}}, {0x4900003E, {72, 40}}, {0x49000040, {72, 28}},
    {0x49000042, {72, 24}}, {0x49000044, {72, 28}}, {0x49000046, {72, 24}}, {0x49000048, {120, 20}},
    {0x4900004A, {92, 20}}, {0x4900004C, {80, 20}}, {0x4900004E, {72, 68}}, {0x49000050, {28, 28}},
    {0x49000052, {32, 28}}, {0x49000054, {20, 28}}, {0x49000056, {20, 28}}, {0x49000058, {20, 28}},
    {0x4900005A, {24, 28}}, {0x4900005C, {40, 28}}, {0x49000062, {36, 44}}, {0x49000064, {72, 28}},
    {0x49000066, {24, 28}}, {0x49000068, {56, 44}}, {0x4900006A, {60, 28}}, {0x4900006C, {56, 44}},
    {0x4900006E, {72, 24}}, {0x4900007A, {56, 44}},
};

}  // namespace

TEST(TaskCatalogueTest, EveryExchangeHasTheServersSizes) {
  registerTaskCatalogue();
  size_t n = 0;
  const TaskMessageInfo* rows = taskMessages(&n);
  ASSERT_EQ(kExpected.size(), n);
  for (size_t i = 0; i < n; ++i) {
    const auto it = kExpected.find(rows[i].requestType);
    ASSERT_NE(it, kExpected.end()) << std::hex << rows[i].requestType;
    EXPECT_EQ(it->second.first, rows[i].requestSize) << rows[i].operation;
    EXPECT_EQ(it->second.second, rows[i].responseSize) << rows[i].operation;
    const WireLayout* req = WireCatalogue::instance().find(rows[i].requestType);
    const WireLayout* resp = WireCatalogue::instance().find(rows[i].requestType + 1);
    ASSERT_NE(req, nullptr);
    ASSERT_NE(resp, nullptr);
    EXPECT_EQ(it->second.first, req->size) << rows[i].operation;
    EXPECT_EQ(it->second.second, resp->size) << rows[i].operation;
    EXPECT_EQ(0u, rows[i].requestType % 2) << "request codes are even";
  }
}

// --- every pointer field of every wire structure is in the catalogue ------------------------------

namespace {

// A reference found in a structure's declaration: its offset, "text" or
// "array of <element layout name>".
using FoundRefs = std::map<uint32_t, std::string>;

struct ParsedStruct {
  uint32_t size = 0;
  uint32_t align = 1;
  FoundRefs refs;
};

// Reads the wire structures from their headers and lays them out the way
// the i386 compiler does under pack(4): nothing aligns beyond 4 bytes. The
// sizes it computes are checked against the catalogue, so a parsing slip
// shows as a failure rather than as a silent pass.
class WireHeaders {
 public:
  explicit WireHeaders(const std::vector<std::string>& files) {
    for (const std::string& f : files) parse(f);
  }
  const ParsedStruct* find(const std::string& name) const {
    auto it = m_structs.find(name);
    return it == m_structs.end() ? nullptr : &it->second;
  }
  const std::map<std::string, ParsedStruct>& all() const { return m_structs; }
  std::vector<std::string> problems;

 private:
  static std::string stripComments(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s.compare(i, 2, "//") == 0) {
        i = s.find('\n', i);
        if (i == std::string::npos) break;
      }
      out += s[i];
    }
    return out;
  }

  void parse(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
      problems.push_back("cannot read " + path);
      return;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = stripComments(ss.str());
    // "struct [EVTASK_EXPORT] Name {fields};" with no braces inside.
    for (size_t at = text.find("struct "); at != std::string::npos; at = text.find("struct ", at + 1)) {
      if (at > 0 && (std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_')) continue;
      const size_t open = text.find('{', at);
      const size_t semi = text.find(';', at);
      if (open == std::string::npos || (semi != std::string::npos && semi < open)) continue;  // a declaration
      const size_t close = text.find("};", open);
      if (close == std::string::npos) break;
      std::vector<std::string> words = split(text.substr(at + 7, open - at - 7), " \t\r\n");
      if (words.empty()) continue;
      addStruct(words.back(), text.substr(open + 1, close - open - 1));
    }
  }

  static std::vector<std::string> split(const std::string& s, const char* separators) {
    std::vector<std::string> out;
    size_t b = s.find_first_not_of(separators);
    while (b != std::string::npos) {
      const size_t e = s.find_first_of(separators, b);
      out.push_back(s.substr(b, e == std::string::npos ? std::string::npos : e - b));
      b = e == std::string::npos ? e : s.find_first_not_of(separators, e);
    }
    return out;
  }

  void addStruct(const std::string& name, const std::string& body) {
    static const std::map<std::string, uint32_t> scalars = {
        {"char", 1},     {"uint8_t", 1},  {"int8_t", 1},  {"uint16_t", 2}, {"int16_t", 2},
        {"uint32_t", 4}, {"int32_t", 4},  {"int", 4},     {"uint64_t", 8}, {"int64_t", 8}};
    static const std::map<std::string, std::string> arrayElements = {
        {"uint32_t", "uint32"}, {"int32_t", "uint32"}, {"uint64_t", "uint64"}, {"int64_t", "uint64"}};
    ParsedStruct s;
    std::stringstream fields(body);
    std::string decl;
    while (std::getline(fields, decl, ';')) {
      // "[const] type [*] name [N]...", with '*' and '[' split off as words.
      std::string spaced;
      for (char c : decl) spaced += (c == '*' || c == '[' || c == ']') ? std::string(" ") + c + " " : std::string(1, c);
      std::vector<std::string> w = split(spaced, " \t\r\n");
      if (w.empty()) continue;
      if (w[0] == "const") w.erase(w.begin());
      const bool pointer = w.size() > 2 && w[1] == "*";
      if (pointer) w.erase(w.begin() + 1);
      if (w.size() < 2 || w[1] == "*") {
        problems.push_back(name + ": cannot read field \"" + decl + "\"");
        continue;
      }
      const std::string type = w[0];
      uint32_t count = 1;
      for (size_t i = 2; i + 1 < w.size(); ++i) {
        if (w[i] == "[") count *= static_cast<uint32_t>(std::stoul(w[i + 1]));
      }
      uint32_t size = 0, align = 0;
      FoundRefs inner;
      if (pointer) {
        size = align = 4;
        if (type == "char") {
          inner[0] = "text";
        } else if (arrayElements.count(type)) {
          inner[0] = "array of " + arrayElements.at(type);
        } else {
          inner[0] = "array of " + type;
        }
      } else if (scalars.count(type)) {
        size = scalars.at(type);
        align = std::min<uint32_t>(size, 4);
      } else if (const ParsedStruct* nested = find(type)) {
        size = nested->size;
        align = nested->align;
        inner = nested->refs;
      } else {
        problems.push_back(name + ": unknown type " + type);
        continue;
      }
      s.size = (s.size + align - 1) / align * align;
      for (uint32_t i = 0; i < count; ++i) {
        for (const auto& r : inner) s.refs[s.size + r.first] = r.second;
        s.size += size;
      }
      s.align = std::max(s.align, align);
    }
    s.size = (s.size + s.align - 1) / s.align * s.align;
    m_structs[name] = s;
  }

  std::map<std::string, ParsedStruct> m_structs;
};

FoundRefs catalogued(const WireLayout* layout) {
  FoundRefs refs;
  for (const WireRef& ref : layout->refs) {
    refs[ref.offset] = ref.kind == WireRef::kText ? "text" : "array of " + std::string(ref.element->name);
  }
  return refs;
}

}  // namespace

// A reference missing from the catalogue would be copied as a raw address:
// harmless in-process, a wild pointer over a socket. So every pointer field
// declared in the wire headers must be a catalogued reference of the same
// kind at the same offset, down through every array element.
TEST(TaskCatalogueTest, EveryPointerFieldOfEveryWireStructureIsCatalogued) {
  registerTaskCatalogue();
  registerPlatformCatalogue();
  const std::string src = EVTASK_SOURCE_DIR;
  const WireHeaders headers({src + "/platform/NetMessage.h", src + "/platform/PlatformMessages.h",
                             src + "/service/TaskWireStructs.h"});
  EXPECT_TRUE(headers.problems.empty()) << ::testing::PrintToString(headers.problems);
  std::vector<const WireLayout*> pending;
  std::set<std::string> checked;
  for (uint32_t type : WireCatalogue::instance().types()) pending.push_back(WireCatalogue::instance().find(type));
  while (!pending.empty()) {
    const WireLayout* layout = pending.back();
    pending.pop_back();
    if (!checked.insert(layout->name).second) continue;
    for (const WireRef& ref : layout->refs) {
      if (ref.kind == WireRef::kArray) pending.push_back(ref.element);
    }
    const std::string name = layout->name;
    if (name == "uint32" || name == "uint64") continue;
    const ParsedStruct* parsed = headers.find(name);
    if (parsed == nullptr) {
      ADD_FAILURE() << name << " is not declared in the wire headers";
      continue;
    }
    EXPECT_EQ(layout->size, parsed->size) << name;
    EXPECT_EQ(parsed->refs, catalogued(layout)) << name;
  }
  // Every request and response declared is catalogued.
  for (const auto& entry : headers.all()) {
    const std::string& name = entry.first;
    const bool message = name.size() > 4 && (name.compare(name.size() - 3, 3, "Req") == 0 ||
                                             name.compare(name.size() - 4, 4, "Resp") == 0);
    if (message) {
      EXPECT_EQ(1u, checked.count(name)) << name << " is declared but not catalogued";
    }
  }
}
