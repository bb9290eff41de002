#include <gtest/gtest.h>

#include <cstring>
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

std::vector<const RecordedRequest*> requestsOf(const std::vector<RecordedRequest>& all, uint32_t type) {
  std::vector<const RecordedRequest*> out;
  for (const RecordedRequest& r : all) {
    if (r.type == type) out.push_back(&r);
  }
  return out;
}

void respondText(FakeAppMgr& fake, uint32_t type, const char* text) {
  if (type == msg::kGetXMLOptions) {
    XmlOptionsResp resp{};
    resp.text = const_cast<char*>(text);
    fake.respond(type, resp);
  } else {
    ExtendedOptionsResp resp{};
    resp.text = const_cast<char*>(text);
    fake.respond(type, resp);
  }
}

// Exposes the record's id kind, which the extended-option fetch sets.
class RecordTask : public EvTask {
 public:
  RecordTask(unsigned long long id, int kind) : EvTask(id, kind, nullptr, false) {}
  long recordIdKind() const { return taskInfo.idKind; }
};

}  // namespace

// --- the tables -------------------------------------------------------------------------------------

TEST(LegacyOptionTables, BitOptionMapHoldsOneRowPerBitWithBit27TwiceAndNoBit63) {
  std::vector<uint64_t> expected;
  for (int bit = 0; bit <= 27; ++bit) expected.push_back(1ULL << bit);
  expected.push_back(1ULL << 27);
  for (int bit = 28; bit <= 62; ++bit) expected.push_back(1ULL << bit);
  ASSERT_EQ(64u, expected.size());
  std::vector<uint64_t> keys;
  for (const LegacyMaskRow& row : bitOptionMap) keys.push_back(row.key);
  EXPECT_EQ(expected, keys);
  EXPECT_EQ(255803862, bitOptionMap[27].optionId);
  EXPECT_EQ(849605276, bitOptionMap[28].optionId);
  EXPECT_EQ(0, bitOptionMap[29].optionId);  // bit 28
  EXPECT_EQ(1871587600, bitOptionMap[62].optionId);  // bit 61
}

TEST(LegacyOptionTables, ExtendeOptionMapSkipsTheUnmappedPositions) {
  std::vector<uint64_t> expected;
  for (uint64_t p = 0; p <= 82; ++p) {
    const bool gap = (p >= 9 && p <= 22) || p == 77 || (p >= 79 && p <= 81);
    if (!gap) expected.push_back(p);
  }
  ASSERT_EQ(65u, expected.size());
  std::vector<uint64_t> keys;
  for (const LegacyMaskRow& row : extendeOptionMap) keys.push_back(row.key);
  EXPECT_EQ(expected, keys);
}

