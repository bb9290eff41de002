#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/YmErrors.h"
#include "task/EvTask.h"
#include "task/EvRstTask.h"
#include "task/EvTaskTestSupport.h"
#include "task/LegacyOptionTables_internal.h"

using namespace evtask;
using namespace evtask::test;

namespace {

// Exposes the record's id kind, which the extended-option fetch sets.
class RecordTask : public EvTask {
 public:
  RecordTask(unsigned long long id, int kind) : EvTask(id, kind, nullptr, false) {}
  long recordIdKind() const { return taskInfo.idKind; }
};

}  // namespace

// --- the tables -------------------------------------------------------------------------------------

// Every row of every table, compared with the copy kept in the test data.
TEST(LegacyOptionTables, EveryTableMatchesItsCopyRowByRow) {
  std::ifstream in(EVTASK_TEST_DATA_DIR "/legacy_option_tables.tsv");
  ASSERT_TRUE(in) << "test data missing";
  std::map<std::string, std::vector<std::string>> copy, built;
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    if (!line.empty() && line[0] != '#') copy[line.substr(0, tab)].push_back(line.substr(tab + 1));
  }
  const auto row = [](long long id, const std::string& key) { return std::to_string(id) + "\t" + key; };
  for (const LegacyItemRow& r : itemMap) built["itemMap"].push_back(row(r.optionId, std::to_string(r.item)));
  for (const LegacyMaskRow& r : bitOptionMap) built["bitOptionMap"].push_back(row(r.optionId, std::to_string(r.key)));
  for (const LegacyMaskRow& r : extendeOptionMap) {
    built["extendeOptionMap"].push_back(row(r.optionId, std::to_string(r.key)));
  }
  for (const LegacyNameRow& r : optionMap) built["optionMap"].push_back(row(r.optionId, r.name));
  for (const LegacyNameRow& r : dbOptionMap) built["dbOptionMap"].push_back(row(r.optionId, r.name));
  ASSERT_EQ(5u, copy.size());
  EXPECT_EQ(copy, built);
}

// --- translations through the task ---------------------------------------------------------------------

class LegacyOptionTest : public EvTaskTest {};

TEST_F(LegacyOptionTest, TranslationsTakeTheFirstRow) {
  EvTask task(42, 0, nullptr, false);
  // Item 0 is a hit, not a miss; bit masks are masks, not bit numbers, and the
  // first of the two bit-27 rows wins; extended position 8 has a row with id 0.
  const std::vector<std::pair<unsigned long, unsigned long long>> items = {
      {0, 270049201},    {8329, 6305888},    {844038310, 844038310}, {8261, 844038310}, {305418106, 2407},
      {9347, 1149450631}, {8464, 1317434514}, {12345, 0},             {0xFFFFFFFFUL, 0}};
  for (const auto& c : items) EXPECT_EQ(c.second, task.itemToOptionId(c.first)) << "item " << c.first;
  const std::vector<std::pair<unsigned long long, unsigned long long>> masks = {
      {1ULL << 27, 255803862}, {27, 0}, {1, 296933587}, {2, 851480029}, {3, 0}, {1ULL << 47, 6961954},
      {1ULL << 29, 2029967311}, {1ULL << 62, 0}, {1ULL << 63, 0}, {0, 0}};
  for (const auto& c : masks) EXPECT_EQ(c.second, task.bitToOptionId(c.first, false)) << "mask " << c.first;
  const std::vector<std::pair<unsigned long long, unsigned long long>> positions = {
      {0, 1809186937}, {3, 1871587600}, {8, 0},  {9, 0}, {23, 814432188}, {75, 120002}, {77, 0}, {82, 712784058},
      {83, 0},         {(1ULL << 32) + 3, 0}};
  for (const auto& c : positions) EXPECT_EQ(c.second, task.bitToOptionId(c.first, true)) << "position " << c.first;
  // Names are case sensitive and whole; an id maps back to the first name that holds it.
  EXPECT_EQ("869221685 0 0 957862300", joined(task.nameToOptionId("JobId", false), task.nameToOptionId("jobid", false),
                                              task.nameToOptionId(std::string("JobId\0x", 7), false),
                                              task.nameToOptionId("YM_ORA_COPY_PRECEDENCE", true)));
  EXPECT_EQ("JobId YM_DB2_COPY_PRECEDENCE",
            joined(task.optionIdToName(120009, false), task.optionIdToName(957862300, true)));
  EXPECT_STREQ("", task.optionIdToName(120009 + (1ULL << 32), false)) << "an id is widened, never narrowed";
  EXPECT_EQ(0u, fake->requestCount());
}

// --- bit and extended options read as options ------------------------------------------------------

