// The UTF and number conversions. The first byte chooses the conversion and
// its parameters; the rest is the text.
//   UTF-8 -> UTF-16 (strict or lenient, target capacity from the second
//   byte): the cursors stay inside their ranges and a strict success
//   converts back to the same bytes.
//   UTF-16 -> UTF-8: the same, the other way round.
//   isLegalUTF8 on the first 1..4 bytes.
//   The wide-text helpers: a success converts back to the same text.
//   Number texts: every numeric reading, and a value read writes a text
//   that reads back to the same value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "util/BasicConversion.h"
#include "util/ConvertUTF.h"
#include "util/StringUtils.h"

using namespace evtask;

namespace {

void utf8To16(const uint8_t* data, size_t size, bool strict, size_t capacity) {
  std::vector<UTF16> target(capacity + 1, 0xEEEE);
  const UTF8* src = data;
  UTF16* dst = target.data();
  const ConversionResult r =
      ConvertUTF8toUTF16(&src, data + size, &dst, target.data() + capacity, strict ? strictConversion : lenientConversion);
  fuzz::require(src >= data && src <= data + size, "UTF-8 source cursor out of range");
  fuzz::require(dst >= target.data() && dst <= target.data() + capacity, "UTF-16 target cursor out of range");
  fuzz::require(target[capacity] == 0xEEEE, "UTF-16 target written past its end");
  if (r != conversionOK) return;
  fuzz::require(src == data + size, "success without consuming the source");
  if (!strict) return;
  std::vector<UTF8> back(size + 1);
  const UTF16* s16 = target.data();
  UTF8* d8 = back.data();
  fuzz::require(ConvertUTF16toUTF8(&s16, dst, &d8, back.data() + size, strictConversion) == conversionOK,
                "strict UTF-8 does not convert back");
  fuzz::require(static_cast<size_t>(d8 - back.data()) == size && (size == 0 || std::memcmp(back.data(), data, size) == 0),
                "UTF-8 round trip differs");
}

void utf16To8(const uint8_t* data, size_t size, bool strict, size_t capacity) {
  std::vector<UTF16> source(size / 2 + 1);
  if (size >= 2) std::memcpy(source.data(), data, (size / 2) * 2);
  source.resize(size / 2);
  std::vector<UTF8> target(capacity + 1, 0xEE);
  const UTF16* src = source.data();
  UTF8* dst = target.data();
  const ConversionResult r = ConvertUTF16toUTF8(&src, source.data() + source.size(), &dst, target.data() + capacity,
                                                strict ? strictConversion : lenientConversion);
  fuzz::require(src >= source.data() && src <= source.data() + source.size(), "UTF-16 source cursor out of range");
  fuzz::require(dst >= target.data() && dst <= target.data() + capacity, "UTF-8 target cursor out of range");
  fuzz::require(target[capacity] == 0xEE, "UTF-8 target written past its end");
  if (r == conversionOK) fuzz::require(src == source.data() + source.size(), "success without consuming the source");
}

void wideHelpers(const uint8_t* data, size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  std::wstring wide = L"untouched";
  const int rc = utf8ToUnicode(in, wide);
  if (rc != 0) {
    fuzz::require(wide == L"untouched", "a failed conversion changed its output");
    return;
  }
  std::string back;
  fuzz::require(unicodeToUtf8(wide, back) == 0 && back == in, "wide-text round trip differs");
}

template <class T>
void number(const std::string& text) {
  T value{};
  if (BasicConversion::fromString(value, text) != 1) return;
  std::string written;
  BasicConversion::toString(value, written);
  T again{};
  fuzz::require(BasicConversion::fromString(again, written) == 1 && again == value, "number text does not read back",
                text);
}

template <class T>
void hexNumber(const std::string& text) {
  T value{};
  if (BasicConversion::fromHexString(value, text) != 1) return;
  std::string written;
  BasicConversion::toHexString(value, written);
  T again{};
  fuzz::require(BasicConversion::fromHexString(again, written) == 1 && again == value, "hex text does not read back",
                text);
}

void numbers(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  number<short>(text);
  number<unsigned short>(text);
  number<int>(text);
  number<unsigned int>(text);
  number<long>(text);
  number<unsigned long>(text);
  number<long long>(text);
  number<unsigned long long>(text);
  bool b = false;
  BasicConversion::fromString(b, text);
  float f = 0;
  double d = 0;
  BasicConversion::fromString(f, text);
  BasicConversion::fromString(d, text);
  hexNumber<unsigned short>(text);
  hexNumber<unsigned int>(text);
  hexNumber<unsigned long>(text);
  hexNumber<long long>(text);
  hexNumber<unsigned long long>(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  const size_t capacity = data[1];
  data += 2;
  size -= 2;
  switch (mode % 6) {
    case 0:
      utf8To16(data, size, (mode & 0x80) == 0, capacity);
      break;
    case 1:
      utf16To8(data, size, (mode & 0x80) == 0, capacity);
      break;
    case 2:
      if (size >= 1) {
        const int length = 1 + static_cast<int>(capacity % 4);
        if (static_cast<size_t>(length) <= size) isLegalUTF8(data, length);
      }
      break;
    case 3:
      wideHelpers(data, size);
      break;
    default:
      numbers(data, size);
      break;
  }
  return 0;
}
