#include "util/StringUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Components = std::vector<std::string>;

TEST(NthDelimiterTest, FindsNthDelimiterFromStart) {
  const std::string text = "a,b,c";
  EXPECT_EQ(1, std::find_if(text.begin(), text.end(), NthDelimiter(1, ',')) - text.begin());
  EXPECT_EQ(3, std::find_if(text.begin(), text.end(), NthDelimiter(2, ',')) - text.begin());
  EXPECT_EQ(text.end(), std::find_if(text.begin(), text.end(), NthDelimiter(3, ',')));
  // n == 0 accepts the first character, delimiter or not.
  EXPECT_EQ(text.begin(), std::find_if(text.begin(), text.end(), NthDelimiter(0, ',')));
  NthDelimiter predicate(2, ';');
  EXPECT_FALSE(predicate('x'));
  EXPECT_FALSE(predicate(';'));
  EXPECT_TRUE(predicate(';'));
  EXPECT_FALSE(predicate(';'));  // only the n-th one matches
}

TEST(StringParserTest, SplitsAtEveryDelimiter) {
  EXPECT_EQ((Components{"a", "b", "c"}), StringParser("a,b,c", ',').getComponents(0));
  EXPECT_EQ((Components{"a", "b", ""}), StringParser("a,b,", ',').getComponents(0));
  EXPECT_EQ((Components{"", "a"}), StringParser(",a", ',').getComponents(0));
  EXPECT_EQ((Components{"", "", ""}), StringParser(",,", ',').getComponents(0));
  EXPECT_EQ((Components{"x,y", "z"}), StringParser("x,y;z", ';').getComponents(0));
  EXPECT_TRUE(StringParser("", ',').getComponents(0).empty());
}

TEST(StringParserTest, MinimumCountPadsWithEmptyComponents) {
  EXPECT_EQ((Components{"a", "", ""}), StringParser("a", ',').getComponents(3));
  EXPECT_EQ((Components{"", ""}), StringParser("", ',').getComponents(2));
  EXPECT_EQ((Components{"a", "b", "c"}), StringParser("a,b,c", ',').getComponents(2));
}

TEST(StringParserTest, SecondCallAppendsToTheSameVector) {
  StringParser parser("a,b", ',');
  std::vector<std::string>& first = parser.getComponents(0);
  std::vector<std::string>& second = parser.getComponents(3);
  EXPECT_EQ(&first, &second);
  EXPECT_EQ((Components{"a", "b", "a", "b", ""}), second);
}

TEST(TrimWhiteSpaceTest, TrimsBothEndsOnly) {
  std::string s = " \t a b \r\n";
  trimWhiteSpace(s);
  EXPECT_EQ("a b", s);
  s = " \t\n ";
  trimWhiteSpace(s);
  EXPECT_EQ("", s);
  s = "";
  trimWhiteSpace(s);
  EXPECT_EQ("", s);
  // Bytes of multi-byte sequences are never white space.
  s = "\xC3\xA9 \x85";
  trimWhiteSpace(s);
  EXPECT_EQ("\xC3\xA9 \x85", s);
}

std::string encode(std::string s) {
  return transform_string_encode(s, TransformStringFromSymbol, TransformStringToSymbol);
}
std::string decode(std::string s) {
  return transform_string_decode(s, TransformStringFromSymbol, TransformStringToSymbol);
}

TEST(TransformStringTest, EncodesAndDecodesExamples) {
  EXPECT_EQ("a+1b+2c", encode("a b+c"));
  EXPECT_EQ("a b+c", decode("a+1b+2c"));
  EXPECT_EQ("`", encode(""));
  EXPECT_EQ("", decode("`"));
  EXPECT_EQ("", decode(""));
  EXPECT_EQ("``", encode("`"));
  EXPECT_EQ("`", decode("``"));
  EXPECT_EQ("a+", decode("a+"));  // a trailing escape stays
  EXPECT_EQ("+x", decode("+9x"));  // escape + other digit gives the escape back

  std::string s = "x y";
  EXPECT_EQ(&s, &transform_string_encode(s, ' ', '+'));
  EXPECT_EQ(&s, &transform_string_decode(s, ' ', '+'));
  EXPECT_EQ("x y", s);
}

TEST(TransformStringTest, RoundTripsEveryShortText) {
  const std::string alphabet = " +`12a";
  std::vector<std::string> texts = {""};
  for (size_t begin = 0, length = 0; length < 5; ++length) {
    const size_t end = texts.size();
    for (size_t i = begin; i < end; ++i) {
      for (char c : alphabet) texts.push_back(texts[i] + c);
    }
    begin = end;
  }
  ASSERT_EQ(1u + 6 + 36 + 216 + 1296 + 7776, texts.size());
  for (const std::string& text : texts) {
    const std::string encoded = encode(text);
    EXPECT_FALSE(encoded.empty()) << "[" << text << "]";
    EXPECT_EQ(std::string::npos, encoded.find(' ')) << "[" << text << "]";
    EXPECT_EQ(text, decode(encoded)) << "[" << text << "] -> [" << encoded << "]";
  }
}

struct VersionCase {
  const char* text;
  int major;
  int minor;
};

TEST(ParseSPVersionInfoTest, ReadsMajorAndMinor) {
  const VersionCase cases[] = {
      {"SP12", 12, 0},       {"SP12HPK3", 12, 3}, {"SP12a", 12, 1},     {"SP12b", 12, 2},
      {"11.80", 80, 0},      {"SP12+", 12, 0},    {"SP12-", 12, 0},     {"SP12.4", 12, 4},
      {"  SP7 \t", 7, 0},    {"", 0, 0},          {"   ", 0, 0},        {"abc", 0, 0},
      {"SP", 0, 0},          {"R11", 0, 0},       {"SPx", 0, 24},
      {"SP99999999999999999999", INT_MAX, 0},
  };
  for (const VersionCase& c : cases) {
    int major = -9;
    int minor = -9;
    ParseSPVersionInfo(c.text, major, minor);
    EXPECT_EQ(c.major, major) << "[" << c.text << "]";
    EXPECT_EQ(c.minor, minor) << "[" << c.text << "]";
  }
}

// Runs each test in a fixed time zone and restores the previous one.
class TimeStampTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    if (hadTz_) savedTz_ = tz;
  }
  void TearDown() override {
    if (hadTz_) {
      setenv("TZ", savedTz_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void useZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

 private:
  bool hadTz_ = false;
  std::string savedTz_;
};

TEST_F(TimeStampTest, GivesLocalMidnightOfTheDate) {
  tagTIMESTAMP_STRUCT ts = {2020, 1, 2, 10, 20, 30, 999};
  useZone("UTC0");
  EXPECT_EQ(1577923200, AppTimeStampTotime_t(&ts));
  tagTIMESTAMP_STRUCT midnight = {2020, 1, 2, 0, 0, 0, 0};
  EXPECT_EQ(AppTimeStampTotime_t(&midnight), AppTimeStampTotime_t(&ts));
  useZone("EST5");
  EXPECT_EQ(1577923200 + 5 * 3600, AppTimeStampTotime_t(&ts));
}

TEST_F(TimeStampTest, NullTimestampIsAnError) {
  EXPECT_EQ(static_cast<time_t>(-1), AppTimeStampTotime_t(nullptr));
}

TEST(StringToWStringTest, ReturnsTextUnchanged) {
  EXPECT_EQ(std::string("a\0b\xC3\xA9", 5), StringToWString(std::string("a\0b\xC3\xA9", 5)));
}

}  // namespace
