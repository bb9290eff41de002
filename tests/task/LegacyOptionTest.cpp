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

template <class Resp>
void respondText(FakeAppMgr& fake, uint32_t type, const char* text) {
  Resp resp{};
  resp.text = const_cast<char*>(text);
  fake.respond(type, resp);
}

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
  std::map<std::string, std::vector<std::string>> copy;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    copy[line.substr(0, tab)].push_back(line.substr(tab + 1));
  }
  std::map<std::string, std::vector<std::string>> built;
  const auto row = [](long long id, const std::string& key) { return std::to_string(id) + "\t" + key; };
  for (const LegacyItemRow& r : itemMap) built["itemMap"].push_back(row(r.optionId, std::to_string(r.item)));
  for (const LegacyMaskRow& r : bitOptionMap) built["bitOptionMap"].push_back(row(r.optionId, std::to_string(r.key)));
  for (const LegacyMaskRow& r : extendeOptionMap) {
    built["extendeOptionMap"].push_back(row(r.optionId, std::to_string(r.key)));
  }
  for (const LegacyNameRow& r : optionMap) built["optionMap"].push_back(row(r.optionId, r.name));
  for (const LegacyNameRow& r : dbOptionMap) built["dbOptionMap"].push_back(row(r.optionId, r.name));
  ASSERT_EQ(5u, copy.size());
  for (const auto& table : copy) {
    const std::vector<std::string>& rows = built[table.first];
    ASSERT_EQ(table.second.size(), rows.size()) << table.first;
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(table.second[i], rows[i]) << table.first << " row " << i;
  }
}

TEST(LegacyOptionTables, BlockIdsAreOnePerNameAndNoAccessorIdIsShadowed) {
  std::map<std::string, long long> idOfName;  // "db:" marks the names of dbOptionMap
  std::map<long long, std::string> nameOfBlockId;
  for (bool db : {false, true}) {
    const LegacyNameRow* table = db ? dbOptionMap : optionMap;
    for (size_t i = 0; i < (db ? kDbOptionMapRows : kOptionMapRows); ++i) {
      const long long oid = table[i].optionId;
      const std::string key = (db ? "db:" : "") + std::string(table[i].name);
      if (oid < kLegacyAssignedIdFirst || oid > kLegacyAssignedIdLast) continue;
      EXPECT_EQ(oid, idOfName.emplace(key, oid).first->second) << key;
      EXPECT_EQ(key, nameOfBlockId.emplace(oid, key).first->second) << oid;
    }
  }
  // Retired ids of names that now carry an accessor's id are never reused.
  for (long long retired : {55, 57, 58, 59, 65, 66, 69, 70, 71, 75, 77, 124}) {
    EXPECT_EQ(0u, nameOfBlockId.count(1900000000LL + retired)) << retired;
  }
  EXPECT_EQ(static_cast<size_t>(kLegacyAssignedIdLast - kLegacyAssignedIdFirst + 1 - 12), nameOfBlockId.size());
}

// --- translations through the task ---------------------------------------------------------------------

class LegacyOptionTest : public EvTaskTest {};

// A name that plainly is the option of an accessor reads and writes the same
// option as the accessor: the id the accessor writes is the name's id.
TEST_F(LegacyOptionTest, NamesOfAccessorOptionsCarryTheAccessorsId) {
  using Write = std::function<int(EvRstTask&)>;
  RestoreTaskOptionsItem item{};
  item.id = 4;
  std::strcpy(item.value, "x");
  const std::vector<std::pair<const char*, Write>> rows = {
      {"START_SUSPENDED", [](EvRstTask& t) { return t.setStartSuspendedFlag(true, nullptr); }},
      {"USE_EXACT_INDEX", [](EvRstTask& t) { return t.setUseExactIndex(true, nullptr); }},
      {"INCLUDE_METADATA", [](EvRstTask& t) { return t.setIncludeMetadata(true, nullptr); }},
      {"NO_MAPPING_DATA", [](EvRstTask& t) { return t.setNoMapping(true, nullptr); }},
      {"MEDIA_PREDICTION_FILE", [](EvRstTask& t) { return t.setMediaPredictionFile("f", nullptr); }},
      {"DESTINATION_APPTYPE_ID", [](EvRstTask& t) { return t.setDestAppTypeId(3, nullptr); }},
      {"MEDIA_AGENT_ID", [](EvRstTask& t) { return t.setMediaAgentId(3, nullptr); }},
      {"DestinationClientId", [](EvRstTask& t) { return t.setDestinationClientId(3, nullptr); }},
      {"PRECMD_COMMAND", [&](EvRstTask& t) { return t.setPreCommand(&item, nullptr); }},
      {"POSTCMD_COMMAND", [&](EvRstTask& t) { return t.setPostCommand(&item, nullptr); }},
      {"PREPOSTCMD_USER_NAME", [&](EvRstTask& t) { return t.setPrePostUserName(&item, nullptr); }},
      {"PREPOSTCMD_USER_PW", [&](EvRstTask& t) { return t.setPrePostPassWord(&item, nullptr); }},
  };
  for (const auto& r : rows) {
    EvRstTask task(5, 0, nullptr, false, false);
    fake->clearRequests();
    ASSERT_EQ(0, r.second(task)) << r.first;
    // The text half of a pair is written last.
    const std::vector<Opt> sent = writtenOptions(fake->last(msg::kSetOptions));
    ASSERT_EQ(1u, sent.size()) << r.first;
    EXPECT_EQ(sent[0].id, task.nameToOptionId(r.first, false)) << r.first;
  }
  EXPECT_EQ(227975543u, EvTask(0, 0, nullptr, false).itemToOptionId(2590)) << "the item agrees too";
}


