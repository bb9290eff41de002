// Reading checks each field against its class's schema whatever order the
// schema lists its tags in and whatever nested messages come between, and
// reads numbers at every length up to the 64-bit limits.
#include "platform/CNMessageBase.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/YmErrors.h"

namespace {

void registerClasses() {
  // Tags in ascending order, with gaps.
  registerMessageClass({78, 1, "Sorted", {{1, XmlFieldKind::kInt, 0, 0}, {4, XmlFieldKind::kObject, 78, 2},
                                          {6, XmlFieldKind::kText, 0, 0}, {9, XmlFieldKind::kInt, 0, 0}}});
  // The nested class declares the outer class's later tags with other kinds.
  registerMessageClass({78, 2, "Nested", {{6, XmlFieldKind::kInt, 0, 0}, {9, XmlFieldKind::kText, 0, 0}}});
  // Tags out of order.
  registerMessageClass({78, 3, "Unsorted", {{12, XmlFieldKind::kText, 0, 0}, {9, XmlFieldKind::kInt, 0, 0},
                                            {4, XmlFieldKind::kObject, 78, 2}, {2, XmlFieldKind::kText, 0, 0}}});
}

TEST(XmlReadOrderTest, DeclaredKindsAreCheckedForEveryField) {
  registerClasses();
  const struct {
    const char* xml;
    int code;
  } cases[] = {
      {"<m f=\"78\" c=\"1\"><i t=\"1\">1</i><s t=\"6\">x</s><i t=\"9\">2</i></m>", 0},
      {"<m f=\"78\" c=\"1\"><i t=\"9\">2</i></m>", 0},
      {"<m f=\"78\" c=\"1\"><i t=\"6\">1</i></m>", YM_XML_WRONG_TYPE},
      {"<m f=\"78\" c=\"1\"><i t=\"1\">1</i><s t=\"9\">x</s></m>", YM_XML_WRONG_TYPE},
      {"<m f=\"78\" c=\"1\"><i t=\"5\">1</i><s t=\"9\">x</s></m>", YM_XML_WRONG_TYPE},
      {"<m f=\"78\" c=\"1\"><o t=\"4\" f=\"78\" c=\"2\"><i t=\"6\">1</i></o><s t=\"6\">x</s></m>", 0},
      {"<m f=\"78\" c=\"1\"><o t=\"4\" f=\"78\" c=\"2\"><i t=\"6\">1</i></o><i t=\"6\">1</i></m>",
       YM_XML_WRONG_TYPE},
      {"<m f=\"78\" c=\"1\"><o t=\"4\" f=\"78\" c=\"2\"/><s t=\"9\">x</s></m>", YM_XML_WRONG_TYPE},
      {"<m f=\"78\" c=\"3\"><s t=\"2\">x</s><i t=\"9\">1</i></m>", 0},
      {"<m f=\"78\" c=\"3\"><i t=\"2\">1</i></m>", YM_XML_WRONG_TYPE},
      {"<m f=\"78\" c=\"3\"><s t=\"2\">x</s><s t=\"9\">y</s></m>", YM_XML_WRONG_TYPE},
      {"<m f=\"78\" c=\"3\"><o t=\"4\" f=\"78\" c=\"2\"/><s t=\"9\">y</s></m>", YM_XML_WRONG_TYPE},
  };
  for (const auto& c : cases) {
    CNMessageBase m(78, c.xml[13] - '0');
    EXPECT_EQ(c.code, m.unserialize(c.xml)) << c.xml;
  }
}

TEST(XmlReadOrderTest, NumbersOfEveryLengthReadExactly) {
  const struct {
    const char* text;
    int code;
    long long value;
  } cases[] = {
      {"0", 0, 0},
      {"999999999", 0, 999999999},
      {"4294967296", 0, 4294967296ll},
      {"-1000000000", 0, -1000000000ll},
      {"999999999999999999", 0, 999999999999999999ll},
      {"9223372036854775807", 0, 9223372036854775807ll},
      {"-9223372036854775808", 0, -9223372036854775807ll - 1},
      {"0000000000000000000000012", 0, 12},
      {"9223372036854775808", YM_XML_OUT_OF_RANGE, 0},
      {"-9223372036854775809", YM_XML_OUT_OF_RANGE, 0},
      {"10000000000000000000", YM_XML_OUT_OF_RANGE, 0},
      {"12345678901x", YM_XML_MALFORMED, 0},
  };
  for (const auto& c : cases) {
    CNMessageBase m(79, 1);
    const std::string xml = std::string("<m f=\"79\" c=\"1\"><i t=\"3\">") + c.text + "</i></m>";
    ASSERT_EQ(c.code, m.unserialize(xml)) << c.text;
    if (c.code != 0) continue;
    long long v = -1;
    ASSERT_EQ(0, m.getint64(3, 0, v)) << c.text;
    EXPECT_EQ(c.value, v) << c.text;
  }
}

}  // namespace
