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

TEST(BasicConversionTest, IntegerWidthsRoundTrip) {
  std::string s;
  short sh = 0;
  BasicConversion::toString(static_cast<short>(SHRT_MIN), s);
  EXPECT_EQ("-32768", s);
  BasicConversion::fromString(sh, s);
  EXPECT_EQ(SHRT_MIN, sh);

  unsigned short us = 0;
  BasicConversion::toString(static_cast<unsigned short>(USHRT_MAX), s);
  EXPECT_EQ("65535", s);
  BasicConversion::fromString(us, s);
  EXPECT_EQ(USHRT_MAX, us);

  int i = 0;
  BasicConversion::toString(INT_MIN, s);
  EXPECT_EQ("-2147483648", s);
  BasicConversion::fromString(i, s);
  EXPECT_EQ(INT_MIN, i);

  unsigned int ui = 0;
  BasicConversion::toString(UINT_MAX, s);
  BasicConversion::fromString(ui, s);
  EXPECT_EQ(UINT_MAX, ui);

  long l = 0;
  BasicConversion::toString(LONG_MIN, s);
  EXPECT_EQ("-2147483648", s);  // 32-bit long
  BasicConversion::fromString(l, s);
  EXPECT_EQ(LONG_MIN, l);

  unsigned long ul = 0;
  BasicConversion::toString(ULONG_MAX, s);
  EXPECT_EQ("4294967295", s);
  BasicConversion::fromString(ul, s);
  EXPECT_EQ(ULONG_MAX, ul);

  long long ll = 0;
  BasicConversion::toString(LLONG_MIN, s);
  EXPECT_EQ("-9223372036854775808", s);
  BasicConversion::fromString(ll, s);
  EXPECT_EQ(LLONG_MIN, ll);
  BasicConversion::fromString(ll, "-5");
  EXPECT_EQ(-5, ll);

  unsigned long long ull = 0;
  BasicConversion::toString(ULLONG_MAX, s);
  EXPECT_EQ("18446744073709551615", s);
  BasicConversion::fromString(ull, s);
  EXPECT_EQ(ULLONG_MAX, ull);
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
