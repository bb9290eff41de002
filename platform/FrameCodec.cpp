#include "platform/FrameCodec.h"

#include <cstring>
#include <new>

#include "platform/Coding.h"
#include "platform/YmErrors.h"

namespace evtask {

static_assert(sizeof(void*) == 4, "wire structures hold 4-byte references");

namespace {

uint32_t loadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void storeU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

const void* loadPtr(const uint8_t* p) {
  const void* v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void storePtr(uint8_t* p, const void* v) { std::memcpy(p, &v, sizeof v); }

int fail(std::string* err, int code, const std::string& text) {
  if (err) *err = text;
  return code;
}

std::string where(const WireLayout* layout, const WireRef& ref) {
  return std::string(layout->name ? layout->name : "?") + "+" + std::to_string(ref.offset);
}

// Appends the blocks that the structure at `src` references to `body`, and
// writes their body offsets into the copy of the structure at `slotBase`.
int encodeRefs(const WireLayout* layout, const uint8_t* src, size_t slotBase,
               std::vector<uint8_t>& body, int depth, std::string* err) {
  if (depth > WireCatalogue::kMaxDepth) {
    return fail(err, YM_SESSION_BAD_REQUEST, "structure nested too deeply");
  }
  for (const WireRef& ref : layout->refs) {
    const uint8_t* p = static_cast<const uint8_t*>(loadPtr(src + ref.offset));
    if (ref.kind == WireRef::kText) {
      if (p == nullptr) {
        storeU32(body.data() + slotBase + ref.offset, 0);
        continue;
      }
      const size_t len = std::strlen(reinterpret_cast<const char*>(p)) + 1;
      if (len > kMaxFrameSize || body.size() + len > kMaxFrameSize) {
        return fail(err, YM_SESSION_BAD_REQUEST, "text at " + where(layout, ref) + " exceeds the frame limit");
      }
      const size_t pos = body.size();
      body.insert(body.end(), p, p + len);
      storeU32(body.data() + slotBase + ref.offset, static_cast<uint32_t>(pos));
      continue;
    }
    const uint32_t count = loadU32(src + ref.countOffset);
    if (count == 0) {
      storeU32(body.data() + slotBase + ref.offset, 0);
      continue;
    }
    if (p == nullptr) {
      return fail(err, YM_SESSION_BAD_REQUEST,
                  "array at " + where(layout, ref) + " is null but counts " + std::to_string(count));
    }
    size_t bytes = 0;
    if (!CheckedMul(count, ref.element->size, &bytes) || bytes > kMaxFrameSize ||
        body.size() + bytes > kMaxFrameSize) {
      return fail(err, YM_SESSION_BAD_REQUEST, "array at " + where(layout, ref) + " exceeds the frame limit");
    }
    const size_t pos = body.size();
    body.insert(body.end(), p, p + bytes);
    storeU32(body.data() + slotBase + ref.offset, static_cast<uint32_t>(pos));
    if (ref.element->refs.empty()) continue;
    for (uint32_t i = 0; i < count; ++i) {
      const size_t elemOff = static_cast<size_t>(i) * ref.element->size;
      const int rc = encodeRefs(ref.element, p + elemOff, pos + elemOff, body, depth + 1, err);
      if (rc != 0) return rc;
    }
  }
  return 0;
}

struct DecodeContext {
  const uint8_t* body;
  size_t bodySize;
  size_t fixedSize;
  size_t budget;  // block bytes still allowed
  WireArena* arena;
  std::string* err;
};

// Replaces the body offsets in the structure at `dst` by pointers to decoded
// copies of the blocks they name.
int decodeRefs(const WireLayout* layout, uint8_t* dst, DecodeContext& c, int depth) {
  if (depth > WireCatalogue::kMaxDepth) {
    return fail(c.err, YM_SESSION_PROTOCOL_ERROR, "frame nested too deeply");
  }
  for (const WireRef& ref : layout->refs) {
    const uint32_t off = loadU32(dst + ref.offset);
    if (ref.kind == WireRef::kText) {
      if (off == 0) {
        storePtr(dst + ref.offset, nullptr);
        continue;
      }
      if (off < c.fixedSize || off >= c.bodySize) {
        return fail(c.err, YM_SESSION_PROTOCOL_ERROR,
                    "text reference at " + where(layout, ref) + " points outside the frame");
      }
      const void* nul = std::memchr(c.body + off, 0, c.bodySize - off);
      if (nul == nullptr) {
        return fail(c.err, YM_SESSION_PROTOCOL_ERROR,
                    "text at " + where(layout, ref) + " is not terminated inside the frame");
      }
      const size_t len = static_cast<size_t>(static_cast<const uint8_t*>(nul) - (c.body + off)) + 1;
      if (len > c.budget) {
        return fail(c.err, YM_SESSION_PROTOCOL_ERROR, "frame references more data than it holds");
      }
      c.budget -= len;
      void* copy = c.arena->allocate(len, 1);
      if (copy == nullptr) return fail(c.err, YM_SESSION_NO_MEMORY, "out of memory decoding a frame");
      std::memcpy(copy, c.body + off, len);
      storePtr(dst + ref.offset, copy);
      continue;
    }
    const uint32_t count = loadU32(dst + ref.countOffset);
    if (off == 0) {
      if (count != 0) {
        return fail(c.err, YM_SESSION_PROTOCOL_ERROR,
                    "array at " + where(layout, ref) + " counts " + std::to_string(count) + " but has no data");
      }
      storePtr(dst + ref.offset, nullptr);
      continue;
    }
    if (count == 0) {
      return fail(c.err, YM_SESSION_PROTOCOL_ERROR, "array at " + where(layout, ref) + " has data but no count");
    }
    if (off < c.fixedSize || off >= c.bodySize) {
      return fail(c.err, YM_SESSION_PROTOCOL_ERROR,
                  "array reference at " + where(layout, ref) + " points outside the frame");
    }
    size_t bytes = 0;
    if (!CheckedMul(count, ref.element->size, &bytes) || bytes > c.bodySize - off) {
      return fail(c.err, YM_SESSION_PROTOCOL_ERROR,
                  "array at " + where(layout, ref) + " of " + std::to_string(count) + " elements overruns the frame");
    }
    if (bytes > c.budget) {
      return fail(c.err, YM_SESSION_PROTOCOL_ERROR, "frame references more data than it holds");
    }
    c.budget -= bytes;
    uint8_t* copy = static_cast<uint8_t*>(c.arena->allocate(bytes));
    if (copy == nullptr) return fail(c.err, YM_SESSION_NO_MEMORY, "out of memory decoding a frame");
    std::memcpy(copy, c.body + off, bytes);
    storePtr(dst + ref.offset, copy);
    if (ref.element->refs.empty()) continue;
    for (uint32_t i = 0; i < count; ++i) {
      const int rc = decodeRefs(ref.element, copy + static_cast<size_t>(i) * ref.element->size, c, depth + 1);
      if (rc != 0) return rc;
    }
  }
  return 0;
}

struct Header {
  uint32_t type;
  uint32_t fixedSize;
  uint32_t bodySize;
};

int readHeader(const uint8_t* frame, size_t n, Header* h, std::string* err) {
  if (frame == nullptr || n < kFrameHeaderSize) {
    return fail(err, YM_SESSION_PROTOCOL_ERROR, "frame shorter than its header");
  }
  ByteReader r(frame, n);
  uint32_t magic = 0;
  uint16_t version = 0, flags = 0;
  r.GetFixed32(&magic);
  r.GetFixed16(&version);
  r.GetFixed16(&flags);
  r.GetFixed32(&h->type);
  r.GetFixed32(&h->fixedSize);
  r.GetFixed32(&h->bodySize);
  if (magic != kFrameMagic) return fail(err, YM_SESSION_PROTOCOL_ERROR, "frame has a bad magic number");
  if (version != kFrameVersion) {
    return fail(err, YM_SESSION_PROTOCOL_ERROR, "frame version " + std::to_string(version) + " is not supported");
  }
  if (flags != 0) return fail(err, YM_SESSION_PROTOCOL_ERROR, "frame has unknown flags");
  if (h->bodySize > kMaxFrameSize - kFrameHeaderSize) {
    return fail(err, YM_SESSION_PROTOCOL_ERROR, "frame exceeds the size limit");
  }
  if (n - kFrameHeaderSize != h->bodySize) {
    return fail(err, YM_SESSION_PROTOCOL_ERROR,
                "frame holds " + std::to_string(n - kFrameHeaderSize) + " body bytes, header says " +
                    std::to_string(h->bodySize));
  }
  if (h->fixedSize > h->bodySize) return fail(err, YM_SESSION_PROTOCOL_ERROR, "frame body shorter than its structure");
  return 0;
}

// Decodes the body into `scratch` (the structure) and `tmp` (its blocks).
int decodeBody(const uint8_t* frame, const Header& h, const WireLayout* layout, uint8_t* scratch,
               WireArena* tmp, std::string* err) {
  if (h.fixedSize != layout->size) {
    return fail(err, YM_SESSION_PROTOCOL_ERROR,
                std::string(layout->name) + " frame has a structure of " + std::to_string(h.fixedSize) +
                    " bytes, expected " + std::to_string(layout->size));
  }
  const uint8_t* body = frame + kFrameHeaderSize;
  std::memcpy(scratch, body, layout->size);
  DecodeContext c{body, h.bodySize, h.fixedSize, h.bodySize - h.fixedSize, tmp, err};
  return decodeRefs(layout, scratch, c, 0);
}

}  // namespace

void* WireArena::allocate(size_t n, size_t align) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(m_next);
  const size_t pad = static_cast<size_t>((align - (at & (align - 1))) & (align - 1));
  if (m_next != nullptr && pad <= m_left && n <= m_left - pad) {
    uint8_t* p = m_next + pad;
    m_next = p + n;
    m_left -= pad + n;
    return p;
  }
  // A large piece gets a block of its own, so the current chunk's free part
  // stays usable; otherwise a fresh chunk (blocks are 8-byte aligned).
  const bool own = n > kChunkSize / 4;
  const size_t bytes = own ? n : kChunkSize;
  std::unique_ptr<uint64_t[]> block(new (std::nothrow) uint64_t[bytes / 8 + 1]);
  if (!block) return nullptr;
  uint8_t* p = reinterpret_cast<uint8_t*>(block.get());
  m_blocks.push_back(std::move(block));
  m_reserved += (bytes / 8 + 1) * 8;
  if (!own) {
    m_next = p + n;
    m_left = kChunkSize - n;
  }
  return p;
}

void WireArena::absorb(WireArena& other) {
  for (auto& b : other.m_blocks) m_blocks.push_back(std::move(b));
  m_reserved += other.m_reserved;
  other.m_blocks.clear();
  other.m_next = nullptr;
  other.m_left = 0;
  other.m_reserved = 0;
}

int EncodeFrame(uint32_t type, const void* data, size_t size, std::vector<uint8_t>* out, std::string* err) {
  const WireLayout* layout = WireCatalogue::instance().find(type);
  if (layout == nullptr) {
    return fail(err, YM_SESSION_UNKNOWN_MESSAGE, "message type " + std::to_string(type) + " is not in the wire catalogue");
  }
  if (size != layout->size || data == nullptr) {
    return fail(err, YM_SESSION_BAD_SIZE,
                std::string(layout->name) + " has " + std::to_string(layout->size) + " bytes, " +
                    std::to_string(size) + " given");
  }
  std::vector<uint8_t> body(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  const int rc = encodeRefs(layout, static_cast<const uint8_t*>(data), 0, body, 0, err);
  if (rc != 0) return rc;
  if (body.size() > kMaxFrameSize - kFrameHeaderSize) {
    return fail(err, YM_SESSION_BAD_REQUEST, "frame exceeds the size limit");
  }
  out->clear();
  out->reserve(kFrameHeaderSize + body.size());
  PutFixed32(out, kFrameMagic);
  PutFixed16(out, kFrameVersion);
  PutFixed16(out, 0);
  PutFixed32(out, type);
  PutFixed32(out, static_cast<uint32_t>(size));
  PutFixed32(out, static_cast<uint32_t>(body.size()));
  out->insert(out->end(), body.begin(), body.end());
  return 0;
}

int PeekFrameType(const uint8_t* frame, size_t n, uint32_t* type, std::string* err) {
  Header h;
  const int rc = readHeader(frame, n, &h, err);
  if (rc == 0) *type = h.type;
  return rc;
}

int DecodeFrame(const uint8_t* frame, size_t n, uint32_t expectedType, void* data, size_t size,
                WireArena* arena, std::string* err) {
  Header h;
  int rc = readHeader(frame, n, &h, err);
  if (rc != 0) return rc;
  if (h.type != expectedType) {
    return fail(err, YM_SESSION_PROTOCOL_ERROR,
                "frame of type " + std::to_string(h.type) + " where " + std::to_string(expectedType) + " was expected");
  }
  const WireLayout* layout = WireCatalogue::instance().find(expectedType);
  if (layout == nullptr) {
    return fail(err, YM_SESSION_UNKNOWN_MESSAGE,
                "message type " + std::to_string(expectedType) + " is not in the wire catalogue");
  }
  if (size != layout->size || data == nullptr) {
    return fail(err, YM_SESSION_BAD_SIZE,
                std::string(layout->name) + " has " + std::to_string(layout->size) + " bytes, " +
                    std::to_string(size) + " given");
  }
  std::vector<uint64_t> scratch(layout->size / 8 + 1);
  WireArena tmp;
  rc = decodeBody(frame, h, layout, reinterpret_cast<uint8_t*>(scratch.data()), &tmp, err);
  if (rc != 0) return rc;
  std::memcpy(data, scratch.data(), layout->size);
  arena->absorb(tmp);
  return 0;
}

int DecodeAnyFrame(const uint8_t* frame, size_t n, DecodedFrame* out, WireArena* arena, std::string* err) {
  Header h;
  int rc = readHeader(frame, n, &h, err);
  if (rc != 0) return rc;
  const WireLayout* layout = WireCatalogue::instance().find(h.type);
  if (layout == nullptr) {
    return fail(err, YM_SESSION_UNKNOWN_MESSAGE, "message type " + std::to_string(h.type) + " is not in the wire catalogue");
  }
  std::vector<uint64_t> scratch(layout->size / 8 + 1);
  WireArena tmp;
  rc = decodeBody(frame, h, layout, reinterpret_cast<uint8_t*>(scratch.data()), &tmp, err);
  if (rc != 0) return rc;
  out->type = h.type;
  out->layout = layout;
  out->storage.swap(scratch);
  arena->absorb(tmp);
  return 0;
}

}  // namespace evtask
