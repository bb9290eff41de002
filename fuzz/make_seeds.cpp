// Writes the seed corpora of the frame fuzz targets: one sample frame of
// every catalogued response (behind its selector byte) and request, with
// and without array elements. Run by scripts/fuzz.sh --seeds.
#include <cstdio>
#include <string>
#include <vector>

#include "support/WireSamples.h"

using namespace evtask;

namespace {

bool write(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  return std::fclose(f) == 0;
}

char hex(uint32_t v) { return "0123456789abcdef"[v & 15]; }

std::string name(uint32_t type, uint32_t count) {
  std::string s;
  for (int shift = 28; shift >= 0; shift -= 4) s += hex(type >> shift);
  return s + "-" + std::to_string(count);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s RESPONSE_DIR REQUEST_DIR\n", argv[0]);
    return 2;
  }
  const std::vector<uint32_t> responses = test::catalogueTypes(true);
  for (size_t i = 0; i < responses.size(); ++i) {
    for (uint32_t count : {0u, 2u}) {
      Frame f = test::sampleFrame(responses[i], 0x11, count);
      if (count != 0 && f == test::sampleFrame(responses[i], 0x11, 0)) continue;
      f.insert(f.begin(), static_cast<uint8_t>(i));
      if (!write(std::string(argv[1]) + "/" + name(responses[i], count), f)) return 1;
    }
  }
  for (uint32_t type : test::catalogueTypes(false)) {
    for (uint32_t count : {0u, 2u}) {
      const Frame f = test::sampleFrame(type, 0x11, count);
      if (count != 0 && f == test::sampleFrame(type, 0x11, 0)) continue;
      if (!write(std::string(argv[2]) + "/" + name(type, count), f)) return 1;
    }
  }
  return 0;
}
