// The XML message base and its text form.
//
// Text form (XML 1.0, UTF-8, no declaration, no insignificant whitespace):
//
//   message  := '<m f="' FAMILY '" c="' CLASS '">' field* '</m>'
//   field    := '<i'  key '>' INT '</i>'                  -- signed 64-bit integer
//             | '<s'  key '>' TEXT '</s>'                 -- text
//             | '<li' key '>' ('<v>' INT '</v>')* '</li>'  -- list of integers
//             | '<ls' key '>' ('<v>' TEXT '</v>')* '</ls>' -- list of texts
//             | '<o'  key ' f="' FAMILY '" c="' CLASS '">' field* '</o>'
//                                                          -- one nested message
//             | '<lo' key '>' message* '</lo>'            -- list of nested messages
//   key      := ' t="' TAG '"' (' s="' SUB '"')?          -- SUB omitted when 0
//   INT      := '-'? DIGIT+                                -- decimal, in range
//   TAG, SUB := DIGIT+ in 0..65535; FAMILY, CLASS := INT in the int range
//
// Fields appear in ascending (TAG, SUB) order and each key at most once.
// TEXT is the value with XML's own escapes (&lt; &amp; ...) and one escape of
// ours: '%' followed by two hex digits stands for that byte. The writer uses
// it for '%' itself, for every byte below 0x20 (XML 1.0 cannot carry most of
// them, and parsers rewrite CR and line ends) and for every byte that is not
// part of a valid UTF-8 sequence (or encodes U+FFFE, U+FFFF or a surrogate).
// Any byte string therefore comes back byte for byte. A '%' not followed by
// two hex digits makes the text malformed.
//
// The reader enforces kMaxXmlSize, kMaxDepth (nesting of messages) and
// kMaxListLength (entries of one list), the class named by the root, the
// kind and nested class of every tag the class's schema declares, and the
// range of every number. It builds a new message and replaces the target
// only when the whole text was read.
#include "platform/CNMessageBase.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include <pugixml.hpp>

#include "platform/XmlTreeView.h"

namespace xmltree = evtask::xmltree;

// A stored field. Scalars sit in the field itself; lists and nested
// messages live in a block allocated only for the fields that have them, so
// that the common integer and text fields stay small (a long list of
// messages holds several such fields per entry).
struct CNMessageBase::Field {
  struct Lists {
    std::vector<long long> numbers;
    std::vector<std::string> texts;
    std::vector<CNMessageBase> objects;  // kObject holds exactly one
  };

  // User-provided, so that new fields are not zero-filled before their
  // members are constructed (the reader makes one per field it reads).
  Field() {}
  Field(const Field& o) : key(o.key), kind(o.kind), number(o.number), text(o.text),
                          lists(o.lists ? new Lists(*o.lists) : nullptr) {}
  Field(Field&&) noexcept = default;
  Field& operator=(const Field& o) {
    if (this != &o) *this = Field(o);
    return *this;
  }
  Field& operator=(Field&&) noexcept = default;

  std::vector<long long>& numbers() { return ensure().numbers; }
  std::vector<std::string>& texts() { return ensure().texts; }
  std::vector<CNMessageBase>& objects() { return ensure().objects; }
  const std::vector<long long>& numbers() const { return lists ? lists->numbers : empty().numbers; }
  const std::vector<std::string>& texts() const { return lists ? lists->texts : empty().texts; }
  const std::vector<CNMessageBase>& objects() const { return lists ? lists->objects : empty().objects; }

  uint32_t key = 0;
  XmlFieldKind kind = XmlFieldKind::kInt;
  long long number = 0;
  std::string text;
  std::unique_ptr<Lists> lists;

 private:
  Lists& ensure() {
    if (!lists) lists.reset(new Lists());
    return *lists;
  }
  static const Lists& empty() {
    static const Lists* none = new Lists();
    return *none;
  }
};

