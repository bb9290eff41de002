// The XML message base: a message of a (family, class) pair whose fields are
// addressed by small integer tags. A field holds a signed 64-bit integer, a
// text, a list of integers, a list of texts, one nested message or a list of
// nested messages. serialize() writes the message as XML text and
// unserialize() reads it back; the text form is given as a grammar at the top
// of CNMessageBase.cpp.
//
// A field is addressed by two 16-bit ids (the tag and a sub-id, 0 at every
// call site of this library). Module and call-site numbers are the caller's
// constants; they are not interpreted and only appear in error texts.
//
// Results: 0 for success, otherwise one of the YM_XML_* codes below with a
// text in lastError(). Getters leave their output unchanged on failure.
// unserialize() treats the text as untrusted: it enforces kMaxXmlSize,
// kMaxDepth and kMaxListLength, checks the class of the text against the
// message's, the kind of every field against the class's registered schema
// and every number against its range. On failure the message is unchanged.
//
// A class may register a schema (the kind of each tag and the class of each
// nested message) with registerMessageClass; XMLDecoder uses the registry to
// build the message a text names.
//
// Ownership: a message owns its nested messages; copies are deep.
// getObjectAccessor returns a pointer into the message, valid until the
// field is set again or the message is destroyed.
//
// Thread safety: a message is used by one thread at a time. Initialize() and
// the class registry may be used from any thread.
#ifndef EVTASK_PLATFORM_CNMESSAGEBASE_H
#define EVTASK_PLATFORM_CNMESSAGEBASE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "evtask/export.h"
#include "platform/YmErrors.h"

class CNMessageBase;

// The kinds a field may hold.
enum class XmlFieldKind : uint8_t { kInt = 1, kText, kIntList, kTextList, kObject, kObjectList };

// One declared field of a message class. `family` and `classNo` name the
// class of nested messages (kObject, kObjectList); 0/0 accepts any class.
struct XmlFieldSpec {
  uint16_t tag;
  XmlFieldKind kind;
  int family;
  int classNo;
};

struct XmlClassSpec {
  int family;
  int classNo;
  const char* name;
  std::vector<XmlFieldSpec> fields;
};

// Registers the schema of a class. The first registration of a class stays
// (readers may hold pointers to it); later ones are ignored. Thread-safe.
EVTASK_EXPORT void registerMessageClass(const XmlClassSpec& classSpec);
// The registered schema of a class, or null.
EVTASK_EXPORT const XmlClassSpec* findMessageClass(int family, int classNo);

class EVTASK_EXPORT CNMessageBase {
 public:
  static constexpr size_t kMaxXmlSize = 16u * 1024u * 1024u;
  static constexpr int kMaxDepth = 32;
  static constexpr size_t kMaxListLength = 100000;

  CNMessageBase(int family, int classNo);
  CNMessageBase(const CNMessageBase& other);
  CNMessageBase& operator=(const CNMessageBase& other);
  CNMessageBase(CNMessageBase&& other) noexcept;
  CNMessageBase& operator=(CNMessageBase&& other) noexcept;
  virtual ~CNMessageBase();

  // 0 when the message library is usable. A hook installed with
  // setInitializeHook (hosts and tests) decides instead when set.
  static int Initialize();
  static void setInitializeHook(std::function<int()> hook);

  int getFamily() const { return m_family; }
  int getClassNo() const { return m_classNo; }
  // The message's type tag: family * 65536 + class.
  unsigned long getTagID() const;

