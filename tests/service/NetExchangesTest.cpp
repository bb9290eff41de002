// What each exchange of the network interface sends and how it unpacks the
// answer: every field of a row with a value of its own, so that a field
// filled from its neighbour shows. Failures of every exchange are the fault
// matrix's.
#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/AppMgrExchange.h"
#include "platform/PlatformMessages.h"
#include "platform/YMPlatformInfo.h"
#include "platform/YmErrors.h"
#include "service/TaskInterfaceNet.h"
#include "service/TaskWireStructs.h"
#include "support/FakeAppMgr.h"
#include "support/NetOperations.h"
#include "support/TestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

class NetExchangesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    YMPlatformInfo::clearStore();
    task.jobId = 0x100000011ULL;
    task.taskId = 22;
    task.subTaskId = 33;
    task.idKind = 2;
    task.optionKey = 0x500000055ULL;
  }

  ScopedFakeAppMgr fake;
  TaskInterfaceNet net;
  _TaskInfo task;
  RecordingCallback rec;
  std::string err;
};

// Answers the next request of `type` with three option records.
void respondThreeOptions(ScopedFakeAppMgr& fake, uint32_t type) {
  static char a[] = "alpha", c[] = "gamma";
  TaskApiOptions recs[] = {{1, 7, a}, {0x100000002ull, 1, nullptr}, {3, 13, c}};
  fake->respondRows(type, &GenericGetOptionsResp::options, recs);
}

// The values separated by blanks, so that one comparison shows every field.
template <class... T>
std::string join(const T&... values) {
  std::ostringstream o;
  ((o << values << ' '), ...);
  return o.str();
}

}  // namespace

// For every exchange that carries the identity block: the fields it sends
// from the record, and (by their absence) the fields it must leave zero.
TEST_F(NetExchangesTest, EveryExchangeSendsExactlyItsIdentityFields) {
  enum : unsigned { kJob = 1, kTask = 2, kSub = 4, kKind = 8, kKey = 16, kAll = 31 };
  const std::map<std::string, unsigned> fields = {
      {"lookup", kAll}, {"update", kAll}, {"getOptions", kAll & ~kKey}, {"getDefaults", 0},
      {"setOptions", kAll & ~kKind}, {"removeOptions(records)", kAll & ~kKind}, {"removeOptions(ids)", kAll & ~kKind},
      {"getFiles", kAll & ~kKind}, {"setFiles", kAll & ~kKind}, {"removeFiles(entries)", kAll & ~kKind},
      {"removeFiles(names)", kAll & ~kKind}, {"getXMLOptions", kJob | kTask | kSub},
      {"getBitOptions", kJob | kTask | kSub}, {"getExtendedOptions", kJob | kTask | kSub}, {"getJobInfo", kJob},
      {"getTaskInfo", kTask}, {"getSubTaskInfo", kTask | kSub}, {"getEntityInfo", kTask | kSub},
      {"setTaskInfo", kTask}, {"setSubTaskInfo", kTask | kSub}, {"setEntityInfo", kTask | kSub},
      {"getDefaultTaskId", 0}, {"getJobListFromTaskId", kAll & ~kKind}};
  size_t checked = 0;
  for (const NetOperation& op : netOperations()) {
    const auto row = fields.find(op.name);
    if (row == fields.end()) continue;
    SCOPED_TRACE(op.name);
    NetCallState state;
    const _TaskInfo sentFrom = state.task;
    ASSERT_EQ(0, op.run(net, state)) << state.err;
    const RecordedRequest r = fake->last(op.requestType);
    ASSERT_GE(r.size, 16u + sizeof(TaskApiInfo));
    const TaskApiInfo& sent = r.as<GenericTaskApiReq>().info;
    const auto from = [&](unsigned field, unsigned long long value) { return (row->second & field) ? value : 0; };
    EXPECT_EQ(join(from(kJob, sentFrom.jobId), from(kTask, sentFrom.taskId), from(kSub, sentFrom.subTaskId),
                   from(kKind, sentFrom.idKind), from(kKey, sentFrom.optionKey)),
              join(sent.jobId, sent.taskId, sent.subTaskId, sent.idKind, sent.optionKey));
    for (uint8_t b : sent.reserved) EXPECT_EQ(0, b);
    ++checked;
  }
  EXPECT_EQ(fields.size(), checked) << "an exchange of the table is missing from the operations";
  // getDefaultOption puts the wanted option id in the key position only.
  std::string value;
  ASSERT_EQ(0, net.getDefaultOption(77, value, err, nullptr));
  const RecordedRequest request = fake->last(msg::kGetDefaultOption);
  const TaskApiInfo& sent = request.as<GenericTaskApiReq>().info;
  EXPECT_EQ("0 0 0 0 77 ", join(sent.jobId, sent.taskId, sent.subTaskId, sent.idKind, sent.optionKey));
}