namespace {

// A registered schema with an index from tag to declared field, so that the
// reader finds a field's declaration with one lookup.
struct RegisteredClass {
  XmlClassSpec classSchema;
  std::vector<int32_t> byTag;  // field position + 1 per tag; 0 = not declared
};

struct ClassRegistry {
  std::mutex mu;
  std::map<std::pair<int, int>, std::unique_ptr<RegisteredClass>> specs;
};

ClassRegistry& classRegistry() {
  static ClassRegistry* r = new ClassRegistry();
  return *r;
}

std::mutex& hookMutex() {
  static std::mutex* m = new std::mutex();
  return *m;
}

std::function<int()>& initHook() {
  static std::function<int()>* h = new std::function<int()>();
  return *h;
}

inline uint32_t makeKey(uint16_t tag, uint16_t sub) { return (static_cast<uint32_t>(tag) << 16) | sub; }

const char* kindName(XmlFieldKind k) {
  switch (k) {
    case XmlFieldKind::kInt: return "an integer";
    case XmlFieldKind::kText: return "a text";
    case XmlFieldKind::kIntList: return "an integer list";
    case XmlFieldKind::kTextList: return "a text list";
    case XmlFieldKind::kObject: return "a message";
    case XmlFieldKind::kObjectList: return "a message list";
  }
  return "?";
}

const char* elementName(XmlFieldKind k) {
  switch (k) {
    case XmlFieldKind::kInt: return "i";
    case XmlFieldKind::kText: return "s";
    case XmlFieldKind::kIntList: return "li";
    case XmlFieldKind::kTextList: return "ls";
    case XmlFieldKind::kObject: return "o";
    case XmlFieldKind::kObjectList: return "lo";
  }
  return "?";
}

__attribute__((always_inline)) inline bool kindOfElement(const char* name, XmlFieldKind& kind) {
  if (name[0] == 'i' && name[1] == 0) kind = XmlFieldKind::kInt;
  else if (name[0] == 's' && name[1] == 0) kind = XmlFieldKind::kText;
  else if (std::strcmp(name, "li") == 0) kind = XmlFieldKind::kIntList;
  else if (std::strcmp(name, "ls") == 0) kind = XmlFieldKind::kTextList;
  else if (name[0] == 'o' && name[1] == 0) kind = XmlFieldKind::kObject;
  else if (std::strcmp(name, "lo") == 0) kind = XmlFieldKind::kObjectList;
  else return false;
  return true;
}

// Length of the valid UTF-8 sequence at p (XML characters only), or 0.
size_t validUtf8(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  size_t len;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
  else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
  else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
  else return 0;
  if (n < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF) return 0;
  return len;
}

const char kHex[] = "0123456789ABCDEF";

// The text as written into the XML (see the grammar): unchanged when nothing
// needs our escape.
const char* escapeText(const std::string& in, std::string& buf) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(in.data());
  const size_t n = in.size();
  size_t i = 0;
  for (; i < n; ++i) {
    if (p[i] < 0x20 || p[i] == '%' || p[i] >= 0x80) break;
  }
  if (i == n) return in.c_str();
  buf.assign(in, 0, i);
  while (i < n) {
    const unsigned char c = p[i];
    size_t len = (c < 0x20 || c == '%') ? 0 : validUtf8(p + i, n - i);
    if (len == 0) {
      buf.push_back('%');
      buf.push_back(kHex[c >> 4]);
      buf.push_back(kHex[c & 15]);
      ++i;
    } else {
      buf.append(in, i, len);
      i += len;
    }
  }
  return buf.c_str();
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool unescapeText(const char* s, std::string& out) {
  const char* pct = std::strchr(s, '%');
  if (pct == nullptr) {
    out.assign(s);
    return true;
  }
  out.assign(s, pct);
  for (const char* p = pct; *p != 0; ++p) {
    if (*p != '%') {
      out.push_back(*p);
      continue;
    }
    const int hi = hexValue(p[1]);
    const int lo = hi < 0 ? -1 : hexValue(p[2]);
    if (lo < 0) return false;
    out.push_back(static_cast<char>(hi * 16 + lo));
    p += 2;
  }
  return true;
}

// Strict decimal: an optional '-', at least one digit, nothing else, no
// overflow, and within [lo, hi].
// Inlined: the reader calls it once per number, mostly with the full
// 64-bit range, whose range test then disappears.
__attribute__((always_inline)) inline bool parseInt(const char* s, long long lo, long long hi, long long& out) {
  const bool negative = *s == '-';
  if (negative) ++s;
  // Up to 9 digits fit 32 bits: most numbers are short ids and tags and end
  // here, without 64-bit arithmetic (costly on i386).
  const char* p = s;
  uint32_t small = 0;
  unsigned d;
  while (p - s < 9 && (d = static_cast<unsigned char>(*p) - static_cast<unsigned>('0')) <= 9) {
    small = small * 10 + d;
    ++p;
  }
  if (p == s) return false;
  unsigned long long v = small;
  if (*p != 0) {
    // Longer numbers: 18 digits cannot overflow, beyond that each digit is
    // tested against the limit (which admits INT64_MIN) without a division.
    const unsigned long long maxTenth = 922337203685477580ull;
    const unsigned lastDigit = negative ? 8 : 7;
    for (; p - s < 18 && (d = static_cast<unsigned char>(*p) - static_cast<unsigned>('0')) <= 9; ++p) v = v * 10 + d;
    for (; (d = static_cast<unsigned char>(*p) - static_cast<unsigned>('0')) <= 9; ++p) {
      if (v > maxTenth || (v == maxTenth && d > lastDigit)) return false;
      v = v * 10 + d;
    }
    if (*p != 0) return false;
  }
  const long long r = negative ? static_cast<long long>(0 - v) : static_cast<long long>(v);
  if (r < lo || r > hi) return false;
  out = r;
  return true;
}

// A field key (tag or sub): strict decimal in 0..65535, read in 32 bits.
bool parseKey(const char* s, long long& out) {
  uint32_t v = 0;
  const char* const start = s;
  for (; *s >= '0' && *s <= '9'; ++s) {
    if (s - start == 5) return false;
    v = v * 10 + static_cast<uint32_t>(*s - '0');
  }
  if (s == start || *s != 0 || v > 65535) return false;
  out = v;
  return true;
}

}  // namespace

