#include "util/ConvertUTF.h"

#include <gtest/gtest.h>

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

// Converts into a target of `room` units; `consumed` gets the source units read.
ConversionResult toUtf8(const std::vector<UTF16>& in, std::string& out, size_t room, size_t* consumed = nullptr,
                        ConversionFlags flags = strictConversion) {
  std::vector<UTF8> buf(room + 1);
  const UTF16* source = in.data();
  UTF8* target = buf.data();
  ConversionResult rc = ConvertUTF16toUTF8(&source, in.data() + in.size(), &target, buf.data() + room, flags);
  out.assign(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(target - buf.data()));
  if (consumed != nullptr) *consumed = static_cast<size_t>(source - in.data());
  return rc;
}

ConversionResult toUtf16(const std::string& in, std::vector<UTF16>& out, size_t room, size_t* consumed = nullptr) {
  std::vector<UTF16> buf(room + 1);
  const UTF8* source = reinterpret_cast<const UTF8*>(in.data());
  UTF16* target = buf.data();
  ConversionResult rc = ConvertUTF8toUTF16(&source, source + in.size(), &target, buf.data() + room, strictConversion);
  out.assign(buf.data(), target);
  if (consumed != nullptr) *consumed = static_cast<size_t>(source - reinterpret_cast<const UTF8*>(in.data()));
  return rc;
}

TEST(ConvertUTFTest, LegalSequencesFollowTheLeadByte) {
  for (int lead = 0; lead < 256; ++lead) {
    for (int second = 0; second < 256; ++second) {
      const UTF8 seq[4] = {static_cast<UTF8>(lead), static_cast<UTF8>(second), 0x80, 0x80};
      // The second byte's range after each lead; ASCII leads ignore it.
      const int lo = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
      const int hi = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
      const bool expected = lead < 0x80 || (lead >= 0xC2 && lead <= 0xF4 && second >= lo && second <= hi);
      ASSERT_EQ(expected, isLegalUTF8(seq, trailingBytesForUTF8[lead] + 1) != 0) << lead << " " << second;
    }
  }
  const UTF8 badThird[] = {0xE2, 0x82, 0x41}, ascii[] = {'A', 0x80}, five[] = {0xF8, 0x88, 0x80, 0x80, 0x80};
  EXPECT_FALSE(isLegalUTF8(badThird, 3));
  EXPECT_FALSE(isLegalUTF8(ascii, 2));  // length does not match the lead
  EXPECT_FALSE(isLegalUTF8(five, 5));
}

TEST(ConvertUTFTest, EveryScalarValueRoundTripsInItsNumberOfBytes) {
  for (UTF32 cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::vector<UTF16> units = utf16Of(cp);
    std::string utf8;
    ASSERT_EQ(conversionOK, toUtf8(units, utf8, 4)) << std::hex << cp;
    ASSERT_EQ(cp < 0x80 ? 1u : cp < 0x800 ? 2u : cp < 0x10000 ? 3u : 4u, utf8.size()) << std::hex << cp;
    std::vector<UTF16> back;
    ASSERT_EQ(conversionOK, toUtf16(utf8, back, 2)) << std::hex << cp;
    ASSERT_EQ(units, back) << std::hex << cp;
  }
}

