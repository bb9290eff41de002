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

// Writes `value` (in hex with Hex), expects `expected`, and reads it back
// into a different start value.
template <typename T, bool Hex = false>
void expectRoundTrip(T value, const std::string& expected) {
  std::string s = text(value);
  T back = static_cast<T>(value + 1);
  if constexpr (Hex) {
    BasicConversion::toHexString(value, s);
    EXPECT_EQ(1, BasicConversion::fromHexString(back, s)) << expected;
  } else {
    EXPECT_EQ(1, BasicConversion::fromString(back, s)) << expected;
  }
  EXPECT_EQ(expected, s);
  EXPECT_EQ(value, back) << expected;
}

TEST(BasicConversionTest, TextsThatAreReadAndTextsThatAreNot) {
  // Only a text that reads as the number 0 (or is empty) is false.
  for (const char* t : {"", "0", "00", "0x1", "0abc", "false", "1", "False", "no", " false", " 0"}) {
    const bool expected = !(t[0] == '\0' || t[0] == '0' || std::string(t) == "false");
    bool value = !expected;
    BasicConversion::fromString(value, t);
    EXPECT_EQ(expected, value) << "text [" << t << "]";
  }
  EXPECT_EQ("1", text(true));
  // Characters are taken, not parsed.
  char c = 'z';
  EXPECT_EQ(1, BasicConversion::fromString(c, "65"));
  EXPECT_EQ('6', c);
  EXPECT_EQ(0, BasicConversion::fromString(c, ""));
  EXPECT_EQ(0, c);
  EXPECT_EQ("\xE9", text(static_cast<unsigned char>(0xE9)));
  // The scan result, and a target left alone when nothing is read.
  const struct {
    const char* text;
    int result, value;
  } cases[] = {{"abc", 0, 77}, {"", -1, 77}, {" 42", 1, 42}, {"12abc", 1, 12}, {"+7", 1, 7}};
  for (const auto& k : cases) {
    int value = 77;
    EXPECT_EQ(k.result, BasicConversion::fromString(value, k.text)) << k.text;
    EXPECT_EQ(k.value, value) << k.text;
  }
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
  expectRoundTrip<unsigned short, true>(255, "0xff");
  expectRoundTrip<unsigned long, true>(ULONG_MAX, "0xffffffff");
  expectRoundTrip<unsigned long long, true>(0x0123456789ABCDEFULL, "0x123456789abcdef");
  expectRoundTrip<long long, true>(-1LL, "0xffffffffffffffff");
  EXPECT_EQ("0.250000", text(0.25f));
  EXPECT_EQ("-1.500000", text(-1.5));
  // The largest double prints 309 integer digits; the text must be complete.
  const std::string big = text(1e308);
  EXPECT_EQ(309u + 7u, big.size());
  double d = 0;
  EXPECT_EQ(1, BasicConversion::fromString(d, big));
  EXPECT_DOUBLE_EQ(1e308, d);
  EXPECT_EQ(0, BasicConversion::fromString(d, "x1.5"));
  EXPECT_DOUBLE_EQ(1e308, d);
  float f = 0;
  EXPECT_EQ(1, BasicConversion::fromString(f, "2.5rest"));
  EXPECT_FLOAT_EQ(2.5f, f);
}

}  // namespace