void registerMessageClass(const XmlClassSpec& classSpec) {
  ClassRegistry& r = classRegistry();
  std::lock_guard<std::mutex> lock(r.mu);
  auto& slot = r.specs[{classSpec.family, classSpec.classNo}];
  // The first registration stays: readers may hold pointers to it.
  if (slot) return;
  std::unique_ptr<RegisteredClass> entry(new RegisteredClass{classSpec, {}});
  for (size_t i = 0; i < classSpec.fields.size(); ++i) {
    const uint16_t tag = classSpec.fields[i].tag;
    if (entry->byTag.size() <= tag) entry->byTag.resize(tag + 1u, 0);
    // A tag declared twice keeps its first declaration, as a search would.
    if (entry->byTag[tag] == 0) entry->byTag[tag] = static_cast<int32_t>(i + 1);
  }
  slot = std::move(entry);
}

namespace {
const RegisteredClass* findRegisteredClass(int family, int classNo) {
  ClassRegistry& r = classRegistry();
  std::lock_guard<std::mutex> lock(r.mu);
  auto it = r.specs.find({family, classNo});
  return it == r.specs.end() ? nullptr : it->second.get();
}
}  // namespace

const XmlClassSpec* findMessageClass(int family, int classNo) {
  const RegisteredClass* c = findRegisteredClass(family, classNo);
  return c == nullptr ? nullptr : &c->classSchema;
}

// --- reading and writing -------------------------------------------------------------------

// The place a reading failure is reported for; its text is built only when
// a failure needs it.
struct Where {
  int family;
  int classNo;
  long tag;  // -1: the message itself
  std::string str() const {
    std::string s = "message " + std::to_string(family) + "/" + std::to_string(classNo);
    if (tag >= 0) s += " field " + std::to_string(tag);
    return s;
  }
};

struct XmlCodec {
  int code = 0;
  std::string error;
  // The schema of the class read last, so that a list of one class looks the
  // registry up once.
  int cachedFamily = 0, cachedClass = 0;
  const RegisteredClass* cachedSpec = nullptr;
  bool cacheValid = false;

  bool fail(int c, const std::string& text) {
    if (code == 0) {
      code = c;
      error = text;
    }
    return false;
  }

  const RegisteredClass* classOf(int family, int classNo) {
    if (!cacheValid || family != cachedFamily || classNo != cachedClass) {
      cachedSpec = findRegisteredClass(family, classNo);
      cachedFamily = family;
      cachedClass = classNo;
      cacheValid = true;
    }
    return cachedSpec;
  }

  static std::string className(int f, int c) { return std::to_string(f) + "/" + std::to_string(c); }

  // --- writing
  // False when the message nests deeper than a reader accepts.
  static bool writeFields(const CNMessageBase& m, pugi::xml_node node, std::string& buf, int depth) {
    if (depth > CNMessageBase::kMaxDepth) return false;
    for (const CNMessageBase::Field& f : m.m_fields) {
      pugi::xml_node e = node.append_child(elementName(f.kind));
      e.append_attribute("t").set_value(static_cast<unsigned>(f.key >> 16));
      if ((f.key & 0xFFFF) != 0) e.append_attribute("s").set_value(static_cast<unsigned>(f.key & 0xFFFF));
      switch (f.kind) {
        case XmlFieldKind::kInt:
          e.append_child(pugi::node_pcdata).set_value(std::to_string(f.number).c_str());
          break;
        case XmlFieldKind::kText:
          if (!f.text.empty()) e.append_child(pugi::node_pcdata).set_value(escapeText(f.text, buf));
          break;
        case XmlFieldKind::kIntList:
          for (long long v : f.numbers()) {
            e.append_child("v").append_child(pugi::node_pcdata).set_value(std::to_string(v).c_str());
          }
          break;
        case XmlFieldKind::kTextList:
          for (const std::string& v : f.texts()) {
            pugi::xml_node item = e.append_child("v");
            if (!v.empty()) item.append_child(pugi::node_pcdata).set_value(escapeText(v, buf));
          }
          break;
        case XmlFieldKind::kObject:
          e.append_attribute("f").set_value(f.objects()[0].m_family);
          e.append_attribute("c").set_value(f.objects()[0].m_classNo);
          if (!writeFields(f.objects()[0], e, buf, depth + 1)) return false;
          break;
        case XmlFieldKind::kObjectList:
          for (const CNMessageBase& child : f.objects()) {
            pugi::xml_node item = e.append_child("m");
            item.append_attribute("f").set_value(child.m_family);
            item.append_attribute("c").set_value(child.m_classNo);
            if (!writeFields(child, item, buf, depth + 1)) return false;
          }
          break;
      }
    }
    return true;
  }

