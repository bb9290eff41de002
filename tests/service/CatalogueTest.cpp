#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

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
    const WireLayout* req = WireCatalogue::instance().find(rows[i].requestType);
    const WireLayout* resp = WireCatalogue::instance().find(rows[i].requestType + 1);
    ASSERT_TRUE(req != nullptr && resp != nullptr) << rows[i].operation;
    using Sizes = std::pair<uint32_t, uint32_t>;
    EXPECT_EQ(it->second, Sizes(rows[i].requestSize, rows[i].responseSize)) << rows[i].operation;
    EXPECT_EQ(it->second, Sizes(req->size, resp->size)) << rows[i].operation << " in the catalogue";
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

std::vector<std::string> split(const std::string& s, const char* separators) {
  std::vector<std::string> out;
  for (size_t b = s.find_first_not_of(separators); b != std::string::npos; b = s.find_first_not_of(separators, b)) {
    const size_t e = std::min(s.find_first_of(separators, b), s.size());
    out.push_back(s.substr(b, e - b));
    b = e;
  }
  return out;
}

// Reads the wire structures from their headers and lays them out the way
// the i386 compiler does under pack(4): nothing aligns beyond 4 bytes. The
// sizes it computes are checked against the catalogue, so a parsing slip
// shows as a failure rather than as a silent pass.
struct WireHeaders {
  std::map<std::string, ParsedStruct> structs;
  std::vector<std::string> problems;

  explicit WireHeaders(const std::vector<std::string>& files) {
    for (const std::string& path : files) {
      std::ifstream in(path);
      if (!in) problems.push_back("cannot read " + path);
      std::string text, line;
      while (std::getline(in, line)) text += line.substr(0, line.find("//")) + "\n";
      // "struct [EVTASK_EXPORT] Name {fields};" with no braces inside.
      for (size_t at = text.find("struct "); at != std::string::npos; at = text.find("struct ", at + 1)) {
        if (at > 0 && (std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_')) continue;
        const size_t open = text.find('{', at), semi = text.find(';', at), close = text.find("};", open);
        if (open == std::string::npos || (semi != std::string::npos && semi < open)) continue;  // a declaration
        const std::vector<std::string> words = split(text.substr(at + 7, open - at - 7), " \t\r\n");
        if (!words.empty() && close != std::string::npos) add(words.back(), text.substr(open + 1, close - open - 1));
      }
    }
  }

  void add(const std::string& name, const std::string& body) {
    static const std::map<std::string, uint32_t> scalars = {
        {"char", 1}, {"uint8_t", 1}, {"int8_t", 1}, {"uint16_t", 2}, {"int16_t", 2},
        {"uint32_t", 4}, {"int32_t", 4}, {"int", 4}, {"uint64_t", 8}, {"int64_t", 8}};
    static const std::map<std::string, std::string> arrayElements = {
        {"uint32_t", "uint32"}, {"int32_t", "uint32"}, {"uint64_t", "uint64"}, {"int64_t", "uint64"}};
    ParsedStruct s;
    for (const std::string& decl : split(body, ";")) {
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
      const std::string& type = w[0];
      uint32_t count = 1, size = 4, align = 4;
      for (size_t i = 2; i + 1 < w.size(); ++i) {
        if (w[i] == "[") count *= static_cast<uint32_t>(std::stoul(w[i + 1]));
      }
      FoundRefs inner;
      if (pointer) {
        inner[0] = type == "char" ? "text" : "array of " + (arrayElements.count(type) ? arrayElements.at(type) : type);
      } else if (scalars.count(type)) {
        size = scalars.at(type);
        align = std::min<uint32_t>(size, 4);
      } else if (structs.count(type)) {
        size = structs[type].size;
        align = structs[type].align;
        inner = structs[type].refs;
      } else {
        problems.push_back(name + ": unknown type " + type);
        continue;
      }
      s.size = (s.size + align - 1) / align * align;
      for (uint32_t i = 0; i < count; ++i, s.size += size) {
        for (const auto& r : inner) s.refs[s.size + r.first] = r.second;
      }
      s.align = std::max(s.align, align);
    }
    s.size = (s.size + s.align - 1) / s.align * s.align;
    structs[name] = s;
  }
};

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
    const auto parsed = headers.structs.find(name);
    if (parsed == headers.structs.end()) {
      ADD_FAILURE() << name << " is not declared in the wire headers";
      continue;
    }
    FoundRefs catalogued;
    for (const WireRef& ref : layout->refs) {
      catalogued[ref.offset] = ref.kind == WireRef::kText ? "text" : "array of " + std::string(ref.element->name);
    }
    EXPECT_EQ(layout->size, parsed->second.size) << name;
    EXPECT_EQ(parsed->second.refs, catalogued) << name;
  }
  // Every request and response declared is catalogued.
  for (const auto& entry : headers.structs) {
    const std::string& name = entry.first;
    const bool message = name.size() > 4 && (name.compare(name.size() - 3, 3, "Req") == 0 ||
                                             name.compare(name.size() - 4, 4, "Resp") == 0);
    if (message) {
      EXPECT_EQ(1u, checked.count(name)) << name << " is declared but not catalogued";
    }
  }
}