TEST_F(LegacyOptionTest, ItemsAndMasksTakeTheFirstRow) {
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
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(LegacyOptionTest, NamesAreCaseSensitiveAndFirstRowWins) {
  EvTask task(42, 0, nullptr, false);
  struct Case { std::vector<std::string> names; bool db; unsigned long long id; };
  const std::vector<Case> cases = {
      {{"JobId"}, false, 869221685},
      {{"jobid", "JobId ", std::string("JobId\0x", 7), "", "Description", "YM_DB2_TIMESTAMP"}, false, 0},
      {{"JobId"}, true, 0}, {{"ExtendedOptions"}, false, 140015}, {{"SourceDestinationPair"}, false, 377275742},
      {{"PZNASRecoveryType"}, false, 1596802805}, {{"OracleLogScript", "OracleRmanLogScript"}, false, 1880543769},
      {{"YM_DB2_TIMESTAMP"}, true, 150014},
      {{"YM_DB2_COPY_PRECEDENCE", "YM_IFMX_RESTORE_COPYID", "YM_ORA_COPY_PRECEDENCE"}, true, 957862300},
  };
  for (const Case& c : cases) {
    for (const std::string& name : c.names) EXPECT_EQ(c.id, task.nameToOptionId(name, c.db)) << name << " db " << c.db;
  }
  EXPECT_NE(task.nameToOptionId("PZVolumeID", false), task.nameToOptionId("PZVolumeId", false));
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(LegacyOptionTest, IdsMapBackToTheFirstNameThatHoldsThem) {
  EvTask task(42, 0, nullptr, false);
  struct Case { unsigned long long id; bool db; const char* name; };
  const std::vector<Case> cases = {
      {0, false, "Description"}, {120009, false, "JobId"}, {869221685, false, "JobId"},
      {227382310, false, "SourceDestinationPair"}, {1880543769, false, "OracleLogScript"},
      {293753447, false, "RST_LH_CLIENT_ID"}, {293753447, true, "YM_IFMX_DEST_CLIENT"},
      {957862300, true, "YM_DB2_COPY_PRECEDENCE"}, {0, true, ""}, {120009 + (1ULL << 32), false, ""}, {555, false, ""},
  };
  for (const Case& c : cases) EXPECT_STREQ(c.name, task.optionIdToName(c.id, c.db)) << c.id << " db " << c.db;
  EXPECT_EQ(0u, fake->requestCount());
}

// --- bit options ------------------------------------------------------------------------------------

TEST_F(LegacyOptionTest, BitOptionsReadTheWordOfTheirKindAndReportAFailedLoad) {
  // kind, result of the load, bits
  const std::vector<std::vector<unsigned long long>> cases = {{1, 0, 11}, {3, 0, 33}, {4, 0, 44},
                                                              {0, 0, 44}, {9, 0, 44}, {1, 4242, 0}};
  for (const auto& c : cases) {
    EvTask task(5, 0, nullptr, false);
    if (c[1] != 0) fake->respondError(msg::kGetOptions, static_cast<int>(c[1]), "no options today");
    else respondOptions(*fake, msg::kGetOptions, {{120001, 15, "11"}, {130006, 15, "33"}, {100003, 15, "44"}});
    unsigned long long bits = 99;
    LogCapture cap;
    EXPECT_EQ(static_cast<int>(c[1]), task.getBitOptions(static_cast<int>(c[0]), bits, nullptr)) << c[0];
    EXPECT_TRUE(cap.contains("EvTask::getBitOptions", "Bit option [" + std::to_string(c[2]) + "]"));
    EXPECT_EQ(c[2], bits) << c[0];
    EXPECT_EQ(c[1] != 0 ? "no options today" : "", task.getErrorString());
  }
}

TEST_F(LegacyOptionTest, IsBitOptionSetNeedsEveryBitOfTheMask) {
  EvTask task(5, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{100003, 15, "48"}, {120001, 15, "1"}, {130006, 15, "1"}});
  LogCapture cap;
  // Kind 3 tests the general word, not the one getBitOptions reads for it.
  struct Case { int kind; unsigned long long mask; bool isSet; };
  const std::vector<Case> cases = {{4, 0x10, true}, {4, 0x11, false}, {4, 0x30, true}, {4, 0, true},
                                   {1, 0x10, false}, {1, 0x1, true},  {3, 0x1, false}, {3, 0x20, true}};
  for (const Case& c : cases) {
    bool isSet = !c.isSet;
    EXPECT_EQ(0, task.isBitOptionSet(c.kind, c.mask, isSet, nullptr));
    EXPECT_EQ(c.isSet, isSet) << "kind " << c.kind << " mask " << c.mask;
  }
  EXPECT_TRUE(cap.contains("EvTask::isBitOptionSet", "Bit option [48], option [16], isSet [1]"));
  EXPECT_EQ(1u, countOf(*fake, msg::kGetOptions));
  EvTask failing(6, 0, nullptr, false);
  fake->respondError(msg::kGetOptions, 77, "down");
  bool isSet = true;
  EXPECT_EQ(77, failing.isBitOptionSet(4, 0, isSet, nullptr));
  EXPECT_FALSE(isSet);
}

// --- extended options read as options ------------------------------------------------------------------

TEST_F(LegacyOptionTest, IsExtOptionSetLooksAtOneCharacterOfTheKindsString) {
  EvTask task(5, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{120002, 1, "0001"}, {130005, 1, "010"}, {100004, 1, "2x1"}});
  LogCapture cap;
  // Position 4 is the length itself; only the character '1' sets.
  struct Case { int kind; int position; bool isSet; };
  const std::vector<Case> cases = {
      {2, 3, true},  {2, 0, false}, {2, 4, false}, {2, 5, false}, {2, -1, false}, {7, 0, false}, {7, 1, true},
      {7, 2, false}, {5, 0, false}, {5, 1, false}, {5, 2, true},  {0, 2, true},   {3, 2, true},  {3, 1, false}};
  for (const Case& c : cases) {
    bool isSet = !c.isSet;
    EXPECT_EQ(0, task.isExtOptionSet(c.kind, c.position, isSet, nullptr));
    EXPECT_EQ(c.isSet, isSet) << "kind " << c.kind << " position " << c.position;
  }
  EXPECT_TRUE(cap.contains("EvTask::isExtOptionSet", "Extended option string [0001], option [3], isSet [1]"));
}