  // --- reading
  // Each reading function is built twice: for the direct view of pugixml's
  // tree (D = true) and for its accessors. decode() picks one per text.
  template <bool D>
  bool readClass(xmltree::Node<D> node, int& family, int& classNo) {
    long long f = 0, c = 0;
    const char* fv = nullptr;
    const char* cv = nullptr;
    // One walk over the attributes (the writer puts f and c first).
    // An attribute always has a name; the empty name of the null attribute
    // ends the walk (one call fewer per attribute through the accessors).
    const char* n;
    for (xmltree::Attribute<D> a = node.first_attribute(); *(n = a.name()) != 0; a = a.next_attribute()) {
      if (n[1] != 0) continue;
      if (n[0] == 'f' && fv == nullptr) fv = a.value();
      else if (n[0] == 'c' && cv == nullptr) cv = a.value();
    }
    if (fv == nullptr || cv == nullptr) {
      return fail(YM_XML_MALFORMED, std::string("element <") + node.name() + "> names no class");
    }
    if (!parseInt(fv, INT32_MIN, INT32_MAX, f) || !parseInt(cv, INT32_MIN, INT32_MAX, c)) {
      return fail(YM_XML_MALFORMED, std::string("element <") + node.name() + "> has a malformed class");
    }
    family = static_cast<int>(f);
    classNo = static_cast<int>(c);
    return true;
  }

  template <bool D>
  bool readText(xmltree::Node<D> node, std::string& out, const Where& where) {
    const char* text = nullptr;
    if (!rawValue(node, text, where)) return false;
    if (!unescapeText(text, out)) return fail(YM_XML_MALFORMED, where.str() + " holds a malformed % escape");
    return true;
  }

  // The raw value text of a leaf element. The document is parsed with
  // parse_embed_pcdata, so a plain value sits in the element itself; a value
  // given as CDATA is the element's single child.
  template <bool D>
  __attribute__((always_inline)) bool rawValue(xmltree::Node<D> node, const char*& text, const Where& where) {
    text = node.value();
    const xmltree::Node<D> c = node.first_child();
    if (!c) return true;
    const pugi::xml_node_type t = c.type();
    if (*text != 0 || (t != pugi::node_pcdata && t != pugi::node_cdata)) {
      return fail(YM_XML_MALFORMED, where.str() + (t == pugi::node_element
                                                        ? " holds an element where a value was expected"
                                                        : " holds a split value"));
    }
    if (c.next_sibling()) return fail(YM_XML_MALFORMED, where.str() + " holds a split value");
    text = c.value();
    return true;
  }

  // Text embedded in a container element (a message or a list) ahead of its
  // first child: only whitespace may stand there.
  template <bool D>
  bool blankValue(xmltree::Node<D> node, const Where& where) {
    const char* v = node.value();
    if (*v == 0 || v[std::strspn(v, " \t\r\n")] == 0) return true;
    return fail(YM_XML_MALFORMED, where.str() + " holds text between its fields");
  }

  template <bool D>
  __attribute__((always_inline)) bool readNumber(xmltree::Node<D> node, long long& out, const Where& where) {
    const char* text = nullptr;
    if (!rawValue(node, text, where)) return false;
    // Numbers carry no escapes, so the raw text is read directly.
    if (!parseInt(text, INT64_MIN, INT64_MAX, out)) {
      // Tell a number that is too large from one that is no number at all.
      const char* p = text;
      if (*p == '-') ++p;
      const bool digits = *p != 0 && std::strspn(p, "0123456789") == std::strlen(p);
      return fail(digits ? YM_XML_OUT_OF_RANGE : YM_XML_MALFORMED,
                  where.str() + " holds \"" + std::string(text).substr(0, 40) + "\", not a 64-bit integer");
    }
    return true;
  }

  // Checks that only elements (or whitespace and comments) sit inside a
  // container, and counts the elements.
  template <bool D>
  bool onlyElements(xmltree::Node<D> node, const Where& where, size_t& count) {
    count = 0;
    if (!blankValue(node, where)) return false;
    for (xmltree::Node<D> c = node.first_child(); c; c = c.next_sibling()) {
      const pugi::xml_node_type t = c.type();
      if (t == pugi::node_element) {
        ++count;
        continue;
      }
      if (t == pugi::node_pcdata) {
        const char* v = c.value();
        if (v[std::strspn(v, " \t\r\n")] == 0) continue;
      }
      if (t == pugi::node_comment) continue;
      return fail(YM_XML_MALFORMED, where.str() + " holds text between its fields");
    }
    return true;
  }

