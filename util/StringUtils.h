// Small text helpers shared by the library and its callers: splitting a
// delimited text, trimming, a reversible escaping of one character, reading a
// service-pack version text, database timestamps and conversion between UTF-8
// text and wide-character text.
//
// All functions work on strings owned by the caller, keep no state between
// calls, never throw for bad input and report failure only through their
// return values. They are re-entrant; a StringParser or NthDelimiter object is
// used by one thread at a time.
#ifndef EVTASK_UTIL_STRINGUTILS_H
#define EVTASK_UTIL_STRINGUTILS_H

#include <ctime>
#include <string>
#include <vector>

#include "evtask/export.h"

// Predicate that finds the n-th occurrence of a delimiter when a text is
// searched from its start with a fresh object. With n == 0 it accepts every
// character, so the search finds the first character.
class EVTASK_EXPORT NthDelimiter {
 public:
  NthDelimiter(int n, char delimiter);

  // Returns false for a character other than the delimiter. For a delimiter,
  // counts it and returns true exactly when it is the n-th one seen.
  bool operator()(char c);

 private:
  int m_count;  // delimiters seen so far
  int m_n;
  char m_delimiter;
};

// Splits a text at a delimiter character.
class EVTASK_EXPORT StringParser {
 public:
  StringParser(const std::string& text, char delimiter);

  // Appends the components of the text to the parser's component vector and
  // returns that vector. Every delimiter separates two components, so "a,b,"
  // gives "a", "b", "" and ",a" gives "", "a"; an empty text gives none. When
  // minCount is not 0 and fewer than minCount components were found, empty
  // components are appended until this call has added minCount of them.
  // The vector is not emptied first: a second call appends again. The
  // reference stays valid for the parser's lifetime.
  std::vector<std::string>& getComponents(int minCount);

 private:
  std::vector<std::string> m_components;
  std::string m_text;
  char m_delimiter;
};

// Removes leading and trailing white space (as classified by the C library;
// bytes 0x80 and above never count as white space) in place.
EVTASK_EXPORT void trimWhiteSpace(std::string& s);

// The characters used with transform_string_encode/decode: a space is
// escaped as "+1", a literal '+' as "+2", and an empty text is written as a
// single back-quote so that an encoded text is never empty.
constexpr char TransformStringFromSymbol = ' ';
constexpr char TransformStringToSymbol = '+';
constexpr char TransformStringEmptySymbol = '`';

// Reversible escaping in place; both return s. Encoding replaces each `from`
// character by `escape` followed by '1' and follows each `escape` character by
// '2'; an empty text becomes TransformStringEmptySymbol, and a text starting
// with TransformStringEmptySymbol gets a second one in front so that decoding
// can tell the two apart. With the symbol constants the result contains no
// `from` character, is never empty, and decodes to the original text.
EVTASK_EXPORT std::string& transform_string_encode(std::string& s, char from, char escape);
// Reverses transform_string_encode. An `escape` character followed by '1'
// becomes `from`, followed by any other character becomes `escape`; an
// `escape` at the very end stays as it is.
EVTASK_EXPORT std::string& transform_string_decode(std::string& s, char from, char escape);

// Reads a service-pack version text such as "SP12", "SP12HPK3", "SP12a" or
// "11.80" into a major and a minor number. Both are set to 0 first and a
// number that cannot be found stays 0. The major number is the digit run after
// the first "SP" (else after the first "."); the minor number is the digit run
// after "HPK" or a following ".", or a trailing letter ('a' = 1, 'b' = 2, ...).
// Digit runs too large for an int read as INT_MAX.
EVTASK_EXPORT void ParseSPVersionInfo(std::string version, int& major, int& minor);

// The database timestamp record of the ODBC interface.
struct EVTASK_EXPORT tagTIMESTAMP_STRUCT {
  short year;
  unsigned short month;
  unsigned short day;
  unsigned short hour;
  unsigned short minute;
  unsigned short second;
  unsigned long fraction;
};
static_assert(sizeof(tagTIMESTAMP_STRUCT) == 16, "ODBC timestamp layout");

// Calendar time of local midnight of the timestamp's date; the time of day is
// ignored and the C library decides on daylight saving time. Returns -1 when
// the date cannot be represented, or when ts is null.
EVTASK_EXPORT time_t AppTimeStampTotime_t(const tagTIMESTAMP_STRUCT* ts);

// Results of unicodeToUtf8 and utf8ToUnicode besides 0 (success).
constexpr int UTF_CONVERSION_NO_MEMORY = -11111;  // a work buffer could not be allocated
constexpr int UTF_CONVERSION_ILLEGAL = -33333;    // the text is not convertible

// Converts wide text to UTF-8 under strict rules. Wide characters up to
// 0xFFFF are taken as UTF-16 units (so a surrogate pair, as produced by
// utf8ToUnicode, converts into one four-byte sequence); a character above
// 0xFFFF is converted as the surrogate pair that encodes it. A low surrogate
// without a high one, a high surrogate followed by anything but a low one, and
// characters above 0x10FFFF make the text not convertible; a high surrogate
// that is the last character is converted on its own into three bytes.
// Returns 0, UTF_CONVERSION_NO_MEMORY or UTF_CONVERSION_ILLEGAL; out is
// changed only on success.
EVTASK_EXPORT int unicodeToUtf8(const std::wstring& in, std::string& out);

// Converts UTF-8 text to wide text holding UTF-16 units, one unit per wide
// character (characters above 0xFFFF become two wide characters, a surrogate
// pair). Overlong forms, encoded surrogates, sequences longer than four bytes
// and truncated sequences make the text not convertible. Zero bytes convert
// to zero characters. Returns 0, UTF_CONVERSION_NO_MEMORY or
// UTF_CONVERSION_ILLEGAL; out is changed only on success.
EVTASK_EXPORT int utf8ToUnicode(const std::string& in, std::wstring& out);

// Returns the text unchanged. Callers use it where a text crosses to a
// wide-text interface; on this platform both sides take the same bytes.
EVTASK_EXPORT std::string StringToWString(std::string s);

#endif  // EVTASK_UTIL_STRINGUTILS_H
