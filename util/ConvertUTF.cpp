#include "util/ConvertUTF.h"

namespace {

constexpr UTF32 kHighSurrogateFirst = 0xD800;
constexpr UTF32 kHighSurrogateLast = 0xDBFF;
constexpr UTF32 kLowSurrogateFirst = 0xDC00;
constexpr UTF32 kLowSurrogateLast = 0xDFFF;
constexpr UTF32 kMaxBmp = 0xFFFF;
constexpr UTF32 kMaxCodePoint = 0x10FFFF;
constexpr UTF32 kReplacementChar = 0xFFFD;

bool isHighSurrogate(UTF32 c) { return c >= kHighSurrogateFirst && c <= kHighSurrogateLast; }
bool isLowSurrogate(UTF32 c) { return c >= kLowSurrogateFirst && c <= kLowSurrogateLast; }
bool isContinuation(UTF8 b) { return b >= 0x80 && b <= 0xBF; }

}  // namespace

const char trailingBytesForUTF8[256] = {
    // 0x00..0x7F: single bytes; 0x80..0xBF: continuation bytes (illegal as a lead)
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xC0..0xDF: two-byte leads
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    // 0xE0..0xEF: three-byte leads; 0xF0..0xF7: four; 0xF8..0xFB: five; 0xFC..0xFF: six
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};

const UTF32 offsetsFromUTF8[6] = {0x00000000UL, 0x00003080UL, 0x000E2080UL,
                                  0x03C82080UL, 0xFA082080UL, 0x82082080UL};

const UTF8 firstByteMark[7] = {0x00, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};

Boolean isLegalUTF8(const UTF8* source, int length) {
  if (source == nullptr || length < 1 || length > 4) return false;
  const UTF8 lead = source[0];
  if (trailingBytesForUTF8[lead] + 1 != length) return false;
  // Stray continuation bytes and the leads 0xC0/0xC1, which could only start
  // overlong two-byte forms.
  if (lead >= 0x80 && lead < 0xC2) return false;
  // Leads above 0xF4 start values beyond U+10FFFF or five/six-byte forms.
  if (lead > 0xF4) return false;
  for (int i = 2; i < length; ++i) {
    if (!isContinuation(source[i])) return false;
  }
  if (length >= 2) {
    // The second byte also bounds the value range of the lead's sequences:
    // it rules out overlong three- and four-byte forms, the surrogate block
    // and values above U+10FFFF.
    const UTF8 second = source[1];
    switch (lead) {
      case 0xE0:
        if (second < 0xA0 || second > 0xBF) return false;
        break;
      case 0xED:
        if (second < 0x80 || second > 0x9F) return false;
        break;
      case 0xF0:
        if (second < 0x90 || second > 0xBF) return false;
        break;
      case 0xF4:
        if (second < 0x80 || second > 0x8F) return false;
        break;
      default:
        if (!isContinuation(second)) return false;
        break;
    }
  }
  return true;
}

ConversionResult ConvertUTF8toUTF16(const UTF8** sourceStart, const UTF8* sourceEnd,
                                    UTF16** targetStart, UTF16* targetEnd,
                                    ConversionFlags flags) {
  ConversionResult result = conversionOK;
  const UTF8* source = *sourceStart;
  UTF16* target = *targetStart;
  while (source < sourceEnd) {
    const int extra = trailingBytesForUTF8[*source];
    if (extra >= sourceEnd - source) {
      result = sourceExhausted;
      break;
    }
    if (!isLegalUTF8(source, extra + 1)) {
      result = sourceIllegal;
      break;
    }
    UTF32 ch = 0;
    for (int i = 0; i <= extra; ++i) ch = (ch << 6) + source[i];
    ch -= offsetsFromUTF8[extra];

    if (target >= targetEnd) {
      result = targetExhausted;
      break;
    }
    if (ch <= kMaxBmp) {
      if (isHighSurrogate(ch) || isLowSurrogate(ch)) {
        if (flags == strictConversion) {
          result = sourceIllegal;
          break;
        }
        *target++ = static_cast<UTF16>(kReplacementChar);
      } else {
        *target++ = static_cast<UTF16>(ch);
      }
    } else if (ch > kMaxCodePoint) {
      if (flags == strictConversion) {
        result = sourceIllegal;
        break;
      }
      *target++ = static_cast<UTF16>(kReplacementChar);
    } else {
      if (targetEnd - target < 2) {
        result = targetExhausted;
        break;
      }
      ch -= halfBase;
      *target++ = static_cast<UTF16>((ch >> halfShift) + kHighSurrogateFirst);
      *target++ = static_cast<UTF16>((ch & halfMask) + kLowSurrogateFirst);
    }
    source += extra + 1;
  }
  *sourceStart = source;
  *targetStart = target;
  return result;
}

ConversionResult ConvertUTF16toUTF8(const UTF16** sourceStart, const UTF16* sourceEnd,
                                    UTF8** targetStart, UTF8* targetEnd,
                                    ConversionFlags flags) {
  ConversionResult result = conversionOK;
  const UTF16* source = *sourceStart;
  UTF8* target = *targetStart;
  while (source < sourceEnd) {
    const UTF16* const unitStart = source;
    UTF32 ch = *source++;
    if (isHighSurrogate(ch)) {
      if (source < sourceEnd) {
        const UTF32 next = *source;
        if (isLowSurrogate(next)) {
          ch = ((ch - kHighSurrogateFirst) << halfShift) + (next - kLowSurrogateFirst) + halfBase;
          ++source;
        } else if (flags == strictConversion) {
          source = unitStart;
          result = sourceIllegal;
          break;
        }
      }
      // A high surrogate that ends the input falls through and is written on
      // its own.
    } else if (flags == strictConversion && isLowSurrogate(ch)) {
      source = unitStart;
      result = sourceIllegal;
      break;
    }

    int bytesToWrite;
    if (ch < 0x80) {
      bytesToWrite = 1;
    } else if (ch < 0x800) {
      bytesToWrite = 2;
    } else if (ch < 0x10000) {
      bytesToWrite = 3;
    } else if (ch <= kMaxCodePoint) {
      bytesToWrite = 4;
    } else {
      bytesToWrite = 3;
      ch = kReplacementChar;
    }
    if (targetEnd - target < bytesToWrite) {
      source = unitStart;
      result = targetExhausted;
      break;
    }
    for (int i = bytesToWrite - 1; i > 0; --i) {
      target[i] = static_cast<UTF8>((ch & 0x3F) | 0x80);
      ch >>= 6;
    }
    target[0] = static_cast<UTF8>(ch | firstByteMark[bytesToWrite]);
    target += bytesToWrite;
  }
  *sourceStart = source;
  *targetStart = target;
  return result;
}