TEST_F(NetExchangesTest, FailuresCarryTheServersTextOrSayWhatWentWrong) {
  task.optionText = "kept";
  fake->respondError(msg::kLookup, 4711, "task is locked");
  EXPECT_EQ(4711, net.lookup(task, err, nullptr));
  EXPECT_EQ("task is locked", err);
  // A header that is no response header says so, whatever its text field.
  fake->respondError(msg::kLookup, 0, "looks fine");
  fake->mutateNextResponse([](Frame& f) { f[kFrameHeaderSize] ^= 0xFF; });
  EXPECT_EQ(YM_SESSION_PROTOCOL_ERROR, net.lookup(task, err, nullptr));
  EXPECT_EQ(AppMgrExchange::kBadResponseMagicText, err);
  EXPECT_EQ("kept", task.optionText);
  // Patterns of a task without entities, and options by job without a job
  // id, are not requested.
  const size_t sent = fake->requestCount();
  EXPECT_EQ(YM_DB_NODATA, net.getPatternInfo(task, err, nullptr));
  EXPECT_FALSE(err.empty());
  LogCapture cap;
  task.idKind = 0;
  task.jobId = 0;
  EXPECT_EQ(1, net.getOptions(task, &rec, err, nullptr));
  EXPECT_EQ(sent, fake->requestCount());
  EXPECT_TRUE(cap.contains("TaskInterfaceNet::getOptions", "JobId cannot be 0 when retrieving options by job"));
  task.idKind = 1;  // by subtask, job id 0 is fine
  EXPECT_EQ(0, net.getOptions(task, &rec, err, nullptr));
  EXPECT_EQ(sent + 1, fake->requestCount());

  setInProcessHandler(nullptr);
  EXPECT_EQ(YM_SESSION_NO_SERVER, net.lookup(task, err, nullptr));
  EXPECT_NE(std::string::npos, err.find("No application manager")) << err;
  YMPlatformInfo::setValue("Platform", "AppMgrEndpoint", "tcp:127.0.0.1:1");
  EXPECT_EQ(YM_SESSION_NO_SERVER, net.lookup(task, err, nullptr));
  YMPlatformInfo::clearStore();
}