  // `expected` is the number of fields the message probably has (that of
  // the previous message of a list), 0 when unknown.
  template <bool D>
  bool readMessage(xmltree::Node<D> node, CNMessageBase& m, int depth, size_t expected = 0) {
    if (depth > CNMessageBase::kMaxDepth) {
      return fail(YM_XML_LIMIT, "messages nested deeper than " + std::to_string(CNMessageBase::kMaxDepth));
    }
    const Where where{m.m_family, m.m_classNo, -1};
    if (!blankValue(node, where)) return false;
    const RegisteredClass* schema = classOf(m.m_family, m.m_classNo);
    // The field list is sized before reading, so that a message costs one
    // allocation instead of a regrowth and a move of every field read so
    // far: by the previous message of a list, whose fields the messages of
    // one list nearly always share, or else by one pass over the children
    // (those that are not elements are rare and only over-count).
    if (expected == 0) {
      for (xmltree::Node<D> e = node.first_child(); e; e = e.next_sibling()) ++expected;
    }
    m.m_fields.reserve(expected);
    for (xmltree::Node<D> e = node.first_child(); e; e = e.next_sibling()) {
      // Only elements have a name: one call tells most nodes apart.
      const char* name = e.name();
      const pugi::xml_node_type nt = *name != 0 ? pugi::node_element : e.type();
      if (nt != pugi::node_element) {
        if (nt == pugi::node_comment) continue;
        const char* v = e.value();
        if (nt == pugi::node_pcdata && v[std::strspn(v, " \t\r\n")] == 0) continue;
        return fail(YM_XML_MALFORMED, where.str() + " holds text between its fields");
      }
      XmlFieldKind kind;
      if (!kindOfElement(name, kind)) {
        return fail(YM_XML_MALFORMED, where.str() + " holds an unknown element <" + name + ">");
      }
      long long tag = -1, sub = 0;
      bool good = true;
      const char* n;
      for (xmltree::Attribute<D> a = e.first_attribute(); good && *(n = a.name()) != 0; a = a.next_attribute()) {
        if (n[0] == 't' && n[1] == 0) good = parseKey(a.value(), tag);
        else if (n[0] == 's' && n[1] == 0) good = parseKey(a.value(), sub);
      }
      if (!good || tag < 0) {
        return fail(YM_XML_MALFORMED, where.str() + " holds a field with a missing or malformed tag");
      }
      const Where fw{m.m_family, m.m_classNo, static_cast<long>(tag)};
      const uint32_t key = makeKey(static_cast<uint16_t>(tag), static_cast<uint16_t>(sub));
      if (!m.m_fields.empty() && m.m_fields.back().key >= key) {
        return fail(YM_XML_MALFORMED, fw.str() + " is repeated or out of order");
      }
      const XmlFieldSpec* declared = nullptr;
      if (schema != nullptr && sub == 0 && static_cast<size_t>(tag) < schema->byTag.size()) {
        const int32_t at = schema->byTag[static_cast<size_t>(tag)];
        if (at != 0) declared = &schema->classSchema.fields[static_cast<size_t>(at - 1)];
      }
      if (declared != nullptr && declared->kind != kind) {
        return fail(YM_XML_WRONG_TYPE,
                    fw.str() + " is " + kindName(kind) + ", expected " + kindName(declared->kind));
      }
      m.m_fields.emplace_back();
      CNMessageBase::Field& f = m.m_fields.back();
      f.key = key;
      f.kind = kind;
      if (!readField(e, f, declared, fw, depth)) return false;
    }
    return true;
  }

  bool checkNestedClass(const XmlFieldSpec* declared, int family, int classNo, const Where& where) {
    if (declared == nullptr || (declared->family == 0 && declared->classNo == 0)) return true;
    if (declared->family == family && declared->classNo == classNo) return true;
    return fail(YM_XML_WRONG_CLASS, where.str() + " holds message " + className(family, classNo) + ", expected " +
                                        className(declared->family, declared->classNo));
  }

