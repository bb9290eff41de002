// The wire catalogue: one table from message type code to the layout of the
// structure that travels with it (its size and the position of every
// reference it holds). The frame codec, the application managers and the
// fuzzers are all driven by it; no message is marshalled by hand elsewhere.
//
// A reference is a 4-byte pointer inside a structure:
//   - a text reference points to a NUL-terminated text (null = no text);
//   - an array reference points to `count` elements of an element layout,
//     where `count` is the 32-bit field at `countOffset` of the same
//     structure; element layouts may hold references of their own.
//
// Thread safety: registration and lookup may run on any thread.
#ifndef EVTASK_PLATFORM_WIRECATALOGUE_H
#define EVTASK_PLATFORM_WIRECATALOGUE_H

#include <cstdint>
#include <string>
#include <vector>

#include "evtask/export.h"

namespace evtask {

struct WireLayout;

struct WireRef {
  enum Kind : uint8_t { kText = 1, kArray = 2 };
  Kind kind;
  uint32_t offset;             // position of the 4-byte reference
  uint32_t countOffset;        // arrays: position of the 32-bit element count
  const WireLayout* element;   // arrays: layout of one element

  static WireRef Text(uint32_t offset) { return WireRef{kText, offset, 0, nullptr}; }
  static WireRef Array(uint32_t offset, uint32_t countOffset, const WireLayout* element) {
    return WireRef{kArray, offset, countOffset, element};
  }
};

struct WireLayout {
  const char* name;
  uint32_t size;
  std::vector<WireRef> refs;
};

class EVTASK_EXPORT WireCatalogue {
 public:
  static WireCatalogue& instance();

  // Registers `layout` (not owned; must outlive the process) for `type`.
  // Registering the same layout again is harmless. Returns false with a text
  // in `err` when the type is taken by another layout or the layout is
  // inconsistent (a reference or count outside the structure, an array
  // without an element layout, nesting deeper than kMaxDepth).
  bool add(uint32_t type, const WireLayout* layout, std::string* err = nullptr);

  // The layout registered for `type`, or null.
  const WireLayout* find(uint32_t type) const;

  // Every registered type code, ascending.
  std::vector<uint32_t> types() const;

  static constexpr int kMaxDepth = 4;

  // Checks a layout on its own (used by add).
  static bool validate(const WireLayout* layout, std::string* err, int depth = 0);
};

}  // namespace evtask

#endif  // EVTASK_PLATFORM_WIRECATALOGUE_H
