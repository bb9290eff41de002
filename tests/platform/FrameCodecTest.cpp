#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/Coding.h"
#include "platform/FrameCodec.h"
#include "platform/WireCatalogue.h"
#include "platform/YmErrors.h"

using namespace evtask;

namespace {

// A structure with every reference kind: texts, an array whose elements hold
// texts, and a nested array inside the elements.
struct Leaf {
  uint32_t value;
  char* name;
};
struct Item {
  uint32_t id;
  char* label;
  uint32_t leafCount;
  Leaf* leaves;
};
struct Probe {
  uint32_t head;
  char* title;
  uint32_t count;
  Item* items;
  char* tail;
};
static_assert(sizeof(Probe) == 20, "test structure");

const WireLayout kLeaf{"Leaf", 8, {WireRef::Text(4)}};
const WireLayout kItem{"Item", 16, {WireRef::Text(4), WireRef::Array(12, 8, &kLeaf)}};
const WireLayout kProbe{"Probe", 20, {WireRef::Text(4), WireRef::Array(12, 8, &kItem), WireRef::Text(16)}};
constexpr uint32_t kProbeType = 0x7E000010;
const size_t kBody = kFrameHeaderSize;

class FrameCodecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string err;
    ASSERT_TRUE(WireCatalogue::instance().add(kProbeType, &kProbe, &err)) << err;
    leaves[0] = Leaf{1, const_cast<char*>("leaf-a")};
    leaves[1] = Leaf{2, nullptr};
    items[0] = Item{10, const_cast<char*>("first"), 2, leaves};
    items[1] = Item{11, nullptr, 0, nullptr};
    probe = Probe{0xABCD, const_cast<char*>("title"), 2, items, const_cast<char*>("")};
  }

  std::vector<uint8_t> encoded() {
    std::vector<uint8_t> frame;
    std::string err;
    EXPECT_EQ(0, EncodeFrame(kProbeType, &probe, sizeof probe, &frame, &err)) << err;
    return frame;
  }

  // Decodes a frame that must be refused: the target stays untouched and
  // nothing stays allocated. Returns the error text.
  static std::string refused(const std::vector<uint8_t>& frame, size_t n, const std::string& what) {
    Probe out;
    std::memset(&out, 0x5A, sizeof out);
    WireArena arena;
    std::string err;
    EXPECT_EQ(YM_SESSION_PROTOCOL_ERROR, DecodeFrame(frame.data(), n, kProbeType, &out, sizeof out, &arena, &err))
        << what;
    EXPECT_FALSE(err.empty()) << what;
    EXPECT_EQ(0x5A5A5A5Au, out.head) << what;
    EXPECT_EQ(0x5A5A5A5Au, out.count) << what;
    EXPECT_EQ(0u, arena.blockCount()) << what << ": nothing of a failed frame stays allocated";
    return err;
  }

  Leaf leaves[2];
  Item items[2];
  Probe probe;
};

}  // namespace

TEST_F(FrameCodecTest, RoundTripsTextsArraysAndNestedArrays) {
  const std::vector<uint8_t> frame = encoded();
  Probe out{};
  WireArena arena;
  std::string err;
  ASSERT_EQ(0, DecodeFrame(frame.data(), frame.size(), kProbeType, &out, sizeof out, &arena, &err)) << err;
  EXPECT_EQ(0xABCDu, out.head);
  EXPECT_STREQ("title", out.title);
  EXPECT_STREQ("", out.tail);
  ASSERT_EQ(2u, out.count);
  EXPECT_NE(items, out.items) << "decoded arrays live in the arena";
  EXPECT_EQ(10u, out.items[0].id);
  EXPECT_STREQ("first", out.items[0].label);
  ASSERT_EQ(2u, out.items[0].leafCount);
  EXPECT_EQ(1u, out.items[0].leaves[0].value);
  EXPECT_STREQ("leaf-a", out.items[0].leaves[0].name);
  EXPECT_EQ(nullptr, out.items[0].leaves[1].name);
  EXPECT_EQ(nullptr, out.items[1].label);
  EXPECT_EQ(nullptr, out.items[1].leaves);
  DecodedFrame any;
  ASSERT_EQ(0, DecodeAnyFrame(frame.data(), frame.size(), &any, &arena, &err)) << err;
  EXPECT_EQ(kProbeType, any.type);
  EXPECT_EQ(sizeof(Probe), any.size());
  EXPECT_STREQ("title", static_cast<const Probe*>(any.data())->title);
}

TEST_F(FrameCodecTest, EveryTruncationFailsWithOrWithoutAnAdjustedBodySize) {
  const std::vector<uint8_t> frame = encoded();
  for (size_t n = 0; n < frame.size(); ++n) {
    refused(frame, n, "length " + std::to_string(n));
    // A truncated frame whose header was patched to match its length must
    // still be caught by the reference checks.
    if (n < kBody + sizeof(Probe)) continue;
    std::vector<uint8_t> cut(frame.begin(), frame.begin() + static_cast<long>(n));
    EncodeFixed32(cut.data() + 16, static_cast<uint32_t>(n - kBody));
    refused(cut, n, "patched length " + std::to_string(n));
  }
}