TEST(ConvertUTFTest, ErrorsAndAFullTargetStopBeforeTheCharacter) {
  // Overlong forms, an encoded surrogate, above U+10FFFF, five bytes, a stray
  // continuation, a truncated sequence, and targets one unit too small.
  const struct {
    std::string in;
    size_t room, consumed;
    ConversionResult rc;
  } utf8Cases[] = {{"\xC0\x80", 8, 0, sourceIllegal},         {"\xE0\x80\xAF", 8, 0, sourceIllegal},
                   {"\xF0\x80\x80\xAF", 8, 0, sourceIllegal}, {"\xED\xA0\x80", 8, 0, sourceIllegal},
                   {"\xF4\x90\x80\x80", 8, 0, sourceIllegal}, {"\xF8\x88\x80\x80\x80", 8, 0, sourceIllegal},
                   {"ab\x80", 8, 2, sourceIllegal},           {"a\xE2\x82", 8, 1, sourceExhausted},
                   {"a\xF0\x9F\x98\x80", 2, 1, targetExhausted}, {"ab", 1, 1, targetExhausted}};
  for (const auto& c : utf8Cases) {
    std::vector<UTF16> units;
    size_t consumed = 99;
    EXPECT_EQ(c.rc, toUtf16(c.in, units, c.room, &consumed)) << c.in;
    EXPECT_EQ(c.consumed, consumed) << c.in;
    EXPECT_EQ(std::vector<UTF16>(c.in.begin(), c.in.begin() + c.consumed), units) << c.in;
  }
  const struct {
    std::vector<UTF16> in;
    size_t room, consumed;
    ConversionResult rc;
    std::string out;
    ConversionFlags flags;
  } utf16Cases[] = {
      {{'a', 0xDC00}, 8, 1, sourceIllegal, "a", strictConversion},
      {{0xD800, 'a'}, 8, 0, sourceIllegal, "", strictConversion},
      {{0xD800, 0xD800}, 8, 0, sourceIllegal, "", strictConversion},
      // A high surrogate that ends the input is written on its own.
      {{'a', 0xD800}, 8, 2, conversionOK, "a\xED\xA0\x80", strictConversion},
      // Lenient conversion passes unpaired surrogates through.
      {{0xDC00, 'b'}, 8, 2, conversionOK, "\xED\xB0\x80" "b", lenientConversion},
      {{'a', 0xE9}, 2, 1, targetExhausted, "a", strictConversion},
      {{0xD83D, 0xDE00}, 3, 0, targetExhausted, "", strictConversion}};
  for (const auto& c : utf16Cases) {
    std::string utf8;
    size_t consumed = 99;
    EXPECT_EQ(c.rc, toUtf8(c.in, utf8, c.room, &consumed, c.flags)) << c.out;
    EXPECT_EQ(c.consumed, consumed) << c.out;
    EXPECT_EQ(c.out, utf8);
  }
}

TEST(WideTextTest, ConvertsBothWaysKeepingZeroBytesAndRefusingIllegalInput) {
  const wchar_t hi = static_cast<wchar_t>(0xD83D), lo = static_cast<wchar_t>(0xDE00);
  const std::pair<std::string, std::wstring> both[] = {
      {"a\xC3\xA9", L"a\u00e9"},
      {"\xF0\x9F\x98\x80", {hi, lo}},  // one pair, two wide characters
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
      {"", L""},
      {"plain \xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF4\x8F\xBF\xBF", L"plain \u00e9t\u00e9 \u20ac \xDBFF\xDFFF"}};
  for (const auto& c : both) {
    std::wstring wide = L"keep";
    EXPECT_EQ(0, utf8ToUnicode(c.first, wide)) << c.first;
    EXPECT_EQ(c.second, wide) << c.first;
    std::string utf8 = "keep";
    EXPECT_EQ(0, unicodeToUtf8(c.second, utf8)) << c.first;
    EXPECT_EQ(c.first, utf8);
  }
  std::string out;
  // A full code point in one wide character is encoded, not truncated; a
  // high surrogate as the last character converts into three bytes.
  EXPECT_EQ(0, unicodeToUtf8(std::wstring(1, static_cast<wchar_t>(0x1F600)), out));
  EXPECT_EQ("\xF0\x9F\x98\x80", out);
  EXPECT_EQ(0, unicodeToUtf8(std::wstring{L'x', static_cast<wchar_t>(0xD800)}, out));
  EXPECT_EQ("x\xED\xA0\x80", out);

  std::wstring wide = L"keep";
  for (const char* bad : {"\xC3", "x\xC0\x80", "\xED\xA0\x80", "\xFF", "\xE2\x28\xA1"}) {
    EXPECT_EQ(UTF_CONVERSION_ILLEGAL, utf8ToUnicode(bad, wide)) << bad;
  }
  EXPECT_EQ(std::wstring(L"keep"), wide);
  out = "keep";
  for (const std::wstring& bad : {std::wstring(1, static_cast<wchar_t>(0xDC00)),
                                  std::wstring{static_cast<wchar_t>(0xD800), L'a'},
                                  std::wstring(1, static_cast<wchar_t>(0x110000))}) {
    EXPECT_EQ(UTF_CONVERSION_ILLEGAL, unicodeToUtf8(bad, out));
  }
  EXPECT_EQ("keep", out);
}

}  // namespace
