#include "util/BasicConversion.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

template <typename T>
std::string text(T value) {
  std::string s = "stale";
  BasicConversion::toString(value, s);
  return s;
}

// Writes `value`, expects `expected`, and reads it back into a different
// start value; the hex forms likewise.
template <typename T>
void expectRoundTrip(T value, const std::string& expected) {
  EXPECT_EQ(expected, text(value));
  T back = static_cast<T>(value + 1);
  EXPECT_EQ(1, BasicConversion::fromString(back, expected)) << expected;
  EXPECT_EQ(value, back) << expected;
}
template <typename T>
void expectHexRoundTrip(T value, const std::string& expected) {
  std::string s;
  BasicConversion::toHexString(value, s);
  EXPECT_EQ(expected, s);
  T back = static_cast<T>(value + 1);
  EXPECT_EQ(1, BasicConversion::fromHexString(back, s)) << expected;
  EXPECT_EQ(value, back) << expected;
}

TEST(BasicConversionTest, BooleansAndCharacters) {
  // Only a text that reads as the number 0 (or is empty) is false.
  const std::pair<const char*, bool> cases[] = {{"", false},    {"0", false},     {"00", false},  {"0x1", false},
                                                {"0abc", false}, {"false", false}, {"1", true},    {"False", true},
                                                {"no", true},    {" false", true}, {" 0", true}};
  for (const auto& c : cases) {
    bool value = !c.second;
    BasicConversion::fromString(value, c.first);
    EXPECT_EQ(c.second, value) << "text [" << c.first << "]";
  }
  EXPECT_EQ("1", text(true));
  EXPECT_EQ("0", text(false));
  // Characters are taken, not parsed.
  char c = 'z';
  EXPECT_EQ(1, BasicConversion::fromString(c, "65"));
  EXPECT_EQ('6', c);
  EXPECT_EQ(0, BasicConversion::fromString(c, ""));
  EXPECT_EQ(0, c);
  unsigned char u = 0;
  BasicConversion::fromString(u, "\xE9x");
  EXPECT_EQ(0xE9, u);
  EXPECT_EQ("\xE9", text(static_cast<unsigned char>(0xE9)));
}

TEST(BasicConversionTest, ScanResultAndUntouchedTarget) {
  const struct {
    const char* text;
    int result;
    int value;
  } cases[] = {{"abc", 0, 77}, {"", -1, 77}, {" 42", 1, 42}, {"12abc", 1, 12}, {"+7", 1, 7}};
  for (const auto& c : cases) {
    int value = 77;
    EXPECT_EQ(c.result, BasicConversion::fromString(value, c.text)) << c.text;
    EXPECT_EQ(c.value, value) << c.text;
  }
  double d = 9.0;
  EXPECT_EQ(0, BasicConversion::fromString(d, "x1.5"));
  EXPECT_EQ(9.0, d);
  long long ll = 33;
  EXPECT_EQ(0, BasicConversion::fromHexString(ll, "zz"));
  EXPECT_EQ(-1, BasicConversion::fromHexString(ll, ""));
  EXPECT_EQ(33, ll);
  unsigned short us = 0;
  EXPECT_EQ(1, BasicConversion::fromHexString(us, "ff"));  // the prefix is optional
  EXPECT_EQ(255, us);
}

TEST(BasicConversionTest, NumbersRoundTripAtTheirLimits) {
  expectRoundTrip<short>(SHRT_MIN, "-32768");
  expectRoundTrip<unsigned short>(USHRT_MAX, "65535");
  expectRoundTrip<int>(INT_MIN, "-2147483648");
  expectRoundTrip<unsigned int>(UINT_MAX, "4294967295");
  expectRoundTrip<long>(LONG_MIN, "-2147483648");  // 32-bit long
  expectRoundTrip<unsigned long>(ULONG_MAX, "4294967295");
  expectRoundTrip<long long>(LLONG_MIN, "-9223372036854775808");
  expectRoundTrip<unsigned long long>(ULLONG_MAX, "18446744073709551615");
  expectHexRoundTrip<unsigned short>(255, "0xff");
  expectHexRoundTrip<unsigned long>(ULONG_MAX, "0xffffffff");
  expectHexRoundTrip<unsigned long long>(0x0123456789ABCDEFULL, "0x123456789abcdef");
  expectHexRoundTrip<long long>(-1LL, "0xffffffffffffffff");
  EXPECT_EQ("0.250000", text(0.25f));
  EXPECT_EQ("-1.500000", text(-1.5));
  // The largest double prints 309 integer digits; the text must be complete.
  const std::string big = text(1e308);
  EXPECT_EQ(309u + 7u, big.size());
  double d = 0;
  EXPECT_EQ(1, BasicConversion::fromString(d, big));
  EXPECT_DOUBLE_EQ(1e308, d);
  float f = 0;
  EXPECT_EQ(1, BasicConversion::fromString(f, "2.5rest"));
  EXPECT_FLOAT_EQ(2.5f, f);
}

}  // namespace
