#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/CNMessageBase.h"
#include "platform/PlatformMessages.h"
#include "platform/XmlServices.h"
#include "platform/XmlTreeView.h"
#include "platform/YmErrors.h"
#include "support/FakeAppMgr.h"
#include "support/FakeXml.h"

using namespace evtask;
using evtask::test::ScopedFakeAppMgr;
namespace xmltree = evtask::xmltree;

namespace {

void registerClasses() {
  // A class with a schema: tag 1 integer, tag 2 text, tag 3 a nested 77/2.
  registerMessageClass({77, 1, "Probe", {{1, XmlFieldKind::kInt, 0, 0}, {2, XmlFieldKind::kText, 0, 0},
                                         {3, XmlFieldKind::kObject, 77, 2}}});
  // Tags in ascending order, with gaps; the nested class declares the outer
  // class's later tags with other kinds; and tags out of order.
  registerMessageClass({78, 1, "Sorted", {{1, XmlFieldKind::kInt, 0, 0}, {4, XmlFieldKind::kObject, 78, 2},
                                          {6, XmlFieldKind::kText, 0, 0}, {9, XmlFieldKind::kInt, 0, 0}}});
  registerMessageClass({78, 2, "Nested", {{6, XmlFieldKind::kInt, 0, 0}, {9, XmlFieldKind::kText, 0, 0}}});
  registerMessageClass({78, 3, "Unsorted", {{12, XmlFieldKind::kText, 0, 0}, {9, XmlFieldKind::kInt, 0, 0},
                                            {4, XmlFieldKind::kObject, 78, 2}, {2, XmlFieldKind::kText, 0, 0}}});
}

// Every reading test runs twice: through the direct view of pugixml's tree,
// which must be usable with the pugixml linked, and through its accessors.
class XmlMessageBaseTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xmltree::directViewUsable()) << "the linked pugixml's records are not the view's";
    xmltree::setAccessorsOnly(GetParam());
    ASSERT_EQ(!GetParam(), xmltree::directViewUsable());
  }
  void TearDown() override { xmltree::setAccessorsOnly(false); }
};
INSTANTIATE_TEST_SUITE_P(Views, XmlMessageBaseTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Accessors" : "Direct"; });

// The probe refuses a view that reads any one word of pugixml's records from
// another place than pugixml keeps it.
TEST(XmlTreeViewTest, AViewReadingAnyWordFromElsewhereIsRefused) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string("<m f=\"1\" c=\"2\"><i t=\"3\">4</i><lo t=\"5\"><m f=\"6\" c=\"7\"/>x</lo></m>",
                              xmltree::kParseOptions));
  EXPECT_TRUE(xmltree::viewAgrees(doc));
  using L = xmltree::raw::Layout;
  int L::*const words[] = {&L::nodeHeader,     &L::nodeName,      &L::nodeValue,      &L::firstChild,   &L::nextSibling,
                           &L::firstAttribute, &L::attributeName, &L::attributeValue, &L::nextAttribute};
  for (auto word : words) {
    for (int shift : {-1, 1}) {
      L moved = xmltree::raw::kLayout;
      moved.*word += shift;
      if (moved.*word < 0) continue;
      EXPECT_FALSE(xmltree::viewAgrees(doc, moved)) << "word moved to " << moved.*word;
    }
  }
}

CNMessageBase sample() {
  CNMessageBase m(77, 1);
  m.setint64(1, 0, -9223372036854775807ll - 1);
  m.setstring(2, 0, "a<b>&\"c'");
  m.getObjectAccessor(3, 0, true, false, 77, 2)->setint64(9, 0, 42);
  m.setlistint(4, 0, {1, -2, 2147483647});
  m.setlistuint(5, 7, {0u, 4294967295u});
  m.setliststring(6, 0, {"", "x", "%"});
  CNMessageBase item(77, 3);
  item.setstring(1, 0, "first");
  m.appendlistobject(8, 0, item);
  item.setstring(1, 0, "second");
  m.appendlistobject(8, 0, item);
  return m;
}

