#include "util/ConvertUTF.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "util/StringUtils.h"

namespace {

// Units of a code point in UTF-16.
std::vector<UTF16> utf16Of(UTF32 cp) {
  if (cp < 0x10000) return {static_cast<UTF16>(cp)};
  const UTF32 v = cp - 0x10000;
  return {static_cast<UTF16>(0xD800 | (v >> 10)), static_cast<UTF16>(0xDC00 | (v & 0x3FF))};
}

ConversionResult toUtf8(const std::vector<UTF16>& in, std::string& out, size_t room,
                        ConversionFlags flags = strictConversion, size_t* consumed = nullptr) {
  std::vector<UTF8> buf(room + 1);
  const UTF16* source = in.data();
  UTF8* target = buf.data();
  ConversionResult rc = ConvertUTF16toUTF8(&source, in.data() + in.size(), &target,
                                           buf.data() + room, flags);
  out.assign(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(target - buf.data()));
  if (consumed != nullptr) *consumed = static_cast<size_t>(source - in.data());
  return rc;
}

ConversionResult toUtf16(const std::string& in, std::vector<UTF16>& out, size_t room,
                         size_t* consumed = nullptr) {
  std::vector<UTF16> buf(room + 1);
  const UTF8* source = reinterpret_cast<const UTF8*>(in.data());
  UTF16* target = buf.data();
  ConversionResult rc =
      ConvertUTF8toUTF16(&source, source + in.size(), &target, buf.data() + room, strictConversion);
  out.assign(buf.data(), target);
  if (consumed != nullptr) *consumed = static_cast<size_t>(source - reinterpret_cast<const UTF8*>(in.data()));
  return rc;
}

TEST(ConvertUTFTest, TablesAgreeWithTheEncoding) {
  for (int b = 0; b < 256; ++b) {
    int ones = 0;
    while (ones < 8 && (b & (0x80 >> ones))) ++ones;
    // 0xFE and 0xFF start no sequence at all; they count as six-byte leads.
    const int expected = (b < 0xC0) ? 0 : std::min(ones - 1, 5);
    EXPECT_EQ(expected, trailingBytesForUTF8[b]) << "lead " << b;
  }
  for (int n = 0; n < 6; ++n) {
    // Marker bits of the lead byte and of each continuation byte, shifted as
    // the decoder accumulates them.
    UTF32 sum = static_cast<UTF32>(firstByteMark[n + 1]) << (6 * n);
    for (int k = 0; k < n; ++k) sum += static_cast<UTF32>(0x80) << (6 * k);
    EXPECT_EQ(sum & 0xFFFFFFFFUL, offsetsFromUTF8[n]) << "trailing " << n;
  }
  EXPECT_EQ(10, halfShift);
  EXPECT_EQ(0x10000UL, halfBase);
}

TEST(ConvertUTFTest, LegalSequencesFollowTheLeadByte) {
  for (int lead = 0; lead < 256; ++lead) {
    for (int second = 0; second < 256; ++second) {
      const UTF8 seq[4] = {static_cast<UTF8>(lead), static_cast<UTF8>(second), 0x80, 0x80};
      const int length = trailingBytesForUTF8[lead] + 1;
      // The second byte's range after each lead; ASCII leads ignore it.
      int lo = 0x80, hi = 0xBF;
      if (lead == 0xE0) lo = 0xA0;
      if (lead == 0xF0) lo = 0x90;
      if (lead == 0xED) hi = 0x9F;
      if (lead == 0xF4) hi = 0x8F;
      const bool expected = lead < 0x80 || (lead >= 0xC2 && lead <= 0xF4 && second >= lo && second <= hi);
      ASSERT_EQ(expected, isLegalUTF8(seq, length) != 0) << "lead " << lead << " second " << second;
    }
  }
  const UTF8 badThird[] = {0xE2, 0x82, 0x41};
  EXPECT_FALSE(isLegalUTF8(badThird, 3));
  const UTF8 ascii[] = {'A', 0x80};
  EXPECT_FALSE(isLegalUTF8(ascii, 2));  // length does not match the lead
  const UTF8 five[] = {0xF8, 0x88, 0x80, 0x80, 0x80};
  EXPECT_FALSE(isLegalUTF8(five, 5));
}

TEST(ConvertUTFTest, EveryScalarValueRoundTripsAndBoundariesHaveTheirBytes) {
  const std::pair<UTF32, std::string> boundaries[] = {
      {0x0, std::string(1, '\0')}, {0x7F, "\x7F"},         {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},        {0x800, "\xE0\xA0\x80"}, {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"}};
  for (const auto& b : boundaries) {
    std::string utf8;
    ASSERT_EQ(conversionOK, toUtf8(utf16Of(b.first), utf8, 8)) << std::hex << b.first;
    EXPECT_EQ(b.second, utf8) << std::hex << b.first;
  }
  for (UTF32 cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::vector<UTF16> units = utf16Of(cp);
    std::string utf8;
    ASSERT_EQ(conversionOK, toUtf8(units, utf8, 4)) << std::hex << cp;
    const size_t expectedLength = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    ASSERT_EQ(expectedLength, utf8.size()) << std::hex << cp;
    std::vector<UTF16> back;
    ASSERT_EQ(conversionOK, toUtf16(utf8, back, 2)) << std::hex << cp;
    ASSERT_EQ(units, back) << std::hex << cp;
  }
}

TEST(ConvertUTFTest, StrictUtf8ErrorsStopBeforeTheBadSequence) {
  // Overlong forms, an encoded surrogate, above U+10FFFF, five bytes, a stray
  // continuation and a truncated sequence.
  const std::pair<std::string, size_t> illegal[] = {
      {"\xC0\x80", 0},         {"\xE0\x80\xAF", 0}, {"\xF0\x80\x80\xAF", 0}, {"\xED\xA0\x80", 0},
      {"\xF4\x90\x80\x80", 0}, {"\xF8\x88\x80\x80\x80", 0}, {"ab\x80", 2}, {"a\xE2\x82", 1}};
  for (const auto& c : illegal) {
    std::vector<UTF16> units;
    size_t consumed = 99;
    const ConversionResult expected = c.first == "a\xE2\x82" ? sourceExhausted : sourceIllegal;
    EXPECT_EQ(expected, toUtf16(c.first, units, 8, &consumed)) << c.first;
    EXPECT_EQ(c.second, consumed) << c.first;
    EXPECT_EQ(std::vector<UTF16>(c.first.begin(), c.first.begin() + c.second), units) << c.first;
  }
}

TEST(ConvertUTFTest, StrictUtf16Errors) {
  std::string utf8;
  size_t consumed = 0;
  EXPECT_EQ(sourceIllegal, toUtf8({'a', 0xDC00}, utf8, 8, strictConversion, &consumed));
  EXPECT_EQ(1u, consumed);
  EXPECT_EQ("a", utf8);
  EXPECT_EQ(sourceIllegal, toUtf8({0xD800, 'a'}, utf8, 8));
  EXPECT_EQ(sourceIllegal, toUtf8({0xD800, 0xD800}, utf8, 8));
  // A high surrogate that ends the input is written on its own.
  EXPECT_EQ(conversionOK, toUtf8({'a', 0xD800}, utf8, 8));
  EXPECT_EQ("a\xED\xA0\x80", utf8);
  // Lenient conversion passes unpaired surrogates through.
  EXPECT_EQ(conversionOK, toUtf8({0xDC00, 'b'}, utf8, 8, lenientConversion));
  EXPECT_EQ("\xED\xB0\x80" "b", utf8);
}

TEST(ConvertUTFTest, TargetExhaustedStopsBeforeTheCharacter) {
  std::string utf8;
  size_t consumed = 0;
  EXPECT_EQ(targetExhausted, toUtf8({'a', 0xE9}, utf8, 2, strictConversion, &consumed));
  EXPECT_EQ(1u, consumed);
  EXPECT_EQ("a", utf8);
  EXPECT_EQ(targetExhausted, toUtf8({0xD83D, 0xDE00}, utf8, 3, strictConversion, &consumed));
  EXPECT_EQ(0u, consumed);
  EXPECT_EQ("", utf8);

  std::vector<UTF16> units;
  EXPECT_EQ(targetExhausted, toUtf16("a\xF0\x9F\x98\x80", units, 2, &consumed));
  EXPECT_EQ(1u, consumed);
  EXPECT_EQ((std::vector<UTF16>{'a'}), units);
  EXPECT_EQ(targetExhausted, toUtf16("ab", units, 1, &consumed));
  EXPECT_EQ(1u, consumed);
}

TEST(WideTextTest, Utf8ToWideTextAndBack) {
  std::wstring out = L"keep";
  EXPECT_EQ(0, utf8ToUnicode("a\xC3\xA9", out));
  EXPECT_EQ(std::wstring(L"a\u00e9"), out);
  EXPECT_EQ(0, utf8ToUnicode("\xF0\x9F\x98\x80", out));  // one pair, two wide characters
  EXPECT_EQ((std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)}), out);
  EXPECT_EQ(0, utf8ToUnicode(std::string("a\0b", 3), out));  // zero bytes are kept
  EXPECT_EQ(std::wstring(L"a\0b", 3), out);
  EXPECT_EQ(0, utf8ToUnicode("", out));
  EXPECT_TRUE(out.empty());
  const std::string text = "plain \xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF";
  ASSERT_EQ(0, utf8ToUnicode(text, out));
  std::string back;
  ASSERT_EQ(0, unicodeToUtf8(out, back));
  EXPECT_EQ(text, back);

  out = L"keep";
  for (const char* bad : {"\xC3", "x\xC0\x80", "\xED\xA0\x80", "\xFF", "\xE2\x28\xA1"}) {
    EXPECT_EQ(UTF_CONVERSION_ILLEGAL, utf8ToUnicode(bad, out)) << bad;
    EXPECT_EQ(std::wstring(L"keep"), out);
  }
}

TEST(WideTextTest, WideTextToUtf8) {
  std::string out = "keep";
  EXPECT_EQ(0, unicodeToUtf8(L"a\u00e9\u20ac", out));
  EXPECT_EQ("a\xC3\xA9\xE2\x82\xAC", out);
  const std::wstring pair = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  EXPECT_EQ(0, unicodeToUtf8(pair, out));
  EXPECT_EQ("\xF0\x9F\x98\x80", out);
  // A full code point in one wide character is encoded, not truncated.
  EXPECT_EQ(0, unicodeToUtf8(std::wstring(1, static_cast<wchar_t>(0x1F600)), out));
  EXPECT_EQ("\xF0\x9F\x98\x80", out);
  EXPECT_EQ(0, unicodeToUtf8(std::wstring(L"a\0b", 3), out));
  EXPECT_EQ(std::string("a\0b", 3), out);
  // A high surrogate as the last character converts into three bytes.
  EXPECT_EQ(0, unicodeToUtf8(std::wstring{L'x', static_cast<wchar_t>(0xD800)}, out));
  EXPECT_EQ("x\xED\xA0\x80", out);
  EXPECT_EQ(0, unicodeToUtf8(L"", out));
  EXPECT_EQ("", out);

  out = "keep";
  EXPECT_EQ(UTF_CONVERSION_ILLEGAL, unicodeToUtf8(std::wstring(1, static_cast<wchar_t>(0xDC00)), out));
  EXPECT_EQ(UTF_CONVERSION_ILLEGAL,
            unicodeToUtf8(std::wstring{static_cast<wchar_t>(0xD800), L'a'}, out));
  EXPECT_EQ(UTF_CONVERSION_ILLEGAL,
            unicodeToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000)), out));
  EXPECT_EQ("keep", out);
}

}  // namespace
