#include "support/WireSamples.h"

#include <cstring>

#include "platform/FrameCodec.h"
#include "platform/NetMessage.h"
#include "platform/PlatformMessages.h"
#include "service/TaskWireStructs.h"

namespace evtask {
namespace test {

SampleStructure::SampleStructure(const WireLayout* layout, uint8_t fill, uint32_t count)
    : m_layout(layout), m_fill(fill), m_count(count) {
  m_root = build(layout, allocate(layout->size), 0);
}

uint8_t* SampleStructure::allocate(size_t n) {
  m_blocks.emplace_back(new uint64_t[n / 8 + 1]());
  return reinterpret_cast<uint8_t*>(m_blocks.back().get());
}

uint8_t* SampleStructure::build(const WireLayout* layout, uint8_t* at, int depth) {
  std::memset(at, m_fill, layout->size);
  for (const WireRef& ref : layout->refs) {
    void* target = nullptr;
    if (ref.kind == WireRef::kText) {
      m_texts.push_back(std::string(layout->name) + "@" + std::to_string(ref.offset) + "#" +
                        std::to_string(m_texts.size()));
      target = &m_texts.back()[0];
    } else {
      const uint32_t count = depth < WireCatalogue::kMaxDepth ? m_count : 0;
      std::memcpy(at + ref.countOffset, &count, 4);
      if (count != 0) {
        uint8_t* elems = allocate(static_cast<size_t>(count) * ref.element->size);
        for (uint32_t i = 0; i < count; ++i) build(ref.element, elems + i * ref.element->size, depth + 1);
        target = elems;
      }
    }
    std::memcpy(at + ref.offset, &target, sizeof target);
  }
  return at;
}

Frame sampleFrame(uint32_t type, uint8_t fill, uint32_t count, const Frame* request, int result,
                  const char* errorText) {
  registerAllCatalogues();
  const WireLayout* layout = WireCatalogue::instance().find(type);
  Frame out;
  if (layout == nullptr) return out;
  SampleStructure s(layout, fill, count);
  std::string text = errorText != nullptr ? errorText : "";
  if (type % 2 == 1) {
    AppMgrReqHdr reqHdr{};
    DecodedFrame decoded;
    WireArena arena;
    std::string err;
    if (request != nullptr && DecodeAnyFrame(request->data(), request->size(), &decoded, &arena, &err) == 0) {
      std::memcpy(&reqHdr, decoded.data(), sizeof reqHdr);
    }
    initResponseHeader(*static_cast<AppMgrRespHdr*>(s.data()), reqHdr, result,
                       errorText != nullptr ? &text[0] : nullptr);
  } else {
    NetMessage(2).initRequestHeader(*static_cast<AppMgrReqHdr*>(s.data()));
  }
  std::string err;
  if (EncodeFrame(type, s.data(), s.size(), &out, &err) != 0) out.clear();
  return out;
}

std::vector<uint32_t> catalogueTypes(bool responses) {
  registerAllCatalogues();
  std::vector<uint32_t> out;
  for (uint32_t t : WireCatalogue::instance().types()) {
    if ((t % 2 == 1) == responses) out.push_back(t);
  }
  return out;
}

void registerAllCatalogues() {
  registerPlatformCatalogue();
  registerTaskCatalogue();
}

}  // namespace test
}  // namespace evtask