TEST_P(XmlMessageBaseTest, EveryKindOfFieldRoundTrips) {
  registerClasses();
  const CNMessageBase m = sample();
  std::string xml;
  ASSERT_EQ(0, m.serialize(xml, false));
  CNMessageBase back(77, 1);
  ASSERT_EQ(0, back.unserialize(xml)) << back.lastError();
  std::string again;
  ASSERT_EQ(0, back.serialize(again, false));
  EXPECT_EQ(xml, again);
  std::vector<unsigned int> uints;
  EXPECT_EQ(YM_XML_NOT_SET, back.getlistuint(5, 0, uints));
  EXPECT_EQ(0, back.getlistuint(5, 7, uints));
  EXPECT_EQ((std::vector<unsigned int>{0u, 4294967295u}), uints);
  EXPECT_EQ(42, evtask::test::num(back, {3}, 9));
  const auto items = evtask::test::list(back, {}, 8);
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ("second", evtask::test::text(items[1], {}, 1));
  EXPECT_EQ(77u * 65536u + 1u, back.getTagID());
}

TEST_P(XmlMessageBaseTest, AnyByteValueComesBackByteForByte) {
  std::vector<std::string> samples;
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  samples.push_back(all);
  samples.push_back(std::string("\r\n\r \t  ", 7));  // line ends and blanks that parsers rewrite
  samples.push_back("   ");
  samples.push_back("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");                   // valid UTF-8 stays raw
  samples.push_back("\xC0\xAF\xED\xA0\x80\xEF\xBF\xBF\xF4\x90\x80\x80\xC3");  // overlong, surrogate, ..., cut
  samples.push_back("%41%zz%");
  samples.push_back("]]><![CDATA[x]]>");
  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) {
    std::string s(rng() % 40, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    samples.push_back(s);
  }
  CNMessageBase escaped(1, 1);
  escaped.setstring(1, 0, std::string("\x01\x1F\xFF%", 4));
  std::string xml;
  ASSERT_EQ(0, escaped.serialize(xml, false));
  EXPECT_NE(std::string::npos, xml.find("%01%1F%FF%25")) << xml;
  for (const std::string& s : samples) {
    CNMessageBase m(1, 1);
    m.setstring(1, 0, s);
    m.setliststring(2, 0, {s, s});
    xml.clear();
    ASSERT_EQ(0, m.serialize(xml, false));
    CNMessageBase back(1, 1);
    ASSERT_EQ(0, back.unserialize(xml.c_str())) << back.lastError();
    std::string got;
    back.getstring(1, 0, got);
    EXPECT_EQ(s, got);
    std::vector<std::string> texts;
    back.getliststring(2, 0, texts);
    EXPECT_EQ((std::vector<std::string>{s, s}), texts);
  }
}

