// The client's side of every exchange: the first input byte chooses a
// catalogued response type, the rest is the frame received for it.
//
// Each input is decoded on its own (a failure leaves the target structure
// and the arena untouched and carries a text; a success references only
// memory it owns and re-encodes canonically), then handed, as the server's
// answer, to the network interface operation that expects that response
// type, so that the unpacking of every operation sees it too.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "platform/AppMgrTransport.h"
#include "service/TaskInterfaceNet.h"
#include "support/NetOperations.h"
#include "support/WireSamples.h"

using namespace evtask;

namespace {

// Answers every request with the frame under test.
class Responder : public InProcessHandler {
 public:
  void handleFrame(const Frame&, Frame& response) override { response = frame; }
  Frame frame;
};

struct Setup {
  Setup() : responder(std::make_shared<Responder>()), types(test::catalogueTypes(true)) {
    setInProcessHandler(responder);
    for (const test::NetOperation& op : test::netOperations()) {
      byResponse.emplace(op.requestType + 1, &op);
    }
  }
  std::shared_ptr<Responder> responder;
  std::vector<uint32_t> types;
  std::multimap<uint32_t, const test::NetOperation*> byResponse;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size < 1 || setup.types.empty()) return 0;
  const uint32_t type = setup.types[data[0] % setup.types.size()];
  const uint8_t* frame = data + 1;
  const size_t n = size - 1;
  const WireLayout* layout = WireCatalogue::instance().find(type);

  std::vector<uint64_t> out(layout->size / 8 + 1);
  std::memset(out.data(), 0xA5, layout->size);
  const std::vector<uint64_t> before = out;
  WireArena arena;
  std::string err;
  const int rc = DecodeFrame(frame, n, type, out.data(), layout->size, &arena, &err);
  if (rc != 0) {
    fuzz::require(!err.empty(), "a failed decode has no text");
    fuzz::require(std::memcmp(out.data(), before.data(), layout->size) == 0, "a failed decode wrote its target");
    fuzz::require(arena.blockCount() == 0, "a failed decode kept memory in the arena");
  } else {
    fuzz::touchDecoded(layout, reinterpret_cast<const uint8_t*>(out.data()));
    fuzz::requireCanonical(type, out.data(), layout->size);
  }

  auto range = setup.byResponse.equal_range(type);
  for (auto it = range.first; it != range.second; ++it) {
    setup.responder->frame.assign(frame, frame + n);
    TaskInterfaceNet net;
    test::NetCallState state;
    const std::string initial = state.dump();
    const int opRc = it->second->run(net, state);
    if (opRc != 0 && rc != 0) {
      // A frame the decoder refuses never reaches the caller's state.
      fuzz::require(!state.err.empty(), "a refused frame left no error text", it->second->name);
      fuzz::require(state.dump() == initial, "a refused frame changed the caller's state", it->second->name);
    }
  }
  return 0;
}