  template <bool D>
  __attribute__((always_inline)) bool readField(xmltree::Node<D> e, CNMessageBase::Field& f,
                                                const XmlFieldSpec* declared, const Where& fw, int depth) {
    switch (f.kind) {
      case XmlFieldKind::kInt:
        return readNumber(e, f.number, fw);
      case XmlFieldKind::kText:
        return readText(e, f.text, fw);
      case XmlFieldKind::kIntList:
      case XmlFieldKind::kTextList:
      case XmlFieldKind::kObjectList: {
        size_t n = 0;
        if (!onlyElements(e, fw, n)) return false;
        const char itemName = f.kind == XmlFieldKind::kObjectList ? 'm' : 'v';
        if (n > CNMessageBase::kMaxListLength) {
          return fail(YM_XML_LIMIT,
                      fw.str() + " has more than " + std::to_string(CNMessageBase::kMaxListLength) + " entries");
        }
        if (f.kind == XmlFieldKind::kIntList) f.numbers().reserve(n);
        if (f.kind == XmlFieldKind::kTextList) f.texts().reserve(n);
        if (f.kind == XmlFieldKind::kObjectList) f.objects().reserve(n);
        for (xmltree::Node<D> v = e.first_child(); v; v = v.next_sibling()) {
          // Only elements have a name (onlyElements let nothing else but
          // whitespace and comments through).
          const char* vn = v.name();
          if (*vn == 0) continue;
          if (vn[0] != itemName || vn[1] != 0) {
            return fail(YM_XML_MALFORMED, fw.str() + " holds <" + vn + "> where <" + itemName + "> belongs");
          }
          if (f.kind == XmlFieldKind::kIntList) {
            long long x = 0;
            if (!readNumber(v, x, fw)) return false;
            f.numbers().push_back(x);
          } else if (f.kind == XmlFieldKind::kTextList) {
            f.texts().emplace_back();
            if (!readText(v, f.texts().back(), fw)) return false;
          } else {
            int family = 0, classNo = 0;
            if (!readClass(v, family, classNo) || !checkNestedClass(declared, family, classNo, fw)) return false;
            const size_t expected = f.objects().empty() ? 0 : f.objects().back().m_fields.size();
            f.objects().emplace_back(family, classNo);
            if (!readMessage(v, f.objects().back(), depth + 1, expected)) return false;
          }
        }
        return true;
      }
      case XmlFieldKind::kObject: {
        int family = 0, classNo = 0;
        if (!readClass(e, family, classNo) || !checkNestedClass(declared, family, classNo, fw)) return false;
        f.objects().emplace_back(family, classNo);
        return readMessage(e, f.objects().back(), depth + 1);
      }
    }
    return false;
  }

  // Reads `text` into a new message. With `anyClass` the message takes the
  // class the text names; otherwise the text must name `target`'s class.
  int decode(const char* text, size_t n, CNMessageBase& target, bool anyClass) {
    if (n == 0) return fail(YM_XML_EMPTY, "no XML text"), code;
    if (n > CNMessageBase::kMaxXmlSize) {
      return fail(YM_XML_LIMIT, "XML text of " + std::to_string(n) + " bytes exceeds the limit of " +
                                    std::to_string(CNMessageBase::kMaxXmlSize)),
             code;
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result r = doc.load_buffer(text, n, xmltree::kParseOptions, pugi::encoding_utf8);
    if (!r) {
      return fail(YM_XML_MALFORMED, std::string("XML does not parse: ") + r.description() + " at offset " +
                                        std::to_string(r.offset)),
             code;
    }
    pugi::xml_node root;
    for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling()) {
      if (c.type() == pugi::node_element) {
        if (root) return fail(YM_XML_MALFORMED, "XML holds more than one message"), code;
        root = c;
      }
    }
    if (!root || std::strcmp(root.name(), "m") != 0) {
      return fail(YM_XML_MALFORMED, "XML does not hold a message element <m>"), code;
    }
    return xmltree::directViewUsable() ? readRoot(xmltree::Node<true>(root), target, anyClass)
                                       : readRoot(xmltree::Node<false>(root), target, anyClass);
  }

  // Reads the message element `root` into a new message that replaces
  // `target`'s fields once the whole text was read.
  template <bool D>
  int readRoot(xmltree::Node<D> root, CNMessageBase& target, bool anyClass) {
    int family = 0, classNo = 0;
    if (!readClass(root, family, classNo)) return code;
    if (!anyClass && (family != target.m_family || classNo != target.m_classNo)) {
      return fail(YM_XML_WRONG_CLASS, "XML holds message " + className(family, classNo) + ", expected " +
                                          className(target.m_family, target.m_classNo)),
             code;
    }
    CNMessageBase fresh(family, classNo);
    if (!readMessage(root, fresh, 1)) return code;
    target.m_family = family;
    target.m_classNo = classNo;
    target.m_fields.swap(fresh.m_fields);
    return 0;
  }
};

// --- CNMessageBase ---------------------------------------------------------------------------

CNMessageBase::CNMessageBase(int family, int classNo) : m_family(family), m_classNo(classNo) {}
CNMessageBase::CNMessageBase(const CNMessageBase& other) = default;
CNMessageBase& CNMessageBase::operator=(const CNMessageBase& other) = default;
CNMessageBase::CNMessageBase(CNMessageBase&& other) noexcept = default;
CNMessageBase& CNMessageBase::operator=(CNMessageBase&& other) noexcept = default;
CNMessageBase::~CNMessageBase() = default;

int CNMessageBase::Initialize() {
  std::function<int()> hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex());
    hook = initHook();
  }
  return hook ? hook() : 0;
}

void CNMessageBase::setInitializeHook(std::function<int()> hook) {
  std::lock_guard<std::mutex> lock(hookMutex());
  initHook() = std::move(hook);
}

unsigned long CNMessageBase::getTagID() const {
  return (static_cast<unsigned long>(m_family) << 16) + static_cast<unsigned long>(m_classNo);
}