TEST_P(XmlMessageBaseTest, UntrustedTextIsRefusedAndLeavesTheMessageUnchanged) {
  registerClasses();
  std::string deep = "<m f=\"77\" c=\"9\">";
  for (int i = 0; i < CNMessageBase::kMaxDepth + 1; ++i) deep += "<o t=\"1\" f=\"77\" c=\"9\">";
  for (int i = 0; i < CNMessageBase::kMaxDepth + 1; ++i) deep += "</o>";
  deep = "<m f=\"77\" c=\"1\"><lo t=\"7\">" + deep + "</m></lo></m>";
  std::string longList = "<m f=\"77\" c=\"1\"><li t=\"4\">";
  for (size_t i = 0; i <= CNMessageBase::kMaxListLength; ++i) longList += "<v>1</v>";
  longList += "</li></m>";
  const std::string m = "<m f=\"77\" c=\"1\">";
  const struct {
    const char* name;
    std::string xml;
    int code;
  } cases[] = {
      {"empty", "", YM_XML_EMPTY},
      {"not XML", "not xml at all", YM_XML_MALFORMED},
      {"unclosed", m + "<i t=\"1\">5</i>", YM_XML_MALFORMED},
      {"other root", "<x f=\"77\" c=\"1\"/>", YM_XML_MALFORMED},
      {"root without class", "<m/>", YM_XML_MALFORMED},
      {"two roots", "<m f=\"77\" c=\"1\"/><m f=\"77\" c=\"1\"/>", YM_XML_MALFORMED},
      {"wrong class", "<m f=\"12\" c=\"1\"/>", YM_XML_WRONG_CLASS},
      {"unknown element", m + "<q t=\"1\">5</q></m>", YM_XML_MALFORMED},
      {"tag missing", m + "<i>5</i></m>", YM_XML_MALFORMED},
      {"tag too large", m + "<i t=\"65536\">5</i></m>", YM_XML_MALFORMED},
      {"repeated tag", m + "<i t=\"9\">5</i><i t=\"9\">6</i></m>", YM_XML_MALFORMED},
      {"declared integer given as text", m + "<s t=\"1\">5</s></m>", YM_XML_WRONG_TYPE},
      {"declared text given as list", m + "<ls t=\"2\"/></m>", YM_XML_WRONG_TYPE},
      {"nested message of another class", m + "<o t=\"3\" f=\"77\" c=\"5\"/></m>", YM_XML_WRONG_CLASS},
      {"number too large", m + "<i t=\"1\">9223372036854775808</i></m>", YM_XML_OUT_OF_RANGE},
      {"number with letters", m + "<i t=\"1\">12ab</i></m>", YM_XML_MALFORMED},
      {"empty number", m + "<i t=\"1\"></i></m>", YM_XML_MALFORMED},
      {"list number out of range", m + "<li t=\"4\"><v>1</v><v>-99999999999999999999</v></li></m>",
       YM_XML_OUT_OF_RANGE},
      {"bad escape", m + "<s t=\"2\">50%</s></m>", YM_XML_MALFORMED},
      {"element inside a value", m + "<s t=\"2\"><b/></s></m>", YM_XML_MALFORMED},
      {"wrong list item", m + "<ls t=\"6\"><w/></ls></m>", YM_XML_MALFORMED},
      {"text between fields", m + "junk<i t=\"1\">5</i></m>", YM_XML_MALFORMED},
      {"text before list items", m + "<li t=\"4\">junk<v>1</v></li></m>", YM_XML_MALFORMED},
      {"text before list messages", m + "<lo t=\"8\">junk<m f=\"77\" c=\"3\"/></lo></m>", YM_XML_MALFORMED},
      {"text in a nested message", m + "<o t=\"3\" f=\"77\" c=\"2\">junk</o></m>", YM_XML_MALFORMED},
      {"value followed by an element", m + "<i t=\"1\">5<b/></i></m>", YM_XML_MALFORMED},
      {"value split by CDATA", m + "<s t=\"2\">a<![CDATA[b]]></s></m>", YM_XML_MALFORMED},
      {"too deep", deep, YM_XML_LIMIT},
      {"list too long", longList, YM_XML_LIMIT},
      {"too large", std::string(CNMessageBase::kMaxXmlSize + 1, ' '), YM_XML_LIMIT},
  };
  const CNMessageBase original = sample();
  std::string before;
  original.serialize(before, false);
  for (const auto& c : cases) {
    CNMessageBase copy = original;
    EXPECT_EQ(c.code, copy.unserialize(c.xml)) << c.name;
    EXPECT_FALSE(copy.lastError().empty()) << c.name;
    std::string after;
    copy.serialize(after, false);
    EXPECT_EQ(before, after) << c.name << ": the message was changed";
  }
  CNMessageBase empty(77, 1);
  EXPECT_EQ(YM_XML_EMPTY, empty.unserialize(static_cast<const char*>(nullptr)));
}

