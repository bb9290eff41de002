// Conversion between UTF-8 and UTF-16 buffers.
//
// The converters walk a source range [*sourceStart, sourceEnd) and write into
// a target range [*targetStart, targetEnd). On return both start pointers
// have been advanced past what was converted: on success to the ends, and on
// failure to the start of the source sequence that could not be converted and
// to the first unwritten target unit. Nothing is written past targetEnd.
//
// Under strictConversion:
//  - UTF-8 input: overlong forms, encoded surrogates (U+D800..U+DFFF), values
//    above U+10FFFF, sequences longer than four bytes, stray continuation bytes
//    and bad continuation bytes are sourceIllegal; a sequence cut short by
//    sourceEnd is sourceExhausted.
//  - UTF-16 input: a high surrogate followed by anything but a low surrogate,
//    and a low surrogate without a high one, are sourceIllegal. A high
//    surrogate that is the last unit of the input is written on its own as a
//    three-byte sequence (callers that convert text in pieces rely on this).
// Under lenientConversion unpaired surrogates in UTF-16 input are passed
// through, and surrogates or out-of-range values decoded from UTF-8 become
// U+FFFD; ill-formed UTF-8 is still sourceIllegal.
//
// Thread safety: the functions are re-entrant; the tables are constant.
#ifndef EVTASK_UTIL_CONVERTUTF_H
#define EVTASK_UTIL_CONVERTUTF_H

#include "evtask/export.h"

typedef unsigned long UTF32;   // 32 bits on this platform
typedef unsigned short UTF16;  // 16 bits
typedef unsigned char UTF8;    // 8 bits
typedef unsigned char Boolean;

static_assert(sizeof(UTF32) == 4, "UTF32 must be 32 bits wide");
static_assert(sizeof(UTF16) == 2, "UTF16 must be 16 bits wide");

typedef enum {
  conversionOK = 0,     // the whole source was converted
  sourceExhausted = 1,  // the source ends inside a sequence
  targetExhausted = 2,  // the target has no room for the next character
  sourceIllegal = 3     // the source holds an ill-formed sequence
} ConversionResult;

typedef enum { strictConversion = 0, lenientConversion } ConversionFlags;

// Number of bytes that follow a UTF-8 lead byte, indexed by the lead byte
// (0 for ASCII and for stray continuation bytes, up to 5 for 0xFC..0xFF).
extern EVTASK_EXPORT const char trailingBytesForUTF8[256];
// Sum of the marker bits of a sequence with the index's number of trailing
// bytes, as accumulated by (value << 6) + byte; subtracted after decoding.
extern EVTASK_EXPORT const UTF32 offsetsFromUTF8[6];
// Marker bits of the lead byte of a sequence of the index's length in bytes.
extern EVTASK_EXPORT const UTF8 firstByteMark[7];

constexpr int halfShift = 10;             // bits carried by each surrogate
constexpr UTF32 halfBase = 0x0010000UL;   // first value that needs a pair
constexpr UTF32 halfMask = 0x3FFUL;

EVTASK_EXPORT ConversionResult ConvertUTF8toUTF16(const UTF8** sourceStart,
                                                  const UTF8* sourceEnd,
                                                  UTF16** targetStart, UTF16* targetEnd,
                                                  ConversionFlags flags);

EVTASK_EXPORT ConversionResult ConvertUTF16toUTF8(const UTF16** sourceStart,
                                                  const UTF16* sourceEnd,
                                                  UTF8** targetStart, UTF8* targetEnd,
                                                  ConversionFlags flags);

// True when the `length` bytes at source form exactly one well-formed UTF-8
// sequence whose length matches its lead byte. length must be 1 to 4 for a
// true result; the bytes must be readable.
EVTASK_EXPORT Boolean isLegalUTF8(const UTF8* source, int length);

#endif  // EVTASK_UTIL_CONVERTUTF_H
