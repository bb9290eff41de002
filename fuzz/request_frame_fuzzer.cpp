// The server's side: DecodeAnyFrame on untrusted request bytes. A failure
// leaves the output and the arena untouched and carries a text; a success
// names a catalogued layout, references only memory it owns and re-encodes
// canonically.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "support/WireSamples.h"

using namespace evtask;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (test::registerAllCatalogues(), true);
  (void)registered;
  DecodedFrame out;
  WireArena arena;
  std::string err;
  const int rc = DecodeAnyFrame(data, size, &out, &arena, &err);
  if (rc != 0) {
    fuzz::require(!err.empty(), "a failed decode has no text");
    fuzz::require(out.type == 0 && out.layout == nullptr && out.storage.empty(), "a failed decode wrote its output");
    fuzz::require(arena.blockCount() == 0, "a failed decode kept memory in the arena");
    return 0;
  }
  fuzz::require(out.layout == WireCatalogue::instance().find(out.type), "decoded layout is not the catalogued one");
  fuzz::touchDecoded(out.layout, reinterpret_cast<const uint8_t*>(out.data()));
  fuzz::requireCanonical(out.type, out.data(), out.size());
  return 0;
}