TEST_F(NetExchangesTest, EntitiesAndPatternsTravelFieldByField) {
  // Entities are sent eleven fields a row (or as count 0) and appended with the local fields zero.
  ASSERT_EQ(0, net.setEntityInfo(task, err, nullptr));
  EXPECT_EQ(80u, fake->last(msg::kSetEntityInfo).size);
  EXPECT_EQ(0u, fake->last(msg::kSetEntityInfo).as<SetEntityInfoReq>().count);
  EXPECT_EQ(nullptr, fake->last(msg::kSetEntityInfo).as<SetEntityInfoReq>().entities);
  task.entities = {sampleEntity(10), sampleEntity(30)};
  ASSERT_EQ(0, net.setEntityInfo(task, err, nullptr));
  const auto req = fake->last(msg::kSetEntityInfo);
  const auto& r = req.as<SetEntityInfoReq>();
  ASSERT_EQ(2u, r.count);
  const auto& w = r.entities[0];
  EXPECT_EQ("10 11 22 12 13 14 15 16 17 18 19 ",
            join(w.field0, w.field1, w.taskId, w.clientGroupId, w.clientId, w.appTypeId, w.instanceId, w.backupsetId,
                 w.subclientId, w.field9, w.field10));
  EXPECT_EQ(33u, r.entities[1].clientId);

  Sch_AssocEntity rows[] = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
  fake->respondRows(msg::kGetEntityInfo, &EntityInfoResp::entities, rows);
  ASSERT_EQ(0, net.getEntityInfo(task, err, nullptr));
  ASSERT_EQ(3u, task.entities.size());
  const Sched_AssocEntity& e = task.entities[2];
  EXPECT_EQ("1 2 3 4 5 6 7 8 9 10 11 0 0 ",
            join(e.reserved1, e.reserved2, e.taskId, e.clientGroupId, e.clientId, e.appTypeId, e.instanceId,
                 e.backupsetId, e.subclientId, e.extraValue1, e.extraValue2, e.localValue1, e.localValue2));

  // Patterns of the first entity are appended; its fields 0 and 1 are not sent.
  Sch_Pattern patterns[2]{};
  char a[] = "first", b[] = "second";
  patterns[0].text1 = a;
  patterns[0].fields1[7] = 8;
  patterns[0].text3 = b;
  patterns[0].field9 = 9;
  patterns[0].fields2[6] = 16;
  fake->respondRows(msg::kGetPatternInfo, &GetPatternResp::patterns, patterns);
  ASSERT_EQ(0, net.getPatternInfo(task, err, nullptr));
  ASSERT_EQ(2u, task.patterns.size());
  const Sched_Pattern& p = task.patterns[0];
  EXPECT_EQ("first  second 8 9 16 ", join(p.text1, p.text2, p.text3, p.value8, p.value9, p.value16));
  const auto preq = fake->last(msg::kGetPatternInfo);
  const auto& pe = preq.as<GetPatternReq>().entity;
  EXPECT_EQ("0 0 13 19 ", join(pe.field0, pe.field1, pe.clientId, pe.field10));
}

// Option and file records of the answers reach the callbacks in order, and
// removals send no texts. (The task object's tests pin the writes.)
TEST_F(NetExchangesTest, OptionsAndFilesTravelFieldByField) {
  respondThreeOptions(fake, msg::kGetOptions);
  respondThreeOptions(fake, msg::kGetDefaults);
  char p[] = "/restore/here";
  TaskApiFiles answer[] = {{150003, 150004, p}};
  fake->respondRows(msg::kGetFiles, &GenericGetTaskFilesResp::files, answer);
  ASSERT_EQ(0, net.getOptions(task, &rec, err, nullptr)) << err;
  ASSERT_EQ(0, net.getDefaults(&rec, err, nullptr)) << err;
  ASSERT_EQ(0, net.getFiles(task, &rec, err, nullptr)) << err;
  EXPECT_EQ("option(1,alpha,7)option(4294967298,,1)option(3,gamma,13)default(1,alpha,7)default(4294967298,,1)"
            "default(3,gamma,13)file(150003,/restore/here,150004)",
            rec.received);
  TaskOption a(0x100000005ull, "one", 1);
  ASSERT_EQ(0, net.removeOptions(task, std::vector<const TaskOption*>{&a}, err, nullptr));
  const auto removed = fake->last(msg::kRemoveOptions);
  ASSERT_EQ(1u, removed.as<GenericRemoveTaskOptionsReq>().count);
  EXPECT_EQ(0x100000005ull, removed.as<GenericRemoveTaskOptionsReq>().options[0].optionId);
  EXPECT_EQ(nullptr, removed.as<GenericRemoveTaskOptionsReq>().options[0].value);
  ASSERT_EQ(0, net.removeOptions(task, std::vector<unsigned long long>{0x100000005ull, 9}, err, nullptr));
  const auto ids = fake->last(msg::kRemoveOptionIds);
  ASSERT_EQ(2u, ids.as<RemoveTaskOptionsReq>().count);
  EXPECT_EQ(5u, ids.as<RemoveTaskOptionsReq>().optionIds[0]) << "the low half";
  ASSERT_EQ(0, net.removeFiles(task, std::vector<std::string>{"/a", "/b"}, err, nullptr));
  const auto names = fake->last(msg::kRemoveFileNames);
  ASSERT_EQ(2u, names.as<GenericRemoveTaskFilesReq>().count);
  EXPECT_STREQ("/b", names.as<GenericRemoveTaskFilesReq>().files[1].value);
  EXPECT_EQ(0, names.as<GenericRemoveTaskFilesReq>().files[1].type);
  // The default option is the first value; an unknown id leaves the value.
  std::string value = "caller's";
  ASSERT_EQ(0, net.getDefaultOption(0x1234567890ull, value, err, nullptr));
  EXPECT_EQ("caller's", value);
  respondThreeOptions(fake, msg::kGetDefaultOption);
  ASSERT_EQ(0, net.getDefaultOption(1, value, err, nullptr));
  EXPECT_EQ("alpha", value);
}