TEST(LegacyOptionTables, ItemMapRepeatsOnlyTheTwoDocumentedItems) {
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

TEST(LegacyOptionTables, NameTablesBeginAndEndWithTheirFirstAndLastNames) {
  EXPECT_STREQ("Description", optionMap[0].name);
  EXPECT_STREQ("Follow Mount Points", optionMap[1].name);
  EXPECT_STREQ("RST_MACHINE_UID", optionMap[kOptionMapRows - 2].name);
  EXPECT_STREQ("RST_MACHINE_UNAME", optionMap[kOptionMapRows - 1].name);
  EXPECT_STREQ("YM_DB2_DEST_INSTANCE_ID", dbOptionMap[0].name);
  EXPECT_STREQ("YM_ORA_DUPLICATE_TOLOGFILE", dbOptionMap[kDbOptionMapRows - 2].name);
  EXPECT_STREQ("YM_ORA_RESTORE_SET_INCARNATION_ITEM", dbOptionMap[kDbOptionMapRows - 1].name);
}

TEST(LegacyOptionTables, OnlyTheDocumentedNamesOccurTwice) {
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
  std::map<std::string, long long> idOfName;  // table prefix + name
  std::map<long long, std::string> nameOfBlockId;
  for (int t = 0; t < 2; ++t) {
    const LegacyNameRow* table = t == 0 ? optionMap : dbOptionMap;
    const size_t rows = t == 0 ? kOptionMapRows : kDbOptionMapRows;
    for (size_t i = 0; i < rows; ++i) {
      const long long oid = table[i].optionId;
      const std::string key = std::to_string(t) + table[i].name;
      const bool inBlock = oid >= kLegacyAssignedIdFirst && oid <= kLegacyAssignedIdLast;
      EXPECT_TRUE(oid == 0 || inBlock || fixedIds().count(oid) == 1) << table[i].name << " " << oid;
      if (!inBlock) continue;
      // One id per name, one name per id.
      auto seen = idOfName.find(key);
      if (seen != idOfName.end()) {
        EXPECT_EQ(seen->second, oid) << table[i].name;
      }
      idOfName[key] = oid;
      auto owner = nameOfBlockId.find(oid);
      if (owner != nameOfBlockId.end()) {
        EXPECT_EQ(owner->second, key) << oid;
      }
      nameOfBlockId[oid] = key;
    }
  }
  // The block is used without holes, and nothing else uses it.
  EXPECT_EQ(static_cast<size_t>(kLegacyAssignedIdLast - kLegacyAssignedIdFirst + 1), nameOfBlockId.size());
  EXPECT_EQ(kLegacyAssignedIdFirst, nameOfBlockId.begin()->first);
  EXPECT_EQ(kLegacyAssignedIdLast, nameOfBlockId.rbegin()->first);
  for (long long oid : fixedIds()) EXPECT_TRUE(oid < kLegacyAssignedIdFirst || oid > kLegacyAssignedIdLast);
  for (const LegacyItemRow& row : itemMap) EXPECT_EQ(0u, nameOfBlockId.count(row.optionId));
  for (const LegacyMaskRow& row : bitOptionMap) EXPECT_EQ(0u, nameOfBlockId.count(row.optionId));
  for (const LegacyMaskRow& row : extendeOptionMap) EXPECT_EQ(0u, nameOfBlockId.count(row.optionId));
  EXPECT_LT(static_cast<long long>(kLegacyAssignedIdLast), 1LL << 31);
}

TEST(LegacyOptionTables, NamesWithoutAnOptionHoldZero) {
  const char* const none[] = {"Description", "Follow Mount Points", "Backup RSS Database", "SystemFile Protect",
                              "Media Status", "PRECMD_CLIENT", "POSTCMD_CLIENT", "AUTO_DISM_STORE",
                              "RLTV_JOB_STAT", "RLTV_BKP_LEVEL", "RLTV_AGD_DATA", "FILE_REPLICATION_SNAP_NAME",
                              "RST_DB2_HISTORY_FILE_PATH", "RST_VIRTUAL_SERVER_VIRTUAL_CENTER",
                              "RST_AD_DEST_SERVER", "1", "2"};
  std::set<std::string> expected(std::begin(none), std::end(none));
  std::set<std::string> zero;
  for (const LegacyNameRow& row : optionMap) {
    if (row.optionId == 0) zero.insert(row.name);
  }
  EXPECT_EQ(expected, zero);
  for (const LegacyNameRow& row : dbOptionMap) EXPECT_NE(0, row.optionId) << row.name;
}

// --- translations through the task ---------------------------------------------------------------------

class LegacyOptionTest : public EvTaskTest {};

TEST_F(LegacyOptionTest, TranslationsNeverContactTheService) {
  EvTask task(42, 0, nullptr, false);
  EXPECT_EQ(270049201ull, task.itemToOptionId(0));
  EXPECT_EQ(869221685ull, task.nameToOptionId("JobId", false));
  EXPECT_EQ(255803862ull, task.bitToOptionId(1ULL << 27, false));
  EXPECT_STREQ("JobId", task.optionIdToName(120009, false));
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(LegacyOptionTest, ItemNumbersTakeTheFirstRow) {
  EvTask task(0, 0, nullptr, false);
  EXPECT_EQ(270049201ull, task.itemToOptionId(0));  // a hit, not a miss
  EXPECT_EQ(6305888ull, task.itemToOptionId(8329));
  EXPECT_EQ(844038310ull, task.itemToOptionId(844038310));
  EXPECT_EQ(844038310ull, task.itemToOptionId(8261));
  EXPECT_EQ(2407ull, task.itemToOptionId(305418106));
  EXPECT_EQ(1149450631ull, task.itemToOptionId(9347));
  EXPECT_EQ(1317434514ull, task.itemToOptionId(8464));
  EXPECT_EQ(0ull, task.itemToOptionId(12345));
  EXPECT_EQ(0ull, task.itemToOptionId(0xFFFFFFFFUL));
}

TEST_F(LegacyOptionTest, BitMasksAreMasksNotBitNumbers) {
  EvTask task(0, 0, nullptr, false);
  EXPECT_EQ(255803862ull, task.bitToOptionId(1ULL << 27, false));  // first of the two bit-27 rows
  EXPECT_EQ(0ull, task.bitToOptionId(27, false));
  EXPECT_EQ(296933587ull, task.bitToOptionId(1, false));
  EXPECT_EQ(851480029ull, task.bitToOptionId(2, false));
  EXPECT_EQ(0ull, task.bitToOptionId(3, false));  // two bits: no row
  EXPECT_EQ(6961954ull, task.bitToOptionId(1ULL << 47, false));
  EXPECT_EQ(2029967311ull, task.bitToOptionId(1ULL << 29, false));
  EXPECT_EQ(0ull, task.bitToOptionId(1ULL << 62, false));
  EXPECT_EQ(0ull, task.bitToOptionId(1ULL << 63, false));
  EXPECT_EQ(0ull, task.bitToOptionId(0, false));
}

TEST_F(LegacyOptionTest, ExtendedPositionsMapThroughTheirOwnTable) {
  EvTask task(0, 0, nullptr, false);
  EXPECT_EQ(1809186937ull, task.bitToOptionId(0, true));
  EXPECT_EQ(1871587600ull, task.bitToOptionId(3, true));
  EXPECT_EQ(0ull, task.bitToOptionId(8, true));  // a row with id 0
  EXPECT_EQ(0ull, task.bitToOptionId(9, true));  // no row
  EXPECT_EQ(814432188ull, task.bitToOptionId(23, true));
  EXPECT_EQ(120002ull, task.bitToOptionId(75, true));
  EXPECT_EQ(0ull, task.bitToOptionId(77, true));
  EXPECT_EQ(712784058ull, task.bitToOptionId(82, true));
  EXPECT_EQ(0ull, task.bitToOptionId(83, true));
  EXPECT_EQ(0ull, task.bitToOptionId((1ULL << 32) + 3, true));
}

TEST_F(LegacyOptionTest, NamesAreCaseSensitiveAndFirstRowWins) {
  EvTask task(0, 0, nullptr, false);
  EXPECT_EQ(869221685ull, task.nameToOptionId("JobId", false));
  EXPECT_EQ(0ull, task.nameToOptionId("jobid", false));
  EXPECT_EQ(0ull, task.nameToOptionId("JobId ", false));
  EXPECT_EQ(0ull, task.nameToOptionId(std::string("JobId\0x", 7), false));
  EXPECT_EQ(0ull, task.nameToOptionId("JobId", true));
  EXPECT_EQ(0ull, task.nameToOptionId("", false));
  EXPECT_EQ(140015ull, task.nameToOptionId("ExtendedOptions", false));
  EXPECT_EQ(377275742ull, task.nameToOptionId("SourceDestinationPair", false));
  EXPECT_EQ(1596802805ull, task.nameToOptionId("PZNASRecoveryType", false));
  EXPECT_EQ(140002ull, task.nameToOptionId("ClientGroupId", false));
  EXPECT_EQ(120006ull, task.nameToOptionId("NAS_RESTORE_OPTIONS", false));
  EXPECT_EQ(120006ull, task.nameToOptionId("EV_RST_NAS_OPTIONS", false));
  EXPECT_EQ(312734045ull, task.nameToOptionId("SYB_DEST_INST_ID", false));
  EXPECT_EQ(0ull, task.nameToOptionId("Description", false));
  EXPECT_NE(task.nameToOptionId("PZVolumeID", false), task.nameToOptionId("PZVolumeId", false));
}

TEST_F(LegacyOptionTest, SharedIdsOfTheNameTables) {
  EvTask task(0, 0, nullptr, false);
  const std::vector<std::vector<const char*>> groups = {
      {"OracleLogScript", "OracleRmanLogScript"},     {"ON_DEMAND_INPUT_FILE", "RST_FROM_MAP_INPUT_FILE"},
      {"RLTV_TIME_FROM", "RCV_TIME_FROM"},             {"RLTV_TIME_TO", "RCV_TIME_TO"},
      {"RST_LH_CLIENT_ID", "RST_ORA_TABLE_DB_CLIENT"}, {"ArchLogBackedUp", "ArchLogNotBackedUp"},
      {"ArchLogDelBackedUp", "ArchLogDelNotBackedUp"}};
  const std::vector<unsigned long long> ids = {1880543769, 840406153, 17303908, 237388043,
                                               293753447,  1974251779, 1074349932};
  for (size_t g = 0; g < groups.size(); ++g) {
    for (const char* name : groups[g]) EXPECT_EQ(ids[g], task.nameToOptionId(name, false)) << name;
  }
  EXPECT_EQ(150014ull, task.nameToOptionId("YM_DB2_TIMESTAMP", true));
  EXPECT_EQ(0ull, task.nameToOptionId("YM_DB2_TIMESTAMP", false));
  EXPECT_EQ(312734045ull, task.nameToOptionId("YM_DB2_DEST_INSTANCE_ID", true));
  for (const char* name : {"YM_IFMX_DEST_CLIENT", "YM_ORACLE_DEST_CLIENT"}) {
    EXPECT_EQ(293753447ull, task.nameToOptionId(name, true)) << name;
  }
  for (const char* name : {"YM_DB2_ALTERNATE_LOG", "YM_DB2_RESTORE_STREAMS"}) {
    EXPECT_EQ(1229966291ull, task.nameToOptionId(name, true)) << name;
  }
  for (const char* name : {"YM_DB2_COPY_PRECEDENCE", "YM_IFMX_RESTORE_COPYID", "YM_ORA_COPY_PRECEDENCE"}) {
    EXPECT_EQ(957862300ull, task.nameToOptionId(name, true)) << name;
  }
  for (const char* name : {"YM_IFMX_WHOLE_REST_SERIAL", "YM_IFMX_ENTIRE_REST"}) {
    EXPECT_EQ(1993647715ull, task.nameToOptionId(name, true)) << name;
  }
}

TEST_F(LegacyOptionTest, IdsMapBackToTheFirstNameThatHoldsThem) {
  EvTask task(0, 0, nullptr, false);
  EXPECT_STREQ("Description", task.optionIdToName(0, false));
  EXPECT_STREQ("JobId", task.optionIdToName(120009, false));
  EXPECT_STREQ("JobId", task.optionIdToName(869221685, false));
  EXPECT_STREQ("SourceDestinationPair", task.optionIdToName(227382310, false));
  EXPECT_STREQ("OracleLogScript", task.optionIdToName(1880543769, false));
  EXPECT_STREQ("RST_LH_CLIENT_ID", task.optionIdToName(293753447, false));
  EXPECT_STREQ("YM_IFMX_DEST_CLIENT", task.optionIdToName(293753447, true));
  EXPECT_STREQ("YM_DB2_COPY_PRECEDENCE", task.optionIdToName(957862300, true));
  EXPECT_STREQ("", task.optionIdToName(0, true));
  EXPECT_STREQ("", task.optionIdToName(120009 + (1ULL << 32), false));
  EXPECT_STREQ("", task.optionIdToName(555, false));
  // Every name that owns an id of its own comes back from it.
  for (const LegacyNameRow& row : optionMap) {
    if (row.optionId < kLegacyAssignedIdFirst || row.optionId > kLegacyAssignedIdLast) continue;
    EXPECT_STREQ(row.name, task.optionIdToName(task.nameToOptionId(row.name, false), false));
  }
  for (const LegacyNameRow& row : dbOptionMap) {
    if (row.optionId < kLegacyAssignedIdFirst || row.optionId > kLegacyAssignedIdLast) continue;
    EXPECT_STREQ(row.name, task.optionIdToName(task.nameToOptionId(row.name, true), true));
  }
}

// --- bit options ------------------------------------------------------------------------------------

TEST_F(LegacyOptionTest, BitOptionsReadTheWordOfTheirKind) {
  const std::vector<std::pair<int, unsigned long long>> kinds = {{1, 11}, {3, 33}, {4, 44}, {0, 44}, {9, 44}};
  for (const auto& k : kinds) {
    EvTask task(5, 0, nullptr, false);
    respondOptions(*fake, msg::kGetOptions, {{120001, 15, "11"}, {130006, 15, "33"}, {100003, 15, "44"}});
    unsigned long long bits = 99;
    EXPECT_EQ(0, task.getBitOptions(k.first, bits, nullptr)) << k.first;
    EXPECT_EQ(k.second, bits) << k.first;
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

TEST_F(LegacyOptionTest, BitOptionsReportALoadFailureWithZeroBits) {
  EvTask task(5, 0, nullptr, false);
  fake->respondError(msg::kGetOptions, 4242, "no options today");
  unsigned long long bits = 7;
  EXPECT_EQ(4242, task.getBitOptions(1, bits, nullptr));
  EXPECT_EQ(0ull, bits);
  EXPECT_EQ("no options today", task.getErrorString());
}

TEST_F(LegacyOptionTest, IsBitOptionSetNeedsEveryBitOfTheMask) {
  EvTask task(5, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{100003, 15, "48"}, {120001, 15, "1"}});
  LogCapture cap;
  bool isSet = false;
  EXPECT_EQ(0, task.isBitOptionSet(4, 0x10, isSet, nullptr));
  EXPECT_TRUE(isSet);
  EXPECT_TRUE(cap.contains("EvTask::isBitOptionSet", "Bit option [48], option [16], isSet [1]"));
  EXPECT_EQ(0, task.isBitOptionSet(4, 0x11, isSet, nullptr));
  EXPECT_FALSE(isSet);
  EXPECT_EQ(0, task.isBitOptionSet(4, 0x30, isSet, nullptr));
  EXPECT_TRUE(isSet);
  EXPECT_EQ(0, task.isBitOptionSet(4, 0, isSet, nullptr));
  EXPECT_TRUE(isSet);
  EXPECT_EQ(0, task.isBitOptionSet(1, 0x10, isSet, nullptr));
  EXPECT_FALSE(isSet);
  EXPECT_EQ(0, task.isBitOptionSet(1, 0x1, isSet, nullptr));
  EXPECT_TRUE(isSet);
  EXPECT_EQ(1u, countOf(*fake, msg::kGetOptions));
}

TEST_F(LegacyOptionTest, KindThreeReadsDifferentWordsForTheWordAndTheTest) {
  EvTask task(5, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{130006, 15, "1"}, {100003, 15, "2"}});
  unsigned long long bits = 0;
  EXPECT_EQ(0, task.getBitOptions(3, bits, nullptr));
  EXPECT_EQ(1ull, bits);
  bool isSet = true;
  EXPECT_EQ(0, task.isBitOptionSet(3, 1, isSet, nullptr));
  EXPECT_FALSE(isSet);
  EXPECT_EQ(0, task.isBitOptionSet(3, 2, isSet, nullptr));
  EXPECT_TRUE(isSet);
}

TEST_F(LegacyOptionTest, IsBitOptionSetIsFalseWhenTheReadFails) {
  EvTask task(5, 0, nullptr, false);
  fake->respondError(msg::kGetOptions, 77, "down");
  bool isSet = true;
  EXPECT_EQ(77, task.isBitOptionSet(4, 0, isSet, nullptr));
  EXPECT_FALSE(isSet);
}

// --- extended options read as options ------------------------------------------------------------------

TEST_F(LegacyOptionTest, IsExtOptionSetLooksAtOneCharacter) {
  EvTask task(5, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{120002, 1, "0001"}});
  LogCapture cap;
  bool isSet = false;
  EXPECT_EQ(0, task.isExtOptionSet(2, 3, isSet, nullptr));
  EXPECT_TRUE(isSet);
  EXPECT_TRUE(cap.contains("EvTask::isExtOptionSet", "Extended option string [0001], option [3], isSet [1]"));
  isSet = true;
  EXPECT_EQ(0, task.isExtOptionSet(2, 4, isSet, nullptr));  // the length itself
  EXPECT_FALSE(isSet);
  isSet = true;
  EXPECT_EQ(0, task.isExtOptionSet(2, 5, isSet, nullptr));
  EXPECT_FALSE(isSet);
  isSet = true;
  EXPECT_EQ(0, task.isExtOptionSet(2, -1, isSet, nullptr));
  EXPECT_FALSE(isSet);
  isSet = true;
  EXPECT_EQ(0, task.isExtOptionSet(2, 0, isSet, nullptr));
  EXPECT_FALSE(isSet);
}

TEST_F(LegacyOptionTest, IsExtOptionSetChoosesTheStringByKind) {
  EvTask task(5, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{120002, 1, "100"}, {130005, 1, "010"}, {100004, 1, "001"}});
  const std::vector<std::pair<int, int>> kindAndSetPosition = {{2, 0}, {7, 1}, {5, 2}, {0, 2}, {3, 2}};
  for (const auto& k : kindAndSetPosition) {
    for (int position = 0; position < 3; ++position) {
      bool isSet = false;
      EXPECT_EQ(0, task.isExtOptionSet(k.first, position, isSet, nullptr));
      EXPECT_EQ(position == k.second, isSet) << "kind " << k.first << " position " << position;
    }
  }
}