  // Setters replace the field, whatever it held before.
  int setint64(uint16_t tag, uint16_t sub, long long value, int module = 0, int site = 0);
  int setstring(uint16_t tag, uint16_t sub, const std::string& value, int module = 0, int site = 0);
  int setlistint(uint16_t tag, uint16_t sub, const std::vector<int>& values, int module = 0, int site = 0);
  int setlistuint(uint16_t tag, uint16_t sub, const std::vector<unsigned int>& values, int module = 0,
                  int site = 0);
  int setliststring(uint16_t tag, uint16_t sub, const std::vector<std::string>& values, int module = 0,
                    int site = 0);
  int setlistobject(uint16_t tag, uint16_t sub, const std::vector<CNMessageBase>& values, int module = 0,
                    int site = 0);
  template <class T>
  int setlistobject(uint16_t tag, uint16_t sub, const std::vector<T>& values, int module = 0, int site = 0) {
    std::vector<CNMessageBase> copy(values.begin(), values.end());
    return setlistobject(tag, sub, copy, module, site);
  }
  // Appends one message to the list at the tag (creating the list).
  int appendlistobject(uint16_t tag, uint16_t sub, const CNMessageBase& value, int module = 0, int site = 0);
  // Sets the nested message at the tag to a copy of `value`.
  int setObjectAccessor(uint16_t tag, uint16_t sub, const CNMessageBase& value, int module = 0, int site = 0);

  // Getters. A field that is absent gives YM_XML_NOT_SET; one of another
  // kind YM_XML_WRONG_TYPE; a value that does not fit YM_XML_OUT_OF_RANGE.
  bool isSet(uint16_t tag, uint16_t sub) const;
  int getint64(uint16_t tag, uint16_t sub, long long& value, int module = 0, int site = 0) const;
  int getstring(uint16_t tag, uint16_t sub, std::string& value, int module = 0, int site = 0) const;
  int getlistint(uint16_t tag, uint16_t sub, std::vector<long long>& values, int module = 0, int site = 0) const;
  int getlistuint(uint16_t tag, uint16_t sub, std::vector<unsigned int>& values, int module = 0,
                  int site = 0) const;
  int getliststring(uint16_t tag, uint16_t sub, std::vector<std::string>& values, int module = 0,
                    int site = 0) const;
  int getlistobject(uint16_t tag, uint16_t sub, std::vector<CNMessageBase>& values, int module = 0,
                    int site = 0) const;
  // Copies each listed message into a T (a thin class over this base).
  template <class T>
  int getlistobject(uint16_t tag, uint16_t sub, std::vector<T>& values, int module = 0, int site = 0) const {
    std::vector<CNMessageBase> raw;
    const int rc = getlistobject(tag, sub, raw, module, site);
    if (rc != 0) return rc;
    std::vector<T> out;
    out.reserve(raw.size());
    for (CNMessageBase& m : raw) {
      out.emplace_back();
      static_cast<CNMessageBase&>(out.back()) = std::move(m);
    }
    values.swap(out);
    return 0;
  }
  // The nested message at the tag. With `create` an absent field becomes a
  // new empty message of (family, classNo); `replace` discards a present one
  // first. Returns null when absent (and not created) or of another kind.
  CNMessageBase* getObjectAccessor(uint16_t tag, uint16_t sub, bool create, bool replace, int family,
                                   int classNo, int module = 0, int site = 0);
  const CNMessageBase* getObjectAccessor(uint16_t tag, uint16_t sub) const;
  // Removes the field; true when it was set.
  bool clearField(uint16_t tag, uint16_t sub);

  // Writes the XML text into `xml` (replacing it). `pretty` is accepted and
  // ignored: the text is always compact.
  int serialize(std::string& xml, bool pretty = false) const;
  // Reads `xml` into this message, replacing every field; on failure the
  // message is unchanged.
  int unserialize(const std::string& xml);
  int unserialize(const char* xml);
  // As unserialize, but the message takes the class the text names instead
  // of refusing another. Used by the application manager to answer
  // XMLDecoder requests and by XMLDecoder to read the answer.
  int unserializeAnyClass(const std::string& xml);

  // The text of the last failure of this message's own calls.
  const std::string& lastError() const { return m_error; }

  // A stored field; defined where the message base is implemented.
  struct Field;

 private:
  friend struct XmlCodec;
  Field* find(uint32_t key);
  const Field* find(uint32_t key) const;
  Field& put(uint32_t key, XmlFieldKind kind);
  int fail(int code, const std::string& text, uint16_t tag, int module, int site) const;

  int m_family;
  int m_classNo;
  std::vector<Field> m_fields;  // ordered by key (tag << 16 | sub)
  mutable std::string m_error;
};

#endif  // EVTASK_PLATFORM_CNMESSAGEBASE_H