TEST_F(NetExchangesTest, CatalogueListsTravelFieldByField) {
  // Job ids from the statistics: text, flag and number as given.
  std::list<unsigned long long> jobs;
  ASSERT_EQ(0, net.getJobIdsFromBkpStats(jobs, "where", true, -3, err, nullptr));
  const auto stats = fake->last(msg::kGetJobIdsFromBkpStats);
  const auto& s = stats.as<GetJobIdsFromBkpStatsReq>();
  EXPECT_EQ("where 1 -3 ", join(s.text, s.flag, s.number));

  // Compliance options: the unsent argument changes nothing of the request.
  char name[] = "retain";
  SchedComplianceOption entries[] = {{4, name}, {5, nullptr}};
  fake->respondRows(msg::kGetComplianceOptionList, &ComplianceOptionListResp::options, entries);
  std::list<_ComplianceOptionInfo> out;
  ASSERT_EQ(0, net.getComplianceOptionList(-9, out, err, 111, static_cast<ymComplianceOptions>(3), 6));
  ASSERT_EQ(2u, out.size());
  EXPECT_EQ("4 retain 5  ", join(out.front().value, out.front().name, out.back().value, out.back().name));
  const auto first = fake->last(msg::kGetComplianceOptionList);
  ASSERT_EQ(0, net.getComplianceOptionList(-9, out, err, 222, static_cast<ymComplianceOptions>(3), 6));
  const auto second = fake->last(msg::kGetComplianceOptionList);
  const auto& c = second.as<ComplianceOptionListReq>();
  EXPECT_EQ(0, std::memcmp(&first.as<ComplianceOptionListReq>().id, &c.id, 16));
  EXPECT_EQ("-9 3 6 ", join(c.id, c.kind, c.number));

  // Record centers accumulate across calls.
  char t[7][8] = {"t1", "t2", "t3", "t4", "t5", "t6", "t7"};
  SchedRecordCenter center[] = {{1, t[0], t[1], t[2], t[3], t[4], 2, t[5], t[6], 3}};
  fake->respondRows(msg::kGetRecordCenterList, &RecordCenterListResp::centers, center);
  fake->respondRows(msg::kGetRecordCenterList, &RecordCenterListResp::centers, center);
  std::list<_RecordCenterInfo> centerList;
  ASSERT_EQ(0, net.getRecordCenterList(centerList, err, 4));
  ASSERT_EQ(0, net.getRecordCenterList(centerList, err, 4));
  ASSERT_EQ(2u, centerList.size());
  const _RecordCenterInfo& rc = centerList.back();
  EXPECT_EQ("1 t1 t2 t3 t4 t5 2 t6 t7 3 ",
            join(rc.id, rc.text1, rc.text2, rc.text3, rc.text4, rc.text5, rc.value1, rc.text6, rc.text7, rc.value2));
  EXPECT_EQ(4, fake->last(msg::kGetRecordCenterList).as<RecordCenterListReq>().number);

  char a[] = "a", b[] = "b", cc[] = "c", d[] = "d";
  SchedRecordConnector connector[] = {{1, a, 2, b, nullptr, cc, 3}};
  fake->respondRows(msg::kGetRecordConnectorList, &RecordConnectorListResp::connectors, connector);
  std::list<_RecordConnectorInfo> conns;
  ASSERT_EQ(0, net.getRecordConnectorList(conns, err, 0));
  ASSERT_EQ(1u, conns.size());
  const _RecordConnectorInfo& k = conns.front();
  EXPECT_EQ("1 a 2 b  c 3 ", join(k.id, k.text1, k.value1, k.text2, k.text3, k.text4, k.value2));

  SchedLegalHold hold[] = {{a, b, cc, {7, 8, 9}, d, {10, 11}}};
  fake->respondRows(msg::kGetLegalHoldList, &LegalHoldListResp::holds, hold);
  std::list<_LegalHoldInfo> holdList;
  ASSERT_EQ(0, net.getLegalHoldList(holdList, err, "filter"));
  ASSERT_EQ(1u, holdList.size());
  const _LegalHoldInfo& l = holdList.front();
  EXPECT_EQ("a b c 7 8 9 d 10 11 ",
            join(l.text1, l.text2, l.text3, l.words1[0], l.words1[1], l.words1[2], l.text4, l.words2[0], l.words2[1]));
  EXPECT_STREQ("filter", fake->last(msg::kGetLegalHoldList).as<LegalHoldListReq>().text);
}

