#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/YmErrors.h"
#include "task/EvTask.h"
#include "task/EvTaskTestSupport.h"
#include "task/LegacyOptionTables_internal.h"

using namespace evtask;
using namespace evtask::test;

namespace {

// Option ids fixed outside the name tables' own block: the ids the legacy
// callers gave for names, and every id the other option tables and the
// task's named accessors use.
const std::set<long long>& fixedIds() {
  static const std::set<long long> ids = {
      // names with a fixed id
      140002, 140015, 100005, 150002, 120003, 120005, 120006, 120007, 120008, 869221685, 120009, 140009,
      120010, 120011, 377275742, 227382310, 1596802805, 1880543769, 840406153, 17303908, 237388043, 293753447,
      1974251779, 1074349932, 150014, 312734045, 1229966291, 957862300, 1993647715,
      // values of the bit, extended and text options and the named accessors
      120001, 120002, 130005, 130006, 100003, 100004, 100001, 130001, 130002, 130003, 130004, 140003, 140004,
      140005, 140006, 140007, 6961954, 1496752764, 704491921, 136060565, 1294495887, 1254245399, 1126346877,
      1684967902, 1736754751, 2024952543, 191927228, 2093323061, 227975543, 645273429, 185675970, 1042311849,
      1272357427, 758695157, 1206125200, 1852682932, 1502041828, 458405394, 560854980, 2075319105, 50443400,
      778606518, 189156630};
  return ids;
}

bool inBlock(long long id) { return id >= kLegacyAssignedIdFirst && id <= kLegacyAssignedIdLast; }

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

TEST(LegacyOptionTables, KeyedTablesHoldTheirRowsInOrder) {
  // One row per bit, bit 27 twice, no bit 63.
  std::vector<uint64_t> expected;
  for (int bit = 0; bit <= 62; ++bit) {
    expected.push_back(1ULL << bit);
    if (bit == 27) expected.push_back(1ULL << bit);
  }
  std::vector<uint64_t> keys;
  for (const LegacyMaskRow& row : bitOptionMap) keys.push_back(row.key);
  EXPECT_EQ(expected, keys);
  EXPECT_EQ(255803862, bitOptionMap[27].optionId);
  EXPECT_EQ(849605276, bitOptionMap[28].optionId);
  EXPECT_EQ(0, bitOptionMap[29].optionId);           // bit 28
  EXPECT_EQ(1871587600, bitOptionMap[62].optionId);  // bit 61

  // Positions 0 to 82 without the unmapped ones.
  expected.clear();
  for (uint64_t p = 0; p <= 82; ++p) {
    if (!((p >= 9 && p <= 22) || p == 77 || (p >= 79 && p <= 81))) expected.push_back(p);
  }
  ASSERT_EQ(kExtendeOptionMapRows, expected.size());
  keys.clear();
  for (const LegacyMaskRow& row : extendeOptionMap) keys.push_back(row.key);
  EXPECT_EQ(expected, keys);

  // Two items have two rows each.
  std::map<uint32_t, int> rowsPerItem;
  int sameInBothColumns = 0;
  for (const LegacyItemRow& row : itemMap) {
    ++rowsPerItem[row.item];
    if (static_cast<long long>(row.item) == row.optionId) ++sameInBothColumns;
  }
  EXPECT_EQ(60u, rowsPerItem.size());
  EXPECT_EQ(2, rowsPerItem[8329]);
  EXPECT_EQ(2, rowsPerItem[844038310]);
  EXPECT_EQ(5, sameInBothColumns);  // 1155309892, 844038310 twice, 1519598095, 8186
  EXPECT_EQ(7321u, itemMap[0].item);
  EXPECT_EQ(852502919, itemMap[0].optionId);
}

TEST(LegacyOptionTables, NameTablesHoldTheirNamesOnceInOrder) {
  const auto ends = [](const LegacyNameRow* t, size_t n) {
    return std::string(t[0].name) + "|" + t[1].name + " .. " + t[n - 2].name + "|" + t[n - 1].name;
  };
  EXPECT_EQ("Description|Follow Mount Points .. RST_MACHINE_UID|RST_MACHINE_UNAME", ends(optionMap, kOptionMapRows));
  EXPECT_EQ(
      "YM_DB2_DEST_INSTANCE_ID|YM_DB2_REST_MODE .. YM_ORA_DUPLICATE_TOLOGFILE|YM_ORA_RESTORE_SET_INCARNATION_ITEM",
      ends(dbOptionMap, kDbOptionMapRows));

  std::map<std::string, int> count;
  for (const LegacyNameRow& row : optionMap) ++count[row.name];
  std::set<std::string> twice;
  for (const auto& entry : count) {
    EXPECT_LE(entry.second, 2) << entry.first;
    if (entry.second == 2) twice.insert(entry.first);
  }
  EXPECT_EQ((std::set<std::string>{"ExtendedOptions", "JobId", "PZNASRecoveryType", "SourceDestinationPair"}),
            twice);
  EXPECT_EQ(185u, count.size());
  std::set<std::string> db;
  for (const LegacyNameRow& row : dbOptionMap) db.insert(row.name);
  EXPECT_EQ(kDbOptionMapRows, db.size());
}

TEST(LegacyOptionTables, EveryNameWithoutAFixedIdHasItsOwnIdFromTheBlock) {
  std::map<std::string, long long> idOfName;  // "db:" marks the names of dbOptionMap
  std::map<long long, std::string> nameOfBlockId;
  std::set<std::string> withoutOption;
  for (bool db : {false, true}) {
    const LegacyNameRow* table = db ? dbOptionMap : optionMap;
    for (size_t i = 0; i < (db ? kDbOptionMapRows : kOptionMapRows); ++i) {
      const long long oid = table[i].optionId;
      const std::string key = (db ? "db:" : "") + std::string(table[i].name);
      EXPECT_TRUE(oid == 0 || inBlock(oid) || fixedIds().count(oid) == 1) << key << " " << oid;
      if (oid == 0) withoutOption.insert(key);
      if (!inBlock(oid)) continue;
      // One id per name, one name per id.
      EXPECT_EQ(oid, idOfName.emplace(key, oid).first->second) << key;
      EXPECT_EQ(key, nameOfBlockId.emplace(oid, key).first->second) << oid;
    }
  }
  // The block is used without holes, and nothing else uses it.
  EXPECT_EQ(static_cast<size_t>(kLegacyAssignedIdLast - kLegacyAssignedIdFirst + 1), nameOfBlockId.size());
  EXPECT_EQ(kLegacyAssignedIdFirst, nameOfBlockId.begin()->first);
  EXPECT_EQ(kLegacyAssignedIdLast, nameOfBlockId.rbegin()->first);
  for (long long oid : fixedIds()) EXPECT_FALSE(inBlock(oid)) << oid;
  for (const LegacyItemRow& row : itemMap) EXPECT_FALSE(inBlock(row.optionId)) << row.optionId;
  for (const LegacyMaskRow& row : bitOptionMap) EXPECT_FALSE(inBlock(row.optionId)) << row.optionId;
  for (const LegacyMaskRow& row : extendeOptionMap) EXPECT_FALSE(inBlock(row.optionId)) << row.optionId;
  EXPECT_LT(static_cast<long long>(kLegacyAssignedIdLast), 1LL << 31);
  // The names without an option, all of optionMap.
  EXPECT_EQ((std::set<std::string>{"Description", "Follow Mount Points", "Backup RSS Database", "SystemFile Protect",
                                   "Media Status", "PRECMD_CLIENT", "POSTCMD_CLIENT", "AUTO_DISM_STORE",
                                   "RLTV_JOB_STAT", "RLTV_BKP_LEVEL", "RLTV_AGD_DATA", "FILE_REPLICATION_SNAP_NAME",
                                   "RST_DB2_HISTORY_FILE_PATH", "RST_VIRTUAL_SERVER_VIRTUAL_CENTER",
                                   "RST_AD_DEST_SERVER", "1", "2"}),
            withoutOption);
}

// --- translations through the task ---------------------------------------------------------------------

class LegacyOptionTest : public EvTaskTest {};

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
      {{"PZNASRecoveryType"}, false, 1596802805}, {{"ClientGroupId"}, false, 140002},
      {{"NAS_RESTORE_OPTIONS", "EV_RST_NAS_OPTIONS"}, false, 120006}, {{"SYB_DEST_INST_ID"}, false, 312734045},
      {{"OracleLogScript", "OracleRmanLogScript"}, false, 1880543769},
      {{"ON_DEMAND_INPUT_FILE", "RST_FROM_MAP_INPUT_FILE"}, false, 840406153},
      {{"RLTV_TIME_FROM", "RCV_TIME_FROM"}, false, 17303908}, {{"RLTV_TIME_TO", "RCV_TIME_TO"}, false, 237388043},
      {{"RST_LH_CLIENT_ID", "RST_ORA_TABLE_DB_CLIENT"}, false, 293753447},
      {{"ArchLogBackedUp", "ArchLogNotBackedUp"}, false, 1974251779},
      {{"ArchLogDelBackedUp", "ArchLogDelNotBackedUp"}, false, 1074349932}, {{"YM_DB2_TIMESTAMP"}, true, 150014},
      {{"YM_DB2_DEST_INSTANCE_ID"}, true, 312734045},
      {{"YM_IFMX_DEST_CLIENT", "YM_ORACLE_DEST_CLIENT"}, true, 293753447},
      {{"YM_DB2_ALTERNATE_LOG", "YM_DB2_RESTORE_STREAMS"}, true, 1229966291},
      {{"YM_DB2_COPY_PRECEDENCE", "YM_IFMX_RESTORE_COPYID", "YM_ORA_COPY_PRECEDENCE"}, true, 957862300},
      {{"YM_IFMX_WHOLE_REST_SERIAL", "YM_IFMX_ENTIRE_REST"}, true, 1993647715},
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
  // Every name that owns an id of its own comes back from it.
  for (bool db : {false, true}) {
    const LegacyNameRow* table = db ? dbOptionMap : optionMap;
    for (size_t i = 0; i < (db ? kDbOptionMapRows : kOptionMapRows); ++i) {
      if (!inBlock(table[i].optionId)) continue;
      EXPECT_STREQ(table[i].name, task.optionIdToName(task.nameToOptionId(table[i].name, db), db));
    }
  }
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
    EXPECT_EQ(static_cast<int>(c[1]), task.getBitOptions(static_cast<int>(c[0]), bits, nullptr)) << c[0];
    EXPECT_EQ(c[2], bits) << c[0];
    EXPECT_EQ(c[1] != 0 ? "no options today" : "", task.getErrorString());
  }
}