// getBitOptions reads the word of its kind; isBitOptionSet needs every bit of
// the mask, and for kind 3 tests the general word, not the one getBitOptions
// reads for it. isExtOptionSet looks at one character of the kind's string:
// position 4 of "0001" is the length itself, and only the character '1' sets.
TEST_F(LegacyOptionTest, BitAndExtendedOptionsAreReadAsOptions) {
  EvTask task(5, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{120001, 15, "11"}, {130006, 15, "33"}, {100003, 15, "48"},
                                           {120002, 1, "0001"}, {130005, 1, "010"}, {100004, 1, "2x1"}});
  LogCapture cap;
  std::string words;
  for (int kind : {1, 3, 4, 0, 9}) {
    unsigned long long bits = 99;
    EXPECT_EQ(0, task.getBitOptions(kind, bits, nullptr));
    words += std::to_string(bits) + " ";
  }
  EXPECT_EQ("11 33 48 48 48 ", words);
  EXPECT_TRUE(cap.contains("EvTask::getBitOptions", "Bit option [33]"));
  struct Case { bool ext; int kind; long long arg; bool isSet; };  // arg: the mask or the position
  const Case cases[] = {
      {false, 4, 0x10, true}, {false, 4, 0x11, false}, {false, 4, 0x30, true}, {false, 4, 0, true},
      {false, 1, 0x4, false}, {false, 1, 0x9, true},   {false, 3, 0x1, false}, {false, 3, 0x10, true},
      {true, 2, 3, true},  {true, 2, 0, false}, {true, 2, 4, false}, {true, 2, 5, false}, {true, 2, -1, false},
      {true, 7, 0, false}, {true, 7, 1, true},  {true, 7, 2, false}, {true, 5, 0, false}, {true, 5, 1, false},
      {true, 5, 2, true},  {true, 0, 2, true},  {true, 3, 2, true},  {true, 3, 1, false}};
  for (const Case& c : cases) {
    bool isSet = !c.isSet;
    EXPECT_EQ(0, c.ext ? task.isExtOptionSet(c.kind, static_cast<int>(c.arg), isSet, nullptr)
                       : task.isBitOptionSet(c.kind, static_cast<unsigned long long>(c.arg), isSet, nullptr));
    EXPECT_EQ(c.isSet, isSet) << (c.ext ? "position " : "mask ") << c.arg << " kind " << c.kind;
  }
  EXPECT_TRUE(cap.contains("EvTask::isBitOptionSet", "Bit option [48], option [16], isSet [1]"));
  EXPECT_TRUE(cap.contains("EvTask::isExtOptionSet", "Extended option string [0001], option [3], isSet [1]"));
  EXPECT_EQ(1u, countOf(*fake, msg::kGetOptions));
}

// --- fetched texts -------------------------------------------------------------------------------------

// Fetched once, and again after any option write or a cleared bit state;
// the fetch borrows the record's id kind for its request only.
TEST_F(LegacyOptionTest, ExtendedOptionsAreFetchedAgainAfterAnyOptionWrite) {
  RecordTask task(5, 2);  // addressed by task id
  // "result text, kind"
  const auto read = [&task](int kind) {
    std::string text = "stale";
    const int rc = task.getExtendedOptions(kind, text, nullptr);
    return std::to_string(rc) + " " + text + ", kind " + std::to_string(task.recordIdKind());
  };
  const auto respond = [this](const char* text) {
    ExtendedOptionsResp resp{};
    resp.text = const_cast<char*>(text);
    fake->respond(msg::kGetExtendedOptions, resp);
  };
  respond("0101");
  EXPECT_EQ("0 0101, kind 2", read(0));
  EXPECT_EQ("0 0101, kind 2", read(3));  // cached
  EXPECT_EQ(0, task.setOptionInt(9, 3, nullptr));
  respond("1");
  EXPECT_EQ("0 1, kind 2", read(2));
  task.clearBitInitialized();
  read(2);
  EXPECT_EQ(0, task.setExtendedOptions(""));  // writes nothing, but still forgets the text
  respond("0");
  EXPECT_EQ("0 0, kind 2", read(2));
  EXPECT_EQ(4u, countOf(*fake, msg::kGetExtendedOptions));
}

// --- writing an extended-option string -------------------------------------------------------------------

TEST_F(LegacyOptionTest, SetExtendedOptionsWritesOneBooleanPerMappedPosition) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"101", "[1809186937:2:1][1468484567:2:0][1430556228:2:1]"},
      // each character is read as a decimal digit
      {"5x0 ", "[1809186937:2:1][1468484567:2:0][1430556228:2:0][1871587600:2:0]"},
      {"", ""},
      // positions 8 and 9 have no option
      {"1111111111",
       "[1809186937:2:1][1468484567:2:1][1430556228:2:1][1871587600:2:1][44754805:2:1][363702623:2:1]"
       "[567751704:2:1][1080534516:2:1]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    fake->clearRequests();
    EvTask task(5, 0, nullptr, false);
    LogCapture cap;
    EXPECT_EQ(0, task.setExtendedOptions(c.first));
    EXPECT_EQ(c.second, optionWrites(*fake));
    EXPECT_EQ(countOf(*fake, msg::kSetOptions), fake->requestCount());  // nothing is read
    EXPECT_TRUE(cap.contains("EvTask::setExtendedOptions", "Extended option string input [" + c.first + "]."));
    for (size_t position = 7; position <= 9; ++position) {
      EXPECT_EQ(position < c.first.size() && position != 7,
                cap.contains("EvTask::setExtendedOptions",
                             "Could not set extended option for bit position [" + std::to_string(position) +
                                 "]. Old extended option not mapped to new option"))
          << position;
    }
  }
}

TEST_F(LegacyOptionTest, SetExtendedOptionsStopsAtTheFirstFailedWrite) {
  EvTask task(5, 0, nullptr, false);
  fake->respond(msg::kSetOptions, GenericResp{});
  fake->respondError(msg::kSetOptions, 900, "refused");
  LogCapture cap;
  EXPECT_EQ(900, task.setExtendedOptions("1111"));
  EXPECT_EQ(2u, countOf(*fake, msg::kSetOptions));
  EXPECT_TRUE(cap.contains("EvTask::setExtendedOptions",
                           "Could not set all extended options, failed on optionId/position [1468484567/1]. "
                           "[refused]"));
  EXPECT_EQ("refused", task.getErrorString());
}
