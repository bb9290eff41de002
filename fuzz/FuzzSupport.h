// Shared checks of the fuzz targets. A violated property aborts, so that
// libFuzzer (and the replay driver) reports the input.
#ifndef EVTASK_FUZZ_FUZZSUPPORT_H
#define EVTASK_FUZZ_FUZZSUPPORT_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/FrameCodec.h"
#include "platform/WireCatalogue.h"

namespace evtask {
namespace fuzz {

[[noreturn]] inline void violated(const char* what, const std::string& detail = std::string()) {
  std::fprintf(stderr, "fuzz property violated: %s %s\n", what, detail.c_str());
  std::abort();
}

inline void require(bool ok, const char* what, const std::string& detail = std::string()) {
  if (!ok) violated(what, detail);
}

// Reads every byte of every text and array a decoded structure references,
// so that the sanitizers see any reference that escapes its block.
inline size_t touchDecoded(const WireLayout* layout, const uint8_t* data, int depth = 0) {
  size_t sum = 0;
  for (const WireRef& ref : layout->refs) {
    const uint8_t* p;
    std::memcpy(&p, data + ref.offset, sizeof p);
    if (p == nullptr) continue;
    if (ref.kind == WireRef::kText) {
      sum += std::strlen(reinterpret_cast<const char*>(p));
      continue;
    }
    uint32_t count;
    std::memcpy(&count, data + ref.countOffset, 4);
    require(count != 0, "decoded array with a pointer but no elements");
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* elem = p + static_cast<size_t>(i) * ref.element->size;
      for (uint32_t b = 0; b < ref.element->size; ++b) sum += elem[b];
      sum += touchDecoded(ref.element, elem, depth + 1);
    }
  }
  return sum;
}

// Decoding is canonical after one round: encode(decode(encode(decode(x))))
// equals encode(decode(x)) byte for byte, and neither step fails.
inline void requireCanonical(uint32_t type, const void* decoded, size_t size) {
  std::vector<uint8_t> once, twice;
  std::string err;
  require(EncodeFrame(type, decoded, size, &once, &err) == 0, "a decoded structure does not encode", err);
  const WireLayout* layout = WireCatalogue::instance().find(type);
  std::vector<uint64_t> again(layout->size / 8 + 1);
  WireArena arena;
  require(DecodeFrame(once.data(), once.size(), type, again.data(), layout->size, &arena, &err) == 0,
          "a re-encoded frame does not decode", err);
  require(EncodeFrame(type, again.data(), layout->size, &twice, &err) == 0, "second encoding fails", err);
  require(once == twice, "encoding of a decoded frame is not stable");
}

}  // namespace fuzz
}  // namespace evtask

#endif  // EVTASK_FUZZ_FUZZSUPPORT_H