CNMessageBase::Field* CNMessageBase::find(uint32_t key) {
  auto it = std::lower_bound(m_fields.begin(), m_fields.end(), key,
                             [](const Field& f, uint32_t k) { return f.key < k; });
  return it != m_fields.end() && it->key == key ? &*it : nullptr;
}

const CNMessageBase::Field* CNMessageBase::find(uint32_t key) const {
  return const_cast<CNMessageBase*>(this)->find(key);
}

CNMessageBase::Field& CNMessageBase::put(uint32_t key, XmlFieldKind kind) {
  auto it = std::lower_bound(m_fields.begin(), m_fields.end(), key,
                             [](const Field& f, uint32_t k) { return f.key < k; });
  if (it == m_fields.end() || it->key != key) it = m_fields.insert(it, Field());
  *it = Field();
  it->key = key;
  it->kind = kind;
  return *it;
}

int CNMessageBase::fail(int code, const std::string& text, uint16_t tag, int module, int site) const {
  m_error = "message " + std::to_string(m_family) + "/" + std::to_string(m_classNo) + " field " +
            std::to_string(tag) + ": " + text;
  if (module != 0 || site != 0) m_error += " (module " + std::to_string(module) + ", site " + std::to_string(site) + ")";
  return code;
}

int CNMessageBase::setint64(uint16_t tag, uint16_t sub, long long value, int, int) {
  put(makeKey(tag, sub), XmlFieldKind::kInt).number = value;
  return 0;
}

int CNMessageBase::setstring(uint16_t tag, uint16_t sub, const std::string& value, int, int) {
  put(makeKey(tag, sub), XmlFieldKind::kText).text = value;
  return 0;
}

int CNMessageBase::setlistint(uint16_t tag, uint16_t sub, const std::vector<int>& values, int module, int site) {
  if (values.size() > kMaxListLength) return fail(YM_XML_LIMIT, "list too long", tag, module, site);
  put(makeKey(tag, sub), XmlFieldKind::kIntList).numbers().assign(values.begin(), values.end());
  return 0;
}

int CNMessageBase::setlistuint(uint16_t tag, uint16_t sub, const std::vector<unsigned int>& values, int module,
                               int site) {
  if (values.size() > kMaxListLength) return fail(YM_XML_LIMIT, "list too long", tag, module, site);
  put(makeKey(tag, sub), XmlFieldKind::kIntList).numbers().assign(values.begin(), values.end());
  return 0;
}

int CNMessageBase::setliststring(uint16_t tag, uint16_t sub, const std::vector<std::string>& values, int module,
                                 int site) {
  if (values.size() > kMaxListLength) return fail(YM_XML_LIMIT, "list too long", tag, module, site);
  put(makeKey(tag, sub), XmlFieldKind::kTextList).texts() = values;
  return 0;
}

int CNMessageBase::setlistobject(uint16_t tag, uint16_t sub, const std::vector<CNMessageBase>& values, int module,
                                 int site) {
  if (values.size() > kMaxListLength) return fail(YM_XML_LIMIT, "list too long", tag, module, site);
  // Copy first: `values` may live inside this message.
  std::vector<CNMessageBase> copy(values);
  put(makeKey(tag, sub), XmlFieldKind::kObjectList).objects().swap(copy);
  return 0;
}

int CNMessageBase::appendlistobject(uint16_t tag, uint16_t sub, const CNMessageBase& value, int module, int site) {
  CNMessageBase copy(value);
  Field* f = find(makeKey(tag, sub));
  if (f == nullptr) f = &put(makeKey(tag, sub), XmlFieldKind::kObjectList);
  if (f->kind != XmlFieldKind::kObjectList) return fail(YM_XML_WRONG_TYPE, "not a message list", tag, module, site);
  if (f->objects().size() >= kMaxListLength) return fail(YM_XML_LIMIT, "list too long", tag, module, site);
  f->objects().push_back(std::move(copy));
  return 0;
}

int CNMessageBase::setObjectAccessor(uint16_t tag, uint16_t sub, const CNMessageBase& value, int, int) {
  CNMessageBase copy(value);
  put(makeKey(tag, sub), XmlFieldKind::kObject).objects().push_back(std::move(copy));
  return 0;
}

bool CNMessageBase::isSet(uint16_t tag, uint16_t sub) const { return find(makeKey(tag, sub)) != nullptr; }

#define EVTASK_GET_FIELD(KIND)                                                                   \
  const Field* f = find(makeKey(tag, sub));                                                      \
  if (f == nullptr) return fail(YM_XML_NOT_SET, "not set", tag, module, site);                   \
  if (f->kind != (KIND)) {                                                                       \
    return fail(YM_XML_WRONG_TYPE, std::string("holds ") + kindName(f->kind) + ", not " +   \
                                       kindName(KIND), tag, module, site);                       \
  }

int CNMessageBase::getint64(uint16_t tag, uint16_t sub, long long& value, int module, int site) const {
  EVTASK_GET_FIELD(XmlFieldKind::kInt)
  value = f->number;
  return 0;
}

