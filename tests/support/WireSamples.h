// Sample wire structures and their encoded frames, built from the wire
// catalogue alone: the fault matrix and the fuzz seed corpora use them so
// that every catalogued message is covered without a hand-written sample.
//
// Free of the test framework (the fuzz seed generator links it too).
// Not thread-safe; one object per use.
#ifndef EVTASK_TESTS_SUPPORT_WIRESAMPLES_H
#define EVTASK_TESTS_SUPPORT_WIRESAMPLES_H

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/AppMgrTransport.h"
#include "platform/WireCatalogue.h"

namespace evtask {
namespace test {

// A structure of a catalogued layout in which every scalar byte is `fill`,
// every text reference points to a short distinct text, and every array
// holds `count` elements built the same way. Owns all the memory it points to.
class SampleStructure {
 public:
  SampleStructure(const WireLayout* layout, uint8_t fill, uint32_t count);
  void* data() { return m_root; }
  size_t size() const { return m_layout->size; }

 private:
  uint8_t* build(const WireLayout* layout, uint8_t* at, int depth);
  uint8_t* allocate(size_t n);

  const WireLayout* m_layout;
  uint8_t m_fill;
  uint32_t m_count;
  uint8_t* m_root = nullptr;
  std::vector<std::unique_ptr<uint64_t[]>> m_blocks;
  std::deque<std::string> m_texts;
};

// Encodes a sample of message `type`. For a response (odd code) the header
// carries `result` and `errorText` (success by default) and answers `request`
// when given. Returns an empty frame when the type is not catalogued.
Frame sampleFrame(uint32_t type, uint8_t fill, uint32_t count, const Frame* request = nullptr, int result = 0,
                  const char* errorText = nullptr);

// Every catalogued type code of the requests (even) or responses (odd).
std::vector<uint32_t> catalogueTypes(bool responses);

// Registers the platform and task catalogues.
void registerAllCatalogues();

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_SUPPORT_WIRESAMPLES_H
