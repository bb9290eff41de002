// The generic frame codec: turns a catalogued structure, with the texts and
// arrays it references, into one self-contained frame and back.
//
// Frame grammar (all integers little-endian):
//
//   frame    := header body
//   header   := magic:u32 ("EVTF", 0x46545645) version:u16 (1) flags:u16 (0)
//               type:u32 fixedSize:u32 bodySize:u32           -- 20 bytes
//   body     := fixed block*                                  -- bodySize bytes
//   fixed    := the structure's fixedSize bytes, with every reference slot
//               holding a body offset (0 = null reference)
//   block    := text | array
//   text     := the text's bytes and a terminating NUL
//   array    := count * element-size bytes of elements, whose own reference
//               slots hold body offsets in the same way
//
// The encoder writes each referenced block once, right after the blocks
// written before it, so the blocks of a frame add up to bodySize - fixedSize.
//
// A received frame is untrusted. The decoder checks the header, the type
// against the catalogue and the expected type, fixedSize against the
// catalogued size, bodySize against the bytes received and kMaxFrameSize,
// every reference offset against the body (blocks lie after the fixed part),
// every text for a terminator inside the body, every count times element
// size with overflow checks, and the total of decoded blocks against the
// body's block bytes (so shared blocks cannot amplify memory). A malformed
// frame yields YM_SESSION_PROTOCOL_ERROR (or YM_SESSION_UNKNOWN_MESSAGE /
// YM_SESSION_BAD_SIZE) and a text naming the fault; the target structure is
// written only when the whole frame decoded.
#ifndef EVTASK_PLATFORM_FRAMECODEC_H
#define EVTASK_PLATFORM_FRAMECODEC_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "evtask/export.h"
#include "platform/WireCatalogue.h"

namespace evtask {

constexpr uint32_t kFrameMagic = 0x46545645;
constexpr uint16_t kFrameVersion = 1;
constexpr size_t kFrameHeaderSize = 20;
constexpr size_t kMaxFrameSize = 16u * 1024u * 1024u;

// Owns the decoded texts and arrays of received frames. Memory lives until
// the arena is destroyed. Pieces are carved from chunks of kChunkSize bytes
// (a piece larger than a quarter chunk gets a block of its own), so decoding
// a frame of many small texts costs a few allocations, not one per text:
// the blocks of a frame number at most about its size / kChunkSize plus its
// large arrays. Not thread-safe.
class EVTASK_EXPORT WireArena {
 public:
  static constexpr size_t kChunkSize = 64u * 1024u;

  // Returns storage of `n` bytes aligned to `align` (a power of two, at most
  // 8), or null when out of memory.
  void* allocate(size_t n, size_t align = 8);
  // Takes over every allocation of `other`.
  void absorb(WireArena& other);
  // Heap blocks held, and their bytes in all.
  size_t blockCount() const { return m_blocks.size(); }
  size_t bytesReserved() const { return m_reserved; }

 private:
  std::vector<std::unique_ptr<uint64_t[]>> m_blocks;
  uint8_t* m_next = nullptr;  // free part of the current chunk
  size_t m_left = 0;
  size_t m_reserved = 0;
};

// Encodes the structure `data` of `size` bytes as a frame of message `type`.
// Returns 0, or a YM_SESSION_* code with a text in *err (unknown type, size
// that differs from the catalogue, array reference null with a count,
// frame larger than kMaxFrameSize).
EVTASK_EXPORT int EncodeFrame(uint32_t type, const void* data, size_t size,
                              std::vector<uint8_t>* out, std::string* err);

// Decodes `frame` into the structure `data` of `size` bytes. The frame's
// type must equal `expectedType`. Decoded texts and arrays are allocated in
// `arena`. On failure `data` and `arena` are unchanged.
EVTASK_EXPORT int DecodeFrame(const uint8_t* frame, size_t n, uint32_t expectedType, void* data,
                              size_t size, WireArena* arena, std::string* err);

// A frame decoded without knowing its type in advance (server side).
struct DecodedFrame {
  uint32_t type = 0;
  const WireLayout* layout = nullptr;
  std::vector<uint64_t> storage;  // the structure, 8-byte aligned
  void* data() { return storage.data(); }
  const void* data() const { return storage.data(); }
  size_t size() const { return layout ? layout->size : 0; }
};

EVTASK_EXPORT int DecodeAnyFrame(const uint8_t* frame, size_t n, DecodedFrame* out,
                                 WireArena* arena, std::string* err);

// Reads the type code of a frame after checking its header; 0 or an error.
EVTASK_EXPORT int PeekFrameType(const uint8_t* frame, size_t n, uint32_t* type, std::string* err);

}  // namespace evtask

#endif  // EVTASK_PLATFORM_FRAMECODEC_H