TEST_F(LegacyOptionTest, IsExtOptionSetOnlyAcceptsTheCharacterOne) {
  EvTask task(5, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{100004, 1, "2x1"}});
  bool isSet = true;
  EXPECT_EQ(0, task.isExtOptionSet(5, 0, isSet, nullptr));
  EXPECT_FALSE(isSet);
  EXPECT_EQ(0, task.isExtOptionSet(5, 1, isSet, nullptr));
  EXPECT_FALSE(isSet);
  EXPECT_EQ(0, task.isExtOptionSet(5, 2, isSet, nullptr));
  EXPECT_TRUE(isSet);
}

// --- fetched texts -------------------------------------------------------------------------------------

TEST_F(LegacyOptionTest, XmlOptionsAreFetchedOnceAndSurviveWrites) {
  EvTask task(5, 0, nullptr, false);
  respondText(*fake, msg::kGetXMLOptions, "<opts a=\"1\"/>");
  std::string xml = "old";
  EXPECT_EQ(0, task.getXMLOptions(xml, nullptr));
  EXPECT_EQ("<opts a=\"1\"/>", xml);
  EXPECT_EQ(0, task.setOptionInt(9, 3, nullptr));
  respondText(*fake, msg::kGetXMLOptions, "<other/>");
  xml.clear();
  EXPECT_EQ(0, task.getXMLOptions(xml, nullptr));
  EXPECT_EQ("<opts a=\"1\"/>", xml);
  EXPECT_EQ(1u, countOf(*fake, msg::kGetXMLOptions));
}

