#include "util/StringUtils.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>

#include "util/ConvertUTF.h"

NthDelimiter::NthDelimiter(int n, char delimiter) : m_count(0), m_n(n), m_delimiter(delimiter) {}

bool NthDelimiter::operator()(char c) {
  if (m_n == 0) return true;
  if (c != m_delimiter) return false;
  ++m_count;
  return m_count == m_n;
}

StringParser::StringParser(const std::string& text, char delimiter)
    : m_text(text), m_delimiter(delimiter) {}

std::vector<std::string>& StringParser::getComponents(int minCount) {
  // Each component runs from one delimiter to the next. The search for the
  // next delimiter continues from the current one instead of recounting from
  // the start of the text, which finds the same positions in linear time.
  int count = 0;
  std::string::size_type start = 0;
  const std::string::size_type end = m_text.size();
  while (start != end) {
    ++count;
    const std::string::size_type from = (count == 1) ? start : start + 1;
    std::string::size_type stop = m_text.find(m_delimiter, from);
    if (stop == std::string::npos) stop = end;
    m_components.push_back(m_text.substr(from, stop - from));
    start = stop;
  }
  if (minCount != 0) {
    for (; count < minCount; ++count) m_components.emplace_back();
  }
  return m_components;
}

namespace {

// White space as the C library classifies it, but only for 7-bit bytes:
// bytes of multi-byte UTF-8 sequences must never be trimmed.
bool isTrimmable(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u < 0x80 && std::isspace(u) != 0;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the run of decimal digits at pos, advancing pos past it. Returns
// false when there is none; values beyond INT_MAX read as INT_MAX.
bool readDigits(const std::string& s, std::string::size_type& pos, int& value) {
  const std::string::size_type first = pos;
  long long v = 0;
  while (pos < s.size() && isDigit(s[pos])) {
    if (v <= INT_MAX) v = v * 10 + (s[pos] - '0');
    ++pos;
  }
  if (pos == first) return false;
  value = v > INT_MAX ? INT_MAX : static_cast<int>(v);
  return true;
}

}  // namespace

void trimWhiteSpace(std::string& s) {
  std::string::size_type first = 0;
  std::string::size_type last = s.size();
  while (first < last && isTrimmable(s[first])) ++first;
  while (last > first && isTrimmable(s[last - 1])) --last;
  s = s.substr(first, last - first);
}

std::string& transform_string_encode(std::string& s, char from, char escape) {
  if (s.empty()) {
    s.assign(1, TransformStringEmptySymbol);
    return s;
  }
  // A leading empty-text marker is doubled so that decoding, which drops one
  // marker, keeps the other.
  if (s[0] == TransformStringEmptySymbol) s.insert(s.begin(), TransformStringEmptySymbol);
  std::string out;
  out.reserve(s.size() + 8);
  for (char c : s) {
    if (c == from) {
      out.push_back(escape);
      out.push_back('1');
    } else if (c == escape) {
      out.push_back(escape);
      out.push_back('2');
    } else {
      out.push_back(c);
    }
  }
  s.swap(out);
  return s;
}

std::string& transform_string_decode(std::string& s, char from, char escape) {
  if (s.empty()) return s;
  std::string::size_type i = 0;
  if (s[0] == TransformStringEmptySymbol) i = 1;
  std::string out;
  out.reserve(s.size());
  while (i < s.size()) {
    const char c = s[i];
    if (c == escape && i + 1 < s.size()) {
      out.push_back(s[i + 1] == '1' ? from : escape);
      i += 2;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  s.swap(out);
  return s;
}

void ParseSPVersionInfo(std::string version, int& major, int& minor) {
  major = 0;
  minor = 0;
  trimWhiteSpace(version);
  if (version.empty()) return;

  std::string::size_type pos = version.find("SP");
  if (pos != std::string::npos) {
    pos += 2;
  } else {
    pos = version.find('.');
    if (pos == std::string::npos) return;
    pos += 1;
  }
  if (pos >= version.size()) return;

  readDigits(version, pos, major);
  if (pos >= version.size()) return;

  const std::string::size_type hotfix = version.find("HPK");
  if (hotfix != std::string::npos) {
    pos = hotfix + 3;
  } else {
    const std::string::size_type dot = version.find('.', pos);
    if (dot != std::string::npos) pos = dot + 1;
  }

  readDigits(version, pos, minor);
  if (pos < version.size() && version[pos] != '+' && version[pos] != '-') {
    minor = static_cast<unsigned char>(version[pos]) - 0x60;
  }
}

time_t AppTimeStampTotime_t(const tagTIMESTAMP_STRUCT* ts) {
  if (ts == nullptr) return static_cast<time_t>(-1);
  struct tm t = {};
  t.tm_year = ts->year - 1900;
  t.tm_mon = ts->month - 1;
  t.tm_mday = ts->day;
  t.tm_hour = 0;
  t.tm_min = 0;
  t.tm_sec = 0;
  t.tm_isdst = -1;
  return mktime(&t);
}

int unicodeToUtf8(const std::wstring& in, std::string& out) {
  const std::size_t length = in.size();
  // Each wide character becomes at most two UTF-16 units and at most four
  // bytes; refuse sizes whose buffers cannot be addressed.
  if (length > (SIZE_MAX - 1) / 4 / sizeof(UTF16)) return UTF_CONVERSION_NO_MEMORY;
  std::unique_ptr<UTF16[]> units(new (std::nothrow) UTF16[2 * length + 1]);
  std::unique_ptr<UTF8[]> bytes(new (std::nothrow) UTF8[4 * length + 1]);
  if (!units || !bytes) return UTF_CONVERSION_NO_MEMORY;

  UTF16* unitEnd = units.get();
  for (wchar_t wc : in) {
    const UTF32 c = static_cast<UTF32>(static_cast<std::make_unsigned<wchar_t>::type>(wc));
    if (c <= 0xFFFF) {
      *unitEnd++ = static_cast<UTF16>(c);
    } else if (c <= 0x10FFFF) {
      // A full code point held in one wide character: give the converter the
      // surrogate pair that encodes it rather than its truncated low bits.
      const UTF32 v = c - halfBase;
      *unitEnd++ = static_cast<UTF16>(0xD800 + (v >> halfShift));
      *unitEnd++ = static_cast<UTF16>(0xDC00 + (v & halfMask));
    } else {
      return UTF_CONVERSION_ILLEGAL;
    }
  }

  const UTF16* source = units.get();
  UTF8* target = bytes.get();
  ConversionResult rc = ConvertUTF16toUTF8(&source, unitEnd, &target, bytes.get() + 4 * length,
                                           strictConversion);
  if (rc != conversionOK) return UTF_CONVERSION_ILLEGAL;
  out.assign(reinterpret_cast<const char*>(bytes.get()),
             static_cast<std::size_t>(target - bytes.get()));
  return 0;
}

int utf8ToUnicode(const std::string& in, std::wstring& out) {
  const std::size_t length = in.size();
  if (length > (SIZE_MAX - 1) / sizeof(wchar_t)) return UTF_CONVERSION_NO_MEMORY;
  // UTF-16 never needs more units than UTF-8 needs bytes.
  std::unique_ptr<UTF16[]> units(new (std::nothrow) UTF16[length + 1]);
  std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[length + 1]);
  if (!units || !wide) return UTF_CONVERSION_NO_MEMORY;

  const UTF8* source = reinterpret_cast<const UTF8*>(in.data());
  UTF16* target = units.get();
  ConversionResult rc =
      ConvertUTF8toUTF16(&source, source + length, &target, units.get() + length, strictConversion);
  if (rc != conversionOK) return UTF_CONVERSION_ILLEGAL;

  const std::size_t count = static_cast<std::size_t>(target - units.get());
  for (std::size_t i = 0; i < count; ++i) wide[i] = static_cast<wchar_t>(units[i]);
  out.assign(wide.get(), count);
  return 0;
}

std::string StringToWString(std::string s) { return s; }