TEST_F(FrameCodecTest, CorruptionsAreRejectedWithClearTexts) {
  const std::vector<uint8_t> good = encoded();
  const uint32_t bodySize = DecodeFixed32(good.data() + 16);
  const uint32_t titleOff = DecodeFixed32(good.data() + kBody + 4);
  struct Case {
    std::string what;
    size_t offset;
    uint32_t value;
    const char* expect;
  };
  std::vector<Case> cases = {
      {"magic", 0, 0x12345678, "magic"},
      {"version", 4, 2, "version"},
      {"type", 8, kProbeType + 2, "type"},
      {"fixed size", 12, 24, "structure"},
      {"body size", 16, 0xFFFFFFF0u, "size limit"},
      {"text out of range", kBody + 4, 0x7FFFFFFF, "outside the frame"},
      {"text inside fixed part", kBody + 4, 2, "outside the frame"},
      {"huge count", kBody + 8, 0x40000000, "overruns"},
      {"array out of range", kBody + 12, 0x00FFFFFF, "outside the frame"},
      {"count without data", kBody + 12, 0, "no data"},
      // Legal offsets, but the frame then references more bytes than it holds.
      {"tail shares the title's block", kBody + 16, titleOff, "more data than it holds"},
  };
  // The items array (two 16-byte elements) moved towards the end of the
  // body: each offset whose end passes the body by 1 to 16 bytes fails.
  for (uint32_t over = 1; over <= 16; ++over) {
    cases.push_back({"array over the end by " + std::to_string(over), kBody + 12, bodySize - 32 + over, "overruns"});
  }
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = good;
    EncodeFixed32(bad.data() + c.offset, c.value);
    const std::string err = refused(bad, bad.size(), c.what);
    EXPECT_NE(std::string::npos, err.find(c.expect)) << c.what << ": " << err;
  }
  probe.count = 0;
  probe.items = nullptr;
  probe.tail = nullptr;
  std::vector<uint8_t> frame = encoded();
  ASSERT_EQ(0, frame.back()) << "title is the last block";
  frame.back() = 'X';
  EXPECT_NE(std::string::npos, refused(frame, frame.size(), "unterminated").find("not terminated"));
}

TEST_F(FrameCodecTest, ManySmallTextsCostFewAllocations) {
  // About a megabyte of one-character texts: one allocation per text would
  // be some 60000 blocks.
  const uint32_t kItems = 60000;
  std::vector<Item> many(kItems, Item{1, const_cast<char*>("a"), 0, nullptr});
  probe.count = kItems;
  probe.items = many.data();
  const std::vector<uint8_t> frame = encoded();
  Probe out{};
  WireArena arena;
  std::string err;
  ASSERT_EQ(0, DecodeFrame(frame.data(), frame.size(), kProbeType, &out, sizeof out, &arena, &err)) << err;
  EXPECT_STREQ("a", out.items[kItems - 1].label);
  EXPECT_LE(arena.blockCount(), frame.size() / WireArena::kChunkSize + 3);
  EXPECT_LE(arena.bytesReserved(), frame.size() + 2 * WireArena::kChunkSize);
  // Pieces keep their alignment: arrays for their elements, texts need none.
  WireArena small;
  EXPECT_NE(nullptr, small.allocate(3, 1));
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(small.allocate(16)) % 8);
  EXPECT_EQ(1u, small.blockCount());
  EXPECT_NE(nullptr, small.allocate(WireArena::kChunkSize));
  EXPECT_EQ(2u, small.blockCount()) << "a large piece has a block of its own";
  EXPECT_NE(nullptr, small.allocate(8));
  EXPECT_EQ(2u, small.blockCount()) << "and the chunk before it is still used";
}

TEST_F(FrameCodecTest, EncoderAndCatalogueRefuseInconsistentInput) {
  probe.items = nullptr;
  std::vector<uint8_t> frame;
  std::string err;
  EXPECT_EQ(YM_SESSION_BAD_REQUEST, EncodeFrame(kProbeType, &probe, sizeof probe, &frame, &err));
  EXPECT_NE(std::string::npos, err.find("null")) << err;
  EXPECT_EQ(YM_SESSION_BAD_SIZE, EncodeFrame(kProbeType, &probe, sizeof probe - 4, &frame, &err));
  EXPECT_EQ(YM_SESSION_UNKNOWN_MESSAGE, EncodeFrame(0x7E0000FF, &probe, sizeof probe, &frame, &err));

  static const WireLayout outside{"Outside", 8, {WireRef::Text(8)}};
  static const WireLayout noElement{"NoElement", 8, {WireRef::Array(4, 0, nullptr)}};
  static const WireLayout other{"Other", 8, {}};
  static const WireLayout same{"Same", 8, {}};
  EXPECT_FALSE(WireCatalogue::instance().add(0x7E000020, &outside, &err));
  EXPECT_FALSE(WireCatalogue::instance().add(0x7E000022, &noElement, &err));
  EXPECT_TRUE(WireCatalogue::instance().add(0x7E000024, &same, &err));
  EXPECT_TRUE(WireCatalogue::instance().add(0x7E000024, &same, &err)) << "re-registering is harmless";
  EXPECT_FALSE(WireCatalogue::instance().add(0x7E000024, &other, &err));
  EXPECT_NE(std::string::npos, err.find("already registered"));
}

TEST(CodingTest, LittleEndianAndBoundsChecked) {
  std::vector<uint8_t> buf;
  PutFixed32(&buf, 0x01020304);
  PutFixed64(&buf, 0x1122334455667788ull);
  EXPECT_EQ((std::vector<uint8_t>{4, 3, 2, 1, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}), buf);
  ByteReader r(buf.data(), buf.size());
  uint32_t a = 0;
  uint64_t b = 0;
  ASSERT_TRUE(r.GetFixed32(&a));
  EXPECT_EQ(0x01020304u, a);
  ASSERT_TRUE(r.GetFixed64(&b));
  EXPECT_EQ(0x1122334455667788ull, b);
  EXPECT_FALSE(r.GetFixed32(&a));
  size_t out = 0;
  EXPECT_FALSE(CheckedMul(0x10000, 0x10000, &out));
  EXPECT_FALSE(CheckedAdd(static_cast<size_t>(-1), 1, &out));
}