TEST_F(LegacyOptionTest, AFailedXmlFetchLeavesTheTextAndIsRetried) {
  EvTask task(5, 0, nullptr, false);
  fake->respondError(msg::kGetXMLOptions, 31, "xml failed");
  std::string xml = "kept";
  EXPECT_EQ(31, task.getXMLOptions(xml, nullptr));
  EXPECT_EQ("kept", xml);
  EXPECT_EQ("xml failed", task.getErrorString());
  respondText(*fake, msg::kGetXMLOptions, "<x/>");
  EXPECT_EQ(0, task.getXMLOptions(xml, nullptr));
  EXPECT_EQ("<x/>", xml);
  EXPECT_EQ(2u, countOf(*fake, msg::kGetXMLOptions));
}

TEST_F(LegacyOptionTest, ExtendedOptionsAreFetchedAgainAfterAnyOptionWrite) {
  RecordTask task(5, 0);
  respondText(*fake, msg::kGetExtendedOptions, "0101");
  std::string text;
  EXPECT_EQ(0, task.getExtendedOptions(7, text, nullptr));
  EXPECT_EQ("0101", text);
  EXPECT_EQ(7, task.recordIdKind());
  // Cached: the kind of later calls does not matter.
  EXPECT_EQ(0, task.getExtendedOptions(2, text, nullptr));
  EXPECT_EQ("0101", text);
  EXPECT_EQ(7, task.recordIdKind());
  EXPECT_EQ(1u, countOf(*fake, msg::kGetExtendedOptions));

  EXPECT_EQ(0, task.setOptionInt(9, 3, nullptr));
  respondText(*fake, msg::kGetExtendedOptions, "1");
  EXPECT_EQ(0, task.getExtendedOptions(2, text, nullptr));
  EXPECT_EQ("1", text);
  EXPECT_EQ(2, task.recordIdKind());
  EXPECT_EQ(2u, countOf(*fake, msg::kGetExtendedOptions));

  task.clearBitInitialized();
  EXPECT_EQ(0, task.getExtendedOptions(2, text, nullptr));
  EXPECT_EQ(3u, countOf(*fake, msg::kGetExtendedOptions));
}