TEST_F(LegacyOptionTest, BitOptionsFallBackToTheDefaultAndThenToZero) {
  {
    EvTask task(5, 0, nullptr, false);
    respondOptions(*fake, msg::kGetOptions, {{1, 1, "x"}});
    respondOptions(*fake, msg::kGetDefaults, {{100003, 15, "18446744073709551615"}});
    unsigned long long bits = 0;
    EXPECT_EQ(0, task.getBitOptions(4, bits, nullptr));
    EXPECT_EQ(~0ULL, bits);
  }
  TmTaskOptions::resetDefaultsForTesting();
  EvTask task(5, 0, nullptr, false);
  LogCapture cap;
  unsigned long long bits = 7;
  EXPECT_EQ(0, task.getBitOptions(1, bits, nullptr));
  EXPECT_EQ(0ull, bits);
  EXPECT_TRUE(cap.contains("EvTask::getBitOptions", "Bit option [0]"));
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
  RecordTask task(5, 0);
  // "result text, kind": the record's id kind is set by a fetch only.
  const auto read = [&task](int kind) {
    std::string text = "stale";
    const int rc = task.getExtendedOptions(kind, text, nullptr);
    return std::to_string(rc) + " " + text + ", kind " + std::to_string(task.recordIdKind());
  };
  fake->respondError(msg::kGetExtendedOptions, 12, "no text");
  EXPECT_EQ("12 , kind 0", read(0));
  EXPECT_EQ("no text", task.getErrorString());
  respondText<ExtendedOptionsResp>(*fake, msg::kGetExtendedOptions, "0101");
  EXPECT_EQ("0 0101, kind 7", read(7));
  EXPECT_EQ("0 0101, kind 7", read(2));  // cached
  EXPECT_EQ(2u, countOf(*fake, msg::kGetExtendedOptions));
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