// Reading checks each field against its class's schema whatever order the
// schema lists its tags in and whatever nested messages come between.
TEST_P(XmlMessageBaseTest, DeclaredKindsAreCheckedForEveryFieldInAnyOrder) {
  registerClasses();
  const struct {
    const char* xml;
    int code;
  } cases[] = {
      {"<m f=\"78\" c=\"1\"><i t=\"1\">1</i><s t=\"6\">x</s><i t=\"9\">2</i></m>", 0},
      {"<m f=\"78\" c=\"1\"><i t=\"6\">1</i></m>", YM_XML_WRONG_TYPE},
      {"<m f=\"78\" c=\"1\"><i t=\"1\">1</i><s t=\"9\">x</s></m>", YM_XML_WRONG_TYPE},
      {"<m f=\"78\" c=\"1\"><i t=\"5\">1</i><s t=\"9\">x</s></m>", YM_XML_WRONG_TYPE},
      {"<m f=\"78\" c=\"1\"><o t=\"4\" f=\"78\" c=\"2\"><i t=\"6\">1</i></o><s t=\"6\">x</s></m>", 0},
      {"<m f=\"78\" c=\"1\"><o t=\"4\" f=\"78\" c=\"2\"><i t=\"6\">1</i></o><i t=\"6\">1</i></m>", YM_XML_WRONG_TYPE},
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

TEST_P(XmlMessageBaseTest, NumbersOfEveryLengthReadExactlyAndGettersReportMistypedFields) {
  const struct {
    const char* text;
    int code;
    long long value;
  } cases[] = {
      {"0", 0, 0},
      {"4294967296", 0, 4294967296ll},
      {"-1000000000", 0, -1000000000ll},
      {"999999999999999999", 0, 999999999999999999ll},
      {"9223372036854775807", 0, 9223372036854775807ll},
      {"-9223372036854775808", 0, -9223372036854775807ll - 1},
      {"0000000000000000000000012", 0, 12},
      {"-9223372036854775809", YM_XML_OUT_OF_RANGE, 0},
      {"10000000000000000000", YM_XML_OUT_OF_RANGE, 0},
      {"12345678901x", YM_XML_MALFORMED, 0},
  };
  for (const auto& c : cases) {
    CNMessageBase m(79, 1);
    ASSERT_EQ(c.code, m.unserialize(std::string("<m f=\"79\" c=\"1\"><i t=\"3\">") + c.text + "</i></m>")) << c.text;
    long long v = 0;
    EXPECT_EQ(c.code == 0 ? 0 : YM_XML_NOT_SET, m.getint64(3, 0, v)) << c.text;
    EXPECT_EQ(c.value, v) << c.text;
  }
  CNMessageBase m(1, 1);
  m.setstring(1, 0, "text");
  m.setlistint(2, 0, {-1});
  long long v = 7;
  EXPECT_EQ(YM_XML_NOT_SET, m.getint64(9, 0, v));
  EXPECT_EQ(YM_XML_WRONG_TYPE, m.getint64(1, 0, v));
  EXPECT_EQ(7, v);
  EXPECT_NE(std::string::npos, m.lastError().find("field 1")) << m.lastError();
  std::vector<unsigned int> u{5};
  EXPECT_EQ(YM_XML_OUT_OF_RANGE, m.getlistuint(2, 0, u));
  EXPECT_EQ(std::vector<unsigned int>{5}, u);
  EXPECT_EQ(nullptr, m.getObjectAccessor(1, 0, true, false, 1, 2));
  EXPECT_TRUE(m.clearField(1, 0));
  EXPECT_FALSE(m.isSet(1, 0));
}

}  // namespace

// Entries of one list need not share their fields (the reader sizes each
// entry by the one before it), a CDATA value reads as its text, and a copy
// owns its lists and nested messages.
TEST_P(XmlMessageBaseTest, ListEntriesOfDifferentShapesAndCopiesStandAlone) {
  registerClasses();
  CNMessageBase m(77, 1);
  CNMessageBase item(77, 3);
  item.setint64(1, 0, 1);
  m.appendlistobject(8, 0, item);
  item.setstring(2, 0, "b");
  item.setliststring(3, 0, {"c", "d"});
  item.getObjectAccessor(4, 0, true, false, 77, 2)->setint64(1, 0, 7);
  m.appendlistobject(8, 0, item);
  m.appendlistobject(8, 0, CNMessageBase(77, 3));
  std::string xml;
  ASSERT_EQ(0, m.serialize(xml, false));
  CNMessageBase back(77, 1);
  ASSERT_EQ(0, back.unserialize(xml)) << back.lastError();
  std::string again;
  back.serialize(again, false);
  EXPECT_EQ(xml, again);
  const auto items = evtask::test::list(back, {}, 8);
  ASSERT_EQ(3u, items.size());
  EXPECT_EQ("b", evtask::test::text(items[1], {}, 2));
  EXPECT_EQ(7, evtask::test::num(items[1], {4}, 1));
  EXPECT_FALSE(items[2].isSet(1, 0));

  CNMessageBase copy = back;
  copy.getObjectAccessor(3, 0, true, false, 77, 2)->setint64(1, 0, 8);
  std::vector<CNMessageBase> copied;
  ASSERT_EQ(0, copy.getlistobject(8, 0, copied));
  ASSERT_EQ(3u, copied.size());
  copied[1].setliststring(3, 0, {"changed"});
  copy.setlistobject(8, 0, copied);
  back.serialize(again, false);
  EXPECT_EQ(xml, again) << "changing a copy changed the original";

  CNMessageBase cdata(77, 1);
  ASSERT_EQ(0, cdata.unserialize("<m f=\"77\" c=\"1\"><s t=\"2\"><![CDATA[a<b]]></s></m>")) << cdata.lastError();
  EXPECT_EQ("a<b", evtask::test::text(cdata, {}, 2));
}

// The decoder asks the application manager to read the text and reads the
// manager's answer again: an answer that does not parse, names another
// class than its text, or never comes yields null with a code and a text.
TEST(XmlServicesTest, DecoderReadsThroughTheSessionAndDistrustsTheAnswer) {
  ScopedFakeAppMgr fake;
  std::string xml = "<m f=\"12\" c=\"1\"><i t=\"1\">7</i><s t=\"2\">refused</s></m>";
  XMLDecoder decoder;
  CNMessageBase* m = decoder.unSerialize(xml, nullptr);
  ASSERT_NE(nullptr, m) << decoder.lastError();
  EXPECT_EQ(12u * 65536u + 1u, m->getTagID());
  EXPECT_EQ("refused", evtask::test::text(*m, {}, 2));
  EXPECT_EQ(xml, fake->last(kXmlDecodeReq).as<XmlDecodeReq>().xml);

  auto answer = [&](int family, int classNo, const char* text) {
    XmlDecodeResp resp{};
    std::string copy = text != nullptr ? text : "";
    resp.family = family;
    resp.classNo = classNo;
    resp.xml = text != nullptr ? &copy[0] : nullptr;
    fake->respond(kXmlDecodeReq, resp);
  };
  const struct {
    const char* name;
    std::function<void()> script;
    int code;
  } cases[] = {
      {"text the manager cannot read", [] {}, YM_XML_MALFORMED},
      {"session fails", [&] { fake->failNextReceive(YM_SESSION_RECEIVE_FAILED, "cut"); }, YM_SESSION_RECEIVE_FAILED},
      {"answer does not parse", [&] { answer(12, 1, "<m f=\"12\" c=\"1\"><i"); }, YM_XML_MALFORMED},
      {"answer without text", [&] { answer(12, 1, nullptr); }, YM_XML_EMPTY},
      {"answer names another class", [&] { answer(12, 2, "<m f=\"12\" c=\"1\"/>"); }, YM_XML_WRONG_CLASS},
  };
  for (const auto& c : cases) {
    c.script();
    std::string bad = std::string(c.name) == "text the manager cannot read" ? "<m" : xml;
    EXPECT_EQ(nullptr, decoder.unSerialize(bad, nullptr)) << c.name;
    EXPECT_EQ(c.code, decoder.lastCode()) << c.name;
    EXPECT_FALSE(decoder.lastError().empty()) << c.name;
  }
  // What the decoder returned earlier stays valid.
  EXPECT_EQ("refused", evtask::test::text(*m, {}, 2));
}