TEST_F(LegacyOptionTest, AFailedExtendedFetchEmptiesTheText) {
  EvTask task(5, 0, nullptr, false);
  fake->respondError(msg::kGetExtendedOptions, 12, "no text");
  std::string text = "stale";
  EXPECT_EQ(12, task.getExtendedOptions(2, text, nullptr));
  EXPECT_EQ("", text);
  EXPECT_EQ("no text", task.getErrorString());
}

// --- writing an extended-option string -------------------------------------------------------------------

TEST_F(LegacyOptionTest, SetExtendedOptionsWritesOneBooleanPerMappedPosition) {
  EvTask task(5, 0, nullptr, false);
  LogCapture cap;
  EXPECT_EQ(0, task.setExtendedOptions("101"));
  const std::vector<RecordedRequest> all = fake->requests();
  const std::vector<const RecordedRequest*> writes = requestsOf(all, msg::kSetOptions);
  ASSERT_EQ(3u, writes.size());
  const std::vector<std::pair<unsigned long long, std::string>> expected = {
      {1809186937, "1"}, {1468484567, "0"}, {1430556228, "1"}};
  for (size_t i = 0; i < writes.size(); ++i) {
    const std::vector<Opt> opts = writtenOptions(*writes[i]);
    ASSERT_EQ(1u, opts.size());
    EXPECT_EQ(expected[i].first, opts[0].id);
    EXPECT_EQ(expected[i].second, opts[0].value);
    EXPECT_EQ(2, opts[0].type);
  }
  EXPECT_TRUE(cap.contains("EvTask::setExtendedOptions", "Extended option string input [101]."));
}

