#include "util/BasicConversion.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(BasicConversionTest, BooleanTextRules) {
  for (const char* text : {"", "0", "00", "0x1", "0abc", "false"}) {
    bool value = true;
    BasicConversion::fromString(value, text);
    EXPECT_FALSE(value) << "text [" << text << "]";
  }
  for (const char* text : {"1", "False", "FALSE", "no", "true", " false", " 0"}) {
    bool value = false;
    BasicConversion::fromString(value, text);
    EXPECT_TRUE(value) << "text [" << text << "]";
  }
  std::string s;
  BasicConversion::toString(true, s);
  EXPECT_EQ("1", s);
  BasicConversion::toString(false, s);
  EXPECT_EQ("0", s);
}

TEST(BasicConversionTest, CharactersAreTakenNotParsed) {
  char c = 'z';
  EXPECT_EQ(1, BasicConversion::fromString(c, "65"));
  EXPECT_EQ('6', c);
  EXPECT_EQ(0, BasicConversion::fromString(c, ""));
  EXPECT_EQ(0, c);
  unsigned char u = 0;
  BasicConversion::fromString(u, "\xE9x");
  EXPECT_EQ(0xE9, u);
  std::string s;
  BasicConversion::toString('q', s);
  EXPECT_EQ("q", s);
  BasicConversion::toString(static_cast<unsigned char>(0xE9), s);
  EXPECT_EQ("\xE9", s);
}

TEST(BasicConversionTest, ScanResultAndUntouchedTarget) {
  int value = 77;
  EXPECT_EQ(0, BasicConversion::fromString(value, "abc"));
  EXPECT_EQ(77, value);
  EXPECT_EQ(-1, BasicConversion::fromString(value, ""));
  EXPECT_EQ(77, value);
  EXPECT_EQ(1, BasicConversion::fromString(value, " 42"));
  EXPECT_EQ(42, value);
  EXPECT_EQ(1, BasicConversion::fromString(value, "12abc"));
  EXPECT_EQ(12, value);
  EXPECT_EQ(1, BasicConversion::fromString(value, "+7"));
  EXPECT_EQ(7, value);

  double d = 9.0;
  EXPECT_EQ(0, BasicConversion::fromString(d, "x1.5"));
  EXPECT_EQ(9.0, d);
}

// Writes value, expects `text`, and reads it back into a different start value.
template <typename T>
void expectRoundTrip(T value, const std::string& text) {
  std::string s;
  BasicConversion::toString(value, s);
  EXPECT_EQ(text, s);
  T back = static_cast<T>(value + 1);
  EXPECT_EQ(1, BasicConversion::fromString(back, s)) << text;
  EXPECT_EQ(value, back) << text;
}

TEST(BasicConversionTest, IntegerWidthsRoundTrip) {
  expectRoundTrip<short>(SHRT_MIN, "-32768");
  expectRoundTrip<unsigned short>(USHRT_MAX, "65535");
  expectRoundTrip<int>(INT_MIN, "-2147483648");
  expectRoundTrip<unsigned int>(UINT_MAX, "4294967295");
  expectRoundTrip<long>(LONG_MIN, "-2147483648");  // 32-bit long
  expectRoundTrip<unsigned long>(ULONG_MAX, "4294967295");
  expectRoundTrip<long long>(LLONG_MIN, "-9223372036854775808");
  expectRoundTrip<long long>(-5, "-5");
  expectRoundTrip<unsigned long long>(ULLONG_MAX, "18446744073709551615");
}

TEST(BasicConversionTest, FloatingPointSixDecimals) {
  std::string s;
  BasicConversion::toString(0.25f, s);
  EXPECT_EQ("0.250000", s);
  BasicConversion::toString(-1.5, s);
  EXPECT_EQ("-1.500000", s);

  // The largest double prints 309 integer digits; the text must be complete.
  BasicConversion::toString(1e308, s);
  EXPECT_EQ(309u + 7u, s.size());
  double d = 0;
  EXPECT_EQ(1, BasicConversion::fromString(d, s));
  EXPECT_DOUBLE_EQ(1e308, d);

  float f = 0;
  EXPECT_EQ(1, BasicConversion::fromString(f, "2.5rest"));
  EXPECT_FLOAT_EQ(2.5f, f);
}

TEST(BasicConversionTest, HexFormsReadBack) {
  std::string s;
  unsigned short us = 0;
  BasicConversion::toHexString(static_cast<unsigned short>(255), s);
  EXPECT_EQ("0xff", s);
  EXPECT_EQ(1, BasicConversion::fromHexString(us, s));
  EXPECT_EQ(255, us);
  EXPECT_EQ(1, BasicConversion::fromHexString(us, "ff"));  // prefix optional
  EXPECT_EQ(255, us);

  unsigned int ui = 0;
  BasicConversion::toHexString(0xDEADBEEFu, s);
  EXPECT_EQ("0xdeadbeef", s);
  BasicConversion::fromHexString(ui, s);
  EXPECT_EQ(0xDEADBEEFu, ui);

  unsigned long ul = 0;
  BasicConversion::toHexString(ULONG_MAX, s);
  EXPECT_EQ("0xffffffff", s);
  BasicConversion::fromHexString(ul, s);
  EXPECT_EQ(ULONG_MAX, ul);

  unsigned long long ull = 0;
  BasicConversion::toHexString(0x0123456789ABCDEFULL, s);
  EXPECT_EQ("0x123456789abcdef", s);
  BasicConversion::fromHexString(ull, s);
  EXPECT_EQ(0x0123456789ABCDEFULL, ull);

  long long ll = 0;
  BasicConversion::toHexString(-1LL, s);
  EXPECT_EQ("0xffffffffffffffff", s);
  EXPECT_EQ(1, BasicConversion::fromHexString(ll, s));
  EXPECT_EQ(-1LL, ll);

  ll = 33;
  EXPECT_EQ(0, BasicConversion::fromHexString(ll, "zz"));
  EXPECT_EQ(33, ll);
  EXPECT_EQ(-1, BasicConversion::fromHexString(ll, ""));
  EXPECT_EQ(33, ll);
}

}  // namespace