int CNMessageBase::getstring(uint16_t tag, uint16_t sub, std::string& value, int module, int site) const {
  EVTASK_GET_FIELD(XmlFieldKind::kText)
  value = f->text;
  return 0;
}

int CNMessageBase::getlistint(uint16_t tag, uint16_t sub, std::vector<long long>& values, int module,
                              int site) const {
  EVTASK_GET_FIELD(XmlFieldKind::kIntList)
  values = f->numbers();
  return 0;
}

int CNMessageBase::getlistuint(uint16_t tag, uint16_t sub, std::vector<unsigned int>& values, int module,
                               int site) const {
  EVTASK_GET_FIELD(XmlFieldKind::kIntList)
  std::vector<unsigned int> out;
  out.reserve(f->numbers().size());
  for (long long v : f->numbers()) {
    if (v < 0 || v > static_cast<long long>(UINT32_MAX)) {
      return fail(YM_XML_OUT_OF_RANGE, std::to_string(v) + " is not an unsigned 32-bit value", tag, module, site);
    }
    out.push_back(static_cast<unsigned int>(v));
  }
  values.swap(out);
  return 0;
}

int CNMessageBase::getliststring(uint16_t tag, uint16_t sub, std::vector<std::string>& values, int module,
                                 int site) const {
  EVTASK_GET_FIELD(XmlFieldKind::kTextList)
  values = f->texts();
  return 0;
}

int CNMessageBase::getlistobject(uint16_t tag, uint16_t sub, std::vector<CNMessageBase>& values, int module,
                                 int site) const {
  EVTASK_GET_FIELD(XmlFieldKind::kObjectList)
  values = f->objects();
  return 0;
}

#undef EVTASK_GET_FIELD

CNMessageBase* CNMessageBase::getObjectAccessor(uint16_t tag, uint16_t sub, bool create, bool replace, int family,
                                                int classNo, int module, int site) {
  const uint32_t key = makeKey(tag, sub);
  Field* f = find(key);
  if (f != nullptr && f->kind != XmlFieldKind::kObject && !replace) {
    fail(YM_XML_WRONG_TYPE, std::string("holds ") + kindName(f->kind) + ", not a message", tag, module, site);
    return nullptr;
  }
  if (f == nullptr || replace) {
    if (!create && f == nullptr) return nullptr;
    f = &put(key, XmlFieldKind::kObject);
    f->objects().emplace_back(family, classNo);
  }
  return &f->objects()[0];
}

const CNMessageBase* CNMessageBase::getObjectAccessor(uint16_t tag, uint16_t sub) const {
  const Field* f = find(makeKey(tag, sub));
  return f != nullptr && f->kind == XmlFieldKind::kObject ? &f->objects()[0] : nullptr;
}

bool CNMessageBase::clearField(uint16_t tag, uint16_t sub) {
  const uint32_t key = makeKey(tag, sub);
  auto it = std::lower_bound(m_fields.begin(), m_fields.end(), key,
                             [](const Field& f, uint32_t k) { return f.key < k; });
  if (it == m_fields.end() || it->key != key) return false;
  m_fields.erase(it);
  return true;
}

namespace {
struct StringWriter : pugi::xml_writer {
  std::string* out;
  void write(const void* data, size_t size) override { out->append(static_cast<const char*>(data), size); }
};
}  // namespace

int CNMessageBase::serialize(std::string& xml, bool) const {
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("m");
  root.append_attribute("f").set_value(m_family);
  root.append_attribute("c").set_value(m_classNo);
  std::string buf;
  if (!XmlCodec::writeFields(*this, root, buf, 1)) {
    m_error = "message nests deeper than " + std::to_string(kMaxDepth) + " levels";
    return YM_XML_LIMIT;
  }
  std::string out;
  StringWriter w;
  w.out = &out;
  doc.save(w, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  if (out.size() > kMaxXmlSize) {
    m_error = "serialised message of " + std::to_string(out.size()) + " bytes exceeds the limit";
    return YM_XML_LIMIT;
  }
  xml.swap(out);
  return 0;
}

int CNMessageBase::unserialize(const std::string& xml) {
  XmlCodec codec;
  const int rc = codec.decode(xml.data(), xml.size(), *this, false);
  if (rc != 0) m_error = codec.error;
  return rc;
}

int CNMessageBase::unserialize(const char* xml) {
  if (xml == nullptr) {
    m_error = "no XML text";
    return YM_XML_EMPTY;
  }
  XmlCodec codec;
  const int rc = codec.decode(xml, strnlen(xml, kMaxXmlSize + 1), *this, false);
  if (rc != 0) m_error = codec.error;
  return rc;
}

int CNMessageBase::unserializeAnyClass(const std::string& xml) {
  XmlCodec codec;
  const int rc = codec.decode(xml.data(), xml.size(), *this, true);
  if (rc != 0) m_error = codec.error;
  return rc;
}