TEST_F(LegacyOptionTest, SetExtendedOptionsSkipsPositionsWithoutAnOption) {
  EvTask task(5, 0, nullptr, false);
  LogCapture cap;
  EXPECT_EQ(0, task.setExtendedOptions("1111111111"));
  const std::vector<RecordedRequest> all = fake->requests();
  const std::vector<const RecordedRequest*> writes = requestsOf(all, msg::kSetOptions);
  ASSERT_EQ(8u, writes.size());
  for (size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(task.bitToOptionId(i, true), writtenOptions(*writes[i])[0].id) << i;
  }
  for (int position : {8, 9}) {
    EXPECT_TRUE(cap.contains("EvTask::setExtendedOptions",
                             "Could not set extended option for bit position [" + std::to_string(position) +
                                 "]. Old extended option not mapped to new option"))
        << position;
  }
  EXPECT_FALSE(cap.contains("EvTask::setExtendedOptions",
                            "Could not set extended option for bit position [7]. Old extended option not mapped to "
                            "new option"));
}

TEST_F(LegacyOptionTest, SetExtendedOptionsReadsEachCharacterAsADigit) {
  EvTask task(5, 0, nullptr, false);
  EXPECT_EQ(0, task.setExtendedOptions("5x0 "));
  const std::vector<RecordedRequest> all = fake->requests();
  const std::vector<const RecordedRequest*> writes = requestsOf(all, msg::kSetOptions);
  ASSERT_EQ(4u, writes.size());
  const char* const values[] = {"1", "0", "0", "0"};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(values[i], writtenOptions(*writes[i])[0].value) << i;
}

