#include "util/StringUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Components = std::vector<std::string>;

TEST(StringUtilsTest, NthDelimiterSplittingAndTrimming) {
  const std::string text = "a,b,c";
  EXPECT_EQ(3, std::find_if(text.begin(), text.end(), NthDelimiter(2, ',')) - text.begin());
  EXPECT_EQ(text.end(), std::find_if(text.begin(), text.end(), NthDelimiter(3, ',')));
  // n == 0 accepts the first character, delimiter or not.
  EXPECT_EQ(text.begin(), std::find_if(text.begin(), text.end(), NthDelimiter(0, ',')));

  const struct {
    const char* text;
    char delimiter;
    int minimum;
    Components expected;
  } cases[] = {
      {"a,b,", ',', 0, {"a", "b", ""}}, {",,", ',', 0, {"", "", ""}}, {"x,y;z", ';', 0, {"x,y", "z"}},
      {"", ',', 0, {}},                 {"a", ',', 3, {"a", "", ""}}, {"a,b,c", ',', 2, {"a", "b", "c"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, StringParser(c.text, c.delimiter).getComponents(c.minimum)) << c.text << " " << c.minimum;
  }
  // A second call appends to the same vector.
  StringParser parser("a,b", ',');
  std::vector<std::string>& first = parser.getComponents(0);
  EXPECT_EQ(&first, &parser.getComponents(3));
  EXPECT_EQ((Components{"a", "b", "a", "b", ""}), first);

  // Bytes of multi-byte sequences are never white space.
  const std::pair<std::string, std::string> trims[] = {
      {" \t a b \r\n", "a b"}, {" \t\n ", ""}, {"", ""}, {"\xC3\xA9 \x85", "\xC3\xA9 \x85"}};
  for (const auto& c : trims) {
    std::string s = c.first;
    trimWhiteSpace(s);
    EXPECT_EQ(c.second, s) << "[" << c.first << "]";
  }
}

std::string encode(std::string s) {
  return transform_string_encode(s, TransformStringFromSymbol, TransformStringToSymbol);
}
std::string decode(std::string s) {
  return transform_string_decode(s, TransformStringFromSymbol, TransformStringToSymbol);
}

TEST(StringUtilsTest, TransformStringEncodesDecodesAndRoundTripsEveryShortText) {
  const std::pair<std::string, std::string> pairs[] = {{"a b+c", "a+1b+2c"}, {"", "`"}, {"`", "``"}};
  for (const auto& p : pairs) {
    EXPECT_EQ(p.second, encode(p.first));
    EXPECT_EQ(p.first, decode(p.second));
  }
  EXPECT_EQ("", decode(""));
  EXPECT_EQ("a+", decode("a+"));   // a trailing escape stays
  EXPECT_EQ("+x", decode("+9x"));  // escape + other digit gives the escape back
  std::string s = "x y";
  EXPECT_EQ(&s, &transform_string_encode(s, ' ', '+'));
  EXPECT_EQ(&s, &transform_string_decode(s, ' ', '+'));
  EXPECT_EQ("x y", s);

  std::vector<std::string> texts = {""};
  for (size_t begin = 0, length = 0; length < 5; ++length) {
    const size_t end = texts.size();
    for (size_t i = begin; i < end; ++i) {
      for (char c : std::string(" +`12a")) texts.push_back(texts[i] + c);
    }
    begin = end;
  }
  for (const std::string& text : texts) {
    const std::string encoded = encode(text);
    EXPECT_FALSE(encoded.empty()) << "[" << text << "]";
    EXPECT_EQ(std::string::npos, encoded.find(' ')) << "[" << text << "]";
    EXPECT_EQ(text, decode(encoded)) << "[" << text << "] -> [" << encoded << "]";
  }
}

TEST(StringUtilsTest, ParseSPVersionInfoReadsMajorAndMinor) {
  const struct {
    const char* text;
    int major, minor;
  } cases[] = {
      {"SP12", 12, 0},    {"SP12HPK3", 12, 3}, {"SP12a", 12, 1}, {"SP12b", 12, 2}, {"11.80", 80, 0},
      {"SP12+", 12, 0},   {"SP12.4", 12, 4},   {"  SP7 \t", 7, 0}, {"", 0, 0},     {"abc", 0, 0},
      {"SP", 0, 0},       {"R11", 0, 0},       {"SPx", 0, 24},     {"SP99999999999999999999", INT_MAX, 0},
  };
  for (const auto& c : cases) {
    int major = -9, minor = -9;
    ParseSPVersionInfo(c.text, major, minor);
    EXPECT_EQ(c.major, major) << "[" << c.text << "]";
    EXPECT_EQ(c.minor, minor) << "[" << c.text << "]";
  }
}

TEST(StringUtilsTest, TimeStampGivesLocalMidnightOfTheDateAndAnErrorForNull) {
  const char* tz = std::getenv("TZ");
  const std::string saved = tz != nullptr ? tz : "";
  tagTIMESTAMP_STRUCT ts = {2020, 1, 2, 10, 20, 30, 999};
  std::vector<time_t> midnights;
  for (const char* zone : {"UTC0", "EST5"}) {
    setenv("TZ", zone, 1);
    tzset();
    midnights.push_back(AppTimeStampTotime_t(&ts));
  }
  if (tz != nullptr) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
  EXPECT_EQ((std::vector<time_t>{1577923200, 1577923200 + 5 * 3600}), midnights);
  EXPECT_EQ(static_cast<time_t>(-1), AppTimeStampTotime_t(nullptr));
}

}  // namespace
