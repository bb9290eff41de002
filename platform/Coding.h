// Fixed-width little-endian encoding helpers shared by every wire format.
//
// The Encode*/Decode* forms are unchecked: REQUIRES that `p` has room for the
// field. The Get* forms of ByteReader are bounds-checked: they fail (return
// false, consuming nothing) when fewer bytes remain than the field needs.
#ifndef EVTASK_PLATFORM_CODING_H
#define EVTASK_PLATFORM_CODING_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace evtask {

inline void EncodeFixed16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void EncodeFixed32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline void EncodeFixed64(uint8_t* p, uint64_t v) {
  EncodeFixed32(p, static_cast<uint32_t>(v));
  EncodeFixed32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline uint16_t DecodeFixed16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (static_cast<uint16_t>(p[1]) << 8));
}

inline uint32_t DecodeFixed32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t DecodeFixed64(const uint8_t* p) {
  return static_cast<uint64_t>(DecodeFixed32(p)) | (static_cast<uint64_t>(DecodeFixed32(p + 4)) << 32);
}

inline void PutFixed16(std::vector<uint8_t>* dst, uint16_t v) {
  uint8_t buf[2];
  EncodeFixed16(buf, v);
  dst->insert(dst->end(), buf, buf + 2);
}

inline void PutFixed32(std::vector<uint8_t>* dst, uint32_t v) {
  uint8_t buf[4];
  EncodeFixed32(buf, v);
  dst->insert(dst->end(), buf, buf + 4);
}

inline void PutFixed64(std::vector<uint8_t>* dst, uint64_t v) {
  uint8_t buf[8];
  EncodeFixed64(buf, v);
  dst->insert(dst->end(), buf, buf + 8);
}

// A read cursor over bytes it does not own.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  size_t remaining() const { return m_size; }
  const uint8_t* data() const { return m_data; }

  bool GetFixed16(uint16_t* v) {
    if (m_size < 2) return false;
    *v = DecodeFixed16(m_data);
    Skip(2);
    return true;
  }
  bool GetFixed32(uint32_t* v) {
    if (m_size < 4) return false;
    *v = DecodeFixed32(m_data);
    Skip(4);
    return true;
  }
  bool GetFixed64(uint64_t* v) {
    if (m_size < 8) return false;
    *v = DecodeFixed64(m_data);
    Skip(8);
    return true;
  }
  bool GetBytes(size_t n, std::string* out) {
    if (m_size < n) return false;
    out->assign(reinterpret_cast<const char*>(m_data), n);
    Skip(n);
    return true;
  }

 private:
  void Skip(size_t n) {
    m_data += n;
    m_size -= n;
  }
  const uint8_t* m_data;
  size_t m_size;
};

// Overflow-safe a*b; false when the product does not fit in size_t.
inline bool CheckedMul(size_t a, size_t b, size_t* out) {
  if (a != 0 && b > static_cast<size_t>(-1) / a) return false;
  *out = a * b;
  return true;
}

// Overflow-safe a+b; false when the sum does not fit in size_t.
inline bool CheckedAdd(size_t a, size_t b, size_t* out) {
  if (b > static_cast<size_t>(-1) - a) return false;
  *out = a + b;
  return true;
}

}  // namespace evtask

#endif  // EVTASK_PLATFORM_CODING_H