TEST_F(LegacyOptionTest, SetExtendedOptionsWithTheEmptyTextWritesNothing) {
  EvTask task(5, 0, nullptr, false);
  EXPECT_EQ(0, task.setExtendedOptions(""));
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(LegacyOptionTest, SetExtendedOptionsStopsAtTheFirstFailedWrite) {
  EvTask task(5, 0, nullptr, false);
  GenericResp ok{};
  fake->respond(msg::kSetOptions, ok);
  fake->respondError(msg::kSetOptions, 900, "refused");
  LogCapture cap;
  EXPECT_EQ(900, task.setExtendedOptions("1111"));
  EXPECT_EQ(2u, countOf(*fake, msg::kSetOptions));
  EXPECT_TRUE(cap.contains("EvTask::setExtendedOptions",
                           "Could not set all extended options, failed on optionId/position [1468484567/1]. "
                           "[refused]"));
  EXPECT_EQ("refused", task.getErrorString());
}

TEST_F(LegacyOptionTest, SetExtendedOptionsMakesTheNextExtendedReadFetch) {
  EvTask task(5, 0, nullptr, false);
  respondText(*fake, msg::kGetExtendedOptions, "1");
  std::string text;
  EXPECT_EQ(0, task.getExtendedOptions(2, text, nullptr));
  EXPECT_EQ(0, task.setExtendedOptions(""));
  respondText(*fake, msg::kGetExtendedOptions, "0");
  EXPECT_EQ(0, task.getExtendedOptions(2, text, nullptr));
  EXPECT_EQ("0", text);
  EXPECT_EQ(2u, countOf(*fake, msg::kGetExtendedOptions));
}