// --- fetched texts -------------------------------------------------------------------------------------

TEST_F(LegacyOptionTest, XmlOptionsAreFetchedUntilOneFetchSucceedsAndSurviveWrites) {
  EvTask task(5, 0, nullptr, false);
  std::string xml = "kept";
  const auto read = [&] { return std::to_string(task.getXMLOptions(xml, nullptr)) + " " + xml; };
  fake->respondError(msg::kGetXMLOptions, 31, "xml failed");
  EXPECT_EQ("31 kept", read());
  EXPECT_EQ("xml failed", task.getErrorString());
  respondText<XmlOptionsResp>(*fake, msg::kGetXMLOptions, "<opts a=\"1\"/>");
  EXPECT_EQ("0 <opts a=\"1\"/>", read());
  EXPECT_EQ(0, task.setOptionInt(9, 3, nullptr));
  respondText<XmlOptionsResp>(*fake, msg::kGetXMLOptions, "<other/>");
  xml.clear();
  EXPECT_EQ("0 <opts a=\"1\"/>", read());
  EXPECT_EQ(2u, countOf(*fake, msg::kGetXMLOptions));
}

TEST_F(LegacyOptionTest, ExtendedOptionsAreFetchedAgainAfterAFailureAndAnyOptionWrite) {
  RecordTask task(5, 2);  // addressed by task id
  // "result text, kind": the fetch borrows the record's id kind for its
  // request only; the task's own kind stays.
  const auto read = [&task](int kind) {
    std::string text = "stale";
    const int rc = task.getExtendedOptions(kind, text, nullptr);
    return std::to_string(rc) + " " + text + ", kind " + std::to_string(task.recordIdKind());
  };
  fake->respondError(msg::kGetExtendedOptions, 12, "no text");
  EXPECT_EQ("12 , kind 2", read(0));
  EXPECT_EQ("no text", task.getErrorString());
  respondText<ExtendedOptionsResp>(*fake, msg::kGetExtendedOptions, "0101");
  EXPECT_EQ("0 0101, kind 2", read(0));
  EXPECT_EQ("0 0101, kind 2", read(2));  // cached
  EXPECT_EQ(2u, countOf(*fake, msg::kGetExtendedOptions));
  // Later requests still address the task by its id, not by job.
  respondOptions(*fake, msg::kGetOptions, {{9, 7, "1"}});
  int value = 0;
  EXPECT_EQ(0, task.getOptionInt(9, value, nullptr));
  EXPECT_EQ(2, fake->last(msg::kGetOptions).as<GenericTaskApiReq>().info.idKind);
  EXPECT_EQ(0, task.setOptionInt(9, 3, nullptr));
  respondText<ExtendedOptionsResp>(*fake, msg::kGetExtendedOptions, "1");
  EXPECT_EQ("0 1, kind 2", read(2));
  task.clearBitInitialized();
  read(2);
  EXPECT_EQ(0, task.setExtendedOptions(""));  // writes nothing, but still forgets the text
  respondText<ExtendedOptionsResp>(*fake, msg::kGetExtendedOptions, "0");
  EXPECT_EQ("0 0, kind 2", read(2));
  EXPECT_EQ(5u, countOf(*fake, msg::kGetExtendedOptions));
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