TEST_F(NetExchangesTest, TagFilterAndUpdateInfo) {
  // Without a filter the tag block is zero; with one, its texts and number.
  std::list<_DM2TagInfo> tags;
  ASSERT_EQ(0, net.getTagList(tags, err, nullptr));
  const auto none = fake->last(msg::kGetTagList);
  EXPECT_EQ(nullptr, none.as<TagListReq>().tag.text1);
  EXPECT_EQ(nullptr, none.as<TagListReq>().tag.text5);
  EXPECT_EQ(0, none.as<TagListReq>().tag.number);
  _DM2TagInfo filter;
  filter.text2 = "two";
  filter.value = 12;
  char one[] = "one", two[] = "two", three[] = "three", four[] = "four", five[] = "five";
  SchedDM2Tag entry[] = {{one, two, three, four, five, 13}};
  fake->respondRows(msg::kGetTagList, &TagListResp::tags, entry);
  ASSERT_EQ(0, net.getTagList(tags, err, &filter));
  const auto req = fake->last(msg::kGetTagList);
  const auto& sent = req.as<TagListReq>().tag;
  EXPECT_EQ("two  12 ", join(sent.text2, sent.text1, sent.number)) << "unset texts are sent empty";
  ASSERT_EQ(1u, tags.size());
  const _DM2TagInfo& t = tags.front();
  EXPECT_EQ("one two three four five 13 ", join(t.text1, t.text2, t.text3, t.text4, t.text5, t.value));

  // Update information is replaced only when the server answers entries.
  _UpdateInformation info;
  info.updates = {{5, 55}, {6, 66}};
  ASSERT_EQ(0, net.GetUpdateInfo(info, err, 0, 0, 0));
  const auto update = fake->last(msg::kGetUpdateInfo);
  const auto& r = update.as<GetUpdateInfoReq>();
  ASSERT_EQ(2u, r.count);
  EXPECT_EQ("5 0 6 ", join(r.entries[0].word1, r.entries[0].word2, r.entries[1].word1)) << "the second word is 0";
  EXPECT_EQ(2u, info.updates.size()) << "count 0 keeps the list";
  SchedUpdateInfo entries[] = {{9, 99}};
  fake->respondRows(msg::kGetUpdateInfo, &GetUpdateInfoResp::entries, entries);
  ASSERT_EQ(0, net.GetUpdateInfo(info, err, 0, 0, 0));
  ASSERT_EQ(1u, info.updates.size());
  EXPECT_EQ(9u, info.updates.front().firstWord);
  EXPECT_EQ(99u, info.updates.front().secondWord);
  fake->failNextSend(1703938, "down");
  EXPECT_EQ(1703938, net.GetUpdateInfo(info, err, 0, 0, 0));  // the packed array is released (LeakSanitizer)
}
